// The wideband protocol as plain functions: frames, AFR, status texts, handshake replies.
#include "support/test_support.h"
#include "util/colour.h"
#include "wideband/wideband.h"

#include <gtest/gtest.h>

namespace kx::wb {
namespace {

QByteArray frameAt(int offset, int raw, uint8_t sensor = 35, uint8_t heater = 0) {
    QByteArray d(offset + kFrameSize, '\0');
    d[offset] = char(0x5A);
    d[offset + 1] = char(0xA5);
    d[offset + 5] = char(raw >> 8);
    d[offset + 6] = char(raw & 0xFF);
    d[offset + 25] = char(sensor);
    d[offset + 26] = char(heater);
    return d;
}

TEST(Wideband, AfrFromRawWithColour) {
    struct Case {
        int raw;
        float afr;
        uint32_t colour;
    };
    const Case cases[] = {
        {0, 9.0f, 0x00FF00},
        {2408, 14.88f, 0x0000FF}, // 14.878...: red, since the stored value is what counts
        {2350, 14.74f, 0x0000FF},
        {2300, 14.61f, 0x00FF00},
        {2335, 14.70f, 0x0000FF}, // exactly stoichiometric: red (the map trace shows the same)
        {2331, 14.69f, 0x00FF00},
    };
    for (const Case& c : cases) {
        const auto f = decodeFrame(frameAt(3, c.raw, 35, 37));
        ASSERT_TRUE(f) << c.raw;
        EXPECT_EQ(f->afr, c.afr) << c.raw;
        EXPECT_EQ(afrColour(f->afr), c.colour) << c.raw;
        EXPECT_EQ(f->sensor, 35);
        EXPECT_EQ(f->heater, 37);
    }
}

TEST(Wideband, FrameSearch) {
    EXPECT_TRUE(decodeFrame(frameAt(28, 1000)));
    EXPECT_FALSE(decodeFrame(frameAt(29, 1000)));         // past the last start looked at
    EXPECT_FALSE(decodeFrame(frameAt(0, 0x8000)));        // beyond a signed 16-bit value
    EXPECT_FALSE(decodeFrame(frameAt(0, 1000).left(26))); // cut before the status bytes
    EXPECT_FALSE(decodeFrame(QByteArray()));
    // The first frame of a delivery counts.
    const auto two = decodeFrame(frameAt(0, 0) + frameAt(0, 2408));
    ASSERT_TRUE(two);
    EXPECT_EQ(two->afr, 9.0f);
}

TEST(Wideband, StatusTexts) {
    const StatusView s35 = sensorStatus(35);
    EXPECT_TRUE(s35.captionShown);
    EXPECT_EQ(s35.text, StatusView::Hidden);
    const StatusView s2 = sensorStatus(2);
    EXPECT_FALSE(s2.captionShown);
    EXPECT_EQ(s2.value, "Wideband Cold");
    const StatusView h37 = heaterStatus(37);
    EXPECT_TRUE(h37.captionShown);
    EXPECT_EQ(h37.value, "FET failure");
    EXPECT_EQ(heaterStatus(128 + 32).text, StatusView::Hidden);
    EXPECT_EQ(sensorStatus(7).text, StatusView::Unchanged);
    EXPECT_EQ(heaterStatus(6).text, StatusView::Unchanged);
}

TEST(Wideband, HandshakeReplies) {
    // The version marker at position 2: the four characters at 4 to 7.
    const HandshakeStep v = handshake(WaitVersion, "xx> 0120 WB\r\n");
    EXPECT_TRUE(v.advances);
    EXPECT_EQ(v.version, "0120");
    EXPECT_EQ(v.next, WaitCheck);
    EXPECT_EQ(v.pauseMs, 100);
    EXPECT_EQ(v.send, QByteArray("s03e1\r"));
    EXPECT_FALSE(handshake(WaitVersion, "xxxx> 0120").advances); // marker too late
    EXPECT_FALSE(handshake(WaitCheck, "no marker here").advances);

    const HandshakeStep ok = handshake(WaitCheck, "> 03E1 OK \r\n");
    EXPECT_EQ(ok.next, WaitSetup);
    EXPECT_EQ(ok.send, QByteArray("s0406\r"));
    const HandshakeStep bad = handshake(WaitCheck, "> 03E0 ERR\r\n");
    EXPECT_FALSE(bad.advances);
    EXPECT_EQ(bad.incompatible, "03E0");

    // The start reply: where every text reply starts, or right after the whole frames of a
    // controller that was still streaming; never inside a frame.
    QByteArray holding = frameAt(0, 0x3E20);
    holding.replace(12, 2, "> ");
    QByteArray early = holding; // "> " before the marker's last place, after the header
    early.replace(2, 2, "> ");
    const struct {
        QByteArray delivery;
        bool taken;
        QByteArray rest;
    } starts[] = {
        {"> tf OK", true, ""},
        {"\x5a\xa5> tf OK", false, "\x5a\xa5> tf OK"}, // a frame's header goes first
        {"xxxx> tf OK", false, ""},
        {holding, false, ""},                      // "> " and 3E 20 inside a frame
        {holding + holding + "> tf OK", true, ""}, // after two whole frames
        {holding + "xx> tf OK", true, ""},
        {holding + "xxxxxx> tf", false, ""},
        {holding.left(20), false, holding.left(20)}, // a frame cut short: kept
        {"xx" + holding + ">", false, ">"},          // a marker the next bytes finish
        {QByteArray(28, '\x5a'), false, ""},
        {early, false, ""},
        {holding.mid(7) + holding + "> tf OK", true, ""}, // a cut frame, then back in step
        {holding.mid(7) + "> tf OK", false, ""},          // out of reach: asked again
    };
    for (const auto& c : starts) {
        const HandshakeStep s = handshake(WaitStart, c.delivery);
        EXPECT_EQ(s.advances, c.taken) << c.delivery.toHex().toStdString();
        EXPECT_EQ(s.rest, c.rest) << c.delivery.toHex().toStdString();
        if (c.taken) {
            EXPECT_EQ(s.send, QByteArray("v\r"));
        }
    }
    EXPECT_EQ(handshake(WaitSetup, "anything").send, QByteArray("w\r"));
    EXPECT_EQ(handshake(WaitW, "anything").send, QByteArray("t1\r"));
    const HandshakeStep t1 = handshake(WaitT1, "anything");
    EXPECT_TRUE(t1.streams);
    EXPECT_EQ(t1.next, Streaming);
    EXPECT_FALSE(handshake(Streaming, "> 0120").advances);
}

TEST(Wideband, WindowLayout) {
    // 9600 × 7200 twips: q 2400, h 3600.
    const Wbo2Layout l = wbo2Layout(9600, 7200, 900, 600);
    EXPECT_EQ(l.dial.left, 2400);
    EXPECT_EQ(l.dial.top, 360);
    EXPECT_EQ(l.dial.width, 4800);
    EXPECT_EQ(l.dial.height, 3600);
    EXPECT_EQ(l.graph.left, 240);
    EXPECT_EQ(l.graph.top, 4320);
    EXPECT_EQ(l.graph.width, 8880);
    EXPECT_EQ(l.graph.height, 2160);
    EXPECT_EQ(l.sensorCaptionLeft, 2160 - 900); // right edge at 0.9 × the dial's left
    EXPECT_EQ(l.sensorTextLeft, 2160 - 600);
    EXPECT_EQ(l.heaterLeft, 7440);
    EXPECT_EQ(l.sensorTop, 720);
}

} // namespace
} // namespace kx::wb
