#pragma once
// A long drive in the data logger's format, for the coverage figures: 12 gauges and 12
// indicators, as a full display logs them.
#include "live/gauge_setup.h"
#include "logs/log_format.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <random>

namespace kx {

// A drive: engine speed and throttle wander, the ratio follows the throttle.
inline bool writeDrive(const char* path, long records, bool firstWithoutRpm) {
    LogSelection sel;
    for (int g : {0, 1, 3, 4, 6, 7, 8, 10, 12, 13, 14, 24})
        sel.gauges[size_t(g)] = true;
    sel.indicators.fill(true);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    f.write(logHeaderLine(catalogueNames(false, false), sel));
    std::mt19937 random(7);
    std::uniform_real_distribution<double> step(-1.0, 1.0);
    double rpm = 900, tp = 20;
    LogValues v;
    v.states.fill(QStringLiteral("Off"));
    v.gauges[3] = 82;
    v.gauges[7] = 14.08f;
    QByteArray chunk;
    for (long r = 0; r < records; ++r) {
        rpm = std::clamp(rpm + 60 * step(random), 700.0, 7500.0);
        tp = std::clamp(tp + 3 * step(random), 0.0, 230.0);
        v.gauges[0] = float(std::lround(rpm / 12.5) * 12.5);
        v.gauges[8] = float(std::lround(tp)) * 0.02f;
        // Lean on a closed throttle at speed, richer under load.
        const double afr = 15.2 - tp / 70.0 - (rpm - 900) / 9000.0 + 0.3 * step(random);
        v.gauges[24] = float(std::lround(afr * 100)) / 100.0f;
        QByteArray line = logRecordLine(uint64_t(r) * 20, sel, v);
        if (r == 0 && firstWithoutRpm) line.replace(line.indexOf(", ") + 2, 0, "x");
        chunk += line;
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
    return f.error() == QFile::NoError;
}

} // namespace kx
