// integer!: makers (char!'s too), the error and type helpers the number types share, the
// arithmetic core and its mixed-type dispatcher, conversions, text, comparison, rounding and
// the unary actions. Overflow is detected with the compiler's checked
// builtins before it can happen; nothing here relies on wrap-around or traps.
#include "runtime/datatypes/integer.h"

#include <algorithm>
#include <cmath>
#include <charconv>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/number_scan.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::integer {

namespace {

[[noreturn]] void fire_not_related(const Cell* word, TypeId t) {
    fire_word_type(Err::NotRelated, word, t);
}

}  // namespace

void fire_with_type(Err id, TypeId t, const Cell* value) {
    Cell type;
    datatype::set(&type, t);
    fire(id, &type, value);
}

void fire_word_type(Err id, const Cell* word, TypeId t) {
    Cell named{};
    if (word && word->header) named = *word;
    else none::set(&named);
    Cell type;
    datatype::set(&type, t);
    fire(id, &named, &type);
}

bool is_text(TypeId t) {
    switch (t) {
    case TypeId::String:
    case TypeId::File:
    case TypeId::Url:
    case TypeId::Tag:
    case TypeId::Email:
    case TypeId::Ref: return true;
    default: return false;
    }
}

Cell* push_typed(TypeId t, int32_t v) {
    Cell* c = stack::reserve();
    set_typed(c, t, v);
    return c;
}

Cell* make_in_typed(Cell* block, TypeId t, int32_t v) {
    Cell* c = block::alloc_tail(block);
    set_typed(c, t, v);
    return c;
}

Cell* set_result(int32_t v) {
    set(stack::arg(0), v);
    return stack::arg(0);
}

int32_t result_value() { return get(stack::arg(0)); }

int32_t result_or_zero() {
    const Cell* c = stack::arg(0);
    return cell::is(c, TypeId::Integer) ? get(c) : 0;
}

const char* to_cstr(int32_t v) {
    static char text[12];
    auto r = std::to_chars(text, text + sizeof text - 1, v);
    *r.ptr = '\0';
    return text;
}

int32_t abs(int32_t v) {
    if (v == INT32_MIN) fire(Err::Overflow);
    return v < 0 ? -v : v;
}

bool float_outside_int32(const Cell* value) {
    double d = cell::get_double(value);
    return !(d <= 2147483647.0 && d >= -2147483648.0);  // NaN fails both tests
}

int32_t from_double(double d) {
    Cell f;
    floating::set(&f, d);
    if (float_outside_int32(&f)) fire_with_type(Err::TypeLimit, TypeId::Integer);
    return float_to_int_checked(&f);
}

int32_t do_math(int32_t left, int32_t right, ArithOp op, Cell* result) {
    int32_t v = 0;
    bool overflow = false;
    switch (op) {
    case ArithOp::Add: overflow = __builtin_add_overflow(left, right, &v); break;
    case ArithOp::Subtract: overflow = __builtin_sub_overflow(left, right, &v); break;
    case ArithOp::Multiply: overflow = __builtin_mul_overflow(left, right, &v); break;
    case ArithOp::Divide:
    case ArithOp::Remainder:
        if (right == 0) fire(Err::ZeroDivide);
        if (left == INT32_MIN && right == -1) fire(Err::Overflow);
        if (op == ArithOp::Remainder) {
            v = left % right;
        } else if (result && left % right != 0) {
            floating::retype(result, TypeId::Float,
                             static_cast<double>(left) / static_cast<double>(right));
            return 0;
        } else {
            v = left / right;
        }
        break;
    case ArithOp::Or: v = left | right; break;
    case ArithOp::And: v = left & right; break;
    case ArithOp::Xor: v = left ^ right; break;
    }
    if (overflow) {
        if (!result) fire(Err::Overflow);
        double x = left, y = right;
        double exact = op == ArithOp::Add ? x + y : op == ArithOp::Subtract ? x - y : x * y;
        floating::retype(result, TypeId::Float, exact);
        return 0;
    }
    if (result) cell::set_int(result, v);
    return v;
}

void math_op(ArithOp op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    switch (cell::type_of(b)) {
    case TypeId::Integer:
    case TypeId::Char: do_math(get(a), get(b), op, a); return;
    case TypeId::Float:
    case TypeId::Percent:
    case TypeId::Time: floating::math_op(op); return;
    case TypeId::Pair:
    case TypeId::Point2D:
    case TypeId::Point3D:
        if (op == ArithOp::Divide) fire_not_related(&words::w::divide, TypeId::Integer);
        pair::math_number_left(op);
        return;
    case TypeId::Tuple: tuple::math_op(op); return;  // refuses subtract and divide itself
    case TypeId::Date:
        if (op != ArithOp::Add) fire_not_related(&words::w::subtract, TypeId::Integer);
        date::add();
        return;
    case TypeId::Money: money::math_op(op); return;
    case TypeId::Vector:
        *a = *vector::scalar_op(op, b, a, true);
        return;
    default: fire_with_type(Err::InvalidType, cell::type_of(b));
    }
}

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    if (cell::is(spec, TypeId::Logic)) {
        set(proto, logic::get(spec) ? 1 : 0);
        return proto;
    }
    return to(proto, spec, type);
}

Cell* to(Cell* proto, Cell* spec, TypeId) {
    const TypeId t = cell::type_of(spec);
    int32_t v;
    switch (t) {
    case TypeId::Integer:
    case TypeId::Char: v = get(spec); break;
    case TypeId::Float:
    case TypeId::Percent: v = from_double(cell::get_double(spec)); break;
    // Rounded first, so the range check sees the second the time converts to.
    case TypeId::Time: v = from_double(std::trunc(cell::get_double(spec) + 0.5)); break;
    case TypeId::Issue: v = issue::to_integer(spec); break;
    case TypeId::Binary: {
        // Up to the first 4 bytes, most significant first.
        const int32_t n = std::min(binary::rs_length(spec), 4);
        const uint8_t* p = binary::rs_head(spec);
        uint32_t bits = 0;
        for (int32_t i = 0; i < n; i++) bits = bits << 8 | p[i];
        v = static_cast<int32_t>(bits);
        break;
    }
    case TypeId::Money: v = money::to_integer(spec); break;
    case TypeId::Date: v = date::to_unix_time(spec); break;
    default: {
        if (!is_text(t)) fire_with_type(Err::BadToArg, TypeId::Integer, spec);
        int32_t error = 0;
        v = number_scan::text_to_integer(string::head_ptr(spec), string::length(spec),
                                         string::unit_of(spec), &error);
        if (error) fire_with_type(Err::BadToArg, TypeId::Integer, spec);
    }
    }
    set(proto, v);
    return proto;
}

// The value keeps its type, so char! (which inherits this slot) stays a character.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::mt_seed(static_cast<uint32_t>(get(value)));
        unset::set(value);
        return value;
    }
    int32_t n = get(value);
    if (n != 0) cell::set_int(value, random::random_in_range(secure, n));
    return value;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    return string::emit(buffer, to_cstr(get(value)), budget);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget, int32_t) {
    return form(value, buffer, part, budget);
}

// Same-type equalities see a value of another type as unequal, so an integer never finds,
// strictly equals or is the same as a float.
int32_t compare(Cell* a, Cell* b, CompareOp op) {
    const TypeId bt = cell::type_of(b);
    if ((op == CompareOp::StrictEqual || op == CompareOp::FindEqual || op == CompareOp::Same) &&
        bt != TypeId::Integer)
        return 1;
    const int32_t x = get(a);
    switch (bt) {
    case TypeId::Integer:
    case TypeId::Char: {
        const int32_t y = get(b);
        return (x > y) - (x < y);
    }
    case TypeId::Money: return -money::compare(b, a, op);
    default:
        if (!floating::is_float_like(bt)) return kNotComparable;
        Cell f;
        floating::set(&f, x);
        return floating::compare(&f, b, op);
    }
}

void absolute() {
    Cell* a = stack::arg(0);
    cell::set_int(a, abs(get(a)));
}

void negate(Cell* value) {
    const int32_t v = get(value);
    if (v == INT32_MIN) fire(Err::Overflow);
    cell::set_int(value, -v);
}

// Squaring stays in 32 bits while it can; an overflow, a negative or a float exponent hands
// the whole computation to float!.
void power() {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    const TypeId bt = cell::type_of(b);
    if (bt != TypeId::Integer && bt != TypeId::Float) fire_expect_arg(bt, 1);
    if (bt == TypeId::Integer && get(b) >= 0) {
        int32_t base = get(a);
        uint32_t e = static_cast<uint32_t>(get(b));
        int32_t result = 1;
        bool overflow = false;
        for (;;) {
            if ((e & 1) && __builtin_mul_overflow(result, base, &result)) {
                overflow = true;
                break;
            }
            e >>= 1;
            if (e == 0) break;
            if (__builtin_mul_overflow(base, base, &base)) {
                overflow = true;
                break;
            }
        }
        if (!overflow) {
            cell::set_int(a, result);
            return;
        }
    }
    floating::set(a, static_cast<double>(get(a)));
    floating::power();
}

void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    if (scale && cell::is(scale, TypeId::Money)) fire_not_related(&words::w::round, TypeId::Money);
    const int32_t n = get(value);
    if (n == INT32_MIN) return;
    int64_t s = 1;
    if (scale) {
        if (!cell::is(scale, TypeId::Integer)) {
            floating::set(value, static_cast<double>(n));
            floating::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
            return;
        }
        s = abs(get(scale));
    }
    if (s == 0) return;
    const int64_t sign = n < 0 ? -1 : 1;
    const int64_t a = n < 0 ? -static_cast<int64_t>(n) : n;
    const int64_t r = a % s;
    if (r == 0) return;
    const int64_t d = s - r;
    const int64_t up = a + d;
    const int64_t toward = sign * (a - r);
    auto checked_up = [up] {
        if (up > INT32_MAX) fire(Err::Overflow);
        return up;
    };
    int64_t result;
    if (down) result = toward;
    else if (floor) result = n > 0 ? toward : -checked_up();
    else if (ceiling) result = n < 0 ? toward : checked_up();
    else if (r < d) result = toward;
    else if (r > d) result = sign * checked_up();
    else if (even) result = (a / s) % 2 == 0 ? toward : sign * checked_up();
    else if (half_down) result = toward;
    else if (half_ceiling) result = n > 0 ? checked_up() : toward;
    else result = sign * checked_up();
    cell::set_int(value, static_cast<int32_t>(result));
}

bool is_even(Cell* value) { return (get(value) & 1) == 0; }
bool is_odd(Cell* value) { return (get(value) & 1) != 0; }

void complement(Cell* value) { cell::set_int(value, ~get(value)); }

constexpr TypeRecord kRecord{
    .id = TypeId::Integer,
    .parent = TypeId::Invalid,
    .name = "integer!",
    .make = integer::make,
    .random = integer::random,
    .to = integer::to,
    .form = integer::form,
    .mold = integer::mold,
    .compare = integer::compare,
    .absolute = integer::absolute,
    .add = integer::math_slot<ArithOp::Add>,
    .divide = integer::math_slot<ArithOp::Divide>,
    .multiply = integer::math_slot<ArithOp::Multiply>,
    .negate = integer::negate,
    .power = integer::power,
    .remainder = integer::math_slot<ArithOp::Remainder>,
    .round = integer::round,
    .subtract = integer::math_slot<ArithOp::Subtract>,
    .even_q = integer::is_even,
    .odd_q = integer::is_odd,
    .and_ = integer::math_slot<ArithOp::And>,
    .complement = integer::complement,
    .or_ = integer::math_slot<ArithOp::Or>,
    .xor_ = integer::math_slot<ArithOp::Xor>,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::integer
