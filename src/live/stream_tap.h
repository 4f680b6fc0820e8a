#pragma once
// One live stream between the ECU link and those who read it: its receive mode, the layout its
// request gives its frames, the step that arms it, and the spike filter that every arming
// resets. Each confirmed frame is read once; each frame the filter lets through goes, as its
// time and its readings, to every listener. Nothing above live/ reads frame bytes.
#include "link/link_sequence.h"
#include "live/spike_filter.h"

#include <QByteArray>
#include <QPointer>
#include <functional>
#include <vector>

namespace kx {

class EcuLink;
class Settings;

class StreamTap {
public:
    // One frame that passed: when it ended on the line (a tick) and what it held.
    using Listener = std::function<void(uint32_t at, const FrameReadings& readings)>;

    StreamTap(EcuLink& link, const Settings& settings, ReceiveMode mode);
    StreamTap(const StreamTap&) = delete;
    StreamTap& operator=(const StreamTap&) = delete;

    ReceiveMode mode() const { return mode_; }
    // The layout of the frames now taken: the last arming's.
    const GaugeSetup& layout() const { return layout_; }

    // `arming` (the request as this stream words it), then the step from which its frames are
    // read with `layout` and judged afresh: no frame of an earlier arming is held against them.
    LinkSequence armed(LinkSequence arming, const GaugeSetup& layout);
    // The stream from whatever ran before: the stream stopped, the tap's receive mode, armed(),
    // the stream start.
    LinkSequence stream(LinkSequence arming, const GaugeSetup& layout);

    // `listener` hears every frame that passes from now on, while `owner` lives and until it
    // leaves; one without an owner, for the tap's life. Listeners hear a frame in the order
    // they came.
    void listen(QObject* owner, Listener listener);
    void leave(const QObject* owner);

    // One confirmed frame from the link; nothing while the link runs another receive mode.
    void take(const QByteArray& frame);

    // Frames dropped as spikes since the tap was made.
    uint64_t spikesDropped() const { return filter_.dropped(); }

private:
    struct Entry {
        QPointer<QObject> owner;
        bool owned = false;
        Listener listener;
    };

    EcuLink& link_;
    const Settings& settings_;
    ReceiveMode mode_;
    GaugeSetup layout_;
    SpikeFilter filter_;
    std::vector<Entry> listeners_;
};

} // namespace kx
