// pair!: two signed 32-bit integers, x in word 2 and y in word 3 (word 1 unused), written
// "XxY". Arithmetic stays in integers while every result is exact and fits; otherwise the
// whole operation is done again as point2D! arithmetic and the result is a point2D!.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::pair {

inline int32_t x_of(const Cell* c) { return static_cast<int32_t>(c->w2); }
inline int32_t y_of(const Cell* c) { return static_cast<int32_t>(c->w3); }

// The cell's type becomes pair! (its flags kept) with x and y; returns the cell.
Cell* make_at(Cell* c, int32_t x, int32_t y);
Cell* push(int32_t x, int32_t y);  // a new argument-stack cell
// A new pair at the block's tail; valid until the next allocation.
Cell* make_in(Cell* block, int32_t x, int32_t y);
// Argument cell i (0 or 1) of the current call becomes the point2D! of its coordinates.
void to_point2d_arg(int32_t i);
// 1 for the word x, 2 for y (case-folded). Another word raises script cannot-use (word, value)
// when the value is a pair, else script invalid-path (value, word).
int32_t field_index(const Cell* word, const Cell* value);

// The arithmetic over arguments[0] (the pair) and arguments[1], codes 0-7 of ArithOp; the
// result (a pair!, or a point2D!) lands in arguments[0].
void math_op(ArithOp op);
template <ArithOp Op>
void math_slot() { math_op(Op); }
// A number on the left of a pair or point: the operands swap, and subtract becomes the
// negated compound value plus the number; then the compound value's arithmetic runs. The
// callers have refused what they refuse (divide, and for a float! subtract too).
void math_number_left(ArithOp op);

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type);  // make and to
Cell* random(Cell* value, bool seed, bool secure, bool only);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// By x, then y; a point2D! on the right compares as point2D!s do; -2 for other types.
int32_t compare(Cell* a, Cell* b, CompareOp op);
// Reads coordinate `element` (1, 2, x or y) as an integer! into a new argument-stack cell, or
// sets it from an integer! in `parent` and stores the pair back into the grandparent (may
// allocate and run code).
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
void absolute();
void negate(Cell* value);
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling);
const Cell* pick(Cell* series, int32_t index, Cell* index_arg);
Cell* reverse(Cell* series, Cell* part, Cell* skip);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::pair
