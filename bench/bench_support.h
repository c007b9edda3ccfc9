// Shared set-up of the micro-benchmarks: the runtime, and a stand-in for the collector.
#pragma once
#include "runtime/memory.h"
#include "runtime/runtime.h"

namespace nuv::bench {

inline void start_runtime() {
    static bool started = false;
    if (!started) {
        runtime::init();
        started = true;
    }
}

// The series dies; every `every` releases the emptied frames go back, as compaction would.
inline void release(NodeId n, int every = 4096) {
    static int count = 0;
    memory::SeriesBuf* b = memory::buf(n);
    b->flags &= ~memory::kInUse;
    b->node = 0;
    memory::free_node(n);
    if (++count % every == 0) memory::relocate_all();
}

}  // namespace nuv::bench
