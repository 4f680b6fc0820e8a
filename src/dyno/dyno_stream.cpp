#include "dyno/dyno_stream.h"

#include "live/live_state.h"

#include "dyno/dyno.h"
#include "link/EcuLink.h"
#include "ui/link_claim.h"
#include "util/ticks.h"

#include <QWidget>

namespace kx {

DynoStream::DynoStream(const Host& host, QWidget* tool)
    : QObject(tool), host_(host), tool_(tool), tap_(host.link, host.settings, ReceiveMode::Dyno),
      layout_(streamLayout({kDynoRpm, kDynoSpeed, kDynoThrottle})) {
    // Each frame waits for the next: a value no engine could reach is dropped, and a frame is
    // timed when it came.
    tap_.listen(this, [this](uint32_t at, const FrameReadings& readings) { take(at, readings); });
    connect(&host_.link, &EcuLink::stateChanged, this, [this](EcuLink::State state) {
        if (state == EcuLink::State::Lost && running_ && silence)
            silence(true,
                    QStringLiteral("The ECU link was lost (%1).").arg(host_.link.lastProblem()));
        if (availableChanged) availableChanged();
    });
    connect(&host_.link, &EcuLink::silenceChanged, this, [this](bool silent) {
        if (running_ && silence) silence(silent, noDataText(host_.link.lastFrameAt()));
    });
}

bool DynoStream::available() const {
    return host_.link.connected() || host_.link.holds(tool_);
}

void DynoStream::start() {
    running_ = true;
    if (claimed_) {
        if (host_.link.holds(tool_)) arm();
        return;
    }
    claimed_ = true;
    EcuLink::Claim claim;
    claim.receiver = [this](const QByteArray& frame) { tap_.take(frame); };
    claim.granted = [this] {
        if (waited_ && waiting) waiting({});
        waited_ = false;
        if (running_) arm();
    };
    claim.resumed = claim.granted;
    claim.rearm = claim.granted;
    claimLink(host_, tool_, std::move(claim), {}, [this](const QString& holder) {
        waited_ = true;
        if (waiting) waiting(holder);
    });
}

void DynoStream::stop() {
    running_ = false;
    if (host_.link.holds(tool_))
        host_.link.run(this, LinkSequence().stopStream().mode(ReceiveMode::None));
}

void DynoStream::arm() {
    host_.link.run(this, tap_.stream(fullDataArming(layout_), layout_));
}

void DynoStream::take(uint32_t at, const FrameReadings& readings) {
    if (!running_) return;
    const auto rpm = readings.rawOf(kDynoRpm);
    const auto speed = readings.rawOf(kDynoSpeed);
    const auto throttle = readings.rawOf(kDynoThrottle);
    if (!rpm || !speed || !throttle || !sample) return;
    const Units& units = host_.state.units;
    PullRecorder::Sample s;
    s.at = at;
    s.rpm = convertGauge(kDynoRpm, *rpm, units);
    s.speed = convertGauge(kDynoSpeed, *speed, units);
    s.throttle = convertGauge(kDynoThrottle, *throttle, units);
    if (host_.state.wideband) s.wb = host_.state.wideband(s.at);
    sample(s);
}

} // namespace kx
