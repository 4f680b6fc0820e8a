// The map trace against the simulated ECU over a pty: the grid holds the simulator's scales
// and map, and the marked cell follows its engine. With a saved map and the simulated
// wideband: the coverage of a traced drive.
#include "support/fuel_drive.h"
#include "support/sim_window.h"
#include "tools/frmMapTData.h"
#include "tools/frmMapTrace.h"
#include "tools/map_file.h"
#include "wideband.h"
#include "wideband/wideband.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
// The grid place (row, column, 1 to 16) of a reading, found the plain way: the first header at
// least the value, else the last.
int place(const std::array<int, 16>& headers, int value) {
    int i = 0;
    while (i < 15 && headers[size_t(i)] < value)
        ++i;
    return i + 1;
}
} // namespace

TEST(MapTraceE2E, GridHoldsTheSimulatorsMapAndTheMarkFollowsItsEngine) {
    auto o = quietSim();
    o.timeScale = 4; // the engine revs within a few seconds
    // The reading's own pauses stay; the line itself is faster, so the 288 reads take less.
    o.baud = 115200;
    SimMainWindow k(o, [](SettingsStore& s) { s.save("Comms", "Speed", "115200"); });
    ASSERT_TRUE(k.connectEcu());
    frmMapTrace* win = k.form().open<frmMapTrace>();
    k.settle();
    ASSERT_NE(win->setup(), nullptr);
    win->setup()->findChild<QPushButton*>("btnOK")->click(); // the stored RB25DET fuel map
    ASSERT_TRUE(waitUntil([&] { return win->tracing(); }, 60000));
    const float sharedRpm = k.form().state().live.gaugeValue[0];

    const auto cell = [&](int i) {
        return win->findChild<QLabel*>(QStringLiteral("lblMapCell%1").arg(i));
    };
    const kxsim::Bytes rpmScale = k.sim.memory(0x7B00, 16);
    const kxsim::Bytes tpScale = k.sim.memory(0x7AF0, 16);
    const kxsim::Bytes map = k.sim.memory(0x7400, 256);
    std::array<int, 16> rpmHeaders{}, tpHeaders{};
    for (int i = 0; i < 16; ++i) {
        rpmHeaders[size_t(i)] = 50 * rpmScale[size_t(i)];
        tpHeaders[size_t(i)] = tpScale[size_t(i)];
        EXPECT_EQ(cell(1 + i)->text().toInt(), rpmHeaders[size_t(i)]) << i;
        EXPECT_EQ(cell(17 + i)->text().toInt(), tpHeaders[size_t(i)]) << i;
    }
    // Every read against the window's in-memory port is pinned by the window test; here a
    // row of the map over the real line, and the corners.
    for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 255})
        EXPECT_EQ(cell(33 + n)->text().toInt(), map[size_t(n)]) << n;

    // Each look: the marked cell is the one of the speed and throttle shown, and the speed
    // shown is the simulator's of a moment ago. Looks go on until the trace has wandered.
    ASSERT_TRUE(
        waitUntil([&] { return !win->findChild<QLabel*>("lblRPM")->text().isEmpty(); }, 5000));
    const QColor current(0x80, 0xFF, 0x80);
    QSet<int> visited;
    QElapsedTimer clock;
    clock.start();
    for (int look = 0; look < 10 || (visited.size() < 3 && clock.elapsed() < 60000); ++look) {
        const double before = k.sim.engineState().rpm;
        waitUntil([] { return false; }, 40);
        const int rpm = win->findChild<QLabel*>("lblRPM")->text().toInt();
        const int tp = win->findChild<QLabel*>("lblTP")->text().toInt();
        const double after = k.sim.engineState().rpm;
        EXPECT_GE(rpm, std::min(before, after) - 400) << look;
        EXPECT_LE(rpm, std::max(before, after) + 400) << look;
        // Cell labels run 33 to 288, row by row of 16.
        const int marked = 16 + 16 * place(rpmHeaders, rpm) + place(tpHeaders, tp);
        EXPECT_EQ(cell(marked)->palette().color(QPalette::Window), current) << look;
        visited.insert(marked);
    }
    EXPECT_GE(visited.size(), 3); // the trace wanders as the engine revs
    // The shared live values are the data display's: the trace leaves them as it found them.
    EXPECT_EQ(k.form().state().live.gaugeValue[0], sharedRpm);

    win->close();
    k.settle();
    ASSERT_TRUE(waitUntil([&] { return k.partNumber() == "1U800"; }, 5000));
}

TEST(MapTraceE2E, ACoverageTracedWithTheWidebandAddsUpToTheFramesTraced) {
    SimWidebandWindow k;
    auto& [ecu, controller, window] = k;
    MainWindow& w = *window;
    w.form->btnConnect_Click();
    w.find<QPushButton>("btnConnect2")->click();
    ASSERT_TRUE(waitUntil(
        [&] {
            return w.form->link().state() == EcuLink::State::Connected &&
                   w.form->afrDisplayEnabled();
        },
        5000));

    // The simulator's map, saved once and opened: the trace starts without reading the ECU.
    EngineMap map;
    const kxsim::Bytes rpm = ecu.memory(0x7B00, 16), tp = ecu.memory(0x7AF0, 16);
    const kxsim::Bytes values = ecu.memory(0x7400, 256);
    for (size_t i = 0; i < 16; ++i) {
        map.scales.rpm[i] = 50 * rpm[i];
        map.scales.tp[i] = tp[i];
    }
    std::copy(values.begin(), values.end(), map.values.begin());
    const QString mapPath = w.dir.filePath("map.csv");
    ASSERT_FALSE(writeUserText(mapPath, mapFileText(map), ExistingFile::Refuse));
    frmMapTrace* win = w.form->open<frmMapTrace>();
    w.settle();
    w.dialogs.fileAnswers = {mapPath};
    win->findChild<QPushButton*>("btnOpenMap")->click();
    win->setup()->findChild<QPushButton*>("btnOK")->click(); // the set-up done: trace
    ASSERT_TRUE(waitUntil([&] { return win->coverage().hits() > 0; }, 5000));

    // Every frame the ECU sends from here counts once; a delivery or so is on the way at
    // either end (about four frames each).
    const uint64_t hits0 = win->coverage().hits(), sent0 = ecu.framesSent();
    waitUntil([] { return false; }, 3000);
    const uint64_t hits = win->coverage().hits() - hits0, sent = ecu.framesSent() - sent0;
    EXPECT_GT(sent, 300u);
    EXPECT_LE(std::max(hits, sent) - std::min(hits, sent), 8u) << hits << " of " << sent;
    // The wideband streamed throughout: every hit has its ratio.
    EXPECT_EQ(win->coverage().afrHits(), win->coverage().hits());

    // Every ratio counted is one the controller sent; the exported hits add up.
    float lowest = 100, highest = 0;
    for (uint16_t raw : controller.sentRaws()) {
        lowest = std::min(lowest, wb::afrFromRaw(raw));
        highest = std::max(highest, wb::afrFromRaw(raw));
    }
    for (int i = 0; i < 256; ++i) {
        const CoverageCell& c = win->coverage().cell(i);
        if (c.afrCount == 0) continue;
        EXPECT_GE(c.afrMin, lowest) << i;
        EXPECT_LE(c.afrMax, highest) << i;
    }
    const QString exported = w.dir.filePath("coverage.csv");
    w.dialogs.fileAnswers = {exported};
    win->findChild<QPushButton*>("btnExportCoverage")->click();
    const QList<QByteArray> lines = fileBytes(exported).split('\n');
    ASSERT_GE(lines.size(), 18);
    uint64_t total = 0;
    for (int row = 2; row < 18; ++row)
        for (const QByteArray& hits : lines[row].trimmed().split(',').mid(1))
            total += hits.toULongLong();
    EXPECT_EQ(total, win->coverage().hits());

    // A silent wideband: frames still count, without a ratio.
    controller.setSilent(true);
    ASSERT_TRUE(waitUntil([&] { return !w.form->afrDisplayEnabled(); }, 10000));
    const uint64_t ratios = win->coverage().afrHits(), before = win->coverage().hits();
    waitUntil([] { return false; }, 1000);
    EXPECT_GT(win->coverage().hits(), before + 50);
    // At most the frame held when it fell silent, which came with a ratio.
    EXPECT_LE(win->coverage().afrHits(), ratios + 1);
    win->close();
    w.settle();
}

// A fuel map off by a planted pattern: traced live and with a drive's log added, the suggested
// map saved is within one count of the map that removes the error wherever it is trusted, and
// the map's own value elsewhere, each such cell saying why.
TEST(MapTraceE2E, ASuggestedMapRemovesThePlantedFuelError) {
    const MapPreset& fuel = mapPresets()[1]; // the simulator's map at 7400
    // Warm: the trace reads no water temperature to keep a cold engine's hits out by.
    kxsim::SimOptions warm = quietSim();
    warm.coolantStartC = 86;
    SimWidebandWindow k(
        0,
        [&](SettingsStore& s) {
            for (int f = 0; f < MapFieldCount; ++f)
                s.save("MapTrace", mapSettingKey(MapField(f)), fuel.addresses[size_t(f)]);
        },
        12, warm);
    MainWindow& w = *k.w;
    w.form->btnConnect_Click();
    w.find<QPushButton>("btnConnect2")->click();
    ASSERT_TRUE(waitUntil(
        [&] {
            return w.form->link().state() == EcuLink::State::Connected &&
                   w.form->afrDisplayEnabled();
        },
        5000));
    const EngineMap map = test::simulatedFuelMap();
    ASSERT_EQ(kxsim::Bytes(map.values.begin(), map.values.end()), k.ecu.memory(0x7400, 256));
    const QString mapPath = w.dir.filePath("map.csv"), log = w.dir.filePath("drive.log");
    ASSERT_FALSE(writeUserText(mapPath, mapFileText(map), ExistingFile::Refuse));
    ASSERT_TRUE(test::writeFuelDrive(log, {12, 100000, 20, 3}));
    frmMapTrace* win = w.form->open<frmMapTrace>();
    w.settle();
    w.dialogs.fileAnswers = {mapPath, log};
    win->findChild<QPushButton*>("btnOpenMap")->click();
    win->setup()->findChild<QPushButton*>("btnOK")->click(); // the set-up done: trace
    ASSERT_TRUE(waitUntil([&] { return win->coverage().afrHits() > 300; }, 10000));
    win->findChild<QPushButton*>("btnAddLogs")->click();
    ASSERT_TRUE(waitUntil([&] { return !win->addingLogs(); }, 30000));

    win->findChild<QRadioButton*>("optSuggested")->click();
    const QString saved = w.dir.filePath("suggested.csv");
    w.dialogs.fileAnswers = {saved};
    win->findChild<QPushButton*>("btnSaveSuggested")->click();
    const MapFileRead back = readMapFile(saved);
    ASSERT_TRUE(back.map) << back.error.toStdString();
    ASSERT_TRUE(win->correction());
    // The trace goes on meanwhile: the window's correction may be a refresh behind the file.
    int trusted = 0, changed = 0;
    for (int i = 0; i < 256; ++i) {
        const CellCorrection& c = win->correction()->cells[size_t(i)];
        const int value = map.values[size_t(i)], s = back.map->values[size_t(i)];
        const double e = kxsim::plantedFuelError(12, i / 16, i % 16);
        const int off = std::abs(s - int(std::lround(value * (1 + e))));
        if (s != value) ++changed;
        if (s != value || c.trust == CellTrust::Trusted) {
            EXPECT_LE(off, 1) << i << ": " << s << " from " << value;
        }
        trusted += c.trust == CellTrust::Trusted;
        const QString said = win->findChild<QLabel*>(QStringLiteral("lblMapCell%1").arg(33 + i))
                                 ->accessibleDescription();
        EXPECT_EQ(said.contains("keeps the map value: "), c.trust != CellTrust::Trusted)
            << said.toStdString();
    }
    EXPECT_GE(changed, 80);
    std::printf("[ figures  ] %d cells trusted, %d changed, each within one count\n", trusted,
                changed);
    EXPECT_GE(trusted, 100);
    win->close();
    w.settle();
}
