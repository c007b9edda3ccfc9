// float!: the 64-bit IEEE double, in words 2-3 of the cell (low half in word 2). This module
// also owns what every float-like type shares (percent! and time! use the same layout): the
// number text of all float-like values, the arithmetic dispatcher, the tolerant equality and
// round. Arithmetic never traps: overflow gives an infinity, an invalid operation a NaN.
#pragma once
#include <cstdint>
#include <limits>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::floating {

inline constexpr double kMaxFinite = std::numeric_limits<double>::max();
inline constexpr double kInfinity = std::numeric_limits<double>::infinity();
inline constexpr double kQuietNaN = std::numeric_limits<double>::quiet_NaN();  // high word 0x7FF80000
inline constexpr double kBelowHalf = 0.49999999999999994;  // the largest double below 0.5
inline constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

inline bool is_float_like(TypeId t) {
    return t == TypeId::Float || t == TypeId::Percent || t == TypeId::Time;
}

// The makers take the float-like type t (float!, percent! or time!); percent! uses them.
// The cell becomes a value of type t holding d.
inline void set_typed(Cell* c, TypeId t, double d) {
    c->header = static_cast<uint32_t>(t);
    c->w1 = 0;
    cell::set_double(c, d);
}
// Rewrites a value in place as type t holding d; the header's flags stay.
inline void retype(Cell* c, TypeId t, double d) {
    cell::set_type(c, t);
    c->w1 = 0;
    cell::set_double(c, d);
}
inline void set(Cell* c, double d) { set_typed(c, TypeId::Float, d); }
inline double get(const Cell* c) { return cell::get_double(c); }
Cell* push_typed(TypeId t, double d);  // a new argument-stack cell
Cell* push_halves_typed(TypeId t, uint32_t low, uint32_t high);
// A new value at the block's tail; valid until the next allocation.
Cell* make_in_halves_typed(Cell* block, TypeId t, uint32_t low, uint32_t high);
Cell* set_result_typed(TypeId t, double d);  // arguments[0] becomes the value
inline Cell* push(double d) { return push_typed(TypeId::Float, d); }
inline Cell* push_halves(uint32_t low, uint32_t high) {
    return push_halves_typed(TypeId::Float, low, high);
}
inline Cell* make_in_halves(Cell* block, uint32_t low, uint32_t high) {
    return make_in_halves_typed(block, TypeId::Float, low, high);
}
inline Cell* set_result(double d) { return set_result_typed(TypeId::Float, d); }

// d + 0.49999999999999994 truncated toward zero; outside 32 bits raises script out-of-range.
int32_t to_int_round(double d);
bool is_bits_nan(uint32_t low, uint32_t high);
bool is_float32_nan(float f);
bool is_special(double d);  // an infinity or a NaN

// The formatter's switches: pretty (initially on) hides values below the double epsilon and
// reprints the "...01"/"...99" tails of printf digits; full (initially off) is kept for the
// library and read by no formatting step.
bool is_pretty();
void set_pretty(bool on);
bool is_full();
void set_full(bool on);

// The text kinds of to_text, by what is formed.
enum class TextKind : int {
    Float32 = 0,     // 32-bit float items of vector!
    Float = 1,       // float! form, 64-bit float items of vector!
    Percent32 = 2,   // 32-bit percent items of vector!
    Percent = 3,     // percent! form and mold, 64-bit percent items (the value times 100)
    Seconds = 4,     // the seconds part of time!
    Coordinate = 5,  // coordinates of point2D! and point3D!
};
// The number text of a value, NUL-terminated, in one static buffer valid until the next call.
const char* to_text(double d, TextKind kind);

// Tolerant equality: exactly equal, closer than the double epsilon, or within 10 units in the
// last place (counting across zero). A NaN equals nothing.
bool almost_equal(double a, double b);
bool float32_almost_equal(float a, float b);

// x op y for add, subtract, multiply, divide and remainder; another code raises script
// cannot-use.
double do_op(double x, double y, ArithOp op);
// The dispatcher over arguments[0] (integer!, float!, percent! or time!) and arguments[1];
// the result lands in arguments[0], which it returns.
Cell* math_op(ArithOp op);
template <ArithOp Op>
void math_slot() { math_op(Op); }

Cell* make(Cell* proto, Cell* spec, TypeId type);  // make and to, for float! and percent!
Cell* random(Cell* value, bool seed, bool secure, bool only);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// Compares a float-like value with an integer! or float-like one (-2 for other types).
int32_t compare(Cell* a, Cell* b, CompareOp op);
void absolute();
void negate(Cell* value);
// arguments[0] to the power arguments[1] (integer! or float!); arguments[0] keeps its type.
void power();
// Rounds in place. The scale is an integer! or float-like value, or nullptr for the default
// (1.0, or 0.01 for a percent!); with a scale the result takes the scale's type.
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling);
bool is_even(Cell* value);
bool is_odd(Cell* value);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::floating
