#include "tools/map_correction.h"

#include "live/channels.h"
#include "logs/log_columns.h"
#include "tools/map_cell.h"
#include "util/numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kx {

namespace {
constexpr double kRatioBase = 14.7;
constexpr int kRpmCode = channel::Rpm;
constexpr int kWaterCode = channel::WaterTemp;
constexpr int kThrottleCode = channel::Throttle;

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
} // namespace

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
    records += o.records;
    seconds += o.seconds;
}

void FuelSamples::add(int cell, float ratio, FilterMask keptOutBy, bool newReading, double seconds,
                      uint64_t visit) {
    const size_t c = size_t(cell);
    const unsigned long bin = keptOutBy.to_ulong();
    Moments& m = cells_[c][bin];
    ++m.records;
    m.seconds += seconds;
    if (!newReading) return;
    m.add(double(ratio));
    if (visitMasks_[c].empty() || lastVisit_[c] != visit) {
        visitMasks_[c].push_back(0);
        lastVisit_[c] = visit;
        lastEntry_[c] = visitMasks_[c].size() - 1;
    }
    visitMasks_[c][lastEntry_[c]] |= uint32_t(1) << bin;
}

void FuelSamples::merge(const FuelSamples& other) {
    for (size_t c = 0; c < cells_.size(); ++c) {
        for (size_t m = 0; m < cells_[c].size(); ++m)
            cells_[c][m].merge(other.cells_[c][m]);
        // Their visits are others than ours; a stay of ours goes on in its own entry.
        visitMasks_[c].insert(visitMasks_[c].end(), other.visitMasks_[c].begin(),
                              other.visitMasks_[c].end());
    }
    noReading_ += other.noReading_;
}

namespace {
// The bins (filter masks) whose records the filters `on` let through, a bit each.
uint32_t keptBins(FilterMask on) {
    uint32_t bins = 0;
    for (uint32_t m = 0; m < (1u << kFuelFilterCount); ++m)
        if ((FilterMask(m) & on).none()) bins |= 1u << m;
    return bins;
}
} // namespace

FuelSamples::Moments FuelSamples::kept(int cell, FilterMask on) const {
    Moments out;
    const auto& bins = cells_[size_t(cell)];
    for (size_t m = 0; m < bins.size(); ++m)
        if ((FilterMask(m) & on).none()) out.merge(bins[m]);
    return out;
}

uint64_t FuelSamples::visits(int cell, FilterMask on) const {
    const uint32_t bins = keptBins(on);
    return uint64_t(std::count_if(visitMasks_[size_t(cell)].begin(),
                                  visitMasks_[size_t(cell)].end(),
                                  [bins](uint32_t v) { return (v & bins) != 0; }));
}

FuelSamples::Counts FuelSamples::counts(FilterMask on) const {
    Counts c;
    c.noReading = noReading_;
    for (const auto& bins : cells_) {
        for (size_t m = 0; m < bins.size(); ++m) {
            const FilterMask out = FilterMask(m) & on;
            if (out.none()) {
                c.kept += bins[m].records;
                c.keptReadings += bins[m].n;
                continue;
            }
            for (int f = 0; f < kFuelFilterCount; ++f) {
                if (!out.test(size_t(f))) continue;
                c.keptOut[size_t(f)] += bins[m].records;
                break;
            }
        }
    }
    return c;
}

void FuelRecordFilter::add(const FuelRecord& r) {
    // Time going back (the next log, a restarted clock) or a pause in the records: a gap.
    const bool gap = last_ && (r.time < *last_ || r.time - *last_ > kGapS);
    if (gap) {
        const double before = *last_;
        for (Waiting& w : waiting_)
            if (before - w.time <= kNearGapS) w.mask.set(size_t(FuelFilter::Gap));
        release(std::numeric_limits<double>::infinity());
        throttle_.clear();
        lastStep_.reset();
        gapEnd_ = r.time;
        cell_.reset();
    }
    const double seconds = last_ && !gap ? r.time - *last_ : 0.0;
    if (!cell_) cellSince_ = -std::numeric_limits<double>::infinity();
    if (cell_ && *cell_ != r.cell) cellSince_ = r.time;
    if (!cell_ || *cell_ != r.cell) visit_ = out_.newVisit();
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
    if (!r.ratio || !std::isfinite(*r.ratio) || !(*r.ratio > 0.0f)) {
        out_.noReading();
        return;
    }
    FilterMask mask;
    mask.set(size_t(FuelFilter::RatioRange), *r.ratio < kRatioLowest || *r.ratio > kRatioHighest);
    mask.set(size_t(FuelFilter::Cold), r.waterC && *r.waterC < kWarmWaterC);
    mask.set(size_t(FuelFilter::ThrottleStep), lastStep_ && r.time - *lastStep_ <= kAfterStepS);
    mask.set(size_t(FuelFilter::Settle), r.time - cellSince_ < kSettleS);
    mask.set(size_t(FuelFilter::Gap), gapEnd_ && r.time - *gapEnd_ <= kNearGapS);
    waiting_.push_back({r.time, r.cell, *r.ratio, mask, r.newReading, seconds, visit_});
}

void FuelRecordFilter::release(double before) {
    while (!waiting_.empty() && waiting_.front().time < before) {
        const Waiting& w = waiting_.front();
        out_.add(w.cell, w.ratio, w.mask, w.newReading, w.seconds, w.visit);
        waiting_.pop_front();
    }
}

void FuelRecordFilter::finish() {
    release(std::numeric_limits<double>::infinity());
}

void addLogFuel(FuelSamples& samples, const MapScales& scales, const LogData& log) {
    const LogColumnNumbers rpm(log, kRpmCode);
    const LogColumnNumbers throttle(log, kThrottleCode);
    if (!rpm.present() || !throttle.present()) return;
    LogWideband wideband(log);
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
        const LogWideband::Reading reading = wideband.at(r);
        rec.ratio = reading.ratio;
        rec.newReading = reading.isNew;
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
        c.kept = m.records;
        c.readings = m.n;
        c.seconds = m.seconds;
        c.visits = samples.visits(i, settings.filters);
        c.target = targetHundredths[size_t(i)] / 100.0;
        c.suggested = value;
        const bool locked = settings.locked.test(size_t(i));
        if (locked) c.trust = CellTrust::Locked;
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
        if (locked) continue;
        if (m.n < settings.minHits) {
            c.trust = CellTrust::FewHits;
        } else if (c.visits < 2 && c.seconds < kOneVisitS) {
            // Readings of one short stay share its moment: one pass is no confirmation.
            c.trust = CellTrust::OneVisit;
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

} // namespace kx
