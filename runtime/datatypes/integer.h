// integer!: the signed 32-bit integer (word 2 of the cell). Also the integer arithmetic core
// that char!, vectors, pairs and tuples reuse, and the dispatcher that decides what an integer
// on the left yields with another type on the right. Add, subtract and multiply never wrap:
// they promote to float!; the operations that have no float escape raise math overflow.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/errors.h"

namespace nuv::integer {

// The makers take the type for char!, which keeps its code point the same way.
inline void set_typed(Cell* c, TypeId t, int32_t v) {
    *c = Cell{static_cast<uint32_t>(t), 0, static_cast<uint32_t>(v), 0};
}
inline void set(Cell* c, int32_t v) { set_typed(c, TypeId::Integer, v); }
inline int32_t get(const Cell* c) { return cell::get_int(c); }
Cell* push_typed(TypeId t, int32_t v);  // a new argument-stack cell
// A new tail cell, valid until the next allocation.
Cell* make_in_typed(Cell* block, TypeId t, int32_t v);
inline Cell* push(int32_t v) { return push_typed(TypeId::Integer, v); }
inline Cell* make_in(Cell* block, int32_t v) { return make_in_typed(block, TypeId::Integer, v); }
Cell* set_result(int32_t v);             // arguments[0] becomes the integer
int32_t result_value();                  // the payload of arguments[0], whatever its type
int32_t result_or_zero();                // arguments[0] when it is an integer!, else 0

// Decimal text in one static buffer, valid until the next call.
const char* to_cstr(int32_t v);
// |v|; raises math overflow for -2147483648.
int32_t abs(int32_t v);
inline int32_t sign_of(int32_t v) { return (v > 0) - (v < 0); }
// The float payload of a float-like cell lies above 2147483647.0, below -2147483648.0, or is
// NaN.
bool float_outside_int32(const Cell* value);
// Truncates a double toward zero; raises script type-limit naming integer! when it does not
// fit in 32 bits.
int32_t from_double(double d);

// Shared by the number types' modules.
// Raises `id` with a datatype! of t (and the value, when given) as its arguments.
[[noreturn]] void fire_with_type(Err id, TypeId t, const Cell* value = nullptr);
// Raises `id` naming an action word and a datatype. A word not made yet (and the calling
// action's word, until call frames exist) is passed as none.
[[noreturn]] void fire_word_type(Err id, const Cell* word, TypeId t);
// string!, file!, url!, tag!, email! or ref!: a text that numbers are scanned from.
bool is_text(TypeId t);

// The arithmetic core. Without a result cell the integer result is returned and an add,
// subtract or multiply that overflows raises math overflow. With one, the value lands in its
// word 2 (its type kept), or the cell becomes a float! holding the exact double result when
// add, subtract or multiply overflows or a division leaves a remainder.
// Divide and remainder by 0 raise math zero-divide; -2147483648 by -1 raises math overflow.
int32_t do_math(int32_t left, int32_t right, ArithOp op, Cell* result);
// The mixed-type dispatcher over arguments[0] (integer! or char!) and arguments[1].
void math_op(ArithOp op);
template <ArithOp Op>
void math_slot() { math_op(Op); }

Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
Cell* random(Cell* value, bool seed, bool secure, bool only);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);
void absolute();
void negate(Cell* value);
void power();
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling);
bool is_even(Cell* value);
bool is_odd(Cell* value);
void complement(Cell* value);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::integer
