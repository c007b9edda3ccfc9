// string! actions through the dispatch row of string!: make and to, compare, path access,
// append, insert and change, find and select, sort, swap, take, trim and the set operations;
// the inherited series! slots as text sees them; the cost of appending by counts.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/case_fold.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

const ActionRow& row() { return registry::row(TypeId::String); }

// ---- Values on the argument stack ----

Cell* text(const std::string& utf8, TypeId type = TypeId::String) {
    Cell* s = string::load(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), nullptr,
                           string::kUtf8);
    cell::set_type(s, type);
    return s;
}
Cell* at(const std::string& utf8, int32_t head) {
    Cell* s = text(utf8);
    cell::set_head(s, head);
    return s;
}
Cell* chr(char32_t cp) { return character::push(cp); }
Cell* num(int32_t v) { return integer::push(v); }
Cell* tag(const std::string& utf8) { return text(utf8, TypeId::Tag); }
Cell* block_of(std::initializer_list<std::function<Cell*()>> items) {
    Cell* b = block::push_new(4);
    for (const auto& make : items) {
        stack::Mark mark;
        Cell item = *make();
        mark.restore();
        block::append_cell(b, &item);
    }
    return b;
}
// A byte series of the given type (binary!, bitset!) holding the bytes.
Cell* bytes_of(TypeId type, const std::vector<uint8_t>& bytes) {
    Cell* c = stack::reserve();
    *c = Cell{static_cast<uint32_t>(TypeId::Unset), 0, 0, 0};
    const NodeId node = memory::alloc_bytes(bytes.size() ? bytes.size() : 1);
    memory::SeriesBuf* b = memory::buf(node);
    for (size_t i = 0; i < bytes.size(); i++) b->offset_ptr()[i] = bytes[i];
    b->tail = b->offset + bytes.size();
    *c = Cell{static_cast<uint32_t>(type), 0, node, 0};
    return c;
}
// A bitset holding the ASCII characters of `members`.
Cell* charset(const std::string& members) {
    std::vector<uint8_t> bits(16, 0);
    for (unsigned char c : members) bits[c >> 3] |= static_cast<uint8_t>(0x80 >> (c & 7));
    return bytes_of(TypeId::Bitset, bits);
}

// Makers of values for the case tables.
using Make = std::function<Cell*()>;
Make txt(const char* t) { return [t] { return text(t); }; }
Make ch(char32_t cp) { return [cp] { return chr(cp); }; }
Make nm(int32_t v) { return [v] { return num(v); }; }
Make tg(const char* t) { return [t] { return tag(t); }; }
Make three() { return [] { return block_of({nm(1), txt("bc"), ch('d')}); }; }

std::string utf8(const Cell* s) { return string::to_std_utf8(s); }
// The whole buffer, whatever the head.
std::string whole(const Cell* s) {
    Cell c = *s;
    cell::set_head(&c, 0);
    return string::to_std_utf8(&c);
}
std::string show(const Cell* v) {
    if (cell::is(v, TypeId::None)) return "none";
    if (cell::is(v, TypeId::Char)) return "#" + std::to_string(character::get(v));
    if (series::is_any_string(cell::type_of(v)))
        return "\"" + whole(v) + "\" at " + std::to_string(cell::head(v));
    return std::string(type_name(cell::type_of(v)));
}

// ---- make, to, compare ----

TEST(StringActions, MakeAndTo) {
    struct Case {
        const char* what;
        bool make;
        TypeId type;
        Make spec;
        const char* want;
    };
    const Case cases[] = {
        {"make 10", true, TypeId::String, nm(10), ""},
        {"make 2.5", true, TypeId::File, [] {
             Cell* f = stack::reserve();
             *f = Cell{static_cast<uint32_t>(TypeId::Float), 0, 0, 0};
             cell::set_double(f, 2.5);
             return f;
         }, ""},
        {"make text", true, TypeId::String, txt("abc"), "abc"},
        {"to block", false, TypeId::String,
         [] { return block_of({nm(1), txt("a"), ch('b')}); },
         "1ab"},
        {"to tag text", false, TypeId::String, tg("b"), "b"},
        {"to integer", false, TypeId::Url, nm(-12), "-12"},
        {"to char", false, TypeId::String, ch(0x20AC), "\xE2\x82\xAC"},
        {"to binary", false, TypeId::String,
         [] { return bytes_of(TypeId::Binary, {'a', 0xC3, 0xA9}); },
         "a\xC3\xA9"},
        {"to refinement, string", false, TypeId::String, [] {
             Cell r = word::make_global_as("part", TypeId::Refinement);
             return stack::push(&r);
         }, "part"},
        {"to refinement, file", false, TypeId::File, [] {
             Cell r = word::make_global_as("part", TypeId::Refinement);
             return stack::push(&r);
         }, "/part"},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* proto = stack::reserve();
        *proto = Cell{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(c.type), 0, 0};
        Cell* spec = c.spec();
        Cell* got = c.make ? row().make(proto, spec, c.type) : row().to(proto, spec, c.type);
        EXPECT_EQ(cell::type_of(got), c.type) << c.what;
        EXPECT_EQ(utf8(got), c.want) << c.what;
    }
    test::StackScope scope;
    Cell* proto = stack::reserve();
    // A copy never shares the source's buffer.
    Cell* source = at("abcd", 1);
    Cell* copy = row().to(proto, source, TypeId::String);
    EXPECT_NE(cell::node(copy), cell::node(source));
    EXPECT_EQ(whole(copy), "bcd");
    EXPECT_RAISES(row().make(stack::reserve(), num(-1), TypeId::String), Err::OutOfRange);
    EXPECT_RAISES(row().to(stack::reserve(), none::push(), TypeId::File), Err::BadToArg);
    EXPECT_EQ(raised().args[0].w1, static_cast<uint32_t>(TypeId::String));
    EXPECT_RAISES(row().to(stack::reserve(), bytes_of(TypeId::Binary, {'a', 0xC3}), TypeId::String),
                  Err::InvalidUtf8);
    EXPECT_RAISES(row().to(stack::reserve(), bytes_of(TypeId::Binary, {0xFF}), TypeId::String),
                  Err::InvalidUtf8);
}

TEST(StringActions, Compare) {
    struct Case {
        const char* a;
        TypeId ta;
        const char* b;
        TypeId tb;
        CompareOp op;
        int32_t want;
    };
    const Case cases[] = {
        {"abc", TypeId::String, "ABC", TypeId::String, CompareOp::Equal, 0},
        {"abc", TypeId::String, "ABC", TypeId::String, CompareOp::StrictEqual, 1},
        {"abc", TypeId::String, "abd", TypeId::String, CompareOp::Lesser, -1},
        {"a", TypeId::String, "a", TypeId::File, CompareOp::Equal, 0},
        {"a", TypeId::String, "b", TypeId::File, CompareOp::NotEqual, -1},
        {"a", TypeId::String, "b", TypeId::File, CompareOp::Lesser, kNotComparable},
        {"a", TypeId::String, "a", TypeId::File, CompareOp::StrictEqual, kNotComparable},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        EXPECT_EQ(row().compare(text(c.a, c.ta), text(c.b, c.tb), c.op), c.want)
            << c.a << " vs " << c.b << " op " << static_cast<int>(c.op);
    }
    test::StackScope scope;
    EXPECT_EQ(row().compare(text("1"), num(1), CompareOp::Equal), kNotComparable);
}

// ---- append, insert, change ----

enum class Edit { Append, Insert, Change };

struct EditCase {
    const char* what;
    Edit edit;
    const char* target;
    int32_t head;
    std::function<Cell*()> value;  // nullptr: the target itself
    int32_t part;
    bool only;
    int32_t dup;
    const char* want;  // the whole buffer
    int32_t want_head;
};

void run_edits(const std::vector<EditCase>& cases) {
    for (const EditCase& c : cases) {
        test::StackScope scope;
        Cell* series = at(c.target, c.head);
        Cell* value = c.value ? c.value() : stack::push(series);
        const bool append = c.edit == Edit::Append;
        Cell* got = c.edit == Edit::Change
                        ? row().change(series, value, c.part, c.only, c.dup)
                        : row().append(series, value, c.part, c.only, c.dup, append);
        EXPECT_EQ(show(got), show(series)) << c.what;
        EXPECT_EQ(whole(got), c.want) << c.what << ": " << c.target;
        EXPECT_EQ(cell::head(got), c.want_head) << c.what << ": " << c.target;
    }
}

TEST(StringActions, Append) {
    run_edits({
        {"text", Edit::Append, "abc", 1, txt("de"), -1, false, 1, "abcde", 0},
        {"Latin-1 char", Edit::Append, "ab", 0, ch(0xE9), -1, false, 1, "ab\xC3\xA9", 0},
        {"wide char", Edit::Append, "ab", 0, ch(0x1F600), -1, false, 1, "ab\xF0\x9F\x98\x80", 0},
        {"wide text", Edit::Append, "ab", 0, txt("\xE2\x82\xAC"), -1, false, 1, "ab\xE2\x82\xAC",
         0},
        {"narrow into wide", Edit::Append, "\xE2\x82\xAC", 0, txt("a\xC3\xA9"), -1,
         false, 1, "\xE2\x82\xAC" "a\xC3\xA9", 0},
        {"part", Edit::Append, "abc", 0, txt("defg"), 2, false, 1, "abcde", 0},
        {"part 0", Edit::Append, "abc", 0, txt("defg"), 0, false, 1, "abc", 0},
        {"text from its head", Edit::Append, "a", 0, [] { return at("xyz", 1); }, -1, false, 1,
         "ayz", 0},
        {"dup", Edit::Append, "ab", 0, txt("xy"), -1, false, 3, "abxyxyxy", 0},
        {"dup char", Edit::Append, "ab", 0, ch('-'), -1, false, 4, "ab----", 0},
        {"dup 0", Edit::Append, "ab", 1, txt("xy"), -1, false, 0, "ab", 1},
        {"tag", Edit::Append, "ab", 0, tg("b"), -1, false, 1, "ab<b>", 0},
        {"tag part", Edit::Append, "ab", 0, tg("bcd"), 3, false, 1, "ab<bc", 0},
        {"tag part whole", Edit::Append, "ab", 0, tg("bcd"), 5, false, 1, "ab<bcd>", 0},
        {"integer", Edit::Append, "a", 0, nm(12), -1, false, 1, "a12", 0},
        {"integer part", Edit::Append, "a", 0, nm(12345), 2, false, 1, "a12", 0},
        {"block", Edit::Append, "a", 0, three(), -1, false, 1, "a1bcd", 0},
        {"block part counts items", Edit::Append, "a", 0, three(), 2, false, 1, "a1bc", 0},
        {"block part only counts characters", Edit::Append, "a", 0, three(), 2, true, 1, "a1b", 0},
        {"block dup", Edit::Append, "", 0, [] { return block_of({txt("x"), ch('y')}); }, -1, false,
         2, "xyxy", 0},
        {"itself", Edit::Append, "ab", 0, nullptr, -1, false, 1, "abab", 0},
        {"itself dup", Edit::Append, "ab", 1, nullptr, -1, false, 3, "abbbb", 0},
    });
}

TEST(StringActions, Insert) {
    run_edits({
        {"at head", Edit::Insert, "cd", 0, txt("ab"), -1, false, 1, "abcd", 2},
        {"inside", Edit::Insert, "ad", 1, txt("bc"), -1, false, 1, "abcd", 3},
        {"at tail", Edit::Insert, "ab", 2, txt("cd"), -1, false, 1, "abcd", 4},
        {"head past tail", Edit::Insert, "ab", 9, txt("cd"), -1, false, 1, "abcd", 4},
        {"char", Edit::Insert, "bc", 0, ch('a'), -1, false, 1, "abc", 1},
        {"wide char widens", Edit::Insert, "ab", 1, ch(0x20AC), -1, false, 1,
         "a\xE2\x82\xAC" "b", 2},
        {"dup", Edit::Insert, "ab", 1, txt("xy"), -1, false, 2, "axyxyb", 5},
        {"part", Edit::Insert, "ab", 1, txt("xyz"), 1, false, 1, "axb", 2},
        {"tag", Edit::Insert, "ab", 1, tg("i"), -1, false, 1, "a<i>b", 4},
        {"itself at head", Edit::Insert, "abc", 0, nullptr, -1, false, 1, "abcabc", 3},
        {"itself inside", Edit::Insert, "abc", 1, nullptr, -1, false, 2, "abcbcbc", 5},
    });
    // The source lies in the target's buffer after the insertion point.
    test::StackScope scope;
    Cell* s = text("abc");
    Cell* later = stack::push(s);
    cell::set_head(later, 1);
    row().insert(s, later, -1, false, 1, false);
    EXPECT_EQ(whole(s), "bcabc");
    EXPECT_EQ(cell::head(s), 2);
}

TEST(StringActions, Change) {
    run_edits({
        {"same length", Edit::Change, "abcde", 0, txt("XY"), -1, false, 1, "XYcde", 2},
        {"inside", Edit::Change, "abcde", 2, txt("XY"), -1, false, 1, "abXYe", 4},
        {"extends", Edit::Change, "abc", 1, txt("WXYZ"), -1, false, 1, "aWXYZ", 5},
        {"at tail appends", Edit::Change, "ab", 2, txt("cd"), -1, false, 1, "abcd", 4},
        {"char", Edit::Change, "abc", 1, ch('X'), -1, false, 1, "aXc", 2},
        {"dup", Edit::Change, "abcde", 0, ch('x'), -1, false, 2, "xxcde", 2},
        {"part shrinks", Edit::Change, "abcde", 0, txt("X"), 3, false, 1, "Xde", 1},
        {"part grows", Edit::Change, "abcde", 0, txt("XYZ"), 1, false, 1, "XYZbcde", 3},
        {"part 0 inserts", Edit::Change, "abc", 1, txt("X"), 0, false, 1, "aXbc", 2},
        {"part past tail", Edit::Change, "abc", 1, txt("X"), 9, false, 1, "aX", 2},
        {"part dup", Edit::Change, "abcde", 1, txt("xy"), 2, false, 2, "axyxyde", 5},
        {"empty source with part removes", Edit::Change, "abcde", 1, txt(""), 2, false,
         1, "ade", 1},
        {"wide source widens", Edit::Change, "abc", 1, ch(0x20AC), -1, false, 1,
         "a\xE2\x82\xAC" "c", 2},
        {"tag", Edit::Change, "abcdef", 0, tg("i"), -1, false, 1, "<i>def", 3},
        {"block", Edit::Change, "abcdef", 0,
         [] { return block_of({nm(1), ch('x')}); }, -1, false, 1,
         "1xcdef", 2},
        {"itself", Edit::Change, "abc", 1, nullptr, -1, false, 1, "abc", 3},
        {"itself part", Edit::Change, "abc", 0, nullptr, 1, false, 1, "abcbc", 3},
    });
}

TEST(StringActions, OversizedDupRaisesNoMemory) {
    test::StackScope scope;
    Cell* s = text("a");
    EXPECT_RAISES(row().append(s, text("ab"), -1, false, 1500000000, true), Err::NoMemory);
    EXPECT_RAISES(row().change(s, text("ab"), -1, false, 1500000000), Err::NoMemory);
    EXPECT_EQ(whole(s), "a");
}

// ---- find, select ----

struct FindCase {
    const char* what;
    const char* series;
    int32_t head;
    std::function<Cell*()> value;
    std::function<Cell*(Cell* series)> part;  // nullptr: no /part
    int32_t skip;                             // 0: no /skip
    const char* flags;  // c case, l last, r reverse, t tail, m match
    int32_t want;       // the found head, or -1 for none
};

TEST(StringActions, Find) {
    auto n = [](int32_t v) { return [v](Cell*) { return num(v); }; };
    const std::vector<FindCase> cases = {
        {"folds case", "abcABC", 0, txt("B"), nullptr, 0, "", 1},
        {"case", "abcABC", 0, txt("B"), nullptr, 0, "c", 4},
        {"from the head", "abcabc", 2, txt("b"), nullptr, 0, "", 4},
        {"absent", "abc", 0, txt("d"), nullptr, 0, "", -1},
        {"empty value", "abc", 0, txt(""), nullptr, 0, "", -1},
        {"longer than the series", "ab", 0, txt("abc"), nullptr, 0, "", -1},
        {"overlapping prefix", "aaab", 0, txt("aab"), nullptr, 0, "", 1},
        {"repeated pattern", "abababcab", 0, txt("ababc"), nullptr, 0, "", 2},
        {"char", "abc", 0, ch('C'), nullptr, 0, "", 2},
        {"char case", "abc", 0, ch('C'), nullptr, 0, "c", -1},
        {"wide", "x\xE2\x82\xAC" "y", 0, txt("\xE2\x82\xAC" "Y"), nullptr, 0, "", 1},
        {"Latin-1 folds", "stra\xC3\x9F" "e \xC3\xA4", 0, txt("\xC3\x84"), nullptr, 0, "", 7},
        {"tag formed", "a<b>c", 0, tg("b"), nullptr, 0, "", 1},
        {"integer formed", "a12b", 0, nm(12), nullptr, 0, "", 1},
        {"charset", "xyz1", 0, [] { return charset("0123456789"); }, nullptr, 0, "", 3},
        {"word", "a-bc", 0, [] {
             Cell w = *word::make_global("bc");
             return stack::push(&w);
         }, nullptr, 0, "", 2},
        {"tail", "abcd", 0, txt("bc"), nullptr, 0, "t", 3},
        {"match", "abcd", 0, txt("AB"), nullptr, 0, "m", 2},
        {"match elsewhere", "abcd", 0, txt("bc"), nullptr, 0, "m", -1},
        {"last", "abcabc", 0, txt("bc"), nullptr, 0, "l", 4},
        {"last single", "abcabc", 1, ch('a'), nullptr, 0, "l", 3},
        {"last not before the head", "abcabc", 4, txt("a"), nullptr, 0, "l", -1},
        {"last tail", "abcabc", 0, txt("ab"), nullptr, 0, "lt", 5},
        {"last part", "abcabc", 0, txt("bc"), n(4), 0, "l", 1},
        {"last match", "abcab", 0, txt("ab"), nullptr, 0, "lm", 5},
        {"reverse", "abcabc", 5, txt("b"), nullptr, 0, "r", 4},
        {"reverse skips the head", "abcabc", 4, txt("b"), nullptr, 0, "r", 1},
        {"reverse over the head", "abcabc", 5, txt("bc"), nullptr, 0, "r", 4},
        {"reverse at the start", "abc", 0, txt("a"), nullptr, 0, "r", -1},
        {"reverse match at the start", "abc", 0, txt("a"), nullptr, 0, "rm", 1},
        {"reverse part", "abcabc", 5, txt("a"), n(1), 0, "r", -1},
        {"reverse part reaches", "abcabc", 5, txt("a"), n(2), 0, "r", 3},
        {"part", "abcdef", 0, txt("de"), n(4), 0, "", -1},
        {"part fits", "abcdef", 0, txt("de"), n(5), 0, "", 3},
        {"part 0", "abc", 0, txt("a"), n(0), 0, "", -1},
        {"part position", "abcdef", 1, txt("e"), [](Cell* series) {
             Cell* limit = stack::push(series);
             cell::set_head(limit, 5);
             return limit;
         }, 0, "", 4},
        {"skip", "a1b2c3", 0, txt("b"), nullptr, 2, "", 2},
        {"skip off the grid", "a1b2c3", 0, txt("2"), nullptr, 2, "", -1},
        {"skip text", "xabbab", 0, txt("ab"), nullptr, 2, "", 4},
        {"skip last", "a1b2c3", 0, txt("1"), nullptr, 2, "l", 1},
        {"skip reverse", "axbxcx", 5, txt("a"), nullptr, 2, "r", 0},
        {"skip reverse off the grid", "axbxcx", 5, txt("x"), nullptr, 2, "r", -1},
    };
    for (const FindCase& fc : cases) {
        test::StackScope scope;
        Cell* series = at(fc.series, fc.head);
        Cell* value = fc.value();
        Cell* part = fc.part ? fc.part(series) : nullptr;
        Cell* skip = fc.skip ? num(fc.skip) : nullptr;
        auto has = [&](char f) { return std::strchr(fc.flags, f) != nullptr; };
        Cell* got = row().find(series, value, part, false, has('c'), false, false, nullptr, skip,
                               has('l'), has('r'), has('t'), has('m'));
        const std::string want = fc.want < 0 ? "none" : "at " + std::to_string(fc.want);
        const std::string have =
            cell::is(got, TypeId::None) ? "none" : "at " + std::to_string(cell::head(got));
        EXPECT_EQ(have, want) << fc.what << ": " << fc.series;
    }
}

TEST(StringActions, FindErrors) {
    test::StackScope scope;
    Cell* s = text("abc");
    Cell* v = text("b");
    EXPECT_RAISES(row().find(s, v, nullptr, false, false, false, false, nullptr, num(0), false,
                             false, false, false),
                  Err::OutOfRange);
    EXPECT_RAISES(row().find(s, v, nullptr, false, false, false, true, nullptr, nullptr, false,
                             false, false, false),
                  Err::NotDone);
    EXPECT_RAISES(row().find(s, v, nullptr, false, false, false, false, text("*"), nullptr, false,
                             false, false, false),
                  Err::NotDone);
    EXPECT_RAISES(row().find(s, v, text("abc"), false, false, false, false, nullptr, nullptr,
                             false, false, false, false),
                  Err::InvalidRefineArg);
}

TEST(StringActions, Select) {
    struct Case {
        const char* what;
        const char* series;
        std::function<Cell*()> value;
        bool last;
        int32_t want;  // code point, or -1 for none
    };
    const Case cases[] = {
        {"after a tag", "a<b>c", tg("b"), false, 'c'},
        {"after text", "abcd", txt("BC"), false, 'd'},
        {"after a char", "abc", ch('a'), false, 'b'},
        {"at the end", "abc", txt("c"), false, -1},
        {"absent", "abc", txt("x"), false, -1},
        {"last", "a1a2", ch('a'), true, '2'},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* got = row().select(text(c.series), c.value(), nullptr, false, false, false, false,
                                 nullptr, nullptr, c.last, false);
        const std::string want = c.want < 0 ? "none" : "#" + std::to_string(c.want);
        EXPECT_EQ(show(got), want) << c.what;
    }
}

// ---- Path access ----

TEST(StringActions, PathAccess) {
    test::StackScope scope;
    auto access = [](Cell* parent, Cell* element, Cell* value) {
        return row().path_access(parent, element, value, nullptr, nullptr, nullptr, -1, false,
                                 value == nullptr, true, false);
    };
    Cell* s = text("abc");
    EXPECT_EQ(show(access(s, num(2), nullptr)), "#98");
    EXPECT_EQ(show(access(s, num(4), nullptr)), "none");
    Cell* x = chr('X');
    EXPECT_EQ(access(s, num(2), x), x);
    EXPECT_EQ(whole(s), "aXc");
    EXPECT_EQ(show(access(text("a<b>c"), tag("b"), nullptr)), "#99");
    access(s, text("x"), chr('Z'));
    EXPECT_EQ(whole(s), "aXZ");
    EXPECT_EQ(cell::head(s), 0);
    EXPECT_RAISES(access(s, text("q"), chr('Z')), Err::BadPathSet);
    EXPECT_RAISES(access(s, text("Z"), chr('!')), Err::OutOfRange);
    Cell w = *word::make_global("a");
    EXPECT_RAISES(access(s, stack::push(&w), nullptr), Err::InvalidPath);
}

// ---- sort ----

TEST(StringActions, Sort) {
    struct Case {
        const char* what;
        const char* series;
        int32_t head;
        bool case_;
        int32_t skip;     // 0: none
        Make compare;     // nullptr: none
        Make part;        // nullptr: none
        bool all, reverse, stable;
        const char* want;
    };
    auto n = nm;
    const Case cases[] = {
        {"folds ASCII", "bCa", 0, false, 0, nullptr, nullptr, false, false, false, "abC"},
        {"case", "bCa", 0, true, 0, nullptr, nullptr, false, false, false, "Cab"},
        {"stable", "bCaBc", 0, false, 0, nullptr, nullptr, false, false, true, "abBCc"},
        {"stable case", "bCaBc", 0, true, 0, nullptr, nullptr, false, false, true, "BCabc"},
        {"reverse", "bCa", 0, false, 0, nullptr, nullptr, false, true, false, "Cba"},
        {"from the head", "zcab", 1, false, 0, nullptr, nullptr, false, false, false, "zabc"},
        {"records", "b1a2", 0, false, 2, nullptr, nullptr, false, false, true, "a2b1"},
        {"records by second unit", "a2b1", 0, false, 2, n(2), nullptr, false, false, true, "b1a2"},
        {"records whole", "b2a3a1", 0, false, 2, nullptr, nullptr, true, false, false, "a1a3b2"},
        {"part", "cbad", 0, false, 0, nullptr, n(2), false, false, false, "bcad"},
        {"part back from the head", "dcba", 2, false, 0, nullptr, n(-2), false, false, false,
         "cdba"},
        {"part back past the start", "dcba", 1, false, 0, nullptr, n(-5), false, false, false,
         "dcba"},
        {"wide folds with the tables", "\xC3\xA9\xE2\x82\xAC\xC3\x89" "a", 0, false, 0, nullptr,
         nullptr,
         false, false, true, "a\xC3\xA9\xC3\x89\xE2\x82\xAC"},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* s = at(c.series, c.head);
        Cell* skip = c.skip ? num(c.skip) : nullptr;
        Cell* compare = c.compare ? c.compare() : nullptr;
        Cell* part = c.part ? c.part() : nullptr;
        Cell* got = row().sort(s, c.case_, skip, compare, part, c.all, c.reverse, c.stable);
        EXPECT_EQ(got, s) << c.what;
        EXPECT_EQ(whole(s), c.want) << c.what << ": " << c.series;
    }
}

TEST(StringActions, SortErrors) {
    struct Case {
        const char* what;
        const char* series;
        std::function<Cell*()> skip, compare;
        bool all;
        Err want;
    };
    const Case cases[] = {
        {"skip does not divide", "badc", nm(3), nullptr, false, Err::InvalidRefineArg},
        {"skip larger", "ab", nm(4), nullptr, false, Err::InvalidRefineArg},
        {"skip 0", "ab", nm(0), nullptr, false, Err::InvalidRefineArg},
        {"compare offset without skip", "ab", nullptr, nm(1), false, Err::BadRefines},
        {"compare offset with all", "abcd", nm(2), nm(1), true,
         Err::BadRefines},
        {"compare offset beyond", "abcd", nm(2), nm(3), false,
         Err::OutOfRange},
        {"compare offset 0", "abcd", nm(2), nm(0), false, Err::OutOfRange},
        {"compare text", "abcd", nullptr, txt("x"), false, Err::InvalidRefineArg},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* s = text(c.series);
        Cell* skip = c.skip ? c.skip() : nullptr;
        Cell* compare = c.compare ? c.compare() : nullptr;
        EXPECT_EQ(err_word(test::raised_by([&] {
                      row().sort(s, false, skip, compare, nullptr, c.all, false, false);
                  })),
                  err_word(c.want))
            << c.what;
        EXPECT_EQ(whole(s), c.series) << c.what;
    }
}

// ---- swap, take ----

TEST(StringActions, Swap) {
    test::StackScope scope;
    Cell* a = text("ab");
    Cell* b = text("cd");
    EXPECT_EQ(row().swap(a, b), a);
    EXPECT_EQ(whole(a), "cb");
    EXPECT_EQ(whole(b), "ad");
    Cell* w = at("x\xE2\x82\xAC", 1);
    row().swap(a, w);
    EXPECT_EQ(whole(a), "\xE2\x82\xAC" "b");
    EXPECT_EQ(whole(w), "xc");
    Cell* end = at("q", 1);
    row().swap(a, end);
    EXPECT_EQ(whole(a), "\xE2\x82\xAC" "b");
    EXPECT_RAISES(row().swap(a, num(1)), Err::InvalidArg);
}

TEST(StringActions, Take) {
    struct Case {
        const char* what;
        const char* series;
        int32_t part;  // -1: no /part
        bool last;
        const char* want;  // the taken value shown
        const char* left;
    };
    const Case cases[] = {
        {"one", "abc", -1, false, "#97", "bc"},
        {"last", "abc", -1, true, "#99", "ab"},
        {"part", "abc", 2, false, "\"ab\" at 0", "c"},
        {"part one stays text", "abc", 1, false, "\"a\" at 0", "bc"},
        {"last part", "abc", 2, true, "\"bc\" at 0", "a"},
        {"empty", "", -1, false, "none", ""},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* s = text(c.series);
        Cell* arg = stack::push(s);
        Cell* part = c.part >= 0 ? num(c.part) : nullptr;
        EXPECT_EQ(show(row().take(arg, part, false, c.last)), c.want) << c.what;
        EXPECT_EQ(whole(s), c.left) << c.what;
    }
}

// ---- trim ----

TEST(StringActions, Trim) {
    enum Mode { Plain, Head, Tail, HeadTail, Lines, All };
    struct Case {
        const char* in;
        Mode mode;
        std::function<Cell*()> with;
        const char* want;
    };
    const Case cases[] = {
        {"  a  \n  b  \n", Plain, nullptr, "a\nb\n"},
        {"  a  \n  b  \n", Lines, nullptr, "a b"},
        {" a b ", All, nullptr, "ab"},
        {"abcab", Plain, txt("b"), "aca"},
        {"a-b-c", Plain, ch('-'), "abc"},
        {"a1b", Plain, nm('1'), "ab"},
        {"  a b  ", Head, nullptr, "a b  "},
        {"  a b  ", Tail, nullptr, "  a b"},
        {"  a  \n  b  ", HeadTail, nullptr, "a  \n  b"},
        {"\n\na\n", Plain, nullptr, "a\n"},
        {" a \t\r\n", Plain, nullptr, "a\n"},
        {"a \r\n b", Plain, nullptr, "a \r\nb"},
        {"a  b", Plain, nullptr, "a  b"},
        {"   ", Plain, nullptr, ""},
        {"", Plain, nullptr, ""},
        {"\xE3\x80\x80" "a\xC2\xA0", Plain, nullptr, "a"},
        {"\x01x\x02", Plain, nullptr, "x"},
        {"a\n \xE3\x80\x80 b", Plain, nullptr, "a\nb"},
        {"\t a \n\n b\t", Lines, nullptr, "a b"},
        {" \xE2\x82\xAC \t", All, nullptr, "\xE2\x82\xAC"},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* s = text(c.in);
        Cell* with = c.with ? c.with() : nullptr;
        Cell* got = row().trim(s, c.mode == Head || c.mode == HeadTail,
                               c.mode == Tail || c.mode == HeadTail, false, c.mode == Lines,
                               c.mode == All, with);
        EXPECT_EQ(got, s);
        EXPECT_EQ(whole(s), c.want) << "[" << c.in << "] mode " << c.mode;
    }
    test::StackScope scope;
    Cell* inner = at("ab  c  ", 2);
    row().trim(inner, false, false, false, false, false, nullptr);
    EXPECT_EQ(whole(inner), "abc");
    EXPECT_RAISES(row().trim(text(" a"), false, false, true, false, false, nullptr), Err::NotDone);
    EXPECT_RAISES(row().trim(text(" a"), false, false, false, false, false, block::push_new(1)),
                  Err::InvalidArg);
}

// ---- Set operations ----

// The set operation as a native calls it: the texts in arguments[0] and arguments[1]; returns
// the result (a copy of arguments[0] afterwards).
Cell* set_op(Cell* a, Cell* b, bool case_, Cell* skip, SetOp op) {
    stack::Mark mark;
    Cell* base = stack::push(a);
    if (b) stack::push(b);
    stack::g_args.base = base;
    string::set_op(case_, skip, op);
    Cell result = *base;
    mark.restore();
    return stack::push(&result);
}

TEST(StringActions, SetOperations) {
    struct Case {
        SetOp op;
        const char* a;
        const char* b;
        bool case_;
        int32_t skip;  // 0: none
        const char* want;
    };
    const Case cases[] = {
        {SetOp::Union, "abc", "bcd", false, 0, "abcd"},
        {SetOp::Intersect, "abc", "bcd", false, 0, "bc"},
        {SetOp::Difference, "abc", "bcd", false, 0, "ad"},
        {SetOp::Exclude, "abc", "bcd", false, 0, "a"},
        {SetOp::Unique, "aabbc", nullptr, false, 0, "abc"},
        {SetOp::Unique, "aAbB", nullptr, false, 0, "ab"},
        {SetOp::Unique, "aAbB", nullptr, true, 0, "aAbB"},
        {SetOp::Union, "ab", "AB", false, 0, "ab"},
        {SetOp::Union, "ab", "AB", true, 0, "abAB"},
        {SetOp::Intersect, "abc", "B", false, 0, "b"},
        {SetOp::Union, "a\xC3\xA9", "\xE2\x82\xAC\xC3\x89", false, 0, "a\xC3\xA9\xE2\x82\xAC"},
        {SetOp::Unique, "a1a2b3", nullptr, false, 2, "a1b3"},
        {SetOp::Exclude, "a1b2c3", "b9", false, 2, "a1c3"},
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell* a = text(c.a);
        Cell* got = set_op(a, c.b ? text(c.b) : nullptr, c.case_, c.skip ? num(c.skip) : nullptr,
                           c.op);
        EXPECT_EQ(cell::type_of(got), TypeId::String);
        EXPECT_EQ(whole(got), c.want)
            << static_cast<int>(c.op) << " " << c.a << " " << (c.b ? c.b : "");
        EXPECT_EQ(whole(a), c.a);
    }
    test::StackScope scope;
    EXPECT_RAISES(set_op(text("a"), nullptr, false, num(0), SetOp::Unique), Err::InvalidRefineArg);
    EXPECT_RAISES(set_op(text("a"), num(1), false, nullptr, SetOp::Union), Err::ExpectArg);
    Cell* files = set_op(text("a", TypeId::File), text("b"), false, nullptr, SetOp::Union);
    EXPECT_EQ(cell::type_of(files), TypeId::File);
}

// ---- The inherited series! slots on text ----

TEST(StringActions, InheritedSlots) {
    test::StackScope scope;
    Cell* s = at("abcdef", 2);
    // pick counts from the head; outside the text it gives none.
    struct Pick {
        int32_t index;
        const char* want;
    };
    for (Pick p : {Pick{1, "#99"}, Pick{-1, "#98"}, Pick{-2, "#97"}, Pick{-3, "none"},
                   Pick{0, "none"}, Pick{4, "#102"}, Pick{5, "none"}})
        EXPECT_EQ(show(series::pick(s, p.index, num(p.index))), p.want) << p.index;
    EXPECT_RAISES(series::poke(s, 5, chr('x'), num(5)), Err::OutOfRange);
    EXPECT_RAISES(series::poke(s, 0, chr('x'), num(0)), Err::OutOfRange);
    EXPECT_RAISES(series::poke(s, 1, num(1), num(1)), Err::InvalidArg);
    series::poke(s, -1, chr(0x20AC), num(-1));
    EXPECT_EQ(whole(s), "a\xE2\x82\xAC" "cdef");

    // at and skip with negative counts stay inside the buffer.
    struct Move {
        bool at;
        int32_t head, n, want;
    };
    for (Move m : {Move{true, 2, -1, 1}, Move{true, 0, -1, 0}, Move{true, 2, 0, 2},
                   Move{true, 2, 1, 2}, Move{false, 2, -5, 0}, Move{false, 0, -1, 0},
                   Move{false, 2, 9, 6}}) {
        stack::Mark mark;
        Cell* base = stack::push(s);
        cell::set_head(base, m.head);
        num(m.n);
        stack::g_args.base = base;
        m.at ? series::at() : series::skip();
        EXPECT_EQ(cell::head(base), m.want) << (m.at ? "at " : "skip ") << m.head << " " << m.n;
        mark.restore();
    }

    Cell* r = at("abcdef", 1);
    series::remove(r, num(2), nullptr);
    EXPECT_EQ(whole(r), "adef");
    series::remove(r, num(0), nullptr);
    EXPECT_EQ(whole(r), "adef");
    series::reverse(r, num(2), nullptr);
    EXPECT_EQ(whole(r), "aedf");
}

// ---- Owner notices ----

std::vector<std::string> g_notices;

void record_notice(const Cell*, const Cell*, const Cell*, const Cell* action, const Cell*,
                   int32_t index, int32_t count) {
    g_notices.push_back(std::string(symbol::utf8_name(word::symbol_of(action))) + " " +
                        std::to_string(index) + " " + std::to_string(count));
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
    return out;
}

// Every modifying action tells the owner before and after, with its words, index and count.
TEST(StringActions, OwnerNotices) {
    struct Case {
        const char* what;
        std::function<void(Cell* s)> act;
        const char* want;
    };
    const Case cases[] = {
        {"append", [](Cell* s) { row().append(s, text("de"), -1, false, 1, true); },
         "append 4 2, appended 4 2"},
        {"insert", [](Cell* s) { row().insert(s, chr('x'), -1, false, 2, false); },
         "insert 1 2, inserted 1 2"},
        {"change", [](Cell* s) { row().change(s, text("XY"), 1, false, 1); },
         "change 1 1, changed 1 1"},
        {"sort",
         [](Cell* s) { row().sort(s, false, nullptr, nullptr, nullptr, false, false, false); },
         "sort 1 3, sorted 1 3"},
        {"trim", [](Cell* s) { row().trim(s, false, false, false, false, true, nullptr); },
         "trim 1 3, trimmed 1 3"},
        {"swap", [](Cell* s) { row().swap(s, text("q")); }, "swap 1 1, swaped 1 1"},
        {"find changes nothing", [](Cell* s) {
             row().find(s, chr('b'), nullptr, false, false, false, false, nullptr, nullptr, false,
                        false, false, false);
         }, ""},
    };
    ownership::DeepChangeFn previous = ownership::set_deep_change_handler(record_notice);
    for (const Case& c : cases) {
        test::StackScope scope;
        Cell owner{static_cast<uint32_t>(TypeId::Object), 11, 1000001, 1};
        Cell field{static_cast<uint32_t>(TypeId::Word), 0, symbol::make_cstr("field"),
                   word::kNoIndex};
        Cell* s = at("abcd", 1);
        ownership::bind(s, &owner, &field);
        g_notices.clear();
        c.act(s);
        ownership::unbind(s);
        EXPECT_EQ(joined(g_notices), c.want) << c.what;
    }
    ownership::set_deep_change_handler(previous);
}

// Upper-casing a unit-1 text may need a wider unit: U+00FF becomes U+0178.
TEST(StringActions, UppercaseWidens) {
    test::StackScope scope;
    Cell* s = stack::reserve();
    string::make_at(s, 4);
    string::poke_char(cell::node(s), 0, 0xFF);
    ASSERT_EQ(string::unit_of(s), 1u);
    stack::Mark mark;
    Cell* base = stack::push(s);
    case_fold::change_case(base, 0, true);
    mark.restore();
    EXPECT_EQ(string::unit_of(s), 2u);
    EXPECT_EQ(string::char_at(s, 0), 0x178u);
}

// ---- Cost by counts ----

// Appending one character at a time copies each byte a bounded number of times.
TEST(StringActions, ScaleAppendIsAmortisedConstant) {
    test::StackScope scope;
    constexpr int32_t kCount = 10000000;
    Cell* s = string::make_at(stack::reserve(), 16);
    Cell* c = chr('x');
    const memory::Counters before = memory::counters();
    for (int32_t i = 0; i < kCount; i++) row().append(s, c, -1, false, 1, true);
    const memory::Counters after = memory::counters();
    EXPECT_EQ(string::length(s), kCount);
    EXPECT_LE(after.bytes_copied - before.bytes_copied, 2u * kCount);
    EXPECT_LE(after.expansions - before.expansions, 32u);

    // insert at the tail moves the head to the new tail, so repeating it appends.
    Cell* t = string::make_at(stack::reserve(), 16);
    Cell* piece = text("ab");
    const memory::Counters start = memory::counters();
    for (int32_t i = 0; i < kCount / 2; i++) row().insert(t, piece, -1, false, 1, false);
    EXPECT_EQ(string::length_abs(t), kCount);
    EXPECT_LE(memory::counters().bytes_copied - start.bytes_copied, 2u * kCount);
}

}  // namespace
}  // namespace nuv
