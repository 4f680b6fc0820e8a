#pragma once
// The arithmetic of the dial gauge: centre, radius, scale ticks and labels, needle, texts.
// Lengths are in twips, angles in degrees of sweep (0 at the lower left, 270 at the lower right).
#include <QPoint>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace kx {

struct DialGeometry {
    int32_t width = 0;
    int32_t height = 0;
    int32_t centerX = 0;
    int32_t centerY = 0;
    int32_t radius = 0; // outer radius of the scale, also the needle's length
    double degPerUnit = 0.0;
};

// The dial on a surface of the given size; nullopt when the scale ends are equal.
std::optional<DialGeometry> dialGeometry(int32_t width, int32_t height, int32_t minVal,
                                         int32_t maxVal);

// Screen angle in radians of a sweep angle; pi is taken as 3.14159 as the dial always did.
double drawingAngle(double sweepDeg);
// Offset from the centre of the point at `distance` along the sweep, rounded half to even.
QPoint dialOffset(double sweepDeg, double distance);
inline QPoint dialPoint(const DialGeometry& g, double sweepDeg, double distance) {
    return QPoint(g.centerX, g.centerY) + dialOffset(sweepDeg, distance);
}

// The arc band: radii R, R - 40, ... down to 0.82 R, each an arc from 5.5 radians
// counter-clockwise to 3.95 radians.
std::vector<int32_t> arcRadii(int32_t radius);
inline constexpr double kArcStartRadians = 5.5;
inline constexpr double kArcEndRadians = 3.95;

struct MajorTick {
    double sweep = 0.0;
    QPoint outer; // at R
    QPoint inner; // at 0.82 R
    int32_t label = 0;
};
struct MinorTick {
    QPoint inner; // at 0.91 R
    QPoint outer; // at R
};
struct DialScale {
    std::vector<MajorTick> major;
    std::vector<MinorTick> minor;
};
// Ticks and labels; nullopt for a scale that cannot be divided (no or too many divisions).
std::optional<DialScale> dialScale(const DialGeometry& g, int32_t minVal, int32_t maxVal,
                                   int32_t tickerNum, int32_t subTickerNum);
// Top-left corner of a tick label of the given measured size, pulled inside its tick's inner end.
QPointF labelPosition(QPoint inner, double sweepDeg, QSizeF textSize);

struct DialStyle {
    double labelPoints = 0.0;
    double valuePoints = 0.0;
    double peakPoints = 0.0;
    double namePoints = 0.0;
    int needleWidth = 0; // pixels
};
DialStyle dialStyle(int32_t radius);

// Overlay texts are centred; the name sits above the middle, the peak lower, the value at the
// bottom edge.
int32_t overlayLeft(const DialGeometry& g, int32_t textWidth);
int32_t nameTop(const DialGeometry& g, int32_t textHeight);
double peakTop(const DialGeometry& g, int32_t textHeight);
int32_t valueTop(const DialGeometry& g, int32_t textHeight);

// The value kept within the scale ends (a value that is not a number is taken as the low end).
float clampToScale(float value, int32_t minVal, int32_t maxVal);
// The needle's far end for a value already within the scale.
QPoint needleEnd(const DialGeometry& g, float value, int32_t minVal);
// Value text: 2 or 1 fixed decimals (halves to even), otherwise the shortest form of the single.
QString valueText(float value, int decimals);
// The peak text after `value` arrives: the value as its dial writes it (valueText with the
// dial's decimals) when the current text is not a number or is below it, else the current text.
QString peakText(const QString& current, float value, int decimals);
// peakText for a stream of values without reading the shown text back as a number each time:
// the text is parsed again only when someone else changed it (a reset of the peak).
class PeakHold {
public:
    const QString& next(const QString& current, float value, int decimals);

private:
    QString text_;
    std::optional<double> peak_;
};
// Two texts that differ only in their digits, so that in a font with digits of one width (as
// good as every font) they are equally wide.
bool sameDigitShape(const QString& a, const QString& b);

// Ring, major and minor tick colours in the 0x00BBGGRR layout.
struct ScaleColours {
    uint32_t circle = 0xFF0000;
    uint32_t ticker = 0x00FF00;
    uint32_t subTicker = 0x00FF00;
};

} // namespace kx
