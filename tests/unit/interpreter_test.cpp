// The interpreter over lexed text: evaluation order, words and paths, calls with every argument
// mode and refinements, function bodies, exits and the errors of each step.
#include "runtime/evaluator/interpreter.h"

#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

TEST(Interpreter, Expressions) {
    check_cases({
        {"1 + 2 * 3", "9"},
        {"negate 1 + 2", "-3"},
        {"x: 42 x", "42"},
        {"x: y: 5 x + y", "10"},
        {"b: [1 2 3] b/2", "2"},
        {"b: [1 2 3] b/2: 20 b", "[1 20 3]"},
        {"b: [1 2 3] i: 3 b/:i", "3"},
        {"b: [1 [7 8]] b/2/1", "7"},
        {"(1 + 1) * 5", "10"},
        {"'abc", "abc"},
        {"x: 3 :x", "3"},
        {"[]", "[]"},
        {"", "unset"},
        {"1 2 3", "3"},
        {"q: func [:v] [v] q (1 + 2)", "(1 + 2)"},
        {"l: func ['v] [v] l (1 + 2)", "3"},
        {"l: func ['v] [v] l abc", "abc"},
        {"l: func ['v [unset! word!]] [:v] l", "unset"},
    });
}

TEST(Interpreter, Functions) {
    check_cases({
        {"f: func [a /twice] [either twice [a * 2] [a]] f 3", "3"},
        {"f: func [a /twice] [either twice [a * 2] [a]] f/twice 3", "6"},
        {"f: func [a /by n] [either by [a * n] [a]] f/by 3 4 + 1", "15"},
        {"f: func [a b] [a - b] f 10 f 3 1", "8"},
        {"f: func [x] [x + 1] mold-me: :f", "func [x][x + 1]"},
        {"f: func [x] [either x < 0 [return 0] [] x] f -5", "0"},
        {"f: func [x] [either x < 0 [return 0] [] x] f 5", "5"},
        {"f: func [] [exit 1] f", "unset"},
        {"f: func [n /local acc] [acc: n * 2 acc] f 4", "8"},
        {"g: has [t] [t: 7 t] g", "7"},
        {"d: does [1 + 1] d", "2"},
        {"fact: func [n] [either n < 2 [1] [n * fact n - 1]] fact 6", "720"},
        {"f: func [a /x /y] [either x [either y [3] [1]] [0]] f/y/x 0", "3"},
        {"f: func [a /x b /y c] [reduce-me: [a b c] b + c] f/y/x 1 2 3", "5"},
        {"mold [1 2]", "\"[1 2]\""},
        {"mold/part [1 2 3] 3", "\"[1 \""},
        {"mold/part/only [1 2 3] 1 + 2", "\"1 2\""},
        {"mold/part/part [1] 1 1", "error dup-refine"},
    });
}

TEST(Interpreter, Errors) {
    check_cases({
        {"x:", "error need-value"},
        {"undefined-word-here", "error no-value"},
        {"1 +", "error no-arg"},
        {"+ 1 2", "error no-op-arg"},
        {"negate \"a\"", "error expect-arg"},
        {"f: func [a /t] [a] f/t/t 1", "error dup-refine"},
        {"f: func [a /t] [a] f/u 1", "error no-refine"},
        {"f: func [a] [f a + 1] f 1", "error stack-overflow"},
        {"1 / 0", "error zero-divide"},
        {"b: [1] b/(unset-thing)", "error no-value"},
        {"f: func [a] [a] f/1 2", "error bad-refine"},
        {"#system [1]", "error nuv-system"},
        {"#system 1", "1"},
        {"#other [1]", "[1]"},
        {"x: 1 x/1", "error bad-path-type"},
        {"b: [1] c: b/3", "none"},
    });
}

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
