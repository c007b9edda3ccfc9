// Micro-benchmarks of float and text conversion: shortest-digit number text and correctly
// rounded reading, over doubles of every magnitude and over short everyday numbers.
#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "runtime/float_text.h"

namespace {

using nuv::float_text::decimal_to_float;
using nuv::float_text::float_form_text;

// Random bit patterns (every magnitude, full-length digits) or short decimal values.
std::vector<double> sample(bool everyday) {
    std::mt19937_64 source(12345);
    std::vector<double> values;
    while (values.size() < 4096) {
        double v = everyday ? static_cast<double>(source() % 1000000) / 100.0
                            : std::bit_cast<double>(source());
        if (std::isfinite(v)) values.push_back(v);
    }
    return values;
}

std::vector<std::string> texts_of(const std::vector<double>& values) {
    std::vector<std::string> texts;
    for (double v : values) texts.emplace_back(float_form_text(v, 0, true));
    return texts;
}

void BM_FormShortest(benchmark::State& state) {
    const std::vector<double> values = sample(state.range(0) != 0);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(float_form_text(values[i++ & 4095], 0, true));
    }
}
BENCHMARK(BM_FormShortest)->Arg(0)->Arg(1);

void BM_FormSixDigits(benchmark::State& state) {
    const std::vector<double> values = sample(false);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(float_form_text(values[i++ & 4095], 6, false));
    }
}
BENCHMARK(BM_FormSixDigits);

void BM_DecimalToFloat(benchmark::State& state) {
    const std::vector<std::string> texts = texts_of(sample(state.range(0) != 0));
    size_t i = 0;
    for (auto _ : state) {
        const std::string& t = texts[i++ & 4095];
        benchmark::DoNotOptimize(decimal_to_float(t.data(), t.data() + t.size()));
    }
}
BENCHMARK(BM_DecimalToFloat)->Arg(0)->Arg(1);

}  // namespace
