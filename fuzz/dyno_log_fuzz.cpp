// A log from someone else into the dyno: read, its pulls found (or the user's stretch taken, from
// the input's first bytes), each pull's curve and report made, or a reason given. Whatever the
// records hold, the search ends, every sample is one an engine can give, every step lies within
// the recorded engine speeds and every figure is a number.
#include "dyno/dyno.h"
#include "logs/log_reader.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kx;
    double stretch[2] = {};
    const bool given = size > sizeof stretch && data[0] == 'S';
    if (given) {
        std::memcpy(stretch, data + 1, sizeof stretch);
        data += 1 + sizeof stretch;
        size -= 1 + sizeof stretch;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const LogReadResult read = LogReader::readBytes(bytes, {});
    if (!read.ok()) return 0;
    const DynoLog log = dynoSamples(read.data);
    (void)droppedText(log);
    for (const DynoSample& s : log.samples)
        if (!(s.rpm >= 0 && s.rpm <= kMaxRpm && s.kmh >= 0 && s.kmh <= kMaxKmh)) __builtin_trap();
    const PullSearch found =
        given ? searchPulls(log, std::pair{stretch[0], stretch[1]}) : searchPulls(log);
    if (found.pulls.empty() && found.why.isEmpty()) __builtin_trap();
    // The smallest step the inputs allow: the most points a pull can have.
    VehicleInputs in;
    in.stepRpm = 10;
    int number = 0;
    for (const DynoPull& pull : found.pulls) {
        const DynoCurve curve = dynoCurve(log.samples, pull, in);
        if (curve.points.size() > size_t(kMaxRpm / in.stepRpm) + 1) __builtin_trap();
        for (const DynoPoint& p : curve.points)
            if (!std::isfinite(p.rpm) || !std::isfinite(p.powerW) || !std::isfinite(p.torqueNm))
                __builtin_trap();
        (void)pullReport(++number, log.samples, pull, curve, DynoUnits{number % 2 == 0});
    }
    return 0;
}
