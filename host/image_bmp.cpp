// BMP of our own: reads 1, 4, 8, 16, 24 and 32 bits per pixel, RLE4 and RLE8, and bit fields
// (with or without alpha), top-down or bottom-up; writes 32 bits with alpha behind a version-4
// header. Every header field, palette entry, run and offset is checked against the data.
#include <algorithm>
#include <bit>
#include <vector>

#include "host/image_formats.h"

namespace nuv::host::images::detail {

namespace {

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

uint32_t le16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

// One channel's mask: its value scaled to 0..255 (a channel with no mask reads `absent`).
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t top = 0;
    explicit Channel(uint32_t m = 0) : mask(m), shift(m ? std::countr_zero(m) : 0), top(m ? m >> shift : 0) {}
    uint8_t of(uint32_t pixel, uint8_t absent) const {
        if (!mask) return absent;
        return static_cast<uint8_t>(uint64_t{(pixel & mask) >> shift} * 255 / top);
    }
};

struct Header {
    int64_t width = 0;
    int64_t height = 0;  // its magnitude
    bool top_down = false;
    uint32_t bits = 0;
    uint32_t compression = kRgb;
    uint32_t palette_at = 0;
    uint32_t palette_entry = 4;
    uint32_t palette_count = 0;
    uint32_t pixels_at = 0;
    uint32_t masks[4] = {};  // red, green, blue, alpha
};

bool read_header(const uint8_t* b, size_t size, Header* h) {
    if (size < 26) return false;
    const uint32_t info = le32(b + 14);
    if (info < 12 || info > size - 14) return false;
    h->pixels_at = le32(b + 10);
    if (info == 12) {
        h->width = le16(b + 18);
        h->height = static_cast<int16_t>(le16(b + 20));
        h->bits = le16(b + 24);
        h->palette_entry = 3;
    } else if (info >= 40) {
        h->width = static_cast<int32_t>(le32(b + 18));
        h->height = static_cast<int32_t>(le32(b + 22));
        h->bits = le16(b + 28);
        h->compression = le32(b + 30);
        h->palette_count = le32(b + 46);
        if (info == 64 && h->compression > kRle4) return false;  // the OS/2 meanings of 3 and 4
    } else {
        return false;
    }
    h->top_down = h->height < 0;
    h->height = h->top_down ? -h->height : h->height;
    h->palette_at = 14 + info;
    switch (h->compression) {
    case kRgb: break;
    case kRle8: if (h->bits != 8 || h->top_down) return false; break;
    case kRle4: if (h->bits != 4 || h->top_down) return false; break;
    case kBitFields:
    case kAlphaBitFields: {
        if (h->bits != 16 && h->bits != 32) return false;
        const uint32_t count = h->compression == kAlphaBitFields || info >= 56 ? 4 : 3;
        uint32_t at = 14 + 40;
        if (info == 40) {  // the masks follow the header
            if (size - h->palette_at < count * 4) return false;
            at = h->palette_at;
            h->palette_at += count * 4;
        } else if (info < 40 + count * 4) {
            return false;
        }
        for (uint32_t i = 0; i < count; i++) h->masks[i] = le32(b + at + i * 4);
        break;
    }
    default: return false;
    }
    if (h->compression == kRgb) {
        if (h->bits == 16) {
            h->masks[0] = 0x7C00, h->masks[1] = 0x03E0, h->masks[2] = 0x001F;
        } else if (h->bits == 32) {
            h->masks[0] = 0xFF0000, h->masks[1] = 0xFF00, h->masks[2] = 0xFF;
        }
    }
    switch (h->bits) {
    case 1: case 2: case 4: case 8: {
        const uint32_t most = 1u << h->bits;
        if (h->palette_count == 0 || h->palette_count > most) h->palette_count = most;
        const uint32_t room = (size - std::min<size_t>(size, h->palette_at)) / h->palette_entry;
        if (h->palette_count > room) return false;
        break;
    }
    case 16: case 24: case 32: h->palette_count = 0; break;
    default: return false;
    }
    return h->pixels_at < size;
}

// Palette indices of a run-length image (bottom-up), drawn on `index` (-1 where nothing was
// drawn). Data that ends early ends the drawing.
void decode_rle(const uint8_t* b, size_t size, const Header& h, std::vector<int16_t>* index) {
    const bool four = h.compression == kRle4;
    size_t at = h.pixels_at;
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    const auto put = [&](int value) {
        if (x < h.width && y < h.height) (*index)[static_cast<size_t>((h.height - 1 - y) * h.width + x)] = static_cast<int16_t>(value);
        x++;
    };
    while (size - at >= 2 && y < h.height) {
        const uint32_t count = b[at], value = b[at + 1];
        at += 2;
        if (count > 0) {
            for (uint32_t i = 0; i < count; i++) put(four ? (i & 1 ? value & 15 : value >> 4) : int(value));
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            y++;
        } else if (value == 1) {  // end of bitmap
            return;
        } else if (value == 2) {  // move
            if (size - at < 2) return;
            x += b[at];
            y += b[at + 1];
            at += 2;
        } else {  // `value` pixels as they are, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1) / 2 : value;
            if (size - at < bytes) return;
            for (uint32_t i = 0; i < value; i++) put(four ? (i & 1 ? b[at + i / 2] & 15 : b[at + i / 2] >> 4) : b[at + i]);
            at += bytes + (bytes & 1);
            if (at > size) return;
        }
    }
}

}  // namespace

Status decode_bmp(const uint8_t* b, size_t size, Pixels* out, int64_t max_pixels) {
    Header h;
    if (!read_header(b, size, &h)) return Status::Bad;
    const Status fits = check_size(h.width, h.height, max_pixels);
    if (fits != Status::Ok) return fits;
    uint8_t palette[256][4] = {};
    for (auto& entry : palette) entry[3] = 255;  // indices past the palette read opaque black
    for (uint32_t i = 0; i < h.palette_count; i++)
        std::memcpy(palette[i], b + h.palette_at + i * h.palette_entry, 3);
    const int64_t stride = (h.width * h.bits + 31) / 32 * 4;
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    if (!rle && (size - h.pixels_at) / static_cast<uint64_t>(stride) < static_cast<uint64_t>(h.height)) return Status::Bad;
    uint8_t* data = alloc_pixels(h.width, h.height);
    if (!data) return Status::NoMemory;
    const size_t n = static_cast<size_t>(h.width * h.height);
    if (rle) {
        std::vector<int16_t> index(n, -1);
        decode_rle(b, size, h, &index);
        for (size_t i = 0; i < n; i++)
            if (index[i] >= 0) std::memcpy(data + i * 4, palette[index[i]], 4);
        *out = Pixels{static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), data};
        return Status::Ok;
    }
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
    for (int64_t row = 0; row < h.height; row++) {
        const uint8_t* s = b + h.pixels_at + row * stride;
        uint8_t* p = data + (h.top_down ? row : h.height - 1 - row) * h.width * 4;
        for (int64_t x = 0; x < h.width; x++, p += 4) {
            switch (h.bits) {
            case 24:
                std::memcpy(p, s + x * 3, 3);
                p[3] = 255;
                break;
            case 16:
            case 32: {
                const uint32_t pixel = h.bits == 16 ? le16(s + x * 2) : le32(s + x * 4);
                p[0] = blue.of(pixel, 0);
                p[1] = green.of(pixel, 0);
                p[2] = red.of(pixel, 0);
                p[3] = alpha.of(pixel, 255);
                break;
            }
            default: {
                const int64_t bit = x * h.bits;
                const uint32_t index = (s[bit / 8] >> (8 - h.bits - bit % 8)) & ((1u << h.bits) - 1);
                std::memcpy(p, palette[index], 4);
            }
            }
        }
    }
    *out = Pixels{static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), data};
    return Status::Ok;
}

bool encode_bmp(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink) {
    constexpr uint32_t kHeaders = 14 + 108;
    const uint32_t image = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 4;
    uint8_t head[kHeaders] = {'B', 'M'};
    const auto put = [&](uint32_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; i++) head[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(2, kHeaders + image, 4);
    put(10, kHeaders, 4);
    put(14, 108, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);  // rows from the bottom
    put(26, 1, 2);
    put(28, 32, 2);
    put(30, kBitFields, 4);
    put(34, image, 4);
    put(38, 2835, 4);  // 72 dpi
    put(42, 2835, 4);
    put(54, 0x00FF0000, 4);
    put(58, 0x0000FF00, 4);
    put(62, 0x000000FF, 4);
    put(66, 0xFF000000, 4);
    put(70, 0x73524742, 4);  // sRGB
    if (!sink->write(head, kHeaders)) return false;
    for (int32_t y = height - 1; y >= 0; y--)
        if (!sink->write(bgra + size_t(y) * size_t(width) * 4, size_t(width) * 4)) return false;
    return true;
}

}  // namespace nuv::host::images::detail
