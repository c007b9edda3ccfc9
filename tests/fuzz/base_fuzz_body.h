// One fuzz input through the four base decoders. The bytes are read as text of 1-byte units
// (as the binary literal reads its digits) with each rule for a base-64 tail; when they are
// UTF-8 they are also loaded as a text of its own unit and decoded through debase's entry,
// which must agree with the byte reading (only ASCII is ever valid, and a comment or what
// follows base-64 padding skips the same characters either way). Every decoded result must fit
// the room its decoder asked for and come back unchanged from its base's encoder and decoder.
// A crash, a sanitizer report or a broken law is a finding (the laws abort). Shared by the
// libFuzzer target and the corpus replay of the unit tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "runtime/collector.h"
#include "runtime/datatypes/base_codecs.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "tests/fuzz/lexer_fuzz_body.h"

namespace nuv::fuzz {

inline constexpr int32_t kBases[] = {2, 16, 58, 64};

inline void require(bool law) {
    if (!law) std::abort();
}

// Exactly sized, so that the sanitizer sees a write past the room.
inline std::unique_ptr<uint8_t[]> room_for(size_t n) { return std::make_unique<uint8_t[]>(n); }

inline size_t encode(int32_t base, uint8_t* out, const uint8_t* bytes, size_t n) {
    switch (base) {
    case 2: return base_codecs::encode_2(out, bytes, n);
    case 16: return base_codecs::encode_16(out, bytes, n);
    case 58: return base_codecs::encode_58(out, bytes, n);
    default: return base_codecs::encode_64(out, bytes, n);
    }
}

// Encoding then decoding gives the bytes back, with either tail rule.
inline void check_round_trip(int32_t base, const uint8_t* bytes, size_t n) {
    const size_t size = static_cast<size_t>(base_codecs::encoded_size(base, n));
    auto text = room_for(size);
    const size_t written = encode(base, text.get(), bytes, n);
    require(written <= size);
    const size_t room = base_codecs::decoded_room(base, written);
    auto back = room_for(room);
    const int64_t got = base_codecs::decode_in(base, text.get(), written, 1, back.get(),
                                               base_codecs::Tail::Refused);
    require(got == static_cast<int64_t>(n) && std::memcmp(back.get(), bytes, n) == 0);
}

inline void decode_input(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> decoded[std::size(kBases)];
    int64_t lengths[std::size(kBases)];
    for (size_t b = 0; b < std::size(kBases); b++) {
        const int32_t base = kBases[b];
        for (base_codecs::Tail tail : {base_codecs::Tail::Refused, base_codecs::Tail::Decoded}) {
            const size_t room = base_codecs::decoded_room(base, size);
            auto out = room_for(room);
            const int64_t n = base_codecs::decode_in(base, data, size, 1, out.get(), tail);
            if (n == base_codecs::kInvalid) continue;
            require(n >= 0 && static_cast<size_t>(n) <= room);
            check_round_trip(base, out.get(), static_cast<size_t>(n));
            if (tail == base_codecs::Tail::Decoded) {
                decoded[b] = std::move(out);
                lengths[b] = n;
            }
        }
        if (!decoded[b]) lengths[b] = base_codecs::kInvalid;
    }
    if (!is_utf8(data, size)) return;
    stack::Mark mark;
    collector::FreshScope fresh;
    try {
        Cell* text = string::load_new(data, size, string::kUtf8);
        for (size_t b = 0; b < std::size(kBases); b++) {
            const NodeId node = base_codecs::decode(kBases[b], text, base_codecs::Tail::Decoded);
            require((node != 0) == (lengths[b] != base_codecs::kInvalid));
            if (!node) continue;
            memory::SeriesBuf* buffer = memory::buf(node);
            require(static_cast<int64_t>(buffer->used()) == lengths[b] &&
                    std::memcmp(buffer->offset_ptr(), decoded[b].get(), buffer->used()) == 0);
        }
    } catch (const Unwind&) {
        // Loading may fail for memory alone; the laws above were checked before.
    }
    mark.restore();
}

}  // namespace nuv::fuzz
