// Change watching for compiled code: one global epoch that moves on every change a compiled unit
// may rest on. A unit covers block-family series (its code) and speculates on global value slots
// (the callables its words named); it compares the epoch at entry and after every call out, and
// re-validates against the change stamps of its series and the values of its slots when it moved.
// Rule: every write into the cells of a block-family series goes through `series_written` (cell
// access is const elsewhere), every write of a global value slot through `slot_written`.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace nuv::watch {

// Buffer flag: some compiled unit covers the series. Not copied to copies of the series.
inline constexpr uint32_t kWatched = 0x00080000;

// The epoch. Moves on a write to a watched series, a write to a watched global slot, the
// tracing switch turning on, and every collection.
extern uint64_t g_epoch;
inline void move() { ++g_epoch; }

// ---- Series ----

// Flags the series as watched; its stamp counts the writes into its cells from now on.
void watch_series(NodeId node);
// Writes seen into the watched series' cells (0 for a series never written since watched).
uint32_t stamp(NodeId node);
[[gnu::noinline]] void note_series_write(NodeId node);
// The barrier: called before (or as) any write into the cells of a block-family series, and
// by any change of its length or head data (insert, remove, clear, sort, bind). No allocation.
inline void series_written(NodeId node) {
    if (memory::buf(node)->flags & kWatched) [[unlikely]] note_series_write(node);
}

// ---- Global value slots ----

// A bit per global slot index some unit speculates on.
extern uint64_t* g_slot_bits;
extern uint32_t g_slot_words;  // 64-bit words in g_slot_bits
void watch_slot(int32_t index);
[[gnu::noinline]] void note_slot_write();
// The watched write: called with the global context's value index before any write into it.
inline void slot_written(int32_t index) {
    const auto i = static_cast<uint32_t>(index);
    if (i / 64 < g_slot_words && ((g_slot_bits[i / 64] >> (i % 64)) & 1)) [[unlikely]]
        note_slot_write();
}

// Drops the stamps of series the collector found dead (their ids may be reused); called by the
// collector after marking, with its mark test. No allocation.
void purge(bool (*is_marked)(NodeId));
// Forgets every watch (a runtime made again).
void reset();

// Counters for tests: writes seen into watched series and watched slots.
struct Counters {
    uint64_t series_writes;
    uint64_t slot_writes;
};
const Counters& counters();

}  // namespace nuv::watch
