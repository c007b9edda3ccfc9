// handle!: makers, form and mold, comparison and the registry mark.
#include "runtime/datatypes/handle.h"

#include <iterator>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/handles.h"
#include "runtime/stack.h"

namespace nuv::handle {

namespace {
constexpr const char* kKindNames[] = {
#define NUV_HANDLE_KIND_NAME(n, name, text) text,
    NUV_HANDLE_KINDS(NUV_HANDLE_KIND_NAME)
#undef NUV_HANDLE_KIND_NAME
};
}  // namespace

const char* kind_name(uint32_t kind) {
    return kind < std::size(kKindNames) ? kKindNames[kind] : nullptr;
}

Cell* make_at(Cell* cell, int32_t value, Kind kind) {
    *cell = Cell{static_cast<uint32_t>(TypeId::Handle), static_cast<uint32_t>(kind),
                 static_cast<uint32_t>(value), static_cast<uint32_t>(kNoSlot)};
    return cell;
}

Cell* return_(int32_t value, Kind kind) { return make_at(stack::arg(0), value, kind); }

Cell* box(Cell* block, int32_t value, Kind kind) {
    return make_at(block::alloc_tail(block), value, kind);
}

Cell* push(int32_t value, Kind kind) { return make_at(stack::reserve(), value, kind); }

Cell* push_empty() { return push(0, Kind::Null); }

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    char text[10];
    const char* hex = string::int_to_hex(value_of(value), false);
    for (int i = 0; i < 8; i++) text[i] = hex[i];
    text[8] = 'h';
    text[9] = 0;
    return string::emit(buffer, text, budget);
}

// The value cell may lie in a buffer that appending moves: its words are read first.
int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t budget,
             int32_t) {
    if (!all) return string::emit(buffer, "handle!", budget);
    Cell copy = *value;
    const char* name = kind_of(&copy) > 0 ? kind_name(kind_of(&copy)) : nullptr;
    budget = string::emit(buffer, "#[handle! ", budget);
    budget = form(&copy, buffer, part, budget);
    if (name) {
        budget = string::emit(buffer, " ", budget);
        budget = string::emit(buffer, name, budget);
    }
    return string::emit(buffer, "]", budget);
}

int32_t compare(Cell* a, Cell* b, CompareOp) {
    if (!cell::is(b, TypeId::Handle)) return kNotComparable;
    int32_t x = value_of(a);
    int32_t y = value_of(b);
    return (x > y) - (x < y);
}

void mark(const Cell* value) {
    if (slot_of(value) >= 0) handles::mark(slot_of(value), nullptr);
}

// Nothing is inherited from integer!: a handle is printed and compared, never computed with.
constexpr TypeRecord kRecord{
    .id = TypeId::Handle,
    .parent = TypeId::Integer,
    .name = "handle!",
    .form = handle::form,
    .mold = handle::mold,
    .compare = handle::compare,
    .mark = handle::mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::handle
