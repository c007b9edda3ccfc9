// The table's free cells are integer! links (the next free cell's index, -1 at the end). Which
// cells hold values is kept apart in a bitmap, so that a slot freed twice or a number never
// handed out cannot put a cell on the free list twice.
#include "runtime/resource_slots.h"

#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/word.h"
#include "runtime/stack.h"

namespace nuv::resource_slots {

namespace {

Cell* g_table = nullptr;  // a root-block cell holding the table block
int32_t g_capacity = 0;
int32_t g_head = -1;
std::vector<bool> g_used;

// Chains every cell from `first` to the end into the free list and makes `first` the head.
void chain_from(int32_t first) {
    Cell* cells = block::write_cells(cell::node(g_table));
    for (int32_t i = first; i < g_capacity; i++)
        integer::set(&cells[i], i + 1 < g_capacity ? i + 1 : -1);
    g_head = first;
}

void grow_to(int32_t capacity) {
    const Cell link = Cell{static_cast<uint32_t>(TypeId::Integer), 0, 0, 0};
    const int32_t first = g_capacity;
    for (int32_t i = first; i < capacity; i++) block::append_cell(g_table, &link);
    g_capacity = capacity;
    g_used.resize(static_cast<size_t>(capacity), false);
    chain_from(first);
}

bool in_use(int32_t slot) {
    return slot >= 1 && slot <= g_capacity && g_used[static_cast<size_t>(slot - 1)];
}

}  // namespace

void init() {
    stack::Mark mark;
    Cell* table = block::push_new(kInitialCapacity);
    g_table = word::keep(table);
    mark.restore();
    g_capacity = 0;
    g_used.clear();
    grow_to(kInitialCapacity);
}

int32_t store(const Cell* value) {
    const Cell copy = *value;  // the value may live in a buffer that growing moves
    if (g_head < 0) grow_to(g_capacity * 2);
    const int32_t index = g_head;
    Cell* cells = block::write_cells(cell::node(g_table));
    g_head = integer::get(&cells[index]);
    cells[index] = copy;
    g_used[static_cast<size_t>(index)] = true;
    return index + 1;
}

const Cell* at(int32_t slot) {
    if (!in_use(slot)) return nullptr;
    return &block::raw_cells(cell::node(g_table))[slot - 1];
}

void free(int32_t slot) {
    if (!in_use(slot)) return;
    const int32_t index = slot - 1;
    integer::set(&block::write_cells(cell::node(g_table))[index], g_head);
    g_used[static_cast<size_t>(index)] = false;
    g_head = index;
}

int32_t capacity() { return g_capacity; }

}  // namespace nuv::resource_slots
