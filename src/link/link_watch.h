#pragma once
// What the ECU link and the wideband link do alike about a line that fails: the device named in
// their notes, the reason of the last loss, the retries while the link is down, and the watch on
// a stream that falls silent.
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kx {

class SerialPort;
class Settings;

class LinkWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 2000;
    // A stream that brings no frame for this long is silent.
    static constexpr int kSilenceMs = 1000;

    // `section`: the settings section whose ComPort names the device while the port is closed.
    LinkWatch(SerialPort& port, Settings& settings, QString section, QObject* parent = nullptr);

    QString device() const;
    QString problem() const { return problem_; }
    void setProblem(const QString& problem) { problem_ = problem; }
    // The port went away: its reason, or a plain one when it gave none.
    void noteLoss(const QString& reason);

    // Retries come every kRetryMs while the link is down and retrying is on.
    void setRetrying(bool on);
    void setDown(bool down);

    // While frames are expected, quiet() comes when none has for kSilenceMs. On: the clock
    // starts now.
    void expectFrames(bool on);
    void frameArrived();
    bool silent() const { return silent_; }
    void setSilent(bool on);
    // When the last frame came.
    QDateTime lastFrameAt() const;

signals:
    void retryDue();
    void quiet();
    void silenceChanged(bool silent);

private:
    void updateRetries();

    SerialPort& port_;
    Settings& settings_;
    QString section_;
    QString problem_;
    bool retrying_ = false;
    bool down_ = false;
    QTimer retryTimer_;
    bool expecting_ = false;
    bool silent_ = false;
    QElapsedTimer lastFrame_;
    QTimer silenceTimer_;
};

} // namespace kx
