// The 2D workload's C++ side: 10,000 filled rectangles and 10,000 stroked cubic Béziers on an
// 800x600 offscreen target through host/gfx, each pass timed in-process. The shapes come from
// the same generator as bench/peers/gfx_cairo.py's. Prints "pass seconds checksum" per pass for
// gfx_ratios.py.
//
// usage: nuv-gfx-bench
#include <chrono>
#include <cstdio>

#include "host/gfx/brush.h"
#include "host/gfx/target.h"

namespace {

using namespace nuv::host::gfx;

constexpr int kWidth = 800, kHeight = 600, kShapes = 10000;

// The shared generator: a 32-bit linear congruential sequence, as fractions of 1.
struct Numbers {
    uint32_t state = 12345;
    double next() {
        state = state * 1103515245u + 12345u;
        return (state >> 8) / double(1 << 24);
    }
};

template <class Work>
double seconds(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A sum of the pixels, so that both sides can be seen to have drawn something alike.
uint64_t checksum(const Bitmap& b) {
    uint64_t sum = 0;
    for (int32_t y = 0; y < b.height(); ++y)
        for (int32_t x = 0; x < b.width(); ++x) sum += b.premultiplied(x, y) & 0xFF;
    return sum;
}

}  // namespace

int main() {
    auto target = RenderTarget::offscreen(kWidth, kHeight);
    auto brush = CreateSolidColorBrush({0, 0, 0, 1});
    if (!target || !brush) return std::fprintf(stderr, "no Cairo\n"), 1;
    Numbers n;
    target->BeginDraw();
    target->Clear({1, 1, 1, 1});
    const double rectangles = seconds([&] {
        for (int i = 0; i < kShapes; ++i) {
            const float x = float(n.next() * kWidth), y = float(n.next() * kHeight);
            const float w = float(n.next() * 100), h = float(n.next() * 100);
            brush->SetColor({float(n.next()), float(n.next()), float(n.next()), 1});
            target->FillRectangle({x, y, x + w, y + h}, *brush);
        }
        target->EndDraw();
    });
    std::printf("rectangles %.4f %llu\n", rectangles, static_cast<unsigned long long>(checksum(*target->bitmap())));
    target->BeginDraw();
    target->Clear({1, 1, 1, 1});
    const double beziers = seconds([&] {
        for (int i = 0; i < kShapes; ++i) {
            PointF p[4];
            for (PointF& q : p) q = {float(n.next() * kWidth), float(n.next() * kHeight)};
            brush->SetColor({float(n.next()), float(n.next()), float(n.next()), 1});
            PathGeometry curve;
            curve.BeginFigure(p[0], FigureBegin::Hollow);
            curve.AddBezier(p[1], p[2], p[3]);
            curve.EndFigure(FigureEnd::Open);
            target->DrawGeometry(curve, *brush, 2);
        }
        target->EndDraw();
    });
    std::printf("beziers %.4f %llu\n", beziers, static_cast<unsigned long long>(checksum(*target->bitmap())));
    return 0;
}
