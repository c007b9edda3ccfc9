// Transformations, the state stack, clips and shadows: built with the draw engine, not there yet.
#include "gui/draw/state.h"
#include "runtime/errors.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace nuv::gui::draw {

void push_state(DrawContext& ctx, SavedState* saved) { fire(Err::NotDone); }
void pop_state(DrawContext& ctx, SavedState& saved) { fire(Err::NotDone); }
void push_clip_rect(DrawContext& ctx, gfx::PointF a, gfx::PointF b) { fire(Err::NotDone); }
void push_clip_shape(DrawContext& ctx) { fire(Err::NotDone); }
void pop_clip(DrawContext& ctx) { fire(Err::NotDone); }
void set_shadow_off(DrawContext& ctx) { fire(Err::NotDone); }
void add_shadow(DrawContext& ctx, const Shadow& shadow) { fire(Err::NotDone); }
void cmd_rotate(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_scale(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_translate(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_skew(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_transform(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_matrix(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_reset_matrix(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_invert_matrix(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_push(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_clip(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_shadow(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }

}  // namespace nuv::gui::draw
