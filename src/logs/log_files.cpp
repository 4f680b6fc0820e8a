#include "logs/log_files.h"

namespace kx {

LogFilesRead
forEachLogFile(const QStringList& paths,
               const std::function<void(const QString& path, const LogData&)>& use,
               const std::function<void(const QString& path, const QString& why)>& failed,
               const std::function<bool()>& keepGoing) {
    LogFilesRead out;
    const auto going = [&] { return !keepGoing || keepGoing(); };
    for (const QString& path : paths) {
        if (!going()) {
            out.cancelled = true;
            return out;
        }
        const LogReadResult read = LogReader::readFile(path, [&](double) { return going(); });
        if (read.status == LogReadResult::Status::Cancelled) {
            out.cancelled = true;
            return out;
        }
        if (!read.ok()) {
            failed(path, read.failure);
            continue;
        }
        use(path, read.data);
        ++out.logsRead;
    }
    return out;
}

} // namespace kx
