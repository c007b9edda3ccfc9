// The interpreter's calls by counts: calling a function, leaving it by return or exit (through
// the conditionals too) and the operators it computes itself allocate nothing per call and
// leave both stacks as they found them; a callee's call plan is made once, whatever the
// program's names and however many callees a loop calls.
#include <cstdint>
#include <iterator>
#include <string>

#include "runtime/evaluator/interpreter.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

uint64_t allocations() { return memory::counters().allocations; }

// Each row defines f, runs it once, then runs `loop N [r: f 1]` for two counts: the
// allocations of the two runs must be the same (the texts differ only in the count), so no call
// allocates. 30,000
// calls also overflow the argument stack if a call leaves one cell behind.
TEST(InterpreterCalls, NoAllocationPerCall) {
    struct Row {
        const char* definition;
        const char* wanted;  // r after the calls
    };
    for (const Row& row : {Row{"f: func [x] [x + 1]", "2"},
                           {"f: func [x] [return x + 1]", "2"},
                           {"f: func [x] [either x < 0 [return 0] [return x * 2] x]", "2"},
                           {"f: func [x] [if x > 0 [exit] x]", "unset"},
                           {"f: func [x /local y] [y: x * 3 y - 1]", "2"},
                           {"f: func [x] [(x + 1.5) < 3]", "true"}}) {
        ASSERT_EQ(eval_text(std::string(row.definition) + " true"), "true") << row.definition;
        eval_text("loop 1 [r: f 1] :r");  // the first run makes what later ones reuse
        const uint64_t start = allocations();
        EXPECT_EQ(eval_text("loop 10 [r: f 1] :r"), row.wanted) << row.definition;
        const uint64_t few = allocations() - start;
        EXPECT_EQ(eval_text("loop 30000 [r: f 1] :r"), row.wanted) << row.definition;
        const uint64_t many = allocations() - start - few;
        EXPECT_EQ(many, few) << row.definition;
        EXPECT_EQ(frames::depth(), 0u) << row.definition;
    }
}

// Plans made by `recycle BEFORE loop COUNT [CALLS]`: the collection forgets every plan, so each
// run makes those of its callees anew, and no more however long it loops.
uint64_t plans_of_run(const std::string& before, const std::string& calls, int count) {
    const std::string code =
        "recycle " + before + " loop " + std::to_string(count) + " [" + calls + "] true";
    eval_environment();  // start-up's own plans are not counted
    const uint64_t start = interp::plans_made();
    EXPECT_EQ(eval_text(code), "true") << code;
    return interp::plans_made() - start;
}

// Which global words exist, the argument's name among them, decides where the callee's
// information block lands; none may make a call re-make a plan. Each row makes new global
// words (its function's name, every other row a variable too) and keeps them, so the rows'
// callees land at many different places.
TEST(InterpreterCalls, PlansMadeOncePerCalleeWhateverTheNames) {
    const char* arguments[] = {"i", "j", "a", "s", "total", "acc", "x", "n"};
    plans_of_run("", "", 1);  // recycle and loop compiled before the count
    for (int row = 0; row < 128; row++) {
        const std::string a = arguments[row % std::size(arguments)];
        const std::string step = "step-" + std::to_string(row);
        const std::string definition = (row % 2 ? "new-" + std::to_string(row) + ": 0 " : "") +
                                       step + ": func [" + a + "] [" + a + " + 1] " + step + " 1";
        SCOPED_TRACE(definition);
        ASSERT_EQ(eval_text(definition), "2");
        const uint64_t few = plans_of_run("", step + " 1", 100);
        EXPECT_EQ(plans_of_run("", step + " 1", 10000), few);
        EXPECT_LE(few, 4u);  // recycle, loop, the step function, +
    }
}

// A loop calling hundreds of callees: each plan is made once a run.
TEST(InterpreterCalls, PlansMadeOncePerCalleeForManyCallees) {
    std::string definitions, calls;
    constexpr int kCallees = 300;
    for (int k = 0; k < kCallees; k++) {
        const std::string name = "callee-" + std::to_string(k);
        definitions += name + ": func [v] [v + " + std::to_string(k) + "] ";
        calls += name + " 1 ";
    }
    ASSERT_EQ(eval_text(definitions + calls), "300");  // each spec compiled before the count
    const uint64_t few = plans_of_run("", calls, 10);
    EXPECT_EQ(plans_of_run("", calls, 1000), few);
    EXPECT_LE(few, uint64_t{kCallees} + 3);  // recycle, loop, each callee, +
}

NodeId info_of(const char* name) { return context::global_slot(symbol::make_cstr(name))->w3; }

// Turns the collector switch off for its lifetime: nothing is freed, so nodes are taken in order.
struct CollectorOff {
    CollectorOff() { roots::set_collector_on(false); }
    ~CollectorOff() { roots::set_collector_on(true); }
    CollectorOff(const CollectorOff&) = delete;
    CollectorOff& operator=(const CollectorOff&) = delete;
};

// Two functions of one loop whose information nodes pick the same slot: the second's plan goes
// to a slot past it, and both keep theirs (and their own bodies).
TEST(InterpreterCalls, PlansMadeOnceForCalleesSharingASlot) {
    ASSERT_EQ(eval_text("home-a: func [v] [v + 1] home-a 1"), "2");
    const uint32_t home = info_of("home-a") % interp::kPlanSlots;
    {
        CollectorOff off;
        uint32_t pad = 0;
        for (int tries = 0; tries < 8; tries++) {
            for (uint32_t k = 0; k < pad; k++) memory::alloc_cells(1);
            const NodeId mark = memory::alloc_cells(1);
            ASSERT_EQ(eval_text("home-b: func [v] [v + 2] home-b 1"), "3");
            const NodeId got = info_of("home-b");
            if (got % interp::kPlanSlots == home) break;
            // The next definition, made after the padding and a mark, lands as far past its mark.
            const NodeId after = memory::alloc_cells(1);
            const uint32_t lands = after + 1 + (got - mark);
            pad = (home + interp::kPlanSlots - lands % interp::kPlanSlots) % interp::kPlanSlots;
        }
    }
    ASSERT_EQ(info_of("home-b") % interp::kPlanSlots, home);
    ASSERT_NE(info_of("home-b"), info_of("home-a"));
    const uint64_t few = plans_of_run("", "home-a 1 home-b 1", 100);
    EXPECT_EQ(plans_of_run("", "home-a 1 home-b 1", 10000), few);
    EXPECT_LE(few, 5u);  // recycle, loop, both functions, +
    EXPECT_EQ(eval_text("recycle loop 3 [r: reduce [home-a 1 home-b 1]] r"), "[2 3]");
}

}  // namespace
}  // namespace nuv::test
