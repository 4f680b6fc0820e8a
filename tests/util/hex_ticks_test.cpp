#include "app/TonePlayer.h"
#include "util/hex.h"
#include "util/ticks.h"
#include "util/tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace kx;

TEST(Hex, ParsesAndFormats) {
    EXPECT_EQ(parseHexByte("EF"), 0xEF);
    EXPECT_EQ(parseHexByte("c9"), 0xC9);
    EXPECT_EQ(parseHexByte("0"), 0);
    EXPECT_FALSE(parseHexByte("100"));
    EXPECT_FALSE(parseHexByte(""));
    EXPECT_FALSE(parseHexByte("G1"));
    EXPECT_FALSE(parseHexByte("0x1"));
    EXPECT_EQ(parseHex("7FFF", 0xFFFF), 0x7FFFu);
    EXPECT_FALSE(parseHex("123456789"));
    EXPECT_EQ(hexText(0xC9), "C9");
    EXPECT_EQ(hexText(0x7, 4), "0007");
    EXPECT_TRUE(isAddressPattern("7F A"));
    EXPECT_FALSE(isAddressPattern("7fff"));
    EXPECT_FALSE(isAddressPattern("7FF"));
}

TEST(Ticks, ElapsedSurvivesTheCounterWrap) {
    EXPECT_EQ(elapsedTicks(100, 350), 250u);
    EXPECT_EQ(elapsedTicks(0xFFFFFF00u, 0x10u), 0x110u);
    EXPECT_EQ(elapsedTicks(5, 5), 0u);
}

TEST(Tone, RampsInAndOutAndHoldsItsPitch) {
    const auto s = kx::toneSamples(48000, 1000, 120);
    ASSERT_EQ(s.size(), 5760u);
    // No click: the ends are near silence, the middle reaches the amplitude.
    EXPECT_LE(std::abs(s.front()), 1);
    EXPECT_LE(std::abs(s.back()), 400);
    const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
    EXPECT_NEAR(*hi, 16384, 50);
    EXPECT_NEAR(*lo, -16384, 50);
    // 1000 Hz: 120 rising zero crossings in 120 ms.
    int rising = 0;
    for (size_t i = 1; i < s.size(); ++i)
        rising += s[i - 1] < 0 && s[i] >= 0;
    EXPECT_NEAR(rising, 120, 1);
    EXPECT_TRUE(kx::toneSamples(48000, 1000, 0).empty());
}

TEST(Tone, APlayerAskedManyTimesMergesAndEndsWithoutWaitingOnTheDevice) {
    kx::TonePlayer player; // with or without a sound device
    for (int i = 0; i < 50; ++i)
        player.play();
}
