// triple!: the text form, its budget, mold ignoring its flags, and the actions it lacks.
#include "runtime/datatypes/triple.h"

#include <string>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

class Triple : public ::testing::Test {
protected:
    test::StackScope scope;
};

Cell triple_of(int32_t a, int32_t b, int32_t c) {
    Cell t;
    triple::set(&t, a, b, c);
    return t;
}

TEST_F(Triple, FormAndMold) {
    struct Row {
        Cell value;
        int32_t budget;
        const char* want;
        int32_t left;
    } rows[] = {
        {triple_of(1, -2, 2147483647), kNoLimit, "make triple! [1 -2 2147483647]", kNoLimit - 30},
        {triple_of(INT32_MIN, INT32_MIN, INT32_MIN), 100,
         "make triple! [-2147483648 -2147483648 -2147483648]", 100 - 50},
        {triple_of(10, 20, 30), 100, "make triple! [10 20 30]", 77},
        {triple_of(0, 0, 0), 5, "make triple! [0 0 0]", 5 - 20},
    };
    const ActionRow& row = registry::row(T::Triple);
    for (const Row& r : rows) {
        // form, then mold under every combination of its flags: the same text each time.
        for (int how = 0; how < 9; how++) {
            test::StackScope keep;
            Cell* buffer = string::make_at(stack::reserve(), 16);
            Cell v = r.value;
            const bool only = how & 1, all = how & 2, flat = how & 4;
            const int32_t left = how == 8 ? row.form(&v, buffer, nullptr, r.budget)
                                          : row.mold(&v, buffer, only, all, flat, nullptr,
                                                     r.budget, how);
            EXPECT_EQ(string::to_std_utf8(buffer), r.want) << "how " << how;
            EXPECT_EQ(left, r.left) << r.want << " how " << how;
        }
    }
}

// A triple inside a block buffer formed through a pointer into it: the slot reads the words
// before its output grows (under stress every allocation moves the block).
TEST_F(Triple, FormOfAValueInABlock) {
    Cell* b = block::push_new(1);
    for (int i = 0; i < 4; i++) {
        Cell t = triple_of(i, -i, 1000 + i);
        block::append_cell(b, &t);
    }
    Cell* buffer = string::make_at(stack::reserve(), 1);
    for (int i = 0; i < 4; i++) {
        Cell v = *block::rs_abs_at(b, i);
        triple::form(&v, buffer, nullptr, kNoLimit);
    }
    EXPECT_EQ(string::to_std_utf8(buffer),
              "make triple! [0 0 1000]make triple! [1 -1 1001]make triple! [2 -2 1002]"
              "make triple! [3 -3 1003]");
}

TEST_F(Triple, NoOtherAction) {
    Cell t = triple_of(1, 2, 3);
    EXPECT_RAISES(lookup<&ActionRow::make>(&t, ActionId::Make), Err::ExpectArg);
    EXPECT_RAISES(lookup<&ActionRow::add>(&t, ActionId::Add), Err::ExpectArg);
    EXPECT_RAISES(lookup<&ActionRow::path_access>(&t, ActionId::PathAccess), Err::ExpectArg);
    const ActionRow& row = registry::row(T::Triple);
    EXPECT_EQ(row.compare, nullptr);
    EXPECT_EQ(row.to, nullptr);
    EXPECT_NE(row.form, nullptr);
    EXPECT_NE(row.mold, nullptr);
}

}  // namespace
}  // namespace nuv
