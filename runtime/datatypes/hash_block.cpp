// hash!: making and converting indexed blocks, their mold, copy, sort and trim, the mark hook and
// the registration. Every other action is block!'s or series!'s, which keep the index in step.
#include "runtime/datatypes/hash_block.h"

#include <algorithm>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/hashtable.h"

namespace nuv::hash_block {

using T = TypeId;

Cell* index(Cell* block, int32_t room) {
    Cell whole = *block;
    cell::set_head(&whole, 0);
    const NodeId table = hashtable::make(std::max(block::count(cell::node(&whole)), room), &whole,
                                         hashtable::Kind::Hash, 0);
    cell::set_type(block, T::Hash);
    block->w3 = table;
    return block;
}

void swapped(const Cell* a, int32_t at_a, const Cell* b, int32_t at_b) {
    const NodeId index = index_of(a);
    if (!index || index != index_of(b) || at_a == at_b) {
        rewritten(a, at_a, 1);
        rewritten(b, at_b, 1);
        return;
    }
    hashtable::remove_key(index, at_a);
    hashtable::remove_key(index, at_b);
    // A growth that rebuilds the index over the whole block enters the other cell too.
    if (!hashtable::put_key(index, at_a)) hashtable::put_key(index, at_b);
}

// ---- make, to ----

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    if (cell::is(spec, T::Hash)) return copy(spec, proto, nullptr, false, nullptr);
    if (!cell::is(spec, T::Integer) && !cell::is(spec, T::Float)) return to(proto, spec, type);
    block::make(proto, spec, type);
    const memory::SeriesBuf* b = memory::buf(cell::node(proto));
    return index(proto, static_cast<int32_t>((b->size - b->offset) / sizeof(Cell)));
}

Cell* to(Cell* proto, Cell* spec, TypeId type) {
    if (cell::is(spec, T::Hash)) return copy(spec, proto, nullptr, false, nullptr);
    block::to(proto, spec, type);
    return index(proto, 0);
}

// ---- mold, copy ----

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent) {
    if (!only) budget = string::emit(buffer, "make hash! ", budget);
    return block::mold(value, buffer, only, all, flat, part, budget, indent);
}

Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types) {
    Cell source = *series;
    block::copy(&source, result, part, deep, types);
    const bool whole = cell::head(&source) <= 0 && !part && !deep && !types && source.w3 != 0;
    if (!whole) return index(result, 0);
    result->w3 = hashtable::copy(source.w3, result);
    return result;
}

// ---- sort, trim ----

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable) {
    const Cell held = *series;
    block::sort(series, case_, skip, compare, part, all, reverse, stable);
    // The cells sort may have moved: from the head to the /part limit, or up to the head for a
    // limit before it.
    const int32_t head = block::head_index(&held);
    int64_t lo = head, hi = block::count(cell::node(&held));
    if (part) {
        const int64_t limit = series::part_limit(&held, part);
        if (limit < 0) {
            lo = std::max<int64_t>(head + limit, 0);
            hi = head;
        } else {
            hi = std::min(hi, head + limit);
        }
    }
    if (hi > lo) rewritten(&held, static_cast<int32_t>(lo), static_cast<int32_t>(hi - lo));
    return series;
}

// The kept cells slide down and the tail moves: the index is made again over the block, as an
// owner told of the trim may have changed it meanwhile.
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    block::trim(series, head, tail, auto_, lines, all, with);
    if (const NodeId index = index_of(series)) hashtable::rebuild(index);
    return series;
}

namespace {
// The cells, and the index with its arrays.
void mark(const Cell* value) {
    collector::mark_series(cell::node(value));
    if (value->w3) collector::mark_table(value->w3);
}
}  // namespace

// ---- Registration ----

// random is left out: a hash is not shuffled.
constexpr TypeRecord kRecord{
    .id = T::Hash,
    .parent = T::Block,
    .name = "hash!",
    .make = hash_block::make,
    .reflect = kInherited,
    .to = hash_block::to,
    .form = kInherited,
    .mold = hash_block::mold,
    .path_access = kInherited,
    .compare = kInherited,
    .append = kInherited,
    .at = kInherited,
    .back = kInherited,
    .change = kInherited,
    .clear = kInherited,
    .copy = hash_block::copy,
    .find = kInherited,
    .head = kInherited,
    .head_q = kInherited,
    .index_q = kInherited,
    .insert = kInherited,
    .length_q = kInherited,
    .move = kInherited,
    .next = kInherited,
    .pick = kInherited,
    .poke = kInherited,
    .put = kInherited,
    .remove = kInherited,
    .reverse = kInherited,
    .select = kInherited,
    .sort = hash_block::sort,
    .skip = kInherited,
    .swap = kInherited,
    .tail = kInherited,
    .tail_q = kInherited,
    .take = kInherited,
    .trim = hash_block::trim,
    .modify = kInherited,
    .mark = mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::hash_block
