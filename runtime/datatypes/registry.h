// The datatype registry: the type name table and the action dispatch table, filled once at
// start-up by each datatype's registration record, parents before children. Inheritance is
// resolved at registration, so a lookup is one index and one indirect call.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"

namespace nuv {

// How a registration record fills a slot.
struct NotSupported {};
struct Inherited {};
inline constexpr NotSupported kNotSupported{};
inline constexpr Inherited kInherited{};  // take the parent's slot as it is at registration
enum class SlotKind : uint8_t { NotSupported, Own, Inherited };

template <class F>
struct Slot {
    F fn = nullptr;
    SlotKind kind = SlotKind::NotSupported;
    constexpr Slot() = default;
    // A function named in a record is never null; nullptr says "not supported". (Testing the
    // pointer itself is not a constant expression under the null sanitizer.)
    constexpr Slot(F f) : fn(f), kind(SlotKind::Own) {}
    constexpr Slot(std::nullptr_t) {}
    constexpr Slot(Inherited) : kind(SlotKind::Inherited) {}
    constexpr Slot(NotSupported) {}
};

// The collector's mark hook of a datatype: pushes what the cell refers to.
using MarkFn = void (*)(const Cell* value);

// One datatype's registration: id, parent (Invalid for none), name, the 62 slots in action
// order, and its mark hook. Slots left out are not supported.
struct TypeRecord {
    TypeId id;
    TypeId parent;
    const char* name;
#define NUV_RECORD_FIELD(n, name, field, word, type) Slot<type> field;
    NUV_ACTIONS(NUV_RECORD_FIELD)
#undef NUV_RECORD_FIELD
    MarkFn mark = nullptr;
};

// One row of the dispatch table: the resolved slot functions of a type (nullptr: not
// supported).
struct ActionRow {
#define NUV_ROW_FIELD(n, name, field, word, type) type field;
    NUV_ACTIONS(NUV_ROW_FIELD)
#undef NUV_ROW_FIELD
    MarkFn mark;
};

struct TypeNameEntry {
    const char* name;  // with its "!"
    uint32_t length;   // without the "!"
    Cell word;         // the name's word! in the global context (header 0 until bound)
};

namespace registry {

void init();  // makes the two tables
// Fills the type's name entry and dispatch row. A record whose slot says "inherited" on a
// type without a parent is a build fault and ends the process.
void register_type(const TypeRecord& record);
// Registers a type whose module is not built yet: its name and parent, every slot empty.
void register_bare(TypeId id, TypeId parent);

const TypeNameEntry& name_entry(TypeId t);
int highest_type();
bool is_registered(TypeId t);

extern ActionRow g_rows[kTypeSlots];
inline const ActionRow& row(TypeId t) { return g_rows[static_cast<int>(t)]; }

// Raises script expect-arg for a value whose type lacks the action.
[[noreturn]] void fire_unsupported(TypeId t, ActionId action);

}  // namespace registry

// The dispatch step: the slot function of the value's type for an action; raises script
// expect-arg when the type does not support it. Usage: dispatch<&ActionRow::append>(v, A).
template <auto Field>
inline auto lookup(const Cell* value, ActionId action) {
    auto fn = registry::g_rows[value->header & cell::kTypeMask].*Field;
    if (!fn) registry::fire_unsupported(cell::type_of(value), action);
    return fn;
}
template <auto Field>
inline auto lookup_type(TypeId t, ActionId action) {
    auto fn = registry::g_rows[static_cast<int>(t)].*Field;
    if (!fn) registry::fire_unsupported(t, action);
    return fn;
}

}  // namespace nuv
