#pragma once
// Finding the ECU's repeated answer frame (0xFF, count byte, data bytes) in the received bytes.
#include <QByteArray>
#include <QList>
#include <cstdint>
#include <optional>

namespace kx {

inline constexpr uint8_t kFrameHeader = 0xFF;

// The first position p in 0..lastStart with bytes[p] = 0xFF and bytes[p + 1] = count, or -1.
// Never reads past the delivered bytes.
int findFrame(const QByteArray& bytes, uint8_t count, int lastStart);

// The data bytes of the first whole frame with `count` whose header starts within 0..lastStart
// (by default anywhere), in a delivery of frames the link has confirmed; none when there is no
// such frame or its data runs past the delivery.
std::optional<QByteArray> frameData(const QByteArray& bytes, uint8_t count, int lastStart = -1);

// The first header within 0..lastStart whatever its count (a stream whose count changes with
// what it carries): its count byte and as much of its data as the delivery holds.
struct HeldFrame {
    uint8_t count = 0;
    QByteArray data;
};
std::optional<HeldFrame> firstFrame(const QByteArray& bytes, int lastStart);

// How a stream's frames are taken.
enum class FrameRule {
    // A live stream: every confirmed frame; after a fault the frames are found again.
    Stream,
    // A stream whose first frame counts only once the next one agrees with it, as under Once
    // (the first value of a watched address); then as Stream.
    FirstAgreed,
    // A one-shot read: the ECU repeats the block until stopped, so the reply is the first frame
    // that the next one repeats byte for byte. A fault breaks the stream for good: the data may
    // hold header-shaped bytes, so finding the frames again inside it is not safe; the block is
    // asked for again instead.
    Once,
};

// Confirms frames across deliveries. The protocol has no checksum, and a line near an ignition
// loses bytes and picks up stray ones, so a frame is taken only when the next frame's header
// (0xFF and the same count byte) follows exactly where its count says it ends: a byte lost or
// added inside the frame moves that header and the frame is dropped. The last frame of a
// delivery waits for the next delivery.
//
// Data can look like a header (0xFF then the count: erased flash, code), and a stream that
// repeats one block confirms a rotated frame as well as the real one. So the phase is taken
// from the stream's start: its first frame opens the bytes that follow the start (after one
// byte of acknowledgement, when the ECU sends one), and each later frame follows the one before.
class FrameConfirmer {
public:
    // Any count byte (the self-diagnostic stream, whose length follows the stored faults).
    static constexpr int AnyCount = -1;

    // A new stream of frames with this count byte: what was held is forgotten.
    void expect(int count, FrameRule rule = FrameRule::Stream);
    int expected() const { return count_; }
    FrameRule rule() const { return rule_; }
    // The stream start went out: the first frame opens what comes next.
    void started();
    // Forgets what was held (the receive buffer was discarded).
    void clear();
    // Takes a delivery; returns each confirmed frame (header, count byte, data) in order. Under
    // FrameRule::Once, at most one frame per start: the reply.
    QList<QByteArray> take(const QByteArray& delivery);
    // For each frame the last take() returned: how many bytes received so far follow its end
    // (what the line carried after it, for its time on the line).
    const QList<qsizetype>& tails() const { return tails_; }
    // The stream lost its footing before its first value was agreed (FrameRule::Once and
    // FirstAgreed); nothing more comes of it: ask again.
    bool broken() const { return broken_; }
    // Candidate frames that failed the check since expect().
    uint64_t dropped() const { return dropped_; }
    // A live stream (FrameRule::Stream, one count byte) that has given no frame since its start
    // runs with another count byte: three headers of that count in step. The ECU did not take
    // the request whole and streams what it did take, or the stream before.
    bool otherStream() const { return otherStream_; }

private:
    bool headerAt(qsizetype p) const;
    enum class Verdict { No, Yes, Unknown };
    // Whether a frame starts at p and the next header confirms it; Unknown until bytes come.
    Verdict verdictAt(qsizetype p) const;
    // After a fault at the header expected at faultAt_: the frame start that a single lost or
    // stray byte explains, or -1; nothing while more bytes are needed to tell.
    std::optional<qsizetype> nearResync() const;
    // The header expected at `header` was not there: find the stream again.
    void lostAt(qsizetype header, int period);
    // The frame at p is taken; false while it waits for its agreement.
    bool deliver(qsizetype p, QList<QByteArray>& frames);
    void breakStream();
    // A header-shaped pair at p that is not this stream's: one more in step of another stream?
    void noteOtherHeader(qsizetype p);
    void forgetOther();

    int count_ = AnyCount;
    FrameRule rule_ = FrameRule::Stream;
    QByteArray held_;
    QList<qsizetype> tails_;
    QByteArray last_;        // the last confirmed frame: the reference for agreement and re-sync
    bool anchoring_ = false; // the first frame after the start is yet to come
    bool inStep_ = false;    // held_ begins at a frame start
    bool resyncing_ = false; // a fault was seen; the stream is looked for near faultAt_
    qsizetype faultAt_ = 0;  // where the missing header was expected, in held_
    int faultPeriod_ = 0;    // the frame length there, when known
    bool agreed_ = true;     // the first frame has been agreed (or need not be)
    bool done_ = false;      // Once: the reply was taken
    bool broken_ = false;
    uint64_t dropped_ = 0;
    qsizetype base_ = 0;      // bytes taken off held_'s front since the start
    int otherCount_ = -1;     // the count byte of the other stream's headers seen in step
    qsizetype otherNext_ = 0; // where its next header would be, counted from the start
    int otherSeen_ = 0;
    bool otherStream_ = false;
};

} // namespace kx
