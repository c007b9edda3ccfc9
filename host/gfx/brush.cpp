#include "host/gfx/brush.h"

#include <algorithm>
#include <cmath>

#include "host/gfx/bitmap.h"
#include "host/gfx/target.h"
#include "host/gfx/cairo_forms.h"
#include "host/win/cairo_lib.h"

namespace nuv::host::gfx {

namespace {

using win::cairo_lib;
using win::CairoLib;

constexpr cairo_extend_t kExtends[] = {CAIRO_EXTEND_PAD, CAIRO_EXTEND_REPEAT, CAIRO_EXTEND_REFLECT};

float unit(float v) { return std::isfinite(v) ? std::clamp(v, 0.f, 1.f) : 0.f; }

// The stops sorted by position, equal positions in their given order, unusable ones dropped.
std::vector<GradientStop> clean_stops(std::span<const GradientStop> stops) {
    std::vector<GradientStop> out;
    out.reserve(stops.size());
    for (const GradientStop& s : stops) {
        if (!finite(s.position)) continue;
        out.push_back({std::clamp(s.position, 0.f, 1.f),
                       {unit(s.color.r), unit(s.color.g), unit(s.color.b), unit(s.color.a)}});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const GradientStop& a, const GradientStop& b) { return a.position < b.position; });
    return out;
}

// Cairo inserts each stop after those at or before its position, so they go in sorted order.
void add_stops(const CairoLib* c, cairo_pattern_t* p, const std::vector<GradientStop>& stops, ExtendMode extend) {
    for (const GradientStop& s : stops)
        c->pattern_add_color_stop_rgba(p, s.position, s.color.r, s.color.g, s.color.b, s.color.a);
    c->pattern_set_extend(p, kExtends[size_t(extend)]);
}

// A w x h copy of `source` from (left, top) through `m`, drawn with the operator SOURCE.
cairo_surface_t* draw_tile(const CairoLib* c, int w, int h, cairo_surface_t* source, const cairo_matrix_t& m,
                           double left, double top, cairo_filter_t filter) {
    cairo_surface_t* tile = c->image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = c->create(tile);
    c->set_operator(cr, CAIRO_OPERATOR_SOURCE);
    c->set_matrix(cr, &m);
    cairo_pattern_t* p = c->pattern_create_for_surface(source);
    const cairo_matrix_t shift{1, 0, 0, 1, left, top};
    c->pattern_set_matrix(p, &shift);
    c->pattern_set_filter(p, filter);
    c->pattern_set_extend(p, CAIRO_EXTEND_PAD);
    c->set_source(cr, p);
    c->paint(cr);
    c->pattern_destroy(p);
    c->destroy(cr);
    c->surface_flush(tile);
    return tile;
}

cairo_pattern_t* repeating(const CairoLib* c, cairo_surface_t* tile, cairo_extend_t extend, cairo_filter_t filter) {
    cairo_pattern_t* p = c->pattern_create_for_surface(tile);
    c->surface_destroy(tile);
    c->pattern_set_extend(p, extend);
    c->pattern_set_filter(p, filter);
    return p;
}

}  // namespace

Brush::~Brush() {
    const CairoLib* c = cairo_lib();
    for (cairo_pattern_t* p : {pattern_, edges_[0], edges_[1]})
        if (p) c->pattern_destroy(p);
}

std::unique_ptr<Brush> CreateSolidColorBrush(ColorF color) {
    if (!cairo_lib()) return nullptr;
    std::unique_ptr<Brush> b(new Brush(Brush::Kind::Solid));
    b->color_ = color;
    return b;
}

std::unique_ptr<Brush> CreateLinearGradientBrush(PointF start, PointF end, std::span<const GradientStop> stops,
                                                 ExtendMode extend) {
    const CairoLib* c = cairo_lib();
    if (!c) return nullptr;
    std::unique_ptr<Brush> b(new Brush(Brush::Kind::Linear));
    b->start_ = start, b->end_ = end;
    b->pattern_ = c->pattern_create_linear(0, 0, 1, 0);
    add_stops(c, b->pattern_, clean_stops(stops), extend);
    return b;
}

std::unique_ptr<Brush> CreateRadialGradientBrush(PointF centre, PointF origin_offset, float radius_x, float radius_y,
                                                 std::span<const GradientStop> stops, ExtendMode extend) {
    if (!cairo_lib()) return nullptr;
    std::unique_ptr<Brush> b(new Brush(Brush::Kind::Radial));
    b->start_ = centre, b->end_ = origin_offset, b->radius_ = {radius_x, radius_y};
    b->stops_ = clean_stops(stops);
    b->extend_ = extend;
    return b;
}

std::unique_ptr<Brush> make_image_brush(cairo_surface_t* source, RectF area, ExtendMode x, ExtendMode y,
                                        Interpolation interpolation) {
    const CairoLib* c = cairo_lib();
    if (!c) return nullptr;
    std::unique_ptr<Brush> b(new Brush(Brush::Kind::Image));
    if (!source || !finite(area) || !(area.width() > 0) || !(area.height() > 0)) return b;
    const int w = std::max(1, int(std::lround(area.width()))), h = std::max(1, int(std::lround(area.height())));
    const bool mx = x == ExtendMode::Mirror, my = y == ExtendMode::Mirror;
    const int tw = mx ? 2 * w : w, th = my ? 2 * h : h;
    if (tw > kMaxSide || th > kMaxSide) return b;
    const cairo_filter_t filter = to_cairo(interpolation);
    // The tile: the source rectangle at w x h pixels, then its mirror images beside and below.
    cairo_surface_t* tile = c->image_surface_create(CAIRO_FORMAT_ARGB32, tw, th);
    {
        cairo_t* cr = c->create(tile);
        c->set_operator(cr, CAIRO_OPERATOR_SOURCE);
        const double sx = w / double(area.width()), sy = h / double(area.height());
        for (int ix = 0; ix < (mx ? 2 : 1); ++ix)
            for (int iy = 0; iy < (my ? 2 : 1); ++iy) {
                // Source pixels to tile pixels, flipped on the second copy of a mirrored axis.
                const cairo_matrix_t m{ix ? -sx : sx,
                                       0,
                                       0,
                                       iy ? -sy : sy,
                                       ix ? 2.0 * w + sx * area.left : -sx * area.left,
                                       iy ? 2.0 * h + sy * area.top : -sy * area.top};
                c->save(cr);
                c->set_matrix(cr, &m);
                c->set_source_surface(cr, source, 0, 0);
                c->rectangle(cr, area.left, area.top, area.width(), area.height());
                c->clip(cr);
                c->paint(cr);
                c->restore(cr);
            }
        c->destroy(cr);
        c->surface_flush(tile);
    }
    b->tile_ = {float(tw), float(th)};
    b->tile_to_brush_ =
        Matrix3x2::scale(area.width() / w, area.height() / h) * Matrix3x2::translation(area.left, area.top);
    const bool cx = x == ExtendMode::Clamp, cy = y == ExtendMode::Clamp;
    if (cx == cy) {
        c->surface_reference(tile);
        b->pattern_ = repeating(c, tile, cx ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_REPEAT, filter);
        c->surface_destroy(tile);
        return b;
    }
    // One axis clamps: the tile repeats in the middle band, its first and last rows (or columns)
    // in the bands beyond.
    b->clamp_axis_ = cx ? 0 : 1;
    const int ew = cx ? 1 : tw, eh = cx ? th : 1;
    for (int edge = 0; edge < 2; ++edge) {
        const double left = cx && edge ? tw - 1 : 0, top = cy && edge ? th - 1 : 0;
        const cairo_matrix_t id{1, 0, 0, 1, 0, 0};
        b->edges_[edge] = repeating(c, draw_tile(c, ew, eh, tile, id, left, top, CAIRO_FILTER_NEAREST),
                                    CAIRO_EXTEND_REPEAT, filter);
    }
    b->pattern_ = repeating(c, tile, CAIRO_EXTEND_REPEAT, filter);
    return b;
}

std::unique_ptr<Brush> CreateImageBrush(const Bitmap& bitmap, RectF source, ExtendMode x, ExtendMode y,
                                        Interpolation interpolation) {
    const RectF whole{0, 0, float(bitmap.width()), float(bitmap.height())};
    const RectF area{std::max(source.left, whole.left), std::max(source.top, whole.top),
                     std::min(source.right, whole.right), std::min(source.bottom, whole.bottom)};
    return make_image_brush(bitmap.surface(), area, x, y, interpolation);
}

std::unique_ptr<Brush> CreateImageBrush(const RenderTarget& recording, RectF source, ExtendMode x, ExtendMode y,
                                        Interpolation interpolation) {
    const RectF whole = recording.extents();
    const RectF area{std::max(source.left, whole.left), std::max(source.top, whole.top),
                     std::min(source.right, whole.right), std::min(source.bottom, whole.bottom)};
    return make_image_brush(recording.surface(), area, x, y, interpolation);
}

bool Brush::unit_to_brush(Matrix3x2* out) const {
    switch (kind_) {
    case Kind::Linear: {
        const float dx = end_.x - start_.x, dy = end_.y - start_.y;
        *out = {dx, dy, -dy, dx, start_.x, start_.y};
        return true;
    }
    case Kind::Radial: *out = {radius_.width, 0, 0, radius_.height, start_.x, start_.y}; return true;
    case Kind::Image: *out = tile_to_brush_; return true;
    case Kind::Solid: break;
    }
    return false;
}

bool Brush::apply(cairo_t* cr, int band) const {
    const CairoLib* c = cairo_lib();
    if (kind_ == Kind::Solid) {
        const ColorF k = color_;
        if (!finite(k.r) || !finite(k.g) || !finite(k.b) || !finite(k.a)) return false;
        c->set_source_rgba(cr, unit(k.r), unit(k.g), unit(k.b), unit(k.a));
        return true;
    }
    Matrix3x2 to_brush, user_to_unit;
    if (!unit_to_brush(&to_brush) || !(to_brush * transform_).invert(&user_to_unit)) return false;
    if (kind_ == Kind::Radial) {
        const PointF focal{end_.x / radius_.width, end_.y / radius_.height};
        if (!finite(focal)) return false;
        if (!pattern_ || focal.x != focal_.x || focal.y != focal_.y) {
            if (pattern_) c->pattern_destroy(pattern_);
            pattern_ = c->pattern_create_radial(focal.x, focal.y, 0, 0, 0, 1);
            add_stops(c, pattern_, stops_, extend_);
            focal_ = focal;
        }
    }
    if (!pattern_) return false;
    const cairo_matrix_t m = to_cairo(user_to_unit);
    if (band == 0 || clamp_axis_ < 0) {
        c->pattern_set_matrix(pattern_, &m);
        c->set_source(cr, pattern_);
        return true;
    }
    // A band beyond the tile along the clamping axis: as far as the clip reaches, in tile pixels.
    double x0, y0, x1, y1;
    c->clip_extents(cr, &x0, &y0, &x1, &y1);
    float lo[2] = {0, 0}, hi[2] = {tile_.width, tile_.height};
    for (PointF corner : {PointF{float(x0), float(y0)}, PointF{float(x1), float(y0)}, PointF{float(x0), float(y1)},
                          PointF{float(x1), float(y1)}}) {
        const PointF t = user_to_unit.transform(corner);
        lo[0] = std::min(lo[0], t.x - 1), lo[1] = std::min(lo[1], t.y - 1);
        hi[0] = std::max(hi[0], t.x + 1), hi[1] = std::max(hi[1], t.y + 1);
    }
    const int a = clamp_axis_;
    const float size = a == 0 ? tile_.width : tile_.height;
    if (band == 1) hi[a] = 0;
    else lo[a] = size;
    if (!(hi[a] > lo[a])) return false;
    cairo_matrix_t saved;
    c->get_matrix(cr, &saved);
    const cairo_matrix_t unit_to_user = to_cairo(to_brush * transform_);
    c->transform(cr, &unit_to_user);
    c->new_path(cr);
    c->rectangle(cr, lo[0], lo[1], hi[0] - lo[0], hi[1] - lo[1]);
    c->clip(cr);
    c->set_matrix(cr, &saved);
    cairo_pattern_t* edge = edges_[band - 1];
    c->pattern_set_matrix(edge, &m);
    c->set_source(cr, edge);
    return true;
}

}  // namespace nuv::host::gfx
