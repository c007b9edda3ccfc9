// map!: keys and values in a body block indexed by a map-kind hash table. The table finds keys;
// the body keeps the order, so mold, reflection and foreach walk the body and skip removed
// entries. Every function reads the map's cells into locals first and re-reads the body
// through its node after each allocation.
#include "runtime/datatypes/map.h"

#include <algorithm>
#include <initializer_list>

#include "runtime/compare.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::map {

namespace {

using T = TypeId;

constexpr uint64_t bit(T t) { return uint64_t{1} << type_index(t); }
constexpr bool in(uint64_t set, T t) { return (set >> type_index(t)) & 1; }
// Stored as set-word!.
constexpr uint64_t kWordKeys = bit(T::Word) | bit(T::LitWord) | bit(T::GetWord);
// Replaced by a copy of their own.
constexpr uint64_t kCopiedKeys = bit(T::String) | bit(T::File) | bit(T::Url) | bit(T::Tag) |
                                 bit(T::Email) | bit(T::Ref) | bit(T::Binary);
// Kept as they are.
constexpr uint64_t kKeptKeys = bit(T::SetWord) | bit(T::Refinement) | bit(T::Issue) |
                               bit(T::Char) | bit(T::Integer) | bit(T::Float) |
                               bit(T::Percent) | bit(T::Money) | bit(T::Pair) | bit(T::Tuple) |
                               bit(T::Time) | bit(T::Date) | bit(T::Point2D) | bit(T::Point3D);
constexpr uint64_t kKeys = kWordKeys | kCopiedKeys | kKeptKeys;
constexpr uint64_t kAnyBlocks = bit(T::Block) | bit(T::Paren) | bit(T::Hash) | bit(T::Path) |
                                bit(T::LitPath) | bit(T::SetPath) | bit(T::GetPath);
constexpr uint64_t kTargetWords = bit(T::Word) | bit(T::SetWord) | bit(T::GetWord) |
                                  bit(T::LitWord);

Cell body_cell(const Cell& map) { return Cell{static_cast<uint32_t>(T::Block), 0, map.w2, 0}; }
int32_t body_count(const Cell& map) { return block::count(map.w2); }
bool is_live(NodeId body, int32_t position) { return block::raw_cells(body)[position + 1].header != 0; }
Cell plain(Cell c) {
    c.header &= ~cell::kNewLine;
    return c;
}
Cell none_cell() { return Cell{static_cast<uint32_t>(T::None), 0, 0, 0}; }

[[noreturn]] void fire_bad_key(const Cell* path, T type) {
    const Cell where = path ? *path : none_cell();
    Cell datatype;
    datatype::set(&datatype, type);
    fire(Err::InvalidPath, &where, &datatype);
}

[[noreturn]] void fire_bad_to(const Cell* spec) {
    Cell type;
    datatype::set(&type, T::Map);
    fire(Err::BadToArg, &type, spec);
}

// A series key's own copy, keeping the key's header. May allocate.
Cell copied_key(const Cell& key) {
    Cell source = key;
    auto copy_fn = registry::row(cell::type_of(&key)).copy;
    if (!copy_fn) fire(Err::NotDone);  // a key type whose module is not built
    Cell* fresh = stack::reserve();
    cell::set_header(fresh, T::Unset);
    copy_fn(&source, fresh, nullptr, false, nullptr);
    const Cell copy{key.header, fresh->w1, fresh->w2, fresh->w3};
    stack::drop(1);
    return copy;
}

// The key as it is stored, or script invalid-path for a type that is not a key. May allocate.
Cell stored_key(Cell key, const Cell* path) {
    const T t = cell::type_of(&key);
    if (!in(kKeys, t)) fire_bad_key(path, t);
    if (in(kWordKeys, t)) cell::set_type(&key, T::SetWord);
    else if (in(kCopiedKeys, t)) key = copied_key(key);
    return key;
}

// The key as foreach, find and reflection hand it out.
Cell key_as_word(Cell key) {
    if (cell::is(&key, T::SetWord)) cell::set_type(&key, T::Word);
    return key;
}

CompareOp lookup_mode(bool case_, bool same) {
    return same ? CompareOp::Same : case_ ? CompareOp::StrictEqual : CompareOp::Equal;
}

// The body position of the key's entry, removed or live, or -1.
int32_t position_of(const Cell& map, const Cell* key, CompareOp mode) {
    return hashtable::find(map.w3, key, mode);
}

// Stores the value at a found entry, reviving a removed one.
void set_found(const Cell& map, int32_t position, const Cell& value) {
    Cell* slot = block::write_cells(map.w2) + position + 1;
    const bool revived = slot->header == 0;
    *slot = plain(value);
    if (revived) hashtable::record(map.w3)->count++;
}

// Appends a new entry and indexes its key under its hash. May allocate.
void add_entry(const Cell& map, const Cell& key, uint32_t hash, const Cell& value,
               const Cell* path) {
    const Cell stored = plain(stored_key(key, path));
    const Cell body = body_cell(map);
    block::append_cell(&body, &stored);
    const Cell held = plain(value);
    block::append_cell(&body, &held);
    hashtable::put_key_hashed(map.w3, body_count(map) - 2, hash);
}

// Sets the key's value, adding the entry when the key is missing. May allocate.
void store(const Cell& map, const Cell& key, const Cell& value, bool case_, const Cell* path) {
    const uint32_t hash = hashtable::key_hash(map.w3, &key);
    const int32_t found = hashtable::find_hashed(map.w3, &key, hash, lookup_mode(case_, false));
    if (found >= 0) set_found(map, found, value);
    else add_entry(map, key, hash, value, path);
}

struct ValueProbe {
    NodeId other;  // the second map's body
    Cell value;    // the value looked for
    CompareOp op;
};

// Whether some live entry of the second map whose key matches has an equal value.
bool matching_value(int32_t position, void* data) {
    auto* p = static_cast<ValueProbe*>(data);
    if (!is_live(p->other, position)) return false;
    return compare::values_equal(p->value, block::at(p->other, position + 1), p->op);
}

// Every live entry of a is found in b with an equal value (the maps have as many entries):
// strictly, the entry of the same key; else any entry whose key differs at most in case.
int32_t compare_entries(const Cell& a, const Cell& b, CompareOp op) {
    const bool strict = op == CompareOp::StrictEqual;
    const CompareOp key_mode = strict ? CompareOp::StrictEqual : CompareOp::Equal;
    const CompareOp value_op = strict ? op : CompareOp::Equal;
    cycles::Guard guard;
    cycles::push(a.w2);
    cycles::push(b.w2);
    for (int32_t i = 0; i < body_count(a); i += 2) {
        if (!is_live(a.w2, i)) continue;
        const Cell key = block::at(a.w2, i);
        ValueProbe probe{b.w2, block::at(a.w2, i + 1), value_op};
        if (strict) {
            const int32_t found = position_of(b, &key, key_mode);
            if (found < 0 || !matching_value(found, &probe)) return 1;
        } else if (!hashtable::find_each(b.w3, &key, key_mode, matching_value, &probe)) {
            return 1;
        }
    }
    return 0;
}

// Appends the mold of each live entry: key, one blank, value. `separator` goes between entries
// (`after` after each), each starts at `indent` levels. Stops after the entry during which a
// /part budget ran out.
int32_t mold_entries(const Cell& map, Cell* buffer, bool all, bool flat, Cell* part,
                     int32_t budget, int32_t indent, const char* separator, const char* after) {
    bool first = true;
    for (int32_t i = 0; i < body_count(map); i += 2) {
        if (!is_live(map.w2, i)) continue;
        if (part && budget <= 0) break;
        if (!first && separator) budget = string::emit(buffer, separator, budget);
        first = false;
        if (indent > 0) budget = mold_indent(buffer, indent, budget);
        Cell key = block::at(map.w2, i);
        budget = lookup<&ActionRow::mold>(&key, ActionId::Mold)(&key, buffer, false, all, flat,
                                                                 part, budget, indent);
        budget = string::emit(buffer, " ", budget);
        Cell value = block::at(map.w2, i + 1);
        budget = lookup<&ActionRow::mold>(&value, ActionId::Mold)(&value, buffer, false, all,
                                                                   flat, part, budget, indent);
        if (after) budget = string::emit(buffer, after, budget);
    }
    return budget;
}

// The body copied, with the map's table copied over it: `deep` alone copies nested blocks;
// `types` copies the values of those types (deeply with `deep`). A map met again while it is
// being copied raises internal no-cycle. May allocate.
void copy_into(const Cell& self, Cell* result, bool deep, const Cell* types) {
    if ((deep || types) && cycles::find(self.w2)) {
        cycles::reset();
        fire(Err::NoCycle);
    }
    const Cell body = body_cell(self);
    const Cell fresh = *block::copy_deep(&body, deep && !types, false);
    if (types) {
        cycles::Guard guard;
        cycles::push(self.w2);
        block::copy_types(cell::node(&fresh), 1, block::count(cell::node(&fresh)), 2, deep, types);
    }
    const NodeId table = hashtable::copy(self.w3, &fresh);
    *result = Cell{static_cast<uint32_t>(T::Map), 0, cell::node(&fresh), table};
    stack::drop(1);
}

// A new map over a shallow copy of the pairs of an any-block from its head.
void make_from_block(Cell* out, const Cell& spec) {
    Cell held = spec;
    const int32_t n = std::max(block::rs_length(&held), 0);
    if (n % 2 != 0) fire(Err::InvalidArg, &held);
    Cell* copy = block::copy_deep(&held, false, false);
    Cell* cells = block::write_cells(cell::node(copy));
    for (int32_t i = 0; i < n; i++) cells[i].header &= ~cell::kNewLine;
    Cell made;
    make_at(&made, copy, n / 2);
    *out = made;
    stack::drop(1);
}

// make and to: `sized` allows a number spec (make only).
Cell* build(Cell* proto, Cell* spec, bool sized) {
    const Cell given = *spec;
    const T t = cell::type_of(&given);
    if (in(kAnyBlocks, t)) {
        make_from_block(proto, given);
    } else if (t == T::Map) {
        Cell* result = stack::reserve();
        cell::set_header(result, T::Unset);
        copy_into(given, result, false, nullptr);
        *proto = *result;
        stack::drop(1);
    } else if (sized && (t == T::Integer || t == T::Float)) {
        const int32_t size = float_to_int_checked(&given);
        if (size < 0) fire(Err::OutOfRange, &given);
        Cell made;
        make_at(&made, nullptr, size == 0 ? 2 : size);
        *proto = made;
    } else {
        fire_bad_to(&given);
    }
    return proto;
}

}  // namespace

bool is_key_type(TypeId t) { return in(kKeys, t); }

void normalise_key(NodeId body, int32_t position) {
    const Cell key = block::at(body, position);
    const Cell stored = stored_key(key, nullptr);
    if (stored.header == key.header && stored.w2 == key.w2) return;
    block::write_cells(body)[position] = stored;
}

Cell* make_at(Cell* cell, const Cell* block, int32_t entries) {
    Cell* body = stack::reserve();
    cell::set_header(body, T::Unset);  // readable while the body is made
    if (block) *body = *block;
    else block::make_at(body, std::max(2 * entries, 2));
    const NodeId table = hashtable::make(entries, body, hashtable::Kind::Map, 0);
    *cell = Cell{static_cast<uint32_t>(T::Map), 0, cell::node(body), table};
    stack::drop(1);
    return cell;
}

Cell* push_copy(const Cell* map) { return stack::push(map); }

int32_t live_count(const Cell* map) { return static_cast<int32_t>(hashtable::record(map->w3)->count); }

Cell* push_body(const Cell* map, bool new_lines) {
    const Cell self = *map;
    Cell* out = block::push_new(2 * live_count(&self));
    for (int32_t i = 0; i < body_count(self); i += 2) {
        if (!is_live(self.w2, i)) continue;
        Cell key = plain(block::at(self.w2, i));
        if (new_lines) key.header |= cell::kNewLine;
        const Cell value = plain(block::at(self.w2, i + 1));
        block::append_cell(out, &key);
        block::append_cell(out, &value);
    }
    return out;
}

void extend_block(const Cell* map, const Cell* block, bool case_) {
    const Cell self = *map;
    const Cell pairs = *block;
    const NodeId node = cell::node(&pairs);
    const int32_t head = block::head_index(&pairs);
    const int32_t n = block::count(node) - head;
    if (n % 2 != 0) fire(Err::InvalidArg, &pairs);
    block::ensure_room(self.w2, static_cast<int64_t>(body_count(self)) + n, false);
    for (int32_t i = head; i + 1 < std::min(head + n, block::count(node)); i += 2) {
        const Cell key = block::at(node, i);
        const Cell value = block::at(node, i + 1);
        store(self, key, value, case_, nullptr);
    }
}

bool foreach_set(const Cell* words, Cell* map) {
    const NodeId body = map->w2;
    int32_t at = std::max(cell::head(map), 0);
    while (at + 1 < block::count(body) && !is_live(body, at)) at += 2;
    cell::set_head(map, at);
    if (at + 1 >= block::count(body)) return false;
    const Cell key = plain(key_as_word(block::at(body, at)));
    const Cell value = plain(block::at(body, at + 1));
    cell::set_head(map, at + 2);
    const NodeId targets = cell::node(words);
    const int32_t first = block::head_index(words);
    if (block::count(targets) - first < 2) fire(Err::InvalidArg, words);
    Cell key_word = block::at(targets, first);
    Cell value_word = block::at(targets, first + 1);
    for (const Cell* target : {&key_word, &value_word})
        if (!in(kTargetWords, cell::type_of(target))) fire(Err::InvalidArg, target);
    word::set(&key_word, &key);
    word::set(&value_word, &value);
    return true;
}

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId) { return build(proto, spec, true); }
Cell* to(Cell* proto, Cell* spec, TypeId) { return build(proto, spec, false); }

void reflect(Cell* value, SymId field) {
    const Cell self = *value;
    const SymId f = symbol::resolve(field);
    const bool keys = f == symbol::resolve(words::sym::words);
    const bool values = f == symbol::resolve(words::sym::values);
    const bool body = f == symbol::resolve(words::sym::body);
    if (!keys && !values && !body) fire(Err::NotDone);
    stack::Mark mark;
    Cell answer;
    if (body) {
        answer = *push_body(&self, true);
    } else {
        Cell* out = block::push_new(live_count(&self));
        for (int32_t i = 0; i < body_count(self); i += 2) {
            if (!is_live(self.w2, i)) continue;
            const Cell item = keys ? key_as_word(block::at(self.w2, i)) : block::at(self.w2, i + 1);
            const Cell held = plain(item);
            block::append_cell(out, &held);
        }
        answer = *out;
    }
    mark.restore();
    stack::set_last(&answer);
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    const Cell self = *value;
    if (cycles::detect(&self, buffer, budget, false)) return budget;
    cycles::Guard guard;
    cycles::push(self.w2);
    return mold_entries(self, buffer, false, false, part, budget, 0, "\n", nullptr);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent) {
    const Cell self = *value;
    if (cycles::detect(&self, buffer, budget, true)) return budget;
    cycles::Guard guard;
    cycles::push(self.w2);
    if (only) return mold_entries(self, buffer, all, flat, part, budget, 0, flat ? " " : "\n", nullptr);
    budget = string::emit(buffer, "#[", budget);
    if (live_count(&self) == 0) return string::emit(buffer, "]", budget);
    if (flat) {
        budget = mold_entries(self, buffer, all, true, part, budget, 0, " ", nullptr);
        return string::emit(buffer, "]", budget);
    }
    budget = string::emit(buffer, "\n", budget);
    budget = mold_entries(self, buffer, all, false, part, budget, indent + 1, nullptr, "\n");
    budget = mold_indent(buffer, indent, budget);
    return string::emit(buffer, "]", budget);
}

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*,
                        int32_t, bool case_, bool, bool, bool) {
    const Cell self = *parent;
    const Cell key = *element;
    if (value) {
        store(self, key, *value, case_, path);
        return value;
    }
    const int32_t found = position_of(self, &key, lookup_mode(case_, false));
    if (found < 0 || !is_live(self.w2, found)) return none::shared();
    return block::raw_cells(self.w2) + found + 1;
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Map)) return kNotComparable;
    const Cell x = *a;
    const Cell y = *b;
    switch (op) {
    case CompareOp::SortCase:
    case CompareOp::SortStrict: return (x.w2 > y.w2) - (x.w2 < y.w2);
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::StrictEqual:
    case CompareOp::Same:
    case CompareOp::FindEqual: break;
    default: return kNotComparable;
    }
    if (x.w2 == y.w2 && x.w1 == y.w1) return 0;
    if (op == CompareOp::Same) return -1;
    if (cycles::find(x.w2)) return cycles::find(y.w2) ? 0 : -1;
    if (live_count(&x) != live_count(&y)) return 1;
    if (live_count(&x) == 0) return 0;
    // Without case, keys that differ only in case may match more than one entry: the answer
    // holds both ways round, so equality stays symmetric.
    const int32_t answer = compare_entries(x, y, op);
    return answer != 0 || op == CompareOp::StrictEqual ? answer : compare_entries(y, x, op);
}

void clear(Cell* value) {
    const Cell self = *value;
    hashtable::clear(self.w3);
    Cell body = body_cell(self);
    block::clear(&body);
}

Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types) {
    if (part) {
        const Cell word = words::w::part;
        fire(Err::InvalidRefineArg, &word, part);
    }
    copy_into(*series, result, deep, types);
    return result;
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool case_, bool same, bool, Cell*, Cell*,
           bool, bool, bool, bool) {
    const Cell self = *series;
    const int32_t found = position_of(self, value, lookup_mode(case_, same));
    if (found < 0 || !is_live(self.w2, found)) return none::shared();
    *series = plain(key_as_word(block::at(self.w2, found)));
    return series;
}

int32_t length_q(Cell* value) { return live_count(value); }

Cell* put(Cell* target, Cell* key, Cell* value, bool case_) {
    store(*target, *key, *value, case_, nullptr);
    return value;
}

Cell* remove(Cell* series, Cell*, Cell* key) {
    if (!key) fire(Err::MissingArg);
    const Cell self = *series;
    const int32_t found = position_of(self, key, CompareOp::StrictEqual);
    if (found >= 0) hashtable::remove_key(self.w3, found);
    return series;
}

const Cell* select(Cell* series, Cell* value, Cell*, bool, bool case_, bool same, bool, Cell*,
                   Cell*, bool, bool) {
    const Cell self = *series;
    const int32_t found = position_of(self, value, lookup_mode(case_, same));
    if (found < 0 || !is_live(self.w2, found)) return none::shared();
    return block::raw_cells(self.w2) + found + 1;
}

void mark(const Cell* value) {
    collector::mark_series(value->w2);
    collector::mark_table(value->w3);
}

constexpr TypeRecord kRecord{
    .id = TypeId::Map,
    .parent = TypeId::Invalid,
    .name = "map!",
    .make = map::make,
    .reflect = map::reflect,
    .to = map::to,
    .form = map::form,
    .mold = map::mold,
    .path_access = map::path_access,
    .compare = map::compare,
    .clear = map::clear,
    .copy = map::copy,
    .find = map::find,
    .length_q = map::length_q,
    .put = map::put,
    .remove = map::remove,
    .select = map::select,
    .mark = map::mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::map
