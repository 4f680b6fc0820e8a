#include "logs/log_columns.h"

#include "live/channels.h"

#include <charconv>
#include <cmath>

namespace kx {

LogColumnNumbers::LogColumnNumbers(const LogData& log, int code) : log_(log), code_(code) {
    for (int c = 0; c < log.columnCount(); ++c)
        if (log.columns()[size_t(c)].code == code) last_ = c;
    if (last_ >= 0) numbers_ = log.numbersByCode(code);
}

std::optional<float> LogColumnNumbers::at(qsizetype record) const {
    if (last_ < 0) return std::nullopt;
    if (size_t(record) < numbers_.values.size()) return numbers_.values[size_t(record)];
    // The last column under the code when the record fills it (as the reader picks), an
    // earlier one when the record is short.
    QByteArrayView field = log_.field(record, last_);
    if (field.isEmpty()) field = log_.fieldByCode(record, code_);
    return logFieldNumber(field);
}

std::optional<float> loggedAfr(std::optional<float> field) {
    if (!field || !(*field > 0.0f) || !std::isfinite(*field)) return std::nullopt;
    return field;
}

namespace {
int columnNamed(const LogData& log, QLatin1String name) {
    for (int c = 0; c < log.columnCount(); ++c)
        if (log.columns()[size_t(c)].name.trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}
} // namespace

LogWideband::LogWideband(const LogData& log)
    : log_(log), ratio_(log, channel::Wideband),
      state_(columnNamed(log, QLatin1String("WB State"))),
      time_(columnNamed(log, QLatin1String("WB Time"))) {}

LogWideband::Reading LogWideband::at(qsizetype record) {
    Reading out;
    out.ratio = loggedAfr(ratio_.at(record));
    if (out.ratio && state_ >= 0) {
        const QByteArrayView state = log_.field(record, state_).trimmed();
        if (!state.isEmpty() && QLatin1String(state.data(), state.size())
                                        .compare(QLatin1String("Ready"), Qt::CaseInsensitive) != 0)
            out.ratio.reset();
    }
    if (!out.ratio) {
        last_.reset();
        return out;
    }
    const QByteArrayView time = time_ >= 0 ? log_.field(record, time_).trimmed() : QByteArrayView();
    out.isNew = !last_ || *last_ != *out.ratio || (time_ >= 0 && time != lastTime_);
    last_ = out.ratio;
    if (time_ >= 0) lastTime_ = time.toByteArray();
    return out;
}

std::optional<double> logSeconds(QByteArrayView stamp) {
    const QByteArrayView t = stamp.trimmed();
    double v = 0;
    const auto [end, err] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.isEmpty() || err != std::errc() || end != t.data() + t.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace kx
