#include "live/stream_tap.h"

#include "link/EcuLink.h"

#include <algorithm>

namespace kx {

StreamTap::StreamTap(EcuLink& link, const Settings& settings, ReceiveMode mode)
    : link_(link), settings_(settings), mode_(mode) {}

LinkSequence StreamTap::armed(LinkSequence arming, const GaugeSetup& layout) {
    // After the arming's discard: whatever the line still held of the stream before is gone.
    arming.then([this, layout] {
        layout_ = layout;
        filter_.reset(storedEcuBaud(settings_));
    });
    return arming;
}

LinkSequence StreamTap::stream(LinkSequence arming, const GaugeSetup& layout) {
    LinkSequence s;
    s.stopStream().mode(mode_);
    s.append(armed(std::move(arming), layout));
    return s.startStream();
}

void StreamTap::listen(QObject* owner, Listener listener) {
    listeners_.push_back({owner, owner != nullptr, std::move(listener)});
}

void StreamTap::leave(const QObject* owner) {
    std::erase_if(listeners_, [owner](const Entry& e) { return e.owned && e.owner == owner; });
}

void StreamTap::take(const QByteArray& frame) {
    if (link_.readMode() != mode_) return;
    const auto passed = filterFrame(filter_, frame, layout_, link_.trace(), link_.frameTick());
    if (!passed) return;
    std::erase_if(listeners_, [](const Entry& e) { return e.owned && !e.owner; });
    // A listener may close its window from here (a failed write): walk a copy.
    const std::vector<Entry> now = listeners_;
    for (const Entry& e : now)
        if ((!e.owned || e.owner) && e.listener) e.listener(passed->at, passed->readings);
}

} // namespace kx
