#include "dyno/dyno.h"

#include "logs/analyser_axes.h"
#include "logs/log_reader.h"
#include "tools/map_coverage.h"
#include "util/numbers.h"
#include "util/settings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numbers>

namespace kx {

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kWattsPerHp = 745.699872;
constexpr double kNmPerLbFt = 1.3558179483;
constexpr double kKmhPerMph = 1.609344;
// A fall of engine speed this far below the pull's highest so far ends the pull: a gear change
// or a bog, not the 12.5 RPM step.
constexpr double kRpmDrop = 150;
// Half the span of the local fit, in seconds, and the least it narrows to at a stretch's ends
// (see localSlopes).
constexpr double kFitHalfSpan = 0.5;
constexpr double kMinFitHalfSpan = 0.25;
constexpr int kMinFitPoints = 5;
const QString kSection = QStringLiteral("Dyno");

QString fixed(double v, int decimals) {
    return QString::number(v, 'f', decimals); // always "." whatever the locale
}

// No record for this long is a gap: five times the pull's usual spacing, and at least a
// quarter of a second.
double gapSeconds(std::span<const DynoSample> s, size_t first, size_t last) {
    std::vector<double> dt;
    for (size_t i = first; i < last; ++i)
        dt.push_back(s[i + 1].t - s[i].t);
    if (dt.empty()) return 0.25;
    std::nth_element(dt.begin(), dt.begin() + ptrdiff_t(dt.size() / 2), dt.end());
    return std::max(0.25, 5 * dt[dt.size() / 2]);
}

std::vector<std::pair<double, double>> gapsIn(std::span<const DynoSample> s, size_t first,
                                              size_t last) {
    std::vector<std::pair<double, double>> gaps;
    const double limit = gapSeconds(s, first, last);
    for (size_t i = first; i < last; ++i)
        if (s[i + 1].t - s[i].t > limit) gaps.emplace_back(s[i].t, s[i + 1].t);
    return gaps;
}

DynoPull makePull(std::span<const DynoSample> s, size_t first, size_t last) {
    DynoPull p;
    p.first = first;
    p.last = last;
    p.from = s[first].t;
    p.to = s[last].t;
    p.rpmPerKmh = fitRpmPerKmh(s, first, last);
    p.gaps = gapsIn(s, first, last);
    return p;
}

// RPM per km/h over the half second around each sample of run [first, last], by sums so that
// a long log costs one pass; 0 where the car stands.
std::vector<double> windowRatios(std::span<const DynoSample> s, size_t first, size_t last) {
    std::vector<double> r(last - first + 1);
    size_t lo = first, hi = first;
    double rpm = 0, kmh = 0;
    for (size_t i = first; i <= last; ++i) {
        while (hi <= last && s[hi].t <= s[i].t + kGearWindowSeconds / 2) {
            rpm += s[hi].rpm;
            kmh += s[hi].kmh;
            ++hi;
        }
        while (s[lo].t < s[i].t - kGearWindowSeconds / 2) {
            rpm -= s[lo].rpm;
            kmh -= s[lo].kmh;
            ++lo;
        }
        r[i - first] = kmh > 0.5 ? rpm / kmh : 0;
    }
    return r;
}

// Engine speed and its rate at each sample of [first, last], by a weighted quadratic fitted
// to the samples within a half span each side of it, on their own time stamps. The fit is a
// least-squares line through noise: a 12.5 RPM step is uniform noise of 3.6 RPM, and the half
// second each side holds at least ~20 samples at 20 a second (200 at 200), which leave the rate
// within ~5 RPM/s of a pull's 300 to 1000 RPM/s; uneven spacing needs nothing, since each
// sample enters at its own time, not an assumed grid; the quadratic term follows the changing
// acceleration. The span is always the same each side: near the stretch's ends it narrows to
// the data there, and where that leaves under kMinFitHalfSpan no rate is given, since a fit
// from one side only runs off with the curve's bend (several per cent at a pull's ends).
struct Fitted {
    double rpm = 0, rate = 0;
    bool ok = false;
};
std::vector<Fitted> localSlopes(std::span<const DynoSample> s, size_t first, size_t last) {
    std::vector<Fitted> out(last - first + 1);
    size_t lo = first;
    for (size_t i = first; i <= last; ++i) {
        const double half = std::min({kFitHalfSpan, s[i].t - s[first].t, s[last].t - s[i].t});
        if (half < kMinFitHalfSpan) continue;
        // t - half never falls from one sample to the next: the window only moves forward.
        while (s[lo].t < s[i].t - half)
            ++lo;
        std::array<double, 5> m{}; // Σw·τ^k
        std::array<double, 3> y{}; // Σw·τ^k·rpm
        int n = 0;
        for (size_t j = lo; j <= last && s[j].t <= s[i].t + half; ++j) {
            const double tau = s[j].t - s[i].t;
            double p = 1;
            for (int k = 0; k < 5; ++k, p *= tau) {
                m[size_t(k)] += p;
                if (k < 3) y[size_t(k)] += p * s[j].rpm;
            }
            ++n;
        }
        if (n < kMinFitPoints) continue;
        // Normal equations [m0 m1 m2; m1 m2 m3; m2 m3 m4] c = y, by Cramer's rule.
        const auto det3 = [](double a, double b, double c, double d, double e, double f, double g,
                             double h, double k) {
            return a * (e * k - f * h) - b * (d * k - f * g) + c * (d * h - e * g);
        };
        const double det = det3(m[0], m[1], m[2], m[1], m[2], m[3], m[2], m[3], m[4]);
        if (std::abs(det) < 1e-18) continue;
        Fitted& f = out[i - first];
        f.rpm = det3(y[0], m[1], m[2], y[1], m[2], m[3], y[2], m[3], m[4]) / det;
        f.rate = det3(m[0], y[0], m[2], m[1], y[1], m[3], m[2], y[2], m[4]) / det;
        f.ok = true;
    }
    return out;
}

// The log's full-throttle level: the highest throttle that kFullThrottleHoldSeconds of records
// reach at the log's rate (counted over its spacings under a second, so a pause or a clock
// that stood still changes nothing).
double fullThrottleLevel(std::span<const DynoSample> s) {
    double spanned = 0;
    size_t counted = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        const double dt = s[i].t - s[i - 1].t;
        if (dt < 0 || dt > 1) continue;
        spanned += dt;
        ++counted;
    }
    const double perSecond = spanned > 0 ? double(counted) / spanned : 0;
    const size_t k =
        std::clamp<size_t>(size_t(std::ceil(perSecond * kFullThrottleHoldSeconds)), 1, s.size());
    std::vector<double> tp(s.size());
    std::transform(s.begin(), s.end(), tp.begin(), [](const DynoSample& x) { return x.throttle; });
    std::nth_element(tp.begin(), tp.begin() + ptrdiff_t(k - 1), tp.end(), std::greater<>());
    return tp[k - 1];
}

bool impossible(const DynoSample& x) {
    const auto within = [](double v, double high) { return v >= 0 && v <= high; };
    return !within(x.rpm, kMaxRpm) || !within(x.kmh, kMaxKmh) || !std::isfinite(x.throttle);
}

// The mean ratio of the pull's records within half a step of each step, NaN where none has one.
std::vector<double> stepRatios(std::span<const DynoSample> s, const DynoPull& pull,
                               double firstStep, double step, size_t count) {
    std::vector<double> sum(count, 0.0), n(count, 0.0);
    for (size_t i = pull.first; i <= pull.last; ++i) {
        if (!std::isfinite(s[i].afr)) continue;
        const double k = std::round((s[i].rpm - firstStep) / step);
        if (k < 0 || k >= double(count)) continue;
        sum[size_t(k)] += s[i].afr;
        n[size_t(k)] += 1;
    }
    std::vector<double> mean(count, NAN);
    for (size_t k = 0; k < count; ++k)
        if (n[k] > 0) mean[k] = sum[k] / n[k];
    return mean;
}

// Older logs stamped records when the program read them, several frames to a read: records
// sharing a time are spread evenly over the time since the one before (when that is short, not
// a pause), as their frames came, rather than taken as all at once.
void spreadSharedTimes(std::vector<DynoSample>& s) {
    constexpr double kLongestRead = 0.25;
    for (size_t a = 0; a < s.size();) {
        size_t e = a;
        while (e + 1 < s.size() && s[e + 1].t == s[a].t)
            ++e;
        if (a > 0 && e > a && s[a].t - s[a - 1].t <= kLongestRead) {
            const double before = s[a - 1].t, span = s[a].t - before;
            const double n = double(e - a + 1);
            for (size_t i = a; i <= e; ++i)
                s[i].t = before + span * double(i - a + 1) / n;
        }
        a = e + 1;
    }
}

QString records(qsizetype n) {
    return QString::number(n) + (n == 1 ? QStringLiteral(" record") : QStringLiteral(" records"));
}
} // namespace

double airDensity(double tempC, double pressureHpa) {
    return pressureHpa * 100 / (287.05 * (tempC + 273.15));
}

double wheelPower(const VehicleInputs& in, double v, double a) {
    return v * (in.massKg * a + 0.5 * in.rho * in.cdA * v * v + in.crr * in.massKg * kGravity);
}

VehicleInputs readVehicleInputs(const Settings& settings) {
    VehicleInputs in;
    const auto take = [&](const char* key, double& into) {
        if (const auto v = parseNumber(settings.read(kSection, QLatin1String(key))))
            if (std::isfinite(*v)) into = *v;
    };
    take("Mass", in.massKg);
    take("CdA", in.cdA);
    take("Crr", in.crr);
    take("Rho", in.rho);
    take("Loss", in.lossPct);
    take("Step", in.stepRpm);
    if (!vehicleInputsProblem(in).isEmpty()) return VehicleInputs{};
    return in;
}

void saveVehicleInputs(Settings& settings, const VehicleInputs& in) {
    const auto put = [&](const char* key, double v) {
        settings.save(kSection, QLatin1String(key), QString::number(v, 'g', 10));
    };
    put("Mass", in.massKg);
    put("CdA", in.cdA);
    put("Crr", in.crr);
    put("Rho", in.rho);
    put("Loss", in.lossPct);
    put("Step", in.stepRpm);
}

QString vehicleInputsProblem(const VehicleInputs& in) {
    const auto outside = [](double v, double lo, double hi) { return !(v >= lo && v <= hi); };
    if (outside(in.massKg, 50, 100000)) return QStringLiteral("mass: 50 to 100000 kg");
    if (outside(in.cdA, 0, 20)) return QStringLiteral("CdA: 0 to 20 m²");
    if (outside(in.crr, 0, 1)) return QStringLiteral("rolling coefficient: 0 to 1");
    if (outside(in.rho, 0.1, 5)) return QStringLiteral("air density: 0.1 to 5 kg/m³");
    if (outside(in.lossPct, 0, 90)) return QStringLiteral("drivetrain loss: 0 to 90 %");
    if (outside(in.stepRpm, 10, 2000)) return QStringLiteral("step: 10 to 2000 RPM");
    return {};
}

double fitRpmPerKmh(std::span<const DynoSample> s, size_t first, size_t last) {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = first; i <= last && i < s.size(); ++i) {
        const double x = s[i].rpm, y = s[i].kmh;
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double den = n * sxx - sx * sx;
    if (n < 2 || den <= 0) return 0;
    const double kmhPerRpm = (n * sxy - sx * sy) / den;
    return kmhPerRpm > 0 ? 1 / kmhPerRpm : 0;
}

PullSearch findPulls(std::span<const DynoSample> s) {
    PullSearch result;
    if (s.empty()) {
        result.why = QStringLiteral("no pull: the log has no records");
        return result;
    }
    const double top = fullThrottleLevel(s);
    if (top < kWideOpenVolts) {
        result.why = QStringLiteral("no pull: no full throttle (the throttle's top is %1 V; "
                                    "a pull needs %2 V or more)")
                         .arg(fixed(top, 2), fixed(kWideOpenVolts, 1));
        return result;
    }
    std::vector<char> full(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        full[i] = s[i].throttle >= kFullThrottleShare * top;
    // A lift shorter than kLiftBridgeSeconds between two full-throttle records is bridged.
    for (size_t i = 0, lastFull = SIZE_MAX; i < s.size(); ++i) {
        if (!full[i]) continue;
        if (lastFull != SIZE_MAX && i > lastFull + 1 && s[i].t - s[lastFull].t < kLiftBridgeSeconds)
            std::fill(full.begin() + ptrdiff_t(lastFull), full.begin() + ptrdiff_t(i), 1);
        lastFull = i;
    }
    double longestRun = 0;
    bool longButSplit = false;
    for (size_t a = 0; a < s.size();) {
        if (!full[a]) {
            ++a;
            continue;
        }
        size_t e = a;
        while (e + 1 < s.size() && full[e + 1])
            ++e;
        longestRun = std::max(longestRun, s[e].t - s[a].t);
        const std::vector<double> r = windowRatios(s, a, e);
        size_t back = a; // the sample half a second before
        constexpr size_t kNone = SIZE_MAX;
        size_t start = kNone;
        size_t peak = a;
        bool pieceFound = false;
        const auto close = [&] {
            if (start != kNone && s[peak].t - s[start].t >= kMinPullSeconds) {
                result.pulls.push_back(makePull(s, start, peak));
                pieceFound = true;
            }
            start = kNone;
        };
        for (size_t i = a; i <= e; ++i) {
            while (s[back].t < s[i].t - kGearWindowSeconds)
                ++back;
            const double now = r[i - a], before = r[back - a];
            const bool steady =
                now > 0 && before > 0 && std::abs(now / before - 1) <= kGearTolerance;
            if (start != kNone && (!steady || s[i].rpm < s[peak].rpm - kRpmDrop)) close();
            if (!steady) continue;
            if (start == kNone) {
                start = i;
                peak = i;
            } else if (s[i].rpm > s[peak].rpm) {
                peak = i;
            }
        }
        close();
        if (!pieceFound && s[e].t - s[a].t >= kMinPullSeconds) longButSplit = true;
        a = e + 1;
    }
    if (result.pulls.empty()) {
        result.why = longButSplit ? QStringLiteral("no pull: a gear change (or RPM that stopped "
                                                   "rising) broke every 2 s at full throttle")
                                  : QStringLiteral("no pull: full throttle never lasted 2 s "
                                                   "(the longest lasted %1 s)")
                                        .arg(fixed(longestRun, 2));
    }
    return result;
}

PullSearch pullBetween(std::span<const DynoSample> s, double from, double to) {
    PullSearch result;
    const auto begin = std::lower_bound(s.begin(), s.end(), from,
                                        [](const DynoSample& x, double t) { return x.t < t; });
    const auto end = std::upper_bound(s.begin(), s.end(), to,
                                      [](double t, const DynoSample& x) { return t < x.t; });
    if (end - begin < kMinFitPoints) {
        result.why = QStringLiteral("no pull: too few records from %1 s to %2 s")
                         .arg(fixed(from, 2), fixed(to, 2));
        return result;
    }
    const DynoPull p = makePull(s, size_t(begin - s.begin()), size_t(end - s.begin()) - 1);
    if (p.rpmPerKmh <= 0) {
        result.why = QStringLiteral("no pull: the speed does not rise with RPM from %1 s to %2 s")
                         .arg(fixed(from, 2), fixed(to, 2));
        return result;
    }
    result.pulls.push_back(p);
    return result;
}

DynoCurve dynoCurve(std::span<const DynoSample> s, const DynoPull& pull, const VehicleInputs& in) {
    DynoCurve curve;
    if (pull.rpmPerKmh <= 0 || pull.last >= s.size() || in.stepRpm <= 0) return curve;
    // The stretches between gaps, each fitted on its own.
    std::vector<std::vector<Fitted>> parts;
    std::vector<size_t> starts;
    size_t from = pull.first;
    for (size_t i = pull.first; i <= pull.last; ++i) {
        const bool gapNext =
            i < pull.last && std::any_of(pull.gaps.begin(), pull.gaps.end(), [&](const auto& g) {
                return g.first == s[i].t && g.second == s[i + 1].t;
            });
        if (i == pull.last || gapNext) {
            parts.push_back(localSlopes(s, from, i));
            starts.push_back(from);
            from = i + 1;
        }
    }
    // Steps only where the fits are, and never past the pull's recorded engine speeds.
    double low = INFINITY, high = -INFINITY, seenLow = INFINITY, seenHigh = -INFINITY;
    for (const auto& part : parts)
        for (const Fitted& f : part)
            if (f.ok) {
                low = std::min(low, f.rpm);
                high = std::max(high, f.rpm);
            }
    for (size_t i = pull.first; i <= pull.last; ++i) {
        seenLow = std::min(seenLow, s[i].rpm);
        seenHigh = std::max(seenHigh, s[i].rpm);
    }
    low = std::max(low, seenLow);
    high = std::min(high, seenHigh);
    if (!(high > low) || !std::isfinite(high - low)) return curve;
    const double toMetres = 1 / (pull.rpmPerKmh * 3.6); // m/s per RPM
    const double engineShare = 1 - in.lossPct / 100;
    // A step the pull starts on exactly counts, rounding errors of the fit aside.
    constexpr double kEps = 1e-6;
    const double firstStep = std::ceil(low / in.stepRpm - kEps) * in.stepRpm;
    const double stepCount = std::floor((high + kEps - firstStep) / in.stepRpm) + 1;
    if (!(stepCount >= 1)) return curve;
    const auto afr = stepRatios(s, pull, firstStep, in.stepRpm, size_t(stepCount));
    for (size_t step = 0; step < size_t(stepCount); ++step) {
        const double R = firstStep + double(step) * in.stepRpm;
        std::optional<double> rate;
        for (const auto& part : parts) {
            for (size_t k = 1; k < part.size() && !rate; ++k) {
                const Fitted &a = part[k - 1], &b = part[k];
                const bool from = k == 1 ? a.rpm <= R + kEps : a.rpm < R;
                if (!a.ok || !b.ok || !(from && R <= b.rpm + kEps)) continue;
                const double f = (R - a.rpm) / (b.rpm - a.rpm);
                rate = a.rate + f * (b.rate - a.rate);
            }
            if (rate) break;
        }
        if (!rate) continue; // inside a gap, or where no fit has data on both sides
        const double v = R * toMetres, acc = *rate * toMetres;
        DynoPoint p;
        p.rpm = R;
        p.powerW = wheelPower(in, v, acc) / engineShare;
        p.torqueNm = p.powerW / (2 * kPi * R / 60);
        p.afr = afr[step];
        curve.hasAfr = curve.hasAfr || std::isfinite(p.afr);
        curve.points.push_back(p);
        if (curve.points.size() == 1 || p.powerW > curve.peakPower.powerW) curve.peakPower = p;
        if (curve.points.size() == 1 || p.torqueNm > curve.peakTorque.torqueNm)
            curve.peakTorque = p;
    }
    return curve;
}

DynoLog dynoSamples(const LogData& data) {
    DynoLog log;
    const LogColumnNumbers rpm(data, kDynoRpm), speed(data, kDynoSpeed),
        throttle(data, kDynoThrottle), ratio(data, channel::Wideband);
    if (!rpm.present() || !speed.present()) {
        log.why = !rpm.present() && !speed.present() ? QStringLiteral("the log has no RPM and no "
                                                                      "Speed column")
                  : !rpm.present()                   ? QStringLiteral("the log has no RPM column")
                                   : QStringLiteral("the log has no Speed column");
        return log;
    }
    log.hasThrottle = throttle.present();
    const bool mph = speed.name().endsWith(QLatin1String("mph"), Qt::CaseInsensitive);
    int state = -1; // the WB State column, absent in older logs
    for (int c = 0; c < data.columnCount(); ++c)
        if (data.columns()[size_t(c)].name.trimmed() == QLatin1String("WB State")) state = c;
    const std::vector<double> times = analyserElapsedSeconds(data);
    log.samples.reserve(times.size());
    for (qsizetype r = 0; r < qsizetype(times.size()); ++r) {
        const auto n = rpm.at(r), v = speed.at(r);
        const auto tp = log.hasThrottle ? throttle.at(r) : std::optional<float>(0.0f);
        if (!n || !v || !tp) {
            ++log.unreadable;
            continue;
        }
        DynoSample x{times[size_t(r)], *n, *v * (mph ? kKmhPerMph : 1.0), *tp};
        if (impossible(x)) {
            ++log.impossible;
            continue;
        }
        const QByteArrayView said = state < 0 ? QByteArrayView() : data.field(r, state).trimmed();
        if (said.isEmpty() || said == "Ready")
            if (const auto a = ratio.at(r); a && std::isfinite(*a) && *a > 0) x.afr = *a;
        log.samples.push_back(x);
    }
    spreadSharedTimes(log.samples);
    return log;
}

QString droppedText(const DynoLog& log) {
    QStringList parts;
    if (log.unreadable > 0)
        parts << records(log.unreadable) + QStringLiteral(" skipped as unreadable");
    if (log.impossible > 0)
        parts << records(log.impossible) + QStringLiteral(" dropped as impossible");
    return parts.join(QStringLiteral("; "));
}

PullSearch searchPulls(const DynoLog& log, std::optional<std::pair<double, double>> between) {
    PullSearch none;
    none.unusable = true;
    if (!log.why.isEmpty()) {
        none.why = log.why;
        return none;
    }
    if (between) return pullBetween(log.samples, between->first, between->second);
    if (!log.hasThrottle) {
        none.why = QStringLiteral("the log has no Throttle column");
        return none;
    }
    return findPulls(log.samples);
}

QString DynoUnits::power() const {
    return imperial ? QStringLiteral("hp") : QStringLiteral("kW");
}
QString DynoUnits::torque() const {
    return imperial ? QStringLiteral("lb·ft") : QStringLiteral("Nm");
}
double DynoUnits::powerOf(double watts) const {
    return imperial ? watts / kWattsPerHp : watts / 1000;
}
double DynoUnits::torqueOf(double nm) const {
    return imperial ? nm / kNmPerLbFt : nm;
}

QString pullSummary(std::span<const DynoSample> s, const DynoPull& pull) {
    double low = INFINITY, high = -INFINITY;
    for (size_t i = pull.first; i <= pull.last && i < s.size(); ++i) {
        low = std::min(low, s[i].rpm);
        high = std::max(high, s[i].rpm);
    }
    QString text = QStringLiteral("%1 s to %2 s, %3 to %4 RPM, %5 RPM per km/h")
                       .arg(fixed(pull.from, 2), fixed(pull.to, 2), fixed(low, 0), fixed(high, 0),
                            fixed(pull.rpmPerKmh, 2));
    for (const auto& [a, b] : pull.gaps)
        text += QStringLiteral("; no data for %1 s from %2 s").arg(fixed(b - a, 2), fixed(a, 2));
    return text;
}

QString peaksText(const DynoCurve& curve, const DynoUnits& u) {
    if (curve.empty()) return QStringLiteral("no whole step");
    QString text =
        QStringLiteral("peak power %1 %2 at %3 RPM; peak torque %4 %5 at %6 RPM")
            .arg(fixed(u.powerOf(curve.peakPower.powerW), 1), u.power(),
                 fixed(curve.peakPower.rpm, 0), fixed(u.torqueOf(curve.peakTorque.torqueNm), 1),
                 u.torque(), fixed(curve.peakTorque.rpm, 0));
    if (std::isfinite(curve.peakPower.afr))
        text += QStringLiteral("; AFR %1 at peak power").arg(fixed(curve.peakPower.afr, 2));
    return text;
}

QByteArray pullReport(int number, std::span<const DynoSample> s, const DynoPull& pull,
                      const DynoCurve& curve, const DynoUnits& u) {
    const QString torqueName = u.imperial ? QStringLiteral("lb ft") : u.torque();
    QString text = QStringLiteral("# pull %1: %2\nRPM,Power %3,Torque %4%5\n")
                       .arg(QString::number(number), pullSummary(s, pull), u.power(), torqueName,
                            curve.hasAfr ? QStringLiteral(",AFR") : QString());
    for (const DynoPoint& p : curve.points) {
        text += QStringLiteral("%1,%2,%3")
                    .arg(fixed(p.rpm, 0), fixed(u.powerOf(p.powerW), 1),
                         fixed(u.torqueOf(p.torqueNm), 1));
        // A step without a reading leaves its field empty, as the logs do.
        if (curve.hasAfr) text += u',' + (std::isfinite(p.afr) ? fixed(p.afr, 2) : QString());
        text += u'\n';
    }
    text += QStringLiteral("# ") + peaksText(curve, u) + u'\n';
    return text.toUtf8();
}

QByteArray inputsLine(const VehicleInputs& in) {
    return QStringLiteral("# mass %1 kg, CdA %2 m2, rolling coefficient %3, air %4 kg/m3, "
                          "drivetrain loss %5 %\n")
        .arg(QString::number(in.massKg), QString::number(in.cdA), QString::number(in.crr),
             QString::number(in.rho), QString::number(in.lossPct))
        .toUtf8();
}

} // namespace kx
