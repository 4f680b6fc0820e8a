#include "link/step_runner.h"

namespace kx {

StepRunner::StepRunner(Execute execute, std::function<void()> dropped, QObject* parent)
    : QObject(parent), execute_(std::move(execute)), dropped_(std::move(dropped)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &StepRunner::onTimer);
}

void StepRunner::run(QObject* owner, LinkSequence sequence) {
    Running r;
    r.owner = owner;
    r.owned = owner != nullptr;
    r.sequence = std::move(sequence);
    queue_.push_back(std::move(r));
    pump();
}

bool StepRunner::cancel(QObject* owner) {
    if (!owner) return false;
    const auto before = queue_.size();
    std::erase_if(queue_, [owner](const Running& r) { return r.owner == owner || ownerless(r); });
    bool dropped = queue_.size() != before;
    if (current_ && current_->owned && (current_->owner == owner || !current_->owner)) {
        dropped = true;
        drop();
        pump();
    }
    return dropped;
}

std::vector<std::function<void(bool)>> StepRunner::abortAll() {
    std::vector<std::function<void(bool)>> ends;
    if (current_ && !ownerless(*current_) && current_->sequence.end)
        ends.push_back(std::move(current_->sequence.end));
    for (Running& r : queue_)
        if (!ownerless(r) && r.sequence.end) ends.push_back(std::move(r.sequence.end));
    drop();
    queue_.clear();
    lastFailure_ = LinkFailure::PortClosed;
    return ends;
}

void StepRunner::clear() {
    queue_.clear();
    drop();
}

void StepRunner::finish(bool ok, LinkFailure why) {
    auto end = std::move(current_->sequence.end);
    drop();
    lastFailure_ = why;
    if (end) end(ok);
}

void StepRunner::drop() {
    current_.reset();
    timer_.stop();
    if (dropped_) dropped_();
}

void StepRunner::wait(int ms) {
    waitFor_ = ms;
    clock_.start();
    timer_.start(ms);
}

void StepRunner::onTimer() {
    const qint64 left = waitFor_ - clock_.elapsed();
    if (left > 0) {
        timer_.start(int(left));
        return;
    }
    pump();
}

void StepRunner::pump() {
    if (stepping_ || timer_.isActive()) return;
    stepping_ = true;
    for (;;) {
        if (!current_) {
            if (queue_.empty()) break;
            current_ = std::move(queue_.front());
            queue_.pop_front();
        }
        if (ownerless(*current_)) {
            drop();
            continue;
        }
        auto& steps = current_->sequence.steps;
        if (steps.empty()) {
            finish(true);
            continue;
        }
        LinkStep next = std::move(steps.front());
        steps.pop_front();
        if (next.kind == LinkStep::Wait) {
            wait(next.value);
            break;
        }
        // The step may run a tool's code, which may cancel the sequence: nothing of it is kept
        // across the call.
        const Outcome done = execute_(next, steps);
        if (!current_) continue;
        if (done.kind == Outcome::Fail) {
            finish(false, done.failure);
        } else if (done.kind == Outcome::Again) {
            current_->sequence.steps.push_front(std::move(next));
            wait(done.waitMs);
            break;
        }
    }
    stepping_ = false;
}

} // namespace kx
