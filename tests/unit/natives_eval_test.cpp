// do, get, set, print and prin over lexed text: what each evaluates, which words a failing set
// leaves alone, the position do/next leaves, and the text print hands to the output hooks; the
// stack contract of calls with block arguments, and what the word natives make of unbound words.
#include "runtime/evaluator/natives_eval.h"

#include <string>

#include "runtime/evaluator/natives_bind.h"
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

// Scripts named by file! or url! run through the library's do-file as its word holds it at the
// call, given the name, no callback and the /args value: a missing file gives the error of
// reading it, and a word that holds no function no-value.
TEST_F(NativesEval, DoOfAScriptNameCallsDoFile) {
    check_cases({
        {"do %no-such-script.nuv", "error cannot-open"},
        {"saved: :do-file do-file: func [f c a] [reduce [f c a]] "
         "r: reduce [do %a.nuv do/args http://h/s 5] do-file: :saved r",
         "[[%a.nuv none none] [http://h/s none 5]]"},
        {"saved: :do-file do-file: 1 e: try [do %a.nuv] do-file: :saved reduce [e/id e/arg1]",
         "[no-value do-file]"},
    });
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

// Runtime code calling apply_block gets exactly one new cell, the result, whatever the callee
// kind; a path's refinements are counted from the path's own first cell.
TEST_F(NativesEval, ApplyBlockLeavesOneResultCell) {
    EXPECT_EQ(eval_text("applied-f: func [a /x b] [either x [a + b] [a]] 0"), "0");
    using interp::kApplyAll;
    using interp::kApplyReduce;
    using interp::kApplySafer;
    struct Row {
        const char* callee;  // a word or a path
        const char* args;
        uint32_t flags;
        const char* wanted;
    };
    const Row rows[] = {
        {"add", "1 + 1 3", kApplyReduce, "5"},
        {"append/only", "[1] [2]", kApplyReduce, "[1 [2]]"},
        {"applied-f/x", "1 2", kApplyReduce, "3"},
        {"applied-f", "1 true 2", kApplyAll, "3"},
        {"applied-f", "1 /x false (1 / 0)", kApplyReduce | kApplySafer, "1"},
        {"applied-f", "1 /x false (1 / 0)", kApplyReduce, "error zero-divide"},
        {"applied-f/x", "1 2", kApplyAll, "error bad-refines"},
    };
    for (const Row& r : rows) {
        StackScope scope;
        Cell* code = load_text(r.callee);
        Cell* args = load_text(r.args);
        Cell* path = stack::push(&block::raw_cells(cell::node(code))[0]);
        const bool is_path = cell::is(path, TypeId::Path);
        Cell name = is_path ? block::at(cell::node(path), 0) : *path;
        const Cell callee = *word::slot(&name);
        std::string got;
        frames::Owner guard(&words::w::anon, frames::kTry);
        Cell* mark = stack::g_args.top;
        const auto kind = guard.run([&] {
            Cell* result = interp::apply_block(&callee, &name, is_path ? path : nullptr, 1, args, r.flags);
            EXPECT_EQ(result, mark) << r.callee << " " << r.args;
            EXPECT_EQ(stack::g_args.top, mark + 1) << r.callee << " " << r.args;
            got = mold_value(*result);
        });
        if (kind) got = std::string("error ") + err_word(raised().id);
        EXPECT_EQ(got, r.wanted) << r.callee << " " << r.args;
    }
}

// A word bound to no context has no value and no context; unsetting it cannot say where.
TEST_F(NativesEval, UnboundWords) {
    const int32_t no_refinements[1] = {-1};
    const Cell loose = loose_word("loose-word-for-natives");
    const auto run = [&](void (*native)(bool, const int32_t*)) {
        StackScope scope;
        stack::g_args.base = stack::push(&loose);
        native(false, no_refinements);
        return mold_value(*stack::arg(0));
    };
    EXPECT_EQ(run(natives_eval::is_value), "false");
    EXPECT_EQ(run(natives_bind::is_context), "none");
    EXPECT_RAISES(run(natives_eval::unset), Err::NotDefined);
    // Bound into an object that holds its name, it reads the field.
    EXPECT_EQ(eval_text("o-for-loose: make object! [loose-word-for-natives: 5] 0"), "0");
    StackScope scope;
    stack::g_args.base = stack::push(&loose);
    stack::push(context::global_slot(symbol::make_cstr("o-for-loose")));
    natives_bind::bind(false, no_refinements);
    EXPECT_EQ(mold_value(*word::slot(stack::arg(0))), "5");
}

}  // namespace
}  // namespace nuv::test
