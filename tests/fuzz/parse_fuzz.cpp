// libFuzzer target: random rules over random inputs through `parse` (see parse_fuzz_body.h).
// Built as nuv-fuzz-parse in a build made with -DNUV_FUZZ=ON; nuv-fuzz-parse-replay replays it.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/parse_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nuv::fuzz::start_booted_runtime_once();
    nuv::fuzz::parse_input(data, size);
    return 0;
}
