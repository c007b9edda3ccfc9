// The desktop window model the GUI backend is written against: classes and window procedures,
// windows with 32-bit ids in a tree of parents, owners and z-order, one message queue with
// timers, invalid regions painted into a Cairo image surface per window, and the compositor that
// makes each top-level window's frame. Ids are never reused; every call with a stale id fails.
// Everything runs on the GUI thread except PostMessage. No language values, no SDL: the SDL side
// feeds input through post_input/mouse_input and shows the frames compose_frame makes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/win/messages.h"

typedef struct _cairo cairo_t;

namespace nuv::host::win {

using HWND = uint32_t;  // 0: none; ids start at 2 and are never reused
using HCURSOR = uint32_t;
using HDWP = uint32_t;
using LRESULT = intptr_t;
using WNDPROC = LRESULT (*)(HWND, uint32_t message, intptr_t wParam, intptr_t lParam);
using TIMERPROC = void (*)(HWND, uint32_t message, uintptr_t id, uint32_t time);

struct MSG {
    HWND hwnd = 0;
    uint32_t message = 0;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
    uint32_t time = 0;  // the model's clock, in milliseconds
    POINT pt;           // the cursor on the screen when the message was queued
};

// A point packed in a message parameter: signed x in the low 16 bits, signed y in the next 16.
inline intptr_t point_lparam(int32_t x, int32_t y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}
inline int32_t lparam_x(intptr_t l) { return static_cast<int16_t>(l & 0xFFFF); }
inline int32_t lparam_y(intptr_t l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }

// Window styles and extended styles.
enum : uint32_t {
    WS_OVERLAPPED = 0,
    WS_POPUP = 0x80000000,
    WS_CHILD = 0x40000000,
    WS_MINIMIZE = 0x20000000,
    WS_VISIBLE = 0x10000000,
    WS_DISABLED = 0x08000000,
    WS_CLIPSIBLINGS = 0x04000000,
    WS_CLIPCHILDREN = 0x02000000,
    WS_MAXIMIZE = 0x01000000,
    WS_CAPTION = 0x00C00000,
    WS_BORDER = 0x00800000,
    WS_DLGFRAME = 0x00400000,
    WS_VSCROLL = 0x00200000,
    WS_HSCROLL = 0x00100000,
    WS_SYSMENU = 0x00080000,
    WS_THICKFRAME = 0x00040000,
    WS_GROUP = 0x00020000,
    WS_TABSTOP = 0x00010000,
    WS_MINIMIZEBOX = 0x00020000,
    WS_MAXIMIZEBOX = 0x00010000,
};
enum : uint32_t {
    WS_EX_TOPMOST = 0x00000008,
    WS_EX_TRANSPARENT = 0x00000020,
    WS_EX_TOOLWINDOW = 0x00000080,
    WS_EX_CLIENTEDGE = 0x00000200,
    WS_EX_LAYERED = 0x00080000,
    WS_EX_COMPOSITED = 0x02000000,
    WS_EX_NOACTIVATE = 0x08000000,
};
enum : uint32_t { CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002, CS_DBLCLKS = 0x0008 };

// Non-client messages: mouse input over a window's frame, its hit-test code in wParam and the
// screen point in lParam.
enum : uint32_t {
    WM_NCMOUSEMOVE = 0x00A0,
    WM_NCLBUTTONDOWN = 0x00A1,
    WM_NCLBUTTONUP = 0x00A2,
    WM_NCLBUTTONDBLCLK = 0x00A3,
};

// Answers of WM_NCHITTEST.
enum : int32_t {
    HTERROR = -2,
    HTTRANSPARENT = -1,
    HTNOWHERE = 0,
    HTCLIENT = 1,
    HTMENU = 5,
    HTHSCROLL = 6,
    HTVSCROLL = 7,
    HTBORDER = 18,
};

// The non-client sizes at 96 DPI: a border of WS_BORDER (without a caption) and of
// WS_EX_CLIENTEDGE, a scroll bar's width, the menu-bar strip. A window's frame has them scaled
// by its top-level window's DPI (size × DPI / 96), which follows the display it is on once
// WM_DPICHANGED has told it. A caption or sizing frame counts 0: those decorations belong to the
// screen's window, outside the model's rectangles.
inline constexpr int kBorderSize = 1;
inline constexpr int kClientEdgeSize = 2;
inline constexpr int kScrollBarSize = 16;
inline constexpr int kMenuBarHeight = 20;

// ---- Classes

struct WNDCLASS {
    uint32_t style = 0;
    WNDPROC proc = nullptr;
    HCURSOR cursor = 0;
    std::optional<uint32_t> background;  // 0xAARRGGBB that WM_ERASEBKGND fills with; none: left as is
    std::u16string name;                 // compared without regard to ASCII case
};

// False when the name is taken or empty, or the class has no procedure.
bool RegisterClass(const WNDCLASS& cls);
bool GetClassInfo(std::u16string_view name, WNDCLASS* out);
bool UnregisterClass(std::u16string_view name);
// Calls a procedure as the model calls procedures: the window stays readable during the call.
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam);

// ---- Windows

// What WM_NCCREATE and WM_CREATE carry in lParam.
struct CREATESTRUCT {
    void* lpCreateParams = nullptr;
    intptr_t hMenu = 0;
    HWND hwndParent = 0;
    int32_t cy = 0, cx = 0, y = 0, x = 0;
    uint32_t style = 0;
    std::u16string_view lpszName;
    std::u16string_view lpszClass;
    uint32_t dwExStyle = 0;
};

// The backend's typed slots of each window, zero at creation.
struct WindowExtra {
    uint32_t face_slot = 0;        // the face's resource-table slot; 0: the window has no face
    uint32_t face_flags = 0;       // the face's flag bits
    intptr_t companion = 0;        // the companion window; -1: the window closes without raising close
    uint32_t client_position = 0;  // x in the low 16 bits, y in the high 16
    uint32_t flag_word = 0;
    uint32_t client_origin = 0;  // 0: not yet known
    intptr_t last_event = 0;     // last interactive event of a window face, caret window of a base face
    uint32_t cursor_word = 0;
    void* render_target = nullptr;
    intptr_t gui_font = 0;  // per-window font of a window face, capture count of a base face
    HWND host_window = 0;   // internal host or stored parent of a layered base face
    void* draw_context = nullptr;
    intptr_t icon = 0;
    intptr_t show_state = 0;  // the show and visibility operations' slot
};

// The parent's id (0: a top-level window); a top-level window's parent becomes its owner.
// hMenu is a child's id, or a top-level window's menu (non-zero: it has the menu-bar strip).
// 0 when the class is unknown, the parent is gone, WM_NCCREATE answers 0, WM_CREATE answers -1,
// or the window's surface cannot be made.
HWND CreateWindowEx(uint32_t ex_style, std::u16string_view class_name, std::u16string_view text, uint32_t style,
                    int32_t x, int32_t y, int32_t width, int32_t height, HWND parent, intptr_t hMenu,
                    void* param);
// Destroys the window, the windows it owns and its children: WM_DESTROY parent first, children
// top of z-order first, then WM_NCDESTROY children first. False for a stale id.
bool DestroyWindow(HWND hwnd);
bool IsWindow(HWND hwnd);
// The window's slots; null for a stale id. A window destroyed while one of its procedures runs
// stays readable until that call returns.
WindowExtra* GetWindowExtra(HWND hwnd);

enum : int32_t { GWL_STYLE = -16, GWL_EXSTYLE = -20, GWLP_ID = -12 };
intptr_t GetWindowLong(HWND hwnd, int32_t index);
// Changes a style word (the frame follows: scroll bars, border); answers the old value, 0 on failure.
intptr_t SetWindowLong(HWND hwnd, int32_t index, intptr_t value);
bool GetClassName(HWND hwnd, std::u16string* name);
bool SetMenu(HWND hwnd, intptr_t menu);
intptr_t GetMenu(HWND hwnd);

// Window text, through WM_SETTEXT (lParam: a NUL-ended const char16_t*) and WM_GETTEXTLENGTH /
// WM_GETTEXT (wParam: room in units with the NUL, lParam: char16_t*; answers the units copied).
bool SetWindowText(HWND hwnd, std::u16string_view text);
std::u16string GetWindowText(HWND hwnd);
int32_t GetWindowTextLength(HWND hwnd);

// ---- Tree and geometry

enum : HWND { HWND_TOP = 0, HWND_BOTTOM = 1, HWND_TOPMOST = 0xFFFFFFFF, HWND_NOTOPMOST = 0xFFFFFFFE };
enum : uint32_t {
    SWP_NOSIZE = 0x0001,
    SWP_NOMOVE = 0x0002,
    SWP_NOZORDER = 0x0004,
    SWP_NOREDRAW = 0x0008,
    SWP_NOACTIVATE = 0x0010,
    SWP_FRAMECHANGED = 0x0020,
    SWP_SHOWWINDOW = 0x0040,
    SWP_HIDEWINDOW = 0x0080,
    SWP_NOCOPYBITS = 0x0100,
    SWP_NOOWNERZORDER = 0x0200,
    SWP_NOSENDCHANGING = 0x0400,
    SWP_STATECHANGED = 0x8000,
};
// What WM_WINDOWPOSCHANGING and WM_WINDOWPOSCHANGED carry in lParam.
struct WINDOWPOS {
    HWND hwnd = 0;
    HWND hwndInsertAfter = 0;
    int32_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t flags = 0;
};
// What WM_GETMINMAXINFO carries in lParam, before a top-level window's size changes.
struct MINMAXINFO {
    POINT ptReserved, ptMaxSize, ptMaxPosition, ptMinTrackSize, ptMaxTrackSize;
};
enum : intptr_t { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// Moves, sizes, restacks, shows or hides: WM_WINDOWPOSCHANGING, the change, WM_WINDOWPOSCHANGED,
// whose default sends WM_MOVE and WM_SIZE. False for a stale id or a surface that cannot be
// made for the new size (the window then keeps its old one).
bool SetWindowPos(HWND hwnd, HWND insert_after, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t flags);
// Batches apply each move at once; a batch handle only carries success through.
HDWP BeginDeferWindowPos(int32_t count);
HDWP DeferWindowPos(HDWP batch, HWND hwnd, HWND insert_after, int32_t x, int32_t y, int32_t cx, int32_t cy,
                    uint32_t flags);
bool EndDeferWindowPos(HDWP batch);
bool MoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t cx, int32_t cy, bool repaint);
bool BringWindowToTop(HWND hwnd);

enum : int32_t {
    SW_HIDE = 0,
    SW_SHOWNORMAL = 1,
    SW_SHOWMINIMIZED = 2,
    SW_SHOWMAXIMIZED = 3,
    SW_MAXIMIZE = 3,
    SW_SHOWNOACTIVATE = 4,
    SW_SHOW = 5,
    SW_MINIMIZE = 6,
    SW_SHOWMINNOACTIVE = 7,
    SW_SHOWNA = 8,
    SW_RESTORE = 9,
    SW_SHOWDEFAULT = 10,
};
// Answers whether the window was visible before. A minimised window sits at (-32000, -32000);
// a maximised one fills the work area.
bool ShowWindow(HWND hwnd, int32_t command);
bool IsWindowVisible(HWND hwnd);  // the window and all its parents
bool IsIconic(HWND hwnd);
bool IsZoomed(HWND hwnd);
// Answers whether the window was disabled before.
bool EnableWindow(HWND hwnd, bool enable);
bool IsWindowEnabled(HWND hwnd);

// The area a maximised window fills (the display side sets it; 1920×1080 at 0,0 until then).
void set_work_area(const RECT& area);

bool GetWindowRect(HWND hwnd, RECT* rect);  // screen coordinates
bool GetClientRect(HWND hwnd, RECT* rect);  // 0, 0, width, height
bool ClientToScreen(HWND hwnd, POINT* point);
bool ScreenToClient(HWND hwnd, POINT* point);
// Grows a client rectangle by the frame that the styles give, sized for the first display's DPI.
bool AdjustWindowRectEx(RECT* rect, uint32_t style, bool menu, uint32_t ex_style);
// The same at a given DPI (the frame's sizes × DPI / 96); false for DPI 0.
bool AdjustWindowRectExForDpi(RECT* rect, uint32_t style, bool menu, uint32_t ex_style, uint32_t dpi);

// The parent of a child, the owner of a popup, else 0.
HWND GetParent(HWND hwnd);
// Returns the old parent; 0 makes the window top-level. 0 on failure.
HWND SetParent(HWND hwnd, HWND parent);
enum : uint32_t { GA_PARENT = 1, GA_ROOT = 2, GA_ROOTOWNER = 3 };
HWND GetAncestor(HWND hwnd, uint32_t flags);
enum : uint32_t { GW_HWNDFIRST = 0, GW_HWNDLAST = 1, GW_HWNDNEXT = 2, GW_HWNDPREV = 3, GW_OWNER = 4, GW_CHILD = 5 };
// Siblings in z-order from the top: NEXT is the one below, PREV the one above.
HWND GetWindow(HWND hwnd, uint32_t relation);
bool IsChild(HWND parent, HWND hwnd);

// The deepest visible, enabled window under a screen point, asking WM_NCHITTEST and passing
// through HTTRANSPARENT.
HWND WindowFromPoint(POINT screen);
enum : uint32_t { CWP_ALL = 0, CWP_SKIPINVISIBLE = 1, CWP_SKIPDISABLED = 2, CWP_SKIPTRANSPARENT = 4 };
// The child under a point of the parent's client area, the parent itself when no child is, 0
// when the point is outside the parent.
HWND ChildWindowFromPointEx(HWND parent, POINT client, uint32_t flags);

// ---- Focus, capture, activation

HWND SetFocus(HWND hwnd);  // WM_KILLFOCUS, WM_SETFOCUS; answers the old focus
HWND GetFocus();
HWND SetCapture(HWND hwnd);
bool ReleaseCapture();  // WM_CAPTURECHANGED to the holder
HWND GetCapture();
enum : intptr_t { WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2 };
HWND SetActiveWindow(HWND hwnd);  // WM_ACTIVATE to both; answers the old one
HWND GetActiveWindow();
bool SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
// The standard cursors: LoadCursor answers the handle of one of these ids (the handle is the id).
enum : HCURSOR {
    IDC_ARROW = 32512,
    IDC_IBEAM = 32513,
    IDC_WAIT = 32514,
    IDC_CROSS = 32515,
    IDC_SIZENWSE = 32642,
    IDC_SIZENESW = 32643,
    IDC_SIZEWE = 32644,
    IDC_SIZENS = 32645,
    IDC_SIZEALL = 32646,
    IDC_NO = 32648,
    IDC_HAND = 32649,
};
// 0 for an id that names no standard cursor.
HCURSOR LoadCursor(uint32_t id);
// A cursor of width × height pixels, 0xAARRGGBB with straight alpha, row by row, its hot spot
// inside it; the pixels are copied. 0 for no pixels, an empty or larger than 256 × 256 image, or a
// hot spot outside it.
HCURSOR CreateCursor(int32_t hot_x, int32_t hot_y, int32_t width, int32_t height, const uint32_t* argb);
// Frees a cursor CreateCursor made; the pointer showing it falls back to none. False for a
// standard cursor or a stale id (ids are never reused).
bool DestroyCursor(HCURSOR cursor);
// The cursor the pointer shows; the display side is told through the event source. A stale
// cursor is refused: the cursor stays and the answer is 0.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
POINT cursor_position();

// ---- The queue

enum : uint32_t { PM_NOREMOVE = 0, PM_REMOVE = 1 };
// 1 for a message, 0 for WM_QUIT. Waits while nothing is due. Filters as PeekMessage.
int32_t GetMessage(MSG* msg, HWND hwnd, uint32_t first, uint32_t last);
// Takes (or looks at) the next message, in the order posted, input, quit, paint, timer.
// hwnd 0 takes any window's; first = last = 0 any message.
bool PeekMessage(MSG* msg, HWND hwnd, uint32_t first, uint32_t last, uint32_t remove);
// From any thread; wakes the waiting loop. hwnd 0 posts to the thread.
bool PostMessage(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam);
// Calls the window's procedure now; 0 for a stale id.
LRESULT SendMessage(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam);
// WM_TIMER with a TimerProc in lParam runs it instead of the window's procedure.
LRESULT DispatchMessage(const MSG* msg);
// Asks the loop to end once the queue's posted and input messages are taken; two asks before
// WM_QUIT is taken give one WM_QUIT, with the last code.
void PostQuitMessage(int32_t code);
uint32_t GetMessagePos();  // the last taken message's point, packed as point_lparam
uint32_t GetMessageTime();
LRESULT DefWindowProc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam);

// The input side's entry: an already-translated key, character or mouse message for its window,
// queued behind earlier input (time 0 is stamped with the clock, a point 0,0 with the cursor).
void post_input(const MSG& msg);
// A mouse message (WM_MOUSEMOVE .. WM_MOUSEHWHEEL) at a screen point with the MK_* keys (and a
// wheel delta in the high 16 bits): goes to the capture holder, else to the window under the
// point (the wheel too), in client coordinates over the client area, else as its WM_NC* twin
// with the hit-test code; moves ask WM_SETCURSOR, presses activate the top-level window, and a
// second press soon and near enough on a CS_DBLCLKS window is a double click.
void mouse_input(uint32_t message, POINT screen, intptr_t keys);

// Asks for WM_MOUSELEAVE once the pointer leaves the window's client area (a child entered
// counts as leaving), or cancels the request.
enum : uint32_t { TME_LEAVE = 0x00000002, TME_CANCEL = 0x80000000 };
struct TRACKMOUSEEVENT {
    uint32_t dwFlags = 0;
    HWND hwndTrack = 0;
};
bool TrackMouseEvent(const TRACKMOUSEEVENT* track);

// What the display side plugs into the loop: `pump` moves waiting events into the input queue;
// `wait` blocks until an event, a wake or the timeout (milliseconds, -1: none); `wake` may come
// from any thread; `idle` runs when the queue has run dry, before waiting (frames are shown
// then); `cursor` shows a cursor. Null entries are skipped; without a source the loop waits on
// its own condition.
struct EventSource {
    void (*pump)() = nullptr;
    void (*wait)(int32_t timeout_ms) = nullptr;
    void (*wake)() = nullptr;
    void (*idle)() = nullptr;
    void (*cursor)(HCURSOR) = nullptr;
    // A top-level window was made, moved, sized, shown, hidden, retitled or destroyed (its id
    // then fails): its screen window follows the model.
    void (*top_level)(HWND) = nullptr;
    // A cursor made from pixels was destroyed: what the display made of it goes.
    void (*cursor_destroyed)(HCURSOR) = nullptr;
};
void set_event_source(const EventSource* source);

// Called as each input message leaves the queue (the key state table follows it there).
void set_input_observer(void (*observer)(const MSG&));

// ---- Timers and the clock

// id 0 with hwnd 0 makes a new id; the interval is at least 10 ms. WM_TIMER comes only when
// nothing else waits, one at a time per timer. 0 on failure.
uintptr_t SetTimer(HWND hwnd, uintptr_t id, uint32_t interval_ms, TIMERPROC proc);
bool KillTimer(HWND hwnd, uintptr_t id);
void Sleep(uint32_t ms);
uint32_t GetTickCount();
// A clock that moves only when told to (tests): a waiting loop jumps to the next timer.
void use_manual_clock(bool manual);
void advance_clock(uint32_t ms);

// ---- Painting

struct PAINTSTRUCT {
    cairo_t* hdc = nullptr;
    bool fErase = false;  // the background still needs erasing (WM_ERASEBKGND answered 0)
    RECT rcPaint;
};
// A cairo_t on the window's surface, its origin the client's top-left, clipped to the invalid
// part of the client, sending WM_ERASEBKGND (wParam: the cairo_t) first when pending; the
// window is valid afterwards. Null when the window is stale.
cairo_t* BeginPaint(HWND hwnd, PAINTSTRUCT* paint);
bool EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
// A cairo_t on the client area; ReleaseDC ends it.
cairo_t* GetDC(HWND hwnd);
bool ReleaseDC(HWND hwnd, cairo_t* dc);
// rect null: the whole client.
bool InvalidateRect(HWND hwnd, const RECT* rect, bool erase);
bool ValidateRect(HWND hwnd, const RECT* rect);
// rect may be null when only whether the window has an invalid part is asked.
bool GetUpdateRect(HWND hwnd, RECT* rect);
// Sends WM_PAINT now when the window has an invalid region.
bool UpdateWindow(HWND hwnd);
enum : uint32_t {
    RDW_INVALIDATE = 0x0001,
    RDW_ERASE = 0x0004,
    RDW_VALIDATE = 0x0008,
    RDW_NOERASE = 0x0020,
    RDW_ALLCHILDREN = 0x0080,
    RDW_UPDATENOW = 0x0100,
    RDW_ERASENOW = 0x0200,
    RDW_FRAME = 0x0400,
};
bool RedrawWindow(HWND hwnd, const RECT* rect, uint32_t flags);

// Scroll bars of a window (SB_HORZ, SB_VERT) or of a scroll-bar control (SB_CTL).
enum : int32_t { SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3 };
enum : uint32_t {
    SIF_RANGE = 0x01,
    SIF_PAGE = 0x02,
    SIF_POS = 0x04,
    SIF_DISABLENOSCROLL = 0x08,
    SIF_TRACKPOS = 0x10,
    SIF_ALL = 0x17,
};
struct SCROLLINFO {
    uint32_t fMask = 0;
    int32_t nMin = 0, nMax = 0;
    uint32_t nPage = 0;
    int32_t nPos = 0, nTrackPos = 0;
};
// Sets what the mask names; the page is kept within the range's length and the position within
// min .. max - page + 1. Answers the position.
int32_t SetScrollInfo(HWND hwnd, int32_t bar, const SCROLLINFO* info, bool redraw);
bool GetScrollInfo(HWND hwnd, int32_t bar, SCROLLINFO* info);
// Records where a dragged thumb stands, as GetScrollInfo's SIF_TRACKPOS reports it (a control's
// own drag); kept within the range.
bool set_scroll_track(HWND hwnd, int32_t bar, int32_t track);
// A scroll bar's parts along its length, from its start: the arrows' length at each end and the
// thumb's span (empty when the page covers the range or there is no room for it). A window's
// bars and the scroll-bar control share them.
struct ScrollBarParts {
    int32_t arrow = 0, thumb_from = 0, thumb_to = 0;
};
ScrollBarParts scroll_bar_parts(int32_t length, int32_t arrow, const SCROLLINFO& info);
// The position a thumb dragged so that its start lies at `at` stands for, within the range.
int32_t scroll_bar_drag_pos(int32_t length, const ScrollBarParts& parts, const SCROLLINFO& info, int32_t at);
// Draws an arrow's glyph centred in its box: pointing up (left when horizontal), or down (right)
// for the far arrow; the colour 0xAARRGGBB. A window's bars and the scroll-bar control share it.
void draw_scroll_arrow(cairo_t* cr, const RECT& box, bool vertical, bool far, uint32_t argb);
// Shows or hides a window's bars (its WS_HSCROLL, WS_VSCROLL); the client follows.
bool ShowScrollBar(HWND hwnd, int32_t bar, bool show);

enum : uint32_t { LWA_COLORKEY = 1, LWA_ALPHA = 2 };
// A WS_EX_LAYERED window's constant alpha, which multiplies its pixels when composed.
bool SetLayeredWindowAttributes(HWND hwnd, uint32_t key, uint8_t alpha, uint32_t flags);
bool GetLayeredWindowAttributes(HWND hwnd, uint8_t* alpha);

// Draws the window composed with its children, its top-left at the target's origin.
enum : uint32_t { PW_RENDERFULLCONTENT = 2 };
bool PrintWindow(HWND hwnd, cairo_t* target, uint32_t flags);

// A top-level window's composed frame: premultiplied 32-bit pixels, native-endian ARGB, valid
// until the next call for that window or its destruction. dirty says whether anything drawn,
// moved, shown or hidden in its tree changed it since the last call.
struct Frame {
    const uint8_t* pixels = nullptr;
    int32_t width = 0, height = 0, stride = 0;
};
bool frame_dirty(HWND top);
bool compose_frame(HWND top, Frame* frame);

}  // namespace nuv::host::win
