// string!: makers, readers, buffer writers, concatenation, hex helpers, comparisons, load, and
// the form and mold slots.
#include "runtime/datatypes/string.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/case_fold.h"
#include "runtime/unicode.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using memory::buf;

using test::text;
// An empty string! on the argument stack with room for `units` units of `unit`.
Cell* empty(uint32_t unit = 1, size_t units = 16) {
    return string::make_at_unit(stack::reserve(), units, unit);
}
std::string utf8(const Cell* s) { return string::to_std_utf8(s); }

std::string repeat(char c, int n) { return std::string(static_cast<size_t>(n), c); }

// ---- Makers and readers ----

TEST(String, MakeAt) {
    test::StackScope scope;
    Cell* s = string::make_at(stack::reserve(), 0);
    EXPECT_EQ(cell::type_of(s), TypeId::String);
    EXPECT_EQ(s->w1, 0u);
    EXPECT_EQ(s->w3, 0u);
    EXPECT_EQ(string::length(s), 0);
    EXPECT_EQ(string::unit_of(s), 1u);
    EXPECT_GE(buf(cell::node(s))->size, 1u);

    Cell* w = string::make_at_unit(stack::reserve(), 10, 4);
    EXPECT_EQ(string::unit_of(w), 4u);
    EXPECT_GE(buf(cell::node(w))->size, 40u);
    EXPECT_EQ(string::length(w), 0);
}

TEST(String, AppendCharWidens) {
    struct Case {
        const char* what;
        std::vector<char32_t> cps;
        uint32_t unit;
    };
    const Case cases[] = {
        {"ASCII", {'a', 'b'}, 1},
        // Unit-1 text is Latin-1: 233 stays in unit 1.
        {"Latin-1 233", {233}, 1},
        {"255", {'a', 255}, 1},
        {"256 gives unit 2", {'a', 256}, 2},
        {"euro gives unit 2", {'a', 0xE9, 0x20AC, 'z'}, 2},
        {"65536 straight to unit 4", {'a', 0xE9, 65536, 'b'}, 4},
        {"unit 2 to 4", {0x20AC, 0x1F600}, 4},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* s = empty(1, 1);
        for (char32_t cp : c.cps) string::append_char(cell::node(s), cp);
        EXPECT_EQ(string::unit_of(s), c.unit) << c.what;
        ASSERT_EQ(string::length(s), static_cast<int32_t>(c.cps.size())) << c.what;
        for (size_t i = 0; i < c.cps.size(); i++)
            EXPECT_EQ(string::char_at(s, static_cast<int32_t>(i)), c.cps[i]) << c.what;
    }
}

TEST(String, LengthAndHead) {
    test::StackScope scope;
    Cell* s = text("hello");
    EXPECT_EQ(string::length(s), 5);
    cell::set_head(s, 2);
    EXPECT_EQ(string::length(s), 3);
    EXPECT_EQ(string::length_abs(s), 5);
    EXPECT_EQ(string::char_at(s, 0), U'l');
    EXPECT_FALSE(string::at_tail(s));
    // A head past the tail reads as the tail; rs_head rewrites it.
    cell::set_head(s, 9);
    EXPECT_EQ(string::length(s), 0);
    EXPECT_TRUE(string::at_tail(s));
    EXPECT_EQ(string::rs_head(s), buf(cell::node(s))->tail_ptr());
    EXPECT_EQ(cell::head(s), 5);
}

TEST(String, GetChar) {
    const uint8_t one[] = {0xE9};
    const uint8_t two[] = {0xAC, 0x20};
    const uint8_t four[] = {0x00, 0xF6, 0x01, 0x00};
    EXPECT_EQ(string::get_char(one, 1), 0xE9u);
    EXPECT_EQ(string::get_char(two, 2), 0x20ACu);
    EXPECT_EQ(string::get_char(four, 4), 0x1F600u);
}

TEST(String, FindAndStartsWith) {
    test::StackScope scope;
    Cell* s = text("Hello");
    EXPECT_EQ(string::find_codepoint(s, U'l'), 2);
    EXPECT_EQ(string::find_codepoint(s, U'L'), -1);
    EXPECT_EQ(string::find_codepoint(s, U'z'), -1);
    EXPECT_TRUE(string::has_codepoint(s, U'L', 1, false));
    EXPECT_FALSE(string::has_codepoint(s, U'L', 1, true));
    EXPECT_TRUE(string::has_codepoint(s, U'l', 2, true));   // H l o
    EXPECT_FALSE(string::has_codepoint(s, U'e', 2, true));
    EXPECT_TRUE(string::has_codepoint(text("caf\xC3\xA9"), 0xC9, 1, false));
    EXPECT_FALSE(string::has_codepoint(text("caf\xC3\xA9"), 0xC9, 1, true));

    struct Case {
        const char* s;
        const char* prefix;
        bool want;
    };
    for (Case c : {Case{"Hello", "He", true}, Case{"Hello", "", true}, Case{"He", "Hello", false},
                   Case{"Hello", "Hex", false}, Case{"", "", true},
                   Case{"\xE2\x82\xAC", "a", false}}) {
        test::StackScope inner;
        EXPECT_EQ(string::starts_with_cstr(text(c.s), c.prefix), c.want)
            << c.s << " / " << c.prefix;
    }
    // A code point above 255 never equals a byte.
    Cell* wide = empty(2);
    string::append_char(cell::node(wide), 0x141);
    EXPECT_FALSE(string::starts_with_cstr(wide, "A"));
}

// ---- Buffer writers ----

TEST(String, PokeChar) {
    test::StackScope scope;
    Cell* s = text("abc");
    string::poke_char(cell::node(s), 1, 233);
    EXPECT_EQ(string::unit_of(s), 1u);
    EXPECT_EQ(utf8(s), "a\xC3\xA9" "c");
    // At the tail: appends.
    string::poke_char(cell::node(s), 3, U'd');
    EXPECT_EQ(utf8(s), "a\xC3\xA9" "cd");
    // Past the tail: the units between are spaces, never leftovers.
    string::poke_char(cell::node(s), 40, U'z');
    EXPECT_EQ(string::length(s), 41);
    EXPECT_EQ(utf8(s), "a\xC3\xA9" "cd" + repeat(' ', 36) + "z");
    // A wide code point widens first.
    string::poke_char(cell::node(s), 0, 0x20AC);
    EXPECT_EQ(string::unit_of(s), 2u);
    EXPECT_EQ(string::char_at(s, 0), 0x20ACu);
    EXPECT_EQ(string::char_at(s, 1), 233u);
    EXPECT_EQ(string::char_at(s, 40), U'z');
}

TEST(String, WriteAndInsertChar) {
    test::StackScope scope;
    Cell* s = text("abc");
    string::write_char(cell::node(s), 2, 255);
    EXPECT_EQ(string::unit_of(s), 1u);
    string::write_char(cell::node(s), 0, 0x1F600);
    EXPECT_EQ(string::unit_of(s), 4u);
    EXPECT_EQ(utf8(s), "\xF0\x9F\x98\x80" "b\xC3\xBF");

    Cell* t = empty(1, 1);
    for (char c : std::string("ace")) string::append_char(cell::node(t), static_cast<char32_t>(c));
    string::insert_char(cell::node(t), 1, U'b');
    string::insert_char(cell::node(t), 3, U'd');
    string::insert_char(cell::node(t), 5, U'f');
    string::insert_char(cell::node(t), 0, 0x20AC);
    EXPECT_EQ(utf8(t), "\xE2\x82\xAC" "abcdef");
    for (int i = 0; i < 100; i++) string::insert_char(cell::node(t), 1, U'.');
    EXPECT_EQ(string::length(t), 107);
    EXPECT_EQ(string::char_at(t, 101), U'a');
}

TEST(String, RemoveUnits) {
    struct Case {
        int32_t index, count;
        const char* want;
    };
    const Case cases[] = {
        {1, 2, "adef"}, {0, 6, ""}, {4, 99, "abcd"},  // the count is clamped to the tail
        {6, 1, "abcdef"}, {9, 1, "abcdef"}, {2, 0, "abcdef"}, {5, 1, "abcde"},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* s = text("abcdef");
        string::remove_units(s, c.index, c.count);
        EXPECT_EQ(utf8(s), c.want) << c.index << "," << c.count;
        EXPECT_EQ(buf(cell::node(s))->used(), std::strlen(c.want));
    }
    test::StackScope scope;
    Cell* w = text("a\xE2\x82\xAC" "bc");
    string::remove_units(w, 1, 2);
    EXPECT_EQ(utf8(w), "ac");
}

TEST(String, TrimMin) {
    test::StackScope scope;
    Cell* s = text("abcdef");
    string::trim_min(cell::node(s), 10);
    EXPECT_EQ(utf8(s), "abcdef");
    string::trim_min(cell::node(s), 4);
    EXPECT_EQ(utf8(s), "abcd");
}

TEST(String, AppendCstrAndBytes) {
    test::StackScope scope;
    Cell* s = empty(1, 1);
    string::append_cstr(s, "ab");
    string::append_cstr(s, "");
    string::append_cstr(s, "\xE9");
    EXPECT_EQ(string::unit_of(s), 1u);
    EXPECT_EQ(utf8(s), "ab\xC3\xA9");

    Cell* w = empty(2, 1);
    string::append_cstr(w, "xyz");
    const uint8_t bytes[] = {0x00, 0xFF, 0x41};
    string::append_bytes(w, bytes, 0);
    string::append_bytes(w, bytes, 3);
    EXPECT_EQ(string::unit_of(w), 2u);
    ASSERT_EQ(string::length(w), 6);
    EXPECT_EQ(string::char_at(w, 3), 0u);
    EXPECT_EQ(string::char_at(w, 4), 0xFFu);
    EXPECT_EQ(string::char_at(w, 5), U'A');
}

TEST(String, Reset) {
    test::StackScope scope;
    Cell* s = text("\xF0\x9F\x98\x80xyz");
    cell::set_head(s, 2);
    string::reset(s);
    EXPECT_EQ(string::unit_of(s), 1u);
    EXPECT_EQ(cell::head(s), 0);
    EXPECT_EQ(string::length(s), 0);
    string::append_cstr(s, "ok");
    EXPECT_EQ(utf8(s), "ok");
}

TEST(String, SwapRegions) {
    struct Case {
        const char* in;
        size_t a_len, gap, b_len;
        const char* want;
    };
    const Case cases[] = {
        {"AAbbbb", 2, 0, 4, "bbbbAA"},
        {"AAA-bb", 3, 1, 2, "bb-AAA"},
        {"A--bbbb", 1, 2, 4, "bbbb--A"},
        {"xy", 1, 0, 1, "yx"},
    };
    for (const Case& c : cases) {
        std::string s = c.in;
        auto* p = reinterpret_cast<uint8_t*>(s.data());
        string::swap_regions(p, c.a_len, p + c.a_len + c.gap, c.b_len, c.gap);
        EXPECT_EQ(s, c.want) << c.in;
    }
}

TEST(String, MoveUnits) {
    test::StackScope scope;
    Cell* a = text("abcdef");
    Cell* b = text("XY");
    cell::set_head(a, 1);
    cell::set_head(b, 1);
    string::move_units(a, b, 3);
    cell::set_head(a, 0);
    cell::set_head(b, 0);
    EXPECT_EQ(utf8(a), "aef");
    EXPECT_EQ(utf8(b), "XbcdY");

    // Within one buffer, forwards and backwards.
    Cell* c = text("abcdef");
    Cell* c2 = stack::push(c);
    cell::set_head(c2, 5);
    string::move_units(c, c2, 2);  // "ab" moved before "f"
    cell::set_head(c, 0);
    EXPECT_EQ(utf8(c), "cdeabf");
    Cell* d = text("abcdef");
    Cell* d2 = stack::push(d);
    cell::set_head(d, 4);
    string::move_units(d, d2, 2);  // "ef" moved to the front
    cell::set_head(d, 0);
    EXPECT_EQ(utf8(d), "efabcd");
}

// ---- Concatenation ----

TEST(String, Concatenate) {
    struct Case {
        const char* what;
        const char* target;
        const char* source;
        int32_t part, offset;
        string::Concat mode;
        const char* want;
    };
    const Case cases[] = {
        {"append", "abc", "de", -1, 0, string::Concat::Append, "abcde"},
        {"append part", "abc", "def", 2, 0, string::Concat::Append, "abcde"},
        {"append part 0", "abc", "def", 0, 0, string::Concat::Append, "abc"},
        {"append part beyond", "abc", "def", 9, 0, string::Concat::Append, "abcdef"},
        {"insert", "abc", "XY", -1, 1, string::Concat::Insert, "aXYbc"},
        {"insert at 0", "abc", "XY", -1, 0, string::Concat::Insert, "XYabc"},
        {"insert at tail", "abc", "XY", -1, 3, string::Concat::Insert, "abcXY"},
        {"overwrite inside", "abcdef", "XY", -1, 2, string::Concat::Overwrite, "abXYef"},
        {"overwrite past tail", "abc", "XYZ", -1, 2, string::Concat::Overwrite, "abXYZ"},
        {"wide source widens target", "abc", "\xE2\x82\xAC", -1, 0, string::Concat::Append,
         "abc\xE2\x82\xAC"},
        {"wide target", "\xF0\x9F\x98\x80", "a\xC3\xA9", -1, 0, string::Concat::Append,
         "\xF0\x9F\x98\x80" "a\xC3\xA9"},
        {"wide insert", "\xE2\x82\xAC\xE2\x82\xAC", "ab", -1, 1, string::Concat::Insert,
         "\xE2\x82\xAC" "ab\xE2\x82\xAC"},
        {"empty source", "abc", "", -1, 0, string::Concat::Append, "abc"},
        {"long", "x", "0123456789012345678901234567890123456789012345678901234567890123456789",
         -1, 0, string::Concat::Append,
         "x0123456789012345678901234567890123456789012345678901234567890123456789"},
    };
    for (bool keep : {true, false}) {
        for (const Case& c : cases) {
            test::StackScope scope;
            Cell* t = text(c.target);
            Cell* s = text(c.source);
            const uint32_t source_unit = string::unit_of(s);
            string::concatenate(t, s, c.part, c.offset, keep, c.mode);
            EXPECT_EQ(utf8(t), c.want) << c.what << (keep ? " (keep)" : "");
            EXPECT_EQ(utf8(s), c.source) << c.what;
            if (keep) {
                EXPECT_EQ(string::unit_of(s), source_unit) << c.what;
            }
        }
    }
}

TEST(String, ConcatenateFromTheHeadAndIntoItself) {
    test::StackScope scope;
    Cell* t = text("ab");
    Cell* s = text("0123");
    cell::set_head(s, 2);
    string::concatenate(t, s, -1, 0, true, string::Concat::Append);
    EXPECT_EQ(utf8(t), "ab23");

    // One buffer as target and source: the source range is read before anything moves.
    Cell* u = text("abcd");
    Cell* v = stack::push(u);
    cell::set_head(v, 1);
    string::concatenate(u, v, 2, 0, true, string::Concat::Insert);
    EXPECT_EQ(utf8(u), "bcabcd");
    Cell* w = text("xyz");
    string::concatenate(w, w, -1, 0, true, string::Concat::Append);
    EXPECT_EQ(utf8(w), "xyzxyz");
}

// ---- Hex ----

TEST(String, Hex) {
    EXPECT_STREQ(string::byte_to_hex(0), "00");
    EXPECT_STREQ(string::byte_to_hex(0xAB), "AB");
    EXPECT_STREQ(string::byte_to_hex(0x0F), "0F");
    struct Case {
        int32_t v;
        bool trim;
        const char* want;
    };
    for (Case c : {Case{0, true, "00"}, Case{30, true, "1E"}, Case{7, true, "7"},
                   Case{256, true, "100"}, Case{-1, false, "FFFFFFFF"},
                   Case{255, false, "000000FF"},
                   Case{0, false, "00000000"}, Case{-1, true, "FFFFFFFF"},
                   Case{0x20AC, true, "20AC"}})
        EXPECT_STREQ(string::int_to_hex(c.v, c.trim), c.want) << c.v;
}

TEST(String, ScanNumberReadsTheRangeOnly) {
    struct Case {
        const char* text;
        int32_t start;
        int32_t length;
        double want;
    };
    for (Case c : {Case{"1.5", 0, 3, 1.5}, Case{"x12.25y", 1, 5, 12.25},
                   Case{"1234", 0, 2, 12.0}, Case{"-2e3", 0, 4, -2000.0},
                   Case{"0.1", 0, 3, 0.1}, Case{"12abc", 0, 5, 12.0}, Case{"abc", 0, 3, 0.0},
                   Case{"9", 0, 0, 0.0}}) {
        const auto* text = reinterpret_cast<const uint8_t*>(c.text);
        EXPECT_EQ(string::scan_number(text, c.start, c.length), c.want)
            << c.text << " from " << c.start << " for " << c.length;
    }
}

// ---- Comparisons ----

TEST(String, CompareRaw) {
    struct Case {
        const char* a;
        const char* b;
        CompareOp op;
        bool prefix;
        int32_t want;
    };
    const Case cases[] = {
        {"abc", "ABC", CompareOp::Equal, false, 0},
        {"abc", "ABC", CompareOp::StrictEqual, false, 1},
        {"abc", "ABC", CompareOp::SortStrict, false, 1},
        {"abc", "ABC", CompareOp::FindEqual, false, 0},
        {"ab", "abc", CompareOp::Lesser, false, -1},
        {"abc", "ab", CompareOp::Greater, false, 1},
        {"ab", "abc", CompareOp::Equal, false, -1},
        {"abd", "abc", CompareOp::Lesser, false, 1},
        {"B", "abc", CompareOp::Lesser, false, 1},
        {"", "abc", CompareOp::Lesser, false, -1},
        {"", "", CompareOp::Equal, false, 0},
        {"a\xC3\xA9", "A\xC3\xA9", CompareOp::Equal, false, 0},
        {"\xC3\xA9", "\xC3\x89", CompareOp::Equal, false, 0},        // e acute folds
        {"\xC3\xA9", "\xC3\x89", CompareOp::StrictEqual, false, 1},
        {"\xD0\xB0", "\xD0\x90", CompareOp::FindEqual, false, 0},    // Cyrillic a
        {"\xE2\x82\xAC" "a", "\xE2\x82\xAC" "b", CompareOp::Lesser, false, -1},
        {"abcdef", "ABC", CompareOp::Equal, true, 0},
        {"abcdef", "ABC", CompareOp::StrictEqual, true, 1},
        {"ab", "abc", CompareOp::Equal, true, -1},
        {"abc", "", CompareOp::Equal, true, 0},
        {"abc", "abc", CompareOp::Same, false, -1},  // equal text, two buffers
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        EXPECT_EQ(string::compare_raw(text(c.a), text(c.b), c.op, c.prefix), c.want)
            << '"' << c.a << "\" op " << static_cast<int>(c.op) << " \"" << c.b << '"';
    }
    test::StackScope scope;
    Cell* a = text("abc");
    Cell* b = stack::push(a);
    EXPECT_EQ(string::compare_raw(a, b, CompareOp::Same, false), 0);
    EXPECT_EQ(string::compare_raw(a, b, CompareOp::Equal, false), 0);
    cell::set_head(b, 1);
    EXPECT_EQ(string::compare_raw(a, b, CompareOp::Same, false), -1);
    EXPECT_EQ(string::compare_raw(a, b, CompareOp::Lesser, false), -1);  // "abc" < "bc"

    // A parse slice (type 56) carries its length in word 3.
    Cell slice = *text("ABCDEF");
    slice.header = 56;
    slice.w3 = 2;
    EXPECT_EQ(string::compare_raw(text("abz"), &slice, CompareOp::Equal, true), 0);
}

// Texts of every unit width, and pairs of widths, order and match alike. Each row is checked
// with both texts stored in every unit that holds them, from a head of 0 and from a head of 1
// (an odd start for the wider units), against the rule itself: code point by code point, both
// folded to upper case unless the comparison is case-sensitive.
TEST(String, CompareAcrossWidths) {
    using Text = std::u32string;
    const Text prefix = U"0123456789abcdefghij";  // longer than one eight-byte step in every unit
    struct Case {
        Text a;
        Text b;
        int32_t sort_case;    // SortCase
        int32_t sort_strict;  // SortStrict
    };
    const Case cases[] = {
        {U"", U"", 0, 0},
        {U"", U"a", -1, -1},
        {U"a", U"A", 0, 1},
        {U"a", U"_", -1, 1},  // folded to upper case: "A" sorts before "_"
        {U"abc", U"ABD", -1, 1},
        {U"ab", U"abc", -1, -1},
        {U"ABC", U"ab", 1, -1},
        {prefix + U"x", prefix + U"X", 0, 1},
        {prefix + U"x", prefix + U"y", -1, -1},
        {prefix + U"Y", prefix + U"x", 1, -1},
        {prefix, prefix + U"a", -1, -1},
        {U"1234567a", U"1234567B", -1, 1},  // the difference at the last unit of a step
        {U"12345678a", U"12345678B", -1, 1},  // and at the first of the next
        {U"\u00E4x", U"\u00C4X", 0, 1},
        {U"\u00FF", U"\u0178", 0, -1},  // Latin-1 y diaeresis folds out of unit 1
        {U"\u00B5", U"\u03BC", 0, -1},  // micro sign and Greek mu fold to one capital
        {U"\u0131", U"i", 0, 1},         // dotless i folds to I
        {U"\u017F", U"s", 0, 1},         // long s folds to S
        {U"\u00E9", U"f", 1, 1},
        {U"\u20AC" + prefix + U"a", U"\u20AC" + prefix + U"B", -1, 1},
        {U"\U00010428", U"\U00010400", 0, 1},  // Deseret, above U+FFFF
        {U"a\U00010428z", U"A\U00010400Y", 1, 1},
        {U"\U0001F600", U"\uFFFF", 1, 1},
    };
    auto store = [](const Text& t, uint32_t unit, bool offset) {
        Cell* s = empty(unit, t.size() + 1);
        if (offset) string::append_char(cell::node(s), U'-');
        for (char32_t cp : t) string::append_char(cell::node(s), cp);
        if (offset) cell::set_head(s, 1);
        return s;
    };
    auto fits = [](const Text& t, uint32_t unit) {
        for (char32_t cp : t)
            if (unicode::unit_for(cp) > unit) return false;
        return true;
    };
    auto rule = [](const Text& a, const Text& b, CompareOp op, bool prefix) {
        const bool fold = op != CompareOp::StrictEqual && op != CompareOp::SortStrict;
        const bool equality = op == CompareOp::Equal || op == CompareOp::StrictEqual ||
                              op == CompareOp::FindEqual;
        const int32_t la = static_cast<int32_t>(a.size()), lb = static_cast<int32_t>(b.size());
        if (!prefix && la != lb && (equality || la == 0 || lb == 0)) return la < lb ? -1 : 1;
        for (size_t i = 0; i < std::min(a.size(), b.size()); i++) {
            char32_t ca = a[i], cb = b[i];
            if (fold) {
                ca = case_fold::to_upper(ca);
                cb = case_fold::to_upper(cb);
            }
            if (ca != cb) return ca < cb ? -1 : 1;
        }
        if (prefix) return la < lb ? -1 : 0;
        return la == lb ? 0 : (la < lb ? -1 : 1);
    };
    const CompareOp ops[] = {CompareOp::SortCase,  CompareOp::SortStrict, CompareOp::Equal,
                             CompareOp::StrictEqual, CompareOp::Lesser,  CompareOp::FindEqual};
    for (const Case& c : cases) {
        for (int swap = 0; swap < 2; swap++) {
            const Text& a = swap ? c.b : c.a;
            const Text& b = swap ? c.a : c.b;
            const int32_t sign = swap ? -1 : 1;
            ASSERT_EQ(rule(a, b, CompareOp::SortCase, false), sign * c.sort_case);
            ASSERT_EQ(rule(a, b, CompareOp::SortStrict, false), sign * c.sort_strict);
            for (uint32_t ua : {1u, 2u, 4u}) {
                for (uint32_t ub : {1u, 2u, 4u}) {
                    if (!fits(a, ua) || !fits(b, ub)) continue;
                    for (bool offset : {false, true}) {
                        test::StackScope scope;
                        Cell* x = store(a, ua, offset);
                        Cell* y = store(b, ub, !offset);
                        ASSERT_EQ(string::unit_of(x), ua);
                        ASSERT_EQ(string::unit_of(y), ub);
                        for (CompareOp op : ops) {
                            for (bool prefix : {false, true}) {
                                EXPECT_EQ(string::compare_raw(x, y, op, prefix),
                                          rule(a, b, op, prefix))
                                    << "row " << (&c - cases) << (swap ? " swapped" : "")
                                    << " units " << ua << "/" << ub << " op "
                                    << static_cast<int>(op) << (prefix ? " prefix" : "")
                                    << (offset ? " offset" : "");
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(String, MatchHead) {
    test::StackScope scope;
    Cell* s = text("<b>bold");
    Cell tag = *text("B");
    tag.header = static_cast<uint32_t>(TypeId::Tag);
    EXPECT_TRUE(string::tag_brackets(s, &tag));
    EXPECT_TRUE(string::match_head(s, &tag, CompareOp::Equal));
    EXPECT_FALSE(string::match_head(s, &tag, CompareOp::StrictEqual));
    EXPECT_TRUE(string::match_head(s, text("<B"), CompareOp::Equal));
    EXPECT_FALSE(string::match_head(s, text("<b>bold!"), CompareOp::Equal));
    Cell file = *text("<b");
    file.header = static_cast<uint32_t>(TypeId::File);
    EXPECT_TRUE(string::match_head(s, &file, CompareOp::StrictEqual));

    Cell ch{static_cast<uint32_t>(TypeId::Char), 0, U'<', 0};
    EXPECT_TRUE(string::match_head(s, &ch, CompareOp::Equal));
    Cell* t = text("abc");
    Cell upper{static_cast<uint32_t>(TypeId::Char), 0, U'A', 0};
    EXPECT_TRUE(string::match_head(t, &upper, CompareOp::Equal));
    EXPECT_FALSE(string::match_head(t, &upper, CompareOp::StrictEqual));
    Cell integer{static_cast<uint32_t>(TypeId::Integer), 0, 97, 0};
    EXPECT_FALSE(string::match_head(t, &integer, CompareOp::Equal));
    EXPECT_FALSE(string::tag_brackets(text("<bb"), &tag));
}

TEST(String, CompareHeadWithABitset) {
    test::StackScope scope;
    // Bits for 'a' (97) and 'c' (99): byte 12, masks 0x40 and 0x10.
    NodeId bits = memory::alloc_bytes_zeroed(16, 0);
    buf(bits)->offset_ptr()[12] = 0x40 | 0x10;
    buf(bits)->tail = 13;
    Cell bitset{static_cast<uint32_t>(TypeId::Bitset), 0, bits, 0};
    EXPECT_TRUE(string::compare_head(text("abc"), &bitset));
    EXPECT_FALSE(string::compare_head(text("bc"), &bitset));
    EXPECT_TRUE(string::compare_head(text("cb"), &bitset));
    EXPECT_FALSE(string::compare_head(text(""), &bitset));
    EXPECT_FALSE(string::compare_head(text("\xE2\x82\xAC"), &bitset));
    buf(bits)->flags |= 0x80000;  // complemented: beyond the stored bits is a member
    EXPECT_TRUE(string::compare_head(text("\xE2\x82\xAC"), &bitset));
}

// ---- Load ----

TEST(String, Load) {
    test::StackScope scope;
    Cell* s = text("\xEF\xBB\xBFh\xC3\xA9");
    EXPECT_EQ(cell::type_of(s), TypeId::String);
    EXPECT_EQ(s->w1, 0u);
    EXPECT_EQ(s->w3, 0u);
    EXPECT_EQ(utf8(s), "h\xC3\xA9");

    const char16_t units[] = {u'h', 0x20AC, 0xD83D, 0xDE00};
    Cell* w = string::load_new(reinterpret_cast<const uint8_t*>(units), sizeof units,
                               string::kUtf16le);
    EXPECT_EQ(utf8(w), "h\xE2\x82\xAC\xF0\x9F\x98\x80");

    // An encoding other than UTF-8 or UTF-16LE is an access error, not an exit.
    const uint8_t bytes[] = "abc";
    EXPECT_RAISES(string::load_new(bytes, 3, 5), Err::NoCodec);
    EXPECT_EQ(cell::get_int(&raised().args[0]), 5);
    // A whole text that ends inside a sequence is invalid.
    const uint8_t cut[] = {'a', 0xE2, 0x82};
    EXPECT_RAISES(string::load_new(cut, 3, string::kUtf8), Err::InvalidUtf8);
    const uint8_t bad[] = {'a', 0xFF};
    EXPECT_RAISES(string::load_new(bad, 2, string::kUtf8), Err::InvalidUtf8);
}

TEST(String, LoadAtABlock) {
    test::StackScope scope;
    Cell block{static_cast<uint32_t>(TypeId::Block), 0, memory::alloc_cells(1), 0};
    Cell* b = stack::push(&block);
    const uint8_t a[] = "first";
    const uint8_t c[] = "second";
    string::load_at(a, 5, b, string::kUtf8);
    Cell* second = string::load_at(c, 6, b, string::kUtf8);
    EXPECT_EQ(utf8(second), "second");
    memory::SeriesBuf* cells = buf(cell::node(b));
    ASSERT_EQ(cells->used(), 2 * sizeof(Cell));
    EXPECT_EQ(utf8(&cells->cells()[0]), "first");
    EXPECT_EQ(utf8(&cells->cells()[1]), "second");
}

// ---- Form and mold ----

std::string formed(const std::string& in, Cell* part = nullptr, int32_t budget = kNoLimit,
                   int32_t* left = nullptr) {
    test::StackScope scope;
    Cell* value = text(in);
    Cell* out = string::make_at(stack::reserve(), 16);
    int32_t rest = string::form(value, out, part, budget);
    if (left) *left = rest;
    return utf8(out);
}

std::string molded(const std::string& in, bool all = false, Cell* part = nullptr,
                   int32_t budget = kNoLimit, int32_t* left = nullptr) {
    test::StackScope scope;
    Cell* value = text(in);
    Cell* out = string::make_at(stack::reserve(), 16);
    int32_t rest = string::mold(value, out, false, all, false, part, budget, 0);
    if (left) *left = rest;
    return utf8(out);
}

TEST(String, Form) {
    int32_t left = 0;
    EXPECT_EQ(formed("", nullptr, kNoLimit, &left), "");
    EXPECT_EQ(left, kNoLimit);
    EXPECT_EQ(formed("a\"b\n", nullptr, 100, &left), "a\"b\n");
    EXPECT_EQ(left, 96);
    EXPECT_EQ(formed("\xE2\x82\xAC" "x"), "\xE2\x82\xAC" "x");
    Cell part{static_cast<uint32_t>(TypeId::Integer), 0, 2, 0};
    EXPECT_EQ(formed("abcdef", &part, 2, &left), "ab");
    EXPECT_EQ(left, -4);
}

TEST(String, Mold) {
    struct Case {
        const char* what;
        std::string in;
        bool all;
        std::string want;
    };
    const Case cases[] = {
        {"empty", "", false, "\"\""},
        {"plain", "a", false, "\"a\""},
        {"a quote", "a\"b", false, "{a\"b}"},
        {"two line feeds", "a\nb\nc", false, "\"a^/b^/c\""},
        {"three line feeds", "a\nb\nc\nd", false, "{a^/b^/c^/d}"},
        {"49 plain", repeat('x', 49), false, "\"" + repeat('x', 49) + "\""},
        {"50 plain", repeat('x', 50), false, "{" + repeat('x', 50) + "}"},
        {"tab", "a\tb", false, "\"a^-b\""},
        {"caret", "a^b", false, "\"a^^b\""},
        {"caret in braces", "\"^", false, "{\"^^}"},
        {"NUL", std::string("\0", 1), false, "\"^@\""},
        {"CR", "\r", false, "\"^M\""},
        {"escape", "\x1B", false, "\"^[\""},
        {"28 29 31", "\x1C\x1D\x1F", false, "\"^\\^]^_\""},
        {"30", "\x1E", false, "\"^(1E)\""},
        {"127", "\x7F", false, "\"^~\""},
        {"128", "\xC2\x80", false, "\"^(80)\""},
        {"159", "\xC2\x9F", false, "\"^(9F)\""},
        {"160", "\xC2\xA0", false, "\"\xC2\xA0\""},
        {"160 all", "\xC2\xA0", true, "\"^(A0)\""},
        {"233 all", "\xC3\xA9", true, "\"^(E9)\""},
        {"euro all", "\xE2\x82\xAC", true, "\"^(20AC)\""},
        {"euro", "\xE2\x82\xAC", false, "\"\xE2\x82\xAC\""},
        {"braces in quotes", "a{b", false, "\"a{b\""},
        {"balanced braces", "\"{x}", false, "{\"{x}}"},
        {"unmatched open", "\"{x", false, "{\"^{x}"},
        {"unmatched close", "\"}x", false, "{\"^}x}"},
        {"open without match escapes later opens", "\"{ {x}", false, "{\"^{ ^{x^}}"},
        {"nested", "\"{{}}", false, "{\"{{}}}"},
        {"close after escaped open", "\"{{}", false, "{\"^{^{^}}"},
        {"line feed in braces", "\"\n", false, "{\"^/}"},
    };
    for (const Case& c : cases) EXPECT_EQ(molded(c.in, c.all), c.want) << c.what;
}

TEST(String, MoldBudgetAndPart) {
    int32_t left = 0;
    EXPECT_EQ(molded("abc", false, nullptr, 100, &left), "\"abc\"");
    EXPECT_EQ(left, 95);
    // With /part 5 only the first 5 units are scanned: no quote seen, so double quotes.
    Cell part{static_cast<uint32_t>(TypeId::Integer), 0, 5, 0};
    const std::string long_text = repeat('y', 60) + "\"";
    EXPECT_EQ(molded(long_text, false, &part, 5, &left), "{yyyyy}");  // the length rule still holds
    EXPECT_EQ(left, -2);
    EXPECT_EQ(molded("ab\"cd", false, &part, 2, &left), "\"ab\"");
    EXPECT_EQ(left, -2);
    EXPECT_EQ(molded("abc", false, &part, -3, &left), "\"\"");
    EXPECT_EQ(left, -5);
}

TEST(String, MoldChar) {
    struct Case {
        char32_t cp;
        bool all;
        const char* want;
    };
    const Case cases[] = {
        {0, false, "^@"},     {1, false, "^A"},      {8, false, "^H"},    {9, false, "^-"},
        {10, false, "^/"},    {11, false, "^K"},     {13, false, "^M"},   {26, false, "^Z"},
        {27, false, "^["},    {28, false, "^\\"},    {29, false, "^]"},   {30, false, "^(1E)"},
        {31, false, "^_"},    {32, false, " "},      {34, false, "^\""},  {65, false, "A"},
        {94, false, "^^"},    {95, false, "_"},      {127, false, "^~"},  {128, false, "^(80)"},
        {159, false, "^(9F)"}, {160, false, "\xC2\xA0"}, {160, true, "^(A0)"},
        {0x20AC, true, "^(20AC)"}, {0x1F600, false, "\xF0\x9F\x98\x80"}, {65, true, "A"},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* out = empty();
        string::mold_char(out, c.cp, string::kEscapeControls, c.all);
        EXPECT_EQ(utf8(out), c.want) << static_cast<uint32_t>(c.cp);
    }
    test::StackScope scope;
    Cell* out = empty();
    string::mold_char(out, 10, 0, false);  // another escape mode writes controls as they are
    EXPECT_EQ(utf8(out), "\n");
}

TEST(String, ScanUnitsAndBraces) {
    const char* s = "a\"b\n\"\n{x{y}}";
    auto* p = reinterpret_cast<const uint8_t*>(s);
    auto* end = p + std::strlen(s);
    int32_t quotes = 0, lines = 0;
    string::scan_units(p, end, 1, &quotes, &lines);
    EXPECT_EQ(quotes, 2);
    EXPECT_EQ(lines, 2);
    const uint8_t* brace = p + 6;
    EXPECT_TRUE(string::brace_closes(brace, end, 1));
    EXPECT_FALSE(string::brace_closes(brace, end - 1, 1));
    EXPECT_TRUE(string::brace_closes(brace + 2, end - 1, 1));
}

// Brace mold escapes from the first "{" that brace_closes rejects, whatever the nesting: every
// text of braces, quotes and letters up to 12 long molds as that rule gives.
TEST(String, MoldBracesAgreeWithBraceCloses) {
    auto reference = [](const std::string& s) {
        auto* p = reinterpret_cast<const uint8_t*>(s.data());
        std::string out = "{";
        int32_t depth = 0;
        bool balanced = true;
        for (size_t i = 0; i < s.size(); i++) {
            const char c = s[i];
            if (c == '{') {
                if (balanced) balanced = string::brace_closes(p + i, p + s.size(), 1);
                if (balanced) depth++;
                out += balanced ? "{" : "^{";
            } else if (c == '}') {
                out += depth > 0 ? "}" : "^}";
                if (depth > 0) depth--;
            } else {
                out += c;
            }
        }
        return out + "}";
    };
    const char alphabet[] = "{}a";
    test::StackScope scope;
    Cell* in = empty(1, 64);  // reused, so the loop allocates nothing
    Cell* out = empty(1, 64);
    for (int32_t code = 0; code < 531441; code += 7) {  // 3^12 texts, every seventh
        std::string s = "\"";
        for (int32_t k = code, len = 0; len < 12 && (len == 0 || k > 0); len++, k /= 3)
            s += alphabet[k % 3];
        string::reset(in);
        string::append_cstr(in, s.c_str());
        string::reset(out);
        string::mold(in, out, false, false, false, nullptr, kNoLimit, 0);
        ASSERT_EQ(utf8(out), reference(s)) << s;
    }
}

TEST(String, Registration) {
    EXPECT_EQ(string::kRecord.id, TypeId::String);
    EXPECT_EQ(string::kRecord.parent, TypeId::Series);
    EXPECT_STREQ(string::kRecord.name, "string!");
    EXPECT_EQ(string::kRecord.form.fn, &string::form);
    EXPECT_EQ(string::kRecord.mold.fn, &string::mold);
    // The shared series! slots come from the parent; math, logic, port slots and put are empty.
    EXPECT_EQ(string::kRecord.append.kind, SlotKind::Own);
    EXPECT_EQ(string::kRecord.pick.kind, SlotKind::Inherited);
    EXPECT_EQ(string::kRecord.put.kind, SlotKind::NotSupported);
    EXPECT_EQ(string::kRecord.add.kind, SlotKind::NotSupported);
}

// A large text through load, concatenation and mold; run once, without the stress mode.
TEST(String, ScaleLargeText) {
    test::StackScope scope;
    std::string in;
    for (int i = 0; i < 20000; i++) in += "abc\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n";
    Cell* s = text(in);
    EXPECT_EQ(string::length(s), 20000 * 7);
    EXPECT_EQ(string::unit_of(s), 4u);
    Cell* out = string::make_at(stack::reserve(), 16);
    string::concatenate(out, s, -1, 0, true, string::Concat::Append);
    EXPECT_EQ(utf8(out), in);
    Cell* m = string::make_at(stack::reserve(), 16);
    string::mold(s, m, false, false, false, nullptr, kNoLimit, 0);
    EXPECT_EQ(string::length(m), 20000 * 8 + 2);
}

}  // namespace
}  // namespace nuv
