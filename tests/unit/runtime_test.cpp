// Start-up: the root block's first values and the argument stack over its block.

#include "runtime/datatypes/block.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

TEST(Runtime, RootBlockHoldsTheStacksAndTheSymbolBlock) {
    Cell* root = roots::root();
    ASSERT_EQ(cell::type_of(root), TypeId::Block);
    memory::SeriesBuf* rb = memory::buf_of(root);
    EXPECT_TRUE(rb->flags & memory::kExternal);
    EXPECT_GE(rb->size / sizeof(Cell), static_cast<size_t>(roots::kRootCells));
    struct Want {
        int32_t cells;
        bool external;
    } want[] = {{stack::kArgCells, true}, {stack::kFrameCells, true}, {roots::kSymbolCells, false}};
    for (int i = 0; i < 3; i++) {
        const Cell* c = block::rs_abs_at(root, i);
        ASSERT_EQ(cell::type_of(c), TypeId::Block) << i;
        memory::SeriesBuf* b = memory::buf_of(c);
        EXPECT_GE(b->size / sizeof(Cell), static_cast<size_t>(want[i].cells)) << i;
        EXPECT_EQ((b->flags & memory::kExternal) != 0, want[i].external) << i;
    }
    EXPECT_EQ(stack::g_args.bottom, memory::buf_of(block::rs_abs_at(root, 0))->cells());
}

// Root values by index: the cell and its node; an index past the roots names no value and ends
// the process rather than read outside the root block.
TEST(Runtime, RootCellAndRootNode) {
    const Cell* root = roots::root();
    for (int32_t i = 0; i < 3; i++) {
        EXPECT_EQ(roots::root_cell(i), block::rs_abs_at(root, i)) << i;
        EXPECT_EQ(roots::root_node(i), cell::node(block::rs_abs_at(root, i))) << i;
    }
    const int32_t count = block::count(cell::node(root));
    EXPECT_EQ(roots::root_cell(count - 1), block::rs_abs_at(root, count - 1));
    EXPECT_EXIT(roots::root_cell(count), ::testing::ExitedWithCode(1), "root-cell past the roots");
    EXPECT_EXIT(roots::root_node(-1), ::testing::ExitedWithCode(1), "root-cell past the roots");
}

TEST(Runtime, ArgumentStackOverflowRaisesAndBacksOff) {
    test::StackScope scope;
    Cell v{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
    Err got = test::raised_by([&] {
        for (int i = 0; i < stack::kArgCells + 1; i++) stack::push(&v);
    });
    EXPECT_STREQ(err_word(got), "stack-overflow");
    EXPECT_EQ(stack::g_args.top, stack::g_args.end - 5);
}

TEST(Runtime, StackOperations) {
    test::StackScope scope;
    stack::g_args.base = stack::g_args.top;
    Cell a{static_cast<uint32_t>(TypeId::Integer), 0, 1, 0};
    Cell b{static_cast<uint32_t>(TypeId::Integer), 0, 2, 0};
    stack::push(&a);
    stack::push(&b);
    EXPECT_EQ(stack::top()->w2, 2u);
    EXPECT_EQ(stack::set_last(&b), stack::arg(0));
    EXPECT_EQ(stack::arg(0)->w2, 2u);
    EXPECT_EQ(stack::keep_one(), stack::g_args.base);
    EXPECT_EQ(stack::g_args.top, stack::g_args.base + 1);
    stack::drop(1000000);  // never below the bottom
    EXPECT_EQ(stack::g_args.top, stack::g_args.bottom);
    EXPECT_EQ(stack::top(), stack::g_args.bottom);
}

}  // namespace
}  // namespace nuv
