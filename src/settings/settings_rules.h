#pragma once
// Checks and computations of the settings windows, apart from the windows.
#include <QString>
#include <optional>

namespace kx {

// Two characters, each A-F, 0-9 or a blank (ECU id, memory read command).
bool isHexPairEntry(const QString& text);

struct CommsEntry {
    QString comPort, speed, romComm, ecuId, comPort2, speed2;
};
// The first failing check's message, or nullopt when the entry may be saved.
std::optional<QString> checkCommsEntry(const CommsEntry& e);

struct TyreSize {
    QString width, aspect, rim; // as typed
};
// Widths three decimal digits, aspect ratios and rims two, none of them zero.
bool isValidTyre(const TyreSize& t);
// Rolling circumference in centimetres.
double tyreCircumference(double width, double aspect, double rim);
// current / OEM circumference, taken as a single and rounded to 2 decimals, halves to even.
float speedCorrection(const TyreSize& oem, const TyreSize& current);

} // namespace kx
