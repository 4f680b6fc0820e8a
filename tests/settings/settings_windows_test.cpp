// The settings windows driven through their controls.
#include "settings/Form3.h"
#include "settings/frmPreferences.h"
#include "support/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
template <class T> T* child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}
void click(QWidget* w, const char* button) {
    QTest::mouseClick(child<QPushButton>(w, button), Qt::LeftButton);
}
} // namespace

TEST(CommunicationWindow, FillsValidatesAndSaves) {
    MainWindow w;
    QPointer<Form3> f = w.form->mnuCommunication_Click();
    EXPECT_EQ(f->windowTitle(), "Communiction");
    EXPECT_EQ(child<QComboBox>(f, "txtComPort")->currentText(), "1");
    EXPECT_EQ(child<QLineEdit>(f, "txtECUid")->text(), "EF");
    EXPECT_EQ(child<QLineEdit>(f, "txtSpeed2")->text(), "19200");

    child<QLineEdit>(f, "txtECUid")->setText("ef");
    click(f, "btnSave");
    EXPECT_EQ(w.dialogs.messages, QStringList{"Invalid ECU Id"});
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
    EXPECT_TRUE(w.form->OBDIImodel);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(f);
}

TEST(CommunicationWindow, AutoConnectReconnectsOnSaveAndCancelSavesNothing) {
    MainWindow w;
    Form3* f = w.form->mnuCommunication_Click();
    child<QCheckBox>(f, "chkAutoConnect")->setChecked(true);
    click(f, "btnSave");
    EXPECT_EQ(w.ecu->written(), QByteArray("\xFF\xFF\xEF\xD0\xF0", 5));
    EXPECT_EQ(w.form->ReadMode, 1);

    QPointer<Form3> again = w.form->mnuCommunication_Click();
    child<QLineEdit>(again, "txtSpeed")->setText("4800");
    click(again, "btnCancel");
    EXPECT_EQ(w.store->read("Comms", "Speed"), "9600");
}

TEST(PreferencesWindow, TyreCorrectionAndUnits) {
    MainWindow w;
    frmPreferences* f = w.form->mnuPreferences_Click();
    EXPECT_EQ(child<QLineEdit>(f, "txtUwidth")->text(), "205");
    child<QLineEdit>(f, "txtUsize")->setText("9");
    click(f, "btnSave");
    EXPECT_EQ(w.dialogs.messages, QStringList{"Invalid tyre size"});

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
    EXPECT_FLOAT_EQ(w.form->SpeedCorrect, 1.05f);
}
