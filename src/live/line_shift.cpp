#include "live/line_shift.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace kx {

namespace {

// The values' and switches' bytes of a frame, or nothing when it holds fewer.
QByteArray valueBytes(const QByteArray& frame, const FrameReadings& r, int length) {
    if (!r.found || r.dataAt < 0 || r.dataAt + length > frame.size()) return {};
    return frame.mid(r.dataAt, length);
}

int layoutLength(const FrameReadings& r) {
    int n = r.switchCount;
    for (int k = 0; k < r.slotCount; ++k)
        n += r.bySlot[size_t(k)].size;
    return n;
}

int valueAt(const QByteArray& d, int at, int size) {
    const auto byte = [&d](int i) { return int(uint8_t(d[i])); };
    return size >= 2 ? byte(at) << 8 | byte(at + 1) : byte(at);
}

} // namespace

double outsideNeighbours(const QByteArray& data, const QByteArray& last, const QByteArray& next,
                         const FrameReadings& layout) {
    double cost = 0;
    int at = 0;
    for (int k = 0; k < layout.slotCount; ++k) {
        const int size = layout.bySlot[size_t(k)].size;
        if (size == 0) continue;
        const int v = valueAt(data, at, size), a = valueAt(last, at, size),
                  b = valueAt(next, at, size);
        const int low = std::min(a, b), high = std::max(a, b);
        const int out = v < low ? low - v : v > high ? v - high : 0;
        cost += double(out) / double(1 + high - low);
        at += size;
    }
    for (; at < data.size(); ++at) {
        const auto v = uint8_t(data[at]), a = uint8_t(last[at]), b = uint8_t(next[at]);
        cost += std::popcount(unsigned((v ^ a) & (v ^ b) & 0xFF));
    }
    return cost;
}

bool shiftedByLine(const QByteArray& last, const FrameReadings& lastReadings,
                   const QByteArray& held, const FrameReadings& heldReadings,
                   const QByteArray& next, const FrameReadings& nextReadings) {
    const int n = layoutLength(heldReadings);
    if (n < 3 || layoutLength(lastReadings) != n || layoutLength(nextReadings) != n) return false;
    const QByteArray h = valueBytes(held, heldReadings, n), l = valueBytes(last, lastReadings, n),
                     x = valueBytes(next, nextReadings, n);
    if (h.isEmpty() || l.isEmpty() || x.isEmpty()) return false;
    // Only a frame well outside its neighbours is looked at; a stretch put back must then
    // bring it nearly home, which a frame the engine made seldom allows by chance.
    const double asCame = outsideNeighbours(h, l, x, heldReadings);
    if (asCame < 3) return false;
    const double home = std::max(1.0, asCame / 8);
    QByteArray c(n, '\0');
    for (int i = 0; i < n; ++i) {
        for (int j = i + 2; j < n; ++j) {
            // A stray byte at i, the byte due at j lost: i + 1 .. j belong one place back.
            c = h;
            for (int k = i; k < j; ++k)
                c[k] = h[k + 1];
            c[j] = x[j];
            if (outsideNeighbours(c, l, x, heldReadings) <= home) return true;
            // The byte due at i lost, a stray byte at j: i .. j - 1 belong one place on.
            c = h;
            for (int k = j; k > i; --k)
                c[k] = h[k - 1];
            c[i] = x[i];
            if (outsideNeighbours(c, l, x, heldReadings) <= home) return true;
        }
    }
    return false;
}

} // namespace kx
