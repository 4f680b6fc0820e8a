#pragma once
// Sounds the alert tone on the desktop's sound device from a thread of its own, so the window
// never waits for the sound card. A beep asked for while one sounds is merged into it, so a
// stream of alerts cannot pile up. Without a sound device the system beep stands in.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kx {

class TonePlayer {
public:
    TonePlayer();
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    void play();

private:
    void run();
    // Plays one tone; false when no sound device could be opened.
    static bool sound();

    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool quit_ = false;
    std::chrono::steady_clock::time_point retryDevice_{}; // the worker's own
    std::thread worker_;
};

} // namespace kx
