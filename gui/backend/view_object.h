// Reading and writing system/view and its parts from C++: the object's fields by name, and the
// platform object's fields by position. Cells are valid until the next allocation.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::gui::view_object {

// system/view, or nullptr when it is no object.
const Cell* view();
// The field of the object (nullptr when the object lacks it), for a write that follows at once.
Cell* field(const Cell* object, const char* name);
// system/view/<name>/<inner> when system/view/<name> is an object, else nullptr.
Cell* view_field(const char* name, const char* inner = nullptr);
// system/view/platform when it is an object of 35 fields, else nullptr.
const Cell* platform();
// Field #index (0-based) of an object, for a read or a write that follows at once.
Cell* at(const Cell* object, int32_t index);

}  // namespace nuv::gui::view_object
