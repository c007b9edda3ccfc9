#include "host/gfx/bitmap.h"

#include <cstring>

#include "host/win/cairo_lib.h"

namespace nuv::host::gfx {

using win::cairo_lib;
using win::CairoLib;

uint32_t premultiply(uint32_t argb) {
    const uint32_t a = argb >> 24;
    if (a == 255) return argb;
    if (a == 0) return 0;
    auto channel = [a](uint32_t v) { return (v * a + 127) / 255; };
    return (a << 24) | (channel((argb >> 16) & 255) << 16) | (channel((argb >> 8) & 255) << 8) | channel(argb & 255);
}

uint32_t unpremultiply(uint32_t argb) {
    const uint32_t a = argb >> 24;
    if (a == 255 || a == 0) return a == 0 ? 0 : argb;
    auto channel = [a](uint32_t v) {
        const uint32_t s = (v * 255 + a / 2) / a;
        return s > 255 ? 255u : s;
    };
    return (a << 24) | (channel((argb >> 16) & 255) << 16) | (channel((argb >> 8) & 255) << 8) | channel(argb & 255);
}

Bitmap::Bitmap(cairo_surface_t* surface, int32_t width, int32_t height)
    : surface_(surface), width_(width), height_(height) {}

Bitmap::~Bitmap() { cairo_lib()->surface_destroy(surface_); }

std::unique_ptr<Bitmap> Bitmap::create(int32_t width, int32_t height) {
    const CairoLib* c = cairo_lib();
    if (!c || width < 0 || height < 0 || width > kMaxSide || height > kMaxSide) return nullptr;
    cairo_surface_t* s = c->image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (c->surface_status(s) != CAIRO_STATUS_SUCCESS) {
        c->surface_destroy(s);
        return nullptr;
    }
    return std::unique_ptr<Bitmap>(new Bitmap(s, width, height));
}

std::unique_ptr<Bitmap> Bitmap::from_pixels(const uint8_t* bgra, int32_t width, int32_t height, int32_t stride) {
    if (!bgra || stride < int64_t(width) * 4) return nullptr;
    std::unique_ptr<Bitmap> b = create(width, height);
    if (!b) return nullptr;
    uint8_t* out = b->data();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = bgra + int64_t(y) * stride;
        uint32_t* to = reinterpret_cast<uint32_t*>(out + int64_t(y) * b->stride());
        for (int32_t x = 0; x < width; ++x) {
            uint32_t v;
            std::memcpy(&v, row + x * 4, 4);
            to[x] = premultiply(v);
        }
    }
    b->mark_dirty();
    return b;
}

cairo_surface_t* Bitmap::surface() const {
    cairo_lib()->surface_flush(surface_);
    return surface_;
}

uint8_t* Bitmap::data() const {
    cairo_lib()->surface_flush(surface_);
    return cairo_lib()->image_surface_get_data(surface_);
}

int32_t Bitmap::stride() const { return cairo_lib()->image_surface_get_stride(surface_); }

void Bitmap::mark_dirty() { cairo_lib()->surface_mark_dirty(surface_); }

uint32_t Bitmap::premultiplied(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return reinterpret_cast<const uint32_t*>(data() + int64_t(y) * stride())[x];
}

uint32_t Bitmap::pixel(int32_t x, int32_t y) const { return unpremultiply(premultiplied(x, y)); }

void Bitmap::read_pixels(uint8_t* bgra, int32_t stride_out) const {
    const uint8_t* in = data();
    for (int32_t y = 0; y < height_; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(in + int64_t(y) * stride());
        uint8_t* to = bgra + int64_t(y) * stride_out;
        for (int32_t x = 0; x < width_; ++x) {
            const uint32_t v = unpremultiply(row[x]);
            std::memcpy(to + x * 4, &v, 4);
        }
    }
}

}  // namespace nuv::host::gfx
