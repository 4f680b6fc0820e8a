#include "link/EcuLink.h"

#include "link/SerialPort.h"
#include "link/ecu_protocol.h"
#include "util/hex.h"
#include "util/numbers.h"
#include "util/settings.h"
#include "util/ticks.h"

#include <QLocale>
#include <algorithm>

namespace kx {

namespace {
const QString Comms = QStringLiteral("Comms");
} // namespace

QString noDataText(const QDateTime& since) {
    return QStringLiteral("No data from the ECU since %1")
        .arg(QLocale::c().toString(since.time(), QStringLiteral("HH:mm:ss")));
}

// ---------------------------------------------------------------- link

EcuLink::EcuLink(SerialPort* port, Settings& settings, QObject* parent)
    : QObject(parent), port_(port), settings_(settings),
      steps_([this](LinkStep& step, std::deque<LinkStep>& rest) { return doStep(step, rest); },
             [this] { settle_.reset(); }, this),
      settle_(*port), watch_(*port, settings, Comms) {
    port_->setParent(this);
    connect(port_, &SerialPort::received, this, &EcuLink::MSComm1_OnComm);
    connect(port_, &SerialPort::lost, this, &EcuLink::onLost);
    answerTimer_.setSingleShot(true);
    answerTimer_.setInterval(kAnswerTimeoutMs);
    connect(&answerTimer_, &QTimer::timeout, this, [this] {
        // Only while the link still waits in identification: a tool may have taken it since.
        if (state_ != State::Identifying || readMode_ != ReceiveMode::Identify) return;
        connected_ = false;
        // Bytes came back, but never the id's complement: another ECU id answers there.
        const bool otherId = !initAnswer_.isEmpty() && !initAnswer_.contains(char(~ecuId_));
        watch_.setProblem(otherId ? QStringLiteral("an ECU answered, but not to id %1")
                                        .arg(ecuId_, 2, 16, QLatin1Char('0'))
                                        .toUpper()
                                  : QStringLiteral("no answer"));
        setState(otherId ? State::WrongId : State::NoAnswer);
    });
    connect(&watch_, &LinkWatch::retryDue, this, &EcuLink::onRetry);
    connect(&watch_, &LinkWatch::quiet, this, &EcuLink::onQuiet);
    connect(&watch_, &LinkWatch::silenceChanged, this, &EcuLink::onSilence);
    rearmTimer_.setInterval(kRearmMs);
    connect(&rearmTimer_, &QTimer::timeout, this, &EcuLink::onRearm);
}

EcuLink::~EcuLink() {
    shuttingDown_ = true;
    steps_.clear();
}

void EcuLink::setState(State s) {
    if (state_ == s) return;
    state_ = s;
    watch_.setDown(s == State::Lost || s == State::NoAnswer || s == State::WrongId);
    emit stateChanged(s);
}

// ---------------------------------------------------------------- sequences

void EcuLink::run(QObject* owner, LinkSequence sequence) {
    if (shuttingDown_) return;
    steps_.run(owner, std::move(sequence));
}

bool EcuLink::cancel(QObject* owner) {
    return steps_.cancel(owner);
}

int EcuLink::quietNeededMs() const {
    return settle_.quietNeededMs();
}

StepRunner::Outcome EcuLink::doStep(LinkStep& next, std::deque<LinkStep>& rest) {
    using Outcome = StepRunner::Outcome;
    switch (next.kind) {
    case LinkStep::Write: {
        const bool start = next.bytes.size() == 1 && uint8_t(next.bytes[0]) == ecu::StreamStart;
        if (start) {
            // What came before the start is not the new stream's; its first frame opens what
            // comes after.
            confirmer_.started();
            restartClock();
            port_->setWatching(false);
        } else {
            // Until the next stream starts, every byte's arrival is noted, so a settle knows
            // when the line fell quiet.
            port_->setWatching(true);
            if (next.bytes.size() == 1 && uint8_t(next.bytes[0]) == ecu::StreamStop) {
                setStreamExpected(false);
                // The holder stopped its stream: its silence, and the re-arming, end.
                if (!rearming_) watch_.setSilent(false);
            }
        }
        if (!port_->write(next.bytes)) return Outcome::fail(Failure::PortClosed);
        if (next.answered) port_->answerExpected();
        if (start && frameCount_ != kRawFrames) {
            setStreamExpected(true);
            rearming_ = false;
        }
        if (next.traced) trace_.send(next.bytes);
        break;
    }
    case LinkStep::Discard:
        port_->discard();
        confirmer_.clear();
        restartClock();
        break;
    case LinkStep::Settle: {
        int waitMs = 0;
        switch (settle_.look(next.value == LinkStep::kSettleThenClose, waitMs)) {
        case LineSettle::Look::Wait:
            return Outcome::again(waitMs);
        case LineSettle::Look::Busy:
            return Outcome::fail(Failure::LineBusy);
        case LineSettle::Look::Quiet:
            break;
        }
        break;
    }
    case LinkStep::Frames:
        frameCount_ = next.value;
        confirmer_.expect(next.value, next.rule);
        restartClock();
        break;
    case LinkStep::Threshold:
        port_->setThreshold(next.value);
        break;
    case LinkStep::Mode:
        readMode_ = ReceiveMode(next.value);
        frameCount_ = kRawFrames;
        setStreamExpected(false);
        break;
    case LinkStep::Call:
        if (next.call) next.call();
        break;
    case LinkStep::ClosePort:
        if (port_->isOpen()) {
            rest.push_front(LinkStep::of(LinkStep::Close));
            LinkSequence stop;
            stop.stopStream();
            // The port closes next: a stream that will not stop does not keep it open.
            for (LinkStep& s : stop.steps)
                if (s.kind == LinkStep::Settle) s.value = LinkStep::kSettleThenClose;
            rest.insert(rest.begin(), stop.steps.begin(), stop.steps.end());
        }
        break;
    case LinkStep::Close:
        setStreamExpected(false);
        port_->close();
        break;
    case LinkStep::Open:
        if (!openNow()) return Outcome::fail(Failure::PortClosed);
        break;
    case LinkStep::Wait: // the runner's own
        break;
    }
    return Outcome::next();
}

bool EcuLink::openNow() {
    const QString portText = settings_.read(Comms, QStringLiteral("ComPort"));
    const QString line = settings_.read(Comms, QStringLiteral("Speed")) + QStringLiteral(",N,8,1");
    const int err = port_->open(portText, line);
    if (err != PortOk) {
        watch_.setProblem(port_->lastError());
        if (!quietConnect_) emit portError(err, portDevice(portText), port_->lastError());
        return false;
    }
    const auto debug = parseWhole(settings_.read(Comms, QStringLiteral("Debug")));
    if (!trace_.isOpen() && debug && *debug != 0) trace_.open();
    return true;
}

// ---------------------------------------------------------------- tools

void EcuLink::acquire(QObject* tool, Claim claim) {
    if (!tool || shuttingDown_ || holderRaw_ == tool) return;
    for (const Pending& p : pending_)
        if (p.raw == tool) return;
    watch(tool);
    if (!holderRaw_) {
        holder_ = tool;
        holderRaw_ = tool;
        claim_ = std::move(claim);
        const auto granted = claim_.granted;
        if (granted) granted();
        return;
    }
    emit waiting(claim.name, claim_.name);
    pending_.push_back(Pending{tool, tool, std::move(claim)});
}

void EcuLink::watch(QObject* tool) {
    if (watched_.contains(tool)) return;
    watched_.insert(tool);
    connect(tool, &QObject::destroyed, this, [this, tool] {
        watched_.remove(tool);
        release(tool);
    });
}

void EcuLink::handOver(QObject* from, QObject* to, Claim claim) {
    if (!from || !to || holderRaw_ != from) return;
    const bool armingLost = cancel(from);
    watch(to);
    holder_ = to;
    holderRaw_ = to;
    claim_ = std::move(claim);
    const auto granted = claim_.granted;
    if (armingLost && granted) granted();
}

void EcuLink::release(QObject* tool) {
    if (!tool) return;
    std::erase_if(pending_, [tool](const Pending& p) { return p.raw == tool; });
    cancel(tool);
    if (holderRaw_ != tool) return;
    holder_ = nullptr;
    holderRaw_ = nullptr;
    claim_ = Claim{};
    resumeHolder_ = false;
    rearming_ = false;
    watch_.setSilent(false);
    // The next tool starts after whatever the releasing tool's close queues (the reconnect).
    QTimer::singleShot(0, this, &EcuLink::grantNext);
}

void EcuLink::grantNext() {
    while (!holderRaw_ && !pending_.empty() && !shuttingDown_) {
        Pending p = std::move(pending_.front());
        pending_.pop_front();
        if (!p.tool) continue;
        holder_ = p.tool;
        holderRaw_ = p.raw;
        claim_ = std::move(p.claim);
        const auto granted = claim_.granted;
        if (granted) granted();
    }
}

// ---------------------------------------------------------------- connect

void EcuLink::connectEcu(bool quiet) {
    // The connect takes the holder's stream from it: it gets it back once the ECU answers.
    if (holderRaw_) resumeHolder_ = true;
    if (shuttingDown_ || connectQueued_) return;
    connectQueued_ = true;
    quietConnect_ = quiet;
    retryConnect_ = quiet;
    LinkSequence s;
    s.then([this] {
        answerTimer_.stop();
        partNumber_.clear();
        initAnswer_.clear();
        setState(State::Connecting);
    });
    // A stored model that is not a number leaves the one before.
    if (const auto model = parseNumber(settings_.read(Comms, QStringLiteral("OBDIImodel"))))
        obd2_ = *model != 0;
    s.closePort().openPort().mode(ReceiveMode::Identify).threshold(ecu::ConnectThreshold);
    // An id that is not hexadecimal sends no initialisation, but the link is still armed and
    // the stream started, so the receive buffer never grows without a threshold.
    if (const auto id = parseHexByte(settings_.read(Comms, QStringLiteral("ECUid")))) {
        QByteArray init;
        init.append(char(0xFF))
            .append(char(0xFF))
            .append(char(*id))
            .append(char(ecu::PartNumberRequest));
        ecuId_ = *id;
        // The initialisation and identification bytes go to the debug trace, so that it
        // records each attempt; what came back follows as receive records.
        for (char b : init) {
            s.write(QByteArray(1, b), true);
            // The id and the part-number request are answered at once: samples of the hold.
            s.steps.back().answered = uint8_t(b) != 0xFF;
            s.wait(100);
        }
        // Kept before the discard: whether the ECU answered the initialisation at all.
        s.then([this] { initAnswer_ += port_->peek(); });
    }
    s.wait(20).discard().frames(obd2_ ? ecu::IdCountObd2 : ecu::IdCount).startStream();
    s.onEnd([this](bool ok) {
        connectQueued_ = false;
        quietConnect_ = false;
        if (ok) {
            setState(State::Identifying);
            answerTimer_.start();
        } else {
            connected_ = false;
            setState(wasLost_ ? State::Lost : State::Closed);
        }
    });
    run(nullptr, std::move(s));
}

void EcuLink::shutdown() {
    shuttingDown_ = true;
    watch_.setRetrying(false);
    answerTimer_.stop();
    steps_.clear();
    pending_.clear();
    watch_.expectFrames(false);
    rearmTimer_.stop();
    if (port_->isOpen()) {
        // Nothing is read any more, so the pause and discard of a stream stop are not needed.
        port_->write(QByteArray(1, char(ecu::StreamStop)));
        port_->close();
    }
    trace_.close();
}

void EcuLink::setRetrying(bool on) {
    watch_.setRetrying(on);
}

void EcuLink::onRetry() {
    if (state_ != State::Lost && state_ != State::NoAnswer && state_ != State::WrongId) return;
    // A tool's stream is not taken from it while the ECU is silent; a lost link is another
    // matter: the holder gets its stream back once the link returns.
    // A link lost under a tool that came back to an ECU without its ignition has no stream to
    // take: it keeps trying until the ECU answers and the tool gets its stream back.
    if (busy() || (state_ != State::Lost && holderRaw_ && !wasLost_)) return;
    connectEcu(true);
}

// ---------------------------------------------------------------- receive

int storedEcuBaud(const Settings& settings) {
    return storedBaud(settings, Comms);
}

void EcuLink::restartClock() {
    clock_.reset(storedEcuBaud(settings_));
    frameTicked_ = false;
}

void EcuLink::MSComm1_OnComm() {
    const QByteArray bytes = port_->readAll();
    if (!bytes.isEmpty()) clock_.arrived(bytes.size(), ticks());
    if (trace_.isOpen()) trace_.receive(bytes);
    if (readMode_ == ReceiveMode::Identify && state_ == State::Connecting) initAnswer_ += bytes;
    if (frameCount_ != kRawFrames) return dispatchFrames(bytes);
    if (readMode_ == ReceiveMode::Identify) {
        getEcuPartNo(bytes);
    } else if (readMode_ != ReceiveMode::None && holderRaw_ && claim_.receiver) {
        // A copy: the handler may close its tool, which drops the claim.
        const Receiver receiver = claim_.receiver;
        receiver(bytes);
    }
}

void EcuLink::dispatchFrames(const QByteArray& bytes) {
    // Between a stop and the next start nothing is the tool's: a stopped stream's tail is not
    // the answer to the next request.
    if (!streamExpected_) return;
    const bool wasBroken = confirmer_.broken();
    const QList<QByteArray> frames = confirmer_.take(bytes);
    if (!wasBroken && confirmer_.broken()) {
        if (readMode_ != ReceiveMode::None && readMode_ != ReceiveMode::Identify && holderRaw_ &&
            claim_.broken) {
            const auto broken = claim_.broken;
            broken();
        }
        return;
    }
    if (frames.isEmpty()) return;
    watch_.frameArrived();
    if (readMode_ == ReceiveMode::Identify) {
        for (const QByteArray& f : frames)
            getEcuPartNo(f);
        return;
    }
    if (readMode_ == ReceiveMode::None || !holderRaw_ || !claim_.receiver) return;
    // Copies: a handler may close its tool, which drops the claim.
    const Receiver receiver = claim_.receiver;
    const auto done = claim_.deliveryDone;
    QObject* const holder = holderRaw_;
    const QList<qsizetype> tails = confirmer_.tails();
    for (qsizetype i = 0; i < frames.size(); ++i) {
        // A handler may stop the stream or give up the link: the rest is not for it.
        if (!streamExpected_ || holderRaw_ != holder) return;
        stampFrame(i < tails.size() ? tails[i] : 0);
        receiver(frames[i]);
    }
    if (done && holderRaw_ == holder) done();
}

void EcuLink::stampFrame(qsizetype tail) {
    uint32_t at = clock_.tickOf(tail);
    // While the clock settles on the line's own pace a frame may work out no later than the one
    // before; records of one stream never share a time.
    if (frameTicked_ && !tickBefore(frameTick_, at)) at = frameTick_ + 1;
    frameTick_ = at;
    frameTicked_ = true;
    if (trace_.isOpen()) trace_.note("frame at " + QByteArray::number(at));
}

void EcuLink::setStreamExpected(bool on) {
    streamExpected_ = on;
    watch_.expectFrames(on);
}

void EcuLink::onQuiet() {
    if (readMode_ == ReceiveMode::Identify) {
        // The identification stream stopped: the ECU no longer answers; the retries take over.
        if (state_ != State::Connected) return;
        setStreamExpected(false);
        connected_ = false;
        partNumber_.clear();
        watch_.setProblem(QStringLiteral("no answer"));
        setState(State::NoAnswer);
        return;
    }
    watch_.setSilent(true);
}

void EcuLink::onSilence(bool on) {
    if (on) {
        lastFrameAt_ = watch_.lastFrameAt();
        rearmTimer_.start();
    } else {
        rearmTimer_.stop();
    }
    emit silenceChanged(on);
}

void EcuLink::onRearm() {
    if (!watch_.silent() || busy()) return;
    if (!streamExpected_ || !holderRaw_ || !claim_.rearm || !port_->isOpen()) {
        // Nothing is to be woken: the holder stopped, or nobody holds a stream.
        rearming_ = false;
        watch_.setSilent(false);
        return;
    }
    rearming_ = true;
    // An ECU that lost its power starts afresh and waits for an initialisation.
    QByteArray wake("\xFF\xFF", 2);
    wake.append(char(ecuId_));
    LinkSequence s;
    s.stopStream().write(wake).wait(100);
    run(holder_, std::move(s));
    const auto rearm = claim_.rearm;
    rearm();
}

void EcuLink::getEcuPartNo(const QByteArray& bytes) {
    if (!partNumber_.isEmpty()) return;
    const auto part = findPartNumber(bytes, obd2_);
    if (!part) return;
    partNumber_ = *part;
    connected_ = true;
    watch_.setProblem({});
    answerTimer_.stop();
    const bool resume = wasLost_ || resumeHolder_;
    wasLost_ = false;
    resumeHolder_ = false;
    setState(State::Connected);
    emit identified(partNumber_);
    if (resume && holderRaw_ && claim_.resumed) {
        const auto resumed = claim_.resumed;
        resumed();
    }
}

void EcuLink::onLost(const QString& reason) {
    if (shuttingDown_) return;
    watch_.noteLoss(reason);
    answerTimer_.stop();
    // Every exchange in flight ends; their owners hear of it through their end handlers.
    const auto ends = steps_.abortAll();
    connectQueued_ = false;
    quietConnect_ = false;
    connected_ = false;
    partNumber_.clear();
    readMode_ = ReceiveMode::None;
    wasLost_ = true;
    setStreamExpected(false);
    watch_.setSilent(false);
    setState(State::Lost);
    for (auto& e : ends)
        e(false);
}

} // namespace kx
