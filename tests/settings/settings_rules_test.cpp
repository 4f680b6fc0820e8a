#include "live/gauge_setup.h"
#include "settings/display_settings.h"
#include "settings/settings_rules.h"
#include "util/numbers.h"
#include "util/settings_store.h"

#include <QTemporaryDir>
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
    // A zero size would divide the correction by zero.
    EXPECT_FALSE(isValidTyre({"205", "55", "00"}));
    EXPECT_FALSE(isValidTyre({"205", "00", "16"}));
    EXPECT_FALSE(isValidTyre({"000", "55", "16"}));
    EXPECT_TRUE(isValidTyre({"001", "01", "01"}));
    // 63.43 / 63.19 rounds to 1.00, stored as "1".
    EXPECT_EQ(singleText(speedCorrection(oem, {"225", "45", "17"})), "1");
    EXPECT_EQ(singleText(speedCorrection(oem, oem)), "1");
    EXPECT_EQ(singleText(speedCorrection(oem, {"255", "40", "18"})), "1.05"); // 66.12 / 63.19
    EXPECT_EQ(singleText(speedCorrection(oem, {"175", "65", "14"})), "0.92"); // 58.31 / 63.19

    for (const char* bad : {"inf", "nan", "-inf", "0", "-1.05", "", "1e39", "fast"})
        EXPECT_FALSE(usableCorrection(bad)) << bad;
    EXPECT_EQ(usableCorrection("1.05"), 1.05f);
}

TEST(DisplaySettings, SaveStopsAtTheFirstEmptySlot) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("k.conf"));
    store.writeStartupDefaults();
    DisplaySelectionEntry e = loadDisplaySelection(store);
    ASSERT_EQ(e.gauges[1], 6); // defaults
    EXPECT_TRUE(e.registers[3]);
    for (auto& g : e.gauges)
        g = 22;
    e.gauges[5].reset();
    e.registers = {false, true, false, false};
    EXPECT_EQ(saveDisplaySelection(store, e), "Please select parameter for every gauge");
    EXPECT_EQ(store.read("Setup", "Gauge4"), "22"); // stored before the empty slot
    EXPECT_EQ(store.read("Setup", "Gauge5"), "12"); // the rest untouched
    EXPECT_EQ(store.read("Setup", "Gauge11"), "14");
    EXPECT_EQ(store.read("Setup", "Register13"), "1");

    e.gauges[5] = 24;
    EXPECT_FALSE(saveDisplaySelection(store, e));
    EXPECT_EQ(store.read("Setup", "Gauge5"), "24");
    EXPECT_EQ(store.read("Setup", "Gauge11"), "22");
    EXPECT_EQ(store.read("Setup", "Register13"), "0");
    EXPECT_EQ(store.read("Setup", "Register1E"), "1");

    // A damaged or out-of-range slot reads as no selection.
    store.save("Setup", "Gauge0", "abc");
    store.save("Setup", "Gauge1", QString::number(kChannelCount));
    e = loadDisplaySelection(store);
    EXPECT_FALSE(e.gauges[0]);
    EXPECT_FALSE(e.gauges[1]);
    EXPECT_EQ(e.gauges[5], 24);
    EXPECT_EQ(gaugeListName(23), "O2 Sensor B2");
    EXPECT_EQ(gaugeListName(20), "Duty Cycle (requires RPM & Inj)");
    EXPECT_EQ(gaugeListName(kChannelCount), "");
}

TEST(DisplaySettings, ColoursAreSignedDecimalOfBlueGreenRed) {
    EXPECT_EQ(parseStoredColour("-2147483633"), 0x8000000Fu); // system colour: button face
    EXPECT_EQ(parseStoredColour("2147483663"), 0x8000000Fu);  // the same bits, unsigned
    EXPECT_EQ(parseStoredColour("33023"), 0x0080FFu);         // orange
    EXPECT_FALSE(parseStoredColour("orange"));
    EXPECT_FALSE(parseStoredColour("4294967296"));
    EXPECT_EQ(storedColourText(0x80000012u), "-2147483630");
    EXPECT_EQ(storedColourText(0x0000FFu), "255");

    QTemporaryDir dir;
    SettingsStore store(dir.filePath("k.conf"));
    store.writeStartupDefaults();
    auto colours = loadColours(store);
    EXPECT_EQ(colours[0], 0u);
    EXPECT_EQ(colours[4], 0xFFFF00u);
    EXPECT_EQ(colours[10], 0x80000012u);
    store.save("Display", "GaugeNeedle", "red"); // damaged: the default stands in
    EXPECT_EQ(loadColours(store)[5], 0x0000FFu);
    colours[5] = 0x00FF80u;
    saveColours(store, colours);
    EXPECT_EQ(store.read("Display", "GaugeNeedle"), "65408");
    EXPECT_EQ(store.read("Display", "GaugeWindow"), "-2147483633");
    EXPECT_EQ(loadColours(store), colours);
}
