#pragma once
// Fuel map correction: from the wideband ratios measured in each map cell to a suggested fuel
// map, with how sure each cell's suggestion is. It rests on one assumption: a fuel map value
// is proportional to the fuel delivered, so a cell that ran 5 % lean needs 5 % more.
#include "tools/map_file.h"
#include "tools/map_trace.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <bitset>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace kx {

class LogData;

// ---- the target ratio table: the map's layout, values in hundredths (1470 is 14.70)

using CellSet = std::bitset<256>; // map cells, 16 * row + column

// The locks travel with the target: after its 17 lines, a "# Locked" line and the same layout
// of 0 and 1, written only when a cell is locked.
struct TargetTable {
    MapScales scales;
    GridValues hundredths{};
    CellSet locked; // on the target's scales
    bool operator==(const TargetTable&) const = default;
};
inline constexpr int kTargetLowest = 900;   // hundredths a target file may hold
inline constexpr int kTargetHighest = 2000; // the ratios a wideband reading is trusted in
// The shipped target (tools/fuel_target.h) on `scales`.
TargetTable defaultTarget(const MapScales& scales);
// The target of each map cell: the target table's cell that the map cell's headers fall in, so
// a table on other scales still applies.
GridValues targetOnMap(const TargetTable& target, const MapScales& map);
QByteArray targetFileText(const TargetTable& target);
struct TargetFileRead {
    std::optional<TargetTable> target;
    QString error;
};
TargetFileRead parseTargetFile(QByteArrayView bytes);
TargetFileRead readTargetFile(const QString& path);

// ---- the filters: records kept out of the correction

// In the order a record kept out by several is counted under.
enum class FuelFilter { RatioRange, Cold, ThrottleStep, Settle, Gap };
inline constexpr int kFuelFilterCount = 5;
using FilterMask = std::bitset<kFuelFilterCount>;
inline FilterMask allFilters() {
    return FilterMask().set();
}
// The command line's name of a filter ("range", "cold", "throttle", "settle", "gap") and the
// window's
// ("ratio out of 9 to 20").
QString filterName(FuelFilter f);
QString filterCaption(FuelFilter f);
std::optional<FuelFilter> filterNamed(const QString& name);

inline constexpr float kRatioLowest = 9.0f;
inline constexpr float kRatioHighest = 20.0f; // above: fuel cut or free air
inline constexpr float kWarmWaterC = 70.0f;   // below: warm-up enrichment
inline constexpr double kStepVolts = 0.5;     // a throttle move of more than this...
inline constexpr double kStepWindowS = 0.2;   // ...within this...
inline constexpr double kAfterStepS = 0.5;    // ...keeps records out for this long after
// The wideband reads the gas of a moment ago: a cell just entered still shows the one before.
inline constexpr double kSettleS = 0.25;
inline constexpr double kGapS = 0.5;     // records further apart than this leave a gap
inline constexpr double kNearGapS = 1.0; // records this near a gap are kept out

// One record for the correction: when, where, the throttle and what the wideband read.
struct FuelRecord {
    double time = 0; // seconds
    int cell = 0;    // 0 to 255
    double throttleVolts = 0;
    std::optional<float> ratio;
    std::optional<float> waterC; // when the log has it
    // The ratio is a reading of its own, not one held over from an earlier record: the
    // wideband sends about 12 a second, the ECU's records come up to 150 a second.
    bool newReading = true;
};

// Measured ratios per cell, apart by the filters that would keep each out, so the window can
// switch filters on and off without reading the logs again. The statistics count readings;
// records (hits), time and the visits that gave readings are kept beside them.
class FuelSamples {
public:
    struct Moments {
        uint64_t n = 0; // readings
        double sum = 0; // of ratio - 14.7, which keeps the sum of squares exact enough
        double sumSq = 0;
        uint64_t records = 0; // every record with a ratio, a held one too
        double seconds = 0;   // the time those records stood for
        void add(double ratio);
        void merge(const Moments& o);
    };
    // One record of `cell` with a ratio. `visit` (from newVisit()) is the stay in the cell it
    // came in; `seconds` the time since the record before.
    void add(int cell, float ratio, FilterMask keptOutBy, bool newReading, double seconds,
             uint64_t visit);
    uint64_t newVisit() { return ++visits_; }
    void noReading() { ++noReading_; }
    void merge(const FuelSamples& other);
    void clear() { *this = FuelSamples(); }
    // The records of a cell that none of the filters switched `on` keeps out.
    Moments kept(int cell, FilterMask on) const;
    // The separate visits to a cell that gave it a reading none of those filters keeps out.
    uint64_t visits(int cell, FilterMask on) const;
    struct Counts {
        uint64_t kept = 0;         // records
        uint64_t keptReadings = 0; // of them, new readings
        uint64_t noReading = 0;
        std::array<uint64_t, kFuelFilterCount> keptOut{}; // by the first filter on that does
    };
    Counts counts(FilterMask on) const;

private:
    using Bins = std::array<Moments, 1 << kFuelFilterCount>;
    std::array<Bins, 256> cells_{};
    // Per cell, per visit with readings: the filter masks its readings carried, a bit each.
    std::array<std::vector<uint32_t>, 256> visitMasks_{};
    std::array<uint64_t, 256> lastVisit_{}; // the visit of our last entry above...
    std::array<size_t, 256> lastEntry_{};   // ...and where it is (merged ones come after it)
    uint64_t visits_ = 0;
    uint64_t noReading_ = 0;
};

// Decides which filters keep each record out, in time order. Records wait here for 1 s, since
// a gap keeps out the second before it too; finish() hands on the ones still waiting.
class FuelRecordFilter {
public:
    explicit FuelRecordFilter(FuelSamples& out) : out_(out) {}
    void add(const FuelRecord& r);
    void finish();

private:
    struct Waiting {
        double time;
        int cell;
        float ratio;
        FilterMask mask;
        bool newReading;
        double seconds;
        uint64_t visit;
    };
    void release(double before);

    FuelSamples& out_;
    std::deque<Waiting> waiting_;
    std::deque<std::pair<double, double>> throttle_; // the last 0.2 s: time, volts
    std::optional<double> last_;                     // the previous record's time
    std::optional<double> lastStep_;
    std::optional<double> gapEnd_; // the first record after the latest gap
    std::optional<int> cell_;      // the cell of the previous record, since...
    double cellSince_ = 0;         // ...this time (a stream's first cell is not entered)
    uint64_t visit_ = 0;           // the stay in that cell
};

// Every record of `log` with an engine speed and a throttle through a filter of its own.
void addLogFuel(FuelSamples& samples, const MapScales& scales, const LogData& log);

// ---- per cell: the suggestion and how sure it is

struct CorrectionSettings {
    uint64_t minHits = 10;        // kept readings a cell needs; below, figures are drawn faint
    double maxChange = 0.15;      // per pass, as a share of the map value
    double maxUncertainty = 0.01; // standard error of the mean, as a share of the target
    FilterMask filters = allFilters();
    CellSet locked; // cells that keep the map's value whatever the logs say
};
// Readings from one visit are trusted only when the engine stayed this long in the cell.
inline constexpr double kOneVisitS = 1.0;

enum class CellTrust { Trusted, NoHits, FewHits, OneVisit, Uncertain, Locked };

struct CellCorrection {
    uint64_t kept = 0;                 // records kept
    uint64_t readings = 0;             // of them, independent readings
    uint64_t visits = 0;               // separate stays in the cell that gave those readings
    double seconds = 0;                // time in the cell of the records kept
    std::optional<double> mean;        // measured ratio, over the readings
    std::optional<double> spread;      // standard deviation, from 2 readings
    double target = 0;                 // ratio
    std::optional<double> change;      // mean / target - 1
    std::optional<double> uncertainty; // standard error of the mean / target, from 2 readings
    CellTrust trust = CellTrust::NoHits;
    bool limited = false; // the change was cut to the maximum
    uint8_t suggested = 0;
};

// The suggested value of one cell: map × (1 + change), the change held to ±maxChange, rounded
// half to even, then held to 1..255.
uint8_t suggestedValue(uint8_t mapValue, double change, double maxChange);

struct FuelCorrection {
    std::array<CellCorrection, 256> cells;
    EngineMap suggested;
    FuelSamples::Counts counts;
};
FuelCorrection correctMap(const EngineMap& map, const GridValues& targetHundredths,
                          const FuelSamples& samples, const CorrectionSettings& settings);

// Why a cell keeps the map's value, in words for its tooltip; empty when it is trusted.
QString trustReason(const CellCorrection& c, const CorrectionSettings& settings);
// The cell in words: measured, target, change, hits and spread, and the reason if untrusted.
QString correctionDetails(const CellCorrection& c, const CorrectionSettings& settings);
// "+3.2", "-12.0": a change in per cent with one decimal.
QString changePercentText(double change);
// The filter counts in a line: "Kept 9120; kept out: no reading 12, ratio out of 9 to 20 40..."
QString filterCountsText(const FuelSamples::Counts& counts, FilterMask on);

// What `kestrix-cli correct --report` writes: the Change %, Difference (suggested - map, in
// counts), Hits kept, Readings kept, Visits and Spread blocks in the map's layout (a cell without a
// trusted suggestion has its figures in brackets, a locked one "lock" for its change), then a "#"
// line per filter. Locale-free numbers, CRLF line ends.
QByteArray correctionReportText(const EngineMap& map, const FuelCorrection& correction,
                                FilterMask on);
// The correction in one line: "9120 readings kept in 143 cells; 87 cells trusted, 80 changed".
QString correctionSummary(const EngineMap& map, const FuelCorrection& correction);

// Locked cells as a map-shaped file of 0 and 1 (1 locked), on the map's scales.
QByteArray lockFileText(const MapScales& scales, const CellSet& locked);
struct LockFileRead {
    std::optional<CellSet> locked; // with `scales`, when the file was read
    MapScales scales;
    QString error;
};
LockFileRead readLockFile(const QString& path);
// The locks of a table on other scales, on the map's: a map cell is locked when the table's
// cell its headers fall in is.
CellSet locksOnMap(const MapScales& lockScales, const CellSet& locked, const MapScales& map);

// What a map is: a fuel map, a timing map (no suggestion for it), or not known (addresses of
// no preset, or a file whose name does not say).
enum class MapKind { Fuel, Timing, Other };
MapKind mapKindOf(const MapAddressTexts& stored);
// The name of the preset whose addresses these are ("RB25DET - fuel"), empty for none.
QString mapPresetName(const MapAddressTexts& stored);
// A map file's kind by its name: "timing" or "fuel" in it, as Save Map proposes them.
MapKind mapKindOfFile(const QString& fileName);

} // namespace kx
