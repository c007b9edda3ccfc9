// Stroke styles and path geometries. A geometry keeps its figures as our own list of moves,
// lines and cubic Béziers (quadratics and elliptical arcs are converted as they are added), so
// it is replayed into any context without Cairo holding it; a figure is filled or hollow, and a
// coordinate that is not finite marks the whole geometry as one that draws nothing.
#pragma once
#include <cstdint>
#include <vector>

#include "host/gfx/matrix.h"

typedef struct _cairo cairo_t;

namespace nuv::host::gfx {

enum class CapStyle : uint8_t { Flat, Square, Round };
enum class LineJoin : uint8_t { Miter, Bevel, Round, MiterOrBevel };

// Dash lengths and the offset count in line widths; miter_limit is the miter's length over half
// the line width.
struct StrokeStyle {
    CapStyle cap = CapStyle::Flat;  // at both ends and on every dash
    LineJoin join = LineJoin::Miter;
    float miter_limit = 10;
    float dash_offset = 0;
    std::vector<float> dashes;  // empty: solid

    // False when a dash is negative or not finite, or the limit or offset is not finite:
    // such a style cannot stroke anything.
    bool is_valid() const;
};

enum class FigureBegin : uint8_t { Filled, Hollow };
enum class FigureEnd : uint8_t { Open, Closed };
enum class FillMode : uint8_t { Alternate, Winding };
enum class SweepDirection : uint8_t { CounterClockwise, Clockwise };
enum class ArcSize : uint8_t { Small, Large };

struct ArcSegment {
    PointF point;  // the end
    SizeF size;    // the radii
    float rotation = 0;  // of the x axis, in degrees
    SweepDirection sweep = SweepDirection::Clockwise;
    ArcSize arc_size = ArcSize::Small;
};

class PathGeometry {
public:
    void SetFillMode(FillMode mode) { fill_mode_ = mode; }
    FillMode fill_mode() const { return fill_mode_; }
    // A figure in progress is ended open by the next BeginFigure.
    void BeginFigure(PointF start, FigureBegin begin);
    // Segments outside a figure are ignored.
    void AddLine(PointF to);
    void AddBezier(PointF control1, PointF control2, PointF to);
    void AddQuadraticBezier(PointF control, PointF to);
    // An arc from the current point; radii too small to span the chord are grown, and a radius of
    // 0 gives a line.
    void AddArc(const ArcSegment& arc);
    void EndFigure(FigureEnd end);

    // No coordinate that was not finite.
    bool is_finite() const { return finite_; }
    bool is_empty() const { return ops_.empty(); }
    // The box of every point given, control points included (so it holds the curves).
    RectF point_bounds() const { return box_; }
    size_t figure_count() const { return figures_; }

    // Replays the figures into cr's current path (cleared first); `filled_only` leaves out the
    // hollow figures. Coordinates are in cr's user space.
    void replay(cairo_t* cr, bool filled_only) const;

    // The bounds of the geometry stroked with this width and style, under `transform` (flattened
    // within 0.25); false, and `out` empty at 0, when it strokes nothing.
    bool GetWidenedBounds(float width, const StrokeStyle& style, const Matrix3x2& transform, RectF* out) const;

private:
    enum class Op : uint8_t { Move, Line, Curve, Close };
    struct Step {
        Op op;
        bool hollow;  // of the figure the step belongs to
    };
    void note(PointF p);
    void push(Op op, std::initializer_list<PointF> points);

    std::vector<Step> ops_;
    std::vector<PointF> points_;  // Move and Line take one, Curve three, Close none
    PointF current_;
    bool in_figure_ = false;
    bool hollow_ = false;
    bool finite_ = true;
    RectF box_;
    size_t figures_ = 0;
    FillMode fill_mode_ = FillMode::Alternate;
};

// Sets cr's line width, cap, join, miter limit and dashes for a stroke of `width`; false, leaving
// cr untouched, when the stroke would draw nothing (a width that is not above 0 and finite, an
// invalid style, or dashes that add up to 0).
bool apply_stroke(cairo_t* cr, float width, const StrokeStyle& style);

}  // namespace nuv::host::gfx
