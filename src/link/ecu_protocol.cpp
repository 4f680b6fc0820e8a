#include "link/ecu_protocol.h"

namespace kx {

std::optional<QString> findPartNumber(const QByteArray& bytes, bool obd2) {
    const uint8_t count = obd2 ? 0x20 : 0x16;
    const int p = findFrame(bytes, count, count + 2);
    if (p < 0) return std::nullopt;
    // The part number is data bytes 17-21 (27-31 for OBD-II), after header and count byte.
    const int first = p + (obd2 ? 29 : 19);
    if (first + 5 > bytes.size()) return std::nullopt;
    QString part;
    for (int i = 0; i < 5; ++i)
        part.append(QChar(uchar(bytes[first + i])));
    return part;
}

} // namespace kx
