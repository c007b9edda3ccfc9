// The routine table: the C++ entries that routine! values name by 1-based index, the call that
// turns a routine's stacked arguments into machine arguments, and the runtime's own routines
// bound to global words at start-up.
#pragma once
#include <bit>
#include <cstdint>

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

// Makes a routine of the spec text over the entry and sets the global word to it; for the
// routines of higher layers, after init.
void bind_global(const char* name, const char* spec, Entry entry, int32_t kind);

// Calls the routine! (or the op! made from one) whose arguments (every spec slot, as for a
// function) are at arguments[0..] of the frame the caller pushed. Each word! argument, last
// first, is checked against its type block: the first item must be a word (script
// invalid-type-spec) holding a typeset that has the value's type or the datatype equal to it
// (script expect-arg naming `name`, the value's type and the argument). The result lands in
// arguments[0]. Raises what the entry raises.
void call(const Cell* callee, const Cell* name);

// Fills the table with the runtime's routines and binds each to its global word: the integer
// shifts, last-lf?, stack-size?, collect-calls, tracing?, count-chars, the tuple makers
// as-color, as-ipv4 and as-rgba, and the type predicates. After the lexer's init.
void init();

}  // namespace nuv::routines
