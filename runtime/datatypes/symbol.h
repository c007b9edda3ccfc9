// symbol!: the symbol table. Every spelling ever interned is one entry of the symbol block
// (id n = the entry at 1-based position n), found through one kind-2 hash table. A spelling that
// differs from an earlier one only in ASCII case gets its own id whose alias names the canonical
// (earliest) spelling, so resolve() is one step. Entries are only appended; ids never change.
// Entry cell: header symbol!, word 1 alias (-1 none), word 2 cached string! node (0 until
// needed), word 3 node of the UTF-8 name (a NUL kept just past its tail).
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::symbol {

inline constexpr int32_t kNoAlias = -1;

// ---- Interning: allocates only when the spelling is new. The text may lie anywhere, a
// series buffer included. ----

SymId make_utf8(const uint8_t* text, size_t length);
SymId make_cstr(const char* name);
// The text of a string! value (any text type) from its head; another type raises script
// expect-arg.
SymId make_string(const Cell* text);
// One case-insensitive pass: a differently cased spelling that exists is returned as it is and
// nothing is recorded.
SymId make_cstr_boot(const char* name);

// ---- Reading (no allocation unless said) ----

// The canonical id: the alias when there is one, else the id.
SymId resolve(SymId id);
int32_t get_alias(SymId id);
// Symbols interned so far (the highest id).
uint32_t count();
// The entry cell; valid until the next allocation.
Cell* entry(SymId id);
// The NUL-terminated UTF-8 name and its byte length; valid until the next allocation.
const char* utf8_name(SymId id);
size_t name_length(SymId id);
// The node of the entry's string! holding the name, made on first need (allocates then).
// Word form and mold read it as a string! with head 0; the entry itself is never retyped.
NodeId cached_string(SymId id);

// The compare slot: the two spellings compared as text, by the operation code.
int32_t compare(Cell* a, Cell* b, CompareOp op);

// The global symbol hash table (0 before table_init).
NodeId table();

extern const TypeRecord kRecord;
// Registers symbol! (the datatype step of runtime-init).
void init();
// Makes the symbol hash table over the symbol block for 4,000 keys; after the root block and
// the symbol block exist, before any word.
void table_init();

}  // namespace nuv::symbol
