// The draw dialect's keywords, interned in their table order.
#include "gui/draw/words.h"

#include "runtime/datatypes/symbol.h"

namespace nuv::gui::draw::words {

namespace {
constexpr const char* kSpellings[kCount] = {
#define NUV_DRAW_SPELLING(name, text) text,
    NUV_DRAW_WORDS(NUV_DRAW_SPELLING)
#undef NUV_DRAW_SPELLING
};
}  // namespace

void init() {
    for (int i = 0; i < kCount; ++i) g_symbols[i] = symbol::resolve(symbol::make_cstr(kSpellings[i]));
    ++g_generation;
}

}  // namespace nuv::gui::draw::words
