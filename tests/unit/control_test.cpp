// The exits and their catchers over lexed text (break, continue, throw, catch, try) and the
// counting and testing loops (loop, repeat, while, until, forever): results, which frame stops which exit,
// and the errors of each.
#include "runtime/evaluator/natives_control.h"

#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

class Control : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        eval_environment();
        define_native("if", "condition then-block [block!]", 1, TypeId::Native);
        define_native("while", "cond-block [block!] body-block [block!]", 6, TypeId::Native);
        define_native("until", "block [block!]", 7, TypeId::Native);
        define_native("loop", "count [integer! float!] block [block!]", 8, TypeId::Native);
        define_native("repeat", "'word [word!] value [integer! float!] body [block!]", 9, TypeId::Native);
        define_native("forever", "body [block!]", 10, TypeId::Native);
        define_native("try", "block [block!] /all /keep", 70, TypeId::Native);
        define_native("break", "/return value", 77, TypeId::Native);
        define_native("continue", "", 78, TypeId::Native);
        define_native("throw", "value /name word [word!]", 81, TypeId::Native);
        define_native("catch", "block [block!] /name word [word! block!]", 82, TypeId::Native);
    }
};

TEST_F(Control, Loop) {
    check_cases({
        {"n: 0 loop 3 [n: n + 1] n", "3"},
        {"n: 0 loop 2.9 [n: n + 1]", "2"},
        {"loop 0 [1]", "none"},
        {"loop -5 [1]", "none"},
        {"loop 1e10 [1]", "none"},
        {"loop -1e10 [1]", "none"},
        {"loop 3 [break]", "unset"},
        {"loop 3 [break/return 7]", "7"},
        {"loop 2 [continue]", "unset"},
        {"n: 0 loop 5 [n: n + 1 if n < 3 [continue] n: n + 10] n", "35"},
        {"loop 3 [1 / 0]", "error zero-divide"},
        {"loop \"a\" [1]", "error expect-arg"},
        {"n: 0 repeat i 30 [f: func [a] [a + i] n: f n] n", "465"},
    });
}

TEST_F(Control, Repeat) {
    check_cases({
        {"s: 0 repeat i 4 [s: s + i] s", "10"},
        {"repeat i 3 [i]", "3"},
        {"n: 0 repeat i 3 [n: n + 1 i: 10] n", "3"},
        {"repeat i 3 [i: 10] i", "10"},
        {"repeat i -1 [1]", "none"},
        {"repeat i 2.5 [i]", "2"},
        {"repeat i 5 [if i = 2 [break/return i * 100]]", "200"},
        {"repeat i 1e10 [1]", "none"},
    });
}

TEST_F(Control, WhileUntilForever) {
    check_cases({
        {"n: 0 while [n < 5] [n: n + 1] n", "5"},
        {"n: 0 while [n < 5] [n: n + 1]", "unset"},
        {"while [1] [break/return 5]", "unset"},
        {"n: 0 while [n < 3] [n: n + 1 continue n: 100] n", "3"},
        {"while [break] [1]", "error while-cond"},
        {"while [continue] [1]", "error while-cond"},
        {"while [] [1]", "error no-return"},
        {"n: 0 until [n: n + 1 3 < n]", "true"},
        {"n: 0 until [n: n + 1 3 < n] n", "4"},
        {"n: 0 until [n: n + 1 if n < 3 [continue] n]", "3"},
        {"until [break/return 9]", "9"},
        {"until []", "error no-return"},
        {"forever [break/return 5]", "5"},
        {"forever [break]", "unset"},
        {"n: 0 forever [n: n + 1 if n < 3 [continue] break] n", "3"},
        {"catch [forever [throw 6]]", "6"},
    });
}

TEST_F(Control, Try) {
    check_cases({
        {"e: try [1 / 0] e/id", "zero-divide"},
        {"try [1 + 2]", "3"},
        {"try/all [1 + 2]", "3"},
        {"e: try/keep [1 / 0] e/id", "zero-divide"},
        {"n: 0 loop 3 [n: n + 1 try [break]] n", "1"},
        {"n: 0 loop 3 [n: n + 1 try/all [break]] n", "3"},
        {"loop 1 [try [break/return 4]]", "4"},
        {"e: try/all [break] e/id", "break"},
        {"e: try/all [throw 1] e/id", "throw"},
        {"catch [try [throw 1] 2]", "1"},
        {"catch [try/all [throw 1] 2]", "2"},
        {"f: func [] [try [return 7] 8] f", "7"},
        {"f: func [] [e: try/all [return 7] e/id] f", "return"},
        {"e: try [try [1 / 0] 1 / 0 2] e/id", "zero-divide"},
    });
}

TEST_F(Control, CatchAndThrow) {
    check_cases({
        {"catch [catch/name [throw/name 2 'a] 'b]", "2"},
        {"catch [throw 1]", "1"},
        {"catch [1 + 1]", "2"},
        {"catch/name [throw/name 1 'a] 'a", "1"},
        {"catch/name [throw/name 1 'A] 'a", "1"},
        {"catch/name [throw/name 1 'a] [b a]", "1"},
        {"catch [catch/name [throw/name 1 'a] [b c] 2]", "1"},
        {"catch [catch/name [throw 1] 'a 2]", "1"},
        {"catch/name [throw/name 1 'a] [b 1]", "error invalid-refine-arg"},
        {"catch [loop 3 [throw 5]]", "5"},
        {"catch [loop 2 [catch/name [loop 2 [throw 7]] 'x]]", "7"},
        {"n: 0 loop 3 [n: n + 1 catch [break]] n", "1"},
        {"throw 1", "error throw"},
        {"throw/name 1 'a", "error throw"},
    });
}

// Each iteration and each caught exit gives back its stack cells and frames: more rounds than
// either stack holds.
TEST_F(Control, LongRunsKeepTheStacksFlat) {
    check_cases({
        {"n: 0 loop 25000 [n: n + 1 if n < 0 [1] catch [throw 1] loop 1 [continue]] n", "25000"},
        {"n: 0 while [n < 21000] [n: n + 1 loop 1 [break]] n", "21000"},
    });
}

TEST_F(Control, ExitsWithoutTheirFrame) {
    check_cases({
        {"break", "error break"},
        {"break/return 1", "error break"},
        {"continue", "error continue"},
        {"f: func [] [break] loop 2 [f 1]", "unset"},
    });
}

}  // namespace
}  // namespace nuv::test
