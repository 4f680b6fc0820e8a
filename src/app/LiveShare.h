#pragma once
// The live-data stream that the data display and the logger share. The first of them to open
// asks for the link and arms the stream; the other joins it as it is, and goes on with it when
// the first closes. Every confirmed frame passes the spike filter, then is decoded once, logged,
// and shown.
#include "link/EcuLink.h"
#include "live/spike_filter.h"

#include <functional>

class QWidget;

namespace kx {

class Form1;
class frmDataLog;
class Settings;
struct LiveState;

class LiveShare {
public:
    LiveShare(EcuLink& link, LiveState& state, const Settings& settings,
              std::function<Form1*()> display, std::function<frmDataLog*()> logger);

    // A display or logger was just made.
    void opened(QWidget* tool);
    // A tool closes: true when it was one of two sharing the stream, which the other keeps.
    bool closed(QWidget* tool);

private:
    EcuLink::Claim claim(QWidget* tool);
    void arm(QObject* owner);
    // One confirmed frame: the frame before it, unless a spike, decoded and logged; the display
    // shows the last let through in a delivery.
    void frame(const QByteArray& frame);
    void shown();

    EcuLink& link_;
    LiveState& state_;
    const Settings& settings_;
    SpikeFilter filter_;
    std::function<Form1*()> display_;
    std::function<frmDataLog*()> logger_;
};

} // namespace kx
