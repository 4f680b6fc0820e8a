#include "util/data_files.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kx {

QString findDataFile(const QString& relative, const QString& appDir) {
    // Beside the program first: an installed copy under another prefix, or the build's own,
    // wins over an older one of the system's.
    for (const QString& share :
         {appDir + QStringLiteral("/../share"), appDir + QStringLiteral("/share")}) {
        const QFileInfo file(QDir(share).filePath(relative));
        if (file.isFile()) return file.canonicalFilePath();
    }
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, relative);
}

} // namespace kx
