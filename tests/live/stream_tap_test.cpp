// The stream tap on the ECU link over the in-memory port: what its listeners hear.
#include "live/stream_tap.h"

#include "link/EcuLink.h"
#include "link/SerialPort.h"
#include "support/main_window.h"
#include "support/test_support.h"
#include "util/settings_store.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace kx;
using namespace kx::test;

namespace {
// Engine speed, road speed and throttle: a frame of four data bytes.
QByteArray frame(int rpmRaw) {
    return bytes({0xFF, 4, rpmRaw >> 8, rpmRaw & 0xFF, 30, 50});
}
QByteArray frames(int rpmRaw, int count) {
    return frame(rpmRaw).repeated(count);
}
} // namespace

// Each frame that passes reaches every listener once, in the order they came, with the same
// time and readings; a spike, a frame that does not read whole, a gone or departed listener and
// a frame held across a re-arming reach nobody.
TEST(StreamTap, HandsEachFrameThatPassesOnceToEveryListener) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("k.ini"));
    store.writeStartupDefaults();
    auto* port = new MemoryPort;
    EcuLink link(port, store);
    const auto settle = [&] { return waitUntil([&] { return !link.busy(); }, 3000); };
    link.connectEcu();
    ASSERT_TRUE(settle());
    port->feed(idFrame("1U800"));
    ASSERT_TRUE(link.connected());

    const GaugeSetup layout = streamLayout({channel::Rpm, channel::Speed, channel::Throttle});
    StreamTap tap(link, store, ReceiveMode::Dyno);
    struct Heard {
        char who;
        uint32_t at;
        std::optional<uint16_t> rpm;
        bool operator==(const Heard&) const = default;
    };
    std::vector<Heard> heard;
    QObject a, c;
    auto b = std::make_unique<QObject>();
    const auto listener = [&heard](char who) {
        return [&heard, who](uint32_t at, const FrameReadings& r) {
            heard.push_back({who, at, r.rawOf(channel::Rpm)});
        };
    };
    tap.listen(&a, listener('a'));
    tap.listen(nullptr, listener('n'));
    tap.listen(b.get(), listener('b'));
    tap.listen(&c, listener('c'));

    QObject tool;
    EcuLink::Claim claim;
    claim.receiver = [&tap](const QByteArray& f) { tap.take(f); };
    link.acquire(&tool, claim);
    link.run(&tool, tap.stream(fullDataArming(layout), layout));
    ASSERT_TRUE(settle());
    EXPECT_EQ(link.readMode(), ReceiveMode::Dyno);

    // 800 rpm, a spike of 25000, 800 again, a two-byte value over 0x7FFF; then 810 held by the
    // filter and confirmed by the next header alone.
    port->feed(bytes({0x0F}) + frames(64, 3) + frame(2000) + frames(64, 3) + frame(0x8040) +
               frames(64, 2));
    const std::vector<uint16_t> passed = {64, 64, 64, 64, 64, 64};
    ASSERT_EQ(heard.size(), 4 * passed.size());
    for (size_t i = 0; i < heard.size(); ++i) {
        const Heard& first = heard[i / 4 * 4];
        EXPECT_EQ(heard[i].who, "anbc"[i % 4]) << i;
        EXPECT_EQ(heard[i].at, first.at) << i;
        EXPECT_EQ(heard[i].rpm, std::optional<uint16_t>(passed[i / 4])) << i;
    }

    heard.clear();
    b.reset();
    tap.leave(&c);
    port->feed(frames(64, 2) + frame(65) + bytes({0xFF, 4}));
    // Four frames of 800 now let through (810 is held), heard by a and n alone.
    ASSERT_EQ(heard.size(), 2 * 4u);
    for (size_t i = 0; i < heard.size(); ++i) {
        EXPECT_EQ(heard[i].who, "an"[i % 2]) << i;
        EXPECT_EQ(heard[i].rpm, std::optional<uint16_t>(64)) << i;
    }

    // Armed again: the frame of 65 held from before is never let through.
    heard.clear();
    link.run(&tool, tap.stream(fullDataArming(layout), layout));
    ASSERT_TRUE(settle());
    port->feed(bytes({0x0F}) + frames(70, 4));
    ASSERT_EQ(heard.size(), 2 * 2u);
    for (const Heard& h : heard)
        EXPECT_EQ(h.rpm, std::optional<uint16_t>(70));
    link.release(&tool);
}
