#include "live/channels.h"

namespace kx {

namespace {

using C = Conversion;
constexpr ChannelScale kNoScale{};

constexpr ChannelScale fahrenheit(const char* name) {
    return {name, 20, 300, 14, 4, 0};
}

// The rate limits are raw counts a second, so units, speed correction and display rounding
// play no part in them.
// clang-format off
constexpr std::array<Channel, kChannelCount> kChannels{{
    {"RPM", "RPM",
     {"RPM", 0, 8000, 8, 5, 0}, kNoScale, nullptr,
     2, {0x00, 0x01}, {" - CAS Position (RPM) MSB - supported", " - CAS Position (RPM) LSB - supported"},
     C::Rpm, -1, 15000 / 12.5}, // free revving in neutral
    {"Air Flow", "Air Flow",
     {"Air Flow", 0, 6, 6, 10, 2}, kNoScale, nullptr,
     2, {0x04, 0x05}, {" - Air Flow MSB - supported", " - Air Flow LSB - supported"},
     C::AirFlow, -1, 50 / 0.005}, // 50 V/s on a throttle snap
    {"Air Flow RH", "Air Flow Right Hand",
     {"Air Flow RH", 0, 6, 6, 10, 2}, kNoScale, nullptr,
     2, {0x06, 0x07}, {" - Air Flow RH MSB - supported", " - Air Flow RH LSB - supported"},
     C::AirFlow, -1, 50 / 0.005},
    {"Water Temp", "Water Temperature",
     {"Water Temp C", 0, 120, 12, 5, 0}, fahrenheit("Water Temp F"), nullptr,
     1, {0x08, 0}, {" - Water Temp - supported", nullptr},
     C::Temperature, -1, 5}, // where the thermostat opens
    {"O2 Sensor", "O2 Sensor",
     {"O2 Sensor", 0, 100, 10, 5, 0}, kNoScale, "Oxygen",
     1, {0x09, 0}, {" - O2 Sensor - supported", nullptr},
     C::Raw, -1, 20 / 0.01}, // a rich-lean switch in 40 ms
    {"O2 Sensor RH", "O2 Sensor Right Hand",
     {"O2 Sensor RH", 0, 100, 10, 5, 0}, kNoScale, "Oxygen RH",
     1, {0x0A, 0}, {" - O2 Sensor RH - supported", nullptr},
     C::Raw, -1, 20 / 0.01},
    {"Speed", "Speed",
     {"Speed kph", 0, 240, 12, 4, 1}, {"Speed mph", 0, 150, 15, 5, 1}, nullptr,
     1, {0x0B, 0}, {" - Speed - supported", nullptr},
     C::Speed, -1, 50 / 2.0}, // wheelspin, a locking wheel
    {"Battery", "Battery Voltage",
     {"Battery", 6, 16, 10, 5, 1}, kNoScale, nullptr,
     1, {0x0C, 0}, {" - Battery - supported", nullptr},
     C::Battery, -1, 50 / 0.08}, // the starter's dip
    {"Throttle", "Throttle Position Sensor",
     {"Throttle", 0, 6, 6, 10, 2}, kNoScale, nullptr,
     1, {0x0D, 0}, {" - Throttle - supported", nullptr},
     C::Volts20mV, -1, 50 / 0.02}, // 5 V in 0.1 s
    {"Fuel Temp", "Fuel Temperature",
     {"Fuel Temp C", 0, 120, 12, 5, 0}, fahrenheit("Fuel Temp F"), nullptr,
     1, {0x0F, 0}, {" - Fuel Temp - supported", nullptr},
     C::Temperature, -1, 5},
    {"Air Temp", "Intake Air Temperature",
     {"Air Temp C", 0, 120, 12, 5, 0}, fahrenheit("Air Temp F"), nullptr,
     1, {0x11, 0}, {" - Intake Air Temp - supported", nullptr},
     C::Temperature, -1, 10}, // heat soak blown out of the intake
    {"EGT", "Exhaust Gas Temperature",
     {"EGT", 0, 6, 6, 10, 2}, kNoScale, nullptr,
     1, {0x12, 0}, {" - Exhaust Gas Temp - supported", nullptr},
     C::Volts20mV, -1, 10 / 0.02},
    {"Injector", "Injector Time",
     {"Injector", 0, 40, 8, 5, 2}, kNoScale, nullptr,
     2, {0x14, 0x15}, {" - Injector Time MSB - supported", " - Injector Time LSB - supported"},
     C::Millis10us, -1, 100 / 0.01}, // acceleration enrichment
    {"Timing", "Ignition Timing",
     {"Timing", 0, 70, 7, 10, 0}, kNoScale, nullptr,
     1, {0x16, 0}, {" - Ignition Timing - supported", nullptr},
     C::Timing, -1, 500}, // knock retard, tip-in
    {"AAC", "AAC Valve",
     {"AAC", 0, 100, 10, 5, 0}, kNoScale, nullptr,
     1, {0x17, 0}, {" - AAC Valve - supported", nullptr},
     C::Aac, -1, 200 * 2.55},
    {"A/F Base", "Air Fuel Base",
     {"A/F Base", 50, 150, 10, 5, 0}, kNoScale, nullptr,
     1, {0x1A, 0}, {" - A/F Base - supported", nullptr},
     C::Raw, -1, 200}, // the closed loop's trim steps
    {"A/F Base RH", "Air Fuel Base Right Hand",
     {"A/F Base RH", 50, 150, 10, 5, 0}, kNoScale, nullptr,
     1, {0x1B, 0}, {" - A/F Base RH - supported", nullptr},
     C::Raw, -1, 200},
    {"A/F Base SL", "Air Fuel Base Self Learn",
     {"A/F Base SL", 50, 150, 10, 5, 0}, kNoScale, nullptr,
     1, {0x1C, 0}, {" - A/F Base SL - supported", nullptr},
     C::Raw, -1, 10}, // self-learning drifts
    {"A/F Base SL RH", "Air Fuel Base Self Learn Right Hand",
     {"A/F Base SL RH", 50, 150, 10, 5, 0}, kNoScale, nullptr,
     1, {0x1D, 0}, {" - A/F Base SL RH - supported", nullptr},
     C::Raw, -1, 10},
    {"Injector RH", "Injector Time Right Hand",
     {"Injector RH", 0, 40, 8, 5, 2}, kNoScale, nullptr,
     2, {0x22, 0x23}, {" - Injector Time RH MSB - supported", " - Injector Time RH LSB - supported"},
     C::Millis10us, -1, 100 / 0.01},
    {"Duty Cycle", "Duty Cycle (requires RPM & Inj)",
     {"Duty Cycle", 0, 110, 11, 5, 2}, kNoScale, nullptr,
     0, {0, 0}, {nullptr, nullptr},
     C::DutyCycle, channel::Injector, 0},
    {"Duty Cycle RH", "Duty Cycle RH (requires RPM & Inj RH)",
     {"Duty Cycle RH", 0, 110, 11, 5, 2}, kNoScale, nullptr,
     0, {0, 0}, {nullptr, nullptr},
     C::DutyCycle, channel::InjectorRH, 0},
    {"O2 Sensor B1", "O2 Sensor B1",
     {"O2 Sensor B1", 0, 100, 10, 5, 0}, kNoScale, nullptr,
     1, {0x35, 0}, {" - O2 Sensor B1 - supported", nullptr},
     C::Raw, -1, 20 / 0.01},
    {"O2 Sensor B2", "O2 Sensor B2",
     {"O2 Sensor B2", 0, 100, 10, 5, 0}, kNoScale, nullptr,
     1, {0x36, 0}, {" - O2 Sensor B2 - supported", nullptr},
     C::Raw, -1, 20 / 0.01},
    {"WBo2", "WBo2",
     {"WBo2", 10, 20, 10, 5, 2}, kNoScale, nullptr,
     0, {0, 0}, {nullptr, nullptr},
     C::Wideband, -1, 0},
}};

using K = Indicator::Kind;
constexpr std::array<Indicator, kIndicatorCount> kIndicators{{
    {"Closed TPS",     0, 0, K::OnOff},
    {"Power Steering", 0, 3, K::OnOff},
    {"Air Con sw",     0, 4, K::OnOff},
    {"Start Signal",   0, 1, K::OnOff},
    {"Neutral",        0, 2, K::OnOff},
    {"Air Con rly",    1, 7, K::OnOff},
    {"Fuel Pump",      1, 6, K::OnOff},
    {"Thermo Fan",     1, 0, K::ThermoFan}, // bits 0 and 1: off, low, high, on
    {"VCT",            1, 5, K::OnOff},
    {"Waste Gate sol", 2, 5, K::OnOff},
    {"A/F ratio",      3, 7, K::AirFuel},   // set: lean
    {"EGR sol",        2, 0, K::OnOff},
}};
// clang-format on

} // namespace

const std::array<Channel, kChannelCount>& channels() {
    return kChannels;
}

const Channel& channelAt(int number) {
    return kChannels[static_cast<size_t>(number)];
}

const std::array<Indicator, kIndicatorCount>& indicators() {
    return kIndicators;
}

} // namespace kx
