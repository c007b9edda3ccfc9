// Raising errors: the raised record and the catalogue's words.
#include "runtime/errors.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "runtime/frames.h"
#include "runtime/hooks.h"

namespace nuv {

namespace {
RaisedError g_raised{};
Cell g_no_value{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
Cell* g_value = &g_no_value;
ErrorMaker g_maker = nullptr;
bool g_making = false;

// Makes the error! value of the record just raised. A raise while making it (no memory, a
// catalogue that user code broke) leaves none! and the record of the first raise.
void make_value() {
    if (!g_maker || g_making) return;
    const RaisedError record = g_raised;
    struct Making {
        Making() { g_making = true; }
        ~Making() { g_making = false; }
    } making;
    try {
        g_maker(record, g_value);
    } catch (const Unwind&) {
        *g_value = g_no_value;
        g_raised = record;
    }
}

// Reports the error about to be unwound to the trace run. Its callback may raise and take
// errors of its own: the record and the value of this raise are put back after it.
void report_to_tracer(const Cell* error) {
    if (!hooks::g_tracing || !hooks::g_tracer.error) return;
    const RaisedError record = g_raised;
    const Cell held = *error;
    hooks::g_tracer.error(&held);
    g_raised = record;
    if (g_maker) *g_value = held;
}
}  // namespace

const char* err_category_word(ErrCategory c) {
    switch (c) {
#define NUV_ERR_CAT_WORD(i, name, word, title) \
    case ErrCategory::name: return word;
        NUV_ERROR_CATEGORIES(NUV_ERR_CAT_WORD)
#undef NUV_ERR_CAT_WORD
    }
    return "";
}

const char* err_word(Err e) {
    switch (e) {
#define NUV_ERR_WORD(code, cat, name, word, ...) \
    case Err::name: return word;
        NUV_ERROR_IDS(NUV_ERR_WORD)
#undef NUV_ERR_WORD
    }
    return "";
}

const RaisedError& raised() { return g_raised; }
void forget_raised() { g_raised = RaisedError{}; }
const Cell* raised_value() { return g_value; }

void set_error_maker(ErrorMaker maker, Cell* out) {
    g_maker = maker;
    g_value = out ? out : &g_no_value;
}

void fire(Err id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    g_raised.id = id;
    g_raised.argc = 0;
    for (const Cell* a : {arg1, arg2, arg3}) {
        if (!a) break;
        g_raised.args[g_raised.argc++] = *a;
    }
    // A raise while the value of another is being made is that maker's own business: it
    // takes the record back without unwinding any frame.
    if (g_making) throw Unwind{UnwindKind::Error, 0};
    make_value();
    if (hooks::g_tracing) [[unlikely]] report_to_tracer(g_value);
    frames::error_unwind(g_value);
}

void fire_int(Err id, int32_t value) {
    Cell c{static_cast<uint32_t>(TypeId::Integer), 0, static_cast<uint32_t>(value), 0};
    fire(id, &c);
}

void fire_value(const RaisedError& record, const Cell* error) {
    const Cell held = *error;
    g_raised = record;
    if (g_maker) *g_value = held;
    if (hooks::g_tracing) [[unlikely]] report_to_tracer(&held);
    frames::error_unwind(&held);
}

void fatal(const char* message, int status) {
    std::fflush(stdout);
    std::fprintf(stderr, "*** Runtime Error: %s\n", message);
    std::fflush(stderr);
    std::_Exit(status);
}

}  // namespace nuv
