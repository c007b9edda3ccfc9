// The runtime words: every table entry interned with its spelling and in its order, the
// duplicated names sharing one id, the notice words, the refinements and the issue value.
#include "runtime/words.h"

#include <map>
#include <string>

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

std::string name_of(SymId id) { return symbol::utf8_name(id); }

TEST(WordsTest, SymbolsHaveTheirExactSpellings) {
    std::map<std::string, SymId> seen;
    for (int i = 0; i < words::kSymbolCount; i++) {
        auto index = static_cast<words::SymIndex>(i);
        SymId id = words::g_symbols[i];
        EXPECT_EQ(name_of(id), words::symbol_text(index)) << "symbol " << i;
        auto [at, fresh] = seen.emplace(words::symbol_text(index), id);
        EXPECT_EQ(at->second, id) << words::symbol_text(index);  // a repeated name, one id
    }
    EXPECT_EQ(seen.size(), size_t{words::kSymbolCount - 1});  // "code" is listed twice
}

TEST(WordsTest, WordsAreGlobalWordsWithTheirSpellings) {
    NodeId g = context::global();
    for (int i = 0; i < words::kWordCount; i++) {
        auto index = static_cast<words::WordIndex>(i);
        const Cell& w = words::g_words[i];
        EXPECT_TRUE(cell::is(&w, TypeId::Word)) << words::word_text(index);
        EXPECT_EQ(name_of(w.w2), words::word_text(index));
        EXPECT_EQ(w.w1, g);
        EXPECT_EQ(word::index_of(&w), context::find_word(g, w.w2, true)) << words::word_text(index);
    }
}

TEST(WordsTest, NamedCases) {
    struct Row {
        SymId got;
        const char* want;
    };
    const Row rows[] = {
        {words::w::swaped.w2, "swaped"},         {words::w::put_ed.w2, "put-ed"},
        {words::w::on_change_star.w2, "on-change*"}, {words::w::anon.w2, "<anon>"},
        {words::w::applied.w2, "<applied>"},     {words::w::is_length.w2, "length?"},
        {words::sym::stack, "stack"},            {words::sym::any_type_type, "any-type!"},
        {words::sym::os_macos, "macOS"},         {words::sym::is_mid_down, "mid-down?"},
        {words::sym::not_, "not"},               {words::changed_symbol, "changed"},
        {words::w::insert.w2, "insert"},         {words::w::remove.w2, "remove"},
    };
    for (const Row& row : rows) EXPECT_EQ(name_of(row.got), row.want);
}

TEST(WordsTest, RepeatedNamesShareOneId) {
    EXPECT_EQ(words::sym::code, words::sym::code_2);
    EXPECT_EQ(words::w::throw_.w2, words::w::throw_2.w2);
    EXPECT_EQ(words::w::throw_.w3, words::w::throw_2.w3);
    EXPECT_EQ(words::changed_symbol, words::w::changed.w2);
}

TEST(WordsTest, NoticeWordsAddNoSymbolAndMoveNoListedWord) {
    EXPECT_EQ(words::w::insert.w2, words::sym::insert);
    EXPECT_EQ(words::w::remove.w2, words::sym::remove);
    int32_t insert_slot = word::index_of(&words::w::insert);
    for (int i = 0; i < words::kListedWordCount; i++)
        EXPECT_NE(word::index_of(&words::g_words[i]), insert_slot) << words::g_words[i].w2;
}

TEST(WordsTest, RefinementsAndTheIssue) {
    const char* names[] = {"local", "extern", "compare", "part", "skip", "with"};
    for (int i = 0; i < words::kRefinementCount; i++) {
        const Cell& r = words::g_refinements[i];
        EXPECT_TRUE(cell::is(&r, TypeId::Refinement));
        EXPECT_EQ(r.w1, 0u);
        EXPECT_EQ(word::index_of(&r), -1);
        EXPECT_EQ(name_of(r.w2), names[i]);
    }
    EXPECT_EQ(words::ref::skip.w2, words::sym::skip);
    EXPECT_TRUE(cell::is(&words::issue_value, TypeId::Issue));
    EXPECT_EQ(name_of(words::issue_value.w2), "ooo");
    EXPECT_EQ(word::index_of(&words::issue_value), -1);
}

}  // namespace
}  // namespace nuv
