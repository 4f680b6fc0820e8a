// kestrix-cli against the simulated ECU (9600 baud, the default twelve gauges): the share of the
// live frames sent that became records in the file, and the CPU the program used, as a share
// of one core over its whole run.
//   build-bench/bench/cli_bench [seconds]      (default 30)
// KX_LATENCY_MS and KX_NOISE choose the line, as for the other timing programs; KX_WIDEBAND=1
// adds the simulated wideband controller, logged with --wideband.
#include "bench_support.h"
#include "ecu_sim.h"
#include "wideband.h"
#include "util/settings_store.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {
long recordsIn(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    return std::max<long>(0, long(f.readAll().count("\r\n")) - 1);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    kxsim::SimOptions o;
    o.seed = 7;
    lineFromEnvironment(o);
    kxsim::EcuSimulator sim(o);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    QTemporaryDir dir;
    const bool withWideband = qEnvironmentVariableIntValue("KX_WIDEBAND") != 0;
    std::unique_ptr<kxsim::WidebandSimulator> wb;
    const QByteArray wbPath = dir.filePath(QStringLiteral("wb")).toLocal8Bit();
    if (withWideband) {
        kxsim::WbOptions w;
        w.linkPath = wbPath.toStdString();
        w.latencyMs = o.latencyMs;
        w.warmupSeconds = 0;
        wb = std::make_unique<kxsim::WidebandSimulator>(w, [&sim] { return sim.engineState(); });
        if (!wb->start(&error)) {
            std::fprintf(stderr, "wideband simulator: %s\n", error.c_str());
            return 1;
        }
    }
    const QString ini = dir.filePath(QStringLiteral("Kestrix.ini"));
    kx::SettingsStore(ini).save(QStringLiteral("Comms"), QStringLiteral("ComPort"),
                                QString::fromStdString(sim.devicePath()));
    const QString out = dir.filePath(QStringLiteral("bench.log"));

    const QByteArray iniArg = ini.toLocal8Bit(), outArg = out.toLocal8Bit();
    const QByteArray duration = QByteArray::number(seconds);
    const char* args[] = {KX_CLI,       "log",
                          "--settings", iniArg.constData(),
                          "--out",      outArg.constData(),
                          "--duration", duration.constData(),
                          withWideband ? "--wideband" : nullptr,
                          wbPath.constData(),
                          nullptr};
    pid_t pid = 0;
    QElapsedTimer wall;
    wall.start();
    if (posix_spawn(&pid, KX_CLI, nullptr, nullptr, const_cast<char**>(args), environ) != 0) {
        std::perror("kestrix-cli");
        return 1;
    }
    // From the first record on, every live frame the simulator sends should become one.
    uint64_t framesAtFirst = 0;
    long recordsAtFirst = 0;
    for (;;) {
        const uint64_t frames = sim.framesSent();
        recordsAtFirst = recordsIn(out);
        if (recordsAtFirst > 0) {
            framesAtFirst = frames;
            break;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "kestrix-cli ended before its first record\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wallS = double(wall.elapsed()) / 1000.0;
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const long records = recordsIn(out);
    const uint64_t frames = sim.framesSent();
    sim.stop();
    if (!measured("records from kestrix-cli", size_t(records - recordsAtFirst))) return 1;
    const double share = 100.0 * double(records - recordsAtFirst) /
                         double(std::max<uint64_t>(1, frames - framesAtFirst));
    std::printf("cli_bench: %.1f s, exit %d, %ld records of %llu frames sent (%.2f %% of the "
                "frames from the first record on; %.2f %% of all, identification included)\n",
                wallS, WIFEXITED(status) ? WEXITSTATUS(status) : -1, records,
                (unsigned long long)frames, share, 100.0 * double(records) / double(frames));
    if (withWideband) {
        QFile f(out);
        long withRatio = 0;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                withRatio += line.contains(", Ready, ");
        std::printf("cli_bench: %ld records with a wideband ratio\n", withRatio);
    }
    std::printf("cli_bench: CPU %.3f s = %.3f %% of one core, %ld kB peak memory\n", cpu,
                100.0 * cpu / wallS, usage.ru_maxrss);
    return 0;
}
