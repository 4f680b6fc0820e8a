// Memory reads: address entries, requests, reply scanners, a dump's walk and its rate text.
#include "support/test_support.h"
#include "tools/memory_read.h"

#include <QByteArray>
#include <gtest/gtest.h>

using namespace kx;
using namespace kx::test;

TEST(MemoryRead, RangeEntriesAreForcedToWholeLinesAndChecked) {
    struct Case {
        const char* start;
        const char* stop;
        const char* forcedStart;
        RangeCheck::Error error;
        int first, last;
    } cases[] = {
        {"8001", "80F0", "8000", RangeCheck::None, 0x8000, 0x80FF},
        {"800", "800F", "8000", RangeCheck::None, 0x8000, 0x800F},
        {"0000", "FFFF", "0000", RangeCheck::None, 0x0000, 0xFFFF},
        {"80", "800F", "800", RangeCheck::Start, 0, 0},    // three characters after forcing
        {"a000", "B00F", "a000", RangeCheck::Start, 0, 0}, // lower case
        {"9000", "8FFF", "9000", RangeCheck::Start, 0, 0}, // start above stop
        {"8 00", "800F", "8 00", RangeCheck::Start, 0, 0}, // a blank has no value
        {"", "800F", "0", RangeCheck::Start, 0, 0},        // empty
        {"8000", "80G0", "8000", RangeCheck::Stop, 0, 0},
        {"8000", "   ", "8000", RangeCheck::Stop, 0, 0},     // blanks only, forced "   F"
        {"80000", "800F", "80000", RangeCheck::Start, 0, 0}, // fourth digit already 0
    };
    for (const Case& c : cases) {
        const QString start = forceLastDigit(QString::fromLatin1(c.start), u'0');
        const QString stop = forceLastDigit(QString::fromLatin1(c.stop), u'F');
        EXPECT_EQ(start, QString::fromLatin1(c.forcedStart)) << c.start;
        const RangeCheck r = checkRange(start, stop);
        EXPECT_EQ(r.error, c.error) << c.start << " " << c.stop;
        if (c.error != RangeCheck::None) continue;
        EXPECT_EQ(r.start, c.first) << c.start;
        EXPECT_EQ(r.stop, c.last) << c.stop;
    }
    EXPECT_EQ(forceLastDigit(QStringLiteral("80F0"), u'F'), "80FF");
}

TEST(MemoryRead, RequestsCarryTheCommandAndAddresses) {
    EXPECT_EQ(fastRequest(0xC9, 0x8000), hex("c98000c98001c98002c98003c98004c98005c98006c98007"));
    EXPECT_EQ(fastRequest(0xC8, 0xFFF8).right(6), hex("c8fffec8ffff"));
    EXPECT_EQ(slowWakeUp() + memoryRead(0xC9, 0x800F), hex("ffffefc9800f"));
    EXPECT_EQ(watchRequest(0xC9, {0x1000, 0x1001, 0x1002}), hex("c91000c91001c91002"));
}

TEST(MemoryRead, ScannersTakeTheFirstWholeFrameWithTheirCount) {
    using Fast = std::optional<std::array<uint8_t, 8>>;
    using Watch = std::optional<std::array<uint8_t, 3>>;
    const Fast eight = std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8};
    // The stream start's answer, then frames; a 0xFF data byte before a count byte.
    EXPECT_EQ(findFastReply(hex("0fff080102030405060708ff08")), eight);
    // The first place that holds a header and eight bytes wins, even one header early.
    EXPECT_EQ(findFastReply(hex("ff08ff080102030405060708")),
              (Fast{{0xFF, 0x08, 1, 2, 3, 4, 5, 6}}));
    EXPECT_EQ(findFastReply(hex("ff0801020304050607")), std::nullopt);
    EXPECT_EQ(findFastReply(hex("ff03010203ff0801020304050607")), std::nullopt);
    EXPECT_EQ(findFastReply(hex("ff03010203ff080102030405060708")), eight);
    EXPECT_EQ(findFastReply({}), std::nullopt);

    // One address asked for two and three times by turns; a reply needs that many equal bytes,
    // and only a reply taken moves to the other number.
    SingleRead single;
    EXPECT_EQ(single.request(0xC9, 0x800F), hex("c9800fc9800f"));
    EXPECT_EQ(single.threshold(), 11);
    for (const char* other : {"ff01ab", "ff03ababab", "ff02abac", "ff02acab"})
        EXPECT_EQ(single.take(hex(other)), std::nullopt) << other;
    EXPECT_EQ(single.take(hex("ff02ffff")), uint8_t(0xFF));
    EXPECT_EQ(single.request(0xC9, 0x8010), hex("c98010c98010c98010"));
    EXPECT_EQ(single.take(hex("ff02abab")), std::nullopt); // the last request's stream
    EXPECT_EQ(single.take(hex("ff03010101")), uint8_t(0x01));
    EXPECT_EQ(single.times(), 2);

    EXPECT_EQ(findWatchReply(hex("ff031200ffff03")), (Watch{{0x12, 0x00, 0xFF}}));
    EXPECT_EQ(findWatchReply(hex("00ff0312")), std::nullopt);
    EXPECT_EQ(findWatchReply(hex("ff0812000102")), std::nullopt);
}

TEST(MemoryRead, DownloadEndsAtTheTopOfMemoryAndAfterTheRequestInFlight) {
    // The very top of memory: the address counter must not wrap into a second pass.
    RomDownload top(0xFFF0, 0xFFFF, true);
    EXPECT_TRUE(top.next());
    EXPECT_TRUE(top.next());
    EXPECT_FALSE(top.next());
    RomDownload topSlow(0xFFF0, 0xFFFF, false);
    int topRequests = 0;
    while (topSlow.next())
        ++topRequests;
    EXPECT_EQ(topRequests, 16);

    RomDownload stopped(0x8000, 0x80FF, true);
    EXPECT_TRUE(stopped.next());
    stopped.stopEarly();
    EXPECT_FALSE(stopped.next());
}

TEST(MemoryRead, RateTextTellsSpeedAndTimeLeft) {
    EXPECT_EQ(downloadRateText(0, 32768, 1000), "");
    EXPECT_EQ(downloadRateText(8, 32768, 0), "");
    EXPECT_EQ(downloadRateText(880, 32768, 8000), "110 bytes/s, 4 min 50 s left");
    EXPECT_EQ(downloadRateText(100, 120, 1000), "100 bytes/s, 1 s left"); // 0.2 s rounds up
    EXPECT_EQ(downloadRateText(256, 256, 2000), "128 bytes/s, 0 s left");
}

TEST(MemoryRead, WatchRowKeepsHighestAndLowest) {
    WatchRow row;
    EXPECT_EQ(row.max + "|" + row.current + "|" + row.min, "0||FF");
    const struct {
        uint8_t value;
        const char* shown;
    } steps[] = {{0x12, "12|12|12"}, {0x05, "12|5|5"}, {0xAB, "AB|AB|5"}, {0x00, "AB|0|0"}};
    for (const auto& s : steps) {
        row.take(s.value);
        EXPECT_EQ(row.max + "|" + row.current + "|" + row.min, QString::fromLatin1(s.shown));
    }
    WatchRow edges;
    edges.take(0x00);
    EXPECT_EQ(edges.max + "|" + edges.min, "0|0");
    edges = WatchRow{};
    edges.take(0xFF);
    EXPECT_EQ(edges.max + "|" + edges.min, "FF|FF");
}
