// money!: the packed digits, the currency list, conversions, text, arithmetic, comparison,
// round and the registration record. The digit algorithms work on the amount as one 128-bit
// integer in units of 10^-5 (every amount is below 10^22, far inside its range), which gives
// the same exact results as digit-by-digit arithmetic on the 22 packed digits.
#include "runtime/datatypes/money.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/number_scan.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv::money {

namespace {

using T = TypeId;

constexpr Amount kScale = 100000;          // one unit of currency
constexpr int kIntegerDigits = kDigits - kFractionDigits;

constexpr Amount power10(int n) {
    Amount p = 1;
    for (int i = 0; i < n; i++) p *= 10;
    return p;
}
constexpr Amount kLimit = power10(kDigits);  // every amount's magnitude is below it

Amount magnitude(Amount a) { return a < 0 ? -a : a; }

[[noreturn]] void fire_limit() { integer::fire_with_type(Err::TypeLimit, T::Money); }

Amount checked(Amount a) {
    if (magnitude(a) >= kLimit) fire_limit();
    return a;
}

// The 22 digits are two halves of 11, each of which fits 64 bits: the packing works on them
// with 64-bit arithmetic, and only joining and splitting the halves takes 128 bits.
constexpr uint64_t kHalf = 100000000000ull;  // 10^11

// The 11 digit bytes live in bytes 5-15 of the cell.
uint8_t* digit_bytes(Cell* c) { return reinterpret_cast<uint8_t*>(c) + 5; }
const uint8_t* digit_bytes(const Cell* c) { return reinterpret_cast<const uint8_t*>(c) + 5; }

}  // namespace

// ---- Cell fields ----

bool is_negative(const Cell* c) { return (c->header & kSignBit) != 0; }
int32_t currency_of(const Cell* c) { return static_cast<int32_t>(c->w1 & 0xFF); }

// Digits 1-11 are bytes 0-4 and the high nibble of byte 5; digits 12-22 its low nibble and
// bytes 6-10.
Amount amount_of(const Cell* c) {
    const uint8_t* b = digit_bytes(c);
    const auto pair = [](uint8_t byte) { return static_cast<uint64_t>((byte >> 4) * 10 + (byte & 15)); };
    uint64_t high = 0, low = b[5] & 15;
    for (int i = 0; i < 5; i++) high = high * 100 + pair(b[i]);
    high = high * 10 + (b[5] >> 4);
    for (int i = 6; i < 11; i++) low = low * 100 + pair(b[i]);
    const Amount a = static_cast<Amount>(high) * kHalf + low;
    return is_negative(c) ? -a : a;
}

Cell* set(Cell* c, Amount amount, int32_t currency) {
    const uint32_t flags = c->header & cell::kNewLine;
    c->header = flags | static_cast<uint32_t>(T::Money) | (amount < 0 ? kSignBit : 0u);
    c->w1 = static_cast<uint32_t>(currency) & 0xFF;
    uint8_t* b = digit_bytes(c);
    const Amount m = magnitude(amount);
    uint64_t high, low;
    if (m >> 64 == 0) {  // most amounts: no 128-bit division
        const auto u = static_cast<uint64_t>(m);
        high = u / kHalf;
        low = u % kHalf;
    } else {
        high = static_cast<uint64_t>(m / kHalf);
        low = static_cast<uint64_t>(m % kHalf);
    }
    const auto packed = [](uint64_t& v) {
        const auto two = static_cast<uint8_t>(v % 100);
        v /= 100;
        return static_cast<uint8_t>(((two / 10) << 4) | (two % 10));
    };
    for (int i = 10; i > 5; i--) b[i] = packed(low);
    const auto middle = static_cast<uint8_t>(((high % 10) << 4) | low);
    high /= 10;
    b[5] = middle;
    for (int i = 4; i >= 0; i--) b[i] = packed(high);
    return c;
}

int32_t sign_of(const Cell* c) {
    const Amount a = amount_of(c);
    return (a > 0) - (a < 0);
}

uint32_t hash(const Cell* c) {
    // The currency is left out: a value without one equals the same amount with one.
    const Amount a = amount_of(c);
    const auto low = static_cast<uint64_t>(a);
    const auto high = static_cast<uint64_t>(a >> 64);
    uint64_t h = (low ^ (high * 0x9E3779B97F4A7C15ull)) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

// ---- The currency list ----

namespace {

// The 1-based position of the first list item that `matches`, or 0.
template <typename Match>
int32_t find_currency(Match matches) {
    const Cell* list = system_object::currency_list();
    if (!list) return 0;
    const int32_t n = block::rs_length(list);
    const Cell* items = block::rs_head(const_cast<Cell*>(list));
    for (int32_t i = 0; i < n && i < 255; i++)
        if (word::is_any_word_type(cell::type_of(items + i)) && matches(word::symbol_of(items + i)))
            return i + 1;
    return 0;
}

// Looks a three-letter code up without making a symbol of it, so scanning text never adds one.
int32_t currency_index_of_code(const char* code) {
    const auto upper = [](char ch) { return ch >= 'a' && ch <= 'z' ? ch - 32 : ch; };
    return find_currency([&](SymId s) {
        const char* name = symbol::utf8_name(s);
        for (int i = 0; i < 3; i++)
            if (upper(name[i]) != upper(code[i])) return false;
        return name[3] == 0;
    });
}

}  // namespace

int32_t currency_index(uint32_t symbol) {
    const SymId wanted = symbol::resolve(symbol);
    return find_currency([&](SymId s) { return symbol::resolve(s) == wanted; });
}

uint32_t currency_symbol(int32_t index) {
    const Cell* list = system_object::currency_list();
    if (!list || index < 1 || index > block::rs_length(list)) return 0;
    const Cell* item = block::rs_head(const_cast<Cell*>(list)) + index - 1;
    return word::is_any_word_type(cell::type_of(item)) ? word::symbol_of(item) : 0;
}

// ---- Conversions ----

namespace {

// Digits with at most one "." into an amount: at most 17 integer digits; fraction digits past
// the fifth are refused when `round` is off, else rounded half away from zero.
bool digits_to_amount(const char* p, const char* end, bool round, Amount* out) {
    Amount integer_part = 0, fraction = 0;
    int integer_digits = 0, fraction_digits = 0;
    bool point = false, round_up = false;
    for (; p < end; p++) {
        if (*p == '.') {
            point = true;
            continue;
        }
        const int d = *p - '0';
        if (!point) {
            if (integer_part == 0 && d == 0) continue;
            if (++integer_digits > kIntegerDigits) return false;
            integer_part = integer_part * 10 + d;
        } else if (fraction_digits < kFractionDigits) {
            fraction = fraction * 10 + d;
            fraction_digits++;
        } else if (!round) {
            return false;
        } else if (fraction_digits++ == kFractionDigits) {
            round_up = d >= 5;
        }
    }
    for (int i = std::min(fraction_digits, kFractionDigits); i < kFractionDigits; i++) fraction *= 10;
    Amount a = integer_part * kScale + fraction + (round_up ? 1 : 0);
    if (a >= kLimit) return false;
    *out = a;
    return true;
}

}  // namespace

Amount from_float(double d) {
    const double m = std::fabs(d);
    if (!std::isfinite(d) || m >= 1e17 || (m != 0 && m < 1e-5)) {
        Cell f;
        floating::set(&f, d);
        integer::fire_with_type(Err::BadMakeArg, T::Money, &f);
    }
    // The shortest digits that read back as the double: 0.7 is 0.7, not 0.69999999999999996.
    char text[40];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, m, std::chars_format::fixed);
    Amount a = 0;
    if (ec != std::errc{} || !digits_to_amount(text, end, true, &a)) fire_limit();
    return d < 0 ? -a : a;
}

double to_float(const Cell* c) {
    const Amount a = magnitude(amount_of(c));
    char text[40];
    const int n = std::snprintf(text, sizeof text, "%llu%05llu",
                                static_cast<unsigned long long>(a / kScale),
                                static_cast<unsigned long long>(a % kScale));
    const double d = float_text::decimal_to_float(text, text + n, -kFractionDigits);
    return is_negative(c) && a != 0 ? -d : d;
}

int32_t to_integer(const Cell* c) {
    const Amount whole = amount_of(c) / kScale;
    if (whole > INT32_MAX || whole < INT32_MIN) integer::fire_with_type(Err::TypeLimit, T::Integer);
    return static_cast<int32_t>(whole);
}

bool scan(const char* text, size_t length, Cell* result) {
    const char* p = text;
    const char* end = text + length;
    if (p == end) return false;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int32_t currency = 0;
    const auto alpha = [](char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); };
    if (p < end && alpha(*p)) {
        if (end - p < 5 || !alpha(p[1]) || !alpha(p[2]) || p[3] != '$') return false;
        currency = currency_index_of_code(p);
        if (currency == 0) return false;
        p += 4;
    } else if (p < end && *p == '$') {
        p++;
    }
    // Digits with "'" separators inside the integer part and at most one "." with digits on
    // both sides.
    char digits[64];
    size_t n = 0;
    bool point = false;
    char previous = 0;
    for (const char* q = p; q < end; q++) {
        const char ch = *q;
        if (ch >= '0' && ch <= '9') {
            if (n >= sizeof digits - 1) return false;
            digits[n++] = ch;
        } else if (ch == '\'') {
            if (q == p || point || previous == '\'' || q + 1 == end) return false;
        } else if (ch == '.') {
            if (q == p || point || previous == '\'' || q + 1 == end) return false;
            point = true;
            digits[n++] = ch;
        } else {
            return false;
        }
        previous = ch;
    }
    if (n == 0) return false;
    Amount a;
    if (!digits_to_amount(digits, digits + n, false, &a)) return false;
    *result = Cell{};
    set(result, negative ? -a : a, currency);
    return true;
}

// ---- Text ----

namespace {

// The text of a value into buf (room for 64 bytes): sign, code, "$", the integer digits
// (grouped by "'" in threes when asked), then d fraction digits after ".".
size_t text_of(const Cell* c, char* buf, bool all, bool group) {
    size_t n = 0;
    const Amount a = magnitude(amount_of(c));
    if (is_negative(c) && a != 0) buf[n++] = '-';
    if (const uint32_t code = currency_symbol(currency_of(c))) {
        const char* name = symbol::utf8_name(code);
        for (int i = 0; i < 3 && name[i]; i++) buf[n++] = name[i];
    }
    buf[n++] = '$';
    char whole[24];
    const int w = std::snprintf(whole, sizeof whole, "%llu",
                                static_cast<unsigned long long>(a / kScale));
    for (int i = 0; i < w; i++) {
        buf[n++] = whole[i];
        if (group && i + 1 < w && (w - 1 - i) % 3 == 0) buf[n++] = '\'';
    }
    // Two digits when the setting is not an integer; none below zero.
    int digits = std::max(system_object::money_digits(2), 0);
    if (all || digits > kFractionDigits) digits = kFractionDigits;
    if (digits >= 1) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, "%05llu",
                      static_cast<unsigned long long>(a % kScale));
        buf[n++] = '.';
        for (int i = 0; i < digits; i++) buf[n++] = fraction[i];
    }
    buf[n] = 0;
    return n;
}

}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    char text[64];
    text_of(value, text, false, true);
    return string::emit(buffer, text, budget);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t budget, int32_t) {
    char text[64];
    text_of(value, text, all, false);
    return string::emit(buffer, text, budget);
}

// ---- Makers ----

namespace {

[[noreturn]] void fire_bad_make(const Cell* spec) {
    integer::fire_with_type(Err::BadMakeArg, T::Money, spec);
}

// An integer!, float! or percent! operand as an amount; another type raises invalid-type.
Amount operand_amount(const Cell* c) {
    switch (cell::type_of(c)) {
    case T::Money: return amount_of(c);
    case T::Integer: return from_integer(cell::get_int(c));
    case T::Float:
    case T::Percent: return from_float(cell::get_double(c));
    default: integer::fire_with_type(Err::InvalidType, cell::type_of(c));
    }
}

}  // namespace

Cell* to(Cell* proto, Cell* spec, TypeId) {
    Amount a = 0;
    int32_t currency = 0;
    switch (cell::type_of(spec)) {
    case T::Money: return cell::copy(spec, proto);
    case T::Integer:
    case T::Float:
    case T::Percent: a = operand_amount(spec); break;
    default: {
        if (!integer::is_text(cell::type_of(spec)))
            integer::fire_with_type(Err::BadToArg, T::Money, spec);
        int32_t error = 0;
        Cell result{};
        number_scan::text_to_money(string::head_ptr(spec), string::length(spec),
                                   string::unit_of(spec), &error, &result);
        if (error) integer::fire_with_type(Err::BadToArg, T::Money, spec);
        return cell::copy(&result, proto);
    }
    }
    *proto = Cell{};
    return set(proto, a, currency);
}

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    int32_t currency = 0;
    switch (cell::type_of(spec)) {
    case T::Word: {
        currency = currency_index(word::symbol_of(spec));
        if (currency == 0) fire_bad_make(spec);
        *proto = Cell{};
        return set(proto, 0, currency);
    }
    case T::Block: {
        const int32_t n = block::rs_length(spec);
        const Cell* items = block::rs_head(spec);
        int32_t i = 0;
        if (n < 1 || n > 3) fire_bad_make(spec);
        if (cell::is(items, T::Word)) {
            currency = currency_index(word::symbol_of(items));
            if (currency == 0) fire_bad_make(items);
            i = 1;
        }
        if (i >= n) fire_bad_make(spec);
        const Cell* amount = items + i;
        Amount a;
        if (cell::is(amount, T::Integer)) a = from_integer(cell::get_int(amount));
        else if (cell::is(amount, T::Float)) a = from_float(cell::get_double(amount));
        else fire_bad_make(amount);
        if (i + 2 < n) fire_bad_make(items + i + 2);
        if (i + 1 < n) {
            const Cell* fraction = items + i + 1;
            if (!cell::is(amount, T::Integer) || !cell::is(fraction, T::Integer) ||
                cell::get_int(fraction) < 0 || cell::get_int(fraction) > 99999)
                fire_bad_make(fraction);
            a += (cell::get_int(amount) < 0 ? -1 : 1) * static_cast<Amount>(cell::get_int(fraction));
        }
        *proto = Cell{};
        return set(proto, a, currency);
    }
    default: return to(proto, spec, type);
    }
}

// ---- Arithmetic ----

void math_op(ArithOp op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    const bool a_money = cell::is(a, T::Money), b_money = cell::is(b, T::Money);
    if ((op == ArithOp::Multiply && a_money && b_money) ||
        ((op == ArithOp::Divide || op == ArithOp::Remainder) && !a_money && b_money) ||
        op > ArithOp::Remainder)
        integer::fire_with_type(Err::InvalidType, cell::type_of(a));
    const Amount x = operand_amount(a);
    const Amount y = operand_amount(b);
    const int32_t ca = a_money ? currency_of(a) : 0, cb = b_money ? currency_of(b) : 0;
    if (ca && cb && ca != cb) fire(Err::WrongDenom, a, b);
    const int32_t currency = cb ? cb : ca;
    Amount r = 0;
    switch (op) {
    case ArithOp::Add: r = checked(x + y); break;
    case ArithOp::Subtract: r = checked(x - y); break;
    case ArithOp::Multiply: {
        // A product too large for 128 bits is far past the 22 digits.
        Amount p;
        if (__builtin_mul_overflow(x, y, &p)) fire_limit();
        r = checked(p / kScale);
        break;
    }
    case ArithOp::Divide:
    case ArithOp::Remainder: {
        if (y == 0) fire(Err::ZeroDivide);
        if (op == ArithOp::Remainder) {
            r = x % y;
            break;
        }
        r = checked(x * kScale / y);  // |x| * 10^5 < 10^27: no overflow
        if (a_money && b_money) {
            Cell quotient{};
            set(&quotient, r, 0);
            floating::set_result(to_float(&quotient));
            return;
        }
        break;
    }
    default: break;
    }
    *a = Cell{};
    set(a, r, currency);
}

// ---- Comparison ----

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    const bool same_type = cell::is(b, T::Money);
    if ((op == CompareOp::StrictEqual || op == CompareOp::Same || op == CompareOp::FindEqual) &&
        !same_type)
        return 1;
    const Amount x = amount_of(a);
    Amount y = 0;
    switch (cell::type_of(b)) {
    case T::Money: {
        const int32_t ca = currency_of(a), cb = currency_of(b);
        switch (op) {
        case CompareOp::Lesser:
        case CompareOp::LesserOrEqual:
        case CompareOp::Greater:
        case CompareOp::GreaterOrEqual:
            if (ca != cb) fire(Err::WrongDenom, a, b);
            break;
        case CompareOp::SortCase:
        case CompareOp::SortStrict:
            if (ca != cb) {
                if (ca == 0 || cb == 0) return ca == 0 ? -1 : 1;
                const int order = std::strcmp(symbol::utf8_name(currency_symbol(ca)),
                                              symbol::utf8_name(currency_symbol(cb)));
                return (order > 0) - (order < 0);
            }
            break;
        case CompareOp::StrictEqual:
        case CompareOp::Same:
            if (ca != cb) return 1;
            break;
        case CompareOp::FindEqual:
            if (cb && ca != cb) return 1;
            break;
        default:
            if (ca && cb && ca != cb) return 1;
            break;
        }
        y = amount_of(b);
        break;
    }
    case T::Integer: y = from_integer(cell::get_int(b)); break;
    case T::Float: {
        const double d = cell::get_double(b);
        const double m = std::fabs(d);
        if (std::isnan(d)) return kNotComparable;
        if (m != 0 && (m < 1e-5 || m >= 1e17)) {
            // Beyond money's range: by sign, then by magnitude, which the float wins from 1e17
            // on and loses below 1e-5.
            const int sx = (x > 0) - (x < 0), sy = d > 0 ? 1 : -1;
            if (sx != sy) return sx < sy ? -1 : 1;
            const int by_magnitude = m >= 1e17 ? -1 : 1;
            return sx < 0 ? -by_magnitude : by_magnitude;
        }
        y = from_float(d);
        break;
    }
    default: return kNotComparable;
    }
    return (x > y) - (x < y);
}

// ---- Other slots ----

namespace {

Cell* random_slot(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::mt_seed(value->w1 ^ value->w2 ^ value->w3 ^ (is_negative(value) ? 1u : 0u));
        unset::set(value);
        return value;
    }
    // Digit by digit from the first significant one: while the drawn digits equal the value's,
    // a digit is drawn in 0..(the value's digit), and a draw equal to it stands only when two
    // further draws agree modulo 1000 (which keeps the value itself rare); after the first
    // smaller digit, in 0..9.
    const Amount a = amount_of(value);
    const Amount m = magnitude(a);
    Amount r = 0;
    bool tight = true;
    for (Amount p = power10(kDigits - 1); p > 0; p /= 10) {
        const int d = static_cast<int>(m / p % 10);
        int drawn;
        if (!tight) {
            drawn = random::random_in_range(secure, 10) - 1;
        } else {
            do {
                drawn = random::random_in_range(secure, d + 1) - 1;
            } while (drawn == d && d > 0 &&
                     random::random_in_range(secure, 1000) != random::random_in_range(secure, 1000));
            tight = drawn == d;
        }
        r = r * 10 + drawn;
    }
    return set(value, a < 0 ? -r : r, currency_of(value));
}

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*,
                        int32_t, bool, bool, bool, bool) {
    Cell where;
    if (path) where = *path;
    else none::set(&where);
    int32_t index = 0;
    if (cell::is(element, T::Word)) {
        const SymId s = symbol::resolve(word::symbol_of(element));
        if (s == symbol::resolve(words::sym::code)) index = 1;
        else if (s == symbol::resolve(words::sym::amount)) index = 2;
    } else if (cell::is(element, T::Integer)) {
        index = cell::get_int(element);
    }
    if (index != 1 && index != 2) fire(Err::InvalidPath, &where, element);
    if (value) fire(Err::BadPathSet, &where, element);
    Cell* result = stack::reserve();
    *result = Cell{};
    if (index == 2) return set(result, amount_of(parent), 0);
    const uint32_t code = currency_symbol(currency_of(parent));
    if (code == 0) none::set(result);
    else word::make_at(code, result);
    return result;
}

const Cell* pick(Cell* series, int32_t index, Cell* index_arg) {
    if (index != 1 && index != 2) {
        Cell shown;
        if (index_arg) shown = *index_arg;
        else integer::set(&shown, index);
        fire(Err::OutOfRange, &shown);
    }
    Cell element;
    integer::set(&element, index);
    return path_access(series, &element, nullptr, nullptr, nullptr, nullptr, 0, false, true, true,
                       false);
}

void absolute() {
    Cell* a = stack::arg(0);
    a->header &= ~kSignBit;
}

void negate(Cell* value) { value->header ^= kSignBit; }

void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    const Amount a = amount_of(value);
    if (a == 0) return;
    Amount s = kScale;
    if (scale) {
        switch (cell::type_of(scale)) {
        case T::Money:
        case T::Integer:
        case T::Float: s = magnitude(operand_amount(scale)); break;
        default: integer::fire_word_type(Err::NotRelated, &words::w::round, cell::type_of(scale));
        }
    }
    if (s == 0) return;
    const bool negative = a < 0;
    const Amount v = magnitude(a);
    const Amount r = v % s, h = s - r;
    const Amount lower = v - r, upper = v + h;
    const Amount nearest = r < h ? lower : upper;
    const bool half = 2 * r == s;
    Amount result;
    if (down) result = lower;
    else if (floor) result = negative ? upper : lower;
    else if (ceiling) result = negative ? lower : upper;
    else if (even) result = half && (v - r) / s % 2 == 0 ? lower : nearest;
    else if (half_down) result = half ? lower : nearest;
    else if (half_ceiling) result = half ? (negative ? lower : upper) : nearest;
    else result = nearest;
    set(value, checked(negative ? -result : result), currency_of(value));
}

bool units_digit_even(Cell* value) { return magnitude(amount_of(value)) / kScale % 2 == 0; }
bool is_even(Cell* value) { return units_digit_even(value); }
bool is_odd(Cell* value) { return !units_digit_even(value); }

}  // namespace

constexpr TypeRecord kRecord{
    .id = TypeId::Money,
    .parent = TypeId::Invalid,
    .name = "money!",
    .make = money::make,
    .random = random_slot,
    .to = money::to,
    .form = money::form,
    .mold = money::mold,
    .path_access = path_access,
    .compare = money::compare,
    .absolute = absolute,
    .add = math_slot<ArithOp::Add>,
    .divide = math_slot<ArithOp::Divide>,
    .multiply = math_slot<ArithOp::Multiply>,
    .negate = negate,
    .remainder = math_slot<ArithOp::Remainder>,
    .round = round,
    .subtract = math_slot<ArithOp::Subtract>,
    .even_q = is_even,
    .odd_q = is_odd,
    .pick = pick,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::money
