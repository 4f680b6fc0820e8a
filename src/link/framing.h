#pragma once
// Finding the ECU's repeated answer frame (0xFF, count byte, data bytes) in a delivery.
#include <QByteArray>
#include <cstdint>

namespace kx {

inline constexpr uint8_t kFrameHeader = 0xFF;

// The first position p in 0..lastStart with bytes[p] = 0xFF and bytes[p + 1] = count, or -1.
// Never reads past the delivered bytes.
int findFrame(const QByteArray& bytes, uint8_t count, int lastStart);

} // namespace kx
