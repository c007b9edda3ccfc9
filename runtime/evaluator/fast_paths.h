// Fast paths for compiled code: arithmetic, comparison, one path step with an integer index and
// block navigation. The common operand types (two integers, two floats, a block!) are computed
// inline; anything else goes to the action under a native frame named by the operator's word,
// so errors and traces name the operator. Every routine gives what the action gives.
#pragma once
#include <cstdint>

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
