// Image lists: images of one size kept side by side in one strip, drawn by index. A button shows
// one per state. Ids are never reused; every call with a destroyed list fails. No language values.
#pragma once
#include <cstdint>

typedef struct _cairo cairo_t;

namespace nuv::host::controls {

using HIMAGELIST = intptr_t;  // 0: none

enum : uint32_t { ILC_MASK = 0x0001, ILC_COLOR32 = 0x0020 };
enum : uint32_t { ILD_NORMAL = 0 };

// The largest side of an image in a list.
inline constexpr int32_t kMaxImageSide = 4096;

// A list of cx × cy images; `initial` is room made at once, and the list grows as images are
// added. 0 for a side outside 1 .. kMaxImageSide.
HIMAGELIST ImageList_Create(int32_t cx, int32_t cy, uint32_t flags, int32_t initial, int32_t grow);
bool ImageList_Destroy(HIMAGELIST list);
// Adds the images of a strip of width × height pixels (0xAARRGGBB, straight alpha, row by row):
// its height is the list's, its width a multiple of the list's; the pixels are copied. Answers
// the index of the first image added, -1 for a strip of another size or a destroyed list.
int32_t ImageList_Add(HIMAGELIST list, const uint32_t* argb, int32_t width, int32_t height);
int32_t ImageList_GetImageCount(HIMAGELIST list);
bool ImageList_GetIconSize(HIMAGELIST list, int32_t* cx, int32_t* cy);
// Draws image `index` with its top-left at x, y, blended over what is there.
bool ImageList_Draw(HIMAGELIST list, int32_t index, cairo_t* dc, int32_t x, int32_t y, uint32_t style);

}  // namespace nuv::host::controls
