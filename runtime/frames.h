// The call-frame stack: one 20-byte record per running call, loop, try, catch or block
// evaluation, naming what runs and where its arguments begin. Non-local exits are unwindings of
// both stacks: the walk finds the frame kind that accepts the exit, resets both stacks to it,
// then throws one Unwind record whose target is that frame's depth; the frame's C++ owner takes
// it (Owner::run) and every other owner passes it on. Frames hold no addresses: the saved
// arguments base is a cell index from the stack bottom, contexts are node ids.
#pragma once
#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/context.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace nuv::frames {

struct Frame {
    // Bits 8-23 the low 16 bits of the name's symbol id, bits 0-7 its next 8 bits; bits
    // 24-27 the kind; bit 28 the function-body flag; bit 29 the keep flag (try frames); bit
    // 31 the interpreter flag.
    uint32_t header;
    uint32_t saved_base;    // the caller's arguments base, a cell index from the bottom
    NodeId name_context;    // context of the word that names the frame (0: none)
    NodeId function;        // the called function's context (function frames only)
    uint32_t saved_values;  // that context's values word when the frame was pushed
};
static_assert(sizeof(Frame) == 20);

enum class Kind : uint32_t { Function = 1, Native = 2, Try = 4, TryAll = 5, Catch = 6, Eval = 7, Loop = 8 };

inline constexpr uint32_t kKindShift = 24;
inline constexpr uint32_t kKindMask = 0x0F000000;
inline constexpr uint32_t kBodyFlag = 0x10000000;
// On a try or try-all frame whose catcher turns the error's marker into its block of calls
// (try/keep): the calls are taken at the raise whatever system/state/stack-trace says.
inline constexpr uint32_t kKeepFlag = 0x20000000;
inline constexpr uint32_t kInterpFlag = 0x80000000;
inline constexpr int32_t kMaxFrames = 12000;
inline constexpr uint32_t kMaxSymbol = 0xFFFFFF;  // the largest symbol id a header can name

// Headers as pushed.
inline constexpr uint32_t kFunction = 0x01000000;        // compiled call of a function
inline constexpr uint32_t kNative = 0x02000000;          // compiled call of a native or action
inline constexpr uint32_t kCompiledCall = 0x12000000;    // a compiled function's own entry
inline constexpr uint32_t kTry = 0x04000000;
inline constexpr uint32_t kTryAll = 0x05000000;
inline constexpr uint32_t kCatch = 0x06000000;
inline constexpr uint32_t kEval = 0x87000000;            // the interpreter running a block
inline constexpr uint32_t kLoop = 0x08000000;
inline constexpr uint32_t kInterpNative = 0x82000000;
inline constexpr uint32_t kInterpFunction = 0x81000000;

struct FrameStack {
    Frame* bottom;
    Frame* top;  // one past the last frame
    Frame* end;
};
extern FrameStack g_frames;

// Sets the stack up over the frames block (cell 1 of the root block) and remembers the
// anonymous frame names <body> and <anon>. Needs the runtime words; runs once, on an empty stack.
void init();

// ---- Reading ----

inline Kind kind_of(const Frame* f) { return static_cast<Kind>((f->header & kKindMask) >> kKindShift); }
inline SymId name_of(const Frame* f) { return ((f->header >> 8) & 0xFFFF) | ((f->header & 0xFF) << 16); }
inline bool has_body_flag(const Frame* f) { return (f->header & kBodyFlag) != 0; }
// Frames in use; an owner's frame is known by the depth right after its push.
inline uint32_t depth() { return static_cast<uint32_t>(g_frames.top - g_frames.bottom); }
inline Frame* top() { return g_frames.top - 1; }  // the top frame; the stack must not be empty
inline Frame* at_depth(uint32_t d) { return g_frames.bottom + d - 1; }
// Resets the frame top to a remembered depth (no frame is restored, no base moves).
inline void set_depth(uint32_t d) { g_frames.top = g_frames.bottom + d; }
// Named frames are the ones error reports, `where` and call traces show: a name that is
// neither <body> nor <anon>.
bool is_named(SymId name);

// ---- Pushing: each sets the arguments base to the current top ----

[[noreturn]] void overflow();
// The header a push writes for a frame of the kind (its flags included) named by the word, made
// once by a caller that pushes the same frame many times; 0 when the name's symbol does not fit
// a header (a push raises then).
inline uint32_t header_for(const Cell* name, uint32_t kind) {
    const SymId sym = name ? name->w2 : 0;
    if (sym > kMaxSymbol) return 0;
    return kind | ((sym & 0xFFFF) << 8) | ((sym >> 16) & 0xFF);
}
// A push with its header made (header_for) and the context of the naming word; a function frame
// also keeps its function context and that context's values word.
inline void push_made(uint32_t header, NodeId name_context, NodeId function = 0, uint32_t saved_values = 0) {
    if (g_frames.top == g_frames.end) overflow();
    Frame* f = g_frames.top++;
    f->header = header;
    f->saved_base = stack::index_of(stack::g_args.base);
    f->name_context = name_context;
    f->function = function;
    f->saved_values = saved_values;
    stack::g_args.base = stack::g_args.top;
}
inline void push(const Cell* name, uint32_t header) {
    const uint32_t made = header_for(name, header);
    if (made == 0) [[unlikely]] {
        if (g_frames.top == g_frames.end) overflow();
        fire(Err::LimitHit);
    }
    push_made(made, name ? name->w1 : 0);
}
// A compiled call of a compiled function: also keeps the function context's values word, which
// every pop that restores contexts (and every unwinding through the frame) writes back.
void push_function(const Cell* name, NodeId function);
inline void push_native(const Cell* name) { push(name, kNative); }
// A compiled function's prologue: its context's values start at the current arguments base.
void push_compiled_call(const Cell* name, NodeId function);
inline void push_try(const Cell* name) { push(name, kTry); }
inline void push_try_all(const Cell* name) { push(name, kTryAll); }
inline void push_catch(const Cell* name) { push(name, kCatch); }
// The interpreter's pushes take the interpreter flag as an argument: the frames that boot code
// pushes (boot_code.h) have none.
inline void push_eval(const Cell* name, uint32_t flag = kInterpFlag) { push(name, (kEval & ~kInterpFlag) | flag); }
inline void push_loop(const Cell* name) { push(name, kLoop); }
inline void push_interp_native(const Cell* name, uint32_t flag = kInterpFlag) {
    push(name, (kInterpNative & ~kInterpFlag) | flag);
}
// With a context, the frame keeps its values word as push_function does, so unwinding through
// an interpreted call restores a re-entered function's values too.
inline void push_interp_function(const Cell* name, NodeId function = 0, uint32_t flag = kInterpFlag) {
    push(name, (kInterpFunction & ~kInterpFlag) | flag);
    if (!function) return;
    Frame* f = top();
    f->function = function;
    f->saved_values = context::cell_of(function)->w2;
}

// ---- Flags ----

inline void set_body_flag(Frame* f, bool on) { f->header = on ? f->header | kBodyFlag : f->header & ~kBodyFlag; }
inline void set_interp_flag() { top()->header |= kInterpFlag; }
// Sets the body flag on the frame below the top unless it has it; answers whether it set it
// (the caller clears it afterwards only then).
bool mark_caller_body();

// ---- Popping: each removes the top frame and restores the caller's arguments base ----
// (an empty frame stack leaves base and top at the bottom).

namespace detail {
enum class After : uint8_t { Drop, KeepOne, Restore };
// One pop for every variant: what stays on the argument stack, which frames get their function
// context back, and whether the result is also copied into the caller's arguments[0].
template <After Top, bool AnyContext, bool CopyResult>
inline void pop_with() {
    if (g_frames.top == g_frames.bottom) [[unlikely]] {
        stack::g_args.base = stack::g_args.top = stack::g_args.bottom;
        return;
    }
    Frame* f = --g_frames.top;
    if (f->function && (AnyContext || kind_of(f) == Kind::Function))
        context::leave_call(f->function, f->saved_values);
    Cell* old_base = stack::g_args.base;
    stack::g_args.base = stack::at_index(f->saved_base);
    switch (Top) {
    case After::Drop: stack::g_args.top = old_base; break;
    case After::KeepOne: stack::g_args.top = old_base + 1; break;
    case After::Restore: stack::g_args.top = stack::g_args.base; break;
    }
    if (CopyResult) cell::copy(old_base, stack::g_args.base);
}
}  // namespace detail

// The result dropped; a function frame's context restored.
inline void pop() { detail::pop_with<detail::After::Drop, false, false>(); }
// The callee's arguments[0] stays as the last pushed value.
inline void pop_keep_result() { detail::pop_with<detail::After::KeepOne, false, false>(); }
// The same, restoring any frame's function context.
inline void pop_keep_result_context() { detail::pop_with<detail::After::KeepOne, true, false>(); }
// The caller's own arguments are dropped too.
inline void pop_restore() { detail::pop_with<detail::After::Restore, false, false>(); }
inline void pop_restore_context() { detail::pop_with<detail::After::Restore, true, false>(); }
// As keep_result, and the result also in the caller's arguments[0].
inline void pop_return_result() { detail::pop_with<detail::After::KeepOne, false, true>(); }
// The same, restoring any frame's function context.
inline void pop_pass_result() { detail::pop_with<detail::After::KeepOne, true, true>(); }

// Unwinds to the nearest frame of the kind (a try-all frame also stops the search), which stays
// on the stack; answers it, or nullptr when the stack emptied. With `keep` the arguments base
// becomes the found frame's own call base, else the base the frame saved.
Frame* pop_to_kind(Kind kind, bool keep);
inline Frame* pop_to_loop(bool keep) { return pop_to_kind(Kind::Loop, keep); }
// pop_to_kind with keep, then the innermost result is copied into the found call's
// arguments[0], which is then the only cell of that call.
Frame* pop_to_kind_copy(Kind kind);

// ---- Questions ----

// Whether a frame with the interpreter flag lies at or below depth `from` (the top when 0);
// with `single` only that frame is looked at.
bool is_eval(uint32_t from, bool single);
// The word naming the nearest named frame, from the throw origin when one is recorded (which
// is then cleared), else from the top; the word <not-found> when none. May allocate.
Cell caller_word();
// caller_word, and in *arg_word the argument word number `arg` (counted from 0 over the spec's
// argument words, refinement arguments included, refinement words not) of the spec of the
// function that names the frame, as a word!; none when the name refers to no function or its
// spec has fewer arguments. May allocate.
Cell caller_word(int32_t arg, Cell* arg_word);
uint32_t throw_origin();
// A catch frame that takes a throw ends its unwinding: a later error must not name the thrower.
void clear_throw_origin();
// Appends, from the top frame down to the one above the bottom-most, each named frame's word
// and its saved arguments base as an integer!. The block cell must not lie in a collected
// buffer. May allocate.
void collect_calls(Cell* block);
// The calls an error's Stack line names, taken while the frames of its raise are in use: `out`
// becomes a new block of the word of every named frame from the bottom up to depth `marker`, as
// a word! when the word then refers to a function!, else as a get-word!; none! when no frame is
// named. `out` must not lie in a collected buffer. Allocates.
void trace_calls(Cell* out, uint32_t marker);
// Whether a call taken by trace_calls is named at the stack-trace level: function frames from
// level 1, every named frame (natives, set-words) from level 2.
inline bool trace_shows(int32_t level, const Cell* call) {
    return level >= 2 || (level >= 1 && cell::is(call, TypeId::Word));
}

// ---- Unwinding: each resets both stacks to the accepting frame and throws the Unwind ----
// The exit natives' own frame is the top frame, and is never the one that accepts.

// break (continue when `is_continue`): to the nearest loop frame, its base holding the value
// (arguments[0] of the caller when has_value) or unset!. A try-all frame on the way, or no loop
// frame, raises throw break / continue with the stacks as they were.
[[noreturn]] void break_unwind(bool has_value, bool is_continue);
// return (has_value) and exit: to the nearest frame with the body flag, its base holding the
// value or unset!; throw return is raised as break raises its error.
[[noreturn]] void return_unwind(bool has_value);
// throw: the value in arguments[0], the name in arguments[1] (unset! without a name). To the
// nearest catch frame, its base holding the value and the name; else throw `throw` with the
// value. A catch frame that does not take the throw calls this again from its own frame.
[[noreturn]] void throw_unwind();
// Errors, from fire, with the error! value (anything else: none yet): records its `where`, its
// stack marker and the calls its report names (when system/state/stack-trace asks for them or
// the catching frame has the keep flag), unwinds to the nearest try or try-all frame, removes it
// too and pushes the error above the arguments left as they were. With frames and no try frame
// the report goes to standard error and the process ends with status -2. With no frame at all
// the host C++ code that called the runtime takes the unwinding (target 0).
[[noreturn]] void error_unwind(const Cell* error);

// ---- Owners ----

// The C++ owner of a frame: pushes it at construction and knows it by depth. An unwinding
// aimed elsewhere has already removed the frame when it passes; the destructor only cuts the
// stacks back if something else (a C++ exception) left the frame in place.
class Owner {
  public:
    Owner(const Cell* name, uint32_t header) : base_(stack::g_args.base) {
        push(name, header);
        depth_ = frames::depth();
    }
    ~Owner() {
        if (frames::depth() >= depth_) {
            set_depth(depth_ - 1);
            stack::g_args.base = base_;
        }
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    uint32_t depth() const { return depth_; }
    // Runs the body: no value when it ends normally, else the kind of the unwinding aimed at
    // this frame. Every other unwinding passes on. A C++ allocation the body could not make
    // (its size comes from the program's data) is raised here as internal no-memory, from the
    // frames it left.
    template <class Body>
    std::optional<UnwindKind> run(Body&& body) const {
        try {
            try {
                body();
            } catch (const std::bad_alloc&) {
                fire(Err::NoMemory);
            } catch (const std::length_error&) {
                fire(Err::NoMemory);
            }
            return std::nullopt;
        } catch (const Unwind& u) {
            if (u.target != depth_) throw;
            return u.kind;
        }
    }

  private:
    Cell* base_;
    uint32_t depth_;
};

// For the collector: each frame's name context (as a series when the frame is named `self`),
// function context, and saved values series when that context keeps its values off the stack.
void gc_mark(void (*mark_series)(NodeId), void (*mark_context)(NodeId));

}  // namespace nuv::frames
