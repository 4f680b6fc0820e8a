#pragma once
// The air/fuel ratio Kestrix aims for when it suggests a fuel map, in hundredths (1470 is
// 14.70). Plain C++ without Qt: kestrix-sim burns the same ratios, so its planted error can be
// measured against them.
//   stoichiometric, 1470, up to a throttle of 60 raw (1.2 V);
//   from there 220 hundredths richer per 120 raw, down to 1250 at 180 raw (3.6 V) and above;
//   under load, up to a further 50 richer as engine speed goes from 4000 to 6000 rpm, so a
//   wide open throttle at 6000 rpm and above aims for 1200.
#include <algorithm>
#include <cmath>

namespace kx {

inline constexpr int kTargetLightLoadTp = 60;   // raw throttle: stoichiometric up to here
inline constexpr int kTargetFullLoadTp = 180;   // raw throttle: full enrichment from here
inline constexpr int kTargetHighRpmFrom = 4000; // rpm: further enrichment starts
inline constexpr int kTargetHighRpmTo = 6000;   // rpm: and is whole from here

// The shipped target of a cell whose headers are `rpm` and raw throttle `tp`.
inline int defaultTargetHundredths(int rpm, int tp) {
    const double load = std::clamp(
        double(tp - kTargetLightLoadTp) / double(kTargetFullLoadTp - kTargetLightLoadTp), 0.0, 1.0);
    const double speed = std::clamp(
        double(rpm - kTargetHighRpmFrom) / double(kTargetHighRpmTo - kTargetHighRpmFrom), 0.0, 1.0);
    return int(std::lround(1470.0 - 220.0 * load - 50.0 * load * speed));
}

} // namespace kx
