// datatype!: values that name a type; they form as the name without "!", mold as the name, and
// compare only for equality.
#include "runtime/datatypes/datatype.h"

#include <cstdio>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/stack.h"

namespace nuv::datatype {

namespace {
// The name with its "!" of the type a datatype cell names ("" for an id no type has).
const char* named(const Cell* value) {
    return value->w1 < static_cast<uint32_t>(kTypeSlots) ? type_name(static_cast<TypeId>(value->w1))
                                                          : "";
}

int32_t emit(Cell* buffer, const char* text, int length, int32_t budget) {
    string::append_cstr(buffer, text);
    return budget - length;
}
}  // namespace

Cell* push(TypeId t) {
    Cell* c = stack::reserve();
    set(c, t);
    return c;
}

Cell* make_in(Cell* block, TypeId t) {
    Cell* c = block::alloc_tail(block);
    set(c, t);
    return c;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    char text[32];
    int length = std::snprintf(text, sizeof text, "%s", named(value));
    if (length > 0) text[--length] = '\0';  // without the "!"
    return emit(buffer, text, length, budget);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t budget, int32_t) {
    char text[40];
    int length = std::snprintf(text, sizeof text, all ? "#(%s)" : "%s", named(value));
    return emit(buffer, text, length, budget);
}

// Equal when both name the same type; datatypes have no order.
int32_t compare(Cell* a, Cell* b, CompareOp op) {
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::StrictEqual:
    case CompareOp::Same:
    case CompareOp::FindEqual: return cell::is(b, TypeId::Datatype) && a->w1 == b->w1 ? 0 : 1;
    default: return kNotComparable;
    }
}

constexpr TypeRecord kRecord{
    .id = TypeId::Datatype,
    .parent = TypeId::Invalid,
    .name = "datatype!",
    .form = datatype::form,
    .mold = datatype::mold,
    .compare = datatype::compare,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::datatype
