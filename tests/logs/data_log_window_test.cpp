// The data logging window on an in-memory port, with a fixed clock.
#include "live/Form1.h"
#include "logs/frmDataLog.h"
#include "logs/replay_logic.h"
#include "support/main_window.h"
#include "util/ticks.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace kx;
using namespace kx::test;

namespace {
// Selection: RPM, Water Temp, Battery, Timing in slots 0-3 (the rest Duty Cycle), 0x13 only.
void smallSelection(SettingsStore& s) {
    const char* gauges[12] = {"0", "3", "7", "13", "20", "20", "20", "20", "20", "20", "20", "20"};
    for (int i = 0; i < 12; ++i)
        s.save("Setup", QStringLiteral("Gauge%1").arg(i), gauges[i]);
    s.save("Setup", "Register1E", "0");
    s.save("Setup", "Register1F", "0");
    s.save("Setup", "Register21", "0");
}
// RPM 850, water 82 C, battery 14.1 (to one decimal), timing 15, 0x13 = Closed TPS and Neutral on;
// then the next frame's header, which confirms it.
QByteArray frame(int rpmRaw) {
    return bytes({0xFF, 6, 0, rpmRaw, 132, 176, 95, 0x05, 0xFF, 6});
}
// The frames after the first: their header came with the frame before.
QByteArray body(int rpmRaw) {
    return frame(rpmRaw).mid(2);
}
// A clock that stands still unless moved: only for steps that do not wait.
struct FixedClock {
    uint32_t now = 1000;
    FixedClock() {
        setTickSource([this] { return now; });
    }
    ~FixedClock() { setTickSource({}); }
};
} // namespace

TEST(DataLogWindow, RecordsTheLiveStreamInTheFileFormat) {
    MainWindow w(smallSelection);
    w.connectEcu();
    w.ecu->writes.clear();
    QPointer<frmDataLog> log = w.form->open<frmDataLog>();
    w.settle();
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::LiveData);
    EXPECT_TRUE(w.ecu->written().startsWith(QByteArray("\x30\x5A\x00\x5A\x01", 5)));
    EXPECT_TRUE(w.ecu->written().endsWith('\xF0'));
    EXPECT_EQ(w.store->read("DataLog", "Path"), w.dir.path() + "/");
    EXPECT_EQ(w.store->read("DataLog", "Param24"), "1");
    EXPECT_TRUE(child<QCheckBox>(log, "chcLog0")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(log, "chcLog1")->isEnabled()); // not on the display
    EXPECT_TRUE(child<QCheckBox>(log, "chcLogStr4")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(log, "chcLogStr5")->isEnabled());
    EXPECT_TRUE(child<QLineEdit>(log, "txtPath")->text().endsWith(".log"));

    auto clock = std::make_unique<FixedClock>();
    // Frames before START are not logged, nor the one the spike filter lets through after it.
    clock->now -= 10;
    w.ecu->feedEvent(frame(68));
    w.ecu->feedEvent(body(68));
    clock->now += 10;
    child<QLineEdit>(log, "txtPath")->setText("drive.log");
    child<QCheckBox>(log, "chcLog20")->setChecked(false);
    child<QPushButton>(log, "btnStart")->click();
    EXPECT_FALSE(child<QPushButton>(log, "btnStart")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(log, "btnBrowse")->isEnabled());
    EXPECT_EQ(w.store->read("DataLog", "Param1"), "0"); // stored for disabled boxes too
    // Each frame is timed when it ended on the line: two bytes (the next header) before its
    // delivery came, the line having paused before each.
    clock->now += 80;
    w.ecu->feedEvent(body(68));
    clock->now += 109;
    w.ecu->feedEvent(body(70));
    // A box unticked while logging waits for the next START: the columns stay the header's.
    EXPECT_TRUE(child<QLabel>(log, "lblParamNote")->isVisibleTo(log));
    child<QCheckBox>(log, "chcLogStr1")->setChecked(false);
    clock->now += 61234 - 187;
    w.ecu->feedEvent(body(70));
    // The spike filter lets a frame through once the next has come: the one it holds at STOP,
    // unconfirmed, is not logged.
    clock->now += 10;
    w.ecu->feedEvent(body(70));
    child<QPushButton>(log, "btnStop")->click();
    w.ecu->feedEvent(body(70));

    EXPECT_EQ(fileBytes(w.dir.filePath("drive.log")),
              "Time, RPM, Water Temp C, Battery, Timing, Closed TPS, Power Steering, Air Con sw, "
              "Start Signal, Neutral\r\n"
              "000.078, 850, 82, 14.1, 15, On, Off, Off, Off, On\r\n"
              "000.187, 875, 82, 14.1, 15, On, Off, Off, Off, On\r\n"
              "061.234, 875, 82, 14.1, 15, On, Off, Off, Off, On\r\n");
    EXPECT_TRUE(child<QPushButton>(log, "btnStart")->isEnabled());
    EXPECT_FALSE(child<QLabel>(log, "lblParamNote")->isVisibleTo(log));
    // STOP proposes a fresh name, so the next START does not land on this recording.
    const QString next = child<QLineEdit>(log, "txtPath")->text();
    EXPECT_TRUE(next.endsWith(".log") && next != "drive.log") << next.toStdString();
    EXPECT_FALSE(QFile::exists(w.dir.filePath(next)));

    // Closing from the main window's launch reconnects.
    clock.reset();
    w.ecu->writes.clear();
    log->close();
    ASSERT_TRUE(waitUntil([&] { return w.ecu->written().endsWith('\xF0'); }, 3000));
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);
}

TEST(DataLogWindow, AFileThatCannotBeMadeIsReportedAndLoggingStaysIdle) {
    MainWindow w(smallSelection);
    w.connectEcu();
    frmDataLog* log = w.form->open<frmDataLog>();
    w.settle();
    child<QLineEdit>(log, "txtPath")->setText("no/such/dir/x.log");
    child<QPushButton>(log, "btnStart")->click();
    ASSERT_EQ(w.dialogs.messages.size(), 1);
    EXPECT_TRUE(w.dialogs.messages[0].contains("no/such/dir/x.log"));
    EXPECT_TRUE(child<QPushButton>(log, "btnStart")->isEnabled());
    EXPECT_FALSE(log->isLogging());
}

TEST(DataLogWindow, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
    MainWindow w(smallSelection);
    w.connectEcu();
    frmDataLog* log = w.form->open<frmDataLog>();
    auto* path = child<QLineEdit>(log, "txtPath");
    child<QCheckBox>(log, "chcLog20")->setChecked(false);
    {
        QFile old(w.dir.filePath("keep.log"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an earlier drive\r\n");
    }
    // A loaded Fahrenheit log changed the shared catalogue; the program itself is in Celsius.
    applyLogCatalogueChanges(w.form->state().setup.gaugeCatalogue,
                             {*logUnitChange("Water Temp F")});
    for (const bool replace : {false, true}) {
        path->setText("keep.log");
        w.dialogs.questionAnswers.push_back(replace);
        child<QPushButton>(log, "btnStart")->click();
        child<QPushButton>(log, "btnStop")->click();
    }
    ASSERT_EQ(w.dialogs.questions.size(), 2);
    EXPECT_TRUE(w.dialogs.questions[0].contains(w.dir.filePath("keep.log")));
    EXPECT_TRUE(w.dialogs.questions[0].contains("keep-2.log"));
    const QByteArray header = "Time, RPM, Water Temp C, Battery, Timing, Closed TPS, Power "
                              "Steering, Air Con sw, Start Signal, Neutral\r\n";
    EXPECT_EQ(fileBytes(w.dir.filePath("keep-2.log")), header); // "no" kept the old file
    EXPECT_EQ(fileBytes(w.dir.filePath("keep.log")), header);   // "yes" replaced it
    EXPECT_TRUE(w.dialogs.messages.isEmpty()) << w.dialogs.messages.join('|').toStdString();
}

TEST(DataLogWindow, BrowseSetsTheLocationAndRestartsTheStream) {
    MainWindow w(smallSelection);
    w.connectEcu();
    frmDataLog* log = w.form->open<frmDataLog>();
    w.settle();
    w.ecu->writes.clear();
    w.dialogs.fileAnswers.push_back(w.dir.filePath("sub/run1.log"));
    // The modal chooser opens with the link free: no step of it waits for the chooser.
    std::optional<bool> linkBusy;
    w.dialogs.whileChoosing = [&] { linkBusy = w.form->link().busy(); };
    child<QPushButton>(log, "btnBrowse")->click();
    w.settle();
    EXPECT_EQ(linkBusy, false);
    EXPECT_EQ(w.ecu->written(),
              bytes({0x30}) + fullDataRequest(w.form->state().setup) + bytes({0xF0}));
    EXPECT_EQ(child<QLabel>(log, "lblDirectory")->text(), w.dir.filePath("sub") + "/");
    EXPECT_EQ(child<QLineEdit>(log, "txtPath")->text(), "run1.log");
    EXPECT_EQ(w.store->read("DataLog", "Path"), w.dir.filePath("sub") + "/");
    // Cancelled: nothing changes, the stream restarts all the same.
    w.ecu->writes.clear();
    child<QPushButton>(log, "btnBrowse")->click();
    w.settle();
    EXPECT_EQ(child<QLineEdit>(log, "txtPath")->text(), "run1.log");
    EXPECT_TRUE(w.ecu->written().endsWith('\xF0'));
}

// The last records reach the disk only when the window closes: a failure there is said.
TEST(DataLogWindow, AFailedFinalWriteOnCloseIsReported) {
    MainWindow w(smallSelection);
    w.connectEcu();
    QPointer<frmDataLog> log = w.form->open<frmDataLog>();
    w.settle();
    child<QLineEdit>(log, "txtPath")->setText("stick.log");
    FixedClock clock;
    child<QPushButton>(log, "btnStart")->click();
    w.ecu->feed(frame(68));
    // The file's descriptor now leads to a pipe, which cannot be pushed to a disk: the final
    // sync fails as it does on a stick that went away.
    const QString path = w.dir.filePath("stick.log");
    int fd = -1;
    for (const QString& n : QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System)) {
        if (QFile::symLinkTarget("/proc/self/fd/" + n) == path) fd = n.toInt();
    }
    ASSERT_GE(fd, 0);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    ASSERT_GE(::dup2(pipe[1], fd), 0);
    log->close();
    ASSERT_TRUE(waitUntil([&] { return !w.dialogs.messages.isEmpty(); }, 2000));
    EXPECT_EQ(w.dialogs.messages.size(), 1);
    EXPECT_TRUE(w.dialogs.messages[0].contains(path)) << w.dialogs.messages[0].toStdString();
    EXPECT_EQ(w.dialogs.messageKinds[0], MessageKind::Warning);
    ::close(pipe[0]);
    ::close(pipe[1]);
}

// With a wideband controller set up its ratio is a column of its own, whatever the dials show,
// and a record without a reading says why rather than holding an old ratio.
TEST(DataLogWindow, TheWidebandIsAColumnWhateverTheDialsShow) {
    MainWindow w([](SettingsStore& s) {
        smallSelection(s);
        s.save("WBO2", "ComPort", "2");
        s.save("DataLog", "Path", "");
    });
    w.connectEcu();
    QPointer<frmDataLog> log = w.form->open<frmDataLog>();
    w.settle();
    // With no folder chosen yet, logs go to the user's data folder.
    const QString folder = w.store->read("DataLog", "Path");
    EXPECT_EQ(folder, defaultLogFolder());
    ASSERT_TRUE(child<QCheckBox>(log, "chcLog24")->isEnabled());
    EXPECT_TRUE(child<QCheckBox>(log, "chcLog24")->isChecked());
    child<QLineEdit>(log, "txtPath")->setText("wb.log");
    for (int g : {3, 7, 13, 20})
        child<QCheckBox>(log, QStringLiteral("chcLog%1").arg(g))->setChecked(false);
    for (int i = 0; i < 5; ++i)
        child<QCheckBox>(log, QStringLiteral("chcLogStr%1").arg(i))->setChecked(false);
    FixedClock clock;
    child<QPushButton>(log, "btnStart")->click();
    for (int k = 0; k < 3; ++k) {
        clock.now += 100;
        w.ecu->feedEvent(k == 0 ? frame(68) : body(68));
    }
    EXPECT_TRUE(child<QLabel>(log, "lblStatus")->text().startsWith("Logging: "));
    child<QPushButton>(log, "btnStop")->click();
    const QList<QByteArray> lines = fileBytes(folder + "wb.log").split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "Time, RPM, WBo2, WB State, WB Time\r");
    EXPECT_TRUE(lines[1].endsWith(", 850, , Closed, \r")) << lines[1].toStdString();
    EXPECT_TRUE(child<QLabel>(log, "lblStatus")->text().startsWith("Saved "));
}

TEST(DataLogWindow, LoggingAlongsideTheDisplay) {
    MainWindow w(smallSelection);
    w.connectEcu();
    Form1* display = w.form->open<Form1>();
    w.settle();
    w.ecu->writes.clear();
    child<QPushButton>(display, "btnDataLog")->click();
    QPointer<frmDataLog> log = w.form->findChild<frmDataLog*>();
    ASSERT_TRUE(log);
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::LiveData);
    EXPECT_TRUE(w.ecu->writes.isEmpty()); // the stream goes on as it is
    child<QLineEdit>(log, "txtPath")->setText("both.log");
    child<QCheckBox>(log, "chcLog20")->setChecked(false);
    FixedClock clock;
    child<QPushButton>(log, "btnStart")->click();
    clock.now += 5;
    w.ecu->feedEvent(frame(68));
    w.ecu->feedEvent(body(68)); // the stream's first frame is written once the next agrees
    EXPECT_TRUE(fileBytes(w.dir.filePath("both.log"))
                    .endsWith("000.003, 850, 82, 14.1, 15, On, Off, Off, Off, On\r\n"))
        << fileBytes(w.dir.filePath("both.log")).toStdString();
    log->close();
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::LiveData);
    EXPECT_TRUE(w.ecu->writes.isEmpty());
}
