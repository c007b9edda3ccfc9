// value-compare: one table maps each operation code to how the slot's answer reads as truth.
#include "runtime/compare.h"

#include <iterator>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/registry.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace nuv::compare {

namespace {

enum class Reading : uint8_t { Invalid, IsZero, NotZero, Less, LessOrEqual, Greater, GreaterOrEqual };

// Indexed by operation code.
constexpr Reading kReadings[] = {
    Reading::IsZero,          // equal
    Reading::NotZero,         // not-equal
    Reading::IsZero,          // strict-equal
    Reading::Less,            // lesser
    Reading::LessOrEqual,     // lesser-or-equal
    Reading::Greater,         // greater
    Reading::GreaterOrEqual,  // greater-or-equal
    Reading::Invalid,         // sort order, case-insensitive
    Reading::Invalid,         // sort order, case-sensitive
    Reading::IsZero,          // same
    Reading::IsZero,          // words, case-sensitive
    Reading::IsZero,          // words
    Reading::IsZero,          // find-equal
};

}  // namespace

bool value_compare(Cell* a, Cell* b, CompareOp op) {
    auto code = static_cast<uint32_t>(op);
    Reading reading = code < std::size(kReadings) ? kReadings[code] : Reading::Invalid;
    if (reading == Reading::Invalid) fire_int(Err::InvalidArg, static_cast<int32_t>(code));
    int32_t answer = lookup<&ActionRow::compare>(a, ActionId::Compare)(a, b, op);
    bool ordering = reading >= Reading::Less;
    if (answer == kNotComparable && ordering) fire(Err::InvalidCompare, a, b);
    switch (reading) {
    case Reading::IsZero: return answer == 0;
    case Reading::NotZero: return answer != 0;
    case Reading::Less: return answer < 0;
    case Reading::LessOrEqual: return answer <= 0;
    case Reading::Greater: return answer > 0;
    case Reading::GreaterOrEqual: return answer >= 0;
    case Reading::Invalid: break;
    }
    return false;
}

bool values_equal(Cell a, Cell b, CompareOp op) {
    auto fn = registry::row(cell::type_of(&a)).compare;
    if (!fn)
        return cell::type_of(&a) == cell::type_of(&b) && a.w1 == b.w1 && a.w2 == b.w2 &&
               a.w3 == b.w3;
    return fn(&a, &b, op) == 0;
}

namespace {
int32_t sign(int64_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }
}  // namespace

int32_t value_compare_sort(Cell* a, Cell* b, CompareOp op) {
    TypeId t = cell::type_of(a);
    if (t == cell::type_of(b)) {
        switch (t) {
        case TypeId::Logic: return sign(static_cast<int64_t>(a->w1 != 0) - (b->w1 != 0));
        case TypeId::Native:
        case TypeId::Action:
        case TypeId::Op: return sign(static_cast<int64_t>(a->w1) - b->w1);
        case TypeId::Function:
        case TypeId::Routine: return sign(static_cast<int64_t>(a->w3) - b->w3);
        default: break;
        }
    }
    int32_t answer = lookup<&ActionRow::compare>(a, ActionId::Compare)(a, b, op);
    if (answer == kNotComparable) {
        bool ordering = op >= CompareOp::Lesser && op <= CompareOp::SortStrict;
        if (ordering) fire(Err::InvalidCompare, a, b);
        return 1;
    }
    return sign(answer);
}

void compare_to_logic(CompareOp op) {
    bool truth = value_compare(stack::arg(0), stack::arg(1), op);
    logic::set(stack::arg(0), truth);
}

}  // namespace nuv::compare
