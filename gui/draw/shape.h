// The shape sub-dialect: move, line, hline, vline, arc, curve, curv, qcurve, qcurv and close, as
// words (absolute) or lit-words (relative), building one path that `shape` fills and strokes and
// `clip` uses as its region.
#pragma once
#include "gui/draw/context.h"
#include "gui/draw/walk.h"

namespace nuv::gui::draw {

// The `shape` command.
void cmd_shape(DrawContext& ctx, Walk& w);
// Builds the path of a shape block into ctx.shape (a clip region when !drawing: filled figures,
// winding fill); a drawn shape is then filled and stroked and ctx.shape emptied, a region is left
// in ctx.shape for the clip to take.
void parse_shape(DrawContext& ctx, const Cell& block, bool drawing);

}  // namespace nuv::gui::draw
