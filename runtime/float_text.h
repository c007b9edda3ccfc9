// Exact conversion between doubles and decimal text: shortest round-trip or correctly rounded
// digits, their layout as number text, and correctly rounded reading. Also the degree
// reduction of the trigonometric natives. Texts live in one process-wide digit area, valid
// until the next conversion; nothing here allocates or raises.
#pragma once
#include <cstdint>

namespace nuv::float_text {

// Decimal-point positions that mark the special results of float_to_digits.
inline constexpr int kSpecialPoint = 9999;  // infinity or NaN
inline constexpr int kZeroPoint = 9998;

// The most significant digits a conversion yields; larger requests are clamped to it (a double
// needs 17 to round-trip, so the digits beyond that are the exact expansion).
inline constexpr int kMaxDigits = 30;

struct Digits {
    const char* text;  // the digits without sign, or the whole special text
    int point;         // value = 0.d1d2... x 10^point; kSpecialPoint / kZeroPoint for specials
    bool negative;     // false for NaN
    int length;        // digit count (the text's length for specials)
};

// digits <= 0: the shortest digit string that reads back to the same double; digits > 0: at
// most that many significant digits, correctly rounded (ties to even). No leading or trailing
// zeros. Specials: "1.#INF", "-1.#INF", "1.#NaN"; zero: "0.0"/"-0.0" with keep_point, else
// "0"/"-0".
Digits float_to_digits(double value, int digits, bool keep_point);

// The shortest digit string that reads back to the same 32-bit float when read as a double
// and rounded to 32 bits (the two roundings taken into account). Specials and zeros as
// float_to_digits gives them.
Digits float32_to_digits(float value, bool keep_point);

// The value as number text (NUL-terminated): positional while the point position lies in
// -6..17, scientific ("1.2345e24") outside it; with keep_point an integral result ends in ".0".
const char* float_form_text(double value, int digits, bool keep_point);
// The same layout of digits float_to_digits or float32_to_digits gave (and that still lie in
// the digit area), with the point moved `shift` (a few) places to the right; with `positional`
// never scientific. Specials and zeros are their own text.
const char* digits_form_text(const Digits& d, bool keep_point, int shift = 0,
                             bool positional = false);

// Reads the decimal number at the start of [start, end), correctly rounded, adding
// extra_exponent to its decimal exponent. Overflow gives a signed infinity, underflow a signed
// zero. "1.#INF", "-1.#INF", "1.#NaN" (any case after the "#") read back as the specials.
// *left (when given) receives the count of characters after the last one used.
double decimal_to_float(const char* start, const char* end, int extra_exponent = 0,
                        int* left = nullptr);

enum class Trig : int { Tangent = 0, Cosine = 1, Sine = 2 };

// The angle in degrees reduced to the range where the function keeps its value, in radians.
double normalize_degrees(double angle, Trig kind);

}  // namespace nuv::float_text
