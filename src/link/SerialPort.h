#pragma once
// The port layer: one interface for every tool, whatever carries the bytes. The receive
// buffer, threshold and discard live here so that both back ends behave the same.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>

class QSerialPort;

namespace kx {

// Error numbers reported by open(); the program's messages key on them.
enum PortError : int {
    PortOk = 0,
    PortInvalid = 8002,      // no such port
    PortAlreadyOpen = 8005,  // held by another program, or by us
    PortNoPermission = 8010, // the user may not open the device
    PortSetupFailed = 8015,  // line settings refused
    PortOtherError = 8020,
};

struct LineSettings {
    int baud = 9600;
};
// Parses "speed,N,8,1"; false when the speed is not a positive number or the rest differs.
bool parseLineSettings(const QString& text, LineSettings& out);
class Settings;
// The line speed stored in `section` ("Comms", "WBO2": its Speed), 9600 when not usable.
int storedBaud(const Settings& settings, const QString& section);

// A port number n is the n-th serial port (/dev/ttyS{n-1}); a text starting with '/' is a
// device path used as it is. "" when the text is neither.
QString portDevice(const QString& portText);

class SerialPort : public QObject {
    Q_OBJECT
public:
    explicit SerialPort(QObject* parent = nullptr) : QObject(parent) {}
    ~SerialPort() override = default;

    // Opens the port; returns PortOk or an error number, with a detail text in lastError().
    virtual int open(const QString& portText, const QString& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Sends the bytes; false (nothing sent) when the port is closed or the write fails.
    bool write(const QByteArray& bytes) { return send(bytes); }

    QString lastError() const { return lastError_; }
    QString deviceName() const { return device_; }

    // Buffered count that raises received(); 0 disables the event.
    void setThreshold(int count);
    int threshold() const { return threshold_; }
    // The received bytes, taking in first what the system still holds back.
    int bufferedCount() {
        fetch();
        return int(buffer_.size());
    }
    // The buffered bytes, left in the buffer.
    const QByteArray& peek() {
        fetch();
        return buffer_;
    }
    // Drops everything received so far, including what the system still holds.
    virtual void discard();
    // Takes every buffered byte.
    QByteArray readAll();

    // ---- what the line's timing shows
    // A write that the device answers went out: the time to the first byte back is one
    // sample of how long the line holds bytes (a USB adapter's latency timer).
    void answerExpected();
    // The longest of the recent samples, in ms (0 before any).
    int holdMs() const;
    int holdSampleCount() const {
        return int(std::min<uint64_t>(samplesTaken_, holdSamples_.size()));
    }
    // Milliseconds since a byte last came in, taking in first what the system holds; very
    // large when none has come since the port opened.
    qint64 quietMs();
    // While watching, every byte that comes in is noted as it comes, not only at the
    // receive threshold.
    void setWatching(bool on);

signals:
    // The buffered count reached the threshold.
    void received();
    // The device went away while open (cable pulled, other end hung up); the port is closed.
    void lost(const QString& reason);

protected:
    // The back end's write.
    virtual bool send(const QByteArray& bytes) = 0;
    // The port opened: nothing has come in on it yet.
    void lineOpened();
    // Back ends hand over incoming bytes here.
    void deliver(const QByteArray& bytes);
    void clearBuffer();
    // A back end that lets the system hold bytes back until enough have come takes them in
    // here (through take()) when the buffer is read without a receive event.
    virtual void fetch() {}
    void take(const QByteArray& bytes);
    // The receive event needs `count` more bytes (at least 1): a back end may ask the system
    // to wake it only then.
    virtual void wakeAfter(int count) { (void)count; }

    QString lastError_;
    QString device_;

private:
    void rearm();
    void arrived();

    QByteArray buffer_;
    int threshold_ = 0;
    QElapsedTimer lastArrival_;
    QElapsedTimer answerClock_;
    bool answerPending_ = false;
    bool lastWasOutlier_ = false;
    bool watching_ = false;
    std::array<int, 16> holdSamples_{};
    size_t nextSample_ = 0;
    uint64_t samplesTaken_ = 0;
};

// Real serial devices and pseudo-terminals.
class QtSerialPort : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(QObject* parent = nullptr);
    ~QtSerialPort() override;
    int open(const QString& portText, const QString& settings) override;
    void close() override;
    bool isOpen() const override;
    void discard() override;

protected:
    bool send(const QByteArray& bytes) override;
    void fetch() override;
    void wakeAfter(int count) override;

private:
    void onReadyRead();
    void onError(int error);
    // While a whole frame is awaited, the port is not watched until the line can have brought
    // it: the system would otherwise wake the program for every byte it receives.
    void pauseWatch(int bytes);
    void resumeWatch();
    // The pause is over: takes what came, or watches the port again when nothing did.
    void lookAfterPause();
    // The received bytes QSerialPort holds, and with `device` those the device holds too.
    QByteArray drain(bool device);
    QSerialPort* port_;
    int wakeAfter_ = 1; // the line discipline's VMIN
    int baud_ = 9600;
    QPointer<QSocketNotifier> reader_; // the port's own read notifier
    QTimer resume_;
};

// In-memory back end for unit tests: records writes, and the test delivers bytes.
class MemoryPort : public SerialPort {
    Q_OBJECT
public:
    using SerialPort::SerialPort;
    int open(const QString& portText, const QString& settings) override;
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }

protected:
    bool send(const QByteArray& bytes) override;

public:
    // Test side.
    void feed(const QByteArray& bytes) { deliver(bytes); }
    // Bytes handed over with a receive event whatever the threshold: one confirmed frame at a
    // time, for tests of what a window does with each.
    void feedEvent(const QByteArray& bytes) {
        deliver(bytes);
        if (threshold() == 0 || bufferedCount() < threshold()) emit received();
    }
    void failNextOpen(int error) { nextOpenError_ = error; }
    void disconnectNow() {
        open_ = false;
        emit lost(QStringLiteral("disconnected"));
    }
    QList<QByteArray> writes; // every write, in order
    QStringList openedWith;   // "port|settings" of each successful open
    QByteArray written() const { return writes.isEmpty() ? QByteArray() : writes.join(); }

private:
    bool open_ = false;
    int nextOpenError_ = PortOk;
};

} // namespace kx
