// Hash tables: sizing, the probe sequence, each kind's insert/find/remove, resizing rules, the
// hash! index upkeep after block edits, and the small word table. Complexity is checked by
// probe and rehash counts.
#include "runtime/hashtable.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using hashtable::Kind;

class HashTable : public ::testing::Test {
protected:
    test::StackScope keep;
};

using test::block_of;
using test::int_cell;
using test::ints;
using test::loose_word;
Cell sym(const char* name) { return *symbol::entry(symbol::make_cstr(name)); }
int32_t length(const Cell* b) { return block::rs_length(b); }
Cell at(const Cell* b, int32_t i) { return *block::rs_abs_at(b, i); }

std::string describe(const Cell* b) {
    std::string s = "[";
    for (int32_t i = 0; i < length(b); i++) {
        Cell c = at(b, i);
        if (i) s += ' ';
        s += std::to_string(static_cast<int32_t>(c.w2));
    }
    return s + "]";
}

// Every position of an integer block is found by the index exactly where a scan finds it.
void expect_index_matches(NodeId table, const Cell* b, const std::string& step) {
    for (int32_t q = 0; q < length(b); q++) {
        Cell key = at(b, q);
        int32_t want = -1;
        for (int32_t i = q; i < length(b) && want < 0; i++)
            if (at(b, i).w2 == key.w2) want = i;
        int32_t got = hashtable::get_next(table, &key, q, 1, CompareOp::Equal, false, false);
        EXPECT_EQ(got, want) << step << ": " << describe(b) << " value " << key.w2 << " from " << q;
    }
}

TEST_F(HashTable, Sizing) {
    struct Row {
        int32_t size;
        Kind kind;
        uint32_t buckets, bound;
    };
    const Row rows[] = {
        {0, Kind::Generic, 8, 6},          {4, Kind::Generic, 8, 6},
        {5, Kind::Generic, 8, 6},          {7, Kind::Generic, 16, 12},
        {100, Kind::Generic, 256, 197},    {4000, Kind::Symbols, 16384, 12615},
        {4000, Kind::Generic, 8192, 6307}, {3999, Kind::Symbols, 8192, 6307},
    };
    for (const Row& r : rows) {
        NodeId t = hashtable::make(r.size, nullptr, r.kind, 1);
        const hashtable::Record* rec = hashtable::record(t);
        EXPECT_EQ(rec->buckets, r.buckets) << "size " << r.size << " kind " << int(r.kind);
        EXPECT_EQ(rec->bound, r.bound) << "size " << r.size << " kind " << int(r.kind);
        EXPECT_EQ(rec->stamp, 0u);
    }
    const hashtable::Record* global = hashtable::record(symbol::table());
    EXPECT_GE(global->buckets, 16384u);
}

TEST_F(HashTable, ProbeVisitsEveryBucketOnce) {
    for (uint32_t buckets = 4; buckets <= 4096; buckets *= 2) {
        for (uint32_t h : {0u, 1u, 77u, 0xFFFFFFFFu}) {
            std::vector<bool> seen(buckets);
            uint32_t visits = 0;
            for (hashtable::Probe p(h, buckets); p.more(); p.next()) {
                EXPECT_FALSE(seen[p.bucket]) << buckets << " buckets, hash " << h;
                seen[p.bucket] = true;
                visits++;
            }
            EXPECT_EQ(visits, buckets);
        }
    }
}

TEST_F(HashTable, ProbingStopsAfterEveryBucket) {
    NodeId t = hashtable::make(0, nullptr, Kind::Generic, 1);
    hashtable::Record* r = hashtable::record(t);
    uint32_t* flags = hashtable::words_of(r->flags);
    flags[0] = 0x5555;  // all eight buckets deleted: no empty bucket ends the probe
    const uint64_t before = hashtable::counters().probes;
    EXPECT_EQ(hashtable::get(t, 42), nullptr);
    EXPECT_EQ(hashtable::counters().probes - before, 8u);
}

TEST_F(HashTable, HashDuplicatesShareOneBucket) {
    Cell* b = ints({5, 6, 5});
    NodeId t = hashtable::make(3, b, Kind::Hash, 1);
    const hashtable::Record* r = hashtable::record(t);
    EXPECT_EQ(r->count, 2u);
    EXPECT_EQ(r->used, 2u);
    Cell five = int_cell(5);
    EXPECT_EQ(hashtable::find(t, &five, CompareOp::Equal), 0);
    EXPECT_EQ(hashtable::get_next(t, &five, 1, 1, CompareOp::Equal, false, false), 2);
    hashtable::remove_key(t, 0);
    r = hashtable::record(t);
    EXPECT_EQ(r->count, 2u) << "one position left: the bucket stays occupied";
    EXPECT_EQ(hashtable::find(t, &five, CompareOp::Equal), 2);
    hashtable::remove_key(t, 2);
    r = hashtable::record(t);
    EXPECT_EQ(r->count, 1u);
    EXPECT_EQ(hashtable::find(t, &five, CompareOp::Equal), -1);
    hashtable::remove_range(t, 1, 1);
    r = hashtable::record(t);
    EXPECT_EQ(r->count, 0u);
    EXPECT_EQ(r->used, 0u) << "a table emptied by removal is cleared";
}

TEST_F(HashTable, HashRemoveRangeOfDuplicates) {
    Cell* b = block::push_new(2000);
    for (int32_t i = 0; i < 2000; i++) {
        Cell c = int_cell(i % 2 ? 8 : 9);
        block::append_cell(b, &c);
    }
    NodeId t = hashtable::make(2000, b, Kind::Hash, 1);
    EXPECT_EQ(hashtable::record(t)->count, 2u);
    hashtable::remove_range(t, 0, 1001);
    Cell eight = int_cell(8), nine = int_cell(9);
    EXPECT_EQ(hashtable::find(t, &eight, CompareOp::Equal), 1001);
    EXPECT_EQ(hashtable::find(t, &nine, CompareOp::Equal), 1002);
    EXPECT_EQ(hashtable::get_next(t, &nine, 0, 1, CompareOp::Equal, true, false), 1998);
    hashtable::remove_range(t, 1001, 999);
    EXPECT_EQ(hashtable::record(t)->count, 0u);
    EXPECT_EQ(hashtable::record(t)->used, 0u);
    EXPECT_EQ(hashtable::find(t, &eight, CompareOp::Equal), -1);
}

TEST_F(HashTable, HashGetNext) {
    // positions:      0  1  2  3  4  5  6  7
    Cell* b = ints({7, 1, 7, 2, 7, 3, 7, 1});
    NodeId t = hashtable::make(8, b, Kind::Hash, 1);
    struct Row {
        int32_t key, from, skip;
        bool last, reverse;
        int32_t want;
    };
    const Row rows[] = {
        {7, 0, 1, false, false, 0}, {7, 1, 1, false, false, 2}, {7, 5, 1, false, false, 6},
        {7, 7, 1, false, false, -1}, {7, 0, 1, true, false, 6}, {7, 3, 1, true, false, 6},
        {7, 5, 1, false, true, 4},  {7, 0, 1, false, true, -1}, {7, 8, 1, false, true, 6},
        {7, 1, 2, false, false, -1}, {7, 0, 4, false, false, 0}, {7, 1, 4, false, false, -1},
        {7, 2, 4, false, false, 2}, {7, 2, 4, true, false, 6}, {1, 0, 1, true, false, 7},
        {1, 2, 5, false, false, 7}, {1, 2, 3, false, false, -1}, {9, 0, 1, false, false, -1},
        {3, 6, 1, false, true, 5},
    };
    for (const Row& r : rows) {
        Cell key = int_cell(r.key);
        int32_t got = hashtable::get_next(t, &key, r.from, r.skip, CompareOp::Equal, r.last, r.reverse);
        EXPECT_EQ(got, r.want) << "key " << r.key << " from " << r.from << " skip " << r.skip
                               << (r.last ? " last" : "") << (r.reverse ? " reverse" : "");
    }
}

TEST_F(HashTable, HashFindInAWindow) {
    // positions:      0  1  2  3  4  5  6  7
    Cell* b = ints({7, 1, 7, 2, 7, 3, 7, 1});
    NodeId t = hashtable::make(8, b, Kind::Hash, 1);
    struct Row {
        int32_t key;
        hashtable::Window window;
        int32_t want;
    };
    const Row rows[] = {
        {7, {0, 7, 0, 1, false}, 0},  {7, {1, 7, 1, 1, false}, 2}, {7, {0, 7, 0, 1, true}, 6},
        {7, {0, 5, 5, 1, true}, 4},   {7, {0, 5, 5, 3, true}, 2},  {7, {0, 5, 5, 2, true}, -1},
        {7, {3, 5, 1, 3, false}, 4},  {7, {3, 3, 3, 1, false}, -1}, {1, {0, 7, 7, 3, true}, 7},
        {1, {0, 6, 7, 3, true}, 1},   {9, {0, 7, 0, 1, false}, -1},
    };
    for (const Row& r : rows) {
        Cell key = int_cell(r.key);
        const hashtable::Window& w = r.window;
        EXPECT_EQ(hashtable::find_in(t, &key, CompareOp::FindEqual, w), r.want)
            << "key " << r.key << " in " << w.lo << ".." << w.hi << " from " << w.anchor
            << " by " << w.step << (w.highest ? " highest" : "");
    }
}

// Find's equality: a word finds its set-word and refinement, never its issue, and the other
// modes keep the word types apart.
TEST_F(HashTable, HashFindJoinsTheWordTypes) {
    Cell* b = block_of({loose_word("k", TypeId::Issue), loose_word("K", TypeId::SetWord),
                        loose_word("k", TypeId::Refinement), loose_word("other")});
    NodeId t = hashtable::make(4, b, Kind::Hash, 1);
    const hashtable::Window all{0, 3, 0, 1, false};
    const hashtable::Window last{0, 3, 3, 1, true};
    Cell word = loose_word("k");
    EXPECT_EQ(hashtable::find_in(t, &word, CompareOp::FindEqual, all), 1);
    EXPECT_EQ(hashtable::find_in(t, &word, CompareOp::FindEqual, last), 2);
    EXPECT_EQ(hashtable::find_in(t, &word, CompareOp::Equal, all), -1);
    Cell refinement = loose_word("K", TypeId::Refinement);
    EXPECT_EQ(hashtable::find_in(t, &refinement, CompareOp::StrictEqual, all), -1);
    EXPECT_EQ(hashtable::find_in(t, &refinement, CompareOp::FindEqual, all), 1);
    Cell issue = loose_word("K", TypeId::Issue);
    EXPECT_EQ(hashtable::find_in(t, &issue, CompareOp::FindEqual, last), 0);
}

// After any splice of the block the index answers as a scan does and keeps one entry per cell.
TEST_F(HashTable, HashCellsReplaced) {
    Cell* b = ints({5, 6, 5, 7});
    NodeId t = hashtable::make(4, b, Kind::Hash, 1);
    auto splice = [&](int32_t from, int32_t removed, std::initializer_list<int32_t> added) {
        std::vector<Cell> cells;
        for (int32_t i = 0; i < length(b); i++)
            if (i < from || i >= from + removed) cells.push_back(at(b, i));
        int32_t k = from;
        for (int32_t v : added) cells.insert(cells.begin() + k++, int_cell(v));
        block::clear_from(b, 0);
        for (const Cell& c : cells) block::append_cell(b, &c);
        hashtable::cells_replaced(t, from, removed, static_cast<int32_t>(added.size()));
        expect_index_matches(t, b, "splice at " + std::to_string(from));
    };
    splice(1, 0, {5, 8});
    splice(0, 2, {9});
    splice(2, 2, {6, 6});
    splice(1, 4, {});
    EXPECT_EQ(describe(b), "[9]");
    const auto positions = [t] { return memory::buf(hashtable::record(t)->positions)->used() / 4; };
    EXPECT_EQ(positions(), 1u);
    // A rebuild after the block lost cells behind the index's back keeps no entry past its tail.
    block::clear_from(b, 0);
    hashtable::rebuild(t);
    EXPECT_EQ(positions(), 0u);
}

TEST_F(HashTable, HashCaseModes) {
    Cell* b = block_of({sym("Mode-Key"), sym("mode-key"), sym("MODE-KEY")});
    NodeId t = hashtable::make(3, b, Kind::Hash, 1);
    EXPECT_EQ(hashtable::record(t)->count, 1u) << "equal spellings share one bucket";
    Cell exact = sym("mode-key");
    EXPECT_EQ(hashtable::find(t, &exact, CompareOp::Equal), 0);
    EXPECT_EQ(hashtable::find(t, &exact, CompareOp::StrictEqual), 1);
    EXPECT_EQ(hashtable::get_next(t, &exact, 0, 1, CompareOp::Equal, true, false), 2);
    Cell other = sym("Mode-KEY");
    EXPECT_EQ(hashtable::find(t, &other, CompareOp::StrictEqual), -1);
}

TEST_F(HashTable, HashGrowsAndReportsRebuild) {
    Cell* b = ints({});
    NodeId t = hashtable::make(0, b, Kind::Hash, 1);
    int rebuilt = 0;
    for (int32_t v = 0; v < 100; v++) {
        Cell c = int_cell(v * 3);
        block::append_cell(b, &c);
        if (hashtable::put_key(t, v)) rebuilt++;
    }
    EXPECT_EQ(rebuilt, 5) << "8 -> 16 -> 32 -> 64 -> 128 -> 256 buckets";
    EXPECT_EQ(hashtable::record(t)->count, 100u);
    expect_index_matches(t, b, "after growth");
}

TEST_F(HashTable, HashBlockUpdate) {
    Cell* b = ints({1, 2, 1, 3, 2, 1});
    NodeId t = hashtable::make(6, b, Kind::Hash, 1);
    // Two cells inserted at position 2.
    Cell* inserted = ints({4, 1});
    Cell at2 = *b;
    at2.w1 = 2;
    Cell* at2_stack = stack::push(&at2);
    block::insert_each(at2_stack, inserted);
    hashtable::block_update(t, 2, 2);
    hashtable::put_cell(t, 2, 1);
    std::vector<int32_t> wanted = {1, 2, 4, 1, 1, 3, 2, 1};
    ASSERT_EQ(length(b), 8);
    for (int32_t i = 0; i < 8; i++) ASSERT_EQ(static_cast<int32_t>(at(b, i).w2), wanted[i]);
    expect_index_matches(t, b, "after insertion");
    // Three cells removed at position 1 (2 4 1).
    hashtable::block_update(t, 1, -3);
    Cell* cells = block::write_cells(cell::node(b));
    for (int32_t i = 1; i + 3 < 8; i++) cells[i] = cells[i + 3];
    memory::buf(cell::node(b))->tail -= 3 * sizeof(Cell);
    expect_index_matches(t, b, "after removal");
    EXPECT_EQ(hashtable::record(t)->count, 3u);
}

// Splices anywhere in a long block shift the stored positions, singles and duplicate lists
// alike, through the position array near the tail and through every bucket elsewhere: the index
// answers as a scan does, and nothing is rehashed.
TEST_F(HashTable, HashBlockUpdateShiftsLongBlocksWithoutRehash) {
    constexpr int32_t kCells = 40000;
    std::vector<int32_t> model;
    Cell* b = block::push_new(kCells);
    for (int32_t i = 0; i < kCells; i++) {
        model.push_back(i % 39900);  // the first 100 values twice: duplicate lists
        Cell c = int_cell(model.back());
        block::append_cell(b, &c);
    }
    NodeId t = hashtable::make(kCells + 100, b, Kind::Hash, 1);
    struct Row {
        int32_t from, removed;
        std::vector<int32_t> added;
    };
    const Row rows[] = {
        {0, 0, {7}},         {1, 0, {39901, 5}},  {0, 3, {}},      {20000, 2, {9, 9, 9}},
        {39990, 0, {39902}}, {39995, 4, {}},      {5, 1, {12}},    {0, 0, {29999, 0}},
    };
    const uint64_t rehashes = hashtable::counters().rehashes;
    for (const Row& r : rows) {
        const std::string step = "splice at " + std::to_string(r.from);
        model.erase(model.begin() + r.from, model.begin() + r.from + r.removed);
        model.insert(model.begin() + r.from, r.added.begin(), r.added.end());
        block::clear_from(b, 0);
        for (int32_t v : model) {
            Cell c = int_cell(v);
            block::append_cell(b, &c);
        }
        hashtable::cells_replaced(t, r.from, r.removed, static_cast<int32_t>(r.added.size()));
        for (int32_t v : {0, 5, 7, 9, 12, 99, 100, 20001, 29999, 39899, 39901, 39902}) {
            Cell key = int_cell(v);
            const auto first = std::find(model.begin(), model.end(), v);
            const auto last = std::find(model.rbegin(), model.rend(), v);
            const int32_t want_first =
                first == model.end() ? -1 : static_cast<int32_t>(first - model.begin());
            const int32_t want_last =
                last == model.rend() ? -1 : static_cast<int32_t>(model.rend() - last) - 1;
            EXPECT_EQ(hashtable::get_next(t, &key, 0, 1, CompareOp::Equal, false, false), want_first)
                << step << " value " << v;
            EXPECT_EQ(hashtable::get_next(t, &key, 0, 1, CompareOp::Equal, true, false), want_last)
                << step << " value " << v;
        }
    }
    EXPECT_EQ(hashtable::counters().rehashes, rehashes);
}

TEST_F(HashTable, HashBlockMove) {
    struct Row {
        int32_t to, from, count;
    };
    const Row rows[] = {{6, 1, 2}, {0, 4, 3}, {2, 2, 2}, {3, 1, 2}, {7, 0, 7}, {1, 5, 1}};
    for (const Row& r : rows) {
        Cell* b = ints({1, 2, 3, 1, 2, 9, 1});
        NodeId t = hashtable::make(7, b, Kind::Hash, 1);
        Cell* cells = block::write_cells(cell::node(b));
        std::vector<Cell> v(cells, cells + 7);
        if (!(r.to >= r.from && r.to <= r.from + r.count)) {
            std::vector<Cell> moved(v.begin() + r.from, v.begin() + r.from + r.count);
            std::vector<Cell> rest;
            for (int32_t i = 0; i < 7; i++)
                if (i < r.from || i >= r.from + r.count) rest.push_back(v[static_cast<size_t>(i)]);
            const int32_t dest = r.to > r.from ? r.to - r.count : r.to;
            rest.insert(rest.begin() + dest, moved.begin(), moved.end());
            v = rest;
        }
        for (int32_t i = 0; i < 7; i++) cells[i] = v[static_cast<size_t>(i)];
        hashtable::block_move(t, r.to, r.from, r.count);
        expect_index_matches(t, b, "move " + std::to_string(r.count) + " from " +
                                       std::to_string(r.from) + " to " + std::to_string(r.to));
    }
}

TEST_F(HashTable, HashCopyIsIndependent) {
    Cell* b = ints({4, 5, 4, 6});
    NodeId t = hashtable::make(4, b, Kind::Hash, 1);
    Cell* copy = block::copy_deep(b, false, false);
    NodeId t2 = hashtable::copy(t, copy);
    hashtable::remove_key(t, 0);
    hashtable::remove_key(t, 2);
    Cell four = int_cell(4);
    EXPECT_EQ(hashtable::find(t, &four, CompareOp::Equal), -1);
    EXPECT_EQ(hashtable::find(t2, &four, CompareOp::Equal), 0);
    EXPECT_EQ(hashtable::get_next(t2, &four, 1, 1, CompareOp::Equal, false, false), 2);
    expect_index_matches(t2, copy, "copy");
    hashtable::clear(t2);
    EXPECT_EQ(hashtable::find(t2, &four, CompareOp::Equal), -1);
    EXPECT_EQ(hashtable::record(t2)->used, 0u);
}

TEST_F(HashTable, MapKeepsFirstPlaceAndLastValue) {
    Cell* b = block_of({loose_word("map-a"), int_cell(1), loose_word("map-b"), int_cell(2),
                        loose_word("map-a", TypeId::LitWord), int_cell(3)});
    NodeId t = hashtable::make(4, b, Kind::Map, 1);
    ASSERT_EQ(length(b), 4);
    EXPECT_EQ(hashtable::record(t)->count, 2u);
    EXPECT_TRUE(cell::is(block::rs_abs_at(b, 0), TypeId::SetWord));
    EXPECT_EQ(static_cast<int32_t>(at(b, 1).w2), 3);
    EXPECT_EQ(static_cast<int32_t>(at(b, 3).w2), 2);
    struct Row {
        Cell key;
        int32_t want;
    };
    const Row rows[] = {{loose_word("map-a"), 0}, {loose_word("map-a", TypeId::GetWord), 0},
                        {loose_word("map-a", TypeId::SetWord), 0}, {loose_word("map-b", TypeId::LitWord), 2},
                        {loose_word("map-c"), -1}, {int_cell(1), -1}};
    for (size_t i = 0; i < std::size(rows); i++) {
        int32_t got = hashtable::find(t, &rows[i].key, CompareOp::StrictEqual);
        EXPECT_EQ(got, rows[i].want) << "row " << i << ", a " << type_name(cell::type_of(&rows[i].key));
    }
    hashtable::remove_key(t, 0);
    EXPECT_EQ(hashtable::record(t)->count, 1u);
    EXPECT_EQ(block::rs_abs_at(b, 1)->header, 0u);
    EXPECT_EQ(hashtable::find(t, &rows[0].key, CompareOp::Equal), 0) << "a removed key stays findable";
}

TEST_F(HashTable, MapGrowsAndKeepsItsLiveCount) {
    Cell* b = block::push_new(2);
    NodeId t = hashtable::make(0, b, Kind::Map, 1);
    const int32_t n = 40;
    for (int32_t i = 0; i < n; i++) {
        Cell key = loose_word(("map-grow-" + std::to_string(i)).c_str());
        Cell value = int_cell(i);
        block::append_cell(b, &key);
        block::append_cell(b, &value);
        hashtable::put_cell(t, 2 * i, 2);
        if (i % 4 == 0) hashtable::remove_key(t, 2 * i);
    }
    const hashtable::Record* r = hashtable::record(t);
    EXPECT_EQ(r->count, 30u);
    EXPECT_EQ(r->used, 40u) << "removed map keys stay in their buckets";
    EXPECT_GE(r->buckets, 64u);
    for (int32_t i = 0; i < n; i++) {
        Cell key = loose_word(("map-grow-" + std::to_string(i)).c_str(), TypeId::GetWord);
        EXPECT_EQ(hashtable::find(t, &key, CompareOp::Equal), 2 * i) << i;
    }
}

TEST_F(HashTable, GenericCopyAndClear) {
    NodeId t = hashtable::make(4, nullptr, Kind::Generic, 1);
    for (uint32_t k = 1; k <= 20; k++) hashtable::put(t, k)->w2 = k + 100;
    NodeId c = hashtable::copy(t, nullptr);
    hashtable::clear(t);
    EXPECT_EQ(hashtable::get(t, 5), nullptr);
    EXPECT_EQ(hashtable::record(t)->count, 0u);
    for (uint32_t k = 1; k <= 20; k++) {
        const Cell* v = hashtable::get(c, k);
        ASSERT_NE(v, nullptr) << k;
        EXPECT_EQ(v->w2, k + 100);
    }
    hashtable::put(t, 7)->w2 = 1;
    EXPECT_EQ(hashtable::get(t, 7)->w2, 1u);
    EXPECT_EQ(hashtable::get(c, 7)->w2, 107u);
}

TEST_F(HashTable, MapKeysTakeTheMapRule) {
    Cell str{};  // a series key is copied, so the caller's string stays its own
    string::make_at(&str, 4);
    string::append_char(cell::node(&str), U'k');
    Cell* b = block_of({str, int_cell(1)});
    NodeId t = hashtable::make(2, b, Kind::Map, 1);
    const Cell key = at(b, 0);
    EXPECT_TRUE(cell::is(&key, TypeId::String));
    EXPECT_NE(cell::node(&key), cell::node(&str));
    EXPECT_EQ(hashtable::find(t, &str, CompareOp::StrictEqual), 0);
    Cell* inner = block::push_new(1);
    Cell* bad = block_of({*inner, int_cell(1)});
    EXPECT_RAISES(hashtable::make(2, bad, Kind::Map, 1), Err::InvalidPath);
}

TEST_F(HashTable, MapProbesPassOtherKeysByTheirHash) {
    Cell* b = block::push_new(2);
    NodeId t = hashtable::make(0, b, Kind::Map, 1);
    const int32_t n = 100000;
    for (int32_t i = 0; i < n; i++) {
        Cell key = int_cell(i);
        Cell value = int_cell(-i);
        block::append_cell(b, &key);
        block::append_cell(b, &value);
        hashtable::put_cell(t, 2 * i, 2);
    }
    // A lookup compares only the keys whose hash is the key's own: a hit its own key, a miss
    // none (distinct 32-bit hashes of 100,000 integers), however long the probe.
    const uint64_t compares = hashtable::counters().key_compares;
    for (int32_t i = 0; i < n; i++) {
        Cell key = int_cell(i);
        ASSERT_EQ(hashtable::find(t, &key, CompareOp::Equal), 2 * i) << i;
        Cell missing = int_cell(n + i);
        ASSERT_EQ(hashtable::find(t, &missing, CompareOp::Equal), -1) << i;
    }
    EXPECT_EQ(hashtable::counters().key_compares - compares, static_cast<uint64_t>(n));
    EXPECT_EQ(hashtable::record(t)->count, static_cast<uint32_t>(n));
}

TEST_F(HashTable, WordTablesDoubleWhenFull) {
    Cell* b = block::push_new(8);
    NodeId t = hashtable::make(0, b, Kind::Symbols, 2);
    const uint64_t rehashes = hashtable::counters().rehashes;
    for (int32_t i = 0; i < 13; i++) {
        Cell w = loose_word(("grow-word-" + std::to_string(i)).c_str());
        block::append_cell(b, &w);
        hashtable::put_key(t, i);
    }
    EXPECT_EQ(hashtable::record(t)->buckets, 32u) << "8 -> 16 -> 32, never x32";
    EXPECT_EQ(hashtable::counters().rehashes - rehashes, 2u);
    for (int32_t i = 0; i < 13; i++) {
        SymId s = symbol::make_cstr(("GROW-WORD-" + std::to_string(i)).c_str());
        EXPECT_EQ(hashtable::find_symbol(t, s, true), i) << i;
        EXPECT_EQ(hashtable::find_symbol(t, s, false), -1) << i;
        Cell w = at(b, i);
        EXPECT_EQ(hashtable::find_symbol(t, w.w2, false), i) << i;
    }
}

TEST_F(HashTable, GenericEntries) {
    NodeId t = hashtable::make(0, nullptr, Kind::Generic, 2);
    for (uint32_t k = 1; k <= 50; k++) {
        Cell* v = hashtable::put(t, k * 7919);
        EXPECT_TRUE(cell::is(v, TypeId::Unset));
        EXPECT_EQ(v[1].header, 2u);
        v[0] = int_cell(static_cast<int32_t>(k));
        v[1] = int_cell(static_cast<int32_t>(k * 2));
    }
    EXPECT_EQ(hashtable::record(t)->count, 50u);
    for (uint32_t k = 1; k <= 50; k++) {
        const Cell* v = hashtable::get(t, k * 7919);
        ASSERT_NE(v, nullptr) << k;
        EXPECT_EQ(v[0].w2, k);
        EXPECT_EQ(v[1].w2, 2 * k);
    }
    EXPECT_EQ(hashtable::get(t, 3), nullptr);
    Cell* again = hashtable::put(t, 7919);
    EXPECT_EQ(again->w2, 1u) << "put of a present key gives its entry";
    EXPECT_TRUE(hashtable::remove_entry(t, 7919));
    EXPECT_FALSE(hashtable::remove_entry(t, 7919));
    EXPECT_EQ(hashtable::get(t, 7919), nullptr);
    EXPECT_EQ(hashtable::record(t)->count, 49u);
}

TEST_F(HashTable, MostlyDeletedTableRehashesAtTheSameSize) {
    NodeId t = hashtable::make(0, nullptr, Kind::Ownership, 3);
    for (uint32_t k = 1; k <= 6; k++) hashtable::put(t, k);
    for (uint32_t k = 2; k <= 6; k++) hashtable::remove_entry(t, k);
    const hashtable::Record* r = hashtable::record(t);
    ASSERT_EQ(r->used, r->bound);
    ASSERT_EQ(r->count, 1u);
    const uint64_t rehashes = hashtable::counters().rehashes;
    hashtable::put(t, 100);
    r = hashtable::record(t);
    EXPECT_EQ(hashtable::counters().rehashes - rehashes, 1u);
    EXPECT_EQ(r->buckets, 8u);
    EXPECT_EQ(r->used, 2u);
    EXPECT_EQ(r->count, 2u);
    EXPECT_NE(hashtable::get(t, 1), nullptr);
    EXPECT_NE(hashtable::get(t, 100), nullptr);
}

TEST_F(HashTable, ProbesPerLookupStaySmall) {
    NodeId t = hashtable::make(0, nullptr, Kind::Generic, 1);
    const uint32_t n = 5000;
    for (uint32_t k = 1; k <= n; k++) hashtable::put(t, k);
    const uint64_t before = hashtable::counters().probes;
    for (uint32_t k = 1; k <= n; k++) ASSERT_NE(hashtable::get(t, k), nullptr);
    const double per_lookup = double(hashtable::counters().probes - before) / n;
    EXPECT_LT(per_lookup, 3.0);
}

TEST_F(HashTable, SmallWordTable) {
    hashtable::WordTable* t = hashtable::word_table_make(0);
    EXPECT_EQ(t->buckets, 8u);
    EXPECT_EQ(t->bound, 6u);
    for (uint32_t k = 0; k < 1000; k++) hashtable::word_table_put(t, k * 16, k);
    EXPECT_EQ(t->count, 1000u);
    for (uint32_t k = 0; k < 1000; k += 2) EXPECT_TRUE(hashtable::word_table_delete(t, k * 16));
    uint32_t v = 0;
    for (uint32_t k = 0; k < 1000; k++) {
        EXPECT_EQ(hashtable::word_table_get(t, k * 16, &v), (k & 1) == 1) << k;
        if (k & 1) {
            EXPECT_EQ(v, k);
        }
    }
    hashtable::word_table_put(t, 16, 77);
    ASSERT_TRUE(hashtable::word_table_get(t, 16, &v));
    EXPECT_EQ(v, 77u);
    const uint32_t buckets = t->buckets;
    hashtable::word_table_resize(t, buckets * 2);
    EXPECT_EQ(t->buckets, buckets * 2);
    EXPECT_EQ(t->count, 500u);
    EXPECT_TRUE(hashtable::word_table_get(t, 999 * 16, &v));
    hashtable::word_table_clear(t);
    EXPECT_FALSE(hashtable::word_table_get(t, 16, &v));
    EXPECT_EQ(t->count, 0u);
    hashtable::word_table_free(t);
}

}  // namespace
}  // namespace nuv
