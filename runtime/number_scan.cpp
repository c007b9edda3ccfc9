// Text to number: the integer and float scanners of `to` and `make`, and the float syntax
// automaton, built from its named rules below.
#include "runtime/number_scan.h"

#include <array>
#include <cstring>
#include <limits>

#include "runtime/datatypes/money.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"

namespace nuv::number_scan {

namespace {

// The float syntax automaton: classes of bytes, then states with their rows.
enum Col : uint8_t { kOther, kSign, kDigit, kExponent, kPoint, kSeparator, kEnd, kCols };
enum St : uint8_t {
    kStart,
    kIntDigits,
    kAfterSeparator,
    kFraction,
    kAfterFractionSeparator,
    kAfterPoint,
    kAfterExponent,
    kAfterExponentSign,
    kExponentDigits,
    kAccepted,
    kFailed,
    kAfterSign,
    kAfterLeadingPoint,
    kStates
};

struct Rule {
    St state;
    Col col;
    St next;
};
// Every (state, class) not named fails. One sign at most, and a digit before any exponent.
constexpr Rule kRules[] = {
    {kStart, kSign, kAfterSign},
    {kStart, kDigit, kIntDigits},
    {kStart, kPoint, kAfterLeadingPoint},
    {kAfterSign, kDigit, kIntDigits},
    {kAfterSign, kPoint, kAfterLeadingPoint},
    {kAfterLeadingPoint, kDigit, kFraction},
    {kIntDigits, kDigit, kIntDigits},
    {kIntDigits, kExponent, kAfterExponent},
    {kIntDigits, kPoint, kAfterPoint},
    {kIntDigits, kSeparator, kAfterSeparator},
    {kIntDigits, kEnd, kAccepted},
    {kAfterSeparator, kDigit, kIntDigits},
    {kAfterSeparator, kEnd, kAccepted},
    {kFraction, kDigit, kFraction},
    {kFraction, kExponent, kAfterExponent},
    {kFraction, kSeparator, kAfterFractionSeparator},
    {kFraction, kEnd, kAccepted},
    {kAfterFractionSeparator, kDigit, kFraction},
    {kAfterFractionSeparator, kEnd, kAccepted},
    {kAfterPoint, kDigit, kFraction},
    {kAfterPoint, kEnd, kAccepted},
    {kAfterExponent, kSign, kAfterExponentSign},
    {kAfterExponent, kDigit, kExponentDigits},
    {kAfterExponentSign, kDigit, kExponentDigits},
    {kExponentDigits, kDigit, kExponentDigits},
    {kExponentDigits, kEnd, kAccepted},
};

struct SyntaxTables {
    std::array<uint8_t, 256> col{};
    std::array<std::array<uint8_t, kCols>, kStates> next{};
};
consteval SyntaxTables make_syntax_tables() {
    SyntaxTables t;
    for (auto& c : t.col) c = kOther;
    t.col['+'] = t.col['-'] = kSign;
    for (int c = '0'; c <= '9'; c++) t.col[c] = kDigit;
    t.col['e'] = t.col['E'] = kExponent;
    t.col['.'] = kPoint;
    t.col['\''] = kSeparator;
    for (auto& row : t.next)
        for (auto& n : row) n = kFailed;
    for (const Rule& r : kRules) t.next[r.state][r.col] = r.next;
    return t;
}
constexpr SyntaxTables kSyntax = make_syntax_tables();

}  // namespace

bool float_syntax_check(const char* text, size_t length) {
    if (length > kMaxFloatText) return false;
    uint8_t state = kStart;
    for (size_t i = 0; i < length && state != kFailed; i++)
        state = kSyntax.next[state][kSyntax.col[static_cast<uint8_t>(text[i])]];
    return kSyntax.next[state][kEnd] == kAccepted;
}

int32_t text_to_integer(const uint8_t* units, int32_t count, uint32_t unit, int32_t* error) {
    const uint8_t* p = units;
    bool negative = false;
    if (count > 0) {
        char32_t first = string::get_char(p, unit);
        if (first == U'+' || first == U'-') {
            negative = first == U'-';
            p += unit;
            count--;
        }
    }
    if (count <= 0) {
        *error = kInvalid;
        return 0;
    }
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    const uint8_t* const end = p + static_cast<size_t>(count) * unit;
    int64_t value = 0;
    for (int32_t i = 0; i < count; i++, p += unit) {
        char32_t c = string::get_char(p, unit);
        if (c == U'\'') continue;
        if (c < U'0' || c > U'9') {
            *error = kInvalid;
            return static_cast<int32_t>(negative ? -value : value);
        }
        value = value * 10 + (c - U'0');
        if (value > kMax) {
            // Only -2147483648 lies beyond the positive range, and only as the last digit:
            // a digit after it overflows, another character after it is invalid.
            if (negative && value == kMax + 1) {
                char32_t after = U'\'';
                for (const uint8_t* q = p + unit; after == U'\'' && q < end; q += unit)
                    after = string::get_char(q, unit);
                if (after == U'\'') return std::numeric_limits<int32_t>::min();
                *error = (after >= U'0' && after <= U'9') ? kTooLarge : kInvalid;
                return 0;
            }
            *error = kTooLarge;
            return 0;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

double string_to_float(const uint8_t* units, int32_t count, uint32_t unit, int32_t* error) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    if (count < 0 || static_cast<size_t>(count) > kMaxFloatText) {
        *error = kInvalid;
        return kNaN;
    }
    char text[kMaxFloatText + 1];
    size_t n = 0;
    const uint8_t* p = units;
    for (int32_t i = 0; i < count; i++, p += unit) {
        char32_t c = string::get_char(p, unit);
        if (c == U',') c = U'.';
        // No character above ASCII belongs to a number; mapping it to one that fails keeps
        // the check honest.
        text[n++] = c < 0x80 ? static_cast<char>(c) : '\x7F';
    }
    text[n] = 0;
    if (!float_syntax_check(text, n)) {
        *error = kInvalid;
        return kNaN;
    }
    size_t kept = 0;
    for (size_t i = 0; i < n; i++)
        if (text[i] != '\'') text[kept++] = text[i];
    return float_text::decimal_to_float(text, text + kept);
}

void text_to_money(const uint8_t* units, int32_t count, uint32_t unit, int32_t* error,
                   Cell* result) {
    // Money text is short: anything longer than 22 digits, their separators, a sign and a
    // code cannot fit.
    char text[64];
    if (count < 1 || count >= static_cast<int32_t>(sizeof text)) {
        *error = kInvalid;
        return;
    }
    const uint8_t* p = units;
    for (int32_t i = 0; i < count; i++, p += unit) {
        const char32_t c = string::get_char(p, unit);
        text[i] = c < 0x80 ? static_cast<char>(c) : '\x7F';
    }
    if (!money::scan(text, static_cast<size_t>(count), result)) *error = kInvalid;
}

}  // namespace nuv::number_scan
