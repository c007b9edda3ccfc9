// Character display width: control characters, combining marks, wide and ambiguous characters,
// the table edges, and the range-table lookup itself.
#include "runtime/char_width.h"

#include <iterator>
#include <string>

#include "runtime/unicode_tables.inc"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using test::hex;

TEST(CharWidth, CodePoints) {
    struct Case {
        char32_t cp;
        int width;
        int ambiguous;  // width_ambiguous
    };
    const Case cases[] = {
        {0x0000, 0, 0},    {0x0009, 1, 1},    {0x001F, 1, 1},     {0x0041, 1, 1},    {0x00E7, 1, 1},
        {0x007E, 1, 1},    {0x007F, 1, 1},    {0x009F, 1, 1},     {0x00A0, 1, 1},
        {0x00A1, 1, 2},    {0x00AD, 1, 2},    {0x00E9, 1, 2},     {0x00F7, 1, 2},
        {0x0300, 0, 0},    {0x0301, 0, 0},    {0x036F, 0, 0},     {0x0370, 1, 1},
        {0x0483, 0, 0},    {0x1100, 2, 2},    {0x115F, 2, 2},     {0x1160, 0, 0},
        {0x11FF, 0, 0},    {0x200B, 0, 0},    {0x200D, 0, 0},     {0x2010, 1, 2},
        {0x231A, 2, 2},    {0x3000, 2, 2},    {0x302A, 0, 0},     {0x4E00, 2, 2},
        {0x9FFF, 2, 2},    {0xAC00, 2, 2},    {0xE000, 1, 2},     {0xFE0F, 0, 0},
        {0xFEFF, 0, 0},    {0xFF01, 2, 2},    {0xFF61, 1, 1},     {0xFFFD, 1, 2},
        {0x1F600, 2, 2},   {0x1F1E6, 2, 2},   {0x20000, 2, 2},    {0x2FFFD, 2, 2},
        {0x30000, 2, 2},   {0x3FFFD, 2, 2},   {0x3FFFE, 1, 1},    {0xE0001, 0, 0},
        {0xE0100, 0, 0},   {0xE01EF, 0, 0},   {0xE01F0, 1, 1},    {0xF0000, 1, 2},
        {0x100000, 1, 2},  {0x10FFFD, 1, 2},  {0x10FFFE, 1, 1},   {0x110000, 1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(char_width::width(c.cp), c.width) << hex(c.cp);
        EXPECT_EQ(char_width::width_ambiguous(c.cp), c.ambiguous) << hex(c.cp);
    }
}

TEST(CharWidth, RangeTableLookup) {
    const char32_t table[][2] = {{10, 20}, {30, 30}, {40, 50}};
    struct Case {
        char32_t cp;
        bool in;
    };
    const Case cases[] = {
        {0, false},  {9, false},  {10, true},  {15, true},  {20, true},  {21, false},
        {29, false}, {30, true},  {31, false}, {39, false}, {40, true},  {50, true},
        {51, false}, {0xFFFFFFFF, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(char_width::in_range_table(c.cp, table, std::size(table)), c.in) << hex(c.cp);
    EXPECT_FALSE(char_width::in_range_table(10, table, 0));
    const char32_t one[][2] = {{7, 7}};
    EXPECT_TRUE(char_width::in_range_table(7, one, 1));
    EXPECT_FALSE(char_width::in_range_table(8, one, 1));
}

TEST(CharWidth, TablesHaveTheFixedEnds) {
    namespace t = unicode_tables;
    struct Case {
        const char* what;
        const char32_t (*first)[2];
        const char32_t (*last)[2];
        char32_t first_low, first_high, last_low, last_high;
    };
    const Case cases[] = {
        {"zero-width", std::begin(t::kZeroWidth), std::end(t::kZeroWidth) - 1,
         0x0300, 0x036F, 0xE0100, 0xE01EF},
        {"wide", std::begin(t::kWide), std::end(t::kWide) - 1, 0x1100, 0x115F, 0x30000, 0x3FFFD},
        {"ambiguous", std::begin(t::kAmbiguous), std::end(t::kAmbiguous) - 1,
         0x00A1, 0x00A1, 0x100000, 0x10FFFD},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex((*c.first)[0]), hex(c.first_low)) << c.what;
        EXPECT_EQ(hex((*c.first)[1]), hex(c.first_high)) << c.what;
        EXPECT_EQ(hex((*c.last)[0]), hex(c.last_low)) << c.what;
        EXPECT_EQ(hex((*c.last)[1]), hex(c.last_high)) << c.what;
    }
}

}  // namespace
}  // namespace nuv
