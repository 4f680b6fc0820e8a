#include "link/SerialPort.h"

#include "link/port_paths.h"
#include "util/settings.h"

#include <QFileInfo>
#include <QSerialPort>
#include <algorithm>
#include <limits>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kx {

namespace {
constexpr qint64 kLongestHoldMs = 500;
// The adapters seen behind bare device names in this run, shared by every port.
AdapterMemory& adapters() {
    static AdapterMemory memory;
    return memory;
}
} // namespace

bool parseLineSettings(const QString& text, LineSettings& out) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4) return false;
    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0) return false;
    if (parts[1].trimmed().compare(u"N", Qt::CaseInsensitive) != 0 || parts[2].trimmed() != u"8" ||
        parts[3].trimmed() != u"1")
        return false;
    out.baud = baud;
    return true;
}

int storedBaud(const Settings& settings, const QString& section) {
    LineSettings line;
    const QString speed = settings.read(section, QStringLiteral("Speed"));
    return parseLineSettings(speed + QStringLiteral(",N,8,1"), line) ? line.baud : 9600;
}

QString portDevice(const QString& portText) {
    const QString t = portText.trimmed();
    if (t.startsWith(u'/')) return t;
    bool ok = false;
    const int n = t.toInt(&ok);
    if (!ok || n < 1 || n > 255) return {};
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

void SerialPort::setThreshold(int count) {
    threshold_ = count < 0 ? 0 : count;
    rearm();
}

void SerialPort::discard() {
    clearBuffer();
}

void SerialPort::clearBuffer() {
    buffer_.clear();
    rearm();
}

QByteArray SerialPort::readAll() {
    fetch();
    QByteArray out;
    out.swap(buffer_);
    rearm();
    return out;
}

void SerialPort::answerExpected() {
    answerClock_.start();
    answerPending_ = true;
    rearm();
}

int SerialPort::holdMs() const {
    return *std::max_element(holdSamples_.begin(), holdSamples_.end());
}

qint64 SerialPort::quietMs() {
    fetch();
    return lastArrival_.isValid() ? lastArrival_.elapsed() : std::numeric_limits<qint64>::max();
}

void SerialPort::setWatching(bool on) {
    watching_ = on;
    rearm();
}

void SerialPort::lineOpened() {
    lastArrival_.invalidate();
    answerPending_ = false;
}

void SerialPort::arrived() {
    lastArrival_.start();
    if (!answerPending_) return;
    answerPending_ = false;
    // An answer this late was not an answer to that write (a device that was off).
    const qint64 ms = answerClock_.elapsed();
    if (ms > kLongestHoldMs) return;
    // A device that never took the request answers whatever is sent next: one sample far
    // beyond the others is not the line's hold (it would stretch every settle after it); two
    // in a row are, a line that now holds bytes longer.
    const bool outlier = samplesTaken_ >= 8 && ms > 2 * holdMs() + 50;
    const bool lone = outlier && !lastWasOutlier_;
    lastWasOutlier_ = outlier;
    if (lone) return;
    holdSamples_[nextSample_] = int(ms);
    nextSample_ = (nextSample_ + 1) % holdSamples_.size();
    ++samplesTaken_;
}

void SerialPort::deliver(const QByteArray& bytes) {
    if (bytes.isEmpty()) return;
    arrived();
    buffer_.append(bytes);
    // At the threshold the receiver reads the buffer, and that sets the next wake.
    if (threshold_ > 0 && buffer_.size() >= threshold_)
        emit received();
    else
        rearm();
}

void SerialPort::take(const QByteArray& bytes) {
    if (bytes.isEmpty()) return;
    arrived();
    buffer_.append(bytes);
    rearm();
    // Bytes taken in outside a receive event still raise one, from the event loop.
    if (threshold_ > 0 && buffer_.size() >= threshold_)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (threshold_ > 0 && buffer_.size() >= threshold_) emit received();
            },
            Qt::QueuedConnection);
}

void SerialPort::rearm() {
    if (watching_ || answerPending_) return wakeAfter(1);
    wakeAfter(threshold_ > 0 ? std::max<int>(1, threshold_ - int(buffer_.size())) : 1);
}

// ---- QSerialPort back end ----

namespace {
// USB serial adapters hold received bytes until a latency timer runs out (16 ms by default on
// the common ones); their drivers shorten it to 1 ms when asked for low latency. Devices that
// do not take the request (pseudo-terminals, most built-in ports) work as before.
void askLowLatency(int fd) {
    serial_struct ss{};
    if (::ioctl(fd, TIOCGSERIAL, &ss) != 0) return;
    if (ss.flags & ASYNC_LOW_LATENCY) return;
    ss.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &ss);
}
} // namespace

QtSerialPort::QtSerialPort(QObject* parent) : SerialPort(parent), port_(new QSerialPort(this)) {
    connect(port_, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    resume_.setSingleShot(true);
    resume_.setTimerType(Qt::PreciseTimer);
    connect(&resume_, &QTimer::timeout, this, &QtSerialPort::lookAfterPause);
    connect(port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });
}

QtSerialPort::~QtSerialPort() = default;

int QtSerialPort::open(const QString& portText, const QString& settings) {
    lastError_.clear();
    if (port_->isOpen()) {
        lastError_ = QStringLiteral("The port is already open.");
        return PortAlreadyOpen;
    }
    const QString device = portDevice(portText);
    if (device.isEmpty()) {
        lastError_ =
            QStringLiteral("'%1' is neither a port number nor a device path.").arg(portText);
        return PortInvalid;
    }
    LineSettings line;
    if (!parseLineSettings(settings, line)) {
        lastError_ = QStringLiteral("Line settings '%1' are not valid.").arg(settings);
        return PortSetupFailed;
    }
    device_ = device;
    port_->setPortName(device);
    port_->clearError();
    if (!port_->open(QIODevice::ReadWrite)) {
        const auto err = port_->error();
        lastError_ = port_->errorString();
        port_->clearError();
        if (err == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(device)) {
            if (const QString note = adapters().noteForMissing(device); !note.isEmpty())
                lastError_ = note;
            return PortInvalid;
        }
        if (err == QSerialPort::PermissionError) {
            // A lock held by another program reads as a permission error too; the access
            // check tells the two apart.
            const QByteArray path = device.toLocal8Bit();
            if (::access(path.constData(), R_OK | W_OK) == 0) return PortAlreadyOpen;
            return PortNoPermission;
        }
        return PortOtherError;
    }
    // Each setter can fail on a device that does not support it; check every one.
    const bool ok = port_->setBaudRate(line.baud) && port_->setDataBits(QSerialPort::Data8) &&
                    port_->setParity(QSerialPort::NoParity) &&
                    port_->setStopBits(QSerialPort::OneStop) &&
                    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        lastError_ = port_->errorString();
        port_->clearError();
        port_->close();
        return PortSetupFailed;
    }
    wakeAfter_ = 1; // as the port opens
    adapters().opened(device);
    baud_ = line.baud;
    reader_ = nullptr;
    for (QSocketNotifier* n : port_->findChildren<QSocketNotifier*>())
        if (n->type() == QSocketNotifier::Read) reader_ = n;
    askLowLatency(int(port_->handle()));
    clearBuffer();
    lineOpened();
    return PortOk;
}

void QtSerialPort::close() {
    resumeWatch();
    reader_ = nullptr;
    if (port_->isOpen()) port_->close();
    clearBuffer();
}

bool QtSerialPort::isOpen() const {
    return port_->isOpen();
}

bool QtSerialPort::send(const QByteArray& bytes) {
    if (!port_->isOpen()) return false;
    if (port_->write(bytes) != bytes.size()) return false;
    // Hand the bytes to the driver now rather than at the next event-loop turn, so the
    // pauses between command bytes are the pauses the ECU sees.
    port_->flush();
    return true;
}

void QtSerialPort::discard() {
    SerialPort::discard();
    if (!port_->isOpen()) return;
    port_->clear(QSerialPort::Input);
    port_->readAll();
}

void QtSerialPort::onReadyRead() {
    const QByteArray bytes = port_->readAll();
    if (!bytes.isEmpty()) deliver(bytes);
}

// A byte-paced line would otherwise wake the program for every byte: the line discipline
// holds bytes back until the receive event can fire (VMIN, with VTIME 0, also governs poll).
void QtSerialPort::wakeAfter(int count) {
    const int want = std::clamp(count, 1, 255);
    if (want > 1)
        pauseWatch(want);
    else
        resumeWatch();
    if (want == wakeAfter_ || !port_->isOpen()) return;
    termios t{};
    const int fd = int(port_->handle());
    if (::tcgetattr(fd, &t) != 0) return;
    t.c_cc[VMIN] = cc_t(want);
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) == 0) wakeAfter_ = want;
}

void QtSerialPort::pauseWatch(int bytes) {
    if (!reader_ || !port_->isOpen()) return;
    // Ten bit times a byte, and a millisecond more: looking early only costs a wake-up.
    const int ms = int((int64_t(bytes) * 10 * 1000 + baud_ - 1) / baud_) + 1;
    reader_->setEnabled(false);
    resume_.start(ms);
}

void QtSerialPort::lookAfterPause() {
    // The awaited bytes are mostly there by now: taken straight from the device, they cost no
    // change to what the event loop polls (two wake-ups of its own each). Nothing there (a
    // late adapter, silence, a hang-up) and the port is watched again, errors included.
    if (!reader_ || !port_->isOpen()) return resumeWatch();
    const QByteArray bytes = drain(true);
    if (bytes.isEmpty()) return resumeWatch();
    deliver(bytes);
    // A receiver that left the bytes unread set no next look: the port is watched again.
    if (!resume_.isActive()) resumeWatch();
}

QByteArray QtSerialPort::drain(bool device) {
    QByteArray bytes;
    // Only what QSerialPort holds: its readAll() would also turn its watch of the device on.
    if (const qint64 held = port_->bytesAvailable(); held > 0) bytes = port_->read(held);
    if (!device) return bytes;
    char buf[512];
    ssize_t n;
    while ((n = ::read(int(port_->handle()), buf, sizeof buf)) > 0)
        bytes.append(buf, n);
    return bytes;
}

void QtSerialPort::resumeWatch() {
    resume_.stop();
    if (reader_ && port_->isOpen()) reader_->setEnabled(true);
}

void QtSerialPort::fetch() {
    if (!port_->isOpen()) return;
    take(drain(wakeAfter_ > 1));
}

void QtSerialPort::onError(int error) {
    const auto e = QSerialPort::SerialPortError(error);
    // A hang-up shows up as ReadError repeated in a tight loop (pseudo-terminals) or as
    // ResourceError (USB adapters): close at once in either case.
    if (e != QSerialPort::ReadError && e != QSerialPort::ResourceError) return;
    if (!port_->isOpen()) return;
    const QString reason = port_->errorString();
    port_->clearError();
    port_->close();
    clearBuffer();
    emit lost(reason);
}

// ---- in-memory back end ----

int MemoryPort::open(const QString& portText, const QString& settings) {
    lastError_.clear();
    if (open_) return PortAlreadyOpen;
    if (nextOpenError_ != PortOk) {
        const int e = nextOpenError_;
        nextOpenError_ = PortOk;
        return e;
    }
    if (portDevice(portText).isEmpty()) return PortInvalid;
    LineSettings line;
    if (!parseLineSettings(settings, line)) return PortSetupFailed;
    device_ = portDevice(portText);
    open_ = true;
    clearBuffer();
    lineOpened();
    openedWith << portText + u'|' + settings;
    return PortOk;
}

bool MemoryPort::send(const QByteArray& bytes) {
    if (!open_) return false;
    writes << bytes;
    return true;
}

} // namespace kx
