// "msctls_trackbar32": a thumb on a channel, its position within a range (the minimum at the
// left, or at the top with TBS_VERT). The thumb dragged sends TB_THUMBTRACK at each new position
// and TB_THUMBPOSITION where it is let go; a press on the channel pages toward the pointer while
// held; keys move by a line, a page or to an end. Each change is made before the parent hears
// it (WM_HSCROLL, WM_VSCROLL when vertical, the control in lParam) and a press or key ends with
// TB_ENDTRACK.
#include <algorithm>

#include "host/controls/controls.h"
#include "host/win/keys.h"

namespace nuv::host::controls {

using namespace win;

namespace {

enum class Hold { None, Thumb, Page };

struct Trackbar {
    FontSlot font;
    int32_t min = 0, max = 100, pos = 0;
    int32_t page = 20, line = 1;
    Hold hold = Hold::None;
    int32_t grip = 0;   // the pointer's distance from the thumb's centre when taken
    int32_t mouse = 0;  // the pointer along the channel while held
    uint32_t key = 0;   // the held key
    bool hot = false, focused = false;
};

StateTable<Trackbar>& trackbars() {
    static StateTable<Trackbar> table;
    return table;
}

bool is_vertical(HWND hwnd) { return GetWindowLong(hwnd, GWL_STYLE) & TBS_VERT; }

// The channel along the control: where positions min and max put the thumb's centre.
struct Geometry {
    bool vertical;
    RECT client;
    int32_t from, to;             // the thumb centre's travel
    int32_t thumb_len, thumb_thick;
};

Geometry geometry(HWND hwnd) {
    Geometry g;
    GetClientRect(hwnd, &g.client);
    g.vertical = is_vertical(hwnd);
    const int32_t length = g.vertical ? g.client.height() : g.client.width();
    const int32_t across = g.vertical ? g.client.width() : g.client.height();
    g.thumb_len = std::min(scaled(hwnd, 11), std::max(length, 1));
    g.thumb_thick = std::max(1, std::min(scaled(hwnd, 20), across - scaled(hwnd, 4)));
    const int32_t margin = std::min(g.thumb_len / 2 + scaled(hwnd, 4), length / 2);
    g.from = margin;
    g.to = std::max(margin, length - margin);
    return g;
}

int32_t centre_of(const Geometry& g, const Trackbar& t) {
    const int64_t span = int64_t(t.max) - t.min;
    return span > 0 ? g.from + static_cast<int32_t>((g.to - g.from) * (int64_t(t.pos) - t.min) / span) : g.from;
}

// The position nearest to a point along the channel.
int32_t position_at(const Geometry& g, const Trackbar& t, int32_t at) {
    const int64_t span = int64_t(t.max) - t.min;
    const int32_t travel = g.to - g.from;
    if (travel <= 0 || span <= 0) return t.min;
    const int64_t offset = std::clamp<int64_t>(at - g.from, 0, travel);
    return static_cast<int32_t>(t.min + (offset * span + travel / 2) / travel);
}

RECT thumb_rect(const Geometry& g, int32_t centre) {
    const int32_t mid = g.vertical ? (g.client.left + g.client.right) / 2 : (g.client.top + g.client.bottom) / 2;
    const int32_t a = centre - g.thumb_len / 2, b = mid - g.thumb_thick / 2;
    return g.vertical ? RECT{b, a, b + g.thumb_thick, a + g.thumb_len} : RECT{a, b, a + g.thumb_len, b + g.thumb_thick};
}

// Moves the thumb and tells the parent; answers whether the control outlived the telling.
bool move_to(HWND hwnd, Trackbar* t, int64_t to, uint32_t request) {
    const int32_t pos = static_cast<int32_t>(std::clamp<int64_t>(to, t->min, t->max));
    if (pos != t->pos) {
        t->pos = pos;
        InvalidateRect(hwnd, nullptr, false);
    }
    const bool with_pos = request == TB_THUMBTRACK || request == TB_THUMBPOSITION;
    return notify_scroll(hwnd, is_vertical(hwnd), request, with_pos ? pos : 0);
}

// A held press on the channel pages toward the pointer until the thumb reaches it.
void page_toward(HWND hwnd, Trackbar* t) {
    const Geometry g = geometry(hwnd);
    const int32_t centre = centre_of(g, *t);
    const int32_t half = g.thumb_len / 2;
    if (t->mouse < centre - half)
        move_to(hwnd, t, std::max<int64_t>(int64_t(t->pos) - t->page, position_at(g, *t, t->mouse)), TB_PAGEUP);
    else if (t->mouse > centre + half)
        move_to(hwnd, t, std::min<int64_t>(int64_t(t->pos) + t->page, position_at(g, *t, t->mouse)), TB_PAGEDOWN);
}

void press(HWND hwnd, Trackbar* t, POINT p) {
    if (GetFocus() != hwnd) {
        SetFocus(hwnd);
        if (!(t = trackbars().get(hwnd))) return;
    }
    const Geometry g = geometry(hwnd);
    const int32_t at = g.vertical ? p.y : p.x;
    const RECT thumb = thumb_rect(g, centre_of(g, *t));
    SetCapture(hwnd);
    if (!(t = trackbars().get(hwnd))) return;
    t->mouse = at;
    if (p.x >= thumb.left && p.x < thumb.right && p.y >= thumb.top && p.y < thumb.bottom) {
        t->hold = Hold::Thumb;
        t->grip = at - centre_of(g, *t);
        InvalidateRect(hwnd, nullptr, false);
        return;
    }
    t->hold = Hold::Page;
    SetTimer(hwnd, kRepeatTimer, kRepeatDelay, nullptr);
    page_toward(hwnd, t);
}

void end_press(HWND hwnd, Trackbar* t) {
    const Hold hold = t->hold;
    t->hold = Hold::None;
    KillTimer(hwnd, kRepeatTimer);
    InvalidateRect(hwnd, nullptr, false);
    if (hold == Hold::Thumb && !move_to(hwnd, t, t->pos, TB_THUMBPOSITION)) return;
    notify_scroll(hwnd, is_vertical(hwnd), TB_ENDTRACK, 0);
}

void key_down(HWND hwnd, Trackbar* t, uint32_t key) {
    // Down is right and up is left, unless TBS_DOWNISLEFT swaps them.
    const bool down_is_left = GetWindowLong(hwnd, GWL_STYLE) & TBS_DOWNISLEFT;
    const int64_t at = t->pos;
    int64_t pos;
    uint32_t request;
    switch (key) {
    case VK_LEFT: pos = at - t->line, request = TB_LINEUP; break;
    case VK_RIGHT: pos = at + t->line, request = TB_LINEDOWN; break;
    case VK_UP:
        pos = down_is_left ? at + t->line : at - t->line;
        request = down_is_left ? TB_LINEDOWN : TB_LINEUP;
        break;
    case VK_DOWN:
        pos = down_is_left ? at - t->line : at + t->line;
        request = down_is_left ? TB_LINEUP : TB_LINEDOWN;
        break;
    case VK_PRIOR: pos = at - t->page, request = TB_PAGEUP; break;
    case VK_NEXT: pos = at + t->page, request = TB_PAGEDOWN; break;
    case VK_HOME: pos = t->min, request = TB_TOP; break;
    case VK_END: pos = t->max, request = TB_BOTTOM; break;
    default: return;
    }
    t->key = key;
    move_to(hwnd, t, pos, request);
}

// Sets the range; a max below the min changes nothing.
void set_range(HWND hwnd, Trackbar* t, int32_t min, int32_t max, bool redraw) {
    if (max < min) return;
    t->min = min;
    t->max = max;
    t->pos = std::clamp(t->pos, min, max);
    if (redraw) InvalidateRect(hwnd, nullptr, false);
}

void paint(HWND hwnd, const Trackbar& t) {
    paint_control(hwnd, t.font.get(), WM_CTLCOLORSTATIC, &Palette::text, &Palette::face,
                  [hwnd, &t](cairo_t* dc, HBRUSH, const Palette& p, RECT) {
        const Geometry g = geometry(hwnd);
        const bool enabled = IsWindowEnabled(hwnd);
        const int32_t groove = scaled(hwnd, 4), centre = centre_of(g, t);
        const int32_t mid = g.vertical ? (g.client.left + g.client.right) / 2 : (g.client.top + g.client.bottom) / 2;
        auto span = [&](int32_t from, int32_t to) {
            return g.vertical ? RECT{mid - groove / 2, from, mid - groove / 2 + groove, to}
                              : RECT{from, mid - groove / 2, to, mid - groove / 2 + groove};
        };
        fill_rect(dc, span(g.from, g.to), p.track);
        if (enabled) fill_rect(dc, span(g.from, centre), p.accent);
        const RECT thumb = thumb_rect(g, centre);
        const COLORREF fill = !enabled                  ? p.text_disabled
                              : t.hold == Hold::Thumb ? p.face_pressed
                              : t.hot                 ? p.face_hot
                                                      : p.face;
        fill_rect(dc, thumb, fill);
        frame_rect(dc, thumb, enabled && (t.focused || t.hold == Hold::Thumb) ? p.accent : p.border, scaled(hwnd, 1));
    });
}

LRESULT trackbar_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    LRESULT answer = 0;
    Trackbar* t = control_state(trackbars(), hwnd, message, wParam, lParam, &answer);
    if (!t) return answer;
    switch (message) {
    case WM_PAINT: paint(hwnd, *t); return 0;
    case WM_ENABLE:
        if (!wParam && t->hold != Hold::None) ReleaseCapture();
        InvalidateRect(hwnd, nullptr, false);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        t->focused = message == WM_SETFOCUS;
        InvalidateRect(hwnd, nullptr, false);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (t->hold == Hold::None) press(hwnd, t, POINT{lparam_x(lParam), lparam_y(lParam)});
        return 0;
    case WM_MOUSEMOVE: {
        track_hot(hwnd, &t->hot);
        if (t->hold == Hold::None) return 0;
        const Geometry g = geometry(hwnd);
        t->mouse = g.vertical ? lparam_y(lParam) : lparam_x(lParam);
        if (t->hold == Hold::Thumb) {
            const int32_t pos = position_at(g, *t, t->mouse - t->grip);
            if (pos != t->pos) move_to(hwnd, t, pos, TB_THUMBTRACK);
        }
        return 0;
    }
    case WM_MOUSELEAVE: leave_hot(hwnd, &t->hot); return 0;
    case WM_LBUTTONUP:
        if (t->hold != Hold::None) ReleaseCapture();  // WM_CAPTURECHANGED ends the press
        return 0;
    case WM_CAPTURECHANGED:
        if (t->hold != Hold::None) end_press(hwnd, t);
        return 0;
    case WM_TIMER:
        if (wParam != static_cast<intptr_t>(kRepeatTimer)) return 0;
        if (t->hold != Hold::Page) {
            KillTimer(hwnd, kRepeatTimer);
            return 0;
        }
        SetTimer(hwnd, kRepeatTimer, kRepeatInterval, nullptr);
        page_toward(hwnd, t);
        return 0;
    case WM_KEYDOWN: key_down(hwnd, t, static_cast<uint32_t>(wParam)); return 0;
    case WM_KEYUP:
        if (t->key && static_cast<uint32_t>(wParam) == t->key) {
            t->key = 0;
            notify_scroll(hwnd, is_vertical(hwnd), TB_ENDTRACK, 0);
        }
        return 0;
    case TBM_GETPOS: return t->pos;
    case TBM_GETRANGEMIN: return t->min;
    case TBM_GETRANGEMAX: return t->max;
    case TBM_SETPOS: {
        const int32_t pos = std::clamp(static_cast<int32_t>(lParam), t->min, t->max);
        if (pos != t->pos) {
            t->pos = pos;
            if (wParam) InvalidateRect(hwnd, nullptr, false);
        }
        return 0;
    }
    case TBM_SETRANGE:
        set_range(hwnd, t, int32_t(lParam & 0xFFFF), int32_t((lParam >> 16) & 0xFFFF), wParam);
        return 0;
    case TBM_SETRANGEMIN: set_range(hwnd, t, static_cast<int32_t>(lParam), t->max, wParam); return 0;
    case TBM_SETRANGEMAX: set_range(hwnd, t, t->min, static_cast<int32_t>(lParam), wParam); return 0;
    case TBM_SETPAGESIZE:
    case TBM_SETLINESIZE: {
        int32_t& size = message == TBM_SETPAGESIZE ? t->page : t->line;
        const int32_t old = size;
        if (lParam > 0 && lParam <= INT32_MAX) size = static_cast<int32_t>(lParam);
        return old;
    }
    case TBM_GETPAGESIZE: return t->page;
    case TBM_GETLINESIZE: return t->line;
    default: return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

}  // namespace

bool register_trackbar() { return register_control(kTrackbarClass, trackbar_proc, IDC_ARROW, CS_DBLCLKS); }

}  // namespace nuv::host::controls
