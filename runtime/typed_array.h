// Typed arrays: small growable arrays of fixed-size items in ordinary series buffers, reached
// through their node, for the runtime's own bookkeeping (hash-table index lists, the GUI's
// lists of pointers). Not language values: the collector sees plain byte buffers. The items
// run from the buffer's `offset` to its `tail`; the unit bits of its flags give the item size.
// Indexes are 1-based for pick and poke, 0-based for insertion; finds and removals speak in
// byte offsets from the first item. Nothing checks an index: callers stay inside the array.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::typed_array {

inline constexpr uint32_t kByteUnit = 1;
inline constexpr uint32_t kIntUnit = 4;              // int32_t items and node ids
inline constexpr uint32_t kPtrUnit = sizeof(void*);  // machine pointers: 8 bytes

// A new empty array with room for `count` items of `unit` bytes. Allocates.
NodeId make(size_t count, uint32_t unit);
size_t length(NodeId array);
void clear(NodeId array);
// Keeps the first n - 1 items.
void truncate(NodeId array, size_t n);
// A new array holding the same items. Allocates.
NodeId copy(NodeId array);

// Appends at the tail, growing a full buffer (so each may allocate and move the buffer).
void append_byte(NodeId array, uint8_t value);
void append_int(NodeId array, int32_t value);
void append_int_node(NodeId array, NodeId value);
void append_ptr(NodeId array, const void* value);
// `bytes` must not point into a series buffer: the growth may move it.
void append_bytes(NodeId array, const void* bytes, size_t length);

uint8_t pick_byte(NodeId array, size_t index);
int32_t pick_int(NodeId array, size_t index);
void* pick_ptr(NodeId array, size_t index);
void poke_ptr(NodeId array, size_t index, const void* value);

// Moves the items from `index` (0-based, at most the length) up one and stores the value
// there; a buffer with fewer than 4 bytes free first doubles. May allocate.
void insert_int(NodeId array, size_t index, int32_t value);

// Byte offset of the first item equal to the value, or -1.
ptrdiff_t find_int(NodeId array, int32_t value);
ptrdiff_t find_ptr(NodeId array, const void* value);

// Removes `length` bytes at byte offset `offset`, moving the rest down.
void remove_bytes(NodeId array, size_t offset, size_t length);
// Removes the first item equal to the value; nothing when there is none.
void remove_ptr(NodeId array, const void* value);

}  // namespace nuv::typed_array
