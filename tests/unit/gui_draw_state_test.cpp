// The draw state unit on a bare context over an offscreen target: clips nested past the 32 kinds
// the context records, a turned rectangle clipping to its own outline, and block forms putting
// back what they changed, a brush's transform included.
#include <gtest/gtest.h>

#include "gui/backend/colours.h"
#include "gui/draw/state.h"
#include "tests/unit/gui_draw_support.h"

namespace nuv::gui::draw {
namespace {

constexpr uint32_t kInk = 0xFFFF0000;  // opaque red as the bitmap keeps it (ARGB)

// A 100x100 canvas and a red brush to fill all of it through the clips.
struct Canvas : DrawCanvas {
    std::unique_ptr<gfx::Brush> red = gfx::CreateSolidColorBrush({1, 0, 0, 1});
    Canvas() : DrawCanvas(100) {}
    void fill_all() { target->FillRectangle({-1000, -1000, 1000, 1000}, *red); }
};

TEST(GuiDrawState, ThirtyThreeNestedClipsNarrowAndAllPop) {
    Canvas c;
    for (int k = 0; k < 33; ++k) push_clip_rect(c.ctx, {float(k), float(k)}, {float(100 - k), float(100 - k)});
    EXPECT_EQ(c.ctx.s.clip_depth, 33);
    EXPECT_EQ(c.ctx.clip_kinds, 0xFFFFFFFFu);
    EXPECT_EQ(c.target->clip_depth(), 33u);
    c.fill_all();
    EXPECT_EQ(c.pixel(50, 50), kInk);
    EXPECT_EQ(c.pixel(31, 50), 0u);
    for (int k = 0; k < 33; ++k) pop_clip(c.ctx);
    EXPECT_EQ(c.ctx.s.clip_depth, 0);
    EXPECT_EQ(c.target->clip_depth(), 0u);
    pop_clip(c.ctx);  // one too many is ignored
    EXPECT_EQ(c.ctx.s.clip_depth, 0);
    c.fill_all();
    EXPECT_EQ(c.pixel(0, 0), kInk);
}

TEST(GuiDrawState, ATurnedRectangleClipsToItsOutline) {
    Canvas c;
    c.target->SetTransform(gfx::Matrix3x2::rotation(45, {50, 50}));
    push_clip_rect(c.ctx, {30, 30}, {70, 70});
    EXPECT_EQ(c.ctx.clip_kinds & 1, 0u);  // a layer
    c.target->SetTransform({});
    c.fill_all();
    EXPECT_EQ(c.pixel(50, 50), kInk);
    EXPECT_EQ(c.pixel(50, 25), kInk);  // a turned corner reaches out
    EXPECT_EQ(c.pixel(28, 28), 0u);    // inside the box around it, outside the outline
    pop_clip(c.ctx);
    EXPECT_EQ(c.target->clip_depth(), 0u);
}

TEST(GuiDrawState, BlockFormsPutBackTheTransformClipsAndBrushTransforms) {
    Canvas c;
    const gfx::GradientStop stops[] = {{0, {1, 0, 0, 1}}, {1, {0, 0, 1, 1}}};
    c.ctx.s.fill = gfx::CreateLinearGradientBrush({0, 0}, {1, 0}, stops, gfx::ExtendMode::Clamp);
    c.ctx.s.fill_mode = kGradient;
    struct Case {
        const char* text;
        void (*command)(DrawContext&, Walk&);
        int32_t stop;  // where the walk ends
    };
    const Case cases[] = {
        {"rotate 30 [] box", cmd_rotate, 2},
        {"rotate 'fill-pen 30 10x10 [clip 0x0 5x5 clip 1x1 4x4]", cmd_rotate, 4},
        {"scale 'pen 2 50% [scale 0 0]", cmd_scale, 4},
        {"translate 5x5 [matrix [2 0 0 2 0 0]]", cmd_translate, 2},
        {"skew 'fill-pen 10 [reset-matrix 'fill-pen]", cmd_skew, 3},
        {"transform 'fill-pen 5x5 90 1 2 3x3 [invert-matrix]", cmd_transform, 7},
        {"clip 0x0 10x10 union [clip [line 5x5]]", cmd_clip, 4},
        {"push [shadow 2x2 translate 1x1] line", cmd_push, 1},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(c.run(k.text, k.command), k.stop) << k.text;
        EXPECT_EQ(c.target->GetTransform(), gfx::Matrix3x2{}) << k.text;
        EXPECT_EQ(c.ctx.s.fill->GetTransform(), gfx::Matrix3x2{}) << k.text;
        EXPECT_EQ(c.ctx.s.clip_depth, 0) << k.text;
        EXPECT_EQ(c.target->clip_depth(), 0u) << k.text;
        EXPECT_FALSE(c.ctx.s.shadow_on) << k.text;
    }
    // Without a block the change stays; the plain pen ignores what is aimed at it.
    EXPECT_EQ(c.run("rotate 'fill-pen 90 box", cmd_rotate), 2);
    EXPECT_EQ(c.ctx.s.fill->GetTransform(), gfx::Matrix3x2::rotation(90));
    EXPECT_EQ(c.run("scale 'pen 2 2", cmd_scale), 3);
    EXPECT_EQ(c.ctx.s.pen->GetTransform(), gfx::Matrix3x2{});
}

TEST(GuiDrawState, ABlockFormEndedByAnErrorPutsTheStateBackFirst) {
    Canvas c;
    struct Case {
        const char* text;
        void (*command)(DrawContext&, Walk&);
        const char* at;  // the error's argument: the failing block at the offending cell
    };
    const Case cases[] = {
        {"rotate 30 [clip 0x0 5x5 bogus]", cmd_rotate, "[bogus]"},
        {"clip [move 1x1 line 5x5] [push [translate 5x5 clip 1x1 2x2 shape [curve 1x1]]]", cmd_clip, "[1x1]"},
        {"push [shadow 1x1 scale 0 0 [clip 0x0 5x5 5]]", cmd_push, "[5]"},
    };
    for (const Case& one : cases) {
        const auto& text = one.text;
        test::StackScope scope;
        frames::Owner frame(&nuv::words::w::anon, frames::kTry);
        const auto kind = frame.run([&] { c.run(one.text, one.command); });
        ASSERT_TRUE(kind.has_value()) << text;
        EXPECT_EQ(raised().id, Err::DrawInvalid) << text;
        ASSERT_EQ(raised().argc, 1) << text;
        EXPECT_EQ(test::mold_value(raised().args[0]), one.at) << text;
        EXPECT_EQ(c.target->GetTransform(), gfx::Matrix3x2{}) << text;
        EXPECT_EQ(c.ctx.s.clip_depth, 0) << text;
        EXPECT_EQ(c.target->clip_depth(), 0u) << text;
        EXPECT_FALSE(c.ctx.s.shadow_on) << text;
        EXPECT_FALSE(c.ctx.shape.path) << text;  // the unfinished shape is dropped
    }
}

TEST(GuiDrawState, APenColourSetInsideABlockDoesNotLeakOut) {
    Canvas c;
    SavedState saved;
    push_state(c.ctx, &saved);
    c.ctx.s.pen_colour = 0xFF;  // a pen set in place to red inside the block
    c.ctx.s.pen->SetColor({1, 0, 0, 1});
    pop_state(c.ctx, saved);
    EXPECT_EQ(c.ctx.s.pen_colour, 0u);
    const gfx::ColorF back = c.ctx.s.pen->GetColor();
    EXPECT_EQ(back.r, 0);
    EXPECT_EQ(back.a, 1);
}

}  // namespace
}  // namespace nuv::gui::draw
