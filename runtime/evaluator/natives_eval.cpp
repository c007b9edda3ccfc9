// do, reduce, compose, apply, get, set, unset, value?, print and prin. Values in flight stay in
// argument-stack cells; positions in blocks are (node, index) pairs re-read after every
// evaluation.
#include "runtime/evaluator/natives_eval.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/evaluator/trace.h"
#include "runtime/frames.h"
#include "runtime/output.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/syntax/lexer.h"
#include "runtime/unicode.h"
#include "runtime/words.h"

namespace nuv::natives_eval {

namespace {

using T = TypeId;

bool is_flag(const int32_t* refinements, int32_t k) { return refinements[k] >= 0; }

// Types whose value, met alone in code, is not simply itself.
constexpr std::array<bool, kTypeSlots> kEvaluates = [] {
    std::array<bool, kTypeSlots> table{};
    for (T t : {T::Word, T::SetWord, T::GetWord, T::LitWord, T::Native, T::Action, T::Op,
                T::Function, T::Routine, T::LitPath, T::SetPath, T::GetPath})
        table[static_cast<int>(t)] = true;
    return table;
}();

// Values a block of words is set from position by position.
constexpr std::array<bool, kTypeSlots> kSpreads = [] {
    std::array<bool, kTypeSlots> table{};
    for (T t : {T::Block, T::Paren, T::Hash, T::Path, T::LitPath, T::SetPath, T::GetPath})
        table[static_cast<int>(t)] = true;
    return table;
}();

bool evaluates(T t) { return kEvaluates[static_cast<int>(t)]; }
bool spreads(T t) { return kSpreads[static_cast<int>(t)]; }
// any-word!: the word types a value can be read through and set through.
bool is_settable_word(T t) { return t == T::Word || t == T::SetWord || t == T::GetWord || t == T::LitWord; }

// ---- reduce ----

// Puts the values (or, with `only`, the one value) into `out`: appended when `out` is at its
// tail, which then keeps its index, else inserted at its position, past which it then stands.
Cell* insert_into(Cell* out, Cell* values, bool only) {
    const bool at_tail = block::head_index(out) >= block::count(cell::node(out));
    Cell* held = stack::push(out);
    Cell* after = block::insert(held, values, -1, only, 1, at_tail);
    return at_tail ? out : after;
}

// ---- compose ----

// One level of a compose/deep walk: the block being composed and the levels enclosing it. The
// walk keeps its own chain rather than the shared cycle stack, so values that the parens' code
// molds or compares meanwhile are not taken for cycles.
struct Enclosing {
    NodeId node;
    const Enclosing* outer;
    int32_t depth;
};

bool encloses(const Enclosing* level, NodeId node) {
    for (; level; level = level->outer)
        if (level->node == node) return true;
    return false;
}

// Appends the composed values of the block, from its head, at the tail of `target` (a stable
// cell). May allocate and run the parens' code.
void compose_block(const Cell* source, Cell* target, bool deep, bool only, const Enclosing* outer) {
    const Cell from = *source;
    const NodeId node = cell::node(&from);
    const Enclosing level{node, outer, outer ? outer->depth + 1 : 1};
    if (level.depth >= cycles::kCapacity) fire(Err::TooDeep);
    Cell* mark = stack::g_args.top;
    for (int32_t i = block::head_index(&from); i < block::count(node); i++) {
        const Cell item = block::at(node, i);
        switch (cell::type_of(&item)) {
        case T::Block: {
            if (!deep) {
                block::append_cell(target, &item);
                break;
            }
            if (encloses(&level, cell::node(&item))) fire(Err::NoCycle);
            Cell* nested = block::push_new(std::max(block::rs_length(&item), 0));
            compose_block(&item, nested, deep, only, &level);
            nested->header = item.header;  // keeps the new-line marker
            block::append_cell(target, nested);
            break;
        }
        case T::Paren: {
            if (block::rs_length(&item) <= 0) break;
            Cell* value = interp::do_block(&item);
            const T type = cell::type_of(value);
            if (type == T::Block && !only) {
                block::append_all(target, value);
            } else if (type != T::Unset) {
                block::append_cell(target, value);
            }
            break;
        }
        default: block::append_cell(target, &item); break;
        }
        stack::g_args.top = mark;
    }
}

// ---- do ----

// do's spec argument number of the /next position word: value /expand /args arg /next position.
constexpr int32_t kPositionArg = 2;

// Evaluates the block (a stable cell) into arguments[0]. With a position word (a stable cell),
// only the first expression, the word then holding the block just past it.
void run_block(const Cell* block, Cell* position_word) {
    if (!position_word) {
        stack::set_result(interp::do_block(block));
        return;
    }
    if (!cell::is(position_word, T::Word)) fire_expect_arg(cell::type_of(position_word), kPositionArg);
    const Cell source = *block;
    const int32_t after = interp::eval_at(&source, block::head_index(&source));
    Cell* value = stack::top();
    Cell position = source;
    cell::set_head(&position, after);
    word::set(position_word, &position);
    stack::set_result(value);
}

// The value alone as code: a one-value block, so words, functions and paths behave as they do
// in any block (a function finds no argument after itself). Answers the value's cell itself
// when it evaluates to itself, else the pushed result; the arguments stay where they are.
Cell* eval_alone(Cell* value) {
    if (!evaluates(cell::type_of(value))) return value;
    Cell* code = block::push_new(1);
    block::append_cell(code, value);
    return interp::do_block(code);
}

[[noreturn]] void raise_error_value(const Cell* error) {
    const Cell held = *error;
    RaisedError record{};
    const Cell code = *error::field(&held, error::kCode);
    const int32_t number = cell::is(&code, T::Integer) ? cell::get_int(&code) : -1;
    const bool known = number >= 0 && number < 1000 && err_word(static_cast<Err>(number))[0] != '\0';
    record.id = known ? static_cast<Err>(number) : Err::InvalidError;
    for (int32_t k = 0; k < 3; k++) {
        record.args[k] = *error::field(&held, error::kArg1 + k);
        if (!cell::is(&record.args[k], T::None)) record.argc = k + 1;
    }
    fire_value(record, &held);
}

// ---- get and set ----

// Value #k of a block-like value from its head, none past its end. No allocation.
Cell spread_at(const Cell* value, int32_t k) {
    const NodeId node = cell::node(value);
    const int32_t at = block::head_index(value) + k;
    return at < block::count(node) ? block::at(node, at) : *none::shared();
}

void set_words(const Cell* words_block, const Cell* value, bool any, bool only, bool some) {
    // A map! spreads its live entries, key and value, as its body holds them.
    if (cell::is(value, T::Map) && !only) value = map::push_body(value, false);
    const bool spread = !only && spreads(cell::type_of(value));
    const NodeId node = cell::node(words_block);
    const int32_t first = block::head_index(words_block);
    const int32_t n = block::count(node) - first;
    // Every check before any write, so a failing one leaves every word as it was.
    for (int32_t k = 0; k < n; k++) {
        const Cell target = block::at(node, first + k);
        if (!is_settable_word(cell::type_of(&target))) fire(Err::InvalidArg, &target);
        if (target.w1 == 0) fire(Err::NotDefined, &target);
        if (spread && !any) {
            const Cell v = spread_at(value, k);
            if (cell::is(&v, T::Unset)) fire(Err::NeedValue, &target);
        }
    }
    for (int32_t k = 0; k < n && first + k < block::count(node); k++) {
        Cell target = block::at(node, first + k);
        const Cell v = spread ? spread_at(value, k) : *value;
        if (some && cell::is(&v, T::None)) continue;
        word::set(&target, &v);
    }
}

// ---- print and prin ----

// The natives table's scratch block lent to one reduction: what it appends is removed and the
// scratch index restored on every exit, so a print inside the reduction of another works.
class ScratchUse {
  public:
    ScratchUse()
        : scratch_(natives::scratch()), head_(cell::head(scratch_)),
          start_(block::count(cell::node(scratch_))) {}
    ~ScratchUse() {
        block::clear_from(scratch_, start_);
        cell::set_head(scratch_, head_);
    }
    ScratchUse(const ScratchUse&) = delete;
    ScratchUse& operator=(const ScratchUse&) = delete;

    Cell* target() const { return scratch_; }
    // The values appended since this use began, as a block.
    Cell appended() const {
        Cell part = *scratch_;
        cell::set_header(&part, T::Block);
        cell::set_head(&part, start_);
        return part;
    }

  private:
    Cell* scratch_;  // a root-block cell: it never moves
    int32_t head_;
    int32_t start_;
};

// The text from its head as UTF-8 in memory no allocation moves, with a line feed on request.
std::string utf8_of(const Cell* text, bool new_line) {
    const uint32_t unit = string::unit_of(text);
    const uint8_t* head = string::head_ptr(text);
    const size_t units = static_cast<size_t>(string::length(text));
    const size_t size = unicode::utf8_size_of_units(head, head + units * unit, unit);
    std::string out(size + (new_line ? 1 : 0), '\n');
    unicode::string_write_utf8(text, reinterpret_cast<uint8_t*>(out.data()), -1, false);
    return out;
}

void output_value(bool new_line) {
    const Cell* value = stack::arg(0);
    const Cell* text;
    if (cell::is(value, T::Block)) {
        ScratchUse use;
        reduce_into(value, use.target());
        const Cell part = use.appended();
        text = form_value_push(&part, 0);
    } else if (cell::is(value, T::String)) {
        text = value;
    } else {
        text = form_value_push(value, 0);
    }
    write_text_value(text, new_line);
    unset::set_result();
    stack::keep_one();
}

}  // namespace

void write_text_value(const Cell* text, bool new_line) {
    const std::string bytes = utf8_of(text, new_line);
    output::write_text(bytes.data(), bytes.size());
    output::set_last_new_line(new_line);
    output::call_value(text, new_line);
}

void print_value(const Cell* value) {
    write_text_value(cell::is(value, T::String) ? value : form_value_push(value, 0), true);
}

void reduce_into(const Cell* block, Cell* target) {
    const Cell source = *block;
    const NodeId node = cell::node(&source);
    for (int32_t i = block::head_index(&source); i < block::count(node);) {
        i = interp::eval_at(&source, i);
        Cell* value = stack::top();
        value->header &= ~cell::kNewLine;
        block::append_cell(target, value);
        stack::drop(1);
    }
}

void reduce(bool, const int32_t* refinements) {
    Cell* value = stack::arg(0);
    Cell* out = is_flag(refinements, 0) ? stack::arg(refinements[0]) : nullptr;
    const T t = cell::type_of(value);
    if (t != T::Block && t != T::Paren && t != T::Hash) {
        if (native::is_any_function(t)) return;  // a function is its own reduction
        // `out` stays on the stack above arguments[0] until the value is in.
        Cell* result = eval_alone(value);
        stack::set_result(out ? insert_into(out, stack::push(result), true) : result);
        return;
    }
    // The values gather in a new block, which is the result or goes into `out` in one splice.
    Cell* values = block::push_new(block::rs_length(value));
    reduce_into(value, values);
    stack::set_result(out ? insert_into(out, values, false) : values);
}

namespace {

// The global word NAME, pushed: library code that natives hand work to is read from its word at
// the call, as user code would read it, so that this layer needs no link to the library and a
// redefinition is the one used.
Cell* global_word(const char* name) {
    return word::push_global(symbol::make_cstr(name));
}

// A file or URL script runs through the library's `do-file`, with no trace callback of its own
// (an open trace run goes on through it) and the /args value or none.
void do_script(const Cell* script, const int32_t* refinements) {
    Cell* name = global_word("do-file");
    const Cell do_file = *word::get(name);
    if (!cell::is(&do_file, T::Function)) fire(Err::NoValue, name);
    const Cell values[3] = {*script, *none::shared(),
                            is_flag(refinements, 1) ? *stack::arg(refinements[1]) : *none::shared()};
    stack::set_result(interp::call_function(&do_file, hooks::Callback::Call, values, 3));
}

// The library's preprocessor rewrites the block (a stable cell) in place, with no job: the
// `expand` of the object the global word `preprocessor` holds at the call. `expand` takes
// blocks and parens: a hash! gets the error a call of it would raise.
void expand_block(const Cell* block) {
    const Cell preprocessor = *word::get(global_word("preprocessor"));
    Cell* name = global_word("expand");
    if (!cell::is(&preprocessor, T::Object)) fire(Err::NoValue, name);
    const Cell expand = *object::get_by_word(&preprocessor, name);
    if (!cell::is(&expand, T::Function)) fire(Err::NoValue, name);
    if (cell::is(block, T::Hash)) {
        const Cell datatype{static_cast<uint32_t>(T::Datatype), static_cast<uint32_t>(T::Hash), 0, 0};
        fire(Err::ExpectArg, name, &datatype, word::push_global(symbol::make_cstr("code")));
    }
    const Cell values[2] = {*block, *none::shared()};
    interp::call_function(&expand, hooks::Callback::Call, values, 2);
}

void do_value(const int32_t* refinements) {
    Cell* value = stack::arg(0);
    Cell* position_word = is_flag(refinements, 2) ? stack::arg(refinements[2]) : nullptr;
    switch (cell::type_of(value)) {
    case T::Block:
    case T::Paren:
    case T::Hash:
        if (is_flag(refinements, 0)) expand_block(value);
        run_block(value, position_word);
        break;
    case T::String: {
        Cell* code = stack::push(none::shared());
        lexer::load_string(code, value, -1, {});
        if (is_flag(refinements, 0)) expand_block(code);
        run_block(code, position_word);
        break;
    }
    case T::Path:
        stack::set_result(interp::eval_path_alone(value, interp::PathMode::Normal, nullptr, false));
        break;
    case T::File:
    case T::Url: do_script(value, refinements); break;
    case T::Error: raise_error_value(value);
    default: stack::set_result(eval_alone(value)); break;
    }
}

// do/trace: the value is done under a trace run with the callback, opened here unless one is
// open (then the callback is ignored). The caller's frame stops return and exit for as long as
// the code runs, so that the run is closed before one goes on past it.
void do_traced(const int32_t* refinements) {
    const Cell callback = *stack::arg(refinements[3]);
    const bool opened = trace::open(&callback);
    const bool marked = frames::mark_caller_body();
    const uint32_t caller = frames::depth() - 1;
    Cell* const entry_top = stack::g_args.top;
    const auto unmark = [&] {
        if (marked && frames::depth() >= caller) frames::set_body_flag(frames::at_depth(caller), false);
    };
    try {
        if (opened) trace::send_init();
        do_value(refinements);
    } catch (const Unwind& u) {
        unmark();
        // An error leaves the argument top where it was raised (at a full stack, maybe), with
        // the error above it: the end event runs from this call's top, the error moved there.
        if (u.kind == UnwindKind::Error && stack::g_args.top > entry_top) {
            const Cell error = *stack::top();
            stack::g_args.top = entry_top;
            if (cell::is(&error, T::Error)) stack::push(&error);
        }
        if (opened) trace::close();
        // An exit that stopped only at the caller's frame because of the mark goes on.
        if (marked && u.target == caller && (u.kind == UnwindKind::Return || u.kind == UnwindKind::Exit))
            frames::return_unwind(u.kind == UnwindKind::Return);
        throw;
    }
    unmark();
    if (opened) trace::close();
}

}  // namespace

void do_(bool, const int32_t* refinements) {
    if (is_flag(refinements, 3)) {
        do_traced(refinements);
    } else {
        do_value(refinements);
    }
}

void get(bool, const int32_t* refinements) {
    Cell* target = stack::arg(0);
    const T type = cell::type_of(target);
    if (is_settable_word(type)) {
        const Cell* slot = word::slot(target);
        if (cell::is(slot, T::Unset) && !is_flag(refinements, 0)) fire(Err::NoValue, target);
        stack::set_result(slot);
    } else if (type >= T::Path && type <= T::GetPath) {
        stack::set_result(interp::eval_path_alone(target, interp::PathMode::Get, nullptr,
                                                  is_flag(refinements, 1)));
    } else if (type == T::Object) {
        object::reflect(target, words::sym::values);
        stack::keep_one();
    } else {
        fire_expect_arg(type, 0);
    }
}

void set(bool, const int32_t* refinements) {
    const bool any = is_flag(refinements, 0);
    Cell* target = stack::arg(0);
    Cell* value = stack::arg(1);
    const T type = cell::type_of(target);
    if (cell::is(value, T::Unset) && !any) fire(Err::NeedValue, target);
    if (is_settable_word(type)) {
        word::set(target, value);
    } else if (type >= T::Path && type <= T::GetPath) {
        interp::eval_path_alone(target, interp::PathMode::Set, value, is_flag(refinements, 1));
    } else if (type == T::Object) {
        object::set_many(target, value, any, is_flag(refinements, 2), is_flag(refinements, 3));
    } else if (type == T::Block) {
        set_words(target, value, any, is_flag(refinements, 2), is_flag(refinements, 3));
    } else {
        fire_expect_arg(type, 0);
    }
    stack::set_result(value);
}

void compose(bool, const int32_t* refinements) {
    Cell* value = stack::arg(0);
    if (!cell::is(value, T::Block)) {
        Cell expected;
        Cell got;
        datatype::set(&expected, T::Block);
        datatype::set(&got, cell::type_of(value));
        fire(Err::ExpectVal, &expected, &got);
    }
    Cell* out = is_flag(refinements, 2) ? stack::arg(refinements[2]) : nullptr;
    // Nested results never go into `out` directly: the values gather in a new block first and
    // reach `out` in one splice.
    Cell* values = block::push_new(std::max(block::rs_length(value), 0));
    compose_block(value, values, is_flag(refinements, 0), is_flag(refinements, 1), nullptr);
    stack::set_result(out ? insert_into(out, values, false) : values);
}

void apply(bool, const int32_t* refinements) {
    Cell* target = stack::arg(0);
    Cell* args = stack::arg(1);
    if (!cell::is(args, T::Block)) fire_expect_arg(cell::type_of(args), 1);
    uint32_t flags = is_flag(refinements, 0) ? interp::kApplyAll : interp::kApplyReduce;
    if (is_flag(refinements, 1)) flags |= interp::kApplySafer;
    const T type = cell::type_of(target);
    Cell name = words::w::applied;
    const Cell* path = nullptr;
    int32_t path_from = 0;
    Cell callee = *target;
    if (is_settable_word(type)) {
        name = *target;
        callee = *word::slot(target);
    } else if (type >= T::Path && type <= T::GetPath) {
        const NodeId node = cell::node(target);
        const int32_t head = block::head_index(target);
        if (head >= block::count(node)) fire(Err::EmptyPath);
        name = block::at(node, head);
        if (!cell::is(&name, T::Word)) fire(Err::InvalidArg, target);
        callee = *word::slot(&name);
        path = target;
        path_from = head + 1;
    } else if (!native::is_any_function(type)) {
        fire_expect_arg(type, 0);
    }
    if (!native::is_any_function(cell::type_of(&callee))) fire(Err::InvalidArg, target);
    cell::set_type(&name, T::Word);
    stack::set_result(interp::apply_block(&callee, &name, path, path_from, args, flags));
}

void unset(bool, const int32_t*) {
    Cell* target = stack::arg(0);
    if (cell::is(target, T::Word)) {
        word::set(target, unset::shared());
    } else if (cell::is(target, T::Block)) {
        const NodeId node = cell::node(target);
        for (int32_t i = block::head_index(target); i < block::count(node); i++) {
            Cell item = block::at(node, i);
            if (cell::is(&item, T::Word)) word::set(&item, unset::shared());
        }
    } else {
        fire_expect_arg(cell::type_of(target), 0);
    }
    unset::set_result();
    stack::keep_one();
}

void is_value(bool, const int32_t*) {
    const Cell* value = stack::arg(0);
    const bool has = !is_settable_word(cell::type_of(value)) ||
                     (value->w1 != 0 && !cell::is(word::slot(value), T::Unset));
    stack::set_result(logic::shared(has));
}

void print(bool, const int32_t*) { output_value(true); }
void prin(bool, const int32_t*) { output_value(false); }

}  // namespace nuv::natives_eval
