// The data display: its layout arithmetic, and the window on an in-memory port.
#include "live/Form1.h"
#include "live/GaugeGrid.h"
#include "live/display_layout.h"
#include "support/main_window.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

TEST(DisplayLayout, ColumnsRowsAndFontsFromTheWindowSize) {
    DisplayLayout l = displayLayout(12000, 9000);
    EXPECT_EQ(l.column, 3000);
    EXPECT_EQ(l.row, 2500); // (9000 - 1500) / 3
    EXPECT_EQ(l.registerFont, 10);
    EXPECT_EQ(l.onOffFont, 8);
    EXPECT_EQ(l.buttonFont, 8);
    EXPECT_EQ(l.gauges[5].left, 3000);
    EXPECT_EQ(l.gauges[5].top, 2500);
    EXPECT_EQ(l.btnDataLog.left, 9300);
    EXPECT_EQ(l.btnActiveTest.top, 7500 + 500);
    // Indicator 6: third line of the second column.
    EXPECT_EQ(l.registerLabel[6].left, 3000 + 600);
    EXPECT_EQ(l.registerLabel[6].top, 7500 + 2 * 277);
    EXPECT_EQ(l.onOffLabel[6].left, 3000 + 300);

    l = displayLayout(1400, 1000);
    EXPECT_EQ(l.registerFont, 1);
    EXPECT_EQ(l.onOffFont, 1);
    EXPECT_EQ(l.buttonFont, 1);

    EXPECT_EQ(indicatorFlag(4), 12);
    EXPECT_EQ(indicatorFlag(8), 13);
    EXPECT_EQ(indicatorFlag(10), 15);
    EXPECT_EQ(indicatorFlag(11), 14);
    EXPECT_EQ(stateColour(u"Low").colour, 33023u);
    EXPECT_EQ(stateColour(u"Rich").colour, 65280u);
    EXPECT_FALSE(stateColour(u"").known);
}

TEST(DataDisplay, LaunchArmsTheStreamAndFramesMoveTheGauges) {
    MainWindow w;
    w.connectEcu();
    w.ecu->writes.clear();
    QPointer<Form1> f = w.form->open<Form1>();
    w.settle();
    ASSERT_TRUE(f);
    EXPECT_EQ(w.form->link().readMode(), ReceiveMode::LiveData);
    const QByteArray request =
        bytes({0x5A, 0x00, 0x5A, 0x01, 0x5A, 0x0B, 0x5A, 0x08, 0x5A, 0x0C, 0x5A, 0x16,
               0x5A, 0x14, 0x5A, 0x15, 0x5A, 0x1A, 0x5A, 0x0D, 0x5A, 0x04, 0x5A, 0x05,
               0x5A, 0x09, 0x5A, 0x17, 0x5A, 0x13, 0x5A, 0x1E, 0x5A, 0x1F, 0x5A, 0x21});
    EXPECT_EQ(w.ecu->written(), QByteArray("\x30", 1) + request + QByteArray("\xF0", 1));
    EXPECT_EQ(w.ecu->threshold(), 2 * 18 + 4);

    GaugeGrid& g = f->grid();
    EXPECT_EQ(g.lblName(0)->text(), "RPM");
    EXPECT_EQ(g.lblName(2)->text(), "Water Temp C");
    w.ecu->feed(defaultFrame(64, 0x82, 0x02)); // 800 rpm, 80 C, thermo fan high
    EXPECT_FLOAT_EQ(w.form->state().live.gaugeValue[0], 800.0f);
    EXPECT_EQ(g.lblValue(0)->text(), "800");
    EXPECT_EQ(g.lblValue(2)->text(), "80");
    EXPECT_EQ(g.lblValue(3)->text(), "14.0"); // battery, one decimal
    EXPECT_EQ(g.lblMax(0)->text(), "800");
    EXPECT_EQ(g.lblOnOff(7)->text(), "High");
    EXPECT_EQ(g.lblOnOff(7)->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(g.lblOnOff(10)->text(), "Lean");

    // Peaks hold; a click on the peak starts over.
    w.ecu->feed(defaultFrame(48, 0x82, 0x01));
    EXPECT_EQ(g.lblValue(0)->text(), "600");
    EXPECT_EQ(g.lblMax(0)->text(), "800");
    QTest::mouseClick(g.lblMax(0), Qt::LeftButton);
    EXPECT_EQ(g.lblMax(0)->text(), "0");
    w.ecu->feed(defaultFrame(48, 0x82, 0x01));
    EXPECT_EQ(g.lblMax(0)->text(), "600");
    EXPECT_EQ(g.lblOnOff(7)->text(), "Low");
    EXPECT_EQ(g.lblOnOff(7)->palette().color(QPalette::Window), QColor(255, 128, 0));

    // A delivery without a frame changes nothing.
    w.ecu->feed(QByteArray(40, '\x11'));
    EXPECT_EQ(g.lblValue(0)->text(), "600");
}

TEST(DataDisplay, SelectionFlagsGreyIndicatorsAndTwinSlotsAgree) {
    MainWindow w([](SettingsStore& s) {
        s.save("Setup", "Gauge3", "0"); // RPM in slots 0 and 3
        s.save("Setup", "Register1E", "0");
        s.save("Setup", "Register21", "0");
    });
    w.connectEcu();
    Form1* f = w.form->open<Form1>();
    w.settle();
    GaugeGrid& g = f->grid();
    EXPECT_TRUE(g.lblOnOff(0)->isEnabled());
    for (int i : {5, 6, 7, 8, 10})
        EXPECT_FALSE(g.lblOnOff(i)->isEnabled()) << i;
    EXPECT_FALSE(g.lblRegister(10)->isEnabled());
    EXPECT_TRUE(g.lblOnOff(9)->isEnabled());
    // N = 2+1+1+2(RPM)+1+2+0+1+1+2+1+1 + flags 0x13, 0x1F = 17.
    EXPECT_EQ(w.form->state().setup.displayByteCount, 17);
    QByteArray frame =
        bytes({0xFF, 17, 0, 80, 10, 0x82, 0, 88, 100, 0, 0, 120, 0, 0, 20, 0, 0, 0x00, 0x00});
    w.ecu->feed(frame.repeated(3));
    // Each slot reads its own bytes; both show the value decoded last.
    EXPECT_EQ(g.lblValue(0)->text(), "1100");
    EXPECT_EQ(g.lblValue(3)->text(), "1100");
}

TEST(DataDisplay, ClosingReconnects) {
    MainWindow w;
    w.connectEcu();
    QPointer<Form1> f = w.form->open<Form1>();
    w.settle();
    w.ecu->writes.clear();
    f->close();
    ASSERT_TRUE(waitUntil(
        [&] {
            return w.form->link().readMode() == ReceiveMode::Identify && !w.ecu->writes.isEmpty();
        },
        3000));
    waitUntil([&] { return w.ecu->written().endsWith('\xF0'); }, 3000);
    EXPECT_EQ(w.ecu->written(), QByteArray("\x30\xFF\xFF\xEF\xD0\xF0", 6));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(f);
}
