// binary!: storage helpers, the bytes a value contributes, the text form, comparison, insertion
// and change, trim and the bitwise actions. Positions are byte indexes from the buffer's
// `offset`; raw pointers are taken after an action's last allocation. Every modifying action
// tells the binary's owner before and after the change.
#include "runtime/datatypes/binary.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/base_codecs.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/unicode.h"
#include "runtime/words.h"

namespace nuv::binary {

using memory::SeriesBuf;
using ownership::Notice;

namespace {

using T = TypeId;

constexpr size_t round16(size_t n) { return (n + 15) & ~size_t{15}; }
constexpr int64_t kMaxBytes = 2147483647;
constexpr char kHexUpper[] = "0123456789ABCDEF";
// A binary of this many bytes or more molds over lines of kLineBytes bytes.
constexpr int32_t kLinesFrom = 31;
constexpr int32_t kLineBytes = 32;

int32_t used_of(NodeId node) { return static_cast<int32_t>(memory::buf(node)->used()); }
// The head as the actions use it: inside 0 .. tail.
int32_t head_in(const Cell* bin) {
    return std::clamp(cell::head(bin), 0, used_of(cell::node(bin)));
}

bool is_text(T t) { return series::is_any_string(t); }
bool is_block_like(T t) { return t == T::Block || t == T::Paren || t == T::Hash; }

[[noreturn]] void fire_value(Err id, const Cell* value) {
    Cell copy = *value;
    fire(id, &copy);
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

// Replaces `replaced` bytes at `at` by a gap of `length` bytes, the rest moving up or down;
// returns the gap's address (valid until the next allocation).
uint8_t* open_gap(NodeId node, int32_t at, int32_t replaced, int64_t length) {
    SeriesBuf* b = memory::buf(node);
    if (length > replaced) b = reserve(node, length - replaced);
    uint8_t* base = b->offset_ptr();
    const size_t used = b->used();
    const size_t from = static_cast<size_t>(at) + static_cast<size_t>(replaced);
    std::memmove(base + at + length, base + from, used - from);
    b->tail = b->offset + used - static_cast<size_t>(replaced) + static_cast<size_t>(length);
    return base + at;
}

// Appends `count` bytes of the node's buffer from byte `start` to the binary.
void append_from(Cell* out, NodeId node, int32_t start, int64_t count) {
    if (count <= 0) return;
    SeriesBuf* b = reserve(cell::node(out), count);
    std::memcpy(b->tail_ptr(), memory::buf(node)->offset_ptr() + start, static_cast<size_t>(count));
    b->tail += static_cast<size_t>(count);
}

// The byte an integer! writes: -128..255, the negative ones as their low 8 bits.
uint8_t integer_byte(const Cell* value) {
    const int32_t v = cell::get_int(value);
    if (v < -128 || v > 255) fire_value(Err::InvalidArg, value);
    return static_cast<uint8_t>(v);
}

// The UTF-8 of a text from its head, at most `cap` bytes (a sequence may be cut at the cap),
// appended to `out` (nullptr: counted only). The text cell must not lie in a series buffer.
int64_t text_bytes(Cell* out, const Cell* text, int64_t cap) {
    const uint32_t unit = string::unit_of(text);
    const uint8_t* p = string::head_ptr(text);
    const size_t size =
        unicode::utf8_size_of_units(p, p + static_cast<size_t>(string::length(text)) * unit, unit);
    const int64_t n = std::min<int64_t>(static_cast<int64_t>(size), cap);
    if (!out || n == 0) return n;
    SeriesBuf* b = reserve(cell::node(out), n);
    unicode::string_write_utf8_bounded(text, b->tail_ptr(), static_cast<size_t>(n), -1, false);
    b->tail += static_cast<size_t>(n);
    return n;
}

int64_t small_bytes(Cell* out, const uint8_t* bytes, int64_t count) {
    if (out && count > 0) append_bytes(out, bytes, static_cast<size_t>(count));
    return count;
}

// What an insert or change writes: `count` bytes of a buffer from `start`, or with node 0 the
// inline bytes.
struct Bytes {
    NodeId node = 0;
    int32_t start = 0;
    int32_t count = 0;
    uint8_t inline_bytes[4]{};
};

// The value's bytes, at most `limit` (-1: all). Values other than a char, an integer or a
// binary are gathered into a scratch binary pushed on the argument stack: the caller restores
// the stack afterwards.
Bytes bytes_of(const Cell* value, int32_t limit, Mode mode) {
    const int64_t cap = limit < 0 ? kMaxBytes : limit;
    Bytes b;
    switch (cell::type_of(value)) {
    case T::Integer:
        b.inline_bytes[0] = integer_byte(value);
        b.count = static_cast<int32_t>(std::min<int64_t>(1, cap));
        return b;
    case T::Char: {
        const int n = unicode::utf8_encode_char(character::get(value), b.inline_bytes);
        b.count = static_cast<int32_t>(std::min<int64_t>(n, cap));
        return b;
    }
    case T::Binary:
        b.node = cell::node(value);
        b.start = head_in(value);
        b.count = static_cast<int32_t>(std::min<int64_t>(rs_length(value), cap));
        return b;
    default: {
        Cell* scratch = make_at(stack::reserve(), 16);
        value_to_bytes(scratch, value, cap, mode);
        b.node = cell::node(scratch);
        b.count = used_of(b.node);
        return b;
    }
    }
}

// Replaces `replaced` bytes at `at` of the series' buffer by `dup` copies of the bytes.
// Returns the index just after the written bytes. A size beyond 32 bits raises internal
// no-memory.
int32_t splice(Cell* series, int32_t at, int32_t replaced, Bytes bytes, int32_t dup) {
    const NodeId target = cell::node(series);
    if (bytes.node == target && bytes.count > 0) {
        // The bytes lie in the buffer about to shift: write from a copy of them.
        bytes.node = memory::series_copy_range(target, static_cast<size_t>(bytes.start),
                                               static_cast<size_t>(bytes.count));
        *stack::reserve() = Cell{static_cast<uint32_t>(T::Binary), 0, bytes.node, 0};
        bytes.start = 0;
    }
    const int64_t total = static_cast<int64_t>(bytes.count) * dup;
    if (total > kMaxBytes || used_of(target) - replaced + total > kMaxBytes) fire(Err::NoMemory);
    uint8_t* dest = open_gap(target, at, replaced, total);
    if (bytes.count > 0) {
        const uint8_t* from =
            bytes.node ? memory::buf(bytes.node)->offset_ptr() + bytes.start : bytes.inline_bytes;
        std::memcpy(dest, from, static_cast<size_t>(bytes.count));
        fill_pattern(dest, static_cast<size_t>(total), static_cast<size_t>(bytes.count));
    }
    return at + static_cast<int32_t>(total);
}


// and~, or~ and xor~ over the bytes from the two heads; the longer operand's rest is copied
// (or~, xor~) or becomes zero bytes (and~).
void bitwise(ArithOp op) {
    Cell* a = stack::arg(0);
    const Cell* b = stack::arg(1);
    if (!cell::is(b, T::Binary)) fire_value(Err::InvalidArg, b);
    const int32_t la = rs_length(a);
    const int32_t lb = rs_length(b);
    const int32_t n = std::max(la, lb);
    Cell* out = make_at(stack::reserve(), static_cast<size_t>(n));
    // No allocation from here on.
    uint8_t* w = memory::buf_of(out)->offset_ptr();
    const uint8_t* pa = rs_head(a);
    const uint8_t* pb = rs_head(b);
    const int32_t common = std::min(la, lb);
    for (int32_t i = 0; i < common; i++) {
        switch (op) {
        case ArithOp::And: w[i] = pa[i] & pb[i]; break;
        case ArithOp::Or: w[i] = pa[i] | pb[i]; break;
        default: w[i] = pa[i] ^ pb[i]; break;
        }
    }
    const uint8_t* rest = la > lb ? pa : pb;
    if (op == ArithOp::And) std::memset(w + common, 0, static_cast<size_t>(n - common));
    else std::memcpy(w + common, rest + common, static_cast<size_t>(n - common));
    memory::buf_of(out)->tail += static_cast<size_t>(n);
    *a = *out;
}

void mark(const Cell* value) { collector::mark_bytes(cell::node(value)); }

}  // namespace

// ---- Makers ----

Cell* make_at(Cell* cell, size_t size) {
    cell::set_header(cell, T::Unset);
    const NodeId node = memory::alloc_series(size ? size : 1, 1, 0);
    *cell = Cell{static_cast<uint32_t>(T::Binary), 0, node, 0};
    return cell;
}

Cell* load(const uint8_t* bytes, size_t length, Cell* cell) {
    if (!cell) cell = stack::reserve();
    make_at(cell, length);
    SeriesBuf* b = memory::buf_of(cell);
    if (length) std::memcpy(b->offset_ptr(), bytes, length);
    b->tail = b->offset + length;
    return cell;
}

Cell* make_in_block(Cell* block, size_t size) {
    stack::Mark mark;
    const Cell* fresh = make_at(stack::reserve(), size);
    Cell* cell = block::append_cell(block, fresh);
    mark.restore();
    return cell;
}

// ---- Readers ----

int32_t rs_length(const Cell* bin) { return used_of(cell::node(bin)) - head_in(bin); }

const uint8_t* rs_head(const Cell* bin) {
    return memory::buf_of(bin)->offset_ptr() + head_in(bin);
}

const uint8_t* rs_tail(const Cell* bin) { return memory::buf_of(bin)->tail_ptr(); }

bool rs_is_tail(const Cell* bin) { return rs_length(bin) == 0; }

uint8_t byte_at(const Cell* bin, int32_t index) {
    return memory::buf_of(bin)->offset_ptr()[index];
}

void rs_skip(Cell* bin, int32_t n) {
    const int64_t at = static_cast<int64_t>(head_in(bin)) + n;
    cell::set_head(bin, static_cast<int32_t>(std::clamp<int64_t>(at, 0, used_of(cell::node(bin)))));
}

void rs_clear(Cell* bin) {
    SeriesBuf* b = memory::buf_of(bin);
    b->tail = b->offset + static_cast<size_t>(head_in(bin));
}

// ---- Writers ----

void append_bytes(Cell* bin, const uint8_t* bytes, size_t length) {
    if (length == 0) return;
    SeriesBuf* b = reserve(cell::node(bin), static_cast<int64_t>(length));
    std::memcpy(b->tail_ptr(), bytes, length);
    b->tail += length;
}

void insert_bytes(Cell* bin, size_t offset, const uint8_t* bytes, size_t length) {
    if (length == 0) return;
    const NodeId node = cell::node(bin);
    const int64_t at = std::min<int64_t>(head_in(bin) + static_cast<int64_t>(offset), used_of(node));
    uint8_t* gap = open_gap(node, static_cast<int32_t>(at), 0, static_cast<int64_t>(length));
    std::memcpy(gap, bytes, length);
}

void append_int32(Cell* bin, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                              static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    append_bytes(bin, bytes, sizeof bytes);
}

void write_at(Cell* bin, size_t offset, const uint8_t* bytes, size_t length) {
    const NodeId node = cell::node(bin);
    const int64_t at = static_cast<int64_t>(head_in(bin)) + static_cast<int64_t>(offset);
    const int64_t end = at + static_cast<int64_t>(length);
    const int64_t used = used_of(node);
    SeriesBuf* b = end > used ? reserve(node, end - used) : memory::buf(node);
    if (at > used) std::memset(b->offset_ptr() + used, 0, static_cast<size_t>(at - used));
    std::memcpy(b->offset_ptr() + at, bytes, length);
    if (end > used) b->tail = b->offset + static_cast<size_t>(end);
}

// ---- Values as bytes ----

uint8_t byte_arg(const Cell* value) {
    if (!cell::is(value, T::Integer) && !cell::is(value, T::Char))
        fire_value(Err::InvalidArg, value);
    return static_cast<uint8_t>(value->w2);
}

int64_t value_to_bytes(Cell* out, const Cell* value, int64_t limit, Mode mode) {
    const int64_t cap = limit < 0 ? INT64_MAX : limit;
    const Cell held = *value;  // the value may lie in a block buffer that moves
    const T t = cell::type_of(&held);
    switch (t) {
    case T::Integer: {
        const uint8_t byte = integer_byte(&held);
        return small_bytes(out, &byte, std::min<int64_t>(1, cap));
    }
    case T::Char: {
        uint8_t bytes[4];
        const int n = unicode::utf8_encode_char(character::get(&held), bytes);
        return small_bytes(out, bytes, std::min<int64_t>(n, cap));
    }
    case T::Binary: {
        const int64_t n = std::min<int64_t>(rs_length(&held), cap);
        if (out) append_from(out, cell::node(&held), head_in(&held), n);
        return n;
    }
    case T::Tuple: {
        uint8_t bytes[tuple::kMaxSize];
        const int32_t n = tuple::size_of(&held);
        for (int32_t i = 0; i < n; i++) bytes[i] = tuple::byte_at(&held, i);
        return small_bytes(out, bytes, std::min<int64_t>(n, cap));
    }
    default: break;
    }
    if (is_text(t)) return text_bytes(out, &held, cap);
    if (is_block_like(t)) {
        cycles::Guard guard;
        const NodeId node = cell::node(&held);
        cycles::push(node);  // a block that holds itself ends in internal too-deep
        int64_t total = 0;
        for (int32_t i = block::head_index(&held); i < block::count(node) && total < cap; i++) {
            const Cell item = block::at(node, i);
            total += value_to_bytes(out, &item, cap - total, mode);
        }
        return total;
    }
    if (mode == Mode::Insert) integer::fire_with_type(Err::BadToArg, T::Binary, &held);
    stack::Mark mark;
    const Cell formed = *form_value_push(&held, -1);
    const int64_t n = text_bytes(out, &formed, cap);
    mark.restore();
    return n;
}

// ---- For parse ----

bool matches_value(const Cell* bin, const Cell* value, CompareOp op) {
    const T t = cell::type_of(value);
    if (t == T::Char) {
        return rs_length(bin) > 0 && static_cast<char32_t>(*rs_head(bin)) == character::get(value);
    }
    if (t == T::Binary) return compare_raw(bin, value, op, true) == 0;
    if (!is_text(t)) return false;
    stack::Mark mark;
    Cell* bytes = make_at(stack::reserve(), 16);
    value_to_bytes(bytes, value, -1, Mode::Insert);
    const bool matched = compare_raw(bin, bytes, op, true) == 0;
    mark.restore();
    return matched;
}

bool test_byte(const Cell* bin, const Cell* bitset) {
    return rs_length(bin) > 0 && string::bitset_has(bitset, *rs_head(bin));
}

// ---- Comparison ----

int32_t compare_raw(const Cell* a, const Cell* b, CompareOp op, bool prefix) {
    const bool same = cell::node(a) == cell::node(b) && cell::head(a) == cell::head(b);
    if (op == CompareOp::Same) return same ? 0 : -1;
    const bool equality = op == CompareOp::Equal || op == CompareOp::NotEqual ||
                          op == CompareOp::StrictEqual || op == CompareOp::FindEqual;
    if (same && equality) return 0;
    const int32_t la = rs_length(a);
    const int32_t lb = rs_length(b);
    if (prefix) {
        if (lb == 0) return equality && op != CompareOp::NotEqual ? 0 : -1;
        if (la < lb) return -1;
    } else if (equality && la != lb) {
        return 1;
    }
    const int32_t n = std::min(la, lb);
    if (n > 0) {
        const int c = std::memcmp(rs_head(a), rs_head(b), static_cast<size_t>(n));
        if (c != 0) return c < 0 ? -1 : 1;
    }
    if (prefix) return 0;
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

// ---- Slots ----

Cell* to(Cell* proto, Cell* spec, TypeId) {
    stack::Mark mark;
    Cell* value = stack::push(spec);  // proto may be the spec: keep the value
    Cell* out = stack::reserve();
    const T t = cell::type_of(value);
    switch (t) {
    case T::Integer:
        make_at(out, 4);
        append_int32(out, cell::get_int(value));
        break;
    case T::Float:
    case T::Percent: {
        const uint64_t bits = std::bit_cast<uint64_t>(cell::get_double(value));
        uint8_t bytes[8];
        for (int i = 0; i < 8; i++) bytes[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        load(bytes, sizeof bytes, out);
        break;
    }
    case T::Binary: {
        const NodeId copy =
            memory::series_copy_range(cell::node(value), static_cast<size_t>(head_in(value)),
                                      static_cast<size_t>(rs_length(value)));
        *out = Cell{static_cast<uint32_t>(T::Binary), 0, copy, 0};
        break;
    }
    case T::Issue: {
        const Cell name{static_cast<uint32_t>(T::String), 0,
                        symbol::cached_string(word::symbol_of(value)), 0};
        const NodeId bytes = base_codecs::decode(16, &name, base_codecs::Tail::Refused);
        if (!bytes) fire_value(Err::InvalidData, value);
        *out = Cell{static_cast<uint32_t>(T::Binary), 0, bytes, 0};
        break;
    }
    case T::Bitset: {
        const NodeId copy = memory::series_copy_range(cell::node(value), 0, bitset::byte_count(value));
        *out = Cell{static_cast<uint32_t>(T::Binary), 0, copy, 0};
        break;
    }
    case T::Image: image::to_binary(value, image::Channels::Argb, out); break;
    default:
        if (t != T::Char && t != T::Tuple && !is_text(t) && !is_block_like(t))
            integer::fire_with_type(Err::BadToArg, T::Binary, value);
        make_at(out, 16);
        value_to_bytes(out, value, -1, Mode::Insert);
    }
    *proto = *out;
    mark.restore();
    return proto;
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell* part, int32_t budget,
             int32_t indent) {
    const Cell self = *value;
    const NodeId node = cell::node(&self);
    const int32_t start = head_in(&self);
    const int32_t n = rs_length(&self);
    const bool lines = !flat && n >= kLinesFrom;
    if (!only) budget = string::emit(buffer, "#{", budget);
    if (lines) {
        budget = string::emit(buffer, "\n", budget);
        budget = mold_indent(buffer, indent + 1, budget);
    }
    uint8_t text[2 * kLineBytes];
    for (int32_t i = 0; i < n;) {
        // One line's digits at a time, read again after each append (which may move buffers).
        const uint8_t* p = memory::buf(node)->offset_ptr() + start;
        const int32_t end = std::min(n, (i / kLineBytes + 1) * kLineBytes);
        size_t k = 0;
        for (; i < end; i++) {
            if (part && budget < 3) {
                string::append_bytes(buffer, text, k);
                return budget;
            }
            text[k++] = static_cast<uint8_t>(kHexUpper[p[i] >> 4]);
            text[k++] = static_cast<uint8_t>(kHexUpper[p[i] & 15]);
            budget -= 2;
        }
        string::append_bytes(buffer, text, k);
        if (lines) {
            // The last line ends with the indent of this level, before the closing brace.
            budget = string::emit(buffer, "\n", budget);
            budget = mold_indent(buffer, i < n ? indent + 1 : indent, budget);
        }
    }
    if (!only) budget = string::emit(buffer, "}", budget);
    return budget;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    return mold(value, buffer, false, false, false, part, budget, 0);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Binary)) return kNotComparable;
    return compare_raw(a, b, op, false);
}

void and_() { bitwise(ArithOp::And); }
void or_() { bitwise(ArithOp::Or); }
void xor_() { bitwise(ArithOp::Xor); }

void complement(Cell* value) {
    const Notice notice(value, words::w::change, nullptr, head_in(value), rs_length(value));
    // An owner's handler may have changed the binary: positions are read again.
    SeriesBuf* b = memory::buf_of(value);
    for (uint8_t* p = b->offset_ptr() + head_in(value); p < b->tail_ptr(); p++) *p = ~*p;
    notice.done(words::w::changed);
}

Cell* insert(Cell* series, Cell* value, int32_t part, bool, int32_t dup, bool append) {
    if (dup <= 0) return series;
    stack::Mark mark;
    cell::set_head(series, head_in(series));
    const Bytes bytes = bytes_of(value, part, Mode::Insert);
    const int32_t count =
        static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(bytes.count) * dup, kMaxBytes));
    const int32_t at = append ? used_of(cell::node(series)) : head_in(series);
    const Notice notice(series, append ? words::w::append : words::w::insert, value, at, count);
    // An owner's handler may have changed the binary: positions are read again.
    const int32_t end =
        splice(series, append ? used_of(cell::node(series)) : head_in(series), 0, bytes, dup);
    notice.done(append ? words::w::appended : words::w::inserted);
    cell::set_head(series, append ? 0 : end);
    mark.restore();
    return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool, int32_t dup) {
    if (dup <= 0) return series;
    stack::Mark mark;
    const Bytes bytes = bytes_of(value, -1, Mode::Change);
    const int32_t at = head_in(series);
    const int32_t rest = used_of(cell::node(series)) - at;
    const int64_t total = static_cast<int64_t>(bytes.count) * dup;
    const int32_t replaced = part < 0 ? static_cast<int32_t>(std::min<int64_t>(total, rest))
                                      : std::min(part, rest);
    const Notice notice(series, words::w::change, value, at, replaced);
    const int32_t now = head_in(series);
    const int32_t end =
        splice(series, now, std::min(replaced, used_of(cell::node(series)) - now), bytes, dup);
    notice.done(words::w::changed);
    cell::set_head(series, end);
    mark.restore();
    return series;
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    if (with) return string::trim(series, false, false, false, false, false, with);
    if (!all && (auto_ || lines)) fire(Err::NotDone);
    if (rs_length(series) == 0) return series;
    const Notice notice(series, words::w::trim, nullptr, head_in(series), rs_length(series));
    // In place, no allocation: the write index never passes the read index.
    const int32_t start = head_in(series);
    SeriesBuf* b = memory::buf_of(series);
    uint8_t* base = b->offset_ptr();
    int32_t from = start;
    int32_t to = used_of(cell::node(series));
    int32_t w = start;
    if (all) {
        for (int32_t i = from; i < to; i++)
            if (base[i] != 0) base[w++] = base[i];
    } else {
        const bool both = !head && !tail;
        if (head || both)
            while (from < to && base[from] == 0) from++;
        if (tail || both)
            while (to > from && base[to - 1] == 0) to--;
        std::memmove(base + w, base + from, static_cast<size_t>(to - from));
        w += to - from;
    }
    b->tail = b->offset + static_cast<size_t>(w);
    notice.done(words::w::trimmed);
    return series;
}

// ---- Registration ----

constexpr TypeRecord kRecord{
    .id = T::Binary,
    .parent = T::String,
    .name = "binary!",
    .make = kInherited,
    .random = kInherited,
    .reflect = kInherited,
    .to = binary::to,
    .form = binary::form,
    .mold = binary::mold,
    .path_access = kInherited,
    .compare = binary::compare,
    .and_ = binary::and_,
    .complement = binary::complement,
    .or_ = binary::or_,
    .xor_ = binary::xor_,
    .append = binary::insert,
    .at = kInherited,
    .back = kInherited,
    .change = binary::change,
    .clear = kInherited,
    .copy = kInherited,
    .find = kInherited,
    .head = kInherited,
    .head_q = kInherited,
    .index_q = kInherited,
    .insert = binary::insert,
    .length_q = kInherited,
    .move = kInherited,
    .next = kInherited,
    .pick = kInherited,
    .poke = kInherited,
    .put = kInherited,
    .remove = kInherited,
    .reverse = kInherited,
    .select = kInherited,
    .sort = kInherited,
    .skip = kInherited,
    .swap = kInherited,
    .tail = kInherited,
    .tail_q = kInherited,
    .take = kInherited,
    .trim = binary::trim,
    .modify = kInherited,
    .mark = mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::binary
