// Effects on offscreen bitmaps, made in software over premultiplied pixels: a gaussian blur, the
// shadow of a bitmap's coverage in one colour, and scaling. Each makes a new bitmap and answers
// nullptr when the result would be over 32,767 pixels a side.
#pragma once
#include <memory>

#include "host/gfx/bitmap.h"
#include "host/gfx/brush.h"

namespace nuv::host::gfx {

// A blurred bitmap grown by the blur's reach on every side (so nothing is cut off: the sum of
// the pixels stays); *offset is where its top-left lands relative to the source's (at most 0).
// A deviation of 0 (or below, or not finite) gives a copy.
std::unique_ptr<Bitmap> GaussianBlur(const Bitmap& source, float deviation, PointF* offset);
// The source's alpha, blurred as GaussianBlur does, painted in `color`.
std::unique_ptr<Bitmap> Shadow(const Bitmap& source, float deviation, ColorF color, PointF* offset);
// The bitmap scaled by (sx, sy), its sides rounded (at least 1 where the source has pixels).
std::unique_ptr<Bitmap> Scale(const Bitmap& source, float sx, float sy, Interpolation interpolation);

}  // namespace nuv::host::gfx
