// Speed of adding a log to a map's coverage, apart from loading it:
//   build/bench/map_coverage_bench [RECORDS]   (default 1,000,000)
// Writes a drive of RECORDS records in the data logger's format (12 gauges and 12 indicators,
// as a full display logs them) to /tmp, loads it, adds it to a coverage three times and prints
// each step's time; then the same for a log whose first record has no engine speed, which
// sends every record down the field-by-field path, and the export.
#include "bench_support.h"
#include "drive_log.h"
#include "logs/log_reader.h"
#include "tools/map_coverage.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace kx;

namespace {

MapScales scales() {
    MapScales s;
    for (int i = 0; i < 16; ++i) {
        s.rpm[size_t(i)] = 400 * (i + 1);
        s.tp[size_t(i)] = 12 + 14 * i;
    }
    return s;
}

double ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

int measure(const char* path, long records, bool firstWithoutRpm) {
    if (!writeDrive(path, records, firstWithoutRpm)) {
        std::printf("cannot write %s\n", path);
        return 1;
    }
    const double mb = double(QFile(path).size()) / 1e6;
    QElapsedTimer t;
    t.start();
    const LogReadResult read = LogReader::readFile(path);
    const double loadMs = ms(t);
    if (!read.ok()) {
        std::printf("load failed: %s\n", qPrintable(read.failure));
        return 1;
    }
    std::vector<double> adds;
    MapCoverage coverage;
    LogCoverageCount n;
    for (int run = 0; run < 3; ++run) {
        coverage.clear();
        t.restart();
        n = addLogCoverage(coverage, scales(), read.data);
        adds.push_back(ms(t));
    }
    if (!measured("records added to the coverage", size_t(n.added))) return 1;
    std::sort(adds.begin(), adds.end());
    t.restart();
    const QByteArray exported = coverageExportText(scales(), coverage);
    const double exportMs = ms(t);
    int cells = 0;
    for (int i = 0; i < 256; ++i)
        cells += coverage.cell(i).hits > 0;
    std::printf("%s: %ld records, %.1f MB; load %.0f ms; add to the coverage %.0f ms (best of "
                "3; worst %.0f) = %.0f ns/record; %lld added, %lld skipped, %d cells hit, %llu "
                "with WBo2; export %.2f ms (%lld bytes)\n",
                firstWithoutRpm ? "first record without RPM" : "drive", records, mb, loadMs,
                adds.front(), adds.back(), adds.front() * 1e6 / double(records),
                static_cast<long long>(n.added), static_cast<long long>(n.skipped), cells,
                static_cast<unsigned long long>(coverage.afrHits()), exportMs,
                static_cast<long long>(exported.size()));
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
    const char* path = "/tmp/kestrix_map_coverage_bench.log";
    int status = measure(path, records, false);
    if (status == 0) status = measure(path, records, true);
    std::remove(path);
    return status;
}
