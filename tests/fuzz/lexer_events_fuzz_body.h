// One fuzz input through `transcode/trace`: the bytes choose a source text (pieces of syntax and
// raw bytes, given as a binary or as a string), a callback whose answers and moves of `input`
// come from a list the bytes fill (true, false, none; a step, head or tail; an edit of the
// source), the callback's event block, and calls in every mode. The lists are finite and the
// callback answers true without moving once they are used up, so every run ends. After each call
// no lexer run is left active. Shared by the libFuzzer target and the corpus replay.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/syntax/lexer.h"
#include "tests/fuzz/steps_body.h"

namespace nuv::fuzz {

class LexerEventsWriter {
  public:
    LexerEventsWriter(const uint8_t* data, size_t size) : in_(data, size) {}

    std::string write() {
        out_ = "[bytes: #{";
        for (int pieces = in_.pick(24); pieces > 0; pieces--) piece();
        out_ += "}\n text: either error? text: try [to string! bytes] [bytes] [text]\n src: ";
        out_ += pick_of(in_, {"bytes", "bytes", "text", "skip bytes 2", "copy/part bytes 5"});
        out_ += "\n ans: [";
        for (int k = in_.pick(16); k > 0; k--)
            out_ += pick_of(in_, {"true ", "false ", "none ", "false ", "1 "});
        out_ += "]\n mv: [";
        for (int k = in_.pick(12); k > 0; k--)
            out_ += pick_of(in_, {"none ", "1 ", "-1 ", "3 ", "-4 ", "100 ", "head ", "tail ",
                                  "grow ", "cut ", "none ", "2 "});
        out_ += "]\n cnt: 0 out: copy [x]\n cb: func [event input type line token /local m] [";
        if (in_.pick(3) == 0) {
            out_ += '[';
            for (int k = 1 + in_.pick(3); k > 0; k--) {
                out_ += pick_of(in_, {"prescan", "scan", "load", "open", "close", "error", "foo"});
                out_ += ' ';
            }
            out_ += "] ";
        }
        out_ += "cnt: cnt + 1 m: pick mv cnt case ["
                "integer? m [input: skip input m] m = 'head [input: head input]"
                " m = 'tail [input: tail input] m = 'grow [append input \"x\"]"
                " m = 'cut [clear skip head input 2]]"
                " either cnt > length? ans [true] [pick ans cnt]]";
        // A callback that runs a traced transcode of its own: runs nest.
        out_ += "\n cb2: func [event input type line token] [transcode/trace \"a [b]\" :cb true]";
        out_ += "]\n";
        for (int calls = 1 + in_.pick(3); calls > 0; calls--) call();
        return out_;
    }

  private:
    void hex(uint8_t b) {
        static const char digits[] = "0123456789ABCDEF";
        out_ += digits[b >> 4];
        out_ += digits[b & 15];
    }
    void hex(const char* text) {
        for (const char* p = text; *p; p++) hex(static_cast<uint8_t>(*p));
    }

    // A piece of syntax, or a raw byte.
    void piece() {
        if (in_.pick(6) == 0) {
            hex(in_.next());
            return;
        }
        hex(pick_of(in_, {"a", " ", "[", "]", "(", ")", "{", "}", "1", "1.2.x", "#[", "\"s\"",
                          ";c\n", "\n", "/", "x/y", "#(", "\u00e9", "<t>", "%f", "$1", "1x2",
                          "#{", "0", "'", ":", "@", ",", "\"", "^", "(1 2)", "#\"a\"", "12:30",
                          "a:", ":a", "1e", "#a", "http://x", "2-Jan-2020", "\xEF\xBB\xBF"}));
    }

    void call() {
        out_ += "[transcode";
        const int mode = in_.pick(6);
        if (mode == 1) out_ += "/next";
        if (mode == 2) out_ += "/one";
        if (mode == 3) out_ += "/scan";
        if (mode == 4) out_ += "/prescan";
        const bool part = in_.pick(4) == 0;
        const bool into = in_.pick(5) == 0;
        if (part) out_ += "/part";
        if (into) out_ += "/into";
        out_ += "/trace src ";
        if (part) out_ += std::to_string(in_.pick(20) - 2) + ' ';
        if (into) out_ += "out ";
        out_ += pick_of(in_, {":cb", ":cb", ":cb", ":cb2"});
        out_ += " cnt: 0]\n";
    }

    Choices in_;
    std::string out_;
};

inline std::string lexer_events_program(const uint8_t* data, size_t size) {
    return LexerEventsWriter(data, size).write();
}

// Runs the program's calls; after each one no lexer run is active.
inline void lexer_events_input(const uint8_t* data, size_t size) {
    const std::string program = lexer_events_program(data, size);
    run_steps("lexer events fuzz", program, [] { return lexer::active_runs() == 0; });
}

}  // namespace nuv::fuzz
