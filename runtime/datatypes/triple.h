// triple!: three signed 32-bit integers a, b, c in words 1-3 of the cell. The runtime gives it
// a text form only: no language action makes, computes with or compares one; the code that
// creates triples does so through set().
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::triple {

inline void set(Cell* c, int32_t a, int32_t b, int32_t d) {
    *c = Cell{static_cast<uint32_t>(TypeId::Triple), static_cast<uint32_t>(a),
              static_cast<uint32_t>(b), static_cast<uint32_t>(d)};
}

// "make triple! [a b c]"; mold is the same text whatever its flags.
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::triple
