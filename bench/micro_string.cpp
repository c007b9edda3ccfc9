// Micro-benchmark of text growth: ten million characters appended one at a time through the
// string! append slot.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/stack.h"

namespace {

void BM_StringAppendChars(benchmark::State& state) {
    nuv::bench::start_runtime();
    const auto count = static_cast<int32_t>(state.range(0));
    const auto append = nuv::registry::row(nuv::TypeId::String).append;
    for (auto _ : state) {
        nuv::stack::Mark mark;
        nuv::Cell* text = nuv::string::make_at(nuv::stack::reserve(), 16);
        nuv::Cell* c = nuv::character::push(U'x');
        for (int32_t i = 0; i < count; i++) append(text, c, -1, false, 1, true);
        benchmark::DoNotOptimize(text->w2);
        const nuv::NodeId node = nuv::cell::node(text);
        mark.restore();
        nuv::bench::release(node, 1);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}
BENCHMARK(BM_StringAppendChars)->Arg(10000000)->Unit(benchmark::kMillisecond);

}  // namespace
