#pragma once
// The live-data stream that the data display and the logger share. The first of them to open
// asks for the link and arms the stream; the other joins it as it is, and goes on with it when
// the first closes. Every confirmed frame is decoded once, logged, and shown.
#include "link/EcuLink.h"

#include <functional>

class QWidget;

namespace kx {

class Form1;
class frmDataLog;
struct LiveState;

class LiveShare {
public:
    LiveShare(EcuLink& link, LiveState& state, std::function<Form1*()> display,
              std::function<frmDataLog*()> logger);

    // A display or logger was just made.
    void opened(QWidget* tool);
    // A tool closes: true when it was one of two sharing the stream, which the other keeps.
    bool closed(QWidget* tool);

private:
    EcuLink::Claim claim(QWidget* tool);
    void arm(QObject* owner);
    // One confirmed frame: decoded, and logged; the display shows the last of a delivery.
    void frame(const QByteArray& frame);
    void shown();

    EcuLink& link_;
    LiveState& state_;
    std::function<Form1*()> display_;
    std::function<frmDataLog*()> logger_;
};

} // namespace kx
