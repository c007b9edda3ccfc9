// The interpreter's pieces that compiled units share: the code stack and its current position,
// the pending-exit state, the machine-stack guard, and the interpreter's own steps that a unit
// hands the rest of its work to. For the evaluator's own files only.
#pragma once
#include <cstdint>

#include "runtime/boot_code.h"
#include "runtime/cell.h"
#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/word.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/datatypes/native.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions_table.h"
#include "runtime/evaluator/fast_paths.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/types.h"

namespace nuv::interp::parts {

// ---- Code positions ----

// The current code cell (the top of the code stack): the innermost block run and the index of
// the expression being run. Error reports read it as `near`. Word 3 is 1 while the block is boot
// code (boot_code.h), 0 otherwise: the frames such code pushes have no interpreter flag.
extern Cell* g_code;
struct CodeStack {
    Cell* base;
    Cell* end;
};
extern CodeStack g_codes;
void grow_codes();

// A position in the block of the current code cell (or in a block run inline with it, which is
// boot code when that is). The cell is a block already.
inline void set_code(NodeId node, int32_t i) {
    g_code->w1 = static_cast<uint32_t>(i);
    g_code->w2 = node;
}

// Pushes the code cell of a run of block `node` from `index`; `boot` is 1 when the block is boot
// code.
inline void push_code(NodeId node, int32_t index, uint32_t boot) {
    if (g_code + 1 == g_codes.end) [[unlikely]] grow_codes();
    ++g_code;
    cell::put(g_code, static_cast<uint32_t>(TypeId::Block), static_cast<uint32_t>(index), node, boot);
}
inline void push_code(NodeId node, int32_t index) { push_code(node, index, boot_code::is_marked(node) ? 1 : 0); }

// The interpreter flag of the frames the current code pushes: none for boot code.
inline uint32_t frame_flag() { return g_code->w3 ? 0 : frames::kInterpFlag; }

// A block run's own code cell, on top of the code stack for the run's duration, every exit
// included; it starts at the block's head.
struct CodeScope {
    CodeScope(NodeId node, int32_t index) { push_code(node, index); }
    CodeScope(NodeId node, int32_t index, uint32_t boot) { push_code(node, index, boot); }
    ~CodeScope() { --g_code; }
    CodeScope(const CodeScope&) = delete;
    CodeScope& operator=(const CodeScope&) = delete;
};

// ---- The machine stack ----

extern uintptr_t g_stack_floor;  // below this machine-stack address, stack-overflow
inline void check_machine_stack() {
    if (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < g_stack_floor) [[unlikely]]
        fire(Err::StackOverflow);
}

// ---- Pending exits ----

extern uint32_t g_exit_target;  // depth of the function frame a pending exit ends; 0: none
extern Cell* g_exit_value;      // its value (a root-block cell)
extern uint32_t g_body_depth;   // frame depth of the innermost function body being run
extern uint32_t g_opaque_depth; // frame depth of the innermost call that ignores pending exits
inline bool exit_pending() { return g_exit_target != 0; }

// The depth of the function body an exit from code at frame depth `from` ends, when only code
// that honours a pending exit lies between them (no other body, no call that ignores pending
// exits); 0 when the exit must be thrown instead. No allocation.
inline uint32_t pending_exit_target(uint32_t from) {
    const uint32_t target = g_body_depth;
    if (target == 0 || target <= g_opaque_depth) return 0;
    for (uint32_t d = from; d > target; d--)
        if (frames::has_body_flag(frames::at_depth(d))) return 0;
    return target;
}

// A set-word's write: the word (a stable cell, the next cell holding the value) set in its
// context, directly where that needs no lookup or notice. May allocate.
inline void set_word(Cell* target) {
    Cell* slot = context::plain_write_slot(target);
    if (slot) {
        *slot = *(target + 1);
    } else {
        word::set(target, target + 1);
    }
}

// Sets a watermark for the call's duration, whatever way it ends.
struct DepthScope {
    uint32_t* mark;
    uint32_t saved;
    DepthScope(uint32_t* m, uint32_t depth) : mark(m), saved(*m) { *m = depth; }
    ~DepthScope() { *mark = saved; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;
};

// ---- Evaluation ----

// Native flags (see the interpreter's native traits).
inline constexpr uint8_t kPassesExit = 1;
inline constexpr uint8_t kExitWithValue = 2;
inline constexpr uint8_t kExitNoValue = 4;
inline constexpr uint8_t kBranch = 8;
inline constexpr uint8_t kTwoWay = 16;
uint8_t native_flags(int32_t index);

// The calls whose result the evaluator computes itself for integer! and float! operands, with
// the same result the callee gives; anything else (other types, an integer overflow, a float
// equality, which is tolerant) goes to the callee.
enum class Fast : uint8_t { None, Add, Subtract, Multiply, Equal, NotEqual, Lesser, Greater, LesserOrEqual, GreaterOrEqual };
// The call's result written over `a` (its first argument) as the callee writes it; false, with
// nothing written, when the callee must decide. Any mix of integer! and float! operands is
// computed here.
[[gnu::always_inline]] inline bool compute(Fast op, Cell* a, const Cell* b) {
    constexpr bool kMixed = true;
    bool truth = false;
    const auto logic = [&](CompareOp code) {
        if (!fast::compare_numbers<kMixed>(code, a, b, &truth)) return false;
        cell::put(a, static_cast<uint32_t>(TypeId::Logic), truth ? 1 : 0, a->w2, a->w3);
        return true;
    };
    switch (op) {
    case Fast::None: return false;
    case Fast::Add: return fast::arith_numbers<kMixed>(ArithOp::Add, a, b, a);
    case Fast::Subtract: return fast::arith_numbers<kMixed>(ArithOp::Subtract, a, b, a);
    case Fast::Multiply: return fast::arith_numbers<kMixed>(ArithOp::Multiply, a, b, a);
    case Fast::Equal: return logic(CompareOp::Equal);
    case Fast::NotEqual: return logic(CompareOp::NotEqual);
    case Fast::Lesser: return logic(CompareOp::Lesser);
    case Fast::Greater: return logic(CompareOp::Greater);
    case Fast::LesserOrEqual: return logic(CompareOp::LesserOrEqual);
    case Fast::GreaterOrEqual: return logic(CompareOp::GreaterOrEqual);
    }
    return false;
}
// The computed call of a native (by its table index) or an action (by its number), or None.
Fast native_fast(int32_t index);
Fast action_fast(int32_t index);

// What evaluation does with a value by its type: Inert values are pushed as they stand (met
// in code), Plain ones are pushed as they stand when a word refers to them.
struct TypeTable {
    bool inert[256]{};
    bool plain[256]{};
};
consteval TypeTable make_type_table() {
    TypeTable t;
    for (int k = 0; k < 256; k++) t.inert[k] = t.plain[k] = true;
    for (TypeId active : {TypeId::Word, TypeId::Paren, TypeId::SetWord, TypeId::GetWord, TypeId::LitWord, TypeId::Native, TypeId::Action,
                     TypeId::Function, TypeId::Routine, TypeId::Op, TypeId::Path, TypeId::LitPath, TypeId::SetPath, TypeId::GetPath,
                     TypeId::Issue})
        t.inert[static_cast<int>(active)] = false;
    for (TypeId active : {TypeId::Unset, TypeId::LitWord, TypeId::Native, TypeId::Action, TypeId::Function, TypeId::Routine, TypeId::Op})
        t.plain[static_cast<int>(active)] = false;
    return t;
}
constexpr TypeTable kTypes = make_type_table();

// What evaluation does with a value a word refers to: false for unset, lit-word and the
// callables (the word's expression is then the interpreter's).
inline bool is_plain(TypeId type) { return kTypes.plain[static_cast<uint8_t>(type)]; }

// One expression of block `node` from cell i, untraced: its value pushed (prefix: no operators
// after it). Answers the index after it.
int32_t expression(NodeId node, int32_t i, bool prefix);
// The operators from cell i applied, strictly left to right, to the value at `mark` (the top).
int32_t operators(NodeId node, int32_t i, Cell* mark);
// Fetches one argument along entry `entry` of the compiled spec, as the interpreter does (its
// mode, its type check; an infix operator's right operand takes no operator); the value is
// pushed. Answers the next index.
int32_t fetch_one(NodeId node, int32_t i, NodeId compiled, int32_t entry, const Cell* name, bool infix);
[[noreturn]] void fire_arg_type(NodeId compiled, int32_t entry, const Cell* name, TypeId got);
// The interpreter's block loop from cell i (before the tail), untraced: each expression's value
// pushed (`sub`) or made the only cell of the current call, `fresh` released between them.
void expressions(NodeId node, int32_t i, bool sub, const collector::FreshScope& fresh);

// A function's body run over the arguments of the top frame (of context `ctx`): `run` evaluates
// it, leaving its value last pushed; the result lands in arguments[0]. return and exit aimed at
// the frame end here, thrown or pending; `epilog` runs at every end that is not an error.
template <class Run, class Epilog>
[[gnu::always_inline]] inline void run_body_with(NodeId ctx, Run&& run, Epilog&& epilog) {
    frames::set_body_flag(frames::top(), true);
    context::enter_call(ctx, stack::arg(0));
    const uint32_t depth = frames::depth();
    DepthScope in_body(&g_body_depth, depth);
    try {
        run();
        *stack::arg(0) = *stack::top();
    } catch (const Unwind& u) {
        if (u.target != depth || (u.kind != UnwindKind::Return && u.kind != UnwindKind::Exit)) throw;
        epilog();
        return;
    }
    if (g_exit_target == depth) [[unlikely]] {
        g_exit_target = 0;
        *stack::arg(0) = *g_exit_value;
        stack::keep_one();
    }
    epilog();
}
// A native or action call with its arguments in place under its frame (exits recorded, a
// branch chosen, as the interpreter calls it), no result computed in place.
void call_native(TypeId type, uint8_t flags, natives::Entry native_entry, actions::Entry action_entry,
                 const int32_t* refinements);
// The block run in the top frame, its value in arguments[0] (the interpreter's branch run).
void run_in_frame(const Cell* block);

}  // namespace nuv::interp::parts
