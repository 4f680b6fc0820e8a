// The simulator's command line.
#include "ecu_sim.h"

#include <gtest/gtest.h>

using namespace kxsim;

TEST(SimOptions, ParsesEveryKindOfValueAndRejectsBadOnes) {
    std::string error;
    const auto o = parseOptions({"--id",       "E1",
                                 "--obd2",     "--faults",
                                 "21:3,3F:12", "--unsupported",
                                 "02,0e",      "--rom-command",
                                 "c8",         "--baud",
                                 "19200",      "--hangup-after",
                                 "5",          "--drop-rate",
                                 "0.25",       "--time-scale",
                                 "10",         "--launch",
                                 "1.5",        "--cmd-drop-rate",
                                 "0.01",       "--cmd-garbage-rate",
                                 "0.02",       "--pull-at",
                                 "4"},
                                error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->id, 0xE1);
    EXPECT_TRUE(o->obd2);
    EXPECT_EQ(o->faults, (std::vector<FaultCode>{{0x21, 3}, {0x3F, 12}}));
    EXPECT_EQ(o->unsupported.count(), 2u);
    EXPECT_TRUE(o->unsupported.test(0x0E));
    EXPECT_EQ(o->romCommand, 0xC8);
    EXPECT_EQ(o->baud, 19200);
    EXPECT_EQ(o->hangupAfter, 5);
    EXPECT_DOUBLE_EQ(o->dropRate, 0.25);
    EXPECT_DOUBLE_EQ(o->cmdDropRate, 0.01);
    EXPECT_DOUBLE_EQ(o->cmdGarbageRate, 0.02);
    EXPECT_DOUBLE_EQ(o->timeScale, 10);
    EXPECT_DOUBLE_EQ(o->launchDelay, 1.5);
    EXPECT_DOUBLE_EQ(o->pullDelay, 4);

    const auto none = parseOptions({"--faults", "none", "--unsupported", "none"}, error);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->faults.empty());
    EXPECT_TRUE(none->unsupported.none());
    // Without options: stored faults, and the registers outside the catalogue unsupported.
    const auto defaults = parseOptions({}, error);
    ASSERT_TRUE(defaults);
    EXPECT_FALSE(defaults->faults.empty());
    EXPECT_TRUE(defaults->unsupported.test(0x02));
    EXPECT_FALSE(defaults->unsupported.test(0x0B));

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--id", "1FF"},
                                                {"--faults", "21"},
                                                {"--faults", "21:x"},
                                                {"--drop-rate", "2"},
                                                {"--launch", "-1"},
                                                {"--pull-at", "x"},
                                                {"--baud"},
                                                {"--nonsense", "1"},
                                                {"--unsupported", "G1"}}) {
        EXPECT_FALSE(parseOptions(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty()) << bad[0];
    }
    EXPECT_FALSE(parseOptions({"--help"}, error));
    EXPECT_TRUE(error.empty());
}
