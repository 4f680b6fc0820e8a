#pragma once
// Reading ECU memory: the address entries, the read requests of the ROM dump's two methods and
// of the address watch, the scanners for their replies, and the dump's progress through a range.
#include "link/receive_mode.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace kx {

namespace memread {
constexpr ReceiveMode FastMode = ReceiveMode::RomFast; // receive mode of the eight-address method
constexpr ReceiveMode SlowMode = ReceiveMode::RomSlow; // receive mode of the one-address method
constexpr ReceiveMode WatchMode = ReceiveMode::AddressWatch; // receive mode of the address watch
constexpr int FastBytes = 8;                                 // addresses per fast request
constexpr int WatchBytes = 3;                                // addresses watched
constexpr int WatchThreshold = 10;
constexpr uint32_t FastPauseMs = 25; // after each half of a fast request
constexpr uint32_t SlowPauseMs = 15;
constexpr uint32_t WatchPauseMs = 20;
} // namespace memread

// A range entry as the user typed it, with its last digit forced: a start ends in 0 and a stop
// in F, so a range always covers whole 16-byte lines. A text shorter than four characters
// gets the digit in its fourth place.
QString forceLastDigit(const QString& text, QChar digit);

// Both entries of a dump checked and converted. `error` names the entry that was refused.
struct RangeCheck {
    enum Error { None, Start, Stop } error = None;
    uint16_t start = 0;
    uint16_t stop = 0;
};
// The texts are expected after forceLastDigit. A start above the stop is the start's fault.
RangeCheck checkRange(const QString& start, const QString& stop);

// One memory read request: the command byte, then the address high and low byte.
QByteArray memoryRead(uint8_t command, uint16_t address);
// Eight requests for the addresses from `first` on, wrapping past FFFF.
QByteArray fastRequest(uint8_t command, uint16_t first);
// The three addresses of the watch, in order.
QByteArray watchRequest(uint8_t command, const std::array<uint16_t, 3>& addresses);
// What the slow method sends before each single read.
QByteArray slowWakeUp();

// Reply scanners: the first frame with the method's count byte that lies whole in the
// delivery, or nothing.
std::optional<std::array<uint8_t, 8>> findFastReply(const QByteArray& bytes);
std::optional<std::array<uint8_t, 3>> findWatchReply(const QByteArray& bytes);

// One address read on its own: the dump's slow method and the map trace's cells. The address is
// asked for two and three times in one request by turns, and a reply counts only with that many
// equal bytes: the ECU streams the last request whose bytes it took whole, so a request that the
// line spoiled would otherwise be answered by the stream of the one before, a one-byte frame
// like any other.
class SingleRead {
public:
    // The address asked for times() times (after slowWakeUp()).
    QByteArray request(uint8_t command, uint16_t address) const;
    int times() const { return times_; }
    int threshold() const;
    // The value of a confirmed reply frame, when it has times() equal bytes; the next request
    // then asks another number of times.
    std::optional<uint8_t> take(const QByteArray& frame);

private:
    int times_ = 2;
};

// A dump's walk through its range: which addresses the next request asks for, what the window
// shows meanwhile, and where it stands.
class RomDownload {
public:
    RomDownload(uint16_t start, uint16_t stop, bool fast);

    struct Request {
        uint16_t first = 0; // first address asked for
        uint16_t shown = 0; // the address the window shows
        int progress = 0;   // the progress bar's value (0 .. stop - start)
    };
    // The next request, with the current address moved past it; nothing once the range is
    // done or stopped.
    std::optional<Request> next();
    // The request in flight is the last.
    void stopEarly() { current_ = int32_t(stop_) + 1; }

    bool fast() const { return fast_; }
    uint16_t start() const { return start_; }
    uint16_t stop() const { return stop_; }
    // Bytes in the whole range.
    int total() const { return int(stop_) - int(start_) + 1; }

private:
    uint16_t start_;
    uint16_t stop_;
    bool fast_;
    int32_t current_;
};

// "110 bytes/s, 4 min 57 s left" from the bytes read so far and the time taken; empty until
// there is a rate to tell.
QString downloadRateText(qint64 done, qint64 total, qint64 elapsedMs);

// The address watch's labels of one row: the maximum and minimum live in their texts.
struct WatchRow {
    QString max = QStringLiteral("0");
    QString current;
    QString min = QStringLiteral("FF");
    // Takes a new byte: current, and max and min where it goes past them.
    void take(uint8_t value);
};

} // namespace kx
