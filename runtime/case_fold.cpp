// Case folding: the BMP tables built at start-up from the generated pair lists, the search of
// the pairs above U+FFFF, and the in-place case change of char! and text values.
#include "runtime/case_fold.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include <sys/mman.h>

#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/words.h"
#include "runtime/unicode_tables.inc"

namespace nuv::case_fold {

namespace detail {
const char32_t* g_upper = nullptr;
const char32_t* g_lower = nullptr;
}  // namespace detail

namespace {

namespace tables = unicode_tables;
using Pair = char32_t[2];
constexpr size_t kBmpEntries = 0x10000;

template <size_t N>
constexpr bool sorted_and_within(const Pair (&pairs)[N], char32_t low, char32_t high) {
    for (size_t i = 0; i < N; i++) {
        if (pairs[i][0] < low || pairs[i][0] > high || pairs[i][1] < low || pairs[i][1] > high)
            return false;
        if (i > 0 && pairs[i - 1][0] >= pairs[i][0]) return false;
    }
    return true;
}
static_assert(sorted_and_within(tables::kUpperBmp, 0, 0xFFFF));
static_assert(sorted_and_within(tables::kLowerBmp, 0, 0xFFFF));
static_assert(sorted_and_within(tables::kUpperAstral, 0x10000, 0x10FFFF));
static_assert(sorted_and_within(tables::kLowerAstral, 0x10000, 0x10FFFF));

// The table is fresh zeroed memory from the system: only the pages that hold a pair are
// written, so start-up does not fault in all 256 KB of each (the pairs cluster in a few scripts).
template <size_t N>
const char32_t* build_table(const Pair (&pairs)[N]) {
    void* p = mmap(nullptr, kBmpEntries * sizeof(char32_t), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) fire(Err::NoMemory);
    auto* table = static_cast<char32_t*>(p);
    for (const Pair& pair : pairs) table[pair[0]] = pair[1];
    return table;
}

template <size_t N>
char32_t search(const Pair (&pairs)[N], char32_t cp) {
    if (cp < pairs[0][0] || cp > pairs[N - 1][0]) return cp;
    const Pair* at = std::lower_bound(std::begin(pairs), std::end(pairs), cp,
                                      [](const Pair& p, char32_t c) { return p[0] < c; });
    return (*at)[0] == cp ? (*at)[1] : cp;
}

bool fits_unit(char32_t cp, uint32_t unit) {
    return unit == 4 || cp <= (unit == 1 ? 0xFFu : 0xFFFFu);
}

void put_unit(uint8_t* p, uint32_t unit, char32_t cp) {
    if (unit == 1) {
        p[0] = static_cast<uint8_t>(cp);
    } else if (unit == 2) {
        p[0] = static_cast<uint8_t>(cp);
        p[1] = static_cast<uint8_t>(cp >> 8);
    } else {
        uint32_t v = cp;
        std::memcpy(p, &v, 4);
    }
}

[[noreturn]] void fire_bad_part(const Cell* part) {
    fire(Err::InvalidRefineArg, &words::w::part, part);
}

}  // namespace

// The tables never change: a runtime made again keeps the ones the first made.
void init() {
    if (detail::g_upper) return;
    detail::g_upper = build_table(tables::kUpperBmp);
    detail::g_lower = build_table(tables::kLowerBmp);
}

char32_t detail::fold_astral(char32_t cp, bool upper) {
    return upper ? search(tables::kUpperAstral, cp) : search(tables::kLowerAstral, cp);
}

char32_t toggle(char32_t cp) {
    char32_t up = to_upper(cp);
    return up != cp ? up : to_lower(cp);
}

Cell* change_case(Cell* base, int32_t part_arg, bool upper) {
    Cell* value = base;
    if (cell::is(value, TypeId::Char)) {
        value->w2 = fold(static_cast<char32_t>(value->w2), upper);
        return base;
    }

    const NodeId node = cell::node(value);
    memory::SeriesBuf* b = memory::buf(node);
    const int32_t tail = static_cast<int32_t>(b->used() / b->unit());
    if (cell::head(value) > tail) cell::set_head(value, tail);
    const int32_t head = cell::head(value);
    int32_t count = tail - head;

    if (part_arg > 0) {
        const Cell* part = base + part_arg;
        int32_t limit;
        if (cell::is(part, TypeId::Integer)) limit = cell::get_int(part);
        else if (cell::type_of(part) == cell::type_of(value) && cell::node(part) == node)
            limit = cell::head(part) - head;
        else fire_bad_part(part);
        count = std::clamp(limit, 0, count);
    }

    for (int32_t i = head, end = head + count; i < end; i++) {
        uint32_t unit = b->unit();
        uint8_t* at = b->offset_ptr() + static_cast<size_t>(i) * unit;
        char32_t cp = string::get_char(at, unit);
        char32_t folded = fold(cp, upper);
        if (folded == cp) continue;
        if (fits_unit(folded, unit)) put_unit(at, unit, folded);
        else b = string::write_char(node, i, folded);  // widens, and may move the buffer
    }
    // One notice, after the change: the case change has no before-word of its own.
    ownership::check(value, upper ? words::w::uppercase : words::w::lowercase, nullptr, head, count);
    return base;
}

}  // namespace nuv::case_fold
