// The text and fonts tests' canvas: a white ARGB32 image surface with its cairo_t, read back
// pixel by pixel as 0x00RRGGBB.
#pragma once
#include <cstdint>

#include "host/win/cairo_lib.h"

namespace nuv::test::text {

class Canvas {
public:
    Canvas(int width = 200, int height = 100) {
        surface_ = c_->image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cr_ = c_->create(surface_);
        c_->set_source_rgba(cr_, 1, 1, 1, 1);
        c_->paint(cr_);
    }
    ~Canvas() {
        c_->destroy(cr_);
        c_->surface_destroy(surface_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    cairo_t* dc() const { return cr_; }
    uint32_t at(int x, int y) const {
        c_->surface_flush(surface_);
        const unsigned char* data = c_->image_surface_get_data(surface_);
        return *reinterpret_cast<const uint32_t*>(data + y * c_->image_surface_get_stride(surface_) + x * 4) & 0xFFFFFF;
    }
    // Whether a pixel of columns [x0, x1) and rows [y0, y1) passes the test.
    template <typename Test>
    bool any(int x0, int x1, int y0, int y1, Test test) const {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (test(at(x, y)))
                    return true;
        return false;
    }

private:
    const host::win::CairoLib* c_ = host::win::cairo_lib();
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

inline bool inked(uint32_t pixel) { return pixel != 0xFFFFFF; }

}  // namespace nuv::test::text
