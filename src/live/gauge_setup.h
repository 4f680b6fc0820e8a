#pragma once
// The gauge catalogue and the user's choice of parameters for the data display and dashboard.
#include "live/GaugeInfo.h"
#include "live/channels.h"

#include <array>
#include <cstdint>

namespace kx {

class Settings;

inline constexpr int kGaugeCount = kChannelCount;
// The wideband air/fuel ratio: no register, a copy of wbValues element 0.
inline constexpr int kWidebandGauge = channel::Wideband;
inline constexpr int kDisplaySlots = 12;
// The switch registers' inclusion flags follow the 12 slots.
inline constexpr int kFirstSwitchFlag = 12;

struct GaugeSetup {
    std::array<GaugeInfo, kGaugeCount> gaugeCatalogue;
    std::array<uint8_t, 16> displaySelection{};
    std::array<uint8_t, 2> dashSelection{};
    uint8_t displayByteCount = 0;
    uint8_t dashByteCount = 0;
};

// Fills the catalogue entries; the temperature and speed entries follow the unit choice.
void buildCatalogue(std::array<GaugeInfo, kGaugeCount>& catalogue, bool fahr, bool mph);
// The catalogue's names for one unit choice, by gauge number.
std::array<QString, kGaugeCount> catalogueNames(bool fahr, bool mph);
// The text of gauge number 0..24 in the gauge lists ("" for another number).
QString gaugeListName(int gauge);

// The largest change a second that an engine can make in gauge `gauge`'s raw register value,
// in counts; 0 for no limit (a gauge worked out from others, or one in no frame).
double maxRawRate(int gauge);

// Recomputes both byte counts from the selections. A gauge number above 24 ends the work at
// that selection, the count being summed keeping its partial sum (the later count stays 0).
// Only a switch flag of exactly 1 adds its byte, as only such a flag is requested and decoded.
void countBytes(GaugeSetup& setup);

// Rebuilds the catalogue, reloads both selections from the store and recomputes the counts.
// Stops quietly at the first selection key that is missing or not a whole number 0..255:
// earlier selections stay as read, later ones keep their values, both counts stay 0.
void getSetup(const Settings& store, bool fahr, bool mph, GaugeSetup& setup);

} // namespace kx
