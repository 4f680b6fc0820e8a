#include "util/ticks.h"

#include <QElapsedTimer>

namespace kx {

namespace {
TickFn& source() {
    static TickFn fn;
    return fn;
}
} // namespace

uint32_t systemTicks() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<uint32_t>(timer.elapsed());
}

uint32_t ticks() {
    const auto& fn = source();
    return fn ? fn() : systemTicks();
}

void setTickSource(TickFn fn) {
    source() = std::move(fn);
}

} // namespace kx
