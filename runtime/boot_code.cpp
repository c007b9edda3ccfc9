// Marking boot code and binding its calls to the library object.
#include "runtime/boot_code.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "runtime/stack.h"
#include "runtime/watch.h"

namespace nuv::boot_code {

namespace {

using T = TypeId;

NodeId g_library = 0;

// The values a walk goes into: blocks and their kin, function bodies, object values.
bool enters(T t) { return series::is_any_block(t) || t == T::Function || object::has_object_layout(t); }

// One walk over values, each block and context entered once (`seen(node, is_context)` answers
// whether it was met before and records it). `block` gets each block entered; the cells it leaves are pushed
// onward when they are values a walk enters. The global context is never entered: a walk that
// meets `system/words` does not go through every global again.
template <class Seen, class Block>
void walk(std::vector<Cell>& work, Seen&& seen, Block&& block) {
    while (!work.empty()) {
        const Cell c = work.back();
        work.pop_back();
        const T t = cell::type_of(&c);
        if (series::is_any_block(t)) {
            const NodeId node = cell::node(&c);
            if (node == 0 || seen(node, false)) continue;
            block(node);
            const Cell* cells = block::raw_cells(node);
            for (int32_t k = 0, n = block::count(node); k < n; k++)
                if (enters(cell::type_of(&cells[k]))) work.push_back(cells[k]);
        } else if (t == T::Function) {
            if (function::info_node(&c) == 0) continue;
            const Cell body = function::body_of(&c);
            if (cell::is(&body, T::Block)) work.push_back(body);
        } else if (object::has_object_layout(t)) {
            const NodeId ctx = object::context_of(&c);
            if (ctx == 0 || ctx == context::global() || context::values_on_stack(ctx) ||
                seen(ctx, true))
                continue;
            const NodeId values = context::cell_of(ctx)->w2;
            if (values == 0) continue;
            const Cell* cells = block::raw_cells(values);
            for (int32_t k = 0, n = block::count(values); k < n; k++)
                if (enters(cell::type_of(&cells[k]))) work.push_back(cells[k]);
        }
    }
}

}  // namespace

void mark(const Cell* value) {
    std::vector<Cell> work{*value};
    std::unordered_set<NodeId> contexts;
    walk(
        work,
        [&](NodeId node, bool is_context) {
            if (is_context) return !contexts.insert(node).second;
            if (is_marked(node)) return true;
            memory::buf(node)->flags |= memory::kBootCode;
            return false;
        },
        [](NodeId) {});
}

void seal() {
    const NodeId global = context::global();
    if (global == 0) return;
    const int32_t count = std::min(context::word_count(global), block::count(context::g_global_values));
    int32_t callables = 0;
    for (int32_t i = 0; i < count; i++)
        callables += native::is_any_function(cell::type_of(context::values_at(global, i)));
    stack::Mark mark;
    Cell* library = object::make_empty(stack::push(none::shared()), callables);
    std::vector<int32_t> slot_of(static_cast<size_t>(count), -1);
    for (int32_t i = 0; i < count; i++) {
        const Cell value = *context::values_at(global, i);
        if (!native::is_any_function(cell::type_of(&value))) continue;
        const SymId sym = word::symbol_of(context::word_at(global, i));
        slot_of[static_cast<size_t>(i)] = object::add_field(library, sym, &value);
    }
    const NodeId lib = object::context_of(library);
    word::keep(library);
    mark.restore();
    g_library = lib;
    // Compiled units speculate on the library's callables: every write into it moves the epoch
    // (through a word, or into its values as a block).
    context::g_library_node = lib;
    watch::watch_series(context::cell_of(lib)->w2);
    watch::move();  // units that speculated on an earlier library object read it no more

    // No allocation from here on: the cells read stay where they are.
    std::vector<Cell> work;
    for (int32_t i = 0; i < count; i++) work.push_back(*context::values_at(global, i));
    std::unordered_set<NodeId> seen;
    walk(
        work, [&](NodeId node, bool) { return !seen.insert(node).second; },
        [&](NodeId node) {
            if (!is_marked(node)) return;
            const Cell* cells = block::raw_cells(node);
            for (int32_t k = 0, n = block::count(node); k < n; k++) {
                const Cell& w = cells[k];
                const T t = cell::type_of(&w);
                if ((t != T::Word && t != T::GetWord) || w.w1 != global || w.w3 >= static_cast<uint32_t>(count))
                    continue;
                const int32_t slot = slot_of[w.w3];
                if (slot < 0) continue;
                Cell bound = w;
                bound.w1 = lib;
                bound.w3 = static_cast<uint32_t>(slot);
                block::write_cells(node)[k] = bound;
                cells = block::raw_cells(node);
            }
        });
}

NodeId library() { return g_library; }

}  // namespace nuv::boot_code
