#pragma once
// Power and torque from a full-throttle pull in one gear: the pulls found in a log, the gear
// fitted from the logged speed, the acceleration from engine speed against time, and the road
// load, v · (m·a + ½·ρ·CdA·v² + Crr·m·g). No widgets: the window and kestrix-cli both use it.
#include "dyno/vehicle_inputs.h"
#include "live/channels.h"

#include <QByteArray>
#include <QString>
#include <cmath>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace kx {

class LogData;

// The channels a dyno reads (a log's column code).
inline constexpr int kDynoRpm = channel::Rpm;
inline constexpr int kDynoSpeed = channel::Speed;
inline constexpr int kDynoThrottle = channel::Throttle;

inline constexpr double kGravity = 9.80665;
// A throttle sensor reads about 0.5 V closed and 4.3 V open: below this no log is at full
// throttle, however high its highest value.
inline constexpr double kWideOpenVolts = 3.5;
inline constexpr double kFullThrottleShare = 0.95; // within 5 % of the log's full throttle
// The log's full throttle is the highest level that this much of its records reach: a glitch of
// a few records cannot set it.
inline constexpr double kFullThrottleHoldSeconds = 0.5;
inline constexpr double kMinPullSeconds = 2.0;
inline constexpr double kLiftBridgeSeconds = 0.3; // a shorter lift does not end a pull
inline constexpr double kGearWindowSeconds = 0.5;
inline constexpr double kGearTolerance = 0.03;
// The fewest records a local fit, and a stretch given by time, takes.
inline constexpr int kMinFitPoints = 5;
// A record beyond these (or not a number) is no engine's: it is dropped and counted.
inline constexpr double kMaxRpm = 20000;
inline constexpr double kMaxKmh = 500;

// One record: seconds from the log's start, engine speed, road speed in km/h, throttle volts,
// and the wideband's air/fuel ratio (NaN where the record has none).
struct DynoSample {
    double t = 0;
    double rpm = 0;
    double kmh = 0;
    double throttle = 0;
    double afr = NAN;
};

// Dry air at `tempC` and `pressureHpa`: ρ = p / (R·T).
double airDensity(double tempC, double pressureHpa);
// Watts at the wheels at road speed `v` (m/s) and acceleration `a` (m/s²).
double wheelPower(const VehicleInputs& in, double v, double a);

struct DynoPull {
    size_t first = 0, last = 0; // samples, inclusive
    double from = 0, to = 0;    // seconds
    double rpmPerKmh = 0;       // the gear, fitted over the pull
    // Stretches without records inside the pull (silence, lost frames): never smoothed over.
    std::vector<std::pair<double, double>> gaps;
    bool marked() const { return !gaps.empty(); }
};

struct PullSearch {
    std::vector<DynoPull> pulls;
    QString why;           // when none was found
    bool unusable = false; // the log lacks a column the search needs
};
// Stretches of at least 2 s at full throttle (lifts under 0.3 s bridged), RPM rising, in one
// gear (RPM per km/h within 3 % of its value half a second before, each taken over half a
// second). Full throttle is within 5 % of the log's own: the highest throttle that half a second
// of its records reach.
PullSearch findPulls(std::span<const DynoSample> samples);
// The stretch the user gives, taken as one pull whatever its throttle.
PullSearch pullBetween(std::span<const DynoSample> samples, double from, double to);

// RPM per km/h over samples [first, last]: km/h fitted as a line against RPM (a constant
// offset, such as a speed cut down to its step, drops out), so its 2 km/h step averages away.
double fitRpmPerKmh(std::span<const DynoSample> samples, size_t first, size_t last);

struct DynoPoint {
    double rpm = 0;
    double powerW = 0; // at the wheels, or at the engine with a loss given
    double torqueNm = 0;
    double afr = NAN; // the mean ratio of the pull's records within half a step; NaN: none
};
struct DynoCurve {
    // Every step the pull covers with data on both sides of it; none inside a gap. The peaks
    // are the highest of these.
    std::vector<DynoPoint> points;
    DynoPoint peakPower, peakTorque;
    bool hasAfr = false; // a point has a ratio
    bool empty() const { return points.empty(); }
};
DynoCurve dynoCurve(std::span<const DynoSample> samples, const DynoPull& pull,
                    const VehicleInputs& in);

// The samples of a log: its RPM, Speed and Throttle columns, a speed in mph turned to km/h, and
// the WBo2 ratio where the record has one (a number, and no WB State or "Ready").
struct DynoLog {
    std::vector<DynoSample> samples;
    QString why;              // the log lacks RPM or Speed: it has no samples
    bool hasThrottle = true;  // without it only a stretch given by time is a pull
    qsizetype unreadable = 0; // records skipped: RPM, Speed or Throttle not a number
    qsizetype impossible = 0; // records dropped: beyond any engine or car
};
DynoLog dynoSamples(const LogData& data);
// "2 records skipped as unreadable; 3 records dropped as impossible", or "" when none was.
QString droppedText(const DynoLog& log);
// The pulls of a log: those found, or the stretch from `between`'s first to its second second.
PullSearch searchPulls(const DynoLog& log,
                       std::optional<std::pair<double, double>> between = std::nullopt);

// ---- figures as the user reads them
struct DynoUnits {
    bool imperial = false; // hp and lb·ft instead of kW and Nm
    QString power() const;
    QString torque() const;
    double powerOf(double watts) const;
    double torqueOf(double nm) const;
};
// "12.30 s to 18.45 s, 2000 to 6787 RPM, 52.63 RPM per km/h" (and the gaps).
QString pullSummary(std::span<const DynoSample> samples, const DynoPull& pull);
// "peak power 175.2 kW at 6250 RPM; peak torque 300.0 Nm at 4500 RPM".
QString peaksText(const DynoCurve& curve, const DynoUnits& units);
// "# pull N: summary", the column line, one line per step, "# peak ...": kestrix-cli's output
// and the window's CSV export. Locale-free.
QByteArray pullReport(int number, std::span<const DynoSample> samples, const DynoPull& pull,
                      const DynoCurve& curve, const DynoUnits& units);

} // namespace kx
