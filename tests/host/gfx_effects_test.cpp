// Effects: the gaussian blur keeps a dot's total, a deviation of 0 copies, shadows take their
// colour, scaling by nearest neighbour, and sizes past the limit refused.
#include <limits>
#include <vector>

#include "host/gfx/effects.h"
#include "tests/host/gfx_support.h"

namespace nuv::host::gfx {
namespace {

using namespace testing;

// A transparent 30x30 bitmap with an opaque white dot of radius 3 in its middle.
std::unique_ptr<RenderTarget> dot() {
    auto t = RenderTarget::offscreen(30, 30);
    t->BeginDraw();
    t->FillEllipse({{15, 15}, 3, 3}, *solid(kWhite));
    t->EndDraw();
    return t;
}

// The sum of one premultiplied channel (0 blue ... 3 alpha).
double total(const Bitmap& b, int channel) {
    double sum = 0;
    for (int32_t y = 0; y < b.height(); ++y)
        for (int32_t x = 0; x < b.width(); ++x) sum += b.premultiplied(x, y) >> (8 * channel) & 255;
    return sum;
}

TEST(GfxEffects, BlurKeepsTheTotalAndZeroCopies) {
    auto source = dot();
    const Bitmap& s = *source->bitmap();
    PointF offset;
    auto blurred = GaussianBlur(s, 2, &offset);
    ASSERT_TRUE(blurred);
    EXPECT_EQ(blurred->width(), 30 + 12);
    EXPECT_EQ(offset.x, -6);
    for (int channel = 0; channel < 4; ++channel) EXPECT_NEAR(total(*blurred, channel), total(s, channel), total(s, channel) / 100);
    EXPECT_LT(blurred->premultiplied(21, 21) >> 24, s.premultiplied(15, 15) >> 24);  // spread out
    EXPECT_GT(blurred->premultiplied(21 + 5, 21) >> 24, 0u);                         // to beyond the dot
    for (float deviation : {0.f, -3.f, std::numeric_limits<float>::quiet_NaN()}) {
        auto copy = GaussianBlur(s, deviation, &offset);
        ASSERT_TRUE(copy);
        EXPECT_EQ(offset.x, 0);
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 30; ++x) ASSERT_EQ(copy->premultiplied(x, y), s.premultiplied(x, y));
    }
    EXPECT_FALSE(GaussianBlur(s, 20000, &offset));
    EXPECT_FALSE(GaussianBlur(s, std::numeric_limits<float>::infinity(), &offset) &&
                 offset.x != 0);  // infinite deviation: a copy, never a huge bitmap
}

TEST(GfxEffects, ShadowTakesItsColourAtTheCoverage) {
    auto square = RenderTarget::offscreen(40, 40);
    square->BeginDraw();
    square->FillRectangle({5, 5, 35, 35}, *solid(kBlue));
    square->EndDraw();
    PointF offset;
    auto shadow = Shadow(*square->bitmap(), 1, {1, 0, 0, 0.5f}, &offset);
    ASSERT_TRUE(shadow);
    const uint32_t middle = shadow->pixel(20 - int(offset.x), 20 - int(offset.y));
    EXPECT_NEAR(int(middle >> 24), 128, 1);
    EXPECT_EQ(middle & 0xFFFFFF, kRedRgb);
    EXPECT_EQ(shadow->pixel(0, 0), 0u);
}

TEST(GfxEffects, ScaleBySides) {
    const uint32_t two[] = {0xFFFF0000, 0xFF0000FF};
    auto bitmap = Bitmap::from_pixels(reinterpret_cast<const uint8_t*>(two), 2, 1, 8);
    auto scaled = Scale(*bitmap, 3, 2, Interpolation::NearestNeighbor);
    ASSERT_TRUE(scaled);
    ASSERT_EQ(scaled->width(), 6);
    ASSERT_EQ(scaled->height(), 2);
    std::vector<uint32_t> row;
    for (int x = 0; x < 6; ++x) row.push_back(scaled->pixel(x, 1) & 0xFFFFFF);
    EXPECT_EQ(row, (std::vector<uint32_t>{kRedRgb, kRedRgb, kRedRgb, kBlueRgb, kBlueRgb, kBlueRgb}));
    auto flat = Scale(*bitmap, 0, 1, Interpolation::Linear);
    ASSERT_TRUE(flat);
    EXPECT_EQ(flat->width(), 0);
    EXPECT_FALSE(Scale(*bitmap, -1, 1, Interpolation::Linear));
    EXPECT_FALSE(Scale(*bitmap, 20000, 1, Interpolation::Linear));
}

}  // namespace
}  // namespace nuv::host::gfx
