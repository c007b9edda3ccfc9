// issue!: makers, the conversions and the registration record; form comes from word!.
#include "runtime/datatypes/issue.h"

#include <array>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace nuv::issue {

namespace {

constexpr uint8_t kNotHex = 0xFF;

// Digit values of the ASCII characters; kNotHex for the others.
consteval std::array<uint8_t, 128> make_hex_digits() {
    std::array<uint8_t, 128> t{};
    for (auto& d : t) d = kNotHex;
    for (int c = '0'; c <= '9'; c++) t[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; c++) t[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; c++) t[c] = static_cast<uint8_t>(c - 'a' + 10);
    return t;
}
constexpr std::array<uint8_t, 128> kHexDigits = make_hex_digits();
constexpr size_t kMaxHexDigits = 8;

Cell issue_of(SymId sym) {
    return Cell{static_cast<uint32_t>(TypeId::Issue), context::global(), sym, word::kNoIndex};
}

}  // namespace

Cell* make_at_cstr(Cell* cell, const char* name) {
    *cell = issue_of(symbol::make_cstr(name));
    return cell;
}

Cell* make_in_block(const char* name, Cell* block) {
    Cell owner = *block;
    Cell value = issue_of(symbol::make_cstr(name));
    return block::append_cell(&owner, &value);
}

Cell* push_cstr(const char* name) {
    Cell value = issue_of(symbol::make_cstr(name));
    return roots::auto_root() ? word::keep(&value) : stack::push(&value);
}

Cell* push(const Cell* word) { return word::push(word, TypeId::Issue); }

int32_t hex_digit(uint8_t byte) {
    const uint8_t digit = byte < 128 ? kHexDigits[byte] : kNotHex;
    return digit == kNotHex ? -1 : digit;
}

int32_t to_integer(const Cell* issue) {
    Cell named = *issue;
    const auto* name = reinterpret_cast<const uint8_t*>(symbol::utf8_name(named.w2));
    size_t length = symbol::name_length(named.w2);
    // Every byte of a name made only of hex digits is ASCII, so a byte count is a digit count.
    if (length > kMaxHexDigits) fire(Err::InvalidData, &named);
    uint32_t value = 0;
    for (size_t i = 0; i < length; i++) {
        uint8_t digit = name[i] < 128 ? kHexDigits[name[i]] : kNotHex;
        if (digit == kNotHex) fire(Err::InvalidData, &named);
        value = value << 4 | digit;
    }
    return static_cast<int32_t>(value);
}

Cell* to(Cell* proto, Cell* spec, TypeId type) {
    Cell result;
    TypeId from = cell::type_of(spec);
    if (word::is_any_word_type(from)) {
        result = *spec;
    } else if (from == TypeId::String) {
        result = issue_of(symbol::make_string(spec));
    } else if (from == TypeId::Char) {
        uint8_t utf8[4];
        int n = unicode::utf8_encode_char(static_cast<char32_t>(cell::get_int(spec)), utf8);
        result = issue_of(symbol::make_utf8(utf8, static_cast<size_t>(n)));
    } else {
        return word::to(proto, spec, type);
    }
    cell::set_header(&result, type);
    *spec = result;
    return spec;
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, TypeId::Issue)) return kNotComparable;
    return word::compare(a, b, op);
}

namespace {
// The global context, as for the other word types.
void mark(const Cell* value) { collector::mark_series(value->w1); }
}  // namespace

constexpr TypeRecord kRecord{
    .id = TypeId::Issue,
    .parent = TypeId::Word,
    .name = "issue!",
    .make = issue::to,
    .to = issue::to,
    .form = kInherited,
    .mold = word::mold,
    .compare = issue::compare,
    .mark = mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::issue
