// Node table, series frames, big blocks, the series allocation and expansion operations, and
// the collector's sweeps and compaction. Node ids index one reserved table; a node frame owns a
// chunk of ids and their free chain. Series frames are bump-allocated and kept in ascending
// address order, which compaction preserves.
#include "runtime/memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/errors.h"
#include "runtime/lz77.h"
#include "runtime/roots.h"
#include "runtime/watch.h"

namespace nuv::memory {

uintptr_t* g_node_slots = nullptr;
FreshList g_fresh{};

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kOsPrefix = 16;  // an OS block starts with its rounded size, padded to 16
constexpr size_t kMaxChunks = 13000;
constexpr size_t kNodeTableIds = kMaxChunks * kNodeFrameCapacity + 1;

Record g_record{};
NodeFrame* g_chunk_frames[kMaxChunks];
size_t g_chunks_used = 0;      // chunks ever handed out
uint32_t g_free_chunks[kMaxChunks];
size_t g_free_chunk_count = 0;
CollectFn g_collect = nullptr;
bool g_stress = false;
bool g_relocating = false;
uint64_t g_relocations = 0;
Counters g_counters{};

constexpr size_t kFirstFreshRoom = 1024;

void note_fresh(NodeId node) {
    if (g_fresh.count == g_fresh.room) {
        const size_t room = g_fresh.room ? 2 * g_fresh.room : kFirstFreshRoom;
        auto* items = static_cast<NodeId*>(tracked_alloc(room * sizeof(NodeId)));
        if (g_fresh.items) {
            std::memcpy(items, g_fresh.items, g_fresh.count * sizeof(NodeId));
            tracked_free(g_fresh.items);
        }
        g_fresh.items = items;
        g_fresh.room = room;
    }
    g_fresh.items[g_fresh.count++] = node;
}

// Tracked heap allocations, kept in a doubly linked list so runtime-exit frees them all. The
// header keeps the size for the statistics; it is 32 bytes so the data stays 16-byte aligned.
struct Tracked {
    Tracked* next;
    Tracked* prev;
    size_t size;
    size_t pad;
};
static_assert(sizeof(Tracked) % 16 == 0);
Tracked* g_tracked = nullptr;
uint64_t g_tracked_bytes = 0;  // sizes plus headers of the live tracked allocations

constexpr size_t round_up(size_t n, size_t to) { return (n + to - 1) & ~(to - 1); }

// A free node's slot holds the next free id, tagged so it never looks like an address.
constexpr uintptr_t free_link(NodeId next) { return (static_cast<uintptr_t>(next) << 1) | 1; }
constexpr NodeId free_next(uintptr_t slot) { return static_cast<NodeId>(slot >> 1); }

bool collector_enabled() { return roots::collector_on() && g_collect != nullptr; }

void run_collector() {
    if (collector_enabled()) g_collect();
}

size_t frame_room(const SeriesFrame* f) { return static_cast<size_t>(f->end - f->free); }
bool frame_fits(const SeriesFrame* f, size_t needed) { return f->free + needed <= f->end; }

void link_frame_in_address_order(SeriesFrame* f) {
    Record& r = g_record;
    if (!r.first_frame) {
        r.first_frame = r.last_frame = r.current_frame = f;
        f->next = f->prev = nullptr;
        return;
    }
    SeriesFrame* after = nullptr;  // last frame below f
    for (SeriesFrame* p = r.first_frame; p && p < f; p = p->next) after = p;
    f->prev = after;
    f->next = after ? after->next : r.first_frame;
    if (f->next) f->next->prev = f; else r.last_frame = f;
    if (after) after->next = f; else r.first_frame = f;
}

// Lays an empty frame of data_size bytes out at `at` and links it in.
SeriesFrame* open_frame(void* at, size_t data_size) {
    auto* f = static_cast<SeriesFrame*>(at);
    f->total = data_size + SeriesFrame::kFrameHeader;
    f->free = f->start();
    f->end = f->start() + data_size;
    link_frame_in_address_order(f);
    return f;
}

SeriesFrame* make_frame(size_t data_size) {
    return open_frame(os_alloc(data_size + SeriesFrame::kFrameHeader), data_size);
}

SeriesFrame* find_frame(size_t needed) {
    for (SeriesFrame* f = g_record.first_frame; f; f = f->next)
        if (frame_fits(f, needed)) return f;
    return nullptr;
}

// The frame for a request after a collection. When the live buffers still fill three quarters
// of the frames, a new frame of half their size is added, so that the marking work per byte
// allocated stays bounded however large the live data grows.
SeriesFrame* frame_after_collection(size_t needed) {
    Record& r = g_record;
    size_t total = 0;
    size_t room = 0;
    for (SeriesFrame* f = r.first_frame; f; f = f->next) {
        total += static_cast<size_t>(f->end - f->start());
        room += frame_room(f);
    }
    SeriesFrame* f = find_frame(needed);
    if (f && frame_room(f) >= kMinFrameRoom && room >= total / 4) return f;
    size_t size = r.next_frame_size;
    if (size < r.big_threshold) r.next_frame_size = 2 * size;
    size = std::max({size, round_up(total / 2, kFirstFrameSize), round_up(needed, kFirstFrameSize)});
    return make_frame(size);
}

void init_header(SeriesBuf* b, size_t size, size_t unit, ptrdiff_t offset, uint32_t location) {
    b->size = size;
    b->node = 0;
    b->flags = static_cast<uint32_t>(unit) | kInUse | location;
    if (offset == -1) {
        b->flags |= kCentred | kAllocated;
        b->offset = size / 2;
    } else {
        b->flags |= kAllocated;
        b->offset = static_cast<size_t>(offset);
    }
    b->tail = b->offset;
}

size_t checked_size(size_t count, size_t unit) {
    size_t bytes;
    if (__builtin_mul_overflow(count, unit, &bytes) || bytes > (size_t{1} << 40))
        fire(Err::NoMemory);
    return round_up(bytes, 16);
}

void link(NodeId node, SeriesBuf* b) {
    g_node_slots[node] = reinterpret_cast<uintptr_t>(b);
    b->node = node;
}

// Frees a dead buffer that does not live in a frame (frame space is reclaimed by compaction).
void release_outside_frames(SeriesBuf* b) {
    if (b->flags & kBig) big_free(b);
    else if (b->flags & kExternal) tracked_free(b);
}

}  // namespace

const Record& record() { return g_record; }
void set_collector(CollectFn fn) { g_collect = fn; }
bool stress_enabled() { return g_stress; }
void set_stress(bool on) { g_stress = on; }
uint64_t relocations() { return g_relocations; }
Counters& counters() { return g_counters; }

// The image the program carries: a word (1 when the image is an LZ77 container to unpack),
// then the document. The image's own generator is built without one, so both are weak.
extern "C" __attribute__((weak)) const uint8_t nuv_boot_image[];
extern "C" __attribute__((weak)) const uint8_t nuv_boot_image_end[];

namespace {

const uint8_t* g_image = nullptr;
size_t g_image_length = 0;
std::vector<uint8_t> g_image_file;

void locate_image() {
    g_image = nullptr;
    g_image_length = 0;
    if (const char* name = std::getenv("NUV_TEST_BOOT_IMAGE"); name && *name) {
        std::ifstream in(name, std::ios::binary);
        if (!in) fatal("cannot read the boot image named by NUV_TEST_BOOT_IMAGE", 1);
        g_image_file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        g_image = g_image_file.data();
        g_image_length = g_image_file.size();
        return;
    }
    if (nuv_boot_image && nuv_boot_image_end)
        g_image = image_behind_word(nuv_boot_image, nuv_boot_image_end, &g_image_length);
}

}  // namespace

const uint8_t* image_behind_word(const uint8_t* start, const uint8_t* end, size_t* length) {
    *length = 0;
    if (end - start < 4) return nullptr;
    uint32_t packed = 0;
    std::memcpy(&packed, start, 4);
    *length = static_cast<size_t>(end - start - 4);
    if (packed != 1) return start + 4;
    uint32_t produced = 0;
    const uint8_t* image = lz77::decompress_data(start + 4, *length, &produced);
    if (!image) {
        std::fputs("Error: Nuvbin compressed data corrupted!\n", stdout);
        std::fflush(stdout);
        std::_Exit(1);
    }
    *length = produced;
    return image;
}

const uint8_t* boot_image(size_t* length) {
    *length = g_image_length;
    return g_image;
}

void init() {
    Record& r = g_record;
    r = Record{};
    r.frame_size = kFirstFrameSize;
    r.next_frame_size = kFirstFrameSize;
    r.big_threshold = kBigThreshold;
    g_fresh = FreshList{};  // a runtime made again starts with no record (the old one was released)
    g_relocations = 0;      // and lays its buffers out as the first one did under stress
    void* table = mmap(nullptr, kNodeTableIds * sizeof(uintptr_t), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (table == MAP_FAILED) fatal("cannot reserve the node table", 1);
    g_node_slots = static_cast<uintptr_t*>(table);
    g_collect = collector::collect;
    const char* stress = std::getenv("NUV_GC_STRESS");
    g_stress = stress && stress[0] == '1';
    locate_image();
}

void* os_alloc(size_t size) {
    size_t rounded = round_up(size + kOsPrefix, kPage);
    void* p = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) fire(Err::NoMemory);
    *static_cast<size_t*>(p) = rounded;
    g_record.os_bytes += rounded;
    return static_cast<uint8_t*>(p) + kOsPrefix;
}

void os_free(void* p) {
    uint8_t* block = static_cast<uint8_t*>(p) - kOsPrefix;
    size_t rounded = *reinterpret_cast<size_t*>(block);
    if (munmap(block, rounded) != 0) fire(Err::WrongMem);
    g_record.os_bytes -= rounded;
}

void* tracked_alloc(size_t size) {
    if (size > (size_t{1} << 40)) fire(Err::NoMemory);
    void* p = std::aligned_alloc(16, round_up(size + sizeof(Tracked), 16));
    if (!p) fire(Err::NoMemory);
    auto* t = static_cast<Tracked*>(p);
    t->prev = nullptr;
    t->next = g_tracked;
    t->size = size;
    if (g_tracked) g_tracked->prev = t;
    g_tracked = t;
    g_tracked_bytes += size + sizeof(Tracked);
    return t + 1;
}

void tracked_free(void* p) {
    auto* t = static_cast<Tracked*>(p) - 1;
    if (t->prev) t->prev->next = t->next; else g_tracked = t->next;
    if (t->next) t->next->prev = t->prev;
    g_tracked_bytes -= t->size + sizeof(Tracked);
    std::free(t);
}

void tracked_release_all() {
    while (g_tracked) {
        Tracked* next = g_tracked->next;
        std::free(g_tracked);
        g_tracked = next;
    }
    g_tracked_bytes = 0;
}

// ---- Nodes ----

NodeFrame* new_node_frame(uint32_t capacity) {
    if (capacity != kNodeFrameCapacity) fatal("node frames hold a fixed number of nodes", 1);
    uint32_t chunk;
    if (g_free_chunk_count) chunk = g_free_chunks[--g_free_chunk_count];
    else if (g_chunks_used < kMaxChunks) chunk = static_cast<uint32_t>(g_chunks_used++);
    else fire(Err::NoMemory);
    auto* f = static_cast<NodeFrame*>(os_alloc(sizeof(NodeFrame)));
    *f = NodeFrame{};
    f->capacity = capacity;
    f->born = g_record.collections;
    f->chunk = chunk;
    f->base = chunk * kNodeFrameCapacity + 1;
    for (uint32_t i = 0; i < capacity; i++)
        g_node_slots[f->base + i] = free_link(i + 1 < capacity ? f->base + i + 1 : 0);
    f->free_head = f->base;
    g_chunk_frames[chunk] = f;
    Record& r = g_record;
    f->prev = r.last_node_frame;
    if (r.last_node_frame) r.last_node_frame->next = f; else r.first_node_frame = f;
    r.last_node_frame = f;
    if (!r.current_node_frame) r.current_node_frame = f;
    return f;
}

NodeFrame* node_frame_of(NodeId node) {
    return g_chunk_frames[(node - 1) / kNodeFrameCapacity];
}

NodeId alloc_node() {
    Record& r = g_record;
    NodeFrame* f = r.current_node_frame;
    if (!f || !f->free_head) {
        f = nullptr;
        for (NodeFrame* p = r.first_node_frame; p; p = p->next)
            if (p->free_head && !p->evacuate) { f = p; break; }
        if (!f) f = new_node_frame(kNodeFrameCapacity);
        r.current_node_frame = f;
    }
    NodeId n = f->free_head;
    f->free_head = free_next(g_node_slots[n]);
    g_node_slots[n] = 0;
    f->in_use++;
    return n;
}

void free_node(NodeId node) {
    NodeFrame* f = node_frame_of(node);
    g_node_slots[node] = free_link(f->free_head);
    f->free_head = node;
    f->in_use--;
}

static void release_node_frame(NodeFrame* f) {
    Record& r = g_record;
    if (f->prev) f->prev->next = f->next; else r.first_node_frame = f->next;
    if (f->next) f->next->prev = f->prev; else r.last_node_frame = f->prev;
    if (r.current_node_frame == f) r.current_node_frame = r.last_node_frame;
    // Give the chunk's table pages back; the chunk is reused by the next new frame.
    uintptr_t from = round_up(reinterpret_cast<uintptr_t>(&g_node_slots[f->base]), kPage);
    uintptr_t to = reinterpret_cast<uintptr_t>(&g_node_slots[f->base + f->capacity]) & ~(kPage - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    g_chunk_frames[f->chunk] = nullptr;
    g_free_chunks[g_free_chunk_count++] = f->chunk;
    os_free(f);
}

void sweep_node_frames() {
    Record& r = g_record;
    bool current_set = false;
    for (NodeFrame* f = r.first_node_frame; f;) {
        NodeFrame* next = f->next;
        if (f->in_use == 0 || f->evacuate) {
            release_node_frame(f);
        } else {
            if (!current_set && f->in_use < f->capacity) {
                r.current_node_frame = f;
                current_set = true;
            }
            f->history = (f->history << 1) | (f->in_use == f->last_in_use ? 1u : 0u);
            f->last_in_use = f->in_use;
        }
        f = next;
    }
}

// ---- Series frames and big blocks ----

SeriesFrame* new_series_frame() {
    Record& r = g_record;
    size_t s = r.next_frame_size;
    if (s < r.big_threshold) r.next_frame_size = 2 * s;
    return make_frame(s);
}

SeriesFrame* find_series_frame(size_t bytes) { return find_frame(bytes); }

BigBlock* big_alloc(size_t bytes) {
    auto* b = static_cast<BigBlock*>(os_alloc(bytes + sizeof(BigBlock)));
    b->requested = bytes;
    b->next = nullptr;
    Record& r = g_record;
    BigBlock* last = r.first_big;
    while (last && last->next) last = last->next;
    b->prev = last;
    if (last) last->next = b; else r.first_big = b;
    return b;
}

void big_free(SeriesBuf* buffer) {
    BigBlock* b = reinterpret_cast<BigBlock*>(buffer) - 1;
    if (b->prev) b->prev->next = b->next; else g_record.first_big = b->next;
    if (b->next) b->next->prev = b->prev;
    os_free(b);
}

void sweep_big_series(void (*release)(NodeId)) {
    for (BigBlock* b = g_record.first_big; b;) {
        BigBlock* next = b->next;
        SeriesBuf* buffer = b->buffer();
        if (buffer->flags & kMark) {
            buffer->flags &= ~kMark;
        } else {
            if (buffer->node && release) release(buffer->node);
            big_free(buffer);
        }
        b = next;
    }
}

namespace {

// Frames a relocation leaves are kept mapped but closed to every access, so a stale pointer
// still faults; a later relocation opens one again for its targets instead of mapping fresh
// memory, which spares the page faults that made stressed runs slow. A frame is reused only by
// a relocation after the one that retired it, whose dead gap differs from the one it held.
struct RetiredFrame {
    uint8_t* block;  // the OS block, its rounded size in the prefix
    size_t rounded;
    size_t generation;
};
std::vector<RetiredFrame> g_retired;
constexpr size_t kMaxRetired = 8;

void retire_frame(SeriesFrame* f) {
    uint8_t* block = reinterpret_cast<uint8_t*>(f) - kOsPrefix;
    const size_t rounded = *reinterpret_cast<size_t*>(block);
    g_record.os_bytes -= rounded;
    if (g_retired.size() >= kMaxRetired) {
        if (munmap(g_retired.front().block, g_retired.front().rounded) != 0) fire(Err::WrongMem);
        g_retired.erase(g_retired.begin());
    }
    if (mprotect(block, rounded, PROT_NONE) != 0) fire(Err::WrongMem);
    g_retired.push_back({block, rounded, g_relocations});
}

void release_retired() {
    for (const RetiredFrame& r : g_retired) munmap(r.block, r.rounded);
    g_retired.clear();
}

// Relocation targets are mapped in whole huge pages, aligned to them and marked for them: the
// kernel then closes and opens a frame by one table entry per 2 MB instead of one per page,
// which made closing and reopening frames the bulk of a stressed run's time.
constexpr size_t kHugePage = size_t{2} << 20;

SeriesFrame* huge_frame(size_t data_size, size_t rounded) {
    void* raw = mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) fire(Err::NoMemory);
    auto* start = static_cast<uint8_t*>(raw);
    auto* block = reinterpret_cast<uint8_t*>(round_up(reinterpret_cast<uintptr_t>(start), kHugePage));
    if (block > start) munmap(start, static_cast<size_t>(block - start));
    const size_t tail = static_cast<size_t>(start + rounded + kHugePage - (block + rounded));
    if (tail > 0) munmap(block + rounded, tail);
    madvise(block, rounded, MADV_HUGEPAGE);  // a hint: without huge pages the frame still works
    *reinterpret_cast<size_t*>(block) = rounded;
    g_record.os_bytes += rounded;
    return open_frame(block + kOsPrefix, data_size);
}

// A relocation target of data_size bytes: a retired frame of that size when one is free to be
// reused, else a fresh one.
SeriesFrame* relocation_frame(size_t data_size) {
    const size_t rounded = round_up(data_size + SeriesFrame::kFrameHeader + kOsPrefix, kHugePage);
    for (auto it = g_retired.begin(); it != g_retired.end(); ++it) {
        if (it->rounded != rounded || it->generation >= g_relocations) continue;
        uint8_t* block = it->block;
        g_retired.erase(it);
        if (mprotect(block, rounded, PROT_READ | PROT_WRITE) != 0) fire(Err::WrongMem);
        g_record.os_bytes += rounded;
        return open_frame(block + kOsPrefix, data_size);
    }
    return huge_frame(data_size, rounded);
}

}  // namespace

void release_all() {
    Record& r = g_record;
    while (r.first_node_frame) release_node_frame(r.first_node_frame);
    for (SeriesFrame* f = r.first_frame; f;) {
        SeriesFrame* next = f->next;
        os_free(f);
        f = next;
    }
    r.first_frame = r.current_frame = r.last_frame = nullptr;
    release_retired();
    while (r.first_big) big_free(r.first_big->buffer());
    // A runtime made again hands out the same node ids as the first one did.
    munmap(g_node_slots, kNodeTableIds * sizeof(uintptr_t));
    g_node_slots = nullptr;
    g_chunks_used = 0;
    g_free_chunk_count = 0;
}

// ---- Relocation stress ----

void relocate_all() {
    Record& r = g_record;
    SeriesFrame* old_first = r.first_frame;
    r.first_frame = r.current_frame = r.last_frame = nullptr;
    g_relocating = true;
    SeriesFrame* target = nullptr;
    for (SeriesFrame* f = old_first; f; f = f->next) {
        for (uint8_t* p = f->start(); p < f->free;) {
            auto* b = reinterpret_cast<SeriesBuf*>(p);
            size_t footprint = kHeaderBytes + b->size;
            if ((b->flags & kInUse) && b->node) {
                if (!target || !frame_fits(target, footprint)) {
                    size_t want = r.next_frame_size;
                    while (want <= footprint + 3 * kHeaderBytes) want *= 2;
                    target = relocation_frame(want);
                    // A dead gap of varying length first, so that a buffer never lands at the
                    // address it had two relocations ago: a stale pointer reads other data.
                    size_t gap = kHeaderBytes * (1 + g_relocations % 3);
                    auto* dead = reinterpret_cast<SeriesBuf*>(target->free);
                    *dead = SeriesBuf{0, 0, gap - kHeaderBytes, 0, 0};
                    target->free += gap;
                }
                std::memcpy(target->free, b, footprint);
                auto* moved = reinterpret_cast<SeriesBuf*>(target->free);
                g_node_slots[moved->node] = reinterpret_cast<uintptr_t>(moved);
                target->free += footprint;
            }
            p += footprint;
        }
    }
    for (SeriesFrame* f = old_first; f;) {
        SeriesFrame* next = f->next;
        retire_frame(f);
        f = next;
    }
    if (r.first_frame) r.current_frame = r.first_frame;
    g_relocating = false;
    g_relocations++;
}

// ---- Collection ----

bool is_linked(NodeId node) {
    if (node == 0 || (node - 1) / kNodeFrameCapacity >= g_chunks_used) return false;
    if (!g_chunk_frames[(node - 1) / kNodeFrameCapacity]) return false;
    const uintptr_t slot = g_node_slots[node];
    return slot != 0 && (slot & 1) == 0;
}

bool is_free(NodeId node) {
    if (node == 0 || (node - 1) / kNodeFrameCapacity >= g_chunks_used) return false;
    const NodeFrame* f = g_chunk_frames[(node - 1) / kNodeFrameCapacity];
    if (!f) return false;
    for (NodeId n = f->free_head; n; n = free_next(g_node_slots[n]))
        if (n == node) return true;
    return false;
}

Reclaimed sweep_dead_nodes() {
    Reclaimed got{0, 0};
    for (NodeFrame* f = g_record.first_node_frame; f; f = f->next) {
        for (NodeId n = f->base, end = f->base + f->capacity; n < end; n++) {
            const uintptr_t slot = g_node_slots[n];
            if (slot == 0 || (slot & 1)) continue;  // free, or taken and not linked yet
            auto* b = reinterpret_cast<SeriesBuf*>(slot);
            if (b->flags & kMark) {
                if (b->flags & kExternal) b->flags &= ~kMark;
                continue;
            }
            if (b->flags & (kBig | kExternal)) {
                got.bytes += kHeaderBytes + b->size;
                release_outside_frames(b);
            }
            free_node(n);
            got.nodes++;
        }
    }
    return got;
}

namespace {

// Frees an empty frame, keeping the list's ends and the current frame right.
void release_series_frame(SeriesFrame* f) {
    Record& r = g_record;
    if (f->prev) f->prev->next = f->next; else r.first_frame = f->next;
    if (f->next) f->next->prev = f->prev; else r.last_frame = f->prev;
    if (r.current_frame == f) r.current_frame = r.first_frame;
    os_free(f);
}

}  // namespace

Compacted compact_frames() {
    Compacted got{0, 0};
    Record& r = g_record;
    SeriesFrame* dest = r.first_frame;
    if (!dest) return got;
    uint8_t* to = dest->start();
    // The run waiting to be moved: adjacent live buffers bound for adjacent places.
    uint8_t* run_from = nullptr;
    uint8_t* run_to = nullptr;
    size_t run_bytes = 0;
    auto flush = [&] {
        if (run_bytes && run_from != run_to) {
            std::memmove(run_to, run_from, run_bytes);
            got.moved += run_bytes;
        }
        run_bytes = 0;
    };
    for (SeriesFrame* f = r.first_frame; f; f = f->next) {
        for (uint8_t* p = f->start(); p < f->free;) {
            auto* b = reinterpret_cast<SeriesBuf*>(p);
            const size_t footprint = kHeaderBytes + b->size;
            if (!(b->flags & kMark)) {
                flush();
                got.freed += footprint;
                p += footprint;
                continue;
            }
            // The destination never passes the buffer: in its own frame the buffer fits where
            // it is, or lower.
            while (to + footprint > dest->end) {
                flush();
                dest->free = to;
                dest = dest->next;
                to = dest->start();
            }
            if (run_bytes == 0 || run_from + run_bytes != p || run_to + run_bytes != to) {
                flush();
                run_from = p;
                run_to = to;
            }
            b->flags &= ~kMark;
            g_node_slots[b->node] = reinterpret_cast<uintptr_t>(to);
            run_bytes += footprint;
            to += footprint;
            p += footprint;
        }
        flush();
    }
    dest->free = to;
    r.current_frame = dest;
    bool spare = false;
    for (SeriesFrame* f = dest->next; f;) {
        SeriesFrame* next = f->next;
        f->free = f->start();
        if (spare) release_series_frame(f);
        spare = true;
        f = next;
    }
    return got;
}

void count_collection() { g_record.collections++; }

// ---- Series buffers ----

SeriesBuf* alloc_series_buffer(size_t count, size_t unit, ptrdiff_t offset) {
    size_t size = checked_size(count, unit);
    if (offset > static_cast<ptrdiff_t>(size)) fire(Err::NoMemory);
    if (g_stress && roots::collector_on() && !g_relocating) {
        if (g_collect) g_collect();
        relocate_all();
    }
    g_counters.allocations++;
    size_t needed = size + kHeaderBytes;
    Record& r = g_record;
    if (size + kBigHeaderAccount >= r.big_threshold) {
        run_collector();
        BigBlock* big = big_alloc(needed);
        SeriesBuf* b = big->buffer();
        init_header(b, size, unit, offset, kBig);
        return b;
    }
    SeriesFrame* f = r.current_frame;
    if (!f || !frame_fits(f, needed)) {
        f = find_frame(needed);
        if (!f && collector_enabled()) {
            g_collect();
            f = frame_after_collection(needed);
        } else if (!f) {
            if (needed >= r.next_frame_size) r.next_frame_size = r.big_threshold;
            f = new_series_frame();
        }
        r.current_frame = f;
    }
    auto* b = reinterpret_cast<SeriesBuf*>(f->free);
    f->free += needed;
    init_header(b, size, unit, offset, 0);
    return b;
}

NodeId alloc_series(size_t count, size_t unit, ptrdiff_t offset) {
    SeriesBuf* b = alloc_series_buffer(count, unit, offset);
    NodeId n = alloc_node();
    link(n, b);
    note_fresh(n);
    return n;
}

NodeId alloc_series_external(size_t count, size_t unit, ptrdiff_t offset) {
    size_t size = checked_size(count, unit);
    if (offset > static_cast<ptrdiff_t>(size)) fire(Err::NoMemory);
    auto* b = static_cast<SeriesBuf*>(tracked_alloc(kHeaderBytes + size));
    init_header(b, size, unit, offset, kExternal);
    NodeId n = alloc_node();
    link(n, b);
    note_fresh(n);
    return n;
}

NodeId alloc_cells(size_t n) { return alloc_series(n, sizeof(Cell), 0); }

NodeId alloc_cells_unset(size_t n) {
    NodeId node = alloc_cells(n);
    SeriesBuf* b = buf(node);
    Cell* cells = b->cells();
    for (size_t i = 0, count = b->size / sizeof(Cell); i < count; i++)
        cells[i] = Cell{static_cast<uint32_t>(TypeId::Unset), 0, 0, 0};
    return node;
}

NodeId alloc_bytes(size_t size) { return alloc_series(size ? size : 16, 1, 0); }

NodeId alloc_units(size_t count, size_t unit) {
    return alloc_series(count ? count : 16 / unit, unit, 0);
}

NodeId alloc_bytes_zeroed(size_t size, uint8_t byte) {
    NodeId node = alloc_bytes(size);
    SeriesBuf* b = buf(node);
    std::memset(b->data(), byte, b->size);
    return node;
}

void series_set_flags(NodeId node, uint32_t flags) { buf(node)->flags |= flags; }

// Gives the node a new buffer of new_size bytes (0: twice the old size) carrying the old
// flags (location bits recomputed) and the old used length. The old buffer is dead but stays
// readable until the caller's next allocation.
struct Moved {
    SeriesBuf* fresh;
    SeriesBuf* old;
};
static Moved realloc_buffer(NodeId node, size_t new_size) {
    SeriesBuf* old = buf(node);
    uint32_t unit = old->unit();
    if (new_size == 0) new_size = 2 * old->size;
    if (new_size == 0 || unit == 0) fire(Err::NoMemory);
    SeriesBuf* fresh = alloc_series_buffer(new_size / unit, unit, 0);
    old = buf(node);  // the allocation may have moved it
    fresh->flags = (old->flags & ~kLocationBits) | (fresh->flags & kLocationBits) | kAllocated;
    fresh->tail = fresh->offset + old->used();
    link(node, fresh);
    old->node = 0;
    old->flags &= ~kInUse;
    return {fresh, old};
}

SeriesBuf* expand_series(NodeId node, size_t new_size) {
    Moved m = realloc_buffer(node, new_size);
    size_t used = m.old->used();
    if (used > m.fresh->size) used = m.fresh->size;  // a shrinking resize keeps what fits
    std::memcpy(m.fresh->data(), m.old->offset_ptr(), used);
    m.fresh->tail = used;
    g_counters.expansions++;
    g_counters.bytes_copied += used;
    release_outside_frames(m.old);
    return m.fresh;
}

SeriesBuf* expand_series_zeroed(NodeId node, size_t new_size, uint8_t byte) {
    size_t old_size = buf(node)->size;
    SeriesBuf* b = expand_series(node, new_size);
    if (b->size > old_size) std::memset(b->data() + old_size, byte, b->size - old_size);
    return b;
}

NodeId copy_series_buffer(NodeId node) {
    size_t size = buf(node)->size;
    NodeId fresh = alloc_bytes(size);
    SeriesBuf* from = buf(node);
    SeriesBuf* to = buf(fresh);
    to->flags = (from->flags & ~(kLocationBits | watch::kWatched | kBootCode)) | (to->flags & kLocationBits) |
                kAllocated;
    std::memcpy(to->data(), from->offset_ptr(), from->used());
    to->offset = 0;
    to->tail = from->used();
    g_counters.bytes_copied += from->used();
    return fresh;
}

// ---- Cell-level helpers ----

Cell* series_alloc_tail(NodeId node) {
    watch::series_written(node);
    SeriesBuf* b = buf(node);
    if (b->tail + sizeof(Cell) > b->size) b = expand_series(node, 0);
    auto* c = reinterpret_cast<Cell*>(b->tail_ptr());
    c->header = static_cast<uint32_t>(TypeId::Unset);
    b->tail += sizeof(Cell);
    return c;
}

uint8_t* series_alloc_tail_bytes(NodeId node, size_t n) {
    SeriesBuf* b = buf(node);
    if (b->tail + n > b->size) b = expand_series(node, b->size < n ? 2 * n : 0);
    uint8_t* at = b->tail_ptr();
    b->tail += n;
    return at;
}

NodeId series_copy_range(NodeId node, size_t start, size_t count) {
    uint32_t unit = buf(node)->unit();
    NodeId fresh = alloc_series(count, unit, 0);
    SeriesBuf* from = buf(node);
    SeriesBuf* to = buf(fresh);
    std::memcpy(to->data(), from->offset_ptr() + start * unit, count * unit);
    to->flags = (from->flags & ~(kLocationBits | kOwned | watch::kWatched | kBootCode)) |
                (to->flags & kLocationBits) | kAllocated;
    to->tail = count * unit;
    g_counters.bytes_copied += count * unit;
    return fresh;
}

// ---- Statistics ----

namespace {

// Turns the collector switch off for its lifetime, so the values being made cannot start a
// collection (nor a relocation) that frees the frames being walked.
struct CollectorPause {
    bool was = roots::collector_on();
    CollectorPause() { roots::set_collector_on(false); }
    ~CollectorPause() { roots::set_collector_on(was); }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;
};

void append_count(const Cell* list, uint64_t n) {
    Cell value;
    set_byte_count(&value, n);
    block::append_cell(list, &value);
}

// A new block of `size` cells appended to `parent`, marked to start a new line; the cell
// answered is a copy, so it stays valid as the parent grows.
Cell append_list(const Cell* parent, int32_t size) {
    Cell list;
    block::make_at(&list, size);
    list.header |= cell::kNewLine;
    block::append_cell(parent, &list);
    return list;
}

void append_triple(const Cell* parent, uint64_t a, uint64_t b, uint64_t c) {
    const Cell triple = append_list(parent, 3);
    append_count(&triple, a);
    append_count(&triple, b);
    append_count(&triple, c);
}

}  // namespace

uint64_t bytes_in_use() {
    uint64_t total = 0;
    for (const NodeFrame* f = g_record.first_node_frame; f; f = f->next)
        total += uint64_t{f->in_use} * sizeof(uintptr_t);
    for (SeriesFrame* f = g_record.first_frame; f; f = f->next)
        total += static_cast<uint64_t>(f->free - f->start());
    for (const BigBlock* b = g_record.first_big; b; b = b->next) total += b->requested;
    return total;
}

uint64_t tracked_bytes() { return g_tracked_bytes; }

void set_byte_count(Cell* out, uint64_t bytes) {
    if (bytes <= static_cast<uint64_t>(INT32_MAX)) integer::set(out, static_cast<int32_t>(bytes));
    else floating::set(out, static_cast<double>(bytes));
}

void stats_info(Cell* result) {
    CollectorPause pause;
    int32_t node_frames = 0;
    int32_t series_frames = 0;
    int32_t bigs = 0;
    for (const NodeFrame* f = g_record.first_node_frame; f; f = f->next) node_frames++;
    for (const SeriesFrame* f = g_record.first_frame; f; f = f->next) series_frames++;
    for (const BigBlock* b = g_record.first_big; b; b = b->next) bigs++;
    Cell info;
    block::make_at(&info, 5);
    // Frames made while the lists fill are linked in as they come and may be reported too.
    const Cell nodes = append_list(&info, node_frames);
    for (const NodeFrame* f = g_record.first_node_frame; f; f = f->next)
        append_triple(&nodes, f->capacity - f->in_use, f->in_use, f->capacity);
    const Cell series = append_list(&info, series_frames);
    for (SeriesFrame* f = g_record.first_frame; f; f = f->next)
        append_triple(&series, static_cast<uint64_t>(f->end - f->free),
                      static_cast<uint64_t>(f->free - f->start()),
                      static_cast<uint64_t>(f->end - f->start()));
    const Cell big = append_list(&info, bigs);
    for (const BigBlock* b = g_record.first_big; b; b = b->next) append_count(&big, b->requested);
    uint64_t held = g_record.os_bytes + g_tracked_bytes;
    for (const NodeFrame* f = g_record.first_node_frame; f; f = f->next)
        held += uint64_t{f->capacity} * sizeof(uintptr_t);
    append_count(&info, held);
    append_count(&info, g_tracked_bytes);
    *result = info;
}

}  // namespace nuv::memory
