// char!: one Unicode code point, 0 to 10FFFF, in word 2 of the cell. Arithmetic runs on the
// code point through integer!'s core and the result stays a character; it forms as the bare
// character and molds as a character literal with the string escapes.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/registry.h"

namespace nuv::character {

inline constexpr int32_t kMaxCodePoint = 0x10FFFF;

inline void set(Cell* c, char32_t cp) {
    integer::set_typed(c, TypeId::Char, static_cast<int32_t>(cp));
}
inline char32_t get(const Cell* c) { return static_cast<char32_t>(c->w2); }
// A new argument-stack cell.
inline Cell* push(char32_t cp) {
    return integer::push_typed(TypeId::Char, static_cast<int32_t>(cp));
}
// A new tail cell, valid until the next allocation.
inline Cell* make_in(Cell* block, char32_t cp) {
    return integer::make_in_typed(block, TypeId::Char, static_cast<int32_t>(cp));
}

Cell* make(Cell* proto, Cell* spec, TypeId type);  // make and to
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// By code point, without case folding; an integer! compares with the code point.
int32_t compare(Cell* a, Cell* b, CompareOp op);
// arguments[0] (char!) op arguments[1] (char!, integer! or float!); a result outside the code
// point range raises math overflow.
void do_math(ArithOp op);
template <ArithOp Op>
void math_slot() { do_math(Op); }

extern const TypeRecord kRecord;
void init();  // after integer!'s, whose slots it takes

}  // namespace nuv::character
