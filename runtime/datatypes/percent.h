// percent!: a float! whose text shows the value times 100 followed by "%" (0.5 is 50%). The
// cell is float!'s: words 2-3 hold the fraction. Every action but form and mold is float!'s.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::percent {

inline void set(Cell* c, double d) {
    c->header = static_cast<uint32_t>(TypeId::Percent);
    c->w1 = 0;
    cell::set_double(c, d);
}
inline double get(const Cell* c) { return cell::get_double(c); }
Cell* push(double d);  // a new argument-stack cell
Cell* push_halves(uint32_t low, uint32_t high);
// A new percent! at the block's tail; valid until the next allocation.
Cell* make_in_halves(Cell* block, uint32_t low, uint32_t high);
Cell* set_result(double d);  // arguments[0] becomes the percent!

// Form and mold are the same text.
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);

extern const TypeRecord kRecord;
void init();  // after float!'s, whose slots it takes

}  // namespace nuv::percent
