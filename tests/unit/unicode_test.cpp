// Unicode codecs: the UTF-8 decoders, encoders, loading with widening, UTF-16LE in and out,
// the conversion cache, widening and Windows-1251.
#include "runtime/unicode.h"

#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using Bytes = std::vector<uint8_t>;
using memory::buf;

std::string hex(const uint8_t* p, size_t n) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; i++) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
        s += b;
    }
    return s;
}
std::string hex(const Bytes& v) { return hex(v.data(), v.size()); }

using test::text;

// A string! cell on the stack over a node.
Cell* over(NodeId node) {
    Cell c{static_cast<uint32_t>(TypeId::String), 0, node, 0};
    return stack::push(&c);
}

TEST(Unicode, FastDecoder) {
    struct Case {
        const char* what;
        Bytes in;
        std::vector<int32_t> want;
    };
    const Case cases[] = {
        {"ASCII", {0x41}, {0x41}},
        {"NUL", {0x00}, {0}},
        {"e acute", {0xC3, 0xA9}, {0xE9}},
        {"euro", {0xE2, 0x82, 0xAC}, {0x20AC}},
        {"U+1F600", {0xF0, 0x9F, 0x98, 0x80}, {0x1F600}},
        {"U+FFFF", {0xEF, 0xBF, 0xBF}, {0xFFFF}},
        {"U+10FFFF", {0xF4, 0x8F, 0xBF, 0xBF}, {0x10FFFF}},
        {"mixed", {0x61, 0xC3, 0xA9, 0x62}, {0x61, 0xE9, 0x62}},
        {"overlong C0 80", {0xC0, 0x80}, {-1, -1}},
        {"overlong E0 80 80", {0xE0, 0x80, 0x80}, {-1, -1}},
        {"overlong F0 80 80 80", {0xF0, 0x80, 0x80, 0x80}, {-1, -1, -1}},
        {"surrogate D800", {0xED, 0xA0, 0x80}, {-1, -1}},
        {"surrogate DC00", {0xED, 0xB0, 0x80}, {-1, -1}},
        {"above 10FFFF", {0xF4, 0x90, 0x80, 0x80}, {-1, -1, -1}},
        {"F5 lead", {0xF5, 0x41}, {-1, 0x41}},
        {"stray continuation", {0x80}, {-1}},
        {"FF", {0xFF}, {-1}},
        // A lead followed by a non-continuation byte: that byte goes with the rejection.
        {"E2 41", {0xE2, 0x41, 0x42}, {-1, 0x42}},
        // The end bound: a sequence cut by the end is rejected without reading past it.
        {"cut E2 82", {0xE2, 0x82}, {-1}},
        {"cut F0", {0xF0}, {-1}},
    };
    for (const Case& c : cases) EXPECT_EQ(test::fast_decode(c.in), c.want) << c.what;
}

TEST(Unicode, FastDecoderStopsAtTheEndBound) {
    // The byte after the bound is a continuation byte that would complete the sequence.
    const uint8_t in[] = {0xE2, 0x82, 0xAC};
    int32_t cp;
    const uint8_t* p = unicode::fast_decode_utf8_char(in, in + 2, &cp);
    EXPECT_EQ(cp, -1);
    EXPECT_EQ(p, in + 2);
}

TEST(Unicode, LenientDecoderReplacesEachIllFormedPart) {
    struct Case {
        const char* what;
        Bytes in;
        Bytes want;
    } cases[] = {
        {"well-formed", {'a', 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}, {'a', 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}},
        {"invalid byte", {0xFF, 'a'}, {0xEF, 0xBF, 0xBD, 'a'}},
        {"stray continuations", {0x80, 0xBF}, {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}},
        {"lead then ASCII keeps the ASCII", {0xE2, 0x82, 'x'}, {0xEF, 0xBF, 0xBD, 'x'}},
        {"overlong", {0xC0, 0xAF}, {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}},
        {"surrogate", {0xED, 0xA0, 0x80}, {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}},
        {"cut at the end", {'a', 0xF0, 0x9F, 0x98}, {'a', 0xEF, 0xBF, 0xBD}},
        {"nul kept", {0x00}, {0x00}},
        {"empty", {}, {}},
    };
    for (const Case& c : cases) {
        const std::string got = unicode::lenient_utf8(c.in.data(), c.in.size());
        EXPECT_EQ(hex(reinterpret_cast<const uint8_t*>(got.data()), got.size()), hex(c.want)) << c.what;
    }
}

TEST(Unicode, CheckedDecoder) {
    struct Case {
        const char* what;
        Bytes in;
        int32_t want;    // -1: incomplete
        size_t length;   // the sequence length on return (for a complete one)
        bool raises;
    };
    const Case cases[] = {
        {"ASCII", {0x41, 0x42}, 0x41, 1, false},
        {"e acute", {0xC3, 0xA9}, 0xE9, 2, false},
        {"euro", {0xE2, 0x82, 0xAC}, 0x20AC, 3, false},
        {"U+1F600", {0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4, false},
        {"U+10FFFF", {0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4, false},
        {"cut E2 82", {0xE2, 0x82}, -1, 0, false},
        {"cut F0 9F 98", {0xF0, 0x9F, 0x98}, -1, 0, false},
        {"overlong C0 80", {0xC0, 0x80}, 0, 0, true},
        {"overlong C1 BF", {0xC1, 0xBF}, 0, 0, true},
        {"overlong E0 80 80", {0xE0, 0x80, 0x80}, 0, 0, true},
        {"overlong F0 80 80 80", {0xF0, 0x80, 0x80, 0x80}, 0, 0, true},
        {"surrogate D800", {0xED, 0xA0, 0x80}, 0, 0, true},
        {"surrogate DC00", {0xED, 0xB0, 0x80}, 0, 0, true},
        {"above 10FFFF", {0xF4, 0x90, 0x80, 0x80}, 0, 0, true},
        {"F8 lead", {0xF8, 0x88, 0x80, 0x80, 0x80}, 0, 0, true},
        {"FF", {0xFF}, 0, 0, true},
        {"80", {0x80}, 0, 0, true},
        {"bad second byte", {0xC3, 0x41}, 0, 0, true},
        {"bad byte before the end", {0xE2, 0x41}, 0, 0, true},
    };
    for (const Case& c : cases) {
        size_t length = c.in.size();
        if (c.raises) {
            EXPECT_RAISES(unicode::utf8_decode_char_checked(c.in.data(), &length), Err::InvalidUtf8)
                << c.what;
            continue;
        }
        int32_t got = unicode::utf8_decode_char_checked(c.in.data(), &length);
        EXPECT_EQ(got, c.want) << c.what;
        if (c.want >= 0) {
            EXPECT_EQ(length, c.length) << c.what;
        }
    }
}

TEST(Unicode, InvalidUtf8CarriesUpToFourBytes) {
    test::StackScope scope;
    const uint8_t in[] = {0xFF, 0x41, 0x42, 0x43, 0x44};
    size_t length = sizeof in;
    EXPECT_RAISES(unicode::utf8_decode_char_checked(in, &length), Err::InvalidUtf8);
    ASSERT_EQ(raised().argc, 1);
    const Cell& arg = raised().args[0];
    EXPECT_EQ(cell::type_of(&arg), TypeId::Binary);
    memory::SeriesBuf* b = buf(cell::node(&arg));
    EXPECT_EQ(hex(b->offset_ptr(), b->used()), "FF 41 42 43");

    const uint8_t short_in[] = {0xC3, 0x28};
    length = sizeof short_in;
    EXPECT_RAISES(unicode::utf8_decode_char_checked(short_in, &length), Err::InvalidUtf8);
    b = buf(cell::node(&raised().args[0]));
    EXPECT_EQ(hex(b->offset_ptr(), b->used()), "C3 28");
}

TEST(Unicode, LengthsAndSkips) {
    const std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
    auto* p = reinterpret_cast<const uint8_t*>(s.data());
    auto* end = p + s.size();
    EXPECT_EQ(unicode::utf8_length(p, end), 5u);
    EXPECT_EQ(unicode::utf8_skip_chars(p, end, 0), p);
    EXPECT_EQ(unicode::utf8_skip_chars(p, end, 2), p + 3);
    EXPECT_EQ(unicode::utf8_skip_chars(p, end, 4), p + 10);
    EXPECT_EQ(unicode::utf8_skip_chars(p, end, 99), end);
    // A sequence cut by the end counts as one and never runs past the end.
    EXPECT_EQ(unicode::utf8_length(p, p + 5), 3u);
    EXPECT_EQ(unicode::utf8_skip_chars(p, p + 5, 9), p + 5);

    struct Lead {
        uint8_t b;
        int want;
    };
    for (Lead c : {Lead{0x41, 0}, Lead{0x80, 0}, Lead{0xBF, 0}, Lead{0xC3, 2}, Lead{0xDF, 2},
                   Lead{0xE2, 3}, Lead{0xEF, 3}, Lead{0xF0, 4}, Lead{0xFF, 4}})
        EXPECT_EQ(unicode::utf8_lead_length(c.b), c.want) << int(c.b);
}

TEST(Unicode, Encoders) {
    struct Case {
        char32_t cp;
        Bytes want;
    };
    const Case cases[] = {
        {0x00, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0xC2, 0x80}},
        {0x7FF, {0xDF, 0xBF}},
        {0x800, {0xE0, 0xA0, 0x80}},
        {0x20AC, {0xE2, 0x82, 0xAC}},
        {0xFFFF, {0xEF, 0xBF, 0xBF}},
        {0x10000, {0xF0, 0x90, 0x80, 0x80}},
        {0x10FFFF, {0xF4, 0x8F, 0xBF, 0xBF}},
    };
    for (const Case& c : cases) {
        uint8_t out[4];
        int n = unicode::utf8_encode_char(c.cp, out);
        EXPECT_EQ(hex(out, static_cast<size_t>(n)), hex(c.want)) << static_cast<uint32_t>(c.cp);
        EXPECT_EQ(unicode::utf8_encoded_size(c.cp), static_cast<int>(c.want.size()));
    }
    uint8_t out[4];
    EXPECT_RAISES(unicode::utf8_encode_char(0x110000, out), Err::InvalidChar);
    EXPECT_EQ(cell::get_int(&raised().args[0]), 0x110000);
    EXPECT_RAISES(unicode::utf8_encoded_size(0x110000), Err::InvalidChar);

    // Bounded: byte k only while room > k.
    uint8_t bounded[4] = {0, 0, 0, 0};
    EXPECT_EQ(unicode::utf8_encode_char_bounded(0x20AC, bounded, 2), 2);
    EXPECT_EQ(hex(bounded, 3), "E2 82 00");
    EXPECT_EQ(unicode::utf8_encode_char_bounded(0x41, bounded, 0), 0);
    EXPECT_EQ(unicode::utf8_encode_char_bounded(0x110000, bounded, 4), 0);

    char16_t u[2];
    EXPECT_EQ(unicode::utf16_encode_char(0x41, u), 1);
    EXPECT_EQ(u[0], 0x41);
    EXPECT_EQ(unicode::utf16_encode_char(0x10000, u), 2);
    EXPECT_EQ(u[0], 0xD800);
    EXPECT_EQ(u[1], 0xDC00);
    EXPECT_EQ(unicode::utf16_encode_char(0x1F600, u), 2);
    EXPECT_EQ(u[0], 0xD83D);
    EXPECT_EQ(u[1], 0xDE00);
    EXPECT_EQ(unicode::utf16_encode_char(0x110000, u), 0);

    char16_t wide[4];
    unicode::ascii_to_utf16("ab\xE9", wide);
    EXPECT_EQ(wide[0], u'a');
    EXPECT_EQ(wide[1], u'b');
    EXPECT_EQ(wide[2], 0xE9);
    EXPECT_EQ(wide[3], 0);
}

TEST(Unicode, SizeOfUnits) {
    const uint8_t latin1[] = {0x41, 0xE9, 0x7F};
    EXPECT_EQ(unicode::utf8_size_of_units(latin1, latin1 + 3, 1), 4u);
    const char16_t ucs2[] = {0x41, 0x20AC, 0xE9};
    auto* p2 = reinterpret_cast<const uint8_t*>(ucs2);
    EXPECT_EQ(unicode::utf8_size_of_units(p2, p2 + 6, 2), 6u);
    const char32_t ucs4[] = {0x1F600, 0x41, 0x110000};
    auto* p4 = reinterpret_cast<const uint8_t*>(ucs4);
    EXPECT_EQ(unicode::utf8_size_of_units(p4, p4 + 8, 4), 5u);
    EXPECT_RAISES(unicode::utf8_size_of_units(p4, p4 + 12, 4), Err::InvalidChar);
}

// ---- load_utf8 ----

struct LoadCase {
    const char* what;
    std::string in;
    bool line_breaks;
    std::string want;  // UTF-8 of the loaded text
    uint32_t unit;
    size_t remainder;
};

TEST(Unicode, LoadUtf8) {
    const LoadCase cases[] = {
        {"ASCII", "abc", false, "abc", 1, 0},
        {"e acute stays unit 1", "\xC3\xA9", false, "\xC3\xA9", 1, 0},
        {"euro gives unit 2", "\xE2\x82\xAC", false, "\xE2\x82\xAC", 2, 0},
        {"U+1F600 gives unit 4", "\xF0\x9F\x98\x80", false, "\xF0\x9F\x98\x80", 4, 0},
        {"unit 1 to 2 keeps earlier text", "a\xC3\xA9\xE2\x82\xAC" "b", false,
         "a\xC3\xA9\xE2\x82\xAC" "b", 2, 0},
        {"unit 2 to 4", "\xE2\x82\xAC\xF0\x9F\x98\x80", false,
         "\xE2\x82\xAC\xF0\x9F\x98\x80", 4, 0},
        {"unit 1 to 4", "ab\xF0\x9F\x98\x80", false, "ab\xF0\x9F\x98\x80", 4, 0},
        {"later ASCII keeps the unit", "\xF0\x9F\x98\x80xyz", false, "\xF0\x9F\x98\x80xyz", 4, 0},
        {"byte-order mark skipped", "\xEF\xBB\xBF" "A", false, "A", 1, 0},
        {"byte-order mark alone", "\xEF\xBB\xBF", false, "", 1, 0},
        {"CR LF with flag", "A\r\nB", true, "A\nB", 1, 0},
        {"lone CR with flag", "A\rB", true, "A\nB", 1, 0},
        {"CR at the end with flag", "A\r", true, "A\n", 1, 0},
        {"CR LF without flag", "A\r\nB", false, "A\r\nB", 1, 0},
        {"lone CR without flag", "A\rB", false, "A\rB", 1, 0},
        {"cut sequence at the end", "ab\xE2\x82", false, "ab", 1, 2},
        {"cut 4-byte sequence", "\xF0\x9F\x98", false, "", 1, 3},
        {"empty", "", false, "", 1, 0},
        {"NUL", std::string("a\0b", 3), false, std::string("a\0b", 3), 1, 0},
    };
    for (const LoadCase& c : cases) {
        test::StackScope scope;
        size_t rest = 99;
        NodeId node = unicode::load_utf8(reinterpret_cast<const uint8_t*>(c.in.data()),
                                         c.in.size(), 0, &rest, c.line_breaks);
        Cell* s = over(node);
        EXPECT_EQ(string::to_std_utf8(s), c.want) << c.what;
        EXPECT_EQ(buf(node)->unit(), c.unit) << c.what;
        EXPECT_EQ(rest, c.remainder) << c.what;
    }
}

TEST(Unicode, LoadUtf8RejectsBadInput) {
    const char* bad[] = {"\xFF", "\x80", "a\xC0\x80", "\xED\xA0\x80", "\xED\xB0\x80",
                         "\xE0\x80\x80", "\xF4\x90\x80\x80", "ok\xE2\x41"};
    for (const char* in : bad) {
        test::StackScope scope;
        EXPECT_RAISES(unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(in), std::strlen(in)),
                      Err::InvalidUtf8)
            << in;
    }
}

TEST(Unicode, LenientDecodingReplacesBadSequences) {
    struct Case {
        const char* what;
        std::string in;
        std::string want;  // UTF-8 of the loaded text
    };
    const std::string r = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"well-formed", "a\xC3\xA9\xE2\x82\xAC", "a\xC3\xA9\xE2\x82\xAC"},
        {"a byte never in UTF-8", "a\xFF" "b", "a" + r + "b"},
        {"a lone continuation", "\x80", r},
        {"the breaking byte starts the next", "ok\xE2\x41", "ok" + r + "A"},
        {"a lead after a cut start", "\xC3\xC3\xA9", r + "\xC3\xA9"},
        {"an overlong form", "\xC0\x80", r + r},
        {"a surrogate", "\xED\xA0\x80", r + r + r},
        {"above U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
        {"cut by the end", "ab\xF0\x9F\x98", "ab" + r},
        {"widened after a replacement", "\xFF\xF0\x9F\x98\x80", r + "\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        NodeId node =
            unicode::decode_utf8_lenient(reinterpret_cast<const uint8_t*>(c.in.data()), c.in.size());
        EXPECT_EQ(string::to_std_utf8(over(node)), c.want) << c.what;
    }
}

TEST(Unicode, LoadUtf8IntoAnExistingBuffer) {
    test::StackScope scope;
    // The destination's unit is kept and its old content replaced.
    Cell* s = string::make_at_unit(stack::reserve(), 4, 2);
    string::append_cstr(s, "old text that is long");
    const std::string in = "new \xC3\xA9";
    unicode::load_utf8_into(reinterpret_cast<const uint8_t*>(in.data()), in.size(), s, nullptr);
    EXPECT_EQ(string::to_std_utf8(s), in);
    EXPECT_EQ(string::unit_of(s), 2u);

    // A unit-1 destination smaller than the input grows.
    Cell* t = string::make_at(stack::reserve(), 1);
    const std::string big(200, 'x');
    unicode::load_utf8_into(reinterpret_cast<const uint8_t*>(big.data()), big.size(), t, nullptr);
    EXPECT_EQ(string::to_std_utf8(t), big);
}

TEST(Unicode, LoadUtf8FromASeries) {
    test::StackScope scope;
    // The source lies in a series buffer that every allocation may move.
    Cell* src = text("x\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\xA9" "end");
    int32_t n = -1;
    NodeId cache = unicode::string_to_utf8_part(src, &n, false);
    std::string utf8(reinterpret_cast<const char*>(buf(cache)->data()), static_cast<size_t>(n));
    NodeId node = unicode::load_utf8_series(cache, 0, static_cast<size_t>(n), 0, nullptr, false);
    EXPECT_EQ(string::to_std_utf8(over(node)), utf8);
}

TEST(Unicode, LoadUtf8GrowsWideBuffers) {
    test::StackScope scope;
    // Many wide characters after the widening: the full-buffer growth path.
    std::string in = "a";
    for (int i = 0; i < 300; i++) in += "\xE2\x82\xAC";
    for (int i = 0; i < 300; i++) in += "\xF0\x9F\x98\x80";
    NodeId node = unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(in.data()), in.size());
    Cell* s = over(node);
    EXPECT_EQ(string::length(s), 601);
    EXPECT_EQ(string::unit_of(s), 4u);
    EXPECT_EQ(string::to_std_utf8(s), in);
}

// ---- Widening ----

TEST(Unicode, WidenKeepsTheText) {
    struct Case {
        uint32_t from, to;
    };
    for (Case c : {Case{1, 2}, Case{1, 4}, Case{2, 4}}) {
        test::StackScope scope;
        Cell* s = string::make_at_unit(stack::reserve(), 3, c.from);
        const char32_t cps[] = {0x41, 0xE9, c.from == 2 ? char32_t{0x20AC} : char32_t{0xFF}};
        for (char32_t cp : cps) string::append_char(cell::node(s), cp);
        ASSERT_EQ(string::unit_of(s), c.from);
        memory::SeriesBuf* b = unicode::widen(cell::node(s), c.to);
        EXPECT_EQ(b, buf(cell::node(s)));
        EXPECT_EQ(b->unit(), c.to);
        EXPECT_EQ(b->used(), 3u * c.to);
        EXPECT_GE(b->size - b->offset, 4u * c.to);  // room for one more unit
        for (int i = 0; i < 3; i++) EXPECT_EQ(string::char_at(s, i), cps[i]);
    }
}

// ---- UTF-16LE ----

TEST(Unicode, Utf16UnitScan) {
    const char16_t a[] = {u'A', u'B'};
    const char16_t b[] = {u'A', 0xAC20};
    const char16_t c[] = {0xAC20, 0xD83D, 0xDE00};
    const char16_t d[] = {0xDC00};
    EXPECT_EQ(unicode::utf16_unit_scan(a, 2), 1u);
    EXPECT_EQ(unicode::utf16_unit_scan(b, 2), 2u);
    EXPECT_EQ(unicode::utf16_unit_scan(c, 3), 4u);
    EXPECT_EQ(unicode::utf16_unit_scan(d, 1), 4u);
}

TEST(Unicode, LoadUtf16le) {
    struct Case {
        const char* what;
        Bytes in;
        bool line_breaks;
        std::vector<char32_t> want;
        uint32_t unit;
    };
    const Case cases[] = {
        {"A", {0x41, 0x00}, false, {0x41}, 1},
        {"U+AC20", {0x20, 0xAC}, false, {0xAC20}, 2},
        {"pair", {0x3D, 0xD8, 0x00, 0xDE}, false, {0x1F600}, 4},
        {"lone low surrogate", {0x00, 0xDC}, false, {0xDC00}, 4},
        {"high then A", {0x3D, 0xD8, 0x41, 0x00}, false, {0xFFFD, 0x41}, 4},
        {"high at the end", {0x41, 0x00, 0x3D, 0xD8}, false, {0x41, 0xFFFD}, 4},
        {"two highs", {0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}, false, {0xFFFD, 0x1F600}, 4},
        {"CR dropped", {0x41, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0x0D, 0x00}, true, {0x41, 0x0A}, 1},
        {"CR kept", {0x0D, 0x00, 0x0A, 0x00}, false, {0x0D, 0x0A}, 1},
        {"empty", {}, false, {}, 1},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        std::vector<char16_t> units(c.in.size() / 2);
        if (!c.in.empty()) std::memcpy(units.data(), c.in.data(), c.in.size());
        NodeId node = unicode::load_utf16le(units.data(), units.size(), nullptr, c.line_breaks);
        Cell* s = over(node);
        EXPECT_EQ(buf(node)->unit(), c.unit) << c.what;
        EXPECT_TRUE(buf(node)->flags & memory::kUtf16Loaded) << c.what;
        ASSERT_EQ(string::length(s), static_cast<int32_t>(c.want.size())) << c.what;
        for (size_t i = 0; i < c.want.size(); i++)
            EXPECT_EQ(string::char_at(s, static_cast<int32_t>(i)), c.want[i]) << c.what << " " << i;
    }
}

TEST(Unicode, LoadUtf16leFromTheConversionCache) {
    test::StackScope scope;
    Cell* s = text("abc");
    // The OS writes its answer into the cell's cache; the cell's buffer receives it.
    auto* out = reinterpret_cast<char16_t*>(unicode::scratch_buffer_reserve(s, 8));
    out[0] = 0x20AC;
    out[1] = u'x';
    out[2] = 0xD83D;
    out[3] = 0xDE00;
    unicode::load_utf16le(nullptr, 4, s, false);
    EXPECT_EQ(string::to_std_utf8(s), "\xE2\x82\xAC" "x\xF0\x9F\x98\x80");
    EXPECT_EQ(string::unit_of(s), 4u);
}

TEST(Unicode, ToUtf16) {
    test::StackScope scope;
    Cell* s = text("a\nb");
    int32_t count = -1;
    const char16_t* out = unicode::string_to_utf16_part(s, &count, true);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(hex(reinterpret_cast<const uint8_t*>(out), 10), "61 00 0D 00 0A 00 62 00 00 00");

    // Without the flag no CR; a character limit.
    count = 2;
    out = unicode::string_to_utf16_part(s, &count, false);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(hex(reinterpret_cast<const uint8_t*>(out), 6), "61 00 0A 00 00 00");

    // U+10000 becomes a surrogate pair; the reserved room covers it.
    Cell* wide = text("\xF0\x90\x80\x80" "\xF0\x90\x80\x80");
    out = unicode::string_to_utf16(wide);
    EXPECT_EQ(hex(reinterpret_cast<const uint8_t*>(out), 10), "00 D8 00 DC 00 D8 00 DC 00 00");
    EXPECT_GE(buf(wide->w3)->size, 10u);

    // A value beyond U+10FFFF gives no text.
    Cell* bad = string::make_at_unit(stack::reserve(), 2, 4);
    string::append_char(cell::node(bad), U'a');
    string::write_char(cell::node(bad), 0, 0x110000);
    EXPECT_EQ(unicode::string_to_utf16(bad), nullptr);
}

TEST(Unicode, ToUtf8AndTheConversionCache) {
    test::StackScope scope;
    Cell* s = text("a\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    int32_t length = -1;
    const char* out = unicode::string_to_utf8(s, &length);
    EXPECT_EQ(std::string(out), "a\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(length, 11);
    const NodeId cache = s->w3;
    ASSERT_NE(cache, 0u);
    const size_t size = buf(cache)->size;

    length = -1;
    out = unicode::string_to_utf8_ptr(s, &length, true);
    EXPECT_EQ(std::string(out), "a\r\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(length, 12);

    // Reused, never shrunk, while the text fits.
    length = 2;
    out = unicode::string_to_utf8(s, &length);
    EXPECT_EQ(std::string(out), "a\n");
    EXPECT_EQ(s->w3, cache);
    EXPECT_EQ(buf(cache)->size, size);

    // From the head, not the buffer start.
    cell::set_head(s, 2);
    length = -1;
    EXPECT_EQ(std::string(unicode::string_to_utf8(s, &length)),
              "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(Unicode, WriteUtf8ToCallerMemory) {
    test::StackScope scope;
    Cell* s = text("a\xE2\x82\xAC" "b");
    uint8_t out[16];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(unicode::string_write_utf8(s, out, -1, true), 5u);
    EXPECT_EQ(hex(out, 6), "61 E2 82 AC 62 00");
    EXPECT_EQ(unicode::string_write_utf8(s, out, 1, false), 1u);

    std::memset(out, 0xEE, sizeof out);
    // Room 3: "a" fits, the euro sign is cut after two bytes, "b" writes nothing.
    EXPECT_EQ(unicode::string_write_utf8_bounded(s, out, 3, 0, false), 3u);
    EXPECT_EQ(hex(out, 4), "61 E2 82 EE");
    EXPECT_EQ(unicode::string_write_utf8_bounded(s, out, 16, 1, true), 1u);
    EXPECT_EQ(hex(out, 2), "61 00");
}

TEST(Unicode, Cp1251) {
    struct Case {
        uint8_t byte;
        char32_t want;
    };
    for (Case c : {Case{0x41, 0x41}, Case{0x80, 0x0402}, Case{0x88, 0x20AC}, Case{0x98, 0x0098},
                   Case{0xA0, 0x00A0}, Case{0xB9, 0x2116}, Case{0xC0, 0x0410}, Case{0xFF, 0x044F}})
        EXPECT_EQ(unicode::cp1251_to_unicode(c.byte), c.want) << int(c.byte);

    test::StackScope scope;
    const uint8_t in[] = {'A', '\r', '\n', 0xC0, '\r', 0xE0};
    NodeId node = unicode::load_cp1251(in, sizeof in, nullptr, true);
    Cell* s = over(node);
    EXPECT_EQ(string::unit_of(s), 2u);
    EXPECT_EQ(string::to_std_utf8(s), "A\n\xD0\x90\n\xD0\xB0");
}

}  // namespace
}  // namespace nuv
