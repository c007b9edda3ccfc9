// libFuzzer target: random bytes through the five image decoders (see image_fuzz_body.h).
// Built as nuv-fuzz-image in a build made with -DNUV_FUZZ=ON.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/image_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nuv::fuzz::image_input(data, size);
    return 0;
}
