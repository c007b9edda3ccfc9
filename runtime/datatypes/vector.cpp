// vector!: element encoding, making, the text forms, comparison, element-wise arithmetic,
// insertion and change. Positions are element indexes from the buffer's `offset`; raw pointers
// are taken after an action's last allocation. Every modifying action tells the vector's owner
// before and after the change.
#include "runtime/datatypes/vector.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/hooks.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/sort.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::vector {

using memory::SeriesBuf;
using ownership::Notice;

namespace {

using T = TypeId;
using integer::fire_with_type;
using integer::fire_word_type;

constexpr int64_t kMaxBytes = 2147483647;
constexpr size_t round16(size_t n) { return (n + 15) & ~size_t{15}; }

bool is_int_class(T t) { return t == T::Char || t == T::Integer; }
bool is_float_class(T t) { return t == T::Float || t == T::Percent; }
bool is_number(T t) { return is_int_class(t) || is_float_class(t); }
// The unit of the short literal form, and of a vector made from values alone.
uint32_t default_unit(T elem) { return is_int_class(elem) ? 4 : 8; }
bool is_block_like(T t) { return t == T::Block || t == T::Paren || t == T::Hash; }

uint32_t unit_of(NodeId node) { return memory::buf(node)->unit(); }
int32_t used_units(NodeId node) {
    const SeriesBuf* b = memory::buf(node);
    return static_cast<int32_t>(b->used() / b->unit());
}
int32_t head_in(const Cell* vec) {
    return std::clamp(cell::head(vec), 0, used_units(cell::node(vec)));
}
uint8_t* elem_at(NodeId node, int32_t index) {
    SeriesBuf* b = memory::buf(node);
    return b->offset_ptr() + static_cast<size_t>(index) * b->unit();
}

// Where a vector's elements from its head lie, by node and index: it stays right across
// allocations, which move only the bytes.
struct Elements {
    NodeId node;
    T elem;
    uint32_t unit;
    int32_t start;  // the head, within the buffer
    int32_t count;  // from the head to the tail
};
Elements elements_of(const Cell* vec) {
    const NodeId node = cell::node(vec);
    const int32_t start = head_in(vec);
    return {node, elem_type(vec), unit_of(node), start, used_units(node) - start};
}

[[noreturn]] void fire_value(Err id, const Cell* value) {
    Cell copy = *value;
    fire(id, &copy);
}

int32_t read_int(const uint8_t* p, uint32_t unit, T elem) {
    if (unit == 1) return elem == T::Char ? p[0] : static_cast<int8_t>(p[0]);
    if (unit == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return elem == T::Char ? v : static_cast<int16_t>(v);
    }
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
double read_float(const uint8_t* p, uint32_t unit) {
    if (unit == 4) {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    double d;
    std::memcpy(&d, p, 8);
    return d;
}
// Little-endian host: the low bytes come first.
void write_int(uint8_t* p, uint32_t unit, int32_t v) { std::memcpy(p, &v, unit); }
void write_float(uint8_t* p, uint32_t unit, double d) {
    if (unit == 4) {
        const float f = static_cast<float>(d);
        std::memcpy(p, &f, 4);
    } else {
        std::memcpy(p, &d, 8);
    }
}

// A store's type check, before anything changes: a non-number is script invalid-type, a
// number of the other class script invalid-arg.
void check_store(T elem, const Cell* value) {
    const T t = cell::type_of(value);
    if (!is_number(t)) fire_with_type(Err::InvalidType, t);
    if (is_int_class(elem) != is_int_class(t)) fire_value(Err::InvalidArg, value);
}

// Room for `bytes` more bytes at the tail: a full buffer grows to the larger of the need and
// twice its size. A size beyond 32 bits raises internal no-memory.
SeriesBuf* reserve(NodeId node, int64_t bytes) {
    SeriesBuf* b = memory::buf(node);
    if (static_cast<int64_t>(b->used()) + bytes > kMaxBytes) fire(Err::NoMemory);
    const size_t more = static_cast<size_t>(bytes);
    if (b->tail + more <= b->size) return b;
    return memory::expand_series(node, round16(std::max(2 * b->size, b->used() + more)));
}

// ---- Arithmetic cores ----

int32_t int_op(int32_t a, int32_t b, ArithOp op) {
    const auto ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
    switch (op) {
    case ArithOp::Add: return static_cast<int32_t>(ua + ub);
    case ArithOp::Subtract: return static_cast<int32_t>(ua - ub);
    case ArithOp::Multiply: return static_cast<int32_t>(ua * ub);
    case ArithOp::Divide:
        if (b == 0) fire(Err::ZeroDivide);
        if (a == INT32_MIN && b == -1) fire(Err::Overflow);
        return a / b;
    case ArithOp::Remainder:
        if (b == 0) fire(Err::ZeroDivide);
        return b == -1 ? 0 : a % b;  // INT32_MIN % -1 traps in hardware
    case ArithOp::Or: return a | b;
    case ArithOp::And: return a & b;
    default: return a ^ b;
    }
}

ActionId action_of(ArithOp op) {
    switch (op) {
    case ArithOp::Or: return ActionId::Or;
    case ArithOp::And: return ActionId::And;
    default: return ActionId::Xor;
    }
}

bool is_bitwise(ArithOp op) {
    return op == ArithOp::Or || op == ArithOp::And || op == ArithOp::Xor;
}

[[noreturn]] void fire_float_bitwise(ArithOp op) {
    const Cell word = *word::push_global(symbol::make_cstr(action_word(action_of(op))));
    fire_word_type(Err::CannotUse, &word, T::Float);
}

// An operation that leaves every element as it is.
template <class N>
bool is_identity(ArithOp op, N s) {
    return ((op == ArithOp::Add || op == ArithOp::Subtract) && s == N{0}) ||
           ((op == ArithOp::Multiply || op == ArithOp::Divide) && s == N{1});
}

// The scalar of integer-class arithmetic: a float truncates toward zero.
int32_t int_scalar(const Cell* scalar) {
    const T t = cell::type_of(scalar);
    if (is_int_class(t)) return cell::get_int(scalar);
    const double d = cell::get_double(scalar);
    if (std::isnan(d) || d >= 2147483648.0 || d <= -2147483649.0)
        fire_value(Err::OutOfRange, scalar);
    return static_cast<int32_t>(d);
}

// ---- Values a store takes ----

// What insert and change store: `count` cells of a block from `start`, or the one value.
struct Source {
    NodeId block = 0;
    int32_t start = 0;
    int32_t count = 1;
    Cell single{};
    Cell value(int32_t j) const { return block ? block::at(block, start + j) : single; }
};

Source source_of(const Cell* value, bool any_path) {
    Source s;
    const T t = cell::type_of(value);
    if (is_block_like(t) || (any_path && series::is_any_block(t))) {
        s.block = cell::node(value);
        s.start = block::head_index(value);
        s.count = block::count(s.block) - s.start;
    } else {
        s.single = *value;
    }
    return s;
}

// Replaces `replaced` elements at `at` by the `count` values of the source (or the raw bytes
// `raw`, already in the vector's unit) repeated `dup` times; returns the index after them.
int32_t splice(Cell* vec, int32_t at, int32_t replaced, const Source& src,
               const std::vector<uint8_t>* raw, int32_t count, int32_t dup) {
    const NodeId node = cell::node(vec);
    const uint32_t unit = unit_of(node);
    const int32_t used = used_units(node);
    const int64_t total = static_cast<int64_t>(count) * dup;
    const int64_t now = used - replaced + total;
    if (now * unit > kMaxBytes) fire(Err::NoMemory);
    SeriesBuf* b = memory::buf(node);
    if (total > replaced) b = reserve(node, (total - replaced) * unit);
    uint8_t* base = b->offset_ptr();
    const size_t from = static_cast<size_t>(at + replaced) * unit;
    std::memmove(base + static_cast<size_t>(at + total) * unit, base + from,
                 static_cast<size_t>(used) * unit - from);
    b->tail = b->offset + static_cast<size_t>(now) * unit;
    uint8_t* out = base + static_cast<size_t>(at) * unit;
    if (raw) {
        std::memcpy(out, raw->data(), raw->size());
    } else {
        for (int32_t j = 0; j < count; j++) {
            const Cell v = src.value(j);
            set_elem(out + static_cast<size_t>(j) * unit, &v, unit);
        }
    }
    const size_t run = static_cast<size_t>(count) * unit;
    for (int32_t r = 1; r < dup; r++) std::memcpy(out + r * run, out, run);
    return static_cast<int32_t>(at + total);
}

// ---- Text ----

// The fewest digits of a float or percent element that load back to the same element: a
// 32-bit one read as a double and rounded, a percent the value times 100 (before its "%"),
// laid out without an exponent, which a percent literal cannot have.
const char* exact_text(const uint8_t* p, uint32_t unit, bool percent) {
    float_text::Digits d;
    if (unit == 4) {
        float f;
        std::memcpy(&f, p, 4);
        d = float_text::float32_to_digits(f, !percent);
    } else {
        d = float_text::float_to_digits(read_float(p, unit), 0, !percent);
    }
    return float_text::digits_form_text(d, !percent, percent ? 2 : 0, percent);
}

// The elements from the head, one space apart; chars as literals when `literal`, and numbers
// in their exact text.
int32_t emit_elems(const Cell* value, Cell* buffer, Cell* part, int32_t budget, bool literal) {
    const auto [node, elem, unit, start, n] = elements_of(value);
    char text[16];
    for (int32_t i = 0; i < n; i++) {
        if (part && budget <= 0) break;
        if (i > 0) budget = string::emit(buffer, " ", budget);
        // Read again each time: appending to the buffer may move the vector's bytes.
        const uint8_t* p = elem_at(node, start + i);
        switch (elem) {
        case T::Char: {
            const auto cp = static_cast<char32_t>(read_int(p, unit, elem));
            if (literal) string::append_cstr(buffer, "#\"");
            string::mold_char(buffer, cp, string::kEscapeControls, false);
            if (literal) string::append_cstr(buffer, "\"");
            budget -= literal ? 4 : 1;
            break;
        }
        case T::Integer:
            std::snprintf(text, sizeof text, "%d", read_int(p, unit, elem));
            budget = string::emit(buffer, text, budget);
            break;
        case T::Float: {
            const auto kind = unit == 4 ? floating::TextKind::Float32 : floating::TextKind::Float;
            const char* text =
                literal ? exact_text(p, unit, false) : floating::to_text(read_float(p, unit), kind);
            budget = string::emit(buffer, text, budget);
            break;
        }
        default:
            if (!literal) {
                budget = string::emit(buffer,
                                      floating::to_text(read_float(p, unit) * 100.0,
                                                        floating::TextKind::Percent),
                                      budget);
            } else {
                // A percent literal has no infinity or NaN: those keep the float! text.
                const bool special = floating::is_special(read_float(p, unit));
                budget = string::emit(buffer, exact_text(p, unit, true), budget);
                if (!special) budget = string::emit(buffer, "%", budget);
            }
            break;
        }
    }
    return budget;
}

// ---- Making ----

void fill_zero(Cell* vec, int32_t count) {
    const NodeId node = cell::node(vec);
    const uint32_t unit = unit_of(node);
    const int32_t have = used_units(node);
    if (count <= have) return;
    const int64_t bytes = static_cast<int64_t>(count - have) * unit;
    SeriesBuf* b = reserve(node, bytes);
    std::memset(b->tail_ptr(), 0, static_cast<size_t>(bytes));
    b->tail += static_cast<size_t>(bytes);
}

// The element type named by a word of the long form, or Invalid.
T named_type(const Cell* word) {
    const SymId sym = symbol::resolve(word::symbol_of(word));
    for (const auto& [name, t] : {std::pair{words::sym::integer_type, T::Integer},
                                  std::pair{words::sym::char_type, T::Char},
                                  std::pair{words::sym::float_type, T::Float},
                                  std::pair{words::sym::percent_type, T::Percent}})
        if (sym == symbol::resolve(name)) return t;
    return T::Invalid;
}

// The unit of a bit size for the element type, or 0 when the size does not fit it.
uint32_t unit_of_bits(T elem, int32_t bits) {
    if (elem == T::Percent) return 8;
    if (is_int_class(elem)) return bits == 8 || bits == 16 || bits == 32 ? bits / 8 : 0;
    return bits == 32 || bits == 64 ? bits / 8 : 0;
}

Cell* make_from_block(Cell* proto, const Cell& spec, TypeId type) {
    const NodeId bn = cell::node(&spec);
    const int32_t head = block::head_index(&spec);
    const int32_t n = block::count(bn) - head;
    if (n == 0) return make_at(proto, 0, T::Integer, 4);
    const Cell first = block::at(bn, head);
    T elem;
    uint32_t unit;
    int64_t count = 0;
    Source init;
    init.count = 0;
    if (cell::is(&first, T::Word)) {
        if (n < 2) fire_bad_make(type, &spec);
        elem = named_type(&first);
        if (elem == T::Invalid) fire_bad_make(type, &spec);
        int32_t i = head + 1;
        const Cell size = block::at(bn, i);
        if (cell::is(&size, T::Integer)) {
            unit = unit_of_bits(elem, integer::get(&size));
            if (!unit) fire_bad_make(type, &spec);
            i++;
        } else if (elem == T::Percent) {
            unit = 8;
        } else {
            fire_value(Err::InvalidSpecField, &spec);
        }
        const Cell next = i < head + n ? block::at(bn, i) : Cell{};
        if (i < head + n && cell::is(&next, T::Integer)) {
            count = integer::get(&next);
            const Cell after = i + 1 < head + n ? block::at(bn, i + 1) : Cell{};
            if (i + 1 < head + n && cell::is(&after, T::Block)) init = source_of(&after, false);
        } else if (i < head + n && cell::is(&next, T::Block)) {
            init = source_of(&next, false);
        } else {
            fire_value(Err::InvalidSpecField, &spec);
        }
    } else {
        elem = cell::type_of(&first);
        if (!is_number(elem)) fire_with_type(Err::InvalidType, elem);
        unit = default_unit(elem);
        init = source_of(&spec, false);
    }
    if (init.count >= count) count = init.count;
    make_at(proto, count, elem, unit);
    for (int32_t j = 0; j < init.count; j++) {
        const Cell v = init.value(j);
        append_value(proto, &v);
    }
    fill_zero(proto, static_cast<int32_t>(std::max<int64_t>(count, 0)));
    return proto;
}

void mark(const Cell* value) { collector::mark_bytes(cell::node(value)); }

}  // namespace

// ---- Makers ----

Cell* make_at(Cell* cell, int64_t count, TypeId elem, uint32_t unit) {
    const int64_t units = std::max<int64_t>(count, 1);
    if (units * unit > kMaxBytes) fire(Err::NoMemory);
    cell::set_header(cell, T::Unset);
    const NodeId node = memory::alloc_series(static_cast<size_t>(units), unit, 0);
    *cell = Cell{static_cast<uint32_t>(T::Vector), 0, node, static_cast<uint32_t>(elem)};
    return cell;
}

// ---- Elements ----

int32_t length(const Cell* vec) { return used_units(cell::node(vec)) - head_in(vec); }

void read_elem(const uint8_t* address, uint32_t unit, TypeId elem, Cell* out) {
    if (is_int_class(elem)) integer::set_typed(out, elem, read_int(address, unit, elem));
    else floating::set_typed(out, elem, read_float(address, unit));
}

Cell* push_elem(const uint8_t* address, uint32_t unit, TypeId elem) {
    Cell* c = stack::reserve();
    read_elem(address, unit, elem, c);
    return c;
}

void set_elem(uint8_t* address, const Cell* value, uint32_t unit) {
    const T t = cell::type_of(value);
    if (is_int_class(t)) write_int(address, unit, cell::get_int(value));
    else if (is_float_class(t)) write_float(address, unit, cell::get_double(value));
    else fire_with_type(Err::InvalidType, t);
}

void check_class(const Cell* vec, const Cell* value) { check_store(elem_type(vec), value); }

bool elem_equals(const Cell* vec, int32_t index, const Cell* value) {
    const T elem = elem_type(vec);
    const T t = cell::type_of(value);
    if (!is_number(t) || is_int_class(elem) != is_int_class(t)) return false;
    const uint8_t* p = elem_at(cell::node(vec), index);
    const uint32_t unit = unit_of(cell::node(vec));
    if (is_int_class(elem)) return read_int(p, unit, elem) == cell::get_int(value);
    return read_float(p, unit) == cell::get_double(value);
}

void sort_records(const Cell* vec, int32_t start, int32_t count, int32_t width, int32_t offset,
                  int32_t keys, bool reverse) {
    const NodeId node = cell::node(vec);
    const T elem = elem_type(vec);
    const uint32_t unit = unit_of(node);
    const bool floats = is_float_class(elem);
    // Every 32-bit integer is exact as a double.
    auto number = [&](int32_t i) {
        const uint8_t* p = elem_at(node, i);
        return floats ? read_float(p, unit) : static_cast<double>(read_int(p, unit, elem));
    };
    // -1, 0 or 1, a NaN after every number and equal to another NaN: a strict weak order.
    auto order = [](double x, double y) {
        if (std::isnan(x) || std::isnan(y)) return std::isnan(x) - std::isnan(y);
        return (x > y) - (x < y);
    };
    std::vector<int32_t> records(static_cast<size_t>(count / width));
    for (size_t r = 0; r < records.size(); r++)
        records[r] = start + static_cast<int32_t>(r) * width;
    std::stable_sort(records.begin(), records.end(), [&](int32_t a, int32_t b) {
        for (int32_t k = 0; k < keys; k++) {
            const int c = order(number(a + offset + k), number(b + offset + k));
            if (c != 0) return reverse ? c > 0 : c < 0;
        }
        return false;
    });
    const size_t bytes = static_cast<size_t>(width) * unit;
    std::vector<uint8_t> sorted(records.size() * bytes);
    for (size_t r = 0; r < records.size(); r++)
        std::memcpy(sorted.data() + r * bytes, elem_at(node, records[r]), bytes);
    std::memcpy(elem_at(node, start), sorted.data(), sorted.size());
}

namespace {

// The comparator's records are numbers into a copy of the elements kept outside collected
// memory, so the comparator may allocate, and even edit the vector, while nothing it sees moves.
struct CallSort {
    const Cell* function;  // an argument-stack cell
    const uint8_t* bytes;  // the copy
    T elem;
    uint32_t unit;
    int32_t width;         // elements per record
    bool reverse;
    const Cell* carriers;  // whole records: two vectors on the argument stack that hand them over
};

int32_t call_records(const void* a, const void* b, intptr_t context, intptr_t) {
    const CallSort& s = *reinterpret_cast<const CallSort*>(context);
    int32_t numbers[2] = {*static_cast<const int32_t*>(a), *static_cast<const int32_t*>(b)};
    if (!s.reverse) std::swap(numbers[0], numbers[1]);  // the function sees (second, first)
    Cell args[2];
    const size_t bytes = static_cast<size_t>(s.width) * s.unit;
    for (int k = 0; k < 2; k++) {
        const uint8_t* record = s.bytes + static_cast<size_t>(numbers[k]) * bytes;
        if (!s.carriers) {
            read_elem(record, s.unit, s.elem, &args[k]);
            continue;
        }
        args[k] = s.carriers[k];
        const NodeId node = cell::node(&args[k]);
        memory::buf(node)->tail = memory::buf(node)->offset;
        SeriesBuf* buf = reserve(node, static_cast<int64_t>(bytes));
        std::memcpy(buf->tail_ptr(), record, bytes);
        buf->tail += bytes;
    }
    return hooks::call_comparator(s.function, &args[0], &args[1]);
}

}  // namespace

void sort_by_function(const Cell* vec, int32_t start, int32_t count, int32_t width,
                      const Cell* function, bool whole, bool reverse, bool stable) {
    stack::Mark mark;
    const Cell* held = stack::push(function);
    const NodeId node = cell::node(vec);
    const T elem = elem_type(vec);
    const uint32_t unit = unit_of(node);
    const Cell* carriers = nullptr;
    if (whole) {
        carriers = make_at(stack::reserve(), width, elem, unit);
        make_at(stack::reserve(), width, elem, unit);  // the next cell: the second carrier
    }
    const size_t bytes = static_cast<size_t>(width) * unit;
    const uint8_t* from = elem_at(node, start);
    const std::vector<uint8_t> copy(from, from + static_cast<size_t>(count) * unit);
    const CallSort spec{held, copy.data(), elem, unit, width, reverse, carriers};
    const std::vector<int32_t> order = sort::order_records(
        static_cast<size_t>(count / width), stable, reinterpret_cast<intptr_t>(&spec), call_records);
    const int32_t fit = std::clamp(used_units(node) - start, 0, count) / width;
    for (int32_t r = 0; r < fit; r++) {
        const size_t number = static_cast<size_t>(order[static_cast<size_t>(r)]);
        std::memcpy(elem_at(node, start + r * width), copy.data() + number * bytes, bytes);
    }
    mark.restore();
}

// ---- Writers ----

void append_value(Cell* vec, const Cell* value) {
    const Cell v = *value;
    if (cell::type_of(&v) != elem_type(vec)) fire_value(Err::InvalidArg, &v);
    const NodeId node = cell::node(vec);
    const uint32_t unit = unit_of(node);
    SeriesBuf* b = reserve(node, unit);
    set_elem(b->tail_ptr(), &v, unit);
    b->tail += unit;
}

void append_int32(Cell* vec, int32_t value) {
    SeriesBuf* b = reserve(cell::node(vec), 4);
    write_int(b->tail_ptr(), 4, value);
    b->tail += 4;
}

void set_tail(Cell* vec) {
    SeriesBuf* b = memory::buf_of(vec);
    b->tail = b->offset + static_cast<size_t>(head_in(vec)) * b->unit();
}

// ---- Conversions and arithmetic ----

void to_block(const Cell* vec, Cell* block) {
    const auto [node, elem, unit, start, n] = elements_of(vec);
    block::make_at(block, std::max(n, 1));
    for (int32_t i = 0; i < n; i++) {
        Cell e;
        read_elem(elem_at(node, start + i), unit, elem, &e);
        block::append_cell(block, &e);
    }
}

Cell* scalar_op(ArithOp op, Cell* vec, const Cell* scalar, bool scalar_left) {
    const T st = cell::type_of(scalar);
    if (!is_number(st)) fire_with_type(Err::InvalidType, st);
    const bool floats = is_float_class(elem_type(vec));
    const double fscalar = !floats           ? 0.0
                           : is_int_class(st) ? cell::get_int(scalar)
                                              : cell::get_double(scalar);
    const int32_t iscalar = floats ? 0 : int_scalar(scalar);
    if (!scalar_left && (floats ? is_identity(op, fscalar) : is_identity(op, iscalar))) return vec;
    if (floats && length(vec) > 0 && is_bitwise(op)) fire_float_bitwise(op);
    const Notice notice(vec, words::w::change, nullptr, head_in(vec), length(vec));
    // An owner's handler may have changed the vector: its elements are read again.
    const auto [node, elem, unit, start, n] = elements_of(vec);
    for (int32_t i = 0; i < n; i++) {
        uint8_t* p = elem_at(node, start + i);
        if (floats) {
            const double x = read_float(p, unit);
            write_float(p, unit, scalar_left ? floating::do_op(fscalar, x, op)
                                             : floating::do_op(x, fscalar, op));
        } else {
            const int32_t x = read_int(p, unit, elem);
            write_int(p, unit, scalar_left ? int_op(iscalar, x, op) : int_op(x, iscalar, op));
        }
    }
    notice.done(words::w::changed);
    return vec;
}

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    const Cell given = *spec;
    switch (cell::type_of(&given)) {
    case T::Integer:
    case T::Float: {
        const int32_t count = float_to_int_checked(&given);
        make_at(proto, count, T::Integer, 4);
        fill_zero(proto, count);
        return proto;
    }
    case T::Block: return make_from_block(proto, given, type);
    default: fire_bad_make(type, &given);
    }
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    return emit_elems(value, buffer, part, budget, false);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool, Cell* part, int32_t budget,
             int32_t) {
    const NodeId node = cell::node(value);
    const T elem = elem_type(value);
    const uint32_t unit = unit_of(node);
    if (!only) budget = string::emit(buffer, "make vector! [", budget);
    const bool short_form = used_units(node) > 0 && unit == default_unit(elem);
    if (!short_form) {
        char head[32];
        std::snprintf(head, sizeof head, "%s %u [", type_name(elem), unit * 8);
        budget = string::emit(buffer, head, budget);
    }
    budget = emit_elems(value, buffer, part, budget, true);
    if (!short_form) budget = string::emit(buffer, "]", budget);
    if (!only) budget = string::emit(buffer, "]", budget);
    return budget;
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Vector)) return kNotComparable;
    const T elem = elem_type(a);
    if (elem != elem_type(b)) fire(Err::NotSameType);
    const bool equality = op == CompareOp::Equal || op == CompareOp::NotEqual ||
                          op == CompareOp::StrictEqual || op == CompareOp::FindEqual;
    const bool same_place = cell::node(a) == cell::node(b) && cell::head(a) == cell::head(b);
    if (op == CompareOp::Same) return same_place ? 0 : -1;
    const int32_t la = length(a), lb = length(b);
    if (equality && la != lb) return 1;
    const NodeId na = cell::node(a), nb = cell::node(b);
    const uint32_t ua = unit_of(na), ub = unit_of(nb);
    const int32_t ha = head_in(a), hb = head_in(b);
    const bool floats = is_float_class(elem);
    for (int32_t i = 0; i < std::min(la, lb); i++) {
        const uint8_t* pa = elem_at(na, ha + i);
        const uint8_t* pb = elem_at(nb, hb + i);
        if (floats) {
            const double x = read_float(pa, ua), y = read_float(pb, ub);
            if (std::isnan(x) || std::isnan(y)) return 1;  // a NaN equals nothing, not itself
            if (x != y) return x < y ? -1 : 1;
        } else {
            const int32_t x = read_int(pa, ua, elem), y = read_int(pb, ub, elem);
            if (x != y) return x < y ? -1 : 1;
        }
    }
    if (same_place && equality) return 0;
    return (la > lb) - (la < lb);
}

template <ArithOp Op>
void math_slot() {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    if (!cell::is(b, T::Vector)) {
        scalar_op(Op, a, b, false);
        return;
    }
    const T elem = elem_type(a);
    if (elem != elem_type(b)) fire(Err::NotSameType);
    const NodeId na = cell::node(a), nb = cell::node(b);
    const uint32_t ua = unit_of(na), ub = unit_of(nb), unit = std::max(ua, ub);
    const int32_t n = std::min(length(a), length(b));
    stack::Mark mark;
    Cell* out = make_at(stack::reserve(), n, elem, unit);
    const NodeId node = cell::node(out);
    const int32_t ha = head_in(a), hb = head_in(b);
    if (is_float_class(elem) && n > 0 && is_bitwise(Op)) fire_float_bitwise(Op);
    for (int32_t i = 0; i < n; i++) {
        const uint8_t* pa = elem_at(na, ha + i);
        const uint8_t* pb = elem_at(nb, hb + i);
        uint8_t* p = elem_at(node, i);
        if (is_float_class(elem))
            write_float(p, unit, floating::do_op(read_float(pa, ua), read_float(pb, ub), Op));
        else
            write_int(p, unit, int_op(read_int(pa, ua, elem), read_int(pb, ub, elem), Op));
    }
    memory::buf(node)->tail += static_cast<size_t>(n) * unit;
    a->w1 = 0;
    a->w2 = node;
    mark.restore();
}

Cell* insert(Cell* series, Cell* value, int32_t part, bool, int32_t dup, bool append) {
    if (dup <= 0) return series;
    cell::set_head(series, head_in(series));
    const T elem = elem_type(series);
    Source src = source_of(value, false);
    if (src.block && src.count == 0) return series;
    if (src.block && part > 0 && part < src.count) src.count = part;
    for (int32_t j = 0; j < src.count; j++) {
        const Cell v = src.value(j);
        check_store(elem, &v);
    }
    const int64_t total = static_cast<int64_t>(src.count) * dup;
    if ((used_units(cell::node(series)) + total) * unit_of(cell::node(series)) > kMaxBytes)
        fire(Err::NoMemory);
    const int32_t at = append ? used_units(cell::node(series)) : head_in(series);
    const Notice notice(series, append ? words::w::append : words::w::insert, value, at,
                        static_cast<int32_t>(total));
    // An owner's handler may have changed the vector: positions are read again.
    const int32_t end = splice(series, append ? used_units(cell::node(series)) : head_in(series),
                               0, src, nullptr, src.count, dup);
    notice.done(append ? words::w::appended : words::w::inserted);
    if (!append) cell::set_head(series, end);
    return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool, int32_t dup) {
    if (dup <= 0) return series;
    cell::set_head(series, head_in(series));
    const T elem = elem_type(series);
    const NodeId node = cell::node(series);
    const uint32_t unit = unit_of(node);
    Source src;
    std::vector<uint8_t> raw;  // a vector source, converted to this vector's unit
    if (cell::is(value, T::Vector)) {
        if (elem_type(value) != elem) fire(Err::NotSameType);
        const NodeId from = cell::node(value);
        const uint32_t from_unit = unit_of(from);
        src.count = length(value);
        raw.resize(static_cast<size_t>(src.count) * unit);
        const int32_t start = head_in(value);
        for (int32_t j = 0; j < src.count; j++) {
            Cell e;
            read_elem(elem_at(from, start + j), from_unit, elem, &e);
            set_elem(raw.data() + static_cast<size_t>(j) * unit, &e, unit);
        }
    } else {
        src = source_of(value, true);
        for (int32_t j = 0; j < src.count; j++) {
            const Cell v = src.value(j);
            check_store(elem, &v);
        }
    }
    const int32_t at = head_in(series);
    const int32_t room = used_units(node) - at;
    const int64_t total = static_cast<int64_t>(src.count) * dup;
    const int32_t replaced = part < 0 ? static_cast<int32_t>(std::min<int64_t>(total, room))
                                      : std::min(part, room);
    const Notice notice(series, words::w::change, value, at, replaced);
    const int32_t now = head_in(series);
    const int32_t end = splice(series, now, std::min(replaced, used_units(node) - now), src,
                               cell::is(value, T::Vector) ? &raw : nullptr, src.count, dup);
    notice.done(words::w::changed);
    cell::set_head(series, std::min(end, used_units(node)));
    return series;
}

template void math_slot<ArithOp::Add>();
template void math_slot<ArithOp::Subtract>();
template void math_slot<ArithOp::Multiply>();
template void math_slot<ArithOp::Divide>();
template void math_slot<ArithOp::Remainder>();
template void math_slot<ArithOp::Or>();
template void math_slot<ArithOp::And>();
template void math_slot<ArithOp::Xor>();

// ---- Registration ----

constexpr TypeRecord kRecord{
    .id = T::Vector,
    .parent = T::String,
    .name = "vector!",
    .make = vector::make,
    .random = kInherited,
    .reflect = kInherited,
    .form = vector::form,
    .mold = vector::mold,
    .path_access = kInherited,
    .compare = vector::compare,
    .add = math_slot<ArithOp::Add>,
    .divide = math_slot<ArithOp::Divide>,
    .multiply = math_slot<ArithOp::Multiply>,
    .remainder = math_slot<ArithOp::Remainder>,
    .subtract = math_slot<ArithOp::Subtract>,
    .and_ = math_slot<ArithOp::And>,
    .or_ = math_slot<ArithOp::Or>,
    .xor_ = math_slot<ArithOp::Xor>,
    .append = vector::insert,
    .at = kInherited,
    .back = kInherited,
    .change = vector::change,
    .clear = kInherited,
    .copy = kInherited,
    .find = kInherited,
    .head = kInherited,
    .head_q = kInherited,
    .index_q = kInherited,
    .insert = vector::insert,
    .length_q = kInherited,
    .move = kInherited,
    .next = kInherited,
    .pick = kInherited,
    .poke = kInherited,
    .remove = kInherited,
    .reverse = kInherited,
    .select = kInherited,
    .sort = kInherited,
    .skip = kInherited,
    .tail = kInherited,
    .tail_q = kInherited,
    .take = kInherited,
    .modify = kInherited,
    .mark = mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::vector
