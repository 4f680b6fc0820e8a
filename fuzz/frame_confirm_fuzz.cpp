// libFuzzer target: frames through a line that adds and loses bytes; no frame is confirmed
// that was not sent.
#include "frame_confirm_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!kx::fuzz::confirmsOnlySentFrames(data, size)) std::abort();
    return 0;
}
