#include "frame_confirm_input.h"

#include "link/framing.h"

#include <QByteArray>
#include <QSet>
#include <array>

namespace kx::fuzz {

namespace {
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t next() { return at < size ? data[at++] : uint8_t(at++ * 37); }
};
} // namespace

bool confirmsOnlySentFrames(const uint8_t* data, size_t size) {
    if (size < 3) return true;
    Reader in{data, size};
    const uint8_t shape = in.next();
    const FrameRule rule =
        std::array{FrameRule::Stream, FrameRule::FirstAgreed, FrameRule::Once}[shape % 3];
    const bool acknowledged = shape & 4;
    const bool oneBlock = shape & 8;
    const int count = 1 + in.next() % 40;
    const int frames = 2 + in.next() % 60;
    // Data shaped like a header (0xFF then the count byte) where the stream's start decides: a
    // one-shot read, and a watched block that repeats (found again after a fault by the frame
    // it continues). A live stream of fresh data is found again after a fault, and no framing
    // rule tells a header from data made to copy it: 0xFF bytes there, but no header-shaped
    // pairs (its values pass the spike filter).
    const bool headerShaped =
        rule == FrameRule::Once || (rule == FrameRule::FirstAgreed && oneBlock);
    QSet<QByteArray> sent;
    QByteArray line;
    if (acknowledged) line.append(char(0x0F));
    QByteArray frame;
    for (int f = 0; f < frames; ++f) {
        if (f == 0 || !oneBlock) {
            frame = QByteArray();
            frame.append(char(kFrameHeader)).append(char(count));
            for (int i = 0; i < count; ++i) {
                uint8_t v = in.next();
                if (v >= 0xF0 && i + 1 < count && headerShaped) {
                    frame.append(char(kFrameHeader)).append(char(count));
                    ++i;
                    continue;
                }
                if (!headerShaped && uint8_t(frame.back()) == kFrameHeader && v == count) v ^= 0x80;
                frame.append(char(v));
            }
        }
        sent.insert(frame);
        line.append(frame);
    }
    // The line's faults: a stray byte added or a byte lost, never two within three frames: the
    // frame a fault spoils, and the one after it that, with its own next header, shows where
    // the stream goes on.
    const int span = 3 * (count + 2);
    QByteArray received;
    int sinceEdit = span;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const uint8_t op = in.next();
        if (sinceEdit >= span && op < 16) {
            sinceEdit = 0;
            if (op < 8) continue;             // lost
            received.append(char(in.next())); // stray, then the byte itself
        }
        ++sinceEdit;
        received.append(line[i]);
    }
    FrameConfirmer confirmer;
    confirmer.expect(count, rule);
    confirmer.started();
    int replies = 0;
    for (qsizetype at = 0; at < received.size();) {
        const qsizetype n = 1 + in.next() % 64;
        for (const QByteArray& f : confirmer.take(received.mid(at, n))) {
            if (!sent.contains(f)) return false;
            ++replies;
        }
        at += n;
    }
    return rule != FrameRule::Once || replies <= 1;
}

} // namespace kx::fuzz
