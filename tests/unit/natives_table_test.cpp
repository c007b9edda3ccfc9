// The natives table: its numbering, registration, the not-yet-built entries, and the
// comparison natives that map onto value-compare.
#include "runtime/evaluator/natives_table.h"

#include <string>

#include "runtime/datatypes/logic.h"
#include "runtime/evaluator/actions_table.h"
#include "tests/unit/support.h"

namespace nuv::test {
namespace {

class NativesTable : public ::testing::Test {
  protected:
    void SetUp() override {
        if (natives::count() == 0) natives::init();
    }
    StackScope scope_;
};

TEST_F(NativesTable, IndexesAndWords) {
    EXPECT_EQ(natives::count(), natives::kNativeCount);
    struct Case {
        natives::NativeId id;
        int32_t index;
        const char* word;
    };
    using N = natives::NativeId;
    for (Case c : {Case{N::If, 1, "if"}, {N::RemoveEach, 13, "remove-each"}, {N::IsEqual, 25, "equal?"},
                   {N::IsNan, 62, "NaN?"}, {N::AsPoint2D, 74, "as-point2D"}, {N::Try, 70, "try"},
                   {N::Apply, 107, "apply"}}) {
        EXPECT_EQ(static_cast<int32_t>(c.id), c.index) << c.word;
        EXPECT_STREQ(natives::native_word(c.id), c.word);
    }
    for (int32_t i = 1; i <= natives::kNativeCount; i++) EXPECT_NE(natives::entry(i), nullptr) << i;
    EXPECT_EQ(natives::entry(0), nullptr);
    EXPECT_EQ(natives::entry(natives::kNativeCount + 1), nullptr);
    ASSERT_NE(natives::scratch(), nullptr);
    EXPECT_TRUE(cell::is(natives::scratch(), TypeId::Block));
}

// Once the runtime has started, with every layer's natives installed, no native is left on
// the placeholder that raises not-done.
TEST_F(NativesTable, EveryNativeIsBuilt) {
    for (int32_t index = 1; index <= natives::kNativeCount; index++)
        EXPECT_NE(natives::entry(index), &natives::not_done) << natives::native_word(static_cast<natives::NativeId>(index));
}

TEST_F(NativesTable, ComparisonNatives) {
    struct Case {
        natives::NativeId id;
        Cell a, b;
        const char* want;
    };
    using N = natives::NativeId;
    const Case cases[] = {
        {N::IsEqual, int_cell(1), int_cell(1), "true"},
        {N::IsNotEqual, int_cell(1), int_cell(2), "true"},
        {N::IsStrictEqual, int_cell(1), int_cell(1), "true"},
        {N::IsLesser, int_cell(1), int_cell(2), "true"},
        {N::IsGreater, int_cell(1), int_cell(2), "false"},
        {N::IsLesserOrEqual, int_cell(2), int_cell(2), "true"},
        {N::IsGreaterOrEqual, int_cell(1), int_cell(2), "false"},
        {N::IsEqual, int_cell(1), *text("a"), "false"},
        {N::IsNotEqual, int_cell(1), *text("a"), "true"},
        {N::IsLesser, int_cell(1), *text("a"), "error invalid-compare"},
    };
    for (const Case& c : cases) {
        StackScope scope;
        stack::g_args.base = stack::g_args.top;
        stack::push(&c.a);
        stack::push(&c.b);
        std::string got = outcome([&] {
            natives::entry(static_cast<int32_t>(c.id))(true, nullptr);
            return std::string(logic::get(stack::arg(0)) ? "true" : "false");
        });
        EXPECT_EQ(got, c.want) << natives::native_word(c.id);
    }
}

}  // namespace
}  // namespace nuv::test
