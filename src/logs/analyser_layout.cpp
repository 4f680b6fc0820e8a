#include "logs/analyser_layout.h"

#include "util/numbers.h"
#include "util/twips.h"

namespace kx {

namespace {
QRect twipsRect(double left, double top, double width, double height) {
    return QRect(roundToInt(left), roundToInt(top), roundToInt(width), roundToInt(height));
}
constexpr int kScrollBarTwips = 17 * kTwipsPerPixel;
constexpr int kMarginTwips = 8 * kTwipsPerPixel;
} // namespace

AnalyserLayout analyserLayout(int width, int height) {
    AnalyserLayout l;
    const double u = width / 5.7;
    const double v = roundToInt(height / 13.0);
    l.captionFont = u / 320;
    l.valueFont = u / 140;
    l.checkFont = u / 300;
    for (int i = 0; i < kAnalyserSeries + kAnalyserIndicators; ++i) {
        auto& c = l.cells[static_cast<size_t>(i)];
        const double left = u * (i / 4);
        const double top = v * (i % 4);
        c.box = twipsRect(left + u / 9, top + v / 10, 0.45 * u, 0.8 * v);
        c.value = twipsRect(u / 25, 0.2 * v, 0.37 * u, 0.5 * v);
        if (i < kAnalyserSeries) {
            c.graph1 = twipsRect(left + 0.6 * u, top + 0.3 * v, 0.4 * u, 0.3 * v);
            c.graph2 = twipsRect(left + 0.6 * u, top + 0.6 * v, 0.4 * u, 0.3 * v);
        }
    }
    l.open = twipsRect(u / 9, 4.1 * v, 0.45 * u, 0.6 * v);
    l.position = twipsRect(u + u / 9, 4 * v, 2.05 * u, 0.65 * v);
    l.positionFont = u / 320;
    // "-1", "+1", Zoom Out, Zoom In and the cursor's time and record share one row under the
    // caption.
    const double shares[5] = {0.8, 0.8, 1.7, 1.7, 3.0};
    const double inner = 2.05 * u - 2 * kMarginTwips;
    double x = kMarginTwips;
    for (size_t i = 0; i < 5; ++i) {
        const double w = inner * shares[i] / 8.0;
        l.positionRow[i] = twipsRect(x + 15, 0.25 * v, w - 30, 0.37 * v);
        x += w;
    }
    l.graphFont = u / 300;
    const double frameWidth = width - 0.26 * u;
    const double frameHeight = 3.6 * v;
    for (size_t g = 0; g < 2; ++g) {
        l.graphFrame[g] =
            twipsRect(u / 9, (4.8 + 3.7 * static_cast<double>(g)) * v, frameWidth, frameHeight);
        l.container[g] = twipsRect(kMarginTwips, 0.3 * v, frameWidth - 2 * kMarginTwips,
                                   frameHeight - 0.3 * v - kMarginTwips);
    }
    l.scrollBar = twipsRect(u / 9, 12.1 * v + kTwipsPerPixel, frameWidth, kScrollBarTwips);
    l.view = twipsRect(3.25 * u, 4 * v, 1.35 * u, 0.65 * v);
    for (size_t i = 0; i < 2; ++i)
        l.viewRow[i] = twipsRect(kMarginTwips + 0.68 * u * static_cast<double>(i), 0.25 * v,
                                 0.64 * u - kMarginTwips, 0.37 * v);
    l.exportButton = twipsRect(u / 9 + frameWidth - 0.9 * u, 4.1 * v, 0.9 * u, 0.6 * v);
    l.scatter = twipsRect(u / 9, 4.8 * v, frameWidth,
                          12.1 * v + kTwipsPerPixel + kScrollBarTwips - 4.8 * v);
    return l;
}

} // namespace kx
