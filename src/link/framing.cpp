#include "link/framing.h"

#include <algorithm>

namespace kx {

int findFrame(const QByteArray& bytes, uint8_t count, int lastStart) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const qsizetype last = std::min<qsizetype>(lastStart, bytes.size() - 2);
    for (qsizetype p = 0; p <= last; ++p) {
        if (data[p] == kFrameHeader && data[p + 1] == count) return static_cast<int>(p);
    }
    return -1;
}

void FrameConfirmer::expect(int count) {
    count_ = count;
    held_.clear();
    dropped_ = 0;
}

QList<QByteArray> FrameConfirmer::take(const QByteArray& delivery) {
    QList<QByteArray> frames;
    held_.append(delivery);
    const auto* data = reinterpret_cast<const uint8_t*>(held_.constData());
    const qsizetype size = held_.size();
    qsizetype p = 0;
    while (p + 1 < size) {
        const uint8_t count = data[p + 1];
        // A count byte of 0xFF is a header's neighbour, never a count.
        if (data[p] != kFrameHeader || count == kFrameHeader ||
            (count_ != AnyCount && count != count_)) {
            ++p;
            continue;
        }
        const qsizetype next = p + 2 + count;
        if (next + 1 >= size) break; // the check needs the next header: wait for more
        if (data[next] == kFrameHeader && data[next + 1] == count) {
            frames.append(held_.mid(p, count + 2));
            p = next;
        } else {
            ++dropped_;
            ++p;
        }
    }
    held_.remove(0, p);
    return frames;
}

} // namespace kx
