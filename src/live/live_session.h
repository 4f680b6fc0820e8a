#pragma once
// The live-data stream and those who listen to it: the data display, the data logger and
// kestrix-cli. The first listener to join asks for the link on its own behalf and arms the
// stream; another joins the stream as it runs and keeps it when the first leaves. Every
// confirmed frame passes the spike filter, then is decoded once into the live state, and each
// listener is told.
#include "link/EcuLink.h"
#include "live/live_state.h"
#include "live/spike_filter.h"

#include <QPointer>
#include <functional>
#include <vector>

namespace kx {

class Settings;

class LiveSession {
public:
    struct Listener {
        QString name; // for "waits for ... to close"
        // One frame, come at tick `at`, is decoded into the live state (the logger writes it).
        std::function<void(uint32_t at)> frame;
        // Every frame of one delivery is decoded (the display draws the last).
        std::function<void()> shown;
    };

    LiveSession(EcuLink& link, LiveState& state, const Settings& settings);
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // `owner` listens from now on. The first listener asks for the link (and waits its turn);
    // a later one joins the stream as it is.
    void join(QObject* owner, Listener listener);
    // `owner` stops listening. True when another listener was sharing the stream: it keeps the
    // stream and the link, handed over to it. False when `owner` was alone (or not listening):
    // the caller releases the link.
    bool leave(QObject* owner);
    bool listening(const QObject* owner) const;
    // Arms the stream again from the current selection, in `owner`'s name (the link came back,
    // the ECU was identified again).
    void arm(QObject* owner);
    // Frames dropped as spikes since the session was made.
    uint64_t spikesDropped() const { return filter_.dropped(); }
    LiveState& state() { return state_; }

private:
    struct Entry {
        QPointer<QObject> owner;
        Listener listener;
    };
    EcuLink::Claim claim(QObject* owner);
    void frame(const QByteArray& frame);
    void shown();
    void forget(); // drops listeners whose owner is gone

    EcuLink& link_;
    LiveState& state_;
    const Settings& settings_;
    SpikeFilter filter_;
    std::vector<Entry> listeners_;
};

} // namespace kx
