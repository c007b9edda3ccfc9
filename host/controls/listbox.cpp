// The list box: its items, selection, caret item, scroll positions and horizontal extent per
// window, the bars of its window kept in step with them, input, and painting of the visible
// items only. The selection moves by the mouse and the keys; programmatic changes never notify.
#include "host/controls/listbox.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "host/win/keys.h"

namespace nuv::host::controls {

using namespace win;

namespace {

uint64_t g_item_moves = 0;

// The items in a gap buffer: a run of inserts or deletes at one place, as a caller keeping the
// list in step with its data makes them, moves the items between once, not at each step.
class Items {
public:
    size_t size() const { return buf_.size() - gap(); }
    bool empty() const { return size() == 0; }
    const std::u16string& operator[](size_t i) const { return buf_[i < start_ ? i : i + gap()]; }
    void insert(size_t at, std::u16string text) {
        if (!gap()) grow();
        move_gap(at);
        buf_[start_++] = std::move(text);
    }
    void erase(size_t at) {
        move_gap(at);
        std::u16string().swap(buf_[end_++]);
    }
    void clear() {
        std::vector<std::u16string>().swap(buf_);
        start_ = end_ = 0;
    }

private:
    size_t gap() const { return end_ - start_; }
    void move_gap(size_t at) {
        for (; at < start_; ++g_item_moves) buf_[--end_] = std::move(buf_[--start_]);
        for (; at > start_; ++g_item_moves) buf_[start_++] = std::move(buf_[end_++]);
    }
    void grow() {
        const size_t tail = buf_.size() - end_;
        std::vector<std::u16string> bigger(std::max<size_t>(16, buf_.size() * 2));
        for (size_t i = 0; i < start_; ++i, ++g_item_moves) bigger[i] = std::move(buf_[i]);
        for (size_t i = 0; i < tail; ++i, ++g_item_moves) bigger[bigger.size() - tail + i] = std::move(buf_[end_ + i]);
        end_ = bigger.size() - tail;
        buf_.swap(bigger);
    }
    std::vector<std::u16string> buf_;
    size_t start_ = 0, end_ = 0;  // the gap
};

struct ListBox {
    Items items;
    int32_t sel = -1;    // the selected item, -1 none
    int32_t caret = 0;   // the item the focus ring is on
    int32_t top = 0;     // the first item shown
    int32_t hpos = 0;    // pixels scrolled to the left
    int32_t extent = 0;  // the width the horizontal bar scrolls over
    int32_t item_height = 0;  // 0: measure with the font at the next need
    int32_t wheel = 0;        // wheel delta not yet turned into lines
    uint32_t bars = 0;        // WS_VSCROLL and WS_HSCROLL as created: the bars it may show
    HWND combo = 0;           // the combo box whose drop list this is
    uint32_t last_auto_scroll = 0;
    bool auto_scrolled = false;
    bool focused = false, dragging = false, fitting_bars = false;
    FontSlot font;
};

StateTable<ListBox>& lists() {
    static StateTable<ListBox> table;
    return table;
}

int32_t item_height(HWND hwnd, ListBox* lb) {
    if (!lb->item_height) lb->item_height = std::max(1, measure_text(hwnd, lb->font.get(), u"Ag").cy + scaled(hwnd, 2));
    return lb->item_height;
}

RECT client_of(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return r;
}

int32_t count_of(const ListBox* lb) { return static_cast<int32_t>(lb->items.size()); }

// Whole items the client shows (at least one).
int32_t page_of(HWND hwnd, ListBox* lb) { return std::max(1, client_of(hwnd).height() / item_height(hwnd, lb)); }

int32_t max_top(HWND hwnd, ListBox* lb) { return std::max(0, count_of(lb) - page_of(hwnd, lb)); }

int32_t max_hpos(HWND hwnd, const ListBox* lb) { return std::max(0, lb->extent - client_of(hwnd).width()); }

// Shows the bars the content needs and tells them the positions. Showing a bar changes the
// client, which may change what the other bar needs, so it looks twice.
void fit_bars(HWND hwnd, ListBox* lb) {
    if (lb->fitting_bars) return;
    lb->fitting_bars = true;
    for (int pass = 0; pass < 2; ++pass) {
        lb->top = std::clamp(lb->top, 0, max_top(hwnd, lb));
        lb->hpos = std::clamp(lb->hpos, 0, max_hpos(hwnd, lb));
        if (lb->bars & WS_VSCROLL) {
            const bool need = count_of(lb) > page_of(hwnd, lb);
            SCROLLINFO si;
            si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
            si.nMax = std::max(0, count_of(lb) - 1);
            si.nPage = static_cast<uint32_t>(page_of(hwnd, lb));
            si.nPos = lb->top;
            SetScrollInfo(hwnd, SB_VERT, &si, true);
            ShowScrollBar(hwnd, SB_VERT, need);
        }
        if (lb->bars & WS_HSCROLL) {
            const bool need = lb->extent > client_of(hwnd).width();
            SCROLLINFO si;
            si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
            si.nMax = std::max(0, lb->extent - 1);
            si.nPage = static_cast<uint32_t>(std::max(0, client_of(hwnd).width()));
            si.nPos = lb->hpos;
            SetScrollInfo(hwnd, SB_HORZ, &si, true);
            ShowScrollBar(hwnd, SB_HORZ, need);
        }
        if (!IsWindow(hwnd)) return;
    }
    lb->fitting_bars = false;
}

void set_bar_pos(HWND hwnd, int32_t bar, int32_t pos) {
    SCROLLINFO si;
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(hwnd, bar, &si, true);
}

// Scrolls the items to a first item shown (vertical) or a pixel offset (horizontal).
void scroll_to(HWND hwnd, ListBox* lb, bool vertical, int32_t pos) {
    int32_t& at = vertical ? lb->top : lb->hpos;
    pos = std::clamp(pos, 0, vertical ? max_top(hwnd, lb) : max_hpos(hwnd, lb));
    if (pos == at) return;
    at = pos;
    set_bar_pos(hwnd, vertical ? SB_VERT : SB_HORZ, pos);
    InvalidateRect(hwnd, nullptr, true);
}

void set_top(HWND hwnd, ListBox* lb, int32_t top) { scroll_to(hwnd, lb, true, top); }

void scroll_into_view(HWND hwnd, ListBox* lb, int32_t index) {
    if (index < 0) return;
    if (index < lb->top)
        set_top(hwnd, lb, index);
    else if (index >= lb->top + page_of(hwnd, lb))
        set_top(hwnd, lb, index - page_of(hwnd, lb) + 1);
}

// Moves the selection and the caret; with `by_user` the parent hears of a change (LBS_NOTIFY).
// Answers false when the list did not outlive the notification.
bool select(HWND hwnd, ListBox* lb, int32_t index, bool by_user) {
    if (index >= 0) lb->caret = index;
    scroll_into_view(hwnd, lb, index);
    if (index == lb->sel) return true;
    lb->sel = index;
    InvalidateRect(hwnd, nullptr, true);
    if (by_user && (GetWindowLong(hwnd, GWL_STYLE) & LBS_NOTIFY)) return notify_command(hwnd, LBN_SELCHANGE);
    return true;
}

// The item at a client y, clamped to the items; -1 for an empty list.
int32_t item_at(HWND hwnd, ListBox* lb, int32_t y) {
    if (lb->items.empty()) return -1;
    const int32_t h = item_height(hwnd, lb);
    const int32_t row = y < 0 ? -1 - (-1 - y) / h : y / h;
    return std::clamp(lb->top + row, 0, count_of(lb) - 1);
}

LRESULT insert(HWND hwnd, ListBox* lb, intptr_t index, intptr_t text) {
    if (!text) return LB_ERR;
    if (index == -1) index = count_of(lb);
    if (index < 0 || index > count_of(lb)) return LB_ERR;
    try {
        lb->items.insert(static_cast<size_t>(index), std::u16string(reinterpret_cast<const char16_t*>(text)));
    } catch (const std::bad_alloc&) {
        return LB_ERRSPACE;
    }
    if (lb->sel >= index) ++lb->sel;
    if (lb->caret >= index && count_of(lb) > 1) ++lb->caret;
    fit_bars(hwnd, lb);
    InvalidateRect(hwnd, nullptr, true);
    return index;
}

LRESULT erase(HWND hwnd, ListBox* lb, intptr_t index) {
    if (index < 0 || index >= count_of(lb)) return LB_ERR;
    const auto at = static_cast<int32_t>(index);
    lb->items.erase(static_cast<size_t>(at));
    if (lb->sel == at)
        lb->sel = -1;
    else if (lb->sel > at)
        --lb->sel;
    if (lb->caret > at || lb->caret >= count_of(lb)) lb->caret = std::max(0, lb->caret - 1);
    fit_bars(hwnd, lb);
    InvalidateRect(hwnd, nullptr, true);
    return count_of(lb);
}

void scroll(HWND hwnd, ListBox* lb, bool vertical, uint32_t request) {
    const int32_t bar = vertical ? SB_VERT : SB_HORZ;
    const int32_t line = vertical ? 1 : scaled(hwnd, 8);
    const int32_t page = vertical ? std::max(1, page_of(hwnd, lb) - 1) : std::max(1, client_of(hwnd).width());
    const int32_t at = vertical ? lb->top : lb->hpos;
    int32_t to = at;
    switch (request) {
    case SB_LINEUP: to = at - line; break;
    case SB_LINEDOWN: to = at + line; break;
    case SB_PAGEUP: to = at - page; break;
    case SB_PAGEDOWN: to = at + page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO si;
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(hwnd, bar, &si);
        to = si.nTrackPos;
        break;
    }
    case SB_TOP: to = 0; break;
    case SB_BOTTOM: to = INT32_MAX / 2; break;
    default: return;
    }
    scroll_to(hwnd, lb, vertical, to);
}

void key_down(HWND hwnd, ListBox* lb, intptr_t key) {
    if (lb->items.empty()) return;
    const int32_t page = std::max(1, page_of(hwnd, lb) - 1);
    const int32_t from = lb->sel >= 0 ? lb->sel : lb->caret;
    int32_t to;
    switch (key) {
    case VK_UP: to = from - 1; break;
    case VK_DOWN: to = lb->sel >= 0 ? from + 1 : from; break;
    case VK_PRIOR: to = from - page; break;
    case VK_NEXT: to = from + page; break;
    case VK_HOME: to = 0; break;
    case VK_END: to = count_of(lb) - 1; break;
    case VK_LEFT: return scroll(hwnd, lb, false, SB_LINEUP);
    case VK_RIGHT: return scroll(hwnd, lb, false, SB_LINEDOWN);
    default: return;
    }
    select(hwnd, lb, std::clamp(to, 0, count_of(lb) - 1), true);
}

void paint(HWND hwnd) {
    PAINTSTRUCT ps;
    cairo_t* dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    // A drop list asks, and is coloured, as its combo box.
    const HWND asker = lists().get(hwnd)->combo ? lists().get(hwnd)->combo : hwnd;
    const Palette& pal = palette(asker);
    const HBRUSH brush =
        ask_colours(asker, WM_CTLCOLORLISTBOX, dc, IsWindowEnabled(hwnd) ? pal.window_text : pal.text_disabled, pal.window);
    ListBox* lb = IsWindow(hwnd) ? lists().get(hwnd) : nullptr;
    if (brush && lb) {
        const RECT client = client_of(hwnd);
        gfx::FillRect(dc, client, brush);
        const COLORREF text = gfx::GetTextColor(dc);
        gfx::SelectObject(dc, lb->font.get());
        gfx::SetBkMode(dc, gfx::TRANSPARENT);
        const int32_t h = item_height(hwnd, lb);
        const int32_t last = std::min(count_of(lb), lb->top + client.height() / h + 1);
        const int32_t pad = scaled(hwnd, 2);
        for (int32_t i = lb->top; i < last; ++i) {
            const int32_t y = (i - lb->top) * h;
            const RECT row{0, y, client.right, y + h};
            if (i == lb->sel) fill_rect(dc, row, pal.selection);
            gfx::SetTextColor(dc, i == lb->sel ? pal.selection_text : text);
            RECT at{pad - lb->hpos, y, std::max(client.right, lb->extent) - lb->hpos, y + h};
            gfx::DrawText(dc, lb->items[static_cast<size_t>(i)], &at, gfx::DT_SINGLELINE | gfx::DT_VCENTER | gfx::DT_NOPREFIX);
            if (lb->focused && i == lb->caret) frame_rect(dc, row, i == lb->sel ? pal.selection_text : pal.accent, 1);
        }
    }
    EndPaint(hwnd, &ps);
}

}  // namespace

gfx::SIZE measure_text(HWND hwnd, HFONT font, std::u16string_view text) {
    gfx::SIZE size;
    if (cairo_t* dc = GetDC(hwnd)) {
        gfx::SelectObject(dc, font);
        gfx::GetTextExtentPoint32(dc, text, &size);
        ReleaseDC(hwnd, dc);
    }
    return size;
}

LRESULT listbox_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (message == WM_NCCREATE) {
        ListBox* made = lists().make(hwnd);
        made->bars = reinterpret_cast<const CREATESTRUCT*>(lParam)->style & (WS_VSCROLL | WS_HSCROLL);
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
    ListBox* lb = lists().get(hwnd);
    if (!lb) return DefWindowProc(hwnd, message, wParam, lParam);
    LRESULT answer = 0;
    if (font_message(lb->font, hwnd, message, wParam, lParam, &answer)) {
        if (message == WM_SETFONT) {
            lb->item_height = 0;
            fit_bars(hwnd, lb);
        }
        return answer;
    }
    switch (message) {
    case WM_CREATE: fit_bars(hwnd, lb); return 0;
    case WM_NCDESTROY: lists().drop(hwnd); return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_SIZE: fit_bars(hwnd, lb); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: paint(hwnd); return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, true); return 0;

    case LB_ADDSTRING: return insert(hwnd, lb, -1, lParam);
    case LB_INSERTSTRING: return insert(hwnd, lb, wParam, lParam);
    case LB_DELETESTRING: return erase(hwnd, lb, wParam);
    case LB_RESETCONTENT:
        lb->items.clear();
        lb->sel = -1;
        lb->caret = lb->top = 0;
        fit_bars(hwnd, lb);
        InvalidateRect(hwnd, nullptr, true);
        return 0;
    case LB_GETCOUNT: return count_of(lb);
    case LB_SETCURSEL:
        if (wParam < -1 || wParam >= count_of(lb)) return LB_ERR;
        select(hwnd, lb, static_cast<int32_t>(wParam), false);
        return wParam == -1 ? LB_ERR : wParam;
    case LB_GETCURSEL: return lb->sel;
    case LB_GETTEXTLEN:
        if (wParam < 0 || wParam >= count_of(lb)) return LB_ERR;
        return static_cast<LRESULT>(lb->items[static_cast<size_t>(wParam)].size());
    case LB_GETTEXT: {
        if (wParam < 0 || wParam >= count_of(lb) || !lParam) return LB_ERR;
        const std::u16string& item = lb->items[static_cast<size_t>(wParam)];
        auto* out = reinterpret_cast<char16_t*>(lParam);
        std::copy(item.begin(), item.end(), out);
        out[item.size()] = 0;
        return static_cast<LRESULT>(item.size());
    }
    case LB_GETTOPINDEX: return lb->top;
    case LB_SETTOPINDEX:
        if (wParam < 0 || wParam >= std::max(1, count_of(lb))) return LB_ERR;
        set_top(hwnd, lb, static_cast<int32_t>(wParam));
        return 0;
    case LB_SETHORIZONTALEXTENT:
        lb->extent = static_cast<int32_t>(std::clamp<intptr_t>(wParam, 0, INT32_MAX));
        fit_bars(hwnd, lb);
        InvalidateRect(hwnd, nullptr, true);
        return 0;
    case LB_GETHORIZONTALEXTENT: return lb->extent;
    case LB_GETITEMHEIGHT: return item_height(hwnd, lb);
    case LB_GETITEMRECT: {
        if (wParam < 0 || wParam >= count_of(lb) || !lParam) return LB_ERR;
        const int32_t h = item_height(hwnd, lb);
        const int32_t y = (static_cast<int32_t>(wParam) - lb->top) * h;
        *reinterpret_cast<RECT*>(lParam) = RECT{0, y, client_of(hwnd).right, y + h};
        return LB_OKAY;
    }
    case LB_ITEMFROMPOINT: {
        const int32_t x = lparam_x(lParam), y = lparam_y(lParam);
        const RECT client = client_of(hwnd);
        const int32_t index = item_at(hwnd, lb, y);
        const int32_t row_end = (count_of(lb) - lb->top) * item_height(hwnd, lb);
        const bool outside = index < 0 || x < 0 || x >= client.right || y < 0 || y >= client.bottom || y >= row_end;
        return (std::max(index, 0) & 0xFFFF) | (outside ? 0x10000 : 0);
    }

    case WM_VSCROLL:
    case WM_HSCROLL:
        if (!lParam) scroll(hwnd, lb, message == WM_VSCROLL, static_cast<uint32_t>(wParam & 0xFFFF));
        return 0;
    case WM_MOUSEWHEEL: {
        lb->wheel += static_cast<int16_t>((wParam >> 16) & 0xFFFF);
        const int32_t lines = lb->wheel / WHEEL_DELTA * 3;
        lb->wheel %= WHEEL_DELTA;
        set_top(hwnd, lb, lb->top - lines);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (GetFocus() != hwnd) {
            SetFocus(hwnd);
            if (!(lb = lists().get(hwnd))) return 0;
        }
        const RECT client = client_of(hwnd);
        const int32_t y = lparam_y(lParam);
        if (y >= (count_of(lb) - lb->top) * item_height(hwnd, lb) || y >= client.bottom) return 0;
        SetCapture(hwnd);
        lb->dragging = true;
        select(hwnd, lb, item_at(hwnd, lb, y), true);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (lb->dragging && (wParam & MK_LBUTTON)) select(hwnd, lb, item_at(hwnd, lb, lparam_y(lParam)), true);
        return 0;
    case WM_LBUTTONUP:
        if (lb->dragging) {
            lb->dragging = false;
            if (GetCapture() == hwnd) ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED: lb->dragging = false; return 0;
    case WM_KEYDOWN: key_down(hwnd, lb, wParam); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        lb->focused = message == WM_SETFOCUS;
        InvalidateRect(hwnd, nullptr, true);
        if (GetWindowLong(hwnd, GWL_STYLE) & LBS_NOTIFY)
            notify_command(hwnd, message == WM_SETFOCUS ? LBN_SETFOCUS : LBN_KILLFOCUS);
        return 0;
    default: return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

void listbox_serve_combo(HWND list, HWND combo) {
    if (ListBox* lb = lists().get(list)) lb->combo = combo;
}

uint64_t listbox_item_moves() { return g_item_moves; }

int32_t LBItemFromPt(HWND list, POINT screen, bool auto_scroll) {
    ListBox* lb = lists().get(list);
    if (!lb || !IsWindow(list)) return -1;
    POINT at = screen;
    ScreenToClient(list, &at);
    const RECT client = client_of(list);
    if (at.x >= 0 && at.x < client.right && at.y >= 0 && at.y < client.bottom) {
        const int32_t index = lb->top + at.y / item_height(list, lb);
        return index < count_of(lb) ? index : -1;
    }
    if (auto_scroll && at.x >= 0 && at.x < client.right && (at.y < 0 || at.y >= client.bottom)) {
        const uint32_t now = GetTickCount();
        if (!lb->auto_scrolled || now - lb->last_auto_scroll >= 100) {
            lb->auto_scrolled = true;
            lb->last_auto_scroll = now;
            set_top(list, lb, lb->top + (at.y < 0 ? -1 : 1));
        }
    }
    return -1;
}

bool register_listbox() { return register_control(kListBoxClass, listbox_proc, IDC_ARROW, CS_DBLCLKS); }

}  // namespace nuv::host::controls
