// float!: makers, the number text of every float-like value, the tolerant equality, the
// arithmetic dispatcher shared with percent! and time!, round, and the remaining slots.
// Where a value is printed the way the C runtime's printf does it, glibc's snprintf does it;
// the text is then rewritten into the language's number syntax.
#include "runtime/datatypes/float.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/float_text.h"
#include "runtime/number_scan.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::floating {

namespace {

bool g_pretty = true;
bool g_full = false;

using integer::fire_with_type;
using integer::fire_word_type;

uint64_t bits_of(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

// ---- Number text ----

struct KindFormat {
    const char* first;    // nullptr: the float reader's six-digit text
    const char* reprint;  // used once when the first text ends in "01" or "99"
    bool add_point;       // an integral text gets ".0"
    bool percent;         // the text gets "%"
};
constexpr KindFormat kFormats[] = {
    {"%.7g", "%.5g", true, false},    // Float32
    {"%.16g", "%.14g", true, false},  // Float
    {"%.7g", "%.14g", false, true},   // Percent32
    {"%.13g", "%.14g", false, true},  // Percent
    {nullptr, "%.5g", false, false},  // Seconds
    {"%.7g", "%.5g", false, false},   // Coordinate
};

// Room for any printed text (at most 23 characters for "%.16g"); the laid-out result adds at
// most ".0" and "%" to a printed text, which snprintf keeps below kTextRoom.
constexpr size_t kTextRoom = 32;
char g_text[kTextRoom + 4];

void print_with(char* out, const char* format, double d) {
    std::snprintf(out, kTextRoom, format, d);
}

// True when the printed digits end in a run that a shorter precision would round away.
bool has_noise_tail(const char* text, size_t length, const char* e) {
    size_t before = e ? static_cast<size_t>(e - text) : length;
    if (e) {
        if (before <= 16) return false;
    } else {
        const char* first = text[0] == '-' ? text + 1 : text;
        if (length <= 16 || (*first == '0' && length <= 17)) return false;
    }
    const char* tail = text + before - 2;
    return (tail[0] == '0' && tail[1] == '1') || (tail[0] == '9' && tail[1] == '9');
}

// The number a text (from its head) stands for: float! scans it as a float, percent! loads it
// and takes the number its first value holds, as it is ("0.5" gives 50%). Allocates for
// percent!; a text that gives no such number raises bad-to-arg.
double from_text(const Cell* spec, TypeId type) {
    if (type != TypeId::Percent) {
        int32_t error = 0;
        const double d = number_scan::string_to_float(string::head_ptr(spec), string::length(spec),
                                                      string::unit_of(spec), &error);
        if (error) fire_with_type(Err::BadToArg, type, spec);
        return d;
    }
    Cell loaded;
    hooks::load_text(&loaded, spec);
    if (block::rs_length(&loaded) > 0) {
        const Cell* first = block::rs_head(&loaded);
        switch (cell::type_of(first)) {
        case TypeId::Integer: return cell::get_int(first);
        case TypeId::Float:
        case TypeId::Percent: return cell::get_double(first);
        default: break;
        }
    }
    fire_with_type(Err::BadToArg, type, spec);
}

}  // namespace

bool is_pretty() { return g_pretty; }
void set_pretty(bool on) { g_pretty = on; }
bool is_full() { return g_full; }
void set_full(bool on) { g_full = on; }

const char* to_text(double d, TextKind kind) {
    const uint64_t bits = bits_of(d);
    if ((bits & 0x7FF0000000000000ull) == 0x7FF0000000000000ull) {
        if (bits & 0x000FFFFFFFFFFFFFull) return "1.#NaN";
        return (bits >> 63) ? "-1.#INF" : "1.#INF";
    }
    if (g_pretty && std::fabs(d) < kEpsilon) {
        switch (kind) {
        case TextKind::Percent32:
        case TextKind::Percent: return "0%";
        case TextKind::Coordinate: return "0";
        default: return "0.0";
        }
    }
    const KindFormat& f = kFormats[static_cast<int>(kind)];
    char text[kTextRoom];
    if (f.first) {
        print_with(text, f.first, d);
    } else {
        std::snprintf(text, kTextRoom, "%s", float_text::float_form_text(d, 6, false));
    }
    size_t length;
    const char* e;
    for (bool reprinted = false;; reprinted = true) {
        length = std::strlen(text);
        e = std::strchr(text, 'e');
        if (reprinted || !g_pretty || !has_noise_tail(text, length, e)) break;
        print_with(text, f.reprint, d);
    }
    // Lay the result out in g_text: the digits, the shortened exponent, then "%" or ".0".
    const bool has_point = std::strchr(text, '.') != nullptr;
    const size_t mantissa = e ? static_cast<size_t>(e - text) : length;
    size_t n = 0;
    std::memcpy(g_text, text, mantissa);
    n = mantissa;
    const bool add_point = f.add_point && !has_point;
    if (add_point && e) {
        std::memcpy(g_text + n, ".0", 2);
        n += 2;
    }
    if (e) {
        const bool negative = e[1] == '-';
        const char* digits = e + 1;
        while (*digits && *digits <= '0') digits++;  // the sign and leading zeros
        g_text[n++] = 'e';
        if (negative) g_text[n++] = '-';
        size_t count = std::strlen(digits);
        std::memcpy(g_text + n, digits, count);
        n += count;
    } else if (add_point) {
        std::memcpy(g_text + n, ".0", 2);
        n += 2;
    }
    if (f.percent) g_text[n++] = '%';
    g_text[n] = '\0';
    return g_text;
}

// ---- Makers and small services ----

Cell* push_typed(TypeId t, double d) {
    Cell* c = stack::reserve();
    set_typed(c, t, d);
    return c;
}

Cell* push_halves_typed(TypeId t, uint32_t low, uint32_t high) {
    Cell* c = stack::reserve();
    *c = Cell{static_cast<uint32_t>(t), 0, low, high};
    return c;
}

Cell* make_in_halves_typed(Cell* block, TypeId t, uint32_t low, uint32_t high) {
    Cell* c = block::alloc_tail(block);
    *c = Cell{static_cast<uint32_t>(t), 0, low, high};
    return c;
}

Cell* set_result_typed(TypeId t, double d) {
    set_typed(stack::arg(0), t, d);
    return stack::arg(0);
}

int32_t to_int_round(double d) {
    Cell f;
    set(&f, d + kBelowHalf);
    return float_to_int_checked(&f);
}

bool is_bits_nan(uint32_t low, uint32_t high) {
    return (high & 0x7FF00000u) == 0x7FF00000u && ((high & 0x000FFFFFu) | low) != 0;
}
bool is_float32_nan(float f) { return f != f; }
bool is_special(double d) { return !std::isfinite(d); }

// ---- Tolerant equality ----

bool almost_equal(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b) return true;
    if (std::fabs(a - b) < kEpsilon) return true;
    // Ordered keys: negative patterns negated, the others with the sign bit set, so that
    // neighbouring doubles have neighbouring keys across zero.
    constexpr uint64_t kSign = 1ull << 63;
    auto key = [](double d) {
        uint64_t u = bits_of(d);
        return (u & kSign) ? ~u + 1 : u | kSign;
    };
    uint64_t ka = key(a), kb = key(b);
    return (ka > kb ? ka - kb : kb - ka) <= 10;
}

bool float32_almost_equal(float a, float b) {
    if (a != a || b != b) return false;
    if (a == b) return true;
    uint32_t pa, pb;
    std::memcpy(&pa, &a, sizeof pa);
    std::memcpy(&pb, &b, sizeof pb);
    const uint32_t ma = pa & 0x7FFFFFFFu, mb = pb & 0x7FFFFFFFu;
    if (ma >= 0x7F7FFFFFu || mb >= 0x7F7FFFFFu)
        return ((pa ^ pb) & 0x80000000u) == 0 && (ma > mb ? ma - mb : mb - ma) < 0x100000u;
    if (ma == 0 && mb == 0) return true;
    auto key = [](uint32_t p) {
        int64_t v = static_cast<int32_t>(p);
        return v < 0 ? static_cast<int64_t>(INT32_MIN) - v : v;
    };
    int64_t diff = key(pa) - key(pb);
    return diff >= -10 && diff <= 10;
}

// ---- Arithmetic ----

double do_op(double x, double y, ArithOp op) {
    switch (op) {
    case ArithOp::Add: return x + y;
    case ArithOp::Subtract: return x - y;
    case ArithOp::Multiply: return x * y;
    case ArithOp::Divide: return x / y;
    case ArithOp::Remainder:
        if (std::isnan(y)) return kQuietNaN;
        if (std::isinf(y)) return std::isfinite(x) ? x : kQuietNaN;
        return std::fmod(x, y);
    default: fire_word_type(Err::CannotUse, nullptr, TypeId::Float);
    }
}

Cell* math_op(ArithOp op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    const TypeId lt = cell::type_of(a);
    const TypeId rt = cell::type_of(b);
    switch (rt) {
    case TypeId::Tuple:
        tuple::math_op(op);
        return a;
    case TypeId::Money:
        money::math_op(op);
        return a;
    case TypeId::Vector: return &(*a = *vector::scalar_op(op, b, a, true));
    case TypeId::Pair:
    case TypeId::Point2D:
    case TypeId::Point3D:
        if (lt == TypeId::Time) fire_with_type(Err::InvalidType, rt);
        if (op == ArithOp::Subtract) fire_word_type(Err::NotRelated, &words::w::subtract, rt);
        if (op == ArithOp::Divide) fire_word_type(Err::NotRelated, &words::w::divide, rt);
        pair::math_number_left(op);
        return a;
    case TypeId::Integer:
    case TypeId::Float:
    case TypeId::Percent:
    case TypeId::Time: break;
    case TypeId::Char:
        if (lt == TypeId::Time || lt == TypeId::Percent) fire_with_type(Err::InvalidType, rt);
        break;
    default: fire_with_type(Err::InvalidType, rt);
    }
    auto number = [](const Cell* c) {
        TypeId t = cell::type_of(c);
        return t == TypeId::Integer || t == TypeId::Char ? static_cast<double>(cell::get_int(c))
                                                         : cell::get_double(c);
    };
    const double r = do_op(number(a), number(b), op);
    TypeId result = TypeId::Float;
    if (lt == TypeId::Time || rt == TypeId::Time) result = TypeId::Time;
    else if (lt == TypeId::Percent) result = TypeId::Percent;
    retype(a, result, r);
    return a;
}

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    const TypeId t = cell::type_of(spec);
    double d;
    switch (t) {
    case TypeId::Block:
    case TypeId::Paren:
    case TypeId::Hash: {
        if (block::rs_length(spec) != 2) fire_with_type(Err::BadToArg, type, spec);
        const Cell* items = block::rs_head(spec);
        const Cell mantissa = items[0];
        const Cell exponent = items[1];
        for (const Cell* item : {&mantissa, &exponent}) {
            TypeId it = cell::type_of(item);
            if (it != TypeId::Integer && it != TypeId::Float)
                fire_with_type(Err::BadToArg, TypeId::Float, item);
        }
        const double m = cell::is(&mantissa, TypeId::Integer) ? cell::get_int(&mantissa)
                                                              : cell::get_double(&mantissa);
        const int32_t e = float_to_int_checked(&exponent);
        d = m * std::pow(10.0, e);
        break;
    }
    case TypeId::Char:
    case TypeId::Integer: d = cell::get_int(spec); break;
    case TypeId::Float:
    case TypeId::Percent:
    case TypeId::Time: d = cell::get_double(spec); break;
    case TypeId::Binary: {
        // Up to the first 8 bytes, most significant first, as the bits of the double.
        const int32_t n = std::min(binary::rs_length(spec), 8);
        const uint8_t* p = binary::rs_head(spec);
        uint64_t bits = 0;
        for (int32_t i = 0; i < n; i++) bits = bits << 8 | p[i];
        d = std::bit_cast<double>(bits);
        break;
    }
    case TypeId::Money: d = money::to_float(spec); break;
    default:
        if (!integer::is_text(t)) fire_with_type(Err::BadToArg, type, spec);
        d = from_text(spec, type);
    }
    set_typed(proto, type, d);
    return proto;
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::mt_seed(value->w2 ^ value->w3);
        unset::set(value);
        return value;
    }
    double v = cell::get_double(value);
    if (secure) {
        const double r1 = random::secure_random_int();
        const double r2 = random::secure_random_int();
        v = v * (r2 + r1 / 2147483647.0) / 2147483648.0;
    } else {
        v = v * (random::mt_next() / 2147483647.0);
    }
    cell::set_double(value, v);
    return value;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    return string::emit(buffer, to_text(cell::get_double(value), TextKind::Float), budget);
}

// The shortest digits that read back to the same double, with ".0" after an integral value.
int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t budget, int32_t) {
    return string::emit(buffer, float_text::float_form_text(cell::get_double(value), 0, true),
                        budget);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    const TypeId bt = cell::type_of(b);
    const bool same_type_only =
        op == CompareOp::StrictEqual || op == CompareOp::Same || op == CompareOp::FindEqual;
    if (same_type_only && bt != cell::type_of(a)) return 1;
    double y;
    if (bt == TypeId::Integer) y = cell::get_int(b);
    else if (is_float_like(bt)) y = cell::get_double(b);
    else if (bt == TypeId::Money) return -money::compare(b, a, op);
    else return kNotComparable;
    const double x = cell::get_double(a);
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual: return almost_equal(x, y) ? 0 : 1;
    case CompareOp::StrictEqual: return x == y ? 0 : 1;
    case CompareOp::Same: return bits_of(x) == bits_of(y) ? 0 : 1;
    default: break;
    }
    if (std::isnan(x) || std::isnan(y)) {
        switch (op) {
        case CompareOp::Lesser:
        case CompareOp::LesserOrEqual: return 1;
        case CompareOp::Greater:
        case CompareOp::GreaterOrEqual: return -1;
        // A NaN finds nothing, not everything.
        case CompareOp::WordsCase:
        case CompareOp::Words:
        case CompareOp::FindEqual: return 1;
        default: return 0;
        }
    }
    return (x > y) - (x < y);
}

void absolute() { stack::arg(0)->w3 &= 0x7FFFFFFFu; }

// 0.0 minus the value, so both zeros give +0.0.
void negate(Cell* value) { cell::set_double(value, 0.0 - cell::get_double(value)); }

void power() {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    const TypeId bt = cell::type_of(b);
    if (bt != TypeId::Integer && bt != TypeId::Float) fire_expect_arg(bt, 1);
    const double y = bt == TypeId::Integer ? cell::get_int(b) : cell::get_double(b);
    cell::set_double(a, std::pow(cell::get_double(a), y));
}

void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    const TypeId vt = cell::type_of(value);
    double s = vt == TypeId::Percent ? 0.01 : 1.0;
    TypeId result_type = vt;
    if (scale) {
        const TypeId st = cell::type_of(scale);
        if (st == TypeId::Money) fire_word_type(Err::NotRelated, &words::w::round, TypeId::Money);
        if (st == TypeId::Integer) s = std::fabs(static_cast<double>(cell::get_int(scale)));
        else if (is_float_like(st)) s = std::fabs(cell::get_double(scale));
        else fire_expect_arg(st, 1);  // round: n /to scale
        if (vt == TypeId::Percent) s /= 100.0;
        result_type = st;
    }
    double v = cell::get_double(value);
    // A zero scale, or one below the value's precision, leaves the value as it is.
    if (s == 0.0 || std::fabs(v) * 0x1p-53 > s) return;
    double unit = s;
    int e = 0;
    double d;
    if (s >= 1.0) {
        d = v / s;
    } else {
        const double m = std::frexp(s, &e);
        if (e < -1021) {
            // 1 / s would overflow: scale by the mantissa and move the exponent to the value.
            unit = m;
            v = std::ldexp(v, -e);
        } else {
            e = 0;
        }
        d = v * (1.0 / unit);
    }
    const double a = std::fabs(d);
    const double low = std::floor(a);
    const double half = low + 0.5;
    auto with_sign = [d](double x) { return std::copysign(x, d); };
    double r;
    if (down) r = with_sign(low);
    else if (floor) r = std::floor(d);
    else if (ceiling) r = std::ceil(d);
    else if (a > half) r = with_sign(std::ceil(a));
    else if (a < half) r = with_sign(low);
    else if (even) r = with_sign(std::fmod(a, 2.0) >= 1.0 ? std::ceil(a) : low);
    else if (half_down) r = with_sign(low);
    else if (half_ceiling) r = std::ceil(d);
    else r = with_sign(std::ceil(a));
    double result;
    if (s >= 1.0) {
        result = r * s;
        if (std::isinf(result)) fire(Err::Overflow);
    } else {
        result = std::ldexp(r / (1.0 / unit), e);
    }
    if (result_type == TypeId::Integer) {
        const int32_t n = integer::from_double(result);
        cell::set_type(value, TypeId::Integer);
        value->w1 = 0;
        cell::set_int(value, n);
        value->w3 = 0;
        return;
    }
    retype(value, result_type, result);
}

// The integral part's parity, by fmod so that values beyond 32 bits answer too. An infinity
// or a NaN is neither even nor odd.
bool is_even(Cell* value) {
    const double v = cell::get_double(value);
    return std::isfinite(v) && std::fmod(std::trunc(v), 2.0) == 0.0;
}
bool is_odd(Cell* value) {
    const double v = cell::get_double(value);
    return std::isfinite(v) && std::fmod(std::trunc(v), 2.0) != 0.0;
}

constexpr TypeRecord kRecord{
    .id = TypeId::Float,
    .parent = TypeId::Invalid,
    .name = "float!",
    .make = floating::make,
    .random = floating::random,
    .to = floating::make,
    .form = floating::form,
    .mold = floating::mold,
    .compare = floating::compare,
    .absolute = floating::absolute,
    .add = floating::math_slot<ArithOp::Add>,
    .divide = floating::math_slot<ArithOp::Divide>,
    .multiply = floating::math_slot<ArithOp::Multiply>,
    .negate = floating::negate,
    .power = floating::power,
    .remainder = floating::math_slot<ArithOp::Remainder>,
    .round = floating::round,
    .subtract = floating::math_slot<ArithOp::Subtract>,
    .even_q = floating::is_even,
    .odd_q = floating::is_odd,
};

void init() {
    g_pretty = true;
    g_full = false;
    registry::register_type(kRecord);
}

}  // namespace nuv::floating
