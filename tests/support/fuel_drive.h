#pragma once
// Drives for the fuel correction: the simulator's engine with a planted fuel map error
// (kxsim::PlantedMixture, as kestrix-sim --fuel-error runs it), driven over the whole map and
// logged in the data logger's format with RPM, Water Temp C, Throttle and WBo2. A drive has
// warm-up, fuel cuts, throttle steps and pauses of the logger in it, and the wideband's ratio
// comes twelve times a second, held between, as the logger sees it.
#include "live/gauge_setup.h"
#include "logs/log_format.h"
#include "memory_image.h"
#include "tools/map_trace.h"
#include "wideband.h"
#include "wideband/wideband.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <cmath>
#include <optional>
#include <random>

namespace kx::test {

struct FuelDrive {
    double errorPct = 12;
    long records = 100000; // one every 20 ms
    double coolantStartC = 20;
    uint64_t seed = 1;
    // The fuel map the engine runs on, as kestrix-sim --fuel-map flashes it; its own otherwise.
    std::optional<std::array<uint8_t, 256>> fuelMap = std::nullopt;
};

// The simulator's fuel map on its scales, as Save Map writes it.
inline EngineMap simulatedFuelMap() {
    EngineMap map;
    for (int i = 0; i < 16; ++i) {
        map.scales.rpm[size_t(i)] = 50 * kxsim::MemoryImage::rpmScale(i);
        map.scales.tp[size_t(i)] = kxsim::MemoryImage::tpScale(i);
        for (int c = 0; c < 16; ++c)
            map.values[size_t(16 * i + c)] = kxsim::MemoryImage::fuelCell(i, c);
    }
    return map;
}

inline bool writeFuelDrive(const QString& path, const FuelDrive& d) {
    LogSelection sel;
    for (int g : {0, 3, 8, 24})
        sel.gauges[size_t(g)] = true;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    f.write(logHeaderLine(catalogueNames(false, false), sel));
    std::mt19937_64 random(d.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    kxsim::PlantedMixture mixture(d.errorPct, d.fuelMap);
    kxsim::EngineState s;
    s.rpm = 900;
    s.throttle = 0.05;
    s.coolantC = d.coolantStartC;
    double time = 0, logTime = 0, nextRatio = 0, ratio = 14.7;
    double aimRpm = 900, aimThrottle = 0.05, cutUntil = -1;
    LogValues v;
    QByteArray chunk;
    for (long r = 0; r < d.records; ++r) {
        const double dt = 0.02;
        time += dt;
        logTime += dt;
        if (r % 15000 == 14999) logTime += 4; // the logger paused
        if (unit(random) < dt / 3) {          // a new aim every 3 s or so
            aimRpm = 800 + 6900 * unit(random);
            aimThrottle = 0.04 + 0.96 * unit(random);
            if (unit(random) < 0.2) s.throttle = std::max(s.throttle, aimThrottle); // a step
            if (unit(random) < 0.1 && s.rpm > 2000) cutUntil = time + 1.5;
        }
        const double throttleAim = time < cutUntil ? 0.0 : aimThrottle;
        s.throttle += std::clamp(throttleAim - s.throttle, -0.4 * dt, 0.4 * dt);
        s.rpm += std::clamp(aimRpm - s.rpm, -1500 * dt, 1500 * dt);
        s.coolantC = std::min(86.0, s.coolantC + 0.5 * dt);
        if (time >= nextRatio) {
            nextRatio = time + 1.0 / 12;
            const double afr = mixture.afr(s, time) + 0.16 * (unit(random) - 0.5);
            ratio = wb::afrFromRaw(kxsim::rawFromAfr(afr));
        }
        v.gauges[0] = float(std::lround(s.rpm / 12.5) * 12.5);
        v.gauges[3] = float(std::lround(s.coolantC + 50) - 50);
        v.gauges[8] = float(std::lround((0.45 + 3.85 * s.throttle) / 0.02)) * 0.02f;
        v.gauges[24] = float(ratio);
        chunk += logRecordLine(uint64_t(std::lround(logTime * 1000)), sel, v);
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
    return f.error() == QFile::NoError;
}

} // namespace kx::test
