// The path family (path!, lit-path!, set-path!, get-path!) and paren!: blocks under another
// type id, with the block! cell and buffer and most of the block! actions. This module gives
// what differs: their make and to, their form and mold syntax and their registration.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::path {

// Pushes a copy of the value typed `type` (a path type or paren!, no header flags) on the
// argument stack and returns it; the value itself is left as it is.
Cell* push_copy(const Cell* value, TypeId type);
// The cell (not in a collected buffer) becomes an empty path! with room for `size` cells.
Cell* make_at(Cell* cell, int32_t size);

// A scalar changed by a set-path (a time!, tuple!, pair! or point) goes back where the path
// read it from: into the head word's variable when no element took it out of a holder, into
// the cell of a block (whose owner hears of it as a set-path change), or through the holder's
// own path access (an object stores the field and calls its change handler with the old and
// the new value; a hash! keeps its index). The block's notice carries the value and the
// cell's index, or the given notice value and index when a type names its own (a coordinate
// and its index). May allocate and run code.
void store_back(Cell* value, Cell* path, Cell* holder, Cell* element, int32_t position,
                bool case_, bool notify, const Cell* notice_value = nullptr,
                int32_t notice_index = -1);

// make: a number gives an empty path with that much room, an any-block spec a shallow copy;
// to: a map!, object! or typeset! gives a path of that one value, anything else converts as
// to block! does. Both give the target type.
Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
// The elements separated by "/": formed (a/b), or molded with the type's sigil ('a/b a/b:
// :a/b).
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// paren!: "(" and ")" around the values laid out as a block's.
int32_t paren_mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                   int32_t budget, int32_t indent);

extern const TypeRecord kRecord;
extern const TypeRecord kLitPathRecord;
extern const TypeRecord kSetPathRecord;
extern const TypeRecord kGetPathRecord;
extern const TypeRecord kParenRecord;
// Registers path! and then its children lit-path!, set-path! and get-path! (after block!).
void init();
// Registers paren! (after block!).
void init_paren();

}  // namespace nuv::path
