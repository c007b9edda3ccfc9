// The shape sub-dialect: built with the draw engine, not there yet.
#include "gui/draw/shape.h"
#include "runtime/errors.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace nuv::gui::draw {

void cmd_shape(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void parse_shape(DrawContext& ctx, const Cell& block, bool drawing) { fire(Err::NotDone); }

}  // namespace nuv::gui::draw
