#pragma once
// The samples of the alert tone: a sine with short ramps at both ends, so that it starts and
// stops without a click.
#include <cstdint>
#include <vector>

namespace kx {

std::vector<int16_t> toneSamples(int sampleRate, int frequencyHz, int durationMs,
                                 double amplitude = 0.5);

} // namespace kx
