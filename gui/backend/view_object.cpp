// Reaching system/view's fields.
#include "gui/backend/view_object.h"

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/system.h"

namespace nuv::gui::view_object {

namespace {

constexpr int32_t kPlatformFields = 35;

bool is_object(const Cell* c) { return c && cell::is(c, TypeId::Object); }

}  // namespace

Cell* field(const Cell* object, const char* name) {
    if (!is_object(object)) return nullptr;
    const int32_t index = object::find_symbol(object, symbol::make_cstr(name));
    return index < 0 ? nullptr : at(object, index);
}

Cell* at(const Cell* object, int32_t index) { return context::write_at(object::context_of(object), index); }

const Cell* view() {
    const Cell* system = system_object::get();
    const Cell* v = field(system, "view");
    return is_object(v) ? v : nullptr;
}

Cell* view_field(const char* name, const char* inner) {
    Cell* f = field(view(), name);
    if (!inner) return f;
    return is_object(f) ? field(f, inner) : nullptr;
}

const Cell* platform() {
    const Cell* p = view_field("platform");
    return is_object(p) && object::word_count(p) == kPlatformFields ? p : nullptr;
}

}  // namespace nuv::gui::view_object
