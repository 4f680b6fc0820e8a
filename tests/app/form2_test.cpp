// The main window with in-memory ports: start-up, status bar, connect, dispatch, menus.
#include "app/Form2.h"
#include "app/tool_table.h"
#include "link/SerialPort.h"
#include "live/Form1.h"
#include "support/accessible_tree.h"
#include "support/main_window.h"
#include "support/test_support.h"
#include "util/settings_store.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kx;
using namespace kx::test;

TEST(Form2, StartUpWritesDefaultsAndFillsTheStatusBar) {
    MainWindow w([](SettingsStore& s) { s.save("Comms", "Debug", "1"); });
    EXPECT_EQ(w.form->windowTitle(), "Kestrix v1.53 Beta");
    EXPECT_EQ(w.store->read("Comms", "Debug"), "0");
    EXPECT_EQ(w.store->read("Display", "GaugeWindow"), "-2147483633");
    EXPECT_EQ(w.panel(1), "Spd Corr: 1");
    EXPECT_EQ(w.panel(2), "1 - 9600");
    EXPECT_EQ(w.panel(3), "KPH");
    EXPECT_EQ(w.panel(4), "Celsius");
    EXPECT_FALSE(w.form->link().connected());
    EXPECT_TRUE(w.find<QPushButton>("btnDataReplay")->isEnabled());
    EXPECT_TRUE(w.find<QPushButton>("btnLogAnalyser")->isEnabled());
    EXPECT_TRUE(w.find<QPushButton>("btnMapTrace")->isEnabled()); // a saved map needs no ECU
    for (QPushButton* b : w.form->ecuToolButtons())
        EXPECT_FALSE(b->isEnabled());
    // No connect unless asked for.
    EXPECT_TRUE(w.ecu->writes.isEmpty());
}

TEST(Form2, UnitsCorrectionAndModelFromSettings) {
    MainWindow w([](SettingsStore& s) {
        s.save("Preferences", "Speed", "1");
        s.save("Preferences", "Temperature", "2");
        s.save("TyreSize", "Correction", "1.05");
        s.save("Comms", "ComPort", "/dev/ttyUSB0");
        s.save("Comms", "OBDIImodel", "1");
    });
    EXPECT_EQ(w.panel(1), "Spd Corr: 1.05");
    EXPECT_EQ(w.panel(2), "/dev/ttyUSB0 - 9600");
    EXPECT_EQ(w.panel(3), "MPH");
    EXPECT_EQ(w.panel(4), "Fahrenheit");
    EXPECT_TRUE(w.form->state().units.mph);
    EXPECT_TRUE(w.form->state().units.fahr);
    w.form->link().connectEcu(); // the link takes the model at each connect
    EXPECT_TRUE(w.form->link().obd2());
    EXPECT_FLOAT_EQ(w.form->state().units.speedCorrect, 1.05f);
}

// A stored correction that is no finite positive number would stop every start before the
// units, model and gauges: 1 takes its place, stored, and the user is told once.
TEST(Form2, AnUnusableSpeedCorrectionIsRepairedAndSaid) {
    for (const char* stored : {"inf", "nan", "0"}) {
        SCOPED_TRACE(stored);
        MainWindow w([&](SettingsStore& s) {
            s.save("TyreSize", "Correction", stored);
            s.save("Preferences", "Speed", "1");
        });
        EXPECT_EQ(w.panel(1), "Spd Corr: 1");
        EXPECT_EQ(w.panel(3), "MPH"); // the rest of the start-up is done
        EXPECT_TRUE(w.find<QPushButton>("btnDataReplay")->isEnabled());
        EXPECT_FLOAT_EQ(w.form->state().units.speedCorrect, 1.0f);
        EXPECT_EQ(w.store->read("TyreSize", "Correction"), "1");
        ASSERT_EQ(w.dialogs.messages.size(), 1);
        EXPECT_TRUE(w.dialogs.messages[0].contains(QStringLiteral("\"%1\"").arg(stored)));
        w.form->setStatusBar();
        EXPECT_EQ(w.dialogs.messages.size(), 1);
    }
}

TEST(Form2, DamagedSettingEndsTheStatusRefreshQuietly) {
    MainWindow w([](SettingsStore& s) { s.save("Preferences", "Speed", "fast"); });
    EXPECT_EQ(w.panel(2), "1 - 9600");
    EXPECT_EQ(w.panel(3), "");
    // The steps after the damaged key are not done.
    EXPECT_FALSE(w.find<QPushButton>("btnDataReplay")->isEnabled());
}

TEST(Form2, ConnectIdentifiesAndEnablesTheTools) {
    MainWindow w;
    w.form->btnConnect_Click();
    w.settle();
    EXPECT_EQ(w.ecu->written(), QByteArray("\xFF\xFF\xEF\xD0\xF0", 5));
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);
    auto* part = w.find<QLabel>("lblEcuNo");
    EXPECT_EQ(part->text(), "#####");

    w.ecu->feed(idFrame("1U800"));
    EXPECT_EQ(part->text(), "1U800");
    EXPECT_TRUE(w.form->link().connected());
    for (QPushButton* b : w.form->ecuToolButtons())
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();

    // Later identification frames change nothing.
    w.ecu->feed(idFrame("2X999"));
    EXPECT_EQ(part->text(), "1U800");

    // A reconnect closes the stream first, then starts over.
    w.ecu->writes.clear();
    w.form->btnConnect_Click();
    w.settle();
    EXPECT_EQ(w.ecu->written(), QByteArray("\x30\xFF\xFF\xEF\xD0\xF0", 6));
    EXPECT_EQ(part->text(), "#####");
}

TEST(Form2, ObdTwoConnectLeavesMapTraceOff) {
    MainWindow w([](SettingsStore& s) { s.save("Comms", "OBDIImodel", "1"); });
    w.form->btnConnect_Click();
    w.settle();
    w.ecu->feed(idFrame("1U800", false)); // the earlier generation's frame is not the reply
    EXPECT_FALSE(w.form->link().connected());
    w.ecu->feed(idFrame("OBD22", true));
    EXPECT_EQ(w.find<QLabel>("lblEcuNo")->text(), "OBD22");
    EXPECT_FALSE(w.find<QPushButton>("btnMapTrace")->isEnabled());
    EXPECT_TRUE(w.find<QPushButton>("btnRomData")->isEnabled());
}

TEST(Form2, PortErrorsAreReportedAndTheProgramGoesOn) {
    MainWindow w;
    w.ecu->failNextOpen(PortInvalid);
    w.form->btnConnect_Click();
    w.settle();
    EXPECT_EQ(w.dialogs.messages, QStringList{"Invalid Port number"});
    EXPECT_FALSE(w.ecu->isOpen());
    EXPECT_TRUE(w.ecu->writes.isEmpty());
    EXPECT_EQ(w.find<QLabel>("lblEcuNo")->text(), "#####");

    w.ecu->failNextOpen(PortAlreadyOpen);
    w.form->openPort();
    w.settle();
    EXPECT_EQ(w.dialogs.messages.last(), "Port already open");
    w.ecu->failNextOpen(PortNoPermission);
    w.form->openPort();
    w.settle();
    EXPECT_TRUE(w.dialogs.messages.last().startsWith("Unexpected error #8010"));
    EXPECT_TRUE(w.dialogs.messages.last().contains("dialout"));
    w.wb->failNextOpen(PortOtherError);
    w.form->openPort2();
    EXPECT_TRUE(w.dialogs.messages.last().startsWith("Unexpected error #8020"));
}

TEST(Form2, DebugTraceOpensOnceAndRecordsEveryDelivery) {
    MainWindow w;
    w.store->save("Comms", "Debug", "1");
    w.ecu->failNextOpen(PortInvalid);
    w.form->openPort();
    w.settle();
    EXPECT_FALSE(w.form->debugTrace().isOpen()); // a failed open opens no trace
    w.form->openPort();
    w.settle();
    ASSERT_TRUE(w.form->debugTrace().isOpen());
    w.form->openPort();
    w.settle();
    w.ecu->setThreshold(1);
    for (ReceiveMode mode : {ReceiveMode::None, ReceiveMode::TimeTrial, ReceiveMode::Dashboard,
                             ReceiveMode::EcuFind}) {
        w.form->link().run(nullptr, LinkSequence().mode(mode));
        w.settle();
        w.ecu->feed("ab");
        EXPECT_EQ(w.ecu->bufferedCount(), 0); // consumed even without a handler
    }
    w.form->close();
    QFile f(w.dir.filePath("Kestrixdebug.log"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "RabRabRabRab");
}

TEST(Form2, SettingsThatCannotBeWrittenAreSaidOnceAtStartUp) {
    MainWindow w([](SettingsStore& s) {
        QFile::remove(s.fileName());
        QDir().mkpath(s.fileName());
    });
    w.form->setStatusBar();
    QCoreApplication::processEvents();
    ASSERT_EQ(w.dialogs.messages.size(), 1);
    EXPECT_TRUE(w.dialogs.messages[0].contains(w.store->fileName()));
    EXPECT_EQ(w.dialogs.messageKinds[0], MessageKind::Warning);
}

TEST(Form2, ADebugTraceThatCannotBeOpenedIsSaidOnce) {
    MainWindow w;
    w.store->save("Comms", "Debug", "1");
    // A FIFO in the trace's place: opened as a file it would block the window for good.
    ASSERT_EQ(::mkfifo(QFile::encodeName(w.dir.filePath("Kestrixdebug.log")).constData(), 0600), 0);
    for (int i = 0; i < 3; ++i) {
        w.form->openPort();
        w.settle();
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.ecu->isOpen());
    EXPECT_FALSE(w.form->debugTrace().isOpen());
    ASSERT_EQ(w.dialogs.messages.size(), 1);
    EXPECT_TRUE(w.dialogs.messages[0].startsWith("Unexpected error #"));
    EXPECT_TRUE(w.dialogs.messages[0].contains(w.dir.filePath("Kestrixdebug.log")));
}

TEST(Form2, FunctionMenuActsOnlyThroughEnabledButtons) {
    MainWindow w;
    int clicks = 0;
    auto* rom = w.find<QPushButton>("btnRomData");
    QObject::connect(rom, &QPushButton::clicked, [&] { ++clicks; });
    auto* f9 = w.find<QAction>("mnuFRomData");
    EXPECT_EQ(f9->shortcut(), QKeySequence(Qt::Key_F9));
    f9->trigger();
    EXPECT_EQ(clicks, 0);
    w.connectEcu();
    f9->trigger();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(w.find<QAction>("mnuCommunication")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F1));
}

TEST(Form2, MenusNameEachToolAsItsButtonInKeyOrderWithOneMnemonicEach) {
    MainWindow w;
    auto* function = w.find<QMenu>("mnuFunction");
    int lastKey = 0;
    for (QAction* a : function->actions()) {
        const ToolRow* row = nullptr;
        for (const ToolRow& r : toolTable())
            if (r.menu && a->objectName() == QLatin1String(r.menu)) row = &r;
        ASSERT_NE(row, nullptr) << a->objectName().toStdString();
        // "Data Logging    F2" is "Data Logging" in the menu, under F2.
        const QString caption = QString::fromLatin1(row->caption);
        EXPECT_EQ(a->text() + " " + a->shortcut().toString(), caption.simplified())
            << caption.toStdString();
        EXPECT_GT(a->shortcut()[0].key(), lastKey) << caption.toStdString();
        lastKey = a->shortcut()[0].key();
    }
    QSet<QChar> mnemonics;
    for (QAction* a : w.find<QMenu>("mnuSettings")->actions()) {
        const qsizetype amp = a->text().indexOf(u'&');
        ASSERT_GE(amp, 0) << a->text().toStdString();
        EXPECT_FALSE(mnemonics.contains(a->text()[amp + 1].toLower())) << a->text().toStdString();
        mnemonics.insert(a->text()[amp + 1].toLower());
    }
}

TEST(Form2, ActivityBarCyclesInTwentyOneSteps) {
    MainWindow w;
    auto* bar = w.find<QProgressBar>("ProgressBar1");
    QList<int> seen;
    for (int i = 0; i < 22; ++i) {
        w.form->setProgBar();
        // Shown at once or, in a burst, within one paint interval.
        const int expected = (i + 1) % 21 * 5;
        EXPECT_TRUE(waitUntil([&] { return bar->value() == expected; }, 500));
        seen << bar->value();
    }
    EXPECT_EQ(seen[0], 5);
    EXPECT_EQ(seen[19], 100);
    EXPECT_EQ(seen[20], 0);
    EXPECT_EQ(seen[21], 5);
    // A burst of deliveries repaints once, with the latest count.
    for (int i = 0; i < 10; ++i)
        w.form->setProgBar();
    EXPECT_TRUE(waitUntil([&] { return bar->value() == 55; }, 500));
}

TEST(Form2, UnloadStopsTheStreamAndClosesBothPorts) {
    MainWindow w;
    w.connectEcu();
    w.store->save("WBO2", "ComPort", "2");
    w.form->openPort2();
    ASSERT_TRUE(w.wb->isOpen());
    w.ecu->writes.clear();
    w.form->show();
    w.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
    QTest::keyClick(w.form.get(), Qt::Key_Escape);
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_EQ(w.ecu->written(), QByteArray("\x30", 1));
    EXPECT_FALSE(w.ecu->isOpen());
    EXPECT_FALSE(w.wb->isOpen());
}

TEST(Form2, EveryControlHasAnAccessibleName) {
    MainWindow w;
    for (QWidget* c : w.form->findChildren<QWidget*>()) {
        if (!qobject_cast<QPushButton*>(c) && !qobject_cast<QLabel*>(c) &&
            !qobject_cast<QProgressBar*>(c))
            continue;
        if (showsNothing(c)) continue;
        EXPECT_FALSE(spokenName(c).isEmpty()) << c->objectName().toStdString();
    }
}

TEST(Form2, ClosingTheProgramWithAToolOpenDoesNotReconnect) {
    MainWindow w;
    w.connectEcu();
    w.form->show();
    QPointer<Form1> display = w.form->open<Form1>();
    w.settle();
    w.ecu->writes.clear();
    w.form->close();
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(w.ecu->written(), QByteArray("\x30", 1));
    EXPECT_FALSE(w.ecu->isOpen());
}

// A by-id path is longer than the status bar: its middle goes, the whole path stays readable.
// Help > User Guide says where the guide should be when it is not installed; the tool buttons
// have their What's This? help.
TEST(Form2, LongPortPathIsElidedAndTheMissingGuideIsSaid) {
    const QString path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    MainWindow w([&](SettingsStore& s) { s.save("Comms", "ComPort", path); });
    auto* panel = w.find<QLabel>("Panel2");
    EXPECT_TRUE(panel->text().startsWith("/dev/")) << panel->text().toStdString();
    EXPECT_TRUE(panel->text().endsWith("port0 - 9600")) << panel->text().toStdString();
    EXPECT_TRUE(panel->text().contains(QChar(0x2026)));
    EXPECT_LT(panel->text().size(), path.size());
    EXPECT_EQ(panel->toolTip(), path + " - 9600");
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(panel);
    EXPECT_EQ(iface->text(QAccessible::Description), "Com Port - Speed: " + path + " - 9600");

    // Each tool button says what its tool is for, in Help > What's This?.
    for (const ToolRow& r : toolTable()) {
        if (r.button) {
            EXPECT_FALSE(w.find<QPushButton>(r.button)->whatsThis().isEmpty()) << r.name;
        }
    }

    w.find<QAction>("mnuGuide")->trigger();
    ASSERT_EQ(w.dialogs.messages.size(), 1);
    EXPECT_TRUE(w.dialogs.messages[0].contains("kestrix/guide/guide.html"))
        << w.dialogs.messages[0].toStdString();
}
