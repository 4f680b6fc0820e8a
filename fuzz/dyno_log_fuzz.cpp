// A log from someone else into the dyno: read, its pulls found (or the user's stretch taken, from
// the input's first bytes), each pull's curve and report made, or a reason given.
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
    if (!log.why.isEmpty()) return 0;
    const PullSearch found =
        given ? pullBetween(log.samples, stretch[0], stretch[1]) : findPulls(log.samples);
    if (found.pulls.empty() && found.why.isEmpty()) __builtin_trap();
    const VehicleInputs in;
    int number = 0;
    for (const DynoPull& pull : found.pulls) {
        const DynoCurve curve = dynoCurve(log.samples, pull, in);
        for (const DynoPoint& p : curve.points)
            if (!std::isfinite(p.rpm)) __builtin_trap();
        (void)pullReport(++number, log.samples, pull, curve, DynoUnits{number % 2 == 0});
    }
    return 0;
}
