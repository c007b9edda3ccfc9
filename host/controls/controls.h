// The native controls: window procedures of the window model registered under the system class
// names, drawn with Cairo and the device-context text of host/gfx. This header holds what every
// control shares: registering the classes, the notifications a control sends its parent
// (WM_COMMAND codes and WM_NOTIFY records), the font slot, the light and dark palettes and the
// WM_CTLCOLOR* ask that lets the parent choose a control's colours. No language values.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "host/gfx/fonts.h"
#include "host/win/window.h"

namespace nuv::host::controls {

using gfx::COLORREF;
using gfx::HBRUSH;
using gfx::HFONT;
using win::HWND;
using win::LRESULT;
using win::POINT;
using win::RECT;

// ---- Classes

inline constexpr std::u16string_view kButtonClass = u"BUTTON";
inline constexpr std::u16string_view kStaticClass = u"STATIC";
inline constexpr std::u16string_view kScrollBarClass = u"SCROLLBAR";
inline constexpr std::u16string_view kProgressClass = u"msctls_progress32";
inline constexpr std::u16string_view kTrackbarClass = u"msctls_trackbar32";
inline constexpr std::u16string_view kEditClass = u"EDIT";
inline constexpr std::u16string_view kListBoxClass = u"ListBox";
inline constexpr std::u16string_view kComboBoxClass = u"ComboBox";
inline constexpr std::u16string_view kTabClass = u"SysTabControl32";
inline constexpr std::u16string_view kMonthCalClass = u"SysMonthCal32";

// Registers every control class; later calls change nothing. False when a class could not be
// registered (its name taken by another procedure).
bool register_classes();
// Registers a control's class, without a background (a control paints all of itself). True when
// the name is already registered with this procedure; false when another one holds it.
bool register_control(std::u16string_view name, win::WNDPROC proc, win::HCURSOR cursor, uint32_t style);
// One per control file; each registers its class unless already registered.
bool register_button();
bool register_static();
bool register_scrollbar();
bool register_progress();
bool register_trackbar();
bool register_listbox();
bool register_combobox();
bool register_tab();
bool register_monthcal();

// ---- Messages every control answers or sends

enum : uint32_t {
    WM_SETFONT = 0x0030,  // wParam: the font (0: the stock GUI font); lParam non-zero: redraw
    WM_GETFONT = 0x0031,  // answers the font drawn with
    WM_NOTIFY = 0x004E,   // wParam: the control's id; lParam: its NMHDR
    WM_CTLCOLORSCROLLBAR = 0x0137,
};

// The record at the head of every WM_NOTIFY.
struct NMHDR {
    HWND hwndFrom = 0;
    uintptr_t idFrom = 0;
    int32_t code = 0;
};
enum : int32_t {
    NM_CUSTOMDRAW = -12,
    TCN_SELCHANGE = -551,
    TCN_SELCHANGING = -552,
    MCN_SELCHANGE = -749,
};

// NM_CUSTOMDRAW: a button asks before it draws its text; CDRF_SKIPDEFAULT leaves the text to
// the parent, which has drawn it on hdc within rc.
struct NMCUSTOMDRAW {
    NMHDR hdr;
    uint32_t dwDrawStage = 0;
    cairo_t* hdc = nullptr;
    RECT rc;
    uintptr_t dwItemSpec = 0;
    uint32_t uItemState = 0;
    intptr_t lItemlParam = 0;
};
enum : uint32_t { CDDS_PREPAINT = 1 };
enum : LRESULT { CDRF_DODEFAULT = 0, CDRF_SKIPDEFAULT = 4 };
enum : uint32_t {
    CDIS_SELECTED = 0x01,
    CDIS_DISABLED = 0x04,
    CDIS_CHECKED = 0x08,
    CDIS_FOCUS = 0x10,
    CDIS_DEFAULT = 0x20,
    CDIS_HOT = 0x40,
};

// WM_COMMAND's wParam: the control's id in the low word, the notification code in the high.
inline intptr_t command_wparam(uintptr_t id, uint32_t code) {
    return static_cast<intptr_t>(((code & 0xFFFF) << 16) | (id & 0xFFFF));
}

// Sends WM_COMMAND with the code and the control in lParam to the control's parent. Answers
// whether the control is still alive afterwards: a handler may destroy it, and then the caller
// must not touch its state.
bool notify_command(HWND control, uint32_t code);

// Fills the record's head (the control, its id, the code) and sends it in WM_NOTIFY to the
// parent.
struct Notified {
    LRESULT answer = 0;
    bool alive = false;  // the control outlived the handler
};
Notified notify(HWND control, NMHDR* record, int32_t code);

// ---- Fonts

// The font a control draws with: WM_SETFONT's, else the stock GUI font.
struct FontSlot {
    HFONT font = 0;
    HFONT get() const;
};
// Answers WM_SETFONT and WM_GETFONT for the slot (true: the message was one of them).
bool font_message(FontSlot& slot, HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam, LRESULT* answer);

// ---- Palettes

// The colours a control paints with (COLORREF, 0x00BBGGRR).
struct Palette {
    COLORREF face;           // buttons, the static's and group box's default background
    COLORREF face_hot;       // a button under the pointer
    COLORREF face_pressed;   // a button held down, a checked push-like button
    COLORREF border;         // button and box outlines
    COLORREF text;           // text on faces
    COLORREF text_disabled;  // text and marks of a disabled control
    COLORREF window;         // fields, lists, check boxes' insides
    COLORREF window_text;    // text in fields and lists
    COLORREF accent;         // marks, bars, thumbs, the focus ring and the default button's rim
    COLORREF selection;      // a selected item's background
    COLORREF selection_text;
    COLORREF track;          // scroll bar and trackbar grooves, the progress bar's empty part
};
const Palette& light_palette();
const Palette& dark_palette();
// A window's palette: dark once set_dark(hwnd, true) was called for it, else light. Setting it
// repaints the window.
void set_dark(HWND hwnd, bool dark);
bool is_dark(HWND hwnd);
const Palette& palette(HWND hwnd);

// A solid brush of the colour, made once and kept for the process.
HBRUSH palette_brush(COLORREF colour);

// Asks the parent for the control's colours: the defaults go on the DC (`text`, `back` as the
// background colour, an opaque background), then `message` (one of WM_CTLCOLOR*) with the DC
// and the control goes to the parent, which may change them on the DC and answer a brush.
// Answers the brush to fill the background with: the parent's when it is a brush, else one of
// `back`. 0 when the control did not outlive the ask.
HBRUSH ask_colours(HWND control, uint32_t message, cairo_t* dc, COLORREF text, COLORREF back);

// ---- Drawing

// A size at 96 DPI scaled to the window's display.
int32_t scaled(HWND hwnd, int32_t size);
void set_colour(cairo_t* cr, COLORREF colour);
void fill_rect(cairo_t* cr, const RECT& rect, COLORREF colour);
// A line of `width` pixels just inside the rectangle.
void frame_rect(cairo_t* cr, const RECT& rect, COLORREF colour, int32_t width);
// Mixes two colours: `amount` of b (0 .. 255) over a.
COLORREF blend(COLORREF a, COLORREF b, uint32_t amount);

// ---- Per-window state

// Each control keeps its state by window id, made at WM_NCCREATE and dropped at WM_NCDESTROY.
// A superclass calls the control's procedure with its own windows, so no class name is looked at.
template <class State>
class StateTable {
public:
    State* make(HWND hwnd) { return (map_[hwnd] = std::make_unique<State>()).get(); }
    State* get(HWND hwnd) const {
        auto it = map_.find(hwnd);
        return it == map_.end() ? nullptr : it->second.get();
    }
    void drop(HWND hwnd) { map_.erase(hwnd); }
    size_t size() const { return map_.size(); }

private:
    std::unordered_map<HWND, std::unique_ptr<State>> map_;
};

}  // namespace nuv::host::controls
