// typeset!: a set of datatypes as a 96-bit mask in words 1-3 of the cell, read as 12 bytes in
// memory order: type t is bit 0x80 >> (t mod 8) of byte t div 8 (the layout the argument type
// check reads). Operations look only at ids 1 up to the highest registered one, except
// complement, which inverts all 96 bits.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::typeset {

inline bool has(const Cell* typeset, TypeId t) {
    const auto id = static_cast<uint32_t>(t);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&typeset->w1);
    return id < 96 && (bytes[id >> 3] & (0x80u >> (id & 7))) != 0;
}
void clear(Cell* typeset);  // no type left; the header is untouched
inline void remove(Cell* typeset, TypeId t) {
    const auto id = static_cast<uint32_t>(t);
    auto* bytes = reinterpret_cast<uint8_t*>(&typeset->w1);
    if (id < 96) bytes[id >> 3] &= static_cast<uint8_t>(~(0x80u >> (id & 7)));
}

// Adds a datatype!'s bit or ORs a typeset! in; a word! is replaced by its value first (an unset
// one raises script no-value). Anything else raises script invalid-arg with the item.
void add(Cell* typeset, const Cell* value);
// Types set among ids 1..highest registered.
int32_t count(const Cell* typeset);

// ---- Makers: each appends a new cell at the block's tail (valid until the next allocation) ----

Cell* make_at(Cell* block, uint32_t w1, uint32_t w2, uint32_t w3);
// Every bit but unset!'s.
Cell* make_all(Cell* block);
void set_all(Cell* out);  // the same set written into `out`; no allocation
// From a function spec's type block: a word! is replaced by its value; a datatype sets its bit,
// a typeset is ORed in, a word value adds object!, a nested block is skipped; anything else
// raises script invalid-type-spec with the value.
Cell* make_from_block(const Cell* type_block, Cell* block);
// The same set written into `out` instead; no allocation.
void from_block(const Cell* type_block, Cell* out);
// Whether every registered type of `inner` is in `outer`.
bool is_subset(const Cell* inner, const Cell* outer);
// Appends the global word naming each type in the set, in type id order. Allocates.
void to_block(const Cell* typeset, Cell* block);

// Combines arguments[0] with arguments[1] (a typeset! or a datatype!) by an arithmetic code
// (5 or, 6 and, 7 xor) or a set code (8 unique: arguments[0] as it is; 9 union, 10 intersect,
// 11 exclude, 12 difference). The new typeset is pushed and becomes the last value.
void set_op(int32_t code);
template <int32_t Code>
void set_op_slot() { set_op(Code); }

// ---- Slots ----

// make and to: a typeset! as it is, or a block! of items added one by one.
Cell* to(Cell* proto, Cell* spec, TypeId type);
// The names with their "!", separated by blanks.
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
// "make typeset! [" names "]", or with `only` the names alone; stops once the budget is spent.
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// Equal under the equality codes when the masks are; the sort codes order by type counts.
int32_t compare(Cell* a, Cell* b, CompareOp op);
void complement(Cell* value);
// The shared true when the datatype! `value` is in the set, else the shared false.
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::typeset
