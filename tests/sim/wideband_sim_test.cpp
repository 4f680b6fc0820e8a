// The simulated wideband controller: replies, frames and their pace, warm-up, options.
#include "wideband.h"

#include <gtest/gtest.h>
#include <string>

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
}

} // namespace
} // namespace kxsim
