// Fast paths for compiled code: arithmetic, comparison, one path step with an integer index and
// block navigation. The common operand types (two integers, two floats, a block!) are computed
// inline; anything else goes to the action under a native frame named by the operator's word,
// so errors and traces name the operator. Every routine gives what the action gives.
#pragma once
#include <cstdint>
#include <cstring>

#include "runtime/actions.h"
#include "runtime/cell.h"

namespace nuv::fast {

// What series_nav computes.
enum class Nav : int32_t {
    Length = 1,  // length?
    Index = 2,   // index?
    IsHead = 3,  // head?
    IsTail = 4,  // tail?
    Next = 5,
    Back = 6,
    Head = 7,
    Tail = 8,
};

// ---- The cases computed without the action (the interpreter's own operators share them) ----
// `Mixed` also takes an integer! with a float!, and orders floats; the routines below take only
// two integers or, for add, subtract and multiply, two floats, and leave the rest to the action.

// a op b into `out` (which may be `a`) as the action writes its first argument, a's header
// flags kept: two integers on 32 bits, an add, subtract or multiply whose exact result does not
// fit giving the float! of the operation in double precision; floats add, subtract and multiply
// in double precision. False, with nothing written, when the action must decide.
template <bool Mixed>
[[gnu::always_inline]] inline bool arith_numbers(ArithOp op, const Cell* a, const Cell* b, Cell* out) {
    const TypeId at = cell::type_of(a);
    const TypeId bt = cell::type_of(b);
    double x, y;
    if (at == TypeId::Integer && bt == TypeId::Integer) {
        const int32_t i = cell::get_int(a);
        const int32_t j = cell::get_int(b);
        int32_t v;
        bool overflow = false;
        switch (op) {
        case ArithOp::Add: overflow = __builtin_add_overflow(i, j, &v); break;
        case ArithOp::Subtract: overflow = __builtin_sub_overflow(i, j, &v); break;
        case ArithOp::Multiply: overflow = __builtin_mul_overflow(i, j, &v); break;
        case ArithOp::Or: v = i | j; break;
        case ArithOp::And: v = i & j; break;
        case ArithOp::Xor: v = i ^ j; break;
        default: return false;
        }
        if (!overflow) {
            cell::put(out, a->header, a->w1, static_cast<uint32_t>(v), a->w3);
            return true;
        }
        x = i;
        y = j;
    } else {
        const bool numbers = Mixed ? (at == TypeId::Integer || at == TypeId::Float) &&
                                         (bt == TypeId::Integer || bt == TypeId::Float)
                                   : at == TypeId::Float && bt == TypeId::Float;
        if (!numbers) return false;
        x = at == TypeId::Integer ? cell::get_int(a) : cell::get_double(a);
        y = bt == TypeId::Integer ? cell::get_int(b) : cell::get_double(b);
    }
    double d;
    switch (op) {
    case ArithOp::Add: d = x + y; break;
    case ArithOp::Subtract: d = x - y; break;
    case ArithOp::Multiply: d = x * y; break;
    default: return false;
    }
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    cell::put(out, (a->header & ~cell::kTypeMask) | static_cast<uint32_t>(TypeId::Float), 0,
              static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32));
    return true;
}

// The truth of a op b (comparison codes 0 to 6) into *truth: two integers; with `Mixed` also
// the orderings of integer! and float! operands (a NaN orders as the comparison answers:
// false). Float equality is tolerant, the action's to decide. False when the action must.
template <bool Mixed>
[[gnu::always_inline]] inline bool compare_numbers(CompareOp op, const Cell* a, const Cell* b, bool* truth) {
    const TypeId at = cell::type_of(a);
    const TypeId bt = cell::type_of(b);
    if (at == TypeId::Integer && bt == TypeId::Integer) {
        const int32_t x = cell::get_int(a);
        const int32_t y = cell::get_int(b);
        switch (op) {
        case CompareOp::Equal:
        case CompareOp::StrictEqual: *truth = x == y; return true;
        case CompareOp::NotEqual: *truth = x != y; return true;
        case CompareOp::Lesser: *truth = x < y; return true;
        case CompareOp::LesserOrEqual: *truth = x <= y; return true;
        case CompareOp::Greater: *truth = x > y; return true;
        case CompareOp::GreaterOrEqual: *truth = x >= y; return true;
        default: return false;
        }
    }
    if constexpr (!Mixed) return false;
    if ((at != TypeId::Integer && at != TypeId::Float) || (bt != TypeId::Integer && bt != TypeId::Float))
        return false;
    const double x = at == TypeId::Integer ? cell::get_int(a) : cell::get_double(a);
    const double y = bt == TypeId::Integer ? cell::get_int(b) : cell::get_double(b);
    switch (op) {
    case CompareOp::Lesser: *truth = x < y; return true;
    case CompareOp::LesserOrEqual: *truth = x <= y; return true;
    case CompareOp::Greater: *truth = x > y; return true;
    case CompareOp::GreaterOrEqual: *truth = x >= y; return true;
    default: return false;
    }
}

// Each routine takes the word of the operator or action it performs; the word only names the
// frame of the action call, which every routine may make (and so allocate and raise whatever
// the action raises). An immediate second operand counts as an integer!.

// ---- Arithmetic: add, subtract, multiply, or, and, xor ----
// Two integers work on 32 bits; an add, subtract or multiply whose exact result does not fit
// gives the float! of the operation in double precision, as the action does. Two floats add,
// subtract and multiply in double precision. Another code raises script invalid-arg.

// The result pushed on the argument stack.
Cell* arith_stack(ArithOp op, const Cell* a, const Cell* b, const Cell* word);
Cell* arith_int(ArithOp op, const Cell* a, int32_t b, const Cell* word);
// The first operand is the top cell of the argument stack; the result replaces it and nothing
// else stays.
Cell* arith_top(ArithOp op, const Cell* b, const Cell* word);
Cell* arith_top_int(ArithOp op, int32_t b, const Cell* word);

// ---- Comparison: the codes of the comparison natives ----

// A logic! pushed on the argument stack.
Cell* compare_push(CompareOp op, const Cell* a, const Cell* b, const Cell* word);
Cell* compare_push_int(CompareOp op, const Cell* a, int32_t b, const Cell* word);
// The truth differing from `invert`; the argument stack is left as it was.
bool compare_test(CompareOp op, const Cell* a, const Cell* b, bool invert, const Cell* word);
bool compare_test_int(CompareOp op, const Cell* a, int32_t b, bool invert, const Cell* word);
// The truth, also as a logic! in arguments[0]; the stack top is left as it was.
bool compare_result(CompareOp op, const Cell* a, const Cell* b, const Cell* word);
bool compare_result_int(CompareOp op, const Cell* a, int32_t b, const Cell* word);
// The first operand is the top cell of the argument stack; the logic! replaces it.
Cell* compare_top(CompareOp op, const Cell* b, const Cell* word);
Cell* compare_top_int(CompareOp op, int32_t b, const Cell* word);

// ---- Series ----

// The path step series/index, pushed: on a block! the value `index` places from its position,
// none! for 0 or past the tail. Other types, and a negative index (which counts back from the
// position), go to path-access.
Cell* pick(const Cell* series, int32_t index, const Cell* word);
// The navigation's result pushed: a position moved within the block (next stays at the tail,
// back at the head), a count or a logic!. Another code raises script invalid-arg.
Cell* series_nav(const Cell* series, Nav code, const Cell* word);

}  // namespace nuv::fast
