#pragma once
// The analyser's scatter view apart from any widget: one column against another, each record
// one dot coloured by a third column. Where the plot area lies, where a record's dot goes and
// in what colour, which record each pixel shows once many records share it, and which record
// a click picks.
#include "logs/analyser_axes.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kx {

// The dots' area and the colour bar inside a scatter widget, leaving room for the tick labels
// (`labelWidth` pixels wide, `fontHeight` tall) and the titles.
struct ScatterLayout {
    QRect plot;
    QRect legend;
};
ScatterLayout scatterLayout(QSize size, int fontHeight, int labelWidth);

// A colour on the legend's scale, 0xFFRRGGBB as an RGB32 image stores it: blue at the low end
// (0) through cyan, green and amber to red at the high end (1), so a lean mixture shows red.
uint32_t scatterScaleColour(double fraction);

struct ScatterMapping {
    ValueAxis x, y, colour;
    int width = 0, height = 0; // of the plot area, in pixels

    // The pixel of a record's dot, (0, 0) at the top left of the plot area; none for a value
    // that is not a number.
    std::optional<QPoint> pixel(float xValue, float yValue) const {
        const double fx = (xValue - x.low) / (x.high - x.low) * (width - 1);
        const double fy = (y.high - yValue) / (y.high - y.low) * (height - 1);
        if (!(fx >= 0 && fx <= width - 1 && fy >= 0 && fy <= height - 1)) return std::nullopt;
        return QPoint(static_cast<int>(fx + 0.5), static_cast<int>(fy + 0.5));
    }
    uint32_t colourOf(float value) const;
};

// A range of the colour scale; used only when low < high.
struct ScatterRange {
    double low = 0, high = 0;
    bool usable() const { return low < high; }
};
// The colour scale's default: the 1st to the 99th percentile of the column's values, so that a
// few far values (fuel cut reads 22) do not squeeze the rest into one colour. Values beyond it
// take the colour of its ends. Not usable when the column holds fewer than two distinct values.
ScatterRange scatterColourRange(std::span<const float> values);

// Axes that take in every record's values (the first `records` of each column) on a plot area
// of `width` x `height` pixels, ticks at least `tickSpacing` pixels apart; the colour scale is
// `legendHeight` pixels tall and spans `colourRange` exactly where that is usable, else every
// value.
ScatterMapping scatterMapping(std::span<const float> x, std::span<const float> y,
                              std::span<const float> colour, int width, int height,
                              int legendHeight, int tickSpacing, ScatterRange colourRange = {});

// Which record each pixel of the plot area shows. Many records landing on one pixel make one
// dot, so a drawing costs the area rather than the records: the record highest on the colour
// scale (the later of equals), so that a lean moment is not hidden under richer ones.
class ScatterIndex {
public:
    ScatterIndex() = default;
    // Places records 0 to n - 1, n being the shortest column.
    ScatterIndex(const ScatterMapping& mapping, std::span<const float> x, std::span<const float> y,
                 std::span<const float> colour);
    int width() const { return width_; }
    int height() const { return height_; }
    int64_t dots() const { return dots_; } // pixels that show a record
    // The record a pixel shows, -1 for none.
    int64_t recordAt(int px, int py) const;
    // The record of the dot nearest `p` (plot-area pixels) within `radius`; -1 when none.
    int64_t nearest(QPointF p, double radius) const;

private:
    int width_ = 0, height_ = 0;
    int64_t dots_ = 0;
    std::vector<int32_t> cells_;
};

// The columns a scatter starts with, as indices into the log's gauge columns (`codes`, their
// gauge numbers in order): RPM across, Throttle up, coloured by WBo2; a column the log lacks
// gives way to the first column not already taken (or the first one, when all are taken).
struct ScatterChoice {
    int x = 0, y = 0, colour = 0;
};
ScatterChoice scatterDefaults(const std::vector<int>& codes);

// What a screen reader hears of the scatter: the three columns and their ranges, the number of
// records, and the cursor record's values where it has a dot ("" when `cursor` is none).
QString scatterDescription(const QString& xName, const QString& yName, const QString& colourName,
                           const ScatterMapping& mapping, int64_t records, const QString& cursor);

} // namespace kx
