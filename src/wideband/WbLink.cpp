#include "wideband/WbLink.h"

#include "link/SerialPort.h"
#include "util/settings.h"
#include "util/ticks.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace kx {

namespace {
const QString Section = QStringLiteral("WBO2");
} // namespace

WbLink::WbLink(SerialPort* port, Settings& settings, std::array<float, 11>& wbValues,
               QObject* parent)
    : QObject(parent), port_(port), settings_(settings), wbValues_(wbValues),
      watch_(*port, settings, Section) {
    port_->setParent(this);
    connect(port_, &SerialPort::received, this, &WbLink::MSComm2_OnComm);
    connect(port_, &SerialPort::lost, this, &WbLink::onLost);
    pauseTimer_.setSingleShot(true);
    pauseTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pauseTimer_, &QTimer::timeout, this, &WbLink::sendAfterPause);
    noReplyTimer_.setSingleShot(true);
    noReplyTimer_.setInterval(kNoReplyMs);
    connect(&noReplyTimer_, &QTimer::timeout, this, [this] {
        if (state_ == State::Handshaking) setState(State::NoReply);
    });
    connect(&watch_, &LinkWatch::retryDue, this, &WbLink::onRetry);
    connect(&watch_, &LinkWatch::quiet, this, &WbLink::onQuiet);
    startAgainTimer_.setSingleShot(true);
    startAgainTimer_.setInterval(kStartAgainMs);
    connect(&startAgainTimer_, &QTimer::timeout, this, &WbLink::startAgain);
}

QString WbLink::stateNote() const {
    const QString d = device();
    switch (state_) {
    case State::NoReply:
        return QStringLiteral("No reply from the wideband controller on %1").arg(d);
    case State::Incompatible:
        return QStringLiteral("The wideband controller is not compatible");
    case State::Lost:
        return QStringLiteral("Wideband port %1 lost: %2. Trying again every 2 s.")
            .arg(d, lastProblem());
    case State::Silent:
        return QStringLiteral(
                   "No data from the wideband controller on %1 since %2: asking again every 2 s.")
            .arg(d, QLocale::c().toString(watch_.lastFrameAt().time(), QStringLiteral("HH:mm:ss")));
    default:
        return {};
    }
}

QString WbLink::stateWord() const {
    switch (state_) {
    case State::Closed:
        return QStringLiteral("Closed");
    case State::Handshaking:
        return QStringLiteral("Handshake");
    case State::NoReply:
        return QStringLiteral("No reply");
    case State::Incompatible:
        return QStringLiteral("Incompatible");
    case State::Streaming:
        return {};
    case State::Silent:
        return QStringLiteral("Silent");
    case State::Lost:
        return QStringLiteral("Lost");
    }
    return {};
}

WbSample WbLink::sampleAt(uint32_t at) const {
    WbSample out;
    out.state = stateWord();
    if (!out.state.isEmpty()) return out;
    // The newest frame that ended no later than the record's frame.
    for (size_t k = 1; k <= count_; ++k) {
        const Reading& r = readings_[(next_ + readings_.size() - k) % readings_.size()];
        if (tickBefore(at, r.at)) continue;
        if (elapsedTicks(r.at, at) > uint64_t(kFreshMs)) break;
        out.state = wb::statusWord(r.sensor);
        if (wb::ratioUsable(r.sensor)) {
            out.afr = r.afr;
            out.at = r.at;
        }
        return out;
    }
    out.state = QStringLiteral("Silent");
    return out;
}

void WbLink::setState(State s) {
    // Whatever the controller said last is no reading once it no longer streams.
    if (s != State::Streaming) wbValues_[0] = std::numeric_limits<float>::quiet_NaN();
    if (s != State::Streaming && s != State::Silent) count_ = 0;
    if (s == State::Handshaking) noReplyTimer_.start();
    if (s != State::Handshaking) noReplyTimer_.stop();
    // A silent controller (its power gone) is asked afresh, as a lost one is.
    watch_.setDown(s == State::Lost || s == State::Silent || s == State::NoReply);
    watch_.expectFrames(s == State::Streaming);
    if (state_ == s) return;
    state_ = s;
    emit stateChanged(s);
}

bool WbLink::openPort2(bool quiet) {
    closePort2();
    const QString portText = settings_.read(Section, QStringLiteral("ComPort"));
    const QString line =
        settings_.read(Section, QStringLiteral("Speed")) + QStringLiteral(",N,8,1");
    const int err = port_->open(portText, line);
    if (err == PortOk) return true;
    watch_.setProblem(port_->lastError());
    if (!quiet) emit portError(err, portDevice(portText), port_->lastError());
    return false;
}

void WbLink::closePort2() {
    pauseTimer_.stop();
    startAgainTimer_.stop();
    if (port_->isOpen()) port_->close();
}

void WbLink::connectWb(bool quiet) {
    version_.clear();
    if (!openPort2(quiet)) {
        ReadMode2 = 0;
        // A failed retry keeps saying the port was lost.
        setState(state_ == State::Lost ? State::Lost : State::Closed);
        return;
    }
    watch_.setProblem({});
    ReadMode2 = wb::WaitStart;
    carry_.clear();
    // Frames a streaming controller sent while the port was closed are not a reply.
    port_->discard();
    port_->setThreshold(wb::kHandshakeThreshold);
    // A retry after silence stays silent until the controller streams again.
    if (state_ == State::Silent)
        noReplyTimer_.stop();
    else
        setState(State::Handshaking);
    send(wb::cmdStart());
}

void WbLink::send(const QByteArray& bytes) {
    // A write on a closed port fails quietly: the handshake simply waits.
    port_->write(bytes);
}

void WbLink::MSComm2_OnComm() {
    const QByteArray bytes = port_->readAll();
    if (!bytes.isEmpty()) clock_.arrived(bytes.size(), ticks());
    const int16_t mode = ReadMode2;
    if (mode == wb::Streaming) {
        getWbData(bytes);
    } else if (mode >= 1 && mode <= 7) {
        handshakeStep(bytes);
    } else {
        return;
    }
    if (mode != wb::WaitT1) emit activity();
}

void WbLink::handshakeStep(const QByteArray& bytes) {
    // A reply during the version pause belongs to what was asked before it.
    if (pauseTimer_.isActive()) return;
    if (state_ == State::NoReply) setState(State::Handshaking);
    // Frames in flight when the start command went out come first; a frame or the reply's
    // "> " may then straddle two deliveries, so the first step also looks at what came before.
    const bool start = ReadMode2 == wb::WaitStart;
    const wb::HandshakeStep step = wb::handshake(ReadMode2, start ? carry_ + bytes : bytes);
    carry_ = start ? step.rest : QByteArray();
    // The start reply may sit behind a frame cut where the port opened, out of reach of the
    // search: once the stream has stopped, the controller answers the command again in step.
    // The same for the version and check replies, behind the tail of a stream stopped late.
    const bool asked = start || ReadMode2 == wb::WaitVersion || ReadMode2 == wb::WaitCheck;
    if (asked && !step.advances && !startAgainTimer_.isActive()) startAgainTimer_.start();
    if (step.advances) startAgainTimer_.stop();
    if (step.incompatible) {
        // Said once a connect: the link stops taking replies until the next one.
        ReadMode2 = 0;
        setState(State::Incompatible);
        emit incompatible(*step.incompatible);
        return;
    }
    if (!step.advances) return;
    if (step.version && version_.isEmpty()) {
        version_ = *step.version;
        emit versionRead(version_);
    }
    if (step.streams) {
        port_->setThreshold(wb::kStreamThreshold);
        ReadMode2 = step.next;
        clock_.reset(storedBaud(settings_, Section));
        frameCarry_.clear();
        setState(State::Streaming);
        return;
    }
    if (state_ != State::Handshaking && state_ != State::Silent) setState(State::Handshaking);
    noReplyTimer_.start();
    if (step.pauseMs > 0) {
        pendingSend_ = step.send;
        ReadMode2 = step.next;
        // The next mode holds only once the pause is over; until then replies are dropped.
        pauseTimer_.start(step.pauseMs);
        return;
    }
    ReadMode2 = step.next;
    if (step.discard) port_->discard();
    send(step.send);
}

void WbLink::startAgain() {
    if (!port_->isOpen()) return;
    QByteArray again;
    if (ReadMode2 == wb::WaitStart)
        again = wb::cmdStart();
    else if (ReadMode2 == wb::WaitVersion)
        again = wb::cmdVersion();
    else if (ReadMode2 == wb::WaitCheck)
        again = wb::cmdCheck();
    else
        return;
    port_->discard();
    carry_.clear();
    send(again);
}

void WbLink::sendAfterPause() {
    port_->discard();
    send(pendingSend_);
    noReplyTimer_.start();
}

void WbLink::getWbData(const QByteArray& bytes) {
    const QByteArray all = frameCarry_ + bytes;
    const std::vector<wb::FrameAt> frames = wb::decodeFrames(all, frameCarry_);
    if (frames.empty()) return;
    watch_.frameArrived();
    if (state_ == State::Silent) setState(State::Streaming);
    for (const wb::FrameAt& f : frames) {
        // Timed by the bytes that came after it on the line.
        readings_[next_] = {clock_.tickOf(all.size() - f.end), f.frame.afr, f.frame.sensor,
                            f.frame.heater};
        next_ = (next_ + 1) % readings_.size();
        count_ = std::min(count_ + 1, readings_.size());
    }
    const wb::Frame& frame = frames.back().frame;
    const bool usable = wb::ratioUsable(frame.sensor);
    wbValues_[0] = usable ? frame.afr : std::numeric_limits<float>::quiet_NaN();
    wbValues_[1] = frame.afr;
    wbValues_[9] = frame.sensor;
    wbValues_[10] = frame.heater;
    emit measured(frame);
}

void WbLink::setRetrying(bool on) {
    watch_.setRetrying(on);
}

void WbLink::onQuiet() {
    if (state_ == State::Streaming) setState(State::Silent);
}

void WbLink::onLost(const QString& reason) {
    watch_.noteLoss(reason);
    pauseTimer_.stop();
    startAgainTimer_.stop();
    ReadMode2 = 0;
    setState(State::Lost);
}

void WbLink::onRetry() {
    if (state_ == State::Lost || state_ == State::Silent || state_ == State::NoReply)
        connectWb(true);
}

} // namespace kx
