// The shape sub-dialect: a pen position moved through one path by words (absolute) and lit-words
// (relative to the pen). The path lives in ctx.shape while its block is walked; a walk that is
// unwound leaves no path behind.
#include "gui/draw/shape.h"

#include "gui/draw/primitives.h"
#include "gui/draw/words.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"

namespace nuv::gui::draw {

using T = TypeId;
using gfx::PointF;

namespace {

// A drawn shape's figures are filled when the fill is on; a clip region's always are.
gfx::FigureBegin figure_begin(const DrawContext& ctx) {
    return !ctx.shape.drawing || ctx.s.fill_mode != kOff ? gfx::FigureBegin::Filled : gfx::FigureBegin::Hollow;
}

PointF plus(PointF a, PointF b) { return {a.x + b.x, a.y + b.y}; }

// The first control point of a smooth segment: the last control point mirrored about the pen, or
// the pen itself after anything but a curve.
PointF mirrored(const ShapeState& s) {
    if (!s.last_control) return s.current;
    return {2 * s.current.x - s.control.x, 2 * s.current.y - s.control.y};
}

// Each takes the walk at its word and leaves it on the last cell consumed.
using Segment = void (*)(DrawContext&, Walk&, bool relative);

void shape_move(DrawContext& ctx, Walk& w, bool relative) {
    ShapeState& s = ctx.shape;
    const PointF p = need_point(w, ++w.at);
    s.current = relative ? plus(s.current, p) : p;
    s.path->BeginFigure(s.current, figure_begin(ctx));  // ends the figure before open
    s.last_control = false;
}

void shape_line(DrawContext& ctx, Walk& w, bool relative) {
    ShapeState& s = ctx.shape;
    const int32_t first = w.at + 1, n = count_points(w, first);
    if (n == 0) draw_error(w, first);
    for (int32_t i = first; i < first + n; ++i) {
        const PointF p = point_of(w.cell(i));
        s.current = relative ? plus(s.current, p) : p;
        s.path->AddLine(s.current);
    }
    s.last_control = false;
    w.at = first + n - 1;
}

// hline and vline: one coordinate changes.
template <bool Vertical>
void shape_axis_line(DrawContext& ctx, Walk& w, bool relative) {
    ShapeState& s = ctx.shape;
    const float v = need_number(w, ++w.at);
    float& moved = Vertical ? s.current.y : s.current.x;
    moved = relative ? moved + v : v;
    s.path->AddLine(s.current);
}

void shape_arc(DrawContext& ctx, Walk& w, bool relative) {
    ShapeState& s = ctx.shape;
    const int32_t i = w.at + 1;
    const PointF end = need_point(w, i);
    gfx::ArcSegment arc;
    arc.point = relative ? plus(s.current, end) : end;
    arc.size = {need_number(w, i + 1), need_number(w, i + 2)};
    arc.rotation = need_number(w, i + 3);
    arc.sweep = gfx::SweepDirection::CounterClockwise;
    w.at = i + 3;
    // `sweep` and `large`, each at most once, in either order.
    for (int k = 0; k < 2 && w.has(w.at + 1) && w.type(w.at + 1) == T::Word; ++k) {
        const SymId word = word_symbol(w.cell(w.at + 1));
        if (word == words::sweep && arc.sweep != gfx::SweepDirection::Clockwise) {
            arc.sweep = gfx::SweepDirection::Clockwise;
        } else if (word == words::large && arc.arc_size != gfx::ArcSize::Large) {
            arc.arc_size = gfx::ArcSize::Large;
        } else {
            break;
        }
        ++w.at;
    }
    s.path->AddArc(arc);
    s.current = arc.point;
}

// The points after the word in groups of `group`, at least one group. A group left incomplete
// is refused at its first point. `add` takes the shape and the group's points, made absolute.
template <int Group, class Add>
void bezier_groups(DrawContext& ctx, Walk& w, bool relative, Add&& add) {
    ShapeState& s = ctx.shape;
    const int32_t first = w.at + 1, n = count_points(w, first);
    if (n == 0 || n % Group) draw_error(w, first + n - n % Group);
    for (int32_t i = first; i < first + n; i += Group) {
        const PointF base = relative ? s.current : PointF{};
        PointF p[Group];
        for (int k = 0; k < Group; ++k) p[k] = plus(base, point_of(w.cell(i + k)));
        add(s, p);
        s.last_control = true;
    }
    w.at = first + n - 1;
}

void shape_curve(DrawContext& ctx, Walk& w, bool relative) {
    bezier_groups<3>(ctx, w, relative, [](ShapeState& s, const PointF* p) {
        s.path->AddBezier(p[0], p[1], p[2]);
        s.control = p[1];
        s.current = p[2];
    });
}

void shape_curv(DrawContext& ctx, Walk& w, bool relative) {
    bezier_groups<2>(ctx, w, relative, [](ShapeState& s, const PointF* p) {
        s.path->AddBezier(mirrored(s), p[0], p[1]);
        s.control = p[0];
        s.current = p[1];
    });
}

void shape_qcurve(DrawContext& ctx, Walk& w, bool relative) {
    bezier_groups<2>(ctx, w, relative, [](ShapeState& s, const PointF* p) {
        s.path->AddQuadraticBezier(p[0], p[1]);
        s.control = p[0];
        s.current = p[1];
    });
}

void shape_qcurv(DrawContext& ctx, Walk& w, bool relative) {
    bezier_groups<1>(ctx, w, relative, [](ShapeState& s, const PointF* p) {
        const PointF control = mirrored(s);
        s.path->AddQuadraticBezier(control, p[0]);
        s.control = control;
        s.current = p[0];
    });
}

// Closes the figure; the next one starts where the pen is.
void shape_close(DrawContext& ctx, Walk&, bool) {
    ShapeState& s = ctx.shape;
    s.path->EndFigure(gfx::FigureEnd::Closed);
    s.path->BeginFigure(s.current, figure_begin(ctx));
}

struct Command {
    words::Index word;
    Segment segment;
};

constexpr Command kCommands[] = {
    {words::Index::move, shape_move},
    {words::Index::line, shape_line},
    {words::Index::hline, shape_axis_line<false>},
    {words::Index::vline, shape_axis_line<true>},
    {words::Index::arc, shape_arc},
    {words::Index::curve, shape_curve},
    {words::Index::curv, shape_curv},
    {words::Index::qcurve, shape_qcurve},
    {words::Index::qcurv, shape_qcurv},
    {words::Index::close_, shape_close},
};

Segment segment_of(SymId sym) {
    for (const Command& c : kCommands)
        if (words::g_symbols[static_cast<int>(c.word)] == sym) return c.segment;
    return nullptr;
}

// One level of a shape block; nested blocks add to the same path.
void shape_level(DrawContext& ctx, const Cell& block) {
    Walk w = walk_of(block, ctx.report);
    const cycles::Guard guard;
    cycles::push(w.node);
    for (; w.at < w.tail; ++w.at) {
        const TypeId type = w.type(w.at);
        if (type == T::Word || type == T::LitWord) {
            const Segment segment = segment_of(word_symbol(w.cell(w.at)));
            if (!segment) draw_error(w, w.at);
            segment(ctx, w, type == T::LitWord);
        } else if (type == T::SetWord) {
            set_word_at(w);
        } else if (type == T::Block) {
            const Cell nested = w.cell(w.at);
            if (cycles::find(cell::node(&nested))) draw_error(w, w.at);
            shape_level(ctx, nested);
        } else {
            draw_error(w, w.at);
        }
        w.tail = block::count(w.node);  // a set-word's change notice may have changed the block
    }
}

}  // namespace

void parse_shape(DrawContext& ctx, const Cell& block, bool drawing) {
    ShapeState& s = ctx.shape;
    s = {};
    s.drawing = drawing;
    s.path = std::make_unique<gfx::PathGeometry>();
    if (!drawing) s.path->SetFillMode(gfx::FillMode::Winding);
    s.path->BeginFigure({}, figure_begin(ctx));
    try {
        shape_level(ctx, block);
    } catch (...) {
        s = {};
        throw;
    }
    if (!drawing) return;  // the clip takes the region
    const std::unique_ptr<gfx::PathGeometry> path = std::move(s.path);
    s = {};
    path->EndFigure(gfx::FigureEnd::Open);
    if (ctx.target) draw_geometry(ctx, *path);
}

void cmd_shape(DrawContext& ctx, Walk& w) {
    const int32_t i = w.at + 1;
    if (!w.has(i) || w.type(i) != T::Block) draw_error(w, i);
    w.at = i;
    parse_shape(ctx, w.cell(i), true);
}

}  // namespace nuv::gui::draw
