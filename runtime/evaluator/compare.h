// value-compare: the truth of a comparison, through the compare slot of the first value's type.
#pragma once
#include "runtime/actions.h"
#include "runtime/cell.h"

namespace nuv::compare {

// True when `a op b` holds. Values that cannot be compared are unequal, and ordering them
// raises script invalid-compare. The sort codes are not accepted (script invalid-arg): sort
// comparators call the slots directly.
bool value_compare(Cell* a, Cell* b, CompareOp op);

}  // namespace nuv::compare
