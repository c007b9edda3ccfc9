// libFuzzer target: the fuzz bytes become a program of `draw` calls on a 16x16 image
// (draw_writer.h) that runs in the boot environment under a try frame. Draw errors are expected
// outcomes; a crash, a sanitizer report, an unwinding that escapes the frame or frames left
// behind is a finding.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/draw_writer.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        nuv::fuzz::start_runtime();
        return true;
    }();
    (void)started;
    nuv::fuzz::run_guarded("draw fuzz", nuv::fuzz::write_draw_program(data, size));
    return 0;
}
