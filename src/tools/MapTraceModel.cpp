#include "tools/MapTraceModel.h"

#include "tools/map_logs.h"

namespace kx {

MapTraceModel::MapTraceModel() : liveFuel_(std::make_unique<FuelRecordFilter>(fuel)) {}

void MapTraceModel::addHit(int index, std::optional<float> ratio, double seconds,
                           double throttleVolts) {
    coverage.add(index, ratio);
    // The wideband updates about 12 times a second, the trace's frames come far faster: a
    // value held over several frames is one reading.
    const bool newReading = ratio && ratio != lastRatio_;
    lastRatio_ = ratio;
    liveFuel_->add({seconds, index, throttleVolts, ratio, std::nullopt, newReading});
}

void MapTraceModel::addLogs(const LogFilesCoverage& logs) {
    coverage.merge(logs.coverage);
    fuel.merge(logs.fuel);
}

void MapTraceModel::clearCoverage() {
    coverage.clear();
    fuel.clear();
    liveFuel_ = std::make_unique<FuelRecordFilter>(fuel);
}

void MapTraceModel::clearTrail() {
    trailed.reset();
    shownCurrent = 0;
}

} // namespace kx
