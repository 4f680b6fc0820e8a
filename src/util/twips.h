#pragma once
// Window lengths are worked in twips (1/1440 inch); the screen has 15 twips per pixel at 96 dpi.
#include <QRect>

namespace kx {

inline constexpr int kTwipsPerPixel = 15;

inline constexpr int pixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}
inline constexpr double twipsToPixels(double twips) {
    return twips / kTwipsPerPixel;
}
// Font sizes are given in points; 72 points make the same inch as 96 pixels.
inline constexpr double pointsToPixels(double points) {
    return points * 96.0 / 72.0;
}

// A rectangle in twips (left, top, width, height) on the screen, with integer division.
template <class TwipRectangle> QRect pixelRect(const TwipRectangle& r) {
    return QRect(r.left / kTwipsPerPixel, r.top / kTwipsPerPixel, r.width / kTwipsPerPixel,
                 r.height / kTwipsPerPixel);
}
inline QRect pixelRect(const QRect& r) {
    return QRect(r.x() / kTwipsPerPixel, r.y() / kTwipsPerPixel, r.width() / kTwipsPerPixel,
                 r.height() / kTwipsPerPixel);
}

} // namespace kx
