// The natives that evaluate on demand, read and write words, and print: do, reduce, compose,
// apply, get, set, unset, value?, print and prin, with the block reduction that print shares
// with reduce. Each takes its arguments at arguments[0..] with the natives' calling convention
// and leaves its result in arguments[0].
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::natives_eval {

// A block, paren or hash (whole, or one expression with /next), a path, a string (lexed into a
// block that is then taken as one) or an error (raised as it stands). Any other value is
// evaluated as a one-value expression: a word gives its value, and a function it names (or a
// function value) is called with no argument from code, so one that needs arguments raises
// no-arg. break, continue, return and exit raised inside pass on.
void do_(bool check, const int32_t* refinements);
void get(bool check, const int32_t* refinements);
// A block of words is checked whole (word types, bindings, unset values) before any is set.
void set(bool check, const int32_t* refinements);
// A block, paren or hash gives a new block of its expressions' values, or with /into puts them
// into `out`; a function is returned as it is; any other value is evaluated as one expression.
void reduce(bool check, const int32_t* refinements);
// Copies the block, each non-empty paren replaced by its value (a block value spliced unless
// /only; unset and, unless /only, an empty block dropped); /deep composes nested blocks too. A
// nested block that encloses itself raises internal no-cycle, nesting deeper than the cycle
// stack's capacity internal too-deep.
void compose(bool check, const int32_t* refinements);
// Calls the function a word or path names (a path's further elements being refinements), or a
// function value, with its arguments taken from the block; op! values run as what they wrap.
void apply(bool check, const int32_t* refinements);
// A word, or every word! of a block, gets unset!; the other values of the block are skipped.
void unset(bool check, const int32_t* refinements);
// False for an unbound word or one whose value is unset!; true for anything else.
void is_value(bool check, const int32_t* refinements);
void print(bool check, const int32_t* refinements);
void prin(bool check, const int32_t* refinements);
// Writes a string! (from its head) to the output and its hooks, with a line break on request.
void write_text_value(const Cell* text, bool new_line);
// Prints the value formed on a line of its own, as `print` prints one value. Allocates; a
// value not a string! is formed into a cell pushed on the argument stack, for the caller's mark.
void print_value(const Cell* value);

// Evaluates each expression of the block from its head and appends each value, its new-line
// marker cleared, at the target's tail. Neither cell may lie in a collected buffer. May
// allocate; raises what the code raises, the values appended so far staying in the target.
void reduce_into(const Cell* block, Cell* target);

}  // namespace nuv::natives_eval
