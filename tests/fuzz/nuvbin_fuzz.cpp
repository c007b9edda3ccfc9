// libFuzzer target: random bytes through the NUVBIN decoder (see nuvbin_fuzz_body.h). Built as
// nuv-fuzz-nuvbin in a build made with -DNUV_FUZZ=ON.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/nuvbin_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nuv::fuzz::start_runtime_once();
    nuv::fuzz::nuvbin_input(data, size);
    return 0;
}
