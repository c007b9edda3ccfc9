// libFuzzer target nuv-fuzz-diff: the input becomes a program (diff_fuzz.h) that runs
// interpreted, then eager (and eager with deopt stress when the input asks), each in a runtime
// started for it alone. Any difference in what the runs printed or in the report of the error
// that ended them is a finding: the target prints the program and both outcomes from a few
// lines before the first difference, and aborts. So are a crash, a sanitizer report, and a
// verify abort in an eager run.
#include "tests/fuzz/diff_fuzz.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "runtime/evaluator/units.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/program_writer.h"

namespace nuv::fuzz {

namespace {

constexpr const char* kTarget = "diff fuzz";
constexpr size_t kContextLines = 5;  // shown before the first difference
constexpr size_t kShownLines = 30;   // shown from there on

std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        lines.push_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

void show_from(const char* name, const std::vector<std::string_view>& lines, size_t first) {
    std::fprintf(stderr, "---- %s output, from line %zu of %zu:\n", name, first + 1, lines.size());
    for (size_t k = first; k < lines.size() && k < first + kShownLines; k++)
        std::fprintf(stderr, "%.*s\n", static_cast<int>(lines[k].size()), lines[k].data());
}

Outcome run_in(units::Mode mode, bool deopt_stress, bool verify, const std::string& program) {
    units::settings() = units::Settings{mode, deopt_stress, verify};
    return run_fresh(kTarget, program);
}

void compare(const Outcome& reference, const Outcome& got, const char* name,
             const std::string& program) {
    if (got.output == reference.output && got.report == reference.report) return;
    const std::vector<std::string_view> want = lines_of(reference.output);
    const std::vector<std::string_view> have = lines_of(got.output);
    size_t first = 0;
    while (first < want.size() && first < have.size() && want[first] == have[first]) first++;
    first -= std::min(first, kContextLines);
    std::fprintf(stderr, "diff fuzz: the %s run differs from the interpreted one\n%s\n", name,
                 program.c_str());
    show_from("interpreted", want, first);
    show_from(name, have, first);
    const auto shown = [](const std::string& report) {
        return report.empty() ? "(no uncaught error)" : report.c_str();
    };
    std::fprintf(stderr, "---- interpreted report:\n%s\n---- %s report:\n%s\n",
                 shown(reference.report), name, shown(got.report));
    std::abort();
}

}  // namespace

DiffInput read_diff_input(const uint8_t* data, size_t size) {
    const uint8_t runs = size ? data[0] : 0;
    return {(runs & 1) != 0, (runs & 2) != 0,
            size ? write_diff_program(data + 1, size - 1) : write_diff_program(data, 0)};
}

std::string diff_input_text(const uint8_t* data, size_t size) {
    const DiffInput input = read_diff_input(data, size);
    std::string text = "; runs: interpreted, eager";
    if (input.deopt_stress) text += ", eager with deopt stress";
    if (input.verify) text += "; the eager runs verify";
    return text + "\n" + input.program;
}

}  // namespace nuv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nuv;
    using units::Mode;
    const fuzz::DiffInput input = fuzz::read_diff_input(data, size);
    const units::Settings saved = units::settings();
    const fuzz::Outcome interpreted = fuzz::run_in(Mode::Interp, false, false, input.program);
    fuzz::compare(interpreted, fuzz::run_in(Mode::Eager, false, input.verify, input.program),
                  "eager", input.program);
    if (input.deopt_stress)
        fuzz::compare(interpreted, fuzz::run_in(Mode::Eager, true, input.verify, input.program),
                      "eager deopt-stress", input.program);
    units::settings() = saved;
    return 0;
}
