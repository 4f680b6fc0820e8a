#pragma once
// The dashboard's stream (engine speed, road speed and the two dials' registers) and its frame
// layout for the stream tap, the alert lamps' steps, the window layout and the set-up's rules.
#include "link/link_sequence.h"
#include "live/live_data.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace kx {

// Engine speed (0x00, 0x01) and road speed (0x0B) lead every dashboard frame.
inline constexpr int kDashFixedBytes = 3;
// The slots of the stream's layout that it reads: engine speed, road speed, the two dials.
inline constexpr int kDashSlots = 4;

// What the dashboard streams, taken from the set-up when the stream is armed. The request,
// the frame's byte count, the threshold, the dials' names and scales and the decoder all come
// from it, so they agree with each other; the running stream keeps it until it is armed
// again, whatever the set-up window saves meanwhile.
struct DashStream {
    static constexpr int kNoGauge = -1;
    // Each dial's gauge number, kNoGauge for a stored number above 24 (it and the dials after
    // it are neither requested nor decoded).
    std::array<int, 2> gauges{kNoGauge, kNoGauge};
    std::array<GaugeInfo, 2> dials; // each dial's catalogue entry: name, registers, scale
    uint8_t byteCount = 0;          // data bytes the dials add to a frame
};
DashStream dashStream(const GaugeSetup& setup);

// 0x5A 0x00, 0x5A 0x01, 0x5A 0x0B, then the registers of dial 0 and dial 1 in iniStr order.
// Empty when a dial names a gauge above 24.
QByteArray dashRequest(const DashStream& stream);
// The arming: the request in one write, 10 ms, discard, the stream threshold.
LinkSequence iniDashboard(const DashStream& stream);
// Twice the frame length, so that every delivery holds a whole frame.
int dashThreshold(uint8_t dashByteCount);

// The stream's frame as the live-data layout describes it (engine speed, road speed, the two
// dials), for the stream tap; every slot empty when the layouts disagree, which lets every
// frame through unjudged and unread.
GaugeSetup dashStreamSetup(const DashStream& stream);

// A stored alert limit: a whole number that fits 16 bits, else none (no alert).
std::optional<int16_t> dashLimit(const QString& stored);

inline constexpr uint32_t kOrange = 33023;  // 0x0080FF
inline constexpr uint32_t kRed = 0x0000FF;  // in 0x00BBGGRR
inline constexpr uint32_t kBlue = 0xFF0000; // in 0x00BBGGRR

// The lamps' fill colours after one delivery, and how many beeps it sounds (one per lamp over
// its limit).
struct LampStep {
    std::array<uint32_t, 2> fill;
    int beeps = 0;
};
LampStep alertStep(const std::array<uint32_t, 2>& fill, uint32_t back, float rpm, float speed,
                   std::optional<int16_t> rpmLimit, std::optional<int16_t> speedLimit);

// Window layout in twips from the window's outer size.
struct TwipBox {
    int left = 0, top = 0, width = 0, height = 0;
};
struct DashLayout {
    std::array<TwipBox, 2> dial;
    std::array<TwipBox, 2> lamp;
    int captionPoints = 0; // lamp caption font size
};
DashLayout dashLayout(int widthTwips, int heightTwips);
// Top-left of a caption of the given size centred in lamp i.
std::array<int, 2> captionPosition(const DashLayout& l, int i, int captionWidth, int captionHeight);

// The set-up window's 25 list texts, by gauge number.
const QStringList& dashSetupItems();
// "Exactly four digits" and "exactly two or three digits".
bool validRpmText(const QString& text);
bool validSpeedText(const QString& text);

} // namespace kx
