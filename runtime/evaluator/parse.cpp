#include "runtime/evaluator/parse.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "runtime/case_fold.h"
#include "runtime/collector.h"
#include "runtime/compare.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/evaluator/truth.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/syntax/lexer.h"
#include "runtime/words.h"

namespace nuv::parse {
namespace {

using compare::values_equal;
using series::is_any_block;
using series::is_any_string;

// Keyword codes, looked up by the canonical symbol of a word.
enum Key : uint8_t {
    KNone = 0, KAny, KSome, KOpt, KWhile, KTo, KThru, KAhead, KNot, KSet, KCopy, KSkip, KEnd,
    KNoneWord, KFail, KBreak, KReject, KIf, KQuote, KCase, KInto, KRemove, KInsert, KChange,
    KCollect, KKeep, KBar,
};

// Commands a frame completes when its argument's rule has ended.
enum Code : uint8_t {
    CSub, CLoop, CWhile, CTo, CThru, CAhead, CNot, CSet, CCopy, CCase, CRemove, CChange, CInto,
    CCollect, CKeep,
};

// Sub-rule entries and command frames. The rule block of a sub-rule sits in an argument-stack
// cell (rooted for the collector); positions are indexes, never buffer addresses.
struct Frame {
    Code code;
    int32_t rules_slot;   // sub-rule: argument-stack index of the enclosing rule block
    int32_t resume;       // sub-rule: rule index to resume at in the enclosing block
    int32_t arg_index;    // command: index of its argument in the rule block
    int32_t start;        // input index when the rule or the current round started
    int32_t length;       // input length then
    int32_t min, max, round;
    int32_t word_slot;    // set and copy: argument-stack index of the target word
    bool outer_inserts;   // collect: whether the enclosing target inserts into a series
};

// Frames of every call in progress. The capacity stays between calls, so once the stack has
// reached a depth no frame costs an allocation.
std::vector<Frame> g_frames;

uint64_t g_items_taken = 0;

// Rises at each call and whenever code outside the engine may have run (a paren, a callback)
// or the engine has written a word or edited a series: what was read from rule blocks and
// words before it may have changed since.
uint64_t g_stamp = 0;

constexpr int32_t kCellsPerFrame = 3;
constexpr int32_t kStackLimit = 10001;

// One more frame would reach the stack limit.
bool frame_limit_reached() {
    return (static_cast<int32_t>(g_frames.size()) + 1) * kCellsPerFrame >= kStackLimit;
}

// ---- Keywords: one table read per word ----

constexpr uint8_t kUnlearned = 0xFF;
// The keyword of each canonical symbol, and of each symbol id met so far (kUnlearned for the
// rest): a word's spelling in any case finds its keyword in one read.
std::vector<uint8_t> g_canonical_keys;
std::vector<uint8_t> g_keys;

void make_canonical_keys() {
    auto add = [](SymId s, Key k) {
        SymId c = symbol::resolve(s);
        if (c >= g_canonical_keys.size()) g_canonical_keys.resize(c + 1, KNone);
        g_canonical_keys[c] = k;
    };
    namespace s = words::sym;
    add(s::any, KAny); add(s::some, KSome); add(s::opt, KOpt); add(s::while_, KWhile);
    add(s::to, KTo); add(s::thru, KThru); add(s::ahead, KAhead); add(s::not_, KNot);
    add(s::set, KSet); add(s::copy, KCopy); add(s::skip, KSkip); add(s::end, KEnd);
    add(s::none, KNoneWord); add(s::fail, KFail); add(s::break_, KBreak);
    add(s::reject, KReject); add(s::if_, KIf); add(s::quote, KQuote); add(s::case_, KCase);
    add(s::into, KInto); add(s::remove, KRemove); add(s::insert, KInsert);
    add(symbol::make_cstr("change"), KChange); add(s::collect, KCollect); add(s::keep, KKeep);
    add(symbol::make_cstr("|"), KBar);
}

Key learn_keyword(SymId s) {
    if (g_canonical_keys.empty()) make_canonical_keys();
    SymId c = symbol::resolve(s);
    Key k = c < g_canonical_keys.size() ? static_cast<Key>(g_canonical_keys[c]) : KNone;
    if (s >= g_keys.size()) g_keys.resize(std::max<size_t>(s + 1, g_keys.size() * 2), kUnlearned);
    g_keys[s] = k;
    return k;
}

inline Key keyword_of(const Cell* word) {
    SymId s = word::symbol_of(word);
    if (s < g_keys.size() && g_keys[s] != kUnlearned) return static_cast<Key>(g_keys[s]);
    return learn_keyword(s);
}

inline bool is_bar(const Cell& c) { return cell::is(&c, TypeId::Word) && keyword_of(&c) == KBar; }

enum Event : uint8_t { EPush, EFetch, EMatch, EParen, EIterate, EPop, EEnd, EventCount };

// The event words, made at the first traced call of a runtime.
Cell g_event_words[EventCount];
bool g_event_words_made = false;

const Cell* event_word(Event e) {
    if (!g_event_words_made) {
        static const char* const names[EventCount] = {"push", "fetch", "match", "paren",
                                                      "iterate", "pop", "end"};
        for (int i = 0; i < EventCount; ++i)
            g_event_words[i] = word::word_or_global(context::g_global_node, symbol::make_cstr(names[i]));
        g_event_words_made = true;
    }
    return &g_event_words[e];
}

enum class Kind : uint8_t { Text, Bytes, Items };

Kind kind_of(TypeId t) {
    return t == TypeId::Binary ? Kind::Bytes : series::is_any_block(t) ? Kind::Items : Kind::Text;
}

// ---- Reading units straight from buffers (valid until the next allocation) ----

// A text or binary input's units from the buffer's first used one.
struct Units {
    const uint8_t* p;
    uint32_t unit;
    int shift;
    char32_t at(int32_t i) const {
        const uint8_t* q = p + (static_cast<size_t>(i) << shift);
        return unit == 1 ? *q : string::get_char(q, unit);
    }
};

// The test one unit passes to match a literal that is one unit long: a char! (folded to upper
// case unless case-sensitive, a byte's exact code on binary input) or a bitset, never folded.
struct OneUnit {
    const uint8_t* bits = nullptr;  // a bitset's bytes, or nullptr for a char
    size_t bytes = 0;
    bool complemented = false;
    bool fold = false;
    char32_t want = 0;
    NodeId bitset = 0;  // the bitset the bytes were read from (0: none, or bytes of no node)

    // Reads the bitset's bytes again: a test kept across an allocation needs it first.
    void reread() {
        if (!bitset) return;
        memory::SeriesBuf* b = memory::buf(bitset);
        bits = b->offset_ptr();
        bytes = b->used();
        complemented = (b->flags & bitset::kComplemented) != 0;
    }

    bool test(char32_t c) const {
        if (bits) {
            size_t i = c >> 3;
            return i < bytes ? (bits[i] & (0x80u >> (c & 7))) != 0 : complemented;
        }
        return (fold ? case_fold::to_upper(c) : c) == want;
    }
};

OneUnit char_unit(char32_t c, bool fold) {
    OneUnit u;
    u.fold = fold;
    u.want = fold ? case_fold::to_upper(c) : c;
    return u;
}

// A unit test no unit passes.
OneUnit no_unit() {
    OneUnit u;
    static const uint8_t none_set = 0;
    u.bits = &none_set;
    return u;
}

// `value` is a char! or a bitset.
OneUnit one_unit(const Cell* value, bool fold) {
    if (cell::is(value, TypeId::Char)) return char_unit(static_cast<char32_t>(cell::get_int(value)), fold);
    OneUnit u;
    u.bitset = cell::node(value);
    u.reread();
    return u;
}

// The first byte of a code point's UTF-8 form.
uint8_t utf8_lead(char32_t cp) {
    if (cp < 0x80) return static_cast<uint8_t>(cp);
    if (cp < 0x800) return static_cast<uint8_t>(0xC0 | (cp >> 6));
    if (cp < 0x10000) return static_cast<uint8_t>(0xE0 | (cp >> 12));
    return static_cast<uint8_t>(0xF0 | (cp >> 18));
}

// A rule item taken as a literal value: anything but blocks, parens, words, counts, datatypes,
// typesets and paths.
bool is_literal(const Cell* c) {
    switch (cell::type_of(c)) {
    case TypeId::Block: case TypeId::Paren: case TypeId::Word: case TypeId::SetWord:
    case TypeId::GetWord: case TypeId::Integer: case TypeId::Datatype: case TypeId::Typeset:
    case TypeId::Path: case TypeId::SetPath: case TypeId::GetPath: case TypeId::LitPath:
        return false;
    default:
        return true;
    }
}

// The literal a rule item stands for: the item itself, or the value of a word that is no
// keyword when that value is a literal; nullptr for anything else (and for a word whose slot
// needs a look-up that could raise, which the engine then makes in its own order). The
// pointer is valid until the next allocation.
const Cell* literal_of(const Cell* item) {
    if (is_literal(item)) return item;
    if (!cell::is(item, TypeId::Word) || keyword_of(item) != KNone) return nullptr;
    const Cell* value = context::plain_slot(item);
    if (!value || cell::is(value, TypeId::Unset) || !is_literal(value)) return nullptr;
    return value;
}

// A set-word the engine can write with nothing else happening: its context is no object's,
// so no change notice runs.
bool quiet_set_word(const Cell* set_word) {
    NodeId ctx = set_word->w1;
    if (ctx == 0 || static_cast<int32_t>(set_word->w3) < 0) return false;
    return ctx == context::g_global_node || context::kind(ctx) != context::Kind::Object;
}

// What every alternative of a rule block must pass at its first unit: each alternative begins,
// after set-words, with a literal that consumes at least one unit (alone, after `some` or
// after a count of 1 or more). At a position whose unit passes none of the tests each
// alternative fails at its first test, having set only its set-words. `skip_tail`: the last
// alternative is `skip` alone, which matches wherever a unit is left.
struct Guards {
    static constexpr int kMax = 4;
    OneUnit tests[kMax];
    int count = 0;
    int32_t set_words[kMax];  // rule indexes of the set-words before the tests, in order
    int set_count = 0;
    SymId watched[2 * kMax];  // canonical symbols of the words the tests were read from
    int watched_count = 0;
    bool skip_tail = false;

    void reread() {
        for (int i = 0; i < count; ++i) tests[i].reread();
    }
};

// Guards read for a block, kept while nothing they were read from can have changed. One entry
// per loop depth (modulo the table's size): a loop's rounds read its block's guards again.
struct GuardEntry {
    uint64_t stamp = ~uint64_t{0};
    NodeId node = 0;
    int32_t head = 0;
    int32_t count = 0;
    uint8_t mode = 0;
    bool usable = false;
    Guards guards;
};
GuardEntry g_guard_cache[16];

// How a loop's round over a block ended when it needed no frame, or that the engine goes on.
enum class Round : uint8_t { Engine, Matched, Failed };
// How one item of such a round ended.
enum class Step : uint8_t { Match, Fail, Bar, Engine };

// One call's match state. Cells it names live on the argument stack above the call's base.
class Engine {
  public:
    Engine(Cell* input, const Cell* rules, bool case_, int32_t limit)
        : input_slot_(slot_of(input)), case_(case_), frame_base_(static_cast<int32_t>(g_frames.size())) {
        if (g_frames.capacity() == 0) g_frames.reserve(256);
        ++g_stamp;  // code ran since the last call: words and rule blocks may have changed
        TypeId t = cell::type_of(input);
        kind_ = kind_of(t);
        pos_ = cell::head(input);
        limit_ = limit;
        Cell none_cell;
        none::set(&none_cell);
        result_slot_ = slot_of(stack::push(&none_cell));
        rules_slot_ = slot_of(stack::push(rules));
        index_ = cell::head(rules);
        enter_base();
    }
    ~Engine() { g_frames.resize(frame_base_); }

    bool run();

  private:
    static int32_t slot_of(const Cell* c) { return static_cast<int32_t>(stack::index_of(c)); }
    static Cell* at_slot(int32_t s) { return stack::at_index(static_cast<uint32_t>(s)); }
    Cell* input() const { return at_slot(input_slot_); }
    Cell* rules() const { return at_slot(rules_slot_); }
    int32_t tail() const {
        const memory::SeriesBuf* b = memory::buf_of(input());
        return static_cast<int32_t>(b->used() >> series::unit_shift(b->unit()));
    }
    int32_t end() const {
        int32_t t = tail();
        return limit_ >= 0 && limit_ < t ? limit_ : t;
    }
    Units units() const {
        memory::SeriesBuf* b = memory::buf_of(input());
        uint32_t unit = b->unit();
        return {b->offset_ptr(), unit, series::unit_shift(unit)};
    }
    int32_t rule_tail() const { return block::count(cell::node(rules())); }
    Cell rule_at(int32_t i) const { return block::at(cell::node(rules()), i); }
    void clamp() {
        int32_t t = tail();
        if (pos_ > t) pos_ = t;
    }

    void enter_base() {
        Frame f{};
        f.code = CSub;
        f.rules_slot = -1;
        f.start = pos_;
        f.length = tail();
        push_frame(f);
    }
    void push_frame(const Frame& f) {
        if (frame_limit_reached()) fire(Err::ParseStack);
        g_frames.push_back(f);
    }
    // Enters the block held in `block` as a sub-rule.
    void enter(const Cell* block) {
        Frame f{};
        f.code = CSub;
        f.rules_slot = rules_slot_;
        f.resume = index_;
        f.start = pos_;
        f.length = tail();
        push_frame(f);
        rules_slot_ = slot_of(stack::push(block));
        index_ = cell::head(block);
        trace(EPush, result_);
    }
    // Leaves the innermost sub-rule, back in its enclosing block.
    void leave() {
        trace(EPop, result_);
        Frame f = g_frames.back();
        g_frames.pop_back();
        stack::g_args.top = at_slot(rules_slot_);
        rules_slot_ = f.rules_slot;
        index_ = f.resume;
    }

    int32_t match_terminal(const Cell* value, int32_t at);
    int32_t match_text(const Cell* value, int32_t at);
    int32_t match_bytes(const Cell* value, int32_t at);
    int32_t match_token(const Cell* type, int32_t at);
    bool same_text(const Units& in, int32_t at, const Cell* value, int32_t n) const;
    bool first_unit(const Cell* value, OneUnit* out) const;
    int32_t search(const Cell* value, bool thru);
    bool deliver(bool ok);
    bool block_failed();
    void start_command(Code code, int32_t min, int32_t max, int32_t word_slot);
    void item_done(bool ok) {
        pending_ = true;
        result_ = ok;
        trace(EMatch, ok);
    }
    bool take_item();
    const Cell* resolve_word(const Cell* word, bool in_argument);
    void expect_item(const Cell* keyword) {
        if (index_ >= rule_tail()) fire(Err::ParseEnd, keyword);
    }
    bool loop_literal(const Cell* value, int32_t min, int32_t max);
    bool guards_of(const Cell& block, bool skip_tail, Guards* out);
    const Guards* cached_guards(const Cell& block, bool skip_tail);
    Round quick_round(Frame& f);
    Step quick_item(NodeId node, int32_t* i, int32_t n);
    bool quick_loop(Frame& f, bool* ok);
    int32_t scan(const Guards& g, int32_t at, int32_t stop);
    void skip_positions(Frame& f, bool rounds);
    void set_here(const Cell& set_word, int32_t at);
    void assign(Frame f);
    void item_value(Cell* out, int32_t at);
    bool block_succeeded();
    int32_t count_value(const Cell& c);
    bool is_count_item(const Cell& c);
    bool count(const Cell& first);
    bool loop(int32_t min, int32_t max, Code code);
    bool keyword(Key key, const Cell& word);
    bool end_sub_rule(bool ok);
    void abandon(const Frame& f);
    void trace(Event e, bool ok) {
        if (callback_slot_ != 0 && !stopped_) call_back(e, ok);
    }
    void call_back(Event e, bool ok);
  public:
    int32_t callback_slot_ = 0;  // the trace callback, 0 without /trace
    bool stopped_ = false;       // the callback answered none or false
  private:
    void remove_part(int32_t from, int32_t to);
    bool finish_change(Frame f, bool ok);
    Cell* value_item(bool only_block);
    bool same_series(const Cell* value) const {
        return cell::type_of(value) == cell::type_of(input()) && cell::node(value) == cell::node(input());
    }
    const Cell* series_word(int32_t at);
    bool take_only();
    void finish_collect(Frame f);
    void keep_part(Frame f);
    void keep_value(const Cell* value, bool pick);
    Cell* target();
    void check_target(const Cell* into);
  public:
    int32_t result_slot_ = 0;   // the block of the first top-level collect, or none
    int32_t collect_slot_ = 0;  // the innermost collect target, 0 outside any collect
    int32_t collect_depth_ = 0;
    bool collect_inserts_ = false;  // the innermost target is a series of collect into or after
  private:

    int32_t input_slot_;
    int32_t rules_slot_ = 0;
    int32_t index_ = 0;
    int32_t pos_ = 0;
    int32_t limit_ = -1;
    bool case_;
    Kind kind_ = Kind::Text;
    int32_t frame_base_;
    bool pending_ = false;  // an item has ended with result_
    bool result_ = true;
    bool break_ = false;     // break or reject seen, not yet consumed by a loop
    bool final_ = false;
    bool argument_ = false;  // the next item is a command's argument
    Cell last_keyword_{};
    Cell last_item_{};
};

// Calls the trace callback with the event, the match result, the rule and input at their
// positions and a new block of the rule blocks in progress, outermost first: the callback may
// change that block as it likes. None or false stops the match. What the call makes is left
// to the collector once it returns: the engine keeps nothing of it but the answer's truth.
void Engine::call_back(Event e, bool ok) {
    ++g_stamp;
    const collector::FreshScope fresh;
    Cell* values = stack::push(event_word(e));
    Cell* match = stack::reserve();
    logic::set(match, ok);
    Cell* rule = stack::push(rules());
    cell::set_head(rule, index_ > rule_tail() ? rule_tail() : index_);
    Cell* in = stack::push(input());
    cell::set_head(in, pos_ > tail() ? tail() : pos_);
    Cell* copy = stack::reserve();
    none::set(copy);
    block::make_at(copy, static_cast<int32_t>(g_frames.size()) - frame_base_ + 1);
    for (size_t i = static_cast<size_t>(frame_base_) + 1; i < g_frames.size(); ++i) {
        int32_t slot = g_frames[i].rules_slot;
        if (g_frames[i].code == CSub && slot > 0) block::append_cell(copy, at_slot(slot));
    }
    block::append_cell(copy, rules());
    Cell* answer = interp::call_function(at_slot(callback_slot_), hooks::Callback::Parse, values, 5);
    if (!truth::holds(answer)) stopped_ = true;
    stack::g_args.top = values;
}

// ---- Terminals ----

// The `n` characters of the text value from its head equal the input's units from `at`,
// folded unless case-sensitive.
bool Engine::same_text(const Units& in, int32_t at, const Cell* value, int32_t n) const {
    const uint8_t* want = string::head_ptr(value);
    uint32_t unit = string::unit_of(value);
    for (int32_t i = 0; i < n; ++i, want += unit) {
        char32_t a = in.at(at + i);
        char32_t b = string::get_char(want, unit);
        if (a != b && (case_ || case_fold::to_upper(a) != case_fold::to_upper(b))) return false;
    }
    return true;
}

// Units the value matches at `at` of text input, or -1.
int32_t Engine::match_text(const Cell* value, int32_t at) {
    int32_t room = end() - at;
    switch (cell::type_of(value)) {
    case TypeId::Bitset:
    case TypeId::Char:
        if (room <= 0) return -1;
        return one_unit(value, !case_).test(units().at(at)) ? 1 : -1;
    case TypeId::String: case TypeId::File: case TypeId::Url: case TypeId::Email: case TypeId::Ref: {
        int32_t n = string::length(value);
        if (n > room) return -1;
        return same_text(units(), at, value, n) ? n : -1;
    }
    case TypeId::Tag: {
        int32_t n = string::length(value);
        if (n + 2 > room) return -1;
        Units in = units();
        if (in.at(at) != U'<' || in.at(at + n + 1) != U'>') return -1;
        return same_text(in, at + 1, value, n) ? n + 2 : -1;
    }
    case TypeId::Datatype:
    case TypeId::Typeset:
        fire(Err::ParseUnsupported);
    default:
        return -1;
    }
}

// Bytes the value matches at `at` of binary input, or -1: a string-like value by its UTF-8
// bytes, encoded as they are compared.
int32_t Engine::match_bytes(const Cell* value, int32_t at) {
    int32_t stop = end();
    TypeId t = cell::type_of(value);
    if (t == TypeId::Char || t == TypeId::Bitset) {
        if (at >= stop) return -1;
        return one_unit(value, false).test(units().at(at)) ? 1 : -1;
    }
    if (t == TypeId::Binary) {
        int32_t n = binary::rs_length(value);
        if (n < 0) n = 0;
        if (at + n > stop) return -1;
        return std::memcmp(units().p + at, binary::rs_head(value), static_cast<size_t>(n)) == 0 ? n : -1;
    }
    if (is_any_string(t)) {
        int32_t count = string::length(value);
        const uint8_t* in = units().p;
        int32_t p = at;
        for (int32_t i = 0; i < count; ++i) {
            char32_t cp = string::char_at(value, i);
            uint8_t enc[4];
            int n = 0;
            enc[n++] = utf8_lead(cp);
            if (cp >= 0x10000) enc[n++] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
            if (cp >= 0x800) enc[n++] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
            if (cp >= 0x80) enc[n++] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            if (p + n > stop) return -1;
            for (int k = 0; k < n; ++k)
                if (in[p + k] != enc[k]) return -1;
            p += n;
        }
        return p - at;
    }
    if (t == TypeId::Datatype || t == TypeId::Typeset) return match_token(value, at);
    return -1;
}

// A datatype or typeset over binary input: the lexer reads the next value (blanks before it
// skipped) and a value of that type, or in the typeset, is matched whole. An invalid value, a
// comment or no value at all matches nothing.
int32_t Engine::match_token(const Cell* type, int32_t at) {
    int32_t room = end() - at;
    if (room <= 0) return -1;
    Cell* source = stack::push(input());
    cell::set_head(source, at);
    const lexer::FirstValue found = lexer::first_value(source, room);
    stack::g_args.top = source;
    if (found.type == TypeId::Invalid) return -1;
    bool ok = cell::is(type, TypeId::Datatype) ? found.type == static_cast<TypeId>(type->w1)
                                               : typeset::has(type, found.type);
    return ok ? found.used : -1;
}

int32_t Engine::match_terminal(const Cell* value, int32_t at) {
    if (kind_ == Kind::Text) return match_text(value, at);
    if (kind_ == Kind::Bytes) return match_bytes(value, at);
    if (at >= end()) return -1;
    Cell item = block::at(cell::node(input()), at);
    TypeId t = cell::type_of(value);
    if (t == TypeId::Datatype) return cell::type_of(&item) == static_cast<TypeId>(value->w1) ? 1 : -1;
    if (t == TypeId::Typeset) return typeset::has(value, cell::type_of(&item)) ? 1 : -1;
    if (t == TypeId::LitWord) {
        TypeId it = cell::type_of(&item);
        if (it != TypeId::Word && it != TypeId::LitWord) return -1;
        return values_equal(item, *value, case_ ? CompareOp::WordsCase : CompareOp::Words) ? 1 : -1;
    }
    return values_equal(item, *value, case_ ? CompareOp::StrictEqual : CompareOp::Equal) ? 1 : -1;
}

// The test the first unit of any match of a literal passes on text or binary input; false when
// the literal may match without consuming anything (an empty text or binary).
bool Engine::first_unit(const Cell* value, OneUnit* out) const {
    TypeId t = cell::type_of(value);
    bool text = kind_ == Kind::Text;
    if (t == TypeId::Char || t == TypeId::Bitset) {
        *out = one_unit(value, text && !case_);
        return true;
    }
    if (t == TypeId::Binary && !text) {
        if (binary::rs_length(value) <= 0) return false;
        *out = char_unit(binary::rs_head(value)[0], false);
        return true;
    }
    if (is_any_string(t)) {
        if (t == TypeId::Tag && text) {
            *out = char_unit(U'<', false);
            return true;
        }
        if (string::length(value) == 0) return false;
        char32_t c = string::char_at(value, 0);
        *out = text ? char_unit(c, !case_) : char_unit(utf8_lead(c), false);
        return true;
    }
    *out = no_unit();
    return true;
}

// Index where `to` (or `thru`) a literal stops, or -1. On text and binary input the literal's
// first unit is looked for in a run over the units, and only there is the literal compared.
int32_t Engine::search(const Cell* value, bool thru) {
    if (kind_ != Kind::Items) {
        TypeId t = cell::type_of(value);
        bool text = is_any_string(t) || t == TypeId::Char || t == TypeId::Bitset || t == TypeId::Binary;
        if (!text) fire(Err::ParseRule, value);
        OneUnit first;
        if (first_unit(value, &first)) {
            int32_t stop = end();
            Units in = units();
            bool single = t == TypeId::Char || t == TypeId::Bitset;
            for (int32_t at = pos_; at < stop; ++at) {
                if (!first.test(in.at(at))) continue;
                int32_t n = single ? 1 : match_terminal(value, at);
                if (n >= 0) return thru ? at + n : at;
            }
            return -1;
        }
    }
    for (int32_t at = pos_; at <= end(); ++at) {
        int32_t n = match_terminal(value, at);
        if (n >= 0) return thru ? at + n : at;
    }
    return -1;
}

// A loop over a literal: one tight count of repeated matches. A char or bitset over text or
// binary input is a run over the units.
bool Engine::loop_literal(const Cell* value, int32_t min, int32_t max) {
    TypeId t = cell::type_of(value);
    if (kind_ != Kind::Items && (t == TypeId::Char || t == TypeId::Bitset)) {
        int64_t cap = max < 0 ? INT64_MAX : static_cast<int64_t>(pos_) + max;
        int32_t limit = static_cast<int32_t>(std::min<int64_t>(end(), cap));
        OneUnit u = one_unit(value, kind_ == Kind::Text && !case_);
        Units in = units();
        int32_t at = pos_;
        if (in.unit == 1) {
            while (at < limit && u.test(in.p[at])) ++at;
        } else {
            while (at < limit && u.test(in.at(at))) ++at;
        }
        if (at - pos_ < min) return false;
        if (at > pos_) pos_ = at;
        return true;
    }
    int32_t count = 0;
    int32_t at = pos_;
    while (max < 0 || count < max) {
        int32_t n = match_terminal(value, at);
        if (n < 0) break;
        ++count;
        if (n == 0) { count = max < 0 ? (min > count ? min : count) : max; break; }
        at += n;
    }
    if (count < min) return false;
    pos_ = at;
    return true;
}

// ---- Skipping positions no alternative can start at ----

// Reads the guards of a rule block (see Guards); false when some alternative has none, or
// (with `skip_tail`) when the last alternative is not `skip` alone. No allocation.
bool Engine::guards_of(const Cell& block, bool skip_tail, Guards* g) {
    NodeId node = cell::node(&block);
    int32_t n = block::count(node);
    int32_t i = cell::head(&block);
    if (i < 0 || i >= n) return false;
    const Cell* cells = block::raw_cells(node);
    for (;;) {
        while (i < n && cell::is(&cells[i], TypeId::SetWord)) {
            if (g->set_count == Guards::kMax || !quiet_set_word(&cells[i])) return false;
            g->set_words[g->set_count++] = i++;
        }
        if (i >= n || is_bar(cells[i])) return false;  // an alternative that may match empty
        const Cell* item = &cells[i];
        const Cell* literal = nullptr;
        if (cell::is(item, TypeId::Word)) {
            Key key = keyword_of(item);
            if (key == KSkip && skip_tail && i + 1 == n) {
                g->skip_tail = true;
                break;
            }
            if (key == KSome && i + 1 < n) item = &cells[++i];
        } else if (cell::is(item, TypeId::Integer) && cell::get_int(item) >= 1 && i + 1 < n) {
            item = &cells[++i];
        }
        literal = literal_of(item);
        if (!literal || g->count == Guards::kMax || !first_unit(literal, &g->tests[g->count]))
            return false;
        ++g->count;
        if (cell::is(item, TypeId::Word)) g->watched[g->watched_count++] = symbol::resolve(word::symbol_of(item));
        while (i < n && !is_bar(cells[i])) ++i;
        if (i >= n) break;
        ++i;
    }
    if (g->skip_tail != skip_tail) return false;
    // A set-word that would change a word a test was read from changes the tests.
    for (int s = 0; s < g->set_count; ++s) {
        SymId sym = symbol::resolve(word::symbol_of(&cells[g->set_words[s]]));
        for (int w = 0; w < g->watched_count; ++w)
            if (g->watched[w] == sym) return false;
    }
    return true;
}

// The guards of the block, read again only when the block, the case flag, the input's kind or
// the stamp differ from the last reading at this depth; nullptr when the block has none.
const Guards* Engine::cached_guards(const Cell& block, bool skip_tail) {
    GuardEntry& e = g_guard_cache[g_frames.size() % std::size(g_guard_cache)];
    NodeId node = cell::node(&block);
    uint8_t mode = static_cast<uint8_t>((skip_tail ? 1 : 0) | (case_ ? 2 : 0) | (static_cast<int>(kind_) << 2));
    if (e.stamp != g_stamp || e.node != node || e.head != cell::head(&block) ||
        e.count != block::count(node) || e.mode != mode) {
        e.stamp = g_stamp;
        e.node = node;
        e.head = cell::head(&block);
        e.count = block::count(node);
        e.mode = mode;
        e.guards = Guards{};
        e.usable = guards_of(block, skip_tail, &e.guards);
    } else if (e.usable) {
        e.guards.reread();
    }
    return e.usable ? &e.guards : nullptr;
}

// The first index from `at` below `stop` whose unit passes a test of the guards, else stop.
int32_t Engine::scan(const Guards& g, int32_t at, int32_t stop) {
    Units in = units();
    if (g.count == 1 && in.unit == 1) {
        const OneUnit& u = g.tests[0];
        while (at < stop && !u.test(in.p[at])) ++at;
        return at;
    }
    for (; at < stop; ++at) {
        char32_t c = in.at(at);
        for (int i = 0; i < g.count; ++i)
            if (g.tests[i].test(c)) return at;
    }
    return stop;
}

// Untraced, a loop (`rounds`) whose argument is a block ending in the alternative `skip`, or a
// `to` or `thru` over a block, passes at once over the positions where no alternative can
// start: there every round would be the skip alone, every try a failure at its first test.
// The set-words those rounds or tries would have set are set as the last of them did.
void Engine::skip_positions(Frame& f, bool rounds) {
    if (callback_slot_ != 0 || kind_ == Kind::Items || frame_limit_reached()) return;
    Cell arg = rule_at(f.arg_index);
    const Cell* block = &arg;
    SymId arg_symbol = 0;
    if (cell::is(&arg, TypeId::Word)) {
        if (keyword_of(&arg) != KNone) return;
        block = context::plain_slot(&arg);
        if (!block) return;
        arg_symbol = symbol::resolve(word::symbol_of(&arg));
    }
    if (!cell::is(block, TypeId::Block)) return;
    Cell rule = *block;
    const Guards* found = cached_guards(rule, rounds);
    if (!found) return;
    const Guards& g = *found;
    int32_t stop = end();
    if (rounds && f.max >= 0) stop = static_cast<int32_t>(std::min<int64_t>(stop, static_cast<int64_t>(pos_) + f.max - f.round));
    int32_t from = pos_;
    int32_t at = scan(g, from, stop);
    if (at <= from) return;
    for (int s = 0; s < g.set_count; ++s) {
        Cell set_word = block::at(cell::node(&rule), g.set_words[s]);
        if (arg_symbol && symbol::resolve(word::symbol_of(&set_word)) == arg_symbol) return;
    }
    Cell* held = stack::push(&rule);
    for (int s = 0; s < g.set_count; ++s) set_here(block::at(cell::node(held), g.set_words[s]), at - 1);
    stack::g_args.top = held;
    pos_ = at;
    f.start = at;
    if (rounds) {
        f.round += at - from;
        f.length = tail();
    }
}

// ---- Rounds that need no frame ----

// One item of a quick round at rule index *i of the block (n items), taken as the engine would
// take it when it needs no frame, no evaluation and no event: literals and words holding one,
// skip, end, none, fail, set-words that run no change notice, and loops and searches over a
// literal. Step::Engine leaves
// *i on an item the engine must take.
Step Engine::quick_item(NodeId node, int32_t* i, int32_t n) {
    ++g_items_taken;
    Cell item = block::at(node, *i);
    TypeId t = cell::type_of(&item);
    if (t == TypeId::Word) {
        Key key = keyword_of(&item);
        bool ok;
        switch (key) {
        case KNone: {
            const Cell* literal = literal_of(&item);
            if (!literal) return Step::Engine;
            Cell value = *literal;
            ++*i;
            int32_t k = match_terminal(&value, pos_);
            if (k < 0) return Step::Fail;
            pos_ += k;
            return Step::Match;
        }
        case KBar:
            last_keyword_ = item;
            return Step::Bar;
        case KSkip:
            ok = pos_ < end();
            if (ok) ++pos_;
            break;
        case KEnd:
            ok = pos_ >= end();
            break;
        case KNoneWord:
            ok = true;
            break;
        case KFail:
            ok = false;
            break;
        case KAny: case KSome: case KOpt: case KWhile: case KTo: case KThru: {
            if (*i + 1 >= n) return Step::Engine;
            Cell next = block::at(node, *i + 1);
            bool search_ = key == KTo || key == KThru;
            if (search_ && cell::is(&next, TypeId::Word) && keyword_of(&next) == KEnd) {
                pos_ = std::max(pos_, end());
                ok = true;
                break;
            }
            const Cell* literal = literal_of(&next);
            if (!literal) return Step::Engine;
            Cell value = *literal;
            if (search_) {
                int32_t at = search(&value, key == KThru);
                ok = at >= 0;
                if (ok) pos_ = at;
            } else {
                ok = loop_literal(&value, key == KSome ? 1 : 0, key == KOpt ? 1 : -1);
            }
            ++*i;
            break;
        }
        default:
            return Step::Engine;
        }
        last_keyword_ = item;
        ++*i;
        return ok ? Step::Match : Step::Fail;
    }
    if (t == TypeId::SetWord) {
        // An object's change notice may run a parse of its own, which moves the loop's frame.
        if (!quiet_set_word(&item)) return Step::Engine;
        ++*i;
        set_here(item, pos_);
        return Step::Match;
    }
    if (!is_literal(&item)) return Step::Engine;
    ++*i;
    int32_t k = match_terminal(&item, pos_);
    if (k < 0) return Step::Fail;
    pos_ += k;
    return Step::Match;
}

// Untraced, a round of a loop whose argument is a block runs here, without entering the block,
// while its items need no frame. On reaching an item that does, the block is entered as the
// engine would have entered it and the engine goes on from that item (Round::Engine, as when
// the round cannot run here at all).
Round Engine::quick_round(Frame& f) {
    if (callback_slot_ != 0 || frame_limit_reached()) return Round::Engine;
    Cell block = rule_at(f.arg_index);
    if (cell::is(&block, TypeId::Word)) {
        if (keyword_of(&block) != KNone) return Round::Engine;
        const Cell* value = context::plain_slot(&block);
        if (!value) return Round::Engine;
        block = *value;
    }
    if (!cell::is(&block, TypeId::Block)) return Round::Engine;
    // Held where the collector sees it: a set-word of the round may rebind the word it came from.
    Cell* held = stack::push(&block);
    NodeId node = cell::node(held);
    int32_t start = pos_;
    int32_t i = cell::head(held);
    for (;;) {
        int32_t n = block::count(node);
        Step step = i >= n ? Step::Bar : quick_item(node, &i, n);
        if (step == Step::Match) continue;
        if (step == Step::Fail) {
            const Cell* cells = block::raw_cells(node);
            while (i < n && !is_bar(cells[i])) ++i;
            pos_ = start;
            clamp();
            if (i < n) {
                ++i;
                continue;
            }
        }
        if (step != Step::Engine) {
            stack::g_args.top = held;
            return step == Step::Bar ? Round::Matched : Round::Failed;
        }
        Frame sub{};
        sub.code = CSub;
        sub.rules_slot = rules_slot_;
        sub.resume = f.arg_index + 1;
        sub.start = start;
        sub.length = f.length;
        g_frames.push_back(sub);
        rules_slot_ = slot_of(held);
        index_ = i;
        argument_ = false;
        return Round::Engine;
    }
}

// Runs the loop's next round quickly when it can (see quick_round). True with the round's
// outcome in *ok when the round ended here, the rule index then after the loop's argument.
bool Engine::quick_loop(Frame& f, bool* ok) {
    Round r = quick_round(f);
    if (r == Round::Engine) return false;
    *ok = r == Round::Matched;
    index_ = f.arg_index + 1;
    argument_ = false;
    return true;
}

// The word's value as a rule: an unset word or one holding a word is an invalid rule except in
// a command's argument, where a word value is matched as a literal.
const Cell* Engine::resolve_word(const Cell* word, bool in_argument) {
    const Cell* value = word::slot(word);
    TypeId t = cell::type_of(value);
    if (t == TypeId::Unset) fire(Err::ParseRule, word);
    if (t == TypeId::Word && !in_argument) fire(Err::ParseRule, word);
    return value;
}

void Engine::start_command(Code code, int32_t min, int32_t max, int32_t word_slot) {
    Frame f{};
    f.code = code;
    f.arg_index = index_;
    f.start = pos_;
    f.length = tail();
    f.min = min;
    f.max = max;
    f.round = 1;
    f.word_slot = word_slot;
    push_frame(f);
    argument_ = true;
    trace(EPush, result_);
}

// The block failed at its current item: try its next alternative, else it fails as a whole.
// Answers true when matching goes on in the same block.
bool Engine::block_failed() {
    int32_t n = rule_tail();
    const Cell* cells = block::raw_cells(cell::node(rules()));
    for (int32_t i = index_; i < n; ++i) {
        if (is_bar(cells[i])) {
            index_ = i + 1;
            pos_ = g_frames.back().start;
            clamp();
            return true;
        }
    }
    return false;
}

// Hands the outcome of an item, a sub-rule or a command to the frame above it. Answers false
// when matching is over.
bool Engine::deliver(bool ok) {
    for (;;) {
        Frame& f = g_frames.back();
        if (f.code == CSub) {
            if (ok) { pending_ = false; return true; }
            if (block_failed()) { pending_ = false; return true; }
            if (static_cast<int32_t>(g_frames.size()) - 1 == frame_base_) {
                final_ = false;
                return false;
            }
            pos_ = f.start;
            clamp();
            leave();
            continue;
        }
        // What runs below (parens, callbacks, change notices) may run a parse of its own that
        // moves g_frames: `f` is good only until then, and what is read after comes from here.
        const Code code = f.code;
        const int32_t word_slot = f.word_slot;
        bool result = ok;
        switch (code) {
        case CLoop:
        case CWhile:
            if (ok) {
                bool moved = f.code == CWhile || pos_ != f.start || tail() < f.length;
                if ((f.max < 0 || f.round < f.max) && !break_ && moved) {
                    ++f.round;
                    f.start = pos_;
                    f.length = tail();
                    index_ = f.arg_index;
                    pending_ = false;
                    argument_ = true;
                    trace(EIterate, ok);
                    skip_positions(f, true);
                    if (quick_loop(f, &ok)) continue;
                    return true;
                }
                result = f.round >= f.min;
            } else {
                result = f.round - 1 >= f.min || f.min == 0;
            }
            break_ = false;
            break;
        case CTo:
        case CThru:
            if (ok) {
                if (f.code == CTo) pos_ = f.start;
            } else if (f.start < end()) {
                pos_ = ++f.start;
                index_ = f.arg_index;
                pending_ = false;
                argument_ = true;
                trace(EPop, ok);
                trace(EIterate, ok);
                skip_positions(f, false);
                return true;
            } else {
                pos_ = f.min;
            }
            break;
        case CAhead:
            if (ok) pos_ = f.start;
            break;
        case CNot:
            result = !ok;
            pos_ = f.start;
            break;
        case CSet:
        case CCopy:
            if (ok) assign(f);
            break;
        case CCase:
            case_ = f.min != 0;
            break;
        case CRemove:
            if (ok) remove_part(f.start > tail() ? tail() : f.start, pos_);
            break;
        case CChange:
            result = finish_change(f, ok);
            break;
        case CInto:
            result = ok && !break_ && pos_ >= tail();
            break_ = false;
            stack::g_args.top = input();
            input_slot_ = f.min;
            kind_ = kind_of(cell::type_of(input()));
            limit_ = f.max;
            pos_ = result ? f.start + 1 : f.start;
            break;
        case CCollect:
            finish_collect(f);
            break;
        case CKeep:
            if (ok) keep_part(f);
            break;
        case CSub:
            break;
        }
        clamp();
        result_ = result;
        trace(EPop, result);
        if (word_slot > 0 && code != CCollect) stack::g_args.top = at_slot(word_slot);
        g_frames.pop_back();
        // A loop whose rule is a single command sees no shortening as progress.
        if (g_frames.back().code != CSub) g_frames.back().length = -1;
        // keep of a copy keeps the copied series, even of one item.
        if (code == CCopy && g_frames.back().code == CKeep) g_frames.back().max = 1;
        ok = result;
    }
}

// A copy of `count` units of the series from its head, in `value`.
Cell* series_copy(Cell* value, Cell* part, bool items) {
    return items ? block::copy(value, value, part, false, nullptr)
                 : series::copy(value, value, part, false, nullptr);
}

// The input's item at `at`: a char! of text, an integer! byte, a block's item.
void Engine::item_value(Cell* out, int32_t at) {
    if (kind_ == Kind::Text) {
        cell::put(out, static_cast<uint32_t>(TypeId::Char), 0, static_cast<uint32_t>(units().at(at)), 0);
    } else if (kind_ == Kind::Bytes) {
        integer::set(out, units().p[at]);
    } else {
        *out = block::at(cell::node(input()), at);
    }
}

// set and copy: the word takes the first matched item, or a copy of the matched part.
void Engine::assign(Frame f) {
    ++g_stamp;
    Cell* word = at_slot(f.word_slot);
    int32_t start = f.start > tail() ? tail() : f.start;
    Cell* value = stack::reserve();
    if (f.code == CSet) {
        if (pos_ == start) {
            none::set(value);
        } else {
            item_value(value, start);
        }
    } else {
        *value = *input();
        cell::set_head(value, start);
        Cell* part = stack::reserve();
        integer::set(part, pos_ - start);
        value = series_copy(value, part, kind_ == Kind::Items);
    }
    word::set(word, value);
    stack::g_args.top = word + 1;
}

// A set-word rule: its word refers to the input at `at`.
void Engine::set_here(const Cell& set_word, int32_t at) {
    ++g_stamp;
    Cell* word = stack::push(&set_word);
    Cell* here = stack::push(input());
    cell::set_head(here, at);
    word::set(word, here);
    stack::g_args.top = word;
}

// Evaluates the paren in a stable cell pushed at the stack top; its value is left in the cell
// above, so the top goes back to where it was by setting it to the value's cell less one (the
// cells a command holds below it, a set word or a collect block, stay held).
Cell* eval_paren(const Cell& paren) {
    ++g_stamp;
    Cell* held = stack::push(&paren);
    return interp::do_block(held);
}

// Takes up the next rule item. Answers false when matching is over.
bool Engine::take_item() {
    ++g_items_taken;
    bool argument = argument_;
    argument_ = false;
    if (index_ >= rule_tail()) {
        if (argument) fire(Err::ParseEnd, &last_keyword_);
        return block_succeeded();
    }
    Cell item = rule_at(index_++);
    const Cell* rule = &item;
    Cell value_copy;
    if (cell::is(&item, TypeId::Word)) {
        Key key = keyword_of(&item);
        // A command's alternative ends before its argument: as if its block ended there.
        if (key == KBar && argument) fire(Err::ParseEnd, &last_keyword_);
        if (key != KNone) return keyword(key, item);
        const Cell* value = resolve_word(&item, argument);
        value_copy = *value;
        rule = &value_copy;
        if (cell::is(rule, TypeId::Word)) {
            int32_t n = kind_ == Kind::Items && pos_ < end() &&
                                values_equal(block::at(cell::node(input()), pos_), *rule,
                                             case_ ? CompareOp::StrictEqual : CompareOp::Equal)
                            ? 1 : -1;
            if (n > 0) pos_ += n;
            item_done(n > 0);
            return true;
        }
    }
    switch (cell::type_of(rule)) {
    case TypeId::Block:
        enter(rule);
        return true;
    case TypeId::Paren:
        stack::g_args.top = eval_paren(*rule) - 1;
        clamp();
        if (index_ > rule_tail()) index_ = rule_tail();
        trace(EParen, true);
        pending_ = true;
        result_ = true;
        return true;
    case TypeId::SetWord:
        set_here(*rule, pos_);
        item_done(true);
        return true;
    case TypeId::GetWord: {
        const Cell* value = word::slot(rule);
        if (cell::type_of(value) != cell::type_of(input()) || cell::node(value) != cell::node(input()))
            fire(Err::ParseInvalidRef, rule);
        pos_ = cell::head(value);
        clamp();
        item_done(true);
        return true;
    }
    case TypeId::Integer:
        return count(*rule);
    case TypeId::Path: case TypeId::SetPath: case TypeId::GetPath: case TypeId::LitPath:
        fire(Err::ParseRule, rule);
    default: {
        int32_t n = match_terminal(rule, pos_);
        if (n >= 0) pos_ += n;
        item_done(n >= 0);
        return true;
    }
    }
}

// The block ran to its end or to a `|` after matching items.
bool Engine::block_succeeded() {
    if (static_cast<int32_t>(g_frames.size()) - 1 == frame_base_) {
        final_ = pos_ >= end();
        return false;
    }
    leave();
    pending_ = true;
    result_ = true;
    return true;
}

// An integer read from a count item: the item itself or a word's value.
int32_t Engine::count_value(const Cell& c) {
    if (cell::is(&c, TypeId::Integer)) return cell::get_int(&c);
    const Cell* v = word::slot(&c);
    return cell::get_int(v);
}

bool Engine::is_count_item(const Cell& c) {
    if (cell::is(&c, TypeId::Integer)) return true;
    if (!cell::is(&c, TypeId::Word) || keyword_of(&c) != KNone) return false;
    return cell::is(word::slot(&c), TypeId::Integer);
}

bool Engine::count(const Cell& first) {
    int32_t min = count_value(first);
    if (min < 0) fire(Err::OutOfRange, &first);
    int32_t max = min;
    if (index_ < rule_tail() && is_count_item(rule_at(index_))) {
        Cell second = rule_at(index_++);
        max = count_value(second);
        if (max < 0) fire(Err::OutOfRange, &second);
        if (max < min) fire(Err::ParseRule, &second);
    }
    if (index_ >= rule_tail() || is_bar(rule_at(index_))) fire(Err::ParseRule, &first);
    return loop(min, max, CLoop);
}

// Starts a loop command over the next item: a literal, or a word holding one, runs as one
// tight count.
bool Engine::loop(int32_t min, int32_t max, Code code) {
    Cell next = rule_at(index_);
    if (max == 0) {
        ++index_;
        item_done(true);
        return true;
    }
    if (const Cell* literal = literal_of(&next)) {
        Cell value = *literal;
        ++index_;
        trace(EPush, result_);
        item_done(loop_literal(&value, min, max));
        trace(EPop, result_);
        return true;
    }
    start_command(code, min, max, 0);
    skip_positions(g_frames.back(), true);
    bool ok;
    if (quick_loop(g_frames.back(), &ok)) {
        pending_ = true;
        result_ = ok;
    }
    return true;
}

bool Engine::keyword(Key key, const Cell& word) {
    last_keyword_ = word;
    switch (key) {
    case KBar:
        return block_succeeded();
    case KSkip: {
        bool ok = pos_ < end();
        if (ok) ++pos_;
        item_done(ok);
        return true;
    }
    case KEnd:
        item_done(pos_ >= end());
        return true;
    case KNoneWord:
        item_done(true);
        return true;
    case KFail:
        item_done(false);
        return true;
    case KBreak:
    case KReject:
        return end_sub_rule(key == KBreak);
    case KAny: case KSome: case KOpt: case KWhile:
        expect_item(&word);
        return loop(key == KSome ? 1 : 0, key == KOpt ? 1 : -1, key == KWhile ? CWhile : CLoop);
    case KTo: case KThru: {
        expect_item(&word);
        Cell next = rule_at(index_);
        // Untraced, `to end` goes at once; a trace run sees the command's own events.
        if (callback_slot_ == 0 && cell::is(&next, TypeId::Word) && keyword_of(&next) == KEnd) {
            ++index_;
            pos_ = std::max(pos_, end());
            item_done(true);
            return true;
        }
        if (const Cell* literal = literal_of(&next)) {
            Cell value = *literal;
            ++index_;
            int32_t at = search(&value, key == KThru);
            if (at >= 0) pos_ = at;
            item_done(at >= 0);
            return true;
        }
        start_command(key == KTo ? CTo : CThru, pos_, 0, 0);
        skip_positions(g_frames.back(), false);
        return true;
    }
    case KAhead: case KNot:
        expect_item(&word);
        start_command(key == KAhead ? CAhead : CNot, 0, 0, 0);
        return true;
    case KSet: case KCopy: {
        if (index_ + 1 >= rule_tail() || !cell::is(&(last_item_ = rule_at(index_)), TypeId::Word))
            fire(Err::ParseEnd, &word);
        Cell target = rule_at(index_++);
        Cell* held = stack::push(&target);
        cell::set_type(held, TypeId::Word);
        start_command(key == KSet ? CSet : CCopy, 0, 0, slot_of(held));
        return true;
    }
    case KIf: {
        if (index_ >= rule_tail() || !cell::is(&(last_item_ = rule_at(index_)), TypeId::Paren))
            fire(Err::ParseEnd, &word);
        ++index_;
        Cell* value = eval_paren(last_item_);
        bool ok = truth::holds(value);
        stack::g_args.top = value - 1;
        clamp();
        item_done(ok);
        return true;
    }
    case KQuote: {
        if (index_ >= rule_tail()) fire(Err::ParseEnd, &word);
        Cell literal = rule_at(index_++);
        int32_t n;
        if (kind_ == Kind::Items) {
            n = pos_ < end() && values_equal(block::at(cell::node(input()), pos_), literal,
                                             case_ ? CompareOp::StrictEqual : CompareOp::Equal)
                    ? 1 : -1;
        } else {
            n = match_terminal(&literal, pos_);
        }
        if (n >= 0) pos_ += n;
        item_done(n >= 0);
        return true;
    }
    case KCase: {
        if (index_ >= rule_tail() || !cell::is(&(last_item_ = rule_at(index_)), TypeId::Word))
            fire(Err::ParseEnd, &word);
        ++index_;
        bool on = truth::holds(word::slot(&last_item_));
        expect_item(&word);
        start_command(CCase, case_ ? 1 : 0, 0, 0);
        case_ = on;
        return true;
    }
    case KRemove: {
        expect_item(&word);
        if (const Cell* at = series_word(index_)) {
            ++index_;
            int32_t from = cell::head(at);
            remove_part(from < pos_ ? from : pos_, from < pos_ ? pos_ : from);
            item_done(true);
            return true;
        }
        if (cell::is(&(last_item_ = rule_at(index_)), TypeId::Path)) fire(Err::ParseRule, &last_item_);
        start_command(CRemove, 0, 0, 0);
        return true;
    }
    case KInsert: {
        ++g_stamp;
        bool only = take_only();
        if (index_ >= rule_tail()) fire(Err::ParseEnd, &word);
        int32_t at = pos_;
        if (const Cell* place = series_word(index_)) {
            at = cell::head(place);
            ++index_;
            if (index_ >= rule_tail()) fire(Err::ParseRule, &last_item_);
        }
        if (at > tail()) at = tail();
        Cell* value = value_item(only);
        int32_t before = tail();
        Cell* series = stack::push(input());
        cell::set_head(series, at);
        lookup<&ActionRow::insert>(series, ActionId::Insert)(series, value, -1, only, 1, false);
        if (at <= pos_) pos_ += tail() - before;
        stack::g_args.top = value;
        item_done(true);
        return true;
    }
    case KChange: {
        ++g_stamp;
        bool only = take_only();
        expect_item(&word);
        if (const Cell* place = series_word(index_)) {
            int32_t from = cell::head(place);
            ++index_;
            if (index_ >= rule_tail()) fire(Err::ParseRule, &last_item_);
            int32_t lo = from < pos_ ? from : pos_, hi = from < pos_ ? pos_ : from;
            if (hi > tail()) hi = tail();
            Cell* value = value_item(only);
            Cell* series = stack::push(input());
            cell::set_head(series, lo);
            lookup<&ActionRow::change>(series, ActionId::Change)(series, value, hi - lo, only, 1);
            stack::g_args.top = value;
            clamp();
            item_done(true);
            return true;
        }
        start_command(CChange, 0, only ? 1 : 0, 0);
        return true;
    }
    case KInto: {
        if (kind_ != Kind::Items) fire(Err::ParseBlock, input());
        if (index_ >= rule_tail()) fire(Err::ParseEnd, &word);
        last_item_ = rule_at(index_);
        if (cell::is(&last_item_, TypeId::Word)) last_item_ = *word::slot(&last_item_);
        if (!cell::is(&last_item_, TypeId::Block)) fire(Err::ParseEnd, &word);
        Cell item{};
        if (pos_ < end()) item = block::at(cell::node(input()), pos_);
        TypeId t = cell::type_of(&item);
        if (pos_ >= end() || !(is_any_block(t) || is_any_string(t) || t == TypeId::Binary)) {
            ++index_;
            item_done(false);
            return true;
        }
        start_command(CInto, input_slot_, limit_, 0);
        Cell* held = stack::push(&item);
        input_slot_ = slot_of(held);
        kind_ = kind_of(t);
        limit_ = -1;
        pos_ = cell::head(held);
        clamp();
        return true;
    }
    case KCollect: {
        expect_item(&word);
        Cell next = rule_at(index_);
        int32_t word_slot = 0;
        if (cell::is(&next, TypeId::Word)) {
            SymId sym = symbol::resolve(word::symbol_of(&next));
            if (sym == symbol::resolve(words::sym::set)) {
                ++index_;
                if (index_ >= rule_tail() || !cell::is(&(last_item_ = rule_at(index_)), TypeId::Word))
                    fire(Err::ParseEnd, &word);
                ++index_;
                word_slot = slot_of(stack::push(&last_item_));
                expect_item(&word);
            } else if (sym == symbol::resolve(words::sym::into) ||
                       sym == symbol::resolve(words::sym::after)) {
                ++index_;
                if (index_ >= rule_tail() || !cell::is(&(last_item_ = rule_at(index_)), TypeId::Word))
                    fire(Err::ParseEnd, &word);
                ++index_;
                expect_item(&word);
                Cell* into = stack::push(word::slot(&last_item_));
                check_target(into);
                if (sym == symbol::resolve(words::sym::after))
                    cell::set_head(into, series::buffer_length(into));
                start_command(CCollect, collect_slot_, 0, slot_of(into));
                g_frames.back().outer_inserts = collect_inserts_;
                collect_slot_ = slot_of(into);
                collect_inserts_ = true;
                ++collect_depth_;
                return true;
            }
        }
        Cell* target = stack::reserve();
        none::set(target);
        block::make_at(target, 8);
        start_command(CCollect, collect_slot_, word_slot, slot_of(target));
        g_frames.back().outer_inserts = collect_inserts_;
        collect_inserts_ = false;
        collect_slot_ = slot_of(target);
        ++collect_depth_;
        return true;
    }
    case KKeep: {
        if (collect_depth_ == 0) fire(Err::ParseKeep);
        expect_item(&word);
        bool pick = cell::is(&(last_item_ = rule_at(index_)), TypeId::Word) &&
                    symbol::resolve(word::symbol_of(&last_item_)) == symbol::resolve(words::sym::pick);
        if (pick) {
            ++index_;
            expect_item(&word);
        }
        last_item_ = rule_at(index_);
        if (cell::is(&last_item_, TypeId::Paren)) {
            ++index_;
            Cell* value = eval_paren(last_item_);
            keep_value(value, pick);
            stack::g_args.top = value - 1;
            clamp();
            item_done(true);
            return true;
        }
        start_command(CKeep, pick ? 1 : 0, 0, 0);
        return true;
    }
    default:
        fire(Err::ParseRule, &word);
    }
}

// insert and change: the word `only` at the rule index is taken when it is there.
bool Engine::take_only() {
    bool only = index_ < rule_tail() && cell::is(&(last_item_ = rule_at(index_)), TypeId::Word) &&
                symbol::resolve(word::symbol_of(&last_item_)) == symbol::resolve(words::sym::only);
    if (only) ++index_;
    return only;
}

// The value of the word at rule index `at` when it is the input series, else nullptr.
const Cell* Engine::series_word(int32_t at) {
    if (at >= rule_tail()) return nullptr;
    last_item_ = rule_at(at);
    if (!cell::is(&last_item_, TypeId::Word) || keyword_of(&last_item_) != KNone) return nullptr;
    const Cell* value = word::slot(&last_item_);
    return same_series(value) ? value : nullptr;
}

void Engine::remove_part(int32_t from, int32_t to) {
    ++g_stamp;
    if (to > tail()) to = tail();
    if (from > to) from = to;
    Cell* series = stack::push(input());
    cell::set_head(series, from);
    Cell* part = stack::reserve();
    integer::set(part, to - from);
    lookup<&ActionRow::remove>(series, ActionId::Remove)(series, part, nullptr);
    stack::g_args.top = series;
    pos_ = from;
}

// The value item of insert and change, taken at the rule index: a paren's result, a word's
// value, any other value as it stands. Pushed; the cell returned.
Cell* Engine::value_item(bool) {
    if (index_ >= rule_tail()) fire(Err::ParseEnd, &last_keyword_);
    Cell item = rule_at(index_++);
    if (cell::is(&item, TypeId::Paren)) {
        Cell* result = eval_paren(item);
        Cell value = *result;
        stack::g_args.top = result - 1;
        return stack::push(&value);
    }
    if (cell::is(&item, TypeId::Path)) fire(Err::ParseRule, &item);
    if (cell::is(&item, TypeId::Word)) {
        const Cell* value = word::slot(&item);
        if (cell::is(value, TypeId::Unset)) fire(Err::NoValue, &item);
        return stack::push(value);
    }
    return stack::push(&item);
}

bool Engine::finish_change(Frame f, bool ok) {
    ++g_stamp;
    // The rule may have held keywords of its own: a missing value names `change` itself.
    int32_t keyword_at = f.arg_index - (f.max != 0 ? 2 : 1);
    if (keyword_at >= 0 && keyword_at < rule_tail()) last_keyword_ = rule_at(keyword_at);
    if (!ok) {
        if (index_ >= rule_tail()) fire(Err::ParseEnd, &last_keyword_);
        ++index_;
        return false;
    }
    int32_t start = f.start > tail() ? tail() : f.start;
    Cell* value = value_item(f.max != 0);
    Cell* series = stack::push(input());
    cell::set_head(series, start);
    Cell* after = lookup<&ActionRow::change>(series, ActionId::Change)(series, value, pos_ - start,
                                                                    f.max != 0, 1);
    pos_ = cell::head(after);
    stack::g_args.top = value;
    return true;
}

Cell* Engine::target() { return at_slot(collect_slot_); }

// A collect into or after target: a series the input's items can go into, not the input.
void Engine::check_target(const Cell* into) {
    TypeId t = cell::type_of(into);
    TypeId in = cell::type_of(input());
    bool ok = t == in || is_any_block(t) ||
              (is_any_string(t) && kind_ != Kind::Items);
    if (!ok) fire(Err::ParseIntoType);
    if (cell::node(into) == cell::node(input())) fire(Err::ParseIntoBad);
}

void Engine::keep_value(const Cell* value, bool pick) {
    ++g_stamp;
    if (pick && cell::is(value, TypeId::Block)) {
        int32_t n = block::rs_length(value);
        for (int32_t i = 0; i < n; ++i) {
            Cell item = block::at(cell::node(value), cell::head(value) + i);
            keep_value(&item, false);
        }
        return;
    }
    if (collect_inserts_) {
        // A series target: inserted by its own insert, which converts text of another width.
        check_target(target());
        Cell* held = stack::push(value);
        Cell* at = stack::push(target());
        Cell* after = lookup<&ActionRow::insert>(at, ActionId::Insert)(at, held, -1, true, 1, false);
        cell::set_head(target(), cell::head(after));
        stack::g_args.top = held;
        return;
    }
    Cell copy = *value;
    block::append_cell(target(), &copy);
}

// keep: nothing for an empty match, one item as itself, more as a copy; pick keeps them one by
// one.
void Engine::keep_part(Frame f) {
    int32_t start = f.start > tail() ? tail() : f.start;
    int32_t n = pos_ - start;
    if (n <= 0) return;
    for (int32_t i = 0; i < (f.min ? n : 1); ++i) {
        Cell* value = stack::reserve();
        if ((n == 1 && !f.max) || f.min) {
            item_value(value, start + i);
        } else {
            *value = *input();
            cell::set_head(value, start);
            Cell* part = stack::reserve();
            integer::set(part, n);
            value = series_copy(value, part, kind_ == Kind::Items);
        }
        keep_value(value, false);
        stack::g_args.top = value;
    }
}

// A collect ends: its block goes to the enclosing collect, to its word, or to the result.
void Engine::finish_collect(Frame f) {
    ++g_stamp;
    Cell gathered = *at_slot(f.word_slot);
    bool inserted = collect_inserts_;
    collect_slot_ = f.min;
    collect_inserts_ = f.outer_inserts;
    --collect_depth_;
    if (inserted) {
        // into and after leave the word where it was
    } else if (f.max > 0) {
        word::set(at_slot(f.max), &gathered);
        if (collect_depth_ == 0) none::set(at_slot(result_slot_));
    } else if (collect_depth_ > 0) {
        keep_value(&gathered, false);
    } else if (cell::is(at_slot(result_slot_), TypeId::Block)) {
        Cell result = *at_slot(result_slot_);
        block::append_cell(&result, &gathered);
    } else {
        *at_slot(result_slot_) = gathered;
    }
    stack::g_args.top = at_slot(f.max > 0 ? f.max : f.word_slot);
}

// A command that break or reject end before its rule has: what it switched goes back, and it
// does nothing (a collect keeps no block, set and copy set nothing).
void Engine::abandon(const Frame& f) {
    switch (f.code) {
    case CCase:
        case_ = f.min != 0;
        break;
    case CCollect:
        collect_slot_ = f.min;
        collect_inserts_ = f.outer_inserts;
        --collect_depth_;
        break;
    default:  // into's rule is a block, whose own sub-rule entry stops break and reject
        break;
    }
}

// break and reject: the innermost sub-rule ends at once, matched or failed.
bool Engine::end_sub_rule(bool ok) {
    trace(EMatch, ok);
    break_ = true;
    while (g_frames.back().code != CSub) {
        abandon(g_frames.back());
        g_frames.pop_back();
    }
    if (static_cast<int32_t>(g_frames.size()) - 1 == frame_base_) {
        final_ = ok && pos_ >= end();
        return false;
    }
    leave();
    pending_ = true;
    result_ = ok;
    return true;
}

bool Engine::run() {
    for (;;) {
        if (pending_) {
            if (!deliver(result_)) break;
        } else {
            if (callback_slot_ != 0 && !argument_ && index_ < rule_tail()) trace(EFetch, result_);
            if (stopped_) return result_;
            if (!take_item()) break;
        }
        if (stopped_) return result_;
    }
    trace(EPop, final_);
    trace(EEnd, final_);
    return final_;
}

}  // namespace

int32_t depth() { return static_cast<int32_t>(g_frames.size()); }

int32_t most_frames() { return (kStackLimit - 1) / kCellsPerFrame; }

uint64_t items_taken() { return g_items_taken; }

void forget() {
    g_keys.clear();
    g_canonical_keys.clear();
    g_event_words_made = false;
}

void native(bool check, const int32_t* refinements) {
    if (check) {
        TypeId t = cell::type_of(stack::arg(0));
        if (!(t == TypeId::Binary || is_any_block(t) || is_any_string(t))) fire_expect_arg(t, 0);
        if (!cell::is(stack::arg(1), TypeId::Block)) fire_expect_arg(cell::type_of(stack::arg(1)), 1);
    }
    Cell* input = stack::arg(0);
    bool case_ = refinements[0] >= 0;
    int32_t limit = -1;
    if (refinements[1] >= 0) {
        Cell* part = stack::arg(refinements[1]);
        if (cell::is(part, TypeId::Integer)) {
            // Past either end of the index range the limit is the same as at that end.
            const int64_t at = int64_t{cell::head(input)} + cell::get_int(part);
            limit = static_cast<int32_t>(std::clamp<int64_t>(at, INT32_MIN, INT32_MAX));
        } else if (cell::type_of(part) == cell::type_of(input) && cell::node(part) == cell::node(input)) {
            limit = cell::head(part);
        } else {
            Cell name = words::w::part;
            fire(Err::InvalidRefineArg, &name, part);
        }
        if (limit <= 0) {
            bool empty = cell::head(input) >= series::buffer_length(input);
            logic::set(stack::arg(0), empty);
            stack::keep_one();
            return;
        }
    }
    stack::g_args.top = stack::arg(refinements[2] >= 0 ? refinements[2] + 1 : 2);
    if (refinements[1] >= 0 && stack::g_args.top <= stack::arg(refinements[1]))
        stack::g_args.top = stack::arg(refinements[1] + 1);
    Cell outcome;
    {
        Engine engine(input, stack::arg(1), case_, limit);
        if (refinements[2] >= 0)
            engine.callback_slot_ = static_cast<int32_t>(stack::index_of(stack::arg(refinements[2])));
        bool result = engine.run();
        outcome = *stack::at_index(static_cast<uint32_t>(engine.result_slot_));
        if (engine.stopped_ || !cell::is(&outcome, TypeId::Block)) logic::set(&outcome, result);
    }
    stack::set_result(&outcome);
}

}  // namespace nuv::parse
