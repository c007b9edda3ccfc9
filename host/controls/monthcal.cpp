// The month calendar: the selected day and the month shown, kept as day numbers of the
// Gregorian calendar, the six colours set by the parent (the palette's until then), input, and
// painting of the title, the day names and six weeks of days.
#include "host/controls/monthcal.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <optional>
#include <string>

#include "host/controls/listbox.h"
#include "host/win/keys.h"

namespace nuv::host::controls {

using namespace win;

namespace {

constexpr int32_t kFirstYear = 1601, kLastYear = 9999;

struct Date {
    int32_t year = kFirstYear, month = 1, day = 1;
};

bool leap(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int32_t days_in_month(int32_t y, int32_t m) {
    static constexpr std::array<int32_t, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : kDays[static_cast<size_t>(m - 1)];
}

// Days since 1 January 1970 and back, for the proleptic Gregorian calendar.
int64_t day_number(const Date& d) {
    const int64_t y = d.month <= 2 ? d.year - 1 : d.year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (d.month + (d.month > 2 ? -3 : 9)) + 2) / 5 + d.day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Date from_day_number(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const auto month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    const auto day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
    return Date{static_cast<int32_t>(yoe + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

// 0 for Sunday.
int32_t weekday(int64_t day_no) { return static_cast<int32_t>(((day_no % 7) + 11) % 7); }

const int64_t kFirstDay = day_number(Date{kFirstYear, 1, 1});
const int64_t kLastDay = day_number(Date{kLastYear, 12, 31});

// The date a month away, its day kept within that month, the years kept within range.
Date add_months(const Date& d, int32_t months) {
    int32_t m = d.year * 12 + (d.month - 1) + months;
    m = std::clamp(m, kFirstYear * 12, kLastYear * 12 + 11);
    Date out{m / 12, m % 12 + 1, 0};
    out.day = std::min(d.day, days_in_month(out.year, out.month));
    return out;
}

struct Calendar {
    Date sel;
    int32_t view_year = kFirstYear, view_month = 1;  // the month shown
    std::array<std::optional<COLORREF>, 6> colours;
    int32_t text_height = 0;
    bool focused = false;
    FontSlot font;
};

StateTable<Calendar>& calendars() {
    static StateTable<Calendar> table;
    return table;
}

COLORREF colour_of(HWND hwnd, const Calendar* c, int32_t part) {
    if (c->colours[static_cast<size_t>(part)]) return *c->colours[static_cast<size_t>(part)];
    const Palette& pal = palette(hwnd);
    switch (part) {
    case MCSC_BACKGROUND:
    case MCSC_MONTHBK: return pal.window;
    case MCSC_TEXT: return pal.window_text;
    case MCSC_TITLEBK: return pal.accent;
    case MCSC_TITLETEXT: return pal.selection_text;
    default: return pal.text_disabled;
    }
}

Date today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Date{std::clamp(local.tm_year + 1900, kFirstYear, kLastYear), local.tm_mon + 1, local.tm_mday};
}

// The parts' places: the title strip with its two buttons, the day names, the six weeks.
struct Layout {
    int32_t title = 0, names = 0, grid_top = 0, cell_w = 0, row_h = 0, left = 0;
};

Layout layout(HWND hwnd, Calendar* c) {
    if (!c->text_height) c->text_height = std::max(1, measure_text(hwnd, c->font.get(), u"Ag").cy);
    RECT client;
    GetClientRect(hwnd, &client);
    Layout l;
    l.title = c->text_height + scaled(hwnd, 8);
    l.names = c->text_height + scaled(hwnd, 4);
    l.grid_top = l.title + l.names + 1;
    l.left = scaled(hwnd, 4);
    l.cell_w = std::max(1, (client.right - 2 * l.left) / 7);
    l.row_h = std::max(1, (client.bottom - l.grid_top) / 6);
    return l;
}

// The day number in the grid's first cell: the Sunday on or before the first of the month shown.
int64_t first_cell(const Calendar* c) {
    const int64_t first = day_number(Date{c->view_year, c->view_month, 1});
    return first - weekday(first);
}

void to_systemtime(const Date& d, SYSTEMTIME* out) {
    *out = SYSTEMTIME{};
    out->wYear = static_cast<uint16_t>(d.year);
    out->wMonth = static_cast<uint16_t>(d.month);
    out->wDay = static_cast<uint16_t>(d.day);
    out->wDayOfWeek = static_cast<uint16_t>(weekday(day_number(d)));
}

// Shows the date's month and selects it; a user's pick tells the parent. Answers whether the
// control outlived the notification.
bool select(HWND hwnd, Calendar* c, const Date& d, bool by_user) {
    c->view_year = d.year;
    c->view_month = d.month;
    InvalidateRect(hwnd, nullptr, true);
    if (d.year == c->sel.year && d.month == c->sel.month && d.day == c->sel.day) return true;
    c->sel = d;
    if (!by_user) return true;
    NMSELCHANGE record;
    to_systemtime(d, &record.stSelStart);
    record.stSelEnd = record.stSelStart;
    return notify(hwnd, &record.nmhdr, MCN_SELCHANGE).alive;
}

void pick_day(HWND hwnd, Calendar* c, int64_t day_no) {
    select(hwnd, c, from_day_number(std::clamp(day_no, kFirstDay, kLastDay)), true);
}

// The month buttons: another month shown, and the selection moved with it unless the style
// keeps it.
void navigate(HWND hwnd, Calendar* c, int32_t months) {
    if (!(GetWindowLong(hwnd, GWL_STYLE) & MCS_NOSELCHANGEONNAV)) {
        select(hwnd, c, add_months(c->sel, months), true);
        return;
    }
    const Date shown = add_months(Date{c->view_year, c->view_month, 1}, months);
    c->view_year = shown.year;
    c->view_month = shown.month;
    InvalidateRect(hwnd, nullptr, true);
}

LRESULT set_date(HWND hwnd, Calendar* c, const SYSTEMTIME* st) {
    if (!st || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1) return 0;
    Date d{std::clamp<int32_t>(st->wYear, kFirstYear, kLastYear), st->wMonth, st->wDay};
    // A year brought into range may lose its 29 February: the day then stays within the month.
    if (d.year != st->wYear) d.day = std::min(d.day, days_in_month(d.year, d.month));
    if (d.day > days_in_month(d.year, d.month)) return 0;
    select(hwnd, c, d, false);
    return 1;
}

constexpr std::array<std::u16string_view, 12> kMonths{u"January", u"February", u"March",     u"April",
                                                     u"May",     u"June",     u"July",      u"August",
                                                     u"September", u"October", u"November", u"December"};
constexpr std::array<std::u16string_view, 7> kDays{u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                                   u"Thursday", u"Friday", u"Saturday"};

void paint(HWND hwnd, Calendar* c) {
    PAINTSTRUCT ps;
    cairo_t* dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(hwnd, &client);
    const Layout l = layout(hwnd, c);
    const uint32_t text_format = gfx::DT_SINGLELINE | gfx::DT_CENTER | gfx::DT_VCENTER | gfx::DT_NOPREFIX;
    fill_rect(dc, client, colour_of(hwnd, c, MCSC_BACKGROUND));
    fill_rect(dc, RECT{0, 0, client.right, l.title}, colour_of(hwnd, c, MCSC_TITLEBK));
    gfx::SelectObject(dc, c->font.get());
    gfx::SetBkMode(dc, gfx::TRANSPARENT);

    const COLORREF title_text = colour_of(hwnd, c, MCSC_TITLETEXT);
    gfx::SetTextColor(dc, title_text);
    std::u16string title(kMonths[static_cast<size_t>(c->view_month - 1)]);
    title += u' ';
    for (char ch : std::to_string(c->view_year)) title += static_cast<char16_t>(ch);
    RECT at{l.title, 0, client.right - l.title, l.title};
    gfx::DrawText(dc, title, &at, text_format);
    // The buttons' arrows, column by column.
    const int32_t half = scaled(hwnd, 4), cy = l.title / 2;
    for (int32_t col = 0; col < half; ++col) {
        const int32_t x = (l.title - half) / 2 + col;
        fill_rect(dc, RECT{x, cy - col - 1, x + 1, cy + col + 1}, title_text);
        const int32_t rx = client.right - l.title + (l.title - half) / 2 + col;
        fill_rect(dc, RECT{rx, cy - (half - 1 - col) - 1, rx + 1, cy + (half - 1 - col) + 1}, title_text);
    }

    const COLORREF text = colour_of(hwnd, c, MCSC_TEXT);
    gfx::SetTextColor(dc, text);
    const bool short_names = GetWindowLong(hwnd, GWL_STYLE) & MCS_SHORTDAYSOFWEEK;
    for (int32_t d = 0; d < 7; ++d) {
        RECT cell{l.left + d * l.cell_w, l.title, l.left + (d + 1) * l.cell_w, l.title + l.names};
        gfx::DrawText(dc, kDays[static_cast<size_t>(d)].substr(0, short_names ? 2 : 3), &cell, text_format);
    }
    fill_rect(dc, RECT{l.left, l.grid_top - 1, l.left + 7 * l.cell_w, l.grid_top}, colour_of(hwnd, c, MCSC_TRAILINGTEXT));
    fill_rect(dc, RECT{l.left, l.grid_top, l.left + 7 * l.cell_w, l.grid_top + 6 * l.row_h},
              colour_of(hwnd, c, MCSC_MONTHBK));

    const int64_t first = first_cell(c), selected = day_number(c->sel);
    for (int32_t i = 0; i < 42; ++i) {
        const int64_t day_no = first + i;
        if (day_no < kFirstDay || day_no > kLastDay) continue;
        const Date d = from_day_number(day_no);
        RECT cell{l.left + (i % 7) * l.cell_w, l.grid_top + (i / 7) * l.row_h, l.left + (i % 7 + 1) * l.cell_w,
                  l.grid_top + (i / 7 + 1) * l.row_h};
        COLORREF ink = d.month == c->view_month ? text : colour_of(hwnd, c, MCSC_TRAILINGTEXT);
        if (day_no == selected) {
            fill_rect(dc, cell, colour_of(hwnd, c, MCSC_TITLEBK));
            ink = title_text;
            if (c->focused) frame_rect(dc, cell, text, 1);
        }
        gfx::SetTextColor(dc, ink);
        std::u16string number;
        for (char ch : std::to_string(d.day)) number += static_cast<char16_t>(ch);
        gfx::DrawText(dc, number, &cell, text_format);
    }
    EndPaint(hwnd, &ps);
}

void click(HWND hwnd, Calendar* c, POINT p) {
    RECT client;
    GetClientRect(hwnd, &client);
    const Layout l = layout(hwnd, c);
    if (p.y >= 0 && p.y < l.title) {
        if (p.x >= 0 && p.x < l.title) navigate(hwnd, c, -1);
        if (p.x >= client.right - l.title && p.x < client.right) navigate(hwnd, c, 1);
        return;
    }
    if (p.y < l.grid_top || p.x < l.left) return;
    const int32_t col = (p.x - l.left) / l.cell_w, row = (p.y - l.grid_top) / l.row_h;
    if (col >= 7 || row >= 6) return;
    const int64_t day_no = first_cell(c) + row * 7 + col;
    if (day_no >= kFirstDay && day_no <= kLastDay) pick_day(hwnd, c, day_no);
}

LRESULT monthcal_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    if (message == WM_NCCREATE) {
        Calendar* made = calendars().make(hwnd);
        made->sel = today();
        made->view_year = made->sel.year;
        made->view_month = made->sel.month;
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
    Calendar* c = calendars().get(hwnd);
    if (!c) return DefWindowProc(hwnd, message, wParam, lParam);
    LRESULT answer = 0;
    if (font_message(c->font, hwnd, message, wParam, lParam, &answer)) {
        if (message == WM_SETFONT) c->text_height = 0;
        return answer;
    }
    switch (message) {
    case WM_NCDESTROY: calendars().drop(hwnd); return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: paint(hwnd, c); return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, true); return 0;

    case MCM_GETCURSEL:
        if (!lParam) return 0;
        to_systemtime(c->sel, reinterpret_cast<SYSTEMTIME*>(lParam));
        return 1;
    case MCM_SETCURSEL: return set_date(hwnd, c, reinterpret_cast<const SYSTEMTIME*>(lParam));
    case MCM_SETCOLOR: {
        if (wParam < MCSC_BACKGROUND || wParam > MCSC_TRAILINGTEXT) return -1;
        const COLORREF before = colour_of(hwnd, c, static_cast<int32_t>(wParam));
        c->colours[static_cast<size_t>(wParam)] = static_cast<COLORREF>(lParam) & 0xFFFFFF;
        InvalidateRect(hwnd, nullptr, true);
        return before;
    }
    case MCM_GETCOLOR:
        if (wParam < MCSC_BACKGROUND || wParam > MCSC_TRAILINGTEXT) return -1;
        return colour_of(hwnd, c, static_cast<int32_t>(wParam));

    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (GetFocus() != hwnd) {
            SetFocus(hwnd);
            if (!(c = calendars().get(hwnd))) return 0;
        }
        click(hwnd, c, POINT{lparam_x(lParam), lparam_y(lParam)});
        return 0;
    case WM_KEYDOWN: {
        const int64_t day_no = day_number(c->sel);
        switch (wParam) {
        case VK_LEFT: pick_day(hwnd, c, day_no - 1); return 0;
        case VK_RIGHT: pick_day(hwnd, c, day_no + 1); return 0;
        case VK_UP: pick_day(hwnd, c, day_no - 7); return 0;
        case VK_DOWN: pick_day(hwnd, c, day_no + 7); return 0;
        case VK_PRIOR: select(hwnd, c, add_months(c->sel, -1), true); return 0;
        case VK_NEXT: select(hwnd, c, add_months(c->sel, 1), true); return 0;
        default: return DefWindowProc(hwnd, message, wParam, lParam);
        }
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        c->focused = message == WM_SETFOCUS;
        InvalidateRect(hwnd, nullptr, true);
        return 0;
    default: return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

}  // namespace

bool register_monthcal() { return register_control(kMonthCalClass, monthcal_proc, IDC_ARROW, CS_DBLCLKS); }

}  // namespace nuv::host::controls
