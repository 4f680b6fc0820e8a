#include "frame_confirm_input.h"

#include "link/framing.h"

#include <QByteArray>
#include <QSet>
#include <algorithm>

namespace kx::fuzz {

namespace {
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t next() { return at < size ? data[at++] : uint8_t(at++ * 37); }
    bool done() const { return at >= size; }
};
} // namespace

bool confirmsOnlySentFrames(const uint8_t* data, size_t size) {
    if (size < 2) return true;
    Reader in{data, size};
    const int count = 1 + in.next() % 40;
    const int frames = 2 + in.next() % 60;
    QSet<QByteArray> sent;
    QByteArray line;
    for (int f = 0; f < frames; ++f) {
        QByteArray frame;
        frame.append(char(0xFF)).append(char(count));
        for (int i = 0; i < count; ++i)
            frame.append(char(std::min<uint8_t>(in.next(), 0xFE)));
        sent.insert(frame);
        line.append(frame);
    }
    // The line's faults: a stray byte added or a byte lost, never two within two frames.
    const int span = 2 * (count + 2);
    QByteArray received;
    int sinceEdit = span;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const uint8_t op = in.next();
        if (sinceEdit >= span && op < 16) {
            sinceEdit = 0;
            if (op < 8) continue; // lost
            received.append(char(in.next())); // stray, then the byte itself
        }
        ++sinceEdit;
        received.append(line[i]);
    }
    FrameConfirmer confirmer;
    confirmer.expect(count);
    for (qsizetype at = 0; at < received.size();) {
        const qsizetype n = 1 + in.next() % 64;
        for (const QByteArray& f : confirmer.take(received.mid(at, n)))
            if (!sent.contains(f)) return false;
        at += n;
    }
    return true;
}

} // namespace kx::fuzz
