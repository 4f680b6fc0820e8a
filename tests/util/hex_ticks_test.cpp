#include "util/hex.h"
#include "util/ticks.h"

#include <gtest/gtest.h>

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
