#include "cli/DriveLogger.h"

#include "link/link_messages.h"
#include "wideband/WbLink.h"

#include <cmath>

namespace kx {

DriveLogger::DriveLogger(EcuLink& link, LogWriter& writer, const Settings& settings, Plan plan,
                         QObject* parent)
    : QObject(parent), link_(link), writer_(writer),
      settings_(settings), state_{std::move(plan.setup), {}, plan.units, {}},
      session_(link, state_, settings) {
    retry_.setInterval(EcuLink::kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &DriveLogger::retry);
    connect(&link_, &EcuLink::stateChanged, this, &DriveLogger::onState);
    connect(&link_, &EcuLink::identified, this, &DriveLogger::onIdentified);
    connect(&link_, &EcuLink::silenceChanged, this, &DriveLogger::updateStatus);
    connect(&link_, &EcuLink::portError, this,
            [this](int error, const QString& device, const QString& detail) {
                emit openFailed(QStringLiteral("ECU port %1: %2")
                                    .arg(device, portErrorText(error, device, detail)));
            });
}

void DriveLogger::setWideband(WbLink* wideband) {
    wideband_ = wideband;
    state_.wideband = [wideband](uint32_t at) { return std::optional(wideband->sampleAt(at)); };
    connect(wideband, &WbLink::stateChanged, this, &DriveLogger::updateStatus);
}

void DriveLogger::start() {
    link_.setRetrying(true);
    link_.connectEcu();
    if (wideband_) {
        wideband_->setRetrying(true);
        wideband_->connectWb();
    }
    updateStatus();
}

void DriveLogger::stop() {
    // The frame the spike filter holds has no successor to vouch for it: the log ends on the
    // frame before, as it would on the last frame the link could not confirm.
    ended_ = true;
    retry_.stop();
    link_.shutdown();
    if (wideband_) {
        wideband_->setRetrying(false);
        wideband_->closePort2();
    }
}

void DriveLogger::onIdentified() {
    if (ended_) return;
    // After a lost cable or a silent ECU the link identifies it again: the stream is armed
    // afresh on the same file.
    if (session_.listening(this)) {
        if (link_.holds(this)) session_.arm(this);
    } else {
        session_.join(this, {QStringLiteral("kestrix-cli"),
                             [this](uint32_t at, const FrameReadings&) { onFrame(at); },
                             {},
                             {}});
    }
    updateStatus();
}

void DriveLogger::onFrame(uint32_t at) {
    if (ended_) return;
    if (const auto error = writer_.recordLive(state_.live, at)) {
        ended_ = true;
        emit writeFailed(*error);
        return;
    }
    ++records_;
    if (state_.live.wb && std::isfinite(state_.live.wb->afr)) ++wbReadings_;
}

void DriveLogger::onState(EcuLink::State state) {
    // The link retries a lost port by itself, but leaves an unanswered one to the tool that
    // holds it: the ECU may still be off when the cable comes back.
    const bool unanswered = state == EcuLink::State::NoAnswer || state == EcuLink::State::WrongId;
    if (unanswered && link_.holds(this) && !ended_) {
        if (!retry_.isActive()) retry_.start();
    } else if (state != EcuLink::State::Connecting && state != EcuLink::State::Identifying) {
        retry_.stop();
    }
    updateStatus();
}

void DriveLogger::retry() {
    const auto state = link_.state();
    if (state != EcuLink::State::NoAnswer && state != EcuLink::State::WrongId) return;
    if (!link_.busy()) link_.connectEcu(true);
}

void DriveLogger::updateStatus() {
    QString own;
    switch (link_.state()) {
    case EcuLink::State::Closed:
        own = QStringLiteral("port closed");
        break;
    case EcuLink::State::Connecting:
        own = QStringLiteral("connecting to %1").arg(link_.device());
        break;
    case EcuLink::State::Identifying:
        own = QStringLiteral("waiting for the ECU on %1").arg(link_.device());
        break;
    case EcuLink::State::Connected:
        own = (link_.holds(this) ? QStringLiteral("logging ECU %1")
                                 : QStringLiteral("ECU %1 answered"))
                  .arg(link_.partNumber());
        break;
    default:
        break;
    }
    ecuStatus_ = linkStatusText(link_, settings_, own, ecuStatus_);
    QString text = ecuStatus_;
    if (wideband_) {
        const QString note = wideband_->stateNote();
        text += QStringLiteral("; wideband: ") +
                (note.isEmpty() ? wideband_->state() == WbLink::State::Streaming
                                      ? QStringLiteral("streaming")
                                      : QStringLiteral("connecting")
                                : note);
    }
    if (text == status_) return;
    status_ = text;
    emit statusChanged(text);
}

} // namespace kx
