// Rich text: a face's text laid out with its style runs (colours, backdrops, bold, italic,
// underline, strike, font names and sizes), the layout kept in the face's `handles` between
// uses, the backdrops painted under it, and the metric questions asked of it. Positions are
// characters throughout.
#pragma once
#include <cstdint>
#include <memory>

#include "gui/backend/startup.h"
#include "gui/draw/context.h"
#include "host/gfx/text.h"
#include "runtime/cell.h"

namespace nuv::gui::draw {

// The face slots past the common ones that a rich-text face adds.
enum RichTextSlot : int32_t { kFaceTabs = 25, kFaceLineSpacing = 26, kFaceHandles = 27 };
// The cells of the `handles` block: the layout (a handle! of kind rich-text holding its registry
// slot), the record it was made for (a handle! of the record's id), the text it was made from,
// and the stale flag (true: lay the text out again before the next question).
enum HandlesCell : int32_t { kHandlesLayout, kHandlesRecord, kHandlesText, kHandlesStale, kHandlesCells };

// A face's layout held by its `handles` through the registry kind "com-object"; the collector
// releases it with the last value that holds its slot. The id (the handle's value) is never
// reused.
struct TextLayoutObject final : ComObject {
    explicit TextLayoutObject(std::unique_ptr<gfx::TextLayout> held);
    ~TextLayoutObject() override;
    uint32_t id;
    std::unique_ptr<gfx::TextLayout> layout;
};
// Live layout objects, for tests.
int32_t text_layout_count();
// The record faces without a window are laid out for: one for the process, made on first use.
backend::RenderTargetRecord* shared_text_record();

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
// position (types 0, 2 and 6) or a pair!/point2D! point (types 1 and 5), else invalid-arg; the
// answer lands in *result, none when the face's text is no string!. A face that is not rich-text
// raises face-type with its type. Allocates.
void text_box_metrics(const Cell& face, const Cell& arg0, int32_t type, Cell* result);
// The font's style bits (kUnderline, kStrike) from its `style` word or block.
uint32_t font_line_style_bits(const Cell& font);

}  // namespace nuv::gui::draw
