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


// to[i] += from[i] * weight for n floats, eight at a time (a block the compiler makes one
// vector operation).
void add_scaled(float* __restrict to, const float* __restrict from, float weight, int32_t n) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8)
        for (int j = 0; j < 8; ++j) to[i + j] += from[i + j] * weight;
    for (; i < n; ++i) to[i] += from[i] * weight;
}

// Planes kept between blurs, so that a shadow per shape does not take fresh memory each time;
// past this many floats they are given back after use.
constexpr size_t kKeptFloats = size_t(1) << 22;

struct Scratch {
    std::vector<float> planes, across, down;
    void trim() {
        for (std::vector<float>* v : {&planes, &across, &down})
            if (v->capacity() > kKeptFloats) std::vector<float>().swap(*v);
    }
};

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

    // Each channel is a plane of floats, so that both passes add whole rows scaled by one weight.
    const int channels = tint ? 1 : 4;
    const size_t w_plane = size_t(w) * h, across_plane = size_t(gw) * h, down_plane = size_t(gw) * gh;
    static thread_local Scratch scratch;
    std::vector<float>& planes = scratch.planes;
    planes.resize(w_plane * channels);
    const uint8_t* in = source.data();
    const int32_t in_stride = source.stride();
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(in + int64_t(y) * in_stride);
        for (int c = 0; c < channels; ++c) {
            float* to = &planes[c * w_plane + size_t(y) * w];
            const int shift = tint ? 24 : 8 * c;
            for (int32_t x = 0; x < w; ++x) to[x] = float(row[x] >> shift & 255);
        }
    }
    // Pass one: each source row spread into a row of the grown width.
    std::vector<float>& across = scratch.across;
    across.assign(across_plane * channels, 0.f);
    for (int c = 0; c < channels; ++c)
        for (int32_t y = 0; y < h; ++y) {
            const float* from = &planes[c * w_plane + size_t(y) * w];
            float* to = &across[c * across_plane + size_t(y) * gw];
            for (int32_t k = 0; k <= 2 * r; ++k) add_scaled(to + k, from, kernel[k], w);
        }
    // Pass two: each row spread down the grown height.
    std::vector<float>& down = scratch.down;
    down.assign(down_plane * channels, 0.f);
    for (int c = 0; c < channels; ++c)
        for (int32_t y = 0; y < h; ++y) {
            const float* from = &across[c * across_plane + size_t(y) * gw];
            for (int32_t k = 0; k <= 2 * r; ++k) add_scaled(&down[c * down_plane + size_t(y + k) * gw], from, kernel[k], gw);
        }
    uint8_t* data = out->data();
    auto byte = [](float v) { return uint32_t(std::clamp(v, 0.f, 255.f) + 0.5f); };
    for (int32_t y = 0; y < gh; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + int64_t(y) * out->stride());
        const size_t at = size_t(y) * gw;
        for (int32_t x = 0; x < gw; ++x) {
            if (tint) {
                const float a = down[at + x] / 255.f * std::clamp(tint->a, 0.f, 1.f);
                auto ch = [&](float k) { return byte(std::clamp(k, 0.f, 1.f) * a * 255.f); };
                row[x] = (byte(a * 255.f) << 24) | (ch(tint->r) << 16) | (ch(tint->g) << 8) | ch(tint->b);
                continue;
            }
            auto plane = [&](int c) { return byte(down[c * down_plane + at + x]); };
            const uint32_t a = plane(3);
            row[x] = (a << 24) | (std::min(plane(2), a) << 16) | (std::min(plane(1), a) << 8) | std::min(plane(0), a);
        }
    }
    scratch.trim();
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
