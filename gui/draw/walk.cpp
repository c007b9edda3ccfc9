// The walk of a draw block: the argument readers, the dialect's error, and the dispatch of each
// command word through one table keyed by symbol.
#include "gui/draw/walk.h"

#include <array>

#include "gui/backend/colours.h"
#include "gui/backend/view_object.h"
#include "gui/draw/pens.h"
#include "gui/draw/primitives.h"
#include "gui/draw/shape.h"
#include "gui/draw/state.h"
#include "gui/draw/words.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/natives_eval.h"
#include "runtime/stack.h"

namespace nuv::gui::draw {

using T = TypeId;

Cell Walk::cell(int32_t i) const { return block::at(node, i); }

TypeId Walk::type(int32_t i) const { return cell::type_of(block::raw_cells(node) + i); }

Walk walk_of(const Cell& block, bool report) {
    Walk w;
    w.block = block;
    w.node = cell::node(&block);
    w.at = cell::head(&block);
    w.tail = block::count(w.node);
    w.report = report;
    return w;
}

// ---- Argument readers

bool is_point(const Cell& c) { return cell::is(&c, T::Pair) || cell::is(&c, T::Point2D); }

gfx::PointF point_of(const Cell& c) {
    if (cell::is(&c, T::Pair)) return {static_cast<float>(pair::x_of(&c)), static_cast<float>(pair::y_of(&c))};
    return {point::get(&c, 0), point::get(&c, 1)};
}

bool is_number(const Cell& c) { return cell::is(&c, T::Integer) || cell::is(&c, T::Float); }

float number_of(const Cell& c) { return point::float_of(&c); }

SymId word_symbol(const Cell& c) {
    return word::is_any_word_type(cell::type_of(&c)) ? symbol::resolve(word::symbol_of(&c)) : 0;
}

Cell word_value(const Cell& c) {
    Cell none;
    none::set(&none);
    if (!word::is_any_word_type(cell::type_of(&c)) || c.w1 == 0) return none;
    return *word::slot(&c);
}

bool colour_of(const Cell& c, uint32_t* colour, bool* has_alpha) {
    Cell value = c;
    if (cell::is(&c, T::Word)) value = word_value(c);
    if (!cell::is(&value, T::Tuple)) return false;
    const bool alpha = tuple::size_of(&value) >= 4;
    uint32_t packed = backend::tuple_to_color(&value);
    if (!alpha) packed &= 0x00FFFFFF;
    *colour = packed;
    if (has_alpha) *has_alpha = alpha;
    return true;
}

bool point_at(const Walk& w, int32_t i) { return w.has(i) && is_point(w.cell(i)); }

bool number_at(const Walk& w, int32_t i) { return w.has(i) && is_number(w.cell(i)); }

bool word_at(const Walk& w, int32_t i, SymId word) {
    return w.has(i) && w.type(i) == T::Word && word_symbol(w.cell(i)) == word;
}

gfx::PointF need_point(const Walk& w, int32_t i) {
    if (!point_at(w, i)) draw_error(w, i);
    return point_of(w.cell(i));
}

float need_number(const Walk& w, int32_t i) {
    if (!number_at(w, i)) draw_error(w, i);
    return number_of(w.cell(i));
}

int32_t count_points(const Walk& w, int32_t i) {
    int32_t n = 0;
    while (point_at(w, i + n)) ++n;
    return n;
}

// ---- The dialect's error

namespace {

bool silent() {
    const Cell* flag = view_object::view_field("silent?");
    return flag && cell::is(flag, T::Logic) && logic::get(flag);
}

// Raises `id` with `arg`, or, silent, ends the drawing quietly; with `report` the error is made,
// printed, and the drawing ends quietly.
[[noreturn]] void stop_with(Err id, const Cell* arg, bool report) {
    if (silent()) throw Stopped{};
    if (!report) fire(id, arg);
    const stack::Mark mark;
    Cell* error = none::push();
    error::make_at(error, id, arg);
    natives_eval::print_value(error);
    mark.restore();
    throw Stopped{};
}

}  // namespace

void draw_error(const Walk& w, int32_t i) {
    if (i < w.tail) {
        const Cell offending = w.cell(i);
        if (cell::is(&offending, T::Block) && cycles::find(cell::node(&offending)))
            stop_with(Err::DrawInfinite, &offending, w.report);
    }
    Cell at = w.block;
    cell::set_head(&at, i);
    stop_with(Err::DrawInvalid, &at, w.report);
}

void draw_no_memory(const Walk& w) { stop_with(Err::NoMemory, nullptr, w.report); }

// ---- The walk

namespace {

using Handler = void (*)(DrawContext&, Walk&);

struct Command {
    words::Index word;
    Handler handler;
};

constexpr Command kCommands[] = {
    {words::Index::line, cmd_line},
    {words::Index::line_width, cmd_line_width},
    {words::Index::box, cmd_box},
    {words::Index::triangle, cmd_triangle},
    {words::Index::pen, cmd_pen},
    {words::Index::fill_pen, cmd_fill_pen},
    {words::Index::polygon, cmd_polygon},
    {words::Index::circle, cmd_circle},
    {words::Index::anti_alias, cmd_anti_alias},
    {words::Index::font, cmd_font},
    {words::Index::text, cmd_text},
    {words::Index::ellipse, cmd_ellipse},
    {words::Index::arc, cmd_arc},
    {words::Index::curve, cmd_curve},
    {words::Index::spline, cmd_spline},
    {words::Index::line_join, cmd_line_join},
    {words::Index::line_cap, cmd_line_cap},
    {words::Index::line_pattern, cmd_line_pattern},
    {words::Index::matrix, cmd_matrix},
    {words::Index::invert_matrix, cmd_invert_matrix},
    {words::Index::reset_matrix, cmd_reset_matrix},
    {words::Index::push, cmd_push},
    {words::Index::clip, cmd_clip},
    {words::Index::rotate, cmd_rotate},
    {words::Index::scale, cmd_scale},
    {words::Index::translate, cmd_translate},
    {words::Index::skew, cmd_skew},
    {words::Index::transform, cmd_transform},
    {words::Index::shape, cmd_shape},
    {words::Index::shadow, cmd_shadow},
    {words::Index::image, cmd_image},
};

// The handlers by symbol: an open-addressed table, built again whenever the keywords are
// interned anew (a new runtime).
constexpr uint32_t kSlots = 128;
struct Slot {
    SymId sym;
    Handler handler;
};
std::array<Slot, kSlots> g_table{};
uint32_t g_table_key = 0;  // the keywords' generation the table was built for

uint32_t slot_of(SymId sym) { return (sym * 2654435761u) >> 25; }

void build_table() {
    g_table.fill({0, nullptr});
    for (const Command& c : kCommands) {
        const SymId sym = words::g_symbols[static_cast<int>(c.word)];
        uint32_t s = slot_of(sym);
        while (g_table[s].sym) s = (s + 1) & (kSlots - 1);
        g_table[s] = {sym, c.handler};
    }
    g_table_key = words::g_generation;
}

Handler handler_of(SymId sym) {
    if (g_table_key != words::g_generation) build_table();
    for (uint32_t s = slot_of(sym);; s = (s + 1) & (kSlots - 1)) {
        if (g_table[s].sym == sym) return g_table[s].handler;
        if (!g_table[s].sym) return nullptr;
    }
}

}  // namespace

void set_word_at(const Walk& w) {
    Cell word = w.cell(w.at);
    Cell position = w.block;
    cell::set_head(&position, w.at + 1);
    word::set(&word, &position);
}

void parse_draw(DrawContext& ctx, const Cell& block) {
    Walk w = walk_of(block, ctx.report);
    if (cycles::find(w.node)) {
        // A block met again inside itself: the error names the block at its own position.
        stop_with(Err::DrawInfinite, &block, w.report);
    }
    const cycles::Guard guard;
    cycles::push(w.node);
    for (; w.at < w.tail; ++w.at) {
        const Cell c = w.cell(w.at);
        switch (cell::type_of(&c)) {
            case T::Word: {
                const Handler handler = handler_of(symbol::resolve(word::symbol_of(&c)));
                if (!handler) draw_error(w, w.at);
                handler(ctx, w);
                break;
            }
            case T::SetWord:
                set_word_at(w);
                break;
            case T::Block:
                if (cycles::find(cell::node(&c))) draw_error(w, w.at);
                parse_draw(ctx, c);
                break;
            default:
                draw_error(w, w.at);
        }
        w.tail = block::count(w.node);  // a set-word's change notice may have changed the block
    }
}

}  // namespace nuv::gui::draw
