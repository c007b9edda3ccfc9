// The JSON decoder's routines. decode-json is a recursive reader that takes the grammar's rules
// in the grammar's order, so that what the grammar leaves behind (the values, the line count, the
// last line feed and the mark, even after a failed branch) and what it raises are the same; it
// also counts the rule frames the parse engine would hold, to stop where the engine would.
#include "library/json.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/evaluator/parse.h"
#include "runtime/evaluator/routines.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/unicode.h"

namespace nuv::json {

namespace {

using T = TypeId;

constexpr char32_t kHighFirst = 0xD800, kHighLast = 0xDBFF, kLowFirst = 0xDC00, kLowLast = 0xDFFF;

int hex_value(char32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// The code points of units [0, n) of `at` with their escapes decoded into `out`; false for a
// backslash that ends the text or starts no known escape, a \u without four hexadecimal digits,
// or a high surrogate not followed by an escaped low one (a lone low surrogate stays as it is).
template <class At>
bool unescape_into(const At& at, int32_t n, std::u32string& out) {
    out.clear();
    auto hex4 = [&](int32_t i, char32_t* cp) {
        if (i + 4 > n) return false;
        char32_t v = 0;
        for (int32_t k = 0; k < 4; k++) {
            const int d = hex_value(at(i + k));
            if (d < 0) return false;
            v = v * 16 + static_cast<char32_t>(d);
        }
        *cp = v;
        return true;
    };
    for (int32_t i = 0; i < n;) {
        const char32_t c = at(i);
        if (c != '\\') {
            out.push_back(c);
            i++;
            continue;
        }
        if (i + 1 >= n) return false;
        const char32_t e = at(i + 1);
        i += 2;
        switch (e) {
        case '"':
        case '\\':
        case '/': out.push_back(e); break;
        case 'b': out.push_back(U'\b'); break;
        case 'f': out.push_back(U'\f'); break;
        case 'n': out.push_back(U'\n'); break;
        case 'r': out.push_back(U'\r'); break;
        case 't': out.push_back(U'\t'); break;
        case 'u': {
            char32_t cp;
            if (!hex4(i, &cp)) return false;
            i += 4;
            if (cp >= kHighFirst && cp <= kHighLast) {
                char32_t low;
                if (i + 2 > n || at(i) != '\\' || at(i + 1) != 'u' || !hex4(i + 2, &low) || low < kLowFirst ||
                    low > kLowLast)
                    return false;
                i += 6;
                cp = 0x10000 + (cp - kHighFirst) * 1024 + (low - kLowFirst);
            }
            out.push_back(cp);
            break;
        }
        default: return false;
        }
    }
    return true;
}

uint32_t narrowest_unit(const std::u32string& text) {
    char32_t most = 0;
    for (const char32_t c : text) most = std::max(most, c);
    return most <= 0xFF ? 1 : most <= 0xFFFF ? 2 : 4;
}

// A new string! of the code points in `cell`, which must not lie in a collected buffer.
void make_string(Cell* cell, const std::u32string& text) {
    const uint32_t unit = narrowest_unit(text);
    string::make_at_unit(cell, text.size(), unit);
    memory::SeriesBuf* b = memory::buf(cell::node(cell));
    uint8_t* p = b->offset_ptr();
    for (const char32_t c : text) {
        string::put_char(p, unit, c);
        p += unit;
    }
    b->tail = b->offset + text.size() * unit;
}

// unescape: str [string!], rewritten in place and answered; a bad escape raises script
// invalid-data with the string as it was.
uint64_t unescape_entry(const uint64_t* args) {
    Cell* str = routines::arg_cell(args[0]);
    const NodeId node = cell::node(str);
    const int32_t head = std::min(cell::head(str), string::length_abs(str));
    const int32_t n = string::length(str);
    std::u32string out;
    const auto at = [&](int32_t i) { return string::char_at(str, i); };
    if (!unescape_into(at, n, out)) fire(Err::InvalidData, str);
    for (size_t i = 0; i < out.size(); i++) string::write_char(node, head + static_cast<int32_t>(i), out[i]);
    memory::SeriesBuf* b = memory::buf(node);
    b->tail = b->offset + ((static_cast<size_t>(head) + out.size()) << string::unit_shift(b->unit()));
    *stack::arg(0) = *str;
    return 0;
}

bool is_digit(char32_t c) { return c >= '0' && c <= '9'; }

// The characters a word may not hold.
bool is_not_word_char(char32_t c) {
    switch (c) {
    case '/': case '\\': case '^': case ',': case '[': case ']': case '(': case ')': case '{':
    case '}': case '#': case '%': case '$': case '@': case ':': case ';': case '"': case '\n':
    case 0xA0: case ' ': case '\t': case '\r': case '<': case '>': return true;
    default: return false;
    }
}

void append_utf8(std::string& out, char32_t c) {
    uint8_t bytes[4];
    const int n = unicode::utf8_encode_char(c, bytes);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
}

class Decoder {
  public:
    explicit Decoder(const Cell* input)
        : node_(cell::node(input)),
          head_(std::min(cell::head(input), string::length_abs(input))),
          n_(string::length(input)),
          unit_(string::unit_of(input)),
          shift_(string::unit_shift(unit_)) {
        refresh();
    }

    // Whether the whole text is one JSON value; its value is then on the stack.
    bool run() {
        const int32_t end = value(0, parse::depth() + 1);
        return end == n_;
    }

    int32_t line_ct_ = 1;
    int32_t mark_ = 0;
    int32_t last_lf_ = 0;

  private:
    // After every allocation: the input's buffer may have moved.
    void refresh() { base_ = memory::buf(node_)->offset_ptr() + (static_cast<size_t>(head_) << shift_); }
    char32_t at(int32_t i) const { return string::get_char(base_ + (static_cast<size_t>(i) << shift_), unit_); }
    bool is(int32_t i, char32_t c) const { return i < n_ && at(i) == c; }

    int32_t ws(int32_t p) {
        while (p < n_) {
            const char32_t c = at(p);
            if (c == ' ' || c == '\t' || c == '\r') {
                p++;
            } else if (c == '\n') {
                p++;
                line_ct_++;
                last_lf_ = mark_ = p;
            } else {
                break;
            }
        }
        return p;
    }

    bool keyword(int32_t p, const char* word) const {
        const int32_t len = static_cast<int32_t>(std::strlen(word));
        if (p + len > n_) return false;
        for (int32_t k = 0; k < len; k++)
            if (at(p + k) != static_cast<char32_t>(word[k])) return false;
        return true;
    }

    // Rule frames: the engine holds `frames` frames when the grammar's json-value (or the rule
    // named) starts; a rule that would take it past its most raises parse-stack there.
    void need(int32_t frames) const {
        if (frames > most_frames_) fire(Err::ParseStack);
    }

    // The frames each rule adds, counted from its json-value's start: a keyword, a string (one
    // with a backslash more), a number, any failed value (every alternative was tried); in an
    // array or object, the first value or name and those after a separator, and a separator.
    static constexpr int32_t kKeyword = 2, kString = 3, kEscapedString = 5, kFailed = 4, kNumber = 6;
    static constexpr int32_t kFirstItem = 5, kNextItem = 7, kSeparator = 9;
    static constexpr int32_t kFirstMember = 6, kNextMember = 8;  // an object's values

    int32_t value(int32_t p, int32_t frames) {
        p = ws(p);
        int32_t q = -1;
        switch (p < n_ ? at(p) : 0) {
        case 't':
            if (keyword(p, "true")) {
                need(frames + kKeyword);
                logic::set(stack::reserve(), true);
                q = p + 4;
            }
            break;
        case 'f':
            if (keyword(p, "false")) {
                need(frames + kKeyword);
                logic::set(stack::reserve(), false);
                q = p + 5;
            }
            break;
        case 'n':
            if (keyword(p, "null")) {
                need(frames + kKeyword);
                none::set(stack::reserve());
                q = p + 4;
            }
            break;
        case '{': q = object(p, frames); break;
        case '[': q = array(p, frames); break;
        case '"': q = string_literal(p, frames, kFailed); break;
        default: q = number(p, frames); break;
        }
        if (q < 0) {
            need(frames + kFailed);
            return -1;
        }
        mark_ = q;
        return ws(q);
    }

    // A separator's frames are counted by the caller, as the loop's round takes them.
    int32_t sep(int32_t p) {
        p = ws(p);
        if (!is(p, ',')) return -1;
        return ws(p + 1);
    }

    // An array's or object's values wait on the stack, a chunk at a time, then move into its
    // block, which stands in the slot `hold` (none until the first chunk moves).
    static constexpr int32_t kChunk = 512;
    static constexpr int32_t kLongestQuickFloat = 64;

    void flush(uint32_t hold, bool last) {
        Cell* values = stack::at_index(hold + 1);
        const int32_t count = static_cast<int32_t>(stack::g_args.top - values);
        Cell* held = stack::at_index(hold);
        if (cell::is(held, T::None)) block::make_at(held, last ? count : 2 * count);
        const NodeId node = cell::node(stack::at_index(hold));
        const int32_t had = block::count(node);
        memory::SeriesBuf* b = block::ensure_room(node, had + count, true);
        std::memcpy(b->offset_ptr() + static_cast<size_t>(had) * sizeof(Cell), stack::at_index(hold + 1),
                    static_cast<size_t>(count) * sizeof(Cell));
        b->tail += static_cast<size_t>(count) * sizeof(Cell);
        stack::g_args.top = stack::at_index(hold + 1);
        refresh();
    }

    // The values become the block (or map) in the slot `hold`, the stack's top after it.
    void gather(uint32_t hold, bool map) {
        flush(hold, true);
        if (map) {
            const Cell body = *stack::at_index(hold);
            map::make_at(stack::at_index(hold), &body, block::count(cell::node(&body)) / 2);
            refresh();
        }
    }

    // An array (is_object false) or an object at p, its opening bracket or brace: the items
    // separated by commas, each a value or a property. A failed item's values are dropped.
    int32_t items(int32_t p, int32_t frames, bool is_object) {
        // The first item's rule reaches this deep whatever follows: checked before going in, so
        // that no text nests deeper than the grammar could.
        need(frames + kFirstItem + (is_object ? kString : kKeyword));
        const uint32_t hold = stack::index_of(stack::reserve());
        none::set(stack::at_index(hold));
        const uint32_t first = hold + 1;
        p = ws(p + 1);
        const int32_t q = is_object ? property(p, frames, kFirstItem, kFirstMember) : value(p, frames + kFirstItem);
        if (q >= 0) {
            p = q;
            for (;;) {
                if (stack::g_args.top - stack::at_index(first) >= kChunk) flush(hold, false);
                const uint32_t before = stack::index_of(stack::g_args.top);
                need(frames + kSeparator);
                const int32_t r = sep(p);
                const int32_t s = r < 0                 ? -1
                                  : is_object ? property(r, frames, kNextItem, kNextMember)
                                              : value(r, frames + kNextItem);
                if (s < 0) {
                    stack::g_args.top = stack::at_index(before);
                    break;
                }
                p = s;
            }
        } else {
            stack::g_args.top = stack::at_index(first);
        }
        if (!is(p, is_object ? '}' : ']')) {
            stack::g_args.top = stack::at_index(hold);
            return -1;
        }
        gather(hold, is_object);
        return p + 1;
    }

    int32_t array(int32_t p, int32_t frames) { return items(p, frames, false); }
    int32_t object(int32_t p, int32_t frames) { return items(p, frames, true); }

    // A name, its colon and its value; `name` and `member` the frames its name and its value
    // start at, counted from the object's json-value.
    int32_t property(int32_t p, int32_t frames, int32_t name, int32_t member) {
        p = ws(p);
        p = string_literal(p, frames + name, kString);
        if (p < 0) return -1;
        p = ws(p);
        if (!is(p, ':')) return -1;
        mark_ = ++p;
        push_name();
        return value(p, frames + member);
    }

    // The name just read (the string on top of the stack, its code points in text_) becomes a
    // word when it reads back as that same word.
    void push_name() {
        if (!text_.empty() && !is_digit(text_[0]) && text_[0] != '\'' &&
            std::none_of(text_.begin(), text_.end(), is_not_word_char)) {
            std::string utf8;
            bool plain = (text_[0] >= 'a' && text_[0] <= 'z') || (text_[0] >= 'A' && text_[0] <= 'Z');
            for (const char32_t c : text_) {
                plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '-' ||
                                  c == '_');
                append_utf8(utf8, c);
            }
            const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
            if (plain || reads_as_word(utf8)) {
                const SymId sym = symbol::make_utf8(bytes, utf8.size());
                word::make_at(sym, stack::g_args.top - 1);
                refresh();
            }
        }
    }

    // A word token that starts at the first byte (no blank the lexer skips before it) and
    // takes them all.
    bool reads_as_word(const std::string& utf8) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
        if (lexer::scan_token(bytes, utf8.size(), 0, 0).start != 0) return false;
        lexer::Options options;
        options.mode = lexer::Mode::Scan;
        Cell* result = stack::reserve();
        const size_t reached =
            lexer::transcode(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), options, result);
        const bool word = cell::is(result, T::Datatype) && static_cast<T>(result->w1) == T::Word &&
                          reached == utf8.size();
        stack::drop(1);
        refresh();
        return word;
    }

    // A string literal at p (its opening quote): its text, escapes decoded, is pushed (text_
    // holds the same code points). Answers the position after the closing quote, or -1. The
    // rule takes more frames once it meets a backslash; `failed` is what a failure costs
    // where it stands (a value goes on to try a number).
    int32_t string_literal(int32_t p, int32_t frames, int32_t failed) {
        if (!is(p, '"')) {
            need(frames + kString);
            return -1;
        }
        int32_t q = p + 1;
        bool escaped = false;
        while (q < n_) {
            const char32_t c = at(q);
            if (c == '"' || c < 0x20) break;
            if (c != '\\') {
                q++;
                continue;
            }
            escaped = true;
            if (q + 1 >= n_) break;
            const char32_t e = at(q + 1);
            if (e == 'u') {
                int32_t k = 0;
                while (k < 4 && q + 2 + k < n_ && hex_value(at(q + 2 + k)) >= 0) k++;
                if (k < 4) break;
                q += 6;
            } else if (e == '"' || e == 't' || e == '\\' || e == '/' || e == 'n' || e == 'r' || e == 'b' ||
                       e == 'f') {
                q += 2;
            } else {
                break;
            }
        }
        const bool closed = is(q, '"');
        need(frames + (escaped ? kEscapedString : closed ? kString : failed));
        if (!closed) return -1;
        const int32_t start = p + 1;
        const auto at_text = [&](int32_t i) { return at(start + i); };
        if (escaped) {
            if (!unescape_into(at_text, q - start, text_)) {
                text_.clear();
                for (int32_t i = start; i < q; i++) text_.push_back(at(i));
                Cell* raw = stack::reserve();
                make_string(raw, text_);
                fire(Err::InvalidData, raw);
            }
        } else {
            text_.clear();
            for (int32_t i = start; i < q; i++) text_.push_back(at(i));
        }
        make_string(stack::reserve(), text_);
        refresh();
        return q + 1;
    }

    int32_t digits(int32_t q) const {
        while (q < n_ && is_digit(at(q))) q++;
        return q;
    }

    // A number at p, loaded as its text would be; -1 when none starts there.
    int32_t number(int32_t p, int32_t frames) {
        int32_t q = p;
        if (is(q, '-')) q++;
        if (q >= n_ || !is_digit(at(q))) return -1;
        need(frames + kNumber);
        q = at(q) == '0' ? q + 1 : digits(q + 1);
        const int32_t int_end = q;
        if (is(q, '.') && q + 1 < n_ && is_digit(at(q + 1))) q = digits(q + 2);
        if (is(q, 'e') || is(q, 'E')) {
            int32_t r = q + 1;
            if (is(r, '+') || is(r, '-')) r++;
            if (r < n_ && is_digit(at(r))) q = digits(r + 1);
        }
        const int32_t first_digit = is(p, '-') ? p + 1 : p;
        if (q == int_end && int_end - first_digit <= 9) {
            int32_t v = 0;
            for (int32_t i = first_digit; i < q; i++) v = v * 10 + static_cast<int32_t>(at(i) - '0');
            integer::set(stack::reserve(), first_digit > p ? -v : v);
            return q;
        }
        char text[kLongestQuickFloat + 1];
        const int32_t length = q - p;
        if (q != int_end && length <= kLongestQuickFloat) {
            // A fraction or an exponent: the lexer reads such text as this float.
            for (int32_t i = 0; i < length; i++) text[i] = static_cast<char>(at(p + i));
            floating::set(stack::reserve(), float_text::decimal_to_float(text, text + length));
            return q;
        }
        std::string long_text;
        for (int32_t i = p; i < q; i++) long_text.push_back(static_cast<char>(at(i)));
        lexer::Options options;
        options.one = true;
        Cell* result = stack::reserve();
        lexer::transcode(reinterpret_cast<const uint8_t*>(long_text.data()), long_text.size(), options, result);
        refresh();
        return q;
    }

    NodeId node_;
    int32_t head_;
    int32_t n_;
    uint32_t unit_;
    int shift_;
    const uint8_t* base_ = nullptr;
    int32_t most_frames_ = parse::most_frames();
    std::u32string text_;
};

SymId g_out, g_mark, g_last_lf, g_line_ct;

int32_t field_index(NodeId ctx, SymId sym) {
    const int32_t index = context::find_word(ctx, sym, true);
    if (index < 0) fire(Err::NotDone);
    return index;
}

// decode-json: input [string!] state [object!] (the decoder context), last first. On success
// the value is appended to the block that _out holds; either way mark, last-lf and line-ct are
// set as the grammar sets them.
uint64_t decode_entry(const uint64_t* args) {
    const Cell state = *routines::arg_cell(args[0]);
    const Cell input = *routines::arg_cell(args[1]);
    const NodeId ctx = object::context_of(&state);
    Decoder decoder(&input);
    Cell* const top = stack::g_args.top;
    const bool ok = decoder.run();
    if (ok) {
        const Cell out = *context::values_at(ctx, field_index(ctx, g_out));
        if (!cell::is(&out, T::Block)) fire(Err::NotDone);
        block::append_cell(&out, top);
    }
    stack::g_args.top = top;
    Cell position = input;
    cell::set_head(&position, cell::head(&input) + decoder.mark_);
    *context::write_at(ctx, field_index(ctx, g_mark)) = position;
    cell::set_head(&position, cell::head(&input) + decoder.last_lf_);
    *context::write_at(ctx, field_index(ctx, g_last_lf)) = position;
    integer::set(context::write_at(ctx, field_index(ctx, g_line_ct)), decoder.line_ct_);
    return ok ? 1 : 0;
}

}  // namespace

void bind_routines() {
    g_out = symbol::make_cstr("_out");
    g_mark = symbol::make_cstr("mark");
    g_last_lf = symbol::make_cstr("last-lf");
    g_line_ct = symbol::make_cstr("line-ct");
    const Cell* load_json = context::global_slot(symbol::make_cstr("load-json"));
    if (!load_json || !cell::is(load_json, T::Function)) fire(Err::NotDone);
    const Cell function = *load_json;
    collector::Root keep(&function);
    Cell body = function::body_of(&function);
    // The decoder context is the one load-json's _out is bound to.
    NodeId ctx = 0;
    for (int32_t i = 0; i < block::count(cell::node(&body)) && !ctx; i++) {
        const Cell c = block::at(cell::node(&body), i);
        if (cell::is(&c, T::SetWord) && symbol::resolve(word::symbol_of(&c)) == symbol::resolve(g_out)) ctx = c.w1;
    }
    if (!ctx) fire(Err::NotDone);
    const stack::Mark mark;
    const int32_t unescape = field_index(ctx, symbol::make_cstr("unescape"));
    const Cell* routine =
        routines::push("\"Internal Use Only\" str [string!] return: [string!]", unescape_entry, routines::kNoResult);
    *context::write_at(ctx, unescape) = *routine;
    Cell* holder = object::make_empty(stack::reserve(), 1);
    object::add_field(holder, "decode-json",
                      routines::push("\"Internal Use Only\" input [string!] state [object!] return: [logic!]",
                                     decode_entry, routines::kLogicResult));
    holder->w2 = static_cast<uint32_t>(object::new_class());
    const NodeId holder_ctx = object::context_of(holder);
    object::finalize(holder, holder_ctx);
    context::bind_block(&body, holder_ctx, false);
    mark.restore();
}

}  // namespace nuv::json
