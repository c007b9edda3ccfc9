// tuple!: makers, the byte-wise arithmetic, conversions, text, comparison, byte access and the
// registration record. Every operation reads the bytes out, works on plain integers and writes
// the bytes back, so no byte past the size is ever left non-zero.
#include "runtime/datatypes/tuple.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::tuple {

namespace {

using T = TypeId;

struct Bytes {
    int32_t size;
    int32_t v[kMaxSize];  // every byte up to kMaxSize; past the size 0
};

Bytes read(const Cell* c) {
    Bytes b{size_of(c), {}};
    for (int32_t i = 0; i < kMaxSize; i++) b.v[i] = byte_at(c, i);
    return b;
}

// Each value is clamped to 0..255; the size is kept within 3..12.
void write(Cell* c, const Bytes& b) {
    uint32_t words[3] = {0, 0, 0};
    const int32_t size = std::clamp(b.size, kMinSize, kMaxSize);
    for (int32_t i = 0; i < size; i++) {
        const auto byte = static_cast<uint32_t>(std::clamp(b.v[i], 0, 255));
        words[i / 4] |= byte << (8 * (i % 4));
    }
    c->header = (c->header & ~(kSizeMask | cell::kTypeMask)) | static_cast<uint32_t>(T::Tuple) |
                (static_cast<uint32_t>(size) << kSizeShift);
    c->w1 = words[0];
    c->w2 = words[1];
    c->w3 = words[2];
}

[[noreturn]] void fire_bad_to(const Cell* spec) {
    integer::fire_with_type(Err::BadToArg, T::Tuple, spec);
}

// A block's values: integer!, char! (its code point) or float! (truncated toward zero), each
// in 0..255, at most 12 of them.
Bytes from_block(Cell* spec) {
    const int32_t n = block::rs_length(spec);
    if (n > kMaxSize) fire_bad_to(spec);
    const Cell* items = block::rs_head(spec);
    Bytes b{std::max(n, kMinSize), {}};
    for (int32_t i = 0; i < n; i++) {
        const Cell* item = items + i;
        switch (cell::type_of(item)) {
        case T::Integer:
        case T::Char: b.v[i] = cell::get_int(item); break;
        case T::Float: {
            const double d = cell::get_double(item);
            if (!(d > -1.0 && d < 256.0)) fire_bad_to(spec);  // NaN fails too
            b.v[i] = static_cast<int32_t>(d);
            break;
        }
        default: fire_bad_to(spec);
        }
        if (b.v[i] < 0 || b.v[i] > 255) fire_bad_to(spec);
    }
    return b;
}

// The issue's name read as a colour: 3 digits (each doubled), 6 or 8 digits (two per byte).
// Any other length or a character that is not an ASCII hexadecimal digit raises script
// invalid-data with the issue.
Bytes from_issue(const Cell* spec) {
    const Cell named = *spec;
    const auto* name = reinterpret_cast<const uint8_t*>(symbol::utf8_name(named.w2));
    const size_t length = symbol::name_length(named.w2);
    if (length != 3 && length != 6 && length != 8) fire(Err::InvalidData, &named);
    int32_t digits[8];
    for (size_t i = 0; i < length; i++) {
        digits[i] = issue::hex_digit(name[i]);
        if (digits[i] < 0) fire(Err::InvalidData, &named);
    }
    Bytes b{length == 8 ? 4 : 3, {}};
    for (int32_t i = 0; i < b.size; i++)
        b.v[i] = length == 3 ? digits[i] * 17 : digits[2 * i] * 16 + digits[2 * i + 1];
    return b;
}

// The first value the text loads as; it must be a tuple. Allocates.
Cell from_text(const Cell* spec) {
    Cell loaded;
    hooks::load_text(&loaded, spec);
    if (block::rs_length(&loaded) < 1) fire_bad_to(spec);
    const Cell first = *block::rs_head(&loaded);
    if (!cell::is(&first, T::Tuple)) fire_bad_to(spec);
    return first;
}

// The byte one operation gives: a float operand goes through the float arithmetic and is
// truncated (a NaN as 0), an integer one through 64-bit integer arithmetic, which cannot
// overflow for a byte and a 32-bit operand; both are clamped when written.
int32_t clamp_double(double r) {
    if (std::isnan(r)) return 0;
    if (r >= 255.0) return 255;
    if (r <= 0.0) return 0;
    return static_cast<int32_t>(r);
}

int32_t integer_op(int32_t x, int32_t y, ArithOp op) {
    const int64_t a = x, b = y;
    int64_t r = 0;
    switch (op) {
    case ArithOp::Add: r = a + b; break;
    case ArithOp::Subtract: r = a - b; break;
    case ArithOp::Multiply: r = a * b; break;
    case ArithOp::Divide:
    case ArithOp::Remainder:
        if (b == 0) fire(Err::ZeroDivide);
        r = op == ArithOp::Divide ? a / b : a % b;
        break;
    case ArithOp::Or: r = a | b; break;
    case ArithOp::And: r = a & b; break;
    case ArithOp::Xor: r = a ^ b; break;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(r, 0, 255));
}

}  // namespace

// ---- Makers ----

void set(Cell* c, int32_t size, uint32_t w1, uint32_t w2, uint32_t w3) {
    *c = Cell{static_cast<uint32_t>(T::Tuple) | (static_cast<uint32_t>(size) << kSizeShift), w1,
              w2, w3};
}

Cell* push(int32_t size, uint32_t w1, uint32_t w2, uint32_t w3) {
    Cell* c = stack::reserve();
    set(c, size, w1, w2, w3);
    return c;
}

Cell* make_in(Cell* block, int32_t size, uint32_t w1, uint32_t w2, uint32_t w3) {
    Cell* c = block::alloc_tail(block);
    set(c, size, w1, w2, w3);
    return c;
}

Cell* set_list(Cell* c, int32_t count, const int32_t* values) {
    Bytes b{std::max(count, kMinSize), {}};
    for (int32_t i = 0; i < count && i < kMaxSize; i++) b.v[i] = values[i] & 0xFF;
    *c = Cell{static_cast<uint32_t>(T::Tuple), 0, 0, 0};
    write(c, b);
    return c;
}

Cell* push_list(int32_t count, const int32_t* values) {
    return set_list(stack::reserve(), count, values);
}

Cell* set_channels(Cell* c, int32_t r, int32_t g, int32_t b, int32_t a) {
    const int32_t values[] = {r, g, b, a};
    return set_list(c, a == -1 ? 3 : 4, values);
}

bool is_zero(const Cell* c) { return c->w1 == 0 && c->w2 == 0 && c->w3 == 0; }

// ---- Arithmetic ----

void math_op(ArithOp op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    if (!cell::is(a, T::Tuple)) {
        if (op == ArithOp::Subtract)
            integer::fire_word_type(Err::NotRelated, &words::w::subtract, cell::type_of(a));
        if (op == ArithOp::Divide)
            integer::fire_word_type(Err::NotRelated, &words::w::divide, cell::type_of(a));
        std::swap(*a, *b);
    }
    Bytes left = read(a);
    switch (cell::type_of(b)) {
    case T::Tuple: {
        const Bytes right = read(b);
        left.size = std::max(left.size, right.size);
        for (int32_t i = 0; i < left.size; i++) left.v[i] = integer_op(left.v[i], right.v[i], op);
        break;
    }
    case T::Integer: {
        const int32_t n = cell::get_int(b);
        for (int32_t i = 0; i < left.size; i++) left.v[i] = integer_op(left.v[i], n, op);
        break;
    }
    case T::Float:
    case T::Percent: {
        const double x = cell::get_double(b);
        for (int32_t i = 0; i < left.size; i++)
            left.v[i] = clamp_double(floating::do_op(left.v[i], x, op));
        break;
    }
    default: integer::fire_with_type(Err::InvalidType, cell::type_of(b));
    }
    write(a, left);
}

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId) {
    const T t = cell::type_of(spec);
    Cell result{};
    switch (t) {
    case T::Tuple: result = *spec; break;
    case T::Block:
    case T::Paren:
    case T::Hash: write(&result, from_block(spec)); break;
    case T::Issue: write(&result, from_issue(spec)); break;
    case T::Binary: {
        const int32_t n = std::min(binary::rs_length(spec), kMaxSize);
        Bytes b{std::max(n, kMinSize), {}};
        const uint8_t* head = binary::rs_head(spec);
        for (int32_t i = 0; i < n; i++) b.v[i] = head[i];
        write(&result, b);
        break;
    }
    default:
        if (!integer::is_text(t)) fire_bad_to(spec);
        result = from_text(spec);
    }
    *proto = result;
    return proto;
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::mt_seed(value->w1 ^ value->w2 ^ value->w3);
        unset::set(value);
        return value;
    }
    Bytes b = read(value);
    for (int32_t i = 0; i < b.size; i++) b.v[i] = random::random_in_range(secure, b.v[i] + 1) - 1;
    write(value, b);
    return value;
}

// The bytes are read before the first append, which may move the buffer holding the value.
int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    const Bytes b = read(value);
    for (int32_t i = 0; i < b.size; i++) {
        if (i > 0) budget = string::emit(buffer, ".", budget);
        budget = string::emit(buffer, integer::to_cstr(b.v[i]), budget);
    }
    return budget;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget, int32_t) {
    return form(value, buffer, part, budget);
}

int32_t compare(Cell* a, Cell* b, CompareOp) {
    if (!cell::is(b, T::Tuple)) return kNotComparable;
    const Bytes x = read(a);
    const Bytes y = read(b);
    const int32_t n = std::max(x.size, y.size);
    for (int32_t i = 0; i < n; i++)
        if (x.v[i] != y.v[i]) return x.v[i] < y.v[i] ? -1 : 1;
    return 0;
}

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool, bool,
                        bool notify) {
    if (!cell::is(element, T::Integer)) integer::fire_with_type(Err::InvalidType, cell::type_of(element));
    if (!value) return pick(parent, cell::get_int(element), element);
    const T vt = cell::type_of(value);
    if (vt != T::Integer && vt != T::None) integer::fire_with_type(Err::InvalidType, vt);
    const int32_t index = cell::get_int(element);
    Bytes b = read(parent);
    if (index < 1 || index > b.size) fire(Err::OutOfRange, element);
    if (vt == T::Integer) {
        b.v[index - 1] = cell::get_int(value);
    } else {
        std::fill(b.v + index - 1, b.v + kMaxSize, 0);
        b.size = index - 1;
    }
    write(parent, b);
    if (grandparent) path::store_back(parent, path, grandparent, element_cell, position, case_, notify);
    return value;
}

void complement(Cell* value) {
    Bytes b = read(value);
    for (int32_t i = 0; i < b.size; i++) b.v[i] = 255 - b.v[i];
    write(value, b);
}

int32_t length(Cell* value) { return size_of(value); }

const Cell* pick(Cell* series, int32_t index, Cell* index_arg) {
    if (index < 1 || index > size_of(series)) {
        Cell shown;
        if (index_arg) shown = *index_arg;
        else integer::set(&shown, index);
        fire(Err::OutOfRange, &shown);
    }
    return integer::push(byte_at(series, index - 1));
}

Cell* reverse(Cell* series, Cell* part, Cell* skip) {
    Bytes b = read(series);
    int32_t n = b.size;
    if (part) {
        if (!cell::is(part, T::Integer)) fire(Err::InvalidRefineArg, &words::w::part, part);
        if (cell::get_int(part) < 0) fire(Err::OutOfRange, part);
        n = std::min(n, cell::get_int(part));
    }
    int32_t unit = 1;
    if (skip) {
        if (!cell::is(skip, T::Integer)) fire(Err::InvalidRefineArg, &words::w::skip, skip);
        unit = cell::get_int(skip);
        if (unit < 1) fire(Err::OutOfRange, skip);
        if (n % unit != 0) fire(Err::InvalidRefineArg, &words::w::skip, skip);
    }
    const Bytes was = b;
    const int32_t groups = n / unit;
    for (int32_t g = 0; g < groups; g++)
        for (int32_t k = 0; k < unit; k++) b.v[g * unit + k] = was.v[(groups - 1 - g) * unit + k];
    write(series, b);
    return series;
}

constexpr TypeRecord kRecord{
    .id = TypeId::Tuple,
    .parent = TypeId::Invalid,
    .name = "tuple!",
    .make = tuple::make,
    .random = tuple::random,
    .to = tuple::make,
    .form = tuple::form,
    .mold = tuple::mold,
    .path_access = tuple::path_access,
    .compare = tuple::compare,
    .add = tuple::math_slot<ArithOp::Add>,
    .divide = tuple::math_slot<ArithOp::Divide>,
    .multiply = tuple::math_slot<ArithOp::Multiply>,
    .remainder = tuple::math_slot<ArithOp::Remainder>,
    .subtract = tuple::math_slot<ArithOp::Subtract>,
    .and_ = tuple::math_slot<ArithOp::And>,
    .complement = tuple::complement,
    .or_ = tuple::math_slot<ArithOp::Or>,
    .xor_ = tuple::math_slot<ArithOp::Xor>,
    .length_q = tuple::length,
    .pick = tuple::pick,
    .reverse = tuple::reverse,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::tuple
