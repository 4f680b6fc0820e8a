#pragma once
// The live-data stream and those who listen to it: the data display, the data logger and
// kestrix-cli. The first listener to join asks for the link on its own behalf and arms the
// stream; another joins the stream as it runs and keeps it when the first leaves. The stream's
// tap reads each frame once; a frame that passes is applied to the live state, then each
// listener is told.
#include "link/EcuLink.h"
#include "live/live_state.h"
#include "live/stream_tap.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <vector>

namespace kx {

class Settings;

class LiveSession {
public:
    struct Listener {
        QString name; // for "waits for ... to close"
        // One frame, come at tick `at`, is applied to the live state (the logger writes it).
        StreamTap::Listener frame;
        // Every frame of one delivery is decoded (the display draws the last).
        std::function<void()> shown;
        // It joined while another tool (not a listener) holds the link: it waits for that one.
        std::function<void(const QString& holder)> waiting;
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
    // The arming alone, for a tool that words the rest of the stream itself (an active test):
    // the frames after it are judged afresh, as after arm().
    LinkSequence arming();
    // Frames dropped as spikes since the session was made.
    uint64_t spikesDropped() const { return tap_.spikesDropped(); }
    // A request that the line lost leaves the ECU streaming another count byte, or silent: the
    // stream is asked for again as soon as another count shows, or with no confirmed frame this
    // long after the start (and the frames' own time on top), up to kQuickAsks times until a
    // frame comes.
    static constexpr int kFirstFrameMs = 150;
    static constexpr int kQuickAsks = 2;
    // Streams asked for again because no frame followed their start.
    int quickAsks() const { return quickAsksTotal_; }
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
    void startFirstFrameWatch();
    void lookForFirstFrame();

    EcuLink& link_;
    LiveState& state_;
    const Settings& settings_;
    StreamTap tap_;
    std::vector<Entry> listeners_;
    QTimer firstFrame_; // looks while the first frame is awaited
    QElapsedTimer sinceStart_;
    int firstFrameMs_ = 0;
    bool gotFrame_ = false; // a confirmed frame came since the last arming
    QPointer<QObject> armedFor_;
    int quickAsks_ = 0;
    int quickAsksTotal_ = 0;
};

} // namespace kx
