// Character display width: the terminal columns a code point takes (0, 1 or 2), by the
// wcwidth method, with the variant in which East Asian ambiguous characters are wide. The
// range tables are generated (runtime/unicode_tables.inc); nothing here allocates.
#pragma once
#include <cstddef>

namespace nuv::char_width {

// True when cp lies in one of the `pairs` sorted, inclusive (low, high) ranges of `table`.
bool in_range_table(char32_t cp, const char32_t (*table)[2], size_t pairs);

// 0 for U+0000 and for combining marks and format characters, 1 for other control characters,
// 2 for East Asian wide and fullwidth characters, else 1.
int width(char32_t cp);
// 2 for East Asian ambiguous characters, else width(cp).
int width_ambiguous(char32_t cp);

}  // namespace nuv::char_width
