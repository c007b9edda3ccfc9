// The drawing commands: each reads its arguments from the walk, then fills (when the fill is on)
// and strokes (when the pen is on) what it builds, fitted and image brushes placed on the shape.
// Rectangles, rounded rectangles and ellipses go straight to the target; other shapes are paths.
// Shadows are painted under boxes, circles and ellipses from an offscreen copy of the shape.
#include "gui/draw/primitives.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

#include "gui/backend/colours.h"
#include "gui/backend/text_formats.h"
#include "gui/backend/view_object.h"
#include "gui/draw/pens.h"
#include "gui/draw/rich_text.h"
#include "gui/draw/text_styles.h"
#include "gui/draw/words.h"
#include "host/gfx/effects.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/errors.h"

namespace nuv::gui::draw {

namespace {

using gfx::PointF;
using gfx::RectF;

constexpr float kPi = std::numbers::pi_v<float>;
// A sweep this close to a full turn draws the whole ellipse.
constexpr float kFullTurn = 359.99899f;
// A shadow's blur is its gaussian's deviation times 0.75 * sqrt(2 pi).
constexpr float kBlurPerDeviation = 1.8799711f;
// Text placed further out than this is off every target, and too far for the text engine.
constexpr float kTextReach = 1e6f;
// Each Catmull-Rom segment of a spline is this many lines.
constexpr int kSplineSteps = 25;

bool is_type(const Walk& w, int32_t i, TypeId t) { return w.has(i) && w.type(i) == t; }

RectF ordered(PointF a, PointF b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

uint8_t mode_of(const DrawContext& ctx, bool fill) { return fill ? ctx.s.fill_mode : ctx.s.pen_mode; }

// A fitted gradient or an image brush placed on a box for as long as it lives; other brushes
// stay where they are.
class Fitted {
public:
    Fitted(DrawContext& ctx, bool fill, const RectF& box) : ctx_(ctx), fill_(fill), on_(mode_of(ctx, fill) >= kFitted) {
        if (on_) fit_brush(ctx, fill, box);
    }
    ~Fitted() {
        if (on_) unfit_brush(ctx_, fill_);
    }
    Fitted(const Fitted&) = delete;
    Fitted& operator=(const Fitted&) = delete;

private:
    DrawContext& ctx_;
    bool fill_, on_;
};

bool fill_on(const DrawContext& ctx) { return ctx.s.fill_mode != kOff && ctx.s.fill; }
bool pen_on(const DrawContext& ctx) { return ctx.s.pen_mode != kOff && ctx.s.pen; }

// The shapes the target draws directly: a rectangle, a rounded rectangle or an ellipse, each
// with its box.
struct Plain {
    enum Kind : uint8_t { Rect, Rounded, Ellipse } kind;
    RectF box;
    float rx = 0, ry = 0;
};

void paint_plain(DrawContext& ctx, const Plain& p) {
    gfx::RenderTarget& t = *ctx.target;
    const gfx::RoundedRect rounded{p.box, p.rx, p.ry};
    const gfx::Ellipse ellipse{{(p.box.left + p.box.right) / 2, (p.box.top + p.box.bottom) / 2},
                               (p.box.right - p.box.left) / 2, (p.box.bottom - p.box.top) / 2};
    if (fill_on(ctx)) {
        const Fitted fit(ctx, true, p.box);
        const gfx::Brush& b = *ctx.s.fill;
        switch (p.kind) {
        case Plain::Rect: t.FillRectangle(p.box, b); break;
        case Plain::Rounded: t.FillRoundedRectangle(rounded, b); break;
        case Plain::Ellipse: t.FillEllipse(ellipse, b); break;
        }
    }
    if (pen_on(ctx)) {
        const Fitted fit(ctx, false, p.box);
        const gfx::Brush& b = *ctx.s.pen;
        const float lw = ctx.s.line_width;
        switch (p.kind) {
        case Plain::Rect: t.DrawRectangle(p.box, b, lw, ctx.s.stroke); break;
        case Plain::Rounded: t.DrawRoundedRectangle(rounded, b, lw, ctx.s.stroke); break;
        case Plain::Ellipse: t.DrawEllipse(ellipse, b, lw, ctx.s.stroke); break;
        }
    }
}

// Puts the context's target back however the drawing in between ends.
class TargetSwap {
public:
    TargetSwap(DrawContext& ctx, gfx::RenderTarget* to) : ctx_(ctx), old_(ctx.target) { ctx.target = to; }
    ~TargetSwap() { ctx_.target = old_; }
    TargetSwap(const TargetSwap&) = delete;
    TargetSwap& operator=(const TargetSwap&) = delete;

private:
    DrawContext& ctx_;
    gfx::RenderTarget* old_;
};

// The shape drawn into a bitmap of its box widened by half the line width (on whole pixels, so the
// copy lands on the pixels the shape would), each shadow painted from that bitmap's coverage,
// then the bitmap over them.
void paint_shadowed(DrawContext& ctx, const Plain& p) {
    const float m = ctx.s.line_width / 2;
    const double left = std::floor(double(p.box.left) - m), top = std::floor(double(p.box.top) - m);
    const double right = std::ceil(double(p.box.right) + m), bottom = std::ceil(double(p.box.bottom) + m);
    const double w = std::max(1.0, right - left), h = std::max(1.0, bottom - top);
    std::unique_ptr<gfx::RenderTarget> off;
    if (std::isfinite(w) && std::isfinite(h) && w <= gfx::kMaxSide && h <= gfx::kMaxSide)
        off = gfx::RenderTarget::offscreen(int32_t(w), int32_t(h));
    if (!off) return paint_plain(ctx, p);
    gfx::RenderTarget& target = *ctx.target;
    off->SetAntialiasMode(target.GetAntialiasMode());
    off->SetTransform(gfx::Matrix3x2::translation(float(-left), float(-top)));
    off->BeginDraw();
    {
        const TargetSwap swap(ctx, off.get());
        paint_plain(ctx, p);
    }
    off->EndDraw();
    const gfx::Bitmap* shape = off->bitmap();
    if (!shape) return;
    const PointF at{float(left), float(top)};
    for (const Shadow& s : ctx.shadows) {
        const gfx::Bitmap* source = shape;
        std::unique_ptr<gfx::Bitmap> grown;
        if (s.spread != 0) {
            grown = gfx::Scale(*shape, float((w + 2 * s.spread) / w), float((h + 2 * s.spread) / h),
                               gfx::Interpolation::Linear);
            if (!grown || grown->width() == 0 || grown->height() == 0) continue;
            source = grown.get();
        }
        // A blur so wide that no pixel of the shadow reaches half a step of coverage paints
        // nothing: it is not made (its bitmap would grow with the blur's square).
        const double deviation = s.blur / kBlurPerDeviation;
        if (deviation > 0 && double(source->width()) * source->height() * 255 < deviation * deviation * kPi)
            continue;
        PointF reach;
        const std::unique_ptr<gfx::Bitmap> shadow =
            gfx::Shadow(*source, float(deviation), backend::color_f(s.colour), &reach);
        if (!shadow) continue;
        target.DrawImage(*shadow, {at.x + s.x - s.spread + reach.x, at.y + s.y - s.spread + reach.y},
                         gfx::Interpolation::Linear);
    }
    target.DrawImage(*shape, at, gfx::Interpolation::Linear);
}

void draw_plain(DrawContext& ctx, const Plain& p) {
    if (!ctx.target) return;
    if (ctx.s.shadow_on && !ctx.shadows.empty()) return paint_shadowed(ctx, p);
    paint_plain(ctx, p);
}

void draw_ellipse(DrawContext& ctx, PointF centre, float rx, float ry) {
    draw_plain(ctx, {Plain::Ellipse, {centre.x - rx, centre.y - ry, centre.x + rx, centre.y + ry}});
}

// A two-point line: stroked only, a fitted pen placed on the box the points span.
void draw_line(DrawContext& ctx, PointF a, PointF b) {
    if (!ctx.target || !pen_on(ctx)) return;
    const Fitted fit(ctx, false, ordered(a, b));
    ctx.target->DrawLine(a, b, *ctx.s.pen, ctx.s.line_width, ctx.s.stroke);
}

gfx::FigureBegin figure_begin(const DrawContext& ctx) {
    return ctx.s.fill_mode != kOff ? gfx::FigureBegin::Filled : gfx::FigureBegin::Hollow;
}

// A figure through the `count` points from cell `first` on.
void draw_polyline(DrawContext& ctx, const Walk& w, int32_t first, int32_t count, bool closed) {
    if (!ctx.target) return;
    gfx::PathGeometry path;
    path.BeginFigure(point_of(w.cell(first)), figure_begin(ctx));
    for (int32_t i = 1; i < count; ++i) path.AddLine(point_of(w.cell(first + i)));
    path.EndFigure(closed ? gfx::FigureEnd::Closed : gfx::FigureEnd::Open);
    draw_geometry(ctx, path);
}

// The Catmull-Rom segment from p1 to p2 as lines.
void add_spline_segment(gfx::PathGeometry& path, PointF p0, PointF p1, PointF p2, PointF p3) {
    for (int k = 1; k <= kSplineSteps; ++k) {
        const float t = float(k) / kSplineSteps, t2 = t * t, t3 = t2 * t;
        auto at = [&](float a0, float a1, float a2, float a3) {
            return 0.5f * (2 * a1 + (a2 - a0) * t + (2 * a0 - 5 * a1 + 4 * a2 - a3) * t2 +
                           (3 * (a1 - a2) + a3 - a0) * t3);
        };
        path.AddLine({at(p0.x, p1.x, p2.x, p3.x), at(p0.y, p1.y, p2.y, p3.y)});
    }
}

// The solid brush of a colour: the record's cached one, or one kept in *spare.
gfx::Brush* solid(DrawContext& ctx, uint32_t colour, std::unique_ptr<gfx::Brush>* spare) {
    if (ctx.record) return backend::solid_brush(ctx.record, colour, spare);
    *spare = gfx::CreateSolidColorBrush(backend::color_f(colour));
    return spare->get();
}

// Draws a layout at a point in the current transform with its default colour the text colour.
// Text goes to the target's context directly, so the context's matrix is first made the
// target's: an empty fill at the point with the text's own brush sets it, as every primitive does.
void paint_layout(DrawContext& ctx, gfx::TextLayout& layout, PointF at) {
    gfx::RenderTarget& t = *ctx.target;
    const PointF device = t.GetTransform().transform(at);
    if (!t.is_drawing() || !t.GetTransform().is_invertible() || !(std::abs(device.x) < kTextReach) ||
        !(std::abs(device.y) < kTextReach))
        return;
    std::unique_ptr<gfx::Brush> spare;
    gfx::Brush* brush = solid(ctx, ctx.s.text_colour, &spare);
    if (!brush) return;
    t.FillRectangle({at.x, at.y, at.x, at.y}, *brush);
    layout.set_default_colour(rgba_of(ctx.s.text_colour));
    layout.draw(t.context(), at.x, at.y);
}

// The `text` format: the font's, or the default font's made on first use.
const gfx::TextFormat& text_format(DrawContext& ctx) {
    if (!ctx.s.text_format) {
        bool default_used = false;
        auto format = std::make_shared<gfx::TextFormat>(*backend::make_text_format(none::shared(), &default_used));
        backend::set_text_line_spacing(format.get(), nullptr);
        ctx.s.text_format = std::move(format);
    }
    return *ctx.s.text_format;
}

void draw_string(DrawContext& ctx, PointF at, const Cell& text) {
    if (!ctx.target) return;
    const std::unique_ptr<gfx::TextLayout> layout = backend::create_text_layout(&text, text_format(ctx), 0, 0);
    if (!layout) return;
    if (ctx.s.font_line_style & kUnderline) layout->set_underline(0, layout->length(), true);
    if (ctx.s.font_line_style & kStrike) layout->set_strikethrough(0, layout->length(), true);
    paint_layout(ctx, *layout, at);
}

// The image's pixels as a bitmap: a copy of what the target holds now when the image is the one
// being drawn on. Null when the image has no pixels (*failed false) or no bitmap can be made.
std::unique_ptr<gfx::Bitmap> bitmap_of(DrawContext& ctx, const Cell& image, bool* failed) {
    *failed = false;
    const image::Record* r = image::record_of(&image);
    if (!r || r->width <= 0 || r->height <= 0) return nullptr;
    std::unique_ptr<gfx::Bitmap> out;
    const gfx::Bitmap* drawn = ctx.target ? ctx.target->bitmap() : nullptr;
    if (r == ctx.pixels && drawn && drawn->width() == r->width && drawn->height() == r->height) {
        out = gfx::Bitmap::create(r->width, r->height);
        if (out) {
            drawn->surface();  // flushes what was drawn
            const uint8_t* from = drawn->data();
            for (int32_t y = 0; y < r->height; ++y)
                std::memcpy(out->data() + int64_t(y) * out->stride(), from + int64_t(y) * drawn->stride(),
                            size_t(r->width) * 4);
            out->mark_dirty();
        }
    } else {
        out = gfx::Bitmap::from_pixels(r->data, r->width, r->height, r->width * 4);
    }
    *failed = !out;
    return out;
}

// The part of the image a crop keeps; false when nothing is left. An edge before the image is
// moved to its first pixel, which stays at the destination's corner: the visible pixels land
// where the whole image puts them.
bool crop_area(const gfx::Bitmap& b, PointF offset, PointF size, RectF* source) {
    RectF s = ordered(offset, {offset.x + size.x, offset.y + size.y});
    if (!(s.right > 0) || !(s.bottom > 0)) return false;
    s.left = std::max(s.left, 0.f);
    s.top = std::max(s.top, 0.f);
    s.right = std::min(s.right, float(b.width()));
    s.bottom = std::min(s.bottom, float(b.height()));
    if (!(s.right > s.left) || !(s.bottom > s.top)) return false;
    *source = s;
    return true;
}

// The face's field of that name (none when it has none), copied out.
Cell face_field(const Cell& face, const char* name) {
    const Cell* f = view_object::field(&face, name);
    return f ? *f : *none::shared();
}

}  // namespace

// ---- Paths

void draw_geometry(DrawContext& ctx, const gfx::PathGeometry& path) {
    if (!ctx.target) return;
    // Gradients are fitted to the widened bounds, image brushes start at the shape's own corner.
    RectF widened{};
    bool widened_made = false;
    auto box_for = [&](bool fill) {
        if (mode_of(ctx, fill) < kFitted) return RectF{};
        if (mode_of(ctx, fill) == kImageBrush) return path.point_bounds();
        if (!widened_made &&
            !path.GetWidenedBounds(ctx.s.line_width, ctx.s.stroke, gfx::Matrix3x2::identity(), &widened))
            widened = path.point_bounds();
        widened_made = true;
        return widened;
    };
    if (fill_on(ctx)) {
        const Fitted fit(ctx, true, box_for(true));
        ctx.target->FillGeometry(path, *ctx.s.fill);
    }
    if (pen_on(ctx)) {
        const Fitted fit(ctx, false, box_for(false));
        ctx.target->DrawGeometry(path, *ctx.s.pen, ctx.s.line_width, ctx.s.stroke);
    }
}

// ---- Line style

void make_stroke_style(DrawContext& ctx) {
    ctx.s.stroke.miter_limit = 10;
    ctx.s.stroke.dash_offset = 0;
}

void cmd_line_width(DrawContext& ctx, Walk& w) {
    const float width = need_number(w, w.at + 1);
    w.at += 1;
    if (width == 0) {
        if (ctx.s.line_width != 0) ctx.s.saved_pen_mode = ctx.s.pen_mode;
        ctx.s.pen_mode = kOff;
    } else if (ctx.s.line_width == 0) {
        ctx.s.pen_mode = ctx.s.saved_pen_mode;
    }
    ctx.s.line_width = width;
}

namespace {

// A style word's value from a table; words not in it give the first entry.
template <class V, size_t N>
V style_word(const Walk& w, int32_t i, const std::pair<const SymId*, V> (&table)[N]) {
    if (!w.has(i) || w.type(i) != TypeId::Word) draw_error(w, i);
    const SymId s = word_symbol(w.cell(i));
    for (const auto& [word, value] : table)
        if (*word == s) return value;
    return table[0].second;
}

}  // namespace

void cmd_line_join(DrawContext& ctx, Walk& w) {
    static const std::pair<const SymId*, gfx::LineJoin> kJoins[] = {
        {&words::miter, gfx::LineJoin::Miter},
        {&words::miter_bevel, gfx::LineJoin::MiterOrBevel},
        {&words::round_, gfx::LineJoin::Round},
        {&words::bevel, gfx::LineJoin::Bevel},
    };
    ctx.s.stroke.join = style_word(w, w.at + 1, kJoins);
    w.at += 1;
    make_stroke_style(ctx);
}

void cmd_line_cap(DrawContext& ctx, Walk& w) {
    static const std::pair<const SymId*, gfx::CapStyle> kCaps[] = {
        {&words::flat, gfx::CapStyle::Flat},
        {&words::square, gfx::CapStyle::Square},
        {&words::round_, gfx::CapStyle::Round},
    };
    ctx.s.stroke.cap = style_word(w, w.at + 1, kCaps);
    w.at += 1;
    make_stroke_style(ctx);
}

void cmd_line_pattern(DrawContext& ctx, Walk& w) {
    int32_t n = 0;
    while (is_type(w, w.at + 1 + n, TypeId::Integer)) ++n;
    std::vector<float>& dashes = ctx.s.stroke.dashes;
    dashes.clear();
    for (int32_t i = 0; i < n; ++i) dashes.push_back(number_of(w.cell(w.at + 1 + i)));
    w.at += n;
    make_stroke_style(ctx);
}

void cmd_anti_alias(DrawContext& ctx, Walk& w) {
    const int32_t i = w.at + 1;
    if (!w.has(i) || w.type(i) != TypeId::Word) draw_error(w, i);
    w.at = i;
    if (ctx.target)
        ctx.target->SetAntialiasMode(word_symbol(w.cell(i)) == words::off ? gfx::AntialiasMode::Aliased
                                                                          : gfx::AntialiasMode::PerPrimitive);
}

// ---- Shapes

void cmd_box(DrawContext& ctx, Walk& w) {
    const PointF a = need_point(w, w.at + 1), b = need_point(w, w.at + 2);
    w.at += 2;
    float radius = 0;
    if (number_at(w, w.at + 1)) radius = number_of(w.cell(++w.at));
    const RectF box = ordered(a, b);
    if (radius != 0)
        draw_plain(ctx, {Plain::Rounded, box, radius, radius});
    else
        draw_plain(ctx, {Plain::Rect, box});
}

void cmd_line(DrawContext& ctx, Walk& w) {
    const int32_t first = w.at + 1, n = count_points(w, first);
    if (n < 2) draw_error(w, first + n);
    w.at += n;
    if (n == 2)
        draw_line(ctx, point_of(w.cell(first)), point_of(w.cell(first + 1)));
    else
        draw_polyline(ctx, w, first, n, false);
}

void cmd_triangle(DrawContext& ctx, Walk& w) {
    const int32_t first = w.at + 1;
    for (int32_t i = 0; i < 3; ++i) need_point(w, first + i);
    w.at += 3;
    draw_polyline(ctx, w, first, 3, true);
}

void cmd_polygon(DrawContext& ctx, Walk& w) {
    const int32_t first = w.at + 1, n = count_points(w, first);
    if (n < 3) draw_error(w, first + n);
    w.at += n;
    draw_polyline(ctx, w, first, n, true);
}

void cmd_circle(DrawContext& ctx, Walk& w) {
    const PointF centre = need_point(w, w.at + 1);
    const float rx = need_number(w, w.at + 2);
    w.at += 2;
    float ry = rx;
    if (number_at(w, w.at + 1)) ry = number_of(w.cell(++w.at));
    draw_ellipse(ctx, centre, rx, ry);
}

void cmd_ellipse(DrawContext& ctx, Walk& w) {
    const PointF corner = need_point(w, w.at + 1), size = need_point(w, w.at + 2);
    w.at += 2;
    draw_ellipse(ctx, {corner.x + size.x / 2, corner.y + size.y / 2}, size.x / 2, size.y / 2);
}

void cmd_arc(DrawContext& ctx, Walk& w) {
    const PointF c = need_point(w, w.at + 1), r = need_point(w, w.at + 2);
    const float start_deg = need_number(w, w.at + 3), sweep = need_number(w, w.at + 4);
    w.at += 4;
    const bool closed = word_at(w, w.at + 1, words::closed);
    if (closed) ++w.at;
    if (!ctx.target) return;
    if (sweep >= kFullTurn || sweep <= -kFullTurn) return draw_ellipse(ctx, c, r.x, r.y);
    const float rad = kPi / 180;
    double a = start_deg * rad, b = (start_deg + sweep) * rad;
    if (r.x != r.y) {
        a = std::atan2(double(r.x) * std::sin(a), double(r.y) * std::cos(a));
        b = std::atan2(double(r.x) * std::sin(b), double(r.y) * std::cos(b));
        if (std::abs(a - b) > std::numbers::pi) (a > b ? a : b) -= 2 * std::numbers::pi;
    }
    const PointF from{c.x + r.x * float(std::cos(a)), c.y + r.y * float(std::sin(a))};
    const PointF to{c.x + r.x * float(std::cos(b)), c.y + r.y * float(std::sin(b))};
    gfx::PathGeometry path;
    if (closed) {
        path.BeginFigure(c, gfx::FigureBegin::Filled);
        path.AddLine(from);
    } else {
        path.BeginFigure(from, gfx::FigureBegin::Hollow);
    }
    path.AddArc({to, {r.x, r.y}, 0, sweep >= 0 ? gfx::SweepDirection::Clockwise : gfx::SweepDirection::CounterClockwise,
                 sweep >= 180 || sweep <= -180 ? gfx::ArcSize::Large : gfx::ArcSize::Small});
    path.EndFigure(closed ? gfx::FigureEnd::Closed : gfx::FigureEnd::Open);
    if (fill_on(ctx)) ctx.target->FillGeometry(path, *ctx.s.fill);
    if (pen_on(ctx)) ctx.target->DrawGeometry(path, *ctx.s.pen, ctx.s.line_width, ctx.s.stroke);
}

void cmd_curve(DrawContext& ctx, Walk& w) {
    const int32_t first = w.at + 1;
    const PointF p0 = need_point(w, first), p1 = need_point(w, first + 1), p2 = need_point(w, first + 2);
    const bool cubic = point_at(w, first + 3);
    w.at += cubic ? 4 : 3;
    if (!ctx.target) return;
    gfx::PathGeometry path;
    path.BeginFigure(p0, gfx::FigureBegin::Hollow);
    if (cubic)
        path.AddBezier(p1, p2, point_of(w.cell(first + 3)));
    else
        path.AddBezier({(p0.x + 2 * p1.x) / 3, (p0.y + 2 * p1.y) / 3}, {(p2.x + 2 * p1.x) / 3, (p2.y + 2 * p1.y) / 3},
                       p2);
    path.EndFigure(gfx::FigureEnd::Open);
    draw_geometry(ctx, path);
}

void cmd_spline(DrawContext& ctx, Walk& w) {
    const int32_t first = w.at + 1, n = count_points(w, first);
    if (n < 2) draw_error(w, first + n);
    w.at += n;
    const bool closed = word_at(w, w.at + 1, words::closed);
    if (closed) ++w.at;
    auto p = [&](int32_t k) { return point_of(w.cell(first + k)); };  // k from 0
    if (n == 2) return draw_line(ctx, p(0), p(1));
    if (!ctx.target) return;
    gfx::PathGeometry path;
    path.BeginFigure(p(0), figure_begin(ctx));
    add_spline_segment(path, closed ? p(n - 1) : p(0), p(0), p(1), p(2));
    for (int32_t i = 0; i + 3 < n; ++i) add_spline_segment(path, p(i), p(i + 1), p(i + 2), p(i + 3));
    add_spline_segment(path, p(n - 3), p(n - 2), p(n - 1), closed ? p(0) : p(n - 1));
    if (closed) add_spline_segment(path, p(n - 2), p(n - 1), p(0), p(1));
    path.EndFigure(closed ? gfx::FigureEnd::Closed : gfx::FigureEnd::Open);
    draw_geometry(ctx, path);
}

// ---- Text

void draw_face_text(DrawContext& ctx, PointF at, const Cell& face, bool background) {
    if (!ctx.target) return;
    std::unique_ptr<gfx::TextLayout> temporary;
    gfx::TextLayout* layout = text_box_layout(face, ctx.record, ctx.report, &temporary);
    if (background) {
        const Cell colour = face_field(face, "color"), size = face_field(face, "size");
        uint32_t c = 0;
        if (cell::is(&colour, TypeId::Tuple) && colour_of(colour, &c) && is_point(size)) {
            const PointF s = point_of(size);
            std::unique_ptr<gfx::Brush> spare;
            if (gfx::Brush* brush = solid(ctx, c, &spare))
                ctx.target->FillRectangle({at.x, at.y, at.x + s.x, at.y + s.y}, *brush);
        }
    }
    if (!layout) return;
    draw_text_backdrops(ctx.record, *ctx.target, at, *layout);
    paint_layout(ctx, *layout, at);
}

void cmd_text(DrawContext& ctx, Walk& w) {
    const PointF at = need_point(w, w.at + 1);
    const int32_t i = w.at + 2;
    if (!w.has(i) || (w.type(i) != TypeId::String && w.type(i) != TypeId::Object)) draw_error(w, i);
    w.at = i;
    const Cell value = w.cell(i);
    if (cell::is(&value, TypeId::String))
        draw_string(ctx, at, value);
    else
        draw_face_text(ctx, at, value, true);
}

void cmd_font(DrawContext& ctx, Walk& w) {
    const int32_t i = w.at + 1;
    if (!w.has(i)) draw_error(w, i);
    Cell font = w.cell(i);
    if (cell::is(&font, TypeId::Word)) font = word_value(font);
    if (!cell::is(&font, TypeId::Object)) draw_error(w, i);
    w.at = i;
    bool default_used = false;
    auto format = std::make_shared<gfx::TextFormat>(*backend::make_text_format(&font, &default_used));
    backend::set_text_line_spacing(format.get(), nullptr);
    ctx.s.text_format = std::move(format);
    uint32_t colour = 0;
    ctx.s.font_colour = object::word_count(&font) >= backend::kFontSlots &&
                        colour_of(*view_object::at(&font, backend::kFontColor), &colour);
    ctx.s.text_colour = ctx.s.font_colour ? colour : ctx.s.pen_colour;
    ctx.s.font_line_style = font_line_style_bits(font);
}

// ---- Images

bool draw_face_image(DrawContext& ctx, const Cell& image, PointF size) {
    if (!ctx.target) return true;
    bool failed = false;
    const std::unique_ptr<gfx::Bitmap> b = bitmap_of(ctx, image, &failed);
    if (b) ctx.target->DrawBitmap(*b, {0, 0, size.x, size.y}, 1, gfx::Interpolation::Cubic);
    return !failed;
}

void cmd_image(DrawContext& ctx, Walk& w) {
    const int32_t arg = w.at + 1;
    if (!w.has(arg)) draw_error(w, arg);
    Cell image = w.cell(arg);
    if (cell::is(&image, TypeId::Word)) image = word_value(image);
    if (!cell::is(&image, TypeId::Image)) draw_error(w, arg);
    const int32_t first = arg + 1, n = count_points(w, first);
    int32_t i = first + n;
    uint32_t key = 0;
    if (w.has(i) && colour_of(w.cell(i), &key)) ++i;
    bool cropped = false;
    PointF crop_at, crop_size;
    if (word_at(w, i, words::border)) {
        ++i;
    } else if (word_at(w, i, words::crop)) {
        crop_at = need_point(w, i + 1);
        crop_size = need_point(w, i + 2);
        cropped = true;
        i += 3;
    }
    w.at = i - 1;
    if (!ctx.target) return;
    bool failed = false;
    const std::unique_ptr<gfx::Bitmap> b = bitmap_of(ctx, image, &failed);
    if (failed) draw_no_memory(w);
    if (!b) return;
    RectF source{0, 0, float(b->width()), float(b->height())};
    if (cropped && !crop_area(*b, crop_at, crop_size, &source)) return;
    auto p = [&](int32_t k) { return point_of(w.cell(first + k)); };
    if (n == 3 || n == 4) {
        const PointF tl = p(0), tr = p(1), br = p(2);
        const PointF bl = n == 4 ? p(3) : PointF{tl.x, br.y};
        const PointF corners[4] = {tl, tr, br, bl};
        ctx.target->DrawBitmapPerspective(*b, source, corners);
        return;
    }
    RectF dest;
    if (n == 2) {
        dest = {p(0).x, p(0).y, p(1).x, p(1).y};
    } else {
        const PointF at = n == 1 ? p(0) : PointF{};
        dest = {at.x, at.y, at.x + source.width(), at.y + source.height()};
    }
    ctx.target->DrawBitmap(*b, dest, 1, gfx::Interpolation::Cubic, &source);
}

}  // namespace nuv::gui::draw
