#pragma once
// Finding the ECU's repeated answer frame (0xFF, count byte, data bytes) in the received bytes.
#include <QByteArray>
#include <QList>
#include <cstdint>

namespace kx {

inline constexpr uint8_t kFrameHeader = 0xFF;

// The first position p in 0..lastStart with bytes[p] = 0xFF and bytes[p + 1] = count, or -1.
// Never reads past the delivered bytes.
int findFrame(const QByteArray& bytes, uint8_t count, int lastStart);

// Confirms frames across deliveries. The protocol has no checksum, and a line near an ignition
// loses bytes and picks up stray ones, so a frame is taken only when the next frame's header
// (0xFF and the same count byte) follows exactly where its count says it ends: a byte lost or
// added inside the frame moves that header and the frame is dropped. The last frame of a
// delivery waits for the next delivery.
class FrameConfirmer {
public:
    // Any count byte (the self-diagnostic stream, whose length follows the stored faults).
    static constexpr int AnyCount = -1;

    // A new stream of frames with this count byte: what was held is forgotten.
    void expect(int count);
    int expected() const { return count_; }
    // Forgets what was held (the receive buffer was discarded).
    void clear() { held_.clear(); }
    // Takes a delivery; returns each confirmed frame (header, count byte, data) in order.
    QList<QByteArray> take(const QByteArray& delivery);
    // Candidate frames that failed the check since expect().
    uint64_t dropped() const { return dropped_; }

private:
    int count_ = AnyCount;
    QByteArray held_;
    uint64_t dropped_ = 0;
};

} // namespace kx
