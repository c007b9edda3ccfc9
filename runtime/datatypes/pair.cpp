// pair!: makers, the promoting integer arithmetic, conversions, text, comparison, field access
// and the registration record. A float that must become a coordinate is truncated toward zero
// and must fit in 32 bits (script out-of-range otherwise): no conversion here is undefined.
#include "runtime/datatypes/pair.h"

#include <cmath>
#include <utility>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::pair {

namespace {

using T = TypeId;

[[noreturn]] void fire_bad_to(const Cell* spec) {
    integer::fire_with_type(Err::BadToArg, T::Pair, spec);
}

// The double truncated toward zero; script out-of-range, naming the double, when the whole
// number does not fit 32 bits.
int32_t truncated(double d) {
    const double whole = std::trunc(d);
    if (whole >= -2147483648.0 && whole <= 2147483647.0) return static_cast<int32_t>(whole);
    Cell f;
    floating::set(&f, d);
    fire(Err::OutOfRange, &f);
}

// An integer! as it is, a float! truncated toward zero.
int32_t coordinate_of(const Cell* number) {
    return cell::is(number, T::Integer) ? cell::get_int(number) : truncated(cell::get_double(number));
}

// The x and y of a pair! as the argument cell i of a point2D! operation.
void as_point_arg(int32_t i, int32_t x, int32_t y) {
    Cell* c = stack::arg(i);
    point::set2(c, static_cast<float>(x), static_cast<float>(y));
}

}  // namespace

// ---- Makers and services ----

Cell* make_at(Cell* c, int32_t x, int32_t y) {
    cell::set_type(c, T::Pair);
    c->w1 = 0;
    c->w2 = static_cast<uint32_t>(x);
    c->w3 = static_cast<uint32_t>(y);
    return c;
}

Cell* push(int32_t x, int32_t y) {
    Cell* c = stack::reserve();
    *c = Cell{};
    return make_at(c, x, y);
}

Cell* make_in(Cell* block, int32_t x, int32_t y) {
    Cell* c = block::alloc_tail(block);
    *c = Cell{};
    return make_at(c, x, y);
}

void to_point2d_arg(int32_t i) {
    const Cell* c = stack::arg(i);
    as_point_arg(i, x_of(c), y_of(c));
}

int32_t field_index(const Cell* word, const Cell* value) {
    const SymId sym = symbol::resolve(word::symbol_of(word));
    if (sym == symbol::resolve(words::sym::x)) return 1;
    if (sym == symbol::resolve(words::sym::y)) return 2;
    if (cell::is(value, T::Pair)) fire(Err::CannotUse, word, value);
    fire(Err::InvalidPath, value, word);
}

// ---- Arithmetic ----

void math_op(ArithOp op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    int32_t rx, ry;
    switch (cell::type_of(b)) {
    case T::Pair:
        rx = x_of(b);
        ry = y_of(b);
        break;
    case T::Integer: rx = ry = cell::get_int(b); break;
    case T::Point2D:
        to_point2d_arg(0);
        point::math_op(op, 2);
        return;
    case T::Float:
    case T::Percent: {
        const double f = cell::get_double(b);
        const bool scales = op == ArithOp::Multiply || op == ArithOp::Divide;
        if (std::isnan(f) || (op != ArithOp::Divide && std::isinf(f))) fire(Err::InvalidArg, b);
        if (scales) {
            const double x = x_of(a), y = y_of(a);
            point::set2(a, static_cast<float>(floating::do_op(x, f, op)),
                        static_cast<float>(floating::do_op(y, f, op)));
            return;
        }
        rx = ry = truncated(f);
        break;
    }
    default: integer::fire_with_type(Err::InvalidType, cell::type_of(b));
    }
    // Both coordinates go through the integer core (so both see a zero divisor); a result
    // that left the integers sends the whole operation to point2D!.
    Cell x, y;
    integer::set(&x, 0);
    integer::set(&y, 0);
    integer::do_math(x_of(a), rx, op, &x);
    integer::do_math(y_of(a), ry, op, &y);
    if (cell::is(&x, T::Integer) && cell::is(&y, T::Integer)) {
        make_at(a, cell::get_int(&x), cell::get_int(&y));
        return;
    }
    to_point2d_arg(0);
    as_point_arg(1, rx, ry);
    point::math_op(op, 2);
}

void math_number_left(ArithOp op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    std::swap(*a, *b);
    const T t = cell::type_of(a);
    if (op == ArithOp::Subtract) {
        registry::row(t).negate(a);
        op = ArithOp::Add;
    }
    if (t == T::Pair) math_op(op);
    else point::math_op(op, t == T::Point2D ? 2 : 3);
}

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId) {
    int32_t x, y;
    switch (cell::type_of(spec)) {
    case T::Integer: x = y = cell::get_int(spec); break;
    case T::Float: x = y = coordinate_of(spec); break;
    case T::Block: {
        const Cell* items = block::rs_head(spec);
        const auto is_number = [](const Cell* c) {
            return cell::is(c, T::Integer) || cell::is(c, T::Float);
        };
        if (block::rs_length(spec) < 2 || !is_number(items) || !is_number(items + 1))
            fire(Err::Malconstruct, spec);
        x = coordinate_of(items);
        y = coordinate_of(items + 1);
        break;
    }
    case T::Point2D: {
        const float px = point::get(spec, 0), py = point::get(spec, 1);
        if (!std::isfinite(px) || !std::isfinite(py)) fire(Err::InvalidArg, spec);
        x = truncated(px);
        y = truncated(py);
        break;
    }
    case T::String: {
        Cell loaded;
        hooks::load_text(&loaded, spec);
        if (block::rs_length(&loaded) < 1) fire_bad_to(spec);
        const Cell* first = block::rs_head(&loaded);
        if (!cell::is(first, T::Pair)) fire_bad_to(spec);
        x = x_of(first);
        y = y_of(first);
        break;
    }
    case T::Pair:
        x = x_of(spec);
        y = y_of(spec);
        break;
    default: fire_bad_to(spec);
    }
    *proto = Cell{};
    return make_at(proto, x, y);
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::mt_seed(value->w2 ^ value->w3);
        unset::set(value);
        return value;
    }
    const int32_t x = x_of(value), y = y_of(value);
    return make_at(value, random::random_in_range(secure, x), random::random_in_range(secure, y));
}

// The coordinates are read before the first append, which may move the buffer holding the
// value.
int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    const int32_t x = x_of(value), y = y_of(value);
    budget = string::emit(buffer, integer::to_cstr(x), budget);
    budget = string::emit(buffer, "x", budget);
    return string::emit(buffer, integer::to_cstr(y), budget);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget, int32_t) {
    return form(value, buffer, part, budget);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (cell::is(b, T::Point2D)) {
        Cell p{};
        point::set2(&p, static_cast<float>(x_of(a)), static_cast<float>(y_of(a)));
        return point::compare2(&p, b, op);
    }
    if (!cell::is(b, T::Pair)) return kNotComparable;
    const int32_t dx = (x_of(a) > x_of(b)) - (x_of(a) < x_of(b));
    return dx != 0 ? dx : (y_of(a) > y_of(b)) - (y_of(a) < y_of(b));
}

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool, bool, bool notify) {
    Cell where;
    if (path) where = *path;
    else none::set(&where);
    int32_t index = 0;
    if (cell::is(element, T::Word)) index = field_index(element, &where);
    else if (cell::is(element, T::Integer)) index = cell::get_int(element);
    if (index != 1 && index != 2) fire(Err::InvalidPath, &where, element);
    if (!value) return integer::push(index == 1 ? x_of(parent) : y_of(parent));
    if (!cell::is(value, T::Integer)) integer::fire_with_type(Err::InvalidType, cell::type_of(value));
    (index == 1 ? parent->w2 : parent->w3) = value->w2;
    if (grandparent) {
        const Cell set = *value;  // the notice of a block holder names the coordinate
        path::store_back(parent, path, grandparent, element_cell, position, case_, notify, &set,
                         index);
    }
    return value;
}

void absolute() {
    Cell* a = stack::arg(0);
    make_at(a, integer::abs(x_of(a)), integer::abs(y_of(a)));
}

// Modulo 2^32: -2147483648 stays as it is.
void negate(Cell* value) {
    value->w2 = 0u - value->w2;
    value->w3 = 0u - value->w3;
}

void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    if (scale && cell::is(scale, T::Money)) integer::fire_word_type(Err::NotRelated, &words::w::round, T::Money);
    int32_t result[2];
    for (int i = 0; i < 2; i++) {
        Cell n;
        integer::set(&n, i == 0 ? x_of(value) : y_of(value));
        Cell own_scale;
        Cell* s = scale;
        if (scale && cell::is(scale, T::Pair)) {
            integer::set(&own_scale, i == 0 ? x_of(scale) : y_of(scale));
            s = &own_scale;
        }
        integer::round(&n, s, even, down, half_down, floor, ceiling, half_ceiling);
        result[i] = cell::is(&n, T::Integer) ? cell::get_int(&n) : truncated(cell::get_double(&n));
    }
    make_at(value, result[0], result[1]);
}

const Cell* pick(Cell* series, int32_t index, Cell* index_arg) {
    if (index_arg && cell::is(index_arg, T::Word)) index = field_index(index_arg, series);
    if (index != 1 && index != 2) {
        Cell shown;
        if (index_arg) shown = *index_arg;
        else integer::set(&shown, index);
        fire(Err::OutOfRange, &shown);
    }
    return integer::push(index == 1 ? x_of(series) : y_of(series));
}

Cell* reverse(Cell* series, Cell*, Cell*) {
    std::swap(series->w2, series->w3);
    return series;
}

constexpr TypeRecord kRecord{
    .id = TypeId::Pair,
    .parent = TypeId::Invalid,
    .name = "pair!",
    .make = pair::make,
    .random = pair::random,
    .to = pair::make,
    .form = pair::form,
    .mold = pair::mold,
    .path_access = pair::path_access,
    .compare = pair::compare,
    .absolute = pair::absolute,
    .add = pair::math_slot<ArithOp::Add>,
    .divide = pair::math_slot<ArithOp::Divide>,
    .multiply = pair::math_slot<ArithOp::Multiply>,
    .negate = pair::negate,
    .remainder = pair::math_slot<ArithOp::Remainder>,
    .round = pair::round,
    .subtract = pair::math_slot<ArithOp::Subtract>,
    .and_ = pair::math_slot<ArithOp::And>,
    .or_ = pair::math_slot<ArithOp::Or>,
    .xor_ = pair::math_slot<ArithOp::Xor>,
    .pick = pair::pick,
    .reverse = pair::reverse,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::pair
