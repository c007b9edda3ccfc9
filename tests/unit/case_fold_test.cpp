// Case folding: single code points in and above the BMP, and the in-place case change of char!
// and text values (units, widening, /part).
#include "runtime/case_fold.h"

#include <iterator>
#include <string>

#include "runtime/memory.h"
#include "runtime/unicode_tables.inc"
#include "tests/unit/support.h"

namespace nuv {
namespace {

// The tables come from runtime-init, which the test process runs once.
class CaseFold : public ::testing::Test {
protected:
    test::StackScope scope;
};

using test::hex;

TEST_F(CaseFold, CodePoints) {
    struct Case {
        char32_t cp;
        char32_t upper;
        char32_t lower;
    };
    const Case cases[] = {
        {U'a', U'A', U'a'},
        {U'A', U'A', U'a'},
        {U'z', U'Z', U'z'},
        {U'1', U'1', U'1'},
        {0x0000, 0x0000, 0x0000},
        {0x00DF, 0x00DF, 0x00DF},    // sharp s: no simple upper case
        {0x00FF, 0x0178, 0x00FF},    // leaves Latin-1
        {0x0178, 0x0178, 0x00FF},
        {0x00B5, 0x039C, 0x00B5},    // micro sign
        {0x00C0, 0x00C0, 0x00E0},
        {0x0130, 0x0130, 0x0069},    // dotted capital I lowers to plain i
        {0x0131, 0x0049, 0x0131},    // dotless i
        {0x017F, 0x0053, 0x017F},    // long s
        {0x01C5, 0x01C4, 0x01C6},    // title-case digraph
        {0x03C2, 0x03A3, 0x03C2},    // final sigma
        {0x1E9E, 0x1E9E, 0x00DF},    // capital sharp s
        {0x212A, 0x212A, 0x006B},    // Kelvin sign
        {0x10D0, 0x1C90, 0x10D0},    // Georgian
        {0xAB70, 0x13A0, 0xAB70},    // Cherokee small letter
        {0xFF5A, 0xFF3A, 0xFF5A},    // last BMP upper-case pair
        {0xFF3A, 0xFF3A, 0xFF5A},    // last BMP lower-case pair
        {0xFFFF, 0xFFFF, 0xFFFF},
        {0x10000, 0x10000, 0x10000},
        {0x10428, 0x10400, 0x10428}, // first pairs above U+FFFF
        {0x10400, 0x10400, 0x10428},
        {0x10450, 0x10450, 0x10450}, // between pairs, uncased
        {0x1D400, 0x1D400, 0x1D400},
        {0x1E943, 0x1E921, 0x1E943}, // last pairs
        {0x1E921, 0x1E921, 0x1E943},
        {0x1F600, 0x1F600, 0x1F600}, // above the last pair
        {0x10FFFF, 0x10FFFF, 0x10FFFF},
        {0x110000, 0x110000, 0x110000},
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
        {0x10570, 0x10570, 0x10597}, // Vithkuqi (Unicode 14)
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex(case_fold::to_upper(c.cp)), hex(c.upper)) << "to_upper " << hex(c.cp);
        EXPECT_EQ(hex(case_fold::to_lower(c.cp)), hex(c.lower)) << "to_lower " << hex(c.cp);
        EXPECT_EQ(case_fold::fold(c.cp, true), c.upper) << hex(c.cp);
        EXPECT_EQ(case_fold::fold(c.cp, false), c.lower) << hex(c.cp);
        if (c.cp <= 0xFFFF) {
            EXPECT_EQ(case_fold::to_upper_fast(c.cp), c.upper) << hex(c.cp);
        }
        char32_t toggled = c.upper != c.cp ? c.upper : c.lower;
        EXPECT_EQ(hex(case_fold::toggle(c.cp)), hex(toggled)) << "toggle " << hex(c.cp);
    }
}

TEST_F(CaseFold, TablesHaveTheFixedEnds) {
    namespace t = unicode_tables;
    struct Case {
        const char* what;
        const char32_t (*first)[2];
        const char32_t (*last)[2];
        char32_t from0, to0, from1, to1;
    };
    const Case cases[] = {
        {"upper BMP", std::begin(t::kUpperBmp), std::end(t::kUpperBmp) - 1,
         0x0061, 0x0041, 0xFF5A, 0xFF3A},
        {"lower BMP", std::begin(t::kLowerBmp), std::end(t::kLowerBmp) - 1,
         0x0041, 0x0061, 0xFF3A, 0xFF5A},
        {"upper astral", std::begin(t::kUpperAstral), std::end(t::kUpperAstral) - 1,
         0x10428, 0x10400, 0x1E943, 0x1E921},
        {"lower astral", std::begin(t::kLowerAstral), std::end(t::kLowerAstral) - 1,
         0x10400, 0x10428, 0x1E921, 0x1E943},
    };
    for (const Case& c : cases) {
        EXPECT_EQ((*c.first)[0], c.from0) << c.what;
        EXPECT_EQ((*c.first)[1], c.to0) << c.what;
        EXPECT_EQ((*c.last)[0], c.from1) << c.what;
        EXPECT_EQ((*c.last)[1], c.to1) << c.what;
    }
}

// A text value of `type` holding `text` in `unit`-byte units, on the argument stack.
Cell* push_text(std::u32string_view text, uint32_t unit, int32_t head = 0,
                TypeId type = TypeId::String) {
    NodeId node = memory::alloc_units(text.size(), unit);
    memory::SeriesBuf* b = memory::buf(node);
    for (char32_t cp : text) {
        uint8_t* at = b->tail_ptr();
        for (uint32_t i = 0; i < unit; i++) at[i] = static_cast<uint8_t>(cp >> (8 * i));
        b->tail += unit;
    }
    Cell c{static_cast<uint32_t>(type), static_cast<uint32_t>(head), node, 0};
    return stack::push(&c);
}

// A second position in the same series, on the argument stack.
Cell* push_position(const Cell* text, int32_t head) {
    Cell c = *text;
    cell::set_head(&c, head);
    return stack::push(&c);
}

Cell* push_int(int32_t n) {
    Cell c{static_cast<uint32_t>(TypeId::Integer), 0, static_cast<uint32_t>(n), 0};
    return stack::push(&c);
}

// Every unit of the buffer, from its offset to its tail.
std::u32string units(const Cell* text) {
    memory::SeriesBuf* b = memory::buf_of(text);
    std::u32string out;
    for (size_t at = b->offset; at < b->tail; at += b->unit()) {
        uint32_t v = 0;
        for (uint32_t i = 0; i < b->unit(); i++) v |= uint32_t{b->data()[at + i]} << (8 * i);
        out += static_cast<char32_t>(v);
    }
    return out;
}

std::string show(std::u32string_view s) {
    std::string out;
    for (char32_t c : s) out += (c >= 0x20 && c < 0x7F) ? std::string(1, char(c)) : hex(c);
    return out;
}

TEST_F(CaseFold, ChangeCaseOfText) {
    enum Part { None, Count, Position };
    struct Case {
        const char* what;
        std::u32string_view text;
        uint32_t unit;
        int32_t head;
        bool upper;
        Part part;
        int32_t part_value;  // a count, or the head of a position in the same series
        std::u32string_view want;
        uint32_t want_unit;
        int32_t want_head;
    };
    const Case cases[] = {
        {"whole", U"hello", 1, 0, true, None, 0, U"HELLO", 1, 0},
        {"lower", U"HeLLo World", 1, 0, false, None, 0, U"hello world", 1, 0},
        {"Latin-1 lower stays unit 1", U"\u00C0\u00C9", 1, 0, false, None, 0, U"\u00E0\u00E9", 1,
         0},
        {"y-diaeresis widens", U"\u00FF", 1, 0, true, None, 0, U"\u0178", 2, 0},
        {"widening midway", U"a\u00FFb\u00B5", 1, 0, true, None, 0, U"A\u0178B\u039C", 2, 0},
        {"from the head", U"abcdef", 1, 3, true, None, 0, U"abcDEF", 1, 3},
        {"part 2", U"abcdef", 1, 0, true, Count, 2, U"ABcdef", 1, 0},
        {"part beyond the tail", U"abcdef", 1, 2, true, Count, 10, U"abCDEF", 1, 2},
        {"part 0", U"abcdef", 1, 0, true, Count, 0, U"abcdef", 1, 0},
        {"negative part", U"abcdef", 1, 0, true, Count, -3, U"abcdef", 1, 0},
        {"part position after the head", U"abcdef", 1, 1, true, Position, 4, U"aBCDef", 1, 1},
        {"part position before the head", U"abcdef", 1, 3, true, Position, 1, U"abcdef", 1, 3},
        {"part position past the tail", U"abcdef", 1, 4, true, Position, 9, U"abcdEF", 1, 4},
        {"head beyond the tail", U"abc", 1, 9, true, None, 0, U"abc", 1, 3},
        {"unit 2", U"\u0391\u0392\u0393x", 2, 0, false, None, 0, U"\u03B1\u03B2\u03B3x", 2, 0},
        {"unit 4", U"\U00010428a\u00FF", 4, 0, true, None, 0, U"\U00010400A\u0178", 4, 0},
        {"unit 4 lower", U"\U00010400\U0001E921", 4, 0, false, None, 0,
         U"\U00010428\U0001E943", 4, 0},
        {"empty", U"", 1, 0, true, None, 0, U"", 1, 0},
        {"unmapped", U"123 \u00DF!", 1, 0, true, None, 0, U"123 \u00DF!", 1, 0},
    };
    for (const Case& c : cases) {
        test::StackScope local;
        Cell* value = push_text(c.text, c.unit, c.head);
        int32_t part_arg = 0;
        if (c.part == Count) part_arg = static_cast<int32_t>(push_int(c.part_value) - value);
        if (c.part == Position)
            part_arg = static_cast<int32_t>(push_position(value, c.part_value) - value);
        EXPECT_EQ(case_fold::change_case(value, part_arg, c.upper), value) << c.what;
        EXPECT_EQ(show(units(value)), show(c.want)) << c.what;
        EXPECT_EQ(memory::buf_of(value)->unit(), c.want_unit) << c.what;
        EXPECT_EQ(cell::head(value), c.want_head) << c.what;
        EXPECT_TRUE(cell::is(value, TypeId::String)) << c.what;
    }
}

TEST_F(CaseFold, WideningIsSeenThroughEveryCellOfTheBuffer) {
    Cell* value = push_text(U"x\u00FF", 1, 1);
    Cell* other = push_position(value, 0);
    case_fold::change_case(value, 0, true);
    EXPECT_EQ(memory::buf_of(other)->unit(), 2u);
    EXPECT_EQ(show(units(other)), show(U"x\u0178"));
}

TEST_F(CaseFold, ChangeCaseOfChar) {
    struct Case {
        char32_t cp;
        bool upper;
        char32_t want;
    };
    const Case cases[] = {
        {0x41, false, 0x61}, {0x61, true, 0x41},      {0x31, true, 0x31},
        {0xDF, true, 0xDF},  {0xFF, true, 0x178},     {0x1E943, true, 0x1E921},
        {0x10400, false, 0x10428}, {0x1F600, false, 0x1F600},
    };
    for (const Case& c : cases) {
        test::StackScope local;
        Cell ch{static_cast<uint32_t>(TypeId::Char), 0, c.cp, 0};
        Cell* value = stack::push(&ch);
        case_fold::change_case(value, 0, c.upper);
        EXPECT_TRUE(cell::is(value, TypeId::Char));
        EXPECT_EQ(hex(value->w2), hex(c.want)) << hex(c.cp);
    }
}

TEST_F(CaseFold, PartOfAnotherSeriesOrTypeIsRefused) {
    struct Case {
        const char* what;
        TypeId part_type;
        bool same_series;
    };
    const Case cases[] = {
        {"another series", TypeId::String, false},
        {"same series, another type", TypeId::File, true},
        {"a block", TypeId::Block, false},
        {"a none", TypeId::None, false},
    };
    for (const Case& c : cases) {
        test::StackScope local;
        Cell* value = push_text(U"abcdef", 1);
        Cell part{static_cast<uint32_t>(c.part_type), 2, 0, 0};
        if (c.same_series) part.w2 = cell::node(value);
        else if (c.part_type != TypeId::None) part.w2 = memory::alloc_units(4, 1);
        Cell* part_cell = stack::push(&part);
        EXPECT_RAISES(case_fold::change_case(value, static_cast<int32_t>(part_cell - value), true),
                      Err::InvalidRefineArg)
            << c.what;
        EXPECT_EQ(show(units(value)), "abcdef") << c.what;
    }
}

}  // namespace
}  // namespace nuv
