// Path geometries and strokes: figures filled or hollow, Béziers, elliptical arcs by end point,
// widened bounds with caps and the miter limit, and deep clip stacks.
#include <vector>

#include "tests/host/gfx_support.h"

namespace nuv::host::gfx {
namespace {

using namespace testing;

PathGeometry segment(PointF a, PointF b) {
    PathGeometry g;
    g.BeginFigure(a, FigureBegin::Hollow);
    g.AddLine(b);
    g.EndFigure(FigureEnd::Open);
    return g;
}

TEST(GfxPath, WidenedBoundsFollowCapsAndTheMiterLimit) {
    const PathGeometry line = segment({10, 10}, {20, 10});
    StrokeStyle flat, square;
    square.cap = CapStyle::Square;
    RectF r;
    ASSERT_TRUE(line.GetWidenedBounds(4, flat, {}, &r));
    EXPECT_EQ((std::vector<float>{r.left, r.top, r.right, r.bottom}), (std::vector<float>{10, 8, 20, 12}));
    ASSERT_TRUE(line.GetWidenedBounds(4, square, {}, &r));
    EXPECT_EQ((std::vector<float>{r.left, r.top, r.right, r.bottom}), (std::vector<float>{8, 8, 22, 12}));
    ASSERT_TRUE(line.GetWidenedBounds(4, flat, Matrix3x2::translation(5, 0), &r));
    EXPECT_EQ(r.left, 15);
    EXPECT_FALSE(PathGeometry().GetWidenedBounds(4, flat, {}, &r));
    EXPECT_FALSE(line.GetWidenedBounds(0, flat, {}, &r));

    // A V whose tip, at width 2, sticks out by half the width over the half angle's sine: the
    // limit counts the miter against half the width.
    struct Case {
        float spread;  // the arms' ends above and below the tip
        LineJoin join;
        float limit;
        float tip;     // the right edge of the bounds, about
    };
    const Case cases[] = {
        {25.8f, LineJoin::Miter, 10, 104},        // ratio 8 of half the width: mitered
        {14.43f, LineJoin::Miter, 10, 100.15f},   // ratio 14: bevelled
        {14.43f, LineJoin::MiterOrBevel, 10, 100.15f},
        {14.43f, LineJoin::Miter, 20, 107},       // within a limit of 20
        {14.43f, LineJoin::Bevel, 20, 100.15f},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.limit);
        PathGeometry v;
        v.BeginFigure({0, 50 - k.spread}, FigureBegin::Hollow);
        v.AddLine({100, 50});
        v.AddLine({0, 50 + k.spread});
        v.EndFigure(FigureEnd::Open);
        StrokeStyle style;
        style.join = k.join;
        style.miter_limit = k.limit;
        ASSERT_TRUE(v.GetWidenedBounds(2, style, {}, &r));
        EXPECT_NEAR(r.right, k.tip, 0.1);
    }
}

TEST(GfxPath, HollowFiguresAreStrokedNotFilled) {
    PathGeometry g;
    g.BeginFigure({10, 10}, FigureBegin::Hollow);
    g.AddLine({40, 10});
    g.AddLine({40, 40});
    g.EndFigure(FigureEnd::Closed);
    g.BeginFigure({60, 60}, FigureBegin::Filled);
    g.AddLine({90, 60});
    g.AddLine({90, 90});  // left open: a fill still covers it
    g.EndFigure(FigureEnd::Open);
    EXPECT_EQ(g.figure_count(), 2u);
    Canvas c;
    c->FillGeometry(g, *solid(kRed));
    EXPECT_EQ(c.rgb(35, 15), kWhiteRgb);
    EXPECT_EQ(c.rgb(85, 65), kRedRgb);
    c->DrawGeometry(g, *solid(kBlue), 2);
    EXPECT_EQ(c.rgb(25, 10), kBlueRgb);
    EXPECT_EQ(c.rgb(25, 25), kBlueRgb);  // the closing side of the hollow figure
    EXPECT_EQ(c.rgb(85, 65), kRedRgb);  // inside the filled one, the fill stays
}

TEST(GfxPath, QuadraticBezierIsItsCubic) {
    PathGeometry quad, cubic;
    quad.BeginFigure({10, 90}, FigureBegin::Filled);
    quad.AddQuadraticBezier({50, 0}, {90, 90});
    quad.EndFigure(FigureEnd::Closed);
    cubic.BeginFigure({10, 90}, FigureBegin::Filled);
    cubic.AddBezier({10 + 2.f / 3 * 40, 90 - 2.f / 3 * 90}, {90 - 2.f / 3 * 40, 90 - 2.f / 3 * 90}, {90, 90});
    cubic.EndFigure(FigureEnd::Closed);
    Canvas a, b;
    a->FillGeometry(quad, *solid(kBlack));
    b->FillGeometry(cubic, *solid(kBlack));
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_EQ(a.argb(x, y), b.argb(x, y)) << x << "," << y;
    EXPECT_EQ(a.rgb(50, 60), kBlackRgb);
    EXPECT_EQ(a.rgb(50, 40), kWhiteRgb);
}

TEST(GfxPath, ArcsByEndPoint) {
    // From (10,50) to (90,50), each arc closed by its chord; where the pie lands says which arc.
    struct Case {
        const char* name;
        SizeF radii;
        float rotation;
        SweepDirection sweep;
        ArcSize size;
        PointF inside, outside;
    };
    const Case cases[] = {
        {"clockwise: over the top", {40, 40}, 0, SweepDirection::Clockwise, ArcSize::Small, {50, 15}, {50, 85}},
        {"counter-clockwise: under", {40, 40}, 0, SweepDirection::CounterClockwise, ArcSize::Small, {50, 85}, {50, 15}},
        {"radii too small grow", {5, 5}, 0, SweepDirection::Clockwise, ArcSize::Small, {50, 15}, {50, 85}},
        {"a flat ellipse", {40, 20}, 0, SweepDirection::Clockwise, ArcSize::Small, {50, 35}, {50, 25}},
        {"turned a quarter", {20, 40}, 90, SweepDirection::Clockwise, ArcSize::Small, {50, 35}, {50, 25}},
        {"large: centre above, top at -30", {50, 50}, 0, SweepDirection::Clockwise, ArcSize::Large, {50, 5}, {50, 95}},
        {"small: centre below, top at 30", {50, 50}, 0, SweepDirection::Clockwise, ArcSize::Small, {50, 35}, {50, 25}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PathGeometry g;
        g.BeginFigure({10, 50}, FigureBegin::Filled);
        g.AddArc({{90, 50}, k.radii, k.rotation, k.sweep, k.size});
        g.EndFigure(FigureEnd::Closed);
        Canvas c;
        c->FillGeometry(g, *solid(kRed));
        EXPECT_EQ(c.rgb(int(k.inside.x), int(k.inside.y)), kRedRgb);
        EXPECT_EQ(c.rgb(int(k.outside.x), int(k.outside.y)), kWhiteRgb);
    }
    // A radius of 0 is a straight line; the same end point adds nothing.
    PathGeometry g;
    g.BeginFigure({10, 50}, FigureBegin::Hollow);
    g.AddArc({{90, 50}, {0, 10}});
    g.AddArc({{90, 50}, {10, 10}});
    g.EndFigure(FigureEnd::Open);
    RectF r;
    ASSERT_TRUE(g.GetWidenedBounds(2, {}, {}, &r));
    EXPECT_EQ(r.top, 49);
    EXPECT_EQ(r.bottom, 51);
}

TEST(GfxScale, TenThousandNestedClips) {
    Canvas c;
    PathGeometry mask;
    mask.BeginFigure({0, 0}, FigureBegin::Filled);
    mask.AddLine({100, 0});
    mask.AddLine({0, 100});
    mask.EndFigure(FigureEnd::Closed);
    for (int i = 0; i < 10000; ++i) {
        if (i % 2) {
            LayerParameters layer;
            layer.mask = i % 1000 == 1 ? &mask : nullptr;
            c->PushLayer(layer);
        } else {
            c->PushAxisAlignedClip({float(i) / 1000, 0, 100, 100}, AntialiasMode::Aliased);
        }
    }
    EXPECT_EQ(c->clip_depth(), 10000u);
    c->FillRectangle({0, 0, 100, 100}, *solid(kRed));
    EXPECT_EQ(c.rgb(12, 12), kRedRgb);
    EXPECT_EQ(c.rgb(5, 12), kWhiteRgb);   // left of the narrowest clip
    EXPECT_EQ(c.rgb(80, 80), kWhiteRgb);  // outside the mask
    while (c->PopLayer()) {
    }
    EXPECT_EQ(c->clip_depth(), 0u);
    c->FillRectangle({0, 0, 100, 100}, *solid(kBlue));
    EXPECT_TRUE(c.untouched(kBlueRgb));
    EXPECT_TRUE(c->EndDraw());
}

}  // namespace
}  // namespace nuv::host::gfx
