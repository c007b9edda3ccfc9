// Each window's Cairo surface (the whole window rectangle: frame and client), its invalid
// region kept as a few rectangles, the frame drawn by the model (border, menu-bar strip,
// scroll bars), the window scroll bars' state, layered alpha, and the compositor: children over
// parents in z-order, each clipped to its parent's client and painted with its own alpha.
#include <algorithm>

#include "host/win/cairo_lib.h"
#include "host/win/model.h"

namespace nuv::host::win {

namespace {

constexpr int32_t kMaxSurfaceSide = 32767;
constexpr uint32_t kFrameColour = 0xFF7A7A7A;
constexpr uint32_t kStripColour = 0xFFF0F0F0;
constexpr uint32_t kArrowColour = 0xFFDADADA;
constexpr uint32_t kThumbColour = 0xFFC2C2C2;
constexpr uint32_t kGlyphColour = 0xFF606060;

bool empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

RECT unite(const RECT& a, const RECT& b) {
    if (empty(a)) return b;
    if (empty(b)) return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

bool contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

void set_colour(const CairoLib* c, cairo_t* cr, uint32_t argb) {
    c->set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                       (argb >> 24) / 255.0);
}

void fill(const CairoLib* c, cairo_t* cr, const RECT& r, uint32_t argb) {
    if (empty(r)) return;
    set_colour(c, cr, argb);
    c->rectangle(cr, r.left, r.top, r.width(), r.height());
    c->fill(cr);
}

// The bars' rectangles in window coordinates, inside the border, beside the client.
RECT bar_rect(const model::Window* w, int32_t bar) {
    RECT in = model::frame_insets(w);
    const int32_t width = w->rect.width(), height = w->rect.height();
    const int32_t size = model::scaled(kScrollBarSize, model::window_dpi(w));
    const int32_t v = (w->style & WS_VSCROLL) ? size : 0;
    const int32_t h = (w->style & WS_HSCROLL) ? size : 0;
    if (bar == SB_VERT)
        return v ? RECT{width - in.right - v, in.top, width - in.right, height - in.bottom - h} : RECT{};
    return h ? RECT{in.left, height - in.bottom - h, width - in.right - v, height - in.bottom} : RECT{};
}

// The arrows' length along a bar, and the thumb's span (empty when the page covers the range).
struct BarParts {
    int32_t start, end, arrow, thumb_from, thumb_to;
};

SCROLLINFO bar_info(const model::ScrollBar& b) {
    SCROLLINFO info;
    info.nMin = b.min;
    info.nMax = b.max;
    info.nPage = b.page;
    info.nPos = b.pos;
    return info;
}

BarParts bar_parts(const model::Window* w, int32_t bar) {
    RECT r = bar_rect(w, bar);
    BarParts p;
    p.start = bar == SB_VERT ? r.top : r.left;
    p.end = bar == SB_VERT ? r.bottom : r.right;
    const ScrollBarParts parts = scroll_bar_parts(p.end - p.start, model::scaled(kScrollBarSize, model::window_dpi(w)),
                                                  bar_info(w->bars[bar]));
    p.arrow = parts.arrow;
    p.thumb_from = p.start + parts.thumb_from;
    p.thumb_to = p.start + parts.thumb_to;
    return p;
}

void draw_frame(const CairoLib* c, model::Window* w) {
    if (!w->frame_dirty) return;
    w->frame_dirty = false;
    cairo_t* cr = c->create(w->surface);
    const int32_t width = w->rect.width(), height = w->rect.height();
    const bool menu = model::is_top_level(w) && w->menu != 0;
    RECT in = model::frame_insets(w);
    const int32_t b = in.left;
    fill(c, cr, RECT{0, 0, width, b}, kFrameColour);
    fill(c, cr, RECT{0, height - b, width, height}, kFrameColour);
    fill(c, cr, RECT{0, b, b, height - b}, kFrameColour);
    fill(c, cr, RECT{width - b, b, width, height - b}, kFrameColour);
    if (menu) fill(c, cr, RECT{b, b, width - b, in.top}, kStripColour);
    for (int32_t bar : {SB_HORZ, SB_VERT}) {
        RECT r = bar_rect(w, bar);
        if (empty(r)) continue;
        fill(c, cr, r, kStripColour);
        BarParts p = bar_parts(w, bar);
        auto along = [&](int32_t from, int32_t to) {
            return bar == SB_VERT ? RECT{r.left, from, r.right, to} : RECT{from, r.top, to, r.bottom};
        };
        const RECT near = along(p.start, p.start + p.arrow), far = along(p.end - p.arrow, p.end);
        fill(c, cr, near, kArrowColour);
        fill(c, cr, far, kArrowColour);
        draw_scroll_arrow(cr, near, bar == SB_VERT, false, kGlyphColour);
        draw_scroll_arrow(cr, far, bar == SB_VERT, true, kGlyphColour);
        if (p.thumb_to > p.thumb_from) fill(c, cr, along(p.thumb_from, p.thumb_to), kThumbColour);
    }
    // The corner between both bars.
    if ((w->style & WS_VSCROLL) && (w->style & WS_HSCROLL))
        fill(c, cr, RECT{bar_rect(w, SB_VERT).left, bar_rect(w, SB_HORZ).top, width - in.right, height - in.bottom},
             kStripColour);
    c->destroy(cr);
}

// A cairo_t whose origin is the client's top-left, clipped to the client.
cairo_t* client_dc(model::Window* w) {
    const CairoLib* c = cairo_lib();
    if (!c || !w->surface) return nullptr;
    cairo_t* cr = c->create(w->surface);
    if (c->status(cr) != CAIRO_STATUS_SUCCESS) {
        c->destroy(cr);
        return nullptr;
    }
    RECT client = model::client_in_window(w);
    c->translate(cr, client.left, client.top);
    c->rectangle(cr, 0, 0, client.width(), client.height());
    c->clip(cr);
    return cr;
}

RECT client_bounds(const model::Window* w) {
    RECT c = model::client_in_window(w);
    return RECT{0, 0, c.width(), c.height()};
}

// Paints the window (not its frame's absence of visibility: the caller decides) and its visible
// children at (x, y) of the target, within `clip` (target coordinates).
void compose_into(const CairoLib* c, cairo_t* cr, model::Window* w, int32_t x, int32_t y, const RECT& clip) {
    if (empty(clip) || !w->surface) return;
    draw_frame(c, w);
    c->save(cr);
    c->rectangle(cr, clip.left, clip.top, clip.width(), clip.height());
    c->clip(cr);
    c->set_source_surface(cr, w->surface, x, y);
    if (w->ex_style & WS_EX_LAYERED)
        c->paint_with_alpha(cr, w->alpha / 255.0);
    else
        c->paint(cr);
    c->restore(cr);
    RECT client = model::client_in_window(w);
    RECT inner = intersect(clip, RECT{x + client.left, y + client.top, x + client.right, y + client.bottom});
    for (size_t i = 0; i < w->children.size(); ++i) {
        model::Window* child = model::live(w->children[i]);
        if (!child || !(child->style & WS_VISIBLE)) continue;
        const int32_t cx = x + client.left + child->rect.left, cy = y + client.top + child->rect.top;
        compose_into(c, cr, child, cx, cy, intersect(inner, RECT{cx, cy, cx + child->rect.width(), cy + child->rect.height()}));
    }
}

}  // namespace

namespace model {

namespace {

bool covers(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

int64_t area(const RECT& r) { return int64_t(r.width()) * r.height(); }

// Joins the closest pairs (the least area added) until the bound holds. The bound keeps the
// search small: a subtraction leaves at most four pieces of each rectangle.
void keep_within_bound(std::vector<RECT>* rects) {
    while (rects->size() > Region::kMaxRects) {
        size_t best_i = 0, best_j = 1;
        int64_t best = INT64_MAX;
        for (size_t i = 0; i < rects->size(); ++i)
            for (size_t j = i + 1; j < rects->size(); ++j) {
                const RECT &a = (*rects)[i], &b = (*rects)[j];
                const int64_t added = area(unite(a, b)) - area(a) - area(b);
                if (added < best) best = added, best_i = i, best_j = j;
            }
        (*rects)[best_i] = unite((*rects)[best_i], (*rects)[best_j]);
        (*rects)[best_j] = rects->back();
        rects->pop_back();
    }
}

}  // namespace

RECT Region::bounds() const {
    RECT b{};
    for (const RECT& r : rects) b = unite(b, r);
    return b;
}

void Region::add(const RECT& r) {
    if (win::empty(r)) return;
    for (const RECT& have : rects)
        if (covers(have, r)) return;
    rects.erase(std::remove_if(rects.begin(), rects.end(), [&](const RECT& have) { return covers(r, have); }),
                rects.end());
    rects.push_back(r);
    keep_within_bound(&rects);
}

void Region::subtract(const RECT& r) {
    if (win::empty(r) || rects.empty()) return;
    static std::vector<RECT> kept;  // GUI thread only; its room is reused
    kept.clear();
    auto keep = [](const RECT& piece) {
        if (!win::empty(piece)) kept.push_back(piece);
    };
    for (const RECT& have : rects) {
        const RECT cut = intersect(have, r);
        if (win::empty(cut)) {
            kept.push_back(have);
            continue;
        }
        // What is left: the bands above and below the cut, then left and right of it.
        keep(RECT{have.left, have.top, have.right, cut.top});
        keep(RECT{have.left, cut.bottom, have.right, have.bottom});
        keep(RECT{have.left, cut.top, cut.left, cut.bottom});
        keep(RECT{cut.right, cut.top, have.right, cut.bottom});
    }
    rects.swap(kept);
    keep_within_bound(&rects);
}

bool make_surface(Window* w, int32_t width, int32_t height) {
    const CairoLib* c = cairo_lib();
    if (!c || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return false;
    cairo_surface_t* s = c->image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (c->surface_status(s) != CAIRO_STATUS_SUCCESS) {
        c->surface_destroy(s);
        return false;
    }
    if (w->surface) {
        cairo_t* cr = c->create(s);
        c->set_operator(cr, CAIRO_OPERATOR_SOURCE);
        c->set_source_surface(cr, w->surface, 0, 0);
        c->paint(cr);
        c->destroy(cr);
        c->surface_destroy(w->surface);
    }
    w->surface = s;
    w->frame_dirty = true;
    return true;
}

void free_surfaces(Window* w) {
    const CairoLib* c = cairo_lib();
    if (!c) return;
    if (w->surface) c->surface_destroy(w->surface);
    if (w->composed) c->surface_destroy(w->composed);
    w->surface = w->composed = nullptr;
}

void invalidate(Window* w, const RECT* client_rect, bool erase) {
    RECT all = client_bounds(w);
    RECT r = client_rect ? intersect(*client_rect, all) : all;
    if (empty(r)) return;
    w->invalid.add(r);
    w->erase = w->erase || erase;
    if (!w->unpainted) {
        w->unpainted = true;
        state().unpainted.push_back(w->id);
    }
}

void mark_composed_dirty(Window* w) { root(w)->composed_dirty = true; }

LRESULT paint_now(Window* w) {
    const HWND id = w->id;
    const uint32_t before = w->paints;
    LRESULT result = call(w, w->proc, WM_PAINT, 0, 0);
    // A procedure that never began painting would be asked again for ever.
    if ((w = live(id)) && w->paints == before) {
        w->invalid.clear();
        w->erase = false;
    }
    return result;
}

Window* window_needing_paint(HWND filter) {
    auto& list = state().unpainted;
    for (auto it = list.begin(); it != list.end();) {
        Window* w = live(*it);
        if (!w || w->invalid.empty()) {
            if (w) w->unpainted = false;
            it = list.erase(it);
            continue;
        }
        if (visible_chain(w) && (!filter || w->id == filter)) return w;
        ++it;
    }
    return nullptr;
}

bool erase_background(const Window* w, cairo_t* dc) {
    const CairoLib* c = cairo_lib();
    if (!c || !dc || !w->cls->info.background) return false;
    c->save(dc);
    c->set_operator(dc, CAIRO_OPERATOR_SOURCE);
    set_colour(c, dc, *w->cls->info.background);
    c->paint(dc);
    c->restore(dc);
    return true;
}

int32_t hit_test(const Window* w, POINT screen) {
    POINT o = screen_origin(w);
    POINT p{screen.x - o.x, screen.y - o.y};
    if (!contains(RECT{0, 0, w->rect.width(), w->rect.height()}, p)) return HTNOWHERE;
    if (contains(client_in_window(w), p)) return HTCLIENT;
    if (contains(bar_rect(w, SB_VERT), p)) return HTVSCROLL;
    if (contains(bar_rect(w, SB_HORZ), p)) return HTHSCROLL;
    RECT in = frame_insets(w);
    if (in.top > in.left && p.y >= in.left && p.y < in.top) return HTMENU;
    return HTBORDER;
}

void scroll_bar_click(Window* w, int32_t hit, POINT screen) {
    if (hit != HTVSCROLL && hit != HTHSCROLL) return;
    const int32_t bar = hit == HTVSCROLL ? SB_VERT : SB_HORZ;
    POINT o = screen_origin(w);
    const int32_t at = bar == SB_VERT ? screen.y - o.y : screen.x - o.x;
    BarParts p = bar_parts(w, bar);
    intptr_t request;
    if (at < p.start + p.arrow)
        request = SB_LINEUP;
    else if (at >= p.end - p.arrow)
        request = SB_LINEDOWN;
    else if (p.thumb_to > p.thumb_from && at < p.thumb_from)
        request = SB_PAGEUP;
    else if (p.thumb_to > p.thumb_from && at >= p.thumb_to)
        request = SB_PAGEDOWN;
    else if (p.thumb_to > p.thumb_from) {
        State& s = state();
        s.thumb_window = w->id;
        s.thumb_bar = bar;
        s.thumb_grip = at - p.thumb_from;
        w->bars[bar].track = w->bars[bar].pos;
        return;
    } else {
        return;
    }
    SendMessage(w->id, bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL, request, 0);
}

bool thumb_drag(uint32_t message, POINT screen) {
    State& s = state();
    Window* w = live(s.thumb_window);
    if (!w) {
        s.thumb_window = 0;
        return false;
    }
    const HWND id = w->id;
    const uint32_t scroll = s.thumb_bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
    ScrollBar& b = w->bars[s.thumb_bar];
    if (message == WM_MOUSEMOVE) {
        BarParts p = bar_parts(w, s.thumb_bar);
        POINT o = screen_origin(w);
        const int32_t at = (s.thumb_bar == SB_VERT ? screen.y - o.y : screen.x - o.x) - s.thumb_grip;
        b.track = scroll_bar_drag_pos(p.end - p.start,
                                      ScrollBarParts{p.arrow, p.thumb_from - p.start, p.thumb_to - p.start},
                                      bar_info(b), at - p.start);
        SendMessage(id, scroll, SB_THUMBTRACK | (intptr_t(b.track & 0xFFFF) << 16), 0);
        return true;
    }
    if (message == WM_LBUTTONUP) {
        s.thumb_window = 0;
        SendMessage(id, scroll, SB_THUMBPOSITION | (intptr_t(b.track & 0xFFFF) << 16), 0);
        SendMessage(id, scroll, SB_ENDSCROLL, 0);
        return true;
    }
    return message != WM_MOUSEWHEEL && message != WM_MOUSEHWHEEL;
}

}  // namespace model

using namespace model;

cairo_t* BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
    Window* w = live(hwnd);
    cairo_t* cr = w ? client_dc(w) : nullptr;
    if (!cr) return nullptr;
    const CairoLib* c = cairo_lib();
    draw_frame(c, w);
    // Clipped to the invalid rectangles (none left inside the client: to nothing).
    const RECT all = client_bounds(w);
    RECT r{};
    for (const RECT& invalid : w->invalid.rects) {
        const RECT part = intersect(invalid, all);
        if (empty(part)) continue;
        c->rectangle(cr, part.left, part.top, part.width(), part.height());
        r = unite(r, part);
    }
    if (empty(r)) c->rectangle(cr, 0, 0, 0, 0);
    c->clip(cr);
    const bool erase = w->erase;
    ++w->paints;
    w->invalid.clear();
    w->erase = false;
    paint->hdc = cr;
    paint->rcPaint = r;
    paint->fErase = erase && SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<intptr_t>(cr), 0) == 0;
    return cr;
}

bool EndPaint(HWND hwnd, const PAINTSTRUCT* paint) { return ReleaseDC(hwnd, paint->hdc); }

cairo_t* GetDC(HWND hwnd) {
    Window* w = live(hwnd);
    return w ? client_dc(w) : nullptr;
}

bool ReleaseDC(HWND hwnd, cairo_t* dc) {
    const CairoLib* c = cairo_lib();
    if (!c || !dc) return false;
    c->destroy(dc);
    if (Window* w = find(hwnd)) {
        c->surface_flush(w->surface);
        mark_composed_dirty(w);
    }
    return true;
}

bool InvalidateRect(HWND hwnd, const RECT* rect, bool erase) {
    Window* w = live(hwnd);
    if (!w) return false;
    invalidate(w, rect, erase);
    return true;
}

bool ValidateRect(HWND hwnd, const RECT* rect) {
    Window* w = live(hwnd);
    if (!w) return false;
    if (rect)
        w->invalid.subtract(*rect);
    else
        w->invalid.clear();
    if (w->invalid.empty()) w->erase = false;
    return true;
}

bool GetUpdateRect(HWND hwnd, RECT* rect) {
    const Window* w = find(hwnd);
    if (!w) return false;
    if (rect) *rect = w->invalid.bounds();
    return !w->invalid.empty();
}

bool UpdateWindow(HWND hwnd) {
    Window* w = live(hwnd);
    if (!w) return false;
    if (!w->invalid.empty()) paint_now(w);
    return true;
}

bool RedrawWindow(HWND hwnd, const RECT* rect, uint32_t flags) {
    Window* w = live(hwnd);
    if (!w) return false;
    if (flags & RDW_INVALIDATE) invalidate(w, rect, flags & RDW_ERASE);
    if (flags & RDW_VALIDATE) ValidateRect(hwnd, rect);
    if (flags & RDW_FRAME) {
        w->frame_dirty = true;
        mark_composed_dirty(w);
    }
    if (flags & RDW_ALLCHILDREN)
        for (HWND child : std::vector<HWND>(w->children)) RedrawWindow(child, nullptr, flags);
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) UpdateWindow(hwnd);
    return true;
}

// ---- Scroll bars

int32_t SetScrollInfo(HWND hwnd, int32_t bar, const SCROLLINFO* info, bool redraw) {
    Window* w = live(hwnd);
    if (!w || bar < SB_HORZ || bar > SB_CTL) return 0;
    ScrollBar& b = w->bars[bar];
    if (info->fMask & SIF_RANGE) {
        b.min = info->nMin;
        b.max = std::max(info->nMin, info->nMax);
    }
    if (info->fMask & SIF_PAGE) b.page = info->nPage;
    if (info->fMask & SIF_POS) b.pos = info->nPos;
    const int64_t length = int64_t(b.max) - b.min + 1;
    b.page = static_cast<uint32_t>(std::min<int64_t>(b.page, length));
    const int64_t top = int64_t(b.max) - std::max<int64_t>(int64_t(b.page) - 1, 0);
    b.pos = static_cast<int32_t>(std::clamp<int64_t>(b.pos, b.min, top));
    if (bar == SB_CTL) {
        // The scroll-bar control draws its bar in its client.
        if (redraw) invalidate(w, nullptr, false);
        return b.pos;
    }
    w->frame_dirty = true;
    if (redraw) mark_composed_dirty(w);
    return b.pos;
}

bool GetScrollInfo(HWND hwnd, int32_t bar, SCROLLINFO* info) {
    const Window* w = find(hwnd);
    if (!w || bar < SB_HORZ || bar > SB_CTL) return false;
    const ScrollBar& b = w->bars[bar];
    if (info->fMask & SIF_RANGE) info->nMin = b.min, info->nMax = b.max;
    if (info->fMask & SIF_PAGE) info->nPage = b.page;
    if (info->fMask & SIF_POS) info->nPos = b.pos;
    if (info->fMask & SIF_TRACKPOS) info->nTrackPos = b.track;
    return true;
}

bool set_scroll_track(HWND hwnd, int32_t bar, int32_t track) {
    Window* w = live(hwnd);
    if (!w || bar < SB_HORZ || bar > SB_CTL) return false;
    ScrollBar& b = w->bars[bar];
    b.track = std::clamp(track, b.min, b.max);
    return true;
}

void draw_scroll_arrow(cairo_t* cr, const RECT& box, bool vertical, bool far, uint32_t argb) {
    const CairoLib* c = cairo_lib();
    if (!c || !cr || empty(box)) return;
    const double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
    const double s = std::min(box.width(), box.height()) / 4.0, d = far ? 1 : -1;
    set_colour(c, cr, argb);
    c->new_path(cr);
    if (vertical) {
        c->move_to(cr, cx - s, cy - d * s / 2);
        c->line_to(cr, cx + s, cy - d * s / 2);
        c->line_to(cr, cx, cy + d * s / 2);
    } else {
        c->move_to(cr, cx - d * s / 2, cy - s);
        c->line_to(cr, cx - d * s / 2, cy + s);
        c->line_to(cr, cx + d * s / 2, cy);
    }
    c->close_path(cr);
    c->fill(cr);
}

ScrollBarParts scroll_bar_parts(int32_t length, int32_t arrow, const SCROLLINFO& info) {
    ScrollBarParts p;
    p.arrow = std::max(0, std::min(arrow, length / 2));
    const int64_t range = int64_t(info.nMax) - info.nMin + 1;
    const int32_t track = length - 2 * p.arrow;
    if (info.nPage > 0 && range > info.nPage && track > 0) {
        const int32_t thumb = std::max<int32_t>(int32_t(track * int64_t(info.nPage) / range), std::min(8, track));
        const int64_t span = range - info.nPage;
        p.thumb_from = p.arrow + int32_t((track - thumb) * (int64_t(info.nPos) - info.nMin) / span);
        p.thumb_to = p.thumb_from + thumb;
    }
    return p;
}

int32_t scroll_bar_drag_pos(int32_t length, const ScrollBarParts& p, const SCROLLINFO& info, int32_t at) {
    const int32_t room = (length - 2 * p.arrow) - (p.thumb_to - p.thumb_from);
    const int64_t span = int64_t(info.nMax) - info.nMin + 1 - info.nPage;
    const int64_t pos = room > 0 ? info.nMin + (int64_t(at) - p.arrow) * span / room : info.nMin;
    const int64_t last = int64_t(info.nMax) - std::max<int64_t>(int64_t(info.nPage) - 1, 0);
    const int64_t top = std::max<int64_t>(info.nMin, last);
    return static_cast<int32_t>(std::clamp<int64_t>(pos, info.nMin, top));
}

bool ShowScrollBar(HWND hwnd, int32_t bar, bool show) {
    Window* w = live(hwnd);
    if (!w) return false;
    if (bar == SB_CTL) return ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE), true;
    uint32_t bits = bar == SB_HORZ ? WS_HSCROLL : bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL | WS_VSCROLL;
    const uint32_t style = show ? w->style | bits : w->style & ~bits;
    if (style == w->style) return true;
    w->style = style;
    return SetWindowPos(hwnd, 0, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Layered windows and composing

bool SetLayeredWindowAttributes(HWND hwnd, uint32_t, uint8_t alpha, uint32_t flags) {
    Window* w = live(hwnd);
    if (!w || !(w->ex_style & WS_EX_LAYERED)) return false;
    if (flags & LWA_ALPHA) w->alpha = alpha;
    mark_composed_dirty(w);
    return true;
}

bool GetLayeredWindowAttributes(HWND hwnd, uint8_t* alpha) {
    const Window* w = find(hwnd);
    if (!w || !(w->ex_style & WS_EX_LAYERED)) return false;
    *alpha = w->alpha;
    return true;
}

bool PrintWindow(HWND hwnd, cairo_t* target, uint32_t) {
    Window* w = live(hwnd);
    const CairoLib* c = cairo_lib();
    if (!w || !c || !target) return false;
    compose_into(c, target, w, 0, 0, RECT{0, 0, w->rect.width(), w->rect.height()});
    return true;
}

bool frame_dirty(HWND top) {
    const Window* w = live(top);
    return w && w->composed_dirty;
}

bool compose_frame(HWND top, Frame* frame) {
    Window* w = live(top);
    const CairoLib* c = cairo_lib();
    if (!w || !c || !is_top_level(w)) return false;
    const int32_t width = w->rect.width(), height = w->rect.height();
    if (!w->composed || c->image_surface_get_width(w->composed) != width ||
        c->image_surface_get_height(w->composed) != height) {
        cairo_surface_t* s = c->image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        if (c->surface_status(s) != CAIRO_STATUS_SUCCESS) {
            c->surface_destroy(s);
            return false;
        }
        if (w->composed) c->surface_destroy(w->composed);
        w->composed = s;
    }
    cairo_t* cr = c->create(w->composed);
    c->set_operator(cr, CAIRO_OPERATOR_CLEAR);
    c->paint(cr);
    c->set_operator(cr, CAIRO_OPERATOR_OVER);
    compose_into(c, cr, w, 0, 0, RECT{0, 0, width, height});
    c->destroy(cr);
    c->surface_flush(w->composed);
    frame->pixels = c->image_surface_get_data(w->composed);
    frame->width = width;
    frame->height = height;
    frame->stride = c->image_surface_get_stride(w->composed);
    w->composed_dirty = false;
    return true;
}

}  // namespace nuv::host::win
