// The word family and issue!: makers, form and mold, comparison, conversion, index?, the
// datatype name words and the issue conversions. Slots are reached through the registry, so
// the registration records (own and inherited slots) are tested with them.
#include "runtime/datatypes/word.h"

#include <string>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/words.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

using test::int_cell;
using test::loose_word;
using test::text;

Cell type_cell(TypeId t) { return Cell{static_cast<uint32_t>(T::Datatype), static_cast<uint32_t>(t), 0, 0}; }

// The global word of the name, retyped.
Cell global_as(const char* name, TypeId type = T::Word) { return word::make_global_as(name, type); }

Cell issue_of(const char* name) {
    Cell c;
    issue::make_at_cstr(&c, name);
    return c;
}

// Form or mold through the value's slot into a new buffer; the text and the budget left.
std::pair<std::string, int32_t> render(Cell value, bool mold) {
    Cell* buffer = string::make_at(stack::reserve(), 16);
    int32_t left = mold ? lookup<&ActionRow::mold>(&value, ActionId::Mold)(
                              &value, buffer, false, false, false, nullptr, 100, 0)
                        : lookup<&ActionRow::form>(&value, ActionId::Form)(&value, buffer,
                                                                            nullptr, 100);
    return {string::to_std_utf8(buffer), left};
}

std::string name_of(const Cell* word) { return symbol::utf8_name(word->w2); }

class WordTest : public ::testing::Test {
  protected:
    test::StackScope scope;
};

TEST_F(WordTest, FormAndMoldByType) {
    struct Row {
        TypeId type;
        const char* name;
        const char* formed;
        const char* molded;
    };
    const Row rows[] = {
        {T::Word, "alpha", "alpha", "alpha"},        {T::LitWord, "alpha", "alpha", "'alpha"},
        {T::SetWord, "Alpha", "Alpha", "Alpha:"},     {T::GetWord, "alpha", "alpha", ":alpha"},
        {T::Refinement, "only", "only", "/only"},     {T::Issue, "abc", "abc", "#abc"},
        {T::Word, "größe", "größe", "größe"},
    };
    for (const Row& row : rows) {
        Cell w = row.type == T::Issue ? issue_of(row.name) : global_as(row.name, row.type);
        auto [formed, form_left] = render(w, false);
        auto [molded, mold_left] = render(w, true);
        EXPECT_EQ(formed, row.formed) << type_name(row.type) << " " << row.name;
        EXPECT_EQ(molded, row.molded) << type_name(row.type) << " " << row.name;
        EXPECT_EQ(mold_left, 100 - static_cast<int32_t>(string::length(text(row.molded))))
            << type_name(row.type) << " " << row.name;
        EXPECT_EQ(form_left, 100 - static_cast<int32_t>(string::length(text(row.formed))));
    }
}

TEST_F(WordTest, AWordTurnedIntoASetWordMoldsWithAColonAndReadsTheSameSlot) {
    Cell w = *word::make_global("retyped");
    Cell value = int_cell(42);
    word::set(&w, &value);
    Cell spec = w;
    Cell target = type_cell(T::SetWord);
    Cell* set_word = lookup_type<&ActionRow::to>(T::SetWord, ActionId::To)(&target, &spec, T::SetWord);
    EXPECT_TRUE(cell::is(set_word, T::SetWord));
    EXPECT_EQ(render(*set_word, true).first, "retyped:");
    EXPECT_EQ(cell::get_int(word::slot(set_word)), 42);
    EXPECT_EQ(set_word->w1, w.w1);
    EXPECT_EQ(set_word->w3, w.w3);
}

TEST_F(WordTest, Compare) {
    struct Row {
        const char* a;
        TypeId ta;
        const char* b;
        TypeId tb;
        CompareOp op;
        int32_t want;
    };
    using O = CompareOp;
    const Row rows[] = {
        {"case-word", T::Word, "CASE-WORD", T::Word, O::Equal, 0},
        {"case-word", T::Word, "CASE-WORD", T::Word, O::StrictEqual, 1},
        {"case-word", T::Word, "case-word", T::Word, O::StrictEqual, 0},
        {"case-word", T::Word, "case-word", T::SetWord, O::StrictEqual, 1},
        {"case-word", T::Word, "case-word", T::SetWord, O::Equal, 0},
        {"case-word", T::Word, "CASE-WORD", T::Word, O::FindEqual, 0},
        {"case-word", T::Word, "other-word", T::Word, O::NotEqual, 1},
        {"case-word", T::Word, "case-word", T::Word, O::Same, 0},
        {"case-word", T::Word, "CASE-WORD", T::Word, O::Same, 1},
        {"case-word", T::Word, "case-word", T::LitWord, O::Same, 1},
        {"case-word", T::Word, "case-word", T::LitWord, O::WordsCase, 0},
        {"case-word", T::LitWord, "CASE-WORD", T::Word, O::WordsCase, 1},
        {"case-word", T::LitWord, "CASE-WORD", T::Word, O::Words, 0},
        {"case-word", T::Word, "case-word", T::GetWord, O::Words, 1},
        {"case-word", T::GetWord, "CASE-WORD", T::GetWord, O::Words, 0},
        {"apple", T::Word, "banana", T::Word, O::Lesser, -1},
        {"banana", T::Word, "Apple", T::Word, O::Greater, 1},
        {"apple", T::Word, "APPLE", T::Word, O::SortCase, 0},
        {"case-word", T::Word, "case-word", T::Issue, O::Equal, kNotComparable},
        {"case-word", T::Issue, "case-word", T::Word, O::Equal, kNotComparable},
        {"case-word", T::Issue, "CASE-WORD", T::Issue, O::Equal, 0},
        {"case-word", T::Issue, "CASE-WORD", T::Issue, O::StrictEqual, 1},
        {"case-word", T::Refinement, "CASE-WORD", T::Word, O::Equal, 0},
    };
    for (const Row& row : rows) {
        Cell a = row.ta == T::Issue ? issue_of(row.a) : global_as(row.a, row.ta);
        Cell b = row.tb == T::Issue ? issue_of(row.b) : global_as(row.b, row.tb);
        int32_t got = lookup<&ActionRow::compare>(&a, ActionId::Compare)(&a, &b, row.op);
        if (got != kNotComparable) got = got < 0 ? -1 : got > 0 ? 1 : 0;
        EXPECT_EQ(got, row.want) << type_name(row.ta) << " " << row.a << " vs "
                                 << type_name(row.tb) << " " << row.b << " op "
                                 << static_cast<int>(row.op);
    }
    Cell n = int_cell(1);
    Cell w = global_as("case-word");
    EXPECT_EQ(word::compare(&w, &n, CompareOp::Equal), kNotComparable);
}

TEST_F(WordTest, WordsDifferingInCaseAreEqualButNotStrictlyEqual) {
    Cell a = global_as("mixed-case");
    Cell b = global_as("Mixed-Case");
    EXPECT_TRUE(compare::value_compare(&a, &b, CompareOp::Equal));
    EXPECT_FALSE(compare::value_compare(&a, &b, CompareOp::StrictEqual));
    EXPECT_EQ(word::index_of(&a), word::index_of(&b));
}

// Every converted word is bound to the global context's word of its name.
TEST_F(WordTest, Conversions) {
    Cell later = *text("x conv-h");
    cell::set_head(&later, 2);
    struct Row {
        Cell spec;
        TypeId target;
        const char* molded;  // nullptr: an error is wanted
        Err error;
    };
    const Row rows[] = {
        {type_cell(T::Integer), T::Word, "integer!", Err::BadToArg},
        {Cell{static_cast<uint32_t>(T::Logic), 1, 0, 0}, T::Word, "true", Err::BadToArg},
        {Cell{static_cast<uint32_t>(T::Logic), 0, 0, 0}, T::GetWord, ":false", Err::BadToArg},
        {global_as("conv-a", T::LitWord), T::Word, "conv-a", Err::BadToArg},
        {global_as("conv-a", T::GetWord), T::Refinement, "/conv-a", Err::BadToArg},
        {int_cell(5), T::Word, nullptr, Err::BadToArg},
        // An issue or a refinement keeps its name when it loads as one word.
        {issue_of("conv-i"), T::Word, "conv-i", Err::BadToArg},
        {issue_of("conv-i"), T::SetWord, "conv-i:", Err::BadToArg},
        {loose_word("conv-r", T::Refinement), T::Word, "conv-r", Err::BadToArg},
        {issue_of("12"), T::Word, nullptr, Err::BadToArg},
        {issue_of("conv-i conv-j"), T::Word, nullptr, Err::BadToArg},
        {issue_of("conv-i]"), T::Word, nullptr, Err::BadToArg},
        {issue_of("\"s\""), T::Word, nullptr, Err::BadToArg},
        {loose_word("1.5", T::Refinement), T::Word, nullptr, Err::BadToArg},
        // A text must load into exactly one value of a word type.
        {*text("conv-s"), T::Word, "conv-s", Err::BadToArg},
        {*text("conv-s"), T::LitWord, "'conv-s", Err::BadToArg},
        {*text(" conv-s "), T::Word, "conv-s", Err::BadToArg},
        {*text("conv-s:"), T::Word, "conv-s", Err::BadToArg},
        {*text("/conv-r"), T::GetWord, ":conv-r", Err::BadToArg},
        {*text("\u0394elta"), T::Word, "\u0394elta", Err::BadToArg},
        {later, T::Word, "conv-h", Err::BadToArg},
        {*text("a b"), T::Word, nullptr, Err::InvalidChars},
        {*text(""), T::Word, nullptr, Err::InvalidChars},
        {*text("   "), T::Word, nullptr, Err::InvalidChars},
        {*text("12"), T::Word, nullptr, Err::InvalidChars},
        {*text("[a]"), T::Word, nullptr, Err::InvalidChars},
        {*text("a]"), T::Word, nullptr, Err::InvalidChars},
        {*text("a/b"), T::Word, nullptr, Err::InvalidChars},
        {Cell{static_cast<uint32_t>(T::Char), 0, 'q', 0}, T::Word, "q", Err::BadToArg},
        {Cell{static_cast<uint32_t>(T::Char), 0, 0x394, 0}, T::Word, "\u0394", Err::BadToArg},
        {Cell{static_cast<uint32_t>(T::Char), 0, ' ', 0}, T::Word, nullptr, Err::InvalidChars},
        {Cell{static_cast<uint32_t>(T::Char), 0, '1', 0}, T::Word, nullptr, Err::InvalidChars},
    };
    for (const Row& row : rows) {
        Cell spec = row.spec;
        Cell target = type_cell(row.target);
        auto to = lookup_type<&ActionRow::to>(row.target, ActionId::To);
        if (!row.molded) {
            EXPECT_RAISES(to(&target, &spec, row.target), row.error)
                << type_name(cell::type_of(&row.spec)) << " to " << type_name(row.target) << " "
                << render(row.spec, true).first;
            continue;
        }
        Cell* got = to(&target, &spec, row.target);
        const std::string what = type_name(cell::type_of(&row.spec)) + std::string(" to ") +
                                 type_name(row.target) + " " + row.molded;
        EXPECT_TRUE(cell::is(got, row.target)) << what;
        EXPECT_EQ(render(*got, true).first, row.molded) << what;
        EXPECT_EQ(got->w1, context::global()) << what;
        EXPECT_EQ(word::index_of(got), context::find_word(context::global(), got->w2, true))
            << what;
    }
    // An issue loaded from a text is retyped as it is: never looked up, so not yet indexed.
    Cell issue_text = *text("#conv-t");
    Cell* got = word::to(nullptr, &issue_text, T::Word);
    EXPECT_TRUE(cell::is(got, T::Word));
    EXPECT_EQ(name_of(got), "conv-t");
    EXPECT_EQ(got->w1, context::global());
    EXPECT_EQ(word::index_of(got), word::kNoIndex);
}

TEST_F(WordTest, IndexQ) {
    Cell w = *word::make_global("indexed");
    Cell* arg = stack::push(&w);
    stack::g_args.base = arg;
    lookup<&ActionRow::index_q>(arg, ActionId::IndexQ)();
    EXPECT_TRUE(cell::is(arg, T::Integer));
    EXPECT_EQ(cell::get_int(arg), word::index_of(&w) + 1);
    Cell loose{static_cast<uint32_t>(T::LitWord), 0, w.w2, word::kNoIndex};
    *arg = loose;
    lookup<&ActionRow::index_q>(arg, ActionId::IndexQ)();
    EXPECT_TRUE(cell::is(arg, T::None));
    EXPECT_EQ(registry::row(T::Refinement).index_q, nullptr);  // refinements have no index?
}

TEST_F(WordTest, GetSetAndTheirErrors) {
    Cell w = *word::make_global("get-set-word");
    EXPECT_RAISES(word::get(&w), Err::NoValue);
    EXPECT_TRUE(cell::is(word::push_value(&w), T::Unset));

    Cell* args = stack::push(&w);
    Cell unset{static_cast<uint32_t>(T::Unset), 0, 0, 0};
    stack::push(&unset);
    stack::g_args.base = args;
    EXPECT_RAISES(word::set_from_stack(), Err::NeedValue);
    *stack::arg(1) = int_cell(3);
    word::set_from_stack();
    EXPECT_EQ(cell::get_int(stack::arg(0)), 3);  // the last value
    EXPECT_EQ(cell::get_int(word::get(&w)), 3);

    Cell unbound{static_cast<uint32_t>(T::Refinement), 0, w.w2, word::kNoIndex};
    EXPECT_RAISES(word::get(&unbound), Err::NoValue);
    Cell one = int_cell(1);
    EXPECT_RAISES(word::set(&unbound, &one), Err::NotDefined);

    Cell slot = int_cell(8);
    *stack::arg(0) = unset;
    EXPECT_RAISES(word::slot_set_from_result(&slot), Err::NeedValue);
    EXPECT_EQ(cell::get_int(&raised().args[0]), 8);
}

TEST_F(WordTest, MakersAndTheRootCopyRule) {
    roots::set_auto_root(true);
    Cell* rooted = word::make_global("root-rule");
    roots::set_auto_root(false);
    memory::SeriesBuf* root = memory::buf_of(roots::root());
    auto* tail = reinterpret_cast<Cell*>(root->tail_ptr());
    EXPECT_EQ(rooted, tail - 1);  // the newest root cell
    Cell* own = word::make_global("root-rule");
    EXPECT_EQ(own, context::word_at(context::global(), word::index_of(own)));
    EXPECT_EQ(own->w2, rooted->w2);

    Cell* b = block::push_new(1);
    Cell* made = word::make_in_block("in-block", b, T::SetWord);
    EXPECT_TRUE(cell::is(made, T::SetWord));
    EXPECT_EQ(name_of(made), "in-block");
    EXPECT_EQ(made->w1, context::global());

    Cell* pushed = word::push_global(symbol::make_cstr("pushed-word"), T::GetWord);
    EXPECT_TRUE(cell::is(pushed, T::GetWord));
    EXPECT_EQ(word::index_of(pushed), context::find_word(context::global(), pushed->w2, true));

    Cell* refinement = word::refinement_make_cstr("loose-refinement");
    EXPECT_TRUE(cell::is(refinement, T::Refinement));
    EXPECT_EQ(refinement->w1, 0u);
    EXPECT_EQ(word::index_of(refinement), -1);

    NodeId ctx = context::make(1, false, false, 0, context::Kind::Object);
    Cell local = global_as("or-global");
    context::find_or_add(ctx, &local);
    EXPECT_EQ(word::word_or_global(ctx, local.w2).w1, ctx);
    EXPECT_EQ(word::word_or_global(ctx, symbol::make_cstr("OR-GLOBAL")).w1, context::global());

    Cell* string = word::symbol_push_string(&local);
    EXPECT_EQ(string::to_std_utf8(string), "or-global");
    EXPECT_EQ(cell::node(string), symbol::entry(local.w2)->w2);  // the same series

    Cell any = global_as("Any-Type!");
    EXPECT_TRUE(word::is_any_type(&any));
    EXPECT_FALSE(word::is_any_type(&local));
}

TEST_F(WordTest, DatatypeNamesAreBound) {
    for (TypeId t : {T::Block, T::Integer, T::Word, T::Issue, T::Event}) {
        const Cell& w = registry::name_entry(t).word;
        EXPECT_TRUE(cell::is(&w, T::Word)) << type_name(t);
        EXPECT_EQ(name_of(&w), type_name(t));
        EXPECT_EQ(w.w1, context::global());
        EXPECT_EQ(word::index_of(&w), context::find_word(context::global(), w.w2, true));
    }
}

TEST_F(WordTest, IssueToInteger) {
    struct Row {
        const char* name;
        int32_t want;
        bool fails;
    };
    const Row rows[] = {
        {"FF", 255, false},        {"ff", 255, false},          {"0", 0, false},
        {"7fffffff", 2147483647, false}, {"FFFFFFFF", -1, false}, {"123456789", 0, true},
        {"fg", 0, true},           {"\xC3\x81", 0, true},  // U+00C1: its low 7 bits read "A"
        {"\xC3\xA1" "1", 0, true}, {"1 2", 0, true},
    };
    for (const Row& row : rows) {
        Cell i = issue_of(row.name);
        if (row.fails) {
            EXPECT_RAISES(issue::to_integer(&i), Err::InvalidData) << row.name;
            EXPECT_EQ(raised().args[0].w2, i.w2);
        } else {
            EXPECT_EQ(issue::to_integer(&i), row.want) << row.name;
        }
    }
}

TEST_F(WordTest, IssueConversions) {
    auto to_issue = lookup_type<&ActionRow::to>(T::Issue, ActionId::To);
    Cell target = type_cell(T::Issue);

    Cell digits = *text("12");
    Cell* got = to_issue(&target, &digits, T::Issue);
    EXPECT_TRUE(cell::is(got, T::Issue));
    EXPECT_EQ(render(*got, true).first, "#12");
    EXPECT_EQ(word::index_of(got), -1);

    Cell tail = *text("abcdef");
    tail.w1 = 3;
    EXPECT_EQ(render(*to_issue(&target, &tail, T::Issue), false).first, "def");

    Cell ch{static_cast<uint32_t>(T::Char), 0, 0xE9, 0};
    EXPECT_EQ(render(*to_issue(&target, &ch, T::Issue), true).first, "#é");

    Cell w = global_as("to-issue");
    Cell* retyped = to_issue(&target, &w, T::Issue);
    EXPECT_TRUE(cell::is(retyped, T::Issue));
    EXPECT_EQ(render(*retyped, true).first, "#to-issue");

    Cell dt = type_cell(T::Block);
    EXPECT_EQ(render(*to_issue(&target, &dt, T::Issue), true).first, "#block!");
    Cell n = int_cell(3);
    EXPECT_RAISES(to_issue(&target, &n, T::Issue), Err::BadToArg);

    Cell* pushed = issue::push(&w);
    EXPECT_TRUE(cell::is(pushed, T::Issue));
    Cell* b = block::push_new(1);
    EXPECT_EQ(render(*issue::make_in_block("in-block", b), true).first, "#in-block");
}

}  // namespace
}  // namespace nuv
