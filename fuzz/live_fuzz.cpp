// libFuzzer target: random selections and deliveries through the live-data decoder.
#include "live_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kx::fuzz::decodeLiveInput(data, size);
    return 0;
}
