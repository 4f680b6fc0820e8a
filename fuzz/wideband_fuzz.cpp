// Random deliveries through the wideband handshake and the measurement frame search: never a
// read past the bytes, and only what the rules allow comes out.
#include "wideband/wideband.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the receive mode; a copy of exactly the rest makes ASan see any
    // read beyond the delivery.
    const auto mode = int16_t(data[0] % 9);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const kx::wb::HandshakeStep step = kx::wb::handshake(mode, bytes);
    if (step.version && step.version->size() > 4) std::abort();
    if (step.incompatible && step.advances) std::abort();
    if (const auto start = kx::wb::findFrameStart(bytes); start && *start > 28) std::abort();
    if (const auto frame = kx::wb::decodeFrame(bytes)) {
        // raw 0 to 32767 gives 9 to about 89.
        if (!(frame->afr >= 9.0f && frame->afr < 90.0f)) std::abort();
    }
    return 0;
}
