// Image files in memory: PNG, JPEG, GIF and TIFF through the system's libraries, BMP of our
// own. Decoding gives straight (not premultiplied) pixels of four bytes each in memory order
// blue, green, red, alpha, rows from the top; encoding takes the same. No language values.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nuv::host::images {

enum class Format : int32_t { Bmp = 0, Png = 1, Gif = 2, Jpeg = 3, Tiff = 4 };
inline constexpr int32_t kFormats = 5;

inline constexpr int32_t kMaxSide = 65535;
// The most pixels an image may hold: its four-byte pixels must fit one series.
inline constexpr int64_t kMaxPixels = 0x7FFFFFFF / 4;

enum class Status {
    Ok,
    NotImage,  // no known file signature
    Bad,       // corrupt or unsupported data, or a side above kMaxSide
    TooMany,   // more pixels than the limit given; nothing was allocated for them
    NoMemory,
};

// Pixels owned by the caller, released with std::free; `data` is nullptr when a side is 0.
struct Pixels {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* data = nullptr;
};

// A byte buffer owned by the caller, released with std::free.
struct Bytes {
    uint8_t* data = nullptr;
    size_t size = 0;
};

// The format whose signature starts the bytes, or -1.
int32_t sniff(const uint8_t* bytes, size_t size);

// Decodes the whole first image (GIF frame 0, the first TIFF directory). The sides are checked
// against kMaxSide and the pixel count against `max_pixels` before any pixel is allocated.
Status decode(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels = kMaxPixels);
// One decoder alone, whatever the signature says.
Status decode_as(Format format, const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels);

// Encodes width x height pixels (both above 0): PNG and TIFF keep every pixel, BMP writes 32
// bits with alpha, GIF keeps up to 256 colours exactly (alpha below 128 is transparent) and
// quantises more, JPEG drops alpha at quality 90. False when the library fails or memory runs
// out; `out` is then empty.
bool encode(Format format, const uint8_t* bgra, int32_t width, int32_t height, Bytes* out);

}  // namespace nuv::host::images
