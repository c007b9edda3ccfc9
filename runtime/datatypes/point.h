// point2D! and point3D!: immediate points of 32-bit floats, x in word 1, y in word 2 and (for
// point3D!) z in word 3; word 3 of a point2D! is 0. Both types come from one design: every
// function here takes the number of coordinates, 2 or 3. Computation is done in doubles and
// every coordinate is rounded to a 32-bit float when it is stored; arithmetic never raises for
// a zero divisor or an overflow (IEEE infinities and NaN are stored).
#pragma once
#include <bit>
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::point {

inline TypeId type_of_dims(int dims) { return dims == 2 ? TypeId::Point2D : TypeId::Point3D; }

// Coordinate i (0-based) of a point cell.
inline float get(const Cell* c, int i) {
    return std::bit_cast<float>(i == 0 ? c->w1 : i == 1 ? c->w2 : c->w3);
}

// The cell's type becomes point2D! (its flags kept) with x and y; returns the cell.
Cell* set2(Cell* c, float x, float y);
// The cell's type becomes point3D! (its flags kept) with x, y and z; returns the cell.
Cell* set3(Cell* c, float x, float y, float z);
Cell* push2(float x, float y);  // new argument-stack cells
Cell* push3(float x, float y, float z);
// New points at the block's tail; valid until the next allocation.
Cell* make_in2(Cell* block, float x, float y);
Cell* make_in3(Cell* block, float x, float y, float z);
// The 32-bit float of an integer! (converted) or float! (rounded) cell.
float float_of(const Cell* number);
// All coordinates are 0.0 (either sign).
bool is_zero(const Cell* c);

// 1 for x, 2 for y, and 3 for z when dims is 3, by the word's case-folded symbol. Another word
// raises script cannot-use (word, value) when the value is a point of that size, else script
// invalid-path (value, word).
int32_t field_index(const Cell* word, const Cell* value, int dims);

// The arithmetic over arguments[0] (the point) and arguments[1]: codes add, subtract,
// multiply, divide and remainder. Right operands: a point of the same size, a pair! (point2D!
// only), integer!, float! or percent!; another type raises script invalid-type. The result
// lands in arguments[0].
void math_op(ArithOp op, int dims);

// Compares two point2D! values (the compare slot's answer for the code); a pair! on the right
// is taken as its point2D!.
int32_t compare2(Cell* a, Cell* b, CompareOp op);

extern const TypeRecord kRecord2D;
extern const TypeRecord kRecord3D;
void init2();
void init3();

}  // namespace nuv::point
