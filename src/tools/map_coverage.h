#pragma once
// Map coverage: over a drive, how often the engine ran in each map cell and what its wideband
// air/fuel ratio was there. Live frames and logged records go through the same cell rule.
#include "tools/map_cell.h"
#include "tools/map_trace.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace kx {

class LogData;

struct CoverageCell {
    uint64_t hits = 0;
    uint64_t afrCount = 0; // the hits that came with a ratio
    double afrSum = 0;
    float afrMin = 0;
    float afrMax = 0;
    std::optional<double> meanAfr() const;
};

class MapCoverage {
public:
    // One hit in map cell `cell` (0 to 255), with its ratio when the wideband gave one.
    void add(int cell, std::optional<float> afr);
    void merge(const MapCoverage& other);
    void clear() { *this = MapCoverage(); }
    const CoverageCell& cell(int cell) const { return cells_[size_t(cell)]; }
    uint64_t hits() const { return hits_; }
    uint64_t afrHits() const;

private:
    std::array<CoverageCell, 256> cells_{};
    uint64_t hits_ = 0;
};

struct LogCoverageCount {
    int64_t added = 0;
    int64_t skipped = 0; // records without an engine speed or a throttle
};
// Adds every record of `log` that has an RPM and a Throttle number, with its WBo2 where the
// log has one.
LogCoverageCount addLogCoverage(MapCoverage& coverage, const MapScales& scales, const LogData& log);

// The export: blocks of hits, mean, minimum and maximum WBo2, each a title line and then the
// map's layout (the throttle headers, then a line per RPM row), an empty line between blocks.
// Cells without a figure stay empty. Locale-free numbers, CRLF line ends.
QByteArray coverageExportText(const MapScales& scales, const MapCoverage& coverage);

// What a cell shows and the figure its colour comes from.
enum class CoverageView { Hits, MeanAfr };
// The caption of a cell: hits in a short form that fits the cell ("950", "12k", "1.3M"), the
// mean ratio with one decimal; empty where the cell has none.
QString coverageCaption(const CoverageCell& cell, CoverageView view);

// The heat scale of a view: blue at `low`, red at `high`. Hits go on a logarithmic scale, so
// the few cells of a drive's idle do not leave every other cell blue. The range comes from the
// cells with at least `enough` hits (readings, for the mean ratio), or from all cells when none
// has.
struct CoverageScale {
    bool any = false; // no cell has a figure: nothing to colour
    double low = 0;
    double high = 0;
    bool logarithmic = false;
    // 0x00BBGGRR, as the grid paints.
    uint32_t colourOf(double figure) const;
    bool operator==(const CoverageScale&) const = default;
};
CoverageScale coverageScale(const MapCoverage& coverage, CoverageView view, uint64_t enough);
// The figure a cell is coloured by, when it has one.
std::optional<double> coverageFigure(const CoverageCell& cell, CoverageView view);
// A colour made faint, for a figure from few hits: two thirds of the way to a window's grey.
uint32_t dimmed(uint32_t bgr);

} // namespace kx
