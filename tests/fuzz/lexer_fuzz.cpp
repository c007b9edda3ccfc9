// libFuzzer target: random bytes through every lexer mode (see lexer_fuzz_body.h).
// Built as nuv-fuzz-lexer in a build made with -DNUV_FUZZ=ON.
#include <cstddef>
#include <cstdint>

#include "runtime/runtime.h"
#include "tests/fuzz/lexer_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        nuv::runtime::init();
        nuv::runtime::set_collector_on(true);
        nuv::runtime::set_auto_root(false);
        return true;
    }();
    (void)started;
    nuv::fuzz::lex_input(data, size);
    return 0;
}
