// The call-frame stack and the unwindings. Each unwinding first scans the frames without
// touching them, so an exit that nothing accepts raises its error with both stacks exactly as
// they were; only then are the frames above the accepting one cut and the Unwind thrown.
#include "runtime/frames.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/support.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv::frames {

FrameStack g_frames{};

namespace {

SymId g_body_symbol = 0;
SymId g_anon_symbol = 0;
uint32_t g_throw_origin = 0;  // depth at which the first throw of an unwinding began; 0 none

// Fields of an error! value that the error unwinding fills.
constexpr int32_t kWhereField = 7;
constexpr int32_t kStackField = 8;

constexpr const char* kFatalCaption = "Nuv NoName App";

using stack::g_args;

// The arguments base of the call that frame `index` (0-based) runs: the base the frame above
// it saved, or the current base for the top frame.
Cell* call_base(uint32_t index) {
    return index + 1 < depth() ? stack::at_index(g_frames.bottom[index + 1].saved_base) : g_args.base;
}

void restore_function(const Frame* f) { context::leave_call(f->function, f->saved_values); }

// Removes the frames above `keep` frames, top first, writing back the values word of every
// function frame on the way (so a re-entered function ends with its outermost call's values).
void cut_to(uint32_t keep) {
    for (Frame* f = g_frames.top - 1; f >= g_frames.bottom + keep; f--)
        if (kind_of(f) == Kind::Function && f->function) restore_function(f);
    set_depth(keep);
}

// The index of the nearest frame below `from` (a depth) that `accepts`, -1 when none; a try-all
// frame met first answers -2.
template <class Accepts>
int32_t scan(uint32_t from, Accepts accepts) {
    for (int32_t i = static_cast<int32_t>(from) - 1; i >= 0; i--) {
        const Frame* f = g_frames.bottom + i;
        if (accepts(f)) return i;
        if (kind_of(f) == Kind::TryAll) return -2;
    }
    return -1;
}

// The frame's name as a word of `context` when it has one, else of the global context.
Cell name_word(NodeId context, SymId sym) {
    return word::word_or_global(context ? context : context::global(), sym);
}

// The value the word of a frame name refers to, without raising; nullptr when it has none.
const Cell* name_value(NodeId ctx, SymId sym) {
    if (ctx != 0 && context::values_on_stack(ctx)) {
        int32_t index = context::find_word(ctx, sym, true);
        if (index >= 0) return context::cell_of(ctx)->w2 ? context::values_at(ctx, index) : nullptr;
        ctx = 0;
    }
    if (ctx == 0) return context::global_slot(sym);
    Cell holder{static_cast<uint32_t>(TypeId::Context), ctx, 0, 0};
    const Cell* slot = context::value_slot(sym, &holder);
    return slot ? slot : context::global_slot(sym);
}

// Fills the error's `where` (when none) and, unless it holds a backtrace, its stack marker and
// the calls its report names: taken now, while the frames of the raise are in use, when asked
// for (`take`) or when system/state/stack-trace asks for a Stack line. An error raised while this
// runs (out of memory naming the frame) is unwound unmarked.
bool g_marking = false;
void mark_error(const Cell* error, bool take) {
    if (!error || !cell::is(error, TypeId::Error) || g_marking) return;
    struct Marking {
        Marking() { g_marking = true; }
        ~Marking() { g_marking = false; }
    } marking;
    NodeId ctx = error->w1;
    if (ctx == 0 || context::word_count(ctx) <= kStackField) return;
    if (cell::is(context::values_at(ctx, kWhereField), TypeId::None)) {
        Cell where = caller_word();  // may allocate: the slot is found again below
        *context::write_at(ctx, kWhereField) = where;
    }
    if (cell::is(context::values_at(ctx, kStackField), TypeId::Block)) return;
    cell::put(context::write_at(ctx, kStackField), static_cast<uint32_t>(TypeId::Integer), 0,
              static_cast<uint32_t>(static_cast<int32_t>(depth())), 0);
    error::keep_calls(error, depth(), take || system_object::stack_trace() > 0);
}

// The report of an error nothing takes, on standard error, then the end of the process.
[[noreturn]] void fatal_report(const Cell* error) {
    std::string report;
    if (error && cell::is(error, TypeId::Error) && registry::row(TypeId::Error).form) {
        try {
            Cell* text = form_value_push(error, 0);
            report = string::to_std_utf8(text);
        } catch (const Unwind&) {
            report.clear();
        }
    }
    if (report.empty()) {
        Err id = raised().id;
        report = std::string("*** ") + err_category_word(err_category(id)) + " error: " + err_word(id);
    }
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n%s\n", kFatalCaption, report.c_str());
    std::fflush(stderr);
    std::_Exit(-2);
}

// Cuts the stacks to the accepting frame at `index` (kept), leaves the exit's values from the
// call's base up, and throws.
[[noreturn]] void land(uint32_t index, UnwindKind kind, const Cell* values, int32_t count) {
    Cell* base = call_base(index);
    cut_to(index + 1);
    g_args.base = base;
    for (int32_t i = 0; i < count; i++) base[i] = values[i];
    g_args.top = base + (count > 0 ? count : 1);
    throw Unwind{kind, index + 1};
}

// The value an exit carries: arguments[0] of the exit native, or unset!.
Cell exit_value(bool has_value) {
    if (has_value) return *stack::arg(0);
    return Cell{static_cast<uint32_t>(TypeId::Unset), 0, 0, 0};
}

}  // namespace

void init() {
    const Cell* block = block::rs_abs_at(roots::root(), 1);
    memory::SeriesBuf* b = memory::buf(cell::node(block));
    g_frames.bottom = reinterpret_cast<Frame*>(b->data());
    g_frames.top = g_frames.bottom;
    size_t room = b->size / sizeof(Frame);
    g_frames.end = g_frames.bottom + (room < static_cast<size_t>(kMaxFrames) ? room : kMaxFrames);
    g_body_symbol = word::symbol_of(&words::w::body);
    g_anon_symbol = word::symbol_of(&words::w::anon);
    g_throw_origin = 0;
}

bool is_named(SymId name) { return name != 0 && name != g_body_symbol && name != g_anon_symbol; }

void overflow() {
    stack::drop(5);
    cycles::reset();
    fire(Err::StackOverflow);
}

void push_function(const Cell* name, NodeId function) {
    push(name, kFunction);
    Frame* f = top();
    f->function = function;
    f->saved_values = context::cell_of(function)->w2;
}

void push_compiled_call(const Cell* name, NodeId function) {
    context::enter_call(function, g_args.base);
    push(name, kCompiledCall);
}

bool mark_caller_body() {
    if (depth() < 2) return false;
    Frame* f = at_depth(depth() - 1);
    if (has_body_flag(f)) return false;
    set_body_flag(f, true);
    return true;
}

// ---- Popping ----

Frame* pop_to_kind(Kind kind, bool keep) {
    uint32_t from = depth();
    int32_t found = -1;
    for (int32_t i = static_cast<int32_t>(from) - 1; i >= 0; i--) {
        Kind k = kind_of(g_frames.bottom + i);
        if (k == kind || k == Kind::TryAll) {
            found = i;
            break;
        }
    }
    if (found < 0) {
        cut_to(0);
        g_args.base = g_args.top = g_args.bottom;
        return nullptr;
    }
    auto index = static_cast<uint32_t>(found);
    Cell* innermost = g_args.base;
    Cell* base = keep ? call_base(index) : stack::at_index(g_frames.bottom[index].saved_base);
    bool removed = index + 1 < from;
    cut_to(index + 1);
    g_args.base = base;
    g_args.top = removed ? innermost + 1 : base + 1;
    return g_frames.bottom + index;
}

Frame* pop_to_kind_copy(Kind kind) {
    Cell result = *g_args.base;
    Frame* f = pop_to_kind(kind, true);
    *g_args.base = result;
    g_args.top = g_args.base + 1;
    return f;
}

// ---- Questions ----

bool is_eval(uint32_t from, bool single) {
    if (from == 0 || from > depth()) from = depth();
    for (uint32_t d = from; d >= 1; d--) {
        if (at_depth(d)->header & kInterpFlag) return true;
        if (single) return false;
    }
    return false;
}

uint32_t throw_origin() { return g_throw_origin; }
void clear_throw_origin() { g_throw_origin = 0; }

namespace {

// The nearest named frame, from the throw origin when one is recorded (which is then cleared),
// else from the top; nullptr when none.
const Frame* caller_frame() {
    // The origin may lie above the top: a throw passed on by a catch frame still names the
    // code that threw, whose records are intact until the next push.
    uint32_t from = g_throw_origin ? g_throw_origin : depth();
    g_throw_origin = 0;
    if (from > static_cast<uint32_t>(kMaxFrames)) from = kMaxFrames;
    for (uint32_t d = from; d >= 1; d--) {
        const Frame* f = at_depth(d);
        if (is_named(name_of(f))) return f;
    }
    return nullptr;
}

bool is_argument_word(TypeId t) {
    return t == TypeId::Word || t == TypeId::LitWord || t == TypeId::GetWord;
}

}  // namespace

Cell caller_word() {
    const Frame* f = caller_frame();
    return f ? name_word(f->name_context, name_of(f)) : words::w::not_found;
}

Cell caller_word(int32_t arg, Cell* arg_word) {
    *arg_word = Cell{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
    const Frame* f = caller_frame();
    if (!f) return words::w::not_found;
    const Frame frame = *f;  // name_word may allocate
    const Cell* value = name_value(frame.name_context, name_of(&frame));
    // Every function value keeps its spec block's node in word 2.
    if (value && native::is_any_function(cell::type_of(value)) && value->w2 != 0) {
        const NodeId spec = value->w2;
        for (int32_t i = 0, seen = 0; i < block::count(spec); i++) {
            const Cell item = block::at(spec, i);
            if (!is_argument_word(cell::type_of(&item))) continue;
            if (seen++ < arg) continue;
            *arg_word = item;
            cell::set_header(arg_word, TypeId::Word);
            break;
        }
    }
    return name_word(frame.name_context, name_of(&frame));
}

void collect_calls(Cell* block) {
    for (uint32_t d = depth(); d >= 2; d--) {
        const Frame f = *at_depth(d);
        SymId sym = name_of(&f);
        if (!is_named(sym)) continue;
        Cell w = name_word(f.function, sym);
        block::append_cell(block, &w);
        integer::make_in(block, static_cast<int32_t>(f.saved_base));
    }
}

void trace_calls(Cell* out, uint32_t marker) {
    if (marker > depth()) marker = depth();
    int32_t named = 0;
    for (uint32_t i = 0; i < marker; i++) named += is_named(name_of(g_frames.bottom + i));
    *out = Cell{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
    if (named == 0) return;
    block::make_at(out, named);
    // Deep stacks repeat a few names (a recursion): each is looked up once per walk. No code
    // runs during the walk, so a name's word and value stay as first found.
    struct Seen {
        NodeId context;
        SymId sym;
        Cell word;
    };
    constexpr uint32_t kSeen = 16;
    Seen seen[kSeen] = {};
    for (uint32_t i = 0; i < marker; i++) {
        const Frame f = g_frames.bottom[i];  // a copy: appending allocates (frames stay put)
        const SymId sym = name_of(&f);
        if (!is_named(sym)) continue;
        Seen& s = seen[sym % kSeen];
        if (s.sym != sym || s.context != f.name_context) {
            const Cell* value = name_value(f.name_context, sym);
            const bool function = value && cell::is(value, TypeId::Function);
            s = Seen{f.name_context, sym, name_word(f.name_context, sym)};
            if (!function) cell::set_type(&s.word, TypeId::GetWord);
        }
        block::append_cell(out, &s.word);
    }
}

// ---- Unwinding ----

void break_unwind(bool has_value, bool is_continue) {
    Err err = is_continue ? Err::Continue : Err::Break;
    uint32_t from = depth() > 0 ? depth() - 1 : 0;  // below the native's own frame
    int32_t found = scan(from, [](const Frame* f) { return kind_of(f) == Kind::Loop; });
    if (found < 0) fire(err);
    Cell value = exit_value(has_value && !is_continue);
    land(static_cast<uint32_t>(found), is_continue ? UnwindKind::Continue : UnwindKind::Break, &value, 1);
}

void return_unwind(bool has_value) {
    uint32_t from = depth() > 0 ? depth() - 1 : 0;
    int32_t found = scan(from, [](const Frame* f) { return has_body_flag(f); });
    if (found < 0) fire(Err::Return);
    Cell value = exit_value(has_value);
    land(static_cast<uint32_t>(found), has_value ? UnwindKind::Return : UnwindKind::Exit, &value, 1);
}

void throw_unwind() {
    Cell values[2] = {*stack::arg(0), *stack::arg(1)};
    uint32_t from = depth() > 0 ? depth() - 1 : 0;
    // The origin is the throw's own frame: an error of the throw names `throw`, as any native's.
    if (g_throw_origin == 0) g_throw_origin = depth();
    int32_t found = scan(from, [](const Frame* f) { return kind_of(f) == Kind::Catch; });
    if (found < 0) fire(Err::Throw, &values[0]);
    land(static_cast<uint32_t>(found), UnwindKind::Throw, values, 2);
}

void error_unwind(const Cell* error) {
    if (depth() == 0) throw Unwind{UnwindKind::Error, 0};
    if (error && !cell::is(error, TypeId::Error)) error = nullptr;
    Cell held{};
    if (error) held = *error;
    const int32_t found = scan(depth(), [](const Frame* f) {
        return kind_of(f) == Kind::Try || kind_of(f) == Kind::TryAll;
    });
    mark_error(error ? &held : nullptr, found >= 0 && (g_frames.bottom[found].header & kKeepFlag));
    Cell* remembered = g_args.top;
    if (found < 0) {
        cut_to(0);
        g_args.base = g_args.bottom;
        g_args.top = remembered;
        fatal_report(error ? &held : nullptr);
    }
    auto index = static_cast<uint32_t>(found);
    cut_to(index);
    g_args.base = stack::at_index(g_frames.bottom[index].saved_base);
    g_args.top = remembered < g_args.base ? g_args.base : remembered;
    if (error) {
        if (g_args.top + 1 >= g_args.end) g_args.top = g_args.end - 2;
        *g_args.top++ = held;
    }
    throw Unwind{UnwindKind::Error, index + 1};
}

// ---- Collector ----

void gc_mark(void (*mark_series)(NodeId), void (*mark_context)(NodeId)) {
    SymId self = words::sym::self;
    for (const Frame* f = g_frames.bottom; f < g_frames.top; f++) {
        if (f->name_context) {
            if (name_of(f) == self) mark_series(f->name_context);
            else mark_context(f->name_context);
        }
        if (!f->function) continue;
        mark_context(f->function);
        if (!context::values_on_stack(f->function) && f->saved_values) mark_series(f->saved_values);
    }
}

}  // namespace nuv::frames
