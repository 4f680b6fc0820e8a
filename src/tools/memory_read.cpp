#include "tools/memory_read.h"

#include "link/ecu_protocol.h"
#include "link/framing.h"
#include "util/hex.h"
#include "util/numbers.h"

#include <algorithm>

namespace kx {

QString forceLastDigit(const QString& text, QChar digit) {
    if (text.size() >= 4 && text[3] == digit) return text;
    return text.left(3) + digit;
}

RangeCheck checkRange(const QString& start, const QString& stop) {
    RangeCheck r;
    const auto first = parseAddress(start);
    if (!first) return r.error = RangeCheck::Start, r;
    const auto last = parseAddress(stop);
    if (!last) return r.error = RangeCheck::Stop, r;
    if (*first > *last) return r.error = RangeCheck::Start, r;
    r.start = *first;
    r.stop = *last;
    return r;
}

QByteArray memoryRead(uint8_t command, uint16_t address) {
    QByteArray r;
    r.append(char(command)).append(char(address >> 8)).append(char(address & 0xFF));
    return r;
}

QByteArray fastRequest(uint8_t command, uint16_t first) {
    QByteArray r;
    for (int k = 0; k < memread::FastBytes; ++k)
        r.append(memoryRead(command, uint16_t(first + k)));
    return r;
}

QByteArray watchRequest(uint8_t command, const std::array<uint16_t, 3>& addresses) {
    QByteArray r;
    for (uint16_t a : addresses)
        r.append(memoryRead(command, a));
    return r;
}

QByteArray slowWakeUp() {
    // The initialisation bytes with the usual id, whatever id the connect uses.
    return QByteArray("\xFF\xFF\xEF", 3);
}

namespace {
template <size_t N> std::optional<std::array<uint8_t, N>> findReply(const QByteArray& bytes) {
    const auto data = frameData(bytes, uint8_t(N));
    if (!data) return std::nullopt;
    std::array<uint8_t, N> out{};
    std::copy(data->begin(), data->end(), out.begin());
    return out;
}
} // namespace

std::optional<std::array<uint8_t, 8>> findFastReply(const QByteArray& bytes) {
    return findReply<8>(bytes);
}

std::optional<std::array<uint8_t, 3>> findWatchReply(const QByteArray& bytes) {
    return findReply<3>(bytes);
}

QByteArray SingleRead::request(uint8_t command, uint16_t address) const {
    QByteArray r;
    for (int k = 0; k < times_; ++k)
        r.append(memoryRead(command, address));
    return r;
}

int SingleRead::threshold() const {
    return agreedThreshold(times_);
}

std::optional<uint8_t> SingleRead::take(const QByteArray& frame) {
    if (frame.size() != times_ + 2 || uint8_t(frame[1]) != times_) return std::nullopt;
    const char value = frame[2];
    for (qsizetype i = 3; i < frame.size(); ++i)
        if (frame[i] != value) return std::nullopt;
    times_ = 5 - times_;
    return uint8_t(value);
}

RomDownload::RomDownload(uint16_t start, uint16_t stop, bool fast)
    : start_(start), stop_(stop), fast_(fast), current_(start) {}

std::optional<RomDownload::Request> RomDownload::next() {
    Request r;
    r.first = uint16_t(current_);
    if (fast_) {
        if (current_ >= stop_) return std::nullopt;
        current_ += memread::FastBytes;
        r.shown = uint16_t(current_ - 1);
        r.progress = int(current_ - start_ - 1);
    } else {
        if (current_ > stop_) return std::nullopt;
        r.shown = uint16_t(current_);
        r.progress = int(current_ - start_);
        ++current_;
    }
    return r;
}

QString downloadRateText(qint64 done, qint64 total, qint64 elapsedMs) {
    if (done <= 0 || elapsedMs <= 0) return {};
    const int64_t rate = divRoundHalfEven(done * 1000, elapsedMs);
    const qint64 leftBytes = std::max<qint64>(0, total - done);
    // Whole seconds left, rounded up so that "0 s" means done.
    const qint64 left = (leftBytes * elapsedMs + done * 1000 - 1) / (done * 1000);
    QString when = left >= 60 ? QStringLiteral("%1 min %2 s").arg(left / 60).arg(left % 60)
                              : QStringLiteral("%1 s").arg(left);
    return QStringLiteral("%1 bytes/s, %2 left").arg(rate).arg(when);
}

void WatchRow::take(uint8_t value) {
    current = hexText(value, 1);
    // An unreadable label (never the case unless edited) counts as passed.
    const auto hi = parseHex(max);
    if (!hi || *hi < value) max = current;
    const auto lo = parseHex(min);
    if (!lo || *lo > value) min = current;
}

} // namespace kx
