#include "link/framing.h"
#include "live/live_data.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <vector>

using namespace kx;
using namespace kx::test;

namespace {

GaugeSetup makeSetup(std::array<uint8_t, 12> slotGauges, std::array<uint8_t, 4> flags = {}) {
    GaugeSetup s;
    buildCatalogue(s.gaugeCatalogue, false, false);
    for (int k = 0; k < 12; ++k)
        s.displaySelection[k] = slotGauges[k];
    for (int f = 0; f < 4; ++f)
        s.displaySelection[12 + f] = flags[f];
    countBytes(s);
    return s;
}

// Slots beyond the listed gauges show WBo2, which reads no bytes.
GaugeSetup slotsOf(std::initializer_list<uint8_t> gauges, std::array<uint8_t, 4> flags = {}) {
    std::array<uint8_t, 12> slotGauges;
    slotGauges.fill(24);
    int k = 0;
    for (uint8_t g : gauges)
        slotGauges[k++] = g;
    return makeSetup(slotGauges, flags);
}

GaugeSetup allDutyCycle(std::array<uint8_t, 4> flags) {
    std::array<uint8_t, 12> slotGauges;
    slotGauges.fill(20);
    return makeSetup(slotGauges, flags);
}

QByteArray frame(uint8_t n, std::initializer_list<int> data) {
    return bytes({0xFF, n}) + bytes(data);
}

float one(int gauge, uint16_t raw, Units u = {}) {
    return convertGauge(gauge, raw, u);
}

} // namespace

TEST(LiveConversions, KnownAnswers) {
    const Units f{true, false, 1.0f};
    const Units mph{false, true, 1.0f};
    EXPECT_FLOAT_EQ(one(0, 0x0100), 3200.0f);
    EXPECT_FLOAT_EQ(one(0, 1), 12.0f); // 12.5: half to even
    EXPECT_FLOAT_EQ(one(0, 3), 38.0f); // 37.5
    EXPECT_FLOAT_EQ(one(1, 1), 0.0f);  // 0.005
    EXPECT_FLOAT_EQ(one(2, 3), 0.02f); // 0.015
    EXPECT_FLOAT_EQ(one(1, 1000), 5.0f);
    EXPECT_FLOAT_EQ(one(3, 0x32), 0.0f);
    EXPECT_FLOAT_EQ(one(3, 0x32, f), 32.0f);
    EXPECT_FLOAT_EQ(one(9, 0), -50.0f);
    EXPECT_FLOAT_EQ(one(10, 0, f), -58.0f);
    EXPECT_FLOAT_EQ(one(3, 51, f), 33.8f);
    EXPECT_FLOAT_EQ(one(3, 137, f), 188.6f);
    EXPECT_FLOAT_EQ(one(4, 200), 200.0f);
    EXPECT_FLOAT_EQ(one(6, 50), 100.0f);
    EXPECT_FLOAT_EQ(one(6, 50, mph), 62.5f);
    EXPECT_FLOAT_EQ(one(6, 1, mph), 1.2f); // 1.25
    EXPECT_FLOAT_EQ(one(6, 3, mph), 3.8f); // 3.75
    EXPECT_FLOAT_EQ(one(6, 50, {false, false, 1.05f}), 105.0f);
    EXPECT_FLOAT_EQ(one(6, 50, {false, true, 0.9f}), 56.2f); // 56.25 on a double
    EXPECT_FLOAT_EQ(one(7, 150), 12.0f);
    EXPECT_FLOAT_EQ(one(7, 181), 14.5f); // 14.48
    EXPECT_FLOAT_EQ(one(8, 255), 5.1f);
    EXPECT_FLOAT_EQ(one(11, 33), 0.66f);
    EXPECT_FLOAT_EQ(one(12, 1234), 12.34f);
    EXPECT_FLOAT_EQ(one(19, 0x7FFF), 327.67f);
    EXPECT_FLOAT_EQ(one(13, 0x78), -10.0f);
    EXPECT_FLOAT_EQ(one(13, 0), 110.0f);
    EXPECT_FLOAT_EQ(one(13, 255), -145.0f);
    EXPECT_FLOAT_EQ(one(14, 255), 100.0f);
    EXPECT_FLOAT_EQ(one(14, 128), 50.0f);
    EXPECT_FLOAT_EQ(one(14, 1), 0.0f);
    for (int g : {15, 16, 17, 18, 22, 23})
        EXPECT_FLOAT_EQ(one(g, 77), 77.0f) << g;
    for (int g : {20, 21, 24, kChannelCount, -1})
        EXPECT_FLOAT_EQ(one(g, 77), 0.0f) << g;
    EXPECT_FLOAT_EQ(dutyCycle(3000.0f, 4.0f), 10.0f);
    EXPECT_FLOAT_EQ(dutyCycle(6000.0f, 2.3f), 11.5f);
    EXPECT_FLOAT_EQ(dutyCycle(150.0f, 1.0f), 0.12f); // 0.125
}

// `units` of 10^-decimals as decimal text, read as the nearest single.
float decimalReference(long long units, int decimals) {
    std::string text = std::to_string(units < 0 ? -units : units);
    if (text.size() <= size_t(decimals)) text.insert(0, decimals + 1 - text.size(), '0');
    text.insert(text.size() - decimals, ".");
    if (units < 0) text.insert(0, "-");
    float v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

// Every raw value of each decimal-scale conversion against the exact product, rounded digit by
// digit: Air Flow 57 is exactly 0.285, which goes to 0.28, where the binary product gave 0.29.
TEST(LiveConversions, DecimalScalesRoundTheExactProduct) {
    struct Scale {
        std::vector<int> gauges;
        int mantissa, scaleDigits, decimals, rawMax;
    };
    const Scale scales[] = {
        {{0}, 125, 1, 0, 0x7FFF},    // × 12.5
        {{1, 2}, 5, 3, 2, 0x7FFF},   // × 0.005
        {{7}, 8, 2, 1, 255},         // × 0.08
        {{8, 11}, 2, 2, 2, 255},     // × 0.02
        {{12, 19}, 1, 2, 2, 0x7FFF}, // × 0.01
    };
    for (const Scale& s : scales) {
        long long drop = 1;
        for (int i = s.decimals; i < s.scaleDigits; ++i)
            drop *= 10;
        for (int raw = 0; raw <= s.rawMax; ++raw) {
            const long long exact = static_cast<long long>(raw) * s.mantissa;
            long long kept = exact / drop;
            const long long rest = exact % drop;
            if (2 * rest > drop || (2 * rest == drop && kept % 2 == 1)) ++kept;
            const float expected = decimalReference(kept, s.decimals);
            for (int g : s.gauges)
                ASSERT_EQ(one(g, uint16_t(raw)), expected) << "gauge " << g << " raw " << raw;
        }
    }
    EXPECT_EQ(one(1, 57), 0.28f);
    for (int raw = 0; raw <= 255; ++raw) // Fahrenheit: exact in tenths, nothing to round
        ASSERT_EQ(one(3, uint16_t(raw), {true, false, 1.0f}),
                  decimalReference((raw - 50) * 18 + 320, 1))
            << raw;
}

TEST(LiveConversions, SwitchRegisters) {
    std::array<QString, 12> s;
    decodeSwitchRegister(1, 0x03, s);
    EXPECT_EQ(s[7], "On");
    EXPECT_EQ(s[5], "Off");
    EXPECT_EQ(s[6], "Off");
    EXPECT_EQ(s[8], "Off");
    decodeSwitchRegister(1, 0x02, s);
    EXPECT_EQ(s[7], "High");
    decodeSwitchRegister(1, 0xE1, s);
    EXPECT_EQ(s[7], "Low");
    EXPECT_EQ(s[5], "On");
    EXPECT_EQ(s[6], "On");
    EXPECT_EQ(s[8], "On");
    decodeSwitchRegister(1, 0x1C, s);
    EXPECT_EQ(s[7], "Off");
    EXPECT_EQ(s[0], ""); // other registers' indicators untouched

    decodeSwitchRegister(0, 0x15, s); // bits 4, 2, 0
    EXPECT_EQ(s[2], "On");
    EXPECT_EQ(s[1], "Off");
    EXPECT_EQ(s[4], "On");
    EXPECT_EQ(s[3], "Off");
    EXPECT_EQ(s[0], "On");
    decodeSwitchRegister(2, 0x21, s);
    EXPECT_EQ(s[9], "On");
    EXPECT_EQ(s[11], "On");
    decodeSwitchRegister(2, 0xDE, s);
    EXPECT_EQ(s[9], "Off");
    EXPECT_EQ(s[11], "Off");
    decodeSwitchRegister(3, 0x80, s);
    EXPECT_EQ(s[10], "Lean");
    decodeSwitchRegister(3, 0x7F, s);
    EXPECT_EQ(s[10], "Rich");
}

TEST(LiveRequest, PairsInSlotOrderThenSwitchRegisters) {
    const GaugeSetup s = slotsOf({6, 0, 20, 12, 24}, {1, 0, 1, 1});
    EXPECT_EQ(s.displayByteCount, 8);
    EXPECT_EQ(fullDataRequest(s), bytes({0x5A, 0x0B, 0x5A, 0x00, 0x5A, 0x01, 0x5A, 0x14, 0x5A, 0x15,
                                         0x5A, 0x13, 0x5A, 0x1F, 0x5A, 0x21}));
    // Nothing to ask for: no request at all.
    EXPECT_TRUE(fullDataRequest(slotsOf({})).isEmpty());
    // All twelve on Duty Cycle: only the switch registers are requested.
    EXPECT_EQ(fullDataRequest(allDutyCycle({0, 1, 0, 0})), bytes({0x5A, 0x1E}));
    // A gauge number beyond the catalogue, or a count that does not match: nothing is sent.
    GaugeSetup bad = slotsOf({0, 1});
    bad.displaySelection[5] = 25;
    EXPECT_TRUE(fullDataRequest(bad).isEmpty());
    bad = slotsOf({0, 1});
    bad.displayByteCount = 3;
    EXPECT_TRUE(fullDataRequest(bad).isEmpty());
}

TEST(LiveFraming, FindsFirstHeaderWithinTheSearchWindow) {
    EXPECT_EQ(findFrame(bytes({0xFF, 2, 1, 2}), 2, 4), 0);
    EXPECT_EQ(findFrame(bytes({0, 0xFF, 3, 0xFF, 2}), 2, 4), 3);
    EXPECT_EQ(findFrame(bytes({0, 0, 0, 0xFF, 2}), 2, 2), -1); // header at N + 3
    EXPECT_EQ(findFrame(bytes({0, 0, 0xFF}), 0, 10), -1);      // count byte missing
    EXPECT_EQ(findFrame(QByteArray(), 0, 10), -1);
    EXPECT_EQ(findFrame(bytes({0xFF, 0}), 0, 0), 0);
}

TEST(LiveDecode, FullFrameInUserUnits) {
    GaugeSetup s = slotsOf({0, 3, 6, 13, 14, 12, 20, 24, 7}, {1, 1, 1, 1});
    ASSERT_EQ(s.displayByteCount, 13);
    LiveValues v;
    v.wbValues[0] = 14.7f;
    const QByteArray d = bytes({0x12, 0x34}) + frame(13, {0x01, 0x00, 0x32, 50, 0x78, 255, 0x01,
                                                          0x90, 150, 0x1F, 0x02, 0x20, 0x80});
    getFullData(d, s, {true, true, 1.0f}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[0], 3200.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[3], 32.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[6], 62.5f);
    EXPECT_FLOAT_EQ(v.gaugeValue[13], -10.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[14], 100.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[12], 4.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[20], 10.67f); // 3200 / 1200 * 4 = 10.6666..
    EXPECT_FLOAT_EQ(v.gaugeValue[24], 14.7f);
    EXPECT_FLOAT_EQ(v.gaugeValue[7], 12.0f);
    EXPECT_EQ(v.switchState[0], "On");
    EXPECT_EQ(v.switchState[4], "On");
    EXPECT_EQ(v.switchState[7], "High");
    EXPECT_EQ(v.switchState[9], "On");
    EXPECT_EQ(v.switchState[11], "Off");
    EXPECT_EQ(v.switchState[10], "Lean");
}

TEST(LiveDecode, DutyCycleUsesValuesAsTheyStandWhenItsSlotIsReached) {
    LiveValues v;
    // Duty cycle before RPM and injector: the previous (never received) values give 0.
    const GaugeSetup first = slotsOf({20, 0, 12});
    getFullData(frame(4, {0x01, 0x00, 0x01, 0x90}), first, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[20], 0.0f);
    // The next frame uses the previous frame's RPM and injector time.
    getFullData(frame(4, {0x02, 0x00, 0x01, 0x90}), first, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[20], 10.67f);
    EXPECT_FLOAT_EQ(v.gaugeValue[0], 6400.0f);
    // After them: this frame's.
    getFullData(frame(4, {0x02, 0x00, 0x01, 0x90}), slotsOf({0, 12, 20}), {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[20], 21.33f);
    // The right bank pairs with injector RH.
    getFullData(frame(4, {0x00, 0x60, 0x00, 0xC8}), slotsOf({0, 19, 21}), {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[21], 2.0f); // 1200 / 1200 * 2
}

TEST(LiveDecode, NoRegistersMeansNothingReceived) {
    const GaugeSetup s = allDutyCycle({});
    EXPECT_EQ(s.displayByteCount, 0);
    EXPECT_TRUE(fullDataRequest(s).isEmpty());
    LiveValues v;
    getFullData(bytes({0xFF, 0x00, 0xFF, 0x00}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[20], 0.0f);
    // With one switch register the frame carries just that byte.
    const GaugeSetup one = allDutyCycle({0, 0, 0, 1});
    getFullData(frame(1, {0x80}), one, {}, v);
    EXPECT_EQ(v.switchState[10], "Lean");
    EXPECT_FLOAT_EQ(v.gaugeValue[20], 0.0f);
}

TEST(LiveDecode, FrameSearchWindowAndRepeatedFrames) {
    const GaugeSetup s = slotsOf({4, 5});
    LiveValues v;
    // Two frames in one delivery: the first one counts.
    getFullData(frame(2, {10, 11}) + frame(2, {20, 21}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 10.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[5], 11.0f);
    // Header at N + 2 = 4 is still found.
    getFullData(bytes({1, 2, 3, 4}) + frame(2, {30, 31}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 30.0f);
    // Header at N + 3 is too late: nothing changes.
    getFullData(bytes({1, 2, 3, 4, 5}) + frame(2, {40, 41}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 30.0f);
    // 0xFF inside the data is data.
    getFullData(frame(2, {0xFF, 0x02}) + frame(2, {50, 51}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 255.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[5], 2.0f);
    // A wrong count byte is not a header.
    getFullData(frame(3, {60, 61, 62}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 255.0f);
}

TEST(LiveDecode, OverflowingTwoByteValueStopsTheDelivery) {
    const GaugeSetup s = slotsOf({4, 0, 5}, {1, 0, 0, 0});
    LiveValues v;
    v.gaugeValue[0] = 1.0f;
    v.gaugeValue[5] = 2.0f;
    v.switchState[0] = "x";
    getFullData(frame(5, {7, 0x80, 0x00, 9, 0x01}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 7.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[0], 1.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[5], 2.0f);
    EXPECT_EQ(v.switchState[0], "x");
    getFullData(frame(5, {7, 0x7F, 0xFF, 9, 0x01}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[0], 409588.0f); // 32767 * 12.5 = 409587.5, to even
    EXPECT_EQ(v.switchState[0], "On");
}

TEST(LiveDecode, ShortDeliveryKeepsEarlierSlotsOnly) {
    const GaugeSetup s = slotsOf({4, 0, 5}, {0, 0, 0, 1});
    LiveValues v;
    v.gaugeValue[0] = 1.0f;
    getFullData(frame(5, {7, 0x01}), s, {}, v); // RPM's low byte missing
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 7.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[0], 1.0f);
    getFullData(frame(5, {8, 0x01, 0x00, 9}), s, {}, v); // switch byte missing
    EXPECT_FLOAT_EQ(v.gaugeValue[5], 9.0f);
    EXPECT_EQ(v.switchState[10], "");
    getFullData(bytes({0xFF}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 8.0f);
}

TEST(LiveDecode, SameGaugeTwiceReadsTwoSetsOfBytes) {
    const GaugeSetup s = slotsOf({4, 4, 5});
    LiveValues v;
    getFullData(frame(3, {1, 2, 3}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 2.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[5], 3.0f);
}

TEST(LiveDecode, GaugeNumberBeyondCatalogueStopsQuietly) {
    GaugeSetup s = slotsOf({4, 5});
    s.displaySelection[1] = 200;
    LiveValues v;
    getFullData(frame(2, {9, 9}), s, {}, v);
    EXPECT_FLOAT_EQ(v.gaugeValue[4], 9.0f);
    EXPECT_FLOAT_EQ(v.gaugeValue[5], 0.0f);
}
