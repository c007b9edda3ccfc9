// What the controls share: class registration, the notifications sent to the parent, the font
// slot, the palettes with the set of windows made dark, the WM_CTLCOLOR* ask and the few drawing
// helpers every control paints with.
#include <unordered_set>

#include "host/controls/controls.h"
#include "host/win/cairo_lib.h"
#include "host/win/displays.h"

namespace nuv::host::controls {

using namespace win;

// ---- Classes

bool register_control(std::u16string_view name, WNDPROC proc, HCURSOR cursor, uint32_t style) {
    WNDCLASS known;
    if (GetClassInfo(name, &known)) return known.proc == proc;
    WNDCLASS cls;
    cls.name = std::u16string(name);
    cls.proc = proc;
    cls.cursor = cursor;
    cls.style = style;
    return RegisterClass(cls);
}

bool register_classes() {
    // One line per control file.
    bool ok = register_button();
    ok = register_static() && ok;
    ok = register_scrollbar() && ok;
    ok = register_progress() && ok;
    ok = register_trackbar() && ok;
    ok = register_edit() && ok;
    ok = register_listbox() && ok;
    ok = register_combobox() && ok;
    ok = register_tab() && ok;
    ok = register_monthcal() && ok;
    return ok;
}

// ---- Notifications

bool notify_command(HWND control, uint32_t code) {
    const HWND parent = GetParent(control);
    if (parent) {
        const intptr_t id = GetWindowLong(control, GWLP_ID);
        SendMessage(parent, WM_COMMAND, command_wparam(static_cast<uintptr_t>(id), code), control);
    }
    return IsWindow(control);
}

Notified notify(HWND control, NMHDR* record, int32_t code) {
    record->hwndFrom = control;
    record->idFrom = static_cast<uintptr_t>(GetWindowLong(control, GWLP_ID));
    record->code = code;
    Notified out;
    if (const HWND parent = GetParent(control))
        out.answer = SendMessage(parent, WM_NOTIFY, static_cast<intptr_t>(record->idFrom),
                                 reinterpret_cast<intptr_t>(record));
    out.alive = IsWindow(control);
    return out;
}

bool notify_scroll(HWND control, bool vertical, uint32_t request, int32_t position) {
    if (const HWND parent = GetParent(control)) {
        const uint32_t high = static_cast<uint32_t>(position) & 0xFFFF;
        const intptr_t wParam = static_cast<intptr_t>((request & 0xFFFF) | high << 16);
        SendMessage(parent, vertical ? WM_VSCROLL : WM_HSCROLL, wParam, control);
    }
    return IsWindow(control);
}

// ---- Fonts

HFONT FontSlot::get() const { return font ? font : gfx::GetStockObject(gfx::DEFAULT_GUI_FONT); }

bool font_message(FontSlot& slot, HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam, LRESULT* answer) {
    switch (message) {
    case WM_SETFONT:
        slot.font = static_cast<HFONT>(wParam);
        if (lParam) InvalidateRect(hwnd, nullptr, true);
        *answer = 0;
        return true;
    case WM_GETFONT: *answer = static_cast<LRESULT>(slot.get()); return true;
    default: return false;
    }
}

// ---- Palettes

namespace {

constexpr COLORREF rgb(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }

constexpr Palette kLight{
    .face = rgb(240, 240, 240),
    .face_hot = rgb(229, 241, 251),
    .face_pressed = rgb(204, 228, 247),
    .border = rgb(173, 173, 173),
    .text = rgb(0, 0, 0),
    .text_disabled = rgb(160, 160, 160),
    .window = rgb(255, 255, 255),
    .window_text = rgb(0, 0, 0),
    .accent = rgb(0, 120, 215),
    .selection = rgb(0, 120, 215),
    .selection_text = rgb(255, 255, 255),
    .track = rgb(218, 218, 218),
};

constexpr Palette kDark{
    .face = rgb(51, 51, 51),
    .face_hot = rgb(69, 69, 69),
    .face_pressed = rgb(90, 90, 90),
    .border = rgb(120, 120, 120),
    .text = rgb(255, 255, 255),
    .text_disabled = rgb(120, 120, 120),
    .window = rgb(32, 32, 32),
    .window_text = rgb(255, 255, 255),
    .accent = rgb(76, 160, 224),
    .selection = rgb(0, 95, 184),
    .selection_text = rgb(255, 255, 255),
    .track = rgb(77, 77, 77),
};

// The windows made dark. Ids are never reused, so a destroyed window's entry is only dead
// weight: the set is swept when it has doubled since the last sweep.
struct DarkSet {
    std::unordered_set<HWND> windows;
    size_t sweep_at = 64;
};
DarkSet& dark_set() {
    static DarkSet set;
    return set;
}

}  // namespace

const Palette& light_palette() { return kLight; }
const Palette& dark_palette() { return kDark; }

void set_dark(HWND hwnd, bool dark) {
    if (!IsWindow(hwnd)) return;
    DarkSet& set = dark_set();
    const bool changed = dark ? set.windows.insert(hwnd).second : set.windows.erase(hwnd) > 0;
    if (set.windows.size() >= set.sweep_at) {
        std::erase_if(set.windows, [](HWND h) { return !IsWindow(h); });
        set.sweep_at = std::max<size_t>(64, set.windows.size() * 2);
    }
    if (changed) InvalidateRect(hwnd, nullptr, true);
}

bool is_dark(HWND hwnd) { return dark_set().windows.count(hwnd) > 0; }

const Palette& palette(HWND hwnd) { return is_dark(hwnd) ? kDark : kLight; }

HBRUSH palette_brush(COLORREF colour) {
    static std::unordered_map<COLORREF, HBRUSH> brushes;
    HBRUSH& brush = brushes[colour & 0xFFFFFF];
    if (!brush) brush = gfx::CreateSolidBrush(colour & 0xFFFFFF);
    return brush;
}

HBRUSH ask_colours(HWND control, uint32_t message, cairo_t* dc, COLORREF text, COLORREF back) {
    gfx::SetTextColor(dc, text);
    gfx::SetBkColor(dc, back);
    gfx::SetBkMode(dc, gfx::OPAQUE);
    LRESULT answer = 0;
    if (const HWND parent = GetParent(control))
        answer = SendMessage(parent, message, reinterpret_cast<intptr_t>(dc), control);
    if (!IsWindow(control)) return 0;
    COLORREF colour;
    if (answer > 0 && answer <= UINT32_MAX && gfx::brush_colour(static_cast<HBRUSH>(answer), &colour))
        return static_cast<HBRUSH>(answer);
    return palette_brush(back);
}

void track_hot(HWND hwnd, bool* hot) {
    if (*hot) return;
    *hot = true;
    TRACKMOUSEEVENT track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = hwnd;
    TrackMouseEvent(&track);
    InvalidateRect(hwnd, nullptr, false);
}

void leave_hot(HWND hwnd, bool* hot) {
    if (!*hot) return;
    *hot = false;
    InvalidateRect(hwnd, nullptr, false);
}

// ---- Drawing

int32_t scaled(HWND hwnd, int32_t size) {
    const uint32_t dpi = GetDpiForWindow(hwnd);
    return dpi ? static_cast<int32_t>(int64_t(size) * dpi / 96) : size;
}

void set_colour(cairo_t* cr, COLORREF c) {
    cairo_lib()->set_source_rgba(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0, 1.0);
}

void fill_rect(cairo_t* cr, const RECT& r, COLORREF colour) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    const CairoLib* c = cairo_lib();
    set_colour(cr, colour);
    c->new_path(cr);
    c->rectangle(cr, r.left, r.top, r.width(), r.height());
    c->fill(cr);
}

void frame_rect(cairo_t* cr, const RECT& r, COLORREF colour, int32_t width) {
    fill_rect(cr, RECT{r.left, r.top, r.right, r.top + width}, colour);
    fill_rect(cr, RECT{r.left, r.bottom - width, r.right, r.bottom}, colour);
    fill_rect(cr, RECT{r.left, r.top + width, r.left + width, r.bottom - width}, colour);
    fill_rect(cr, RECT{r.right - width, r.top + width, r.right, r.bottom - width}, colour);
}

COLORREF blend(COLORREF a, COLORREF b, uint32_t amount) {
    COLORREF out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t x = (a >> shift) & 0xFF, y = (b >> shift) & 0xFF;
        out |= ((x * (255 - amount) + y * amount + 127) / 255) << shift;
    }
    return out;
}

}  // namespace nuv::host::controls
