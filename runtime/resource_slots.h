// Resource slots: a process-wide table through which code outside the language (a window of the
// GUI backend, say) holds a language value by a small number. The table is a block reachable
// from the roots, so a stored value lives while it is stored. Slot numbers are 1-based; 0 is no
// slot. A free cell links to the next free one, the last freed being reused first.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::resource_slots {

inline constexpr int32_t kInitialCapacity = 100;

// Makes the table with room for 100 values, all free. Runs once a runtime, with auto-rooting on.
void init();
// Stores a copy of the value and answers its slot; a full table doubles first. May allocate.
int32_t store(const Cell* value);
// The value of a slot in use, or nullptr for 0, a free slot or a number never handed out.
const Cell* at(int32_t slot);
// Frees the slot. Freeing 0, a free slot or a number never handed out changes nothing.
void free(int32_t slot);
int32_t capacity();

}  // namespace nuv::resource_slots
