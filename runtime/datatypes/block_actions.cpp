// block! actions: making and converting, form and mold with the new-line layout, comparison,
// path access, search, insertion and change, sorting, taking, trimming, swapping, copying and
// the set operations, then the registration record. Loops read cells by (node, index) into
// locals: compare, form and mold slots, owner notices and copies may allocate and so move
// every buffer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/collector.h"
#include "runtime/compare.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/hash_block.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/sort.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::block {

namespace {

using memory::SeriesBuf;
using T = TypeId;
constexpr size_t kCellBytes = sizeof(Cell);
// The most cells a block holds: its size in bytes stays within 31 bits.
constexpr int64_t kMaxCells = INT32_MAX / static_cast<int64_t>(kCellBytes);

Counters g_counters{};

constexpr uint64_t bit(TypeId t) { return uint64_t{1} << type_index(t); }
constexpr uint64_t kNumbers = bit(T::Integer) | bit(T::Float) | bit(T::Percent);
constexpr uint64_t kWords = bit(T::Word) | bit(T::SetWord) | bit(T::LitWord) |
                            bit(T::GetWord) | bit(T::Refinement) | bit(T::Issue);
constexpr uint64_t kAnyBlocks = bit(T::Block) | bit(T::Paren) | bit(T::Path) |
                                bit(T::LitPath) | bit(T::SetPath) | bit(T::GetPath) |
                                bit(T::Hash);
// The series a deep copy replaces by their copies.
constexpr uint64_t kDeepSeries = kAnyBlocks | bit(T::String) | bit(T::File) | bit(T::Url) |
                                 bit(T::Tag) | bit(T::Email) | bit(T::Ref) | bit(T::Binary) |
                                 bit(T::Vector) | bit(T::Image);
// What copy/types replaces: series, and the values that own a buffer or a context.
constexpr uint64_t kCopyable =
    kDeepSeries | bit(T::Bitset) | bit(T::Object) | bit(T::Error) | bit(T::Map);
constexpr bool in(uint64_t set, TypeId t) { return (set >> type_index(t)) & 1; }
// The keys a hash! index finds just as a scan would: types whose hash covers all that their
// equality compares. Blocks and objects compare contents their hash leaves out (under same they
// compare identity, which it covers); function kinds, points and the types without a module
// are scanned for.
constexpr uint64_t kIndexedKeys = bit(T::Unset) | bit(T::None) | bit(T::Logic) |
                                  bit(T::Datatype) | bit(T::Typeset) | bit(T::Char) |
                                  bit(T::Integer) | bit(T::Float) | bit(T::Percent) |
                                  bit(T::Time) | bit(T::Pair) | kWords | bit(T::String) |
                                  bit(T::File) | bit(T::Url) | bit(T::Tag) | bit(T::Email) |
                                  bit(T::Ref) | bit(T::Binary) | bit(T::Handle);
constexpr uint64_t kIndexedSame = kIndexedKeys | kAnyBlocks | bit(T::Object) | bit(T::Error);

Cell integer_cell(int32_t v) { return Cell{static_cast<uint32_t>(T::Integer), 0, static_cast<uint32_t>(v), 0}; }

// The sort answer of two values: the compare slot's, with logic!, the native kinds and the
// function kinds ordered on their payload words. A type without a compare slot is not
// comparable.
int32_t compare_sort(Cell* a, Cell* b, CompareOp op) {
    const TypeId t = cell::type_of(a);
    if (t == cell::type_of(b)) {
        switch (t) {
        case T::Logic: return static_cast<int32_t>(a->w1) - static_cast<int32_t>(b->w1);
        case T::Native:
        case T::Action:
        case T::Op: return (a->w1 > b->w1) - (a->w1 < b->w1);
        case T::Function:
        case T::Routine: return (a->w3 > b->w3) - (a->w3 < b->w3);
        default: break;
        }
    }
    auto fn = registry::row(t).compare;
    return fn ? fn(a, b, op) : kNotComparable;
}

bool cells_equal(Cell a, Cell b, CompareOp op) { return compare::values_equal(a, b, op); }

bool is_equality(CompareOp op) {
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::StrictEqual:
    case CompareOp::WordsCase:
    case CompareOp::Words:
    case CompareOp::FindEqual: return true;
    default: return false;
    }
}

// ---- Search ----

enum class Match : uint8_t { Value, Type, Types, Sequence };

// What find, select, put and the set operations look for.
struct Query {
    Cell key;
    Match kind;
    NodeId sequence;     // the sequence's cells (Match::Sequence)
    int32_t first;       // its head
    int32_t length;      // cells one match covers
    CompareOp op;
};

Query make_query(const Cell* value, bool only, bool case_, bool same) {
    Query q{*value, Match::Value, 0, 0, 1,
            same ? CompareOp::Same : case_ ? CompareOp::StrictEqual : CompareOp::FindEqual};
    if (only) return q;
    const TypeId t = cell::type_of(&q.key);
    if (t == T::Datatype) q.kind = Match::Type;
    else if (t == T::Typeset) q.kind = Match::Types;
    else if (in(kAnyBlocks, t)) {
        q.kind = Match::Sequence;
        q.sequence = cell::node(&q.key);
        q.first = head_index(&q.key);
        q.length = count(q.sequence) - q.first;
    }
    return q;
}

bool matches_at(const Query& q, NodeId node, int32_t i) {
    switch (q.kind) {
    case Match::Type: return type_index(cell::type_of(raw_cells(node) + i)) == static_cast<int>(q.key.w1);
    case Match::Types: return typeset_has(&q.key, type_index(cell::type_of(raw_cells(node) + i)));
    case Match::Value: return cells_equal(at(node, i), q.key, q.op);
    case Match::Sequence:
        if (static_cast<int64_t>(i) + q.length > count(node)) return false;
        for (int32_t k = 0; k < q.length; k++)
            if (!cells_equal(at(node, i + k), at(q.sequence, q.first + k), q.op)) return false;
        return true;
    }
    return false;
}

// The record size of a /skip argument: 1 when absent.
int32_t skip_size(const Cell* skip) {
    if (!skip) return 1;
    if (!cell::is(skip, T::Integer)) fire(Err::InvalidRefineArg, &words::w::skip, skip);
    if (cell::get_int(skip) < 1) fire(Err::OutOfRange, skip);
    return cell::get_int(skip);
}

// The index of the first match in the search order (forward from the head up to the /part
// limit; with last backwards from the limit or the tail; with reverse backwards from before the
// head), stepping `step` cells; -1 when none. Allocates nothing itself.
int32_t search(const Cell* series, const Query& q, const Cell* part, int32_t step, bool last,
               bool reverse, bool match) {
    const NodeId node = cell::node(series);
    const int32_t n = count(node);
    const int32_t head = head_index(series);
    if (n == 0 || (!reverse && head >= n)) return -1;
    int64_t limit = n - 1;
    if (part) {
        if (cell::is(part, T::Integer)) {
            if (cell::get_int(part) < 1) return -1;
            limit = static_cast<int64_t>(head) + cell::get_int(part) - 1;
        } else if (in(kAnyBlocks, cell::type_of(part)) && cell::node(part) == node) {
            limit = head_index(part);
        } else {
            fire(Err::InvalidRefineArg, &words::w::part, part);
        }
        limit = std::min<int64_t>(limit, n - 1);
    }
    const int32_t span = q.kind == Match::Sequence ? q.length : 1;
    int64_t start = head, stop = limit, delta = step;
    if (last || reverse) {
        start = last ? (part ? limit : n - span) : head - span;
        stop = 0;
        delta = -step;
    }
    if (start < 0) return -1;
    if (const NodeId index = hash_block::index_of(series)) {
        const bool indexed = q.kind == Match::Value && !match &&
                             in(q.op == CompareOp::Same ? kIndexedSame : kIndexedKeys,
                                cell::type_of(&q.key));
        if (indexed) {
            const bool back = delta < 0;
            const auto from = static_cast<int32_t>(start), to = static_cast<int32_t>(stop);
            return hashtable::find_in(index, &q.key, q.op,
                                      {back ? to : from, back ? from : to, from, step, back});
        }
    }
    int32_t found = -1;
    uint64_t steps = 0;
    for (int64_t i = start; delta > 0 ? i <= stop : i >= stop; i += delta) {
        steps++;
        if (matches_at(q, node, static_cast<int32_t>(i))) {
            found = static_cast<int32_t>(i);
            break;
        }
        if (match) break;
    }
    g_counters.scanned += steps;
    return found;
}

// ---- Insertion ----

// Replaces `replaced` cells at `at` by `count` cells of the source (its cells from its head
// with spread, else the source itself) repeated `dup` times, moving the cells after them. The
// buffer grows to the size needed, twice that with `doubling`. Answers the cells written.
int32_t splice(NodeId node, int32_t at, int32_t replaced, const Cell& source, bool spread,
               int32_t count, int32_t dup, bool doubling) {
    NodeId from = spread ? cell::node(&source) : 0;
    int32_t from_head = spread ? head_index(&source) : 0;
    if (spread) count = std::clamp(count, 0, block::count(from) - from_head);
    // Cells of the growing buffer itself are read before it moves.
    std::vector<Cell> own;
    if (spread && from == node && count > 0)
        own.assign(raw_cells(from) + from_head, raw_cells(from) + from_head + count);
    const int64_t written = static_cast<int64_t>(count) * std::max(dup, 0);
    const int32_t n = block::count(node);
    at = std::clamp(at, 0, n);
    replaced = std::clamp(replaced, 0, n - at);
    const int64_t total = n - replaced + written;
    if (written > kMaxCells || total > kMaxCells) fire(Err::NoMemory);
    SeriesBuf* b = ensure_room(node, total, doubling);
    Cell* cells = write_cells(node);
    std::memmove(cells + at + written, cells + at + replaced,
                 static_cast<size_t>(n - at - replaced) * kCellBytes);
    if (written > 0) {
        const Cell* items = !spread ? &source : own.empty() ? raw_cells(from) + from_head : own.data();
        std::memcpy(cells + at, items, static_cast<size_t>(count) * kCellBytes);
        fill_pattern(reinterpret_cast<uint8_t*>(cells + at), static_cast<size_t>(written) * kCellBytes,
                     static_cast<size_t>(count) * kCellBytes);
    }
    b->tail = b->offset + static_cast<size_t>(total) * kCellBytes;
    return static_cast<int32_t>(written);
}

// How many cells an insertion takes from the value: its cells from its head unless only.
int32_t source_count(const Cell& value, bool only, bool* spread) {
    *spread = !only && in(kAnyBlocks, cell::type_of(&value));
    return *spread ? count(cell::node(&value)) - head_index(&value) : 1;
}

// ---- Copies ----

bool types_name(const Cell* types, TypeId t) {
    const int id = type_index(t);
    if (cell::is(types, T::Datatype)) return types->w1 == static_cast<uint32_t>(id);
    return cell::is(types, T::Typeset) && typeset_has(types, id);
}

// Replaces each cell at first, first + step, ... below end of `target` by its copy through
// the copy action: with types the series and objects they name, otherwise every series.
// `source` (0: none) is the block `target` was copied from; a nested block that is still being
// copied raises internal no-cycle.
void replace_copies(NodeId source, NodeId target, int32_t first, int32_t end, int32_t step,
                    bool deep, const Cell* types) {
    Cell named = types ? *types : Cell{};
    cycles::Guard guard;
    if (source) cycles::push(source);
    for (int64_t i = std::max(first, 0); i < std::min(end, count(target)); i += std::max(step, 1)) {
        Cell item = at(target, static_cast<int32_t>(i));
        const TypeId t = cell::type_of(&item);
        if (types ? !(in(kCopyable, t) && types_name(&named, t)) : !in(kDeepSeries, t)) continue;
        if (in(kAnyBlocks, t) && cycles::find(cell::node(&item))) {
            cycles::reset();
            fire(Err::NoCycle);
        }
        auto copy_fn = registry::row(t).copy;
        if (!copy_fn) fire(Err::NotDone);
        Cell* fresh = stack::reserve();
        cell::set_header(fresh, T::Unset);
        copy_fn(&item, fresh, nullptr, deep, deep && types ? &named : nullptr);
        write_cells(target)[i] = Cell{item.header, fresh->w1, fresh->w2, fresh->w3};
        stack::drop(1);
    }
}

// ---- Sort ----

struct SortSpec {
    CompareOp op;
    int32_t field;   // the cell compared in each record, from 0
    int32_t fields;  // cells per record
    bool all;
    bool reverse;
};

// Values of different types, or that cannot be compared, order by type id. Two integers or
// two strings, the common cases of large sorts, are ordered here without a dispatch.
int32_t compare_field(const Cell* x, const Cell* y, CompareOp op) {
    if (cell::is(x, T::Integer) && cell::is(y, T::Integer)) {
        const int32_t i = cell::get_int(x);
        const int32_t j = cell::get_int(y);
        return (i > j) - (i < j);
    }
    if (cell::is(x, T::String) && cell::is(y, T::String))
        return string::compare_raw(x, y, op, false);
    Cell a = *x;
    Cell b = *y;
    const int32_t r = compare_sort(&a, &b, op);
    return r == kNotComparable ? type_index(cell::type_of(&a)) - type_index(cell::type_of(&b)) : r;
}

int32_t compare_records(const void* a, const void* b, intptr_t context, intptr_t) {
    const SortSpec& s = *reinterpret_cast<const SortSpec*>(context);
    g_counters.sort_comparisons++;
    const Cell* x = static_cast<const Cell*>(a);
    const Cell* y = static_cast<const Cell*>(b);
    if (s.reverse) std::swap(x, y);
    if (!s.all) return compare_field(x + s.field, y + s.field, s.op);
    for (int32_t k = 0; k < s.fields; k++)
        if (int32_t r = compare_field(x + k, y + k, s.op)) return r;
    return 0;
}

// Sorting with a comparator function: the records are record numbers into a copy of the sorted
// cells, so the function may allocate, and even edit the series, while nothing it sees moves.
struct CallSort {
    const Cell* function;  // an argument-stack cell
    NodeId cells;          // the copy, held on the argument stack
    int32_t fields;        // cells per record
    bool reverse;
    const Cell* carriers;  // with all: two blocks on the argument stack that hand records over
};

int32_t call_records(const void* a, const void* b, intptr_t context, intptr_t) {
    const CallSort& s = *reinterpret_cast<const CallSort*>(context);
    g_counters.sort_comparisons++;
    int32_t numbers[2] = {*static_cast<const int32_t*>(a), *static_cast<const int32_t*>(b)};
    if (!s.reverse) std::swap(numbers[0], numbers[1]);  // the function sees (second, first)
    Cell args[2];
    for (int k = 0; k < 2; k++) {
        const int32_t first = numbers[k] * s.fields;
        if (!s.carriers) {
            args[k] = at(s.cells, first);
            continue;
        }
        args[k] = s.carriers[k];
        clear_from(&args[k], 0);
        for (int32_t f = 0; f < s.fields; f++) {
            const Cell item = at(s.cells, first + f);
            append_cell(&args[k], &item);
        }
    }
    return hooks::call_comparator(s.function, &args[0], &args[1]);
}

// Sorts the `n` cells from `start` in records of `size` cells with the function. The series is
// written only once the sort is done, and only as far as it still reaches: an error raised by
// the function leaves it as it was.
void sort_by_function(NodeId node, int32_t start, int32_t n, int32_t size, const Cell* function,
                      bool all, bool reverse, bool stable) {
    stack::Mark mark;
    const Cell* held = stack::push(function);
    const NodeId cells = cell::node(push_new(n));
    std::memcpy(write_cells(cells), raw_cells(node) + start, static_cast<size_t>(n) * kCellBytes);
    memory::buf(cells)->tail += static_cast<size_t>(n) * kCellBytes;
    const Cell* carriers = nullptr;
    if (all) {
        carriers = push_new(size);
        push_new(size);  // the next cell: the second carrier
    }
    const CallSort spec{held, cells, size, reverse, carriers};
    const std::vector<int32_t> order = sort::order_records(
        static_cast<size_t>(n / size), stable, reinterpret_cast<intptr_t>(&spec), call_records);
    const int32_t fit = std::clamp(count(node) - start, 0, n) / size;
    Cell* target = write_cells(node) + start;
    const Cell* source = raw_cells(cells);
    for (int32_t r = 0; r < fit; r++)
        std::memcpy(target + r * size, source + order[static_cast<size_t>(r)] * size,
                    static_cast<size_t>(size) * kCellBytes);
    mark.restore();
}

// ---- Set operations ----

// A lookup of a set operation's key among a block's records: through the block's index,
// any-block keys by search.
bool has_key(const Cell* block, NodeId index, const Cell& key, int32_t size, bool case_) {
    if (in(kAnyBlocks, cell::type_of(&key))) {
        const Query q = make_query(&key, true, case_, false);
        return search(block, q, nullptr, size, false, false, false) >= 0;
    }
    const CompareOp mode = case_ ? CompareOp::StrictEqual : CompareOp::Equal;
    return hashtable::get_next(index, &key, head_index(block), size, mode, false, false) >= 0;
}

// The cell (an argument-stack copy of a block) becomes a hash! over the same cells whose index
// is made now and holds the first record of each key from the head (keys equal under the
// operation's mode are left out after the first), so that the index stays reachable while the
// operation runs and a lookup weighs one position per key /case tells apart. `keys`: index the
// records now; otherwise the index starts empty. Answers the index.
NodeId index_block(Cell* block, int32_t size, bool case_, bool keys) {
    const NodeId node = cell::node(block);
    Cell empty = *block;
    cell::set_head(&empty, count(node));
    const NodeId index = hashtable::make(count(node) - head_index(block), &empty, hashtable::Kind::Hash, 0);
    block->w3 = index;
    cell::set_type(block, T::Hash);
    for (int64_t i = head_index(block); keys && i < count(node); i += size) {
        const Cell key = at(node, static_cast<int32_t>(i));
        if (!has_key(block, index, key, size, case_)) hashtable::put_key(index, static_cast<int32_t>(i));
    }
    return index;
}

// The object's body, as `reflect 'body` gives it: each field's set-word on a new line followed
// by its value. The answer is held by nothing: store it before the next allocation.
Cell object_body(const Cell* object) {
    Cell* base = stack::g_args.base;  // the reflect slot answers in arguments[0]
    const Cell saved = *base;
    Cell held = *object;
    registry::row(T::Object).reflect(&held, words::sym::body);
    const Cell body = *base;
    *base = saved;
    return body;
}

}  // namespace

Counters& counters() { return g_counters; }

// ---- make, to ----

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    const Cell given = *spec;
    const TypeId t = cell::type_of(&given);
    if (in(kAnyBlocks, t)) {
        const Cell copy = *copy_deep(&given, false, false);
        stack::drop(1);
        *proto = copy;
    } else if (t == T::Integer || t == T::Float) {
        make_at(proto, std::max(float_to_int_checked(&given), 1));
    } else if (t == T::Object) {
        *proto = object_body(&given);
    } else if (t == T::Map) {
        const Cell body = *map::push_body(&given, true);
        stack::drop(1);
        *proto = body;
    } else if (t == T::Vector) {
        vector::to_block(&given, proto);
    } else {
        fire_bad_make(type, &given);
    }
    cell::set_header(proto, type);
    return proto;
}

Cell* to(Cell* proto, Cell* spec, TypeId type) {
    const Cell given = *spec;
    const TypeId t = cell::type_of(&given);
    if (in(kAnyBlocks, t)) return make(proto, spec, type);
    switch (t) {
    case T::Object:
    case T::Map:
    case T::Vector: return make(proto, spec, type);
    case T::String: hooks::load_text(proto, &given); break;
    case T::Typeset:
        make_at(proto, 8);
        typeset::to_block(&given, proto);
        break;
    default:
        make_at(proto, 1);
        append_cell(proto, &given);
    }
    cell::set_header(proto, type);
    return proto;
}

// ---- form, mold ----

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    Cell self = *value;
    if (cycles::detect(&self, buffer, budget, false)) return budget;
    cycles::Guard guard;
    const NodeId node = cell::node(&self);
    cycles::push(node);
    const int32_t head = head_index(&self);
    for (int32_t i = head; i < count(node); i++) {
        if (part && budget <= 0) break;
        if (i > head) {
            const int32_t length = string::length(buffer);
            const char32_t last = length > 0 ? string::char_at(buffer, length - 1) : U' ';
            if (last != U'\n' && last != U'\r' && last != U'\t') budget = string::emit(buffer, " ", budget);
        }
        Cell item = at(node, i);
        budget = lookup<&ActionRow::form>(&item, ActionId::Form)(&item, buffer, part, budget);
    }
    return budget;
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent) {
    Cell self = *value;
    if (cycles::detect(&self, buffer, budget, true)) return budget;
    if (!only) budget = string::emit(buffer, "[", budget);
    budget = mold_each(&self, buffer, only, all, flat, part, budget, indent);
    if (!only) budget = string::emit(buffer, "]", budget);
    return budget;
}

int32_t mold_each(Cell* block, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                  int32_t budget, int32_t indent) {
    const Cell self = *block;
    cycles::Guard guard;
    const NodeId node = cell::node(&self);
    cycles::push(node);
    bool opened = false;
    const int32_t head = head_index(&self);
    for (int32_t i = head; i < count(node); i++) {
        if (part && budget <= 0) return budget;
        Cell item = at(node, i);
        const bool first = i == head;
        if (!flat && (item.header & cell::kNewLine)) {
            if (first && !only) {
                opened = true;
                indent++;
            }
            if (!(first && only)) budget = string::emit(buffer, "\n", budget);
            budget = mold_indent(buffer, indent, budget);
        } else if (!first) {
            budget = string::emit(buffer, " ", budget);
        }
        budget = lookup<&ActionRow::mold>(&item, ActionId::Mold)(&item, buffer, false, all, flat,
                                                                  part, budget, indent);
    }
    if (opened) {
        indent--;
        budget = string::emit(buffer, "\n", budget);
        budget = mold_indent(buffer, indent, budget);
    }
    return budget;
}

// ---- path access ----

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t,
                        bool case_, bool, bool, bool) {
    if (cell::is(element, T::Integer)) {
        const int32_t index = cell::get_int(element);
        if (!value) return lookup<&ActionRow::pick>(parent, ActionId::Pick)(parent, index, element);
        lookup<&ActionRow::poke>(parent, ActionId::Poke)(parent, index, value, element);
        return value;
    }
    if (value) {
        const Query q = make_query(element, false, case_, false);
        const int32_t found = search(parent, q, nullptr, 1, false, false, false);
        if (found < 0) fire(Err::BadPathSet, path ? path : none::shared(), element);
        Cell key_at = *parent;
        cell::set_head(&key_at, found);
        Cell two = integer_cell(2);
        lookup<&ActionRow::poke>(&key_at, ActionId::Poke)(&key_at, 2, value, &two);
        return value;
    }
    if (cell::is(element, T::Word) && !cell::is(parent, T::Hash)) return find_word(parent, element, case_);
    return select(parent, element, nullptr, true, case_, false, false, nullptr, nullptr, false, false);
}

// ---- compare ----

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    const TypeId ta = cell::type_of(a);
    const TypeId tb = cell::type_of(b);
    if (ta != tb) {
        const bool words_kind = op == CompareOp::WordsCase || op == CompareOp::Words;
        const auto is_path_kind = [](TypeId t) { return t == T::Path || t == T::LitPath; };
        if (!(words_kind && is_path_kind(ta) && is_path_kind(tb))) return kNotComparable;
    }
    return compare_each(a, b, op);
}

int32_t compare_each(Cell* a, Cell* b, CompareOp op) {
    const Cell x = *a;
    const Cell y = *b;
    const NodeId nx = cell::node(&x);
    const NodeId ny = cell::node(&y);
    const int32_t hx = head_index(&x);
    const int32_t hy = head_index(&y);
    const bool same_place = nx == ny && hx == hy;
    if (op == CompareOp::Same) return same_place ? 0 : -1;
    if (same_place) return 0;
    if (cycles::find(nx)) return cycles::find(ny) ? 0 : -1;
    const int32_t cx = count(nx) - hx;
    const int32_t cy = count(ny) - hy;
    if (cx != cy && is_equality(op)) return 1;
    cycles::Guard guard;
    cycles::push(nx);
    cycles::push(ny);
    for (int32_t i = 0, n = std::min(cx, cy); i < n; i++) {
        Cell p = at(nx, hx + i);
        Cell q = at(ny, hy + i);
        const TypeId tp = cell::type_of(&p);
        const TypeId tq = cell::type_of(&q);
        const bool kin = tp == tq || (in(kWords, tp) && in(kWords, tq)) ||
                         (in(kNumbers, tp) && in(kNumbers, tq));
        if (!kin) return tp < tq ? -1 : 1;
        if (int32_t r = compare_sort(&p, &q, op)) return r;
    }
    return (cx > cy) - (cx < cy);
}

// ---- append, insert, change ----

Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    check_no_index(series);
    const Cell source = *value;
    const NodeId node = cell::node(series);
    bool spread;
    int32_t n = source_count(source, only, &spread);
    if (part >= 0) n = std::min(n, part);
    int32_t after = head_index(series);
    if (n > 0 && dup > 0) {
        const int64_t total = static_cast<int64_t>(n) * dup;
        if (total > kMaxCells || count(node) + total > kMaxCells) fire(Err::NoMemory);
        const Cell& before = append ? words::w::append : words::w::insert;
        const bool owned = ownership::check(series, before, &source, append ? count(node) : after,
                                            static_cast<int32_t>(total));
        const int32_t at = append ? count(node) : head_index(series);
        const int32_t written = splice(node, at, 0, source, spread, n, dup, dup < 5);
        if (const NodeId index = hash_block::index_of(series))
            hashtable::cells_replaced(index, at, 0, written);
        if (owned)
            ownership::check(series, append ? words::w::appended : words::w::inserted, &source,
                             at, written);
        after = at + written;
    }
    cell::set_head(series, append ? 0 : std::min(after, count(node)));
    return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    check_no_index(series);
    const Cell source = *value;
    const NodeId node = cell::node(series);
    if (dup < 1) return series;
    bool spread;
    const int32_t n = source_count(source, only, &spread);
    const int64_t written = static_cast<int64_t>(n) * dup;
    if (written > kMaxCells) fire(Err::NoMemory);
    int32_t head = head_index(series);
    const int32_t room = count(node) - head;
    const int32_t replaced = part >= 0 ? std::min(part, room)
                                       : static_cast<int32_t>(std::min<int64_t>(written, room));
    const bool owned = ownership::check(series, words::w::change, &source, head, replaced);
    head = head_index(series);
    const NodeId index = hash_block::index_of(series);
    const int32_t before = index ? count(node) : 0;
    const int32_t done = splice(node, head, replaced, source, spread, n, dup, false);
    if (index) hashtable::cells_replaced(index, head, done - (count(node) - before), done);
    if (owned) ownership::check(series, words::w::changed, &source, head, done);
    cell::set_head(series, std::min(head + done, count(node)));
    return series;
}

// ---- copy, take ----

Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types) {
    Cell source = *series;
    series::copy(&source, result, part, deep, types);
    if (!deep && !types) return result;
    const NodeId node = cell::node(result);
    replace_copies(cell::node(&source), node, 0, count(node), 1, deep, types);
    return result;
}

void copy_types(NodeId node, int32_t first, int32_t end, int32_t step, bool deep,
                const Cell* types) {
    replace_copies(0, node, first, end, step, deep, types);
}

Cell* take(Cell* series, Cell* part, bool deep, bool last) {
    series::take(series, part, deep, last);
    if (!in(kAnyBlocks, cell::type_of(series))) return series;
    const NodeId node = cell::node(series);
    if (deep) {
        replace_copies(node, node, 0, count(node), 1, true, nullptr);
        hash_block::rewritten(series, 0, count(node));  // copies hash apart from their sources
    }
    if (!part && count(node) == 1) *series = at(node, 0);
    return series;
}

// ---- find, select, put ----

Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool, Cell*,
           Cell* skip, bool last, bool reverse, bool tail, bool match) {
    const int32_t step = skip_size(skip);
    const Query q = make_query(value, only, case_, same);
    int32_t found = search(series, q, part, step, last, reverse, match);
    if (found < 0) return none::shared();
    if (tail) found += q.kind == Match::Sequence ? q.length : (last || reverse) ? 1 : step;
    cell::set_head(series, found);
    return series;
}

const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool,
                   Cell*, Cell* skip, bool last, bool reverse) {
    const int32_t step = skip_size(skip);
    const Query q = make_query(value, only, case_, same);
    const int32_t found = search(series, q, part, step, last, reverse, false);
    if (found < 0) return none::shared();
    const NodeId node = cell::node(series);
    const int32_t next = found + (q.kind == Match::Sequence ? q.length : 1);
    return next < count(node) ? raw_cells(node) + next : none::shared();
}

// The key is looked up as one value (/only): a block key is a key, not a sequence, so a later
// put finds what an earlier one appended.
Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
    check_no_index(series);
    const Cell new_value = *value;
    const NodeId node = cell::node(series);
    const Query q = make_query(key, true, case_, false);
    int32_t found = search(series, q, nullptr, 1, false, false, false);
    const int32_t index = (found < 0 ? count(node) : found) + 1;
    const bool owned = ownership::check(series, words::w::put, &new_value, index, 1);
    if (owned) found = search(series, q, nullptr, 1, false, false, false);
    const int32_t before = count(node);
    if (found < 0) {
        append_cell(series, &q.key);
        append_cell(series, &new_value);
    } else if (found + 1 >= count(node)) {
        append_cell(series, &new_value);
    } else if (!cells_equal(at(node, found + 1), new_value, CompareOp::FindEqual)) {
        write_cells(node)[found + 1] = new_value;
        hash_block::rewritten(series, found + 1, 1);
    }
    if (const NodeId index = hash_block::index_of(series); index && count(node) > before)
        hashtable::cells_replaced(index, before, 0, count(node) - before);
    if (owned) ownership::check(series, words::w::put_ed, &new_value, index, 1);
    return value;
}

// ---- sort ----

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable) {
    check_no_index(series);
    const NodeId node = cell::node(series);
    const int32_t head = head_index(series);
    int32_t start = head;
    int32_t n = count(node) - head;
    if (n <= 0) return series;
    if (part) {
        const int32_t limit = series::part_limit(series, part);
        if (limit < 0) {
            start = std::max(head + limit, 0);
            n = head - start;
        } else {
            n = std::min(limit, n);
        }
        if (n <= 0) return series;
    }
    int32_t size = 1;
    if (skip) {
        if (!cell::is(skip, T::Integer)) fire(Err::InvalidRefineArg, &words::w::skip, skip);
        size = cell::get_int(skip);
        if (size < 1 || size > n || n % size != 0)
            fire(Err::InvalidRefineArg, &words::w::skip, skip);
    }
    if (all && !skip) fire(Err::BadRefines);
    SortSpec spec{case_ ? CompareOp::SortStrict : CompareOp::SortCase, 0, size, all, reverse};
    const bool by_function = compare && native::is_any_function(cell::type_of(compare));
    if (compare && !by_function) {
        if (!cell::is(compare, T::Integer)) fire(Err::InvalidArg, compare);
        if (!skip || all) fire(Err::BadRefines);
        const int32_t field = cell::get_int(compare);
        if (field < 1 || field > size) fire(Err::OutOfRange, compare);
        spec.field = field - 1;
    }
    const bool owned = ownership::check(series, words::w::sort, nullptr, start, n);
    if (owned) n = std::clamp(count(node) - start, 0, n) / size * size;  // the handler may cut it
    if (by_function) {
        if (n > 0) sort_by_function(node, start, n, size, compare, all, reverse, stable);
        if (owned) ownership::check(series, words::w::sorted, nullptr, start, n);
        return series;
    }
    std::vector<Cell> records(raw_cells(node) + start, raw_cells(node) + start + n);
    const size_t width = static_cast<size_t>(size) * kCellBytes;
    const auto context = reinterpret_cast<intptr_t>(&spec);
    if (stable) sort::sort_records(records.data(), records.size() / size, width, context, 0, compare_records);
    else sort::sort_records_unstable(records.data(), records.size() / size, width, context, 0, compare_records);
    std::memcpy(write_cells(node) + start, records.data(), records.size() * kCellBytes);
    if (owned) ownership::check(series, words::w::sorted, nullptr, start, n);
    return series;
}

// ---- swap, trim ----

Cell* swap(Cell* a, Cell* b) {
    if (!in(kAnyBlocks, cell::type_of(b))) fire(Err::InvalidArg, b);
    check_no_index(a);
    check_no_index(b);
    const NodeId na = cell::node(a);
    const NodeId nb = cell::node(b);
    if (head_index(a) >= count(na) || head_index(b) >= count(nb)) return a;
    const bool owned_a = ownership::check(a, words::w::swap, b, head_index(a), 1);
    const bool owned_b = ownership::check(b, words::w::swap, a, head_index(b), 1);
    const int32_t ha = head_index(a);
    const int32_t hb = head_index(b);
    if (ha < count(na) && hb < count(nb)) {
        const Cell x = at(na, ha);
        write_cells(na)[ha] = at(nb, hb);
        write_cells(nb)[hb] = x;
        hash_block::swapped(a, ha, b, hb);
    }
    if (owned_a) ownership::check(a, words::w::swaped, b, ha, 1);
    if (owned_b) ownership::check(b, words::w::swaped, a, hb, 1);
    return a;
}

Cell* trim(Cell* series, bool, bool, bool, bool, bool, Cell*) {
    check_no_index(series);
    const NodeId node = cell::node(series);
    if (head_index(series) >= count(node)) return series;
    const bool owned = ownership::check(series, words::w::trim, nullptr, head_index(series),
                                        count(node) - head_index(series));
    const int32_t head = head_index(series);
    Cell* cells = write_cells(node);
    SeriesBuf* b = memory::buf(node);
    int32_t kept = head;
    for (int32_t i = head, n = count(node); i < n; i++)
        if (!cell::is(cells + i, T::None)) cells[kept++] = cells[i];
    b->tail = b->offset + static_cast<size_t>(kept) * kCellBytes;
    if (owned) ownership::check(series, words::w::trimmed, nullptr, head, kept - head);
    return series;
}

// ---- Set operations ----

void set_op(bool case_, Cell* skip, SetOp code) {
    int32_t size = 1;
    if (skip) {
        if (!cell::is(skip, T::Integer) || cell::get_int(skip) < 1)
            fire(Err::InvalidRefineArg, &words::w::skip, skip);
        size = cell::get_int(skip);
    }
    const bool two = code != SetOp::Unique;
    const bool hashed = cell::is(stack::arg(0), T::Hash) || (two && cell::is(stack::arg(1), T::Hash));
    stack::Mark mark;
    Cell* first = stack::push(stack::arg(0));
    Cell* second = two ? stack::push(stack::arg(1)) : nullptr;
    const auto length = [](const Cell* c) { return count(cell::node(c)) - head_index(c); };
    const int64_t room = length(first) + (code == SetOp::Union ? length(second) : 0);
    if (room > kMaxCells) fire(Err::NoMemory);
    Cell* result = push_new(static_cast<int32_t>(room));
    const NodeId out = cell::node(result);
    const NodeId index = index_block(result, size, case_, false);
    // Appends the records of `from` whose key `other` holds (keep_found) or lacks, unless the
    // result already holds the key.
    const auto pass = [&](const Cell* from, const Cell* other, NodeId other_index, bool keep_found) {
        const NodeId source = cell::node(from);
        for (int64_t i = head_index(from); i < count(source); i += size) {
            const Cell key = at(source, static_cast<int32_t>(i));
            if (other && has_key(other, other_index, key, size, case_) != keep_found) continue;
            if (has_key(result, index, key, size, case_)) continue;
            const int32_t position = count(out);
            const int32_t n = static_cast<int32_t>(std::min<int64_t>(size, count(source) - i));
            ensure_room(out, position + n, true);
            std::memcpy(write_cells(out) + position, raw_cells(source) + i,
                        static_cast<size_t>(n) * kCellBytes);
            memory::buf(out)->tail += static_cast<size_t>(n) * kCellBytes;
            hashtable::put_key(index, position);
        }
    };
    switch (code) {
    case SetOp::Unique: pass(first, nullptr, 0, false); break;
    case SetOp::Union:
        pass(first, nullptr, 0, false);
        pass(second, nullptr, 0, false);
        break;
    case SetOp::Intersect: pass(first, second, index_block(second, size, case_, true), true); break;
    case SetOp::Exclude: pass(first, second, index_block(second, size, case_, true), false); break;
    case SetOp::Difference: {
        const NodeId of_second = index_block(second, size, case_, true);
        pass(first, second, of_second, false);
        pass(second, first, index_block(first, size, case_, true), false);
        break;
    }
    }
    Cell answer{static_cast<uint32_t>(T::Block), 0, out, 0};
    if (hashed) {
        // The result keeps its index, entered now over every cell rather than the first of each key.
        hashtable::rebuild(index);
        answer = Cell{static_cast<uint32_t>(T::Hash), 0, out, index};
    }
    mark.restore();
    *stack::arg(0) = answer;
}

namespace {
// A block's cells, and so everything they refer to.
void mark(const Cell* value) { collector::mark_series(cell::node(value)); }
}  // namespace

// ---- Registration ----

constexpr TypeRecord kRecord{
    .id = TypeId::Block,
    .parent = TypeId::Series,
    .name = "block!",
    .make = block::make,
    .random = kInherited,
    .reflect = kInherited,
    .to = block::to,
    .form = block::form,
    .mold = block::mold,
    .path_access = block::path_access,
    .compare = block::compare,
    .append = block::insert,
    .at = kInherited,
    .back = kInherited,
    .change = block::change,
    .clear = kInherited,
    .copy = block::copy,
    .find = block::find,
    .head = kInherited,
    .head_q = kInherited,
    .index_q = kInherited,
    .insert = block::insert,
    .length_q = kInherited,
    .move = kInherited,
    .next = kInherited,
    .pick = kInherited,
    .poke = kInherited,
    .put = block::put,
    .remove = kInherited,
    .reverse = kInherited,
    .select = block::select,
    .sort = block::sort,
    .skip = kInherited,
    .swap = block::swap,
    .tail = kInherited,
    .tail_q = kInherited,
    .take = block::take,
    .trim = block::trim,
    .modify = kInherited,
    .mark = mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::block
