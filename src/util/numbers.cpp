#include "util/numbers.h"

#include <cmath>
#include <cstdio>

namespace kx {

namespace {
double pow10(int decimals) {
    double p = 1.0;
    for (int i = 0; i < decimals; ++i)
        p *= 10.0;
    return p;
}
} // namespace

double roundHalfEven(double value, int decimals) {
    // nearbyint uses the default rounding mode, round-to-nearest-even.
    if (decimals <= 0) return std::nearbyint(value);
    const double p = pow10(decimals);
    return std::nearbyint(value * p) / p;
}

float roundHalfEvenF(float value, int decimals) {
    if (decimals <= 0) return std::nearbyintf(value);
    const float p = static_cast<float>(pow10(decimals));
    return std::nearbyintf(value * p) / p;
}

int32_t roundToInt(double value) {
    const double r = std::nearbyint(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return r < 0 ? INT32_MIN : INT32_MAX;
    return static_cast<int32_t>(r);
}

QString singleText(float value) {
    if (value == 0.0f) return QStringLiteral("0"); // also folds -0
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7G", static_cast<double>(value));
    QString text = QString::fromLatin1(buf);
    // %G writes a two-digit exponent with sign ("1E+07"); keep it, it is the common form.
    return text;
}

std::optional<double> parseNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<long long> parseWhole(const QString& text) {
    const auto v = parseNumber(text);
    if (!v || std::fabs(*v) > 9.0e15) return std::nullopt;
    return static_cast<long long>(std::nearbyint(*v));
}

} // namespace kx
