// Micro-benchmarks of the symbol table: interning one million distinct names (the table grows
// from its start-up size), then looking each of them up again (no allocation).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/datatypes/symbol.h"

namespace {

constexpr int kNames = 1000000;

// Distinct per round, since symbols are never deleted.
std::vector<std::string> names_for_round(int round) {
    std::vector<std::string> names;
    names.reserve(kNames);
    const std::string prefix = "bench-" + std::to_string(round) + "-name-";
    for (int i = 0; i < kNames; i++) names.push_back(prefix + std::to_string(i));
    return names;
}

void BM_SymbolInternThenLookup(benchmark::State& state) {
    nuv::bench::start_runtime();
    static int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<std::string> names = names_for_round(round++);
        state.ResumeTiming();
        for (const std::string& n : names) benchmark::DoNotOptimize(nuv::symbol::make_cstr(n.c_str()));
        for (const std::string& n : names) benchmark::DoNotOptimize(nuv::symbol::make_cstr(n.c_str()));
    }
    state.SetItemsProcessed(state.iterations() * 2 * kNames);
}
BENCHMARK(BM_SymbolInternThenLookup)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SymbolLookup(benchmark::State& state) {
    nuv::bench::start_runtime();
    const std::vector<std::string> names = names_for_round(-1);
    for (const std::string& n : names) nuv::symbol::make_cstr(n.c_str());
    for (auto _ : state)
        for (const std::string& n : names) benchmark::DoNotOptimize(nuv::symbol::make_cstr(n.c_str()));
    state.SetItemsProcessed(state.iterations() * kNames);
}
BENCHMARK(BM_SymbolLookup)->Unit(benchmark::kMillisecond);

}  // namespace
