#include "runtime/platform/deflate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/fuzz/deflate_fuzz_body.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using Codec = int (*)(uint8_t*, uint64_t*, const uint8_t*, uint64_t);
using Bytes = std::vector<uint8_t>;

Bytes text(size_t n) {
    static const char* words[] = {"series ", "block ", "word ", "context ", "value\n"};
    std::string s;
    for (size_t i = 0; s.size() < n; i = (i * 7 + 3) % 5) s += words[i];
    s.resize(n);
    return Bytes(s.begin(), s.end());
}

// Runs a codec into an output of `capacity` bytes with guard bytes after it, which must stay
// untouched whatever the result.
struct Outcome {
    int code;
    uint64_t length;
    Bytes out;
};
Outcome call(Codec codec, const Bytes& in, uint64_t capacity) {
    constexpr uint8_t kGuard = 0xA5;
    Bytes out(capacity + 64, kGuard);
    uint64_t length = capacity;
    const int code = codec(out.data(), &length, in.data(), in.size());
    for (uint64_t i = capacity; i < out.size(); i++) EXPECT_EQ(out[i], kGuard) << "write past the output at " << i;
    out.resize(capacity);
    return {code, length, out};
}

Bytes pack(Codec codec, const Bytes& in) {
    Outcome r = call(codec, in, deflate::compress_bound(in.size()) + deflate::kGzipOverhead);
    EXPECT_EQ(r.code, deflate::kOk);
    r.out.resize(r.length);
    return r.out;
}

struct Framing {
    Codec compress, decompress;
};
constexpr Framing kFramings[] = {{deflate::deflate_compress, deflate::inflate_decompress},
                                 {deflate::zlib_compress, deflate::zlib_decompress},
                                 {deflate::gzip_compress, deflate::gzip_decompress}};

TEST(Deflate, RoundTripsInEveryFraming) {
    std::mt19937 rng(1950);
    for (const size_t n : {0u, 1u, 2u, 3u, 4u, 257u, 258u, 259u, 32767u, 32768u, 32769u, 300000u}) {
        Bytes random(n);
        for (auto& b : random) b = static_cast<uint8_t>(rng());
        for (const Bytes& in : {random, text(n)}) {
            for (const Framing& f : kFramings) {
                const Bytes packed = pack(f.compress, in);
                const Outcome back = call(f.decompress, packed, in.size());
                EXPECT_EQ(back.code, deflate::kOk) << n;
                EXPECT_EQ(back.out, in) << n;
            }
        }
    }
}

// Result 1: the length tells the size needed, in every routine that can run out of room, and
// nothing is written past the capacity.
TEST(Deflate, TooLittleRoomTellsTheSizeNeeded) {
    const Bytes in = text(5000);
    for (const Framing& f : kFramings) {
        const Bytes packed = pack(f.compress, in);
        for (const uint64_t capacity : {uint64_t{20}, packed.size() / 2, packed.size() - 1}) {
            const Outcome r = call(f.compress, in, capacity);
            EXPECT_EQ(r.code, deflate::kNoRoom) << capacity;
            EXPECT_EQ(r.length, packed.size()) << capacity;
        }
        for (const uint64_t capacity : {uint64_t{0}, uint64_t{1}, uint64_t{4999}}) {
            const Outcome r = call(f.decompress, packed, capacity);
            EXPECT_EQ(r.code, deflate::kNoRoom) << capacity;
            EXPECT_EQ(r.length, in.size()) << capacity;
        }
    }
}

TEST(Deflate, ResultCodes) {
    struct Case {
        Codec codec;
        const char* hex;
        uint64_t capacity;
        int code;
        uint64_t length;  // checked when not ~0
    } cases[] = {
        {deflate::inflate_decompress, "010300FCFF616263", 3, deflate::kOk, 3},
        {deflate::inflate_decompress, "010300FCFF616263", 2, deflate::kNoRoom, 3},
        // Cut streams, NLEN not the complement of LEN, a repeat with nothing before it,
        // a length symbol past 285, a distance symbol past 29
        {deflate::inflate_decompress, "", 10, deflate::kCorrupt, ~0ull},
        {deflate::inflate_decompress, "4B4C4C84", 10, deflate::kCorrupt, ~0ull},
        {deflate::inflate_decompress, "0103", 10, deflate::kCorrupt, ~0ull},
        {deflate::inflate_decompress, "010300FDFF616263", 10, deflate::kCorrupt, ~0ull},
        {deflate::inflate_decompress, "05E0FF0F", 10, deflate::kCorrupt, ~0ull},
        {deflate::inflate_decompress, "4B4C4C840200", 10, deflate::kOk, 10},
        {deflate::zlib_decompress, "78024B4C4C84020014E103CB", 10, deflate::kCorrupt, ~0ull},
        {deflate::zlib_decompress, "78014B4C4C84020014E103CC", 10, deflate::kCorrupt, ~0ull},
        {deflate::zlib_decompress, "7801030000", 10, deflate::kCorrupt, ~0ull},
        {deflate::gzip_decompress, "1F8B08200000000004044B4C4C840200F0CD114C0A000000", 10, deflate::kCorrupt, ~0ull},
        {deflate::gzip_decompress, "1F8B08000000000004044B4C4C840200F0CD114C0B000000", 20, deflate::kCorrupt, ~0ull},
        // A name field running into the trailer
        {deflate::gzip_decompress, "1F8B080800000000040461626364656667686970717273", 20, deflate::kCorrupt, ~0ull},
        {deflate::inflate_decompress, "010400FBFF616263", 10, deflate::kStoredPastInput, ~0ull},
        {deflate::inflate_decompress, "07", 10, deflate::kBlockType3, ~0ull},
        // A match of distance 1 as the first symbol; then one after a literal of distance 2
        {deflate::inflate_decompress, "030200", 10, deflate::kDistanceTooFar, 0},
        {deflate::inflate_decompress, "4B4040020000", 10, deflate::kDistanceTooFar, 1},
        // The wrappers' fixed overhead not fitting
        {deflate::zlib_compress, "616263", 5, deflate::kCorrupt, 9},
        {deflate::gzip_compress, "616263", 17, deflate::kCorrupt, 21},
    };
    for (const Case& c : cases) {
        const Outcome r = call(c.codec, test::unhex(c.hex), c.capacity);
        EXPECT_EQ(r.code, c.code) << c.hex;
        if (c.length != ~0ull) {
            EXPECT_EQ(r.length, c.length) << c.hex;
        }
    }
}

// A dynamic block whose repeat codes run past HLIT + HDIST, and one whose code-length code
// matches no pattern, are corrupt; so are lengths that over-subscribe a code.
TEST(Deflate, BadDynamicHeadersAreCorrupt) {
    // HLIT 257, HDIST 1, HCLEN 4 (lengths of 16, 17, 18, 0): only 18 has a code, of length 1,
    // so every symbol is "18": 11 + 127 zeros run past the 258 lengths.
    {
        const Bytes in = test::unhex("0500C0FFFF");
        EXPECT_EQ(call(deflate::inflate_decompress, in, 10).code, deflate::kCorrupt);
    }
    // Three code-length codes of length 1 over-subscribe the code.
    {
        const Bytes in = test::unhex("0500C9FF");
        EXPECT_EQ(call(deflate::inflate_decompress, in, 10).code, deflate::kCorrupt);
    }
}

TEST(Deflate, GzipPassesThroughOnlyWholeValidStreams) {
    const Bytes in = text(1000);
    const Bytes packed = pack(deflate::gzip_compress, in);
    const Outcome same = call(deflate::gzip_compress, packed, packed.size());
    EXPECT_EQ(same.code, deflate::kOk);
    EXPECT_EQ(same.out, packed);
    const Outcome small = call(deflate::gzip_compress, packed, packed.size() - 1);
    EXPECT_EQ(small.code, deflate::kNoRoom);
    EXPECT_EQ(small.length, packed.size());
    Bytes broken = packed;
    broken[broken.size() - 8] ^= 1;
    const Bytes repacked = pack(deflate::gzip_compress, broken);
    EXPECT_NE(repacked, broken);
    EXPECT_EQ(call(deflate::gzip_decompress, repacked, broken.size()).out, broken);
}

TEST(Deflate, GzipMembersConcatenate) {
    const Bytes a = text(700), b = text(300);
    Bytes both = pack(deflate::gzip_compress, a);
    const Bytes second = pack(deflate::gzip_compress, b);
    both.insert(both.end(), second.begin(), second.end());
    Bytes whole = a;
    whole.insert(whole.end(), b.begin(), b.end());
    const Outcome r = call(deflate::gzip_decompress, both, whole.size());
    EXPECT_EQ(r.code, deflate::kOk);
    EXPECT_EQ(r.out, whole);
    // Sized from the last member's field alone, the output asks for the whole.
    const Outcome small = call(deflate::gzip_decompress, both, b.size());
    EXPECT_EQ(small.code, deflate::kNoRoom);
    EXPECT_EQ(small.length, whole.size());
}

// The encoder's choices are fixed: ten equal bytes are three literals and one match of 7.
TEST(Deflate, EncoderBytes) {
    const Bytes ten(10, 'a');
    EXPECT_EQ(pack(deflate::deflate_compress, ten), test::unhex("4B4C4C840200"));
    EXPECT_EQ(pack(deflate::deflate_compress, {}), test::unhex("0300"));
    const std::string abc = "abcabcabc";
    EXPECT_EQ(pack(deflate::deflate_compress, Bytes(abc.begin(), abc.end())), test::unhex("4B4C4A4E042300"));
}

TEST(Deflate, FuzzCorpusReplays) {
    const auto inputs = test::fuzz_corpus("deflate");
    for (const std::vector<uint8_t>& bytes : inputs) fuzz::deflate_input(bytes.data(), bytes.size());
    EXPECT_GT(inputs.size(), 20u);
}

}  // namespace
}  // namespace nuv
