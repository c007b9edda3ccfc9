// Corpora through the lexer: every mold of every value that has a mold reads back as an equal
// value (a generated corpus, strings with every escape), and the fuzz corpus replays without
// a crash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "tests/fuzz/lexer_fuzz_body.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

bool has_mold(TypeId t) { return registry::row(t).mold != nullptr; }

std::string mold_all(const Cell& value) {
    Cell v = value;
    test::StackScope scope;
    Cell* buffer = string::make_at(stack::reserve(), 16);
    registry::row(cell::type_of(&v)).mold(&v, buffer, false, true, false, nullptr, kNoLimit, 0);
    return string::to_std_utf8(buffer);
}

std::u32string chars_of(const Cell* s) {
    std::u32string text;
    for (int32_t i = 0, n = string::length(s); i < n; i++) text += string::char_at(s, i);
    return text;
}

bool same_value(const Cell& a, const Cell& b) {
    if (cell::type_of(&a) != cell::type_of(&b)) return false;
    switch (cell::type_of(&a)) {
    case T::Integer:
    case T::Char: return a.w2 == b.w2;
    case T::Logic:
    case T::Datatype: return a.w1 == b.w1;
    case T::None:
    case T::Unset: return true;
    case T::Float:
    case T::Percent:
    case T::Time: {
        const double x = cell::get_double(&a), y = cell::get_double(&b);
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    case T::String: return chars_of(&a) == chars_of(&b);
    case T::Binary:
        return binary::rs_length(&a) == binary::rs_length(&b) &&
               std::memcmp(binary::rs_head(&a), binary::rs_head(&b),
                           static_cast<size_t>(binary::rs_length(&a))) == 0;
    case T::Word:
    case T::SetWord:
    case T::GetWord:
    case T::LitWord:
    case T::Refinement:
    case T::Issue: return a.w2 == b.w2;
    case T::Block:
    case T::Paren:
    case T::Path:
    case T::LitPath:
    case T::SetPath:
    case T::GetPath: {
        if (block::rs_length(&a) != block::rs_length(&b)) return false;
        for (int32_t i = 0; i < block::rs_length(&a); i++)
            if (!same_value(*block::rs_abs_at(&a, cell::head(&a) + i),
                            *block::rs_abs_at(&b, cell::head(&b) + i)))
                return false;
        return true;
    }
    default: return false;
    }
}

class Corpus {
  public:
    Corpus() : values_(block::push_new(64)) {}
    void add(const Cell& value) {
        if (has_mold(cell::type_of(&value))) block::append_cell(values_, &value);
    }
    void add_text(const std::u32string& text) {
        Cell s;
        string::make_at_unit(&s, text.size(), 4);
        memory::SeriesBuf* b = memory::buf_of(&s);
        for (size_t i = 0; i < text.size(); i++)
            string::put_char(b->offset_ptr() + 4 * i, 4, text[i]);
        b->tail = b->offset + 4 * text.size();
        add(s);
    }
    int32_t size() const { return block::rs_length(values_); }
    Cell at(int32_t i) const { return *block::rs_abs_at(values_, i); }
    const Cell* block() const { return values_; }

  private:
    Cell* values_;
};

// Deterministic pseudo-random numbers for the generated values.
struct Numbers {
    uint64_t x = 88172645463325252ull;
    uint64_t next() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    }
};

void add_values(Corpus& c) {
    Numbers rng;
    Cell v;
    for (int32_t i : {0, 1, -1, 7, 1000, -1000, INT32_MAX, INT32_MIN})
        integer::set(&v, i), c.add(v);
    for (int k = 0; k < 200; k++) integer::set(&v, static_cast<int32_t>(rng.next())), c.add(v);
    for (double d :
         {0.0, -0.0, 1.5, -2.25, 1e300, -1e-300, 5e-324, 1.7976931348623157e308, 0.1,
          floating::kInfinity, -floating::kInfinity, floating::kQuietNaN, 123456789012.0})
        floating::set(&v, d), c.add(v);
    for (int k = 0; k < 300; k++) {
        uint64_t bits = rng.next();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d)) floating::set(&v, d), c.add(v);
    }
    for (int k = -300; k <= 300; k += 7) floating::set_typed(&v, T::Percent, k / 1000.0), c.add(v);
    for (double s : {0.0, 37800.0, 3723.5, -1800.0, 90.5, 8100.0, 0.25, 360000.0})
        floating::set_typed(&v, T::Time, s), c.add(v);
    for (char32_t cp = 0; cp < 0x400; cp++) character::set(&v, cp), c.add(v);
    for (char32_t cp : {0x7FFu, 0x800u, 0xFFFDu, 0xFFFFu, 0x10000u, 0x1F600u, 0x10FFFFu})
        character::set(&v, cp), c.add(v);
    // Strings: every code point below 0x180 alone between letters and all together, every
    // delimiter mix, line breaks, long text and wide characters.
    for (char32_t cp = 0; cp < 0x180; cp++) c.add_text(std::u32string(U"a") + cp + U"b");
    std::u32string all;
    for (char32_t cp = 0; cp < 0x180; cp++) all += cp;
    c.add_text(all);
    for (const char32_t* text :
         {U"", U"a{b", U"a}b\"", U"{{}", U"\"}{\"", U"^{^}", U"{\"}", U"a\nb\nc\nd",
          U"größe 日本 \U0001F600", U"\x1E\x7F\x80\x9F\xA0", U"}{", U"\"\"\"", U"x^(41)y", U"%{a}%",
          U";not a comment", U"tab\there"})
        c.add_text(text);
    c.add_text(std::u32string(80, U'x') + U"\"");
    // Binaries of every length up to 100 bytes (those from 31 on mold over lines).
    std::vector<uint8_t> bytes;
    for (int n = 0; n <= 100; n++) {
        binary::load(bytes.data(), bytes.size(), &v);
        c.add(v);
        bytes.push_back(static_cast<uint8_t>(rng.next()));
    }
    // Words of every kind, with spellings the syntax allows for each.
    const char* names[] = {"a", "abc", "a-b", "a?", "a.b", "a'b", "a1", "größe", "日本",
                           "!", "?",   "_",   "|",  "~",   "&",   "*",  "**",    "+",
                           "-", "<",   ">",   "<=", ">=",  "<>",  "<<"};
    for (const char* name : names)
        for (TypeId t : {T::Word, T::SetWord, T::GetWord, T::LitWord, T::Refinement})
            c.add(word::make_global_as(name, t));
    for (const char* name : {"=", "=="}) c.add(word::make_global_as(name, T::Word));
    for (const char* name : {"abc", "a-b", "123", "größe"}) {
        SymId sym = symbol::make_cstr(name);
        c.add(Cell{static_cast<uint32_t>(T::Issue), context::global(), sym, word::kNoIndex});
    }
    for (int id = 1; id <= kTypeCount; id++) datatype::set(&v, static_cast<TypeId>(id)), c.add(v);
    // Series values as the lexer makes them: blocks, parens and paths of every kind.
    const std::string series =
        "[a [b] (c) []] (1 + 2) a/b/c a/b/c: 'a/b :a/b a/(b c)/d a/1/\"s\" [a/b: 1]";
    Cell loaded;
    lexer::transcode(reinterpret_cast<const uint8_t*>(series.data()), series.size(), {}, &loaded);
    Cell* kept = stack::push(&loaded);
    for (int32_t i = 0; i < block::rs_length(kept); i++) c.add(*block::rs_abs_at(kept, i));
    logic::set(&v, true), c.add(v);
    logic::set(&v, false), c.add(v);
    none::set(&v), c.add(v);
    unset::set(&v), c.add(v);
}

TEST(LexerCorpusTest, MoldsReadBack) {
    test::StackScope scope;
    Corpus corpus;
    add_values(corpus);
    // Blocks of the values (once blocks mold) and a nested one.
    if (has_mold(T::Block)) {
        Cell copy = *block::copy_deep(corpus.block(), false, false);
        Cell nested = *block::push_new(4);
        block::append_cell(&nested, &copy);
        corpus.add(nested);
    }
    ASSERT_GT(corpus.size(), 2000);
    int32_t checked = 0;
    for (int32_t i = 0; i < corpus.size(); i++) {
        const Cell value = corpus.at(i);
        const std::string text = mold_all(value);
        test::StackScope inner;
        Cell* result = stack::reserve();
        try {
            lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {},
                             result);
        } catch (const Unwind&) {
            ADD_FAILURE() << "raised " << err_word(raised().id) << " reading " << text;
            continue;
        }
        ASSERT_EQ(block::rs_length(result), 1) << text;
        EXPECT_TRUE(same_value(value, *block::rs_abs_at(result, 0)))
            << type_name(cell::type_of(&value)) << " molded as " << text;
        checked++;
    }
    EXPECT_EQ(checked, corpus.size());
}

TEST(LexerCorpusTest, FuzzCorpusReplays) {
    const auto inputs = test::fuzz_corpus("lexer");
    for (const std::vector<uint8_t>& bytes : inputs) {
        test::StackScope scope;
        fuzz::lex_input(bytes.data(), bytes.size());
        EXPECT_EQ(lexer::active_runs(), 0) << std::string(bytes.begin(), bytes.end());
    }
    EXPECT_GT(inputs.size(), 20u);
}

}  // namespace
}  // namespace nuv
