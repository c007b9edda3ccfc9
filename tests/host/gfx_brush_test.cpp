// Brushes: gradients with their extend modes, focal offsets and transforms, and image brushes
// over bitmaps and recorded tiles with an extend mode per axis.
#include <limits>
#include <vector>

#include "tests/host/gfx_support.h"

namespace nuv::host::gfx {
namespace {

using namespace testing;

const std::vector<GradientStop> kRedToBlue{{0, kRed}, {1, kBlue}};

TEST(GfxBrush, LinearGradientAndItsExtendModes) {
    Canvas c;
    c->FillRectangle({0, 0, 100, 100},
                     *CreateLinearGradientBrush({0, 0}, {100, 0}, kRedToBlue, ExtendMode::Clamp));
    EXPECT_GE(c.red(1, 50), 250);
    EXPECT_GE(c.blue(98, 50), 250);
    // Over 50 pixels, sampled beyond the end: at 55 (1.1 of the way) and 99 (1.99).
    struct Case {
        ExtendMode mode;
        bool red_at_55, red_at_99;
    };
    for (const Case& k : {Case{ExtendMode::Clamp, false, false}, Case{ExtendMode::Wrap, true, false},
                          Case{ExtendMode::Mirror, false, true}}) {
        SCOPED_TRACE(int(k.mode));
        Canvas d;
        d->FillRectangle({0, 0, 100, 100}, *CreateLinearGradientBrush({0, 0}, {50, 0}, kRedToBlue, k.mode));
        EXPECT_EQ(d.red(55, 5) > 200, k.red_at_55) << d.red(55, 5);
        EXPECT_EQ(d.blue(55, 5) > 200, !k.red_at_55) << d.blue(55, 5);
        EXPECT_EQ(d.red(99, 5) > 240, k.red_at_99);
        EXPECT_EQ(d.blue(99, 5) > 240, !k.red_at_99);
    }
}

TEST(GfxBrush, StopsAreSortedAndCleaned) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Given out of order, with one unusable stop and colour components past 1.
    const std::vector<GradientStop> stops{{1, {0, 0, 5, 1}}, {nan, kGreen}, {0, kRed}};
    Canvas c;
    c->FillRectangle({0, 0, 100, 10}, *CreateLinearGradientBrush({0, 0}, {100, 0}, stops, ExtendMode::Clamp));
    EXPECT_GE(c.red(1, 5), 250);
    EXPECT_GE(c.blue(98, 5), 250);
    EXPECT_LT(int(c.argb(50, 5) >> 8 & 255), 5);  // no green anywhere
    // No stops at all paints nothing visible; a gradient of one stop is that colour.
    c->FillRectangle({0, 20, 100, 30}, *CreateLinearGradientBrush({0, 0}, {100, 0}, {}, ExtendMode::Clamp));
    EXPECT_EQ(c.rgb(50, 25), kWhiteRgb);
    const std::vector<GradientStop> one{{0.5f, kBlue}};
    c->FillRectangle({0, 40, 100, 50}, *CreateLinearGradientBrush({0, 0}, {100, 0}, one, ExtendMode::Clamp));
    EXPECT_EQ(c.rgb(5, 45), kBlueRgb);
    EXPECT_TRUE(c->ok());
}

TEST(GfxScale, AThousandStops) {
    std::vector<GradientStop> stops;
    for (int i = 0; i < 1000; ++i) stops.push_back({i / 999.f, i % 2 ? kRed : kBlue});
    Canvas c;
    c->FillRectangle({0, 0, 100, 100}, *CreateLinearGradientBrush({0, 0}, {100, 0}, stops, ExtendMode::Wrap));
    EXPECT_NE(c.rgb(50, 50), kWhiteRgb);
    EXPECT_TRUE(c->ok());
}

TEST(GfxBrush, RadialGradientWithFocalOffsetAndEllipse) {
    Canvas c;
    c->FillRectangle({0, 0, 100, 100},
                     *CreateRadialGradientBrush({50, 50}, {0, 0}, 40, 40, kRedToBlue, ExtendMode::Clamp));
    EXPECT_GE(c.red(50, 50), 245);
    EXPECT_GE(c.blue(89, 50), 240);
    EXPECT_GE(c.blue(2, 2), 250);  // padded beyond the circle
    // The focal point 30 to the left: the red centre moves there.
    Canvas d;
    d->FillRectangle({0, 0, 100, 100},
                     *CreateRadialGradientBrush({50, 50}, {-30, 0}, 40, 40, kRedToBlue, ExtendMode::Clamp));
    EXPECT_GE(d.red(20, 50), 240);
    EXPECT_GT(d.blue(60, 50), d.red(60, 50));
    // Radii 40 x 10: blue 12 below the centre, still reddish 12 to the right.
    Canvas e;
    auto brush = CreateRadialGradientBrush({50, 50}, {0, 0}, 40, 10, kRedToBlue, ExtendMode::Clamp);
    e->FillRectangle({0, 0, 100, 100}, *brush);
    EXPECT_GE(e.blue(50, 62), 250);
    EXPECT_GT(e.red(62, 50), e.blue(62, 50));
    // Moving the focus remakes the pattern.
    brush->SetGradientOriginOffset({30, 0});
    e->FillRectangle({0, 0, 100, 100}, *brush);
    EXPECT_GE(e.red(80, 50), 220);
    EXPECT_LE(e.blue(80, 50), 35);
}

TEST(GfxBrush, BrushTransformTurnsTheGradient) {
    auto brush = CreateLinearGradientBrush({0, 0}, {100, 0}, kRedToBlue, ExtendMode::Clamp);
    brush->SetTransform(Matrix3x2::rotation(90));  // the line now runs down from (0,0) to (0,100)
    Canvas c;
    c->FillRectangle({0, 0, 100, 100}, *brush);
    EXPECT_GE(c.red(50, 1), 250);
    EXPECT_GE(c.blue(50, 98), 250);
    // A brush transform that cannot be inverted paints nothing.
    brush->SetTransform(Matrix3x2::scale(0, 1));
    Canvas d;
    d->FillRectangle({0, 0, 100, 100}, *brush);
    EXPECT_TRUE(d.untouched());
    EXPECT_TRUE(d->ok());
}

// The six pixels of a row painted with an image brush over `bitmap`.
std::vector<uint32_t> row_of_six(const Bitmap& bitmap, ExtendMode x, ExtendMode y, int32_t row = 0) {
    Canvas c(6, 6);
    c->FillRectangle({0, 0, 6, 6}, *CreateImageBrush(bitmap, {0, 0, 9, 9}, x, y, Interpolation::Linear));
    std::vector<uint32_t> out;
    for (int32_t i = 0; i < 6; ++i) out.push_back(c.rgb(i, row));
    return out;
}

TEST(GfxBrush, ImageBrushExtendsPerAxis) {
    const uint32_t two[] = {0xFFFF0000, 0xFF0000FF};
    auto red_blue = Bitmap::from_pixels(reinterpret_cast<const uint8_t*>(two), 2, 1, 8);
    const uint32_t R = kRedRgb, B = kBlueRgb, G = kGreenRgb, W = kWhiteRgb;
    using Row = std::vector<uint32_t>;
    EXPECT_EQ(row_of_six(*red_blue, ExtendMode::Wrap, ExtendMode::Wrap), (Row{R, B, R, B, R, B}));
    EXPECT_EQ(row_of_six(*red_blue, ExtendMode::Mirror, ExtendMode::Wrap), (Row{R, B, B, R, R, B}));
    EXPECT_EQ(row_of_six(*red_blue, ExtendMode::Clamp, ExtendMode::Clamp), (Row{R, B, B, B, B, B}));
    // 2x2 [red blue / green white]: one axis clamping while the other repeats or mirrors.
    const uint32_t four[] = {0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0xFFFFFFFF};
    auto square = Bitmap::from_pixels(reinterpret_cast<const uint8_t*>(four), 2, 2, 8);
    EXPECT_EQ(row_of_six(*square, ExtendMode::Wrap, ExtendMode::Clamp, 0), (Row{R, B, R, B, R, B}));
    EXPECT_EQ(row_of_six(*square, ExtendMode::Wrap, ExtendMode::Clamp, 4), (Row{G, W, G, W, G, W}));
    EXPECT_EQ(row_of_six(*square, ExtendMode::Mirror, ExtendMode::Clamp, 5), (Row{G, W, W, G, G, W}));
    EXPECT_EQ(row_of_six(*square, ExtendMode::Clamp, ExtendMode::Wrap, 2), (Row{R, B, B, B, B, B}));
    EXPECT_EQ(row_of_six(*square, ExtendMode::Clamp, ExtendMode::Mirror, 2), (Row{G, W, W, W, W, W}));
}

TEST(GfxBrush, ImageBrushFromARecordedTileAndASourceRectangle) {
    auto tile = RenderTarget::recording({0, 0, 4, 4});
    ASSERT_TRUE(tile);
    tile->BeginDraw();
    tile->FillRectangle({0, 0, 2, 4}, *solid(kRed));
    tile->FillRectangle({2, 0, 4, 4}, *solid(kBlue));
    tile->EndDraw();
    auto brush = CreateImageBrush(*tile, {0, 0, 4, 4}, ExtendMode::Wrap, ExtendMode::Wrap, Interpolation::Linear);
    Canvas c(12, 4);
    c->FillRectangle({0, 0, 12, 4}, *brush);
    EXPECT_EQ(c.rgb(0, 1), kRedRgb);
    EXPECT_EQ(c.rgb(2, 1), kBlueRgb);
    EXPECT_EQ(c.rgb(5, 1), kRedRgb);
    EXPECT_EQ(c.rgb(10, 1), kBlueRgb);
    // Only the blue half as the tile: it stays at its place in the source, so it covers all.
    auto blue_only = CreateImageBrush(*tile, {2, 0, 4, 4}, ExtendMode::Wrap, ExtendMode::Wrap, Interpolation::Linear);
    Canvas d(12, 4);
    d->FillRectangle({0, 0, 12, 4}, *blue_only);
    EXPECT_TRUE(d.untouched(kBlueRgb));
    // An empty source rectangle paints nothing; moving the brush moves the tile.
    auto none = CreateImageBrush(*tile, {3, 3, 3, 9}, ExtendMode::Wrap, ExtendMode::Wrap, Interpolation::Linear);
    Canvas e(12, 4);
    e->FillRectangle({0, 0, 12, 4}, *none);
    EXPECT_TRUE(e.untouched());
    brush->SetTransform(Matrix3x2::translation(1, 0));
    e->FillRectangle({0, 0, 12, 4}, *brush);
    EXPECT_EQ(e.rgb(0, 1), kBlueRgb);
    EXPECT_EQ(e.rgb(1, 1), kRedRgb);
}

}  // namespace
}  // namespace nuv::host::gfx
