// One fuzz input through `parse`: the bytes choose an input (a string, a binary or a block), a
// few named rules and some calls, each with a rule built from a table of rule items (literals,
// bitsets, datatypes, every keyword, sub-blocks, counts, parens that edit the input, nested
// calls, a trace callback answering at random). Each call runs alone under a try frame; errors
// in the system's terms are expected. A crash, a sanitizer report, or a call that leaves the
// engine's frames or the argument stack away from where it found them is a finding (the check
// aborts). Shared by the libFuzzer target and the corpus replay.
//
// Rules that never end by construction are not written. Inside a loop's argument (any, some,
// while, counts, to, thru) and in the named rules and callbacks, which loops may reach:
// - no insert, no change, no paren that lengthens the input: each round would grow the input
//   by what it consumes (`any [insert "b"]`, `to [insert "a" fail]`, `any [change none "x"]`);
// - no get-word and no `remove word`: they move the input back, so rounds can cycle;
// - `while` takes a block whose first item consumes at least one unit and that has no `|` at
//   its top: while goes on after a round that consumed nothing (`while none`,
//   `while [opt "a"]`, `while [skip fail | none]`);
// - no integer literal (`quote 1` instead) and no count word as an argument: a count makes the
//   item after it its rule, and that item comes from outside the loop (`some 1 change none "x"`).
// With those out, a loop's round either shortens the input or moves forward, so it stops.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/evaluator/parse.h"
#include "tests/fuzz/steps_body.h"

namespace nuv::fuzz {

// Writes the program of one input: a block of setup, then one block per call.
class ParseWriter {
  public:
    ParseWriter(const uint8_t* data, size_t size) : in_(data, size) {}

    std::string write() {
        kind_ = in_.pick(3);
        out_ = "[s: ";
        input();
        out_ += "\n t: ";
        out_ += pick_of(in_, {"true", "false", "none"});
        const int n = in_.pick(4);
        out_ += " n: " + std::to_string(n) + " m: " + std::to_string(n + in_.pick(3));
        out_ += " b1: make bitset! \"a\u00e9\" w1: ";
        const std::string word_value = literal(false);
        out_ += word_value.starts_with("quote ") ? "'a" : word_value;
        out_ += " p: none q: none w: none cnt: 0"
                " x1: copy \"\" x2: copy [] x3: copy #{} x4: copy \"\u00e9\""
                "\n ans: [";
        for (int k = in_.pick(6); k > 0; k--) {
            out_ += pick_of(in_, {"true ", "false ", "none ", "1 ", "[remove s true] ",
                                  "[clear s true] ", "[parse s [any skip]] "});
        }
        out_ += "]\n cb: func [ev ok rule inp stk /local a] [cnt: cnt + 1 a: pick ans cnt"
                " case [cnt > length? ans [true] block? a [do a] true [a]]]";
        // Rules a loop may reach: written with the loop restrictions.
        out_ += "\n r1: ";
        block(2, true, false);
        out_ += "\n r2: ";
        block(2, true, false);
        out_ += "]\n";
        for (int calls = 1 + in_.pick(3); calls > 0 && budget_ > 0; calls--) call();
        return out_;
    }

  private:
    void input() {
        const int length = in_.pick(9);
        if (kind_ == 0) {
            out_ += "copy \"";
            for (int k = 0; k < length; k++)
                out_ += pick_of(in_, {"a", "b", "A", "\u00e9", "\u20ac", "\U0001D11E", "x",
                                      " ", "^/"});
            out_ += '"';
        } else if (kind_ == 1) {
            out_ += "copy #{";
            for (int k = 0; k < length; k++)
                out_ += pick_of(in_, {"61", "62", "41", "C3", "A9", "00", "FF", "5B", "31", "20"});
            out_ += '}';
        } else {
            out_ += pick_of(in_, {"copy/deep [", "to paren! ["});
            for (int k = 0; k < length; k++) {
                out_ += pick_of(in_, {"1", "2", "a", "b", "\"a\"", "\"ab\"", "#\"a\"", "[1 a]",
                                      "(a)", "'a", "none", "x:", "[]", "b/c", "2.5"});
                out_ += ' ';
            }
            out_ += ']';
        }
    }

    // A value the input's kind can match, now and then one of another kind.
    std::string literal(bool any_kind) {
        const int kind = any_kind || in_.pick(8) == 0 ? in_.pick(3) : kind_;
        if (kind == 0)
            return pick_of(in_, {"\"a\"", "\"b\"", "\"ab\"", "\"\"", "\"\u00e9\"", "#\"a\"",
                                 "#\"B\"", "#\"\u00e9\"", "\"A\"", "<a>", "%a", "\"\U0001D11E\""});
        if (kind == 1)
            return pick_of(in_, {"#{61}", "#{6162}", "#{}", "#{C3A9}", "#{00}", "#\"a\""});
        // An integer in a rule is a count, which would make the item after it its rule.
        return pick_of(in_, {"quote 1", "quote 2", "'a", "\"a\"", "#\"a\"", "2.5", "'b",
                             "quote [1]"});
    }

    const char* datatype() {
        return pick_of(in_, {"integer!", "word!", "string!", "char!", "block!", "any-string!",
                             "any-word!", "none!", "binary!", "series!", "float!", "set-word!"});
    }

    // A paren of small edits of the input; `shrink`: only ones that do not lengthen it.
    void paren(bool shrink) {
        static const char* const shrinking[] = {
            "(remove s)", "(clear skip s 2)", "(take/last s)", "(s: next s)", "(1)",
            "(remove/part s 3)", "(clear s)", "(p: none)"};
        const char* growing_text[] = {"(append s \"x\")", "(insert s \"yz\")", "(change s \"q\")"};
        const char* growing_bytes[] = {"(append s #{78})", "(insert s #{7879})",
                                       "(change s #{71})"};
        const char* growing_items[] = {"(append s 'x)", "(insert s [1 2])", "(change s \"q\")"};
        const int k = in_.pick(12);
        if (k < 8) {
            out_ += shrinking[k];
        } else if (k < 10) {
            // A nested call; under a loop its rule is a loop's rule too.
            out_ += pick_of(in_, {"(parse s ", "(parse copy s ", "(parse/case next s "});
            block(1, shrink, true);
            out_ += ')';
        } else if (shrink) {
            out_ += "(s)";
        } else {
            const char* const* growing =
                kind_ == 0 ? growing_text : kind_ == 1 ? growing_bytes : growing_items;
            out_ += growing[in_.pick(3)];
        }
    }

    // A rule block. `loop`: the loop restrictions hold in it; `bars`: `|` may stand at its top.
    void block(int depth, bool loop, bool bars) {
        out_ += '[';
        for (int items = in_.pick(5); items > 0 && budget_ > 0; items--) {
            if (!item(depth, loop, bars)) break;
            out_ += ' ';
        }
        out_ += ']';
    }

    // The argument of a command: one rule item (keywords nest).
    void argument(int depth, bool loop) {
        if (depth <= 0 || budget_ <= 0) {
            out_ += in_.pick(2) ? literal(false) : "skip";
            return;
        }
        item(depth, loop, false, true);
    }

    // `while`'s argument: a block that consumes before anything else and has no `|` at its top.
    void consuming_block(int depth) {
        out_ += "[";
        const int first = in_.pick(4);
        if (first == 0) out_ += "skip";
        else if (first == 1 && kind_ != 2) out_ += "b1";
        else if (first == 2 && kind_ == 2) out_ += datatype();
        else out_ += pick_of(in_, {"\"a\"", "#\"a\"", "#{61}", "'a"});
        for (int items = in_.pick(4); items > 0 && budget_ > 0; items--) {
            out_ += ' ';
            if (!item(depth, true, false)) break;
        }
        out_ += ']';
    }

    // Writes one rule item; answers false when the block must end after it (a keyword left
    // without its argument).
    bool item(int depth, bool loop, bool bars, bool as_argument = false) {
        budget_--;
        const int choice = in_.pick(depth > 0 ? 36 : 10);
        switch (choice) {
        case 0: case 1: case 2: out_ += literal(false); return true;
        case 3:
            out_ += pick_of(in_, {"skip", "end", "none", "fail", "break", "reject"});
            return true;
        case 4: out_ += "b1"; return true;
        case 5: out_ += datatype(); return true;
        case 6:
            // A count word outside a count takes the next item as its rule: not in an argument,
            // whose next item comes from the enclosing block.
            if (traced_ && as_argument) out_ += pick_of(in_, {"w1", "t"});
            else if (traced_) out_ += pick_of(in_, {"w1", "n", "t"});
            else if (as_argument) out_ += pick_of(in_, {"w1", "r1", "r2", "t"});
            else out_ += pick_of(in_, {"w1", "r1", "r2", "n", "t"});
            return true;
        case 7: out_ += pick_of(in_, {"p:", "q:"}); return true;
        case 8:
            // As a command's argument, `|` ends the alternative before the command has a rule;
            // a loop's block keeps none at its top, where it would open an empty alternative.
            out_ += bars || (as_argument && !loop) ? "|" : "skip";
            return true;
        case 9: paren(loop); return true;
        case 10: case 11: block(depth - 1, loop, true); return true;
        case 12: case 13:
            out_ += pick_of(in_, {"any ", "some ", "opt "});
            argument(depth - 1, true);
            return true;
        case 14:
            out_ += "while ";
            consuming_block(depth - 1);
            return true;
        case 15: {
            const int low = in_.pick(4) - (in_.pick(16) == 0 ? 2 : 0);
            out_ += std::to_string(low) + ' ';
            if (in_.pick(2)) out_ += std::to_string(low + in_.pick(3) - (in_.pick(8) == 0)) + ' ';
            if (in_.pick(4) == 0) out_ += "n m ";
            argument(depth - 1, true);
            return true;
        }
        case 16:
            out_ += pick_of(in_, {"to ", "thru "});
            if (in_.pick(3) == 0) out_ += "end";
            else argument(depth - 1, true);
            return true;
        case 17:
            out_ += pick_of(in_, {"ahead ", "not "});
            argument(depth - 1, loop);
            return true;
        case 18:
            out_ += pick_of(in_, {"set w ", "copy w ", "set p ", "copy q "});
            argument(depth - 1, loop);
            return true;
        case 19:
            out_ += "if ";
            paren(loop);
            return true;
        case 20:
            out_ += "quote ";
            out_ += pick_of(in_, {"a", "1", "[1 a]", "(a)", "integer!", "\"a\"", "x:"});
            return true;
        case 21:
            out_ += pick_of(in_, {"case t ", "case w1 ", "case none "});
            argument(depth - 1, loop);
            return true;
        case 22:
            out_ += "into ";
            if (!traced_ && in_.pick(3) == 0) out_ += pick_of(in_, {"r1", "r2"});
            else block(depth - 1, loop, true);
            return true;
        case 23:
            out_ += "remove ";
            if (!loop && in_.pick(3) == 0) out_ += pick_of(in_, {"p", "q"});
            else argument(depth - 1, loop);
            return true;
        case 24:
            if (loop) { out_ += "none"; return true; }
            out_ += pick_of(in_, {"insert ", "insert only ", "insert p ", "insert only q "});
            value();
            return true;
        case 25:
            if (loop) { out_ += "none"; return true; }
            out_ += pick_of(in_, {"change ", "change only "});
            if (in_.pick(3) == 0) out_ += pick_of(in_, {"p ", "q "});
            else argument(depth - 1, loop);
            out_ += ' ';
            value();
            return true;
        case 26: case 27:
            out_ += pick_of(in_, {"collect ", "collect set w ", "collect into x1 ",
                                  "collect after x2 ", "collect into x3 ", "collect after x4 ",
                                  "collect into s "});
            block(depth - 1, loop, true);
            return true;
        case 28: case 29:
            switch (in_.pick(5)) {
            case 0: out_ += "keep (1)"; return true;
            case 1: out_ += "keep pick ([1 2])"; return true;
            case 2: out_ += "keep copy w "; break;
            case 3: out_ += "keep pick "; break;
            default: out_ += "keep "; break;
            }
            argument(depth - 1, loop);
            return true;
        case 30:
            if (loop) { out_ += "p:"; return true; }
            out_ += pick_of(in_, {":p", ":q"});
            return true;
        case 31:
            // A keyword with nothing after it ends its block; an argument has one after it.
            if (as_argument) { out_ += "skip"; return true; }
            out_ += pick_of(in_, {"any", "some", "opt", "to", "thru", "ahead", "not", "set w",
                                  "copy", "if", "quote", "case", "into", "remove", "collect",
                                  "keep", "3", "collect set", "keep pick"});
            return false;
        default: out_ += literal(true); return true;
        }
    }

    // The value of insert and change.
    void value() {
        switch (in_.pick(4)) {
        case 0: paren(false); break;
        case 1: out_ += pick_of(in_, {"w1", "p", "x2"}); break;
        case 2: out_ += "[1 a]"; break;
        default: {
            const std::string literal_rule = literal(false);
            out_ += literal_rule.starts_with("quote ") ? literal_rule.substr(6) : literal_rule;
            break;
        }
        }
    }

    void call() {
        out_ += "[parse";
        const bool case_ = in_.pick(4) == 0;
        const bool part = in_.pick(4) == 0;
        const bool trace = in_.pick(4) == 0;
        if (case_) out_ += "/case";
        if (part) out_ += "/part";
        if (trace) out_ += "/trace";
        out_ += pick_of(in_, {" s ", " s ", " next s ", " skip s 3 ", " tail s "});
        traced_ = trace;
        if (!trace && in_.pick(4) == 0) out_ += pick_of(in_, {"r1", "r2"});
        else block(3, false, true);
        traced_ = false;
        if (part) out_ += ' ' + std::to_string(in_.pick(12) - 2);
        if (trace) out_ += " :cb";
        out_ += "]\n";
    }

    Choices in_;
    std::string out_;
    int kind_ = 0;
    int budget_ = 48;
    // A traced call's rule names no rule word: a recursion thousands of frames deep would send
    // each of its events a copy of the whole rules stack, too slow a case to fuzz.
    bool traced_ = false;
};

inline std::string parse_program(const uint8_t* data, size_t size) {
    return ParseWriter(data, size).write();
}

// Runs the program's calls; after each one the engine has no frame in use.
inline void parse_input(const uint8_t* data, size_t size) {
    const std::string program = parse_program(data, size);
    run_steps("parse fuzz", program, [] { return parse::depth() == 0; });
}

}  // namespace nuv::fuzz
