// The speed stream's reading and the five trials, on a clock the test moves.
#include "support/test_support.h"
#include "trial/time_trial.h"
#include "util/numbers.h"

#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
using Boxes = std::array<bool, kTrialCount>;

// Feeds (ms, speed) samples; returns the sample index at which the trial finished, or -1.
int run(TimeTrial& t, std::initializer_list<std::pair<uint32_t, float>> samples) {
    int i = 0;
    for (const auto& [ms, speed] : samples) {
        if (t.checkSpeed(speed, ms).finish) {
            t.cancel();
            return i;
        }
        ++i;
    }
    return -1;
}
} // namespace

TEST(SpeedStream, FindsTheFrameInItsFirstFourPositionsAndConverts) {
    EXPECT_EQ(speedRequest(), QByteArray::fromHex("5a0b"));
    const struct {
        QByteArray delivery;
        Units units;
        bool found;
        float speed;
    } cases[] = {
        {bytes({0xFF, 1, 50, 0xFF, 1, 51}), {}, true, 100.0f},
        {bytes({0, 0, 0, 0xFF, 1, 30}), {}, true, 60.0f},
        {bytes({0, 0, 0, 0, 0xFF, 1, 30}), {}, false, 7.0f}, // header too late
        {bytes({0, 0, 0, 0xFF, 1}), {}, false, 7.0f},        // cut short
        {bytes({0xFF, 1, 48}), {false, true, 1.0f}, true, 60.0f},
        {bytes({0xFF, 1, 50}), {false, false, 1.05f}, true, 105.0f},
    };
    for (const auto& c : cases) {
        const auto speed = trialSpeed(readFrame(c.delivery, speedLayout()), c.units);
        EXPECT_EQ(speed.has_value(), c.found);
        EXPECT_EQ(speed.value_or(7.0f), c.speed);
    }
}

TEST(SpeedTrial, CustomSpeedsAreOneToThreeDigits) {
    for (const char* t : {"0", "62", "240"})
        EXPECT_TRUE(customSpeed(t)) << t;
    for (const char* t : {"", "1000", "6.5", "-6", "+6", " 62", "6 2"})
        EXPECT_FALSE(customSpeed(t)) << t;
}

TEST(SpeedTrial, StandingStartTimesEveryTickedTrialThenFinishes) {
    TimeTrial t;
    t.activate({true, true, true, true, true}, 80, 40, 120);
    // Armed at a standstill; moving at 1000 ms; 50 at 3000; 60 at 3500; 80 at 4500; 100 at
    // 6000; 120 at 7010; the next sample finishes.
    EXPECT_EQ(run(t, {{500, 0},
                      {1000, 2},
                      {2500, 40},
                      {3000, 50},
                      {3500, 60},
                      {4500, 80},
                      {6000, 100},
                      {7010, 120},
                      {7100, 122}}),
              8);
    EXPECT_EQ(t.result(0), 2.5f);
    EXPECT_EQ(t.result(1), 5.0f);
    EXPECT_EQ(t.result(2), 3.0f);
    EXPECT_EQ(t.result(3), 3.5f);
    EXPECT_EQ(t.result(4), 4.51f);
    EXPECT_EQ(t.trialTimes(), TimeTrial::Stamps{});
    // Boxes 0 to 3 are unticked by the cancel; box 4 by its own finish.
    EXPECT_EQ(t.ticked(), Boxes{});
}

// Whole milliseconds to hundredths, halves to even, in integers.
TEST(SpeedTrial, ResultsRoundTheMillisecondsHalfToEven) {
    const struct {
        uint32_t ms;
        const char* shown;
    } cases[] = {{545, "0.54"}, {555, "0.56"}, {5455, "5.46"}, {1005, "1"},   {1015, "1.02"},
                 {544, "0.54"}, {546, "0.55"}, {0, "0"},       {99995, "100"}};
    for (const auto& c : cases) {
        TimeTrial t;
        t.activate({true, false, false, false, false}, 0, 0, 0);
        run(t, {{1000, 2}, {1000 + c.ms, 60}});
        EXPECT_EQ(singleText(t.result(0)), c.shown) << c.ms;
    }
}

TEST(SpeedTrial, EdgeCases) {
    // No box ticked: the first sample finishes, all times 0.
    TimeTrial none;
    none.activate({}, 0, 0, 0);
    EXPECT_EQ(run(none, {{100, 0}}), 0);
    EXPECT_FALSE(none.active());

    // Rolling start: the first sample is the start, 0-60 measures from there.
    TimeTrial rolling;
    rolling.activate({true, false, false, false, false}, 0, 0, 0);
    run(rolling, {{1000, 30}, {3000, 60}});
    EXPECT_EQ(rolling.result(0), 2.0f);

    // 50-100 with the first sample at 70: the band starts there.
    TimeTrial band;
    band.activate({false, false, true, false, false}, 0, 0, 0);
    run(band, {{2000, 70}, {5333, 100}});
    EXPECT_EQ(band.result(2), 3.33f);

    // The end in the same sample as the start: 0.
    TimeTrial same;
    same.activate({false, false, false, false, true}, 0, 40, 40);
    run(same, {{100, 0}, {900, 45}});
    EXPECT_EQ(same.result(4), 0.0f);

    // A custom speed of 0 is not reached at a standstill: it times from moving off.
    TimeTrial zero;
    zero.activate({false, false, false, true, false}, 0, 0, 0);
    EXPECT_EQ(run(zero, {{90000, 0}, {90000, 0}, {91000, 2}, {91100, 4}}), 3);
    EXPECT_EQ(zero.result(3), 0.0f);

    // Across the tick counter's wrap.
    TimeTrial wrap;
    wrap.activate({true, false, false, false, false}, 0, 0, 0);
    run(wrap, {{0xFFFFFC18u, 2}, {3000, 60}}); // 1000 ms before the wrap, 3000 after
    EXPECT_EQ(wrap.result(0), 4.0f);

    // The clock reads 0 at its first use: a stamp taken then is a stamp.
    TimeTrial atZero;
    atZero.activate({true, false, true, false, false}, 0, 0, 0);
    run(atZero, {{0, 50}, {2000, 60}, {3000, 100}});
    EXPECT_EQ(atZero.result(0), 2.0f);
    EXPECT_EQ(atZero.result(2), 3.0f);

    // Cancel keeps box 4 only.
    TimeTrial c;
    c.activate({true, true, true, true, true}, 62, 40, 120);
    c.cancel();
    EXPECT_EQ(c.ticked(), (Boxes{false, false, false, false, true}));
}
