#pragma once
// The live register test, apart from its window: which register is probed next, how an answer
// is recognised, the text of each register and the gauges it makes available.
#include "live/channels.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace kx {

// Registers 0x00 to 0x38 are probed; the test is over once the register passes this one.
inline constexpr uint8_t kLastProbedRegister = 0x38;

// 0x5A and the register: a one-register read request.
QByteArray registerProbe(uint8_t reg);
// A one-byte frame followed by the next header (0xFF, 0x01, any, 0xFF) at a start position
// 0..50. Never reads past the delivery.
bool isProbeAnswer(const QByteArray& bytes);
// The text after " active": " - ... - supported" or " - not supported".
QString registerText(uint8_t reg);
// "Register " + upper-case hexadecimal without leading zero + " active" + text + CRLF.
QString registerLine(uint8_t reg);
// The gauge numbers an answering register vouches for (none for most).
std::vector<int> registerGauges(uint8_t reg);

// By gauge number; only gauges read from the ECU can be flagged.
using SupportedGauges = std::array<bool, kChannelCount>;
// The gauge numbers the lists offer after an update, ascending: the flagged ones, then those
// that do not depend on the ECU (the wideband gauge).
std::vector<int> offeredGauges(const SupportedGauges& supported);

// The test's progress: the register probed now, the flags and lines gathered so far.
class RegisterScan {
public:
    uint8_t current() const { return current_; }
    bool completed() const { return completed_; }
    const SupportedGauges& supported() const { return supported_; }
    const QString& report() const { return report_; }

    // An answer to the current probe: true (and the line and flags recorded) when it holds one.
    bool answer(const QByteArray& bytes);
    // Moves to the next register; false (and completed) when the last one has been probed.
    bool next();
    // Ends the test early (the port failed).
    void stop() { completed_ = true; }

private:
    uint8_t current_ = 0;
    bool completed_ = false;
    SupportedGauges supported_{};
    QString report_;
};

} // namespace kx
