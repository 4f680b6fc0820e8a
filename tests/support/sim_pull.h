#pragma once
// The simulator's full-throttle pull as the dyno reads it, and how far a dyno's figures are from
// the engine's known torque curve.
#include "dyno/dyno.h"
#include "dyno/pull_recorder.h"
#include "engine_model.h"
#include "logs/log_format.h"

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace kx::test {

// As Record a Pull samples it (every 7 ms, with the ECU's 12.5 RPM and 2 km/h steps), `slower`
// stretching its time (less power).
inline std::vector<PullRecorder::Sample> simPullSamples(double slower) {
    std::vector<PullRecorder::Sample> s;
    for (uint32_t ms = 0; ms < 9000; ms += 7) {
        const double t = ms / 1000.0 / slower - 0.5;
        const double rpm = kxsim::EngineModel::pullRpm(t);
        s.push_back({1000 + ms, float(12.5 * std::round(rpm / 12.5)),
                     float(2 * std::round(rpm * kxsim::EngineModel::kPullKmhPerRpm / 2)),
                     float(0.45 + 3.85 * kxsim::EngineModel::pullThrottle(t)), {}});
    }
    return s;
}

// The pull as a log holds it: records `gapMin` to `gapMax` ms apart (uneven, millisecond
// stamps), RPM in 12.5 and km/h in 2 km/h steps; a second of cruise before, two after, the
// throttle opening at a moment the seed picks between two records. With `readMs`, records are
// stamped when the program read them, every `readMs`, as older logs were: several share a time.
inline std::vector<DynoSample> simPullLog(int gapMin, int gapMax, unsigned seed, int readMs = 0) {
    using Sim = kxsim::EngineModel;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> gap(gapMin, gapMax);
    const double opening = 1.0 + std::uniform_real_distribution<double>(0, gapMax / 1000.0)(rng);
    std::vector<DynoSample> s;
    for (int ms = 0; ms < 12000; ms += gap(rng)) {
        const double t = ms / 1000.0 - opening;
        const double rpm = Sim::pullRpm(t);
        const int stamp = readMs > 0 ? (ms + readMs - 1) / readMs * readMs : ms;
        s.push_back({stamp / 1000.0, 12.5 * std::round(rpm / 12.5),
                     2 * std::round(rpm * Sim::kPullKmhPerRpm / 2),
                     0.45 + 3.85 * Sim::pullThrottle(t)});
    }
    return s;
}

// `s` as a log file's bytes (Time, RPM, Speed kph, Throttle), read back by the log reader.
inline QByteArray simPullLogBytes(const std::vector<DynoSample>& s) {
    QByteArray b = "Time, RPM, Speed kph, Throttle\r\n";
    for (const DynoSample& x : s)
        b += logTimeStamp(uint64_t(std::llround(x.t * 1000))) + ", " + QByteArray::number(x.rpm) +
             ", " + QByteArray::number(x.kmh) + ", " + QByteArray::number(x.throttle, 'f', 2) +
             "\r\n";
    return b;
}

inline VehicleInputs simPullInputs() {
    using Sim = kxsim::EngineModel;
    VehicleInputs in;
    in.massKg = Sim::kPullMassKg;
    in.cdA = Sim::kPullCdA;
    in.crr = Sim::kPullCrr;
    in.rho = Sim::kPullRho;
    return in;
}

// One pull's figures against the truth: errors as fractions (reported / true - 1).
struct PullAccuracy {
    int steps = 0;
    double stepRms = 0, stepMax = 0; // power at each reported step
    double peakPower = 0, peakTorque = 0;
    // Reported peak RPM minus the truth's: against the step where the true curve is highest,
    // and against the true peak itself (between steps).
    double peakPowerSteps = 0, peakTorqueSteps = 0;
    double peakPowerRpm = 0, peakTorqueRpm = 0;
};

// The true peaks over the pull's span on a 1 RPM grid, and on the grid of `stepRpm`.
inline PullAccuracy pullAccuracy(const DynoCurve& c, double stepRpm = VehicleInputs().stepRpm) {
    using Sim = kxsim::EngineModel;
    PullAccuracy a;
    double sq = 0;
    for (const DynoPoint& p : c.points) {
        const double e = p.powerW / Sim::pullPower(p.rpm) - 1;
        sq += e * e;
        a.stepMax = std::max(a.stepMax, std::abs(e));
        ++a.steps;
    }
    if (a.steps == 0) return a;
    a.stepRms = std::sqrt(sq / a.steps);
    struct Top {
        double power = 0, powerRpm = 0, torque = 0, torqueRpm = 0;
        void take(double r) {
            if (Sim::pullPower(r) > power) power = Sim::pullPower(r), powerRpm = r;
            if (Sim::pullTorque(r) > torque) torque = Sim::pullTorque(r), torqueRpm = r;
        }
    } fine, stepped;
    for (double r = Sim::kPullStartRpm; r <= Sim::kPullLimiterRpm; r += 1)
        fine.take(r);
    for (double r = Sim::kPullStartRpm; r <= Sim::kPullLimiterRpm; r += stepRpm)
        stepped.take(r);
    a.peakPower = c.peakPower.powerW / fine.power - 1;
    a.peakTorque = c.peakTorque.torqueNm / fine.torque - 1;
    a.peakPowerRpm = c.peakPower.rpm - fine.powerRpm;
    a.peakTorqueRpm = c.peakTorque.rpm - fine.torqueRpm;
    a.peakPowerSteps = (c.peakPower.rpm - stepped.powerRpm) / stepRpm;
    a.peakTorqueSteps = (c.peakTorque.rpm - stepped.torqueRpm) / stepRpm;
    return a;
}

} // namespace kx::test
