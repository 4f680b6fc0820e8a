// The settings windows driven through their controls.
#include "settings/Form3.h"
#include "settings/frmColor.h"
#include "settings/frmPreferences.h"
#include "settings/frmSettings.h"
#include "support/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
void click(QWidget* w, const char* button) {
    QTest::mouseClick(child<QPushButton>(w, button), Qt::LeftButton);
}
void pressEscape(QWidget* window) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Escape);
}
} // namespace

TEST(CommunicationWindow, FillsValidatesAndSaves) {
    MainWindow w;
    QPointer<Form3> f = w.form->open<Form3>();
    EXPECT_EQ(f->windowTitle(), "Communication");
    EXPECT_EQ(child<QComboBox>(f, "txtComPort")->currentText(), "1");
    EXPECT_EQ(child<QLineEdit>(f, "txtECUid")->text(), "EF");
    EXPECT_EQ(child<QLineEdit>(f, "txtSpeed2")->text(), "19200");

    child<QLineEdit>(f, "txtECUid")->setText("ef");
    click(f, "btnSave");
    EXPECT_EQ(w.dialogs.messages, QStringList{"Invalid ECU Id"});
    EXPECT_EQ(w.dialogs.messageKinds.back(), MessageKind::Warning); // with its icon
    EXPECT_EQ(w.store->read("Comms", "ECUid"), "EF");
    ASSERT_TRUE(f);

    child<QLineEdit>(f, "txtECUid")->setText("E0");
    child<QComboBox>(f, "txtComPort2")->setEditText("1");
    click(f, "btnSave");
    EXPECT_EQ(w.dialogs.messages.last(), "Can not use same port number");

    child<QComboBox>(f, "txtComPort")->setEditText("/dev/ttyUSB0");
    child<QLineEdit>(f, "txtSpeed")->setText("19200");
    child<QCheckBox>(f, "chkOBDIImodel")->setChecked(true);
    child<QCheckBox>(f, "chkDebug")->setChecked(true);
    click(f, "btnSave");
    EXPECT_EQ(w.store->read("Comms", "ComPort"), "/dev/ttyUSB0");
    EXPECT_EQ(w.store->read("Comms", "ECUid"), "E0");
    EXPECT_EQ(w.store->read("Comms", "OBDIImodel"), "1");
    EXPECT_EQ(w.store->read("Comms", "Debug"), "1");
    EXPECT_EQ(w.store->read("Comms", "AutoConnect"), "0");
    EXPECT_EQ(w.store->read("WBO2", "ComPort"), "1");
    // The main window took the new values.
    EXPECT_EQ(w.panel(2), "/dev/ttyUSB0 - 19200");
    w.form->link().connectEcu();
    EXPECT_TRUE(w.form->link().obd2());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(f);
}

TEST(CommunicationWindow, AutoConnectReconnectsOnSaveAndCancelSavesNothing) {
    MainWindow w;
    Form3* f = w.form->open<Form3>();
    child<QCheckBox>(f, "chkAutoConnect")->setChecked(true);
    click(f, "btnSave");
    w.settle();
    EXPECT_EQ(w.ecu->written(), QByteArray("\xFF\xFF\xEF\xD0\xF0", 5));
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);

    QPointer<Form3> again = w.form->open<Form3>();
    child<QLineEdit>(again, "txtSpeed")->setText("4800");
    click(again, "btnCancel");
    EXPECT_EQ(w.store->read("Comms", "Speed"), "9600");
}

TEST(PreferencesWindow, TyreCorrectionAndUnits) {
    MainWindow w;
    frmPreferences* f = w.form->open<frmPreferences>();
    EXPECT_EQ(child<QLineEdit>(f, "txtUwidth")->text(), "205");
    child<QLineEdit>(f, "txtUsize")->setText("9");
    click(f, "btnSave");
    EXPECT_EQ(w.dialogs.messages, QStringList{"Invalid tyre size"});
    EXPECT_EQ(w.dialogs.messageKinds.back(), MessageKind::Warning); // with its icon

    child<QLineEdit>(f, "txtUwidth")->setText("255");
    child<QLineEdit>(f, "txtUhight")->setText("40");
    child<QLineEdit>(f, "txtUsize")->setText("18");
    child<QComboBox>(f, "cmbSpeed")->setCurrentIndex(1);
    click(f, "btnSave");
    EXPECT_EQ(w.store->read("TyreSize", "Correction"), "1.05");
    EXPECT_EQ(w.store->read("TyreSize", "Uwidth"), "255");
    EXPECT_EQ(w.store->read("Preferences", "Speed"), "1");
    EXPECT_EQ(w.store->read("Preferences", "Temperature"), "0");
    EXPECT_EQ(w.panel(1), "Spd Corr: 1.05");
    EXPECT_EQ(w.panel(3), "MPH");
    EXPECT_FLOAT_EQ(w.form->state().units.speedCorrect, 1.05f);
}

TEST(DataDisplaySettingsWindow, FillsStopsAtAnEmptyListAndSaves) {
    MainWindow w;
    w.find<QAction>("mnuDataDisplay")->trigger();
    QPointer<frmSettings> f = w.form->findChild<frmSettings*>();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->windowTitle(), "Data Display Settings");
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(child<QComboBox>(f, "cmbGauge1")->currentText(), "Speed");
    EXPECT_EQ(child<QComboBox>(f, "cmbGauge1")->count(), kChannelCount);
    EXPECT_EQ(child<QComboBox>(f, "cmbGauge11")->currentData().toInt(), 14);
    EXPECT_TRUE(child<QCheckBox>(f, "chkReg2")->isChecked());
    EXPECT_EQ(child<QComboBox>(f, "cmbGauge0")->accessibleName(), "Gauge 1");
    EXPECT_FALSE(child<QPushButton>(f, "btnActTest")->isEnabled()); // not connected

    child<QComboBox>(f, "cmbGauge0")->setCurrentIndex(24); // WBo2
    child<QComboBox>(f, "cmbGauge1")->setCurrentIndex(3);
    child<QComboBox>(f, "cmbGauge2")->setCurrentIndex(-1);
    child<QCheckBox>(f, "chkReg2")->setChecked(false);
    click(f, "btnSave");
    EXPECT_EQ(w.dialogs.messages, QStringList{"Please select parameter for every gauge"});
    EXPECT_EQ(w.dialogs.messageKinds.back(), MessageKind::Warning); // with its icon
    EXPECT_EQ(w.store->read("Setup", "Gauge0"), "24");
    EXPECT_EQ(w.store->read("Setup", "Gauge1"), "3");
    EXPECT_EQ(w.store->read("Setup", "Gauge2"), "3"); // the default, not touched
    EXPECT_EQ(w.store->read("Setup", "Register1F"), "1");
    EXPECT_EQ(w.form->state().setup.displaySelection[0], 0); // no getSetup yet
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->isVisible());

    child<QComboBox>(f, "cmbGauge2")->setCurrentIndex(22);
    click(f, "btnSave");
    EXPECT_EQ(w.store->read("Setup", "Gauge2"), "22");
    EXPECT_EQ(w.store->read("Setup", "Register1F"), "0");
    EXPECT_EQ(w.store->read("Setup", "Register21"), "1");
    // The main window reloaded the selection: WBo2 and the flag take no byte now.
    EXPECT_EQ(w.form->state().setup.displaySelection[0], 24);
    EXPECT_EQ(w.form->state().setup.displaySelection[14], 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(f);

    // Escape closes without saving; a connected main window enables the register test.
    w.connectEcu();
    QPointer<frmSettings> again = w.form->open<frmSettings>();
    EXPECT_TRUE(child<QPushButton>(again, "btnActTest")->isEnabled());
    child<QComboBox>(again, "cmbGauge5")->setCurrentIndex(0);
    pressEscape(again);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(again);
    EXPECT_EQ(w.store->read("Setup", "Gauge5"), "12");
}

TEST(ColourWindow, ChooserAnswersAndStoredColours) {
    MainWindow w;
    w.find<QAction>("mnuDisplay")->trigger();
    QPointer<frmColor> f = w.form->findChild<frmColor*>();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->windowTitle(), "Data Display Colours");
    EXPECT_EQ(f->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(f->colour(5), 0x0000FFu);
    EXPECT_EQ(child<QPushButton>(f, "button5")->accessibleName(), "Needle:");

    w.dialogs.colourAnswers = {std::nullopt, 0x123456u, 0x00FF80u};
    click(f, "button0"); // cancelled: unchanged
    EXPECT_EQ(f->colour(0), 0u);
    click(f, "button0");
    EXPECT_EQ(f->colour(0), 0x123456u);
    EXPECT_EQ(child<QPushButton>(f, "button0")->accessibleDescription(), "#563412");
    click(f, "button9");
    click(f, "btnOK");
    EXPECT_EQ(w.store->read("Display", "GaugeBack"), "1193046");
    EXPECT_EQ(w.store->read("Display", "GaugeWindow"), "65408");
    EXPECT_EQ(w.store->read("Display", "GaugeRegister"), "-2147483630"); // system colour kept
    EXPECT_EQ(w.store->read("Display", "GaugeNeedle"), "255");

    // CANCEL and Escape leave the store alone.
    for (bool escape : {false, true}) {
        QPointer<frmColor> again = w.form->open<frmColor>();
        EXPECT_EQ(again->colour(0), 0x123456u);
        w.dialogs.colourAnswers = {0x000001u};
        click(again, "button0");
        if (escape)
            pressEscape(again);
        else
            click(again, "btnCancel");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(again);
        EXPECT_EQ(w.store->read("Display", "GaugeBack"), "1193046");
    }
}

TEST(SettingsRoundTrip, WindowsSaveAndANewMainWindowUsesTheValues) {
    MainWindow w;
    Form3* comms = w.form->open<Form3>();
    child<QComboBox>(comms, "txtComPort")->setEditText("/dev/ttyUSB0");
    child<QLineEdit>(comms, "txtSpeed")->setText("19200");
    child<QComboBox>(comms, "txtComPort2")->setEditText("/dev/ttyUSB1");
    click(comms, "btnSave");
    frmPreferences* prefs = w.form->open<frmPreferences>();
    child<QComboBox>(prefs, "cmbSpeed")->setCurrentIndex(1);
    child<QComboBox>(prefs, "cmbTemp")->setCurrentIndex(1);
    child<QLineEdit>(prefs, "txtUwidth")->setText("255");
    child<QLineEdit>(prefs, "txtUhight")->setText("40");
    child<QLineEdit>(prefs, "txtUsize")->setText("18");
    click(prefs, "btnSave");
    frmSettings* display = w.form->open<frmSettings>();
    // RPM, Water Temperature, Duty Cycle, then Speed in every other slot; one flag only.
    const int chosen[12] = {0, 3, 20, 6, 6, 6, 6, 6, 6, 6, 6, 6};
    for (int k = 0; k < 12; ++k)
        display->cmbGauge(k)->setCurrentIndex(display->cmbGauge(k)->findData(chosen[k]));
    for (int i = 0; i < 4; ++i)
        child<QCheckBox>(display, qPrintable(QStringLiteral("chkReg%1").arg(i)))
            ->setChecked(i == 1);
    click(display, "btnSave");
    ASSERT_TRUE(w.dialogs.messages.isEmpty()) << w.dialogs.messages.join('|').toStdString();

    // A fresh start on the same settings file.
    SettingsStore store(w.store->fileName());
    RecordingDialogs dialogs;
    auto* ecu = new MemoryPort;
    Form2 next(store, dialogs, ecu, new MemoryPort);
    next.load();
    const auto panel = [&](int i) {
        return next.findChild<QLabel*>(QStringLiteral("Panel%1").arg(i))->text();
    };
    EXPECT_EQ(panel(1), "Spd Corr: 1.05");
    EXPECT_EQ(panel(2), "/dev/ttyUSB0 - 19200");
    EXPECT_EQ(panel(3), "MPH");
    EXPECT_EQ(panel(4), "Fahrenheit");
    EXPECT_EQ(next.state().setup.gaugeCatalogue[3].name(), "Water Temp F");
    next.openPort();
    waitUntil([&] { return !next.link().busy(); }, 3000);
    EXPECT_EQ(ecu->openedWith, QStringList{"/dev/ttyUSB0|19200,N,8,1"});
    ecu->writes.clear();
    next.link().run(nullptr, next.iniFullData());
    waitUntil([&] { return !next.link().busy(); }, 3000);
    QByteArray expected("\x5A\x00\x5A\x01\x5A\x08", 6);
    for (int k = 3; k < 12; ++k)
        expected += QByteArray("\x5A\x0B", 2);
    expected += QByteArray("\x5A\x1E", 2);
    EXPECT_EQ(ecu->written(), expected);
    EXPECT_EQ(ecu->threshold(), 2 * (2 + 1 + 9 + 1) + 4);
}
