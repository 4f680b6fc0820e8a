#pragma once
// SIGINT and SIGTERM end the recording from the event loop, never inside a write. They are
// blocked in every thread and taken by one of their own, so the loop polls nothing extra for
// them: on a byte-paced line every file it polls is looked at again for each byte.
#include <csignal>
#include <functional>

class QObject;

namespace kx {

// SIGINT and SIGTERM, to be blocked before any thread starts.
sigset_t stopSignals();
// From now on a stop signal runs `stop` on `receiver`'s thread, from its event loop.
void forwardStopSignals(QObject* receiver, std::function<void()> stop);
// No stop signal is forwarded any more (the event loop is ending).
void stopForwarding();

} // namespace kx
