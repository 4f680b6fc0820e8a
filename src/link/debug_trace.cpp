#include "link/debug_trace.h"

#include <QDir>

namespace kx {

QString DebugTrace::defaultPath() {
    return QDir::currentPath() + QStringLiteral("/Kestrixdebug.log");
}

bool DebugTrace::open(const QString& path) {
    if (file_.isOpen()) return true;
    file_.setFileName(path);
    return file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
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
