// binary!: a series of bytes. Word 1 is the head (bytes from the buffer's `offset`), word 2 the
// node of a unit-1 buffer, word 3 is 0. A head beyond the tail reads as the tail. It inherits the
// series and string! actions (navigation, pick and poke as integers, find, sort, ...) and owns
// its conversions, its text form, its comparison, byte insertion and the bitwise actions.
// Writers may move buffers: they take cells and re-read positions from indexes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/memory.h"

namespace nuv::binary {

// ---- Makers (each allocates; a cell given must not lie in a series buffer) ----

// The cell becomes an empty binary with room for `size` bytes (it reads unset! meanwhile).
Cell* make_at(Cell* cell, size_t size);
// A binary holding a copy of `length` bytes, in `cell` (nullptr: the next argument-stack slot).
// The bytes must not lie in a series buffer.
Cell* load(const uint8_t* bytes, size_t length, Cell* cell);
inline Cell* load_copy(const uint8_t* bytes, size_t length) { return load(bytes, length, nullptr); }
// A new empty binary in a new cell at the tail of the block; returns the cell (valid until the
// next allocation).
Cell* make_in_block(Cell* block, size_t size);

// ---- Readers (no allocation) ----

// Bytes from the head to the tail.
int32_t rs_length(const Cell* bin);
// The byte at the head; a head beyond the tail reads as the tail. Valid until the next
// allocation.
const uint8_t* rs_head(const Cell* bin);
const uint8_t* rs_tail(const Cell* bin);
bool rs_is_tail(const Cell* bin);
// The byte at `index` from the buffer's first used byte (the caller keeps it inside).
uint8_t byte_at(const Cell* bin, int32_t index);

// ---- Head and tail ----

// Moves the head on n bytes (back for negative n), held within the buffer.
void rs_skip(Cell* bin, int32_t n);
// Cuts the buffer's tail back to the head.
void rs_clear(Cell* bin);

// ---- Writers (each may allocate; the bytes must not lie in a series buffer) ----

// Copies the bytes to the tail; a full buffer at least doubles, so appending is amortised
// constant.
void append_bytes(Cell* bin, const uint8_t* bytes, size_t length);
// Copies the bytes in at `offset` bytes from the head, moving the rest up.
void insert_bytes(Cell* bin, size_t offset, const uint8_t* bytes, size_t length);
// Appends the value as 4 bytes, most significant first.
void append_int32(Cell* bin, int32_t value);
// Writes the bytes from head + offset, growing the buffer and moving the tail when the write
// ends beyond it.
void write_at(Cell* bin, size_t offset, const uint8_t* bytes, size_t length);

// ---- Values as bytes ----

// The byte of an integer! or char! (its low 8 bits); any other value raises script
// invalid-arg with it.
uint8_t byte_arg(const Cell* value);

// How a value that is not bytes, text, a char, an integer or a block of those counts: formed
// (change), or refused with script bad-to-arg (append, insert, to).
enum class Mode : uint8_t { Insert, Change };
// The bytes the value contributes, at most `limit` of them (-1: all): appended to the binary
// `out` and counted, or only counted when `out` is nullptr. A char! gives its UTF-8 (above
// 0x10FFFF: script invalid-char); an integer! one byte (outside -128..255: script invalid-arg);
// texts their UTF-8 from the head; blocks, parens and hashes the bytes of each item in turn.
// May allocate (forming, growing `out`); the value is read again after each allocation.
int64_t value_to_bytes(Cell* out, const Cell* value, int64_t limit, Mode mode);

// ---- For parse ----

// True when the bytes at the head start with the value: a binary's bytes or a text's UTF-8
// from its head (an empty one matches under the equality codes), or a char! equal to the head
// byte.
bool matches_value(const Cell* bin, const Cell* value, CompareOp op);
// True when the head byte's bit is set in the bitset (beyond its bytes: its complement flag).
bool test_byte(const Cell* bin, const Cell* bitset);

// ---- Comparison ----

// -1, 0 or 1, unsigned bytes from the heads; `prefix` compares only b's length.
int32_t compare_raw(const Cell* a, const Cell* b, CompareOp op, bool prefix);

// ---- Slots ----

Cell* to(Cell* proto, Cell* spec, TypeId type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);
// and~, or~, xor~ of arguments[0] and [1]: a new binary as long as the longer in arguments[0].
void and_();
void or_();
void xor_();
// Inverts the bytes from the head in place.
void complement(Cell* value);
// append (append set: the result is the series at its head) and insert (the series just after
// the inserted bytes).
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

// Registration: binary! under string!; init registers it.
extern const TypeRecord kRecord;
void init();

}  // namespace nuv::binary
