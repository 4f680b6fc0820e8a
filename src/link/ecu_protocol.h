#pragma once
// The ECU protocol's command bytes, the stream threshold rule and the identification reply.
// The exchanges themselves run on the link (EcuLink, LinkSequence).
#include "link/framing.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace kx {

namespace ecu {
constexpr uint8_t StreamStart = 0xF0;
constexpr uint8_t StreamStop = 0x30;
constexpr uint8_t PartNumberRequest = 0xD0;
constexpr uint8_t RegisterRead = 0x5A;
constexpr uint8_t SelfDiagRequest = 0xD1;
constexpr int ArmThreshold = 100;
constexpr int ConnectThreshold = 48;
constexpr int IdCount = 22;     // data bytes of the identification frame
constexpr int IdCountObd2 = 32; // of the later generation's
} // namespace ecu

// A delivery of 2 x N + 4 bytes always holds one whole frame of N data bytes.
constexpr int streamThreshold(int dataBytes) {
    return 2 * dataBytes + 4;
}

// A one-shot reply is taken once a frame and the one that repeats it are confirmed: a delivery
// of the acknowledgement, two frames and the next header holds them all.
constexpr int agreedThreshold(int dataBytes) {
    return 2 * dataBytes + 7;
}

// The five part-number characters of an identification frame in the delivery, if one is
// found (count byte 0x16, or 0x20 for the OBD-II generation) and whole.
std::optional<QString> findPartNumber(const QByteArray& bytes, bool obd2);

} // namespace kx
