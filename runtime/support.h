// Runtime support that natively compiled code and the datatypes call: argument type checks,
// checked conversions, the root values, and byte-pattern filling.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace nuv {

// Raises script expect-arg for a value of a type the operation does not take, naming the calling
// function (arg1), the datatype (arg2) and the function's argument number `arg` (arg3: counted
// from 0 over the spec's argument words, refinement arguments included, refinement words not).
[[noreturn]] void fire_expect_arg(TypeId type, int32_t arg);

// The typeset bitmap of a typeset cell (words 1-3, read byte-wise from word 1): type t is bit
// 0x80 >> (t mod 8) of byte t div 8.
bool typeset_has(const Cell* typeset, int type);

// Passes the value through when its type is in the typeset, else raises script expect-arg
// naming the spec_index-th argument of the current function. Returns the value.
Cell* type_check(const Cell* typeset, int32_t spec_index, Cell* value);
// type_check on argument cell `slot` of the current call; a negative slot skips the check.
Cell* type_check_arg(int32_t slot, const Cell* typeset, int32_t spec_index);
// type_check only when the refinement (a logic cell) is set.
Cell* type_check_opt(const Cell* refinement, const Cell* typeset, int32_t spec_index, Cell* value);
// Raises script expect-arg when the value is unset!; else returns it.
Cell* check_not_unset(int32_t spec_index, Cell* value);

// A float! is truncated toward zero; above 2147483647.0, below -2147483648.0 or NaN raises
// script out-of-range. Any other value answers its integer payload (word 2).
int32_t float_to_int_checked(const Cell* value);

[[noreturn]] void fire_bad_make(TypeId type, const Cell* spec);

// Repeats the first `pattern` bytes at target until `total` bytes are filled; returns
// target + total.
uint8_t* fill_pattern(uint8_t* target, size_t total, size_t pattern);

// The byte operation of a bit-set combination: and~, or~, xor~ (codes 6, 5, 7) and the set
// codes 9 union (or), 10 intersect (and), 11 exclude (the first and not the second), 12
// difference (xor). Any other code raises script invalid-arg with it.
enum class ByteOp : uint8_t { Or, And, Xor, AndNot };
ByteOp byte_op_of(int32_t code);
inline uint8_t apply_byte_op(ByteOp op, uint8_t x, uint8_t y) {
    switch (op) {
    case ByteOp::Or: return x | y;
    case ByteOp::And: return x & y;
    case ByteOp::Xor: return x ^ y;
    case ByteOp::AndNot: return x & static_cast<uint8_t>(~y);
    }
    return 0;
}

// Compiled-call support: a true refinement marks its argument cell `slot` (word 1 = 1); a false
// one sets the `count` argument cells after it to none!.
void refinement_args_init(const Cell* refinement, int32_t slot, int32_t count);

// Looks arguments[0] (the key) up in the block of arguments[1] from its index: every cell with
// `step`, else every other cell. The answer is the cell after the match (with `to_block`, the
// first block! after it, or the tail position); with `step` it is pushed, else it lands in
// arguments[0]. No match answers none!. A block! key finds nothing.
Cell* block_select_stack(bool step, bool to_block);

// Pushes a new string holding the value formed; a positive limit cuts it to that many
// characters. Returns the string cell.
Cell* form_value_push(const Cell* value, int32_t limit);

// Word and context access for compiled code; errors name the word.
// The word's value (valid until the next allocation); an unset! value raises script no-value.
const Cell* word_get_checked(const Cell* word);
// Sets the word to the value on top of the argument stack; an unset! value raises script
// need-value. The _drop form then drops the stack back to the arguments base. May allocate.
void word_set_checked(Cell* word);
void word_set_checked_drop(Cell* word);
// Stores the top value into value #index of the context (need-value for unset!), or without
// the check; the _drop forms drop the stack to the arguments base afterwards.
void context_set_checked(NodeId ctx, int32_t index);
void context_set_checked_drop(NodeId ctx, int32_t index);
void context_set_drop(NodeId ctx, int32_t index);
// Value #index of the context; a context without values raises script not-defined.
const Cell* context_value_ptr(NodeId ctx, int32_t index);

// Appends four spaces per level; returns the limit less what was appended.
int32_t mold_indent(Cell* buffer, int32_t level, int32_t limit);

}  // namespace nuv
