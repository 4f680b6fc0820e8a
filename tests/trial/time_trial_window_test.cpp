// The speed trial window on the main window's in-memory ECU port, on a clock the test moves.
#include "support/main_window.h"
#include "trial/frmTimeTrial.h"
#include "util/ticks.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
struct TrialWindow {
    MainWindow w;
    QPointer<frmTimeTrial> win;
    uint32_t now = 1000;

    TrialWindow() {
        setTickSource([this] { return now; });
        w.connectEcu();
        w.ecu->writes.clear();
        w.find<QPushButton>("btnTimeTrial")->click();
        w.settle();
        win = w.form->findChild<frmTimeTrial*>();
    }
    ~TrialWindow() { setTickSource({}); }
    template <class T> T* get(const QString& name) { return win->findChild<T*>(name); }
    QCheckBox* box(int i) { return get<QCheckBox>("chcTime" + QString::number(i)); }
    QLabel* time(int i) { return get<QLabel>("lblTime" + QString::number(i)); }
    void click(const char* name) { get<QPushButton>(name)->click(); }
    // A speed frame of `raw` (2 km/h a count) at `ms`, confirmed by the next header.
    void speed(uint32_t ms, int raw) {
        now = ms;
        // After the first frame, each frame's header came with the one before.
        w.ecu->feedEvent(headerSent ? bytes({raw, 0xFF, 1}) : bytes({0xFF, 1, raw, 0xFF, 1}));
        headerSent = true;
    }
    bool headerSent = false;
};
} // namespace

TEST(TimeTrialWindow, ArmsTheSpeedStreamAndTimesATrial) {
    TrialWindow t;
    ASSERT_FALSE(t.win.isNull());
    EXPECT_EQ(t.win->windowTitle(), "Speed Trial");
    EXPECT_EQ(t.w.form->link().readMode(), ReceiveMode::TimeTrial);
    EXPECT_EQ(t.w.ecu->writes,
              (QList<QByteArray>{QByteArray::fromHex("30"), QByteArray::fromHex("5a0b"),
                                 QByteArray::fromHex("f0")}));
    EXPECT_EQ(t.w.ecu->threshold(), 6);
    EXPECT_EQ(t.get<QLineEdit>("txtCustomSpeed")->text(), "62");
    EXPECT_FALSE(t.get<QPushButton>("btnCancel")->isEnabled());

    // Not active: the speed label stays. The first frame passes once the next agrees; that
    // one is still held when the trial starts, and dropped: no car stops from 20 km/h in 0.1 s.
    t.speed(500, 10);
    t.speed(900, 10);
    EXPECT_EQ(t.get<QLabel>("lblSpeed")->text(), "0.0");

    t.box(0)->setChecked(true);
    t.click("btnStart");
    EXPECT_FALSE(t.box(0)->isEnabled());
    EXPECT_TRUE(t.get<QLabel>("lblMsg")->isEnabled());
    t.speed(1000, 0);
    t.speed(2000, 1);
    t.speed(2100, 100); // 200 km/h for one frame: a spike, never timed
    t.speed(2200, 2);
    t.speed(4750, 30);
    // Each frame waits for the next, and is timed when it came.
    EXPECT_EQ(t.time(0)->text(), "0.00");
    t.speed(4760, 30);
    EXPECT_EQ(t.time(0)->text(), "2.75");
    EXPECT_EQ(t.time(0)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_FALSE(t.box(0)->isChecked());
    EXPECT_EQ(t.get<QLabel>("lblSpeed")->text(), "60.0");
    EXPECT_EQ(t.w.dialogs.beeps, 0);
    t.speed(4800, 31); // nothing ticked any more: the automatic finish
    EXPECT_EQ(t.w.dialogs.beeps, 1);
    EXPECT_TRUE(t.get<QPushButton>("btnStart")->isEnabled());
    EXPECT_EQ(t.time(0)->text(), "2.75");

    // Activate with no box ticked: the first sample ends it.
    t.click("btnStart");
    EXPECT_EQ(t.time(0)->text(), "0.00");
    t.speed(5000, 40);
    EXPECT_EQ(t.w.dialogs.beeps, 2);
    EXPECT_TRUE(t.get<QPushButton>("btnStart")->isEnabled());

    // Closing stores the custom texts as typed and reconnects.
    t.get<QLineEdit>("txtCustomStop")->setText("1x");
    QTest::keyClick(t.win, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return t.win.isNull(); }, 3000));
    t.w.settle();
    EXPECT_EQ(t.w.store->read("Trial", "customStop"), "1x");
    EXPECT_EQ(t.w.form->link().readMode(), ReceiveMode::Identify);
}

TEST(TimeTrialWindow, InvalidCustomSpeedAndCancelKeepingBoxFour) {
    TrialWindow t;
    t.box(3)->setChecked(true);
    t.get<QLineEdit>("txtCustomSpeed")->setText("1000");
    t.click("btnStart");
    EXPECT_EQ(t.w.dialogs.messages, QStringList{"Invalid speed entered"});
    EXPECT_TRUE(t.get<QPushButton>("btnStart")->isEnabled());
    EXPECT_TRUE(t.get<QLineEdit>("txtCustomSpeed")->isEnabled());

    t.get<QLineEdit>("txtCustomSpeed")->setText("62");
    t.box(4)->setChecked(true);
    t.click("btnStart");
    EXPECT_TRUE(t.get<QPushButton>("btnCancel")->isEnabled());
    t.click("btnCancel");
    EXPECT_FALSE(t.box(3)->isChecked());
    EXPECT_TRUE(t.box(4)->isChecked());
    EXPECT_EQ(t.w.dialogs.beeps, 1);
    EXPECT_TRUE(t.box(4)->isEnabled());
}

TEST(TimeTrialWindow, LostLinkStopsTheTrialAndSaysSo) {
    TrialWindow t;
    t.box(1)->setChecked(true);
    t.click("btnStart");
    t.w.ecu->disconnectNow();
    EXPECT_TRUE(t.get<QPushButton>("btnStart")->isEnabled());
    EXPECT_FALSE(t.get<QLabel>("lblLink")->isHidden());
    EXPECT_TRUE(t.w.dialogs.messages.isEmpty());
}
