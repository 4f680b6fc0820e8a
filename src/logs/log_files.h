#pragma once
// The one loop over the log files a user hands a log tool (coverage, fuel correction, dyno):
// each file read once, in the order given, and handed on; the ones that cannot be read named.
#include "logs/log_reader.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace kx {

struct LogFilesRead {
    int logsRead = 0;
    bool cancelled = false;
};
// `use` gets each log read, `failed` each file that could not be read with the reader's reason.
// `keepGoing` is asked before each file and while one is read; false ends the loop (cancelled).
LogFilesRead
forEachLogFile(const QStringList& paths,
               const std::function<void(const QString& path, const LogData&)>& use,
               const std::function<void(const QString& path, const QString& why)>& failed,
               const std::function<bool()>& keepGoing = {});

} // namespace kx
