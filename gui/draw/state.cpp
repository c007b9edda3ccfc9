// Transformations of the whole drawing or of a pen's brush, the state saved by `push` and every
// block form, clips (rectangles and shape regions, nested to any depth) and the shadow list.
// A transformation that cannot be inverted is kept as it is: the target and the brushes draw
// nothing under it, and `reset-matrix` or the end of the block brings drawing back.
#include "gui/draw/state.h"

#include <algorithm>

#include "gui/backend/colours.h"
#include "gui/backend/render.h"
#include "gui/draw/shape.h"
#include "gui/draw/words.h"

namespace nuv::gui::draw {

using T = TypeId;
using gfx::Matrix3x2;

namespace {

// What a transformation changes: the whole drawing, or the pen's or the fill's brush.
enum class Aim : uint8_t { Drawing, Pen, Fill };

// The brush a transformation aimed at a pen changes: only a gradient or an image brush; an off
// or plain-colour pen ignores it.
gfx::Brush* aimed_brush(DrawContext& ctx, Aim aim) {
    if (aim == Aim::Pen) return ctx.s.pen_mode >= kGradient ? ctx.s.pen.get() : nullptr;
    return ctx.s.fill_mode >= kGradient ? ctx.s.fill.get() : nullptr;
}

// The optional 'pen or 'fill-pen after the command word, which moves w.at onto it; any other
// lit-word there is refused.
Aim read_aim(Walk& w) {
    const int32_t i = w.at + 1;
    if (!w.has(i) || w.type(i) != T::LitWord) return Aim::Drawing;
    const SymId sym = word_symbol(w.cell(i));
    if (sym != words::pen && sym != words::fill_pen) draw_error(w, i);
    w.at = i;
    return sym == words::pen ? Aim::Pen : Aim::Fill;
}

// The aimed matrix through `change`, which rewrites it in place.
template <class Change>
void change_matrix(DrawContext& ctx, Aim aim, Change&& change) {
    if (aim == Aim::Drawing) {
        if (!ctx.target) return;
        Matrix3x2 m = ctx.target->GetTransform();
        change(m);
        ctx.target->SetTransform(m);
        return;
    }
    gfx::Brush* brush = aimed_brush(ctx, aim);
    if (!brush) return;
    Matrix3x2 m = brush->GetTransform();
    change(m);
    brush->SetTransform(m);
}

// Combines n with the aimed matrix in the context's order: prepended, n acts in the current user
// space.
void multiply(DrawContext& ctx, Aim aim, const Matrix3x2& n) {
    change_matrix(ctx, aim, [&](Matrix3x2& m) { backend::matrix_multiply(m, n, &m, ctx.matrix_prepend); });
}

// A scale factor may also be a percent! (its fraction: 50% is 0.5).
float need_factor(const Walk& w, int32_t i) {
    if (!number_at(w, i) && !(w.has(i) && w.type(i) == T::Percent)) draw_error(w, i);
    return number_of(w.cell(i));
}

// The end of a command whose last argument is at `last`: `change` changes the state for the
// rest of the drawing or, when a block follows, for that block only.
template <class Change>
void finish(DrawContext& ctx, Walk& w, int32_t last, bool pops_clip, Change&& change) {
    const int32_t next = last + 1;
    if (!w.has(next) || w.type(next) != T::Block) {
        w.at = last;
        change();
        return;
    }
    w.at = next;
    run_block_form(ctx, w, next, pops_clip, change);
}

void transform_by(DrawContext& ctx, Walk& w, Aim aim, int32_t last, const Matrix3x2& n) {
    finish(ctx, w, last, false, [&] { multiply(ctx, aim, n); });
}

}  // namespace

// ---- The state stack

void push_state(DrawContext& ctx, SavedState* saved) {
    if (ctx.target) ctx.target->SaveDrawingState(&saved->block);
    saved->state = ctx.s;
    if (ctx.s.pen) saved->pen_transform = ctx.s.pen->GetTransform();
    if (ctx.s.fill) saved->fill_transform = ctx.s.fill->GetTransform();
}

void pop_state(DrawContext& ctx, SavedState& saved) {
    while (ctx.s.clip_depth > saved.state.clip_depth) pop_clip(ctx);
    if (ctx.target) ctx.target->RestoreDrawingState(saved.block);
    ctx.s = std::move(saved.state);
    DrawState& s = ctx.s;
    // The brushes are shared with the block that just ended: a colour set in place or a
    // transformation aimed at them there is taken back.
    if (s.pen) {
        s.pen->SetTransform(saved.pen_transform);
        if (s.pen->kind() == gfx::Brush::Kind::Solid) s.pen->SetColor(backend::color_f(s.pen_colour));
    }
    if (s.fill) {
        s.fill->SetTransform(saved.fill_transform);
        if (s.fill->kind() == gfx::Brush::Kind::Solid) s.fill->SetColor(backend::color_f(s.fill_colour));
    }
}

// ---- Clips. Clip k (1 to 32) records its kind in bit k-1 of clip_kinds; deeper clips are
// always layers, so any depth pops soundly.

namespace {

// Counts a new clip, a layer until said otherwise; answers its kind bit (0 past 32).
uint32_t count_clip(DrawContext& ctx) {
    const int32_t depth = ++ctx.s.clip_depth;
    const uint32_t bit = depth <= 32 ? 1u << (depth - 1) : 0;
    ctx.clip_kinds &= ~bit;
    return bit;
}

}  // namespace

void push_clip_rect(DrawContext& ctx, gfx::PointF a, gfx::PointF b) {
    const uint32_t bit = count_clip(ctx);
    if (!ctx.target) return;
    const gfx::RectF r{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    if (bit && ctx.target->GetTransform().is_axis_aligned()) {
        ctx.target->PushAxisAlignedClip(r, gfx::AntialiasMode::PerPrimitive);
        ctx.clip_kinds |= bit;
        return;
    }
    // A layer masked by the rectangle itself, so a turned rectangle clips to its own outline
    // rather than to the box around it.
    gfx::PathGeometry mask;
    mask.BeginFigure({r.left, r.top}, gfx::FigureBegin::Filled);
    mask.AddLine({r.right, r.top});
    mask.AddLine({r.right, r.bottom});
    mask.AddLine({r.left, r.bottom});
    mask.EndFigure(gfx::FigureEnd::Closed);
    gfx::LayerParameters layer;
    layer.content_bounds = r;
    layer.mask = &mask;
    ctx.target->PushLayer(layer);
}

void push_clip_shape(DrawContext& ctx) {
    count_clip(ctx);
    const std::unique_ptr<gfx::PathGeometry> path = std::move(ctx.shape.path);
    ctx.shape = {};
    if (!ctx.target || !path) return;
    path->EndFigure(gfx::FigureEnd::Closed);
    gfx::LayerParameters layer;  // unbounded, narrowed by the region
    layer.mask = path.get();
    ctx.target->PushLayer(layer);
}

void pop_clip(DrawContext& ctx) {
    if (ctx.s.clip_depth <= 0) return;
    const int32_t depth = ctx.s.clip_depth--;
    const bool rectangle = depth <= 32 && (ctx.clip_kinds >> (depth - 1) & 1);
    if (!ctx.target) return;
    if (rectangle) {
        ctx.target->PopAxisAlignedClip();
    } else {
        ctx.target->PopLayer();
    }
}

// ---- Shadows. The first record stays when shadows go off, so a block that ends after
// `shadow off` gives back the shadow it started with.

void set_shadow_off(DrawContext& ctx) {
    if (ctx.shadows.size() > 1) ctx.shadows.resize(1);
    ctx.s.shadow_on = false;
}

void add_shadow(DrawContext& ctx, const Shadow& shadow) {
    if (!ctx.s.shadow_on) ctx.shadows.clear();
    ctx.shadows.push_back(shadow);
    ctx.s.shadow_on = true;
}

// ---- Commands

void cmd_rotate(DrawContext& ctx, Walk& w) {
    const Aim aim = read_aim(w);
    int32_t last = w.at + 1;
    const float angle = need_number(w, last);
    gfx::PointF centre;
    if (point_at(w, last + 1)) centre = need_point(w, ++last);
    transform_by(ctx, w, aim, last, Matrix3x2::rotation(angle, centre));
}

void cmd_scale(DrawContext& ctx, Walk& w) {
    const Aim aim = read_aim(w);
    int32_t last = w.at + 2;
    const float sx = need_factor(w, last - 1), sy = need_factor(w, last);
    gfx::PointF centre;
    if (point_at(w, last + 1)) centre = need_point(w, ++last);
    transform_by(ctx, w, aim, last, Matrix3x2::scale(sx, sy, centre));
}

void cmd_translate(DrawContext& ctx, Walk& w) {
    const Aim aim = read_aim(w);
    const int32_t last = w.at + 1;
    const gfx::PointF by = need_point(w, last);
    transform_by(ctx, w, aim, last, Matrix3x2::translation(by.x, by.y));
}

void cmd_skew(DrawContext& ctx, Walk& w) {
    const Aim aim = read_aim(w);
    int32_t last = w.at + 1;
    const float x = need_number(w, last);
    const float y = number_at(w, last + 1) ? need_number(w, ++last) : 0;  // one angle skews x only
    gfx::PointF centre;
    if (point_at(w, last + 1)) centre = need_point(w, ++last);
    transform_by(ctx, w, aim, last, Matrix3x2::skew(x, y, centre));
}

// Rotation about the centre, then scaling about it, then translation, each as its own command.
void cmd_transform(DrawContext& ctx, Walk& w) {
    const Aim aim = read_aim(w);
    int32_t i = w.at + 1;
    gfx::PointF centre;
    if (point_at(w, i)) centre = need_point(w, i++);
    const float angle = need_number(w, i);
    const float sx = need_factor(w, i + 1), sy = need_factor(w, i + 2);
    const gfx::PointF by = need_point(w, i + 3);
    finish(ctx, w, i + 3, false, [&] {
        multiply(ctx, aim, Matrix3x2::rotation(angle, centre));
        multiply(ctx, aim, Matrix3x2::scale(sx, sy, centre));
        multiply(ctx, aim, Matrix3x2::translation(by.x, by.y));
    });
}

void cmd_matrix(DrawContext& ctx, Walk& w) {
    const Aim aim = read_aim(w);
    const int32_t i = w.at + 1;
    if (!w.has(i) || w.type(i) != T::Block) draw_error(w, i);
    const Walk m = walk_of(w.cell(i), w.report);
    if (m.tail - m.at != 6) draw_error(w, i);
    float v[6];
    for (int k = 0; k < 6; ++k) {
        if (!number_at(m, m.at + k)) draw_error(w, i);
        v[k] = number_of(m.cell(m.at + k));
    }
    w.at = i;
    multiply(ctx, aim, {v[0], v[1], v[2], v[3], v[4], v[5]});
}

void cmd_reset_matrix(DrawContext& ctx, Walk& w) {
    change_matrix(ctx, read_aim(w), [](Matrix3x2& m) { m = Matrix3x2::identity(); });
}

// A matrix that cannot be inverted stays as it is, and so still draws nothing.
void cmd_invert_matrix(DrawContext& ctx, Walk& w) {
    change_matrix(ctx, read_aim(w), [](Matrix3x2& m) { backend::matrix_invert(m, &m); });
}

void cmd_push(DrawContext& ctx, Walk& w) {
    const int32_t i = w.at + 1;
    if (!w.has(i) || w.type(i) != T::Block) draw_error(w, i);
    w.at = i;
    run_block_form(ctx, w, i, false, [] {});
}

// A rectangle or a shape region, an optional mode word (every mode narrows the clip), and an
// optional block the clip is limited to.
void cmd_clip(DrawContext& ctx, Walk& w) {
    const int32_t i = w.at + 1;
    const bool rectangle = point_at(w, i);
    int32_t last = i;
    gfx::PointF a, b;
    if (rectangle) {
        a = need_point(w, i);
        b = need_point(w, ++last);
    } else if (!w.has(i) || w.type(i) != T::Block) {
        draw_error(w, i);
    }
    if (w.has(last + 1) && w.type(last + 1) == T::Word) {
        const SymId mode = word_symbol(w.cell(last + 1));
        if (mode == words::replace || mode == words::intersect || mode == words::union_ || mode == words::xor_ ||
            mode == words::exclude)
            ++last;
    }
    finish(ctx, w, last, true, [&] {
        if (rectangle) {
            push_clip_rect(ctx, a, b);
        } else {
            parse_shape(ctx, w.cell(i), false);
            push_clip_shape(ctx);
        }
    });
}

// off, or an offset pair with optional integer blur and spread, colour and `inset`.
void cmd_shadow(DrawContext& ctx, Walk& w) {
    int32_t i = w.at + 1;
    if (w.has(i) && w.type(i) == T::Word) {
        if (word_symbol(w.cell(i)) != words::off) draw_error(w, i);
        set_shadow_off(ctx);
        w.at = i;
        return;
    }
    if (!w.has(i) || w.type(i) != T::Pair) draw_error(w, i);
    Shadow shadow;
    const gfx::PointF offset = point_of(w.cell(i));
    shadow.x = offset.x;
    shadow.y = offset.y;
    if (w.has(i + 1) && w.type(i + 1) == T::Integer) {
        shadow.blur = number_of(w.cell(++i));
        if (w.has(i + 1) && w.type(i + 1) == T::Integer) shadow.spread = number_of(w.cell(++i));
    }
    if (w.has(i + 1) && colour_of(w.cell(i + 1), &shadow.colour)) ++i;
    if (word_at(w, i + 1, words::inset)) {
        shadow.inset = true;
        ++i;
    }
    w.at = i;
    add_shadow(ctx, shadow);
}

}  // namespace nuv::gui::draw
