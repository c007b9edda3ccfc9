// routine!: a function whose body is C++ code of the runtime, reached through the routine table.
// The cell has the function! layout (word 1 the context made from the spec, word 2 the spec
// block's node, word 3 the five-cell information block) with the argument count in header bits
// 25-29. Information cell 3 holds the 1-based index of the routine's C++ entry in the routine
// table, not a machine address, since no cell word holds one; cell 5 the maker's integer (the
// return kind for the runtime's routines).
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::routine {

inline constexpr uint32_t kMakerFlag = 0x8000;
inline constexpr uint32_t kArgCountShift = 25;
inline constexpr int32_t kMaxArgs = 31;
inline constexpr uint32_t kArgCountMask = static_cast<uint32_t>(kMaxArgs) << kArgCountShift;

// The number of word! items of the spec (arguments, refinement arguments and locals).
inline int32_t arg_count(const Cell* routine) {
    return static_cast<int32_t>((routine->header & kArgCountMask) >> kArgCountShift);
}
// The routine-table index and the maker's integer kept in the information block.
int32_t entry_of(const Cell* routine);
int32_t second_of(const Cell* routine);

// Pushes a new routine! over the spec (from its index; copied when that is not 0) and answers
// it. The spec is not validated and the body (nullptr for none) is stored as it is, neither
// copied nor bound. A spec with more than kMaxArgs words raises script bad-func-def naming it.
// Allocates.
Cell* make_value(const Cell* spec, const Cell* body, int32_t entry, int32_t second, bool flag);

// ---- Slots (reflect is function!'s) ----

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// A routine equals only copies of itself; ordering codes are not comparable.
int32_t compare(Cell* a, Cell* b, CompareOp op);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::routine
