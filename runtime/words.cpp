// Interning the runtime's names in their fixed order.
#include "runtime/words.h"

#include <iterator>

#include "runtime/datatypes/issue.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"

namespace nuv::words {

namespace {

#define NUV_WORDS_TEXT(name, text) text,
constexpr const char* kSymbolTexts[] = {NUV_RUNTIME_SYMBOLS(NUV_WORDS_TEXT)};
constexpr const char* kWordTexts[] = {NUV_RUNTIME_WORDS(NUV_WORDS_TEXT)
                                          NUV_NOTICE_WORDS(NUV_WORDS_TEXT)
                                              NUV_EVENT_WORDS(NUV_WORDS_TEXT)
                                                  NUV_ERROR_WORDS(NUV_WORDS_TEXT)};
constexpr const char* kRefinementTexts[] = {NUV_RUNTIME_REFINEMENTS(NUV_WORDS_TEXT)};
#undef NUV_WORDS_TEXT
static_assert(std::size(kSymbolTexts) == kSymbolCount);
static_assert(std::size(kWordTexts) == kWordCount);
static_assert(std::size(kRefinementTexts) == kRefinementCount);

}  // namespace

const char* symbol_text(SymIndex i) { return kSymbolTexts[static_cast<int>(i)]; }
const char* word_text(WordIndex i) { return kWordTexts[static_cast<int>(i)]; }

void init() {
    for (int i = 0; i < kSymbolCount; i++) g_symbols[i] = symbol::make_cstr(kSymbolTexts[i]);
    for (int i = 0; i < kWordCount; i++) g_words[i] = *word::make_global(kWordTexts[i]);
    g_changed_symbol = w::changed.w2;
    for (int i = 0; i < kRefinementCount; i++)
        g_refinements[i] = *word::refinement_make_cstr(kRefinementTexts[i]);
    issue::make_at_cstr(&g_issue, "ooo");
}

}  // namespace nuv::words
