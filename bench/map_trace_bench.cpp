// Speed of the map trace's reading and CPU while it traces, against the simulated ECU at 9600
// baud on a pseudo-terminal, in-process:
//   build/bench/map_trace_bench [trace seconds] [screenshot.png]
// Prints the reading time of the 288 bytes beside the bound set by the wire and the
// protocol's own pauses, then the GUI thread's CPU with the trace following the engine.
#include "app/Form2.h"
#include "bench_support.h"
#include "ecu_sim.h"
#include "link/SerialPort.h"
#include "tools/frmMapTData.h"
#include "tools/frmMapTrace.h"
#include "ui/Dialogs.h"
#include "util/settings_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {
constexpr double kByteMs = 1000.0 / 960.0; // 9600 baud, 8N1

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int traceSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const QString shot = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    kxsim::SimOptions options;
    options.timeScale = 4; // the engine revs within the measurement
    lineFromEnvironment(options);
    kxsim::EcuSimulator sim(options);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    QTemporaryDir dir;
    kx::SettingsStore store(dir.filePath("Kestrix.conf"));
    store.save("Comms", "ComPort", QString::fromStdString(sim.devicePath()));
    kx::QtDialogs dialogs;
    kx::Form2 form(store, dialogs, new kx::QtSerialPort, new kx::QtSerialPort);
    form.load();
    form.btnConnect_Click();
    if (!runUntil([&] { return form.link().connected; }, 5000)) {
        std::fprintf(stderr, "no answer from the simulator\n");
        return 1;
    }

    kx::frmMapTrace* win = form.open<kx::frmMapTrace>();
    runUntil([&] { return !form.link().busy(); }, 5000);
    QElapsedTimer t;
    t.start();
    win->setup()->findChild<QPushButton*>("btnOK")->click();
    if (!runUntil([&] { return win->tracing(); }, 120000)) {
        std::fprintf(stderr, "the reading did not finish\n");
        return 1;
    }
    const double s = double(t.elapsed()) / 1000.0;
    // Per byte: the 15 ms pause (the six bytes out fit in it), the stream start, the six bytes
    // the threshold waits for, the stop byte and the 10 ms pause.
    const double bound = 288 * (15 + 10 + 8 * kByteMs) / 1000.0;
    std::printf("read: 288 bytes in %.2f s; bound %.2f s; ratio %.3f\n", s, bound, bound / s);

    run(1000); // the stream settles
    long deliveries = 0;
    QObject::connect(&form.MSComm1(), &kx::SerialPort::received, [&] { ++deliveries; });
    const uint64_t frames0 = sim.framesSent();
    const double c0 = threadCpuSeconds();
    QElapsedTimer w;
    w.start();
    run(traceSeconds * 1000);
    const double cpu = threadCpuSeconds() - c0;
    const double wall = double(w.elapsed()) / 1000.0;
    std::printf("trace: %.1f s, %.1f frames/s, %.1f deliveries/s, GUI thread CPU %.2f %% of "
                "one core\n",
                wall, double(sim.framesSent() - frames0) / wall, double(deliveries) / wall,
                100.0 * cpu / wall);
    if (!shot.isEmpty()) win->grab().save(shot);
    win->close();
    return 0;
}
