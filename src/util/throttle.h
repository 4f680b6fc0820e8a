#pragma once
// Runs an action at once when asked, then at most once every `intervalMs` after that: asks that
// come in between are merged into one run at the end of the interval, so the latest state is
// always shown. For screen updates driven by deliveries that come faster than a screen needs.
#include <QObject>
#include <QTimer>

#include <functional>

namespace kx {

class Throttle {
public:
    Throttle(int intervalMs, std::function<void()> action) : action_(std::move(action)) {
        timer_.setSingleShot(true);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (pending_) run();
        });
    }
    void request() {
        if (timer_.isActive())
            pending_ = true;
        else
            run();
    }

private:
    void run() {
        pending_ = false;
        timer_.start();
        action_();
    }

    std::function<void()> action_;
    bool pending_ = false;
    QTimer timer_;
};

} // namespace kx
