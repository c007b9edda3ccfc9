// Contexts: making, finding and adding words, reading and writing their values, and binding
// blocks. Every helper holds (node, index) across allocations and re-reads buffers afterwards.
#include "runtime/datatypes/context.h"

#include <algorithm>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/watch.h"
#include "runtime/words.h"

namespace nuv::context {

NodeId g_global_node = 0;
NodeId g_library_node = 0;
NodeId g_global_values = 0;

namespace {

using memory::SeriesBuf;

NodeId g_global = 0;

Cell* cells_of(NodeId node) { return reinterpret_cast<Cell*>(memory::buf(node)->offset_ptr()); }
int32_t cell_count(NodeId node) {
    return static_cast<int32_t>(memory::buf(node)->used() / sizeof(Cell));
}
Cell block_over(NodeId node) { return Cell{static_cast<uint32_t>(TypeId::Block), 0, node, 0}; }

// The values series grows to at least `count` cells (new cells unset); a context whose values
// live on the stack has none. May allocate.
void ensure_values(NodeId ctx, int32_t count) {
    NodeId values = cell_of(ctx)->w2;
    if (values_on_stack(ctx) || values == 0) return;
    Cell block = block_over(values);
    while (cell_count(values) < count) block::alloc_tail(&block);
}

// Appends a word for the symbol to the word block and its table; returns its slot. A spelling
// whose case-insensitive match is already there shares that word's slot, so every spelling of
// a name reads one value. The values are not touched. May allocate.
int32_t append_word(NodeId ctx, SymId sym) {
    int32_t shared = find_word(ctx, sym, true);
    int32_t position = word_count(ctx);
    int32_t index = shared >= 0 ? shared : position;
    Cell word{static_cast<uint32_t>(TypeId::Word), ctx, sym, static_cast<uint32_t>(index)};
    Cell words = block_over(words_node(ctx));
    block::append_cell(&words, &word);
    hashtable::put_key(table(ctx), position);
    return index;
}

// The value cell a write goes to: the call's stack cell, or the values series grown to hold
// the slot, through the watched write. A function context outside a call raises script
// not-defined naming `word`. May allocate (before the watched write).
Cell* slot_for_write(NodeId ctx, int32_t index, const Cell* word) {
    if (cell_of(ctx)->w2 == 0) {
        Cell named = *word;
        fire(Err::NotDefined, &named);
    }
    if (!values_on_stack(ctx)) ensure_values(ctx, index + 1);
    return write_at(ctx, index);
}

// An object's word records that its value was written.
void mark_changed(NodeId ctx, int32_t index) {
    if (kind(ctx) == Kind::Object && index >= 0 && index < word_count(ctx))
        word_at(ctx, index)->header |= cell::kCompiledSet;
}

Cell local_word(NodeId ctx, int32_t index) {
    if (index >= 0 && index < word_count(ctx)) return *word_at(ctx, index);
    return Cell{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
}

void rebind_words(NodeId ctx) {
    Cell* words = cells_of(words_node(ctx));
    for (int32_t i = 0, n = word_count(ctx); i < n; i++) words[i].w1 = ctx;
}

// What binding does with each type of cell.
enum class BindAs : uint8_t { Skip, Word, Nested };
struct BindTable {
    BindAs as[kTypeSlots]{};
};
consteval BindTable make_bind_table() {
    BindTable t;
    for (TypeId w : {TypeId::Word, TypeId::SetWord, TypeId::GetWord, TypeId::LitWord,
                     TypeId::Refinement})
        t.as[type_index(w)] = BindAs::Word;
    for (TypeId b : {TypeId::Block, TypeId::Paren, TypeId::Hash, TypeId::Path, TypeId::LitPath,
                     TypeId::SetPath, TypeId::GetPath})
        t.as[type_index(b)] = BindAs::Nested;
    return t;
}
constexpr BindTable kBind = make_bind_table();

// A word cell of the block rebound to (ctx, index); a word already bound so is not written.
void rebind_cell(NodeId node, int32_t i, NodeId ctx, int32_t index) {
    const Cell* item = block::raw_cells(node) + i;
    if (item->w1 == ctx && item->w3 == static_cast<uint32_t>(index)) return;
    Cell* word = block::write_cells(node) + i;
    word->w1 = ctx;
    word->w3 = static_cast<uint32_t>(index);
}

void bind_series(NodeId node, int32_t head, NodeId ctx, bool self) {
    if (cycles::find(node)) return;
    cycles::push(node);
    for (int32_t i = std::max(head, 0); i < cell_count(node); i++) {
        const Cell* item = block::raw_cells(node) + i;
        int t = type_index(cell::type_of(item));
        switch (t < kTypeSlots ? kBind.as[t] : BindAs::Skip) {
        case BindAs::Skip: break;
        case BindAs::Word:
            if (self && cell::is(item, TypeId::Word) && words::sym::self != 0 &&
                item->w2 == words::sym::self) {
                rebind_cell(node, i, ctx, -1);
            } else if (const int32_t index = find_word(ctx, item->w2, true); index >= 0) {
                rebind_cell(node, i, ctx, index);
            }
            break;
        case BindAs::Nested: bind_series(cell::node(item), cell::head(item), ctx, self); break;
        }
    }
    cycles::pop();
}

}  // namespace

// ---- The record ----

Cell* owner(NodeId ctx) { return cells_of(ctx) + 1; }
NodeId table(NodeId ctx) { return cell_of(ctx)->w1; }
NodeId words_node(NodeId ctx) { return hashtable::record(table(ctx))->values; }
int32_t word_count(NodeId ctx) { return cell_count(words_node(ctx)); }
Cell* word_at(NodeId ctx, int32_t index) { return cells_of(words_node(ctx)) + index; }

// ---- Making ----

NodeId make(int32_t slots, bool on_stack, bool self, NodeId source, Kind kind) {
    int32_t size = std::max(slots, 1);
    NodeId words_table;
    if (source) {
        Cell words = block_over(memory::copy_series_buffer(words_node(source)));
        words_table = hashtable::copy(table(source), &words);
    } else {
        words_table = hashtable::make(size, nullptr, hashtable::Kind::Symbols, 2);
    }
    NodeId values = 0;
    if (!on_stack) values = memory::alloc_cells_unset(static_cast<size_t>(size));  // length 0
    NodeId ctx = memory::alloc_cells(2);
    uint32_t header = static_cast<uint32_t>(TypeId::Context) |
                      (static_cast<uint32_t>(kind) << kKindShift) |
                      (on_stack ? kValuesOnStack : 0) | (self ? kHasSelf : 0);
    SeriesBuf* b = memory::buf(ctx);
    Cell* cells = reinterpret_cast<Cell*>(b->offset_ptr());
    cells[0] = Cell{header, words_table, values, 0};
    cells[1] = Cell{static_cast<uint32_t>(TypeId::Unset), 0, 0, 0};
    b->tail = b->offset + 2 * sizeof(Cell);
    if (source) rebind_words(ctx);
    return ctx;
}

NodeId make_from_spec(const Cell* spec, bool on_stack, bool self, Kind kind) {
    Cell from = *spec;
    NodeId node = cell::node(&from);
    int32_t head = std::clamp(cell::head(&from), 0, cell_count(node));
    auto names_word = [](const Cell* c) {
        TypeId t = cell::type_of(c);
        return t == TypeId::Word || t == TypeId::GetWord || t == TypeId::LitWord ||
               t == TypeId::Refinement;
    };
    int32_t names = 0;
    for (int32_t i = head; i < cell_count(node); i++) names += names_word(cells_of(node) + i);
    NodeId ctx = make(names, on_stack, self, 0, kind);
    for (int32_t i = head; i < cell_count(node); i++) {
        Cell item = cells_of(node)[i];
        if (!names_word(&item)) continue;
        int32_t slot;
        find_word_ex(ctx, item.w2, true, &slot);
    }
    ensure_values(ctx, word_count(ctx));
    return ctx;
}

NodeId clone(Cell* holder, Kind kind) {
    NodeId source = holder->w1;
    NodeId ctx = make(word_count(source), values_on_stack(source),
                      (cell_of(source)->header & kHasSelf) != 0, source, kind);
    holder->w1 = ctx;
    return ctx;
}

NodeId global() { return g_global; }

void make_global() {
    g_global = make(kGlobalSlots, false, false, 0, Kind::Global);
    g_global_node = g_global;
    g_global_values = cell_of(g_global)->w2;
    g_library_node = 0;
}

// ---- Finding and adding words ----

int32_t find_word(NodeId ctx, SymId sym, bool case_insensitive) {
    int32_t position = hashtable::find_symbol(table(ctx), sym, case_insensitive);
    return position < 0 ? -1 : static_cast<int32_t>(word_at(ctx, position)->w3);
}

int32_t find_word_ex(NodeId ctx, SymId sym, bool case_insensitive, int32_t* out) {
    int32_t slot = find_word(ctx, sym, case_insensitive);
    if (slot >= 0) {
        *out = slot;
        return slot;
    }
    *out = append_word(ctx, sym);
    return -1;
}

int32_t find_or_add(NodeId ctx, const Cell* word) {
    int32_t slot;
    find_word_ex(ctx, word->w2, true, &slot);
    ensure_values(ctx, word_count(ctx));
    return slot;
}

void put_word(NodeId ctx, const Cell* word, const Cell* value) {
    Cell named = *word;
    Cell v = *value;
    int32_t slot = find_or_add(ctx, &named);
    *slot_for_write(ctx, slot, &named) = v;
    mark_changed(ctx, slot);
}

void append_absent(NodeId ctx, const Cell* word, const Cell* value) {
    if (find_word(ctx, word->w2, true) >= 0) return;
    put_word(ctx, word, value);
}

bool collect_set_words(NodeId ctx, const Cell* block) {
    Cell from = *block;
    NodeId node = cell::node(&from);
    int32_t before = word_count(ctx);
    for (int32_t i = std::clamp(cell::head(&from), 0, cell_count(node)); i < cell_count(node); i++) {
        Cell item = cells_of(node)[i];
        if (cell::is(&item, TypeId::SetWord)) find_or_add(ctx, &item);
    }
    return word_count(ctx) > before;
}

Cell* add_word(SymId sym, bool case_insensitive, bool variant) {
    NodeId g = g_global;
    int32_t position = hashtable::find_symbol(table(g), sym, case_insensitive);
    // A word of another spelling will not do for a caller that wants its own: that spelling is
    // found exactly or appended (sharing the slot), so repeated calls leave nothing behind.
    if (position >= 0 && case_insensitive && variant && word_at(g, position)->w2 != sym)
        position = hashtable::find_symbol(table(g), sym, false);
    if (position >= 0) return word_at(g, position);
    append_word(g, sym);
    ensure_values(g, word_count(g));
    return word_at(g, word_count(g) - 1);
}

// ---- Reading and writing values ----

const Cell* get(const Cell* word, NodeId ctx) {
    auto index = static_cast<int32_t>(word->w3);
    if (ctx == 0) fire(Err::NoValue, word);
    if (index < 0) {
        if (words::sym::self != 0 && word->w2 == words::sym::self) return owner(ctx);
        fire(Err::NoValue, word);
    }
    if (cell_of(ctx)->w2 == 0) fire(Err::NotInContext, word);
    if (!values_on_stack(ctx) && index >= cell_count(cell_of(ctx)->w2)) return unset::shared();
    return values_at(ctx, index);
}

const Cell* set_in(Cell* word, const Cell* value, NodeId ctx, bool notify) {
    Cell v = *value;
    Cell named = *word;
    if (ctx == 0) fire(Err::NotDefined, &named);
    auto index = static_cast<int32_t>(named.w3);
    if (index < 0) {
        index = find_word(ctx, named.w2, false);
        if (index < 0) {
            // The new slot is known before appending, so the word is written while its
            // address is still good.
            int32_t shared = find_word(ctx, named.w2, true);
            index = shared >= 0 ? shared : word_count(ctx);
            word->w3 = static_cast<uint32_t>(index);
            append_word(ctx, named.w2);
        } else {
            word->w3 = static_cast<uint32_t>(index);
        }
        named.w3 = static_cast<uint32_t>(index);
    }
    Cell* slot = slot_for_write(ctx, index, &named);
    if (kind(ctx) == Kind::Object) {
        mark_changed(ctx, index);
        if (notify && owner(ctx)->w3 != 0) {
            const Cell object = *owner(ctx);
            stack::Mark mark;
            const Cell* old = stack::push(slot);  // the old value stays reachable
            *slot = v;
            object::fire_on_change(&object, &named, old, &v);
            mark.restore();
            return slot_for_write(ctx, index, &named);
        }
    }
    *slot = v;
    return slot;
}

const Cell* value_slot(SymId sym, const Cell* holder) {
    NodeId ctx = holder->w1;
    if (values_on_stack(ctx)) ctx = g_global;
    int32_t index = find_word(ctx, sym, true);
    if (index < 0) return nullptr;
    if (index >= cell_count(cell_of(ctx)->w2)) return unset::shared();
    return values_at(ctx, index);
}

const Cell* global_slot(SymId sym) {
    Cell holder{static_cast<uint32_t>(TypeId::Context), g_global, 0, 0};
    return value_slot(sym, &holder);
}

void set_global(SymId sym, const Cell* value) {
    Cell v = *value;
    int32_t slot;
    find_word_ex(g_global, sym, true, &slot);
    ensure_values(g_global, word_count(g_global));
    *write_at(g_global, slot) = v;
}

void set_from_top(NodeId ctx, int32_t index) {
    Cell word = local_word(ctx, index);
    Cell* slot = slot_for_write(ctx, index, &word);
    *slot = *stack::top();
    mark_changed(ctx, index);
}

void set_from_top_keep_old(NodeId ctx, int32_t index) {
    Cell word = local_word(ctx, index);
    Cell fresh = *stack::top();
    Cell old = *slot_for_write(ctx, index, &word);
    stack::push(&old);
    *slot_for_write(ctx, index, &word) = fresh;
    mark_changed(ctx, index);
}

const Cell* set_from_result(NodeId ctx, int32_t index) {
    Cell word = local_word(ctx, index);
    Cell* slot = slot_for_write(ctx, index, &word);
    *slot = *stack::arg(0);
    mark_changed(ctx, index);
    return slot;
}

void set_int(Cell* word, int32_t value) {
    Cell number{static_cast<uint32_t>(TypeId::Integer), 0, static_cast<uint32_t>(value), 0};
    set_in(word, &number, word->w1, true);
}

// ---- Binding ----

int32_t bind_word(NodeId ctx, Cell* word) {
    int32_t index = find_word(ctx, word->w2, true);
    if (index < 0) return -1;
    word->w1 = ctx;
    word->w3 = static_cast<uint32_t>(index);
    return index;
}

Cell* bind_block(Cell* block, NodeId ctx, bool self) {
    cycles::Guard guard;
    bind_series(cell::node(block), cell::head(block), ctx, self);
    return block;
}

namespace {
// The word table (and through it the word block) and, unless a call holds them on the argument
// stack, the values. Any context! cell is marked this way, a copy kept elsewhere included.
void mark(const Cell* value) {
    collector::mark_table(value->w1);
    if (!(value->header & kValuesOnStack)) collector::mark_series(value->w2);
}
}  // namespace

constexpr TypeRecord kRecord{
    .id = TypeId::Context,
    .parent = TypeId::Invalid,
    .name = "context!",
    .mark = mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::context
