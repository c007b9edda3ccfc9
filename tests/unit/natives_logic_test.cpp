// same?, not, type? and the set operations over lexed text: identity per datatype, which sets
// combine, the routine each datatype takes, and the errors of mismatched sets.
#include "runtime/evaluator/natives_logic.h"

#include <string>

#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

class NativesLogic : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        eval_environment();
        // Spec checks are the interpreter's; these take anything so the natives' own checks run.
        define_native("complement?-any", "bits [any-type!]", 46, TypeId::Native);
        define_native("union-any", "set1 [any-type!] set2 [any-type!] /case /skip size [any-type!]", 41,
                      TypeId::Native);
    }
};

TEST_F(NativesLogic, Same) {
    check_cases({
        {"same? \"a\" \"a\"", "false"},
        {"s: \"a\" same? s s", "true"},
        {"s: \"ab\" t: s same? s t", "true"},
        {"s: \"ab\" same? s make string! s", "false"},
        {"same? 1 1", "true"},
        {"same? 1 2", "false"},
        {"same? 1 1.0", "false"},
        {"same? 1.5 1.5", "true"},
        {"same? 0.0 -0.0", "false"},
        {"same? #\"a\" #\"a\"", "true"},
        {"same? [] []", "false"},
        {"b: [1 2] same? b b", "true"},
        {"same? () ()", "true"},
        {"same? 'a 'a", "true"},
        {"same? 'a 'b", "false"},
        {"same? integer! integer!", "true"},
        {"same? integer! float!", "false"},
        {"same? 1 = 1 2 = 2", "true"},
        {"o: make object! [] same? o o", "true"},
        {"same? make object! [] make object! []", "false"},
        {"same? :same? :same?", "true"},
        {"same? :same? :not", "false"},
        {"same? :add :add", "true"},
        {"same? :+ :+", "true"},
        {"f: does [1] same? :f :f", "true"},
        {"same? 10% 10%", "true"},
        {"same? 1:00 1:00", "true"},
        {"same? 1:00 1:01", "false"},
    });
}

TEST_F(NativesLogic, NotAndType) {
    check_cases({
        {"not 1", "false"},
        {"not 1 = 2", "true"},
        {"not ()", "false"},
        {"not []", "false"},
        {"not same? 1 2", "true"},
        {"type? 1", "integer!"},
        {"type? type? 1", "datatype!"},
        {"type?/word 1", "integer!"},
        {"type? type?/word 1", "word!"},
        {"type? ()", "unset!"},
        {"type? \"a\"", "string!"},
        {"type?/word :same?", "native!"},
    });
}

TEST_F(NativesLogic, SetOperations) {
    check_cases({
        {"union [a b] [b c]", "[a b c]"},
        {"union [a b a] []", "[a b]"},
        {"intersect [1 2 3] [2 3 4]", "[2 3]"},
        {"exclude [1 2 3] [2]", "[1 3]"},
        {"difference [1 2] [2 3]", "[1 3]"},
        {"unique [1 1 2 1]", "[1 2]"},
        {"union [\"a\"] [\"A\"]", "[\"a\"]"},
        {"union/case [\"a\"] [\"A\"]", "[\"a\" \"A\"]"},
        {"union/skip [a 1 b 2] [a 3 c 4] 2", "[a 1 b 2 c 4]"},
        {"unique/skip [a 1 a 2 b 3] 2", "[a 1 b 3]"},
        {"union/skip [a] [b] 0", "error invalid-refine-arg"},
        {"union \"abc\" \"bcd\"", "\"abcd\""},
        {"intersect \"abc\" \"BCD\"", "\"bc\""},
        {"intersect/case \"abc\" \"BCD\"", "\"\""},
        {"unique \"aAb\"", "\"ab\""},
        {"exclude \"abc\" \"b\"", "\"ac\""},
        {"difference \"ab\" \"bc\"", "\"ac\""},
        {"union make typeset! [integer!] make typeset! [float!]", "make typeset! [integer! float!]"},
        {"intersect make typeset! [integer! float!] make typeset! [float!]", "make typeset! [float!]"},
        {"exclude make typeset! [integer! float!] make typeset! [float!]", "make typeset! [integer!]"},
        {"difference make typeset! [integer! char!] make typeset! [char! float!]",
         "make typeset! [integer! float!]"},
        {"union [a b] \"ab\"", "error expect-val"},
        {"union \"ab\" [a b]", "error expect-val"},
        {"union make typeset! [integer!] [a]", "error expect-val"},
        {"union 1 2", "error expect-arg"},
        {"unique make typeset! [integer!]", "error expect-arg"},
        {"complement? 1", "error expect-arg"},
        // Without the caller's type check the native still refuses what it cannot combine.
        {"union-any 1 2", "error expect-arg"},
        {"union-any 1.0 2.0", "error expect-arg"},
        {"union-any [a] 1", "error expect-val"},
        {"complement?-any \"a\"", "error expect-arg"},
    });
}

// With the check flag the native checks every argument against its spec first, so a wrong
// second set or /skip size is refused as an argument before the sets are compared.
TEST_F(NativesLogic, CheckFlagChecksTheArguments) {
    eval_environment();
    struct Row {
        bool check;
        Cell second;
        Cell skip;
        const char* wanted;
    };
    const Cell none_value = *none::shared();
    const Row rows[] = {
        {true, int_cell(1), int_cell(1), "expect-arg"},
        {false, int_cell(1), int_cell(1), "expect-val"},
        {true, none_value, none_value, "expect-arg"},
        {false, none_value, none_value, "invalid-refine-arg"},
    };
    for (const Row& r : rows) {
        StackScope scope;
        Cell* first = block_of({int_cell(1)});
        stack::push(&r.second);
        Cell* skip = stack::push(&r.skip);
        stack::g_args.base = first;
        Cell* second_cell = first + 1;
        if (cell::is(&r.second, TypeId::None)) *second_cell = *block_of({int_cell(2)});
        stack::g_args.top = skip + 1;
        const int32_t refinements[2] = {-1, static_cast<int32_t>(skip - first)};
        EXPECT_EQ(err_word(raised_by([&] { natives_logic::union_(r.check, refinements); })),
                  std::string(r.wanted))
            << "check " << r.check;
    }
}

}  // namespace
}  // namespace nuv::test
