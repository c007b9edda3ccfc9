#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "boot/boot_units.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/collector.h"
#include "runtime/frames.h"
#include "runtime/output.h"
#include "runtime/roots.h"
#include "runtime/runtime.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/words.h"

namespace nuv::fuzz {

namespace {

std::string* g_capture = nullptr;

void capture(const char* text, size_t length, int32_t) {
    if (!g_capture) return;
    g_capture->append(text, std::min(length, kMaxOutput - std::min(kMaxOutput, g_capture->size())));
}

// The error's report as the console prints it. The error must lie on the stack.
std::string report(Cell* error) {
    const stack::Mark mark;
    error::set_stack(error);
    Cell* buffer = string::make_at(stack::push(none::shared()), 128);
    registry::g_rows[static_cast<int>(TypeId::Error)].form(error, buffer, nullptr, 1 << 30);
    std::string text = string::to_std_utf8(buffer);
    mark.restore();
    return text;
}

}  // namespace

void give_up(const char* target, const char* what, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n%s\n", target, what, text.c_str());
    std::abort();
}

void start_runtime() {
    runtime::init();
    roots::set_collector_on(true);
    const stack::Mark mark;
    {
        frames::Owner frame(&words::w::anon, frames::kTry);
        if (frame.run([] { boot_units::run(); })) give_up("fuzz", "the boot source failed", "");
    }
    mark.restore();
}

Cell* load_program(const char* target, const std::string& text) {
    Cell* code = stack::push(none::shared());
    try {
        lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, code);
    } catch (const Unwind&) {
        give_up(target, "the written program does not lex", text);
    }
    return code;
}

void run_guarded(const char* target, const std::string& text) {
    const stack::Mark mark;
    const uint32_t depth = frames::depth();
    {
        // What the run makes is held only by what the program keeps (nothing, once it ends).
        collector::FreshScope fresh;
        Cell* code = load_program(target, text);
        frames::Owner frame(&words::w::anon, frames::kTry);
        frame.run([code] { interp::do_block(code); });
    }
    if (frames::depth() != depth) give_up(target, "the run left frames behind", text);
    mark.restore();
    collector::collect();
}

Outcome run_fresh(const char* target, const std::string& text) {
    Outcome out;
    start_runtime();
    g_capture = &out.output;
    output::add(nullptr, capture);
    const uint32_t depth = frames::depth();
    {
        Cell* code = load_program(target, text);
        frames::Owner frame(&words::w::anon, frames::kTry);
        // The report is made while the frames the error left are still there.
        if (frame.run([code] { interp::do_block(code); })) {
            const Cell* error = cell::is(stack::top(), TypeId::Error) ? stack::top() : raised_value();
            out.report = report(stack::push(error));
        }
    }
    if (frames::depth() != depth) give_up(target, "the run left frames behind", text);
    g_capture = nullptr;
    runtime::exit();
    return out;
}

}  // namespace nuv::fuzz
