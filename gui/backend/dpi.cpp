// The current DPI and its changes.
#include "gui/backend/dpi.h"

#include "host/win/displays.h"
#include "host/win/window.h"

namespace nuv::gui::dpi {

namespace win = host::win;

void reset() { g_current = Current{}; }

void set_current(uint32_t dpi) {
    if (dpi == 0) return;
    g_current.x = g_current.y = dpi;
    g_current.value = static_cast<float>(dpi);
    g_current.scale = g_current.value / 96.0f;
}

uint32_t window_dpi(uint32_t hwnd) {
    const uint32_t root = win::GetAncestor(hwnd, win::GA_ROOT);
    const uint32_t dpi = win::GetDpiForWindow(root ? root : hwnd);
    return dpi ? dpi : g_current.x;
}

void use_window(uint32_t hwnd) { set_current(window_dpi(hwnd)); }

uint32_t enter_window(uint32_t hwnd) {
    g_current.nesting++;
    const uint32_t saved = g_current.x;
    if (hwnd) use_window(hwnd);
    return saved;
}

void leave_window(uint32_t saved) {
    if (g_current.nesting > 0) g_current.nesting--;
    if (g_current.x == saved) return;
    const uint32_t active = win::GetActiveWindow();
    if (g_current.nesting == 0 && active && win::IsWindowVisible(active)) use_window(active);
    else set_current(saved);
}

void init_from_cursor() {
    win::POINT at{};
    win::GetCursorPos(&at);
    uint32_t x = 0, y = 0;
    if (win::GetDpiForMonitor(win::MonitorFromPoint(at), &x, &y)) set_current(x);
}

void for_rectangle(float x, float y, float width, float height) {
    for (int round = 0; round < 4; round++) {
        const win::RECT r{static_cast<int32_t>(to_pixels(x)), static_cast<int32_t>(to_pixels(y)),
                          static_cast<int32_t>(to_pixels(x + width)), static_cast<int32_t>(to_pixels(y + height))};
        uint32_t dx = 0, dy = 0;
        if (!win::GetDpiForMonitor(win::MonitorFromRect(r), &dx, &dy) || dx == g_current.x) return;
        set_current(dx);
    }
    init_from_cursor();
}

}  // namespace nuv::gui::dpi
