#include "ui/TonePlayer.h"
#include "util/hex.h"
#include "util/ticks.h"
#include "util/tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

using namespace kx;

TEST(Hex, ParsesAndFormats) {
    EXPECT_EQ(parseHexByte("EF"), 0xEF);
    EXPECT_EQ(parseHexByte("c9"), 0xC9);
    EXPECT_EQ(parseHexByte("0"), 0);
    EXPECT_FALSE(parseHexByte("100"));
    EXPECT_FALSE(parseHexByte(""));
    EXPECT_FALSE(parseHexByte("G1"));
    EXPECT_FALSE(parseHexByte("0x1"));
    EXPECT_EQ(parseHex("7FFF", 0xFFFF), 0x7FFFu);
    EXPECT_FALSE(parseHex("123456789"));
    EXPECT_EQ(hexText(0xC9), "C9");
    EXPECT_EQ(hexText(0x7, 4), "0007");
    EXPECT_TRUE(isAddressPattern("7F A"));
    EXPECT_FALSE(isAddressPattern("7fff"));
    EXPECT_FALSE(isAddressPattern("7FF"));
}

TEST(Ticks, ElapsedSurvivesTheCounterWrap) {
    EXPECT_EQ(elapsedTicks(100, 350), 250u);
    EXPECT_EQ(elapsedTicks(0xFFFFFF00u, 0x10u), 0x110u);
    EXPECT_EQ(elapsedTicks(5, 5), 0u);
}

TEST(Tone, RampsInAndOutAndHoldsItsPitch) {
    const auto s = kx::toneSamples(48000, 1000, 120);
    ASSERT_EQ(s.size(), 5760u);
    // No click: the ends are near silence, the middle reaches the amplitude.
    EXPECT_LE(std::abs(s.front()), 1);
    EXPECT_LE(std::abs(s.back()), 400);
    const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
    EXPECT_NEAR(*hi, 16384, 50);
    EXPECT_NEAR(*lo, -16384, 50);
    // 1000 Hz: 120 rising zero crossings in 120 ms.
    int rising = 0;
    for (size_t i = 1; i < s.size(); ++i)
        rising += s[i - 1] < 0 && s[i] >= 0;
    EXPECT_NEAR(rising, 120, 1);
    EXPECT_TRUE(kx::toneSamples(48000, 1000, 0).empty());
}

namespace {
// A sound device that takes every sample at once and then plays for `playMs` (-1: for ever,
// as a stalled sound server does), or fails its first write (an underrun).
struct FakeDevice {
    int playMs = 30;
    bool underrun = false;
    std::atomic<int> opened{0}, dropped{0}, fallbacks{0};

    kx::TonePlayer::OutputFactory factory() {
        return [this]() -> std::unique_ptr<kx::ToneOutput> {
            ++opened;
            return std::make_unique<Output>(*this);
        };
    }
    std::function<void()> fallback() {
        return [this] { ++fallbacks; };
    }

    struct Output : kx::ToneOutput {
        FakeDevice& d;
        std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
        explicit Output(FakeDevice& device) : d(device) {}
        long write(const int16_t*, long count) override { return d.underrun ? -1 : count; }
        int drainStep() override {
            const auto played = std::chrono::steady_clock::now() - start;
            return d.playMs < 0 || played < std::chrono::milliseconds(d.playMs) ? 1 : 0;
        }
        void drop() override { ++d.dropped; }
    };
};

bool eventually(const std::function<bool()>& pred) {
    for (int i = 0; i < 500 && !pred(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return pred();
}
} // namespace

TEST(Tone, APlayerAskedManyTimesMergesAndEndsWithoutWaitingOnTheDevice) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    {
        kx::TonePlayer player; // the real device, or the system beep without one
        for (int i = 0; i < 50; ++i)
            player.play();
    }
    // Far more than a tone and its slack: only a player that waits on the device exceeds it.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

    FakeDevice device;
    device.playMs = 300;
    {
        kx::TonePlayer player(device.factory(), device.fallback());
        for (int i = 0; i < 50; ++i)
            player.play();
        ASSERT_TRUE(eventually([&] { return device.opened >= 1; }));
    }
    EXPECT_LE(device.opened, 2); // the one sounding, and one for all the asks during it
    EXPECT_EQ(device.fallbacks, 0);
}

TEST(Tone, AStalledDeviceIsDroppedByItsDeadlineAndNeverHoldsTheExit) {
    using Clock = std::chrono::steady_clock;
    FakeDevice stalled;
    stalled.playMs = -1;
    kx::TonePlayer player(stalled.factory(), stalled.fallback());
    player.play();
    ASSERT_TRUE(eventually([&] { return stalled.fallbacks == 1; }));
    EXPECT_EQ(stalled.dropped, 1);

    // Exit while a tone hangs in the drain: the player stops in bounded time.
    FakeDevice hanging;
    hanging.playMs = -1;
    auto exiting = std::make_unique<kx::TonePlayer>(hanging.factory(), hanging.fallback());
    exiting->play();
    ASSERT_TRUE(eventually([&] { return hanging.opened == 1; }));
    const auto start = Clock::now();
    exiting.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(hanging.fallbacks, 0);

    // A tone broken by an underrun is not a tone: the fallback beep sounds.
    FakeDevice broken;
    broken.underrun = true;
    kx::TonePlayer b(broken.factory(), broken.fallback());
    b.play();
    EXPECT_TRUE(eventually([&] { return broken.fallbacks == 1; }));
}
