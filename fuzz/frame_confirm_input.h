#pragma once
// One fuzz input for the frame confirmer: frames as an ECU sends them after a stream start, a
// line that adds and loses bytes, and deliveries of any size. Shared by the libFuzzer target
// and a unit test.
#include <cstddef>
#include <cstdint>

namespace kx::fuzz {

// Layout: [0] the rule, the acknowledgement and whether the ECU repeats one block (a memory
// read) or sends fresh data each frame (live data), [1] count byte (1..40), [2] frame count,
// then the data bytes (any value, 0xFF and header-shaped pairs included), then edit and
// delivery instructions, each a byte. One edit at most falls in any three frames' span. Within
// those bounds every confirmed frame must be one that was sent, and a one-shot read gives at
// most one reply. Returns false when that fails.
bool confirmsOnlySentFrames(const uint8_t* data, size_t size);

} // namespace kx::fuzz
