// The block evaluator. Positions are (node, index) pairs re-read after every call that may
// allocate; values in flight live in argument-stack cells, which never move. Each nested call
// runs under a call frame, and frame pushes check the frame limit, so deep recursion raises
// stack-overflow; a machine-stack guard backs that up.
// `return` and `exit` usually end their function without a C++ throw: when every frame between
// the exit and its function body belongs to code that checks the pending exit after each nested
// evaluation (blocks, expressions, argument fetching, if/either/unless), the exit is recorded
// and each of those levels ends at once, popping its own frame, until the body's run takes it.
// Any other code in between (loops, catchers, natives that go on after evaluating) gets the
// thrown unwinding as before.
#include "runtime/evaluator/interpreter.h"

#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions_table.h"
#include "runtime/evaluator/fast_paths.h"
#include "runtime/evaluator/interp_parts.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/trace.h"
#include "runtime/evaluator/truth.h"
#include "runtime/evaluator/units.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv::interp {

namespace {

using T = TypeId;

using parts::check_machine_stack;
using parts::CodeScope;
using parts::DepthScope;
using parts::exit_pending;
using parts::g_body_depth;
using parts::g_code;
using parts::g_codes;
using parts::g_exit_target;
using parts::g_exit_value;
using parts::g_opaque_depth;
using parts::set_code;

constexpr int32_t kMaxRefinements = 64;
constexpr int32_t kCompiledInfoCell = 1;  // the compiled spec's cell in the information block

using native::is_callable;

// A block's cells and count as they stand; valid until the next allocation (or change of the
// block), so re-taken after every call that may allocate.
struct Code {
    const Cell* cells;
    int32_t count;
};
inline Code code_of(NodeId node) {
    memory::SeriesBuf* b = memory::buf(node);
    return Code{reinterpret_cast<const Cell*>(b->offset_ptr()), static_cast<int32_t>(b->used() / sizeof(Cell))};
}

Cell block_cell(NodeId node, int32_t index, T type = T::Block) {
    return Cell{static_cast<uint32_t>(type), static_cast<uint32_t>(index), node, 0};
}

// ---- Trace events ----
// The interpreter has a traced twin of each step (the Traced template flag), taken while a trace
// run is open: it reports the events and makes every call in full, so the untraced steps test
// nothing. Within a step the code reported is the current code cell and `at` a position in
// block `node` (none when that is another block).
template <bool Traced>
[[gnu::always_inline]] inline void emit(trace::Event e, NodeId node, int32_t at, const Cell* ref,
                                        const Cell* value) {
    if constexpr (Traced) {
        if (hooks::g_tracing) trace::event(e, g_code, cell::node(g_code) == node ? at : -1, ref, value);
    }
}

// The start and end of a run of block `node` from `head`: the code is the block at its head.
void emit_run(trace::Event e, NodeId node, int32_t head, int32_t at, const Cell* value) {
    if (!hooks::g_tracing) return;
    const Cell code = block_cell(node, head);
    trace::event(e, &code, at, nullptr, value);
}

void mark_codes() {
    if (!g_codes.base) return;
    for (const Cell* c = g_codes.base; c <= g_code; c++) collector::mark_cell(c);
}

using parts::kTypes;

// ---- Pending exits ----

// return (has_value) or exit called from the top frame: records the exit when only code that
// honours it lies between the exit and the innermost function body, and answers whether it
// did; otherwise the exit native throws as usual.
[[gnu::always_inline]] inline bool record_exit(bool has_value) {
    const uint32_t target = parts::pending_exit_target(frames::depth() - 1);  // below its own frame
    if (target == 0) return false;
    g_exit_target = target;
    *g_exit_value = has_value ? *stack::arg(0) : *unset::shared();
    return true;
}

// ---- Callee traits ----

using parts::Fast;

// Native flags. kPassesExit: the native does nothing more once a nested evaluation ends, so a
// pending exit may pass through it. The exits themselves (kExitWithValue: return, kExitNoValue:
// exit) are recorded rather than thrown when they can be. kBranch: if and either; the evaluator
// tests the condition and runs the chosen block itself, in the native's frame, as the natives
// do (their block arguments are checked by their specs); kTwoWay: either, with a second block
// and the strict truth test.
using parts::kBranch;
using parts::kExitNoValue;
using parts::kExitWithValue;
using parts::kPassesExit;
using parts::kTwoWay;

struct NativeTraits {
    uint8_t flags[natives::kTableSlots + 1]{};
    Fast fast[natives::kTableSlots + 1]{};
};
consteval NativeTraits make_native_traits() {
    using N = natives::NativeId;
    NativeTraits t;
    for (N n : {N::If, N::Either, N::Unless}) t.flags[static_cast<int>(n)] = kPassesExit;
    t.flags[static_cast<int>(N::If)] |= kBranch;
    t.flags[static_cast<int>(N::Either)] |= kBranch | kTwoWay;
    t.flags[static_cast<int>(N::Return)] = kExitWithValue;
    t.flags[static_cast<int>(N::Exit)] = kExitNoValue;
    t.fast[static_cast<int>(N::IsEqual)] = Fast::Equal;
    t.fast[static_cast<int>(N::IsNotEqual)] = Fast::NotEqual;
    t.fast[static_cast<int>(N::IsLesser)] = Fast::Lesser;
    t.fast[static_cast<int>(N::IsGreater)] = Fast::Greater;
    t.fast[static_cast<int>(N::IsLesserOrEqual)] = Fast::LesserOrEqual;
    t.fast[static_cast<int>(N::IsGreaterOrEqual)] = Fast::GreaterOrEqual;
    return t;
}
constexpr NativeTraits kNatives = make_native_traits();

struct ActionTraits {
    Fast fast[kActionCount + 1]{};
};
consteval ActionTraits make_action_traits() {
    ActionTraits t;
    t.fast[static_cast<int>(ActionId::Add)] = Fast::Add;
    t.fast[static_cast<int>(ActionId::Subtract)] = Fast::Subtract;
    t.fast[static_cast<int>(ActionId::Multiply)] = Fast::Multiply;
    return t;
}
constexpr ActionTraits kActions = make_action_traits();

using parts::compute;

template <bool Prefix, bool Sub, bool Traced = false>
int32_t eval_expression(NodeId node, int32_t i);
int32_t invoke_operator(const Cell* op, NodeId node, int32_t i, const Cell* name);
// `at`: the path's position in the code, for trace events.
template <bool Traced = false>
int32_t eval_path(const Cell* path, NodeId node, int32_t i, PathMode mode, const Cell* value,
                  bool case_ = false, int32_t at = -1);
// What a call site knows of its callee: Function when it is a function!, else Any.
enum class Callee : uint8_t { Any, Function };
template <bool Infix, Callee Kind = Callee::Any, bool Traced = false>
int32_t invoke(const Cell* callee, NodeId node, int32_t i, const Cell* name, const Cell* path,
               int32_t path_from);

// How a block run leaves its value: in a frame of its own, its value left as the caller's last
// pushed value (Keep) or also copied into the caller's arguments[0] (Return); or in the current
// call's frame, whose arguments it drops first (InFrame).
enum class Run : uint8_t { Keep, Return, InFrame };
template <bool Traced>
void run_block(const Cell* block, Run run);

// A paren or block run for its value, left as the last pushed value.
template <bool Traced = false>
void run_nested(const Cell* value) {
    Cell as_block = *value;
    cell::set_type(&as_block, T::Block);
    run_block<Traced>(&as_block, Run::Keep);
}

// The block loop from cell i (before the tail): each expression's value pushed (Sub) or made the
// only cell of the current call, `fresh` released between expressions. Ends after the last
// expression or when an exit is pending. Inline in the interpreter's own block runs (a call
// per block run costs every function call); compiled units reach it through expressions().
template <bool Sub, bool Traced>
[[gnu::always_inline]] inline void expressions_from(NodeId node, int32_t i, const collector::FreshScope& fresh) {
    Cell* const mark = stack::g_args.top;
    for (;;) {
        set_code(node, i);
        i = eval_expression<false, Sub, Traced>(node, i);
        if constexpr (Sub) emit<Traced>(trace::Event::Expr, node, i, nullptr, stack::top());
        if (i >= block::count(node) || exit_pending()) break;
        if constexpr (Sub) {
            stack::g_args.top = mark;
        } else {
            stack::reset();
        }
        fresh.release();
    }
}

// The expressions of a code block from its head, each value replacing the previous one in the
// same cell above the current top, which holds the last value at the end (unset when there is
// none). No frame of its own: every call in it pushes its own. Ends early when an exit is
// pending.
template <bool Traced = false>
[[gnu::always_inline]] inline void run_expressions(const Cell* code_block) {
    CodeScope scope(cell::node(code_block), cell::head(code_block));
    collector::FreshScope fresh;  // what each expression made is held by the stack or stored
    const NodeId node = cell::node(code_block);
    const int32_t count = code_of(node).count;
    const int32_t i = std::clamp(cell::head(code_block), 0, count);
    [[maybe_unused]] const int32_t head = i;
    if constexpr (Traced) emit_run(trace::Event::Enter, node, head, head, nullptr);
    if (i >= count) {
        stack::push(unset::shared());
        if constexpr (Traced) emit_run(trace::Event::Exit, node, head, count, stack::top());
        return;
    }
    if constexpr (!Traced) {
        if (units::g_on && units::run(node, i, true, fresh)) return;
    }
    expressions_from<true, Traced>(node, i, fresh);
    if constexpr (Traced) emit_run(trace::Event::Exit, node, head, block::count(node), stack::top());
}

// A paren met as code, run for its value, which is pushed.
template <bool Traced = false>
[[gnu::noinline]] void run_pushed(const Cell* code_block) {
    check_machine_stack();
    run_expressions<Traced>(code_block);
}

// ---- Compiled specs ----

NodeId compile(const Cell* callee) {
    const std::vector<native::SpecEntry> entries = native::spec_entries(callee->w2, 0, true);
    Cell* out = block::push_new(static_cast<int32_t>(2 * entries.size()) + 1);
    for (const native::SpecEntry& e : entries) {
        block::append_cell(out, &e.word);
        if (cell::is(&e.word, T::Refinement)) {
            block::append_cell(out, none::shared());
        } else if (e.typed) {
            typeset::make_from_block(&e.types, out);
        } else {
            typeset::make_all(out);
        }
    }
    const NodeId compiled = cell::node(out);
    block::write_cells(callee->w3)[kCompiledInfoCell] = *out;
    stack::drop(1);
    return compiled;
}

inline NodeId compiled_of(const Cell* callee) {
    const Cell* compiled = block::raw_cells(callee->w3) + kCompiledInfoCell;
    return cell::is(compiled, T::Block) ? cell::node(compiled) : compile(callee);
}

// ---- Call plans ----

// What a call reads of its callee's compiled spec and information block, kept by information
// node so that a call need not reach them: a compiled spec never changes once made, nor does a
// function's body cell or a context's word block, and an information node names the same block
// until a collection frees it, so a plan holds until the next collection, whose marking empties
// the table. A plan stays in its slot until then: the slot its node id picks (its home) or, when
// another callee holds that, the first free one after it, where look-ups go on past the home;
// callees that share a home so cost a few more compares, never a plan made again. The table is
// kept at most half full: at that count it starts again empty, so a plan may also be dropped
// during any nested evaluation.
constexpr int32_t kPlanArgs = 4;
constexpr uint32_t kPlanLimit = kPlanSlots / 2;
struct PlanArg {
    uint64_t takes;  // bit t: the typeset accepts type id t (ids below 64)
    T mode;          // the spec word's type
};
struct Shape {
    NodeId compiled;
    int32_t total;        // compiled entries, in cells
    int32_t args;         // leading argument entries (before any refinement); -1: more than kPlanArgs
    int32_t refinements;  // refinement entries
};
struct CallPlan {
    NodeId info;  // 0: an empty slot
    Shape shape;
    Fast fast;
    uint8_t flags;  // NativeTraits flags
    natives::Entry native_entry;
    actions::Entry action_entry;
    PlanArg args[kPlanArgs];
    bool all_word;  // at most kPlanArgs leading arguments, each evaluated (a word in the spec)
    // With a computed result (fast), the number types the first and second arguments take
    // (bits by type id); 0 when the call is never computed in place.
    uint64_t fast_left;
    uint64_t fast_right;
    Cell body;      // a function's body cell
    // A function's or routine's context and its word block (the count of its arguments,
    // refinements and locals, which may grow).
    NodeId ctx;
    NodeId words;
};
CallPlan g_plans[kPlanSlots];
uint16_t g_taken[kPlanLimit];  // the slots holding plans, g_taken_count of them
uint32_t g_taken_count = 0;
uint64_t g_plans_made = 0;

// Empties every slot: a collection may free the nodes the plans are kept by.
void forget_plans() {
    for (uint32_t k = 0; k < g_taken_count; k++) g_plans[g_taken[k]].info = 0;
    g_taken_count = 0;
}

// The plan of a callee that does not hold its home slot, else nullptr: in the run of taken slots
// after the home slot (which ends, the table being at most half full).
[[gnu::noinline]] const CallPlan* plan_past_home(NodeId info) {
    for (uint32_t slot = info + 1;; slot++) {
        const CallPlan& p = g_plans[slot % kPlanSlots];
        if (p.info == info) return &p;
        if (p.info == 0) return nullptr;
    }
}

// The callee's plan when it has one, else nullptr. No allocation.
inline const CallPlan* held_plan(NodeId info) {
    const CallPlan& p = g_plans[info % kPlanSlots];
    if (p.info == info) [[likely]] return &p;
    return p.info == 0 ? nullptr : plan_past_home(info);
}

// Makes the callee's plan in the first free slot from its home on; compiles its spec first when
// it has none (may allocate).
[[gnu::noinline]] const CallPlan& make_plan(const Cell* callee) {
    const NodeId info = callee->w3;
    const NodeId compiled = compiled_of(callee);
    if (g_taken_count == kPlanLimit) forget_plans();
    uint32_t slot = info % kPlanSlots;
    while (g_plans[slot].info != 0) slot = (slot + 1) % kPlanSlots;
    g_taken[g_taken_count++] = static_cast<uint16_t>(slot);
    CallPlan& p = g_plans[slot];
    const Code spec = code_of(compiled);
    const T type = cell::is(callee, T::Op) ? native::op_source(callee) : cell::type_of(callee);
    const auto index = static_cast<uint32_t>(native::index_of(callee));
    g_plans_made++;
    p = CallPlan{};
    p.info = info;
    p.shape = Shape{compiled, spec.count, 0, 0};
    int32_t e = 0;
    for (; e < spec.count && !cell::is(spec.cells + e, T::Refinement); e += 2) {
        if (e / 2 >= kPlanArgs) continue;
        PlanArg& arg = p.args[e / 2];
        arg.mode = cell::type_of(spec.cells + e);
        for (uint32_t t = 0; t < 64; t++)
            if (typeset::has(spec.cells + e + 1, static_cast<T>(t))) arg.takes |= uint64_t{1} << t;
    }
    p.shape.args = e / 2 <= kPlanArgs ? e / 2 : -1;
    p.all_word = p.shape.args >= 0;
    for (int32_t k = 0; k < p.shape.args; k++) p.all_word = p.all_word && p.args[k].mode == T::Word;
    for (; e < spec.count; e += 2) p.shape.refinements += cell::is(spec.cells + e, T::Refinement);
    if (type == T::Native && index <= static_cast<uint32_t>(natives::kTableSlots)) {
        p.fast = kNatives.fast[index];
        p.flags = kNatives.flags[index];
        p.native_entry = natives::entry(static_cast<int32_t>(index));
    } else if (type == T::Action && index >= 1 && index <= static_cast<uint32_t>(kActionCount)) {
        p.fast = kActions.fast[index];
        p.action_entry = actions::table()[index - 1];
    }
    if (p.fast != Fast::None && p.shape.args >= 2 && p.args[1].mode == T::Word) {
        const uint64_t numbers = (uint64_t{1} << static_cast<uint32_t>(T::Integer)) |
                                 (uint64_t{1} << static_cast<uint32_t>(T::Float));
        p.fast_left = p.args[0].takes & numbers;
        p.fast_right = p.args[1].takes & numbers;
    }
    p.body = type == T::Function ? block::raw_cells(info)[static_cast<int32_t>(function::Info::Body)]
                                 : *unset::shared();
    if (type == T::Function || type == T::Routine) {
        p.ctx = function::context_of(callee);
        p.words = context::words_node(p.ctx);
    }
    return p;
}

// The callee's plan (see make_plan). The reference holds until the next nested evaluation.
inline const CallPlan& plan_of(const Cell* callee) {
    const CallPlan* p = held_plan(callee->w3);
    if (p) [[likely]] return *p;
    return make_plan(callee);
}

// The word block of a function's or routine's context, from its plan when the plan was made
// for that context.
inline NodeId words_of(const CallPlan& plan, NodeId ctx) {
    return plan.ctx == ctx ? plan.words : context::words_node(ctx);
}

// Whether the argument takes a value of the type; ids from 64 up are read from the spec.
inline bool takes(const PlanArg& arg, T t, NodeId compiled, int32_t entry) {
    const auto id = static_cast<uint32_t>(t);
    if (id < 64) [[likely]] return (arg.takes >> id) & 1;
    return typeset::has(block::raw_cells(compiled) + entry + 1, t);
}

// An operator whose right operand is a literal number, or a word whose value is one, needs no
// call: nothing can be raised or evaluated on the way, so the result is computed over the left
// operand at `left` when the operator's spec takes both values. Answers whether it was. No
// allocation.
[[gnu::always_inline]] inline bool fast_infix(const Cell* op, Code code, int32_t i, Cell* left) {
    const CallPlan* plan = held_plan(op->w3);
    if (!plan || i >= code.count) return false;
    const CallPlan& p = *plan;
    const auto lt = static_cast<uint32_t>(cell::type_of(left));
    if (lt >= 64 || !((p.fast_left >> lt) & 1)) return false;
    const Cell* right = code.cells + i;
    if (cell::is(right, T::Word)) {
        right = context::plain_slot(right);
        if (!right) return false;
    }
    const auto rt = static_cast<uint32_t>(cell::type_of(right));
    if (rt >= 64 || !((p.fast_right >> rt) & 1)) return false;
    return compute(p.fast, left, right);
}

// The operators from cell i applied, strictly left to right, to the value pushed at `mark`,
// each result replacing it there. Answers the index after the last one. The look-ahead costs
// one type test unless the next value is a word. May allocate.
template <bool Traced = false>
[[gnu::always_inline]] inline int32_t apply_operators(NodeId node, int32_t i, Cell* mark, Code code) {
    while (i < code.count && !exit_pending()) {
        const Cell* next = code.cells + i;
        if (!cell::is(next, T::Word) || next->w1 == 0) break;
        const Cell op_word = *next;
        const Cell* op_slot = word::slot(&op_word);
        if (!cell::is(op_slot, T::Op)) break;
        const Cell op = *op_slot;
        stack::g_args.top = mark + 1;
        if constexpr (Traced) {
            emit<true>(trace::Event::Fetch, node, i, nullptr, &op_word);
            i = invoke<true, Callee::Any, true>(&op, node, i + 1, &op_word, nullptr, 0);
        } else {
            if (fast_infix(&op, code, i + 1, mark)) {
                i += 2;
                continue;
            }
            i = invoke_operator(&op, node, i + 1, &op_word);
        }
        code = code_of(node);
    }
    return i;
}

// ---- Fetching arguments ----

[[noreturn]] void fire_arg_type(NodeId compiled, int32_t entry, const Cell* name, T got) {
    Cell type;
    datatype::set(&type, got);
    Cell plain = block::at(compiled, entry);
    cell::set_type(&plain, T::Word);
    fire(Err::ExpectArg, name, &type, &plain);
}

// Fetches one argument of mode `mode` along spec entry `entry` and checks its type (`arg`
// given: by its plan); the value is pushed. Answers the next index. A pending exit leaves
// whatever was pushed unchecked.
template <bool Traced = false>
[[gnu::noinline]] int32_t fetch_arg(NodeId node, int32_t i, T mode, const PlanArg* arg,
                                    NodeId compiled, int32_t entry, const Cell* name, bool infix) {
    if (i >= block::count(node)) [[unlikely]] {
        if (mode == T::LitWord && typeset::has(block::raw_cells(compiled) + entry + 1, T::Unset)) {
            stack::push(unset::shared());
            return i;
        }
        Cell plain = block::at(compiled, entry);
        cell::set_type(&plain, T::Word);
        fire(Err::NoArg, name, &plain);
    }
    if (mode == T::Word) {
        i = infix ? eval_expression<true, true, Traced>(node, i) : eval_expression<false, true, Traced>(node, i);
    } else if (mode == T::GetWord) {
        emit<Traced>(trace::Event::Fetch, node, i, nullptr, block::raw_cells(node) + i);
        stack::push(block::raw_cells(node) + i);
        emit<Traced>(trace::Event::Push, node, i, nullptr, stack::top());
        i++;
    } else {
        const Cell value = block::at(node, i);
        emit<Traced>(trace::Event::Fetch, node, i, nullptr, &value);
        i++;
        switch (cell::type_of(&value)) {
        case T::Paren: {
            frames::Owner owner(&words::w::anon, frames::kNative);
            run_nested<Traced>(&value);
            Cell result = *stack::top();
            frames::pop();
            stack::push(&result);
            break;
        }
        case T::GetWord: word::push_value(&value); break;
        case T::GetPath: eval_path<Traced>(&value, node, i, PathMode::Get, nullptr, false, i - 1); break;
        default:
            stack::push(&value);
            emit<Traced>(trace::Event::Push, node, i - 1, nullptr, stack::top());
            break;
        }
    }
    if (exit_pending()) [[unlikely]] return i;
    const T got = stack::top_type();
    const bool taken = arg ? takes(*arg, got, compiled, entry)
                           : typeset::has(block::raw_cells(compiled) + entry + 1, got);
    if (!taken) [[unlikely]] fire_arg_type(compiled, entry, name, got);
    return i;
}

template <bool Traced = false>
int32_t fetch_one(NodeId node, int32_t i, NodeId compiled, int32_t entry, const Cell* name, bool infix) {
    const T mode = cell::type_of(block::raw_cells(compiled) + entry);
    return fetch_arg<Traced>(node, i, mode, nullptr, compiled, entry, name, infix);
}

// Entries of the refinement starting at `entry`: the index after its last argument.
int32_t refinement_end(NodeId compiled, int32_t entry) {
    int32_t e = entry + 2;
    while (e < block::count(compiled) && !cell::is(&block::raw_cells(compiled)[e], T::Refinement)) e += 2;
    return e;
}

// The entry of the refinement named by the path element, with its ordinal.
int32_t find_refinement(NodeId compiled, const Cell* element, const Cell* name, int32_t* ordinal) {
    if (!cell::is(element, T::Word)) fire(Err::BadRefine, element);
    const SymId want = symbol::resolve(word::symbol_of(element));
    int32_t n = 0;
    for (int32_t e = 0; e < block::count(compiled); e += 2) {
        const Cell c = block::at(compiled, e);
        if (!cell::is(&c, T::Refinement)) continue;
        if (symbol::resolve(word::symbol_of(&c)) == want) {
            *ordinal = n;
            return e;
        }
        n++;
    }
    fire(Err::NoRefine, name, element);
}

// The leading arguments (those before any refinement) along the callee's plan, taken again
// when a nested evaluation has dropped it; answers the next index, the entry after them in
// *entry. A value that is pushed as it stands, with no operator after it, is taken here;
// anything else is fetched by fetch_one (every value, when traced).
template <bool Infix, bool Traced = false>
[[gnu::always_inline]] inline int32_t fetch_leading(const Cell* callee, const CallPlan* plan, const Shape& shape, NodeId node, int32_t i,
                      const Cell* name, int32_t* entry) {
    if (Traced || shape.args < 0) [[unlikely]] {
        int32_t e = Infix ? 2 : 0;  // an infix call has its left operand in place
        for (; e < shape.total && !cell::is(block::raw_cells(shape.compiled) + e, T::Refinement); e += 2) {
            i = fetch_one<Traced>(node, i, shape.compiled, e, name, Infix);
            if (exit_pending()) [[unlikely]] return i;
        }
        *entry = e;
        return i;
    }
    *entry = 2 * shape.args;
    Code code = code_of(node);
    for (int32_t k = Infix ? 1 : 0; k < shape.args; k++) {
        const PlanArg& arg = plan->args[k];
        if (arg.mode == T::Word && i < code.count) {
            const Cell* v = code.cells + i;
            const Cell* plain = nullptr;
            if (kTypes.inert[static_cast<uint8_t>(v->header)]) {
                plain = v;
            } else if (cell::is(v, T::Word)) {
                plain = context::plain_slot(v);
                if (plain && !kTypes.plain[static_cast<uint8_t>(plain->header)]) plain = nullptr;
            }
            const bool word_after = !Infix && i + 1 < code.count && cell::is(v + 1, T::Word);
            if (plain && !word_after) {
                const T got = cell::type_of(plain);
                if (!takes(arg, got, shape.compiled, 2 * k)) [[unlikely]]
                    fire_arg_type(shape.compiled, 2 * k, name, got);
                stack::push(plain);
                i++;
                continue;
            }
            const PlanArg held = arg;  // the plan's slot may be taken meanwhile
            if (plain) {
                // The word after the value may be an operator: taken as the expression would.
                Cell* at = stack::push(plain);
                i = apply_operators(node, i + 1, at, code);
            } else {
                i = eval_expression<Infix, true>(node, i);
            }
            if (exit_pending()) [[unlikely]] return i;
            const T got = stack::top_type();
            if (!takes(held, got, shape.compiled, 2 * k)) [[unlikely]]
                fire_arg_type(shape.compiled, 2 * k, name, got);
        } else {
            const PlanArg held = arg;
            i = fetch_arg(node, i, held.mode, &held, shape.compiled, 2 * k, name, Infix);
            if (exit_pending()) [[unlikely]] return i;
        }
        if (k + 1 == shape.args) break;  // nothing more is read from the plan or the code
        code = code_of(node);
        if (plan->info != callee->w3) plan = &plan_of(callee);
    }
    return i;
}

// Natives and actions: the mandatory arguments, then the used refinements' arguments in path
// order; refinements[k] is the stack position of refinement k's first argument, or -1.
template <bool Infix, bool Traced = false>
[[gnu::always_inline]] inline int32_t fetch_native_args(const Cell* callee, const CallPlan* plan, const Shape& shape, NodeId node, int32_t i,
                          const Cell* name, const Cell* path, int32_t path_from,
                          int32_t* refinements) {
    const NodeId compiled = shape.compiled;
    int32_t e = 0;
    i = fetch_leading<Infix, Traced>(callee, plan, shape, node, i, name, &e);
    if (exit_pending()) [[unlikely]] return i;
    if (shape.refinements > kMaxRefinements) fire(Err::LimitHit);
    for (int32_t k = 0; k < shape.refinements; k++) refinements[k] = -1;
    if (!path) return i;
    const NodeId pn = cell::node(path);
    for (int32_t p = path_from; p < block::count(pn); p++) {
        const Cell element = block::at(pn, p);
        int32_t ordinal = 0;
        const int32_t r = find_refinement(compiled, &element, name, &ordinal);
        if (refinements[ordinal] >= 0) fire(Err::DupRefine, path);
        refinements[ordinal] = static_cast<int32_t>(stack::g_args.top - stack::g_args.base);
        const int32_t end = refinement_end(compiled, r);
        for (int32_t a = r + 2; a < end; a += 2) {
            i = fetch_one<Traced>(node, i, compiled, a, name, false);
            if (exit_pending()) [[unlikely]] return i;
        }
    }
    return i;
}

// Functions: every spec slot in spec order, a refinement as a logic! followed by its arguments
// (none when unused), then /local and the locals; `ctx_words` is the context's word block.
template <bool Infix, bool Traced = false>
[[gnu::always_inline]] inline int32_t fetch_function_args(const Cell* callee, const CallPlan* plan, const Shape& shape, NodeId node, int32_t i,
                            const Cell* name, const Cell* path, int32_t path_from, NodeId ctx_words) {
    const NodeId compiled = shape.compiled;
    int32_t e = 0;
    i = fetch_leading<Infix, Traced>(callee, plan, shape, node, i, name, &e);
    if (exit_pending()) [[unlikely]] return i;
    for (int32_t k = e; k < shape.total; k += 2)
        stack::push(cell::is(&block::raw_cells(compiled)[k], T::Refinement) ? logic::shared(false)
                                                                            : none::shared());
    const int32_t entries = shape.total / 2;
    const auto words = static_cast<int32_t>(memory::buf(ctx_words)->used() / sizeof(Cell));
    for (int32_t k = entries; k < words; k++)
        stack::push(k == entries ? logic::shared(false) : none::shared());
    if (!path) return i;
    const NodeId pn = cell::node(path);
    for (int32_t p = path_from; p < block::count(pn); p++) {
        const Cell element = block::at(pn, p);
        int32_t ordinal = 0;
        const int32_t r = find_refinement(compiled, &element, name, &ordinal);
        Cell* flag = stack::arg(r / 2);
        if (cell::is(flag, T::Logic) && logic::get(flag)) fire(Err::DupRefine, path);
        *flag = *logic::shared(true);
        const int32_t end = refinement_end(compiled, r);
        for (int32_t a = r + 2; a < end; a += 2) {
            i = fetch_one<Traced>(node, i, compiled, a, name, false);
            if (exit_pending()) [[unlikely]] return i;
            *stack::arg(a / 2) = *stack::top();
            stack::drop(1);
        }
    }
    return i;
}

// ---- Calling ----

// prolog and epilog of the body of function `fn` called by `name`.
void emit_body(trace::Event e, const Cell& body, const Cell* fn, const Cell* name) {
    if (hooks::g_tracing) trace::event(e, &body, -1, name, fn);
}

// Runs the function's body over the arguments at arguments[0..] of the top frame; the result
// lands in arguments[0]. return and exit aimed at the frame end here, thrown or pending. Traced,
// the function `fn` called by `name` is reported (an exit the prolog's callback aims at the
// frame ends the call before the body runs).
template <bool Traced = false>
void run_body(const Cell& body, NodeId ctx, [[maybe_unused]] const Cell* fn = nullptr,
              [[maybe_unused]] const Cell* name = nullptr) {
    parts::run_body_with(
        ctx,
        [&] {
            if (!cell::is(&body, T::Block)) fire(Err::NotDone);
            if constexpr (Traced) emit_body(trace::Event::Prolog, body, fn, name);
            run_expressions<Traced>(&body);
        },
        [&] {
            if constexpr (Traced) emit_body(trace::Event::Epilog, body, fn, name);
        });
}

// A traced body runs with the tracing switch its function's attributes give, put back after
// it; a body without them leaves the switch to its code (the tools' `trace true` and
// `trace false` last beyond their call).
void run_traced_body(const Cell& body, NodeId ctx, const Cell* fn, const Cell* name) {
    if (fn->header & (function::kTraceFlag | function::kNoTraceFlag)) {
        const trace::Switch attribute(trace::body_tracing(fn->header));
        run_body<true>(body, ctx, fn, name);
    } else {
        run_body<true>(body, ctx, fn, name);
    }
}

template <bool Traced>
void run_function(const Cell* fn, NodeId ctx, const Cell* name) {
    const Cell body = block::raw_cells(function::info_node(fn))[static_cast<int32_t>(function::Info::Body)];
    if constexpr (Traced) {
        run_traced_body(body, ctx, fn, name);
    } else {
        run_body(body, ctx);
    }
}

// if and either: the block the condition at arguments[0] chooses (`yes`, else `no` for either)
// runs in the top frame; if gives none when the condition is false.
inline void run_chosen(bool two_way, const Cell* yes, const Cell* no) {
    const Cell* condition = stack::arg(0);
    const bool on = two_way ? truth::holds_strict(condition) : truth::holds(condition);
    if (!on && !two_way) {
        stack::set_result(none::shared());
        return;
    }
    const Cell chosen = on ? *yes : *no;
    run_block<false>(&chosen, Run::InFrame);
}

// What a native or action call takes from its plan, read before the arguments are fetched.
struct NativeCall {
    Fast fast;
    uint8_t flags;
    natives::Entry native_entry;
    actions::Entry action_entry;
};

// A native or action with its arguments fetched under its frame. Traced, every call is made:
// no result computed here, no exit recorded, no branch chosen.
template <bool Traced = false>
[[gnu::always_inline]] inline void call_native(T type, const NativeCall& call, const int32_t* refinements) {
    if constexpr (Traced) {
        if (type == T::Action) {
            call.action_entry(refinements);
        } else {
            call.native_entry(false, refinements);
        }
        return;
    }
    if (call.fast != Fast::None && compute(call.fast, stack::arg(0), stack::arg(1))) {
        stack::keep_one();
        return;
    }
    if (type == T::Action) {
        DepthScope opaque(&g_opaque_depth, frames::depth());
        call.action_entry(refinements);
        return;
    }
    if ((call.flags & (kExitWithValue | kExitNoValue)) && record_exit(call.flags & kExitWithValue))
        return;
    if (call.flags & kBranch) {
        run_chosen(call.flags & kTwoWay, stack::arg(1), stack::arg(2));
        return;
    }
    if (call.flags & kPassesExit) {
        call.native_entry(false, refinements);
        return;
    }
    DepthScope opaque(&g_opaque_depth, frames::depth());
    call.native_entry(false, refinements);
}

template <bool Infix, Callee Kind, bool Traced>
int32_t invoke(const Cell* callee, NodeId node, int32_t i, const Cell* name, const Cell* path,
               int32_t path_from) {
    check_machine_stack();
    const Cell* frame_name = name ? name : &words::w::anon;
    [[maybe_unused]] const int32_t at = i - 1;  // the call's position
    emit<Traced>(trace::Event::Open, node, at, nullptr, nullptr);
    Cell* mark;
    if constexpr (Infix) {
        mark = stack::g_args.top - 1;  // the left operand
    } else {
        mark = stack::push(callee);
    }
    const T type = Kind == Callee::Function ? T::Function
                   : cell::is(callee, T::Op) ? native::op_source(callee) : cell::type_of(callee);
    const CallPlan& plan = plan_of(callee);
    const Shape shape = plan.shape;
    if constexpr (Infix) stack::g_args.top = mark;
    if (type == T::Function) {
        const Cell body = plan.body;
        const NodeId ctx = function::context_of(callee);
        const NodeId words = words_of(plan, ctx);
        frames::push_interp_function(frame_name, ctx, parts::frame_flag());
        if constexpr (Infix) stack::g_args.top = mark + 1;
        i = fetch_function_args<Infix, Traced>(callee, &plan, shape, node, i, frame_name, path, path_from, words);
        if (!exit_pending()) [[likely]] {
            if constexpr (Traced) {
                emit<true>(trace::Event::Call, node, at, frame_name, callee);
                run_traced_body(body, ctx, callee, frame_name);
            } else {
                run_body(body, ctx);
            }
        }
    } else if (type == T::Routine) {
        const NodeId words = words_of(plan, function::context_of(callee));
        frames::push_interp_native(frame_name, parts::frame_flag());
        if constexpr (Infix) stack::g_args.top = mark + 1;
        i = fetch_function_args<Infix, Traced>(callee, &plan, shape, node, i, frame_name, path, path_from, words);
        if (!exit_pending()) [[likely]] {
            emit<Traced>(trace::Event::Call, node, at, frame_name, callee);
            DepthScope opaque(&g_opaque_depth, frames::depth());
            routines::call(callee, frame_name);
        }
    } else {
        const NativeCall call{plan.fast, plan.flags, plan.native_entry, plan.action_entry};
        frames::push_interp_native(frame_name, parts::frame_flag());
        if constexpr (Infix) stack::g_args.top = mark + 1;
        int32_t refinements[kMaxRefinements];
        i = fetch_native_args<Infix, Traced>(callee, &plan, shape, node, i, frame_name, path, path_from, refinements);
        if (!exit_pending()) [[likely]] {
            emit<Traced>(trace::Event::Call, node, at, frame_name, callee);
            call_native<Traced>(type, call, refinements);
        }
    }
    frames::pop_keep_result();
    if constexpr (!Infix) {
        *mark = *(mark + 1);
        stack::g_args.top = mark + 1;
    }
    emit<Traced>(trace::Event::Return, node, at, frame_name, mark);
    return i;
}

// An operator met after a value that stands at the top (its left operand, which becomes its
// arguments[0]): a native or action taking two evaluated values gets its right operand
// evaluated under its frame and is called at once; any other goes through invoke.
[[gnu::noinline]] int32_t invoke_operator(const Cell* op, NodeId node, int32_t i, const Cell* name) {
    const T type = native::op_source(op);
    const CallPlan& plan = plan_of(op);
    if ((type != T::Native && type != T::Action) || plan.shape.args != 2 || !plan.all_word ||
        plan.shape.refinements != 0 || i >= block::count(node))
        return invoke<true>(op, node, i, name, nullptr, 0);
    check_machine_stack();
    Cell* const mark = stack::g_args.top - 1;
    const NativeCall call{plan.fast, plan.flags, plan.native_entry, plan.action_entry};
    const PlanArg right = plan.args[1];
    const NodeId compiled = plan.shape.compiled;
    stack::g_args.top = mark;
    frames::push_interp_native(name, parts::frame_flag());
    stack::g_args.top = mark + 1;
    i = eval_expression<true, true>(node, i);
    if (!exit_pending()) [[likely]] {
        const T got = stack::top_type();
        if (!takes(right, got, compiled, 2)) [[unlikely]] fire_arg_type(compiled, 2, name, got);
        const int32_t no_refinements[1] = {-1};
        call_native(type, call, no_refinements);
    }
    frames::pop_keep_result();
    return i;
}

// if or either called by word: the arguments are fetched under the native's frame as for any
// call, and the chosen block runs there without the native call. The value is left as the last
// pushed one, as invoke leaves it.
[[gnu::noinline]] int32_t invoke_branch(const Cell* callee, NodeId node, int32_t i, const Cell* name) {
    check_machine_stack();
    const CallPlan& plan = plan_of(callee);
    const bool two_way = plan.flags & kTwoWay;
    if (plan.shape.args != (two_way ? 3 : 2)) return invoke<false>(callee, node, i, name, nullptr, 0);
    const Shape shape = plan.shape;
    frames::push_interp_native(name, parts::frame_flag());
    int32_t entry = 0;
    i = fetch_leading<false>(callee, &plan, shape, node, i, name, &entry);
    if (!exit_pending()) [[likely]] run_chosen(two_way, stack::arg(1), stack::arg(2));
    frames::pop_keep_result();
    return i;
}

// ---- Paths ----

// A path's element fetched, reported with the path as the code.
inline void emit_element(const Cell* path, int32_t k, const Cell* element) {
    if (hooks::g_tracing) trace::event(trace::Event::Fetch, path, k, nullptr, element);
}

template <bool Traced>
int32_t eval_path(const Cell* path_in, NodeId node, int32_t i, PathMode mode, const Cell* value,
                  bool case_, [[maybe_unused]] int32_t at) {
    Cell* path = stack::push(path_in);
    const NodeId pn = cell::node(path);
    const int32_t head = block::head_index(path);
    if (head >= block::count(pn)) fire(Err::EmptyPath);
    const Cell first = block::at(pn, head);
    if (!cell::is(&first, T::Word)) fire(Err::WordFirst, path);
    if constexpr (Traced) {
        emit<true>(trace::Event::Enter, node, at, nullptr, nullptr);
        emit_element(path, head, &first);
    }
    const Cell start = *word::slot(&first);
    if (cell::is(&start, T::Unset)) fire(Err::UnsetPath, path, &first);
    if (is_callable(cell::type_of(&start))) {
        if (mode == PathMode::Set) fire(Err::InvalidPathSet, path);
        if (mode == PathMode::Get) fire(Err::InvalidPathGet, path);
        stack::drop(1);
        Cell keep = *path_in;
        Cell* held = stack::push(&keep);  // the path stays reachable under the call
        i = invoke<false, Callee::Any, Traced>(&start, node, i, &first, held, head + 1);
        *held = *stack::top();
        stack::g_args.top = held + 1;
        emit<Traced>(trace::Event::Exit, node, at, nullptr, held);
        return i;
    }
    // What holds the current value, for a set that must store a changed scalar back: the head
    // word, then the value before and the element that took the current value out of it.
    Cell* holder = stack::push(&first);
    Cell* holder_element = stack::push(none::shared());
    Cell* current = stack::push(&start);
    Cell* element = stack::push(none::shared());
    for (int32_t k = head + 1; k < block::count(pn); k++) {
        const Cell raw = block::at(pn, k);
        if constexpr (Traced) emit_element(path, k, &raw);
        if (cell::is(&raw, T::GetWord)) {
            *element = *word::slot(&raw);
        } else if (cell::is(&raw, T::Paren)) {
            run_nested<Traced>(&raw);
            *element = *stack::top();
            stack::g_args.top = element + 1;
            if (exit_pending()) [[unlikely]] break;
        } else {
            *element = raw;
        }
        if (cell::is(element, T::Unset)) fire(Err::InvalidPath, path, &raw);
        const bool last = k + 1 == block::count(pn);
        Cell* setting = mode == PathMode::Set && last ? const_cast<Cell*>(value) : nullptr;
        const Cell* got = actions::path_access_dispatch(
            current, element, setting, path, holder, k == head + 1 ? nullptr : holder_element, k,
            case_, mode == PathMode::Get, last, true);
        const Cell next = got ? *got : *none::shared();
        *holder = *current;
        *holder_element = *element;
        *current = next;
        stack::g_args.top = element + 1;
        // A function reached along the path (an object's method) is called, the elements after
        // it being its refinements.
        if (mode == PathMode::Normal && is_callable(cell::type_of(current))) {
            const Cell callee = *current;
            Cell name = cell::is(&raw, T::Word) ? raw : words::w::anon;
            // An object's method is named in the object, where its word refers to it.
            if (cell::is(&raw, T::Word) && cell::is(holder, T::Object)) {
                const NodeId ctx = object::context_of(holder);
                const int32_t index = context::find_word(ctx, word::symbol_of(&raw), true);
                if (index >= 0)
                    name = Cell{static_cast<uint32_t>(T::Word), ctx, word::symbol_of(&raw),
                                static_cast<uint32_t>(index)};
            }
            stack::g_args.top = path + 1;
            i = invoke<false, Callee::Any, Traced>(&callee, node, i, &name, path, k + 1);
            *path = *stack::top();
            stack::g_args.top = path + 1;
            emit<Traced>(trace::Event::Exit, node, at, nullptr, path);
            return i;
        }
    }
    *path = *current;
    stack::g_args.top = path + 1;
    if (mode != PathMode::Set) emit<Traced>(trace::Event::Push, node, at, nullptr, path);
    return i;
}

// ---- Expressions ----

// One expression from cell i: its value is pushed (Sub) or becomes arguments[0] as the only
// cell of the call; Prefix takes no operator after it. Answers the index after it.
template <bool Prefix, bool Sub, bool Traced>
int32_t eval_expression(NodeId node, int32_t i) {
    Cell* const mark = stack::g_args.top;
    Code code = code_of(node);
    [[maybe_unused]] const int32_t at = i;
    const Cell v = code.cells[i++];
    if constexpr (Traced) {
        emit<true>(trace::Event::Fetch, node, at, nullptr, &v);
        code = code_of(node);
    }
    // Only the cases that call out may allocate; they take the code's cells again.
    switch (cell::type_of(&v)) {
    case T::Word: {
        const Cell* slot = word::slot(&v);
        switch (cell::type_of(slot)) {
        case T::Unset: fire(Err::NoValue, &v);
        case T::LitWord:
            cell::set_type(stack::push(slot), T::Word);
            emit<Traced>(trace::Event::Push, node, at, nullptr, stack::top());
            break;
        case T::Function: {
            const Cell callee = *slot;
            i = invoke<false, Callee::Function, Traced>(&callee, node, i, &v, nullptr, 0);
            code = code_of(node);
            break;
        }
        case T::Native: {
            const Cell callee = *slot;
            const auto index = static_cast<uint32_t>(native::index_of(&callee));
            if (!Traced && index <= static_cast<uint32_t>(natives::kTableSlots) &&
                (kNatives.flags[index] & kBranch)) {
                i = invoke_branch(&callee, node, i, &v);
            } else {
                i = invoke<false, Callee::Any, Traced>(&callee, node, i, &v, nullptr, 0);
            }
            code = code_of(node);
            break;
        }
        case T::Action:
        case T::Routine: {
            const Cell callee = *slot;
            i = invoke<false, Callee::Any, Traced>(&callee, node, i, &v, nullptr, 0);
            code = code_of(node);
            break;
        }
        case T::Op: fire(Err::NoOpArg, &v);
        default:
            stack::push(slot);
            emit<Traced>(trace::Event::Push, node, at, nullptr, stack::top());
            break;
        }
        break;
    }
    case T::Paren:
        run_pushed<Traced>(&v);
        code = code_of(node);
        break;
    case T::SetWord: {
        if (i >= code.count) fire(Err::NeedValue, &v);
        frames::push_native(&v);
        Cell* target = stack::push(&v);
        i = eval_expression<false, true, Traced>(node, i);
        if (!exit_pending()) [[likely]] {
            emit<Traced>(trace::Event::Set, node, at, target, target + 1);
            parts::set_word(target);
        }
        *stack::arg(0) = *(target + 1);
        frames::pop_keep_result();
        code = code_of(node);
        break;
    }
    case T::GetWord: word::push_value(&v); break;
    case T::LitWord:
        cell::set_type(stack::push(&v), T::Word);
        emit<Traced>(trace::Event::Push, node, at, nullptr, stack::top());
        break;
    case T::Native:
    case T::Action:
    case T::Function:
    case T::Routine:
        i = invoke<false, Callee::Any, Traced>(&v, node, i, nullptr, nullptr, 0);
        code = code_of(node);
        break;
    case T::Op: fire(Err::NotDone);
    case T::Path:
        i = eval_path<Traced>(&v, node, i, PathMode::Normal, nullptr, false, at);
        code = code_of(node);
        break;
    case T::LitPath: {
        Cell* p = stack::push(&v);
        cell::set_type(p, T::Path);
        p->w3 = 0;
        break;
    }
    case T::SetPath: {
        if (i >= code.count) fire(Err::NeedValue, &v);
        frames::push_native(&words::w::set_path);
        i = eval_expression<false, true, Traced>(node, i);
        if (!exit_pending()) [[likely]] {
            Cell* value = stack::arg(0);
            emit<Traced>(trace::Event::Set, node, at, &v, value);
            eval_path<Traced>(&v, node, i, PathMode::Set, value, false, at);
            stack::keep_one();
        }
        frames::pop_keep_result();
        code = code_of(node);
        break;
    }
    case T::GetPath:
        i = eval_path<Traced>(&v, node, i, PathMode::Get, nullptr, false, at);
        code = code_of(node);
        break;
    case T::Issue:
        if (i < code.count && cell::is(&code.cells[i], T::Block)) {
            const SymId s = symbol::resolve(word::symbol_of(&v));
            if (s == symbol::resolve(words::sym::system) || s == symbol::resolve(words::sym::system_global))
                fire(Err::NuvSystem);
        }
        stack::push(&v);
        break;
    default:
        stack::push(&v);
        emit<Traced>(trace::Event::Push, node, at, nullptr, stack::top());
        break;
    }
    if constexpr (Traced) code = code_of(node);  // an event's callback may have allocated
    if constexpr (!Prefix) i = apply_operators<Traced>(node, i, mark, code);
    if constexpr (!Sub) stack::set_result(mark);
    if constexpr (!Sub) emit<Traced>(trace::Event::Expr, node, i, nullptr, stack::arg(0));
    return i;
}

}  // namespace

void init() {
    g_codes = parts::CodeStack{nullptr, nullptr};  // a runtime made again has freed the tracked buffers
    parts::grow_codes();
    *g_code = *unset::shared();
    g_exit_value = word::keep(unset::shared());
    g_exit_target = g_body_depth = g_opaque_depth = 0;
    forget_plans();
    static bool hooked = false;  // hooks outlive a runtime made again
    if (!hooked) {
        collector::add_mark_hook(forget_plans);
        collector::add_mark_hook(mark_codes);
    }
    hooked = true;
    error::set_position_source(&g_code);
    trace::init();
    hooks::g_evaluator = hooks::Evaluator{&interp::do_block, &interp::call_function, &interp::call_comparator};
    // The calling thread's stack: from its recorded bounds, else the stack limit below here.
    const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    uintptr_t low = 0;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* addr = nullptr;
        size_t size = 0;
        if (pthread_attr_getstack(&attr, &addr, &size) == 0 && addr) low = reinterpret_cast<uintptr_t>(addr);
        pthread_attr_destroy(&attr);
    }
    if (low == 0 || low >= here) {
        rlimit limit{};
        size_t budget = 8u << 20;
        if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            budget = static_cast<size_t>(limit.rlim_cur);
        low = here - std::min<size_t>(budget, 1u << 30);
    }
    const size_t budget = here - low;
    const size_t reserve = std::min<size_t>(budget / 4, 1u << 20);  // room to raise and report
    parts::g_stack_floor = here - (budget - reserve);
}

namespace {

// A block of pure expressions (a loop's condition, a counter's step) shows nothing of its run:
// no frame, no code position; its value lands where the run leaves it. Answers -1 when it ran,
// else the index the run goes on from as usual.
[[gnu::noinline]] int32_t run_pure(const Cell* block, Run run) {
    if (run == Run::InFrame) stack::reset();
    const int32_t from = units::run_pure(cell::node(block), cell::head(block), run != Run::InFrame);
    if (from < 0 && run == Run::Return) *stack::arg(0) = *stack::top();
    return from;
}

template <bool Traced>
void run_block(const Cell* block, Run run) {
    check_machine_stack();
    int32_t from = cell::head(block);
    if constexpr (!Traced) {
        if (units::may_be_pure(cell::node(block)) && units::g_on) [[unlikely]] {
            from = run_pure(block, run);
            if (from < 0) return;
        }
    }
    const NodeId node = cell::node(block);
    const uint32_t boot = boot_code::is_marked(node) ? 1 : 0;
    const int32_t count = code_of(node).count;
    CodeScope scope(node, cell::head(block), boot);
    collector::FreshScope fresh;  // what each expression made is held by the stack or stored
    int32_t i = std::clamp(from, 0, count);
    [[maybe_unused]] const int32_t head = i;
    if (run == Run::InFrame) {
        stack::reset();
    } else {
        frames::push_eval(&words::w::body, boot ? 0 : frames::kInterpFlag);
    }
    if constexpr (Traced) emit_run(trace::Event::Enter, node, head, head, nullptr);
    if (i >= count) {
        stack::push(unset::shared());
    } else if (Traced || !units::g_on || !units::run(node, i, false, fresh)) {
        expressions_from<false, Traced>(node, i, fresh);
    }
    if constexpr (Traced) emit_run(trace::Event::Exit, node, head, block::count(node), stack::arg(0));
    if (run == Run::Return) {
        frames::pop_return_result();
    } else if (run == Run::Keep) {
        frames::pop_keep_result();
    }
}

}  // namespace

void eval_block(const Cell* block, bool return_result) {
    const Run run = return_result ? Run::Return : Run::Keep;
    if (trace::active()) [[unlikely]] {
        run_block<true>(block, run);
    } else {
        run_block<false>(block, run);
    }
}

void eval_in_frame(const Cell* block) {
    if (trace::active()) [[unlikely]] {
        run_block<true>(block, Run::InFrame);
    } else {
        run_block<false>(block, Run::InFrame);
    }
}

Cell* do_block(const Cell* block) {
    const Cell held = *block;
    eval_block(&held, false);
    return stack::top();
}

int32_t eval_at(const Cell* block, int32_t index) {
    const NodeId node = cell::node(block);
    if (index >= block::count(node)) {
        stack::push(unset::shared());
        return index;
    }
    CodeScope scope(node, index);
    frames::Owner owner(&words::w::body, frames::kNative);
    index = trace::active() ? eval_expression<false, true, true>(node, index)
                            : eval_expression<false, true>(node, index);
    Cell result = *stack::top();
    frames::pop();
    stack::push(&result);
    return index;
}

namespace {

const Cell* callback_name(Callback kind) {
    switch (kind) {
    case Callback::Lexer: return &words::w::lexer_callback;
    case Callback::Parse: return &words::w::parse_callback;
    case Callback::Compare: return &words::w::compare_callback;
    case Callback::Change: return &words::w::on_change_star;
    case Callback::DeepChange: return &words::w::on_deep_change_star;
    case Callback::Call:
    case Callback::Port: break;
    }
    return &words::w::anon;
}

// The spec slots from entry `from` on as a call without refinements has them: each refinement
// off (its position -1 in `refinements`, when given). With the context of a function or routine
// (`ctx` not 0), whose calls read every spec slot, each slot is pushed too (a refinement false,
// an argument none), then /local false and the locals none.
void push_refinements_off(NodeId compiled, int32_t from, NodeId ctx, int32_t* refinements) {
    const int32_t n = block::count(compiled);
    int32_t count = 0;
    for (int32_t e = from; e < n; e += 2) {
        const bool refinement = cell::is(&block::raw_cells(compiled)[e], T::Refinement);
        if (refinement && refinements) {
            if (count == kMaxRefinements) fire(Err::LimitHit);
            refinements[count++] = -1;
        }
        if (ctx) stack::push(refinement ? logic::shared(false) : none::shared());
    }
    for (int32_t k = std::max(n, from) / 2; ctx && k < context::word_count(ctx); k++)
        stack::push(k == n / 2 ? logic::shared(false) : none::shared());  // /local, the locals
}

// call_function's call under a frame named `name`. `framed` (traced only): the body is framed
// by the events call and return. `back`: the argument slots after the first, as the body left
// them, are copied there.
template <bool Traced>
Cell* call_named(const Cell* function, const Cell* name, const Cell* values, int32_t count,
                 [[maybe_unused]] bool framed = false, Cell* back = nullptr) {
    check_machine_stack();
    Cell* mark = stack::push(function);  // the function stays reachable during its call
    const NodeId ctx = function::context_of(mark);
    frames::push_function(name, ctx);
    for (int32_t k = 0; k < count; k++) stack::push(values + k);
    push_refinements_off(compiled_spec(mark), 2 * count, ctx, nullptr);
    if constexpr (Traced) {
        if (framed && trace::tracing()) trace::event(trace::Event::Call, nullptr, -1, name, mark);
    }
    run_function<Traced>(mark, ctx, name);
    if constexpr (Traced) {
        if (framed && trace::tracing()) trace::event(trace::Event::Return, nullptr, -1, name, stack::arg(0));
    }
    for (int32_t k = 1; back && k < count; k++) back[k] = *stack::arg(k);
    frames::pop_keep_result();
    *mark = *(mark + 1);
    stack::g_args.top = mark + 1;
    return mark;
}

}  // namespace

Cell* call_function(const Cell* function, Callback kind, const Cell* values, int32_t count) {
    const Cell* name = callback_name(kind);
    if (!trace::active()) [[likely]] return call_named<false>(function, name, values, count);
    if (kind == Callback::Call) return call_named<true>(function, name, values, count);
    // A runtime callback is traced only when system/state/callbacks/bits asks for its kind.
    if (system_object::callback_bits() & static_cast<uint32_t>(kind))
        return call_named<true>(function, name, values, count, true);
    const trace::Switch off(false);
    return call_named<true>(function, name, values, count);
}

namespace {

// A routine callback, called directly; `framed`: by the events call and return.
Cell* call_routine(const Cell* routine, const Cell* name, Cell* values, int32_t count, bool framed) {
    check_machine_stack();
    Cell* mark = stack::push(routine);  // reachable during the call
    frames::push_interp_native(name);
    for (int32_t k = 0; k < count; k++) stack::push(values + k);
    push_refinements_off(compiled_spec(mark), 2 * count, function::context_of(mark), nullptr);
    if (framed) trace::event(trace::Event::Call, nullptr, -1, name, mark);
    routines::call(mark, name);
    if (framed) trace::event(trace::Event::Return, nullptr, -1, name, stack::arg(0));
    for (int32_t k = 1; k < count; k++) values[k] = *stack::arg(k);
    frames::pop_keep_result();
    *mark = *(mark + 1);
    stack::g_args.top = mark + 1;
    return mark;
}

}  // namespace

Cell* call_callback(const Cell* callee, Callback kind, Cell* values, int32_t count) {
    const Cell* name = callback_name(kind);
    const bool traced =
        trace::active() && (system_object::callback_bits() & static_cast<uint32_t>(kind));
    if (cell::is(callee, T::Routine))
        return call_routine(callee, name, values, count, traced && trace::tracing());
    if (!trace::active()) [[likely]]
        return call_named<false>(callee, name, values, count, false, values);
    if (traced) return call_named<true>(callee, name, values, count, true, values);
    const trace::Switch off(false);
    return call_named<true>(callee, name, values, count, false, values);
}

Cell* call_aside(const Cell* function, const Cell* name, const Cell* values, int32_t count) {
    Cell* kept = stack::push(g_exit_value);  // the pending exit's value stays reachable
    const uint32_t target = g_exit_target;
    g_exit_target = 0;
    const Cell* result = trace::active() ? call_named<true>(function, name, values, count)
                                         : call_named<false>(function, name, values, count);
    g_exit_target = target;
    *g_exit_value = *kept;
    *kept = *result;
    stack::g_args.top = kept + 1;
    return kept;
}

namespace {

int32_t compare_order(const Cell* answer) {
    switch (cell::type_of(answer)) {
    case T::Logic: return logic::get(answer) ? 1 : -1;
    case T::Integer: return cell::get_int(answer);
    case T::Float: {
        const double d = cell::get_double(answer);
        return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
    }
    case T::None: return -1;
    default: return 1;
    }
}

}  // namespace

int32_t call_comparator(const Cell* comparator, const Cell* first, const Cell* second) {
    const Cell values[2] = {*first, *second};
    const collector::Root held(values, 2);  // compiling the spec below may collect
    stack::Mark keep;
    const T type =
        cell::is(comparator, T::Op) ? native::op_source(comparator) : cell::type_of(comparator);
    if (type == T::Function) {
        const int32_t order =
            compare_order(interp::call_function(comparator, Callback::Compare, values, 2));
        keep.restore();
        return order;
    }
    check_machine_stack();
    const Cell* name = &words::w::compare_callback;
    Cell* mark = stack::push(comparator);  // reachable during the call
    const NodeId compiled = compiled_spec(mark);
    const int32_t n = block::count(compiled);
    const bool slots = type == T::Routine;  // a routine reads every spec slot
    frames::push_interp_native(name);
    int32_t leading = 0;
    for (; leading < n && !cell::is(&block::raw_cells(compiled)[leading], T::Refinement);
         leading += 2) {
        const Cell* value = leading / 2 < 2 ? &values[leading / 2] : none::shared();
        const T got = cell::type_of(stack::push(value));
        if (!typeset::has(block::raw_cells(compiled) + leading + 1, got))
            fire_arg_type(compiled, leading, name, got);
    }
    int32_t refinements[kMaxRefinements];
    push_refinements_off(compiled, leading, slots ? function::context_of(mark) : 0, refinements);
    if (type == T::Routine) {
        routines::call(mark, name);
    } else if (type == T::Action) {
        actions::table()[native::index_of(mark) - 1](refinements);
    } else {
        natives::entry(native::index_of(mark))(true, refinements);
    }
    frames::pop_keep_result();
    const int32_t order = compare_order(mark + 1);
    keep.restore();
    return order;
}

Cell* eval_path_alone(const Cell* path, PathMode mode, const Cell* value, bool case_) {
    const Cell held = *path;
    const NodeId node = cell::node(&held);
    // The path's own cells serve as the code, read from their end: a callee finds no argument.
    if (trace::active()) [[unlikely]] {
        eval_path<true>(&held, node, block::count(node), mode, value, case_);
    } else {
        eval_path(&held, node, block::count(node), mode, value, case_);
    }
    return stack::top();
}

NodeId compiled_spec(const Cell* callee) {
    const Cell compiled = block::raw_cells(callee->w3)[kCompiledInfoCell];
    return cell::is(&compiled, T::Block) ? cell::node(&compiled) : compile(callee);
}

NodeId compiled_spec_made(const Cell* callee) {
    const Cell compiled = block::raw_cells(callee->w3)[kCompiledInfoCell];
    return cell::is(&compiled, T::Block) ? cell::node(&compiled) : 0;
}

uint64_t plans_made() { return g_plans_made; }

// ---- Calls with their arguments in a block ----

namespace {

// One apply_block call's walk over its arguments block.
struct Applied {
    Cell block;  // the arguments block, as given
    int32_t i;   // the next item
    NodeId compiled;
    const Cell* name;
    uint32_t flags;
    bool at_tail() const { return i >= block::count(cell::node(&block)); }
};

// Pushes the value of argument entry `entry` (see kApplyAll, kApplyReduce). A checked value must
// be of a type the entry accepts; an unchecked one (an off refinement's) is none past the tail.
void fetch_applied(Applied& a, int32_t entry, bool check) {
    const Cell types = block::at(a.compiled, entry + 1);
    Cell arg_word = block::at(a.compiled, entry);
    const T mode = (a.flags & kApplyReduce) ? T::Word : cell::type_of(&arg_word);
    cell::set_type(&arg_word, T::Word);
    if (a.at_tail()) {
        if (!check) {
            stack::push(none::shared());
            return;
        }
        if (mode != T::LitWord || !typeset::has(&types, T::Unset)) fire(Err::NoArg, a.name, &arg_word);
        stack::push(unset::shared());
        return;
    }
    const Cell value = block::at(cell::node(&a.block), a.i);
    if (mode == T::Word) {
        a.i = eval_at(&a.block, a.i);
    } else {
        a.i++;
        switch (mode == T::GetWord ? T::Invalid : cell::type_of(&value)) {
        case T::Paren: do_block(&value); break;
        case T::GetWord: word::push_value(&value); break;
        case T::GetPath: eval_path_alone(&value, PathMode::Get, nullptr, false); break;
        default: stack::push(&value); break;
        }
    }
    const T got = stack::top_type();
    if (check && !typeset::has(&types, got)) {
        Cell type;
        datatype::set(&type, got);
        fire(Err::ExpectArg, a.name, &type, &arg_word);
    }
}

// A refinement's switch: the next expression's truth (only none and false are off); off at the
// tail.
bool flag_applied(Applied& a) {
    if (a.at_tail()) return false;
    a.i = eval_at(&a.block, a.i);
    const bool on = logic::value_is_true(stack::top(), false, nullptr);
    stack::drop(1);
    return on;
}

// The refinement at entry `r` (ordinal `ordinal`) on or off, with its arguments: for a function
// or routine written into their spec slots (none when off); for a native or action pushed when
// on, refinements[ordinal] then holding the stack position of the first.
void use_applied(Applied& a, int32_t r, int32_t ordinal, bool on, bool slots, int32_t* refinements) {
    Cell* mark = stack::g_args.top;
    if (slots) {
        *stack::arg(r / 2) = *logic::shared(on);
    } else if (on) {
        refinements[ordinal] = static_cast<int32_t>(mark - stack::g_args.base);
    }
    const int32_t end = refinement_end(a.compiled, r);
    for (int32_t e = r + 2; e < end; e += 2) {
        if (on || !(a.flags & kApplySafer)) {
            fetch_applied(a, e, on);
        } else {
            if (!a.at_tail()) a.i++;
            stack::push(none::shared());
        }
        if (slots) {
            *stack::arg(e / 2) = on ? *stack::top() : *none::shared();
            stack::drop(1);
        }
    }
    if (!on) stack::g_args.top = mark;
}

}  // namespace

Cell* apply_block(const Cell* callee_in, const Cell* name, const Cell* path, int32_t path_from,
                  const Cell* args, uint32_t flags) {
    const Cell callee = *callee_in;
    Cell* mark = stack::push(&callee);  // the callee and the block stay reachable during the call
    stack::push(args);
    const T type = cell::is(&callee, T::Op) ? native::op_source(&callee) : cell::type_of(&callee);
    const NodeId compiled = compiled_spec(mark);
    const int32_t n = block::count(compiled);
    Applied a{*args, block::head_index(args), compiled, name, flags};
    const bool slots = type == T::Function || type == T::Routine;
    const NodeId ctx = slots ? function::context_of(&callee) : 0;
    if (type == T::Function) {
        frames::push_interp_function(name, ctx);
    } else {
        frames::push_interp_native(name);
    }
    int32_t first = 0;
    for (; first < n && !cell::is(&block::raw_cells(compiled)[first], T::Refinement); first += 2)
        fetch_applied(a, first, true);
    int32_t refinements[kMaxRefinements];
    bool used[kMaxRefinements] = {};
    push_refinements_off(compiled, first, slots ? ctx : 0, refinements);
    int32_t ordinal = 0;
    const auto take = [&](const Cell* element, const Cell* container) {
        const int32_t r = find_refinement(compiled, element, name, &ordinal);
        if (used[ordinal]) fire(Err::DupRefine, container);
        used[ordinal] = true;
        return r;
    };
    const int32_t path_end = path ? block::count(cell::node(path)) : 0;
    if (flags & kApplyAll) {
        if (path_from < path_end) fire(Err::BadRefines);
        for (int32_t r = first; r < n; r = refinement_end(compiled, r), ordinal++)
            use_applied(a, r, ordinal, flag_applied(a), slots, refinements);
    } else {
        for (int32_t p = path_from; p < path_end; p++) {
            const Cell element = block::at(cell::node(path), p);
            const int32_t r = take(&element, path);
            use_applied(a, r, ordinal, true, slots, refinements);
        }
        while (!a.at_tail()) {
            a.i = eval_at(&a.block, a.i);
            Cell element = *stack::top();
            stack::drop(1);
            if (!cell::is(&element, T::Refinement)) fire(Err::BadRefine, &element);
            cell::set_type(&element, T::Word);
            const int32_t r = take(&element, &a.block);
            use_applied(a, r, ordinal, flag_applied(a), slots, refinements);
        }
    }
    if (type == T::Function) {
        if (trace::active()) [[unlikely]] {
            run_function<true>(&callee, ctx, name);
        } else {
            run_function<false>(&callee, ctx, name);
        }
    } else if (type == T::Routine) {
        routines::call(&callee, name);
    } else if (type == T::Action) {
        actions::table()[native::index_of(&callee) - 1](refinements);
    } else {
        natives::entry(native::index_of(&callee))(false, refinements);
    }
    frames::pop_keep_result();
    *mark = *(mark + 2);
    stack::g_args.top = mark + 1;
    return mark;
}

}  // namespace nuv::interp

// ---- The pieces compiled units share ----

namespace nuv::interp::parts {

Cell* g_code = nullptr;
CodeStack g_codes{nullptr, nullptr};
uintptr_t g_stack_floor = 0;
uint32_t g_exit_target = 0;
Cell* g_exit_value = nullptr;
uint32_t g_body_depth = 0;
uint32_t g_opaque_depth = 0;

// The code cells of the block runs in progress, outermost first; the current code cell is the
// last. Each block being run stays reachable through its cell (the collector marks them all)
// whatever its holder does to it meanwhile. A tracked buffer outside the frames, doubled when
// full (g_code moves with it).
void grow_codes() {
    const size_t used = g_codes.base ? static_cast<size_t>(g_code - g_codes.base) + 1 : 0;
    const size_t grown = used ? 2 * static_cast<size_t>(g_codes.end - g_codes.base) : 256;
    auto* cells = static_cast<Cell*>(memory::tracked_alloc(grown * sizeof(Cell)));
    if (used) std::memcpy(cells, g_codes.base, used * sizeof(Cell));
    if (g_codes.base) memory::tracked_free(g_codes.base);
    g_codes = CodeStack{cells, cells + grown};
    g_code = cells + (used ? used - 1 : 0);
}

uint8_t native_flags(int32_t index) {
    return index >= 0 && index <= natives::kTableSlots ? kNatives.flags[index] : 0;
}

Fast native_fast(int32_t index) {
    return index >= 0 && index <= natives::kTableSlots ? kNatives.fast[index] : Fast::None;
}

Fast action_fast(int32_t index) {
    return index >= 1 && index <= kActionCount ? kActions.fast[index] : Fast::None;
}

int32_t expression(NodeId node, int32_t i, bool prefix) {
    return prefix ? eval_expression<true, true>(node, i) : eval_expression<false, true>(node, i);
}

int32_t operators(NodeId node, int32_t i, Cell* mark) {
    return apply_operators(node, i, mark, code_of(node));
}

int32_t fetch_one(NodeId node, int32_t i, NodeId compiled, int32_t entry, const Cell* name, bool infix) {
    return interp::fetch_one(node, i, compiled, entry, name, infix);
}

void fire_arg_type(NodeId compiled, int32_t entry, const Cell* name, TypeId got) {
    interp::fire_arg_type(compiled, entry, name, got);
}

void expressions(NodeId node, int32_t i, bool sub, const collector::FreshScope& fresh) {
    if (sub) {
        expressions_from<true, false>(node, i, fresh);
    } else {
        expressions_from<false, false>(node, i, fresh);
    }
}

void call_native(TypeId type, uint8_t flags, natives::Entry native_entry, actions::Entry action_entry,
                 const int32_t* refinements) {
    interp::call_native(type, NativeCall{Fast::None, flags, native_entry, action_entry}, refinements);
}

void run_in_frame(const Cell* block) { run_block<false>(block, Run::InFrame); }

}  // namespace nuv::interp::parts
