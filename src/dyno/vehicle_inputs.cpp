#include "dyno/vehicle_inputs.h"

#include "util/numbers.h"
#include "util/settings.h"

#include <QStringList>
#include <cmath>

namespace kx {

namespace {
const QString kSection = QStringLiteral("Dyno");
} // namespace

VehicleInputs::VehicleInputs() {
    for (const VehicleInput& i : kVehicleInputs)
        this->*i.field = i.fallback;
}

QString vehicleInputLabel(const VehicleInput& input) {
    QString label = QString::fromUtf8(input.label);
    if (*input.unit) label += QStringLiteral(" (%1)").arg(QString::fromUtf8(input.unit));
    return label;
}

QString vehicleInputCaption(const VehicleInput& input) {
    return vehicleInputLabel(input).remove(u'&');
}

QString vehicleInputHelpLine(const VehicleInput& input) {
    const QString option =
        QStringLiteral("--%1 %2").arg(QLatin1String(input.option), QLatin1String(input.argument));
    return QStringLiteral("  ") + option.leftJustified(17) +
           QString::fromUtf8(input.help).arg(QString::number(input.fallback)) + u'\n';
}

QString vehicleInputUsage(const VehicleInput& input) {
    return QStringLiteral("[--%1 %2]")
        .arg(QLatin1String(input.option), QLatin1String(input.argument));
}

VehicleInputs readVehicleInputs(const Settings& settings) {
    VehicleInputs in;
    for (const VehicleInput& i : kVehicleInputs)
        if (const auto v = parseNumber(settings.read(kSection, QLatin1String(i.key))))
            if (std::isfinite(*v)) in.*i.field = *v;
    if (!vehicleInputsProblem(in).isEmpty()) return VehicleInputs{};
    return in;
}

void saveVehicleInputs(Settings& settings, const VehicleInputs& in) {
    for (const VehicleInput& i : kVehicleInputs)
        settings.save(kSection, QLatin1String(i.key), QString::number(in.*i.field, 'g', 10));
}

QString vehicleInputsProblem(const VehicleInputs& in) {
    for (const VehicleInput& i : kVehicleInputs) {
        const double v = in.*i.field;
        if (v >= i.low && v <= i.high) continue;
        QString problem = QStringLiteral("%1: %2 to %3")
                              .arg(QString::fromUtf8(i.rangeName), QString::number(i.low),
                                   QString::number(i.high));
        if (*i.unit) problem += u' ' + QString::fromUtf8(i.unit);
        return problem;
    }
    return {};
}

QByteArray inputsLine(const VehicleInputs& in) {
    QStringList parts;
    for (const VehicleInput& i : kVehicleInputs)
        if (*i.reported) parts << QString::fromUtf8(i.reported).arg(QString::number(in.*i.field));
    return (QStringLiteral("# ") + parts.join(QStringLiteral(", ")) + u'\n').toUtf8();
}

} // namespace kx
