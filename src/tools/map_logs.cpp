#include "tools/map_logs.h"

#include "logs/log_files.h"

namespace kx {

LogFilesCoverage coverageFromLogFiles(const QStringList& paths, const MapScales& scales,
                                      const std::function<bool()>& keepGoing) {
    LogFilesCoverage out;
    const LogFilesRead read = forEachLogFile(
        paths,
        [&](const QString&, const LogData& log) {
            const LogCoverageCount c = addLogCoverage(out.coverage, scales, log);
            addLogFuel(out.fuel, scales, log);
            out.count.added += c.added;
            out.count.skipped += c.skipped;
        },
        [&](const QString& path, const QString& why) {
            out.failures
                << QStringLiteral("%1: %2 (%3)").arg(path, logInvalidStructureMessage(), why);
        },
        keepGoing);
    out.logsAdded = read.logsRead;
    out.cancelled = read.cancelled;
    return out;
}

QString logFilesSummary(const LogFilesCoverage& result) {
    QString text = QStringLiteral("%1 %2: %3 records added")
                       .arg(result.logsAdded)
                       .arg(result.logsAdded == 1 ? QStringLiteral("log") : QStringLiteral("logs"))
                       .arg(result.count.added);
    if (result.count.skipped > 0)
        text += QStringLiteral(", %1 skipped (no RPM or Throttle)").arg(result.count.skipped);
    // An empty WBo2 field or a sensor not ready is no reading: say how many such records.
    const uint64_t without = result.coverage.hits() - result.coverage.afrHits();
    if (without > 0) text += QStringLiteral(", %1 without a wideband reading").arg(without);
    return text;
}

} // namespace kx
