// block!: a series of value cells. The cell (shared by paren!, the path types, hash! and map!'s
// body): word 1 the head index in cells from the buffer's `offset`, word 2 the node, word 3 the
// hash index or 0. A stored head may lie beyond the tail; readers clamp it.
// Block and value arguments may lie in any buffer: they are read before anything allocates. A
// block cell that a function rewrites after allocating must not lie in a collected buffer (use
// the argument stack, an external block or a local). External blocks never move nor grow.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::block {

// ---- Cell access: no allocation; returned pointers are valid until the next allocation ----

// Tail index minus head, in cells; negative when the head lies beyond the tail.
int32_t rs_length(const Cell* block);
// The head cell; a head beyond the tail is first rewritten to the tail index (a negative one
// to 0).
Cell* rs_head(Cell* block);
Cell* rs_tail(const Cell* block);
bool rs_is_tail(const Cell* block);  // the head is exactly the tail
// Cell `index` from the buffer's first used cell, unchecked.
Cell* rs_abs_at(const Cell* block, int32_t index);
// Moves the head on one cell when it lies before the tail (a head beyond the tail comes back to
// it); answers whether it is now the tail.
bool next(Cell* block);
void clear(Cell* block);                     // the tail comes back to the head
void clear_from(Cell* block, int32_t index);  // the tail comes back to cell `index` (never on)
void remove_last(Cell* block);

// ---- Constructors: each allocates ----

// The cell becomes an empty block! with room for `size` cells (at least 1) in collected memory.
Cell* make_at(Cell* cell, int32_t size);
// The same; `outside` puts the cells in a tracked buffer outside the frames that never moves
// and never grows, left uninitialised; otherwise the room is filled with unset! cells.
Cell* make_at_ext(Cell* cell, int32_t size, bool outside);
// A block of `size` cells outside the frames, in a new cell at the parent's tail, or in the
// runtime's anchor cell when parent is nullptr. Returns the cell (valid until the next
// allocation when the parent is collected).
Cell* make_external(Cell* parent, int32_t size);
// The same with the cells in collected memory.
Cell* make_in(Cell* parent, int32_t size);
Cell* push(const Cell* block);  // a copy of the block value on the argument stack
Cell* push_new(int32_t size);   // a new empty block on the argument stack

// ---- Editing: none of these notifies owners; each may allocate ----

// One unset! cell at the tail, the buffer doubling when full; valid until the next allocation.
Cell* alloc_tail(const Cell* block);
// A copy of the value in a new tail cell; returns that cell (valid until the next allocation).
Cell* append_cell(const Cell* block, const Cell* value);
// Appends copies of the source's cells from its head to its tail; returns the block.
Cell* append_all(Cell* block, const Cell* source);
// Inserts a copy at the head (at the first cell with at_start); with advance the head moves on
// one cell. Returns the block.
Cell* insert_value(Cell* block, const Cell* value, bool advance, bool at_start);
// Inserts the source's cells at the head in their order; the head moves past them.
void insert_each(Cell* block, const Cell* source);
// arguments[1] appended to the block in arguments[0]; returns arguments[0].
Cell* append_arg1();
// arguments[0] appended to (append_arg) or inserted with advance at the head of (append_stack)
// the block in the cell just below the arguments base; returns that block cell.
Cell* append_arg();
Cell* append_stack();
// The cell after the first one from the head that equals the value under find-equality (the
// value's compare slot, the value first); the shared none cell when absent or last. A cell of
// the block is valid until the next allocation.
Cell* select_value(const Cell* block, const Cell* value);
// The cell after the first word-type cell with the word's symbol; needs the symbol table.
Cell* find_word(const Cell* block, const Cell* word, bool case_);
// Removes the first cell from the head (from the first cell with from_start) equal to the value
// under find-equality. Returns 0 when nothing was removed, else the removed cell's index from
// the first cell plus 1 (so a caller can tell whether it lay at or after the head).
int32_t remove_value(Cell* block, const Cell* value, bool from_start);
// Pushes a new block! holding copies of the cells from the head to the tail. With deep, nested
// block! values are copied too, and with any_block paren! and path values as well; a nested copy
// keeps the header of the value it replaces. A block that contains itself raises internal
// no-cycle. Returns the pushed cell.
Cell* copy_deep(const Cell* block, bool deep, bool any_block);
// Replaces each cell at indexes first, first + step, ... below end of the block buffer `node`
// whose type is named by `types` (a datatype! or a typeset!) and which is a series or an object
// with its copy (copy/types); the copy action is not built yet.
void copy_types(NodeId node, int32_t first, int32_t end, int32_t step, bool deep,
                const Cell* types);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::block
