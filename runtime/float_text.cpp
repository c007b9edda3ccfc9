// Float and text conversion over <charconv>, whose shortest and fixed-precision printing and
// whose reading are exact. This file adds the system's own rules around it: the special texts,
// the digit-area layout, the sign and zero rules of reading, and unbounded inputs.
#include "runtime/float_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace nuv::float_text {

namespace {

// A positional layout always reaches this far from the point: a double's point lies in
// -323..309, moved by a shift of a few places. Beyond it the layout is scientific.
constexpr int kPositionalReach = 340;
// The longest layout is "0." and kPositionalReach zeros before kMaxDigits digits; the
// scientific form of kMaxDigits digits ("d.ddd" and "e-324") is shorter.
constexpr int kLongestLayout = 2 + kPositionalReach + kMaxDigits;
static_assert(kLongestLayout >= kMaxDigits + 1 + 5);

// "-", then the digits or their layout, then the NUL. A negative result is read from byte 0.
char g_area[1 + kLongestLayout + 1];

// Positional form while the point position lies in kLowestPoint..kHighestPoint.
constexpr int kLowestPoint = -6;
constexpr int kHighestPoint = 17;

// Reading keeps this many significant digits and stands one "1" in for any non-zero digits
// beyond them: every rounding boundary between doubles has at most 767 significant digits, so
// the shortened text rounds the same way as the full one.
constexpr int kKeptDigits = 780;
// Exponents are read up to this magnitude, far beyond any text length, so that leading or
// trailing digits can never bring a capped exponent back into range.
constexpr int64_t kExponentCap = 1000000000000;
// value = 0.d1d2... x 10^point is infinite above kOverflowPoint and zero below kUnderflowPoint.
constexpr int64_t kOverflowPoint = 310;
constexpr int64_t kUnderflowPoint = -330;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kQuietNaN = std::bit_cast<double>(uint64_t{0x7FF8000000000000});

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The digits of a special or zero value, or nullptr for any other.
const Digits* special_digits(double value, bool keep_point) {
    static constexpr Digits kNaN{"1.#NaN", kSpecialPoint, false, 6};
    static constexpr Digits kInf{"1.#INF", kSpecialPoint, false, 6};
    static constexpr Digits kMinusInf{"-1.#INF", kSpecialPoint, true, 7};
    static constexpr Digits kZeros[4] = {{"0", kZeroPoint, false, 1},
                                         {"-0", kZeroPoint, true, 2},
                                         {"0.0", kZeroPoint, false, 3},
                                         {"-0.0", kZeroPoint, true, 4}};
    if (std::isnan(value)) return &kNaN;
    if (std::isinf(value)) return std::signbit(value) ? &kMinusInf : &kInf;
    if (value == 0.0) return &kZeros[(keep_point ? 2 : 0) + (std::signbit(value) ? 1 : 0)];
    return nullptr;
}

// The digits of the scientific text [text, end) ("d.ddde-xx", no sign) in the digit area.
Digits scientific_digits(const char* text, const char* end, bool negative) {
    char* out = g_area + 1;
    int n = 0;
    const char* s = text;
    out[n++] = *s++;
    if (*s == '.') {
        for (s++; *s != 'e'; s++) out[n++] = *s;
    }
    s++;  // the "e"
    if (*s == '+') s++;
    int exponent = 0;
    std::from_chars(s, end, exponent);
    while (n > 1 && out[n - 1] == '0') n--;
    out[n] = '\0';
    return {out, exponent + 1, negative, n};
}

// True when the digits, read as a double and rounded to 32 bits, give the magnitude again.
bool reads_back_as(const Digits& d, float magnitude) {
    char text[kMaxDigits + 16] = "0.";
    std::memcpy(text + 2, d.text, static_cast<size_t>(d.length));
    char* end = text + 2 + d.length;
    *end++ = 'e';
    end = std::to_chars(end, text + sizeof text, d.point).ptr;
    return static_cast<float>(decimal_to_float(text, end)) == magnitude;
}

}  // namespace

Digits float_to_digits(double value, int digits, bool keep_point) {
    if (const Digits* special = special_digits(value, keep_point)) return *special;
    // Scientific text "d.ddde-xx": the first digit, the rest, the exponent of the first digit.
    char text[64];
    const double magnitude = std::fabs(value);
    const std::to_chars_result printed =
        digits <= 0 ? std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific)
                    : std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific,
                                    std::min(digits, kMaxDigits) - 1);
    return scientific_digits(text, printed.ptr, std::signbit(value));
}

Digits float32_to_digits(float value, bool keep_point) {
    if (const Digits* special = special_digits(value, keep_point)) return *special;
    const float magnitude = std::fabs(value);
    const bool negative = std::signbit(value);
    char text[64];
    // The float's own shortest digits read back through a double unless that double lands on
    // a rounding boundary between floats; then more digits of the exact value settle it (17
    // always do: they read back to the widened value itself).
    std::to_chars_result printed =
        std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
    Digits d = scientific_digits(text, printed.ptr, negative);
    for (int precision = d.length + 1; precision <= 17 && !reads_back_as(d, magnitude);
         precision++) {
        printed = std::to_chars(text, text + sizeof text, static_cast<double>(magnitude),
                                std::chars_format::scientific, precision - 1);
        d = scientific_digits(text, printed.ptr, negative);
    }
    return d;
}

const char* float_form_text(double value, int digits, bool keep_point) {
    return digits_form_text(float_to_digits(value, digits, keep_point), keep_point);
}

const char* digits_form_text(const Digits& d, bool keep_point, int shift, bool positional) {
    if (d.point >= kZeroPoint) return d.text;
    const int n = d.length;
    const int p = d.point + shift;
    const bool scientific = positional ? p > kPositionalReach || p < -kPositionalReach
                                       : p > kHighestPoint || p < kLowestPoint;
    char* out = g_area + 1;  // holds the digits; the layout is built aside, then copied over
    char layout[kLongestLayout + 1];
    int k = 0;
    auto put_digits = [&](int from, int to) {
        std::memcpy(layout + k, out + from, static_cast<size_t>(to - from));
        k += to - from;
    };
    // A "." that ends the text becomes ".0" with keep_point and goes without it.
    auto end_point = [&] {
        if (keep_point) layout[k++] = '0';
        else k--;
    };
    if (scientific) {
        put_digits(0, 1);
        layout[k++] = '.';
        if (n == 1) end_point();
        else put_digits(1, n);
        layout[k++] = 'e';
        k = static_cast<int>(std::to_chars(layout + k, layout + sizeof layout, p - 1).ptr - layout);
    } else if (p <= 0) {
        layout[k++] = '0';
        layout[k++] = '.';
        std::memset(layout + k, '0', static_cast<size_t>(-p));
        k += -p;
        put_digits(0, n);
    } else if (n <= p) {
        put_digits(0, n);
        std::memset(layout + k, '0', static_cast<size_t>(p - n));
        k += p - n;
        layout[k++] = '.';
        end_point();
    } else {
        put_digits(0, p);
        layout[k++] = '.';
        put_digits(p, n);
    }
    std::memcpy(out, layout, static_cast<size_t>(k));
    out[k] = '\0';
    if (!d.negative) return out;
    g_area[0] = '-';
    return g_area;
}

double decimal_to_float(const char* start, const char* end, int extra_exponent, int* left) {
    if (left) *left = 0;
    const char* s = start;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
    const char* zeros_start = s;
    while (s < end && *s == '0') s++;
    if (s == end) return 0.0;  // also after "-": "-0" reads as +0.0
    bool any_digit = s > zeros_start;

    // The significant digits go after "0." so that the text handed on reads 0.ddd e point.
    char text[2 + kKeptDigits + 1 + 1 + 8];
    char* kept = text + 2;
    int n = 0;
    bool dropped_non_zero = false;
    auto take = [&](char c) {
        if (n < kKeptDigits) kept[n++] = c;
        else if (c != '0') dropped_non_zero = true;
    };

    const char* integer_start = s;
    while (s < end && is_digit(*s)) take(*s++);
    int64_t point = s - integer_start;
    any_digit |= point > 0;
    const char* used = s;
    if (s < end && *s == '.') {
        if (point == 1 && end - s >= 3 && s[1] == '#') {
            const char letter = static_cast<char>(s[2] | 0x20);
            if (letter == 'i' || letter == 'n') {
                if (left) *left = static_cast<int>(end - (s + 3));
                if (letter == 'n') return kQuietNaN;
                return negative ? -kInfinity : kInfinity;
            }
        }
        const char* fraction_start = ++s;
        if (n == 0) {
            for (; s < end && *s == '0'; s++) point--;
        }
        while (s < end && is_digit(*s)) take(*s++);
        any_digit |= s > fraction_start;
        if (any_digit) used = s;
    }
    if (!any_digit) {
        if (left) *left = static_cast<int>(end - start);
        return 0.0;
    }
    if (s < end && (*s == 'e' || *s == 'E')) {
        const char* e = s + 1;
        bool exponent_negative = false;
        if (e < end && (*e == '+' || *e == '-')) exponent_negative = *e++ == '-';
        if (e < end && is_digit(*e)) {
            int64_t exponent = 0;
            for (; e < end && is_digit(*e); e++) {
                if (exponent < kExponentCap) exponent = exponent * 10 + (*e - '0');
            }
            point += exponent_negative ? -exponent : exponent;
            used = e;
        }
    }
    if (left) *left = static_cast<int>(end - used);

    while (n > 0 && kept[n - 1] == '0') n--;
    if (n == 0) return negative ? -0.0 : 0.0;
    if (dropped_non_zero) kept[n++] = '1';
    point += extra_exponent;
    double value;
    if (point > kOverflowPoint) {
        value = kInfinity;
    } else if (point < kUnderflowPoint) {
        value = 0.0;
    } else {
        text[0] = '0';
        text[1] = '.';
        char* tail = kept + n;
        *tail++ = 'e';
        tail = std::to_chars(tail, text + sizeof text, point).ptr;
        const std::from_chars_result read = std::from_chars(text, tail, value);
        if (read.ec == std::errc::result_out_of_range) value = point > 0 ? kInfinity : 0.0;
    }
    return negative ? -value : value;
}

double normalize_degrees(double angle, Trig kind) {
    double a = std::fmod(angle, 360.0);
    if (a > 180.0 || a < -180.0) a = a >= 0.0 ? a - 360.0 : a + 360.0;
    if (a > 90.0 || a < -90.0) {
        switch (kind) {
            case Trig::Tangent: a = a >= 0.0 ? a - 180.0 : a + 180.0; break;
            case Trig::Sine: a = a >= 0.0 ? 180.0 - a : -180.0 - a; break;
            case Trig::Cosine: break;
        }
    }
    return a * std::numbers::pi / 180.0;
}

}  // namespace nuv::float_text
