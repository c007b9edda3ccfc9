// The write barrier: every way the language changes a watched block's cells or length moves
// its stamp and the epoch, while changes to a copy do not; every way it writes a watched global
// slot moves the epoch, and writes to other slots do not; the watch survives moves and growth,
// never reaches a copy, and no memory statistic sees it.
#include "runtime/watch.h"

#include <string>

#include "runtime/memory.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

SymId sym(const char* name) { return symbol::make_cstr(name); }

// Evaluates text that must not fail.
void run(const std::string& text) {
    const std::string got = eval_text(text);
    EXPECT_NE(got.rfind("error ", 0), 0u) << text << ": " << got;
}

NodeId global_series(const char* name) { return cell::node(context::global_slot(sym(name))); }
int32_t global_index(const char* name) {
    return context::find_word(context::global(), sym(name), true);
}
bool is_watched(NodeId node) { return (memory::buf(node)->flags & watch::kWatched) != 0; }

struct Row {
    const char* setup;   // leaves the watched value in the global word
    const char* change;  // run once the watch is on
    bool counts;         // whether the change writes what is watched
};

TEST(Watch, EveryChangeOfAWatchedBlockMovesItsStampAndNoChangeOfACopyDoes) {
    eval_environment();
    const Row rows[] = {
        {"b: [1 2 3]", "append b 4", true},
        {"b: [1 2 3]", "insert b 0", true},
        {"b: [1 2 3]", "insert/dup b 0 1000", true},  // the buffer grows
        {"b: [1 2 3]", "change b 9", true},
        {"b: [1 2 3]", "change/part b [7 8 9] 1", true},
        {"b: [1 2 3]", "poke b 2 5", true},
        {"b: [1 2 3]", "b/2: 5", true},
        {"b: [x 1 y 2]", "b/y: 5", true},
        {"b: [x 1]", "put b 'x 5", true},
        {"b: [1:00 2]", "b/1/hour: 5", true},
        {"b: [1 2 3]", "remove b", true},
        {"b: [1 2 3]", "remove-each x b [x = 2]", true},
        {"b: [1 2 3]", "clear next b", true},
        {"b: [1 2 3]", "take b", true},
        {"b: [1 2 3]", "take/last b", true},
        {"b: [3 1 2]", "sort b", true},
        {"b: [3 1 2]", "sort/compare b func [p q] [p < q]", true},
        {"b: [1 2 3]", "reverse b", true},
        {"b: [1 2 3]", "random b", true},
        {"b: [1 2 3]", "swap b next b", true},
        {"b: [1 2 3]", "move b next next b", true},
        {"b: [1 2 3]", "c: [9] move c b", true},
        {"b: [1 2 3]", "c: [9] move b c", true},
        {"b: reduce [1 none 2]", "trim b", true},
        {"b: [1 2 3]", "new-line b true", true},
        {"b: [x y]", "bind b make object! [x: 0]", true},
        {"b: [1 2]", "reduce/into [1 + 1] b", true},
        {"b: [1 2]", "transcode/into {3} b", true},
        {"b: to paren! [1 2]", "append b 3", true},
        {"b: 'p/q", "append b 'r", true},
        // Copies, positions and bindings that leave the cells as they are.
        {"b: [1 2 3]", "c: copy b append c 4 poke c 1 0", false},
        {"b: [1 2 3]", "c: copy/part b 2 reverse c", false},
        {"b: [[1 2] 3]", "c: copy/deep b append c/1 9", false},
        {"b: [1 2 3]", "c: next b c: back c", false},
        {"b: [p q]", "set b [1 2]", false},
        {"b: [x y]", "bind b make object! [z: 0]", false},
        {"b: [x y]", "bind b 'b", false},  // already bound there
    };
    for (const Row& r : rows) {
        run(r.setup);
        const NodeId node = global_series("b");
        watch::watch_series(node);
        const uint32_t stamp = watch::stamp(node);
        const uint64_t epoch = watch::g_epoch;
        const uint64_t writes = watch::counters().series_writes;
        run(r.change);
        EXPECT_EQ(watch::stamp(node) != stamp, r.counts) << r.setup << " " << r.change;
        if (r.counts) {
            EXPECT_GT(watch::g_epoch, epoch) << r.change;
        } else {
            EXPECT_EQ(watch::counters().series_writes, writes) << r.change;
        }
        EXPECT_TRUE(is_watched(node)) << r.change;  // kept through moves and growth
    }
}

TEST(Watch, TheBlockEditingHelpersTakeTheBarrier) {
    eval_environment();
    const struct {
        const char* what;
        void (*edit)(Cell* block);
    } edits[] = {
        {"alloc_tail", [](Cell* b) { block::alloc_tail(b); }},
        {"append_cell", [](Cell* b) { block::append_cell(b, none::shared()); }},
        {"append_all", [](Cell* b) { block::append_all(b, b); }},
        {"insert_value", [](Cell* b) { block::insert_value(b, none::shared(), false, true); }},
        {"insert_each", [](Cell* b) { block::insert_each(b, b); }},
        {"remove_value", [](Cell* b) { block::remove_value(b, block::rs_abs_at(b, 1), true); }},
        {"clear", [](Cell* b) { block::clear(b); }},
        {"clear_from", [](Cell* b) { block::clear_from(b, 1); }},
        {"remove_last", [](Cell* b) { block::remove_last(b); }},
    };
    for (const auto& e : edits) {
        StackScope scope;
        Cell* b = load_text("1 2 3");
        watch::watch_series(cell::node(b));
        const uint32_t stamp = watch::stamp(cell::node(b));
        e.edit(b);
        EXPECT_NE(watch::stamp(cell::node(b)), stamp) << e.what;
    }
}

TEST(Watch, ACopyOfAWatchedSeriesIsNotWatched) {
    eval_environment();
    run("b: [1 2 3] c: copy b d: copy/deep reduce [b] e: copy/part b 2");
    const NodeId node = global_series("b");
    watch::watch_series(node);
    run("c: copy b e: copy/part b 2 t: take/part copy b 2");
    StackScope scope;
    const NodeId copies[] = {global_series("c"), global_series("e"), global_series("t"),
                             memory::copy_series_buffer(node),
                             memory::series_copy_range(node, 1, 2)};
    for (const NodeId copy : copies) {
        EXPECT_FALSE(is_watched(copy));
        EXPECT_EQ(watch::stamp(copy), 0u);
    }
    EXPECT_TRUE(is_watched(node));
}

TEST(Watch, EveryWriteOfAWatchedGlobalSlotMovesTheEpoch) {
    eval_environment();
    const Row rows[] = {
        {"f: does [1]", "f: 1", true},
        {"f: does [1]", "do [f: 2]", true},
        {"f: does [1]", "set 'f 1", true},
        {"f: does [1]", "set [f g] [1 2]", true},
        {"f: does [1]", "unset 'f", true},
        {"f: does [1]", "unset [f]", true},
        {"f: does [1]", "c: [f: 3] bind c make object! [y: 0] do c", true},
        {"f: [1 2]", "forall f []", true},  // the series value moves on in its slot
        // Other slots: another global, a local, an object field named alike.
        {"f: does [1]", "g: 5 set 'g 6", false},
        {"f: does [1]", "h: func [f] [f: 5] h 1", false},
        {"f: does [1]", "c: [f: 3] bind c make object! [f: 0] do c", false},
        {"f: does [1]", "o: make object! [f: 1] o/f: 2", false},
    };
    for (const Row& r : rows) {
        run(r.setup);
        watch::watch_slot(global_index("f"));
        const uint64_t epoch = watch::g_epoch;
        const uint64_t writes = watch::counters().slot_writes;
        run(r.change);
        EXPECT_EQ(watch::counters().slot_writes != writes, r.counts) << r.change;
        if (r.counts) {
            EXPECT_GT(watch::g_epoch, epoch) << r.change;
        }
    }
}

TEST(Watch, TheRuntimeWritersOfAGlobalSlotAreWatched) {
    eval_environment();
    run("f: does [1]");
    const int32_t index = global_index("f");
    watch::watch_slot(index);
    const NodeId global = context::global();
    const struct {
        const char* what;
        void (*write)(NodeId global, int32_t index);
    } writers[] = {
        {"set_global", [](NodeId, int32_t) { context::set_global(sym("f"), none::shared()); }},
        {"put_word",
         [](NodeId global, int32_t index) {
             const Cell word{static_cast<uint32_t>(TypeId::Word), global, sym("f"),
                             static_cast<uint32_t>(index)};
             context::put_word(global, &word, none::shared());
         }},
        {"set_in",
         [](NodeId global, int32_t index) {
             Cell word{static_cast<uint32_t>(TypeId::Word), global, sym("f"),
                       static_cast<uint32_t>(index)};
             context::set_int(&word, 7);
         }},
        {"set_from_top",
         [](NodeId global, int32_t index) {
             stack::push(none::shared());
             context::set_from_top(global, index);
         }},
        {"set_from_top_keep_old",
         [](NodeId global, int32_t index) {
             stack::push(none::shared());
             context::set_from_top_keep_old(global, index);
         }},
        {"write_at",
         [](NodeId global, int32_t index) { *context::write_at(global, index) = *none::shared(); }},
    };
    for (const auto& w : writers) {
        StackScope scope;
        const uint64_t writes = watch::counters().slot_writes;
        w.write(global, index);
        EXPECT_GT(watch::counters().slot_writes, writes) << w.what;
    }
}

TEST(Watch, WatchingChangesNoMemoryStatistic) {
    eval_environment();
    run("b: [1 2 3]");
    const uint64_t in_use = memory::bytes_in_use();
    const uint64_t tracked = memory::tracked_bytes();
    watch::watch_series(global_series("b"));
    watch::watch_slot(context::kGlobalSlots - 1);
    EXPECT_EQ(memory::bytes_in_use(), in_use);
    EXPECT_EQ(memory::tracked_bytes(), tracked);
}

}  // namespace
}  // namespace nuv::test
