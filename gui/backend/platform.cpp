// The view platform object and its routines.
#include "gui/backend/platform.h"

#include <cstring>
#include <vector>

#include "gui/backend/dpi.h"
#include "gui/backend/fonts.h"
#include "gui/backend/loop.h"
#include "gui/backend/names.h"
#include "gui/backend/startup.h"
#include "gui/backend/view_object.h"
#include "host/win/displays.h"
#include "host/win/window.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"

namespace nuv::gui::platform {

namespace {

namespace win = host::win;
using routines::arg_cell;
using routines::kLogicResult;
using routines::kNoResult;
using T = TypeId;

// Face slots read by position.
constexpr int32_t kFaceType = 0, kFaceText = 3, kFaceState = 15;

void answer_none() { none::set(stack::arg(0)); }

[[noreturn]] void fire_type_of(const Cell* value) {
    Cell type{};
    datatype::set(&type, cell::type_of(value));
    fire(Err::InvalidType, &type);
}

// Face slot #index, none for an object too small to have it.
const Cell* slot(const Cell* face, int32_t index) {
    return index < object::word_count(face) ? view_object::at(face, index) : none::shared();
}

// The face's type word's symbol, or 0.
SymId face_type(const Cell* face) {
    const Cell* type = slot(face, kFaceType);
    return word::is_any_word_type(cell::type_of(type)) ? symbol::resolve(word::symbol_of(type)) : 0;
}

bool is(SymId sym, SymId name) { return sym && sym == symbol::resolve(name); }

uint64_t not_done(const uint64_t*) { fire(Err::NotDone); }

uint64_t make_null_handle(const uint64_t*) {
    handle::make_at(stack::arg(0), 0, handle::Kind::Null);
    return 0;
}

uint64_t fetch_all_screens(const uint64_t*) {
    struct Screen {
        win::HMONITOR monitor;
        win::RECT bounds;
    };
    std::vector<Screen> screens;
    win::EnumDisplayMonitors(
        [](win::HMONITOR monitor, const win::RECT& bounds, intptr_t data) {
            reinterpret_cast<std::vector<Screen>*>(data)->push_back({monitor, bounds});
            return true;
        },
        reinterpret_cast<intptr_t>(&screens));
    Cell* out = stack::arg(0);
    block::make_at(out, static_cast<int32_t>(screens.size()));
    for (const Screen& s : screens) {
        uint32_t dx = 96, dy = 96;
        win::GetDpiForMonitor(s.monitor, &dx, &dy);
        Cell item[4]{};
        pair::make_at(&item[0], s.bounds.left, s.bounds.top);
        pair::make_at(&item[1], s.bounds.right - s.bounds.left, s.bounds.bottom - s.bounds.top);
        floating::set(&item[2], static_cast<double>(dx) / 96.0);
        handle::make_at(&item[3], static_cast<int32_t>(s.monitor), handle::Kind::Monitor);
        Cell* entry = block::make_in(out, 4);
        const Cell inner = *entry;
        for (const Cell& c : item) block::append_cell(&inner, &c);
    }
    return 0;
}

uint64_t get_current_screen(const uint64_t*) {
    win::POINT at{};
    win::GetCursorPos(&at);
    handle::make_at(stack::arg(0), static_cast<int32_t>(win::MonitorFromPoint(at)), handle::Kind::Monitor);
    return 0;
}

uint64_t get_screen_size(const uint64_t*) {
    const auto units = [](int pixels) {
        return static_cast<int32_t>(static_cast<int64_t>(pixels) * 96 / static_cast<int64_t>(dpi::g_current.x));
    };
    pair::make_at(stack::arg(0), units(win::GetSystemMetrics(win::SM_CXSCREEN)),
                  units(win::GetSystemMetrics(win::SM_CYSCREEN)));
    return 0;
}

uint64_t size_text(const uint64_t* args) {
    const Cell* face = arg_cell(args[1]);
    const Cell* value = arg_cell(args[0]);
    const Cell* text = value;
    if (cell::is(value, T::None)) text = slot(face, kFaceText);
    else if (!cell::is(value, T::String)) fire_type_of(value);
    if (!cell::is(text, T::String)) {
        answer_none();
        return 0;
    }
    // Measuring text in a face's font comes with the widgets.
    fire(Err::NotDone);
}

uint64_t detach_image(const uint64_t* args) {
    ownership::unbind(arg_cell(args[0]));
    answer_none();
    return 0;
}

uint64_t update_view(const uint64_t* args) {
    const Cell* face = arg_cell(args[0]);
    if (cell::is(face, T::Block)) {
        const NodeId node = cell::node(face);
        const int32_t count = block::count(node);
        for (int32_t i = cell::head(face); i < count; i++) {
            const Cell item = block::at(node, i);
            if (!cell::is(&item, T::Object)) fire_type_of(&item);
        }
        if (cell::head(face) >= count) {
            answer_none();
            return 0;
        }
    } else if (cell::is(face, T::Object)) {
        if (is(face_type(face), names::sym::screen)) {
            answer_none();
            return 0;
        }
    } else {
        fire_type_of(face);
    }
    // Updating the windows of faces comes with the widgets.
    fire(Err::NotDone);
}

// Both run the draw engine (gui/draw/, above this layer) through its hooks; before it registers,
// they raise internal not-done.
uint64_t draw_image(const uint64_t* args) {
    if (!hooks::g_drawing.draw) fire(Err::NotDone);
    hooks::g_drawing.draw(0, arg_cell(args[1]), arg_cell(args[0]), false, false, false);
    answer_none();
    return 0;
}

// Only rich-text faces are asked; a face whose text is no string! answers none.
uint64_t text_box_metrics(const uint64_t* args) {
    const Cell* face = arg_cell(args[2]);
    if (!is(face_type(face), names::sym::rich_text)) {
        const Cell type = *slot(face, kFaceType);
        fire(Err::FaceType, &type);
    }
    if (!cell::is(slot(face, kFaceText), T::String)) {
        answer_none();
        return 0;
    }
    if (!hooks::g_drawing.text_box_metrics) fire(Err::NotDone);
    Cell result{};
    hooks::g_drawing.text_box_metrics(face, arg_cell(args[1]), routines::arg_int(args[0]), &result);
    *stack::arg(0) = result;
    return 0;
}

uint64_t refresh_window(const uint64_t* args) {
    win::UpdateWindow(static_cast<uint32_t>(handle::value_of(arg_cell(args[0]))));
    answer_none();
    return 0;
}

uint64_t redraw(const uint64_t* args) {
    if (const uint32_t hwnd = face_window(arg_cell(args[0]))) {
        win::InvalidateRect(hwnd, nullptr, false);
        win::UpdateWindow(hwnd);
    }
    answer_none();
    return 0;
}

uint64_t set_dark_mode(const uint64_t* args) {
    const Cell* face = arg_cell(args[1]);
    gui::set_dark_mode(face_window(face), args[0] != 0, is(face_type(face), names::sym::window));
    answer_none();
    return 0;
}

uint64_t support_dark_mode(const uint64_t*) { return gui::support_dark_mode() ? 1 : 0; }

uint64_t toggle_gpu(const uint64_t*) {
    create_device();
    answer_none();
    return 0;
}

// The stand-in for the view's own init: an empty screens block, then the backend's start-up.
void run_init() {
    if (Cell* screens = view_object::view_field("screens")) {
        const stack::Mark mark;
        const Cell empty = *block::push_new(4);
        if ((screens = view_object::view_field("screens"))) *screens = empty;
        mark.restore();
    }
    gui::init();
}

uint64_t init(const uint64_t*) {
    run_init();
    answer_none();
    return 0;
}

RoutineField g_routines[] = {
    {"make-null-handle", "", make_null_handle, kNoResult},
    {"fetch-all-screens", "", fetch_all_screens, kNoResult},
    {"get-current-screen", "", get_current_screen, kNoResult},
    {"get-screen-size", "id [integer!]", get_screen_size, kNoResult},
    {"size-text", "face [object!] value [any-type!]", size_text, kNoResult},
    {"on-change-facet",
     "owner [object!] word [any-word!] value [any-type!] action [word!] new [any-type!] index [integer!] "
     "part [integer!]",
     not_done, kNoResult},
    {"update-text", "face [object!]", not_done, kNoResult},
    {"update-font", "font [object!] flags [integer!]", fonts::update_font_routine, kNoResult},
    {"update-para", "face [object!] flags [integer!]", fonts::update_para_routine, kNoResult},
    {"destroy-view", "face [object!] empty? [logic!]", not_done, kNoResult},
    {"detach-image", "img [image!]", detach_image, kNoResult},
    {"update-view", "face [any-type!]", update_view, kNoResult},
    {"refresh-window", "h [handle!]", refresh_window, kNoResult},
    {"redraw", "face [object!]", redraw, kNoResult},
    {"show-window", "id [handle!]", not_done, kNoResult},
    {"make-view", "face [object!] parent [handle!]", not_done, kNoResult},
    {"draw-image", "image [image!] cmds [block!]", draw_image, kNoResult},
    {"draw-face", "face [object!] cmds [block!]", not_done, kNoResult},
    {"do-event-loop", "no-wait? [logic!]", loop::do_event_loop_routine, kLogicResult},
    {"exit-event-loop", "", loop::exit_event_loop_routine, kNoResult},
    {"request-font", "font [object!] selected [any-type!] mono? [logic!]", fonts::request_font_routine, kNoResult},
    {"request-file", "title [any-type!] name [any-type!] filter [any-type!] save? [logic!] multi? [logic!]",
     not_done, kNoResult},
    {"request-dir", "title [any-type!] dir [any-type!] filter [any-type!] keep? [logic!] multi? [logic!]",
     not_done, kNoResult},
    {"text-box-metrics", "box [object!] arg0 [any-type!] type [integer!]", text_box_metrics, kNoResult},
    {"update-scroller", "scroller [object!] flags [integer!]", not_done, kNoResult},
    {"set-dark-mode", "face [object!] dark? [logic!]", set_dark_mode, kNoResult},
    {"support-dark-mode?", "", support_dark_mode, kLogicResult},
    {"toggle-GPU", "", toggle_gpu, kNoResult},
    {"init", "", init, kNoResult},
};

// The fields in order: a routine's name, or a value made here.
constexpr const char* kFields[kFieldCount] = {
    "mouse-event?", "make-null-handle", "fetch-all-screens", "get-current-screen", "all-windows-closed?",
    "refresh-screens", "get-screen-size", "size-text", "on-change-facet", "update-text", "update-font",
    "update-para", "destroy-view", "detach-image", "update-view", "refresh-window", "redraw", "show-window",
    "make-view", "draw-image", "draw-face", "do-event-loop", "exit-event-loop", "request-font", "request-file",
    "request-dir", "text-box-metrics", "update-scroller", "set-dark-mode", "support-dark-mode?", "toggle-GPU",
    "init", "version", "build", "product"};

RoutineField* find(const char* name) {
    for (RoutineField& r : g_routines)
        if (std::strcmp(r.name, name) == 0) return &r;
    return nullptr;
}

}  // namespace

void set_entry(const char* name, routines::Entry entry, int32_t kind) {
    RoutineField* r = find(name);
    if (!r) fatal("no platform routine of that name", 1);
    r->entry = entry;
    r->kind = kind;
}

uint32_t face_window(const Cell* face) {
    const Cell* state = slot(face, kFaceState);
    if (!cell::is(state, T::Block)) return 0;
    const NodeId node = cell::node(state);
    const int32_t at = cell::head(state);
    if (at >= block::count(node)) return 0;
    const Cell first = block::at(node, at);
    return cell::is(&first, T::Handle) ? static_cast<uint32_t>(handle::value_of(&first)) : 0;
}

void make() {
    const stack::Mark mark;
    Cell* holder = object::make_empty(stack::reserve(), kFieldCount);
    for (const char* name : kFields) {
        const stack::Mark field_mark;
        const RoutineField* r = find(name);
        Cell value{};
        if (r) {
            value = *routines::push(r->spec, r->entry, r->kind);
        } else if (std::strcmp(name, "mouse-event?") == 0) {
            logic::set(&value, true);
        } else {
            none::set(&value);
        }
        object::add_field(holder, name, &value);
        field_mark.restore();
    }
    holder->w2 = static_cast<uint32_t>(object::new_class());
    object::finalize(holder, object::context_of(holder));
    Cell* field = view_object::view_field("platform");
    if (!field) fire(Err::NotDone);
    const Cell old = *field;
    *field = *holder;
    Cell word{};
    word::make_at(symbol::make_cstr("platform"), &word);
    object::fire_on_change(view_object::view(), &word, &old, holder);
    mark.restore();
    run_init();
}

}  // namespace nuv::gui::platform
