#include "dyno/dyno.h"

#include "util/numbers.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace kx {

namespace {
// A fall of engine speed this far below the pull's highest so far ends the pull: a gear change
// or a bog, not the 12.5 RPM step.
constexpr double kRpmDrop = 150;

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
} // namespace

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
                         .arg(fixedText(top, 2), fixedText(kWideOpenVolts, 1));
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
                                        .arg(fixedText(longestRun, 2));
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
                         .arg(fixedText(from, 2), fixedText(to, 2));
        return result;
    }
    const DynoPull p = makePull(s, size_t(begin - s.begin()), size_t(end - s.begin()) - 1);
    if (p.rpmPerKmh <= 0) {
        result.why = QStringLiteral("no pull: the speed does not rise with RPM from %1 s to %2 s")
                         .arg(fixedText(from, 2), fixedText(to, 2));
        return result;
    }
    result.pulls.push_back(p);
    return result;
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

} // namespace kx
