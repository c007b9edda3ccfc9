// same?, not, type? and the set operations over lexed text: identity per datatype, which sets
// combine, the routine each datatype takes, and the errors of mismatched sets.
#include "runtime/evaluator/natives_logic.h"

#include <string>

#include "runtime/hashtable.h"

#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

class NativesLogic : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { eval_environment(); }
};

// Without the caller's type check (the check flag clear) the native still refuses what it
// cannot combine. A made native! cannot take wider types than its entry's, so the natives are
// called here as the interpreter calls them, on the stacked values.
TEST_F(NativesLogic, SetOperations) {
    eval_environment();
    struct Row {
        const char* values;  // the arguments, as code
        bool union_;         // union of two sets, else complement? of one value
        const char* wanted;
    };
    const Row rows[] = {
        {"1 2", true, "expect-arg"},
        {"1.0 2.0", true, "expect-arg"},
        {"[a] 1", true, "expect-val"},
        {"\"a\"", false, "expect-arg"},
    };
    for (const Row& r : rows) {
        StackScope scope;
        Cell* values = load_text(r.values);
        Cell* first = stack::g_args.top;
        for (int32_t k = 0; k < block::rs_length(values); k++) stack::push(block::rs_head(values) + k);
        stack::g_args.base = first;
        const int32_t refinements[2] = {-1, -1};
        const auto call = [&] {
            if (r.union_) {
                natives_logic::union_(false, refinements);
            } else {
                natives_logic::is_complement(false, refinements);
            }
        };
        EXPECT_EQ(err_word(raised_by(call)), std::string(r.wanted)) << r.values;
    }
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


// A set operation over many equal values weighs a bounded number of positions per record: the
// indexes it makes hold one record per key, so no lookup walks a long list of equal values.
TEST_F(NativesLogic, SetOperationsOverEqualValuesAreLinear) {
    const char* operations[] = {"intersect", "exclude", "difference", "union", "unique"};
    for (const char* op : operations) {
        for (const char* value : {"0", "\"a\""}) {
            for (const char* refinement : {"", "/case"}) {
                uint64_t weighed[2] = {};
                const int32_t counts[2] = {1000, 8000};
                for (int k = 0; k < 2; k++) {
                    const std::string n = std::to_string(counts[k]);
                    const std::string two = std::string(op) == "unique" ? "" : " b";
                    const std::string code = "a: copy [] insert/dup a " + std::string(value) + " " + n +
                                             " b: copy a length? " + op + refinement + " a" + two;
                    const uint64_t before = hashtable::counters().positions;
                    const std::string got = eval_text(code);
                    weighed[k] = hashtable::counters().positions - before;
                    const bool empty = std::string(op) == "exclude" || std::string(op) == "difference";
                    EXPECT_EQ(got, empty ? "0" : "1") << code;
                }
                EXPECT_LE(weighed[1], 8 * weighed[0] + 100) << op << refinement << " " << value;
                EXPECT_LE(weighed[1], 4u * 8000) << op << refinement << " " << value;
            }
        }
    }
}

}  // namespace
}  // namespace nuv::test
