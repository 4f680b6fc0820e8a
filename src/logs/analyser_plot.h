#pragma once
// The log analyser's arithmetic, apart from any widget: the plot width under zoom, the scroll
// range, the cursor, where a record's point lies, and the reduction of many records to the few
// points one pixel column needs.
//
// Horizontal lengths of the plot surface are in twips (kTwipsPerPixel to a pixel), as 64-bit
// integers: a long log zoomed in is far wider than any widget could be. Only the visible part
// is ever painted.
#include <QLineF>
#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace kx {

inline constexpr int kAnalyserSeries = 12;     // gauge columns, one check box pair each
inline constexpr int kAnalyserIndicators = 12; // indicator boxes after the gauge boxes
inline constexpr int kAnalyserGridLines = 4;   // at 1/5 to 4/5 of a graph's height
// The zoom limit: a record never takes more than this many pixels (or the container's width).
inline constexpr int64_t kAnalyserMaxPixelsPerRecord = 100;
// The scroll bar's range; wider plots are stepped S twips per scroll unit.
inline constexpr int64_t kAnalyserScrollRange = 32765;

// Series colour of gauge column k, 0x00BBGGRR.
uint32_t analyserSeriesColour(int k);

// ---- zoom and scroll (twips)

// A plot as wide as the records in twips, or the container when that is wider.
int64_t analyserPlotWidth(int64_t records, int64_t containerWidth);

// The widest plot Zoom In may make.
int64_t analyserMaxPlotWidth(int64_t records, int64_t containerWidth);

// Zoom In: W + W / 4, or nothing when that passes the limit ("Maximum Zoom achieved!").
struct ZoomIn {
    int64_t width = 0;
    bool accepted = false;
};
ZoomIn analyserZoomIn(int64_t width, int64_t records, int64_t containerWidth);

// Zoom Out: W - W / 4; below the records or the container it stops at the wider of the two.
struct ZoomOut {
    int64_t width = 0;
    bool atLimit = false; // Zoom Out disables itself
};
ZoomOut analyserZoomOut(int64_t width, int64_t records, int64_t containerWidth);

struct ScrollRange {
    int maximum = 0;
    int64_t scale = 1; // S: twips per scroll unit
    int largeStep = 10;
    int singleStep = 1;
};
ScrollRange analyserScrollRange(int64_t plotWidth, int64_t containerWidth);

// The scroll value that brings `xTwips` into a view `containerWidth` wide now scrolled to
// `offset`, centring it; `current` when it is in view already.
int analyserScrollToShow(double xTwips, int64_t offset, int64_t containerWidth,
                         const ScrollRange& range, int current);

// ---- cursor and points

// X: twips per record; 0 when the log has fewer than two records (no step).
double analyserStepX(int64_t plotWidth, int64_t records);

// The record (1 to N) under a point `xTwips` from the plot's left edge: 1 + x / X rounded,
// halves to even, then clamped.
int64_t analyserRecordAt(double xTwips, double stepX, int64_t records);

// The pixel row of a value on a graph `height` pixels tall: 0 on the bottom row, maxVal on the
// top row. maxVal must not be 0.
double analyserValueY(double value, double maxVal, int height);

// Pixel rows of the grid lines: whole-number fifths of the height.
std::array<int, kAnalyserGridLines> analyserGridRows(int height);

// What part of the plot a view shows, in pixels of the plot surface.
struct PlotView {
    double pixelsPerRecord = 0; // X / kTwipsPerPixel
    double left = 0;            // plot pixel at the view's left edge
    int width = 0;              // view size in pixels
    int height = 0;
};

// The records [first, last] whose segments can reach the view (one beyond each edge); an
// empty range (first > last) when none can.
std::pair<int64_t, int64_t> analyserVisibleRecords(const PlotView& view, int64_t records);
// The records whose points lie in the view itself, the ones a reader of the graph sees; an
// empty range when the view falls between two records.
std::pair<int64_t, int64_t> analyserRecordsInView(const PlotView& view, int64_t records);

// The lines that draw records [first, last] of `values` in view pixels. At a pixel or more per
// record, consecutive points are joined. With fewer, each pixel column gets one vertical line
// from the highest to the lowest row of its records (so no spike is lost), stretched to meet
// the previous column's last record (so the trace stays joined): at most one line a column.
std::vector<QLineF> analyserTrace(std::span<const float> values, int64_t first, int64_t last,
                                  const PlotView& view, double maxVal);

} // namespace kx
