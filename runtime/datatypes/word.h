// The word family: word!, set-word!, lit-word!, get-word!, refinement! (and issue!, which
// shares the layout). A word cell holds word 1 its context node (0: unbound), word 2 its
// symbol id exactly as spelled, word 3 its slot in that context or -1 when not known.
// Retyping among the word types keeps the binding, so a set-word! reads the slot of the
// word! it was made from. One implementation serves every type; only mold differs.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/registry.h"

namespace nuv::word {

inline constexpr uint32_t kNoIndex = 0xFFFFFFFF;  // word 3 of a word never looked up

inline constexpr bool is_any_word_type(TypeId t) { return t >= TypeId::Word && t <= TypeId::Issue; }
inline SymId symbol_of(const Cell* word) { return word->w2; }
inline int32_t index_of(const Cell* word) { return static_cast<int32_t>(word->w3); }

// ---- Making words (each interns its name and may allocate) ----

// The global context's word for the name (case-insensitive; appended when absent), carrying
// the name's own spelling. While the auto-root switch is on, a copy in a new root-block cell
// (stable); otherwise the global word-block cell, valid until the next allocation.
Cell* make_global(const char* name);
// The same for a symbol looked up exactly (a new case variant shares its match's slot).
Cell* make_global_id(SymId sym);
// A global word of the name retyped to one of the word types, by value.
Cell make_global_as(const char* name, TypeId type);
// The cell becomes a word of `type` bound to the global context at the symbol's slot (appended
// with an unset value when absent). The cell must not lie in a collected buffer.
Cell* make_at(SymId sym, Cell* cell, TypeId type = TypeId::Word);
// A new cell at the block's tail made by make_at; valid until the next allocation.
Cell* make_in_block(const char* name, Cell* block, TypeId type = TypeId::Word);
Cell* make_result(SymId sym);                           // make_at on arguments[0]
Cell* push_global(SymId sym, TypeId type = TypeId::Word);  // make_at on a new stack cell
// A copy of the word (retyped unless `type` is Invalid) on the argument stack.
Cell* push(const Cell* word, TypeId type = TypeId::Invalid);
// A copy of word #index of the context's word block, retyped, on the argument stack.
Cell* push_at(NodeId ctx, int32_t index, TypeId type = TypeId::Word);
// A copy of the cell in a new root-block cell (stable).
Cell* keep(const Cell* cell);
// The context's word for the symbol (exact), else the global word (appended when absent).
Cell word_or_global(NodeId ctx, SymId sym);
// An unbound refinement! (no context, no index) for the name in a new root-block cell.
Cell* refinement_make_cstr(const char* name);

// ---- Reading and writing through words ----

// The word's value slot in its own context (errors as context::get). No allocation.
inline const Cell* slot(const Cell* word) {
    const Cell* plain = context::plain_slot(word);
    return plain ? plain : context::get(word, word->w1);
}
// Pushes a copy of the word's value; script no-value naming the word when it is unset.
Cell* get(const Cell* word);
Cell* push_value(const Cell* word);  // the same, unset allowed
// Sets the word in its own context, with change notices. Returns the slot (valid until the
// next allocation). May allocate.
const Cell* set(Cell* word, const Cell* value);
// arguments[0] a word, arguments[1] its new value: script need-value naming the word when the
// value is unset, else the word is set and the value becomes the last value.
void set_from_stack();
// Pushes value #index of the function context; script not-defined naming word #index when
// its function is not running.
Cell* get_local(NodeId ctx, int32_t index);
// Pushes a string! over the symbol's cached name (the same series, head 0). May allocate.
Cell* symbol_push_string(const Cell* word);
// The word's symbol entry with its cached string made. May allocate; valid until the next.
Cell* symbol_entry(const Cell* word);
// The word's name resolves to the symbol `any-type!`.
bool is_any_type(const Cell* word);
// Copies arguments[0] into the slot; script need-value with the slot's content when
// arguments[0] is unset.
void slot_set_from_result(Cell* slot);
// Compiled helpers, the same for every word type: the word in arguments[0] set to
// arguments[1] (no unset check), or read; either way the value becomes the last value.
void set_arg_from_arg1();
void get_arg_value();

// ---- Slots ----

// make and to: the spec (a stack cell) retyped, or the word a datatype!, logic! names.
Cell* to(Cell* proto, Cell* spec, TypeId type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
// The name with the type's sigil: 'a a: :a /a #a.
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);
void index_q();  // arguments[0]: none! for a word with no index, else the 1-based slot

// Stores in each type name entry 1..highest the global word of the type's full name.
// Needs the symbol table and the global context.
void bind_datatype_names();

extern const TypeRecord kRecord;
extern const TypeRecord kLitWordRecord;
extern const TypeRecord kSetWordRecord;
extern const TypeRecord kGetWordRecord;
extern const TypeRecord kRefinementRecord;
// Registers word! then its four children (word!'s parent symbol! must be registered first).
void init();

}  // namespace nuv::word
