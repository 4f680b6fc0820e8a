#include "link/SerialPort.h"
#include "link/ecu_protocol.h"

#include "support/test_support.h"
#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

namespace {
// An identification frame: header, count, data bytes with the part number at its place.
QByteArray idFrame(const char* part, bool obd2) {
    const int n = obd2 ? 32 : 22;
    QByteArray f = bytes({0xFF, n});
    QByteArray data(n, '\x01');
    data.replace(obd2 ? 27 : 17, 5, part);
    return f + data;
}
} // namespace

TEST(FrameSearch, FirstWholeHeaderWithinTheWindowWins) {
    // Two frames in one delivery: the first is used.
    const QByteArray two = bytes({0xFF, 2, 10, 11, 0xFF, 2, 20, 21});
    EXPECT_EQ(findFrame(two, 2, 4), 0);
    // A header that only starts at N + 3 is too late.
    EXPECT_EQ(findFrame(bytes({0, 0, 0, 0, 0, 0xFF, 2, 1, 2}), 2, 4), -1);
    EXPECT_EQ(findFrame(bytes({0, 0, 0, 0, 0xFF, 2, 1, 2}), 2, 4), 4);
    // 0xFF inside the data counts as a header only when the count byte follows it.
    EXPECT_EQ(findFrame(bytes({9, 0xFF, 7, 0xFF, 2, 0xFF, 3}), 2, 4), 3);
    EXPECT_EQ(findFrame(bytes({1, 0xFF, 2, 0xFF, 2, 0xFF, 0xFF}), 2, 4), 1);
    // A header as the very last byte has no count byte after it.
    EXPECT_EQ(findFrame(bytes({1, 2, 0xFF}), 2, 4), -1);
    EXPECT_EQ(findFrame(QByteArray(), 2, 4), -1);
    // A frame's data: only a whole one, the first, and within the window when one is given.
    EXPECT_EQ(frameData(two, 2), bytes({10, 11}));
    EXPECT_EQ(frameData(bytes({0xFF, 2, 10}), 2), std::nullopt);
    EXPECT_EQ(frameData(bytes({0xFF, 3, 0xFF, 2, 5, 6}), 2), bytes({5, 6}));
    EXPECT_EQ(frameData(bytes({0, 0xFF, 2, 5, 6}), 2, 0), std::nullopt);
    EXPECT_EQ(frameData(bytes({0, 0xFF, 2, 5, 6}), 2, 1), bytes({5, 6}));
}

TEST(Identification, PartNumberAtItsPlaceForBothGenerations) {
    EXPECT_EQ(findPartNumber(idFrame("1U800", false), false), "1U800");
    EXPECT_EQ(findPartNumber(bytes({7, 7, 7}) + idFrame("ABCDE", false), false), "ABCDE");
    EXPECT_EQ(findPartNumber(idFrame("9Z123", true), true), "9Z123");
    // The earlier generation's frame is not an OBD-II reply, and the other way round.
    EXPECT_FALSE(findPartNumber(idFrame("1U800", false), true));
    EXPECT_FALSE(findPartNumber(idFrame("9Z123", true), false));
    // A frame cut short before its part number gives nothing rather than part of it.
    EXPECT_FALSE(findPartNumber(idFrame("1U800", false).left(22), false));
    // Start position 24 is the last one searched.
    EXPECT_TRUE(findPartNumber(QByteArray(24, 0) + idFrame("1U800", false), false));
    EXPECT_FALSE(findPartNumber(QByteArray(25, 0) + idFrame("1U800", false), false));
}
