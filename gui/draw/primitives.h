// The drawing commands: boxes, lines, triangles, polygons, circles, ellipses, arcs, curves,
// splines, text and images; the line style, antialiasing and font commands; and the fill and
// stroke of a path that every path-built shape goes through.
#pragma once
#include "gui/draw/context.h"
#include "gui/draw/walk.h"

namespace nuv::gui::draw {

// Fills (when the fill is on) then strokes (when the pen is on) the path, fitting the brushes of
// modes kFitted and kImageBrush to its widened bounds.
void draw_geometry(DrawContext& ctx, const gfx::PathGeometry& path);

// The stroke style again from the context's line cap and join, keeping the dashes.
void make_stroke_style(DrawContext& ctx);

// A face's text at a point: its layout (rich-text styles, backdrops) in the text colour; with
// `background` its colour fills the face's box first. Never fails.
void draw_face_text(DrawContext& ctx, gfx::PointF at, const Cell& face, bool background);
// The image stretched from 0x0 to `size` (the face image of a window's paint); false when the
// image cannot become a bitmap.
bool draw_face_image(DrawContext& ctx, const Cell& image, gfx::PointF size);

// Command handlers (the walk is at the command word; each leaves it at the last cell consumed).
void cmd_line_width(DrawContext& ctx, Walk& w);
void cmd_line_join(DrawContext& ctx, Walk& w);
void cmd_line_cap(DrawContext& ctx, Walk& w);
void cmd_line_pattern(DrawContext& ctx, Walk& w);
void cmd_anti_alias(DrawContext& ctx, Walk& w);
void cmd_box(DrawContext& ctx, Walk& w);
void cmd_line(DrawContext& ctx, Walk& w);
void cmd_triangle(DrawContext& ctx, Walk& w);
void cmd_polygon(DrawContext& ctx, Walk& w);
void cmd_circle(DrawContext& ctx, Walk& w);
void cmd_ellipse(DrawContext& ctx, Walk& w);
void cmd_arc(DrawContext& ctx, Walk& w);
void cmd_curve(DrawContext& ctx, Walk& w);
void cmd_spline(DrawContext& ctx, Walk& w);
void cmd_text(DrawContext& ctx, Walk& w);
void cmd_font(DrawContext& ctx, Walk& w);
void cmd_image(DrawContext& ctx, Walk& w);

}  // namespace nuv::gui::draw
