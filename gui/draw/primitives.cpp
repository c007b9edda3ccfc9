// The drawing commands: built with the draw engine, not there yet.
#include "gui/draw/primitives.h"
#include "runtime/errors.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace nuv::gui::draw {

void draw_geometry(DrawContext& ctx, const gfx::PathGeometry& path) { fire(Err::NotDone); }
void make_stroke_style(DrawContext& ctx) { fire(Err::NotDone); }
void draw_face_text(DrawContext& ctx, gfx::PointF at, const Cell& face, bool background) { fire(Err::NotDone); }
bool draw_face_image(DrawContext& ctx, const Cell& image, gfx::PointF size) { fire(Err::NotDone); }
void cmd_line_width(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_line_join(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_line_cap(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_line_pattern(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_anti_alias(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_box(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_line(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_triangle(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_polygon(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_circle(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_ellipse(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_arc(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_curve(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_spline(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_text(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_font(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }
void cmd_image(DrawContext& ctx, Walk& w) { fire(Err::NotDone); }

}  // namespace nuv::gui::draw
