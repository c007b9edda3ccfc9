// DEFLATE, zlib and gzip. The encoder is one pass over a 1,024 x 4 match table and writes one
// fixed-Huffman block; the decoder reads all three block types through lookup tables, counting
// past the output capacity without writing so that a too-small output learns the size it needs.
#include "runtime/platform/deflate.h"

#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/checksum.h"

namespace nuv::deflate {

namespace {

// ---- Shared tables ----

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                    1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint64_t kWindow = 32768;
constexpr int kMaxMatch = 258;

constexpr uint32_t reverse_bits(uint32_t code, int length) {
    uint32_t r = 0;
    for (int i = 0; i < length; i++) r |= ((code >> i) & 1u) << (length - 1 - i);
    return r;
}

// The fixed code of a literal/length symbol, its bits in writing order.
struct Code {
    uint16_t bits;
    uint8_t length;
};
constexpr Code fixed_code(int symbol) {
    if (symbol < 144) return {static_cast<uint16_t>(reverse_bits(0x30 + symbol, 8)), 8};
    if (symbol < 256) return {static_cast<uint16_t>(reverse_bits(0x190 + symbol - 144, 9)), 9};
    if (symbol < 280) return {static_cast<uint16_t>(reverse_bits(symbol - 256, 7)), 7};
    return {static_cast<uint16_t>(reverse_bits(0xC0 + symbol - 280, 8)), 8};
}

// Code plus extra bits of each match length and of each distance, ready to write.
struct EncoderTables {
    std::array<Code, 256> literal{};
    std::array<uint32_t, kMaxMatch + 1> length_bits{};
    std::array<uint8_t, kMaxMatch + 1> length_count{};
    std::array<uint8_t, 512> dist_symbol{};  // distance - 1 below 256, else 256 + (distance - 1) / 128
};
constexpr EncoderTables make_encoder_tables() {
    EncoderTables t;
    for (int s = 0; s < 256; s++) t.literal[s] = fixed_code(s);
    for (int s = 0; s < 29; s++) {
        const Code code = fixed_code(257 + s);
        const int last = s == 28 ? kMaxMatch : kLengthBase[s] + (1 << kLengthExtra[s]) - 1;
        for (int len = kLengthBase[s]; len <= last && len <= kMaxMatch; len++) {
            if (s == 27 && len == kMaxMatch) break;  // 258 has its own symbol
            t.length_bits[len] = code.bits | static_cast<uint32_t>(len - kLengthBase[s]) << code.length;
            t.length_count[len] = static_cast<uint8_t>(code.length + kLengthExtra[s]);
        }
    }
    for (int s = 0; s < 30; s++) {
        const int last = kDistBase[s] + (1 << kDistExtra[s]) - 1;
        for (int d = kDistBase[s]; d <= last; d++) {
            if (d <= 256) t.dist_symbol[d - 1] = static_cast<uint8_t>(s);
            else t.dist_symbol[256 + ((d - 1) >> 7)] = static_cast<uint8_t>(s);
        }
    }
    return t;
}
constexpr EncoderTables kEnc = make_encoder_tables();

// ---- Bit writer: least significant bit first; bytes past the capacity are counted only ----

struct Writer {
    uint8_t* out;
    uint64_t capacity;
    uint64_t pos = 0;
    uint64_t bits = 0;
    int count = 0;

    void put(uint32_t value, int n) {
        bits |= static_cast<uint64_t>(value) << count;
        count += n;
        if (count >= 32) {
            if (pos + 4 <= capacity) {
                const uint32_t word = static_cast<uint32_t>(bits);
                std::memcpy(out + pos, &word, 4);
            } else {
                for (int i = 0; i < 4; i++)
                    if (pos + i < capacity) out[pos + i] = static_cast<uint8_t>(bits >> (8 * i));
            }
            pos += 4;
            bits >>= 32;
            count -= 32;
        }
    }
    // Pads with zero bits to a byte boundary and writes what is left.
    void finish() {
        while (count > 0) {
            if (pos < capacity) out[pos] = static_cast<uint8_t>(bits);
            pos++;
            bits >>= 8;
            count -= 8;
        }
        count = 0;
    }
};

uint32_t read24(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]; }

uint32_t bucket_of(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7FEB352Du;
    v ^= v >> 15;
    v *= 0x846CA68Bu;
    v ^= v >> 16;
    return v & 0x3FF;
}

// Bytes equal at a and b, at most `limit`.
size_t match_length(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) return n + (__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n]) n++;
    return n;
}

// ---- Bit reader: past the input it reads zero bits and counts them, so a stream that ends
// early is caught ----

struct Reader {
    const uint8_t* p;
    const uint8_t* end;
    const uint8_t* start;
    uint64_t bits = 0;
    int count = 0;
    int fake = 0;  // zero bytes added past the input, at the top of `bits`

    // At least 56 bits after it.
    void refill() {
        if (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            bits |= word << count;
            p += (63 - count) >> 3;
            count |= 56;
            return;
        }
        while (count <= 56) {
            if (p < end) bits |= static_cast<uint64_t>(*p++) << count;
            else fake++;
            count += 8;
        }
    }
    // True once a bit past the input has been taken.
    bool overrun() const { return fake > 0 && count < 8 * fake; }
    uint32_t take(int n) {
        const uint32_t v = static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
        bits >>= n;
        count -= n;
        return v;
    }
    // Input bytes used, the partly used last byte counted.
    uint64_t consumed() const {
        return static_cast<uint64_t>(p - start) - static_cast<uint64_t>((count - 8 * fake) / 8);
    }
};

// A canonical Huffman code: a 10-bit table for short codes, the counts and the sorted symbols
// for the long ones and for bits that match no code.
constexpr int kFastBits = 10;
struct Huffman {
    uint16_t fast[1 << kFastBits];  // symbol << 4 | length; 0 when the slow walk decides
    uint16_t count[16];
    uint16_t symbols[288];
};

// False for an over-subscribed set of lengths; an incomplete one is accepted and its unused
// patterns decode to no symbol.
bool build(Huffman& h, const uint8_t* lengths, int n) {
    std::memset(h.count, 0, sizeof h.count);
    for (int s = 0; s < n; s++) h.count[lengths[s]]++;
    h.count[0] = 0;
    int left = 1;
    for (int len = 1; len <= 15; len++) {
        left = (left << 1) - h.count[len];
        if (left < 0) return false;
    }
    uint16_t offsets[16];
    uint16_t next_code[16];
    offsets[1] = 0;
    next_code[1] = 0;
    for (int len = 1; len < 15; len++) {
        offsets[len + 1] = static_cast<uint16_t>(offsets[len] + h.count[len]);
        next_code[len + 1] = static_cast<uint16_t>((next_code[len] + h.count[len]) << 1);
    }
    std::memset(h.fast, 0, sizeof h.fast);
    for (int s = 0; s < n; s++) {
        const int len = lengths[s];
        if (!len) continue;
        h.symbols[offsets[len]++] = static_cast<uint16_t>(s);
        const uint32_t code = next_code[len]++;
        if (len > kFastBits) continue;
        const uint16_t entry = static_cast<uint16_t>(s << 4 | len);
        for (uint32_t r = reverse_bits(code, len); r < (1u << kFastBits); r += 1u << len) h.fast[r] = entry;
    }
    return true;
}

// The next symbol, or -1 when the bits match no code. The reader holds at least 15 bits.
int decode(const Huffman& h, Reader& r) {
    const uint16_t e = h.fast[r.bits & ((1u << kFastBits) - 1)];
    if (e) {
        r.take(e & 15);
        return e >> 4;
    }
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= 15; len++) {
        code |= static_cast<int>((r.bits >> (len - 1)) & 1);
        const int n = h.count[len];
        if (code < first + n) {
            r.take(len);
            return h.symbols[index + code - first];
        }
        index += n;
        first = (first + n) << 1;
        code <<= 1;
    }
    return -1;
}

struct FixedTables {
    Huffman literal;
    Huffman distance;
    FixedTables() {
        uint8_t lengths[288];
        for (int s = 0; s < 288; s++) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        build(literal, lengths, 288);
        std::memset(lengths, 5, 30 + 2);
        build(distance, lengths, 32);
    }
};
const FixedTables& fixed_tables() {
    static const FixedTables tables;
    return tables;
}

constexpr uint8_t kLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Reads a dynamic block's code lengths and builds its two codes.
int read_dynamic(Reader& r, Huffman& literal, Huffman& distance) {
    r.refill();
    const int hlit = static_cast<int>(r.take(5)) + 257;
    const int hdist = static_cast<int>(r.take(5)) + 1;
    const int hclen = static_cast<int>(r.take(4)) + 4;
    uint8_t lengths[288 + 32] = {};
    for (int i = 0; i < hclen; i++) {
        if (r.count < 3) r.refill();
        lengths[kLengthOrder[i]] = static_cast<uint8_t>(r.take(3));
    }
    if (r.overrun()) return kCorrupt;
    Huffman code_lengths;
    if (!build(code_lengths, lengths, 19)) return kCorrupt;
    std::memset(lengths, 0, 19);
    const int total = hlit + hdist;
    for (int i = 0; i < total;) {
        r.refill();
        const int symbol = decode(code_lengths, r);
        if (symbol < 0) return kCorrupt;
        if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        int repeat;
        if (symbol == 16) {
            if (i == 0) return kCorrupt;
            value = lengths[i - 1];
            repeat = 3 + static_cast<int>(r.take(2));
        } else if (symbol == 17) {
            repeat = 3 + static_cast<int>(r.take(3));
        } else {
            repeat = 11 + static_cast<int>(r.take(7));
        }
        if (repeat > total - i) return kCorrupt;
        std::memset(lengths + i, value, static_cast<size_t>(repeat));
        i += repeat;
    }
    if (r.overrun()) return kCorrupt;
    if (!build(literal, lengths, hlit) || !build(distance, lengths + hlit, hdist)) return kCorrupt;
    return kOk;
}

// Decodes one Huffman-coded block body.
int inflate_block(Reader& r, const Huffman& literal, const Huffman& distance, uint8_t* out,
                  uint64_t capacity, uint64_t& pos) {
    for (;;) {
        r.refill();
        if (r.overrun()) return kCorrupt;
        int symbol = decode(literal, r);
        if (symbol < 256) {
            if (symbol < 0) return kCorrupt;
            if (pos < capacity) out[pos] = static_cast<uint8_t>(symbol);
            pos++;
            continue;
        }
        if (symbol == 256) return r.overrun() ? kCorrupt : kOk;
        symbol -= 257;
        if (symbol >= 29) return kCorrupt;
        const uint64_t length = kLengthBase[symbol] + r.take(kLengthExtra[symbol]);
        const int dsym = decode(distance, r);
        if (dsym < 0 || dsym >= 30) return kCorrupt;
        const uint64_t dist = kDistBase[dsym] + r.take(kDistExtra[dsym]);
        if (r.overrun()) return kCorrupt;
        if (dist > pos) return kDistanceTooFar;
        if (pos + length + 8 <= capacity) {
            uint8_t* to = out + pos;
            const uint8_t* from = to - dist;
            if (dist >= 8) {
                for (uint64_t k = 0; k < length; k += 8) std::memcpy(to + k, from + k, 8);
            } else {
                for (uint64_t k = 0; k < length; k++) to[k] = from[k];
            }
        } else if (pos >= capacity) {
            pos += length;  // past the room only the count moves on
            continue;
        } else {
            for (uint64_t k = 0; k < length; k++, pos++)
                if (pos < capacity) out[pos] = out[pos - dist];
            continue;
        }
        pos += length;
    }
}

// Inflates a raw stream; `consumed` gets the input bytes up to the end of the final block.
int inflate_raw(uint8_t* out, uint64_t capacity, const uint8_t* in, uint64_t in_length,
                uint64_t& produced, uint64_t& consumed) {
    Reader r{in, in + in_length, in};
    uint64_t pos = 0;
    Huffman literal, distance;
    for (;;) {
        r.refill();
        const uint32_t final = r.take(1);
        const uint32_t type = r.take(2);
        if (r.overrun()) return produced = pos, kCorrupt;
        int result = kOk;
        if (type == 3) {
            result = kBlockType3;
        } else if (type == 0) {
            r.take(r.count & 7);
            r.refill();
            const uint32_t len = r.take(16);
            const uint32_t nlen = r.take(16);
            if (r.overrun() || (len ^ 0xFFFF) != nlen) return produced = pos, kCorrupt;
            r.p -= (r.count - 8 * r.fake) / 8;
            r.bits = 0;
            r.count = 0;
            r.fake = 0;
            if (static_cast<uint64_t>(r.end - r.p) < len) return produced = pos, kStoredPastInput;
            if (pos < capacity) std::memcpy(out + pos, r.p, std::min<uint64_t>(len, capacity - pos));
            pos += len;
            r.p += len;
        } else if (type == 1) {
            result = inflate_block(r, fixed_tables().literal, fixed_tables().distance, out, capacity, pos);
        } else {
            result = read_dynamic(r, literal, distance);
            if (result == kOk) result = inflate_block(r, literal, distance, out, capacity, pos);
        }
        if (result != kOk) return produced = pos, result;
        if (final) break;
    }
    produced = pos;
    consumed = r.consumed();
    return pos > capacity ? kNoRoom : kOk;
}

uint32_t read_le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void write_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// One gzip member's header from `at`: the offset of its DEFLATE data, or 0 when it is bad.
uint64_t gzip_header(const uint8_t* in, uint64_t at, uint64_t in_length) {
    const uint64_t left = in_length - at;
    const uint8_t* m = in + at;
    if (left < kGzipOverhead || m[0] != 0x1F || m[1] != 0x8B || m[2] != 8 || m[3] >= 32) return 0;
    const uint8_t flags = m[3];
    const uint64_t limit = left - 8;  // the header never runs into the trailer
    uint64_t h = 10;
    if (flags & 4) {
        if (h + 2 > limit) return 0;
        const uint64_t xlen = m[h] | m[h + 1] << 8;
        if (xlen > limit - h - 2) return 0;
        h += 2 + xlen;
    }
    for (const uint8_t field : {uint8_t{8}, uint8_t{16}}) {
        if (!(flags & field)) continue;
        const void* nul = std::memchr(m + h, 0, limit - h);
        if (!nul) return 0;
        h = static_cast<uint64_t>(static_cast<const uint8_t*>(nul) - m) + 1;
    }
    if (flags & 2) {
        if (h + 2 > limit) return 0;
        const uint32_t crc = checksum::crc32(m, h);
        if (static_cast<uint32_t>(m[h] | m[h + 1] << 8) != (crc & 0xFFFF)) return 0;
        h += 2;
    }
    return at + h;
}

// True when the input is one or more whole gzip members that decode with matching sizes and
// check values.
bool is_whole_gzip(const uint8_t* in, uint64_t in_length) {
    uint64_t needed = 0;
    const int counted = gzip_decompress(nullptr, &needed, in, in_length);
    if (counted != kOk && counted != kNoRoom) return false;
    try {
        std::vector<uint8_t> scratch(needed ? needed : 1);
        return gzip_decompress(scratch.data(), &needed, in, in_length) == kOk;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

int deflate_compress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t n) {
    uint32_t table[1024][4] = {};
    Writer w{out, *length};
    w.put(3, 3);  // BFINAL 1, BTYPE 01
    uint64_t p = 0;
    while (p < n) {
        const uint64_t begin = p;
        const bool has3 = p + 3 <= n;
        const uint32_t bucket = has3 ? bucket_of(read24(in + p)) : 0;
        bool matched = false;
        if (has3 && p >= 3) {
            for (const uint32_t c : table[bucket]) {
                if (c == 0 || c >= p || p - c >= kWindow || std::memcmp(in + c, in + p, 3) != 0) continue;
                const uint64_t limit = std::min<uint64_t>(kMaxMatch, n - p);
                const uint64_t len = limit > 3 ? 3 + match_length(in + c + 3, in + p + 3, limit - 3) : 3;
                const uint64_t dist = p - c;
                w.put(kEnc.length_bits[len], kEnc.length_count[len]);
                const int ds = kEnc.dist_symbol[dist <= 256 ? dist - 1 : 256 + ((dist - 1) >> 7)];
                w.put(reverse_bits(static_cast<uint32_t>(ds), 5) |
                          static_cast<uint32_t>(dist - kDistBase[ds]) << 5,
                      5 + kDistExtra[ds]);
                p += len;
                matched = true;
                break;
            }
        }
        if (!matched) {
            const Code code = kEnc.literal[in[p]];
            w.put(code.bits, code.length);
            p++;
        }
        // Where the next position has fewer than 3 bytes no later match is tried, so the slot
        // does not matter and nothing past the input is read.
        if (has3 && p + 3 <= n) {
            const uint32_t v = read24(in + p);
            table[bucket][((v >> 14) - v) & 3] = static_cast<uint32_t>(begin);
        }
    }
    w.put(0, 7);  // end of block
    w.finish();
    const uint64_t capacity = *length;
    *length = w.pos;
    return w.pos > capacity ? kNoRoom : kOk;
}

int inflate_decompress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length) {
    uint64_t produced = 0, consumed = 0;
    const int result = inflate_raw(out, *length, in, in_length, produced, consumed);
    *length = produced;
    return result;
}

int zlib_compress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length) {
    const uint64_t capacity = *length;
    if (capacity < kZlibOverhead) {
        *length = in_length + kZlibOverhead;
        return kCorrupt;
    }
    out[0] = 0x78;
    out[1] = 0x01;
    uint64_t body = capacity - 2;
    const int result = deflate_compress(out + 2, &body, in, in_length);
    *length = body + kZlibOverhead;
    if (result != kOk) return result;
    if (capacity - 2 - body < 4) return kNoRoom;
    const uint32_t adler = checksum::adler32(in, in_length);
    for (int i = 0; i < 4; i++) out[2 + body + i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
    return kOk;
}

int zlib_decompress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length) {
    if (in_length < kZlibOverhead || (in[0] * 256u + in[1]) % 31 != 0 || (in[0] & 0x0F) != 8 ||
        (in[0] & 0x80) || (in[1] & 0x20))
        return kCorrupt;
    const int result = inflate_decompress(out, length, in + 2, in_length - kZlibOverhead);
    if (result != kOk) return result;
    const uint8_t* t = in + in_length - 4;
    const uint32_t expected = static_cast<uint32_t>(t[0]) << 24 | t[1] << 16 | t[2] << 8 | t[3];
    return checksum::adler32(out, *length) == expected ? kOk : kCorrupt;
}

int gzip_compress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length) {
    const uint64_t capacity = *length;
    if (in_length > 2 && in[0] == 0x1F && in[1] == 0x8B && in[2] == 8 && is_whole_gzip(in, in_length)) {
        *length = in_length;
        if (capacity < in_length) return kNoRoom;
        std::memcpy(out, in, in_length);
        return kOk;
    }
    if (capacity < kGzipOverhead) {
        *length = in_length + kGzipOverhead;
        return kCorrupt;
    }
    static constexpr uint8_t kHeader[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4};
    std::memcpy(out, kHeader, 10);
    uint64_t body = capacity - 10;
    const int result = deflate_compress(out + 10, &body, in, in_length);
    *length = body + kGzipOverhead;
    if (result != kOk) return result;
    if (capacity - 10 - body < 8) return kNoRoom;
    write_le32(out + 10 + body, checksum::crc32(in, in_length));
    write_le32(out + 14 + body, static_cast<uint32_t>(in_length));
    return kOk;
}

int gzip_decompress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length) {
    const uint64_t capacity = *length;
    uint64_t total = 0;
    uint64_t at = 0;
    do {
        const uint64_t data = gzip_header(in, at, in_length);
        if (!data) return kCorrupt;
        const bool room = total < capacity;
        uint8_t* to = room ? out + total : nullptr;
        uint64_t produced = 0, consumed = 0;
        const int result = inflate_raw(to, room ? capacity - total : 0, in + data,
                                       in_length - data, produced, consumed);
        if (result != kOk && result != kNoRoom) {
            *length = total + produced;
            return result;
        }
        const uint64_t trailer = data + consumed;
        if (in_length - trailer < 8 || read_le32(in + trailer + 4) != static_cast<uint32_t>(produced))
            return kCorrupt;
        if (total + produced <= capacity && checksum::crc32(out + total, produced) != read_le32(in + trailer))
            return kCorrupt;
        total += produced;
        at = trailer + 8;
    } while (at < in_length);
    *length = total;
    return total > capacity ? kNoRoom : kOk;
}

}  // namespace nuv::deflate
