// Pens and fill-pens: built with the draw engine, not there yet.
#include "gui/draw/pens.h"
#include "runtime/errors.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace nuv::gui::draw {

void cmd_pen(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_fill_pen(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void set_pen_colour(DrawContext& ctx, uint32_t colour, bool off) { fire(Err::NotDone); }
void set_fill_colour(DrawContext& ctx, uint32_t colour, bool off) { fire(Err::NotDone); }
void fit_brush(DrawContext& ctx, bool fill, const gfx::RectF& box) { fire(Err::NotDone); }
void unfit_brush(DrawContext& ctx, bool fill) { fire(Err::NotDone); }

}  // namespace nuv::gui::draw
