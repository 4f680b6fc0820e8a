#pragma once
// The map trace without its windows: the set-up's presets and address rules, the walk through
// the two scales and the map one byte per request, the captions and colours of the grid, and
// the search for the cell the engine is in with the trail it leaves.
#include "link/receive_mode.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace kx {

namespace maptrace {
constexpr ReceiveMode ReadMode =
    ReceiveMode::MapRead; // receive mode while the scales and the map are read
constexpr ReceiveMode TraceMode = ReceiveMode::MapTrace; // receive mode while tracing
constexpr int TraceThreshold = 18;
constexpr uint32_t ReadPauseMs = 15;  // after each single read request
constexpr uint32_t StopPauseMs = 10;  // after the stop that follows each reply
constexpr uint32_t TracePauseMs = 25; // after the live request
// The grid's labels: the empty corner, 16 row headers (RPM), 16 column headers (TP), 256 cells.
constexpr int CellCount = 289;
constexpr int FirstRowHeader = 1;
constexpr int FirstColumnHeader = 17;
constexpr int FirstMapCell = 33;
} // namespace maptrace

// The six addresses, in the set-up window's order.
enum MapField { RpmMsb, RpmLsb, TpMsb, MapStart, TpScale, RpmScale, MapFieldCount };
using MapAddressTexts = std::array<QString, MapFieldCount>;
using MapAddresses = std::array<std::optional<uint16_t>, MapFieldCount>;

struct MapPreset {
    const char* name;
    std::array<const char*, MapFieldCount> addresses;
};
// The presets of the set-up list, in its order.
const std::array<MapPreset, 12>& mapPresets();

// The MapTrace setting that keeps a field.
QString mapSettingKey(MapField field);
// The field's name as its box's caption reads, without the colon: "RPM MSB Address".
QString mapFieldName(MapField field);
// The set-up's refusal of a field: "Invalid RPM MSB Address".
QString invalidAddressMessage(MapField field);
// The first entry that fails the address pattern or holds a blank (a blank has no value to
// read from), or nothing when all six are good.
std::optional<MapField> firstInvalidEntry(const MapAddressTexts& texts);
// Stored addresses as numbers: hexadecimal up to FFFF; anything else has none.
MapAddresses storedAddresses(const MapAddressTexts& texts);
// Why the walk stopped at the stored address `stored` of `field`: it is not hexadecimal, or its
// block would run past FFFF (ECU memory does not go on from 0000 there).
QString blockedMessage(MapField field, const QString& stored);

// The reading of the RPM scale, the throttle scale and the map, in that order, one byte per
// request. A block whose stored address has no value, or whose last byte would lie past FFFF,
// stops the walk there.
class MapRead {
public:
    enum Phase { RpmScalePhase, TpScalePhase, MapPhase, TracePhase };
    explicit MapRead(const MapAddresses& addresses);

    struct Byte {
        uint16_t address = 0;
        int cell = 0; // the grid label that shows it
    };
    // The next byte to ask for, moving on to the next block when one is done. Nothing once
    // the three blocks are read (phase() is TracePhase, and the live addresses are good) or
    // when an address needed next is bad (blockedBy()).
    std::optional<Byte> next();
    // The map is known already (opened from a file): no more reading, only the live addresses
    // are needed.
    void skipToTrace();
    Phase phase() const { return phase_; }
    std::optional<MapField> blockedBy() const { return blocked_; }
    // The live request's three addresses (RPM MSB, RPM LSB, TP MSB), once in TracePhase.
    std::array<uint16_t, 3> liveAddresses() const;

private:
    bool startBlock();

    MapAddresses addresses_;
    Phase phase_ = RpmScalePhase;
    std::optional<MapField> blocked_;
    int cell_ = 0;
    int32_t current_ = 0;
    int32_t last_ = -1;
};

// What a grid label shows for the byte read into it: engine speed (× 50) in the row headers,
// the raw value elsewhere.
QString cellCaption(int cell, uint8_t value);
// Where a grid label's byte sits in the reading, for a message: "RPM scale 3", "TP scale 16",
// "map row 2, column 5".
QString cellStepName(int cell);

// Engine speed in rpm from the two live bytes: × 12.5, halves to even.
int engineSpeed(uint8_t msb, uint8_t lsb);
// The row (or column), 1 to 16, of the first header that is at least `value`; 16 when none is.
int headerIndex(const std::array<int, 16>& headers, int value);
// The grid label of the map cell in RPM row `row` and throttle column `column` (both 1 to 16).
constexpr int mapCellIndex(int row, int column) {
    return 16 * row + 16 + column;
}

// A map's two scales as the grid shows them: engine speed in rpm down the side (scale byte
// × 50), raw throttle across the top.
struct MapScales {
    std::array<int, 16> rpm{};
    std::array<int, 16> tp{};
    bool operator==(const MapScales&) const = default;
};
// The scales and the 256 map bytes, row by row (RPM rows of 16 throttle columns).
struct EngineMap {
    MapScales scales;
    std::array<uint8_t, 256> values{};
    bool operator==(const EngineMap&) const = default;
};
// The map cell, 0 to 255 row by row, that engine speed `rpm` and raw throttle `tp` fall in:
// the first header at least the value, the last one beyond them all. The live trace and the
// coverage of logs both use it.
int mapCellOf(const MapScales& scales, int rpm, int tp);

// Where a grid label sits: row 0 holds the column headers, column 0 the row headers.
struct GridPlace {
    int row = 0;
    int column = 0;
    bool operator==(const GridPlace&) const = default;
};
GridPlace gridPlace(int cell);

// Colours, as 0x00BBGGRR.
// A map byte: low values red, high values blue.
constexpr uint32_t mapColour(uint8_t value) {
    return uint32_t(255 - value) | uint32_t(value) << 16;
}
constexpr uint32_t kCurrentCellColour = 0x80FF80; // light green
constexpr uint32_t kTrailColour = 0x00FFFF;       // yellow
// The cell the engine is in, and the cells it has left.
class TraceTrail {
public:
    struct Move {
        int left = 0; // the cell to paint in the trail colour, 0 for none
        int now = 0;  // the cell to paint as current, 0 for none
    };
    // The engine is now in `cell`. Nothing to paint while it stays in the marked cell.
    Move moveTo(int cell);
    // The cell marked current, 0 before the first.
    int current() const { return current_; }

private:
    int current_ = 0;
};

} // namespace kx
