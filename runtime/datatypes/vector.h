// vector!: a series of packed numbers of one element type. Word 1 is the head (in elements),
// word 2 the node of a buffer whose unit is the element size, word 3 the element type: char! or
// integer! of 1, 2 or 4 bytes, float! of 4 or 8, percent! of 8 (the fraction, as the percent!
// cell holds it). Elements are little-endian; 8- and 16-bit integers read back sign-extended,
// 8- and 16-bit chars zero-extended, 32-bit floats widened. Navigation, pick, poke, copy and
// the rest come from series!; arithmetic with a scalar changes the vector in place.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::vector {

// ---- Makers (each allocates; a cell given must not lie in a series buffer) ----

// The cell becomes an empty vector of the element type with room for `count` elements of
// `unit` bytes (at least one); a size beyond 32 bits raises internal no-memory.
Cell* make_at(Cell* cell, int64_t count, TypeId elem, uint32_t unit);

// ---- Elements ----

// The element type of a vector cell.
inline TypeId elem_type(const Cell* vec) { return static_cast<TypeId>(vec->w3); }
// Elements from the head to the tail (0 for a head past it).
int32_t length(const Cell* vec);
// The element at `address` as a value of the element type, in `out`.
void read_elem(const uint8_t* address, uint32_t unit, TypeId elem, Cell* out);
// A new argument-stack cell holding the element.
Cell* push_elem(const uint8_t* address, uint32_t unit, TypeId elem);
// Stores a char!/integer! (truncated to the unit) or float!/percent! (rounded to 32 bits for a
// unit of 4); another type raises script invalid-type with its datatype.
void set_elem(uint8_t* address, const Cell* value, uint32_t unit);
// Raises script invalid-arg with the value unless it belongs to the element type's class:
// char! and integer! values for char!/integer! vectors, float! and percent! for the others.
void check_class(const Cell* vec, const Cell* value);

// True when the element at `index` (from the buffer's first element) equals the value: a
// number of the element type's class compared by value; any other value never matches.
bool elem_equals(const Cell* vec, int32_t index, const Cell* value);

// Sorts as sort_records does, with the comparator (any function) ordering the records: it gets
// each record's first element as pick answers it, or with `whole` the records as vectors of
// this one's element type and unit. The vector is written once the sort is done, as far as it
// still reaches; an error raised by the comparator leaves it as it was. May allocate.
void sort_by_function(const Cell* vec, int32_t start, int32_t count, int32_t width,
                      const Cell* function, bool whole, bool reverse, bool stable);

// ---- Writers (each may allocate) ----

// Stores a value exactly of the element type at the tail (script invalid-arg otherwise).
void append_value(Cell* vec, const Cell* value);
// Stores a 32-bit value in 4 more bytes at the tail.
void append_int32(Cell* vec, int32_t value);
// Cuts the vector at its head.
void set_tail(Cell* vec);

// Sorts the `count` elements from `start` (buffer indexes) as records of `width` elements,
// ordered by the `keys` elements from `offset` within each record, by value (a NaN after every
// number), stable. Allocates outside the collected heap only.
void sort_records(const Cell* vec, int32_t start, int32_t count, int32_t width, int32_t offset,
                  int32_t keys, bool reverse);

// ---- Conversions and arithmetic ----

// Makes `block` (a cell outside series buffers) a block of the elements from the head, one
// value of the element type each.
void to_block(const Cell* vec, Cell* block);
// The element-wise operation of the scalar with each element from the head, in place: element
// op scalar, or scalar op element when `scalar_left`. Returns the vector. Integer elements wrap
// on overflow; divide and remainder by 0 raise math zero-divide, the smallest integer divided by
// -1 math overflow. Float elements take or, and, xor as script cannot-use.
Cell* scalar_op(ArithOp op, Cell* vec, const Cell* scalar, bool scalar_left);

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);
template <ArithOp Op>
void math_slot();
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);

// Registration: vector! under string!; init registers it.
extern const TypeRecord kRecord;
void init();

}  // namespace nuv::vector
