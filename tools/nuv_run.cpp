// nuv-run: runs Nuv text without the console, for tests and benchmarks.
//
//   nuv-run FILE [args]    evaluates the file (a first line starting with `#!` and a leading
//                          `Nuv [...]` header are skipped)
//   nuv-run -e TEXT        evaluates the text
//   nuv-run --cases FILE   checks the file's table of cases (below)
//   nuv-run --help         prints the usage line
//   nuv-run --version      prints the runner's name and system/version
//
// The runtime starts as the console starts it: runtime init, then the boot source, whose start-up
// puts the words after the runner's own path in system/options/args (`nuv-run FILE a` gives
// ["FILE" "a"]) and their text, as the command line writes it, in system/script/args. print and
// prin write to standard output; a write that fails ends the process with status 1. An error
// that reaches the top prints the console's "*** " report to standard error (standard output
// written out first) and the status is 1; otherwise it is 0. A file that cannot be read, or
// arguments the runner does not take, give status 2. An error in a boot unit prints its report
// to standard error and the status is 254; an unwinding that leaves the boot units (a throw no
// catch takes) ends the process as runtime error 95.
//
// A case table is the file's values after the header, one row after another:
//   [code] value            the code's value molds as the value does
//   [code] error id         the code raises the error whose id is the word
//   [code] output "text"    the code writes exactly the text
//   [code] mold "text"      the code's value molds as the text (for values that are not one
//                           value when written, such as functions)
// Rows share the global context, so a row may use the words an earlier row set. Each failing
// row prints its code, what was wanted and what came (a value whose mold raises comes as the
// error's id); the status is 1 when any row fails.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "boot/boot_units.h"
#include "runtime/cycles.h"
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
#include "runtime/roots.h"
#include "runtime/runtime.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/system.h"
#include "runtime/unicode.h"
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
    const std::optional<UnwindKind> kind = frame.run([&] {
        const cycles::Guard walks;  // a mold or form the error cut short leaves its walk here
        *result = *body();
    });
    if (!kind) {
        out.value = *result;
        return out;
    }
    out.failed = true;
    out.value = cell::is(stack::top(), T::Error) ? *stack::top() : *raised_value();
    stack::g_args.top = result + 1;  // the raise's own cells go: a stack overflow left them full
    Cell* held = stack::push(&out.value);
    error::set_stack(held);
    out.value = *held;
    return out;
}

Outcome evaluate(const Cell* code) {
    return guarded([code] { return interp::do_block(code); });
}

std::string id_text(const Cell& error) {
    const SymId id = error::id_of(&error);
    return id ? std::string(symbol::utf8_name(id), symbol::name_length(id)) : std::string("?");
}

// Forms (or molds) the value into the string, under a frame: forming runs code (a date reads
// the month names) that may raise. Answers that outcome; the string keeps what was written
// before any error.
Outcome write_value(const Cell* value, Cell* buffer, bool mold) {
    return guarded([=] {
        const ActionRow& row = registry::row(cell::type_of(value));
        Cell v = *value;
        if (mold) row.mold(&v, buffer, false, false, false, nullptr, 1 << 30, 0);
        else row.form(&v, buffer, nullptr, 1 << 30);
        return buffer;
    });
}

// The value's mold, or "error ID" with the id of what molding it raised.
struct Molded {
    std::string text;
    bool failed;
};

// A string on the stack that molds write into when it is set, emptied first: a table's rows
// mold several values each, and need not make a string for each.
Cell* g_mold_buffer = nullptr;

Molded mold_of(const Cell& value) {
    TopScope scope;
    const Cell* held = stack::push(&value);
    Cell* buffer = g_mold_buffer;
    if (buffer) string::trim_min(cell::node(buffer), 0);
    else buffer = string::make_at(stack::push(none::shared()), 64);
    const Outcome molded = write_value(held, buffer, true);
    if (molded.failed) return {"error " + id_text(molded.value), true};
    return {text_of(buffer), false};
}

std::string mold(const Cell& value) { return mold_of(value).text; }

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
// reported from the runtime's own error list. When forming the report raises, the lines
// formed stand and the line cut short ends in "...".
std::string report(const Cell& error) {
    if (!cell::is(&error, T::Error)) return system_object::list_report(raised());
    TopScope scope;
    const Cell* held = stack::push(&error);
    Cell* buffer = string::make_at(stack::push(none::shared()), 128);
    const bool cut_short = write_value(held, buffer, false).failed;
    std::string text = text_of(buffer) + (cut_short ? "..." : "");
    cut_stack_line(text);
    return text;
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

// The file's bytes after any byte-order mark; false when it cannot be read (a directory too).
bool read_file(const char* path, std::string& text) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char chunk[65536];
    ssize_t n;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
    ::close(fd);
    if (n < 0) return false;
    text.erase(0, lexer::byte_order_mark_length(reinterpret_cast<const uint8_t*>(text.data()),
                                                text.size()));
    return true;
}

// The runner's own lines to standard output.
void say(const std::string& text) {
    output::write_stdout(text.data(), text.size());
    output::write_stdout("\n", 1);
}

// A report to standard error, after what the program printed.
void complain(const std::string& text) {
    output::flush();
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
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
    complain(report(*held));
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

int run_cases(const std::string& text, const char* path) {
    TopScope scope;
    const Outcome loaded = guarded([&] { return load(text, true); });
    if (loaded.failed) {
        Cell* held = stack::push(&loaded.value);
        locate_syntax_error(held, path);
        complain(std::string(path) + ": " + report(*held));
        return 1;
    }
    Cell* table = stack::push(&loaded.value);
    const NodeId node = cell::node(table);
    struct MoldBuffer {
        MoldBuffer() { g_mold_buffer = string::make_at(stack::push(none::shared()), 256); }
        ~MoldBuffer() { g_mold_buffer = nullptr; }
    } mold_buffer;
    int32_t rows = 0;
    int32_t failed = 0;
    output::add(nullptr, capture_text);
    for (int32_t i = block::head_index(table), n = block::count(node); i < n;) {
        TopScope row_scope;
        const Cell code = block::at(node, i);
        if (!cell::is(&code, T::Block) || i + 1 >= n) {
            complain(std::string(path) + ": row " + std::to_string(rows + 1) +
                     ": a row is a code block and what is wanted");
            return 1;
        }
        Cell* held = stack::push(&code);
        Cell wanted = block::at(node, i + 1);
        enum class Want { Value, Error, Output, Mold } want = Want::Value;
        if (is_word(wanted, "error") || is_word(wanted, "output") || is_word(wanted, "mold")) {
            if (i + 2 >= n) {
                complain(std::string(path) + ": row " + std::to_string(rows + 1) + ": nothing after " +
                         mold(wanted));
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
        // The code and what is wanted as they mold before the row runs: the row may change how
        // they mold, or break their molding (the month names a date reads).
        const std::string code_text = mold(*held);
        const std::string wanted_text = mold(wanted);
        std::string printed;
        g_capture = &printed;
        const Outcome outcome = evaluate(held);
        g_capture = nullptr;
        const Molded wanted_now = mold_of(wanted);
        std::string expected = wanted_now.failed ? wanted_text : wanted_now.text;
        std::string got = outcome.failed ? "error " + id_text(outcome.value) : mold(outcome.value);
        switch (want) {
        case Want::Value: break;
        case Want::Error:
            expected = "error " + (cell::is(&wanted, T::LitWord) ? expected.substr(1) : expected);
            break;
        case Want::Mold:
            if (cell::is(&wanted, T::String)) expected = string::to_std_utf8(&wanted);
            break;
        case Want::Output:
            if (!outcome.failed) {
                const std::string text = unicode::lenient_utf8(
                    reinterpret_cast<const uint8_t*>(printed.data()), printed.size());
                Cell* as_string = stack::push(none::shared());
                string::load(reinterpret_cast<const uint8_t*>(text.data()), text.size(), as_string,
                             string::kUtf8);
                got = mold(*as_string);
            }
            break;
        }
        if (got != expected) {
            failed++;
            say("FAIL " + std::string(path) + ": " + code_text + "\n  wanted: " + expected +
                "\n     got: " + got);
            if (outcome.failed) say(report(outcome.value));
        }
    }
    output::remove(nullptr, capture_text);
    say(std::string(path) + ": " + std::to_string(rows) + " cases, " + std::to_string(failed) +
        " failed");
    return failed ? 1 : 0;
}

constexpr const char* kUsage =
    "usage: nuv-run FILE [args] | nuv-run -e TEXT | nuv-run --cases FILE | nuv-run --help | "
    "nuv-run --version";

int usage() {
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
}

// Starts the runtime and the boot units under the entry frame: an error in a unit prints its
// report and ends the process with status 254.
void start() {
    runtime::init();
    roots::set_collector_on(true);
    TopScope scope;
    boot_units::run_at_entry(boot_units::run);
}

// "nuv-run" and system/version formed.
int version() {
    TopScope scope;
    const Outcome got = guarded([] { return interp::do_block(load("form system/version", false)); });
    const Cell* held = stack::push(&got.value);
    if (got.failed || !is_string(held)) {
        complain(report(*held));
        return 1;
    }
    say("nuv-run " + text_of(held));
    return 0;
}

// The first line of a script that starts with "#!" is left out; its line end stays, so lines
// keep their numbers.
void skip_interpreter_line(std::string& text) {
    if (text.starts_with("#!")) text.erase(0, text.find('\n'));
}

int main_of(int argc, char** argv) {
    if (argc < 2) return usage();
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        say(kUsage);
        output::flush();
        return 0;
    }
    const bool show_version = argc == 2 && std::strcmp(argv[1], "--version") == 0;
    std::string text;
    const bool inline_text = std::strcmp(argv[1], "-e") == 0;
    const bool cases = std::strcmp(argv[1], "--cases") == 0;
    if (inline_text || cases) {
        if (argc < 3) return usage();
        if (inline_text) text = argv[2];
    }
    const char* path = cases ? argv[2] : argv[1];
    if (!inline_text && !show_version && !read_file(path, text)) {
        std::fprintf(stderr, "nuv-run: cannot read %s\n", path);
        return 2;
    }
    start();
    if (!inline_text && !cases && !show_version) skip_interpreter_line(text);
    const int status = show_version ? version()
                       : cases      ? run_cases(text, path)
                                    : run(text, !inline_text, inline_text ? "-e" : path);
    output::flush();
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
            nuv::output::flush();
            std::fputs("*** Internal Error: not enough memory\n", stderr);
            return 1;
        },
        &args);
}
