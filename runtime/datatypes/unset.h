// unset!: the value of nothing (a word without a value, a call that returns nothing). Only the
// header carries meaning; turning a cell into unset in place leaves its payload as it was.
#pragma once
#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::unset {

inline void set(Cell* c) { c->header = static_cast<uint32_t>(TypeId::Unset); }
Cell* set_result();          // arguments[0] becomes unset
Cell* push();                // a new argument-stack cell
Cell* make_in(Cell* block);  // a new tail cell, valid until the next allocation
// The shared unset cell that init sets up.
Cell* shared();

Cell* make(Cell* proto, Cell* spec, TypeId type);  // make and to: the spec is ignored
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);

// The compare codes under which two unset!, none! or logic! values answer (the equalities and
// the sort orders); under the others they cannot be compared.
inline constexpr bool compares_under(CompareOp op) {
    constexpr uint32_t kCodes = 1u << 0 | 1u << 1 | 1u << 2 | 1u << 7 | 1u << 8 | 1u << 9 | 1u << 12;
    auto code = static_cast<uint32_t>(op);
    return code < 32 && ((kCodes >> code) & 1);
}

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::unset
