#pragma once
// The data-display and colour settings, apart from their windows: the gauge list entries, the
// stored gauge slots and switch-register flags, and the colour table.
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace kx {

class SettingsStore;

// The text of gauge number 0..24 in the gauge lists ("" for another number).
QString gaugeListName(int gauge);

inline constexpr int kSwitchFlagCount = 4;

// What the data-display settings window shows: a gauge number per slot (nullopt when the
// stored text is not a gauge number) and the four switch-register flags.
struct DisplaySelectionEntry {
    std::array<std::optional<int>, 12> gauges{};
    std::array<bool, kSwitchFlagCount> registers{};
};
DisplaySelectionEntry loadDisplaySelection(const SettingsStore& store);

// Stores the slots in order, then the flags as "1"/"0". A slot without a gauge stops the save
// there with the message to show: the slots before it stay stored, the rest and the flags not.
std::optional<QString> saveDisplaySelection(SettingsStore& store,
                                            const DisplaySelectionEntry& entry);

// One colour setting of the colour window: `Display`/key, its label, its default.
struct ColourSetting {
    const char* key;
    const char* label;
    uint32_t defaultValue;
};
inline constexpr int kColourCount = 11;
const std::array<ColourSetting, kColourCount>& colourSettings();

// A stored colour: signed decimal text of a 0x00BBGGRR value, or of a system colour with the
// top bit set (a negative number). nullopt when the text is not such a number.
std::optional<uint32_t> parseStoredColour(const QString& text);
QString storedColourText(uint32_t colour);

// Each colour as stored; a missing or damaged text gives the default.
std::array<uint32_t, kColourCount> loadColours(const SettingsStore& store);
void saveColours(SettingsStore& store, const std::array<uint32_t, kColourCount>& colours);

} // namespace kx
