// CPU of Kestrix with the data display open and streaming, measured in-process:
//   kestrix-sim --link /tmp/kx-ecu &
//   xvfb-run -a build-bench/bench/display_cpu /tmp/kx-ecu [seconds]
// Prints the process CPU time over the window as a percentage of one core.
//
// Paired: this build against another build's display_cpu, on the same stream:
//   xvfb-run -a build/bench/display_cpu --pair OTHER/bench/display_cpu [rounds] [seconds]
// Each run gets a fresh simulator with the same seed, so both builds see the same values; the
// runs alternate (this, other, this, ...) so that a change in the machine's load falls on both.
// Prints every run and the ratio of this build's CPU to the other's.
#include "app/Form2.h"
#include "bench_support.h"
#include "link/SerialPort.h"
#include "live/Form1.h"
#include "ui/Dialogs.h"
#include "ui/ui_helpers.h"
#include "util/settings_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <sys/resource.h>

namespace {

// One run of a display_cpu program against a simulator of its own; its CPU in % of one core.
std::optional<double> runOnce(const QString& program, int seconds) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ecu"));
    QProcess sim;
    sim.start(QStringLiteral(KX_SIM),
              {QStringLiteral("--link"), link, QStringLiteral("--seed"), QStringLiteral("1")});
    if (!sim.waitForStarted() || !runUntil([&] { return QFile::exists(link); }, 5000)) {
        std::fprintf(stderr, "simulator did not start\n");
        return std::nullopt;
    }
    QProcess bench;
    bench.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bench.start(program, {link, QString::number(seconds)});
    bench.waitForFinished((seconds + 60) * 1000);
    const QString out = QString::fromLocal8Bit(bench.readAllStandardOutput());
    sim.terminate();
    sim.waitForFinished(5000);
    const auto m = QRegularExpression(QStringLiteral("= ([0-9.]+) % of one core")).match(out);
    if (!m.hasMatch()) {
        std::fprintf(stderr, "no figure from %s:\n%s\n", qPrintable(program), qPrintable(out));
        return std::nullopt;
    }
    return m.captured(1).toDouble();
}

int paired(const QString& self, const QString& other, int rounds, int seconds) {
    double ours = 0, theirs = 0;
    std::printf("this: %s\nother: %s\n%d rounds of %d s each\n", qPrintable(self),
                qPrintable(other), rounds, seconds);
    for (int r = 1; r <= rounds; ++r) {
        const auto a = runOnce(self, seconds);
        const auto b = runOnce(other, seconds);
        if (!a || !b) return 1;
        ours += *a;
        theirs += *b;
        std::printf("round %d: this %.2f %%, other %.2f %%, ratio %.2f\n", r, *a, *b, *a / *b);
        std::fflush(stdout);
    }
    std::printf("display_cpu paired: this %.2f %%, other %.2f %% (means), ratio %.2f\n",
                ours / rounds, theirs / rounds, ours / theirs);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // As the program does; not for a paired run, whose runs inherit its environment.
    const bool pair = argc > 2 && QLatin1String(argv[1]) == QLatin1String("--pair");
    if (!pair) kx::prepareWindowSystem();
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: display_cpu DEVICE [seconds]\n"
                             "       display_cpu --pair OTHER_DISPLAY_CPU [rounds] [seconds]\n");
        return 2;
    }
    if (pair)
        return paired(QCoreApplication::applicationFilePath(), QString::fromLocal8Bit(argv[2]),
                      argc > 3 ? std::atoi(argv[3]) : 3, argc > 4 ? std::atoi(argv[4]) : 20);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    QTemporaryDir dir;
    kx::SettingsStore store(dir.filePath(QStringLiteral("Kestrix.conf")));
    store.save(QStringLiteral("Comms"), QStringLiteral("ComPort"), QString::fromLocal8Bit(argv[1]));
    kx::QtDialogs dialogs;
    kx::Form2 form(store, dialogs, new kx::QtSerialPort, new kx::QtSerialPort);
    form.show();
    form.load();
    form.btnConnect_Click();
    for (int i = 0; i < 50 && !form.link().connected(); ++i)
        run(100);
    if (!form.link().connected()) {
        std::fprintf(stderr, "no answer from %s\n", argv[1]);
        return 1;
    }
    // F1 to the first values on the dials: the stream stop, the arming and the first frame.
    QElapsedTimer f1;
    qint64 firstValues = -1;
    QObject::connect(&form.MSComm1(), &kx::SerialPort::received, [&] {
        if (firstValues < 0 && form.link().readMode() == kx::ReceiveMode::LiveData)
            firstValues = f1.elapsed();
    });
    f1.start();
    kx::Form1* display = form.open<kx::Form1>();
    display->resize(1000, 700);
    run(3000); // warm up: first layout, fonts
    long frames = 0;
    QObject::connect(&form.MSComm1(), &kx::SerialPort::received, [&] { ++frames; });
    const double c0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    run(seconds * 1000);
    const double cpu = cpuSeconds() - c0;
    const double wall = double(t.elapsed()) / 1000.0;
    if (!measured("display_cpu", size_t(frames)) || firstValues < 0) return 1;
    std::printf(
        "display_cpu: %.1f s, %ld receive events (%.1f/s), CPU %.2f s = %.2f %% of one core; "
        "F1 to first values %lld ms\n",
        wall, frames, double(frames) / wall, cpu, 100.0 * cpu / wall, (long long)firstValues);
    return 0;
}
