// A log from someone else into the fuel correction: its records sorted into the map's cells and
// filtered, the suggested map worked out and written as kestrix-cli prints it.
#include "logs/log_reader.h"
#include "tools/map_correction.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kx;
    static const EngineMap map = [] {
        EngineMap m;
        for (int i = 0; i < 16; ++i) {
            m.scales.rpm[size_t(i)] = 400 * (i + 1);
            m.scales.tp[size_t(i)] = 12 * (i + 1);
        }
        for (size_t c = 0; c < m.values.size(); ++c)
            m.values[c] = uint8_t(20 + c % 200);
        return m;
    }();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const LogReadResult read = LogReader::readBytes(bytes, {});
    if (!read.ok()) return 0;
    FuelSamples samples;
    addLogFuel(samples, map.scales, read.data);
    CorrectionSettings settings;
    settings.minHits = 1 + size % 20;
    const FuelCorrection result =
        correctMap(map, targetOnMap(defaultTarget(map.scales), map.scales), samples, settings);
    for (size_t c = 0; c < result.cells.size(); ++c)
        if (result.suggested.values[c] == 0) __builtin_trap(); // held to 1..255
    (void)correctionReportText(map, result, settings.filters);
    return 0;
}
