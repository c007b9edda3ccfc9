// The two truth tests of the conditionals and loops. Only none! and logic false are false;
// unset! is true under the plain test (if, unless, all, remove-each) and has no truth under the
// strict one (either, case, while, until).
#pragma once
#include "runtime/cell.h"
#include "runtime/datatypes/logic.h"
#include "runtime/errors.h"

namespace nuv::truth {

inline bool is_true(const Cell* value) { return logic::value_is_true(value, false, nullptr); }

// Raises script no-return for an unset! value.
inline bool is_true_strict(const Cell* value) {
    if (cell::is(value, TypeId::Unset)) fire(Err::NoReturn);
    return is_true(value);
}

// The same tests with the usual logic! condition decided without a call (the conditionals).
inline bool holds(const Cell* condition) {
    return cell::is(condition, TypeId::Logic) ? logic::get(condition) : is_true(condition);
}
inline bool holds_strict(const Cell* condition) {
    return cell::is(condition, TypeId::Logic) ? logic::get(condition) : is_true_strict(condition);
}

}  // namespace nuv::truth
