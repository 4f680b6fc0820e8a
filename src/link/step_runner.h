#pragma once
// Runs link sequences one at a time, step by step, without holding the event loop. A wait is a
// timer, and a minimum: a timer that fires early is set again for the rest. A sequence whose
// owner is gone is dropped without another step; its owner hears how a sequence ended through
// the sequence's end handler. What a step other than a wait does is the link's own business.
#include "link/link_sequence.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace kx {

// Why a sequence ended with false.
enum class LinkFailure {
    PortClosed, // a write or the open failed, or the port was lost
    LineBusy,   // the ECU went on streaming after the stop was said three times
};

class StepRunner : public QObject {
public:
    // What a step did: go on with the next, fail the sequence, or look at the same step again
    // after `waitMs` (a settle that waits for quiet).
    struct Outcome {
        enum Kind { Next, Fail, Again } kind = Next;
        LinkFailure failure = LinkFailure::PortClosed;
        int waitMs = 0;
        static Outcome next() { return {}; }
        static Outcome fail(LinkFailure why) { return {Fail, why, 0}; }
        static Outcome again(int ms) { return {Again, LinkFailure::PortClosed, ms}; }
    };
    // Does one step; `rest` is the sequence's steps after it, which the step may add to.
    using Execute = std::function<Outcome(LinkStep& step, std::deque<LinkStep>& rest)>;

    StepRunner(Execute execute, std::function<void()> dropped, QObject* parent = nullptr);

    // Queues a sequence; it runs once those before it are done. Dropped, with no step done
    // after that, when `owner` is destroyed or cancel(owner) is called.
    void run(QObject* owner, LinkSequence sequence);
    // True when something of the owner's (or of an owner that is gone) was dropped.
    bool cancel(QObject* owner);
    bool busy() const { return current_.has_value() || !queue_.empty(); }
    LinkFailure lastFailure() const { return lastFailure_; }
    // Everything queued or running is dropped; the end handlers of those whose owner is still
    // there are returned, for the caller to call once its own state is set (the port was lost).
    std::vector<std::function<void(bool)>> abortAll();
    // Everything is dropped, no end handler called (the program ends).
    void clear();

private:
    struct Running {
        QPointer<QObject> owner;
        bool owned = false;
        LinkSequence sequence;
    };
    static bool ownerless(const Running& r) { return r.owned && !r.owner; }
    void pump();
    void finish(bool ok, LinkFailure why = LinkFailure::PortClosed);
    void drop();
    void wait(int ms);
    void onTimer();

    Execute execute_;
    std::function<void()> dropped_;
    std::deque<Running> queue_;
    std::optional<Running> current_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 waitFor_ = 0;
    bool stepping_ = false;
    LinkFailure lastFailure_ = LinkFailure::PortClosed;
};

} // namespace kx
