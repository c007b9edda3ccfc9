// Character display width over the generated zero-width, wide and ambiguous range tables.
#include "runtime/char_width.h"

#include <algorithm>
#include <iterator>

#include "runtime/unicode_tables.inc"

namespace nuv::char_width {

namespace {

namespace tables = unicode_tables;
using Range = char32_t[2];

template <size_t N>
constexpr bool sorted_disjoint(const Range (&ranges)[N]) {
    for (size_t i = 0; i < N; i++) {
        if (ranges[i][0] > ranges[i][1] || ranges[i][1] > 0x10FFFF) return false;
        if (i > 0 && ranges[i - 1][1] >= ranges[i][0]) return false;
    }
    return true;
}
static_assert(sorted_disjoint(tables::kZeroWidth));
static_assert(sorted_disjoint(tables::kWide));
static_assert(sorted_disjoint(tables::kAmbiguous));

template <size_t N>
bool in_table(char32_t cp, const Range (&ranges)[N]) {
    return in_range_table(cp, ranges, N);
}

}  // namespace

bool in_range_table(char32_t cp, const char32_t (*table)[2], size_t pairs) {
    if (pairs == 0 || cp < table[0][0] || cp > table[pairs - 1][1]) return false;
    // The first range whose high end reaches cp.
    const Range* at = std::lower_bound(table, table + pairs, cp,
                                       [](const Range& r, char32_t c) { return r[1] < c; });
    return (*at)[0] <= cp;
}

int width(char32_t cp) {
    if (cp == 0) return 0;
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return 1;
    if (in_table(cp, tables::kZeroWidth)) return 0;
    if (in_table(cp, tables::kWide)) return 2;
    return 1;
}

int width_ambiguous(char32_t cp) {
    if (in_table(cp, tables::kAmbiguous)) return 2;
    return width(cp);
}

}  // namespace nuv::char_width
