#include "tools/map_correction.h"

#include "live/channels.h"
#include "logs/log_reader.h"
#include "tools/fuel_target.h"
#include "tools/map_coverage.h"
#include "util/numbers.h"

#include <QFileInfo>
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

namespace {
constexpr QByteArrayView kLockedTitle = "# Locked";

GridValues lockValues(const CellSet& locked) {
    GridValues v{};
    for (size_t i = 0; i < 256; ++i)
        v[i] = locked.test(i) ? 1 : 0;
    return v;
}

CellSet lockedOf(const GridValues& values) {
    CellSet locked;
    for (size_t i = 0; i < 256; ++i)
        locked.set(i, values[i] != 0);
    return locked;
}

// Where the lock block's title line starts, or -1.
qsizetype lockedTitleAt(QByteArrayView bytes) {
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype lf = bytes.indexOf('\n', at);
        if (lf < 0) lf = bytes.size();
        if (bytes.sliced(at, lf - at).trimmed() == kLockedTitle) return at;
        at = lf + 1;
    }
    return -1;
}
} // namespace

QByteArray targetFileText(const TargetTable& target) {
    QByteArray out = gridFileText(target.scales, target.hundredths);
    if (target.locked.none()) return out;
    out += "\r\n" + kLockedTitle.toByteArray() + "\r\n";
    return out + lockFileText(target.scales, target.locked);
}

QByteArray lockFileText(const MapScales& scales, const CellSet& locked) {
    return gridFileText(scales, lockValues(locked));
}

TargetFileRead parseTargetFile(QByteArrayView bytes) {
    const qsizetype title = lockedTitleAt(bytes);
    const GridFileRead grid =
        parseGridFile(title < 0 ? bytes : bytes.first(title), kTargetLowest, kTargetHighest);
    if (!grid.scales) return {std::nullopt, grid.error};
    TargetTable t{*grid.scales, grid.values, {}};
    if (title >= 0) {
        const qsizetype lf = bytes.indexOf('\n', title);
        const GridFileRead locks =
            parseGridFile(lf < 0 ? QByteArrayView() : bytes.sliced(lf + 1), 0, 1);
        if (!locks.scales) return {std::nullopt, QStringLiteral("Locked cells: ") + locks.error};
        if (*locks.scales != t.scales)
            return {std::nullopt,
                    QStringLiteral("Locked cells: the headers differ from the target's.")};
        t.locked = lockedOf(locks.values);
    }
    return {t, {}};
}

TargetFileRead readTargetFile(const QString& path) {
    const MapSizedFile file = readMapSizedFile(path);
    if (!file.bytes) return {std::nullopt, file.error};
    return parseTargetFile(*file.bytes);
}

LockFileRead readLockFile(const QString& path) {
    const GridFileRead grid = readGridFile(path, 0, 1);
    if (!grid.scales) return {std::nullopt, {}, grid.error};
    return {lockedOf(grid.values), *grid.scales, {}};
}

CellSet locksOnMap(const MapScales& lockScales, const CellSet& locked, const MapScales& map) {
    CellSet out;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            out.set(size_t(16 * r + c), locked.test(size_t(mapCellOf(lockScales, map.rpm[size_t(r)],
                                                                     map.tp[size_t(c)]))));
    return out;
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

std::optional<double> logSeconds(QByteArrayView stamp) {
    const QByteArrayView t = stamp.trimmed();
    double v = 0;
    const auto [end, err] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.isEmpty() || err != std::errc() || end != t.data() + t.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
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

QString changePercentText(double change) {
    const QString t = percentText(change, 1);
    return t.startsWith(u'-') ? t : u'+' + t;
}

namespace {
QString counted(uint64_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}
QString secondsText(double s) {
    return QString::number(roundHalfEven(s, 2), 'f', 2);
}
} // namespace

QString trustReason(const CellCorrection& c, const CorrectionSettings& settings) {
    switch (c.trust) {
    case CellTrust::Trusted:
        return {};
    case CellTrust::Locked:
        return QStringLiteral("locked");
    case CellTrust::NoHits:
        return QStringLiteral("no kept readings");
    case CellTrust::FewHits:
        return QStringLiteral("%1 kept, fewer than %2")
            .arg(counted(c.readings, "reading", "readings"))
            .arg(settings.minHits);
    case CellTrust::OneVisit:
        return QStringLiteral("readings from one visit of %1 s; trusted from two visits or %2 s")
            .arg(secondsText(c.seconds))
            .arg(kOneVisitS);
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
        text += QStringLiteral("; measured %1 from %2 in %3 (%4 kept, %5 s)")
                    .arg(meanAfrText(*c.mean), counted(c.readings, "reading", "readings"),
                         counted(c.visits, "visit", "visits"), counted(c.kept, "record", "records"),
                         secondsText(c.seconds));
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
    QString text = QStringLiteral("Kept %1 records (%2 readings); kept out: no wideband reading %3")
                       .arg(counts.kept)
                       .arg(counts.keptReadings)
                       .arg(counts.noReading);
    for (int f = 0; f < kFuelFilterCount; ++f) {
        text += QStringLiteral(", %1 ").arg(filterCaption(FuelFilter(f)));
        text += on.test(size_t(f)) ? QString::number(counts.keptOut[size_t(f)])
                                   : QStringLiteral("(off)");
    }
    return text + u'.';
}

namespace {
// A figure of a cell whose suggestion is not trusted goes in brackets.
QByteArray marked(const CellCorrection& c, const QByteArray& figure) {
    if (figure.isEmpty() || c.trust == CellTrust::Trusted) return figure;
    return '(' + figure + ')';
}
} // namespace

QByteArray correctionReportText(const EngineMap& map, const FuelCorrection& correction,
                                FilterMask on) {
    QByteArray out = "# Figures in brackets: no trusted suggestion, the map value stays; "
                     "lock: a locked cell\r\n";
    const MapScales& s = map.scales;
    const auto block = [&](const char* title, auto figure) {
        appendBlock(
            out, title, s, [&](const CellCorrection& c) { return marked(c, figure(c)); },
            correction);
    };
    appendBlock(
        out, "# Change %", s,
        [](const CellCorrection& c) {
            if (c.trust == CellTrust::Locked) return QByteArray("lock");
            return c.change ? marked(c, changePercentText(*c.change).toLatin1()) : QByteArray();
        },
        correction);
    // What flashing the suggestion changes, in counts.
    out += "\r\n";
    appendMapBlock(out, "# Difference", s, [&](int cell) {
        const int d = int(correction.suggested.values[size_t(cell)]) - map.values[size_t(cell)];
        return d > 0 ? '+' + number(d) : number(d);
    });
    block("# Hits kept",
          [](const CellCorrection& c) { return c.kept ? number(int64_t(c.kept)) : QByteArray(); });
    block("# Readings kept", [](const CellCorrection& c) {
        return c.readings ? number(int64_t(c.readings)) : QByteArray();
    });
    block("# Visits", [](const CellCorrection& c) {
        return c.visits ? number(int64_t(c.visits)) : QByteArray();
    });
    block("# Spread", [](const CellCorrection& c) {
        return c.spread ? meanAfrText(*c.spread).toLatin1() : QByteArray();
    });
    out += "\r\n# Records kept: " + number(int64_t(correction.counts.kept)) + "\r\n";
    out += "# Readings kept: " + number(int64_t(correction.counts.keptReadings)) + "\r\n";
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

QString correctionSummary(const EngineMap& map, const FuelCorrection& correction) {
    int withReadings = 0, trusted = 0, changed = 0;
    for (size_t i = 0; i < 256; ++i) {
        const CellCorrection& c = correction.cells[i];
        withReadings += c.readings > 0;
        trusted += c.trust == CellTrust::Trusted;
        changed += correction.suggested.values[i] != map.values[i];
    }
    return QStringLiteral("%1 readings kept in %2 cells; %3 cells trusted, %4 changed")
        .arg(correction.counts.keptReadings)
        .arg(withReadings)
        .arg(trusted)
        .arg(changed);
}

MapKind mapKindOfFile(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    if (name.contains(QLatin1String("timing"), Qt::CaseInsensitive)) return MapKind::Timing;
    if (name.contains(QLatin1String("fuel"), Qt::CaseInsensitive)) return MapKind::Fuel;
    return MapKind::Other;
}

namespace {
const MapPreset* presetOf(const MapAddressTexts& stored) {
    const MapAddresses mine = storedAddresses(stored);
    for (const MapPreset& p : mapPresets()) {
        MapAddressTexts texts;
        for (int f = 0; f < MapFieldCount; ++f)
            texts[size_t(f)] = QString::fromLatin1(p.addresses[size_t(f)]);
        if (storedAddresses(texts) == mine) return &p;
    }
    return nullptr;
}
} // namespace

MapKind mapKindOf(const MapAddressTexts& stored) {
    const MapPreset* p = presetOf(stored);
    if (!p) return MapKind::Other;
    return QByteArrayView(p->name).endsWith("fuel") ? MapKind::Fuel : MapKind::Timing;
}

QString mapPresetName(const MapAddressTexts& stored) {
    const MapPreset* p = presetOf(stored);
    return p ? QString::fromLatin1(p->name) : QString();
}

} // namespace kx
