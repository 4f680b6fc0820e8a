#pragma once
// The one owner of the wideband port: it opens the port, runs the controller's handshake as
// replies come in, decodes the measurement stream into wbValues, and turns a silent controller
// or a pulled cable into a state the main window shows, retrying on its own like the ECU link.
#include "link/line_clock.h"
#include "link/link_watch.h"
#include "live/live_data.h"
#include "wideband/wideband.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>

namespace kx {

class SerialPort;
class Settings;

class WbLink : public QObject {
    Q_OBJECT
public:
    enum class State {
        Closed,       // never opened, or the open failed
        Handshaking,  // the commands go out, one per reply
        NoReply,      // nothing came back for kNoReplyMs; a later reply still goes on
        Incompatible, // the check reply did not confirm; mode 0 until the next connect
        Streaming,    // measurement frames arrive
        Silent,       // streaming, but no frame for kSilenceMs; the handshake is tried again
        Lost,         // the port went away; retried while retrying is on
    };
    static constexpr int kNoReplyMs = 3000;
    static constexpr int kRetryMs = LinkWatch::kRetryMs;
    static constexpr int kSilenceMs = LinkWatch::kSilenceMs;
    // Bytes came after the start, version or check command but held no reply it could place:
    // the command is sent again after this long, when the stream it stopped has gone quiet.
    static constexpr int kStartAgainMs = 250;

    // A reading is paired with an ECU record only when it ended on the line at most this long
    // before the record's frame: the controller sends about 12 a second, so one lost frame
    // already leaves records without a ratio rather than with an old one.
    static constexpr int kFreshMs = 100;

    // Takes ownership of the port; port and speed come from the WBO2 settings. wbValues[0] is
    // the ratio while it is a reading (streaming, sensor ready), NaN otherwise; wbValues[1] the
    // last ratio the controller sent, ready or not; 9 and 10 its status bytes.
    WbLink(SerialPort* port, Settings& settings, std::array<float, 11>& wbValues,
           QObject* parent = nullptr);

    SerialPort& port() { return *port_; }
    // The wideband receive mode: the handshake step or the frame decoder (see wideband.h).
    int16_t readMode() const { return ReadMode2; }
    State state() const { return state_; }
    QString version() const { return version_; }
    QString device() const { return watch_.device(); }
    QString lastProblem() const { return watch_.problem(); }
    // What the main window says of the link when it is not simply streaming; "" when nothing.
    QString stateNote() const;

    // What the controller said for an ECU frame that ended on the line at tick `at`: the ratio
    // of its last frame before then when that was a reading no older than kFreshMs, and the
    // word that says why there is none otherwise.
    WbSample sampleAt(uint32_t at) const;
    // The word for the link's state when it gives no frames ("Silent", "Lost", ...), or "" while
    // it streams.
    QString stateWord() const;

    // "Connect": the port opened afresh, then the handshake's start step. `quiet`: an open
    // failure is not reported (the automatic retries).
    void connectWb(bool quiet = false);
    // Closes the port and opens it with the stored port and speed; false when it failed.
    bool openPort2(bool quiet = false);
    void closePort2();
    // While on, a lost, unanswered or silent link is tried again every kRetryMs.
    void setRetrying(bool on);

    // The receive dispatcher: reads the whole buffer and hands it on by ReadMode2.
    void MSComm2_OnComm();

signals:
    void stateChanged(kx::WbLink::State state);
    // The version reply's four characters (once per connect).
    void versionRead(const QString& version);
    // The check failed; `chars` are the four characters the controller sent.
    void incompatible(const QString& chars);
    // A frame was decoded and stored in wbValues.
    void measured(const kx::wb::Frame& frame);
    // A delivery was handled (the activity bar steps).
    void activity();
    void portError(int error, const QString& device, const QString& detail);

private:
    void handshakeStep(const QByteArray& bytes);
    void sendAfterPause();
    void startAgain();
    void send(const QByteArray& bytes);
    void getWbData(const QByteArray& bytes);
    void setState(State s);
    void onLost(const QString& reason);
    void onRetry();
    void onQuiet();

    int16_t ReadMode2 = 0;
    SerialPort* port_;
    Settings& settings_;
    std::array<float, 11>& wbValues_;
    State state_ = State::Closed;
    QString version_;
    QByteArray pendingSend_;
    QByteArray carry_; // what may begin a frame or the start reply, from the delivery before
    struct Reading {
        uint32_t at = 0; // when the frame ended on the line
        float afr = 0;
        uint8_t sensor = 0;
        uint8_t heater = 0;
    };
    // The last frames, newest at next_ - 1: an ECU record is paired with the one before it.
    std::array<Reading, 8> readings_{};
    size_t next_ = 0;
    size_t count_ = 0;
    LineClock clock_;
    QByteArray frameCarry_; // what may begin a frame, from the delivery before
    QTimer pauseTimer_;
    QTimer noReplyTimer_;
    QTimer startAgainTimer_;
    LinkWatch watch_;
};

} // namespace kx
