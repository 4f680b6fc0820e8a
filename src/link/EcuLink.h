#pragma once
// The one owner of the ECU port. It keeps the receive mode and hands each delivery to the
// tool that holds the link; it runs every timed exchange (connect, arming, stream start and
// stop) as a sequence of steps, one sequence at a time, so no two tools ever interleave bytes;
// and it turns a lost port into a state that the windows show, retrying on its own.
#include "link/debug_trace.h"
#include "link/framing.h"
#include "link/line_settle.h"
#include "link/link_sequence.h"
#include "link/line_clock.h"
#include "link/link_watch.h"
#include "link/step_runner.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

namespace kx {

class SerialPort;
class Settings;

// The ECU line's speed as stored (Comms/Speed), 9600 when it is not a usable number.
int storedEcuBaud(const Settings& settings);

// "No data from the ECU since 14:03:27": what every window says while the stream is silent.
QString noDataText(const QDateTime& since);

class EcuLink : public QObject {
    Q_OBJECT
public:
    enum class State {
        Closed,      // never opened, or the open failed
        Connecting,  // the connect sequence runs
        Identifying, // the stream is started; no identification frame yet
        Connected,   // the ECU sent its part number
        NoAnswer,    // connected to the port, but the ECU has not answered
        WrongId,     // an ECU answered the initialisation, but not to the stored id
        Lost,        // the port went away (cable pulled); retried while retrying is on
    };
    // The connect sequence waits this long after its stream start for the part number.
    static constexpr int kAnswerTimeoutMs = 2000;
    static constexpr int kRetryMs = LinkWatch::kRetryMs;
    // A stream that brings no confirmed frame for this long is silent (ignition off).
    static constexpr int kSilenceMs = LinkWatch::kSilenceMs;
    // A silent stream is asked for again this often.
    static constexpr int kRearmMs = 2000;
    // The longest a settle waits for the line to fall quiet.
    static constexpr int kSettleLimitMs = LineSettle::kLimitMs;

    // Takes ownership of the port. Port, speed, id and model come from the settings.
    EcuLink(SerialPort* port, Settings& settings, QObject* parent = nullptr);
    ~EcuLink() override;

    SerialPort& port() { return *port_; }
    DebugTrace& trace() { return trace_; }

    // Receive mode: which handler gets a delivery. Identify is the link's own; any other mode
    // but None goes to the tool that holds the link. Set by a sequence's mode step.
    ReceiveMode readMode() const { return readMode_; }
    // True once the ECU has sent its part number; false again when the link is lost.
    bool connected() const { return connected_; }
    // The OBD-II generation (its identification frame is longer), as the settings said at the
    // last connect.
    bool obd2() const { return obd2_; }

    State state() const { return state_; }
    QString partNumber() const { return partNumber_; }
    // The device and the reason of the last loss or failure, for the status bar.
    QString device() const { return watch_.device(); }
    QString lastProblem() const { return watch_.problem(); }

    // ---- silence
    // A tool's stream is expected, but no confirmed frame has come for kSilenceMs.
    bool silent() const { return watch_.silent(); }
    // When the last confirmed frame came (valid while silent).
    QDateTime lastFrameAt() const { return lastFrameAt_; }
    // Frames that failed the confirmation since the stream was armed.
    uint64_t framesDropped() const { return confirmer_.dropped(); }
    // No frame came since the stream start, but a stream with another count byte runs: the
    // request was not taken whole.
    bool otherStream() const { return confirmer_.otherStream(); }
    // How long a settle waits for quiet, from what the line has shown of its hold time.
    int quietNeededMs() const;
    // When the frame being handed to the holder ended on the line, as a tick of the 32-bit
    // counter: worked out from the bytes after it, never from when its chunk was read.
    // Strictly increasing through a stream.
    uint32_t frameTick() const { return frameTick_; }

    // ---- sequences
    // Queues a sequence; it runs once those before it are done. Dropped, with no step done
    // after that, when `owner` is destroyed or cancel(owner) is called.
    void run(QObject* owner, LinkSequence sequence);
    // True when something of the owner's was dropped.
    bool cancel(QObject* owner);
    // Why the last sequence that ended with false did.
    using Failure = LinkFailure;
    Failure lastFailure() const { return steps_.lastFailure(); }
    // A sequence is running or queued.
    bool busy() const { return steps_.busy(); }

    // ---- tools take turns
    using Receiver = std::function<void(const QByteArray&)>;
    struct Claim {
        QString name;                  // for "waits for ... to close"
        Receiver receiver;             // deliveries in every mode but 0 and 1
        std::function<void()> granted; // the tool may start: arm its stream
        std::function<void()> resumed; // the link came back after a loss while held
        // The stream fell silent: ask for it again (the link has woken the ECU first). Called
        // every kRearmMs while silent; without it the tool deals with silence itself.
        std::function<void()> rearm;
        // A one-shot reply's stream lost a byte before the reply was agreed: ask again now.
        std::function<void()> broken;
        // Every confirmed frame of one delivery has been handed over.
        std::function<void()> deliveryDone;
        bool liveData = false; // its stream is the live-data stream
    };
    // Asks for the link for `tool`. Granted at once when no other tool holds it; otherwise
    // when the holder releases it (after the reconnect that follows, which is queued first).
    void acquire(QObject* tool, Claim claim);
    // Ends the tool's hold (or its wait) and cancels its sequences. Also done on destruction.
    void release(QObject* tool);
    // The hold passes to another tool with its own claim, the stream untouched (the logger
    // goes on with the display's stream when the display closes). If the first tool's arming
    // was still in flight, the new holder is granted afresh.
    void handOver(QObject* from, QObject* to, Claim claim);
    bool holds(const QObject* tool) const { return tool && holderRaw_ == tool; }
    QObject* holder() const { return holderRaw_; }
    QString holderName() const { return holderRaw_ ? claim_.name : QString(); }
    bool holderIsLiveData() const { return holderRaw_ && claim_.liveData; }

    // ---- connect
    // The connect sequence: the port closed (with a stream stop) and opened again, receive
    // mode 1, the initialisation and identification exchange, the stream start. A connect
    // asked for while one is queued or running is the same connect. `quiet`: an open failure
    // is not reported (the automatic retries).
    void connectEcu(bool quiet = false);
    // The program ends: the stream stop, then close; nothing is queued any more.
    void shutdown();
    // While on, a lost or unanswered link is tried again every two seconds.
    void setRetrying(bool on);
    // The connect in progress (or the last one) is an automatic retry, not the user's.
    bool isRetry() const { return retryConnect_; }

    // The receive dispatcher: reads the whole buffer and hands it on by receive mode.
    void MSComm1_OnComm();

signals:
    void stateChanged(kx::EcuLink::State state);
    void identified(const QString& partNumber);
    // An open asked for by the user failed.
    void portError(int error, const QString& device, const QString& detail);
    // A tool waits for the link: `holder` has it.
    void waiting(const QString& tool, const QString& holder);
    // The expected stream fell silent (true) or its frames came back (false).
    void silenceChanged(bool silent);

private:
    // Does one step of the running sequence (the runner does the waits).
    StepRunner::Outcome doStep(LinkStep& step, std::deque<LinkStep>& rest);
    bool openNow();
    void setState(State s);
    void getEcuPartNo(const QByteArray& bytes);
    void onLost(const QString& reason);
    void onRetry();
    void grantNext();
    void watch(QObject* tool);
    void dispatchFrames(const QByteArray& bytes);
    void setStreamExpected(bool on);
    // The frame about to be handed on is followed by `tail` bytes received so far.
    void stampFrame(qsizetype tail);
    void onQuiet();
    void onSilence(bool silent);
    void onRearm();

    ReceiveMode readMode_ = ReceiveMode::None;
    bool connected_ = false;
    bool obd2_ = false;
    SerialPort* port_;
    Settings& settings_;
    DebugTrace trace_;
    State state_ = State::Closed;
    QString partNumber_;
    QByteArray initAnswer_; // what came back during the initialisation of a connect
    uint8_t ecuId_ = 0;

    StepRunner steps_;
    LineSettle settle_;
    bool connectQueued_ = false;
    bool quietConnect_ = false;
    bool retryConnect_ = false;
    bool shuttingDown_ = false;

    // The holder as a guard and as an address: a tool's destroyed() comes after its guards
    // are cleared, and must still find its claim.
    QPointer<QObject> holder_;
    QObject* holderRaw_ = nullptr;
    Claim claim_;
    struct Pending {
        QPointer<QObject> tool;
        QObject* raw = nullptr;
        Claim claim;
    };
    QSet<QObject*> watched_;
    std::deque<Pending> pending_;

    QTimer answerTimer_;

    // Frames of the running stream; kRawFrames: deliveries as they come.
    static constexpr int kRawFrames = -2;
    int frameCount_ = kRawFrames;
    FrameConfirmer confirmer_;
    LineClock clock_;
    uint32_t frameTick_ = 0;
    bool frameTicked_ = false; // frameTick_ holds a frame of the running stream
    void restartClock();
    bool streamExpected_ = false;
    QDateTime lastFrameAt_;
    QTimer rearmTimer_;
    LinkWatch watch_;
    bool wasLost_ = false;
    // The link's own stop and wake-up of a silent stream: that stop is not the holder's.
    bool rearming_ = false;
    // A connect took the holder's stream: the holder is resumed once the ECU answers.
    bool resumeHolder_ = false;
};

} // namespace kx
