// Rich text: built with the draw engine, not there yet.
#include "gui/draw/rich_text.h"
#include "runtime/errors.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace nuv::gui::draw {

gfx::TextLayout* text_box_layout(const Cell& face, backend::RenderTargetRecord* record, bool report, std::unique_ptr<gfx::TextLayout>* temporary) { fire(Err::NotDone); }
void draw_text_backdrops(backend::RenderTargetRecord* record, gfx::RenderTarget& target, gfx::PointF origin, gfx::TextLayout& layout) { fire(Err::NotDone); }
void text_box_metrics(const Cell& face, const Cell& arg0, int32_t type, Cell* result) { fire(Err::NotDone); }
uint32_t font_line_style_bits(const Cell& font) { fire(Err::NotDone); }

}  // namespace nuv::gui::draw
