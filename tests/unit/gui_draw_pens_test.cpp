// Pens on a bare context over an offscreen target: a colour on a solid brush recolours it, a pen
// set while the line width is 0 stays hidden, a fitted or image brush goes back exactly where it
// was after each shape, and a pattern whose block fails leaves the target and the state whole.
#include <gtest/gtest.h>

#include "gui/draw/pens.h"
#include "runtime/errors.h"
#include "tests/unit/gui_draw_support.h"

namespace nuv::gui::draw {
namespace {

// A 20x20 canvas with a black solid brush kept for the fill while the fill is off.
struct Canvas : DrawCanvas {
    Canvas() : DrawCanvas(20) { ctx.s.fill = gfx::CreateSolidColorBrush({0, 0, 0, 1}); }
    // Runs the `pen` or `fill-pen` the text starts with; answers where the walk stopped.
    int32_t run(const char* text) {
        return DrawCanvas::run(text, [](DrawContext& ctx, Walk& w) {
            (word_symbol(w.cell(w.at)) == words::pen ? cmd_pen : cmd_fill_pen)(ctx, w);
        });
    }
};

TEST(GuiDrawPens, AColourOnASolidBrushRecoloursIt) {
    Canvas c;
    const gfx::Brush* solid = c.ctx.s.pen.get();
    EXPECT_EQ(c.run("pen 255.0.0 box"), 1);
    EXPECT_EQ(c.ctx.s.pen.get(), solid);
    EXPECT_EQ(c.ctx.s.pen->GetColor().r, 1);
    EXPECT_EQ(c.ctx.s.pen_colour, 0xFFu);
    EXPECT_EQ(c.ctx.s.text_colour, 0xFFu);
    // A colour from the font stays the text colour.
    c.ctx.s.font_colour = true;
    set_pen_colour(c.ctx, 0xFF0000, false);
    EXPECT_EQ(c.ctx.s.pen.get(), solid);
    EXPECT_EQ(c.ctx.s.text_colour, 0xFFu);
    // Off is a mode: the next colour makes a brush again, once, then recolours it.
    EXPECT_EQ(c.run("pen off 1.2.3"), 1);
    EXPECT_EQ(c.ctx.s.pen_mode, kOff);
    EXPECT_EQ(c.run("pen 0.255.0"), 1);
    const gfx::Brush* fresh = c.ctx.s.pen.get();
    EXPECT_EQ(c.ctx.s.pen_mode, kSolid);
    EXPECT_EQ(c.run("pen 0.0.255"), 1);
    EXPECT_EQ(c.ctx.s.pen.get(), fresh);
    // A gradient is replaced by a solid brush, never recoloured.
    EXPECT_EQ(c.run("fill-pen linear 1.2.3 4.5.6 pad box"), 4);
    EXPECT_EQ(c.ctx.s.fill_mode, kFitted);
    EXPECT_EQ(c.ctx.s.fill_kind, words::linear);
    const gfx::Brush* gradient = c.ctx.s.fill.get();
    EXPECT_EQ(c.run("fill-pen 9.9.9"), 1);
    EXPECT_NE(c.ctx.s.fill.get(), gradient);
    EXPECT_EQ(c.ctx.s.fill->kind(), gfx::Brush::Kind::Solid);
    EXPECT_EQ(c.ctx.s.fill_mode, kSolid);
    EXPECT_EQ(c.ctx.s.fill_kind, 0u);
}

TEST(GuiDrawPens, APenSetWhileTheLineWidthIsZeroStaysHidden) {
    Canvas c;
    c.ctx.s.saved_pen_mode = kSolid;
    c.ctx.s.pen_mode = kOff;
    c.ctx.s.line_width = 0;
    const gfx::Brush* solid = c.ctx.s.pen.get();
    struct Case {
        const char* text;
        uint8_t saved;  // the mode kept for when a width comes back
    };
    const Case cases[] = {
        {"pen 255.0.0", kSolid},
        {"pen linear 1.1.1 2.2.2 0x0 5x0", kGradient},
        {"pen radial 1.1.1 2.2.2", kFitted},
        {"pen 3.3.3", kSolid},
        {"pen off", kOff},
    };
    for (const Case& k : cases) {
        c.run(k.text);
        EXPECT_EQ(c.ctx.s.pen_mode, kOff) << k.text;
        EXPECT_EQ(c.ctx.s.saved_pen_mode, k.saved) << k.text;
    }
    // The first colour recoloured the pen's hidden solid brush.
    c.ctx.s.saved_pen_mode = kSolid;
    c.ctx.s.pen = gfx::CreateSolidColorBrush({0, 0, 0, 1});
    solid = c.ctx.s.pen.get();
    c.run("pen 0.0.255");
    EXPECT_EQ(c.ctx.s.pen.get(), solid);
    EXPECT_EQ(c.ctx.s.pen->GetColor().b, 1);
}

TEST(GuiDrawPens, FittedAndImageBrushesGoBackAfterEachShape) {
    Canvas c;
    const gfx::RectF widened{9.5f, 4.5f, 30.5f, 20.5f}, own{10, 5, 30, 20};
    struct Case {
        const char* text;
        float x, y;  // where the brush is placed
    };
    const Case cases[] = {
        {"fill-pen linear 1.1.1 2.2.2", 9.5f, 4.5f},
        {"fill-pen diamond 1.1.1 2.2.2", 9.5f, 4.5f},
        {"fill-pen pattern 2x2 [] box", 10, 5},
        {"fill-pen linear 1.1.1 2.2.2 0x0 5x0", 0, 0},  // positioned: never moved
    };
    for (const Case& k : cases) {
        c.run(k.text);
        const gfx::Matrix3x2 before = gfx::Matrix3x2::translation(0.25f, -2.5f);
        c.ctx.s.fill->SetTransform(before);
        fit_brush(c.ctx, true, c.ctx.s.fill_mode == kImageBrush ? own : widened);
        EXPECT_EQ(c.ctx.s.fill->GetTransform().dx, 0.25f + k.x) << k.text;
        EXPECT_EQ(c.ctx.s.fill->GetTransform().dy, -2.5f + k.y) << k.text;
        unfit_brush(c.ctx, true);
        EXPECT_EQ(c.ctx.s.fill->GetTransform(), before) << k.text;
    }
    // A fitted radial (and diamond) fills the largest circle centred in the box.
    c.run("fill-pen radial 1.1.1 2.2.2");
    fit_brush(c.ctx, true, own);
    EXPECT_EQ(c.ctx.s.fill->GetCenter().x, 10);
    EXPECT_EQ(c.ctx.s.fill->GetCenter().y, 7.5f);
    EXPECT_EQ(c.ctx.s.fill->GetRadius().width, 7.5f);
    unfit_brush(c.ctx, true);
    // A fitted linear runs across the box; the older grammar has its own geometry.
    c.run("pen linear 1.1.1 2.2.2");
    fit_brush(c.ctx, false, own);
    EXPECT_EQ(c.ctx.s.pen->GetEndPoint().x, 20);
    unfit_brush(c.ctx, false);
    c.run("pen linear 10x0 5 50 1.1.1 2.2.2");
    EXPECT_EQ(c.ctx.s.pen_mode, kGradient);
    EXPECT_EQ(c.ctx.s.pen->GetStartPoint().x, 15);
    EXPECT_EQ(c.ctx.s.pen->GetEndPoint().x, 60);
}

TEST(GuiDrawPens, APatternWhoseBlockFailsLeavesTheDrawingWhole) {
    Canvas c;
    const gfx::Brush* pen = c.ctx.s.pen.get();
    const gfx::Brush* fill = c.ctx.s.fill.get();
    c.ctx.s.fill_mode = kSolid;
    c.target->SetTransform(gfx::Matrix3x2::translation(3, 4));
    // The error names the pattern's block at the offending cell.
    std::string raised;
    try {
        c.run("fill-pen pattern 4x4 [pen 255.0.0 fill-pen 0.0.255 clip 0x0 2x2 bogus]");
    } catch (const Unwind&) {
        raised = test::error_text(nuv::raised());
    }
    EXPECT_EQ(raised, "error draw-invalid [bogus]");
    EXPECT_EQ(c.ctx.target, c.target.get());
    EXPECT_EQ(c.target->GetTransform(), gfx::Matrix3x2::translation(3, 4));
    EXPECT_EQ(c.target->clip_depth(), 0u);
    EXPECT_EQ(c.ctx.s.clip_depth, 0);
    EXPECT_EQ(c.ctx.s.pen.get(), pen);
    EXPECT_EQ(c.ctx.s.pen->GetColor().r, 0);
    EXPECT_EQ(c.ctx.s.fill.get(), fill);
    EXPECT_EQ(c.ctx.s.fill_mode, kSolid);
    // A pattern that draws well becomes the fill, with its own state gone.
    EXPECT_EQ(c.run("fill-pen pattern 4x4 [pen 255.0.0 clip 0x0 2x2] box"), 3);
    EXPECT_EQ(c.ctx.s.fill_mode, kImageBrush);
    EXPECT_EQ(c.ctx.s.fill->kind(), gfx::Brush::Kind::Image);
    EXPECT_EQ(c.ctx.s.pen->GetColor().r, 0);
    EXPECT_EQ(c.target->clip_depth(), 0u);
}

}  // namespace
}  // namespace nuv::gui::draw
