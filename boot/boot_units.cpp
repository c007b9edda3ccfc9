// The units of the boot image run from the root block, so nothing is lexed at start-up.
#include "boot/boot_units.h"

#include <cstring>
#include <vector>

#include "gui/backend/event.h"
#include "gui/backend/loop.h"
#include "gui/backend/names.h"
#include "gui/backend/platform.h"
#include "gui/backend/startup.h"
#include "gui/draw/context.h"
#include "library/json.h"

#include "runtime/boot_code.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/routines.h"
#include "runtime/frames.h"
#include "runtime/os.h"
#include "runtime/platform/image_codecs.h"
#include "runtime/platform/nuvbin_codec.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv::boot_units {

namespace {

using T = TypeId;

constexpr int kNoCatch = 95;  // the runtime error of an unwinding that reaches the entry frame

// The units the runtime makes itself, by their manifest names.
struct Step {
    const char* name;
    void (*make)();
};

void system_tables() {
    system_object::fill_tables();
    routines::bind_collector(system_object::collector_object());
    routines::bind_methods();
}

// Each codec module puts its object into system/codecs, keyed by its format word, in the order
// load and save try them.
void put_codecs() {
    image_codecs::init();
    nuvbin_codec::init();
}

// The GUI's names, then the backend's static initialisers.
void gui_names() {
    gui::names::init();
    gui::reset_statics();
    gui::loop::reset();
}

// event!, registered with its words rooted, as the image's own words are.
void event_datatype() {
    roots::set_auto_root(true);
    gui::event::init();
    roots::set_auto_root(false);
}

constexpr Step kSteps[] = {
    {"routines", routines::bind_runtime},
    {"type-predicates", routines::bind_predicates},
    {"system-tables", system_tables},
    {"codecs", put_codecs},
    {"tool-routines", routines::bind_tools},
    {"json-routines", json::bind_routines},
    {"event-datatype", event_datatype},
    {"gui-names", gui_names},
    {"view-platform", gui::platform::make},
    {"draw-words", gui::draw::register_hooks},
};

}  // namespace

void make_prelude() {
    // No maker makes handles, so the empty one is made here.
    const Cell empty = *handle::push(0, handle::Kind::Null);
    stack::drop(1);
    context::set_global(symbol::make_cstr("null-handle"), &empty);
}

void run_step(const char* name) {
    for (const Step& step : kSteps)
        if (std::strcmp(step.name, name) == 0) return step.make();
    fatal("boot manifest names an unknown step", 1);
}

void run() {
    const std::vector<int32_t> roots = roots::image_roots();
    if (roots.empty()) return;
    make_prelude();
    // Roots are read by index: a unit may grow the root block, which moves its cells.
    for (const int32_t i : roots) {
        const Cell unit = *roots::root_cell(i);
        if (cell::is(&unit, T::Issue)) {
            run_step(symbol::utf8_name(unit.w2));
        } else if (cell::is(&unit, T::Block)) {
            Cell* const top = stack::g_args.top;
            Cell* code = stack::push(&unit);
            boot_code::mark(code);
            interp::do_block(code);
            stack::g_args.top = top;
        }
    }
    boot_code::seal();
}

void run_at_entry(void (*units)()) {
    frames::Owner entry(&words::w::anon, frames::kCatch);
    if (entry.run(units)) os::quit_with_status(kNoCatch, reinterpret_cast<uintptr_t>(&run_at_entry));
}

}  // namespace nuv::boot_units
