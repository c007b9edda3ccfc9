// The interpreter's calls by counts: calling a function, leaving it by return or exit (through
// the conditionals too) and the operators it computes itself allocate nothing per call and
// leave both stacks as they found them.
#include <cstdint>
#include <string>

#include "runtime/evaluator/interpreter.h"
#include "runtime/memory.h"
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

}  // namespace
}  // namespace nuv::test
