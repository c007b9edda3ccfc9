// Classes, window records and their tree: creation and destruction, geometry, z-order, showing,
// enabling, focus, capture and activation.
#include <algorithm>
#include <utility>

#include "host/win/displays.h"
#include "host/win/model.h"

namespace nuv::host::win {

namespace model {

State& state() {
    static State* s = new State;  // kept to the end: procedures may run while the process ends
    return *s;
}

Window* find(HWND hwnd) {
    auto& windows = state().windows;
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second.get();
}

Window* live(HWND hwnd) {
    Window* w = find(hwnd);
    return w && !w->destroyed ? w : nullptr;
}

namespace {

void forget_if_done(Window* w) {
    if (w->destroyed && w->calls == 0) {
        free_surfaces(w);
        state().windows.erase(w->id);
    }
}

struct CallGuard {
    Window* w;
    ~CallGuard() {
        --w->calls;
        forget_if_done(w);
    }
};

}  // namespace

LRESULT call(Window* w, WNDPROC proc, uint32_t message, intptr_t wParam, intptr_t lParam) {
    ++w->calls;
    CallGuard guard{w};
    return proc(w->id, message, wParam, lParam);
}

namespace {

uint32_t display_dpi(const RECT& r) {
    uint32_t dpi = 96, unused;
    GetDpiForMonitor(MonitorFromRect(r), &dpi, &unused);
    return dpi;
}

}  // namespace

int32_t scaled(int32_t size, uint32_t dpi) { return static_cast<int32_t>(size * int64_t(dpi) / 96); }

RECT insets(uint32_t style, uint32_t ex_style, bool menu, uint32_t dpi) {
    int32_t b = 0;
    if (ex_style & WS_EX_CLIENTEDGE) b += scaled(kClientEdgeSize, dpi);
    if ((style & WS_CAPTION) == WS_BORDER) b += scaled(kBorderSize, dpi);
    RECT r{b, b, b, b};
    if (menu) r.top += scaled(kMenuBarHeight, dpi);
    return r;
}

bool is_top_level(const Window* w) { return w->parent == 0; }

uint32_t window_dpi(const Window* w) { return root(const_cast<Window*>(w))->dpi; }

RECT frame_insets(const Window* w) {
    return insets(w->style, w->ex_style, is_top_level(w) && w->menu != 0, window_dpi(w));
}

RECT window_insets(const Window* w) {
    RECT r = frame_insets(w);
    const int32_t bar = scaled(kScrollBarSize, window_dpi(w));
    if (w->style & WS_VSCROLL) r.right += bar;
    if (w->style & WS_HSCROLL) r.bottom += bar;
    return r;
}

void dpi_changed(HWND top, uint32_t dpi) {
    Window* w = live(top);
    if (!w || !is_top_level(w) || w->dpi == dpi) return;
    // Each window of the tree with its client before, parents first; then the frames anew.
    std::vector<std::pair<HWND, RECT>> before;
    std::vector<const Window*> walk{w};
    while (!walk.empty()) {
        const Window* at = walk.back();
        walk.pop_back();
        before.emplace_back(at->id, client_in_window(at));
        for (HWND c : at->children)
            if (const Window* child = live(c)) walk.push_back(child);
    }
    w->dpi = dpi;
    for (const auto& [id, client] : before) {
        const Window* at = live(id);
        const RECT now = at ? client_in_window(at) : client;
        if (now.left != client.left || now.top != client.top || now.right != client.right ||
            now.bottom != client.bottom)
            SetWindowPos(id, 0, 0, 0, 0, 0,
                         SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

RECT client_in_window(const Window* w) {
    RECT in = window_insets(w);
    RECT c{in.left, in.top, w->rect.width() - in.right, w->rect.height() - in.bottom};
    c.right = std::max(c.left, c.right);
    c.bottom = std::max(c.top, c.bottom);
    return c;
}

POINT screen_origin(const Window* w) {
    POINT p{w->rect.left, w->rect.top};
    for (const Window* p_w = find(w->parent); p_w; p_w = find(p_w->parent)) {
        RECT c = client_in_window(p_w);
        p.x += p_w->rect.left + c.left;
        p.y += p_w->rect.top + c.top;
    }
    return p;
}

Window* root(Window* w) {
    while (Window* p = find(w->parent)) w = p;
    return w;
}

bool visible_chain(const Window* w) {
    for (; w; w = find(w->parent))
        if (!(w->style & WS_VISIBLE)) return false;
    return true;
}

bool in_tree(const Window* w, HWND top) {
    for (; w; w = find(w->parent))
        if (w->id == top) return true;
    return false;
}

void top_level_changed(const Window* w) {
    State& s = state();
    // The screen comes with the first top-level window shown, unless a source was chosen.
    if (!s.source_chosen && is_top_level(w) && (w->style & WS_VISIBLE)) {
        s.source_chosen = true;
        s.source = screen_source();
    }
    const EventSource* source = s.source;
    if (source && source->top_level && is_top_level(w)) source->top_level(w->id);
}

namespace {

bool contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

RECT screen_rect(const Window* w) {
    POINT o = screen_origin(w);
    return RECT{o.x, o.y, o.x + w->rect.width(), o.y + w->rect.height()};
}

RECT client_screen_rect(const Window* w) {
    POINT o = screen_origin(w);
    RECT c = client_in_window(w);
    return RECT{o.x + c.left, o.y + c.top, o.x + c.right, o.y + c.bottom};
}

HWND pick(std::vector<HWND> list, POINT screen, int32_t* code) {
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        Window* c = live(*it);
        if (!c || !(c->style & WS_VISIBLE) || (c->style & WS_DISABLED) || !contains(screen_rect(c), screen)) continue;
        if (contains(client_screen_rect(c), screen))
            if (HWND deeper = pick(c->children, screen, code)) return deeper;
        int32_t hit = static_cast<int32_t>(SendMessage(c->id, WM_NCHITTEST, 0, point_lparam(screen.x, screen.y)));
        if (hit == HTTRANSPARENT) continue;
        *code = hit;
        return c->id;
    }
    return 0;
}

}  // namespace

HWND pick_at(POINT screen, int32_t* code) {
    *code = HTNOWHERE;
    return pick(state().top_levels, screen, code);
}

}  // namespace model

using namespace model;

namespace {

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool same_name(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return fold(x) == fold(y);
           });
}

std::vector<std::shared_ptr<Class>>::iterator class_named(std::u16string_view name) {
    auto& classes = state().classes;
    return std::find_if(classes.begin(), classes.end(), [&](auto& c) { return same_name(c->info.name, name); });
}

std::vector<HWND>& siblings(Window* w) {
    Window* p = find(w->parent);
    return p ? p->children : state().top_levels;
}

void unlink(Window* w) {
    auto& list = siblings(w);
    list.erase(std::remove(list.begin(), list.end(), w->id), list.end());
}

// Places the window among its siblings: above all, below all, or just below `after`.
void restack(Window* w, HWND after) {
    unlink(w);
    auto& list = siblings(w);
    if (after == HWND_BOTTOM) {
        list.insert(list.begin(), w->id);
        return;
    }
    auto at = std::find(list.begin(), list.end(), after);
    list.insert(at == list.end() ? list.end() : at, w->id);
}

// Every window of the tree from `w`, parent first, children from the top of z-order.
void collect(Window* w, std::vector<HWND>* out) {
    out->push_back(w->id);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        if (Window* c = live(*it)) collect(c, out);
}

void clamp_to_minmax(Window* w, int32_t* cx, int32_t* cy) {
    const RECT& area = state().work_area;
    MINMAXINFO mm;
    mm.ptMaxSize = {area.width(), area.height()};
    mm.ptMaxPosition = {area.left, area.top};
    mm.ptMinTrackSize = {0, 0};
    mm.ptMaxTrackSize = {32767, 32767};
    SendMessage(w->id, WM_GETMINMAXINFO, 0, reinterpret_cast<intptr_t>(&mm));
    *cx = std::clamp(*cx, mm.ptMinTrackSize.x, std::max(mm.ptMinTrackSize.x, mm.ptMaxTrackSize.x));
    *cy = std::clamp(*cy, mm.ptMinTrackSize.y, std::max(mm.ptMinTrackSize.y, mm.ptMaxTrackSize.y));
}

// Whether a top-level window other than `leaving` may take activation from it: shown, enabled,
// not minimised, not being destroyed, and not one that refuses activation.
bool can_take_activation(const Window* w, HWND leaving) {
    return w && w->id != leaving && !w->dying && is_top_level(w) && (w->style & WS_VISIBLE) &&
           !(w->style & (WS_DISABLED | WS_MINIMIZE)) && !(w->ex_style & WS_EX_NOACTIVATE);
}

// The active window is being hidden, minimised or destroyed: activation passes to its owner when
// the owner can take it, else to the highest top-level window that can, with WM_ACTIVATE to both
// (and focus following as on any activation); with none, activation is cleared (a window being
// destroyed is then told nothing).
void pass_activation(HWND leaving) {
    const Window* w = live(leaving);
    if (!w) return;
    HWND next = 0;
    if (can_take_activation(live(w->owner), leaving)) {
        next = w->owner;
    } else {
        const auto& tops = state().top_levels;
        for (auto it = tops.rbegin(); it != tops.rend() && !next; ++it)
            if (can_take_activation(live(*it), leaving)) next = *it;
    }
    if (next) {
        SetActiveWindow(next);
        return;
    }
    state().active = 0;
    if (!w->dying) SendMessage(leaving, WM_ACTIVATE, WA_INACTIVE, 0);
}

}  // namespace

// ---- Classes

bool RegisterClass(const WNDCLASS& cls) {
    if (cls.name.empty() || !cls.proc || class_named(cls.name) != state().classes.end()) return false;
    state().classes.push_back(std::make_shared<Class>(Class{cls}));
    return true;
}

bool GetClassInfo(std::u16string_view name, WNDCLASS* out) {
    auto it = class_named(name);
    if (it == state().classes.end()) return false;
    *out = (*it)->info;
    return true;
}

bool UnregisterClass(std::u16string_view name) {
    auto it = class_named(name);
    if (it == state().classes.end()) return false;
    state().classes.erase(it);
    return true;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (!proc) return 0;
    Window* w = find(hwnd);
    return w ? call(w, proc, message, wParam, lParam) : proc(hwnd, message, wParam, lParam);
}

// ---- Windows

HWND CreateWindowEx(uint32_t ex_style, std::u16string_view class_name, std::u16string_view text, uint32_t style,
                    int32_t x, int32_t y, int32_t width, int32_t height, HWND parent, intptr_t hMenu,
                    void* param) {
    note_gui_thread();
    auto cls = class_named(class_name);
    if (cls == state().classes.end()) return 0;
    Window* p = parent ? live(parent) : nullptr;
    if ((parent && !p) || ((style & WS_CHILD) && !p)) return 0;
    auto record = std::make_unique<Window>();
    Window* w = record.get();
    w->id = state().next_id++;
    w->cls = *cls;
    w->proc = w->cls->info.proc;
    w->style = style & ~WS_VISIBLE;
    w->ex_style = ex_style;
    w->text = text;
    if (style & WS_CHILD)
        w->parent = parent;
    else if (p)
        w->owner = root(p)->id;
    if (Window* owner = find(w->owner)) owner->owned.push_back(w->id);
    w->menu = hMenu;
    w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    w->normal = w->rect;
    if (!w->parent) w->dpi = display_dpi(w->rect);
    if (!make_surface(w, w->rect.width(), w->rect.height())) return 0;
    const HWND id = w->id;
    state().windows.emplace(id, std::move(record));
    siblings(w).push_back(id);
    invalidate(w, nullptr, true);

    CREATESTRUCT cs;
    cs.lpCreateParams = param;
    cs.hMenu = hMenu;
    cs.hwndParent = parent;
    cs.cx = w->rect.width();
    cs.cy = w->rect.height();
    cs.x = x;
    cs.y = y;
    cs.style = style;
    cs.lpszName = text;
    cs.lpszClass = class_name;
    cs.dwExStyle = ex_style;
    if (SendMessage(id, WM_NCCREATE, 0, reinterpret_cast<intptr_t>(&cs)) == 0 ||
        SendMessage(id, WM_CREATE, 0, reinterpret_cast<intptr_t>(&cs)) == -1) {
        DestroyWindow(id);
        return 0;
    }
    if (!(w = live(id))) return 0;
    RECT c = client_in_window(w);
    SendMessage(id, WM_SIZE, SIZE_RESTORED, point_lparam(c.width(), c.height()));
    if (!(w = live(id))) return 0;
    SendMessage(id, WM_MOVE, 0, point_lparam(w->rect.left + c.left, w->rect.top + c.top));
    if (!(w = live(id))) return 0;
    top_level_changed(w);
    if (style & WS_VISIBLE) {
        if (is_top_level(w)) {
            ShowWindow(id, SW_SHOW);
        } else {
            w->style |= WS_VISIBLE;
            mark_composed_dirty(w);
        }
    }
    return live(id) ? id : 0;
}

bool DestroyWindow(HWND hwnd) {
    Window* w = live(hwnd);
    if (!w) return false;
    w->dying = true;
    for (HWND o : std::vector<HWND>(w->owned)) DestroyWindow(o);
    if (!(w = live(hwnd))) return true;
    // Activation passes on while the window is still whole.
    if (state().active == hwnd) {
        pass_activation(hwnd);
        if (!(w = live(hwnd))) return true;
    }
    const bool top_level = is_top_level(w);
    mark_composed_dirty(w);
    std::vector<HWND> tree;
    collect(w, &tree);
    for (HWND id : tree)
        if (live(id)) SendMessage(id, WM_DESTROY, 0, 0);
    State& s = state();
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
        Window* x = live(*it);
        if (!x) continue;
        if (s.focus == x->id) s.focus = 0;
        if (s.capture == x->id) s.capture = 0;
        if (s.active == x->id) s.active = 0;
        if (s.tracking == x->id) s.tracking = 0;
        kill_timers(x->id);
        // Children still inside the tree go with their parent's list.
        if (x->id == hwnd || !in_tree(x, hwnd)) unlink(x);
        if (Window* owner = find(x->owner))
            owner->owned.erase(std::remove(owner->owned.begin(), owner->owned.end(), x->id), owner->owned.end());
        x->destroyed = true;
        // The record is freed when WM_NCDESTROY returns: what the menu hook needs is read first.
        const HWND id = x->id;
        const intptr_t menu = is_top_level(x) ? x->menu : 0;
        call(x, x->proc, WM_NCDESTROY, 0, 0);
        if (menu && s.menu_hooks && s.menu_hooks->destroy_menu) {
            if (Window* still = find(id)) still->menu = 0;
            s.menu_hooks->destroy_menu(menu);
        }
    }
    if (top_level && s.source && s.source->top_level) s.source->top_level(hwnd);
    return true;
}

bool IsWindow(HWND hwnd) { return live(hwnd) != nullptr; }

WindowExtra* GetWindowExtra(HWND hwnd) {
    Window* w = find(hwnd);
    return w ? &w->extra : nullptr;
}

intptr_t GetWindowLong(HWND hwnd, int32_t index) {
    const Window* w = find(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWL_STYLE: return w->style;
    case GWL_EXSTYLE: return w->ex_style;
    case GWLP_ID: return w->parent ? w->menu : 0;
    default: return 0;
    }
}

intptr_t SetWindowLong(HWND hwnd, int32_t index, intptr_t value) {
    Window* w = live(hwnd);
    if (!w) return 0;
    intptr_t old = GetWindowLong(hwnd, index);
    switch (index) {
    case GWL_STYLE: w->style = static_cast<uint32_t>(value); break;
    case GWL_EXSTYLE: w->ex_style = static_cast<uint32_t>(value); break;
    case GWLP_ID:
        if (w->parent) w->menu = value;
        break;
    default: return 0;
    }
    w->frame_dirty = true;
    mark_composed_dirty(w);
    return old;
}

bool GetClassName(HWND hwnd, std::u16string* name) {
    const Window* w = find(hwnd);
    if (!w) return false;
    *name = w->cls->info.name;
    return true;
}

bool SetMenu(HWND hwnd, intptr_t menu) {
    Window* w = live(hwnd);
    if (!w || !is_top_level(w)) return false;
    w->menu = menu;
    return SetWindowPos(hwnd, 0, 0, 0, 0, 0,
                        SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

intptr_t GetMenu(HWND hwnd) {
    const Window* w = find(hwnd);
    return w && is_top_level(w) ? w->menu : 0;
}

void set_menu_hooks(const MenuHooks* hooks) { state().menu_hooks = hooks; }

bool SetWindowText(HWND hwnd, std::u16string_view text) {
    if (!live(hwnd)) return false;
    std::u16string copy(text);
    return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<intptr_t>(copy.c_str())) != 0;
}

int32_t GetWindowTextLength(HWND hwnd) {
    return live(hwnd) ? static_cast<int32_t>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

std::u16string GetWindowText(HWND hwnd) {
    Window* w = find(hwnd);
    if (!w) return {};
    if (w->destroyed) return w->text;
    std::u16string text(static_cast<size_t>(std::max(GetWindowTextLength(hwnd), 0)) + 1, u'\0');
    LRESULT n = SendMessage(hwnd, WM_GETTEXT, static_cast<intptr_t>(text.size()),
                            reinterpret_cast<intptr_t>(text.data()));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(n, 0, static_cast<LRESULT>(text.size()) - 1)));
    return text;
}

// ---- Tree and geometry

bool SetWindowPos(HWND hwnd, HWND insert_after, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t flags) {
    Window* w = live(hwnd);
    if (!w) return false;
    WINDOWPOS pos{hwnd, insert_after, x, y, cx, cy, flags};
    if (flags & SWP_NOMOVE) pos.x = w->rect.left, pos.y = w->rect.top;
    if (flags & SWP_NOSIZE) pos.cx = w->rect.width(), pos.cy = w->rect.height();
    if (!(flags & SWP_NOSENDCHANGING)) {
        SendMessage(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<intptr_t>(&pos));
        if (!(w = live(hwnd))) return false;
    }
    pos.cx = std::max(pos.cx, 0);
    pos.cy = std::max(pos.cy, 0);
    bool sized = pos.cx != w->rect.width() || pos.cy != w->rect.height();
    if (sized && is_top_level(w) && !(w->style & WS_MINIMIZE)) {
        clamp_to_minmax(w, &pos.cx, &pos.cy);
        if (!(w = live(hwnd))) return false;
        sized = pos.cx != w->rect.width() || pos.cy != w->rect.height();
    }
    const bool moved = pos.x != w->rect.left || pos.y != w->rect.top;
    if (sized && !make_surface(w, pos.cx, pos.cy)) return false;
    mark_composed_dirty(w);
    w->rect = RECT{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
    if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normal = w->rect;
    if (!(flags & SWP_NOZORDER)) restack(w, insert_after);
    const bool hidden = (flags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE);
    if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
    if (flags & SWP_FRAMECHANGED) w->frame_dirty = true;
    if (sized || (flags & SWP_FRAMECHANGED)) {
        w->frame_dirty = true;
        invalidate(w, nullptr, true);
    }
    mark_composed_dirty(w);
    pos.flags = flags & ~(SWP_NOMOVE | SWP_NOSIZE);
    if (!moved) pos.flags |= SWP_NOMOVE;
    if (!sized && !(flags & (SWP_FRAMECHANGED | SWP_STATECHANGED))) pos.flags |= SWP_NOSIZE;
    SendMessage(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<intptr_t>(&pos));
    if ((w = live(hwnd))) top_level_changed(w);
    if (hidden && live(hwnd)) {
        State& s = state();
        if (s.active == hwnd) pass_activation(hwnd);
        // Focus left inside a hidden window with no other window to take it goes nowhere.
        if (Window* f = live(s.focus); f && in_tree(f, hwnd)) s.focus = 0;
    }
    return true;
}

HDWP BeginDeferWindowPos(int32_t count) { return count < 0 ? 0 : state().next_batch++; }

HDWP DeferWindowPos(HDWP batch, HWND hwnd, HWND insert_after, int32_t x, int32_t y, int32_t cx, int32_t cy,
                    uint32_t flags) {
    return batch && SetWindowPos(hwnd, insert_after, x, y, cx, cy, flags) ? batch : 0;
}

bool EndDeferWindowPos(HDWP batch) { return batch != 0; }

bool MoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t cx, int32_t cy, bool repaint) {
    return SetWindowPos(hwnd, 0, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : uint32_t{SWP_NOREDRAW}));
}

bool BringWindowToTop(HWND hwnd) {
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

namespace {

// Minimises, maximises (state WS_MINIMIZE or WS_MAXIMIZE) or restores (0) a window.
void set_size_state(Window* w, uint32_t to) {
    const uint32_t now = w->style & (WS_MINIMIZE | WS_MAXIMIZE);
    if (now == to) return;
    RECT target = w->normal;
    if (to == WS_MINIMIZE) target = RECT{-32000, -32000, -32000 + w->normal.width(), -32000 + w->normal.height()};
    if (to == WS_MAXIMIZE) target = state().work_area;
    w->style = (w->style & ~(WS_MINIMIZE | WS_MAXIMIZE)) | to;
    SetWindowPos(w->id, 0, target.left, target.top, target.width(), target.height(),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_STATECHANGED);
}

}  // namespace

bool ShowWindow(HWND hwnd, int32_t command) {
    Window* w = live(hwnd);
    if (!w) return false;
    const bool was = w->style & WS_VISIBLE;
    const uint32_t keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    if (command == SW_HIDE) {
        if (!was) return false;
        SendMessage(hwnd, WM_SHOWWINDOW, 0, 0);
        SetWindowPos(hwnd, 0, 0, 0, 0, 0, keep | SWP_HIDEWINDOW);
        return true;
    }
    if (!was) {
        SendMessage(hwnd, WM_SHOWWINDOW, 1, 0);
        SetWindowPos(hwnd, 0, 0, 0, 0, 0, keep | SWP_SHOWWINDOW);
    }
    if (!(w = live(hwnd))) return was;
    switch (command) {
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE: set_size_state(w, WS_MINIMIZE); break;
    case SW_SHOWMAXIMIZED: set_size_state(w, WS_MAXIMIZE); break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT: set_size_state(w, 0); break;
    default: break;
    }
    if (!(w = live(hwnd))) return was;
    // Minimised without being activated, the active window hands activation on.
    if ((command == SW_MINIMIZE || command == SW_SHOWMINNOACTIVE) && state().active == hwnd) {
        pass_activation(hwnd);
        if (!(w = live(hwnd))) return was;
    }
    const bool activate = command != SW_SHOWNA && command != SW_SHOWNOACTIVATE && command != SW_SHOWMINNOACTIVE &&
                          command != SW_MINIMIZE && !(w->ex_style & WS_EX_NOACTIVATE);
    if (activate && is_top_level(w)) SetActiveWindow(hwnd);
    return was;
}

bool IsWindowVisible(HWND hwnd) {
    const Window* w = find(hwnd);
    return w && visible_chain(w);
}

bool IsIconic(HWND hwnd) {
    const Window* w = find(hwnd);
    return w && (w->style & WS_MINIMIZE);
}

bool IsZoomed(HWND hwnd) {
    const Window* w = find(hwnd);
    return w && (w->style & WS_MAXIMIZE);
}

bool EnableWindow(HWND hwnd, bool enable) {
    Window* w = live(hwnd);
    if (!w) return false;
    const bool was_disabled = w->style & WS_DISABLED;
    if (was_disabled == !enable) return was_disabled;
    w->style ^= WS_DISABLED;
    SendMessage(hwnd, WM_ENABLE, enable, 0);
    return was_disabled;
}

bool IsWindowEnabled(HWND hwnd) {
    const Window* w = find(hwnd);
    return w && !(w->style & WS_DISABLED);
}

void set_work_area(const RECT& area) { state().work_area = area; }

bool GetWindowRect(HWND hwnd, RECT* rect) {
    const Window* w = find(hwnd);
    if (!w) return false;
    POINT o = screen_origin(w);
    *rect = RECT{o.x, o.y, o.x + w->rect.width(), o.y + w->rect.height()};
    return true;
}

bool GetClientRect(HWND hwnd, RECT* rect) {
    const Window* w = find(hwnd);
    if (!w) return false;
    RECT c = client_in_window(w);
    *rect = RECT{0, 0, c.width(), c.height()};
    return true;
}

bool ClientToScreen(HWND hwnd, POINT* point) {
    const Window* w = find(hwnd);
    if (!w) return false;
    POINT o = screen_origin(w);
    RECT c = client_in_window(w);
    point->x += o.x + c.left;
    point->y += o.y + c.top;
    return true;
}

bool ScreenToClient(HWND hwnd, POINT* point) {
    POINT origin{0, 0};
    if (!ClientToScreen(hwnd, &origin)) return false;
    point->x -= origin.x;
    point->y -= origin.y;
    return true;
}

bool AdjustWindowRectEx(RECT* rect, uint32_t style, bool menu, uint32_t ex_style) {
    // No window: the first display's DPI, as GetSystemMetrics answers.
    uint32_t dpi = 96, unused;
    GetDpiForMonitor(1, &dpi, &unused);
    return AdjustWindowRectExForDpi(rect, style, menu, ex_style, dpi);
}

bool AdjustWindowRectExForDpi(RECT* rect, uint32_t style, bool menu, uint32_t ex_style, uint32_t dpi) {
    if (!rect || dpi == 0) return false;
    RECT in = insets(style, ex_style, menu, dpi);
    rect->left -= in.left;
    rect->top -= in.top;
    rect->right += in.right;
    rect->bottom += in.bottom;
    return true;
}

HWND GetParent(HWND hwnd) {
    const Window* w = find(hwnd);
    if (!w) return 0;
    if (w->parent) return w->parent;
    return (w->style & WS_POPUP) ? w->owner : 0;
}

HWND SetParent(HWND hwnd, HWND parent) {
    Window* w = live(hwnd);
    Window* p = parent ? live(parent) : nullptr;
    if (!w || (parent && !p) || (p && in_tree(p, hwnd))) return 0;
    const HWND old = w->parent;
    mark_composed_dirty(w);
    unlink(w);
    w->parent = parent;
    if (!parent) w->dpi = display_dpi(w->rect);
    siblings(w).push_back(hwnd);
    mark_composed_dirty(w);
    return old;
}

HWND GetAncestor(HWND hwnd, uint32_t flags) {
    Window* w = find(hwnd);
    if (!w) return 0;
    switch (flags) {
    case GA_PARENT: return w->parent;
    case GA_ROOT: return root(w)->id;
    case GA_ROOTOWNER: {
        HWND at = hwnd;
        for (HWND up = GetParent(at); up; up = GetParent(at)) at = up;
        return at;
    }
    default: return 0;
    }
}

HWND GetWindow(HWND hwnd, uint32_t relation) {
    Window* w = find(hwnd);
    if (!w) return 0;
    if (relation == GW_OWNER) return w->owner;
    if (relation == GW_CHILD) return w->children.empty() ? 0 : w->children.back();
    const auto& list = siblings(w);
    auto at = std::find(list.begin(), list.end(), hwnd);
    if (at == list.end()) return 0;
    switch (relation) {
    case GW_HWNDFIRST: return list.back();
    case GW_HWNDLAST: return list.front();
    case GW_HWNDNEXT: return at == list.begin() ? 0 : *(at - 1);
    case GW_HWNDPREV: return at + 1 == list.end() ? 0 : *(at + 1);
    default: return 0;
    }
}

bool IsChild(HWND parent, HWND hwnd) {
    const Window* w = find(hwnd);
    return w && w->id != parent && in_tree(w, parent);
}

HWND WindowFromPoint(POINT screen) {
    int32_t code;
    return pick_at(screen, &code);
}

HWND ChildWindowFromPointEx(HWND parent, POINT client, uint32_t flags) {
    Window* p = live(parent);
    if (!p) return 0;
    RECT c = client_in_window(p);
    if (client.x < 0 || client.y < 0 || client.x >= c.width() || client.y >= c.height()) return 0;
    for (auto it = p->children.rbegin(); it != p->children.rend(); ++it) {
        const Window* w = live(*it);
        if (!w || ((flags & CWP_SKIPINVISIBLE) && !(w->style & WS_VISIBLE)) ||
            ((flags & CWP_SKIPDISABLED) && (w->style & WS_DISABLED)) ||
            ((flags & CWP_SKIPTRANSPARENT) && (w->ex_style & WS_EX_TRANSPARENT)))
            continue;
        if (client.x >= w->rect.left && client.x < w->rect.right && client.y >= w->rect.top &&
            client.y < w->rect.bottom)
            return w->id;
    }
    return parent;
}

// ---- Focus, capture, activation

HWND SetFocus(HWND hwnd) {
    State& s = state();
    Window* w = hwnd ? live(hwnd) : nullptr;
    if (hwnd && !w) return 0;
    if (w && root(w)->id != s.active) SetActiveWindow(root(w)->id);
    const HWND old = s.focus;
    if (old == hwnd) return old;
    s.focus = hwnd;
    if (live(old)) SendMessage(old, WM_KILLFOCUS, hwnd, 0);
    if (hwnd && s.focus == hwnd) SendMessage(hwnd, WM_SETFOCUS, old, 0);
    return old;
}

HWND GetFocus() { return state().focus; }

HWND SetCapture(HWND hwnd) {
    State& s = state();
    if (!live(hwnd)) return 0;
    const HWND old = s.capture;
    s.capture = hwnd;
    if (old != hwnd && live(old)) SendMessage(old, WM_CAPTURECHANGED, 0, hwnd);
    return old;
}

bool ReleaseCapture() {
    State& s = state();
    const HWND old = s.capture;
    s.capture = 0;
    if (live(old)) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
    return true;
}

HWND GetCapture() { return state().capture; }

HWND SetActiveWindow(HWND hwnd) {
    State& s = state();
    Window* w = live(hwnd);
    if (!w) return 0;
    const HWND top = root(w)->id;
    const HWND old = s.active;
    if (old == top) return old;
    s.active = top;
    if (live(old)) SendMessage(old, WM_ACTIVATE, WA_INACTIVE, top);
    if (s.active == top) SendMessage(top, WM_ACTIVATE, WA_ACTIVE, old);
    return old;
}

HWND GetActiveWindow() { return state().active; }

bool SetForegroundWindow(HWND hwnd) { return live(hwnd) && (SetActiveWindow(hwnd), true); }

HWND GetForegroundWindow() { return state().active; }

namespace model {

bool standard_cursor(HCURSOR cursor) {
    return (cursor >= IDC_ARROW && cursor <= IDC_CROSS) || (cursor >= IDC_SIZENWSE && cursor <= IDC_SIZEALL) ||
           cursor == IDC_NO || cursor == IDC_HAND;
}

const CursorImage* cursor_image(HCURSOR cursor) {
    auto& cursors = state().cursors;
    auto it = cursors.find(cursor);
    return it == cursors.end() ? nullptr : &it->second;
}

}  // namespace model

HCURSOR LoadCursor(uint32_t id) { return standard_cursor(id) ? id : 0; }

HCURSOR CreateCursor(int32_t hot_x, int32_t hot_y, int32_t width, int32_t height, const uint32_t* argb) {
    constexpr int32_t kLargest = 256;
    if (!argb || width <= 0 || height <= 0 || width > kLargest || height > kLargest || hot_x < 0 || hot_y < 0 ||
        hot_x >= width || hot_y >= height)
        return 0;
    State& s = state();
    const HCURSOR id = s.next_cursor++;
    s.cursors[id] = CursorImage{hot_x, hot_y, width, height, std::vector<uint32_t>(argb, argb + width * height)};
    return id;
}

bool DestroyCursor(HCURSOR cursor) {
    State& s = state();
    if (!s.cursors.erase(cursor)) return false;
    if (s.cursor == cursor) s.cursor = 0;
    if (s.source && s.source->cursor_destroyed) s.source->cursor_destroyed(cursor);
    return true;
}

HCURSOR SetCursor(HCURSOR cursor) {
    State& s = state();
    // Ids are never reused, so one above the standard range that is not kept is stale.
    if (cursor && !standard_cursor(cursor) && !cursor_image(cursor)) return 0;
    const HCURSOR old = s.cursor;
    s.cursor = cursor;
    if (old != cursor && s.source && s.source->cursor) s.source->cursor(cursor);
    return old;
}

HCURSOR GetCursor() { return state().cursor; }

POINT cursor_position() { return state().cursor_pos; }

}  // namespace nuv::host::win
