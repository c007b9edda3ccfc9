// block! storage: cell access, constructors and the editing helpers the runtime builds blocks
// with. Every helper re-reads its buffer through the node after each allocation. The actions
// and the registration record are in block_actions.cpp.
#include "runtime/datatypes/block.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/datatypes/hash_block.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/support.h"

namespace nuv::block {

namespace {

using memory::SeriesBuf;
constexpr size_t kCellBytes = sizeof(Cell);

const Cell* first_cell(SeriesBuf* b) { return reinterpret_cast<const Cell*>(b->offset_ptr()); }
int32_t cell_count(const SeriesBuf* b) { return static_cast<int32_t>(b->used() / kCellBytes); }
SeriesBuf* buffer_of(const Cell* block) { return memory::buf(cell::node(block)); }

// The head as the operations use it: inside [0, count].
int32_t clamped_head(const Cell* block, const SeriesBuf* b) {
    return std::clamp(cell::head(block), 0, cell_count(b));
}

// Makes room for n more cells at the tail, growing to twice the size or to what is needed.
// An external buffer (the root block, the stacks) has a fixed capacity: running out of it is
// fatal, since values in it are addressed directly and it must never move.
SeriesBuf* reserve_cells(NodeId node, size_t n) {
    SeriesBuf* b = memory::buf(node);
    if (b->tail + n * kCellBytes <= b->size) return b;
    if (b->flags & memory::kExternal)
        fatal("an external block is full (the root block and the stacks never grow)", 1);
    size_t needed = b->used() + n * kCellBytes;
    return memory::expand_series(node, std::max(2 * b->size, needed));
}

int32_t find_equal(SeriesBuf* b, NodeId node, int32_t from, const Cell* value) {
    Cell key = *value;
    auto compare = lookup<&ActionRow::compare>(&key, ActionId::Compare);
    for (int32_t i = from; i < cell_count(b); i++) {
        Cell item = first_cell(b)[i];
        bool equal = compare(&key, &item, CompareOp::FindEqual) == 0;
        b = memory::buf(node);  // a compare slot may allocate
        if (equal) return i;
    }
    return -1;
}

struct TypeSet {
    bool has[kTypeSlots]{};
};
consteval TypeSet make_set(std::initializer_list<TypeId> ids) {
    TypeSet s;
    for (TypeId t : ids) s.has[type_index(t)] = true;
    return s;
}
constexpr TypeSet kDeepCopied = make_set({TypeId::Block});
constexpr TypeSet kDeepCopiedAny = make_set({TypeId::Block, TypeId::Paren, TypeId::Path,
                                             TypeId::LitPath, TypeId::SetPath, TypeId::GetPath});

bool in_set(const TypeSet& s, TypeId t) {
    int i = type_index(t);
    return i < kTypeSlots && s.has[i];
}

Cell* copy_level(const Cell source, bool deep, const TypeSet& nested) {
    SeriesBuf* from = buffer_of(&source);
    int32_t head = clamped_head(&source, from);
    int32_t n = cell_count(from) - head;
    Cell* result = push_new(n);
    NodeId to = cell::node(result);
    from = buffer_of(&source);
    std::memcpy(write_cells(to), first_cell(from) + head, static_cast<size_t>(n) * kCellBytes);
    SeriesBuf* b = memory::buf(to);
    b->tail = b->offset + static_cast<size_t>(n) * kCellBytes;
    if (!deep) return result;
    cycles::push(cell::node(&source));
    for (int32_t i = 0; i < n; i++) {
        Cell item = first_cell(memory::buf(to))[i];
        if (!in_set(nested, cell::type_of(&item))) continue;
        if (cycles::find(cell::node(&item))) fire(Err::NoCycle);
        Cell* copy = copy_level(item, deep, nested);
        Cell* target = write_cells(to) + i;
        target->w1 = 0;
        target->w2 = copy->w2;
        target->w3 = copy->w3;
        stack::drop(1);
    }
    cycles::pop();
    return result;
}

}  // namespace

void check_no_index(const Cell* block) {
    if (cell::is(block, TypeId::Map)) fire(Err::NotDone);
}

SeriesBuf* ensure_room(NodeId node, int64_t cells, bool doubling) {
    SeriesBuf* b = memory::buf(node);
    size_t needed = static_cast<size_t>(cells) * kCellBytes;
    if (b->offset + needed <= b->size) return b;
    if (b->flags & memory::kExternal)
        fatal("an external block is full (the root block and the stacks never grow)", 1);
    return memory::expand_series(node, doubling ? 2 * needed : needed);
}

// ---- Cell access ----

int32_t rs_length(const Cell* block) { return cell_count(buffer_of(block)) - cell::head(block); }

const Cell* rs_head(Cell* block) {
    SeriesBuf* b = buffer_of(block);
    int32_t head = clamped_head(block, b);
    if (head != cell::head(block)) cell::set_head(block, head);
    return first_cell(b) + head;
}

const Cell* rs_tail(const Cell* block) {
    return reinterpret_cast<const Cell*>(buffer_of(block)->tail_ptr());
}

bool rs_is_tail(const Cell* block) { return cell::head(block) == cell_count(buffer_of(block)); }

const Cell* rs_abs_at(const Cell* block, int32_t index) {
    return first_cell(buffer_of(block)) + index;
}

bool next(Cell* block) {
    int32_t count = cell_count(buffer_of(block));
    int32_t head = std::min(cell::head(block), count);  // beyond the tail counts as the tail
    if (head < count) head++;
    cell::set_head(block, head);
    return head == count;
}

void clear(Cell* block) { clear_from(block, cell::head(block)); }

void clear_from(Cell* block, int32_t index) {
    SeriesBuf* b = buffer_of(block);
    if (index < 0) index = 0;
    if (index >= cell_count(b)) return;
    watch::series_written(cell::node(block));
    b->tail = b->offset + static_cast<size_t>(index) * kCellBytes;
}

void remove_last(Cell* block) {
    SeriesBuf* b = buffer_of(block);
    if (b->tail == b->offset) return;
    watch::series_written(cell::node(block));
    b->tail -= kCellBytes;
    if (cell::head(block) > cell_count(b)) cell::set_head(block, cell_count(b));
}

// ---- Constructors ----

Cell* make_at(Cell* cell, int32_t size) {
    NodeId node = memory::alloc_cells(static_cast<size_t>(std::max(size, 1)));
    *cell = Cell{static_cast<uint32_t>(TypeId::Block), 0, node, 0};
    return cell;
}

Cell* make_at_ext(Cell* cell, int32_t size, bool outside) {
    size_t n = static_cast<size_t>(std::max(size, 1));
    NodeId node = outside ? memory::alloc_series_external(n, kCellBytes, 0)
                          : memory::alloc_cells_unset(n);
    *cell = Cell{static_cast<uint32_t>(TypeId::Block), 0, node, 0};
    return cell;
}

namespace {
// The child's cell is taken at the parent's tail before its buffer is made, so the new node
// is never unreachable across an allocation.
Cell* make_child(Cell* parent, int32_t size, bool outside) {
    if (!parent) return make_at_ext(roots::root(), size, outside);
    Cell owner = *parent;
    alloc_tail(&owner);
    int32_t index = cell_count(buffer_of(&owner)) - 1;
    Cell fresh;
    if (outside) make_at_ext(&fresh, size, true);
    else make_at(&fresh, size);
    Cell* slot = write_cells(cell::node(&owner)) + index;
    *slot = fresh;
    return slot;
}
}  // namespace

Cell* make_external(Cell* parent, int32_t size) { return make_child(parent, size, true); }

Cell* make_in(Cell* parent, int32_t size) { return make_child(parent, size, false); }

Cell* push(const Cell* block) { return stack::push(block); }

Cell* push_new(int32_t size) {
    Cell* slot = stack::reserve();
    slot->header = static_cast<uint32_t>(TypeId::Unset);  // readable while the buffer is made
    return make_at(slot, size);
}

// ---- Editing ----

Cell* alloc_tail(const Cell* block) {
    NodeId node = cell::node(block);
    reserve_cells(node, 1);
    return memory::series_alloc_tail(node);
}

Cell* append_cell(const Cell* block, const Cell* value) {
    Cell copy = *value;
    Cell* slot = alloc_tail(block);
    *slot = copy;
    return slot;
}

Cell* append_all(Cell* block, const Cell* source) {
    Cell from = *source;
    NodeId node = cell::node(block);
    SeriesBuf* src = buffer_of(&from);
    int32_t head = clamped_head(&from, src);
    size_t n = static_cast<size_t>(cell_count(src) - head);
    SeriesBuf* b = reserve_cells(node, n);
    src = buffer_of(&from);  // the same buffer when a block is appended to itself
    watch::series_written(node);
    std::memmove(b->tail_ptr(), first_cell(src) + head, n * kCellBytes);
    b->tail += n * kCellBytes;
    return block;
}

Cell* insert_value(Cell* block, const Cell* value, bool advance, bool at_start) {
    check_no_index(block);
    Cell copy = *value;
    NodeId node = cell::node(block);
    int32_t at = at_start ? 0 : static_cast<int32_t>(rs_head(block) - first_cell(buffer_of(block)));
    SeriesBuf* b = reserve_cells(node, 1);
    Cell* cells = write_cells(node);
    std::memmove(cells + at + 1, cells + at, static_cast<size_t>(cell_count(b) - at) * kCellBytes);
    cells[at] = copy;
    b->tail += kCellBytes;
    if (NodeId index = hash_block::index_of(block)) hashtable::cells_replaced(index, at, 0, 1);
    if (advance) cell::set_head(block, cell::head(block) + 1);
    return block;
}

void insert_each(Cell* block, const Cell* source) {
    check_no_index(block);
    Cell from = *source;
    NodeId node = cell::node(block);
    SeriesBuf* src = buffer_of(&from);
    int32_t from_head = clamped_head(&from, src);
    size_t n = static_cast<size_t>(cell_count(src) - from_head);
    if (n == 0) return;
    int32_t at = static_cast<int32_t>(rs_head(block) - first_cell(buffer_of(block)));
    // Inserting a block into itself reads the source before the cells move.
    std::vector<Cell> own;
    if (cell::node(&from) == node) own.assign(first_cell(src) + from_head, first_cell(src) + from_head + n);
    SeriesBuf* b = reserve_cells(node, n);
    Cell* cells = write_cells(node);
    std::memmove(cells + at + n, cells + at, static_cast<size_t>(cell_count(b) - at) * kCellBytes);
    const Cell* items = own.empty() ? first_cell(buffer_of(&from)) + from_head : own.data();
    std::memcpy(cells + at, items, n * kCellBytes);
    b->tail += n * kCellBytes;
    if (NodeId index = hash_block::index_of(block))
        hashtable::cells_replaced(index, at, 0, static_cast<int32_t>(n));
    cell::set_head(block, at + static_cast<int32_t>(n));
}

Cell* append_arg1() {
    Cell* block = stack::arg(0);
    check_no_index(block);
    append_cell(block, stack::arg(1));
    if (NodeId index = hash_block::index_of(block)) {
        const int32_t last = cell_count(buffer_of(block)) - 1;
        hashtable::cells_replaced(index, last, 0, 1);
    }
    return block;
}

Cell* append_arg() {
    Cell* block = stack::g_args.base - 1;
    append_cell(block, stack::arg(0));
    return block;
}

Cell* append_stack() {
    Cell* block = stack::g_args.base - 1;
    insert_value(block, stack::arg(0), true, false);
    return block;
}

const Cell* select_value(const Cell* block, const Cell* value) {
    Cell from = *block;
    NodeId node = cell::node(&from);
    SeriesBuf* b = memory::buf(node);
    int32_t i = find_equal(b, node, clamped_head(&from, b), value);
    b = memory::buf(node);
    if (i < 0 || i + 1 >= cell_count(b)) return none::shared();
    return first_cell(b) + i + 1;
}

const Cell* find_word(const Cell* block, const Cell* word, bool case_) {
    const NodeId node = cell::node(block);
    const SymId wanted = case_ ? word::symbol_of(word) : symbol::resolve(word::symbol_of(word));
    SeriesBuf* b = memory::buf(node);
    const Cell* cells = first_cell(b);
    for (int32_t i = clamped_head(block, b), n = cell_count(b); i < n; i++) {
        const TypeId t = cell::type_of(cells + i);
        if (t != TypeId::Word && t != TypeId::SetWord && t != TypeId::LitWord && t != TypeId::GetWord)
            continue;
        const SymId sym = word::symbol_of(cells + i);
        if ((case_ ? sym : symbol::resolve(sym)) != wanted) continue;
        return i + 1 < n ? cells + i + 1 : none::shared();
    }
    return none::shared();
}

int32_t remove_value(Cell* block, const Cell* value, bool from_start) {
    check_no_index(block);
    Cell from = *block;
    NodeId node = cell::node(&from);
    SeriesBuf* b = memory::buf(node);
    int32_t i = find_equal(b, node, from_start ? 0 : clamped_head(&from, b), value);
    if (i < 0) return 0;
    b = memory::buf(node);
    Cell* cells = write_cells(node);
    std::memmove(cells + i, cells + i + 1, static_cast<size_t>(cell_count(b) - i - 1) * kCellBytes);
    b->tail -= kCellBytes;
    if (NodeId index = hash_block::index_of(&from)) hashtable::cells_replaced(index, i, 1, 0);
    return i + 1;
}

Cell* copy_deep(const Cell* block, bool deep, bool any_block) {
    cycles::Guard guard;
    return copy_level(*block, deep, any_block ? kDeepCopiedAny : kDeepCopied);
}

}  // namespace nuv::block
