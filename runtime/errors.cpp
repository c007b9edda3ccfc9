// Raising errors: the raised record and the catalogue's words.
#include "runtime/errors.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace nuv {

namespace {
RaisedError g_raised{};
}

const char* err_category_word(ErrCategory c) {
    switch (c) {
#define NUV_ERR_CAT_WORD(i, name, word) \
    case ErrCategory::name: return word;
        NUV_ERROR_CATEGORIES(NUV_ERR_CAT_WORD)
#undef NUV_ERR_CAT_WORD
    }
    return "";
}

const char* err_word(Err e) {
    switch (e) {
#define NUV_ERR_WORD(code, cat, name, word) \
    case Err::name: return word;
        NUV_ERROR_IDS(NUV_ERR_WORD)
#undef NUV_ERR_WORD
    }
    return "";
}

const RaisedError& raised() { return g_raised; }

void fire(Err id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    g_raised.id = id;
    g_raised.argc = 0;
    for (const Cell* a : {arg1, arg2, arg3}) {
        if (!a) break;
        g_raised.args[g_raised.argc++] = *a;
    }
    throw Unwind{UnwindKind::Error, 0};
}

void fire_int(Err id, int32_t value) {
    Cell c{static_cast<uint32_t>(TypeId::Integer), 0, static_cast<uint32_t>(value), 0};
    fire(id, &c);
}

void fatal(const char* message, int status) {
    std::fflush(stdout);
    std::fprintf(stderr, "*** Runtime Error: %s\n", message);
    std::fflush(stderr);
    std::_Exit(status);
}

}  // namespace nuv
