#include "cli/stop_signals.h"

#include <QMetaObject>
#include <QObject>
#include <mutex>
#include <thread>

namespace kx {

namespace {
// The waiting thread outlives main(): it posts nothing once the event loop is gone.
std::mutex forwardMutex;
QObject* forwardTo = nullptr;
} // namespace

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
void forwardStopSignals(QObject* receiver, std::function<void()> stop) {
    {
        const std::lock_guard lock(forwardMutex);
        forwardTo = receiver;
    }
    std::thread([stop = std::move(stop)] {
        const sigset_t set = stopSignals();
        int signal = 0;
        while (sigwait(&set, &signal) == 0) {
            const std::lock_guard lock(forwardMutex);
            if (forwardTo) QMetaObject::invokeMethod(forwardTo, stop, Qt::QueuedConnection);
        }
    }).detach();
}
void stopForwarding() {
    const std::lock_guard lock(forwardMutex);
    forwardTo = nullptr;
}

} // namespace kx
