// money!: an exact signed decimal of 17 integer and 5 fraction digits, stored as 22 packed BCD
// digits in bytes 5-15 of the cell (most significant first, high nibble first), the sign in
// header bit 14, and in byte 4 the 1-based position of its currency in
// system/locale/currencies/list (0: none). Arithmetic is exact; products and quotients keep
// 5 fraction digits and drop the rest. integer!, float! and percent! operands become money!.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::money {

inline constexpr int kDigits = 22;
inline constexpr int kFractionDigits = 5;
inline constexpr uint32_t kSignBit = 1u << 14;
// Amounts in units of 10^-5: every money! amount is below 10^22 in magnitude.
using Amount = __int128;

bool is_negative(const Cell* c);
int32_t currency_of(const Cell* c);  // 0: none
Amount amount_of(const Cell* c);     // signed, in units of 10^-5
// The cell becomes a money! of the amount (|amount| < 10^22) and currency; the new-line flag
// of a cell written in place stays.
Cell* set(Cell* c, Amount amount, int32_t currency);
int32_t sign_of(const Cell* c);  // -1, 0 or 1

// The 1-based position of the word's spelling in the currency list (case-insensitive), or 0.
int32_t currency_index(uint32_t symbol);
// The currency word of a position, as a symbol id (0 for a position the list lacks).
uint32_t currency_symbol(int32_t index);

// Conversions. from_float rounds the shortest round-trip digits of the double to 5 places; a
// magnitude from 1e17 on, a non-zero one below 1e-5, an infinity or a NaN raise script
// bad-make-arg (the float, money!).
Amount from_float(double d);
inline Amount from_integer(int32_t v) { return static_cast<Amount>(v) * 100000; }
double to_float(const Cell* c);
// The integer part, truncated toward zero; outside 32 bits script type-limit (integer!).
int32_t to_integer(const Cell* c);
// Reads money text (optional sign, optional three-letter code, "$" optional without a code,
// digits with "'" separators and one "."); false when it is not one or does not fit.
bool scan(const char* text, size_t length, Cell* result);

// The dispatcher for arguments[0] op arguments[1] where either is money!; the result lands in
// arguments[0].
void math_op(ArithOp op);
template <ArithOp Op>
void math_slot() { math_op(Op); }
Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// Compares a money! with a money!, integer! or float! (kNotComparable for other types).
int32_t compare(Cell* a, Cell* b, CompareOp op);
// A 32-bit hash equal for values that compare equal.
uint32_t hash(const Cell* c);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::money
