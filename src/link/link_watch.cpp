#include "link/link_watch.h"

#include "link/SerialPort.h"
#include "util/settings.h"

namespace kx {

LinkWatch::LinkWatch(SerialPort& port, Settings& settings, QString section, QObject* parent)
    : QObject(parent), port_(port), settings_(settings), section_(std::move(section)) {
    retryTimer_.setInterval(kRetryMs);
    connect(&retryTimer_, &QTimer::timeout, this, &LinkWatch::retryDue);
    // Looked at four times a second: silence is said within a quarter of a second of its time.
    silenceTimer_.setInterval(kSilenceMs / 4);
    connect(&silenceTimer_, &QTimer::timeout, this, [this] {
        if (expecting_ && lastFrame_.elapsed() >= kSilenceMs) emit quiet();
    });
}

QString LinkWatch::device() const {
    const QString d = port_.deviceName();
    return d.isEmpty() ? portDevice(settings_.read(section_, QStringLiteral("ComPort"))) : d;
}

void LinkWatch::noteLoss(const QString& reason) {
    problem_ = reason.isEmpty() ? QStringLiteral("the device went away") : reason;
}

void LinkWatch::setRetrying(bool on) {
    retrying_ = on;
    updateRetries();
}

void LinkWatch::setDown(bool down) {
    down_ = down;
    updateRetries();
}

void LinkWatch::updateRetries() {
    const bool retry = retrying_ && down_;
    if (retry && !retryTimer_.isActive()) retryTimer_.start();
    if (!retry) retryTimer_.stop();
}

void LinkWatch::expectFrames(bool on) {
    expecting_ = on;
    if (on) {
        lastFrame_.start();
        silenceTimer_.start();
    } else {
        silenceTimer_.stop();
    }
}

void LinkWatch::frameArrived() {
    lastFrame_.start();
    setSilent(false);
}

void LinkWatch::setSilent(bool on) {
    if (silent_ == on) return;
    silent_ = on;
    emit silenceChanged(on);
}

QDateTime LinkWatch::lastFrameAt() const {
    const qint64 ago = lastFrame_.isValid() ? lastFrame_.elapsed() : 0;
    return QDateTime::currentDateTime().addMSecs(-ago);
}

} // namespace kx
