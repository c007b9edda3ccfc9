// What the image format files share: the size check, the pixel allocation and the growable
// output of the encoders. Only host/image_*.cpp and host/images.cpp include it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/images.h"

namespace nuv::host::images::detail {

// Sides of 1 to kMaxSide and at most `max_pixels` pixels.
inline Status check_size(int64_t width, int64_t height, int64_t max_pixels) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return Status::Bad;
    return width * height > max_pixels ? Status::TooMany : Status::Ok;
}

// Zeroed (fully transparent) pixels, or nullptr.
inline uint8_t* alloc_pixels(int64_t width, int64_t height) {
    return static_cast<uint8_t*>(std::calloc(static_cast<size_t>(width * height), 4));
}

// Bytes read in order from memory.
struct Source {
    const uint8_t* bytes;
    size_t size;
    size_t at = 0;

    // Copies up to n bytes on; answers how many there were.
    size_t read(void* out, size_t n) {
        const size_t k = n < size - at ? n : size - at;
        std::memcpy(out, bytes + at, k);
        at += k;
        return k;
    }
};

// Bytes written at a position that may move back (TIFF seeks); the data grows by doubling.
struct Sink {
    uint8_t* data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    size_t at = 0;

    bool write(const void* bytes, size_t n) {
        if (n > SIZE_MAX - at) return false;
        const size_t end = at + n;
        if (end > capacity) {
            size_t grown = capacity ? capacity : 4096;
            while (grown < end) grown = grown > SIZE_MAX / 2 ? end : grown * 2;
            auto* more = static_cast<uint8_t*>(std::realloc(data, grown));
            if (!more) return false;
            data = more;
            capacity = grown;
        }
        if (at > size) std::memset(data + size, 0, at - size);
        std::memcpy(data + at, bytes, n);
        at = end;
        if (end > size) size = end;
        return true;
    }
    // Hands the bytes to `out` (or frees them when `ok` is false); answers `ok`.
    bool finish(bool ok, Bytes* out) {
        if (ok) {
            out->data = data;
            out->size = size;
        } else {
            std::free(data);
        }
        data = nullptr;
        return ok;
    }
};

Status decode_png(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels);
Status decode_jpeg(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels);
Status decode_gif(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels);
Status decode_tiff(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels);
Status decode_bmp(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels);

bool encode_png(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink);
bool encode_jpeg(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink);
bool encode_gif(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink);
bool encode_tiff(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink);
bool encode_bmp(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink);

}  // namespace nuv::host::images::detail
