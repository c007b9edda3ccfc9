// libFuzzer target: random bytes through the LZ77 decoder and encoder (see lz77_fuzz_body.h).
// Built as nuv-fuzz-lz77 in a build made with -DNUV_FUZZ=ON.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/lz77_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nuv::fuzz::lz77_input(data, size);
    return 0;
}
