// The sixteen window classes of face windows and the subclass procedures of four of them.
#include "gui/backend/classes.h"

#include <string>

#include "gui/backend/window_proc.h"
#include "host/clipboard.h"
#include "host/controls/controls.h"
#include "host/controls/edit.h"
#include "host/utf.h"
#include "host/win/displays.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/output.h"

namespace nuv::gui::backend {

namespace {

namespace win = host::win;
namespace ctl = host::controls;
using win::HWND;
using win::LRESULT;

// The original procedures the subclass procedures forward to.
struct Originals {
    win::WNDPROC combo = nullptr, statik = nullptr, calendar = nullptr, edit = nullptr;
};
Originals g_originals;

// Where a superclass keeps its base's procedure, when it replaces it.
using OriginalSlot = win::WNDPROC Originals::*;

struct Superclass {
    std::u16string_view name, base;
    win::WNDPROC subclass;  // null: the base's own procedure
    OriginalSlot original;  // null: nothing kept
};

// In registration order: "NuvField" is built on "NuvArea", registered just before it.
constexpr Superclass kSuperclasses[] = {
    {kButtonFaceClass, ctl::kButtonClass, nullptr, nullptr},
    {kListBoxFaceClass, ctl::kListBoxClass, nullptr, nullptr},
    {kProgressFaceClass, ctl::kProgressClass, nullptr, nullptr},
    {kSliderFaceClass, ctl::kTrackbarClass, nullptr, nullptr},
    {kScrollerFaceClass, ctl::kScrollBarClass, nullptr, nullptr},
    {kTabPanelFaceClass, ctl::kTabClass, nullptr, nullptr},
    {kComboFaceClass, ctl::kComboBoxClass, combo_subclass_procedure, &Originals::combo},
    {kTextFaceClass, ctl::kStaticClass, static_subclass_procedure, &Originals::statik},
    {kCalendarFaceClass, ctl::kMonthCalClass, calendar_subclass_procedure, &Originals::calendar},
    {kAreaFaceClass, ctl::kEditClass, edit_subclass_procedure, &Originals::edit},
    {kFieldFaceClass, kAreaFaceClass, nullptr, nullptr},
};

// The own classes: the window procedure of faces for windows and panels; the custom-drawn,
// internal and camera faces get the default procedure until theirs exist.
constexpr uint32_t COLOR_BACKGROUND = 1;
struct OwnClass {
    std::u16string_view name;
    win::WNDPROC proc;
    int colour;  // the system colour of the background
};
constexpr OwnClass kOwnClasses[] = {
    {kWindowClass, window_procedure, win::COLOR_BTNFACE},
    {kPanelClass, window_procedure, win::COLOR_BTNFACE},
    {kBaseClass, win::DefWindowProc, win::COLOR_BTNFACE},
    {kBaseInternalClass, win::DefWindowProc, win::COLOR_BTNFACE},
    {kCameraClass, win::DefWindowProc, COLOR_BACKGROUND},
};
static_assert(std::size(kOwnClasses) + std::size(kSuperclasses) == kClassCount);

// A system colour (0x00BBGGRR) as an opaque 0xAARRGGBB.
uint32_t background_of(int colour) { return ctl::argb(win::GetSysColor(colour)); }

// Prints the line and raises not-here with the base class's name.
[[noreturn]] void base_unreadable(std::u16string_view base) {
    constexpr std::string_view kLine = "*** Error in GetClassInfoEx\n";
    output::write_text(kLine.data(), kLine.size());
    const std::string name = host::utf8_of(base);
    Cell word{};
    word::make_at(symbol::make_utf8(reinterpret_cast<const uint8_t*>(name.data()), name.size()), &word);
    fire(Err::NotHere, &word);
}

bool registered(std::u16string_view name) {
    win::WNDCLASS known;
    return win::GetClassInfo(name, &known);
}

}  // namespace

void register_window_classes() {
    win::WNDCLASS own;
    own.style = win::CS_VREDRAW | win::CS_HREDRAW | win::CS_DBLCLKS;
    own.cursor = win::LoadCursor(win::IDC_ARROW);
    for (const OwnClass& c : kOwnClasses) {
        if (registered(c.name)) continue;
        own.name = c.name;
        own.proc = c.proc;
        own.background = background_of(c.colour);
        win::RegisterClass(own);
    }
    for (const Superclass& s : kSuperclasses) {
        win::WNDCLASS cls;
        if (!win::GetClassInfo(s.base, &cls)) base_unreadable(s.base);
        if (s.original) g_originals.*s.original = cls.proc;
        if (registered(s.name)) continue;
        cls.name = s.name;
        if (s.subclass) cls.proc = s.subclass;
        win::RegisterClass(cls);
    }
}

void unregister_window_classes() {
    for (const OwnClass& c : kOwnClasses) win::UnregisterClass(c.name);
    for (const Superclass& s : kSuperclasses) win::UnregisterClass(s.name);
}

bool window_classes_registered() {
    for (const OwnClass& c : kOwnClasses)
        if (!registered(c.name)) return false;
    for (const Superclass& s : kSuperclasses)
        if (!registered(s.name)) return false;
    return true;
}

// ---- Subclass procedures

// Context menus over drop-down faces come with the menus; until then the control has it all.
LRESULT combo_subclass_procedure(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    return win::CallWindowProc(g_originals.combo, hwnd, message, wParam, lParam);
}

// A text face takes the mouse: it is hit, and it keeps the capture from press to release.
LRESULT static_subclass_procedure(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    switch (message) {
    case win::WM_LBUTTONDOWN: win::SetCapture(hwnd); return 0;
    case win::WM_LBUTTONUP: win::ReleaseCapture(); return 0;
    case win::WM_NCHITTEST: return win::HTCLIENT;
    default: return win::CallWindowProc(g_originals.statik, hwnd, message, wParam, lParam);
    }
}

LRESULT calendar_subclass_procedure(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (message == win::WM_LBUTTONDOWN) win::SetFocus(hwnd);
    return win::CallWindowProc(g_originals.calendar, hwnd, message, wParam, lParam);
}

LRESULT edit_subclass_procedure(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    switch (message) {
    case win::WM_PASTE: {
        // The limit grows so that the clipboard's text arrives whole.
        std::string text;
        if (host::clipboard::read_text(&text) && !text.empty()) {
            const int64_t block = (static_cast<int64_t>(host::utf16_of(text).size()) + 1) * 2;
            const int64_t limit = win::SendMessage(hwnd, ctl::EM_GETLIMITTEXT, 0, 0);
            const int64_t length = win::SendMessage(hwnd, win::WM_GETTEXTLENGTH, 0, 0);
            const int64_t wanted = length + block + kPasteRoom;
            if (limit < wanted && wanted <= ctl::kEditMaxLimit)
                win::SendMessage(hwnd, ctl::EM_SETLIMITTEXT, static_cast<intptr_t>(wanted), 0);
        }
        break;
    }
    case win::WM_CHAR: {
        const bool multi_line = win::GetWindowLong(hwnd, win::GWL_STYLE) & ctl::ES_MULTILINE;
        // The key events of Enter and Tab are raised already; the control neither beeps nor
        // takes them.
        if (!multi_line && (wParam == 13 || wParam == 9)) return 0;
        if (multi_line && wParam == 1) {
            win::SendMessage(hwnd, ctl::EM_SETSEL, 0, -1);
            return 1;
        }
        break;
    }
    default: break;
    }
    return win::CallWindowProc(g_originals.edit, hwnd, message, wParam, lParam);
}

}  // namespace nuv::gui::backend
