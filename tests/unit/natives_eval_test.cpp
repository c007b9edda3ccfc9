// do, get, set, print and prin over lexed text: what each evaluates, which words a failing set
// leaves alone, the position do/next leaves, and the text print hands to the output hooks.
#include "runtime/evaluator/natives_eval.h"

#include <string>

#include "runtime/output.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

std::string g_text;  // what the text hooks received
std::string g_values;  // what the value hooks received: each value's text and its flag

void capture_text(const char* text, size_t length, int32_t) { g_text.append(text, length); }
void capture_value(const Cell* value, bool new_line) {
    g_values += string::to_std_utf8(value) + (new_line ? "|lf " : "|- ");
}

class NativesEval : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        eval_environment();
    }
    void SetUp() override {
        g_text.clear();
        g_values.clear();
        output::add(capture_value, capture_text);
    }
    void TearDown() override { output::remove(capture_value, capture_text); }
};

int32_t scratch_count() { return block::count(cell::node(natives::scratch())); }

TEST_F(NativesEval, DoBlocksAndText) {
    check_cases({
        {"do [1 + 2]", "3"},
        {"do []", "unset"},
        {"do make paren! [2 * 3]", "6"},
        {"do/next [1 + 2 3] 'pos", "3"},
        {"do/next [1 + 2 3] 'pos pos", "[3]"},
        {"do/next [1 + 2 3] 'pos do/next pos 'pos pos", "[]"},
        {"do/next [] 'pos", "unset"},
        {"do/next [] 'pos pos", "[]"},
        {"do/next [1] 5", "error expect-arg"},
        {"do \"1 + 2\"", "3"},
        {"do \"\"", "unset"},
        {"do/next \"4 5\" 'pos pos", "[5]"},
        {"do \"1 +\"", "error no-arg"},
        {"do \"(\"", "error missing"},
        {"do/expand [1]", "error not-done"},
        {"do/trace [1] does []", "error not-done"},
        {"loop 3 [do [break/return 4] 5]", "4"},
        {"f: func [] [do [return 5] 6] f", "5"},
    });
}

TEST_F(NativesEval, DoOtherValues) {
    check_cases({
        {"do 5", "5"},
        {"do ()", "unset"},
        {"x: 5 do 'x", "5"},
        {"do 'undefined-word-for-do", "error no-value"},
        {"b: [10 20] do 'b/2", "20"},
        {"f: func [/x] [either x [1] [2]] do 'f/x", "1"},
        {"f: func [a] [a] do :f", "error no-arg"},
        {"g: does [7] do :g", "7"},
        {"g: does [7] do 'g", "7"},
        // An error is raised as the value it is, not remade.
        {"e: try [1 / 0] same? e try [do e]", "true"},
        {"do try [1 / 0]", "error zero-divide"},
        {"do make error! \"boom\"", "error message"},
    });
}

TEST_F(NativesEval, Get) {
    check_cases({
        {"x1: 10 get 'x1", "10"},
        {"get 'undefined-word-for-get", "error no-value"},
        {"get/any 'undefined-word-for-get", "unset"},
        {"b: [a 1 A 2] get 'b/A", "1"},
        {"b: [a 1 A 2] get/case 'b/A", "2"},
        {"o: make object! [a: 1 b: 2] get o", "[1 2]"},
        {"o: make object! [a: 1 b: 2] get 'o/b", "2"},
        {"get 'get/any", "error invalid-path-get"},
        {"get 5", "error expect-arg"},
    });
}

TEST_F(NativesEval, Set) {
    check_cases({
        {"set 'a1 5", "5"},
        {"set 'a1 6 a1", "6"},
        {"b: [a1:] set b/1 8 a1", "8"},
        {"set 'a1 ()", "error need-value"},
        {"set/any 'a1 () get/any 'a1", "unset"},
        // Every check runs before any word is set.
        {"a2: 5 set [a2 1] [2 3]", "error invalid-arg"},
        {"a2: 5 try [set [a2 1] [2 3]] a2", "5"},
        {"a2: 5 try [set [a2 /b2] 1] a2", "5"},
        {"v: [1 2] v/2: () a3: 0 try [set [a3 b3] v] a3", "0"},
        {"v: [1 2] v/2: () set/any [a3 b3] v get/any 'b3", "unset"},
        {"set [a4 b4] [1] b4", "none"},
        {"set [a4 b4] [1 2 3] a4 + b4", "3"},
        {"a5: 0 b5: 9 set/some [a5 b5] [1] b5", "9"},
        {"a5: 0 b5: 9 set/some [a5 b5] [1] a5", "1"},
        {"set [a6 b6] 7 b6", "7"},
        {"set/only [a6 b6] [1 2] b6", "[1 2]"},
        {"set [a7 b7] make paren! [3 4] b7", "4"},
        {"b: [1 2] set 'b/2 5 b", "[1 5]"},
        {"b: [k 1 K 2] set/case 'b/K 5 b", "[k 1 K 5]"},
        {"o: make object! [a: 1 b: 2] set o [5 6] o/b", "6"},
        {"o: make object! [a: 1 b: 2] set/only o [5 6] o/a", "[5 6]"},
        {"set 5 1", "error expect-arg"},
    });
}

// Scripts named by file! or url! run through the library's loader, which is not there yet.
TEST_F(NativesEval, DoOfAScriptNameIsNotDone) {
    for (TypeId type : {TypeId::File, TypeId::Url}) {
        StackScope scope;
        Cell* name = text("script.nuv");
        cell::set_type(name, type);
        stack::g_args.base = name;
        const int32_t refinements[4] = {-1, -1, -1, -1};
        EXPECT_RAISES(natives_eval::do_(false, refinements), Err::NotDone);
    }
}

// An unbound word in the words block is refused before any word is set.
TEST_F(NativesEval, SetRefusesAnUnboundWordFirst) {
    EXPECT_EQ(eval_text("a8: 1 a8"), "1");
    {
        StackScope scope;
        Cell* words = block_of({word::make_global_as("a8", TypeId::Word), loose_word("loose")});
        const Cell value = int_cell(2);
        stack::push(&value);
        stack::g_args.base = words;
        const int32_t refinements[4] = {-1, -1, -1, -1};
        EXPECT_RAISES(natives_eval::set(false, refinements), Err::NotDefined);
    }
    EXPECT_EQ(eval_text("a8"), "1");
}

TEST_F(NativesEval, PrintHandsTheTextToTheHooks) {
    struct Row {
        const char* source;
        const char* text;
        const char* values;
    };
    const Row rows[] = {
        {"print [1 + 1 \"a\"]", "2 a\n", "2 a|lf "},
        {"prin \"x\"", "x", "x|- "},
        {"print 12", "12\n", "12|lf "},
        {"print []", "\n", "|lf "},
        {"print \"\"", "\n", "|lf "},
        {"print [1\n2]", "1 2\n", "1 2|lf "},
        {"prin [\"a\" \"b\"] prin 3", "a b3", "a b|- 3|- "},
        {"print [1 (print [2 3] 4)]", "2 3\n1 4\n", "2 3|lf 1 4|lf "},
        {"print [1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 "
         "31 32 33]",
         "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33\n",
         nullptr},
        {"print \"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\"", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\n", nullptr},
    };
    for (const Row& r : rows) {
        g_text.clear();
        g_values.clear();
        EXPECT_EQ(eval_text(r.source), "unset") << r.source;
        EXPECT_EQ(g_text, r.text) << r.source;
        if (r.values) {
            EXPECT_EQ(g_values, r.values) << r.source;
        }
        EXPECT_EQ(scratch_count(), 0) << r.source;
    }
}

TEST_F(NativesEval, PrintRemembersWhetherTheLineEnded) {
    EXPECT_EQ(eval_text("print 1"), "unset");
    EXPECT_TRUE(output::last_new_line());
    EXPECT_EQ(eval_text("prin 1"), "unset");
    EXPECT_FALSE(output::last_new_line());
    EXPECT_EQ(eval_text("print 1"), "unset");
    EXPECT_TRUE(output::last_new_line());
}

// A reduction that raises, nested or not, leaves the scratch block as it found it and prints
// nothing of the failed block.
TEST_F(NativesEval, PrintThatRaisesLeavesTheScratchBlockEmpty) {
    check_cases({
        {"print [1 undefined-word-for-print]", "error no-value"},
        {"print [1 (print [2 1 / 0])]", "error zero-divide"},
        {"print [1 (try [print [2 1 / 0]] 3)]", "unset"},
    });
    EXPECT_EQ(scratch_count(), 0);
    EXPECT_EQ(cell::head(natives::scratch()), 0);
    EXPECT_EQ(g_text, "1 3\n");
}

TEST_F(NativesEval, ReduceIntoAppendsWithoutNewLineMarkers) {
    eval_environment();
    StackScope scope;
    Cell* source = load_text("1 + 1\n3");
    Cell* target = block::push_new(1);
    block::append_cell(target, none::shared());
    natives_eval::reduce_into(source, target);
    EXPECT_EQ(mold_value(*target), "[none 2 3]");
    for (int32_t i = 0; i < 3; i++)
        EXPECT_EQ(block::at(cell::node(target), i).header & cell::kNewLine, 0u) << i;
}

}  // namespace
}  // namespace nuv::test
