// The math natives. Float arguments are converted in their own stack cell, which then becomes
// the result; the platform's libm supplies the functions themselves.
#include "runtime/evaluator/natives_math.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

#include "runtime/cell.h"
#include "runtime/compare.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/stack.h"
#include "runtime/support.h"

namespace nuv::natives_math {

namespace {

using T = TypeId;
using float_text::Trig;

constexpr uint64_t bit(T t) { return uint64_t{1} << static_cast<int>(t); }
static_assert(kTypeCount < 64);

// The argument typesets of the specs, for calls that ask the native to check.
constexpr uint64_t kIntOrFloat = bit(T::Integer) | bit(T::Float);
constexpr uint64_t kNumber = kIntOrFloat | bit(T::Percent);
constexpr uint64_t kSigned = kNumber | bit(T::Money) | bit(T::Time);
constexpr uint64_t kZeroTestable = kSigned | bit(T::Pair) | bit(T::Char) | bit(T::Tuple) |
                                   bit(T::Point2D) | bit(T::Point3D);
constexpr uint64_t kScalar = kNumber | bit(T::Point2D) | bit(T::Point3D) | bit(T::Money) |
                             bit(T::Char) | bit(T::Pair) | bit(T::Tuple) | bit(T::Time) |
                             bit(T::Date);
constexpr uint64_t kSeries = bit(T::Binary) | bit(T::Image) | bit(T::Vector) | bit(T::Path) |
                             bit(T::LitPath) | bit(T::SetPath) | bit(T::GetPath) |
                             bit(T::Block) | bit(T::Paren) | bit(T::Hash) | bit(T::String) |
                             bit(T::File) | bit(T::Url) | bit(T::Tag) | bit(T::Email) |
                             bit(T::Ref);
// The values max and min may order component by component.
constexpr uint64_t kCompound = bit(T::Pair) | bit(T::Point2D) | bit(T::Point3D) | bit(T::Tuple);

constexpr double kHalfPi = std::numbers::pi / 2.0;
constexpr double kLn2 = 0.6931471805599453;

bool has(uint64_t types, const Cell* value) { return (types & bit(cell::type_of(value))) != 0; }

void check_args(bool check, int32_t count, uint64_t types) {
    if (!check) return;
    for (int32_t i = 0; i < count; i++)
        if (!has(types, stack::arg(i))) fire_expect_arg(cell::type_of(stack::arg(i)), i);
}

// The number in the cell as a float!, written back into the cell (exact for an integer!; a
// percent! is already the fraction).
double to_float(Cell* value) {
    const double d = cell::is(value, T::Integer) ? static_cast<double>(cell::get_int(value))
                                                 : cell::get_double(value);
    floating::set(value, d);
    return d;
}

double flush_tiny(double d) { return std::fabs(d) < floating::kEpsilon ? 0.0 : d; }

void direct(Trig kind, bool check, const int32_t* refinements) {
    check_args(check, 1, kIntOrFloat);
    Cell* angle = stack::arg(0);
    double x = to_float(angle);
    if (refinements[0] < 0) x = float_text::normalize_degrees(x, kind);
    double result;
    switch (kind) {
    case Trig::Sine: result = flush_tiny(std::sin(x)); break;
    case Trig::Cosine: result = flush_tiny(std::cos(x)); break;
    case Trig::Tangent:
        result = x == kHalfPi    ? floating::kInfinity
                 : x == -kHalfPi ? -floating::kInfinity
                                 : std::tan(x);
        break;
    }
    floating::set(angle, result);
}

void inverse(double (*fn)(double), bool check, const int32_t* refinements) {
    check_args(check, 1, kIntOrFloat);
    Cell* value = stack::arg(0);
    double angle = fn(to_float(value));
    if (refinements[0] < 0) angle = angle * 180.0 / std::numbers::pi;
    floating::set(value, angle);
}

void unary(double (*fn)(double), bool check) {
    check_args(check, 1, kNumber);
    Cell* value = stack::arg(0);
    floating::set(value, fn(to_float(value)));
}

double log_base_2(double x) { return std::log(x) / kLn2; }

bool is_nan_value(const Cell* value) {
    return (cell::is(value, T::Float) || cell::is(value, T::Percent)) &&
           std::isnan(cell::get_double(value));
}

// -1, 0 or 1 for integer!, float!, percent!, time! and money! (a NaN gives 0); anything else
// raises expect-arg.
int32_t sign_of(const Cell* value) {
    switch (cell::type_of(value)) {
    case T::Integer: return integer::sign_of(cell::get_int(value));
    case T::Float:
    case T::Percent:
    case T::Time: {
        const double d = cell::get_double(value);
        return (d > 0.0) - (d < 0.0);
    }
    case T::Money: return money::sign_of(value);
    default: fire_expect_arg(cell::type_of(value), 0);
    }
}

// ---- max and min over pairs, points and tuples ----

double pick_of(bool greater, double x, double y) {
    if (std::isnan(x) || std::isnan(y)) return floating::kQuietNaN;  // a NaN component wins
    return greater ? std::max(x, y) : std::min(x, y);
}

// A float! outside 32 bits (or not finite) that meets a pair! makes it a point2D!.
bool fits_int32(const Cell* number) {
    return cell::is(number, T::Integer) || !integer::float_outside_int32(number);
}

// The coordinates of a pair!, point2D! or point3D!, or a number's value in each (a float!
// narrowed to 32 bits).
void coordinates_of(const Cell* v, double out[3]) {
    switch (cell::type_of(v)) {
    case T::Pair:
        out[0] = pair::x_of(v);
        out[1] = pair::y_of(v);
        out[2] = 0.0;
        return;
    case T::Point2D:
    case T::Point3D:
        for (int i = 0; i < 3; i++) out[i] = point::get(v, i);
        return;
    default: out[0] = out[1] = out[2] = point::float_of(v);
    }
}

// Component by component into arguments[0] when the two values are pairs, points or tuples
// that meet that way (value1 being the compound one); false leaves them to the ordering.
bool compound_max_min(bool greater, Cell* a, const Cell* b) {
    const T at = cell::type_of(a), bt = cell::type_of(b);
    const bool number = bt == T::Integer || bt == T::Float;
    if (at == T::Tuple) {
        int32_t n = 0;
        if (bt == T::Tuple) {
            if (tuple::size_of(a) != tuple::size_of(b)) return false;
        } else if (number) {
            n = cell::is(b, T::Integer) ? cell::get_int(b) : integer::from_double(cell::get_double(b));
            n = std::clamp(n, 0, 255);
        } else {
            return false;
        }
        int32_t bytes[tuple::kMaxSize];
        const int32_t size = tuple::size_of(a);
        for (int32_t i = 0; i < size; i++) {
            const int32_t x = tuple::byte_at(a, i), y = bt == T::Tuple ? tuple::byte_at(b, i) : n;
            bytes[i] = greater ? std::max(x, y) : std::min(x, y);
        }
        const uint32_t flags = a->header & ~(tuple::kSizeMask | cell::kTypeMask);
        tuple::set_list(a, size, bytes);
        a->header |= flags;
        return true;
    }
    if (at == T::Pair && (bt == T::Pair || (number && fits_int32(b)))) {
        int32_t n[2];
        for (int i = 0; i < 2; i++) {
            const int32_t x = i == 0 ? pair::x_of(a) : pair::y_of(a);
            const int32_t y = bt == T::Pair ? (i == 0 ? pair::x_of(b) : pair::y_of(b))
                              : cell::is(b, T::Integer) ? cell::get_int(b)
                                                        : float_to_int_checked(b);
            n[i] = greater ? std::max(x, y) : std::min(x, y);
        }
        pair::make_at(a, n[0], n[1]);
        return true;
    }
    const bool planar = (at == T::Pair || at == T::Point2D) &&
                        (bt == T::Pair || bt == T::Point2D || number);
    const bool spatial = at == T::Point3D && (bt == T::Point3D || number);
    if (!planar && !spatial) return false;
    double x[3], y[3];
    coordinates_of(a, x);
    coordinates_of(b, y);
    for (int i = 0; i < 3; i++) x[i] = static_cast<float>(pick_of(greater, x[i], y[i]));
    if (spatial) point::set3(a, static_cast<float>(x[0]), static_cast<float>(x[1]), static_cast<float>(x[2]));
    else point::set2(a, static_cast<float>(x[0]), static_cast<float>(x[1]));
    return true;
}

// max (greater) and min share this: arguments[0] keeps value1 or receives value2.
void max_min(bool greater, bool check) {
    check_args(check, 2, kScalar | kSeries);
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    if (is_nan_value(a) && has(kNumber, b)) return;
    if (is_nan_value(b) && has(kNumber, a)) {
        cell::copy(b, a);
        return;
    }
    if (has(kCompound, b) && has(kIntOrFloat, a)) std::swap(*a, *b);  // the compound decides
    if (has(kCompound, a) && compound_max_min(greater, a, b)) return;
    if (compare::value_compare(a, b, CompareOp::Lesser) == greater) cell::copy(b, a);
}

}  // namespace

void sine(bool check, const int32_t* r) { direct(Trig::Sine, check, r); }
void cosine(bool check, const int32_t* r) { direct(Trig::Cosine, check, r); }
void tangent(bool check, const int32_t* r) { direct(Trig::Tangent, check, r); }
void arcsine(bool check, const int32_t* r) { inverse(std::asin, check, r); }
void arccosine(bool check, const int32_t* r) { inverse(std::acos, check, r); }
void arctangent(bool check, const int32_t* r) { inverse(std::atan, check, r); }

void arctangent2(bool check, const int32_t* refinements) {
    check_args(check, 2, kIntOrFloat);
    const double y = to_float(stack::arg(0));
    const double x = to_float(stack::arg(1));
    double angle = std::atan2(y, x);
    if (refinements[0] < 0) angle *= 180.0 / std::numbers::pi;
    floating::set(stack::arg(0), angle);
}

void log_2(bool check, const int32_t*) { unary(log_base_2, check); }
void log_10(bool check, const int32_t*) { unary(std::log10, check); }
void log_e(bool check, const int32_t*) { unary(std::log, check); }
void exp(bool check, const int32_t*) { unary(std::exp, check); }
void square_root(bool check, const int32_t*) { unary(std::sqrt, check); }

void is_nan(bool check, const int32_t*) {
    check_args(check, 1, kNumber);
    logic::set(stack::arg(0), is_nan_value(stack::arg(0)));
}

void is_zero(bool check, const int32_t*) {
    check_args(check, 1, kZeroTestable);
    Cell* value = stack::arg(0);
    bool zero = false;
    switch (cell::type_of(value)) {
    case T::Integer:
    case T::Char: zero = cell::get_int(value) == 0; break;
    case T::Float:
    case T::Percent:
    case T::Time: zero = cell::get_double(value) == 0.0; break;
    case T::Money: zero = money::sign_of(value) == 0; break;
    case T::Pair: zero = value->w2 == 0 && value->w3 == 0; break;
    case T::Point2D:
    case T::Point3D: zero = point::is_zero(value); break;
    case T::Tuple: zero = tuple::is_zero(value); break;
    default: break;
    }
    logic::set(value, zero);
}

void is_negative(bool check, const int32_t*) {
    check_args(check, 1, kSigned);
    logic::set(stack::arg(0), sign_of(stack::arg(0)) < 0);
}

void is_positive(bool check, const int32_t*) {
    check_args(check, 1, kSigned);
    logic::set(stack::arg(0), sign_of(stack::arg(0)) > 0);
}

void is_sign(bool check, const int32_t*) {
    check_args(check, 1, kSigned);
    integer::set(stack::arg(0), sign_of(stack::arg(0)));
}

void shift(bool check, const int32_t* refinements) {
    check_args(check, 2, bit(T::Integer));
    const int32_t data = cell::get_int(stack::arg(0));
    const int32_t bits = cell::get_int(stack::arg(1));
    const uint32_t raw = static_cast<uint32_t>(data);
    int32_t result;
    if (bits >= 32) {
        const bool arithmetic = refinements[0] < 0 && refinements[1] < 0;
        result = arithmetic && data < 0 ? -1 : 0;
    } else {
        const int n = bits < 0 ? 0 : bits;
        if (refinements[0] >= 0) result = static_cast<int32_t>(raw << n);
        else if (refinements[1] >= 0) result = static_cast<int32_t>(raw >> n);
        else result = data >> n;
    }
    integer::set(stack::arg(0), result);
}

void to_hex(bool check, const int32_t* refinements) {
    check_args(check, 1, bit(T::Integer));
    int32_t digits = 8;
    if (refinements[0] >= 0) {
        const Cell* length = stack::arg(refinements[0]);
        if (check && !cell::is(length, T::Integer)) fire_expect_arg(cell::type_of(length), 1);
        const int32_t wanted = cell::get_int(length);
        if (wanted < 1) fire(Err::InvalidArg, length);
        if (wanted < digits) digits = wanted;
    }
    char text[9];
    std::memcpy(text, string::int_to_hex(cell::get_int(stack::arg(0)), false), sizeof text);
    issue::make_at_cstr(stack::arg(0), text + 8 - digits);
}

void max(bool check, const int32_t*) { max_min(true, check); }
void min(bool check, const int32_t*) { max_min(false, check); }

}  // namespace nuv::natives_math
