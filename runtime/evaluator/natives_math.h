// The numeric natives that are not actions: trigonometry (degrees unless /radians), logarithms,
// exp and square root, the sign and zero tests, shift, to-hex, max and min. Each takes its
// arguments at arguments[0..] with the natives' calling convention and leaves its result in
// arguments[0]. None of them allocates, except to-hex (the name) and raising.
#pragma once
#include <cstdint>

namespace nuv::natives_math {

// An integer! angle is converted, a percent! taken as its fraction. Without /radians the
// angle is reduced in degrees first, so sine 180 and cosine 90 give exactly 0.0 and tangent 90
// gives +infinity.
void sine(bool check, const int32_t* refinements);
void cosine(bool check, const int32_t* refinements);
void tangent(bool check, const int32_t* refinements);
// The angle comes back in degrees unless /radians.
void arcsine(bool check, const int32_t* refinements);
void arccosine(bool check, const int32_t* refinements);
void arctangent(bool check, const int32_t* refinements);
void arctangent2(bool check, const int32_t* refinements);

// Out-of-domain values give the library's NaN or infinity, never an error.
void log_2(bool check, const int32_t* refinements);
void log_10(bool check, const int32_t* refinements);
void log_e(bool check, const int32_t* refinements);
void exp(bool check, const int32_t* refinements);
void square_root(bool check, const int32_t* refinements);

void is_nan(bool check, const int32_t* refinements);
void is_zero(bool check, const int32_t* refinements);
void is_negative(bool check, const int32_t* refinements);
void is_positive(bool check, const int32_t* refinements);
void is_sign(bool check, const int32_t* refinements);  // -1, 0 or 1; a NaN gives 0

// Counts below 0 count as 0; counts of 32 and more shift everything out (an arithmetic right
// shift of a negative number then gives -1). /left wins over /logical.
void shift(bool check, const int32_t* refinements);
// Eight hexadecimal digits (two's complement), or the last /size of them, as an issue!.
void to_hex(bool check, const int32_t* refinements);

// A NaN among numbers wins. Otherwise ordered by value-compare's lesser test: for equal values
// max answers value1 and min value2.
void max(bool check, const int32_t* refinements);
void min(bool check, const int32_t* refinements);

}  // namespace nuv::natives_math
