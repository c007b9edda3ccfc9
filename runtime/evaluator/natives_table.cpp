// The natives table, filled at start-up from the one native list. The comparison natives are
// value-compare with their operation codes.
#include "runtime/evaluator/natives_table.h"

#include <iterator>

#include "runtime/actions.h"
#include "runtime/collector.h"
#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/errors.h"
#include "runtime/evaluator/natives_bind.h"
#include "runtime/evaluator/natives_control.h"
#include "runtime/evaluator/natives_core.h"
#include "runtime/evaluator/parse.h"
#include "runtime/evaluator/natives_eval.h"
#include "runtime/evaluator/natives_host.h"
#include "runtime/evaluator/natives_logic.h"
#include "runtime/evaluator/natives_loops.h"
#include "runtime/evaluator/natives_math.h"
#include "runtime/evaluator/natives_system.h"
#include "runtime/evaluator/natives_text.h"
#include "runtime/roots.h"

namespace nuv::natives {

namespace {

// equal? .. greater-or-equal?: both arguments take any value, so there is nothing to check.
template <CompareOp Op>
void compare_native(bool, const int32_t*) {
    compare::compare_to_logic(Op);
}

constexpr Entry kEntries[] = {
#define NUV_NATIVE_ENTRY(n, name, word, entry) &entry,
    NUV_NATIVES(NUV_NATIVE_ENTRY)
#undef NUV_NATIVE_ENTRY
};
static_assert(std::size(kEntries) == kNativeCount);

Entry g_table[kTableSlots];
int32_t g_filled = 0;  // slots in use; the next entry goes to slot g_filled
Cell* g_scratch = nullptr;

}  // namespace

void not_done(bool, const int32_t*) { fire(Err::NotDone); }

const char* native_word(NativeId id) {
    switch (id) {
#define NUV_NATIVE_WORD(n, name, word, entry) \
    case NativeId::name: return word;
        NUV_NATIVES(NUV_NATIVE_WORD)
#undef NUV_NATIVE_WORD
    }
    return "";
}

void init() {
    g_filled = 0;
    g_scratch = block::make_in(roots::root(), 32);
    register_entries(kEntries, kNativeCount);
}

void register_entries(const Entry* list, int32_t n) {
    if (n < 0 || n > kTableSlots - g_filled) fatal("natives table full", 1);
    for (int32_t i = 0; i < n; i++) g_table[g_filled++] = list[i];
}

Entry install(NativeId id, Entry entry) {
    const auto index = static_cast<int32_t>(id);
    if (index < 1 || index > g_filled) fatal("no such native slot", 1);
    const Entry before = g_table[index - 1];
    g_table[index - 1] = entry;
    return before;
}

int32_t count() { return g_filled; }
Entry entry(int32_t index) { return index >= 1 && index <= g_filled ? g_table[index - 1] : nullptr; }
Cell* scratch() { return g_scratch; }

}  // namespace nuv::natives
