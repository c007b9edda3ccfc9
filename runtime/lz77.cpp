// The LZ77 codec and its container. The decoder checks every field against the bytes it was
// given; the compressor finds matches through a 3-byte hash head and a chain of 4-byte hash
// positions, both good for one block, with the walk capped so that a block costs linear time.
#include "runtime/lz77.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "runtime/memory.h"

namespace nuv::lz77 {

namespace {

uint32_t load32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Length codes: a prefix of `rank` zero bits closed by a one (the last rank has no closing
// bit), then `extra` bits added to `base`; L = length - 3.
struct LengthCode {
    uint32_t base;
    uint32_t extra;
};
constexpr LengthCode kLengthCodes[] = {{0, 2}, {4, 2}, {8, 2}, {12, 3}, {20, 5}, {52, 9}};
constexpr uint32_t kLengthRanks = std::size(kLengthCodes);
static_assert(kLengthCodes[kLengthRanks - 1].base + (1u << kLengthCodes[kLengthRanks - 1].extra) -
                  1 + kMinLength ==
              kMaxLength);

// Fills out[n, n + length) from `distance` bytes back, repeating the pattern when they overlap.
void copy_match(uint8_t* out, size_t n, uint32_t length, uint32_t distance) {
    uint8_t* to = out + n;
    const uint8_t* from = to - distance;
    if (distance >= length) {
        std::memcpy(to, from, length);
    } else if (distance == 1) {
        std::memset(to, *from, length);
    } else {
        for (uint32_t i = 0; i < length; i++) to[i] = from[i];
    }
}

// Decodes one block of `size` bytes into out[0, size); false on a bad symbol or a short stream.
bool unpack_block(BitReader& in, uint8_t* out, uint32_t size) {
    uint32_t n = 0;
    while (n < size) {
        if (in.read(1) == 0) {
            out[n++] = static_cast<uint8_t>(in.read(8));
        } else {
            const uint32_t length = read_length(in);
            const uint32_t distance = read_distance(in);
            if (in.failed() || distance > n || length > size - n) return false;
            copy_match(out, n, length, distance);
            n += length;
        }
    }
    return !in.failed();
}

// The blocks of a payload of `payload` bytes, which must fill out[0, unpacked) exactly.
bool unpack_blocks(const uint8_t* in, uint32_t payload, uint8_t* out, uint32_t unpacked) {
    size_t at = 0;
    uint32_t used = 0;
    while (at < payload) {
        if (payload - at < 4) return false;
        const uint32_t size = load32(in + at);
        at += 4;
        if (size < 1 || size > kBlockSize || size > unpacked - used) return false;
        BitReader bits(in + at, payload - at);
        if (!unpack_block(bits, out + used, size)) return false;
        at += bits.position();
        used += size;
    }
    return used == unpacked;
}

constexpr uint32_t kHash3Size = 1u << 19;
constexpr uint32_t kHash4Size = 1u << 20;
constexpr uint32_t kChainMask = kMaxDistance - 1;
constexpr uint32_t kChainTries = 256;
constexpr uint32_t kFarShortMatch = 0x10000;  // a 3-byte match farther than this costs more

uint32_t hash3(const uint8_t* p) {
    return ((uint32_t{p[0]} << 14) + (uint32_t{p[1]} << 7) + p[2]) & (kHash3Size - 1);
}

uint32_t hash4(const uint8_t* p) {
    return ((uint32_t{p[0]} << 15) + (uint32_t{p[1]} << 10) + (uint32_t{p[2]} << 5) + p[3]) &
           (kHash4Size - 1);
}

// How many 3-bit shifts bring `a` down to `b` or below: the extra length a farther match
// must bring to be worth its longer distance code.
uint32_t distance_cost(uint32_t a, uint32_t b) {
    uint32_t cost = 0;
    for (; a > b; a >>= 3) cost++;
    return cost;
}

uint32_t match_length(const uint8_t* block, uint32_t candidate, uint32_t at, uint32_t max) {
    uint32_t n = 0;
    while (n < max && block[candidate + n] == block[at + n]) n++;
    return n;
}

// Hash heads and the chain (a ring over the window), kept for the process so that a block
// never clears 7 MB: an entry is a position plus its block's stamp, and holds only when it is
// at least the current block's stamp. Zero is older than every stamp.
struct Tables {
    std::unique_ptr<uint32_t[]> head3{new uint32_t[kHash3Size]()};
    std::unique_ptr<uint32_t[]> head4{new uint32_t[kHash4Size]()};
    std::unique_ptr<uint32_t[]> chain{new uint32_t[kMaxDistance]()};
    uint32_t base = 0;  // the stamp of the current block's first position
    uint32_t next = 1;  // the first stamp after every entry written

    void start_block(uint32_t size) {
        if (next > UINT32_MAX - size) {
            std::fill_n(head3.get(), kHash3Size, 0);
            std::fill_n(head4.get(), kHash4Size, 0);
            std::fill_n(chain.get(), kMaxDistance, 0);
            next = 1;
        }
        base = next;
        next += size;
    }
};

Tables& tables() {
    static Tables t;
    return t;
}

struct Match {
    uint32_t length;
    uint32_t distance;
};

Match best_match(const uint8_t* block, uint32_t size, uint32_t at, const Tables& t) {
    Match best{kMinLength - 1, kMaxDistance};
    const uint32_t max = std::min(kMaxLength, size - at);
    if (max < kMinLength) return best;
    const uint32_t window = t.base + (at > kMaxDistance ? at - kMaxDistance : 0);
    const uint32_t first = t.head3[hash3(block + at)];
    if (first >= window && block[first - t.base] == block[at]) {
        const uint32_t n = match_length(block, first - t.base, at, max);
        if (n > best.length) best = {n, at - (first - t.base)};
    }
    if (best.length < max && max >= 4) {
        uint32_t candidate = t.head4[hash4(block + at)];
        for (uint32_t tries = 0; tries < kChainTries && candidate >= window; tries++) {
            const uint32_t c = candidate - t.base;
            if (block[c + best.length] == block[at + best.length] && block[c] == block[at]) {
                const uint32_t n = match_length(block, c, at, max);
                if (n > best.length + distance_cost((at - c) >> 4, best.distance)) {
                    best = {n, at - c};
                    if (n == max) break;
                }
            }
            candidate = t.chain[c & kChainMask];
        }
    }
    if (best.length == kMinLength && best.distance > kFarShortMatch) best.length = kMinLength - 1;
    return best;
}

void enter(const uint8_t* block, uint32_t size, uint32_t at, Tables& t) {
    if (size - at < 3) return;
    t.head3[hash3(block + at)] = t.base + at;
    if (size - at < 4) return;
    uint32_t& head = t.head4[hash4(block + at)];
    t.chain[at & kChainMask] = head;
    head = t.base + at;
}

// Writes the symbols of one block; false once the output is full.
bool pack_block(BitWriter& out, const uint8_t* block, uint32_t size, Tables& t) {
    t.start_block(size);
    uint32_t at = 0;
    while (at < size) {
        const Match m = best_match(block, size, at, t);
        uint32_t consumed = 1;
        if (m.length >= kMinLength) {
            out.write(1, 1);
            write_length(out, m.length);
            write_distance(out, m.distance);
            consumed = m.length;
        } else {
            out.write(1, 0);
            out.write(8, block[at]);
        }
        if (out.overflowed()) return false;
        for (const uint32_t end = at + consumed; at < end; at++) enter(block, size, at, t);
    }
    out.flush();
    return !out.overflowed();
}

}  // namespace

void BitWriter::write(uint32_t n, uint32_t value) {
    bits_ |= uint64_t{value} << count_;
    count_ += n;
    for (; count_ >= 8; count_ -= 8, bits_ >>= 8) {
        if (used_ < capacity_) {
            out_[used_++] = static_cast<uint8_t>(bits_);
        } else {
            overflow_ = true;
        }
    }
}

void BitWriter::flush() {
    if (count_ > 0) write(8 - count_, 0);
}

uint8_t* BitWriter::reserve(size_t n) {
    if (capacity_ - used_ < n) {
        overflow_ = true;
        return nullptr;
    }
    uint8_t* area = out_ + used_;
    used_ += n;
    return area;
}

uint32_t BitReader::read(uint32_t n) {
    while (count_ < n) {
        if (position_ >= length_) {
            failed_ = true;
            return 0;
        }
        bits_ |= uint64_t{in_[position_++]} << count_;
        count_ += 8;
    }
    const auto value = static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    bits_ >>= n;
    count_ -= n;
    return value;
}

void write_length(BitWriter& out, uint32_t length) {
    const uint32_t l = length - kMinLength;
    uint32_t rank = 0;
    while (rank + 1 < kLengthRanks && l >= kLengthCodes[rank + 1].base) rank++;
    out.write(rank, 0);
    if (rank + 1 < kLengthRanks) out.write(1, 1);
    out.write(kLengthCodes[rank].extra, l - kLengthCodes[rank].base);
}

uint32_t read_length(BitReader& in) {
    uint32_t rank = 0;
    while (rank + 1 < kLengthRanks && in.read(1) == 0 && !in.failed()) rank++;
    return kLengthCodes[rank].base + in.read(kLengthCodes[rank].extra) + kMinLength;
}

void write_distance(BitWriter& out, uint32_t distance) {
    const uint32_t d = distance - 1;
    uint32_t m = 2;
    while (d >= (1u << (m + 1))) m++;
    out.write(4, m - 2);
    if (m == 2) {
        out.write(3, d);
    } else {
        out.write(m, d - (1u << m));
    }
}

uint32_t read_distance(BitReader& in) {
    const uint32_t m = in.read(4) + 2;
    if (m == 2) return in.read(3) + 1;
    return (1u << m) + in.read(m) + 1;
}

uint8_t* decompress_data(const uint8_t* input, size_t length, uint32_t* produced) {
    if (produced) *produced = 0;
    if (length < kHeaderSize) return nullptr;
    const uint32_t payload = load32(input);
    const uint32_t unpacked = load32(input + 4);
    if (payload > length - kHeaderSize || unpacked > kMaxUnpacked ||
        unpacked > uint64_t{payload} * kMaxRatio) {
        return nullptr;
    }
    auto* out = static_cast<uint8_t*>(memory::tracked_alloc(size_t{unpacked} + kHeaderSize));
    if (!unpack_blocks(input + kHeaderSize, payload, out, unpacked)) {
        memory::tracked_free(out);
        return nullptr;
    }
    if (produced) *produced = unpacked;
    return out;
}

int64_t compress_data(const uint8_t* source, size_t length, uint8_t* destination) {
    if (length < kMinInput || length > kMaxUnpacked) return -1;
    BitWriter out(destination + kHeaderSize, length - kHeaderSize);
    Tables& t = tables();
    for (size_t start = 0; start < length; start += kBlockSize) {
        const auto size = static_cast<uint32_t>(std::min<size_t>(kBlockSize, length - start));
        uint8_t* field = out.reserve(4);
        if (!field) return -1;
        store32(field, size);
        if (!pack_block(out, source + start, size, t)) return -1;
    }
    store32(destination, static_cast<uint32_t>(out.used()));
    store32(destination + 4, static_cast<uint32_t>(length));
    return static_cast<int64_t>(out.used() + kHeaderSize);
}

}  // namespace nuv::lz77
