// The collector: precise mark-compact over the series memory. Marking starts from the roots
// (the root block, both stacks, the global context, the symbol table, the cycle stack, the
// last raise's arguments, scoped roots, fresh nodes, and the hooks modules register: the lexer's
// runs among them) and
// follows cells through each datatype's mark hook, on one explicit work stack. Dead nodes go
// back to their frames, dead big blocks to the OS, live frame buffers slide together; node ids
// never change.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace nuv::collector {

// ---- For mark hooks (valid only while a collection marks) ----

// Marks the node's buffer; a buffer of cells is queued, so its cells are marked in turn.
// Node 0 is ignored.
void mark_series(NodeId node);
// Marks only the node's buffer (text, bytes): its content holds no references.
void mark_bytes(NodeId node);
// Marks a hash table: its record and arrays, the block it indexes (kinds 0-2) and the cells of
// its entries (kind 3). The ownership table's entries are held weakly (see collect).
void mark_table(NodeId table);
// Marks what the value refers to, through its type's hook.
void mark_cell(const Cell* value);

// ---- Roots ----

// Keeps `count` cells from `cells` (and what they refer to) alive while it exists. For values
// that C++ code holds outside the argument stack and rooted blocks across an allocation. Roots
// nest: each is released in the reverse order of its making, as scopes end.
class Root {
  public:
    explicit Root(const Cell* cells, size_t count = 1);
    ~Root();
    Root(const Root&) = delete;
    Root& operator=(const Root&) = delete;

    const Cell* cells() const { return cells_; }
    size_t count() const { return count_; }
    const Root* outer() const { return outer_; }
    static const Root* innermost();

  private:
    const Cell* cells_;
    size_t count_;
    Root* outer_;
};

// Nodes made while a scope is the innermost stay roots until it releases them or ends (see
// memory's fresh nodes). Code that keeps its values on the argument stack or in rooted blocks
// releases wherever nothing it made since the scope began is held elsewhere: the interpreter,
// between the expressions of a block. Scopes nest; an outer scope's nodes stay recorded.
class FreshScope {
  public:
    FreshScope() : base_(memory::fresh_count()) {}
    // A scope whose nodes are those made since the count was `base`.
    explicit FreshScope(size_t base) : base_(base) {}
    ~FreshScope() { memory::drop_fresh(base_); }
    FreshScope(const FreshScope&) = delete;
    FreshScope& operator=(const FreshScope&) = delete;
    void release() const { memory::drop_fresh(base_); }

  private:
    size_t base_;
};

// A function called during every marking, for roots a module keeps outside cells. At most
// kMaxHooks; adding one more ends the process (a build fault). Removing an absent one is
// ignored.
using MarkHook = void (*)();
inline constexpr int32_t kMaxHooks = 100;
void add_mark_hook(MarkHook hook);
void remove_mark_hook(MarkHook hook);
// A function called during every collection once marking is done and before anything is freed,
// for modules that hold node ids weakly: a node that `is_marked` denies is about to be freed
// and its id may be reused. No allocation.
void add_purge_hook(MarkHook hook);
bool is_marked(NodeId node);

// ---- Collecting ----

struct Stats {
    uint64_t collections;    // cycles run
    uint64_t nodes_freed;    // over all cycles
    uint64_t bytes_freed;    // frame, big and external bytes given up, headers included
    uint64_t bytes_moved;    // bytes slid by compaction
    uint64_t nodes_freed_last;
    uint64_t bytes_freed_last;
};
const Stats& stats();

// One full cycle, whatever the collector switch says: mark, drop the ownership entries of dead
// series, free dead nodes and blocks, compact the frames, then run the release callbacks of
// unmarked registry slots. Every buffer may move; no buffer pointer taken before survives it.
// Allocates no series. A call made while a cycle runs does nothing.
void collect();
// True while a cycle runs.
bool is_collecting();

// The `recycle` native: /on and /off set the collector switch (result unset!); without them a
// full cycle, answering the bytes then in use as `stats` does.
void recycle(bool check, const int32_t* refinements);

}  // namespace nuv::collector
