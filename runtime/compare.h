// value-compare: the truth of a comparison, through the compare slot of the first value's type,
// the ordering that sorting uses, and the comparison natives' common body.
#pragma once
#include "runtime/actions.h"
#include "runtime/cell.h"

namespace nuv::compare {

// True when `a op b` holds. Values that cannot be compared are unequal, and ordering them
// raises script invalid-compare. The sort codes are not accepted (script invalid-arg): sort
// comparators call value_compare_sort.
bool value_compare(Cell* a, Cell* b, CompareOp op);

// The order of a before b as -1, 0 or 1: logic! by truth (false first), native!, action! and
// op! by their table index, function! and routine! by their body, any other type through its
// compare slot with the code. Values that cannot be compared are unequal under an equality code
// and raise script invalid-compare under an ordering one.
int32_t value_compare_sort(Cell* a, Cell* b, CompareOp op);

// Equality under an equality code through a's compare slot; a type without a compare slot is
// equal only to the same payload. May allocate (a compare slot may).
bool values_equal(Cell a, Cell b, CompareOp op);

// arguments[0] op arguments[1] as a logic! in arguments[0].
void compare_to_logic(CompareOp op);

}  // namespace nuv::compare
