// The parse engine's rules stack: every call, whether it ends normally, by an error, or by an
// unwinding that passes through it, leaves the stack and the argument stack where it found them.
#include "runtime/evaluator/parse.h"

#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

TEST(ParseStacks, BackAtBaseAfterEveryWayOut) {
    struct Case {
        const char* source;
        const char* wanted;
    };
    for (Case c : {
             Case{R"(parse "aab" [some "a" "b"])", "true"},
             {R"(parse [1 [2]] [collect [keep integer! into [collect [keep integer!]]]])", "[1 [2]]"},
             {R"(parse "ab" ["a" (parse "x" [some "x"]) "b"])", "true"},
             {R"(r: [r] parse "a" r)", "error parse-stack"},
             {R"(parse "a" [any])", "error parse-end"},
             {R"(parse "a" [collect [keep (do make error! "x")]])", "error message"},
             {R"(catch [parse "ab" [collect ["a" (throw 7)]]])", "7"},
             {R"(catch [parse "ab" ["a" (parse "b" [(throw 8)])]])", "8"},
             {R"(parse "ab" ["a" (r: [r] try [parse "b" r]) "b"])", "true"},
             {R"(parse/trace "a" ["a"] func [e m r i s] [do make error! "cb"])", "error message"},
             {R"(catch [parse/trace "a" ["a"] func [e m r i s] [throw 9]])", "9"},
             {R"(f: does [parse "aa" [some ["a" (return 5)]]] f)", "5"},
         }) {
        StackScope scope;
        Cell* top = stack::g_args.top;
        EXPECT_EQ(eval_text(c.source), c.wanted) << c.source;
        EXPECT_EQ(parse::depth(), 0) << c.source;
        EXPECT_EQ(stack::g_args.top, top) << c.source;
        EXPECT_EQ(eval_text(R"(parse "ab" [collect [keep skip] skip])"), "[#\"a\"]") << c.source;
        EXPECT_EQ(parse::depth(), 0) << c.source;
    }
}

}  // namespace
}  // namespace nuv::test
