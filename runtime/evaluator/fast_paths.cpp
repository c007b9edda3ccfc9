// One implementation behind the arithmetic and comparison routines: the place of the result is
// a template parameter, and an immediate operand becomes an integer! cell on the way in. The
// action calls take copies of the operands, so a routine's operands may lie anywhere,
// including the argument stack's top cell.
#include "runtime/evaluator/fast_paths.h"

#include <iterator>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions_table.h"
#include "runtime/frames.h"
#include "runtime/stack.h"

namespace nuv::fast {

namespace {

using T = TypeId;
using Action = void (*)();

// Where a routine leaves its result.
enum class Place : uint8_t {
    Push,    // a new cell on the argument stack
    Top,     // over the first operand, the top cell of the argument stack
    Test,    // returned only
    Result,  // returned, and in arguments[0]
};

// Indexed by operation code; the codes without a fast path have no action here.
constexpr Action kArithActions[] = {
    actions::add, actions::subtract, actions::multiply, nullptr,
    nullptr,      actions::or_,      actions::and_,     actions::xor_,
};

// Indexed by navigation code.
constexpr Action kNavActions[] = {
    nullptr,          actions::length_q, actions::index_q, actions::head_q, actions::tail_q,
    actions::next,    actions::back,     actions::head,    actions::tail,
};

template <size_t N>
Action action_of(const Action (&table)[N], int32_t code) {
    const auto at = static_cast<uint32_t>(code);
    if (at >= N || !table[at]) fire_int(Err::InvalidArg, code);
    return table[at];
}

Cell integer_cell(int32_t v) {
    Cell c;
    integer::set(&c, v);
    return c;
}

// The action as compiled code calls it: a native frame named by the word, copies of the
// operands as its arguments, and its result left as the last pushed cell, which is answered.
template <class Call>
Cell* call_action(const Cell* word, const Cell* first, const Cell* second, Call call) {
    frames::push_native(word);
    stack::push(first);
    if (second) stack::push(second);
    call();
    frames::pop_keep_result();
    return stack::g_args.top - 1;
}

// The first operand of the in-place routines.
Cell* top_cell() { return stack::g_args.top - 1; }

template <Place P>
[[gnu::always_inline]] inline Cell* arith_to(ArithOp op, const Cell* a, const Cell* b, const Cell* word) {
    static_assert(P == Place::Push || P == Place::Top);
    if constexpr (P == Place::Top) a = top_cell();
    Cell result;
    if (!arith_numbers<false>(op, a, b, &result)) [[unlikely]] {
        const Action action = action_of(kArithActions, static_cast<int32_t>(op));
        result = *call_action(word, a, b, action);
        stack::drop(1);
    }
    if constexpr (P == Place::Top) return cell::copy(&result, top_cell());
    else return stack::push(&result);
}

template <Place P>
[[gnu::always_inline]] inline auto compare_to(CompareOp op, const Cell* a, const Cell* b, bool invert,
                                              const Cell* word) {
    if constexpr (P == Place::Top) a = top_cell();
    bool truth;
    if (!compare_numbers<false>(op, a, b, &truth)) [[unlikely]] {
        truth = logic::get(call_action(word, a, b, [op] { compare::compare_to_logic(op); }));
        stack::drop(1);
    }
    if constexpr (P == Place::Push) {
        const Cell result{static_cast<uint32_t>(T::Logic), truth ? 1u : 0u, 0, 0};
        return stack::push(&result);
    } else if constexpr (P == Place::Top) {
        Cell* first = top_cell();
        logic::set(first, truth);
        return first;
    } else if constexpr (P == Place::Result) {
        logic::set(stack::arg(0), truth);
        return truth;
    } else {
        return truth != invert;
    }
}

}  // namespace

// ---- Arithmetic ----

Cell* arith_stack(ArithOp op, const Cell* a, const Cell* b, const Cell* word) {
    return arith_to<Place::Push>(op, a, b, word);
}
Cell* arith_int(ArithOp op, const Cell* a, int32_t b, const Cell* word) {
    const Cell right = integer_cell(b);
    return arith_to<Place::Push>(op, a, &right, word);
}
Cell* arith_top(ArithOp op, const Cell* b, const Cell* word) {
    return arith_to<Place::Top>(op, nullptr, b, word);
}
Cell* arith_top_int(ArithOp op, int32_t b, const Cell* word) {
    const Cell right = integer_cell(b);
    return arith_to<Place::Top>(op, nullptr, &right, word);
}

// ---- Comparison ----

Cell* compare_push(CompareOp op, const Cell* a, const Cell* b, const Cell* word) {
    return compare_to<Place::Push>(op, a, b, false, word);
}
Cell* compare_push_int(CompareOp op, const Cell* a, int32_t b, const Cell* word) {
    const Cell right = integer_cell(b);
    return compare_to<Place::Push>(op, a, &right, false, word);
}
bool compare_test(CompareOp op, const Cell* a, const Cell* b, bool invert, const Cell* word) {
    return compare_to<Place::Test>(op, a, b, invert, word);
}
bool compare_test_int(CompareOp op, const Cell* a, int32_t b, bool invert, const Cell* word) {
    const Cell right = integer_cell(b);
    return compare_to<Place::Test>(op, a, &right, invert, word);
}
bool compare_result(CompareOp op, const Cell* a, const Cell* b, const Cell* word) {
    return compare_to<Place::Result>(op, a, b, false, word);
}
bool compare_result_int(CompareOp op, const Cell* a, int32_t b, const Cell* word) {
    const Cell right = integer_cell(b);
    return compare_to<Place::Result>(op, a, &right, false, word);
}
Cell* compare_top(CompareOp op, const Cell* b, const Cell* word) {
    return compare_to<Place::Top>(op, nullptr, b, false, word);
}
Cell* compare_top_int(CompareOp op, int32_t b, const Cell* word) {
    const Cell right = integer_cell(b);
    return compare_to<Place::Top>(op, nullptr, &right, false, word);
}

// ---- Series ----

Cell* pick(const Cell* series, int32_t index, const Cell* word) {
    if (cell::is(series, T::Block) && index >= 0) {
        const NodeId node = cell::node(series);
        const int64_t at = static_cast<int64_t>(cell::head(series)) + index - 1;
        if (index == 0 || at < 0 || at >= block::count(node)) return stack::push(none::shared());
        const Cell value = block::at(node, static_cast<int32_t>(at));
        return stack::push(&value);
    }
    const Cell element = integer_cell(index);
    return call_action(word, series, &element, [] { actions::path_access(0); });
}

Cell* series_nav(const Cell* series, Nav code, const Cell* word) {
    const Action action = action_of(kNavActions, static_cast<int32_t>(code));
    const int32_t head = cell::head(series);
    // A head before the buffer is for the action to clamp.
    if (!cell::is(series, T::Block) || head < 0) return call_action(word, series, nullptr, action);
    const int32_t count = block::count(cell::node(series));
    const int32_t n = count - head;  // negative when the head lies beyond the tail
    Cell result = *series;
    switch (code) {
    case Nav::Length: integer::set(&result, n < 0 ? 0 : n); break;
    case Nav::Index: integer::set(&result, head + 1); break;
    case Nav::IsHead: logic::set(&result, head == 0); break;
    case Nav::IsTail: logic::set(&result, n < 1); break;
    case Nav::Next:
        if (n > 0) cell::set_head(&result, head + 1);
        break;
    case Nav::Back:
        if (head > 0) cell::set_head(&result, head - 1);
        break;
    case Nav::Head: cell::set_head(&result, 0); break;
    case Nav::Tail: cell::set_head(&result, count); break;
    }
    return stack::push(&result);
}

}  // namespace nuv::fast
