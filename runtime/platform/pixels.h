// The platform's pixel records (the record layout is hooks::PixelRecord): made, cropped and
// freed here, outside collected memory. Image values reach a record through a slot of the
// handle registry, so a record lives exactly as long as some value refers to it.
#pragma once
#include <cstdint>

#include "runtime/hooks.h"

namespace nuv::pixels {

using Record = hooks::PixelRecord;

Record* create(int32_t width, int32_t height, uint32_t argb);
Record* crop(const Record* from, int32_t x, int32_t y, int32_t w, int32_t h);
void destroy(void* record);

// Fills the imaging hooks; before image! registers.
void init();

}  // namespace nuv::pixels
