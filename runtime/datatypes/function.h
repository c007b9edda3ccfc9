// function!: a user function. The cell holds word 1 its context (one word per argument,
// refinement and local; values on the argument stack during a call), word 2 the spec block's
// node, word 3 a five-cell information block: the body (or none), the compiled spec (the
// interpreter's, unset until the first call), the compiled entry, the op! made from it, and the
// maker's integer. The context's owner cell holds a copy of the function value.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::function {

inline constexpr uint32_t kTraceFlag = 0x400;
inline constexpr uint32_t kNoTraceFlag = 0x200;

enum class Info : int32_t { Body = 0, Compiled = 1, Entry = 2, Op = 3, Second = 4 };

inline NodeId context_of(const Cell* fn) { return fn->w1; }
inline NodeId spec_node(const Cell* fn) { return fn->w2; }
inline NodeId info_node(const Cell* fn) { return fn->w3; }
// Information cell of a function! (or an op! made from one), valid until the next allocation.
const Cell* info(const Cell* fn, Info which);
Cell body_of(const Cell* fn);
// Stores a copy of the function in its information block, as an op! made from it records.
void set_op_source(const Cell* fn);

// Checks the spec's syntax from its head and answers the attribute bits (kTraceFlag,
// kNoTraceFlag). Raises script bad-func-def (the spec), invalid-type-spec (the item), dup-vars
// (the repeated item) or no-value (an unset type word). May allocate.
uint32_t validate_spec(const Cell* spec);

// Pushes a new function! and answers its context. The spec is used from its index (copied
// when that is not 0, clamped to the tail); the body (a block, or anything else for none) is
// deep-copied and, unless a context is given, bound to the new context. Allocates.
NodeId make_value(const Cell* spec, const Cell* body, NodeId context, int32_t entry,
                  int32_t second, uint32_t flags);

// The words `function` makes local: the body's set-words and loop words (of foreach,
// remove-each and repeat) that the spec does not name, each once, appended to the spec after
// `/local` (added when absent; a collected `local` is dropped). `/extern` and what follows it
// are cut from the spec; its words are never collected, and the words of a `/local` after them
// are kept. A spec with /extern holding another item raises script bad-func-extern. The spec
// cell must not lie in a collected buffer. Allocates.
void collect_locals(Cell* spec, const Cell* body);

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type);
void reflect(Cell* value, SymId field);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);
// The collector's hook: the context, the spec block and the information block (routine! has
// the same layout and shares it).
void mark(const Cell* value);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::function
