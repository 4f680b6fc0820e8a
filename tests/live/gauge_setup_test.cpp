#include "live/gauge_setup.h"
#include "util/settings_store.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kx;

namespace {

struct Store {
    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("Kestrix.conf"))};

    // Twelve slotGauges, four flags and the two dashboard gauges.
    void select(const std::array<int, 12>& slotGauges, const std::array<int, 4>& flags, int dash0,
                int dash1) {
        for (int k = 0; k < 12; ++k)
            store.save("Setup", QStringLiteral("Gauge%1").arg(k), QString::number(slotGauges[k]));
        const char* keys[] = {"Register13", "Register1E", "Register1F", "Register21"};
        for (int f = 0; f < 4; ++f)
            store.save("Setup", keys[f], QString::number(flags[f]));
        store.save("Dashboard", "Gauge0", QString::number(dash0));
        store.save("Dashboard", "Gauge1", QString::number(dash1));
    }
};

} // namespace

TEST(GaugeInfo, RefusesBadIndexAndOutOfRangeDecimals) {
    GaugeInfo g;
    EXPECT_TRUE(g.setIniStr(1, 0x23));
    EXPECT_FALSE(g.setIniStr(2, 0x99));
    EXPECT_FALSE(g.setIniStr(-1, 0x99));
    EXPECT_EQ(g.iniStr(0), 0);
    EXPECT_EQ(g.iniStr(1), 0x23);
    EXPECT_EQ(g.iniStr(2), 0);
    EXPECT_TRUE(g.setDecPointNum(2));
    EXPECT_FALSE(g.setDecPointNum(32768));
    EXPECT_FALSE(g.setDecPointNum(-32769));
    EXPECT_EQ(g.decPointNum(), 2);
    EXPECT_TRUE(g.setDecPointNum(-32768));
    EXPECT_EQ(g.decPointNum(), -32768);
}

TEST(GaugeSetup, CatalogueFollowsUnitChoice) {
    std::array<GaugeInfo, kGaugeCount> c;
    buildCatalogue(c, false, true); // Celsius with mph
    EXPECT_EQ(c[3].name(), "Water Temp C");
    EXPECT_EQ(c[3].minVal(), 0);
    EXPECT_EQ(c[3].maxVal(), 120);
    EXPECT_EQ(c[3].tickerNum(), 12);
    EXPECT_EQ(c[3].subTickerNum(), 5);
    EXPECT_EQ(c[6].name(), "Speed mph");
    EXPECT_EQ(c[6].maxVal(), 150);
    EXPECT_EQ(c[6].tickerNum(), 15);
    EXPECT_EQ(c[6].subTickerNum(), 5);
    EXPECT_EQ(c[6].decPointNum(), 1);
    EXPECT_EQ(c[6].iniStr(0), 0x0B);

    buildCatalogue(c, true, false);
    for (int g : {3, 9, 10}) {
        EXPECT_TRUE(c[g].name().endsWith(" F")) << g;
        EXPECT_EQ(c[g].minVal(), 20);
        EXPECT_EQ(c[g].maxVal(), 300);
        EXPECT_EQ(c[g].tickerNum(), 14);
        EXPECT_EQ(c[g].subTickerNum(), 4);
    }
    EXPECT_EQ(c[6].name(), "Speed kph");
    EXPECT_EQ(c[6].maxVal(), 240);
    for (int g : {20, 21, 24})
        EXPECT_EQ(c[g].size(), 0) << g;
}

TEST(GaugeSetup, CountsEachSlotAndFlag) {
    Store s;
    GaugeSetup setup;
    s.select({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1}, 0, 1);
    getSetup(s.store, false, false, setup);
    EXPECT_EQ(setup.displayByteCount, 28);
    EXPECT_EQ(setup.dashByteCount, 4); // RPM + Air Flow

    s.select({20, 24, 21, 20, 24, 21, 20, 24, 21, 20, 24, 4}, {0, 1, 0, 0}, 0, 0);
    getSetup(s.store, false, false, setup);
    EXPECT_EQ(setup.displayByteCount, 2); // only the O2 sensor and one flag
    EXPECT_EQ(setup.dashByteCount, 4);    // RPM twice counts twice
    EXPECT_EQ(setup.displaySelection[11], 4);
    EXPECT_EQ(setup.displaySelection[13], 1);
}

TEST(GaugeSetup, DamagedKeyStopsReadingAndLeavesCountsZero) {
    Store s;
    GaugeSetup setup;
    setup.displaySelection.fill(7);
    setup.dashSelection = {9, 9};
    s.select({0, 1, 2, 3, 4, 5, 6, 8, 10, 11, 12, 13}, {1, 1, 1, 1}, 0, 1);
    s.store.save("Setup", "Gauge5", "abc");
    getSetup(s.store, true, false, setup);
    EXPECT_EQ(setup.displaySelection[4], 4);
    for (int k = 5; k < 16; ++k)
        EXPECT_EQ(setup.displaySelection[k], 7) << k;
    EXPECT_EQ(setup.dashSelection[0], 9);
    EXPECT_EQ(setup.displayByteCount, 0);
    EXPECT_EQ(setup.dashByteCount, 0);
    EXPECT_EQ(setup.gaugeCatalogue[3].name(), "Water Temp F"); // the catalogue is complete

    // Out of a byte's range, and a missing key, stop the same way.
    s.store.save("Setup", "Gauge5", "256");
    getSetup(s.store, false, false, setup);
    EXPECT_EQ(setup.displaySelection[5], 7);
    s.store.save("Setup", "Gauge5", "5");
    getSetup(s.store, false, false, setup);
    EXPECT_EQ(setup.displayByteCount, 20);
    QTemporaryDir empty;
    SettingsStore bare(empty.filePath("k.conf"));
    getSetup(bare, false, false, setup);
    EXPECT_EQ(setup.displayByteCount, 0);
}

TEST(GaugeSetup, GaugeAbove24KeepsPartialSum) {
    Store s;
    GaugeSetup setup;
    s.select({0, 1, 3, 30, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1}, 0, 0);
    getSetup(s.store, false, false, setup);
    EXPECT_EQ(setup.displaySelection[3], 30);
    EXPECT_EQ(setup.displayByteCount, 5);
    EXPECT_EQ(setup.dashByteCount, 0); // never reached

    s.select({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0}, 1, 99);
    getSetup(s.store, false, false, setup);
    EXPECT_EQ(setup.displayByteCount, 24);
    EXPECT_EQ(setup.dashByteCount, 2);
}

TEST(GaugeSetup, OnlyAFlagOfOneAddsItsByte) {
    Store s;
    GaugeSetup setup;
    // A flag of 2 is neither requested nor decoded, so it must not lengthen the frame either.
    s.select({20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20}, {2, 1, 0, 255}, 20, 20);
    getSetup(s.store, false, false, setup);
    EXPECT_EQ(setup.displayByteCount, 1);
}
