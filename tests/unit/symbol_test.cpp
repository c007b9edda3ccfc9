// The symbol table: interning, case-variant aliases (also after the table grows), the boot
// variant, names and cached strings, the compare slot, and lookups that allocate nothing.
#include "runtime/datatypes/symbol.h"

#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/hash.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

class Symbol : public ::testing::Test {
protected:
    test::StackScope keep;
};
using SymbolScale = Symbol;

SymId intern(const char* s) { return symbol::make_cstr(s); }

TEST_F(Symbol, CaseVariantsAliasTheFirstSpelling) {
    const SymId lower = intern("sym-foo");
    const SymId upper = intern("SYM-FOO");
    const SymId mixed = intern("Sym-Foo");
    struct Row {
        const char* spelling;
        SymId id;
        int32_t alias;
    };
    const Row rows[] = {{"sym-foo", lower, symbol::kNoAlias},
                        {"SYM-FOO", upper, static_cast<int32_t>(lower)},
                        {"Sym-Foo", mixed, static_cast<int32_t>(lower)}};
    EXPECT_NE(lower, upper);
    EXPECT_NE(upper, mixed);
    for (const Row& r : rows) {
        EXPECT_EQ(intern(r.spelling), r.id) << r.spelling << ": an exact match wins";
        EXPECT_EQ(symbol::get_alias(r.id), r.alias) << r.spelling;
        EXPECT_EQ(symbol::resolve(r.id), lower) << r.spelling;
        EXPECT_STREQ(symbol::utf8_name(r.id), r.spelling);
        EXPECT_EQ(symbol::name_length(r.id), std::strlen(r.spelling));
    }
}

TEST_F(Symbol, NewSpellingsGetConsecutiveIds) {
    const uint32_t before = symbol::count();
    const SymId a = intern("sym-consecutive-a");
    const SymId b = intern("sym-consecutive-b");
    EXPECT_EQ(a, before + 1);
    EXPECT_EQ(b, before + 2);
    EXPECT_EQ(symbol::count(), before + 2);
    EXPECT_TRUE(cell::is(symbol::entry(a), TypeId::Symbol));
}

TEST_F(Symbol, OnlyAsciiLettersFold) {
    struct Row {
        const char* first;
        const char* second;
        bool alias;
    };
    const Row rows[] = {
        {"sym-\xC3\xA9t\xC3\xA9", "sym-\xC3\x89T\xC3\x89", false},  // accented capitals
        {"sym-[x]", "sym-{x}", false},                              // 0x5B and 0x7B
        {"sym-@at", "sym-`at", false},
        {"sym-x\xC3\xA9", "SYM-X\xC3\xA9", true},
    };
    for (const Row& r : rows) {
        const SymId a = intern(r.first);
        const SymId b = intern(r.second);
        EXPECT_NE(a, b) << r.first << " / " << r.second;
        EXPECT_EQ(symbol::resolve(b) == a, r.alias) << r.first << " / " << r.second;
    }
}

TEST_F(Symbol, BootVariantRecordsNoSpelling) {
    const SymId first = intern("sym-boot-name");
    const uint32_t before = symbol::count();
    EXPECT_EQ(symbol::make_cstr_boot("SYM-BOOT-NAME"), first);
    EXPECT_EQ(symbol::make_cstr_boot("sym-boot-name"), first);
    EXPECT_EQ(symbol::count(), before);
    const SymId fresh = symbol::make_cstr_boot("sym-boot-fresh");
    EXPECT_EQ(fresh, before + 1);
    EXPECT_EQ(symbol::get_alias(fresh), symbol::kNoAlias);
}

TEST_F(Symbol, Utf8AndStringInterning) {
    const char* text = "sym-d\xC3\xAD" "a-\xE2\x82\xAC";  // two-byte and three-byte characters
    const SymId id = symbol::make_utf8(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
    EXPECT_EQ(intern(text), id);
    Cell s{};
    string::make_at_unit(&s, 16, 1);
    const char32_t cps[] = {U's', U'y', U'm', U'-', U'd', 0xED, U'a', U'-', 0x20AC};
    for (char32_t cp : cps) string::append_char(cell::node(&s), cp);
    Cell* on_stack = stack::push(&s);
    EXPECT_EQ(string::unit_of(on_stack), 2u);
    EXPECT_EQ(symbol::make_string(on_stack), id);
    on_stack->w1 = 4;  // from the head: "día-€"
    const SymId tail = symbol::make_string(on_stack);
    EXPECT_STREQ(symbol::utf8_name(tail), "d\xC3\xAD" "a-\xE2\x82\xAC");
}

TEST_F(Symbol, SpellingInsideASeriesBuffer) {
    // The text lives in a collected buffer that the new entry's allocations move.
    NodeId bytes = memory::alloc_bytes(64);
    memory::SeriesBuf* b = memory::buf(bytes);
    const char* text = "sym-from-a-series-buffer";
    std::memcpy(b->offset_ptr(), text, std::strlen(text));
    b->tail = b->offset + std::strlen(text);
    const SymId id = symbol::make_utf8(memory::buf(bytes)->offset_ptr(), std::strlen(text));
    EXPECT_STREQ(symbol::utf8_name(id), text);
    EXPECT_EQ(intern(text), id);
}

TEST_F(Symbol, KnownSpellingsAllocateNothing) {
    std::vector<std::string> names;
    for (int i = 0; i < 50; i++) names.push_back("sym-known-" + std::to_string(i));
    std::string longer(300, 'q');
    names.push_back(longer);
    for (const std::string& n : names) intern(n.c_str());
    const uint64_t before = memory::counters().allocations;
    for (const std::string& n : names) intern(n.c_str());
    EXPECT_EQ(memory::counters().allocations, before);
}

TEST_F(Symbol, ProbesPerLookupStaySmall) {
    std::vector<std::string> names;
    for (int i = 0; i < 2000; i++) names.push_back("sym-probe-" + std::to_string(i));
    for (const std::string& n : names) intern(n.c_str());
    const uint64_t before = hashtable::counters().probes;
    for (const std::string& n : names) intern(n.c_str());
    const double per_lookup = double(hashtable::counters().probes - before) / names.size();
    EXPECT_LT(per_lookup, 4.0);
}

TEST_F(Symbol, CachedStringLeavesTheEntryAlone) {
    const SymId canon = intern("sym-cache-me");
    const SymId id = intern("Sym-Cache-Me");
    const NodeId node = symbol::cached_string(id);
    ASSERT_NE(node, 0u);
    EXPECT_EQ(symbol::cached_string(id), node) << "made once";
    Cell s{static_cast<uint32_t>(TypeId::String), 0, node, 0};
    EXPECT_EQ(string::to_std_utf8(&s), "Sym-Cache-Me");
    EXPECT_EQ(symbol::get_alias(id), static_cast<int32_t>(canon));
    EXPECT_EQ(symbol::entry(id)->w2, node);
}

TEST_F(Symbol, Compare) {
    Cell a = *symbol::entry(intern("sym-cmp-b"));
    Cell a_upper = *symbol::entry(intern("SYM-CMP-B"));
    Cell c = *symbol::entry(intern("sym-cmp-c"));
    Cell longer = *symbol::entry(intern("sym-cmp-bb"));
    Cell number{static_cast<uint32_t>(TypeId::Integer), 0, 1, 0};
    struct Row {
        Cell* x;
        Cell* y;
        CompareOp op;
        int32_t want;
        const char* what;
    };
    const Row rows[] = {
        {&a, &a_upper, CompareOp::Equal, 0, "case-insensitive equal"},
        {&a, &a_upper, CompareOp::StrictEqual, 1, "strict: b > B"},
        {&a, &a, CompareOp::Same, 0, "same entry"},
        {&a, &a_upper, CompareOp::Same, -1, "another spelling"},
        {&a, &c, CompareOp::Lesser, -1, "b < c"},
        {&c, &a_upper, CompareOp::Greater, 1, "c > B folded"},
        {&a, &longer, CompareOp::Equal, -1, "shorter"},
        {&longer, &c, CompareOp::Lesser, -1, "bb < c"},
        {&a, &number, CompareOp::Equal, kNotComparable, "not a symbol"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(symbol::compare(r.x, r.y, r.op), r.want) << r.what;
}

TEST_F(Symbol, BadIdsRaise) {
    EXPECT_RAISES(symbol::entry(0), Err::OutOfRange);
    EXPECT_RAISES(symbol::utf8_name(symbol::count() + 1), Err::OutOfRange);
    EXPECT_EQ(symbol::resolve(symbol::count() + 5), symbol::count() + 5);
    Cell number{static_cast<uint32_t>(TypeId::Integer), 0, 1, 0};
    EXPECT_RAISES(symbol::make_string(&number), Err::ExpectArg);
}

TEST_F(Symbol, GrowthKeepsEarlierSpellingsFirstOnTheProbe) {
    // A kind-2 table over copies of the entries of one spelling group, in id order: after it
    // has grown, the group's shared probe sequence meets the spellings in id order.
    const char* group[] = {"sym-order", "SYM-ORDER", "Sym-Order", "sym-ORDER"};
    Cell* b = block::push_new(4);
    for (const char* g : group) {
        Cell e = *symbol::entry(intern(g));
        block::append_cell(b, &e);
    }
    NodeId t = hashtable::make(0, b, hashtable::Kind::Symbols, 1);
    for (int i = 0; i < 40; i++) {
        Cell e = *symbol::entry(intern(("sym-order-filler-" + std::to_string(i)).c_str()));
        block::append_cell(b, &e);
        hashtable::put_key(t, 4 + i);
    }
    const hashtable::Record* r = hashtable::record(t);
    ASSERT_GT(r->buckets, 8u);
    const uint32_t h = hash::name(reinterpret_cast<const uint8_t*>("sym-order"), 9);
    std::vector<uint32_t> met;
    for (hashtable::Probe p(h, r->buckets); p.more(); p.next()) {
        const uint32_t* flags = hashtable::words_of(r->flags);
        if (hashtable::bucket_state(flags, p.bucket) == hashtable::Bucket::Empty) break;
        uint32_t pos = hashtable::words_of(r->keys)[p.bucket];
        if (pos < 4) met.push_back(pos);
    }
    EXPECT_EQ(met, (std::vector<uint32_t>{0, 1, 2, 3}));
}

// The global table grows past its first size; a case variant interned afterwards still aliases
// the first spelling, and the table doubled rather than jumping.
TEST_F(SymbolScale, AliasesSurviveGrowth) {
    const SymId first = intern("sym-scale-alias");
    const SymId second = intern("SYM-SCALE-ALIAS");
    const hashtable::Record* r = hashtable::record(symbol::table());
    const uint32_t buckets = r->buckets;
    const uint32_t needed = r->bound - r->used + 10;
    for (uint32_t i = 0; i < needed; i++) intern(("sym-scale-filler-" + std::to_string(i)).c_str());
    r = hashtable::record(symbol::table());
    EXPECT_EQ(r->buckets, 2 * buckets);
    const SymId third = intern("Sym-Scale-Alias");
    EXPECT_EQ(symbol::get_alias(second), static_cast<int32_t>(first));
    EXPECT_EQ(symbol::get_alias(third), static_cast<int32_t>(first));
    EXPECT_EQ(intern("SYM-SCALE-ALIAS"), second);
    for (uint32_t i = 0; i < needed; i += 97) {
        std::string n = "sym-scale-filler-" + std::to_string(i);
        EXPECT_STREQ(symbol::utf8_name(intern(n.c_str())), n.c_str());
    }
}

}  // namespace
}  // namespace nuv
