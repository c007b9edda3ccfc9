// map!: the interfaces runtime code builds and walks maps with (make-at, the body, extend,
// foreach's step) and the counts that keep lookups and growth bounded.
#include "runtime/datatypes/map.h"

#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "tests/unit/eval_support.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;
using test::int_cell;

class Map : public ::testing::Test {
  protected:
    void SetUp() override { test::eval_environment(); }
    test::StackScope scope;
};

// A map pushed on the stack, made over the pairs given.
Cell* map_of(std::initializer_list<Cell> pairs) {
    Cell* body = test::block_of(pairs);
    return map::make_at(stack::push(none::shared()), body, static_cast<int32_t>(pairs.size() / 2));
}

TEST_F(Map, MakeAtTakesTheBlockAsItsBody) {
    Cell* body = test::block_of({test::loose_word("mk-a"), int_cell(1),
                                 test::loose_word("mk-a", T::LitWord), int_cell(2), *test::text("k"),
                                 int_cell(3)});
    const NodeId node = cell::node(body);
    Cell* m = map::make_at(stack::push(none::shared()), body, 3);
    EXPECT_TRUE(cell::is(m, T::Map));
    EXPECT_EQ(map::body_of(m), node) << "the block is the body, not a copy";
    EXPECT_EQ(map::live_count(m), 2);
    EXPECT_EQ(block::count(node), 4) << "the repeated key's pair left the body";
    EXPECT_TRUE(cell::is(block::raw_cells(node), T::SetWord));
    EXPECT_EQ(test::mold_value(*m), "#[\n    mk-a: 2\n    \"k\" 3\n]");
}

TEST_F(Map, MakeAtWithoutABlockHasRoomForItsEntries) {
    Cell* m = map::make_at(stack::push(none::shared()), nullptr, 100);
    EXPECT_EQ(map::live_count(m), 0);
    const uint64_t expansions = memory::counters().expansions;
    const uint64_t rehashes = hashtable::counters().rehashes;
    for (int32_t i = 0; i < 100; i++) {
        Cell key = int_cell(i);
        Cell value = int_cell(-i);
        map::put(m, &key, &value, false);
    }
    EXPECT_EQ(map::live_count(m), 100);
    EXPECT_EQ(memory::counters().expansions, expansions);
    EXPECT_EQ(hashtable::counters().rehashes, rehashes);
}

TEST_F(Map, ExtendGrowsTheBodyOnce) {
    Cell* m = map_of({int_cell(-1), int_cell(0)});
    Cell* pairs = block::push_new(2000);
    for (int32_t i = 0; i < 1000; i++) {
        Cell key = int_cell(i);
        block::append_cell(pairs, &key);
        block::append_cell(pairs, &key);
    }
    const uint64_t expansions = memory::counters().expansions;
    map::extend_block(m, pairs, false);
    EXPECT_EQ(map::live_count(m), 1001);
    EXPECT_EQ(memory::counters().expansions - expansions, 1u);
}

TEST_F(Map, AnOddExtendBlockChangesNothing) {
    Cell* m = map_of({int_cell(1), int_cell(2)});
    // The block's last key stands at its buffer's tail: the check reads no value after it.
    Cell* odd = test::block_of({int_cell(3), int_cell(4), int_cell(5)});
    EXPECT_RAISES(map::extend_block(m, odd, false), Err::InvalidArg);
    EXPECT_EQ(map::live_count(m), 1);
    EXPECT_EQ(block::count(map::body_of(m)), 2);
}

TEST_F(Map, ScaleLookupComparesOneKey) {
    Cell* m = map::make_at(stack::push(none::shared()), nullptr, 0);
    const int32_t n = 100000;
    for (int32_t i = 0; i < n; i++) {
        test::StackScope each;
        Cell* key = test::text("k" + std::to_string(i));
        Cell value = int_cell(i);
        map::put(m, key, &value, false);
    }
    ASSERT_EQ(map::live_count(m), n);
    const uint64_t compares = hashtable::counters().key_compares;
    for (int32_t i = 0; i < n; i += 97) {
        test::StackScope each;
        Cell* key = test::text("K" + std::to_string(i));
        const Cell* got = map::select(m, key, nullptr, false, false, false, false, nullptr,
                                      nullptr, false, false);
        ASSERT_EQ(cell::get_int(got), i);
    }
    EXPECT_LE(hashtable::counters().key_compares - compares, static_cast<uint64_t>(n / 97 + 2));
}

TEST_F(Map, ForeachStepSkipsRemovedEntries) {
    Cell* m = map_of({test::loose_word("fe-a"), int_cell(1), test::loose_word("fe-b"),
                      int_cell(2), test::loose_word("fe-c"), int_cell(3)});
    Cell key = test::loose_word("fe-a");
    map::remove(m, nullptr, &key);
    Cell* words = test::load_text("fe-k fe-v");
    Cell at = *m;
    std::string seen;
    while (map::foreach_set(words, &at)) {
        seen += test::eval_text("reduce [fe-k fe-v]") + " ";
    }
    EXPECT_EQ(seen, "[fe-b 2] [fe-c 3] ");
    EXPECT_EQ(cell::head(&at), 6) << "the position stops at the tail";
}

}  // namespace
}  // namespace nuv
