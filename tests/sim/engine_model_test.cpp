// The engine model as the registers show it: start, warm-up, idle, the drive, determinism.
#include "engine_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace kxsim;

namespace {

std::vector<uint8_t> registerDump(const EngineModel& m) {
    std::vector<uint8_t> d;
    for (int r = 0; r <= 0x36; ++r)
        d.push_back(m.registerValue(uint8_t(r)));
    return d;
}

} // namespace

TEST(EngineModel, SameSeedSameRunOtherSeedOtherRun) {
    EngineModel a(7);
    EngineModel b(7);
    EngineModel c(8);
    bool differs = false;
    for (int i = 0; i < 600; ++i) {
        a.advance(0.25);
        b.advance(0.25);
        c.advance(0.25);
        ASSERT_EQ(registerDump(a), registerDump(b)) << "at step " << i;
        differs = differs || registerDump(a) != registerDump(c);
    }
    EXPECT_TRUE(differs);
}

TEST(EngineModel, StartsThenWarmsUpAndIdles) {
    EngineModel m(1, 20);
    m.advance(0.5);
    EXPECT_NE(m.registerValue(0x13) & 0x02, 0); // start signal while cranking
    EXPECT_LT(m.registerValue(0x0C) * 0.08, 11.0);
    EXPECT_EQ(m.registerValue(0x08), 70); // 20 C
    m.advance(5);
    EXPECT_EQ(m.registerValue(0x13) & 0x02, 0);
    EXPECT_NEAR(m.registerValue(0x0C) * 0.08, 14.1, 0.2);
    EXPECT_GT(m.state().rpm, 950); // fast idle while cold

    m.advance(54.5); // one minute: warmer, not yet warm
    const int atMinute = m.registerValue(0x08) - 50;
    EXPECT_GT(atMinute, 40);
    EXPECT_LT(atMinute, 80);
    m.advance(245); // five minutes and more: at working temperature
    EXPECT_NEAR(m.registerValue(0x08) - 50, 86, 2);

    // Warm idle (scenario seconds 305 to 315 are idle): about 800 rpm, never perfectly still.
    double lo = 1e9;
    double hi = 0;
    double sum = 0;
    int lean = 0;
    for (int i = 0; i < 100; ++i) {
        m.advance(0.1);
        const double rpm = (m.registerValue(0x00) * 256 + m.registerValue(0x01)) * 12.5;
        lo = std::min(lo, rpm);
        hi = std::max(hi, rpm);
        sum += rpm;
        lean += (m.registerValue(0x21) & 0x80) ? 1 : 0;
        EXPECT_EQ(m.registerValue(0x13) & 0x05, 0x05); // closed throttle, neutral
        EXPECT_EQ(m.registerValue(0x0B), 0);
    }
    EXPECT_NEAR(sum / 100, 800, 60);
    EXPECT_GT(hi - lo, 10);
    // The oxygen sensor swings around stoichiometric, so the lean flag comes and goes.
    EXPECT_GT(lean, 20);
    EXPECT_LT(lean, 80);
}

TEST(EngineModel, DriveReachesHundredAndComesBackToRest) {
    EngineModel m(3, 86);
    m.advance(40); // the drive begins 40 s into each cycle
    double t = 0;
    double t60 = 0;
    double t100 = 0;
    int maxRaw = 0;
    bool wasteGate = false;
    while (t < 35) {
        m.advance(0.05);
        t += 0.05;
        const int raw = m.registerValue(0x0B);
        maxRaw = std::max(maxRaw, raw);
        if (t60 == 0 && raw * 2 >= 60) t60 = t;
        if (t100 == 0 && raw * 2 >= 100) t100 = t;
        wasteGate = wasteGate || (m.registerValue(0x1F) & 0x20);
        if (t < 13) {
            EXPECT_EQ(m.registerValue(0x13) & 0x01, 0) << "throttle open at " << t;
        }
    }
    EXPECT_GT(t60, 2);
    EXPECT_LT(t60, t100);
    EXPECT_LT(t100, 13); // reached while still accelerating
    EXPECT_GE(maxRaw * 2, 120);
    EXPECT_TRUE(wasteGate);
    EXPECT_EQ(m.registerValue(0x0B), 0); // braked to a stop by 75 s
    EXPECT_EQ(m.registerValue(0x13) & 0x04, 0x04);
}

TEST(EngineModel, LaunchStepsTheSpeedometerToHundredInEightSeconds) {
    EngineModel m(3);
    m.advance(30); // past the start, idling
    m.startLaunch(1.0);
    // (seconds after startLaunch, speed register, engine speed register count)
    const struct {
        double at;
        int speed;
        int rpm;
    } marks[] = {{0.999, 0, 64},
                 {1.001, 1, 86},
                 {1.0 + 29 / 6.125 - 1e-3, 29, -1},
                 {1.0 + 29 / 6.125 + 1e-3, 30, -1},
                 {8.999, 49, -1},
                 {9.001, 50, 400},
                 {15.0, 70, 528},
                 {40.0, 70, 528}};
    double now = 0;
    for (const auto& mark : marks) {
        m.advance(mark.at - now);
        now = mark.at;
        EXPECT_EQ(m.registerValue(0x0B), mark.speed) << mark.at;
        if (mark.rpm >= 0) {
            EXPECT_EQ(m.rpmRaw(), mark.rpm) << mark.at;
        }
    }
    // A new start stands the car still again.
    m.startLaunch(1.0);
    EXPECT_EQ(m.registerValue(0x0B), 0);
}
