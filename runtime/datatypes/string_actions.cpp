// string! actions: make and to, comparison, path access, append, insert and change, find and
// select, sort, swap, take, trim and the set operations. Text moves as blocks of units; a value
// that is not text is formed into a scratch string on the argument stack first, and scratch
// cells are dropped when the action ends. Every modifying action tells the series' owner before
// and after the change. Raw unit pointers are taken after an action's last allocation.
#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "runtime/case_fold.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/ownership.h"
#include "runtime/sort.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/unicode.h"
#include "runtime/words.h"

namespace nuv::string {

using memory::SeriesBuf;
using ownership::Notice;

namespace {

constexpr size_t round16(size_t n) { return (n + 15) & ~size_t{15}; }
constexpr int64_t kMaxUnits = 2147483647;

// The code point at unit index i of the node's text (the caller keeps i inside it).
char32_t code_at(NodeId node, int32_t i) {
    SeriesBuf* b = memory::buf(node);
    return get_char(b->offset_ptr() + (static_cast<size_t>(i) << unit_shift(b->unit())), b->unit());
}

int32_t units_in(NodeId node) {
    SeriesBuf* b = memory::buf(node);
    return static_cast<int32_t>(b->used() >> unit_shift(b->unit()));
}
// The head as the actions use it: inside 0..tail.
int32_t head_in(const Cell* series) {
    return std::clamp(cell::head(series), 0, units_in(cell::node(series)));
}

bool is_text(const Cell* v) { return series::is_any_string(cell::type_of(v)); }
bool is_block_like(TypeId t) {
    return t == TypeId::Block || t == TypeId::Paren || t == TypeId::Hash;
}

[[noreturn]] void fire_refine(const Cell& name, const Cell* value) {
    Cell word = name;
    Cell copy = *value;
    fire(Err::InvalidRefineArg, &word, &copy);
}
[[noreturn]] void fire_value(Err id, const Cell* value) {
    Cell copy = *value;
    fire(id, &copy);
}

// Room for `bytes` more bytes at the tail; a full buffer grows to at least twice its size, so
// appending is amortised constant.
SeriesBuf* reserve(NodeId node, size_t bytes) {
    SeriesBuf* b = memory::buf(node);
    if (b->tail + bytes <= b->size) return b;
    return memory::expand_series(node, round16(std::max(2 * b->size, b->used() + bytes)));
}

// A new empty string on the argument stack.
Cell* scratch(size_t units, uint32_t unit = 1) {
    return make_at_unit(stack::reserve(), units, unit);
}

// Forms the value onto the end of `out` within the budget (the form slot may stop early
// once the budget is spent).
void form_into(const Cell* value, Cell* out, int32_t budget) {
    Cell* held = stack::push(value);  // the slot may allocate: its value must not move
    lookup<&ActionRow::form>(held, ActionId::Form)(held, out, nullptr, budget);
    stack::drop(1);
}

// The forms of the block's items from its head, without separators: at most `items` of them,
// and no more once `out` holds `budget` code points.
void form_items(const Cell* block, Cell* out, int32_t items, int32_t budget) {
    Cell* held = stack::push(block);
    const NodeId node = cell::node(held);
    const int32_t first = std::max(cell::head(held), 0);
    for (int32_t i = first; i - first < items; i++) {
        const int32_t have = length(out);
        if (have >= budget) break;
        SeriesBuf* b = memory::buf(node);
        if (static_cast<size_t>(i) >= b->used() / sizeof(Cell)) break;
        form_into(b->cells() + b->offset / sizeof(Cell) + i, out, budget - have);
    }
    stack::drop(1);
}

// ---- The text an append, insert or change writes ----

// `count` units of the text buffer `node` from unit index `start`, or, with node 0, `count`
// (0 or 1) copies of the code point `cp`.
struct Run {
    NodeId node;
    int32_t start;
    int32_t count;
    char32_t cp;
};

// The value's text for append, insert and change, limited to `part` units (-1: no limit;
// for a block without /only, `part` counts items). May push scratch strings: the caller
// restores the stack afterwards.
Run source_of(const Cell* value, int32_t part, bool only) {
    const int32_t limit = part == -1 ? kNoLimit : std::max(part, 0);
    const TypeId t = cell::type_of(value);
    if (t == TypeId::Char) return Run{0, 0, limit > 0 ? 1 : 0, character::get(value)};
    if (series::is_any_string(t) && t != TypeId::Tag)
        return Run{cell::node(value), head_in(value), std::min(length(value), limit), 0};
    Cell* out = scratch(16);
    int32_t cut = limit;
    if (t == TypeId::Tag) {
        append_char(cell::node(out), U'<');
        Cell inner = *value;
        concatenate(out, &inner, -1, 0, true, Concat::Append);
        append_char(cell::node(out), U'>');
    } else if (is_block_like(t)) {
        if (only) {
            form_items(value, out, kNoLimit, limit);
        } else {
            form_items(value, out, limit, kNoLimit);
            cut = kNoLimit;
        }
    } else {
        form_into(value, out, limit);
    }
    return Run{cell::node(out), 0, std::min(length(out), cut), 0};
}

// Replaces `replaced` units at unit index `at` of the series' buffer by `dup` copies of the
// run (the target widened first when the run needs a wider unit). Returns the index just
// after the written text. A size beyond 32 bits raises internal no-memory.
int32_t splice(Cell* series, int32_t at, int32_t replaced, Run run, int32_t dup) {
    const NodeId target = cell::node(series);
    if (run.node == target && run.count > 0) {
        // The run lies in the buffer about to move and shift: write from a copy of it.
        const NodeId copy = memory::series_copy_range(target, static_cast<size_t>(run.start),
                                                      static_cast<size_t>(run.count));
        *stack::reserve() = Cell{static_cast<uint32_t>(TypeId::String), 0, copy, 0};
        run.node = copy;
        run.start = 0;
    }
    if (run.node) run.count = std::clamp(units_in(run.node) - run.start, 0, run.count);
    const int64_t total = static_cast<int64_t>(run.count) * dup;
    if (total > kMaxUnits || units_in(target) - replaced + total > kMaxUnits) fire(Err::NoMemory);
    const uint32_t su = run.node ? memory::buf(run.node)->unit() : unicode::unit_for(run.cp);
    SeriesBuf* b = memory::buf(target);
    uint32_t tu = b->unit();
    if (su > tu) {
        b = unicode::widen(target, su);
        tu = su;
    }
    const int shift = unit_shift(tu);
    const size_t one = static_cast<size_t>(run.count) << shift;
    const size_t all = static_cast<size_t>(total) << shift;
    const size_t cut = static_cast<size_t>(replaced) << shift;
    if (all > cut) b = reserve(target, all - cut);
    uint8_t* base = b->offset_ptr();
    const size_t used = b->used();
    if (!run.node && total == 1 && cut == 0 && (static_cast<size_t>(at) << shift) == used) {
        put_char(base + used, tu, run.cp);  // one character at the tail: the common append
        b->tail += tu;
        return at + 1;
    }
    const size_t from = (static_cast<size_t>(at) << shift) + cut;
    uint8_t* dest = base + (static_cast<size_t>(at) << shift);
    std::memmove(dest + all, base + from, used - from);
    b->tail = b->offset + used - cut + all;
    if (run.count > 0) {
        if (!run.node) {
            put_char(dest, tu, run.cp);
        } else {
            SeriesBuf* sb = memory::buf(run.node);
            const uint8_t* src =
                sb->offset_ptr() + (static_cast<size_t>(run.start) << unit_shift(su));
            if (su == tu) {
                std::memcpy(dest, src, one);
            } else {
                for (int32_t i = 0; i < run.count; i++)
                    put_char(dest + (static_cast<size_t>(i) << shift), tu,
                             get_char(src + static_cast<size_t>(i) * su, su));
            }
        }
        fill_pattern(dest, all, one);
    }
    return at + static_cast<int32_t>(total);
}

// ---- Search ----

// What find and select look for: one code point, a set of code points, or a text (folded to
// upper case unless the search is case-sensitive).
struct Needle {
    enum class Kind { Point, Set, Text } kind = Kind::Text;
    char32_t cp = 0;
    const Cell* bitset = nullptr;
    std::vector<char32_t> text;
    int32_t length() const { return kind == Kind::Text ? static_cast<int32_t>(text.size()) : 1; }
};

inline char32_t fold_if(char32_t c, bool fold) { return fold ? case_fold::to_upper(c) : c; }

void read_units(Needle& n, NodeId node, int32_t start, int32_t count, bool fold) {
    SeriesBuf* b = memory::buf(node);
    const uint32_t unit = b->unit();
    const uint8_t* p = b->offset_ptr() + (static_cast<size_t>(start) << unit_shift(unit));
    n.text.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; i++, p += unit)
        n.text[static_cast<size_t>(i)] = fold_if(get_char(p, unit), fold);
}

// May allocate (a formed value, a word's name string); pushes scratch cells.
Needle needle_of(const Cell* series, const Cell* value, bool fold) {
    Needle n;
    const TypeId t = cell::type_of(value);
    if (t == TypeId::Char) {
        n.kind = Needle::Kind::Point;
        n.cp = fold_if(character::get(value), fold);
    } else if (t == TypeId::Integer && cell::is(series, TypeId::Binary)) {
        n.kind = Needle::Kind::Point;
        n.cp = fold_if(static_cast<char32_t>(cell::get_int(value)), fold);
    } else if (t == TypeId::Bitset) {
        n.kind = Needle::Kind::Set;
        n.bitset = value;
    } else if (t == TypeId::Word) {
        const NodeId name = symbol::cached_string(word::symbol_of(value));
        read_units(n, name, 0, units_in(name), fold);
    } else if ((series::is_any_string(t) && t != TypeId::Tag) || t == TypeId::Binary) {
        read_units(n, cell::node(value), head_in(value), length(value), fold);
    } else {
        const Run run = source_of(value, -1, false);
        read_units(n, run.node, run.start, run.count, fold);
    }
    return n;
}

// Reads code points of a text buffer by unit index, folded when asked. Never allocates, so
// it must not outlive the search step that made it.
struct Reader {
    const uint8_t* base;
    uint32_t unit;
    int shift;
    bool fold;
    char32_t operator()(int32_t i) const {
        return fold_if(get_char(base + (static_cast<size_t>(i) << shift), unit), fold);
    }
};

bool matches_at(const Reader& r, const Needle& n, int32_t p) {
    switch (n.kind) {
    case Needle::Kind::Point: return r(p) == n.cp;
    case Needle::Kind::Set:
        return bitset_has(n.bitset, get_char(r.base + (static_cast<size_t>(p) << r.shift), r.unit));
    case Needle::Kind::Text:
        for (size_t k = 0; k < n.text.size(); k++)
            if (r(p + static_cast<int32_t>(k)) != n.text[k]) return false;
        return true;
    }
    return false;
}

// The failure table of a text for the linear-time scan: entry i is the length of the longest
// proper prefix of text[0..i] that is also its suffix.
std::vector<int32_t> failure_table(const std::vector<char32_t>& text) {
    std::vector<int32_t> f(text.size(), 0);
    for (size_t i = 1, k = 0; i < text.size(); i++) {
        while (k > 0 && text[i] != text[k]) k = static_cast<size_t>(f[k - 1]);
        if (text[i] == text[k]) k++;
        f[i] = static_cast<int32_t>(k);
    }
    return f;
}

// The first start position p >= first, on the grid first + k * step, whose match ends at or
// before `end`; -1 when there is none. Linear in the range for any text.
int32_t scan_forward(const Reader& r, const Needle& n, int32_t first, int32_t end, int32_t step) {
    const int32_t m = n.length();
    if (n.kind != Needle::Kind::Text || m == 1) {
        for (int32_t p = first; p + m <= end; p += step)
            if (matches_at(r, n, p)) return p;
        return -1;
    }
    const std::vector<int32_t> f = failure_table(n.text);
    int32_t q = 0;
    for (int32_t i = first; i < end; i++) {
        const char32_t c = r(i);
        while (q > 0 && n.text[static_cast<size_t>(q)] != c) q = f[static_cast<size_t>(q - 1)];
        if (n.text[static_cast<size_t>(q)] == c) q++;
        if (q == m) {
            const int32_t p = i - m + 1;
            if ((p - first) % step == 0) return p;
            q = f[static_cast<size_t>(q - 1)];
        }
    }
    return -1;
}

// The first start position p <= first, going down to `low` on the grid first - k * step,
// whose match ends at or before `end`; -1 when there is none.
int32_t scan_backward(const Reader& r, const Needle& n, int32_t first, int32_t low, int32_t end,
                      int32_t step) {
    const int32_t m = n.length();
    if (n.kind != Needle::Kind::Text || m == 1) {
        int32_t p = first;
        if (p > end - m) p -= (p - (end - m) + step - 1) / step * step;  // back onto the grid
        for (; p >= low; p -= step)
            if (matches_at(r, n, p)) return p;
        return -1;
    }
    std::vector<char32_t> reversed(n.text.rbegin(), n.text.rend());
    const std::vector<int32_t> f = failure_table(reversed);
    int32_t q = 0;
    for (int32_t i = std::min(first + m, end) - 1; i >= low; i--) {
        const char32_t c = r(i);
        while (q > 0 && reversed[static_cast<size_t>(q)] != c) q = f[static_cast<size_t>(q - 1)];
        if (reversed[static_cast<size_t>(q)] == c) q++;
        if (q == m) {
            if ((first - i) % step == 0) return i;
            q = f[static_cast<size_t>(q - 1)];
        }
    }
    return -1;
}

struct Found {
    int32_t at;      // unit index of the match's first unit; -1 for none
    int32_t length;  // the matched units
};

// One element equal to the value, on the grid of `step` from the starting point; the directions
// and /match as for text.
Found search_vector(const Cell* series, const Cell* value, int32_t limit, const Cell* part,
                    int32_t step, bool last, bool reverse, bool match) {
    const int32_t total = units_in(cell::node(series));
    const int32_t head = head_in(series);
    const int32_t bound =
        static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(head) + limit, total));
    auto hit = [&](int32_t p) { return vector::elem_equals(series, p, value); };
    int32_t at = -1;
    if (match) {
        const int32_t p = reverse || !last ? head : bound - 1;
        if (p >= 0 && p < (reverse ? total : bound) && p >= (last ? head : 0) && hit(p)) at = p;
    } else if (reverse) {
        const int32_t low = part ? std::max(head - limit, 0) : 0;
        for (int32_t p = head - 1; p >= low && at < 0; p -= step)
            if (hit(p)) at = p;
    } else if (last) {
        for (int32_t p = bound - 1; p >= head && at < 0; p -= step)
            if (hit(p)) at = p;
    } else {
        for (int32_t p = head; p < bound && at < 0; p += step)
            if (hit(p)) at = p;
    }
    return at < 0 ? Found{-1, 0} : Found{at, 1};
}

Found search(const Cell* series, const Cell* value, const Cell* part, bool case_, bool any,
             const Cell* with, const Cell* skip, bool last, bool reverse, bool match) {
    constexpr Found kNone{-1, 0};
    if (any || with) fire(Err::NotDone);
    if (cell::is(series, TypeId::Binary)) case_ = true;  // bytes match exactly
    int32_t step = 1;
    if (skip) {
        if (!cell::is(skip, TypeId::Integer)) fire_refine(words::w::skip, skip);
        step = cell::get_int(skip);
        if (step < 1) fire_value(Err::OutOfRange, skip);
    }
    int32_t limit = kNoLimit;
    if (part) {
        limit = series::part_limit(series, part);
        if (limit < 1) return kNone;
    }
    if (cell::is(series, TypeId::Vector))
        return search_vector(series, value, limit, part, step, last, reverse, match);
    stack::Mark mark;
    const Needle n = needle_of(series, value, !case_);
    mark.restore();
    const int32_t m = n.length();
    if (m == 0) return kNone;

    // No allocation from here on: the reader's pointer stays valid.
    SeriesBuf* b = memory::buf(cell::node(series));
    const uint32_t unit = b->unit();
    const Reader r{b->offset_ptr(), unit, unit_shift(unit), !case_};
    const int32_t total = units_in(cell::node(series));
    const int32_t head = head_in(series);
    const int32_t bound =
        static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(head) + limit, total));
    int32_t at;
    if (reverse) {
        if (match) {
            at = head + m <= total && matches_at(r, n, head) ? head : -1;
        } else {
            if (head == 0) return kNone;
            const int32_t low = part ? std::max(head - limit, 0) : 0;
            at = scan_backward(r, n, head - 1, low, total, step);
        }
    } else if (last) {
        if (match) {
            const int32_t p = bound - m;
            at = p >= head && matches_at(r, n, p) ? p : -1;
        } else {
            at = bound > head ? scan_backward(r, n, bound - 1, head, bound, step) : -1;
        }
    } else if (match) {
        at = head + m <= bound && matches_at(r, n, head) ? head : -1;
    } else {
        at = scan_forward(r, n, head, bound, step);
    }
    return at < 0 ? kNone : Found{at, m};
}

// ---- Sorting ----

struct SortOrder {
    uint32_t unit;
    int32_t offset;  // units into the record of the first compared unit
    int32_t keys;    // units compared
    bool fold;
    bool reverse;
};

inline char32_t sort_fold(char32_t c, uint32_t unit) {
    if (unit == 1) return c >= U'A' && c <= U'Z' ? c + 32 : c;  // ASCII letters only
    return case_fold::to_upper(c);
}

int32_t compare_records(const void* a, const void* b, intptr_t order, intptr_t) {
    const SortOrder& o = *reinterpret_cast<const SortOrder*>(order);
    const auto* pa = static_cast<const uint8_t*>(a) + static_cast<size_t>(o.offset) * o.unit;
    const auto* pb = static_cast<const uint8_t*>(b) + static_cast<size_t>(o.offset) * o.unit;
    for (int32_t k = 0; k < o.keys; k++, pa += o.unit, pb += o.unit) {
        char32_t ca = get_char(pa, o.unit);
        char32_t cb = get_char(pb, o.unit);
        if (o.fold) {
            ca = sort_fold(ca, o.unit);
            cb = sort_fold(cb, o.unit);
        }
        if (ca != cb) return (ca < cb) != o.reverse ? -1 : 1;
    }
    return 0;
}

// Sorting with a comparator function: record numbers are sorted over a copy of the code points
// kept outside collected memory, so the function may allocate and even edit the text. It gets
// each record's first code point as char!, or with `whole` the records as strings; a binary's
// records come as integer! bytes, or whole as binaries.
struct CallSort {
    const Cell* function;  // an argument-stack cell
    const char32_t* codes;
    int32_t width;         // units per record
    bool reverse;
    const Cell* carriers;  // whole records: two strings on the argument stack that hand them over
    bool bytes;            // the series is a binary!
};

int32_t call_records(const void* a, const void* b, intptr_t context, intptr_t) {
    const CallSort& s = *reinterpret_cast<const CallSort*>(context);
    int32_t numbers[2] = {*static_cast<const int32_t*>(a), *static_cast<const int32_t*>(b)};
    if (!s.reverse) std::swap(numbers[0], numbers[1]);  // the function sees (second, first)
    Cell args[2];
    for (int k = 0; k < 2; k++) {
        const char32_t* record = s.codes + static_cast<size_t>(numbers[k]) * s.width;
        if (!s.carriers) {
            if (s.bytes) integer::set(&args[k], static_cast<int32_t>(record[0]));
            else character::set(&args[k], record[0]);
            continue;
        }
        args[k] = s.carriers[k];
        reset(&args[k]);
        for (int32_t f = 0; f < s.width; f++) append_char(cell::node(&args[k]), record[f]);
    }
    return hooks::call_comparator(s.function, &args[0], &args[1]);
}

// Sorts the `count` units from `start` in records of `width` units with the function. The text
// is written only once the sort is done, and only as far as it still reaches: an error raised
// by the function leaves it as it was.
void sort_by_function(NodeId node, int32_t start, int32_t count, int32_t width,
                      const Cell* function, bool whole, bool reverse, bool stable, bool bytes) {
    stack::Mark mark;
    const Cell* held = stack::push(function);
    std::vector<char32_t> codes(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; i++) codes[static_cast<size_t>(i)] = code_at(node, start + i);
    const Cell* carriers = nullptr;
    if (whole) {
        Cell* first = scratch(static_cast<size_t>(width));
        Cell* second = scratch(static_cast<size_t>(width));  // the next cell
        if (bytes) {
            cell::set_type(first, TypeId::Binary);
            cell::set_type(second, TypeId::Binary);
        }
        carriers = first;
    }
    const CallSort spec{held, codes.data(), width, reverse, carriers, bytes};
    const std::vector<int32_t> order = sort::order_records(
        static_cast<size_t>(count / width), stable, reinterpret_cast<intptr_t>(&spec), call_records);
    const int32_t fit = std::clamp(units_in(node) - start, 0, count) / width;
    for (int32_t r = 0; r < fit; r++) {
        const size_t number = static_cast<size_t>(order[static_cast<size_t>(r)]);
        const char32_t* record = codes.data() + number * static_cast<size_t>(width);
        for (int32_t f = 0; f < width; f++) write_char(node, start + r * width + f, record[f]);
    }
    mark.restore();
}

// ---- Sets of code points ----

// Membership of code points: a bitmap for Latin-1, a hash set above.
class CodeSet {
  public:
    bool has(char32_t c) const { return c < 256 ? low_[c] : high_.count(c) != 0; }
    void add(char32_t c) {
        if (c < 256) low_[c] = true;
        else high_.insert(c);
    }

  private:
    std::bitset<256> low_;
    std::unordered_set<char32_t> high_;
};

// The first unit of every record of `step` units from the text's head, folded unless `case_`.
CodeSet record_keys(const Cell* text, int32_t step, bool case_) {
    CodeSet set;
    const uint32_t unit = unit_of(text);
    const uint8_t* p = head_ptr(text);
    for (int32_t i = 0, n = length(text); i < n; i += step)
        set.add(fold_if(get_char(p + static_cast<size_t>(i) * unit, unit), !case_));
    return set;
}

// ---- Trimming ----

// The whitespace set of trim (W) and its blank subset (the members that may stand inside a
// line: tab, space and everything from 133 up).
enum SpaceClass : uint8_t { kSpace = 1, kBlank = 2 };
consteval std::array<uint8_t, 256> build_space_classes() {
    std::array<uint8_t, 256> t{};
    for (int c = 1; c <= 32; c++) t[c] = kSpace;
    t[9] = t[32] = t[133] = t[160] = kSpace | kBlank;
    return t;
}
constexpr auto kSpaceClasses = build_space_classes();

uint8_t space_class(char32_t c) {
    if (c < 256) return kSpaceClasses[c];
    const bool wide = c == 5760 || c == 6158 || (c >= 8192 && c <= 8202) || c == 8232 ||
                      c == 8233 || c == 8239 || c == 8287 || c == 12288;
    return wide ? kSpace | kBlank : 0;
}
inline bool is_space(char32_t c) { return space_class(c) & kSpace; }
inline bool is_blank(char32_t c) { return space_class(c) & kBlank; }

// The code points trim/all and trim/with remove.
CodeSet trim_set(const Cell* with) {
    CodeSet set;
    if (!with) {
        for (char32_t c : {U'\t', U'\n', U'\r', U' '}) set.add(c);
        return set;
    }
    const TypeId t = cell::type_of(with);
    if (t == TypeId::Char || t == TypeId::Integer) {
        set.add(static_cast<char32_t>(cell::get_int(with)));
    } else if (series::is_any_string(t) || t == TypeId::Binary) {
        const uint32_t unit = unit_of(with);
        const uint8_t* p = head_ptr(with);
        for (int32_t i = 0, n = length(with); i < n; i++, p += unit) set.add(get_char(p, unit));
    } else {
        fire_value(Err::InvalidArg, with);
    }
    return set;
}

}  // namespace

// ---- make, to, compare ----

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    const TypeId t = cell::type_of(spec);
    if (t == TypeId::Integer || t == TypeId::Float) {
        const int32_t size = float_to_int_checked(spec);
        if (size < 0) fire_value(Err::OutOfRange, spec);
        make_at(proto, static_cast<size_t>(size));
        cell::set_type(proto, type);
        return proto;
    }
    if (type == TypeId::Binary) {
        if (t == TypeId::Money) fire_bad_make(type, spec);
        return lookup_type<&ActionRow::to>(type, ActionId::To)(proto, spec, type);
    }
    return to(proto, spec, type);
}

Cell* to(Cell* proto, Cell* spec, TypeId type) {
    stack::Mark mark;
    Cell* value = stack::push(spec);  // proto may be the spec: keep the value
    Cell* out = stack::reserve();
    const TypeId t = cell::type_of(value);
    if (t == TypeId::None) {
        Cell datatype{static_cast<uint32_t>(TypeId::Datatype),
                      static_cast<uint32_t>(TypeId::String), 0, 0};
        fire(Err::BadToArg, &datatype, value);
    }
    if (series::is_any_string(t)) {
        const NodeId copy =
            memory::series_copy_range(cell::node(value), static_cast<size_t>(head_in(value)),
                                      static_cast<size_t>(length(value)));
        *out = Cell{static_cast<uint32_t>(TypeId::String), 0, copy, 0};
    } else if (t == TypeId::Binary) {
        const NodeId bytes = cell::node(value);
        const int32_t start = head_in(value);
        const size_t count = static_cast<size_t>(units_in(bytes) - start);
        size_t rest = 0;
        const NodeId text =
            unicode::load_utf8_series(bytes, static_cast<size_t>(start), count, 0, &rest, false);
        *out = Cell{static_cast<uint32_t>(TypeId::String), 0, text, 0};
        if (rest) {
            // A sequence cut off at the end: report its bytes from a copy (raising allocates).
            uint8_t cut[4];
            const size_t n = std::min<size_t>(rest, sizeof cut);
            std::memcpy(cut, memory::buf(bytes)->offset_ptr() + start + (count - rest), n);
            unicode::fire_invalid_utf8(cut, n);
        }
    } else {
        make_at(out, 16);
        if (is_block_like(t)) {
            form_items(value, out, kNoLimit, kNoLimit);
        } else if (t == TypeId::Refinement && type != TypeId::String) {
            lookup<&ActionRow::mold>(value, ActionId::Mold)(value, out, false, false, false,
                                                            nullptr, kNoLimit, 0);
        } else {
            form_into(value, out, kNoLimit);
        }
    }
    *proto = *out;
    cell::set_type(proto, type);
    mark.restore();
    return proto;
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (cell::type_of(a) != cell::type_of(b) &&
        (!is_text(b) || (op != CompareOp::Equal && op != CompareOp::NotEqual)))
        return kNotComparable;
    return compare_raw(a, b, op, false);
}

// ---- Path access ----

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t,
                        bool case_, bool, bool, bool) {
    Cell none_cell = *none::shared();
    switch (cell::type_of(element)) {
    case TypeId::Integer:
        if (!value) return series::pick(parent, cell::get_int(element), element);
        series::poke(parent, cell::get_int(element), value, element);
        return value;
    case TypeId::Word: {
        Cell at = *element;
        fire(Err::InvalidPath, path ? path : &none_cell, &at);
    }
    default: break;
    }
    Cell* at = stack::push(parent);
    if (!value)
        return select(at, element, nullptr, false, case_, false, false, nullptr, nullptr, false,
                      false);
    Cell* found = find(at, element, nullptr, false, case_, false, false, nullptr, nullptr, false,
                       false, true, false);
    if (cell::is(found, TypeId::None)) {
        Cell key = *element;
        fire(Err::BadPathSet, path ? path : &none_cell, &key);
    }
    Cell index;
    integer::set(&index, 1);
    series::poke(found, 1, value, &index);
    return value;
}

// ---- append, insert, change ----

Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    if (dup <= 0) return series;
    stack::Mark mark;
    const Run run = source_of(value, part, only);
    const int32_t at = append ? units_in(cell::node(series)) : head_in(series);
    const int32_t count =
        static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(run.count) * dup, kMaxUnits));
    const Notice notice(series, append ? words::w::append : words::w::insert, value, at, count);
    // An owner's handler may have changed the series: positions are read again.
    const int32_t end =
        splice(series, append ? units_in(cell::node(series)) : head_in(series), 0, run, dup);
    notice.done(append ? words::w::appended : words::w::inserted);
    cell::set_head(series, append ? 0 : end);
    mark.restore();
    return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    if (dup <= 0) return series;
    stack::Mark mark;
    const Run run = source_of(value, -1, only);
    const int32_t at = head_in(series);
    const int32_t rest = units_in(cell::node(series)) - at;
    const int64_t total = static_cast<int64_t>(run.count) * dup;
    const int32_t replaced = part == -1 ? static_cast<int32_t>(std::min<int64_t>(total, rest))
                                        : std::clamp(part, 0, rest);
    const Notice notice(series, words::w::change, value, at, replaced);
    const int32_t now = head_in(series);
    const int32_t end =
        splice(series, now, std::min(replaced, units_in(cell::node(series)) - now), run, dup);
    notice.done(words::w::changed);
    cell::set_head(series, end);
    mark.restore();
    return series;
}

// ---- find, select ----

Cell* find(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any, Cell* with,
           Cell* skip, bool last, bool reverse, bool tail, bool match) {
    const Found f =
        search(series, value, part, case_ || same, any, with, skip, last, reverse, match);
    if (f.at < 0) return none::shared();
    cell::set_head(series, tail || match ? f.at + f.length : f.at);
    return series;
}

const Cell* select(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse) {
    const Found f =
        search(series, value, part, case_ || same, any, with, skip, last, reverse, false);
    if (f.at < 0) return none::shared();
    const int32_t after = f.at + f.length;
    if (after >= units_in(cell::node(series))) return none::shared();
    if (cell::is(series, TypeId::Vector)) {
        SeriesBuf* b = memory::buf(cell::node(series));
        vector::read_elem(b->offset_ptr() + static_cast<size_t>(after) * b->unit(), b->unit(),
                          vector::elem_type(series), series);
        return series;
    }
    const char32_t cp = code_at(cell::node(series), after);
    if (cell::is(series, TypeId::Binary)) integer::set(series, static_cast<int32_t>(cp));
    else character::set(series, cp);
    return series;
}

// ---- sort ----

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all, bool reverse,
           bool stable) {
    const NodeId node = cell::node(series);
    const int32_t head = head_in(series);
    int32_t start = head;
    int32_t count = units_in(node) - head;
    if (part) {
        const int32_t n = series::part_limit(series, part);
        if (n < 0) {
            start = std::max(head + n, 0);
            count = head - start;
        } else {
            count = std::min(n, count);
        }
    }
    int32_t width = 1;
    if (skip) {
        if (!cell::is(skip, TypeId::Integer)) fire_refine(words::w::skip, skip);
        width = cell::get_int(skip);
        if (width < 1 || width > count || count % width != 0) fire_refine(words::w::skip, skip);
    }
    int32_t offset = 0;
    if (compare) {
        if (cell::is(compare, TypeId::Integer)) {
            if (all || !skip) fire(Err::BadRefines);
            const int32_t n = cell::get_int(compare);
            if (n < 1 || n > width) fire_value(Err::OutOfRange, compare);
            offset = n - 1;
        } else if (!native::is_any_function(cell::type_of(compare))) {
            fire_refine(words::w::compare, compare);
        }
    }
    if (count / width < 2) return series;
    const Notice notice(series, words::w::sort, nullptr, start, count);
    count = std::clamp(units_in(node) - start, 0, count) / width * width;
    if (cell::is(series, TypeId::Vector)) {
        if (compare && native::is_any_function(cell::type_of(compare)))
            vector::sort_by_function(series, start, count, width, compare, all && skip, reverse,
                                     stable);
        else
            vector::sort_records(series, start, count, width, offset, all ? width : 1, reverse);
        notice.done(words::w::sorted);
        return series;
    }
    if (compare && native::is_any_function(cell::type_of(compare))) {
        sort_by_function(node, start, count, width, compare, all && skip, reverse, stable,
                         cell::is(series, TypeId::Binary));
        notice.done(words::w::sorted);
        return series;
    }
    SeriesBuf* b = memory::buf(node);
    const uint32_t unit = b->unit();
    const bool fold = !case_ && !cell::is(series, TypeId::Binary);  // bytes order by value
    const SortOrder order{unit, offset, all ? width : 1, fold, reverse};
    uint8_t* base = b->offset_ptr() + (static_cast<size_t>(start) << unit_shift(unit));
    const size_t records = static_cast<size_t>(count / width);
    const size_t bytes = static_cast<size_t>(width) * unit;
    const auto context = reinterpret_cast<intptr_t>(&order);
    if (stable) sort::sort_records(base, records, bytes, context, 0, compare_records);
    else sort::sort_records_unstable(base, records, bytes, context, 0, compare_records);
    notice.done(words::w::sorted);
    return series;
}

// ---- swap, take ----

Cell* swap(Cell* a, Cell* b) {
    if (!is_text(b) && !cell::is(b, TypeId::Binary)) fire_value(Err::InvalidArg, b);
    if (at_tail(a) || at_tail(b)) return a;
    const char32_t ca = code_at(cell::node(a), head_in(a));
    const char32_t cb = code_at(cell::node(b), head_in(b));
    const Notice first(a, words::w::swap, b, head_in(a), 1);
    const Notice second(b, words::w::swap, a, head_in(b), 1);
    // A binary takes the low 8 bits of a code point, as poke does.
    auto put = [](Cell* s, char32_t cp) {
        if (!cell::is(s, TypeId::Binary)) write_char(cell::node(s), head_in(s), cp);
        else memory::buf_of(s)->offset_ptr()[head_in(s)] = static_cast<uint8_t>(cp);
    };
    put(a, cb);
    put(b, ca);
    first.done(words::w::swaped);
    second.done(words::w::swaped);
    return a;
}

Cell* take(Cell* series, Cell* part, bool deep, bool last) {
    Cell* taken = series::take(series, part, deep, last);
    if (part || cell::is(taken, TypeId::None)) return taken;
    if (cell::is(taken, TypeId::Vector)) {
        SeriesBuf* b = memory::buf(cell::node(taken));
        vector::read_elem(b->offset_ptr(), b->unit(), vector::elem_type(taken), taken);
        return taken;
    }
    const char32_t cp = code_at(cell::node(taken), 0);
    if (cell::is(taken, TypeId::Binary)) integer::set(taken, static_cast<int32_t>(cp));
    else if (is_text(taken)) character::set(taken, cp);
    return taken;
}

// ---- trim ----

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    if (!all && !with && auto_) fire(Err::NotDone);
    const CodeSet removed = all || with ? trim_set(with) : CodeSet{};
    const NodeId node = cell::node(series);
    if (at_tail(series)) return series;
    const Notice notice(series, words::w::trim, nullptr, head_in(series), length(series));
    const int32_t start = head_in(series);
    const int32_t total = units_in(node);

    // In place, no allocation: the write index never passes the read index.
    SeriesBuf* b = memory::buf(node);
    const uint32_t unit = b->unit();
    const int shift = unit_shift(unit);
    uint8_t* base = b->offset_ptr();
    auto at = [&](int32_t i) { return get_char(base + (static_cast<size_t>(i) << shift), unit); };
    int32_t w = start;
    auto put = [&](char32_t c) { put_char(base + (static_cast<size_t>(w++) << shift), unit, c); };

    if (all || with) {
        for (int32_t i = start; i < total; i++)
            if (!removed.has(at(i))) put(at(i));
    } else if (lines) {
        bool gap = false;
        for (int32_t i = start; i < total; i++) {
            const char32_t c = at(i);
            if (is_space(c)) {
                gap = true;
                continue;
            }
            if (gap && w > start) put(U' ');
            gap = false;
            put(c);
        }
    } else {
        const bool plain = !head && !tail;
        int32_t from = start;
        int32_t to = total;
        if (head || plain)
            while (from < to && is_space(at(from))) from++;
        bool line_feed = false;
        if (tail || plain) {
            while (to > from && is_space(at(to - 1))) to--;
            for (int32_t i = to; i < total && !line_feed; i++) line_feed = at(i) == U'\n';
        }
        if (!plain) {
            for (int32_t i = from; i < to; i++) put(at(i));
        } else {
            bool line_start = true;
            int32_t blanks = -1;  // first index of blanks not written yet
            for (int32_t i = from; i < to; i++) {
                const char32_t c = at(i);
                if (is_blank(c)) {
                    if (!line_start && blanks < 0) blanks = i;
                    continue;
                }
                if (c != U'\n' && blanks >= 0)
                    for (int32_t k = blanks; k < i; k++) put(at(k));
                blanks = -1;
                put(c);
                line_start = c == U'\n';
            }
            if (line_feed) put(U'\n');
        }
    }
    b->tail = b->offset + (static_cast<size_t>(w) << shift);
    notice.done(words::w::trimmed);
    return series;
}

// ---- Set operations ----

void set_op(bool case_, Cell* skip, SetOp op) {
    int32_t step = 1;
    if (skip) {
        if (!cell::is(skip, TypeId::Integer)) fire_refine(words::w::skip, skip);
        step = cell::get_int(skip);
        if (step < 1) fire_refine(words::w::skip, skip);
    }
    stack::Mark mark;
    const Cell* first = stack::push(stack::arg(0));
    const Cell* second = op == SetOp::Unique ? nullptr : stack::push(stack::arg(1));
    if (second && !is_text(second)) fire_expect_arg(cell::type_of(second), 1);
    const bool both = op == SetOp::Union || op == SetOp::Difference;
    const int64_t room = static_cast<int64_t>(length(first)) + (both ? length(second) : 0);
    if (room > kMaxUnits) fire(Err::NoMemory);
    const uint32_t unit = std::max(unit_of(first), both ? unit_of(second) : 1u);
    Cell* result = scratch(static_cast<size_t>(room), unit);
    cell::set_type(result, cell::type_of(first));

    // No allocation from here on (the sets live on the C++ heap).
    const bool tests_other =
        op == SetOp::Intersect || op == SetOp::Exclude || op == SetOp::Difference;
    const CodeSet in_second = tests_other ? record_keys(second, step, case_) : CodeSet{};
    const CodeSet in_first = op == SetOp::Difference ? record_keys(first, step, case_) : CodeSet{};
    CodeSet kept;
    SeriesBuf* out = memory::buf(cell::node(result));
    const int shift = unit_shift(unit);
    size_t w = 0;
    auto walk = [&](const Cell* text, const CodeSet* other, bool keep_members) {
        const uint32_t u = unit_of(text);
        const uint8_t* p = head_ptr(text);
        const int32_t n = length(text);
        for (int32_t i = 0; i < n; i += step) {
            const char32_t key = fold_if(get_char(p + static_cast<size_t>(i) * u, u), !case_);
            if (other && other->has(key) != keep_members) continue;
            if (kept.has(key)) continue;
            kept.add(key);
            for (int32_t k = i; k < std::min(i + step, n); k++)
                put_char(out->offset_ptr() + (w++ << shift), unit,
                         get_char(p + static_cast<size_t>(k) * u, u));
        }
    };
    switch (op) {
    case SetOp::Unique: walk(first, nullptr, true); break;
    case SetOp::Union:
        walk(first, nullptr, true);
        walk(second, nullptr, true);
        break;
    case SetOp::Intersect: walk(first, &in_second, true); break;
    case SetOp::Exclude: walk(first, &in_second, false); break;
    case SetOp::Difference:
        walk(first, &in_second, false);
        walk(second, &in_first, false);
        break;
    }
    out->tail = out->offset + (w << shift);
    *stack::arg(0) = *result;
    mark.restore();
}

}  // namespace nuv::string
