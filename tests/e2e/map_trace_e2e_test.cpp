// The map trace against the simulated ECU over a pty: the grid holds the simulator's scales
// and map, and the marked cell follows its engine.
#include "support/sim_window.h"
#include "tools/frmMapTData.h"
#include "tools/frmMapTrace.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <cmath>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
// The grid place (row, column, 1 to 16) of a reading, found the plain way: the first header at
// least the value, else the last.
int place(const std::array<int, 16>& headers, int value) {
    int i = 0;
    while (i < 15 && headers[size_t(i)] < value)
        ++i;
    return i + 1;
}
} // namespace

TEST(MapTraceE2E, GridHoldsTheSimulatorsMapAndTheMarkFollowsItsEngine) {
    auto o = quietSim();
    o.timeScale = 4; // the engine revs within a few seconds
    // The reading's own pauses stay; the line itself is faster, so the 288 reads take less.
    o.baud = 115200;
    SimMainWindow k(o, [](SettingsStore& s) { s.save("Comms", "Speed", "115200"); });
    ASSERT_TRUE(k.connectEcu());
    frmMapTrace* win = k.form().open<frmMapTrace>();
    k.settle();
    ASSERT_NE(win->setup(), nullptr);
    win->setup()->findChild<QPushButton*>("btnOK")->click(); // the stored RB25DET fuel map
    ASSERT_TRUE(waitUntil([&] { return win->tracing(); }, 60000));

    const auto cell = [&](int i) {
        return win->findChild<QLabel*>(QStringLiteral("lblMapCell%1").arg(i));
    };
    const kxsim::Bytes rpmScale = k.sim.memory(0x7B00, 16);
    const kxsim::Bytes tpScale = k.sim.memory(0x7AF0, 16);
    const kxsim::Bytes map = k.sim.memory(0x7400, 256);
    std::array<int, 16> rpmHeaders{}, tpHeaders{};
    for (int i = 0; i < 16; ++i) {
        rpmHeaders[size_t(i)] = 50 * rpmScale[size_t(i)];
        tpHeaders[size_t(i)] = tpScale[size_t(i)];
        EXPECT_EQ(cell(1 + i)->text().toInt(), rpmHeaders[size_t(i)]) << i;
        EXPECT_EQ(cell(17 + i)->text().toInt(), tpHeaders[size_t(i)]) << i;
    }
    // Every read against the window's in-memory port is pinned by the window test; here a
    // row of the map over the real line, and the corners.
    for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 255})
        EXPECT_EQ(cell(33 + n)->text().toInt(), map[size_t(n)]) << n;

    // Each look: the marked cell is the one of the speed and throttle shown, and the speed
    // shown is the simulator's of a moment ago. Looks go on until the trace has wandered.
    ASSERT_TRUE(
        waitUntil([&] { return !win->findChild<QLabel*>("lblRPM")->text().isEmpty(); }, 5000));
    const QColor current(0x80, 0xFF, 0x80);
    QSet<int> visited;
    QElapsedTimer clock;
    clock.start();
    for (int look = 0; look < 10 || (visited.size() < 3 && clock.elapsed() < 60000); ++look) {
        const double before = k.sim.engineState().rpm;
        waitUntil([] { return false; }, 40);
        const int rpm = win->findChild<QLabel*>("lblRPM")->text().toInt();
        const int tp = win->findChild<QLabel*>("lblTP")->text().toInt();
        const double after = k.sim.engineState().rpm;
        EXPECT_GE(rpm, std::min(before, after) - 400) << look;
        EXPECT_LE(rpm, std::max(before, after) + 400) << look;
        // Cell labels run 33 to 288, row by row of 16.
        const int marked = 16 + 16 * place(rpmHeaders, rpm) + place(tpHeaders, tp);
        EXPECT_EQ(cell(marked)->palette().color(QPalette::Window), current) << look;
        visited.insert(marked);
    }
    EXPECT_GE(visited.size(), 3); // the trace wanders as the engine revs
    EXPECT_EQ(k.form().state().live.gaugeValue[0], win->findChild<QLabel*>("lblRPM")->text().toFloat());

    win->close();
    k.settle();
    ASSERT_TRUE(waitUntil([&] { return k.partNumber() == "1U800"; }, 5000));
}
