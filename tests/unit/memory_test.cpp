// Memory manager: buffer sizes and placement, growth, copies, node frames, relocation stress.
#include "runtime/memory.h"
#include "runtime/roots.h"

#include <cstring>
#include <vector>

#include "tests/unit/support.h"

namespace nuv {
namespace {

using memory::buf;
using memory::SeriesBuf;

// Turns the collector switch off for a test that inspects frame placement.
struct CollectorOff {
    bool was = roots::collector_on();
    CollectorOff() { roots::set_collector_on(false); }
    ~CollectorOff() { roots::set_collector_on(was); }
};

TEST(Memory, SmallRequestsRoundUp) {
    struct Case {
        const char* what;
        NodeId node;
        size_t size;
        uint32_t unit;
    };
    Case cases[] = {
        {"alloc_bytes 0", memory::alloc_bytes(0), 16, 1},
        {"alloc_units 0 of 2", memory::alloc_units(0, 2), 16, 2},
        {"alloc_units 0 of 4", memory::alloc_units(0, 4), 16, 4},
        {"alloc_bytes 17", memory::alloc_bytes(17), 32, 1},
        {"alloc_cells 3", memory::alloc_cells(3), 48, 16},
    };
    for (const Case& c : cases) {
        SeriesBuf* b = buf(c.node);
        EXPECT_EQ(b->size, c.size) << c.what;
        EXPECT_EQ(b->unit(), c.unit) << c.what;
        EXPECT_EQ(b->offset, 0u) << c.what;
        EXPECT_EQ(b->tail, 0u) << c.what;
        EXPECT_EQ(b->node, c.node) << c.what;
        EXPECT_TRUE(b->flags & memory::kInUse) << c.what;
        EXPECT_TRUE(b->flags & memory::kAllocated) << c.what;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b->data()) % 16, 0u) << c.what;
    }
    EXPECT_EQ(buf(memory::alloc_units(0, 2))->size / 2, 8u);
}

TEST(Memory, CentredBufferStartsInTheMiddle) {
    NodeId n = memory::alloc_series(64, 1, -1);
    SeriesBuf* b = buf(n);
    EXPECT_EQ(b->size, 64u);
    EXPECT_EQ(b->offset, 32u);
    EXPECT_EQ(b->tail, 32u);
    EXPECT_EQ(b->offset_ptr(), b->data() + 32);
    EXPECT_TRUE(b->flags & memory::kCentred);
}

TEST(Memory, BigSeriesBoundary) {
    // A request whose rounded size plus the 24-byte header account reaches 2 MB gets its own
    // OS block; 16 bytes less stays in a frame.
    const size_t big = memory::kBigThreshold - 24;   // rounds up to 2 MB - 16
    const size_t small = memory::kBigThreshold - 32;
    NodeId a = memory::alloc_bytes(big);
    EXPECT_TRUE(buf(a)->flags & memory::kBig);
    EXPECT_EQ(buf(a)->size, memory::kBigThreshold - 16);
    NodeId b = memory::alloc_bytes(small);
    EXPECT_FALSE(buf(b)->flags & memory::kBig);
    EXPECT_EQ(buf(b)->size, small);
    // Both are usable to their last byte.
    buf(a)->data()[buf(a)->size - 1] = 7;
    buf(b)->data()[buf(b)->size - 1] = 9;
    EXPECT_EQ(buf(a)->data()[buf(a)->size - 1], 7);
    EXPECT_EQ(buf(b)->data()[buf(b)->size - 1], 9);
}

TEST(Memory, GrowingMovesUsedUnitsToTheDataStart) {
    NodeId n = memory::alloc_series(32, 1, 8);
    SeriesBuf* b = buf(n);
    std::memcpy(b->offset_ptr(), "abcdef", 6);
    b->tail = b->offset + 6;
    SeriesBuf* g = memory::expand_series(n, 0);
    EXPECT_EQ(g, buf(n));
    EXPECT_EQ(g->size, 64u);
    EXPECT_EQ(g->offset, 0u);
    EXPECT_EQ(g->used(), 6u);
    EXPECT_EQ(std::memcmp(g->data(), "abcdef", 6), 0);
    EXPECT_EQ(g->node, n);
}

TEST(Memory, GrowthRecomputesLocationBits) {
    NodeId n = memory::alloc_series(64, 1, -1);
    buf(n)->tail += 4;
    SeriesBuf* g = memory::expand_series(n, 128);
    EXPECT_FALSE(g->flags & memory::kCentred);
    EXPECT_FALSE(g->flags & memory::kBig);

    NodeId big = memory::alloc_bytes(memory::kBigThreshold);
    buf(big)->tail = 10;
    size_t before = memory::record().os_bytes;
    SeriesBuf* shrunk = memory::expand_series(big, 4096);
    EXPECT_FALSE(shrunk->flags & memory::kBig);
    EXPECT_EQ(shrunk->used(), 10u);
    EXPECT_LT(memory::record().os_bytes, before);  // the dead big block went back to the OS

    NodeId ext = memory::alloc_series_external(4, 16, 0);
    EXPECT_TRUE(buf(ext)->flags & memory::kExternal);
    SeriesBuf* moved = memory::expand_series(ext, 0);
    EXPECT_FALSE(moved->flags & memory::kExternal);
}

TEST(Memory, ZeroedExpansionFillsTheNewPart) {
    NodeId n = memory::alloc_bytes_zeroed(16, 0xAB);
    for (size_t i = 0; i < 16; i++) EXPECT_EQ(buf(n)->data()[i], 0xAB);
    SeriesBuf* g = memory::expand_series_zeroed(n, 64, 0);
    for (size_t i = 16; i < 64; i++) ASSERT_EQ(g->data()[i], 0) << i;
}

TEST(Memory, CopyKeepsUnitsAndFlagsButNotLocation) {
    NodeId n = memory::alloc_series(64, 1, -1);
    memory::series_set_flags(n, memory::kOwned | 0x400);
    std::memcpy(buf(n)->offset_ptr(), "xyz", 3);
    buf(n)->tail += 3;
    NodeId c = memory::copy_series_buffer(n);
    SeriesBuf* b = buf(c);
    EXPECT_EQ(b->used(), 3u);
    EXPECT_EQ(std::memcmp(b->offset_ptr(), "xyz", 3), 0);
    EXPECT_FALSE(b->flags & memory::kCentred);
    EXPECT_TRUE(b->flags & memory::kOwned);
    EXPECT_EQ(b->node, c);

    NodeId r = memory::series_copy_range(n, 1, 2);
    EXPECT_EQ(buf(r)->used(), 2u);
    EXPECT_EQ(std::memcmp(buf(r)->data(), "yz", 2), 0);
    EXPECT_FALSE(buf(r)->flags & memory::kOwned);
}

TEST(Memory, TailBytesExpandToTwiceTheRequest) {
    NodeId n = memory::alloc_bytes(64);
    buf(n)->tail = 60;
    uint8_t* at = memory::series_alloc_tail_bytes(n, 100);
    EXPECT_EQ(buf(n)->size, 208u);  // 200 bytes, rounded to the 16-byte granule
    EXPECT_EQ(at, buf(n)->data() + 60);
    EXPECT_EQ(buf(n)->tail, 160u);
}

TEST(Memory, TailCellsDoubleAFullBuffer) {
    NodeId n = memory::alloc_cells(2);
    for (int i = 0; i < 5; i++) {
        Cell* c = memory::series_alloc_tail(n);
        EXPECT_EQ(cell::type_of(c), TypeId::Unset);
        c->w2 = static_cast<uint32_t>(i);
    }
    SeriesBuf* b = buf(n);
    EXPECT_EQ(b->used(), 5 * sizeof(Cell));
    EXPECT_EQ(b->size, 8 * sizeof(Cell));
    for (uint32_t i = 0; i < 5; i++) EXPECT_EQ(b->cells()[i].w2, i);
}

TEST(Memory, OversizedRequestsRaiseNoMemory) {
    EXPECT_RAISES(memory::alloc_series(SIZE_MAX / 8, 16, 0), Err::NoMemory);
    EXPECT_RAISES(memory::alloc_series(size_t{1} << 41, 1, 0), Err::NoMemory);
}

TEST(Memory, FrameSizesStartAt1MbThenDouble) {
    CollectorOff off;
    // The first frame made at start-up held 1 MB, so the next one holds 2 MB, and so on.
    EXPECT_EQ(memory::record().frame_size, memory::kFirstFrameSize);
    EXPECT_EQ(memory::record().next_frame_size, memory::kBigThreshold);
    memory::SeriesFrame* f = memory::new_series_frame();
    EXPECT_EQ(static_cast<size_t>(f->end - f->start()), memory::kBigThreshold);
    EXPECT_EQ(memory::record().next_frame_size, memory::kBigThreshold);
    // Frames are kept in ascending address order.
    for (memory::SeriesFrame* p = memory::record().first_frame; p && p->next; p = p->next)
        EXPECT_LT(reinterpret_cast<uintptr_t>(p), reinterpret_cast<uintptr_t>(p->next));
}

TEST(Memory, FullFrameLeadsToANewFrameNotACollection) {
    CollectorOff off;
    auto frame_count = [] {
        size_t n = 0;
        for (auto* f = memory::record().first_frame; f; f = f->next) n++;
        return n;
    };
    size_t frames_before = frame_count();
    uint64_t moves = memory::relocations();
    for (int i = 0; i < 100; i++) memory::alloc_bytes(100000);  // more than the frames hold
    EXPECT_GT(frame_count(), frames_before);
    EXPECT_EQ(memory::relocations(), moves);
}

TEST(Memory, NodeFramesAreMadeAndSweptAway) {
    std::vector<NodeId> nodes;
    size_t frames_before = 0;
    for (auto* f = memory::record().first_node_frame; f; f = f->next) frames_before++;
    // Earlier collections may have left free ids in the frames there are: allocate until a new
    // frame is needed.
    auto count_frames = [] {
        size_t n = 0;
        for (auto* f = memory::record().first_node_frame; f; f = f->next) n++;
        return n;
    };
    while (count_frames() == frames_before && nodes.size() < 64 * memory::kNodeFrameCapacity)
        nodes.push_back(memory::alloc_node());
    EXPECT_GT(count_frames(), frames_before);
    for (NodeId n : nodes) memory::free_node(n);
    memory::sweep_node_frames();
    size_t frames_after = 0;
    for (auto* f = memory::record().first_node_frame; f; f = f->next) frames_after++;
    EXPECT_LE(frames_after, frames_before);
    // Ids are handed out again after a sweep.
    NodeId again = memory::alloc_node();
    EXPECT_NE(again, 0u);
    memory::free_node(again);
}

TEST(Memory, BigSweepFreesUnmarkedBlocks) {
    NodeId kept = memory::alloc_bytes(memory::kBigThreshold);
    NodeId dead = memory::alloc_bytes(memory::kBigThreshold);
    // Mark every other big buffer that exists so only `dead` goes.
    for (auto* b = memory::record().first_big; b; b = b->next)
        if (b->buffer()->node != dead) b->buffer()->flags |= memory::kMark;
    static NodeId released;
    released = 0;
    memory::sweep_big_series([](NodeId n) { released = n; });
    EXPECT_EQ(released, dead);
    EXPECT_FALSE(buf(kept)->flags & memory::kMark);
    memory::free_node(dead);
}

TEST(Memory, StressRelocationMovesLiveBuffersAndKeepsTheirData) {
    bool was = memory::stress_enabled();
    memory::set_stress(true);
    NodeId n = memory::alloc_bytes(32);
    std::memcpy(buf(n)->data(), "kept across moves", 17);
    buf(n)->tail = 17;
    uintptr_t before = reinterpret_cast<uintptr_t>(buf(n));
    uint64_t moves = memory::relocations();
    size_t os_start = memory::record().os_bytes;
    for (int i = 0; i < 200; i++) {
        memory::alloc_bytes(64);
        uintptr_t now = reinterpret_cast<uintptr_t>(buf(n));
        ASSERT_NE(now, before) << "allocation " << i;
        before = now;
    }
    EXPECT_GE(memory::relocations(), moves + 200);
    EXPECT_EQ(std::memcmp(buf(n)->data(), "kept across moves", 17), 0);
    EXPECT_EQ(buf(n)->node, n);
    // Emptied frames go back: memory stays bounded by what is live.
    EXPECT_LT(memory::record().os_bytes, os_start + 8 * memory::kBigThreshold);
    memory::set_stress(was);
}

}  // namespace
}  // namespace nuv
