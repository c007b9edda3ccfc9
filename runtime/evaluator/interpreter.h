// The interpreter: evaluates blocks left to right, one expression at a time, with infix
// operators taken strictly left to right. Callees get their arguments on the argument stack,
// fetched along a compiled form of their spec that is made once and kept in the callee's
// information block. A function's arguments and locals live on the stack; its context's values
// word holds their cell index for the duration of the call, every exit path included.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/hooks.h"

namespace nuv::interp {

// Makes the current code cell (in the root block) and gives it to error reports as `near`;
// takes the machine-stack guard from the calling thread. Once per runtime start, after the
// stacks and the runtime words.
void init();

// Evaluates every expression of the block from its index. With `return_result` the last value
// is copied into the caller's arguments[0]; otherwise it is left as the caller's last pushed
// value. An empty block gives unset. May allocate; raises what the code raises.
void eval_block(const Cell* block, bool return_result);
// Evaluates the block as the current call's own code, with no frame of its own: the call's
// arguments are dropped first and the value lands in arguments[0], the only cell left. May
// allocate; raises what the code raises.
void eval_in_frame(const Cell* block);
// Evaluates the block and pushes its value as a new cell of the current call; returns it.
Cell* do_block(const Cell* block);
// One expression of the block at `index`, pushed as a new cell; answers the index after it.
// At the tail, unset is pushed and the index answered unchanged.
int32_t eval_at(const Cell* block, int32_t index);

// How a path is taken: Normal as code (a function at its head is called), Get reads, Set stores
// a value at the last element.
enum class PathMode : uint8_t { Normal, Get, Set };
// Evaluates the path outside any block and pushes the value read (Set: the value stored, which
// must be a stable cell). In Normal mode a function at the head gets the path's refinements and
// no argument from code. `case_` makes each step compare keys case-sensitively. May allocate;
// raises what the path raises in code.
Cell* eval_path_alone(const Cell* path, PathMode mode, const Cell* value, bool case_);

using Callback = hooks::Callback;
// Calls a function! from runtime code with `count` values as its first argument slots; every
// slot after them is filled as for a call without refinements (refinements false, their
// arguments none, /local false, the locals none). The values must not lie above the stack top.
// The result is pushed as a new cell of the current call and returned. May allocate; raises
// what the body raises (return and exit end at the call). While a trace run is open, a call of
// a kind other than Call is traced only when system/state/callbacks/bits has the kind's bit
// (then framed by the events call and return), else it runs with tracing off.
Cell* call_function(const Cell* function, Callback kind, const Cell* values, int32_t count);
// A runtime callback that may move what it was given: a routine! is called directly under a
// frame named for the kind, a function! as call_function calls it. When the callback has run,
// `values` holds its argument slots as it left them (the first is the result's slot, so it
// keeps the value given). Both kinds are traced as call_function traces a function.
Cell* call_callback(const Cell* callee, Callback kind, Cell* values, int32_t count);
// The same call, under a frame named by `name` (a stable word cell) and traced as the code
// around it, with a pending exit kept aside for its duration and put back when it ends
// normally: the trace callback's call.
Cell* call_aside(const Cell* function, const Cell* name, const Cell* values, int32_t count);
// Calls a sort comparator (a function!, native!, action!, op! or routine!) with the two values
// under a frame named <compare-callback> and answers the order its answer gives (positive: the
// first value sorts after the second): true 1, false -1, an integer itself, a float by its sign
// (NaN 0), none -1, anything else 1. A native's or action's arguments are checked against its
// spec (a slot past the two gets none); its refinements are off. Leaves the argument stack as it
// found it. May allocate; raises what the comparator raises.
int32_t call_comparator(const Cell* comparator, const Cell* first, const Cell* second);

// The compiled spec of a native!, action!, op! or function!: pairs of cells, the spec word (its
// type gives the fetch mode; refinement! for a refinement) and the typeset it accepts (none for
// a refinement). Compiled on first use and kept. May allocate.
NodeId compiled_spec(const Cell* callee);
// The compiled spec when it has been made, else 0. No allocation.
NodeId compiled_spec_made(const Cell* callee);

// Call plans made since start-up: a callee's plan is made on its first call after each
// collection, so a loop makes none once its callees have theirs (tests count them).
uint64_t plans_made();
// Plans are kept in a table of this many slots, each callee's from the slot its information
// node's id picks (modulo this) on; tests reach a shared slot through it.
inline constexpr uint32_t kPlanSlots = 1 << 16;

// How apply_block reads its arguments block (bits).
// All: one item per spec slot in spec order, each argument fetched as code fetches it (by its
//   spec word's mode) and each refinement an expression whose truth turns it on; items missing
//   at the tail count as off refinements and none arguments.
// Reduce: every item is an evaluated expression: the mandatory arguments, then the arguments of
//   the refinements the path names (in path order), then groups `/refinement flag arguments...`.
// Safer: an off refinement's arguments are skipped, one value each, instead of evaluated.
inline constexpr uint32_t kApplyAll = 1;
inline constexpr uint32_t kApplyReduce = 2;
inline constexpr uint32_t kApplySafer = 4;
// Calls a native!, action!, op! (as what it wraps), function! or routine! with its arguments
// from the block, under a frame named by `name` (a stable word cell). The path's elements from
// `path_from` (absolute index; path may be nullptr) are words naming refinements; with All a
// path naming any raises script bad-refines. Argument values are type-checked (an off
// refinement's are not and pass as none). The result is pushed as a new cell of the current
// call and returned. May allocate; raises what the arguments and the callee raise.
Cell* apply_block(const Cell* callee, const Cell* name, const Cell* path, int32_t path_from,
                  const Cell* args, uint32_t flags);

}  // namespace nuv::interp
