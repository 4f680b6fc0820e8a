// Self-diagnostics and active tests against the simulated ECU, through QSerialPort on a pty.
#include "live/Form1.h"
#include "live/GaugeGrid.h"
#include "support/sim_window.h"
#include "tools/frmActiveTest.h"
#include "tools/frmSelfDiag.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

TEST(SelfDiagE2E, StoredCodesShowAndResetErasesThem) {
    SimMainWindow k;
    ASSERT_TRUE(k.connectEcu());
    k.w->find<QPushButton>("btnSelfDiag")->click();
    QPointer<frmSelfDiag> win = k.form().findChild<frmSelfDiag*>();
    ASSERT_FALSE(win.isNull());
    auto* txt = win->findChild<QPlainTextEdit*>("txtFaults");
    const QString stored = "Code 13: Engine Coolant Temperature Sensor Circuit\n"
                           " >Car started 2 times with this fault\n"
                           "Code 43: Throttle Position Sensor Circuit\n"
                           " >Car started 5 times with this fault\n";
    ASSERT_TRUE(waitUntil([&] { return txt->toPlainText() == stored; }, 5000))
        << txt->toPlainText().toStdString();

    win->findChild<QPushButton*>("btnReset")->click();
    k.settle();
    EXPECT_TRUE(k.sim.faultCodes().empty());
    EXPECT_TRUE(waitUntil([&] { return txt->toPlainText() == "Code 55: No Faults"; }, 5000))
        << txt->toPlainText().toStdString();

    // New faults come and go with the stream, the window follows.
    k.sim.setFaultCodes({{0x21, 1}, {0x3F, 9}});
    EXPECT_TRUE(waitUntil(
        [&] {
            return txt->toPlainText() == "Code 21: Ignition signal circuit >Car started 1 times "
                                         "with this fault\nCode 3F >Car started 9 times with "
                                         "this fault\n";
        },
        5000))
        << txt->toPlainText().toStdString();

    // Closing hands the link back: a fresh identification in mode 1.
    QTest::keyClick(win, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return win.isNull(); }, 3000));
    k.settle();
    EXPECT_EQ(k.form().link().readMode(), ReceiveMode::Identify);
    EXPECT_TRUE(
        waitUntil([&] { return k.sim.streamKind() == kxsim::StreamKind::Identification; }, 3000));
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());
}

TEST(ActiveTestE2E, ForcedCoolantShowsInLiveDataAndStopRestoresIt) {
    SimMainWindow k;
    ASSERT_TRUE(k.connectEcu());
    Form2& f = k.form();
    Form1* display = f.open<Form1>();
    const auto coolant = [&] { return f.state().live.gaugeValue[3]; };
    ASSERT_TRUE(waitUntil([&] { return coolant() >= 15 && coolant() < 60; }, 5000)) << coolant();

    // Opened from the data display, which keeps streaming.
    display->findChild<QPushButton*>("btnActiveTest")->click();
    frmActiveTest* win = f.findChild<frmActiveTest*>();
    ASSERT_NE(win, nullptr);
    auto* list = win->findChild<QComboBox*>("cmbEngineTemp");
    list->setCurrentIndex(list->findText("90"));
    win->findChild<QPushButton*>("btnStartTemp")->click();
    k.settle();
    EXPECT_EQ(k.sim.activeTest(), (kxsim::ActiveTest{0x80, 140}));
    EXPECT_TRUE(waitUntil([&] { return coolant() == 90; }, 5000)) << coolant();
    EXPECT_EQ(f.link().readMode(), ReceiveMode::LiveData);
    EXPECT_TRUE(waitUntil([&] { return display->grid().lblValue(2)->text() == "90"; }, 3000));

    // The test outlives its window.
    QPointer<frmActiveTest> guard = win;
    win->close();
    EXPECT_TRUE(waitUntil([&] { return guard.isNull(); }, 3000));
    QTest::qWait(300);
    EXPECT_EQ(k.sim.activeTest(), (kxsim::ActiveTest{0x80, 140}));
    EXPECT_EQ(coolant(), 90);

    // STOP from a reopened window (after a test of its own) ends it; live data carries on.
    win = f.open<frmActiveTest>();
    win->findChild<QPushButton*>("btnStart8C")->click();
    k.settle();
    win->findChild<QPushButton*>("btnStop8C")->click();
    k.settle();
    EXPECT_FALSE(k.sim.activeTest().has_value());
    EXPECT_TRUE(waitUntil([&] { return coolant() < 60; }, 5000)) << coolant();
    EXPECT_TRUE(k.w->dialogs.messages.isEmpty());
}
