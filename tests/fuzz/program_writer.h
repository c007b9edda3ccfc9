// Turns fuzz bytes into the text of a small Nuv program: the bytes steer a grammar of series
// actions with every kind of /part and count argument, loops, function makers, objects with
// on-change*, sort comparators, catchers and throws, blocks that change themselves while they
// run, recycle, and arguments of the wrong type. Each top-level statement runs under its own
// try/all. Every loop body, function body, self-changing block, growing insertion (in an
// expression too), catcher's block, and statement that runs a self-changing block or data first
// calls `tick`, which raises an error once the statement's fuel or the program's memory budget
// is spent. A self-changing block may lose its own tick, and the ticks outside it still bound
// it: it cannot run itself again, catch the error that ends a recursion and go on, or lengthen
// the series its loop walks, without a tick. So a program ends in bounded time whatever it
// does. The text always lexes, and the same bytes always give the same text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace nuv::fuzz {

std::string write_program(const uint8_t* data, size_t size);

// The differential target's program: the same guards over a grammar weighted towards loops,
// calls, recursion, methods, rebinding of operators, conditionals and functions (also from
// inside a callee, in the middle of an expression), changes to the running block, errors and
// unwinding. It prints as it runs (values molded, errors with their id, arguments, near and
// where, the frame names and stack indexes) and always ends the same way, whatever the
// evaluator's mode. Its last statement runs unguarded, so it may end with an uncaught error.
std::string write_diff_program(const uint8_t* data, size_t size);

}  // namespace nuv::fuzz
