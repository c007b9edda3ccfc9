// The LZ77 codec: the symbols the packer chooses, the length and distance codes, the limits of
// blocks and inputs, containers cut short or forged, round trips, and the fuzz corpus replay.
#include "runtime/lz77.h"

#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "runtime/memory.h"
#include "tests/fuzz/lz77_fuzz_body.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using Bytes = std::vector<uint8_t>;
using lz77::BitReader;
using lz77::BitWriter;

// A literal byte (length 0) or a match of `length` bytes at distance `value`.
struct Symbol {
    uint32_t length;
    uint32_t value;
    bool operator==(const Symbol&) const = default;
};
Symbol lit(uint8_t byte) { return {0, byte}; }
Symbol match(uint32_t length, uint32_t distance) { return {length, distance}; }

struct Block {
    uint32_t length;
    std::vector<Symbol> symbols;
    bool operator==(const Block&) const = default;
};

void store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t load32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// A container of the given blocks whose header claims `unpacked` bytes.
Bytes container(uint32_t unpacked, const std::vector<Block>& blocks) {
    size_t room = 8;
    for (const Block& b : blocks) room += 5 + 4 * b.symbols.size();
    Bytes out(room);
    BitWriter w(out.data() + 8, room - 8);
    for (const Block& b : blocks) {
        store32(w.reserve(4), b.length);
        for (const Symbol& s : b.symbols) {
            w.write(1, s.length ? 1 : 0);
            if (s.length) {
                lz77::write_length(w, s.length);
                lz77::write_distance(w, s.value);
            } else {
                w.write(8, s.value);
            }
        }
        w.flush();
    }
    EXPECT_FALSE(w.overflowed());
    store32(out.data(), static_cast<uint32_t>(w.used()));
    store32(out.data() + 4, unpacked);
    out.resize(8 + w.used());
    return out;
}

// The blocks of a well-formed container, as symbols.
std::vector<Block> symbols_of(const Bytes& packed) {
    std::vector<Block> blocks;
    const uint32_t payload = load32(packed.data());
    size_t at = 0;
    while (at < payload) {
        Block b{load32(packed.data() + 8 + at), {}};
        at += 4;
        BitReader r(packed.data() + 8 + at, payload - at);
        for (uint32_t n = 0; n < b.length && !r.failed();) {
            if (r.read(1) == 0) {
                b.symbols.push_back(lit(static_cast<uint8_t>(r.read(8))));
                n++;
            } else {
                const uint32_t length = lz77::read_length(r);
                b.symbols.push_back(match(length, lz77::read_distance(r)));
                n += length;
            }
        }
        EXPECT_FALSE(r.failed());
        at += r.position();
        blocks.push_back(std::move(b));
    }
    return blocks;
}

std::optional<Bytes> unpack(const Bytes& packed) {
    uint32_t produced = 1;
    uint8_t* out = lz77::decompress_data(packed.data(), packed.size(), &produced);
    if (!out) {
        EXPECT_EQ(produced, 0u);
        return std::nullopt;
    }
    Bytes bytes(out, out + produced);
    memory::tracked_free(out);
    return bytes;
}

std::optional<Bytes> pack(const Bytes& data) {
    Bytes out(data.size());
    const int64_t n = lz77::compress_data(data.data(), data.size(), out.data());
    if (n < 0) return std::nullopt;
    EXPECT_LE(static_cast<size_t>(n), data.size());
    out.resize(static_cast<size_t>(n));
    return out;
}

// A block of `length` copies of 'x': one literal, then distance-1 matches.
Block run(uint32_t length) {
    Block b{length, {}};
    if (length == 0) return b;
    b.symbols.push_back(lit('x'));
    for (uint32_t n = 1; n < length;) {
        const uint32_t m = std::min(lz77::kMaxLength, length - n);
        b.symbols.push_back(match(m, 1));
        n += m;
    }
    return b;
}

// How many bits `write` puts in a stream: the index of a one bit written after them.
uint32_t bits_written(const std::function<void(BitWriter&)>& write) {
    uint8_t out[16] = {};
    BitWriter w(out, sizeof out);
    write(w);
    w.write(1, 1);
    w.flush();
    for (uint32_t bit = 8 * static_cast<uint32_t>(w.used()); bit-- > 0;)
        if (out[bit / 8] >> (bit % 8) & 1) return bit;
    return 0;
}

TEST(Lz77, RepeatedBytePacksToOneLiteralAndDistanceOneMatches) {
    const Bytes data(2000, 'a');
    const std::optional<Bytes> packed = pack(data);
    ASSERT_TRUE(packed);
    const std::vector<Block> expected = {
        {2000, {lit('a'), match(566, 1), match(566, 1), match(566, 1), match(301, 1)}}};
    EXPECT_EQ(symbols_of(*packed), expected);
    EXPECT_EQ(load32(packed->data() + 4), 2000u);
    EXPECT_EQ(unpack(*packed), data);
}

TEST(Lz77, BlockLengthsRunFromOneToOneMegabyte) {
    const struct {
        uint32_t length;
        bool valid;
    } cases[] = {{0, false}, {1, true}, {567, true}, {0x100000, true}, {0x100001, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const std::optional<Bytes> out = unpack(container(c.length, {run(c.length)}));
        EXPECT_EQ(out.has_value(), c.valid);
        if (out) {
            EXPECT_EQ(*out, Bytes(c.length, 'x'));
        }
    }
    EXPECT_EQ(unpack(container(0, {})), Bytes{});  // no block at all is the empty input
}

TEST(Lz77, PackerRefusesShortAndIncompressibleInputs) {
    EXPECT_FALSE(pack(Bytes(127, 'a')));
    EXPECT_TRUE(pack(Bytes(128, 'a')));
    std::mt19937 random(7);
    Bytes noise(1000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    EXPECT_FALSE(pack(noise));  // its payload would need more than 992 bytes
}

TEST(Lz77, DistanceCodes) {
    const struct {
        uint32_t distance, k, extra, x;
    } cases[] = {{1, 0, 3, 0},  {8, 0, 3, 7},    {9, 1, 3, 0},
                 {16, 1, 3, 7}, {17, 2, 4, 0},   {0x20000, 14, 16, 0xFFFF},
                 {0x20001, 15, 17, 0}, {262144, 15, 17, 0x1FFFF}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        EXPECT_EQ(bits_written([&](BitWriter& w) { lz77::write_distance(w, c.distance); }),
                  4 + c.extra);
        uint8_t out[8] = {};
        BitWriter w(out, sizeof out);
        lz77::write_distance(w, c.distance);
        lz77::write_distance(w, c.distance);
        w.flush();
        BitReader r(out, w.used());
        EXPECT_EQ(r.read(4), c.k);
        EXPECT_EQ(r.read(c.extra), c.x);
        EXPECT_EQ(lz77::read_distance(r), c.distance);
        EXPECT_FALSE(r.failed());
    }
}

TEST(Lz77, LengthCodes) {
    const struct {
        uint32_t length, bits;
    } cases[] = {{3, 3},   {6, 3},   {7, 4},   {10, 4},  {11, 5},  {14, 5},
                 {15, 7},  {22, 7},  {23, 10}, {54, 10}, {55, 14}, {566, 14}};
    for (const auto& c : cases) {
        EXPECT_EQ(bits_written([&](BitWriter& w) { lz77::write_length(w, c.length); }), c.bits)
            << c.length;
    }
    for (uint32_t length = lz77::kMinLength; length <= lz77::kMaxLength; length++) {
        uint8_t out[8] = {};
        BitWriter w(out, sizeof out);
        lz77::write_length(w, length);
        w.flush();
        BitReader r(out, w.used());
        ASSERT_EQ(lz77::read_length(r), length);
    }
}

TEST(Lz77, FarthestMatchReachesTheFirstByteOfItsBlock) {
    Block b{0x40000 + 10, {}};
    Bytes expected;
    for (uint32_t i = 0; i < 0x40000; i++) {
        const auto byte = static_cast<uint8_t>(i * 7 % 251);
        b.symbols.push_back(lit(byte));
        expected.push_back(byte);
    }
    b.symbols.push_back(match(10, 262144));
    expected.insert(expected.end(), expected.begin(), expected.begin() + 10);
    EXPECT_EQ(unpack(container(b.length, {b})), expected);
}

TEST(Lz77, ForgedContainersFail) {
    const std::vector<Block> blocks = {{5, {lit('a'), match(4, 1)}}, {4, {lit('b'), match(3, 1)}}};
    const Bytes good = container(9, blocks);
    ASSERT_EQ(unpack(good), Bytes({'a', 'a', 'a', 'a', 'a', 'b', 'b', 'b', 'b'}));
    const auto with_header = [&](uint32_t payload, uint32_t unpacked, size_t extra) {
        Bytes c = good;
        c.resize(c.size() + extra);
        store32(c.data(), payload);
        store32(c.data() + 4, unpacked);
        return c;
    };
    const auto payload = static_cast<uint32_t>(good.size() - 8);
    // Bytes past the payload are not the container's.
    EXPECT_EQ(unpack(with_header(payload, 9, 3)), unpack(good));
    const struct {
        const char* what;
        Bytes packed;
    } cases[] = {
        {"no header", {}},
        {"a short header", Bytes(good.begin(), good.begin() + 7)},
        {"payload past the input", with_header(payload + 1, 9, 0)},
        {"unpacked size short", with_header(payload, 8, 0)},
        {"unpacked size long", with_header(payload, 10, 0)},
        {"a cut block length", with_header(payload + 2, 9, 2)},
        {"an empty block after the last", with_header(payload + 4, 9, 4)},
        {"a match before its block", container(9, {blocks[0], {4, {match(3, 1), lit('c')}}})},
        {"a match past its block", container(9, {{5, {lit('a'), match(5, 1)}}, blocks[1]})},
        {"a match before the block's start", container(4, {{4, {lit('a'), match(3, 2)}}})},
        {"the block longer than its symbols", container(10, {blocks[0], {5, blocks[1].symbols}})},
        {"more blocks than the unpacked size", container(5, blocks)},
    };
    for (const auto& c : cases) EXPECT_FALSE(unpack(c.packed)) << c.what;
}

TEST(Lz77, UnpackedSizeAboveWhatThePayloadCanHoldFails) {
    // The longest match at distance 1 is the densest code: 566 bytes for 22 bits.
    Bytes c(8 + 100);
    store32(c.data(), 100);
    store32(c.data() + 4, 100 * 206 + 1);
    EXPECT_FALSE(unpack(c));
    c.resize(8 + 0x40000000 / 206 + 1);
    store32(c.data(), static_cast<uint32_t>(c.size() - 8));
    store32(c.data() + 4, 0x40000001);
    EXPECT_FALSE(unpack(c));
}

TEST(Lz77, TruncatedContainersFail) {
    Bytes text;
    for (int i = 0; text.size() < 3000; i++) {
        const std::string line = "line " + std::to_string(i * i % 97) + " of the text\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    const std::optional<Bytes> packed = pack(text);
    ASSERT_TRUE(packed);
    ASSERT_EQ(unpack(*packed), text);
    for (size_t cut = 0; cut < packed->size(); cut++) {
        Bytes as_cut(packed->begin(), packed->begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(unpack(as_cut)) << cut;
        if (cut < 8) continue;
        store32(as_cut.data(), static_cast<uint32_t>(cut - 8));  // the header agrees with the cut
        EXPECT_FALSE(unpack(as_cut)) << cut;
    }
}

// Inputs that pack, from random bytes over small alphabets to runs and repeated phrases.
TEST(Lz77, RandomRoundTrips) {
    std::mt19937 random(12);
    int packed_count = 0;
    for (int round = 0; round < 200; round++) {
        const size_t size = 128 + random() % 20000;
        const uint32_t alphabet = 1u << (1 + random() % 6);
        Bytes data(size);
        for (size_t i = 0; i < size; i++) {
            if (i > 0 && random() % 8 == 0) {  // a phrase from earlier, overlapping or not
                const size_t distance = 1 + random() % std::min<size_t>(i, 1000);
                const size_t end = std::min<size_t>(size, i + random() % 600);
                for (; i < end; i++) data[i] = data[i - distance];
                if (i == size) break;
            }
            data[i] = static_cast<uint8_t>(random() % alphabet);
        }
        const std::optional<Bytes> packed = pack(data);
        if (!packed) continue;
        packed_count++;
        ASSERT_EQ(unpack(*packed), data) << "round " << round;
    }
    EXPECT_GT(packed_count, 150);
}

// Blocks are cut at one megabyte and never match into the block before.
TEST(Lz77, ScaleBlocksStandAlone) {
    std::mt19937 random(3);
    Bytes data(lz77::kBlockSize);
    for (uint8_t& b : data) b = static_cast<uint8_t>('a' + random() % 4);
    data.insert(data.end(), data.begin(), data.end());
    data.insert(data.end(), data.begin(), data.begin() + 1000);
    const std::optional<Bytes> packed = pack(data);
    ASSERT_TRUE(packed);
    const std::vector<Block> blocks = symbols_of(*packed);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].length, lz77::kBlockSize);
    EXPECT_EQ(blocks[1].length, lz77::kBlockSize);
    EXPECT_EQ(blocks[2].length, 1000u);
    EXPECT_EQ(blocks[1].symbols, blocks[0].symbols);  // the copy packs alone, as the first did
    EXPECT_EQ(unpack(*packed), data);
}

TEST(Lz77, FuzzCorpusReplays) {
    const auto inputs = test::fuzz_corpus("lz77");
    for (const std::vector<uint8_t>& bytes : inputs) fuzz::lz77_input(bytes.data(), bytes.size());
    EXPECT_GT(inputs.size(), 20u);
}

}  // namespace
}  // namespace nuv
