// Shared test support: the runtime is started once per test process (as the program does),
// with the collector switch on so the relocation stress mode applies to every test.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace nuv::test {

// The lexer's runs once the test program had started (main_env.cpp): start-up reads the boot
// image, so it lexes nothing.
inline uint64_t g_boot_lexer_runs = ~uint64_t{0};

// What a child process wrote on its standard output (and error) and its exit status (-1 when it
// did not exit).
struct Ended {
    std::string out;
    int status;
};
// Runs the body in a child process whose standard output and error go to a pipe; the child
// exits with status 0 when the body returns.
template <class F>
Ended in_child(F&& body) {
    int fds[2];
    if (pipe(fds) != 0) return {"no pipe", -1};
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        body();
        std::fflush(stdout);
        std::_Exit(0);
    }
    close(fds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// Runs `body` and returns the id of the error it raised; fails the test when nothing was raised.
template <class F>
Err raised_by(F&& body) {
    try {
        body();
    } catch (const Unwind& u) {
        if (u.kind == UnwindKind::Error) return raised().id;
        ADD_FAILURE() << "unwound with a non-error kind";
        return Err::NotDone;
    }
    ADD_FAILURE() << "no error was raised";
    return Err::NotDone;
}

// The body's result, or "error <id>" when it raised one.
template <class Body>
std::string outcome(Body&& body) {
    try {
        return body();
    } catch (const Unwind& u) {
        if (u.kind != UnwindKind::Error) return "unwound";
        return std::string("error ") + err_word(raised().id);
    }
}

#define EXPECT_RAISES(expr, id)                                                       \
    EXPECT_EQ(::nuv::err_word(::nuv::test::raised_by([&] { (void)(expr); })),          \
              ::nuv::err_word(id))

// Keeps the argument stack as it was at construction; every test that pushes uses one.
struct StackScope {
    stack::Mark mark;
    ~StackScope() { mark.restore(); }
};

// A code point as "U+0041".
inline std::string hex(char32_t cp) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(cp));
    return text;
}

inline Cell int_cell(int32_t v) {
    return Cell{static_cast<uint32_t>(TypeId::Integer), 0, static_cast<uint32_t>(v), 0};
}

// An unbound word of the type (no context, no index).
inline Cell loose_word(const char* name, TypeId type = TypeId::Word) {
    return Cell{static_cast<uint32_t>(type), 0, symbol::make_cstr(name), word::kNoIndex};
}

// A new block on the argument stack holding the cells, with room for exactly that many, so the
// next insertion grows it.
inline Cell* block_of(std::initializer_list<Cell> cells) {
    Cell* b = block::push_new(static_cast<int32_t>(cells.size()));
    for (const Cell& c : cells) block::append_cell(b, &c);
    return b;
}
// The same for a block of integers.
inline Cell* ints(std::initializer_list<int32_t> values) {
    Cell* b = block::push_new(static_cast<int32_t>(values.size()));
    for (int32_t v : values) {
        Cell c = int_cell(v);
        block::append_cell(b, &c);
    }
    return b;
}

// The places of a hash!'s cells that its index does not find at their own place (empty when
// the index is in step with the block).
inline std::vector<int32_t> unindexed_cells(const Cell* hash) {
    std::vector<int32_t> missing;
    const NodeId node = cell::node(hash);
    for (int32_t i = 0; i < block::count(node); i++) {
        const Cell c = block::at(node, i);
        if (hashtable::find_in(hash->w3, &c, CompareOp::StrictEqual, {i, i, i, 1, false}) != i)
            missing.push_back(i);
    }
    return missing;
}

// A string! on the argument stack holding the UTF-8 text.
inline Cell* text(const std::string& utf8) {
    return string::load_new(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(),
                            string::kUtf8);
}

// The fast decoder over the whole input: the code points, -1 for each rejection.
inline std::vector<int32_t> fast_decode(const std::vector<uint8_t>& in) {
    std::vector<int32_t> out;
    const uint8_t* p = in.data();
    const uint8_t* end = p + in.size();
    while (p < end) {
        int32_t cp;
        p = unicode::fast_decode_utf8_char(p, end, &cp);
        out.push_back(cp);
    }
    return out;
}

// The bytes the hex digits spell, two digits a byte.
inline std::vector<uint8_t> unhex(const std::string& text) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

// The bytes of every file of the fuzz corpus folder tests/fuzz/corpus/NAME.
inline std::vector<std::vector<uint8_t>> fuzz_corpus(const char* name) {
    namespace fs = std::filesystem;
    std::vector<std::vector<uint8_t>> inputs;
    for (const auto& entry :
         fs::directory_iterator(fs::path(NUV_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / name)) {
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return inputs;
}

}  // namespace nuv::test
