// Feeds arbitrary bytes to the dyno as a log someone sent: whatever the records hold, the search
// ends, every step lies within the recorded engine speeds and every figure is a number.
#include "dyno/dyno.h"
#include "logs/log_reader.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kx;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const LogReadResult r = LogReader::readBytes(bytes);
    if (!r.ok()) return 0;
    const DynoLog log = dynoSamples(r.data);
    (void)droppedText(log);
    for (const DynoSample& s : log.samples)
        if (!(s.rpm >= 0 && s.rpm <= kMaxRpm && s.kmh >= 0 && s.kmh <= kMaxKmh)) __builtin_trap();
    const PullSearch found = searchPulls(log);
    // The smallest step the inputs allow: the most points a pull can have.
    VehicleInputs in;
    in.stepRpm = 10;
    for (const DynoPull& pull : found.pulls) {
        const DynoCurve curve = dynoCurve(log.samples, pull, in);
        if (curve.points.size() > size_t(kMaxRpm / in.stepRpm) + 1) __builtin_trap();
        for (const DynoPoint& p : curve.points)
            if (!std::isfinite(p.powerW) || !std::isfinite(p.torqueNm)) __builtin_trap();
        (void)pullReport(1, log.samples, pull, curve, DynoUnits{});
    }
    return 0;
}
