// percent!: a float! whose text shows the value times 100 followed by "%" (0.5 is 50%). The
// cell is float!'s: words 2-3 hold the fraction. Every action but form and mold is float!'s.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/registry.h"

namespace nuv::percent {

inline void set(Cell* c, double d) { floating::set_typed(c, TypeId::Percent, d); }
inline double get(const Cell* c) { return cell::get_double(c); }
// A new argument-stack cell.
inline Cell* push(double d) { return floating::push_typed(TypeId::Percent, d); }
inline Cell* push_halves(uint32_t low, uint32_t high) {
    return floating::push_halves_typed(TypeId::Percent, low, high);
}
// A new percent! at the block's tail; valid until the next allocation.
inline Cell* make_in_halves(Cell* block, uint32_t low, uint32_t high) {
    return floating::make_in_halves_typed(block, TypeId::Percent, low, high);
}
// arguments[0] becomes the percent!
inline Cell* set_result(double d) { return floating::set_result_typed(TypeId::Percent, d); }

// Form and mold are the same text.
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);

extern const TypeRecord kRecord;
void init();  // after float!'s, whose slots it takes

}  // namespace nuv::percent
