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

TEST_F(NativesLogic, SetOperations) {
    check_cases({
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
