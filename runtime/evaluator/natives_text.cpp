// The conversion and text natives. Texts are read by index through their stack cells, so the
// output buffer may move while it grows; encoders write into a buffer sized first, after the
// last allocation.
#include "runtime/evaluator/natives_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "runtime/case_fold.h"
#include "runtime/cell.h"
#include "runtime/datatypes/base_codecs.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_kin.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/unicode.h"

namespace nuv::natives_text {

namespace {

using T = TypeId;

constexpr uint64_t bit(T t) { return uint64_t{1} << static_cast<int>(t); }
static_assert(kTypeCount < 64);

constexpr uint64_t kAnyString = bit(T::String) | bit(T::File) | bit(T::Url) | bit(T::Tag) |
                                bit(T::Email) | bit(T::Ref);
constexpr uint64_t kAnyPath = bit(T::Path) | bit(T::LitPath) | bit(T::SetPath) | bit(T::GetPath);
constexpr uint64_t kBlockClass = bit(T::Block) | bit(T::Paren) | kAnyPath;
constexpr uint64_t kAnyList = bit(T::Block) | bit(T::Paren) | bit(T::Hash);
constexpr uint64_t kNumber = bit(T::Integer) | bit(T::Float) | bit(T::Percent);
constexpr uint64_t kIntOrFloat = bit(T::Integer) | bit(T::Float);

bool has(uint64_t types, const Cell* value) { return (types & bit(cell::type_of(value))) != 0; }

// For calls that ask the native to check: argument i against its spec's typeset.
void check_arg(bool check, int32_t i, uint64_t types) {
    if (check && !has(types, stack::arg(i))) fire_expect_arg(cell::type_of(stack::arg(i)), i);
}

// ---- Case ----

// A float count truncated toward zero, held within 32 bits (a NaN counts nothing).
int32_t count_of(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(d);
}

void change_case(bool upper, bool check, const int32_t* refinements) {
    check_arg(check, 0, kAnyString | bit(T::Char));
    int32_t part = 0;
    if (refinements[0] >= 0) {
        part = refinements[0];
        Cell* limit = stack::arg(part);
        if (check && !has(kNumber | kAnyString, limit)) fire_expect_arg(cell::type_of(limit), 1);
        if (cell::is(limit, T::Float) || cell::is(limit, T::Percent))
            integer::set(limit, count_of(cell::get_double(limit)));
    }
    case_fold::change_case(stack::arg(0), part, upper);
}

// ---- Percent encoding ----

constexpr char kHexUpper[] = "0123456789ABCDEF";

int hex_digit(char32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    return -1;
}

// The byte of a "%XX" escape at index i (from the head) of a text of n characters, or -1.
int escape_at(const Cell* text, int32_t i, int32_t n) {
    if (i + 2 >= n || string::char_at(text, i) != U'%') return -1;
    const int high = hex_digit(string::char_at(text, i + 1));
    const int low = hex_digit(string::char_at(text, i + 2));
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// The code point spelled by the escapes from index i when the first starts a UTF-8 sequence
// of two bytes or more and all of them are present and well-formed; *escapes gets their count.
// -1 otherwise.
int32_t escaped_sequence(const Cell* text, int32_t i, int32_t n, int first, int32_t* escapes) {
    const int length = unicode::utf8_lead_length(static_cast<uint8_t>(first));
    if (length < 2) return -1;
    uint8_t bytes[4] = {static_cast<uint8_t>(first)};
    for (int k = 1; k < length; k++) {
        const int byte = escape_at(text, i + 3 * k, n);
        if (byte < 0) return -1;
        bytes[k] = static_cast<uint8_t>(byte);
    }
    int32_t cp;
    const uint8_t* end = unicode::fast_decode_utf8_char(bytes, bytes + length, &cp);
    if (cp < 0 || end != bytes + length) return -1;
    *escapes = length;
    return cp;
}

// A new string! on the stack with room for `units` characters.
Cell* push_text(int32_t units) {
    return string::make_at(stack::reserve(), static_cast<size_t>(std::max(units, 1)));
}

void append_escape(NodeId out, uint8_t byte) {
    string::append_char(out, U'%');
    string::append_char(out, static_cast<char32_t>(kHexUpper[byte >> 4]));
    string::append_char(out, static_cast<char32_t>(kHexUpper[byte & 15]));
}

// ---- Base encodings ----

// The /base argument (64 without it); another base than 64, 58, 16 or 2 raises invalid-arg.
int32_t base_of(bool check, const int32_t* refinements) {
    if (refinements[0] < 0) return 64;
    const Cell* base = stack::arg(refinements[0]);
    if (check && !cell::is(base, T::Integer)) fire_expect_arg(cell::type_of(base), 1);
    const int32_t value = cell::get_int(base);
    if (value != 64 && value != 58 && value != 16 && value != 2) fire(Err::InvalidArg, base);
    return value;
}

// The output room the encoder of the base is given for n bytes.
uint64_t encoded_room(int32_t base, uint64_t n) {
    switch (base) {
    case 64: return n / 3 * 4 + n % 3 * 4 / 3 + n / 32 * 2 + 5;
    case 58: return n * 2;
    case 16: return n * 2 + n / 32 + 32;
    default: return n * 8 + n / 8 * 2 + 4;
    }
}

// ---- as ----

bool same_class(T a, T b) {
    return ((kBlockClass & bit(a)) && (kBlockClass & bit(b))) ||
           ((kAnyString & bit(a)) && (kAnyString & bit(b)));
}

// ---- new-line ----

void set_marker(Cell* value, bool on) {
    value->header = on ? value->header | cell::kNewLine : value->header & ~cell::kNewLine;
}

}  // namespace

void uppercase(bool check, const int32_t* r) { change_case(true, check, r); }
void lowercase(bool check, const int32_t* r) { change_case(false, check, r); }

void dehex(bool check, const int32_t*) {
    check_arg(check, 0, kAnyString);
    const Cell* text = stack::arg(0);
    const int32_t n = string::length(text);
    Cell* out = push_text(n);
    const NodeId node = cell::node(out);
    for (int32_t i = 0; i < n;) {
        const int byte = escape_at(text, i, n);
        if (byte >= 0) {
            int32_t escapes = 0;
            const int32_t cp = escaped_sequence(text, i, n, byte, &escapes);
            if (cp >= 0) {
                string::append_char(node, static_cast<char32_t>(cp));
                i += 3 * escapes;
                continue;
            }
            if (byte < 0x80) {  // a byte of a sequence that is not whole stays as written
                string::append_char(node, static_cast<char32_t>(byte));
                i += 3;
                continue;
            }
        }
        string::append_char(node, string::char_at(text, i));
        i++;
    }
    stack::set_result(out);
}

void enhex(bool check, const int32_t*) {
    check_arg(check, 0, kAnyString);
    const Cell* text = stack::arg(0);
    const text_kin::Escape safe =
        cell::is(text, T::String) ? text_kin::Escape::Unreserved : text_kin::Escape::Url;
    const int32_t n = string::length(text);
    Cell* out = push_text(n);
    const NodeId node = cell::node(out);
    for (int32_t i = 0; i < n; i++) {
        const char32_t cp = string::char_at(text, i);
        if (text_kin::in_set(safe, cp)) {
            string::append_char(node, cp);
            continue;
        }
        uint8_t bytes[4];
        const int count = unicode::utf8_encode_char(cp, bytes);
        for (int k = 0; k < count; k++) append_escape(node, bytes[k]);
    }
    stack::set_result(out);
}

void debase(bool check, const int32_t* refinements) {
    check_arg(check, 0, bit(T::String));
    const int32_t base = base_of(check, refinements);
    if (base == 58 && static_cast<size_t>(string::length(stack::arg(0))) > base_codecs::kMax58Characters)
        fire(Err::TooLong);
    const NodeId bytes = base_codecs::decode(base, stack::arg(0), base_codecs::Tail::Decoded);
    if (!bytes) {
        stack::set_result(none::shared());
        return;
    }
    const Cell result{static_cast<uint32_t>(T::Binary), 0, bytes, 0};
    stack::set_result(&result);
}

void enbase(bool check, const int32_t* refinements) {
    check_arg(check, 0, bit(T::String) | bit(T::Binary));
    const int32_t base = base_of(check, refinements);
    const Cell* value = stack::arg(0);
    const bool text = cell::is(value, T::String);
    std::vector<uint8_t> utf8;  // a string's UTF-8 from the index: the bytes to encode
    size_t n = text ? 0 : static_cast<size_t>(binary::rs_length(value));
    if (text) {
        const uint32_t unit = string::unit_of(value);
        const uint8_t* head = string::head_ptr(value);
        n = unicode::utf8_size_of_units(
            head, head + static_cast<size_t>(string::length(value)) * unit, unit);
        utf8.resize(n);
        unicode::string_write_utf8(value, utf8.data(), -1, false);
    }
    const uint64_t room = encoded_room(base, n);
    if (room > static_cast<uint64_t>(INT32_MAX) || (base == 58 && n > base_codecs::kMax58Bytes))
        fire(Err::TooLong);
    Cell* out = string::make_at(stack::reserve(), static_cast<size_t>(room));
    memory::SeriesBuf* buffer = memory::buf_of(out);  // after the last allocation
    uint8_t* at = buffer->data();
    const uint8_t* bytes = text ? utf8.data() : binary::rs_head(value);
    switch (base) {
    case 64: buffer->tail = base_codecs::encode_64(at, bytes, n); break;
    case 58: buffer->tail = base_codecs::encode_58(at, bytes, n); break;
    case 16: buffer->tail = base_codecs::encode_16(at, bytes, n); break;
    default: buffer->tail = base_codecs::encode_2(at, bytes, n); break;
    }
    stack::set_result(out);
}

void as(bool check, const int32_t*) {
    check_arg(check, 0, bit(T::Datatype) | kBlockClass | kAnyString);
    check_arg(check, 1, kBlockClass | kAnyString);
    const Cell* type = stack::arg(0);
    const Cell* spec = stack::arg(1);
    const T target = cell::is(type, T::Datatype) ? static_cast<T>(type->w1) : cell::type_of(type);
    const T source = cell::type_of(spec);
    if (!same_class(source, target)) {
        Cell from;
        Cell to;
        datatype::set(&from, source);
        datatype::set(&to, target);
        fire(Err::NotSameClass, &from, &to);
    }
    if (!registry::row(target).mold) fire(Err::NotDone);  // a text type without its module
    Cell result = *spec;
    cell::set_type(&result, target);
    *stack::arg(0) = result;
}

// A coordinate of as-pair: an integer! as it is, a float! truncated toward zero; a finite
// float beyond 32 bits gives -2147483648, an infinite or NaN one raises script invalid-arg.
int32_t pair_coordinate(const Cell* number) {
    if (cell::is(number, T::Integer)) return cell::get_int(number);
    const double d = cell::get_double(number);
    if (!std::isfinite(d)) fire(Err::InvalidArg, number);
    const double whole = std::trunc(d);
    return whole > INT32_MAX || whole < INT32_MIN ? INT32_MIN : static_cast<int32_t>(whole);
}

void as_pair(bool check, const int32_t*) {
    check_arg(check, 0, kIntOrFloat);
    check_arg(check, 1, kIntOrFloat);
    const int32_t x = pair_coordinate(stack::arg(0));
    const int32_t y = pair_coordinate(stack::arg(1));
    *stack::arg(0) = Cell{};
    pair::make_at(stack::arg(0), x, y);
}

void as_point2d(bool check, const int32_t*) {
    check_arg(check, 0, kIntOrFloat);
    check_arg(check, 1, kIntOrFloat);
    const float x = point::float_of(stack::arg(0));
    const float y = point::float_of(stack::arg(1));
    *stack::arg(0) = Cell{};
    point::set2(stack::arg(0), x, y);
}

void as_point3d(bool check, const int32_t*) {
    for (int32_t i = 0; i < 3; i++) check_arg(check, i, kIntOrFloat);
    const float x = point::float_of(stack::arg(0));
    const float y = point::float_of(stack::arg(1));
    const float z = point::float_of(stack::arg(2));
    *stack::arg(0) = Cell{};
    point::set3(stack::arg(0), x, y, z);
}

void as_money(bool check, const int32_t*) {
    check_arg(check, 0, bit(T::Word));
    check_arg(check, 1, kIntOrFloat);
    Cell* code = stack::arg(0);
    const int32_t currency = money::currency_index(word::symbol_of(code));
    if (currency == 0) fire(Err::BadDenom, code);
    const Cell* amount = stack::arg(1);
    const money::Amount a = cell::is(amount, T::Integer) ? money::from_integer(cell::get_int(amount))
                                                            : money::from_float(cell::get_double(amount));
    *code = Cell{};
    money::set(code, a, currency);
}

void to_local_file(bool check, const int32_t* refinements) {
    check_arg(check, 0, bit(T::File) | bit(T::String));
    Cell path;
    text_kin::to_local(stack::arg(0), refinements[0] >= 0, &path);
    stack::set_result(&path);
}

void new_line(bool check, const int32_t* refinements) {
    check_arg(check, 0, kAnyList);
    check_arg(check, 1, bit(T::Logic));
    const Cell* position = stack::arg(0);
    const bool on = logic::get(stack::arg(1));
    int32_t period = 0;  // 0: the value at the position alone
    if (refinements[1] >= 0) {
        const Cell* size = stack::arg(refinements[1]);
        if (check && !cell::is(size, T::Integer)) fire_expect_arg(cell::type_of(size), 2);
        period = cell::get_int(size);
        if (period < 1) fire(Err::OutOfRange, size);
    } else if (refinements[0] >= 0) {
        period = 1;
    }
    const NodeId node = cell::node(position);
    const int32_t tail = block::count(node);
    Cell* cells = block::write_cells(node);
    const int32_t head = block::head_index(position);
    if (period == 0) {
        if (head < tail) set_marker(cells + head, on);
        return;
    }
    for (int32_t i = head, k = 0; i < tail; i++, k = k + 1 == period ? 0 : k + 1)
        set_marker(cells + i, (k == 0) == on);
}

void is_new_line(bool check, const int32_t*) {
    check_arg(check, 0, kAnyList);
    const Cell* position = stack::arg(0);
    const NodeId node = cell::node(position);
    const int32_t head = block::head_index(position);
    const bool marked = head < block::count(node) && (block::raw_cells(node)[head].header & cell::kNewLine);
    logic::set(stack::arg(0), marked);
}

}  // namespace nuv::natives_text
