// The dashboard's request, decoder, alert lamps, layout and set-up rules, without windows.
#include "dash/dashboard.h"
#include "live/spike_filter.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
DashStream dash(uint8_t left, uint8_t right, bool mph = false) {
    GaugeSetup s;
    buildCatalogue(s.gaugeCatalogue, false, mph);
    s.dashSelection = {left, right};
    countBytes(s);
    return dashStream(s);
}

// A dashboard frame as the stream tap takes it: read in the stream's layout, then converted as
// every live value is.
void tapDecode(const QByteArray& frame, const DashStream& s, const Units& u, LiveValues& v) {
    applyReadings(readFrame(frame, dashStreamSetup(s)), u, v, kDashSlots);
}
} // namespace

// Every dial pair, unit choice and damaged display key of the dashboard's fuzz input, each with
// frames of varied bytes (high bytes of 0x80 and more among them), frame after frame: the digest
// holds the values the dashboard's own frame decoder gave, before the stream tap took its place.
// The answers are those of the first 25 channels: a number past them names no gauge, however
// many channels are added later.
TEST(DashboardStream, TheTapReadsEveryFuzzInputAsTheDashboardDecoderDid) {
    constexpr uint8_t kAnswered = 25;
    const auto dial = [](uint8_t n) { return n < kAnswered ? n : uint8_t(99); };
    uint32_t seed = 43;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return uint8_t(seed >> 24);
    };
    uint64_t digest = 14695981039346656037ull;
    int frames = 0;
    for (int options = 0; options < 8; ++options) {
        for (uint8_t left = 0; left < 28; ++left) {
            for (uint8_t right = 0; right < 28; ++right) {
                GaugeSetup setup;
                buildCatalogue(setup.gaugeCatalogue, options & 1, options & 2);
                if (options & 4) setup.displaySelection[0] = 99;
                setup.dashSelection = {dial(left), dial(right)};
                countBytes(setup);
                const DashStream s = dashStream(setup);
                const Units units{bool(options & 1), bool(options & 2), next() / 64.0f};
                LiveValues tap;
                tap.wbValues[0] = 14.7f;
                for (int f = 0; f < 3; ++f) {
                    QByteArray frame = bytes({0xFF, s.byteCount + kDashFixedBytes});
                    for (int b = 0; b < s.byteCount + kDashFixedBytes; ++b)
                        // The last frame's bytes are any; the others' even bytes stay below 0x80.
                        frame.append(char(next() >> (f == 2 || b % 2 ? 0 : 1)));
                    ASSERT_TRUE(readFrame(frame, dashStreamSetup(s)).found);
                    tapDecode(frame, s, units, tap);
                    for (int g = 0; g < kAnswered; ++g) {
                        const QString text = QString::number(tap.gaugeValue[size_t(g)], 'f', 3);
                        for (const QChar c : text)
                            digest = (digest ^ c.unicode()) * 1099511628211ull;
                    }
                    ++frames;
                }
            }
        }
    }
    EXPECT_EQ(frames, 8 * 28 * 28 * 3);
    EXPECT_EQ(digest, 647539999722520015ull);
}

TEST(DashboardStream, RequestCountAndThresholdFollowTheDials) {
    const struct {
        uint8_t left, right;
        QByteArray request;
        int count, threshold;
    } cases[] = {
        {0, 1, QByteArray::fromHex("5a005a015a0b5a005a015a045a05"), 7, 18},
        {20, 24, QByteArray::fromHex("5a005a015a0b"), 3, 10},
        {6, 3, QByteArray::fromHex("5a005a015a0b5a0b5a08"), 5, 14},
    };
    for (const auto& c : cases) {
        const DashStream s = dash(c.left, c.right);
        EXPECT_EQ(dashRequest(s), c.request) << int(c.left) << "," << int(c.right);
        EXPECT_EQ(s.byteCount + kDashFixedBytes, c.count);
        EXPECT_EQ(dashThreshold(s.byteCount), c.threshold);
        // The spike filter reads the frame the way the request lays it out.
        EXPECT_EQ(dashStreamSetup(s).displayByteCount, c.count);
    }
    const FrameReadings r =
        readFrame(QByteArray::fromHex("ff050209324046"), dashStreamSetup(dash(6, 3)));
    ASSERT_GE(r.slotCount, 4);
    const std::vector<std::pair<int, int>> want = {{0, 0x0209}, {6, 0x32}, {6, 0x40}, {3, 0x46}};
    for (size_t k = 0; k < want.size(); ++k) {
        EXPECT_EQ(r.bySlot[k].gauge, want[k].first) << k;
        EXPECT_EQ(r.bySlot[k].raw, std::optional<uint16_t>(uint16_t(want[k].second))) << k;
    }
}

// A damaged display slot stops the byte counts before the dashboard's: the stream still takes
// its count from its own dials, and a frame of the wrong length is never read past its end.
TEST(DashboardStream, ADamagedDisplayKeyLeavesRequestCountAndDecoderAgreeing) {
    GaugeSetup setup;
    buildCatalogue(setup.gaugeCatalogue, false, false);
    setup.displaySelection[0] = 99;
    setup.dashSelection = {0, 1}; // RPM and Air Flow, two bytes each
    countBytes(setup);
    ASSERT_EQ(setup.dashByteCount, 0);
    const DashStream s = dashStream(setup);
    EXPECT_EQ(dashRequest(s), QByteArray::fromHex("5a005a015a0b5a005a015a045a05"));
    EXPECT_EQ(s.byteCount, 4);
    EXPECT_EQ(dashThreshold(s.byteCount), 18);
    // A frame of three data bytes, followed in memory by bytes that are not the delivery's.
    static const char memory[] = {char(0xFF), 3, 0x02, 0x09, 55, 0x01, char(0x90), 0x02, 0x00};
    const QByteArray shortFrame = QByteArray::fromRawData(memory, 5);
    LiveValues v;
    EXPECT_FALSE(readFrame(shortFrame, dashStreamSetup(s)).found);
    tapDecode(shortFrame, s, Units{}, v);
    EXPECT_EQ(v.gaugeValue, LiveValues{}.gaugeValue);
    tapDecode(QByteArray(memory, 9).replace(1, 1, "\x07"), s, Units{}, v);
    EXPECT_EQ(v.gaugeValue[1], 2.56f);
}

TEST(DashboardStream, DecodesTheFrameAndDropsCutOnes) {
    const DashStream s = dash(0, 1);
    const GaugeSetup layout = dashStreamSetup(s);
    Units units;
    // RPM 521 (6512.5 rounds to even), speed 55, then the dials: RPM 0x0190, air flow 0x0200.
    const QByteArray frame = bytes({0xFF, 7, 0x02, 0x09, 55, 0x01, 0x90, 0x02, 0x00});
    LiveValues v;
    tapDecode(bytes({1, 2, 3}) + frame, s, units, v);
    EXPECT_EQ(v.gaugeValue[0], 5000.0f); // the dial's own RPM bytes come last
    EXPECT_EQ(v.gaugeValue[6], 110.0f);
    EXPECT_EQ(v.gaugeValue[1], 2.56f);
    EXPECT_EQ(v.gaugeValue[kWidebandGauge], 0.0f); // the layout's filling slots change nothing

    // Cut short inside the frame: it does not read whole, and the tap drops it.
    EXPECT_FALSE(decodesWhole(readFrame(frame.left(8), layout), layout));
    EXPECT_TRUE(decodesWhole(readFrame(frame, layout), layout));

    // A 2-byte value of 0x8000 or more stops there; the values before it are kept.
    QByteArray over = frame;
    over[7] = char(0x80);
    LiveValues part;
    tapDecode(over, s, units, part);
    EXPECT_EQ(part.gaugeValue[6], 110.0f);
    EXPECT_EQ(part.gaugeValue[1], 0.0f);
    EXPECT_FALSE(decodesWhole(readFrame(over, layout), layout));

    // Engine speed of the fixed bytes: 521 is 6512 rpm; mph halves via 1.6.
    LiveValues m;
    tapDecode(bytes({0xFF, 3, 0x02, 0x09, 48}), dash(20, 24), Units{false, true, 1.0f}, m);
    EXPECT_EQ(m.gaugeValue[0], 6512.0f);
    EXPECT_EQ(m.gaugeValue[6], 60.0f);
}

TEST(DashboardAlerts, LampsFlashWhileOverTheLimitAndBeepOncePerFrame) {
    const uint32_t back = 0x123456;
    const auto rpm = std::optional<int16_t>(6500);
    const auto speed = std::optional<int16_t>(110);
    std::array<uint32_t, 2> fill{back, back};
    // 6512 rpm: orange, back, orange; 6500: back at once.
    const uint32_t rpmSteps[] = {kOrange, back, kOrange};
    for (uint32_t expected : rpmSteps) {
        const LampStep s = alertStep(fill, back, 6512, 100, rpm, speed);
        EXPECT_EQ(s.fill[0], expected);
        EXPECT_EQ(s.fill[1], back);
        EXPECT_EQ(s.beeps, 1);
        fill = s.fill;
    }
    EXPECT_EQ(alertStep(fill, back, 6500, 0, rpm, speed).fill[0], back);
    // Road speed: red, blue, red; both over: two beeps.
    fill = {back, back};
    const uint32_t speedSteps[] = {kRed, kBlue, kRed};
    for (uint32_t expected : speedSteps) {
        const LampStep s = alertStep(fill, back, 7000, 111, rpm, speed);
        EXPECT_EQ(s.fill[1], expected);
        EXPECT_EQ(s.beeps, 2);
        fill = s.fill;
    }
    // A limit that is not a number sounds no alert.
    const LampStep none = alertStep(fill, back, 9000, 250, std::nullopt, std::nullopt);
    EXPECT_EQ(none.fill, (std::array<uint32_t, 2>{back, back}));
    EXPECT_EQ(none.beeps, 0);
    EXPECT_EQ(dashLimit("6500"), 6500);
    EXPECT_EQ(dashLimit("abc"), std::nullopt);
    EXPECT_EQ(dashLimit(""), std::nullopt);
    EXPECT_EQ(dashLimit("70000"), std::nullopt);
}

TEST(DashboardLayout, TwoColumnsDialsOverLampsCaptionsCentred) {
    const DashLayout l = dashLayout(14400, 9000);
    EXPECT_EQ(l.dial[1].left, 7200);
    EXPECT_EQ(l.dial[1].width, 7200);
    EXPECT_EQ(l.dial[0].height, 6000);
    EXPECT_EQ(l.lamp[1].top, 6000);
    EXPECT_EQ(l.lamp[1].height, 3000);
    EXPECT_EQ(l.captionPoints, 14); // 7200 × 0.002
    EXPECT_EQ(captionPosition(l, 1, 2001, 301), (std::array<int, 2>{7200 + 3600 - 1000, 7350}));
}

TEST(DashboardSetup, ListsAndLimitTexts) {
    ASSERT_EQ(dashSetupItems().size(), size_t(kChannelCount));
    EXPECT_EQ(dashSetupItems()[20], "Duty Cycle (requires RPM & Inj)");
    EXPECT_EQ(dashSetupItems()[23], "O2 Sensor B2");
    for (const char* t : {"0999", "6500"})
        EXPECT_TRUE(validRpmText(t)) << t;
    for (const char* t : {"650", "65000", "65a0", " 650", ""})
        EXPECT_FALSE(validRpmText(t)) << t;
    for (const char* t : {"99", "110"})
        EXPECT_TRUE(validSpeedText(t)) << t;
    for (const char* t : {"5", "1100", "1.5", "-10"})
        EXPECT_FALSE(validSpeedText(t)) << t;
}
