// What the edit control shows: the password character, the cue, the parent's colours, the
// caret's place with tab stops, wrapped lines, scrolling by keys, bars and wheel, and selecting
// with the mouse.
#include <gtest/gtest.h>

#include "tests/host/edit_support.h"

namespace nuv::test::win {
namespace {

using Sel = std::pair<uint32_t, uint32_t>;

bool shows(const std::vector<uint32_t>& pixels, uint32_t colour) {
    return std::find(pixels.begin(), pixels.end(), colour) != pixels.end();
}

// A palette's colour as the surface holds it, opaque.
uint32_t argb(COLORREF c) { return 0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF); }

TEST_F(EditTest, APasswordShowsBlackCircles) {
    HWND secret = edit(u"abc", ES_PASSWORD);
    HWND circles = edit(u"\u25CF\u25CF\u25CF");
    HWND plain = edit(u"abc");
    const std::vector<uint32_t> shown = pixels(secret);
    EXPECT_EQ(shown, pixels(circles));
    EXPECT_NE(shown, pixels(plain));
    EXPECT_EQ(GetWindowText(secret), u"abc");
    EXPECT_EQ(pixels(edit(u"a\U0001F600b", ES_PASSWORD)), shown);  // a circle for each character
    SendMessage(secret, EM_SETPASSWORDCHAR, u'*', 0);
    SendMessage(circles, WM_SETTEXT, 0, reinterpret_cast<intptr_t>(u"***"));
    EXPECT_EQ(pixels(secret), pixels(circles));
    SendMessage(secret, EM_SETPASSWORDCHAR, 0, 0);
    EXPECT_EQ(pixels(secret), pixels(plain));
}

TEST_F(EditTest, TheCueShowsWhileTheTextIsEmpty) {
    HWND hinted = edit(u"");
    HWND bare = edit(u"");
    EXPECT_EQ(SendMessage(hinted, EM_SETCUEBANNER, 0, reinterpret_cast<intptr_t>(u"Name")), 1);
    EXPECT_NE(pixels(hinted), pixels(bare));
    SetWindowText(hinted, u"x");
    SetWindowText(bare, u"x");
    EXPECT_EQ(pixels(hinted), pixels(bare));
    // Not shown while focused unless asked for.
    SetWindowText(hinted, u"");
    SetWindowText(bare, u"");
    SetFocus(hinted);
    const std::vector<uint32_t> focused = pixels(hinted);
    SetFocus(bare);
    EXPECT_EQ(focused, pixels(bare));
    SendMessage(hinted, EM_SETCUEBANNER, 1, reinterpret_cast<intptr_t>(u"Name"));
    SetFocus(hinted);
    EXPECT_NE(pixels(hinted), focused);
}

TEST_F(EditTest, TheParentChoosesTheColours) {
    const gfx::HBRUSH red = gfx::CreateSolidBrush(0x0000FF);
    std::vector<Logged> asks;
    g_answer = [&](HWND, uint32_t m, intptr_t w, intptr_t l) -> std::optional<LRESULT> {
        if (m != WM_CTLCOLOREDIT && m != WM_CTLCOLORSTATIC) return std::nullopt;
        asks.push_back(Logged{0, m, w, l});
        return red;
    };
    HWND e = edit(u"text", 0, 100, 24);
    HWND plain = CreateWindowEx(0, u"EDIT", u"", WS_VISIBLE, 0, 0, 50, 20, 0, 0, nullptr);  // no parent to ask
    made_.push_back(plain);
    EXPECT_EQ(pixels(plain)[10 * 50 + 40], argb(light_palette().window));
    set_dark(plain, true);
    EXPECT_EQ(pixels(plain)[10 * 50 + 40], argb(dark_palette().window));
    const std::vector<uint32_t> shown = pixels(e);
    ASSERT_FALSE(asks.empty());
    EXPECT_EQ(asks.back().message, static_cast<uint32_t>(WM_CTLCOLOREDIT));
    EXPECT_NE(asks.back().wParam, 0);
    EXPECT_EQ(asks.back().lParam, static_cast<intptr_t>(e));
    EXPECT_EQ(shown[20 * 100 + 95], 0xFFFF0000u);
    EnableWindow(e, false);
    pixels(e);
    EXPECT_EQ(asks.back().message, static_cast<uint32_t>(WM_CTLCOLORSTATIC));
    g_answer = nullptr;
    gfx::DeleteObject(red);
}

TEST_F(EditTest, TheSelectionShowsWhileFocusedOrKept) {
    const uint32_t selected = argb(light_palette().selection);
    HWND hides = edit(u"hello");
    HWND keeps = edit(u"hello", ES_NOHIDESEL);
    for (HWND e : {hides, keeps}) set_selection(e, 1, 4);
    EXPECT_FALSE(shows(pixels(hides), selected));
    EXPECT_TRUE(shows(pixels(keeps), selected));
    SetFocus(hides);
    EXPECT_TRUE(shows(pixels(hides), selected));
    set_selection(hides, 2, 2);
    EXPECT_FALSE(shows(pixels(hides), selected));
}

TEST_F(EditTest, TheTextIsAlignedByItsStyle) {
    const int32_t room = 200 - 4, ab = [this] { return text_width(edit(u""), u"ab"); }();
    struct Row {
        uint32_t style;
        int32_t caret_x;
    };
    const Row rows[] = {{ES_LEFT, 2 + ab}, {ES_CENTER, 2 + (room - ab) / 2 + ab}, {ES_RIGHT, 2 + room}};
    for (const Row& r : rows) {
        HWND e = edit(u"ab", r.style);
        SetFocus(e);
        press(e, {{VK_END}});
        POINT caret;
        ASSERT_TRUE(GetCaretPos(&caret));
        EXPECT_EQ(caret.x, r.caret_x) << r.style;
    }
}

TEST_F(EditTest, TabsAdvanceToTheStops) {
    HWND e = edit(u"\tX", ES_MULTILINE, 300, 60);
    cairo_t* dc = GetDC(e);
    gfx::SelectObject(dc, static_cast<gfx::HFONT>(SendMessage(e, WM_GETFONT, 0, 0)));
    gfx::TEXTMETRIC tm;
    ASSERT_TRUE(gfx::GetTextMetrics(dc, &tm));
    ReleaseDC(e, dc);
    const int32_t x_width = text_width(e, u"X");
    SetFocus(e);
    struct Row {
        std::vector<int32_t> stops;
        int32_t want_units;  // where X starts, in dialog units
    };
    const Row rows[] = {{{}, 32}, {{12}, 12}, {{40}, 40}, {{20, 30}, 20}};
    for (const Row& r : rows) {
        EXPECT_EQ(SendMessage(e, EM_SETTABSTOPS, static_cast<intptr_t>(r.stops.size()),
                              reinterpret_cast<intptr_t>(r.stops.data())),
                  1);
        press(e, {{VK_END}});
        POINT caret;
        ASSERT_TRUE(GetCaretPos(&caret));
        EXPECT_EQ(caret.x, 2 + r.want_units * tm.tmAveCharWidth / 4 + x_width) << r.want_units;
    }
    const int32_t bad[] = {8, 0};  // refused, the stops kept
    EXPECT_EQ(SendMessage(e, EM_SETTABSTOPS, 2, reinterpret_cast<intptr_t>(bad)), 0);
    POINT kept;
    ASSERT_TRUE(GetCaretPos(&kept));
    SendMessage(e, WM_SETTEXT, 0, reinterpret_cast<intptr_t>(u"\tX"));
    press(e, {{VK_END}});
    POINT caret;
    ASSERT_TRUE(GetCaretPos(&caret));
    EXPECT_EQ(caret.x, kept.x);
    EXPECT_EQ(SendMessage(edit(u""), EM_SETTABSTOPS, 0, 0), 0);  // a single-line control has none
}

TEST_F(EditTest, AMultiLineControlWithoutHorizontalScrollingWraps) {
    const std::u16string text = u"alpha beta gamma delta epsilon zeta eta theta iota kappa";
    HWND e = edit(text, ES_MULTILINE, 120, 200);
    const LRESULT lines = SendMessage(e, EM_GETLINECOUNT, 0, 0);
    EXPECT_GT(lines, 2);
    for (LRESULT i = 1; i < lines; ++i) {
        const LRESULT start = SendMessage(e, EM_LINEINDEX, i, 0);
        EXPECT_EQ(text[start - 1], u' ') << "line " << i << " starts inside a word";
        const LRESULT len = SendMessage(e, EM_LINELENGTH, start - 1, 0);
        const LRESULT prev = SendMessage(e, EM_LINEINDEX, i - 1, 0);
        EXPECT_LE(text_width(e, std::u16string_view(text).substr(prev, len - 1)), 120 - 4) << i;
    }
    EXPECT_EQ(GetWindowText(e), text);  // breaks made by wrapping are not stored
    press(e, {{VK_END}});                 // stays on its line, before the space the line ends with
    EXPECT_EQ(SendMessage(e, EM_LINEFROMCHAR, -1, 0), 0);
    EXPECT_EQ(text[selection(e).first], u' ');
    MoveWindow(e, 10, 10, 2000, 200, true);
    EXPECT_EQ(SendMessage(e, EM_GETLINECOUNT, 0, 0), 1);
    // A word wider than the control breaks where it must.
    HWND narrow = edit(u"abcdefghijklmnopqrstuvwxyz", ES_MULTILINE, 40, 200);
    EXPECT_GT(SendMessage(narrow, EM_GETLINECOUNT, 0, 0), 2);
}

TEST_F(EditTest, ScrollingFollowsTheCaretTheBarsAndTheWheel) {
    std::u16string text;
    for (int i = 0; i < 30; ++i) text += u"line\r\n";
    HWND e = edit(text, ES_MULTILINE | ES_AUTOHSCROLL | WS_VSCROLL, 200, 100);
    auto pos = [e] {
        SCROLLINFO si;
        si.fMask = SIF_ALL;
        GetScrollInfo(e, SB_VERT, &si);
        return si;
    };
    const SCROLLINFO first = pos();
    EXPECT_EQ(first.nMax, 30);
    const int32_t rows = static_cast<int32_t>(first.nPage);
    ASSERT_GT(rows, 1);
    ASSERT_LT(rows, 30);
    press(e, {{VK_END, kCtrl}});
    EXPECT_EQ(pos().nPos, 31 - rows);
    SendMessage(e, WM_VSCROLL, SB_THUMBPOSITION | 5 << 16, 0);
    EXPECT_EQ(pos().nPos, 5);
    SendMessage(e, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(pos().nPos, 0);
    EXPECT_EQ(selection(e), Sel(180, 180));  // scrolling leaves the caret
    SendMessage(e, WM_VSCROLL, SB_LINEDOWN, 0);
    SendMessage(e, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(pos().nPos, 1 + rows);
    SendMessage(e, EM_SCROLLCARET, 0, 0);
    EXPECT_EQ(pos().nPos, 31 - rows);
    POINT p{20, 20};
    ClientToScreen(e, &p);
    mouse_input(WM_MOUSEWHEEL, p, static_cast<intptr_t>(WHEEL_DELTA) << 16);
    pump();
    EXPECT_EQ(pos().nPos, 31 - rows - 3);
    press(e, {{VK_PRIOR}});  // a page up, the caret kept in view
    const int32_t line = static_cast<int32_t>(SendMessage(e, EM_LINEFROMCHAR, -1, 0));
    EXPECT_EQ(line, 30 - rows);
    EXPECT_LE(pos().nPos, line);
    EXPECT_GT(pos().nPos + rows, line);
    // A bar hidden meanwhile shows the place once shown again.
    ShowScrollBar(e, SB_VERT, false);
    press(e, {{VK_HOME, kCtrl}});
    ShowScrollBar(e, SB_VERT, true);
    EXPECT_EQ(pos().nPos, 0);
    // A single-line control scrolls sideways to keep the caret in view.
    HWND single = edit(std::u16string(300, u'w'), 0, 100, 24);
    SetFocus(single);
    press(single, {{VK_END}});
    POINT caret;
    ASSERT_TRUE(GetCaretPos(&caret));
    EXPECT_GE(caret.x, 2);
    EXPECT_LT(caret.x, 100);
    const std::vector<uint32_t> shown = pixels(single);  // the text scrolled out stays out of the margin
    for (int32_t y = 0; y < 24; ++y)
        for (int32_t x : {0, 1, 98, 99}) EXPECT_EQ(shown[y * 100 + x], argb(light_palette().window)) << x << "," << y;
    press(single, {{VK_HOME}});
    ASSERT_TRUE(GetCaretPos(&caret));
    EXPECT_EQ(caret.x, 2);
}

TEST_F(EditTest, TheMouseSelects) {
    HWND e = edit(u"hello world", 0, 200, 24);
    auto at = [e](int32_t x) {
        POINT p{x, 8};
        ClientToScreen(e, &p);
        return p;
    };
    const int32_t hello = 2 + text_width(e, u"hello");
    mouse_input(WM_LBUTTONDOWN, at(hello + 1), MK_LBUTTON);
    pump();
    EXPECT_EQ(GetFocus(), e);
    EXPECT_EQ(GetCapture(), e);
    EXPECT_EQ(selection(e), Sel(5, 5));
    mouse_input(WM_MOUSEMOVE, at(190), MK_LBUTTON);
    mouse_input(WM_LBUTTONUP, at(190), 0);
    pump();
    EXPECT_EQ(selection(e), Sel(5, 11));
    EXPECT_EQ(GetCapture(), 0u);
    mouse_input(WM_LBUTTONDOWN, at(1), MK_LBUTTON | MK_SHIFT);  // left of the text: its start
    mouse_input(WM_LBUTTONUP, at(1), MK_SHIFT);
    pump();
    EXPECT_EQ(selection(e), Sel(0, 5));
    EXPECT_EQ(count_of(e, EN_SETFOCUS), 1u);
    advance_clock(1000);
    mouse_input(WM_LBUTTONDOWN, at(hello + 10), MK_LBUTTON);
    mouse_input(WM_LBUTTONUP, at(hello + 10), 0);
    mouse_input(WM_LBUTTONDOWN, at(hello + 10), MK_LBUTTON);
    mouse_input(WM_LBUTTONUP, at(hello + 10), 0);
    pump();
    EXPECT_EQ(selection(e), Sel(6, 11));  // a double click takes the word
}

}  // namespace
}  // namespace nuv::test::win
