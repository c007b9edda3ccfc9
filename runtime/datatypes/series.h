// series!: the parent of every series type, never the type of a value. It holds the actions all
// series share (navigation, pick and poke by index, remove, reverse, shuffle, move, copy, take,
// the ownership field) written once over raw units, so the same code serves cells (16 bytes),
// text (1, 2 or 4 bytes per code point) and bytes. Heads count units from the buffer's first
// used unit; a stored head may lie beyond the tail and is clamped where it is read.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::series {

// ---- Type families ----

// block!, paren!, the path types and hash!: series of cells.
inline constexpr bool is_any_block(TypeId t) {
    return t == TypeId::Block || t == TypeId::Paren || t == TypeId::Hash ||
           (t >= TypeId::Path && t <= TypeId::GetPath);
}
// string!, file!, url!, tag!, email!, ref!: series of code points.
inline constexpr bool is_any_string(TypeId t) {
    return t == TypeId::String || t == TypeId::File || t == TypeId::Url || t == TypeId::Tag ||
           t == TypeId::Email || t == TypeId::Ref;
}

// log2 of a unit size of 1, 2, 4, 8 or 16 bytes.
inline constexpr int unit_shift(uint32_t unit) {
    return unit == 16 ? 4 : unit == 8 ? 3 : unit == 4 ? 2 : static_cast<int>(unit >> 1);
}

// ---- Shared operations (no allocation) ----

// The cell's position is at or past its buffer's tail.
bool is_at_tail(const Cell* series);
// Units in use in the buffer, whatever the head.
int32_t buffer_length(const Cell* series);
// Units from the head (from unit 0 with from_start) to the tail. A negative head counts as 0; a
// head past the tail is pulled back to the tail in the cell itself and the answer is 0.
int32_t length(Cell* series, bool from_start);
// Moves the head on n units unless that passes the tail; answers whether the new position is at
// or past the tail.
bool move_head(Cell* series, int32_t n);
// The index step of at (at = true) and skip on arguments[0] and arguments[1]: the head of
// arguments[0] moves, clamped to 0 .. the buffer length. A non-integer! index raises script
// invalid-arg.
void skip_index(bool at);
// The raw count of a /part limit: an integer! gives its value; a series of the same type and
// buffer gives its head minus this series' head; anything else raises script
// invalid-refine-arg with the word part and the limit. Callers clamp.
int32_t part_limit(const Cell* series, const Cell* part);

// ---- Slots (calling conventions of actions.h) ----

// random: /seed seeds the generator from the units' bytes and the value becomes unset!; /only
// writes one random unit (as pick gives it) into the value; otherwise shuffles the units from the
// head in place. Returns the value.
Cell* random(Cell* value, bool seed, bool secure, bool only);
// reflect: the field owned writes the owner object or none! into arguments[0]; any other field
// raises internal not-done.
void reflect(Cell* value, SymId field);
void at();
void back();
void head();
void is_head();
void is_index();
void next();
void skip();
void tail();
void is_tail();
// The tail comes back to the head. The result is the series (left in the cell).
void clear(Cell* series);
// A new series of the source's type and unit with the units from the head (or the /part range)
// in `result`, which must not lie in a collected buffer. Returns result. Allocates.
Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types);
int32_t is_length(Cell* value);
// Moves 1 (or /part) units from the origin's head to the target's position, in one series or
// between two of one family. May allocate.
void move(Cell* origin, Cell* target, Cell* part);
// The unit at the 1-based index from the head (negative counts back from before the head): the
// cell itself for block types (in place, valid until the next allocation), a char! for text, an
// integer! for binary!. Index 0 or a position outside the units gives the shared none cell.
const Cell* pick(Cell* series, int32_t index, Cell* index_arg);
// Stores the value at pick's position (out-of-range index: script out-of-range); text needs a
// char! and binary! an integer! or char! (else script invalid-arg). Returns the value. May
// allocate (a text buffer widens).
Cell* poke(Cell* series, int32_t index, Cell* value, Cell* index_arg);
// Removes 1 (or /part) units at the head, or with /key the key found from the head and the
// count after it (the shared none cell when the key is absent). Returns the series.
Cell* remove(Cell* series, Cell* part, Cell* key);
// Reverses the units from the head (or /part units), in records of /skip units.
Cell* reverse(Cell* series, Cell* part, Cell* skip);
// Takes 1 (or /part) units from the head (from the tail end with last) into a new series of
// the source's type, which the series cell becomes; nothing after the head makes it none!.
// The cell must not lie in a collected buffer. Returns it. Allocates.
Cell* take(Cell* series, Cell* part, bool deep, bool last);
// modify: the field owned with none! unbinds the value from its owner; with a block! of an
// object! and a word, binds it to them (any other value: script invalid-arg). Other fields
// change nothing. Returns the value.
Cell* modify(Cell* target, Cell* field, Cell* value, bool case_);

// Registration: series! with the shared slots; block! and string! inherit them.
extern const TypeRecord kRecord;
void init();

}  // namespace nuv::series
