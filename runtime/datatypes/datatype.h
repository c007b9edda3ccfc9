// datatype!: a value that names a type; word 1 holds the type id, words 2 and 3 nothing.
#pragma once
#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::datatype {

inline void set(Cell* c, TypeId t) {
    *c = Cell{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(t), 0, 0};
}
Cell* push(TypeId t);                   // a new argument-stack cell
Cell* make_in(Cell* block, TypeId t);  // a new tail cell, valid until the next allocation

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::datatype
