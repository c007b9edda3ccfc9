// The conditionals (unless, any, all, switch, case, and the truth tests of if and either) and
// the loops over series (foreach, forall, remove-each) over lexed text: results, exits, bodies
// that change the series they walk, and the errors of each; then the iteration steps alone.
#include "runtime/evaluator/natives_loops.h"

#include <cmath>
#include <limits>

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

class Loops : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { eval_environment(); }
};

TEST_F(Loops, TruthTests) {
    check_cases({
        {"if () [1]", "1"},
        {"either () [1] [2]", "error no-return"},
        {"either none [1] [2]", "2"},
        {"either 0 [1] [2]", "1"},
        {"unless false [1]", "1"},
        {"unless none [1]", "1"},
        {"unless true [1]", "none"},
        {"unless () [1]", "none"},
        {"any [false none 3 4]", "3"},
        {"any [false none]", "none"},
        {"any []", "none"},
        {"any [() 2]", "unset"},
        {"n: 0 any [n: n + 1 n: n + 1] n", "1"},
        {"all []", "none"},
        {"all [1 2 3]", "3"},
        {"n: 0 all [n: 1 none n: 3] n", "1"},
        {"all [1 ()]", "unset"},
        {"any [1 / 0]", "error zero-divide"},
    });
}

TEST_F(Loops, Switch) {
    check_cases({
        {"switch 2 [1 [10] 2 [20] 3 [30]]", "20"},
        {"switch [a] [[a] [1]]", "none"},
        {"switch/default [a] [[a] [1]] [9]", "9"},
        {"switch \"A\" [\"a\" [1]]", "1"},
        {"switch 1 [1.0 [2]]", "none"},
        {"switch 2 [1 [10] 2 3 [30]]", "30"},
        {"switch/default 4 [1 [10]] [40]", "40"},
        {"switch/default 1 [1] [40]", "none"},
        {"switch 'b [a [1] b [2]]", "2"},
    });
}

TEST_F(Loops, Case) {
    check_cases({
        {"case [false [1] true [2] true [3]]", "2"},
        {"case [false [1]]", "none"},
        {"case []", "none"},
        {"case [false 1 true 2 + 3]", "5"},
        {"case/all [true [1] false [2]]", "none"},
        {"case/all [false [1] true [2]]", "2"},
        {"n: 0 case/all [true [n: n + 1] true [n: n + 10]] n", "11"},
        {"n: 0 case [false [n: 1] true [2]] n", "0"},
        {"case [true]", "error need-value"},
        {"case [false [1] 2]", "error need-value"},
        {"case [() [1]]", "error no-return"},
    });
}

TEST_F(Loops, Foreach) {
    check_cases({
        {"s: 0 foreach x [1 2 3] [s: s + x] s", "6"},
        {"n: 0 foreach [a b] [1 2 3] [n: n + 1] n", "2"},
        {"foreach [a b] [1 2 3] [b]", "none"},
        {"foreach [a b] [1 2 3] [a]", "3"},
        {"foreach [a: b] [1 2] [a + b]", "3"},
        {"foreach x \"ab\" [x]", "#\"b\""},
        {"foreach [a b] \"abc\" [b]", "none"},
        {"foreach x next [1 2 3] [x]", "3"},
        {"foreach x [] [1]", "unset"},
        {"foreach [] [1 2] [1]", "error invalid-arg"},
        {"foreach [] [] [1]", "error invalid-arg"},
        {"foreach [a 1] [1 2] [a]", "error invalid-arg"},
        {"foreach x 5 [x]", "error expect-arg"},
        {"foreach x [1 2 3] [if x = 2 [break/return 9]]", "9"},
        {"s: 0 foreach x [1 2 3] [if x = 2 [continue] s: s + x] s", "4"},
        {"foreach x [1 2] [continue]", "unset"},
        {"foreach x [1 2] [break]", "unset"},
    });
}

// The tail is read from the buffer at every step: a body that grows the series sees the new
// values, one that cuts it below the position ends the loop.
TEST_F(Loops, ForeachOverAChangingSeries) {
    check_cases({
        {"b: [1] s: 0 foreach x b [s: s + x if x = 1 [append b 2]] s", "3"},
        {"b: copy [1 2 3 4] n: 0 foreach x b [n: n + 1 clear b] n", "1"},
        {"b: copy [1 2 3 4] n: 0 foreach [x y] b [n: n + 1 clear next b] n", "1"},
        {"w: [a b] foreach :w [1 2 3 4] [clear w]", "error invalid-arg"},
        {"s: copy \"ab\" n: 0 foreach c s [n: n + 1 if n < 4 [append s #\"x\"]] n", "5"},
    });
}

TEST_F(Loops, RemoveEach) {
    check_cases({
        {"remove-each x [1 2 3 4] [even? x]", "[1 3]"},
        {"b: [1 2 3 4] remove-each x b [even? x] b", "[1 3]"},
        {"remove-each [] [1 2] [true]", "[1 2]"},
        {"remove-each [a b] [1 2 3 4 5] [a = 3]", "[1 2 5]"},
        {"remove-each [a b] [1 2 3] [a = 3]", "[1 2]"},
        {"remove-each x [1 2 3] [none]", "[1 2 3]"},
        {"remove-each x [1 2 3] [()]", "[]"},
        {"b: next [1 2 3 4] remove-each x b [even? x]", "[3]"},
        {"remove-each x \"abcb\" [x = #\"b\"]", "\"ac\""},
        {"remove-each x [1 2 3] [continue true]", "[1 2 3]"},
        {"remove-each x [1 2 3 4] [if x = 3 [break] true]", "[3 4]"},
        {"remove-each x [1 2] [x / 0]", "error zero-divide"},
        {"remove-each x 5 [true]", "error expect-arg"},
        {"b: copy [1 2 3] remove-each x b [clear b true]", "[]"},
    });
}

// Each removal happens when its body ends, so the next body sees the series without it.
// The chosen records go when the loop ends, however it ends, in one pass: the body sees the
// series whole; a body that changes the series' length has the earlier choices applied at once.
TEST_F(Loops, RemoveEachRemovesAtTheEnd) {
    check_cases({
        {"b: copy [1 2 3] out: copy [] remove-each x b [append out length? b true] reduce [out b]",
         "[[3 3 3] []]"},
        {"b: copy [1 2 3 4 5] remove-each x next b [odd? x] b", "[1 2 4]"},
        {"b: copy [1 2 3 4 5 6] remove-each [p q] b [p = 3] b", "[1 2 5 6]"},
        {"s: copy \"abcdef\" remove-each c s [find \"bd\" c] s", "\"acef\""},
        {"b: copy [1 2 3 4] remove-each x b [if x = 3 [break] true] b", "[3 4]"},
        {"b: copy [1 2 3 4] try [remove-each x b [if x = 3 [1 / 0] true]] b", "[3 4]"},
        {"b: copy [1 2 3 4] f: does [remove-each x b [if x = 3 [return 0] true]] f b", "[3 4]"},
        {"b: copy [1 2 3 4 5 6] remove-each x b [if x = 2 [clear b] true] b", "[]"},
        {"b: copy [1 2 3 4] remove-each x b [if x = 2 [remove back tail b] x < 3] b", "[3]"},
    });
}

TEST_F(Loops, Forall) {
    check_cases({
        {"s: [1 2 3] n: 0 forall s [n: n + 1] n", "3"},
        {"s: [1 2 3 4] n: 0 forall s [n: n + length? s s: next s] n", "6"},
        {"s: [1 2 3] forall s [length? s]", "1"},
        {"s: next [1 2 3] forall s [1] s", "[2 3]"},
        {"s: [1 2 3] forall s [if 2 = length? s [break]] s", "[2 3]"},
        {"s: [1 2 3] forall s [continue] s", "[1 2 3]"},
        {"s: [] forall s [1]", "unset"},
        {"s: \"abc\" n: 0 forall s [n: n + 1] n", "3"},
        {"s: [1 2] forall s [s: copy s]", "error bad-loop-series"},
        {"s: [1 2] forall s [s: 1]", "error bad-loop-series"},
        {"x: 1 forall x [1]", "error expect-arg"},
        {"s: copy [1 2 3 4] n: 0 forall s [n: n + 1 clear next s] n", "1"},
        {"s: copy [1 2 3] forall s [clear s] s", "[]"},
    });
}

// Exits aimed at an inner loop stay there; break and continue in a while condition are errors
// even inside another loop; recursion through a loop body raises stack-overflow.
TEST_F(Loops, NestedExits) {
    check_cases({
        {"n: 0 foreach x [1 2 3] [while [true] [break] n: n + x] n", "6"},
        {"n: 0 while [n < 3] [foreach x [1 2] [if x = 2 [break]] n: n + 1] n", "3"},
        {"n: 0 foreach x [1 2 3] [loop 2 [continue] n: n + 1] n", "3"},
        {"foreach x [1 2] [while [continue] [1]]", "error while-cond"},
        {"n: 0 foreach x [1 2] [foreach y [1 2 3] [if y = 2 [break] n: n + 1]] n", "2"},
        {"f: does [foreach x [1] [f]] f", "error stack-overflow"},
        {"f: does [forall s [f]] s: [1] f", "error stack-overflow"},
    });
}

// map! takes exactly two words.
TEST_F(Loops, MapsTakeTwoWords) {
    check_cases({
        {"m: make map! [a 1 b 2] n: 0 foreach [k v] m [n: n + v] n", "3"},
        {"foreach k m [k]", "error invalid-arg"},
        {"foreach [k v w] m [k]", "error invalid-arg"},
        {"foreach [k 1] m [k]", "error invalid-arg"},
    });
}

TEST_F(Loops, FloatCountToInteger) {
    struct Row {
        double in;
        int32_t want;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Row& r : {Row{2.9, 2}, {-2.9, -2}, {0.5, 0}, {2147483647.9, 2147483647},
                         {-2147483648.9, INT32_MIN}, {1e10, INT32_MIN}, {-1e10, INT32_MIN},
                         {nan, INT32_MIN}, {INFINITY, INT32_MIN}}) {
        Cell c;
        floating::set(&c, r.in);
        natives_loops::float_count_to_integer(&c);
        EXPECT_TRUE(cell::is(&c, TypeId::Integer)) << r.in;
        EXPECT_EQ(integer::get(&c), r.want) << r.in;
    }
    Cell seven = int_cell(7);
    natives_loops::float_count_to_integer(&seven);
    EXPECT_EQ(integer::get(&seven), 7);
    StackScope scope;
    Cell* count = stack::push(&seven);
    stack::g_args.base = count;
    floating::set(count, -3.5);
    natives_loops::loop_count_to_integer();
    EXPECT_EQ(integer::get(count), -3);
}

TEST_F(Loops, SmallSteps) {
    StackScope scope;
    eval_text("n: 41 s: next next [1 2 3 4 5]");
    Cell n = *word::make_global("n");
    Cell s = *word::make_global("s");
    natives_loops::word_increment(&n);
    EXPECT_EQ(eval_text("n"), "42");
    eval_text("n: 2147483647");
    EXPECT_RAISES(natives_loops::word_increment(&n), Err::Overflow);

    Cell* saved = stack::push(word::slot(&s));
    cell::set_head(saved, 0);
    natives_loops::loop_word_index(&s, saved);
    EXPECT_EQ(cell::head(saved), 2);

    Cell* count = stack::push(none::shared());
    natives_loops::loop_series_length(saved, count);
    EXPECT_EQ(integer::get(count), 3);
    EXPECT_TRUE(natives_loops::is_series_more(saved));
    cell::set_head(saved, 9);
    natives_loops::loop_series_length(saved, count);
    EXPECT_EQ(integer::get(count), 0);
    EXPECT_FALSE(natives_loops::is_series_more(saved));
}

}  // namespace
}  // namespace nuv::test
