// CPU of Kestrix with the data display open and streaming, measured in-process:
//   kestrix-sim --link /tmp/kx-ecu &
//   xvfb-run -a build-bench/bench/display_cpu /tmp/kx-ecu [seconds]
// Prints the process CPU time over the window as a percentage of one core.
#include "app/Form2.h"
#include "bench_support.h"
#include "link/SerialPort.h"
#include "live/Form1.h"
#include "ui/Dialogs.h"
#include "util/settings_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: display_cpu DEVICE [seconds]\n");
        return 2;
    }
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
    std::printf(
        "display_cpu: %.1f s, %ld receive events (%.1f/s), CPU %.2f s = %.2f %% of one core; "
        "F1 to first values %lld ms\n",
        wall, frames, double(frames) / wall, cpu, 100.0 * cpu / wall, (long long)firstValues);
    return 0;
}
