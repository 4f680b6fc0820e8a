#include "gauges/display_colours.h"
#include "gauges/gauge_geometry.h"
#include "util/settings_store.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kx;

TEST(DialGeometry, SurfaceOf3000By2400Twips) {
    const auto g = dialGeometry(3000, 2400, 0, 8000);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->centerX, 1500);
    EXPECT_EQ(g->centerY, 1344);
    EXPECT_EQ(g->radius, 1320);
    EXPECT_DOUBLE_EQ(g->degPerUnit, 270.0 / 8000);
    EXPECT_EQ(arcRadii(g->radius), (std::vector<int32_t>{1320, 1280, 1240, 1200, 1160, 1120}));
}

TEST(DialGeometry, RadiusFromTheNarrowerSideWithHalvesToEven) {
    // Tall surface: 0.95 of half the width.
    EXPECT_EQ(dialGeometry(2000, 3000, 0, 1)->radius, 950);
    EXPECT_EQ(dialGeometry(61, 100, 0, 1)->radius, 28);  // 30 * 0.95 = 28.5
    EXPECT_EQ(dialGeometry(1000, 30, 0, 1)->radius, 16); // 15 * 1.1 = 16.5
    EXPECT_EQ(dialGeometry(1000, 10, 0, 1)->radius, 6);  // 5 * 1.1 = 5.5
    EXPECT_EQ(dialGeometry(3001, 2401, 0, 1)->centerX, 1500);
    EXPECT_FALSE(dialGeometry(3000, 2400, 5, 5)); // equal ends cannot be divided
}

TEST(DialGeometry, EightThousandRpmScale) {
    const auto g = dialGeometry(3000, 2400, 0, 8000);
    const auto s = dialScale(*g, 0, 8000, 8, 5);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->major.size(), 9u);
    for (int i = 0; i <= 8; ++i) {
        EXPECT_EQ(s->major[i].label, i * 1000);
        EXPECT_DOUBLE_EQ(s->major[i].sweep, i * 33.75);
    }
    EXPECT_EQ(s->minor.size(), 32u); // 4 inside each division, none after the last label
    // First tick at the lower left, the middle one straight up, the last at the lower right.
    EXPECT_EQ(s->major[0].outer, QPoint(1500 - 933, 1344 + 933));
    EXPECT_EQ(s->major[0].inner, QPoint(1500 - 765, 1344 + 765)); // 0.82 R = 1082.4
    EXPECT_EQ(s->major[4].outer, QPoint(1500, 24));
    EXPECT_EQ(s->major[8].outer, QPoint(1500 + 933, 1344 + 933));
    // The first minor tick, one fifth of a division in, from 0.91 R to R.
    EXPECT_EQ(s->minor[0].outer, dialPoint(*g, 6.75, 1320));
    EXPECT_EQ(s->minor[0].inner, dialPoint(*g, 6.75, 0.91 * 1320));

    EXPECT_FALSE(dialScale(*g, 0, 8000, 0, 5));
    EXPECT_FALSE(dialScale(*g, 0, 8000, 8, 0));
    EXPECT_EQ(dialScale(*g, 0, 8000, 8, 1)->minor.size(), 0u);
}

TEST(DialGeometry, LabelValuesRoundHalfToEven) {
    const auto g = dialGeometry(3000, 2400, 6, 16);
    const auto s = dialScale(*g, 6, 16, 10, 5);
    EXPECT_EQ(s->major.front().label, 6);
    EXPECT_EQ(s->major.back().label, 16);
    const auto h = dialGeometry(3000, 2400, 0, 5);
    const auto t = dialScale(*h, 0, 5, 2, 1);
    EXPECT_EQ(t->major[1].label, 2); // 2.5
    const auto u = dialScale(*dialGeometry(3000, 2400, 0, 7), 0, 7, 2, 1);
    EXPECT_EQ(u->major[1].label, 4); // 3.5
}

TEST(DialGeometry, LabelSitsInsideItsTick) {
    // At the top the label is centred under the tick's inner end (up to W/2 - W/1.5).
    const QPointF top = labelPosition(QPoint(1500, 262), 135.0, QSizeF(300, 240));
    EXPECT_DOUBLE_EQ(top.x(), 1500 - 200.0);
    EXPECT_DOUBLE_EQ(top.y(), 262 - (120 - 192)); // h = 192.09.. pulls it down by 192
    // At sweep 0 (lower left) it is pulled up and to the right.
    const QPointF low = labelPosition(QPoint(735, 2109), 0.0, QSizeF(300, 240));
    EXPECT_DOUBLE_EQ(low.x(), 735 - (200 - 136));
    EXPECT_DOUBLE_EQ(low.y(), 2109 - (120 + 136));
}

TEST(DialGeometry, NeedleAndOverlays) {
    const auto g = *dialGeometry(3000, 2400, 0, 8000);
    EXPECT_EQ(needleEnd(g, 4000.0f, 0), QPoint(1500, 1344 - 1320));
    EXPECT_EQ(needleEnd(g, 0.0f, 0), QPoint(567, 2277));
    const auto b = *dialGeometry(3000, 2400, 6, 16);
    EXPECT_FLOAT_EQ(clampToScale(3.0f, 6, 16), 6.0f);
    EXPECT_FLOAT_EQ(clampToScale(1e30f, 6, 16), 16.0f);
    EXPECT_FLOAT_EQ(clampToScale(std::numeric_limits<float>::quiet_NaN(), 6, 16), 6.0f);
    EXPECT_EQ(needleEnd(b, 6.0f, 6), QPoint(567, 2277));

    EXPECT_EQ(dialStyle(1320).needleWidth, 3); // 2.64
    EXPECT_EQ(dialStyle(1250).needleWidth, 2); // 2.5 to even
}

TEST(DialTexts, ValueAndPeak) {
    EXPECT_EQ(valueText(2.5f, 2), "2.50");
    EXPECT_TRUE(sameDigitShape("12.50", "98.07"));
    EXPECT_FALSE(sameDigitShape("9.50", "10.50"));
    EXPECT_FALSE(sameDigitShape("-1.5", "11.5"));
    EXPECT_EQ(valueText(2.5f, 0), "2.5");
    EXPECT_EQ(valueText(6.0f, 1), "6.0");
    EXPECT_EQ(valueText(0.125f, 2), "0.12");
    EXPECT_EQ(valueText(0.25f, 1), "0.2");
    EXPECT_EQ(valueText(-0.001f, 2), "0.00");
    EXPECT_EQ(valueText(-10.0f, 0), "-10");
    EXPECT_EQ(valueText(3200.0f, 5), "3200");

    QString peak = "0";
    for (float v : {3.0f, 7.0f, 5.0f})
        peak = peakText(peak, v, 0);
    EXPECT_EQ(peak, "7");
    EXPECT_EQ(peakText("0", -4.0f, 0), "0");
    EXPECT_EQ(peakText("abc", -4.0f, 0), "-4");
    EXPECT_EQ(peakText("", 1.5f, 0), "1.5");
    // Written as the dial writes its value: "16.90" beside "14.89", not "16.9".
    EXPECT_EQ(peakText("7", 16.9f, 2), "16.90");
    EXPECT_EQ(peakText("16.90", 16.9f, 2), "16.90");
}

TEST(DialColours, ReadFromDisplaySettings) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("k.conf"));
    EXPECT_EQ(scaleColours(readDisplayColours(store)).circle, 0xFF0000u);
    store.save("Display", "GaugeCircle", "255");
    store.save("Display", "GaugeTicker", "-2147483633"); // a system colour, stored signed
    store.save("Display", "GaugeSubTicker", "green");
    const ScaleColours c = scaleColours(readDisplayColours(store));
    EXPECT_EQ(c.circle, 255u);
    EXPECT_EQ(c.ticker, 0x8000000Fu);
    EXPECT_EQ(c.subTicker, 0x00FF00u);
}
