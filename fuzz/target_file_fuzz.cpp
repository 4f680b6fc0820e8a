// A target ratio table from someone else: either every cell in the trusted ratios or a reason,
// and a table that was read applies to any map's scales.
#include "tools/map_correction.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kx;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const TargetFileRead read = parseTargetFile(bytes);
    if (read.target.has_value() == !read.error.isEmpty()) __builtin_trap();
    if (!read.target) return 0;
    for (int v : read.target->hundredths)
        if (v < kTargetLowest || v > kTargetHighest) __builtin_trap();
    MapScales other;
    for (int i = 0; i < 16; ++i) {
        other.rpm[size_t(i)] = 500 * (i + 1);
        other.tp[size_t(i)] = 10 * (i + 1);
    }
    for (int v : targetOnMap(*read.target, other))
        if (v < kTargetLowest || v > kTargetHighest) __builtin_trap();
    const TargetFileRead again = parseTargetFile(targetFileText(*read.target));
    if (!again.target || !(*again.target == *read.target)) __builtin_trap();
    return 0;
}
