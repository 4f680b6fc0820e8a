// The map trace and its set-up window on the main window's in-memory ECU port; an opened map
// with its coverage.
#include "support/fuel_drive.h"
#include "support/main_window.h"
#include "tools/frmMapTData.h"
#include "tools/frmMapTrace.h"
#include "tools/map_correction.h"
#include "tools/map_file.h"
#include "tools/memory_read.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
using Writes = QList<QByteArray>;

struct TraceWindow {
    MainWindow w;
    frmMapTrace* trace = nullptr;
    frmMapTData* setup = nullptr;

    explicit TraceWindow(const std::function<void(SettingsStore&)>& before = {},
                         bool connected = true)
        : w(before) {
        if (connected) w.connectEcu();
        w.find<QPushButton>("btnMapTrace")->click();
        w.settle();
        trace = w.form->findChild<frmMapTrace*>();
        setup = w.form->findChild<frmMapTData*>();
        w.ecu->writes.clear();
    }
    QLabel* cell(int i) { return trace->findChild<QLabel*>(QStringLiteral("lblMapCell%1").arg(i)); }
    QString text(const char* name) { return trace->findChild<QLabel*>(name)->text(); }
    QColor colour(int i) { return cell(i)->palette().color(QPalette::Window); }
    // The ECU's answer to a stream start: the acknowledgement, then the frame over and over.
    void stream(const QByteArray& frame, int times) {
        w.ecu->feed(hex("0f") + frame.repeated(times));
        w.settle();
    }
};

// The bytes the simulated map would hold: scales in steps, cell n holding n.
uint8_t byteFor(int cell) {
    if (cell <= 16) return uint8_t(10 * cell);
    if (cell <= 32) return uint8_t(22 + 13 * (cell - 17));
    return uint8_t(cell - 33);
}
} // namespace

TEST(MapTraceWindow, ReadsTheGridByteByByteThenTracesWithATrail) {
    TraceWindow t;
    ASSERT_TRUE(t.trace && t.setup);
    EXPECT_EQ(t.trace->windowTitle(), "Map Tracing");
    EXPECT_EQ(t.setup->windowTitle(), "Map Tracing Data");
    EXPECT_TRUE(t.setup->isVisible());
    EXPECT_EQ(t.setup->findChild<QLineEdit*>("txtMap")->text(), "7400");

    // A preset fills the boxes; a blank is refused with its box's message and saves nothing.
    t.setup->cmbECUmap_Click(0);
    EXPECT_EQ(t.setup->findChild<QLineEdit*>("txtRPMScale")->text(), "7B20");
    t.setup->findChild<QLineEdit*>("txtMap")->setText("78 0");
    t.setup->btnOK_Click();
    EXPECT_EQ(t.w.dialogs.messages, QStringList{"Invalid Map Address"});
    EXPECT_EQ(t.w.dialogs.messageKinds.back(), MessageKind::Warning);
    EXPECT_EQ(t.w.store->read("MapTrace", "RPMscaleAddress"), "7B00");
    EXPECT_TRUE(t.w.ecu->writes.isEmpty());

    t.setup->cmbECUmap_Click(1);
    t.setup->findChild<QPushButton*>("btnOK")->click();
    t.w.settle();
    EXPECT_EQ(t.w.form->findChild<frmMapTData*>(), nullptr);
    EXPECT_EQ(t.w.store->read("MapTrace", "RPMscaleAddress"), "7B00");
    EXPECT_EQ(t.w.form->link().readMode(), ReceiveMode::MapRead);
    for (int cell = 1; cell <= 288; ++cell) {
        const uint16_t address = cell <= 16   ? uint16_t(0x7B00 + cell - 1)
                                 : cell <= 32 ? uint16_t(0x7AF0 + cell - 17)
                                              : uint16_t(0x7400 + cell - 33);
        // The address asked for two and three times by turns.
        const int times = cell % 2 ? 2 : 3;
        ASSERT_EQ(t.w.ecu->writes,
                  (Writes{hex("ffffef"), memoryRead(0xC9, address).repeated(times), hex("f0")}))
            << cell;
        EXPECT_EQ(t.w.ecu->threshold(), 2 * times + 7);
        t.w.ecu->writes.clear();
        const QByteArray reply =
            QByteArray("\xFF", 1) + char(times) + QByteArray(times, char(byteFor(cell)));
        t.w.ecu->feed(hex("0f") + reply.repeated(3));
        // More of the same stream during the stop's pause: not the next byte's reply.
        if (cell == 1) t.w.ecu->feed(reply.repeated(2));
        t.w.settle();
        ASSERT_EQ(t.w.ecu->writes.value(0), hex("30")) << cell;
        t.w.ecu->writes.removeFirst();
    }
    EXPECT_EQ(t.w.ecu->writes, (Writes{hex("c9f70cc9f70dc9f777"), hex("f0")}));
    EXPECT_EQ(t.w.ecu->threshold(), 18);
    EXPECT_EQ(t.w.form->link().readMode(), ReceiveMode::MapTrace);
    EXPECT_EQ(t.cell(16)->text(), "8000");
    EXPECT_EQ(t.cell(288)->text(), "255");
    EXPECT_EQ(t.colour(33), QColor(255, 0, 0));
    EXPECT_EQ(t.colour(288), QColor(0, 0, 255));
    EXPECT_TRUE(t.trace->findChild<QPushButton*>("btnClear")->isEnabled());

    // 800 rpm in row 2, throttle 48 in column 3: one cell, light green, nothing yellow.
    const QColor green(0x80, 0xFF, 0x80), yellow(0xFF, 0xFF, 0x00);
    t.stream(hex("ff03004030"), 4);
    EXPECT_EQ(t.text("lblRPM"), "800");
    EXPECT_EQ(t.text("lblTP"), "48");
    // Its own read-out only: the shared live values are the data display's.
    EXPECT_EQ(t.w.form->state().live.gaugeValue[0], 0.0f);
    EXPECT_EQ(t.colour(51), green);
    int yellowCells = 0;
    for (int c = 33; c <= 288; ++c)
        yellowCells += t.colour(c) == yellow;
    EXPECT_EQ(yellowCells, 0);
    EXPECT_FALSE(t.trace->findChild<QGroupBox*>("fraWBo2")->isEnabled());

    // Past both last headers: row 16, column 16; the cell left turns yellow. With the AFR
    // display in use the WBo2 read-out shows the ratio.
    t.w.find<QPushButton>("btnAFR")->setEnabled(true);
    t.w.form->state().live.wbValues[0] = 15.25f;
    t.stream(hex("ff030300ff"), 4);
    EXPECT_EQ(t.colour(288), green);
    EXPECT_EQ(t.colour(51), yellow);
    EXPECT_TRUE(t.trace->findChild<QGroupBox*>("fraWBo2")->isEnabled());
    EXPECT_EQ(t.text("lblWBo2"), "15.25");
    EXPECT_EQ(t.trace->findChild<QLabel*>("lblWBo2")->palette().color(QPalette::Window),
              QColor(255, 0, 0));

    // Clear Trace: every cell in its map colour, the current one too until the engine moves.
    t.trace->findChild<QPushButton*>("btnClear")->click();
    EXPECT_EQ(t.colour(51), QColor(255 - 18, 0, 18));
    EXPECT_EQ(t.colour(288), QColor(0, 0, 255));
    t.stream(hex("ff030300ff"), 4);
    EXPECT_EQ(t.colour(288), QColor(0, 0, 255));

    t.w.ecu->writes.clear();
    t.trace->close();
    t.w.settle();
    EXPECT_EQ(t.w.form->link().readMode(), ReceiveMode::Identify);
    EXPECT_TRUE(t.w.ecu->writes.contains(hex("d0")));
}

TEST(MapTraceWindow, EscClosingFirstAndAPulledCable) {
    // A stored setting that cannot be used: nothing is read, and the window says which.
    const struct {
        const char* section;
        const char* key;
        const char* value;
        const char* said;
    } bads[] = {
        {"MapTrace", "RPMscaleAddress", "7BZ0",
         "RPM Scale Address \"7BZ0\" is not a hexadecimal address"},
        // The block would run past FFFF: not read from 0000 on as if it were the map.
        {"MapTrace", "RPMscaleAddress", "FFF8", "RPM Scale Address \"FFF8\" puts its block past"},
        {"Comms", "RomComm", "XY", "address read command \"XY\""},
    };
    for (const auto& b : bads) {
        SCOPED_TRACE(b.value);
        TraceWindow bad([&](SettingsStore& s) { s.save(b.section, b.key, b.value); });
        if (QByteArrayView(b.value) == "7BZ0") {
            // The set-up refuses the box it shows; Cancel then reads nothing.
            bad.setup->btnOK_Click();
            EXPECT_EQ(bad.w.dialogs.messages, QStringList{"Invalid RPM Scale Address"});
            bad.w.dialogs.messages.clear();
            bad.setup->findChild<QPushButton*>("btnCancel")->click();
            bad.w.settle();
            EXPECT_TRUE(bad.w.ecu->writes.isEmpty());
            EXPECT_TRUE(bad.text("lblStatus").startsWith("Set-up cancelled"));
            continue;
        }
        bad.setup->btnOK_Click();
        bad.w.settle();
        EXPECT_EQ(bad.w.form->findChild<frmMapTData*>(), nullptr);
        EXPECT_TRUE(bad.w.ecu->writes.isEmpty());
        EXPECT_TRUE(bad.text("lblStatus").contains(b.said)) << bad.text("lblStatus").toStdString();
        EXPECT_TRUE(bad.w.dialogs.messages.isEmpty());
    }

    // Closing the trace window while the set-up is open: no reading, the link back to mode 1.
    TraceWindow early;
    early.trace->close();
    early.w.settle();
    EXPECT_EQ(early.w.form->findChild<frmMapTData*>(), nullptr);
    for (const QByteArray& write : early.w.ecu->writes)
        EXPECT_NE(write, hex("ffffef"));
    EXPECT_EQ(early.w.form->link().readMode(), ReceiveMode::Identify);

    // A pulled cable stops the reading and says why; with the ECU back, the byte that was
    // asked for is asked again.
    TraceWindow lost;
    lost.setup->btnOK_Click();
    lost.w.settle();
    lost.stream(hex("ff020a0a"), 3);
    lost.w.ecu->disconnectNow();
    EXPECT_FALSE(lost.trace->reading());
    EXPECT_TRUE(lost.text("lblStatus").contains("lost")) << lost.text("lblStatus").toStdString();
    EXPECT_TRUE(lost.w.dialogs.messages.isEmpty());
    lost.w.ecu->writes.clear();
    lost.w.connectEcu();
    lost.w.settle();
    EXPECT_TRUE(lost.trace->reading());
    EXPECT_TRUE(lost.text("lblStatus").isEmpty());
    EXPECT_EQ(lost.w.ecu->writes.mid(lost.w.ecu->writes.size() - 3),
              (Writes{hex("ffffef"), memoryRead(0xC9, 0x7B01).repeated(3), hex("f0")}));
    EXPECT_EQ(lost.cell(1)->text(), "500");
}

TEST(MapTraceWindow, AnOpenedMapTracesWithoutReadingAndCountsCoverageLiveAndFromLogs) {
    TraceWindow t({}, false); // opened with no ECU: a saved map is all it needs
    EXPECT_TRUE(t.text("lblStatus").startsWith("No ECU is connected"));
    EngineMap map;
    for (int i = 0; i < 16; ++i) {
        map.scales.rpm[size_t(i)] = 500 * (i + 1);
        map.scales.tp[size_t(i)] = 20 + 10 * i;
    }
    for (int i = 0; i < 256; ++i)
        map.values[size_t(i)] = uint8_t(i);
    const QString mapPath = t.w.dir.filePath("map.csv");
    ASSERT_FALSE(writeUserText(mapPath, mapFileText(map), ExistingFile::Refuse));
    const auto click = [&](const char* name) {
        t.trace->findChild<QPushButton*>(name)->click();
        t.w.settle();
    };

    // Opened while the set-up is open: the grid shows it.
    EXPECT_FALSE(t.trace->findChild<QPushButton*>("btnSaveMap")->isEnabled());
    t.w.dialogs.fileAnswers = {mapPath};
    click("btnOpenMap");
    EXPECT_EQ(t.cell(16)->text(), "8000");
    EXPECT_EQ(t.cell(32)->text(), "170");
    EXPECT_EQ(t.colour(288), QColor(0, 0, 255));
    EXPECT_TRUE(t.trace->findChild<QPushButton*>("btnSaveMap")->isEnabled());

    // The set-up is done and the ECU answers: nothing is read, the trace starts at once.
    t.setup->btnOK_Click();
    t.w.settle();
    EXPECT_TRUE(t.w.ecu->writes.isEmpty());
    t.w.form->btnConnect_Click();
    t.w.settle();
    t.w.ecu->writes.clear();
    t.w.ecu->feed(idFrame("1U800"));
    t.w.settle();
    EXPECT_FALSE(t.w.ecu->writes.contains(hex("ffffef")));
    EXPECT_EQ(t.w.ecu->writes.mid(t.w.ecu->writes.size() - 2),
              (Writes{hex("c9f70cc9f70dc9f777"), hex("f0")}));
    ASSERT_TRUE(t.trace->tracing());

    // 800 rpm, throttle 48: row 2, column 4. Then past both ends with the wideband in use.
    t.stream(hex("ff03004030"), 4);
    const uint64_t first = t.trace->coverage().cell(16 + 3).hits;
    // The fourth frame is never confirmed, and the third waits for the next (spikes).
    EXPECT_EQ(first, 2u);
    EXPECT_EQ(t.colour(52), QColor(0x80, 0xFF, 0x80));
    t.w.find<QPushButton>("btnAFR")->setEnabled(true);
    t.w.form->host().state.live.wbValues[0] = 15.25f;
    t.stream(hex("ff030300ff"), 4);
    EXPECT_EQ(t.trace->coverage().cell(16 + 3).hits, 3u);
    EXPECT_EQ(t.trace->coverage().cell(255).afrCount, 2u);
    // The frame that came before the wideband was in use counts without a ratio.
    EXPECT_EQ(t.trace->coverage().cell(16 + 3).afrCount, 0u);

    // A log adds its records by the same rule; one without a throttle is skipped and said.
    const QString logPath = t.w.dir.filePath("drive.log");
    ASSERT_FALSE(writeUserText(logPath,
                               "Time, RPM, Throttle, WBo2\r\n000.100, 800, 0.96, 13.5\r\n"
                               "000.200, 800, 0.96, 12.5\r\n000.300, 800, , 14\r\n",
                               ExistingFile::Refuse));
    t.w.dialogs.fileAnswers = {logPath};
    click("btnAddLogs");
    ASSERT_TRUE(waitUntil([&] { return !t.trace->addingLogs(); }, 10000));
    EXPECT_EQ(t.trace->coverage().cell(16 + 3).hits, 5u);
    EXPECT_DOUBLE_EQ(*t.trace->coverage().cell(16 + 3).meanAfr(), 13.0);
    EXPECT_TRUE(t.text("lblCoverage").contains("1 log: 2 records added, 1 skipped"))
        << t.text("lblCoverage").toStdString();

    // The views: hits, then the mean ratio, with their scale said in words. One threshold
    // makes a figure faint and a suggestion untrusted: the correction's minimum.
    t.trace->findChild<QSpinBox*>("spnMinHits")->setValue(5);
    t.trace->findChild<QRadioButton*>("optHits")->click();
    EXPECT_EQ(t.cell(52)->text(), "5"); // row 2, column 4
    EXPECT_EQ(t.cell(288)->text(), "2");
    EXPECT_EQ(t.cell(288)->lineWidth(), 3); // the engine's cell, its colour kept
    EXPECT_EQ(t.cell(33)->text(), "");
    // Only one cell has enough hits to trust: one level, the faint cell outside it.
    EXPECT_TRUE(t.text("lblScale").startsWith("Hits: green at 5 (one level)."))
        << t.text("lblScale").toStdString();
    t.trace->findChild<QRadioButton*>("optWBo2")->click();
    EXPECT_EQ(t.cell(36)->text(), "");      // row 1, column 4: no hits
    EXPECT_EQ(t.cell(52)->text(), "13.0");  // the log's two ratios
    EXPECT_EQ(t.cell(288)->text(), "15.2"); // 15.25 to one decimal, halves to even
    EXPECT_TRUE(t.cell(288)->toolTip().contains("2 hits; WBo2 mean 15.25 from 2"))
        << t.cell(288)->toolTip().toStdString();

    // Export and save: the files hold what the logic gives; an existing file is asked about.
    const QString exported = t.w.dir.filePath("coverage.csv");
    const QString saved = t.w.dir.filePath("again.csv");
    t.w.dialogs.fileAnswers = {exported, saved, mapPath};
    click("btnExportCoverage");
    EXPECT_EQ(fileBytes(exported), coverageExportText(map.scales, t.trace->coverage()));
    click("btnSaveMap");
    EXPECT_EQ(readMapFile(saved).map, map);
    const QByteArray before = fileBytes(mapPath);
    click("btnSaveMap"); // over the opened file: the answer is no
    EXPECT_EQ(t.w.dialogs.questions.size(), 1);
    EXPECT_EQ(fileBytes(mapPath), before);

    click("btnClear");
    EXPECT_EQ(t.trace->coverage().hits(), 0u);
    EXPECT_EQ(t.cell(52)->text(), "");
    t.trace->findChild<QRadioButton*>("optMap")->click();
    EXPECT_EQ(t.cell(52)->text(), "19");

    // The wideband controller handshakes again: the ratio it sent last is no reading.
    t.w.store->save("WBO2", "ComPort", "2");
    t.w.find<QPushButton>("btnConnect2")->click();
    t.stream(hex("ff030300ff"), 4);
    EXPECT_EQ(t.trace->coverage().cell(255).hits, 3u);
    // Only the frame that came before the handshake has a ratio: the one it came with.
    EXPECT_EQ(t.trace->coverage().cell(255).afrCount, 1u);
    // 800 rpm for one frame between frames at the top corner: a spike, never counted.
    const uint64_t low = t.trace->coverage().cell(16 + 3).hits;
    t.w.ecu->feed(hex("ff03004030") + hex("ff030300ff").repeated(3));
    EXPECT_EQ(t.trace->coverage().cell(16 + 3).hits, low);
    EXPECT_GT(t.trace->coverage().cell(255).hits, 3u);

    // Opened while the ECU's bytes are being read: the reading ends, the trace starts.
    TraceWindow r;
    r.setup->btnOK_Click();
    r.w.settle();
    ASSERT_TRUE(r.trace->reading());
    r.w.ecu->writes.clear();
    r.w.dialogs.fileAnswers = {mapPath};
    r.trace->findChild<QPushButton*>("btnOpenMap")->click();
    r.w.settle();
    EXPECT_TRUE(r.trace->tracing());
    EXPECT_EQ(r.w.ecu->writes, (Writes{hex("30"), hex("c9f70cc9f70dc9f777"), hex("f0")}));
    EXPECT_EQ(r.cell(1)->text(), "500");
}

// The correction panel: a target opened and saved, filters switched with their counts, the
// suggested map saved; none of it for a timing map.
TEST(MapTraceWindow, FuelCorrectionTargetsFiltersAndSuggestedMapNotForTimingMaps) {
    const auto stored = [](int preset) {
        return [preset](SettingsStore& s) {
            for (int f = 0; f < MapFieldCount; ++f)
                s.save("MapTrace", mapSettingKey(MapField(f)),
                       mapPresets()[size_t(preset)].addresses[size_t(f)]);
        };
    };
    const EngineMap map = simulatedFuelMap();
    TraceWindow t(stored(1), false); // RB25DET fuel
    const QString mapPath = t.w.dir.filePath("map.csv"), log = t.w.dir.filePath("drive.log"),
                  targetPath = t.w.dir.filePath("target.csv");
    ASSERT_FALSE(writeUserText(mapPath, mapFileText(map), ExistingFile::Refuse));
    ASSERT_TRUE(writeFuelDrive(log, {12, 40000, 86, 2}));
    TargetTable target = defaultTarget(map.scales);
    target.hundredths.fill(1400);
    ASSERT_FALSE(writeUserText(targetPath, targetFileText(target), ExistingFile::Refuse));
    const auto click = [&](const char* name) {
        t.trace->findChild<QAbstractButton*>(name)->click();
        t.w.settle();
    };
    t.w.dialogs.fileAnswers = {mapPath, targetPath, log};
    click("btnOpenMap");
    t.setup->btnOK_Click();
    click("btnOpenTarget");
    EXPECT_EQ(t.text("lblTarget"), "Target: target.csv");
    click("btnAddLogs");
    ASSERT_TRUE(waitUntil([&] { return !t.trace->addingLogs(); }, 20000));
    t.w.settle();
    EXPECT_TRUE(t.text("lblFilterCounts").contains(", throttle steps "));
    click("chkThrottle");
    EXPECT_TRUE(t.text("lblFilterCounts").contains(", throttle steps (off),"));
    click("optTarget");
    EXPECT_EQ(t.cell(33)->text(), "14.0");
    click("optSuggested");
    ASSERT_TRUE(t.trace->correction());
    const FuelCorrection& c = *t.trace->correction();
    int faint = 0;
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(t.cell(33 + i)->text().toInt(), c.suggested.values[size_t(i)]);
        faint += t.cell(33 + i)->accessibleDescription().contains("keeps the map value");
    }
    EXPECT_GT(faint, 0);
    EXPECT_LT(faint, 200);

    const QString savedTarget = t.w.dir.filePath("t2.csv"), saved = t.w.dir.filePath("s.csv");
    t.w.dialogs.fileAnswers = {savedTarget, saved};
    click("btnSaveTarget");
    click("btnSaveSuggested");
    EXPECT_EQ(readTargetFile(savedTarget).target, target);
    EXPECT_EQ(readMapFile(saved).map, c.suggested);

    // In the Difference view a click locks a changed cell: it keeps the map's value and says
    // so; Space on the cell the arrows reach does the same; the locks go with the target.
    click("optDifference");
    int moved = 0;
    while (moved < 255 && c.suggested.values[size_t(moved)] == map.values[size_t(moved)])
        ++moved;
    ASSERT_LT(moved, 255);
    EXPECT_EQ(t.cell(33 + moved)->text().toInt(),
              c.suggested.values[size_t(moved)] - map.values[size_t(moved)]);
    QTest::mouseClick(t.cell(33 + moved), Qt::LeftButton);
    t.w.settle();
    EXPECT_EQ(t.trace->correction()->cells[size_t(moved)].trust, CellTrust::Locked);
    EXPECT_EQ(t.cell(33 + moved)->text(), "0");
    EXPECT_TRUE(t.cell(33 + moved)->accessibleDescription().endsWith("keeps the map value: locked"))
        << t.cell(33 + moved)->accessibleDescription().toStdString();
    QTest::keyClick(t.cell(33), Qt::Key_Right);
    QTest::keyClick(t.cell(34), Qt::Key_Space);
    t.w.settle();
    EXPECT_EQ(t.trace->correction()->cells[1].trust, CellTrust::Locked);
    const QString lockedTarget = t.w.dir.filePath("t3.csv");
    t.w.dialogs.fileAnswers = {lockedTarget};
    click("btnSaveTarget");
    const auto withLocks = readTargetFile(lockedTarget).target;
    ASSERT_TRUE(withLocks);
    EXPECT_EQ(withLocks->locked.count(), 2u);
    EXPECT_TRUE(withLocks->locked.test(size_t(moved)) && withLocks->locked.test(1));
    // The same map opened from a file named for a timing map: its values again, whatever the
    // stored addresses are.
    const QString timingPath = t.w.dir.filePath("timing map.csv");
    ASSERT_FALSE(writeUserText(timingPath, mapFileText(map), ExistingFile::Refuse));
    t.w.dialogs.fileAnswers = {timingPath};
    click("btnOpenMap");
    EXPECT_TRUE(t.trace->findChild<QRadioButton*>("optMap")->isChecked());
    EXPECT_EQ(t.cell(33 + 17)->text(), QString::number(map.values[17]));

    TraceWindow timing(stored(0), false); // RB25DET timing
    timing.w.dialogs.fileAnswers = {timingPath};
    timing.trace->findChild<QPushButton*>("btnOpenMap")->click();
    timing.w.settle();
    EXPECT_FALSE(timing.trace->correction());
    EXPECT_FALSE(timing.trace->findChild<QRadioButton*>("optSuggested")->isEnabled());
    EXPECT_FALSE(timing.trace->findChild<QPushButton*>("btnSaveSuggested")->isEnabled());
    EXPECT_TRUE(timing.text("lblCorrectionNote").contains("timing map"));
}

// A 1366 x 768 laptop with a 40 px taskbar holds the whole window; Esc on the set-up cancels:
// nothing saved, nothing read, and Set Up... brings it back.
TEST(MapTraceWindow, FitsALaptopScreenAndEscOnTheSetUpCancels) {
    TraceWindow t;
    t.trace->show();
    t.w.settle();
    const QSize fits(1366, 768 - 40);
    for (const QSize& s : {t.trace->minimumSizeHint(), t.trace->sizeHint()})
        EXPECT_TRUE(s.width() <= fits.width() && s.height() <= fits.height())
            << s.width() << " x " << s.height();
    t.trace->resize(t.trace->sizeHint());
    t.w.settle();
    for (const char* name : {"lblMapCell288", "fraCorrection", "lblStatus", "btnSaveSuggested"}) {
        const auto* widget = t.trace->findChild<QWidget*>(name);
        const QRect in(widget->mapTo(t.trace, QPoint(0, 0)), widget->size());
        EXPECT_TRUE(t.trace->rect().contains(in)) << name;
    }

    const QString stored = t.w.store->read("MapTrace", "MapAddress");
    t.setup->findChild<QLineEdit*>("txtMap")->setText("1234");
    QTest::keyClick(t.setup, Qt::Key_Escape);
    t.w.settle();
    EXPECT_EQ(t.w.form->findChild<frmMapTData*>(), nullptr);
    EXPECT_EQ(t.w.store->read("MapTrace", "MapAddress"), stored);
    EXPECT_TRUE(t.w.ecu->writes.isEmpty());
    EXPECT_FALSE(t.trace->reading());
    EXPECT_TRUE(t.text("lblStatus").startsWith("Set-up cancelled"));
    auto* again = t.trace->findChild<QPushButton*>("btnSetup");
    ASSERT_TRUE(again->isEnabled());
    again->click();
    t.w.settle();
    auto* setup = t.w.form->findChild<frmMapTData*>();
    ASSERT_NE(setup, nullptr);
    EXPECT_FALSE(again->isEnabled());
    setup->btnOK_Click();
    t.w.settle();
    EXPECT_TRUE(t.trace->reading());
    EXPECT_FALSE(again->isEnabled());
}
