// One fuzz input through the DEFLATE decoders: the first byte picks the framing (raw, zlib,
// gzip), the rest is the stream. Counting with no room gives the size a full decode needs; a
// decode into exactly that room then succeeds (the wrappers may still find a bad check value),
// a decode into half of it asks for the same size again (or finds the bad check value that
// the full decode finds), and what decodes re-encodes and
// decodes back to itself. Buffers are exactly sized, so the sanitizer sees any access outside
// them. A crash, a sanitizer report or a broken law is a finding (the laws abort). Shared by
// the libFuzzer target and the corpus replay of the unit tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/platform/deflate.h"

namespace nuv::fuzz {

inline void require_deflate(bool law) {
    if (!law) std::abort();
}

inline void deflate_input(const uint8_t* data, size_t size) {
    using Codec = int (*)(uint8_t*, uint64_t*, const uint8_t*, uint64_t);
    static constexpr Codec kDecoders[] = {deflate::inflate_decompress, deflate::zlib_decompress,
                                          deflate::gzip_decompress};
    static constexpr Codec kEncoders[] = {deflate::deflate_compress, deflate::zlib_compress,
                                          deflate::gzip_compress};
    if (size == 0) return;
    const int framing = data[0] % 3;
    const std::vector<uint8_t> in(data + 1, data + size);
    const Codec decode = kDecoders[framing];
    uint64_t needed = 0;
    const int counted = decode(nullptr, &needed, in.data(), in.size());
    if (counted != deflate::kOk && counted != deflate::kNoRoom) return;
    require_deflate(needed <= deflate::kMaxRatio * in.size() + deflate::kMaxRatio);
    std::vector<uint8_t> out(needed);
    uint64_t length = needed;
    const int code = decode(out.data(), &length, in.data(), in.size());
    require_deflate(code == deflate::kOk || (framing > 0 && code == deflate::kCorrupt));
    if (needed > 1) {
        std::vector<uint8_t> half(needed / 2);
        uint64_t half_length = half.size();
        const int cut = decode(half.data(), &half_length, in.data(), in.size());
        require_deflate((cut == deflate::kNoRoom && half_length == needed) ||
                        (cut == deflate::kCorrupt && code == deflate::kCorrupt));
    }
    if (code != deflate::kOk) return;
    require_deflate(length == needed);
    uint64_t room = deflate::compress_bound(length) + deflate::kGzipOverhead;
    std::vector<uint8_t> packed(room);
    require_deflate(kEncoders[framing](packed.data(), &room, out.data(), length) == deflate::kOk);
    std::vector<uint8_t> back(length);
    uint64_t back_length = length;
    require_deflate(decode(back.data(), &back_length, packed.data(), room) == deflate::kOk);
    require_deflate(back_length == length && (length == 0 || std::memcmp(back.data(), out.data(), length) == 0));
}

}  // namespace nuv::fuzz
