// libFuzzer target: random text through the base-2, -16, -58 and -64 decoders (see
// base_fuzz_body.h). Built as nuv-fuzz-base in a build made with -DNUV_FUZZ=ON.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/base_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nuv::fuzz::start_runtime_once();
    nuv::fuzz::decode_input(data, size);
    return 0;
}
