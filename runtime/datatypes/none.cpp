// none!: makers, the shared none cell, its slots, and the empty-series answers.
#include "runtime/datatypes/none.h"

#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/stack.h"

namespace nuv::none {

namespace {
Cell g_none{static_cast<uint32_t>(TypeId::None), 0, 0, 0};

}  // namespace

Cell* set_result() {
    set(stack::arg(0));
    return stack::arg(0);
}

Cell* push() {
    Cell* c = stack::reserve();
    set(c);
    return c;
}

Cell* make_in(Cell* block) {
    Cell* c = block::alloc_tail(block);
    set(c);
    return c;
}

Cell* shared() { return &g_none; }

Cell* make(Cell* proto, Cell*, TypeId) {
    set(proto);
    return proto;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t budget) {
    return string::emit(buffer, "none", budget);
}

int32_t mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int32_t budget, int32_t) {
    return string::emit(buffer, all ? "#(none)" : "none", budget);
}

int32_t compare(Cell*, Cell* b, CompareOp op) {
    return cell::is(b, TypeId::None) && unset::compares_under(op) ? 0 : kNotComparable;
}

void clear(Cell*) { set_result(); }

Cell* find(Cell*, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool, bool) {
    return shared();
}

int32_t length(Cell*) { return -1; }

Cell* remove(Cell*, Cell*, Cell*) { return shared(); }

const Cell* select(Cell*, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool) {
    return shared();
}

Cell* take(Cell*, Cell*, bool, bool) { return shared(); }

constexpr TypeRecord kRecord{
    .id = TypeId::None,
    .parent = TypeId::Invalid,
    .name = "none!",
    .make = none::make,
    .to = none::make,
    .form = none::form,
    .mold = none::mold,
    .compare = none::compare,
    .clear = none::clear,
    .find = none::find,
    .length_q = none::length,
    .remove = none::remove,
    .select = none::select,
    .take = none::take,
};

void init() {
    set(&g_none);
    registry::register_type(kRecord);
}

}  // namespace nuv::none
