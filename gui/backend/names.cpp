// Interning the GUI's names in their fixed order.
#include "gui/backend/names.h"

#include <iterator>

#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"

namespace nuv::gui::names {

namespace {

#define NUV_GUI_TEXT(name, text) text,
constexpr const char* kSymbolTexts[] = {NUV_GUI_SYMBOLS(NUV_GUI_TEXT)};
constexpr const char* kWordTexts[] = {NUV_GUI_WORDS(NUV_GUI_TEXT)};
#undef NUV_GUI_TEXT
static_assert(std::size(kSymbolTexts) == kSymbolCount);
static_assert(std::size(kWordTexts) == kWordCount);

}  // namespace

const char* symbol_text(SymIndex i) { return kSymbolTexts[static_cast<int>(i)]; }
const char* word_text(WordIndex i) { return kWordTexts[static_cast<int>(i)]; }

void init() {
    for (int i = 0; i < kSymbolCount; i++) g_symbols[i] = symbol::make_cstr(kSymbolTexts[i]);
    for (int i = 0; i < kWordCount; i++) g_words[i] = *word::make_global(kWordTexts[i]);
}

}  // namespace nuv::gui::names
