#include "runtime/evaluator/parse.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "runtime/compare.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/evaluator/truth.h"
#include "runtime/stack.h"
#include "runtime/support.h"
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

// Frames of every call in progress; capacity made once and kept, so no frame costs an
// allocation.
std::vector<Frame>& frames() {
    static std::vector<Frame> stack = [] {
        std::vector<Frame> v;
        v.reserve(4096);
        return v;
    }();
    return stack;
}

constexpr int32_t kCellsPerFrame = 3;
constexpr int32_t kStackLimit = 10001;

const std::vector<uint8_t>& keyword_table() {
    static std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t;
        auto add = [&t](SymId s, Key k) {
            SymId c = symbol::resolve(s);
            if (c >= t.size()) t.resize(c + 1, KNone);
            t[c] = k;
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
        return t;
    }();
    return table;
}

Key keyword_of(const Cell* word) {
    const auto& table = keyword_table();
    SymId c = symbol::resolve(word::symbol_of(word));
    return c < table.size() ? static_cast<Key>(table[c]) : KNone;
}

bool is_bar(const Cell& c) { return cell::is(&c, TypeId::Word) && keyword_of(&c) == KBar; }

enum Event : uint8_t { EPush, EFetch, EMatch, EParen, EIterate, EPop, EEnd, EventCount };

// The event words, made at the first traced call.
const Cell* event_word(Event e) {
    static Cell table[EventCount];
    static bool made = false;
    if (!made) {
        static const char* const names[EventCount] = {"push", "fetch", "match", "paren",
                                                      "iterate", "pop", "end"};
        for (int i = 0; i < EventCount; ++i)
            table[i] = word::word_or_global(context::g_global_node, symbol::make_cstr(names[i]));
        made = true;
    }
    return &table[e];
}

enum class Kind : uint8_t { Text, Bytes, Items };

Kind kind_of(TypeId t) {
    return t == TypeId::Binary ? Kind::Bytes : series::is_any_block(t) ? Kind::Items : Kind::Text;
}

// One call's match state. Cells it names live on the argument stack above the call's base.
class Engine {
  public:
    Engine(Cell* input, const Cell* rules, bool case_, int32_t limit)
        : input_slot_(slot_of(input)), case_(case_), frame_base_(static_cast<int32_t>(frames().size())) {
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
    ~Engine() { frames().resize(frame_base_); }

    bool run();

  private:
    static int32_t slot_of(const Cell* c) { return static_cast<int32_t>(stack::index_of(c)); }
    static Cell* at_slot(int32_t s) { return stack::at_index(static_cast<uint32_t>(s)); }
    Cell* input() const { return at_slot(input_slot_); }
    Cell* rules() const { return at_slot(rules_slot_); }
    int32_t tail() const { return series::buffer_length(input()); }
    int32_t end() const { return limit_ >= 0 && limit_ < tail() ? limit_ : tail(); }
    int32_t rule_tail() const { return block::count(cell::node(rules())); }
    Cell rule_at(int32_t i) const { return block::at(cell::node(rules()), i); }
    void clamp() {
        if (pos_ > tail()) pos_ = tail();
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
        if ((static_cast<int32_t>(frames().size()) + 1) * kCellsPerFrame >= kStackLimit) fire(Err::ParseStack);
        frames().push_back(f);
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
        Frame f = frames().back();
        frames().pop_back();
        stack::g_args.top = at_slot(rules_slot_);
        rules_slot_ = f.rules_slot;
        index_ = f.resume;
    }

    int32_t match_terminal(const Cell* value, int32_t at);
    int32_t match_text(const Cell* value, int32_t at);
    int32_t match_bytes(const Cell* value, int32_t at);
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
    void assign(const Frame& f);
    void item_value(Cell* out, int32_t at);
    bool block_succeeded();
    int32_t count_value(const Cell& c);
    bool is_count_item(const Cell& c);
    bool count(const Cell& first);
    bool loop(int32_t min, int32_t max, Code code);
    bool keyword(Key key, const Cell& word);
    bool end_sub_rule(bool ok);
    void abandon(const Frame& f);
    void trace(Event e, bool ok);
  public:
    int32_t callback_slot_ = 0;  // the trace callback, 0 without /trace
    bool stopped_ = false;       // the callback answered none or false
  private:
    void remove_part(int32_t from, int32_t to);
    bool finish_change(const Frame& f, bool ok);
    Cell* value_item(bool only_block);
    bool same_series(const Cell* value) const {
        return cell::type_of(value) == cell::type_of(input()) && cell::node(value) == cell::node(input());
    }
    const Cell* series_word(int32_t at);
    void finish_collect(const Frame& f);
    void keep_part(const Frame& f);
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
    bool done_ = false;
    bool final_ = false;
    bool argument_ = false;  // the next item is a command's argument
    Cell last_keyword_{};
    Cell last_item_{};
};

// Calls the trace callback with the event, the match result, the rule and input at their
// positions and a copy of the rule blocks in use; none or false stops the match.
void Engine::trace(Event e, bool ok) {
    if (callback_slot_ == 0 || stopped_) return;
    Cell* values = stack::push(event_word(e));
    Cell* match = stack::reserve();
    logic::set(match, ok);
    Cell* rule = stack::push(rules());
    cell::set_head(rule, index_ > rule_tail() ? rule_tail() : index_);
    Cell* in = stack::push(input());
    cell::set_head(in, pos_ > tail() ? tail() : pos_);
    Cell* copy = stack::reserve();
    none::set(copy);
    block::make_at(copy, static_cast<int32_t>(frames().size()) - frame_base_ + 1);
    for (size_t i = static_cast<size_t>(frame_base_) + 1; i < frames().size(); ++i) {
        int32_t slot = frames()[i].rules_slot;
        if (frames()[i].code == CSub && slot > 0) block::append_cell(copy, at_slot(slot));
    }
    block::append_cell(copy, rules());
    Cell* answer = interp::call_function(at_slot(callback_slot_), hooks::Callback::Parse, values, 5);
    if (!truth::holds(answer)) stopped_ = true;
    stack::g_args.top = values;
}

CompareOp text_op(bool case_) { return case_ ? CompareOp::StrictEqual : CompareOp::Equal; }

// Units the value matches at `at`, or -1.
int32_t Engine::match_text(const Cell* value, int32_t at) {
    Cell here = *input();
    cell::set_head(&here, at);
    int32_t room = end() - at;
    TypeId t = cell::type_of(value);
    if (t == TypeId::Bitset) {
        if (room <= 0) return -1;
        return bitset::has(value, string::char_at(&here, 0)) ? 1 : -1;
    }
    if (t == TypeId::Char) {
        if (room <= 0) return -1;
        return string::match_head(&here, value, text_op(case_)) ? 1 : -1;
    }
    if (t == TypeId::String || t == TypeId::File || t == TypeId::Url || t == TypeId::Email ||
        t == TypeId::Ref || t == TypeId::Tag) {
        int32_t n = string::length(value) + (t == TypeId::Tag ? 2 : 0);
        if (n > room) return -1;
        return string::match_head(&here, value, text_op(case_)) ? n : -1;
    }
    if (t == TypeId::Datatype || t == TypeId::Typeset) fire(Err::ParseUnsupported);
    return -1;
}

// Binary input: a string-like value matches by its UTF-8 bytes, encoded as they are compared.
int32_t Engine::match_bytes(const Cell* value, int32_t at) {
    int32_t stop = end();
    const Cell* in = input();
    TypeId t = cell::type_of(value);
    if (t == TypeId::Char || t == TypeId::Bitset) {
        if (at >= stop) return -1;
        uint8_t b = binary::byte_at(in, at);
        if (t == TypeId::Char) return static_cast<uint32_t>(cell::get_int(value)) == b ? 1 : -1;
        return bitset::has(value, b) ? 1 : -1;
    }
    if (t == TypeId::Binary) {
        int32_t n = binary::rs_length(value);
        if (at + n > stop) return -1;
        const uint8_t* want = binary::rs_head(value);
        for (int32_t i = 0; i < n; ++i)
            if (binary::byte_at(in, at + i) != want[i]) return -1;
        return n;
    }
    if (is_any_string(t)) {
        int32_t count = string::length(value);
        int32_t p = at;
        for (int32_t i = 0; i < count; ++i) {
            char32_t cp = string::char_at(value, i);
            uint8_t enc[4];
            int n = 0;
            if (cp < 0x80) {
                enc[n++] = static_cast<uint8_t>(cp);
            } else if (cp < 0x800) {
                enc[n++] = static_cast<uint8_t>(0xC0 | (cp >> 6));
                enc[n++] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                enc[n++] = static_cast<uint8_t>(0xE0 | (cp >> 12));
                enc[n++] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
                enc[n++] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            } else {
                enc[n++] = static_cast<uint8_t>(0xF0 | (cp >> 18));
                enc[n++] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
                enc[n++] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
                enc[n++] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            }
            if (p + n > stop) return -1;
            for (int k = 0; k < n; ++k)
                if (binary::byte_at(in, p + k) != enc[k]) return -1;
            p += n;
        }
        return p - at;
    }
    if (t == TypeId::Datatype || t == TypeId::Typeset) natives::not_done(false, nullptr);
    return -1;
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

// Index where `to` (or `thru`) a literal stops, or -1.
int32_t Engine::search(const Cell* value, bool thru) {
    if (kind_ != Kind::Items) {
        TypeId t = cell::type_of(value);
        bool text = is_any_string(t) || t == TypeId::Char || t == TypeId::Bitset || t == TypeId::Binary;
        if (!text) fire(Err::ParseRule, value);
    }
    for (int32_t at = pos_; at <= end(); ++at) {
        int32_t n = match_terminal(value, at);
        if (n >= 0) return thru ? at + n : at;
    }
    return -1;
}

// A loop over a literal: one tight count of repeated matches.
bool Engine::loop_literal(const Cell* value, int32_t min, int32_t max) {
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
    for (int32_t i = index_; i < n; ++i) {
        Cell c = rule_at(i);
        if (cell::is(&c, TypeId::Word) && keyword_of(&c) == KBar) {
            index_ = i + 1;
            pos_ = frames().back().start;
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
        Frame& f = frames().back();
        if (f.code == CSub) {
            if (ok) { pending_ = false; return true; }
            if (block_failed()) { pending_ = false; return true; }
            if (static_cast<int32_t>(frames().size()) - 1 == frame_base_) {
                final_ = false;
                return false;
            }
            pos_ = f.start;
            clamp();
            leave();
            continue;
        }
        bool result = ok;
        switch (f.code) {
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
        Code f_code = f.code;
        if (f.word_slot > 0 && f.code != CCollect) stack::g_args.top = at_slot(f.word_slot);
        frames().pop_back();
        // A loop whose rule is a single command sees no shortening as progress.
        if (frames().back().code != CSub) frames().back().length = -1;
        // keep of a copy keeps the copied series, even of one item.
        if (f_code == CCopy && frames().back().code == CKeep) frames().back().max = 1;
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
        Cell here = *input();
        cell::set_head(&here, at);
        cell::put(out, static_cast<uint32_t>(TypeId::Char), 0,
                  static_cast<uint32_t>(string::char_at(&here, 0)), 0);
    } else if (kind_ == Kind::Bytes) {
        integer::set(out, binary::byte_at(input(), at));
    } else {
        *out = block::at(cell::node(input()), at);
    }
}

// set and copy: the word takes the first matched item, or a copy of the matched part.
void Engine::assign(const Frame& f) {
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

// Evaluates the paren in a stable cell; its value is left at the stack top.
Cell* eval_paren(const Cell& paren) {
    Cell* held = stack::push(&paren);
    return interp::do_block(held);
}

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

// Takes up the next rule item. Answers false when matching is over.
bool Engine::take_item() {
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
        eval_paren(*rule);
        stack::g_args.top = rules() + 1;
        clamp();
        if (index_ > rule_tail()) index_ = rule_tail();
        trace(EParen, true);
        pending_ = true;
        result_ = true;
        return true;
    case TypeId::SetWord: {
        Cell* word = stack::push(rule);
        Cell* here = stack::push(input());
        cell::set_head(here, pos_);
        word::set(word, here);
        stack::g_args.top = word;
        item_done(true);
        return true;
    }
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
    if (static_cast<int32_t>(frames().size()) - 1 == frame_base_) {
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

// Starts a loop command over the next item: a literal runs as one tight count.
bool Engine::loop(int32_t min, int32_t max, Code code) {
    Cell next = rule_at(index_);
    if (max == 0) {
        ++index_;
        item_done(true);
        return true;
    }
    if (is_literal(&next) && code == CLoop) {
        ++index_;
        trace(EPush, result_);
        item_done(loop_literal(&next, min, max));
        trace(EPop, result_);
        return true;
    }
    start_command(code, min, max, 0);
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
        if (is_literal(&next)) {
            ++index_;
            int32_t at = search(&next, key == KThru);
            if (at >= 0) pos_ = at;
            item_done(at >= 0);
            return true;
        }
        start_command(key == KTo ? CTo : CThru, pos_, 0, 0);
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
        stack::g_args.top = rules() + 1;
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
        bool only = index_ < rule_tail() && cell::is(&(last_item_ = rule_at(index_)), TypeId::Word) &&
                    symbol::resolve(word::symbol_of(&last_item_)) == symbol::resolve(words::sym::only);
        if (only) ++index_;
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
        bool only = index_ < rule_tail() && cell::is(&(last_item_ = rule_at(index_)), TypeId::Word) &&
                    symbol::resolve(word::symbol_of(&last_item_)) == symbol::resolve(words::sym::only);
        if (only) ++index_;
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
                frames().back().outer_inserts = collect_inserts_;
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
        frames().back().outer_inserts = collect_inserts_;
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

// The value of the word at rule index `at` when it is the input series, else nullptr.
const Cell* Engine::series_word(int32_t at) {
    if (at >= rule_tail()) return nullptr;
    last_item_ = rule_at(at);
    if (!cell::is(&last_item_, TypeId::Word) || keyword_of(&last_item_) != KNone) return nullptr;
    const Cell* value = word::slot(&last_item_);
    return same_series(value) ? value : nullptr;
}

void Engine::remove_part(int32_t from, int32_t to) {
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

bool Engine::finish_change(const Frame& f, bool ok) {
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
void Engine::keep_part(const Frame& f) {
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
void Engine::finish_collect(const Frame& f) {
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
    while (frames().back().code != CSub) {
        abandon(frames().back());
        frames().pop_back();
    }
    if (static_cast<int32_t>(frames().size()) - 1 == frame_base_) {
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
        if (stopped_) return result_;
        if (pending_) {
            if (!deliver(result_)) break;
            continue;
        }
        if (!argument_ && index_ < rule_tail()) trace(EFetch, result_);
        if (stopped_) return result_;
        if (!take_item()) break;
    }
    trace(EPop, final_);
    trace(EEnd, final_);
    return final_;
}

}  // namespace

int32_t depth() { return static_cast<int32_t>(frames().size()); }

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
