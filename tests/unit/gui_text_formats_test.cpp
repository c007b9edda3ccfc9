// Text formats made from font objects (cached in their state, released by the collector), their
// alignment and spacing, layouts, and text drawn on a context with a font's colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "gui/backend/dpi.h"
#include "gui/backend/text_formats.h"
#include "host/gfx/bitmap.h"
#include "host/win/cairo_lib.h"
#include "runtime/collector.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui::backend {
namespace {

namespace gfx = host::gfx;
// Evaluates as a block's expression does: what it makes stops being a root at the end.
std::string eval_text(const std::string& source) {
    const collector::FreshScope fresh;
    return test::eval_text(source);
}

const Cell* global(const char* name) { return context::global_slot(symbol::make_cstr(name)); }

constexpr const char* kFontFields = "name: size: style: angle: color: anti-alias?: shadow: state: parent: none";

// The format of a font made from the text's fields, copied out.
gfx::TextFormat format_of(const std::string& fields) {
    EXPECT_EQ(eval_text(std::string("tf-font: make object! [") + kFontFields + "] tf-font: make tf-font [" + fields +
                        "] true"),
              "true");
    // As between two expressions of a block, the nodes made here stop being roots at the end.
    const collector::FreshScope fresh;
    bool default_used = true;
    const gfx::TextFormat* f = make_text_format(global("tf-font"), &default_used);
    EXPECT_FALSE(default_used);
    return *f;
}

TEST(GuiTextFormats, FontFieldsMakeTheFormatWithDefaultsForBadValues) {
    std::string name;
    int32_t size = 0;
    default_font(&name, &size);
    const float default_px = gfx::points_to_pixels(static_cast<float>(size));
    struct Row {
        const char* fields;
        const char* family;  // null: the default name
        float px;            // 0: the default size
        int32_t weight;
        bool italic;
    };
    const Row rows[] = {
        {"name: \"DejaVu Serif\" size: 12", "DejaVu Serif", 16, 400, false},
        {"size: 0", nullptr, 0, 400, false},
        {"size: -3", nullptr, 0, 400, false},
        {"size: 12.5", nullptr, 0, 400, false},
        {"style: 'bold", nullptr, 0, 700, false},
        {"style: [italic underline bold]", nullptr, 0, 700, true},
        {"style: 'strange", nullptr, 0, 400, false},
        {"name: 5", nullptr, 0, 400, false},
        {"name: \"0123456789abcdefghijklmnopqrstuvwxyz°é©x\"", "0123456789abcdefghijklmnopqrstu", 0, 400, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fields);
        const gfx::TextFormat f = format_of(row.fields);
        EXPECT_EQ(f.family, row.family ? row.family : name);
        EXPECT_FLOAT_EQ(f.size, row.px ? row.px : default_px);
        EXPECT_EQ(f.weight, row.weight);
        EXPECT_EQ(f.italic, row.italic);
    }
    bool default_used = false;
    const Cell none = test::int_cell(0);
    const gfx::TextFormat* f = make_text_format(&none, &default_used);
    EXPECT_TRUE(default_used);
    EXPECT_EQ(f->family, name);
}

TEST(GuiTextFormats, TheFormatIsCachedInTheStateAndReleasedWithTheFont) {
    format_of("size: 20");
    EXPECT_EQ(eval_text("recycle true"), "true");
    const int32_t held = text_format_count();  // this font's format among them
    bool default_used = false;
    const gfx::TextFormat* first = make_text_format(global("tf-font"), &default_used);
    EXPECT_EQ(make_text_format(global("tf-font"), &default_used), first);
    EXPECT_EQ(text_format_count(), held);
    // The host fonts come first (at the current DPI and at 96), then the format.
    EXPECT_EQ(eval_text("s: tf-font/state reduce [length? s type? s/1 type? s/2 type? s/3]"),
              "[3 handle! handle! handle!]");
    // A state that is no block is made again, with a new format.
    EXPECT_EQ(eval_text("tf-font/state: 7 true"), "true");
    {
        const collector::FreshScope fresh;
        make_text_format(global("tf-font"), &default_used);
    }
    EXPECT_EQ(eval_text("type? tf-font/state/2"), "handle!");
    EXPECT_EQ(eval_text("tf-font: s: none recycle true"), "true");
    EXPECT_EQ(text_format_count(), held - 1);
}

TEST(GuiTextFormats, ParagraphFlagsSetAlignmentAndWrapping) {
    struct Row {
        uint32_t flags;
        gfx::TextAlign align;
        gfx::ParagraphAlign paragraph;
        bool wrap;
    };
    const Row rows[] = {
        {0, gfx::TextAlign::leading, gfx::ParagraphAlign::near, false},
        {16, gfx::TextAlign::leading, gfx::ParagraphAlign::near, true},
        {21, gfx::TextAlign::center, gfx::ParagraphAlign::center, true},
        {kAlignRight | kAlignBottom, gfx::TextAlign::trailing, gfx::ParagraphAlign::far, false},
    };
    for (const Row& row : rows) {
        gfx::TextFormat f;
        set_text_alignment(&f, row.flags);
        EXPECT_EQ(f.align, row.align) << row.flags;
        EXPECT_EQ(f.paragraph, row.paragraph) << row.flags;
        EXPECT_EQ(f.wrap, row.wrap) << row.flags;
    }
}

TEST(GuiTextFormats, TabStopsAndLineSpacingTakeNumbersOnly) {
    gfx::TextFormat f;
    Cell v = test::int_cell(40);
    set_tab_stop(&f, &v);
    EXPECT_EQ(f.tab_stop, 40);
    v = test::int_cell(-5);
    set_tab_stop(&f, &v);
    EXPECT_EQ(f.tab_stop, 40);

    set_text_line_spacing(&f, nullptr);
    const float line = f.line_spacing;
    EXPECT_GT(line, 0);
    EXPECT_GT(f.baseline, 0);
    EXPECT_LT(f.baseline, line);
    v = test::int_cell(100);
    set_text_line_spacing(&f, &v);
    EXPECT_EQ(f.line_spacing, 100);
    v = test::int_cell(1);
    set_text_line_spacing(&f, &v);
    EXPECT_EQ(f.line_spacing, line);
    const Cell text = *test::text("x");
    set_text_line_spacing(&f, &text);
    EXPECT_EQ(f.line_spacing, line);
}

// The rows the text's ink covers, drawn in red on a clear 200 x 60 bitmap in (20, 10)-(120, 50);
// -1 when some ink fell outside the rectangle or was not the font's red.
int32_t ink_rows(const Cell* text, const Cell* font) {
    std::unique_ptr<gfx::Bitmap> bitmap = gfx::Bitmap::create(200, 60);
    const host::win::CairoLib* c = host::win::cairo_lib();
    cairo_t* dc = c->create(bitmap->surface());
    const bool drawn = draw_text_on_dc(dc, text, font, kCenteredFlags, {20, 10, 120, 50});
    c->destroy(dc);
    if (!drawn) return 0;
    int32_t top = 60, bottom = -1;
    for (int y = 0; y < 60; y++)
        for (int x = 0; x < 200; x++) {
            const uint32_t p = bitmap->pixel(x, y);
            if (!p) continue;
            if (x < 20 || x >= 120 || y < 10 || y >= 50 || (p & 0x0000FFFF) != 0) return -1;
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    return bottom < top ? 0 : bottom - top + 1;
}

TEST(GuiTextFormats, TextDrawnOnAContextTakesTheFontColourWithinTheRectangleAtTheDpi) {
    test::StackScope scope;
    ASSERT_EQ(eval_text(std::string("tf-red: make object! [") + kFontFields + "] tf-red/color: 255.0.0 tf-red/size: 10 true"),
              "true");
    Cell* text = test::text("MMMMMMMMMMMMMMMMMMMMMMMM");
    const int32_t at_96 = ink_rows(text, global("tf-red"));
    EXPECT_GT(at_96, 5);
    dpi::set_current(192);
    const int32_t at_192 = ink_rows(text, global("tf-red"));
    dpi::set_current(96);
    EXPECT_GE(at_192, at_96 * 2 - 3);
    EXPECT_LE(at_192, at_96 * 2 + 3);
    EXPECT_FALSE(draw_text_on_dc(nullptr, text, global("tf-red"), 0, {0, 0, 10, 10}));
}

TEST(GuiTextFormats, LayoutBoxesBelowOneAreUnbounded) {
    gfx::TextFormat f;
    Cell* text = test::text("a b c d e f g h");
    const auto wide = create_text_layout(text, f, 0, 0);
    EXPECT_EQ(wide->metrics().line_count, 1u);
    const auto narrow = create_text_layout(text, f, 5, 0);
    EXPECT_GT(narrow->metrics().line_count, 1u);
    const Cell number = test::int_cell(3);
    EXPECT_EQ(create_text_layout(&number, f, 0, 0)->length(), 0u);
}

}  // namespace
}  // namespace nuv::gui::backend
