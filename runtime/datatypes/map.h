// map!: a dictionary of keys and values kept in insertion order. The cell is a block cell
// retyped: word 1 the head index, word 2 the body (a block of key, value, key, value...), word 3
// a map-kind hash table over the body's keys. A removed entry keeps its key in the body and
// its value cell gets header 0; every operation skips it, and setting its key again revives it.
// Keys are stored normalised: word types as set-word!, series keys as copies of their own.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::map {

inline NodeId body_of(const Cell* map) { return map->w2; }
inline NodeId table_of(const Cell* map) { return map->w3; }

// The types a key may have.
bool is_key_type(TypeId t);
// The key at `position` of the body becomes its stored form. A type that is not a key raises
// script invalid-path with none and the key's datatype. May allocate.
void normalise_key(NodeId body, int32_t position);

// The cell becomes a map over `block` (a block! at head 0 that the map takes as its body: its
// keys are normalised, a repeated key keeps its first place with its last value), or over a new
// empty body with room for `entries` entries when `block` is nullptr. The block holds an even
// number of cells. The cell must not lie in a collected buffer. May allocate.
Cell* make_at(Cell* cell, const Cell* block, int32_t entries);
// A copy of the map cell (same body and table) on the argument stack.
Cell* push_copy(const Cell* map);
// Live entries.
int32_t live_count(const Cell* map);
// Pushes a new block! of the live entries' keys (as stored) and values; with `new_lines` each
// key carries the new-line marker. Returns the pushed cell.
Cell* push_body(const Cell* map, bool new_lines);
// Adds the pairs of the block (from its head), or replaces their values, looking keys up
// case-sensitively with `case_`. An odd count raises script invalid-arg with the block before
// anything changes. May allocate.
void extend_block(const Cell* map, const Cell* block, bool case_);
// Sets the two words of `words` (a block from its head) to the key and the value of the first
// live entry at or after the map's position (a set-word! key as a word!) and moves the position
// past it; false, setting nothing, when no live entry is left. A target that is not a word!,
// set-word!, get-word! or lit-word! raises script invalid-arg with it. May allocate.
bool foreach_set(const Cell* words, Cell* map);

// ---- Slots ----

// make: an integer! or float! size, an any-block of pairs (an odd count is script invalid-arg),
// or a map! (a copy). to: the same without the size. Anything else is script bad-to-arg.
Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
// words, values or body as a new block in arguments[0]; any other field is internal not-done.
void reflect(Cell* value, SymId field);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// Get: the key's value or none (mode strict with case_). Set: stores the value, adding the key
// when it is missing (a type that is not a key raises script invalid-path with the path and the
// key's datatype). A value read is a cell of the body, valid until the next allocation.
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
// Equality regardless of entry order; the sort codes order maps by their body's node id.
int32_t compare(Cell* a, Cell* b, CompareOp op);
void clear(Cell* value);
// /part is refused; /deep copies the body deeply, /types the values of those types.
Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types);
// The stored key (a set-word! key as a word!), or none.
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length_q(Cell* value);
Cell* put(Cell* target, Cell* key, Cell* value, bool case_);
// /key is required (script missing-arg); the key is looked up case-sensitively.
Cell* remove(Cell* series, Cell* part, Cell* key);
const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                   bool any, Cell* with, Cell* skip, bool last, bool reverse);

void mark(const Cell* value);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::map
