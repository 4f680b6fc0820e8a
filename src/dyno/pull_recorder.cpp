#include "dyno/pull_recorder.h"

#include "dyno/dyno.h"
#include "live/gauge_setup.h"
#include "logs/log_format.h"
#include "util/ticks.h"

namespace kx {

void PullRecorder::arm() {
    stage_ = Stage::Waiting;
    samples_.clear();
    topThrottle_ = topRpm_ = 0;
    liftedAt_.reset();
    opening_.reset();
    gapSeen_ = false;
}

bool PullRecorder::take(const Sample& s) {
    if (stage_ == Stage::Waiting) {
        // Two samples in a row at full throttle start the pull, both kept: one glitch does not.
        const std::optional<Sample> before = opening_;
        const bool open = s.throttle >= kWideOpenVolts;
        opening_ = open ? std::optional<Sample>(s) : std::nullopt;
        if (!open || !before) return false;
        stage_ = Stage::Recording;
        samples_ = {*before, s};
        topThrottle_ = std::min(before->throttle, s.throttle);
        topRpm_ = s.rpm;
        topRpmAt_ = s.at;
        return true;
    }
    if (stage_ != Stage::Recording) return false;
    // Full throttle is what two samples in a row reach: one glitch cannot raise it so far that
    // the real one reads as a lift.
    topThrottle_ = std::max(topThrottle_, std::min(s.throttle, samples_.back().throttle));
    samples_.push_back(s);
    if (s.throttle >= kFullThrottleShare * topThrottle_)
        liftedAt_.reset();
    else if (!liftedAt_)
        liftedAt_ = s.at;
    if (s.rpm > topRpm_) {
        topRpm_ = s.rpm;
        topRpmAt_ = s.at;
    }
    const bool closed = liftedAt_ && elapsedTicks(*liftedAt_, s.at) >= kLiftMs;
    const bool flat = elapsedTicks(topRpmAt_, s.at) >= kFlatMs;
    if (!closed && !flat) return false;
    stage_ = Stage::Done;
    return true;
}

void PullRecorder::markGap() {
    if (stage_ == Stage::Recording) gapSeen_ = true;
}

void PullRecorder::finish() {
    if (stage_ == Stage::Recording || stage_ == Stage::Waiting) stage_ = Stage::Done;
}

std::optional<QString> savePullLog(const QString& path, const std::vector<PullRecorder::Sample>& s,
                                   const Units& units) {
    if (s.empty()) return QStringLiteral("No pull was recorded.");
    const auto catalogue = catalogueNames(units.fahr, units.mph);
    LogGaugeNames names;
    std::copy(catalogue.begin(), catalogue.begin() + kLogGaugeCount, names.begin());
    LogSelection selection;
    for (int g : {kDynoRpm, kDynoSpeed, kDynoThrottle})
        selection.gauges[size_t(g)] = true;
    // The wideband has a port of its own: it costs the ECU's line nothing.
    const bool wideband = s.front().wb.has_value();
    selection.gauges[channel::Wideband] = selection.wbDetail = wideband;
    LogWriter writer;
    if (const auto error = writer.start(path, names, selection, s.front().at)) return error->text;
    for (const PullRecorder::Sample& x : s) {
        LogValues values;
        values.gauges[kDynoRpm] = x.rpm;
        values.gauges[kDynoSpeed] = x.speed;
        values.gauges[kDynoThrottle] = x.throttle;
        if (wideband) {
            const WbSample wb = x.wb.value_or(WbSample{});
            values.gauges[channel::Wideband] = wb.afr;
            values.wbState = wb.state;
            if (wb.at && !tickBefore(*wb.at, s.front().at))
                values.wbMs = elapsedTicks(s.front().at, *wb.at);
        }
        if (auto error = writer.record(values, x.at)) {
            writer.stop();
            return error;
        }
    }
    return writer.stop();
}

} // namespace kx
