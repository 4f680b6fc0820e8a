#include "link/wait.h"

#include "util/ticks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace kx {

void waitMs(uint32_t ms) {
    const uint32_t start = ticks();
    QCoreApplication::processEvents();
    for (;;) {
        const uint64_t elapsed = elapsedTicks(start, ticks());
        if (elapsed >= ms) return;
        // Sleep in the event loop for the rest of the wait, re-reading the tick source in
        // slices so an injected clock is honoured.
        const int slice = int(std::min<uint64_t>(ms - elapsed, 20));
        QEventLoop loop;
        QTimer::singleShot(slice, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace kx
