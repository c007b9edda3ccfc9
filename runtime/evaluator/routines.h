// The routine table: the C++ entries that routine! values name by 1-based index, the call that
// turns a routine's stacked arguments into machine arguments, and the runtime's own routines
// bound at start-up: to global words, to the fields of system/state/GC, and, for the methods of
// the system object that reach the runtime's internals, to their bodies alone.
#pragma once
#include <bit>
#include <cstdint>
#include <string_view>

#include "runtime/cell.h"

namespace nuv::routines {

// A routine's C++ entry. `args` holds one 64-bit slot per word! of the spec, the last one
// first: an argument declared integer!, char! or logic! by its 32-bit payload, float! by its
// bits, any other (a typeset included) as the address of its argument-stack cell. The answer is
// boxed by the routine's return kind; an entry of no declared result may write arguments[0].
using Entry = uint64_t (*)(const uint64_t* args);

inline int32_t arg_int(uint64_t slot) { return static_cast<int32_t>(static_cast<uint32_t>(slot)); }
inline double arg_float(uint64_t slot) { return std::bit_cast<double>(slot); }
inline Cell* arg_cell(uint64_t slot) { return reinterpret_cast<Cell*>(static_cast<uintptr_t>(slot)); }

// Return kinds, kept as the maker's integer of a routine!.
inline constexpr int32_t kLogicResult = 4;     // non-zero is true
inline constexpr int32_t kIntegerResult = 11;  // the low 32 bits
inline constexpr int32_t kNoResult = -1;       // arguments[0] left as the entry leaves it

// Appends the entry and answers its 1-based index; a full table ends the process.
int32_t add(Entry entry);
int32_t count();
Entry entry(int32_t index);  // nullptr for an index no entry has

// Calls the routine! (or the op! made from one) whose arguments (every spec slot, as for a
// function) are at arguments[0..] of the frame the caller pushed. Each word! argument, last
// first, is checked against its type block: the first item must be a word (script
// invalid-type-spec) holding a typeset that has the value's type or the datatype equal to it
// (script expect-arg naming `name`, the value's type and the argument). The result lands in
// arguments[0]. Raises what the entry raises.
void call(const Cell* callee, const Cell* name);

// Pushes a new routine! of the spec text (its doc string, arguments and return:) over the
// entry, appended to the table, and answers it; `kind` is its return kind. The caller restores
// the stack (two cells are pushed).
Cell* push(std::string_view spec_text, Entry fn, int32_t kind);
// The same, stored in field #field of the object when there is one, else set as the global
// word's value.
void bind(const char* name, std::string_view spec_text, Entry fn, int32_t kind,
          const Cell* object = nullptr, int32_t field = 0);

// Empties the table. The boot units bind the routines below.
void init();
// Binds the runtime's routines to their global words, in order: quit-return, set-quiet,
// set-slot-quiet, the integer shifts, last-lf?, get-current-dir, set-current-dir, the tuple
// makers as-color, as-ipv4 and as-rgba, count-chars, stack-size?, pick-stack, frame-index?,
// collect-calls and tracing?. After the lexer's init.
void bind_runtime();
// Binds the type predicates, after the typesets they read.
void bind_predicates();
// Makes the routines of the collector object system/state/GC (active?, series-cycles,
// nodes-cycles) into its fields; internal not-done when it is no object of three fields.
void bind_collector(const Cell* gc);
// Binds the bodies of the system object's methods system/state/interpreted? and
// system/options/float/on-change* to an object of the internal routines they call by name:
// interpreted-call? (whether the frame below its own has the interpreter flag) and
// set-float-switch (the float formatter's pretty? or full? switch). Internal not-done when
// either method is no function!. Allocates.
void bind_methods();
// Binds the body of the global `trace` (the tools unit's) to an object of the internal routine
// it calls by name: set-tracing (the tracing switch, on only inside an open trace run). Internal
// not-done when `trace` is no function!. Allocates.
void bind_tools();

}  // namespace nuv::routines
