// The tab control: its tabs with their measured widths, the selected and focused tab, the first
// tab shown when the strip is wider than the window (two arrow buttons then scroll it), the
// display area's geometry, input and painting.
#include "host/controls/tab.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/controls/listbox.h"
#include "host/win/cairo_lib.h"
#include "host/win/keys.h"

namespace nuv::host::controls {

using namespace win;

namespace {

struct Tab {
    std::u16string text;
    int32_t width = 0;
};

struct TabControl {
    std::vector<Tab> tabs;
    int32_t sel = -1, focus = -1;
    int32_t first = 0;        // the first tab shown
    int64_t total = 0;        // the tabs' widths together
    int32_t text_height = 0;  // 0: measure with the font at the next need
    bool focused = false;
    FontSlot font;
};

StateTable<TabControl>& tab_controls() {
    static StateTable<TabControl> table;
    return table;
}

int32_t count_of(const TabControl* t) { return static_cast<int32_t>(t->tabs.size()); }

// The strip's metrics: a tab's height, and the strip's (the selected tab stands 2 pixels higher).
int32_t tab_height(HWND hwnd, TabControl* t) {
    if (!t->text_height) t->text_height = std::max(1, measure_text(hwnd, t->font.get(), u"Ag").cy);
    return t->text_height + scaled(hwnd, 6);
}
int32_t strip_height(HWND hwnd, TabControl* t) { return tab_height(hwnd, t) + scaled(hwnd, 2); }

int32_t measure_tab(HWND hwnd, TabControl* t, const std::u16string& text) {
    return measure_text(hwnd, t->font.get(), text).cx + 2 * scaled(hwnd, 6);
}

RECT client_of(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return r;
}

// Whether the tabs are wider than the strip, which then ends in the two scroll buttons.
bool overflows(HWND hwnd, const TabControl* t) { return scaled(hwnd, 2) + t->total > client_of(hwnd).right; }

RECT scroll_buttons(HWND hwnd, TabControl* t) {
    const int32_t right = client_of(hwnd).right;
    return RECT{right - 2 * scaled(hwnd, 16), 0, right, tab_height(hwnd, t)};
}

// The strip's right end for tabs.
int32_t strip_end(HWND hwnd, TabControl* t) {
    return overflows(hwnd, t) ? scroll_buttons(hwnd, t).left : client_of(hwnd).right;
}

// A tab's rectangle as unselected, its left edge given; tabs before the first shown lie left of
// the strip.
RECT tab_rect_at(HWND hwnd, TabControl* t, int32_t index, int32_t left) {
    return RECT{left, scaled(hwnd, 2), left + t->tabs[static_cast<size_t>(index)].width, strip_height(hwnd, t)};
}
RECT tab_rect(HWND hwnd, TabControl* t, int32_t index) {
    int32_t x = scaled(hwnd, 2);
    if (index >= t->first)
        for (int32_t i = t->first; i < index; ++i) x += t->tabs[static_cast<size_t>(i)].width;
    else
        for (int32_t i = index; i < t->first; ++i) x -= t->tabs[static_cast<size_t>(i)].width;
    return tab_rect_at(hwnd, t, index, x);
}

// Scrolls the strip the least that shows the tab whole (or first, when it is wider than the strip).
void show_tab(HWND hwnd, TabControl* t, int32_t index) {
    if (index < 0 || index >= count_of(t)) return;
    if (index < t->first) t->first = index;
    const int64_t room = strip_end(hwnd, t) - scaled(hwnd, 2);
    int64_t used = 0;
    for (int32_t i = t->first; i <= index; ++i) used += t->tabs[static_cast<size_t>(i)].width;
    while (t->first < index && used > room) used -= t->tabs[static_cast<size_t>(t->first++)].width;
}

// A tab picked by the user: the parent may refuse it before, and hears of it after. Answers
// whether the control outlived the notifications.
bool pick(HWND hwnd, int32_t index) {
    TabControl* t = tab_controls().get(hwnd);
    if (!t || index < 0 || index >= count_of(t) || index == t->sel) return true;
    NMHDR changing;
    const Notified asked = notify(hwnd, &changing, TCN_SELCHANGING);
    if (!asked.alive) return false;
    t = tab_controls().get(hwnd);
    if (asked.answer || index >= count_of(t)) return true;
    t->sel = t->focus = index;
    show_tab(hwnd, t, index);
    InvalidateRect(hwnd, nullptr, true);
    NMHDR changed;
    return notify(hwnd, &changed, TCN_SELCHANGE).alive;
}

int32_t tab_at(HWND hwnd, TabControl* t, POINT p) {
    if (p.y < 0 || p.y >= strip_height(hwnd, t) || p.x >= strip_end(hwnd, t)) return -1;
    int32_t x = scaled(hwnd, 2);
    for (int32_t i = t->first; i < count_of(t) && x <= p.x; ++i) {
        x += t->tabs[static_cast<size_t>(i)].width;
        if (p.x < x) return i;
    }
    return -1;
}

void adjust(HWND hwnd, TabControl* t, bool larger, RECT* r) {
    const int32_t side = scaled(hwnd, 4), top = strip_height(hwnd, t) + scaled(hwnd, 2);
    const int32_t sign = larger ? -1 : 1;
    r->left += sign * side;
    r->top += sign * top;
    r->right -= sign * side;
    r->bottom -= sign * side;
}

// A small triangle pointing left or right, centred in the rectangle, column by column.
void draw_arrow(cairo_t* dc, const RECT& r, int32_t half, bool left, COLORREF colour) {
    const int32_t cy = (r.top + r.bottom) / 2, x0 = (r.left + r.right - half) / 2;
    for (int32_t col = 0; col < half; ++col) {
        const int32_t reach = left ? col : half - 1 - col;
        fill_rect(dc, RECT{x0 + col, cy - reach - 1, x0 + col + 1, cy + reach + 1}, colour);
    }
}

void paint(HWND hwnd, TabControl* t) {
    PAINTSTRUCT ps;
    cairo_t* dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    const Palette& pal = palette(hwnd);
    const bool enabled = IsWindowEnabled(hwnd);
    const RECT client = client_of(hwnd);
    const int32_t strip = strip_height(hwnd, t);
    fill_rect(dc, RECT{0, 0, client.right, strip}, pal.face);
    const RECT body{0, strip, client.right, client.bottom};
    fill_rect(dc, body, pal.window);
    frame_rect(dc, body, pal.border, 1);
    gfx::SelectObject(dc, t->font.get());
    gfx::SetBkMode(dc, gfx::TRANSPARENT);
    const int32_t end = strip_end(hwnd, t), lift = scaled(hwnd, 2);
    // A tab cut by the strip's end shows its part that fits.
    const CairoLib* c = cairo_lib();
    c->save(dc);
    c->rectangle(dc, 0, 0, end, client.bottom);
    c->clip(dc);
    int32_t x = scaled(hwnd, 2);
    for (int32_t i = t->first; i < count_of(t) && x < end; ++i) {
        RECT r = tab_rect_at(hwnd, t, i, x);
        x = r.right;
        const bool selected = i == t->sel;
        if (selected) r = RECT{r.left - lift, 0, r.right + lift, strip + 1};
        fill_rect(dc, r, selected ? pal.window : pal.face);
        frame_rect(dc, RECT{r.left, r.top, r.right, r.bottom + (selected ? 0 : 1)}, pal.border, 1);
        if (selected) fill_rect(dc, RECT{r.left + 1, strip, r.right - 1, strip + 1}, pal.window);
        gfx::SetTextColor(dc, enabled ? pal.text : pal.text_disabled);
        RECT text = r;
        gfx::DrawText(dc, t->tabs[static_cast<size_t>(i)].text, &text,
                      gfx::DT_SINGLELINE | gfx::DT_CENTER | gfx::DT_VCENTER | gfx::DT_NOPREFIX);
        if (t->focused && i == t->focus) {
            const int32_t in = scaled(hwnd, 3);
            frame_rect(dc, RECT{r.left + in, r.top + in, r.right - in, r.bottom - in}, pal.accent, 1);
        }
    }
    c->restore(dc);
    if (overflows(hwnd, t)) {
        const RECT b = scroll_buttons(hwnd, t);
        const int32_t mid = (b.left + b.right) / 2;
        for (const RECT& half : {RECT{b.left, b.top, mid, b.bottom}, RECT{mid, b.top, b.right, b.bottom}}) {
            fill_rect(dc, half, pal.face);
            frame_rect(dc, half, pal.border, 1);
        }
        const COLORREF mark = enabled ? pal.text : pal.text_disabled;
        draw_arrow(dc, RECT{b.left, b.top, mid, b.bottom}, scaled(hwnd, 4), true, mark);
        draw_arrow(dc, RECT{mid, b.top, b.right, b.bottom}, scaled(hwnd, 4), false, mark);
    }
    EndPaint(hwnd, &ps);
}

void remeasure(HWND hwnd, TabControl* t) {
    t->text_height = 0;
    t->total = 0;
    for (Tab& tab : t->tabs) t->total += tab.width = measure_tab(hwnd, t, tab.text);
}

LRESULT insert(HWND hwnd, TabControl* t, intptr_t index, const TCITEMW* item) {
    if (!item || index < 0 || index > count_of(t)) return -1;
    Tab tab;
    if ((item->mask & TCIF_TEXT) && item->pszText) tab.text = item->pszText;
    tab.width = measure_tab(hwnd, t, tab.text);
    const auto at = static_cast<int32_t>(index);
    t->total += tab.width;
    t->tabs.insert(t->tabs.begin() + at, std::move(tab));
    if (count_of(t) == 1) {
        t->sel = t->focus = 0;
    } else {
        if (t->sel >= at) ++t->sel;
        if (t->focus >= at) ++t->focus;
    }
    InvalidateRect(hwnd, nullptr, true);
    return at;
}

LRESULT erase(HWND hwnd, TabControl* t, intptr_t index) {
    if (index < 0 || index >= count_of(t)) return 0;
    const auto at = static_cast<int32_t>(index);
    t->total -= t->tabs[static_cast<size_t>(at)].width;
    t->tabs.erase(t->tabs.begin() + at);
    for (int32_t* mark : {&t->sel, &t->focus}) {
        if (*mark == at)
            *mark = -1;
        else if (*mark > at)
            --*mark;
    }
    t->first = std::clamp(t->first, 0, std::max(0, count_of(t) - 1));
    InvalidateRect(hwnd, nullptr, true);
    return 1;
}

LRESULT tab_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (message == WM_NCCREATE) {
        tab_controls().make(hwnd);
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
    TabControl* t = tab_controls().get(hwnd);
    if (!t) return DefWindowProc(hwnd, message, wParam, lParam);
    LRESULT answer = 0;
    if (font_message(t->font, hwnd, message, wParam, lParam, &answer)) {
        if (message == WM_SETFONT) remeasure(hwnd, t);
        return answer;
    }
    switch (message) {
    case WM_NCDESTROY: tab_controls().drop(hwnd); return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: paint(hwnd, t); return 0;
    case WM_SIZE: show_tab(hwnd, t, t->sel); return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, true); return 0;

    case TCM_GETITEMCOUNT: return count_of(t);
    case TCM_INSERTITEMW: return insert(hwnd, t, wParam, reinterpret_cast<const TCITEMW*>(lParam));
    case TCM_DELETEITEM: return erase(hwnd, t, wParam);
    case TCM_DELETEALLITEMS:
        t->tabs.clear();
        t->total = 0;
        t->sel = t->focus = -1;
        t->first = 0;
        InvalidateRect(hwnd, nullptr, true);
        return 1;
    case TCM_GETCURSEL: return t->sel;
    case TCM_GETCURFOCUS: return t->focus;
    case TCM_SETCURSEL:
    case TCM_SETCURFOCUS: {
        if (wParam < 0 || wParam >= count_of(t)) return -1;
        const int32_t before = t->sel;
        t->sel = t->focus = static_cast<int32_t>(wParam);
        show_tab(hwnd, t, t->sel);
        InvalidateRect(hwnd, nullptr, true);
        return message == TCM_SETCURSEL ? before : 0;
    }
    case TCM_GETITEMRECT:
        if (wParam < 0 || wParam >= count_of(t) || !lParam) return 0;
        *reinterpret_cast<RECT*>(lParam) = tab_rect(hwnd, t, static_cast<int32_t>(wParam));
        return 1;
    case TCM_GETITEMW: {
        auto* item = reinterpret_cast<TCITEMW*>(lParam);
        if (wParam < 0 || wParam >= count_of(t) || !item) return 0;
        if ((item->mask & TCIF_TEXT) && item->pszText && item->cchTextMax > 0) {
            const std::u16string& text = t->tabs[static_cast<size_t>(wParam)].text;
            const size_t n = std::min(text.size(), static_cast<size_t>(item->cchTextMax - 1));
            std::copy_n(text.begin(), n, item->pszText);
            item->pszText[n] = 0;
        }
        return 1;
    }
    case TCM_ADJUSTRECT:
        if (lParam) adjust(hwnd, t, wParam != 0, reinterpret_cast<RECT*>(lParam));
        return 0;

    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const POINT p{lparam_x(lParam), lparam_y(lParam)};
        if (overflows(hwnd, t)) {
            const RECT b = scroll_buttons(hwnd, t);
            if (p.x >= b.left && p.y >= b.top && p.y < b.bottom) {
                const int32_t step = p.x < (b.left + b.right) / 2 ? -1 : 1;
                t->first = std::clamp(t->first + step, 0, std::max(0, count_of(t) - 1));
                InvalidateRect(hwnd, nullptr, true);
                return 0;
            }
        }
        const int32_t index = tab_at(hwnd, t, p);
        if (index < 0) return 0;
        if (GetFocus() != hwnd) {
            SetFocus(hwnd);
            if (!tab_controls().get(hwnd)) return 0;
        }
        pick(hwnd, index);
        return 0;
    }
    case WM_KEYDOWN:
        if ((wParam == VK_LEFT || wParam == VK_RIGHT) && count_of(t)) {
            const int32_t from = t->sel >= 0 ? t->sel : t->focus;
            pick(hwnd, std::clamp(from + (wParam == VK_LEFT ? -1 : 1), 0, count_of(t) - 1));
            return 0;
        }
        return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        t->focused = message == WM_SETFOCUS;
        InvalidateRect(hwnd, nullptr, true);
        return 0;
    default: return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

}  // namespace

bool register_tab() { return register_control(kTabClass, tab_proc, IDC_ARROW, CS_DBLCLKS); }

}  // namespace nuv::host::controls
