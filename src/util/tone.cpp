#include "util/tone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kx {

std::vector<int16_t> toneSamples(int sampleRate, int frequencyHz, int durationMs,
                                 double amplitude) {
    const int n = std::max(0, int(int64_t(sampleRate) * durationMs / 1000));
    const int ramp = std::max(1, std::min(sampleRate / 200, n / 2)); // 5 ms
    std::vector<int16_t> out(size_t(n), 0);
    const double step = 2 * std::numbers::pi * frequencyHz / sampleRate;
    for (int i = 0; i < n; ++i) {
        const double gain = std::min({1.0, double(i) / ramp, double(n - 1 - i) / ramp});
        out[size_t(i)] = int16_t(std::lround(32767 * amplitude * gain * std::sin(step * i)));
    }
    return out;
}

} // namespace kx
