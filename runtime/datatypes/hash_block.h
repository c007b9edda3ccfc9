// hash!: a block whose cell carries an index over its values in word 3 (a kind-0 hash table of
// cell positions counted from the buffer's first cell), so find, select and put need no scan.
// The index covers every cell of the buffer, whatever the head. The shared block and series
// actions keep it in step; this module makes, converts, molds, copies, sorts and trims hashes.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"

namespace nuv::hash_block {

// The index of a hash! value, 0 for any other value: the one test a shared action pays.
inline NodeId index_of(const Cell* series) {
    return cell::is(series, TypeId::Hash) ? series->w3 : 0;
}

// After `n` cells of the series at `at` took other values in place: a hash! enters them again.
// Nothing for other series. May allocate.
inline void rewritten(const Cell* series, int32_t at, int32_t n) {
    if (const NodeId index = index_of(series); index && n > 0)
        hashtable::cells_replaced(index, at, n, n);
}

// After the cells at `at_a` of series a and `at_b` of series b exchanged values: each hash!
// among them enters its cell again. Within one hash! both positions leave the index before
// either is entered, as an equal value's entry must name a cell that still holds it. May allocate.
void swapped(const Cell* a, int32_t at_a, const Cell* b, int32_t at_b);

// The cell, a block value of its own buffer that does not lie in a collected buffer, becomes a
// hash! indexing every cell of that buffer, with room for at least `room` keys. Allocates.
Cell* index(Cell* block, int32_t room);

// make: a number gives an empty hash with that much room (at least 1), a hash! spec its copy,
// any other spec the block to gives, indexed. to: a hash! spec is copied, any other converted
// as to block! converts it. Never the caller's block: the result has a buffer of its own.
Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
// "make hash! " and the block's mold, or the values alone with `only`.
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// The block copy, indexed: a whole shallow copy takes a copy of the index.
Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types);
// The block actions, then the moved cells are entered again.
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::hash_block
