// bitset!: the spec walker and the range operations under it, the set operations, the makers
// and the slots. A spec names bits one by one or as inclusive ranges; every change first sizes
// what the spec names (raising on a bad item before anything changes), grows the buffer once,
// then applies the spec with no allocation, so no buffer pointer outlives an allocation.
#include "runtime/datatypes/bitset.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::bitset {

void mark(const Cell* value) { collector::mark_bytes(cell::node(value)); }

namespace {

using memory::SeriesBuf;
using T = TypeId;

uint8_t fill_of(bool complemented) { return complemented ? 0xFF : 0x00; }

// ---- Ranges over stored bytes: bits low..high, both inside the bytes ----

uint8_t first_mask(int64_t low) { return static_cast<uint8_t>(0xFF >> (low & 7)); }
uint8_t last_mask(int64_t high) { return static_cast<uint8_t>(0xFF << (7 - (high & 7))); }

void set_range(uint8_t* bytes, int64_t low, int64_t high, bool on) {
    const int64_t first = low >> 3, last = high >> 3;
    auto apply = [&](int64_t i, uint8_t mask) {
        bytes[i] = on ? bytes[i] | mask : bytes[i] & static_cast<uint8_t>(~mask);
    };
    if (first == last) return apply(first, first_mask(low) & last_mask(high));
    apply(first, first_mask(low));
    if (last > first + 1) std::memset(bytes + first + 1, on ? 0xFF : 0x00, last - first - 1);
    apply(last, last_mask(high));
}

bool all_set(const uint8_t* bytes, int64_t low, int64_t high) {
    const int64_t first = low >> 3, last = high >> 3;
    auto holds = [&](int64_t i, uint8_t mask) { return (bytes[i] & mask) == mask; };
    if (first == last) return holds(first, first_mask(low) & last_mask(high));
    if (!holds(first, first_mask(low)) || !holds(last, last_mask(high))) return false;
    for (int64_t i = first + 1; i < last; i++)
        if (bytes[i] != 0xFF) return false;
    return true;
}

// The range operation on the bitset: Set and Clear change the stored bits in low..high (the
// room they need is made beforehand); Test answers whether all of low..high are members,
// the complement flag answering for bits outside the stored bytes.
bool apply_range(const Cell* bitset, Op op, int64_t low, int64_t high) {
    SeriesBuf* b = memory::buf_of(bitset);
    const bool complemented = (b->flags & kComplemented) != 0;
    const int64_t stored = static_cast<int64_t>(b->used()) * 8;
    if (op == Op::Test) {
        if (low < 0) {
            if (!complemented) return false;
            low = 0;
        }
        if (high >= stored) {
            if (!complemented) return false;
            high = stored - 1;
        }
        return low > high || all_set(b->offset_ptr(), low, high);
    }
    high = std::min(high, stored - 1);
    if (low <= high) set_range(b->offset_ptr(), low, high, op == Op::Set);
    return true;
}

// Stores at least `bytes` bytes, the new ones read as the bits beyond the buffer were (0, or
// 255 when complemented). May allocate.
void grow(const Cell* bitset, size_t bytes) {
    const NodeId node = cell::node(bitset);
    SeriesBuf* b = memory::buf(node);
    const size_t used = b->used();
    if (bytes <= used) return;
    const uint8_t fill = fill_of((b->flags & kComplemented) != 0);
    if (b->offset + bytes > b->size)
        b = memory::expand_series(node, std::max(bytes, std::min(2 * b->size, kMaxBytes)));
    std::memset(b->offset_ptr() + used, fill, bytes - used);
    b->tail = b->offset + bytes;
}

// ---- The spec walker ----

[[noreturn]] void fire_unreadable(const Cell* item, Caller caller) {
    Cell copy = *item;
    switch (caller) {
    case Caller::Make: fire_bad_make(T::Bitset, &copy);
    case Caller::To: {
        Cell type;
        datatype::set(&type, T::Bitset);
        fire(Err::BadToArg, &type, &copy);
    }
    case Caller::Action: break;
    }
    fire(Err::InvalidArg, &copy);
}

// The bit index of a char!, integer! or float! (truncated toward zero). Outside 0..kMaxBit it
// raises script out-of-range with the value, unless `test`, where it stays outside every
// stored byte (a float! NaN or beyond the limits reads as -1 or kMaxBit + 1).
int64_t index_of(const Cell* item, bool test) {
    int64_t n;
    if (cell::is(item, T::Float)) {
        const double d = std::trunc(cell::get_double(item));
        n = !(d >= 0)                           ? -1
            : d > static_cast<double>(kMaxBit) ? kMaxBit + 1
                                               : static_cast<int64_t>(d);
    } else {
        n = cell::get_int(item);
    }
    if (!test && (n < 0 || n > kMaxBit)) {
        Cell copy = *item;
        fire(Err::OutOfRange, &copy);
    }
    return n;
}

// The word - between the ends of a range.
bool is_dash(const Cell* c) {
    if (!cell::is(c, T::Word)) return false;
    const SymId s = word::symbol_of(c);
    return symbol::name_length(s) == 1 && symbol::utf8_name(s)[0] == '-';
}

bool is_not(const Cell* c) {
    return cell::is(c, T::Word) &&
           symbol::resolve(word::symbol_of(c)) == symbol::resolve(words::sym::not_);
}

// Each character of the string from its head, as a one-bit range, while visit answers true.
template <class Visit>
bool each_char(const Cell* text, Visit& visit) {
    const int32_t n = string::length(text);
    const uint8_t* p = string::head_ptr(text);
    const uint32_t unit = string::unit_of(text);
    for (int32_t i = 0; i < n; i++, p += unit) {
        const int64_t cp = string::get_char(p, unit);
        if (!visit(cp, cp)) return false;
    }
    return true;
}

// One item: an index or a string; false when visit asked to stop.
template <class Visit>
bool each_item(const Cell* item, Caller caller, bool test, Visit& visit) {
    switch (cell::type_of(item)) {
    case T::Char:
    case T::Integer:
    case T::Float: {
        const int64_t n = index_of(item, test);
        return visit(n, n);
    }
    case T::String: return each_char(item, visit);
    case T::Binary: fire(Err::NotDone);  // only the whole spec of make and to is read as bytes
    default: fire_unreadable(item, caller);
    }
}

// Calls visit(low, high) for each inclusive bit range the spec names, in order, while it
// answers true. In a block a char! or integer! followed by the word - and a value of the same
// type is a range. Raises on what it cannot read. No allocation, as long as visit makes none.
template <class Visit>
void each_range(const Cell* spec, Caller caller, bool test, Visit visit) {
    if (!cell::is(spec, T::Block)) {
        each_item(spec, caller, test, visit);
        return;
    }
    Cell block = *spec;
    const int32_t n = block::rs_length(&block);
    const Cell* items = block::rs_head(&block);
    for (int32_t i = 0; i < n; i++) {
        const Cell* item = items + i;
        const T t = cell::type_of(item);
        if ((t == T::Char || t == T::Integer) && i + 1 < n && is_dash(item + 1)) {
            if (i + 2 >= n) fire(Err::PastEnd);
            const Cell* high = item + 2;
            if (!cell::is(high, t)) {
                Cell copy = *high;
                fire(Err::InvalidArg, &copy);
            }
            if (cell::get_int(high) < cell::get_int(item)) fire(Err::PastEnd);
            const int64_t low = index_of(item, test);
            if (!visit(low, index_of(high, test))) return;
            i += 2;
        } else if (!each_item(item, caller, test, visit)) {
            return;
        }
    }
}

int64_t highest_bit(const Cell* spec, Caller caller) {
    int64_t highest = -1;
    each_range(spec, caller, false, [&](int64_t, int64_t high) {
        highest = std::max(highest, high);
        return true;
    });
    return highest;
}

// Set or Clear over every range, the room already made. No allocation.
void apply_all(const Cell* spec, const Cell* bitset, Op op, Caller caller) {
    each_range(spec, caller, false, [&](int64_t low, int64_t high) {
        return apply_range(bitset, op, low, high);
    });
}

// A Set or Clear walk announced to the bitset's owner before and after. A bad item raises
// before the owner hears of anything.
void change(Cell* bitset, const Cell* spec, Op op, const Cell& before, const Cell& after) {
    const Cell target = *bitset;
    const Cell given = *spec;
    if (memory::buf_of(&target)->flags & memory::kOwned) highest_bit(&given, Caller::Action);
    const bool notified = ownership::check(&target, before, &given, 0, 0);
    walk(&given, &target, op, Caller::Action);
    if (notified) ownership::check(&target, after, &given, 0, 0);
}

// ---- make and to ----

// A new bitset in `proto` holding the binary's bytes from its head, each inverted (and the
// complement flag set) when `complemented`.
Cell* from_bytes(Cell* proto, const Cell* binary, bool complemented) {
    const Cell source = *binary;
    const size_t used = memory::buf_of(&source)->used();
    const size_t head =
        static_cast<size_t>(std::clamp<int64_t>(cell::head(&source), 0, static_cast<int64_t>(used)));
    const size_t n = used - head;
    if (n > kMaxBytes)
        fire_int(Err::OutOfRange, static_cast<int32_t>(std::min<size_t>(n, INT32_MAX)));
    make_at(proto, n, 0, complemented);
    const uint8_t* from = memory::buf_of(&source)->offset_ptr() + head;
    uint8_t* to = bits(proto);
    const uint8_t flip = fill_of(complemented);
    for (size_t i = 0; i < n; i++) to[i] = from[i] ^ flip;
    return proto;
}

Cell* build(Cell* proto, Cell* spec, Caller caller) {
    Cell given = *spec;
    bool complemented = false;
    if (cell::is(&given, T::Block) && block::rs_length(&given) > 0 &&
        is_not(block::rs_head(&given))) {
        complemented = true;
        cell::set_head(&given, cell::head(&given) + 1);
        if (block::rs_length(&given) > 0 && cell::is(block::rs_head(&given), T::Binary))
            given = *block::rs_head(&given);
    }
    switch (cell::type_of(&given)) {
    case T::Bitset: return copy(&given, proto, nullptr, false, nullptr);
    case T::Binary: return from_bytes(proto, &given, complemented);
    case T::Integer:
    case T::Float: {
        if (caller == Caller::To) fire_unreadable(&given, caller);
        const int64_t n = float_to_int_checked(&given);
        if (n < 0 || n > kMaxBit + 1) fire(Err::OutOfRange, &given);
        return make_at(proto, static_cast<size_t>((n + 7) / 8), 0, false);
    }
    default: break;
    }
    const int64_t highest = highest_bit(&given, caller);
    make_at(proto, static_cast<size_t>((highest >> 3) + 1), fill_of(complemented), complemented);
    apply_all(&given, proto, complemented ? Op::Clear : Op::Set, caller);
    return proto;
}

// ---- mold ----

// Appends the bytes as pairs of hex digits (inverted when `invert`) while the budget lasts;
// answers the budget left. The bytes are re-read after each append, which may move them.
int32_t emit_hex(Cell* buffer, NodeId node, bool invert, int32_t budget) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    constexpr size_t kChunk = 256;
    char text[2 * kChunk];
    const size_t n = memory::buf(node)->used();
    const uint8_t flip = fill_of(invert);
    for (size_t at = 0; at < n && budget > 0;) {
        const size_t k = std::min({kChunk, n - at, static_cast<size_t>(budget) / 2 + 1});
        const uint8_t* bytes = memory::buf(node)->offset_ptr() + at;
        for (size_t i = 0; i < k; i++) {
            const uint8_t b = bytes[i] ^ flip;
            text[2 * i] = kDigits[b >> 4];
            text[2 * i + 1] = kDigits[b & 15];
        }
        string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(text), 2 * k);
        budget -= static_cast<int32_t>(2 * k);
        at += k;
    }
    return budget;
}

}  // namespace

// ---- Layout ----

bool test_byte(const Cell* binary, const Cell* bitset) {
    SeriesBuf* b = memory::buf_of(binary);
    const int64_t head = std::max<int64_t>(cell::head(binary), 0);
    if (static_cast<uint64_t>(head) >= b->used()) return false;
    return has(bitset, b->offset_ptr()[head]);
}

Cell* make_at(Cell* cell, size_t bytes, uint8_t fill, bool complemented) {
    cell::set_header(cell, T::Unset);
    const NodeId node = memory::alloc_bytes(bytes);
    SeriesBuf* b = memory::buf(node);
    std::memset(b->offset_ptr(), fill, bytes);
    b->tail = b->offset + bytes;
    if (complemented) b->flags |= kComplemented;
    *cell = Cell{static_cast<uint32_t>(T::Bitset), 0, node, 0};
    return cell;
}

int64_t walk(const Cell* spec, const Cell* bitset, Op op, Caller caller) {
    const Cell given = *spec;
    switch (op) {
    case Op::Bits: return highest_bit(&given, caller);
    case Op::Test: {
        bool all = true;
        each_range(&given, caller, true, [&](int64_t low, int64_t high) {
            return all = apply_range(bitset, Op::Test, low, high);
        });
        return all;
    }
    case Op::Set:
    case Op::Clear: break;
    }
    const int64_t highest = highest_bit(&given, caller);
    // Set on a plain bitset and Clear on a complemented one change bits beyond the stored bytes.
    if (highest >= 0 && (op == Op::Set) != is_complemented(bitset))
        grow(bitset, static_cast<size_t>((highest >> 3) + 1));
    apply_all(&given, bitset, op, caller);
    return 0;
}

void set_op(int32_t code) {
    if (code == static_cast<int32_t>(SetOp::Unique)) return;
    const Cell* second = stack::arg(1);
    if (!cell::is(second, T::Bitset)) {
        Cell type;
        datatype::set(&type, cell::type_of(second));
        fire(Err::InvalidType, &type);
    }
    const ByteOp how = byte_op_of(code);
    const Cell a = *stack::arg(0);
    const Cell b = *second;
    const size_t la = byte_count(&a), lb = byte_count(&b);
    const uint8_t fa = fill_of(is_complemented(&a)), fb = fill_of(is_complemented(&b));
    const uint8_t fill = apply_byte_op(how, fa, fb);
    size_t n = std::max(la, lb);
    // and~ ends where a plain shorter operand ends: past it the result holds no member.
    if (code == static_cast<int32_t>(ArithOp::And) && (la <= lb ? fa : fb) == 0)
        n = std::min(la, lb);
    Cell result;
    make_at(&result, n, fill, fill != 0);
    const uint8_t* pa = bits(&a);
    const uint8_t* pb = bits(&b);
    uint8_t* out = bits(&result);
    for (size_t i = 0; i < n; i++)
        out[i] = apply_byte_op(how, i < la ? pa[i] : fa, i < lb ? pb[i] : fb);
    stack::set_last(stack::push(&result));
}

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId) { return build(proto, spec, Caller::Make); }
Cell* to(Cell* proto, Cell* spec, TypeId) { return build(proto, spec, Caller::To); }

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    return mold(value, buffer, false, false, false, part, budget, 0);
}

// The value is read before the first append, which may move the buffer holding it.
int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t budget, int32_t) {
    const NodeId node = cell::node(value);
    const bool complemented = is_complemented(value);
    budget = string::emit(buffer, "make bitset! ", budget);
    if (complemented) budget = string::emit(buffer, "[not ", budget);
    budget = string::emit(buffer, "#{", budget);
    budget = emit_hex(buffer, node, complemented, budget);
    if (budget <= 0) return budget;
    budget = string::emit(buffer, "}", budget);
    return complemented ? string::emit(buffer, "]", budget) : budget;
}

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t,
                        bool, bool, bool, bool) {
    Cell index = *element;
    if (!cell::is(&index, T::Char) && !cell::is(&index, T::Integer)) {
        Cell type;
        datatype::set(&type, cell::type_of(&index));
        fire(Err::InvalidType, &type);
    }
    Cell target = *parent;
    if (!value) return pick(&target, 0, &index);
    return poke(&target, 0, value, &index);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Bitset)) return kNotComparable;
    if (op == CompareOp::Same) return cell::node(a) == cell::node(b) ? 0 : 1;
    const size_t la = byte_count(a), lb = byte_count(b);
    if (la != lb) return la < lb ? -1 : 1;
    const bool fa = is_complemented(a), fb = is_complemented(b);
    if (fa != fb) return fa ? 1 : -1;
    const uint8_t* pa = bits(a);
    const uint8_t* pb = bits(b);
    for (size_t i = la; i-- > 0;)
        if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
    return 0;
}

void complement(Cell* value) {
    const Cell source = *value;
    const size_t n = byte_count(&source);
    Cell result;
    make_at(&result, n, 0, !is_complemented(&source));
    const uint8_t* from = bits(&source);
    uint8_t* to = bits(&result);
    for (size_t i = 0; i < n; i++) to[i] = static_cast<uint8_t>(~from[i]);
    *value = result;
}

Cell* insert(Cell* series, Cell* value, int32_t, bool, int32_t, bool) {
    change(series, value, Op::Set, words::w::insert, words::w::inserted);
    return series;
}

void clear(Cell* value) {
    const Cell target = *value;
    const bool notified = ownership::check(&target, words::w::clear, nullptr, 0, 0);
    SeriesBuf* b = memory::buf_of(&target);
    std::memset(b->offset_ptr(), 0, b->used());
    b->flags &= ~kComplemented;
    if (notified) ownership::check(&target, words::w::cleared, nullptr, 0, 0);
}

Cell* copy(Cell* series, Cell* result, Cell*, bool, Cell*) {
    const Cell source = *series;
    const size_t n = byte_count(&source);
    make_at(result, n, 0, is_complemented(&source));
    if (n) std::memcpy(bits(result), bits(&source), n);
    return result;
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool,
           bool, bool) {
    return walk(value, series, Op::Test, Caller::Action) ? logic::shared(true) : none::shared();
}

int32_t length(Cell* value) { return static_cast<int32_t>(byte_count(value) * 8); }

const Cell* pick(Cell* series, int32_t, Cell* index_arg) {
    return logic::shared(walk(index_arg, series, Op::Test, Caller::Action) != 0);
}

Cell* poke(Cell* series, int32_t, Cell* value, Cell* index_arg) {
    const bool off = cell::is(value, T::None) ||
                     (cell::is(value, T::Logic) && !logic::get(value)) ||
                     (cell::is(value, T::Integer) && cell::get_int(value) == 0) ||
                     (cell::is(value, T::Float) && cell::get_double(value) == 0.0);
    change(series, index_arg, off ? Op::Clear : Op::Set, words::w::poke, words::w::poked);
    return value;
}

Cell* remove(Cell* series, Cell*, Cell* key) {
    if (!key) fire(Err::MissingArg);
    change(series, key, Op::Clear, words::w::remove, words::w::removed);
    return series;
}

constexpr TypeRecord kRecord{
    .id = TypeId::Bitset,
    .parent = TypeId::Invalid,
    .name = "bitset!",
    .make = bitset::make,
    .reflect = series::reflect,
    .to = bitset::to,
    .form = bitset::form,
    .mold = bitset::mold,
    .path_access = bitset::path_access,
    .compare = bitset::compare,
    .negate = bitset::complement,
    .and_ = bitset::set_op_slot<static_cast<int32_t>(ArithOp::And)>,
    .complement = bitset::complement,
    .or_ = bitset::set_op_slot<static_cast<int32_t>(ArithOp::Or)>,
    .xor_ = bitset::set_op_slot<static_cast<int32_t>(ArithOp::Xor)>,
    .append = bitset::insert,
    .clear = bitset::clear,
    .copy = bitset::copy,
    .find = bitset::find,
    .insert = bitset::insert,
    .length_q = bitset::length,
    .pick = bitset::pick,
    .poke = bitset::poke,
    .remove = bitset::remove,
    .modify = series::modify,
    .mark = bitset::mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::bitset
