#include "runtime/platform/pixels.h"

#include <cstdlib>
#include <cstring>

#include "runtime/errors.h"

namespace nuv::pixels {

namespace {

Record* allocate(int32_t width, int32_t height) {
    auto* r = static_cast<Record*>(std::malloc(sizeof(Record)));
    if (!r) fire(Err::NoMemory);
    r->width = width;
    r->height = height;
    r->data = nullptr;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (bytes) {
        r->data = static_cast<uint8_t*>(std::malloc(bytes));
        if (!r->data) {
            std::free(r);
            fire(Err::NoMemory);
        }
    }
    return r;
}

}  // namespace

Record* create(int32_t width, int32_t height, uint32_t argb) {
    Record* r = allocate(width, height);
    const uint8_t pixel[4] = {static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 8),
                              static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 24)};
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < n; i++) std::memcpy(r->data + i * 4, pixel, 4);
    return r;
}

Record* crop(const Record* from, int32_t x, int32_t y, int32_t w, int32_t h) {
    Record* r = allocate(w, h);
    for (int32_t row = 0; row < h; row++)
        std::memcpy(r->data + int64_t{row} * w * 4,
                    from->data + (int64_t{y + row} * from->width + x) * 4, size_t(w) * 4);
    return r;
}

void destroy(void* record) {
    auto* r = static_cast<Record*>(record);
    std::free(r->data);
    std::free(r);
}

void init() { hooks::g_imaging = {create, crop, destroy}; }

}  // namespace nuv::pixels
