#include "dyno/dyno.h"

#include "logs/analyser_axes.h"
#include "logs/log_reader.h"
#include "util/numbers.h"
#include "util/settings.h"

#include <algorithm>
#include <array>
#include <cmath>
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
// Half the span of the local fit, in seconds (see localSlopes).
constexpr double kFitHalfSpan = 0.5;
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
// to the samples within kFitHalfSpan of it, on their own time stamps. The fit is a least-squares
// line through noise: a 12.5 RPM step is uniform noise of 3.6 RPM, and the half second each side
// holds at least ~20 samples at 20 a second (200 at 200), which leave the rate within ~5 RPM/s
// of a pull's 300 to 1000 RPM/s; uneven spacing needs nothing, since each sample enters at its
// own time, not an assumed grid; the quadratic term follows the changing acceleration, so the
// rate is not biased where the curve bends. Only samples of one stretch without a gap take part.
struct Fitted {
    double rpm = 0, rate = 0;
    bool ok = false;
};
std::vector<Fitted> localSlopes(std::span<const DynoSample> s, size_t first, size_t last) {
    std::vector<Fitted> out(last - first + 1);
    size_t lo = first;
    for (size_t i = first; i <= last; ++i) {
        while (s[lo].t < s[i].t - kFitHalfSpan)
            ++lo;
        std::array<double, 5> m{}; // Σw·τ^k
        std::array<double, 3> y{}; // Σw·τ^k·rpm
        int n = 0;
        for (size_t j = lo; j <= last && s[j].t <= s[i].t + kFitHalfSpan; ++j) {
            const double tau = s[j].t - s[i].t;
            const double u = 1 - std::pow(std::abs(tau) / kFitHalfSpan, 3);
            const double w = u * u * u; // tricube: near samples count most
            if (w <= 0) continue;
            double p = w;
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
    double top = 0;
    for (const DynoSample& x : s)
        top = std::max(top, x.throttle);
    if (top < kWideOpenVolts) {
        result.why = QStringLiteral("no pull: no full throttle (the highest throttle is %1 V; "
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
    double low = INFINITY, high = -INFINITY;
    for (const auto& part : parts)
        for (const Fitted& f : part)
            if (f.ok) {
                low = std::min(low, f.rpm);
                high = std::max(high, f.rpm);
            }
    if (!(high > low)) return curve;
    const double toMetres = 1 / (pull.rpmPerKmh * 3.6); // m/s per RPM
    const double engineShare = 1 - in.lossPct / 100;
    // A step the pull starts on exactly counts, rounding errors of the fit aside.
    constexpr double kEps = 1e-6;
    for (double R = std::ceil(low / in.stepRpm - kEps) * in.stepRpm; R <= high + kEps;
         R += in.stepRpm) {
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
        if (!rate) continue; // inside a gap, or where the fit falls back
        const double v = R * toMetres, acc = *rate * toMetres;
        DynoPoint p;
        p.rpm = R;
        p.powerW = wheelPower(in, v, acc) / engineShare;
        p.torqueNm = p.powerW / (2 * kPi * R / 60);
        curve.points.push_back(p);
        if (curve.points.size() == 1 || p.powerW > curve.peakPower.powerW) curve.peakPower = p;
        if (curve.points.size() == 1 || p.torqueNm > curve.peakTorque.torqueNm)
            curve.peakTorque = p;
    }
    return curve;
}

DynoLog dynoSamples(const LogData& data) {
    DynoLog log;
    bool mph = false;
    std::array<bool, 3> has{};
    constexpr std::array<int, 3> codes{kDynoRpm, kDynoSpeed, kDynoThrottle};
    const std::array<const char*, 3> names{"RPM", "Speed", "Throttle"};
    for (const LogColumn& c : data.columns()) {
        for (size_t k = 0; k < codes.size(); ++k)
            if (c.code == codes[k]) has[k] = true;
        if (c.code == kDynoSpeed) mph = c.name.endsWith(QLatin1String("mph"), Qt::CaseInsensitive);
    }
    QStringList missing;
    for (size_t k = 0; k < codes.size(); ++k)
        if (!has[k]) missing << QLatin1String(names[k]);
    if (!missing.isEmpty()) {
        log.why =
            QStringLiteral("the log has no %1 column").arg(missing.join(QStringLiteral(", ")));
        return log;
    }
    const LogNumbers rpm = data.numbersByCode(kDynoRpm), kmh = data.numbersByCode(kDynoSpeed),
                     tp = data.numbersByCode(kDynoThrottle);
    const std::vector<double> times = analyserElapsedSeconds(data);
    const size_t n = std::min({rpm.values.size(), kmh.values.size(), tp.values.size()});
    log.samples.resize(n);
    for (size_t i = 0; i < n; ++i)
        log.samples[i] = {times[i], rpm.values[i], kmh.values[i] * (mph ? kKmhPerMph : 1.0),
                          tp.values[i]};
    return log;
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
    return QStringLiteral("peak power %1 %2 at %3 RPM; peak torque %4 %5 at %6 RPM")
        .arg(fixed(u.powerOf(curve.peakPower.powerW), 1), u.power(), fixed(curve.peakPower.rpm, 0),
             fixed(u.torqueOf(curve.peakTorque.torqueNm), 1), u.torque(),
             fixed(curve.peakTorque.rpm, 0));
}

QByteArray pullReport(int number, std::span<const DynoSample> s, const DynoPull& pull,
                      const DynoCurve& curve, const DynoUnits& u) {
    const QString torqueName = u.imperial ? QStringLiteral("lb ft") : u.torque();
    QString text = QStringLiteral("# pull %1: %2\nRPM,Power %3,Torque %4\n")
                       .arg(QString::number(number), pullSummary(s, pull), u.power(), torqueName);
    for (const DynoPoint& p : curve.points)
        text += QStringLiteral("%1,%2,%3\n")
                    .arg(fixed(p.rpm, 0), fixed(u.powerOf(p.powerW), 1),
                         fixed(u.torqueOf(p.torqueNm), 1));
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
