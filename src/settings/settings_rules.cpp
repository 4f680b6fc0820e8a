#include "settings/settings_rules.h"

#include "util/numbers.h"

namespace kx {

namespace {
bool allDigits(const QString& t, int count) {
    if (t.size() != count) return false;
    for (QChar c : t)
        if (c < u'0' || c > u'9') return false;
    return true;
}
} // namespace

bool isHexPairEntry(const QString& text) {
    if (text.size() != 2) return false;
    for (QChar c : text) {
        const bool ok = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || c == u' ';
        if (!ok) return false;
    }
    return true;
}

std::optional<QString> checkCommsEntry(const CommsEntry& e) {
    if (!isHexPairEntry(e.romComm)) return QStringLiteral("Invalid address read command");
    if (!isHexPairEntry(e.ecuId)) return QStringLiteral("Invalid ECU Id");
    if (e.comPort == e.comPort2) return QStringLiteral("Can not use same port number");
    return std::nullopt;
}

bool isValidTyre(const TyreSize& t) {
    // A size of zero makes a circumference of zero: the correction would divide by it.
    const auto size = [](const QString& text, int digits) {
        return allDigits(text, digits) && text.toInt() > 0;
    };
    return size(t.width, 3) && size(t.aspect, 2) && size(t.rim, 2);
}

double tyreCircumference(double width, double aspect, double rim) {
    return (rim * 2.54 + aspect * 0.01 * width * 0.1 * 2) * 3.1415;
}

float speedCorrection(const TyreSize& oem, const TyreSize& current) {
    const double o =
        tyreCircumference(oem.width.toDouble(), oem.aspect.toDouble(), oem.rim.toDouble());
    const double c = tyreCircumference(current.width.toDouble(), current.aspect.toDouble(),
                                       current.rim.toDouble());
    return roundHalfEvenF(float(c / o), 2);
}

} // namespace kx
