#include "host/images.h"

#include <cstring>

#include "host/image_formats.h"

namespace nuv::host::images {

using namespace detail;

namespace {

struct Signature {
    Format format;
    const char* bytes;
    size_t length;
};

constexpr Signature kSignatures[] = {
    {Format::Png, "\x89PNG", 4},    {Format::Jpeg, "\xFF\xD8\xFF", 3}, {Format::Bmp, "BM", 2},
    {Format::Gif, "GIF87a", 6},     {Format::Gif, "GIF89a", 6},        {Format::Tiff, "II*\0", 4},
    {Format::Tiff, "MM\0*", 4},
};

using Decoder = Status (*)(const uint8_t*, size_t, Pixels*, int64_t);
using Encoder = bool (*)(const uint8_t*, int32_t, int32_t, Sink*);
// By format id.
constexpr Decoder kDecoders[kFormats] = {decode_bmp, decode_png, decode_gif, decode_jpeg, decode_tiff};
constexpr Encoder kEncoders[kFormats] = {encode_bmp, encode_png, encode_gif, encode_jpeg, encode_tiff};

}  // namespace

int32_t sniff(const uint8_t* bytes, size_t size) {
    for (const Signature& s : kSignatures)
        if (size >= s.length && std::memcmp(bytes, s.bytes, s.length) == 0) return static_cast<int32_t>(s.format);
    return -1;
}

Status decode_as(Format format, const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels) {
    *out = Pixels{};
    return kDecoders[static_cast<int32_t>(format)](bytes, size, out, max_pixels);
}

Status decode(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels) {
    const int32_t format = sniff(bytes, size);
    if (format < 0) return Status::NotImage;
    return decode_as(static_cast<Format>(format), bytes, size, out, max_pixels);
}

bool encode(Format format, const uint8_t* bgra, int32_t width, int32_t height, Bytes* out) {
    *out = Bytes{};
    Sink sink;
    return sink.finish(kEncoders[static_cast<int32_t>(format)](bgra, width, height, &sink), out);
}

}  // namespace nuv::host::images
