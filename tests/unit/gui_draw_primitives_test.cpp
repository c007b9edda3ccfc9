// The drawing commands on a 100x100 white image through a context made here, with the pen and the
// fill set directly: shapes, line styles, shadows, text and images, and where each lands.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gui/backend/colours.h"
#include "gui/draw/primitives.h"
#include "gui/draw/walk.h"
#include "gui/draw/words.h"
#include "host/gfx/bitmap.h"
#include "runtime/collector.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui::draw {
namespace {

constexpr int32_t kSide = 100;
constexpr uint32_t kRed = 0x0000FF, kBlack = 0;

const Cell* global(const char* name) { return context::global_slot(symbol::make_cstr(name)); }

// A white image drawn on with `commands` (the text of a block), the pen black and the fill as
// given (none when `fill` is negative), with shadows when given.
struct Drawing {
    std::vector<uint8_t> pixels = std::vector<uint8_t>(kSide * kSide * 4, 255);

    // Straight 0xAARRGGBB at (x, y).
    uint32_t at(int32_t x, int32_t y) const {
        uint32_t v;
        std::memcpy(&v, &pixels[(y * kSide + x) * 4], 4);
        return v;
    }
    bool white(int32_t x, int32_t y) const { return at(x, y) == 0xFFFFFFFF; }
    bool red(int32_t x, int32_t y) const { return at(x, y) == 0xFFFF0000; }
    // Darker than white in every channel.
    bool dark(int32_t x, int32_t y) const {
        const uint32_t v = at(x, y);
        return (v & 0xFF) < 200 && (v >> 8 & 0xFF) < 200 && (v >> 16 & 0xFF) < 200;
    }
};

// Evaluates the setup text (which may define words the commands name) before the drawing.
std::string draw_into(Drawing* d, const std::string& commands, int64_t fill = -1, bool pen = true,
                      std::vector<Shadow> shadows = {}, const std::string& setup = "") {
    words::init();
    test::eval_environment();
    const collector::FreshScope fresh;
    EXPECT_EQ(test::eval_text(setup + " prim-cmds: [" + commands + "] true"), "true");
    DrawContext ctx;
    std::unique_ptr<gfx::RenderTarget> target = gfx::RenderTarget::for_pixels(d->pixels.data(), kSide, kSide, kSide * 4);
    target->BeginDraw();
    ctx.target = target.get();
    ctx.s.pen = gfx::CreateSolidColorBrush(backend::color_f(kBlack));
    ctx.s.pen_mode = pen ? kSolid : kOff;
    if (fill >= 0) {
        ctx.s.fill = gfx::CreateSolidColorBrush(backend::color_f(uint32_t(fill)));
        ctx.s.fill_mode = kSolid;
        ctx.s.fill_colour = uint32_t(fill);
    }
    ctx.shadows = std::move(shadows);
    ctx.s.shadow_on = !ctx.shadows.empty();
    std::string outcome = "ok";
    try {
        parse_draw(ctx, *global("prim-cmds"));
    } catch (const Unwind&) {
        outcome = std::string("error ") + err_word(raised().id);
        if (raised().argc > 0) outcome += " " + test::mold_value(raised().args[0]);
    }
    target->EndDraw();
    return outcome;
}

TEST(GuiDrawPrimitives, BoxesCirclesAndArcsFillWhatTheyCover) {
    Drawing a, b, c, d, e;
    EXPECT_EQ(draw_into(&a, "box 10x10 50x50 0", kRed, false), "ok");
    EXPECT_TRUE(a.red(10, 10) && a.red(49, 49));
    EXPECT_TRUE(a.white(50, 50) && a.white(9, 9));
    EXPECT_EQ(draw_into(&b, "box 10x10 50x50 10", kRed, false), "ok");
    EXPECT_TRUE(b.white(11, 11) && b.red(30, 30));
    EXPECT_EQ(draw_into(&c, "circle 50x50 40 10", kRed, false), "ok");
    EXPECT_TRUE(c.red(85, 50) && c.white(50, 85));
    EXPECT_EQ(draw_into(&d, "arc 50x50 30x30 0 90 closed", kRed, false), "ok");
    EXPECT_TRUE(d.red(60, 60) && d.white(40, 60));
    EXPECT_EQ(draw_into(&e, "arc 50x50 30x30 0 90 box 0x0 5x5", kRed, false), "ok");
    EXPECT_TRUE(e.white(60, 60) && e.red(2, 2));
}

struct Same {
    const char* a;
    const char* b;
};

TEST(GuiDrawPrimitives, EquivalentCommandsDrawTheSamePixels) {
    const Same cases[] = {
        {"spline 10x10 90x60", "line 10x10 90x60"},
        {"spline 10x10 90x60 closed", "line 10x10 90x60"},
        {"curve 0x90 45x0 90x90", "curve 0x90 30x30 60x30 90x90"},
        {"circle 50x50 30 20", "ellipse 20x30 60x40"},
        {"arc 50x50 30x20 10 360", "circle 50x50 30 20"},
        {"box 50x50 10x10", "box 10x10 50x50"},
        {"box 10x10 50x50 0", "box 10x10 50x50"},
        {"triangle 10x10 90x10 50x90", "polygon 10x10 90x10 50x90"},
        {"line-width 3 line-width 0 line-width 3 line 0x50 99x50", "line-width 3 line 0x50 99x50"},
        {"line-pattern 5 2 line-pattern line 0x50 99x50", "line 0x50 99x50"},
        {"line-join bogus line-cap bogus polygon 10x10 90x10 50x90", "polygon 10x10 90x10 50x90"},
    };
    for (const Same& c : cases) {
        Drawing a, b;
        EXPECT_EQ(draw_into(&a, c.a, kRed), "ok") << c.a;
        EXPECT_EQ(draw_into(&b, c.b, kRed), "ok") << c.b;
        EXPECT_TRUE(a.pixels == b.pixels) << c.a << " differs from " << c.b;
    }
}

TEST(GuiDrawPrimitives, LineStyles) {
    Drawing hidden, shown, dashed;
    EXPECT_EQ(draw_into(&hidden, "line-width 0 line 0x50 99x50"), "ok");
    EXPECT_TRUE(hidden.white(50, 50));
    EXPECT_EQ(draw_into(&shown, "line-width 0 line-width 2 line 0x50 99x50"), "ok");
    EXPECT_TRUE(shown.dark(50, 50));
    // Dashes and gaps count in line widths: 10 pixels drawn, 4 left.
    EXPECT_EQ(draw_into(&dashed, "line-width 2 line-pattern 5 2 line 0x10 99x10"), "ok");
    EXPECT_TRUE(dashed.dark(5, 10));
    EXPECT_TRUE(dashed.white(12, 10));
    Drawing aliased;
    EXPECT_EQ(draw_into(&aliased, "anti-alias off line 0x0 99x40"), "ok");
    for (int32_t y = 0; y < kSide; ++y)
        for (int32_t x = 0; x < kSide; ++x) ASSERT_TRUE(aliased.white(x, y) || aliased.at(x, y) == 0xFF000000);
}

TEST(GuiDrawPrimitives, AnOpenArcIsNeverFilledAndAClosedCurveShapeIs) {
    Drawing open, spline;
    EXPECT_EQ(draw_into(&open, "arc 50x50 30x30 0 90", kRed), "ok");
    EXPECT_TRUE(open.white(60, 60));
    EXPECT_TRUE(open.dark(80, 50));
    EXPECT_EQ(draw_into(&spline, "spline 20x20 80x20 80x80 20x80 closed", kRed, false), "ok");
    EXPECT_TRUE(spline.red(50, 50));
    EXPECT_TRUE(spline.white(2, 2));
}

struct Fault {
    const char* commands;
    const char* wanted;
};

TEST(GuiDrawPrimitives, MissingOrWrongArgumentsAreInvalidAtTheirCell) {
    const Fault cases[] = {
        {"line 10x10", "error draw-invalid []"},
        {"line 10x10 box 0x0 5x5", "error draw-invalid [box 0x0 5x5]"},
        {"polygon 0x0 5x5", "error draw-invalid []"},
        {"spline 0x0", "error draw-invalid []"},
        {"box 0x0", "error draw-invalid []"},
        {"circle 0x0 box", "error draw-invalid [box]"},
        {"arc 0x0 5x5 0", "error draw-invalid []"},
        {"curve 0x0 1x1", "error draw-invalid []"},
        {"line-width red", "error draw-invalid [red]"},
        {"line-join 1", "error draw-invalid [1]"},
        {"anti-alias 1", "error draw-invalid [1]"},
        {"text 0x0 5", "error draw-invalid [5]"},
        {"font 5", "error draw-invalid [5]"},
        {"image 0x0", "error draw-invalid [0x0]"},
        {"image prim-img 0x0 crop 1x1", "error draw-invalid []"},
    };
    for (const Fault& c : cases) {
        Drawing d;
        EXPECT_EQ(draw_into(&d, c.commands, -1, true, {}, "prim-img: make image! 2x2"), c.wanted) << c.commands;
    }
}

TEST(GuiDrawPrimitives, ShadowsLieUnderTheShapeWhichLandsWhereItWould) {
    Drawing plain, shadowed, inset;
    EXPECT_EQ(draw_into(&plain, "box 10x10 40x40", 0xFFFFFF), "ok");
    EXPECT_EQ(draw_into(&shadowed, "box 10x10 40x40", 0xFFFFFF, true, {{10, 10, 0, 0, kRed, false}}), "ok");
    EXPECT_EQ(draw_into(&inset, "box 10x10 40x40", 0xFFFFFF, true, {{10, 10, 0, 0, kRed, true}}), "ok");
    EXPECT_TRUE(shadowed.pixels == inset.pixels);
    // Blur 0: the shadow is the shape's coverage in pure colour.
    EXPECT_TRUE(shadowed.red(45, 45) && shadowed.red(30, 48));
    EXPECT_TRUE(shadowed.white(52, 30) && shadowed.white(30, 52));
    for (int32_t y = 0; y < kSide; ++y)
        for (int32_t x = 0; x < kSide; ++x) {
            if (x < 19 || y < 19 || (x < 40 && y < 40)) {
                ASSERT_EQ(shadowed.at(x, y), plain.at(x, y)) << x << "," << y;
            }
        }
    // Spread grows the shadow on every side; blur softens it past the shape's edge.
    Drawing spread, blurred;
    EXPECT_EQ(draw_into(&spread, "box 20x20 40x40", 0xFFFFFF, true, {{0, 0, 0, 5, kRed, false}}), "ok");
    EXPECT_TRUE(spread.red(17, 30) && spread.red(43, 43));
    EXPECT_TRUE(spread.white(13, 30));
    EXPECT_EQ(draw_into(&blurred, "circle 50x50 20", 0xFFFFFF, false, {{4, 4, 4, 0, kBlack, false}}), "ok");
    EXPECT_TRUE(blurred.dark(50, 72) && blurred.white(50, 50));
    EXPECT_TRUE(!blurred.white(54, 77) && !blurred.dark(54, 77));
    // Shadows are painted in order, each over the one before.
    Drawing two;
    EXPECT_EQ(draw_into(&two, "box 10x10 30x30", 0xFFFFFF, false, {{10, 10, 0, 0, kBlack, false}, {20, 20, 0, 0, kRed, false}}),
              "ok");
    EXPECT_TRUE(two.red(35, 35) && two.red(45, 45) && two.white(20, 20));
    EXPECT_TRUE(two.at(25, 35) == 0xFF000000 && two.at(35, 25) == 0xFF000000);
}

TEST(GuiDrawPrimitives, TextIsDrawnInTheTextColourWhateverThePen) {
    Drawing shown, pen_off;
    EXPECT_EQ(draw_into(&shown, "text 10x10 \"Hello\""), "ok");
    EXPECT_EQ(draw_into(&pen_off, "text 10x10 \"Hello\"", -1, false), "ok");
    EXPECT_TRUE(shown.pixels == pen_off.pixels);
    int32_t dark = 0;
    for (int32_t y = 0; y < kSide; ++y)
        for (int32_t x = 0; x < kSide; ++x) dark += shown.dark(x, y);
    EXPECT_GT(dark, 10);
    EXPECT_TRUE(shown.white(5, 5) && shown.white(80, 80));
}

TEST(GuiDrawPrimitives, ImagesAtTheirSizeStretchedOrOnAQuadrilateral) {
    const std::string setup = "prim-img: make image! [4x2 255.0.0] poke prim-img 1 0.0.255";
    Drawing natural, stretched, quad, cropped;
    EXPECT_EQ(draw_into(&natural, "image prim-img 10x20", -1, true, {}, setup), "ok");
    EXPECT_EQ(natural.at(10, 20), 0xFF0000FF);
    EXPECT_TRUE(natural.red(11, 20) && natural.red(13, 21));
    EXPECT_TRUE(natural.white(14, 20) && natural.white(10, 22) && natural.white(9, 20));
    EXPECT_EQ(draw_into(&stretched, "image prim-img 0x0 40x20", -1, true, {}, setup), "ok");
    EXPECT_TRUE(stretched.red(30, 15) && stretched.white(41, 10) && stretched.white(10, 21));
    EXPECT_EQ(draw_into(&quad, "image prim-img 10x10 90x10 90x90 10x90", -1, true, {}, setup), "ok");
    EXPECT_TRUE(quad.red(80, 80) && quad.white(5, 5) && quad.white(95, 50));
    // A crop before the image keeps the visible pixels where the whole image puts them.
    EXPECT_EQ(draw_into(&cropped, "image prim-img 10x20 crop -1x0 4x2", -1, true, {}, setup), "ok");
    EXPECT_EQ(cropped.at(10, 20), 0xFF0000FF);
    EXPECT_TRUE(cropped.red(12, 21) && cropped.white(13, 20));
    Drawing outside, none;
    EXPECT_EQ(draw_into(&outside, "image prim-img 10x20 crop -5x0 4x2", -1, true, {}, setup), "ok");
    EXPECT_EQ(draw_into(&none, "", -1, true, {}, setup), "ok");
    EXPECT_TRUE(outside.pixels == none.pixels);
    Drawing big;
    EXPECT_EQ(draw_into(&big, "image prim-img", -1, true, {}, "prim-img: make image! 40000x1"), "error no-memory");
}

}  // namespace
}  // namespace nuv::gui::draw
