#include "cli/DriveLogger.h"

#include "link/link_messages.h"

namespace kx {

namespace {
// The logger alone holds the live-data stream, as the data logger window does.
constexpr int16_t kLoggingMode = 3;
} // namespace

DriveLogger::DriveLogger(EcuLink& link, LogWriter& writer, const Settings& settings, Plan plan,
                         QObject* parent)
    : QObject(parent), link_(link), writer_(writer), settings_(settings), plan_(std::move(plan)) {
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

void DriveLogger::start() {
    link_.OBDIImodel = plan_.obd2;
    link_.setRetrying(true);
    link_.connectEcu();
    updateStatus();
}

void DriveLogger::stop() {
    // The frame the spike filter holds has no successor to vouch for it: the log ends on the
    // frame before, as it would on the last frame the link could not confirm.
    ended_ = true;
    retry_.stop();
    link_.shutdown();
}

void DriveLogger::onIdentified() {
    if (ended_) return;
    // After a lost cable or a silent ECU the link identifies it again: the stream is armed
    // afresh on the same file.
    if (link_.holds(this)) {
        arm();
    } else {
        EcuLink::Claim claim;
        claim.name = QStringLiteral("kestrix-cli");
        claim.liveData = true;
        claim.receiver = [this](const QByteArray& frame) { onFrame(frame); };
        claim.granted = [this] { arm(); };
        claim.rearm = [this] { arm(); };
        link_.acquire(this, std::move(claim));
    }
    updateStatus();
}

void DriveLogger::arm() {
    filter_.reset(storedEcuBaud(settings_));
    link_.run(this, liveDataStream(plan_.setup, kLoggingMode));
}

void DriveLogger::onFrame(const QByteArray& frame) {
    if (ended_) return;
    const auto passed = filterFrame(filter_, frame, plan_.setup, link_.trace());
    if (!passed) return;
    getFullData(passed->bytes, plan_.setup, plan_.units, live_);
    LogValues values;
    values.gauges = live_.gaugeValue;
    values.states = live_.switchState;
    if (const auto error = writer_.record(values, passed->at)) {
        ended_ = true;
        emit writeFailed(*error);
        return;
    }
    ++records_;
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
    const QString text = linkStatusText(link_, settings_, own, status_);
    if (text == status_) return;
    status_ = text;
    emit statusChanged(text);
}

} // namespace kx
