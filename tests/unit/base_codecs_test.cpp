// The base-2, -16, -58 and -64 codecs: encoders and decoders over texts of every unit width, the
// decoders' room, the rules that make a text invalid, and the fuzz corpus replay.
#include "runtime/datatypes/base_codecs.h"

#include <string>
#include <vector>

#include "tests/fuzz/base_fuzz_body.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using base_codecs::Tail;

std::string encoded(int32_t base, const std::string& bytes) {
    std::string out(static_cast<size_t>(base_codecs::encoded_size(base, bytes.size())), '\0');
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    auto* to = reinterpret_cast<uint8_t*>(out.data());
    out.resize(fuzz::encode(base, to, in, bytes.size()));
    return out;
}

// The text's code points stored in units of `unit` bytes, decoded; "none" when invalid.
std::string decoded(int32_t base, const std::u32string& text, uint32_t unit,
                    Tail tail = Tail::Decoded) {
    std::vector<uint8_t> units(text.size() * unit);
    for (size_t i = 0; i < text.size(); i++) string::put_char(units.data() + i * unit, unit, text[i]);
    std::string out(base_codecs::decoded_room(base, text.size()), '\0');
    const int64_t n = base_codecs::decode_in(base, units.data(), text.size(), unit,
                                             reinterpret_cast<uint8_t*>(out.data()), tail);
    if (n == base_codecs::kInvalid) return "none";
    out.resize(static_cast<size_t>(n));
    return out;
}

TEST(BaseCodecs, Encoders) {
    struct Row {
        int32_t base;
        std::string bytes;
        const char* text;
    } rows[] = {
        {64, "abc", "YWJj"},
        {64, "ab", "YWI="},
        {64, "a", "YQ=="},
        {64, "", ""},
        {64, std::string("\xFF\xFE\x00", 3), "//4A"},
        {16, std::string("\x00\xAB\xff", 3), "00ABFF"},
        {2, "A", "01000001"},
        {2, "\x80\x01", "1000000000000001"},
        {58, std::string("\x00\x00\x01", 3), "112"},
        {58, std::string(1, '\0'), "1"},
        {58, "", ""},
        {58, "a", "2g"},
        {58, "\xFF", "5Q"},
        {58, "Hello World!", "2NEpo7TZRRrLZSi2U"},
    };
    for (const Row& r : rows) EXPECT_EQ(encoded(r.base, r.bytes), r.text) << r.base;
}

// The same text in 1-, 2- and 4-byte units decodes the same; a character above 127 is
// invalid in every base, even where its low 7 bits spell a digit.
TEST(BaseCodecs, DecodersOverEveryUnit) {
    struct Row {
        int32_t base;
        std::u32string text;
        std::string want;
    } rows[] = {
        {64, U"YWJj", "abc"},
        {64, U"YQ==!!", "a"},
        {64, U"YWJjZA", "abcd"},
        {64, U"YWJjZGU", "abcde"},
        {64, U"YWJjZ", "none"},
        {64, U"Y W\nJ'j", "abc"},
        {64, U"YW ; x\nJj", "abc"},
        {64, U"YW\x1Jj", "none"},
        {64, U"=YWJ", "none"},
        {64, U"Y===", "none"},
        {64, U"YW\u00C1j", "none"},
        {64, U"YW\U0001F600j", "none"},
        {16, U"0a 0B ;c\nff", std::string("\x0A\x0B\xFF", 3)},
        {16, U"\x1 0\x7F", "none"},
        {16, U"\x1 0\x1F" U"F", std::string("\x0F", 1)},
        {16, U"ABC", "none"},
        {16, U"A'B", "none"},
        {16, U"\u00C10", "none"},  // low 7 bits "A"
        {16, U"\u01300", "none"},  // low 7 bits "0"
        {16, U"", ""},
        {2, U"0100 0001", "A"},
        {2, U"0100000", "none"},
        {2, U"0100000'1", "none"},
        {2, U"01000001;x\n00000010", "A\x02"},
        {58, U"112", std::string("\x00\x00\x01", 3)},
        {58, U"1 1'2", std::string("\x00\x00\x01", 3)},
        {58, U"2NEpo7TZRRrLZSi2U", "Hello World!"},
        {58, U"0", "none"},
        {58, U"2\u00B2", "none"},  // low 7 bits "2"
        {58, U"2;x", std::string("\x01", 1)},
    };
    for (const Row& r : rows) {
        for (uint32_t unit : {1u, 2u, 4u}) {
            bool fits = true;
            for (char32_t c : r.text) fits = fits && unicode::unit_for(c) <= unit;
            if (!fits) continue;
            EXPECT_EQ(decoded(r.base, r.text, unit), r.want) << r.base << " unit " << unit;
        }
    }
}

// The binary literal refuses what debase accepts: a last base-64 group without padding.
TEST(BaseCodecs, UnpaddedTails) {
    EXPECT_EQ(decoded(64, U"YWJjZA", 1, Tail::Refused), "none");
    EXPECT_EQ(decoded(64, U"YWJjZGU", 1, Tail::Refused), "none");
    EXPECT_EQ(decoded(64, U"YWJjZA==", 1, Tail::Refused), "abcd");
    EXPECT_EQ(decoded(64, U"YWJjZA=", 1, Tail::Refused), "abcd");
    EXPECT_EQ(decoded(64, U"YWJj", 1, Tail::Refused), "abc");
}

// Every byte value and length up to 100 comes back from each base; the decoded length never
// passes the room the decoder asked for.
TEST(BaseCodecs, RoundTrips) {
    std::string bytes;
    for (int n = 0; n <= 100; n++) {
        bytes.push_back(static_cast<char>(n * 37 + (n > 50 ? 0 : 200)));
        for (int32_t base : fuzz::kBases) {
            const std::string text = encoded(base, bytes);
            std::u32string wide(text.begin(), text.end());
            EXPECT_EQ(decoded(base, wide, 1, Tail::Refused), bytes) << base << " length " << n;
            EXPECT_LE(bytes.size(), base_codecs::decoded_room(base, text.size()));
        }
    }
    const std::string zeros(5, '\0');
    EXPECT_EQ(encoded(58, zeros), "11111");
    EXPECT_EQ(decoded(58, U"11111", 1), zeros);
}

TEST(BaseCodecs, DecodeIntoABuffer) {
    test::StackScope scope;
    Cell* text = string::load_new(reinterpret_cast<const uint8_t*>("xYWJj"), 5, string::kUtf8);
    cell::set_head(text, 1);
    const NodeId node = base_codecs::decode(64, text, Tail::Decoded);
    ASSERT_NE(node, 0u);
    memory::SeriesBuf* b = memory::buf(node);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b->offset_ptr()), b->used()), "abc");
    EXPECT_EQ(base_codecs::decode(16, text, Tail::Decoded), 0u);
    EXPECT_EQ(base_codecs::decode(10, text, Tail::Decoded), 0u);
}

TEST(BaseCodecs, FuzzCorpusReplays) {
    const auto inputs = test::fuzz_corpus("base");
    for (const std::vector<uint8_t>& bytes : inputs) {
        test::StackScope scope;
        fuzz::decode_input(bytes.data(), bytes.size());
    }
    EXPECT_GT(inputs.size(), 20u);
}

}  // namespace
}  // namespace nuv
