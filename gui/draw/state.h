// Transformations, the drawing-state stack, clipping and the shadow list: the commands that
// change how later drawing lands, and the state save and restore behind `push` and every block
// form.
#pragma once
#include "gui/draw/context.h"
#include "gui/draw/walk.h"

namespace nuv::gui::draw {

// Saves the target's transform and antialias mode and the context's state.
void push_state(DrawContext& ctx, SavedState* saved);
// Pops the clips pushed since the save, puts the state back, and gives a solid pen or fill its
// saved colour again (a colour set inside the block does not leak out).
void pop_state(DrawContext& ctx, SavedState& saved);

// Clips: a rectangle between two points, or the region of the path in ctx.shape (which the
// clip takes). The mode word changes nothing: every clip narrows.
void push_clip_rect(DrawContext& ctx, gfx::PointF a, gfx::PointF b);
void push_clip_shape(DrawContext& ctx);
void pop_clip(DrawContext& ctx);

// The shadow list: off, or one more shadow.
void set_shadow_off(DrawContext& ctx);
void add_shadow(DrawContext& ctx, const Shadow& shadow);

// The block forms of clip, rotate, scale, translate, skew, transform and push: saves the state,
// runs `apply` (which changes the state), walks the block at cell i of w, pops the block's own
// clip when `pops_clip`, restores the state. The restore also runs when the walk or `apply` is
// unwound, and the unwinding then goes on.
template <class Apply>
void run_block_form(DrawContext& ctx, const Walk& w, int32_t i, bool pops_clip, Apply&& apply) {
    SavedState saved;
    push_state(ctx, &saved);
    try {
        apply();
        parse_draw(ctx, w.cell(i));
        if (pops_clip) pop_clip(ctx);
    } catch (...) {
        pop_state(ctx, saved);
        throw;
    }
    pop_state(ctx, saved);
}

// The command handlers (the walk is at the command word; each leaves it at the last cell it
// consumed): rotate, scale, translate, skew, transform, matrix, reset-matrix, invert-matrix,
// push, clip, shadow.
void cmd_rotate(DrawContext& ctx, Walk& w);
void cmd_scale(DrawContext& ctx, Walk& w);
void cmd_translate(DrawContext& ctx, Walk& w);
void cmd_skew(DrawContext& ctx, Walk& w);
void cmd_transform(DrawContext& ctx, Walk& w);
void cmd_matrix(DrawContext& ctx, Walk& w);
void cmd_reset_matrix(DrawContext& ctx, Walk& w);
void cmd_invert_matrix(DrawContext& ctx, Walk& w);
void cmd_push(DrawContext& ctx, Walk& w);
void cmd_clip(DrawContext& ctx, Walk& w);
void cmd_shadow(DrawContext& ctx, Walk& w);

}  // namespace nuv::gui::draw
