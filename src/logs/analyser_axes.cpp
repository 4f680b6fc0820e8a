#include "logs/analyser_axes.h"

#include "logs/log_reader.h"
#include "util/numbers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace kx {

namespace {

constexpr double kDay = 86400;
constexpr double kLongestSpan = 1e9; // seconds, some thirty years: no drive is longer
constexpr int kValueDecades = 6;

// Steps a time axis may take, in seconds; beyond the last, whole days.
constexpr std::array<double, 19> kTimeSteps = {
    0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600};

// Ticks at whole multiples of `step` within [from, to]; the small slack keeps a tick that
// lands on an end despite the rounding of the division.
int64_t firstMultiple(double from, double step) {
    return static_cast<int64_t>(std::ceil(from / step - 1e-9));
}
int64_t lastMultiple(double to, double step) {
    return static_cast<int64_t>(std::floor(to / step + 1e-9));
}

QString twoDigits(int64_t n) {
    return QString::number(n).rightJustified(2, u'0');
}

} // namespace

std::vector<double> analyserElapsedSeconds(const LogData& data) {
    std::vector<double> times(static_cast<size_t>(std::max<qsizetype>(data.recordCount(), 0)));
    bool haveOrigin = false;
    double origin = 0, previous = 0;
    for (size_t r = 0; r < times.size(); ++r) {
        QByteArrayView stamp = data.timeStamp(static_cast<qsizetype>(r)).trimmed();
        double value = 0;
        const auto [end, error] = std::from_chars(stamp.data(), stamp.data() + stamp.size(), value);
        if (error == std::errc() && end == stamp.data() + stamp.size() && std::isfinite(value)) {
            if (!haveOrigin) origin = value, haveOrigin = true;
            previous = std::max(previous, value - origin);
        }
        times[r] = previous;
    }
    return times;
}

double analyserRecordAtTime(std::span<const double> times, double seconds) {
    if (times.empty()) return 0;
    const auto at = std::lower_bound(times.begin(), times.end(), seconds);
    if (at == times.begin()) return 0;
    if (at == times.end()) return static_cast<double>(times.size() - 1);
    const double after = *at, before = *(at - 1);
    const double r = static_cast<double>(at - times.begin());
    return r - 1 + (seconds - before) / (after - before); // after > before: lower_bound
}

double analyserTimeAtRecord(std::span<const double> times, double record) {
    if (times.empty()) return 0;
    const double last = static_cast<double>(times.size() - 1);
    record = std::isfinite(record) ? std::clamp(record, 0.0, last) : 0.0;
    const auto r = static_cast<size_t>(record);
    if (r + 1 >= times.size()) return times.back();
    return times[r] + (times[r + 1] - times[r]) * (record - static_cast<double>(r));
}

QString analyserCursorText(std::span<const double> times, int64_t record) {
    const QString which = QStringLiteral("record ") + QString::number(record);
    if (record < 1 || size_t(record) > times.size()) return which;
    return analyserTimeText(times[size_t(record - 1)], times.back(), true) + QStringLiteral(", ") +
           which;
}

QString analyserTimeText(double seconds, double spanEnd, bool tenths) {
    const int64_t tenthsTotal = std::llround(seconds * 10);
    const int64_t whole = tenths ? tenthsTotal / 10 : std::llround(seconds);
    const QString fraction = tenths ? u'.' + QString::number(tenthsTotal % 10) : QString();
    if (spanEnd < 60) return QString::number(whole) + fraction + QStringLiteral(" s");
    const QString secs = twoDigits(whole % 60) + fraction;
    if (spanEnd < 3600) return QString::number(whole / 60) + u':' + secs;
    return QString::number(whole / 3600) + u':' + twoDigits(whole / 60 % 60) + u':' + secs;
}

TimeTicks analyserTimeTicks(double from, double to, int maxTicks) {
    TimeTicks out;
    // Time stamps that are not times (centuries apart) get no axis.
    if (!(to > from) || !(to < kLongestSpan) || from < 0 || maxTicks < 1) return out;
    const auto fits = [&](double step) {
        return lastMultiple(to, step) - firstMultiple(from, step) + 1 <= maxTicks;
    };
    double step = 0;
    for (double s : kTimeSteps) {
        if (fits(s)) {
            step = s;
            break;
        }
    }
    if (step == 0) {
        const double days = std::ceil((to - from) / kDay / std::max(maxTicks - 1, 1));
        step = std::max(days, 1.0) * kDay;
        while (!fits(step))
            step += kDay;
    }
    out.step = step;
    for (int64_t k = firstMultiple(from, step); k <= lastMultiple(to, step); ++k) {
        const double t = static_cast<double>(k) * step;
        out.ticks.push_back({t, analyserTimeText(t, to, step < 1)});
    }
    return out;
}

ValueAxis analyserValueAxis(double low, double high, int maxTicks) {
    ValueAxis a;
    if (!std::isfinite(low) || !std::isfinite(high)) return a;
    if (high < low) std::swap(low, high);
    if (high == low) {
        // Room relative to the value: from 1e16 up, v + 1 is v itself.
        const double pad = std::max(1.0, std::abs(low) / 10);
        low -= pad, high += pad;
    }
    maxTicks = std::max(maxTicks, 2);
    double power = std::pow(10.0, std::floor(std::log10((high - low) / maxTicks)) - 1);
    // A range wider than a double holds has no step: the default axis.
    if (!std::isfinite(power) || !(power > 0)) return a;
    // From the first power a step fits within three decades, unless two ticks must span zero.
    for (int decade = 0; decade < kValueDecades; ++decade, power *= 10) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double step = m * power;
            const double lo = std::floor(low / step + 1e-9), hi = std::ceil(high / step - 1e-9);
            if (hi - lo + 1 > maxTicks) continue;
            a.step = step;
            a.low = lo * step;
            a.high = hi * step;
            for (int k = 0; k <= static_cast<int>(hi - lo); ++k)
                a.ticks.push_back((lo + k) * step);
            return a;
        }
    }
    // Two ticks across zero: the range's own ends.
    a.low = low, a.high = high, a.step = high - low;
    a.ticks = {low, high};
    return a;
}

QString analyserValueText(double value, double step) {
    const int decimals = step > 0 ? std::max(0, int(std::ceil(-std::log10(step) - 1e-9))) : 0;
    const double rounded = roundHalfEven(value, decimals);
    return QString::number(rounded == 0 ? 0.0 : rounded, 'f', decimals);
}

RangeIndex::RangeIndex(std::span<const float> values) : values_(values) {
    const auto n = static_cast<int64_t>(values.size());
    for (int64_t b = 0; b * kBlock < n; ++b) {
        const Range r = scan(b * kBlock, std::min(n, (b + 1) * kBlock) - 1);
        low_.push_back(r.low);
        high_.push_back(r.high);
    }
}

RangeIndex::Range RangeIndex::scan(int64_t first, int64_t last) const {
    Range r;
    for (int64_t i = first; i <= last; ++i) {
        const float v = values_[static_cast<size_t>(i)];
        if (r.empty) r = {v, v, false};
        r.low = std::min(r.low, v);
        r.high = std::max(r.high, v);
    }
    return r;
}

RangeIndex::Range RangeIndex::range(int64_t first, int64_t last) const {
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, static_cast<int64_t>(values_.size()) - 1);
    if (first > last) return {};
    const int64_t firstWhole = (first + kBlock - 1) / kBlock, endWhole = (last + 1) / kBlock;
    if (firstWhole >= endWhole) return scan(first, last);
    Range r = scan(first, firstWhole * kBlock - 1);
    const auto merge = [&r](float low, float high) {
        if (r.empty) r = {low, high, false};
        r.low = std::min(r.low, low);
        r.high = std::max(r.high, high);
    };
    for (int64_t b = firstWhole; b < endWhole; ++b)
        merge(low_[static_cast<size_t>(b)], high_[static_cast<size_t>(b)]);
    const Range tail = scan(endWhole * kBlock, last);
    if (!tail.empty) merge(tail.low, tail.high);
    return r;
}

QString analyserGraphDescription(int64_t firstRecord, int64_t lastRecord, double fromSeconds,
                                 double toSeconds, const std::vector<SeriesRange>& series) {
    QString text = QStringLiteral("Records %1 to %2, %3 to %4.")
                       .arg(firstRecord)
                       .arg(lastRecord)
                       .arg(analyserTimeText(fromSeconds, toSeconds, true),
                            analyserTimeText(toSeconds, toSeconds, true));
    if (series.empty()) return text + QStringLiteral(" Nothing plotted.");
    for (const SeriesRange& s : series) {
        text += u' ' + s.name;
        if (s.range.empty)
            text += QStringLiteral(" has no values here.");
        else
            text += u' ' + singleText(s.range.low) + QStringLiteral(" to ") +
                    singleText(s.range.high) + u'.';
    }
    return text;
}

} // namespace kx
