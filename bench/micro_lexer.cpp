// Micro-benchmarks of the lexer over a 10 MB generated source: loading every value, and the
// automaton alone. The source follows the peer benchmarks' lex workload (the same generator,
// Park-Miller from seed 42), with this language's "^" escapes inside strings.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/syntax/lexer.h"

namespace {

class ParkMiller {
  public:
    explicit ParkMiller(uint64_t seed) : x_(seed) {}
    uint64_t next() { return x_ = x_ * 16807 % 2147483647; }

  private:
    uint64_t x_;
};

std::vector<std::string> make_vocab(ParkMiller& r, int n) {
    std::vector<std::string> words;
    for (int i = 0; i < n; i++) {
        std::string w;
        for (uint64_t k = 2 + r.next() % 9; k > 0; k--) w += static_cast<char>('a' + r.next() % 26);
        if (r.next() % 4 == 0) {
            w += '-';
            for (uint64_t k = 1 + r.next() % 5; k > 0; k--)
                w += static_cast<char>('a' + r.next() % 26);
        }
        if (r.next() % 10 == 0) w += '?';
        words.push_back(w);
    }
    return words;
}

std::string join(const std::vector<std::string>& parts) {
    std::string s;
    for (size_t i = 0; i < parts.size(); i++) s += (i ? " " : "") + parts[i];
    return s;
}

// Words, set-words, integers, floats, strings, issues, blocks, parens and comments.
std::string make_source(size_t target) {
    ParkMiller r(42);
    const std::vector<std::string> vocab = make_vocab(r, 2000);
    auto word = [&] { return vocab[r.next() % vocab.size()]; };
    std::string out;
    std::vector<std::string> line;
    int depth = 0;
    while (out.size() < target) {
        const uint64_t k = r.next() % 100;
        std::string t;
        if (k < 35) {
            t = word();
        } else if (k < 45) {
            t = word() + ":";
        } else if (k < 57) {
            const bool wide = r.next() % 3 == 0;
            t = std::to_string(wide ? static_cast<int64_t>(r.next() % 100000) - 50000
                                    : static_cast<int64_t>(r.next() % 1000));
        } else if (k < 63) {
            const uint64_t a = r.next() % 10000, b = r.next() % 1000;
            t = std::to_string(a) + "." + std::to_string(b);
            if (r.next() % 5 == 0)
                t += "e" + std::to_string(static_cast<int64_t>(r.next() % 40) - 20);
        } else if (k < 71) {
            std::vector<std::string> words;
            for (uint64_t n = r.next() % 6; n > 0; n--) words.push_back(word());
            std::string s = join(words);
            if (r.next() % 4 == 0) s += " ^\"quoted^\" ^^ end";
            t = "\"" + s + "\"";
        } else if (k < 74) {
            t = word();
            if (t.back() == '?') t.pop_back();
            t = "#" + t;
        } else if (k < 83) {
            t = "[";
            depth++;
        } else if (k < 92) {
            if (depth > 0) {
                t = "]";
                depth--;
            } else {
                t = "[]";
            }
        } else if (k < 95) {
            t = "(" + word() + " " + std::to_string(r.next() % 100) + ")";
        } else {
            std::vector<std::string> words;
            for (uint64_t n = 1 + r.next() % 8; n > 0; n--) words.push_back(word());
            line.push_back("; " + join(words));
            out += join(line) + "\n";
            line.clear();
            continue;
        }
        line.push_back(t);
        if (line.size() >= 4 + r.next() % 10) {
            out += std::string(4 * std::min(depth, 4), ' ') + join(line) + "\n";
            line.clear();
        }
    }
    out += join(line);
    for (; depth > 0; depth--) out += " ]";
    return out + "\n";
}

const std::string& source() {
    static const std::string text = make_source(10000000);
    return text;
}

void BM_LexerLoad(benchmark::State& state) {
    nuv::bench::start_runtime();
    const std::string& text = source();
    for (auto _ : state) {
        nuv::Cell result;
        nuv::lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {},
                              &result);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LexerLoad)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LexerAutomaton(benchmark::State& state) {
    const std::string& text = source();
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    for (auto _ : state) {
        size_t tokens = 0;
        for (size_t pos = 0; pos < text.size(); tokens++) {
            nuv::lexer::Step s = nuv::lexer::scan_token(bytes, text.size(), pos, 0);
            const bool closed = s.state != static_cast<int>(nuv::lexer::Kind::Error) &&
                                s.end < text.size() && bytes[s.end] != ' ' &&
                                bytes[s.end] != '\n' && s.end >= s.start &&
                                (s.state <= 79 || s.state == 84);
            pos = std::max(s.end + (closed ? 1 : 0), s.start + 1);
        }
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LexerAutomaton)->Unit(benchmark::kMillisecond);

}  // namespace
