#include "wideband/wideband.h"

#include "util/numbers.h"

namespace kx::wb {

QByteArray command(const char* text) {
    return QByteArray(text) + '\r';
}

std::optional<int> replyMarker(const QByteArray& reply) {
    for (int p = 0; p <= 3 && p + 1 < reply.size(); ++p)
        if (reply[p] == '>' && reply[p + 1] == ' ') return p;
    return std::nullopt;
}

namespace {
// The first `a` `b` pair at positions from..from + 3.
std::optional<int> pairFrom(const QByteArray& bytes, int from, uint8_t a, uint8_t b) {
    for (int p = from; p <= from + 3 && p + 1 < bytes.size(); ++p)
        if (uint8_t(bytes[p]) == a && uint8_t(bytes[p + 1]) == b) return p;
    return std::nullopt;
}
} // namespace

std::optional<int> startReplyMarker(const QByteArray& bytes, QByteArray& rest) {
    rest.clear();
    int from = 0;
    for (;;) {
        const auto marker = pairFrom(bytes, from, '>', ' ');
        auto frame = pairFrom(bytes, from, 0x5A, 0xA5);
        // A frame's header comes before any "> " its own bytes may hold.
        if (marker && (!frame || *marker < *frame)) return marker;
        // Neither: the tail of a frame the discard at connect cut; the next header puts the
        // walk back in step with the frames.
        if (!frame) {
            const qsizetype next = bytes.indexOf("\x5a\xa5", from);
            if (next < 0) break;
            frame = int(next);
        }
        if (*frame + kFrameSize > bytes.size()) {
            rest = bytes.mid(*frame); // a frame cut by the delivery's end
            return std::nullopt;
        }
        from = *frame + kFrameSize;
    }
    // Too short to rule out a marker or a frame start that the next bytes complete.
    if (bytes.size() - from < 5) rest = bytes.mid(from);
    return std::nullopt;
}

QString replyChars(const QByteArray& reply, int from) {
    return QString::fromLatin1(reply.mid(from, 4));
}

HandshakeStep handshake(int16_t mode, const QByteArray& delivery) {
    HandshakeStep s;
    const auto advance = [&s](int16_t next, QByteArray send) {
        s.advances = true;
        s.next = next;
        s.send = std::move(send);
    };
    switch (mode) {
    case WaitStart:
        // A controller that still streams from an earlier connect sends frames until it reads
        // the start command: only a text reply answers it, or its late reply would be taken
        // for the version. A frame that happens to hold "> " is not one.
        if (startReplyMarker(delivery, s.rest)) {
            advance(WaitVersion, cmdVersion());
            s.discard = true;
        }
        break;
    case WaitVersion:
        if (const auto p = replyMarker(delivery)) {
            advance(WaitCheck, cmdCheck());
            s.pauseMs = kVersionPauseMs;
            s.discard = true;
            s.version = replyChars(delivery, *p + 2);
        }
        break;
    case WaitCheck:
        if (const auto p = replyMarker(delivery)) {
            if (delivery.mid(*p + 4, 2) == "E1")
                advance(WaitSetup, cmdSetup());
            else
                s.incompatible = replyChars(delivery, *p + 2);
        }
        break;
    case WaitSetup:
        advance(WaitW, cmdW());
        break;
    case WaitW:
        advance(WaitT1, cmdT1());
        break;
    case WaitT1:
        advance(Streaming, {});
        s.streams = true;
        break;
    default:
        break;
    }
    return s;
}

std::optional<int> findFrameStart(const QByteArray& delivery) {
    for (int i = 0; i <= kLastFrameStart && i + 1 < delivery.size(); ++i)
        if (uint8_t(delivery[i]) == 0x5A && uint8_t(delivery[i + 1]) == 0xA5) return i;
    return std::nullopt;
}

std::optional<Frame> decodeFrame(const QByteArray& delivery) {
    const auto i = findFrameStart(delivery);
    // The status bytes are the last ones used: a frame cut before them is not half taken.
    if (!i || *i + 26 >= delivery.size()) return std::nullopt;
    const int raw = uint8_t(delivery[*i + 5]) * 256 + uint8_t(delivery[*i + 6]);
    if (raw > 32767) return std::nullopt; // beyond a signed 16-bit value
    return Frame{afrFromRaw(raw), uint8_t(delivery[*i + 25]), uint8_t(delivery[*i + 26])};
}

std::vector<FrameAt> decodeFrames(const QByteArray& bytes, QByteArray& rest) {
    std::vector<FrameAt> frames;
    rest.clear();
    const qsizetype size = bytes.size();
    qsizetype p = 0;
    while (p + 1 < size) {
        if (uint8_t(bytes[p]) != 0x5A || uint8_t(bytes[p + 1]) != 0xA5) {
            ++p;
            continue;
        }
        if (p + kFrameSize > size) {
            rest = bytes.mid(p);
            return frames;
        }
        if (const auto f = decodeFrame(bytes.mid(p, kFrameSize))) {
            frames.push_back({*f, p + kFrameSize});
            p += kFrameSize;
        } else {
            p += 2; // not a frame after all: its start was data
        }
    }
    if (p < size && uint8_t(bytes[p]) == 0x5A) rest = bytes.mid(p);
    return frames;
}

float afrFromRaw(int raw) {
    return roundHalfEvenF(float((raw / 1000.0 * 1.22059) * 2 + 9), 2);
}

namespace {
StatusView status(uint8_t byte, const char* const* texts, int count, int hiddenCode) {
    StatusView v;
    v.captionShown = byte >= 32;
    const int code = byte & 0x1F; // the flags above the low five bits are the caption's
    if (code == hiddenCode) {
        v.text = StatusView::Hidden;
    } else if (code < count && texts[code]) {
        v.text = StatusView::Shown;
        v.value = QString::fromLatin1(texts[code]);
    }
    return v;
}
} // namespace

StatusView sensorStatus(uint8_t s) {
    static const char* const texts[] = {"Wideband null/off", "Wideband Sense", "Wideband Cold",
                                        nullptr, "Wideband Config"};
    return status(s, texts, 5, 3);
}

StatusView heaterStatus(uint8_t h) {
    static const char* const texts[] = {nullptr,        "Vbatt high",          "Vbatt low",
                                        "Heater short", "Heater open circuit", "FET failure"};
    return status(h, texts, 6, 0);
}

bool ratioUsable(uint8_t sensor) {
    return (sensor & 0x1F) == 3;
}

QString statusWord(uint8_t sensor) {
    static const char* const words[] = {"Off", "Sensing", "Cold", "Ready", "Config"};
    const int code = sensor & 0x1F;
    if (code >= 5) return QStringLiteral("Sensor %1").arg(code);
    return QString::fromLatin1(words[code]);
}

} // namespace kx::wb

namespace kx {
Wbo2Layout wbo2Layout(int width, int height, int sensorCaptionWidth, int sensorTextWidth) {
    const int q = width / 4;
    const int h = height / 2;
    Wbo2Layout l;
    l.dial = {q, roundToInt(h * 0.1), 2 * q, h};
    l.graph = {roundToInt(q * 0.1), roundToInt(h * 1.2), roundToInt(q * 3.7), roundToInt(h * 0.6)};
    l.sensorTop = roundToInt(h * 0.2);
    // The sensor texts end at nine tenths of the dial's left edge.
    l.sensorCaptionLeft = roundToInt(0.9 * l.dial.left - sensorCaptionWidth);
    l.sensorTextLeft = roundToInt(0.9 * l.dial.left - sensorTextWidth);
    l.heaterLeft = roundToInt(q * 3.1);
    return l;
}
} // namespace kx
