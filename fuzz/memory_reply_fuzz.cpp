// Random deliveries through the memory-read reply scanners (address watch, fast and slow ROM
// reads): never a read past the bytes, and a reply is always the bytes after its header.
#include "tools/memory_read.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
// The reply must sit right after a 0xFF and its count byte, wholly inside the delivery.
template <size_t N> void check(const QByteArray& bytes, const std::array<uint8_t, N>& reply) {
    for (qsizetype p = 0; p + qsizetype(N) + 2 <= bytes.size(); ++p) {
        if (uint8_t(bytes[p]) != 0xFF || uint8_t(bytes[p + 1]) != N) continue;
        for (size_t i = 0; i < N; ++i)
            if (uint8_t(bytes[p + 2 + qsizetype(i)]) != reply[i]) std::abort();
        return;
    }
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact copy, so that ASan sees any read beyond the delivery.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto r = kx::findFastReply(bytes)) check(bytes, *r);
    if (const auto r = kx::findWatchReply(bytes)) check(bytes, *r);
    // A one-address reply: a frame of two or three equal bytes, never read past.
    kx::SingleRead single;
    if (const auto r = single.take(bytes)) {
        if (bytes.size() != 4 || uint8_t(bytes[2]) != *r || uint8_t(bytes[3]) != *r) std::abort();
    }
    return 0;
}
