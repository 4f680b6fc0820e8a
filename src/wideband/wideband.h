#pragma once
// The wideband controller's protocol: the text-command handshake that starts its stream, and
// the 28-byte measurement frames that follow. Plain functions from bytes to decisions.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace kx::wb {

inline constexpr int kHandshakeThreshold = 10;
inline constexpr int kStreamThreshold = 28; // a frame: each is taken as soon as it is whole
inline constexpr int kFrameSize = 28;
inline constexpr int kLastFrameStart = 28;
inline constexpr int kVersionPauseMs = 100;

// Receive modes of the wideband port: the handshake runs 4, 1, 2, 5, 6, 7, then 3 streams.
enum Mode : int16_t {
    Streaming = 3,
    WaitStart = 4,
    WaitVersion = 1,
    WaitCheck = 2,
    WaitSetup = 5,
    WaitW = 6,
    WaitT1 = 7,
};

// The command texts, each ended by a carriage return and written in one write.
QByteArray command(const char* text);
inline QByteArray cmdStart() {
    return command("tf");
}
inline QByteArray cmdVersion() {
    return command("v");
}
inline QByteArray cmdCheck() {
    return command("s03e1");
}
inline QByteArray cmdSetup() {
    return command("s0406");
}
inline QByteArray cmdW() {
    return command("w");
}
inline QByteArray cmdT1() {
    return command("t1");
}

// Position of the ">" and blank that open a text reply, searched at positions 0 to 3.
std::optional<int> replyMarker(const QByteArray& reply);
// The same for the reply to the start command, which a controller still streaming from an
// earlier connect may send after its last frames: positions 0 to 3 from the start of the bytes
// or from the end of the whole frames they begin with (the tail of a frame cut at connect is
// skipped to the next header), never inside a frame. `rest` gets what
// may still begin a frame or the reply when the next delivery is put after it.
std::optional<int> startReplyMarker(const QByteArray& bytes, QByteArray& rest);
// Up to four characters from position `from` (fewer when the reply ends first).
QString replyChars(const QByteArray& reply, int from);

// What one delivery does to the handshake in receive mode `mode`.
struct HandshakeStep {
    bool advances = false; // the reply was taken: the mode, pause, discard and send below apply
    int16_t next = 0;
    int pauseMs = 0;                     // before the discard and the send
    bool discard = false;                // buffered input is dropped before the send
    QByteArray send;                     // empty: nothing to send
    std::optional<QString> version;      // the version reply's four characters
    std::optional<QString> incompatible; // the check failed: the four characters it showed
    bool streams = false;                // the stream threshold is set: frames follow
    QByteArray rest; // mode 4 without its reply: to be put before the next delivery
};
// Modes 4, 1, 2, 5, 6 and 7; any other mode gives a step that does not advance. Mode 4 takes a
// delivery whose text reply begins where startReplyMarker looks; 5, 6 and 7 take any.
HandshakeStep handshake(int16_t mode, const QByteArray& delivery);

// A decoded measurement.
struct Frame {
    float afr = 0;      // rounded to 2 decimals
    uint8_t sensor = 0; // sensor status byte
    uint8_t heater = 0; // heater status byte
};
// The first 0x5A 0xA5 at positions 0 to 28.
std::optional<int> findFrameStart(const QByteArray& delivery);
// The first frame of a delivery. Nothing for a delivery without a frame start, a frame cut
// short, or a raw value above 32767.
std::optional<Frame> decodeFrame(const QByteArray& delivery);
// Every whole frame in a stream's bytes, with where it ends; `rest` gets what may begin the next
// frame (to be put before the next delivery).
struct FrameAt {
    Frame frame;
    qsizetype end = 0;
};
std::vector<FrameAt> decodeFrames(const QByteArray& bytes, QByteArray& rest);
// (raw / 1000 × 1.22059) × 2 + 9 as a single, rounded to 2 decimals, halves to even.
float afrFromRaw(int raw);

// What a status byte does to its caption and its status text.
struct StatusView {
    bool captionShown = false;
    enum Text { Unchanged, Hidden, Shown } text = Unchanged;
    QString value; // when Shown
};
StatusView sensorStatus(uint8_t s);
StatusView heaterStatus(uint8_t h);
// The sensor status says it measures: its ratio is a reading (not cold, sensing, off or in
// set-up).
bool ratioUsable(uint8_t sensor);
// A short word for a sensor status, as a log's "WB State" column holds it: "Ready", "Cold",
// "Sensing", "Off", "Config" (or "Sensor N" for a code it does not know).
QString statusWord(uint8_t sensor);

} // namespace kx::wb

namespace kx {
// The AFR window's layout in twips from its size: the dial, the graph and the two status
// columns (their label widths in twips are given, since a caption's width sets its left).
struct Wbo2Layout {
    struct Box {
        int left = 0, top = 0, width = 0, height = 0;
    };
    Box dial, graph;
    int sensorTop = 0, heaterLeft = 0;
    int sensorCaptionLeft = 0, sensorTextLeft = 0;
};
Wbo2Layout wbo2Layout(int width, int height, int sensorCaptionWidth, int sensorTextWidth);
} // namespace kx
