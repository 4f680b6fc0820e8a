#include "live/display_layout.h"

namespace kx {

DisplayLayout displayLayout(int w, int h) {
    DisplayLayout l;
    const int C = w / 4;
    const int R = (h - h / 6) / 3; // the bottom sixth is the indicator strip
    l.column = C;
    l.row = R;
    for (int i = 0; i < 12; ++i)
        l.gauges[size_t(i)] = {(i % 4) * C, (i / 4) * R, C, R};
    l.btnDataLog = {3 * C + C / 10, 3 * R, C / 2, R / 5};
    l.btnActiveTest = {3 * C + C / 10, 3 * R + R / 5, C / 2, R / 5};
    l.buttonFont = C / 350;
    l.registerFont = C / 300;
    l.onOffFont = C / 350;
    for (int i = 0; i < 12; ++i) {
        const int top = 3 * R + (i % 4) * (R / 9);
        l.registerLabel[size_t(i)] = {(i / 4) * C + C / 5, top, C - C / 5, R / 9};
        l.onOffLabel[size_t(i)] = {(i / 4) * C + C / 10, top, C / 10, R / 9};
    }
    return l;
}

int indicatorFlag(int indicator) {
    if (indicator <= 4) return 12;
    if (indicator <= 8) return 13;
    if (indicator == 10) return 15;
    return 14;
}

StateColour stateColour(QStringView t) {
    constexpr unsigned red = 255, green = 65280, orange = 33023;
    if (t == u"Off" || t == u"Rich") return {true, green};
    if (t == u"On" || t == u"High" || t == u"Lean") return {true, red};
    if (t == u"Low") return {true, orange};
    return {};
}

} // namespace kx
