#include "tools/reg_test.h"

#include "link/ecu_protocol.h"
#include "util/hex.h"

namespace kx {

namespace {
struct RegisterRow {
    uint8_t reg;
    const char* text;
    int gauges[2]; // -1: none
};

const RegisterRow kRegisterTable[] = {
    {0x00, " - CAS Position (RPM) MSB - supported", {-1, -1}},
    {0x01, " - CAS Position (RPM) LSB - supported", {0, -1}},
    {0x04, " - Air Flow MSB - supported", {-1, -1}},
    {0x05, " - Air Flow LSB - supported", {1, -1}},
    {0x06, " - Air Flow RH MSB - supported", {-1, -1}},
    {0x07, " - Air Flow RH LSB - supported", {2, -1}},
    {0x08, " - Water Temp - supported", {3, -1}},
    {0x09, " - O2 Sensor - supported", {4, -1}},
    {0x0A, " - O2 Sensor RH - supported", {5, -1}},
    {0x0B, " - Speed - supported", {6, -1}},
    {0x0C, " - Battery - supported", {7, -1}},
    {0x0D, " - Throttle - supported", {8, -1}},
    {0x0F, " - Fuel Temp - supported", {9, -1}},
    {0x11, " - Intake Air Temp - supported", {10, -1}},
    {0x12, " - Exhaust Gas Temp - supported", {11, -1}},
    {0x13, " - Digital Register - supported", {-1, -1}},
    {0x14, " - Injector Time MSB - supported", {-1, -1}},
    {0x15, " - Injector Time LSB - supported", {12, 20}},
    {0x16, " - Ignition Timing - supported", {13, -1}},
    {0x17, " - AAC Valve - supported", {14, -1}},
    {0x1A, " - A/F Base - supported", {15, -1}},
    {0x1B, " - A/F Base RH - supported", {16, -1}},
    {0x1C, " - A/F Base SL - supported", {17, -1}},
    {0x1D, " - A/F Base SL RH- supported", {18, -1}},
    {0x1E, " - Digital Register - supported", {-1, -1}},
    {0x1F, " - Digital Register - supported", {-1, -1}},
    {0x21, " - Digital Register - supported", {-1, -1}},
    {0x22, " - Injector Time RH MSB - supported", {-1, -1}},
    {0x23, " - Injector Time RH LSB - supported", {19, 21}},
    {0x35, " - O2 Sensor B1 - supported", {22, -1}},
    {0x36, " - O2 Sensor B2 - supported", {23, -1}},
};

const RegisterRow* findRow(uint8_t reg) {
    for (const RegisterRow& r : kRegisterTable)
        if (r.reg == reg) return &r;
    return nullptr;
}

constexpr int kLastAnswerStart = 50;
} // namespace

QByteArray registerProbe(uint8_t reg) {
    QByteArray b;
    b.append(char(ecu::RegisterRead)).append(char(reg));
    return b;
}

bool isProbeAnswer(const QByteArray& bytes) {
    // A whole one-byte frame: the link hands over only frames it has confirmed.
    const int p = findFrame(bytes, 0x01, kLastAnswerStart);
    return p >= 0 && p + 2 < bytes.size();
}

QString registerText(uint8_t reg) {
    const RegisterRow* r = findRow(reg);
    return QString::fromLatin1(r ? r->text : " - not supported");
}

QString registerLine(uint8_t reg) {
    return QStringLiteral("Register ") + hexText(reg, 1) + QStringLiteral(" active") +
           registerText(reg) + QStringLiteral("\r\n");
}

std::vector<int> registerGauges(uint8_t reg) {
    std::vector<int> out;
    if (const RegisterRow* r = findRow(reg))
        for (int g : r->gauges)
            if (g >= 0) out.push_back(g);
    return out;
}

std::vector<int> offeredGauges(const SupportedGauges& supported) {
    std::vector<int> out;
    for (int g = 0; g < kTestedGauges; ++g)
        if (supported[size_t(g)]) out.push_back(g);
    out.push_back(kTestedGauges); // WBo2
    return out;
}

bool RegisterScan::answer(const QByteArray& bytes) {
    if (completed_ || !isProbeAnswer(bytes)) return false;
    for (int g : registerGauges(current_))
        supported_[size_t(g)] = true;
    report_ += registerLine(current_);
    return true;
}

bool RegisterScan::next() {
    if (completed_ || current_ >= kLastProbedRegister) {
        completed_ = true;
        return false;
    }
    ++current_;
    return true;
}

} // namespace kx
