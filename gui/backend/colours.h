// The small conversions every painting path of the backend shares: language colours (R.G.B with
// an optional transparency byte, 0 opaque) to the packed and float forms the host layers take,
// pairs to float points and back, a face's `flags` words to flag bits, the list of faces that
// use a font, and a millisecond stopwatch. Values are read where they lie; only
// `add_font_user` allocates.
#pragma once
#include <cstdint>

#include "host/gfx/matrix.h"
#include "runtime/cell.h"

namespace nuv::gui::backend {

// The tuple's first four bytes as 0xAABBGGRR, the transparency byte 0 for a 3-byte tuple; 0 for
// a value that is no tuple!.
uint32_t tuple_to_color(const Cell* colour);
// The same colour as straight floats, alpha = (255 - transparency) / 255. Answers the inverted
// transparency byte (255 opaque).
uint8_t color_to_d2d(const Cell* colour, host::gfx::ColorF* out);
// A packed 0xAABBGGRR colour as straight floats, alpha = (255 - transparency) / 255.
host::gfx::ColorF color_f(uint32_t colour);
// 0xAARRGGBB with alpha = 255 - transparency, an alpha of 255 lowered to 254 so that opaque
// colours still go through blending.
uint32_t color_to_argb(const Cell* colour);

// The cell changes type in place: a pair! becomes a point2D! of the same coordinates; a
// point2D! becomes a pair! of its coordinates truncated toward zero (saturating). Other values
// stay as they are.
void pair_to_point2d(Cell* cell);
void point2d_to_pair(Cell* cell);

// The face flag bits of a `flags` value: a word, or a block of words read from its head. Raises
// script invalid-arg with the item for an unknown word or an item that is not a word!; any
// other value gives 0.
uint32_t get_flags(const Cell* flags);

// Slot positions of a font! object that the backend reads and writes.
inline constexpr int32_t kFontName = 0, kFontSize = 1, kFontStyle = 2, kFontAngle = 3, kFontColor = 4,
                         kFontAntiAlias = 5, kFontShadow = 6, kFontState = 7, kFontParent = 8;
inline constexpr int32_t kFontSlots = 9;

// Records the face in the font's `parent` block (a new block with room for 4 when the slot holds
// anything but a block!), appending it unless the block already holds that object from its
// head on; the slot is left referring to the block at its tail. No change notice is sent. Does
// nothing when `font` is not an object of the font slots or `face` is not an object. Allocates.
void add_font_user(const Cell* font, const Cell* face);

// A stopwatch in a 64-bit slot of monotonic-clock ticks: read_perf_counter stores the time now;
// stopwatch_elapsed answers the milliseconds since the slot's time, and when the clock reads
// earlier than the slot (a slot never started) restarts it and answers 1000 x 0x7FFFFFFF ticks.
inline constexpr double kPerfFrequency = 1e9;  // ticks a second
void read_perf_counter(int64_t* slot);
double stopwatch_elapsed(int64_t* slot);

}  // namespace nuv::gui::backend
