// The platform's pixel records (the record layout is hooks::PixelRecord): made, decoded from
// image files, encoded, cropped, scaled, flipped and freed here, outside collected memory.
// Image values reach a record through a slot of the handle registry, so a record lives exactly
// as long as some value refers to it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/images.h"
#include "runtime/hooks.h"

namespace nuv::pixels {

using Record = hooks::PixelRecord;

// Each raises internal no-memory when the pixels fit no series or memory runs out.
Record* create(int32_t width, int32_t height, uint32_t argb);
Record* crop(const Record* from, int32_t x, int32_t y, int32_t w, int32_t h);
// A w x h record sampled from `from` by nearest neighbour (both sides of both above 0).
Record* scale(const Record* from, int32_t w, int32_t h);
// A record holding `from` upside down.
Record* flip_vertical(const Record* from);
// A record over a copy of width x height memory pixels `stride` bytes apart (0: width x 4).
Record* copy_pixels(int32_t width, int32_t height, int32_t stride, const uint8_t* bgra);
void destroy(void* record);

// The image file in the bytes (chosen by its signature), or nullptr when no known signature
// starts them. Undecodable data, and a side above 65,535, raise access bad-media. The bytes
// may lie in a series buffer: nothing collected is allocated meanwhile.
Record* decode(const uint8_t* bytes, size_t size);
// The record as an image file of the format (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF) in `out`
// (released with std::free). An unknown format raises access no-codec with its id, a record
// without pixels access bad-media, a failing library internal no-memory.
void encode(const Record* record, int32_t format, host::images::Bytes* out);

// Fills the imaging hooks; before image! registers.
void init();

}  // namespace nuv::pixels
