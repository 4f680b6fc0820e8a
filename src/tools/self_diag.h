#pragma once
// Self-diagnostics: the stored fault codes and their start counts, read from the ECU's
// self-diagnostic frames, and the text the window shows for them.
#include "link/link_sequence.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace kx {

namespace selfdiag {
constexpr uint8_t Request = 0xD1; // the ECU streams the stored fault pairs
constexpr uint8_t Erase = 0xC1;   // the ECU forgets the stored fault codes
constexpr int LastHeaderIndex = 90;
constexpr int MaxPairs = 25;
} // namespace selfdiag

// Element 0: the count byte N of the last accepted frame; elements 1..N: its data bytes
// (code, starts, code, starts, ...). Elements a frame does not reach keep their contents.
using FaultBuffer = std::array<uint8_t, 51>;

// Arms the self-diagnostic stream: threshold 100, 0xD1, 50 ms, discard (the threshold stays
// at 100). The caller sets receive mode 6 and starts the stream.
LinkSequence iniSelfDiag();

// Copies the first frame of a delivery into the buffer: the header is the first 0xFF at
// index 0..90; copying stops quietly at the end of the delivery or at element 50. A delivery
// without a header (or with the header as its last byte) changes nothing.
void getSelfDiagData(const QByteArray& bytes, FaultBuffer& faults);

// The text of a fault code byte: the table's text, or "Code " and the byte in hexadecimal.
QString faultCodeText(uint8_t code);

// The text of the whole buffer, pair by pair ("\r\n" line breaks). Code 55 wipes what came
// before it. At most 25 pairs. An odd count leaves the last code without a start-count line.
QString displayCodesText(const FaultBuffer& faults);

} // namespace kx
