#pragma once
// The simulator's full-throttle pull as Record a Pull samples it (every 7 ms, with the ECU's
// 12.5 RPM and 2 km/h steps), `slower` stretching its time (less power).
#include "dyno/pull_recorder.h"
#include "engine_model.h"

#include <cmath>
#include <vector>

namespace kx::test {

inline std::vector<PullRecorder::Sample> simPullSamples(double slower) {
    std::vector<PullRecorder::Sample> s;
    for (uint32_t ms = 0; ms < 9000; ms += 7) {
        const double t = ms / 1000.0 / slower - 0.5;
        const double rpm = kxsim::EngineModel::pullRpm(t);
        s.push_back({1000 + ms, float(12.5 * std::round(rpm / 12.5)),
                     float(2 * std::round(rpm * kxsim::EngineModel::kPullKmhPerRpm / 2)),
                     float(0.45 + 3.85 * kxsim::EngineModel::pullThrottle(t))});
    }
    return s;
}

} // namespace kx::test
