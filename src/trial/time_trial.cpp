#include "trial/time_trial.h"

#include "live/spike_filter.h"
#include "util/numbers.h"
#include "util/ticks.h"

#include <QRegularExpression>

namespace kx {

namespace {
// Slots of trialTimes.
enum Stamp { Moving, At60, At100, At50, BandAt100, AtCustom, AtBandStart, AtBandStop };
} // namespace

QByteArray speedRequest() {
    QByteArray request;
    request.append(char(kRegisterRead)).append(char(kSpeedRegister));
    return request;
}

LinkSequence iniSpeed() {
    return LinkSequence().arm(speedRequest(), 10, kSpeedThreshold);
}

GaugeSetup speedLayout() {
    return streamLayout({channel::Speed});
}

std::optional<float> trialSpeed(const FrameReadings& readings, const Units& units) {
    const auto raw = readings.rawOf(channel::Speed);
    if (!raw) return std::nullopt;
    return convertGauge(channel::Speed, *raw, units);
}

std::optional<int> customSpeed(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    if (!digits.match(text).hasMatch()) return std::nullopt;
    return text.toInt();
}

void TimeTrial::activate(const std::array<bool, kTrialCount>& ticked, float trialSpeed,
                         float bandStart, float bandStop) {
    ticked_ = ticked;
    trialSpeed_ = trialSpeed;
    bandStart_ = bandStart;
    bandStop_ = bandStop;
    trialTimes_.fill(std::nullopt);
    active_ = true;
}

bool TimeTrial::stamp(int slot, float speed, float threshold, uint32_t now) {
    if (trialTimes_[size_t(slot)] || !(speed >= threshold)) return false;
    trialTimes_[size_t(slot)] = now;
    return true;
}

int64_t TimeTrial::hundredths(int from, int to) const {
    const uint64_t ms = elapsedTicks(*trialTimes_[size_t(from)], *trialTimes_[size_t(to)]);
    // In integers: a binary double holds 0.545 as a hair above, which would round up.
    return divRoundHalfEven(int64_t(ms), 10);
}

TimeTrial::Sample TimeTrial::checkSpeed(float speed, uint32_t now) {
    Sample s;
    if (!active_) return s;
    if (!trialTimes_[Moving] && speed > 0) trialTimes_[Moving] = now;
    // Each trial: its start stamp (or the moving start), its end threshold and stamp.
    struct Trial {
        int start;
        float startAt; // < 0: the moving start
        int end;
        float endAt;
    };
    const Trial trials[kTrialCount] = {{Moving, -1, At60, 60},
                                       {Moving, -1, At100, 100},
                                       {At50, 50, BandAt100, 100},
                                       {Moving, -1, AtCustom, trialSpeed_},
                                       {AtBandStart, bandStart_, AtBandStop, bandStop_}};
    bool anyTicked = false;
    for (int i = 0; i < kTrialCount; ++i) {
        if (!ticked_[size_t(i)]) continue;
        anyTicked = true;
        const Trial& t = trials[i];
        if (t.startAt >= 0) stamp(t.start, speed, t.startAt, now);
        // No end before its start: a custom speed of 0 would otherwise be "reached" at a
        // standstill and time the clock's whole count.
        if (!trialTimes_[size_t(t.start)]) continue;
        if (!stamp(t.end, speed, t.endAt, now)) continue;
        results_[size_t(i)] = hundredths(t.start, t.end);
        s.done[size_t(i)] = true;
        ticked_[size_t(i)] = false;
    }
    s.finish = !anyTicked;
    return s;
}

void TimeTrial::cancel() {
    active_ = false;
    trialTimes_.fill(std::nullopt);
    for (int i = 0; i < 4; ++i)
        ticked_[size_t(i)] = false;
}

float TimeTrial::result(int trial) const {
    return decimalSingle(results_[size_t(trial)], 2);
}

} // namespace kx
