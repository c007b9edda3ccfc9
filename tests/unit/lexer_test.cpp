// The lexer: every token class loaded or rejected with its syntax error, the transcode modes,
// line counting and new-line markers, the shared buffers, events through the C++ hook, and
// the number scanners of `to` and `make`.
#include "runtime/syntax/lexer.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/number_scan.h"
#include "runtime/stack.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

std::string mold_of(const Cell& value) {
    Cell v = value;
    const TypeId t = cell::type_of(&v);
    auto fn = registry::row(t).mold;
    if (!fn) {
        char payload[64];
        std::snprintf(payload, sizeof payload, "%s<%08X %08X %08X>", type_name(t), v.w1, v.w2,
                      v.w3);
        return payload;
    }
    test::StackScope scope;
    Cell* buffer = string::make_at(stack::reserve(), 16);
    fn(&v, buffer, false, false, false, nullptr, kNoLimit, 0);
    return string::to_std_utf8(buffer);
}

// Blocks and paths are shown item by item (their own mold is another module's); every other
// value through its mold slot, or as its type and payload while it has none.
std::string show(const Cell& value) {
    const char* open = nullptr;
    const char* close = "";
    const char* separator = " ";
    switch (cell::type_of(&value)) {
    case T::Block: open = "[", close = "]"; break;
    case T::Paren: open = "(", close = ")"; break;
    case T::Path: open = "", separator = "/"; break;
    case T::LitPath: open = "'", separator = "/"; break;
    case T::GetPath: open = ":", separator = "/"; break;
    case T::SetPath: open = "", close = ":", separator = "/"; break;
    default: return mold_of(value);
    }
    std::string text = open;
    const Cell block = value;
    for (int32_t i = 0, n = block::rs_length(&block); i < n; i++) {
        if (i) text += separator;
        text += show(*block::rs_abs_at(&block, cell::head(&block) + i));
    }
    return text + close;
}

std::string text_of(const Cell& c) {
    if (cell::is(&c, T::Datatype)) return type_name(static_cast<TypeId>(c.w1));
    return string::to_std_utf8(&c);
}

// The raised error as "!id", then for syntax errors arg2 of invalid and missing (the datatype
// or the missing character) and arg1 (the line).
std::string raised_text() {
    const RaisedError& e = raised();
    std::string text = std::string("!") + err_word(e.id);
    if (e.id == Err::Invalid || e.id == Err::Missing) text += " " + text_of(e.args[1]);
    if (err_category(e.id) == ErrCategory::Syntax) text += " " + text_of(e.args[0]);
    return text;
}

Cell* text_cell(const std::string& utf8) {
    return string::load_new(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(),
                            string::kUtf8);
}

// The source loaded by the C++ entry and shown, or the error it raised.
std::string load(const std::string& source, const lexer::Options& options = {}) {
    test::StackScope scope;
    Cell* result = stack::reserve();
    try {
        lexer::transcode(reinterpret_cast<const uint8_t*>(source.data()), source.size(), options,
                         result);
    } catch (const Unwind&) {
        return raised_text();
    }
    return show(*result);
}

// `transcode` with refinements over a string! input, shown.
std::string transcode(const std::string& source, lexer::Refinements r = {}) {
    test::StackScope scope;
    Cell* input = text_cell(source);
    Cell* result = stack::reserve();
    try {
        lexer::run_transcode(input, r, result);
    } catch (const Unwind&) {
        return raised_text();
    }
    return show(*result);
}

struct Row {
    std::string source;
    std::string want;
};

void check_rows(const std::vector<Row>& rows) {
    for (const Row& r : rows) EXPECT_EQ(load(r.source), r.want) << "source: " << r.source;
}

TEST(LexerTest, Numbers) {
    check_rows({
        {"2147483647 2147483648 -2147483648 12345678901",
         "[2147483647 2147483648.0 -2147483648 12345678901.0]"},
        {"-2147483649 00000000001 +5 0", "[-2147483649.0 1.0 5 0]"},
        {"1'000 1'000'000", "[1000 1000000]"},
        {"1''000", "!invalid integer! (line 1)"},
        {"0FFh 10h FFFFFFFFh 0Ah ABh 1E5h", "[255 16 -1 10 171 485]"},
        {"Ah", "!invalid word! (line 1)"},
        {"Fh", "!invalid word! (line 1)"},
        {"0h", "!invalid integer! (line 1)"},
        {"1FFFFFFFFh", "!invalid integer! (line 1)"},
        {"-1h", "!invalid integer! (line 1)"},
        {"1'0h", "!invalid integer! (line 1)"},
        {".5 -.5 1e3 1.5E-3 50% 1.5%", "[0.5 -0.5 1000.0 0.0015 50% 1.5%]"},
        {"1. 1'000.5 1.5'5 +.5e1", "[1.0 1000.5 1.55 5.0]"},
        {"1.e5", "!invalid float! (line 1)"},
        {"1e5-3", "!invalid float! (line 1)"},
        {"1.#INF -1.#inf 1.#INFINITY", "[1.#INF -1.#INF 1.#INF]"},
        {"2.#INF", "!invalid float! (line 1)"},
        {"1.#IN", "!invalid float! (line 1)"},
        {"1.#5", "!invalid float! (line 1)"},
        {"1a", "!invalid integer! (line 1)"},
    });
    test::StackScope scope;
    Cell* result = stack::reserve();
    const std::string nan = "1.#NaN -1.#nan";
    lexer::transcode(reinterpret_cast<const uint8_t*>(nan.data()), nan.size(), {}, result);
    for (int i = 0; i < 2; i++) {
        const Cell* v = block::rs_abs_at(result, i);
        EXPECT_TRUE(cell::is(v, T::Float));
        EXPECT_TRUE(std::isnan(cell::get_double(v)));
    }
    // A float longer than the readers take is invalid.
    EXPECT_EQ(load("0." + std::string(311, '1')), "!invalid float! (line 1)");
}

TEST(LexerTest, Times) {
    struct TimeRow {
        const char* source;
        double seconds;
    };
    const TimeRow rows[] = {
        {"10:30", 37800}, {"1:02:03.5", 3723.5}, {"-0:30", -1800},
        {"1:30.5", 90.5}, {"1:75", 8100},        {"1:02:75", 3795},
        {"+1:00", 3600},  {"100:00", 360000},    {"0:0:0.25", 0.25},
    };
    for (const TimeRow& r : rows) {
        test::StackScope scope;
        Cell* result = stack::reserve();
        lexer::Options one;
        one.one = true;
        lexer::transcode(reinterpret_cast<const uint8_t*>(r.source), std::strlen(r.source), one,
                         result);
        EXPECT_TRUE(cell::is(result, T::Time)) << r.source;
        EXPECT_EQ(cell::get_double(result), r.seconds) << r.source;
    }
    check_rows({
        {"10:30 1:02:03.5 -0:30 1:30.5 1:75", "[10:30:00 1:02:03.5 -0:30:00 0:01:30.5 2:15:00]"},
        {"1:30,5", "!invalid time! (line 1)"},
        {"1:30:", "!invalid time! (line 1)"},
        {"1:2:3:4", "!invalid time! (line 1)"},
        {"1:2.5:3", "!invalid time! (line 1)"},
        {"1:2e5", "!invalid time! (line 1)"},
    });
}

TEST(LexerTest, Words) {
    check_rows({
        {"a a: :a 'a /a #a", "[a a: :a 'a /a #a]"},
        {"/ // % %% < <= <> << + - . = ==", "[/ // % %% < <= <> << + - . = ==]"},
        {"-a +a .a a.b a-b? ! & * _ ~ `a |", "[-a +a .a a.b a-b? ! & * _ ~ `a |]"},
        {"größe 日本 \xF0\x9F\x98\x80", "[größe 日本 \xF0\x9F\x98\x80]"},
        {"'a:", "!invalid lit-word! (line 1)"},
        {":a:", "!invalid get-word! (line 1)"},
        {":a:b", "!invalid get-word! (line 1)"},
        {"'a:b", "!invalid lit-word! (line 1)"},
        {"a\xC3", "!invalid word! (line 1)"},
        {"a\xC3\x28", "!invalid word! (line 1)"},
        {"a\x80", "!invalid word! (line 1)"},
        {"#", "!invalid issue! (line 1)"},
        {"#abc #123 #a-b", "[#abc #123 #a-b]"},
        {"/a:", "!invalid refinement! (line 1)"},
        {"a\u00A0b", "[a b]"},
        {"\u3000a\u200Bb\u0085", "[a b]"},
        {"\xC2\xA0", "[]"},
    });
}

TEST(LexerTest, WordsAreBoundGlobally) {
    test::StackScope scope;
    Cell* result = stack::reserve();
    const std::string source = "lexer-bound-word";
    lexer::Options one;
    one.one = true;
    lexer::transcode(reinterpret_cast<const uint8_t*>(source.data()), source.size(), one, result);
    ASSERT_TRUE(cell::is(result, T::Word));
    EXPECT_EQ(result->w1, context::global());
    EXPECT_GE(static_cast<int32_t>(result->w3), 0);
    EXPECT_EQ(std::string(symbol::utf8_name(result->w2)), source);
}

TEST(LexerTest, StringsAndChars) {
    check_rows({
        {"\"abc\" \"\" \"a^\"b\" \"a^/b\"", "[\"abc\" \"\" {a\"b} \"a^/b\"]"},
        {"{a{b}c} {a^}b} {a^{b}", "[\"a{b}c\" \"a}b\" \"a{b\"]"},
        {"{a\nb}", "[\"a^/b\"]"},
        {"\"a\nb\"", "!invalid string! (line 1)"},
        {"{abc", "!invalid string! (line 1)"},
        {"{a\n{b}\nc", "!invalid string! (line 3)"},
        {"%{a}b}% %%{x}%% %%{a}% b}%% %{}%", "[\"a}b\" \"x\" \"a}% b\" \"\"]"},
        {"%%{a}%b}%%", "!invalid string! (line 1)"},
        {"%{a}%%", "!invalid string! (line 1)"},
        {"%{a", "!invalid string! (line 1)"},
        {"%{^/}%", "[\"^^/\"]"},
        {"#\"^(41)\" #\"^(tab)\" #\"a\" #\"^\"\" #\"^^\" #\"é\"",
         "[#\"A\" #\"^-\" #\"a\" #\"^\"\" #\"^^\" #\"é\"]"},
        {"#\"ab\"", "!invalid char! (line 1)"},
        {"#\"\"", "!invalid char! (line 1)"},
        {"#\"^(110000)\"", "!invalid char! (line 1)"},
        {"\"^(1234567)\"", "!invalid string! (line 1)"},
        {"\"^(12\"", "!invalid string! (line 1)"},
        {"\"^(xyz)\"", "!invalid string! (line 1)"},
        {"\"^(NULL)^(Back)^(LINE)^(page)^(esc)^(del)\"", "[\"^@^H^/^L^[^~\"]"},
        {"\"a\xC3\"", "!invalid string! (line 1)"},
    });
}

// Binaries in base 16 (by default), 2 or 64; the digits of a byte may be split by blanks; an
// odd count, an incomplete group of bits, an unpadded base-64 group or another base is invalid.
TEST(LexerTest, Binaries) {
    check_rows({
        {"#{00FF} 16#{0a0B} #{} 2#{00000001 1111 0000} 64#{AQID} 64#{AQ==} 64#{AQI=}",
         "[#{00FF} #{0A0B} #{} #{01F0} #{010203} #{01} #{0102}]"},
        {"#{0 1 ;x}\n 2\t3}", "[#{0123}]"},
        {"#{012}", "!invalid binary! (line 1)"},
        {"\n#{0g}", "!invalid binary! (line 2)"},
        {"2#{0000000}", "!invalid binary! (line 1)"},
        {"2#{00000002}", "!invalid binary! (line 1)"},
        {"64#{AQI}", "!invalid binary! (line 1)"},
        {"64#{A===}", "!invalid binary! (line 1)"},
        {"8#{00}", "!invalid binary! (line 1)"},
        {"016#{00}", "!invalid binary! (line 1)"},
        {"#{00", "!invalid binary! (line 1)"},
    });
}

// Every escape decodes to its code point, and "^(...)" escapes set the unit by digit count.
TEST(LexerTest, Escapes) {
    struct EscapeRow {
        const char* source;
        std::u32string codes;
        uint32_t unit;
    };
    const EscapeRow rows[] = {
        {"\"^/^-^^^\"^{^}^~^@\"", U"\n\t^\"{}\x7F" + std::u32string(1, U'\0'), 1},
        {"\"^A^Z^a^z^[^\\^]^_\"", U"\x01\x1A\x01\x1A\x1B\x1C\x1D\x1F", 1},
        {"\"^1^ ^!^é\"", U"1 !é", 2},
        {"\"^(41)^(a)^(FF)\"", U"A\n\xFF", 1},
        {"\"^(0041)\"", U"A", 2},
        {"\"^(1F600)\"", U"\U0001F600", 4},
        {"\"^(00041)\"", U"A", 4},
        {"\"é\"", U"é", 2},
        {"\"\xF0\x9F\x98\x80\"", U"\U0001F600", 4},
        {"{^(tab)}", U"\t", 1},
    };
    for (const EscapeRow& r : rows) {
        test::StackScope scope;
        Cell* result = stack::reserve();
        lexer::Options one;
        one.one = true;
        lexer::transcode(reinterpret_cast<const uint8_t*>(r.source), std::strlen(r.source), one,
                         result);
        ASSERT_TRUE(cell::is(result, T::String)) << r.source;
        std::u32string got;
        for (int32_t i = 0; i < string::length(result); i++) got += string::char_at(result, i);
        EXPECT_TRUE(got == r.codes) << r.source;
        EXPECT_EQ(string::unit_of(result), r.unit) << r.source;
    }
}

TEST(LexerTest, BlocksParensAndPaths) {
    check_rows({
        {"a/b/c: 'a/b :a/b a/(b)/c a/1", "[a/b/c: 'a/b :a/b a/(b)/c a/1]"},
        {"[a [b (c)] #(none)] ()", "[[a [b (c)] none] ()]"},
        {"a/\"s\"/'w/:g/-1/1.5/#i", "[a/\"s\"/'w/:g/-1/1.5/#i]"},
        {"a/b/1:", "[a/b/1:]"},
        {"a/(b/c)/d", "[a/(b/c)/d]"},
        {"a/b[c]", "[a/b [c]]"},
        {"a/b:/c", "!invalid path! (line 1)"},
        {"a/b:c", "!invalid path! (line 1)"},
        {"'a/b:", "!bad-char (line 1)"},
        {":a/b:", "!bad-char (line 1)"},
        {"a/", "!bad-char (line 1)"},
        {"a/[b]", "!bad-char (line 1)"},
        {"a/ b", "!bad-char (line 1)"},
        {"FFh/x 10h/y", "[255/x 16/y]"},
        {"[a", "!missing ] (line 1)"},
        {"a]", "!missing [ (line 1)"},
        {"(a", "!missing ) (line 1)"},
        {"a)", "!missing ( (line 1)"},
        {"(a]", "!missing [ (line 1)"},
        {"[a)", "!missing ( (line 1)"},
        {"\n\n]", "!missing [ (line 3)"},
        {"[\n[\n", "!missing ] (line 3)"},
        {"#(TRUE) #(none) #(int) #(b) #(False) #(unset) #(integer!) #( logic )",
         "[true none integer! block! false unset integer! logic!]"},
        {"#(foo)", "!malconstruct (line 1)"},
        {"#(tru)", "!malconstruct (line 1)"},
        {"#()", "!malconstruct (line 1)"},
        {"#[a 1 b]", "!invalid map! (line 1)"},
        {"#[[a] 1]", "!invalid map! (line 1)"},
        {"#[#(none) 1]", "!invalid map! (line 1)"},
        {"#[a 1 'b 2 a 3 \"k\" [4]]", "[#[\n    a: 3\n    b: 2\n    \"k\" [4]\n]]"},
        {"[#[] #[1 #[x: 2]]]", "[[#[] #[\n    1 #[\n        x: 2\n    ]\n]]]"},
        {"(x + 1, 3)", "!invalid point2D! (line 1)"},
        {"(a + b, c)", "!invalid word! (line 1)"},
        {"1, 2", "!invalid point2D! (line 1)"},
        {"[1, 2]", "!invalid point2D! (line 1)"},
        {"(a, b)", "!invalid float! (line 1)"},
        {"(1,)", "!invalid point2D! (line 1)"},
        {"(1, 2, 3, 4)", "!invalid point2D! (line 1)"},
        {"(a, [b])", "!invalid point2D! (line 1)"},
        {"(x + 1, [b])", "!invalid point2D! (line 1)"},
        {"(x + 1, a/b)", "!invalid point2D! (line 1)"},
        {"(a b)", "[(a b)]"},
    });
}

TEST(LexerTest, BadBytes) {
    check_rows({
        {"}", "!bad-char (line 1)"},
        {"a \\", "!bad-char (line 1)"},
        {"\x80", "!bad-char (line 1)"},
        {"\xFF", "!bad-char (line 1)"},
        {"a\n\xC0", "!bad-char (line 2)"},
        {std::string("a\0b", 3), "!bad-char (line 1)"},
        {"/,", "!bad-char (line 1)"},
        {"; comment \xC0", "!bad-char (line 1)"},
        {"\x01\x02 a\x1F", "[a]"},
        {"a ; comment\n b ;", "[a b]"},
    });
}

// Dates in each layout load; a date that names no real day, or a zone the zone field cannot
// hold, is invalid in every layout.
TEST(LexerTest, Dates) {
    const std::pair<const char*, const char*> rows[] = {
        {"1-Jan-2020", "[1-Jan-2020]"},
        {"2020-01-01T10:00", "[1-Jan-2020/10:00:00]"},
        {"20200101T1030Z", "[1-Jan-2020/10:30:00]"},
        {"20200101T103000+0100", "[1-Jan-2020/10:30:00+01:00]"},
        {"2020-W10-3T10:00", "[4-Mar-2020/10:00:00]"},
        {"2020-123", "[2-May-2020]"},
        {"1/1/20 1-1-70 1-1-0020", "[1-Jan-2020 1-Jan-1970 1-Jan-0020]"},
        {"2020-01-01T10:00-5", "[1-Jan-2020/10:00:00-05:00]"},
        {"1-Jan-2000/10:00+5:30", "[1-Jan-2000/10:00:00+05:30]"},
        // a zone under an hour keeps its sign
        {"1-Jan-2000/10:00-0:15 20200101T1030-0045", "[1-Jan-2000/10:00:00-00:15 1-Jan-2020/10:30:00-00:45]"},
    };
    for (const auto& [source, want] : rows) EXPECT_EQ(load(source), want) << source;
    for (const char* bad : {"2020-02-30", "1-13-2020", "1-1-2020/24:00", "1-1-2000/10:00+16:00",
                            "1-1-2000/10:00+1:10", "20200101T1030+1600", "2020-W10-3T10:00+16",
                            "2020-000", "2020-W10-8", "1-Foo-2020", "1-1-2020x"})
        EXPECT_EQ(load(bad), "!invalid date! (line 1)") << bad;
}

TEST(LexerTest, TextKinTypes) {
    struct Row {
        const char* source;
        TypeId type;
    };
    const Row rows[] = {
        {"%file.txt", T::File}, {"%\"a b\"", T::File}, {"<tag a='1'>", T::Tag},
        {"http://example.org", T::Url}, {"a@b.c", T::Email}, {"@ref", T::Ref},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(load(r.source), "[" + std::string(r.source) + "]") << r.source;
        EXPECT_EQ(transcode(r.source, {.scan = true}), type_name(r.type)) << r.source;
    }
}

TEST(LexerTest, LinesAndNewLineMarkers) {
    test::StackScope scope;
    Cell* result = stack::reserve();
    const std::string source = "a b\nc [\n d] ; note\ne {x\ny} f";
    lexer::transcode(reinterpret_cast<const uint8_t*>(source.data()), source.size(), {}, result);
    // a b | c [ d ] | e "x^/y" f: the values that start a line carry the marker.
    const bool want[] = {false, false, true, false, true, false, false};
    ASSERT_EQ(block::rs_length(result), 7);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ((block::rs_abs_at(result, i)->header & cell::kNewLine) != 0, want[i])
            << "value " << i;
    const Cell inner = *block::rs_abs_at(result, 3);
    EXPECT_TRUE((block::rs_abs_at(&inner, 0)->header & cell::kNewLine) != 0);
    // Errors name the line they are found on, line feeds in strings and comments counted.
    EXPECT_EQ(load("{a\nb} ; c\n\"x\"\n 1a"), "!invalid integer! (line 4)");
}

TEST(LexerTest, SyntaxErrorArguments) {
    test::StackScope scope;
    Cell* result = stack::reserve();
    const std::string source = "ok\n  1''0 and more text that goes on and on\nnext";
    EXPECT_RAISES(lexer::transcode(reinterpret_cast<const uint8_t*>(source.data()), source.size(),
                                   {}, result),
                  Err::Invalid);
    const RaisedError& e = raised();
    ASSERT_EQ(e.argc, 3);
    EXPECT_EQ(string::to_std_utf8(&e.args[0]), "(line 2)");
    EXPECT_TRUE(cell::is(&e.args[1], T::Datatype));
    EXPECT_EQ(e.args[1].w1, static_cast<uint32_t>(T::Integer));
    EXPECT_EQ(string::to_std_utf8(&e.args[2]), "1''0 and more text that goes o");
    // The shown text stops at a line feed, and keeps a character that straddles 30 bytes.
    const std::string wide = "\"" + std::string(28, 'x') + "日本\n";
    EXPECT_RAISES(
        lexer::transcode(reinterpret_cast<const uint8_t*>(wide.data()), wide.size(), {}, result),
        Err::Invalid);
    EXPECT_EQ(string::to_std_utf8(&raised().args[2]), "\"" + std::string(28, 'x') + "日");
    const std::string bad = "}abc";
    EXPECT_RAISES(
        lexer::transcode(reinterpret_cast<const uint8_t*>(bad.data()), bad.size(), {}, result),
        Err::BadChar);
    EXPECT_EQ(raised().argc, 2);
    EXPECT_EQ(string::to_std_utf8(&raised().args[1]), "}abc");
    const std::string missing = "[a\nb";
    EXPECT_RAISES(lexer::transcode(reinterpret_cast<const uint8_t*>(missing.data()), missing.size(),
                                   {}, result),
                  Err::Missing);
    EXPECT_EQ(string::to_std_utf8(&raised().args[1]), "]");
    EXPECT_EQ(string::to_std_utf8(&raised().args[2]), "[a");
}

TEST(LexerTest, TranscodeModes) {
    struct ModeRow {
        std::string source;
        lexer::Refinements r;
        const char* want;
    };
    const ModeRow rows[] = {
        {"a b", {}, "[a b]"},
        {"a b", {.one = true}, "a"},
        {"[a] b", {.next = true}, "[[a] \" b\"]"},
        {"a  ", {.next = true}, "[a \"  \"]"},
        {"a b c", {.part = nullptr}, "[a b c]"},
        {"", {}, "[]"},
        {"  ; only a comment\n", {}, "[]"},
        {"", {.one = true}, "none"},
        {"", {.next = true}, "[none \"\"]"},
        {"12", {.scan = true}, "integer!"},
        {"12a", {.scan = true}, "error!"},
        {"a:", {.scan = true}, "set-word!"},
        {"a: b", {.next = true, .scan = true}, "[set-word! \" b\"]"},
        {"[a", {.scan = true}, "block!"},
        {"", {.scan = true}, "none"},
        {"   ", {.prescan = true}, "none"},
        {"1.2.3", {.prescan = true}, "tuple!"},
        {"12a", {.prescan = true}, "error!"},
        {"12 a", {.prescan = true}, "integer!"},
        {"{a}", {.prescan = true}, "string!"},
        {"a/b", {.scan = true}, "path!"},
        {"(1, 2)", {.prescan = true}, "point2D!"},
        {"1:30,5", {.scan = true}, "error!"},
    };
    for (const ModeRow& r : rows) EXPECT_EQ(transcode(r.source, r.r), r.want) << r.source;
}

TEST(LexerTest, TranscodePartAndInto) {
    test::StackScope scope;
    Cell* three = stack::reserve();
    integer::set(three, 3);
    EXPECT_EQ(transcode("a b c", {.part = three}), "[a b]");
    Cell* negative = stack::reserve();
    integer::set(negative, -1);
    EXPECT_EQ(transcode("a b c", {.part = negative}), "[]");
    // A position in the input's series: "é" counts one character.
    Cell* input = text_cell("é b c");
    Cell* tail = stack::push(input);
    cell::set_head(tail, 3);
    Cell* result = stack::reserve();
    lexer::run_transcode(input, {.part = tail}, result);
    EXPECT_EQ(show(*result), "[é b]");
    // Into appends at the block's tail and answers that block.
    Cell* into = block::push_new(4);
    Cell* x = stack::reserve();
    word::make_at(symbol::make_cstr("x"), x);
    block::append_cell(into, x);
    lexer::run_transcode(text_cell("1 2"), {.into = into}, result);
    EXPECT_EQ(show(*result), "[x 1 2]");
    EXPECT_EQ(result->w2, into->w2);
}

// A byte series with the type binary!, for the byte-input paths.
Cell* binary_of(const std::string& bytes) {
    NodeId node = memory::alloc_bytes(bytes.size() + 1);
    memory::SeriesBuf* b = memory::buf(node);
    std::memcpy(b->offset_ptr(), bytes.data(), bytes.size());
    b->tail = b->offset + bytes.size();
    Cell* c = stack::reserve();
    *c = Cell{static_cast<uint32_t>(T::Binary), 0, node, 0};
    return c;
}

TEST(LexerTest, BinaryInput) {
    test::StackScope scope;
    Cell* result = stack::reserve();
    Cell* bom = binary_of("\uFEFFa b");
    lexer::run_transcode(bom, {}, result);
    EXPECT_EQ(show(*result), "[a b]");
    // Positions count bytes, the mark included.
    lexer::run_transcode(bom, {.next = true}, result);
    EXPECT_EQ(cell::head(block::rs_abs_at(result, 1)), 4);
    Cell* short_mark = binary_of("\xEF\xBB");
    EXPECT_RAISES(lexer::run_transcode(short_mark, {}, result), Err::Invalid);
    Cell* three = stack::reserve();
    integer::set(three, 3);
    lexer::run_transcode(binary_of("ab cd"), {.part = three}, result);
    EXPECT_EQ(show(*result), "[ab]");
    // A binary position as the part of a string input is of another type.
    EXPECT_RAISES(lexer::run_transcode(text_cell("a b"), {.part = bom}, result), Err::NotSameType);
}

TEST(LexerTest, LoadStringCountsCharacters) {
    test::StackScope scope;
    Cell* result = stack::reserve();
    lexer::Options one;
    one.one = true;
    EXPECT_EQ(lexer::load_string(result, text_cell("日本 x"), -1, one), 2);
    EXPECT_EQ(show(*result), "日本");
    EXPECT_EQ(lexer::load_string(result, text_cell("日本 x"), -1, {}), 4);
}

// A hook that records the events it sees as text.
struct Recorder {
    std::string log;
    bool refuse_errors = false;
};
bool record_event(void* data, lexer::EventInfo& info) {
    auto* r = static_cast<Recorder*>(data);
    static const char* const kNames[] = {"", "prescan", "scan", "", "load", "", "", "", "open"};
    const int e = static_cast<int>(info.event);
    r->log += e <= 8 ? kNames[e] : e == 16 ? "close" : "error";
    r->log += info.type != T::Invalid ? std::string(" ") + type_name(info.type)
              : info.exit_state == static_cast<int>(lexer::Kind::Eof) ? " eof"
                                                                      : " comment";
    r->log += " " + std::to_string(info.start) + "-" + std::to_string(info.end) + "; ";
    return !(info.event == lexer::Event::Error && r->refuse_errors);
}

TEST(LexerTest, EventsInOrder) {
    Recorder r;
    lexer::Options options;
    options.hook = record_event;
    options.hook_data = &r;
    EXPECT_EQ(load("[a]", options), "[[a]]");
    EXPECT_EQ(r.log,
              "prescan block! 0-1; open block! 0-1; prescan word! 1-2; scan word! 1-2; "
              "load word! 1-2; prescan block! 2-3; close block! 2-3; prescan eof 3-3; ");
    r.log.clear();
    options.events =
        static_cast<uint32_t>(lexer::Event::Open) | static_cast<uint32_t>(lexer::Event::Close);
    EXPECT_EQ(load("{a{b}} ;c\n", options), "[\"a{b}\"]");
    EXPECT_EQ(r.log, "open string! 0-1; close string! 5-6; ");
}

TEST(LexerTest, RefusedErrorsResume) {
    Recorder r;
    r.refuse_errors = true;
    lexer::Options options;
    options.hook = record_event;
    options.hook_data = &r;
    options.events = static_cast<uint32_t>(lexer::Event::Error);
    // A hook that leaves the position goes on one character further, as `next input` does.
    EXPECT_EQ(load("a } b 1''0 c", options), "[a b 0 c]");
    EXPECT_EQ(r.log, "error error! 2-2; error integer! 6-6; error error! 7-7; error error! 8-8; ");
    // Values still open at the end close there when their error is declined.
    r.log.clear();
    EXPECT_EQ(load("[a (b", options), "[[a (b)]]");
    EXPECT_EQ(r.log, "error paren! 3-3; error block! 0-0; ");
    // A paren that a comma made a point but holds no numbers: its error at the ")" is declined
    // once, and the end of input keeps its values as a paren.
    r.log.clear();
    EXPECT_EQ(load("(;c\n[a] , 2)", options), "[([a] 2)]");
    EXPECT_EQ(r.log, "error point2D! 11-11; error point2D! 0-0; ");
    r.log.clear();
    EXPECT_EQ(load("(;c\n1, 2)", options), "[(1, 2)]");
    EXPECT_EQ(r.log, "");
}

// A hook that runs the lexer again: nested runs share the buffers and keep apart.
bool nested_load(void* data, lexer::EventInfo& info) {
    if (info.event != lexer::Event::Load) return true;
    auto* seen = static_cast<std::string*>(data);
    *seen += std::to_string(lexer::active_runs());
    Cell inner;
    const std::string source = "x [y z]";
    lexer::transcode(reinterpret_cast<const uint8_t*>(source.data()), source.size(), {}, &inner);
    *seen += show(inner);
    return true;
}

TEST(LexerTest, NestedRuns) {
    std::string seen;
    lexer::Options options;
    options.hook = nested_load;
    options.hook_data = &seen;
    options.events = static_cast<uint32_t>(lexer::Event::Load);
    EXPECT_EQ(load("[a b] c", options), "[[a b] c]");
    EXPECT_EQ(seen, "1[x [y z]]1[x [y z]]1[x [y z]]");
    EXPECT_EQ(lexer::active_runs(), 0);
    // A nested string input takes its own room in the UTF-8 buffer.
    test::StackScope scope;
    Cell* result = stack::reserve();
    EXPECT_EQ(lexer::load_string(result, text_cell("[a \"é\"] b"), -1, options), 9);
    EXPECT_EQ(show(*result), "[[a \"é\"] b]");
}

TEST(LexerTest, ValueBufferGrows) {
    std::string source = "[";
    for (int i = 0; i < 3000; i++) source += std::to_string(i) + (i % 7 ? " " : " [x] ");
    source += "]";
    test::StackScope scope;
    Cell* result = stack::reserve();
    lexer::transcode(reinterpret_cast<const uint8_t*>(source.data()), source.size(), {}, result);
    EXPECT_GE(lexer::value_buffer_capacity(), 3000u);
    const Cell outer = *block::rs_abs_at(result, 0);
    EXPECT_EQ(block::rs_length(&outer), 3000 + 429);
    EXPECT_EQ(cell::get_int(block::rs_abs_at(&outer, 3000 + 428)), 2999);
}

// Loading allocates the values and the result, nothing per token otherwise.
TEST(LexerTest, NoAllocationPerToken) {
    std::string source;
    for (int i = 0; i < 2000; i++) source += "12 lexer-count-word 1.5 #\"a\" ";
    test::StackScope scope;
    Cell* result = stack::reserve();
    lexer::transcode(reinterpret_cast<const uint8_t*>(source.data()), 4, {}, result);  // warm up
    lexer::transcode(reinterpret_cast<const uint8_t*>(source.data()), source.size(), {}, result);
    const uint64_t before = memory::counters().allocations;
    lexer::transcode(reinterpret_cast<const uint8_t*>(source.data()), source.size(), {}, result);
    EXPECT_LE(memory::counters().allocations - before, 2u);
    EXPECT_EQ(block::rs_length(result), 8000);
}

TEST(LexerTest, LongStringInput) {
    std::string source;
    for (int i = 0; i < 30000; i++) source += "é ";  // beyond the shared UTF-8 buffer's room
    test::StackScope scope;
    Cell* result = stack::reserve();
    EXPECT_EQ(lexer::load_string(result, text_cell(source), -1, {}), 60000);
    EXPECT_EQ(block::rs_length(result), 30000);
}

TEST(LexerTest, TextToInteger) {
    struct IntRow {
        const char* text;
        int32_t value;
        int32_t error;  // 0: none
    };
    const IntRow rows[] = {
        {"1'000'000", 1000000, 0},
        {"-2147483648", INT32_MIN, 0},
        {"2147483647", INT32_MAX, 0},
        {"+5", 5, 0},
        {"0", 0, 0},
        {"12a", 0, number_scan::kInvalid},
        {"99999999999", 0, number_scan::kTooLarge},
        {"2147483648", 0, number_scan::kTooLarge},
        {"-21474836480", 0, number_scan::kTooLarge},
        {"-2147483648a", 0, number_scan::kInvalid},
        {"", 0, number_scan::kInvalid},
        {"-", 0, number_scan::kInvalid},
        {" 1", 0, number_scan::kInvalid},
    };
    for (const IntRow& r : rows) {
        for (uint32_t unit : {1u, 2u, 4u}) {
            std::vector<uint8_t> units;
            for (const char* p = r.text; *p; p++) {
                uint8_t u[4];
                string::put_char(u, unit, static_cast<uint8_t>(*p));
                units.insert(units.end(), u, u + unit);
            }
            int32_t error = 0;
            int32_t v = number_scan::text_to_integer(
                units.data(), static_cast<int32_t>(std::strlen(r.text)), unit, &error);
            EXPECT_EQ(error, r.error) << r.text << " unit " << unit;
            if (!r.error) {
                EXPECT_EQ(v, r.value) << r.text << " unit " << unit;
            }
        }
    }
}

TEST(LexerTest, StringToFloat) {
    struct FloatRow {
        std::u32string text;
        double value;
        bool valid;
    };
    const FloatRow rows[] = {
        {U"1,5", 1.5, true},
        {U"1'000.25", 1000.25, true},
        {U"-1.5e3", -1500, true},
        {U".5", 0.5, true},
        {U"1", 1, true},
        {U"1e400", HUGE_VAL, true},
        {U".", 0, false},
        {U"-.", 0, false},
        {U"+-1", 0, false},
        {U"", 0, false},
        {U"1é", 0, false},
        {U"1.5x", 0, false},
        {std::u32string(312, U'1'), HUGE_VAL, true},
        {std::u32string(313, U'1'), 0, false},
    };
    for (const FloatRow& r : rows) {
        for (uint32_t unit : {2u, 4u}) {
            std::vector<uint8_t> units(r.text.size() * unit);
            for (size_t i = 0; i < r.text.size(); i++)
                string::put_char(units.data() + i * unit, unit, r.text[i]);
            int32_t error = 0;
            double v = number_scan::string_to_float(
                units.data(), static_cast<int32_t>(r.text.size()), unit, &error);
            const bool valid = error == 0;
            EXPECT_EQ(valid, r.valid) << r.text.size() << " unit " << unit;
            if (r.valid) EXPECT_EQ(v, r.value);
            else EXPECT_TRUE(std::isnan(v));
        }
    }
}

// Money text in every unit width: what the scanner takes and what it refuses.
TEST(LexerTest, TextToMoney) {
    test::StackScope scope;
    const struct {
        const char* text;
        const char* want;  // mold/all, or nullptr when invalid
    } rows[] = {
        {"$1.50", "$1.50000"},
        {"-$2", "-$2.00000"},
        {"USD$12'345.67", "USD$12345.67000"},
        {"12", "$12.00000"},
        {"US$1", nullptr},
        {"$", nullptr},
        {"$1.", nullptr},
        {"$'1", nullptr},
        {"", nullptr},
        {"$1.123456", nullptr},
        {"$123456789012345678", nullptr},
    };
    for (const auto& r : rows) {
        for (uint32_t unit : {1u, 2u, 4u}) {
            std::vector<uint8_t> units;
            for (const char* p = r.text; *p; p++) {
                units.push_back(static_cast<uint8_t>(*p));
                for (uint32_t i = 1; i < unit; i++) units.push_back(0);
            }
            int32_t error = 0;
            Cell result{};
            number_scan::text_to_money(units.data(), static_cast<int32_t>(std::strlen(r.text)),
                                       unit, &error, &result);
            if (!r.want) {
                EXPECT_EQ(error, number_scan::kInvalid) << r.text << " unit " << unit;
                continue;
            }
            ASSERT_EQ(error, 0) << r.text << " unit " << unit;
            Cell* buffer = string::make_at(stack::reserve(), 16);
            money::mold(&result, buffer, false, true, false, nullptr, kNoLimit, 0);
            EXPECT_EQ(string::to_std_utf8(buffer), r.want) << r.text << " unit " << unit;
        }
    }
}

}  // namespace
}  // namespace nuv
