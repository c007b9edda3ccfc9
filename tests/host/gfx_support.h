// The gfx tests' canvas: an offscreen target, cleared white and drawing, read back pixel by
// pixel as 0xRRGGBB (or with alpha), and the few colours and brushes the tests paint with.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "host/gfx/brush.h"
#include "host/gfx/target.h"

namespace nuv::host::gfx::testing {

constexpr ColorF kWhite{1, 1, 1, 1}, kBlack{0, 0, 0, 1}, kRed{1, 0, 0, 1}, kBlue{0, 0, 1, 1}, kGreen{0, 1, 0, 1};
constexpr uint32_t kWhiteRgb = 0xFFFFFF, kBlackRgb = 0, kRedRgb = 0xFF0000, kBlueRgb = 0x0000FF, kGreenRgb = 0x00FF00;

struct Canvas {
    std::unique_ptr<RenderTarget> target;
    explicit Canvas(int32_t width = 100, int32_t height = 100, ColorF background = kWhite)
        : target(RenderTarget::offscreen(width, height)) {
        EXPECT_TRUE(target);
        target->BeginDraw();
        target->Clear(background);
    }
    RenderTarget* operator->() const { return target.get(); }
    // The straight pixel, 0xAARRGGBB, and without its alpha.
    uint32_t argb(int32_t x, int32_t y) const { return target->bitmap()->pixel(x, y); }
    uint32_t rgb(int32_t x, int32_t y) const { return argb(x, y) & 0xFFFFFF; }
    int red(int32_t x, int32_t y) const { return int(argb(x, y) >> 16 & 255); }
    int blue(int32_t x, int32_t y) const { return int(argb(x, y) & 255); }
    // Every pixel still the colour it was cleared to.
    bool untouched(uint32_t rgb_value = kWhiteRgb) const {
        for (int32_t y = 0; y < target->bitmap()->height(); ++y)
            for (int32_t x = 0; x < target->bitmap()->width(); ++x)
                if (rgb(x, y) != rgb_value) return false;
        return true;
    }
};

inline std::unique_ptr<Brush> solid(ColorF c) { return CreateSolidColorBrush(c); }

}  // namespace nuv::host::gfx::testing
