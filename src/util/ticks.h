#pragma once
// The program's one millisecond tick source: a 32-bit counter that wraps, as the ECU
// tools and the logger time stamps expect. Tests inject their own.
#include <cstdint>
#include <functional>

namespace kx {

using TickFn = std::function<uint32_t()>;

// Milliseconds since an arbitrary start, truncated to 32 bits.
uint32_t systemTicks();

// The current tick source (systemTicks unless a test replaced it).
uint32_t ticks();
// Replaces the tick source; an empty function restores the system one.
void setTickSource(TickFn fn);

// Elapsed milliseconds from `start` to `now` on the wrapping counter: when the counter
// wrapped (start > now) the reading is taken as now + 2^32.
inline uint64_t elapsedTicks(uint32_t start, uint32_t now) {
    uint64_t n = now;
    if (start > now) n += 0x100000000ull;
    return n - start;
}

// True when tick `a` comes before tick `b` on the wrapping counter, the two being less than
// 2^31 ms (24 days) apart.
inline bool tickBefore(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

} // namespace kx
