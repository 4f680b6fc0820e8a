// log_bench [RECORDS]      writes a log of RECORDS records (default 1,000,000) with 12 gauge
//                          and 12 indicator columns to /tmp, timing each record, then loads
//                          it three times in child processes
// log_bench load FILE      loads FILE once and prints time, speed and peak memory
#include "bench_support.h"
#include "live/gauge_setup.h"
#include "logs/log_format.h"
#include "logs/log_reader.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kx;

namespace {

long peakRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

int load(const char* path) {
    const long before = peakRssKiB();
    const double size = static_cast<double>(QFile(path).size());
    QElapsedTimer t;
    t.start();
    int calls = 0;
    const LogReadResult r = LogReader::readFile(path, [&](double) { return ++calls, true; });
    const double ms = t.nsecsElapsed() / 1e6;
    const long peak = peakRssKiB();
    if (!r.ok()) {
        std::printf("load failed: %s\n", qPrintable(r.failure));
        return 1;
    }
    if (!measured("load", size_t(r.data.recordCount()))) return 1;
    // The analyser's drawing: one gauge column read as numbers over every record.
    t.restart();
    double sum = 0;
    for (qsizetype i = 0; i < r.data.recordCount(); ++i)
        sum += r.data.number(i, 5).value_or(0);
    const double scanMs = t.nsecsElapsed() / 1e6;
    std::printf("load: %lld records, %.1f MB in %.1f ms = %.0f MB/s; %d progress calls; "
                "peak RSS %.1f MB (%.1f MB before load) = %.2f x file size; "
                "one column as numbers %.1f ms (%.0f ns/record, sum %.0f)\n",
                static_cast<long long>(r.data.recordCount()), size / 1e6, ms,
                size / 1e6 / (ms / 1e3), calls, peak / 1024.0, before / 1024.0,
                peak * 1024.0 / size, scanMs, scanMs * 1e6 / r.data.recordCount(), sum);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "load") return load(argv[2]);
    const long records = argc == 2 ? std::atol(argv[1]) : 1000000;
    if (!measured("write", size_t(std::max(0L, records)))) return 1;
    const char* path = "/tmp/kestrix_log_bench.log";

    LogGaugeNames names = catalogueNames(false, false);
    LogSelection sel;
    for (int g : {0, 1, 3, 4, 6, 7, 8, 10, 12, 13, 14, 24})
        sel.gauges[g] = true;
    sel.indicators.fill(true);
    LogValues v;
    const char* states[] = {"On", "Off", "High", "Low", "Lean", "Rich"};

    LogWriter writer;
    if (auto err = writer.start(path, names, sel, 0, ExistingFile::Replace)) {
        std::printf("%s\n", qPrintable(err->text));
        return 1;
    }
    QElapsedTimer t;
    t.start();
    qint64 worst = 0;
    for (long r = 0; r < records; ++r) {
        v.gauges[0] = 800.0f + static_cast<float>(r % 6000);
        v.gauges[1] = static_cast<float>(r % 500) / 100.0f;
        v.gauges[3] = 82;
        v.gauges[4] = static_cast<float>(r % 100);
        v.gauges[6] = static_cast<float>(r % 1800) / 10.0f;
        v.gauges[7] = 14.08f;
        v.gauges[8] = static_cast<float>(r % 450) / 100.0f;
        v.gauges[10] = 31;
        v.gauges[12] = static_cast<float>(r % 3000) / 100.0f;
        v.gauges[13] = static_cast<float>(r % 40);
        v.gauges[14] = static_cast<float>(r % 80);
        v.gauges[24] = 14.7f - static_cast<float>(r % 30) / 10.0f;
        for (int i = 0; i < kLogIndicatorCount; ++i)
            v.states[i] = states[(r + i) % 6];
        const qint64 before = t.nsecsElapsed();
        if (auto err = writer.record(v, static_cast<uint32_t>(r * 10))) {
            std::printf("%s\n", qPrintable(*err));
            return 1;
        }
        worst = std::max(worst, t.nsecsElapsed() - before);
    }
    const double writeMs = t.nsecsElapsed() / 1e6;
    writer.stop();
    std::printf("write: %ld records in %.0f ms = %.2f us/record (worst %.1f us), file %.1f MB\n",
                records, writeMs, writeMs * 1e3 / records, worst / 1e3, QFile(path).size() / 1e6);
    // The formatting alone, without the write(): what the system call costs is the rest.
    t.restart();
    qsizetype bytes = 0;
    for (long r = 0; r < records; ++r)
        bytes += logRecordLine(static_cast<uint64_t>(r), sel, v).size();
    const double formatMs = t.nsecsElapsed() / 1e6;
    std::printf("format only: %.2f us/record (%lld bytes)\n", formatMs * 1e3 / records,
                static_cast<long long>(bytes));
    std::fflush(stdout);

    int loads = 0;
    for (int run = 0; run < 3; ++run) {
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/proc/self/exe", argv[0], "load", path, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        loads += WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    std::remove(path);
    return measured("load in a child process", size_t(loads)) ? 0 : 1;
}
