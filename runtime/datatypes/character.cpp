// char!: conversion to a code point, text, comparison and arithmetic.
#include "runtime/datatypes/character.h"

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/unicode.h"

namespace nuv::character {

namespace {

using integer::fire_with_type;

// A float-like value truncated toward zero; beyond 32 bits raises script out-of-range with it.
int32_t truncated(const Cell* value) {
    if (integer::float_outside_int32(value)) fire(Err::OutOfRange, value);
    Cell f;
    floating::set(&f, cell::get_double(value));
    return float_to_int_checked(&f);
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, TypeId) {
    const TypeId t = cell::type_of(spec);
    int32_t v;
    switch (t) {
    case TypeId::Char:
    case TypeId::Integer: v = cell::get_int(spec); break;
    case TypeId::Float:
    case TypeId::Percent: v = truncated(spec); break;
    case TypeId::Binary: {
        // One UTF-8 sequence from the head, checked: a cut or bad one raises invalid-utf8.
        size_t available = static_cast<size_t>(binary::rs_length(spec));
        if (available == 0) fire_with_type(Err::BadToArg, TypeId::Char, spec);
        const uint8_t* p = binary::rs_head(spec);
        v = unicode::utf8_decode_char_checked(p, &available);
        if (v < 0) unicode::fire_invalid_utf8(p, static_cast<size_t>(binary::rs_length(spec)));
        break;
    }
    default:
        if (!integer::is_text(t)) fire_with_type(Err::BadToArg, TypeId::Char, spec);
        if (string::at_tail(spec)) fire_with_type(Err::BadToArg, TypeId::Char, spec);
        v = static_cast<int32_t>(string::char_at(spec, 0));
    }
    if (v < 0 || v > kMaxCodePoint) fire(Err::OutOfRange, spec);
    set(proto, static_cast<char32_t>(v));
    return proto;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    string::append_char(cell::node(buffer), get(value));
    return budget - 1;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t budget, int32_t) {
    const int32_t before = string::length(buffer);
    string::append_cstr(buffer, "#\"");
    string::mold_char(buffer, get(value), string::kEscapeControls, all);
    string::append_char(cell::node(buffer), U'"');
    return budget - (string::length(buffer) - before);
}

// Same-type equalities see a value of another type as unequal: a character equals the integer
// of its code point, but never strictly.
int32_t compare(Cell* a, Cell* b, CompareOp op) {
    const TypeId bt = cell::type_of(b);
    if ((op == CompareOp::StrictEqual || op == CompareOp::FindEqual || op == CompareOp::Same) &&
        bt != TypeId::Char)
        return 1;
    if (bt != TypeId::Char && bt != TypeId::Integer) return kNotComparable;
    const int32_t x = cell::get_int(a), y = cell::get_int(b);
    return (x > y) - (x < y);
}

void do_math(ArithOp op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    int32_t v;
    switch (cell::type_of(b)) {
    case TypeId::Char:
    case TypeId::Integer: v = cell::get_int(b); break;
    case TypeId::Float: v = float_to_int_checked(b); break;
    case TypeId::Vector:
        *a = *vector::scalar_op(op, b, a, true);
        return;
    default: fire_with_type(Err::InvalidType, cell::type_of(b));
    }
    // Without a result cell the core neither promotes to float! nor keeps a fraction.
    const int32_t r = integer::do_math(cell::get_int(a), v, op, nullptr);
    if (r < 0 || r > kMaxCodePoint) fire(Err::Overflow);
    cell::set_int(a, r);
}

constexpr TypeRecord kRecord{
    .id = TypeId::Char,
    .parent = TypeId::Integer,
    .name = "char!",
    .make = character::make,
    .random = kInherited,
    .to = character::make,
    .form = character::form,
    .mold = character::mold,
    .compare = character::compare,
    .absolute = kInherited,
    .add = character::math_slot<ArithOp::Add>,
    .divide = character::math_slot<ArithOp::Divide>,
    .multiply = character::math_slot<ArithOp::Multiply>,
    .remainder = character::math_slot<ArithOp::Remainder>,
    .subtract = character::math_slot<ArithOp::Subtract>,
    .even_q = kInherited,
    .odd_q = kInherited,
    .and_ = character::math_slot<ArithOp::And>,
    .or_ = character::math_slot<ArithOp::Or>,
    .xor_ = character::math_slot<ArithOp::Xor>,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::character
