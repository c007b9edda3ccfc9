// native!, action! and op!: built-in functions named by their 1-based index in the natives or
// actions table, and infix operators made from any callable. A native or action cell holds word
// 1 the table index, word 2 the spec block's node, word 3 a two-cell information block: the
// spec's context cell, then the compiled spec once a call has compiled it (none before). An op!
// is a copy of its source with the source's type id in header bits 16-23.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::native {

inline constexpr uint32_t kSourceShift = 16;

inline int32_t index_of(const Cell* value) { return static_cast<int32_t>(value->w1); }
inline NodeId spec_node(const Cell* value) { return value->w2; }
inline NodeId info_node(const Cell* value) { return value->w3; }
// The type an op! runs as (native!, action!, function! or routine!).
inline TypeId op_source(const Cell* op) { return static_cast<TypeId>((op->header >> kSourceShift) & 0xFF); }

// Types code calls when it meets them (an op! needs a left operand), and those with an op!.
inline bool is_callable(TypeId t) {
    return t == TypeId::Native || t == TypeId::Action || t == TypeId::Function || t == TypeId::Routine;
}
inline bool is_any_function(TypeId t) { return is_callable(t) || t == TypeId::Op; }

// One argument or refinement of a spec, as calls read it: its word (word!, get-word! or
// lit-word! for an argument, giving the fetch mode; refinement! for a refinement) and, for an
// argument written with one, the block of types after it.
struct SpecEntry {
    Cell word;
    bool typed;
    Cell types;
};
// The arguments and refinements of the spec block from index `from` on, in spec order: the words
// after /local up to the next set-word are locals, and `return:` with its types is no entry.
// With `check`, another set-word raises script bad-func-def. No allocation of series.
std::vector<SpecEntry> spec_entries(NodeId spec, int32_t from, bool check);

// Slots of the natives table (the natives table holds at most this many entries).
inline constexpr int32_t kNativeSlots = 120;

// Records the spec a table entry is defined with at start-up: a native! or action! made later
// for that entry must fit it. Call it once per entry, before making values for it. Allocates.
void define_entry(TypeId type, const Cell* spec, int32_t index);
// Makes a native! or action! for table entry `index` over the spec block (from its head) into
// `out`, which must not lie in a collected buffer. Raises script bad-make-arg naming `arg` when
// the index names no defined entry, or the spec does not fit the entry's (other arguments or
// refinements, or an argument taking a type the entry's does not). Allocates.
Cell* make_value(Cell* out, TypeId type, const Cell* spec, int32_t index, const Cell* arg);
// The same without the checks, for the definitions themselves. Allocates.
Cell* make_unchecked(Cell* out, TypeId type, const Cell* spec, int32_t index);

// ---- Slots (native! and action!; op! has its own make, mold and compare) ----

Cell* make(Cell* proto, Cell* spec, TypeId type);
// As make, for an entry's own definition at start-up: the spec becomes the entry's (see
// define_entry) and is taken as it stands.
Cell* define(Cell* proto, Cell* spec, TypeId type);
void reflect(Cell* value, SymId field);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);

// op!: the source must be callable (script invalid-type) with exactly two leading arguments
// (script bad-op-spec). The result is written into `proto`.
Cell* op_make(Cell* proto, Cell* source, TypeId type);

extern const TypeRecord kNativeRecord;
extern const TypeRecord kActionRecord;
extern const TypeRecord kOpRecord;
// Registers native!, action! and op!, in that order.
void init();

}  // namespace nuv::native
