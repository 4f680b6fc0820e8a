// Speed of a week's fuel correction: ten logs of 100,000 records each (1,000,000 in all), read,
// counted and filtered, then the suggested map and the command line's report. It prints its
// figures:
//   build/bench/map_correction_bench [RECORDS_PER_LOG] [LOGS]   (default 100000 10)
// First the simulator's engine with a planted error of up to 12 % (warm-up, fuel cuts, throttle
// steps and pauses included) logged with RPM, water, throttle and WBo2; then drives as a full
// display logs them (12 gauges and 12 indicators), files three times the size.
#include "bench_support.h"
#include "drive_log.h"
#include "support/fuel_drive.h"
#include "tools/map_correction.h"
#include "tools/map_logs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace kx;

namespace {
bool writeLogs(const QStringList& paths, long records, bool wide) {
    for (int i = 0; i < paths.size(); ++i) {
        const bool written =
            wide ? writeDrive(paths[i].toLocal8Bit().constData(), records, false)
                 : test::writeFuelDrive(paths[i],
                                        {12, records, i == 0 ? 20.0 : 86.0, uint64_t(i + 1)});
        if (!written) return false;
    }
    return true;
}

int measure(const char* kind, long records, int logs, bool wide) {
    QStringList paths;
    for (int i = 0; i < logs; ++i)
        paths << QDir::temp().filePath(QStringLiteral("kestrix_correction_bench_%1.log").arg(i));
    if (!writeLogs(paths, records, wide)) {
        std::printf("cannot write the logs to %s\n", qPrintable(QDir::tempPath()));
        return 1;
    }
    double mb = 0;
    for (const QString& p : paths)
        mb += double(QFile(p).size()) / 1e6;
    const EngineMap map = test::simulatedFuelMap();
    const GridValues target = targetOnMap(defaultTarget(map.scales), map.scales);
    std::vector<double> totals, corrects;
    FuelCorrection c;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        const LogFilesCoverage read = coverageFromLogFiles(paths, map.scales);
        const qint64 readNs = t.nsecsElapsed();
        c = correctMap(map, target, read.fuel, {});
        const QByteArray report = correctionReportText(map, c, allFilters());
        totals.push_back(double(t.nsecsElapsed()) / 1e6);
        corrects.push_back(double(t.nsecsElapsed() - readNs) / 1e6);
        if (report.isEmpty() || !read.failures.isEmpty()) return 1;
    }
    uint64_t counted = c.counts.kept + c.counts.noReading;
    for (uint64_t out : c.counts.keptOut)
        counted += out;
    if (!measured("records counted for the correction", counted)) return 1;
    std::sort(totals.begin(), totals.end());
    std::sort(corrects.begin(), corrects.end());
    int trusted = 0;
    for (const CellCorrection& cell : c.cells)
        trusted += cell.trust == CellTrust::Trusted;
    std::printf("%s: %d logs, %ld records, %.1f MB: read, count, filter and suggest %.0f ms "
                "(best of 3; worst %.0f), of which the suggestion and its report %.2f ms; %d "
                "cells trusted; %s\n",
                kind, logs, records * logs, mb, totals.front(), totals.back(), corrects.front(),
                trusted, qPrintable(filterCountsText(c.counts, allFilters())));
    std::fflush(stdout);
    for (const QString& p : paths)
        QFile::remove(p);
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    const long records = argc > 1 ? std::atol(argv[1]) : 100000;
    const int logs = argc > 2 ? std::atoi(argv[2]) : 10;
    return measure("fuel drives", records, logs, false) ||
           measure("full display drives", records, logs, true);
}
