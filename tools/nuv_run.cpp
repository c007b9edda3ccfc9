// nuv-run: runs Nuv text without the console, for tests and benchmarks.
//
//   nuv-run FILE [args]    evaluates the file (a leading `Nuv [...]` header is skipped) with
//                          the arguments in system/script/args
//   nuv-run -e TEXT        evaluates the text
//   nuv-run --cases FILE   checks the file's table of cases (below)
//
// The runtime starts as the console starts it: runtime init, then the boot source. print and
// prin write to standard output. An error that reaches the top prints the console's "*** "
// report to standard output and the status is 1; otherwise it is 0. An error in a boot unit
// prints its report to standard error and the status is 254; an unwinding that leaves the boot
// units (a throw no catch takes) ends the process as runtime error 95.
//
// A case table is the file's values after the header, one row after another:
//   [code] value            the code's value molds as the value does
//   [code] error id         the code raises the error whose id is the word
//   [code] output "text"    the code writes exactly the text
//   [code] mold "text"      the code's value molds as the text (for values that are not one
//                           value when written, such as functions)
// Rows share the global context, so a row may use the words an earlier row set. Each failing
// row prints its code, what was wanted and what came; the status is 1 when any row fails.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "boot/boot_units.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/frames.h"
#include "runtime/output.h"
#include "runtime/runtime.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv {

namespace {

using T = TypeId;

// Restores the argument top on leaving.
struct TopScope {
    Cell* top = stack::g_args.top;
    ~TopScope() { stack::g_args.top = top; }
};

std::string text_of(const Cell* buffer) { return string::to_std_utf8(buffer); }

std::string mold(const Cell& value) {
    TopScope scope;
    Cell v = value;
    Cell* buffer = string::make_at(stack::push(none::shared()), 64);
    registry::g_rows[static_cast<int>(cell::type_of(&v))].mold(&v, buffer, false, false, false,
                                                               nullptr, 1 << 30, 0);
    return text_of(buffer);
}

// The Stack line of a report is cut to this many characters, the last three "...": a deep
// recursion would otherwise print one name per frame.
constexpr size_t kStackLineWidth = 1000;

void cut_stack_line(std::string& text) {
    const size_t start = text.find("\n*** Stack: ");
    if (start == std::string::npos) return;
    const size_t end = std::min(text.find('\n', start + 1), text.size());
    size_t chars = 0;
    size_t cut = std::string::npos;  // where the character kStackLineWidth - 3 begins
    for (size_t i = start + 1; i < end; i++) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars == kStackLineWidth - 3) cut = i;
        chars++;
    }
    if (chars > kStackLineWidth) text.replace(cut, end - cut, "...");
}

// A failure whose error! could not be made (the user's catalogue lacks its entry, say) is
// reported from the runtime's own error list.
std::string report(const Cell& error) {
    if (!cell::is(&error, T::Error)) return system_object::list_report(raised());
    TopScope scope;
    Cell v = error;
    Cell* buffer = string::make_at(stack::push(none::shared()), 128);
    registry::g_rows[static_cast<int>(T::Error)].form(&v, buffer, nullptr, 1 << 30);
    std::string text = text_of(buffer);
    cut_stack_line(text);
    return text;
}

// Runs the body under a frame that stops errors. Answers the body's value, or the error! that
// stopped it with its Stack line filled while the frames are still there.
struct Outcome {
    Cell value;
    bool failed;
};

template <class Body>
Outcome guarded(Body&& body) {
    Outcome out{*none::shared(), false};
    Cell* result = stack::push(none::shared());
    frames::Owner frame(&words::w::anon, frames::kTry);
    const std::optional<UnwindKind> kind = frame.run([&] { *result = *body(); });
    if (!kind) {
        out.value = *result;
        return out;
    }
    out.failed = true;
    out.value = cell::is(stack::top(), T::Error) ? *stack::top() : *raised_value();
    Cell* held = stack::push(&out.value);
    error::set_stack(held);
    out.value = *held;
    return out;
}

Outcome evaluate(const Cell* code) {
    return guarded([code] { return interp::do_block(code); });
}

// Lexes the text into a block on the stack; with `skip_header` a leading `Nuv [...]` is left
// out by moving the block's index past it.
Cell* load(const std::string& text, bool skip_header) {
    Cell* code = stack::push(none::shared());
    lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, code);
    if (skip_header && block::count(cell::node(code)) >= 2) {
        const NodeId node = cell::node(code);
        const Cell first = block::at(node, 0);
        const Cell second = block::at(node, 1);
        if (cell::is(&first, T::Word) && cell::is(&second, T::Block) &&
            symbol::resolve(word::symbol_of(&first)) == symbol::resolve(symbol::make_cstr("Nuv"))) {
            code->w1 = 2;
        }
    }
    return code;
}

bool read_file(const char* path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    text.erase(0, lexer::byte_order_mark_length(reinterpret_cast<const uint8_t*>(text.data()),
                                                text.size()));
    return true;
}

void write_line(const std::string& text) {
    output::write_text(text.data(), text.size());
    output::write_text("\n", 1);
}

bool is_string(const Cell* c) { return c && cell::is(c, T::String); }

// A syntax error of the source itself happened in no call: its `where` becomes the source's
// name with the lexer's line and its `near` the text the lexer shows at the failure. The error
// must lie on the stack. Allocates.
void locate_syntax_error(Cell* held, const char* source) {
    if (symbol::resolve(error::type_of(held)) != symbol::resolve(word::symbol_of(&words::w::syntax)))
        return;
    std::string where = source;
    const Cell* line = error::field(held, error::kArg1);
    if (is_string(line)) where += " " + text_of(line);
    Cell* text = stack::push(none::shared());
    string::load(reinterpret_cast<const uint8_t*>(where.data()), where.size(), text, string::kUtf8);
    error::put_field(held, error::kWhere, *text);
    for (const int32_t k : {error::kArg3, error::kArg2}) {
        const Cell* shown = error::field(held, k);
        if (!is_string(shown)) continue;
        error::put_field(held, error::kNear, *shown);
        break;
    }
}

// The text is loaded, then run; text that does not lex is reported like any other error, at
// its place in the source.
int run(const std::string& text, bool skip_header, const char* source) {
    TopScope scope;
    Outcome outcome = guarded([&] { return load(text, skip_header); });
    Cell* held = stack::push(&outcome.value);
    if (outcome.failed) {
        locate_syntax_error(held, source);
    } else {
        outcome = guarded([&] { return interp::do_block(held); });
        if (!outcome.failed) return 0;
        *held = outcome.value;
    }
    write_line(report(*held));
    return 1;
}

// ---- Case tables ----

std::string* g_capture = nullptr;

void capture_text(const char* text, size_t length, int32_t) {
    if (g_capture) g_capture->append(text, length);
}

bool is_word(const Cell& value, const char* name) {
    return cell::is(&value, T::Word) &&
           symbol::resolve(word::symbol_of(&value)) == symbol::resolve(symbol::make_cstr(name));
}

std::string id_text(const Cell& error) {
    const SymId id = error::id_of(&error);
    return id ? std::string(symbol::utf8_name(id), symbol::name_length(id)) : std::string("?");
}

int run_cases(const std::string& text, const char* path) {
    TopScope scope;
    const Outcome loaded = guarded([&] { return load(text, true); });
    if (loaded.failed) {
        Cell* held = stack::push(&loaded.value);
        locate_syntax_error(held, path);
        std::printf("%s: %s\n", path, report(*held).c_str());
        return 1;
    }
    Cell* table = stack::push(&loaded.value);
    const NodeId node = cell::node(table);
    int32_t rows = 0;
    int32_t failed = 0;
    output::add(nullptr, capture_text);
    for (int32_t i = block::head_index(table), n = block::count(node); i < n;) {
        TopScope row_scope;
        const Cell code = block::at(node, i);
        if (!cell::is(&code, T::Block) || i + 1 >= n) {
            std::printf("%s: row %d: a row is a code block and what is wanted\n", path, rows + 1);
            return 1;
        }
        Cell* held = stack::push(&code);
        Cell wanted = block::at(node, i + 1);
        enum class Want { Value, Error, Output, Mold } want = Want::Value;
        if (is_word(wanted, "error") || is_word(wanted, "output") || is_word(wanted, "mold")) {
            if (i + 2 >= n) {
                std::printf("%s: row %d: nothing after %s\n", path, rows + 1, mold(wanted).c_str());
                return 1;
            }
            want = is_word(wanted, "error")    ? Want::Error
                   : is_word(wanted, "output") ? Want::Output
                                               : Want::Mold;
            wanted = block::at(node, i + 2);
            i += 3;
        } else {
            i += 2;
        }
        rows++;
        std::string printed;
        g_capture = &printed;
        const Outcome outcome = evaluate(held);
        g_capture = nullptr;
        std::string got;
        std::string expected;
        switch (want) {
        case Want::Value:
            expected = mold(wanted);
            got = outcome.failed ? "error " + id_text(outcome.value) : mold(outcome.value);
            break;
        case Want::Error:
            expected = "error " + mold(wanted);
            if (cell::is(&wanted, T::LitWord)) expected = "error " + mold(wanted).substr(1);
            got = outcome.failed ? "error " + id_text(outcome.value) : mold(outcome.value);
            break;
        case Want::Mold:
            expected = cell::is(&wanted, T::String) ? string::to_std_utf8(&wanted) : mold(wanted);
            got = outcome.failed ? "error " + id_text(outcome.value) : mold(outcome.value);
            break;
        case Want::Output:
            expected = mold(wanted);
            if (outcome.failed) {
                got = "error " + id_text(outcome.value);
            } else {
                Cell* as_string = stack::push(none::shared());
                string::load(reinterpret_cast<const uint8_t*>(printed.data()), printed.size(),
                             as_string, string::kUtf8);
                got = mold(*as_string);
            }
            break;
        }
        if (got != expected) {
            failed++;
            std::printf("FAIL %s: %s\n  wanted: %s\n     got: %s\n", path, mold(*held).c_str(),
                        expected.c_str(), got.c_str());
            if (outcome.failed) std::printf("%s\n", report(outcome.value).c_str());
        }
    }
    output::remove(nullptr, capture_text);
    std::printf("%s: %d cases, %d failed\n", path, rows, failed);
    return failed ? 1 : 0;
}

// The script's arguments, as one text of blank-separated words, go to system/script/args.
void set_script_args(int argc, char** argv, int first) {
    if (first >= argc) return;
    std::string text;
    for (int k = first; k < argc; k++) text += (k > first ? " " : "") + std::string(argv[k]);
    TopScope scope;
    Cell* args = stack::push(none::shared());
    string::load(reinterpret_cast<const uint8_t*>(text.data()), text.size(), args, string::kUtf8);
    system_object::set_script_args(args);
}

int usage() {
    std::fprintf(stderr, "usage: nuv-run FILE [args] | nuv-run -e TEXT | nuv-run --cases FILE\n");
    return 2;
}

// Starts the runtime and the boot units under the entry frame: an error in a unit prints its
// report and ends the process with status 254.
void start() {
    runtime::init();
    runtime::set_collector_on(true);
    TopScope scope;
    boot_units::run_at_entry(boot_units::run);
}

int main_of(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string text;
    const bool inline_text = std::strcmp(argv[1], "-e") == 0;
    const bool cases = std::strcmp(argv[1], "--cases") == 0;
    if (inline_text || cases) {
        if (argc < 3) return usage();
        if (inline_text) text = argv[2];
    }
    const char* path = cases ? argv[2] : argv[1];
    if (!inline_text && !read_file(path, text)) {
        std::fprintf(stderr, "nuv-run: cannot read %s\n", path);
        return 2;
    }
    start();
    if (!inline_text && !cases) set_script_args(argc, argv, 2);
    const int status =
        cases ? run_cases(text, path) : run(text, !inline_text, inline_text ? "-e" : path);
    std::fflush(stdout);
    runtime::exit();
    return status;
}

}  // namespace

}  // namespace nuv

// Evaluation raises a C++ allocation that fails as no-memory; one made by the runner itself
// (reading the file, building a report) ends it with the same report.
int main(int argc, char** argv) {
    struct Args {
        int argc;
        char** argv;
    } args{argc, argv};
    return nuv::runtime::run_with_deep_stack(
        [](void* data) {
            auto* a = static_cast<Args*>(data);
            try {
                return nuv::main_of(a->argc, a->argv);
            } catch (const std::bad_alloc&) {
            } catch (const std::length_error&) {
            }
            std::fflush(stdout);
            std::puts("*** Internal Error: not enough memory");
            return 1;
        },
        &args);
}
