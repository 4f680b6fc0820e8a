#pragma once
// When bytes were on the line, worked out from the bytes themselves. An adapter holds what the
// line brings and hands it on in bursts (every 16 to 40 ms, or at a full packet), and a busy
// machine reads late, so the time a chunk is read says little about when its bytes were sent.
// A streaming ECU sends at a steady pace (10 bits a byte at the line's rate, and whatever it
// rests between frames), so the byte count is a clock. This one counts bytes at the pace the
// line has kept over the last seconds from each recent arrival, and takes the earliest: no byte
// is read before it was sent, and among a few chunks one is read promptly.
#include <QtGlobal>
#include <cstdint>
#include <deque>

namespace kx {

class LineClock {
public:
    // The arrivals that bound the clock: a late read is outvoted by the prompt ones around it,
    // and after a pause the clock follows the arrivals again within this long.
    static constexpr double kBoundMs = 500.0;
    static constexpr size_t kMinBounds = 16; // and at least this many, however long ago
    // The pace is the line's over this long; a gap longer than kPauseMs starts it afresh, unless
    // the read after it brings the bytes of the gap (the program stalled, not the line). Until
    // a pace is known, or on a line that rests longer than it sends (no stream), each chunk is
    // taken to have ended when it was read.
    static constexpr double kPaceWindowMs = 3000.0;
    static constexpr double kPauseMs = 250.0;
    static constexpr double kDensePace = 2.0; // the slowest pace a stream has, in byte times

    // A new stream at `baud` (8N1: 10 bits a byte): what was known of the line is forgotten.
    void reset(int baud);
    // `bytes` were read at tick `tick`. Returns the time the last of them ended on the line.
    double arrived(qsizetype bytes, uint32_t tick);
    // When the byte `before` bytes ahead of the last one read ended on the line.
    double endOf(qsizetype before) const;
    // The same as a tick of the 32-bit counter (rounded to the nearest millisecond).
    uint32_t tickOf(qsizetype before) const;
    // Milliseconds a byte, as the line has kept it lately (never less than a byte's time).
    double pace() const { return pace_; }

private:
    struct Seen {
        double at;     // ms after base_
        int64_t bytes; // bytes read since the clock started, this chunk's included
    };

    double byteMs_ = 10000.0 / 9600.0;
    double pace_ = byteMs_;
    bool known_ = false;
    bool dense_ = false; // a stream's pace is known: the byte count keeps the time
    uint32_t base_ = 0; // the tick the clock counts from, so wraps never reach the arithmetic
    double end_ = 0;    // ms after base_ at which the last byte read ended
    double endBefore_ = 0; // and the last byte of the read before
    qsizetype lastRead_ = 0; // the bytes of the last read
    bool afterPause_ = false; // which came after the line paused
    int64_t bytes_ = 0;
    std::deque<Seen> paced_;  // the arrivals of the pace window
    std::deque<Seen> bounds_; // the arrivals of the last kBoundMs
};

} // namespace kx
