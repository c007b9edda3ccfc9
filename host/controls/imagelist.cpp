// Image lists: each list keeps its images premultiplied, one after another, so adding is an
// append and drawing wraps one image's pixels in a Cairo surface.
#include "host/controls/imagelist.h"

#include <algorithm>
#include <new>
#include <unordered_map>
#include <vector>

#include "host/win/cairo_lib.h"

namespace nuv::host::controls {

namespace {

struct List {
    int32_t cx = 0, cy = 0;
    int32_t count = 0;
    std::vector<uint32_t> pixels;  // premultiplied 0xAARRGGBB, image after image
};

struct Lists {
    std::unordered_map<HIMAGELIST, List> lists;
    HIMAGELIST next = 1;
};
Lists& lists() {
    static Lists l;
    return l;
}

List* find(HIMAGELIST id) {
    auto it = lists().lists.find(id);
    return it == lists().lists.end() ? nullptr : &it->second;
}

uint32_t premultiply(uint32_t argb) {
    const uint32_t a = argb >> 24;
    if (a == 255) return argb;
    auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
    return a << 24 | mul((argb >> 16) & 0xFF) << 16 | mul((argb >> 8) & 0xFF) << 8 | mul(argb & 0xFF);
}

}  // namespace

HIMAGELIST ImageList_Create(int32_t cx, int32_t cy, uint32_t, int32_t initial, int32_t) {
    if (cx < 1 || cy < 1 || cx > kMaxImageSide || cy > kMaxImageSide) return 0;
    Lists& l = lists();
    const HIMAGELIST id = l.next++;
    List& list = l.lists[id];
    list.cx = cx;
    list.cy = cy;
    // The initial room is a hint: a list too large to make at once still grows image by image.
    try {
        list.pixels.reserve(size_t(std::clamp(initial, 0, 64)) * cx * cy);
    } catch (const std::bad_alloc&) {
    }
    return id;
}

bool ImageList_Destroy(HIMAGELIST list) { return lists().lists.erase(list) > 0; }

int32_t ImageList_Add(HIMAGELIST id, const uint32_t* argb, int32_t width, int32_t height) {
    List* list = find(id);
    if (!list || !argb || height != list->cy || width < list->cx || width % list->cx) return -1;
    const int32_t added = width / list->cx;
    const size_t image = size_t(list->cx) * list->cy;
    try {
        list->pixels.reserve(list->pixels.size() + added * image);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    for (int32_t k = 0; k < added; ++k)
        for (int32_t y = 0; y < height; ++y) {
            const uint32_t* row = argb + size_t(y) * width + size_t(k) * list->cx;
            for (int32_t x = 0; x < list->cx; ++x) list->pixels.push_back(premultiply(row[x]));
        }
    const int32_t first = list->count;
    list->count += added;
    return first;
}

int32_t ImageList_GetImageCount(HIMAGELIST id) {
    const List* list = find(id);
    return list ? list->count : 0;
}

bool ImageList_GetIconSize(HIMAGELIST id, int32_t* cx, int32_t* cy) {
    const List* list = find(id);
    if (!list) return false;
    *cx = list->cx;
    *cy = list->cy;
    return true;
}

bool ImageList_Draw(HIMAGELIST id, int32_t index, cairo_t* dc, int32_t x, int32_t y, uint32_t) {
    List* list = find(id);
    const win::CairoLib* c = win::cairo_lib();
    if (!list || !dc || !c || index < 0 || index >= list->count) return false;
    auto* data = reinterpret_cast<unsigned char*>(list->pixels.data() + size_t(index) * list->cx * list->cy);
    cairo_surface_t* image =
        c->image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, list->cx, list->cy, list->cx * 4);
    const bool ok = c->surface_status(image) == CAIRO_STATUS_SUCCESS;
    if (ok) {
        c->save(dc);
        c->set_source_surface(dc, image, x, y);
        c->new_path(dc);
        c->rectangle(dc, x, y, list->cx, list->cy);
        c->fill(dc);
        c->restore(dc);
    }
    c->surface_destroy(image);
    return ok;
}

}  // namespace nuv::host::controls
