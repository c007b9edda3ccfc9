// series!: the actions every series shares, over raw units. Each modifying action tells the
// series' owner before and after the change; a before-notice that reached an owner may have run
// code, so positions are re-read and clamped after it. hash! blocks keep their index in step
// through the hash table operations.
#include "runtime/datatypes/series.h"

#include <algorithm>
#include <cstring>

#include "runtime/datatypes/character.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/hash_block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"
#include "runtime/watch.h"
#include "runtime/words.h"

namespace nuv::series {

namespace {

using memory::SeriesBuf;

// A series buffer seen in units; valid until the next allocation.
struct Units {
    SeriesBuf* b;
    uint32_t unit;
    int shift;
    int32_t len;
    uint8_t* at(int32_t i) const { return b->offset_ptr() + (static_cast<size_t>(i) << shift); }
    size_t bytes(int32_t n) const { return static_cast<size_t>(n) << shift; }
};

Units view(NodeId node) {
    SeriesBuf* b = memory::buf(node);
    const uint32_t unit = b->unit();
    const int shift = unit_shift(unit);
    return {b, unit, shift, static_cast<int32_t>(b->used() >> shift)};
}
Units view_of(const Cell* s) { return view(cell::node(s)); }

// The head clamped to 0 .. len.
int32_t clamped_head(const Cell* s, int32_t len) {
    return std::clamp(cell::head(s), 0, len);
}

using hash_block::index_of;

// The hash! index after `count` cells left the block at `at`.
void hash_removed(NodeId table, int32_t at, int32_t count) {
    if (table && count > 0) hashtable::cells_replaced(table, at, count, 0);
}

// The value that pick gives for a non-block unit lands here; valid until the next pick.
Cell g_picked{};

// The unit at `pos` as a value: the cell itself for block types, else g_picked.
Cell* unit_value(const Cell* s, const Units& v, int32_t pos) {
    const TypeId t = cell::type_of(s);
    if (v.unit == sizeof(Cell)) return reinterpret_cast<Cell*>(v.at(pos));
    if (t == TypeId::Vector) vector::read_elem(v.at(pos), v.unit, vector::elem_type(s), &g_picked);
    else if (t == TypeId::Binary) integer::set(&g_picked, *v.at(pos));
    else character::set(&g_picked, string::get_char(v.at(pos), v.unit));
    return &g_picked;
}

// The 0-based unit position of a 1-based pick index (negative: back from the head), or -1 when
// the index is 0 or the position lies outside the units.
int32_t pick_position(const Cell* s, int32_t index, int32_t len) {
    if (index == 0) return -1;
    const int64_t pos = static_cast<int64_t>(cell::head(s)) + index - (index > 0 ? 1 : 0);
    return pos < 0 || pos >= len ? -1 : static_cast<int32_t>(pos);
}

[[noreturn]] void bad_part(const Cell* part) {
    fire(Err::InvalidRefineArg, &words::w::part, part);
}

void swap_units(uint8_t* a, uint8_t* b, size_t bytes) { std::swap_ranges(a, a + bytes, b); }

// Two series whose units can move between them: both block types, both text types, or both of
// one binary or vector kind with equal units.
bool is_unit_series(TypeId t) {
    return is_any_block(t) || is_any_string(t) || t == TypeId::Binary || t == TypeId::Vector;
}

bool same_family(const Cell* a, const Cell* b) {
    const TypeId ta = cell::type_of(a), tb = cell::type_of(b);
    if (is_any_block(ta)) return is_any_block(tb);
    if (is_any_string(ta)) return is_any_string(tb);
    return ta == tb && (ta == TypeId::Binary || ta == TypeId::Vector) &&
           view_of(a).unit == view_of(b).unit;
}

// A new buffer of the source's unit holding `count` units from `start`, with the source's flags
// except where it lives, its ownership, its watch and the boot-code mark. At least one unit of
// room, so the copy can grow.
NodeId copy_units(NodeId source, int32_t start, int32_t count) {
    const uint32_t unit = memory::buf(source)->unit();
    const NodeId fresh = memory::alloc_series(static_cast<size_t>(std::max(count, 1)), unit, 0);
    const Units from = view(source);
    SeriesBuf* to = memory::buf(fresh);
    std::memcpy(to->data(), from.at(start), from.bytes(count));
    constexpr uint32_t kNotCopied = memory::kLocationBits | memory::kOwned | memory::kOwner |
                                    memory::kMark | watch::kWatched | memory::kBootCode;
    to->flags = (from.b->flags & ~kNotCopied) | (to->flags & memory::kLocationBits) |
                memory::kAllocated;
    to->offset = 0;
    to->tail = from.bytes(count);
    return fresh;
}

// Inserts `count` units of `source` from `from` into `target` at unit `at` (two buffers of one
// family); a text target is widened first when the source's unit is wider.
void insert_units(NodeId target, int32_t at, NodeId source, int32_t from, int32_t count) {
    const uint32_t su = memory::buf(source)->unit();
    if (memory::buf(target)->unit() < su) unicode::widen(target, su);
    watch::series_written(target);
    Units t = view(target);
    const size_t need = t.b->tail + t.bytes(count);
    if (need > t.b->size) {
        memory::expand_series(target, std::max(need - t.b->offset, 2 * t.b->size));
        t = view(target);
    }
    std::memmove(t.at(at + count), t.at(at), t.bytes(t.len - at));
    const Units s = view(source);
    if (s.unit == t.unit) {
        std::memcpy(t.at(at), s.at(from), t.bytes(count));
    } else {
        for (int32_t i = 0; i < count; i++)
            string::put_char(t.at(at + i), t.unit, string::get_char(s.at(from + i), s.unit));
    }
    t.b->tail += t.bytes(count);
}

// Removes `count` units at `at` (within the units).
void delete_units(NodeId node, int32_t at, int32_t count) {
    watch::series_written(node);
    Units v = view(node);
    std::memmove(v.at(at), v.at(at + count), v.bytes(v.len - at - count));
    v.b->tail -= v.bytes(count);
}

[[noreturn]] void fire_move_bad(const Cell* origin, const Cell* target) {
    Cell a, b;
    datatype::set(&a, cell::type_of(origin));
    datatype::set(&b, cell::type_of(target));
    fire(Err::MoveBad, &a, &b);
}

bool is_field(SymId field, SymId name) { return symbol::resolve(field) == symbol::resolve(name); }

bool is_plain_word(const Cell* c) {
    const TypeId t = cell::type_of(c);
    return t == TypeId::Word || t == TypeId::SetWord || t == TypeId::LitWord ||
           t == TypeId::GetWord;
}

}  // namespace

// ---- Shared operations ----

bool is_at_tail(const Cell* series) { return cell::head(series) >= view_of(series).len; }

int32_t buffer_length(const Cell* series) { return view_of(series).len; }

int32_t length(Cell* series, bool from_start) {
    const int32_t len = view_of(series).len;
    const int32_t head = cell::head(series);
    if (head > len) {
        cell::set_head(series, len);
        return from_start ? len : 0;
    }
    if (from_start) return len;
    return head < 0 ? len : len - head;
}

bool move_head(Cell* series, int32_t n) {
    const int64_t to = static_cast<int64_t>(cell::head(series)) + n;
    const int32_t len = view_of(series).len;
    if (to <= len) cell::set_head(series, static_cast<int32_t>(to));
    return to >= len;
}

void skip_index(bool at) {
    Cell* s = stack::arg(0);
    const Cell* n = stack::arg(1);
    if (!cell::is(n, TypeId::Integer)) fire(Err::InvalidArg, n);
    const int64_t by = integer::get(n);
    const int64_t k = at && by > 0 ? 1 : 0;
    const int64_t to = static_cast<int64_t>(cell::head(s)) + by - k;
    cell::set_head(s, static_cast<int32_t>(std::clamp<int64_t>(to, 0, view_of(s).len)));
}

int32_t part_limit(const Cell* series, const Cell* part) {
    if (cell::is(part, TypeId::Integer)) return integer::get(part);
    if (cell::type_of(part) == cell::type_of(series) && cell::node(part) == cell::node(series)) {
        const int32_t len = view_of(series).len;
        return clamped_head(part, len) - clamped_head(series, len);
    }
    bad_part(part);
}

// ---- Navigation ----

void at() { skip_index(true); }
void skip() { skip_index(false); }
void head() { cell::set_head(stack::arg(0), 0); }
void tail() { cell::set_head(stack::arg(0), view_of(stack::arg(0)).len); }
void next() { move_head(stack::arg(0), 1); }
void back() {
    Cell* s = stack::arg(0);
    if (cell::head(s) >= 1) cell::set_head(s, cell::head(s) - 1);
}
void is_head() { logic::set(stack::arg(0), cell::head(stack::arg(0)) == 0); }
void is_tail() { logic::set(stack::arg(0), is_at_tail(stack::arg(0))); }
void is_index() { integer::set(stack::arg(0), cell::head(stack::arg(0)) + 1); }
int32_t is_length(Cell* value) { return length(value, false); }

// ---- Reading and writing by index ----

const Cell* pick(Cell* series, int32_t index, Cell*) {
    const Units v = view_of(series);
    const int32_t pos = pick_position(series, index, v.len);
    return pos < 0 ? none::shared() : unit_value(series, v, pos);
}

Cell* poke(Cell* series, int32_t index, Cell* value, Cell*) {
    const TypeId t = cell::type_of(series);
    int32_t pos = pick_position(series, index, view_of(series).len);
    if (pos < 0) fire_int(Err::OutOfRange, index);
    if (t == TypeId::Vector) vector::check_class(series, value);
    const bool text = is_any_string(t);
    if (text && !cell::is(value, TypeId::Char)) fire(Err::InvalidArg, value);
    if (t == TypeId::Binary && !cell::is(value, TypeId::Integer) && !cell::is(value, TypeId::Char))
        fire(Err::InvalidArg, value);
    const Cell v = *value;
    const bool owned = ownership::check(series, words::w::poke, &v, pos, 1);
    if (owned && pos >= view_of(series).len) fire_int(Err::OutOfRange, index);
    const NodeId node = cell::node(series);
    if (text) {
        string::write_char(node, pos, character::get(&v));
    } else if (t == TypeId::Binary) {
        *view(node).at(pos) = static_cast<uint8_t>(v.w2);
    } else if (t == TypeId::Vector) {
        const Units u = view(node);
        vector::set_elem(u.at(pos), &v, u.unit);
    } else {
        watch::series_written(node);
        *reinterpret_cast<Cell*>(view(node).at(pos)) = v;
        hash_block::rewritten(series, pos, 1);
    }
    if (owned) ownership::check(series, words::w::poked, &v, pos, 1);
    return value;
}

// ---- Removing ----

void clear(Cell* series) {
    const int32_t len = view_of(series).len;
    const int32_t head = std::max(cell::head(series), 0);
    if (head >= len) return;
    ownership::check(series, words::w::clear, nullptr, head, len - head);
    const Units v = view_of(series);
    if (head < v.len) {
        watch::series_written(cell::node(series));
        v.b->tail = v.b->offset + v.bytes(head);
        hash_removed(index_of(series), head, v.len - head);
    }
    ownership::check(series, words::w::cleared, nullptr, head, len - head);
}

Cell* remove(Cell* series, Cell* part, Cell* key) {
    int32_t count = part ? part_limit(series, part) : 1;
    if (count < 1) return series;
    int32_t start = clamped_head(series, view_of(series).len);
    if (key) {
        stack::Mark mark;
        Cell* probe = stack::push(series);
        auto find = lookup<&ActionRow::find>(series, ActionId::Find);
        const Cell* found = find(probe, key, nullptr, false, true, false, false, nullptr, nullptr,
                                 false, false, false, false);
        if (cell::is(found, TypeId::None)) {
            mark.restore();
            return none::shared();
        }
        start = cell::head(found);
        mark.restore();
        count++;
    }
    int32_t len = view_of(series).len;
    if (start >= len) return series;
    count = std::min(count, len - start);
    const bool owned = ownership::check(series, words::w::remove, nullptr, start, count);
    if (owned) {
        len = view_of(series).len;
        if (start >= len) return series;
        count = std::min(count, len - start);
    }
    delete_units(cell::node(series), start, count);
    hash_removed(index_of(series), start, count);
    if (owned) ownership::check(series, words::w::removed, nullptr, start, count);
    return series;
}

// ---- Reordering ----

Cell* reverse(Cell* series, Cell* part, Cell* skip) {
    const int32_t len = view_of(series).len;
    if (cell::head(series) >= len) return series;
    const int32_t head = std::max(cell::head(series), 0);
    int32_t count = len - head;
    if (part) {
        count = std::min(part_limit(series, part), count);
        if (count < 1) return series;
    }
    int32_t size = 1;
    if (skip) {
        if (!cell::is(skip, TypeId::Integer)) fire(Err::InvalidRefineArg, &words::w::skip, skip);
        size = integer::get(skip);
        if (size == count) return series;
        if (size < 1) fire(Err::OutOfRange, skip);
        if (count < size || count % size != 0) fire(Err::InvalidRefineArg, &words::w::skip, skip);
    }
    const bool owned = ownership::check(series, words::w::reverse, nullptr, head, count);
    const Units v = view_of(series);
    if (owned) count = std::min(count, std::max(v.len - head, 0)) / size * size;
    watch::series_written(cell::node(series));
    for (int32_t i = head, j = head + count - size; i < j; i += size, j -= size)
        swap_units(v.at(i), v.at(j), v.bytes(size));
    hash_block::rewritten(series, head, count);
    if (owned) ownership::check(series, words::w::reversed, nullptr, head, count);
    return series;
}

Cell* random(Cell* value, bool seed, bool secure, bool only) {
    Units v = view_of(value);
    const int32_t head = clamped_head(value, v.len);
    int32_t n = v.len - head;
    if (seed) {
        random::mt_seed(hash::murmur3(v.at(head), v.bytes(n)));
        unset::set(value);
        return value;
    }
    if (only) {
        if (n == 0) {
            none::set(value);
            return value;
        }
        const int32_t pos = head + random::random_in_range(secure, n) - 1;
        *value = *unit_value(value, view_of(value), pos);
        return value;
    }
    const bool owned = ownership::check(value, words::w::random, nullptr, head, n);
    v = view_of(value);
    if (owned) n = std::max(v.len - head, 0);
    watch::series_written(cell::node(value));
    for (int32_t pos = head, left = n; left > 0; pos++, left--) {
        const int32_t k = random::random_in_range(secure, left);
        if (k > 1) swap_units(v.at(pos), v.at(pos + k - 1), v.bytes(1));
    }
    if (NodeId table = index_of(value)) hashtable::rebuild(table);
    if (owned) ownership::check(value, words::w::randomized, nullptr, head, n);
    return value;
}

void move(Cell* origin, Cell* target, Cell* part) {
    int32_t len = view_of(origin).len;
    if (cell::head(origin) >= len) return;
    const int32_t from = std::max(cell::head(origin), 0);
    int32_t count = part ? part_limit(origin, part) : 1;
    if (count < 1) return;
    count = std::min(count, len - from);
    if (!is_unit_series(cell::type_of(target))) fire_move_bad(origin, target);
    const NodeId onode = cell::node(origin), tnode = cell::node(target);

    if (onode == tnode) {
        // The moved units end up starting at the target's position.
        const int32_t to = clamped_head(target, len);
        if (to == from || (to > from && to + count > len)) return;
        const bool owned = ownership::check(origin, words::w::move, nullptr, from, count);
        if (owned && std::max(to, from) + count > view(onode).len) return;
        watch::series_written(onode);
        const Units v = view(onode);
        if (to > from) std::rotate(v.at(from), v.at(from + count), v.at(to + count));
        else std::rotate(v.at(to), v.at(from), v.at(from + count));
        if (NodeId table = index_of(origin))
            hashtable::block_move(table, to > from ? to + count : to, from, count);
        if (owned) ownership::check(origin, words::w::moved, nullptr, from, count);
        return;
    }

    if (!same_family(origin, target)) fire_move_bad(origin, target);
    // Both cells are held by value: inserting into the target may move any buffer.
    const Cell o = *origin, t = *target;
    const bool owned_o = ownership::check(&o, words::w::move, nullptr, from, count);
    const bool owned_t =
        ownership::check(&t, words::w::move, nullptr, clamped_head(&t, view(tnode).len), count);
    len = view(onode).len;
    if (from >= len) return;
    count = std::min(count, len - from);
    const int32_t to = clamped_head(&t, view(tnode).len);
    insert_units(tnode, to, onode, from, count);
    delete_units(onode, from, count);
    hash_removed(index_of(&o), from, count);
    if (NodeId table = index_of(&t)) hashtable::cells_replaced(table, to, 0, count);
    if (owned_o) ownership::check(&o, words::w::moved, nullptr, from, count);
    if (owned_t) ownership::check(&t, words::w::moved, nullptr, to, count);
}

// ---- Copying ----

Cell* copy(Cell* series, Cell* result, Cell* part, bool, Cell*) {
    const int32_t len = view_of(series).len;
    const int32_t head = cell::head(series) < 0 ? 0 : cell::head(series);
    int64_t start = head;
    int64_t count = head > len ? 0 : len - head;
    if (part) {
        if (cell::is(part, TypeId::Pair)) {
            const int64_t x = static_cast<int32_t>(part->w2), y = static_cast<int32_t>(part->w3);
            start = std::max<int64_t>(head + x - (x < 0 ? 0 : 1), 0);
            count = y < x ? 0 : y - x;
        } else {
            count = part_limit(series, part);
        }
    }
    if (count < 0) {
        count = -count;
        start -= count;
        if (start < 0) {
            start = 0;
            count = head;
        }
    }
    if (start > len) start = len;
    if (start + count > len) count = len - start;

    const Cell source = *series;
    const NodeId fresh =
        copy_units(cell::node(&source), static_cast<int32_t>(start), static_cast<int32_t>(count));
    const TypeId t = cell::type_of(&source);
    *result = Cell{static_cast<uint32_t>(t) | (source.header & cell::kNewLine), 0, fresh,
                   t == TypeId::Vector ? source.w3 : 0};
    return result;
}

Cell* take(Cell* series, Cell* part, bool, bool last) {
    const Cell source = *series;
    const NodeId node = cell::node(&source);
    int32_t len = view(node).len;
    const int32_t head = std::max(cell::head(&source), 0);
    if (head >= len) {
        none::set(series);
        return series;
    }
    const int32_t available = len - head;
    int32_t start = head;
    int32_t count = 1;
    if (part) {
        if (cell::is(part, TypeId::Integer)) {
            count = integer::get(part);
        } else {
            part_limit(&source, part);  // raises for a limit of another series
            const int32_t at = clamped_head(part, len);
            count = last ? len - at : std::max(at - head, 0);
        }
        if (count < 0 && !last) {
            count = count < -head ? head : -count;  // -count overflows for the smallest integer
            start = head - count;
        } else {
            count = std::min(std::max(count, last ? 1 : 0), available);
            if (last) start = len - count;
        }
        if (count == 0) {
            count = 1;
            start = head;
        }
    } else if (last) {
        start = len - 1;
    }

    const bool owned = ownership::check(&source, words::w::take, nullptr, start, count);
    if (owned) {
        len = view(node).len;
        if (start >= len) {
            none::set(series);
            return series;
        }
        count = std::min(count, len - start);
    }
    const NodeId fresh = copy_units(node, start, count);
    delete_units(node, start, count);
    hash_removed(index_of(&source), start, count);
    const TypeId t = cell::type_of(&source);
    *series = Cell{static_cast<uint32_t>(t), 0, fresh, t == TypeId::Vector ? source.w3 : 0};
    if (t == TypeId::Hash) {
        const NodeId index = hashtable::make(count, series, hashtable::Kind::Hash, 0);
        series->w3 = index;
    }
    if (owned) ownership::check(&source, words::w::taken, nullptr, start, count);
    return series;
}

// ---- Ownership fields ----

void reflect(Cell* value, SymId field) {
    if (!is_field(field, words::sym::owned)) fire(Err::NotDone);
    const Cell* entry = ownership::owner_of(value);
    stack::set_last(entry ? entry + 1 : none::shared());
}

Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
    if (!word::is_any_word_type(cell::type_of(field)) ||
        !is_field(word::symbol_of(field), words::sym::owned))
        return value;
    if (cell::is(value, TypeId::None)) {
        ownership::unbind(target);
        return value;
    }
    // The owner and its field word are the block's first two values.
    if (!cell::is(value, TypeId::Block)) fire(Err::InvalidArg, value);
    const Units v = view_of(value);
    const int32_t head = clamped_head(value, v.len);
    if (v.len - head < 2) fire(Err::InvalidArg, value);
    const Cell* pair = reinterpret_cast<const Cell*>(v.at(head));
    if (!cell::is(pair, TypeId::Object) || !is_plain_word(pair + 1)) fire(Err::InvalidArg, value);
    ownership::bind(target, pair, pair + 1);
    return value;
}

constexpr TypeRecord kRecord{
    .id = TypeId::Series,
    .parent = TypeId::Invalid,
    .name = "series!",
    .random = series::random,
    .reflect = series::reflect,
    .at = series::at,
    .back = series::back,
    .clear = series::clear,
    .copy = series::copy,
    .head = series::head,
    .head_q = series::is_head,
    .index_q = series::is_index,
    .length_q = series::is_length,
    .move = series::move,
    .next = series::next,
    .pick = series::pick,
    .poke = series::poke,
    .remove = series::remove,
    .reverse = series::reverse,
    .skip = series::skip,
    .tail = series::tail,
    .tail_q = series::is_tail,
    .take = series::take,
    .modify = series::modify,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::series
