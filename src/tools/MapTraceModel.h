#pragma once
// What the map trace shows: the map, the coverage of its cells, the fuel samples of the same
// hits, and the trail. The window changes it through these few operations; the grid and the
// correction panel paint and read it.
#include "tools/map_correction.h"
#include "tools/map_coverage.h"
#include "tools/map_trace.h"

#include <bitset>
#include <memory>
#include <optional>

namespace kx {

struct LogFilesCoverage;

class MapTraceModel {
public:
    MapTraceModel();
    MapTraceModel(const MapTraceModel&) = delete;
    MapTraceModel& operator=(const MapTraceModel&) = delete;

    // One traced frame in map cell `index` (0 to 255): `seconds` is the frame's own time,
    // `throttleVolts` its throttle, `ratio` the wideband's reading when it came.
    void addHit(int index, std::optional<float> ratio, double seconds, double throttleVolts);
    // The coverage and fuel samples of logs read.
    void addLogs(const LogFilesCoverage& logs);
    // Coverage and fuel samples from nothing again.
    void clearCoverage();
    void clearTrail();

    EngineMap map;
    bool mapKnown = false;
    MapCoverage coverage;
    FuelSamples fuel;         // the same hits, for the correction
    std::bitset<256> trailed; // map cells the engine has left since the last Clear Trace
    int shownCurrent = 0;     // the grid cell painted as current, 0 for none
    // Offered for fuel maps only.
    std::optional<FuelCorrection> correction;
    CorrectionSettings settings;

private:
    // The traced hits' way into the correction: the filters look at them in time order.
    std::unique_ptr<FuelRecordFilter> liveFuel_;
    std::optional<float> lastRatio_; // the ratio of the hit counted last
};

} // namespace kx
