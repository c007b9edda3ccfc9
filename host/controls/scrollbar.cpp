// "SCROLLBAR": a bar of its own (SBS_VERT, else horizontal) showing the window's SB_CTL scroll
// info, which its owner sets with SetScrollInfo. Its arrows and page areas send their requests
// to the parent while held (repeating), the thumb sends SB_THUMBTRACK as it is dragged and
// SB_THUMBPOSITION where it is let go, each press ending with SB_ENDSCROLL; the control is
// lParam of each. The position itself is the owner's to change.
#include <algorithm>

#include "host/controls/controls.h"
#include "host/win/cairo_lib.h"
#include "host/win/keys.h"

namespace nuv::host::controls {

using namespace win;

namespace {

enum class Part { None, LineUp, LineDown, PageUp, PageDown, Thumb };

struct ScrollBar {
    FontSlot font;
    Part held = Part::None;  // pressed with the mouse, captured
    POINT mouse;             // the pointer while held, client coordinates
    int32_t grip = 0;        // where along the thumb it was taken
    int32_t track = 0;       // the dragged thumb's position
    uint32_t key = 0;        // the held key whose request repeats
};

StateTable<ScrollBar>& bars() {
    static StateTable<ScrollBar> table;
    return table;
}

// The bar's geometry along its length.
struct Geometry {
    bool vertical;
    int32_t length, thickness;
    SCROLLINFO info;
    ScrollBarParts parts;
};

Geometry geometry(HWND hwnd, const ScrollBar& bar) {
    Geometry g;
    RECT client;
    GetClientRect(hwnd, &client);
    g.vertical = GetWindowLong(hwnd, GWL_STYLE) & SBS_VERT;
    g.length = g.vertical ? client.height() : client.width();
    g.thickness = g.vertical ? client.width() : client.height();
    g.info.fMask = SIF_ALL;
    GetScrollInfo(hwnd, SB_CTL, &g.info);
    if (bar.held == Part::Thumb) g.info.nPos = bar.track;
    // Without a page the thumb still shows where the position lies.
    SCROLLINFO shown = g.info;
    shown.nPage = std::max<uint32_t>(shown.nPage, 1);
    g.parts = scroll_bar_parts(g.length, g.thickness, shown);
    g.info.nPage = shown.nPage;
    return g;
}

int32_t along(const Geometry& g, POINT p) { return g.vertical ? p.y : p.x; }

Part part_at(const Geometry& g, int32_t at) {
    const ScrollBarParts& p = g.parts;
    if (at < p.arrow) return Part::LineUp;
    if (at >= g.length - p.arrow) return Part::LineDown;
    if (p.thumb_to <= p.thumb_from) return Part::None;
    if (at < p.thumb_from) return Part::PageUp;
    if (at >= p.thumb_to) return Part::PageDown;
    return Part::Thumb;
}

uint32_t request_of(Part part) {
    switch (part) {
    case Part::LineUp: return SB_LINEUP;
    case Part::LineDown: return SB_LINEDOWN;
    case Part::PageUp: return SB_PAGEUP;
    default: return SB_PAGEDOWN;
    }
}

bool vertical(HWND hwnd) { return GetWindowLong(hwnd, GWL_STYLE) & SBS_VERT; }

// A held arrow or page area sends its request again while the pointer stays on that part.
void repeat(HWND hwnd, ScrollBar* bar) {
    const Geometry g = geometry(hwnd, *bar);
    if (part_at(g, along(g, bar->mouse)) != bar->held) return;
    notify_scroll(hwnd, g.vertical, request_of(bar->held), 0);
}

void end_press(HWND hwnd, ScrollBar* bar) {
    const Part held = bar->held;
    const int32_t track = bar->track;
    bar->held = Part::None;
    KillTimer(hwnd, kRepeatTimer);
    InvalidateRect(hwnd, nullptr, false);
    const bool v = vertical(hwnd);
    if (held == Part::Thumb && !notify_scroll(hwnd, v, SB_THUMBPOSITION, track)) return;
    notify_scroll(hwnd, v, SB_ENDSCROLL, 0);
}

void press(HWND hwnd, ScrollBar* bar, POINT p) {
    const Geometry g = geometry(hwnd, *bar);
    if (g.info.nMax <= g.info.nMin && g.parts.thumb_to <= g.parts.thumb_from) return;
    const Part part = part_at(g, along(g, p));
    if (part == Part::None) return;
    SetCapture(hwnd);
    if (!(bar = bars().get(hwnd))) return;
    bar->held = part;
    bar->mouse = p;
    if (part == Part::Thumb) {
        bar->grip = along(g, p) - g.parts.thumb_from;
        bar->track = g.info.nPos;
        set_scroll_track(hwnd, SB_CTL, bar->track);
        InvalidateRect(hwnd, nullptr, false);
        return;
    }
    SetTimer(hwnd, kRepeatTimer, kRepeatDelay, nullptr);
    InvalidateRect(hwnd, nullptr, false);
    notify_scroll(hwnd, g.vertical, request_of(part), 0);
}

void drag(HWND hwnd, ScrollBar* bar, POINT p) {
    bar->mouse = p;
    if (bar->held != Part::Thumb) return;
    const Geometry g = geometry(hwnd, *bar);
    const int32_t track = scroll_bar_drag_pos(g.length, g.parts, g.info, along(g, p) - bar->grip);
    if (track == bar->track) return;
    bar->track = track;
    set_scroll_track(hwnd, SB_CTL, track);
    InvalidateRect(hwnd, nullptr, false);
    notify_scroll(hwnd, g.vertical, SB_THUMBTRACK, track);
}

uint32_t key_request(uintptr_t key) {
    switch (key) {
    case VK_UP:
    case VK_LEFT: return SB_LINEUP;
    case VK_DOWN:
    case VK_RIGHT: return SB_LINEDOWN;
    case VK_PRIOR: return SB_PAGEUP;
    case VK_NEXT: return SB_PAGEDOWN;
    case VK_HOME: return SB_TOP;
    case VK_END: return SB_BOTTOM;
    default: return UINT32_MAX;
    }
}

void paint(HWND hwnd, const ScrollBar& bar) {
    paint_control(hwnd, bar.font.get(), WM_CTLCOLORSCROLLBAR, &Palette::text, &Palette::track,
                  [hwnd, &bar](cairo_t* dc, HBRUSH, const Palette& p, RECT client) {
        const Geometry g = geometry(hwnd, bar);
        auto span = [&](int32_t from, int32_t to) {
            return g.vertical ? RECT{client.left, from, client.right, to} : RECT{from, client.top, to, client.bottom};
        };
        const bool enabled = IsWindowEnabled(hwnd) && g.info.nMax > g.info.nMin;
        const COLORREF glyph = enabled ? p.text : p.text_disabled;
        const RECT up = span(0, g.parts.arrow), down = span(g.length - g.parts.arrow, g.length);
        fill_rect(dc, up, bar.held == Part::LineUp ? p.face_pressed : p.face);
        fill_rect(dc, down, bar.held == Part::LineDown ? p.face_pressed : p.face);
        draw_scroll_arrow(dc, up, g.vertical, false, argb(glyph));
        draw_scroll_arrow(dc, down, g.vertical, true, argb(glyph));
        if (enabled && g.parts.thumb_to > g.parts.thumb_from) {
            const int32_t inset = scaled(hwnd, 2);
            RECT thumb = span(g.parts.thumb_from, g.parts.thumb_to);
            if (g.vertical)
                thumb.left += inset, thumb.right -= inset;
            else
                thumb.top += inset, thumb.bottom -= inset;
            fill_rect(dc, thumb, bar.held == Part::Thumb ? p.accent : p.border);
        }
    });
}

LRESULT scrollbar_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    LRESULT answer = 0;
    ScrollBar* bar = control_state(bars(), hwnd, message, wParam, lParam, &answer);
    if (!bar) return answer;
    switch (message) {
    case WM_PAINT: paint(hwnd, *bar); return 0;
    case WM_ENABLE:
        if (!wParam && bar->held != Part::None) ReleaseCapture();
        InvalidateRect(hwnd, nullptr, false);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (bar->held == Part::None) press(hwnd, bar, POINT{lparam_x(lParam), lparam_y(lParam)});
        return 0;
    case WM_MOUSEMOVE:
        if (bar->held != Part::None) drag(hwnd, bar, POINT{lparam_x(lParam), lparam_y(lParam)});
        return 0;
    case WM_LBUTTONUP:
        if (bar->held != Part::None) ReleaseCapture();  // WM_CAPTURECHANGED ends the press
        return 0;
    case WM_CAPTURECHANGED:
        if (bar->held != Part::None) end_press(hwnd, bar);
        return 0;
    case WM_TIMER:
        if (wParam != static_cast<intptr_t>(kRepeatTimer)) return 0;
        if (bar->held == Part::None || bar->held == Part::Thumb) {
            KillTimer(hwnd, kRepeatTimer);
            return 0;
        }
        SetTimer(hwnd, kRepeatTimer, kRepeatInterval, nullptr);
        repeat(hwnd, bar);
        return 0;
    case WM_KEYDOWN: {
        const uint32_t request = key_request(static_cast<uintptr_t>(wParam));
        if (request == UINT32_MAX) return 0;
        bar->key = static_cast<uint32_t>(wParam);
        notify_scroll(hwnd, vertical(hwnd), request, 0);
        return 0;
    }
    case WM_KEYUP:
        if (bar->key && static_cast<uint32_t>(wParam) == bar->key) {
            bar->key = 0;
            notify_scroll(hwnd, vertical(hwnd), SB_ENDSCROLL, 0);
        }
        return 0;
    default: return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

}  // namespace

bool register_scrollbar() { return register_control(kScrollBarClass, scrollbar_proc, IDC_ARROW, CS_DBLCLKS); }

}  // namespace nuv::host::controls
