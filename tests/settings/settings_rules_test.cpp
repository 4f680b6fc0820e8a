#include "settings/settings_rules.h"
#include "util/numbers.h"

#include <gtest/gtest.h>

using namespace kx;

TEST(SettingsRules, CommsChecksInOrder) {
    CommsEntry e{"1", "9600", "C9", "EF", "2", "19200"};
    EXPECT_FALSE(checkCommsEntry(e));
    e.ecuId = "ef";
    EXPECT_EQ(checkCommsEntry(e), "Invalid ECU Id");
    e.romComm = "C";
    EXPECT_EQ(checkCommsEntry(e), "Invalid address read command"); // the first check wins
    e = {"1", "9600", "C9", " F", "1", "19200"};
    EXPECT_EQ(checkCommsEntry(e), "Can not use same port number");
    e.comPort2 = "/dev/ttyUSB1";
    EXPECT_FALSE(checkCommsEntry(e));
    EXPECT_FALSE(isHexPairEntry("G0"));
    EXPECT_FALSE(isHexPairEntry("ABC"));
}

TEST(SettingsRules, TyreSizesAndCorrection) {
    const TyreSize oem{"205", "55", "16"};
    EXPECT_TRUE(isValidTyre(oem));
    EXPECT_FALSE(isValidTyre({"205", "55", "9"}));
    EXPECT_FALSE(isValidTyre({"1955", "55", "16"}));
    EXPECT_FALSE(isValidTyre({"20a", "55", "16"}));
    EXPECT_FALSE(isValidTyre({"205", "", "16"}));
    // 63.43 / 63.19 rounds to 1.00, stored as "1".
    EXPECT_EQ(singleText(speedCorrection(oem, {"225", "45", "17"})), "1");
    EXPECT_EQ(singleText(speedCorrection(oem, oem)), "1");
    EXPECT_EQ(singleText(speedCorrection(oem, {"255", "40", "18"})), "1.05"); // 66.12 / 63.19
    EXPECT_EQ(singleText(speedCorrection(oem, {"175", "65", "14"})), "0.92"); // 58.31 / 63.19
}
