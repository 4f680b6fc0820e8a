#include "link/reply_watch.h"

namespace kx {

ReplyWatch::ReplyWatch(QObject* parent, std::function<void()> askAgain,
                       std::function<void()> giveUp, int waitMs)
    : QObject(parent), askAgain_(std::move(askAgain)), giveUp_(std::move(giveUp)) {
    timer_.setSingleShot(true);
    timer_.setInterval(waitMs);
    connect(&timer_, &QTimer::timeout, this, &ReplyWatch::onTimeout);
}

void ReplyWatch::expect() {
    if (!timer_.isActive()) timer_.start();
}

void ReplyWatch::stop() {
    timer_.stop();
    retries_ = 0;
}

void ReplyWatch::answered() {
    timer_.stop();
    retries_ = 0;
}

void ReplyWatch::onTimeout() {
    timer_.stop();
    if (++retries_ >= kTries) {
        retries_ = 0;
        if (giveUp_) giveUp_();
        return;
    }
    if (askAgain_) askAgain_();
}

} // namespace kx
