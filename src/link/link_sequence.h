#pragma once
// A timed exchange on the ECU link, written as a list of steps that the link runs one after
// the other without blocking the event loop: write, wait, discard, threshold, receive mode.
#include "link/framing.h"
#include "link/receive_mode.h"

#include <QByteArray>
#include <cstdint>
#include <deque>
#include <functional>

namespace kx {

struct LinkStep {
    enum Kind {
        Write,
        Wait,
        Discard,
        Threshold,
        Mode,
        Call,
        ClosePort,
        Close,
        Open,
        Frames,
        Settle
    };
    Kind kind = Call;
    QByteArray bytes;                          // Write
    static constexpr int kSettleThenClose = 1; // Settle: the port closes next
    int value = 0;         // Wait (ms), Threshold (count), Mode (receive mode), Frames (count)
    bool traced = false;   // Write: the bytes go to the debug trace as a send record
    bool answered = false; // Write: the ECU answers it (a sample of the line's hold time)
    FrameRule rule = FrameRule::Stream; // Frames
    std::function<void()> call;         // Call

    static LinkStep of(Kind kind, int value = 0) {
        LinkStep s;
        s.kind = kind;
        s.value = value;
        return s;
    }
};

class LinkSequence {
public:
    // A failed write (the port is closed) ends the sequence there; the steps after it are not
    // done and onEnd gets false.
    LinkSequence& write(const QByteArray& bytes, bool traced = false);
    LinkSequence& write(uint8_t byte) { return write(QByteArray(1, char(byte))); }
    // A write the ECU answers at once (a request, the initialisation): the time to its answer
    // is a sample of how long the line holds bytes back. Best made right after a delivery, as
    // a tool does when it asks for the next reply: the sample then spans the adapter's whole
    // timer.
    LinkSequence& ask(const QByteArray& bytes);
    // One write per byte, each followed by the pause.
    LinkSequence& writeEach(const QByteArray& bytes, uint32_t pauseMs);
    // At least this long, measured from the step before.
    LinkSequence& wait(uint32_t ms);
    LinkSequence& discard();
    // Waits until the line has been quiet for longer than it has been seen to hold bytes back,
    // so that whatever a stopped stream still had on its way has come before the discard that
    // follows. Free on a line that holds nothing back and is already quiet.
    LinkSequence& settle();
    // From here on the tool is handed only confirmed frames with this count byte
    // (FrameConfirmer::AnyCount: any), one at a time. Without it (after a mode step), deliveries
    // are handed over as they come.
    LinkSequence& frames(int count, FrameRule rule = FrameRule::Stream);
    LinkSequence& threshold(int count);
    LinkSequence& mode(ReceiveMode readMode);
    LinkSequence& then(std::function<void()> step);
    // The other sequence's steps after these.
    LinkSequence& append(const LinkSequence& other);

    // 0xF0.
    LinkSequence& startStream();
    // 0x30, 50 ms, settle, discard.
    LinkSequence& stopStream();
    // The arming pattern: threshold 100, the request (a byte per write if asked), the pause,
    // settle, discard, then the stream threshold (unless 0), whose frames hold
    // (threshold - 4) / 2 data bytes (any count without a threshold). The caller then sets the
    // mode and starts.
    LinkSequence& arm(const QByteArray& request, uint32_t pauseMs, int streamThreshold,
                      bool bytePerWrite = false, bool traced = false);
    // When the port is open: the stream stop, then close. Nothing when it is closed.
    LinkSequence& closePort();
    // Opens the port with the stored port and speed; a failure ends the sequence.
    LinkSequence& openPort();

    // Runs when the sequence ends: true when every step was done, false when a write or the
    // open failed. Not run when the sequence is cancelled.
    LinkSequence& onEnd(std::function<void(bool)> end);

    std::deque<LinkStep> steps;
    std::function<void(bool)> end;
};

} // namespace kx
