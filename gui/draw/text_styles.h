// The style dialect of a rich-text face's `data`: a flat block of character ranges (1-based
// start x count pairs), each followed by the styles over it (a colour tuple, a font name, a size
// in points, `backdrop` and a colour, `bold`, `italic`, `underline`, `strike`, `border`). The walk
// applies each style to the layout over the current range as it meets it.
#pragma once
#include <cstdint>

#include "gui/backend/render.h"
#include "host/gfx/text.h"
#include "runtime/cell.h"

namespace nuv::gui::draw {

// Walks `data` from its head and applies its runs to the layout; backdrops are appended to the
// record's list (no list without a record). A range's start is clamped to the text, its count to
// 0 or more and to the text's end. A bad cell raises draw-invalid with the block at that cell;
// with `report` (or system/view/silent? true) the error is printed (or not made) and the walk
// ends there quietly, the runs before it kept.
// A colour (0xAABBGGRR) as the text engine takes it.
host::gfx::Rgba rgba_of(uint32_t colour);

void parse_text_styles(backend::RenderTargetRecord* record, host::gfx::TextLayout& layout, const Cell& data,
                       bool report);

}  // namespace nuv::gui::draw
