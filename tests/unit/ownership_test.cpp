// Ownership: binding series (deeply) to an owner object, the change notices the series actions
// send through check, and unbinding.
#include "runtime/ownership.h"

#include <string>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/memory.h"
#include "runtime/words.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using test::int_cell;

// An owner object; `handlers` gives it a change-notice record (word 3).
Cell owner_object(NodeId ctx, bool handlers) {
    return Cell{static_cast<uint32_t>(TypeId::Object), ctx, 1000001, handlers ? 1u : 0u};
}

Cell* text(const char* s) { return test::text(s); }

bool flagged(const Cell* series) { return memory::buf_of(series)->flags & memory::kOwned; }

// The owner object's context and the field word of the value's entry, or "-" when unowned.
std::string owner_text(const Cell* value) {
    const Cell* e = ownership::owner_of(value);
    if (!e) return "-";
    return std::to_string(e[1].w1) + "/" + std::string(symbol::utf8_name(word::symbol_of(e + 2)));
}

// What the installed deep-change handler was told.
struct Notice {
    std::string action;
    int32_t index, count;
    bool operator==(const Notice&) const = default;
};
std::vector<Notice> g_notices;
// When set, the handler empties the target's buffer on the first notice, as a handler may.
bool g_empty_target = false;

void record_notice(const Cell* owner, const Cell* word, const Cell* target, const Cell* action,
                   const Cell* new_value, int32_t index, int32_t count) {
    (void)owner;
    (void)word;
    (void)new_value;
    g_notices.push_back({std::string(symbol::utf8_name(word::symbol_of(action))), index, count});
    if (g_empty_target && g_notices.size() == 1) {
        memory::SeriesBuf* b = memory::buf_of(target);
        b->tail = b->offset;
    }
}

// Installs the recording handler for the test's lifetime.
struct HandlerScope {
    ownership::DeepChangeFn previous;
    HandlerScope() {
        g_notices.clear();
        g_empty_target = false;
        previous = ownership::set_deep_change_handler(record_notice);
    }
    ~HandlerScope() { ownership::set_deep_change_handler(previous); }
};

std::ostream& operator<<(std::ostream& out, const Notice& n) {
    return out << n.action << " " << n.index << " " << n.count;
}

TEST(Ownership, BindDescendsIntoNestedSeriesOnce) {
    test::StackScope scope;
    Cell owner = owner_object(11, true);
    Cell other_owner = owner_object(22, true);
    Cell field = test::loose_word("field");
    Cell* before = text("before");
    Cell* inner_text = text("in");
    Cell* inner = test::block_of({*inner_text});
    Cell* outer = test::block_of({*before, *inner});
    block::append_cell(outer, outer);  // the block holds itself
    cell::set_head(outer, 1);

    ownership::bind(outer, &owner, &field);
    EXPECT_EQ(cycles::depth(), 0);
    EXPECT_EQ(owner_text(outer), "11/field");
    EXPECT_EQ(owner_text(inner), "11/field");
    EXPECT_EQ(owner_text(inner_text), "11/field");
    EXPECT_EQ(owner_text(before), "-") << "cells before the head are not entered";
    EXPECT_TRUE(flagged(inner_text));

    // Binding again, to another owner, changes nothing.
    Cell other_field = test::loose_word("other");
    ownership::bind(inner, &other_owner, &other_field);
    EXPECT_EQ(owner_text(inner), "11/field");
    EXPECT_EQ(owner_text(inner_text), "11/field");

    ownership::unbind(outer);
    EXPECT_EQ(cycles::depth(), 0);
    for (const Cell* c : {outer, inner, inner_text}) {
        EXPECT_EQ(owner_text(c), "-");
        EXPECT_FALSE(flagged(c));
    }
}

TEST(Ownership, UnbindRangeReleasesOnlyThoseCells) {
    test::StackScope scope;
    Cell owner = owner_object(11, true);
    Cell field = test::loose_word("field");
    Cell* a = text("a");
    Cell* b = text("b");
    Cell* c = text("c");
    Cell* blk = test::block_of({*a, *b, *c});
    ownership::bind(blk, &owner, &field);
    ownership::unbind_range(blk, 1, 5);
    EXPECT_EQ(owner_text(a), "11/field");
    EXPECT_EQ(owner_text(b), "-");
    EXPECT_EQ(owner_text(c), "-");
    EXPECT_EQ(owner_text(blk), "11/field");
    ownership::unbind(blk);
}

TEST(Ownership, AnObjectOwnsItsFieldsUnderTheirOwnWords) {
    test::StackScope scope;
    const NodeId ctx = context::make(4, false, true, 0, context::Kind::Object);
    const NodeId nested_ctx = context::make(1, false, true, 0, context::Kind::Object);
    Cell obj = owner_object(ctx, true);
    Cell nested = owner_object(nested_ctx, false);
    Cell* s = text("s");
    Cell* blk = test::ints({1, 2});
    Cell* deep = text("deep");
    Cell a = test::loose_word("a"), b = test::loose_word("b"), me = test::loose_word("me"),
         sub = test::loose_word("sub"), x = test::loose_word("x");
    context::put_word(ctx, &a, s);
    context::put_word(ctx, &b, blk);
    context::put_word(ctx, &me, &obj);
    context::put_word(ctx, &sub, &nested);
    context::put_word(nested_ctx, &x, deep);

    Cell none = *none::shared();
    ownership::bind_object(&obj, &obj, &none);
    const std::string id = std::to_string(ctx);
    EXPECT_EQ(owner_text(s), id + "/a");
    EXPECT_EQ(owner_text(blk), id + "/b");
    EXPECT_EQ(owner_text(deep), id + "/x");
    EXPECT_EQ(owner_text(&obj), "-") << "the field holding the owner itself is skipped";
    EXPECT_TRUE(context::cell_of(ctx)->header & ownership::kContextOwner);
    EXPECT_EQ(cycles::depth(), 0);
    for (Cell* c : {s, blk, deep}) ownership::unbind(c);
}

TEST(Ownership, CheckReachesOnlyOwnersWithHandlers) {
    test::StackScope scope;
    HandlerScope handler;
    Cell field = test::loose_word("field");
    struct Row {
        const char* what;
        bool bound, handlers, installed;
        bool answer;
        size_t notices;
    } rows[] = {
        {"no owner", false, true, true, false, 0},
        {"owner without handlers", true, false, true, false, 0},
        {"owner with handlers", true, true, true, true, 1},
        {"handler not installed yet", true, true, false, true, 0},
    };
    HandlerScope keep;
    for (const Row& r : rows) {
        test::StackScope inner;
        g_notices.clear();
        ownership::set_deep_change_handler(r.installed ? record_notice : nullptr);
        Cell owner = owner_object(11, r.handlers);
        Cell* s = text("abc");
        if (r.bound) ownership::bind(s, &owner, &field);
        EXPECT_EQ(ownership::check(s, words::w::append, nullptr, 3, 2), r.answer) << r.what;
        EXPECT_EQ(g_notices.size(), r.notices) << r.what;
        if (r.notices) {
            EXPECT_EQ(g_notices[0], (Notice{"append", 3, 2})) << r.what;
        }
        ownership::unbind(s);
    }
}

TEST(Ownership, SeriesActionsNotifyBeforeAndAfter) {
    test::StackScope scope;
    HandlerScope handler;
    Cell owner = owner_object(11, true);
    Cell field = test::loose_word("field");
    Cell two = int_cell(2);
    Cell z{static_cast<uint32_t>(TypeId::Char), 0, 'z', 0};
    struct Row {
        const char* what;
        void (*act)(Cell* s, Cell* two, Cell* z);
        std::vector<Notice> want;
    } rows[] = {
        {"poke", [](Cell* s, Cell*, Cell* z) { series::poke(s, 2, z, nullptr); },
         {{"poke", 2, 1}, {"poked", 2, 1}}},
        {"remove", [](Cell* s, Cell* two, Cell*) { series::remove(s, two, nullptr); },
         {{"remove", 1, 2}, {"removed", 1, 2}}},
        {"reverse", [](Cell* s, Cell*, Cell*) { series::reverse(s, nullptr, nullptr); },
         {{"reverse", 1, 5}, {"reversed", 1, 5}}},
        {"random", [](Cell* s, Cell*, Cell*) { series::random(s, false, false, false); },
         {{"random", 1, 5}, {"randomized", 1, 5}}},
        {"clear", [](Cell* s, Cell*, Cell*) { series::clear(s); },
         {{"clear", 1, 5}, {"cleared", 1, 5}}},
        {"take/last", [](Cell* s, Cell* two, Cell*) {
             Cell* t = stack::push(s);
             series::take(t, two, false, true);
         },
         {{"take", 4, 2}, {"taken", 4, 2}}},
        {"move", [](Cell* s, Cell*, Cell*) {
             Cell* t = stack::push(s);
             cell::set_head(t, 3);
             series::move(s, t, nullptr);
         },
         {{"move", 1, 1}, {"moved", 1, 1}}},
    };
    for (const Row& r : rows) {
        test::StackScope inner;
        Cell* s = text("abcdef");
        cell::set_head(s, 1);
        ownership::bind(s, &owner, &field);
        g_notices.clear();
        r.act(s, &two, &z);
        EXPECT_EQ(g_notices, r.want) << r.what;
        ownership::unbind(s);
        g_notices.clear();
        r.act(s, &two, &z);
        EXPECT_TRUE(g_notices.empty()) << r.what << " after unbind";
    }
}

TEST(Ownership, AHandlerThatEmptiesTheSeriesLeavesActionsSound) {
    test::StackScope scope;
    HandlerScope handler;
    Cell owner = owner_object(11, true);
    Cell field = test::loose_word("field");
    Cell two = int_cell(2);
    Cell three = int_cell(3);
    Cell z = int_cell(26);
    struct Row {
        const char* what;
        void (*act)(Cell* s, Cell* two, Cell* three, Cell* z);
    } rows[] = {
        {"remove", [](Cell* s, Cell* two, Cell*, Cell*) { series::remove(s, two, nullptr); }},
        {"reverse", [](Cell* s, Cell*, Cell* three, Cell*) { series::reverse(s, nullptr, three); }},
        {"random", [](Cell* s, Cell*, Cell*, Cell*) { series::random(s, false, false, false); }},
        {"take",
         [](Cell* s, Cell* two, Cell*, Cell*) { series::take(stack::push(s), two, false, false); }},
        {"move", [](Cell* s, Cell* two, Cell*, Cell*) {
             Cell* t = stack::push(s);
             cell::set_head(t, 4);
             series::move(s, t, two);
         }},
        {"poke", [](Cell* s, Cell*, Cell*, Cell* z) {
             EXPECT_RAISES(series::poke(s, 1, z, nullptr), Err::OutOfRange);
         }},
    };
    for (const Row& r : rows) {
        test::StackScope inner;
        Cell* s = test::ints({1, 2, 3, 4, 5, 6});
        ownership::bind(s, &owner, &field);
        g_notices.clear();
        g_empty_target = true;
        r.act(s, &two, &three, &z);
        EXPECT_EQ(series::buffer_length(s), 0) << r.what;
        g_empty_target = false;
        ownership::unbind(s);
    }
}

TEST(Ownership, DeepNestingRaisesTooDeepAndLeavesTheCycleStackEmpty) {
    test::StackScope scope;
    Cell* top = block::push_new(1);
    Cell* at = stack::push(top);
    for (int i = 0; i < cycles::kCapacity + 10; i++) {
        Cell* next = block::push_new(1);
        block::append_cell(at, next);
        *at = *next;
    }
    Cell owner = owner_object(11, true);
    Cell field = test::loose_word("field");
    EXPECT_RAISES(ownership::bind(top, &owner, &field), Err::TooDeep);
    EXPECT_EQ(cycles::depth(), 0);
}

}  // namespace
}  // namespace nuv
