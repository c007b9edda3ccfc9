// The trace run's state and the event dispatcher.
#include "runtime/evaluator/trace.h"

#include <bit>

#include "runtime/boot_code.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/interp_parts.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/frames.h"
#include "runtime/watch.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::trace {

bool g_active = false;

namespace {

using T = TypeId;

Cell* g_callback = nullptr;  // a root-block cell: the callback, none outside a run
uint32_t g_mask = 0;
int32_t g_in_callback = 0;   // callback calls running

constexpr int32_t kEventCount = 16;

// The event word of bit k.
const Cell& event_word(int32_t k) {
    switch (k) {
    case 0: return words::w::init;
    case 1: return words::w::end;
    case 2: return words::w::prolog;
    case 3: return words::w::epilog;
    case 4: return words::w::enter;
    case 5: return words::w::exit;
    case 6: return words::w::open;
    case 7: return words::w::return_;
    case 8: return words::w::fetch;
    case 9: return words::w::push;
    case 10: return words::w::set;
    case 11: return words::w::call;
    case 12: return words::w::error;
    case 13: return words::w::throw_;
    case 14: return words::w::catch_;
    default: return words::w::expr;
    }
}

int32_t offset_of(const Cell* code, int32_t at) {
    if (!code || at < 0) return -1;
    const int32_t from = cell::head(code);
    if (at < from || at > block::count(cell::node(code))) return -1;
    return at - from;
}

// Counts a callback call for its duration.
struct InCallback {
    InCallback() { g_in_callback++; }
    ~InCallback() { g_in_callback--; }
    InCallback(const InCallback&) = delete;
    InCallback& operator=(const InCallback&) = delete;
};

void report_error(const Cell* error) { event(Event::Error, nullptr, -1, nullptr, error); }

// Boot code is run as the runtime's own: the interpreter reports no step inside it (the code
// running is boot code, or the event's code is: a boot function's prolog and epilog). The run's
// opening and closing, and the events of fire, throw and catch, are not the interpreter's.
bool from_boot_code(Event e, const Cell* code) {
    constexpr uint32_t kNotSteps = static_cast<uint32_t>(Event::Init) | static_cast<uint32_t>(Event::End) |
                                   static_cast<uint32_t>(Event::Error) | static_cast<uint32_t>(Event::Throw) |
                                   static_cast<uint32_t>(Event::Catch);
    if (static_cast<uint32_t>(e) & kNotSteps) return false;
    if (code && series::is_any_block(cell::type_of(code)) && boot_code::is_marked(cell::node(code))) return true;
    return e != Event::Prolog && e != Event::Epilog && interp::parts::g_code->w3 != 0;
}

}  // namespace

bool body_tracing(uint32_t function_header) {
    if (function_header & function::kNoTraceFlag) return false;
    if ((function_header & function::kTraceFlag) && g_in_callback == 0) return true;
    return hooks::g_tracing;
}

uint32_t mask_of(const Cell* callback) {
    const NodeId spec = function::spec_node(callback);
    if (block::count(spec) == 0 || !cell::is(block::raw_cells(spec), T::Block)) return kEveryEvent;
    const NodeId events = cell::node(block::raw_cells(spec));
    uint32_t mask = 0;
    for (int32_t i = cell::head(block::raw_cells(spec)), n = block::count(events); i < n; i++) {
        const Cell* item = block::raw_cells(events) + i;
        if (!cell::is(item, T::Word)) continue;
        const SymId sym = symbol::resolve(word::symbol_of(item));
        for (int32_t k = 0; k < kEventCount; k++)
            if (symbol::resolve(word::symbol_of(&event_word(k))) == sym) mask |= 1u << k;
    }
    return mask;
}

void event(Event e, const Cell* code, int32_t at, const Cell* ref, const Cell* value) {
    const auto bit = static_cast<uint32_t>(e);
    if (!hooks::g_tracing || !(g_mask & bit) || from_boot_code(e, code)) return;
    const Switch off(false);  // from here on, a raise (a full stack) reports nothing
    Cell args[6];
    args[0] = event_word(std::countr_zero(bit));
    args[1] = code ? *code : *none::shared();
    args[2] = Cell{static_cast<uint32_t>(T::Integer), 0, static_cast<uint32_t>(offset_of(code, at)), 0};
    args[3] = value ? *value : *none::shared();
    args[4] = ref ? *ref : *none::shared();
    args[5] = Cell{static_cast<uint32_t>(T::Pair), 0, stack::index_of(stack::g_args.base),
                   stack::index_of(stack::g_args.top)};
    Cell* const top = stack::g_args.top;
    const uint32_t depth = frames::depth();
    stack::reserve();  // the cell at the top may hold the value being reported
    const InCallback in_callback;
    interp::call_aside(g_callback, &words::w::interp_callback, args, 6);
    stack::g_args.top = top;
    frames::set_depth(depth);
}

bool open(const Cell* callback) {
    if (g_active) return false;
    g_mask = mask_of(callback);
    *g_callback = *callback;
    g_active = true;
    hooks::g_tracing = true;
    watch::move();  // compiled code stops at its next check: traced runs are interpreted
    return true;
}

void send_init() { event(Event::Init, nullptr, -1, nullptr, nullptr); }

void close() {
    struct Closing {
        ~Closing() {
            *g_callback = *none::shared();
            hooks::g_tracing = false;
            g_active = false;
        }
    } closing;
    event(Event::End, nullptr, -1, nullptr, nullptr);
}

void init() {
    g_callback = word::keep(none::shared());
    g_active = false;
    hooks::g_tracing = false;
    g_mask = 0;
    g_in_callback = 0;
    hooks::g_tracer = hooks::Tracer{&report_error};
}

}  // namespace nuv::trace
