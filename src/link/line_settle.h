#pragma once
// Waiting for a stopped stream to fall quiet before the next request. A stream still running
// when it should have stopped lost its stop on the line: the stop is said again halfway and at
// the limit, and a stream is never started into a line that still streams.
#include <QElapsedTimer>
#include <QtGlobal>

namespace kx {

class SerialPort;

class LineSettle {
public:
    // The longest a settle waits for the line to fall quiet before it gives up (half as long
    // again after the last stop said).
    static constexpr int kLimitMs = 1000;
    enum class Look { Quiet, Wait, Busy };

    explicit LineSettle(SerialPort& port) : port_(port) {}
    // How long the line must be quiet, from what it has shown of its hold time.
    int quietNeededMs() const;
    // One look at the line. Quiet: go on. Wait: look again after `waitMs`. Busy: the stream
    // would not stop (before a close, Quiet instead: the close goes on).
    Look look(bool closing, int& waitMs);
    // A settle left half done must not shorten the next one.
    void reset() { clock_.invalidate(); }

private:
    SerialPort& port_;
    QElapsedTimer clock_;
    int stopsResent_ = 0;
};

} // namespace kx
