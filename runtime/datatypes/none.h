// none!: the explicit empty value. It also answers the series actions clear, find, remove,
// select, take (none) and length? (-1, which the entry turns into none), so that code can
// apply them to an optional series without testing for none first.
#pragma once
#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::none {

inline void set(Cell* c) { c->header = static_cast<uint32_t>(TypeId::None); }
Cell* set_result();          // arguments[0] becomes none
Cell* push();                // a new argument-stack cell
Cell* make_in(Cell* block);  // a new tail cell, valid until the next allocation
// The shared none cell that operations answering none return; callers copy it, never write it.
Cell* shared();

Cell* make(Cell* proto, Cell* spec, TypeId type);  // make and to: the spec is ignored
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);
void clear(Cell* value);
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length(Cell* value);
Cell* remove(Cell* series, Cell* part, Cell* key);
const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                   bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell* take(Cell* series, Cell* part, bool deep, bool last);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::none
