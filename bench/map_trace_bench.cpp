// Speed of the map trace's reading and CPU while it traces, against the simulated ECU at 9600
// baud and its wideband controller on pseudo-terminals, in-process:
//   build/bench/map_trace_bench [trace seconds] [screenshot.png] [log records]
// Prints the reading time of the 288 bytes beside the bound set by the wire and the
// protocol's own pauses, then the GUI thread's CPU with the trace following the engine, with
// the map shown and with the hits shown, then the time "Add Logs..." takes for a drive of
// [log records] (default 1,000,000), loading included. The screenshot shows the mean WBo2.
#include "app/Form2.h"
#include "bench_support.h"
#include "drive_log.h"
#include "ecu_sim.h"
#include "link/SerialPort.h"
#include "tools/frmMapTData.h"
#include "tools/frmMapTrace.h"
#include "ui/Dialogs.h"
#include "util/settings_store.h"
#include "wideband.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <utility>

namespace {
constexpr double kByteMs = 1000.0 / 960.0; // 9600 baud, 8N1

// The real dialogs, but the log chooser answers from a list: the run needs no hand.
class ScriptedDialogs : public kx::QtDialogs {
public:
    QStringList logs;
    QStringList openFileNames(QWidget*, const QString&, const QString&) override {
        return std::exchange(logs, {});
    }
};

// The GUI thread's share of a core while the trace runs for `seconds`.
double traceCpu(kx::Form2& form, const kxsim::EcuSimulator& sim, int seconds, const char* what) {
    long deliveries = 0;
    const auto counting =
        QObject::connect(&form.MSComm1(), &kx::SerialPort::received, [&] { ++deliveries; });
    const uint64_t frames0 = sim.framesSent();
    const double c0 = threadCpuSeconds();
    QElapsedTimer w;
    w.start();
    run(seconds * 1000);
    const double cpu = threadCpuSeconds() - c0;
    const double wall = double(w.elapsed()) / 1000.0;
    QObject::disconnect(counting);
    measured(what, size_t(deliveries));
    std::printf("trace, %s: %.1f s, %.1f frames/s, %.1f deliveries/s, GUI thread CPU %.2f %% of "
                "one core\n",
                what, wall, double(sim.framesSent() - frames0) / wall, double(deliveries) / wall,
                100.0 * cpu / wall);
    return cpu;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int traceSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const QString shot = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const long logRecords = argc > 3 ? std::atol(argv[3]) : 1000000;

    kxsim::SimOptions options;
    options.timeScale = 4; // the engine revs within the measurement
    lineFromEnvironment(options);
    kxsim::EcuSimulator sim(options);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    kxsim::WbOptions wbOptions;
    wbOptions.warmupSeconds = 0;
    kxsim::WidebandSimulator wideband(wbOptions, [&] { return sim.engineState(); });
    if (!wideband.start(&error)) {
        std::fprintf(stderr, "wideband simulator: %s\n", error.c_str());
        return 1;
    }
    QTemporaryDir dir;
    kx::SettingsStore store(dir.filePath("Kestrix.conf"));
    store.save("Comms", "ComPort", QString::fromStdString(sim.devicePath()));
    store.save("WBO2", "ComPort", QString::fromStdString(wideband.devicePath()));
    // KX_MAP_START (hexadecimal): where the map is read from (9000 holds code-like bytes).
    const uint16_t mapAt =
        uint16_t(qEnvironmentVariable("KX_MAP_START", "7400").toUInt(nullptr, 16));
    store.save("MapTrace", "MapAddress", QString::number(mapAt, 16).toUpper());
    ScriptedDialogs dialogs;
    kx::Form2 form(store, dialogs, new kx::QtSerialPort, new kx::QtSerialPort);
    form.load();
    form.btnConnect_Click();
    form.btnConnect2_Click();
    if (!runUntil([&] { return form.link().connected() && form.afrDisplayEnabled(); }, 5000)) {
        std::fprintf(stderr, "no answer from the simulators\n");
        return 1;
    }

    kx::frmMapTrace* win = form.open<kx::frmMapTrace>();
    runUntil([&] { return !form.link().busy(); }, 5000);
    QElapsedTimer t;
    t.start();
    win->setup()->findChild<QPushButton*>("btnOK")->click();
    if (!runUntil([&] { return win->tracing(); }, 120000)) {
        std::fprintf(stderr, "the reading did not finish: %s\n",
                     qPrintable(win->findChild<QLabel*>("lblStatus")->text()));
        return 1;
    }
    const double s = double(t.elapsed()) / 1000.0;
    // Per byte: the 15 ms pause (the six bytes out fit in it), the stream start, the six bytes
    // the threshold waits for, the stop byte and the 10 ms pause.
    // Since each byte is asked for two and three times by turns and taken when two frames
    // agree: the acknowledgement, two frames of 4.5 bytes on average and the next header.
    const double bound = 288 * (15 + 10 + 14 * kByteMs) / 1000.0;
    const kx::EngineMap& read = win->map();
    const kxsim::Bytes cells = sim.memory(mapAt, 256);
    bool exact = std::equal(cells.begin(), cells.end(), read.values.begin());
    const auto stored = [&](const char* key) {
        return uint16_t(store.read("MapTrace", key).toUInt(nullptr, 16));
    };
    const kxsim::Bytes rpm = sim.memory(stored("RPMscaleAddress"), 16);
    const kxsim::Bytes tp = sim.memory(stored("TPscaleAddress"), 16);
    for (size_t i = 0; i < 16; ++i)
        exact = exact && read.scales.rpm[i] == 50 * rpm[i] && read.scales.tp[i] == tp[i];
    std::printf("read: 288 bytes in %.2f s; bound %.2f s; ratio %.3f; %s\n", s, bound, bound / s,
                exact ? "exact" : "WRONG CELLS");
    measured("map read", exact);

    run(1000); // the stream settles
    traceCpu(form, sim, traceSeconds, "map shown");
    win->findChild<QRadioButton*>("optHits")->click();
    traceCpu(form, sim, traceSeconds, "hits shown");
    std::printf("traced: %llu hits, %llu with WBo2\n",
                static_cast<unsigned long long>(win->coverage().hits()),
                static_cast<unsigned long long>(win->coverage().afrHits()));

    const QString log = dir.filePath("drive.log");
    if (!kx::writeDrive(log.toLocal8Bit().constData(), logRecords, false)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(log));
        return 1;
    }
    dialogs.logs = {log};
    t.restart();
    win->findChild<QPushButton*>("btnAddLogs")->click();
    measured("Add Logs", runUntil([&] { return !win->addingLogs(); }, 600000));
    std::printf("Add Logs: %ld records, %.1f MB, loaded and added in %.0f ms while the trace "
                "went on\n",
                logRecords, double(QFileInfo(log).size()) / 1e6, double(t.elapsed()));

    win->findChild<QRadioButton*>("optWBo2")->click();
    run(500);
    if (!shot.isEmpty()) win->grab().save(shot);
    win->close();
    return benchStatus();
}
