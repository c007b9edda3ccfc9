// The lexer's generated tables: byte classes and token flags, and every row of the transition
// table pinned by tokens that pass through it (a coverage check asserts that every distinct
// exit of each of the 65 rows is taken). Also the float syntax automaton of the number scanners.
#include <gtest/gtest.h>

#include <bitset>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/number_scan.h"
#include "runtime/syntax/lexer.h"

namespace nuv {
namespace {

using lexer::Kind;
using lexer::tables::ByteClass;
using lexer::tables::kClassTable;
using lexer::tables::kTransitions;

int class_of(uint8_t b) { return static_cast<int>(kClassTable[b] & 0xFF); }

TEST(LexerTablesTest, ByteClasses) {
    struct Row {
        const char* bytes;
        ByteClass cls;
    };
    const Row rows[] = {
        {"\t\r ", ByteClass::Blank},
        {"\n", ByteClass::Newline},
        {"123456789", ByteClass::Digit},
        {"0", ByteClass::Zero},
        {"[", ByteClass::LBracket},
        {"]", ByteClass::RBracket},
        {"(", ByteClass::LParen},
        {")", ByteClass::RParen},
        {"{", ByteClass::LBrace},
        {"}", ByteClass::RBrace},
        {"\"", ByteClass::Dquote},
        {"#", ByteClass::Hash},
        {"'", ByteClass::Quote},
        {":", ByteClass::Colon},
        {"xX", ByteClass::X},
        {"T", ByteClass::UpT},
        {"h", ByteClass::LowH},
        {"e", ByteClass::LowE},
        {"E", ByteClass::UpE},
        {"abcdf", ByteClass::Hexlow},
        {"ABCDF", ByteClass::Hexup},
        {"/", ByteClass::Slash},
        {"\\", ByteClass::Backslash},
        {"<", ByteClass::Lt},
        {">", ByteClass::Gt},
        {"=", ByteClass::Equal},
        {"%", ByteClass::Percent},
        {",", ByteClass::Comma},
        {";", ByteClass::Semicolon},
        {"@", ByteClass::At},
        {".", ByteClass::Dot},
        {"$", ByteClass::Dollar},
        {"+", ByteClass::Plus},
        {"-", ByteClass::Minus},
        {"^", ByteClass::Caret},
        {"\x01\x08\x0B\x0C\x0E\x1F", ByteClass::Control},
        {"\x7F\x80\xBF", ByteClass::Cont},
        {"!&*?GSUWYZ_gikwyz`|~\xC2\xDF\xE0\xF0\xF7", ByteClass::Letter},
        {"\xC0\xC1\xF8\xFF", ByteClass::Invalid},
    };
    for (const Row& r : rows) {
        for (const char* p = r.bytes; *p; p++)
            EXPECT_EQ(class_of(static_cast<uint8_t>(*p)), static_cast<int>(r.cls))
                << "byte " << std::hex << (static_cast<int>(*p) & 0xFF);
    }
    EXPECT_EQ(class_of(0), static_cast<int>(ByteClass::Nul));
    // Every byte has one of the 40 classes.
    for (int b = 0; b < 256; b++)
        EXPECT_LT(class_of(static_cast<uint8_t>(b)), lexer::tables::kClassCount);
}

TEST(LexerTablesTest, TokenFlags) {
    struct Row {
        uint8_t byte;
        uint32_t flags;
    };
    const Row rows[] = {
        {'%', 0x00040000},  {'>', 0x00080000},  {'<', 0x00100000},  {'+', 0x00200000},
        {'-', 0x00200000},  {0, 0x00400000},    {'#', 0x00800000},  {'e', 0x01000000},
        {'E', 0x01000000},  {'\'', 0x02000000}, {':', 0x04000000},  {',', 0x08000000},
        {'.', 0x10000000},  {'^', 0x20000000},  {0xC2, 0x40000000}, {0xEF, 0x40000000},
        {0xF0, 0x80000000}, {0xF7, 0x80000000}, {0x80, 0x00000100}, {0xBF, 0x00000100},
        {'a', 0},           {'1', 0},           {0x7F, 0},          {0xC1, 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(kClassTable[r.byte] & ~0xFFu, r.flags) << "byte " << std::hex << int{r.byte};
}

// A step of the automaton as the tables give it, recording each row entered and each
// (state, next) transition taken.
struct Coverage {
    std::bitset<lexer::tables::kRowCount> rows;
    std::vector<std::bitset<lexer::kStateCount>> taken =
        std::vector<std::bitset<lexer::kStateCount>>(lexer::tables::kRowCount);
};

void record(const std::string& text, int state, Coverage* c) {
    for (size_t i = 0;; i++) {
        c->rows.set(static_cast<size_t>(state));
        int next = i < text.size() ? kTransitions[state][class_of(static_cast<uint8_t>(text[i]))]
                                   : kTransitions[state][static_cast<int>(ByteClass::Nul)];
        c->taken[static_cast<size_t>(state)].set(static_cast<size_t>(next));
        if (next >= lexer::kFirstTerminal || i >= text.size()) return;
        state = next;
    }
}

struct TokenRow {
    int start;
    const char* text;
    Kind kind;
    size_t end;  // offset of the byte that ended the token
};

// One or more tokens for each state's row: its exits to terminal states, to other states
// and to the error state.
const TokenRow kTokenRows[] = {
    // 0: start
    {0, "  abc", Kind::Word, 5},
    {0, "\n\x01 abc", Kind::Word, 6},
    {0, "123", Kind::Integer, 3},
    {0, "0", Kind::Integer, 1},
    {0, "[", Kind::BlockOpen, 0},
    {0, "]", Kind::BlockClose, 0},
    {0, "(", Kind::ParenOpen, 0},
    {0, ")", Kind::ParenClose, 0},
    {0, "{", Kind::BraceOpen, 0},
    {0, "}", Kind::Error, 0},
    {0, "\\", Kind::Error, 0},
    {0, "\x80", Kind::Error, 0},
    {0, "\xFF", Kind::Error, 0},
    {0, "\"a\"", Kind::String, 2},
    {0, "#a", Kind::Issue, 2},
    {0, "'a", Kind::Word, 2},
    {0, ":a", Kind::Word, 2},
    {0, "E1", Kind::Word, 2},
    {0, "Ba", Kind::Word, 2},
    {0, "/a", Kind::Refinement, 2},
    {0, "<a>", Kind::Tag, 2},
    {0, "=", Kind::Word, 1},
    {0, "%a", Kind::File, 2},
    {0, ",", Kind::Comma, 0},
    {0, ";x", Kind::Comment, 2},
    {0, "@a", Kind::Ref, 2},
    {0, ".5", Kind::Float, 2},
    {0, "$1", Kind::Money, 2},
    {0, "+1", Kind::Integer, 2},
    {0, "-", Kind::Word, 1},
    {0, "", Kind::Eof, 0},
    {0, "  ", Kind::Eof, 2},
    {0, "a", Kind::Word, 1},
    // 1: comment
    {0, ";abc\n", Kind::Comment, 4},
    {0, ";a\xC0", Kind::Error, 2},
    // 2, 3: quoted string and its escapes
    {0, "\"a\nb\"", Kind::Error, 2},
    {0, "\"a\xC0\"", Kind::Error, 2},
    {0, "\"abc", Kind::Error, 4},
    {0, "\"a^\"b\"", Kind::String, 5},
    {0, "\"^", Kind::Error, 2},
    {0, "\"^\xC0", Kind::Error, 2},
    // 4, 5: braced string pieces
    {4, "abc}", Kind::BraceClose, 3},
    {4, "a{", Kind::BraceOpen, 1},
    {4, "a^}}", Kind::BraceClose, 3},
    {4, "a\xC0", Kind::Error, 1},
    {4, "a\nbc", Kind::Error, 4},
    {4, "^", Kind::Error, 1},
    {4, "^\xC0", Kind::Error, 1},
    // 6-12: files and raw strings
    {0, "% ", Kind::Word, 1},
    {0, "%{a}%", Kind::RawString, 5},
    {0, "%\"a b\"", Kind::File, 5},
    {0, "%:", Kind::Word, 2},
    {0, "%%", Kind::Word, 2},
    {0, "%\xC0", Kind::Error, 1},
    {0, "%a/b.txt", Kind::File, 8},
    {0, "%a\"", Kind::Error, 2},
    {0, "%a:", Kind::File, 2},
    {0, "%\"a", Kind::Error, 3},
    {0, "%\"a\nb\"", Kind::Error, 3},
    {0, "%% ", Kind::Word, 2},
    {0, "%%{a}%%", Kind::RawString, 7},
    {0, "%%%", Kind::Word, 3},
    {0, "%%a", Kind::File, 3},
    {0, "%%\xC0", Kind::Error, 2},
    {0, "%{a", Kind::Error, 3},
    {0, "%{\xC0", Kind::Error, 2},
    {0, "%{a}}%", Kind::RawString, 6},
    {0, "%{a}b}%", Kind::RawString, 7},
    {0, "%{a}", Kind::Error, 4},
    {0, "%{a}\xC0", Kind::Error, 4},
    {0, "%{a}%%", Kind::RawString, 6},
    {0, "%{a}%b", Kind::Error, 5},
    {0, "%{a}%\n", Kind::RawString, 5},
    // 13-15: slashes
    {0, "/ ", Kind::Word, 1},
    {0, "/:", Kind::Word, 2},
    {0, "//", Kind::Word, 2},
    {0, "/,", Kind::Error, 1},
    {0, "/a/", Kind::Refinement, 2},
    {0, "/a:", Kind::Error, 2},
    {0, "/ab", Kind::Refinement, 3},
    {0, "// ", Kind::Word, 2},
    {0, "///", Kind::Word, 3},
    {0, "//%", Kind::Error, 2},
    {0, "//a", Kind::Word, 3},
    // 16-22: after a hash
    {0, "# ", Kind::Error, 1},
    {0, "#[", Kind::MapOpen, 1},
    {0, "#(a)", Kind::Construct, 3},
    {0, "#{00}", Kind::Binary, 4},
    {0, "#\"a\"", Kind::Char, 3},
    {0, "#", Kind::Issue, 1},
    {0, "#;", Kind::Issue, 1},
    {0, "#{0 1\n}", Kind::Binary, 6},
    {0, "#{;c\n00}", Kind::Binary, 7},
    {0, "#{,}", Kind::Error, 2},
    {0, "#{", Kind::Error, 2},
    {0, "#{;\xC0", Kind::Error, 3},
    {0, "#{;x", Kind::Error, 4},
    {0, "#\"a", Kind::Error, 3},
    {0, "#\"^\"\"", Kind::Char, 4},
    {0, "#\"\xC0", Kind::Error, 2},
    {0, "#\"^", Kind::Error, 3},
    {0, "#\"^\xC0", Kind::Error, 3},
    {0, "#(a", Kind::Error, 3},
    {0, "#(\xC0", Kind::Error, 2},
    {0, "#(a b)", Kind::Construct, 5},
    {0, "#a ", Kind::Issue, 2},
    {0, "#a:", Kind::Error, 2},
    {0, "#a/", Kind::Error, 2},
    {0, "#ab", Kind::Issue, 3},
    // 23: integer digits
    {0, "1'0", Kind::Integer, 3},
    {0, "16#{00}", Kind::Binary, 6},
    {0, "1:2", Kind::Time, 3},
    {0, "1x2", Kind::Pair, 3},
    {0, "1T", Kind::Date, 2},
    {0, "1/2", Kind::Date, 3},
    {0, "1-2", Kind::Date, 3},
    {0, "1h", Kind::Hex, 2},
    {0, "1e2", Kind::Float, 3},
    {0, "1E2", Kind::Float, 3},
    {0, "1a", Kind::Error, 1},
    {0, "1Ah", Kind::Hex, 3},
    {0, "1%", Kind::Percent, 1},
    {0, "1@a", Kind::Email, 3},
    {0, "1.5", Kind::Float, 3},
    {0, "1 ", Kind::Integer, 1},
    {0, "1,", Kind::Integer, 1},
    // 24-28: decimals, exponents, special floats
    {0, "1. ", Kind::Float, 2},
    {0, "1.#INF", Kind::SpecialFloat, 6},
    {0, "1.x2", Kind::Pair, 4},
    {0, "1.e5", Kind::Float, 4},
    {0, "1.%", Kind::Percent, 2},
    {0, "1.a", Kind::Error, 2},
    {0, "1.5'0", Kind::Float, 5},
    {0, "1.5#", Kind::Error, 3},
    {0, "1.5x2", Kind::Pair, 5},
    {0, "1.5e3", Kind::Float, 5},
    {0, "1.5%", Kind::Percent, 3},
    {0, "1.5@a", Kind::Email, 5},
    {0, "1.5.2", Kind::Tuple, 5},
    {0, "1.5 ", Kind::Float, 3},
    {0, "1e5 ", Kind::Float, 3},
    {0, "1e+5", Kind::Float, 4},
    {0, "1e5@a", Kind::Email, 5},
    {0, "1ea", Kind::Error, 2},
    {0, "1E5h", Kind::Hex, 4},
    {0, "1EEh", Kind::Hex, 4},
    {0, "1E%", Kind::Percent, 2},
    {0, "1E@a", Kind::Email, 4},
    {0, "1E.", Kind::Tuple, 3},
    {0, "1E-5", Kind::Float, 4},
    {0, "1Ex", Kind::Error, 2},
    {0, "1E ", Kind::Float, 2},
    {0, "1.#5", Kind::Float, 3},
    {0, "1.#$", Kind::Error, 3},
    {0, "1.#INF ", Kind::SpecialFloat, 6},
    // 29-34: tuples, dates, times, pairs
    {0, "1.2.3 ", Kind::Tuple, 5},
    {0, "1.2.3a", Kind::Error, 5},
    {0, "1-2-3 ", Kind::Date, 5},
    {0, "1-2%", Kind::Error, 3},
    {0, "1/2/3$", Kind::Date, 5},
    {0, "1:a", Kind::Error, 2},
    {0, "1:5:7.5 ", Kind::Time, 7},
    {0, "1:5e", Kind::Error, 3},
    {0, "1xa", Kind::Error, 2},
    {0, "1x-2", Kind::Pair, 4},
    {0, "1x@a", Kind::Email, 4},
    {0, "1x2 ", Kind::Pair, 3},
    {0, "1x2e5", Kind::Pair, 5},
    {0, "1x2a", Kind::Error, 3},
    {0, "1x2@a", Kind::Email, 5},
    // 35: inside a point's parentheses
    {35, "1, 2)", Kind::Point, 4},
    {35, "1 2", Kind::Error, 3},
    {35, "a)", Kind::Point, 1},
    {35, "1;", Kind::Error, 1},
    // 36-38: money
    {0, "$a", Kind::Error, 1},
    {0, "$1'0 ", Kind::Money, 4},
    {0, "$1.5", Kind::Money, 4},
    {0, "$1a", Kind::Error, 2},
    {0, "$1.5 ", Kind::Money, 4},
    {0, "$1.5'0", Kind::Money, 6},
    {0, "$1.5.", Kind::Error, 4},
    // 39-42: hexadecimal forms
    {0, "1A2h", Kind::Hex, 4},
    {0, "1A@a", Kind::Email, 4},
    {0, "1Ax", Kind::Error, 2},
    {0, "AB1", Kind::Word, 3},
    {0, "Ax", Kind::Word, 2},
    {0, "A:", Kind::Word, 2},
    {0, "AB/", Kind::PathOpen, 2},
    {0, "A%", Kind::Error, 1},
    {0, "A@b", Kind::Email, 3},
    {0, "A$1", Kind::Money, 3},
    {0, "A ", Kind::Word, 1},
    {0, "Ah ", Kind::Hex, 2},
    {0, "Ah#", Kind::Error, 2},
    {0, "Ah:", Kind::Word, 3},
    {0, "Ah/", Kind::PathOpen, 2},
    {0, "Ah@b", Kind::Email, 4},
    {0, "Ah$1", Kind::Money, 4},
    {0, "Ahx", Kind::Word, 3},
    {0, "1h ", Kind::Hex, 2},
    {0, "1h/", Kind::PathOpen, 2},
    {0, "1h@a", Kind::Email, 4},
    {0, "1h$1", Kind::Money, 4},
    {0, "1hx", Kind::Error, 2},
    {0, "1h<", Kind::Hex, 2},
    // 43-46: tags and "<" words
    {0, "< ", Kind::Word, 1},
    {0, "<'a'>", Kind::Tag, 4},
    {0, "<:", Kind::Word, 2},
    {0, "<<", Kind::Word, 2},
    {0, "<>", Kind::Word, 2},
    {0, "<\xC0", Kind::Error, 1},
    {0, "<ab>", Kind::Tag, 3},
    {0, "<a\"b\">", Kind::Tag, 5},
    {0, "<a'b'>", Kind::Tag, 5},
    {0, "<a", Kind::Error, 2},
    {0, "<a\xC0", Kind::Error, 2},
    {0, "<a\"b", Kind::Error, 4},
    {0, "<a\"\xC0", Kind::Error, 3},
    {0, "<a'b", Kind::Error, 4},
    {0, "<'\xC0", Kind::Error, 2},
    // 47-50: signs and dots
    {0, "+ ", Kind::Word, 1},
    {0, "-1", Kind::Integer, 2},
    {0, "+'", Kind::Error, 1},
    {0, "+/", Kind::PathOpen, 1},
    {0, "-.5", Kind::Float, 3},
    {0, "-$1", Kind::Money, 3},
    {0, "-a", Kind::Word, 2},
    {0, "'+ ", Kind::Word, 2},
    {0, "'+'", Kind::Error, 2},
    {0, "'+/", Kind::PathOpen, 2},
    {0, "'+a", Kind::Word, 3},
    {0, ". ", Kind::Word, 1},
    {0, ".:", Kind::Word, 2},
    {0, "./", Kind::PathOpen, 1},
    {0, ".%", Kind::Error, 1},
    {0, ".@a", Kind::Email, 3},
    {0, ".a", Kind::Word, 2},
    {0, ".5 ", Kind::Float, 2},
    {0, ".5e3", Kind::Float, 4},
    {0, ".5x2", Kind::Pair, 4},
    {0, ".5%", Kind::Percent, 2},
    {0, ".5@a", Kind::Email, 4},
    {0, ".5a", Kind::Error, 2},
    // 51-58: prefixes, words, set-words, URLs, emails, refs
    {0, "'/", Kind::Word, 2},
    {0, "'<", Kind::Word, 2},
    {0, "'=", Kind::Word, 2},
    {0, "'%", Kind::Word, 2},
    {0, "' ", Kind::Error, 1},
    {0, "ab ", Kind::Word, 2},
    {0, "ab:", Kind::Word, 3},
    {0, "ab/", Kind::PathOpen, 2},
    {0, "ab%", Kind::Error, 2},
    {0, "ab@c", Kind::Email, 4},
    {0, "ab$1", Kind::Money, 4},
    {0, "a: ", Kind::Word, 2},
    {0, "a:<", Kind::Error, 2},
    {0, "a:b", Kind::Url, 3},
    {0, "'% ", Kind::Word, 2},
    {0, "'%%", Kind::Word, 3},
    {0, "'%a", Kind::Error, 2},
    {0, "a:b ", Kind::Url, 3},
    {0, "a:b>", Kind::Error, 3},
    {0, "a:b/c", Kind::Url, 5},
    {0, "a@b ", Kind::Email, 3},
    {0, "a@b#", Kind::Error, 3},
    {0, "a@b.c", Kind::Email, 5},
    {0, "@a ", Kind::Ref, 2},
    {0, "@a#", Kind::Error, 2},
    {0, "= ", Kind::Word, 1},
    {0, "=#", Kind::Error, 1},
    {0, "=/", Kind::PathOpen, 1},
    {0, "==", Kind::Word, 2},
    // 59-64: path segments
    {59, "1", Kind::Integer, 1},
    {59, "(", Kind::ParenOpen, 0},
    {59, ")", Kind::ParenClose, 0},
    {59, "\"a\"", Kind::String, 2},
    {59, "#a", Kind::Issue, 2},
    {59, "'a", Kind::Word, 2},
    {59, "a", Kind::Word, 1},
    {59, "<a>", Kind::Tag, 2},
    {59, "@a", Kind::Ref, 2},
    {59, "$1", Kind::Money, 2},
    {59, "-1", Kind::Integer, 2},
    {59, "[", Kind::Error, 0},
    {59, "1 ", Kind::Integer, 1},
    {59, "1'0", Kind::Integer, 3},
    {59, "1x2", Kind::Pair, 3},
    {59, "1e5", Kind::Float, 3},
    {59, "1%", Kind::Percent, 1},
    {59, "1@a", Kind::Email, 3},
    {59, "1.5", Kind::Float, 3},
    {59, "1a", Kind::Error, 1},
    {59, "1/", Kind::Integer, 1},
    {59, "1:", Kind::Integer, 1},
    {59, "'1", Kind::Error, 1},
    {59, "ab/", Kind::Word, 2},
    {59, "ab:", Kind::Word, 2},
    {59, "ab%", Kind::Error, 2},
    {59, "ab@c", Kind::Email, 4},
    {59, "ab$1", Kind::Money, 4},
    {59, "#\"a\"", Kind::Char, 3},
    {59, "#[a)", Kind::Construct, 3},
    {59, "# ", Kind::Error, 1},
    {59, "-a", Kind::Word, 2},
    {59, "-#", Kind::Error, 1},
    {59, "-@a", Kind::Email, 3},
    {59, "-$1", Kind::Money, 3},
    {59, "--1", Kind::Integer, 3},
    {59, "- ", Kind::Word, 1},
};

TEST(LexerTablesTest, EveryRowPinned) {
    Coverage coverage;
    for (const TokenRow& r : kTokenRows) {
        const std::string text = r.text;
        lexer::Step s = lexer::scan_token(reinterpret_cast<const uint8_t*>(text.data()),
                                          text.size(), 0, r.start);
        EXPECT_EQ(s.state, static_cast<int>(r.kind)) << "from state " << r.start << ": " << text;
        EXPECT_EQ(s.end, r.end) << "from state " << r.start << ": " << text;
        record(text, r.start, &coverage);
    }
    for (int state = 0; state < lexer::tables::kRowCount; state++) {
        EXPECT_TRUE(coverage.rows.test(static_cast<size_t>(state)))
            << "row never entered: " << state;
        for (int c = 0; c < lexer::tables::kClassCount; c++) {
            const int next = kTransitions[state][c];
            EXPECT_TRUE(coverage.taken[static_cast<size_t>(state)].test(static_cast<size_t>(next)))
                << "exit never taken: " << state << " -> " << next;
        }
    }
}

TEST(LexerTablesTest, StepCountsLinesAndFlags) {
    const std::string text = "\n\n {a\nb^}c}";
    lexer::Step s =
        lexer::scan_token(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0, 0);
    EXPECT_EQ(s.state, static_cast<int>(Kind::BraceOpen));
    EXPECT_EQ(s.lines_before, 2);
    EXPECT_EQ(s.start, 3u);
    lexer::Step piece = lexer::scan_token(reinterpret_cast<const uint8_t*>(text.data()),
                                          text.size(), 4, lexer::kBracedState);
    EXPECT_EQ(piece.state, static_cast<int>(Kind::BraceClose));
    EXPECT_EQ(piece.lines, 1);
    EXPECT_EQ(piece.end, 10u);
    EXPECT_NE(piece.flags & 0x20000000u, 0u);  // the caret
}

TEST(LexerTablesTest, FloatSyntaxCheck) {
    struct Row {
        const char* text;
        bool valid;
    };
    const Row rows[] = {
        {"1", true},        {"1.", true},  {".5", true},   {"1.5e-3", true}, {"1'000.2'5", true},
        {"-1", true},       {"+.5", true}, {"1e5", true},  {"1'", true},     {"1.5'", true},
        {"-1.5E+10", true}, {"", false},   {"e5", false},  {"1e", false},    {"1e+", false},
        {".", false},       {"-.", false}, {"+-1", false}, {"--1", false},   {"1.e5", false},
        {"1..2", false},    {"1x", false}, {" 1", false},  {"'1", false},    {"1''2", false},
        {"1e5.5", false},   {"-", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(number_scan::float_syntax_check(r.text, std::strlen(r.text)), r.valid) << r.text;
    EXPECT_TRUE(number_scan::float_syntax_check(std::string(312, '1').c_str(), 312));
    EXPECT_FALSE(number_scan::float_syntax_check(std::string(313, '1').c_str(), 313));
}

}  // namespace
}  // namespace nuv
