// libFuzzer target: the fuzz bytes become a Nuv program (program_writer.h) that runs in the boot
// environment under a try frame. Errors, throws and other unwinds the frame stops are expected
// outcomes; a crash, a sanitizer report, an unwinding that escapes the frame, frames left on
// the frame stack, or a heap the collector cannot walk afterwards is a finding. Text the writer
// makes that does not lex is the writer's fault and aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "boot/boot_source.h"
#include "runtime/collector.h"
#include "runtime/datatypes/none.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/frames.h"
#include "runtime/runtime.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/words.h"
#include "tests/fuzz/program_writer.h"

namespace nuv::fuzz {

namespace {

[[noreturn]] void give_up(const char* what, const std::string& text) {
    std::fprintf(stderr, "program fuzz: %s\n%s\n", what, text.c_str());
    std::abort();
}

void start() {
    runtime::init();
    runtime::set_collector_on(true);
    stack::Mark mark;
    frames::Owner frame(&words::w::anon, frames::kTry);
    if (frame.run([] { boot_source::load(); })) give_up("the boot source failed", "");
    mark.restore();
}

// The text's values, in a block on the argument stack.
Cell* load(const std::string& text) {
    Cell* code = stack::push(none::shared());
    try {
        lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, code);
    } catch (const Unwind&) {
        give_up("the written program does not lex", text);
    }
    return code;
}

void run(const std::string& text) {
    const stack::Mark mark;
    const uint32_t depth = frames::depth();
    {
        // What the run makes is held only by what the program keeps (nothing, once it ends).
        collector::FreshScope fresh;
        Cell* code = load(text);
        frames::Owner frame(&words::w::anon, frames::kTry);
        frame.run([code] { interp::do_block(code); });
    }
    if (frames::depth() != depth) give_up("the run left frames behind", text);
    mark.restore();
    collector::collect();
}

}  // namespace

}  // namespace nuv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        nuv::fuzz::start();
        return true;
    }();
    (void)started;
    nuv::fuzz::run(nuv::fuzz::write_program(data, size));
    return 0;
}
