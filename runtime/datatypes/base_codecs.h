// The text encodings of bytes in bases 2, 16, 58 and 64. Encoders write ASCII into room the
// caller sized; decoders read text units (1, 2 or 4 bytes each, as text buffers hold them) and
// answer the decoded length, or kInvalid for text that is not valid in the base. Neither
// allocates; `decode` is the one entry that makes a byte buffer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::base_codecs {

inline constexpr int64_t kInvalid = -1;

// Base 58 converts the whole text as one number, in time that grows with the square of its
// length: enbase takes at most this many bytes and debase this many characters.
inline constexpr size_t kMax58Bytes = 10000;
inline constexpr size_t kMax58Characters = 14000;

// What decode_64 does with a last group that has no "=" padding.
enum class Tail : uint8_t {
    Refused,   // any unpadded last group makes the text invalid (the binary literal)
    Decoded,   // 2 or 3 characters give 1 or 2 bytes; a single one is invalid (debase)
};

// ---- Encoders: the end of the output, as a count of characters written ----

size_t encode_2(uint8_t* out, const uint8_t* bytes, size_t length);
size_t encode_16(uint8_t* out, const uint8_t* bytes, size_t length);
// `out` has room for 2 x length characters; the leading zero bytes, which are consumed, are
// counted first and each becomes "1".
size_t encode_58(uint8_t* out, const uint8_t* bytes, size_t length);
size_t encode_64(uint8_t* out, const uint8_t* bytes, size_t length);
// The characters the base's encoder writes for `length` bytes (base 58: its bound).
uint64_t encoded_size(int32_t base, uint64_t length);

// ---- Decoders ----
// `units` holds `count` characters of `unit` bytes; `out` has room for decoded_room(base,
// count) bytes. Blanks and ";" comments (to the end of the line) are skipped in every base;
// the apostrophe only in bases 58 and 64. A character above 127 is invalid in every base.

int64_t decode_2(const uint8_t* units, size_t count, uint32_t unit, uint8_t* out);
int64_t decode_16(const uint8_t* units, size_t count, uint32_t unit, uint8_t* out);
int64_t decode_58(const uint8_t* units, size_t count, uint32_t unit, uint8_t* out);
int64_t decode_64(const uint8_t* units, size_t count, uint32_t unit, uint8_t* out, Tail tail);
// The most bytes `count` characters decode to in the base (2, 16, 58 or 64).
size_t decoded_room(int32_t base, size_t count);
// One decoder by base; another base answers kInvalid.
int64_t decode_in(int32_t base, const uint8_t* units, size_t count, uint32_t unit, uint8_t* out,
                  Tail tail);

// The text from the head of a text cell decoded into a new byte buffer: its node, or 0 when
// the text is not valid in the base. Allocates (the text is re-read after the allocation).
NodeId decode(int32_t base, const Cell* text, Tail tail);

}  // namespace nuv::base_codecs
