// Brushes: a solid colour, linear and radial gradients from stops, and image brushes over a
// bitmap or a recorded tile. A gradient's pattern is made once in a unit space (the line from
// (0, 0) to (1, 0), or the unit circle) and its geometry and the brush transform are one matrix
// set as it is used, so moving a brush never remakes it. An image brush keeps its tile: the
// source rectangle, doubled along a mirrored axis, repeated by Cairo.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "host/gfx/matrix.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_pattern cairo_pattern_t;
typedef struct _cairo_surface cairo_surface_t;

namespace nuv::host::gfx {

class Bitmap;
class RenderTarget;

enum class ExtendMode : uint8_t { Clamp, Wrap, Mirror };
enum class Interpolation : uint8_t { NearestNeighbor, Linear, Cubic };

// A position (0 to 1) along the gradient and its straight colour.
struct GradientStop {
    float position = 0;
    ColorF color;
};

class Brush {
public:
    enum class Kind : uint8_t { Solid, Linear, Radial, Image };
    ~Brush();
    Brush(const Brush&) = delete;
    Brush& operator=(const Brush&) = delete;

    Kind kind() const { return kind_; }
    // The solid brush's colour; ignored by the others.
    void SetColor(ColorF color) { color_ = color; }
    ColorF GetColor() const { return color_; }
    // Maps the brush's own space into the space of what is drawn.
    void SetTransform(const Matrix3x2& m) { transform_ = m; }
    Matrix3x2 GetTransform() const { return transform_; }
    // The gradient line of a linear brush.
    void SetStartPoint(PointF p) { start_ = p; }
    void SetEndPoint(PointF p) { end_ = p; }
    PointF GetStartPoint() const { return start_; }
    PointF GetEndPoint() const { return end_; }
    // The ellipse of a radial brush, and its focal point as an offset from the centre.
    void SetCenter(PointF p) { start_ = p; }
    void SetGradientOriginOffset(PointF p) { end_ = p; }
    void SetRadiusX(float r) { radius_.width = r; }
    void SetRadiusY(float r) { radius_.height = r; }
    PointF GetCenter() const { return start_; }
    PointF GetGradientOriginOffset() const { return end_; }
    SizeF GetRadius() const { return radius_; }

    // The number of areas a fill with this brush is painted in: 1, or 3 for an image brush that
    // clamps along one axis only (the tile's middle, and its first and last rows or columns
    // repeated outward).
    int bands() const { return clamp_axis_ < 0 ? 1 : 3; }
    // Sets cr's source for band `band` and, for 3 bands, clips cr to it; cr's matrix is the
    // drawing's. False when the brush paints nothing (a singular geometry or transform, a
    // colour that is not finite).
    bool apply(cairo_t* cr, int band) const;

private:
    friend std::unique_ptr<Brush> CreateSolidColorBrush(ColorF);
    friend std::unique_ptr<Brush> CreateLinearGradientBrush(PointF, PointF, std::span<const GradientStop>, ExtendMode);
    friend std::unique_ptr<Brush> CreateRadialGradientBrush(PointF, PointF, float, float, std::span<const GradientStop>,
                                                            ExtendMode);
    friend std::unique_ptr<Brush> make_image_brush(cairo_surface_t*, RectF, ExtendMode, ExtendMode, Interpolation);
    explicit Brush(Kind kind) : kind_(kind) {}
    // The matrix from the unit space of the gradient (or the tile's pixels) to the brush space.
    bool unit_to_brush(Matrix3x2* out) const;

    Kind kind_;
    ColorF color_;
    Matrix3x2 transform_;
    PointF start_, end_;
    SizeF radius_;
    Matrix3x2 tile_to_brush_;  // an image brush's tile pixels to its source rectangle's place
    SizeF tile_;               // the tile's size in pixels (the source rectangle, doubled where mirrored)
    int clamp_axis_ = -1;      // 0 x, 1 y: the axis that clamps while the other repeats
    // A radial pattern's focal point depends on the radii and the offset: it is remade when they
    // change, from the stops kept here.
    std::vector<GradientStop> stops_;
    ExtendMode extend_ = ExtendMode::Clamp;
    mutable PointF focal_;
    mutable cairo_pattern_t* pattern_ = nullptr;
    cairo_pattern_t* edges_[2] = {};  // the first and last row (or column) for 3 bands
};

// Each answers nullptr only when Cairo cannot be loaded or a tile cannot be made; bad values
// make a brush that paints nothing rather than a failure.
std::unique_ptr<Brush> CreateSolidColorBrush(ColorF color);
// Stops are sorted by position (those at one position keep their order); a position that is not
// finite drops the stop, colour components are clamped to 0-1. No stops paints transparent.
std::unique_ptr<Brush> CreateLinearGradientBrush(PointF start, PointF end, std::span<const GradientStop> stops,
                                                 ExtendMode extend);
std::unique_ptr<Brush> CreateRadialGradientBrush(PointF centre, PointF origin_offset, float radius_x, float radius_y,
                                                 std::span<const GradientStop> stops, ExtendMode extend);
// The source rectangle is clamped to the source; an empty one paints nothing.
std::unique_ptr<Brush> CreateImageBrush(const Bitmap& bitmap, RectF source, ExtendMode x, ExtendMode y,
                                        Interpolation interpolation);
// A brush over a recording target's drawing (a pattern tile).
std::unique_ptr<Brush> CreateImageBrush(const RenderTarget& recording, RectF source, ExtendMode x, ExtendMode y,
                                        Interpolation interpolation);

}  // namespace nuv::host::gfx
