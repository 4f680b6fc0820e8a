// A map file from someone else: read as a map and as a target table, each either a grid in range
// or a reason, and a map that was read writes back to the same bytes' meaning.
#include "tools/map_correction.h"
#include "tools/map_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kx;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const MapFileRead map = parseMapFile(bytes);
    if (map.map.has_value() == !map.error.isEmpty()) __builtin_trap();
    if (map.map) {
        const MapFileRead again = parseMapFile(mapFileText(*map.map));
        if (!again.map || !(*again.map == *map.map)) __builtin_trap();
    }
    return 0;
}
