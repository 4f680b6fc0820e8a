#include "dyno/dyno.h"

#include "util/numbers.h"

#include <algorithm>
#include <cmath>

namespace kx {

namespace {
constexpr double kWattsPerHp = 745.699872;
constexpr double kNmPerLbFt = 1.3558179483;
} // namespace

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
                       .arg(fixedText(pull.from, 2), fixedText(pull.to, 2), fixedText(low, 0),
                            fixedText(high, 0), fixedText(pull.rpmPerKmh, 2));
    for (const auto& [a, b] : pull.gaps)
        text += QStringLiteral("; no data for %1 s from %2 s")
                    .arg(fixedText(b - a, 2), fixedText(a, 2));
    return text;
}

QString peaksText(const DynoCurve& curve, const DynoUnits& u) {
    if (curve.empty()) return QStringLiteral("no whole step");
    QString text = QStringLiteral("peak power %1 %2 at %3 RPM; peak torque %4 %5 at %6 RPM")
                       .arg(fixedText(u.powerOf(curve.peakPower.powerW), 1), u.power(),
                            fixedText(curve.peakPower.rpm, 0),
                            fixedText(u.torqueOf(curve.peakTorque.torqueNm), 1), u.torque(),
                            fixedText(curve.peakTorque.rpm, 0));
    if (std::isfinite(curve.peakPower.afr))
        text += QStringLiteral("; AFR %1 at peak power").arg(fixedText(curve.peakPower.afr, 2));
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
                    .arg(fixedText(p.rpm, 0), fixedText(u.powerOf(p.powerW), 1),
                         fixedText(u.torqueOf(p.torqueNm), 1));
        // A step without a reading leaves its field empty, as the logs do.
        if (curve.hasAfr) text += u',' + (std::isfinite(p.afr) ? fixedText(p.afr, 2) : QString());
        text += u'\n';
    }
    text += QStringLiteral("# ") + peaksText(curve, u) + u'\n';
    return text.toUtf8();
}

} // namespace kx
