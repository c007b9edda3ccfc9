// block! actions, reached through the dispatch rows: form and mold with the new-line layout,
// comparison, search, insertion and change, sorting, set operations, path access, take, trim,
// swap, put, copy, make and to. Values are written in a small test notation (see read_block).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/compare.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "tests/unit/support.h"

namespace nuv::test {

namespace {

using T = TypeId;

// The test notation: integers, "strings" (^/ is a line feed), words (a a: 'a :a), paths
// (a/b 'a/b a/b: :a/b), datatypes (integer!), #none, #true, #false, [blocks] and (parens). A
// line feed before a value gives it the new-line marker.
struct Reader {
    const char* p;

    void skip_blanks(bool* new_line) {
        while (*p == ' ' || *p == '\n') {
            if (*p == '\n') *new_line = true;
            p++;
        }
    }
    static bool delimiter(char c) { return c == 0 || std::strchr(" \n[]()", c) != nullptr; }

    // Reads values into the block until `close` (0: the end of the text).
    void values(Cell* into, char close) {
        for (;;) {
            bool new_line = false;
            skip_blanks(&new_line);
            if (*p == close) {
                if (close) p++;
                return;
            }
            Cell v = value();
            if (new_line) v.header |= cell::kNewLine;
            block::append_cell(into, &v);
        }
    }

    Cell value() {
        if (*p == '[' || *p == '(') {
            const char close = *p == '[' ? ']' : ')';
            p++;
            Cell* b = block::push_new(4);
            values(b, close);
            if (close == ')') cell::set_type(b, T::Paren);
            return *b;
        }
        if (*p == '"') return quoted();
        const char* start = p;
        while (!delimiter(*p)) p++;
        return atom(std::string(start, p));
    }

    Cell quoted() {
        std::string text;
        for (p++; *p && *p != '"'; p++) {
            if (p[0] == '^' && p[1] == '/') {
                text += '\n';
                p++;
            } else {
                text += *p;
            }
        }
        if (*p) p++;
        return *test::text(text);
    }

    static Cell atom(const std::string& token) {
        if (token == "#none") return Cell{static_cast<uint32_t>(T::None), 0, 0, 0};
        if (token == "#true" || token == "#false")
            return Cell{static_cast<uint32_t>(T::Logic), token == "#true" ? 1u : 0u, 0, 0};
        const bool digits = std::isdigit(static_cast<unsigned char>(token.back()));
        if (digits && (std::isdigit(static_cast<unsigned char>(token[0])) || token[0] == '-'))
            return int_cell(std::stoi(token));
        if (token.back() == '!')
            for (int id = 1; id <= kTypeCount; id++)
                if (token == type_name(static_cast<TypeId>(id)))
                    return Cell{static_cast<uint32_t>(T::Datatype), static_cast<uint32_t>(id), 0, 0};
        std::string name = token;
        TypeId type = T::Word;
        if (name[0] == '\'' || name[0] == ':') {
            type = name[0] == ':' ? T::GetWord : T::LitWord;
            name.erase(0, 1);
        } else if (name.back() == ':') {
            type = T::SetWord;
            name.pop_back();
        }
        if (name.find('/') == std::string::npos) return loose_word(name.c_str(), type);
        Cell* path = block::push_new(2);
        for (size_t from = 0;;) {
            size_t slash = name.find('/', from);
            Cell element = loose_word(name.substr(from, slash - from).c_str());
            block::append_cell(path, &element);
            if (slash == std::string::npos) break;
            from = slash + 1;
        }
        constexpr TypeId kPathOf[] = {T::Path, T::SetPath, T::LitPath, T::GetPath};
        cell::set_type(path, kPathOf[type_index(type) - type_index(T::Word)]);
        return *path;
    }
};

}  // namespace

// A block on the argument stack holding the values of the text.
Cell* read_block(const char* text) {
    Cell* b = block::push_new(4);
    Reader r{text};
    r.values(b, 0);
    return b;
}
// The first value of the text.
Cell read_value(const char* text) { return block::at(cell::node(read_block(text)), 0); }

struct MoldFlags {
    bool only = false;
    bool all = false;
    bool flat = false;
};
// Molds (or forms) through the value's slot; `left` gets the budget left.
std::string mold_text(const Cell& value, MoldFlags f = {}, bool form = false,
                      std::optional<int32_t> part = std::nullopt, int32_t* left = nullptr) {
    StackScope scope;
    Cell v = value;
    Cell* buffer = string::make_at(stack::reserve(), 16);
    Cell limit = int_cell(part.value_or(0));
    Cell* part_cell = part ? &limit : nullptr;
    const int32_t budget = part.value_or(kNoLimit);
    const int32_t rest =
        form ? lookup<&ActionRow::form>(&v, ActionId::Form)(&v, buffer, part_cell, budget)
             : lookup<&ActionRow::mold>(&v, ActionId::Mold)(&v, buffer, f.only, f.all, f.flat,
                                                            part_cell, budget, 0);
    if (left) *left = rest;
    return string::to_std_utf8(buffer);
}
std::string form_text(const Cell& value) { return mold_text(value, {}, true); }
// The whole buffer of a series, molded from its first cell.
std::string whole(const Cell& series) {
    Cell v = series;
    cell::set_head(&v, 0);
    return mold_text(v);
}

}  // namespace nuv::test

namespace nuv {
namespace {

using T = TypeId;
using test::int_cell;
using test::mold_text;
using test::read_block;
using test::read_value;
using test::whole;

class BlockActions : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(cycles::depth(), 0); }
    test::StackScope scope;
};

// ---- form and mold ----

TEST_F(BlockActions, FormAndMoldLayOutValuesAndNewLines) {
    struct Row {
        const char* value;
        test::MoldFlags flags;
        bool form;
        const char* want;
    } rows[] = {
        {"[1 [2 3] \"a\"]", {}, true, "1 2 3 a"},
        {"[\"x^/\" 1 2]", {}, true, "x\n1 2"},
        {"[1 [2 3] \"a\"]", {}, false, "[1 [2 3] \"a\"]"},
        {"[a b: 'c :d integer! #none]", {}, false, "[a b: 'c :d integer! none]"},
        {"[]", {}, false, "[]"},
        {"[\n1 2]", {}, false, "[\n    1 2\n]"},
        {"[\n[\n1 2] 3]", {}, false, "[\n    [\n        1 2\n    ] 3\n]"},
        {"[1 [\n2 3]]", {}, false, "[1 [\n    2 3\n]]"},
        {"[1 2\n3]", {}, false, "[1 2\n3]"},
        {"[\n1 2\n3]", {}, false, "[\n    1 2\n    3\n]"},
        {"[\n1 [\n2]\n3]", {.flat = true}, false, "[1 [2] 3]"},
        {"[1 [2 3]]", {.only = true}, false, "1 [2 3]"},
        {"[\n1 2]", {.only = true}, false, "1 2"},
        {"(\n1 (2))", {}, false, "(\n    1 (2)\n)"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell v = read_value(r.value);
        EXPECT_EQ(mold_text(v, r.flags, r.form), r.want) << r.value;
    }
}

TEST_F(BlockActions, ABudgetStopsTheWalkAndCountsEveryCharacter) {
    struct Row {
        const char* value;
        bool form;
        int32_t part;
        const char* want;
        int32_t left;
    } rows[] = {
        {"[1 2 3]", false, 100, "[1 2 3]", 93},
        {"[1 2 3]", true, 100, "1 2 3", 95},
        {"[\n1]", false, 100, "[\n    1\n]", 91},
        {"[1 2 3 4]", false, 3, "[1 2]", -2},
        {"[1 2 3 4]", true, 2, "1 2", -1},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        int32_t left = 0;
        EXPECT_EQ(mold_text(read_value(r.value), {}, r.form, r.part, &left), r.want) << r.value;
        EXPECT_EQ(left, r.left) << r.value;
    }
}

TEST_F(BlockActions, ABlockHoldingItselfMoldsAMarker) {
    Cell* b = read_block("1");
    block::append_cell(b, b);
    Cell* paren = read_block("2");
    cell::set_type(paren, T::Paren);
    block::append_cell(paren, paren);
    EXPECT_EQ(mold_text(*b), "[1 [...]]");
    EXPECT_EQ(test::form_text(*b), "1 ...");
    EXPECT_EQ(mold_text(*paren), "(2 (...))");
}

TEST_F(BlockActions, NestingBeyondTheCycleStackRaisesTooDeep) {
    for (int levels : {999, 1000}) {
        test::StackScope scope;
        Cell* outer = block::push_new(1);
        Cell inner = *outer;
        for (int i = 1; i < levels; i++) {
            Cell* next = block::push_new(1);
            block::append_cell(next, &inner);
            inner = *next;
        }
        if (levels < cycles::kCapacity) {
            EXPECT_EQ(mold_text(inner).size(), static_cast<size_t>(2 * levels));
        } else {
            EXPECT_RAISES(mold_text(inner), Err::TooDeep);
            EXPECT_RAISES(test::form_text(inner), Err::TooDeep);
        }
        EXPECT_EQ(cycles::depth(), 0) << levels;
    }
}

// ---- compare ----

TEST_F(BlockActions, CompareGoesElementByElement) {
    struct Row {
        const char* a;
        const char* b;
        CompareOp op;
        bool want;
    } rows[] = {
        {"[1 2]", "[1 2]", CompareOp::Equal, true},
        {"[1 2]", "[1 2 3]", CompareOp::Equal, false},
        {"[1 2]", "[1 2 3]", CompareOp::Lesser, true},
        {"[]", "[1]", CompareOp::Lesser, true},
        {"[1 \"a\"]", "[1 2]", CompareOp::Lesser, true},
        {"[2]", "[1 5]", CompareOp::Greater, true},
        {"[a [b c]]", "[A [b C]]", CompareOp::Equal, true},
        {"[a [b c]]", "[A [b C]]", CompareOp::StrictEqual, false},
        {"[a b]", "[a: b]", CompareOp::Equal, true},
        {"[a b]", "[a: b]", CompareOp::StrictEqual, false},
        {"[1 2]", "(1 2)", CompareOp::Equal, false},
        {"[a/b]", "['a/b]", CompareOp::Equal, false},
        {"[#true]", "[#false]", CompareOp::Greater, true},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell a = read_value(r.a);
        Cell b = read_value(r.b);
        EXPECT_EQ(compare::value_compare(&a, &b, r.op), r.want) << r.a << " op " << int(r.op) << " " << r.b;
    }
    // A path and a lit-path are one kind under the word codes.
    Cell path = read_value("a/b");
    Cell lit = read_value("'a/b");
    EXPECT_TRUE(compare::value_compare(&path, &lit, CompareOp::Words));
    EXPECT_FALSE(compare::value_compare(&path, &lit, CompareOp::Equal));
}

TEST_F(BlockActions, SameMeansTheSameBufferAndHead) {
    Cell* b = read_block("1 2");
    Cell copy = *read_block("1 2");
    Cell moved = *b;
    cell::set_head(&moved, 1);
    EXPECT_TRUE(compare::value_compare(b, b, CompareOp::Same));
    EXPECT_FALSE(compare::value_compare(b, &copy, CompareOp::Same));
    EXPECT_FALSE(compare::value_compare(b, &moved, CompareOp::Same));
    EXPECT_TRUE(compare::value_compare(b, &copy, CompareOp::Equal));
}

// ---- find, select ----

struct FindFlags {
    int32_t head = 0;
    bool only = false, case_ = false, same = false, last = false, reverse = false, tail = false,
         match = false;
    std::optional<Cell> skip;
    std::optional<Cell> part;
};

// "none", an error id, or the found position molded.
std::string run_find(const char* series, const char* value, const FindFlags& f, bool select) {
    test::StackScope scope;
    Cell* s = read_block(series);
    cell::set_head(s, f.head);
    Cell v = read_value(value);
    Cell skip = f.skip.value_or(Cell{});
    Cell part = f.part.value_or(Cell{});
    Cell* skip_arg = f.skip ? &skip : nullptr;
    Cell* part_arg = f.part ? &part : nullptr;
    try {
        Cell* found = select ? lookup<&ActionRow::select>(s, ActionId::Select)(
                                   s, &v, part_arg, f.only, f.case_, f.same, false, nullptr,
                                   skip_arg, f.last, f.reverse)
                             : lookup<&ActionRow::find>(s, ActionId::Find)(
                                   s, &v, part_arg, f.only, f.case_, f.same, false, nullptr,
                                   skip_arg, f.last, f.reverse, f.tail, f.match);
        return cell::is(found, T::None) ? "none" : mold_text(*found);
    } catch (const Unwind&) {
        return std::string("error ") + err_word(raised().id);
    }
}

TEST_F(BlockActions, FindAndSelectMatchValuesTypesAndSequences) {
    struct Row {
        const char* series;
        const char* value;
        FindFlags flags;
        bool select;
        const char* want;
    } rows[] = {
        {"a b c d", "[b c]", {}, false, "[b c d]"},
        {"a b c d", "[b c]", {}, true, "d"},
        {"a b c d", "[c b]", {}, false, "none"},
        {"a b c d", "[c d]", {}, true, "none"},
        {"a b c d", "b", {.tail = true}, false, "[c d]"},
        {"a b c d", "[b c]", {.tail = true}, false, "[d]"},
        {"a b c", "B", {}, false, "[b c]"},
        {"a b c", "B", {.case_ = true}, false, "none"},
        {"a b c", "b:", {}, false, "[b c]"},
        {"a b c", "b:", {.case_ = true}, false, "none"},
        {"1 \"a\" 2", "integer!", {}, false, "[1 \"a\" 2]"},
        {"a 1", "integer!", {}, false, "[1]"},
        {"1 integer!", "integer!", {.only = true}, false, "[integer!]"},
        {"[1] 1", "[1]", {.only = true}, false, "[[1] 1]"},
        {"x [1] 1", "[1]", {.only = true}, true, "1"},
        {"1 2 1 2", "1", {.last = true}, false, "[1 2]"},
        {"1 2 1 2", "[1 2]", {.last = true}, false, "[1 2]"},
        {"1 2 1 2 3", "1", {.head = 3, .reverse = true}, false, "[1 2 3]"},
        {"1 2 3", "1", {.head = 0, .reverse = true}, false, "none"},
        {"2 1 2 1 1 2", "1", {.skip = int_cell(2)}, false, "[1 2]"},
        {"2 1 2 1 1 2", "1", {.tail = true, .skip = int_cell(2)}, false, "[]"},
        {"a b c", "a", {.match = true}, false, "[a b c]"},
        {"a b c", "b", {.match = true}, false, "none"},
        {"1 2 3 4", "4", {.part = int_cell(2)}, false, "none"},
        {"1 2 3 4", "4", {.part = int_cell(4)}, false, "[4]"},
        {"1 2 3 4", "2", {.part = int_cell(0)}, false, "none"},
        {"a 1 b 2", "c", {}, true, "none"},
        {"a 1 b", "b", {}, true, "none"},
        {"", "1", {}, false, "none"},
        {"1", "1", {.skip = int_cell(0)}, false, "error out-of-range"},
        {"1", "1", {.skip = Cell{static_cast<uint32_t>(T::None), 0, 0, 0}}, false,
         "error invalid-refine-arg"},
        {"1", "1", {.part = Cell{static_cast<uint32_t>(T::None), 0, 0, 0}}, false,
         "error invalid-refine-arg"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(run_find(r.series, r.value, r.flags, r.select), r.want)
            << (r.select ? "select [" : "find [") << r.series << "] " << r.value;
}

TEST_F(BlockActions, FindOnABlockAllocatesNothing) {
    Cell* b = read_block("a b c d e f g h 1 2 3 4 [x y] z");
    for (const char* what : {"[x y]", "z", "integer!", "q"}) {
        Cell v = read_value(what);
        Cell s = *b;
        const uint64_t before = memory::counters().allocations;
        lookup<&ActionRow::find>(&s, ActionId::Find)(&s, &v, nullptr, false, false, false, false,
                                                     nullptr, nullptr, false, false, false, false);
        EXPECT_EQ(memory::counters().allocations, before) << what;
    }
}

// ---- append, insert, change ----

enum class Edit { Append, Insert, Change };

TEST_F(BlockActions, AppendInsertAndChangeWriteCellsAndAnswerAPosition) {
    struct Row {
        Edit edit;
        const char* series;
        int32_t head;
        const char* value;
        int32_t part;
        bool only;
        int32_t dup;
        const char* want;  // the whole buffer
        int32_t want_head;
    } rows[] = {
        {Edit::Append, "1 2", 1, "3", -1, false, 1, "[1 2 3]", 0},
        {Edit::Append, "1 2", 0, "[3 4]", -1, false, 1, "[1 2 3 4]", 0},
        {Edit::Append, "1 2", 0, "[3 4]", -1, true, 1, "[1 2 [3 4]]", 0},
        {Edit::Append, "", 0, "a/b", -1, false, 1, "[a b]", 0},
        {Edit::Append, "1", 0, "[2 3 4]", 2, false, 1, "[1 2 3]", 0},
        {Edit::Append, "1", 0, "0", -1, false, 3, "[1 0 0 0]", 0},
        {Edit::Append, "1", 0, "[2 3]", -1, false, 2, "[1 2 3 2 3]", 0},
        {Edit::Append, "1", 0, "[]", -1, false, 1, "[1]", 0},
        {Edit::Insert, "1 2", 0, "0", -1, false, 1, "[0 1 2]", 1},
        {Edit::Insert, "1 2", 1, "[8 9]", -1, false, 1, "[1 8 9 2]", 3},
        {Edit::Insert, "1 2", 5, "3", -1, false, 1, "[1 2 3]", 3},
        {Edit::Insert, "1 2", 0, "0", -1, false, 0, "[1 2]", 0},
        {Edit::Insert, "1", 0, "[7 8]", -1, false, 2, "[7 8 7 8 1]", 4},
        {Edit::Change, "1 2 3", 0, "9", -1, false, 1, "[9 2 3]", 1},
        {Edit::Change, "1 2 3", 0, "[8 9]", -1, false, 1, "[8 9 3]", 2},
        {Edit::Change, "1 2 3", 0, "9", 2, false, 1, "[9 3]", 1},
        {Edit::Change, "1 2 3", 0, "[7 8 9]", 1, false, 1, "[7 8 9 2 3]", 3},
        {Edit::Change, "1 2 3", 0, "0", -1, false, 2, "[0 0 3]", 2},
        {Edit::Change, "1 2 3", 2, "[7 8]", -1, false, 1, "[1 2 7 8]", 4},
        {Edit::Change, "1", 1, "2", -1, false, 1, "[1 2]", 2},
        {Edit::Change, "1 2 3", 0, "[4 5]", -1, true, 1, "[[4 5] 2 3]", 1},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* s = read_block(r.series);
        cell::set_head(s, r.head);
        Cell v = read_value(r.value);
        Cell* answer =
            r.edit == Edit::Change
                ? lookup<&ActionRow::change>(s, ActionId::Change)(s, &v, r.part, r.only, r.dup)
                : r.edit == Edit::Append
                      ? lookup<&ActionRow::append>(s, ActionId::Append)(s, &v, r.part, r.only, r.dup, true)
                      : lookup<&ActionRow::insert>(s, ActionId::Insert)(s, &v, r.part, r.only, r.dup, false);
        EXPECT_EQ(whole(*answer), r.want) << r.series << " with " << r.value;
        EXPECT_EQ(cell::head(answer), r.want_head) << r.series << " with " << r.value;
    }
}

TEST_F(BlockActions, ABlockInsertedIntoItselfIsReadBeforeItGrows) {
    struct Row {
        Edit edit;
        int32_t head;
        const char* want;
    } rows[] = {
        {Edit::Append, 0, "[1 2 3 1 2 3]"},
        {Edit::Insert, 0, "[1 2 3 1 2 3]"},
        {Edit::Insert, 1, "[1 1 2 3 2 3]"},
        {Edit::Change, 1, "[1 1 2 3]"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* s = block::push_new(3);  // exactly full: the insertion grows it
        for (int32_t v : {1, 2, 3}) {
            Cell c = int_cell(v);
            block::append_cell(s, &c);
        }
        Cell source = *s;
        cell::set_head(s, r.head);
        if (r.edit == Edit::Change) block::change(s, &source, -1, false, 1);
        else block::insert(s, &source, -1, false, 1, r.edit == Edit::Append);
        EXPECT_EQ(whole(*s), r.want) << int(r.edit) << " at " << r.head;
    }
}

TEST_F(BlockActions, AppendingAtTheTailIsAmortisedConstant) {
    for (bool append : {true, false}) {
        test::StackScope scope;
        Cell* s = block::push_new(1);
        constexpr int32_t kCount = 100000;
        const memory::Counters before = memory::counters();
        for (int32_t i = 0; i < kCount; i++) {
            Cell v = int_cell(i);
            block::insert(s, &v, -1, false, 1, append);
            if (append) cell::set_head(s, 0);
        }
        const uint64_t copied = memory::counters().bytes_copied - before.bytes_copied;
        const uint64_t expansions = memory::counters().expansions - before.expansions;
        EXPECT_LE(copied, 2u * kCount * sizeof(Cell)) << (append ? "append" : "insert");
        EXPECT_LE(expansions, 20u) << (append ? "append" : "insert");
        EXPECT_EQ(block::count(cell::node(s)), kCount);
        EXPECT_EQ(cell::get_int(block::raw_cells(cell::node(s)) + kCount - 1), kCount - 1);
    }
}

TEST_F(BlockActions, ASizeBeyondThirtyTwoBitsRaisesNoMemory) {
    Cell* s = read_block("1 2");
    Cell v = *read_block("1 2 3 4");
    EXPECT_RAISES(block::insert(s, &v, -1, false, 0x40000000, true), Err::NoMemory);
    EXPECT_RAISES(block::change(s, &v, -1, false, 0x40000000), Err::NoMemory);
    EXPECT_EQ(whole(*s), "[1 2]");
}

// ---- sort ----

struct SortFlags {
    bool case_ = false;
    std::optional<int32_t> skip;
    std::optional<Cell> compare;
    std::optional<int32_t> part;
    bool all = false, reverse = false, stable = false;
    int32_t head = 0;
};

std::string run_sort(const char* series, const SortFlags& f) {
    test::StackScope scope;
    Cell* s = read_block(series);
    cell::set_head(s, f.head);
    Cell skip = int_cell(f.skip.value_or(0));
    Cell part = int_cell(f.part.value_or(0));
    Cell compare = f.compare.value_or(Cell{});
    try {
        lookup<&ActionRow::sort>(s, ActionId::Sort)(s, f.case_, f.skip ? &skip : nullptr,
                                                    f.compare ? &compare : nullptr,
                                                    f.part ? &part : nullptr, f.all, f.reverse,
                                                    f.stable);
        return whole(*s);
    } catch (const Unwind&) {
        return std::string("error ") + err_word(raised().id);
    }
}

TEST_F(BlockActions, SortOrdersRecordsAndChecksItsRefinements) {
    struct Row {
        const char* series;
        SortFlags flags;
        const char* want;
    } rows[] = {
        {"3 1 2", {}, "[1 2 3]"},
        {"3 \"a\" 1", {}, "[\"a\" 1 3]"},
        {"b C a", {}, "[a b C]"},
        {"b C a", {.case_ = true}, "[C a b]"},
        {"1 3 2", {.reverse = true}, "[3 2 1]"},
        {"[2] [1 2] [1]", {}, "[[1] [1 2] [2]]"},
        {"3 a 1 b 2 c", {.skip = 2}, "[1 b 2 c 3 a]"},
        {"1 c 2 a 3 b", {.skip = 2, .compare = int_cell(2)}, "[2 a 3 b 1 c]"},
        {"1 b 1 a 0 z", {.skip = 2, .all = true}, "[0 z 1 a 1 b]"},
        {"1 a 0 b 1 c 0 d", {.skip = 2, .stable = true}, "[0 b 0 d 1 a 1 c]"},
        {"4 3 2 1", {.part = 2}, "[3 4 2 1]"},
        {"4 3 2 1", {.part = -2, .head = 2}, "[3 4 2 1]"},
        {"4 3 2 1", {.part = 9, .head = 1}, "[4 1 2 3]"},
        {"", {}, "[]"},
        {"1 2 3", {.skip = 2}, "error invalid-refine-arg"},
        {"1 2", {.skip = 0}, "error invalid-refine-arg"},
        {"1 2", {.skip = 3}, "error invalid-refine-arg"},
        {"1 2", {.all = true}, "error bad-refines"},
        {"1 2", {.compare = int_cell(1)}, "error bad-refines"},
        {"1 2", {.skip = 2, .compare = int_cell(1), .all = true}, "error bad-refines"},
        {"1 2", {.skip = 2, .compare = int_cell(3)}, "error out-of-range"},
    };
    for (const Row& r : rows) EXPECT_EQ(run_sort(r.series, r.flags), r.want) << r.series;
}

TEST_F(BlockActions, ScaleSortingAMillionIntegersTakesLogLinearComparisons) {
    constexpr int32_t kCount = 1000000;
    Cell* s = block::push_new(kCount);
    std::mt19937 gen(7);
    std::vector<int32_t> values(kCount);
    for (int32_t& v : values) {
        v = static_cast<int32_t>(gen() % 1000000);
        Cell c = int_cell(v);
        block::append_cell(s, &c);
    }
    std::sort(values.begin(), values.end());
    for (bool stable : {false, true}) {
        Cell shuffled = *s;
        const uint64_t before = block::counters().sort_comparisons;
        block::sort(&shuffled, false, nullptr, nullptr, nullptr, false, false, stable);
        const uint64_t comparisons = block::counters().sort_comparisons - before;
        EXPECT_LE(comparisons, 2u * kCount * 20u) << (stable ? "stable" : "unstable");  // 2 n log2 n
        const Cell* cells = block::raw_cells(cell::node(s));
        bool sorted = true;
        for (int32_t i = 0; i < kCount && sorted; i++) sorted = cell::get_int(cells + i) == values[static_cast<size_t>(i)];
        EXPECT_TRUE(sorted) << (stable ? "stable" : "unstable");
        std::shuffle(block::raw_cells(cell::node(s)), block::raw_cells(cell::node(s)) + kCount, gen);
    }
}

// ---- set operations ----

struct SetRow {
    SetOp op;
    const char* a;
    const char* b;
    bool case_;
    std::optional<Cell> skip;
    const char* want;
};

std::string run_set(const SetRow& r) {
    test::StackScope scope;
    Cell a = read_value(r.a);
    Cell b = r.b ? read_value(r.b) : Cell{};
    stack::g_args.base = stack::push(&a);
    stack::push(&b);
    Cell skip = r.skip.value_or(Cell{});
    try {
        block::set_op(r.case_, r.skip ? &skip : nullptr, r.op);
        return mold_text(*stack::arg(0));
    } catch (const Unwind&) {
        return std::string("error ") + err_word(raised().id);
    }
}

TEST_F(BlockActions, SetOperationsKeepFirstOccurrencesInOrder) {
    const SetRow rows[] = {
        {SetOp::Union, "[a b a]", "[b c]", false, {}, "[a b c]"},
        {SetOp::Unique, "[a b a c b]", nullptr, false, {}, "[a b c]"},
        {SetOp::Intersect, "[a b c b]", "[c b d]", false, {}, "[b c]"},
        {SetOp::Exclude, "[a b c a]", "[b]", false, {}, "[a c]"},
        {SetOp::Difference, "[a b c]", "[b d d]", false, {}, "[a c d]"},
        {SetOp::Union, "[a A]", "[a]", false, {}, "[a]"},
        {SetOp::Union, "[a A]", "[a]", true, {}, "[a A]"},
        {SetOp::Union, "[a 1 b 2]", "[a 3 c 4]", false, int_cell(2), "[a 1 b 2 c 4]"},
        {SetOp::Intersect, "[1 a 2 b]", "[a 1 2 c]", false, int_cell(2), "[2 b]"},
        {SetOp::Unique, "[[1] [1] 2 (1)]", nullptr, false, {}, "[[1] 2 (1)]"},
        {SetOp::Exclude, "[[1] 2 [3]]", "[[3]]", false, {}, "[[1] 2]"},
        {SetOp::Union, "[]", "[]", false, {}, "[]"},
        {SetOp::Union, "[a]", "[b]", false, int_cell(0), "error invalid-refine-arg"},
    };
    for (const SetRow& r : rows)
        EXPECT_EQ(run_set(r), r.want) << int(r.op) << " " << r.a << " " << (r.b ? r.b : "");
}

// ---- path access ----

TEST_F(BlockActions, PathAccessReadsAndSetsByIndexAndKey) {
    struct Row {
        const char* block;
        const char* element;
        const char* set;  // nullptr: read
        bool case_;
        const char* want;        // the value read or set, or an error
        const char* want_block;  // the block afterwards
    } rows[] = {
        {"a 1 b 2", "b", nullptr, false, "2", "[a 1 b 2]"},
        {"a 1 b: 2", "b", nullptr, false, "2", "[a 1 b: 2]"},
        {"A 1", "a", nullptr, false, "1", "[A 1]"},
        {"A 1", "a", nullptr, true, "none", "[A 1]"},
        {"a 1 b", "b", nullptr, false, "none", "[a 1 b]"},
        {"a 1 b 2", "2", nullptr, false, "1", "[a 1 b 2]"},
        {"a 1 b 2", "9", nullptr, false, "none", "[a 1 b 2]"},
        {"\"x\" 7", "\"x\"", nullptr, false, "7", "[\"x\" 7]"},
        {"[1] 7", "[1]", nullptr, false, "7", "[[1] 7]"},
        {"a 1 b 2", "b", "5", false, "5", "[a 1 b 5]"},
        {"a 1 b 2", "1", "x", false, "x", "[x 1 b 2]"},
        {"a 1 b 2", "c", "5", false, "error bad-path-set", "[a 1 b 2]"},
        {"a 1 b 2", "9", "5", false, "error out-of-range", "[a 1 b 2]"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* b = read_block(r.block);
        Cell element = read_value(r.element);
        Cell value = r.set ? read_value(r.set) : Cell{};
        std::string got;
        try {
            Cell* answer = lookup<&ActionRow::path_access>(b, ActionId::PathAccess)(
                b, &element, r.set ? &value : nullptr, nullptr, nullptr, nullptr, -1, r.case_,
                false, true, false);
            got = cell::is(answer, T::None) ? "none" : mold_text(*answer);
        } catch (const Unwind&) {
            got = std::string("error ") + err_word(raised().id);
        }
        EXPECT_EQ(got, r.want) << r.block << " / " << r.element;
        EXPECT_EQ(whole(*b), r.want_block) << r.block << " / " << r.element;
    }
}

// ---- take, trim, swap, put ----

TEST_F(BlockActions, TakeAnswersTheValueOrABlock) {
    struct Row {
        const char* series;
        std::optional<int32_t> part;
        bool last;
        const char* want;
        const char* left;
    } rows[] = {
        {"1 2 3", {}, false, "1", "[2 3]"},
        {"1 2 3", 1, false, "[1]", "[2 3]"},
        {"1 2 3", 2, true, "[2 3]", "[1]"},
        {"1 2 3", {}, true, "3", "[1 2]"},
        {"[1 2] 3", {}, false, "[1 2]", "[3]"},
        {"", {}, false, "none", "[]"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* s = read_block(r.series);
        Cell source = *s;
        Cell part = int_cell(r.part.value_or(0));
        Cell* taken = lookup<&ActionRow::take>(s, ActionId::Take)(s, r.part ? &part : nullptr,
                                                                   false, r.last);
        EXPECT_EQ(mold_text(*taken), r.want) << r.series;
        EXPECT_EQ(whole(source), r.left) << r.series;
    }
}

TEST_F(BlockActions, TakeDeepCopiesTheNestedSeries) {
    Cell* s = read_block("[1 [2]] 3");
    const NodeId inner = cell::node(block::raw_cells(cell::node(s)));
    Cell part = int_cell(1);
    Cell* taken = block::take(s, &part, true, false);
    EXPECT_EQ(mold_text(*taken), "[[1 [2]]]");
    Cell first = block::at(cell::node(taken), 0);
    EXPECT_NE(cell::node(&first), inner);
}

TEST_F(BlockActions, TrimSwapAndPutEditInPlace) {
    Cell* b = read_block("#none 1 #none #none 2 #none");
    cell::set_head(b, 1);
    lookup<&ActionRow::trim>(b, ActionId::Trim)(b, false, false, false, false, false, nullptr);
    EXPECT_EQ(whole(*b), "[none 1 2]");

    Cell* x = read_block("1 2");
    Cell* y = read_block("3 4");
    cell::set_head(y, 1);
    EXPECT_EQ(block::swap(x, y), x);
    EXPECT_EQ(whole(*x), "[4 2]");
    EXPECT_EQ(whole(*y), "[3 1]");
    Cell text = *test::text("ab");
    EXPECT_RAISES(block::swap(x, &text), Err::InvalidArg);
    Cell empty = *read_block("");
    block::swap(x, &empty);
    EXPECT_EQ(whole(*x), "[4 2]");

    struct Row {
        const char* block;
        const char* key;
        const char* value;
        const char* want;
    } rows[] = {
        {"a 1", "a", "2", "[a 2]"},
        {"a 1", "b", "3", "[a 1 b 3]"},
        {"a", "a", "1", "[a 1]"},
        {"A 1", "a", "1", "[A 1]"},
        {"[k] 1", "[k]", "2", "[[k] 2]"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* s = read_block(r.block);
        Cell key = read_value(r.key);
        Cell value = read_value(r.value);
        EXPECT_EQ(lookup<&ActionRow::put>(s, ActionId::Put)(s, &key, &value, false), &value);
        EXPECT_EQ(whole(*s), r.want) << r.block;
    }
}

// ---- copy, make, to ----

TEST_F(BlockActions, DeepCopiesReplaceNestedSeriesAndRefuseCycles) {
    Cell* b = read_block("1 [2 [3]] (4) \"s\"");
    Cell result{};
    block::copy(b, &result, nullptr, true, nullptr);
    EXPECT_EQ(mold_text(result), "[1 [2 [3]] (4) \"s\"]");
    const NodeId originals[] = {cell::node(block::raw_cells(cell::node(b)) + 1),
                                cell::node(block::raw_cells(cell::node(b)) + 2)};
    Cell nested = block::at(cell::node(&result), 1);
    EXPECT_NE(cell::node(&nested), originals[0]);
    Cell deeper = block::at(cell::node(&nested), 1);
    EXPECT_EQ(mold_text(deeper), "[3]");

    // /types: only the named types are copied, and nested ones only with /deep.
    Cell blocks{static_cast<uint32_t>(T::Datatype), static_cast<uint32_t>(T::Block), 0, 0};
    Cell shallow{};
    block::copy(b, &shallow, nullptr, false, &blocks);
    EXPECT_NE(cell::node(block::raw_cells(cell::node(&shallow)) + 1), originals[0]);
    EXPECT_EQ(cell::node(block::raw_cells(cell::node(&shallow)) + 2), originals[1]);

    Cell* self = read_block("1");
    block::append_cell(self, self);
    Cell refused{};
    EXPECT_RAISES(block::copy(self, &refused, nullptr, true, nullptr), Err::NoCycle);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(BlockActions, MakeAndToBuildBlocks) {
    struct Row {
        bool to;
        const char* spec;
        TypeId type;
        const char* want;
    } rows[] = {
        {false, "[1 [2]]", T::Block, "[1 [2]]"},
        {false, "(1 2)", T::Block, "[1 2]"},
        {false, "a/b", T::Paren, "(a b)"},
        {false, "5", T::Block, "[]"},
        {false, "\"x\"", T::Block, "error bad-make-arg"},
        {true, "1", T::Block, "[1]"},
        {true, "[1 2]", T::Paren, "(1 2)"},
        {true, "\"1 [2 a] b:\"", T::Block, "[1 [2 a] b:]"},
        {true, "\"\"", T::Block, "[]"},
        {true, "\" ; only a comment\"", T::Block, "[]"},
        {true, "\"1 2\"", T::Paren, "(1 2)"},
        {true, "\"a b\"", T::Path, "a/b"},
        {true, "\"a b\"", T::SetPath, "a/b:"},
        {true, "\"1 ]\"", T::Block, "error missing"},
        {false, "\"1 2\"", T::Block, "error bad-make-arg"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell spec = read_value(r.spec);
        Cell* proto = stack::push(&spec);
        std::string got;
        try {
            auto fn = r.to ? registry::row(r.type).to : registry::row(r.type).make;
            got = mold_text(*fn(proto, &spec, r.type));
        } catch (const Unwind&) {
            got = std::string("error ") + err_word(raised().id);
        }
        EXPECT_EQ(got, r.want) << (r.to ? "to " : "make ") << type_name(r.type) << " " << r.spec;
    }
    // Only a string! is loaded: another text type becomes the block's one value, and a text
    // is loaded from its position.
    Cell* file = test::text("1 2");
    cell::set_type(file, T::File);
    Cell* from_file = stack::push(file);
    block::to(from_file, file, T::Block);
    EXPECT_EQ(block::rs_length(from_file), 1);
    EXPECT_TRUE(cell::is(block::rs_head(from_file), T::File));
    Cell* later = test::text("1 2 3");
    cell::set_head(later, 2);
    Cell* from_later = stack::push(later);
    block::to(from_later, later, T::Block);
    EXPECT_EQ(mold_text(*from_later), "[2 3]");
    // make with a number leaves room for that many cells.
    Cell size = int_cell(10);
    Cell* made = stack::push(&size);
    block::make(made, &size, T::Block);
    EXPECT_GE(memory::buf_of(made)->size, 10 * sizeof(Cell));
    // to block! of a typeset gives its datatypes.
    Cell types{static_cast<uint32_t>(T::Typeset), 0, 0, 0};
    types.w1 = (0x80u >> 3) | (0x80u >> 5);  // none! (3) and block! (5)
    Cell* listed = stack::push(&types);
    block::to(listed, &types, T::Block);
    EXPECT_EQ(mold_text(*listed), "[none! block!]");
}

// ---- owner notices ----

std::string g_notices;
void record_notice(const Cell*, const Cell*, const Cell*, const Cell* action, const Cell*,
                   int32_t index, int32_t count) {
    g_notices += std::string(symbol::utf8_name(action->w2)) + " " + std::to_string(index) + " " +
                 std::to_string(count) + "; ";
}

TEST_F(BlockActions, ModifyingActionsTellTheOwnerBeforeAndAfter) {
    using Act = void (*)(Cell*);
    struct Row {
        const char* what;
        Act act;
        const char* want;
    } rows[] = {
        {"append/dup", [](Cell* s) { Cell v = int_cell(9); block::insert(s, &v, -1, false, 2, true); },
         "append 3 2; appended 3 2; "},
        {"insert", [](Cell* s) { Cell v = *read_block("8 9"); block::insert(s, &v, -1, false, 1, false); },
         "insert 1 2; inserted 1 2; "},
        {"change", [](Cell* s) { Cell v = *read_block("8 9"); block::change(s, &v, 1, false, 1); },
         "change 1 1; changed 1 2; "},
        {"put", [](Cell* s) { Cell k = int_cell(1); Cell v = int_cell(5); block::put(s, &k, &v, false); },
         "put 2 1; put-ed 2 1; "},
        {"sort", [](Cell* s) { block::sort(s, false, nullptr, nullptr, nullptr, false, false, false); },
         "sort 1 2; sorted 1 2; "},
        {"swap", [](Cell* s) { Cell o = *read_block("0"); block::swap(s, &o); }, "swap 1 1; swaped 1 1; "},
        {"trim", [](Cell* s) { block::trim(s, false, false, false, false, false, nullptr); },
         "trim 1 2; trimmed 1 2; "},
    };
    if (!ownership::table()) ownership::init();
    ownership::DeepChangeFn previous = ownership::set_deep_change_handler(record_notice);
    const Cell owner{static_cast<uint32_t>(T::Object), 0, 0, 1};  // word 3: it has handlers
    const Cell field = test::loose_word("field");
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* s = read_block("3 1 2");
        ownership::bind(s, &owner, &field);
        cell::set_head(s, 1);
        g_notices.clear();
        r.act(s);
        EXPECT_EQ(g_notices, r.want) << r.what;
        ownership::unbind(s);
    }
    ownership::set_deep_change_handler(previous);
}

// ---- hash! and the registration ----

TEST_F(BlockActions, EditsOfAHashRaiseNotDoneUntilItsIndexCanFollow) {
    Cell h = *read_block("1 2");
    cell::set_type(&h, T::Hash);
    Cell v = int_cell(3);
    EXPECT_RAISES(block::insert(&h, &v, -1, false, 1, true), Err::NotDone);
    EXPECT_RAISES(block::sort(&h, false, nullptr, nullptr, nullptr, false, false, false), Err::NotDone);
    stack::g_args.base = stack::push(&h);
    stack::push(&h);
    EXPECT_RAISES(block::set_op(false, nullptr, SetOp::Union), Err::NotDone);
}

TEST_F(BlockActions, RegistrationSharesAndInheritsSlots) {
    const ActionRow& block_row = registry::row(T::Block);
    const ActionRow& series_row = registry::row(T::Series);
    EXPECT_EQ(block_row.append, block_row.insert);
    EXPECT_EQ(block_row.pick, series_row.pick);
    EXPECT_EQ(block_row.remove, series_row.remove);
    EXPECT_NE(block_row.copy, series_row.copy);
    EXPECT_EQ(block_row.make, &block::make);
}

}  // namespace
}  // namespace nuv
