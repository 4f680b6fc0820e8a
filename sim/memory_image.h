#pragma once
// The ECU's 64 KiB address space: a made-up program image with 16 x 16 fuel and timing maps
// and their scales at the addresses the map-trace presets use, and live engine speed and
// throttle bytes at those presets' live addresses.
#include <array>
#include <cstdint>
#include <vector>

namespace kxsim {

struct MapLocation {
    uint16_t map;
    uint16_t tpScale;
    uint16_t rpmScale;
    bool timing; // ignition timing map, else fuel
};

struct LiveLocation {
    uint16_t rpmMsb;
    uint16_t rpmLsb;
    uint16_t throttle;
};

class MemoryImage {
public:
    MemoryImage();

    uint8_t read(uint16_t address) const { return bytes_[address]; }
    void write(uint16_t address, uint8_t value) { bytes_[address] = value; }
    // A fuel map "flashed" in place of the made-up one, at every fuel map location.
    void setFuelMap(const std::array<uint8_t, 256>& values);
    // Writes engine speed (rpm / 12.5, high byte first) and throttle at every live location.
    void updateLive(uint16_t rpmRaw, uint8_t throttleRaw);

    static const std::vector<MapLocation>& maps();
    static const std::vector<LiveLocation>& liveLocations();
    // Cell value of a map at RPM row r and throttle column c (both 0 to 15).
    static uint8_t fuelCell(int r, int c);
    static uint8_t timingCell(int r, int c);
    // Scale byte i (0 to 15): the RPM scale counts in 50 rpm, the throttle scale in raw bytes.
    static uint8_t rpmScale(int i) { return uint8_t(10 * (i + 1)); }
    // Where 256 bytes shaped like code and erased flash lie: runs of 0xFF, and 0xFF before small
    // numbers, the shape of a frame header.
    static constexpr uint16_t kCodeLike = 0x9000;
    static uint8_t codeLike(int i);
    static uint8_t tpScale(int i) { return uint8_t(22 + 13 * i); }

private:
    std::array<uint8_t, 0x10000> bytes_{};
};

} // namespace kxsim
