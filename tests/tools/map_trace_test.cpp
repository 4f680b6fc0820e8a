// The map trace's logic: presets, address rules, the reading walk, the cell search, colours.
// The trail is pinned by the window test.
#include "tools/map_trace.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

using namespace kx;

namespace {
MapAddressTexts texts(std::array<const char*, MapFieldCount> a) {
    MapAddressTexts t;
    for (size_t i = 0; i < t.size(); ++i)
        t[i] = QString::fromLatin1(a[i]);
    return t;
}
const auto kFuel = texts({"F70C", "F70D", "F777", "7400", "7AF0", "7B00"});

std::vector<MapRead::Byte> walk(MapRead& r) {
    std::vector<MapRead::Byte> all;
    while (auto b = r.next())
        all.push_back(*b);
    return all;
}
} // namespace

TEST(MapTrace, PresetsAndAddressRules) {
    const auto& presets = mapPresets();
    EXPECT_STREQ(presets[0].name, "RB25DET - timing");
    EXPECT_STREQ(presets[11].name, "VE30DE - fuel");
    const MapPreset& fuel = presets[1];
    EXPECT_STREQ(fuel.name, "RB25DET - fuel");
    EXPECT_EQ(texts(fuel.addresses), kFuel);
    for (const MapPreset& p : presets)
        EXPECT_FALSE(firstInvalidEntry(texts(p.addresses))) << p.name;

    // The first refused box wins; a blank, lower case or a short entry is refused.
    const struct {
        std::array<const char*, MapFieldCount> entries;
        std::optional<MapField> refused;
    } cases[] = {
        {{"F70C", "F70D", "F777", "7400", "7AF0", "7B00"}, std::nullopt},
        {{"F70C", "F7 D", "F777", "74", "7AF0", "7B00"}, RpmLsb},
        {{"F70C", "F70D", "F777", "74000", "7AF0", "7B00"}, MapStart},
        {{"F70C", "F70D", "F777", "7400", "7AF0", "7b00"}, RpmScale},
        {{"", "F70D", "F777", "7400", "7AF0", "7B00"}, RpmMsb},
    };
    for (const auto& c : cases)
        EXPECT_EQ(firstInvalidEntry(texts(c.entries)), c.refused) << c.entries[1];
    EXPECT_EQ(invalidAddressMessage(RpmMsb), "Invalid RPM MSB Address");
    EXPECT_EQ(invalidAddressMessage(TpScale), "Invalid TP Scale Address");
    EXPECT_EQ(invalidAddressMessage(RpmScale), "Invalid RPM Scale Address");
    EXPECT_EQ(mapSettingKey(TpScale), "TPscaleAddress");

    const MapAddresses stored = storedAddresses(texts({"F70C", "74", "", "G400", "12345", "7b00"}));
    EXPECT_EQ(stored[RpmMsb], 0xF70C);
    EXPECT_EQ(stored[RpmLsb], 0x74);
    EXPECT_FALSE(stored[TpMsb]);
    EXPECT_FALSE(stored[MapStart]);
    EXPECT_FALSE(stored[TpScale]);
    EXPECT_EQ(stored[RpmScale], 0x7B00);
}

TEST(MapTrace, ReadsRpmScaleThenThrottleScaleThenMapIntoTheirCells) {
    MapRead r(storedAddresses(kFuel));
    const auto all = walk(r);
    ASSERT_EQ(all.size(), 288u);
    for (int i = 0; i < 288; ++i) {
        const uint16_t expected = i < 16 ? 0x7B00 + i : i < 32 ? 0x7AF0 + i - 16 : 0x7400 + i - 32;
        EXPECT_EQ(all[size_t(i)].address, expected) << i;
        EXPECT_EQ(all[size_t(i)].cell, i + 1);
    }
    EXPECT_EQ(r.phase(), MapRead::TracePhase);
    EXPECT_FALSE(r.blockedBy());
    EXPECT_EQ(r.liveAddresses(), (std::array<uint16_t, 3>{0xF70C, 0xF70D, 0xF777}));
    EXPECT_FALSE(r.next());

    // A bad stored address stops the walk just before the first step that needs it.
    const struct {
        MapField bad;
        size_t read;
    } stops[] = {{RpmScale, 0}, {TpScale, 16}, {MapStart, 32}, {RpmLsb, 288}, {TpMsb, 288}};
    for (const auto& s : stops) {
        MapAddressTexts t = kFuel;
        t[s.bad] = QStringLiteral("XYZ1");
        MapRead blocked(storedAddresses(t));
        EXPECT_EQ(walk(blocked).size(), s.read) << s.bad;
        EXPECT_EQ(blocked.blockedBy(), s.bad);
    }

    // A block must end by FFFF: one that would run past it is refused like a bad address.
    const struct {
        MapField field;
        const char* start;
        size_t read;
        bool refused;
    } tops[] = {{MapStart, "FFF0", 32, true},   {MapStart, "FF01", 32, true},
                {MapStart, "FF00", 288, false}, {RpmScale, "FFF1", 0, true},
                {RpmScale, "FFF0", 288, false}, {TpScale, "FFFF", 16, true}};
    for (const auto& t : tops) {
        MapAddressTexts a = kFuel;
        a[t.field] = QString::fromLatin1(t.start);
        MapRead r(storedAddresses(a));
        const auto bytes = walk(r);
        EXPECT_EQ(bytes.size(), t.read) << t.start;
        EXPECT_EQ(r.blockedBy().has_value(), t.refused) << t.start;
        if (!bytes.empty()) {
            EXPECT_NE(bytes.back().address, 0x0000) << t.start;
        }
    }
    EXPECT_EQ(blockedMessage(MapStart, "FFF0"),
              "Stopped: the stored Map Address \"FFF0\" puts its block past FFFF.");
    EXPECT_EQ(blockedMessage(TpScale, "7AG0"),
              "Stopped: the stored TP Scale Address \"7AG0\" is not a hexadecimal address.");
}

TEST(MapTrace, CaptionsSpeedsCellsAndColours) {
    EXPECT_EQ(cellCaption(16, 160), "8000");
    EXPECT_EQ(cellCaption(17, 160), "160");

    EXPECT_EQ(engineSpeed(0x00, 0x40), 800);
    EXPECT_EQ(engineSpeed(0x00, 1), 12); // 12.5, halves to even
    EXPECT_EQ(engineSpeed(0x00, 3), 38); // 37.5
    EXPECT_EQ(engineSpeed(0x02, 0x80), 8000);

    std::array<int, 16> rpm{};
    for (int i = 0; i < 16; ++i)
        rpm[size_t(i)] = 500 * (i + 1);
    EXPECT_EQ(headerIndex(rpm, 800), 2);
    EXPECT_EQ(headerIndex(rpm, 500), 1); // a header equal to the value is its row
    EXPECT_EQ(headerIndex(rpm, 0), 1);
    EXPECT_EQ(headerIndex(rpm, 9000), 16); // above the last header
    EXPECT_EQ(mapCellIndex(1, 1), 33);
    EXPECT_EQ(mapCellIndex(16, 16), 288);
    EXPECT_EQ(mapCellIndex(2, 3), 51);
    // Every label has a place of its own; the map cells fill rows and columns 1 to 16, where
    // mapCellIndex finds them again, and the headers the top row and the left column.
    std::set<std::pair<int, int>> places;
    for (int cell = 0; cell < maptrace::CellCount; ++cell) {
        const GridPlace p = gridPlace(cell);
        EXPECT_TRUE(places.insert({p.row, p.column}).second) << cell;
        const bool map = cell >= maptrace::FirstMapCell;
        EXPECT_EQ(p.row >= 1 && p.row <= 16 && p.column >= 1 && p.column <= 16, map) << cell;
        if (map) {
            EXPECT_EQ(mapCellIndex(p.row, p.column), cell);
        } else {
            EXPECT_TRUE(p.row == 0 || p.column == 0) << cell;
        }
        EXPECT_TRUE(p.row <= 16 && p.column <= 16) << cell;
    }
    EXPECT_EQ(gridPlace(0), (GridPlace{0, 0}));  // the empty corner
    EXPECT_EQ(gridPlace(5), (GridPlace{5, 0}));  // a row header
    EXPECT_EQ(gridPlace(20), (GridPlace{0, 4})); // a column header

    EXPECT_EQ(mapColour(0x00), 0x0000FFu); // red
    EXPECT_EQ(mapColour(0xFF), 0xFF0000u); // blue
    EXPECT_EQ(mapColour(0xF5), 0xF5000Au); // red 10, blue 245
}
