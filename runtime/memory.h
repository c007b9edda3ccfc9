// The memory manager: node table, series frames, big-series blocks and series buffers.
// A value never holds a buffer address: it holds a node id, and the node table slot holds the
// buffer's current address, so buffers can move. Any allocation may move every buffer in a
// frame (the collector, or the relocation stress mode): re-read buffers through their nodes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::memory {

// Series buffer header (32 bytes, so the data that follows is 16-byte aligned), then the data.
// `offset` and `tail` are byte positions from the data start:
// 0 <= offset <= tail <= size.
struct SeriesBuf {
    uint32_t flags;
    NodeId node;    // back-pointer; 0 on a dead buffer
    size_t size;    // data size in bytes, a multiple of 16
    size_t offset;  // first unit in use
    size_t tail;    // one past the last unit in use

    uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
    uint8_t* offset_ptr() { return data() + offset; }
    uint8_t* tail_ptr() { return data() + tail; }
    uint8_t* end_ptr() { return data() + size; }
    uint32_t unit() const { return flags & 0x1F; }
    size_t used() const { return tail - offset; }
    Cell* cells() { return reinterpret_cast<Cell*>(data()); }
};
static_assert(sizeof(SeriesBuf) == 32);

// Buffer flags.
inline constexpr uint32_t kUnitMask = 0x1F;
inline constexpr uint32_t kInUse = 0x80000000;
inline constexpr uint32_t kAllocated = 0x20000000;  // set on every buffer the allocator makes
inline constexpr uint32_t kCentred = 0x10000000;
inline constexpr uint32_t kMark = 0x08000000;       // the collector's mark
inline constexpr uint32_t kBig = 0x01000000;        // lives in an OS block of its own
inline constexpr uint32_t kExternal = 0x00100000;   // tracked heap allocation, never moved
// A block of the boot image's code (boot_code.h); a copy never gets it from its source.
inline constexpr uint32_t kBootCode = 0x00200000;
inline constexpr uint32_t kUtf16Loaded = 0x00040000;
inline constexpr uint32_t kOwned = 0x00020000;      // ownership flags (owned, owner)
inline constexpr uint32_t kOwner = 0x00010000;
inline constexpr uint32_t kLocationBits = kCentred | kBig | kExternal;

inline constexpr size_t kHeaderBytes = sizeof(SeriesBuf);
// The big-series threshold counts a 24-byte header, so the boundary between frame buffers and
// big blocks is the same request size on every build.
inline constexpr size_t kBigHeaderAccount = 24;
inline constexpr size_t kFirstFrameSize = 0x100000;  // 1 MB
inline constexpr size_t kBigThreshold = 0x200000;    // 2 MB
inline constexpr size_t kMinFrameRoom = 0xCCCC;
inline constexpr uint32_t kNodeFrameCapacity = 10000;

struct NodeFrame {
    NodeFrame* next;
    NodeFrame* prev;
    uint32_t capacity;
    NodeId free_head;       // first free node id, 0 when none
    uint32_t in_use;
    uint32_t born;          // collection count when the frame was made
    uint32_t last_in_use;   // in-use count at the last sweep
    uint32_t history;       // bit 0: in-use count unchanged since the previous sweep
    bool evacuate;
    NodeId base;            // first node id of the frame's chunk
    uint32_t chunk;         // chunk index in the node table
};

struct SeriesFrame {
    SeriesFrame* next;
    SeriesFrame* prev;
    size_t total;     // data size + header
    uint8_t* free;    // first unused byte
    uint8_t* end;     // one past the last byte
    uint8_t* start() { return reinterpret_cast<uint8_t*>(this) + kFrameHeader; }
    static constexpr size_t kFrameHeader = 48;
};

struct BigBlock {
    BigBlock* next;
    BigBlock* prev;
    size_t requested;
    size_t pad;
    SeriesBuf* buffer() { return reinterpret_cast<SeriesBuf*>(this + 1); }
};
static_assert(sizeof(BigBlock) % 16 == 0);

struct Record {
    size_t os_bytes;  // bytes taken from the OS, each block counted after rounding
    NodeFrame* first_node_frame;
    NodeFrame* last_node_frame;
    NodeFrame* current_node_frame;
    SeriesFrame* first_frame;  // ascending address order
    SeriesFrame* current_frame;
    SeriesFrame* last_frame;
    size_t frame_size;
    size_t next_frame_size;
    size_t big_threshold;
    BigBlock* first_big;
    uint32_t collections;  // collection count (the collector keeps it)
};
const Record& record();

// The node table: slot n holds the address of node n's buffer (0 when not linked).
extern uintptr_t* g_node_slots;

// The buffer of a node. The pointer is valid only until the next allocation.
inline SeriesBuf* buf(NodeId n) { return reinterpret_cast<SeriesBuf*>(g_node_slots[n]); }
inline SeriesBuf* buf_of(const Cell* c) { return buf(cell::node(c)); }

// memory-init: the record, the node table, and the boot image's place. The image is the file
// named by NUV_TEST_BOOT_IMAGE when set (a test's own image), else the one the program carries
// (unpacked first when the word before it is 1); a program built without one has none.
void init();
// The boot image and its length in bytes, or nullptr when there is none. Valid until exit.
const uint8_t* boot_image(size_t* length);
// The image stored in [start, end) behind its word: the bytes after the word, or when the word
// is 1 their LZ77 container unpacked (a tracked allocation); a container that does not unpack
// prints "Error: Nuvbin compressed data corrupted!" and ends the process with status 1.
// nullptr for fewer than 4 bytes.
const uint8_t* image_behind_word(const uint8_t* start, const uint8_t* end, size_t* length);
void release_all();   // every node frame, series frame, big block and the node table back to the OS

// OS pages (mmap); a refusal raises internal no-memory / wrong-mem.
void* os_alloc(size_t size);
void os_free(void* p);

// Tracked heap allocations that live until runtime-exit (tables, registries).
void* tracked_alloc(size_t size);
void tracked_free(void* p);
void tracked_release_all();

// Series allocation. `offset` is a byte offset from the data start, or -1 for centred data.
// Each may run the collector (or the relocation stress) first and so move every buffer.
SeriesBuf* alloc_series_buffer(size_t count, size_t unit, ptrdiff_t offset);
NodeId alloc_series(size_t count, size_t unit, ptrdiff_t offset);
NodeId alloc_series_external(size_t count, size_t unit, ptrdiff_t offset);
NodeId alloc_cells(size_t n);
NodeId alloc_cells_unset(size_t n);
NodeId alloc_bytes(size_t size);
NodeId alloc_units(size_t count, size_t unit);
NodeId alloc_bytes_zeroed(size_t size, uint8_t byte);
void series_set_flags(NodeId node, uint32_t flags);

// Moves the node's series into a new buffer of new_size bytes (0: twice the old size) and
// copies the units in use to the start of the new data. Returns the new buffer.
SeriesBuf* expand_series(NodeId node, size_t new_size);
SeriesBuf* expand_series_zeroed(NodeId node, size_t new_size, uint8_t byte);
// A new byte series holding a copy of the units in use, flags copied but the watch and the
// boot-code mark; returns its node. A buffer keeps every flag when it moves or grows.
NodeId copy_series_buffer(NodeId node);

// Nodes and frames.
NodeId alloc_node();
void free_node(NodeId node);
NodeFrame* node_frame_of(NodeId node);
NodeFrame* new_node_frame(uint32_t capacity);
SeriesFrame* new_series_frame();
BigBlock* big_alloc(size_t bytes);
void big_free(SeriesBuf* buffer);
void sweep_node_frames();
// Frees every big block whose buffer is unmarked (clearing the mark on the others); the
// buffer's node goes to `release`.
void sweep_big_series(void (*release)(NodeId));

// Cell-level series helpers.
// Appends one unset! cell at the tail (doubling a full buffer), through the write barrier; the
// pointer is valid until the next allocation.
Cell* series_alloc_tail(NodeId node);
// Moves the tail on n bytes, expanding a buffer that lacks room; returns the place to write.
uint8_t* series_alloc_tail_bytes(NodeId node, size_t n);
// A new series with the same unit holding count units from unit index start, flags copied but
// where it lives, its ownership, its watch and the boot-code mark.
NodeId series_copy_range(NodeId node, size_t start, size_t count);

// ---- Fresh nodes ----
// Every node an allocation links is recorded until the innermost collector::FreshScope drops
// it; the collector keeps recorded nodes alive, so a value that C++ code has just made and holds
// only in a local survives the allocations (and collections) that follow. No allocation but the
// record's own growth.

// The record: a tracked array that doubles. Written only by memory and drop_fresh.
struct FreshList {
    NodeId* items;
    size_t count;
    size_t room;
};
extern FreshList g_fresh;

inline size_t fresh_count() { return g_fresh.count; }
inline const NodeId* fresh_nodes() { return g_fresh.items; }
// Forgets every node recorded after the first `count`.
inline void drop_fresh(size_t count) {
    if (count < g_fresh.count) g_fresh.count = count;
}

// ---- Collection: the memory side of a cycle, run by the collector after marking ----
// A live buffer is one whose kMark bit is set.

// Whether the node is in use and linked to a buffer (a node that a value may hold).
bool is_linked(NodeId node);
// Whether the node is on its frame's free chain (walks the chain: for tests).
bool is_free(NodeId node);
struct Reclaimed {
    uint64_t nodes;  // nodes returned to their frames' free chains
    uint64_t bytes;  // buffer bytes given up, headers included
};
// Frees every linked node whose buffer is unmarked, and the buffer with it when it lives
// outside the frames (big or external); live external buffers lose their mark. Frame buffers
// are left to compact_frames.
Reclaimed sweep_dead_nodes();
struct Compacted {
    uint64_t moved;  // bytes slid
    uint64_t freed;  // bytes of dead and abandoned buffers dropped
};
// Slides the marked frame buffers down, in address order, into the first place that holds
// them (an earlier frame when it has room), one move per run of adjacent buffers; their nodes
// are pointed at the new places and their marks cleared. Unmarked buffers (dead, or abandoned
// by a move: node 0, not in use) are dropped without touching any node. Frames left empty go
// back to the OS, except the first frame and one spare.
Compacted compact_frames();
// Ends a cycle: the collection count rises (caches keyed by node id compare it).
void count_collection();

// The collector hook: run before a big allocation and when no frame has room, while the
// collector switch is on; collector::collect unless replaced (nullptr: never).
using CollectFn = void (*)();
void set_collector(CollectFn fn);

// Relocation stress: with NUV_GC_STRESS=1, while the collector switch is on, every series
// allocation first runs the collector, then moves every in-use frame buffer into fresh frames.
bool stress_enabled();
void set_stress(bool on);
void relocate_all();
uint64_t relocations();  // how many times relocate_all ran

// ---- Statistics ----

// Bytes in use: the node-table slot of every node in use, the used part of every series frame
// and every big-series block (header included). No allocation.
uint64_t bytes_in_use();
// Bytes held by tracked heap allocations, each with its header.
uint64_t tracked_bytes();
// A byte count as a value: integer! up to 2,147,483,647, float! above.
void set_byte_count(Cell* out, uint64_t bytes);
// *result (a cell outside series buffers) becomes a new block! of five values, each list on a
// new line: per node frame [free in-use capacity] (nodes), per series frame [free used size]
// (bytes), the size of each big-series block, the total bytes held (OS blocks, the node-table
// slots of every node frame, tracked allocations) and the tracked bytes alone. The collector
// switch is off while the frames are walked. Allocates.
void stats_info(Cell* result);

// Counters for complexity tests.
struct Counters {
    uint64_t allocations;  // series buffers allocated
    uint64_t expansions;   // expand_series calls
    uint64_t bytes_copied; // bytes copied by expansions and buffer copies
};
Counters& counters();

}  // namespace nuv::memory
