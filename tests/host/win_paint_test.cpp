// The window model's painting: the composed snapshot by z-order, clipping and alpha, erasing
// and painting, window scroll bars, and Cairo loaded only at the first surface.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/maps_support.h"
#include "host/win/cairo_lib.h"
#include "host/win/model.h"
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

// A WM_PAINT answer that paints the whole client red inside BeginPaint (so only what was invalid
// takes it), noting rcPaint.
std::function<std::optional<LRESULT>(HWND, uint32_t, intptr_t, intptr_t)> paint_red(RECT* painted = nullptr) {
    return [painted](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m != WM_PAINT) return std::nullopt;
        const CairoLib* c = cairo_lib();
        PAINTSTRUCT ps;
        BeginPaint(self, &ps);
        if (painted) *painted = ps.rcPaint;
        c->set_source_rgba(ps.hdc, 1, 0, 0, 1);
        c->paint(ps.hdc);
        EndPaint(self, &ps);
        return 0;
    };
}

// A 200×200 window made valid, then invalidated and validated by parts; its procedure paints
// the whole client red, and only what stayed invalid turns red.
TEST_F(WinTest, PaintingReachesOnlyTheInvalidRectangles) {
    struct Row {
        std::vector<RECT> invalidated, validated;
        RECT bounds;  // GetUpdateRect and rcPaint; empty: nothing to paint
        std::vector<POINT> red, white;
    };
    const Row rows[] = {
        {{{0, 0, 20, 20}, {180, 180, 200, 200}},
         {},
         {0, 0, 200, 200},
         {{0, 0}, {19, 19}, {180, 180}, {199, 199}},
         {{20, 20}, {100, 100}, {5, 195}, {195, 5}, {179, 179}}},
        {{{0, 0, 200, 200}},
         {{50, 50, 150, 150}},
         {0, 0, 200, 200},
         {{49, 100}, {150, 100}, {100, 49}, {100, 150}, {0, 0}},
         {{50, 50}, {100, 100}, {149, 149}}},
        {{{10, 10, 30, 30}}, {{0, 0, 20, 40}}, {20, 10, 30, 30}, {{20, 10}, {29, 29}}, {{19, 10}, {30, 29}}},
        {{{10, 10, 30, 30}, {15, 15, 25, 25}}, {{0, 0, 20, 40}, {20, 0, 40, 40}}, {}, {}, {{15, 15}, {25, 25}}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(i);
        HWND h = top(0, 0, 200, 200);
        pump();
        g_log.clear();
        RECT painted{-1, -1, -1, -1};
        g_answer = paint_red(&painted);
        for (const RECT& r : row.invalidated) InvalidateRect(h, &r, false);
        for (const RECT& r : row.validated) ValidateRect(h, &r);
        RECT bounds;
        const bool invalid = GetUpdateRect(h, &bounds);
        EXPECT_EQ(invalid, row.bounds.width() > 0);
        if (invalid) {
            EXPECT_EQ(bounds.left, row.bounds.left);
            EXPECT_EQ(bounds.top, row.bounds.top);
            EXPECT_EQ(bounds.right, row.bounds.right);
            EXPECT_EQ(bounds.bottom, row.bounds.bottom);
        }
        pump();
        EXPECT_EQ(logged(WM_PAINT).size(), invalid ? 1u : 0u);
        if (invalid) {
            EXPECT_EQ(painted.left, row.bounds.left);
            EXPECT_EQ(painted.bottom, row.bounds.bottom);
        }
        Snapshot shot(h, 200, 200);
        for (POINT p : row.red) EXPECT_EQ(shot.at(p.x, p.y), kRed) << p.x << "," << p.y;
        for (POINT p : row.white) EXPECT_EQ(shot.at(p.x, p.y), kWhite) << p.x << "," << p.y;
        g_answer = nullptr;
        DestroyWindow(h);
    }
}

// Many scattered rectangles stay a few: the region is bounded, still covers every one, and
// taking the rest away leaves nothing to paint.
TEST_F(WinTest, AnInvalidRegionStaysBoundedAndCoversAllItWasGiven) {
    HWND h = top(0, 0, 200, 200);
    pump();
    std::vector<POINT> spots;
    for (int32_t i = 0; i < 1000; ++i) spots.push_back(POINT{(i * 37) % 199, (i * 91) % 197});
    for (POINT p : spots) {
        RECT r{p.x, p.y, p.x + 1, p.y + 1};
        InvalidateRect(h, &r, false);
        ASSERT_LE(model::live(h)->invalid.rects.size(), model::Region::kMaxRects);
    }
    g_answer = paint_red();
    UpdateWindow(h);
    {
        Snapshot shot(h, 200, 200);
        for (POINT p : spots) ASSERT_EQ(shot.at(p.x, p.y), kRed) << p.x << "," << p.y;
    }
    // Stripes taken away one by one from a white window: each cut may split every rectangle,
    // the bound holds, and the columns left between the stripes are still painted.
    RECT all{0, 0, 200, 200};
    const CairoLib* c = cairo_lib();
    cairo_t* dc = GetDC(h);
    c->set_source_rgba(dc, 1, 1, 1, 1);
    c->paint(dc);
    ReleaseDC(h, dc);
    InvalidateRect(h, &all, false);
    for (int32_t x = 0; x < 200; x += 2) {
        RECT stripe{x, 0, x + 1, 200};
        ValidateRect(h, &stripe);
        ASSERT_LE(model::live(h)->invalid.rects.size(), model::Region::kMaxRects);
    }
    RECT left;
    ASSERT_TRUE(GetUpdateRect(h, &left));
    UpdateWindow(h);
    Snapshot shot(h, 200, 200);
    for (int32_t x = 1; x < 200; x += 2) ASSERT_EQ(shot.at(x, (x * 13) % 200), kRed) << x;
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

// Run in a process of its own: start-up loads neither library, the first window loads Cairo.
TEST(WinLoadingDeathTest, CairoLoadsAtTheFirstSurfaceAndSdlNotAtAll) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const bool before = test::mapped("libcairo") || test::mapped("libSDL2");
            HWND h = CreateWindowEx(0, recording_class(u"Recorder", kWhite), u"", 0, 0, 0, 10, 10, 0, 0, nullptr);
            std::exit(!before && h && test::mapped("libcairo") && !test::mapped("libSDL2") ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace nuv::test::win
