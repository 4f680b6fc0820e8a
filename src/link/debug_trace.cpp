#include "link/debug_trace.h"

#include "util/user_file.h"

#include <QDir>
#include <cerrno>
#include <unistd.h>

namespace kx {

QString DebugTrace::defaultPath() {
    return QDir::currentPath() + QStringLiteral("/Kestrixdebug.log");
}

bool DebugTrace::open(const QString& path) {
    if (file_.isOpen()) return true;
    const UserFile opened = openUserFile(path, ExistingFile::Replace);
    if (opened.ok() && file_.open(opened.fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                  QFileDevice::AutoCloseHandle))
        return true;
    if (opened.ok()) ::close(opened.fd);
    if (failure_ && !failureTold_) {
        failureTold_ = true;
        const QString reason = opened.ok() ? file_.errorString() : opened.reason;
        failure_(opened.ok() ? EIO : opened.error,
                 QStringLiteral("The debug trace '%1' cannot be written: %2").arg(path, reason));
    }
    return false;
}

void DebugTrace::record(char marker, const QByteArray& bytes) {
    if (!file_.isOpen()) return;
    QByteArray rec;
    rec.reserve(bytes.size() + 1);
    rec.append(marker);
    rec.append(bytes);
    file_.write(rec);
}

} // namespace kx
