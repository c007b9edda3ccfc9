// Our values in Cairo's forms, shared by the files of host/gfx that hand them to Cairo.
#pragma once
#include <cairo.h>

#include "host/gfx/brush.h"
#include "host/gfx/matrix.h"

namespace nuv::host::gfx {

inline cairo_matrix_t to_cairo(const Matrix3x2& m) { return {m.m11, m.m12, m.m21, m.m22, m.dx, m.dy}; }

inline cairo_filter_t to_cairo(Interpolation i) {
    constexpr cairo_filter_t kFilters[] = {CAIRO_FILTER_NEAREST, CAIRO_FILTER_BILINEAR, CAIRO_FILTER_BEST};
    return kFilters[size_t(i)];
}

}  // namespace nuv::host::gfx
