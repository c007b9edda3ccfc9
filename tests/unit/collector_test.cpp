// The collector: what a cycle keeps (through globals, roots, objects, functions, errors, paths,
// bound words, owners), what it reclaims (nodes, big blocks, frames, registry slots, ownership
// entries), compaction moving buffers without changing what they hold, and the recycle native.
#include "runtime/collector.h"

#include <string>
#include <vector>

#include "runtime/datatypes/handle.h"
#include "runtime/handles.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/roots.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

using memory::buf;

// A new string! on the argument stack holding the text.
Cell* push_text(const std::string& text) {
    Cell* cell = stack::push(none::shared());
    string::load(reinterpret_cast<const uint8_t*>(text.data()), text.size(), cell, string::kUtf8);
    return cell;
}

SymId sym(const char* name) { return symbol::make_cstr(name); }

// What a test makes is held only where the test puts it: collect() runs a cycle as one runs
// between the interpreter's expressions, with nothing made since construction held otherwise.
struct Made {
    collector::FreshScope fresh;
    void collect() const {
        fresh.release();
        collector::collect();
    }
};

size_t count_frames() {
    size_t n = 0;
    for (auto* f = memory::record().first_frame; f; f = f->next) n++;
    return n;
}

size_t count_big() {
    size_t n = 0;
    for (auto* b = memory::record().first_big; b; b = b->next) n++;
    return n;
}

TEST(Collector, AGlobalWordKeepsItsSeriesAndAnUnreachedNodeIsFreed) {
    eval_environment();
    StackScope scope;
    Made made;
    const NodeId kept = cell::node(push_text("kept text"));
    context::set_global(sym("collector-kept"), stack::top());
    const NodeId dropped = cell::node(block::push_new(4));
    const NodeId dropped_text = cell::node(push_text("dropped text"));
    stack::drop(3);
    made.collect();
    EXPECT_TRUE(memory::is_linked(kept));
    EXPECT_EQ(string::to_std_utf8(context::global_slot(sym("collector-kept"))), "kept text");
    for (NodeId n : {dropped, dropped_text}) {
        EXPECT_FALSE(memory::is_linked(n)) << n;
        EXPECT_TRUE(memory::is_free(n)) << n;
    }
    context::set_global(sym("collector-kept"), none::shared());
}

TEST(Collector, CompactionMovesLiveBuffersAndKeepsTheirUnits) {
    eval_environment();
    StackScope scope;
    Made made;
    // Live texts between dead ones: every live buffer after a dead one slides down.
    std::vector<NodeId> live;
    for (int i = 0; i < 50; i++) {
        string::make_at(stack::push(none::shared()), 4000);
        stack::drop(1);
        live.push_back(cell::node(push_text("text " + std::to_string(i) + " \u00e9\u4e2d")));
    }
    std::vector<uintptr_t> before;
    for (NodeId n : live) before.push_back(reinterpret_cast<uintptr_t>(buf(n)));
    const uint64_t moved = collector::stats().bytes_moved;
    made.collect();
    EXPECT_GT(collector::stats().bytes_moved, moved);
    int moves = 0;
    for (size_t i = 0; i < live.size(); i++) {
        moves += reinterpret_cast<uintptr_t>(buf(live[i])) != before[i];
        const Cell text{static_cast<uint32_t>(TypeId::String), 0, live[i], 0};
        EXPECT_EQ(string::to_std_utf8(&text), "text " + std::to_string(i) + " \u00e9\u4e2d");
        EXPECT_FALSE(buf(live[i])->flags & memory::kMark) << "marks are cleared";
    }
    EXPECT_GT(moves, 0);
}

// A buffer left behind by a move (node 0, not in use) is only dropped: no node is freed for it.
TEST(Collector, AbandonedBuffersFreeNoNode) {
    StackScope scope;
    Made made;
    Cell* text = push_text("grown");
    const NodeId node = cell::node(text);
    for (int i = 0; i < 6; i++) memory::expand_series(node, 0);  // each leaves a buffer behind
    const uintptr_t slot0 = memory::g_node_slots[0];
    made.collect();
    EXPECT_TRUE(memory::is_linked(node));
    EXPECT_EQ(string::to_std_utf8(text), "grown");
    EXPECT_EQ(memory::g_node_slots[0], slot0);
    EXPECT_FALSE(memory::is_free(node));
}

TEST(Collector, ScopedRootsKeepValuesHeldOutsideTheStack) {
    StackScope scope;
    Made made;
    const Cell held = *push_text("rooted");
    stack::drop(1);
    {
        collector::Root keep{&held};
        made.collect();
        EXPECT_TRUE(memory::is_linked(cell::node(&held)));
        EXPECT_EQ(string::to_std_utf8(&held), "rooted");
    }
    EXPECT_EQ(collector::Root::innermost(), nullptr);
    made.collect();
    EXPECT_FALSE(memory::is_linked(cell::node(&held)));
}

// What C++ code has just made lives until the innermost fresh scope lets it go; an outer
// scope's values outlive an inner release.
TEST(Collector, FreshNodesLiveUntilTheirScopeReleasesThem) {
    StackScope scope;
    collector::FreshScope outer;
    const Cell first = *push_text("outer");
    stack::drop(1);
    NodeId inner_node = 0;
    {
        collector::FreshScope inner;
        const Cell second = *push_text("inner");
        stack::drop(1);
        inner_node = cell::node(&second);
        collector::collect();
        EXPECT_EQ(string::to_std_utf8(&second), "inner");
        inner.release();
        collector::collect();
        EXPECT_FALSE(memory::is_linked(inner_node));
        EXPECT_EQ(string::to_std_utf8(&first), "outer");
    }
    outer.release();
    collector::collect();
    EXPECT_FALSE(memory::is_linked(cell::node(&first)));
}

// Reserved stack cells may hold anything until written: ids naming no node are passed over.
TEST(Collector, StaleIdsOnTheStackArePassedOver) {
    StackScope scope;
    Made made;
    const NodeId freed = cell::node(push_text("gone"));
    stack::drop(1);
    made.collect();
    ASSERT_FALSE(memory::is_linked(freed));
    const Cell stale[] = {{static_cast<uint32_t>(TypeId::Block), 0, 0x7FFFFFF0, 0},
                          {static_cast<uint32_t>(TypeId::Object), freed, 0, freed},
                          {static_cast<uint32_t>(TypeId::Context), freed, freed, 0}};
    for (const Cell& c : stale) stack::push(&c);
    const NodeId kept = cell::node(push_text("kept"));
    made.collect();
    EXPECT_TRUE(memory::is_linked(kept));
}

TEST(Collector, CyclesAreKeptWhileReachedAndFreedAfter) {
    eval_environment();
    StackScope scope;
    Made made;
    Cell* b = block::push_new(2);
    block::append_cell(b, b);
    const NodeId node = cell::node(b);
    context::set_global(sym("collector-cycle"), b);
    stack::drop(1);
    made.collect();
    ASSERT_TRUE(memory::is_linked(node));
    EXPECT_EQ(cell::node(block::raw_cells(node)), node);
    context::set_global(sym("collector-cycle"), none::shared());
    made.collect();
    EXPECT_FALSE(memory::is_linked(node));
}

TEST(Collector, DeadBigSeriesAndEmptyFramesGoBackToTheOs) {
    StackScope scope;
    Made made;
    made.collect();
    const size_t frames = count_frames();
    const size_t bigs = count_big();
    const NodeId big_kept = cell::node(block::push_new(200000));  // beyond the big threshold
    block::push_new(200000);
    stack::drop(1);
    for (int i = 0; i < 30; i++) {  // about 6 MB of frame buffers, all dead
        string::make_at(stack::push(none::shared()), 200000);
        stack::drop(1);
    }
    EXPECT_GT(count_frames(), frames);
    EXPECT_EQ(count_big(), bigs + 2);
    made.collect();
    EXPECT_LE(count_frames(), frames + 1);  // at most one spare
    EXPECT_EQ(count_big(), bigs + 1);
    EXPECT_TRUE(memory::is_linked(big_kept));
    EXPECT_TRUE(buf(big_kept)->flags & memory::kBig);
}

size_t frame_bytes() {
    size_t n = 0;
    for (auto* f = memory::record().first_frame; f; f = f->next) n += f->end - f->start();
    return n;
}

TEST(Collector, AllocationPressureCollectsOnlyWhileTheSwitchIsOn) {
    StackScope scope;
    Made made;
    const bool was = roots::collector_on();
    auto make_garbage = [&made] {  // about 4 MB of dead text, dropped as the interpreter drops it
        for (int i = 0; i < 40; i++) {
            string::make_at(stack::push(none::shared()), 100000);
            stack::drop(1);
            made.fresh.release();
        }
    };
    roots::set_collector_on(false);
    uint64_t cycles = collector::stats().collections;
    make_garbage();
    EXPECT_EQ(collector::stats().collections, cycles);
    const size_t grown = frame_bytes();
    roots::set_collector_on(true);
    cycles = collector::stats().collections;
    make_garbage();
    EXPECT_GT(collector::stats().collections, cycles);
    EXPECT_LE(frame_bytes(), grown);
    roots::set_collector_on(was);
}

const Cell* g_hooked = nullptr;
void mark_hooked() { collector::mark_cell(g_hooked); }

TEST(Collector, MarkHooksKeepWhatTheirModuleHolds) {
    StackScope scope;
    Made made;
    const Cell held = *push_text("hooked");
    stack::drop(1);
    g_hooked = &held;
    collector::add_mark_hook(mark_hooked);
    made.collect();
    EXPECT_EQ(string::to_std_utf8(&held), "hooked");
    collector::remove_mark_hook(mark_hooked);
    made.collect();
    EXPECT_FALSE(memory::is_linked(cell::node(&held)));
}

std::vector<void*> g_released;
void record_release(void* pointer) { g_released.push_back(pointer); }

TEST(Collector, AnUnreferencedHandleIsReleasedOnce) {
    eval_environment();
    static const int32_t kind = handles::register_kind("collector-test", record_release);
    g_released.clear();
    StackScope scope;
    Made made;
    void* resource = &g_released;
    Cell* h = handle::push(7, handle::Kind::Font);
    h->w3 = static_cast<uint32_t>(handles::alloc(resource, static_cast<uint32_t>(kind)));
    context::set_global(sym("collector-handle"), h);
    stack::drop(1);
    made.collect();
    EXPECT_TRUE(g_released.empty()) << "a live handle keeps its slot";
    context::set_global(sym("collector-handle"), none::shared());
    made.collect();
    made.collect();
    EXPECT_EQ(g_released, std::vector<void*>{resource});
}

int32_t owned_entries() { return static_cast<int32_t>(hashtable::record(ownership::table())->count); }

// An entry lives as long as its series: the series keeps its owner (whose handler still runs),
// and a dead series' entry leaves the table.
TEST(Collector, OwnershipEntriesFollowTheirSeries) {
    eval_environment();
    Made made;
    made.collect();
    const int32_t entries = owned_entries();
    check_cases({
        {"collector-seen: copy [] o: make object! [list: copy [] on-deep-change*: func [o w t a n i c] "
         "[append collector-seen a]] collector-keep: o/list o: none recycle append collector-keep 1 "
         "collector-seen",
         "[append appended]"},
    });
    EXPECT_GT(owned_entries(), entries);
    eval_text("collector-keep: none collector-seen: none");
    made.collect();
    EXPECT_EQ(owned_entries(), entries);
}

TEST(Collector, ValuesKeepWhatTheyReferTo) {
    check_cases({
        {"o: make object! [a: copy \"text\" b: reduce [1 copy \"two\"]] recycle reduce [o/a o/b]",
         "[\"text\" [1 \"two\"]]"},
        {"f: func [a /r b] [reduce [a copy \"body\"]] m: mold :f recycle reduce [f 1 m = mold :f]",
         "[[1 \"body\"] true]"},
        {"mk: func [] [make object! [n: 0 bump: func [] [n: n + 1]]] c: mk mk: none recycle c/bump "
         "c/bump",
         "2"},
        {"add2: func [a b] [a + b] ++: make op! :add2 add2: none recycle 1 ++ 2", "3"},
        {"e: try [1 / 0] recycle e/id", "zero-divide"},
        {"p: to path! reduce ['a copy \"b\" 'c] recycle p", "a/\"b\"/c"},
        {"o: make object! [x: copy \"in object\"] w: in o 'x o: none recycle get w", "\"in object\""},
        {"b: copy [] append/only b b recycle same? b b/1", "true"},
        {"o: make object! [me: none] o/me: o recycle same? o o/me/me", "true"},
    });
}

// A collection in the middle of a native's work keeps what the native holds.
TEST(Collector, ACollectionDuringEvaluationKeepsPartialResults) {
    check_cases({
        {"f: func [s] [recycle append copy s \"!\"] f \"hi\"", "\"hi!\""},
        {"reduce [copy \"a\" do [recycle \"x\"] copy \"b\"]", "[\"a\" \"x\" \"b\"]"},
        {"compose [(copy \"a\") (recycle \"x\")]", "[\"a\" \"x\"]"},
        {"out: copy [] foreach s reduce [copy \"a\" copy \"b\"] [recycle append out s] out",
         "[\"a\" \"b\"]"},
        {"parse-it: func [b] [recycle b] parse-it reduce [copy \"p\"]", "[\"p\"]"},
        // Values taken out of their series while the native still works with them.
        {"b: reduce [copy \"a\" copy \"b\" copy \"c\"] reduce [take b take/last b b]",
         "[\"a\" \"c\" [\"b\"]]"},
        {"b: reduce [reduce [copy \"q\"]] poke b 1 copy \"r\" b", "[\"r\"]"},
        {"seen: none o: make object! [a: copy \"x\" on-change*: func [w old new] [seen: old]] "
         "o/a: copy \"y\" recycle reduce [seen o/a]",
         "[\"x\" \"y\"]"},
        {"sort/compare reduce [copy \"b\" copy \"a\"] func [x y] [recycle x < y]", "[\"a\" \"b\"]"},
        {"union reduce [copy \"a\"] reduce [copy \"b\"]", "[\"a\" \"b\"]"},
    });
}

TEST(Collector, AReservedStackCellHoldsNoDeadValue) {
    eval_environment();
    StackScope scope;
    Made made;
    // A block reached only through another, and above the top a dead string! cell whose node
    // id the inner block has since taken: reserving that cell must not mark the block as text.
    Cell* outer = block::push_new(1);
    Cell* inner = block::push_new(1);
    const NodeId text = cell::node(push_text("inside"));
    block::append_cell(inner, stack::top());
    block::append_cell(outer, inner);
    const NodeId inner_node = cell::node(inner);
    stack::drop(2);
    *stack::g_args.top = Cell{static_cast<uint32_t>(TypeId::String), 0, inner_node, 0};
    stack::reserve();
    made.collect();
    ASSERT_TRUE(memory::is_linked(text));
    const Cell item = block::at(inner_node, 0);
    EXPECT_EQ(string::to_std_utf8(&item), "inside");
}

TEST(Collector, RecycleSwitchesAndReportsMemoryInUse) {
    const bool was = roots::collector_on();
    check_cases({
        {"type? recycle/off", "unset!"},
        {"type? recycle", "integer!"},
    });
    EXPECT_FALSE(roots::collector_on());
    check_cases({{"type? recycle/on", "unset!"}});
    EXPECT_TRUE(roots::collector_on());
    roots::set_collector_on(was);
    // Dropped blocks are reclaimed: memory in use comes back to where it was.
    check_cases({{"start: recycle loop 100 [make block! 10000] (recycle - start) < 10000", "true"}});
    eval_environment();
    Made made;
    made.collect();
    const uint64_t in_use = memory::bytes_in_use();
    made.collect();
    EXPECT_EQ(memory::bytes_in_use(), in_use) << "a second cycle finds nothing more";
    EXPECT_EQ(collector::stats().nodes_freed_last, 0u);
}

}  // namespace
}  // namespace nuv::test
