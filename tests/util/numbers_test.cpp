#include "util/numbers.h"

#include <gtest/gtest.h>

using namespace kx;

TEST(Numbers, RoundingTakesHalvesToEven) {
    EXPECT_EQ(roundHalfEven(2.5), 2.0);
    EXPECT_EQ(roundHalfEven(3.5), 4.0);
    EXPECT_EQ(roundHalfEven(-2.5), -2.0);
    EXPECT_DOUBLE_EQ(roundHalfEven(0.125, 2), 0.12);
    EXPECT_DOUBLE_EQ(roundHalfEven(0.375, 2), 0.38);
    EXPECT_DOUBLE_EQ(roundHalfEven(50.196, 0), 50.0);
    EXPECT_FLOAT_EQ(roundHalfEvenF(2.5f), 2.0f);
    EXPECT_FLOAT_EQ(roundHalfEvenF(0.125f, 2), 0.12f);
    EXPECT_EQ(roundToInt(1.5), 2);
    EXPECT_EQ(roundToInt(0.5), 0);
    EXPECT_EQ(roundToInt(-1.5), -2);
    EXPECT_EQ(roundToInt(1e12), INT32_MAX);
}

TEST(Numbers, SingleTextIsShortestGeneralForm) {
    EXPECT_EQ(singleText(2450.0f), "2450");
    EXPECT_EQ(singleText(14.08f), "14.08");
    EXPECT_EQ(singleText(0.5f), "0.5");
    EXPECT_EQ(singleText(-3.0f), "-3");
    EXPECT_EQ(singleText(-0.0f), "0");
    EXPECT_EQ(singleText(1.0f / 3.0f), "0.3333333");
    EXPECT_EQ(singleText(1234567.0f), "1234567");
    EXPECT_EQ(singleText(12345678.0f), "1.234568E+07");
}

TEST(Numbers, StoredTextParsing) {
    EXPECT_EQ(parseWhole("12"), 12);
    EXPECT_EQ(parseWhole(" 7 "), 7);
    EXPECT_EQ(parseWhole("-3"), -3);
    EXPECT_FALSE(parseWhole(""));
    EXPECT_FALSE(parseWhole("abc"));
    EXPECT_FALSE(parseWhole("1e400"));
    EXPECT_EQ(parseNumber("1.05"), 1.05);
    EXPECT_FALSE(parseNumber("1,05"));
}
