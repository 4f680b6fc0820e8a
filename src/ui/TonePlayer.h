#pragma once
// Sounds the alert tone on the desktop's sound device from a thread of its own, so the window
// never waits for the sound card. A beep asked for while one sounds is merged into it, so a
// stream of alerts cannot pile up. Without a sound device the system beep stands in, and so it
// does for a tone the device broke off (an underrun) or never finished playing.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace kx {

// The sound device as the player drives it: never a call that waits for the device, so that
// a stalled sound server cannot hold the player (or the program's exit) for good.
class ToneOutput {
public:
    virtual ~ToneOutput() = default;
    // Takes as many samples as fit now: the count taken, or a negative number when the device
    // failed (an underrun breaks the tone even when the device recovers from it).
    virtual long write(const int16_t* samples, long count) = 0;
    // After the last write: 1 while samples are still being played, 0 once all are, negative
    // when the device failed.
    virtual int drainStep() = 0;
    // Drops what is not played yet.
    virtual void drop() = 0;
};

class TonePlayer {
public:
    // A new output for each tone; nullptr when there is no device.
    using OutputFactory = std::function<std::unique_ptr<ToneOutput>()>;
    // How long a tone may take beyond its own length before it is dropped as failed.
    static constexpr int kSlackMs = 500;
    static constexpr int kDurationMs = 120;

    // The default sound device, and the system beep as the fallback.
    TonePlayer();
    // `fallback` runs on the player's thread when a tone could not be played.
    TonePlayer(OutputFactory output, std::function<void()> fallback);
    // Stops at once: a tone still playing is dropped, not waited for.
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    void play();

private:
    void run();
    // Plays one tone; false when no device could be opened, the device failed, the tone did
    // not finish in time, or the player is stopping.
    bool sound();
    // Waits a few milliseconds; false when the player stops or `deadline` has passed.
    bool pause(std::chrono::steady_clock::time_point deadline);

    OutputFactory output_;
    std::function<void()> fallback_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool quit_ = false;
    std::chrono::steady_clock::time_point retryDevice_{}; // the worker's own
    std::thread worker_;
};

} // namespace kx
