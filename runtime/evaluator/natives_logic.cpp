// same?, not, type? and the set operations. Identity reads payload words chosen per datatype
// from one table; the set operations hand both sets to the first set's datatype.
#include "runtime/evaluator/natives_logic.h"

#include <array>
#include <initializer_list>

#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/support.h"

namespace nuv::natives_logic {

namespace {

using T = TypeId;

// Which payload words make two values of one datatype the same.
enum class Identity : uint8_t {
    AllWords,  // words 1, 2 and 3
    Always,    // the type alone
    Word1,     // the type id, the truth value, the context
    Word2,     // the code point, the number, the series node
    Position,  // index and series node (words 1 and 2)
    Bits64,    // the 64 payload bits of words 2 and 3
};

constexpr std::array<Identity, kTypeSlots> kIdentity = [] {
    std::array<Identity, kTypeSlots> table{};
    const auto put = [&table](Identity how, std::initializer_list<T> types) {
        for (T t : types) table[static_cast<int>(t)] = how;
    };
    put(Identity::Always, {T::Unset, T::None});
    put(Identity::Word1, {T::Datatype, T::Logic, T::Object});
    put(Identity::Word2, {T::Char, T::Integer, T::Bitset});
    put(Identity::Position, {T::Block, T::Paren, T::Hash, T::Path, T::LitPath, T::SetPath,
                             T::GetPath, T::String, T::File, T::Url, T::Tag, T::Email, T::Ref,
                             T::Binary, T::Vector, T::Image, T::Native, T::Action, T::Point2D});
    put(Identity::Bits64, {T::Float, T::Percent, T::Time, T::Pair, T::Op});
    return table;
}();

bool same(const Cell* a, const Cell* b) {
    const T type = cell::type_of(a);
    if (type != cell::type_of(b)) return false;
    switch (kIdentity[static_cast<int>(type)]) {
    case Identity::AllWords: return a->w1 == b->w1 && a->w2 == b->w2 && a->w3 == b->w3;
    case Identity::Always: return true;
    case Identity::Word1: return a->w1 == b->w1;
    case Identity::Word2: return a->w2 == b->w2;
    case Identity::Position: return a->w1 == b->w1 && a->w2 == b->w2;
    case Identity::Bits64: return a->w2 == b->w2 && a->w3 == b->w3;
    }
    return false;
}

constexpr uint64_t bit(T t) { return uint64_t{1} << static_cast<int>(t); }
static_assert(kTypeCount < 64);
constexpr uint64_t kSetTypes = bit(T::Block) | bit(T::Hash) | bit(T::String) | bit(T::Bitset) | bit(T::Typeset);
constexpr uint64_t kUniqueTypes = bit(T::Block) | bit(T::Hash) | bit(T::String);
constexpr uint64_t kDifferenceTypes = kSetTypes | bit(T::Date);
constexpr uint64_t kBlockTypes = bit(T::Block) | bit(T::Hash);

uint64_t accepted(SetOp code) {
    switch (code) {
    case SetOp::Unique: return kUniqueTypes;
    case SetOp::Difference: return kDifferenceTypes;
    default: return kSetTypes;
    }
}

bool compatible(T a, T b) { return a == b || ((kBlockTypes & bit(a)) && (kBlockTypes & bit(b))); }

}  // namespace

void is_same(bool, const int32_t*) { logic::set(stack::arg(0), same(stack::arg(0), stack::arg(1))); }

void not_(bool, const int32_t*) {
    const Cell* value = stack::arg(0);
    logic::set(stack::arg(0), cell::is(value, T::None) || (cell::is(value, T::Logic) && !logic::get(value)));
}

void is_type(bool, const int32_t* refinements) {
    const T type = cell::type_of(stack::arg(0));
    if (refinements[0] >= 0) {
        *stack::arg(0) = registry::name_entry(type).word;
    } else {
        datatype::set(stack::arg(0), type);
    }
}

void set_operation(SetOp code, bool check, const int32_t* refinements) {
    const bool two = code != SetOp::Unique;
    const T first = cell::type_of(stack::arg(0));
    const T second = two ? cell::type_of(stack::arg(1)) : first;
    Cell* skip = refinements[1] >= 0 ? stack::arg(refinements[1]) : nullptr;
    if (check) {
        if (!(accepted(code) & bit(first))) fire_expect_arg(first, 0);
        if (!(accepted(code) & bit(second))) fire_expect_arg(second, two ? 1 : 0);
        // The /skip size is the spec's argument after the sets.
        if (skip && !cell::is(skip, T::Integer)) fire_expect_arg(cell::type_of(skip), two ? 2 : 1);
    }
    if (two && !compatible(first, second)) {
        Cell expected;
        Cell got;
        datatype::set(&expected, first);
        datatype::set(&got, second);
        fire(Err::ExpectVal, &expected, &got);
    }
    if (!(accepted(code) & bit(first))) fire_expect_arg(first, 0);
    const bool case_ = refinements[0] >= 0;
    switch (first) {
    case T::Block:
    case T::Hash: block::set_op(case_, skip, code); break;
    case T::String: string::set_op(case_, skip, code); break;
    case T::Typeset: typeset::set_op(static_cast<int32_t>(code)); break;
    case T::Bitset: bitset::set_op(static_cast<int32_t>(code)); break;
    default:
        time_value::init_cell(date::difference(stack::arg(0), stack::arg(1)), stack::arg(0));
        break;
    }
}

void is_complement(bool, const int32_t*) {
    const T type = cell::type_of(stack::arg(0));
    if (type != T::Bitset) fire_expect_arg(type, 0);
    logic::set(stack::arg(0), bitset::is_complemented(stack::arg(0)));
}

}  // namespace nuv::natives_logic
