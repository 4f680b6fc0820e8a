// Inputs that stress the live-data decoder's edges, replayed through the fuzz target's entry.
#include "live_fuzz_input.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<uint8_t> input(uint8_t options, uint8_t count, std::vector<uint8_t> slotGauges,
                           std::vector<uint8_t> delivery) {
    std::vector<uint8_t> in{options, count, 64};
    slotGauges.resize(16, 20);
    in.insert(in.end(), slotGauges.begin(), slotGauges.end());
    in.insert(in.end(), delivery.begin(), delivery.end());
    return in;
}

void replay(const std::vector<uint8_t>& in) {
    kx::fuzz::decodeLiveInput(in.data(), in.size());
}

} // namespace

TEST(LiveFuzzReplay, NastyDeliveriesEndQuietly) {
    // Header and count as the last two bytes: a frame with no data at all.
    replay(input(0, 0, {0, 0, 0}, {0, 0, 0xFF, 6}));
    // A forced count of 255 on a tiny delivery: the search window is wider than the bytes.
    replay(input(4, 255, {0}, {0xFF, 255}));
    // Forced count 0 with two-byte gauges selected: decoding runs straight off the end.
    replay(input(4, 0, {0, 1, 2, 12, 19}, {0xFF, 0, 0x7F}));
    // Gauge numbers beyond the catalogue in every slot.
    replay(input(3, 0, std::vector<uint8_t>(12, 27), {0xFF, 0, 1, 2, 3}));
    // Only a header byte, and nothing at all after the selection.
    replay(input(0, 0, {4}, {0xFF}));
    replay(input(0, 0, {4}, {}));
    // Speed correction of 255/64 with the largest raw speed, every flag at 2 and at 1.
    replay(input(2, 0, {6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 1, 1, 1, 1},
                 {0xFF, 16, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                  255, 255}));
    replay(input(0, 0, {6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2}, {0xFF, 23}));
    SUCCEED();
}
