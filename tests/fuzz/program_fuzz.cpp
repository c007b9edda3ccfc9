// libFuzzer target: the fuzz bytes become a Nuv program (program_writer.h) that runs in the boot
// environment under a try frame. Errors, throws and other unwinds the frame stops are expected
// outcomes; a crash, a sanitizer report, an unwinding that escapes the frame, frames left on
// the frame stack, or a heap the collector cannot walk afterwards is a finding. Text the writer
// makes that does not lex is the writer's fault and aborts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/collector.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/words.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/program_writer.h"

namespace nuv::fuzz {

namespace {

constexpr const char* kTarget = "program fuzz";

void run(const std::string& text) {
    const stack::Mark mark;
    const uint32_t depth = frames::depth();
    {
        // What the run makes is held only by what the program keeps (nothing, once it ends).
        collector::FreshScope fresh;
        Cell* code = load_program(kTarget, text);
        frames::Owner frame(&words::w::anon, frames::kTry);
        frame.run([code] { interp::do_block(code); });
    }
    if (frames::depth() != depth) give_up(kTarget, "the run left frames behind", text);
    mark.restore();
    collector::collect();
}

}  // namespace

}  // namespace nuv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        nuv::fuzz::start_runtime();
        return true;
    }();
    (void)started;
    nuv::fuzz::run(nuv::fuzz::write_program(data, size));
    return 0;
}
