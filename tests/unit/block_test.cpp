// block! storage: cell access, clearing, growth, insertion, search, removal and deep copy.
#include "runtime/datatypes/block.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/hash_block.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/memory.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using test::block_of;
using test::int_cell;
using test::ints;

Cell none_cell() { return Cell{static_cast<uint32_t>(TypeId::None), 0, 0, 0}; }
Cell logic_cell(bool v) { return Cell{static_cast<uint32_t>(TypeId::Logic), v ? 1u : 0u, 0, 0}; }
Cell type_cell(TypeId t) { return Cell{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(t), 0, 0}; }

std::string show(const Cell* c);
// Every cell of the buffer, from its first to its tail, whatever the head.
std::string contents(const Cell* block) {
    std::string out;
    Cell b = *block;
    b.w1 = 0;
    for (int32_t i = 0; i < block::rs_length(&b); i++) {
        if (i) out += ' ';
        out += show(block::rs_abs_at(&b, i));
    }
    return out;
}
std::string show(const Cell* c) {
    switch (cell::type_of(c)) {
    case TypeId::Integer: return std::to_string(cell::get_int(c));
    case TypeId::Logic: return c->w1 ? "true" : "false";
    case TypeId::None: return "none";
    case TypeId::Unset: return "unset";
    case TypeId::Datatype: return type_name(static_cast<TypeId>(c->w1));
    case TypeId::Block: return "[" + contents(c) + "]";
    case TypeId::Paren: return "(" + contents(c) + ")";
    default: return "?";
    }
}

TEST(Block, CellAccessClampsAHeadBeyondTheTail) {
    struct Row {
        int32_t head;
        int32_t length;
        bool is_tail;
        int32_t clamped;   // head after rs_head
        bool next_answer;  // next reaches the tail
        int32_t head_after_next;
    } rows[] = {
        {0, 3, false, 0, false, 1},
        {2, 1, false, 2, true, 3},
        {3, 0, true, 3, true, 3},
        {5, -2, false, 3, true, 3},
        {-2, 5, false, 0, false, -1},
    };
    test::StackScope scope;
    Cell* b = ints({1, 2, 3});
    for (const Row& r : rows) {
        Cell v = *b;
        cell::set_head(&v, r.head);
        EXPECT_EQ(block::rs_length(&v), r.length) << "head " << r.head;
        EXPECT_EQ(block::rs_is_tail(&v), r.is_tail) << "head " << r.head;
        const Cell* head_cell = block::rs_head(&v);
        EXPECT_EQ(cell::head(&v), r.clamped) << "head " << r.head;
        EXPECT_EQ(head_cell, block::rs_abs_at(&v, r.clamped)) << "head " << r.head;
        if (r.clamped == 3) {
            EXPECT_EQ(head_cell, block::rs_tail(&v)) << "head " << r.head;
        }
        cell::set_head(&v, r.head);
        EXPECT_EQ(block::next(&v), r.next_answer) << "head " << r.head;
        EXPECT_EQ(cell::head(&v), r.head_after_next) << "head " << r.head;
    }
}

TEST(Block, ClearingMovesTheTailBackNeverOn) {
    enum Op { Clear, ClearFrom, RemoveLast };
    struct Row {
        const char* what;
        std::initializer_list<int32_t> start;
        int32_t head;
        Op op;
        int32_t index;
        const char* want;
        int32_t want_head;
    } rows[] = {
        {"clear at 1", {1, 2, 3}, 1, Clear, 0, "1", 1},
        {"clear beyond the tail", {1, 2, 3}, 5, Clear, 0, "1 2 3", 5},
        {"clear_from 2", {1, 2, 3}, 0, ClearFrom, 2, "1 2", 0},
        {"clear_from past the tail", {1, 2, 3}, 0, ClearFrom, 7, "1 2 3", 0},
        {"clear_from negative", {1, 2, 3}, 0, ClearFrom, -1, "", 0},
        {"remove_last at the tail", {1, 2, 3}, 3, RemoveLast, 0, "1 2", 2},
        {"remove_last before the tail", {1, 2, 3}, 1, RemoveLast, 0, "1 2", 1},
        {"remove_last of empty", {}, 0, RemoveLast, 0, "", 0},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* b = ints(r.start);
        cell::set_head(b, r.head);
        switch (r.op) {
        case Clear: block::clear(b); break;
        case ClearFrom: block::clear_from(b, r.index); break;
        case RemoveLast: block::remove_last(b); break;
        }
        EXPECT_EQ(contents(b), r.want) << r.what;
        EXPECT_EQ(cell::head(b), r.want_head) << r.what;
    }
}

TEST(Block, AppendingGrowsByDoubling) {
    test::StackScope scope;
    Cell* b = block::push_new(0);
    uint64_t before = memory::counters().expansions;
    for (int32_t i = 0; i < 1000; i++) {
        Cell c = int_cell(i);
        block::append_cell(b, &c);
    }
    EXPECT_LE(memory::counters().expansions - before, 11u);  // 1 -> 1024 cells
    ASSERT_EQ(block::rs_length(b), 1000);
    for (int32_t i = 0; i < 1000; i++) ASSERT_EQ(cell::get_int(block::rs_abs_at(b, i)), i);
    Cell* tail = block::alloc_tail(b);
    EXPECT_EQ(cell::type_of(tail), TypeId::Unset);
    EXPECT_EQ(block::rs_length(b), 1001);
}

TEST(Block, AppendAllCopiesFromTheSourceHead) {
    struct Row {
        const char* what;
        std::initializer_list<int32_t> target;
        std::initializer_list<int32_t> source;  // empty: the target itself
        int32_t source_head;
        const char* want;
    } rows[] = {
        {"other block", {1, 2}, {3, 4}, 1, "1 2 4"},
        {"source head beyond its tail", {1, 2}, {3, 4}, 9, "1 2"},
        {"itself", {1, 2}, {}, 0, "1 2 1 2"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* b = ints(r.target);
        Cell source = r.source.size() ? *ints(r.source) : *b;
        cell::set_head(&source, r.source_head);
        block::append_all(b, &source);
        EXPECT_EQ(contents(b), r.want) << r.what;
    }
}

TEST(Block, InsertValueAtTheHeadOrTheStart) {
    struct Row {
        int32_t head;
        bool advance;
        bool at_start;
        const char* want;
        int32_t want_head;
    } rows[] = {
        {1, false, false, "1 9 2 3", 1},
        {1, true, false, "1 9 2 3", 2},
        {2, false, true, "9 1 2 3", 2},
        {2, true, true, "9 1 2 3", 3},
        {5, false, false, "1 2 3 9", 3},  // a head beyond the tail inserts at the tail
        {3, true, false, "1 2 3 9", 4},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* b = ints({1, 2, 3});  // full: every insertion grows it
        cell::set_head(b, r.head);
        Cell v = int_cell(9);
        block::insert_value(b, &v, r.advance, r.at_start);
        EXPECT_EQ(contents(b), r.want) << "head " << r.head << " advance " << r.advance
                                       << " at_start " << r.at_start;
        EXPECT_EQ(cell::head(b), r.want_head) << "head " << r.head << " advance " << r.advance
                                              << " at_start " << r.at_start;
    }
}

TEST(Block, InsertEachKeepsTheOrderAndAdvances) {
    struct Row {
        const char* what;
        std::initializer_list<int32_t> source;  // empty with `itself`: the target
        bool itself;
        int32_t target_head;
        int32_t source_head;
        const char* want;
        int32_t want_head;
    } rows[] = {
        {"other block", {7, 8, 9}, false, 1, 1, "1 8 9 2 3", 3},
        {"empty source", {}, false, 1, 0, "1 2 3", 1},
        {"itself", {}, true, 1, 0, "1 1 2 3 2 3", 4},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* b = ints({1, 2, 3});
        Cell source = r.itself ? *b : *ints(r.source);
        cell::set_head(b, r.target_head);
        cell::set_head(&source, r.source_head);
        block::insert_each(b, &source);
        EXPECT_EQ(contents(b), r.want) << r.what;
        EXPECT_EQ(cell::head(b), r.want_head) << r.what;
    }
}

TEST(Block, SelectValueAnswersTheNextCellOrNone) {
    struct Row {
        const char* what;
        Cell key;
        int32_t head;
        const char* want;  // nullptr: the shared none cell
    } rows[] = {
        {"first", logic_cell(true), 0, "none"},
        {"middle", none_cell(), 0, "integer!"},
        {"datatype", type_cell(TypeId::Integer), 0, "false"},
        {"last value", logic_cell(false), 0, nullptr},
        {"absent", type_cell(TypeId::Block), 0, nullptr},
        {"before the head", logic_cell(true), 1, nullptr},
    };
    test::StackScope scope;
    Cell* b = block_of({logic_cell(true), none_cell(), type_cell(TypeId::Integer), logic_cell(false)});
    for (const Row& r : rows) {
        Cell v = *b;
        cell::set_head(&v, r.head);
        const Cell* got = block::select_value(&v, &r.key);
        if (r.want) {
            EXPECT_EQ(show(got), r.want) << r.what;
        } else {
            EXPECT_EQ(got, none::shared()) << r.what;
        }
    }
}

TEST(Block, RemoveValueTakesOutTheFirstMatch) {
    struct Row {
        const char* what;
        Cell key;
        int32_t head;
        bool from_start;
        int32_t answer;
        const char* want;
    } rows[] = {
        {"first match from the head", logic_cell(true), 0, false, 1, "none true false"},
        {"match after the head", logic_cell(true), 1, false, 3, "true none false"},
        {"match before the head", logic_cell(false), 3, true, 4, "true none true"},
        {"absent", type_cell(TypeId::Block), 0, true, 0, "true none true false"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* b = block_of({logic_cell(true), none_cell(), logic_cell(true), logic_cell(false)});
        cell::set_head(b, r.head);
        EXPECT_EQ(block::remove_value(b, &r.key, r.from_start), r.answer) << r.what;
        EXPECT_EQ(contents(b), r.want) << r.what;
    }
}

TEST(Block, CopyDeepCopiesNestedBlocksAsAsked) {
    struct Row {
        bool deep;
        bool any_block;
        bool block_copied;
        bool paren_copied;
    } rows[] = {
        {false, false, false, false},
        {true, false, true, false},
        {true, true, true, true},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell inner = *ints({3});
        Cell nested = *block_of({int_cell(2), inner});
        nested.header |= cell::kNewLine;
        Cell paren = *ints({4});
        cell::set_type(&paren, TypeId::Paren);
        Cell* source = block_of({int_cell(0), int_cell(1), nested, paren});
        cell::set_head(source, 1);
        Cell* copy = block::copy_deep(source, r.deep, r.any_block);
        std::string what = "deep " + std::to_string(r.deep) + " any " + std::to_string(r.any_block);
        EXPECT_EQ(cell::type_of(copy), TypeId::Block) << what;
        EXPECT_EQ(cell::head(copy), 0) << what;
        EXPECT_NE(cell::node(copy), cell::node(source)) << what;
        EXPECT_EQ(contents(copy), "1 [2 [3]] (4)") << what;
        const Cell* b = block::rs_abs_at(copy, 1);
        const Cell* p = block::rs_abs_at(copy, 2);
        EXPECT_EQ(b->header, nested.header) << what;  // type and new-line marker kept
        EXPECT_EQ(cell::node(b) != cell::node(&nested), r.block_copied) << what;
        EXPECT_EQ(cell::node(block::rs_abs_at(b, 1)) != cell::node(&inner), r.block_copied) << what;
        EXPECT_EQ(cell::type_of(p), TypeId::Paren) << what;
        EXPECT_EQ(cell::node(p) != cell::node(&paren), r.paren_copied) << what;
        EXPECT_EQ(cycles::depth(), 0) << what;
    }
}

TEST(Block, CopyDeepOfAnEmptyBlockHasRoom) {
    test::StackScope scope;
    Cell* source = ints({});
    Cell* copy = block::copy_deep(source, true, true);
    EXPECT_EQ(block::rs_length(copy), 0);
    EXPECT_GE(memory::buf_of(copy)->size, sizeof(Cell));
    Cell v = int_cell(5);
    block::append_cell(copy, &v);
    EXPECT_EQ(contents(copy), "5");
}

TEST(Block, CopyDeepOfASelfContainingBlockRaisesNoCycle) {
    test::StackScope scope;
    Cell* outer = ints({1});
    Cell inner = *ints({2});
    block::append_cell(&inner, outer);  // outer -> inner -> outer
    block::append_cell(outer, &inner);
    EXPECT_RAISES(block::copy_deep(outer, true, false), Err::NoCycle);
    EXPECT_EQ(cycles::depth(), 0);
    // A block met twice without a cycle is copied twice.
    Cell* shared = ints({7});
    Cell* twice = block_of({*shared, *shared});
    Cell* copy = block::copy_deep(twice, true, false);
    EXPECT_EQ(contents(copy), "[7] [7]");
    EXPECT_NE(cell::node(block::rs_abs_at(copy, 0)), cell::node(block::rs_abs_at(copy, 1)));
}

TEST(Block, MakersPlaceTheirBlocks) {
    test::StackScope scope;
    Cell* parent = ints({1});
    Cell* child = block::make_in(parent, 4);
    EXPECT_EQ(child, block::rs_abs_at(parent, 1));
    EXPECT_EQ(contents(parent), "1 []");
    EXPECT_FALSE(memory::buf_of(child)->flags & memory::kExternal);
    Cell* outside = block::make_external(parent, 3);
    EXPECT_TRUE(memory::buf_of(outside)->flags & memory::kExternal);
    EXPECT_EQ(memory::buf_of(outside)->size, 3 * sizeof(Cell));
    EXPECT_EQ(contents(parent), "1 [] []");

    struct Row {
        int32_t size;
        bool outside;
        size_t room;
    } rows[] = {{-4, false, 1}, {0, false, 1}, {5, false, 5}, {5, true, 5}};
    for (const Row& r : rows) {
        Cell c{};
        block::make_at_ext(&c, r.size, r.outside);
        memory::SeriesBuf* b = memory::buf_of(&c);
        EXPECT_EQ(b->size / sizeof(Cell), r.room) << r.size;
        EXPECT_EQ(block::rs_length(&c), 0) << r.size;
        if (!r.outside) {
            EXPECT_EQ(cell::type_of(b->cells() + r.room - 1), TypeId::Unset) << r.size;
        }
    }
}

TEST(Block, StackAppendersCollectIntoABlock) {
    test::StackScope scope;
    Cell* b = ints({1});
    stack::g_args.base = stack::g_args.top;  // the block lies just below the arguments base
    Cell v = int_cell(2);
    stack::push(&v);
    EXPECT_EQ(block::append_arg(), b);
    cell::set_head(b, 0);
    v = int_cell(3);
    stack::set_last(&v);
    block::append_stack();
    EXPECT_EQ(contents(b), "3 1 2");
    EXPECT_EQ(cell::head(b), 1);

    stack::g_args.base = block::push(b);
    v = int_cell(4);
    stack::push(&v);
    EXPECT_EQ(block::append_arg1(), stack::arg(0));
    EXPECT_EQ(contents(b), "3 1 2 4");
}

TEST(Block, FindWordReadsTheValueAfterAWordOfThatSpelling) {
    struct Row {
        const char* name;
        bool case_;
        int32_t want;  // index of the answer, -1 for none
    } rows[] = {
        {"alpha", false, 1}, {"alpha", true, -1}, {"Alpha", true, 1}, {"beta", false, 3},
        {"GAMMA", false, 5}, {"delta", false, 7}, {"ref", false, -1}, {"last", false, -1},
        {"zeta", false, -1},
    };
    test::StackScope scope;
    Cell* b = block_of({test::loose_word("Alpha"), int_cell(1),
                        test::loose_word("beta", TypeId::SetWord), int_cell(2),
                        test::loose_word("gamma", TypeId::LitWord), int_cell(3),
                        test::loose_word("delta", TypeId::GetWord), int_cell(4),
                        test::loose_word("ref", TypeId::Refinement), int_cell(5),
                        test::loose_word("last")});
    for (const Row& r : rows) {
        Cell key = test::loose_word(r.name);
        const Cell* got = block::find_word(b, &key, r.case_);
        const Cell* want = r.want < 0 ? none::shared() : block::rs_abs_at(b, r.want);
        EXPECT_EQ(got, want) << r.name << (r.case_ ? " /case" : "");
    }
}

TEST(Block, CopyTypesReplacesTheNamedSeriesKeepingTheirHeaders) {
    test::StackScope scope;
    Cell nested = *ints({2});
    Cell marked = nested;
    marked.header |= cell::kNewLine;
    Cell* b = block_of({nested, int_cell(1), marked});
    Cell strings = type_cell(TypeId::String);
    block::copy_types(cell::node(b), 0, 3, 1, false, &strings);
    EXPECT_EQ(cell::node(block::rs_abs_at(b, 0)), cell::node(&nested));
    Cell blocks{static_cast<uint32_t>(TypeId::Typeset), 0, 0, 0};
    blocks.w1 = 0x80u >> 5;  // type 5 is bit 0x80 >> 5 of byte 0
    block::copy_types(cell::node(b), 2, 3, 1, false, &blocks);
    EXPECT_EQ(cell::node(block::rs_abs_at(b, 0)), cell::node(&nested));
    const Cell copied = *block::rs_abs_at(b, 2);
    EXPECT_NE(cell::node(&copied), cell::node(&nested));
    EXPECT_EQ(copied.header, marked.header);
    EXPECT_EQ(contents(&copied), "2");
}

TEST(Block, EditingHelpersKeepAHashIndexed) {
    test::StackScope scope;
    Cell* hash = hash_block::index(ints({1, 2}), 0);
    Cell v = int_cell(3);
    block::insert_value(hash, &v, true, false);
    block::insert_each(hash, ints({4, 1}));
    stack::g_args.base = stack::push(hash);
    stack::push(&v);
    block::append_arg1();
    Cell two = int_cell(2);
    EXPECT_EQ(block::remove_value(hash, &two, true), 5);
    EXPECT_EQ(contents(hash), "3 4 1 1 3");
    EXPECT_EQ(test::unindexed_cells(hash), std::vector<int32_t>{});
}

TEST(BlockDeathTest, AFullExternalBlockNeverGrows) {
    Cell c{};
    block::make_at_ext(&c, 2, true);
    Cell v = int_cell(1);
    block::append_cell(&c, &v);
    block::append_cell(&c, &v);
    EXPECT_EXIT(block::append_cell(&c, &v), ::testing::ExitedWithCode(1), "external block is full");
}

}  // namespace
}  // namespace nuv
