#pragma once
// Where the log analyser's controls go for a window size, in twips (integer divisions as the
// window lays itself out on every resize). Font sizes are in points.
#include "logs/analyser_plot.h"

#include <QRect>
#include <array>

namespace kx {

struct AnalyserLayout {
    struct Cell {
        QRect box;            // Frame1(i), in the window
        QRect value;          // lblParam(i), inside the box
        QRect graph1, graph2; // Check1(i), Check2(i) in the window; gauge cells only
    };
    std::array<Cell, kAnalyserSeries + kAnalyserIndicators> cells;
    double captionFont = 0, valueFont = 0, checkFont = 0;
    QRect open;
    QRect position; // fraPosition
    double positionFont = 0;
    std::array<QRect, 5> positionRow; // "-1", "+1", Zoom Out, Zoom In, Label1 inside fraPosition
    std::array<QRect, 2> graphFrame;  // fraGraph1, fraGraph2
    std::array<QRect, 2> container;   // picContainer(0), (1) inside their frames
    QRect scrollBar;                  // scrollBar1, inside fraGraph2 under its container
    double graphFont = 0;
    // Beside the position frame: the choice of graphs or scatter, and Export View.
    QRect view;                   // fraView
    std::array<QRect, 2> viewRow; // "Graphs", "Scatter" inside fraView
    QRect exportButton;
    QRect scatter; // fraScatter, where the graphs and their scroll bar are
};

// `width` and `height` are the window's client size in twips.
AnalyserLayout analyserLayout(int width, int height);

} // namespace kx
