#pragma once
// One fuzz input for the live-data decoder: a selection, unit choices and a delivery, all taken
// from the bytes. Shared by the libFuzzer target and the replay test.
#include <cstddef>
#include <cstdint>

namespace kx::fuzz {

// Layout: [0] options (bit 0 fahr, bit 1 mph, bit 2 forced count), [1] forced count,
// [2] speed correction in 64ths, [3..18] display selection, then the delivery bytes. Aborts
// on a broken invariant (a request that does not match its count).
void decodeLiveInput(const uint8_t* data, size_t size);

} // namespace kx::fuzz
