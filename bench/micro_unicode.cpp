// Micro-benchmarks of UTF-8 decoding: the fast decoder the lexer walks text with, and
// load_utf8 (checked decoding into a text buffer, widening in place).
#include <benchmark/benchmark.h>

#include <string>

#include "runtime/memory.h"
#include "bench/bench_support.h"
#include "runtime/unicode.h"

namespace {

using nuv::bench::start_runtime;

// 64 KB of text mixing ASCII, Latin-1, other BMP characters and emoji.
std::string mixed_text() {
    const std::string piece = "plain ascii words, caf\xC3\xA9 na\xC3\xAFve, \xE2\x82\xAC 20, "
                              "\xE4\xB8\x80\xE4\xBA\x8C, \xF0\x9F\x98\x80!\n";
    std::string s;
    while (s.size() < 64 * 1024) s += piece;
    return s;
}

// The same length of plain ASCII: the common case.
std::string ascii_text() { return std::string(64 * 1024, 'a'); }

const std::string& text_for(int64_t kind) {
    static const std::string mixed = mixed_text();
    static const std::string ascii = ascii_text();
    return kind == 0 ? mixed : ascii;
}

void BM_FastDecodeUtf8(benchmark::State& state) {
    const std::string& s = text_for(state.range(0));
    const auto* begin = reinterpret_cast<const uint8_t*>(s.data());
    const auto* end = begin + s.size();
    for (auto _ : state) {
        int64_t sum = 0;
        int32_t cp;
        for (const uint8_t* p = begin; p < end;) {
            p = nuv::unicode::fast_decode_utf8_char(p, end, &cp);
            sum += cp;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.size()));
}
BENCHMARK(BM_FastDecodeUtf8)->Arg(0)->Arg(1)->ArgNames({"ascii"});

void BM_Utf8Length(benchmark::State& state) {
    const std::string& s = text_for(state.range(0));
    const auto* begin = reinterpret_cast<const uint8_t*>(s.data());
    for (auto _ : state)
        benchmark::DoNotOptimize(nuv::unicode::utf8_length(begin, begin + s.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.size()));
}
BENCHMARK(BM_Utf8Length)->Arg(0)->Arg(1)->ArgNames({"ascii"});

// A fresh buffer each time: unit 1, widened to 2 and then 4 by the mixed text.
void BM_LoadUtf8New(benchmark::State& state) {
    start_runtime();
    const std::string& s = text_for(state.range(0));
    const auto* src = reinterpret_cast<const uint8_t*>(s.data());
    for (auto _ : state) {
        nuv::NodeId n = nuv::unicode::load_utf8_new(src, s.size());
        benchmark::DoNotOptimize(n);
        nuv::bench::release(n, 256);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.size()));
}
BENCHMARK(BM_LoadUtf8New)->Arg(0)->Arg(1)->ArgNames({"ascii"});

// Into one buffer that already has the unit and the room: decoding alone.
void BM_LoadUtf8Into(benchmark::State& state) {
    start_runtime();
    const std::string& s = text_for(state.range(0));
    const auto* src = reinterpret_cast<const uint8_t*>(s.data());
    nuv::NodeId dest = nuv::unicode::load_utf8_new(src, s.size());
    for (auto _ : state) {
        nuv::NodeId n = nuv::unicode::load_utf8(src, s.size(), dest, nullptr, false);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.size()));
    nuv::bench::release(dest, 256);
}
BENCHMARK(BM_LoadUtf8Into)->Arg(0)->Arg(1)->ArgNames({"ascii"});

}  // namespace
