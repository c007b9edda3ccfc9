// unset!: makers, the shared unset cell and the three slots that apply to nothing.
#include "runtime/datatypes/unset.h"

#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/stack.h"

namespace nuv::unset {

namespace {
Cell g_unset{static_cast<uint32_t>(TypeId::Unset), 0, 0, 0};

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

Cell* make_in(Cell* block) { return block::alloc_tail(block); }

Cell* shared() { return &g_unset; }

Cell* make(Cell* proto, Cell*, TypeId) {
    set(proto);
    return proto;
}

int32_t form(Cell*, Cell*, Cell*, int32_t budget) { return budget; }

int32_t mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int32_t budget, int32_t) {
    return string::emit(buffer, all ? "#(unset)" : "unset", budget);
}

int32_t compare(Cell*, Cell* b, CompareOp op) {
    return cell::is(b, TypeId::Unset) && compares_under(op) ? 0 : kNotComparable;
}

constexpr TypeRecord kRecord{
    .id = TypeId::Unset,
    .parent = TypeId::Invalid,
    .name = "unset!",
    .make = unset::make,
    .to = unset::make,
    .form = unset::form,
    .mold = unset::mold,
    .compare = unset::compare,
};

void init() {
    set(&g_unset);
    registry::register_type(kRecord);
}

}  // namespace nuv::unset
