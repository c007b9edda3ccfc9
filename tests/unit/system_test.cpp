// The system object as the runtime reads it: the lexer's exit-state types come from
// system/lexer/exit-states when it is a block of 34 words, else from the lexer's own table.
#include "runtime/system.h"

#include <string>

#include "runtime/datatypes/float.h"
#include "tests/unit/eval_support.h"

namespace nuv {
namespace {

using T = TypeId;
using test::eval_text;

std::vector<T> exit_types() {
    T types[system_object::kLexerExitItems];
    system_object::lexer_exit_types(types);
    return {types, types + system_object::kLexerExitItems};
}

const std::vector<T> kOwn = {T::Invalid, T::Error,  T::Block, T::Block,    T::Paren,
                             T::Paren,   T::String, T::String, T::Map,     T::Path,
                             T::Datatype, T::Invalid, T::String};

// Sets system/lexer/exit-states for the test and puts the start-up list back after it.
class ExitStates : public ::testing::Test {
  protected:
    void SetUp() override { eval_text("saved-exit-states: system/lexer/exit-states"); }
    void TearDown() override {
        eval_text("system/lexer/exit-states: saved-exit-states");
        EXPECT_EQ(exit_types(), kOwn);
    }
};

TEST_F(ExitStates, StartUpListGivesTheLexersTable) { EXPECT_EQ(exit_types(), kOwn); }

TEST_F(ExitStates, ItemsZeroToTwelveOfTheListAreRead) {
    eval_text("l: copy system/lexer/exit-states l/3: 'paren! l/12: 'tag! system/lexer/exit-states: l");
    std::vector<T> want = kOwn;
    want[2] = T::Paren;
    want[11] = T::Tag;
    EXPECT_EQ(exit_types(), want);
    EXPECT_EQ(eval_text("transcode {[a] (b)}"), "[[a] (b)]");
}

// A list of another length, or one holding a value that is not a word, is not used.
TEST_F(ExitStates, AListOfAnotherShapeIsNotRead) {
    for (const char* list : {"[block! block!]", "[]", "none",
                             "head change copy system/lexer/exit-states 1",
                             "append copy system/lexer/exit-states 'x"}) {
        eval_text(std::string("system/lexer/exit-states: ") + list);
        EXPECT_EQ(exit_types(), kOwn) << list;
        EXPECT_EQ(eval_text("transcode {[a] (b) {c}}"), "[[a] (b) \"c\"]") << list;
    }
}

// system/options/float's fields set the formatter's switches, each to the truth of its value.
TEST(FloatOptions, FieldsSetTheFormattersSwitches) {
    struct Row {
        const char* field;
        const char* value;
        bool pretty;
        bool full;
    };
    for (const Row& r : {Row{"full?", "true", true, true}, Row{"pretty?", "none", false, true},
                         Row{"full?", "false", false, false}, Row{"pretty?", "0", true, false},
                         Row{"full?", "'x", true, true}, Row{"full?", "none", true, false}}) {
        eval_text(std::string("system/options/float/") + r.field + ": " + r.value);
        EXPECT_EQ(floating::is_pretty(), r.pretty) << r.field << " " << r.value;
        EXPECT_EQ(floating::is_full(), r.full) << r.field << " " << r.value;
    }
}

}  // namespace
}  // namespace nuv
