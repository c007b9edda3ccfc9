// The ownership table and the owned flags. The table is a generic hash table keyed by node id;
// a flag on the buffer says whether a lookup can succeed, so a change to an unowned series never
// probes the table. Binding and unbinding recurse into nested blocks and objects with the cycle
// stack as the guard against values that contain themselves.
#include "runtime/ownership.h"

#include <initializer_list>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/none.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"

namespace nuv::ownership {

namespace {

inline constexpr int32_t kTableKeys = 1000;
inline constexpr int32_t kEntryCells = 3;  // owned value, owner object, field word

// How a type takes part in ownership.
enum class Role : uint8_t {
    None,     // not ownable
    Cells,    // a series of cells: flagged, entered, descended into
    Units,    // a series of units (text, bytes, bits): flagged and entered
    Image,    // flagged in the cell header, entered by its record node
    Object,   // descended into field by field
    Context,  // error! and port!: keyed by context for lookups only
};

struct Roles {
    Role of[kTypeSlots]{};
};

consteval Roles build_roles() {
    Roles r;
    auto set = [&r](TypeId t, Role role) { r.of[type_index(t)] = role; };
    for (TypeId t : {TypeId::Block, TypeId::Paren, TypeId::Hash, TypeId::Path, TypeId::LitPath,
                     TypeId::SetPath, TypeId::GetPath})
        set(t, Role::Cells);
    for (TypeId t : {TypeId::String, TypeId::File, TypeId::Url, TypeId::Tag, TypeId::Email,
                     TypeId::Ref, TypeId::Binary, TypeId::Vector, TypeId::Bitset})
        set(t, Role::Units);
    set(TypeId::Image, Role::Image);
    set(TypeId::Object, Role::Object);
    set(TypeId::Error, Role::Context);
    set(TypeId::Port, Role::Context);
    return r;
}
constexpr Roles kRoles = build_roles();

inline Role role_of(const Cell* value) { return kRoles.of[value->header & cell::kTypeMask]; }

NodeId g_table = 0;
DeepChangeFn g_handler = nullptr;

// The table key of a value: its series (or record) node, or its context node.
NodeId key_of(const Cell* value, Role role) {
    switch (role) {
    case Role::Object:
    case Role::Context: return value->w1;
    case Role::None: return 0;
    default: return cell::node(value);
    }
}

// The cells of a block buffer from `from` to the tail: count and cell, re-read per call. The
// cell is taken for writing (an image takes its owned flag in its own cell).
int32_t cell_count(NodeId node) {
    return static_cast<int32_t>(memory::buf(node)->used() / sizeof(Cell));
}
Cell* cell_at(NodeId node, int32_t index) { return block::write_cells(node) + index; }

void put_entry(NodeId key, const Cell& value, const Cell* owner, const Cell* word) {
    Cell* e = hashtable::put(g_table, key);  // allocates: owner and word are stable copies
    e[0] = value;
    e[1] = *owner;
    e[2] = *word;
}

void drop_entry(NodeId key) {
    if (Cell* e = hashtable::get(g_table, key)) {
        for (int i = 0; i < kEntryCells; i++) cell::set_header(e + i, TypeId::Unset);
        hashtable::remove_entry(g_table, key);
    }
}

// An object is entered unless it is an owner itself or already being walked.
bool enters_object(NodeId ctx) {
    return ctx != 0 && !context::values_on_stack(ctx) &&
           !(context::cell_of(ctx)->header & kContextOwner) && !cycles::find(ctx);
}

void bind_value(Cell* at, const Cell* owner, const Cell* word);

// Binds each cell from `from` to the tail; the buffer is re-read after every binding.
void bind_cells(NodeId node, int32_t from, const Cell* owner, const Cell* word) {
    cycles::push(node);
    for (int32_t i = from < 0 ? 0 : from; i < cell_count(node); i++)
        bind_value(cell_at(node, i), owner, word);
    cycles::pop();
}

// `at` may lie in a buffer: it is read (and an image flagged) before anything allocates.
void bind_value(Cell* at, const Cell* owner, const Cell* word) {
    const Role role = role_of(at);
    const Cell value = *at;
    switch (role) {
    case Role::Cells:
    case Role::Units: {
        const NodeId node = cell::node(&value);
        if (node == 0) return;
        memory::SeriesBuf* b = memory::buf(node);
        if (b->flags & memory::kOwned) return;
        b->flags |= memory::kOwned;
        put_entry(node, value, owner, word);
        if (role == Role::Cells && !cycles::find(node))
            bind_cells(node, cell::head(&value), owner, word);
        return;
    }
    case Role::Image:
        if ((at->header & kImageOwned) || value.w2 == 0) return;
        at->header |= kImageOwned;
        put_entry(value.w2, value, owner, word);
        return;
    case Role::Object: {
        const NodeId ctx = value.w1;
        if (!enters_object(ctx)) return;
        cycles::push(ctx);
        const bool owner_is_object = cell::is(owner, TypeId::Object);
        for (int32_t i = 0; i < context::word_count(ctx); i++) {
            if (i >= cell_count(context::cell_of(ctx)->w2)) break;
            const Cell* field = context::values_at(ctx, i);
            if (owner_is_object && cell::is(field, TypeId::Object) && field->w1 == owner->w1)
                continue;
            const Cell field_word = *context::word_at(ctx, i);
            bind_value(context::write_at(ctx, i), owner, &field_word);
        }
        cycles::pop();
        return;
    }
    case Role::Context:
    case Role::None: return;
    }
}

void unbind_value(Cell* at);

void unbind_cells(NodeId node, int32_t from, int32_t count) {
    cycles::push(node);
    const int32_t start = from < 0 ? 0 : from;
    for (int32_t i = start; i < cell_count(node) && i - start < count; i++)
        unbind_value(cell_at(node, i));
    cycles::pop();
}

void unbind_value(Cell* at) {
    const Role role = role_of(at);
    switch (role) {
    case Role::Cells:
    case Role::Units: {
        const NodeId node = cell::node(at);
        if (node == 0) return;
        memory::buf(node)->flags &= ~memory::kOwned;
        drop_entry(node);
        if (role == Role::Cells && !cycles::find(node))
            unbind_cells(node, cell::head(at), INT32_MAX);
        return;
    }
    case Role::Image:
        at->header &= ~kImageOwned;
        if (at->w2 != 0) drop_entry(at->w2);
        return;
    case Role::Object: {
        const NodeId ctx = at->w1;
        if (!enters_object(ctx)) return;
        cycles::push(ctx);
        for (int32_t i = 0; i < context::word_count(ctx); i++) {
            if (i >= cell_count(context::cell_of(ctx)->w2)) break;
            unbind_value(context::write_at(ctx, i));
        }
        cycles::pop();
        return;
    }
    case Role::Context:
    case Role::None: return;
    }
}

}  // namespace

void init() { g_table = hashtable::make(kTableKeys, nullptr, hashtable::Kind::Ownership, kEntryCells); }

NodeId table() { return g_table; }

void bind(Cell* value, const Cell* owner, const Cell* word) {
    if (g_table == 0) init();
    const Cell owner_copy = *owner;
    const Cell word_copy = *word;
    cycles::Guard guard;
    bind_value(value, &owner_copy, &word_copy);
}

void bind_object(Cell* value, const Cell* owner, const Cell* word) {
    const Cell owner_copy = *owner;
    bind(value, &owner_copy, word);
    if (role_of(&owner_copy) == Role::Object)
        context::cell_of(owner_copy.w1)->header |= kContextOwner;
}

void unbind(Cell* value) {
    if (g_table == 0) return;
    cycles::Guard guard;
    unbind_value(value);
}

void unbind_range(const Cell* block, int32_t index, int32_t count) {
    if (g_table == 0 || role_of(block) != Role::Cells || count <= 0) return;
    const NodeId node = cell::node(block);
    cycles::Guard guard;
    for (int32_t i = index < 0 ? 0 : index, end = i + count; i < end && i < cell_count(node); i++)
        unbind_value(cell_at(node, i));
}

Cell* owner(NodeId node) {
    if (g_table == 0 || node == 0) return nullptr;
    return hashtable::get(g_table, node);
}

Cell* owner_of(const Cell* value) {
    const Role role = role_of(value);
    if (role == Role::Cells || role == Role::Units) {
        const NodeId node = cell::node(value);
        if (node == 0 || !(memory::buf(node)->flags & memory::kOwned)) return nullptr;
        return owner(node);
    }
    return owner(key_of(value, role));
}

bool check(const Cell* value, const Cell& action, const Cell* new_value, int32_t index,
           int32_t count) {
    const Cell* e = owner_of(value);
    if (!e || !cell::is(e + 1, TypeId::Object) || e[1].w3 == 0) return false;
    if (g_handler) {
        // The handler runs code: everything it is given must outlive any buffer move.
        const Cell owner_copy = e[1];
        const Cell word_copy = e[2];
        const Cell target = *value;
        const Cell action_copy = action;
        const Cell fresh = new_value ? *new_value : *none::shared();
        g_handler(&owner_copy, &word_copy, &target, &action_copy, &fresh, index, count);
    }
    return true;
}

DeepChangeFn set_deep_change_handler(DeepChangeFn fn) {
    DeepChangeFn previous = g_handler;
    g_handler = fn;
    return previous;
}

}  // namespace nuv::ownership
