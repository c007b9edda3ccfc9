// The combo box: its selection, its drop list (a list box in a popup it owns, which keeps the
// items) and, for a drop-down one, its edit child; dropping and closing the list, the focus
// shared by the box and its parts, and painting of the field and its button. While the list is
// dropped the focus stays with the box and the list holds the mouse capture.
#include "host/controls/combobox.h"

#include <algorithm>
#include <string>

#include "host/controls/edit.h"
#include "host/controls/listbox.h"
#include "host/win/keys.h"

namespace nuv::host::controls {

using namespace win;

namespace {

constexpr std::u16string_view kDropListClass = u"ComboLBox";
constexpr std::u16string_view kComboEditClass = u"ComboEdit";
constexpr int32_t kMostDroppedItems = 30;
constexpr intptr_t kKeyF4 = VK_F1 + 3;

struct Combo {
    HWND list = 0, edit = 0;
    int32_t sel = -1;
    bool drop_down = false;  // edits its text (else shows the selected item)
    bool dropped = false, focused = false, setting_text = false;
    FontSlot font;
};

StateTable<Combo>& combos() {
    static StateTable<Combo> table;
    return table;
}
// The combo box of each drop list.
StateTable<HWND>& drop_lists() {
    static StateTable<HWND> table;
    return table;
}
WNDPROC g_edit_proc = nullptr;  // the "EDIT" class's procedure, which the combo's edit extends

int32_t button_width(HWND hwnd) { return scaled(hwnd, 17); }

// Shows the item in the field: the edit's text, or the box's own text.
void show_item(HWND hwnd, Combo* cb) {
    std::u16string text;
    if (cb->sel >= 0) {
        text.resize(static_cast<size_t>(std::max<LRESULT>(0, SendMessage(cb->list, LB_GETTEXTLEN, cb->sel, 0))));
        SendMessage(cb->list, LB_GETTEXT, cb->sel, reinterpret_cast<intptr_t>(text.data()));
    }
    if (cb->edit) {
        cb->setting_text = true;
        SetWindowText(cb->edit, text);
        SendMessage(cb->edit, EM_SETSEL, 0, -1);
        if (Combo* alive = combos().get(hwnd)) alive->setting_text = false;
    } else {
        DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<intptr_t>(text.c_str()));
    }
    InvalidateRect(hwnd, nullptr, true);
}

// Selects an item; with `by_user` the parent hears of a change. Answers whether the box
// outlived the notification.
bool select(HWND hwnd, Combo* cb, int32_t index, bool by_user) {
    if (index == cb->sel) return true;
    cb->sel = index;
    SendMessage(cb->list, LB_SETCURSEL, index, 0);
    show_item(hwnd, cb);
    return !by_user || notify_command(hwnd, CBN_SELCHANGE);
}

void drop(HWND hwnd, Combo* cb) {
    if (cb->dropped || !IsWindow(cb->list)) return;
    RECT at;
    GetWindowRect(hwnd, &at);
    const auto count = static_cast<int32_t>(SendMessage(cb->list, LB_GETCOUNT, 0, 0));
    const auto item = static_cast<int32_t>(SendMessage(cb->list, LB_GETITEMHEIGHT, 0, 0));
    const int32_t rows = std::clamp(count, 1, kMostDroppedItems);
    RECT frame{0, 0, at.width(), rows * item};
    AdjustWindowRectEx(&frame, WS_POPUP | WS_BORDER, false, 0);
    SetWindowPos(cb->list, HWND_TOPMOST, at.left, at.bottom, at.width(), frame.height(),
                 SWP_SHOWWINDOW | SWP_NOACTIVATE);
    SendMessage(cb->list, LB_SETCURSEL, cb->sel, 0);
    cb->dropped = true;
    SetCapture(cb->list);
    InvalidateRect(hwnd, nullptr, true);
}

// Closes the list; `commit` takes the item it shows as the selection. Answers whether the box
// outlived the notification.
bool close(HWND hwnd, Combo* cb, bool commit) {
    if (!cb->dropped) return true;
    cb->dropped = false;
    if (GetCapture() == cb->list) ReleaseCapture();
    if (!(cb = combos().get(hwnd))) return false;
    ShowWindow(cb->list, SW_HIDE);
    InvalidateRect(hwnd, nullptr, true);
    const auto picked = static_cast<int32_t>(SendMessage(cb->list, LB_GETCURSEL, 0, 0));
    if (commit && picked >= 0) return select(hwnd, cb, picked, true);
    SendMessage(cb->list, LB_SETCURSEL, cb->sel, 0);
    return true;
}

void focus_gained(HWND hwnd, Combo* cb) {
    if (cb->focused) return;
    cb->focused = true;
    InvalidateRect(hwnd, nullptr, true);
    notify_command(hwnd, CBN_SETFOCUS);
}

// The focus went to `to`: the box loses it unless it stays within the box and its parts.
void focus_lost(HWND hwnd, Combo* cb, HWND to) {
    if (!cb->focused || to == hwnd || (to && (to == cb->edit || to == cb->list))) return;
    cb->focused = false;
    if (!close(hwnd, cb, false)) return;
    InvalidateRect(hwnd, nullptr, true);
    notify_command(hwnd, CBN_KILLFOCUS);
}

// The keys of the box and of its edit; answers whether the key was taken.
bool key_down(HWND hwnd, Combo* cb, uint32_t message, intptr_t key) {
    const bool alt = message == WM_SYSKEYDOWN;
    if (key == kKeyF4 || (alt && (key == VK_DOWN || key == VK_UP))) {
        if (cb->dropped)
            close(hwnd, cb, true);
        else
            drop(hwnd, cb);
        return true;
    }
    if (alt) return false;
    if (cb->dropped) {
        if (key == VK_RETURN || key == VK_ESCAPE) {
            close(hwnd, cb, key == VK_RETURN);
            return true;
        }
        if (key == VK_UP || key == VK_DOWN || key == VK_PRIOR || key == VK_NEXT || key == VK_HOME || key == VK_END) {
            SendMessage(cb->list, WM_KEYDOWN, key, 0);
            return true;
        }
        return false;
    }
    const auto count = static_cast<int32_t>(SendMessage(cb->list, LB_GETCOUNT, 0, 0));
    if (!count) return false;
    int32_t to;
    switch (key) {
    case VK_UP: to = cb->sel - 1; break;
    case VK_DOWN: to = cb->sel + 1; break;
    case VK_PRIOR: to = cb->sel - (kMostDroppedItems - 1); break;
    case VK_NEXT: to = cb->sel + (kMostDroppedItems - 1); break;
    case VK_HOME: to = 0; break;
    case VK_END: to = count - 1; break;
    default: return false;
    }
    select(hwnd, cb, std::clamp(to, 0, count - 1), true);
    return true;
}

// A small triangle pointing down, centred in the rectangle, row by row.
void draw_arrow(cairo_t* dc, const RECT& r, int32_t half, COLORREF colour) {
    const int32_t cx = (r.left + r.right) / 2, top = (r.top + r.bottom - half) / 2;
    for (int32_t row = 0; row < half; ++row)
        fill_rect(dc, RECT{cx - half + row, top + row, cx + half - row, top + row + 1}, colour);
}

void paint(HWND hwnd, Combo* cb) {
    PAINTSTRUCT ps;
    cairo_t* dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    const Palette& pal = palette(hwnd);
    const bool enabled = IsWindowEnabled(hwnd);
    const HBRUSH brush =
        ask_colours(hwnd, WM_CTLCOLORLISTBOX, dc, enabled ? pal.window_text : pal.text_disabled, pal.window);
    if (brush && (cb = combos().get(hwnd))) {
        RECT client;
        GetClientRect(hwnd, &client);
        gfx::FillRect(dc, client, brush);
        const int32_t bw = button_width(hwnd);
        const RECT button{client.right - bw, 1, client.right - 1, client.bottom - 1};
        fill_rect(dc, button, cb->dropped ? pal.face_pressed : pal.face);
        draw_arrow(dc, button, scaled(hwnd, 4), enabled ? pal.text : pal.text_disabled);
        if (!cb->edit) {
            std::u16string text = GetWindowText(hwnd);
            const int32_t inset = scaled(hwnd, 2);
            RECT field{inset, inset, button.left - inset, client.bottom - inset};
            COLORREF colour = gfx::GetTextColor(dc);
            if (cb->focused && !cb->dropped && cb->sel >= 0) {
                fill_rect(dc, field, pal.selection);
                colour = pal.selection_text;
            }
            gfx::SelectObject(dc, cb->font.get());
            gfx::SetBkMode(dc, gfx::TRANSPARENT);
            gfx::SetTextColor(dc, colour);
            field.left += inset;
            gfx::DrawText(dc, text, &field, gfx::DT_SINGLELINE | gfx::DT_VCENTER | gfx::DT_NOPREFIX);
        }
        frame_rect(dc, client, cb->focused ? pal.accent : pal.border, 1);
    }
    EndPaint(hwnd, &ps);
}

void place_edit(HWND hwnd, Combo* cb) {
    if (!cb->edit) return;
    RECT client;
    GetClientRect(hwnd, &client);
    const int32_t inset = scaled(hwnd, 2);
    MoveWindow(cb->edit, inset, inset, std::max(0, client.right - button_width(hwnd) - 2 * inset),
               std::max(0, client.bottom - 2 * inset), true);
}

// The edit of a drop-down box: the "EDIT" control with the box's keys taken first.
LRESULT combo_edit_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
        const HWND box = GetParent(hwnd);
        if (Combo* cb = combos().get(box))
            if (key_down(box, cb, message, wParam)) return 0;
    }
    return CallWindowProc(g_edit_proc, hwnd, message, wParam, lParam);
}

bool make_parts(HWND hwnd, Combo* cb, const CREATESTRUCT* cs) {
    // Scroll bar styles are the drop list's: the box itself shows only its field and button.
    const uint32_t bars = cs->style & (WS_VSCROLL | WS_HSCROLL);
    if (bars) SetWindowLong(hwnd, GWL_STYLE, static_cast<intptr_t>(cs->style & ~bars));
    cb->list = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST, kDropListClass, u"",
                              WS_POPUP | WS_BORDER | bars, 0, 0, cs->cx, 0, hwnd, 0,
                              reinterpret_cast<void*>(intptr_t(hwnd)));
    if (!cb->list) return false;
    listbox_serve_combo(cb->list, hwnd);
    if (!cb->drop_down) {
        DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<intptr_t>(u""));
        return true;
    }
    if (!g_edit_proc) {
        WNDCLASS edit;
        if (!GetClassInfo(kEditClass, &edit)) return false;
        g_edit_proc = edit.proc;
        edit.name = std::u16string(kComboEditClass);
        edit.proc = combo_edit_proc;
        if (!RegisterClass(edit)) return false;
    }
    const uint32_t auto_scroll = (cs->style & CBS_AUTOHSCROLL) ? uint32_t{ES_AUTOHSCROLL} : 0u;
    cb->edit = CreateWindowEx(0, kComboEditClass, cs->lpszName, WS_CHILD | WS_VISIBLE | auto_scroll, 0, 0, 0, 0, hwnd,
                              1001, nullptr);
    if (!cb->edit) return false;
    place_edit(hwnd, cb);
    return true;
}

LRESULT combo_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (message == WM_NCCREATE) {
        Combo* made = combos().make(hwnd);
        made->drop_down = (reinterpret_cast<const CREATESTRUCT*>(lParam)->style & 3) != CBS_DROPDOWNLIST;
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
    Combo* cb = combos().get(hwnd);
    if (!cb) return DefWindowProc(hwnd, message, wParam, lParam);
    LRESULT answer = 0;
    if (font_message(cb->font, hwnd, message, wParam, lParam, &answer)) {
        if (message == WM_SETFONT) {
            SendMessage(cb->list, WM_SETFONT, wParam, 0);
            if (cb->edit) SendMessage(cb->edit, WM_SETFONT, wParam, lParam);
        }
        return answer;
    }
    switch (message) {
    case WM_CREATE: return make_parts(hwnd, cb, reinterpret_cast<const CREATESTRUCT*>(lParam)) ? 0 : -1;
    case WM_DESTROY:
        if (IsWindow(cb->list)) DestroyWindow(cb->list);
        return 0;
    case WM_NCDESTROY: combos().drop(hwnd); return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_SIZE: place_edit(hwnd, cb); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: paint(hwnd, cb); return 0;
    case WM_SHOWWINDOW:
        if (!wParam) close(hwnd, cb, false);
        return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_ENABLE:
        if (cb->edit) EnableWindow(cb->edit, wParam != 0);
        if (!wParam) close(hwnd, cb, false);
        InvalidateRect(hwnd, nullptr, true);
        return 0;

    case CB_ADDSTRING: return SendMessage(cb->list, LB_ADDSTRING, 0, lParam);
    case CB_INSERTSTRING: {
        const LRESULT at = SendMessage(cb->list, LB_INSERTSTRING, wParam, lParam);
        if (at >= 0 && cb->sel >= at) ++cb->sel;
        return at;
    }
    case CB_DELETESTRING: {
        const LRESULT left = SendMessage(cb->list, LB_DELETESTRING, wParam, 0);
        if (left < 0) return CB_ERR;
        if (cb->sel == wParam) {
            cb->sel = -1;
            show_item(hwnd, cb);
        } else if (cb->sel > wParam) {
            --cb->sel;
        }
        return left;
    }
    case CB_RESETCONTENT:
        close(hwnd, cb, false);
        if (!(cb = combos().get(hwnd))) return 0;
        SendMessage(cb->list, LB_RESETCONTENT, 0, 0);
        cb->sel = -1;
        show_item(hwnd, cb);
        return CB_OKAY;
    case CB_GETCOUNT: return SendMessage(cb->list, LB_GETCOUNT, 0, 0);
    case CB_GETCURSEL: return cb->sel;
    case CB_SETCURSEL:
        if (wParam < -1 || wParam >= SendMessage(cb->list, LB_GETCOUNT, 0, 0)) return CB_ERR;
        select(hwnd, cb, static_cast<int32_t>(wParam), false);
        return wParam == -1 ? CB_ERR : wParam;
    case CB_GETLBTEXT: return SendMessage(cb->list, LB_GETTEXT, wParam, lParam);
    case CB_GETLBTEXTLEN: return SendMessage(cb->list, LB_GETTEXTLEN, wParam, 0);
    case CB_SHOWDROPDOWN:
        if (wParam)
            drop(hwnd, cb);
        else
            close(hwnd, cb, false);
        return 1;
    case CB_GETDROPPEDSTATE: return cb->dropped;
    case CB_SETHORIZONTALEXTENT: return SendMessage(cb->list, LB_SETHORIZONTALEXTENT, wParam, 0);
    case CB_GETHORIZONTALEXTENT: return SendMessage(cb->list, LB_GETHORIZONTALEXTENT, 0, 0);

    case WM_SETTEXT:
        if (cb->edit) {
            cb->setting_text = true;
            const LRESULT done = SendMessage(cb->edit, WM_SETTEXT, wParam, lParam);
            if ((cb = combos().get(hwnd))) cb->setting_text = false;
            return done;
        } else {
            // A drop-list box shows only its items: the text picks the item that has it.
            if (!lParam) return CB_ERR;
            const std::u16string_view want(reinterpret_cast<const char16_t*>(lParam));
            const auto count = static_cast<int32_t>(SendMessage(cb->list, LB_GETCOUNT, 0, 0));
            std::u16string item;
            for (int32_t i = 0; i < count; ++i) {
                if (SendMessage(cb->list, LB_GETTEXTLEN, i, 0) != static_cast<LRESULT>(want.size())) continue;
                item.resize(want.size());
                SendMessage(cb->list, LB_GETTEXT, i, reinterpret_cast<intptr_t>(item.data()));
                if (item == want) return select(hwnd, cb, i, false), 1;
            }
            return CB_ERR;
        }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return cb->edit ? SendMessage(cb->edit, message, wParam, lParam) : DefWindowProc(hwnd, message, wParam, lParam);

    case WM_CTLCOLOREDIT:
        // The edit's colours are the box's: its parent is asked on the box's behalf.
        if (const HWND parent = GetParent(hwnd)) return SendMessage(parent, message, wParam, hwnd);
        return 0;
    case WM_COMMAND:
        if (lParam && lParam == cb->edit) {
            const auto code = static_cast<uint32_t>((wParam >> 16) & 0xFFFF);
            if (code == EN_CHANGE && !cb->setting_text)
                notify_command(hwnd, CBN_EDITCHANGE);
            else if (code == EN_SETFOCUS)
                focus_gained(hwnd, cb);
            else if (code == EN_KILLFOCUS)
                focus_lost(hwnd, cb, GetFocus());
        }
        return 0;
    case WM_SETFOCUS:
        if (cb->edit)
            SetFocus(cb->edit);
        else
            focus_gained(hwnd, cb);
        return 0;
    case WM_KILLFOCUS: focus_lost(hwnd, cb, static_cast<HWND>(wParam)); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (GetFocus() != hwnd && (!cb->edit || GetFocus() != cb->edit)) {
            SetFocus(hwnd);
            if (!(cb = combos().get(hwnd))) return 0;
        }
        RECT client;
        GetClientRect(hwnd, &client);
        if (cb->dropped)
            close(hwnd, cb, false);
        else if (!cb->edit || lparam_x(lParam) >= client.right - button_width(hwnd))
            drop(hwnd, cb);
        return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (key_down(hwnd, cb, message, wParam)) return 0;
        return DefWindowProc(hwnd, message, wParam, lParam);
    default: return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

// The drop list: a list box whose mouse input, while dropped, picks or closes.
LRESULT drop_list_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (message == WM_NCCREATE) {
        *drop_lists().make(hwnd) =
            static_cast<HWND>(reinterpret_cast<intptr_t>(reinterpret_cast<const CREATESTRUCT*>(lParam)->lpCreateParams));
        return listbox_proc(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        drop_lists().drop(hwnd);
        return listbox_proc(hwnd, message, wParam, lParam);
    }
    const HWND* box = drop_lists().get(hwnd);
    Combo* cb = box ? combos().get(*box) : nullptr;
    if (!cb || !cb->dropped) return listbox_proc(hwnd, message, wParam, lParam);
    const HWND combo = *box;
    RECT client;
    GetClientRect(hwnd, &client);
    const int32_t x = lparam_x(lParam), y = lparam_y(lParam);
    const bool inside = x >= 0 && x < client.right && y >= 0 && y < client.bottom;
    switch (message) {
    case WM_MOUSEMOVE: {
        POINT screen{x, y};
        ClientToScreen(hwnd, &screen);
        // Dragged past an end, the list scrolls towards the pointer.
        const int32_t item = LBItemFromPt(hwnd, screen, (wParam & MK_LBUTTON) != 0);
        if (item >= 0) SendMessage(hwnd, LB_SETCURSEL, item, 0);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!inside) close(combo, cb, false);
        return 0;
    case WM_LBUTTONUP:
        if (inside && !(SendMessage(hwnd, LB_ITEMFROMPOINT, 0, lParam) & 0x10000)) {
            SendMessage(hwnd, LB_SETCURSEL, SendMessage(hwnd, LB_ITEMFROMPOINT, 0, lParam) & 0xFFFF, 0);
            close(combo, cb, true);
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (static_cast<HWND>(lParam) != hwnd) close(combo, cb, false);
        return 0;
    default: return listbox_proc(hwnd, message, wParam, lParam);
    }
}

}  // namespace

HWND combo_drop_list(HWND combo) {
    const Combo* cb = combos().get(combo);
    return cb ? cb->list : 0;
}

HWND combo_of_drop_list(HWND list) {
    const HWND* box = drop_lists().get(list);
    return box ? *box : 0;
}

bool register_combobox() {
    return register_control(kDropListClass, drop_list_proc, IDC_ARROW, 0) &&
           register_control(kComboBoxClass, combo_proc, IDC_ARROW, CS_DBLCLKS);
}

}  // namespace nuv::host::controls
