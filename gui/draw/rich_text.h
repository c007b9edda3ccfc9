// Rich text: a face's text laid out with its style runs (colours, backdrops, bold, italic,
// underline, strike, font names and sizes), the layout kept in the face's `handles` between
// uses, the backdrops painted under it, and the metric questions asked of it. Positions are
// characters throughout.
#pragma once
#include <cstdint>
#include <memory>

#include "gui/draw/context.h"
#include "host/gfx/text.h"
#include "runtime/cell.h"

namespace nuv::gui::draw {

// The face's layout, built anew (and kept in `handles` for a rich-text face). The record is the
// target the layout is made for (null: the face's window's, or the shared offscreen one for a
// face without a window). For a face that keeps no layout the new one lands in *temporary, which
// the caller releases after use. A style error marks the layout stale and goes on to the caller
// (printed instead with `report`). Allocates.
gfx::TextLayout* text_box_layout(const Cell& face, backend::RenderTargetRecord* record, bool report,
                                 std::unique_ptr<gfx::TextLayout>* temporary);
// Paints the record's pending backdrops under a layout drawn at `origin`, then empties the list.
void draw_text_backdrops(backend::RenderTargetRecord* record, gfx::RenderTarget& target, gfx::PointF origin,
                         gfx::TextLayout& layout);
// The metric question `type` about the face's laid-out text (`text-box-metrics` of the view
// platform): the layout is built first when the face has none or it is stale. arg0 is an integer!
// position or a pair!/point2D! point; the answer lands in *result. Allocates.
void text_box_metrics(const Cell& face, const Cell& arg0, int32_t type, Cell* result);
// The font's style bits (kUnderline, kStrike) from its `style` word or block.
uint32_t font_line_style_bits(const Cell& font);

}  // namespace nuv::gui::draw
