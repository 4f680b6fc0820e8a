// The time trial and the dashboard against the simulated car's launch: 0 to 100 km/h in 8.0 s
// by the speedometer (2 km/h as it moves off, then 12.25 km/h a second), 140 km/h at 14 s.
#include "dash/dashboard.h"
#include "dash/frmDashboard.h"
#include "support/sim_window.h"
#include "trial/frmTimeTrial.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>
#include <set>

using namespace kx;
using namespace kx::test;

namespace {
kxsim::SimOptions launching(double delay) {
    kxsim::SimOptions o = quietSim();
    o.launchDelay = delay;
    return o;
}
} // namespace

TEST(TimeTrialE2E, LaunchGivesTheProfilesTimes) {
    SimMainWindow k(launching(1.0));
    ASSERT_TRUE(k.connectEcu());
    frmTimeTrial* win = k.form().open<frmTimeTrial>();
    for (const char* box : {"chcTime0", "chcTime1"})
        win->findChild<QCheckBox*>(box)->setChecked(true);
    win->btnStart_Click();
    auto* start = win->findChild<QPushButton*>("btnStart");
    ASSERT_TRUE(waitUntil([&] { return start->isEnabled(); }, 20000));
    // Within a frame interval (30 bits at 9600 baud) plus 20 ms, plus the 2-decimal rounding,
    // and 30 ms more for a loaded machine, which delays the simulator's bytes after its engine.
    const double tolerance = 30.0 / 9600 + 0.020 + 0.005 + 0.030;
    const double truth[2] = {58 / 12.25, 8.0};
    for (int i = 0; i < 2; ++i) {
        const QString shown = win->findChild<QLabel*>(QString("lblTime%1").arg(i))->text();
        EXPECT_NEAR(shown.toDouble(), truth[i], tolerance) << i;
    }
    EXPECT_EQ(k.w->dialogs.beeps, 1);
}

TEST(DashboardE2E, SpeedLampFlashesOnceTheLimitIsPassed) {
    SimMainWindow k(launching(0.5), [](SettingsStore& s) { s.save("Dashboard", "Speed", "20"); });
    ASSERT_TRUE(k.connectEcu());
    frmDashboard* win = k.form().open<frmDashboard>();
    const uint32_t back = win->lampFill(1);
    ASSERT_TRUE(waitUntil([&] { return k.form().state().live.gaugeValue[6] > 0; }, 5000));
    EXPECT_EQ(win->lampFill(1), back);
    EXPECT_EQ(k.w->dialogs.beeps, 0);
    // Past 20 km/h 1.5 s after moving off: red and blue in turn, with beeps.
    std::set<uint32_t> seen;
    EXPECT_TRUE(waitUntil(
        [&] {
            seen.insert(win->lampFill(1));
            return seen.count(kRed) && seen.count(kBlue);
        },
        8000));
    EXPECT_GT(k.form().state().live.gaugeValue[6], 20.0f);
    EXPECT_GT(k.w->dialogs.beeps, 1);
    EXPECT_EQ(win->lampFill(0), back); // engine speed stays under 6000 below 125 km/h
}
