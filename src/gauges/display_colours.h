#pragma once
// The eleven "Display" colours every gauge window reads when it opens.
#include "gauges/gauge_geometry.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace kx {

class Settings;

// In the order of colourSettings(); readDisplayColours fills it.
struct DisplayColours {
    uint32_t back{};      // GaugeBack: dial background
    uint32_t digits{};    // GaugeDigits: scale numbers
    uint32_t max{};       // GaugeMax: peak text
    uint32_t value{};     // GaugeValue: value text
    uint32_t name{};      // GaugeName: gauge name
    uint32_t needle{};    // GaugeNeedle
    uint32_t circle{};    // GaugeCircle: dial ring
    uint32_t ticker{};    // GaugeTicker: major ticks
    uint32_t subTicker{}; // GaugeSubTicker: minor ticks
    uint32_t window{};    // GaugeWindow: window background (button face)
    uint32_t registers{}; // GaugeRegister: indicator texts (button text)
};

// A stored colour: decimal text of 0x00BBGGRR, or a system colour index with the top bit set,
// written as a signed 32-bit number. nullopt for anything else.
std::optional<uint32_t> parseStoredColour(const QString& text);
// The text a colour is stored as (signed decimal).
QString storedColourText(uint32_t colour);

// The colour settings in the order of the colour window: `Display`/key, label, default.
struct ColourSetting {
    const char* key;
    const char* label;
    uint32_t defaultValue;
};
inline constexpr int kColourCount = 11;
const std::array<ColourSetting, kColourCount>& colourSettings();

// Each colour as stored, in table order; a missing or damaged text gives the default.
std::array<uint32_t, kColourCount> loadColours(const Settings& store);
void saveColours(Settings& store, const std::array<uint32_t, kColourCount>& colours);

// All eleven by name.
DisplayColours readDisplayColours(const Settings& store);
// The dial's own three: ring, major and minor ticks.
ScaleColours scaleColours(const DisplayColours& colours);

} // namespace kx
