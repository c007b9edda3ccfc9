// Pens and fill-pens: the grammar after `pen` and `fill-pen`, the brushes it makes, and the
// placing of a fitted gradient or an image brush on each shape. Gradient stops are read into one
// buffer of 256 that lives as long as the process, so reading them allocates nothing.
#include "gui/draw/pens.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "gui/backend/colours.h"
#include "gui/draw/state.h"
#include "gui/draw/words.h"
#include "host/gfx/bitmap.h"
#include "runtime/datatypes/image.h"

namespace nuv::gui::draw {

namespace {

using T = TypeId;

constexpr int32_t kMaxStops = 256;

// The stops of the gradient being read: colour and offset, and whether an offset was given.
struct StopBuffer {
    std::array<gfx::GradientStop, kMaxStops> stops;
    std::array<bool, kMaxStops> has_offset{};
    int32_t count = 0;
};
StopBuffer g_stops;

// The word's symbol when the cell is a word! (not a lit-word or any other kind), else 0.
SymId plain_word(const Cell& c) { return cell::is(&c, T::Word) ? word_symbol(c) : 0; }

// ---- The pen's or the fill's slots

std::shared_ptr<gfx::Brush>& brush_of(DrawContext& ctx, bool fill) { return fill ? ctx.s.fill : ctx.s.pen; }

// The brush's own mode: for the pen, the saved one while the line width hides it.
uint8_t own_mode(const DrawContext& ctx, bool fill) {
    if (fill) return ctx.s.fill_mode;
    return ctx.s.line_width == 0 ? ctx.s.saved_pen_mode : ctx.s.pen_mode;
}

void set_mode(DrawContext& ctx, bool fill, uint8_t mode) {
    if (fill) {
        ctx.s.fill_mode = mode;
        return;
    }
    ctx.s.saved_pen_mode = mode;
    ctx.s.pen_mode = ctx.s.line_width == 0 ? uint8_t{kOff} : mode;
}

// The pen or the fill takes a new brush (off when none could be made).
void take_brush(DrawContext& ctx, bool fill, std::unique_ptr<gfx::Brush> brush, uint8_t mode, SymId kind) {
    std::shared_ptr<gfx::Brush>& slot = brush_of(ctx, fill);
    slot = std::move(brush);
    (fill ? ctx.s.fill_kind : ctx.s.pen_kind) = kind;
    set_mode(ctx, fill, slot ? mode : uint8_t{kOff});
}

void set_colour(DrawContext& ctx, bool fill, uint32_t colour, bool off) {
    if (off) {
        set_mode(ctx, fill, kOff);
        return;
    }
    std::shared_ptr<gfx::Brush>& slot = brush_of(ctx, fill);
    const gfx::ColorF value = backend::color_f(colour);
    if (own_mode(ctx, fill) == kSolid && slot && slot->kind() == gfx::Brush::Kind::Solid) {
        slot->SetColor(value);
        set_mode(ctx, fill, kSolid);
    } else {
        take_brush(ctx, fill, gfx::CreateSolidColorBrush(value), kSolid, 0);
    }
    if (fill) {
        ctx.s.fill_colour = colour;
        return;
    }
    ctx.s.pen_colour = colour;
    if (!ctx.s.font_colour) ctx.s.text_colour = colour;
}

// ---- Optional trailing words

struct SpreadWord {
    const SymId* word;
    gfx::ExtendMode extend;
};
const SpreadWord kSpreads[] = {
    {&words::pad, gfx::ExtendMode::Clamp},
    {&words::repeat, gfx::ExtendMode::Wrap},
    {&words::reflect, gfx::ExtendMode::Mirror},
};

struct TileWord {
    const SymId* word;
    gfx::ExtendMode x, y;
};
const TileWord kTiles[] = {
    {&words::tile, gfx::ExtendMode::Wrap, gfx::ExtendMode::Wrap},
    {&words::flip_x, gfx::ExtendMode::Mirror, gfx::ExtendMode::Wrap},
    {&words::flip_y, gfx::ExtendMode::Wrap, gfx::ExtendMode::Mirror},
    {&words::flip_xy, gfx::ExtendMode::Mirror, gfx::ExtendMode::Mirror},
    {&words::clamp, gfx::ExtendMode::Clamp, gfx::ExtendMode::Clamp},
};

// The entry of `table` whose word is at cell *i, consumed; null (nothing consumed) otherwise.
template <class Entry, size_t N>
const Entry* take_word(const Walk& w, int32_t* i, const Entry (&table)[N]) {
    if (!w.has(*i)) return nullptr;
    const SymId sym = plain_word(w.cell(*i));
    if (!sym) return nullptr;
    for (const Entry& e : table)
        if (*e.word == sym) {
            ++*i;
            return &e;
        }
    return nullptr;
}

// An optional point at cell *i, consumed.
bool take_point(const Walk& w, int32_t* i, gfx::PointF* out) {
    if (!point_at(w, *i)) return false;
    *out = point_of(w.cell((*i)++));
    return true;
}

// ---- Gradients

// A colour stop at cell *i and its optional float! offset, consumed. A cell that is no colour
// is left, or with `required` is the dialect's error; a 257th stop is the dialect's error.
bool take_stop(const Walk& w, int32_t* i, bool required) {
    uint32_t colour = 0;
    if (!w.has(*i) || !colour_of(w.cell(*i), &colour)) {
        if (required) draw_error(w, *i);
        return false;
    }
    StopBuffer& b = g_stops;
    if (b.count == kMaxStops) draw_error(w, *i);
    b.stops[b.count] = {0, backend::color_f(colour)};
    b.has_offset[b.count] = false;
    ++*i;
    if (w.has(*i)) {
        const Cell offset = w.cell(*i);
        if (cell::is(&offset, T::Float)) {
            b.stops[b.count].position = static_cast<float>(cell::get_double(&offset));
            b.has_offset[b.count] = true;
            ++*i;
        }
    }
    ++b.count;
    return true;
}

// Positions the stops without offsets: evenly from 0 to 1, each offset given moving the count on.
void place_stops() {
    StopBuffer& b = g_stops;
    const float step = b.count > 1 ? 1.0f / static_cast<float>(b.count - 1) : 0.0f;
    float running = 0;
    for (int32_t k = 0; k < b.count; ++k) {
        if (b.has_offset[k]) {
            running = b.stops[k].position;
        } else {
            b.stops[k].position = running;
            running += step;
        }
    }
}

std::span<const gfx::GradientStop> stops() { return {g_stops.stops.data(), static_cast<size_t>(g_stops.count)}; }

// The gradient brush of the stops read, `kind` linear, or radial (diamond is drawn as radial).
std::unique_ptr<gfx::Brush> gradient_brush(SymId kind, gfx::PointF a, gfx::PointF b, float radius,
                                           gfx::ExtendMode extend) {
    place_stops();
    if (kind == words::linear) return gfx::CreateLinearGradientBrush(a, b, stops(), extend);
    return gfx::CreateRadialGradientBrush(a, {b.x - a.x, b.y - a.y}, radius, radius, stops(), extend);
}

// linear / radial / diamond: stop stop [stop ...] [positions] [pad | repeat | reflect]. Positions
// are, for linear, start and end; for radial, centre, radius and an optional focal point; for
// diamond, centre, a point whose distance from the centre is the radius, and an optional focal
// point. Without positions the gradient is fitted to each shape.
void stop_gradient(DrawContext& ctx, Walk& w, bool fill, SymId kind) {
    int32_t i = w.at + 2;
    g_stops.count = 0;
    take_stop(w, &i, true);
    take_stop(w, &i, true);
    while (take_stop(w, &i, false)) {
    }
    gfx::PointF a{1, 1}, b{1, 1};  // start and end, or centre and focal point
    float radius = 1;
    bool positioned = take_point(w, &i, &a);
    if (!positioned) {
        if (kind == words::linear) a = {0, 0}, b = {1, 0};
    } else if (kind == words::linear) {
        b = need_point(w, i++);
    } else {
        if (kind == words::radial) {
            radius = need_number(w, i++);
        } else {
            const gfx::PointF edge = need_point(w, i++);
            radius = std::hypot(edge.x - a.x, edge.y - a.y);
        }
        b = a;
        take_point(w, &i, &b);
    }
    const SpreadWord* spread = take_word(w, &i, kSpreads);
    w.at = i - 1;
    take_brush(ctx, fill, gradient_brush(kind, a, b, radius, spread ? spread->extend : gfx::ExtendMode::Clamp),
               positioned ? kGradient : kFitted, kind);
}

// The older grammar: origin, start and stop (integers) along x from the origin, up to three
// numbers (angle, scale x, scale y), then at least two colours, each with an optional offset.
void legacy_gradient(DrawContext& ctx, Walk& w, bool fill, SymId kind) {
    int32_t i = w.at + 2;
    const gfx::PointF origin = point_of(w.cell(i++));
    float range[2];
    for (float& r : range) {
        if (!w.has(i) || w.type(i) != T::Integer) draw_error(w, i);
        r = number_of(w.cell(i++));
    }
    float numbers[3] = {0, 1, 1};  // angle, scale x, scale y
    for (int k = 0; k < 3 && number_at(w, i); ++k) numbers[k] = number_of(w.cell(i++));
    StopBuffer& b = g_stops;
    b.count = 0;
    // A float! is the offset of the colour before it; one without a colour ends the stops.
    while (take_stop(w, &i, false)) {
    }
    if (b.count < 2) draw_error(w, i);
    w.at = i - 1;

    std::unique_ptr<gfx::Brush> brush =
        kind == words::linear
            ? gradient_brush(kind, {origin.x + range[0], origin.y}, {origin.x + range[1], origin.y}, 0,
                             gfx::ExtendMode::Clamp)
            : gradient_brush(kind, origin, origin, range[1] - range[0], gfx::ExtendMode::Clamp);
    if (brush) {
        gfx::Matrix3x2 m;
        if (numbers[0] != 0) backend::matrix_rotate(m, numbers[0], {}, &m, ctx.matrix_prepend);
        if (numbers[1] != 1 || numbers[2] != 1) backend::matrix_scale(m, numbers[1], numbers[2], &m, 0, 0, ctx.matrix_prepend);
        brush->SetTransform(m);
    }
    take_brush(ctx, fill, std::move(brush), kGradient, kind);
}

void gradient(DrawContext& ctx, Walk& w, bool fill, SymId kind) {
    if (w.has(w.at + 2) && is_point(w.cell(w.at + 2))) legacy_gradient(ctx, w, fill, kind);
    else stop_gradient(ctx, w, fill, kind);
}

// ---- Image brushes

// The optional start and end points and tile word of an image brush, from cell *i.
struct ImageArea {
    gfx::PointF start, end;
    bool has_end = false;
    gfx::ExtendMode x = gfx::ExtendMode::Wrap, y = gfx::ExtendMode::Wrap;

    void read(const Walk& w, int32_t* i) {
        if (take_point(w, i, &start)) has_end = take_point(w, i, &end);
        if (const TileWord* t = take_word(w, i, kTiles)) x = t->x, y = t->y;
    }
    // The source rectangle in a width x height image: from the start to the end (the far corner
    // by default), the end kept within the image.
    gfx::RectF source(float width, float height) const {
        return {start.x, start.y, has_end ? std::min(end.x, width) : width, has_end ? std::min(end.y, height) : height};
    }
};

// pattern size [start [end]] [tile word] block: the block drawn into a recording of that size,
// under a state of its own, as the tile.
void pattern(DrawContext& ctx, Walk& w, bool fill, SymId) {
    int32_t i = w.at + 2;
    const gfx::PointF size = need_point(w, i++);
    ImageArea area;
    area.read(w, &i);
    if (!w.has(i) || w.type(i) != T::Block) draw_error(w, i);
    w.at = i;

    // A size that no recording can take leaves the pen off; the block is still walked (drawing
    // nothing) so that its errors are found.
    std::unique_ptr<gfx::RenderTarget> recording = gfx::RenderTarget::recording({0, 0, size.x, size.y});
    gfx::RenderTarget* const outer = ctx.target;
    if (recording) {
        recording->BeginDraw();
        if (outer) recording->SetAntialiasMode(outer->GetAntialiasMode());
    }
    ctx.target = recording.get();
    try {
        run_block_form(ctx, w, i, false, [&] {
            if (ctx.target) ctx.target->SetTransform(gfx::Matrix3x2::identity());
        });
    } catch (...) {
        ctx.target = outer;
        throw;
    }
    ctx.target = outer;
    std::unique_ptr<gfx::Brush> brush;
    if (recording) {
        recording->EndDraw();
        brush = gfx::CreateImageBrush(*recording, area.source(size.x, size.y), area.x, area.y,
                                      gfx::Interpolation::Linear);
    }
    take_brush(ctx, fill, std::move(brush), kImageBrush, 0);
}

// bitmap word [start [end]] [tile word]: the word's image as the tile. An image without pixels
// (or too large to draw) switches the brush off.
void bitmap(DrawContext& ctx, Walk& w, bool fill, SymId) {
    int32_t i = w.at + 2;
    if (!w.has(i) || w.type(i) != T::Word) draw_error(w, i);
    const Cell value = word_value(w.cell(i));
    if (!cell::is(&value, T::Image)) draw_error(w, i);
    ++i;
    ImageArea area;
    area.read(w, &i);
    w.at = i - 1;

    const image::Record* record = image::record_of(&value);
    std::unique_ptr<gfx::Bitmap> pixels;
    if (record && record->data)
        pixels = gfx::Bitmap::from_pixels(record->data, record->width, record->height, record->width * 4);
    if (!pixels) {
        set_mode(ctx, fill, kOff);
        return;
    }
    take_brush(ctx, fill,
               gfx::CreateImageBrush(*pixels, area.source(float(record->width), float(record->height)), area.x,
                                     area.y, gfx::Interpolation::Linear),
               kImageBrush, 0);
}

void pen_off(DrawContext& ctx, Walk& w, bool fill, SymId) {
    set_colour(ctx, fill, 0, true);
    w.at += 1;
}

// The words that can open the arguments of pen and fill-pen.
struct BrushWord {
    const SymId* word;
    void (*make)(DrawContext& ctx, Walk& w, bool fill, SymId kind);
};
const BrushWord kBrushWords[] = {
    {&words::off, pen_off},   {&words::linear, gradient}, {&words::radial, gradient},
    {&words::diamond, gradient}, {&words::pattern, pattern}, {&words::bitmap, bitmap},
};

void pen_command(DrawContext& ctx, Walk& w, bool fill) {
    const int32_t i = w.at + 1;
    if (!w.has(i)) draw_error(w, i);
    const Cell c = w.cell(i);
    if (const SymId sym = plain_word(c)) {
        for (const BrushWord& b : kBrushWords)
            if (*b.word == sym) return b.make(ctx, w, fill, sym);
    }
    uint32_t colour = 0;
    if (!colour_of(c, &colour)) draw_error(w, i);
    set_colour(ctx, fill, colour, false);
    w.at = i;
}

}  // namespace

void cmd_pen(DrawContext& ctx, Walk& w) { pen_command(ctx, w, false); }
void cmd_fill_pen(DrawContext& ctx, Walk& w) { pen_command(ctx, w, true); }

void set_pen_colour(DrawContext& ctx, uint32_t colour, bool off) { set_colour(ctx, false, colour, off); }
void set_fill_colour(DrawContext& ctx, uint32_t colour, bool off) { set_colour(ctx, true, colour, off); }

void fit_brush(DrawContext& ctx, bool fill, const gfx::RectF& box) {
    const uint8_t mode = fill ? ctx.s.fill_mode : ctx.s.pen_mode;
    gfx::Brush* brush = brush_of(ctx, fill).get();
    if ((mode != kFitted && mode != kImageBrush) || !brush) return;
    const float x1 = std::min(box.left, box.right), y1 = std::min(box.top, box.bottom);
    const float width = std::max(box.left, box.right) - x1, height = std::max(box.top, box.bottom) - y1;
    if (mode == kFitted) {
        // A linear gradient runs from the box's left edge to its right; a radial (or diamond)
        // one fills the largest circle centred in the box.
        if ((fill ? ctx.s.fill_kind : ctx.s.pen_kind) == words::linear) {
            brush->SetStartPoint({0, 0});
            brush->SetEndPoint({width, 0});
        } else {
            const float radius = std::min(width, height) / 2;
            brush->SetGradientOriginOffset({0, 0});
            brush->SetCenter({width / 2, height / 2});
            brush->SetRadiusX(radius);
            brush->SetRadiusY(radius);
        }
    }
    (fill ? ctx.s.fill_origin : ctx.s.pen_origin) = {x1, y1};
    gfx::Matrix3x2 m = brush->GetTransform();
    m.dx += x1, m.dy += y1;  // the brush's own transform, then the move to the corner
    brush->SetTransform(m);
}

void unfit_brush(DrawContext& ctx, bool fill) {
    const uint8_t mode = fill ? ctx.s.fill_mode : ctx.s.pen_mode;
    gfx::Brush* brush = brush_of(ctx, fill).get();
    if ((mode != kFitted && mode != kImageBrush) || !brush) return;
    // Taking the corner away again gives back the transform the brush had (bit for bit for the
    // whole and half pixels shapes lie on).
    const gfx::PointF origin = fill ? ctx.s.fill_origin : ctx.s.pen_origin;
    gfx::Matrix3x2 m = brush->GetTransform();
    m.dx -= origin.x, m.dy -= origin.y;
    brush->SetTransform(m);
}

}  // namespace nuv::gui::draw
