// The callback and handle registry (growth, release, marking and sweeping, the kind limit) and
// the handle! values that name its slots.
#include "runtime/handles.h"

#include <set>
#include <string>
#include <vector>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/string.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

std::vector<void*> g_released;
void record_release(void* pointer) { g_released.push_back(pointer); }

void* fake(uintptr_t n) { return reinterpret_cast<void*>(0x10000 + n * 16); }

// The test kind is registered once per process, as a module would.
struct Registry {
    int32_t kind;
    Registry() {
        static int32_t test_kind = handles::register_kind("test", record_release);
        kind = test_kind;
        g_released.clear();
    }
};

TEST(Handles, TheSlotArrayDoublesAndKeepsEveryNumber) {
    Registry r;
    const int32_t before = handles::capacity();
    std::vector<int32_t> slots;
    for (int32_t i = 0; i <= before; i++) slots.push_back(handles::alloc(fake(i), r.kind));
    EXPECT_EQ(handles::capacity(), 2 * before);
    EXPECT_EQ(std::set<int32_t>(slots.begin(), slots.end()).size(), slots.size());
    for (size_t i = 0; i < slots.size(); i++) {
        const handles::Slot* s = handles::slot(slots[i]);
        ASSERT_NE(s, nullptr) << slots[i];
        EXPECT_EQ(s->pointer, fake(i)) << slots[i];
        EXPECT_EQ(s->value, static_cast<uint32_t>(r.kind)) << slots[i];
    }
    for (int32_t s : slots) handles::release(s, false);
    EXPECT_TRUE(g_released.empty());
}

TEST(Handles, ReleaseCallsTheKindOnceAndIgnoresFreeSlots) {
    Registry r;
    int32_t a = handles::alloc(fake(1), r.kind);
    int32_t b = handles::alloc(fake(2), r.kind);
    int32_t plain = handles::alloc(fake(3), 0);  // kind 0 has no callback
    handles::release(a, true);
    handles::release(b, false);
    handles::release(plain, true);
    EXPECT_EQ(g_released, std::vector<void*>{fake(1)});
    // Releasing a free slot, or a number outside the array, changes nothing: the free chain
    // holds each slot once, so the next two slots differ.
    for (int32_t bad : {a, a, b, -1, handles::capacity(), handles::capacity() + 7})
        handles::release(bad, true);
    EXPECT_EQ(g_released.size(), 1u);
    int32_t c = handles::alloc(fake(4), r.kind);
    int32_t d = handles::alloc(fake(5), r.kind);
    EXPECT_NE(c, d);
    handles::release(c, false);
    handles::release(d, false);
}

TEST(Handles, SetPointerReleasesTheOldPointerOnlyWhenItChanges) {
    Registry r;
    int32_t s = handles::alloc(fake(1), r.kind);
    handles::set_pointer(s, fake(1));
    EXPECT_TRUE(g_released.empty());
    handles::set_pointer(s, fake(2));
    EXPECT_EQ(g_released, std::vector<void*>{fake(1)});
    EXPECT_EQ(handles::slot(s)->pointer, fake(2));
    handles::release(s, false);
    handles::set_pointer(s, fake(3));  // a free slot: ignored
    EXPECT_EQ(g_released.size(), 1u);
}

TEST(Handles, SweepKeepsMarkedSlotsAndReleasesTheRestOnce) {
    Registry r;
    // Slots this test did not make stay alive through its sweeps.
    auto keep_others = [](const std::set<int32_t>& mine) {
        for (int32_t i = 0; i < handles::capacity(); i++)
            if (!mine.count(i) && !(handles::slot(i)->value & handles::kFree)) handles::mark(i, nullptr);
    };
    int32_t live = handles::alloc(fake(1), r.kind);
    int32_t dead = handles::alloc(fake(2), r.kind);
    int32_t moved = handles::alloc(fake(3), r.kind);
    std::set<int32_t> mine{live, dead, moved};

    EXPECT_TRUE(handles::mark(live, nullptr));
    EXPECT_FALSE(handles::mark(live, nullptr));  // already marked
    EXPECT_TRUE(handles::mark(moved, fake(9)));  // marking may carry a new pointer
    EXPECT_FALSE(handles::mark(dead + handles::capacity(), nullptr));
    keep_others(mine);
    handles::sweep();
    EXPECT_EQ(g_released, std::vector<void*>{fake(2)});
    EXPECT_TRUE(handles::slot(dead)->value & handles::kFree);
    EXPECT_EQ(handles::slot(live)->value, static_cast<uint32_t>(r.kind));  // mark cleared
    EXPECT_EQ(handles::slot(moved)->pointer, fake(9));

    // Unmarked now, both go in the next sweep; the dead one is not released again.
    keep_others(mine);
    handles::sweep();
    std::multiset<void*> got(g_released.begin(), g_released.end());
    EXPECT_EQ(got, (std::multiset<void*>{fake(2), fake(1), fake(9)}));
}

TEST(Handles, InvokeMatchingVisitsTheSlotsOfOneKind) {
    Registry r;
    static std::vector<void*> visited;
    visited.clear();
    int32_t a = handles::alloc(fake(1), r.kind);
    int32_t b = handles::alloc(fake(2), 0);
    int32_t c = handles::alloc(fake(3), r.kind);
    handles::invoke_matching(r.kind, [](void* p) { visited.push_back(p); });
    std::multiset<void*> got(visited.begin(), visited.end());
    EXPECT_EQ(got, (std::multiset<void*>{fake(1), fake(3)}));
    for (int32_t s : {a, b, c}) handles::release(s, false);
}

TEST(Handles, CallReleaseNeedsARegisteredKindWithACallback) {
    Registry r;
    for (int32_t kind : {0, -1, handles::kind_count() + 1}) handles::call_release(kind, fake(1));
    EXPECT_TRUE(g_released.empty());
    handles::call_release(r.kind, fake(2));
    EXPECT_EQ(g_released, std::vector<void*>{fake(2)});
    EXPECT_STREQ(handles::kind_name(r.kind), "test");
}

TEST(Handles, ATwentyFirstKindEndsTheProcess) {
    Registry r;
    EXPECT_EXIT(
        {
            while (handles::kind_count() < handles::kMaxKinds) handles::register_kind("filler", nullptr);
            handles::register_kind("one too many", nullptr);
        },
        ::testing::ExitedWithCode(1), "20 kinds");
}

// ---- handle! ----

Cell handle_v(int32_t value, handle::Kind kind) {
    Cell c;
    return *handle::make_at(&c, value, kind);
}

TEST(Handle, FormAndMold) {
    enum class How { Form, Mold, MoldAll };
    struct Row {
        int32_t value;
        uint32_t kind;
        How how;
        const char* want;
    } rows[] = {
        {0x1A2B, 3, How::MoldAll, "#[handle! 00001A2Bh window]"},
        {0x1A2B, 0, How::MoldAll, "#[handle! 00001A2Bh]"},
        {0x1A2B, 3, How::Mold, "handle!"},
        {0x1A2B, 3, How::Form, "00001A2Bh"},
        {-1, 1, How::Form, "FFFFFFFFh"},
        {255, 5, How::MoldAll, "#[handle! 000000FFh rich-text]"},
        {7, 2, How::MoldAll, "#[handle! 00000007h monitor]"},
        {7, 9, How::MoldAll, "#[handle! 00000007h]"},  // a kind without a name
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell v = handle_v(r.value, static_cast<handle::Kind>(r.kind));
        Cell* out = stack::reserve();
        string::make_at(out, 8);
        const int32_t budget = 1000;
        int32_t left = r.how == How::Form
                           ? lookup<&ActionRow::form>(&v, ActionId::Form)(&v, out, nullptr, budget)
                           : lookup<&ActionRow::mold>(&v, ActionId::Mold)(
                                 &v, out, false, r.how == How::MoldAll, false, nullptr, budget, 0);
        std::string got = string::to_std_utf8(out);
        EXPECT_EQ(got, r.want) << "value " << r.value << " kind " << r.kind << " how " << int(r.how);
        EXPECT_EQ(left, budget - static_cast<int32_t>(got.size())) << r.want;
    }
}

TEST(Handle, ComparesByValueOnlyAndNotWithOtherTypes) {
    Cell integer{static_cast<uint32_t>(TypeId::Integer), 0, 5, 0};
    struct Row {
        Cell a;
        Cell b;
        int32_t want;
    } rows[] = {
        {handle_v(5, handle::Kind::Window), handle_v(5, handle::Kind::Font), 0},
        {handle_v(-1, handle::Kind::Fd), handle_v(5, handle::Kind::Fd), -1},
        {handle_v(9, handle::Kind::Fd), handle_v(5, handle::Kind::Fd), 1},
        {handle_v(5, handle::Kind::Fd), integer, kNotComparable},
    };
    for (Row& r : rows) {
        auto slot = lookup<&ActionRow::compare>(&r.a, ActionId::Compare);
        for (CompareOp op : {CompareOp::Equal, CompareOp::SortStrict, CompareOp::Same})
            EXPECT_EQ(slot(&r.a, &r.b, op), r.want) << handle::value_of(&r.a) << " op " << int(op);
    }
    Cell h = handle_v(5, handle::Kind::Fd);
    EXPECT_FALSE(compare::value_compare(&h, &integer, CompareOp::Equal));
    EXPECT_TRUE(compare::value_compare(&h, &integer, CompareOp::NotEqual));
    EXPECT_RAISES(compare::value_compare(&h, &integer, CompareOp::Lesser), Err::InvalidCompare);
}

TEST(Handle, MakersFillEveryWord) {
    test::StackScope scope;
    stack::g_args.base = stack::reserve();  // arguments[0] of a call of our own
    Cell* block = block::push_new(2);
    struct Row {
        Cell* cell;
        int32_t value;
        uint32_t kind;
    } rows[] = {
        {handle::push(0x1A2B, handle::Kind::Window), 0x1A2B, 3},
        {handle::push_empty(), 0, 0},
        {handle::return_(-7, handle::Kind::Fd), -7, 1},
        {handle::box(block, 42, handle::Kind::Font), 42, 4},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(cell::type_of(r.cell), TypeId::Handle) << r.value;
        EXPECT_EQ(handle::value_of(r.cell), r.value);
        EXPECT_EQ(handle::kind_of(r.cell), r.kind) << r.value;
        EXPECT_EQ(handle::slot_of(r.cell), handle::kNoSlot) << r.value;
    }
    EXPECT_EQ(block::rs_length(block), 1);
}

// The collector's mark hook keeps a registered handle's resource through a sweep.
TEST(Handle, TheMarkHookMarksTheRegistrySlot) {
    Registry r;
    int32_t slot = handles::alloc(fake(1), r.kind);
    Cell live = handle_v(1, handle::Kind::Font);
    live.w3 = static_cast<uint32_t>(slot);
    Cell unregistered = handle_v(2, handle::Kind::Font);
    auto mark = registry::row(TypeId::Handle).mark;
    ASSERT_NE(mark, nullptr);
    mark(&unregistered);
    mark(&live);
    EXPECT_TRUE(handles::slot(slot)->value & handles::kMark);
    handles::release(slot, false);
}

}  // namespace
}  // namespace nuv
