// The window model's records, shared by its files: the class registry, the window table with
// its tree, and the state of focus, capture and activation. GUI thread only. A record lives in
// the table from creation until it is destroyed and no procedure of it is running.
#pragma once
#include <cairo.h>

#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "host/win/window.h"

namespace nuv::host::win::model {

struct Class {
    WNDCLASS info;
};

// A cursor made from pixels (0xAARRGGBB, straight alpha, row by row).
struct CursorImage {
    int32_t hot_x = 0, hot_y = 0, width = 0, height = 0;
    std::vector<uint32_t> argb;
};

struct ScrollBar {
    int32_t min = 0, max = 100, pos = 0, track = 0;
    uint32_t page = 0;
};

// An area in client coordinates as a union of rectangles, which may overlap. Past kMaxRects the
// two whose joining adds the least area are joined, so it holds no more than that and always
// covers all that was added.
struct Region {
    static constexpr size_t kMaxRects = 16;
    std::vector<RECT> rects;
    bool empty() const { return rects.empty(); }
    RECT bounds() const;  // empty when the region is
    void add(const RECT& r);
    void subtract(const RECT& r);
    void clear() { rects.clear(); }  // the room stays for the next ones
};

struct Window {
    HWND id = 0;
    std::shared_ptr<Class> cls;
    WNDPROC proc = nullptr;
    uint32_t style = 0, ex_style = 0;
    std::u16string text;
    HWND parent = 0;  // 0: top-level
    HWND owner = 0;
    intptr_t menu = 0;               // a child's id, a top-level window's menu
    std::vector<HWND> children;      // z-order, bottom first
    std::vector<HWND> owned;         // the windows it owns, in creation order
    RECT rect;                       // in the parent's client coordinates (screen for a top-level)
    RECT normal;                     // the rectangle restored from minimised or maximised
    WindowExtra extra;
    ScrollBar bars[3];               // SB_HORZ, SB_VERT, SB_CTL
    uint8_t alpha = 255;             // a layered window's constant alpha
    uint32_t dpi = 96;               // a top-level window's: what its tree's frames are sized by
    cairo_surface_t* surface = nullptr;  // the whole window rectangle
    Region invalid;                  // empty: valid
    bool erase = false;              // WM_ERASEBKGND pending
    bool unpainted = false;          // listed in State::unpainted
    bool frame_dirty = true;         // the non-client area needs drawing
    bool destroyed = false;
    bool dying = false;  // DestroyWindow has begun on it: it can no longer take activation
    uint32_t paints = 0;  // BeginPaint calls: a WM_PAINT that made none leaves the window valid
    int calls = 0;  // procedures of this window running
    // The top-level frame: the composed pixels and whether the tree changed since.
    cairo_surface_t* composed = nullptr;
    bool composed_dirty = true;
};

struct State {
    std::vector<std::shared_ptr<Class>> classes;
    std::unordered_map<HWND, std::unique_ptr<Window>> windows;
    std::vector<HWND> top_levels;  // z-order, bottom first
    // Windows made invalid, in that order; painted ones leave at the next look, so painting n
    // windows looks at each once.
    std::deque<HWND> unpainted;
    HWND next_id = 2;
    HWND focus = 0, capture = 0, active = 0;
    HWND tracking = 0;  // the window waiting for WM_MOUSELEAVE
    // A scroll-bar thumb being dragged: its window, bar, and where on the thumb it was taken.
    HWND thumb_window = 0;
    int32_t thumb_bar = 0, thumb_grip = 0;
    HCURSOR cursor = 0;
    std::unordered_map<HCURSOR, CursorImage> cursors;  // made from pixels and not destroyed
    HCURSOR next_cursor = 0x10000;                     // above the standard cursors' ids
    POINT cursor_pos;
    RECT work_area{0, 0, 1920, 1080};
    HDWP next_batch = 1;
    const EventSource* source = nullptr;
    bool source_chosen = false;  // set_event_source was called, or the screen was tried
};
State& state();

// The record of a window: `find` answers destroyed records still in a call (reads), `live`
// only windows not destroyed (changes).
Window* find(HWND hwnd);
Window* live(HWND hwnd);

// Runs a procedure with the window kept readable; frees a window destroyed meanwhile once its
// last call returns.
LRESULT call(Window* w, WNDPROC proc, uint32_t message, intptr_t wParam, intptr_t lParam);

// The frame's widths at a DPI: left, top, right, bottom of the non-client area without the
// scroll bars; frame_insets for a window, window_insets with its scroll bars.
RECT insets(uint32_t style, uint32_t ex_style, bool menu, uint32_t dpi);
uint32_t window_dpi(const Window* w);
int32_t scaled(int32_t size, uint32_t dpi);  // a size at 96 DPI at another
RECT frame_insets(const Window* w);
RECT window_insets(const Window* w);
// The top-level window's display now has another DPI (WM_DPICHANGED has been sent): the frames
// of its tree are sized anew, each window whose client changes told as by SWP_FRAMECHANGED.
void dpi_changed(HWND top, uint32_t dpi);
// The client rectangle in window coordinates.
RECT client_in_window(const Window* w);
// The window's top-left corner on the screen.
POINT screen_origin(const Window* w);
Window* root(Window* w);
bool is_top_level(const Window* w);
bool visible_chain(const Window* w);
bool in_tree(const Window* w, HWND top);
// The deepest visible, enabled window under a screen point that does not answer HTTRANSPARENT;
// *code gets its WM_NCHITTEST answer.
HWND pick_at(POINT screen, int32_t* code);
// Tells the display side that a top-level window changed (made, moved, sized, shown, hidden,
// retitled, destroyed).
void top_level_changed(const Window* w);

// Whether the id names a standard cursor; the pixels of a live cursor made from pixels, else null.
bool standard_cursor(HCURSOR cursor);
const CursorImage* cursor_image(HCURSOR cursor);

// The screen's event source (sdl_source.cpp), starting video; null when video cannot start.
const EventSource* screen_source();

// Painting's share (paint.cpp): surfaces, invalidation, the frame drawn, compose marks.
bool make_surface(Window* w, int32_t width, int32_t height);
void free_surfaces(Window* w);
void invalidate(Window* w, const RECT* client_rect, bool erase);
void mark_composed_dirty(Window* w);
// Sends WM_PAINT; a window whose procedure did not call BeginPaint is left valid.
LRESULT paint_now(Window* w);
// The visible window invalid longest (only `filter` when not 0), or null.
Window* window_needing_paint(HWND filter);
// Fills the DC's clip with the class brush; false without one.
bool erase_background(const Window* w, cairo_t* dc);
// A press on a scroll bar sends its WM_VSCROLL or WM_HSCROLL request; on the thumb it starts a
// drag.
void scroll_bar_click(Window* w, int32_t hit, POINT screen);
// While a thumb is dragged, moves send SB_THUMBTRACK and the release SB_THUMBPOSITION and
// SB_ENDSCROLL; answers whether the drag took the message.
bool thumb_drag(uint32_t message, POINT screen);
int32_t hit_test(const Window* w, POINT screen);

// The queue's share (queue.cpp): what the tree tells the loop.
void kill_timers(HWND hwnd);
void wake_loop();
uint32_t now();
// The thread that first made a window or took a message: PostMessage checks ids only there.
void note_gui_thread();

}  // namespace nuv::host::win::model
