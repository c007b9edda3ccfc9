// context!: the record that maps words to value slots, for the global context, function
// contexts (values on the argument stack during a call) and object contexts. A context is a
// series of two cells, the context cell (word 1 the word table, word 2 the values) and the owner
// cell; cells after them belong to the owner's datatype (an error keeps the calls of its raise
// there) and are marked with the context. Words are only appended, so a slot index is stable for
// the life of the context, and slot i of the values belongs to word i of the word block.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/watch.h"

namespace nuv::context {

enum class Kind : uint32_t { Global = 0, Function = 1, Object = 2 };

// Context cell header: the kind in bits 11-12 and two flags.
inline constexpr uint32_t kKindShift = 11;
inline constexpr uint32_t kKindMask = 0x3u << kKindShift;
inline constexpr uint32_t kValuesOnStack = 0x400000;
inline constexpr uint32_t kHasSelf = 0x1000000;

inline constexpr int32_t kGlobalSlots = 4000;

// ---- The record (no allocation; pointers valid until the next allocation) ----

// The context cell.
inline Cell* cell_of(NodeId ctx) {
    return reinterpret_cast<Cell*>(memory::buf(ctx)->offset_ptr());
}
Cell* owner(NodeId ctx);    // the owner cell (unset until an object or function stores itself)
inline Kind kind(NodeId ctx) {
    return static_cast<Kind>((cell_of(ctx)->header & kKindMask) >> kKindShift);
}
inline bool values_on_stack(NodeId ctx) { return (cell_of(ctx)->header & kValuesOnStack) != 0; }
NodeId table(NodeId ctx);      // the word table (a hash table of kind 2)
NodeId words_node(NodeId ctx);  // the word block's series: the table's values
int32_t word_count(NodeId ctx);
// Word cell #index of the word block (the index is the caller's to check).
Cell* word_at(NodeId ctx, int32_t index);

// The global context's node and its values series (both fixed once made), so that reading a
// global word needs no look at the context record. A slot of these values is written only
// through `write_at`, `plain_write_slot` and the writing helpers below, each of which tells the
// watch first (`watch::slot_written`).
extern NodeId g_global_node;
extern NodeId g_global_values;
// The library object's context (boot_code.h; 0 before start-up seals it): compiled units
// speculate on its callables too, so a write into it moves the epoch.
extern NodeId g_library_node;

namespace detail {
inline Cell* value_cell(NodeId ctx, int32_t index) {
    const Cell* c = cell_of(ctx);
    if (c->header & kValuesOnStack) return stack::g_args.bottom + (c->w2 - 1) + index;
    return reinterpret_cast<Cell*>(memory::buf(c->w2)->offset_ptr()) + index;
}
// The word's value cell when it needs no lookup (see plain_slot), else nullptr.
inline Cell* plain_cell(const Cell* word) {
    const NodeId ctx = word->w1;
    const auto index = static_cast<int32_t>(word->w3);
    if (ctx == g_global_node && ctx != 0) {
        memory::SeriesBuf* values = memory::buf(g_global_values);
        if (index < 0 || static_cast<size_t>(index) >= values->used() / sizeof(Cell)) return nullptr;
        return reinterpret_cast<Cell*>(values->data() + values->offset) + index;
    }
    if (ctx == 0 || index < 0) return nullptr;
    const Cell* c = cell_of(ctx);
    if (c->w2 == 0) return nullptr;
    if (c->header & kValuesOnStack) return stack::g_args.bottom + (c->w2 - 1) + index;
    memory::SeriesBuf* values = memory::buf(c->w2);
    if (static_cast<size_t>(index) >= values->used() / sizeof(Cell)) return nullptr;
    return reinterpret_cast<Cell*>(values->data() + values->offset) + index;
}
}  // namespace detail

// Value cell #index, no checks: of the values series, or of the call on the argument stack.
inline const Cell* values_at(NodeId ctx, int32_t index) { return detail::value_cell(ctx, index); }
// The same cell for a write, which must follow at once.
inline Cell* write_at(NodeId ctx, int32_t index) {
    if (ctx == g_global_node) {
        watch::slot_written(index);
    } else if (ctx == g_library_node) [[unlikely]] {
        watch::move();
    }
    return detail::value_cell(ctx, index);
}

// A function context's values word, during a call, holds the argument-stack cell index of the
// call's arguments[0] plus one; 0 while no call is active. The evaluator brackets each call:
// `uint32_t saved = enter_call(ctx, stack::arg(0)); ... leave_call(ctx, saved);`
inline uint32_t enter_call(NodeId ctx, const Cell* first_argument) {
    Cell* c = cell_of(ctx);
    const uint32_t saved = c->w2;
    c->w2 = static_cast<uint32_t>(first_argument - stack::g_args.bottom) + 1;
    return saved;
}
inline void leave_call(NodeId ctx, uint32_t saved) { cell_of(ctx)->w2 = saved; }

// ---- Making (each allocates) ----

// A new context for `slots` words (0 taken as 1). With values on the stack there is no values
// series; otherwise one with room for the slots, preset to unset, length 0. With a source
// context (non-zero) the word table and word block are copies of the source's, rebound to the
// new context.
NodeId make(int32_t slots, bool on_stack, bool self, NodeId source, Kind kind);
// A context with one word per word!, get-word!, lit-word! and refinement! of the spec block
// (from its head), in order; a name met again (in any letter case) is not added twice.
NodeId make_from_spec(const Cell* spec, bool on_stack, bool self, Kind kind);
// A new context with the same words and flags as the context in the holder's word 1, its words
// rebound to it; the holder's word 1 becomes the new context (the holder must not lie in a
// collected buffer). Values are not copied: the caller fills them.
NodeId clone(Cell* holder, Kind kind);

// The global context (0 before it is made) and its making for runtime start-up.
NodeId global();
void make_global();

// ---- Finding and adding words ----

// The slot of the word named by the symbol (case_insensitive: by its canonical symbol), or -1.
// No allocation.
int32_t find_word(NodeId ctx, SymId sym, bool case_insensitive);
// Finds or appends: -1 when the word was appended (*out = its slot), else the slot (also in
// *out). May allocate.
int32_t find_word_ex(NodeId ctx, SymId sym, bool case_insensitive, int32_t* out);
// The slot of the word's symbol (case-insensitive), appended when absent with an unset value
// when the values are not on the stack. May allocate.
int32_t find_or_add(NodeId ctx, const Cell* word);
// Finds or appends the word, then copies the value into its slot. May allocate.
void put_word(NodeId ctx, const Cell* word, const Cell* value);
// Appends the word with the value only when the context lacks it. May allocate.
void append_absent(NodeId ctx, const Cell* word, const Cell* value);
// Appends every set-word! of the block from its head (clamped to the tail) that the context
// lacks, with an unset value; true when the word count grew. May allocate.
bool collect_set_words(NodeId ctx, const Cell* block);
// The global context's word for the symbol, appended with an unset value when absent. A word
// appended for a case variant shares the slot of its first case-insensitive match, so every
// spelling reads one value. With `variant`, a case-insensitive find answers the word of the
// asked spelling (appending it when only another spelling is there). The result is a
// word-block cell, valid until the next allocation.
Cell* add_word(SymId sym, bool case_insensitive, bool variant);

// ---- Reading and writing values ----

// The value slot of the word in the context. A word with no index reads the owner cell when
// its symbol is exactly `self`, else raises script no-value; a function context outside a call
// raises script not-in-context. Valid until the next allocation.
const Cell* get(const Cell* word, NodeId ctx);

// The word's slot when reading it can raise nothing and needs no lookup (bound, indexed, its
// function running, the slot within the values), else nullptr: then `get` gives the answer.
// No allocation.
inline const Cell* plain_slot(const Cell* word) { return detail::plain_cell(word); }
// The same for a write that needs no lookup, growth, change mark or notice (the context is not
// an object's), else nullptr: then `set_in` does the write. A global slot is reported to the
// watch here, so the write must follow at once. No allocation.
inline Cell* plain_write_slot(const Cell* word) {
    const NodeId ctx = word->w1;
    if (ctx == 0 || static_cast<int32_t>(word->w3) < 0) return nullptr;
    if (ctx == g_global_node) {
        Cell* slot = detail::plain_cell(word);
        if (slot) watch::slot_written(static_cast<int32_t>(word->w3));
        return slot;
    }
    if ((cell_of(ctx)->header & kKindMask) == static_cast<uint32_t>(Kind::Object) << kKindShift)
        return nullptr;
    return detail::plain_cell(word);
}
// Copies the value into the word's slot and returns the slot (valid until the next
// allocation). A word with no index is looked up exactly and appended when absent; its index
// is written back into `word`. A function context outside a call raises script not-defined.
// Writing an object's word marks it changed (flag 0x2000 on its word-block cell); with notify
// and an object that has change handlers, the change notice is sent. May allocate.
const Cell* set_in(Cell* word, const Cell* value, NodeId ctx, bool notify);
// The value slot of the symbol (case-insensitive) in the context in the holder's word 1; a
// context with values on the stack is replaced by the global context. nullptr when absent.
const Cell* value_slot(SymId sym, const Cell* holder);
// The global context's value slot of the symbol (case-insensitive), or nullptr.
const Cell* global_slot(SymId sym);
// Sets the global word of the symbol (appended when absent). May allocate.
void set_global(SymId sym, const Cell* value);

// Compiled-code accessors over (context, index); each write into an object context marks the
// word changed.
void set_from_top(NodeId ctx, int32_t index);       // the top argument cell into value #index
void set_from_top_keep_old(NodeId ctx, int32_t index);  // the same, pushing the old value first
const Cell* set_from_result(NodeId ctx, int32_t index);  // arguments[0] into value #index; the slot
// The word's value becomes the integer!. May allocate (a word with no index is appended).
void set_int(Cell* word, int32_t value);

// ---- Binding ----

// Looks the word's symbol up case-insensitively: when found, the word is bound to the context
// at that slot and the slot returned; otherwise the word is untouched and -1 returned.
int32_t bind_word(NodeId ctx, Cell* word);
// Binds every word of the block (from its head) and of the blocks, parens, hashes and paths in
// it to the context; words the context lacks keep their binding. With `self`, a word! spelled
// exactly `self` is bound with no index (so it reads the owner cell). A block met again inside
// itself is not entered twice. Returns the block. No allocation.
Cell* bind_block(Cell* block, NodeId ctx, bool self);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::context
