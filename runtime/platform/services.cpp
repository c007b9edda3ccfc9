#include "runtime/platform/services.h"

#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/evaluator/routines.h"
#include "runtime/hooks.h"
#include "runtime/output.h"
#include "runtime/platform/files.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/unicode.h"

namespace nuv::services {

namespace {

using routines::arg_cell;

uint64_t exists(const uint64_t* args) { return files::exists(arg_cell(args[0])) ? 1 : 0; }

uint64_t create_dir(const uint64_t* args) {
    files::create_dir(arg_cell(args[0]));
    unset::set(stack::arg(0));
    return 0;
}

uint64_t write_stdout(const uint64_t* args) {
    std::string bytes = files::value_bytes(arg_cell(args[0]), -1);
    output::write_text(bytes.data(), bytes.size());
    if (!bytes.empty()) output::set_last_new_line(bytes.back() == '\n');
    unset::set(stack::arg(0));
    return 0;
}

// The whole of a small file of the system, empty when it cannot be read.
std::string slurp(const char* path) {
    std::string text;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char chunk[4096];
    ssize_t n;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

// os-release's PRETTY_NAME, its quotes taken off; empty when there is none.
std::string pretty_name() {
    std::string text = slurp("/etc/os-release");
    if (text.empty()) text = slurp("/usr/lib/os-release");
    size_t at = text.find("PRETTY_NAME=");
    if (at == std::string::npos || (at > 0 && text[at - 1] != '\n')) return {};
    std::string value = text.substr(at + 12, text.find('\n', at) - at - 12);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return value;
}

const char* arch_word(const char* machine) {
    struct Arch {
        const char* machine;
        const char* word;
    };
    static constexpr Arch kArchs[] = {{"x86_64", "x86-64"}, {"i386", "x86-32"},
                                      {"i686", "x86-32"},   {"aarch64", "ARM64"},
                                      {"arm", "ARM"},       {"ia64", "IA-64"}};
    for (const Arch& a : kArchs) {
        if (!std::strncmp(machine, a.machine, std::strlen(a.machine))) return a.word;
    }
    return "Unknown";
}

// Builds the object from source text, so its fields come in the order written.
uint64_t os_info(const uint64_t*) {
    utsname u{};
    uname(&u);
    int parts[3] = {0, 0, 0};
    const char* p = u.release;
    for (int i = 0; i < 3 && *p; i++) {
        while (*p && (*p < '0' || *p > '9')) {
            if (*p == '-') break;
            p++;
        }
        if (*p == '-') break;
        parts[i] = static_cast<int>(std::strtol(p, const_cast<char**>(&p), 10));
        if (*p == '.') p++;
    }
    const char* dash = std::strchr(u.release, '-');
    long build = dash ? std::strtol(dash + 1, nullptr, 10) : 0;
    std::string name = "Linux";
    std::string pretty = pretty_name();
    if (!pretty.empty()) name += " " + pretty;
    std::string text = "make object! [name: {";
    for (char c : name) {
        if (c == '{' || c == '}' || c == '^') text += '^';
        text += c;
    }
    text += "} arch: '";
    text += arch_word(u.machine);
    text += " version: " + std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
            std::to_string(parts[2]) + " build: " + std::to_string(build) + "]";
    stack::Mark mark;
    Cell* code = stack::reserve();
    lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, code);
    Cell result = *hooks::do_block(code);
    mark.restore();
    *stack::arg(0) = result;
    return 0;
}

uint64_t get_command_line(const uint64_t*) {
    std::string raw = slurp("/proc/self/cmdline");
    std::vector<const char*> args;
    for (size_t at = 0; at < raw.size(); at += std::strlen(raw.c_str() + at) + 1)
        args.push_back(raw.c_str() + at);
    std::string line = command_line(args.data(), static_cast<int>(args.size()));
    string::load(reinterpret_cast<const uint8_t*>(line.data()), line.size(), stack::arg(0),
                 string::kUtf8);
    return 0;
}

struct Routine {
    const char* word;
    const char* spec;
    routines::Entry entry;
    int32_t kind;
};

constexpr Routine kRoutines[] = {
    {"create-dir", "\"Create the given directory\" path [file!]", create_dir,
     routines::kNoResult},
    {"exists?", "\"Returns TRUE if the file exists\" path [file!] return: [logic!]", exists,
     routines::kLogicResult},
    {"os-info", "\"Returns detailed operating system version information\"", os_info,
     routines::kNoResult},
    {"write-stdout", "\"Write data to STDOUT\" data [any-type!]", write_stdout,
     routines::kNoResult},
    {"get-command-line", "\"Returns the command line of the process\" return: [string!]",
     get_command_line, routines::kNoResult},
};

}  // namespace

std::string command_line(const char* const* args, int count) {
    std::string line;
    for (int i = 0; i < count; i++) {
        if (i > 0) line += ' ';
        const bool quote = !*args[i] || std::strpbrk(args[i], " \t\n\"") != nullptr;
        if (quote) line += '"';
        line += unicode::lenient_utf8(reinterpret_cast<const uint8_t*>(args[i]), std::strlen(args[i]));
        if (quote) line += '"';
    }
    return line;
}

void init() {
    for (const Routine& r : kRoutines) routines::bind(r.word, r.spec, r.entry, r.kind);
}

}  // namespace nuv::services
