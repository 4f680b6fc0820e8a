#pragma once
// Drive logs into a map: each log read once and added to the coverage and to the fuel
// correction's samples, as the window's "Add Logs..." and the command line do.
#include "tools/map_correction.h"
#include "tools/map_coverage.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace kx {

struct LogFilesCoverage {
    MapCoverage coverage;
    FuelSamples fuel; // the same records for the fuel correction
    LogCoverageCount count;
    int logsAdded = 0;
    QStringList failures; // one line per file that could not be read: "<path>: <why>"
    bool cancelled = false;
};
// `keepGoing` is asked now and then; false ends the work (cancelled).
LogFilesCoverage coverageFromLogFiles(const QStringList& paths, const MapScales& scales,
                                      const std::function<bool()>& keepGoing = {});
// "3 logs: 120000 records added, 12 skipped (no RPM or Throttle)".
QString logFilesSummary(const LogFilesCoverage& result);

} // namespace kx
