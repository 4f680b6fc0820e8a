#include "util/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

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

int64_t divRoundHalfEven(int64_t num, int64_t den) {
    int64_t q = num / den;
    int64_t r = num % den;
    if (r < 0) { // floor division, so that the remainder compares the same on both signs
        --q;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
    return q;
}

float decimalSingle(int64_t units, int decimals) {
    return static_cast<float>(static_cast<double>(units) / pow10(decimals));
}

float scaledDecimal(int64_t raw, int64_t num, int64_t den, int decimals) {
    const auto p = static_cast<int64_t>(pow10(decimals));
    return decimalSingle(divRoundHalfEven(raw * num * p, den), decimals);
}

int32_t roundToInt(double value) {
    const double r = std::nearbyint(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return r < 0 ? INT32_MIN : INT32_MAX;
    return static_cast<int32_t>(r);
}

QString singleText(float value) {
    if (value == 0.0f) return QStringLiteral("0"); // also folds -0
    // to_chars in general form with a precision is printf's %.7g in the "C" locale.
    char buf[32];
    const auto [end, err] = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                          std::chars_format::general, 7);
    if (err != std::errc()) return QStringLiteral("0");
    // A two-digit exponent with sign and a capital E ("1.234568E+07"), the common form.
    return QString::fromLatin1(buf, end - buf).toUpper();
}

std::optional<double> parseNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<float> toSingle(double value) {
    if (!(std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max())))
        return std::nullopt;
    return static_cast<float>(value);
}

std::optional<float> parseSingle(const QString& text) {
    const auto v = parseNumber(text);
    return v ? toSingle(*v) : std::nullopt;
}

std::optional<long long> parseWhole(const QString& text) {
    const auto v = parseNumber(text);
    if (!v || std::fabs(*v) > 9.0e15) return std::nullopt;
    return static_cast<long long>(std::nearbyint(*v));
}

std::optional<float> usableCorrection(const QString& stored) {
    const auto v = parseSingle(stored);
    if (!v || !(*v > 0)) return std::nullopt;
    return v;
}

QString fixedText(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString sizeText(qint64 bytes) {
    if (bytes < 1000) return QString::number(bytes) + QStringLiteral(" B");
    if (bytes < 1000 * 1000) return QString::number(double(bytes) / 1e3, 'f', 1) + " kB";
    return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

} // namespace kx
