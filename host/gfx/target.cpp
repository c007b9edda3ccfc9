#include "host/gfx/target.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/gfx/cairo_forms.h"
#include "host/win/cairo_lib.h"

namespace nuv::host::gfx {

namespace {

using win::cairo_lib;
using win::CairoLib;

// The control distance that makes a quarter ellipse of one cubic.
constexpr double kKappa = 0.5522847498307936;

cairo_antialias_t antialias(AntialiasMode mode) {
    return mode == AntialiasMode::Aliased ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_DEFAULT;
}

// An ellipse as four quarter-turn cubics.
void ellipse_path(const CairoLib* c, cairo_t* cr, double cx, double cy, double rx, double ry) {
    const double kx = rx * kKappa, ky = ry * kKappa;
    c->move_to(cr, cx + rx, cy);
    c->curve_to(cr, cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry);
    c->curve_to(cr, cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy);
    c->curve_to(cr, cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry);
    c->curve_to(cr, cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy);
    c->close_path(cr);
}

void rounded_path(const CairoLib* c, cairo_t* cr, const RoundedRect& r) {
    const double l = std::min(r.rect.left, r.rect.right), t = std::min(r.rect.top, r.rect.bottom);
    const double rt = std::max(r.rect.left, r.rect.right), b = std::max(r.rect.top, r.rect.bottom);
    // Radii beyond half the sides are cut to them.
    const double rx = std::min<double>(r.radius_x, (rt - l) / 2), ry = std::min<double>(r.radius_y, (b - t) / 2);
    const double kx = rx * (1 - kKappa), ky = ry * (1 - kKappa);
    c->move_to(cr, l + rx, t);
    c->line_to(cr, rt - rx, t);
    c->curve_to(cr, rt - kx, t, rt, t + ky, rt, t + ry);
    c->line_to(cr, rt, b - ry);
    c->curve_to(cr, rt, b - ky, rt - kx, b, rt - rx, b);
    c->line_to(cr, l + rx, b);
    c->curve_to(cr, l + kx, b, l, b - ky, l, b - ry);
    c->line_to(cr, l, t + ry);
    c->curve_to(cr, l, t + ky, l + kx, t, l + rx, t);
    c->close_path(cr);
}

// The box around the rectangle's corners under m, computed in doubles so that no bound overflows.
void device_box(const Matrix3x2& m, const RectF& r, double* l, double* t, double* rt, double* b) {
    const double xs[] = {r.left, r.right}, ys[] = {r.top, r.bottom};
    *l = *t = HUGE_VAL, *rt = *b = -HUGE_VAL;
    for (double x : xs)
        for (double y : ys) {
            // A zero factor takes no part, so an infinite bound does not make a NaN.
            auto term = [](double v, double k) { return k == 0 ? 0.0 : v * k; };
            const double dx = term(x, m.m11) + term(y, m.m21) + m.dx, dy = term(x, m.m12) + term(y, m.m22) + m.dy;
            *l = std::min(*l, dx), *t = std::min(*t, dy), *rt = std::max(*rt, dx), *b = std::max(*b, dy);
        }
}

// Device coordinates Cairo's fixed point holds with room to spare; beyond them it wraps.
constexpr double kReach = 4194304;

// How far a stroke of `width` reaches past its path on the device (at most), plus a pixel.
double stroke_pad(const Matrix3x2& m, const float* width) {
    if (!width) return 1;
    return double(*width) * std::sqrt(double(m.m11) * m.m11 + double(m.m12) * m.m12 + double(m.m21) * m.m21 +
                                      double(m.m22) * m.m22) + 1;
}

// A point in doubles, for coordinates a float would round.
struct Point2 {
    double x, y;
};

bool usable(const RoundedRect& r) {
    return finite(r.rect) && finite(r.radius_x) && finite(r.radius_y) && r.radius_x >= 0 && r.radius_y >= 0;
}

bool usable(const Ellipse& e) {
    return finite(e.point) && finite(e.radius_x) && finite(e.radius_y) && e.radius_x >= 0 && e.radius_y >= 0;
}

// A source rectangle within the bitmap (the whole bitmap when none); false when it is empty.
bool source_area(const Bitmap& bitmap, const RectF* source, RectF* out) {
    const RectF whole{0, 0, float(bitmap.width()), float(bitmap.height())};
    if (!source) {
        *out = whole;
    } else {
        if (!finite(*source)) return false;
        *out = {std::max(std::min(source->left, source->right), 0.f), std::max(std::min(source->top, source->bottom), 0.f),
                std::min(std::max(source->left, source->right), whole.right),
                std::min(std::max(source->top, source->bottom), whole.bottom)};
    }
    return out->width() > 0 && out->height() > 0;
}

// The projective map of the unit square onto four corners (top-left, top-right, bottom-right,
// bottom-left), as the rows of a 3x3 matrix taking (u, v, 1) to homogeneous (x, y, w).
struct Projective {
    double m[3][3];
    bool from_corners(const PointF (&q)[4]);
    bool invert(Projective* out) const;
};

bool Projective::from_corners(const PointF (&q)[4]) {
    const double x0 = q[0].x, y0 = q[0].y, x1 = q[1].x, y1 = q[1].y;
    const double x2 = q[2].x, y2 = q[2].y, x3 = q[3].x, y3 = q[3].y;
    const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
    double g = 0, h = 0;
    if (sx != 0 || sy != 0) {
        const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
        const double den = dx1 * dy2 - dx2 * dy1;
        if (den == 0) return false;
        g = (sx * dy2 - dx2 * sy) / den;
        h = (dx1 * sy - sx * dy1) / den;
    }
    // x = (a u + b v + c) / (g u + h v + 1), y likewise with d, e, f.
    m[0][0] = x1 - x0 + g * x1, m[0][1] = x3 - x0 + h * x3, m[0][2] = x0;
    m[1][0] = y1 - y0 + g * y1, m[1][1] = y3 - y0 + h * y3, m[1][2] = y0;
    m[2][0] = g, m[2][1] = h, m[2][2] = 1;
    return true;
}

bool Projective::invert(Projective* out) const {
    const auto& a = m;
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
    auto& r = out->m;
    r[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
    r[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    r[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    r[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
    r[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    r[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    r[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
    r[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    r[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
    return true;
}

// A premultiplied pixel sampled linearly at (x, y) in pixel units, clamped to the area.
uint32_t sample(const uint8_t* data, int32_t stride, const RectF& area, double x, double y) {
    const double fx = std::clamp(x - 0.5, double(area.left), area.right - 1.0);
    const double fy = std::clamp(y - 0.5, double(area.top), area.bottom - 1.0);
    const int32_t ix = int32_t(std::floor(fx)), iy = int32_t(std::floor(fy));
    const int32_t jx = std::min(ix + 1, int32_t(std::ceil(area.right)) - 1);
    const int32_t jy = std::min(iy + 1, int32_t(std::ceil(area.bottom)) - 1);
    const double tx = fx - ix, ty = fy - iy;
    auto px = [&](int32_t x, int32_t y) { return reinterpret_cast<const uint32_t*>(data + int64_t(y) * stride)[x]; };
    const uint32_t p00 = px(ix, iy), p10 = px(jx, iy), p01 = px(ix, jy), p11 = px(jx, jy);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        auto ch = [shift](uint32_t v) { return double((v >> shift) & 255); };
        const double top = ch(p00) + (ch(p10) - ch(p00)) * tx, bottom = ch(p01) + (ch(p11) - ch(p01)) * tx;
        out |= uint32_t(std::lround(top + (bottom - top) * ty)) << shift;
    }
    return out;
}

}  // namespace

RenderTarget::RenderTarget(Kind kind, cairo_t* cr) : kind_(kind), cr_(cr) {}

RenderTarget::~RenderTarget() {
    if (drawing_) EndDraw();
    if (cr_) cairo_lib()->destroy(cr_);
}

std::unique_ptr<RenderTarget> RenderTarget::for_context(cairo_t* cr) {
    const CairoLib* c = cairo_lib();
    if (!c || !cr || c->status(cr) != CAIRO_STATUS_SUCCESS) return nullptr;
    return std::unique_ptr<RenderTarget>(new RenderTarget(Kind::Context, c->reference(cr)));
}

std::unique_ptr<RenderTarget> RenderTarget::for_pixels(uint8_t* bgra, int32_t width, int32_t height, int32_t stride) {
    if (!cairo_lib() || !bgra || width < 0 || height < 0 || width > kMaxSide || height > kMaxSide ||
        stride < int64_t(width) * 4)
        return nullptr;
    std::unique_ptr<RenderTarget> t(new RenderTarget(Kind::Pixels, nullptr));
    t->pixels_ = bgra, t->width_ = width, t->height_ = height, t->stride_ = stride;
    t->extents_ = {0, 0, float(width), float(height)};
    return t;
}

std::unique_ptr<RenderTarget> RenderTarget::offscreen(int32_t width, int32_t height) {
    std::unique_ptr<Bitmap> b = Bitmap::create(width, height);
    if (!b) return nullptr;
    std::unique_ptr<RenderTarget> t(new RenderTarget(Kind::Offscreen, cairo_lib()->create(b->surface())));
    t->width_ = width, t->height_ = height;
    t->extents_ = {0, 0, float(width), float(height)};
    t->bitmap_ = std::move(b);
    return t;
}

std::unique_ptr<RenderTarget> RenderTarget::recording(RectF extents) {
    const CairoLib* c = cairo_lib();
    if (!c || !finite(extents) || extents.width() < 0 || extents.height() < 0 || extents.width() > kMaxSide ||
        extents.height() > kMaxSide)
        return nullptr;
    const cairo_rectangle_t r{extents.left, extents.top, extents.width(), extents.height()};
    cairo_surface_t* s = c->recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &r);
    cairo_t* cr = c->create(s);
    c->surface_destroy(s);
    std::unique_ptr<RenderTarget> t(new RenderTarget(Kind::Recording, cr));
    t->extents_ = extents;
    return t;
}

cairo_surface_t* RenderTarget::surface() const { return cr_ ? cairo_lib()->get_target(cr_) : nullptr; }

bool RenderTarget::ok() const { return !cr_ || cairo_lib()->status(cr_) == CAIRO_STATUS_SUCCESS; }

void RenderTarget::BeginDraw() {
    if (drawing_) return;
    const CairoLib* c = cairo_lib();
    if (kind_ == Kind::Pixels) {
        bitmap_ = Bitmap::from_pixels(pixels_, width_, height_, stride_);
        if (!bitmap_) return;
        cr_ = c->create(bitmap_->surface());
    }
    c->save(cr_);
    // Text drawn through the target is antialiased in grayscale whatever the target.
    static cairo_font_options_t* const grayscale = [c] {
        cairo_font_options_t* o = c->font_options_create();
        c->font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
        return o;
    }();
    c->set_font_options(cr_, grayscale);
    cairo_matrix_t m;
    c->get_matrix(cr_, &m);
    base_ = {float(m.xx), float(m.yx), float(m.xy), float(m.yy), float(m.x0), float(m.y0)};
    drawing_ = true;
    clips_ = 0;
}

bool RenderTarget::EndDraw() {
    if (!drawing_) return false;
    const CairoLib* c = cairo_lib();
    while (pop_clip()) {
    }
    c->restore(cr_);
    drawing_ = false;
    const bool good = ok();
    if (kind_ == Kind::Pixels) {
        c->destroy(cr_);
        cr_ = nullptr;
        // Only what drawing changed goes back: a pixel whose premultiplied form is untouched keeps
        // its straight value bit for bit.
        const uint8_t* drawn = bitmap_->data();
        for (int32_t y = 0; y < height_; ++y) {
            const uint32_t* from = reinterpret_cast<const uint32_t*>(drawn + int64_t(y) * bitmap_->stride());
            uint8_t* row = pixels_ + int64_t(y) * stride_;
            for (int32_t x = 0; x < width_; ++x) {
                uint32_t before;
                std::memcpy(&before, row + x * 4, 4);
                if (premultiply(before) == from[x]) continue;
                const uint32_t after = unpremultiply(from[x]);
                std::memcpy(row + x * 4, &after, 4);
            }
        }
        bitmap_.reset();
    } else if (kind_ == Kind::Offscreen) {
        c->surface_flush(c->get_target(cr_));
    }
    return good;
}

void RenderTarget::begin_primitive() {
    const CairoLib* c = cairo_lib();
    const cairo_matrix_t m = to_cairo(to_device());
    c->set_matrix(cr_, &m);
    c->set_antialias(cr_, antialias(state_.antialias));
    c->set_operator(cr_, CAIRO_OPERATOR_OVER);
}

bool RenderTarget::within_reach(const RectF& box, const float* width) const {
    double l, t, r, b;
    const Matrix3x2 m = to_device();
    device_box(m, box, &l, &t, &r, &b);
    const double pad = stroke_pad(m, width);
    return l - pad > -kReach && t - pad > -kReach && r + pad < kReach && b + pad < kReach;
}

template <class Path>
void RenderTarget::paint(const Brush& brush, const float* width, const StrokeStyle* style, bool winding,
                         const RectF* box, Path path) {
    if (!drawing_ || !to_device().is_invertible() || (box && !within_reach(*box, width))) return;
    const CairoLib* c = cairo_lib();
    const int bands = brush.bands();
    for (int band = 0; band < bands; ++band) {
        if (bands > 1) c->save(cr_);
        begin_primitive();
        if (brush.apply(cr_, band) && (!width || apply_stroke(cr_, *width, *style))) {
            path();
            if (width) {
                c->stroke(cr_);
            } else {
                c->set_fill_rule(cr_, winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
                c->fill(cr_);
            }
        }
        if (bands > 1) c->restore(cr_);
    }
    c->new_path(cr_);
}

void RenderTarget::Clear(ColorF color) {
    if (!drawing_ || !finite(color.r) || !finite(color.g) || !finite(color.b) || !finite(color.a)) return;
    const CairoLib* c = cairo_lib();
    c->save(cr_);
    c->identity_matrix(cr_);
    c->set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    auto unit = [](float v) { return std::clamp(v, 0.f, 1.f); };
    c->set_source_rgba(cr_, unit(color.r), unit(color.g), unit(color.b), unit(color.a));
    c->paint(cr_);
    c->restore(cr_);
}

void RenderTarget::FillRectangle(const RectF& r, const Brush& brush) {
    if (!finite(r) || !drawing_) return;
    if (within_reach(r, nullptr)) {
        paint(brush, nullptr, nullptr, true, &r,
              [&] { cairo_lib()->rectangle(cr_, r.left, r.top, r.width(), r.height()); });
        return;
    }
    // Far past the device (a background, say): only its part over the clip is filled. The cut
    // is made in the drawing's space, so the brush stays where it was placed.
    double l, t, rt, b;
    if (!visible_box(1, &l, &t, &rt, &b)) return;
    const RectF cut{float(std::max<double>(std::min(r.left, r.right), l)),
                    float(std::max<double>(std::min(r.top, r.bottom), t)),
                    float(std::min<double>(std::max(r.left, r.right), rt)),
                    float(std::min<double>(std::max(r.top, r.bottom), b))};
    if (cut.right <= cut.left || cut.bottom <= cut.top) return;
    paint(brush, nullptr, nullptr, true, &cut,
          [&] { cairo_lib()->rectangle(cr_, cut.left, cut.top, cut.width(), cut.height()); });
}

void RenderTarget::DrawRectangle(const RectF& r, const Brush& brush, float width, const StrokeStyle& style) {
    if (!finite(r)) return;
    paint(brush, &width, &style, true, &r, [&] { cairo_lib()->rectangle(cr_, r.left, r.top, r.width(), r.height()); });
}

void RenderTarget::FillRoundedRectangle(const RoundedRect& r, const Brush& brush) {
    if (!usable(r)) return;
    paint(brush, nullptr, nullptr, true, &r.rect, [&] { rounded_path(cairo_lib(), cr_, r); });
}

void RenderTarget::DrawRoundedRectangle(const RoundedRect& r, const Brush& brush, float width,
                                        const StrokeStyle& style) {
    if (!usable(r)) return;
    paint(brush, &width, &style, true, &r.rect, [&] { rounded_path(cairo_lib(), cr_, r); });
}

void RenderTarget::FillEllipse(const Ellipse& e, const Brush& brush) {
    if (!usable(e)) return;
    const RectF box{e.point.x - e.radius_x, e.point.y - e.radius_y, e.point.x + e.radius_x, e.point.y + e.radius_y};
    paint(brush, nullptr, nullptr, true, &box,
          [&] { ellipse_path(cairo_lib(), cr_, e.point.x, e.point.y, e.radius_x, e.radius_y); });
}

void RenderTarget::DrawEllipse(const Ellipse& e, const Brush& brush, float width, const StrokeStyle& style) {
    if (!usable(e)) return;
    const RectF box{e.point.x - e.radius_x, e.point.y - e.radius_y, e.point.x + e.radius_x, e.point.y + e.radius_y};
    paint(brush, &width, &style, true, &box,
          [&] { ellipse_path(cairo_lib(), cr_, e.point.x, e.point.y, e.radius_x, e.radius_y); });
}

void RenderTarget::DrawLine(PointF from, PointF to, const Brush& brush, float width, const StrokeStyle& style) {
    if (!finite(from) || !finite(to) || !drawing_) return;
    const RectF box{std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x), std::max(from.y, to.y)};
    Point2 a{from.x, from.y}, b{to.x, to.y};
    const StrokeStyle* used = &style;
    StrokeStyle shifted;
    if (!within_reach(box, &width)) {
        // A line far past the device is cut to the part over the clip (widened by what the stroke
        // covers), its dashes shifted by the length cut from its start so they fall where they
        // would have.
        if (!(width > 0) || !finite(width)) return;
        double l, t, rt, bt;
        if (!visible_box(stroke_pad(to_device(), &width), &l, &t, &rt, &bt)) return;
        double t0 = 0, t1 = 1;
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double edges[4][2] = {{-dx, a.x - l}, {dx, rt - a.x}, {-dy, a.y - t}, {dy, bt - a.y}};
        for (const auto& [along, room] : edges) {
            if (along == 0) {
                if (room < 0) return;
                continue;
            }
            const double k = room / along;
            if (along < 0) t0 = std::max(t0, k);
            else t1 = std::min(t1, k);
        }
        if (t0 >= t1) return;
        if (!style.dashes.empty() && t0 > 0) {
            double period = 0;
            for (float d : style.dashes) period += d;
            shifted = style;
            const double cut = std::hypot(dx, dy) * t0 / width;
            if (period > 0) shifted.dash_offset = float(std::fmod(style.dash_offset + cut, period));
            used = &shifted;
        }
        b = {a.x + dx * t1, a.y + dy * t1};
        a = {a.x + dx * t0, a.y + dy * t0};
    }
    paint(brush, &width, used, true, nullptr, [&] {
        const CairoLib* c = cairo_lib();
        c->move_to(cr_, a.x, a.y);
        c->line_to(cr_, b.x, b.y);
    });
}

bool RenderTarget::visible_box(double pad, double* l, double* t, double* r, double* b) {
    Matrix3x2 back;
    if (!to_device().invert(&back)) return false;
    double x0, y0, x1, y1;
    device_clip(&x0, &y0, &x1, &y1);
    device_box(back, {float(x0 - pad), float(y0 - pad), float(x1 + pad), float(y1 + pad)}, l, t, r, b);
    return *r > *l && *b > *t;
}

void RenderTarget::FillGeometry(const PathGeometry& g, const Brush& brush) {
    if (!g.is_finite() || g.is_empty()) return;
    const RectF box = g.point_bounds();
    paint(brush, nullptr, nullptr, g.fill_mode() == FillMode::Winding, &box, [&] { g.replay(cr_, true); });
}

void RenderTarget::DrawGeometry(const PathGeometry& g, const Brush& brush, float width, const StrokeStyle& style) {
    if (!g.is_finite() || g.is_empty()) return;
    const RectF box = g.point_bounds();
    paint(brush, &width, &style, true, &box, [&] { g.replay(cr_, false); });
}

void RenderTarget::device_clip(double* x0, double* y0, double* x1, double* y1) {
    const CairoLib* c = cairo_lib();
    c->identity_matrix(cr_);
    c->clip_extents(cr_, x0, y0, x1, y1);
}

bool RenderTarget::push_box(const RectF& r, bool usable, AntialiasMode mode) {
    const CairoLib* c = cairo_lib();
    c->save(cr_);
    ++clips_;
    double x0, y0, x1, y1;
    device_clip(&x0, &y0, &x1, &y1);
    c->new_path(cr_);
    c->set_antialias(cr_, antialias(mode));
    const Matrix3x2 m = to_device();
    bool open = false;
    if (usable && m.is_invertible()) {
        double l, t, rt, b;
        device_box(m, r, &l, &t, &rt, &b);
        if (mode == AntialiasMode::Aliased) l = std::round(l), t = std::round(t), rt = std::round(rt), b = std::round(b);
        // Kept within the clip already in force, so no coordinate is out of Cairo's range.
        l = std::max(l, x0), t = std::max(t, y0), rt = std::min(rt, x1), b = std::min(b, y1);
        open = rt > l && b > t;
        if (open) c->rectangle(cr_, l, t, rt - l, b - t);
    }
    c->clip(cr_);
    return open;
}

void RenderTarget::PushAxisAlignedClip(const RectF& r, AntialiasMode mode) {
    if (drawing_) push_box(r, finite(r), mode);
}

void RenderTarget::PushLayer(const LayerParameters& layer) {
    if (!drawing_) return;
    const RectF& r = layer.content_bounds;
    // Infinite bounds are allowed: the box is computed in doubles and cut to the clip in force.
    const bool usable = !std::isnan(r.left) && !std::isnan(r.top) && !std::isnan(r.right) && !std::isnan(r.bottom);
    const bool open = push_box(r, usable, AntialiasMode::PerPrimitive);
    if (!open || !layer.mask) return;
    const CairoLib* c = cairo_lib();
    const PathGeometry& mask = *layer.mask;
    const Matrix3x2 mask_to_device = layer.mask_transform * to_device();
    if (!mask.is_finite() || !mask_to_device.is_invertible()) {
        c->new_path(cr_);
        c->clip(cr_);
        return;
    }
    const cairo_matrix_t cm = to_cairo(mask_to_device);
    c->set_matrix(cr_, &cm);
    c->set_antialias(cr_, antialias(layer.mask_antialias));
    c->set_fill_rule(cr_, mask.fill_mode() == FillMode::Winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    mask.replay(cr_, true);
    c->clip(cr_);
}

bool RenderTarget::pop_clip() {
    if (!drawing_ || clips_ == 0) return false;
    cairo_lib()->restore(cr_);
    --clips_;
    return true;
}

void RenderTarget::DrawBitmap(const Bitmap& bitmap, const RectF& dest, float opacity, Interpolation interpolation,
                              const RectF* source) {
    RectF area;
    if (!drawing_ || !finite(dest) || !finite(opacity) || !source_area(bitmap, source, &area)) return;
    // Destination to source pixels; a flat destination maps nothing.
    const Matrix3x2 to_dest = Matrix3x2::translation(-area.left, -area.top) *
                              Matrix3x2::scale(dest.width() / area.width(), dest.height() / area.height()) *
                              Matrix3x2::translation(dest.left, dest.top);
    Matrix3x2 to_source;
    if (!to_device().is_invertible() || !to_dest.invert(&to_source)) return;
    const CairoLib* c = cairo_lib();
    begin_primitive();
    cairo_pattern_t* p = c->pattern_create_for_surface(bitmap.surface());
    const cairo_matrix_t pm = to_cairo(to_source);
    c->pattern_set_matrix(p, &pm);
    c->pattern_set_filter(p, to_cairo(interpolation));
    c->pattern_set_extend(p, CAIRO_EXTEND_PAD);
    c->save(cr_);
    c->new_path(cr_);
    c->rectangle(cr_, dest.left, dest.top, dest.width(), dest.height());
    c->clip(cr_);
    c->set_source(cr_, p);
    c->paint_with_alpha(cr_, std::clamp(opacity, 0.f, 1.f));
    c->restore(cr_);
    c->pattern_destroy(p);
}

void RenderTarget::DrawImage(const Bitmap& bitmap, PointF offset, Interpolation interpolation, const RectF* source) {
    RectF area;
    if (!finite(offset) || !source_area(bitmap, source, &area)) return;
    DrawBitmap(bitmap, {offset.x, offset.y, offset.x + area.width(), offset.y + area.height()}, 1, interpolation,
               &area);
}

void RenderTarget::DrawBitmapPerspective(const Bitmap& bitmap, const RectF& source, const PointF (&corners)[4]) {
    RectF area;
    const Matrix3x2 m = to_device();
    if (!drawing_ || !source_area(bitmap, &source, &area) || !m.is_invertible()) return;
    PointF device[4];
    for (int i = 0; i < 4; ++i) {
        if (!finite(corners[i])) return;
        device[i] = m.transform(corners[i]);
    }
    Projective forward, back;
    if (!forward.from_corners(device) || !forward.invert(&back)) return;
    // Only the pixels inside both the quadrilateral's box and the clip are computed.
    double x0, y0, x1, y1;
    device_clip(&x0, &y0, &x1, &y1);
    double l = device[0].x, t = device[0].y, r = l, b = t;
    for (PointF p : device) l = std::min<double>(l, p.x), t = std::min<double>(t, p.y), r = std::max<double>(r, p.x),
                            b = std::max<double>(b, p.y);
    const int32_t ix0 = int32_t(std::floor(std::max(l, x0))), iy0 = int32_t(std::floor(std::max(t, y0)));
    const int32_t ix1 = int32_t(std::ceil(std::min(r, x1))), iy1 = int32_t(std::ceil(std::min(b, y1)));
    if (ix1 <= ix0 || iy1 <= iy0) return;
    std::unique_ptr<Bitmap> out = Bitmap::create(ix1 - ix0, iy1 - iy0);
    if (!out) return;
    const uint8_t* in = bitmap.data();
    const int32_t in_stride = bitmap.stride();
    uint8_t* to = out->data();
    const auto& h = back.m;
    for (int32_t y = iy0; y < iy1; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(to + int64_t(y - iy0) * out->stride());
        const double py = y + 0.5;
        for (int32_t x = ix0; x < ix1; ++x) {
            const double px = x + 0.5;
            const double w = h[2][0] * px + h[2][1] * py + h[2][2];
            if (w == 0) continue;
            const double u = (h[0][0] * px + h[0][1] * py + h[0][2]) / w;
            const double v = (h[1][0] * px + h[1][1] * py + h[1][2]) / w;
            if (!(u >= 0 && u <= 1 && v >= 0 && v <= 1)) continue;
            row[x - ix0] = sample(in, in_stride, area, area.left + u * area.width(), area.top + v * area.height());
        }
    }
    out->mark_dirty();
    const CairoLib* c = cairo_lib();
    c->save(cr_);
    c->identity_matrix(cr_);
    c->set_operator(cr_, CAIRO_OPERATOR_OVER);
    c->set_source_surface(cr_, out->surface(), ix0, iy0);
    c->paint(cr_);
    c->restore(cr_);
}

}  // namespace nuv::host::gfx
