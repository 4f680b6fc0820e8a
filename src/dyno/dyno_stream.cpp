#include "dyno/dyno_stream.h"

#include "live/live_state.h"

#include "dyno/dyno.h"
#include "link/EcuLink.h"
#include "ui/link_claim.h"
#include "util/ticks.h"

#include <QWidget>

namespace kx {

namespace {}

DynoStream::DynoStream(const Host& host, QWidget* tool)
    : QObject(tool), host_(host), tool_(tool),
      layout_(streamLayout({kDynoRpm, kDynoSpeed, kDynoThrottle})) {
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
    claim.receiver = [this](const QByteArray& bytes) { receive(bytes); };
    claim.granted = [this] {
        if (running_) arm();
    };
    claim.resumed = claim.granted;
    claim.rearm = claim.granted;
    claimLink(host_, tool_, std::move(claim));
}

void DynoStream::stop() {
    running_ = false;
    if (host_.link.holds(tool_))
        host_.link.run(this, LinkSequence().stopStream().mode(ReceiveMode::None));
}

void DynoStream::arm() {
    spikes_.reset(storedEcuBaud(host_.settings));
    host_.link.run(this, liveDataStream(layout_, ReceiveMode::Dyno));
}

void DynoStream::receive(const QByteArray& frame) {
    if (!running_ || host_.link.readMode() != ReceiveMode::Dyno) return;
    // Each frame waits for the next: a value no engine could reach is dropped, and a frame is
    // timed when it came.
    const auto passed = filterFrame(spikes_, frame, layout_, host_.link.trace(),
                                    host_.link.frameTick());
    if (!passed || !passed->readings.found) return;
    PullRecorder::Sample s;
    s.at = passed->at;
    int seen = 0;
    for (int k = 0; k < passed->readings.slotCount; ++k) {
        const auto& slot = passed->readings.bySlot[size_t(k)];
        if (!slot.raw) continue;
        const float v = convertGauge(slot.gauge, *slot.raw, host_.state.units);
        if (slot.gauge == kDynoRpm)
            s.rpm = v;
        else if (slot.gauge == kDynoSpeed)
            s.speed = v;
        else if (slot.gauge == kDynoThrottle)
            s.throttle = v;
        else
            continue;
        ++seen;
    }
    if (host_.state.wideband) s.wb = host_.state.wideband(s.at);
    if (seen == 3 && sample) sample(s);
}

} // namespace kx
