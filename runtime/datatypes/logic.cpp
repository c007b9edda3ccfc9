// logic!: makers, the shared true and false cells, the truth test and the logic slots.
#include "runtime/datatypes/logic.h"

#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/support.h"

namespace nuv::logic {

namespace {
Cell g_true{static_cast<uint32_t>(TypeId::Logic), 1, 0, 0};
Cell g_false{static_cast<uint32_t>(TypeId::Logic), 0, 0, 0};


bool is_false(const Cell* c) {
    return cell::is(c, TypeId::None) || (cell::is(c, TypeId::Logic) && c->w1 == 0);
}
}  // namespace

Cell* box(bool value) {
    set(stack::arg(0), value);
    return stack::arg(0);
}

Cell* push(bool value) {
    Cell* c = stack::reserve();
    set(c, value);
    return c;
}

Cell* make_in(Cell* block, bool value) {
    Cell* c = block::alloc_tail(block);
    set(c, value);
    return c;
}

Cell* shared(bool value) { return value ? &g_true : &g_false; }

bool value_is_true(const Cell* value, bool check, const Cell* word) {
    if (check && cell::is(value, TypeId::Unset)) fire(Err::NoValue, word);
    return !is_false(value);
}

bool result_is_true() {
    if (cell::is(stack::arg(0), TypeId::Unset)) fire(Err::NoReturn);
    return !is_false(stack::arg(0));
}

bool result_is_false() { return is_false(stack::arg(0)); }

bool stack_top_is_false() {
    const stack::ArgStack& s = stack::g_args;
    return is_false(s.top == s.base ? s.top : s.top - 1);
}

// A number spec is true when it is not zero (NaN is true); the answer lands in the first
// argument's cell. Any other spec converts as `to` does.
Cell* make(Cell* proto, Cell* spec, TypeId type) {
    switch (cell::type_of(spec)) {
    case TypeId::Integer: set(proto, cell::get_int(spec) != 0); return proto;
    case TypeId::Float:
    case TypeId::Percent: set(proto, !(cell::get_double(spec) == 0.0)); return proto;
    default: return to(proto, spec, type);
    }
}

// The seed flag seeds with the logic's word (0 or 1) and leaves unset!; otherwise each outcome
// has one chance in two: a 31-bit draw above 0x3FFFFFFF is true.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::mt_seed(value->w1);
        unset::set(value);
        return value;
    }
    const int32_t draw = secure ? random::secure_random_int() : random::mt_next();
    set(value, draw > 0x3FFFFFFF);
    return value;
}

Cell* to(Cell*, Cell* spec, TypeId) {
    if (cell::is(spec, TypeId::Logic)) return spec;
    return shared(!cell::is(spec, TypeId::None));
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    return string::emit(buffer, get(value) ? "true" : "false", budget);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t budget, int32_t) {
    const char* text = get(value) ? (all ? "#(true)" : "true") : (all ? "#(false)" : "false");
    return string::emit(buffer, text, budget);
}

// Equal and sort codes answer the difference, so false sorts before true; logic has no order
// under < and its kin.
int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, TypeId::Logic) || !unset::compares_under(op)) return kNotComparable;
    return static_cast<int32_t>(get(a)) - static_cast<int32_t>(get(b));
}

void bitwise(ArithOp op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    if (!cell::is(b, TypeId::Logic)) fire_expect_arg(cell::type_of(b), 1);
    bool x = get(a);
    bool y = get(b);
    set(a, op == ArithOp::And ? (x && y) : op == ArithOp::Or ? (x || y) : (x != y));
}

void complement(Cell* value) { value->w1 = value->w1 ? 0 : 1; }

constexpr TypeRecord kRecord{
    .id = TypeId::Logic,
    .parent = TypeId::Invalid,
    .name = "logic!",
    .make = logic::make,
    .random = logic::random,
    .to = logic::to,
    .form = logic::form,
    .mold = logic::mold,
    .compare = logic::compare,
    .and_ = logic::bitwise_slot<ArithOp::And>,
    .complement = logic::complement,
    .or_ = logic::bitwise_slot<ArithOp::Or>,
    .xor_ = logic::bitwise_slot<ArithOp::Xor>,
};

void init() {
    set(&g_true, true);
    set(&g_false, false);
    registry::register_type(kRecord);
}

}  // namespace nuv::logic
