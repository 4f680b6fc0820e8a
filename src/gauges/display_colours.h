#pragma once
// The eleven "Display" colours every gauge window reads when it opens.
#include <QString>
#include <cstdint>
#include <optional>

namespace kx {

class SettingsStore;

struct DisplayColours {
    uint32_t back = 0x000000;          // GaugeBack: dial background
    uint32_t digits = 0xFFFFFF;        // GaugeDigits: scale numbers
    uint32_t max = 0x00FF00;           // GaugeMax: peak text
    uint32_t value = 0x00FF00;         // GaugeValue: value text
    uint32_t name = 0xFFFF00;          // GaugeName: gauge name
    uint32_t needle = 0x0000FF;        // GaugeNeedle
    uint32_t circle = 0xFF0000;        // GaugeCircle: dial ring
    uint32_t ticker = 0x00FF00;        // GaugeTicker: major ticks
    uint32_t subTicker = 0x00FF00;     // GaugeSubTicker: minor ticks
    uint32_t window = 0x8000000F;      // GaugeWindow: window background (button face)
    uint32_t registers = 0x80000012;   // GaugeRegister: indicator texts (button text)
};

// A stored colour: decimal text of 0x00BBGGRR, or a system colour index with the top bit set,
// written as a signed 32-bit number. nullopt for anything else.
std::optional<uint32_t> parseStoredColour(const QString& text);
// The text a colour is stored as (signed decimal).
QString storedColourText(uint32_t colour);

// Reads all eleven; a missing or damaged entry keeps its default.
DisplayColours readDisplayColours(const SettingsStore& store);

} // namespace kx
