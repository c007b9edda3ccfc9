// issue!: a name written with a leading "#". It shares the word cell and the word slots, but it
// is never looked up: word 1 is the global context, word 2 the symbol, word 3 -1.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::issue {

// The cell (which must not lie in a collected buffer) becomes an issue of the interned name.
Cell* make_at_cstr(Cell* cell, const char* name);
// The same in a new cell at the block's tail; valid until the next allocation.
Cell* make_in_block(const char* name, Cell* block);
// While the auto-root switch is on, an issue in a new root-block cell; otherwise one on the
// argument stack.
Cell* push_cstr(const char* name);
// A copy of the word on the argument stack, retyped to issue!.
Cell* push(const Cell* word);

// The name read as hexadecimal (at most 8 digits, so the value may come out negative): the
// integer! conversion. Any other character, a code point above 127 included, or more than 8
// characters raise script invalid-data naming the issue.
int32_t to_integer(const Cell* issue);

// The value of an ASCII hexadecimal digit in either case, or -1 for any other byte.
int32_t hex_digit(uint8_t byte);

// make and to: word types are retyped; text is interned as it is (no check), from the head.
Cell* to(Cell* proto, Cell* spec, TypeId type);
// Not comparable unless the second value is an issue too; then as words.
int32_t compare(Cell* a, Cell* b, CompareOp op);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::issue
