// The simulated ECU's protocol, bytes in and bytes out, without a pseudo-terminal.
#include "ecu.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace kxsim;

namespace {

Bytes feed(Ecu& ecu, const Bytes& in) {
    Bytes out;
    ecu.receive(in, out);
    return out;
}

EcuConfig quietConfig() {
    EcuConfig c;
    c.faults.clear();
    return c;
}

// Starts a stream of the given request and returns its first frame.
Bytes frameFor(Ecu& ecu, Bytes request) {
    feed(ecu, {kCmdStop});
    request.push_back(kCmdStart);
    feed(ecu, request);
    return ecu.nextFrame();
}

} // namespace

TEST(Ecu, AnswersTheInitialisationOfItsOwnIdOnly) {
    for (uint8_t id : {uint8_t(0xEF), uint8_t(0x42)}) {
        EcuConfig config;
        config.id = id;
        Ecu ecu(config);
        // As the ECU finder probes: two 0xFF first, then 0xFF, 0xFF, id for every id down to 0.
        std::set<int> answered;
        feed(ecu, {0xFF, 0xFF});
        for (int probe = 0xFE; probe >= 0; --probe) {
            const Bytes out = feed(ecu, {0xFF, 0xFF, uint8_t(probe)});
            for (uint8_t b : out) {
                if (b == uint8_t(~probe)) answered.insert(probe);
            }
        }
        EXPECT_EQ(answered, std::set<int>{id});
        // Addressed as another id, it says its own and then ignores commands until addressed.
        EXPECT_FALSE(ecu.awake());
        EXPECT_EQ(feed(ecu, {kCmdIdentify, kCmdStop}), Bytes{});
        EXPECT_EQ(feed(ecu, {0xFF, 0xFF, uint8_t(id ^ 1)}), Bytes{uint8_t(~id)});
        EXPECT_EQ(feed(ecu, {0xFF, 0xFF, id, kCmdStop}), (Bytes{uint8_t(~id), 0xCF}));
        EXPECT_TRUE(ecu.awake());
    }
}

TEST(Ecu, AcknowledgesCommandBytesButNotOperandsOrUnknownBytes) {
    Ecu ecu(quietConfig());
    EXPECT_EQ(feed(ecu, {0xFF, 0xFF, 0xEF}), Bytes{0x10});
    EXPECT_EQ(feed(ecu, {kCmdIdentify}), Bytes{0x2F});
    EXPECT_EQ(feed(ecu, {0x5A, 0x0B, 0x5A, 0x0C}), (Bytes{0xA5, 0xA5}));
    EXPECT_EQ(feed(ecu, {0xC9, 0x7B, 0x00}), Bytes{0x36});
    EXPECT_EQ(feed(ecu, {0x77}), Bytes{});
    EXPECT_EQ(feed(ecu, {kCmdStop}), Bytes{0xCF});
    // A command cut short by a hang-up does not swallow the first byte after it.
    feed(ecu, {0xC9, 0x7B});
    ecu.lineReset();
    EXPECT_EQ(feed(ecu, {kCmdStop}), Bytes{0xCF});
    // A stream start with nothing to stream is not acknowledged.
    Ecu fresh(quietConfig());
    EXPECT_EQ(feed(fresh, {kCmdStart}), Bytes{});
    EXPECT_FALSE(fresh.streaming());
}

TEST(Ecu, IdentificationFrameCarriesThePartNumber) {
    for (bool obd2 : {false, true}) {
        EcuConfig config;
        config.obd2 = obd2;
        config.partNumber = "2Z514";
        Ecu ecu(config);
        feed(ecu, {0xFF, 0xFF, 0xEF, kCmdIdentify});
        EXPECT_EQ(feed(ecu, {kCmdStart}), Bytes{0x0F});
        const Bytes f = ecu.nextFrame();
        const size_t n = obd2 ? 32 : 22;
        ASSERT_EQ(f.size(), n + 2);
        EXPECT_EQ(f[0], 0xFF);
        EXPECT_EQ(f[1], n);
        EXPECT_EQ(std::string(f.begin() + 2 + long(n) - 5, f.end()), "2Z514");
        for (size_t i = 2; i < f.size(); ++i)
            EXPECT_NE(f[i], 0xFF) << "data byte " << i;
        EXPECT_EQ(ecu.nextFrame(), f); // repeated until stopped
        EXPECT_EQ(feed(ecu, {kCmdStop}), Bytes{0xCF});
        EXPECT_TRUE(ecu.nextFrame().empty());
    }
}

TEST(Ecu, RegisterRequestStreamsOneByteEachInRequestOrder) {
    Ecu ecu(quietConfig());
    ecu.advance(30);
    const Bytes f = frameFor(ecu, {0x5A, 0x0C, 0x5A, 0x08, 0x5A, 0x0C, 0x5A, 0x00, 0x5A, 0x01});
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(f[0], 0xFF);
    EXPECT_EQ(f[1], 5);
    EXPECT_EQ(f[2], f[4]);
    EXPECT_NEAR(f[2] * 0.08, 14.1, 0.3);                 // battery, charging
    EXPECT_EQ(f[3], ecu.engine().registerValue(0x08));   // coolant
    EXPECT_EQ(f[5] * 256 + f[6], ecu.engine().rpmRaw()); // engine speed
    // The next request replaces the old one rather than adding to it.
    const Bytes g = frameFor(ecu, {0x5A, 0x0B});
    EXPECT_EQ(g.size(), 3u);
    EXPECT_EQ(g[1], 1);
}

TEST(Ecu, UnsupportedRegisterGetsNoStreamAtAll) {
    Ecu ecu(quietConfig());
    for (const Bytes& request : {Bytes{0x5A, 0x02}, Bytes{0x5A, 0x08, 0x5A, 0x02}}) {
        feed(ecu, {kCmdStop});
        Bytes out = feed(ecu, request);
        out = feed(ecu, {kCmdStart});
        EXPECT_TRUE(out.empty());
        EXPECT_FALSE(ecu.streaming());
        EXPECT_TRUE(ecu.nextFrame().empty());
    }
    EcuConfig all = quietConfig();
    all.unsupported.reset();
    Ecu every(all);
    EXPECT_EQ(frameFor(every, {0x5A, 0x02}).size(), 3u);
}

TEST(Ecu, RegisterProbeFindsExactlyTheCatalogueRegisters) {
    // A register counts as supported when a one-byte frame is followed by the next header.
    Ecu ecu(quietConfig());
    std::set<int> found;
    for (int r = 0; r <= 0x38; ++r) {
        feed(ecu, {kCmdStop});
        Bytes rx = feed(ecu, {0x5A, uint8_t(r)});
        rx.clear();
        feed(ecu, {kCmdStart});
        for (int i = 0; i < 3; ++i) {
            const Bytes f = ecu.nextFrame();
            rx.insert(rx.end(), f.begin(), f.end());
        }
        for (size_t i = 0; i + 3 < rx.size(); ++i) {
            if (rx[i] == 0xFF && rx[i + 1] == 0x01 && rx[i + 3] == 0xFF) found.insert(r);
        }
    }
    const std::set<int> catalogue = {0x00, 0x01, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                     0x0A, 0x0B, 0x0C, 0x0D, 0x0F, 0x11, 0x12, 0x13,
                                     0x14, 0x15, 0x16, 0x17, 0x1A, 0x1B, 0x1C, 0x1D,
                                     0x1E, 0x1F, 0x21, 0x22, 0x23, 0x35, 0x36};
    EXPECT_EQ(found, catalogue);
}

TEST(Ecu, DiagnosticsStreamStoredFaultsAndEraseClearsThem) {
    EcuConfig config;
    config.faults = {{0x11, 3}, {0x43, 1}};
    Ecu ecu(config);
    EXPECT_EQ(frameFor(ecu, {kCmdDiagnostics}), (Bytes{0xFF, 0x04, 0x11, 0x03, 0x43, 0x01}));
    // The erase as the PC sends it: stop, erase, start, stop, then a fresh request.
    feed(ecu, {kCmdStop});
    EXPECT_EQ(feed(ecu, {kCmdEraseFaults}), Bytes{0x3E});
    feed(ecu, {kCmdStart, kCmdStop});
    EXPECT_TRUE(ecu.faults().empty());
    EXPECT_EQ(frameFor(ecu, {kCmdDiagnostics}), (Bytes{0xFF, 0x02, 0x55, 0x00}));
    ecu.setFaults({{0x21, 7}});
    EXPECT_EQ(ecu.nextFrame(), (Bytes{0xFF, 0x02, 0x21, 0x07}));
}

TEST(Ecu, ActiveTestHoldsThroughItsDataRequestAndEndsWithTheNext) {
    EcuConfig config = quietConfig();
    config.coolantStartC = 85;
    Ecu ecu(config);
    ecu.advance(10);
    // Stop, test request, live-data request, start: as the active test window sends them.
    feed(ecu, {kCmdStop, kCmdActiveTest, kTestCoolant, 0x28});
    Bytes f = frameFor(ecu, {0x5A, 0x08});
    ASSERT_TRUE(ecu.activeTest().has_value());
    EXPECT_EQ(*ecu.activeTest(), (ActiveTest{kTestCoolant, 0x28}));
    EXPECT_EQ(f[2], 0x28); // -10 C forced
    ecu.advance(1);
    EXPECT_EQ(ecu.nextFrame()[2], 0x28);
    // Restoring live data sends the request again without a test: the test ends.
    f = frameFor(ecu, {0x5A, 0x08});
    EXPECT_FALSE(ecu.activeTest().has_value());
    EXPECT_NEAR(f[2] - 50, 85, 3);
}

TEST(Ecu, ActiveTestsShowInTheEngine) {
    EcuConfig config = quietConfig();
    config.coolantStartC = 86;
    auto runTest = [&](uint8_t test, uint8_t param, double seconds) {
        Ecu ecu(config);
        ecu.advance(10); // started and idling
        feed(ecu, {kCmdStop, kCmdActiveTest, test, param});
        frameFor(ecu, {0x5A, 0x00, 0x5A, 0x01});
        ecu.advance(seconds);
        // Engine speed averaged over two seconds more, so idle noise does not decide.
        EngineState st = ecu.engine().state();
        double sum = 0;
        for (int i = 0; i < 20; ++i) {
            ecu.advance(0.1);
            sum += ecu.engine().state().rpm;
        }
        st.rpm = sum / 20;
        return st;
    };
    const EngineState base = runTest(kTestVct, 0, 5);
    EXPECT_NEAR(base.rpm, 800, 80);

    EXPECT_NEAR(runTest(kTestTiming, 0x05, 5).timingDeg, base.timingDeg + 5, 0.5);
    EXPECT_NEAR(runTest(kTestTiming, 0xFB, 5).timingDeg, base.timingDeg - 5, 0.5); // -5
    EXPECT_LT(runTest(kTestCylinderCut, 0x03, 5).rpm, base.rpm - 120);
    EXPECT_GT(runTest(kTestAac, 0xFF, 5).rpm, base.rpm + 400);
    EXPECT_NEAR(runTest(kTestAac, 0xFF, 5).aacPercent, 100, 0.5);

    const EngineState stalled = runTest(kTestFuelPump, 0, 3);
    EXPECT_TRUE(stalled.stalled);
    EXPECT_EQ(stalled.rpm, 0);

    // Ending the fuel pump test lets the engine start again.
    Ecu ecu(config);
    ecu.advance(10);
    feed(ecu, {kCmdStop, kCmdActiveTest, kTestFuelPump, 0});
    frameFor(ecu, {0x5A, 0x1E});
    ecu.advance(3);
    EXPECT_EQ(ecu.nextFrame()[2] & 0x40, 0); // fuel pump relay off
    frameFor(ecu, {0x5A, 0x1E});
    ecu.advance(5);
    EXPECT_NE(ecu.nextFrame()[2] & 0x40, 0);
    EXPECT_GT(ecu.engine().state().rpm, 600);
}

TEST(Ecu, MemoryReadsServeMapsScalesAndLiveBytes) {
    Ecu ecu(quietConfig());
    // Eight addresses in two writes, as the fast ROM read sends them.
    Bytes request;
    for (int i = 0; i < 8; ++i)
        request.insert(request.end(), {0xC9, 0x7B, uint8_t(i)});
    Bytes out = feed(ecu, Bytes(request.begin(), request.begin() + 12));
    out = feed(ecu, Bytes(request.begin() + 12, request.end()));
    feed(ecu, {kCmdStart});
    const Bytes f = ecu.nextFrame();
    ASSERT_EQ(f.size(), 10u);
    EXPECT_EQ(f[1], 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(f[2 + i], 10 * (i + 1)) << i; // 500 rpm steps

    for (const MapLocation& m : MemoryImage::maps()) {
        int lastRpm = 0;
        int lastTp = 0;
        for (int i = 0; i < 16; ++i) {
            const int rpm = frameFor(ecu, {0xC9, uint8_t(m.rpmScale >> 8),
                                           uint8_t((m.rpmScale + i) & 0xFF)})[2] *
                            50;
            const int tp =
                frameFor(ecu, {0xC9, uint8_t(m.tpScale >> 8), uint8_t((m.tpScale + i) & 0xFF)})[2];
            EXPECT_GT(rpm, lastRpm);
            EXPECT_GT(tp, lastTp);
            lastRpm = rpm;
            lastTp = tp;
        }
        EXPECT_EQ(lastRpm, 8000);
    }
    // The fuel map of the default trace settings, row 2 column 3.
    EXPECT_EQ(frameFor(ecu, {0xC9, 0x74, 0x23})[2], MemoryImage::fuelCell(2, 3));

    // Engine speed and throttle at the trace's live addresses follow the engine.
    ecu.advance(45); // accelerating
    const Bytes live = frameFor(ecu, {0xC9, 0xF7, 0x0C, 0xC9, 0xF7, 0x0D, 0xC9, 0xF7, 0x77});
    EXPECT_EQ(live[2] * 256 + live[3], ecu.engine().rpmRaw());
    EXPECT_EQ(live[4], ecu.engine().throttleRaw());
    EXPECT_GT(live[2] * 256 + live[3], 1500 / 12.5);
}

TEST(Ecu, MemoryReadCommandIsConfigurable) {
    EcuConfig config = quietConfig();
    config.romCommand = 0xC8;
    Ecu ecu(config);
    EXPECT_EQ(feed(ecu, {0xC9}), Bytes{}); // no longer a command
    EXPECT_EQ(frameFor(ecu, {0xC8, 0x7B, 0x0F}), (Bytes{0xFF, 0x01, 160}));
}
