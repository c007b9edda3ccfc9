// logic!: true or false in word 1 (1 or 0). This module also owns the truth test of every
// conditional: only none! and logic false are false.
#pragma once
#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::logic {

inline void set(Cell* c, bool value) {
    c->header = static_cast<uint32_t>(TypeId::Logic);
    c->w1 = value ? 1 : 0;
}
inline bool get(const Cell* c) { return c->w1 != 0; }
Cell* box(bool value);                   // into arguments[0]
Cell* push(bool value);                  // a new argument-stack cell
Cell* make_in(Cell* block, bool value);  // a new tail cell, valid until the next allocation
// The shared true and false cells that init sets up; callers copy them, never write them.
Cell* shared(bool value);

// False only for none! and logic false. With `check`, an unset! value raises script no-value
// naming `word` (which may be nullptr).
bool value_is_true(const Cell* value, bool check, const Cell* word);
bool result_is_true();   // arguments[0]; unset! there raises script no-return
bool result_is_false();  // arguments[0] is none! or false; no unset check
// The last pushed argument-stack value (the cell at the top when the top is the arguments
// base) is none! or false.
bool stack_top_is_false();
inline bool stack_top_is_true() { return !stack_top_is_false(); }

Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* random(Cell* value, bool seed, bool secure, bool only);
Cell* to(Cell* proto, Cell* spec, TypeId type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);
// and~, or~, xor~ on arguments[0] and arguments[1]; the result lands in arguments[0]. A
// second argument that is not logic! raises script expect-arg.
void bitwise(ArithOp op);
template <ArithOp Op>
void bitwise_slot() { bitwise(Op); }
void complement(Cell* value);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::logic
