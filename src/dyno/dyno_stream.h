#pragma once
// The Dyno window's own stream: engine speed, road speed and throttle alone, at the line's full
// rate. Everything that touches the ECU link, its receive modes and the channel layout of the
// stream is here, so that a change to the link is an edit of this file only.
#include "dyno/pull_recorder.h"
#include "live/stream_tap.h"
#include "ui/host.h"

#include <QObject>
#include <functional>

class QWidget;

namespace kx {

class DynoStream : public QObject {
    Q_OBJECT
public:
    DynoStream(const Host& host, QWidget* tool);

    // An ECU is connected: a stream can be asked for.
    bool available() const;
    // Takes the link for the tool (once) and arms the stream; samples follow.
    void start();
    // Stops the stream; the link stays the tool's until it closes.
    void stop();
    bool running() const { return running_; }

    std::function<void(const PullRecorder::Sample&)> sample;
    // The stream fell silent (true) or came back (false), or the link was lost (`lost`).
    std::function<void(bool silent, const QString& why)> silence;
    std::function<void()> availableChanged;
    // Another tool has the link: its name; the link is the stream's at last: empty.
    std::function<void(const QString& holder)> waiting;

private:
    void arm();
    void take(uint32_t at, const FrameReadings& readings);

    Host host_;
    QWidget* tool_;
    bool claimed_ = false;
    bool waited_ = false; // the window was told that another tool has the link
    bool running_ = false;
    StreamTap tap_;
    GaugeSetup layout_;
};

} // namespace kx
