// The dial drawn as one picture: texts kept rendered until what they look like changes, the peak
// read back only after a reset, and a held announcement sent with the next reading.
#include "gauges/DialText.h"
#include "gauges/GaugePicture.h"
#include "gauges/NeedleLine.h"
#include "gauges/gauge_geometry.h"
#include "util/ticks.h"

#include <QLabel>
#include <QPainter>
#include <gtest/gtest.h>

using namespace kx;

TEST(DialText, RendersAgainOnlyWhatItHasNotDrawnInItsLook) {
    QWidget window;
    auto* picture = new GaugePicture(&window);
    auto* needle = new NeedleLine(picture);
    auto* text = new DialText(QStringLiteral("14.1"), picture);
    picture->drawOverlays(needle, {text});
    window.show();
    QImage target(200, 100, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&target);
    const auto change = [&](const std::function<void()>& act) {
        const int before = text->renderCount();
        act();
        text->draw(painter);
        return text->renderCount() - before;
    };
    const auto show = [&](const char* t) { return [=] { text->setText(QString::fromLatin1(t)); }; };
    const QPalette green = [&] {
        QPalette p = text->palette();
        p.setColor(QPalette::WindowText, Qt::green);
        return p;
    }();
    // A number is put together from its characters, each rendered once in a look; any other
    // text is rendered whole and kept.
    const struct {
        const char* what;
        std::function<void()> act;
        int renders;
    } steps[] = {
        {"first draw: three characters", [] {}, 3},
        {"drawn again (a needle passed)", [] {}, 0},
        {"a new value with one new character", show("14.2"), 1},
        {"a new value of known characters", show("12.4"), 0},
        {"a word", show("Lean"), 1},
        {"another word", show("Rich"), 1},
        {"back to a recent word", show("Lean"), 0},
        {"colour changed (greyed, new settings)", [&] { text->setPalette(green); }, 1},
        {"size changed (a wider text, a resize)", [&] { text->resize(text->width() + 9, 20); }, 1},
        {"font changed", [&] { text->setFont(QFont(text->font().family(), 30)); }, 1},
        {"a number in the new font", show("14.1"), 3},
    };
    for (const auto& s : steps)
        EXPECT_EQ(change(s.act), s.renders) << s.what;
    EXPECT_TRUE(needle->drawnByDial());
    EXPECT_TRUE(text->drawnByDial());
}

TEST(DialText, ANumberPutTogetherFromItsCharactersLooksLikeTheLabelsOwnLine) {
    // Where the ink falls, and how much of it there is.
    const auto ink = [](const QImage& image) {
        const QRgb back = image.pixel(0, 0);
        QRect box;
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != back) {
                    box |= QRect(x, y, 1, 1);
                    ++count;
                }
        return std::pair{box, count};
    };
    for (const char* text : {"812.5", "-40", "0.98", "14"}) {
        for (const Qt::Alignment alignment :
             {Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter), Qt::Alignment(Qt::AlignCenter)}) {
            QLabel label(QString::fromLatin1(text));
            DialText composed(QString::fromLatin1(text), nullptr);
            for (QLabel* l : {&label, static_cast<QLabel*>(&composed)}) {
                l->setFont(QFont(l->font().family(), 14));
                l->setAlignment(alignment);
                l->resize(l->sizeHint() + QSize(6, 4));
            }
            const auto [box, count] = ink(label.grab().toImage());
            const auto [boxComposed, countComposed] = ink(composed.grab().toImage());
            SCOPED_TRACE(text);
            EXPECT_LE((box.topLeft() - boxComposed.topLeft()).manhattanLength(), 2);
            EXPECT_LE(std::abs(box.width() - boxComposed.width()), 1);
            EXPECT_LE(std::abs(box.height() - boxComposed.height()), 1);
            EXPECT_NEAR(countComposed, count, count / 8);
        }
    }
}

TEST(PeakHold, RisesWithTheValueAndStartsAfreshAfterAReset) {
    PeakHold peak;
    const struct {
        const char* shown; // the peak text as the window shows it before the value
        float value;
        const char* next;
    } steps[] = {
        {"0", 800.f, "800"},      {"800", 600.f, "800"}, {"800", 12.25f, "800"},
        {"800", 950.5f, "950.5"}, {"0", 600.f, "600"}, // a click reset the peak
        {"600", 0.1f, "600"},     {"x", 5.f, "5"},     // not a number: the value
    };
    for (const auto& s : steps)
        EXPECT_EQ(peak.next(QString::fromLatin1(s.shown), s.value, 0), QLatin1String(s.next))
            << s.shown << " " << s.value;
}

TEST(GaugePicture, AHeldAnnouncementGoesOutWithTheNextReading) {
    uint32_t now = 1000;
    setTickSource([&now] { return now; });
    GaugePicture dial;
    std::vector<double> announced;
    QObject::connect(&dial, &GaugePicture::announced,
                     [&announced](double v) { announced.push_back(v); });
    const auto read = [&](double v) { dial.setReading({nullptr, nullptr, nullptr, v, 0, 100}); };
    read(1); // at once
    now += 10;
    read(2); // held
    now += 10;
    read(2); // unchanged, not yet due
    EXPECT_EQ(announced, std::vector<double>({1}));
    now += GaugePicture::kAnnounceIntervalMs;
    read(2); // unchanged but due: out now, with no event loop turn
    EXPECT_EQ(announced, std::vector<double>({1, 2}));
    read(2);
    EXPECT_EQ(announced.size(), 2u); // nothing more to tell
    setTickSource({});
}
