#include "gauges/gauge_geometry.h"

#include "gauges/display_colours.h"

#include "util/numbers.h"

#include <cmath>

namespace kx {

namespace {
constexpr double kPi = 3.14159;
constexpr int32_t kMaxDivisions = 1000; // far above any catalogue scale; bounds the tick lists
} // namespace

std::optional<DialGeometry> dialGeometry(int32_t width, int32_t height, int32_t minVal,
                                         int32_t maxVal) {
    if (minVal == maxVal) return std::nullopt;
    DialGeometry g;
    g.width = width;
    g.height = height;
    g.centerX = width / 2;
    // The centre sits below the middle so the open bottom of the dial holds the value text.
    g.centerY = roundToInt((height / 2) * 1.12);
    if (height * 1.1 > width)
        g.radius = roundToInt((width / 2) * 0.95);
    else
        g.radius = roundToInt((height / 2) * 1.1);
    g.degPerUnit = 270.0 / (static_cast<double>(maxVal) - static_cast<double>(minVal));
    return g;
}

double drawingAngle(double sweepDeg) {
    return -(sweepDeg - 45.0) * kPi / 180.0;
}

QPoint dialOffset(double sweepDeg, double distance) {
    const double theta = drawingAngle(sweepDeg);
    return {roundToInt(-std::cos(theta) * distance), roundToInt(std::sin(theta) * distance)};
}

std::vector<int32_t> arcRadii(int32_t radius) {
    std::vector<int32_t> radii;
    for (int32_t r = radius; r >= 0.82 * radius && r > 0; r -= 40)
        radii.push_back(r);
    return radii;
}

std::optional<DialScale> dialScale(const DialGeometry& g, int32_t minVal, int32_t maxVal,
                                   int32_t tickerNum, int32_t subTickerNum) {
    if (tickerNum <= 0 || subTickerNum == 0) return std::nullopt;
    if (tickerNum > kMaxDivisions || subTickerNum > kMaxDivisions) return std::nullopt;
    const double span = static_cast<double>(maxVal) - static_cast<double>(minVal);
    const double major = span / tickerNum * g.degPerUnit;
    const double minor = major / subTickerNum;
    const double r = g.radius;
    DialScale scale;
    scale.major.reserve(static_cast<size_t>(tickerNum) + 1);
    for (int32_t i = 0; i <= tickerNum; ++i) {
        MajorTick t;
        t.sweep = i * major;
        t.outer = dialPoint(g, t.sweep, r);
        t.inner = dialPoint(g, t.sweep, 0.82 * r);
        t.label = roundToInt(i * span / tickerNum + minVal);
        scale.major.push_back(t);
        if (i == tickerNum) break;
        for (int32_t j = 1; j <= subTickerNum - 1; ++j) {
            const double a = i * major + j * minor;
            scale.minor.push_back({dialPoint(g, a, 0.91 * r), dialPoint(g, a, r)});
        }
    }
    return scale;
}

QPointF labelPosition(QPoint inner, double sweepDeg, QSizeF textSize) {
    const double w = textSize.width();
    const double h = textSize.height();
    const double half = std::sqrt((w / 2) * (w / 2) + (h / 2) * (h / 2));
    const double theta = drawingAngle(sweepDeg);
    return {inner.x() - (w / 1.5 + roundToInt(-std::cos(theta) * half)),
            inner.y() - (h / 2 + roundToInt(half * std::sin(theta)))};
}

DialStyle dialStyle(int32_t radius) {
    return {radius * 0.007, radius * 0.015, radius * 0.005, radius * 0.007,
            roundToInt(radius * 0.002)};
}

int32_t overlayLeft(const DialGeometry& g, int32_t textWidth) {
    return g.width / 2 - textWidth / 2;
}
int32_t nameTop(const DialGeometry& g, int32_t textHeight) {
    return g.height / 2 - textHeight;
}
double peakTop(const DialGeometry& g, int32_t textHeight) {
    return (g.height / 2 - textHeight) * 1.7;
}
int32_t valueTop(const DialGeometry& g, int32_t textHeight) {
    return g.height - textHeight;
}

float clampToScale(float value, int32_t minVal, int32_t maxVal) {
    if (std::isnan(value)) return static_cast<float>(minVal);
    if (value < static_cast<float>(minVal)) return static_cast<float>(minVal);
    if (value > static_cast<float>(maxVal)) return static_cast<float>(maxVal);
    return value;
}

QPoint needleEnd(const DialGeometry& g, float value, int32_t minVal) {
    const double sweep = (static_cast<double>(value) - minVal) * g.degPerUnit;
    return dialPoint(g, sweep, g.radius);
}

QString valueText(float value, int decimals) {
    if (decimals != 1 && decimals != 2) return singleText(value);
    double rounded = roundHalfEven(static_cast<double>(value), decimals);
    if (rounded == 0.0) rounded = 0.0; // no "-0.00"
    return QString::number(rounded, 'f', decimals);
}

QString peakText(const QString& current, float value, int decimals) {
    const auto peak = parseNumber(current);
    if (!peak || *peak < static_cast<double>(value)) return valueText(value, decimals);
    return current;
}

const QString& PeakHold::next(const QString& current, float value, int decimals) {
    if (current != text_) {
        text_ = current;
        peak_ = parseNumber(text_);
    }
    if (!peak_ || *peak_ < static_cast<double>(value)) {
        text_ = valueText(value, decimals);
        peak_ = parseNumber(text_);
    }
    return text_;
}

bool sameDigitShape(const QString& a, const QString& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && !(a[i].isDigit() && b[i].isDigit())) return false;
    return true;
}

} // namespace kx
