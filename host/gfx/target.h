// Render targets: drawing over a window's paint context, over straight BGRA pixels, into an
// offscreen bitmap, or into a recording (a pattern tile). The target keeps the transform and the
// antialias mode and sets them on Cairo before each primitive; every input is checked first, so
// a singular or non-finite transform or a coordinate that is not finite makes that primitive
// draw nothing and Cairo never enters an error state. Rectangles and lines reaching millions of
// pixels past the device are cut to it first; other shapes that far out draw nothing (Cairo's
// fixed point would wrap their coordinates). Clips and layers form one stack, popped
// last in first out; EndDraw pops what is left.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "host/gfx/bitmap.h"
#include "host/gfx/brush.h"
#include "host/gfx/matrix.h"
#include "host/gfx/path.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace nuv::host::gfx {

enum class AntialiasMode : uint8_t { PerPrimitive, Aliased };

struct Ellipse {
    PointF point;  // the centre
    float radius_x = 0, radius_y = 0;
};

struct RoundedRect {
    RectF rect;
    float radius_x = 0, radius_y = 0;
};

// What SaveDrawingState keeps and RestoreDrawingState puts back. Text is always antialiased in
// grayscale, so it has no mode here.
struct DrawingStateBlock {
    Matrix3x2 transform;
    AntialiasMode antialias = AntialiasMode::PerPrimitive;
};

// A layer narrows drawing to its bounds (in the space of the current transform; infinite bounds
// are allowed) and, with a mask, to the filled figures of the mask under mask_transform.
struct LayerParameters {
    RectF content_bounds{-3.4e38f, -3.4e38f, 3.4e38f, 3.4e38f};
    const PathGeometry* mask = nullptr;
    AntialiasMode mask_antialias = AntialiasMode::PerPrimitive;
    Matrix3x2 mask_transform;
};

class RenderTarget {
public:
    // Over a paint context (a window's, from BeginPaint or GetDC), which the caller keeps; its
    // state is saved at BeginDraw and put back at EndDraw, and its matrix and clip stay under
    // what is drawn (so the transform counts from the client's origin).
    static std::unique_ptr<RenderTarget> for_context(cairo_t* cr);
    // Over width x height straight BGRA pixels, rows `stride` bytes apart, which the caller
    // keeps: premultiplied at BeginDraw; EndDraw writes back only the pixels drawing changed.
    static std::unique_ptr<RenderTarget> for_pixels(uint8_t* bgra, int32_t width, int32_t height, int32_t stride);
    // Over a bitmap of its own, transparent at first.
    static std::unique_ptr<RenderTarget> offscreen(int32_t width, int32_t height);
    // Recording what is drawn within `extents`, for CreateImageBrush.
    static std::unique_ptr<RenderTarget> recording(RectF extents);
    ~RenderTarget();
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;

    // Drawing happens between these; outside them primitives draw nothing. EndDraw pops the
    // clips left pushed and answers false when the target's memory could not be drawn on.
    void BeginDraw();
    bool EndDraw();
    bool is_drawing() const { return drawing_; }

    void SetTransform(const Matrix3x2& m) { state_.transform = m; }
    Matrix3x2 GetTransform() const { return state_.transform; }
    void SetAntialiasMode(AntialiasMode mode) { state_.antialias = mode; }
    AntialiasMode GetAntialiasMode() const { return state_.antialias; }
    void SaveDrawingState(DrawingStateBlock* block) const { *block = state_; }
    void RestoreDrawingState(const DrawingStateBlock& block) { state_ = block; }

    // Sets every pixel inside the clips to the colour, whatever the transform.
    void Clear(ColorF color);
    void FillRectangle(const RectF& rect, const Brush& brush);
    void DrawRectangle(const RectF& rect, const Brush& brush, float width, const StrokeStyle& style = {});
    void FillRoundedRectangle(const RoundedRect& rect, const Brush& brush);
    void DrawRoundedRectangle(const RoundedRect& rect, const Brush& brush, float width, const StrokeStyle& style = {});
    void FillEllipse(const Ellipse& ellipse, const Brush& brush);
    void DrawEllipse(const Ellipse& ellipse, const Brush& brush, float width, const StrokeStyle& style = {});
    void DrawLine(PointF from, PointF to, const Brush& brush, float width, const StrokeStyle& style = {});
    // Fills the filled figures (hollow ones are only stroked) by the geometry's fill mode.
    void FillGeometry(const PathGeometry& geometry, const Brush& brush);
    void DrawGeometry(const PathGeometry& geometry, const Brush& brush, float width, const StrokeStyle& style = {});

    // A clip of the box around the rectangle under the transform. Pushes always count, even
    // when their rectangle is not usable (nothing draws inside such a clip).
    void PushAxisAlignedClip(const RectF& rect, AntialiasMode mode);
    void PushLayer(const LayerParameters& layer);
    // Either pops the newest clip or layer; false when none is left.
    bool PopAxisAlignedClip() { return pop_clip(); }
    bool PopLayer() { return pop_clip(); }
    size_t clip_depth() const { return clips_; }

    // The source rectangle (the whole bitmap when null) drawn into `dest` under the transform.
    void DrawBitmap(const Bitmap& bitmap, const RectF& dest, float opacity = 1,
                    Interpolation interpolation = Interpolation::Linear, const RectF* source = nullptr);
    // The source rectangle (the whole bitmap when null) at its own size with its top-left at `offset`.
    void DrawImage(const Bitmap& bitmap, PointF offset, Interpolation interpolation = Interpolation::Linear,
                   const RectF* source = nullptr);
    // The source rectangle mapped by a projective transform onto the quadrilateral of corners
    // top-left, top-right, bottom-right, bottom-left (sampled linearly, in software).
    void DrawBitmapPerspective(const Bitmap& bitmap, const RectF& source, const PointF (&corners)[4]);

    // The offscreen target's bitmap (null for the others).
    Bitmap* bitmap() const { return bitmap_.get(); }
    // The surface drawn on and a recording's extents.
    cairo_surface_t* surface() const;
    RectF extents() const { return extents_; }
    // The context, for text drawn through the same target (antialiased in grayscale while
    // drawing); its matrix is the caller's to set.
    cairo_t* context() const { return cr_; }
    // Cairo has kept out of any error state.
    bool ok() const;

private:
    enum class Kind : uint8_t { Context, Pixels, Offscreen, Recording };
    RenderTarget(Kind kind, cairo_t* cr);
    // Runs `path` (which makes cr's path) and fills it, or strokes it when width is not null;
    // nothing when the points' box (if given) is not within reach.
    template <class Path>
    void paint(const Brush& brush, const float* width, const StrokeStyle* style, bool winding, const RectF* box,
               Path path);
    // The box of a primitive's points, stroked `width` wide (or filled when null), stays within
    // the device coordinates Cairo holds.
    bool within_reach(const RectF& box, const float* width) const;
    // The box, in the drawing's space, around the current clip widened by `pad` device pixels;
    // false when the transform cannot be inverted or the clip is empty.
    bool visible_box(double pad, double* l, double* t, double* r, double* b);
    void begin_primitive();
    // The transform on the way to the device: the target's, then the paint context's own.
    Matrix3x2 to_device() const { return state_.transform * base_; }
    bool pop_clip();
    // Saves the context and clips it to the device box of r under the transform (to nothing
    // when r is not usable); true when something is left open.
    bool push_box(const RectF& r, bool usable, AntialiasMode mode);
    // The device box of the current clip.
    void device_clip(double* x0, double* y0, double* x1, double* y1);

    Kind kind_;
    cairo_t* cr_;
    std::unique_ptr<Bitmap> bitmap_;  // offscreen, or the premultiplied copy of the pixels while drawing
    uint8_t* pixels_ = nullptr;
    int32_t width_ = 0, height_ = 0, stride_ = 0;
    RectF extents_;
    DrawingStateBlock state_;
    Matrix3x2 base_;  // a paint context's own matrix, under the target's transform
    size_t clips_ = 0;
    bool drawing_ = false;
};

}  // namespace nuv::host::gfx
