#pragma once
// The live-data request for the user's selection and the decoder of its frames.
#include "link/link_sequence.h"
#include "live/gauge_setup.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

namespace kx {

// What the wideband controller gave for one ECU record: a ratio only when it was a reading
// (NaN otherwise), the word for the controller's state ("Ready", "Cold", "Silent", ...), and
// when the ratio's frame ended on the line.
struct WbSample {
    float afr = std::numeric_limits<float>::quiet_NaN();
    QString state;
    std::optional<uint32_t> at;
};

// The wideband controller's sample for an ECU frame that ended at a tick, where one is set up
// (nothing otherwise).
using WidebandSource = std::function<std::optional<WbSample>(uint32_t at)>;

// The latest decoded values, in the user's units; entries not decoded keep their contents.
struct LiveValues {
    std::array<float, kGaugeCount> gaugeValue{};
    std::array<QString, kIndicatorCount> switchState;
    // The wideband controller's values (see WbLink): 0 is NaN until a reading comes.
    std::array<float, 11> wbValues{std::numeric_limits<float>::quiet_NaN()};
    // The wideband's sample for the frame last decoded, where a controller is set up.
    std::optional<WbSample> wb;
};

struct Units {
    bool fahr = false;
    bool mph = false;
    float speedCorrect = 1.0f;
};

// The unit choices and the ECU generation as stored. Read in this order; the first that is not
// a number leaves itself and every later one empty (the reading ends there).
struct StoredUnits {
    std::optional<float> speedCorrect; // TyreSize/Correction
    std::optional<bool> mph;           // Preferences/Speed is not 0
    std::optional<bool> fahr;          // Preferences/Temperature is not 0
    std::optional<bool> obd2;          // Comms/OBDIImodel is not 0
};
StoredUnits readStoredUnits(const Settings& store);

inline constexpr uint8_t kRegisterRead = 0x5A;

// One register read (0x5A, register) per register of the selected gauges in slot order, then
// one per switch register whose flag is 1. Empty when nothing is to be requested (N = 0), when
// a slot names a gauge above 24, or when the pairs do not match the counted N.
QByteArray fullDataRequest(const GaugeSetup& setup);

// The live-data request as link steps: the arming and nothing else (empty when nothing is to
// be requested, leaving the threshold as it was). A stream tap runs it (see StreamTap::stream).
LinkSequence fullDataArming(const GaugeSetup& setup);

// The engineering value of one register gauge from its raw byte (or high * 256 + low).
// Gauges that read no register (20, 21, 24) and unknown numbers give 0.
float convertGauge(int gauge, uint16_t raw, const Units& units);
// Injector duty cycle from engine speed and injector time, in single precision.
float dutyCycle(float rpm, float injectorTime);
// Sets the indicator states carried by switch register `flagIndex` (0..3: 0x13, 0x1E, 0x1F,
// 0x21) from its raw byte.
void decodeSwitchRegister(int flagIndex, uint8_t raw,
                          std::array<QString, kIndicatorCount>& switchState);

// One frame's raw contents in request order, as far as they can be read: each slot's gauge with
// its register value (none for a gauge that reads no register), then each included switch
// register's byte. Reading stops where decoding does (see getFullData).
struct FrameReadings {
    struct Slot {
        uint8_t gauge = 0;
        std::optional<uint16_t> raw;
        uint8_t size = 0; // bytes it takes in the frame
    };
    struct Switch {
        uint8_t flagIndex = 0; // 0..3: 0x13, 0x1E, 0x1F, 0x21
        uint8_t raw = 0;
    };
    bool found = false; // a frame was found at all
    int dataAt = 0;     // where the first value's bytes start
    std::array<Slot, kDisplaySlots> bySlot{};
    int slotCount = 0;
    std::array<Switch, kSwitchRegisters.size()> bySwitch{};
    int switchCount = 0;

    // The register value of the first slot read that holds `gauge`, if any.
    std::optional<uint16_t> rawOf(int gauge) const;
};
FrameReadings readFrame(const QByteArray& bytes, const GaugeSetup& setup);

// Converts what a frame held into `values`, slot by slot in request order (the first `slotLimit`
// only: a tool's stream fills the rest of its layout), then the switch registers. A slot
// without a register value keeps its entry, but for duty cycles (from the engine speed and
// injector time as they stand at that slot) and the wideband's copy.
void applyReadings(const FrameReadings& readings, const Units& units, LiveValues& values,
                   int slotLimit = kDisplaySlots);

// Decodes one delivery: finds the frame at positions 0..N + 2 and converts each slot and each
// included switch register in request order. Without a frame nothing changes; a 2-byte value
// of 0x8000 or more, a frame cut short by the end of the delivery or a gauge number above 24
// stops the decoding there, earlier slots keeping their new values.
void getFullData(const QByteArray& bytes, const GaugeSetup& setup, const Units& units,
                 LiveValues& values);

} // namespace kx
