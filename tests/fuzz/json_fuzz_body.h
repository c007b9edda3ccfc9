// One fuzz input as JSON text: the bytes choose pieces (brackets, names, keywords, numbers,
// escapes good and bad, text from several planes, a control character, runs of openings deep
// enough to meet the parse engine's limit) or raw printable bytes. The text is read by load-json
// and by the decoder's grammar through parse, which must agree (the same value, the same
// returned error text, or the same raised error); what load-json gives is written by to-json;
// and load-csv reads the text too when that word has a value. Errors in the system's terms are
// expected; a crash, a sanitizer report, a disagreement, or a call that leaves the parse engine
// or the argument stack away from where it found them is a finding (the check aborts). Shared
// by the libFuzzer target and the corpus replay.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/evaluator/parse.h"
#include "tests/fuzz/steps_body.h"

namespace nuv::fuzz {

inline std::string json_text(const uint8_t* data, size_t size) {
    Choices in(data, size);
    std::string text;
    while (in.more() && text.size() < 4096) {
        const int k = in.pick(8);
        if (k == 0) {
            const char c = static_cast<char>(0x20 + in.pick(0x5F));
            text += c;
        } else if (k == 1) {
            // A run of openings: at most a few hundred levels, past the grammar's deepest.
            const char* opening = pick_of(in, {"[", "[1,", "{\"a\":", "{\"b\":1,\"a\":", " [ "});
            for (int n = 1 + in.pick(8) * 80 + in.pick(80); n > 0; n--) text += opening;
        } else {
            text += pick_of(in, {"[", "]", "{", "}", ",", ":", " ", "\n", "\t", "\r", "\"", "\\",
                                 "\\u", "D83D", "DE00", "00e9", "\\n", "\\\"", "\\x", "true", "false",
                                 "null", "TRUE", "-", "0", "1", "9", "12345678901", ".", "e", "E",
                                 "+", "a", "\"a\"", "\"b c\"", "\"+1\"", "\"\\fx\"", "\"A\"",
                                 "\u00e9", "\u00a0", "\U0001F600", "\u2028", "\x01", "x", "1e400",
                                 "-0.5e-3", "]]]]", "}}}}"});
        }
    }
    return text;
}

inline std::string json_program(const uint8_t* data, size_t size) {
    const std::string text = json_text(data, size);
    std::string hex;
    for (const unsigned char c : text) {
        static const char digits[] = "0123456789ABCDEF";
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return "[t: to string! #{" + hex + "} mismatch: false"
           "\n u: context? first find body-of :load-json 'mark"
           "\n grammar-json: func [json] [do bind ["
           "\n  clear stack _out: _res: make block! 1 mark: last-lf: json line-ct: 1"
           "\n  either parse/case json json-value [first _out] [make error! form reduce ["
           "\n   \"Invalid JSON string.\" \"Line:\" line-ct \"Index:\" index? mark"
           "\n   \"Column:\" offset? last-lf mark \"Near:\""
           "\n   either tail? mark [\"<end of input>\"] [mold copy/part mark 40]]]] u]"
           "\n outcome: func [code /local r] [r: try code either error? r ["
           "\n  either r/type = 'user [r/arg1] [reduce [r/id r/arg1]]] [attempt [mold/all/flat r]]]"
           "\n 0]"
           "\n[unless (outcome [grammar-json t]) == outcome [load-json t] [mismatch: true] 0]"
           "\n[r: load-json t unless error? r [to-json r] 0]"
           "\n[if value? 'load-csv [load-csv t] 0]\n";
}

// Runs the program's calls; after each one the engine has no frame in use and the two readers
// have agreed.
inline void json_input(const uint8_t* data, size_t size) {
    const std::string program = json_program(data, size);
    run_steps("json fuzz", program, [&program] {
        const Cell* mismatch = context::global_slot(symbol::make_cstr("mismatch"));
        if (mismatch && cell::is(mismatch, TypeId::Logic) && mismatch->w1 != 0)
            give_up("json fuzz", "load-json and the grammar disagree", program);
        return parse::depth() == 0;
    });
}

}  // namespace nuv::fuzz
