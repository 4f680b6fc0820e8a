#pragma once
// What the timing programs share: CPU time read from the system, and the event loop run for a
// while or until something holds.
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <QtGlobal>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

// CPU seconds of the process (RUSAGE_SELF) or of the calling thread only (RUSAGE_THREAD, for
// runs with the simulator on a thread of its own).
inline double cpuSeconds(int who = RUSAGE_SELF) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
inline double threadCpuSeconds() {
    return cpuSeconds(RUSAGE_THREAD);
}

// Runs the event loop for `ms` with no timer of its own.
inline void run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds (checked every millisecond) or `ms` pass.
inline bool runUntil(const std::function<bool()>& done, int ms) {
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

// A figure with no runs measured nothing (a window that had not loaded yet, a stream that never
// came): it is named on stderr and the program's exit status says so, so a broken bench fails.
inline int& unmeasuredFigures() {
    static int n = 0;
    return n;
}
inline bool measured(const char* figure, std::size_t runs) {
    if (runs > 0) return true;
    std::fprintf(stderr, "%s: no runs, nothing measured\n", figure);
    ++unmeasuredFigures();
    return false;
}
inline int benchStatus() {
    return unmeasuredFigures() > 0 ? 1 : 0;
}

// The line the simulator puts between itself and Kestrix, from the environment:
// KX_LATENCY_MS (an adapter's latency timer) and KX_NOISE (stray and lost bytes, each, per
// byte). Printed, so that every figure says which line it was taken on.
template <class Options> void lineFromEnvironment(Options& o) {
    o.latencyMs = qEnvironmentVariableIntValue("KX_LATENCY_MS");
    o.garbageRate = o.dropRate = qEnvironmentVariable("KX_NOISE", "0").toDouble();
    double cmdDrop = 0;
    if constexpr (requires { o.cmdDropRate; })
        o.cmdDropRate = cmdDrop = qEnvironmentVariable("KX_CMD_DROP", "0").toDouble();
    std::printf("line: %d ms latency, %.2f %% stray and %.2f %% lost bytes from the device, "
                "%.2f %% of the PC's bytes lost\n",
                o.latencyMs, 100 * o.garbageRate, 100 * o.dropRate, 100 * cmdDrop);
}
