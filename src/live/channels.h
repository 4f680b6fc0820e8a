#pragma once
// The channel catalogue: every live-data channel's number, names, registers, conversion and
// rate limit, and every indicator's register and bit. The display's catalogue, the logger's
// columns, the log reader's names, the register test's rows and the spike filter's limits are
// all derived from these two tables, so a channel is described here and nowhere else.
#include <array>
#include <cstdint>
#include <span>

namespace kx {

// Channel numbers: stored in the settings (Setup/GaugeN, Dashboard/GaugeN) and in dashboards,
// so an existing number never changes; a new channel goes at the end.
namespace channel {
enum : int {
    Rpm,
    AirFlow,
    AirFlowRH,
    WaterTemp,
    O2Sensor,
    O2SensorRH,
    Speed,
    Battery,
    Throttle,
    FuelTemp,
    AirTemp,
    Egt,
    Injector,
    Timing,
    Aac,
    AfBase,
    AfBaseRH,
    AfBaseSL,
    AfBaseSLRH,
    InjectorRH,
    DutyCycle,
    DutyCycleRH,
    O2SensorB1,
    O2SensorB2,
    Wideband, // the wideband controller's air/fuel ratio: no register
    Count
};
} // namespace channel

inline constexpr int kChannelCount = channel::Count;

// How a channel's raw register value becomes its value in the user's units.
enum class Conversion : uint8_t {
    Rpm,         // 12.5 rpm a count
    AirFlow,     // 5 mV a count
    Temperature, // °C + 50, or °F
    Speed,       // 2 km/h a count, times the speed correction; or mph
    Battery,     // 80 mV a count
    Volts20mV,   // 20 mV a count
    Millis10us,  // 10 us a count, in ms
    Timing,      // 110 - raw degrees
    Aac,         // 1/2.55 % a count
    Raw,         // the count itself
    DutyCycle,   // from RPM and the `from` channel's injector time
    Wideband,    // the wideband controller's ratio
};

// A dial scale with the catalogue name it goes with.
struct ChannelScale {
    const char* name = nullptr; // the catalogue name, which is also the log column's name
    int32_t minVal = 0;
    int32_t maxVal = 0;
    int32_t ticks = 0;
    int32_t subTicks = 0;
    int32_t decimals = 0;
};

struct Channel {
    const char* caption;  // unit-free: the logger's check box
    const char* listName; // the gauge lists
    ChannelScale metric;
    ChannelScale imperial; // °F or mph, by the conversion; no name when the unit plays no part
    const char* alias;     // one more log column name the reader takes, or nullptr
    uint8_t size;          // register bytes in a frame (0: worked out, or no register)
    std::array<uint8_t, 2> regs;              // most significant first
    std::array<const char*, 2> registerTexts; // the register test's text for each register
    Conversion conversion;
    int from; // DutyCycle: the injector time channel it needs; otherwise -1
    // The largest change a second an engine (or its sensor) can make in the raw register
    // value, in counts; 0: no limit (worked out from others, or in no frame).
    double maxRawRate;

    // The unit choice decides this channel's scale and name.
    bool followsFahr() const { return conversion == Conversion::Temperature; }
    bool followsMph() const { return conversion == Conversion::Speed; }
    // Read from the ECU, directly or worked out from a channel that is.
    bool fromEcu() const { return size > 0 || from >= 0; }
};

const std::array<Channel, kChannelCount>& channels();
const Channel& channelAt(int number); // number must be 0..kChannelCount-1

// ---- indicators: on/off states carried bit by bit in the switch registers

inline constexpr int kIndicatorCount = 12;
// Switch registers in request and decode order.
inline constexpr std::array<uint8_t, 4> kSwitchRegisters{0x13, 0x1E, 0x1F, 0x21};

struct Indicator {
    enum class Kind : uint8_t { OnOff, ThermoFan, AirFuel };
    const char* name;    // the log column and the display's label
    uint8_t switchIndex; // into kSwitchRegisters
    uint8_t bit;
    Kind kind;
};
const std::array<Indicator, kIndicatorCount>& indicators();

// The register test's text for a switch register.
inline constexpr char kSwitchRegisterText[] = " - Digital Register - supported";

} // namespace kx
