// libFuzzer target: random JSON text through load-json beside the decoder's grammar (see
// json_fuzz_body.h). Built as nuv-fuzz-json in a build made with -DNUV_FUZZ=ON;
// nuv-fuzz-json-replay replays it.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/json_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nuv::fuzz::start_booted_runtime_once();
    nuv::fuzz::json_input(data, size);
    return 0;
}
