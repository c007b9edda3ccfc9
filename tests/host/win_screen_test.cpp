// The model on the screen (the offscreen driver): SDL's events reach the queue, the screen
// window follows the model, the test kit's replay, and displays of different DPI.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "host/images.h"
#include "host/win/cairo_lib.h"
#include "host/win/displays.h"
#include "host/win/sdl.h"
#include "host/win/sdl_source.h"
#include "tests/host/win_support.h"
#include "tests/temp_support.h"

namespace nuv::test::win {
namespace {

// Runs the loop as a program does until WM_QUIT; answers its code.
intptr_t run_loop() {
    MSG msg;
    while (GetMessage(&msg, 0, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    return msg.wParam;
}

std::string write_script(const char* name, const std::string& text) {
    const std::string path = nuv::test::temp_path(name);
    std::ofstream(path) << text;
    setenv("NUV_TEST_INPUT", path.c_str(), 1);
    return path;
}

using ScreenTest = WinTest;

TEST_F(ScreenTest, AWindowShownStartsVideoOnce) {
    HWND hidden = top(0, 0, 50, 50, 0);
    EXPECT_EQ(host::sdl::video_starts(), 0);
    EXPECT_EQ(screen_window_id(hidden), 0u);
    ShowWindow(hidden, SW_SHOW);
    HWND second = top(60, 0, 50, 50);
    EXPECT_EQ(host::sdl::video_starts(), 1);
    EXPECT_NE(screen_window_id(hidden), 0u);
    EXPECT_NE(screen_window_id(second), screen_window_id(hidden));
}

TEST_F(ScreenTest, ReplayGivesMessagesAndASnapshotEqualToPrintWindow) {
    const std::string png = nuv::test::temp_path("replay_out.png");
    std::remove(png.c_str());
    write_script("replay.txt", "click left 10 10\ntext ab\nsnapshot " + png + "\nclose\n");
    // The close ends the loop and keeps the window, to compare the snapshot with it.
    g_answer = [](HWND, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m != WM_CLOSE) return std::nullopt;
        PostQuitMessage(0);
        return 0;
    };
    HWND h = top(0, 0, 200, 100);
    child(h, 20, 20, 30, 30, WS_VISIBLE, 0, recording_class(u"RedBox", 0xFFFF0000));
    EXPECT_EQ(run_loop(), 0);
    EXPECT_FALSE(replay_ran_out());

    std::vector<Logged> input;
    for (const Logged& l : g_log)
        if (l.hwnd == h && (l.message == WM_LBUTTONDOWN || l.message == WM_LBUTTONUP || l.message == WM_CHAR))
            input.push_back(l);
    ASSERT_EQ(input.size(), 4u);
    EXPECT_EQ(input[0].message, WM_LBUTTONDOWN);
    EXPECT_EQ(input[0].lParam, point_lparam(10, 10));
    EXPECT_EQ(input[1].message, WM_LBUTTONUP);
    EXPECT_EQ(input[2].message, WM_CHAR);
    EXPECT_EQ(input[2].wParam, 'a');
    EXPECT_EQ(input[3].message, WM_CHAR);
    EXPECT_EQ(input[3].wParam, 'b');

    std::ifstream file(png, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    host::images::Pixels decoded;
    ASSERT_EQ(host::images::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &decoded),
              host::images::Status::Ok);
    ASSERT_EQ(decoded.width, 200);
    ASSERT_EQ(decoded.height, 100);
    const CairoLib& cairo = *cairo_lib();
    cairo_surface_t* surface = cairo.image_surface_create(CAIRO_FORMAT_ARGB32, 200, 100);
    cairo_t* cr = cairo.create(surface);
    ASSERT_TRUE(PrintWindow(h, cr, PW_RENDERFULLCONTENT));
    cairo.destroy(cr);
    cairo.surface_flush(surface);
    const uint8_t* printed = cairo.image_surface_get_data(surface);
    const int stride = cairo.image_surface_get_stride(surface);
    int differing = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            differing += std::memcmp(printed + y * stride + x * 4, decoded.data + (y * 200 + x) * 4, 4) != 0;
    EXPECT_EQ(differing, 0);
    const uint8_t* red = decoded.data + (30 * 200 + 30) * 4;
    EXPECT_EQ((std::vector<int>{red[0], red[1], red[2], red[3]}), (std::vector<int>{0, 0, 255, 255}));
    cairo.surface_destroy(surface);
    std::free(decoded.data);
}

TEST_F(ScreenTest, AReplayThatRunsOutEndsTheLoopWithItsCode) {
    write_script("short.txt", "move 5 5\n");
    top(0, 0, 100, 100);
    EXPECT_EQ(run_loop(), kReplayRanOut);
    EXPECT_TRUE(replay_ran_out());
    EXPECT_EQ(logged(WM_MOUSEMOVE).size(), 1u);
}

TEST_F(ScreenTest, OneChangeOneSize) {
    HWND h = top(0, 0, 200, 100);
    pump();
    const uint32_t id = screen_window_id(h);
    ASSERT_NE(id, 0u);
    auto push = [&](SDL_WindowEventID event, int32_t a, int32_t b) {
        SDL_Event e{};
        e.window.type = SDL_WINDOWEVENT;
        e.window.windowID = id;
        e.window.event = static_cast<uint8_t>(event);
        e.window.data1 = a;
        e.window.data2 = b;
        host::sdl::library()->push_event(&e);
    };
    struct Case {
        const char* what;
        std::function<void()> change;
        size_t sizes, moves;
        RECT after;
    };
    const Case cases[] = {
        {"our resize", [&] { SetWindowPos(h, 0, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER); }, 1, 0, {0, 0, 300, 200}},
        {"the user's resize, twice reported",
         [&] {
             push(SDL_WINDOWEVENT_RESIZED, 320, 240);
             push(SDL_WINDOWEVENT_SIZE_CHANGED, 320, 240);
         },
         1, 0, {0, 0, 320, 240}},
        {"a resize to the size it has", [&] { push(SDL_WINDOWEVENT_RESIZED, 320, 240); }, 0, 0, {0, 0, 320, 240}},
        {"the user's move", [&] { push(SDL_WINDOWEVENT_MOVED, 50, 60); }, 0, 1, {50, 60, 370, 300}},
        {"our move", [&] { SetWindowPos(h, 0, 5, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }, 0, 1, {5, 6, 325, 246}},
    };
    for (const Case& c : cases) {
        g_log.clear();
        c.change();
        pump();
        EXPECT_EQ(logged(WM_SIZE, h).size(), c.sizes) << c.what;
        EXPECT_EQ(logged(WM_MOVE, h).size(), c.moves) << c.what;
        RECT r;
        GetWindowRect(h, &r);
        EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}),
                  (std::vector<int>{c.after.left, c.after.top, c.after.right, c.after.bottom}))
            << c.what;
    }
}

// SDL's events as a user's actions make them, for the top-level window h's screen window.
struct Pushed {
    uint32_t id;
    void push(SDL_Event e) { host::sdl::library()->push_event(&e); }
    void text(uint32_t type, const char* text) {
        SDL_Event e{};
        e.type = type;
        if (type == SDL_TEXTEDITING) {
            e.edit.windowID = id;
            std::strcpy(e.edit.text, text);
        } else {
            e.text.windowID = id;
            std::strcpy(e.text.text, text);
        }
        push(e);
    }
    void window(SDL_WindowEventID event) {
        SDL_Event e{};
        e.window.type = SDL_WINDOWEVENT;
        e.window.windowID = id;
        e.window.event = static_cast<uint8_t>(event);
        push(e);
    }
    void wheel(int32_t notches, int32_t x, int32_t y) {
        SDL_Event e{};
        e.wheel.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = id;
        e.wheel.y = notches;
        e.wheel.mouseX = x;
        e.wheel.mouseY = y;
        push(e);
    }
};

TEST_F(ScreenTest, EventsReachTheFocusTheWindowUnderThePointerAndTheTopLevelWindow) {
    HWND h = top(0, 0, 200, 100);
    HWND other = top(300, 0, 100, 100);
    HWND c = child(h, 20, 20, 50, 50);
    SetActiveWindow(h);
    SetFocus(c);
    pump();
    g_log.clear();
    Pushed sdl{screen_window_id(h)};
    // An input method's composition and its commit go to the focus.
    sdl.text(SDL_TEXTEDITING, "e");
    sdl.text(SDL_TEXTINPUT, "\xC3\xA9");
    // The wheel goes to the window under the pointer, not the focus.
    sdl.wheel(1, 100, 80);
    pump();
    // Closing the screen window asks the window to close (posted: it comes before input).
    sdl.window(SDL_WINDOWEVENT_CLOSE);
    pump();
    std::vector<std::pair<HWND, uint32_t>> got;
    for (const Logged& l : g_log)
        if (l.message == WM_IME_STARTCOMPOSITION || l.message == WM_IME_ENDCOMPOSITION || l.message == WM_CHAR ||
            l.message == WM_MOUSEWHEEL || l.message == WM_CLOSE)
            got.push_back({l.hwnd, l.message});
    EXPECT_EQ(got, (std::vector<std::pair<HWND, uint32_t>>{{c, WM_IME_STARTCOMPOSITION},
                                                            {c, WM_CHAR},
                                                            {c, WM_IME_ENDCOMPOSITION},
                                                            {h, WM_MOUSEWHEEL},
                                                            {h, WM_CLOSE}}));
    EXPECT_EQ(logged(WM_CHAR, c).at(0).wParam, 0xE9);
    EXPECT_EQ(logged(WM_MOUSEWHEEL, h).at(0).wParam >> 16, 120);
    EXPECT_FALSE(IsWindow(h));

    // The screen window's focus activates its window.
    Pushed{screen_window_id(other)}.window(SDL_WINDOWEVENT_FOCUS_GAINED);
    pump();
    EXPECT_EQ(GetActiveWindow(), other);
}

TEST_F(ScreenTest, TheCaretIsKeptPerProcess) {
    HWND h = top(0, 0, 200, 100);
    POINT p;
    EXPECT_FALSE(SetCaretPos(1, 2));
    EXPECT_TRUE(CreateCaret(h, 2, 16));
    EXPECT_TRUE(SetCaretPos(30, 40));
    ASSERT_TRUE(GetCaretPos(&p));
    EXPECT_EQ(p.x, 30);
    EXPECT_EQ(p.y, 40);
    EXPECT_TRUE(DestroyCaret());
    EXPECT_FALSE(GetCaretPos(&p));
    EXPECT_FALSE(DestroyCaret());
}

TEST_F(ScreenTest, TheScreenShowsTheCursorTheWindowsSettleOn) {
    const std::u16string hand = u"HandBox";
    WNDCLASS cls;
    cls.name = hand;
    cls.proc = recording_proc;
    cls.cursor = LoadCursor(IDC_HAND);
    RegisterClass(cls);
    HWND parent = top(100, 100, 60, 60);
    child(parent, 10, 10, 20, 20, WS_VISIBLE, 0, hand);
    pump();
    SetCursor(0);
    mouse_input(WM_MOUSEMOVE, POINT{115, 115}, 0);
    EXPECT_EQ(screen_cursor(), IDC_HAND);

    // The parent's answer wins over the child's class cursor.
    g_answer = [&](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m != WM_SETCURSOR || self != parent) return std::nullopt;
        SetCursor(LoadCursor(IDC_CROSS));
        return 1;
    };
    mouse_input(WM_MOUSEMOVE, POINT{116, 115}, 0);
    EXPECT_EQ(screen_cursor(), IDC_CROSS);
    EXPECT_EQ(LoadCursor(12345), 0u);
}

TEST_F(ScreenTest, ACursorFromPixelsIsShownAndFreed) {
    top(0, 0, 50, 50);
    const uint32_t pixels[6] = {0xFFFF0000, 0x80FFFFFF, 0, 0xFF000000, 0xFF00FF00, 0xFF0000FF};
    struct Bad {
        int32_t hot_x, hot_y, width, height;
        const uint32_t* argb;
    };
    for (const Bad& bad : {Bad{0, 0, 3, 2, nullptr}, Bad{0, 0, 0, 2, pixels}, Bad{3, 0, 3, 2, pixels},
                           Bad{0, -1, 3, 2, pixels}, Bad{0, 0, 257, 1, pixels}})
        EXPECT_EQ(CreateCursor(bad.hot_x, bad.hot_y, bad.width, bad.height, bad.argb), 0u);

    const size_t held = screen_cursors();
    const HCURSOR made = CreateCursor(2, 1, 3, 2, pixels);
    ASSERT_NE(made, 0u);
    SetCursor(made);
    EXPECT_EQ(screen_cursor(), made);
    EXPECT_EQ(screen_cursors(), held + 1);
    EXPECT_TRUE(DestroyCursor(made));
    EXPECT_EQ(screen_cursors(), held);
    EXPECT_EQ(screen_cursor(), 0u);
    EXPECT_EQ(GetCursor(), 0u);
    // The stale id is refused everywhere; a standard cursor is not the caller's to free.
    EXPECT_FALSE(DestroyCursor(made));
    EXPECT_EQ(SetCursor(made), 0u);
    EXPECT_EQ(GetCursor(), 0u);
    EXPECT_FALSE(DestroyCursor(IDC_ARROW));
}

TEST_F(ScreenTest, AWindowMovedOntoADisplayOfAnotherDpiIsTold) {
    setenv("NUV_TEST_SCREENS", "1920x1080@144,1280x1024@96+1920+0", 1);
    HWND h = top(100, 100, 200, 100);
    EXPECT_EQ(MonitorFromWindow(h), 1u);
    EXPECT_EQ(GetDpiForWindow(h), 144u);
    g_log.clear();
    SetWindowPos(h, 0, 2000, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const auto told = logged(WM_DPICHANGED, h);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].wParam, 96 | 96 << 16);
    EXPECT_EQ(MonitorFromWindow(h), 2u);
    EXPECT_EQ(GetDpiForWindow(h), 96u);
    SetWindowPos(h, 0, 2100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(logged(WM_DPICHANGED, h).size(), 1u);
    unsetenv("NUV_TEST_SCREENS");
}

TEST_F(ScreenTest, FramesAreSizedByTheDisplaysDpi) {
    setenv("NUV_TEST_SCREENS", "1920x1080@144,1280x1024@96+1920+0", 1);
    HWND h = top(100, 100, 200, 150, WS_VISIBLE | WS_BORDER);
    SetMenu(h, 1);
    HWND bars = child(h, 0, 0, 100, 100, WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, WS_EX_CLIENTEDGE);
    RECT r;
    POINT origin{};
    // At 144 DPI: bars 24, client edge 3, border 1, menu-bar strip 30.
    ASSERT_TRUE(GetClientRect(bars, &r));
    EXPECT_EQ(r.right, 100 - 24 - 2 * 3);
    EXPECT_EQ(r.bottom, 100 - 24 - 2 * 3);
    ASSERT_TRUE(ClientToScreen(h, &origin));
    EXPECT_EQ(origin.y, 100 + 1 + 30);
    RECT adjusted{0, 0, 10, 10};
    AdjustWindowRectEx(&adjusted, 0, false, WS_EX_CLIENTEDGE);  // no window: the first display's DPI
    EXPECT_EQ(adjusted.right - adjusted.left, 10 + 2 * 3);

    // Moved onto the 96-DPI display, the tree is sized anew once WM_DPICHANGED has been sent.
    g_log.clear();
    SetWindowPos(h, 0, 2000, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_EQ(logged(WM_DPICHANGED, h).size(), 1u);
    ASSERT_TRUE(GetClientRect(bars, &r));
    EXPECT_EQ(r.right, 100 - 16 - 2 * 2);
    // The child is told its new client after the top-level window heard of the DPI.
    size_t told = 0, sized = 0;
    for (size_t i = 0; i < g_log.size(); ++i) {
        if (g_log[i].message == WM_DPICHANGED) told = i;
        if (g_log[i].message == WM_SIZE && g_log[i].hwnd == bars) sized = i;
    }
    EXPECT_GT(sized, told);
    EXPECT_EQ(g_log[sized].lParam, point_lparam(100 - 16 - 4, 100 - 16 - 4));
    origin = {};
    ClientToScreen(h, &origin);
    EXPECT_EQ(origin.y, 100 + 1 + 20);
    unsetenv("NUV_TEST_SCREENS");
}

}  // namespace
}  // namespace nuv::test::win
