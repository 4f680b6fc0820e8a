#include "link/ecu_protocol.h"

#include "link/SerialPort.h"
#include "link/debug_trace.h"
#include "link/wait.h"

#include <QPointer>

namespace kx {

bool startData(SerialPort& port) {
    return port.write(QByteArray(1, char(ecu::StreamStart)));
}

bool stopData(SerialPort& port) {
    QPointer<SerialPort> guard(&port);
    if (!port.write(QByteArray(1, char(ecu::StreamStop)))) return false;
    waitMs(50);
    if (!guard) return false;
    port.discard();
    return true;
}

bool armStream(SerialPort& port, const QByteArray& request, const ArmOptions& options) {
    QPointer<SerialPort> guard(&port);
    port.setThreshold(ecu::ArmThreshold);
    if (options.bytePerWrite) {
        for (char b : request)
            if (!guard || !port.write(QByteArray(1, b))) return false;
    } else if (!port.write(request)) {
        return false;
    }
    if (options.trace) options.trace->send(request);
    waitMs(options.pauseMs);
    if (!guard) return false;
    // Discard after the last wait: the ECU's answer to the request itself, and anything of
    // the previous mode that arrived during the wait, is dropped here.
    port.discard();
    if (options.streamThreshold > 0) port.setThreshold(options.streamThreshold);
    return true;
}

bool sendEcuInit(SerialPort& port, uint8_t ecuId) {
    QPointer<SerialPort> guard(&port);
    port.setThreshold(ecu::ConnectThreshold);
    const uint8_t bytes[] = {0xFF, 0xFF, ecuId, ecu::PartNumberRequest};
    for (uint8_t b : bytes) {
        if (!guard || !port.write(QByteArray(1, char(b)))) return false;
        waitMs(100);
    }
    waitMs(20);
    if (!guard) return false;
    port.discard();
    return true;
}

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
