// Hashing: the published MurmurHash3 vectors, the text and name folds, and the hash of values by
// type (equal values hash equally; series hash by identity).
#include "runtime/hash.h"

#include <cstring>
#include <string>

#include "runtime/case_fold.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/memory.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

struct SeedScope {
    uint32_t saved = hash::seed();
    explicit SeedScope(uint32_t s) { hash::set_seed(s); }
    ~SeedScope() { hash::set_seed(saved); }
};

Cell text(const char* s, uint32_t unit) {
    Cell c{};
    string::make_at_unit(&c, std::strlen(s) + 1, unit);
    for (const char* p = s; *p; p++) string::append_char(cell::node(&c), static_cast<uint8_t>(*p));
    return c;
}

using test::loose_word;

Cell float_cell(TypeId t, double d) {
    Cell c{static_cast<uint32_t>(t), 0, 0, 0};
    cell::set_double(&c, d);
    return c;
}

TEST(Hash, Murmur3PublishedVectors) {
    struct Row {
        const char* data;
        uint32_t seed;
        uint32_t want;
    };
    const Row rows[] = {
        {"", 1, 0x514E28B7},
        {"", 0xFFFFFFFF, 0x81F16F39},
        {"test", 0x9747B28C, 0x704B81DC},
        {"Hello, world!", 0x9747B28C, 0x24884CBA},
        {"The quick brown fox jumps over the lazy dog", 0x9747B28C, 0x2FA826CD},
    };
    for (const Row& r : rows) {
        SeedScope scope(r.seed);
        uint32_t got = hash::murmur3(r.data, std::strlen(r.data));
        EXPECT_EQ(got, r.want) << "\"" << r.data << "\" seed " << std::hex << r.seed;
    }
}

TEST(Hash, SeedIsNeverZero) {
    SeedScope scope(0);
    EXPECT_EQ(hash::seed(), hash::kDefaultSeed);
    EXPECT_NE(hash::kDefaultSeed, 0u);
}

TEST(Hash, MixAndNextPowerOf2) {
    EXPECT_EQ(hash::mix(0), 0u);
    EXPECT_EQ(hash::mix(1), 0x514E28B7u);  // the finaliser of the empty hash with seed 1
    struct Row {
        uint32_t n, want;
    };
    const Row rows[] = {{0, 1},          {1, 1},          {2, 2},          {3, 4},
                        {5, 8},          {8, 8},          {9, 16},         {10389, 16384},
                        {0x40000001, 0x80000000}, {0x80000000, 0x80000000}, {0xFFFFFFFF, 0x80000000}};
    for (const Row& r : rows)
        EXPECT_EQ(hash::next_power_of_2(r.n), r.want) << "n = " << r.n;
}

TEST(Hash, NameFoldsAsciiLettersOnly) {
    auto h = [](const char* s) { return hash::name(reinterpret_cast<const uint8_t*>(s), std::strlen(s)); };
    EXPECT_EQ(h("Foo-Bar?"), h("foo-bar?"));
    EXPECT_EQ(h("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), h("abcdefghijklmnopqrstuvwxyz"));
    {
        SeedScope scope(0x9747B28C);
        EXPECT_EQ(h("TEST"), 0x704B81DCu);  // folded, it is the published "test"
    }
    EXPECT_NE(h("\xC3\x89"), h("\xC3\xA9"));  // E acute and e acute: not ASCII, not folded
    EXPECT_NE(h("@"), h("`"));                // 0x40 and 0x60 differ only in bit 0x20
    EXPECT_NE(h("["), h("{"));
}

TEST(Hash, TextFoldsCaseAndIgnoresUnitSize) {
    test::StackScope keep;
    struct Row {
        const char* a;
        uint32_t unit_a;
        const char* b;
        uint32_t unit_b;
        bool case_sensitive;
        bool want_equal;
    };
    const Row rows[] = {
        {"abc", 1, "ABC", 1, false, true},   {"abc", 1, "ABC", 1, true, false},
        {"abc", 1, "abc", 2, true, true},    {"abc", 1, "abc", 4, true, true},
        {"abc", 2, "ABC", 4, false, true},   {"abc", 1, "abd", 1, false, false},
        {"", 1, "", 2, false, true},         {"ab", 1, "abc", 1, false, false},
    };
    for (const Row& r : rows) {
        Cell a = text(r.a, r.unit_a);
        Cell* pa = stack::push(&a);
        Cell b = text(r.b, r.unit_b);
        Cell* pb = stack::push(&b);
        const bool got = hash::value(pa, r.case_sensitive) == hash::value(pb, r.case_sensitive);
        EXPECT_EQ(got, r.want_equal) << "\"" << r.a << "\"/" << r.unit_a << " vs \"" << r.b
                                     << "\"/" << r.unit_b << " case " << r.case_sensitive;
    }
}

TEST(Hash, TextCountAndHead) {
    test::StackScope keep;
    Cell whole = text("abcdef", 1);
    Cell* w = stack::push(&whole);
    Cell prefix = text("abc", 1);
    Cell* p = stack::push(&prefix);
    EXPECT_EQ(hash::string(w, false, 3), hash::string(p, false));
    EXPECT_EQ(hash::string(w, false, 99), hash::value(w, false));
    Cell tail = text("def", 2);
    Cell* t = stack::push(&tail);
    w->w1 = 3;  // head on "def"
    EXPECT_EQ(hash::value(w, true), hash::value(t, true));
}

TEST(Hash, WordsHashTheirCanonicalSymbol) {
    Cell lower = loose_word("hash-word-case");
    Cell upper = loose_word("HASH-WORD-CASE");
    Cell set = loose_word("Hash-Word-Case", TypeId::SetWord);
    Cell other = loose_word("hash-word-other");
    ASSERT_NE(lower.w2, upper.w2);
    EXPECT_EQ(hash::value(&lower, true), hash::value(&upper, true));
    EXPECT_EQ(hash::value(&lower, false), hash::value(&set, false));
    EXPECT_NE(hash::value(&lower, false), hash::value(&other, false));
    EXPECT_EQ(hash::value(&lower, false), hash::mix(symbol::resolve(upper.w2)));
}

TEST(Hash, ValuesByType) {
    test::StackScope keep;
    auto make = [](TypeId t, uint32_t w1, uint32_t w2, uint32_t w3) {
        return Cell{static_cast<uint32_t>(t), w1, w2, w3};
    };
    Cell unset = make(TypeId::Unset, 0, 0, 0);
    Cell none = make(TypeId::None, 0, 0, 0);
    EXPECT_EQ(hash::value(&unset, false), static_cast<uint32_t>(-2));
    EXPECT_EQ(hash::value(&none, false), static_cast<uint32_t>(-1));
    Cell i = make(TypeId::Integer, 99, 7, 99);
    EXPECT_EQ(hash::value(&i, false), hash::mix(7));
    Cell logic = make(TypeId::Logic, 1, 5, 5);
    EXPECT_EQ(hash::value(&logic, false), hash::mix(1));
    Cell native = make(TypeId::Native, 1, 2, 3);
    EXPECT_EQ(hash::value(&native, false), hash::mix(3));
    Cell fn = make(TypeId::Function, 1, 2, 3);
    EXPECT_EQ(hash::value(&fn, false), hash::murmur3(&fn.w1, 12));
    Cell bitset = make(TypeId::Bitset, 1, 2, 3);  // no rule: 0
    EXPECT_EQ(hash::value(&bitset, false), 0u);
    Cell tuple = make(TypeId::Tuple, 0x04030201, 0xAAAAAAAA, 0);
    tuple.header |= 3u << 19;
    uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(hash::value(&tuple, false), hash::murmur3(bytes, 3));
    // 1.2.3.0 equals 1.2.3: trailing zero bytes are left out of the hash
    Cell longer = make(TypeId::Tuple, 0x00030201, 0, 0);
    longer.header |= 4u << 19;
    EXPECT_EQ(hash::value(&longer, false), hash::value(&tuple, false));
}

TEST(Hash, NegativeZeroHashesAsZero) {
    for (TypeId t : {TypeId::Float, TypeId::Percent, TypeId::Time}) {
        Cell pos = float_cell(t, 0.0);
        Cell neg = float_cell(t, -0.0);
        EXPECT_EQ(hash::value(&pos, false), hash::value(&neg, false)) << type_name(t);
    }
    Cell a = float_cell(TypeId::Float, 1.5);
    Cell b = float_cell(TypeId::Float, -1.5);
    EXPECT_NE(hash::value(&a, false), hash::value(&b, false));
}

TEST(Hash, BlocksHashByIdentity) {
    test::StackScope keep;
    Cell one{static_cast<uint32_t>(TypeId::Integer), 0, 1, 0};
    Cell* a = block::push_new(2);
    block::append_cell(a, &one);
    Cell* b = block::push_new(2);
    block::append_cell(b, &one);
    EXPECT_NE(hash::value(a, false), hash::value(b, false));
    Cell copy = *a;
    EXPECT_EQ(hash::value(&copy, false), hash::value(a, false));
    copy.w1 = 1;  // same series, another index
    EXPECT_NE(hash::value(&copy, false), hash::value(a, false));
}

TEST(Hash, BinaryFromItsHead) {
    Cell bin{static_cast<uint32_t>(TypeId::Binary), 2, memory::alloc_bytes(8), 0};
    memory::SeriesBuf* b = memory::buf(bin.w2);
    std::memcpy(b->offset_ptr(), "xxtest", 6);
    b->tail = b->offset + 6;
    SeedScope scope(0x9747B28C);
    EXPECT_EQ(hash::value(&bin, false), 0x704B81DCu);
}

// Values that compare equal hash equally: zero whatever its sign, the currency left out.
TEST(Hash, MoneyHashesItsAmount) {
    Cell zero{}, negative_zero{}, one{}, one_usd{}, two{};
    money::set(&zero, 0, 0);
    money::set(&negative_zero, 0, 0);
    negative_zero.header |= money::kSignBit;
    money::set(&one, 100000, 0);
    money::set(&one_usd, 100000, 3);
    money::set(&two, 200000, 0);
    EXPECT_EQ(hash::value(&zero, false), hash::value(&negative_zero, false));
    EXPECT_EQ(hash::value(&one, false), hash::value(&one_usd, false));
    EXPECT_NE(hash::value(&one, false), hash::value(&two, false));
    EXPECT_NE(hash::value(&zero, false), hash::value(&one, false));
}

TEST(Hash, NeedsRehashTypes) {
    struct Row {
        TypeId t;
        bool want;
    };
    const Row rows[] = {{TypeId::Block, true},   {TypeId::Object, true}, {TypeId::Event, true},
                        {TypeId::Map, true},     {TypeId::Integer, false}, {TypeId::String, false},
                        {TypeId::Word, false},   {TypeId::Float, false}};
    for (const Row& r : rows) {
        Cell c{static_cast<uint32_t>(r.t), 0, 0, 0};
        EXPECT_EQ(hash::needs_rehash_type(&c), r.want) << type_name(r.t);
    }
}

}  // namespace
}  // namespace nuv
