#pragma once
// Map coverage: over a drive, how often the engine ran in each map cell and what its wideband
// air/fuel ratio was there. Live frames and logged records go through the same cell rule.
#include "logs/log_reader.h"
#include "tools/map_correction.h"
#include "tools/map_trace.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace kx {

// A column's number in one record: from the one-pass read while it lasted, field by field
// after the first record it could not read.
class LogColumnNumbers {
public:
    LogColumnNumbers(const LogData& log, int code);
    bool present() const { return last_ >= 0; }
    // The column's name (its unit), when present.
    QString name() const { return present() ? log_.columns()[size_t(last_)].name : QString(); }
    std::optional<float> at(qsizetype record) const;

private:
    const LogData& log_;
    int code_;
    int last_ = -1;
    LogNumbers numbers_;
};

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

// Raw throttle from the logged volts: 0.02 V per raw step.
int throttleRaw(double volts);
// The map cell of a logged record: engine speed in rpm, throttle in volts.
int recordCell(const MapScales& scales, double rpm, double throttleVolts);
// A logged ratio that is a reading: older loggers wrote 0 while the wideband never sent one.
std::optional<float> loggedAfr(std::optional<float> field);

// The wideband's readings in a log, record by record: a ratio only where the WBo2 field is a
// number above 0 and the controller said its sensor was ready (the "WB State" field empty or
// "Ready"; older logs have no such column). A reading is new when its value changes or, where
// the log has "WB Time", the controller frame it came in.
class LogWideband {
public:
    explicit LogWideband(const LogData& log);
    struct Reading {
        std::optional<float> ratio;
        bool isNew = false;
    };
    // Call in record order; a record left out in between breaks nothing.
    Reading at(qsizetype record);

private:
    const LogData& log_;
    LogColumnNumbers ratio_;
    int state_ = -1; // columns, when the log has them
    int time_ = -1;
    std::optional<float> last_;
    QByteArray lastTime_;
};

struct LogCoverageCount {
    int64_t added = 0;
    int64_t skipped = 0; // records without an engine speed or a throttle
};
// Adds every record of `log` that has an RPM and a Throttle number, with its WBo2 where the
// log has one.
LogCoverageCount addLogCoverage(MapCoverage& coverage, const MapScales& scales, const LogData& log);

// Several log files read and added, as the window's "Add Logs..." and the command line do.
struct LogFilesCoverage {
    MapCoverage coverage;
    FuelSamples fuel; // the same records for the fuel correction
    LogCoverageCount count;
    int logsAdded = 0;
    QStringList failures; // one line per file that could not be read: "<path>: <why>"
    bool cancelled = false;
};
// `keepGoing` is asked now and then; false ends the work (cancelled).
LogFilesCoverage coverageFromLogFiles(const QStringList& paths, const MapScales& scales,
                                      const std::function<bool()>& keepGoing = {});
// "3 logs: 120000 records added, 12 skipped (no RPM or Throttle)".
QString logFilesSummary(const LogFilesCoverage& result);

// The export: blocks of hits, mean, minimum and maximum WBo2, each a title line and then the
// map's layout (the throttle headers, then a line per RPM row), an empty line between blocks.
// Cells without a figure stay empty. Locale-free numbers, CRLF line ends.
QByteArray coverageExportText(const MapScales& scales, const MapCoverage& coverage);
// One block of a map-shaped text: its title, the throttle headers, a line per RPM row of
// `figure` for each cell (16 * row + column).
void appendMapBlock(QByteArray& out, const char* title, const MapScales& scales,
                    const std::function<QByteArray(int cell)>& figure);

// What a cell shows and the figure its colour comes from.
enum class CoverageView { Hits, MeanAfr };
// The caption of a cell: hits in a short form that fits the cell ("950", "12k", "1.3M"), the
// mean ratio with one decimal; empty where the cell has none.
QString coverageCaption(const CoverageCell& cell, CoverageView view);
// A mean ratio as the export writes it: two decimals.
QString meanAfrText(double mean);

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
