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
        {"tag", Edit::Append, "ab", 0, tg("b"), -1, false, 1, "ab<b>", 0},
        {"tag part", Edit::Append, "ab", 0, tg("bcd"), 3, false, 1, "ab<bc", 0},
        {"tag part whole", Edit::Append, "ab", 0, tg("bcd"), 5, false, 1, "ab<bcd>", 0},
        {"integer part", Edit::Append, "a", 0, nm(12345), 2, false, 1, "a12", 0},
    });
}

TEST(StringActions, Insert) {
    run_edits({
        {"tag", Edit::Insert, "ab", 1, tg("i"), -1, false, 1, "a<i>b", 4},
    });
}

TEST(StringActions, Change) {
    run_edits({
        {"part 0 inserts", Edit::Change, "abc", 1, txt("X"), 0, false, 1, "aXbc", 2},
        {"tag", Edit::Change, "abcdef", 0, tg("i"), -1, false, 1, "<i>def", 3},
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
    const std::vector<FindCase> cases = {
        {"tag formed", "a<b>c", 0, tg("b"), nullptr, 0, "", 1},
        {"charset", "xyz1", 0, [] { return charset("0123456789"); }, nullptr, 0, "", 3},
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
    };
    for (const Case& c : cases) {
        test::StackScope scope;
        const Cell* got = row().select(text(c.series), c.value(), nullptr, false, false, false,
                                       false, nullptr, nullptr, c.last, false);
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
    EXPECT_EQ(show(access(text("a<b>c"), tag("b"), nullptr)), "#99");
}

// ---- sort ----

TEST(StringActions, SortErrors) {
    struct Case {
        const char* what;
        const char* series;
        std::function<Cell*()> skip, compare;
        bool all;
        Err want;
    };
    const Case cases[] = {
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
    EXPECT_RAISES(row().swap(a, num(1)), Err::InvalidArg);
}

// ---- trim ----

TEST(StringActions, Trim) {
    test::StackScope scope;
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
    test::StackScope scope;
    EXPECT_RAISES(set_op(text("a"), num(1), false, nullptr, SetOp::Union), Err::ExpectArg);
    Cell* files = set_op(text("a", TypeId::File), text("b"), false, nullptr, SetOp::Union);
    EXPECT_EQ(cell::type_of(files), TypeId::File);
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
