#pragma once
// Where the data display (and the replay, which shares its grid) puts everything, worked in
// twips from the window size with integer division, as the windows lay themselves out on
// every resize.
#include <QStringView>
#include <array>

namespace kx {

struct TwipRect {
    int left = 0, top = 0, width = 0, height = 0;
};

struct DisplayLayout {
    int column = 0; // C: window width / 4
    int row = 0;    // R: the upper five sixths / 3
    std::array<TwipRect, 12> gauges;
    TwipRect btnDataLog, btnActiveTest;
    int buttonFont = 0; // points
    // Indicator i: the name label and, left of it, the state label; one line each.
    std::array<TwipRect, 12> registerLabel, onOffLabel;
    int registerFont = 0, onOffFont = 0;
};

DisplayLayout displayLayout(int widthTwips, int heightTwips);

// The indicators that a switch-register flag of 0 greys out: flag entries 12 to 15 of the
// display selection cover indicators 0-4, 5-8, 9 and 11, and 10.
int indicatorFlag(int indicator);

// The background of a state label; not `known` for a text that leaves the label as it is.
struct StateColour {
    bool known = false;
    unsigned colour = 0; // 0x00BBGGRR
};
StateColour stateColour(QStringView text);

} // namespace kx
