#pragma once
// One fuzz input for the frame confirmer: frames as an ECU sends them, a line that adds and
// loses bytes, and deliveries of any size. Shared by the libFuzzer target and a unit test.
#include <cstddef>
#include <cstdint>

namespace kx::fuzz {

// Layout: [0] count byte (1..40), [1] frame count, then the frames' data bytes, then edit and
// delivery instructions, each a byte. Data bytes are never 0xFF, and one edit at most falls in
// any two frames' span: within those bounds every confirmed frame must be one that was sent.
// Returns false when a confirmed frame was not sent.
bool confirmsOnlySentFrames(const uint8_t* data, size_t size);

} // namespace kx::fuzz
