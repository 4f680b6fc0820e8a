#include "support/test_support.h"

#include <QFile>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kx::test {

QString RecordingDialogs::saveFileName(QWidget*, const QString&, const QString& preset,
                                       const QString&, const QString&) {
    fileRequests << QStringLiteral("save:") + preset;
    if (whileChoosing) whileChoosing();
    if (fileAnswers.empty()) return {};
    QString a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
}

QString RecordingDialogs::openFileName(QWidget*, const QString& dir, const QString&) {
    fileRequests << QStringLiteral("open:") + dir;
    if (whileChoosing) whileChoosing();
    if (fileAnswers.empty()) return {};
    QString a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
}

bool RecordingDialogs::question(QWidget*, const QString& text) {
    questions << text;
    if (questionAnswers.empty()) return false;
    const bool a = questionAnswers.front();
    questionAnswers.pop_front();
    return a;
}

std::optional<uint32_t> RecordingDialogs::chooseColour(QWidget*, uint32_t) {
    if (colourAnswers.empty()) return std::nullopt;
    auto a = colourAnswers.front();
    colourAnswers.pop_front();
    return a;
}

Pty::Pty() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    path_ = QString::fromLocal8Bit(name);
}

Pty::~Pty() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
}

void Pty::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                QThread::msleep(1);
                continue;
            }
            return;
        }
        done += n;
    }
}

QByteArray Pty::readFor(int ms) {
    QByteArray out;
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, n);
        }
        QThread::msleep(1);
    } while (t.elapsed() < ms);
    return out;
}

void Pty::hangUp() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool waitUntil(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return pred();
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace kx::test
