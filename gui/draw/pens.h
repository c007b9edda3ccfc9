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
// A colour on a solid brush recolours that brush; only another kind of brush is replaced.
// While ctx.s.line_width is 0, the pen's own mode is kept in saved_pen_mode and pen_mode stays
// kOff: every pen change writes its mode to saved_pen_mode, and to pen_mode only while the width
// is not 0. So line-width, going from a non-zero width to 0, sets saved_pen_mode to pen_mode and
// pen_mode to kOff; going from 0 to a non-zero width, sets pen_mode back from saved_pen_mode.
void set_pen_colour(DrawContext& ctx, uint32_t colour, bool off);
void set_fill_colour(DrawContext& ctx, uint32_t colour, bool off);

// Around each shape: a brush of mode kFitted or kImageBrush is placed on the shape's box
// (x1 <= x2, y1 <= y2) before it is drawn and moved back after. Both do nothing for other modes.
// The caller passes the box the mode wants: for a fitted gradient the shape's widened bounds (its
// stroke included), for an image brush the shape's own bounds, so that its tiles start on the
// shape's corner and stay on whole pixels. For a single line segment both are its end points.
void fit_brush(DrawContext& ctx, bool fill, const gfx::RectF& box);
void unfit_brush(DrawContext& ctx, bool fill);

}  // namespace nuv::gui::draw
