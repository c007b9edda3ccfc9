// The datatype paths that run code, over lexed text: object specs evaluated inside the new
// object (self, nesting, derived objects), the change handlers and what they receive, errors
// made from a spec of set-words, and sorting with a comparator function.
#include "runtime/datatypes/object.h"

#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

class ObjectEval : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        eval_environment();
    }
    // Other tests may have replaced the ownership notice handler: init installs it again.
    void SetUp() override { object::init(); }
};

// A handler that records what it receives.
constexpr const char* kRecorder =
    "seen: copy [] o: make object! [a: 1 set-a: func [v] [a: v] "
    "on-change*: func [word old new] [append seen word append seen old append seen new]] ";

TEST_F(ObjectEval, SpecsRunInsideTheNewObject) {
    check_cases({
        {"o: make object! [a: 1 b: a + 1] o/b", "2"},
        {"make object! [a: 1 b: a + 1]", "make object! [\n    a: 1\n    b: 2\n]"},
        {"make object! []", "make object! [\n]"},
        {"o: make object! [a: 1 me: self] o/me/a", "1"},
        {"o: make object! [a: 1 inner: make object! [a: 5 up: self]] o/inner/up/a", "5"},
        {"o: make object! [a: 1 inner: make object! [b: a + 1]] o/inner/b", "2"},
        {"reflect make object! [a: 1] 'changed", "[]"},
        {"make object! [a: 1 / 0]", "error zero-divide"},
        {"make object! [a:]", "error need-value"},
    });
}

TEST_F(ObjectEval, MoldIndentsEachLevelAndFlatKeepsOneLine) {
    check_cases({
        {"make object! [a: make object! [b: make object! [c: 1]] d: 2]",
         "make object! [\n    a: make object! [\n        b: make object! [\n            c: 1\n"
         "        ]\n    ]\n    d: 2\n]"},
        {"mold/flat make object! [a: 1 b: make object! [c: 2]]",
         "\"make object! [a: 1 b: make object! [c: 2]]\""},
    });
}

TEST_F(ObjectEval, DerivedObjectsCopyTheirPrototype) {
    check_cases({
        {"p: make object! [a: 1 b: 2] make p [b: a + 10 c: 3]",
         "make object! [\n    a: 1\n    b: 11\n    c: 3\n]"},
        {"p: make object! [a: 1 b: 2] c: make p [b: 3] p/b", "2"},
        {"p: make object! [a: 1] (reflect p 'class) = reflect make p [a: 2] 'class", "true"},
        {"p: make object! [a: 1] (reflect p 'class) = reflect make p [z: 2] 'class", "false"},
        {"p: make object! [a: 1 get-a: func [] [a]] c: make p [a: 2] f: :c/get-a f", "2"},
        {"p: make object! [a: 1 get-a: func [] [a]] c: make p [a: 2] f: :p/get-a f", "1"},
    });
}

TEST_F(ObjectEval, OnChangeReceivesTheWordTheOldAndTheNewValue) {
    const std::string r = kRecorder;
    check_cases({
        {(r + "o/a: 5 seen").c_str(), "[a 1 5]"},
        {(r + "o/a: 5 o/a").c_str(), "5"},
        {(r + "f: :o/set-a f 7 seen").c_str(), "[a: 1 7]"},
        {"seen: copy [] o: make object! [a: 1 on-change*: func [w old new /extra x /local t] "
         "[t: new * 2 append seen t append seen extra append seen x]] o/a: 5 seen",
         "[10 false none]"},
        {"o: make object! [a: 1 on-change*: func [w old new] [return 99]] o/a: 5 o/a", "5"},
        {"o: make object! [a: 1 on-change*: func [w old new] [1 / 0]] o/a: 5", "error zero-divide"},
        {"o: make object! [a: 1 on-change*: func [w old new] []] o/on-change*: 3",
         "error invalid-obj-evt"},
        {"o: make object! [a: 1 on-change*: 3]", "error bad-field-set"},
    });
}

TEST_F(ObjectEval, OnDeepChangeHearsBeforeAndAfterASeriesEdit) {
    check_cases({
        {"seen: copy [] o: make object! [list: copy [] on-deep-change*: func "
         "[owner word target action new index count] [append seen word append seen action "
         "append seen new append seen index append seen count]] append o/list 7 seen",
         "[list append 7 0 1 list appended 7 0 1]"},
        {"o: make object! [list: copy [] on-deep-change*: func [o w t a n i c] [1 / 0]] "
         "append o/list 7",
         "error zero-divide"},
    });
}

TEST_F(ObjectEval, ErrorsFromASpecOfSetWords) {
    check_cases({
        {"e: make error! [type: 'math id: 'zero-divide] e/code", "400"},
        {"e: make error! [type: 'math id: 'zero-divide] e/id", "zero-divide"},
        {"e: make error! [type: 'script id: 'no-value arg1: 'x] e/arg1", "x"},
        {"make error! [type: 'math id: 'nope]", "error invalid-spec-field"},
        {"make error! [type: 'nope id: 'zero-divide]", "error invalid-spec-field"},
        {"make error! [type: 'math]", "error invalid-spec-field"},
        {"make error! [type: 'math id: 1 / 0]", "error zero-divide"},
    });
}

TEST_F(ObjectEval, SortWithAComparatorFunction) {
    check_cases({
        {"sort/compare [3 1 2] func [a b] [a < b]", "[1 2 3]"},
        {"sort/compare [3 1 2] func [a b] [a > b]", "[3 2 1]"},
        {"sort/compare/reverse [3 1 2] func [a b] [a < b]", "[3 2 1]"},
        {"sort/compare/stable [3 1 2 1] func [a b] [a < b]", "[1 1 2 3]"},
        {"sort/skip/compare/stable [2 a 1 b 2 c 1 d] 2 func [x y] [x < y]", "[1 b 1 d 2 a 2 c]"},
        {"sort/skip/compare/all [1 z 2 y 3 x] 2 func [a b] [a/2 < b/2]", "[3 x 2 y 1 z]"},
        // An integer answer orders the first value after the second when positive.
        {"sort/compare [3 1 2] func [a b] [a - b]", "[3 2 1]"},
        {"sort/compare [3 1 2] func [a b] [a - b * 0.5]", "[3 2 1]"},
        {"sort/compare/stable [3 1 2] func [a b] [if a = 0 [1]]", "[3 1 2]"},  // none
        {"sort/compare \"cab\" func [a b] [a < b]", "\"abc\""},
        {"sort/compare/reverse \"cab\" func [a b] [a < b]", "\"cba\""},
        {"sort/skip/compare/all \"b2a1c0\" 2 func [a b] [a < b]", "\"a1b2c0\""},
        {"sort/compare [3 1 2] :lesser?", "error not-done"},
    });
}

TEST_F(ObjectEval, AnErrorInAComparatorLeavesEveryValueInPlace) {
    check_cases({
        {"sort/compare [3 1 2] func [a b] [1 / 0]", "error zero-divide"},
        {"n: 0 s: [5 4 3 2 1] try [sort/compare s func [a b] [n: n + 1 if n = 3 [1 / 0] a < b]] s",
         "[5 4 3 2 1]"},
        {"n: 0 s: \"edcba\" try [sort/compare s func [a b] [n: n + 1 if n = 3 [1 / 0] a < b]] s",
         "\"edcba\""},
        // A comparator that empties the series: nothing is written past its new end.
        {"s: [3 1 2] sort/compare s func [a b] [clear s a < b]", "[]"},
        {"s: \"cab\" sort/compare s func [a b] [clear s a < b]", "\"\""},
    });
}

}  // namespace
}  // namespace nuv::test
