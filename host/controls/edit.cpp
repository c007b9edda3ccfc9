// The "EDIT" control. Each control keeps its text, selection and a table of its shown lines (a
// line's first unit, its end before the break, and where the next line starts); a change lays
// out again only the lines of the text it touched and shifts the rest, so typing into a long
// text costs the touched line, not the text. Offsets inside count UTF-16 units; the messages
// count characters, converted through the sorted starts of the text's surrogate pairs (a text
// without any converts as it is). Widths come from the DC's text engine with the control's
// font; tabs advance to the control's stops.
#include "host/controls/edit.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/clipboard.h"
#include "host/controls/controls.h"
#include "host/gfx/fonts.h"
#include "host/utf.h"
#include "host/win/cairo_lib.h"
#include "host/win/keys.h"
#include "host/win/sdl_source.h"
#include "host/win/window.h"

namespace nuv::host::controls {

using namespace nuv::host::win;

namespace {

constexpr int32_t kMarginX = 2;  // between the client's sides and the text
constexpr int32_t kMarginY = 1;
constexpr uintptr_t kBlinkTimer = 0x45444954;
constexpr uint32_t kBlinkMs = 530;
constexpr int32_t kWheelLines = 3;
constexpr int32_t kDefaultTabDialogUnits = 32;

struct Line {
    int32_t start = 0, end = 0, next = 0;  // end: after the last shown unit; next: the next line's start
    int32_t width = -1;                    // in pixels; -1: not measured yet
};

struct Edit {
    HWND hwnd = 0;
    std::u16string text;
    std::vector<int32_t> pairs;  // the first unit of each surrogate pair of the text, ascending
    int32_t anchor = 0, caret = 0;
    int32_t limit = kEditDefaultLimit;
    char16_t password = 0;
    std::u16string mask;  // `password` repeated, as long as the longest text shown masked
    std::u16string cue;
    bool cue_focused = false;
    std::vector<int32_t> tab_units;  // dialog units, ascending; empty: every 32
    FontSlot font;
    bool metrics = false;  // line_height and char_width are the font's
    int32_t line_height = 16, char_width = 7;
    std::vector<Line> lines{Line{}};
    int32_t top = 0;       // first line shown
    int32_t scroll_x = 0;  // pixels of the lines scrolled out on the left
    int32_t goal_x = -1;   // the x that up and down keep, -1: the caret's
    int32_t wrap_width = 0;
    bool focused = false, caret_shown = false, dragging = false;
    SCROLLINFO shown_bars[2];  // last set, to skip unchanged updates
};

EditCounters g_counters;

StateTable<Edit>& edits() {
    static auto* table = new StateTable<Edit>;
    return *table;
}

uint32_t style_of(const Edit& e) { return static_cast<uint32_t>(GetWindowLong(e.hwnd, GWL_STYLE)); }
bool multiline(const Edit& e) { return style_of(e) & ES_MULTILINE; }
bool wraps(const Edit& e) {
    const uint32_t s = style_of(e);
    return (s & ES_MULTILINE) && !(s & ES_AUTOHSCROLL);
}
bool masked(const Edit& e) { return e.password && !multiline(e); }
int32_t length(const Edit& e) { return static_cast<int32_t>(e.text.size()); }

// ---- Units: a CR LF and a surrogate pair are each one step of the caret

bool is_high(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool is_low(char16_t c) { return c >= 0xDC00 && c < 0xE000; }
bool is_space(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool inside_pair(std::u16string_view t, int32_t at) {
    if (at <= 0 || at >= static_cast<int32_t>(t.size())) return false;
    return (t[at - 1] == u'\r' && t[at] == u'\n') || (is_high(t[at - 1]) && is_low(t[at]));
}
// An offset clamped into the text and moved off the middle of a pair.
int32_t snap(std::u16string_view t, int64_t at) {
    int32_t n = static_cast<int32_t>(t.size());
    int32_t p = at < 0 ? 0 : at > n ? n : static_cast<int32_t>(at);
    return inside_pair(t, p) ? p - 1 : p;
}
int32_t next_unit(std::u16string_view t, int32_t at) {
    const int32_t n = static_cast<int32_t>(t.size());
    if (at >= n) return n;
    return inside_pair(t, at + 1) ? at + 2 : at + 1;
}
int32_t prev_unit(std::u16string_view t, int32_t at) {
    if (at <= 0) return 0;
    return inside_pair(t, at - 1) ? at - 2 : at - 1;
}

// ---- Characters: a surrogate pair is one, a CR LF two

// Where the surrogate pairs of t start among the offsets [from, to): answers their count and
// writes them to `out` when given.
size_t scan_pairs(std::u16string_view t, int32_t from, int32_t to, int32_t* out = nullptr) {
    g_counters.units_scanned += static_cast<uint64_t>(std::max(0, to - from));
    size_t n = 0;
    for (int32_t i = from; i < to; ++i)
        if (i + 1 < static_cast<int32_t>(t.size()) && is_high(t[i]) && is_low(t[i + 1])) {
            if (out) out[n] = i;
            ++n;
            ++i;
        }
    return n;
}

// The text's units [a, b) became [a, new_end): the pairs there (and one that may join across
// a) are found again, those after shifted.
void update_pairs(Edit& e, int32_t a, int32_t b, int32_t new_end) {
    std::vector<int32_t>& p = e.pairs;
    const int32_t from = std::max(0, a - 1);
    const size_t i = static_cast<size_t>(std::lower_bound(p.begin(), p.end(), from) - p.begin());
    const size_t j = static_cast<size_t>(std::lower_bound(p.begin() + i, p.end(), b) - p.begin());
    const size_t m = scan_pairs(e.text, from, new_end);
    if (m > j - i) p.insert(p.begin() + j, m - (j - i), 0);
    else p.erase(p.begin() + i + m, p.begin() + j);
    scan_pairs(e.text, from, new_end, p.data() + i);
    for (size_t k = i + m; k < p.size(); ++k) p[k] += new_end - b;
}

int32_t chars(const Edit& e) { return length(e) - static_cast<int32_t>(e.pairs.size()); }

// The characters before a unit offset that is not inside a pair.
int32_t char_of(const Edit& e, int32_t at) {
    return at - static_cast<int32_t>(std::lower_bound(e.pairs.begin(), e.pairs.end(), at - 1) - e.pairs.begin());
}

// The unit offset of a character offset, clamped into the text.
int32_t unit_of(const Edit& e, int64_t at) {
    if (at <= 0) return 0;
    if (at >= chars(e)) return length(e);
    // The pairs before character `at` are those whose start less their index is below it.
    size_t lo = 0, hi = e.pairs.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (e.pairs[mid] - static_cast<int64_t>(mid) < at) lo = mid + 1;
        else hi = mid;
    }
    return static_cast<int32_t>(at + static_cast<int64_t>(lo));
}

int32_t word_left(std::u16string_view t, int32_t at) {
    while (at > 0 && is_space(t[at - 1])) --at;
    while (at > 0 && !is_space(t[at - 1])) --at;
    return snap(t, at);
}
int32_t word_right(std::u16string_view t, int32_t at) {
    const int32_t n = static_cast<int32_t>(t.size());
    while (at < n && !is_space(t[at])) ++at;
    while (at < n && is_space(t[at])) ++at;
    return snap(t, at);
}

// ---- Measuring

// A DC on the control with its font, made on the first need. It keeps no reference to the
// control's state, which a notification sent while it lives may destroy.
class Dc {
public:
    explicit Dc(const Edit& e) : hwnd_(e.hwnd), font_(e.font.get()) {}
    // Borrows a DC already set up (painting).
    Dc(const Edit& e, cairo_t* dc) : hwnd_(e.hwnd), dc_(dc), own_(false) {}
    Dc(const Dc&) = delete;
    Dc& operator=(const Dc&) = delete;
    ~Dc() {
        if (dc_ && own_) ReleaseDC(hwnd_, dc_);
    }
    cairo_t* get() {
        if (!dc_ && own_) {
            own_ = false;
            dc_ = GetDC(hwnd_);
            if (dc_) {
                own_ = true;
                gfx::SelectObject(dc_, font_);
            }
        }
        return dc_;
    }

private:
    HWND hwnd_;
    HFONT font_ = 0;
    cairo_t* dc_ = nullptr;
    bool own_ = true;  // until tried: may make one; after: made one to release
};

void ensure_metrics(Edit& e, Dc& dc) {
    if (e.metrics) return;
    gfx::TEXTMETRIC tm;
    if (cairo_t* c = dc.get(); c && gfx::GetTextMetrics(c, &tm)) {
        e.line_height = std::max(1, tm.tmHeight);
        e.char_width = std::max(1, tm.tmAveCharWidth);
        e.metrics = true;
    }
}

int32_t text_width(Dc& dc, std::u16string_view s) {
    if (s.empty()) return 0;
    g_counters.units_measured += s.size();
    cairo_t* c = dc.get();
    gfx::SIZE size;
    return c && gfx::GetTextExtentPoint32(c, s, &size) ? size.cx : 0;
}

// The x of the tab stop after x (pixels from the line's start).
int32_t next_tab(const Edit& e, int32_t x) {
    auto px = [&](int32_t units) { return std::max(1, units * e.char_width / 4); };
    const size_t n = e.tab_units.size();
    if (n >= 2)
        for (int32_t stop : e.tab_units)
            if (px(stop) > x) return px(stop);
    int32_t step = px(n == 0 ? kDefaultTabDialogUnits : n == 1 ? e.tab_units[0] : e.tab_units[n - 1] - e.tab_units[n - 2]);
    int32_t base = n >= 2 ? px(e.tab_units[n - 1]) : 0;
    return x < base ? base : base + ((x - base) / step + 1) * step;
}

// Units from..to as shown: masked, one shown character for each character.
std::u16string_view shown(Edit& e, int32_t from, int32_t to) {
    if (!masked(e)) return std::u16string_view(e.text).substr(from, to - from);
    const size_t n = static_cast<size_t>(std::max(0, char_of(e, to) - char_of(e, from)));
    if (e.mask.size() < n) e.mask.assign(e.text.size(), e.password);
    return std::u16string_view(e.mask).substr(0, n);
}

// Runs over the units from..to of one line: answers the x reached from 0 at `from`; when
// `at` is given, draws each stretch between tabs there.
int32_t run(Edit& e, Dc& dc, int32_t from, int32_t to, const POINT* at = nullptr) {
    if (masked(e) || from >= to) {
        std::u16string_view s = shown(e, from, to);
        if (at && !s.empty()) {
            RECT r{at->x, at->y, at->x + 0x3FFFFFFF, at->y + e.line_height};
            gfx::DrawText(dc.get(), s, &r, gfx::DT_SINGLELINE | gfx::DT_NOPREFIX | gfx::DT_NOCLIP);
        }
        return text_width(dc, s);
    }
    std::u16string_view t(e.text);
    int32_t x = 0;
    for (int32_t a = from; a < to;) {
        int32_t tab = static_cast<int32_t>(t.substr(0, to).find(u'\t', a));
        const int32_t stop = tab < 0 ? to : tab;
        std::u16string_view part = t.substr(a, stop - a);
        if (at && !part.empty()) {
            RECT r{at->x + x, at->y, at->x + 0x3FFFFFFF, at->y + e.line_height};
            gfx::DrawText(dc.get(), part, &r, gfx::DT_SINGLELINE | gfx::DT_NOPREFIX | gfx::DT_NOCLIP);
        }
        x += text_width(dc, part);
        if (tab < 0) break;
        x = next_tab(e, x);
        a = tab + 1;
    }
    return x;
}

// The last offset in from..to whose x from `from` is at most `room` (at least one unit past
// from when that unit alone is wider). Gallops, then halves: the cost follows the answer's
// length, not the line's.
int32_t fit(Edit& e, Dc& dc, int32_t from, int32_t to, int32_t room) {
    std::u16string_view t(e.text);
    int32_t good = from, bad = -1;
    for (int32_t step = std::max(8, 2 * room / std::max(1, e.char_width));; step *= 2) {
        const int32_t probe = snap(t, std::min<int64_t>(to, static_cast<int64_t>(good) + step));
        if (probe <= good) break;
        if (run(e, dc, from, probe) <= room) {
            good = probe;
            if (probe == to) return to;
        } else {
            bad = probe;
            break;
        }
    }
    while (bad > 0) {
        const int32_t mid = snap(t, good + (bad - good) / 2);
        if (mid <= good) break;
        if (run(e, dc, from, mid) <= room) good = mid;
        else bad = mid;
    }
    return good > from ? good : next_unit(t, from);
}

// ---- The line table

int32_t wrap_room(Edit& e) {
    RECT rc;
    GetClientRect(e.hwnd, &rc);
    return rc.width() - 2 * kMarginX;
}

// Appends the lines of text[from, to), whose last line is followed by `tail` (its next start).
void lay_region(Edit& e, Dc& dc, int32_t from, int32_t to, int32_t tail, std::vector<Line>* out) {
    std::u16string_view t(e.text);
    const bool wrap = wraps(e) && e.wrap_width > 0;
    for (int32_t s = from;;) {
        int32_t brk = static_cast<int32_t>(t.substr(0, to).find(u"\r\n", s));
        const int32_t end = brk < 0 ? to : brk;
        const int32_t next = brk < 0 ? tail : brk + 2;
        int32_t a = s;
        if (wrap) {
            while (a < end) {
                int32_t k = fit(e, dc, a, end, e.wrap_width);
                if (k >= end) break;
                if (t[k] == u' ') {
                    while (k < end && t[k] == u' ') ++k;
                } else {
                    int32_t b = k;
                    while (b > a && t[b - 1] != u' ') --b;
                    if (b > a) k = b;
                }
                if (k >= end) break;
                out->push_back(Line{a, k, k});
                ++g_counters.lines_laid;
                a = k;
            }
        }
        out->push_back(Line{a, end, next});
        ++g_counters.lines_laid;
        if (brk < 0) return;
        s = next;
    }
}

void layout_all(Edit& e, Dc& dc) {
    ensure_metrics(e, dc);
    e.wrap_width = wraps(e) ? wrap_room(e) : 0;
    e.lines.clear();
    if (!multiline(e)) e.lines.push_back(Line{0, length(e), length(e)});
    else lay_region(e, dc, 0, length(e), length(e), &e.lines);
}

int32_t line_of(const Edit& e, int32_t at) {
    auto it = std::upper_bound(e.lines.begin(), e.lines.end(), at,
                               [](int32_t v, const Line& l) { return v < l.start; });
    return std::max<int32_t>(0, static_cast<int32_t>(it - e.lines.begin()) - 1);
}

// The text's units [a, old_end) became [a, new_end): the lines of the touched hard lines are
// laid out again, those after them shifted.
void relayout(Edit& e, Dc& dc, int32_t a, int32_t old_end, int32_t new_end) {
    if (!multiline(e)) {
        e.lines.assign(1, Line{0, length(e), length(e)});
        return;
    }
    const int32_t delta = new_end - old_end;
    auto& lines = e.lines;
    int32_t first = line_of(e, a);
    while (first > 0 && lines[first - 1].end == lines[first - 1].next) --first;
    int32_t last = line_of(e, old_end);
    while (last + 1 < static_cast<int32_t>(lines.size()) && lines[last].end == lines[last].next) ++last;
    const int32_t from = lines[first].start;
    const int32_t to = std::max(lines[last].end, old_end) + delta;
    const bool at_end = last + 1 == static_cast<int32_t>(lines.size());
    const int32_t tail = at_end ? length(e) : lines[last].next + delta;
    std::vector<Line> fresh;
    lay_region(e, dc, from, to, tail, &fresh);
    for (size_t i = last + 1; i < lines.size(); ++i) {
        lines[i].start += delta;
        lines[i].end += delta;
        lines[i].next += delta;
    }
    lines.erase(lines.begin() + first, lines.begin() + last + 1);
    lines.insert(lines.begin() + first, fresh.begin(), fresh.end());
}

int32_t line_width(Edit& e, Dc& dc, int32_t i) {
    Line& l = e.lines[i];
    if (l.width < 0) l.width = run(e, dc, l.start, l.end);
    return l.width;
}

// ---- Geometry

struct Area {
    int32_t left, top, width, rows;
};
Area area(Edit& e) {
    RECT rc;
    GetClientRect(e.hwnd, &rc);
    return Area{kMarginX, kMarginY, std::max(0, rc.width() - 2 * kMarginX),
                std::max(1, (rc.height() - kMarginY) / std::max(1, e.line_height))};
}

int32_t align_offset(Edit& e, Dc& dc, int32_t line, const Area& a) {
    const uint32_t s = style_of(e) & (ES_CENTER | ES_RIGHT);
    if (!s) return 0;
    const int32_t spare = a.width - line_width(e, dc, line);
    if (spare <= 0) return 0;
    return s == ES_CENTER ? spare / 2 : spare;
}

// The caret's place in client coordinates.
POINT caret_point(Edit& e, Dc& dc) {
    const Area a = area(e);
    const int32_t i = line_of(e, e.caret);
    const int32_t x = run(e, dc, e.lines[i].start, e.caret);
    return POINT{a.left + align_offset(e, dc, i, a) + x - e.scroll_x, a.top + (i - e.top) * e.line_height};
}

// The offset nearest a point of the client area (lines above or below count as the first or
// last shown, and beyond).
int32_t offset_at(Edit& e, Dc& dc, POINT p) {
    const Area a = area(e);
    const int32_t dy = p.y - a.top;
    int64_t row = e.top + (dy < 0 ? -1 - (-dy - 1) / e.line_height : dy / e.line_height);
    const int32_t i = static_cast<int32_t>(std::clamp<int64_t>(row, 0, static_cast<int64_t>(e.lines.size()) - 1));
    const Line& l = e.lines[i];
    const int32_t x = p.x - a.left - align_offset(e, dc, i, a) + e.scroll_x;
    if (x <= 0) return l.start;
    const int32_t k = fit(e, dc, l.start, l.end, x);
    if (k <= l.start || run(e, dc, l.start, k) > x) return l.start;  // the first unit is wider than x
    if (k >= l.end) return l.end;
    const int32_t next = next_unit(e.text, k);
    const int32_t left = run(e, dc, l.start, k), right = run(e, dc, l.start, std::min(next, l.end));
    return x - left <= right - x ? k : std::min(next, l.end);
}

// ---- Scrolling

// The widest line and a pixel for the caret after it; 0 when the lines wrap.
int32_t content_width(Edit& e, Dc& dc) {
    if (wraps(e)) return 0;
    int32_t widest = 0;
    for (int32_t i = 0; i < static_cast<int32_t>(e.lines.size()); ++i) widest = std::max(widest, line_width(e, dc, i));
    return widest + 1;
}

void update_bars(Edit& e, Dc& dc) {
    const uint32_t style = style_of(e);
    const Area a = area(e);
    for (int32_t bar : {SB_HORZ, SB_VERT}) {
        if (!(style & (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL))) continue;
        SCROLLINFO si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        if (bar == SB_VERT) {
            si.nMax = static_cast<int32_t>(e.lines.size()) - 1;
            si.nPage = static_cast<uint32_t>(a.rows);
            si.nPos = e.top;
        } else {
            si.nMax = std::max(0, content_width(e, dc) - 1);
            si.nPage = static_cast<uint32_t>(a.width);
            si.nPos = e.scroll_x;
        }
        SCROLLINFO& last = e.shown_bars[bar];
        if (last.fMask && last.nMax == si.nMax && last.nPage == si.nPage && last.nPos == si.nPos) continue;
        last = si;
        SetScrollInfo(e.hwnd, bar, &si, true);
    }
}

void scroll_to(Edit& e, Dc& dc, int32_t top, int32_t x) {
    const Area a = area(e);
    const int32_t most = std::max<int32_t>(0, static_cast<int32_t>(e.lines.size()) - a.rows);
    top = multiline(e) ? std::clamp(top, 0, most) : 0;
    x = std::max(0, x);
    if (x > e.scroll_x) x = std::min(x, std::max(e.scroll_x, content_width(e, dc) - a.width));
    if (top != e.top || x != e.scroll_x) {
        e.top = top;
        e.scroll_x = x;
        InvalidateRect(e.hwnd, nullptr, false);
    }
    update_bars(e, dc);
}

void place_caret(Edit& e, Dc& dc) {
    if (!e.focused) return;
    const POINT p = caret_point(e, dc);
    SetCaretPos(p.x, p.y);
}

// Scrolls the caret into view, then moves the model's caret there.
void show_caret(Edit& e, Dc& dc) {
    ensure_metrics(e, dc);
    const Area a = area(e);
    const int32_t i = line_of(e, e.caret);
    int32_t top = e.top;
    if (multiline(e)) {
        if (i < top) top = i;
        else if (i >= top + a.rows) top = i - a.rows + 1;
    }
    int32_t x = e.scroll_x;
    if (!wraps(e)) {
        const int32_t cx = align_offset(e, dc, i, a) + run(e, dc, e.lines[i].start, e.caret);
        if (cx < x) x = std::max(0, cx - a.width / 3);
        else if (cx >= x + a.width) x = cx - a.width + 1 + a.width / 3;
    }
    scroll_to(e, dc, top, x);
    place_caret(e, dc);
}

// ---- Changes

// The whole text laid out anew (its font, tab stops or shown characters changed), the caret
// kept in view.
void lay_out_again(Edit& e) {
    Dc dc(e);
    layout_all(e, dc);
    InvalidateRect(e.hwnd, nullptr, false);
    show_caret(e, dc);
}

// The part of `add` that fits under the limit (in characters) when it replaces the units [a, b);
// it never ends inside a pair or a CR LF.
std::u16string_view within_limit(const Edit& e, int32_t a, int32_t b, std::u16string_view add) {
    const int64_t room = static_cast<int64_t>(e.limit) - (chars(e) - (char_of(e, b) - char_of(e, a)));
    if (room <= 0) return {};
    if (static_cast<int64_t>(add.size()) <= room) return add;
    const int32_t n = static_cast<int32_t>(add.size());
    int32_t k = 0;
    for (int64_t taken = 0; k < n && taken < room; ++taken) k += k + 1 < n && is_high(add[k]) && is_low(add[k + 1]) ? 2 : 1;
    g_counters.units_scanned += static_cast<uint64_t>(k);
    return add.substr(0, snap(add, k));
}

// Replaces text[a, b) with `add`, the caret after it; sends EN_CHANGE. False when the control
// did not survive the notification.
bool replace(Edit& e, int32_t a, int32_t b, std::u16string_view add) {
    if (a == b && add.empty()) return true;
    Dc dc(e);
    e.text.replace(a, b - a, add);
    update_pairs(e, a, b, a + static_cast<int32_t>(add.size()));
    if (masked(e) && e.mask.size() < e.text.size()) e.mask.assign(e.text.size(), e.password);
    relayout(e, dc, a, b, a + static_cast<int32_t>(add.size()));
    e.anchor = e.caret = a + static_cast<int32_t>(add.size());
    e.goal_x = -1;
    InvalidateRect(e.hwnd, nullptr, false);
    show_caret(e, dc);
    return notify_command(e.hwnd, EN_CHANGE);
}

// The user's change of the selection to `add`, cut to the limit; false when the control did
// not survive it.
bool type_over(Edit& e, std::u16string_view add) {
    const int32_t a = std::min(e.anchor, e.caret), b = std::max(e.anchor, e.caret);
    std::u16string_view fits = within_limit(e, a, b, add);
    if (fits.empty() && !add.empty()) return true;
    return replace(e, a, b, fits);
}

void select(Edit& e, int32_t anchor, int32_t caret) {
    anchor = snap(e.text, anchor);
    caret = snap(e.text, caret);
    if (anchor == e.anchor && caret == e.caret) return;
    e.anchor = anchor;
    e.caret = caret;
    InvalidateRect(e.hwnd, nullptr, false);
    Dc dc(e);
    show_caret(e, dc);
}

// A move of the caret by the keys: with Shift the anchor stays.
void move_to(Edit& e, int32_t to, bool extend, bool keep_goal = false) {
    if (!keep_goal) e.goal_x = -1;
    select(e, extend ? e.anchor : to, to);
}

// Pasted text as the control stores it: every line break CR LF in a multi-line control, the
// first line alone in a single-line one.
std::u16string pasted(const Edit& e, std::u16string_view in) {
    if (!multiline(e)) return std::u16string(in.substr(0, std::min(in.find(u'\r'), in.find(u'\n'))));
    std::u16string out;
    out.reserve(in.size() + in.size() / 16);
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == u'\r' || in[i] == u'\n') {
            if (in[i] == u'\r' && i + 1 < in.size() && in[i + 1] == u'\n') ++i;
            out += u"\r\n";
        } else {
            out += in[i];
        }
    }
    return out;
}

// Copies the selection with LF line breaks, as the desktop's other programs keep text.
bool copy(Edit& e) {
    const int32_t a = std::min(e.anchor, e.caret), b = std::max(e.anchor, e.caret);
    if (a == b || masked(e)) return false;  // a password never leaves the control
    std::u16string_view part = std::u16string_view(e.text).substr(a, b - a);
    std::u16string plain;
    plain.reserve(part.size());
    for (size_t i = 0; i < part.size(); ++i)
        if (!(part[i] == u'\r' && i + 1 < part.size() && part[i + 1] == u'\n')) plain += part[i];
    return clipboard::write_text(utf8_of(plain));
}

bool paste(Edit& e) {
    std::string got;
    if (!clipboard::read_text(&got) || got.empty()) return true;
    return type_over(e, pasted(e, utf16_of(got)));
}

// ---- Input

bool key_down(int vk) { return GetKeyState(vk) & 0x8000; }

void on_key(Edit& e, uint32_t vk) {
    const bool shift = key_down(VK_SHIFT), ctrl = key_down(VK_CONTROL);
    const std::u16string_view t(e.text);
    const int32_t lo = std::min(e.anchor, e.caret), hi = std::max(e.anchor, e.caret);
    const Line& line = e.lines[line_of(e, e.caret)];
    switch (vk) {
    case VK_LEFT:
        if (lo != hi && !shift) return move_to(e, lo, false);
        return move_to(e, ctrl ? word_left(t, e.caret) : prev_unit(t, e.caret), shift);
    case VK_RIGHT:
        if (lo != hi && !shift) return move_to(e, hi, false);
        return move_to(e, ctrl ? word_right(t, e.caret) : next_unit(t, e.caret), shift);
    case VK_HOME: return move_to(e, ctrl || !multiline(e) ? 0 : line.start, shift);
    case VK_END: {
        if (ctrl || !multiline(e)) return move_to(e, length(e), shift);
        // A wrapped line's end is the next line's start: stop before its last unit instead.
        const bool wrapped = line.end == line.next && line.end < length(e);
        return move_to(e, wrapped ? prev_unit(t, line.end) : line.end, shift);
    }
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT: {
        if (!multiline(e)) return;
        Dc dc(e);
        ensure_metrics(e, dc);
        const int32_t rows = vk == VK_PRIOR || vk == VK_NEXT ? area(e).rows : 1;
        const int32_t by = vk == VK_UP || vk == VK_PRIOR ? -rows : rows;
        POINT p = caret_point(e, dc);
        if (e.goal_x < 0) e.goal_x = p.x + e.scroll_x;
        const int32_t to_line = std::clamp<int32_t>(line_of(e, e.caret) + by, 0, static_cast<int32_t>(e.lines.size()) - 1);
        const int32_t to = offset_at(e, dc, POINT{e.goal_x - e.scroll_x, area(e).top + (to_line - e.top) * e.line_height});
        if (vk == VK_PRIOR || vk == VK_NEXT) scroll_to(e, dc, e.top + by, e.scroll_x);
        return move_to(e, to, shift, true);
    }
    case VK_DELETE:
        if (shift) {
            if (copy(e)) type_over(e, u"");
            return;
        }
        if (lo == hi) {
            if (hi < length(e)) replace(e, lo, next_unit(t, lo), u"");
            return;
        }
        type_over(e, u"");
        return;
    case VK_INSERT:
        if (ctrl) copy(e);
        else if (shift) paste(e);
        return;
    default: return;
    }
}

void on_char(Edit& e, char16_t c) {
    const std::u16string_view t(e.text);
    switch (c) {
    case 1: return select(e, 0, length(e));               // Ctrl+A
    case 3: copy(e); return;                              // Ctrl+C
    case 0x16: paste(e); return;                          // Ctrl+V
    case 0x18: if (copy(e)) type_over(e, u""); return;    // Ctrl+X
    case 8:                                               // Backspace
        if (e.anchor != e.caret) type_over(e, u"");
        else if (e.caret > 0) replace(e, prev_unit(t, e.caret), e.caret, u"");
        return;
    case u'\r':
        if (multiline(e)) type_over(e, u"\r\n");
        return;
    case u'\t':
        if (multiline(e)) type_over(e, u"\t");
        return;
    default: {
        if (c < 0x20 || c == 0x7F) return;
        // A pair's two units come one by one: the first as a character under the limit, the
        // second only after a first, which it completes without taking more room.
        const int32_t lo = std::min(e.anchor, e.caret), hi = std::max(e.anchor, e.caret);
        if (!is_low(c)) type_over(e, std::u16string_view(&c, 1));
        else if (lo > 0 && is_high(t[lo - 1])) replace(e, lo, hi, std::u16string_view(&c, 1));
        return;
    }
    }
}

void on_mouse(Edit& e, uint32_t message, intptr_t keys, intptr_t lParam) {
    const POINT p{lparam_x(lParam), lparam_y(lParam)};
    const HWND h = e.hwnd;
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
        if (GetFocus() != h) {
            SetFocus(h);
            if (!IsWindow(h) || GetFocus() != h) return;
        }
        Dc dc(e);
        ensure_metrics(e, dc);
        const int32_t at = offset_at(e, dc, p);
        e.goal_x = -1;
        if (message == WM_LBUTTONDBLCLK && at < length(e) && !is_space(e.text[at])) {
            int32_t a = at, b = at;
            while (a > 0 && !is_space(e.text[a - 1])) --a;
            while (b < length(e) && !is_space(e.text[b])) ++b;
            select(e, snap(e.text, a), snap(e.text, b));
        } else {
            select(e, keys & MK_SHIFT ? e.anchor : at, at);
        }
        e.dragging = true;
        SetCapture(h);
        return;
    }
    if (message == WM_MOUSEMOVE && e.dragging) {
        Dc dc(e);
        const int32_t at = offset_at(e, dc, p);
        select(e, e.anchor, at);
        return;
    }
    if (message == WM_LBUTTONUP && e.dragging) {
        e.dragging = false;
        if (GetCapture() == h) ReleaseCapture();
    }
}

void on_scroll(Edit& e, uint32_t message, intptr_t wParam) {
    Dc dc(e);
    ensure_metrics(e, dc);
    const Area a = area(e);
    const bool vertical = message == WM_VSCROLL;
    const int32_t line = vertical ? 1 : e.char_width, page = vertical ? a.rows : a.width;
    int32_t at = vertical ? e.top : e.scroll_x;
    switch (wParam & 0xFFFF) {
    case SB_LINEUP: at -= line; break;
    case SB_LINEDOWN: at += line; break;
    case SB_PAGEUP: at -= page; break;
    case SB_PAGEDOWN: at += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {  // the bar's 32-bit place when the message's 16 bits are its own
        SCROLLINFO si;
        si.fMask = SIF_TRACKPOS;
        at = static_cast<uint16_t>(wParam >> 16);
        if (GetScrollInfo(e.hwnd, vertical ? SB_VERT : SB_HORZ, &si) && (si.nTrackPos & 0xFFFF) == at)
            at = si.nTrackPos;
        break;
    }
    case SB_TOP: at = 0; break;
    case SB_BOTTOM: at = vertical ? static_cast<int32_t>(e.lines.size()) : 0x3FFFFFFF; break;
    default: return;
    }
    if (vertical) scroll_to(e, dc, at, e.scroll_x);
    else scroll_to(e, dc, e.top, at);
    place_caret(e, dc);
}

// ---- Painting

void paint(Edit& e) {
    const HWND h = e.hwnd;
    PAINTSTRUCT ps;
    cairo_t* c = BeginPaint(h, &ps);
    if (!c) return;
    RECT rc;
    GetClientRect(h, &rc);
    gfx::SelectObject(c, e.font.get());
    const bool enabled = IsWindowEnabled(h);
    const Palette& pal = palette(h);
    const HBRUSH brush = ask_colours(h, enabled ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC, c, pal.window_text,
                                     enabled ? pal.window : pal.face);
    if (!brush) {  // the parent destroyed the control
        EndPaint(h, &ps);
        return;
    }
    gfx::FillRect(c, rc, brush);
    const COLORREF ink = enabled ? gfx::GetTextColor(c) : pal.text_disabled;
    gfx::SetBkMode(c, gfx::TRANSPARENT);
    Dc dc(e, c);
    ensure_metrics(e, dc);
    const Area a = area(e);
    if (e.text.empty() && !e.cue.empty() && (!e.focused || e.cue_focused)) {
        gfx::SetTextColor(c, pal.text_disabled);
        RECT r{a.left, a.top, rc.right, rc.bottom};
        gfx::DrawText(c, e.cue, &r, gfx::DT_SINGLELINE | gfx::DT_NOPREFIX);
    }
    const int32_t lo = std::min(e.anchor, e.caret), hi = std::max(e.anchor, e.caret);
    const bool show_sel = lo < hi && (e.focused || (style_of(e) & ES_NOHIDESEL));
    const CairoLib* cl = cairo_lib();
    cl->save(c);  // the text stays out of the margins
    cl->new_path(c);
    cl->rectangle(c, a.left, 0, a.width, rc.height());
    cl->clip(c);
    const int32_t count = static_cast<int32_t>(e.lines.size());
    for (int32_t i = e.top, y = a.top; i < count && y < rc.bottom; ++i, y += e.line_height) {
        const Line& l = e.lines[i];
        const POINT at{a.left + align_offset(e, dc, i, a) - e.scroll_x, y};
        gfx::SetTextColor(c, ink);
        run(e, dc, l.start, l.end, &at);
        const int32_t s = std::max(lo, l.start), f = std::min(hi, l.end);
        if (!show_sel || s > f || (s == f && !(hi > l.end && lo <= l.end && l.next > l.end))) continue;
        const int32_t x0 = at.x + run(e, dc, l.start, s);
        int32_t x1 = at.x + run(e, dc, l.start, f);
        if (hi > l.end && l.next > l.end) x1 += std::max(1, e.char_width / 2);  // the line break is selected
        fill_rect(c, RECT{x0, y, x1, y + e.line_height}, pal.selection);
        cl->save(c);
        cl->new_path(c);
        cl->rectangle(c, x0, y, x1 - x0, e.line_height);
        cl->clip(c);
        gfx::SetTextColor(c, pal.selection_text);
        run(e, dc, l.start, l.end, &at);
        cl->restore(c);
    }
    cl->restore(c);
    if (e.focused && e.caret_shown && enabled) {
        const POINT p = caret_point(e, dc);
        fill_rect(c, RECT{p.x, p.y, p.x + 1, p.y + e.line_height}, ink);
    }
    EndPaint(h, &ps);
}

// ---- Messages

LRESULT edit_message(Edit& e, uint32_t m, intptr_t w, intptr_t l) {
    const HWND h = e.hwnd;
    switch (m) {
    case WM_SETTEXT: {
        const int32_t old_length = length(e);
        e.text = l ? std::u16string(reinterpret_cast<const char16_t*>(l)) : std::u16string();
        update_pairs(e, 0, old_length, length(e));
        e.anchor = e.caret = 0;
        e.top = e.scroll_x = 0;
        e.goal_x = -1;
        if (masked(e)) e.mask.assign(e.text.size(), e.password);
        lay_out_again(e);
        notify_command(h, EN_CHANGE);
        return 1;
    }
    // The units WM_GETTEXT fills, which its caller sizes its buffer by: a count of characters
    // would cut a text with pairs short.
    case WM_GETTEXTLENGTH: return length(e);
    case WM_GETTEXT: {  // wParam: the buffer's size in units; a pair is copied whole or not at all
        if (w <= 0 || !l) return 0;
        size_t n = std::min(e.text.size(), static_cast<size_t>(w) - 1);
        if (n > 0 && n < e.text.size() && is_high(e.text[n - 1]) && is_low(e.text[n])) --n;
        auto* out = reinterpret_cast<char16_t*>(l);
        std::copy_n(e.text.data(), n, out);
        out[n] = u'\0';
        return static_cast<LRESULT>(n);
    }
    case WM_SETFONT: {
        LRESULT answer;
        font_message(e.font, h, m, w, l, &answer);
        e.metrics = false;
        lay_out_again(e);
        if (e.focused) {
            Dc dc(e);
            CreateCaret(h, 1, e.line_height);
            place_caret(e, dc);
        }
        return answer;
    }
    case WM_GETFONT: return e.font.get();
    case WM_SIZE: {
        Dc dc(e);
        if (wraps(e) && wrap_room(e) != e.wrap_width) layout_all(e, dc);
        show_caret(e, dc);
        return 0;
    }
    case WM_SETFOCUS: {
        e.focused = true;
        Dc dc(e);
        ensure_metrics(e, dc);
        CreateCaret(h, 1, e.line_height);
        e.caret_shown = true;
        SetTimer(h, kBlinkTimer, kBlinkMs, nullptr);
        show_caret(e, dc);
        InvalidateRect(h, nullptr, false);
        notify_command(h, EN_SETFOCUS);
        return 0;
    }
    case WM_KILLFOCUS:
        e.focused = false;
        e.caret_shown = false;
        KillTimer(h, kBlinkTimer);
        DestroyCaret();
        InvalidateRect(h, nullptr, false);
        notify_command(h, EN_KILLFOCUS);
        return 0;
    case WM_TIMER:
        if (static_cast<uintptr_t>(w) != kBlinkTimer) return 0;
        e.caret_shown = !e.caret_shown;
        InvalidateRect(h, nullptr, false);
        return 0;
    case WM_ENABLE: InvalidateRect(h, nullptr, false); return 0;
    case WM_ERASEBKGND: return 1;  // painted whole in WM_PAINT
    case WM_PAINT: paint(e); return 0;
    case WM_KEYDOWN: on_key(e, static_cast<uint32_t>(w)); return 0;
    case WM_CHAR: on_char(e, static_cast<char16_t>(w)); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: on_mouse(e, m, w, l); return 0;
    case WM_CAPTURECHANGED: e.dragging = false; return 0;
    case WM_MOUSEWHEEL: {
        if (!multiline(e)) return 0;
        Dc dc(e);
        const int32_t notches = static_cast<int16_t>((w >> 16) & 0xFFFF) / WHEEL_DELTA;
        scroll_to(e, dc, e.top - notches * kWheelLines, e.scroll_x);
        place_caret(e, dc);
        return 0;
    }
    case WM_VSCROLL:
    case WM_HSCROLL:
        if (!l) on_scroll(e, m, w);
        return 0;
    case WM_COPY: copy(e); return 0;
    case WM_CUT:
        if (copy(e)) type_over(e, u"");
        return 0;
    case WM_PASTE: paste(e); return 0;
    case WM_CLEAR: type_over(e, u""); return 0;
    case EM_GETSEL: {
        const uint32_t lo = static_cast<uint32_t>(char_of(e, std::min(e.anchor, e.caret)));
        const uint32_t hi = static_cast<uint32_t>(char_of(e, std::max(e.anchor, e.caret)));
        if (w) *reinterpret_cast<uint32_t*>(w) = lo;
        if (l) *reinterpret_cast<uint32_t*>(l) = hi;
        return static_cast<LRESULT>(std::min(lo, 0xFFFFu) | std::min(hi, 0xFFFFu) << 16);
    }
    case EM_SETSEL: {
        const int64_t anchor = static_cast<int32_t>(w), caret = static_cast<int32_t>(l);
        if (anchor == -1) select(e, e.caret, e.caret);
        else select(e, unit_of(e, anchor), caret < 0 ? length(e) : unit_of(e, caret));
        return 0;
    }
    case EM_REPLACESEL: {
        const auto* s = reinterpret_cast<const char16_t*>(l);
        type_over(e, s ? std::u16string_view(s) : std::u16string_view());
        return 0;
    }
    case EM_SCROLLCARET: {
        Dc dc(e);
        show_caret(e, dc);
        return 1;
    }
    case EM_GETLINECOUNT: return static_cast<LRESULT>(e.lines.size());
    case EM_LINEINDEX: {
        const int64_t line = w < 0 ? line_of(e, e.caret) : w;
        return line < static_cast<int64_t>(e.lines.size()) ? char_of(e, e.lines[line].start) : -1;
    }
    case EM_LINEFROMCHAR: return line_of(e, w < 0 ? std::min(e.anchor, e.caret) : snap(e.text, unit_of(e, w)));
    case EM_LINELENGTH: {
        if (!multiline(e)) return chars(e);
        if (w >= 0) {
            const Line& line = e.lines[line_of(e, snap(e.text, unit_of(e, w)))];
            return char_of(e, line.end) - char_of(e, line.start);
        }
        const int32_t lo = std::min(e.anchor, e.caret), hi = std::max(e.anchor, e.caret);
        const Line& first = e.lines[line_of(e, lo)];
        const Line& last = e.lines[line_of(e, hi)];
        return (char_of(e, lo) - char_of(e, first.start)) + std::max(0, char_of(e, last.end) - char_of(e, hi));
    }
    case EM_SETLIMITTEXT:
        e.limit = w <= 0 || w > kEditMaxLimit ? kEditMaxLimit : static_cast<int32_t>(w);
        return 0;
    case EM_GETLIMITTEXT: return e.limit;
    case EM_SETTABSTOPS: {
        if (!multiline(e) || w < 0 || (w > 0 && !l)) return 0;
        const auto* stops = reinterpret_cast<const int32_t*>(l);
        if (std::any_of(stops, stops + w, [](int32_t s) { return s <= 0; })) return 0;
        e.tab_units.assign(stops, stops + w);
        std::sort(e.tab_units.begin(), e.tab_units.end());
        lay_out_again(e);
        return 1;
    }
    case EM_SETPASSWORDCHAR: {
        if (multiline(e)) return 0;
        e.password = static_cast<char16_t>(w);
        e.mask.assign(e.password ? e.text.size() : 0, e.password);
        lay_out_again(e);
        return 0;
    }
    case EM_SETCUEBANNER: {
        const auto* s = reinterpret_cast<const char16_t*>(l);
        e.cue = s ? s : u"";
        e.cue_focused = w != 0;
        InvalidateRect(h, nullptr, false);
        return 1;
    }
    default: return DefWindowProc(h, m, w, l);
    }
}

LRESULT edit_proc(HWND h, uint32_t m, intptr_t w, intptr_t l) {
    if (m == WM_NCCREATE) {
        Edit* e = edits().make(h);
        e->hwnd = h;
        const auto* cs = reinterpret_cast<const CREATESTRUCT*>(l);
        if (cs) e->text = cs->lpszName;
        update_pairs(*e, 0, 0, length(*e));
        if (cs && (cs->style & ES_PASSWORD) && !(cs->style & ES_MULTILINE)) {
            e->password = kPasswordChar;
            e->mask.assign(e->text.size(), kPasswordChar);
        }
        return DefWindowProc(h, m, w, l);
    }
    if (m == WM_NCDESTROY) {
        edits().drop(h);
        return DefWindowProc(h, m, w, l);
    }
    Edit* e = edits().get(h);
    if (!e) return DefWindowProc(h, m, w, l);
    if (m == WM_CREATE) {
        Dc dc(*e);
        layout_all(*e, dc);
        return 0;
    }
    if (m == WM_DESTROY) {
        KillTimer(h, kBlinkTimer);
        if (e->focused) DestroyCaret();
        e->focused = false;
        return 0;
    }
    return edit_message(*e, m, w, l);
}

}  // namespace

EditCounters edit_counters() { return g_counters; }

bool register_edit() { return register_control(kEditClass, edit_proc, IDC_IBEAM, CS_DBLCLKS); }

}  // namespace nuv::host::controls
