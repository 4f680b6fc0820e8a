#pragma once
// A bounded wait for the ECU's reply to one request: asked again after kWaitMs without it,
// given up after kTries asks. A byte can be lost on a real line, and an ECU can fall silent.
#include <QObject>
#include <QTimer>
#include <functional>

namespace kx {

class ReplyWatch : public QObject {
public:
    static constexpr int kWaitMs = 2000;
    // A one-shot read's stream starts at once: its frames come within the line's hold, so a
    // start that the line lost is asked again sooner.
    static constexpr int kOneShotWaitMs = 1000;
    static constexpr int kTries = 3;

    ReplyWatch(QObject* parent, std::function<void()> askAgain, std::function<void()> giveUp,
               int waitMs = kWaitMs);
    // The request went out (again): the clock runs, unless it already runs for this try (a
    // request asked again at once, its stream broken, stays within the try's time).
    void expect();
    // The reply came: the next request starts with a full set of tries.
    void answered();
    // The request could not be made (the line would not fall quiet): that try is over now.
    void failed() { onTimeout(); }
    // Nothing is awaited any more; a later request starts with a full set of tries.
    void stop();
    bool waiting() const { return timer_.isActive(); }
    int remainingMs() const { return timer_.remainingTime(); }
    // Asks made for the current request beyond the first.
    int retries() const { return retries_; }

private:
    void onTimeout();
    QTimer timer_;
    int retries_ = 0;
    std::function<void()> askAgain_;
    std::function<void()> giveUp_;
};

} // namespace kx
