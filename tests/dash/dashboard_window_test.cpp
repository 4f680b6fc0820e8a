// The dashboard and its set-up window on the main window's in-memory ECU port.
#include "dash/dashboard.h"
#include "dash/frmDashSetup.h"
#include "dash/frmDashboard.h"
#include "gauges/GaugePicture.h"
#include "support/main_window.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
// Default dials RPM and Speed: the three fixed bytes and the dials' three; then the next
// frame's header, which confirms it.
QByteArray dashFrame(int rpmRaw, int speedRaw) {
    return bytes({0xFF, 6, rpmRaw >> 8, rpmRaw & 0xFF, speedRaw, rpmRaw >> 8, rpmRaw & 0xFF,
                  speedRaw, 0xFF, 6});
}
// The frames after the first: their header came with the frame before.
QByteArray dashBody(int rpmRaw, int speedRaw) {
    return dashFrame(rpmRaw, speedRaw).mid(2);
}
} // namespace

TEST(DashboardWindow, StreamsFlashesBeepsAndClosesByDoubleClick) {
    MainWindow w;
    w.connectEcu();
    w.ecu->writes.clear();
    w.find<QPushButton>("btnDashboard")->click();
    w.settle();
    QPointer<frmDashboard> win = w.form->findChild<frmDashboard*>();
    ASSERT_FALSE(win.isNull());
    EXPECT_EQ(win->windowTitle(), "Dashboard");
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Dashboard);
    EXPECT_EQ(w.ecu->writes, (QList<QByteArray>{QByteArray::fromHex("30"),
                                                QByteArray::fromHex("5a005a015a0b5a005a015a0b"),
                                                QByteArray::fromHex("f0")}));
    EXPECT_EQ(w.ecu->threshold(), 16);
    EXPECT_EQ(win->lblAlert(0)->text(), "RPM ALERT");
    EXPECT_EQ(win->lblAlert(1)->text(), "SPEED ALERT");
    const uint32_t back = win->lampFill(0);

    // 521 is 6512 rpm, over the default 6000: orange, back, orange, one beep a frame. The
    // stream's first frame shows once the next agrees with it; each later one once the next
    // has come.
    w.ecu->feedEvent(dashFrame(521, 50));
    EXPECT_EQ(w.dialogs.beeps, 0);
    w.ecu->feedEvent(dashBody(521, 50));
    EXPECT_EQ(win->lampFill(0), kOrange);
    EXPECT_EQ(w.dialogs.beeps, 1);
    w.ecu->feedEvent(dashBody(521, 50));
    EXPECT_EQ(win->lampFill(0), back);
    EXPECT_EQ(w.dialogs.beeps, 2);
    w.ecu->feedEvent(dashBody(400, 56));
    EXPECT_EQ(win->lampFill(0), kOrange);
    EXPECT_EQ(win->lampFill(1), back);
    const int beeps = w.dialogs.beeps;
    EXPECT_EQ(beeps, 3);
    EXPECT_EQ(win->lblValue(0)->text(), "6512");
    EXPECT_EQ(win->lblValue(1)->text(), "100.0");
    // Under the limit again; then 112 km/h over the speed limit of 110: red, blue.
    w.ecu->feedEvent(dashBody(400, 56));
    EXPECT_EQ(win->lampFill(0), back);
    EXPECT_EQ(win->lampFill(1), kRed);
    w.ecu->feedEvent(dashBody(400, 56));
    EXPECT_EQ(win->lampFill(1), kBlue);
    EXPECT_EQ(w.dialogs.beeps, beeps + 2);
    // 2 km/h for one frame between two at 112: no engine stops like that; never shown.
    w.ecu->feedEvent(dashBody(400, 1));
    w.ecu->feedEvent(dashBody(400, 56));
    EXPECT_EQ(w.form->state().live.gaugeValue[6], 112.0f);
    EXPECT_EQ(win->lampFill(1), kRed);
    EXPECT_EQ(w.dialogs.beeps, beeps + 3);
    // Bytes that hold no confirmed frame change nothing: no alert steps on old values.
    w.ecu->feed(QByteArray(16, '\0'));
    EXPECT_EQ(win->lampFill(1), kRed);
    EXPECT_EQ(w.dialogs.beeps, beeps + 3);

    win->showMaximized();
    QTest::mouseDClick(win->picGauge(1), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return win.isNull(); }, 3000));
    w.settle();
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::Identify);
}

// The set-up saved while the dashboard streams takes effect at the next opening: the running
// stream goes on decoding, naming and alerting as it was armed.
TEST(DashboardWindow, ASetupSavedMidStreamWaitsForTheNextOpening) {
    MainWindow w;
    w.connectEcu();
    w.find<QPushButton>("btnDashboard")->click();
    w.settle();
    QPointer<frmDashboard> win = w.form->findChild<frmDashboard*>();
    ASSERT_FALSE(win.isNull());
    const uint32_t back = win->lampFill(0);
    w.ecu->feedEvent(dashFrame(521, 50));
    w.ecu->feedEvent(dashBody(521, 50)); // the first frame shows once the next agrees
    EXPECT_EQ(win->lampFill(0), kOrange);

    // Water Temp (one byte) on the left dial: another frame length.
    w.store->save("Dashboard", "Gauge0", "3");
    w.form->getSetup();
    const int beeps = w.dialogs.beeps;
    w.ecu->feedEvent(dashBody(400, 50)); // the frame held, over the limit, beeps once more
    w.ecu->feedEvent(dashBody(400, 50)); // the frame before is let through
    EXPECT_EQ(win->lampFill(0), back);
    EXPECT_EQ(w.dialogs.beeps, beeps + 1);
    EXPECT_EQ(w.form->state().live.gaugeValue[0], 5000.0f);
    EXPECT_EQ(win->findChild<QLabel*>("lblName0")->text(), "RPM");

    win->close();
    w.settle();
    w.ecu->writes.clear();
    w.find<QPushButton>("btnDashboard")->click();
    w.settle();
    win = w.form->findChild<frmDashboard*>();
    ASSERT_FALSE(win.isNull());
    EXPECT_TRUE(w.ecu->written().contains(QByteArray::fromHex("5a0b5a085a0bf0")));
    EXPECT_EQ(win->findChild<QLabel*>("lblName0")->text(), "Water Temp C");
}

TEST(DashboardSetupWindow, ValidatesThenStoresInOrderAndRebuildsTheSelection) {
    MainWindow w;
    w.form->findChild<QAction*>("mnuDashboardSetup")->trigger();
    QPointer<frmDashSetup> win = w.form->findChild<frmDashSetup*>();
    ASSERT_FALSE(win.isNull());
    auto* list0 = win->findChild<QComboBox*>("cmbGauge0");
    auto* list1 = win->findChild<QComboBox*>("cmbGauge1");
    auto* rpm = win->findChild<QLineEdit*>("txtRPM");
    auto* speed = win->findChild<QLineEdit*>("txtSpeed");
    EXPECT_EQ(list0->count(), kChannelCount);
    EXPECT_EQ(list0->currentIndex(), 0);
    EXPECT_EQ(list1->currentText(), "Speed");
    EXPECT_EQ(rpm->text(), "6000");
    auto* save = win->findChild<QPushButton*>("btnSave");

    rpm->setText("650");
    save->click();
    speed->setText("5");
    rpm->setText("0999");
    save->click();
    speed->setText("99");
    list0->setCurrentIndex(12);
    list1->setCurrentIndex(-1);
    save->click();
    EXPECT_EQ(w.dialogs.messages, (QStringList{"Invalid RPM entered", "Invalid Speed entered",
                                               "Please select parameter for every gauge"}));
    EXPECT_EQ(w.dialogs.messageKinds[1], MessageKind::Warning);
    EXPECT_EQ(w.dialogs.messageKinds[2], MessageKind::Plain);
    // Gauge 1 was stored before the empty list stopped the save; nothing after it.
    EXPECT_EQ(w.store->read("Dashboard", "Gauge0"), "12");
    EXPECT_EQ(w.store->read("Dashboard", "RPM"), "6000");
    ASSERT_FALSE(win.isNull());

    list1->setCurrentIndex(19);
    save->click();
    EXPECT_TRUE(waitUntil([&] { return win.isNull(); }, 3000));
    EXPECT_EQ(w.store->read("Dashboard", "Gauge1"), "19");
    EXPECT_EQ(w.store->read("Dashboard", "RPM"), "0999");
    EXPECT_EQ(w.store->read("Dashboard", "Speed"), "99");
    EXPECT_EQ(w.form->state().setup.dashSelection, (std::array<uint8_t, 2>{12, 19}));
    EXPECT_EQ(w.form->state().setup.dashByteCount, 4);
}
