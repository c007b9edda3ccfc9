// Compiled units by counts: when a block gets its unit, that a loop runs its body's unit without
// making another or handing back, that a change a unit rests on (a redefined operator, a block
// changed while it runs) hands the rest back and gives the interpreter's result, and that a
// collection drops the units of blocks that died.
#include <cstdint>
#include <string>

#include "runtime/evaluator/units.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

struct Delta {
    units::Counters start = units::counters();
    uint64_t built() const { return units::counters().built - start.built; }
    uint64_t runs() const { return units::counters().runs - start.runs; }
    uint64_t handed_back() const { return units::counters().handed_back - start.handed_back; }
    uint64_t dropped() const { return units::counters().dropped - start.dropped; }
    uint64_t inline_bodies() const { return units::counters().inline_bodies - start.inline_bodies; }
};

// These tests run in the default (lazy) mode: a block gets its unit on its second run.
bool lazy() { return units::settings().mode == units::Mode::Lazy; }

TEST(Units, ABlockGetsItsUnitOnItsSecondRun) {
    if (!lazy()) GTEST_SKIP();
    eval_environment();
    ASSERT_EQ(eval_text("units-b: [1 + 2] true"), "true");
    Delta d;
    EXPECT_EQ(eval_text("do units-b"), "3");
    EXPECT_EQ(d.built(), 0u);
    EXPECT_EQ(eval_text("do units-b"), "3");
    EXPECT_EQ(d.built(), 1u);
    EXPECT_EQ(d.runs(), 1u);
}

// One unit for the loop body and one for the function's body, whatever the count; every run
// after the second is compiled and none hands back.
TEST(Units, ALoopRunsItsBodyCompiled) {
    if (!lazy()) GTEST_SKIP();
    ASSERT_EQ(eval_text("units-f: func [x] [either x < 3 [x] [x * 2]] true"), "true");
    for (int count : {10, 1000}) {
        Delta d;
        const std::string code = "r: 0 loop " + std::to_string(count) + " [r: r + units-f 5] r";
        EXPECT_EQ(eval_text(code), std::to_string(10 * count)) << count;
        EXPECT_LE(d.built(), 3u) << count;  // the loop body, the function's body, the outer block
        EXPECT_GE(d.runs(), static_cast<uint64_t>(2 * count - 4)) << count;
        EXPECT_EQ(d.handed_back(), 0u) << count;
    }
}

// A callee that redefines the operator its caller applies next: the caller's unit no longer
// holds after the call, hands the rest of the expression back, and the new operator is used, as
// the interpreter would. The next run builds a new unit.
// A recursive function whose calls sit in parens and operators runs every call after the
// first ones in its caller's loop, handing nothing back; a redefinition deep inside the
// recursion hands back each caller in turn and gives the interpreter's result.
TEST(Units, RecursionRunsInOneLoop) {
    if (!lazy()) GTEST_SKIP();
    eval_environment();
    ASSERT_EQ(eval_text("units-fib: func [n] [either n < 2 [n] [(units-fib n - 1) + units-fib n - 2]] "
                        "units-fib 2 true"),
              "true");
    Delta d;
    EXPECT_EQ(eval_text("units-fib 15"), "610");
    EXPECT_GT(d.inline_bodies(), 1900u);  // of 1,973 calls
    EXPECT_EQ(d.handed_back(), 0u);
    Delta again;
    EXPECT_EQ(eval_text("units-g: func [n] [either n < 1 [units-g: func [n] [100] 0] [(units-g n - 1) + 1]] "
                        "units-g 3 units-g 3"),
              "100");
    EXPECT_GT(again.handed_back(), 0u);
}

TEST(Units, ARedefinitionMidExpressionIsSeenAtTheNextStep) {
    if (!lazy()) GTEST_SKIP();
    ASSERT_EQ(eval_text("units-plus: :+ units-g: func [] [set '+ :- 10] true"), "true");
    Delta d;
    EXPECT_EQ(eval_text("r: copy [] loop 3 [append r 100 + units-g + 1 set '+ :units-plus] r"),
              "[109 109 109]");
    EXPECT_EQ(eval_text("r: copy [] units-h: [append r 100 + units-g + 1 set '+ :units-plus] "
                        "loop 3 [do units-h] r"),
              "[109 109 109]");
    EXPECT_GE(d.handed_back(), 1u);
    EXPECT_GE(d.dropped(), 1u);
    EXPECT_EQ(eval_text("1 + 1"), "2");
}

// A block that appends to itself while it runs: the interpreter reads the new cells, so the
// compiled run must hand back and read them too.
TEST(Units, ABlockThatGrowsWhileItRunsIsReadAsItStands) {
    if (!lazy()) GTEST_SKIP();
    Delta d;
    EXPECT_EQ(eval_text("k: 0 units-c: [k: k + 1 if k = 2 [append units-c [k: k + 100]]] "
                        "loop 2 [do units-c] k"),
              "102");
    EXPECT_GE(d.built(), 1u);
    EXPECT_GE(d.runs(), 1u);
    EXPECT_GE(d.handed_back(), 1u);
}

// Building a unit makes nothing the interpreter would not have made by then: a callee named in
// a branch never taken keeps no compiled spec (the interpreter makes one at the first call), so
// the memory figures are the same in every mode.
TEST(Units, BuildingMakesNoCalleeSpec) {
    if (!lazy()) GTEST_SKIP();
    ASSERT_EQ(eval_text("units-g: func [a b c] [a] units-k: func [x] [either x > 100 [units-g 1 2 3] [x]] "
                        "loop 3 [units-k 1]"),
              "1");
    Delta d;
    EXPECT_EQ(eval_text("units-k 2"), "2");
    const Cell* g = context::global_slot(symbol::make_cstr("units-g"));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(interp::compiled_spec_made(g), 0u);
    EXPECT_EQ(eval_text("units-k 200"), "1");  // the first call makes it
    EXPECT_NE(interp::compiled_spec_made(context::global_slot(symbol::make_cstr("units-g"))), 0u);
}

// A collection drops the unit of a block that died (its node id may be reused).
TEST(Units, ACollectionDropsTheUnitsOfDeadBlocks) {
    if (!lazy()) GTEST_SKIP();
    ASSERT_EQ(eval_text("units-d: copy [1 + 2] do units-d do units-d true"), "true");
    Delta d;
    EXPECT_EQ(eval_text("units-d: none recycle true"), "true");
    EXPECT_GE(d.dropped(), 1u);
}

}  // namespace
}  // namespace nuv::test
