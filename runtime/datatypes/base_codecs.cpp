// Bases 2, 16, 58 and 64. Decoding tables are built at compile time from the alphabets; every
// decoder walks its text once (base 58 multiplies its number in place, as any positional
// conversion between bases that are not powers of one another must).
#include "runtime/datatypes/base_codecs.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "runtime/datatypes/string.h"
#include "runtime/memory.h"

namespace nuv::base_codecs {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kBase58[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char kHexUpper[] = "0123456789ABCDEF";

// Decoding table entries besides digit values.
constexpr uint8_t kSkip = 64;
constexpr uint8_t kBad = 128;

using Table = std::array<uint8_t, 128>;

// The digits of the alphabet by character code; the blanks and the apostrophe are skipped.
consteval Table digit_table(const char* alphabet) {
    Table t{};
    t.fill(kBad);
    for (int c : {8, 9, 10, 12, 13, 32, 39}) t[c] = kSkip;
    for (int i = 0; alphabet[i]; i++)
        t[static_cast<unsigned char>(alphabet[i])] = static_cast<uint8_t>(i);
    return t;
}
// Bases 2 and 16: every character up to the space is skipped; digits take either case.
consteval Table hex_table() {
    Table t{};
    t.fill(kBad);
    for (int c = 0; c <= 32; c++) t[c] = kSkip;
    for (int i = 0; i < 16; i++)
        t[static_cast<unsigned char>(kHexUpper[i])] = static_cast<uint8_t>(i);
    for (int i = 10; i < 16; i++) t['a' + i - 10] = static_cast<uint8_t>(i);
    return t;
}
constexpr Table kDigits64 = digit_table(kBase64);
constexpr Table kDigits58 = digit_table(kBase58);
constexpr Table kDigits16 = hex_table();

// Reads the characters of a text one at a time, skipping ";" comments (through their line
// feed). next() answers the digit value, kSkip, kBad, or kEnd at the end of the text; `raw`
// holds the character read.
class Reader {
  public:
    static constexpr uint32_t kEnd = 0xFFFFFFFF;
    Reader(const uint8_t* units, size_t count, uint32_t unit, const Table& table)
        : p_(units), count_(count), unit_(unit), table_(table) {}

    uint32_t next() {
        for (;;) {
            if (i_ >= count_) return kEnd;
            raw = string::get_char(p_ + i_++ * unit_, unit_);
            if (raw != U';') break;
            while (i_ < count_ && string::get_char(p_ + i_++ * unit_, unit_) != U'\n') {
            }
        }
        return raw < 128 ? table_[raw] : kBad;
    }
    char32_t raw = 0;

  private:
    const uint8_t* p_;
    size_t count_;
    uint32_t unit_;
    size_t i_ = 0;
    const Table& table_;
};

}  // namespace

// ---- Encoders ----

size_t encode_2(uint8_t* out, const uint8_t* bytes, size_t length) {
    for (size_t i = 0; i < length; i++)
        for (int b = 0; b < 8; b++) out[8 * i + b] = (bytes[i] >> (7 - b)) & 1 ? '1' : '0';
    return 8 * length;
}

size_t encode_16(uint8_t* out, const uint8_t* bytes, size_t length) {
    for (size_t i = 0; i < length; i++) {
        out[2 * i] = static_cast<uint8_t>(kHexUpper[bytes[i] >> 4]);
        out[2 * i + 1] = static_cast<uint8_t>(kHexUpper[bytes[i] & 15]);
    }
    return 2 * length;
}

size_t encode_58(uint8_t* out, const uint8_t* bytes, size_t length) {
    size_t zeros = 0;
    while (zeros < length && bytes[zeros] == 0) out[zeros++] = '1';
    // The number's base-58 digits, least significant first, after the "1"s: each byte is
    // multiplied in (a number of n bytes has at most 1.37 n + 1 digits, within the room).
    uint8_t* digits = out + zeros;
    size_t count = 0;
    for (size_t i = zeros; i < length; i++) {
        uint32_t carry = bytes[i];
        for (size_t j = 0; j < count; j++) {
            carry += static_cast<uint32_t>(digits[j]) << 8;
            digits[j] = static_cast<uint8_t>(carry % 58);
            carry /= 58;
        }
        while (carry) {
            digits[count++] = static_cast<uint8_t>(carry % 58);
            carry /= 58;
        }
    }
    std::reverse(digits, digits + count);
    for (size_t j = 0; j < count; j++) digits[j] = static_cast<uint8_t>(kBase58[digits[j]]);
    return zeros + count;
}

size_t encode_64(uint8_t* out, const uint8_t* bytes, size_t length) {
    uint8_t* w = out;
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint32_t group =
            (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) *w++ = kBase64[(group >> shift) & 63];
    }
    if (const size_t left = length - i; left > 0) {
        const uint32_t group =
            (uint32_t{bytes[i]} << 16) | (left == 2 ? uint32_t{bytes[i + 1]} << 8 : 0);
        *w++ = kBase64[group >> 18];
        *w++ = kBase64[(group >> 12) & 63];
        *w++ = left == 2 ? kBase64[(group >> 6) & 63] : '=';
        *w++ = '=';
    }
    return static_cast<size_t>(w - out);
}

uint64_t encoded_size(int32_t base, uint64_t length) {
    switch (base) {
    case 2: return 8 * length;
    case 16: return 2 * length;
    case 58: return 2 * length;
    default: return (length + 2) / 3 * 4;
    }
}

// ---- Decoders ----

int64_t decode_2(const uint8_t* units, size_t count, uint32_t unit, uint8_t* out) {
    Reader r(units, count, unit, kDigits16);
    size_t w = 0;
    uint32_t bits = 0;
    int have = 0;
    for (uint32_t v; (v = r.next()) != Reader::kEnd;) {
        if (v == kSkip) continue;
        if (v > 1) return kInvalid;
        bits = bits << 1 | v;
        if (++have == 8) {
            out[w++] = static_cast<uint8_t>(bits);
            bits = 0;
            have = 0;
        }
    }
    return have == 0 ? static_cast<int64_t>(w) : kInvalid;
}

int64_t decode_16(const uint8_t* units, size_t count, uint32_t unit, uint8_t* out) {
    Reader r(units, count, unit, kDigits16);
    size_t w = 0;
    uint32_t high = 0;
    bool half = false;
    for (uint32_t v; (v = r.next()) != Reader::kEnd;) {
        if (v == kSkip) continue;
        if (v >= 16) return kInvalid;
        if (half) out[w++] = static_cast<uint8_t>(high << 4 | v);
        else high = v;
        half = !half;
    }
    return half ? kInvalid : static_cast<int64_t>(w);
}

int64_t decode_58(const uint8_t* units, size_t count, uint32_t unit, uint8_t* out) {
    Reader r(units, count, unit, kDigits58);
    // The leading "1"s become zero bytes at the start; the number grows down from the end of
    // the room, one byte per step of 256 (it never reaches the zeros: digits outnumber bytes).
    size_t zeros = 0;
    size_t size = 0;
    bool leading = true;
    uint8_t* end = out + count;
    for (uint32_t v; (v = r.next()) != Reader::kEnd;) {
        if (v == kSkip) continue;
        if (v >= 58) return kInvalid;
        if (leading && v == 0) {
            out[zeros++] = 0;
            continue;
        }
        leading = false;
        uint32_t carry = v;
        for (size_t j = 1; j <= size; j++) {
            carry += static_cast<uint32_t>(end[-static_cast<ptrdiff_t>(j)]) * 58;
            end[-static_cast<ptrdiff_t>(j)] = static_cast<uint8_t>(carry);
            carry >>= 8;
        }
        while (carry) {
            end[-static_cast<ptrdiff_t>(++size)] = static_cast<uint8_t>(carry);
            carry >>= 8;
        }
    }
    std::memmove(out + zeros, end - size, size);
    return static_cast<int64_t>(zeros + size);
}

int64_t decode_64(const uint8_t* units, size_t count, uint32_t unit, uint8_t* out, Tail tail) {
    Reader r(units, count, unit, kDigits64);
    size_t w = 0;
    uint32_t group = 0;
    int have = 0;
    bool padded = false;
    for (uint32_t v; (v = r.next()) != Reader::kEnd;) {
        if (r.raw == U'=') {
            // Padding ends the text; whatever follows it is not read.
            if (have < 2) return kInvalid;
            padded = true;
            break;
        }
        if (v == kSkip) continue;
        if (v >= 64) return kInvalid;
        group = group << 6 | v;
        if (++have == 4) {
            out[w++] = static_cast<uint8_t>(group >> 16);
            out[w++] = static_cast<uint8_t>(group >> 8);
            out[w++] = static_cast<uint8_t>(group);
            group = 0;
            have = 0;
        }
    }
    if (have == 0) return static_cast<int64_t>(w);
    if (have == 1 || (tail == Tail::Refused && !padded)) return kInvalid;
    // 2 characters hold one byte and 4 spare bits, 3 hold two bytes and 2 spare bits.
    group <<= 6 * (4 - have);
    out[w++] = static_cast<uint8_t>(group >> 16);
    if (have == 3) out[w++] = static_cast<uint8_t>(group >> 8);
    return static_cast<int64_t>(w);
}

size_t decoded_room(int32_t base, size_t count) {
    switch (base) {
    case 2: return count / 8;
    case 16: return count / 2;
    case 58: return count;
    default: return count / 4 * 3 + 2;
    }
}

int64_t decode_in(int32_t base, const uint8_t* units, size_t count, uint32_t unit, uint8_t* out,
                  Tail tail) {
    switch (base) {
    case 2: return decode_2(units, count, unit, out);
    case 16: return decode_16(units, count, unit, out);
    case 58: return decode_58(units, count, unit, out);
    case 64: return decode_64(units, count, unit, out, tail);
    default: return kInvalid;
    }
}

NodeId decode(int32_t base, const Cell* text, Tail tail) {
    const Cell held = *text;
    const size_t count = static_cast<size_t>(string::length(&held));
    const NodeId node = memory::alloc_series(std::max<size_t>(decoded_room(base, count), 1), 1, 0);
    memory::SeriesBuf* b = memory::buf(node);  // the text is read after the last allocation
    const int64_t n =
        decode_in(base, string::head_ptr(&held), count, string::unit_of(&held), b->data(), tail);
    if (n < 0) return 0;
    b->offset = 0;
    b->tail = static_cast<size_t>(n);
    return node;
}

}  // namespace nuv::base_codecs
