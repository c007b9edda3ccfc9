// Case folding: the simple one-to-one upper- and lower-case mappings of single code points, and
// the in-place case change of a char! or text value behind `uppercase` and `lowercase`. Every
// case-insensitive comparison of the system folds both sides to upper case through here.
// The BMP is one indexed read in a direct table built by init(); above U+FFFF the few pairs
// are searched.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::case_fold {

// Builds the two BMP tables (tracked allocations, 256 KiB each). Runs once in runtime-init,
// before anything folds; a later call (after runtime-exit) builds them afresh.
void init();

namespace detail {
extern const char32_t* g_upper;  // entry = mapped code point, 0 = maps to itself
extern const char32_t* g_lower;
char32_t fold_astral(char32_t cp, bool upper);
}  // namespace detail

// The upper-case form when `upper`, else the lower-case form; unchanged without a mapping.
inline char32_t fold(char32_t cp, bool upper) {
    if (cp <= 0xFFFF) {
        char32_t mapped = (upper ? detail::g_upper : detail::g_lower)[cp];
        return mapped ? mapped : cp;
    }
    return detail::fold_astral(cp, upper);
}
inline char32_t to_upper(char32_t cp) { return fold(cp, true); }
inline char32_t to_lower(char32_t cp) { return fold(cp, false); }

// The upper-case form if it differs from cp, else the lower-case form.
char32_t toggle(char32_t cp);
// The upper-case form of a BMP code point (cp <= 0xFFFF), one table read.
inline char32_t to_upper_fast(char32_t cp) {
    char32_t mapped = detail::g_upper[cp];
    return mapped ? mapped : cp;
}

// Changes the value in base[0] in place. A char! gets its code point folded. A text value
// (string! and its kin) first has a head beyond the tail moved to the tail; then each character
// from the head to the tail is folded, or as many as /part allows: `part_arg` is the index from
// base of the /part argument (an integer! count, or a position in the same series), <= 0 when
// /part is absent. Folding may widen, and so move, the text buffer. Raises script
// invalid-refine-arg for a /part value of another type or series. Returns base.
Cell* change_case(Cell* base, int32_t part_arg, bool upper);

}  // namespace nuv::case_fold
