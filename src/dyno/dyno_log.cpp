#include "dyno/dyno.h"

#include "logs/analyser_axes.h"
#include "logs/log_columns.h"
#include "logs/log_reader.h"

#include <QStringList>
#include <cmath>

namespace kx {

namespace {
constexpr double kKmhPerMph = 1.609344;

bool impossible(const DynoSample& x) {
    const auto within = [](double v, double high) { return v >= 0 && v <= high; };
    return !within(x.rpm, kMaxRpm) || !within(x.kmh, kMaxKmh) || !std::isfinite(x.throttle);
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

DynoLog dynoSamples(const LogData& data) {
    DynoLog log;
    const LogColumnNumbers rpm(data, kDynoRpm), speed(data, kDynoSpeed),
        throttle(data, kDynoThrottle);
    if (!rpm.present() || !speed.present()) {
        log.why = !rpm.present() && !speed.present() ? QStringLiteral("the log has no RPM and no "
                                                                      "Speed column")
                  : !rpm.present()                   ? QStringLiteral("the log has no RPM column")
                                   : QStringLiteral("the log has no Speed column");
        return log;
    }
    log.hasThrottle = throttle.present();
    const bool mph = speed.name().endsWith(QLatin1String("mph"), Qt::CaseInsensitive);
    LogWideband ratio(data);
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
        if (const auto a = ratio.at(r).ratio) x.afr = *a;
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

} // namespace kx
