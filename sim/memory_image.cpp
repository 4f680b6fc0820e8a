#include "memory_image.h"

#include <algorithm>

namespace kxsim {

const std::vector<MapLocation>& MemoryImage::maps() {
    // Some presets share an address for different maps; the later entry wins there.
    static const std::vector<MapLocation> list = {
        {0x7800, 0x7B10, 0x7B20, true},  {0x7400, 0x7AF0, 0x7B00, false},
        {0xF800, 0xFB10, 0xFB20, true},  {0xFD00, 0xFAF0, 0xFB00, false},
        {0xF400, 0xFB10, 0xFB20, true},  {0x8D00, 0x8490, 0x8480, true},
        {0x8100, 0x80F0, 0x80E0, false}, {0xF400, 0xFB10, 0xFB20, false},
    };
    return list;
}

const std::vector<LiveLocation>& MemoryImage::liveLocations() {
    static const std::vector<LiveLocation> list = {
        {0xF70C, 0xF70D, 0xF777}, {0x140A, 0x140B, 0x148C}, {0x140A, 0x140B, 0x1484},
        {0x4475, 0x4474, 0x41DE}, {0x416B, 0x416A, 0x41C5},
    };
    return list;
}

uint8_t MemoryImage::fuelCell(int r, int c) {
    return uint8_t(std::min(255, 16 + 3 * r + 8 * c + r * c / 4));
}

uint8_t MemoryImage::timingCell(int r, int c) {
    return uint8_t(std::max(5, 12 + 2 * r - c * (8 + r) / 10));
}

MemoryImage::MemoryImage() {
    // Filler that looks like code: deterministic, and not all one value, so a dump of any
    // range shows where it came from.
    uint32_t x = 0x2545F491;
    for (auto& b : bytes_) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = uint8_t(x >> 24);
    }
    for (const MapLocation& m : maps()) {
        for (int i = 0; i < 16; ++i) {
            bytes_[uint16_t(m.rpmScale + i)] = rpmScale(i);
            bytes_[uint16_t(m.tpScale + i)] = tpScale(i);
        }
        for (int r = 0; r < 16; ++r) {
            for (int c = 0; c < 16; ++c) {
                bytes_[uint16_t(m.map + 16 * r + c)] = m.timing ? timingCell(r, c) : fuelCell(r, c);
            }
        }
    }
    for (int i = 0; i < 256; ++i)
        bytes_[uint16_t(kCodeLike + i)] = codeLike(i);
    updateLive(0, 0);
}

uint8_t MemoryImage::codeLike(int i) {
    const int line = i / 16, k = i % 16;
    switch (line % 4) {
    case 0:
        return 0xFF; // erased
    case 1:
        return k % 2 == 0 ? 0xFF : uint8_t(1 + (line * 16 + k) % 20); // FF 01 .. FF 14
    case 2: {
        static const uint8_t code[16] = {0x11, 0x22, 0xFF, 0x08, 0x33, 0x44, 0x55, 0x66,
                                         0xFF, 0x01, 0xFF, 0x03, 0xBD, 0xFF, 0xFF, 0x08};
        return code[k];
    }
    default:
        return k < 8 ? 0xFF : uint8_t(0x80 + 13 * k); // a run, then code
    }
}

void MemoryImage::setFuelMap(const std::array<uint8_t, 256>& values) {
    for (const MapLocation& m : maps()) {
        if (m.timing) continue;
        for (size_t i = 0; i < values.size(); ++i)
            bytes_[uint16_t(m.map + i)] = values[i];
    }
}

void MemoryImage::updateLive(uint16_t rpmRaw, uint8_t throttleRaw) {
    for (const LiveLocation& l : liveLocations()) {
        bytes_[l.rpmMsb] = uint8_t(rpmRaw >> 8);
        bytes_[l.rpmLsb] = uint8_t(rpmRaw & 0xFF);
        bytes_[l.throttle] = throttleRaw;
    }
}

} // namespace kxsim
