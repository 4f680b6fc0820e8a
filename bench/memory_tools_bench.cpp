// Speed of the ROM dump's two methods and CPU of the address watch, against the simulated ECU
// at 9600 baud on a pseudo-terminal, in-process:
//   build/bench/memory_tools_bench [fast bytes] [slow bytes] [watch seconds]
// KX_DUMP_START (hexadecimal, default 8000; 9000 holds code-like bytes) sets where both start;
// KX_LATENCY_MS, KX_NOISE and KX_CMD_DROP set the line.
// Prints bytes per second of each method beside the bound set by the wire and the method's
// own pauses, and the GUI thread's CPU with the watch streaming.
#include "app/Form2.h"
#include "bench_support.h"
#include "ecu_sim.h"
#include "link/SerialPort.h"
#include "tools/frmAdrWatch.h"
#include "tools/frmRomData.h"
#include "ui/Dialogs.h"
#include "util/settings_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/resource.h>

namespace {
constexpr double kByteMs = 1000.0 / 960.0; // 9600 baud, 8N1

uint16_t dumpStart() {
    return uint16_t(qEnvironmentVariable("KX_DUMP_START", "8000").toUInt(nullptr, 16));
}

// Whether the file holds exactly the simulator's memory from 0x8000.
const char* exactness(kxsim::EcuSimulator& sim, const QString& path, int bytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "no file";
    const QByteArray got = f.readAll();
    const kxsim::Bytes want = sim.memory(dumpStart(), size_t(bytes));
    if (got.size() != bytes) return "short";
    return std::equal(want.begin(), want.end(), got.begin(),
                      [](uint8_t w, char g) { return w == uint8_t(g); })
               ? "exact"
               : "WRONG BYTES";
}

void dump(kx::Form2& form, kxsim::EcuSimulator& sim, const QString& path, int bytes, bool slow,
          double boundPerByteMs) {
    kx::frmRomData* win = form.open<kx::frmRomData>();
    runUntil([&] { return win->findChild<QPushButton*>("btnRead")->isEnabled(); }, 5000);
    win->findChild<QLineEdit*>("txtPath")->setText(path);
    win->findChild<QLineEdit*>("txtStart")->setText(QString::number(dumpStart(), 16));
    win->findChild<QLineEdit*>("txtEnd")->setText(
        QString::number(dumpStart() + bytes - 1, 16).toUpper());
    win->findChild<QRadioButton*>(slow ? "optSlow" : "optFast")->setChecked(true);
    QElapsedTimer t;
    t.start();
    win->findChild<QPushButton*>("btnRead")->click();
    const bool done = runUntil([&] { return !win->downloading(); }, 600000);
    const double s = double(t.elapsed()) / 1000.0;
    const char* exact = exactness(sim, path, bytes);
    measured(slow ? "slow dump" : "fast dump", done && std::strcmp(exact, "exact") == 0);
    const double rate = bytes / s;
    const double bound = 1000.0 / boundPerByteMs;
    std::printf("%s: %d bytes in %.2f s = %.1f bytes/s; bound %.1f bytes/s; ratio %.3f; %s\n",
                slow ? "slow" : "fast", bytes, s, rate, bound, rate / bound, exact);
    win->close();
    // Closed outside any event loop: its deletion is done here, not by the loops below.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    runUntil([&] { return form.link().connected() && !form.link().busy(); }, 5000);
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int fastBytes = argc > 1 ? std::atoi(argv[1]) : 2048;
    const int slowBytes = argc > 2 ? std::atoi(argv[2]) : 2048;
    const int watchSeconds = argc > 3 ? std::atoi(argv[3]) : 10;

    kxsim::SimOptions options;
    // The simulator's record of the traffic, for a look at the timing of each exchange.
    options.recordPath = qEnvironmentVariable("KX_SIM_RECORD").toStdString();
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
    if (!runUntil([&] { return form.link().connected(); }, 5000)) {
        std::fprintf(stderr, "no answer from the simulator\n");
        return 1;
    }

    // Per 8 bytes: two 25 ms pauses, the stream start, its acknowledgement, the frame and the
    // one that repeats it (10 bytes each), the next header that confirms the second, the stop.
    dump(form, sim, dir.filePath("fast.bin"), fastBytes, false, (50 + 25 * kByteMs) / 8);
    // Per byte: the 15 ms pause, the stream start, its acknowledgement, two frames of the
    // address asked for two and three times by turns (4.5 bytes each on average), the next
    // header, the stop.
    dump(form, sim, dir.filePath("slow.bin"), slowBytes, true, 15 + 14 * kByteMs);

    kx::frmAdrWatch* watch = form.open<kx::frmAdrWatch>();
    runUntil([&] { return watch->findChild<QPushButton*>("btnStart")->isEnabled(); }, 5000);
    const char* addresses[] = {"F70C", "F70D", "F777"};
    for (int i = 0; i < 3; ++i)
        watch->findChild<QLineEdit*>(QStringLiteral("txtAddress%1").arg(i + 1))
            ->setText(addresses[i]);
    watch->show();
    watch->findChild<QPushButton*>("btnStart")->click();
    runUntil([] { return false; }, 1000); // the stream settles
    long deliveries = 0;
    QObject::connect(&form.MSComm1(), &kx::SerialPort::received, [&] { ++deliveries; });
    const uint64_t frames0 = sim.framesSent();
    const long deliveries0 = deliveries;
    const double c0 = threadCpuSeconds();
    QElapsedTimer t;
    t.start();
    runUntil([] { return false; }, watchSeconds * 1000);
    const double cpu = threadCpuSeconds() - c0;
    const double wall = double(t.elapsed()) / 1000.0;
    std::printf("watch: %.1f s, %.1f frames/s, %.1f deliveries/s, GUI thread CPU %.2f %% of "
                "one core\n",
                wall, double(sim.framesSent() - frames0) / wall, double(deliveries) / wall,
                100.0 * cpu / wall);
    watch->close();
    measured("watch", size_t(deliveries - deliveries0));
    return benchStatus();
}
