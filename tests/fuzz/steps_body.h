// What the fuzz targets that write a program of calls share: the booted runtime, the fuzz bytes
// as choices, and the run of each call under its own try frame with a check after it. Errors in
// the system's terms are expected; a crash, a sanitizer report, a call that leaves call frames
// or argument-stack cells behind, or a failed check is a finding (the run aborts and prints the
// program).
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/frames.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/words.h"
#include "tests/fuzz/fuzz_support.h"

namespace nuv::fuzz {

// Starts the runtime and its boot units once, as a program starts, with the words fuzz calls
// make left to the argument stack.
inline void start_booted_runtime_once() {
    static const bool started = [] {
        start_runtime();
        roots::set_auto_root(false);
        return true;
    }();
    (void)started;
}

// The fuzz bytes as a stream of choices; past the end every choice is 0.
class Choices {
  public:
    Choices(const uint8_t* data, size_t size) : at_(data), end_(data + size) {}
    uint8_t next() { return at_ < end_ ? *at_++ : 0; }
    int pick(int n) { return next() % n; }
    bool more() const { return at_ < end_; }

  private:
    const uint8_t* at_;
    const uint8_t* end_;
};

inline const char* pick_of(Choices& c, std::initializer_list<const char*> options) {
    return options.begin()[c.pick(static_cast<int>(options.size()))];
}

inline void require_step(bool law, const char* target, const char* what,
                         const std::string& program) {
    if (!law) give_up(target, what, program);
}

// The program is a series of blocks: each runs under its own try frame, then `check` must hold,
// no call frame may be left, and a block that ended normally leaves only its value. The first
// block sets the calls up and must end normally.
template <class Check>
void run_steps(const char* target, const std::string& program, Check check) {
    collector::FreshScope fresh;
    const stack::Mark mark;
    const uint32_t depth = frames::depth();
    Cell* code = load_program(target, program);
    const int32_t steps = block::count(cell::node(code));
    for (int32_t k = 0; k < steps; k++) {
        Cell* step = stack::push(&block::raw_cells(cell::node(code))[k]);
        {
            frames::Owner frame(&words::w::anon, frames::kTry);
            const auto kind = frame.run([step] { interp::do_block(step); });
            require_step(k > 0 || !kind, target, "the setup failed", program);
            require_step(check(), target, "a call left its engine away from its base", program);
            require_step(kind || stack::g_args.top == step + 2, target,
                         "a call left the argument stack away from its place", program);
        }
        require_step(frames::depth() == depth, target, "a call left call frames behind", program);
        stack::g_args.top = step;
    }
    mark.restore();
}

}  // namespace nuv::fuzz
