#pragma once
// Paces the announcements of a changing value: one at once, then at most one per interval. A
// change that comes too soon is held and announced when its interval is up, so a listener
// always ends on the value shown.
#include "util/ticks.h"

#include <cstdint>

namespace kx {

class AnnounceGate {
public:
    explicit AnnounceGate(uint32_t intervalMs) : interval_(intervalMs) {}

    // A change at `now`: true to announce it at once; false when it is held (see heldFor).
    bool change(uint32_t now) {
        if (!announced_ || elapsedTicks(last_, now) >= interval_) {
            announced_ = true;
            held_ = false;
            last_ = now;
            return true;
        }
        held_ = true;
        return false;
    }
    bool held() const { return held_; }
    // Milliseconds until the held change is due.
    uint32_t heldFor(uint32_t now) const {
        const uint64_t e = elapsedTicks(last_, now);
        return e >= interval_ ? 0 : uint32_t(interval_ - e);
    }
    // The held change was announced at `now`.
    void release(uint32_t now) {
        held_ = false;
        last_ = now;
    }

private:
    uint32_t interval_;
    uint32_t last_ = 0;
    bool announced_ = false;
    bool held_ = false;
};

} // namespace kx
