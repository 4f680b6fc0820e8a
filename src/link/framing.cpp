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

} // namespace kx
