// Change stamps live beside the buffers, in a table by node id: writes into watched series are
// rare (a program changing its own code), so the table stays small and off the hot paths.
#include "runtime/watch.h"

#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace nuv::watch {

uint64_t g_epoch = 1;
uint64_t* g_slot_bits = nullptr;
uint32_t g_slot_words = 0;

namespace {

std::unordered_map<NodeId, uint32_t> g_stamps;
Counters g_counters{};

}  // namespace

void watch_series(NodeId node) {
    memory::SeriesBuf* b = memory::buf(node);
    if (b->flags & kWatched) return;
    b->flags |= kWatched;
    g_stamps.emplace(node, 0);
}

uint32_t stamp(NodeId node) {
    const auto it = g_stamps.find(node);
    return it == g_stamps.end() ? 0 : it->second;
}

void note_series_write(NodeId node) {
    g_stamps[node]++;
    g_counters.series_writes++;
    move();
}

void watch_slot(int32_t index) {
    const auto i = static_cast<uint32_t>(index);
    if (i / 64 >= g_slot_words) {
        uint32_t words = g_slot_words ? g_slot_words : 64;
        while (i / 64 >= words) words *= 2;
        auto* bits = static_cast<uint64_t*>(std::calloc(words, sizeof(uint64_t)));
        if (!bits) std::abort();
        if (g_slot_bits) std::memcpy(bits, g_slot_bits, g_slot_words * sizeof(uint64_t));
        std::free(g_slot_bits);
        g_slot_bits = bits;
        g_slot_words = words;
    }
    g_slot_bits[i / 64] |= uint64_t{1} << (i % 64);
}

void note_slot_write() {
    g_counters.slot_writes++;
    move();
}

void purge(bool (*is_marked)(NodeId)) {
    for (auto it = g_stamps.begin(); it != g_stamps.end();) {
        if (is_marked(it->first)) {
            ++it;
        } else {
            it = g_stamps.erase(it);
        }
    }
}

void reset() {
    g_stamps.clear();
    std::free(g_slot_bits);
    g_slot_bits = nullptr;
    g_slot_words = 0;
    move();
}

const Counters& counters() { return g_counters; }

}  // namespace nuv::watch
