#include "logs/replay_logic.h"

#include "logs/analyser_axes.h"
#include "util/numbers.h"
#include "util/ticks.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kx {

int64_t replaySliderScale(int64_t records) {
    return std::max<int64_t>(records, 0) / kReplaySliderSteps + 1;
}

int replaySliderMaximum(int64_t records) {
    return static_cast<int>(std::max<int64_t>(records, 0) / replaySliderScale(records));
}

int64_t replayRecordAt(int sliderValue, int64_t scale) {
    return static_cast<int64_t>(sliderValue) * scale;
}

int replaySliderValue(int64_t record, int64_t scale) {
    return static_cast<int>(record / scale);
}

ReplayStep replayStep(int64_t current, int64_t records, int64_t scale) {
    if (current >= records) return {false, current, replaySliderValue(current, scale)};
    return {true, current + 1, replaySliderValue(current + 1, scale)};
}

QString replaySpeedText(double speed) {
    if (speed == 0.25) return QStringLiteral("\u00BC\u00D7");
    return QString::number(speed) + QStringLiteral("\u00D7");
}

std::vector<double> replayTimes(const LogData& data) {
    const qsizetype n = data.recordCount();
    if (n < 2) return {};
    for (qsizetype r = 0; r < n; ++r) {
        const QByteArrayView stamp = data.timeStamp(r).trimmed();
        double value = 0;
        const auto [end, error] = std::from_chars(stamp.data(), stamp.data() + stamp.size(), value);
        if (error != std::errc() || end != stamp.data() + stamp.size() || !std::isfinite(value))
            return {};
    }
    std::vector<double> times = analyserElapsedSeconds(data);
    if (times.back() <= 0) return {};
    return times;
}

double ReplayClock::secondsOf(int64_t record) const {
    if (times_.empty()) return 0;
    const auto i = static_cast<size_t>(std::clamp<int64_t>(record, 1, int64_t(times_.size())) - 1);
    return times_[i];
}

void ReplayClock::start(int64_t record, uint32_t now, double speed) {
    from_ = std::clamp<int64_t>(record, 1, std::max<int64_t>(int64_t(times_.size()), 1));
    startTick_ = now;
    speed_ = speed > 0 ? speed : 1;
}

int64_t ReplayClock::recordAt(uint32_t now) const {
    if (times_.empty()) return from_;
    const double logNow = secondsOf(from_) + double(elapsedTicks(startTick_, now)) / 1000 * speed_;
    // The last record whose time has come: one before the first that is still ahead.
    const auto ahead = std::upper_bound(times_.begin(), times_.end(), logNow + 1e-9);
    return std::max<int64_t>(from_, ahead - times_.begin());
}

uint32_t ReplayClock::msUntilNext(int64_t record, uint32_t now) const {
    if (record >= int64_t(times_.size())) return 0;
    const double dueMs = (secondsOf(record + 1) - secondsOf(from_)) * 1000 / speed_;
    const double elapsed = double(elapsedTicks(startTick_, now));
    // Rounded up, so that the record is due when the timer fires; the times are whole
    // milliseconds, less what their sums lose.
    const double wait = dueMs - elapsed - 1e-6;
    return wait <= 0 ? 0 : static_cast<uint32_t>(std::ceil(wait));
}

std::vector<ReplayUpdate> replayUpdates(const LogData& data, int64_t record) {
    std::vector<ReplayUpdate> out;
    const qsizetype r = static_cast<qsizetype>(record - 1);
    int slot = 0;
    for (const LogColumn& column : data.columns()) {
        if (column.kind == LogColumnKind::Ignored) continue;
        const QByteArrayView field = data.fieldByCode(r, column.code);
        if (column.kind == LogColumnKind::Indicator) {
            out.push_back({ReplayUpdate::Kind::Indicator, column.number, 0, logDisplayText(field)});
            continue;
        }
        const auto value = parseSingle(QString::fromLatin1(field));
        if (!value) break;
        out.push_back({ReplayUpdate::Kind::Gauge, slot++, *value, {}});
    }
    return out;
}

void applyLogCatalogueChanges(std::array<GaugeInfo, kGaugeCount>& catalogue,
                              const std::vector<LogCatalogueChange>& changes) {
    for (const LogCatalogueChange& c : changes) {
        if (c.gauge < 0 || c.gauge >= kGaugeCount) continue;
        GaugeInfo& g = catalogue[size_t(c.gauge)];
        g.setName(c.name);
        g.setMinVal(c.minVal);
        g.setMaxVal(c.maxVal);
        g.setTickerNum(c.tickerNum);
        g.setSubTickerNum(c.subTickerNum);
        g.setDecPointNum(c.decPointNum);
    }
}

ReplayLayout replayLayout(int widthTwips, int heightTwips) {
    ReplayLayout l;
    l.display = displayLayout(widthTwips, heightTwips);
    const int C = l.display.column;
    const int R = l.display.row;
    // The fractions of C and R are cut to whole twips, as the divisions are.
    const auto part = [](double f, int of) { return static_cast<int>(f * of); };
    l.fraPosition = {3 * C, part(2.99, R), C - C / 40, R / 6};
    l.fraSpeed = {3 * C, part(3.15, R), C - C / 40, R / 6};
    l.slider = {part(0.03, C), part(0.06, R), part(0.92, C), R / 15};
    l.frameFont = C / 450;
    const int top = 3 * R + part(0.34, R);
    l.btnPlay = {3 * C + part(0.05, C), top, C / 4, R / 11};
    l.btnStop = {3 * C + part(0.35, C), top, C / 4, R / 11};
    l.btnBrowse = {3 * C + part(0.65, C), top, C / 4, R / 11};
    l.buttonFont = C / 350;
    // Below the last indicator line the whole width is free: room for a long time and record.
    l.lblTime = {2 * C, 3 * R + part(0.45, R), C + part(0.95, C), R / 9};
    return l;
}

} // namespace kx
