// Offscreen bitmaps: premultiplied BGRA pixels in a Cairo image surface, made empty or from
// straight BGRA memory and read back as straight BGRA. A side over 32,767 pixels (or below 0)
// is refused when the bitmap is made, so Cairo never sees a size it would fail on.
#pragma once
#include <cstdint>
#include <memory>

typedef struct _cairo_surface cairo_surface_t;

namespace nuv::host::gfx {

constexpr int32_t kMaxSide = 32767;

// Straight BGRA (0xAARRGGBB in memory order B, G, R, A) to premultiplied and back.
uint32_t premultiply(uint32_t argb);
uint32_t unpremultiply(uint32_t argb);

class Bitmap {
public:
    // A transparent bitmap; nullptr when a side is out of range or Cairo cannot be loaded.
    static std::unique_ptr<Bitmap> create(int32_t width, int32_t height);
    // A copy of width x height straight BGRA pixels, rows `stride` bytes apart.
    static std::unique_ptr<Bitmap> from_pixels(const uint8_t* bgra, int32_t width, int32_t height, int32_t stride);
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // The pixel as straight 0xAARRGGBB; 0 outside.
    uint32_t pixel(int32_t x, int32_t y) const;
    // The premultiplied pixel as Cairo keeps it; 0 outside.
    uint32_t premultiplied(int32_t x, int32_t y) const;
    // Copies the pixels out as straight BGRA into rows `stride` bytes apart.
    void read_pixels(uint8_t* bgra, int32_t stride) const;

    // The surface, flushed; mark_dirty after writing to its memory directly.
    cairo_surface_t* surface() const;
    uint8_t* data() const;
    int32_t stride() const;
    void mark_dirty();

private:
    Bitmap(cairo_surface_t* surface, int32_t width, int32_t height);
    cairo_surface_t* surface_;
    int32_t width_, height_;
};

}  // namespace nuv::host::gfx
