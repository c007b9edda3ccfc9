// Cycle detection: the stack's operations, its depth limit, and the markers a walk writes.
#include "runtime/cycles.h"

#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

struct CycleScope {
    CycleScope() { cycles::reset(); }
    ~CycleScope() { cycles::reset(); }
};

TEST(Cycles, PushPopDropAndFind) {
    CycleScope scope;
    for (NodeId n : {11u, 12u, 13u, 14u}) cycles::push(n);
    EXPECT_EQ(cycles::depth(), 4);
    EXPECT_TRUE(cycles::find(11));
    EXPECT_TRUE(cycles::find(14));
    EXPECT_FALSE(cycles::find(15));
    cycles::pop();
    EXPECT_FALSE(cycles::find(14));
    cycles::drop(2);
    EXPECT_EQ(cycles::depth(), 1);
    EXPECT_FALSE(cycles::find(12));
    cycles::drop(5);  // more than there is
    EXPECT_EQ(cycles::depth(), 0);
    cycles::pop();  // on an empty stack
    EXPECT_EQ(cycles::depth(), 0);
    {
        cycles::push(1);
        cycles::Guard guard;
        cycles::push(2);
        cycles::push(3);
    }
    EXPECT_EQ(cycles::depth(), 1);
    cycles::reset();
    EXPECT_FALSE(cycles::find(1));
}

TEST(Cycles, TheThousandthEntryRaisesTooDeepAndEmptiesTheStack) {
    CycleScope scope;
    for (NodeId n = 1; n < static_cast<NodeId>(cycles::kCapacity); n++) cycles::push(n);
    EXPECT_EQ(cycles::depth(), cycles::kCapacity - 1);
    EXPECT_RAISES(cycles::push(5000), Err::TooDeep);
    EXPECT_EQ(cycles::depth(), 0);
}

// Blocks nested `levels` deep: each holds the next, the innermost is empty.
Cell* nested_blocks(int levels) {
    Cell* outer = block::push_new(1);
    Cell level = *outer;
    for (int i = 1; i < levels; i++) level = *block::make_in(&level, 1);
    return outer;
}

TEST(Cycles, DeepCopyOfAThousandLevelsRaisesTooDeep) {
    CycleScope scope;
    struct Row {
        int levels;
        bool too_deep;
    } rows[] = {{999, false}, {1000, true}};
    for (const Row& r : rows) {
        test::StackScope stack_scope;
        Cell* outer = nested_blocks(r.levels);
        if (r.too_deep) {
            EXPECT_RAISES(block::copy_deep(outer, true, false), Err::TooDeep) << r.levels;
        } else {
            Cell* copy = block::copy_deep(outer, true, false);
            EXPECT_NE(cell::node(copy), cell::node(outer)) << r.levels;
        }
        EXPECT_EQ(cycles::depth(), 0) << r.levels;
    }
}

TEST(Cycles, DetectWritesTheMarkerOfTheType) {
    CycleScope scope;
    constexpr NodeId kOnStack = 4242;
    struct Row {
        TypeId type;
        bool mold;
        const char* want;
    } rows[] = {
        {TypeId::Block, true, "[...]"},
        {TypeId::Hash, true, "[...]"},
        {TypeId::Paren, true, "(...)"},
        {TypeId::Map, true, "#[...]"},
        {TypeId::Object, true, "make object! [...]"},
        {TypeId::Path, true, "..."},
        {TypeId::LitPath, true, "..."},
        {TypeId::SetPath, true, "..."},
        {TypeId::GetPath, true, "..."},
        {TypeId::String, true, ""},
        {TypeId::Block, false, "..."},
        {TypeId::Object, false, "..."},
    };
    cycles::push(kOnStack);
    for (const Row& r : rows) {
        test::StackScope stack_scope;
        Cell* out = stack::reserve();
        string::make_at(out, 16);
        Cell value{static_cast<uint32_t>(r.type), 0, kOnStack, 0};
        if (r.type == TypeId::Object) value = Cell{static_cast<uint32_t>(r.type), kOnStack, 0, 0};
        int32_t budget = 100;
        std::string what = std::string(type_name(r.type)) + (r.mold ? " mold" : " form");
        EXPECT_TRUE(cycles::detect(&value, out, budget, r.mold)) << what;
        EXPECT_EQ(string::to_std_utf8(out), r.want) << what;
        EXPECT_EQ(budget, 100 - static_cast<int32_t>(std::string(r.want).size())) << what;

        Cell elsewhere = value;
        elsewhere.w1 = elsewhere.w2 = 7;
        EXPECT_FALSE(cycles::detect(&elsewhere, out, budget, r.mold)) << what;
        EXPECT_EQ(string::to_std_utf8(out), r.want) << what;
    }
}

}  // namespace
}  // namespace nuv
