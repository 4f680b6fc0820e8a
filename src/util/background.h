#pragma once
// Work that must not hold a window (reading a large log) runs on a thread of its own; its
// progress and its result are handed to the window's thread. Destroying the job (the window
// closes) asks the work to stop and waits for its thread, so nothing arrives afterwards.
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

namespace kx {

template <class Result> class BackgroundJob {
public:
    // `work` runs on the job's thread; it should return soon after its stop token is set, and
    // may report its progress (0..1), which reaches `progress` on `receiver`'s thread.
    using Work = std::function<Result(std::stop_token, const std::function<void(double)>&)>;

    BackgroundJob(QObject* receiver, Work work, std::function<void(Result&)> done,
                  std::function<void(double)> progress = {})
        : state_(std::make_shared<State>()) {
        state_->done = std::move(done);
        state_->progress = std::move(progress);
        thread_ =
            std::jthread([receiver, work = std::move(work), state = state_](std::stop_token stop) {
                const auto report = [receiver, state](double done) {
                    QMetaObject::invokeMethod(
                        receiver,
                        [state, done] {
                            if (state->progress && !state->over) state->progress(done);
                        },
                        Qt::QueuedConnection);
                };
                auto result = std::make_shared<Result>(work(stop, report));
                if (stop.stop_requested()) return;
                // Run on the receiver's thread; dropped unrun if it is gone first.
                QMetaObject::invokeMethod(
                    receiver,
                    [state, result] {
                        if (state->over) return;
                        state->over = true;
                        state->done(*result);
                    },
                    Qt::QueuedConnection);
            });
    }
    ~BackgroundJob() {
        state_->over = true; // a result already queued is not delivered
        thread_.request_stop();
    }
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // The result has been delivered (or the job was stopped).
    bool over() const { return state_->over; }

private:
    struct State {
        std::function<void(Result&)> done;
        std::function<void(double)> progress;
        bool over = false; // touched on the receiver's thread only
    };
    std::shared_ptr<State> state_;
    std::jthread thread_; // last: joined first on destruction
};

} // namespace kx
