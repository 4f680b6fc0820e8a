#include "tools/map_coverage.h"

#include "live/channels.h"
#include "logs/analyser_scatter.h"
#include "util/numbers.h"

#include <algorithm>
#include <cmath>

namespace kx {

namespace {
constexpr int kRpmCode = channel::Rpm;
constexpr int kThrottleCode = channel::Throttle;
constexpr int kWbo2Code = channel::Wideband;
constexpr uint32_t kWindowGrey = 0xF0F0F0;

QByteArray number(int64_t v) {
    return QByteArray::number(qlonglong(v));
}

} // namespace

void appendMapBlock(QByteArray& out, const char* title, const MapScales& scales,
                    const std::function<QByteArray(int cell)>& figure) {
    out += title;
    out += "\r\nRPM\\TP";
    for (int tp : scales.tp)
        out += ',' + number(tp);
    out += "\r\n";
    for (int row = 0; row < 16; ++row) {
        out += number(scales.rpm[size_t(row)]);
        for (int column = 0; column < 16; ++column)
            out += ',' + figure(16 * row + column);
        out += "\r\n";
    }
}

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

std::optional<double> CoverageCell::meanAfr() const {
    if (afrCount == 0) return std::nullopt;
    return afrSum / double(afrCount);
}

void MapCoverage::add(int cell, std::optional<float> afr) {
    CoverageCell& c = cells_[size_t(cell)];
    ++c.hits;
    ++hits_;
    if (!afr) return;
    c.afrMin = c.afrCount == 0 ? *afr : std::min(c.afrMin, *afr);
    c.afrMax = c.afrCount == 0 ? *afr : std::max(c.afrMax, *afr);
    ++c.afrCount;
    c.afrSum += double(*afr);
}

void MapCoverage::merge(const MapCoverage& other) {
    for (size_t i = 0; i < cells_.size(); ++i) {
        CoverageCell& c = cells_[i];
        const CoverageCell& o = other.cells_[i];
        c.hits += o.hits;
        if (o.afrCount > 0) {
            c.afrMin = c.afrCount == 0 ? o.afrMin : std::min(c.afrMin, o.afrMin);
            c.afrMax = c.afrCount == 0 ? o.afrMax : std::max(c.afrMax, o.afrMax);
            c.afrCount += o.afrCount;
            c.afrSum += o.afrSum;
        }
    }
    hits_ += other.hits_;
}

uint64_t MapCoverage::afrHits() const {
    uint64_t n = 0;
    for (const CoverageCell& c : cells_)
        n += c.afrCount;
    return n;
}

int throttleRaw(double volts) {
    // Volts were written from raw × 0.02 as a single: 0.46 is 22.99999 raw, which is 23.
    return roundToInt(volts * 50.0);
}

int recordCell(const MapScales& scales, double rpm, double throttleVolts) {
    return mapCellOf(scales, roundToInt(rpm), throttleRaw(throttleVolts));
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
    : log_(log), ratio_(log, kWbo2Code), state_(columnNamed(log, QLatin1String("WB State"))),
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

LogCoverageCount addLogCoverage(MapCoverage& coverage, const MapScales& scales,
                                const LogData& log) {
    LogCoverageCount count;
    const qsizetype records = log.recordCount();
    const LogColumnNumbers rpm(log, kRpmCode);
    const LogColumnNumbers throttle(log, kThrottleCode);
    if (!rpm.present() || !throttle.present()) {
        count.skipped = records;
        return count;
    }
    LogWideband afr(log);
    for (qsizetype r = 0; r < records; ++r) {
        const auto speed = rpm.at(r);
        const auto volts = throttle.at(r);
        if (!speed || !volts) {
            ++count.skipped;
            continue;
        }
        coverage.add(recordCell(scales, *speed, *volts), afr.at(r).ratio);
        ++count.added;
    }
    return count;
}

LogFilesCoverage coverageFromLogFiles(const QStringList& paths, const MapScales& scales,
                                      const std::function<bool()>& keepGoing) {
    LogFilesCoverage out;
    const auto going = [&] { return !keepGoing || keepGoing(); };
    for (const QString& path : paths) {
        if (!going()) {
            out.cancelled = true;
            return out;
        }
        const LogReadResult read = LogReader::readFile(path, [&](double) { return going(); });
        if (read.status == LogReadResult::Status::Cancelled) {
            out.cancelled = true;
            return out;
        }
        if (!read.ok()) {
            out.failures << QStringLiteral("%1: %2 (%3)")
                                .arg(path, logInvalidStructureMessage(), read.failure);
            continue;
        }
        const LogCoverageCount c = addLogCoverage(out.coverage, scales, read.data);
        addLogFuel(out.fuel, scales, read.data);
        out.count.added += c.added;
        out.count.skipped += c.skipped;
        ++out.logsAdded;
    }
    return out;
}

QString logFilesSummary(const LogFilesCoverage& result) {
    QString text = QStringLiteral("%1 %2: %3 records added")
                       .arg(result.logsAdded)
                       .arg(result.logsAdded == 1 ? QStringLiteral("log") : QStringLiteral("logs"))
                       .arg(result.count.added);
    if (result.count.skipped > 0)
        text += QStringLiteral(", %1 skipped (no RPM or Throttle)").arg(result.count.skipped);
    // An empty WBo2 field or a sensor not ready is no reading: say how many such records.
    const uint64_t without = result.coverage.hits() - result.coverage.afrHits();
    if (without > 0) text += QStringLiteral(", %1 without a wideband reading").arg(without);
    return text;
}

QByteArray coverageExportText(const MapScales& scales, const MapCoverage& coverage) {
    QByteArray out;
    const auto afrBlock = [&](const char* title, auto figure) {
        out += "\r\n";
        appendMapBlock(out, title, scales, [&](int cell) {
            const CoverageCell& c = coverage.cell(cell);
            return c.afrCount == 0 ? QByteArray() : figure(c);
        });
    };
    appendMapBlock(out, "Hits", scales,
                   [&](int cell) { return number(int64_t(coverage.cell(cell).hits)); });
    afrBlock("Mean WBo2",
             [](const CoverageCell& c) { return meanAfrText(*c.meanAfr()).toLatin1(); });
    afrBlock("Min WBo2", [](const CoverageCell& c) { return singleText(c.afrMin).toLatin1(); });
    afrBlock("Max WBo2", [](const CoverageCell& c) { return singleText(c.afrMax).toLatin1(); });
    return out;
}

QString meanAfrText(double mean) {
    return QString::number(roundHalfEven(mean, 2), 'f', 2);
}

QString coverageCaption(const CoverageCell& cell, CoverageView view) {
    if (view == CoverageView::MeanAfr) {
        const auto mean = cell.meanAfr();
        return mean ? QString::number(roundHalfEven(*mean, 1), 'f', 1) : QString();
    }
    const uint64_t h = cell.hits;
    if (h == 0) return {};
    if (h < 10000) return QString::number(h);
    if (h < 999500) return QString::number(roundHalfEven(double(h) / 1e3)) + u'k';
    const double m = double(h) / 1e6;
    return m < 9.95 ? QString::number(roundHalfEven(m, 1), 'f', 1) + u'M'
                    : QString::number(roundHalfEven(m)) + u'M';
}

std::optional<double> coverageFigure(const CoverageCell& cell, CoverageView view) {
    if (view == CoverageView::MeanAfr) return cell.meanAfr();
    if (cell.hits == 0) return std::nullopt;
    return double(cell.hits);
}

CoverageScale coverageScale(const MapCoverage& coverage, CoverageView view, uint64_t enough) {
    CoverageScale s;
    s.logarithmic = view == CoverageView::Hits;
    for (bool trustedOnly : {true, false}) {
        for (int i = 0; i < 256; ++i) {
            const CoverageCell& c = coverage.cell(i);
            const auto f = coverageFigure(c, view);
            const uint64_t n = view == CoverageView::Hits ? c.hits : c.afrCount;
            if (!f || (trustedOnly && n < enough)) continue;
            s.low = s.any ? std::min(s.low, *f) : *f;
            s.high = s.any ? std::max(s.high, *f) : *f;
            s.any = true;
        }
        if (s.any) break;
    }
    return s;
}

uint32_t CoverageScale::colourOf(double figure) const {
    double fraction = 0.5; // one level only: the middle of the scale
    if (high > low) {
        fraction = logarithmic ? std::log(figure / low) / std::log(high / low)
                               : (figure - low) / (high - low);
    }
    const uint32_t rgb = scatterScaleColour(fraction);
    return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

uint32_t dimmed(uint32_t bgr) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const uint32_t a = bgr >> shift & 0xFF, b = kWindowGrey >> shift & 0xFF;
        out |= (a + 2 * b) / 3 << shift;
    }
    return out;
}

} // namespace kx
