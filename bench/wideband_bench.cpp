// The AFR graph and the wideband link, measured in-process:
//   xvfb-run -a build/bench/wideband_bench
//       append + redraw of an 80-point dataset on a 400 × 150 graph
//   kestrix-sim --link /tmp/kx-ecu --wb-link /tmp/kx-wb &
//   xvfb-run -a build/bench/wideband_bench /tmp/kx-ecu /tmp/kx-wb [seconds]
//       also CPU with both links streaming, the data display and the AFR window open; with "-"
//       for the ECU device, the wideband link and the AFR window alone
#include "app/Form2.h"
#include "bench_support.h"
#include "gauges/Graph.h"
#include "link/SerialPort.h"
#include "live/Form1.h"
#include "ui/Dialogs.h"
#include "util/settings_store.h"
#include "wideband/frmWBO2.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

// Appends as the AFR window does: redraw off, one point, redraw on (one drawing).
void graphFigures() {
    kx::Graph g;
    g.set(&kx::GraphProps::MaxValue, 45.0);
    g.set(&kx::GraphProps::MinValue, 5.0);
    g.set(&kx::GraphProps::XGridInc, int32_t(10));
    g.set(&kx::GraphProps::BackColor, uint32_t(0));
    g.set(&kx::GraphProps::GridColor, uint32_t(0x008000));
    g.set(&kx::GraphProps::FixedPoints, int32_t(80));
    kx::Dataset& d = g.datasets().Add();
    d.set(&kx::DatasetProps::ShowPoints, false);
    d.set(&kx::DatasetProps::ShowBars, false);
    d.set(&kx::DatasetProps::LineColor, uint32_t(0x00FF00));
    g.setFrameStyle(QFrame::NoFrame);
    g.resize(400, 150);
    g.show();
    run(200);
    for (int i = 0; i < 80; ++i)
        d.points().Add(14.7 + (i % 7) * 0.3);
    const auto append = [&](int i) {
        g.set(&kx::GraphProps::Redraw, false);
        d.points().Add(12 + (i % 40) * 0.1);
        g.set(&kx::GraphProps::Redraw, true);
    };
    const int n = 5000;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        append(i);
    const double drawUs = double(t.nsecsElapsed()) / 1e3 / n;
    t.restart();
    for (int i = 0; i < n; ++i) {
        append(i);
        g.repaint(); // and onto the screen, synchronously
    }
    const double screenUs = double(t.nsecsElapsed()) / 1e3 / n;
    std::printf("graph 400x150, 80 points: append + redraw %.1f us; with the copy to the screen "
                "%.1f us\n",
                drawUs, screenUs);
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    graphFigures();
    if (argc < 3) return 0;
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 30;
    QTemporaryDir dir;
    kx::SettingsStore store(dir.filePath(QStringLiteral("Kestrix.conf")));
    store.save(QStringLiteral("Comms"), QStringLiteral("ComPort"), QString::fromLocal8Bit(argv[1]));
    store.save(QStringLiteral("WBO2"), QStringLiteral("ComPort"), QString::fromLocal8Bit(argv[2]));
    store.save(QStringLiteral("Setup"), QStringLiteral("Gauge0"), QStringLiteral("24"));
    kx::QtDialogs dialogs;
    kx::Form2 form(store, dialogs, new kx::QtSerialPort, new kx::QtSerialPort);
    form.show();
    form.load();
    const bool ecu = std::strcmp(argv[1], "-") != 0;
    if (ecu) form.btnConnect_Click();
    form.btnConnect2_Click();
    for (int i = 0; i < 50 && !((form.link().connected() || !ecu) && form.afrDisplayEnabled()); ++i)
        run(100);
    if ((ecu && !form.link().connected()) || !form.afrDisplayEnabled()) {
        std::fprintf(stderr, "no answer from %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    if (ecu) form.open<kx::Form1>()->resize(1000, 700);
    kx::frmWBO2* afr = form.open<kx::frmWBO2>();
    afr->resize(640, 560);
    run(3000); // warm up: first layout, fonts
    long ecuEvents = 0, wbEvents = 0;
    QObject::connect(&form.MSComm1(), &kx::SerialPort::received, [&] { ++ecuEvents; });
    QObject::connect(&form.MSComm2(), &kx::SerialPort::received, [&] { ++wbEvents; });
    const double c0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    run(seconds * 1000);
    const double cpu = cpuSeconds() - c0;
    const double wall = double(t.elapsed()) / 1000.0;
    if (!measured("both links", size_t(wbEvents) * size_t(ecu ? ecuEvents : 1))) return 1;
    std::printf("both links: %.1f s, ECU %.1f and wideband %.1f receive events/s, CPU %.2f s = "
                "%.2f %% of one core\n",
                wall, double(ecuEvents) / wall, double(wbEvents) / wall, cpu, 100.0 * cpu / wall);
    return 0;
}
