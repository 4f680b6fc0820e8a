#pragma once
// Drops live-data frames that the line corrupted without changing their length. The protocol
// has no checksum: a stray byte and a lost byte inside one frame leave a frame of the right
// length with wrong bytes, and the next frame's header still follows where the count byte says.
// Such a frame shows as a value that no engine could reach from the frames either side of it.
#include "live/live_data.h"

#include <QByteArray>
#include <cstdint>
#include <initializer_list>
#include <optional>

namespace kx {

class DebugTrace;
class Settings;

// Holds each frame until the next has come. When a channel differs between the held frame and
// the next by more than its gauge's rate allows in the time between them (at least one count),
// one of the two is wrong: the held frame is a spike, dropped and counted, unless it agrees with
// the last frame let through and the next one does not (the next is judged in its turn). A
// frame that the next one follows (a real step) passes, and so does a two-frame excursion, which
// one frame of delay cannot tell from a step. Switch registers and gauges without a rate have
// no limit.
class SpikeFilter {
public:
    struct Frame {
        QByteArray bytes;
        FrameReadings readings;
        uint32_t at = 0; // when it ended on the line (a tick)
    };

    // A stream is (re)armed: nothing is held, and the next frame is a first frame, which has
    // nothing to be judged against and passes at once. `baud` gives the least time between two
    // frames, however an adapter bunches them: each takes its own length on the line.
    void reset(int baud);
    // The next confirmed frame; returns the frame let through now, if any.
    std::optional<Frame> take(Frame next);
    // Frames dropped as spikes since the filter was made.
    uint64_t dropped() const { return dropped_; }

private:
    bool isSpike(const Frame& held, const Frame& next) const;
    // Counts a channel of gauge `gauge` may move between frames `from` and `to`.
    double allowance(int gauge, const Frame& from, const Frame& to) const;

    std::optional<Frame> last_; // the last frame let through in this stream
    std::optional<Frame> held_;
    int baud_ = 9600;
    uint64_t dropped_ = 0;
};

// The layout of a stream that asks for these gauges' registers in this order, as the filter
// reads it (the dashboard's, the time trial's).
GaugeSetup streamLayout(std::initializer_list<int> gauges);

// One confirmed frame of the live-data stream, ended on the line at tick `at`, through
// `filter`; a spike dropped is noted in the link's trace with the count so far. The frame let
// through, if any.
std::optional<SpikeFilter::Frame> filterFrame(SpikeFilter& filter, const QByteArray& frame,
                                              const GaugeSetup& setup, DebugTrace& trace,
                                              uint32_t at);

} // namespace kx
