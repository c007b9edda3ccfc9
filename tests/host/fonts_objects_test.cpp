// Font and brush objects and the text of a device context: records read back, the message font
// at a DPI, DrawText's layout against the extents, and nothing loaded until text is measured.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/maps_support.h"
#include "host/gfx/fonts.h"
#include "host/gfx/text.h"
#include "host/win/displays.h"
#include "tests/host/text_support.h"

namespace nuv::host::gfx {
namespace {

using test::text::Canvas;
using test::text::inked;

HFONT mono(int32_t height = -16) {
    return CreateFont(height, 0, 0, 0, FW_NORMAL, false, false, false, DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0,
                      u"DejaVu Sans Mono");
}

TEST(FontsLoading, MakingFontsLoadsNothingUntilTheFirstMeasurement) {
    ASSERT_FALSE(test::mapped("libpango")) << "this test runs in a process of its own";
    const HFONT font = mono();
    ASSERT_NE(font, 0u);
    ASSERT_NE(GetStockObject(DEFAULT_GUI_FONT), 0u);
    message_font(144);
    LOGFONT back;
    ASSERT_TRUE(GetObject(font, &back));
    TextLayout layout("text", TextFormat{}, 100, 0);  // a layout too is a record until measured
    layout.set_colour(0, 1, {1, 0, 0, 1});
    EXPECT_FALSE(test::mapped("libpango"));
    EXPECT_FALSE(test::mapped("libcairo"));
    EXPECT_EQ(font_counters().font_map_starts, 0);
    EXPECT_FALSE(font_counters().pango_loaded);

    Canvas canvas;
    SelectObject(canvas.dc(), font);
    SIZE size;
    ASSERT_TRUE(GetTextExtentPoint32(canvas.dc(), u"M", &size));
    EXPECT_GT(size.cx, 0);
    EXPECT_TRUE(test::mapped("libpango"));
    EXPECT_TRUE(test::mapped("libcairo"));
    EXPECT_EQ(font_counters().font_map_starts, 1);
    EXPECT_TRUE(font_counters().pango_loaded);
    ASSERT_TRUE(GetTextExtentPoint32(canvas.dc(), u"MM", &size));
    EXPECT_EQ(font_counters().font_map_starts, 1);
}

TEST(FontsObjects, MessageFontFollowsTheDpi) {
    struct Row {
        uint32_t dpi;
        int32_t height;
    };
    for (const Row row : {Row{96, -12}, Row{144, -18}, Row{120, -15}, Row{100, -12}, Row{192, -24}}) {
        const LOGFONT f = message_font(row.dpi);
        EXPECT_EQ(f.lfFaceName, u"DejaVu Sans") << row.dpi;
        EXPECT_EQ(f.lfHeight, row.height) << row.dpi;
    }
}

TEST(FontsObjects, RecordsReadBackAndBadOnesAreRefused) {
    LOGFONT f;
    f.lfHeight = -20;
    f.lfWeight = FW_BOLD;
    f.lfItalic = 1;
    f.lfUnderline = 1;
    f.lfStrikeOut = 1;
    f.lfOrientation = 900;
    f.lfEscapement = 900;
    f.lfQuality = NONANTIALIASED_QUALITY;
    f.lfFaceName = u"DejaVu Serif";
    const HFONT font = CreateFontIndirect(f);
    ASSERT_NE(font, 0u);
    LOGFONT back;
    ASSERT_TRUE(GetObject(font, &back));
    EXPECT_EQ(back, f);

    LOGFONT long_name = f;
    long_name.lfFaceName = std::u16string(32, u'x');
    LOGFONT heavy = f;
    heavy.lfWeight = 1001;
    LOGFONT tall = f;
    tall.lfHeight = -100000;
    for (const LOGFONT& bad : {long_name, heavy, tall})
        EXPECT_EQ(CreateFontIndirect(bad), 0u);

    const HBRUSH brush = CreateSolidBrush(0x00FF8040);
    EXPECT_FALSE(GetObject(brush, &back));
    COLORREF colour;
    ASSERT_TRUE(brush_colour(brush, &colour));
    EXPECT_EQ(colour, 0x00FF8040u);
    EXPECT_FALSE(brush_colour(font, &colour));

    // Ids are never reused; stock objects survive deletion.
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_FALSE(GetObject(font, &back));
    EXPECT_FALSE(DeleteObject(font));
    EXPECT_GT(CreateSolidBrush(0), brush);
    const HFONT stock = GetStockObject(DEFAULT_GUI_FONT);
    EXPECT_TRUE(DeleteObject(stock));
    ASSERT_TRUE(GetObject(stock, &back));
    EXPECT_EQ(back, message_font(96));
    EXPECT_EQ(GetStockObject(0), 0u);
}

TEST(FontsObjects, DcStateStartsAtDefaultsAndAnswersWhatWasBefore) {
    Canvas canvas;
    cairo_t* dc = canvas.dc();
    const HFONT stock = GetStockObject(DEFAULT_GUI_FONT);
    EXPECT_EQ(current_font(dc), stock);
    const HFONT font = mono();
    EXPECT_EQ(SelectObject(dc, font), stock);
    EXPECT_EQ(SelectObject(dc, stock), font);
    EXPECT_EQ(SelectObject(dc, CreateSolidBrush(0)), 0u);
    EXPECT_EQ(current_font(dc), stock);
    EXPECT_EQ(SetTextColor(dc, 0x0000FF), 0u);
    EXPECT_EQ(GetTextColor(dc), 0x0000FFu);
    EXPECT_EQ(SetBkColor(dc, 0x00FF00), 0xFFFFFFu);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, 7), 0);
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    // A deleted font selected in a DC falls back to the stock font.
    SelectObject(dc, font);
    DeleteObject(font);
    EXPECT_EQ(current_font(dc), stock);
    EXPECT_EQ(SelectObject(nullptr, stock), 0u);
}

// The DC brush fills with the colour each device context sets for it, and stays when deleted.
TEST(FontsObjects, TheDcBrushTakesEachContextsColour) {
    Canvas one, two;
    const HBRUSH brush = GetStockObject(DC_BRUSH);
    ASSERT_NE(brush, 0u);
    EXPECT_EQ(GetStockObject(DC_BRUSH), brush);
    EXPECT_EQ(SetDCBrushColor(one.dc(), 0x0000FF), 0xFFFFFFu);
    EXPECT_EQ(GetDCBrushColor(one.dc()), 0x0000FFu);
    EXPECT_TRUE(FillRect(one.dc(), RECT{0, 0, 10, 10}, brush));
    EXPECT_TRUE(FillRect(two.dc(), RECT{0, 0, 10, 10}, brush));
    EXPECT_EQ(one.at(5, 5), 0xFF0000u);  // COLORREF red read back as 0x00RRGGBB
    EXPECT_EQ(two.at(5, 5), 0xFFFFFFu);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(GetStockObject(DC_BRUSH), brush);
    COLORREF colour = 0;
    EXPECT_TRUE(dc_brush_colour(one.dc(), brush, &colour));
    EXPECT_EQ(colour, 0x0000FFu);
}

// A canvas with DejaVu Sans Mono 16 px selected, its "M" and its metrics.
class MonoDc : public testing::Test {
protected:
    void SetUp() override {
        SelectObject(dc, mono());
        ASSERT_TRUE(GetTextExtentPoint32(dc, u"M", &m));
        ASSERT_TRUE(GetTextMetrics(dc, &tm));
    }
    Canvas canvas;
    cairo_t* dc = canvas.dc();
    SIZE m;
    TEXTMETRIC tm;
};

TEST_F(MonoDc, DrawTextCalcRectMatchesTheExtents) {
    EXPECT_EQ(m.cy, tm.tmHeight);

    // Tabs expanded: one line as wide as the tabbed extent.
    RECT r{0, 0, 0, 0};
    const int32_t height = DrawText(dc, u"a\tb", &r, DT_CALCRECT | DT_EXPANDTABS);
    const uint32_t tabbed = GetTabbedTextExtent(dc, u"a\tb", 0, nullptr);
    EXPECT_EQ(height, tm.tmHeight);
    EXPECT_EQ(r.bottom, tm.tmHeight);
    EXPECT_EQ(r.right, static_cast<int32_t>(tabbed & 0xFFFF));
    EXPECT_EQ(static_cast<int32_t>(tabbed >> 16), tm.tmHeight);
    EXPECT_EQ(r.right, 8 * tm.tmAveCharWidth + m.cx);
    const int32_t stop = 40;
    EXPECT_EQ(GetTabbedTextExtent(dc, u"a\tb", 1, &stop) & 0xFFFF, static_cast<uint32_t>(40 + m.cx));
    const int32_t stops[] = {30, 50};  // then every 20
    EXPECT_EQ(GetTabbedTextExtent(dc, u"\t\t\tb", 2, stops) & 0xFFFF, static_cast<uint32_t>(70 + m.cx));

    // Word breaks in a box four M wide: two lines, as wide as the wider.
    RECT box{0, 0, 4 * m.cx, 0};
    EXPECT_EQ(DrawText(dc, u"aaa bbb", &box, DT_CALCRECT | DT_WORDBREAK), 2 * tm.tmHeight);
    EXPECT_EQ(box.right, 3 * m.cx);
    // In a rectangle as wide as can be, word breaks measure the text (not the rectangle).
    RECT wide{0, 0, INT32_MAX, 0};
    EXPECT_EQ(DrawText(dc, u"a\tb", &wide, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK), tm.tmHeight);
    EXPECT_EQ(wide.right, r.right);
    RECT spanning{INT32_MIN, 0, INT32_MAX, 0};
    EXPECT_EQ(DrawText(dc, u"ab", &spanning, DT_CALCRECT | DT_WORDBREAK), tm.tmHeight);
    EXPECT_EQ(spanning.right, INT32_MIN + 2 * m.cx);
    // Without: one line; a & is no character.
    RECT line{0, 0, 4 * m.cx, 0};
    EXPECT_EQ(DrawText(dc, u"aaa &bbb", &line, DT_CALCRECT), tm.tmHeight);
    EXPECT_EQ(line.right, 7 * m.cx);
    RECT lines{0, 0, 0, 0};
    EXPECT_EQ(DrawText(dc, u"a\r\nb\nc", &lines, DT_CALCRECT), 3 * tm.tmHeight);
    EXPECT_EQ(DrawText(dc, u"a\r\nb\nc", &lines, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
}

TEST_F(MonoDc, DrawTextPaintsTheTextAndItsBackground) {
    constexpr COLORREF kRed = 0x0000FF, kBlue = 0xFF0000;
    SetTextColor(dc, kRed);
    SetBkColor(dc, kBlue);
    RECT r{10, 10, 190, 90};
    const int32_t height = DrawText(dc, u"MM", &r, DT_LEFT);
    // The background behind the text, not the rest of the rectangle; red glyphs on it.
    EXPECT_EQ(canvas.at(10 + 2 * m.cx - 1, 10 + height - 1), 0x0000FFu);
    EXPECT_EQ(canvas.at(10 + 2 * m.cx + 2, 12), 0xFFFFFFu);
    EXPECT_EQ(canvas.at(12, 10 + height + 2), 0xFFFFFFu);
    bool red = false;
    for (int x = 10; x < 10 + m.cx; ++x)
        red = red || canvas.at(x, 10 + height / 2) == 0xFF0000u;
    EXPECT_TRUE(red);

    // Transparent, centred, clipped to the rectangle: nothing outside it.
    SetBkMode(dc, TRANSPARENT);
    RECT clipped{0, 60, 30, 100};
    DrawText(dc, u"MMMMMMMMMMMMMMMMMMMMMMMM", &clipped, DT_CENTER);
    for (int x = 30; x < 200; ++x)
        ASSERT_EQ(canvas.at(x, 75), 0xFFFFFFu) << x;
    EXPECT_EQ(canvas.at(15, 62), 0xFFFFFFu);  // no background

    // FillRect with a brush; not with a font.
    EXPECT_TRUE(FillRect(dc, RECT{150, 0, 160, 10}, CreateSolidBrush(0x00FF00)));
    EXPECT_EQ(canvas.at(155, 5), 0x00FF00u);
    EXPECT_FALSE(FillRect(dc, RECT{150, 0, 160, 10}, mono()));
    EXPECT_TRUE(FillRect(dc, RECT{160, 0, 150, 10}, GetSysColorBrush(win::COLOR_BTNFACE)));
    EXPECT_EQ(canvas.at(155, 5), 0x00FF00u);
    COLORREF face;
    ASSERT_TRUE(brush_colour(GetSysColorBrush(win::COLOR_BTNFACE), &face));
    EXPECT_EQ(face, win::GetSysColor(win::COLOR_BTNFACE));
    EXPECT_EQ(GetSysColorBrush(win::COLOR_BTNFACE), GetSysColorBrush(win::COLOR_BTNFACE));
    EXPECT_EQ(GetSysColorBrush(99), 0u);
}

TEST_F(MonoDc, PrefixesUnderlineTheMarkedCharacter) {
    struct Row {
        const char16_t* text;
        uint32_t format;
        int underlined;  // which character's cell has ink below the baseline; -1 none
        int32_t width;   // in advances
    };
    const Row rows[] = {{u"..&..", 0, 2, 4}, {u"&&...", 0, -1, 4}, {u"...&", 0, -1, 3},
                        {u"..&..", DT_NOPREFIX, -1, 5}};
    for (const Row& row : rows) {
        Canvas c;
        SelectObject(c.dc(), mono());
        RECT r{0, 0, 200, 50};
        RECT calc = r;
        DrawText(c.dc(), row.text, &calc, row.format | DT_CALCRECT);
        EXPECT_EQ(calc.right, row.width * m.cx) << static_cast<int>(row.text[0]);
        DrawText(c.dc(), row.text, &r, row.format);
        for (int k = 0; k < row.width; ++k) {
            bool ink = false;
            for (int y = tm.tmAscent + 1; y < tm.tmHeight; ++y)
                for (int x = k * m.cx + 1; x < (k + 1) * m.cx - 1; ++x)
                    ink = ink || c.at(x, y) != 0xFFFFFFu;
            EXPECT_EQ(ink, k == row.underlined) << k;
        }
    }
}

TEST(FontsObjects, HeightsWeightsAndQualityShapeTheText) {
    Canvas canvas;
    cairo_t* dc = canvas.dc();
    struct Row {
        int32_t height;
        int32_t char_height, cell_height;  // 0: not checked
    };
    const Row rows[] = {{-16, 16, 0}, {-30, 30, 0}, {19, 0, 19}, {40, 0, 40}, {0, 12, 0}};
    for (const Row& row : rows) {
        SelectObject(dc, mono(row.height));
        TEXTMETRIC tm;
        ASSERT_TRUE(GetTextMetrics(dc, &tm));
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent) << row.height;
        if (row.char_height) {
            EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, row.char_height) << row.height;
        }
        if (row.cell_height) {
            EXPECT_NEAR(tm.tmHeight, row.cell_height, 1) << row.height;
        }
    }
    SIZE normal, bold;
    SelectObject(dc, CreateFont(-16, 0, 0, 0, FW_NORMAL, false, false, false, 0, 0, 0, 0, 0, u""));
    GetTextExtentPoint32(dc, u"Wide words", &normal);
    SelectObject(dc, CreateFont(-16, 0, 0, 0, FW_BOLD, false, false, false, 0, 0, 0, 0, 0, u""));
    GetTextExtentPoint32(dc, u"Wide words", &bold);
    EXPECT_GT(bold.cx, normal.cx);

    // Aliased glyphs have no grey edge; antialiased ones do.
    for (const uint8_t quality : {NONANTIALIASED_QUALITY, DEFAULT_QUALITY}) {
        Canvas c;
        SelectObject(c.dc(), CreateFont(-40, 0, 0, 0, FW_NORMAL, false, false, false, 0, 0, 0, quality, 0, u""));
        RECT r{0, 0, 200, 100};
        DrawText(c.dc(), u"Ox", &r, 0);
        const bool grey = c.any(0, 200, 0, 100, [](uint32_t p) { return p != 0 && p != 0xFFFFFF; });
        EXPECT_EQ(grey, quality != NONANTIALIASED_QUALITY);
    }
}

TEST_F(MonoDc, SingleLinesAlignVerticallyAndEndInAnEllipsis) {
    SetBkMode(dc, TRANSPARENT);
    struct Row {
        uint32_t format;
        int32_t top;  // where the text's line starts in a rectangle 100 high
    };
    const Row rows[] = {{DT_SINGLELINE, 0},
                        {DT_SINGLELINE | DT_VCENTER, (100 - tm.tmHeight) / 2},
                        {DT_SINGLELINE | DT_BOTTOM, 100 - tm.tmHeight},
                        {DT_VCENTER, 0}};  // only single lines align vertically
    for (const Row& row : rows) {
        Canvas c;
        SelectObject(c.dc(), mono());
        RECT r{0, 0, 200, 100};
        DrawText(c.dc(), u"\u2588", &r, row.format);  // a full block fills its line
        EXPECT_FALSE(c.any(0, 200, 0, std::max(row.top - 1, 0), inked)) << row.format;
        EXPECT_TRUE(c.any(0, 200, row.top + 2, row.top + tm.tmHeight - 2, inked)) << row.format;
        EXPECT_FALSE(c.any(0, 200, row.top + tm.tmHeight + 1, 100, inked)) << row.format;
    }
    RECT cut{0, 0, 5 * m.cx, 0};
    EXPECT_EQ(DrawText(dc, u"MMMMMMMMMM", &cut, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS), tm.tmHeight);
    EXPECT_LE(cut.right, 5 * m.cx);
    // With word breaks the text wraps instead.
    RECT wrapped{0, 0, 5 * m.cx, 0};
    EXPECT_EQ(DrawText(dc, u"MMMM MMMM", &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_END_ELLIPSIS), 2 * tm.tmHeight);
}

}  // namespace
}  // namespace nuv::host::gfx
