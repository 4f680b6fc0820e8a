#include "tools/map_correction.h"

#include "live/channels.h"
#include "logs/log_reader.h"
#include "tools/fuel_target.h"
#include "tools/map_coverage.h"
#include "util/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

namespace kx {

namespace {
constexpr double kRatioBase = 14.7;
constexpr int kRpmCode = channel::Rpm;
constexpr int kWaterCode = channel::WaterTemp;
constexpr int kThrottleCode = channel::Throttle;
constexpr int kWbo2Code = channel::Wideband;

struct FilterText {
    const char* name;
    const char* caption;
};
constexpr FilterText kFilterTexts[kFuelFilterCount] = {
    {"range", "ratio out of 9 to 20"},
    {"cold", "water below 70 \u00B0C"},
    {"throttle", "throttle steps"},
    {"settle", "just entered a cell"},
    {"gap", "near a gap"},
};

QByteArray number(int64_t v) {
    return QByteArray::number(qlonglong(v));
}

// One block of the report after a blank line: a figure of each cell's correction.
void appendBlock(QByteArray& out, const char* title, const MapScales& scales,
                 const std::function<QByteArray(const CellCorrection&)>& figure,
                 const FuelCorrection& correction) {
    out += "\r\n";
    appendMapBlock(out, title, scales,
                   [&](int cell) { return figure(correction.cells[size_t(cell)]); });
}

QString percentText(double share, int decimals) {
    return QString::number(roundHalfEven(100 * share, decimals), 'f', decimals);
}
} // namespace

// ---- target

TargetTable defaultTarget(const MapScales& scales) {
    TargetTable t;
    t.scales = scales;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            t.hundredths[size_t(16 * r + c)] =
                defaultTargetHundredths(scales.rpm[size_t(r)], scales.tp[size_t(c)]);
    return t;
}

GridValues targetOnMap(const TargetTable& target, const MapScales& map) {
    GridValues out{};
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            out[size_t(16 * r + c)] = target.hundredths[size_t(
                mapCellOf(target.scales, map.rpm[size_t(r)], map.tp[size_t(c)]))];
    return out;
}

QByteArray targetFileText(const TargetTable& target) {
    return gridFileText(target.scales, target.hundredths);
}

namespace {
TargetFileRead fromGrid(const GridFileRead& grid) {
    if (!grid.scales) return {std::nullopt, grid.error};
    return {TargetTable{*grid.scales, grid.values}, {}};
}
} // namespace

TargetFileRead parseTargetFile(QByteArrayView bytes) {
    return fromGrid(parseGridFile(bytes, kTargetLowest, kTargetHighest));
}

TargetFileRead readTargetFile(const QString& path) {
    return fromGrid(readGridFile(path, kTargetLowest, kTargetHighest));
}

// ---- filters

QString filterName(FuelFilter f) {
    return QString::fromLatin1(kFilterTexts[int(f)].name);
}

QString filterCaption(FuelFilter f) {
    return QString::fromUtf8(kFilterTexts[int(f)].caption);
}

std::optional<FuelFilter> filterNamed(const QString& name) {
    for (int f = 0; f < kFuelFilterCount; ++f)
        if (name == QLatin1String(kFilterTexts[f].name)) return FuelFilter(f);
    return std::nullopt;
}

void FuelSamples::Moments::add(double ratio) {
    const double d = ratio - kRatioBase;
    ++n;
    sum += d;
    sumSq += d * d;
}

void FuelSamples::Moments::merge(const Moments& o) {
    n += o.n;
    sum += o.sum;
    sumSq += o.sumSq;
}

void FuelSamples::add(int cell, float ratio, FilterMask keptOutBy) {
    cells_[size_t(cell)][keptOutBy.to_ulong()].add(double(ratio));
}

void FuelSamples::merge(const FuelSamples& other) {
    for (size_t c = 0; c < cells_.size(); ++c)
        for (size_t m = 0; m < cells_[c].size(); ++m)
            cells_[c][m].merge(other.cells_[c][m]);
    noReading_ += other.noReading_;
}

FuelSamples::Moments FuelSamples::kept(int cell, FilterMask on) const {
    Moments out;
    const auto& bins = cells_[size_t(cell)];
    for (size_t m = 0; m < bins.size(); ++m)
        if ((FilterMask(m) & on).none()) out.merge(bins[m]);
    return out;
}

FuelSamples::Counts FuelSamples::counts(FilterMask on) const {
    Counts c;
    c.noReading = noReading_;
    for (const auto& bins : cells_) {
        for (size_t m = 0; m < bins.size(); ++m) {
            const FilterMask out = FilterMask(m) & on;
            if (out.none()) {
                c.kept += bins[m].n;
                continue;
            }
            for (int f = 0; f < kFuelFilterCount; ++f) {
                if (!out.test(size_t(f))) continue;
                c.keptOut[size_t(f)] += bins[m].n;
                break;
            }
        }
    }
    return c;
}

void FuelRecordFilter::add(const FuelRecord& r) {
    // Time going back (the next log, a restarted clock) or a pause in the records: a gap.
    if (last_ && (r.time < *last_ || r.time - *last_ > kGapS)) {
        const double before = *last_;
        for (Waiting& w : waiting_)
            if (before - w.time <= kNearGapS) w.mask.set(size_t(FuelFilter::Gap));
        release(std::numeric_limits<double>::infinity());
        throttle_.clear();
        lastStep_.reset();
        gapEnd_ = r.time;
        cell_.reset();
    }
    if (!cell_) cellSince_ = -std::numeric_limits<double>::infinity();
    if (cell_ && *cell_ != r.cell) cellSince_ = r.time;
    cell_ = r.cell;
    last_ = r.time;

    while (!throttle_.empty() && r.time - throttle_.front().first > kStepWindowS)
        throttle_.pop_front();
    throttle_.emplace_back(r.time, r.throttleVolts);
    const auto [low, high] =
        std::minmax_element(throttle_.begin(), throttle_.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; });
    if (high->second - low->second > kStepVolts) lastStep_ = r.time;

    release(r.time - kNearGapS);
    if (!r.ratio || !(*r.ratio > 0.0f)) {
        out_.noReading();
        return;
    }
    FilterMask mask;
    mask.set(size_t(FuelFilter::RatioRange), *r.ratio < kRatioLowest || *r.ratio > kRatioHighest);
    mask.set(size_t(FuelFilter::Cold), r.waterC && *r.waterC < kWarmWaterC);
    mask.set(size_t(FuelFilter::ThrottleStep), lastStep_ && r.time - *lastStep_ <= kAfterStepS);
    mask.set(size_t(FuelFilter::Settle), r.time - cellSince_ < kSettleS);
    mask.set(size_t(FuelFilter::Gap), gapEnd_ && r.time - *gapEnd_ <= kNearGapS);
    waiting_.push_back({r.time, r.cell, *r.ratio, mask});
}

void FuelRecordFilter::release(double before) {
    while (!waiting_.empty() && waiting_.front().time < before) {
        const Waiting& w = waiting_.front();
        out_.add(w.cell, w.ratio, w.mask);
        waiting_.pop_front();
    }
}

void FuelRecordFilter::finish() {
    release(std::numeric_limits<double>::infinity());
}

std::optional<double> logSeconds(QByteArrayView stamp) {
    const QByteArrayView t = stamp.trimmed();
    double v = 0;
    const auto [end, err] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.isEmpty() || err != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return v;
}

void addLogFuel(FuelSamples& samples, const MapScales& scales, const LogData& log) {
    const LogColumnNumbers rpm(log, kRpmCode);
    const LogColumnNumbers throttle(log, kThrottleCode);
    if (!rpm.present() || !throttle.present()) return;
    const LogColumnNumbers ratio(log, kWbo2Code);
    const LogColumnNumbers water(log, kWaterCode);
    const bool fahrenheit = water.name().endsWith(QLatin1String(" F"));
    FuelRecordFilter filter(samples);
    for (qsizetype r = 0, records = log.recordCount(); r < records; ++r) {
        const auto speed = rpm.at(r);
        const auto volts = throttle.at(r);
        const auto time = logSeconds(log.timeStamp(r));
        if (!speed || !volts || !time) continue;
        FuelRecord rec;
        rec.time = *time;
        rec.cell = recordCell(scales, *speed, *volts);
        rec.throttleVolts = *volts;
        rec.ratio = loggedAfr(ratio.at(r));
        if (const auto w = water.at(r)) rec.waterC = fahrenheit ? (*w - 32.0f) * 5.0f / 9.0f : *w;
        filter.add(rec);
    }
    filter.finish();
}

// ---- per cell

uint8_t suggestedValue(uint8_t mapValue, double change, double maxChange) {
    const double held = std::clamp(change, -maxChange, maxChange);
    const double v = roundHalfEven(double(mapValue) * (1.0 + held));
    return uint8_t(std::clamp(v, 1.0, 255.0));
}

FuelCorrection correctMap(const EngineMap& map, const GridValues& targetHundredths,
                          const FuelSamples& samples, const CorrectionSettings& settings) {
    FuelCorrection out;
    out.suggested = map;
    out.counts = samples.counts(settings.filters);
    for (int i = 0; i < 256; ++i) {
        CellCorrection& c = out.cells[size_t(i)];
        const FuelSamples::Moments m = samples.kept(i, settings.filters);
        const uint8_t value = map.values[size_t(i)];
        c.kept = m.n;
        c.target = targetHundredths[size_t(i)] / 100.0;
        c.suggested = value;
        if (m.n == 0) continue;
        const double n = double(m.n);
        const double meanOffset = m.sum / n;
        c.mean = kRatioBase + meanOffset;
        c.change = *c.mean / c.target - 1.0;
        if (m.n >= 2) {
            const double var = std::max(0.0, (m.sumSq - n * meanOffset * meanOffset) / (n - 1));
            c.spread = std::sqrt(var);
            c.uncertainty = *c.spread / std::sqrt(n) / c.target;
        }
        if (m.n < settings.minHits) {
            c.trust = CellTrust::FewHits;
        } else if (!c.uncertainty || *c.uncertainty > settings.maxUncertainty) {
            c.trust = CellTrust::Uncertain;
        } else {
            c.trust = CellTrust::Trusted;
            c.limited = std::abs(*c.change) > settings.maxChange;
            c.suggested = suggestedValue(value, *c.change, settings.maxChange);
        }
        out.suggested.values[size_t(i)] = c.suggested;
    }
    return out;
}

QString changePercentText(double change) {
    const QString t = percentText(change, 1);
    return t.startsWith(u'-') ? t : u'+' + t;
}

QString trustReason(const CellCorrection& c, const CorrectionSettings& settings) {
    switch (c.trust) {
    case CellTrust::Trusted:
        return {};
    case CellTrust::NoHits:
        return QStringLiteral("no kept hits");
    case CellTrust::FewHits:
        return QStringLiteral("%1 kept %2, fewer than %3")
            .arg(c.kept)
            .arg(c.kept == 1 ? QStringLiteral("hit") : QStringLiteral("hits"))
            .arg(settings.minHits);
    case CellTrust::Uncertain:
        return QStringLiteral("too uncertain: \u00B1%1 % of the target, more than \u00B1%2 %")
            .arg(percentText(c.uncertainty.value_or(1.0), 2),
                 percentText(settings.maxUncertainty, 2));
    }
    return {};
}

QString correctionDetails(const CellCorrection& c, const CorrectionSettings& settings) {
    QString text = QStringLiteral("Target %1").arg(meanAfrText(c.target));
    if (c.mean) {
        text += QStringLiteral("; measured %1 from %2 kept").arg(meanAfrText(*c.mean)).arg(c.kept);
        if (c.spread) text += QStringLiteral(", spread %1").arg(meanAfrText(*c.spread));
        text += QStringLiteral("; change %1 %").arg(changePercentText(*c.change));
        if (c.uncertainty)
            text += QStringLiteral(" \u00B1%1 %").arg(percentText(*c.uncertainty, 2));
    }
    if (c.trust == CellTrust::Trusted) {
        text += QStringLiteral("; suggested %1").arg(c.suggested);
        if (c.limited)
            text += QStringLiteral(" (held to \u00B1%1 %)").arg(percentText(settings.maxChange, 0));
    } else {
        text += QStringLiteral("; keeps the map value: ") + trustReason(c, settings);
    }
    return text;
}

QString filterCountsText(const FuelSamples::Counts& counts, FilterMask on) {
    QString text =
        QStringLiteral("Kept %1; kept out: no reading %2").arg(counts.kept).arg(counts.noReading);
    for (int f = 0; f < kFuelFilterCount; ++f) {
        text += QStringLiteral(", %1 ").arg(filterCaption(FuelFilter(f)));
        text += on.test(size_t(f)) ? QString::number(counts.keptOut[size_t(f)])
                                   : QStringLiteral("(off)");
    }
    return text + u'.';
}

QByteArray correctionReportText(const EngineMap& map, const FuelCorrection& correction,
                                FilterMask on) {
    QByteArray out = mapFileText(correction.suggested);
    const MapScales& s = map.scales;
    appendBlock(
        out, "# Change %", s,
        [](const CellCorrection& c) {
            return c.change ? changePercentText(*c.change).toLatin1() : QByteArray();
        },
        correction);
    appendBlock(
        out, "# Hits kept", s, [](const CellCorrection& c) { return number(int64_t(c.kept)); },
        correction);
    appendBlock(
        out, "# Spread", s,
        [](const CellCorrection& c) {
            return c.spread ? meanAfrText(*c.spread).toLatin1() : QByteArray();
        },
        correction);
    out += "\r\n# Records kept: " + number(int64_t(correction.counts.kept)) + "\r\n";
    out +=
        "# Kept out, no wideband reading: " + number(int64_t(correction.counts.noReading)) + "\r\n";
    for (int f = 0; f < kFuelFilterCount; ++f) {
        out += "# Kept out, " + filterName(FuelFilter(f)).toLatin1() + ": ";
        out += on.test(size_t(f)) ? number(int64_t(correction.counts.keptOut[size_t(f)]))
                                  : QByteArray("off");
        out += "\r\n";
    }
    return out;
}

MapKind mapKindOf(const MapAddressTexts& stored) {
    const MapAddresses mine = storedAddresses(stored);
    for (const MapPreset& p : mapPresets()) {
        MapAddressTexts texts;
        for (int f = 0; f < MapFieldCount; ++f)
            texts[size_t(f)] = QString::fromLatin1(p.addresses[size_t(f)]);
        if (storedAddresses(texts) != mine) continue;
        return QByteArrayView(p.name).endsWith("fuel") ? MapKind::Fuel : MapKind::Timing;
    }
    return MapKind::Other;
}

} // namespace kx
