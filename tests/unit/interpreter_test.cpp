// The interpreter through its C++ entry points: stepping one expression at a time, and the
// function context given back on every exit. The language-level cases are Nuv case tables
// (tests/lang/interpreter.nuv).
#include "runtime/evaluator/interpreter.h"

#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

// Stepping one expression at a time: each value pushed, the index after it answered, unset at
// the tail with the index unchanged.
TEST(Interpreter, OneExpressionAtATime) {
    eval_environment();
    StackScope scope;
    Cell* code = load_text("1 + 2 * 3 x: 5 'w");
    struct Step {
        int32_t index;
        const char* wanted;
        int32_t next;
    };
    for (const Step& s : {Step{0, "9", 5}, {5, "5", 7}, {7, "w", 8}, {8, "unset", 8}}) {
        const int32_t next = interp::eval_at(code, s.index);
        EXPECT_EQ(mold_value(*stack::top()), s.wanted) << "index " << s.index;
        EXPECT_EQ(next, s.next) << "index " << s.index;
        stack::drop(1);
    }
}

// A function context's values word points into the stack only while a call runs: every exit,
// recursion and errors included, gives it back.
TEST(Interpreter, FunctionContextRestoredOnEveryExit) {
    struct Row {
        const char* source;
        const char* wanted;
    };
    for (const Row& r : {Row{"f: func [a] [a]  f 1", "1"},
                         {"f: func [a] [return a + 1 a] f 1", "2"},
                         {"f: func [a] [a / 0] f 1", "error zero-divide"},
                         {"f: func [n] [either n < 1 [1 / 0] [f n - 1]] f 5", "error zero-divide"},
                         {"f: func [n] [either n < 1 [0] [1 + f n - 1]] f 50", "50"},
                         {"f: func [n] [f n + 1] f 1", "error stack-overflow"}}) {
        EXPECT_EQ(eval_text(r.source), r.wanted) << "source: " << r.source;
        const Cell* f = context::global_slot(symbol::make_cstr("f"));
        ASSERT_TRUE(cell::is(f, TypeId::Function)) << "source: " << r.source;
        EXPECT_EQ(context::cell_of(function::context_of(f))->w2, 0u) << "source: " << r.source;
        EXPECT_EQ(frames::depth(), 0u) << "source: " << r.source;
    }
}

}  // namespace
}  // namespace nuv::test
