// libFuzzer target: the fuzz bytes become a Nuv program (program_writer.h) that runs in the boot
// environment under a try frame. Errors, throws and other unwinds the frame stops are expected
// outcomes; a crash, a sanitizer report, an unwinding that escapes the frame, frames left on
// the frame stack, or a heap the collector cannot walk afterwards is a finding. Text the writer
// makes that does not lex is the writer's fault and aborts.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/program_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        nuv::fuzz::start_runtime();
        return true;
    }();
    (void)started;
    nuv::fuzz::run_guarded("program fuzz", nuv::fuzz::write_program(data, size));
    return 0;
}
