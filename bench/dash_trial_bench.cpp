// The dashboard's CPU at its full frame rate, and the time trial's accuracy against the
// simulated car's launch profile.
//   kestrix-sim --link /tmp/kx-ecu --launch 1 &
//   xvfb-run -a build/bench/dash_trial_bench dash /tmp/kx-ecu [seconds]
//   xvfb-run -a build/bench/dash_trial_bench trial [runs]
// "dash" prints the process CPU time with the dashboard open (maximised) as a percentage of
// one core. "trial" runs the simulator in-process at 9600 baud and times 0-60 and 0-100 on
// its launch, once per run, against the profile's true times.
#include "app/Form2.h"
#include "bench_support.h"
#include "dash/frmDashboard.h"
#include "ecu_sim.h"
#include "link/SerialPort.h"
#include "trial/frmTimeTrial.h"
#include "ui/Dialogs.h"
#include "util/settings_store.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {
bool connectTo(kx::Form2& form) {
    form.load();
    form.btnConnect_Click();
    for (int i = 0; i < 50 && !form.link().connected(); ++i)
        run(100);
    return form.link().connected();
}

int dash(const QString& device, int seconds) {
    QTemporaryDir dir;
    kx::SettingsStore store(dir.filePath(QStringLiteral("Kestrix.conf")));
    store.save(QStringLiteral("Comms"), QStringLiteral("ComPort"), device);
    kx::QtDialogs dialogs;
    kx::Form2 form(store, dialogs, new kx::QtSerialPort, new kx::QtSerialPort);
    form.show();
    if (!connectTo(form)) {
        std::fprintf(stderr, "no answer from %s\n", qPrintable(device));
        return 1;
    }
    kx::frmDashboard* win = form.open<kx::frmDashboard>();
    win->showMaximized();
    run(3000);
    long deliveries = 0;
    QObject::connect(&form.MSComm1(), &kx::SerialPort::received, [&] { ++deliveries; });
    const double c0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    run(seconds * 1000);
    const double cpu = cpuSeconds() - c0;
    const double wall = double(t.elapsed()) / 1000.0;
    if (!measured("dashboard", size_t(deliveries))) return 1;
    std::printf("dashboard: %.1f s, %ld deliveries (%.1f/s), CPU %.2f s = %.2f %% of one core\n",
                wall, deliveries, double(deliveries) / wall, cpu, 100.0 * cpu / wall);
    return 0;
}

int trial(int runs) {
    kxsim::SimOptions o;
    o.seed = 7;
    o.launchDelay = 1.0;
    kxsim::EcuSimulator sim(o);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    QTemporaryDir dir;
    kx::SettingsStore store(dir.filePath(QStringLiteral("Kestrix.conf")));
    store.save(QStringLiteral("Comms"), QStringLiteral("ComPort"),
               QString::fromStdString(sim.devicePath()));
    kx::QtDialogs dialogs;
    kx::Form2 form(store, dialogs, new kx::QtSerialPort, new kx::QtSerialPort);
    if (!connectTo(form)) {
        std::fprintf(stderr, "no answer from the simulator\n");
        return 1;
    }
    // By the speedometer: 2 km/h at once, then 12.25 km/h a second.
    const double truth[2] = {58 / 12.25, 8.0};
    // One frame is header, count and the speed byte: 30 bits.
    const double frameMs = 30.0 * 1000 / o.baud;
    double worst = 0;
    for (int r = 0; r < runs; ++r) {
        kx::frmTimeTrial* win = form.open<kx::frmTimeTrial>();
        win->findChild<QCheckBox*>(QStringLiteral("chcTime0"))->setChecked(true);
        win->findChild<QCheckBox*>(QStringLiteral("chcTime1"))->setChecked(true);
        win->btnStart_Click();
        auto* start = win->findChild<QPushButton*>(QStringLiteral("btnStart"));
        QElapsedTimer t;
        t.start();
        while (!start->isEnabled() && t.elapsed() < 20000)
            run(50);
        measured("time trial run", start->isEnabled());
        if (!start->isEnabled())
            std::fprintf(stderr, "run %d: mode %d, speed %.1f, sim launch %.2f s, stream %d\n",
                         r + 1, int(form.link().readMode()),
                         double(form.state().live.gaugeValue[6]), sim.launchTime(),
                         int(sim.streamKind()));
        double got[2];
        for (int i = 0; i < 2; ++i)
            got[i] = win->findChild<QLabel*>(QStringLiteral("lblTime%1").arg(i))->text().toDouble();
        std::printf("run %2d: 0-60 %.2f s (true %.3f), 0-100 %.2f s (true %.3f)\n", r + 1, got[0],
                    truth[0], got[1], truth[1]);
        worst = std::max({worst, std::abs(got[0] - truth[0]), std::abs(got[1] - truth[1])});
        win->close();
        // Out here no event loop runs the window's deferred delete; the next run needs a
        // new window.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        run(1500); // the reconnect
    }
    // The machine's load goes with the figure: a busy machine delays the stamps.
    double load = 0;
    getloadavg(&load, 1);
    std::printf("frame interval %.3f ms at %d baud; worst error %.0f ms; target %.1f ms; "
                "load average %.1f\n",
                frameMs, o.baud, worst * 1000, frameMs + 20, load);
    return benchStatus();
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("dash") && argc > 2)
        return dash(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::atoi(argv[3]) : 30);
    if (mode == QLatin1String("trial")) return trial(argc > 2 ? std::atoi(argv[2]) : 10);
    std::fprintf(stderr, "usage: dash_trial_bench dash DEVICE [seconds] | trial [runs]\n");
    return 2;
}
