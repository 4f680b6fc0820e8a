// The simulated wideband controller: replies, frames and their pace, warm-up, options.
#include "memory_image.h"
#include "tools/fuel_target.h"
#include "wideband.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace kxsim {
namespace {

std::string send(WidebandController& c, const std::string& text) {
    std::vector<uint8_t> out;
    c.receive(std::vector<uint8_t>(text.begin(), text.end()), out);
    return std::string(out.begin(), out.end());
}

TEST(WidebandSim, RepliesFramesAndWarmUp) {
    WbOptions o;
    o.warmupSeconds = 2;
    EngineState engine;
    engine.rpm = 3000;
    WidebandController c(o, [&] { return engine; });
    for (const char* cmd : {"tf", "v", "s03e1", "s0406", "w", "t1"}) {
        const std::string r = send(c, std::string(cmd) + "\r");
        EXPECT_EQ(r.substr(0, 2), "> ") << cmd;
        EXPECT_GE(r.size(), 10u) << cmd; // the program's handshake threshold
    }
    EXPECT_EQ(send(c, "v\r").substr(2, 4), "0120");
    EXPECT_EQ(send(c, "s03e1\r").substr(4, 2), "E1");
    send(c, "t1\r");
    ASSERT_TRUE(c.streaming());

    // About twelve frames a second: none before a twelfth of a second has passed.
    EXPECT_TRUE(c.nextFrame().empty());
    c.advance(0.09);
    engine.throttle = 0; // overrun: lean
    auto f = c.nextFrame();
    ASSERT_EQ(f.size(), 28u);
    EXPECT_EQ(f[0], 0x5A);
    EXPECT_EQ(f[1], 0xA5);
    EXPECT_EQ(f[25], kSensorCold);
    EXPECT_TRUE(c.nextFrame().empty());
    EXPECT_GT(c.sentRaws().back(), rawFromAfr(16.5));
    c.advance(2.0);
    engine.throttle = 1; // full load: rich
    f = c.nextFrame();
    ASSERT_EQ(f.size(), 28u);
    EXPECT_EQ(f[25], kSensorNormal);
    EXPECT_LT(c.sentRaws().back(), rawFromAfr(12.6));
    EXPECT_NEAR(engineAfr(engine), 12.2, 0.01);

    WbOptions bad = o;
    bad.incompatible = true;
    WidebandController old(bad, {});
    EXPECT_EQ(send(old, "s03e1\r").substr(4, 2), "E0");
    bad.silent = true;
    WidebandController mute(bad, {});
    EXPECT_EQ(send(mute, "tf\r"), "");
}

TEST(WidebandSim, Options) {
    std::vector<std::string> rest;
    std::string error;
    const auto o = parseWbOptions({"--wb-link", "/tmp/wb", "--baud", "9600", "--wb-incompatible",
                                   "--wb-hangup-after", "40", "--wb-version", "0099"},
                                  rest, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->linkPath, "/tmp/wb");
    EXPECT_TRUE(o->incompatible);
    EXPECT_EQ(o->hangupAfter, 40);
    EXPECT_EQ(o->version, "0099");
    EXPECT_EQ(rest, (std::vector<std::string>{"--baud", "9600"}));
    EXPECT_FALSE(parseWbOptions({"--wb-version", "12345"}, rest, error));
    EXPECT_FALSE(parseWbOptions({"--wb-bogus", "1"}, rest, error));
    EXPECT_FALSE(parseWbOptions({"--wb-link"}, rest, error));
    EXPECT_EQ(parseWbOptions({"--fuel-error", "7.5"}, rest, error)->fuelErrorPct, 7.5);
    for (const char* bad : {"-1", "51", "x"})
        EXPECT_FALSE(parseWbOptions({"--fuel-error", bad}, rest, error)) << bad;
    EXPECT_FALSE(parseWbOptions({"--fuel-error"}, rest, error));
}

// --fuel-error: the cell's target off by its planted error; warm-up, a throttle step and fuel
// cut each put a wrong ratio on top.
TEST(WidebandSim, APlantedFuelErrorMovesTheRatioOfItsCell) {
    EXPECT_DOUBLE_EQ(plantedFuelError(12, 0, 0), 0.12);
    EXPECT_NEAR(plantedFuelError(12, 8, 0), -0.12, 1e-12);
    EXPECT_NEAR(plantedFuelError(12, 4, 3), 0.0, 1e-12);
    PlantedMixture m(12);
    EngineState s;
    s.rpm = 2990;     // the 3000 rpm row (5 from 0) as the ECU's bytes read
    s.throttle = 0.2; // 61 raw: the column of 61
    s.coolantC = 86;
    ASSERT_EQ(simulatedCell(s), (std::pair<int, int>{5, 3}));
    const auto planted = [](int column, int tp) {
        return kx::defaultTargetHundredths(3000, tp) / 100.0 *
               (1 + plantedFuelError(12, 5, column));
    };
    EXPECT_NEAR(m.afr(s, 0), planted(3, 61), 1e-9);
    s.throttle = 0.4; // 100 raw, opened by 0.2 in 0.05 s: 15 % rich for 0.3 s
    EXPECT_NEAR(m.afr(s, 0.05), 0.85 * planted(6, 100), 1e-9);
    EXPECT_NEAR(m.afr(s, 0.5), planted(6, 100), 1e-9);
    s.coolantC = 60;
    EXPECT_NEAR(m.afr(s, 1.0), 0.9 * planted(6, 100), 1e-9);
    s.throttle = 0;
    EXPECT_EQ(m.afr(s, 2.0), 22.0);
}

// --fuel-map: the ECU holds the map given and the engine runs on it, each cell's fuel in
// proportion to its value against the ECU's own; a file Kestrix could not have written for
// this ECU is refused.
TEST(WidebandSim, AFlashedFuelMapIsHeldAndRunOn) {
    const std::string dir = ::testing::TempDir();
    const auto write = [&](const char* name, const std::string& text) {
        std::ofstream(dir + name, std::ios::binary) << text;
        return dir + name;
    };
    std::string map = "RPM\\TP";
    for (int c = 0; c < 16; ++c)
        map += "," + std::to_string(MemoryImage::tpScale(c));
    map += "\r\n";
    for (int r = 0; r < 16; ++r) {
        map += std::to_string(50 * MemoryImage::rpmScale(r));
        for (int c = 0; c < 16; ++c)
            map += "," + std::to_string(r == 5 && c == 3 ? 2 * MemoryImage::fuelCell(5, 3)
                                                         : MemoryImage::fuelCell(r, c));
        map += "\r\n";
    }
    std::vector<std::string> rest;
    std::string error;
    const auto o = parseWbOptions({"--fuel-map", write("double.csv", map)}, rest, error);
    ASSERT_TRUE(o && o->fuelMap) << error;
    EXPECT_EQ((*o->fuelMap)[16 * 5 + 3], 2 * MemoryImage::fuelCell(5, 3));
    MemoryImage memory;
    memory.setFuelMap(*o->fuelMap);
    EXPECT_EQ(memory.read(0x7400 + 16 * 5 + 3), 2 * MemoryImage::fuelCell(5, 3));
    EXPECT_EQ(memory.read(0x7800), MemoryImage::timingCell(0, 0)); // timing maps stay

    EngineState s;
    s.rpm = 2990;
    s.throttle = 0.2; // row 5, column 3: twice the fuel, half the ratio
    s.coolantC = 86;
    PlantedMixture flashed(12, o->fuelMap), own(12);
    EXPECT_NEAR(flashed.afr(s, 0), own.afr(s, 0) / 2, 1e-9);
    s.rpm = 3990; // another cell: the same value, the same ratio
    EXPECT_NEAR(flashed.afr(s, 1), own.afr(s, 1), 1e-9);

    std::string otherScales = map;
    otherScales.replace(otherScales.find(",22,"), 4, ",23,");
    std::string zero = map;
    zero.replace(zero.find("\r\n500,") + 6, 2, "0");
    for (const auto& [name, text, said] :
         {std::tuple{"scales.csv", otherScales, "not the simulated ECU's scales"},
          std::tuple{"zero.csv", zero, "Line 2: \"0\" is not a whole number from 1 to 255"}}) {
        EXPECT_FALSE(parseWbOptions({"--fuel-map", write(name, text)}, rest, error));
        EXPECT_NE(error.find(said), std::string::npos) << error;
    }
    EXPECT_FALSE(parseWbOptions({"--fuel-map", dir + "missing.csv"}, rest, error));
}

} // namespace
} // namespace kxsim
