// Conditionals over values and blocks of cases, and the loops over series with their steps.
// Loops hold series as argument-stack cells (node and head), never buffer addresses, and read
// the tail from the buffer at every step.
#include "runtime/evaluator/natives_loops.h"

#include <algorithm>
#include <cstring>
#include <climits>
#include <cmath>
#include <optional>
#include <vector>

#include "runtime/actions.h"
#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/hash_block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/native_support.h"
#include "runtime/evaluator/truth.h"
#include "runtime/frames.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/watch.h"
#include "runtime/words.h"

namespace nuv::natives_loops {

namespace {

using natives::arg_slot;
using natives::need_type;
using T = TypeId;
using Kind = std::optional<UnwindKind>;

void need_words(int32_t index) {
    const T t = cell::type_of(stack::arg(index));
    if (t != T::Word && t != T::Block) fire_expect_arg(t, index);
}

bool is_series_type(T t) {
    return series::is_any_block(t) || series::is_any_string(t) || t == T::Binary ||
           t == T::Vector || t == T::Image;
}

// A type registered without its module has no element access yet; map! has its own step.
void need_walkable(T t) {
    if (t == T::Map) return;
    if (!registry::row(t).pick) fire(Err::NotDone);
}

// Words in the block from its head.
int32_t word_count(const Cell* words) {
    return block::count(cell::node(words)) - block::head_index(words);
}

// The loop frame, pushed above the native's `count` arguments, which stay where they are: its
// arguments[0] receives each evaluation's value and the value a break or continue leaves.

// Sets one target of a words block (or the one word) to the value; both are copies.
void set_target(Cell target, const Cell& value) {
    switch (cell::type_of(&target)) {
    case T::Word:
    case T::SetWord:
    case T::GetWord:
    case T::LitWord: word::set(&target, &value); break;
    default: fire(Err::InvalidArg, &target);
    }
}

// Sets the word, or each word of the block, to value_at(k) for its 0-based place k. The words
// block is re-read after each assignment, which may allocate.
template <class ValueAt>
void assign_words(const Cell* words, ValueAt value_at) {
    if (!cell::is(words, T::Block)) {
        set_target(*words, value_at(0));
        return;
    }
    const NodeId node = cell::node(words);
    const int32_t head = block::head_index(words);
    for (int32_t i = head; i < block::count(node); i++) {
        set_target(block::at(node, i), value_at(i - head));
    }
}

// The foreach steps' assignment, by the series' family.
void set_words(const Cell* words, const Cell* series) {
    if (series::is_any_block(cell::type_of(series))) set_words_from(words, series);
    else set_words_from_string(words, series);
}

// forall's word refers to something other than a series: script expect-arg naming the
// native, the value's datatype and the word.
[[noreturn]] void fire_not_series(const Cell* word, const Cell* value) {
    Cell caller = frames::caller_word();
    Cell type;
    datatype::set(&type, cell::type_of(value));
    fire(Err::ExpectArg, &caller, &type, word);
}

// The place of the block to run for `value` in the cases: kNoMatch, kNoBlock for a match with
// no block after it, else the block's index.
constexpr int32_t kNoMatch = -1;
constexpr int32_t kNoBlock = -2;
int32_t find_case(Cell* value, const Cell* cases) {
    if (cell::is(value, T::Block)) return kNoMatch;
    const NodeId node = cell::node(cases);
    for (int32_t i = block::head_index(cases); i < block::count(node); i++) {
        Cell candidate = block::at(node, i);
        if (cell::type_of(&candidate) != cell::type_of(value)) continue;
        if (!compare::value_compare(&candidate, value, CompareOp::Equal)) continue;
        for (int32_t j = i + 1; j < block::count(node); j++) {
            if (cell::is(&block::raw_cells(node)[j], T::Block)) return j;
        }
        return kNoBlock;
    }
    return kNoMatch;
}

}  // namespace

// ---- Conditionals ----

void unless(bool, const int32_t*) {
    need_type(1, T::Block);
    if (truth::is_true(stack::arg(0))) {
        stack::set_result(none::shared());
        return;
    }
    const Cell held = *stack::arg(1);
    stack::reset();
    interp::eval_block(&held, false);
}

void any(bool, const int32_t*) {
    need_type(0, T::Block);
    const Cell* conds = stack::arg(0);
    const NodeId node = cell::node(conds);
    for (int32_t i = block::head_index(conds); i < block::count(node);) {
        i = interp::eval_at(conds, i);
        if (truth::is_true(stack::top())) {
            stack::set_result(stack::top());
            return;
        }
        stack::drop(1);
    }
    stack::set_result(none::shared());
}

void all(bool, const int32_t*) {
    need_type(0, T::Block);
    const Cell* conds = stack::arg(0);
    const NodeId node = cell::node(conds);
    Cell* const above = stack::g_args.top;
    int32_t i = block::head_index(conds);
    if (i >= block::count(node)) {
        stack::set_result(none::shared());
        return;
    }
    while (i < block::count(node)) {
        stack::g_args.top = above;
        i = interp::eval_at(conds, i);
        if (!truth::is_true(stack::top())) {
            stack::set_result(none::shared());
            return;
        }
    }
    stack::set_result(stack::top());
}

void switch_(bool, const int32_t* refinements) {
    need_type(1, T::Block);
    const Cell* fallback = nullptr;
    if (refinements[0] >= 0) {
        fallback = stack::arg(refinements[0]);
        if (!cell::is(fallback, T::Block)) fire_expect_arg(cell::type_of(fallback), 2);
    }
    const int32_t found = find_case(stack::arg(0), stack::arg(1));
    if (found >= 0) {
        const Cell body = block::at(cell::node(stack::arg(1)), found);  // rooted by the cases
        stack::set_result(interp::do_block(&body));
    } else if (found == kNoMatch && fallback) {
        stack::set_result(interp::do_block(fallback));
    } else {
        stack::set_result(none::shared());
    }
}

void case_(bool, const int32_t* refinements) {
    need_type(0, T::Block);
    const bool every = refinements[0] >= 0;
    const Cell* cases = stack::arg(0);
    const NodeId node = cell::node(cases);
    Cell result;
    {
        frames::Owner frame((arg_slot(0), &words::w::anon), frames::kNative);
        Cell* slot = stack::push(none::shared());  // the last branch's value
        bool taken = false;
        for (int32_t i = block::head_index(cases); i < block::count(node);) {
            taken = false;
            stack::g_args.top = slot + 1;
            i = interp::eval_at(cases, i);
            if (i >= block::count(node)) {
                const Cell name{static_cast<uint32_t>(T::Word), 0, words::sym::case_,
                                word::kNoIndex};
                fire(Err::NeedValue, &name);
            }
            if (!truth::is_true_strict(stack::top())) {
                i++;  // the branch is skipped unevaluated
                continue;
            }
            const Cell branch = block::at(node, i);
            if (cell::is(&branch, T::Block)) {
                *slot = *interp::do_block(&branch);
                i++;
            } else {
                i = interp::eval_at(cases, i);
                *slot = *stack::top();
            }
            taken = true;
            if (!every) break;
        }
        result = taken ? *slot : *none::shared();
    }
    stack::set_result(&result);
}

// ---- Loops over series ----

void foreach(bool, const int32_t*) {
    need_words(0);
    need_type(2, T::Block);
    const Cell* words = stack::arg(0);
    Cell* series = stack::arg(1);
    const Cell* body = stack::arg(2);
    const bool one = cell::is(words, T::Word);
    if (!one && word_count(words) == 0) fire(Err::InvalidArg, words);
    const T type = cell::type_of(series);
    if (type == T::Map) {
        if (one || word_count(words) != 2) fire(Err::InvalidArg, words);
    } else if (!is_series_type(type)) {
        fire_expect_arg(type, 1);
    }
    need_walkable(type);
    Cell result = *unset::shared();
    {
        natives::BlockFrame frame(3, &words::w::body, frames::kLoop);
        bool ran = false;
        while (one ? foreach_next(words, series) : foreach_next_block(words, series) > 0) {
            const Kind kind = frame.run(body);
            ran = true;
            if (kind == UnwindKind::Break) break;
        }
        if (ran) result = *frame.value();
    }
    stack::set_result(&result);
}

void forall(bool, const int32_t*) {
    need_type(0, T::Word);
    need_type(1, T::Block);
    const Cell* word = stack::arg(0);
    const Cell* body = stack::arg(1);
    Cell* start = arg_slot(2);
    *start = *word::slot(word);
    if (!is_series_type(cell::type_of(start))) fire_not_series(word, start);
    need_walkable(cell::type_of(start));
    Cell result = *unset::shared();
    {
        natives::BlockFrame frame(3, &words::w::body, frames::kLoop);
        bool ran = false;
        bool broke = false;
        if (!forall_step(word, false)) {
            for (;;) {
                const Kind kind = frame.run(body);
                ran = true;
                if (kind == UnwindKind::Break) {
                    broke = true;
                    break;
                }
                const Cell now = *word::slot(word);
                if (!is_series_type(cell::type_of(&now)) || cell::node(&now) != cell::node(start))
                    fire(Err::BadLoopSeries, &now);
                if (forall_step(word, true)) break;
            }
        }
        if (!broke) forall_restore(word, start);  // the frame's value stays rooted meanwhile
        if (ran) result = *frame.value();
    }
    stack::set_result(&result);
}

// The records the body chose are removed when the loop ends, however it ends, in one pass: the
// kept records slide down and the leftover gap goes in one remove action (which tells the
// owners). So the body sees the series as it was, and the cost stays linear. A body that changes
// the series' length itself has the chosen records removed at once and the loop goes on over
// what is left, each removal from then on taken at once.
class Removals {
  public:
    explicit Removals(Cell* series) : series_(series), from_(cell::head(series)) {}
    Removals(const Removals&) = delete;
    Removals& operator=(const Removals&) = delete;

    // The record of n units just visited (the series' head is past it) is to go.
    void mark(int32_t n) {
        if (immediate_) {
            remove_each_step(series_, n, logic::shared(true));
            return;
        }
        const int32_t at = cell::head(series_) - n - from_;
        if (static_cast<int32_t>(gone_.size()) < at + n) gone_.resize(at + n, false);
        for (int32_t k = 0; k < n; k++) gone_[at + k] = true;
        any_ = true;
    }
    // Called after each body run with the length the series should have.
    void check_length(int32_t expected) {
        if (immediate_ || series::buffer_length(series_) == expected) return;
        // The body changed the series: from here on every removal is taken at once.
        const int32_t head = cell::head(series_);
        flush();
        immediate_ = true;
        cell::set_head(series_, std::max(from_, head - removed_));
    }

    void flush() {
        if (!any_) return;
        any_ = false;
        const NodeId node = cell::node(series_);
        const int32_t length = series::buffer_length(series_);
        const int32_t end = std::min(from_ + static_cast<int32_t>(gone_.size()), length);
        int32_t write = from_;
        {
            watch::series_written(node);
            memory::SeriesBuf* buf = memory::buf(node);
            const size_t unit = buf->unit();
            uint8_t* base = buf->offset_ptr();
            for (int32_t read = from_; read < end; read++) {
                if (gone_[read - from_]) continue;
                if (write != read) std::memmove(base + write * unit, base + read * unit, unit);
                write++;
            }
        }
        removed_ = end - write;
        gone_.clear();
        if (removed_ == 0) return;
        hash_block::rewritten(series_, from_, write - from_);
        // The values from `write` to `end` are now the copies of the kept ones after them, and
        // the values after `end` must follow the kept ones: one remove of the gap does both.
        Cell at = *series_;
        cell::set_head(&at, write);
        Cell part;
        integer::set(&part, removed_);
        lookup<&ActionRow::remove>(&at, ActionId::Remove)(&at, &part, nullptr);
    }
    // While another unwinding is under way an error here must not replace it.
    void flush_quietly() noexcept {
        try {
            flush();
        } catch (...) {
        }
    }

  private:
    Cell* series_;
    int32_t from_;
    int32_t removed_ = 0;
    bool any_ = false;
    bool immediate_ = false;
    std::vector<bool> gone_;
};

void remove_each(bool, const int32_t*) {
    need_words(0);
    need_type(2, T::Block);
    const Cell* words = stack::arg(0);
    Cell* data = stack::arg(1);
    const Cell* body = stack::arg(2);
    const T type = cell::type_of(data);
    if (!is_series_type(type)) fire_expect_arg(type, 1);
    need_walkable(type);
    Cell* start = arg_slot(3);
    *start = *data;
    const bool one = cell::is(words, T::Word);
    if (one || word_count(words) > 0) {
        natives::BlockFrame frame(4, &words::w::body, frames::kLoop);
        Removals removals(data);
        try {
            for (;;) {
                const int32_t length = series::buffer_length(data);
                const int32_t n =
                    one ? (foreach_next(words, data) ? 1 : 0) : foreach_next_block(words, data);
                if (n == 0) break;
                const Kind kind = frame.run(body);
                removals.check_length(length);
                if (kind == UnwindKind::Break) break;
                if (kind == UnwindKind::Continue) continue;
                if (!truth::is_true(frame.value())) continue;
                // An image keeps its rectangle: its pixels are walked, never removed.
                if (type == T::Image) fire_expect_arg(type, 1);
                removals.mark(n);
            }
        } catch (...) {  // an unwinding, or a C++ allocation that failed
            removals.flush_quietly();
            throw;
        }
        removals.flush();
    }
    stack::set_result(start);
}

// ---- Iteration steps ----

// An image's tail is its pixel count, not the end of a buffer.
bool is_series_more(const Cell* series) {
    return cell::is(series, T::Image) ? image::has_more(series) : !series::is_at_tail(series);
}

void set_words_from(const Cell* words, const Cell* series) {
    if (cell::is(series, T::Map)) {
        Cell at = *series;
        if (!map::foreach_set(words, &at)) assign_words(words, [](int32_t) { return *none::shared(); });
        return;
    }
    const NodeId node = cell::node(series);
    const int32_t at = std::max(cell::head(series), 0);
    assign_words(words, [node, at](int32_t k) {
        return at + k < block::count(node) ? block::at(node, at + k) : *none::shared();
    });
}

void set_words_from_string(const Cell* words, const Cell* series) {
    Cell held = *series;
    const auto pick = lookup<&ActionRow::pick>(&held, ActionId::Pick);
    assign_words(words, [&held, pick](int32_t k) { return *pick(&held, k + 1, nullptr); });
}

bool foreach_next(const Cell* word, Cell* series) {
    if (!is_series_more(series)) return false;
    set_words(word, series);
    cell::set_head(series, cell::head(series) + 1);
    return true;
}

int32_t foreach_next_block(const Cell* words, Cell* series) {
    const int32_t n = word_count(words);
    if (n == 0) fire(Err::InvalidArg, words);
    if (cell::is(series, T::Map)) return map::foreach_set(words, series) ? n : 0;
    if (!is_series_more(series)) return 0;
    set_words(words, series);
    cell::set_head(series, cell::head(series) + n);
    return n;
}

void remove_each_step(Cell* series, int32_t n, const Cell* result) {
    if (!truth::is_true(result)) return;
    cell::set_head(series, cell::head(series) - n);
    Cell part;
    integer::set(&part, n);
    lookup<&ActionRow::remove>(series, ActionId::Remove)(series, n > 1 ? &part : nullptr, nullptr);
}

bool forall_step(const Cell* word, bool advance) {
    const Cell* value = word::slot(word);
    if (!is_series_type(cell::type_of(value))) {
        const Cell now = *value;
        fire(Err::BadLoopSeries, &now);
    }
    if (!advance) return !is_series_more(value);
    // The series value moves on in place: a series is read from value #index of the context.
    Cell* at = context::write_at(word->w1, static_cast<int32_t>(word->w3));
    if (!cell::is(at, T::Image)) return series::move_head(at, 1);
    if (image::has_more(at)) cell::set_head(at, cell::head(at) + 1);
    return !image::has_more(at);
}

void forall_restore(const Cell* word, const Cell* saved) {
    Cell target = *word;
    word::set(&target, saved);
}

void loop_word_index(const Cell* word, Cell* saved) {
    cell::set_head(saved, cell::head(word::slot(word)));
}

void loop_series_length(const Cell* series, Cell* count) {
    Cell held = *series;
    integer::set(count, series::length(&held, false));
}

void float_count_to_integer(Cell* value) {
    if (!cell::is(value, T::Float)) return;
    const double d = std::trunc(floating::get(value));
    integer::set(value, d >= INT32_MIN && d <= INT32_MAX ? static_cast<int32_t>(d) : INT32_MIN);
}

void loop_count_to_integer() { float_count_to_integer(stack::arg(0)); }

void word_increment(const Cell* word) {
    Cell value = *word::slot(word);
    if (!cell::is(&value, T::Integer)) fire_expect_arg(cell::type_of(&value), 0);
    if (integer::get(&value) == INT32_MAX) fire(Err::Overflow);
    integer::set(&value, integer::get(&value) + 1);
    Cell target = *word;
    word::set(&target, &value);
}

}  // namespace nuv::natives_loops
