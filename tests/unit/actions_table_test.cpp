// The actions table and its entries: the table's shape, what each entry works out before
// dispatching (part and dup counts, form and mold budgets, pick indexes, /types), the results
// of the three entry shapes, dispatch failures, and the comparison mapping.
#include "runtime/evaluator/actions_table.h"

#include <functional>
#include <string>
#include <vector>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/frames.h"
#include "runtime/words.h"
#include "tests/unit/support.h"

namespace nuv::test {
namespace {

using A = ActionId;

class ActionsTable : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!actions::table()[0]) actions::init();
        if (!frames::g_frames.bottom) frames::init();
    }
    StackScope scope_;
};

// The value molded from its own position (from its head with `whole`).
std::string molded(const Cell* value, bool whole = false) {
    StackScope scope;
    Cell v = *value;
    if (whole) cell::set_head(&v, 0);
    Cell* held = stack::push(&v);
    Cell* out = stack::reserve();
    string::make_at(out, 16);
    registry::row(cell::type_of(held)).mold(held, out, false, false, false, nullptr, kNoLimit, 0);
    return string::to_std_utf8(out);
}

// Calls the entry with the arguments from a fresh base: arguments[0] molded, "error <id>" when
// it raised one.
std::string call(const std::vector<Cell>& args, const std::function<void()>& entry) {
    StackScope scope;
    stack::g_args.base = stack::g_args.top;
    for (const Cell& a : args) stack::push(&a);
    return outcome([&] {
        entry();
        EXPECT_EQ(stack::g_args.top, stack::g_args.base + 1) << "the result is the only cell";
        return molded(stack::arg(0));
    });
}

Cell word_cell(const char* name) { return loose_word(name); }
Cell block_cell(std::initializer_list<Cell> cells) { return *block_of(cells); }
Cell abcd() { return block_cell({word_cell("a"), word_cell("b"), word_cell("c"), word_cell("d")}); }
Cell at(Cell series, int32_t head) {
    cell::set_head(&series, head);
    return series;
}
Cell logic_cell(bool v) {
    Cell c{};
    logic::set(&c, v);
    return c;
}
Cell char_cell(char32_t cp) { return Cell{static_cast<uint32_t>(TypeId::Char), 0, static_cast<uint32_t>(cp), 0}; }
Cell str(const char* text) { return *test::text(text); }
Cell dt(TypeId t) { return Cell{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(t), 0, 0}; }

TEST_F(ActionsTable, TableFollowsTheActionOrder) {
    const actions::Entry* t = actions::table();
    for (int a = 1; a <= kActionCount; a++)
        EXPECT_EQ(t[a - 1] == nullptr, a == static_cast<int>(A::Reserved)) << action_word(static_cast<ActionId>(a));
    struct Count {
        A action;
        int32_t want;
    };
    for (Count c : {Count{A::Make, 0}, {A::Form, 1}, {A::Mold, 4}, {A::PathAccess, 1}, {A::Compare, 1},
                    {A::Round, 7}, {A::Append, 3}, {A::Find, 11}, {A::Select, 9}, {A::Sort, 7},
                    {A::Write, 8}})
        EXPECT_EQ(actions::refinement_count(c.action), c.want) << action_word(c.action);
    // Through the table, as an action! value calls it: append/only with no other refinement.
    const int32_t refinements[] = {-1, 0, -1};
    Cell inner = block_cell({int_cell(2)});
    std::string got = call({block_cell({int_cell(1)}), inner},
                           [&] { t[static_cast<int>(A::Append) - 1](refinements); });
    EXPECT_EQ(got, "[1 [2]]");
}

struct InsertCase {
    const char* what;
    std::function<std::vector<Cell>()> args;  // series, value, then /part and /dup arguments
    int32_t part, only, dup;                  // entry arguments
    bool append;
    const char* want;                         // the result, then the series from its head
};

TEST_F(ActionsTable, AppendAndInsertWorkOutTheirCounts) {
    const InsertCase cases[] = {
        {"part 0 leaves the series", [] { return std::vector<Cell>{*ints({1}), abcd(), int_cell(0)}; }, 2, -1, -1, true, "[1] | [1]"},
        {"dup 0 leaves the series", [] { return std::vector<Cell>{*ints({1}), word_cell("x"), int_cell(0)}; }, -1, -1, 2, true, "[1] | [1]"},
        {"dup -3 leaves the series", [] { return std::vector<Cell>{*ints({1}), word_cell("x"), int_cell(-3)}; }, -1, -1, 2, true, "[1] | [1]"},
        {"an integer part", [] { return std::vector<Cell>{*ints({1}), abcd(), int_cell(2)}; }, 2, -1, -1, true, "[1 a b] | [1 a b]"},
        {"a part past the tail", [] { return std::vector<Cell>{*ints({}), at(abcd(), 1), int_cell(9)}; }, 2, -1, -1, true, "[b c d] | [b c d]"},
        {"a position in the value", [] { Cell v = abcd(); return std::vector<Cell>{*ints({}), v, at(v, 3)}; }, 2, -1, -1, true, "[a b c] | [a b c]"},
        {"a negative count inserts what lies before", [] { return std::vector<Cell>{*ints({}), at(abcd(), 2), int_cell(-2)}; }, 2, -1, -1, true, "[a b] | [a b]"},
        {"a negative count stops at the head", [] { return std::vector<Cell>{*ints({}), at(abcd(), 1), int_cell(-5)}; }, 2, -1, -1, true, "[a] | [a]"},
        {"a negative count at the head", [] { return std::vector<Cell>{*ints({}), abcd(), int_cell(-1)}; }, 2, -1, -1, true, "[] | []"},
        {"a value head past its tail", [] { return std::vector<Cell>{*ints({}), at(abcd(), 9), int_cell(-1)}; }, 2, -1, -1, true, "[d] | [d]"},
        {"a part in another series", [] { Cell v = abcd(); return std::vector<Cell>{*ints({}), v, at(abcd(), 2)}; }, 2, -1, -1, true, "error invalid-refine-arg"},
        {"a part of another type", [] { return std::vector<Cell>{*ints({}), abcd(), str("ab")}; }, 2, -1, -1, true, "error invalid-refine-arg"},
        {"a part of a value that is no series", [] { return std::vector<Cell>{*ints({}), int_cell(5), int_cell(1)}; }, 2, -1, -1, true, "error invalid-part"},
        {"dup", [] { return std::vector<Cell>{*ints({1}), word_cell("x"), int_cell(3)}; }, -1, -1, 2, true, "[1 x x x] | [1 x x x]"},
        {"only with part and dup", [] { return std::vector<Cell>{*ints({}), abcd(), int_cell(1), int_cell(2)}; }, 2, 0, 3, true, "[[a b c d] [a b c d]] | [[a b c d] [a b c d]]"},
        {"insert answers the position after", [] { return std::vector<Cell>{*ints({9}), abcd(), int_cell(1)}; }, 2, -1, -1, false, "[9] | [a 9]"},
        {"insert with part 0", [] { return std::vector<Cell>{*ints({9}), abcd(), int_cell(0)}; }, 2, -1, -1, false, "[9] | [9]"},
    };
    for (const InsertCase& c : cases) {
        StackScope scope;
        std::vector<Cell> args = c.args();
        Cell series = args[0];
        std::string got = call(args, [&] {
            if (c.append) actions::append(c.part, c.only, c.dup);
            else actions::insert(c.part, c.only, c.dup);
        });
        if (got.rfind("error", 0) != 0) got += " | " + molded(&series, true);
        EXPECT_EQ(got, c.want) << c.what;
    }
}

TEST_F(ActionsTable, ChangeCountsItsRangeInTheSeries) {
    struct Case {
        const char* what;
        int32_t part;  // -1, else an integer! part (or a position in the series with `position`)
        bool position;
        const char* want;  // the series from its head
    };
    const Case cases[] = {
        {"no part", -1, false, "[x b c d]"},
        {"an integer range", 2, false, "[x c d]"},
        {"a position", 3, true, "[x d]"},
        {"an empty range", 0, false, "[a b c d]"},
    };
    for (const Case& c : cases) {
        StackScope scope;
        Cell series = abcd();
        cell::set_head(&series, 0);
        std::vector<Cell> args{series, word_cell("x")};
        if (c.part >= 0) args.push_back(c.position ? at(series, c.part) : int_cell(c.part));
        call(args, [&] { actions::change(c.part >= 0 ? 2 : -1, -1, -1); });
        EXPECT_EQ(molded(&series, true), c.want) << c.what;
    }
    StackScope scope;
    Cell series = abcd();
    EXPECT_EQ(call({series, word_cell("x"), at(abcd(), 2)}, [] { actions::change(2, -1, -1); }),
              "error invalid-refine-arg");
}

TEST_F(ActionsTable, FormAndMoldBudgets) {
    Cell no_form{static_cast<uint32_t>(TypeId::Symbol), 0, 0, 0};  // a type with no form
    struct Case {
        const char* what;
        std::function<std::vector<Cell>()> args;
        std::function<void()> entry;
        const char* want;
    };
    const Case cases[] = {
        {"form/part cuts", [] { return std::vector<Cell>{str("abcdef"), int_cell(3)}; }, [] { actions::form(1); }, "\"abc\""},
        {"form/part longer than the text", [] { return std::vector<Cell>{str("ab"), int_cell(30)}; }, [] { actions::form(1); }, "\"ab\""},
        {"form/part 0 calls no slot", [&] { return std::vector<Cell>{no_form, int_cell(0)}; }, [] { actions::form(1); }, "\"\""},
        {"form/part -4", [&] { return std::vector<Cell>{no_form, int_cell(-4)}; }, [] { actions::form(1); }, "\"\""},
        {"form of a type without form", [&] { return std::vector<Cell>{no_form}; }, [] { actions::form(-1); }, "error expect-arg"},
        {"form/part needs an integer", [] { return std::vector<Cell>{str("ab"), str("x")}; }, [] { actions::form(1); }, "error expect-arg"},
        {"form", [] { return std::vector<Cell>{*ints({1, 2, 3})}; }, [] { actions::form(-1); }, "\"1 2 3\""},
        {"mold/part", [] { return std::vector<Cell>{*ints({1, 2, 3}), int_cell(4)}; }, [] { actions::mold(-1, -1, -1, 1); }, "\"[1 2\""},
        {"mold/only", [] { return std::vector<Cell>{*ints({1, 2})}; }, [] { actions::mold(0, -1, -1, -1); }, "\"1 2\""},
        {"mold/part 0", [] { return std::vector<Cell>{*ints({1}), int_cell(0)}; }, [] { actions::mold(-1, -1, -1, 1); }, "\"\""},
    };
    for (const Case& c : cases) {
        StackScope scope;
        EXPECT_EQ(call(c.args(), c.entry), c.want) << c.what;
    }
}

TEST_F(ActionsTable, PickIndexes) {
    struct Case {
        const char* what;
        Cell index;
        int32_t want_index;
        const char* want_pick;
    };
    const Case cases[] = {
        {"integer", int_cell(2), 2, "b"},
        {"char", char_cell(1), 1, "a"},
        {"true", logic_cell(true), 1, "a"},
        {"false", logic_cell(false), 2, "b"},
        {"beyond", int_cell(3), 3, "none"},
    };
    for (const Case& c : cases) {
        StackScope scope;
        Cell ab = block_cell({word_cell("a"), word_cell("b")});
        stack::g_args.base = stack::g_args.top;
        stack::push(&ab);
        stack::push(&c.index);
        EXPECT_EQ(actions::pick_index(), c.want_index) << c.what;
        EXPECT_EQ(call({ab, c.index}, [] { actions::pick(); }), c.want_pick) << c.what;
    }
    StackScope scope;
    stack::g_args.base = stack::g_args.top;
    Cell s = str("x");
    stack::push(&s);
    stack::push(&s);
    EXPECT_EQ(actions::pick_index(), 0);
    // poke answers the value poked.
    Cell ab = block_cell({word_cell("a"), word_cell("b")});
    EXPECT_EQ(call({ab, logic_cell(false), word_cell("z")}, [] { actions::poke(); }), "z");
    EXPECT_EQ(molded(&ab), "[a z]");
}

TEST_F(ActionsTable, EntryShapes) {
    struct Case {
        const char* what;
        std::function<std::vector<Cell>()> args;
        std::function<void()> entry;
        const char* want;
    };
    const Case cases[] = {
        {"stack-only add", [] { return std::vector<Cell>{int_cell(1), int_cell(2)}; }, [] { actions::add(); }, "3"},
        {"stack-only next", [] { return std::vector<Cell>{*ints({1, 2})}; }, [] { actions::next(); }, "[2]"},
        {"negate writes its result", [] { return std::vector<Cell>{int_cell(5)}; }, [] { actions::negate(); }, "-5"},
        {"odd? boxes a logic!", [] { return std::vector<Cell>{int_cell(3)}; }, [] { actions::odd_q(); }, "true"},
        {"even? boxes a logic!", [] { return std::vector<Cell>{int_cell(3)}; }, [] { actions::even_q(); }, "false"},
        {"length? an integer!", [] { return std::vector<Cell>{*ints({1, 2, 3})}; }, [] { actions::length_q(); }, "3"},
        {"make from a datatype!", [] { return std::vector<Cell>{dt(TypeId::Block), int_cell(4)}; }, [] { actions::make(); }, "[]"},
        {"to from an example value", [] { return std::vector<Cell>{*ints({}), int_cell(4)}; }, [] { actions::to(); }, "[4]"},
        {"copy", [] { return std::vector<Cell>{*ints({1, 2})}; }, [] { actions::copy(-1, -1, -1); }, "[1 2]"},
        {"copy/part", [] { return std::vector<Cell>{*ints({1, 2}), int_cell(1)}; }, [] { actions::copy(1, -1, -1); }, "[1]"},
        {"copy/types needs a datatype or typeset", [] { return std::vector<Cell>{*ints({1}), int_cell(1)}; }, [] { actions::copy(-1, -1, 1); }, "error expect-arg"},
        {"select", [] { return std::vector<Cell>{abcd(), word_cell("b")}; }, [] { actions::select(-1, -1, -1, -1, -1, -1, -1, -1, -1); }, "c"},
        {"find/tail", [] { return std::vector<Cell>{abcd(), word_cell("b")}; }, [] { actions::find(-1, -1, -1, -1, -1, -1, -1, -1, -1, 0, -1); }, "[c d]"},
        {"path-access reads", [] { return std::vector<Cell>{abcd(), word_cell("b")}; }, [] { actions::path_access(0); }, "c"},
        {"reflect needs a word", [] { return std::vector<Cell>{*ints({1}), int_cell(1)}; }, [] { actions::reflect(); }, "error expect-arg"},
        {"an action the type lacks", [] { return std::vector<Cell>{int_cell(1)}; }, [] { actions::next(); }, "error expect-arg"},
    };
    for (const Case& c : cases) {
        StackScope scope;
        EXPECT_EQ(call(c.args(), c.entry), c.want) << c.what;
    }
}

TEST_F(ActionsTable, AMissingActionNamesTheCallingFrame) {
    Cell next_word = word::make_global_as("next", TypeId::Word);
    Cell try_word = word::make_global_as("try", TypeId::Word);
    frames::Owner host(&try_word, frames::kTry);
    auto ended = host.run([&] {
        frames::push_interp_native(&next_word);
        integer::push(1);
        actions::next();
    });
    ASSERT_TRUE(ended.has_value());
    EXPECT_STREQ(err_word(raised().id), "expect-arg");
    ASSERT_EQ(raised().argc, 3);
    EXPECT_EQ(molded(&raised().args[0]), "next");
    EXPECT_EQ(molded(&raised().args[1]), "integer!");
}

TEST_F(ActionsTable, PathFailures) {
    StackScope scope;
    Cell path = block_cell({word_cell("a"), word_cell("b"), word_cell("c")});
    cell::set_type(&path, TypeId::Path);
    Cell parent = int_cell(5);
    Cell element = word_cell("c");
    EXPECT_RAISES(actions::path_action_lookup(&parent, nullptr, &element, -1), Err::BadPathType2);
    EXPECT_EQ(molded(&raised().args[0]), "c");
    EXPECT_EQ(molded(&raised().args[1]), "integer!");
    EXPECT_RAISES(actions::path_action_lookup(&parent, &path, &element, 2), Err::BadPathType);
    EXPECT_EQ(molded(&raised().args[0]), "a/b/c");
    EXPECT_EQ(molded(&raised().args[2]), "a/b");
    Cell block = abcd();
    EXPECT_NE(actions::path_action_lookup(&block, &path, &element, 2), nullptr);
}

TEST_F(ActionsTable, ComparisonCodes) {
    struct Case {
        CompareOp op;
        const char* want;
    };
    const Case cases[] = {
        {CompareOp::Equal, "false"},          {CompareOp::NotEqual, "true"},
        {CompareOp::StrictEqual, "false"},    {CompareOp::Lesser, "error invalid-compare"},
        {CompareOp::LesserOrEqual, "error invalid-compare"}, {CompareOp::Greater, "error invalid-compare"},
        {CompareOp::GreaterOrEqual, "error invalid-compare"},
    };
    for (const Case& c : cases) {
        StackScope scope;
        EXPECT_EQ(call({int_cell(1), str("a")}, [&] { actions::compare(static_cast<int32_t>(c.op)); }),
                  c.want)
            << static_cast<int>(c.op);
    }
    StackScope scope;
    EXPECT_EQ(call({int_cell(1), int_cell(2)}, [] { actions::compare(3); }), "true");
}

TEST_F(ActionsTable, SortOrder) {
    StackScope scope;
    struct Case {
        Cell a, b;
        CompareOp op;
        int32_t want;
    };
    const Case cases[] = {
        {logic_cell(false), logic_cell(true), CompareOp::SortCase, -1},
        {logic_cell(true), logic_cell(true), CompareOp::SortCase, 0},
        {int_cell(7), int_cell(2), CompareOp::SortCase, 1},
        {int_cell(7), str("a"), CompareOp::Equal, 1},
    };
    for (Case c : cases) EXPECT_EQ(compare::value_compare_sort(&c.a, &c.b, c.op), c.want);
    Cell one = int_cell(1);
    Cell a = str("a");
    EXPECT_RAISES(compare::value_compare_sort(&one, &a, CompareOp::SortStrict), Err::InvalidCompare);
}

}  // namespace
}  // namespace nuv::test
