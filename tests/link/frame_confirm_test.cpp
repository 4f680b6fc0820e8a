// Frames are used only once the next frame's header confirms where they end.
#include "frame_confirm_input.h"
#include "link/framing.h"

#include <QByteArray>
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
    };
    const QByteArray a = bytes({0xFF, 2, 0x10, 0x11});
    const QByteArray b = bytes({0xFF, 2, 0x20, 0x21});
    const QByteArray c = bytes({0xFF, 2, 0x30, 0x31});
    const QByteArray head = bytes({0xFF, 2});
    const Case cases[] = {
        {"the last frame of a delivery waits for the next", 2, {a + b, c + head}, {a, b, c}, 0},
        {"a header split over two deliveries", 2, {a + bytes({0xFF}), bytes({2, 0x20, 0x21}) + c},
         {a, b}, 0},
        {"a lost data byte drops that frame", 2, {a + bytes({0xFF, 2, 0x20}) + c + head}, {a, c}, 1},
        {"a stray byte inside a frame drops it", 2,
         {a + bytes({0xFF, 2, 0x20, 0x99, 0x21}) + c + head},
         {a, c},
         1},
        {"a lost header: the frame before it is not confirmed", 2,
         {a + bytes({2, 0x20, 0x21}) + c + head},
         {c},
         1},
        {"a header with another count byte confirms nothing", 2,
         {a + bytes({0xFF, 5, 1, 2, 3, 4, 5})},
         {},
         1},
        {"another count byte is not this stream's", 2, {bytes({0xFF, 1, 5, 0xFF, 1, 5}) + a + head},
         {a},
         0},
        {"any count: the self-diagnostic stream", FrameConfirmer::AnyCount,
         {bytes({0x0F, 0xFF, 4, 0x13, 2, 0x43, 5, 0xFF, 4, 0x13, 2, 0x43, 5, 0xFF, 4})},
         {bytes({0xFF, 4, 0x13, 2, 0x43, 5}), bytes({0xFF, 4, 0x13, 2, 0x43, 5})},
         0},
    };
    for (const Case& k : cases) {
        FrameConfirmer f;
        f.expect(k.count);
        QList<QByteArray> got;
        for (const QByteArray& d : k.deliveries)
            got += f.take(d);
        EXPECT_EQ(got, k.confirmed) << k.what;
        EXPECT_EQ(f.dropped(), k.dropped) << k.what;
    }
}

TEST(FrameConfirmer, OnALineThatAddsAndLosesBytesEveryConfirmedFrameWasSent) {
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int run = 0; run < 3000; ++run) {
        std::vector<uint8_t> input(size_t(200 + run % 1800));
        for (uint8_t& v : input)
            v = uint8_t(byte(rng));
        ASSERT_TRUE(fuzz::confirmsOnlySentFrames(input.data(), input.size())) << "run " << run;
    }
}
