#include "gauges/GaugePicture.h"
#include "gauges/NeedleLine.h"
#include "gauges/SpeedometerGauge.h"
#include "gauges/display_colours.h"
#include "util/colour.h"
#include "util/settings_store.h"

#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kx;

namespace {

// A window's share of one dial: the picture with its needle and three labels on top.
struct Dial {
    QWidget window;
    GaugePicture* picture = new GaugePicture(&window);
    NeedleLine* needle = new NeedleLine(picture);
    QLabel* maximum = new QLabel(QStringLiteral("0"), picture);
    QLabel* value = new QLabel(QStringLiteral("0"), picture);
    QLabel* name = new QLabel(QStringLiteral("RPM"), picture);

    Dial() {
        window.resize(400, 300);
        picture->setGeometry(0, 0, 200, 160); // 3000 x 2400 twips
        QPalette p = picture->palette();
        p.setColor(QPalette::Window, Qt::black);
        p.setColor(QPalette::WindowText, Qt::white);
        picture->setPalette(p);
    }
    void setup(SpeedometerGauge& g, int32_t lo, int32_t hi, int32_t ticks, int32_t sub,
               int16_t decimals) {
        g.setup(picture, needle, maximum, value, name, lo, hi, ticks, sub, decimals);
    }
};

} // namespace

TEST(SpeedometerGauge, SetupDrawsScaleOnceAndShowsZero) {
    Dial d;
    SpeedometerGauge g;
    d.setup(g, 0, 8000, 8, 5, 0);
    EXPECT_EQ(g.scaleRenderCount(), 1);
    ASSERT_TRUE(g.geometry());
    EXPECT_EQ(g.geometry()->centerY, 1344);
    EXPECT_EQ(d.value->text(), "0");
    EXPECT_EQ(d.maximum->text(), "0");
    EXPECT_EQ(d.needle->geometry(), d.picture->rect());
    EXPECT_EQ(d.needle->penWidth(), 3);
    // Value 0 points at the lower left: (567, 2277) twips.
    EXPECT_DOUBLE_EQ(d.needle->line().p2().x(), 567 / 15.0);
    EXPECT_DOUBLE_EQ(d.needle->line().p2().y(), 2277 / 15.0);
    // Name centred, above the middle.
    EXPECT_NEAR(d.name->x() + d.name->width() / 2.0, 100, 1.0);
    EXPECT_LE(d.name->y() + d.name->height(), 80 + 1);
    EXPECT_EQ(d.value->y() + d.value->height(), 160);
}

TEST(SpeedometerGauge, ValueUpdatesNeverRedrawTheScale) {
    Dial d;
    d.window.show();
    SpeedometerGauge g;
    d.setup(g, 0, 8000, 8, 5, 0);
    const qint64 key = d.picture->scaleImage().cacheKey();
    for (int i = 0; i < 50; ++i) {
        g.setValue(static_cast<float>(i * 160));
        d.window.repaint();
    }
    (void)d.window.grab();
    EXPECT_EQ(g.scaleRenderCount(), 1);
    EXPECT_EQ(d.picture->scaleImage().cacheKey(), key);
    g.setValue(4000.0f);
    EXPECT_DOUBLE_EQ(d.needle->line().p2().x(), 100.0); // straight up
    EXPECT_DOUBLE_EQ(d.needle->line().p2().y(), 24 / 15.0);
    EXPECT_EQ(d.maximum->text(), "7840");
    EXPECT_EQ(d.value->text(), "4000");
    EXPECT_NEAR(d.value->x() + d.value->width() / 2.0, 100, 1.0); // re-centred
    // A narrower text narrows the label and stays centred.
    g.showNoValue();
    QLabel probe(QStringLiteral("--"));
    probe.setFont(d.value->font());
    EXPECT_EQ(d.value->width(), probe.sizeHint().width());
    EXPECT_NEAR(d.value->x() + d.value->width() / 2.0, 100, 1.0);
    // A new set-up (the owner's resize) draws it again.
    d.picture->resize(300, 240);
    d.setup(g, 0, 8000, 8, 5, 0);
    EXPECT_EQ(g.scaleRenderCount(), 2);
    EXPECT_EQ(d.maximum->text(), "7840"); // the peak survives set-up
}

TEST(SpeedometerGauge, ClampsAndFormatsWithTheScaleDecimals) {
    Dial d;
    SpeedometerGauge g;
    d.setup(g, 6, 16, 10, 5, 1);
    EXPECT_EQ(d.value->text(), "6.0"); // set-up's 0 clamps to the low end
    g.setValue(3.0f);
    EXPECT_FLOAT_EQ(g.value(), 6.0f);
    EXPECT_EQ(d.value->text(), "6.0");
    EXPECT_DOUBLE_EQ(d.needle->line().p2().x(), 567 / 15.0);
    g.setValue(99.0f);
    EXPECT_EQ(d.value->text(), "16.0");
    EXPECT_EQ(d.maximum->text(), "16.0"); // the peak as the value is written
    d.maximum->setText("0"); // the owner's max-hold reset
    g.setValue(12.25f);
    EXPECT_EQ(d.value->text(), "12.2");
    EXPECT_EQ(d.maximum->text(), "12.2");
}

TEST(SpeedometerGauge, UndrawableScaleEndsSetupQuietly) {
    Dial d;
    SpeedometerGauge g;
    d.setup(g, 5, 5, 10, 5, 0);
    EXPECT_EQ(g.scaleRenderCount(), 0);
    EXPECT_FALSE(g.geometry());
    g.setValue(9.0f); // no geometry: stored, nothing moves
    EXPECT_FLOAT_EQ(g.value(), 5.0f);
    d.setup(g, 0, 100, 0, 5, 0);
    EXPECT_EQ(g.scaleRenderCount(), 0);
    // A surface of no size (a minimised window) is not an error either.
    d.picture->resize(0, 0);
    d.setup(g, 0, 100, 10, 5, 0);
    EXPECT_TRUE(d.picture->scaleImage().isNull());
}

TEST(SpeedometerGauge, ScaleUsesDisplayColours) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("k.conf"));
    store.save("Display", "GaugeCircle", "255"); // red
    Dial d;
    SpeedometerGauge g(scaleColours(readDisplayColours(store)));
    d.setup(g, 0, 70, 7, 10, 0); // no tick straight up
    const QImage image = d.picture->scaleImage().toImage();
    const qreal ratio = d.picture->scaleImage().devicePixelRatio();
    // The ring band at the top, between the tick rings: radius 80 px of 88.
    EXPECT_EQ(image.pixelColor(QPoint(100, 10) * ratio), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(QPoint(100, 120) * ratio), QColor(Qt::black));
}

TEST(Colour, StoredNumbersAndSystemColours) {
    EXPECT_EQ(colourFromBgr(33023), QColor(255, 128, 0)); // orange: red in the low byte
    EXPECT_EQ(colourFromBgr(0xFF0000), QColor(Qt::blue));
    EXPECT_EQ(colourFromBgr(0x8000000F), QGuiApplication::palette().color(QPalette::Button));
    EXPECT_EQ(colourFromBgr(0x80000012), QGuiApplication::palette().color(QPalette::ButtonText));
    EXPECT_EQ(bgrFromColour(QColor(255, 128, 0)), 33023u);
}
