// The data replay window on the main window: opening, loading logs, the sliders, playback and
// closing.
#include "live/GaugeGrid.h"
#include "logs/frmDataReplay.h"
#include "logs/frmLogAnalyzer.h"
#include "support/accessible_tree.h"
#include "support/main_window.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {

struct Replay : MainWindow {
    QPointer<frmDataReplay> win = form->open<frmDataReplay>();
    int files = 0;

    // Plays until playback ends (the last record, a Stop, or the window gone).
    void play() {
        win->btnPlay_Click();
        waitUntil([&] { return !win || !win->isPlaying(); }, 60000);
    }

    QString writeLog(const QByteArray& header, const QList<QByteArray>& records,
                     const QByteArray& end = "\r\n") {
        const QString path = dir.filePath(QStringLiteral("log%1.log").arg(++files));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray all = header + end;
        for (const QByteArray& r : records)
            all += r + end;
        f.write(all);
        return path;
    }
    // `n` records of RPM (1000 + record number, within the dial's 8000) and Battery.
    QString rpmLog(int n) {
        QList<QByteArray> records;
        for (int i = 1; i <= n; ++i)
            records << "000.001, " + QByteArray::number(1000 + i % 7000) + ", 13.5";
        return writeLog("Time, RPM, Battery", records);
    }
    void open(const QString& path) {
        dialogs.fileAnswers.push_back(path);
        win->btnBrowse_Click();
        waitUntil([&] { return !win || !win->isLoading(); }, 10000); // read on a thread of its own
    }
    template <class T> T* get(const char* name) {
        T* w = win->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QPushButton* button(const char* name) { return get<QPushButton>(name); }
    QScrollBar* position() { return get<QScrollBar>("scrollBar1"); }
    QScrollBar* speed() { return get<QScrollBar>("scrollBar2"); }
    QString value(int slot) { return win->grid().lblValue(slot)->text(); }
    QString name(int slot) { return win->grid().lblName(slot)->text(); }
    QString state(int indicator) { return win->grid().lblOnOff(indicator)->text(); }
    // Open, Play, Stop, sliders: which are enabled.
    QString controls() {
        QString s;
        for (const char* b : {"btnBrowse", "btnPlay", "btnStop"})
            s += button(b)->isEnabled() ? u'1' : u'0';
        s += get<QGroupBox>("fraPosition")->isEnabled() && position()->isEnabled() ? u'1' : u'0';
        s += get<QGroupBox>("fraSpeed")->isEnabled() && speed()->isEnabled() ? u'1' : u'0';
        return s;
    }
};

} // namespace

TEST(DataReplay, OpensOnceFromF6WithoutTouchingTheStream) {
    Replay r;
    EXPECT_EQ(r.win->windowTitle(), "Data Replay");
    EXPECT_EQ(r.controls(), "10000");
    EXPECT_EQ(r.speed()->value(), 63);
    EXPECT_EQ(r.speed()->toolTip(), "63ms");
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(r.name(k), "") << k;
    // Enabled before any ECU answered; the button shows the same window again.
    r.connectEcu();
    const ReceiveMode mode = r.form->link().readMode();
    r.ecu->writes.clear();
    auto* f6 = r.find<QPushButton>("btnDataReplay");
    ASSERT_TRUE(f6->isEnabled());
    f6->click();
    EXPECT_EQ(r.form->findChildren<frmDataReplay*>().size(), 1);
    EXPECT_EQ(r.form->link().readMode(), mode);
    EXPECT_TRUE(r.ecu->written().isEmpty());
    // Every control can be named by a screen reader.
    for (QWidget* w : r.win->findChildren<QWidget*>())
        EXPECT_TRUE(showsNothing(w) || !spokenName(w).isEmpty()) << w->objectName().toStdString();
    // Escape closes a window that is not playing.
    r.win->show();
    QTest::keyClick(r.win, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return r.win.isNull(); }, 3000));
}

TEST(DataReplay, LoadNamesTheDialsFromTheLogAndTheSliderShowsRecords) {
    Replay r; // Celsius, as the settings start
    ASSERT_EQ(r.form->state().setup.gaugeCatalogue[3].name(), "Water Temp C");
    const QList<QByteArray> records = {
        "000.010, 1500, 250, On, 45, 7, Off",
        "000.020, 1600, 10, Off, 55, 7, On",
        "000.030, 1700, 180, On, xx, 7, On",
    };
    const QByteArray header = "Time, RPM, Water Temp F, Closed TPS, Oxygen, Bogus, Fuel Pump";
    r.open(r.writeLog(header, records));
    EXPECT_EQ(r.dialogs.messages, QStringList{"Parameter 'Bogus' is not supported."});
    EXPECT_EQ(r.win->windowTitle(), "Data Replay - " + r.dir.filePath("log1.log"));
    EXPECT_EQ(r.controls(), "11011");
    EXPECT_EQ(r.win->records(), 3);
    EXPECT_EQ(r.name(0), "RPM");
    EXPECT_EQ(r.name(1), "Water Temp F");
    EXPECT_EQ(r.name(2), "O2 Sensor"); // "Oxygen" is the O2 sensor
    EXPECT_EQ(r.name(3), "");
    EXPECT_TRUE(r.win->grid().lblOnOff(0)->isEnabled());
    EXPECT_TRUE(r.win->grid().lblRegister(6)->isEnabled());
    EXPECT_FALSE(r.win->grid().lblOnOff(1)->isEnabled());
    // The log's Fahrenheit scale went into the shared catalogue.
    const GaugeInfo& water = r.form->state().setup.gaugeCatalogue[3];
    EXPECT_EQ(water.name(), "Water Temp F");
    EXPECT_EQ(water.minVal(), 20);
    EXPECT_EQ(water.maxVal(), 300);

    r.position()->setValue(2);
    EXPECT_EQ(r.position()->toolTip(), "2");
    EXPECT_EQ(r.value(0), "1600");
    EXPECT_EQ(r.value(1), "20"); // 10 F is below the Fahrenheit dial: it rests at its end
    EXPECT_EQ(r.value(2), "55");
    EXPECT_EQ(r.state(0), "Off");
    EXPECT_EQ(r.state(6), "On");
    r.position()->setValue(1);
    EXPECT_EQ(r.value(1), "250");
    EXPECT_EQ(r.state(0), "On");
    // A field that is no number stops that record's update where it stands.
    r.position()->setValue(3);
    EXPECT_EQ(r.value(0), "1700");
    EXPECT_EQ(r.value(1), "180");
    EXPECT_EQ(r.value(2), "45");
    EXPECT_EQ(r.state(6), "Off");
    EXPECT_EQ(r.win->grid().lblMax(0)->text(), "1700");

    // A line-feed file of the same records shows the same thing.
    Replay lf;
    lf.open(lf.writeLog(header, records, "\n"));
    ASSERT_EQ(lf.win->records(), 3);
    for (int rec : {2, 1, 3}) {
        r.position()->setValue(rec);
        lf.position()->setValue(rec);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(lf.value(k), r.value(k)) << rec << " " << k;
        EXPECT_EQ(lf.state(0), r.state(0));
    }

    // The change stays after the window closes, until the catalogue is built again; the
    // analyser uses the same catalogue.
    r.win->close();
    EXPECT_EQ(r.form->state().setup.gaugeCatalogue[3].name(), "Water Temp F");
    r.form->getSetup();
    EXPECT_EQ(r.form->state().setup.gaugeCatalogue[3].name(), "Water Temp C");
    frmLogAnalyzer* analyser = r.form->open<frmLogAnalyzer>();
    r.dialogs.fileAnswers.push_back(r.writeLog("Time, Air Temp F, RPM", {"000.010, 70, 800"}));
    analyser->btnBrowse_Click();
    waitUntil([&] { return !analyser->isLoading(); }, 10000);
    EXPECT_EQ(r.form->state().setup.gaugeCatalogue[10].name(), "Air Temp F");
    EXPECT_EQ(r.form->state().setup.gaugeCatalogue[10].maxVal(), 300);
}

TEST(DataReplay, SameNamedColumnsAndTimeOnlyLogs) {
    Replay r;
    r.open(r.writeLog("Time, RPM, Battery, RPM", {"", "000.010, 800, 14.1, 900"}));
    r.position()->setValue(2);
    EXPECT_EQ(r.name(0), "RPM");
    EXPECT_EQ(r.name(2), "RPM");
    EXPECT_EQ(r.value(0), "900");
    EXPECT_EQ(r.value(1), "14.1");
    EXPECT_EQ(r.value(2), "900");

    // "Time" alone: no dial named, no indicator lit, playback changes nothing.
    r.open(r.writeLog("Time", {"000.010", "000.020", "000.030"}));
    EXPECT_TRUE(r.dialogs.messages.isEmpty());
    EXPECT_EQ(r.controls(), "11011");
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(r.name(k), "") << k;
        EXPECT_EQ(r.value(k), "0") << k;
        EXPECT_FALSE(r.win->grid().lblOnOff(k)->isEnabled()) << k;
    }
    r.speed()->setValue(1);
    r.play();
    EXPECT_EQ(r.win->currentRecord(), 3);
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(r.value(k), "0") << k;
    EXPECT_EQ(r.controls(), "11011");
}

TEST(DataReplay, BadLogsSayInvalidStructureAndLeaveOnlyOpen) {
    Replay r;
    QByteArray thirteen = "Time";
    for (int i = 0; i < 13; ++i)
        thirteen += i % 2 ? ", RPM" : ", Battery";
    QByteArray wide = "000.010";
    for (int i = 0; i < 27; ++i)
        wide += ", 1";
    const QStringList bad = {
        r.writeLog(thirteen, {"000.010"}),               // more than 12 gauge columns
        r.writeLog("Time, RPM", {"000.010, 800", wide}), // a record of 27 fields
        r.dir.filePath("missing.log"),                   // no such file
    };
    for (const QString& path : bad) {
        r.open(r.rpmLog(5)); // loaded first, so the failure has something to undo
        ASSERT_EQ(r.controls(), "11011");
        r.dialogs.messages.clear();
        r.open(path);
        EXPECT_EQ(r.dialogs.messages, QStringList{"Invalid log file data structure"})
            << path.toStdString();
        EXPECT_EQ(r.controls(), "10000") << path.toStdString();
        EXPECT_EQ(r.name(0), "");
    }
    // A header of 27 unknown names: one box, the failure first, then every name it refused.
    QByteArray unknown = "Time";
    QStringList said = {"Invalid log file data structure"};
    for (int i = 0; i < 27; ++i) {
        unknown += ", X" + QByteArray::number(i);
        if (i < 26) said << QStringLiteral("Parameter 'X%1' is not supported.").arg(i);
    }
    r.dialogs.messages.clear();
    r.open(r.writeLog(unknown, {"000.010"}));
    EXPECT_EQ(r.dialogs.messages, QStringList{said.join('\n')});
    EXPECT_EQ(r.controls(), "10000");

    // The window stays usable for another Open; a cancelled chooser changes nothing.
    r.open(r.rpmLog(5));
    EXPECT_EQ(r.controls(), "11011");
    r.open(QString());
    EXPECT_EQ(r.controls(), "11011");
    EXPECT_EQ(r.name(0), "RPM");
}

TEST(DataReplay, LongLogsStepTheSliderInRecordsOfS) {
    Replay r;
    const QString path = r.rpmLog(40000);
    // The load keeps events flowing and shows its progress.
    bool sawLoading = false;
    QTimer::singleShot(0, r.win, [&] {
        sawLoading = r.win->isLoading() && r.get<QProgressBar>("prgLoad")->isVisible();
    });
    r.win->show();
    r.open(path);
    EXPECT_TRUE(sawLoading);
    EXPECT_FALSE(r.get<QProgressBar>("prgLoad")->isVisible());
    EXPECT_EQ(r.win->sliderScale(), 2);
    EXPECT_EQ(r.position()->maximum(), 20000);
    r.position()->setValue(7);
    EXPECT_EQ(r.win->currentRecord(), 14);
    EXPECT_EQ(r.position()->toolTip(), "14");
    EXPECT_EQ(r.value(0), "1014");

    // Playback from the slider's last step reaches the last record, which no step shows
    // when S does not divide N.
    r.open(r.rpmLog(40001));
    r.speed()->setValue(1);
    r.position()->setValue(r.position()->maximum());
    EXPECT_EQ(r.win->currentRecord(), 40000);
    r.play();
    EXPECT_EQ(r.win->currentRecord(), 40001);
    EXPECT_EQ(r.value(0), "6001");
    // Play at the last record ends at once.
    r.play();
    EXPECT_EQ(r.win->currentRecord(), 40001);
    EXPECT_EQ(r.controls(), "11011");

    // A close asked while a log loads closes the window at once and cancels the load.
    r.dialogs.messages.clear();
    QTimer::singleShot(0, r.win, [&] { EXPECT_TRUE(r.win->close()); });
    r.open(path);
    EXPECT_TRUE(waitUntil([&] { return r.win.isNull(); }, 3000));
    EXPECT_TRUE(r.dialogs.messages.isEmpty());
}

TEST(DataReplay, PlayShowsEachRecordInTurnUntilStop) {
    Replay r;
    r.open(r.rpmLog(30));
    r.speed()->setValue(1);
    EXPECT_EQ(r.speed()->toolTip(), "1ms");
    r.play();
    EXPECT_EQ(r.win->currentRecord(), 30);
    EXPECT_EQ(r.value(0), "1030");
    EXPECT_EQ(r.position()->value(), 30);
    EXPECT_EQ(r.win->grid().lblMax(0)->text(), "1030");
    EXPECT_EQ(r.controls(), "11011");

    // Stop during playback: the loop ends where it stands, and Play goes on from there.
    r.open(r.rpmLog(2000));
    r.speed()->setValue(20);
    QString during;
    QTimer::singleShot(200, r.win, [&] {
        during = r.controls();
        r.button("btnStop")->click();
    });
    r.button("btnPlay")->click();
    waitUntil([&] { return !r.win->isPlaying(); }, 60000);
    EXPECT_EQ(during, "00111");
    EXPECT_FALSE(r.win->isPlaying());
    EXPECT_EQ(r.controls(), "11011");
    const int64_t stoppedAt = r.win->currentRecord();
    EXPECT_GT(stoppedAt, 2);
    EXPECT_LT(stoppedAt, 2000);
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(r.win->currentRecord(), stoppedAt);

    // Stop and Play again: playback goes on from where it stood, as one playback.
    r.speed()->setValue(100);
    int64_t innerEnd = -1;
    QTimer::singleShot(150, r.win, [&] {
        r.win->btnStop_Click();
        r.play();
    });
    QTimer::singleShot(650, r.win, [&] { r.win->btnStop_Click(); });
    r.play();
    innerEnd = r.win->currentRecord();
    EXPECT_GT(innerEnd, stoppedAt);
    // One playback only: nothing steps on after the Stop.
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(r.win->currentRecord(), innerEnd);
    EXPECT_EQ(r.controls(), "11011");
}

TEST(DataReplay, ClosingWhilePlayingIsRefusedUnlessTheProgramEnds) {
    Replay r;
    r.open(r.rpmLog(2000));
    r.speed()->setValue(20);
    r.win->show();
    bool closed = true;
    QTimer::singleShot(150, r.win, [&] {
        closed = r.win->close();
        QTest::keyClick(r.win, Qt::Key_Escape);
        r.win->btnStop_Click();
    });
    r.play();
    EXPECT_FALSE(closed);
    EXPECT_EQ(r.dialogs.messages, QStringList({"Stop data replay before closing window",
                                               "Stop data replay before closing window"}));
    ASSERT_FALSE(r.win.isNull());
    EXPECT_TRUE(r.win->close());

    // The main window closing ends playback and the replay without asking.
    Replay ending;
    ending.open(ending.rpmLog(2000));
    ending.speed()->setValue(20);
    ending.win->show();
    ending.form->show();
    QTimer::singleShot(150, ending.form.get(), [&] { ending.form->close(); });
    ending.play();
    EXPECT_TRUE(ending.dialogs.messages.isEmpty());
    EXPECT_TRUE(waitUntil([&] { return ending.win.isNull(); }, 3000));
}

TEST(DataReplay, ALogWithTimesShowsItsFirstRecordAndPlaysByItsClock) {
    Replay r;
    // Before Play the dials show the log's first record, not their minimums.
    QList<QByteArray> records;
    for (int i = 0; i < 40; ++i)
        records << QByteArray::number(12.0 + i * 0.005, 'f', 3) + ", " +
                       QByteArray::number(2400 + i) + ", 13.1";
    r.open(r.writeLog("Time, RPM, Battery", records));
    EXPECT_EQ(r.value(0), "2400");
    EXPECT_EQ(r.value(1), "13.1");
    EXPECT_TRUE(r.win->isTimed());
    auto* speed = r.get<QComboBox>("cmbSpeed");
    EXPECT_TRUE(speed->isVisibleTo(r.win));
    EXPECT_FALSE(r.get<QGroupBox>("fraSpeed")->isVisibleTo(r.win));
    EXPECT_EQ(speed->currentText(), QString::fromUtf8("Speed 1\u00D7"));
    auto* time = r.get<QLabel>("lblTime");
    EXPECT_EQ(time->text(), "0.0 s, record 1 of 40");

    r.position()->setValue(21);
    EXPECT_EQ(time->text(), "0.1 s, record 21 of 40");
    r.position()->setValue(1);
    speed->setCurrentIndex(3); // 4x: the 0.195 s log in about 50 ms
    r.play();
    EXPECT_EQ(r.win->currentRecord(), 40);
    EXPECT_EQ(r.value(0), "2439");
    EXPECT_EQ(time->text(), "0.2 s, record 40 of 40");

    // A log whose stamps do not move on steps at the chosen delay, as before.
    r.open(r.rpmLog(5));
    EXPECT_FALSE(r.win->isTimed());
    EXPECT_TRUE(r.get<QGroupBox>("fraSpeed")->isVisibleTo(r.win));
    EXPECT_FALSE(speed->isVisibleTo(r.win));
    EXPECT_EQ(r.value(0), "1001");
    EXPECT_EQ(time->text(), "record 1 of 5");
}
