// tuple!: 3 to 12 bytes kept in the cell itself (versions, colours, addresses). The size lies
// in header bits 19-22; byte 1 is the lowest byte of word 1, byte 5 of word 2, byte 9 of word
// 3, and bytes past the size are always 0. Arithmetic works byte by byte and saturates to
// 0..255.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::tuple {

inline constexpr int32_t kMinSize = 3;
inline constexpr int32_t kMaxSize = 12;
inline constexpr uint32_t kSizeShift = 19;
inline constexpr uint32_t kSizeMask = 0xFu << kSizeShift;

inline int32_t size_of(const Cell* c) {
    return static_cast<int32_t>((c->header & kSizeMask) >> kSizeShift);
}
// Byte i (0-based) of the cell.
inline uint8_t byte_at(const Cell* c, int32_t i) {
    const uint32_t word = i < 4 ? c->w1 : i < 8 ? c->w2 : c->w3;
    return static_cast<uint8_t>(word >> (8 * (i & 3)));
}

// The cell becomes a tuple of `size` bytes (3..12) with the raw payload words.
void set(Cell* c, int32_t size, uint32_t w1, uint32_t w2, uint32_t w3);
Cell* push(int32_t size, uint32_t w1, uint32_t w2, uint32_t w3);  // a new argument-stack cell
// A new tuple at the block's tail; valid until the next allocation.
Cell* make_in(Cell* block, int32_t size, uint32_t w1, uint32_t w2, uint32_t w3);
// The cell becomes a tuple of max(count, 3) bytes (count at most 12) from the low bytes of
// the values, zero-padded.
Cell* set_list(Cell* c, int32_t count, const int32_t* values);
Cell* push_list(int32_t count, const int32_t* values);  // the same on the argument stack
// The cell becomes r.g.b (a = -1) or r.g.b.a, each channel's low byte.
Cell* set_channels(Cell* c, int32_t r, int32_t g, int32_t b, int32_t a);
// Every byte up to the size is 0.
bool is_zero(const Cell* c);

// The arithmetic over arguments[0] and arguments[1], codes 0-7 of ArithOp; the integer and
// float dispatchers call it with the number on the left, which subtract and divide refuse
// (script not-related) and the other codes swap. The result lands in arguments[0].
void math_op(ArithOp op);
template <ArithOp Op>
void math_slot() { math_op(Op); }

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type);  // make and to
Cell* random(Cell* value, bool seed, bool secure, bool only);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// Byte by byte over the longer size, missing bytes as 0, whatever the code; -2 for another type.
int32_t compare(Cell* a, Cell* b, CompareOp op);
// Reads byte `element` (an integer!) into a new argument-stack cell, or sets it in `parent`:
// an integer! clamped to 0..255, or none! cutting the tuple before it (never below 3 bytes),
// then stores the tuple back into the grandparent (may allocate and run code).
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
void complement(Cell* value);
int32_t length(Cell* value);
const Cell* pick(Cell* series, int32_t index, Cell* index_arg);
Cell* reverse(Cell* series, Cell* part, Cell* skip);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::tuple
