// value-compare: one table maps each operation code to how the slot's answer reads as truth.
#include "runtime/evaluator/compare.h"

#include <iterator>

#include "runtime/datatypes/registry.h"
#include "runtime/errors.h"

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

}  // namespace nuv::compare
