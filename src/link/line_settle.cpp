#include "link/line_settle.h"

#include "link/SerialPort.h"
#include "link/ecu_protocol.h"

#include <algorithm>

namespace kx {

int LineSettle::quietNeededMs() const {
    // Half as long again as the longest hold seen: the samples spread between none and the
    // adapter's timer, and the longest of the last sixteen comes close to it. Until a few
    // samples have come, assume a common adapter's timer.
    const int hold = port_.holdMs();
    int q = hold + hold / 2 + 5;
    if (port_.holdSampleCount() < 8) q = std::max(q, 50);
    return std::min(q, 400);
}

LineSettle::Look LineSettle::look(bool closing, int& waitMs) {
    if (!clock_.isValid()) {
        clock_.start();
        stopsResent_ = 0;
    }
    const qint64 spent = clock_.elapsed();
    const qint64 quiet = port_.quietMs();
    const qint64 need = quietNeededMs();
    if (quiet >= need || !port_.isOpen()) {
        clock_.invalidate();
        return Look::Quiet;
    }
    const int due = spent >= kLimitMs ? 2 : spent >= kLimitMs / 2 ? 1 : 0;
    if (stopsResent_ < due) {
        stopsResent_ = due;
        port_.write(QByteArray(1, char(ecu::StreamStop)));
    }
    const qint64 giveUpAt = kLimitMs + kLimitMs / 2;
    if (spent >= giveUpAt) {
        clock_.invalidate();
        return closing ? Look::Quiet : Look::Busy;
    }
    const qint64 nextLook = spent < kLimitMs / 2 ? kLimitMs / 2
                            : spent < kLimitMs   ? kLimitMs
                                                 : giveUpAt;
    waitMs = int(std::max<qint64>(1, std::min(need - quiet, nextLook - spent)));
    return Look::Wait;
}

} // namespace kx
