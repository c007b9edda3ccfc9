#include "host/gfx/effects.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/gfx/cairo_forms.h"
#include "host/win/cairo_lib.h"

namespace nuv::host::gfx {

namespace {

using win::cairo_lib;
using win::CairoLib;


// The blur in two passes of a sampled, normalised kernel reaching 3 deviations, each pass
// spreading every pixel over the grown plane: the sum of every channel is kept. With a tint only
// the alpha is blurred and the result is the tint at that coverage.
std::unique_ptr<Bitmap> blur(const Bitmap& source, float deviation, const ColorF* tint, PointF* offset) {
    *offset = {};
    const bool copy = !(deviation > 0) || !std::isfinite(deviation);
    const double reach = copy ? 0 : std::ceil(3.0 * deviation);
    const int32_t w = source.width(), h = source.height();
    if (reach > kMaxSide || w + 2 * reach > kMaxSide || h + 2 * reach > kMaxSide) return nullptr;
    const int32_t r = int32_t(reach), gw = w + 2 * r, gh = h + 2 * r;
    std::unique_ptr<Bitmap> out = Bitmap::create(gw, gh);
    if (!out) return nullptr;
    std::vector<float> kernel(2 * r + 1);
    double total = 0;
    for (int32_t k = -r; k <= r; ++k) total += kernel[k + r] = float(copy ? 1 : std::exp(-0.5 * k * k / (double(deviation) * deviation)));
    for (float& k : kernel) k = float(k / total);

    const int channels = tint ? 1 : 4;
    // Pass one: rows of the source into rows of the grown width.
    std::vector<float> across(size_t(gw) * h * channels, 0.f);
    const uint8_t* in = source.data();
    const int32_t in_stride = source.stride();
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(in + int64_t(y) * in_stride);
        float* to = &across[size_t(y) * gw * channels];
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t p = row[x];
            if (p == 0) continue;
            for (int c = 0; c < channels; ++c) {
                const float v = float(tint ? p >> 24 : (p >> (8 * c)) & 255);
                float* at = to + size_t(x) * channels + c;
                for (int32_t k = 0; k <= 2 * r; ++k) at[size_t(k) * channels] += v * kernel[k];
            }
        }
    }
    // Pass two: columns into the grown height.
    std::vector<float> down(size_t(gw) * gh * channels, 0.f);
    const size_t line = size_t(gw) * channels;
    for (int32_t y = 0; y < h; ++y) {
        const float* from = &across[size_t(y) * line];
        for (int32_t k = 0; k <= 2 * r; ++k) {
            float* to = &down[size_t(y + k) * line];
            const float weight = kernel[k];
            for (size_t i = 0; i < line; ++i) to[i] += from[i] * weight;
        }
    }
    uint8_t* data = out->data();
    auto byte = [](float v) { return uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
    for (int32_t y = 0; y < gh; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + int64_t(y) * out->stride());
        const float* from = &down[size_t(y) * line];
        for (int32_t x = 0; x < gw; ++x) {
            if (tint) {
                const float a = from[x] / 255.f * std::clamp(tint->a, 0.f, 1.f);
                auto ch = [&](float k) { return byte(std::clamp(k, 0.f, 1.f) * a * 255.f); };
                row[x] = (byte(a * 255.f) << 24) | (ch(tint->r) << 16) | (ch(tint->g) << 8) | ch(tint->b);
                continue;
            }
            const float* p = from + size_t(x) * 4;
            const uint32_t a = byte(p[3]);
            row[x] = (a << 24) | (std::min(byte(p[2]), a) << 16) | (std::min(byte(p[1]), a) << 8) | std::min(byte(p[0]), a);
        }
    }
    out->mark_dirty();
    *offset = {-float(r), -float(r)};
    return out;
}

}  // namespace

std::unique_ptr<Bitmap> GaussianBlur(const Bitmap& source, float deviation, PointF* offset) {
    return blur(source, deviation, nullptr, offset);
}

std::unique_ptr<Bitmap> Shadow(const Bitmap& source, float deviation, ColorF color, PointF* offset) {
    if (!finite(color.r) || !finite(color.g) || !finite(color.b) || !finite(color.a)) color = {0, 0, 0, 0};
    return blur(source, deviation, &color, offset);
}

std::unique_ptr<Bitmap> Scale(const Bitmap& source, float sx, float sy, Interpolation interpolation) {
    if (!(sx >= 0) || !(sy >= 0) || !finite(sx) || !finite(sy)) return nullptr;
    const double dw = std::round(source.width() * double(sx)), dh = std::round(source.height() * double(sy));
    if (dw > kMaxSide || dh > kMaxSide) return nullptr;
    const int32_t w = source.width() && sx > 0 ? std::max(1, int32_t(dw)) : 0;
    const int32_t h = source.height() && sy > 0 ? std::max(1, int32_t(dh)) : 0;
    std::unique_ptr<Bitmap> out = Bitmap::create(w, h);
    if (!out || w == 0 || h == 0) return out;
    const CairoLib* c = cairo_lib();
    cairo_t* cr = c->create(out->surface());
    const cairo_matrix_t m{double(w) / source.width(), 0, 0, double(h) / source.height(), 0, 0};
    c->set_matrix(cr, &m);
    cairo_pattern_t* p = c->pattern_create_for_surface(source.surface());
    c->pattern_set_filter(p, to_cairo(interpolation));
    c->pattern_set_extend(p, CAIRO_EXTEND_PAD);
    c->set_source(cr, p);
    c->set_operator(cr, CAIRO_OPERATOR_SOURCE);
    c->paint(cr);
    c->pattern_destroy(p);
    c->destroy(cr);
    out->mark_dirty();
    return out;
}

}  // namespace nuv::host::gfx
