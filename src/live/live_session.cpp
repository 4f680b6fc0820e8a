#include "live/live_session.h"

#include <algorithm>

namespace kx {

LiveSession::LiveSession(EcuLink& link, LiveState& state, const Settings& settings)
    : link_(link), state_(state), settings_(settings), tap_(link, settings, ReceiveMode::LiveData) {
    // Before every listener: they read the live state this frame leaves.
    tap_.listen(nullptr, [this](uint32_t at, const FrameReadings& readings) {
        applyReadings(readings, state_.units, state_.live);
        if (!state_.wideband) return;
        state_.live.wb = state_.wideband(at);
        if (state_.live.wb) state_.live.gaugeValue[channel::Wideband] = state_.live.wb->afr;
    });
    firstFrame_.setInterval(20);
    QObject::connect(&firstFrame_, &QTimer::timeout, &firstFrame_, [this] { lookForFirstFrame(); });
}

LiveSession::~LiveSession() = default;

void LiveSession::join(QObject* owner, Listener listener) {
    forget();
    if (!owner || listening(owner)) return;
    const bool first = listeners_.empty();
    if (listener.frame) tap_.listen(owner, listener.frame);
    const auto waiting = listener.waiting;
    listeners_.push_back({owner, std::move(listener)});
    if (first) link_.acquire(owner, claim(owner));
    if (QObject* h = link_.holder(); waiting && h && h != owner && !listening(h))
        waiting(link_.holderName());
}

bool LiveSession::leave(QObject* owner) {
    const auto it = std::find_if(listeners_.begin(), listeners_.end(),
                                 [owner](const Entry& e) { return e.owner == owner; });
    if (it == listeners_.end()) return false;
    listeners_.erase(it);
    tap_.leave(owner);
    forget();
    if (listeners_.empty()) return false;
    QObject* next = listeners_.front().owner;
    if (link_.holds(owner)) {
        link_.handOver(owner, next, claim(next));
    } else {
        // It was still waiting for its turn: the wait is the next listener's now.
        link_.release(owner);
        link_.acquire(next, claim(next));
    }
    return true;
}

bool LiveSession::listening(const QObject* owner) const {
    return std::any_of(listeners_.begin(), listeners_.end(),
                       [owner](const Entry& e) { return e.owner == owner; });
}

void LiveSession::arm(QObject* owner) {
    firstFrame_.stop();
    gotFrame_ = false;
    armedFor_ = owner;
    LinkSequence s = tap_.stream(fullDataArming(state_.setup), state_.setup);
    s.then([this] { startFirstFrameWatch(); });
    link_.run(owner, std::move(s));
}

LinkSequence LiveSession::arming() {
    return tap_.armed(fullDataArming(state_.setup), state_.setup);
}

void LiveSession::startFirstFrameWatch() {
    // The acknowledgement, a frame and the header that confirms it, as the adapter hands
    // them over; a noisy line may spoil a few frames first.
    const int frameMs = (state_.setup.displayByteCount + 2) * 10000 / storedEcuBaud(settings_);
    firstFrameMs_ = kFirstFrameMs + link_.quietNeededMs() + 5 * frameMs;
    // The first frame may come before this step of the arming runs.
    if (gotFrame_) return;
    sinceStart_.start();
    firstFrame_.start();
}

void LiveSession::lookForFirstFrame() {
    QObject* owner = armedFor_;
    if (!owner || !link_.holds(owner) || link_.readMode() != ReceiveMode::LiveData) {
        firstFrame_.stop();
        return;
    }
    if (!link_.otherStream() && sinceStart_.elapsed() < firstFrameMs_) return;
    firstFrame_.stop();
    // An ECU without its ignition answers nothing however often it is asked: the link's
    // silence watch wakes it at its own pace.
    if (quickAsks_ >= kQuickAsks || link_.busy()) return;
    ++quickAsks_;
    ++quickAsksTotal_;
    arm(owner);
}

EcuLink::Claim LiveSession::claim(QObject* owner) {
    EcuLink::Claim c;
    for (const Entry& e : listeners_)
        if (e.owner == owner) c.name = e.listener.name;
    c.liveData = true;
    c.receiver = [this](const QByteArray& f) { frame(f); };
    c.deliveryDone = [this] { shown(); };
    QPointer<QObject> guard(owner);
    c.granted = [this, guard] {
        if (guard) arm(guard);
    };
    c.resumed = c.granted;
    c.rearm = c.granted;
    return c;
}

void LiveSession::frame(const QByteArray& bytes) {
    if (link_.readMode() != ReceiveMode::LiveData) return;
    firstFrame_.stop();
    gotFrame_ = true;
    quickAsks_ = 0;
    tap_.take(bytes);
}

void LiveSession::shown() {
    if (link_.readMode() != ReceiveMode::LiveData) return;
    const std::vector<Entry> now = listeners_;
    for (const Entry& e : now)
        if (e.owner && e.listener.shown) e.listener.shown();
}

void LiveSession::forget() {
    std::erase_if(listeners_, [](const Entry& e) { return !e.owner; });
}

} // namespace kx
