#include "dyno/dyno.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace kx {

namespace {
constexpr double kPi = std::numbers::pi;
// Half the span of the local fit, in seconds, and the least it narrows to at a stretch's ends
// (see localSlopes).
constexpr double kFitHalfSpan = 0.5;
constexpr double kMinFitHalfSpan = 0.25;

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
} // namespace

double airDensity(double tempC, double pressureHpa) {
    return pressureHpa * 100 / (287.05 * (tempC + 273.15));
}

double wheelPower(const VehicleInputs& in, double v, double a) {
    return v * (in.massKg * a + 0.5 * in.rho * in.cdA * v * v + in.crr * in.massKg * kGravity);
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

} // namespace kx
