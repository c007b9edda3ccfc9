#include "runtime/platform/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace nuv::geometry {
namespace {

TEST(Geometry, VectorsAndTurns) {
    EXPECT_DOUBLE_EQ(length(from_point(3, 4)), 5);
    Vector v{3, 4};
    normalise(&v);
    EXPECT_DOUBLE_EQ(v.x, 0.6);
    Vector zero{0, 0};
    normalise(&zero);
    EXPECT_EQ(zero.x, 0);
    EXPECT_DOUBLE_EQ(cross({1, 0}, {0, 1}), 1);
    EXPECT_DOUBLE_EQ(dot({1, 2}, {3, 4}), 11);
    EXPECT_TRUE(turns_positive({0, 0}, {1, 0}, {1, 1}));
    EXPECT_TRUE(turns_negative({0, 0}, {1, 0}, {1, -1}));
    EXPECT_FALSE(turns_negative({0, 0}, {1, 0}, {2, 0}));
    const Point r = rotate({1, 0}, 90);
    EXPECT_NEAR(r.x, 0, 1e-6);
    EXPECT_NEAR(r.y, 1, 1e-6);
}

TEST(Geometry, QuadFlipsMirrorEachCorner) {
    Quad q = {{3, 1}, {5, 1}, {5, 2}, {3, 2}};
    quad_flip_x(q, 10);
    EXPECT_EQ(q[0].x, 17);
    EXPECT_EQ(q[1].x, 15);
    quad_flip_y(q, 0);
    EXPECT_EQ(q[2].y, -2);
}

TEST(Geometry, PointInQuadCountsTheEdgesAsInside) {
    // Clockwise on screen (y down): every inside point is on the non-positive side.
    const Quad q = {{0, 0}, {0, 4}, {4, 4}, {4, 0}};
    const struct {
        Point p;
        bool inside;
    } rows[] = {{{2, 2}, true}, {{0, 2}, true}, {{4, 4}, true}, {{2, 0}, true}, {{5, 2}, false}, {{2, -0.01f}, false}};
    for (const auto& row : rows) EXPECT_EQ(point_in_quad(row.p, q), row.inside) << row.p.x << "," << row.p.y;
}

TEST(Geometry, CopyRectClipsAndRefusesAnOriginOutside) {
    const uint32_t from[6] = {1, 2, 3, 4, 5, 6};  // 3 x 2
    uint32_t to[6] = {};
    EXPECT_EQ(copy_rect(from, 3, 2, 1, 0, 5, 5, to), 1);
    EXPECT_EQ(to[0], 2u);
    EXPECT_EQ(to[1], 3u);
    EXPECT_EQ(to[2], 5u);  // packed at the clipped width 2
    EXPECT_EQ(to[3], 6u);
    uint32_t untouched[2] = {9, 9};
    EXPECT_EQ(copy_rect(from, 3, 2, -1, 0, 1, 1, untouched), 0);
    EXPECT_EQ(copy_rect(from, 3, 2, 0, -1, 1, 1, untouched), 0);
    EXPECT_EQ(copy_rect(from, 3, 2, 3, 0, 1, 1, untouched), 0);
    EXPECT_EQ(copy_rect(from, 3, 2, 0, 2, 1, 1, untouched), 0);
    EXPECT_EQ(untouched[0], 9u);
}

TEST(Geometry, QuadOnTheSourceRectangleGivesItBack) {
    constexpr int32_t w = 8, h = 6;
    uint32_t from[w * h];
    for (int32_t i = 0; i < w * h; i++)
        from[i] = 0xFF000000u | uint32_t(i * 5) << 16 | uint32_t(i * 3) << 8 | uint32_t(i);
    const Quad q = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    int32_t ow = 0, oh = 0;
    const std::vector<uint32_t> out = quad_resample(from, w, h, q, &ow, &oh);
    ASSERT_EQ(ow, w);
    ASSERT_EQ(oh, h);
    for (int32_t i = 0; i < w * h; i++)
        for (int shift = 0; shift < 32; shift += 8)
            EXPECT_LE(std::abs(int((out[size_t(i)] >> shift) & 255) - int((from[i] >> shift) & 255)), 1) << i;
}

TEST(Geometry, DegenerateOrNonFiniteQuadsLeaveTransparentPixels) {
    const uint32_t from[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    int32_t ow = 0, oh = 0;
    const Quad line = {{0, 0}, {0, 4}, {0, 4}, {0, 0}};  // no area: every division is 0 by 0
    for (uint32_t p : quad_resample(from, 2, 2, line, &ow, &oh)) EXPECT_EQ(p, 0u);
    const Quad flat = {{0, 0}, {4, 0}, {4, 0}, {0, 0}};
    for (uint32_t p : quad_resample(from, 2, 2, flat, &ow, &oh)) EXPECT_EQ(p, 0u);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const Quad bad = {{0, 0}, {0, nan}, {4, 4}, {inf, 0}};
    EXPECT_TRUE(quad_resample(from, 2, 2, bad, &ow, &oh).empty());
    EXPECT_EQ(ow, 0);
    const Quad q = {{0, 0}, {0, 2}, {2, 2}, {2, 0}};
    EXPECT_TRUE(quad_resample(from, 0, 2, q, &ow, &oh).empty());
}

TEST(Geometry, Yuy2ToBgra) {
    const uint8_t grey[4] = {128, 128, 128, 128};
    uint32_t out[2] = {};
    yuy2_to_bgra(2, 1, grey, out);
    EXPECT_EQ(out[0], 0xFF808080u);
    EXPECT_EQ(out[1], 0xFF808080u);
    // Red-ish: V high; negative terms round toward minus infinity and clamp at 0 and 255.
    const uint8_t red[4] = {76, 85, 255, 255};
    yuy2_to_bgra(2, 1, red, out);
    const int32_t e = 127, d = -43;
    const uint32_t r = uint32_t(std::min(255, 76 + ((91881 * e) >> 16)));
    const uint32_t g = uint32_t(std::max(0, 76 - ((21889 * d) >> 16) - ((46792 * e) >> 16)));
    const uint32_t b = uint32_t(std::max(0, 76 + ((116129 * d) >> 16)));
    EXPECT_EQ(out[0], 0xFF000000u | r << 16 | g << 8 | b);
}

TEST(Geometry, Yuy2OddWidthNeverReadsPastItsRow) {
    // Each row of 3 pixels is 2 groups (8 bytes); the data ends exactly there.
    auto* rows = static_cast<uint8_t*>(std::malloc(16));
    for (int i = 0; i < 16; i++) rows[i] = i < 8 || i % 2 ? 128 : 16;
    uint32_t out[6] = {};
    yuy2_to_bgra(3, 2, rows, out);
    EXPECT_EQ(out[2], 0xFF808080u);
    EXPECT_EQ(out[3], 0xFF101010u);
    EXPECT_EQ(out[5], 0xFF101010u);
    std::free(rows);
}

}  // namespace
}  // namespace nuv::geometry
