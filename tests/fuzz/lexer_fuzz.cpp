// libFuzzer target: random bytes through every lexer mode (see lexer_fuzz_body.h).
// Built as nuv-fuzz-lexer in a build made with -DNUV_FUZZ=ON.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/lexer_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nuv::fuzz::start_runtime_once();
    nuv::fuzz::lex_input(data, size);
    return 0;
}
