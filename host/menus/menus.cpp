// The menu records, their layout and drawing (the bar in a window's frame strip, popups in owned
// windows of their own), and the one menu loop that may run at a time. The loop takes the
// queue's messages itself: key and mouse input steer the menu, everything else is dispatched.
// It ends on a choice, on dismissal, on WM_QUIT (posted again for the loop outside), and when a
// notification's handler destroyed the owner or the menu; after every notification the loop
// looks again at what it holds before it touches it.
#include "host/menus/menus.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/gfx/fonts.h"
#include "host/win/cairo_lib.h"
#include "host/win/displays.h"
#include "host/win/keys.h"
#include "host/win/sdl_source.h"

namespace nuv::host::menus {

using namespace win;

namespace {

// ---- Records

struct Item {
    uint32_t type = MFT_STRING;
    uint32_t state = MFS_ENABLED;
    uint32_t id = 0;
    HMENU submenu = 0;
    uintptr_t data = 0;
    std::u16string text;
};

struct Menu {
    bool bar = false;
    std::vector<Item> items;
};

struct Table {
    std::unordered_map<HMENU, Menu> menus;
    HMENU next = 0x10000;
};

Table& table() {
    static Table* t = new Table;
    return *t;
}

Menu* menu_of(HMENU handle) {
    auto it = table().menus.find(handle);
    return it == table().menus.end() ? nullptr : &it->second;
}

bool separator(const Item& item) { return item.type & MFT_SEPARATOR; }
bool grayed(const Item& item) { return item.state & MFS_GRAYED; }

// Whether `inner` is `outer` or one of the menus below it.
bool holds(HMENU outer, HMENU inner) {
    std::vector<HMENU> walk{outer};
    std::unordered_set<HMENU> seen{outer};
    while (!walk.empty()) {
        const HMENU at = walk.back();
        walk.pop_back();
        if (at == inner) return true;
        if (const Menu* m = menu_of(at))
            for (const Item& item : m->items)
                if (item.submenu && seen.insert(item.submenu).second) walk.push_back(item.submenu);
    }
    return false;
}

// The menu and index of an item: by position in `menu`, or the first item with the command id
// in `menu` and the menus below it, in item order.
bool locate(HMENU menu, uint32_t item, bool by_position, HMENU* in, size_t* index) {
    Menu* m = menu_of(menu);
    if (!m) return false;
    if (by_position) {
        if (item >= m->items.size()) return false;
        *in = menu;
        *index = item;
        return true;
    }
    struct At {
        HMENU menu;
        size_t next;
    };
    std::vector<At> walk{{menu, 0}};
    std::unordered_set<HMENU> seen{menu};
    while (!walk.empty()) {
        At& at = walk.back();
        const Menu* here = menu_of(at.menu);
        if (!here || at.next >= here->items.size()) {
            walk.pop_back();
            continue;
        }
        const size_t i = at.next++;
        const Item& it = here->items[i];
        if (!it.submenu && !separator(it) && it.id == item) {
            *in = at.menu;
            *index = i;
            return true;
        }
        if (it.submenu && seen.insert(it.submenu).second) walk.push_back({it.submenu, 0});
    }
    return false;
}

// Checks what the info would set on an item of `menu` before anything changes.
bool acceptable(HMENU menu, const MENUITEMINFO& info) {
    if ((info.fMask & MIIM_FTYPE) && info.fType != MFT_STRING && info.fType != MFT_SEPARATOR) return false;
    if ((info.fMask & MIIM_SUBMENU) && info.hSubMenu && (!menu_of(info.hSubMenu) || holds(info.hSubMenu, menu)))
        return false;
    return true;
}

void apply(Item* item, const MENUITEMINFO& info) {
    if (info.fMask & MIIM_FTYPE) item->type = info.fType;
    if (info.fMask & MIIM_STATE) item->state = info.fState & (MFS_GRAYED | MFS_CHECKED);
    if (info.fMask & MIIM_ID) item->id = info.wID;
    if (info.fMask & MIIM_SUBMENU) item->submenu = info.hSubMenu;
    if (info.fMask & MIIM_DATA) item->data = info.dwItemData;
    if (info.fMask & MIIM_STRING) item->text = info.text;
}

// The item's label and, after a tab, its shortcut text; and its mnemonic, folded (0: none).
std::u16string_view label(const Item& item) { return std::u16string_view(item.text).substr(0, item.text.find(u'\t')); }

std::u16string_view shortcut(const Item& item) {
    const size_t tab = item.text.find(u'\t');
    return tab == std::u16string::npos ? std::u16string_view() : std::u16string_view(item.text).substr(tab + 1);
}

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

char16_t mnemonic(const Item& item) {
    const std::u16string_view text = label(item);
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] != u'&') return fold(text[i + 1]);
        ++i;
    }
    return 0;
}

// ---- Layout, at a DPI; sizes are given at 96 DPI

int32_t px(int32_t size, uint32_t dpi) { return static_cast<int32_t>(size * int64_t(dpi) / 96); }

constexpr int32_t kBarPadding = 7;      // each side of a bar item's text
constexpr int32_t kEdge = 3;            // above the first and below the last popup item
constexpr int32_t kItemHeight = 22;
constexpr int32_t kSeparatorHeight = 9;
constexpr int32_t kGutter = 28;         // the check mark's column, left of the text
constexpr int32_t kShortcutGap = 24;
constexpr int32_t kArrowColumn = 24;    // right of the text: the submenu's arrow
constexpr uint32_t kMenuColour = 0xFFF2F2F2;
constexpr uint32_t kHotColour = 0xFFCCE8FF;
constexpr uint32_t kSeparatorColour = 0xFFC8C8C8;
constexpr gfx::COLORREF kTextColour = 0x000000;
constexpr gfx::COLORREF kGrayedColour = 0x6D6D6D;

gfx::HFONT menu_font(uint32_t dpi) {
    static std::vector<std::pair<uint32_t, gfx::HFONT>> fonts;
    for (const auto& [at, font] : fonts)
        if (at == dpi) return font;
    const gfx::HFONT font = gfx::CreateFontIndirect(gfx::message_font(dpi));
    fonts.emplace_back(dpi, font);
    return font;
}

// A 1×1 surface's context that text is measured on, with the menu font of the DPI selected.
cairo_t* measuring(uint32_t dpi) {
    static cairo_t* dc = nullptr;
    if (!dc) {
        const CairoLib* c = cairo_lib();
        if (!c) return nullptr;
        cairo_surface_t* surface = c->image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        dc = c->create(surface);
        c->surface_destroy(surface);  // the context keeps it
    }
    gfx::SelectObject(dc, menu_font(dpi));
    return dc;
}

int32_t text_width(cairo_t* dc, std::u16string_view text, uint32_t format) {
    if (!dc || text.empty()) return 0;
    RECT r{0, 0, 0, 0};
    gfx::DrawText(dc, text, &r, format | gfx::DT_SINGLELINE | gfx::DT_CALCRECT);
    return r.width();
}

// Item rectangles: a bar's relative to its strip, a popup's in its window's client area.
struct Layout {
    std::vector<RECT> items;
    int32_t width = 0, height = 0;
    uint32_t dpi = 96;
};

Layout bar_layout(const Menu& menu, uint32_t dpi, int32_t height) {
    Layout out;
    out.dpi = dpi;
    out.height = height;
    cairo_t* dc = measuring(dpi);
    int32_t x = 0;
    for (const Item& item : menu.items) {
        const int32_t w = separator(item) ? 0 : text_width(dc, label(item), 0) + 2 * px(kBarPadding, dpi);
        out.items.push_back(RECT{x, 0, x + w, height});
        x += w;
    }
    out.width = x;
    return out;
}

Layout popup_layout(const Menu& menu, uint32_t dpi) {
    Layout out;
    out.dpi = dpi;
    cairo_t* dc = measuring(dpi);
    int32_t labels = 0, shortcuts = 0, y = px(kEdge, dpi);
    for (const Item& item : menu.items) {
        const int32_t h = px(separator(item) ? kSeparatorHeight : kItemHeight, dpi);
        if (!separator(item)) {
            labels = std::max(labels, text_width(dc, label(item), 0));
            shortcuts = std::max(shortcuts, text_width(dc, shortcut(item), gfx::DT_NOPREFIX));
        }
        out.items.push_back(RECT{0, y, 0, y + h});
        y += h;
    }
    out.width = px(kGutter, dpi) + labels + (shortcuts ? px(kShortcutGap, dpi) + shortcuts : 0) + px(kArrowColumn, dpi);
    out.height = y + px(kEdge, dpi);
    for (RECT& r : out.items) r.right = out.width;
    return out;
}

// The item under a point of the layout's coordinates; -1 for none.
int32_t item_at(const Layout& layout, POINT p) {
    for (size_t i = 0; i < layout.items.size(); ++i) {
        const RECT& r = layout.items[i];
        if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) return static_cast<int32_t>(i);
    }
    return -1;
}

// A top-level window's menu-bar strip on the screen: the frame above the client, inside the border.
RECT bar_strip(HWND top) {
    RECT window;
    POINT client{0, 0};
    if (!GetWindowRect(top, &window) || !ClientToScreen(top, &client)) return RECT{};
    const int32_t border = client.x - window.left;
    return RECT{client.x, window.top + border, window.right - border, client.y};
}

// ---- Drawing

void fill(cairo_t* cr, const RECT& r, uint32_t argb) {
    const CairoLib* c = cairo_lib();
    if (!c || r.right <= r.left || r.bottom <= r.top) return;
    c->set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                       (argb >> 24) / 255.0);
    c->rectangle(cr, r.left, r.top, r.width(), r.height());
    c->fill(cr);
}

void text_in(cairo_t* cr, std::u16string_view text, RECT r, uint32_t format) {
    gfx::DrawText(cr, text, &r, format | gfx::DT_SINGLELINE | gfx::DT_VCENTER);
}

void draw_popup(cairo_t* cr, const Menu& menu, const Layout& layout, int32_t hot) {
    const uint32_t dpi = layout.dpi;
    fill(cr, RECT{0, 0, layout.width, layout.height}, kMenuColour);
    gfx::SelectObject(cr, menu_font(dpi));
    gfx::SetBkMode(cr, gfx::TRANSPARENT);
    const size_t n = std::min(menu.items.size(), layout.items.size());
    for (size_t i = 0; i < n; ++i) {
        const Item& item = menu.items[i];
        const RECT r = layout.items[i];
        if (separator(item)) {
            const int32_t mid = (r.top + r.bottom) / 2;
            fill(cr, RECT{px(kGutter, dpi), mid, r.right - px(4, dpi), mid + std::max(1, px(1, dpi))}, kSeparatorColour);
            continue;
        }
        if (static_cast<int32_t>(i) == hot) fill(cr, RECT{r.left + px(2, dpi), r.top, r.right - px(2, dpi), r.bottom}, kHotColour);
        gfx::SetTextColor(cr, grayed(item) ? kGrayedColour : kTextColour);
        if (item.state & MFS_CHECKED)
            text_in(cr, u"\u2713", RECT{r.left, r.top, r.left + px(kGutter, dpi), r.bottom}, gfx::DT_CENTER | gfx::DT_NOPREFIX);
        const int32_t text_right = r.right - px(kArrowColumn, dpi);
        text_in(cr, label(item), RECT{px(kGutter, dpi), r.top, text_right, r.bottom}, gfx::DT_LEFT);
        text_in(cr, shortcut(item), RECT{px(kGutter, dpi), r.top, text_right, r.bottom}, gfx::DT_RIGHT | gfx::DT_NOPREFIX);
        if (item.submenu)
            text_in(cr, u"\u25B8", RECT{text_right, r.top, r.right, r.bottom}, gfx::DT_CENTER | gfx::DT_NOPREFIX);
    }
}

// ---- The menu loop

struct Level {
    HMENU menu = 0;
    HWND window = 0;  // the popup's window; 0 for the bar
    int32_t hot = -1;
    Layout layout;
    RECT screen;  // the bar's strip, or the popup's client area, on the screen
};

struct Tracker {
    HWND owner = 0;  // gets the notifications: the bar's window, or TrackPopupMenuEx's owner
    bool bar = false;
    uint32_t flags = 0;
    std::vector<Level> levels;
    bool ended = false;
    bool chosen = false;
    uint32_t command = 0;
    bool quit = false;
    int32_t quit_code = 0;
    ~Tracker();
};

Tracker* g_tracker = nullptr;

constexpr char16_t kPopupClass[] = u"MenuPopup";
constexpr intptr_t kClosed = 0xFFFF0000;

const Level* level_of(HWND window) {
    if (g_tracker)
        for (const Level& level : g_tracker->levels)
            if (level.window && level.window == window) return &level;
    return nullptr;
}

LRESULT popup_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (message != WM_PAINT) return DefWindowProc(hwnd, message, wParam, lParam);
    PAINTSTRUCT ps;
    cairo_t* cr = BeginPaint(hwnd, &ps);
    if (!cr) return 0;
    const Level* level = level_of(hwnd);
    if (const Menu* menu = level ? menu_of(level->menu) : nullptr) draw_popup(cr, *menu, level->layout, level->hot);
    EndPaint(hwnd, &ps);
    return 0;
}

void close_from(Tracker& t, size_t from) {
    while (t.levels.size() > from) {
        const HWND window = t.levels.back().window;
        t.levels.pop_back();
        if (window && IsWindow(window)) DestroyWindow(window);
    }
}

// Only when the loop was left without finish (a handler threw): the windows still go.
Tracker::~Tracker() {
    if (g_tracker != this) return;
    g_tracker = nullptr;
    if (GetCapture() == owner || (!levels.empty() && GetCapture() == levels[0].window)) ReleaseCapture();
    close_from(*this, 0);
}

// Drops the levels whose menu or window went (a handler's doing); ends the loop when the owner
// or the first menu went.
void check(Tracker& t) {
    if (!IsWindow(t.owner) || t.levels.empty() || !IsMenu(t.levels[0].menu)) {
        t.ended = true;
        return;
    }
    for (size_t i = 1; i < t.levels.size(); ++i)
        if (!IsMenu(t.levels[i].menu) || !IsWindow(t.levels[i].window)) {
            close_from(t, i);
            break;
        }
    if (!t.bar && t.levels[0].window && !IsWindow(t.levels[0].window)) t.ended = true;
}

void notify(Tracker& t, uint32_t message, intptr_t wParam, intptr_t lParam) {
    SendMessage(t.owner, message, wParam, lParam);
    check(t);
}

const Item* hot_item(const Tracker& t, size_t level) {
    if (level >= t.levels.size()) return nullptr;
    const Level& l = t.levels[level];
    const Menu* m = menu_of(l.menu);
    return m && l.hot >= 0 && static_cast<size_t>(l.hot) < m->items.size() ? &m->items[l.hot] : nullptr;
}

void redraw(Tracker& t, size_t level) {
    if (level >= t.levels.size()) return;
    const Level& l = t.levels[level];
    if (l.window)
        InvalidateRect(l.window, nullptr, true);
    else
        RedrawWindow(t.owner, nullptr, RDW_FRAME);
}

// Highlights an item (closing the popups below its level), telling the owner with WM_MENUSELECT.
void select(Tracker& t, size_t level, int32_t position, bool mouse) {
    if (t.ended || level >= t.levels.size() || t.levels[level].hot == position) return;
    close_from(t, level + 1);
    t.levels[level].hot = position;
    redraw(t, level);
    const Item* item = hot_item(t, level);
    if (!item) return;
    uint32_t flags = MF_HILITE | (item->state & (MF_GRAYED | MF_DISABLED | MF_CHECKED));
    if (item->submenu) flags |= MF_POPUP;
    if (mouse) flags |= MF_MOUSESELECT;
    const uint32_t low = item->submenu ? static_cast<uint32_t>(position) : item->id;
    const intptr_t wParam = static_cast<intptr_t>((low & 0xFFFF) | (flags << 16));
    notify(t, WM_MENUSELECT, wParam, t.levels[level].menu);
}

RECT display_of(POINT p) {
    struct Find {
        HMONITOR want;
        RECT bounds;
    } find{MonitorFromPoint(p), RECT{0, 0, 1920, 1080}};
    EnumDisplayMonitors(
        [](HMONITOR m, const RECT& bounds, intptr_t data) {
            auto* f = reinterpret_cast<Find*>(data);
            if (m != f->want) return true;
            f->bounds = bounds;
            return false;
        },
        reinterpret_cast<intptr_t>(&find));
    return find.bounds;
}

// Makes a popup's window for the menu at a screen point, moved to stay on its display: `flip_x`
// is where it goes instead when it would leave the display on the right, `flip_y` at the bottom.
bool show_popup(Tracker& t, HMENU menu, POINT at, int32_t flip_x, int32_t flip_y) {
    const Menu* m = menu_of(menu);
    if (!m) return false;
    uint32_t dpi = 96, unused;
    GetDpiForMonitor(MonitorFromPoint(at), &dpi, &unused);
    Level level;
    level.menu = menu;
    level.layout = popup_layout(*m, dpi);
    static const bool registered = [] {
        WNDCLASS cls;
        cls.name = kPopupClass;
        cls.proc = popup_proc;
        cls.cursor = IDC_ARROW;
        cls.background = kMenuColour;
        return RegisterClass(cls);
    }();
    (void)registered;
    const HWND root = GetAncestor(t.owner, GA_ROOT);
    const HWND window = CreateWindowEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPopupClass, u"",
                                       WS_POPUP | WS_BORDER, at.x, at.y, level.layout.width, level.layout.height,
                                       root, 0, nullptr);
    if (!window) return false;
    RECT outer, inner;
    GetWindowRect(window, &outer);
    GetClientRect(window, &inner);
    const int32_t w = level.layout.width + outer.width() - inner.width();
    const int32_t h = level.layout.height + outer.height() - inner.height();
    const RECT display = display_of(at);
    int32_t x = at.x, y = at.y;
    if (x + w > display.right) x = flip_x - w >= display.left ? flip_x - w : display.right - w;
    if (y + h > display.bottom) y = flip_y - h >= display.top ? flip_y - h : display.bottom - h;
    x = std::max(x, display.left);
    y = std::max(y, display.top);
    SetWindowPos(window, HWND_TOPMOST, x, y, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    level.window = window;
    level.screen = RECT{origin.x, origin.y, origin.x + level.layout.width, origin.y + level.layout.height};
    t.levels.push_back(std::move(level));
    return true;
}

RECT item_on_screen(const Level& level, int32_t position) {
    if (position < 0 || static_cast<size_t>(position) >= level.layout.items.size()) return RECT{};
    RECT r = level.layout.items[position];
    return RECT{r.left + level.screen.left, r.top + level.screen.top, r.right + level.screen.left,
                r.bottom + level.screen.top};
}

int32_t next_selectable(const Tracker& t, size_t level, int32_t from, int32_t step) {
    const Menu* m = menu_of(t.levels[level].menu);
    if (!m || m->items.empty()) return -1;
    const int32_t n = static_cast<int32_t>(m->items.size());
    int32_t at = from < 0 ? (step > 0 ? -1 : n) : from;
    for (int32_t tries = 0; tries < n; ++tries) {
        at = ((at + step) % n + n) % n;
        if (!separator(m->items[at])) return at;
    }
    return -1;
}

// Opens the submenu of the level's highlighted item; from the keyboard its first item is
// highlighted too.
void open(Tracker& t, size_t level, bool keyboard) {
    const Item* item = hot_item(t, level);
    if (t.ended || !item || !item->submenu || grayed(*item) || !IsMenu(item->submenu)) return;
    const HMENU sub = item->submenu;
    if (t.levels.size() > level + 1 && t.levels[level + 1].menu == sub) return;
    close_from(t, level + 1);
    const int32_t position = t.levels[level].hot;
    notify(t, WM_INITMENUPOPUP, sub, position & 0xFFFF);
    if (t.ended || level >= t.levels.size() || !IsMenu(sub)) return;
    const RECT anchor = item_on_screen(t.levels[level], position);
    const bool below = t.levels[level].window == 0;
    const POINT at = below ? POINT{anchor.left, anchor.bottom} : POINT{anchor.right, anchor.top - px(kEdge, t.levels[level].layout.dpi)};
    if (!show_popup(t, sub, at, below ? anchor.right : anchor.left, below ? anchor.top : anchor.bottom)) return;
    if (keyboard) select(t, level + 1, next_selectable(t, level + 1, -1, 1), false);
}

void choose(Tracker& t, uint32_t command) {
    t.chosen = true;
    t.command = command;
    t.ended = true;
}

// Enter, a mnemonic or a click: opens the item's submenu or chooses its command.
void activate(Tracker& t, size_t level, bool keyboard) {
    const Item* item = hot_item(t, level);
    if (!item || separator(*item) || grayed(*item)) return;
    if (item->submenu)
        open(t, level, keyboard);
    else
        choose(t, item->id);
}

void mnemonic_key(Tracker& t, char16_t c) {
    const size_t level = t.levels.size() - 1;
    const Menu* m = menu_of(t.levels[level].menu);
    if (!m || !c) return;
    const char16_t want = fold(c);
    const int32_t n = static_cast<int32_t>(m->items.size());
    const int32_t hot = t.levels[level].hot;
    int32_t first = -1, matches = 0;
    for (int32_t k = 1; k <= n; ++k) {
        const int32_t i = ((hot < 0 ? -1 : hot) + k + n) % n;
        if (separator(m->items[i]) || mnemonic(m->items[i]) != want) continue;
        if (first < 0) first = i;
        ++matches;
    }
    if (first < 0) return;
    select(t, level, first, false);
    if (matches == 1 && !t.ended) activate(t, level, true);
}

// Moves along the bar to the neighbour item, opening its popup when one was open.
void bar_step(Tracker& t, int32_t step) {
    const bool was_open = t.levels.size() > 1;
    select(t, 0, next_selectable(t, 0, t.levels[0].hot, step), false);
    if (was_open) open(t, 0, true);
}

void key(Tracker& t, const MSG& msg) {
    const size_t level = t.levels.size() - 1;
    const bool on_bar = t.bar && level == 0;
    switch (msg.wParam) {
    case VK_ESCAPE:
        if (level > 0)
            close_from(t, level);
        else
            t.ended = true;
        return;
    case VK_MENU: t.ended = true; return;
    case VK_UP:
    case VK_DOWN:
        if (on_bar)
            open(t, 0, true);
        else
            select(t, level, next_selectable(t, level, t.levels[level].hot, msg.wParam == VK_DOWN ? 1 : -1), false);
        return;
    case VK_LEFT:
        if (on_bar || (t.bar && level == 1))
            bar_step(t, -1);
        else if (level > 0)
            close_from(t, level);
        return;
    case VK_RIGHT: {
        const Item* item = hot_item(t, level);
        if (!on_bar && item && item->submenu && !grayed(*item))
            open(t, level, true);
        else if (t.bar)
            bar_step(t, 1);
        return;
    }
    case VK_RETURN: activate(t, level, true); return;
    default:
        // Other keys type the characters that pick items by their mnemonics.
        TranslateMessage(&msg);
        return;
    }
}

// Where a screen point falls: the deepest level under it and its item there (-1: none).
struct Hit {
    int32_t level = -1, item = -1;
};

Hit hit(const Tracker& t, POINT p) {
    for (size_t i = t.levels.size(); i-- > 0;) {
        const Level& l = t.levels[i];
        if (p.x < l.screen.left || p.x >= l.screen.right || p.y < l.screen.top || p.y >= l.screen.bottom) continue;
        const int32_t item = item_at(l.layout, POINT{p.x - l.screen.left, p.y - l.screen.top});
        return Hit{static_cast<int32_t>(i), item};
    }
    return Hit{};
}

bool separator_at(const Tracker& t, size_t level, int32_t item) {
    const Menu* m = menu_of(t.levels[level].menu);
    return !m || item < 0 || static_cast<size_t>(item) >= m->items.size() || separator(m->items[item]);
}

void mouse(Tracker& t, const MSG& msg) {
    const uint32_t m = msg.message;
    const bool press = m == WM_LBUTTONDOWN || m == WM_LBUTTONDBLCLK || m == WM_RBUTTONDOWN || m == WM_RBUTTONDBLCLK ||
                       m == WM_MBUTTONDOWN || m == WM_NCLBUTTONDOWN || m == WM_NCLBUTTONDBLCLK;
    const bool release = m == WM_LBUTTONUP || m == WM_NCLBUTTONUP || (m == WM_RBUTTONUP && (t.flags & TPM_RIGHTBUTTON));
    const bool move = m == WM_MOUSEMOVE || m == WM_NCMOUSEMOVE;
    const Hit at = hit(t, msg.pt);
    if (at.level < 0) {
        if (press) t.ended = true;  // a press outside dismisses the menu
        return;
    }
    const size_t level = static_cast<size_t>(at.level);
    const bool on_bar = t.bar && level == 0;
    if (separator_at(t, level, at.item)) {
        if (press && on_bar) t.ended = true;
        return;
    }
    if (move) {
        if (on_bar && t.levels.size() == 1) return;  // the bar follows the pointer only while a popup is open
        select(t, level, at.item, true);
        open(t, level, false);
    } else if (press) {
        if (on_bar && at.item == t.levels[0].hot && t.levels.size() > 1) {
            t.ended = true;  // a press on the open item closes the menu
            return;
        }
        select(t, level, at.item, true);
        open(t, level, false);
    } else if (release && at.item == t.levels[level].hot) {
        const Item* item = hot_item(t, level);
        if (item && !item->submenu) activate(t, level, false);
    }
}

constexpr uint32_t kLastNonClientMouse = 0x00AD;

bool is_mouse(uint32_t m) {
    return (m >= WM_MOUSEMOVE && m <= WM_MOUSEHWHEEL) || (m >= WM_NCMOUSEMOVE && m <= kLastNonClientMouse);
}

void run(Tracker& t) {
    MSG msg;
    while (!t.ended) {
        if (!GetMessage(&msg, 0, 0, 0)) {
            t.quit = true;
            t.quit_code = static_cast<int32_t>(msg.wParam);
            break;
        }
        switch (msg.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: key(t, msg); break;
        case WM_CHAR:
        case WM_SYSCHAR: mnemonic_key(t, static_cast<char16_t>(msg.wParam)); break;
        case WM_KEYUP:
        case WM_SYSKEYUP: break;
        default:
            if (is_mouse(msg.message))
                mouse(t, msg);
            else
                DispatchMessage(&msg);
        }
        if (!t.ended) check(t);
    }
}

// Ends the loop: the popups go, the owner hears of the close, and the choice is given.
int32_t finish(Tracker& t) {
    const HWND owner = t.owner;
    const bool popup = !t.bar;
    if (GetCapture() == (t.bar ? owner : t.levels.empty() ? 0 : t.levels[0].window)) ReleaseCapture();
    close_from(t, t.bar ? 1 : 0);
    if (t.bar && !t.levels.empty()) {
        t.levels[0].hot = -1;
        if (IsWindow(owner)) RedrawWindow(owner, nullptr, RDW_FRAME);
    }
    if (IsWindow(owner)) SendMessage(owner, WM_MENUSELECT, kClosed, 0);
    if (IsWindow(owner)) SendMessage(owner, WM_EXITMENULOOP, popup ? 1 : 0, 0);
    g_tracker = nullptr;
    if (t.quit) PostQuitMessage(t.quit_code);
    if (!t.chosen) return (t.flags & TPM_RETURNCMD) ? 0 : 1;
    if (t.flags & TPM_RETURNCMD) return static_cast<int32_t>(t.command);
    if (IsWindow(owner)) PostMessage(owner, WM_COMMAND, t.command & 0xFFFF, 0);
    return 1;
}

// Starts the loop: capture, WM_ENTERMENULOOP and WM_INITMENU. False when a handler ended it.
bool begin(Tracker& t, HWND capture) {
    g_tracker = &t;
    SetCapture(capture);
    notify(t, WM_ENTERMENULOOP, t.bar ? 0 : 1, 0);
    if (!t.ended) notify(t, WM_INITMENU, t.levels[0].menu, 0);
    return !t.ended;
}

// The bar of a top-level window, entered from the keyboard (Alt: its first item highlighted;
// Alt with a letter: the item of that mnemonic opened) or by a press at a screen point.
void track_bar(HWND top, bool keyboard, char16_t c, POINT press) {
    const HMENU menu = GetMenu(top);
    const Menu* m = menu_of(menu);
    if (g_tracker || !m || m->items.empty()) return;
    Tracker t;
    t.owner = top;
    t.bar = true;
    Level bar;
    bar.menu = menu;
    bar.screen = bar_strip(top);
    bar.layout = bar_layout(*m, GetDpiForWindow(top), bar.screen.height());
    t.levels.push_back(std::move(bar));
    Hit start;
    if (!keyboard) {
        start = hit(t, press);
        if (start.level != 0 || separator_at(t, 0, start.item)) return;
    } else if (c) {
        bool any = false;
        for (const Item& item : m->items) any = any || (!separator(item) && mnemonic(item) == fold(c));
        if (!any) return;
    }
    if (!begin(t, top)) return void(finish(t));
    if (!keyboard) {
        select(t, 0, start.item, true);
        open(t, 0, false);
    } else if (c) {
        mnemonic_key(t, c);
    } else {
        select(t, 0, next_selectable(t, 0, -1, 1), false);
    }
    run(t);
    finish(t);
}

// The default procedure's share: Alt pressed and released alone, Alt with a letter, a press on
// the strip, and the WM_SYSCOMMAND requests they make.
enum : intptr_t { SC_MOUSEMENU = 0xF090, SC_KEYMENU = 0xF100 };

bool default_message(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    static bool alt_alone = false;
    switch (message) {
    case WM_KEYDOWN: alt_alone = false; return false;
    case WM_SYSKEYDOWN:
        if (wParam != VK_MENU)
            alt_alone = false;
        else if (!(lParam & kKeyWasDown))
            alt_alone = true;
        return false;
    case WM_SYSKEYUP: {
        const bool alone = wParam == VK_MENU && alt_alone;
        alt_alone = false;
        if (alone) SendMessage(GetAncestor(hwnd, GA_ROOT), WM_SYSCOMMAND, SC_KEYMENU, 0);
        return alone;
    }
    case WM_SYSCHAR:
        alt_alone = false;
        SendMessage(GetAncestor(hwnd, GA_ROOT), WM_SYSCOMMAND, SC_KEYMENU, wParam);
        return true;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: SendMessage(hwnd, WM_SYSCOMMAND, SC_MOUSEMENU, lParam); return true;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU) {
            alt_alone = false;
            track_bar(hwnd, true, static_cast<char16_t>(lParam), POINT{});
            return true;
        }
        if ((wParam & 0xFFF0) == SC_MOUSEMENU) {
            track_bar(hwnd, false, 0, POINT{lparam_x(lParam), lparam_y(lParam)});
            return true;
        }
        return false;
    default: return false;
    }
}

// Draws the bar into the strip, its highlighted item while the loop tracks it.
void paint_bar(HWND top, cairo_t* cr, const RECT& strip) {
    const Menu* m = menu_of(GetMenu(top));
    const CairoLib* c = cairo_lib();
    if (!m || !c) return;
    const uint32_t dpi = GetDpiForWindow(top);
    const Layout layout = bar_layout(*m, dpi, strip.height());
    const bool tracked = g_tracker && g_tracker->bar && g_tracker->owner == top && !g_tracker->levels.empty();
    const int32_t hot = tracked ? g_tracker->levels[0].hot : -1;
    c->save(cr);
    c->rectangle(cr, strip.left, strip.top, strip.width(), strip.height());
    c->clip(cr);
    c->translate(cr, strip.left, strip.top);
    gfx::SelectObject(cr, menu_font(dpi));
    gfx::SetBkMode(cr, gfx::TRANSPARENT);
    for (size_t i = 0; i < m->items.size(); ++i) {
        const Item& item = m->items[i];
        RECT r = layout.items[i];
        if (separator(item)) continue;
        if (static_cast<int32_t>(i) == hot) fill(cr, r, kHotColour);
        gfx::SetTextColor(cr, grayed(item) ? kGrayedColour : kTextColour);
        text_in(cr, label(item), r, gfx::DT_CENTER);
    }
    c->restore(cr);
}

void destroy_menu(intptr_t menu) { DestroyMenu(static_cast<HMENU>(menu)); }

constexpr MenuHooks kHooks{paint_bar, default_message, destroy_menu};

HMENU make(bool bar) {
    static const bool installed = (set_menu_hooks(&kHooks), true);
    (void)installed;
    Table& t = table();
    const HMENU handle = t.next++;
    t.menus[handle].bar = bar;
    return handle;
}

}  // namespace

HMENU CreateMenu() { return make(true); }
HMENU CreatePopupMenu() { return make(false); }

bool DestroyMenu(HMENU menu) {
    if (!menu_of(menu)) return false;
    std::vector<HMENU> walk{menu};
    while (!walk.empty()) {
        const HMENU at = walk.back();
        walk.pop_back();
        auto it = table().menus.find(at);
        if (it == table().menus.end()) continue;
        for (const Item& item : it->second.items)
            if (item.submenu) walk.push_back(item.submenu);
        table().menus.erase(it);
    }
    return true;
}

bool IsMenu(HMENU menu) { return menu_of(menu) != nullptr; }

int32_t GetMenuItemCount(HMENU menu) {
    const Menu* m = menu_of(menu);
    return m ? static_cast<int32_t>(m->items.size()) : -1;
}

bool AppendMenu(HMENU menu, uint32_t flags, uintptr_t item, std::u16string_view text) {
    MENUITEMINFO info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.fType = (flags & MF_SEPARATOR) ? MFT_SEPARATOR : MFT_STRING;
    info.fState = ((flags & (MF_GRAYED | MF_DISABLED)) ? uint32_t{MFS_GRAYED} : 0u) | (flags & MF_CHECKED);
    if (flags & MF_POPUP) {
        info.hSubMenu = static_cast<HMENU>(item);
        if (!menu_of(info.hSubMenu)) return false;
    } else if (!(flags & MF_SEPARATOR)) {
        info.wID = static_cast<uint32_t>(item);
    }
    if (!(flags & MF_SEPARATOR)) info.text = text;
    const int32_t count = GetMenuItemCount(menu);
    return count >= 0 && InsertMenuItem(menu, static_cast<uint32_t>(count), true, info);
}

bool InsertMenuItem(HMENU menu, uint32_t item, bool by_position, const MENUITEMINFO& info) {
    Menu* m = menu_of(menu);
    HMENU in = menu;
    size_t index = item;
    if (!m || (by_position ? item > m->items.size() : !locate(menu, item, false, &in, &index))) return false;
    if (!acceptable(in, info)) return false;
    Item made;
    apply(&made, info);
    Menu* target = menu_of(in);
    target->items.insert(target->items.begin() + static_cast<ptrdiff_t>(index), std::move(made));
    return true;
}

bool SetMenuItemInfo(HMENU menu, uint32_t item, bool by_position, const MENUITEMINFO& info) {
    HMENU in;
    size_t index;
    if (!locate(menu, item, by_position, &in, &index) || !acceptable(in, info)) return false;
    apply(&menu_of(in)->items[index], info);
    return true;
}

bool GetMenuItemInfo(HMENU menu, uint32_t item, bool by_position, MENUITEMINFO* info) {
    HMENU in;
    size_t index;
    if (!info || !locate(menu, item, by_position, &in, &index)) return false;
    const Item& it = menu_of(in)->items[index];
    if (info->fMask & MIIM_FTYPE) info->fType = it.type;
    if (info->fMask & MIIM_STATE) info->fState = it.state;
    if (info->fMask & MIIM_ID) info->wID = it.id;
    if (info->fMask & MIIM_SUBMENU) info->hSubMenu = it.submenu;
    if (info->fMask & MIIM_DATA) info->dwItemData = it.data;
    if (info->fMask & MIIM_STRING) info->text = it.text;
    return true;
}

bool DrawMenuBar(HWND hwnd) { return GetMenu(hwnd) && RedrawWindow(hwnd, nullptr, RDW_FRAME); }

bool GetMenuItemRect(HWND hwnd, HMENU menu, uint32_t position, RECT* rect) {
    if (!rect) return false;
    if (g_tracker)
        for (const Level& level : g_tracker->levels)
            if (level.menu == menu && level.window && position < level.layout.items.size()) {
                *rect = item_on_screen(level, static_cast<int32_t>(position));
                return true;
            }
    const Menu* m = menu_of(menu);
    if (!m || GetMenu(hwnd) != menu || position >= m->items.size()) return false;
    const RECT strip = bar_strip(hwnd);
    Level bar;
    bar.screen = strip;
    bar.layout = bar_layout(*m, GetDpiForWindow(hwnd), strip.height());
    *rect = item_on_screen(bar, static_cast<int32_t>(position));
    return true;
}

int32_t TrackPopupMenuEx(HMENU menu, uint32_t flags, int32_t x, int32_t y, HWND owner) {
    if (g_tracker || !menu_of(menu) || !IsWindow(owner)) return 0;
    Tracker t;
    t.owner = owner;
    t.flags = flags;
    Level first;
    first.menu = menu;
    t.levels.push_back(first);  // a placeholder while WM_ENTERMENULOOP and WM_INITMENU are sent
    g_tracker = &t;
    notify(t, WM_ENTERMENULOOP, 1, 0);
    if (!t.ended) notify(t, WM_INITMENU, menu, 0);
    if (!t.ended) notify(t, WM_INITMENUPOPUP, menu, 0);
    t.levels.clear();
    if (t.ended || !IsMenu(menu) || !show_popup(t, menu, POINT{x, y}, x, y)) {
        t.ended = true;
        return finish(t);
    }
    SetCapture(t.levels[0].window);
    run(t);
    return finish(t);
}

}  // namespace nuv::host::menus
