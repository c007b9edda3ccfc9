// Text to number for `to` and `make`: scanners that read a text buffer in place, whatever its
// unit (1, 2 or 4 bytes per character), and report failure by an error code that the caller
// turns into its own conversion error. Also the float syntax check the lexer's loaders share.
// Nothing here allocates.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::number_scan {

// Error codes: the out-parameter is left untouched on success.
inline constexpr int32_t kInvalid = -1;
inline constexpr int32_t kTooLarge = -2;

// The longest number text the float readers convert.
inline constexpr size_t kMaxFloatText = 312;

// A decimal integer: an optional sign, digits with "'" separators skipped. Overflow sets
// kTooLarge (result 0); another character sets kInvalid and ends the scan after it.
int32_t text_to_integer(const uint8_t* units, int32_t count, uint32_t unit, int32_t* error);

// A float: at most 312 characters, "," read as the decimal point, "'" separators dropped,
// correctly rounded. Failure sets kInvalid and answers the quiet NaN.
double string_to_float(const uint8_t* units, int32_t count, uint32_t unit, int32_t* error);

// True when the bytes form a number the float readers take: one optional sign, digits with
// "'" separators, an optional "." fraction, an optional exponent; at least one digit before the
// exponent; at most 312 bytes.
bool float_syntax_check(const char* text, size_t length);

// Money text (an optional sign, an optional three-letter currency code of the list and "$",
// digits with "'" separators and one ".") into the result cell; failure sets kInvalid.
void text_to_money(const uint8_t* units, int32_t count, uint32_t unit, int32_t* error,
                                Cell* result);

}  // namespace nuv::number_scan
