#include "runtime/platform/pixels.h"

#include <cstdlib>
#include <cstring>

#include "runtime/errors.h"

namespace nuv::pixels {

namespace {

namespace images = host::images;

// A record over pixels allocated here; the count is checked first.
Record* allocate(int32_t width, int32_t height) {
    const int64_t n = int64_t{width} * height;
    if (n > images::kMaxPixels) fire(Err::NoMemory);
    auto* r = static_cast<Record*>(std::malloc(sizeof(Record)));
    if (!r) fire(Err::NoMemory);
    *r = Record{width, height, nullptr};
    if (n) {
        const size_t bytes = static_cast<size_t>(n) * 4;
        r->data = static_cast<uint8_t*>(std::malloc(bytes));
        if (!r->data) {
            std::free(r);
            fire(Err::NoMemory);
        }
    }
    return r;
}

size_t row_bytes(const Record* r) { return static_cast<size_t>(r->width) * 4; }

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

Record* scale(const Record* from, int32_t w, int32_t h) {
    Record* r = allocate(w, h);
    for (int32_t y = 0; y < h; y++) {
        const int64_t sy = int64_t{y} * from->height / h;
        const uint8_t* source = from->data + sy * from->width * 4;
        uint8_t* p = r->data + int64_t{y} * w * 4;
        for (int32_t x = 0; x < w; x++) std::memcpy(p + x * 4, source + int64_t{x} * from->width / w * 4, 4);
    }
    return r;
}

Record* flip_vertical(const Record* from) {
    Record* r = allocate(from->width, from->height);
    for (int32_t y = 0; y < from->height; y++)
        std::memcpy(r->data + y * row_bytes(r), from->data + (from->height - 1 - y) * row_bytes(from), row_bytes(r));
    return r;
}

Record* copy_pixels(int32_t width, int32_t height, int32_t stride, const uint8_t* bgra) {
    Record* r = allocate(width, height);
    const size_t step = stride ? static_cast<size_t>(stride) : row_bytes(r);
    for (int32_t y = 0; y < height; y++) std::memcpy(r->data + y * row_bytes(r), bgra + y * step, row_bytes(r));
    return r;
}

void destroy(void* record) {
    auto* r = static_cast<Record*>(record);
    std::free(r->data);
    std::free(r);
}

Record* decode(const uint8_t* bytes, size_t size) {
    images::Pixels decoded;
    switch (images::decode(bytes, size, &decoded)) {
    case images::Status::Ok: break;
    case images::Status::NotImage: return nullptr;
    case images::Status::Bad: fire(Err::BadMedia);
    case images::Status::TooMany:
    case images::Status::NoMemory: fire(Err::NoMemory);
    }
    auto* r = static_cast<Record*>(std::malloc(sizeof(Record)));
    if (!r) {
        std::free(decoded.data);
        fire(Err::NoMemory);
    }
    *r = Record{decoded.width, decoded.height, decoded.data};
    return r;
}

void encode(const Record* record, int32_t format, images::Bytes* out) {
    if (format < 0 || format >= images::kFormats) fire_int(Err::NoCodec, format);
    if (!record || !record->data) fire(Err::BadMedia);
    if (!images::encode(static_cast<images::Format>(format), record->data, record->width, record->height, out))
        fire(Err::NoMemory);
}

void init() { hooks::g_imaging = {create, crop, destroy}; }

}  // namespace nuv::pixels
