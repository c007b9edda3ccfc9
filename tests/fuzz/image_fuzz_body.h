// One fuzz input through the five image decoders: each decoder, whatever the signature says,
// either refuses the bytes or gives pixels of the sides it reports, within the limits; what
// one decodes survives a PNG encode and decode unchanged. A crash, a sanitizer report or a
// broken law is a finding (the laws abort). Shared by the libFuzzer target and the corpus
// replay of the unit tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/images.h"

namespace nuv::fuzz {

// Small enough that a header claiming a huge image is refused, not allocated.
inline constexpr int64_t kImageFuzzPixels = int64_t{1} << 20;

inline void require_image(bool law) {
    if (!law) std::abort();
}

// Copied to an exactly sized buffer, so that the sanitizer sees a read past the input.
inline void image_input(const uint8_t* data, size_t size) {
    namespace images = host::images;
    auto input = std::make_unique<uint8_t[]>(size);
    if (size) std::memcpy(input.get(), data, size);
    for (int32_t f = 0; f < images::kFormats; f++) {
        images::Pixels out;
        const images::Status status =
            images::decode_as(static_cast<images::Format>(f), input.get(), size, &out, kImageFuzzPixels);
        if (status != images::Status::Ok) {
            require_image(out.data == nullptr);
            continue;
        }
        require_image(out.width >= 1 && out.height >= 1 && out.width <= images::kMaxSide &&
                      out.height <= images::kMaxSide && int64_t{out.width} * out.height <= kImageFuzzPixels);
        const size_t bytes = size_t(out.width) * size_t(out.height) * 4;
        images::Bytes png;
        require_image(images::encode(images::Format::Png, out.data, out.width, out.height, &png));
        images::Pixels again;
        require_image(images::decode(png.data, png.size, &again) == images::Status::Ok);
        require_image(again.width == out.width && again.height == out.height &&
                      std::memcmp(again.data, out.data, bytes) == 0);
        std::free(again.data);
        std::free(png.data);
        std::free(out.data);
    }
}

}  // namespace nuv::fuzz
