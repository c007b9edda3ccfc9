// What the program targets share: starting the runtime with the boot source, loading a written
// program, and running one in a runtime made for it alone while keeping what it printed and the
// report of an error that ended it. A text the writer made that does not lex, or a boot source
// that fails, is the fuzz harness's fault and aborts.
#pragma once
#include <string>

#include "runtime/cell.h"

namespace nuv::fuzz {

[[noreturn]] void give_up(const char* target, const char* what, const std::string& text);

// Runtime init, the collector switch on, then the boot source.
void start_runtime();

// The text's values, in a block pushed on the argument stack.
Cell* load_program(const char* target, const std::string& text);

// Runs the text in the runtime already started, under a try frame that stops every error and
// unwinding, then collects. Frames left behind are a finding.
void run_guarded(const char* target, const std::string& text);

// What a program did: its printed text (cut at kMaxOutput bytes) and, when an error or another
// unwinding ended it, the "*** " report of that error with its Stack line; empty otherwise.
struct Outcome {
    std::string output;
    std::string report;
};
inline constexpr size_t kMaxOutput = 1 << 20;

// Starts a runtime, runs the text in it under the evaluator settings in force, and ends the
// runtime again.
Outcome run_fresh(const char* target, const std::string& text);

}  // namespace nuv::fuzz
