// string!: text cells and buffers, the text writers every form and mold uses, comparisons,
// string! form and mold, and the registration record of every string! slot. Raw unit pointers
// are taken after the last allocation of a step and used at once; loops that append re-read
// their source by index.
#include "runtime/datatypes/string.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

#include "runtime/case_fold.h"
#include "runtime/collector.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace nuv::string {

using memory::SeriesBuf;

namespace {

constexpr size_t round16(size_t n) { return (n + 15) & ~size_t{15}; }

// The type id of the parse engine's slice cell, which keeps a length in word 3.
constexpr uint32_t kSliceType = 56;

uint32_t checked_unit(const SeriesBuf* b) {
    uint32_t unit = b->unit();
    if (unit != 1 && unit != 2 && unit != 4) fatal("invalid text unit", 101);
    return unit;
}

// Units in use from the buffer's offset.
inline size_t units_of(const SeriesBuf* b, uint32_t unit) { return b->used() >> unit_shift(unit); }

// The head index clamped to 0..tail.
int32_t clamped_head(const Cell* str, const SeriesBuf* b, uint32_t unit) {
    int32_t head = cell::head(str);
    int32_t total = static_cast<int32_t>(units_of(b, unit));
    if (head > total) return total;
    return head < 0 ? 0 : head;
}

// Widens the buffer so that cp fits; unit 1 keeps 0-255 (Latin-1), unit 2 keeps 0-0xFFFF.
SeriesBuf* fit(NodeId node, char32_t cp) {
    SeriesBuf* b = memory::buf(node);
    uint32_t unit = checked_unit(b);
    uint32_t need = unicode::unit_for(cp);
    return need > unit ? unicode::widen(node, need) : b;
}

bool is_any_string(const Cell* v) {
    switch (cell::type_of(v)) {
    case TypeId::String:
    case TypeId::File:
    case TypeId::Url:
    case TypeId::Email:
    case TypeId::Ref:
    case TypeId::Tag: return true;
    default: return (v->header & cell::kTypeMask) == kSliceType;
    }
}

[[noreturn]] void symbols_not_done() { fire(Err::NotDone); }

inline char32_t fold(char32_t cp) { return case_fold::to_upper(cp); }

// The escape written after "^" for a control character or 34/94 (0: none). 30 is written in
// hexadecimal and 127 as "^~" by mold_char itself.
consteval std::array<char, 95> build_escapes() {
    std::array<char, 95> t{};
    t[0] = '@';
    for (int c = 1; c <= 26; c++) t[c] = static_cast<char>('A' + c - 1);
    t[9] = '-';
    t[10] = '/';
    t[27] = '[';
    t[28] = '\\';
    t[29] = ']';
    t[31] = '_';
    t['"'] = '"';
    t['^'] = '^';
    return t;
}
constexpr auto kEscapes = build_escapes();

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

// ---- Makers ----

Cell* make_at(Cell* cell, size_t bytes) {
    cell::set_header(cell, TypeId::Unset);
    NodeId node = memory::alloc_series(bytes ? bytes : 1, 1, 0);
    cell->w1 = 0;
    cell->w2 = node;
    cell->w3 = 0;
    cell::set_header(cell, TypeId::String);
    return cell;
}

Cell* make_at_unit(Cell* cell, size_t units, uint32_t unit) {
    if (unit != 1 && unit != 2 && unit != 4) fatal("invalid text unit", 101);
    cell::set_header(cell, TypeId::Unset);
    NodeId node = memory::alloc_series(units ? units : 1, unit, 0);
    cell->w1 = 0;
    cell->w2 = node;
    cell->w3 = 0;
    cell::set_header(cell, TypeId::String);
    return cell;
}

Cell* push(const Cell* str) { return stack::push(str); }

Cell* load(const uint8_t* text, size_t size, Cell* cell, int32_t encoding) {
    if (!cell) cell = stack::reserve();
    *cell = Cell{static_cast<uint32_t>(TypeId::Unset), 0, 0, 0};
    NodeId node;
    switch (encoding) {
    case kUtf8: {
        size_t rest = 0;
        node = unicode::load_utf8(text, size, 0, &rest, false);
        if (rest) unicode::fire_invalid_utf8(text + size - rest, rest);  // cut-off last sequence
        break;
    }
    case kUtf8Lenient: node = unicode::decode_utf8_lenient(text, size); break;
    case kUtf16le:
        node = unicode::load_utf16le(reinterpret_cast<const char16_t*>(text), size / 2, nullptr,
                                     false);
        break;
    default: fire_int(Err::NoCodec, encoding);
    }
    cell->w2 = node;
    cell::set_header(cell, TypeId::String);
    return cell;
}

Cell* load_new(const uint8_t* text, size_t size, int32_t encoding) {
    return load(text, size, nullptr, encoding);
}

Cell* load_at(const uint8_t* text, size_t size, Cell* block, int32_t encoding) {
    stack::Mark mark;
    Cell* fresh = load(text, size, nullptr, encoding);  // kept on the stack while allocating
    Cell* slot = memory::series_alloc_tail(cell::node(block));
    *slot = *fresh;
    mark.restore();
    return slot;
}

// ---- Readers ----

int32_t length(const Cell* str) {
    const SeriesBuf* b = memory::buf_of(str);
    uint32_t unit = checked_unit(b);
    return static_cast<int32_t>(units_of(b, unit)) - clamped_head(str, b, unit);
}

int32_t length_abs(const Cell* str) {
    const SeriesBuf* b = memory::buf_of(str);
    return static_cast<int32_t>(units_of(b, checked_unit(b)));
}

uint8_t* rs_head(Cell* str) {
    SeriesBuf* b = memory::buf_of(str);
    uint32_t unit = checked_unit(b);
    int32_t total = static_cast<int32_t>(units_of(b, unit));
    if (cell::head(str) > total) cell::set_head(str, total);
    return const_cast<uint8_t*>(head_ptr(str));
}

const uint8_t* head_ptr(const Cell* str) {
    SeriesBuf* b = memory::buf_of(str);
    uint32_t unit = checked_unit(b);
    return b->offset_ptr() + (static_cast<size_t>(clamped_head(str, b, unit)) << unit_shift(unit));
}

bool at_tail(const Cell* str) { return length(str) <= 0; }

char32_t char_at(const Cell* str, int32_t index) {
    SeriesBuf* b = memory::buf_of(str);
    uint32_t unit = checked_unit(b);
    size_t at = static_cast<size_t>(cell::head(str) + index) << unit_shift(unit);
    return get_char(b->offset_ptr() + at, unit);
}

int32_t find_codepoint(const Cell* str, char32_t cp) {
    uint32_t unit = unit_of(str);
    const uint8_t* p = head_ptr(str);
    for (int32_t i = 0, n = length(str); i < n; i++, p += unit)
        if (get_char(p, unit) == cp) return i;
    return -1;
}

bool has_codepoint(const Cell* str, char32_t cp, int32_t step, bool case_sensitive) {
    uint32_t unit = unit_of(str);
    if (step < 1) step = 1;
    const uint8_t* p = head_ptr(str);
    const char32_t want = case_sensitive ? cp : fold(cp);
    for (int32_t i = 0, n = length(str); i < n; i += step, p += static_cast<size_t>(step) * unit) {
        char32_t c = get_char(p, unit);
        if ((case_sensitive ? c : fold(c)) == want) return true;
    }
    return false;
}

bool starts_with_cstr(const Cell* str, const char* text) {
    uint32_t unit = unit_of(str);
    const uint8_t* p = head_ptr(str);
    int32_t n = length(str);
    for (int32_t i = 0; text[i]; i++, p += unit) {
        if (i >= n) return false;
        char32_t c = get_char(p, unit);
        if (c > 0xFF || c != static_cast<uint8_t>(text[i])) return false;
    }
    return true;
}

// ---- Buffer writers ----

SeriesBuf* append_char(NodeId node, char32_t cp) {
    SeriesBuf* b = fit(node, cp);
    uint32_t unit = b->unit();
    put_char(memory::series_alloc_tail_bytes(node, unit), unit, cp);
    return memory::buf(node);
}

SeriesBuf* write_char(NodeId node, int32_t index, char32_t cp) {
    SeriesBuf* b = fit(node, cp);
    uint32_t unit = b->unit();
    put_char(b->offset_ptr() + (static_cast<size_t>(index) << unit_shift(unit)), unit, cp);
    return b;
}

SeriesBuf* poke_char(NodeId node, int32_t index, char32_t cp) {
    SeriesBuf* b = fit(node, cp);
    uint32_t unit = b->unit();
    const int shift = unit_shift(unit);
    const size_t end = (static_cast<size_t>(index) + 1) << shift;  // bytes from the offset
    if (b->offset + end > b->size) b = memory::expand_series(node, round16(2 * end));
    size_t count = units_of(b, unit);
    uint8_t* base = b->offset_ptr();
    if (static_cast<size_t>(index) >= count) {
        for (size_t i = count; i < static_cast<size_t>(index); i++)
            put_char(base + (i << shift), unit, U' ');
        b->tail = b->offset + end;
    }
    put_char(base + (static_cast<size_t>(index) << shift), unit, cp);
    return b;
}

SeriesBuf* insert_char(NodeId node, int32_t index, char32_t cp) {
    SeriesBuf* b = fit(node, cp);
    uint32_t unit = b->unit();
    if (b->tail + unit > b->size) b = memory::expand_series(node, round16(2 * b->size + unit));
    uint8_t* at = b->offset_ptr() + (static_cast<size_t>(index) << unit_shift(unit));
    std::memmove(at + unit, at, static_cast<size_t>(b->tail_ptr() - at));
    put_char(at, unit, cp);
    b->tail += unit;
    return b;
}

void trim_min(NodeId node, size_t units) {
    SeriesBuf* b = memory::buf(node);
    size_t bytes = units << unit_shift(checked_unit(b));
    if (bytes < b->used() && b->offset + bytes <= b->size) b->tail = b->offset + bytes;
}

// ---- Cell writers ----

void remove_units(Cell* str, int32_t index, int32_t count) {
    SeriesBuf* b = memory::buf_of(str);
    uint32_t unit = checked_unit(b);
    int32_t total = static_cast<int32_t>(units_of(b, unit));
    if (index < 0 || index >= total || count <= 0) return;
    if (count > total - index) count = total - index;
    const int shift = unit_shift(unit);
    uint8_t* at = b->offset_ptr() + (static_cast<size_t>(index) << shift);
    uint8_t* from = at + (static_cast<size_t>(count) << shift);
    std::memmove(at, from, static_cast<size_t>(b->tail_ptr() - from));
    b->tail -= static_cast<size_t>(count) << shift;
}

void move_units(Cell* source, Cell* target, size_t bytes) {
    const uint32_t unit = unit_of(source);
    int32_t count = static_cast<int32_t>(bytes >> unit_shift(unit));
    if (count > length(source)) count = length(source);
    if (count <= 0) return;
    std::vector<char32_t> moved(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; i++) moved[static_cast<size_t>(i)] = char_at(source, i);
    const int32_t from = cell::head(source);
    int32_t at = cell::head(target);
    if (cell::node(source) == cell::node(target) && at >= from) {
        // One buffer: take the units out first, then put them back where the target's head
        // now points.
        remove_units(source, from, count);
        at = at >= from + count ? at - count : from;
        for (int32_t i = 0; i < count; i++)
        insert_char(cell::node(target), at + i, moved[static_cast<size_t>(i)]);
        return;
    }
    for (int32_t i = 0; i < count; i++)
        insert_char(cell::node(target), at + i, moved[static_cast<size_t>(i)]);
    remove_units(source, cell::node(source) == cell::node(target) ? from + count : from, count);
}

void concatenate(Cell* target, Cell* source, int32_t part, int32_t offset, bool keep_source,
                 Concat mode) {
    if (cell::is(target, TypeId::Symbol) || cell::is(source, TypeId::Symbol)) symbols_not_done();
    const NodeId tnode = cell::node(target);
    const NodeId snode = cell::node(source);
    uint32_t tu = checked_unit(memory::buf(tnode));
    uint32_t su = checked_unit(memory::buf(snode));
    if (tu < su) {
        unicode::widen(tnode, su);
        tu = su;
    } else if (tu > su && !keep_source) {
        unicode::widen(snode, tu);
        su = tu;
    }
    if (tnode == snode) su = tu;

    int32_t count = length(source);
    if (part >= 0 && part < count) count = part;
    if (count <= 0) return;
    const int32_t shead = cell::head(source) < 0 ? 0 : cell::head(source);
    const int tshift = unit_shift(tu);
    const size_t copy_bytes = static_cast<size_t>(count) << tshift;

    SeriesBuf* tb = memory::buf(tnode);
    const size_t used = tb->used();
    size_t at = mode == Concat::Append ? used : static_cast<size_t>(offset) << tshift;
    if (at > used) at = used;
    size_t needed = mode == Concat::Overwrite ? std::max(used, at + copy_bytes) : used + copy_bytes;
    // One buffer: the source range would move under the shift or the growth, so copy it out.
    std::vector<uint8_t> own;
    if (tnode == snode) {
        const uint8_t* s = tb->offset_ptr() + (static_cast<size_t>(shead) << tshift);
        own.assign(s, s + copy_bytes);
    }
    if (tb->size - tb->offset < needed) tb = memory::expand_series(tnode, round16(2 * needed));

    uint8_t* base = tb->offset_ptr();
    if (mode == Concat::Insert) std::memmove(base + at + copy_bytes, base + at, used - at);
    const uint8_t* src = own.empty() ? memory::buf(snode)->offset_ptr() +
                                           (static_cast<size_t>(shead) << unit_shift(su))
                                     : own.data();
    if (su == tu) {
        std::memcpy(base + at, src, copy_bytes);
    } else {
        for (int32_t i = 0; i < count; i++)
            put_char(base + at + (static_cast<size_t>(i) << tshift), tu,
                     get_char(src + static_cast<size_t>(i) * su, su));
    }
    if (mode == Concat::Overwrite)
        tb->tail = tb->offset + std::max(used, at + copy_bytes);
    else
        tb->tail = tb->offset + used + copy_bytes;
}

void append_bytes(Cell* str, const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    const NodeId node = cell::node(str);
    uint32_t unit = checked_unit(memory::buf(node));
    uint8_t* p = memory::series_alloc_tail_bytes(node, count * unit);
    if (unit == 1) {
        std::memcpy(p, bytes, count);
        return;
    }
    for (size_t i = 0; i < count; i++, p += unit) put_char(p, unit, bytes[i]);
}

void append_cstr(Cell* str, const char* text) {
    append_bytes(str, reinterpret_cast<const uint8_t*>(text), std::strlen(text));
}

int32_t emit(Cell* buffer, const char* text, int32_t budget) {
    size_t n = std::strlen(text);
    append_bytes(buffer, reinterpret_cast<const uint8_t*>(text), n);
    return budget - static_cast<int32_t>(n);
}

void reset(Cell* str) {
    SeriesBuf* b = memory::buf_of(str);
    b->offset = 0;
    b->tail = 0;
    b->flags = (b->flags & ~memory::kUnitMask) | 1;
    cell::set_head(str, 0);
}

void swap_regions(uint8_t* a, size_t a_len, uint8_t* b, size_t b_len, size_t gap) {
    (void)b;  // the second region starts right after the gap: a + a_len + gap
    uint8_t* end = a + a_len + gap + b_len;
    std::reverse(a, end);  // now reversed(B) reversed(gap) reversed(A)
    std::reverse(a, a + b_len);
    std::reverse(a + b_len, a + b_len + gap);
    std::reverse(a + b_len + gap, end);
}

// ---- Text conversions ----

const char* byte_to_hex(uint8_t byte) {
    static char buffer[3];
    buffer[0] = kHexDigits[byte >> 4];
    buffer[1] = kHexDigits[byte & 15];
    buffer[2] = 0;
    return buffer;
}

const char* int_to_hex(int32_t value, bool trim) {
    static char buffer[9];
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 7; i >= 0; i--, v >>= 4) buffer[i] = kHexDigits[v & 15];
    buffer[8] = 0;
    if (!trim) return buffer;
    if (value == 0) return "00";
    const char* p = buffer;
    while (*p == '0') p++;
    return p;
}

double scan_number(const uint8_t* text, int32_t start, int32_t length) {
    const char* from = reinterpret_cast<const char*>(text) + start;
    return float_text::decimal_to_float(from, from + std::max(length, 0));
}

// ---- Comparisons ----

namespace {

static_assert(std::endian::native == std::endian::little, "the unit scan reads bytes in order");

// The order of two code points that differ: -1 or 1, by their upper-case forms when fold_case;
// 0 when those are the same.
inline int32_t order_of(char32_t ca, char32_t cb, bool fold_case) {
    if (fold_case) {
        ca = fold(ca);
        cb = fold(cb);
        if (ca == cb) return 0;
    }
    return ca < cb ? -1 : 1;
}

// The index of the first unit from `from` below n that differs between a and b, both of U
// units, or n. Eight bytes at a time: equal runs are passed over without reading characters.
template <typename U>
int32_t first_difference(const uint8_t* a, const uint8_t* b, int32_t from, int32_t n) {
    constexpr int kShift = std::countr_zero(sizeof(U));
    size_t i = static_cast<size_t>(from) << kShift;
    const size_t end = static_cast<size_t>(n) << kShift;
    for (; i + 8 <= end; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) return static_cast<int32_t>((i + (std::countr_zero(x ^ y) >> 3)) >> kShift);
    }
    for (; i < end; i++)
        if (a[i] != b[i]) return static_cast<int32_t>(i >> kShift);
    return n;
}

template <typename U>
inline char32_t unit_at(const uint8_t* p, int32_t i) {
    U v;
    std::memcpy(&v, p + static_cast<size_t>(i) * sizeof(U), sizeof(U));
    return static_cast<char32_t>(v);
}

// The order of the first n units of a and b (units A and B): equal code points are passed over
// and only a pair that differs is folded, so case folding costs nothing on equal runs.
template <typename A, typename B>
int32_t compare_units(const uint8_t* a, const uint8_t* b, int32_t n, bool fold_case) {
    if constexpr (std::is_same_v<A, B>) {
        for (int32_t i = 0; (i = first_difference<A>(a, b, i, n)) < n; i++)
            if (int32_t r = order_of(unit_at<A>(a, i), unit_at<A>(b, i), fold_case)) return r;
    } else {
        for (int32_t i = 0; i < n; i++) {
            const char32_t ca = unit_at<A>(a, i), cb = unit_at<B>(b, i);
            if (ca != cb)
                if (int32_t r = order_of(ca, cb, fold_case)) return r;
        }
    }
    return 0;
}

// A text from its head: the head unit's address, the units to the tail, and the unit shift.
struct Units {
    const uint8_t* at;
    int32_t length;
    int shift;
};

// Valid until the next allocation. A head beyond the tail reads as the tail.
inline Units units_from_head(const Cell* str) {
    SeriesBuf* b = memory::buf_of(str);
    const uint32_t unit = checked_unit(b);
    const int shift = unit_shift(unit);
    const int32_t head = clamped_head(str, b, unit);
    return {b->offset_ptr() + (static_cast<size_t>(head) << shift),
            static_cast<int32_t>(units_of(b, unit)) - head, shift};
}

using CompareUnits = int32_t (*)(const uint8_t*, const uint8_t*, int32_t, bool);

// By the unit shifts of the two texts (units of 1, 2 and 4 bytes).
constexpr CompareUnits kCompareUnits[3][3] = {
    {compare_units<uint8_t, uint8_t>, compare_units<uint8_t, uint16_t>,
     compare_units<uint8_t, uint32_t>},
    {compare_units<uint16_t, uint8_t>, compare_units<uint16_t, uint16_t>,
     compare_units<uint16_t, uint32_t>},
    {compare_units<uint32_t, uint8_t>, compare_units<uint32_t, uint16_t>,
     compare_units<uint32_t, uint32_t>},
};

}  // namespace

int32_t compare_raw(const Cell* a, const Cell* b, CompareOp op, bool prefix) {
    const bool same = cell::node(a) == cell::node(b) && cell::head(a) == cell::head(b);
    if (op == CompareOp::Same) return same ? 0 : -1;
    const bool equality = op == CompareOp::Equal || op == CompareOp::NotEqual ||
                          op == CompareOp::StrictEqual || op == CompareOp::FindEqual;
    if (same && equality) return 0;
    if (cell::is(a, TypeId::Symbol) || cell::is(b, TypeId::Symbol)) symbols_not_done();

    const Units ra = units_from_head(a), rb = units_from_head(b);
    const int32_t la = ra.length;
    int32_t lb = rb.length;
    if ((b->header & cell::kTypeMask) == kSliceType && static_cast<int32_t>(b->w3) >= 0)
        lb = static_cast<int32_t>(b->w3);
    if (!prefix && la != lb && (equality || la == 0 || lb == 0)) return la < lb ? -1 : 1;
    const bool fold_case = op != CompareOp::StrictEqual && op != CompareOp::SortStrict;
    if (int32_t r = kCompareUnits[ra.shift][rb.shift](ra.at, rb.at, std::min(la, lb), fold_case))
        return r;
    if (prefix) return la < lb ? -1 : 0;
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

bool tag_brackets(const Cell* str, const Cell* tag) {
    const int32_t n = length(tag);
    if (length(str) < n + 2) return false;
    return char_at(str, 0) == U'<' && char_at(str, n + 1) == U'>';
}

bool match_head(const Cell* str, const Cell* value, CompareOp op) {
    if (cell::is(value, TypeId::Tag)) {
        if (!tag_brackets(str, value)) return false;
        Cell inner = *str;
        cell::set_head(&inner, cell::head(str) + 1);
        return compare_raw(&inner, value, op, true) == 0;
    }
    if (is_any_string(value)) return compare_raw(str, value, op, true) == 0;
    if (cell::is(value, TypeId::Char)) {
        if (at_tail(str)) return false;
        char32_t c = char_at(str, 0);
        char32_t want = static_cast<char32_t>(cell::get_int(value));
        if (op != CompareOp::StrictEqual) {
            c = fold(c);
            want = fold(want);
        }
        return c == want;
    }
    return false;
}

bool bitset_has(const Cell* bitset, char32_t cp) { return bitset::has(bitset, cp); }

bool compare_head(const Cell* str, const Cell* bitset) {
    if (at_tail(str)) return false;
    return bitset_has(bitset, char_at(str, 0));
}

// ---- Form and mold ----

void scan_units(const uint8_t* start, const uint8_t* end, uint32_t unit, int32_t* quotes,
                int32_t* lines) {
    for (const uint8_t* p = start; p < end; p += unit) {
        char32_t c = get_char(p, unit);
        if (c == U'"') ++*quotes;
        else if (c == U'\n') ++*lines;
    }
}

bool brace_closes(const uint8_t* p, const uint8_t* end, uint32_t unit) {
    int32_t depth = 0;
    for (; p < end; p += unit) {
        char32_t c = get_char(p, unit);
        if (c == U'{') {
            depth++;
        } else if (c == U'}') {
            if (--depth == 0) return true;
        }
    }
    return false;
}

namespace {

// The unit index of the first "{" in [p, end) without a matching "}" (brace_closes false), or
// the range's length when every "{" closes. One pass from the end: each "{" takes the nearest
// unclaimed "}" after it, which pairs the braces as the forward depth count does.
int32_t first_unclosed_brace(const uint8_t* p, const uint8_t* end, uint32_t unit) {
    const int32_t n = static_cast<int32_t>((end - p) / unit);
    int32_t first = n;
    int32_t closers = 0;
    for (int32_t i = n - 1; i >= 0; i--) {
        const char32_t c = get_char(p + static_cast<size_t>(i) * unit, unit);
        if (c == U'}') {
            closers++;
        } else if (c == U'{') {
            if (closers > 0) closers--;
            else first = i;
        }
    }
    return first;
}

}  // namespace

void mold_char(Cell* buffer, char32_t cp, int escape_mode, bool all) {
    const NodeId out = cell::node(buffer);
    // A surrogate has no UTF-8 spelling the lexer reads back: only its escape round-trips.
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (cp == 30 || (cp >= 128 && cp <= 159) || surrogate || (all && cp > 127)) {
        append_cstr(buffer, "^(");
        append_cstr(buffer, int_to_hex(static_cast<int32_t>(cp), true));
        append_char(out, U')');
        return;
    }
    if (escape_mode == kEscapeControls) {
        if (cp < kEscapes.size() && kEscapes[cp]) {
            append_char(out, U'^');
            append_char(out, static_cast<char32_t>(kEscapes[cp]));
            return;
        }
        if (cp == 127) {
            append_cstr(buffer, "^~");
            return;
        }
    }
    append_char(out, cp);
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    const int32_t len = length(value);
    const int32_t limit = part ? cell::get_int(part) : -1;
    concatenate(buffer, value, limit, 0, true, Concat::Append);
    return budget - len;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t budget,
             int32_t) {
    const int32_t len = length(value);
    int32_t n = len;
    if (part) n = budget < 0 ? 0 : std::min(budget, len);
    const uint32_t unit = unit_of(value);
    const uint8_t* head = head_ptr(value);
    const uint8_t* end = head + (static_cast<size_t>(n) << unit_shift(unit));
    int32_t quotes = 0, lines = 0;
    scan_units(head, end, unit, &quotes, &lines);
    const bool braces = lines >= 3 || quotes > 0 || len >= 50;
    // From this index on every "{" is escaped (the first one without a matching "}").
    const int32_t unclosed = braces ? first_unclosed_brace(head, end, unit) : n;
    const NodeId out = cell::node(buffer);
    append_char(out, braces ? U'{' : U'"');
    int32_t depth = 0;
    for (int32_t i = 0; i < n; i++) {
        const char32_t c = char_at(value, i);  // by index: appending may move the buffer
        if (!braces) {
            mold_char(buffer, c, kEscapeControls, all);
            continue;
        }
        switch (c) {
        case U'{': {
            if (i < unclosed) {
                depth++;
                append_char(out, U'{');
            } else {
                append_cstr(buffer, "^{");
            }
            break;
        }
        case U'}':
            if (depth > 0) {
                depth--;
                append_char(out, U'}');
            } else {
                append_cstr(buffer, "^}");
            }
            break;
        case U'"': append_char(out, U'"'); break;
        case U'^': append_cstr(buffer, "^^"); break;
        default: mold_char(buffer, c, kEscapeControls, all);
        }
    }
    append_char(out, braces ? U'}' : U'"');
    return budget - n - 2;
}

// ---- For tests ----

std::string to_std_utf8(const Cell* str) {
    std::string text;
    const uint32_t unit = unit_of(str);
    const uint8_t* p = head_ptr(str);
    uint8_t bytes[4];
    for (int32_t i = 0, n = length(str); i < n; i++, p += unit) {
        int k = unicode::utf8_encode_char(get_char(p, unit), bytes);
        text.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(k));
    }
    return text;
}

void mark(const Cell* value) {
    collector::mark_bytes(cell::node(value));
    collector::mark_bytes(value->w3);
}

// ---- Registration ----

// The actions live in string_actions.cpp.
constexpr TypeRecord kRecord{
    .id = TypeId::String,
    .parent = TypeId::Series,
    .name = "string!",
    .make = string::make,
    .random = kInherited,
    .reflect = kInherited,
    .to = string::to,
    .form = string::form,
    .mold = string::mold,
    .path_access = string::path_access,
    .compare = string::compare,
    .append = string::insert,
    .at = kInherited,
    .back = kInherited,
    .change = string::change,
    .clear = kInherited,
    .copy = kInherited,
    .find = string::find,
    .head = kInherited,
    .head_q = kInherited,
    .index_q = kInherited,
    .insert = string::insert,
    .length_q = kInherited,
    .move = kInherited,
    .next = kInherited,
    .pick = kInherited,
    .poke = kInherited,
    .remove = kInherited,
    .reverse = kInherited,
    .select = string::select,
    .sort = string::sort,
    .skip = kInherited,
    .swap = string::swap,
    .tail = kInherited,
    .tail_q = kInherited,
    .take = string::take,
    .trim = string::trim,
    .modify = kInherited,
    .mark = mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::string
