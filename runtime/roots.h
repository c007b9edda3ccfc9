// The root block and the two switches that steer start-up: auto-root (words made while it is
// on are kept in the root block) and the collector switch (the collector and the relocation
// stress run only while it is on). The root block anchors what start-up makes: the stacks and
// the symbol block are its first cells, then the values of the boot image.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/cell.h"

namespace nuv::roots {

bool auto_root();
void set_auto_root(bool on);
bool collector_on();
void set_collector_on(bool on);

// The anchor cell that holds the root block (it has no parent block).
Cell* root();
inline constexpr int32_t kRootCells = 9748;
// Root value #index: a cell of the root block, valid until the root block grows (it lives
// outside the collected frames and never moves otherwise). An index past the roots ends the
// process with a runtime error, as it names no value at all. No allocation.
const Cell* root_cell(int32_t index);
// The node of root value #index: an object's context, else the series of a root series.
NodeId root_node(int32_t index);
inline constexpr int32_t kSymbolCells = 4000;

// The root index of each top-level value of the boot image, in order: runtime-init decodes the
// image into the root block. Empty in a runtime without an image.
const std::vector<int32_t>& image_roots();
// The list above, for runtime-init to fill as it decodes the image.
std::vector<int32_t>* image_roots_to_fill();

}  // namespace nuv::roots
