#pragma once
// The ECU side of the link every tool shares: stream start and stop, the arming pattern,
// the connect exchange and the identification reply.
#include "link/framing.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace kx {

class SerialPort;
class DebugTrace;

namespace ecu {
constexpr uint8_t StreamStart = 0xF0;
constexpr uint8_t StreamStop = 0x30;
constexpr uint8_t PartNumberRequest = 0xD0;
constexpr uint8_t RegisterRead = 0x5A;
constexpr uint8_t SelfDiagRequest = 0xD1;
constexpr int ArmThreshold = 100;
constexpr int ConnectThreshold = 48;
} // namespace ecu

// A delivery of 2 x N + 4 bytes always holds one whole frame of N data bytes.
constexpr int streamThreshold(int dataBytes) {
    return 2 * dataBytes + 4;
}

// 0xF0. False when the port is closed (the send ends quietly).
bool startData(SerialPort& port);
// 0x30, 50 ms, discard.
bool stopData(SerialPort& port);

struct ArmOptions {
    uint32_t pauseMs = 50;       // after the request, before the discard
    int streamThreshold = 0;     // 0 keeps the arming threshold (100)
    bool bytePerWrite = false;   // some tools send the request a byte at a time
    DebugTrace* trace = nullptr; // the request goes to the trace as a send record
};
// The arming pattern: threshold 100, the request, the pause, discard, the stream threshold.
// The caller then sets its receive mode and calls startData(). False if a write failed, in
// which case the remaining steps are not done.
bool armStream(SerialPort& port, const QByteArray& request, const ArmOptions& options);

// The connect exchange: threshold 48, 0xFF 0xFF id 0xD0 a byte per write with 100 ms after
// each, 20 ms, discard. False when a write failed (the rest is skipped).
bool sendEcuInit(SerialPort& port, uint8_t ecuId);

// The five part-number characters of an identification frame in the delivery, if one is
// found (count byte 0x16, or 0x20 for the OBD-II generation) and whole.
std::optional<QString> findPartNumber(const QByteArray& bytes, bool obd2);

} // namespace kx
