#include "tools/reg_test.h"

#include "link/ecu_protocol.h"
#include "link/framing.h"
#include "util/hex.h"

#include <algorithm>

namespace kx {

namespace {
struct RegisterRow {
    uint8_t reg;
    const char* text;
    std::vector<int> gauges; // the gauges an answer vouches for
};

// One row per register of the catalogue, ascending. A channel is vouched for by its last
// (least significant) register, a worked-out channel by the one of the channel it needs.
const std::vector<RegisterRow>& registerTable() {
    static const std::vector<RegisterRow> table = [] {
        std::vector<RegisterRow> rows;
        for (int g = 0; g < kChannelCount; ++g) {
            const Channel& ch = channelAt(g);
            for (int r = 0; r < ch.size; ++r)
                rows.push_back({ch.regs[size_t(r)], ch.registerTexts[size_t(r)], {}});
            if (ch.size > 0) rows.back().gauges.push_back(g);
        }
        for (uint8_t reg : kSwitchRegisters)
            rows.push_back({reg, kSwitchRegisterText, {}});
        for (int g = 0; g < kChannelCount; ++g) {
            const Channel& ch = channelAt(g);
            if (ch.from < 0) continue;
            const Channel& source = channelAt(ch.from);
            for (RegisterRow& row : rows)
                if (row.reg == source.regs[size_t(source.size - 1)]) row.gauges.push_back(g);
        }
        std::stable_sort(rows.begin(), rows.end(),
                         [](const RegisterRow& a, const RegisterRow& b) { return a.reg < b.reg; });
        return rows;
    }();
    return table;
}

const RegisterRow* findRow(uint8_t reg) {
    for (const RegisterRow& r : registerTable())
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
    return frameData(bytes, 0x01, kLastAnswerStart).has_value();
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
    if (const RegisterRow* r = findRow(reg)) out = r->gauges;
    return out;
}

std::vector<int> offeredGauges(const SupportedGauges& supported) {
    std::vector<int> out;
    for (int g = 0; g < kChannelCount; ++g)
        if (channelAt(g).fromEcu() && supported[size_t(g)]) out.push_back(g);
    for (int g = 0; g < kChannelCount; ++g)
        if (!channelAt(g).fromEcu()) out.push_back(g);
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
