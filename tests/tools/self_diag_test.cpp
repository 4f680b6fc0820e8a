// Self-diagnostic frames into the fault buffer, and the fault text built from it.
#include "tools/self_diag.h"

#include "support/test_support.h"

#include <gtest/gtest.h>
#include <initializer_list>

using namespace kx;
using namespace kx::test;

namespace {
QString textOf(std::initializer_list<int> frame, FaultBuffer faults = {}) {
    getSelfDiagData(bytes(frame), faults);
    return displayCodesText(faults);
}

const QString Started = QStringLiteral(" >Car started %1 times with this fault\r\n");
} // namespace

TEST(SelfDiag, CodeTextsAndStartCounts) {
    EXPECT_EQ(textOf({0xFF, 0x02, 0x55, 0x00}), "Code 55: No Faults");
    // Code 13 ends its line; its start count stands on a line of its own.
    EXPECT_EQ(textOf({0xFF, 0x04, 0x11, 0x03, 0x13, 0x01}),
              "Code 11: Camshaft Angle Sensor circuit (CAS)" + Started.arg(3) +
                  "Code 13: Engine Coolant Temperature Sensor Circuit\r\n" + Started.arg(1));
    EXPECT_EQ(textOf({0xFF, 0x02, 0x43, 0xFF}),
              "Code 43: Throttle Position Sensor Circuit\r\n" + Started.arg(255));
    // Unlisted codes in hexadecimal, without a leading zero.
    EXPECT_EQ(textOf({0xFF, 0x02, 0x22, 0x05}), "Code 22" + Started.arg(5));
    EXPECT_EQ(textOf({0xFF, 0x02, 0x05, 0x00}), "Code 5" + Started.arg(0));
    EXPECT_EQ(textOf({0xFF, 0x02, 0x3F, 0x0C}), "Code 3F" + Started.arg(12));
    EXPECT_EQ(faultCodeText(0x54), "Code 54: Signal circuit from the automatic transmission");
    EXPECT_EQ(faultCodeText(0x00), "Code 0");
}

TEST(SelfDiag, NoFaultsWipesEarlierCodesAndCountZeroShowsNothing) {
    EXPECT_EQ(textOf({0xFF, 0x04, 0x21, 0x02, 0x55, 0x00}), "Code 55: No Faults");
    EXPECT_EQ(textOf({0xFF, 0x06, 0x21, 0x02, 0x55, 0x00, 0x12, 0x01}),
              "Code 55: No Faults"
              "Code 12: Air-Flow Meter circuit (AFM)" +
                  Started.arg(1));
    EXPECT_EQ(textOf({0xFF, 0x00}), "");
}

TEST(SelfDiag, SixtyDataBytesShowTwentyFivePairs) {
    QByteArray frame = bytes({0xFF, 60});
    for (int i = 0; i < 30; ++i)
        frame.append(char(0x31)).append(char(i));
    FaultBuffer faults{};
    getSelfDiagData(frame, faults);
    EXPECT_EQ(faults[0], 60);
    EXPECT_EQ(faults[50], 24); // the 25th pair's start count fills the last element
    const QString text = displayCodesText(faults);
    EXPECT_EQ(text.count("Code 31: ECU - Control Unit"), 25);
    EXPECT_TRUE(text.endsWith(Started.arg(24)));
}

TEST(SelfDiag, OddCountShowsTheLastCodeWithoutAStartCount) {
    // An earlier frame left a start count behind the new frame's data.
    FaultBuffer faults{};
    getSelfDiagData(bytes({0xFF, 0x04, 0x11, 0x03, 0x12, 0x07}), faults);
    getSelfDiagData(bytes({0xFF, 0x03, 0x14, 0x02, 0x22}), faults);
    EXPECT_EQ(faults[4], 0x07); // still there, untouched by the shorter frame
    EXPECT_EQ(displayCodesText(faults),
              "Code 14: Speed Sensor circuit" + Started.arg(2) + "Code 22");
}

TEST(SelfDiag, HeaderSearchAndCopyLimits) {
    FaultBuffer faults{};
    faults.fill(0xAA);
    // Header at index 90 is found; the copy stops where the delivery ends.
    QByteArray at90(90, '\x00');
    at90 += bytes({0xFF, 0x06, 0x13, 0x02, 0x43});
    getSelfDiagData(at90, faults);
    EXPECT_EQ(faults[0], 6);
    EXPECT_EQ(faults[1], 0x13);
    EXPECT_EQ(faults[3], 0x43);
    EXPECT_EQ(faults[4], 0xAA);

    // Header at index 91: nothing changes.
    const FaultBuffer before = faults;
    QByteArray at91(91, '\x00');
    at91 += bytes({0xFF, 0x02, 0x55, 0x00});
    getSelfDiagData(at91, faults);
    EXPECT_EQ(faults, before);
    // A header with nothing after it, and no header at all, change nothing either.
    getSelfDiagData(bytes({0x00, 0xFF}), faults);
    getSelfDiagData(bytes({0x11, 0x02}), faults);
    getSelfDiagData(QByteArray(), faults);
    EXPECT_EQ(faults, before);

    // The first 0xFF is the header, whatever follows it.
    getSelfDiagData(bytes({0x12, 0xFF, 0x02, 0x21, 0x01, 0xFF, 0x02, 0x55, 0x00}), faults);
    EXPECT_EQ(displayCodesText(faults), "Code 21: Ignition signal circuit" + Started.arg(1));
}
