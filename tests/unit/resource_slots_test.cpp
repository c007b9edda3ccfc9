// Resource slots: numbering from 1, the last freed slot reused first, growth by doubling, and
// frees that must change nothing (0, a free slot, a number never handed out).
#include "runtime/resource_slots.h"

#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

class ResourceSlots : public ::testing::Test {
  protected:
    void SetUp() override { resource_slots::init(); }
    test::StackScope scope;
};

Cell number(int32_t n) { return test::int_cell(n); }

TEST_F(ResourceSlots, FirstStoreIsOneAndTheLastFreedIsReusedFirst) {
    std::vector<int32_t> slots;
    for (int32_t i = 0; i < 5; i++) {
        const Cell value = number(10 + i);
        slots.push_back(resource_slots::store(&value));
    }
    EXPECT_EQ(slots, (std::vector<int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(integer::get(resource_slots::at(3)), 12);
    resource_slots::free(3);
    EXPECT_EQ(resource_slots::at(3), nullptr);
    const Cell value = number(99);
    EXPECT_EQ(resource_slots::store(&value), 3);
    EXPECT_EQ(integer::get(resource_slots::at(3)), 99);
    EXPECT_EQ(resource_slots::store(&value), 6);
}

TEST_F(ResourceSlots, TheHundredAndFirstStoreDoublesTheTable) {
    const Cell value = number(7);
    for (int32_t i = 1; i <= 100; i++) ASSERT_EQ(resource_slots::store(&value), i);
    EXPECT_EQ(resource_slots::capacity(), 100);
    EXPECT_EQ(resource_slots::store(&value), 101);
    EXPECT_EQ(resource_slots::capacity(), 200);
    EXPECT_EQ(integer::get(resource_slots::at(1)), 7);
    EXPECT_EQ(integer::get(resource_slots::at(101)), 7);
    EXPECT_EQ(resource_slots::store(&value), 102);
}

// Freeing 0, a slot freed already or a number never handed out would otherwise link a cell into
// the free list twice, and two stores would then share one slot.
TEST_F(ResourceSlots, FreesOfNoSlotChangeNothing) {
    const Cell value = number(1);
    ASSERT_EQ(resource_slots::store(&value), 1);
    ASSERT_EQ(resource_slots::store(&value), 2);
    for (int32_t bad : {0, -1, 7, 100, 101, 1000}) resource_slots::free(bad);
    resource_slots::free(2);
    resource_slots::free(2);
    EXPECT_EQ(resource_slots::store(&value), 2);
    EXPECT_EQ(resource_slots::store(&value), 3);
    EXPECT_EQ(resource_slots::store(&value), 4);
    EXPECT_NE(resource_slots::at(1), nullptr);
    EXPECT_EQ(resource_slots::at(0), nullptr);
    EXPECT_EQ(resource_slots::at(5), nullptr);
}

// A stored series lives while it is stored: the table is reachable from the roots.
TEST_F(ResourceSlots, StoredValuesOutliveCollections) {
    const size_t base = memory::fresh_count();
    stack::Mark mark;
    Cell* text = string::make_at(stack::reserve(), 8);
    string::append_cstr(text, "kept");
    const int32_t slot = resource_slots::store(text);
    mark.restore();
    memory::drop_fresh(base);
    collector::collect();
    EXPECT_EQ(string::to_std_utf8(resource_slots::at(slot)), "kept");
}

}  // namespace
}  // namespace nuv
