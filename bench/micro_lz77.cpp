// Micro-benchmark of LZ77 decompression, in unpacked bytes per second: 4 MB of generated
// source-like text (short words, repeated lines) and 4 MB of random bytes over four values.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/lz77.h"
#include "runtime/memory.h"

namespace {

constexpr size_t kSize = 4 << 20;

std::vector<uint8_t> text_like() {
    static const char* const kWords[] = {"append", "block", "either", "foreach", "func",
                                         "length?", "make", "print", "return", "series",
                                         "to", "while", "[", "]", "1", "\"text\"", "x:"};
    std::mt19937 rng(9);
    std::vector<uint8_t> out;
    std::vector<std::string> lines;
    while (out.size() < kSize) {
        std::string line;
        if (!lines.empty() && rng() % 3 == 0) {
            line = lines[rng() % lines.size()];
        } else {
            for (uint32_t n = 2 + rng() % 8; n > 0; n--) line += std::string(kWords[rng() % 17]) + " ";
            line.back() = '\n';
            lines.push_back(line);
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(kSize);
    return out;
}

std::vector<uint8_t> four_values() {
    std::mt19937 rng(4);
    std::vector<uint8_t> out(kSize);
    for (uint8_t& b : out) b = static_cast<uint8_t>(rng() % 4);
    return out;
}

void BM_Lz77Decompress(benchmark::State& state) {
    nuv::bench::start_runtime();
    const std::vector<uint8_t> data = state.range(0) == 0 ? text_like() : four_values();
    std::vector<uint8_t> packed(data.size());
    const int64_t n = nuv::lz77::compress_data(data.data(), data.size(), packed.data());
    if (n < 0) {
        state.SkipWithError("the input did not pack");
        return;
    }
    for (auto _ : state) {
        uint32_t produced = 0;
        uint8_t* out = nuv::lz77::decompress_data(packed.data(), static_cast<size_t>(n), &produced);
        benchmark::DoNotOptimize(out);
        nuv::memory::tracked_free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.counters["ratio"] = static_cast<double>(data.size()) / static_cast<double>(n);
}
BENCHMARK(BM_Lz77Decompress)->ArgName("four_values")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
