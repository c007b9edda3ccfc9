// The type name table and the dispatch rows, written once at start-up.
#include "runtime/datatypes/registry.h"

#include <cstdio>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/support.h"

namespace nuv {

const char* action_word(ActionId a) {
    switch (a) {
#define NUV_ACTION_WORD(n, name, field, word, type) \
    case ActionId::name: return word;
        NUV_ACTIONS(NUV_ACTION_WORD)
#undef NUV_ACTION_WORD
    }
    return "";
}

namespace registry {

ActionRow g_rows[kTypeSlots];

namespace {
TypeNameEntry g_names[kTypeSlots];
bool g_registered[kTypeSlots];
int g_highest = 0;

[[noreturn]] void registration_fault(TypeId t, const char* what) {
    std::printf("*** Datatype Error: %s for type: %d\n", what, static_cast<int>(t));
    std::fflush(stdout);
    fatal("datatype registration failed", 1);
}

template <class F>
F resolve(const Slot<F>& s, F parent_fn, bool has_parent, TypeId t) {
    switch (s.kind) {
    case SlotKind::Own: return s.fn;
    case SlotKind::Inherited:
        if (!has_parent) registration_fault(t, "inherited slot on a type without a parent");
        return parent_fn;
    case SlotKind::NotSupported: return nullptr;
    }
    return nullptr;
}
}  // namespace

void init() {
    std::memset(g_rows, 0, sizeof g_rows);
    std::memset(g_names, 0, sizeof g_names);
    std::memset(g_registered, 0, sizeof g_registered);
    g_highest = 0;
}

void register_type(const TypeRecord& record) {
    TypeId t = record.id;
    int id = static_cast<int>(t);
    if (id < 1 || id >= kTypeSlots || (id <= kTypeCount && std::strcmp(record.name, type_name(t)) != 0))
        registration_fault(t, "name and id do not match");
    bool has_parent = record.parent != TypeId::Invalid;
    if (has_parent && !g_registered[static_cast<int>(record.parent)])
        registration_fault(t, "parent registered after its child");
    if (id > g_highest) g_highest = id;
    TypeNameEntry& e = g_names[id];
    e.name = record.name;
    e.length = static_cast<uint32_t>(std::strlen(record.name) - 1);
    const ActionRow& parent = g_rows[static_cast<int>(record.parent)];
    ActionRow& row = g_rows[id];
#define NUV_RESOLVE(n, name, field, word, type) \
    row.field = resolve(record.field, parent.field, has_parent, t);
    NUV_ACTIONS(NUV_RESOLVE)
#undef NUV_RESOLVE
    row.mark = record.mark;
    g_registered[id] = true;
}

void register_bare(TypeId id, TypeId parent) {
    TypeRecord r{};
    r.id = id;
    r.parent = parent;
    r.name = type_name(id);
    register_type(r);
}

const TypeNameEntry& name_entry(TypeId t) { return g_names[static_cast<int>(t)]; }
int highest_type() { return g_highest; }
bool is_registered(TypeId t) { return g_registered[static_cast<int>(t)]; }

// Every action dispatches on its first argument.
void fire_unsupported(TypeId t, ActionId) { fire_expect_arg(t, 0); }

}  // namespace registry
}  // namespace nuv
