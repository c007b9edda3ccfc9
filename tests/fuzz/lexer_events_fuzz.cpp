// libFuzzer target: transcode/trace with a callback answering at random (see
// lexer_events_fuzz_body.h). Built as nuv-fuzz-lexer_events in a build made with -DNUV_FUZZ=ON;
// nuv-fuzz-lexer_events-replay replays it.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/lexer_events_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nuv::fuzz::start_booted_runtime_once();
    nuv::fuzz::lexer_events_input(data, size);
    return 0;
}
