#pragma once
// Drops live-data frames that the line corrupted without changing their length. The protocol
// has no checksum: a stray byte and a lost byte inside one frame leave a frame of the right
// length with wrong bytes, and the next frame's header still follows where the count byte says.
// Such a frame shows as a value that no engine could reach from the frames either side of it.
#include "live/live_data.h"

#include <QByteArray>
#include <array>
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
// one frame of delay cannot tell from a step. In a slow channel (temperatures, battery) two
// frames shifted alike are likelier than a step: a step's first frame is dropped, and the
// second passes when it agrees with the first and the third with it.
// The first frame of a stream passes only when the next agrees with it. A frame that does not
// decode whole is dropped and judges nothing. A frame that reads as its neighbours once a stretch
// of its bytes is put back one place was shifted by the line (line_shift.h): dropped too. A
// switch state that changes for one frame between two that agree is a spike, but for the
// rich/lean bit, which does flip that fast.
class SpikeFilter {
public:
    struct Frame {
        QByteArray bytes;
        FrameReadings readings;
        uint32_t at = 0;   // when it ended on the line (a tick)
        bool whole = true; // every value and switch its layout asks for was read
    };

    // A stream is (re)armed: nothing is held, and the next frame is a first frame. `baud` gives
    // the least time between two frames, however an adapter bunches them: each takes its own
    // length on the line.
    void reset(int baud);
    // The next confirmed frame; returns the frame let through now, if any.
    std::optional<Frame> take(Frame next);
    // Frames dropped as spikes since the filter was made.
    uint64_t dropped() const { return dropped_; }
    // A frame outside both its neighbours went out and back: by at most this many counts, the
    // neighbours' own difference, or this many times the channel's usual step between frames.
    static constexpr double kTurnCounts = 2;
    static constexpr double kTurnWaver = 3;

private:
    // Whether the held frame passes, against the last let through and the next.
    bool passes(const Frame& held, const Frame& next);
    bool isSpike(const Frame& held, const Frame& next) const;
    // Keeps each slot's usual step between two frames in a row.
    void noteWaver(const Frame& a, const Frame& b);
    // The held frame's slow channels stepped away from the last frame let through.
    bool slowStep(const Frame& held) const;
    // A switch state of the held frame that neither neighbour shows, the two agreeing.
    bool switchBlip(const Frame& held, const Frame& next) const;
    // Every rated channel of `b` lies within reach of `a`.
    bool agree(const Frame& a, const Frame& b) const;
    // Counts a channel of gauge `gauge` may move between frames `from` and `to`.
    double allowance(int gauge, const Frame& from, const Frame& to) const;

    std::optional<Frame> last_; // the last frame let through in this stream
    std::optional<Frame> held_; // the frame waiting for its successor
    // The first frame of a step in a slow channel, dropped until another agrees with it.
    std::optional<Frame> step_;
    std::array<double, kDisplaySlots> waver_{}; // each slot's usual step, in counts
    int baud_ = 9600;
    uint64_t dropped_ = 0;
};

// Whether `readings` hold every value and switch byte that `setup` asks for (a two-byte value
// that reads 0x8000 or more stops the reading short). A layout that reads nothing asks nothing.
bool decodesWhole(const FrameReadings& readings, const GaugeSetup& setup);

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
