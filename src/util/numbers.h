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

// Whole-number conversion with halves to even, as the dial geometry needs (CInt/CLng).
int32_t roundToInt(double value);

// The shortest general text of a single: at most 7 significant digits, no trailing zeros,
// "0." before fractions, "E" notation only for very large or very small magnitudes.
QString singleText(float value);

// A stored text read as a whole number; nullopt for empty or non-numeric text. Accepts
// surrounding blanks and a decimal text whose value is rounded half to even.
std::optional<long long> parseWhole(const QString& text);
// A stored text read as a number (single precision callers narrow it).
std::optional<double> parseNumber(const QString& text);

} // namespace kx
