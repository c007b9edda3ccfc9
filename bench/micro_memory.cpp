// Micro-benchmarks of the memory manager: series allocation and growth.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "runtime/memory.h"

namespace {

void BM_AllocSeries(benchmark::State& state) {
    nuv::bench::start_runtime();
    const auto bytes = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        nuv::NodeId n = nuv::memory::alloc_series(bytes, 1, 0);
        benchmark::DoNotOptimize(n);
        nuv::bench::release(n);
    }
}
BENCHMARK(BM_AllocSeries)->Arg(16)->Arg(256)->Arg(4096);

void BM_ExpandSeries(benchmark::State& state) {
    nuv::bench::start_runtime();
    for (auto _ : state) {
        nuv::NodeId n = nuv::memory::alloc_bytes(16);
        for (int i = 0; i < 10; i++) {
            nuv::memory::SeriesBuf* b = nuv::memory::buf(n);
            b->tail = b->size;
            nuv::memory::expand_series(n, 0);  // 16 bytes doubled ten times: 16 KB
        }
        nuv::bench::release(n);
    }
}
BENCHMARK(BM_ExpandSeries);

}  // namespace
