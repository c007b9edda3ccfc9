// "msctls_progress32": a bar filled from its start (the bottom with PBS_VERTICAL) in the share
// of its range that its position has reached.
#include <algorithm>

#include "host/controls/controls.h"

namespace nuv::host::controls {

using namespace win;

namespace {

struct Progress {
    FontSlot font;
    int32_t min = 0, max = 100, pos = 0;
};

StateTable<Progress>& bars() {
    static StateTable<Progress> table;
    return table;
}

void paint(HWND hwnd, const Progress& bar) {
    PAINTSTRUCT ps;
    cairo_t* dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    const Palette& p = palette(hwnd);
    RECT client;
    GetClientRect(hwnd, &client);
    const int32_t rim = scaled(hwnd, 1);
    frame_rect(dc, client, p.border, rim);
    const RECT in{client.left + rim, client.top + rim, client.right - rim, client.bottom - rim};
    fill_rect(dc, in, p.track);
    const bool vertical = GetWindowLong(hwnd, GWL_STYLE) & PBS_VERTICAL;
    const int64_t span = int64_t(bar.max) - bar.min;
    const int32_t length = vertical ? in.height() : in.width();
    const int32_t done = span > 0 ? static_cast<int32_t>(length * (int64_t(bar.pos) - bar.min) / span) : 0;
    RECT filled = in;
    if (vertical)
        filled.top = in.bottom - done;
    else
        filled.right = in.left + done;
    fill_rect(dc, filled, IsWindowEnabled(hwnd) ? p.accent : p.text_disabled);
    EndPaint(hwnd, &ps);
}

// Answers the old range as PBM_SETRANGE packs it; a range whose max is below its min changes
// nothing and answers 0.
LRESULT set_range(HWND hwnd, Progress* bar, int32_t min, int32_t max) {
    if (max < min) return 0;
    const LRESULT old = static_cast<LRESULT>((uint32_t(bar->min) & 0xFFFF) | (uint32_t(bar->max) & 0xFFFF) << 16);
    bar->min = min;
    bar->max = max;
    bar->pos = std::clamp(bar->pos, min, max);
    InvalidateRect(hwnd, nullptr, false);
    return old;
}

LRESULT progress_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    LRESULT answer = 0;
    Progress* bar = control_state(bars(), hwnd, message, wParam, lParam, &answer);
    if (!bar) return answer;
    switch (message) {
    case WM_PAINT: paint(hwnd, *bar); return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, false); return 0;
    case PBM_SETRANGE:
        return set_range(hwnd, bar, int32_t(lParam & 0xFFFF), int32_t((lParam >> 16) & 0xFFFF));
    case PBM_SETRANGE32: return set_range(hwnd, bar, static_cast<int32_t>(wParam), static_cast<int32_t>(lParam));
    case PBM_GETRANGE:
        if (lParam) *reinterpret_cast<PBRANGE*>(lParam) = PBRANGE{bar->min, bar->max};
        return wParam ? bar->min : bar->max;
    case PBM_SETPOS: {
        const int32_t old = bar->pos;
        bar->pos = std::clamp(static_cast<int32_t>(wParam), bar->min, bar->max);
        if (bar->pos != old) InvalidateRect(hwnd, nullptr, false);
        return old;
    }
    case PBM_GETPOS: return bar->pos;
    default: return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

}  // namespace

bool register_progress() { return register_control(kProgressClass, progress_proc, IDC_ARROW, 0); }

}  // namespace nuv::host::controls
