// Text formats made from font! objects and from the default font, cached in the font's `state`
// block as a handle the collector releases; paragraph alignment, tab stops and line spacing set
// on a format; layouts of a string in a box; and drawing a text on a device context with a font
// and paragraph flags, for the native controls. Formats and layouts are the host text engine's
// (host/gfx/text.h); nothing here loads Pango until a text is measured or drawn.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "gui/backend/startup.h"
#include "host/gfx/text.h"
#include "host/win/messages.h"
#include "runtime/cell.h"

typedef struct _cairo cairo_t;

namespace nuv::gui::backend {

// A text format held by a font's state through the handle registry's kind "com-object", with a
// 32-bit id never reused (the handle's value).
struct TextFormatObject final : ComObject {
    TextFormatObject();
    ~TextFormatObject() override;
    uint32_t id;
    host::gfx::TextFormat format;
};
// Live text format objects, for tests.
int32_t text_format_count();

// The default font: system/view/fonts/system and /size, or "DejaVu Sans" 9 while those hold no
// string and no integer above 0.
void default_font(std::string* name, int32_t* size);

// Paragraph flag bits of formats and custom-drawn faces.
enum : uint32_t { kAlignCenter = 1, kAlignRight = 2, kAlignMiddle = 4, kAlignBottom = 8, kAlignWrap = 16 };
inline constexpr uint32_t kCenteredFlags = kAlignCenter | kAlignMiddle;

// The text format of a font object, made on first use and kept in cell 2 of its `state` block
// (which becomes a block of three none cells when it is not a block); or, for any other value,
// the default font's format, not cached, with *default_used set (a font's format is not cached
// either while the registry kind is not there, before start-up). The format stays valid while the
// font keeps it, or for the default until the next call. Size: the font's `size` when an integer
// of 1 or more, else the default size, in points; name: the `name` string's first 31 characters,
// else the default name; `style` bold and italic (a word or a block of words; other words are
// ignored). Allocates.
const host::gfx::TextFormat* make_text_format(const Cell* font, bool* default_used);
// Alignment and wrapping from paragraph flags (kAlign*).
void set_text_alignment(host::gfx::TextFormat* format, uint32_t flags);
// An integer! or float! above 0 becomes the tab interval; anything else changes nothing.
void set_tab_stop(host::gfx::TextFormat* format, const Cell* value);
// Uniform line spacing of max(value, the height of a line of "I") with that line's baseline; the
// height alone without a value (null); a value that is no integer! or float! changes nothing.
void set_text_line_spacing(host::gfx::TextFormat* format, const Cell* value);
// The text (a string!, else empty) laid out in a box; a width or height below 1 is unbounded, the
// others grow by 0.5.
std::unique_ptr<host::gfx::TextLayout> create_text_layout(const Cell* text, const host::gfx::TextFormat& format,
                                                          float width, float height);
// Draws the text in the rectangle of the device context with the font's format and colour (black
// when the font is no object or has no colour), aligned by the paragraph flags (kCenteredFlags
// for a face without a para object), clipped to the rectangle; the font's size counts in units,
// scaled to pixels by the current DPI. False when nothing could be drawn.
bool draw_text_on_dc(cairo_t* dc, const Cell* text, const Cell* font, uint32_t flags, const host::win::RECT& rect);

}  // namespace nuv::gui::backend
