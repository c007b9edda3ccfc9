// The window model's queue: the order messages are taken in, the quit request, paint and timer
// messages made only when nothing else waits, nested loops, another thread's posts, the default
// procedure's answers and the routing of mouse input.
#include <thread>

#include "tests/host/win_support.h"

namespace nuv::test::win {
namespace {

std::vector<uint32_t> taken_messages(int limit = 100) {
    std::vector<uint32_t> out;
    MSG msg;
    while (limit-- > 0 && PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        out.push_back(msg.message);
        DispatchMessage(&msg);
    }
    return out;
}

TEST_F(WinTest, PostedMessagesComeInOrderAndSentOnesAnswerAtOnce) {
    HWND h = top(0, 0, 20, 20);
    pump();
    g_answer = [](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m == WM_USER + 1) return SendMessage(self, WM_USER + 10, 0, 0) + 1;
        if (m == WM_USER + 10) return 5;
        return std::nullopt;
    };
    g_log.clear();
    for (uint32_t m : {WM_USER + 1, WM_USER + 2, WM_USER + 3}) PostMessage(h, m, 0, 0);
    EXPECT_EQ(taken_messages(), (std::vector<uint32_t>{WM_USER + 1, WM_USER + 2, WM_USER + 3}));
    std::vector<uint32_t> seen;
    for (const Logged& l : g_log) seen.push_back(l.message);
    EXPECT_EQ(seen, (std::vector<uint32_t>{WM_USER + 1, WM_USER + 10, WM_USER + 2, WM_USER + 3}));
}

// Two quit requests before the loop takes WM_QUIT give one, after posted and input messages and
// before the paint.
TEST_F(WinTest, QuitComesAfterPostedAndInputAndBeforePaint) {
    HWND h = top(0, 0, 20, 20);
    pump();
    InvalidateRect(h, nullptr, true);
    post_input(MSG{h, WM_KEYDOWN, 0x41, 0, 0, {}});
    PostMessage(h, WM_USER, 0, 0);
    PostQuitMessage(3);
    PostQuitMessage(5);
    MSG msg;
    std::vector<uint32_t> order;
    while (GetMessage(&msg, 0, 0, 0)) {
        order.push_back(msg.message);
        DispatchMessage(&msg);
    }
    EXPECT_EQ(msg.wParam, 5);
    EXPECT_EQ(order, (std::vector<uint32_t>{WM_USER, WM_KEYDOWN}));
    EXPECT_EQ(taken_messages(), (std::vector<uint32_t>{WM_PAINT}));
}

TEST_F(WinTest, PaintComesOnlyForAnInvalidRegionAndAnEmptyQueue) {
    HWND h = top(0, 0, 20, 20);
    pump();
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE));
    InvalidateRect(h, nullptr, false);
    PostMessage(h, WM_USER, 0, 0);
    EXPECT_EQ(taken_messages(), (std::vector<uint32_t>{WM_USER, WM_PAINT}));
    EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE));
    // A procedure that never validates is not asked again and again.
    g_answer = [](HWND, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        return m == WM_PAINT ? std::optional<LRESULT>(0) : std::nullopt;
    };
    InvalidateRect(h, nullptr, false);
    EXPECT_EQ(taken_messages(), (std::vector<uint32_t>{WM_PAINT}));
    // One that asks again while it paints is painted again.
    int rounds = 0;
    g_answer = [&](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        BeginPaint(self, &ps);
        EndPaint(self, &ps);
        if (++rounds < 3) InvalidateRect(self, nullptr, false);
        return 0;
    };
    InvalidateRect(h, nullptr, false);
    EXPECT_EQ(taken_messages(), (std::vector<uint32_t>{WM_PAINT, WM_PAINT, WM_PAINT}));
    // A hidden window is not painted.
    ShowWindow(h, SW_HIDE);
    InvalidateRect(h, nullptr, false);
    EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE));
}

int g_timer_proc_calls = 0;
void count_timer(HWND, uint32_t message, uintptr_t, uint32_t) { g_timer_proc_calls += message == WM_TIMER; }

int timers_taken() {
    int n = 0;
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        n += msg.message == WM_TIMER;
        DispatchMessage(&msg);
    }
    return n;
}

TEST_F(WinTest, TimersRunOnTheManualClock) {
    HWND h = top(0, 0, 20, 20);
    pump();
    ASSERT_EQ(SetTimer(h, 1, 100, nullptr), 1u);
    int ticks = 0;
    for (int ms = 0; ms < 1000; ++ms) {
        advance_clock(1);
        ticks += timers_taken();
    }
    EXPECT_EQ(ticks, 10);
    // Nothing waits behind a timer; one WM_TIMER stands for every interval missed.
    advance_clock(350);
    PostMessage(h, WM_USER, 0, 0);
    EXPECT_EQ(taken_messages(), (std::vector<uint32_t>{WM_USER, WM_TIMER}));
    ASSERT_TRUE(KillTimer(h, 1));
    advance_clock(500);
    EXPECT_EQ(timers_taken(), 0);

    // The shortest interval is 10 ms; a TimerProc runs in place of the window's procedure.
    const uintptr_t id = SetTimer(0, 0, 1, count_timer);
    ASSERT_NE(id, 0u);
    advance_clock(9);
    EXPECT_EQ(timers_taken(), 0);
    advance_clock(1);
    g_log.clear();
    EXPECT_EQ(timers_taken(), 1);
    EXPECT_EQ(g_timer_proc_calls, 1);
    EXPECT_TRUE(logged(WM_TIMER).empty());
    KillTimer(0, id);
}

TEST_F(WinTest, GetMessageWaitsForTheNextTimerOnTheManualClock) {
    HWND h = top(0, 0, 20, 20);
    pump();
    SetTimer(h, 4, 250, nullptr);
    const uint32_t before = GetTickCount();
    MSG msg;
    ASSERT_EQ(GetMessage(&msg, 0, 0, 0), 1);
    EXPECT_EQ(msg.message, WM_TIMER);
    EXPECT_EQ(msg.wParam, 4);
    EXPECT_EQ(GetTickCount() - before, 250u);
    KillTimer(h, 4);
    Sleep(40);
    EXPECT_EQ(GetTickCount() - before, 290u);
}

std::vector<std::string> g_ends;

TEST_F(WinTest, NestedLoopsEndInnermostFirst) {
    HWND h = top(0, 0, 20, 20);
    pump();
    g_answer = [](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m == WM_USER + 1) {
            PostMessage(self, WM_USER + 2, 0, 0);
            MSG inner;
            while (GetMessage(&inner, 0, 0, 0)) DispatchMessage(&inner);
            g_ends.push_back("inner " + std::to_string(inner.wParam));
            PostQuitMessage(2);
            return 0;
        }
        if (m == WM_USER + 2) PostQuitMessage(1);
        return std::nullopt;
    };
    PostMessage(h, WM_USER + 1, 0, 0);
    MSG outer;
    while (GetMessage(&outer, 0, 0, 0)) DispatchMessage(&outer);
    g_ends.push_back("outer " + std::to_string(outer.wParam));
    EXPECT_EQ(g_ends, (std::vector<std::string>{"inner 1", "outer 2"}));
}

TEST_F(WinTest, AnotherThreadsPostWakesTheLoop) {
    HWND h = top(0, 0, 20, 20);
    pump();
    std::thread poster([h] { PostMessage(h, WM_USER + 5, 1, 2); });
    MSG msg;
    ASSERT_EQ(GetMessage(&msg, 0, 0, 0), 1);
    poster.join();
    EXPECT_EQ(msg.hwnd, h);
    EXPECT_EQ(msg.message, WM_USER + 5);
    EXPECT_EQ(msg.lParam, 2);
}

TEST_F(WinTest, MessagePosIsTheTakenMessagesPoint) {
    HWND h = top(0, 0, 20, 20);
    pump();
    post_input(MSG{h, WM_KEYDOWN, 0x41, 0, 0, POINT{12, -34}});
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessagePos(), static_cast<uint32_t>(point_lparam(12, -34)));
}

TEST_F(WinTest, DefaultProcedureClosesAndAsksTheParentForTheCursor) {
    HWND parent = top(100, 100, 60, 60);
    HWND inner = child(parent, 10, 10, 20, 20);
    pump();
    bool parent_answers = true;
    g_answer = [&](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m == WM_SETCURSOR && self == parent && parent_answers) return 1;
        return std::nullopt;
    };
    SetCursor(0);
    mouse_input(WM_MOUSEMOVE, POINT{115, 115}, 0);
    ASSERT_EQ(logged(WM_SETCURSOR).size(), 2u);
    EXPECT_EQ(logged(WM_SETCURSOR)[0].hwnd, inner);
    EXPECT_EQ(logged(WM_SETCURSOR)[1].hwnd, parent);
    EXPECT_EQ(GetCursor(), 0u);
    parent_answers = false;
    mouse_input(WM_MOUSEMOVE, POINT{116, 115}, 0);
    EXPECT_EQ(GetCursor(), IDC_ARROW);  // the class cursor

    PostMessage(parent, WM_CLOSE, 0, 0);
    pump();
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(inner));
}

TEST_F(WinTest, MouseInputGoesToTheCaptureHolderAndMakesDoubleClicks) {
    recording_class(u"PlainRecorder", 0xFFFFFFFF);
    HWND h = top(100, 100, 50, 50);
    HWND plain = top(300, 100, 50, 50, WS_VISIBLE, 0, u"PlainRecorder");
    pump();
    g_log.clear();
    auto clicks = [](POINT at) {
        for (uint32_t m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}) {
            mouse_input(m, at, 0);
            advance_clock(100);
        }
        return taken_messages();
    };
    EXPECT_EQ(clicks(POINT{110, 110}),
              (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
    EXPECT_EQ(clicks(POINT{310, 110}), (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_EQ(GetActiveWindow(), plain);

    SetCapture(h);
    g_log.clear();
    mouse_input(WM_MOUSEMOVE, POINT{90, 80}, MK_LBUTTON);
    pump();
    ASSERT_EQ(logged(WM_MOUSEMOVE).size(), 1u);
    EXPECT_EQ(logged(WM_MOUSEMOVE)[0].hwnd, h);
    EXPECT_EQ(logged(WM_MOUSEMOVE)[0].lParam, point_lparam(-10, -20));
    ReleaseCapture();
    mouse_input(WM_MOUSEWHEEL, POINT{120, 120}, WHEEL_DELTA << 16);
    pump();
    ASSERT_EQ(logged(WM_MOUSEWHEEL).size(), 1u);
    EXPECT_EQ(logged(WM_MOUSEWHEEL)[0].hwnd, h);
    EXPECT_EQ(logged(WM_MOUSEWHEEL)[0].lParam, point_lparam(120, 120));
}

TEST_F(WinTest, LeavingATrackedWindowOrEnteringItsChildSendsMouseLeave) {
    HWND parent = top(100, 100, 60, 60);
    HWND inner = child(parent, 30, 30, 20, 20);
    pump();
    struct Row {
        POINT to;
        HWND leaves;  // 0: no WM_MOUSELEAVE
    };
    const Row rows[] = {{{105, 105}, 0}, {{135, 135}, parent}, {{300, 300}, inner}};
    HWND tracked = 0;
    for (const Row& row : rows) {
        g_log.clear();
        mouse_input(WM_MOUSEMOVE, row.to, 0);
        pump();
        auto leaves = logged(WM_MOUSELEAVE);
        ASSERT_EQ(leaves.size(), row.leaves ? 1u : 0u) << row.to.x;
        if (row.leaves) {
            EXPECT_EQ(leaves[0].hwnd, row.leaves);
        }
        auto moves = logged(WM_MOUSEMOVE);
        tracked = moves.empty() ? 0 : moves[0].hwnd;
        if (tracked) {
            TRACKMOUSEEVENT track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = tracked;
            TrackMouseEvent(&track);
        }
    }
    EXPECT_EQ(tracked, 0u);
}

TEST_F(WinTest, TransparentHitPassesToTheWindowBeneath) {
    HWND parent = top(0, 0, 60, 60);
    HWND below = child(parent, 0, 0, 40, 40);
    HWND above = child(parent, 10, 10, 40, 40);
    g_answer = [above](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        return self == above && m == WM_NCHITTEST ? std::optional<LRESULT>(HTTRANSPARENT) : std::nullopt;
    };
    EXPECT_EQ(WindowFromPoint(POINT{20, 20}), below);
    EXPECT_EQ(WindowFromPoint(POINT{45, 45}), parent);
}

}  // namespace
}  // namespace nuv::test::win
