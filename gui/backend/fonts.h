// Fonts and paragraph flags. A font! object's host fonts are made on first use and kept in its
// state block ([font at the current DPI, text format, font at 96 DPI]); each font holds a slot of
// the registry kind "font", so the collector deletes the fonts no value keeps. A para! object
// becomes one word of alignment flags whose meaning depends on the face type. Also the font
// chooser that fills a font object. Fonts, paras and faces are read by slot position.
#pragma once
#include <cstdint>

#include "host/gfx/fonts.h"
#include "runtime/actions.h"
#include "runtime/cell.h"

namespace nuv::gui::fonts {

enum ParaSlot : int32_t { kOrigin, kPadding, kScroll, kAlign, kVAlign, kWrap, kParaParent, kParaSlots };
enum FaceSlot : int32_t { kFaceType = 0, kFaceState = 15, kFacePara = 18, kFaceFont = 19 };
// The cells of a font's state block.
enum StateCell : int32_t { kCurrentFont, kTextFormat, kFont96, kStateCells };

// The changed-facet bit of `para` in a face's state block.
inline constexpr int32_t kParaChanged = 0x40000;

// Makes the font's host font at the current DPI (scaled) or at 96 DPI, stores it in the font's
// state block (made when `state` is no block) with a registry slot, and records `face` (an
// object, else nothing) as a user of the font. Answers the font id, 0 when none could be made
// or `font` is no object. Allocates.
host::gfx::HFONT make_font_at_dpi(const Cell* face, const Cell* font, bool scaled);
inline host::gfx::HFONT make_font(const Cell* face, const Cell* font) { return make_font_at_dpi(face, font, true); }
// The handle! in cell `index` of the font's state block, or nullptr; its font id, or 0.
const Cell* font_state_handle(const Cell* font, int32_t index);
host::gfx::HFONT font_handle(const Cell* font, int32_t index);
// The current-DPI font of a font object, made when missing; 0 when `font` is no object.
host::gfx::HFONT get_font_handle(const Cell* face, const Cell* font);
// Releases the fonts and the text format of the state block and sets `state` to none; answers
// whether anything was released.
bool free_font_handles(const Cell* font);

// Gives a native control the face's font (its current-DPI font, made now when missing) or, when
// the face's `font` is no object, the default GUI font; the face becomes a user of its font.
// Allocates.
void set_control_font(const Cell* face, uint32_t hwnd);

// The change of font slot `slot`: name, size, style, angle and anti-alias? make the fonts anew;
// the others need no new font. Allocates.
void update_font(const Cell* font, int32_t slot);
// A changed para carried to the face's window: the alignment bits of its style replaced and the
// para bit set in the state block's changed-facet bits. An `area` raises internal not-done.
void update_para(const Cell* face, int32_t slot);
// The alignment word of a face type (a symbol) for a para object; 0 when `para` is no object.
uint32_t para_flags(SymId type, const Cell* para);

// The font chooser, starting at `selected`'s font (a font object with a host font) or at an
// 11-point "Courier New", offering fixed-pitch families only with `mono`. On an answer, `font`'s
// name, size and style are set from it (style none when neither bold nor italic, and the font's
// old host fonts released) and it lands in *out; on cancel none does. Allocates.
void request_font(const Cell* font, const Cell* selected, bool mono, Cell* out);

// The entries of the platform routines update-font (font flags), update-para (face flags) and
// request-font (font selected mono?), their arguments last first; each answers none or the font.
uint64_t update_font_routine(const uint64_t* args);
uint64_t update_para_routine(const uint64_t* args);
uint64_t request_font_routine(const uint64_t* args);

}  // namespace nuv::gui::fonts
