// gui/init and the process state it keeps.
#include "gui/backend/startup.h"

#include <string>
#include <string_view>
#include <vector>

#include "gui/backend/classes.h"
#include "gui/backend/dpi.h"
#include "gui/backend/event.h"
#include "gui/backend/render.h"
#include "gui/backend/view_object.h"
#include "host/controls/controls.h"
#include "host/utf.h"
#include "host/win/displays.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/handles.h"
#include "runtime/stack.h"

namespace nuv::gui {

namespace {

namespace gfx = host::gfx;
namespace win = host::win;

// The version this system reports: the one from which the newest code paths follow.
constexpr int32_t kMajor = 10, kMinor = 0, kBuild = 0, kProduct = 1;
// The platform object's fields that gui/init sets.
constexpr int32_t kVersionField = 32, kBuildField = 33, kProductField = 34;

std::vector<void (*)()> g_device_listeners;

void release_font(void* pointer) { gfx::DeleteObject(static_cast<gfx::HFONT>(reinterpret_cast<uintptr_t>(pointer))); }
void release_com(void* pointer) { delete static_cast<ComObject*>(pointer); }

// The registry's kind of the name, registered when this registry (one per runtime) lacks it.
int32_t kind(const char* name, handles::ReleaseFn release) {
    for (int32_t k = 1; k <= handles::kind_count(); k++)
        if (std::string_view(handles::kind_name(k)) == name) return k;
    return handles::register_kind(name, release);
}

// Puts key (a word) := value into the map when `map` is one.
void put(Cell* map, const char* key, const Cell* value) {
    if (!map || !cell::is(map, TypeId::Map)) return;
    Cell word{};
    word::make_at(symbol::make_cstr(key), &word);
    Cell target = *map, v = *value;
    map::put(&target, &word, &v, false);
}

void put_colour(Cell* map, const char* key, int index) {
    const uint32_t bgr = win::GetSysColor(index);
    const int32_t rgb[3] = {static_cast<int32_t>(bgr & 0xFF), static_cast<int32_t>(bgr >> 8 & 0xFF),
                            static_cast<int32_t>(bgr >> 16 & 0xFF)};
    Cell colour{};
    tuple::set_list(&colour, 3, rgb);
    put(map, key, &colour);
}

}  // namespace

void reset_statics() {
    if (g_backend.default_font) host::gfx::DeleteObject(g_backend.default_font);
    g_backend = Backend{};
    dpi::reset();
    g_device_listeners.clear();
}

void init() {
    const Cell* platform = view_object::platform();
    if (!platform) fire(Err::NotDone);
    g_backend.version_major = kMajor, g_backend.version_minor = kMinor;
    g_backend.flags.composition = true;
    g_backend.flags.win10 = kMajor > 9;
    g_backend.flags.win8 = kMajor > 9 || (kMajor >= 6 && kMinor >= 2);
    g_backend.flags.pre_vista = kMajor < 6;
    const int32_t version[3] = {kMajor, kMinor, 0};
    tuple::set_list(view_object::at(platform, kVersionField), 3, version);
    dpi::init_from_cursor();
    make_default_font(nullptr);
    host::controls::register_classes();
    backend::register_window_classes();
    integer::set(view_object::at(view_object::platform(), kBuildField), kBuild);
    integer::set(view_object::at(view_object::platform(), kProductField), kProduct);
    fill_view_metrics();
    // No theme library reports a preference here: the system is light.
    g_backend.system_dark = false;
    // The block the events' `flags` facet answers lives through every collection.
    event::keep_flag_block();
    g_backend.font_kind = kind("font", release_font);
    g_backend.com_kind = kind("com-object", release_com);
    // Records drawn with the old device are freed and their windows painted again.
    on_device_made([] { backend::free_window_render_targets(); });
    g_backend.started = true;
}

void make_default_font(gfx::HFONT* window_font) {
    if (window_font && *window_font) gfx::DeleteObject(*window_font), *window_font = 0;
    const gfx::LOGFONT message = gfx::message_font(dpi::g_current.y);
    const std::string name = host::utf8_of(message.lfFaceName);
    const stack::Mark mark;
    Cell* text = string::load(reinterpret_cast<const uint8_t*>(name.data()), name.size(), stack::reserve(), string::kUtf8);
    if (Cell* system = view_object::view_field("fonts", "system")) *system = *text;
    if (Cell* size = view_object::view_field("fonts", "size"))
        integer::set(size, -(message.lfHeight * 72 / static_cast<int32_t>(dpi::g_current.y)));
    mark.restore();
    if (g_backend.default_font) gfx::DeleteObject(g_backend.default_font);
    g_backend.default_font = gfx::CreateFontIndirect(message);
    if (!g_backend.default_font) {
        g_backend.default_font = gfx::GetStockObject(gfx::DEFAULT_GUI_FONT);
        return;
    }
    if (window_font) *window_font = gfx::CreateFontIndirect(message);
}

void fill_view_metrics() {
    if (Cell* d = view_object::view_field("metrics", "dpi")) integer::set(d, static_cast<int32_t>(dpi::g_current.x));
    Cell scroller{};
    pair::make_at(&scroller, win::GetSystemMetrics(win::SM_CXVSCROLL), win::GetSystemMetrics(win::SM_CYVSCROLL));
    put(view_object::view_field("metrics", "misc"), "scroller", &scroller);
    put_colour(view_object::view_field("metrics", "colors"), "text", win::COLOR_WINDOWTEXT);
    put_colour(view_object::view_field("metrics", "colors"), "window", win::COLOR_WINDOW);
    put_colour(view_object::view_field("metrics", "colors"), "panel", win::COLOR_BTNFACE);
}

// High contrast is never on here.
bool support_dark_mode() { return g_backend.flags.win10; }

void set_dark_mode(uint32_t hwnd, bool dark, bool window_face) {
    // A window face's frame is the compositor's, which draws no dark title bar: its theme
    // (the controls' palette) is all that changes, as for every other face.
    (void)window_face;
    if (hwnd) host::controls::set_dark(hwnd, dark);
}

void create_device() {
    for (void (*listener)() : g_device_listeners) listener();
}

void on_device_made(void (*listener)()) { g_device_listeners.push_back(listener); }

}  // namespace nuv::gui
