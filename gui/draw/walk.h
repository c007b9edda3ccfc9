// Walking a draw block: a position is the block's node and an index, never a pointer into its
// buffer (anything that allocates may let the collector move the buffer), so a cell is read again
// after every call that can allocate. The argument readers of the commands, the dialect's error,
// and the entry points of the walk.
#pragma once
#include <cstdint>

#include "gui/draw/context.h"
#include "runtime/actions.h"
#include "runtime/cell.h"

namespace nuv::gui::draw {

// One level of a block being walked.
struct Walk {
    Cell block;       // the block value walked, at its own head
    NodeId node = 0;
    int32_t at = 0;   // the current cell
    int32_t tail = 0;
    bool report = false;  // errors are printed and end the walk quietly

    // The cell at i, read from the buffer now (a copy); i must be below tail.
    Cell cell(int32_t i) const;
    bool has(int32_t i) const { return i < tail; }
    TypeId type(int32_t i) const;
};

// A walk over a block value from its head.
Walk walk_of(const Cell& block, bool report);

// ---- Argument readers (values are literal unless said)

// A pair! or a point2D!.
bool is_point(const Cell& c);
gfx::PointF point_of(const Cell& c);
// An integer! or a float!, as a 32-bit float.
bool is_number(const Cell& c);
float number_of(const Cell& c);
// The resolved (case-folded) symbol of a word of any kind, else 0.
SymId word_symbol(const Cell& c);
// A tuple!, or a word! whose value is a tuple!: its colour (0xAABBGGRR, transparency 0 for three
// bytes) in *colour; false for anything else. *has_alpha (when given) tells a 4-byte tuple.
bool colour_of(const Cell& c, uint32_t* colour, bool* has_alpha = nullptr);
// The value of a word! (none when unset or unbound), for the words the dialect looks up.
Cell word_value(const Cell& c);

// ---- Readers at a position of the walk (i may be the tail)

// A point, a number, or exactly the word! `word` is there.
bool point_at(const Walk& w, int32_t i);
bool number_at(const Walk& w, int32_t i);
bool word_at(const Walk& w, int32_t i, SymId word);
// The point or number at i, or the dialect's error there.
gfx::PointF need_point(const Walk& w, int32_t i);
float need_number(const Walk& w, int32_t i);
// How many points follow from i on.
int32_t count_points(const Walk& w, int32_t i);

// The dialect's error at cell i of the walk (i may be the tail): draw-infinite, naming that block,
// when the cell is a block the walk is already inside (its own or an enclosing one), else
// draw-invalid, with arg1 the walked block positioned at i.
// With system/view/silent? true nothing is made; with the walk's report flag the error is printed;
// both then end the drawing quietly (throw Stopped). Otherwise the error is raised.
[[noreturn]] void draw_error(const Walk& w, int32_t i);
// internal no-memory for an image that cannot become a bitmap, reported or raised the same way.
[[noreturn]] void draw_no_memory(const Walk& w);

// Thrown (a C++ exception) when a drawing ends quietly: caught where the drawing began.
struct Stopped {};

// ---- The walk

// The set-word at the walk's position gets the walked block positioned just after it. Allocates
// and may run change notices.
void set_word_at(const Walk& w);

// Walks one level of a draw block, nested blocks included, in the context.
void parse_draw(DrawContext& ctx, const Cell& block);

// The full drawing: begin, walk, end. window 0 or image null when absent. With `report` errors are
// printed, else raised after the drawing has ended.
void do_draw(host::win::HWND window, const Cell* image, const Cell* commands, bool layered, bool face_content,
             bool report);

}  // namespace nuv::gui::draw
