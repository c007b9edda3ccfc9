// The window model's painting: the composed snapshot by z-order, clipping and alpha, erasing
// and painting, window scroll bars, and Cairo loaded only at the first surface.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/win/cairo_lib.h"
#include "tests/host/win_support.h"

namespace nuv::test::win {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

TEST_F(WinTest, ChildrenComposeByZOrderAndClipping) {
    HWND parent = top(0, 0, 100, 100);
    HWND red = child(parent, 10, 10, 40, 40, WS_VISIBLE, 0, recording_class(u"Red", kRed));
    child(parent, 40, 40, 40, 40, WS_VISIBLE, 0, recording_class(u"Blue", kBlue));
    child(red, 30, 0, 30, 10, WS_VISIBLE, 0, recording_class(u"Green", kGreen));  // half outside red
    pump();
    struct Row {
        int32_t x, y;
        uint32_t colour;
    };
    const Row rows[] = {{5, 5, kWhite},  {20, 20, kRed},  {45, 45, kBlue},  {70, 70, kBlue},
                        {85, 85, kWhite}, {45, 15, kGreen}, {55, 15, kWhite}};
    {
        Snapshot shot(parent, 100, 100);
        ASSERT_TRUE(shot.printed());
        for (const Row& row : rows)
            EXPECT_EQ(shot.at(row.x, row.y), row.colour) << row.x << "," << row.y;
    }
    ASSERT_TRUE(frame_dirty(parent));
    Frame frame;
    ASSERT_TRUE(compose_frame(parent, &frame));
    EXPECT_FALSE(frame_dirty(parent));
    ASSERT_EQ(frame.width, 100);
    for (const Row& row : rows)
        EXPECT_EQ(*reinterpret_cast<const uint32_t*>(frame.pixels + row.y * frame.stride + row.x * 4), row.colour)
            << row.x << "," << row.y;

    BringWindowToTop(red);
    EXPECT_TRUE(frame_dirty(parent));
    Snapshot raised(parent, 100, 100);
    EXPECT_EQ(raised.at(45, 45), kRed);
}

TEST_F(WinTest, LayeredChildsAlphaMultipliesIt) {
    HWND parent = top(0, 0, 60, 60);
    HWND black = child(parent, 10, 10, 20, 20, WS_VISIBLE, WS_EX_LAYERED, recording_class(u"Black", 0xFF000000));
    ASSERT_TRUE(SetLayeredWindowAttributes(black, 0, 128, LWA_ALPHA));
    pump();
    Snapshot shot(parent, 60, 60);
    const int32_t red = (shot.at(15, 15) >> 16) & 0xFF;
    EXPECT_NEAR(red, 127, 2);
    EXPECT_EQ(shot.at(5, 5), kWhite);
}

TEST_F(WinTest, ChildClearedToTransparentShowsItsParent) {
    HWND parent = top(0, 0, 60, 60, WS_VISIBLE, 0, recording_class(u"Red", kRed));
    HWND clear = child(parent, 10, 10, 20, 20, WS_VISIBLE, 0, recording_class(u"Blue", kBlue));
    g_answer = [clear](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (self != clear || m != WM_PAINT) return std::nullopt;
        const CairoLib* c = cairo_lib();
        PAINTSTRUCT ps;
        cairo_t* cr = BeginPaint(self, &ps);
        c->set_operator(cr, CAIRO_OPERATOR_CLEAR);
        c->paint(cr);
        EndPaint(self, &ps);
        return 0;
    };
    pump();
    Snapshot shot(parent, 60, 60);
    EXPECT_EQ(shot.at(15, 15), kRed);
}

TEST_F(WinTest, InvalidateThenUpdateWindowPaintsBeforeReturning) {
    HWND h = top(0, 0, 40, 40);
    pump();
    PAINTSTRUCT seen;
    g_answer = [&](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m != WM_PAINT) return std::nullopt;
        BeginPaint(self, &seen);
        EndPaint(self, &seen);
        return 0;
    };
    g_log.clear();
    RECT part{5, 6, 10, 12};
    InvalidateRect(h, &part, true);
    UpdateWindow(h);
    ASSERT_EQ(logged(WM_PAINT).size(), 1u);
    ASSERT_EQ(logged(WM_ERASEBKGND).size(), 1u);
    EXPECT_EQ(seen.rcPaint.left, 5);
    EXPECT_EQ(seen.rcPaint.bottom, 12);
    EXPECT_FALSE(seen.fErase);  // the class brush erased it
    RECT left;
    EXPECT_FALSE(GetUpdateRect(h, &left));
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE));
}

TEST_F(WinTest, RedrawWindowPaintsTheTreeNowAndGetDcDrawsAtOnce) {
    HWND parent = top(0, 0, 40, 40);
    HWND inner = child(parent, 10, 10, 10, 10);
    pump();
    g_log.clear();
    RedrawWindow(parent, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_EQ(logged(WM_PAINT).size(), 2u);
    EXPECT_EQ(logged(WM_ERASEBKGND, inner).size(), 1u);
    Frame frame;
    compose_frame(parent, &frame);
    cairo_t* dc = GetDC(inner);
    ASSERT_NE(dc, nullptr);
    const CairoLib* c = cairo_lib();
    c->set_source_rgba(dc, 0, 1, 0, 1);
    c->paint(dc);
    ReleaseDC(inner, dc);
    EXPECT_TRUE(frame_dirty(parent));
    Snapshot shot(parent, 40, 40);
    EXPECT_EQ(shot.at(15, 15), kGreen);
    EXPECT_EQ(shot.at(25, 15), kWhite);
}

TEST_F(WinTest, ScrollBarNarrowsTheClientAndItsArrowsAndThumbScroll) {
    HWND parent = top(0, 0, 200, 200);
    HWND bars = child(parent, 20, 20, 100, 100, WS_VISIBLE | WS_VSCROLL);
    RECT client;
    GetClientRect(bars, &client);
    EXPECT_EQ(client.width(), 84);
    EXPECT_EQ(client.height(), 100);
    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = 99;
    info.nPage = 10;
    SetScrollInfo(bars, SB_VERT, &info, true);
    pump();
    struct Row {
        POINT at;
        intptr_t request;
    };
    const Row rows[] = {{{112, 115}, SB_LINEDOWN}, {{112, 25}, SB_LINEUP}, {{112, 90}, SB_PAGEDOWN}};
    for (const Row& row : rows) {
        g_log.clear();
        mouse_input(WM_LBUTTONDOWN, row.at, MK_LBUTTON);
        mouse_input(WM_LBUTTONUP, row.at, 0);
        advance_clock(1000);
        pump();
        ASSERT_EQ(logged(WM_NCLBUTTONDOWN, bars).size(), 1u);
        EXPECT_EQ(logged(WM_NCLBUTTONDOWN, bars)[0].wParam, HTVSCROLL);
        auto scrolls = logged(WM_VSCROLL, bars);
        ASSERT_EQ(scrolls.size(), 1u) << row.at.y;
        EXPECT_EQ(scrolls[0].wParam, row.request) << row.at.y;
        EXPECT_EQ(scrolls[0].lParam, 0);
    }
    // The thumb (window rows 16..24, 60 rows to travel over 90 positions) dragged by 30 rows.
    g_log.clear();
    mouse_input(WM_LBUTTONDOWN, POINT{112, 40}, MK_LBUTTON);
    pump();
    mouse_input(WM_MOUSEMOVE, POINT{112, 70}, MK_LBUTTON);
    mouse_input(WM_LBUTTONUP, POINT{112, 70}, 0);
    auto scrolls = logged(WM_VSCROLL, bars);
    ASSERT_EQ(scrolls.size(), 3u);
    EXPECT_EQ(scrolls[0].wParam, SB_THUMBTRACK | (45 << 16));
    EXPECT_EQ(scrolls[1].wParam, SB_THUMBPOSITION | (45 << 16));
    EXPECT_EQ(scrolls[2].wParam, SB_ENDSCROLL);
    info.fMask = SIF_TRACKPOS | SIF_POS;
    GetScrollInfo(bars, SB_VERT, &info);
    EXPECT_EQ(info.nTrackPos, 45);
    EXPECT_EQ(info.nPos, 0);  // the owner moves the thumb
    EXPECT_TRUE(logged(WM_MOUSEMOVE).empty());

    g_log.clear();
    ShowScrollBar(bars, SB_VERT, false);
    ASSERT_EQ(logged(WM_SIZE, bars).size(), 1u);
    EXPECT_EQ(logged(WM_SIZE, bars)[0].lParam, point_lparam(100, 100));
}

// The position stays within min .. max - page + 1 (max for an empty page), the page within the
// range's length.
TEST_F(WinTest, ScrollInfoClampsThePosition) {
    HWND h = top(0, 0, 50, 50, WS_VISIBLE | WS_VSCROLL);
    struct Row {
        int32_t min, max;
        uint32_t page;
        int32_t pos, want_pos;
        uint32_t want_page;
    };
    const Row rows[] = {
        {0, 100, 10, 200, 91, 10}, {0, 100, 10, -5, 0, 10},  {0, 100, 0, 150, 100, 0},
        {0, 100, 500, 50, 0, 101}, {10, 20, 5, 18, 16, 5},  {-50, -10, 1, -60, -50, 1},
    };
    for (const Row& row : rows) {
        SCROLLINFO info;
        info.fMask = SIF_ALL;
        info.nMin = row.min;
        info.nMax = row.max;
        info.nPage = row.page;
        info.nPos = row.pos;
        EXPECT_EQ(SetScrollInfo(h, SB_VERT, &info, true), row.want_pos) << row.min << ".." << row.max;
        SCROLLINFO read;
        read.fMask = SIF_ALL;
        ASSERT_TRUE(GetScrollInfo(h, SB_VERT, &read));
        EXPECT_EQ(read.nPos, row.want_pos);
        EXPECT_EQ(read.nPage, row.want_page);
    }
}

bool mapped(const char* library) {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find(library) != std::string::npos;
}

// Run in a process of its own: start-up loads neither library, the first window loads Cairo.
TEST(WinLoadingDeathTest, CairoLoadsAtTheFirstSurfaceAndSdlNotAtAll) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const bool before = mapped("libcairo") || mapped("libSDL2");
            HWND h = CreateWindowEx(0, recording_class(u"Recorder", kWhite), u"", 0, 0, 0, 10, 10, 0, 0, nullptr);
            std::exit(!before && h && mapped("libcairo") && !mapped("libSDL2") ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace nuv::test::win
