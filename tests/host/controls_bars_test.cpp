// The scroll-bar control, the trackbar and the progress bar: the requests the parent hears
// (WM_HSCROLL or WM_VSCROLL with the control in lParam) for presses, held presses, drags and
// keys, their ranges and positions, and what they draw.
#include "host/win/keys.h"
#include "tests/host/controls_support.h"

namespace nuv::test::win {
namespace {

using BarsTest = ControlTest;

struct Request {
    uint32_t code;
    int32_t pos;
};

// The requests the parent got from the control, in order.
std::vector<Request> requests(const std::vector<Logged>& log, HWND from) {
    std::vector<Request> out;
    for (const Logged& l : log)
        if ((l.message == WM_HSCROLL || l.message == WM_VSCROLL) && l.lParam == static_cast<intptr_t>(from))
            out.push_back(Request{uint32_t(l.wParam & 0xFFFF), int16_t((l.wParam >> 16) & 0xFFFF)});
    return out;
}

std::vector<uint32_t> codes(const std::vector<Request>& rs) {
    std::vector<uint32_t> out;
    for (const Request& r : rs) out.push_back(r.code);
    return out;
}

void set_bar(HWND bar, int32_t min, int32_t max, uint32_t page, int32_t pos) {
    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = min, info.nMax = max, info.nPage = page, info.nPos = pos;
    SetScrollInfo(bar, SB_CTL, &info, true);
}

TEST_F(BarsTest, ScrollBarPartsSendTheirRequestsWithTheControlAsLParam) {
    struct Row {
        uint32_t style;
        int32_t x, y;
        uint32_t message, request;
    };
    // A vertical bar 16 × 100 and a horizontal one 100 × 16, range 0 .. 100, page 10, at 0:
    // arrows of 16, the thumb over 16 .. 24.
    const Row rows[] = {
        {SBS_VERT, 8, 95, WM_VSCROLL, SB_LINEDOWN}, {SBS_VERT, 8, 3, WM_VSCROLL, SB_LINEUP},
        {SBS_VERT, 8, 60, WM_VSCROLL, SB_PAGEDOWN}, {SBS_HORZ, 3, 8, WM_HSCROLL, SB_LINEUP},
        {SBS_HORZ, 95, 8, WM_HSCROLL, SB_LINEDOWN}, {SBS_HORZ, 60, 8, WM_HSCROLL, SB_PAGEDOWN},
    };
    for (const Row& row : rows) {
        const bool v = row.style == SBS_VERT;
        HWND bar = control(kScrollBarClass, row.style, 10, 10, v ? 16 : 100, v ? 100 : 16);
        set_bar(bar, 0, 100, 10, 0);
        g_log.clear();
        click(bar, row.x, row.y);
        const std::vector<Logged> got = told(row.message);
        ASSERT_EQ(got.size(), 2u) << row.x << "," << row.y;
        EXPECT_EQ(got[0].wParam, static_cast<intptr_t>(row.request));
        EXPECT_EQ(got[0].lParam, static_cast<intptr_t>(bar));
        EXPECT_EQ(got[1].wParam, static_cast<intptr_t>(SB_ENDSCROLL));
        SCROLLINFO info;
        info.fMask = SIF_POS;
        GetScrollInfo(bar, SB_CTL, &info);
        EXPECT_EQ(info.nPos, 0);  // moving is the owner's answer
        DestroyWindow(bar);
    }
}

TEST_F(BarsTest, HeldArrowRepeatsAfterTheDelayUntilReleased) {
    HWND bar = control(kScrollBarClass, SBS_VERT, 10, 10, 16, 100);
    set_bar(bar, 0, 100, 10, 0);
    g_log.clear();
    mouse(bar, WM_LBUTTONDOWN, 8, 95);
    EXPECT_EQ(requests(g_log, bar).size(), 1u);
    advance_clock(kRepeatDelay - 10);
    pump();
    EXPECT_EQ(requests(g_log, bar).size(), 1u);
    advance_clock(10);
    pump();
    for (int i = 0; i < 4; ++i) {
        advance_clock(kRepeatInterval);
        pump();
    }
    EXPECT_EQ(codes(requests(g_log, bar)), std::vector<uint32_t>(6, SB_LINEDOWN));
    mouse(bar, WM_MOUSEMOVE, 8, 3);  // off the arrow: no repeat there
    advance_clock(kRepeatInterval);
    pump();
    EXPECT_EQ(requests(g_log, bar).size(), 6u);
    mouse(bar, WM_LBUTTONUP, 8, 3);
    advance_clock(10 * kRepeatInterval);
    pump();
    const std::vector<Request> all = requests(g_log, bar);
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(all.back().code, SB_ENDSCROLL);
}

TEST_F(BarsTest, ScrollBarThumbDragTracksThenSetsThePosition) {
    HWND bar = control(kScrollBarClass, SBS_VERT, 10, 10, 16, 100);
    set_bar(bar, 0, 100, 10, 0);
    g_log.clear();
    mouse(bar, WM_LBUTTONDOWN, 8, 20);
    mouse(bar, WM_MOUSEMOVE, 8, 50);
    SCROLLINFO info;
    info.fMask = SIF_POS | SIF_TRACKPOS;
    GetScrollInfo(bar, SB_CTL, &info);
    EXPECT_EQ(info.nPos, 0);  // the owner moves it, or not
    EXPECT_EQ(info.nTrackPos, requests(g_log, bar).at(0).pos);
    mouse(bar, WM_MOUSEMOVE, 8, 500);  // far past the end: the last position
    mouse(bar, WM_LBUTTONUP, 8, 500);
    const std::vector<Request> got = requests(g_log, bar);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].code, SB_THUMBTRACK);
    EXPECT_GT(got[0].pos, 30);
    EXPECT_LT(got[0].pos, 60);
    EXPECT_EQ(got[1].code, SB_THUMBTRACK);
    EXPECT_EQ(got[1].pos, 91);  // max - page + 1
    EXPECT_EQ(got[2].code, SB_THUMBPOSITION);
    EXPECT_EQ(got[2].pos, 91);
    EXPECT_EQ(got[3].code, SB_ENDSCROLL);
    EXPECT_EQ(GetCapture(), 0u);
}

TEST_F(BarsTest, ScrollBarKeysAndRepaintOnNewInfo) {
    HWND bar = control(kScrollBarClass, SBS_HORZ, 10, 10, 100, 16);
    set_bar(bar, 0, 100, 10, 0);
    pump();
    EXPECT_FALSE(GetUpdateRect(bar, nullptr));
    set_bar(bar, 0, 100, 10, 50);
    EXPECT_TRUE(GetUpdateRect(bar, nullptr));
    g_log.clear();
    key(bar, WM_KEYDOWN, VK_NEXT);
    key(bar, WM_KEYUP, VK_NEXT);
    key(bar, WM_KEYDOWN, VK_HOME);
    key(bar, WM_KEYDOWN, 'A');  // not a scrolling key
    EXPECT_EQ(codes(requests(g_log, bar)), (std::vector<uint32_t>{SB_PAGEDOWN, SB_ENDSCROLL, SB_TOP}));
}

TEST_F(BarsTest, TrackbarDragSendsThumbTrackWithThePosition) {
    HWND tb = control(kTrackbarClass, TBS_HORZ, 10, 10, 200, 30);
    // The thumb's centre travels from 9 to 191 over 0 .. 100.
    g_log.clear();
    mouse(tb, WM_LBUTTONDOWN, 9, 15);
    mouse(tb, WM_MOUSEMOVE, 100, 15);
    EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), 50);
    mouse(tb, WM_MOUSEMOVE, 100, 15);  // the same position: nothing new to tell
    mouse(tb, WM_MOUSEMOVE, 400, 15);
    mouse(tb, WM_LBUTTONUP, 400, 15);
    const std::vector<Request> got = requests(told(WM_HSCROLL), tb);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].code, TB_THUMBTRACK);
    EXPECT_EQ(got[0].pos, 50);
    EXPECT_EQ(got[1].code, TB_THUMBTRACK);
    EXPECT_EQ(got[1].pos, 100);
    EXPECT_EQ(got[2].code, TB_THUMBPOSITION);
    EXPECT_EQ(got[2].pos, 100);
    EXPECT_EQ(got[3].code, TB_ENDTRACK);
    EXPECT_EQ(GetFocus(), tb);

    HWND vertical = control(kTrackbarClass, TBS_VERT, 220, 10, 30, 150);
    g_log.clear();
    mouse(vertical, WM_LBUTTONDOWN, 15, 9);  // the minimum is at the top
    mouse(vertical, WM_MOUSEMOVE, 15, 141);
    mouse(vertical, WM_LBUTTONUP, 15, 141);
    EXPECT_EQ(told(WM_HSCROLL).size(), 0u);
    EXPECT_EQ(codes(requests(told(WM_VSCROLL), vertical)),
              (std::vector<uint32_t>{TB_THUMBTRACK, TB_THUMBPOSITION, TB_ENDTRACK}));
    EXPECT_EQ(SendMessage(vertical, TBM_GETPOS, 0, 0), 100);
}

TEST_F(BarsTest, TrackbarChannelPressPagesTowardThePointer) {
    HWND tb = control(kTrackbarClass, TBS_HORZ, 10, 10, 200, 30);
    g_log.clear();
    mouse(tb, WM_LBUTTONDOWN, 150, 15);  // position 77 lies there
    EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), 20);
    for (int i = 0; i < 10; ++i) {
        advance_clock(i ? kRepeatInterval : kRepeatDelay);
        pump();
    }
    EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), 77);  // stops under the pointer
    mouse(tb, WM_LBUTTONUP, 150, 15);
    EXPECT_EQ(codes(requests(g_log, tb)),
              (std::vector<uint32_t>{TB_PAGEDOWN, TB_PAGEDOWN, TB_PAGEDOWN, TB_PAGEDOWN, TB_ENDTRACK}));
}

TEST_F(BarsTest, TrackbarKeysMoveByLinePageAndToTheEnds) {
    struct Row {
        uint32_t style, vk;
        int32_t from, to;
        uint32_t request;
    };
    const Row rows[] = {
        {TBS_HORZ, VK_RIGHT, 50, 51, TB_LINEDOWN},  {TBS_HORZ, VK_LEFT, 50, 49, TB_LINEUP},
        {TBS_VERT, VK_DOWN, 50, 51, TB_LINEDOWN},   {TBS_VERT, VK_UP, 50, 49, TB_LINEUP},
        {TBS_VERT | TBS_DOWNISLEFT, VK_DOWN, 50, 49, TB_LINEUP},
        {TBS_VERT | TBS_DOWNISLEFT, VK_UP, 50, 51, TB_LINEDOWN},
        {TBS_HORZ, VK_NEXT, 50, 70, TB_PAGEDOWN},   {TBS_HORZ, VK_PRIOR, 10, 0, TB_PAGEUP},
        {TBS_HORZ, VK_HOME, 50, 0, TB_TOP},         {TBS_HORZ, VK_END, 50, 100, TB_BOTTOM},
        {TBS_HORZ, VK_RIGHT, 100, 100, TB_LINEDOWN},
    };
    for (const Row& row : rows) {
        HWND tb = control(kTrackbarClass, row.style, 10, 10, 150, 150);
        SendMessage(tb, TBM_SETPOS, 1, row.from);
        g_log.clear();
        key(tb, WM_KEYDOWN, row.vk);
        key(tb, WM_KEYUP, row.vk);
        EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), row.to) << row.style << " " << row.vk;
        EXPECT_EQ(codes(requests(g_log, tb)), (std::vector<uint32_t>{row.request, TB_ENDTRACK}))
            << row.style << " " << row.vk;
        DestroyWindow(tb);
    }
}

TEST_F(BarsTest, TrackbarRangeAndPositionStayConsistent) {
    HWND tb = control(kTrackbarClass, TBS_HORZ, 10, 10, 200, 30);
    struct Row {
        uint32_t message;
        intptr_t wParam, lParam;
        LRESULT answer;
        int32_t min, max, pos;
    };
    const Row rows[] = {
        {TBM_SETPOS, 1, 80, 0, 0, 100, 80},
        {TBM_SETRANGE, 1, 50 << 16 | 10, 0, 10, 50, 50},  // the position kept inside
        {TBM_SETPOS, 1, -5, 0, 10, 50, 10},
        {TBM_SETRANGEMIN, 1, 60, 0, 10, 50, 10},  // above the max: nothing changes
        {TBM_SETRANGEMAX, 1, 5, 0, 10, 50, 10},   // below the min: nothing changes
        {TBM_SETRANGEMAX, 0, 400, 0, 10, 400, 10},
        {TBM_SETPAGESIZE, 0, 40, 20, 10, 400, 10},  // answers the old size
        {TBM_SETPAGESIZE, 0, -3, 40, 10, 400, 10},  // not a size: kept
        {TBM_GETPAGESIZE, 0, 0, 40, 10, 400, 10},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SendMessage(tb, row.message, row.wParam, row.lParam), row.answer) << std::hex << row.message;
        EXPECT_EQ(SendMessage(tb, TBM_GETRANGEMIN, 0, 0), row.min) << std::hex << row.message;
        EXPECT_EQ(SendMessage(tb, TBM_GETRANGEMAX, 0, 0), row.max) << std::hex << row.message;
        EXPECT_EQ(SendMessage(tb, TBM_GETPOS, 0, 0), row.pos) << std::hex << row.message;
    }
}

TEST_F(BarsTest, ProgressRangeAndPosition) {
    HWND pb = control(kProgressClass, 0, 10, 10, 102, 20);
    struct Row {
        uint32_t message;
        intptr_t wParam, lParam;
        LRESULT answer;
        int32_t pos;
    };
    const Row rows[] = {
        {PBM_SETPOS, 40, 0, 0, 40},
        {PBM_SETPOS, 400, 0, 40, 100},                 // kept within the range; answers the old one
        {PBM_SETRANGE, 0, 50 << 16 | 0, 100 << 16, 50},  // answers the old pair
        {PBM_SETRANGE32, 60, 10, 0, 50},               // max below min: nothing changes
        {PBM_SETRANGE32, -10, 10, 50 << 16, 10},
        {PBM_GETRANGE, 1, 0, -10, 10},
        {PBM_GETRANGE, 0, 0, 10, 10},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SendMessage(pb, row.message, row.wParam, row.lParam), row.answer) << std::hex << row.message;
        EXPECT_EQ(SendMessage(pb, PBM_GETPOS, 0, 0), row.pos) << std::hex << row.message;
    }
}

TEST_F(BarsTest, ProgressFillsItsShareFromTheStart) {
    const COLORREF accent = light_palette().accent;
    const uint32_t filled = 0xFF000000u | (accent & 0xFF) << 16 | (accent & 0xFF00) | (accent >> 16 & 0xFF);
    HWND across = control(kProgressClass, 0, 10, 10, 102, 20);
    HWND up = control(kProgressClass, PBS_VERTICAL, 120, 10, 20, 102);
    for (HWND pb : {across, up}) SendMessage(pb, PBM_SETPOS, 25, 0);
    pump();
    Snapshot a(across, 102, 20), u(up, 20, 102);
    EXPECT_EQ(a.at(10, 10), filled);
    EXPECT_NE(a.at(60, 10), filled);
    EXPECT_EQ(u.at(10, 95), filled);
    EXPECT_NE(u.at(10, 40), filled);
    EXPECT_EQ(count_pixels(a, RECT{0, 10, 102, 11}, [&](uint32_t p) { return p == filled; }), 25);
}

}  // namespace
}  // namespace nuv::test::win
