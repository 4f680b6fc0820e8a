#include "tools/self_diag.h"

#include "link/SerialPort.h"
#include "link/ecu_protocol.h"
#include "link/framing.h"

#include <algorithm>

namespace kx {

LinkSequence iniSelfDiag() {
    // The self-diagnostic stream keeps the arming threshold of 100.
    return LinkSequence().arm(QByteArray(1, char(selfdiag::Request)), 50, 0);
}

void getSelfDiagData(const QByteArray& bytes, FaultBuffer& faults) {
    // Any count byte is accepted here, so the search is for the header alone.
    const auto frame = firstFrame(bytes, selfdiag::LastHeaderIndex);
    if (!frame) return;
    faults[0] = frame->count;
    const qsizetype copied = std::min<qsizetype>(frame->data.size(), qsizetype(faults.size()) - 1);
    for (qsizetype i = 0; i < copied; ++i)
        faults[size_t(i + 1)] = uint8_t(frame->data[i]);
}

QString faultCodeText(uint8_t code) {
    switch (code) {
    case 0x11:
        return QStringLiteral("Code 11: Camshaft Angle Sensor circuit (CAS)");
    case 0x12:
        return QStringLiteral("Code 12: Air-Flow Meter circuit (AFM)");
    case 0x13:
        return QStringLiteral("Code 13: Engine Coolant Temperature Sensor Circuit");
    case 0x14:
        return QStringLiteral("Code 14: Speed Sensor circuit");
    case 0x21:
        return QStringLiteral("Code 21: Ignition signal circuit");
    case 0x26:
        return QStringLiteral("Code 26: Boost Pressure sensor");
    case 0x31:
        return QStringLiteral("Code 31: ECU - Control Unit");
    case 0x32:
        return QStringLiteral("Code 32: EGR function");
    case 0x33:
        return QStringLiteral("Code 33: O2 Sensor");
    case 0x34:
        return QStringLiteral("Code 34: Knock Sensor circuit");
    case 0x35:
        return QStringLiteral("Code 35: EGR Temp. Sensor");
    case 0x42:
        return QStringLiteral("Code 42: Fuel Temperature Sensor circuit");
    case 0x43:
        return QStringLiteral("Code 43: Throttle Position Sensor Circuit");
    case 0x45:
        return QStringLiteral("Code 45: Injector leak");
    case 0x51:
        return QStringLiteral("Code 51: Injector circuit");
    case 0x53:
        return QStringLiteral("Code 53: O2 Sensor");
    case 0x54:
        return QStringLiteral("Code 54: Signal circuit from the automatic transmission");
    case 0x55:
        return QStringLiteral("Code 55: No Faults");
    default:
        return QStringLiteral("Code ") + QString::number(code, 16).toUpper();
    }
}

QString displayCodesText(const FaultBuffer& faults) {
    const QString crlf = QStringLiteral("\r\n");
    // Positions past the buffer (a count above 50) are never read: 25 pairs at most.
    const int last = std::min<int>(faults[0], int(faults.size()) - 1);
    QString text;
    for (int i = 1; i <= last; i += 2) {
        const uint8_t code = faults[size_t(i)];
        if (code == 0x55) {
            text = faultCodeText(code);
            continue;
        }
        text += faultCodeText(code);
        // These two codes put their start count on a line of its own.
        if (code == 0x13 || code == 0x43) text += crlf;
        // An odd count byte: this frame carries no start count for its last code.
        if (i + 1 > last) break;
        text += QStringLiteral(" >Car started ") + QString::number(faults[size_t(i + 1)]) +
                QStringLiteral(" times with this fault") + crlf;
    }
    return text;
}

} // namespace kx
