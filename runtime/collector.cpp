// The collector's cycle: marking on one work stack of cell series, the weak ownership entries,
// the memory manager's node sweep and frame compaction, then the registry sweep.
// Marking trusts no node id it meets: cells on the argument stack may be reserved and not yet
// written, so an id that names no linked node is passed over, and a reused one is marked by
// what its buffer holds now (cells are scanned only in buffers of cells). Marking too much is
// harmless; marking too little is not.
#include "runtime/collector.h"

#include <cstring>

#include "runtime/cycles.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/frames.h"
#include "runtime/handles.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/watch.h"

namespace nuv::collector {

namespace {

using memory::SeriesBuf;
using T = TypeId;

constexpr uint32_t kCellUnit = sizeof(Cell);
constexpr size_t kFirstWorkRoom = 4096;
// Kinds 3-4 of a hash table: the header of a live entry's key cell (the key in word 1).
constexpr uint32_t kLiveEntry = 2;
// A hash! index's duplicate-list store: an item with this bit is a free slot, not a list node.
constexpr uint32_t kFreeListSlot = 0x80000000;

// Cell series whose cells are still to be marked.
struct Work {
    NodeId* items;
    size_t count;
    size_t room;
};
Work g_work{};
bool g_collecting = false;
Stats g_stats{};
Root* g_innermost_root = nullptr;
MarkHook g_hooks[kMaxHooks]{};
int32_t g_hook_count = 0;
MarkHook g_purge_hooks[kMaxHooks]{};
int32_t g_purge_hook_count = 0;

void push_work(NodeId node) {
    if (g_work.count == g_work.room) {
        const size_t room = g_work.room ? 2 * g_work.room : kFirstWorkRoom;
        auto* items = static_cast<NodeId*>(memory::tracked_alloc(room * sizeof(NodeId)));
        if (g_work.items) {
            std::memcpy(items, g_work.items, g_work.count * sizeof(NodeId));
            memory::tracked_free(g_work.items);
        }
        g_work.items = items;
        g_work.room = room;
    }
    g_work.items[g_work.count++] = node;
}

// The node's buffer when this call set its mark, else nullptr (already marked, or no node).
SeriesBuf* mark_buffer(NodeId node) {
    if (!memory::is_linked(node)) return nullptr;
    SeriesBuf* b = memory::buf(node);
    if (b->flags & memory::kMark) return nullptr;
    b->flags |= memory::kMark;
    return b;
}


void drain() {
    while (g_work.count) {
        SeriesBuf* b = memory::buf(g_work.items[--g_work.count]);
        const auto* c = reinterpret_cast<const Cell*>(b->offset_ptr());
        const auto* end = reinterpret_cast<const Cell*>(b->tail_ptr());
        for (; c < end; c++) mark_cell(c);
    }
}

// ---- Types whose module is not built yet: the layouts their values already have ----

enum class Layout : uint8_t {
    None,
    Series,       // the node in word 2
    Text,         // the node in word 2, the conversion cache in word 3
    Indexed,      // the block in word 2, its hash table in word 3
    ObjectLike,   // the context in word 1, the change-notice record in word 3
    Event,        // a series in word 2 when header flag 0x1000 is set
};
constexpr uint32_t kEventSeriesFlag = 0x1000;

struct Layouts {
    Layout of[256]{};
};
consteval Layouts build_layouts() {
    Layouts l;
    auto set = [&l](T t, Layout layout) { l.of[type_index(t)] = layout; };
    set(T::Image, Layout::Series);
    for (T t : {T::File, T::Url, T::Tag, T::Email, T::Ref}) set(t, Layout::Text);
    set(T::Port, Layout::ObjectLike);
    set(T::Event, Layout::Event);
    return l;
}
constexpr Layouts kLayouts = build_layouts();

void mark_by_layout(const Cell* value) {
    switch (kLayouts.of[value->header & cell::kTypeMask]) {
    case Layout::None: return;
    case Layout::Series: mark_series(value->w2); return;
    case Layout::Text:
        mark_bytes(value->w2);
        mark_bytes(value->w3);
        return;
    case Layout::Indexed:
        mark_series(value->w2);
        mark_table(value->w3);
        return;
    case Layout::ObjectLike:
        mark_series(value->w1);
        mark_series(value->w3);
        return;
    case Layout::Event:
        if (value->header & kEventSeriesFlag) mark_series(value->w2);
        return;
    }
}

// ---- Hash tables ----

void mark_list_store(NodeId store) {
    if (!memory::is_linked(store)) return;
    mark_bytes(store);
    SeriesBuf* b = memory::buf(store);
    const auto* items = reinterpret_cast<const uint32_t*>(b->offset_ptr());
    for (size_t n = 1, count = b->used() / sizeof(uint32_t); n < count; n++)
        if (!(items[n] & kFreeListSlot)) mark_bytes(items[n]);
}

// Calls `each` with the key cell of every live entry of a kind 3-4 table.
template <class Each>
void each_entry(const hashtable::Record* r, Each each) {
    if (!memory::is_linked(r->values) || r->width < 2 * sizeof(Cell)) return;
    SeriesBuf* b = memory::buf(r->values);
    for (size_t at = 0; at + r->width <= b->used(); at += r->width) {
        auto* key = reinterpret_cast<Cell*>(b->offset_ptr() + at);
        if (key->header == kLiveEntry) each(key, r->width / sizeof(Cell) - 1);
    }
}

const hashtable::Record* table_record(NodeId table) {
    if (!memory::is_linked(table)) return nullptr;
    SeriesBuf* b = memory::buf(table);
    if (b->used() < sizeof(hashtable::Record)) return nullptr;
    return reinterpret_cast<const hashtable::Record*>(b->offset_ptr());
}

// ---- Roots ----

void mark_roots() {
    mark_cell(roots::root());
    mark_table(symbol::table());
    for (const Cell* c = stack::g_args.bottom; c < stack::g_args.top; c++) mark_cell(c);
    frames::gc_mark(mark_series, mark_series);
    mark_series(context::global());
    cycles::gc_mark(mark_series);
    for (int i = 0; i < raised().argc; i++) mark_cell(&raised().args[i]);
    for (const Root* r = g_innermost_root; r; r = r->outer())
        for (size_t i = 0; i < r->count(); i++) mark_cell(r->cells() + i);
    for (size_t i = 0, n = memory::fresh_count(); i < n; i++) mark_series(memory::fresh_nodes()[i]);
    for (int32_t i = 0; i < g_hook_count; i++)
        if (g_hooks[i]) g_hooks[i]();
    drain();
}

// The ownership table holds its entries weakly: an entry's owner and field word live while its
// series does, and the entries of dead series leave the table before their nodes are reused.
void mark_owned() {
    const NodeId table = ownership::table();
    const hashtable::Record* r = table_record(table);
    if (!r) return;
    mark_table(table);
    drain();
    size_t reached = 0;
    for (;;) {
        size_t now = 0;
        each_entry(r, [&](const Cell* key, size_t cells) {
            if (!is_marked(key->w1)) return;
            now++;
            for (size_t i = 1; i <= cells; i++) mark_cell(key + i);
        });
        drain();
        if (now == reached) break;
        reached = now;
    }
}

void purge_owned() {
    const NodeId table = ownership::table();
    const hashtable::Record* r = table_record(table);
    if (!r) return;
    each_entry(r, [&](Cell* key, size_t cells) {
        if (is_marked(key->w1)) return;
        for (size_t i = 1; i <= cells; i++) unset::set(key + i);
        hashtable::remove_entry(table, key->w1);
    });
}

void release_work() {
    if (g_work.items) memory::tracked_free(g_work.items);
    g_work = Work{};
}

}  // namespace

// ---- Marking ----

bool is_marked(NodeId node) {
    return memory::is_linked(node) && (memory::buf(node)->flags & memory::kMark);
}

void mark_series(NodeId node) {
    SeriesBuf* b = mark_buffer(node);
    if (b && b->unit() == kCellUnit && b->used() != 0) push_work(node);
}

void mark_bytes(NodeId node) { mark_buffer(node); }

void mark_table(NodeId table) {
    const hashtable::Record* r = table_record(table);
    if (!r) return;
    // Not skipped when already marked: the record's arrays must be marked whoever reached it.
    mark_bytes(table);
    mark_bytes(r->flags);
    mark_bytes(r->keys);
    switch (static_cast<hashtable::Kind>(r->kind)) {
    case hashtable::Kind::Hash:
        mark_bytes(r->positions);
        mark_list_store(r->lists);
        mark_series(r->values);
        return;
    case hashtable::Kind::Map:
        mark_bytes(r->hashes);
        mark_series(r->values);
        return;
    case hashtable::Kind::Symbols: mark_series(r->values); return;
    case hashtable::Kind::Generic:
        mark_bytes(r->values);
        each_entry(r, [](const Cell* key, size_t cells) {
            mark_series(key->w1);
            for (size_t i = 1; i <= cells; i++) mark_cell(key + i);
        });
        return;
    case hashtable::Kind::Ownership: mark_bytes(r->values); return;
    }
}

void mark_cell(const Cell* value) {
    const uint32_t t = value->header & cell::kTypeMask;
    if (MarkFn fn = registry::g_rows[t < kTypeSlots ? t : 0].mark) fn(value);
    else mark_by_layout(value);
}

// ---- Roots ----

Root::Root(const Cell* cells, size_t count)
    : cells_(cells), count_(count), outer_(g_innermost_root) {
    g_innermost_root = this;
}

Root::~Root() { g_innermost_root = outer_; }

const Root* Root::innermost() { return g_innermost_root; }

void add_mark_hook(MarkHook hook) {
    if (g_hook_count == kMaxHooks) fatal("too many collector mark hooks", 1);
    g_hooks[g_hook_count++] = hook;
}

void add_purge_hook(MarkHook hook) {
    if (g_purge_hook_count == kMaxHooks) fatal("too many collector purge hooks", 1);
    g_purge_hooks[g_purge_hook_count++] = hook;
}

void remove_mark_hook(MarkHook hook) {
    for (int32_t i = 0; i < g_hook_count; i++)
        if (g_hooks[i] == hook) g_hooks[i] = nullptr;
}

// ---- Collecting ----

const Stats& stats() { return g_stats; }
bool is_collecting() { return g_collecting; }

void collect() {
    if (g_collecting) return;
    g_collecting = true;
    struct Finish {
        ~Finish() {
            release_work();
            g_collecting = false;
        }
    } finish;
    mark_roots();
    mark_owned();
    purge_owned();
    watch::purge(is_marked);
    for (int32_t i = 0; i < g_purge_hook_count; i++) g_purge_hooks[i]();
    watch::move();
    const memory::Reclaimed reclaimed = memory::sweep_dead_nodes();
    memory::sweep_big_series(nullptr);
    const memory::Compacted compacted = memory::compact_frames();
    memory::sweep_node_frames();
    memory::count_collection();
    g_stats.collections++;
    g_stats.nodes_freed_last = reclaimed.nodes;
    g_stats.bytes_freed_last = reclaimed.bytes + compacted.freed;
    g_stats.nodes_freed += g_stats.nodes_freed_last;
    g_stats.bytes_freed += g_stats.bytes_freed_last;
    g_stats.bytes_moved += compacted.moved;
    // Last, when every buffer mark is clear again: a release callback that raises or allocates
    // finds the memory consistent (and starts no cycle of its own).
    handles::sweep();
}

// ---- The recycle native ----

void recycle(bool, const int32_t* refinements) {
    const bool on = refinements[0] >= 0;
    const bool off = refinements[1] >= 0;
    if (on || off) {
        if (on) roots::set_collector_on(true);
        if (off) roots::set_collector_on(false);
        *stack::arg(0) = *unset::shared();
        return;
    }
    collect();
    memory::set_byte_count(stack::arg(0), memory::bytes_in_use());
}

}  // namespace nuv::collector
