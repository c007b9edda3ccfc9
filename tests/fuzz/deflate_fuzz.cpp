// libFuzzer target: a framing byte and a stream through the DEFLATE decoders (see
// deflate_fuzz_body.h). Built as nuv-fuzz-deflate in a build made with -DNUV_FUZZ=ON.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/deflate_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nuv::fuzz::deflate_input(data, size);
    return 0;
}
