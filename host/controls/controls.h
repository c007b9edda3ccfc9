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
bool register_edit();
bool register_listbox();
bool register_combobox();
bool register_tab();
bool register_monthcal();

// ---- Messages every control answers or sends

inline constexpr uint32_t WM_SETFONT = 0x0030;  // wParam: the font (0: the stock GUI font); lParam non-zero: redraw
inline constexpr uint32_t WM_GETFONT = 0x0031;  // answers the font drawn with
inline constexpr uint32_t WM_NOTIFY = 0x004E;  // wParam: the control's id; lParam: its NMHDR
inline constexpr uint32_t WM_CTLCOLORSCROLLBAR = 0x0137;

// The record at the head of every WM_NOTIFY.
struct NMHDR {
    HWND hwndFrom = 0;
    uintptr_t idFrom = 0;
    int32_t code = 0;
};
inline constexpr int32_t NM_CUSTOMDRAW = -12;
inline constexpr int32_t TCN_SELCHANGE = -551;
inline constexpr int32_t TCN_SELCHANGING = -552;
inline constexpr int32_t MCN_SELCHANGE = -749;

// NM_CUSTOMDRAW: a button asks before it draws its text; CDRF_SKIPDEFAULT leaves the text to
// the parent, which has drawn it on hdc within rc.
struct NMCUSTOMDRAW {
    NMHDR hdr;
    uint32_t dwDrawStage = 0;
    cairo_t* hdc = nullptr;
    RECT rc;
    uintptr_t dwItem = 0;  // the item drawn; 0 for a button
    uint32_t uItemState = 0;
    intptr_t lItemlParam = 0;
};
inline constexpr uint32_t CDDS_PREPAINT = 1;
inline constexpr LRESULT CDRF_DODEFAULT = 0;
inline constexpr LRESULT CDRF_SKIPDEFAULT = 4;
inline constexpr uint32_t CDIS_SELECTED = 0x01;
inline constexpr uint32_t CDIS_DISABLED = 0x04;
inline constexpr uint32_t CDIS_CHECKED = 0x08;
inline constexpr uint32_t CDIS_FOCUS = 0x10;
inline constexpr uint32_t CDIS_DEFAULT = 0x20;
inline constexpr uint32_t CDIS_HOT = 0x40;

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

// Sends WM_VSCROLL (vertical) or WM_HSCROLL to the parent: the request in the low word, the
// position in the high word, the control in lParam. Answers whether the control outlived it.
bool notify_scroll(HWND control, bool vertical, uint32_t request, int32_t position);

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

// The pointer over a control, which is drawn lit: a move lights it and asks for WM_MOUSELEAVE,
// which puts it out. Each redraws the control when the state changes.
void track_hot(HWND hwnd, bool* hot);
void leave_hot(HWND hwnd, bool* hot);

// ---- Drawing

// A size at 96 DPI scaled to the window's display.
int32_t scaled(HWND hwnd, int32_t size);
void set_colour(cairo_t* cr, COLORREF colour);
// The colour, opaque, as 0xAARRGGBB.
inline uint32_t argb(COLORREF c) {
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
void fill_rect(cairo_t* cr, const RECT& rect, COLORREF colour);
// A line of `width` pixels just inside the rectangle.
void frame_rect(cairo_t* cr, const RECT& rect, COLORREF colour, int32_t width);
// Mixes two colours: `amount` of b (0 .. 255) over a.
COLORREF blend(COLORREF a, COLORREF b, uint32_t amount);

// A held arrow, page area or key repeats its request: first after the delay, then at the
// interval (milliseconds), on the control's timer of this id.
inline constexpr uint32_t kRepeatDelay = 400;
inline constexpr uint32_t kRepeatInterval = 50;
inline constexpr uintptr_t kRepeatTimer = 0x7E01;

// ---- BUTTON

inline constexpr uint32_t BS_PUSHBUTTON = 0x0;
inline constexpr uint32_t BS_DEFPUSHBUTTON = 0x1;
inline constexpr uint32_t BS_CHECKBOX = 0x2;
inline constexpr uint32_t BS_AUTOCHECKBOX = 0x3;
inline constexpr uint32_t BS_RADIOBUTTON = 0x4;
inline constexpr uint32_t BS_3STATE = 0x5;
inline constexpr uint32_t BS_AUTO3STATE = 0x6;
inline constexpr uint32_t BS_GROUPBOX = 0x7;
inline constexpr uint32_t BS_AUTORADIOBUTTON = 0x9;
inline constexpr uint32_t BS_TYPEMASK = 0xF;
inline constexpr uint32_t BS_BITMAP = 0x80;  // the image alone, no text
inline constexpr uint32_t BS_LEFT = 0x100;
inline constexpr uint32_t BS_RIGHT = 0x200;
inline constexpr uint32_t BS_CENTER = 0x300;
inline constexpr uint32_t BS_TOP = 0x400;
inline constexpr uint32_t BS_BOTTOM = 0x800;
inline constexpr uint32_t BS_VCENTER = 0xC00;
// A check box or radio button drawn as a push button, down while checked.
inline constexpr uint32_t BS_PUSHLIKE = 0x1000;
inline constexpr uint32_t BS_MULTILINE = 0x2000;
inline constexpr uint32_t BM_GETCHECK = 0x00F0;
inline constexpr uint32_t BM_SETCHECK = 0x00F1;  // wParam: BST_*; other values change nothing
inline constexpr uint32_t BM_GETSTATE = 0x00F2;
inline constexpr uint32_t BM_SETSTATE = 0x00F3;  // wParam non-zero: drawn pushed
inline constexpr uint32_t BM_SETSTYLE = 0x00F4;  // wParam: the new low 16 style bits; lParam non-zero: redraw
inline constexpr uint32_t BM_CLICK = 0x00F5;  // as a click by the mouse
inline constexpr uint32_t BCM_SETIMAGELIST = 0x1602;  // lParam: const BUTTON_IMAGELIST*; FALSE for none
inline constexpr uint32_t BCM_GETIMAGELIST = 0x1603;  // lParam: BUTTON_IMAGELIST* to fill; FALSE for none
inline constexpr uint32_t BST_UNCHECKED = 0;
inline constexpr uint32_t BST_CHECKED = 1;
inline constexpr uint32_t BST_INDETERMINATE = 2;
inline constexpr uint32_t BST_PUSHED = 4;
inline constexpr uint32_t BST_FOCUS = 8;
inline constexpr uint32_t BST_HOT = 0x200;
inline constexpr uint32_t BN_CLICKED = 0;

// A button's images: one, or six for its states (normal, hot, pressed, disabled, default,
// stylus-hot), placed by the alignment inside the margin.
inline constexpr uint32_t BUTTON_IMAGELIST_ALIGN_LEFT = 0;
inline constexpr uint32_t BUTTON_IMAGELIST_ALIGN_RIGHT = 1;
inline constexpr uint32_t BUTTON_IMAGELIST_ALIGN_TOP = 2;
inline constexpr uint32_t BUTTON_IMAGELIST_ALIGN_BOTTOM = 3;
inline constexpr uint32_t BUTTON_IMAGELIST_ALIGN_CENTER = 4;
struct BUTTON_IMAGELIST {
    intptr_t himl = 0;  // an image list (host/controls/imagelist.h); 0 or -1: none
    RECT margin;
    uint32_t uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
};

// ---- STATIC: text on the parent's colours, transparent to the mouse

inline constexpr uint32_t SS_LEFT = 0x0;
inline constexpr uint32_t SS_CENTER = 0x1;
inline constexpr uint32_t SS_RIGHT = 0x2;
inline constexpr uint32_t SS_SIMPLE = 0xB;
inline constexpr uint32_t SS_LEFTNOWORDWRAP = 0xC;
inline constexpr uint32_t SS_TYPEMASK = 0x1F;
inline constexpr uint32_t SS_NOPREFIX = 0x80;
inline constexpr uint32_t SS_CENTERIMAGE = 0x200;  // one line, centred vertically
inline constexpr uint32_t SS_ENDELLIPSIS = 0x4000;

// ---- SCROLLBAR: its bar is the window's SB_CTL scroll info; requests go to the parent as
// WM_HSCROLL or WM_VSCROLL with the control in lParam.

inline constexpr uint32_t SBS_HORZ = 0x0;
inline constexpr uint32_t SBS_VERT = 0x1;

// ---- msctls_progress32

inline constexpr uint32_t PBS_VERTICAL = 0x4;
// lParam: min in the low 16 bits, max in the high; answers the old pair.
inline constexpr uint32_t PBM_SETRANGE = 0x0401;
inline constexpr uint32_t PBM_SETPOS = 0x0402;  // answers the old position
inline constexpr uint32_t PBM_SETRANGE32 = 0x0406;  // wParam: min, lParam: max; answers the old pair
// wParam non-zero: answers the min, else the max; lParam: a PBRANGE to fill, or 0.
inline constexpr uint32_t PBM_GETRANGE = 0x0407;
inline constexpr uint32_t PBM_GETPOS = 0x0408;
struct PBRANGE {
    int32_t iLow = 0, iHigh = 0;
};

// ---- msctls_trackbar32: requests go to the parent as WM_HSCROLL (WM_VSCROLL when vertical)
// with TB_* in the low word, the position in the high word, the control in lParam.

inline constexpr uint32_t TBS_HORZ = 0x0;
inline constexpr uint32_t TBS_VERT = 0x2;
inline constexpr uint32_t TBS_DOWNISLEFT = 0x400;
inline constexpr uint32_t TBM_GETPOS = 0x0400;
inline constexpr uint32_t TBM_GETRANGEMIN = 0x0401;
inline constexpr uint32_t TBM_GETRANGEMAX = 0x0402;
inline constexpr uint32_t TBM_SETPOS = 0x0405;  // wParam: redraw; lParam: the position, kept within the range
inline constexpr uint32_t TBM_SETRANGE = 0x0406;  // wParam: redraw; lParam: min in the low 16 bits, max in the high
inline constexpr uint32_t TBM_SETRANGEMIN = 0x0407;  // wParam: redraw; lParam: min
inline constexpr uint32_t TBM_SETRANGEMAX = 0x0408;  // wParam: redraw; lParam: max
inline constexpr uint32_t TBM_SETPAGESIZE = 0x0415;  // answers the old size
inline constexpr uint32_t TBM_GETPAGESIZE = 0x0416;
inline constexpr uint32_t TBM_SETLINESIZE = 0x0417;
inline constexpr uint32_t TBM_GETLINESIZE = 0x0418;
inline constexpr uint32_t TB_LINEUP = 0;
inline constexpr uint32_t TB_LINEDOWN = 1;
inline constexpr uint32_t TB_PAGEUP = 2;
inline constexpr uint32_t TB_PAGEDOWN = 3;
inline constexpr uint32_t TB_THUMBPOSITION = 4;
inline constexpr uint32_t TB_THUMBTRACK = 5;
inline constexpr uint32_t TB_TOP = 6;
inline constexpr uint32_t TB_BOTTOM = 7;
inline constexpr uint32_t TB_ENDTRACK = 8;

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

// The handling every control procedure starts with: its state made at WM_NCCREATE and dropped
// at WM_NCDESTROY, the font slot's messages (the state has a FontSlot `font`), no erasing (a
// control paints all of itself), and a new text redrawn. Answers the state when the message is
// left to the control, else null with *answer set.
template <class State>
State* control_state(StateTable<State>& table, HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam,
                     LRESULT* answer) {
    State* state = message == win::WM_NCCREATE ? table.make(hwnd) : table.get(hwnd);
    if (!state || message == win::WM_NCCREATE) {
        *answer = win::DefWindowProc(hwnd, message, wParam, lParam);
        return nullptr;
    }
    if (font_message(state->font, hwnd, message, wParam, lParam, answer)) return nullptr;
    switch (message) {
    case win::WM_NCDESTROY:
        table.drop(hwnd);
        *answer = win::DefWindowProc(hwnd, message, wParam, lParam);
        return nullptr;
    case win::WM_ERASEBKGND: *answer = 1; return nullptr;
    case win::WM_SETTEXT:
        *answer = win::DefWindowProc(hwnd, message, wParam, lParam);
        win::InvalidateRect(hwnd, nullptr, false);
        return nullptr;
    default: return state;
    }
}

// Paints a control in WM_PAINT: asks the parent for its colours with `ctlcolor` (the palette's
// `text` and `back` by default), fills the client with the brush answered, selects the font and
// calls draw(dc, brush, palette, client) unless the ask destroyed the control.
template <class Draw>
void paint_control(HWND hwnd, HFONT font, uint32_t ctlcolor, COLORREF Palette::*text, COLORREF Palette::*back,
                   Draw draw) {
    win::PAINTSTRUCT ps;
    cairo_t* dc = win::BeginPaint(hwnd, &ps);
    if (!dc) return;
    const Palette& p = palette(hwnd);
    if (const HBRUSH brush = ask_colours(hwnd, ctlcolor, dc, p.*text, p.*back)) {
        RECT client;
        win::GetClientRect(hwnd, &client);
        gfx::FillRect(dc, client, brush);
        gfx::SelectObject(dc, font);
        draw(dc, brush, p, client);
    }
    win::EndPaint(hwnd, &ps);
}

}  // namespace nuv::host::controls
