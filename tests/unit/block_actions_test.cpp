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

#include "runtime/compare.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/hash_block.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
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
    // A path and a lit-path are one kind under the word codes.
    Cell path = read_value("a/b");
    Cell lit = read_value("'a/b");
    EXPECT_TRUE(compare::value_compare(&path, &lit, CompareOp::Words));
    EXPECT_FALSE(compare::value_compare(&path, &lit, CompareOp::Equal));
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
        const Cell* found = select ? lookup<&ActionRow::select>(s, ActionId::Select)(
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
        {Edit::Insert, "1 2", 0, "0", -1, false, 0, "[1 2]", 0},
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
        Cell* written = block::write_cells(cell::node(s));
        std::shuffle(written, written + kCount, gen);
    }
}

// ---- take, trim, swap, put ----

TEST_F(BlockActions, PutWithABlockKeyEditsInPlace) {
    struct Row {
        const char* block;
        const char* key;
        const char* value;
        const char* want;
    } rows[] = {
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
    // Only a string! is loaded: another text type becomes the block's one value, and a text
    // is loaded from its position.
    Cell* file = test::text("1 2");
    cell::set_type(file, T::File);
    Cell* from_file = stack::push(file);
    block::to(from_file, file, T::Block);
    EXPECT_EQ(block::rs_length(from_file), 1);
    EXPECT_TRUE(cell::is(block::rs_head(from_file), T::File));
    // make with a number leaves room for that many cells.
    Cell size = int_cell(10);
    Cell* made = stack::push(&size);
    block::make(made, &size, T::Block);
    EXPECT_GE(memory::buf_of(made)->size, 10 * sizeof(Cell));
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

TEST_F(BlockActions, EditsOfAHashKeepItsIndex) {
    Cell* h = hash_block::index(read_block("1 2 a"), 0);
    Cell v = int_cell(3);
    block::insert(h, &v, -1, false, 2, false);
    Cell* values = read_block("b 1");
    block::change(h, values, 1, false, 1);
    cell::set_head(h, 0);
    Cell* key = stack::push(&v);
    block::put(h, key, values, false);
    block::swap(h, read_block("q"));
    block::trim(h, false, false, false, false, false, nullptr);
    registry::row(T::Hash).sort(h, false, nullptr, nullptr, nullptr, false, false, false);
    EXPECT_EQ(test::whole(*h), "make hash! [[b 1] 1 2 a b q]");
    EXPECT_EQ(test::unindexed_cells(h), std::vector<int32_t>{});
    // A set operation with a hash answers a hash indexed over every cell.
    stack::g_args.base = stack::push(h);
    stack::push(read_block("c"));
    block::set_op(false, nullptr, SetOp::Union);
    EXPECT_EQ(cell::type_of(stack::arg(0)), T::Hash);
    EXPECT_EQ(test::whole(*stack::arg(0)), "make hash! [[b 1] 1 2 a b q c]");
    EXPECT_EQ(test::unindexed_cells(stack::arg(0)), std::vector<int32_t>{});
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
