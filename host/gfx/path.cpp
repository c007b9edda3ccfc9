#include "host/gfx/path.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "host/gfx/cairo_forms.h"
#include "host/win/cairo_lib.h"

namespace nuv::host::gfx {

namespace {

using win::cairo_lib;
using win::CairoLib;

constexpr double kPi = std::numbers::pi;

// One table for each of Cairo's stroke enums, indexed by ours.
constexpr cairo_line_cap_t kCaps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_SQUARE, CAIRO_LINE_CAP_ROUND};
// Cairo's miter join bevels past its limit, as the miter-or-bevel join does; a plain miter join
// is drawn the same way.
constexpr cairo_line_join_t kJoins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_BEVEL, CAIRO_LINE_JOIN_ROUND,
                                        CAIRO_LINE_JOIN_MITER};

// A context on a 1x1 surface for measuring paths, made once.
cairo_t* measuring_context(const CairoLib* c) {
    static cairo_t* cr = [c] {
        cairo_surface_t* s = c->image_surface_create(CAIRO_FORMAT_A8, 1, 1);
        cairo_t* made = c->create(s);
        c->surface_destroy(s);
        return made;
    }();
    return cr;
}

}  // namespace

bool StrokeStyle::is_valid() const {
    if (!finite(miter_limit) || !finite(dash_offset)) return false;
    return std::all_of(dashes.begin(), dashes.end(), [](float d) { return finite(d) && d >= 0; });
}

void PathGeometry::note(PointF p) {
    if (!finite(p)) finite_ = false;
    if (points_.empty()) box_ = {p.x, p.y, p.x, p.y};
    box_ = {std::min(box_.left, p.x), std::min(box_.top, p.y), std::max(box_.right, p.x), std::max(box_.bottom, p.y)};
}

void PathGeometry::push(Op op, std::initializer_list<PointF> points) {
    ops_.push_back({op, hollow_});
    for (PointF p : points) {
        note(p);
        points_.push_back(p);
    }
}

void PathGeometry::BeginFigure(PointF start, FigureBegin begin) {
    if (in_figure_) EndFigure(FigureEnd::Open);
    hollow_ = begin == FigureBegin::Hollow;
    push(Op::Move, {start});
    current_ = start;
    in_figure_ = true;
    ++figures_;
}

void PathGeometry::AddLine(PointF to) {
    if (!in_figure_) return;
    push(Op::Line, {to});
    current_ = to;
}

void PathGeometry::AddBezier(PointF control1, PointF control2, PointF to) {
    if (!in_figure_) return;
    push(Op::Curve, {control1, control2, to});
    current_ = to;
}

void PathGeometry::AddQuadraticBezier(PointF control, PointF to) {
    if (!in_figure_) return;
    const PointF p0 = current_;
    const PointF c1{p0.x + 2.f / 3 * (control.x - p0.x), p0.y + 2.f / 3 * (control.y - p0.y)};
    const PointF c2{to.x + 2.f / 3 * (control.x - to.x), to.y + 2.f / 3 * (control.y - to.y)};
    AddBezier(c1, c2, to);
}

// From end-point form to centre form: the centre, the radii (grown when they cannot span the
// chord), the start angle and the sweep; then one cubic per quarter turn at most.
void PathGeometry::AddArc(const ArcSegment& arc) {
    if (!in_figure_) return;
    const PointF p0 = current_, p1 = arc.point;
    double rx = std::fabs(arc.size.width), ry = std::fabs(arc.size.height);
    if (!finite(p1) || !std::isfinite(rx) || !std::isfinite(ry) || !finite(arc.rotation)) {
        finite_ = false;
        return;
    }
    if ((p0.x == p1.x && p0.y == p1.y)) return;
    if (rx == 0 || ry == 0) return AddLine(p1);
    const double phi = arc.rotation * kPi / 180, cphi = std::cos(phi), sphi = std::sin(phi);
    const double hx = (p0.x - p1.x) / 2.0, hy = (p0.y - p1.y) / 2.0;
    const double x1 = cphi * hx + sphi * hy, y1 = -sphi * hx + cphi * hy;
    const double lambda = (x1 * x1) / (rx * rx) + (y1 * y1) / (ry * ry);
    if (lambda > 1) {
        const double grow = std::sqrt(lambda);
        rx *= grow;
        ry *= grow;
    }
    const double num = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
    const double den = rx * rx * y1 * y1 + ry * ry * x1 * x1;
    double k = den > 0 ? std::sqrt(std::max(0.0, num / den)) : 0;
    const bool large = arc.arc_size == ArcSize::Large, clockwise = arc.sweep == SweepDirection::Clockwise;
    if (large == clockwise) k = -k;
    const double cx1 = k * rx * y1 / ry, cy1 = -k * ry * x1 / rx;
    const double cx = cphi * cx1 - sphi * cy1 + (p0.x + p1.x) / 2.0;
    const double cy = sphi * cx1 + cphi * cy1 + (p0.y + p1.y) / 2.0;
    const double theta = std::atan2((y1 - cy1) / ry, (x1 - cx1) / rx);
    double sweep = std::atan2((-y1 - cy1) / ry, (-x1 - cx1) / rx) - theta;
    if (clockwise && sweep < 0) sweep += 2 * kPi;
    if (!clockwise && sweep > 0) sweep -= 2 * kPi;

    const int pieces = std::max(1, int(std::ceil(std::fabs(sweep) / (kPi / 2) - 1e-9)));
    const double step = sweep / pieces, alpha = 4.0 / 3 * std::tan(step / 4);
    // A point of the ellipse at angle t, and its derivative, in the plane.
    auto at = [&](double t, double* x, double* y, double* dx, double* dy) {
        const double ct = std::cos(t), st = std::sin(t);
        *x = cx + rx * ct * cphi - ry * st * sphi;
        *y = cy + rx * ct * sphi + ry * st * cphi;
        *dx = -rx * st * cphi - ry * ct * sphi;
        *dy = -rx * st * sphi + ry * ct * cphi;
    };
    double t = theta, x, y, dx, dy;
    at(t, &x, &y, &dx, &dy);
    for (int i = 0; i < pieces; ++i) {
        double x2, y2, dx2, dy2;
        at(t + step, &x2, &y2, &dx2, &dy2);
        const PointF end = i + 1 == pieces ? p1 : PointF{float(x2), float(y2)};
        AddBezier({float(x + alpha * dx), float(y + alpha * dy)}, {float(x2 - alpha * dx2), float(y2 - alpha * dy2)},
                  end);
        t += step;
        x = x2, y = y2, dx = dx2, dy = dy2;
    }
}

void PathGeometry::EndFigure(FigureEnd end) {
    if (!in_figure_) return;
    if (end == FigureEnd::Closed) push(Op::Close, {});
    in_figure_ = false;
}

void PathGeometry::replay(cairo_t* cr, bool filled_only) const {
    const CairoLib* c = cairo_lib();
    c->new_path(cr);
    const PointF* p = points_.data();
    for (const Step& s : ops_) {
        const bool skip = filled_only && s.hollow;
        switch (s.op) {
        case Op::Move:
            if (!skip) c->move_to(cr, p[0].x, p[0].y);
            p += 1;
            break;
        case Op::Line:
            if (!skip) c->line_to(cr, p[0].x, p[0].y);
            p += 1;
            break;
        case Op::Curve:
            if (!skip) c->curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
            p += 3;
            break;
        case Op::Close:
            if (!skip) c->close_path(cr);
            break;
        }
    }
}

bool PathGeometry::GetWidenedBounds(float width, const StrokeStyle& style, const Matrix3x2& transform,
                                    RectF* out) const {
    *out = {};
    const CairoLib* c = cairo_lib();
    if (!c || !finite_ || ops_.empty() || !transform.is_invertible()) return false;
    cairo_t* cr = measuring_context(c);
    c->save(cr);
    const cairo_matrix_t m = to_cairo(transform);
    c->set_matrix(cr, &m);
    c->set_tolerance(cr, 0.25);
    bool drawn = apply_stroke(cr, width, style);
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (drawn) {
        replay(cr, false);
        c->stroke_extents(cr, &x0, &y0, &x1, &y1);
        drawn = x1 > x0 || y1 > y0;
    }
    c->new_path(cr);
    c->restore(cr);
    if (!drawn) return false;
    // Cairo answers in the geometry's plane: the box is carried through the transform (exact
    // when it keeps axes, the box of the turned box otherwise).
    const PointF corners[] = {transform.transform({float(x0), float(y0)}), transform.transform({float(x1), float(y0)}),
                              transform.transform({float(x0), float(y1)}), transform.transform({float(x1), float(y1)})};
    *out = {corners[0].x, corners[0].y, corners[0].x, corners[0].y};
    for (PointF p : corners) {
        out->left = std::min(out->left, p.x), out->top = std::min(out->top, p.y);
        out->right = std::max(out->right, p.x), out->bottom = std::max(out->bottom, p.y);
    }
    return true;
}

bool apply_stroke(cairo_t* cr, float width, const StrokeStyle& style) {
    if (!(width > 0) || !finite(width) || !style.is_valid()) return false;
    // Reused between strokes: a dashed stroke makes no allocation once the longest pattern fits.
    static thread_local std::vector<double> dashes;
    dashes.clear();
    double total = 0;
    for (float d : style.dashes) {
        dashes.push_back(double(d) * width);
        total += dashes.back();
    }
    if (!dashes.empty() && !(total > 0 && std::isfinite(total))) return false;
    const CairoLib* c = cairo_lib();
    c->set_line_width(cr, width);
    c->set_line_cap(cr, kCaps[size_t(style.cap)]);
    c->set_line_join(cr, kJoins[size_t(style.join)]);
    // Cairo measures the miter against the whole width.
    c->set_miter_limit(cr, std::max(1.0, style.miter_limit / 2.0));
    c->set_dash(cr, dashes.data(), int(dashes.size()), double(style.dash_offset) * width);
    return true;
}

}  // namespace nuv::host::gfx
