// block!: a series of value cells. The cell (shared by paren!, the path types, hash! and map!'s
// body): word 1 the head index in cells from the buffer's `offset`, word 2 the node, word 3 the
// hash index or 0. A stored head may lie beyond the tail; readers clamp it.
// Block and value arguments may lie in any buffer: they are read before anything allocates. A
// block cell that a function rewrites after allocating must not lie in a collected buffer (use
// the argument stack, an external block or a local). External blocks never move nor grow.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/memory.h"
#include "runtime/watch.h"

namespace nuv::block {

// ---- Positions: an index counts cells from the buffer's first used cell ----

inline int32_t count(NodeId node) {
    return static_cast<int32_t>(memory::buf(node)->used() / sizeof(Cell));
}
// The first used cell, for reading; valid until the next allocation.
inline const Cell* raw_cells(NodeId node) {
    return reinterpret_cast<const Cell*>(memory::buf(node)->offset_ptr());
}
// The first used cell, for writing: the one way to a block's cells that may change them (the
// editing helpers below and the series actions take the barrier themselves). The write must
// follow at once, with no code run in between. Valid until the next allocation.
inline Cell* write_cells(NodeId node) {
    watch::series_written(node);
    return reinterpret_cast<Cell*>(memory::buf(node)->offset_ptr());
}
// A copy of cell `index` (unchecked), safe to hand to a slot that may allocate.
inline Cell at(NodeId node, int32_t index) { return raw_cells(node)[index]; }
// The block's head pulled into 0 .. count, the cell itself unchanged.
inline int32_t head_index(const Cell* block) {
    int32_t head = cell::head(block);
    int32_t n = count(cell::node(block));
    return head < 0 ? 0 : head > n ? n : head;
}

// ---- Cell access, read-only: no allocation; pointers are valid until the next allocation ----

// Tail index minus head, in cells; negative when the head lies beyond the tail.
int32_t rs_length(const Cell* block);
// The head cell; a head beyond the tail is first rewritten to the tail index (a negative one
// to 0).
const Cell* rs_head(Cell* block);
const Cell* rs_tail(const Cell* block);
bool rs_is_tail(const Cell* block);  // the head is exactly the tail
// Cell `index` from the buffer's first used cell, unchecked.
const Cell* rs_abs_at(const Cell* block, int32_t index);
// Moves the head on one cell when it lies before the tail (a head beyond the tail comes back to
// it); answers whether it is now the tail.
bool next(Cell* block);
// These three change the length: each takes the write barrier.
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

// ---- Editing: none of these notifies owners; each takes the write barrier; each may allocate ----

// Raises internal not-done for a map! body: its index cannot follow edits yet.
void check_no_index(const Cell* block);
// Room for `cells` cells from the buffer's first used cell: the buffer grows to exactly that,
// or to twice that with `doubling`. An external block that runs out of room is fatal. Returns
// the (possibly moved) buffer.
memory::SeriesBuf* ensure_room(NodeId node, int64_t cells, bool doubling);

// One unset! cell at the tail, the buffer doubling when full; valid until the next allocation.
Cell* alloc_tail(const Cell* block);
// A copy of the value in a new tail cell; returns that cell (valid until the next allocation).
Cell* append_cell(const Cell* block, const Cell* value);
// Appends copies of the source's cells from its head to its tail; returns the block.
Cell* append_all(Cell* block, const Cell* source);
// Inserts a copy at the head (at the first cell with at_start); with advance the head moves on
// one cell. Returns the block. A hash! keeps its index in step here and in the helpers below.
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
const Cell* select_value(const Cell* block, const Cell* value);
// The cell after the first word!, set-word!, lit-word! or get-word! from the head spelled as
// the word (any letter case unless case_), or the shared none cell when absent or last. No
// allocation.
const Cell* find_word(const Cell* block, const Cell* word, bool case_);
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
// with its copy made by the copy action (copy/types), passing the types on when `deep`. The
// replacement keeps the header (type and new-line marker) of the cell it replaces.
void copy_types(NodeId node, int32_t first, int32_t end, int32_t step, bool deep,
                const Cell* types);

// ---- Actions: the block! slots (paren!, the path types and hash! inherit most of them) ----
// Series and value arguments are argument-stack or local cells: slots that write a result
// into their first argument do so after allocating. Every modifying slot tells the series'
// owner before and after the change. A hash! keeps its index in step with every change.

// make: an any-block spec gives a shallow copy, a number an empty block with that much room;
// the result (in `proto`) gets the target type. to: as make for any-blocks, a typeset! gives its
// datatypes, any other value a block holding it.
Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
// The values formed, separated by a space (none after a line feed, carriage return or tab).
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// The values from the head molded with the new-line layout: a marker on the first value opens
// an indented body (unless `only`), a marker on a later value breaks the line; `flat` ignores
// the markers. Serves the mold of block!, paren! and hash!.
int32_t mold_each(Cell* block, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                  int32_t budget, int32_t indent);
// An integer! element picks or pokes; a word! reads the value after that word; any other
// element reads the value after an equal one. Setting a key the block lacks raises script
// bad-path-set. A value read is a cell of the block, valid until the next allocation.
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
int32_t compare(Cell* a, Cell* b, CompareOp op);
// Element by element from both heads, the shorter block first on a common prefix; under the
// equality codes blocks of different lengths answer 1 at once.
int32_t compare_each(Cell* a, Cell* b, CompareOp op);
// append (append flag) and insert: the value's cells (or the value with only), capped by
// part (-1: no cap), repeated dup times. append answers the series at head 0, insert after
// the new cells.
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types);
// The series cell with its head at the match, or the shared none cell.
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
// The cell after the match (a cell of the block, valid until the next allocation), or none.
const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                   bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
// Sorts a copy of the records outside collected memory (compare slots may allocate) and writes
// it back, so an error leaves the block as it was. A compare function needs the evaluator.
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable);
Cell* swap(Cell* a, Cell* b);
// Without part, a taken block of one value answers that value. The result is the series cell.
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

// unique, union, intersect, exclude, difference on arguments[0] (and arguments[1]): records of
// `skip` cells (nullptr: 1) keyed by their first cell, strictly compared with case. The result,
// a new block! at head 0, replaces arguments[0].
void set_op(bool case_, Cell* skip, SetOp code);

// Counters for complexity tests.
struct Counters {
    uint64_t sort_comparisons;
    uint64_t scanned;  // cells find, select and put compared by scanning
};
Counters& counters();

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::block
