// Memory statistics: the bytes-in-use count, the /info block and the byte-count values; the
// binary! paths of transcode, which the language cannot reach until binary! values exist.
#include <cstring>
#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "tests/unit/eval_support.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using memory::buf;

// Turns the collector switch off (so no relocation changes the frames) or on for a test.
struct CollectorSwitch {
    bool was = roots::collector_on();
    explicit CollectorSwitch(bool on) { roots::set_collector_on(on); }
    ~CollectorSwitch() { roots::set_collector_on(was); }
};

// Gives a big-series buffer and its node back.
void free_big(NodeId node) {
    memory::big_free(buf(node));
    memory::free_node(node);
}

std::string molded(const Cell& value) { return test::mold_value(value); }

TEST(MemoryStats, EachBufferAddsItsFootprintToBytesInUse) {
    CollectorSwitch off(false);
    struct Case {
        size_t bytes;
        uint64_t added;  // data rounded to 16, the 32-byte header, the node's table slot
    };
    const Case cases[] = {
        {0, 16 + 32 + 8},
        {100, 112 + 32 + 8},
        {4096, 4096 + 32 + 8},
        {3 * 1024 * 1024, 3 * 1024 * 1024 + 32 + 8},  // a big series
    };
    for (const Case& c : cases) {
        const uint64_t before = memory::bytes_in_use();
        const NodeId node = memory::alloc_bytes(c.bytes);
        EXPECT_EQ(memory::bytes_in_use() - before, c.added) << "bytes " << c.bytes;
        if (buf(node)->flags & memory::kBig) {
            free_big(node);
            EXPECT_EQ(memory::bytes_in_use(), before) << "bytes " << c.bytes;
        }
    }
}

TEST(MemoryStats, TrackedBytesFollowAllocationsExactly) {
    const uint64_t start = memory::tracked_bytes();
    void* small = memory::tracked_alloc(0);
    const uint64_t header = memory::tracked_bytes() - start;
    void* large = memory::tracked_alloc(1000);
    EXPECT_EQ(memory::tracked_bytes() - start, 2 * header + 1000);
    memory::tracked_free(small);
    memory::tracked_free(large);
    EXPECT_EQ(memory::tracked_bytes(), start);
    EXPECT_GE(header, 16u);
}

TEST(MemoryStats, ByteCountsBecomeFloatsAboveTheIntegerRange) {
    const struct {
        uint64_t bytes;
        const char* wanted;
    } cases[] = {{0, "0"}, {2147483647, "2147483647"}, {2147483648, "2147483648.0"}};
    for (const auto& c : cases) {
        Cell value;
        memory::set_byte_count(&value, c.bytes);
        EXPECT_EQ(molded(value), c.wanted) << c.bytes;
    }
}

// Per node frame [free in-use capacity], per series frame [free used size], the big blocks,
// the total held and the tracked bytes; every list on a new line.
TEST(MemoryStats, InfoDescribesEveryFrame) {
    test::StackScope scope;
    for (bool collector : {true, false}) {
        CollectorSwitch set(collector);
        Cell* info = stack::reserve();
        memory::stats_info(info);
        EXPECT_EQ(roots::collector_on(), collector) << "the switch comes back as it was";
        ASSERT_EQ(block::count(cell::node(info)), 5);

        uint64_t node_table = 0;
        int32_t node_frames = 0;
        for (const memory::NodeFrame* f = memory::record().first_node_frame; f; f = f->next) {
            node_table += uint64_t{f->capacity} * sizeof(uintptr_t);
            node_frames++;
        }
        int32_t series_frames = 0;
        for (const memory::SeriesFrame* f = memory::record().first_frame; f; f = f->next)
            series_frames++;

        const Cell nodes = block::at(cell::node(info), 0);
        const Cell series = block::at(cell::node(info), 1);
        const Cell bigs = block::at(cell::node(info), 2);
        for (const Cell* list : {&nodes, &series, &bigs}) {
            ASSERT_TRUE(cell::is(list, TypeId::Block));
            EXPECT_TRUE(list->header & cell::kNewLine);
        }
        EXPECT_EQ(block::count(cell::node(&nodes)), node_frames);
        EXPECT_EQ(block::count(cell::node(&series)), series_frames);
        const struct {
            const Cell* list;
            const char* what;
        } lists[] = {{&nodes, "node frame"}, {&series, "series frame"}};
        for (const auto& l : lists) {
            for (int32_t i = 0; i < block::count(cell::node(l.list)); i++) {
                const Cell triple = block::at(cell::node(l.list), i);
                EXPECT_TRUE(triple.header & cell::kNewLine) << l.what << " " << i;
                ASSERT_EQ(block::count(cell::node(&triple)), 3) << l.what << " " << i;
                const Cell* figures = block::raw_cells(cell::node(&triple));
                EXPECT_EQ(cell::get_int(&figures[0]) + cell::get_int(&figures[1]),
                          cell::get_int(&figures[2]))
                    << l.what << " " << i;
                if (l.list == &nodes) {
                    EXPECT_EQ(cell::get_int(&figures[2]),
                              static_cast<int32_t>(memory::kNodeFrameCapacity));
                }
            }
        }

        const Cell total = block::at(cell::node(info), 3);
        const Cell tracked = block::at(cell::node(info), 4);
        EXPECT_EQ(cell::get_int(&tracked), static_cast<int32_t>(memory::tracked_bytes()));
        EXPECT_EQ(cell::get_int(&total),
                  static_cast<int32_t>(memory::record().os_bytes + node_table +
                                       memory::tracked_bytes()));
    }
}

// A block of 2.2 GB is only mapped, never touched, so the test costs no real memory.
TEST(MemoryStats, TotalsAboveTheIntegerRangeAreFloats) {
    const size_t huge = size_t{2200} * 1000 * 1000;
    const NodeId node = memory::alloc_bytes(huge);
    ASSERT_TRUE(buf(node)->flags & memory::kBig);
    test::check_cases({
        {"type? stats", "float!"},
        {"b: stats/info type? b/4", "float!"},
        // Other tests may have left big blocks of their own: the new one is among them.
        {"b: stats/info found: false foreach size b/3 [if size >= 2200000000.0 [found: true]] found",
         "true"},
    });
    free_big(node);
    test::check_cases({{"type? stats", "integer!"}});
}

TEST(MemoryStats, TranscodeReadsABinaryAsSource) {
    test::eval_environment();
    const std::string text = "a b";
    const NodeId node = memory::alloc_bytes(text.size());
    memory::SeriesBuf* b = buf(node);
    std::memcpy(b->offset_ptr(), text.data(), text.size());
    b->tail = b->offset + text.size();
    const Cell bytes{static_cast<uint32_t>(TypeId::Binary), 0, node, 0};
    context::set_global(symbol::make_cstr("bytes"), &bytes);
    test::check_cases({
        {"transcode bytes", "[a b]"},
        {"transcode/part \"a b\" bytes", "error not-same-type"},
    });
}

}  // namespace
}  // namespace nuv
