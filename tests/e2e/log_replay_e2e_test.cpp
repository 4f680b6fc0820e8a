// Logging the simulated ECU through the data display, replaying the file, and a logger killed
// in the middle of a recording.
#include "live/Form1.h"
#include "live/GaugeGrid.h"
#include "logs/frmDataLog.h"
#include "logs/frmDataReplay.h"
#include "logs/log_reader.h"
#include "support/sim_window.h"

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
// Every line ends in CR LF and has the header's number of fields; returns the record lines.
QList<QByteArray> checkedRecords(const QByteArray& bytes) {
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast(); // after the final LF
    for (QByteArray& line : lines) {
        EXPECT_TRUE(line.endsWith('\r')) << line.toStdString();
        line.chop(1);
    }
    if (lines.isEmpty()) return {};
    const qsizetype fields = lines[0].count(", ") + 1;
    for (const QByteArray& line : lines)
        EXPECT_EQ(line.count(", ") + 1, fields) << line.toStdString();
    return lines.mid(1);
}
} // namespace

TEST(LogReplayE2E, TenSecondsLoggedFromTheDisplayPlayBackOnTheDials) {
    SimMainWindow k;
    ASSERT_TRUE(k.connectEcu());
    QPointer<Form1> display = k.form().open<Form1>();
    k.settle();
    ASSERT_TRUE(display);
    display->btnDataLog()->click();
    ASSERT_EQ(k.form().link().readMode(), ReceiveMode::LiveData);
    auto* log = k.form().findChild<frmDataLog*>();
    ASSERT_NE(log, nullptr);
    log->findChild<QLineEdit*>("txtPath")->setText("drive.log");
    // Wait for the engine to run so the values move.
    ASSERT_TRUE(waitUntil([&] { return k.form().state().live.gaugeValue[0] > 500.0f; }, 10000));

    const uint64_t framesBefore = k.sim.framesSent();
    log->findChild<QPushButton*>("btnStart")->click();
    ASSERT_TRUE(log->isLogging());
    waitUntil([] { return false; }, 10000);
    log->findChild<QPushButton*>("btnStop")->click();
    const uint64_t frames = k.sim.framesSent() - framesBefore;

    const QString path = k.w->dir.filePath("drive.log");
    const QByteArray bytes = fileBytes(path);
    EXPECT_TRUE(bytes.startsWith("Time, RPM, Air Flow, Water Temp C, O2 Sensor, Speed kph, "
                                 "Battery, Throttle, Injector, Timing, AAC, A/F Base, Duty Cycle, "
                                 "Closed TPS, Power Steering, Air Con sw, Start Signal, Neutral, "
                                 "Air Con rly, Fuel Pump, Thermo Fan, VCT, Waste Gate sol, "
                                 "A/F ratio, EGR sol\r\n"));
    const QList<QByteArray> records = checkedRecords(bytes);
    // One record per receive event; an event gathers a frame or two, more on a busy machine.
    EXPECT_GE(records.size(), qsizetype(frames / 8));
    EXPECT_LE(records.size(), qsizetype(frames + 2));
    ASSERT_GT(records.size(), 20);
    // Time stamps run from START for the ten seconds.
    EXPECT_GE(records.last().left(7).toDouble(), 9.0);
    EXPECT_LE(records.first().left(7).toDouble(), 1.0);

    // The replay shows the logged values on the dials, record by record.
    frmDataReplay* replay = k.form().open<frmDataReplay>();
    k.w->dialogs.fileAnswers.push_back(path);
    replay->btnBrowse_Click();
    ASSERT_TRUE(waitUntil([&] { return !replay->isLoading(); }, 10000));
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());
    ASSERT_EQ(replay->records(), records.size());
    const LogReadResult read = LogReader::readFile(path);
    ASSERT_TRUE(read.ok());
    const std::vector<int> gauges = read.data.gaugeColumns();
    ASSERT_EQ(gauges.size(), 12u);
    auto* slider = replay->findChild<QScrollBar*>("scrollBar1");
    bool rpmMoved = false;
    QString firstRpm;
    for (int r : {int(records.size()) / 2, 2, int(records.size())}) {
        slider->setValue(r);
        ASSERT_EQ(replay->currentRecord(), r);
        for (int slot = 0; slot < 12; ++slot) {
            const LogColumn& c = read.data.columns()[size_t(gauges[size_t(slot)])];
            const GaugeInfo& info = k.form().state().setup.gaugeCatalogue[size_t(c.code)];
            EXPECT_EQ(replay->grid().lblName(slot)->text(), c.name);
            const double logged = std::clamp(read.data.number(r - 1, gauges[size_t(slot)]).value(),
                                             double(info.minVal()), double(info.maxVal()));
            const double shown = replay->grid().lblValue(slot)->text().toDouble();
            EXPECT_NEAR(shown, logged, 0.051) << "record " << r << " slot " << slot;
        }
        const QString rpm = replay->grid().lblValue(0)->text();
        if (firstRpm.isEmpty()) firstRpm = rpm;
        rpmMoved = rpmMoved || rpm != firstRpm;
        const QString state = QString::fromLatin1(read.data.fieldByCode(r - 1, 25));
        EXPECT_EQ(replay->grid().lblOnOff(0)->text(), state);
    }
    EXPECT_TRUE(rpmMoved);
}

TEST(LogReplayE2E, EveryRecordHandedToTheWriterSurvivesSigkill) {
    QTemporaryDir dir;
    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    helper.setProcessEnvironment(env);
    helper.start(KX_E2E_LOG_KILL_HELPER, {dir.path()});
    ASSERT_TRUE(helper.waitForStarted());
    QByteArray reports;
    const auto read = [&] {
        reports += helper.readAllStandardOutput();
        return helper.state() == QProcess::NotRunning;
    };
    ASSERT_TRUE(waitUntil([&] { return read() || reports.contains("R 1\n"); }, 30000));
    ASSERT_EQ(helper.state(), QProcess::Running)
        << "exit " << helper.exitCode() << ": " << helper.readAllStandardError().toStdString();
    waitUntil([&] { return read(); }, 2000);
    helper.kill(); // SIGKILL: no destructor, no flush, no close
    ASSERT_TRUE(helper.waitForFinished(30000));
    EXPECT_EQ(helper.exitStatus(), QProcess::CrashExit);
    read();

    // The last complete report names the records handed over before the kill.
    QList<QByteArray> lines = reports.split('\n');
    lines.removeLast(); // a report cut short by the kill, or nothing
    ASSERT_FALSE(lines.isEmpty());
    const long reported = lines.last().mid(2).toLong();
    ASSERT_GT(reported, 5);

    const QByteArray bytes = fileBytes(dir.filePath("crash.log"));
    ASSERT_TRUE(bytes.startsWith("Time, RPM, "));
    const QList<QByteArray> records = checkedRecords(bytes);
    EXPECT_GE(records.size(), reported);
    EXPECT_TRUE(LogReader::readBytes(bytes).ok());
}
