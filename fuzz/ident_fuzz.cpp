// Random deliveries through the identification search: never a read past the bytes.
#include "link/ecu_protocol.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the generation; a copy of exactly the rest makes ASan see any
    // read beyond the delivery.
    const bool obd2 = data[0] & 1;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    (void)kx::findPartNumber(bytes, obd2);
    (void)kx::findFrame(bytes, data[0], int(data[0]));
    return 0;
}
