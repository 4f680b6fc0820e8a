#pragma once
#include <cstdint>

namespace kx {

// Waits at least `ms` milliseconds on the program's tick source while window and port events
// keep flowing (a nested event loop with a timer, never a busy loop). waitMs(0) processes
// pending events once. Anything may happen during the wait, including the caller's window
// closing: callers guard their objects.
void waitMs(uint32_t ms);

} // namespace kx
