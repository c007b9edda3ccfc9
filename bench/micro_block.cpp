// Micro-benchmarks of block! actions: appending a million values one at a time through the
// append slot, and sorting a million random integers in a block.
#include <benchmark/benchmark.h>

#include <random>

#include "bench/bench_support.h"
#include "runtime/datatypes/block.h"
#include "runtime/stack.h"

namespace {

using nuv::Cell;
using nuv::TypeId;

Cell integer(int32_t v) { return Cell{static_cast<uint32_t>(TypeId::Integer), 0, static_cast<uint32_t>(v), 0}; }

void BM_BlockAppend(benchmark::State& state) {
    nuv::bench::start_runtime();
    const auto n = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        nuv::stack::Mark mark;
        Cell* block = nuv::block::push_new(1);
        for (int32_t i = 0; i < n; i++) {
            Cell v = integer(i);
            nuv::block::insert(block, &v, -1, false, 1, true);
        }
        benchmark::DoNotOptimize(block->w2);
        state.PauseTiming();
        nuv::bench::release(nuv::cell::node(block), 1);
        mark.restore();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_BlockAppend)->Arg(1000000)->Unit(benchmark::kMillisecond);

template <bool Stable>
void BM_BlockSortIntegers(benchmark::State& state) {
    nuv::bench::start_runtime();
    const auto n = static_cast<int32_t>(state.range(0));
    std::mt19937 rng(42);
    for (auto _ : state) {
        state.PauseTiming();
        nuv::stack::Mark mark;
        Cell* block = nuv::block::push_new(n);
        for (int32_t i = 0; i < n; i++) {
            Cell v = integer(static_cast<int32_t>(rng() & 0x7FFFFFFF));
            nuv::block::append_cell(block, &v);
        }
        state.ResumeTiming();
        nuv::block::sort(block, false, nullptr, nullptr, nullptr, false, false, Stable);
        state.PauseTiming();
        nuv::bench::release(nuv::cell::node(block), 1);
        mark.restore();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_BlockSortIntegers<false>)->Name("BM_BlockSortIntegers")->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockSortIntegers<true>)->Name("BM_BlockSortIntegersStable")->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
