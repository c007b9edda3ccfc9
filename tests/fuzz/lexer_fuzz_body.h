// One fuzz input through the lexer: every mode over the raw bytes (load, one value, scan,
// prescan, and a run whose hook declines every error so scanning resumes past it), then the
// string entry when the bytes are UTF-8. Syntax and other language errors are expected; any
// crash, sanitizer report or escaping C++ exception is a finding. Shared by the libFuzzer
// target and the corpus replay of the unit tests.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/collector.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/runtime.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/unicode.h"

namespace nuv::fuzz {

// Starts the runtime on the first call, with the collector on, as the fuzz targets run it.
inline void start_runtime_once() {
    static const bool started = [] {
        runtime::init();
        roots::set_collector_on(true);
        roots::set_auto_root(false);
        return true;
    }();
    (void)started;
}

inline bool decline_errors(void*, lexer::EventInfo& info) {
    return info.event != lexer::Event::Error;
}

inline bool is_utf8(const uint8_t* data, size_t size) {
    const uint8_t* end = data + size;
    for (const uint8_t* p = data; p < end;) {
        int32_t cp;
        p = unicode::fast_decode_utf8_char(p, end, &cp);
        if (cp < 0) return false;
    }
    return true;
}

// Each input's new nodes stop being roots when it is done, so a long run keeps only what the
// runtime itself keeps.
inline void lex_input(const uint8_t* data, size_t size) {
    collector::FreshScope fresh;
    lexer::Options modes[5];
    modes[1].one = true;
    modes[2].mode = lexer::Mode::Scan;
    modes[3].mode = lexer::Mode::Prescan;
    modes[4].hook = decline_errors;
    for (const lexer::Options& options : modes) {
        stack::Mark mark;
        Cell result;
        try {
            lexer::transcode(data, size, options, &result);
        } catch (const Unwind&) {
        }
        mark.restore();
    }
    if (!is_utf8(data, size)) return;
    stack::Mark mark;
    try {
        Cell* text = string::load_new(data, size, string::kUtf8);
        Cell result;
        lexer::Refinements next;
        next.next = true;
        lexer::run_transcode(text, next, &result);
    } catch (const Unwind&) {
    }
    mark.restore();
}

}  // namespace nuv::fuzz
