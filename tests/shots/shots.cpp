// Renders the windows, filled from a fresh settings profile, into PNG files:
//   kestrix-shots OUTDIR   (QT_SCALE_FACTOR=2 for the doubled scale)
#include "dash/frmDashSetup.h"
#include "dash/frmDashboard.h"
#include "dyno/frmDyno.h"
#include "live/Form1.h"
#include "logs/AnalyserPlot.h"
#include "logs/frmDataLog.h"
#include "logs/frmDataReplay.h"
#include "logs/frmLogAnalyzer.h"
#include "logs/log_format.h"
#include "settings/Form3.h"
#include "settings/frmColor.h"
#include "settings/frmPreferences.h"
#include "settings/frmSettings.h"
#include "support/fuel_drive.h"
#include "support/main_window.h"
#include "support/sim_pull.h"
#include "support/sim_window.h"
#include "tools/frmActiveTest.h"
#include "tools/frmAdrWatch.h"
#include "tools/frmECUfind.h"
#include "tools/frmMapTData.h"
#include "tools/frmMapTrace.h"
#include "tools/frmRegTest.h"
#include "tools/frmRomData.h"
#include "tools/frmSelfDiag.h"
#include "tools/map_file.h"
#include "trial/frmTimeTrial.h"
#include "util/user_file.h"

#include "util/ticks.h"
#include "util/user_file.h"
#include "wideband/frmWBO2.h"
#include <QDoubleSpinBox>
#include <cmath>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cmath>

using namespace kx;

namespace {
void shoot(QWidget* w, const QString& dir, const QString& name) {
    w->show();
    QApplication::processEvents();
    w->grab().save(dir + u'/' + name + QStringLiteral(".png"));
}
// A drive of a few minutes: idle, pulls through the gears, a cruise, warming temperatures.
QString writeDriveLog(const QString& path) {
    LogGaugeNames names;
    for (int g = 0; g < kLogGaugeCount; ++g)
        names[size_t(g)] = QString::number(g);
    names[0] = "RPM", names[3] = "Water Temp C", names[4] = "O2 Sensor", names[6] = "Speed kph";
    names[7] = "Battery", names[8] = "Throttle", names[12] = "Injector", names[13] = "Timing";
    names[24] = "WBo2";
    LogSelection sel;
    for (int g : {0, 3, 4, 6, 7, 8, 12, 13, 24})
        sel.gauges[size_t(g)] = true;
    for (int i : {0, 6, 7})
        sel.indicators[size_t(i)] = true;
    LogWriter w;
    w.start(path, names, sel, 0);
    LogValues v;
    float speed = 0;
    for (int r = 0; r < 20000; ++r) {
        const double t = r / 10.0;
        const bool pulling = t > 20 && std::fmod(t, 60) < 25;
        // Each pull at another throttle, cruising between them: the map gets a spread of cells.
        const float pullThrottle = 1.0f + 0.55f * float(int(t / 60) % 6);
        const float cruise = 0.6f + 0.4f * (1 + float(std::sin(t / 5)));
        const float throttle = t < 20    ? 0.45f
                               : pulling ? pullThrottle + float(std::sin(t)) * 0.3f
                                         : cruise;
        const float rpm = t < 20    ? 800
                          : pulling ? 1500 + float(std::fmod(t, 8)) * 700
                                    : 2000 + 600 * float(std::sin(t / 9));
        speed = std::clamp(speed + (pulling ? 0.6f : -0.15f), 0.0f, 160.0f);
        v.gauges[0] = 12.5f * std::round((rpm + float(r % 7) * 10) / 12.5f);
        v.gauges[3] = std::min(20 + float(t) * 0.5f, 88.0f);
        v.gauges[4] = std::round(50 + 45 * float(std::sin(t * 3)));
        v.gauges[6] = 2 * std::round(speed / 2); // the ECU counts 2 km/h steps
        v.gauges[7] = r == 15000 ? 9.5f : 13.9f + float(r % 3) * 0.1f; // one dip
        v.gauges[8] = std::round(throttle * 50) / 50;                  // 0.02 V steps
        v.gauges[12] = std::round((2 + rpm / 400 * throttle / 2) * 100) / 100;
        v.gauges[13] = pulling ? 22 : 15;
        // Rich under load, lean when the throttle closes at speed.
        float afr = 14.7f;
        if (pulling) afr = 12.3f;
        if (!pulling && rpm > 2000 && throttle < 0.7f) afr = 16.6f;
        v.gauges[24] = std::round((afr + rpm / 20000 + 0.4f * float(std::sin(t * 7))) * 100) / 100;
        v.states[0] = pulling ? "Off" : "On";
        v.states[6] = "On";
        v.states[7] = v.gauges[3] > 85 ? "On" : "Off";
        w.record(v, uint32_t(r * 100));
    }
    w.stop();
    return path;
}

// Runs the event loop for `ms`: the simulator's frames come in real time.
void pause(int ms) {
    test::waitUntil([] { return false; }, ms);
}

// A made-up map: rows of engine speed, columns of raw throttle, fuel rising with both.
EngineMap madeUpMap() {
    EngineMap m;
    for (int i = 0; i < 16; ++i) {
        m.scales.rpm[size_t(i)] = 800 + 400 * i;
        m.scales.tp[size_t(i)] = 16 + 14 * i;
    }
    for (int row = 0; row < 16; ++row)
        for (int col = 0; col < 16; ++col)
            m.values[size_t(16 * row + col)] = uint8_t(std::min(255, 30 + 6 * row + 9 * col));
    return m;
}

// The map trace's set-up, then a saved map with a drive's log counted over it: hits, then the
// mean WBo2 of each cell.
void shootMapTrace(test::MainWindow& w, const QString& out) {
    frmMapTrace* trace = w.form->open<frmMapTrace>();
    w.settle();
    shoot(trace->setup(), out, QStringLiteral("frmMapTData"));
    trace->setup()->btnOK_Click(); // Esc would cancel the set-up, and the picture would say so
    w.settle();
    const QString map = w.dir.filePath(QStringLiteral("map.csv"));
    writeUserText(map, mapFileText(madeUpMap()), ExistingFile::Replace);
    w.dialogs.fileAnswers.push_back(map);
    trace->btnOpenMap_Click();
    w.dialogs.fileAnswers.push_back(writeDriveLog(w.dir.filePath(QStringLiteral("trace.log"))));
    trace->btnAddLogs_Click();
    test::waitUntil([&] { return !trace->addingLogs(); }, 20000);
    shoot(trace, out, QStringLiteral("frmMapTrace"));
    // The simulator's fuel map opened, and drives with a planted fuel error added: the
    // suggested map, untrusted cells faint.
    trace->btnClear_Click();
    const MapPreset& fuel = mapPresets()[1];
    for (int f = 0; f < MapFieldCount; ++f)
        w.store->save(QStringLiteral("MapTrace"), mapSettingKey(MapField(f)),
                      QString::fromLatin1(fuel.addresses[size_t(f)]));
    const QString fuelMap = w.dir.filePath(QStringLiteral("fuel map.csv"));
    writeUserText(fuelMap, mapFileText(test::simulatedFuelMap()), ExistingFile::Refuse);
    w.dialogs.fileAnswers.push_back(fuelMap);
    trace->btnOpenMap_Click();
    for (int i = 1; i <= 3; ++i) {
        const QString log = w.dir.filePath(QStringLiteral("fuel%1.log").arg(i));
        test::writeFuelDrive(log, {12, 30000, 20, uint64_t(i)});
        w.dialogs.fileAnswers.push_back(log);
        trace->btnAddLogs_Click();
        test::waitUntil([&] { return !trace->addingLogs(); }, 20000);
    }
    trace->findChild<QRadioButton*>(QStringLiteral("optSuggested"))->setChecked(true);
    w.settle();
    shoot(trace, out, QStringLiteral("map-trace-suggested"));
    trace->findChild<QRadioButton*>(QStringLiteral("optChange"))->setChecked(true);
    w.settle();
    shoot(trace, out, QStringLiteral("frmMapTrace-change"));
    trace->close();
    w.settle();
}

// The map trace on the simulated ECU and wideband: the fuel map read from the ECU over a fast
// line, then a drive traced with engine time running eight times faster (several of the
// simulator's drives in under a minute): the hits of each cell, then their mean WBo2.
void shootMapTraceFromSim(const QString& out) {
    kxsim::SimOptions o = test::quietSim();
    o.timeScale = 8;
    o.baud = 115200;
    o.coolantStartC = 86;
    test::SimWidebandWindow k(
        0, [](SettingsStore& s) { s.save("Comms", "Speed", "115200"); }, -1, o);
    test::MainWindow& w = *k.w;
    w.form->btnConnect_Click();
    w.find<QPushButton>("btnConnect2")->click();
    test::waitUntil(
        [&] {
            return w.form->link().state() == EcuLink::State::Connected &&
                   w.form->afrDisplayEnabled();
        },
        10000);
    frmMapTrace* trace = w.form->open<frmMapTrace>();
    w.settle();
    trace->setup()->btnOK_Click(); // the stored fuel map, read from the ECU
    test::waitUntil([&] { return trace->tracing(); }, 120000);
    pause(60000);
    trace->findChild<QRadioButton*>(QStringLiteral("optHits"))->click();
    shoot(trace, out, QStringLiteral("frmMapTrace-hits"));
    trace->findChild<QRadioButton*>(QStringLiteral("optWBo2"))->click();
    shoot(trace, out, QStringLiteral("frmMapTrace-wbo2"));
    trace->close();
    w.settle();
}

// Against the simulated ECU over a pseudo-terminal: the data display live, then when the ECU
// falls silent (the ignition off, the cable in); the main window when the cable is pulled.
void shootFromSim(const QString& out) {
    {
        kxsim::SimOptions o = test::quietSim();
        o.ignitionOffAfter = 6;
        test::SimMainWindow s(o);
        s.connectEcu();
        s.form().resize(640, 420);
        Form1* display = s.form().open<Form1>();
        display->resize(800, 560);
        pause(2500);
        shoot(display, out, QStringLiteral("Form1"));
        frmDataLog* logger = s.form().open<frmDataLog>();
        logger->btnStart_Click();
        pause(1000);
        shoot(logger, out, QStringLiteral("frmDataLog-logging"));
        test::waitUntil([&] { return s.form().link().silent(); }, 20000);
        pause(300);
        shoot(display, out, QStringLiteral("Form1-silent"));
        shoot(logger, out, QStringLiteral("frmDataLog-silent"));
        shoot(&s.form(), out, QStringLiteral("Form2-silent"));
        logger->btnStop_Click();
    }
    {
        // The simulated ECU's two stored codes, then an active test running on it.
        test::SimMainWindow s;
        s.connectEcu();
        frmSelfDiag* diag = s.form().open<frmSelfDiag>();
        auto* codes = diag->findChild<QPlainTextEdit*>(QStringLiteral("txtFaults"));
        test::waitUntil([&] { return codes->toPlainText().contains(QStringLiteral("43")); }, 15000);
        shoot(diag, out, QStringLiteral("frmSelfDiag"));
        diag->close();
        s.settle();
        frmActiveTest* tests = s.form().open<frmActiveTest>();
        s.settle();
        auto* timing = tests->findChild<QComboBox*>(QStringLiteral("cmbTiming"));
        timing->setCurrentIndex(timing->findText(QStringLiteral("+5")));
        tests->btnStart_Click(frmActiveTest::Timing);
        pause(1500);
        shoot(tests, out, QStringLiteral("frmActiveTest-running"));
        tests->btnStop_Click(frmActiveTest::Timing);
        s.settle();
    }
    {
        // The register test on a fast line: the simulated ECU's registers, the silent ones
        // left out.
        kxsim::SimOptions fast = test::quietSim();
        fast.baud = 115200;
        test::SimMainWindow s(fast, [](SettingsStore& st) { st.save("Comms", "Speed", "115200"); });
        s.connectEcu();
        frmSettings* settings = s.form().open<frmSettings>();
        auto* test = qobject_cast<frmRegTest*>(settings->btnActTest_Click());
        test::waitUntil([&] { return test->scan().completed(); }, 90000);
        shoot(test, out, QStringLiteral("frmRegTest"));
        test->close();
        settings->close();
        s.settle();
    }
    kxsim::SimOptions o = test::quietSim();
    o.hangupAfter = 20;
    o.reopenAfterMs = 60000;
    test::SimMainWindow s(o);
    s.connectEcu();
    s.form().resize(640, 420);
    Form1* display = s.form().open<Form1>();
    test::waitUntil([&] { return s.form().link().state() == EcuLink::State::Lost; }, 20000);
    pause(300);
    display->close();
    shoot(&s.form(), out, QStringLiteral("Form2-lost"));
}

void shootAnalyser(test::MainWindow& w, const QString& out) {
    frmLogAnalyzer* a = w.form->open<frmLogAnalyzer>();
    w.dialogs.fileAnswers.push_back(writeDriveLog(w.dir.filePath("drive.log")));
    a->btnBrowse_Click();
    test::waitUntil([&] { return !a->isLoading(); }, 10000);
    shoot(a, out, QStringLiteral("frmLogAnalyzer-loaded"));
    for (const char* name :
         {"Check1_0", "Check1_5", "Check1_4", "Check2_3", "Check2_1", "Check2_6"})
        a->findChild<QCheckBox*>(QString::fromLatin1(name))->click();
    a->picGraph_MouseDown(12000 * a->stepX());
    shoot(a, out, QStringLiteral("frmLogAnalyzer"));
    auto* zoomIn = a->findChild<QPushButton*>(QStringLiteral("btnZoomIn"));
    auto* bar = a->findChild<QScrollBar*>(QStringLiteral("scrollBar1"));
    for (int i = 0; i < 6; ++i)
        zoomIn->click();
    bar->setValue(bar->maximum() / 2);
    a->picGraph_MouseDown(double(a->graph(0)->offset()) + 4000);
    shoot(a, out, QStringLiteral("frmLogAnalyzer-zoomed"));
    for (int i = 0; i < 10; ++i)
        zoomIn->click();
    bar->setValue(bar->maximum() / 2);
    a->picGraph_MouseDown(double(a->graph(0)->offset()) + 4000);
    shoot(a, out, QStringLiteral("frmLogAnalyzer-zoomed-far"));
    a->findChild<QRadioButton*>(QStringLiteral("optScatter"))->click();
    a->picScatter_Click(12000);
    shoot(a, out, QStringLiteral("frmLogAnalyzer-scatter"));
    // What Export View writes, of either view.
    w.dialogs.fileAnswers.push_back(out + QStringLiteral("/frmLogAnalyzer-export-scatter.png"));
    a->btnExport_Click();
    a->findChild<QRadioButton*>(QStringLiteral("optGraphs"))->click();
    w.dialogs.fileAnswers.push_back(out + QStringLiteral("/frmLogAnalyzer-export-graphs.png"));
    a->btnExport_Click();
}

void shootReplay(test::MainWindow& w, const QString& out) {
    frmDataReplay* r = w.form->open<frmDataReplay>();
    r->resize(800, 560);
    shoot(r, out, QStringLiteral("frmDataReplay-empty"));
    w.dialogs.fileAnswers.push_back(writeDriveLog(w.dir.filePath("replay.log")));
    r->btnBrowse_Click();
    test::waitUntil([&] { return !r->isLoading(); }, 10000);
    r->findChild<QScrollBar*>(QStringLiteral("scrollBar1"))->setValue(12345);
    shoot(r, out, QStringLiteral("frmDataReplay"));
    r->close();
}
} // namespace

// The dashboard at 6512 rpm and 112 km/h (both lamps lit), normal and maximised; the set-up;
// the speed trial after a 0-60 and a 0-100.
void shootDashboardAndTrial(test::MainWindow& w, const QString& out) {
    frmDashboard* dash = w.form->open<frmDashboard>();
    w.settle();
    dash->resize(800, 560);
    // A frame counts once the next header confirms it, and shows once the next agrees with it:
    // three shown, the lamps lit at the first and the third.
    const QByteArray frame = QByteArray::fromHex("ff06020938020938");
    const QByteArray header = frame.left(2), body = frame.mid(2);
    w.ecu->feed(frame.repeated(4) + header);
    shoot(dash, out, QStringLiteral("frmDashboard"));
    // What maximising does; there is no window manager to ask. Four more: lit again.
    dash->setGeometry(dash->screen()->availableGeometry());
    QApplication::processEvents();
    w.ecu->feed(body + frame.repeated(3) + header);
    shoot(dash, out, QStringLiteral("frmDashboard-maximised"));
    dash->close();
    w.settle();
    w.ecu->feed(test::idFrame("1U800"));
    shoot(w.form->open<frmDashSetup>(), out, QStringLiteral("frmDashSetup"));

    uint32_t now = 0;
    setTickSource([&now] { return now; });
    frmTimeTrial* trial = w.form->open<frmTimeTrial>();
    w.settle();
    for (const char* box : {"chcTime0", "chcTime1", "chcTime4"})
        trial->findChild<QCheckBox*>(QString::fromLatin1(box))->setChecked(true);
    trial->btnStart_Click();
    for (const auto& [ms, raw] :
         {std::pair{0u, 0}, {100u, 1}, {4835u, 30}, {8100u, 50}, {8200u, 52}}) {
        now = ms;
        w.ecu->feed(QByteArray::fromHex("ff01").append(char(raw)).repeated(2));
    }
    shoot(trial, out, QStringLiteral("frmTimeTrial"));
    trial->close();
    w.settle();
    w.ecu->feed(test::idFrame("1U800"));
    setTickSource({});
}

// The dyno with a pull before and after a change: the simulator's pull, and the same pull
// stretched by a tenth (less power), both drawn.
void shootDyno(test::MainWindow& w, const QString& out) {
    frmDyno* dyno = w.form->open<frmDyno>();
    for (const auto& [name, slower] : {std::pair{"before.log", 1.1}, {"after.log", 1.0}}) {
        const auto s = test::simPullSamples(slower);
        const QString path = w.dir.filePath(QLatin1String(name));
        savePullLog(path, s, Units{});
        dyno->addLog(path);
    }
    test::waitUntil([&] { return !dyno->isLoading(); }, 10000);
    dyno->findChild<QDoubleSpinBox*>(QStringLiteral("spnMass"))->setValue(1400);
    shoot(dyno, out, QStringLiteral("dyno"));
    dyno->close();
}

// The wideband tab streaming and the AFR window after a minute of varied mixture.
void shootWideband(const QString& out) {
    test::MainWindow w([](SettingsStore& s) { s.save("WBO2", "ComPort", "2"); });
    w.form->findChild<QTabWidget*>()->setCurrentIndex(1);
    shoot(w.form.get(), out, QStringLiteral("Form2-wideband"));
    w.form->btnConnect2_Click();
    for (const char* r : {"> tf OK   \r\n", "> 0120 WB\r\n", "> 03E1 OK \r\n", "> s0406 OK\r\n",
                          "> w OK    \r\n", "> t1 OK   \r\n"}) {
        const auto sent = w.wb->writes.size();
        w.wb->feed(r);
        test::waitUntil([&] { return w.wb->writes.size() > sent; }, 500);
    }
    const auto frame = [](double afr, int sensor, int heater) {
        QByteArray f(28, '\0');
        const int raw = int(std::lround((afr - 9) / 2.44118 * 1000));
        f[0] = char(0x5A), f[1] = char(0xA5), f[5] = char(raw >> 8), f[6] = char(raw & 0xFF);
        f[25] = char(sensor), f[26] = char(heater);
        return f.repeated(2);
    };
    w.wb->feed(frame(13.2, 35, 0));
    shoot(w.form.get(), out, QStringLiteral("Form2-wideband-streaming"));
    frmWBO2* afr = w.form->open<frmWBO2>();
    afr->resize(640, 560);
    for (int i = 0; i < 90; ++i)
        w.wb->feed(frame(14.7 + 2.2 * std::sin(i / 6.0) + (i > 60 ? -1.5 : 0), i < 30 ? 2 : 35,
                         i < 30 ? 32 : 0));
    shoot(afr, out, QStringLiteral("frmWBO2"));
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    // A USB adapter by its lasting name, as the guide advises.
    test::MainWindow w([](SettingsStore& s) {
        s.save("Comms", "ComPort",
               "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    });
    shoot(w.form.get(), out, QStringLiteral("Form2"));
    w.connectEcu();
    shoot(w.form.get(), out, QStringLiteral("Form2-connected"));
    shoot(w.form->open<Form3>(), out, QStringLiteral("Form3"));
    shoot(w.form->open<frmPreferences>(), out, QStringLiteral("frmPreferences"));
    shootAnalyser(w, out);
    shootReplay(w, out);
    shootDashboardAndTrial(w, out);
    shootDyno(w, out);
    frmSelfDiag* diag = w.form->open<frmSelfDiag>();
    w.settle();
    w.ecu->feed(QByteArray::fromHex("ff0813021105430522010000").repeated(9));
    shoot(diag, out, QStringLiteral("frmSelfDiag"));
    // The data display waits while the self-diagnostics hold the link.
    Form1* waiting = w.form->open<Form1>();
    waiting->resize(800, 560);
    w.settle();
    shoot(waiting, out, QStringLiteral("Form1-waiting"));
    waiting->close();
    w.settle();
    // So do the dashboard, the speed trial and the logger.
    const auto shootWaiting = [&](QWidget* tool, const char* name) {
        w.settle();
        shoot(tool, out, QString::fromLatin1(name));
        tool->close();
        w.settle();
    };
    shootWaiting(w.form->open<frmDashboard>(), "frmDashboard-waiting");
    shootWaiting(w.form->open<frmTimeTrial>(), "frmTimeTrial-waiting");
    shootWaiting(w.form->open<frmDataLog>(), "frmDataLog-waiting");
    frmActiveTest* tests = w.form->open<frmActiveTest>();
    w.settle();
    shoot(tests, out, QStringLiteral("frmActiveTest"));
    auto* timing = tests->findChild<QComboBox*>(QStringLiteral("cmbTiming"));
    timing->setCurrentIndex(timing->findText(QStringLiteral("+5")));
    tests->btnStart_Click(frmActiveTest::Timing);
    shoot(tests, out, QStringLiteral("frmActiveTest-running"));
    frmSettings* settings = w.form->open<frmSettings>();
    shoot(settings, out, QStringLiteral("frmSettings"));
    frmColor* colours = w.form->open<frmColor>();
    shoot(colours, out, QStringLiteral("frmColor"));
    colours->close();

    // A register test where the ECU answers for the catalogue's registers but the right bank.
    auto* test = qobject_cast<frmRegTest*>(settings->btnActTest_Click());
    const QByteArray answer = QByteArray("\xFF\x01\x20", 3).repeated(40);
    for (int reg = 0; reg <= 0x38 && !test->scan().completed(); ++reg) {
        const bool answers = reg <= 0x05 || (reg >= 0x08 && reg <= 0x09) ||
                             (reg >= 0x0B && reg <= 0x17) || reg == 0x1A || reg == 0x1C ||
                             reg == 0x1E || reg == 0x1F || reg == 0x21 || reg == 0x35;
        if (answers)
            w.ecu->feed(answer);
        else
            test->Timer1_Timer();
    }
    test->btnUpdate_Click();
    shoot(settings, out, QStringLiteral("frmSettings-updated"));

    // The memory tools wait for the link while the self-diagnostics hold it.
    diag->close();
    w.settle();
    // A fast dump of 8000-87FF, two replies in.
    frmRomData* rom = w.form->open<frmRomData>();
    w.settle();
    rom->findChild<QLineEdit*>(QStringLiteral("txtStart"))->setText(QStringLiteral("8000"));
    rom->findChild<QLineEdit*>(QStringLiteral("txtEnd"))->setText(QStringLiteral("87FF"));
    rom->btnRead_Click();
    for (int i = 0; i < 2; ++i) {
        w.settle();
        w.ecu->feed(QByteArray::fromHex("0f") +
                    QByteArray::fromHex("ff080102030405060708").repeated(3));
    }
    w.settle();
    shoot(rom, out, QStringLiteral("frmRomData"));
    rom->close();
    w.settle();

    // The watch on engine speed and throttle after a few frames.
    frmAdrWatch* watch = w.form->open<frmAdrWatch>();
    w.settle();
    const char* addresses[] = {"F70C", "F70D", "F777"};
    for (int i = 0; i < 3; ++i)
        watch->findChild<QLineEdit*>(QStringLiteral("txtAddress%1").arg(i + 1))
            ->setText(QString::fromLatin1(addresses[i]));
    watch->btnStart_Click();
    w.settle();
    for (const char* frame :
         {"ff03004022ff03004022", "ff0301a0c8ff0301a0c8", "ff03007530ff03007530"})
        w.ecu->feed(QByteArray::fromHex(frame));
    shoot(watch, out, QStringLiteral("frmAdrWatch"));
    watch->close();
    w.settle();

    // The map trace: its set-up, then a saved map with the drive's logs over it.
    shootMapTrace(w, out);

    // An ECU finder that heard from id FE and was then cancelled.
    Form3* comms = w.form->open<Form3>();
    auto* finder = qobject_cast<frmECUfind*>(comms->btnECUfind_Click());
    QTimer::singleShot(150, [&] { w.ecu->feed(QByteArray(1, char(0x01))); });
    while (finder->sweep().current() == 0xFE)
        QApplication::processEvents();
    finder->btnCancel_Click();
    while (!finder->sweep().completed())
        QApplication::processEvents();
    shoot(finder, out, QStringLiteral("frmECUfind"));
    shootWideband(out);
    shootFromSim(out);
    shootMapTraceFromSim(out);
    return 0;
}
