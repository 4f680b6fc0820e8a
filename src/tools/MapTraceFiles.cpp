#include "tools/MapTraceFiles.h"

#include "ui/Dialogs.h"
#include "util/text.h"
#include "util/user_file.h"

#include <QFileInfo>
#include <memory>

namespace kx {

QString MapTraceFiles::open(const QString& filter) {
    const QString path = dialogs_.openFileName(window_, folder_, filter);
    if (!path.isEmpty()) folder_ = QFileInfo(path).absolutePath();
    return path;
}

QStringList MapTraceFiles::openMany(const QString& filter) {
    const QStringList paths = dialogs_.openFileNames(window_, folder_, filter);
    if (!paths.isEmpty()) folder_ = QFileInfo(paths.constFirst()).absolutePath();
    return paths;
}

void MapTraceFiles::save(const QString& preset, const QByteArray& text) {
    const QString path =
        dialogs_.saveFileName(window_, folder_, preset, S(kMapFileFilter), S("csv"));
    if (path.isEmpty()) return;
    folder_ = QFileInfo(path).absolutePath();
    const bool exists = QFileInfo::exists(path);
    if (!dialogs_.mayReplace(window_, path)) return;
    if (const auto error =
            writeUserText(path, text, exists ? ExistingFile::Replace : ExistingFile::Refuse))
        dialogs_.message(window_, *error, MessageKind::Warning);
}

void MapTraceFiles::refused(const QString& what, const QString& path, const QString& why) {
    dialogs_.message(window_, S("Cannot open the %1 '%2'.\n%3").arg(what, path, why),
                     MessageKind::Warning);
}

LogAdder::LogAdder(QObject* receiver, QStringList paths, MapScales scales,
                   std::function<void(const LogFilesCoverage&)> done)
    : job_(
          receiver,
          [paths = std::move(paths), scales](std::stop_token stop,
                                             const std::function<void(double)>&) {
              return coverageFromLogFiles(paths, scales,
                                          [&stop] { return !stop.stop_requested(); });
          },
          [done = std::move(done)](LogFilesCoverage& result) {
              if (!result.cancelled) done(result);
          }) {}

} // namespace kx
