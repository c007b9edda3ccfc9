#include "host/win/displays.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "host/win/sdl.h"
#include "host/win/window.h"

namespace nuv::host::win {

namespace {

struct Display {
    RECT bounds;
    uint32_t dpi;
};

constexpr uint32_t kBaseDpi = 96;
// The one display assumed when neither a test's screens nor SDL's are known.
constexpr int32_t kAssumedWidth = 1920;
constexpr int32_t kAssumedHeight = 1080;

// Reads a number at *at (with a sign when `sign`), moving past it.
bool read_number(std::string_view text, size_t* at, bool sign, int32_t* out) {
    const char* first = text.data() + *at;
    const char* last = text.data() + text.size();
    if (!sign && first < last && *first == '-') return false;
    auto [end, ec] = std::from_chars(first, last, *out);
    if (ec != std::errc() || end == first) return false;
    *at = static_cast<size_t>(end - text.data());
    return true;
}

bool read_dpi(std::string_view text, size_t* at, uint32_t* dpi) {
    int32_t n = 0;
    if (!read_number(text, at, false, &n) || n <= 0 || n > 9600) return false;
    *dpi = static_cast<uint32_t>(n);
    return true;
}

// One display: WxH[@DPI][+X+Y], where each offset may be + or - signed.
bool read_display(std::string_view text, uint32_t dpi, Display* out) {
    size_t at = 0;
    int32_t width = 0, height = 0, x = 0, y = 0;
    if (!read_number(text, &at, false, &width) || at >= text.size() || text[at++] != 'x' ||
        !read_number(text, &at, false, &height) || width <= 0 || height <= 0)
        return false;
    if (at < text.size() && text[at] == '@' && !read_dpi(text, &++at, &dpi)) return false;
    if (at < text.size()) {
        auto offset = [&](int32_t* n) {
            if (at >= text.size() || (text[at] != '+' && text[at] != '-')) return false;
            if (text[at] == '+') ++at;
            return read_number(text, &at, true, n);
        };
        if (!offset(&x) || !offset(&y)) return false;
    }
    if (at != text.size()) return false;
    *out = {{x, y, x + width, y + height}, dpi};
    return true;
}

// The environment's hooks, read again whenever their text changes; a bad value is reported
// once and left out.
struct Hooks {
    std::string dpi_text, screens_text;
    bool dpi_read = false, screens_read = false;
    uint32_t dpi = kBaseDpi;
    uint32_t screens_dpi = 0;  // the DPI of the displays that give none
    std::vector<Display> screens;
};
Hooks g_hooks;

bool changed(const char* value, bool* read, std::string* seen) {
    const std::string now = value ? value : "";
    if (*read && now == *seen) return false;
    *read = true;
    *seen = now;
    return true;
}

uint32_t hook_dpi() {
    const char* value = std::getenv("NUV_TEST_DPI");
    if (changed(value, &g_hooks.dpi_read, &g_hooks.dpi_text)) {
        g_hooks.dpi = kBaseDpi;
        size_t at = 0;
        std::string_view text = g_hooks.dpi_text;
        if (value && !(read_dpi(text, &at, &g_hooks.dpi) && at == text.size())) {
            g_hooks.dpi = kBaseDpi;
            std::fprintf(stderr, "nuv: NUV_TEST_DPI \"%s\" is not a number of dots per inch; 96 is used\n", value);
        }
    }
    return g_hooks.dpi;
}

// The test's screens, empty when there are none.
const std::vector<Display>& hook_screens() {
    const uint32_t dpi = hook_dpi();
    const char* value = std::getenv("NUV_TEST_SCREENS");
    if (changed(value, &g_hooks.screens_read, &g_hooks.screens_text) || dpi != g_hooks.screens_dpi) {
        g_hooks.screens_dpi = dpi;
        g_hooks.screens.clear();
        std::string_view rest = g_hooks.screens_text;
        while (value && *value) {
            const size_t comma = rest.find(',');
            Display display;
            if (!read_display(rest.substr(0, comma), dpi, &display)) {
                std::fprintf(stderr, "nuv: NUV_TEST_SCREENS \"%s\" is not a list of WxH@DPI+X+Y; ignored\n", value);
                g_hooks.screens.clear();
                break;
            }
            g_hooks.screens.push_back(display);
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
    return g_hooks.screens;
}

// The displays in order. SDL's are asked for only while video runs, or when `start` and no
// test screens stand in for them.
const std::vector<Display>& displays(bool start) {
    static std::vector<Display> listed;
    const std::vector<Display>& screens = hook_screens();
    if (!screens.empty()) return screens;
    listed.clear();
    const uint32_t dpi = hook_dpi();
    if (sdl::video_running() || (start && sdl::start_video())) {
        const sdl::Library& sdl = *sdl::library();
        const int count = sdl.num_video_displays();
        for (int i = 0; i < count; ++i) {
            SDL_Rect r;
            if (sdl.display_bounds(i, &r) == 0) listed.push_back({{r.x, r.y, r.x + r.w, r.y + r.h}, dpi});
        }
    }
    if (listed.empty()) listed.push_back({{0, 0, kAssumedWidth, kAssumedHeight}, dpi});
    return listed;
}

// How far a point lies outside a rectangle (0 inside), squared.
int64_t distance2(const RECT& r, POINT p) {
    const int64_t dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - r.right + 1 : 0;
    const int64_t dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - r.bottom + 1 : 0;
    return dx * dx + dy * dy;
}

int64_t overlap(const RECT& a, const RECT& b) {
    const int64_t w = std::min(a.right, b.right) - std::max(a.left, b.left);
    const int64_t h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// The rectangles' gap (0 when they touch or overlap), squared.
int64_t gap2(const RECT& a, const RECT& b) {
    const int64_t dx = std::max<int64_t>({0, int64_t{a.left} - b.right + 1, int64_t{b.left} - a.right + 1});
    const int64_t dy = std::max<int64_t>({0, int64_t{a.top} - b.bottom + 1, int64_t{b.top} - a.bottom + 1});
    return dx * dx + dy * dy;
}

// The display that scores best: most shared area first, then least distance.
template <typename Score>
HMONITOR best(const std::vector<Display>& list, Score score) {
    size_t chosen = 0;
    auto [area, far] = score(list[0].bounds);
    for (size_t i = 1; i < list.size(); ++i) {
        auto [a, d] = score(list[i].bounds);
        if (a > area || (a == area && d < far)) chosen = i, area = a, far = d;
    }
    return static_cast<HMONITOR>(chosen + 1);
}

POINT g_cursor{};
bool g_cursor_noted = false;

uint32_t system_dpi() { return displays(false)[0].dpi; }

}  // namespace

bool EnumDisplayMonitors(MONITORENUMPROC proc, intptr_t data) {
    const std::vector<Display>& list = displays(true);
    for (size_t i = 0; i < list.size(); ++i)
        if (!proc(static_cast<HMONITOR>(i + 1), list[i].bounds, data)) return false;
    return true;
}

HMONITOR MonitorFromPoint(POINT point) {
    return best(displays(false), [&](const RECT& r) { return std::pair{int64_t{0}, distance2(r, point)}; });
}

HMONITOR MonitorFromRect(const RECT& rect) {
    return best(displays(false), [&](const RECT& r) { return std::pair{overlap(r, rect), gap2(r, rect)}; });
}

bool GetDpiForMonitor(HMONITOR monitor, uint32_t* dpi_x, uint32_t* dpi_y) {
    const std::vector<Display>& list = displays(false);
    if (monitor == 0 || monitor > list.size()) return false;
    *dpi_x = *dpi_y = list[monitor - 1].dpi;
    return true;
}

HMONITOR MonitorFromWindow(uint32_t hwnd) {
    RECT r;
    return GetWindowRect(hwnd, &r) ? MonitorFromRect(r) : 0;
}

uint32_t GetDpiForWindow(uint32_t hwnd) {
    uint32_t dpi = 0, unused;
    return GetDpiForMonitor(MonitorFromWindow(hwnd), &dpi, &unused) ? dpi : 0;
}

bool GetCursorPos(POINT* point) {
    if (hook_screens().empty() && sdl::video_running()) {
        const sdl::Library& sdl = *sdl::library();
        const char* driver = sdl.current_video_driver();
        if (driver && std::string_view(driver) != "offscreen") {
            sdl.global_mouse_state(&point->x, &point->y);
            return true;
        }
    }
    if (!g_cursor_noted) {
        const RECT& first = displays(false)[0].bounds;
        g_cursor = {first.left, first.top};
    }
    *point = g_cursor;
    return true;
}

void note_cursor_pos(POINT point) {
    g_cursor = point;
    g_cursor_noted = true;
}

int GetSystemMetrics(int metric) {
    switch (metric) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
        const RECT& r = displays(true)[0].bounds;
        return metric == SM_CXSCREEN ? r.right - r.left : r.bottom - r.top;
    }
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL: return static_cast<int>(16 * system_dpi() / kBaseDpi);
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    default: return 0;
    }
}

uint32_t GetSysColor(int color) {
    auto rgb = [](uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; };
    switch (color) {
    case COLOR_WINDOW: return rgb(255, 255, 255);
    case COLOR_WINDOWTEXT: return rgb(0, 0, 0);
    case COLOR_BTNFACE: return rgb(240, 240, 240);
    default: return 0;
    }
}

}  // namespace nuv::host::win
