// Frames are used only once the next frame's header confirms where they end.
#include "frame_confirm_input.h"
#include "link/framing.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <gtest/gtest.h>
#include <random>

using namespace kx;

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}
} // namespace

TEST(FrameConfirmer, TakesAFrameOnlyWhenTheNextHeaderFollowsWhereItsCountSaysItEnds) {
    struct Case {
        const char* what;
        int count;
        QList<QByteArray> deliveries;
        QList<QByteArray> confirmed; // in order, over all deliveries
        uint64_t dropped;
        FrameRule rule = FrameRule::Stream;
        bool started = false; // the deliveries follow a stream start
        bool broken = false;
    };
    const QByteArray a = bytes({0xFF, 2, 0x10, 0x11});
    const QByteArray b = bytes({0xFF, 2, 0x20, 0x21});
    const QByteArray c = bytes({0xFF, 2, 0x30, 0x31});
    const QByteArray d = bytes({0xFF, 2, 0x40, 0x41});
    const QByteArray head = bytes({0xFF, 2});
    const QByteArray ack = bytes({0x0F});
    // A ROM block shaped like headers inside: erased flash, then code.
    const QByteArray rom = bytes({0xFF, 8, 0x11, 0x22, 0xFF, 8, 0x33, 0x44, 0x55, 0x66});
    const QByteArray romHead = rom.left(2);
    // Erased flash at its start: a lost header leaves its count byte, then a header's shape.
    const QByteArray erased = bytes({0xFF, 8, 0xFF, 8, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
    const Case cases[] = {
        {"the last frame of a delivery waits for the next", 2, {a + b, c + head}, {a, b, c}, 0},
        {"a header split over two deliveries",
         2,
         {a + bytes({0xFF}), bytes({2, 0x20, 0x21}) + c},
         {a, b},
         0},
        {"a lost data byte drops that frame",
         2,
         {a + bytes({0xFF, 2, 0x20}) + c + d + head},
         {a, c, d},
         1},
        {"a stray byte inside a frame drops it",
         2,
         {a + bytes({0xFF, 2, 0x20, 0x99, 0x21}) + c + d + head},
         {a, c, d},
         1},
        {"a lost header: the frame before it is not confirmed",
         2,
         {a + bytes({2, 0x20, 0x21}) + c + d + head},
         {c, d},
         1},
        {"a header with another count byte confirms nothing",
         2,
         {a + bytes({0xFF, 5, 1, 2, 3, 4, 5})},
         {},
         1},
        {"another count byte is not this stream's",
         2,
         {bytes({0xFF, 1, 5, 0xFF, 1, 5}) + a + head},
         {a},
         0},
        {"any count: the self-diagnostic stream",
         FrameConfirmer::AnyCount,
         {bytes({0x0F, 0xFF, 4, 0x13, 2, 0x43, 5, 0xFF, 4, 0x13, 2, 0x43, 5, 0xFF, 4})},
         {bytes({0xFF, 4, 0x13, 2, 0x43, 5}), bytes({0xFF, 4, 0x13, 2, 0x43, 5})},
         0},
        {"any count, found anew: a third header in step, where the second would do",
         FrameConfirmer::AnyCount,
         {bytes({0x30, 0xFF, 1, 0x55, 0xFF, 1,    0x55, 0xFF, 4, 0x13, 2, 0x43, 5, 0xFF,
                 4,    0x13, 2, 0x43, 5,    0xFF, 4,    0x13, 2, 0x43, 5, 0xFF, 4})},
         {bytes({0xFF, 4, 0x13, 2, 0x43, 5}), bytes({0xFF, 4, 0x13, 2, 0x43, 5}),
          bytes({0xFF, 4, 0x13, 2, 0x43, 5})},
         2},
        {"any count: 0xFF after a header is never a count",
         FrameConfirmer::AnyCount,
         {bytes({0xFF, 0xFF, 4, 0x13, 2, 0x43, 5, 0xFF, 4, 0x13, 2, 0x43, 5, 0xFF, 4})},
         {bytes({0xFF, 4, 0x13, 2, 0x43, 5}), bytes({0xFF, 4, 0x13, 2, 0x43, 5})},
         0},
        {"any count, found anew: a third header in step",
         FrameConfirmer::AnyCount,
         {bytes({0x30, 0xFF, 2, 0x55, 0xFF, 2,    0x13, 0xFF, 4, 0x13, 2, 0x43, 5, 0xFF,
                 4,    0x13, 2, 0x43, 5,    0xFF, 4,    0x13, 2, 0x43, 5, 0xFF, 4})},
         {bytes({0xFF, 4, 0x13, 2, 0x43, 5}), bytes({0xFF, 4, 0x13, 2, 0x43, 5}),
          bytes({0xFF, 4, 0x13, 2, 0x43, 5})},
         2},
        // The phase comes from the start: a rotated copy of a repeated block is never taken.
        {"one-shot: the reply once the next frame repeats it",
         8,
         {ack + rom + rom + rom + rom},
         {rom},
         0,
         FrameRule::Once,
         true},
        {"one-shot: no acknowledgement", 8, {rom + rom + romHead}, {rom}, 0, FrameRule::Once, true},
        {"one-shot: a stray and a lost byte in one frame: the next pair",
         8,
         {ack + bytes({0xFF, 8, 0x11, 0x99, 0xFF, 8, 0x33, 0x44, 0x55, 0x66}) + rom + rom +
          romHead},
         {rom},
         0,
         FrameRule::Once,
         true},
        {"one-shot: a lost header breaks the stream",
         8,
         {ack + rom.mid(1) + rom + rom + rom},
         {},
         1,
         FrameRule::Once,
         true,
         true},
        {"one-shot: a lost header before data shaped like one breaks the stream",
         8,
         {erased.mid(1) + erased + erased + erased},
         {},
         1,
         FrameRule::Once,
         true,
         true},
        {"one-shot: a lost byte after the first frame breaks it",
         8,
         {ack + rom + rom.left(5) + rom.mid(6) + rom + rom},
         {},
         1,
         FrameRule::Once,
         true,
         true},
        {"first value agreed, then every frame",
         2,
         {a + a + b + c + head},
         {a, b, c},
         0,
         FrameRule::FirstAgreed,
         true},
        {"live stream of a repeated block: found again in step after a lost byte",
         8,
         {ack + rom + rom + rom.left(3) + rom.mid(4) + rom + rom + romHead},
         {rom, rom, rom, rom},
         1,
         FrameRule::Stream,
         true},
        {"live stream: a stray byte first is taken for the acknowledgement",
         2,
         {bytes({0x42}) + a + b + head},
         {a, b},
         0,
         FrameRule::Stream,
         true},
    };
    for (const Case& k : cases) {
        FrameConfirmer f;
        f.expect(k.count, k.rule);
        if (k.started) f.started();
        QList<QByteArray> got;
        for (const QByteArray& d : k.deliveries)
            got += f.take(d);
        EXPECT_EQ(got, k.confirmed) << k.what;
        EXPECT_EQ(f.dropped(), k.dropped) << k.what;
        EXPECT_EQ(f.broken(), k.broken) << k.what;
    }
}

TEST(FrameConfirmer, OnALineThatAddsAndLosesBytesEveryConfirmedFrameWasSent) {
    // Inputs that once broke it first.
    const QDir dir(KX_LINK_FUZZ_REGRESSIONS);
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray in = f.readAll();
        EXPECT_TRUE(fuzz::confirmsOnlySentFrames(reinterpret_cast<const uint8_t*>(in.constData()),
                                                 size_t(in.size())))
            << name.toStdString();
    }
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int run = 0; run < 20000; ++run) {
        std::vector<uint8_t> input(size_t(200 + run % 1800));
        for (uint8_t& v : input)
            v = uint8_t(byte(rng));
        ASSERT_TRUE(fuzz::confirmsOnlySentFrames(input.data(), input.size())) << "run " << run;
    }
}

TEST(FrameConfirmer, AStrayHeaderByteBeforeAnAcknowledgementLikeTheCountIsNoReply) {
    // Count 15 is also the acknowledgement (0x0F); the block holds header-shaped pairs, one
    // where its next frame's header would sit: shifted by two, it agrees with itself.
    const QByteArray block = bytes({0xFF, 0x0F, 0x03, 0xFF, 0x0F, 0xEC, 0xC7, 0x11, 0x00, 0x13,
                                    0xFF, 0x0F, 0x38, 0xEE, 0x13, 0xFF, 0x0F});
    const QByteArray line = bytes({0xFF, 0x0F}) + block + block + block + block;
    for (const int piece : {1, 2, int(line.size())}) {
        FrameConfirmer f;
        f.expect(15, FrameRule::Once);
        f.started();
        QList<QByteArray> got;
        for (qsizetype at = 0; at < line.size(); at += piece)
            got += f.take(line.mid(at, piece));
        EXPECT_TRUE(got.isEmpty()) << "deliveries of " << piece;
        EXPECT_TRUE(f.broken()) << "deliveries of " << piece;
    }
}

TEST(FrameConfirmer, TheFaultCodeStreamChangingItsCountMidStreamGivesOnlyFramesItSent) {
    // The stored codes change while the stream runs: the count byte with them. Deliveries come
    // split and joined as a loaded machine reads them.
    const QByteArray none = bytes({0xFF, 2, 0x55, 0});
    const QByteArray two = bytes({0xFF, 4, 0x21, 1, 0x3F, 9});
    const QByteArray line = bytes({0x2E, 0x0F}) + none.repeated(12) + two.repeated(12);
    std::mt19937 rng(41);
    for (int run = 0; run < 500; ++run) {
        FrameConfirmer f;
        f.expect(FrameConfirmer::AnyCount);
        f.started();
        QList<QByteArray> got;
        for (qsizetype at = 0; at < line.size();) {
            const qsizetype piece = 1 + qsizetype(rng() % (run % 2 ? 3 : 60));
            got += f.take(line.mid(at, piece));
            at += piece;
        }
        ASSERT_FALSE(got.isEmpty());
        for (const QByteArray& frame : got)
            ASSERT_TRUE(frame == none || frame == two) << "run " << run;
        EXPECT_EQ(got.back(), two) << "run " << run;
    }
}

TEST(FrameConfirmer, ALiveStreamSeesAtOnceThatAnotherCountRuns) {
    struct Case {
        const char* what;
        QByteArray line; // after the stream start
        bool other;
    };
    const QByteArray own = bytes({0xFF, 4, 1, 2, 3, 4});
    const QByteArray fewer = bytes({0xFF, 3, 1, 2, 3}); // a register of the request lost
    const Case cases[] = {
        {"the registers that arrived", bytes({0x0F}) + fewer.repeated(3) + bytes({0xFF}), true},
        {"two headers in step are not yet a stream", bytes({0x0F}) + fewer.repeated(2), false},
        {"its own stream first", bytes({0x0F}) + own.repeated(2) + fewer.repeated(4), false},
        {"header-shaped bytes out of step",
         bytes({0x0F, 0xFF, 3, 9, 0xFF, 3, 0xFF, 3, 7, 7, 0xFF, 3}), false},
    };
    for (const Case& k : cases) {
        for (const qsizetype piece : {qsizetype(1), k.line.size()}) {
            FrameConfirmer f;
            f.expect(4);
            f.started();
            for (qsizetype at = 0; at < k.line.size(); at += piece)
                f.take(k.line.mid(at, piece));
            EXPECT_EQ(f.otherStream(), k.other) << k.what << ", deliveries of " << piece;
        }
    }
}
