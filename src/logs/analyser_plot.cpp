#include "logs/analyser_plot.h"

#include "util/numbers.h"
#include "util/twips.h"

#include <algorithm>
#include <cmath>

namespace kx {

namespace {
// Twelve colours that stay apart from each other and from the white plot (0x00BBGGRR): blue,
// red, green, orange, purple, brown, cyan, pink, grey, olive, black, navy.
constexpr std::array<uint32_t, kAnalyserSeries> kSeriesColours = {
    0xB4771F, 0x2827D6, 0x2CA02C, 0x0E7FFF, 0xBD6794, 0x4B568C,
    0xCFBE17, 0xC277E3, 0x7F7F7F, 0x22BDBC, 0x000000, 0x8B0000,
};
// An arrow click on the scroll bar moves about ten pixels.
constexpr int64_t kScrollArrowTwips = 10 * kTwipsPerPixel;
} // namespace

uint32_t analyserSeriesColour(int k) {
    return k >= 0 && k < kAnalyserSeries ? kSeriesColours[static_cast<size_t>(k)] : 0;
}

int64_t analyserPlotWidth(int64_t records, int64_t containerWidth) {
    return containerWidth < records ? records : containerWidth;
}

int64_t analyserMaxPlotWidth(int64_t records, int64_t containerWidth) {
    const int64_t widest =
        std::max<int64_t>(records - 1, 0) * kAnalyserMaxPixelsPerRecord * kTwipsPerPixel;
    return std::max(widest, containerWidth);
}

ZoomIn analyserZoomIn(int64_t width, int64_t records, int64_t containerWidth) {
    const int64_t wider = width + width / 4;
    if (wider > analyserMaxPlotWidth(records, containerWidth)) return {width, false};
    return {wider, true};
}

ZoomOut analyserZoomOut(int64_t width, int64_t records, int64_t containerWidth) {
    const int64_t narrower = width - width / 4;
    if (narrower < records || narrower < containerWidth)
        return {containerWidth > records ? containerWidth : records, true};
    return {narrower, false};
}

ScrollRange analyserScrollRange(int64_t plotWidth, int64_t containerWidth) {
    // A container grown wider than the plot (by a resize) leaves nothing to scroll.
    const int64_t d = std::max<int64_t>(plotWidth - containerWidth, 0);
    ScrollRange r;
    if (d < kAnalyserScrollRange + 1) {
        r.maximum = static_cast<int>(d);
        r.scale = 1;
    } else {
        r.scale = d / kAnalyserScrollRange + 1;
        r.maximum = static_cast<int>(d / r.scale);
    }
    r.largeStep = r.maximum / 50 > 10 ? r.maximum / 50 : 10;
    r.singleStep = static_cast<int>(
        std::clamp<int64_t>(kScrollArrowTwips / r.scale, 1, static_cast<int64_t>(r.largeStep)));
    return r;
}

int analyserScrollToShow(double xTwips, int64_t offset, int64_t containerWidth,
                         const ScrollRange& range, int current) {
    const auto left = static_cast<double>(offset);
    if (xTwips >= left && xTwips < left + static_cast<double>(containerWidth)) return current;
    const double centred =
        (xTwips - static_cast<double>(containerWidth) / 2) / static_cast<double>(range.scale);
    return static_cast<int>(std::clamp(std::round(centred), 0.0, double(range.maximum)));
}

double analyserStepX(int64_t plotWidth, int64_t records) {
    if (records < 2) return 0;
    return static_cast<double>(plotWidth) / static_cast<double>(records - 1);
}

int64_t analyserRecordAt(double xTwips, double stepX, int64_t records) {
    if (records < 1) return 1;
    if (!(stepX > 0)) return 1;
    const double r = roundHalfEven(1.0 + xTwips / stepX);
    if (!(r >= 1)) return 1;
    if (r >= static_cast<double>(records)) return records;
    return static_cast<int64_t>(r);
}

double analyserValueY(double value, double maxVal, int height) {
    return (height - 1) * (1.0 - value / maxVal);
}

std::array<int, kAnalyserGridLines> analyserGridRows(int height) {
    std::array<int, kAnalyserGridLines> rows{};
    for (int i = 0; i < kAnalyserGridLines; ++i)
        rows[static_cast<size_t>(i)] = height * (i + 1) / 5;
    return rows;
}

std::pair<int64_t, int64_t> analyserVisibleRecords(const PlotView& view, int64_t records) {
    if (!(view.pixelsPerRecord > 0) || records < 1) return {0, -1};
    const double lo = std::floor(view.left / view.pixelsPerRecord);
    const double hi = std::ceil((view.left + view.width) / view.pixelsPerRecord);
    const double last = static_cast<double>(records - 1);
    if (hi < 0 || lo > last) return {0, -1};
    return {static_cast<int64_t>(std::max(lo, 0.0)), static_cast<int64_t>(std::min(hi, last))};
}

std::pair<int64_t, int64_t> analyserRecordsInView(const PlotView& view, int64_t records) {
    if (!(view.pixelsPerRecord > 0) || records < 1 || view.width < 1) return {0, -1};
    const double lo = std::ceil(view.left / view.pixelsPerRecord);
    // Up to the view's right edge itself, where the last record of an unzoomed plot lies.
    const double hi = std::floor((view.left + view.width) / view.pixelsPerRecord);
    const double last = static_cast<double>(records - 1);
    if (hi < 0 || lo > last || lo > hi) return {0, -1};
    return {static_cast<int64_t>(std::max(lo, 0.0)), static_cast<int64_t>(std::min(hi, last))};
}

std::vector<QLineF> analyserTrace(std::span<const float> values, int64_t first, int64_t last,
                                  const PlotView& view, double maxVal) {
    std::vector<QLineF> out;
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, static_cast<int64_t>(values.size()) - 1);
    if (first > last) return out;
    const auto xOf = [&](int64_t r) {
        return static_cast<double>(r) * view.pixelsPerRecord - view.left;
    };
    const auto yOf = [&](int64_t r) {
        return analyserValueY(values[static_cast<size_t>(r)], maxVal, view.height);
    };
    if (view.pixelsPerRecord >= 1) {
        out.reserve(static_cast<size_t>(last - first));
        for (int64_t r = first; r < last; ++r)
            out.emplace_back(xOf(r), yOf(r), xOf(r + 1), yOf(r + 1));
        return out;
    }
    out.reserve(static_cast<size_t>(view.width) + 3);
    double previousLast = std::round(yOf(first));
    int64_t r = first;
    while (r <= last) {
        // The run of records in the pixel column of record r.
        const double column = std::floor(xOf(r));
        float lo = values[static_cast<size_t>(r)], hi = lo;
        int64_t end = r;
        while (end < last && std::floor(xOf(end + 1)) == column) {
            ++end;
            lo = std::min(lo, values[static_cast<size_t>(end)]);
            hi = std::max(hi, values[static_cast<size_t>(end)]);
        }
        const double top =
            std::min(std::round(analyserValueY(hi, maxVal, view.height)), previousLast);
        const double bottom =
            std::max(std::round(analyserValueY(lo, maxVal, view.height)), previousLast);
        out.emplace_back(column, top, column, bottom);
        previousLast = std::round(yOf(end));
        r = end + 1;
    }
    return out;
}

} // namespace kx
