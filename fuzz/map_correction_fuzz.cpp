// Feeds arbitrary bytes to the readers of the files a tuner gets from someone else for the fuel
// correction: a map, a target table with its locks, and a log through the correction's filter
// and the coverage. A map read back is written and read again unchanged; a suggestion stays a
// map's byte and moves no cell without a trusted reading.
#include "logs/log_reader.h"
#include "tools/map_correction.h"
#include "tools/map_coverage.h"
#include "tools/map_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kx;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const MapFileRead map = parseMapFile(bytes);
    if (map.map && parseMapFile(mapFileText(*map.map)).map != map.map) __builtin_trap();
    const TargetFileRead target = parseTargetFile(bytes);
    if (target.target && parseTargetFile(targetFileText(*target.target)).target != target.target)
        __builtin_trap();

    EngineMap m;
    for (int i = 0; i < 16; ++i) {
        m.scales.rpm[size_t(i)] = 500 * (i + 1);
        m.scales.tp[size_t(i)] = 15 * (i + 1);
    }
    m.values.fill(100);
    const LogReadResult log = LogReader::readBytes(bytes);
    if (!log.ok()) return 0;
    FuelSamples samples;
    addLogFuel(samples, m.scales, log.data);
    MapCoverage coverage;
    const LogCoverageCount counted = addLogCoverage(coverage, m.scales, log.data);
    if (counted.added + counted.skipped != log.data.recordCount()) __builtin_trap();
    GridValues hundredths;
    hundredths.fill(1470);
    CorrectionSettings settings;
    settings.minHits = 1;
    const FuelCorrection c = correctMap(m, hundredths, samples, settings);
    for (size_t i = 0; i < 256; ++i) {
        if (c.suggested.values[i] == 0) __builtin_trap();
        if (c.suggested.values[i] != 100 && c.cells[i].trust != CellTrust::Trusted)
            __builtin_trap();
    }
    (void)correctionReportText(m, c, settings.filters);
    return 0;
}
