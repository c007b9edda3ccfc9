// Render targets: primitives, strokes, transforms, clips and layers, the kinds of target, and
// bad input that must draw nothing while later drawing goes on.
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "host/win/cairo_lib.h"
#include "tests/host/gfx_support.h"

namespace nuv::host::gfx {
namespace {

using namespace testing;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(GfxTarget, RectangleFillsItsPixelsOnly) {
    Canvas c;
    c->FillRectangle({10, 10, 50, 50}, *solid(kRed));
    EXPECT_EQ(c.rgb(30, 30), kRedRgb);
    EXPECT_EQ(c.rgb(9, 30), kWhiteRgb);
    EXPECT_EQ(c.rgb(10, 10), kRedRgb);
    EXPECT_EQ(c.rgb(50, 30), kWhiteRgb);
}

TEST(GfxTarget, LinesAndDashes) {
    Canvas c;
    c->DrawLine({0, 2.5f}, {10, 2.5f}, *solid(kBlack), 1);
    EXPECT_EQ(c.rgb(5, 1), kWhiteRgb);
    EXPECT_EQ(c.rgb(5, 2), kBlackRgb);
    EXPECT_EQ(c.rgb(5, 3), kWhiteRgb);
    // Dashes count in line widths: [5 2] at width 2 is 10 on, 4 off.
    StrokeStyle dashed;
    dashed.dashes = {5, 2};
    c->DrawLine({0, 5}, {99, 5}, *solid(kBlack), 2, dashed);
    EXPECT_EQ(c.rgb(5, 5), kBlackRgb);
    EXPECT_EQ(c.rgb(12, 5), kWhiteRgb);
    EXPECT_EQ(c.rgb(16, 5), kBlackRgb);
    // 300 dashes stroke as well.
    StrokeStyle many;
    for (int i = 0; i < 300; ++i) many.dashes.push_back(float(1 + i % 3));
    c->DrawLine({0, 50.5f}, {99, 50.5f}, *solid(kRed), 1, many);
    EXPECT_EQ(c.rgb(0, 50), kRedRgb);
    EXPECT_TRUE(c->ok());
}

TEST(GfxTarget, AlternateFillLeavesTheStarsCentreEmpty) {
    for (FillMode mode : {FillMode::Alternate, FillMode::Winding}) {
        Canvas c;
        PathGeometry star;
        star.SetFillMode(mode);
        for (int i = 0; i < 5; ++i) {
            const double a = (i * 144 - 90) * std::acos(-1.0) / 180;
            const PointF p{float(50 + 45 * std::cos(a)), float(50 + 45 * std::sin(a))};
            if (i == 0) star.BeginFigure(p, FigureBegin::Filled);
            else star.AddLine(p);
        }
        star.EndFigure(FigureEnd::Closed);
        c->FillGeometry(star, *solid(kRed));
        EXPECT_EQ(c.rgb(50, 50), mode == FillMode::Alternate ? kWhiteRgb : kRedRgb);
        EXPECT_EQ(c.rgb(50, 8), kRedRgb);  // a point of the star
    }
}

TEST(GfxTarget, BadInputDrawsNothingAndDrawingGoesOn) {
    PathGeometry empty, nan_path, open_figure;
    nan_path.BeginFigure({0, 0}, FigureBegin::Filled);
    nan_path.AddLine({kNaN, 50});
    nan_path.AddLine({100, 100});
    nan_path.EndFigure(FigureEnd::Closed);
    StrokeStyle negative_dash, zero_dashes, nan_limit;
    negative_dash.dashes = {4, -1};
    zero_dashes.dashes = {0, 0};
    nan_limit.miter_limit = kNaN;
    const auto red = solid(kRed);
    const auto nan_colour = solid({kNaN, 0, 0, 1});
    const auto flat_gradient = CreateLinearGradientBrush({5, 5}, {5, 5}, std::vector<GradientStop>{{0, kRed}, {1, kBlue}},
                                                         ExtendMode::Clamp);
    struct Case {
        const char* name;
        std::function<void(RenderTarget&)> draw;
    };
    const Case cases[] = {
        {"scale 0", [&](RenderTarget& t) { t.SetTransform(Matrix3x2::scale(0, 0)); t.FillRectangle({0, 0, 100, 100}, *red); }},
        {"NaN transform", [&](RenderTarget& t) { t.SetTransform({kNaN, 0, 0, 1, 0, 0}); t.FillRectangle({0, 0, 100, 100}, *red); }},
        {"infinite shift", [&](RenderTarget& t) { t.SetTransform(Matrix3x2::translation(kInf, 0)); t.FillRectangle({0, 0, 9, 9}, *red); }},
        {"NaN rectangle", [&](RenderTarget& t) { t.FillRectangle({0, kNaN, 100, 100}, *red); }},
        {"infinite ellipse", [&](RenderTarget& t) { t.FillEllipse({{50, 50}, kInf, 3}, *red); }},
        {"NaN line end", [&](RenderTarget& t) { t.DrawLine({0, 0}, {kNaN, 9}, *red, 3); }},
        {"empty path", [&](RenderTarget& t) { t.FillGeometry(empty, *red); t.DrawGeometry(empty, *red, 2); }},
        {"NaN in a path", [&](RenderTarget& t) { t.FillGeometry(nan_path, *red); t.DrawGeometry(nan_path, *red, 2); }},
        {"NaN width", [&](RenderTarget& t) { t.DrawLine({0, 50}, {99, 50}, *red, kNaN); }},
        {"negative width", [&](RenderTarget& t) { t.DrawLine({0, 50}, {99, 50}, *red, -2); }},
        {"negative dash", [&](RenderTarget& t) { t.DrawLine({0, 50}, {99, 50}, *red, 2, negative_dash); }},
        {"dashes of 0", [&](RenderTarget& t) { t.DrawLine({0, 50}, {99, 50}, *red, 2, zero_dashes); }},
        {"NaN miter limit", [&](RenderTarget& t) { t.DrawRectangle({9, 9, 50, 50}, *red, 2, nan_limit); }},
        {"NaN colour", [&](RenderTarget& t) { t.FillRectangle({0, 0, 100, 100}, *nan_colour); }},
        {"flat gradient", [&](RenderTarget& t) { t.FillRectangle({0, 0, 100, 100}, *flat_gradient); }},
        {"NaN clear", [&](RenderTarget& t) { t.Clear({kNaN, 0, 0, 1}); }},
        {"NaN bitmap place", [&](RenderTarget& t) { t.DrawBitmap(*Bitmap::create(4, 4), {0, 0, kNaN, 9}); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Canvas c;
        k.draw(*c.target);
        EXPECT_TRUE(c.untouched());
        EXPECT_TRUE(c->ok());
        c->SetTransform({});
        c->FillRectangle({10, 10, 20, 20}, *red);
        EXPECT_EQ(c.rgb(15, 15), kRedRgb);
        EXPECT_TRUE(c->EndDraw());
    }
}

// Cairo's fixed point wraps coordinates millions of pixels out: rectangles and lines that reach
// that far are cut to the device first, and other shapes draw nothing rather than garbage.
TEST(GfxTarget, FarCoordinates) {
    const RectF everything{-1e30f, -1e30f, 1e30f, 1e30f};
    for (float degrees : {0.f, 30.f}) {
        Canvas c;
        c->SetTransform(Matrix3x2::rotation(degrees, {50, 50}));
        c->FillRectangle(everything, *solid(kRed));
        EXPECT_TRUE(c.untouched(kRedRgb)) << degrees;
    }
    // The brush stays placed in the drawing's space.
    Canvas g;
    g->FillRectangle(everything, *CreateLinearGradientBrush({0, 0}, {100, 0}, std::vector<GradientStop>{{0, kRed}, {1, kBlue}},
                                                            ExtendMode::Clamp));
    EXPECT_GE(g.red(1, 50), 250);
    EXPECT_GE(g.blue(98, 50), 250);

    Canvas c;
    c->DrawLine({-1e15f, 50.5f}, {1e15f, 50.5f}, *solid(kBlack), 1);
    EXPECT_EQ(c.rgb(0, 50), kBlackRgb);
    EXPECT_EQ(c.rgb(99, 50), kBlackRgb);
    EXPECT_EQ(c.rgb(50, 49), kWhiteRgb);
    // Dashes [5 2] at width 2 from 14,000,000 pixels to the left: a whole number of periods, so
    // a dash starts at x 0 as it would for a line starting there.
    StrokeStyle dashed;
    dashed.dashes = {5, 2};
    c->DrawLine({-14e6f, 5}, {1e9f, 5}, *solid(kBlack), 2, dashed);
    EXPECT_EQ(c.rgb(5, 5), kBlackRgb);
    EXPECT_EQ(c.rgb(12, 5), kWhiteRgb);
    EXPECT_EQ(c.rgb(16, 5), kBlackRgb);
    // A line that far out which misses the device draws nothing.
    c->DrawLine({-1e15f, -40}, {1e15f, -40}, *solid(kRed), 3);
    // Other shapes reaching that far draw nothing, nor does a stroke that wide.
    c->DrawLine({10, 10}, {20, 20}, *solid(kRed), 1e15f);
    c->FillEllipse({{50, 50}, 1e8f, 1e8f}, *solid(kRed));
    PathGeometry far;
    far.BeginFigure({-1e15f, 0}, FigureBegin::Filled);
    far.AddLine({100, 100});
    far.AddLine({0, 100});
    far.EndFigure(FigureEnd::Closed);
    c->FillGeometry(far, *solid(kRed));
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_NE(c.rgb(x, y), kRedRgb) << x << "," << y;
    EXPECT_TRUE(c->ok());
}

TEST(GfxTarget, SurfacesOverTheLimitAreRefused) {
    uint8_t pixel[4] = {};
    EXPECT_FALSE(RenderTarget::offscreen(32768, 1));
    EXPECT_FALSE(RenderTarget::offscreen(1, 32768));
    EXPECT_FALSE(RenderTarget::offscreen(-1, 1));
    EXPECT_FALSE(RenderTarget::recording({0, 0, 40000, 10}));
    EXPECT_FALSE(RenderTarget::recording({0, 0, kNaN, 10}));
    EXPECT_FALSE(RenderTarget::for_pixels(pixel, 32768, 1, 32768 * 4));
    EXPECT_FALSE(RenderTarget::for_pixels(pixel, 2, 1, 4));  // a stride shorter than a row
    EXPECT_FALSE(RenderTarget::for_pixels(nullptr, 1, 1, 4));
    EXPECT_FALSE(Bitmap::create(32768, 1));
    EXPECT_TRUE(RenderTarget::offscreen(32767, 1));
}

TEST(GfxTarget, TransformAndStateBlock) {
    Canvas c;
    c->SetTransform(Matrix3x2::scale(2, 2) * Matrix3x2::translation(10, 0));
    c->FillRectangle({0, 0, 5, 5}, *solid(kRed));  // lands on (10,0)-(20,10)
    EXPECT_EQ(c.rgb(15, 5), kRedRgb);
    EXPECT_EQ(c.rgb(5, 5), kWhiteRgb);
    DrawingStateBlock saved;
    c->SaveDrawingState(&saved);
    c->SetTransform(Matrix3x2::rotation(90, {50, 50}));
    c->SetAntialiasMode(AntialiasMode::Aliased);
    c->RestoreDrawingState(saved);
    EXPECT_EQ(c->GetTransform(), (Matrix3x2::scale(2, 2) * Matrix3x2::translation(10, 0)));
    EXPECT_EQ(c->GetAntialiasMode(), AntialiasMode::PerPrimitive);
}

TEST(GfxTarget, AliasedEdgesHaveNoPartialPixels) {
    for (AntialiasMode mode : {AntialiasMode::Aliased, AntialiasMode::PerPrimitive}) {
        Canvas c;
        c->SetAntialiasMode(mode);
        c->FillRectangle({10.5f, 10.5f, 20.5f, 20.5f}, *solid(kBlack));
        const uint32_t edge = c.rgb(10, 15);
        EXPECT_EQ(edge == kWhiteRgb || edge == kBlackRgb, mode == AntialiasMode::Aliased) << std::hex << edge;
    }
}

TEST(GfxTarget, ClipsNarrowAndPopBackToNone) {
    Canvas c;
    const auto red = solid(kRed);
    Matrix3x2 turn = Matrix3x2::rotation(30, {50, 50});
    // 33 nested clips, axis-aligned and layers by turns, each a pixel smaller on the left.
    PathGeometry mask;
    mask.BeginFigure({0, 0}, FigureBegin::Filled);
    mask.AddLine({100, 0});
    mask.AddLine({100, 60});
    mask.AddLine({0, 60});
    mask.EndFigure(FigureEnd::Closed);
    for (int i = 0; i < 33; ++i) {
        if (i % 2) {
            LayerParameters layer;
            layer.content_bounds = {float(i), 0, 100, 100};
            layer.mask = &mask;
            c->PushLayer(layer);
        } else {
            c->PushAxisAlignedClip({float(i), 0, 100, 100}, AntialiasMode::Aliased);
        }
    }
    EXPECT_EQ(c->clip_depth(), 33u);
    c->SetTransform(turn);
    c->FillRectangle({-100, -100, 200, 200}, *red);
    EXPECT_EQ(c.rgb(31, 30), kWhiteRgb);  // left of the last clip
    EXPECT_EQ(c.rgb(33, 30), kRedRgb);
    EXPECT_EQ(c.rgb(50, 70), kWhiteRgb);  // below the layers' mask
    for (int i = 0; i < 33; ++i) EXPECT_TRUE(i % 2 ? c->PopAxisAlignedClip() : c->PopLayer());
    EXPECT_FALSE(c->PopLayer());
    EXPECT_EQ(c->clip_depth(), 0u);
    EXPECT_EQ(c->GetTransform(), turn);  // popping leaves the transform as it was
    c->SetTransform({});
    c->FillRectangle({0, 0, 100, 100}, *solid(kBlue));
    EXPECT_TRUE(c.untouched(kBlueRgb));
}

TEST(GfxTarget, ClipsFollowTheTransformAndClearKeepsToThem) {
    Canvas c;
    c->SetTransform(Matrix3x2::translation(50, 0));
    c->PushAxisAlignedClip({0, 0, 50, 100}, AntialiasMode::Aliased);
    c->SetTransform({});
    c->Clear(kRed);
    EXPECT_EQ(c.rgb(75, 50), kRedRgb);
    EXPECT_EQ(c.rgb(25, 50), kWhiteRgb);
    // A clip that is not usable still counts, and nothing draws inside it.
    c->PushAxisAlignedClip({kNaN, 0, 10, 10}, AntialiasMode::Aliased);
    c->FillRectangle({0, 0, 100, 100}, *solid(kBlue));
    EXPECT_EQ(c.rgb(75, 50), kRedRgb);
    EXPECT_EQ(c->clip_depth(), 2u);
    EXPECT_TRUE(c->EndDraw());
    EXPECT_EQ(c->clip_depth(), 0u);
}

TEST(GfxTarget, PixelTargetGivesBackUntouchedPixelsExactly) {
    // Semi-transparent straight pixels that a premultiplied round trip would change.
    const uint32_t kinds[] = {0x01C83264, 0x7F102030, 0x03FFFFFF, 0x00ABCDEF, 0xFF123456};
    constexpr int32_t w = 20, h = 10, stride = w * 4 + 8;
    std::vector<uint8_t> pixels(size_t(stride) * h, 0xEE);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) std::memcpy(&pixels[size_t(y) * stride + x * 4], &kinds[(x + y) % 5], 4);
    const std::vector<uint8_t> before = pixels;
    auto t = RenderTarget::for_pixels(pixels.data(), w, h, stride);
    ASSERT_TRUE(t);
    t->BeginDraw();
    t->FillRectangle({0, 0, 5, 10}, *solid(kRed));
    EXPECT_TRUE(t->EndDraw());
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint32_t got;
            std::memcpy(&got, &pixels[size_t(y) * stride + x * 4], 4);
            if (x < 5) EXPECT_EQ(got, 0xFFFF0000u) << x << "," << y;
            else EXPECT_EQ(std::memcmp(&got, &before[size_t(y) * stride + x * 4], 4), 0) << x << "," << y;
        }
    // The padding past each row is never written.
    for (int32_t y = 0; y < h; ++y) EXPECT_EQ(pixels[size_t(y) * stride + w * 4], 0xEE);
}

TEST(GfxTarget, ContextTargetDrawsOnTheCallersSurfaceAndPutsItsStateBack) {
    const win::CairoLib* lib = win::cairo_lib();
    ASSERT_TRUE(lib);
    cairo_surface_t* s = lib->image_surface_create(CAIRO_FORMAT_ARGB32, 10, 10);
    cairo_t* cr = lib->create(s);
    lib->translate(cr, 3, 0);
    {
        auto t = RenderTarget::for_context(cr);
        ASSERT_TRUE(t);
        t->BeginDraw();
        t->PushAxisAlignedClip({0, 0, 5, 5}, AntialiasMode::Aliased);
        t->FillRectangle({0, 0, 10, 10}, *solid(kRed));
        // Text through the target is grayscale while it draws, and the caller's choice after.
        cairo_font_options_t* options = lib->font_options_create();
        lib->get_font_options(cr, options);
        EXPECT_EQ(lib->font_options_get_antialias(options), CAIRO_ANTIALIAS_GRAY);
        t->EndDraw();
        lib->get_font_options(cr, options);
        EXPECT_EQ(lib->font_options_get_antialias(options), CAIRO_ANTIALIAS_DEFAULT);
        lib->font_options_destroy(options);
    }
    lib->surface_flush(s);
    const uint32_t* px = reinterpret_cast<const uint32_t*>(lib->image_surface_get_data(s));
    // The target's transform and clip count from the caller's origin, 3 pixels in.
    EXPECT_EQ(px[2], 0u);
    EXPECT_EQ(px[4], 0xFFFF0000u);
    EXPECT_EQ(px[8], 0u);
    // After EndDraw the caller's clip and transform are back.
    lib->set_source_rgba(cr, 0, 0, 1, 1);
    lib->rectangle(cr, 0, 9, 1, 1);
    lib->fill(cr);
    lib->surface_flush(s);
    EXPECT_EQ(px[9 * 10 + 3], 0xFF0000FFu);
    EXPECT_EQ(lib->status(cr), CAIRO_STATUS_SUCCESS);
    lib->destroy(cr);
    lib->surface_destroy(s);
}

TEST(GfxTarget, PrimitivesOutsideBeginAndEndDrawNothing) {
    auto t = RenderTarget::offscreen(10, 10);
    t->FillRectangle({0, 0, 10, 10}, *solid(kRed));
    EXPECT_EQ(t->bitmap()->pixel(5, 5), 0u);
    EXPECT_FALSE(t->EndDraw());
    t->BeginDraw();
    t->FillRectangle({0, 0, 10, 10}, *solid(kRed));
    EXPECT_TRUE(t->EndDraw());
    EXPECT_EQ(t->bitmap()->pixel(5, 5), 0xFFFF0000u);
}

TEST(GfxTarget, ShapesAndBitmaps) {
    Canvas c;
    const auto blue = solid(kBlue);
    c->FillEllipse({{50, 50}, 20, 10}, *blue);
    EXPECT_EQ(c.rgb(50, 50), kBlueRgb);
    EXPECT_EQ(c.rgb(50, 63), kWhiteRgb);
    EXPECT_EQ(c.rgb(68, 50), kBlueRgb);
    c->FillRoundedRectangle({{0, 70, 30, 100}, 10, 10}, *blue);
    EXPECT_EQ(c.rgb(1, 71), kWhiteRgb);  // the corner is cut
    EXPECT_EQ(c.rgb(15, 85), kBlueRgb);
    c->DrawRectangle({80.5f, 80.5f, 95.5f, 95.5f}, *blue, 1);
    EXPECT_EQ(c.rgb(80, 85), kBlueRgb);
    EXPECT_EQ(c.rgb(85, 85), kWhiteRgb);

    // A 2x1 red-blue bitmap stretched into a rectangle, and its blue half alone at an offset.
    const uint32_t two[] = {0xFFFF0000, 0xFF0000FF};
    auto bitmap = Bitmap::from_pixels(reinterpret_cast<const uint8_t*>(two), 2, 1, 8);
    Canvas d;
    d->DrawBitmap(*bitmap, {0, 0, 10, 10}, 1, Interpolation::NearestNeighbor);
    EXPECT_EQ(d.rgb(2, 5), kRedRgb);
    EXPECT_EQ(d.rgb(7, 5), kBlueRgb);
    EXPECT_EQ(d.rgb(12, 5), kWhiteRgb);
    const RectF right{1, 0, 2, 1};
    d->DrawImage(*bitmap, {20, 20}, Interpolation::Linear, &right);
    EXPECT_EQ(d.rgb(20, 20), kBlueRgb);
    EXPECT_EQ(d.rgb(21, 20), kWhiteRgb);
    EXPECT_EQ(d.rgb(19, 20), kWhiteRgb);
    // At half opacity over white, and a cubic stretch that keeps the ends' colours.
    d->DrawBitmap(*bitmap, {40, 40, 42, 41}, 0.5f);
    EXPECT_EQ(d.red(40, 40), 255);
    EXPECT_NEAR(d.blue(40, 40), 128, 1);
    d->DrawBitmap(*bitmap, {0, 50, 40, 60}, 1, Interpolation::Cubic);
    EXPECT_GE(d.red(1, 55), 250);
    EXPECT_GE(d.blue(38, 55), 250);
}

TEST(GfxTarget, PerspectiveDraw) {
    // An opaque 20x20 source of distinct colours.
    std::vector<uint32_t> src(20 * 20);
    for (int i = 0; i < 400; ++i) src[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8 & 0xFFFFFF);
    auto bitmap = Bitmap::from_pixels(reinterpret_cast<const uint8_t*>(src.data()), 20, 20, 80);
    Canvas c;
    const PointF same[4] = {{10, 10}, {30, 10}, {30, 30}, {10, 30}};
    c->DrawBitmapPerspective(*bitmap, {0, 0, 20, 20}, same);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const uint32_t got = c.argb(x + 10, y + 10), want = src[y * 20 + x];
            for (int shift = 0; shift < 32; shift += 8)
                ASSERT_LE(std::abs(int(got >> shift & 255) - int(want >> shift & 255)), 1) << x << "," << y;
        }
    EXPECT_EQ(c.rgb(9, 9), kWhiteRgb);
    EXPECT_EQ(c.rgb(30, 30), kWhiteRgb);
    // A trapezium: its narrow top row is inside, the corners beside it outside; a quadrilateral
    // folded to a point draws nothing.
    Canvas d;
    const PointF trapezium[4] = {{40, 10}, {60, 10}, {90, 90}, {10, 90}};
    d->DrawBitmapPerspective(*bitmap, {0, 0, 20, 20}, trapezium);
    EXPECT_NE(d.rgb(50, 12), kWhiteRgb);
    EXPECT_EQ(d.rgb(20, 12), kWhiteRgb);
    EXPECT_NE(d.rgb(15, 88), kWhiteRgb);
    Canvas e;
    const PointF point[4] = {{5, 5}, {5, 5}, {5, 5}, {5, 5}};
    e->DrawBitmapPerspective(*bitmap, {0, 0, 20, 20}, point);
    EXPECT_TRUE(e.untouched());
    EXPECT_TRUE(e->ok());
}

}  // namespace
}  // namespace nuv::host::gfx
