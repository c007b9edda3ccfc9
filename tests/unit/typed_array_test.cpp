// Typed arrays: appends with growth, picks and pokes, finds as byte offsets, insertion and
// removal, copies.
#include "runtime/typed_array.h"

#include <vector>

#include "runtime/memory.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

class TypedArray : public ::testing::Test {
protected:
    test::StackScope scope;

    // A new array, kept on the argument stack in a binary! cell so that it stays reachable.
    static NodeId make(size_t count, uint32_t unit) {
        NodeId node = typed_array::make(count, unit);
        Cell keep{static_cast<uint32_t>(TypeId::Binary), 0, node, 0};
        stack::push(&keep);
        return node;
    }

    static std::vector<int32_t> ints(NodeId a) {
        std::vector<int32_t> out;
        for (size_t i = 1; i <= typed_array::length(a); i++)
            out.push_back(typed_array::pick_int(a, i));
        return out;
    }
};

using Ints = std::vector<int32_t>;

TEST_F(TypedArray, MakeSetsTheUnit) {
    struct Case {
        size_t count;
        uint32_t unit;
        size_t min_bytes;
    };
    const Case cases[] = {{0, 1, 1}, {0, 4, 4}, {10, 1, 10}, {10, 4, 40}, {3, 8, 24}};
    for (const Case& c : cases) {
        NodeId a = make(c.count, c.unit);
        EXPECT_EQ(memory::buf(a)->unit(), c.unit) << c.count << "x" << c.unit;
        EXPECT_GE(memory::buf(a)->size, c.min_bytes) << c.count << "x" << c.unit;
        EXPECT_EQ(typed_array::length(a), 0u);
    }
    EXPECT_EQ(typed_array::kPtrUnit, sizeof(void*));
}

TEST_F(TypedArray, FindAnswersByteOffsets) {
    NodeId a = make(4, typed_array::kIntUnit);
    EXPECT_EQ(typed_array::find_int(a, 7), -1);
    typed_array::append_int(a, 7);
    typed_array::append_int(a, 9);
    struct Case {
        int32_t value;
        ptrdiff_t offset;
    };
    const Case cases[] = {{7, 0}, {9, 4}, {8, -1}, {0, -1}, {-1, -1}};
    for (const Case& c : cases) EXPECT_EQ(typed_array::find_int(a, c.value), c.offset) << c.value;
    typed_array::append_int(a, 9);
    EXPECT_EQ(typed_array::find_int(a, 9), 4);  // the first of two
    EXPECT_EQ(typed_array::length(a), 3u);
}

TEST_F(TypedArray, RemovingTheFirstOfTwo) {
    NodeId a = make(2, typed_array::kIntUnit);
    typed_array::append_int(a, 7);
    typed_array::append_int(a, 9);
    typed_array::remove_bytes(a, 0, 4);
    EXPECT_EQ(ints(a), (Ints{9}));
    EXPECT_EQ(typed_array::find_int(a, 9), 0);
    typed_array::remove_bytes(a, 0, 4);
    EXPECT_EQ(typed_array::length(a), 0u);
}

TEST_F(TypedArray, AppendingToAFullBufferGrowsIt) {
    NodeId a = make(2, typed_array::kIntUnit);
    const size_t first_size = memory::buf(a)->size;
    const uint64_t expansions = memory::counters().expansions;
    Ints want;
    for (int32_t i = 0; i < 1000; i++) {
        typed_array::append_int(a, i * 3 - 500);
        want.push_back(i * 3 - 500);
    }
    EXPECT_EQ(ints(a), want);
    EXPECT_GT(memory::buf(a)->size, first_size);
    // Doubling: a handful of expansions, not one per append.
    EXPECT_LE(memory::counters().expansions - expansions, 12u);
}

TEST_F(TypedArray, Bytes) {
    NodeId a = make(0, typed_array::kByteUnit);
    typed_array::append_byte(a, 0xAB);
    const uint8_t run[40] = {1, 2, 3};
    typed_array::append_bytes(a, run, sizeof run);
    typed_array::append_bytes(a, run, 0);
    typed_array::append_byte(a, 0xCD);
    EXPECT_EQ(typed_array::length(a), 42u);
    struct Case {
        size_t index;
        uint8_t want;
    };
    const Case cases[] = {{1, 0xAB}, {2, 1}, {3, 2}, {4, 3}, {5, 0}, {41, 0}, {42, 0xCD}};
    for (const Case& c : cases) EXPECT_EQ(typed_array::pick_byte(a, c.index), c.want) << c.index;
}

TEST_F(TypedArray, ClearTruncateAndNodes) {
    NodeId a = make(4, typed_array::kIntUnit);
    for (int32_t v : {10, 20, 30, 40}) typed_array::append_int(a, v);
    typed_array::truncate(a, 3);
    EXPECT_EQ(ints(a), (Ints{10, 20}));
    typed_array::truncate(a, 1);
    EXPECT_EQ(typed_array::length(a), 0u);
    typed_array::append_int_node(a, 0xFFFFFFF0u);
    EXPECT_EQ(static_cast<uint32_t>(typed_array::pick_int(a, 1)), 0xFFFFFFF0u);
    typed_array::clear(a);
    EXPECT_EQ(typed_array::length(a), 0u);
    EXPECT_EQ(typed_array::find_int(a, -16), -1);
}

TEST_F(TypedArray, InsertInt) {
    struct Case {
        const char* what;
        Ints start;
        size_t index;
        Ints want;
    };
    const Case cases[] = {
        {"into empty", {}, 0, {5}},
        {"at the front", {1, 2, 3}, 0, {5, 1, 2, 3}},
        {"in the middle", {1, 2, 3}, 2, {1, 2, 5, 3}},
        {"at the end", {1, 2, 3}, 3, {1, 2, 3, 5}},
    };
    for (const Case& c : cases) {
        NodeId a = make(c.start.size(), typed_array::kIntUnit);
        for (int32_t v : c.start) typed_array::append_int(a, v);
        typed_array::insert_int(a, c.index, 5);
        EXPECT_EQ(ints(a), c.want) << c.what;
    }
}

TEST_F(TypedArray, InsertIntoAFullBufferDoublesIt) {
    NodeId a = make(4, typed_array::kIntUnit);
    const size_t size = memory::buf(a)->size;
    Ints want;
    for (int32_t i = 0; static_cast<size_t>(i) < size / 4; i++) {
        typed_array::append_int(a, i);
        want.push_back(i);
    }
    ASSERT_EQ(memory::buf(a)->size, size);  // full, not grown
    typed_array::insert_int(a, 0, -1);
    want.insert(want.begin(), -1);
    EXPECT_EQ(ints(a), want);
    EXPECT_EQ(memory::buf(a)->size, 2 * size);
}

TEST_F(TypedArray, Pointers) {
    int x = 0, y = 0, z = 0;
    NodeId a = make(0, typed_array::kPtrUnit);
    typed_array::append_ptr(a, &x);
    typed_array::append_ptr(a, &y);
    typed_array::append_ptr(a, &z);
    EXPECT_EQ(typed_array::length(a), 3u);
    EXPECT_EQ(typed_array::pick_ptr(a, 2), &y);
    EXPECT_EQ(typed_array::find_ptr(a, &z), static_cast<ptrdiff_t>(2 * sizeof(void*)));
    EXPECT_EQ(typed_array::find_ptr(a, nullptr), -1);
    typed_array::poke_ptr(a, 2, nullptr);
    EXPECT_EQ(typed_array::pick_ptr(a, 2), nullptr);
    EXPECT_EQ(typed_array::find_ptr(a, &y), -1);
    typed_array::remove_ptr(a, &y);  // absent: nothing happens
    EXPECT_EQ(typed_array::length(a), 3u);
    typed_array::remove_ptr(a, &x);
    EXPECT_EQ(typed_array::length(a), 2u);
    EXPECT_EQ(typed_array::pick_ptr(a, 1), nullptr);
    EXPECT_EQ(typed_array::pick_ptr(a, 2), &z);
}

TEST_F(TypedArray, CopyIsIndependent) {
    NodeId a = make(4, typed_array::kIntUnit);
    for (int32_t v : {1, 2, 3}) typed_array::append_int(a, v);
    NodeId b = typed_array::copy(a);
    Cell keep{static_cast<uint32_t>(TypeId::Binary), 0, b, 0};
    stack::push(&keep);
    EXPECT_NE(a, b);
    EXPECT_EQ(memory::buf(b)->unit(), typed_array::kIntUnit);
    EXPECT_EQ(ints(b), (Ints{1, 2, 3}));
    typed_array::append_int(b, 4);
    typed_array::remove_bytes(a, 4, 4);
    EXPECT_EQ(ints(a), (Ints{1, 3}));
    EXPECT_EQ(ints(b), (Ints{1, 2, 3, 4}));
}

}  // namespace
}  // namespace nuv
