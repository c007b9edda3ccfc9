// The parse engine's rules stack: every call, whether it ends normally, by an error, or by an
// unwinding that passes through it, leaves the stack and the argument stack where it found them.
#include "runtime/evaluator/parse.h"
#include "runtime/memory.h"
#include "runtime/syntax/lexer.h"

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
             {R"(parse "xab" [any [p: "a" (do make error! "x") | skip]])", "error message"},
             {R"(parse "xab" [any ["a" undefined-rule-word | skip]])", "error parse-rule"},
             {R"(parse to binary! "x 1" [any [integer! (do make error! "x") | skip]])", "error message"},
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

// Over 20,000 units, searches, runs and loops that skip positions no alternative can start at
// take up a few items, not some per position.
TEST(ParseCounts, RunsAndSkipsTakeNoItemPerPosition) {
    struct Case {
        const char* rule;
        const char* wanted;
        uint64_t most;
    };
    StackScope scope;
    eval_text(R"(d: make bitset! "0123456789" x: make bitset! "x")");
    for (Case c : {
             Case{"[to #\"1\" to end]", "true", 4},
             {"[thru \"1x\" to end]", "true", 4},
             {"[some x \"1\" to end]", "true", 5},
             {"[some [#\"Y\" | skip]]", "true", 40},
             {"[any [p: some d (n: n + 1) | skip]]", "true", 20},
             {"[to [\"12\" | \"1x\"] to end]", "true", 12},
             {"[thru [some d] to end]", "true", 12},
             {"[2 5 [\"1\" | skip] to end]", "true", 40},
         }) {
        eval_text(R"(n: 0 s: append/dup copy "" "x" 10000 append s "1" append/dup s "x" 10000)");
        uint64_t before = parse::items_taken();
        EXPECT_EQ(eval_text(std::string("parse s ") + c.rule), c.wanted) << c.rule;
        EXPECT_LE(parse::items_taken() - before, c.most) << c.rule;
    }
}


// Over binary input a datatype reads one value per match, in windows that double: small values
// take one lexer run each, a 4 KB block a few.
TEST(ParseCounts, BinaryValuesReadInWindowsThatFollowTheirLength) {
    StackScope scope;
    struct Case {
        const char* input;
        const char* rule;
        uint64_t most;
    };
    for (Case c : {
             Case{R"(append/dup copy "" " [a]" 100)", "[some block!]", 101},
             {R"(append append/dup copy "[" "a " 2048 "]")", "[block!]", 8},
             {R"(append/dup copy "" " a/b/c" 100)", "[some path!]", 101},
         }) {
        eval_text(std::string("b: to binary! ") + c.input);
        const uint64_t before = lexer::runs_started();
        EXPECT_EQ(eval_text(std::string("parse b ") + c.rule), "true") << c.input;
        EXPECT_LE(lexer::runs_started() - before, c.most) << c.input;
    }
}

// A traced parse leaves what each callback made to the collector: the memory the process holds
// after one over 200,000 pairs stays within twice what it held after the same parse untraced.
// (What is in use at the end depends on where the collector's cycle stands, up to the frames'
// room, so it is what the process holds from the system that is compared.)
TEST(ParseScale, TracedCallsLeaveTheirGarbageToTheCollector) {
    StackScope scope;
    eval_text(R"(s: append/dup copy "" "ab" 200000 rule: [some ["a" "b"]])");
    ASSERT_EQ(eval_text("parse s rule"), "true");
    const int64_t plain = std::stoll(eval_text("pick stats/info 4"));
    ASSERT_EQ(eval_text("parse/trace s rule func [e m r i st] [true]"), "true");
    const int64_t traced = std::stoll(eval_text("pick stats/info 4"));
    EXPECT_LE(traced, 2 * plain) << "untraced " << plain;
}

}  // namespace
}  // namespace nuv::test
