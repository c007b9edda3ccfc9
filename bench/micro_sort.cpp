// Micro-benchmarks of the record sorts: a million random integers, stable and unstable.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/sort.h"

namespace {

int32_t compare_ints(const void* a, const void* b, intptr_t, intptr_t) {
    int32_t x;
    int32_t y;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    return (x > y) - (x < y);
}

template <bool Stable>
void BM_SortIntegers(benchmark::State& state) {
    nuv::bench::start_runtime();
    const auto n = static_cast<size_t>(state.range(0));
    std::mt19937 rng(42);
    std::vector<int32_t> source(n);
    for (int32_t& v : source) v = static_cast<int32_t>(rng());
    std::vector<int32_t> data(n);
    for (auto _ : state) {
        state.PauseTiming();
        data = source;
        state.ResumeTiming();
        if (Stable) nuv::sort::sort_records(data.data(), n, 4, 0, 0, compare_ints);
        else nuv::sort::sort_records_unstable(data.data(), n, 4, 0, 0, compare_ints);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_SortIntegers<true>)->Name("BM_SortIntegersStable")->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortIntegers<false>)->Name("BM_SortIntegersUnstable")->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
