// Non-local exits, the catchers that stop them, and the counting and testing loops.
#include "runtime/evaluator/natives_control.h"

#include <optional>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/native_support.h"
#include "runtime/evaluator/natives_loops.h"
#include "runtime/evaluator/trace.h"
#include "runtime/evaluator/truth.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::natives_control {

namespace {

using natives::need_type;
using T = TypeId;
using Kind = std::optional<UnwindKind>;

// A loop count, made an integer! in its cell: a float! is truncated toward zero, and one that
// is NaN or outside the 32-bit range counts as the smallest integer (no iteration).
int32_t count_of(Cell* value, int32_t arg) {
    natives_loops::float_count_to_integer(value);
    if (!cell::is(value, T::Integer)) fire_expect_arg(cell::type_of(value), arg);
    return integer::get(value);
}

// Whether the thrown name (a word!, or unset! for none) is one of the catch's names: a word!,
// or a block of words, each of which must be a word!.
bool name_matches(const Cell* names, const Cell* thrown) {
    const bool is_word = cell::is(thrown, T::Word);
    const SymId sym = is_word ? symbol::resolve(word::symbol_of(thrown)) : 0;
    if (cell::is(names, T::Word)) return is_word && symbol::resolve(word::symbol_of(names)) == sym;
    const NodeId node = cell::node(names);
    bool found = false;
    for (int32_t i = block::head_index(names), n = block::count(node); i < n; i++) {
        const Cell item = block::at(node, i);
        if (!cell::is(&item, T::Word)) fire(Err::InvalidRefineArg, &words::w::name, names);
        if (is_word && symbol::resolve(word::symbol_of(&item)) == sym) found = true;
    }
    return found;
}

}  // namespace

void break_(bool, const int32_t* refinements) { frames::break_unwind(refinements[0] >= 0, false); }
void continue_(bool, const int32_t*) { frames::break_unwind(false, true); }

void throw_(bool, const int32_t* refinements) {
    if (stack::g_args.top < stack::g_args.base + 2) stack::g_args.top = stack::g_args.base + 2;
    if (refinements[0] >= 0) need_type(1, T::Word);
    else unset::set(stack::arg(1));
    if (trace::tracing()) trace::event(trace::Event::Throw, nullptr, -1, nullptr, stack::arg(0));
    frames::throw_unwind();
}

void catch_(bool, const int32_t* refinements) {
    need_type(0, T::Block);
    const Cell* block = stack::arg(0);
    const Cell* names = nullptr;
    if (refinements[0] >= 0) {
        names = stack::arg(1);
        if (!cell::is(names, T::Word) && !cell::is(names, T::Block))
            fire_expect_arg(cell::type_of(names), 1);
    }
    Cell result;
    {
        natives::BlockFrame frame(names ? 2 : 1, &words::w::anon, frames::kCatch);
        if (frame.run(block)) {
            // The frame holds the thrown value and its name; one for another catcher goes on.
            if (names && !name_matches(names, stack::arg(1))) frames::throw_unwind();
            frames::clear_throw_origin();
            if (trace::tracing()) trace::event(trace::Event::Catch, nullptr, -1, nullptr, frame.value());
        }
        result = *frame.value();
    }
    stack::set_result(&result);
}

void try_(bool, const int32_t* refinements) {
    need_type(0, T::Block);
    const Cell* block = stack::arg(0);
    const bool keep = refinements[1] >= 0;
    Cell result;
    Kind kind;
    {
        const uint32_t header = (refinements[0] >= 0 ? frames::kTryAll : frames::kTry) |
                                (keep ? frames::kKeepFlag : 0);
        natives::BlockFrame frame(1, &words::w::anon, header);
        kind = frame.run(block);
        if (!kind) result = *frame.value();
    }
    if (kind) {
        // Only errors reach a try frame: the other exits stop at a try/all as errors. The
        // unwinding left the error! on top of this call's cells.
        result = cell::is(stack::top(), T::Error) ? *stack::top() : *raised_value();
    }
    Cell* slot = stack::set_result(&result);
    if (keep && cell::is(slot, T::Error)) error::set_stack(slot);
}

void loop(bool, const int32_t*) {
    need_type(1, T::Block);
    const int32_t count = count_of(stack::arg(0), 0);
    if (count < 1) {
        stack::set_result(none::shared());
        return;
    }
    const Cell* body = stack::arg(1);
    Cell result;
    {
        natives::BlockFrame frame(2, &words::w::body, frames::kLoop);
        for (int32_t i = 0; i < count; i++) {
            if (frame.run(body) == UnwindKind::Break) break;
        }
        result = *frame.value();
    }
    stack::set_result(&result);
}

void repeat(bool, const int32_t*) {
    need_type(0, T::Word);
    need_type(2, T::Block);
    const int32_t count = count_of(stack::arg(1), 1);
    if (count < 1) {
        stack::set_result(none::shared());
        return;
    }
    Cell* word = stack::arg(0);
    Cell* counter = stack::arg(1);
    const Cell* body = stack::arg(2);
    Cell result;
    {
        natives::BlockFrame frame(3, &words::w::body, frames::kLoop);
        // The counter lives in this cell, so a body that sets the word does not change the count.
        for (int32_t i = 1; i <= count; i++) {
            integer::set(counter, i);
            word::set(word, counter);
            if (frame.run(body) == UnwindKind::Break) break;
        }
        result = *frame.value();
    }
    stack::set_result(&result);
}

void while_(bool, const int32_t*) {
    need_type(0, T::Block);
    need_type(1, T::Block);
    const Cell* cond = stack::arg(0);
    const Cell* body = stack::arg(1);
    {
        natives::BlockFrame frame(2, &words::w::body, frames::kLoop);
        for (;;) {
            if (frame.run(cond)) fire(Err::WhileCond);
            if (!truth::is_true_strict(frame.value())) break;
            if (frame.run(body) == UnwindKind::Break) break;
        }
    }
    stack::set_result(unset::shared());
}

void until(bool, const int32_t*) {
    need_type(0, T::Block);
    const Cell* body = stack::arg(0);
    Cell result;
    {
        natives::BlockFrame frame(1, &words::w::body, frames::kLoop);
        for (;;) {
            const Kind kind = frame.run(body);
            if (kind == UnwindKind::Break) break;
            if (kind == UnwindKind::Continue) continue;
            if (truth::is_true_strict(frame.value())) break;
        }
        result = *frame.value();
    }
    stack::set_result(&result);
}

void forever(bool, const int32_t*) {
    need_type(0, T::Block);
    const Cell* body = stack::arg(0);
    Cell result;
    {
        natives::BlockFrame frame(1, &words::w::body, frames::kLoop);
        while (frame.run(body) != UnwindKind::Break) {
        }
        result = *frame.value();
    }
    stack::set_result(&result);
}

}  // namespace nuv::natives_control
