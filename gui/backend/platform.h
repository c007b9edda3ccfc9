// system/view/platform: the one object through which the language reaches the backend. Its 35
// fields in their fixed order, the routines among them, and their table, in which a later module
// puts its own entry over one that still raises internal not-done.
#pragma once
#include <cstdint>

#include "runtime/evaluator/routines.h"

namespace nuv::gui::platform {

inline constexpr int32_t kFieldCount = 35;

// The routine of a field: its spec and entry. The entries of paths not built yet raise internal
// not-done.
struct RoutineField {
    const char* name;
    const char* spec;
    routines::Entry entry;
    int32_t kind;
};

// Replaces the entry of the named routine field before the boot step `view-platform` runs.
void set_entry(const char* name, routines::Entry entry, int32_t kind);

// The boot step `view-platform`: makes the object, stores it in system/view/platform, then runs
// its init (system/view/screens an empty block, gui/init). Allocates.
void make();

// The window of a face: the handle! first in its `state` block, else 0.
uint32_t face_window(const Cell* face);

}  // namespace nuv::gui::platform
