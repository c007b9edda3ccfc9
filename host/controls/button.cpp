// "BUTTON": push buttons (the default one with a heavier rim), check boxes and radio buttons,
// automatic or left to the parent, two- or three-state, drawn as push buttons with BS_PUSHLIKE,
// and group boxes. A click is a press and a release inside, by the mouse or the space bar; it
// moves an automatic box's state, then sends BN_CLICKED once. Before its text a button sends
// NM_CUSTOMDRAW; CDRF_SKIPDEFAULT leaves the text to the parent.
#include <algorithm>
#include <vector>

#include "host/controls/controls.h"
#include "host/controls/imagelist.h"
#include "host/win/cairo_lib.h"
#include "host/win/keys.h"

namespace nuv::host::controls {

using namespace win;

namespace {

struct Button {
    FontSlot font;
    uint32_t check = BST_UNCHECKED;
    bool tracking = false;  // the mouse was pressed on it and is captured
    bool space = false;     // the space bar is held
    bool pushed = false;    // drawn down
    bool forced = false;    // BM_SETSTATE holds it down
    bool hot = false;       // the pointer is over it
    bool focused = false;
    BUTTON_IMAGELIST images;
};

StateTable<Button>& buttons() {
    static StateTable<Button> table;
    return table;
}

uint32_t style_of(HWND hwnd) { return static_cast<uint32_t>(GetWindowLong(hwnd, GWL_STYLE)); }

enum class Kind { Push, Check, Radio, Group };

Kind kind_of(uint32_t style) {
    switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE: return Kind::Check;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: return Kind::Radio;
    case BS_GROUPBOX: return Kind::Group;
    default: return Kind::Push;
    }
}

bool three_state(uint32_t style) {
    const uint32_t type = style & BS_TYPEMASK;
    return type == BS_3STATE || type == BS_AUTO3STATE;
}

// The other automatic radio buttons of its group lose their check: the group runs, in creation
// order, from the sibling with WS_GROUP at or before it to the next one with WS_GROUP.
void uncheck_group(HWND hwnd) {
    const HWND parent = GetParent(hwnd);
    if (!parent) return;
    std::vector<HWND> siblings;
    for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) siblings.push_back(h);
    std::sort(siblings.begin(), siblings.end());  // ids grow with creation
    const auto self = std::find(siblings.begin(), siblings.end(), hwnd);
    if (self == siblings.end()) return;
    auto first = self;
    while (first != siblings.begin() && !(style_of(*first) & WS_GROUP)) --first;
    auto last = self + 1;
    while (last != siblings.end() && !(style_of(*last) & WS_GROUP)) ++last;
    for (auto it = first; it != last; ++it) {
        const Button* other = buttons().get(*it);
        if (*it != hwnd && other && other->check && (style_of(*it) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            SendMessage(*it, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

// A click: an automatic box takes its next state, then the parent hears BN_CLICKED.
void click(HWND hwnd) {
    Button* b = buttons().get(hwnd);
    if (!b) return;
    const uint32_t style = style_of(hwnd);
    switch (style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX:
        SendMessage(hwnd, BM_SETCHECK, b->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
        break;
    case BS_AUTO3STATE: SendMessage(hwnd, BM_SETCHECK, (b->check + 1) % 3, 0); break;
    case BS_AUTORADIOBUTTON:
        SendMessage(hwnd, BM_SETCHECK, BST_CHECKED, 0);
        uncheck_group(hwnd);
        break;
    default: break;
    }
    if (IsWindow(hwnd)) notify_command(hwnd, BN_CLICKED);
}

void set_pushed(HWND hwnd, Button* b, bool pushed) {
    if (b->pushed == pushed) return;
    b->pushed = pushed;
    InvalidateRect(hwnd, nullptr, false);
}

bool inside(HWND hwnd, intptr_t lParam) {
    RECT client;
    GetClientRect(hwnd, &client);
    const int32_t x = lparam_x(lParam), y = lparam_y(lParam);
    return x >= 0 && y >= 0 && x < client.right && y < client.bottom;
}

// ---- Painting

struct Look {
    HWND hwnd;
    cairo_t* dc;
    const Palette* pal;
    RECT client;
    uint32_t style;
    Kind kind;
    bool push_like, enabled;
};

// The image of the list for the state: one image serves all, six follow the states.
int32_t image_index(const Look& k, const Button& b, int32_t count) {
    if (count < 6) return 0;
    if (!k.enabled) return 3;
    if (b.pushed || b.forced) return 2;
    if (b.hot) return 1;
    if ((k.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON || b.focused) return 4;
    return 0;
}

// Draws the button's images and answers the rectangle left for its text.
RECT draw_images(const Look& k, const Button& b, RECT text) {
    int32_t cx = 0, cy = 0;
    const HIMAGELIST list = b.images.himl;
    if (list == 0 || list == -1 || !ImageList_GetIconSize(list, &cx, &cy)) return text;
    const int32_t count = ImageList_GetImageCount(list);
    if (count <= 0) return text;
    RECT room{k.client.left + b.images.margin.left, k.client.top + b.images.margin.top,
              k.client.right - b.images.margin.right, k.client.bottom - b.images.margin.bottom};
    int32_t x = room.left + (room.width() - cx) / 2, y = room.top + (room.height() - cy) / 2;
    switch (b.images.uAlign) {
    case BUTTON_IMAGELIST_ALIGN_LEFT: x = room.left, text.left = std::max(text.left, x + cx); break;
    case BUTTON_IMAGELIST_ALIGN_RIGHT: x = room.right - cx, text.right = std::min(text.right, x); break;
    case BUTTON_IMAGELIST_ALIGN_TOP: y = room.top, text.top = std::max(text.top, y + cy); break;
    case BUTTON_IMAGELIST_ALIGN_BOTTOM: y = room.bottom - cy, text.bottom = std::min(text.bottom, y); break;
    default: break;
    }
    ImageList_Draw(list, image_index(k, b, count), k.dc, x, y, ILD_NORMAL);
    return text;
}

// The push button's face and rim.
void draw_face(const Look& k, const Button& b) {
    const Palette& p = *k.pal;
    const bool down = b.pushed || b.forced || (k.push_like && b.check == BST_CHECKED);
    COLORREF face = p.face;
    if (k.enabled && down)
        face = p.face_pressed;
    else if (k.enabled && k.push_like && b.check == BST_INDETERMINATE)
        face = blend(p.face, p.face_pressed, 128);
    else if (k.enabled && b.hot)
        face = p.face_hot;
    const bool strong = k.enabled && ((k.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON || b.focused);
    const int32_t rim = scaled(k.hwnd, strong ? 2 : 1);
    fill_rect(k.dc, RECT{k.client.left + rim, k.client.top + rim, k.client.right - rim, k.client.bottom - rim}, face);
    frame_rect(k.dc, k.client, strong ? p.accent : p.border, rim);
}

// The check box's square or the radio button's circle, with its mark; answers its size.
int32_t draw_box(const Look& k, const Button& b) {
    const Palette& p = *k.pal;
    const CairoLib* c = cairo_lib();
    const int32_t size = scaled(k.hwnd, 13);
    int32_t top = k.client.top + (k.client.height() - size) / 2;
    if ((k.style & BS_VCENTER) == BS_TOP) top = k.client.top;
    if ((k.style & BS_VCENTER) == BS_BOTTOM) top = k.client.bottom - size;
    const RECT box{k.client.left, top, k.client.left + size, top + size};
    const COLORREF mark = k.enabled ? p.accent : p.text_disabled;
    const COLORREF rim = !k.enabled ? p.text_disabled : (b.hot || b.focused || b.pushed) ? p.accent : p.border;
    const COLORREF inside = b.pushed ? p.face_pressed : p.window;
    const double line = scaled(k.hwnd, 1);
    if (k.kind == Kind::Radio) {
        const double cx = box.left + size / 2.0, cy = box.top + size / 2.0, r = size / 2.0;
        set_colour(k.dc, rim);
        c->new_path(k.dc);
        c->arc(k.dc, cx, cy, r, 0, 6.283185307179586);
        c->fill(k.dc);
        set_colour(k.dc, inside);
        c->arc(k.dc, cx, cy, r - line, 0, 6.283185307179586);
        c->fill(k.dc);
        if (b.check) {
            set_colour(k.dc, mark);
            c->arc(k.dc, cx, cy, r / 2.2, 0, 6.283185307179586);
            c->fill(k.dc);
        }
        return size;
    }
    const int32_t l = scaled(k.hwnd, 1);
    if (b.check == BST_CHECKED) {
        fill_rect(k.dc, box, mark);
        set_colour(k.dc, k.pal->window);
        c->set_line_width(k.dc, 1.6 * line);
        c->new_path(k.dc);
        c->move_to(k.dc, box.left + size * 0.22, box.top + size * 0.52);
        c->line_to(k.dc, box.left + size * 0.42, box.top + size * 0.72);
        c->line_to(k.dc, box.left + size * 0.78, box.top + size * 0.30);
        c->stroke(k.dc);
    } else {
        fill_rect(k.dc, box, inside);
        frame_rect(k.dc, box, rim, l);
        if (b.check == BST_INDETERMINATE) {
            const int32_t in = size / 4;
            fill_rect(k.dc, RECT{box.left + in, box.top + in, box.right - in, box.bottom - in}, mark);
        }
    }
    return size;
}

uint32_t item_state(const Look& k, const Button& b) {
    uint32_t state = 0;
    if (b.pushed || b.forced) state |= CDIS_SELECTED;
    if (!k.enabled) state |= CDIS_DISABLED;
    if (b.check == BST_CHECKED) state |= CDIS_CHECKED;
    if (b.focused) state |= CDIS_FOCUS;
    if ((k.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) state |= CDIS_DEFAULT;
    if (b.hot) state |= CDIS_HOT;
    return state;
}

uint32_t text_format(const Look& k) {
    uint32_t format = 0;
    const uint32_t h = k.style & BS_CENTER, v = k.style & BS_VCENTER;
    const bool centred = k.kind == Kind::Push || k.push_like;
    if (h == BS_CENTER || (!h && centred))
        format |= gfx::DT_CENTER;
    else if (h == BS_RIGHT)
        format |= gfx::DT_RIGHT;
    format |= v == BS_TOP ? gfx::DT_TOP : v == BS_BOTTOM ? gfx::DT_BOTTOM : gfx::DT_VCENTER;
    format |= (k.style & BS_MULTILINE) ? gfx::DT_WORDBREAK : gfx::DT_SINGLELINE;
    return format;
}

// Draws the text in the rectangle; several lines are placed as one block by the vertical bits.
void draw_text(const Look& k, const std::u16string& text, RECT rect, uint32_t format) {
    if (text.empty() || rect.right <= rect.left) return;
    if (format & gfx::DT_WORDBREAK) {
        RECT need = rect;
        const uint32_t top = format & ~(gfx::DT_VCENTER | gfx::DT_BOTTOM);
        const int32_t height = gfx::DrawText(k.dc, text, &need, top | gfx::DT_CALCRECT);
        if (format & gfx::DT_BOTTOM)
            rect.top = std::max(rect.top, rect.bottom - height);
        else if (format & gfx::DT_VCENTER)
            rect.top = std::max(rect.top, rect.top + (rect.height() - height) / 2);
        format &= ~(gfx::DT_VCENTER | gfx::DT_BOTTOM);
    }
    gfx::DrawText(k.dc, text, &rect, format);
}

void draw_group(const Look& k, const std::u16string& text, HBRUSH brush) {
    gfx::SIZE extent;
    gfx::GetTextExtentPoint32(k.dc, text.empty() ? u"M" : text, &extent);
    const int32_t line = scaled(k.hwnd, 1);
    const int32_t mid = std::min(k.client.bottom - line, k.client.top + extent.cy / 2);
    frame_rect(k.dc, RECT{k.client.left, mid, k.client.right, k.client.bottom}, k.pal->border, line);
    if (text.empty()) return;
    const int32_t gap = scaled(k.hwnd, 2);
    RECT label{k.client.left + scaled(k.hwnd, 8), k.client.top, 0, k.client.top + extent.cy};
    label.right = std::min(k.client.right - gap, label.left + extent.cx + 2 * gap);
    gfx::FillRect(k.dc, label, brush);
    label.left += gap;
    gfx::DrawText(k.dc, text, &label, gfx::DT_LEFT | gfx::DT_TOP | gfx::DT_SINGLELINE);
}

void paint(HWND hwnd, const Button& b) {
    Look k{hwnd, nullptr, &palette(hwnd), {}, style_of(hwnd), Kind::Push, false, IsWindowEnabled(hwnd)};
    k.kind = kind_of(k.style);
    k.push_like = (k.style & BS_PUSHLIKE) && (k.kind == Kind::Check || k.kind == Kind::Radio);
    const bool face = k.kind == Kind::Push || k.push_like;
    // Push buttons ask with WM_CTLCOLORBTN, the others with WM_CTLCOLORSTATIC.
    paint_control(hwnd, b.font.get(), face ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC, &Palette::text, &Palette::face,
                  [&](cairo_t* dc, HBRUSH brush, const Palette& p, RECT client) {
        k.dc = dc;
        k.client = client;
        if (!k.enabled) gfx::SetTextColor(dc, p.text_disabled);
        const std::u16string text = GetWindowText(hwnd);
        if (k.kind == Kind::Group) return draw_group(k, text, brush);
        RECT room = client;
        if (face) {
            draw_face(k, b);
            const int32_t pad = scaled(hwnd, 4);
            room = RECT{room.left + pad, room.top + pad / 2, room.right - pad, room.bottom - pad / 2};
        } else {
            room.left += draw_box(k, b) + scaled(hwnd, 3);
        }
        room = draw_images(k, b, room);
        NMCUSTOMDRAW cd;
        cd.dwDrawStage = CDDS_PREPAINT;
        cd.hdc = dc;
        cd.rc = client;
        cd.uItemState = item_state(k, b);
        const Notified asked = notify(hwnd, &cd.hdr, NM_CUSTOMDRAW);
        if (!asked.alive || (asked.answer & CDRF_SKIPDEFAULT) || ((k.style & BS_BITMAP) && b.images.himl)) return;
        gfx::SetBkMode(dc, gfx::TRANSPARENT);
        draw_text(k, text, room, text_format(k));
    });
}

LRESULT button_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    LRESULT answer = 0;
    Button* b = control_state(buttons(), hwnd, message, wParam, lParam, &answer);
    if (!b) return answer;
    const uint32_t style = style_of(hwnd);
    const Kind kind = kind_of(style);
    switch (message) {
    case WM_NCHITTEST:
        // A group box only frames other controls: the mouse goes to what is under it.
        return kind == Kind::Group ? LRESULT{HTTRANSPARENT} : DefWindowProc(hwnd, message, wParam, lParam);
    case WM_PAINT: paint(hwnd, *b); return 0;
    case WM_ENABLE:
        if (!wParam) {
            b->space = false;
            b->pushed = false;
            if (b->tracking) {
                b->tracking = false;
                ReleaseCapture();
            }
        }
        InvalidateRect(hwnd, nullptr, false);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        b->focused = message == WM_SETFOCUS;
        if (!b->focused && b->space) {
            b->space = false;
            b->pushed = false;
        }
        InvalidateRect(hwnd, nullptr, false);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (kind == Kind::Group) return 0;
        if (GetFocus() != hwnd) {
            SetFocus(hwnd);
            if (!(b = buttons().get(hwnd))) return 0;  // the focus change destroyed it
        }
        SetCapture(hwnd);
        if (!(b = buttons().get(hwnd))) return 0;
        b->tracking = true;
        set_pushed(hwnd, b, true);
        return 0;
    case WM_MOUSEMOVE:
        track_hot(hwnd, &b->hot);
        if (b->tracking) set_pushed(hwnd, b, inside(hwnd, lParam));
        return 0;
    case WM_MOUSELEAVE: leave_hot(hwnd, &b->hot); return 0;
    case WM_LBUTTONUP: {
        if (!b->tracking) return 0;
        const bool clicked = inside(hwnd, lParam);
        b->tracking = false;
        set_pushed(hwnd, b, false);
        ReleaseCapture();
        if (clicked) click(hwnd);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (b->tracking) {
            b->tracking = false;
            set_pushed(hwnd, b, false);
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && kind != Kind::Group && !b->space && !b->tracking) {
            b->space = true;
            set_pushed(hwnd, b, true);
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && b->space) {
            b->space = false;
            set_pushed(hwnd, b, false);
            click(hwnd);
        }
        return 0;
    case BM_GETCHECK: return kind == Kind::Check || kind == Kind::Radio ? b->check : BST_UNCHECKED;
    case BM_SETCHECK: {
        if (kind != Kind::Check && kind != Kind::Radio) return 0;
        uint32_t check;
        if (wParam == BST_UNCHECKED || wParam == BST_CHECKED)
            check = static_cast<uint32_t>(wParam);
        else if (wParam == BST_INDETERMINATE)
            check = three_state(style) ? BST_INDETERMINATE : BST_CHECKED;
        else
            return 0;
        if (check != b->check) {
            b->check = check;
            InvalidateRect(hwnd, nullptr, false);
        }
        return 0;
    }
    case BM_GETSTATE: {
        uint32_t state = kind == Kind::Check || kind == Kind::Radio ? b->check : 0;
        if (b->pushed || b->forced) state |= BST_PUSHED;
        if (b->focused) state |= BST_FOCUS;
        if (b->hot) state |= BST_HOT;
        return state;
    }
    case BM_SETSTATE:
        if (b->forced != (wParam != 0)) {
            b->forced = wParam != 0;
            InvalidateRect(hwnd, nullptr, false);
        }
        return 0;
    case BM_SETSTYLE:
        SetWindowLong(hwnd, GWL_STYLE, (style & 0xFFFF0000u) | (static_cast<uint32_t>(wParam) & 0xFFFF));
        if (lParam) InvalidateRect(hwnd, nullptr, false);
        return 0;
    case BM_CLICK:
        if (IsWindowEnabled(hwnd) && kind != Kind::Group) click(hwnd);
        return 0;
    case BCM_SETIMAGELIST:
        if (!lParam) return 0;
        b->images = *reinterpret_cast<const BUTTON_IMAGELIST*>(lParam);
        InvalidateRect(hwnd, nullptr, false);
        return 1;
    case BCM_GETIMAGELIST:
        if (!lParam || b->images.himl == 0) return 0;
        *reinterpret_cast<BUTTON_IMAGELIST*>(lParam) = b->images;
        return 1;
    default: return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

}  // namespace

bool register_button() { return register_control(kButtonClass, button_proc, IDC_ARROW, CS_DBLCLKS); }

}  // namespace nuv::host::controls
