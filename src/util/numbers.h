#pragma once
// Number helpers shared by every conversion, display and file format.
#include <QString>
#include <cstdint>
#include <optional>

namespace kx {

// Rounds to `decimals` places, halves to the even neighbour, on a double intermediate.
double roundHalfEven(double value, int decimals = 0);
// The same on a single-precision intermediate (for conversions done in single precision).
float roundHalfEvenF(float value, int decimals = 0);

// num / den rounded to a whole number, halves to the even neighbour (den > 0).
int64_t divRoundHalfEven(int64_t num, int64_t den);
// `units` counts of 10^-decimals as the nearest single: (285, 3) -> 0.285f.
float decimalSingle(int64_t units, int decimals);
// raw × num / den to `decimals` places, halves to even, worked in integers so that a scale
// such as 0.005 (5 / 1000) rounds the exact product, not its binary approximation.
float scaledDecimal(int64_t raw, int64_t num, int64_t den, int decimals);

// Whole-number conversion with halves to even, as the dial geometry needs (CInt/CLng).
int32_t roundToInt(double value);

// The shortest general text of a single: at most 7 significant digits, no trailing zeros,
// "0." before fractions, "E" notation only for very large or very small magnitudes. "." is the
// decimal point whatever the C library's locale, since files and screens share this text.
QString singleText(float value);

// A stored text read as a whole number; nullopt for empty or non-numeric text. Accepts
// surrounding blanks and a decimal text whose value is rounded half to even.
std::optional<long long> parseWhole(const QString& text);
// A stored text read as a number (single precision callers narrow it). Locale-free: "."
// is the decimal point, "1,05" is not a number.
std::optional<double> parseNumber(const QString& text);
// The same, for a value that must fit a single: beyond its range (1e39) is not a number.
std::optional<float> parseSingle(const QString& text);
std::optional<float> toSingle(double value);

// A stored speed correction as the speed conversions may use it: a finite positive number that
// a single holds; nothing otherwise (0, "inf", "nan", text).
std::optional<float> usableCorrection(const QString& stored);

// `value` with `decimals` decimals, "." always ("12.30").
QString fixedText(double value, int decimals);

// A file size for people: "812 B", "45.3 kB", "12.0 MB" (decimal units, "." always).
QString sizeText(qint64 bytes);

} // namespace kx
