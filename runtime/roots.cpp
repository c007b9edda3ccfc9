// The root block's anchor, the image's root indexes and the two start-up switches: plain state
// that runtime-init sets and the collector, the memory manager and the datatypes read.
#include "runtime/roots.h"

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/object.h"
#include "runtime/errors.h"

namespace nuv::roots {

namespace {

bool g_auto_root = false;
std::vector<int32_t> g_image_roots;
bool g_collector_on = false;
Cell g_root_anchor{};

}  // namespace

bool auto_root() { return g_auto_root; }
void set_auto_root(bool on) { g_auto_root = on; }
bool collector_on() { return g_collector_on; }
void set_collector_on(bool on) { g_collector_on = on; }
Cell* root() { return &g_root_anchor; }

const Cell* root_cell(int32_t index) {
    const NodeId held = cell::node(&g_root_anchor);
    if (held == 0 || index < 0 || index >= block::count(held)) fatal("root-cell past the roots", 1);
    return &block::raw_cells(held)[index];
}

NodeId root_node(int32_t index) {
    const Cell* value = root_cell(index);
    const TypeId t = cell::type_of(value);
    const bool context = t == TypeId::Object || t == TypeId::Error || t == TypeId::Port;
    return context ? object::context_of(value) : cell::node(value);
}

const std::vector<int32_t>& image_roots() { return g_image_roots; }
std::vector<int32_t>* image_roots_to_fill() { return &g_image_roots; }

}  // namespace nuv::roots
