#pragma once
// Active tests: the ECU forces one output or input while the live-data stream keeps running.
// The test table (groups, value lists, parameter bytes) and the byte sequences that start a
// test and end it.
#include "link/link_sequence.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace kx {

namespace activetest {
constexpr uint8_t Request = 0x0A; // followed by the test byte and the parameter byte

enum TestByte : uint8_t {
    EngineTemp = 0x80,
    AFBase = 0x81,
    Timing = 0x82,
    AAC = 0x84,
    IACV = 0x85,
    CylinderOff = 0x88,
    FuelPump = 0x89,
    ClearSelfLearn = 0x8B,
    BaseIdle = 0x8C,
    VCT = 0x8F,
};
} // namespace activetest

// One entry of a value list: what the user picks and the parameter byte it sends.
struct TestValue {
    QString text;
    uint8_t param = 0;
};

// -10 to 150 °C; the text in Fahrenheit when `fahr` (t x 1.8 + 32, no trailing zeros).
std::vector<TestValue> engineTempValues(bool fahr);
// 75 to 125, sent as they are.
std::vector<TestValue> afBaseValues();
// -15 to -1 and +1 to +15 degrees, sent as a signed byte.
std::vector<TestValue> timingValues();
// 0 to 100 per cent, sent scaled to 0..255 (x 2.55, halves to even).
std::vector<TestValue> valveValues();

// Check box k cuts cylinder k + 1: bit k of the mask.
uint8_t cylinderMask(const std::array<bool, 8>& checked);

// 0x0A, test, parameter.
QByteArray activeTestRequest(uint8_t test, uint8_t param);

// Stream stop, the test request, the live-data arming, stream start. A failed write (the
// port was closed) ends it there: the test was then not sent, or not followed by live data.
LinkSequence sendActiveTest(uint8_t test, uint8_t param, const LinkSequence& liveArming);
// Stream stop, the live-data arming, stream start: a request without a test ends the test.
LinkSequence restoreLiveData(const LinkSequence& liveArming);

} // namespace kx
