// Argument checks and checked conversions shared by the datatypes and compiled code.
#include "runtime/support.h"

#include <cmath>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"

namespace nuv {

void fire_expect_arg(TypeId type) {
    Cell none{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
    Cell datatype{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(type), 0, 0};
    fire(Err::ExpectArg, &none, &datatype, &none);
}

bool typeset_has(const Cell* typeset, int type) {
    uint8_t bytes[12];
    std::memcpy(bytes, &typeset->w1, sizeof bytes);
    if (type < 0 || type >= 96) return false;
    return (bytes[type >> 3] & (0x80 >> (type & 7))) != 0;
}

Cell* type_check(const Cell* typeset, int32_t, Cell* value) {
    if (!typeset_has(typeset, static_cast<int>(cell::type_of(value))))
        fire_expect_arg(cell::type_of(value));
    return value;
}

Cell* type_check_arg(int32_t slot, const Cell* typeset, int32_t spec_index) {
    Cell* value = stack::arg(slot < 0 ? 0 : slot);
    if (slot < 0) return value;
    return type_check(typeset, spec_index, value);
}

Cell* type_check_opt(const Cell* refinement, const Cell* typeset, int32_t spec_index, Cell* value) {
    if (refinement->w1 == 0) return value;
    return type_check(typeset, spec_index, value);
}

Cell* check_not_unset(int32_t, Cell* value) {
    if (cell::is(value, TypeId::Unset)) fire_expect_arg(TypeId::Unset);
    return value;
}

int32_t float_to_int_checked(const Cell* value) {
    if (!cell::is(value, TypeId::Float)) return cell::get_int(value);
    double d = cell::get_double(value);
    if (std::isnan(d) || d > 2147483647.0 || d < -2147483648.0) {
        Cell copy = *value;
        fire(Err::OutOfRange, &copy);
    }
    return static_cast<int32_t>(d);  // in range: truncation toward zero is defined
}

void fire_bad_make(TypeId type, const Cell* spec) {
    Cell datatype{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(type), 0, 0};
    Cell copy = *spec;
    fire(Err::BadMakeArg, &datatype, &copy);
}

uint8_t* fill_pattern(uint8_t* target, size_t total, size_t pattern) {
    if (pattern == 0 || total <= pattern) return target + total;
    size_t filled = pattern;
    while (filled < total) {
        size_t run = filled < total - filled ? filled : total - filled;
        std::memcpy(target + filled, target, run);
        filled += run;
    }
    return target + total;
}

}  // namespace nuv
