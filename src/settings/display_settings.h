#pragma once
// The data-display and colour settings, apart from their windows: the stored gauge slots and
// switch-register flags, and the colour table.
#include "gauges/display_colours.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace kx {

class Settings;

inline constexpr int kSwitchFlagCount = 4;

// What the data-display settings window shows: a gauge number per slot (nullopt when the
// stored text is not a gauge number) and the four switch-register flags.
struct DisplaySelectionEntry {
    std::array<std::optional<int>, 12> gauges{};
    std::array<bool, kSwitchFlagCount> registers{};
};
DisplaySelectionEntry loadDisplaySelection(const Settings& store);

// Stores the slots in order, then the flags as "1"/"0". A slot without a gauge stops the save
// there with the message to show: the slots before it stay stored, the rest and the flags not.
std::optional<QString> saveDisplaySelection(Settings& store, const DisplaySelectionEntry& entry);

} // namespace kx
