// The speed stream's decoder and the five trials, on a clock the test moves.
#include "support/test_support.h"
#include "trial/time_trial.h"

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
        LiveValues v;
        v.gaugeValue[6] = 7.0f;
        EXPECT_EQ(getSpeedData(c.delivery, c.units, v), c.found);
        EXPECT_EQ(v.gaugeValue[6], c.speed);
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
    EXPECT_DOUBLE_EQ(t.result(0), 2.5);
    EXPECT_DOUBLE_EQ(t.result(1), 5.0);
    EXPECT_DOUBLE_EQ(t.result(2), 3.0);
    EXPECT_DOUBLE_EQ(t.result(3), 3.5);
    EXPECT_DOUBLE_EQ(t.result(4), 4.51);
    EXPECT_EQ(t.trialTimes(), (std::array<double, 8>{}));
    // Boxes 0 to 3 are unticked by the cancel; box 4 by its own finish.
    EXPECT_EQ(t.ticked(), Boxes{});
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
    EXPECT_DOUBLE_EQ(rolling.result(0), 2.0);

    // 50-100 with the first sample at 70: the band starts there.
    TimeTrial band;
    band.activate({false, false, true, false, false}, 0, 0, 0);
    run(band, {{2000, 70}, {5333, 100}});
    EXPECT_DOUBLE_EQ(band.result(2), 3.33);

    // The end in the same sample as the start: 0.
    TimeTrial same;
    same.activate({false, false, false, false, true}, 0, 40, 40);
    run(same, {{100, 0}, {900, 45}});
    EXPECT_DOUBLE_EQ(same.result(4), 0.0);

    // A custom speed of 0 is not reached at a standstill: it times from moving off.
    TimeTrial zero;
    zero.activate({false, false, false, true, false}, 0, 0, 0);
    EXPECT_EQ(run(zero, {{90000, 0}, {90000, 0}, {91000, 2}, {91100, 4}}), 3);
    EXPECT_DOUBLE_EQ(zero.result(3), 0.0);

    // Across the tick counter's wrap.
    TimeTrial wrap;
    wrap.activate({true, false, false, false, false}, 0, 0, 0);
    run(wrap, {{0xFFFFFC18u, 2}, {3000, 60}}); // 1000 ms before the wrap, 3000 after
    EXPECT_DOUBLE_EQ(wrap.result(0), 4.0);

    // Cancel keeps box 4 only.
    TimeTrial c;
    c.activate({true, true, true, true, true}, 62, 40, 120);
    c.cancel();
    EXPECT_EQ(c.ticked(), (Boxes{false, false, false, false, true}));
}
