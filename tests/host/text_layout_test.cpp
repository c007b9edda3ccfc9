// Text layouts in DejaVu Sans Mono at 16 pixels: positions in characters, hit tests by position,
// point and range, wrapping, tabs, line spacing, alignment, runs and drawing, and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "host/gfx/text.h"
#include "tests/host/text_support.h"

namespace nuv::host::gfx {
namespace {

TextFormat mono() {
    TextFormat f;
    f.family = "DejaVu Sans Mono";
    f.size = 16;
    return f;
}

std::vector<HitRect> ranges(TextLayout& layout, uint32_t start, uint32_t count) {
    std::vector<HitRect> out;
    layout.hit_test_range(start, count, &out);
    return out;
}

std::vector<LineMetrics> lines_of(TextLayout& layout) {
    std::vector<LineMetrics> out;
    layout.line_metrics(&out);
    return out;
}

float advance() {
    TextLayout m("M", mono(), 0, 0);
    return m.metrics().width;
}

using test::text::Canvas;
using test::text::inked;

bool reddish(uint32_t p) { return (p >> 16 & 0xFF) > 150 && (p >> 8 & 0xFF) < 100 && (p & 0xFF) < 100; }

TEST(TextLayout, CharacterPositionsAreMultiplesOfTheAdvance) {
    const float m = advance();
    ASSERT_GT(m, 5);
    TextLayout layout("abcdefgh", mono(), 0, 0);
    ASSERT_EQ(layout.length(), 8u);
    for (uint32_t k = 0; k <= 8; ++k) {
        EXPECT_FLOAT_EQ(layout.hit_test_position(k, false).x, k * m) << k;
        if (k < 8) {
            EXPECT_FLOAT_EQ(layout.hit_test_position(k, true).x, (k + 1) * m) << k;
            EXPECT_FLOAT_EQ(layout.hit_test_position(k, false).width, m) << k;
        }
    }
    EXPECT_FLOAT_EQ(layout.metrics().width, 8 * m);
    EXPECT_EQ(layout.metrics().line_count, 1u);
}

TEST(TextLayout, PointHitsByCharacterAndClampAtEitherEnd) {
    const float m = advance();
    TextLayout layout("a\xF0\x9F\x98\x80" "b", mono(), 0, 0);  // a, an emoji, b
    ASSERT_EQ(layout.length(), 3u);
    const float after_emoji = layout.hit_test_position(2, false).x;
    EXPECT_FLOAT_EQ(layout.hit_test_position(1, true).x, after_emoji);
    struct Row {
        float x, y;
        uint32_t position;
        bool trailing, inside;
    };
    const Row rows[] = {
        {after_emoji + 1, 5, 2, false, true},   // just past the emoji: b's leading half
        {m * 0.25f, 5, 0, false, true},         // a's left half
        {m * 0.75f, 5, 0, true, true},          // a's right half
        {after_emoji + m * 0.9f, 5, 2, true, true},
        {10000, 5, 2, true, false},             // past the end: the last character, trailing
        {-50, 5, 0, false, false},              // before the start
        {m * 0.25f, -40, 0, false, false},      // above
        {after_emoji + 1, 500, 2, false, false},  // below: the last line
    };
    for (const Row& row : rows) {
        const PointHit hit = layout.hit_test_point(row.x, row.y);
        EXPECT_EQ(hit.position, row.position) << row.x << "," << row.y;
        EXPECT_EQ(hit.trailing, row.trailing) << row.x << "," << row.y;
        EXPECT_EQ(hit.inside, row.inside) << row.x << "," << row.y;
    }
    // Positions past the end are the end.
    const PositionHit end = layout.hit_test_position(3, false);
    const PositionHit past = layout.hit_test_position(1000, true);
    EXPECT_EQ(past.position, 3u);
    EXPECT_FLOAT_EQ(past.x, end.x);
    EXPECT_FLOAT_EQ(end.x, layout.metrics().width);
    const PointHit nan = layout.hit_test_point(std::nanf(""), 5);
    EXPECT_FALSE(nan.inside);
}

TEST(TextLayout, WrapsAtWordsInsideTheBox) {
    const float m = advance();
    struct Row {
        float width;
        bool wrap;
        uint32_t lines;
    };
    const Row rows[] = {{4 * m, true, 2}, {4 * m, false, 1}, {0, true, 1}, {-5, true, 1},
                        {std::numeric_limits<float>::infinity(), true, 1}, {100 * m, true, 1}};
    for (const Row& row : rows) {
        TextFormat f = mono();
        f.wrap = row.wrap;
        TextLayout layout("aaa bbb", f, row.width, 0);
        EXPECT_EQ(layout.metrics().line_count, row.lines) << row.width << " " << row.wrap;
    }
    TextLayout layout("aaa bbb", mono(), 4 * m, 0);
    const std::vector<LineMetrics> lines = lines_of(layout);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].length, 4u);
    EXPECT_EQ(lines[1].length, 3u);
    const PositionHit b = layout.hit_test_position(4, false);
    EXPECT_FLOAT_EQ(b.x, 0);
    EXPECT_FLOAT_EQ(b.y, lines[0].height);
    EXPECT_FLOAT_EQ(layout.metrics().height, lines[0].height + lines[1].height);
}

TEST(TextLayout, TabStopsAndUniformLineSpacing) {
    TextFormat f = mono();
    f.tab_stop = 40;
    TextLayout tabbed("\tx\ty", f, 0, 0);
    EXPECT_FLOAT_EQ(tabbed.hit_test_position(1, false).x, 40);
    EXPECT_FLOAT_EQ(tabbed.hit_test_position(3, false).x, 80);

    f.line_spacing = 30;
    f.baseline = 24;
    TextLayout spaced("one\ntwo\nthree", f, 0, 0);
    const std::vector<LineMetrics> lines = lines_of(spaced);
    ASSERT_EQ(lines.size(), 3u);
    for (const LineMetrics& line : lines) {
        EXPECT_FLOAT_EQ(line.height, 30);
        EXPECT_FLOAT_EQ(line.baseline, 24);
    }
    EXPECT_EQ(lines[0].length, 4u);  // with its line break
    EXPECT_EQ(lines[2].length, 5u);
    EXPECT_FLOAT_EQ(spaced.hit_test_position(4, false).y, 30);
    EXPECT_FLOAT_EQ(spaced.hit_test_position(8, false).y, 60);
    EXPECT_FLOAT_EQ(spaced.metrics().height, 90);
    EXPECT_EQ(spaced.hit_test_point(1, 45).position, 4u);
}

TEST(TextLayout, AlignsInTheBox) {
    const float m = advance();
    struct Row {
        TextAlign align;
        ParagraphAlign paragraph;
        float left, top;
    };
    TextFormat f = mono();
    f.line_spacing = 20;
    const Row rows[] = {{TextAlign::leading, ParagraphAlign::near, 0, 0},
                        {TextAlign::center, ParagraphAlign::center, (100 - 2 * m) / 2, 30},
                        {TextAlign::trailing, ParagraphAlign::far, 100 - 2 * m, 60}};
    for (const Row& row : rows) {
        f.align = row.align;
        f.paragraph = row.paragraph;
        TextLayout layout("ab", f, 100, 80);
        const LayoutMetrics got = layout.metrics();
        EXPECT_FLOAT_EQ(got.left, row.left) << row.left;
        EXPECT_FLOAT_EQ(got.top, row.top) << row.left;
        EXPECT_FLOAT_EQ(layout.hit_test_position(0, false).x, row.left);
        EXPECT_EQ(layout.hit_test_point(row.left + 1, row.top + 1).position, 0u);
        EXPECT_FLOAT_EQ(ranges(layout, 0, 2).at(0).x, row.left);
    }
}

TEST(TextLayout, RangeHitTestGivesARectanglePerLine) {
    const float m = advance();
    TextLayout layout("aaa bbb", mono(), 4 * m, 0);
    const std::vector<HitRect> rects = ranges(layout, 1, 5);  // "aa " then "bb"
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_FLOAT_EQ(rects[0].x, m);
    EXPECT_GE(rects[0].width, 2 * m);  // the space where the line breaks may take no room
    EXPECT_FLOAT_EQ(rects[0].y, 0);
    EXPECT_FLOAT_EQ(rects[1].x, 0);
    EXPECT_FLOAT_EQ(rects[1].width, 2 * m);
    EXPECT_FLOAT_EQ(rects[1].y, rects[0].height);
    // Across a paragraph break: "b", the break, "c".
    TextLayout two("ab\ncd", mono(), 0, 0);
    const std::vector<HitRect> split = ranges(two, 1, 3);
    ASSERT_EQ(split.size(), 2u);
    EXPECT_FLOAT_EQ(split[0].x, m);
    EXPECT_FLOAT_EQ(split[0].width, m);
    EXPECT_FLOAT_EQ(split[1].x, 0);
    EXPECT_FLOAT_EQ(split[1].width, m);
    EXPECT_FLOAT_EQ(split[1].y, split[0].height);
    EXPECT_EQ(ranges(layout, 2, 0).size(), 0u);
    EXPECT_EQ(ranges(layout, 100, 5).size(), 0u);
    EXPECT_EQ(ranges(layout, 5, 1000).size(), 1u);
}

TEST(TextLayout, ColourRunsPaintOnlyInsideTheirRange) {
    const float m = advance();
    Canvas canvas(200, 80);
    TextLayout layout("MMMMMM\nMMM", mono(), 0, 0);
    // Later runs win where they overlap: red over 1-4, then black again over 3; a run from 5 to 8
    // colours both paragraphs.
    ASSERT_TRUE(layout.set_colour(1, 4, {1, 0, 0, 1}));
    ASSERT_TRUE(layout.set_colour(3, 1, {0, 0, 0, 1}));
    ASSERT_TRUE(layout.set_colour(5, 4, {1, 0, 0, 1}));
    EXPECT_FALSE(layout.set_colour(0, 1, {2, 0, 0, 1}));
    ASSERT_TRUE(layout.draw(canvas.dc(), 10, 5));
    const int height = static_cast<int>(lines_of(layout)[0].height);
    struct Row {
        int line, column;
        bool red;
    };
    const Row rows[] = {{0, 0, false}, {0, 1, true}, {0, 2, true}, {0, 3, false}, {0, 4, true},
                        {0, 5, true},  {1, 0, true}, {1, 1, true}, {1, 2, false}};
    for (const Row& row : rows) {
        const int x0 = static_cast<int>(std::ceil(10 + row.column * m)) + 1;
        const int x1 = static_cast<int>(10 + (row.column + 1) * m) - 1;
        const int y0 = 5 + row.line * height, y1 = y0 + height;
        EXPECT_TRUE(canvas.any(x0, x1, y0, y1, inked)) << row.line << "," << row.column;
        EXPECT_EQ(canvas.any(x0, x1, y0, y1, reddish), row.red) << row.line << "," << row.column;
    }
    EXPECT_FALSE(canvas.any(0, 200, 5 + 2 * height + 2, 80, inked));
}

TEST(TextLayout, UnderlineAndStrikethroughRunsMarkOnlyTheirRange) {
    const float m = advance();
    for (const bool underline : {true, false}) {
        Canvas canvas(200, 40);
        TextLayout layout("....", mono(), 0, 0);
        if (underline)
            layout.set_underline(1, 2, true);
        else
            layout.set_strikethrough(1, 2, true);
        ASSERT_TRUE(layout.draw(canvas.dc(), 0, 0));
        const float baseline = lines_of(layout)[0].baseline;
        // Dots sit on the baseline: above it, only the strike-out marks; below it, only the underline.
        const int y0 = underline ? static_cast<int>(baseline) + 1 : 3;
        const int y1 = underline ? 30 : static_cast<int>(baseline) - 3;
        for (int k = 0; k < 4; ++k) {
            const int x0 = static_cast<int>(std::ceil(k * m)) + 1, x1 = static_cast<int>((k + 1) * m) - 1;
            EXPECT_EQ(canvas.any(x0, x1, y0, y1, inked), k == 1 || k == 2) << underline << " " << k;
        }
    }
}

TEST(TextLayout, LaterRunsReplaceWhatTheyCover) {
    const float m = advance();
    TextFormat big = mono();
    big.size = 32;
    TextLayout wide("M", big, 0, 0);
    const float m32 = wide.metrics().width;
    struct Run {
        uint32_t start, count;
        float size;
    };
    struct Row {
        std::vector<Run> runs;
        int big;  // characters of six at 32 pixels
    };
    const Row rows[] = {
        {{{1, 2, 32}, {3, 2, 32}, {0, 6, 16}}, 0},  // one run over two
        {{{0, 6, 32}, {2, 2, 16}}, 4},              // one run cut in two
        {{{0, 3, 32}, {2, 3, 16}}, 2},              // the end of one cut off
        {{{3, 3, 32}, {1, 3, 16}}, 2},              // the start of one cut off
        {{{0, 2, 32}, {4, 2, 32}, {1, 4, 32}}, 6},  // joining two
        {{{5, 100, 32}, {100, 5, 16}}, 1},          // cut to the text
    };
    for (const Row& row : rows) {
        TextLayout layout("MMMMMM", mono(), 0, 0);
        for (const Run& run : row.runs)
            ASSERT_TRUE(layout.set_size(run.start, run.count, run.size));
        EXPECT_FLOAT_EQ(layout.metrics().width, (6 - row.big) * m + row.big * m32) << row.big;
    }
}

TEST(TextLayout, RunsOfSizeWeightAndFamilyChangeTheMeasure) {
    const float m = advance();
    TextLayout sized("MMMM", mono(), 0, 0);
    ASSERT_TRUE(sized.set_size(2, 2, 32));
    EXPECT_NEAR(sized.metrics().width, 2 * m + 2 * advance() * 2, 2.0);
    TextLayout plain("M", mono(), 0, 0);
    EXPECT_GT(lines_of(sized)[0].height, lines_of(plain)[0].height);
    TextLayout family("iiii", mono(), 0, 0);
    ASSERT_TRUE(family.set_family(0, 4, "DejaVu Sans"));
    EXPECT_LT(family.metrics().width, 4 * m);
    TextLayout bad("abc", mono(), 0, 0);
    for (const bool set : {bad.set_size(0, 1, 0), bad.set_size(0, 1, std::nanf("")), bad.set_weight(0, 1, 0),
                           bad.set_weight(0, 1, 1001), bad.set_family(0, 1, "")})
        EXPECT_FALSE(set);
}

TEST(TextLayout, InvalidUtf8IsReplacedAndBadFormatsAreNamed) {
    struct Row {
        const char* text;
        uint32_t length;
    };
    const Row rows[] = {{"a\xFF" "b", 3},          {"\xC0\x80", 2},  // overlong
                        {"\xED\xA0\x80", 3},       // a surrogate
                        {"\xF4\x90\x80\x80", 4},   // past U+10FFFF
                        {"\xE2\x82", 2},           // cut short
                        {"\xE2\x82\xAC", 1}};      // valid
    for (const Row& row : rows) {
        TextLayout layout(row.text, mono(), 0, 0);
        EXPECT_EQ(layout.length(), row.length) << row.text;
        EXPECT_EQ(layout.metrics().line_count, 1u);
    }
    EXPECT_EQ(TextLayout("a\xFF", mono(), 0, 0).text(), "a\xEF\xBF\xBD");

    std::vector<TextFormat> bad(7, mono());
    bad[0].size = 0;
    bad[1].size = std::nanf("");
    bad[2].size = 20000;
    bad[3].weight = 0;
    bad[4].family = "";
    bad[5].tab_stop = -1;
    bad[6].line_spacing = std::numeric_limits<float>::infinity();
    for (const TextFormat& f : bad) {
        EXPECT_FALSE(format_error(f).empty());
        TextLayout layout("abc", f, 0, 0);
        EXPECT_EQ(layout.length(), 0u);
        EXPECT_EQ(layout.metrics().line_count, 0u);
    }
    EXPECT_TRUE(format_error(mono()).empty());
}

TEST(TextLayout, EachParagraphIsLaidOutOnceAndQueriesReuseTheLines) {
    // Lines of "word é\n", "\r\n" and "\r" breaks mixed: Pango sees each paragraph alone.
    constexpr uint32_t kLines = 5000;
    std::string text;
    const char* breaks[] = {"\n", "\r\n", "\r"};
    for (uint32_t i = 0; i < kLines; ++i)
        text += std::string("word \xC3\xA9") + breaks[i % 3];
    const TextCounters before = text_counters();
    TextLayout layout(text, mono(), 0, 0);
    ASSERT_EQ(layout.metrics().line_count, kLines + 1);  // the last break opens an empty line
    for (uint32_t k = 0; k < 2000; ++k) {
        layout.hit_test_position(k * 7, k % 2);
        layout.hit_test_point(3, static_cast<float>(k));
    }
    const TextCounters after = text_counters();
    EXPECT_EQ(after.layouts - before.layouts, kLines + 1);
    EXPECT_EQ(after.bytes - before.bytes, kLines * 7);  // the breaks are not given to Pango
    EXPECT_EQ(after.builds - before.builds, 1u);
    EXPECT_FLOAT_EQ(layout.hit_test_position(layout.length(), false).y, kLines * lines_of(layout)[0].height);
    // A run sets the lines again, reusing the paragraphs.
    layout.set_underline(0, layout.length(), true);
    layout.metrics();
    layout.metrics();
    EXPECT_EQ(text_counters().builds - after.builds, 1u);
    EXPECT_EQ(text_counters().layouts, after.layouts);
}

}  // namespace
}  // namespace nuv::host::gfx
