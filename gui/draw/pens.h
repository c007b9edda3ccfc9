// Pens and fill-pens: off, a plain colour, linear, radial and diamond gradients, patterns drawn
// by a nested block, and bitmaps; and the placing of a fitted gradient or an image brush on each
// shape drawn.
#pragma once
#include "gui/draw/context.h"
#include "gui/draw/walk.h"

namespace nuv::gui::draw {

// The `pen` and `fill-pen` commands.
void cmd_pen(DrawContext& ctx, Walk& w);
void cmd_fill_pen(DrawContext& ctx, Walk& w);

// A plain colour (or off) on the pen or the fill; the pen colour is also the text colour unless
// the font gives one, and while the line width is 0 the pen stays hidden.
void set_pen_colour(DrawContext& ctx, uint32_t colour, bool off);
void set_fill_colour(DrawContext& ctx, uint32_t colour, bool off);

// Around each shape: a brush of mode kFitted or kImageBrush is placed on the shape's box
// (x1 <= x2, y1 <= y2) before it is drawn and moved back after. Both do nothing for other modes.
void fit_brush(DrawContext& ctx, bool fill, const gfx::RectF& box);
void unfit_brush(DrawContext& ctx, bool fill);

}  // namespace nuv::gui::draw
