// The model on a real X server (run under xvfb-run with the x11 driver): a frame shown reaches
// the screen, and a key pressed there reaches the focused window as WM_KEYDOWN, WM_CHAR, WM_KEYUP.
// X is read and driven from a second connection; the test's input comes through XTest, loaded
// as the test runs.
#include <dlfcn.h>

#include "host/win/sdl_source.h"
#include "tests/host/win_support.h"
// After the others: X's macros (None, Bool, True) would clash with their names.
#include "tests/host/x11_support.h"
#include <X11/keysym.h>

namespace nuv::test::win {
namespace {

struct XTest {
    int (*motion)(Display*, int screen, int x, int y, unsigned long delay);
    int (*key)(Display*, unsigned keycode, Bool press, unsigned long delay);
};

bool load_xtest(XTest* x) {
    void* lib = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
    x->motion = reinterpret_cast<decltype(x->motion)>(dlsym(lib, "XTestFakeMotionEvent"));
    x->key = reinterpret_cast<decltype(x->key)>(dlsym(lib, "XTestFakeKeyEvent"));
    return x->motion && x->key;
}

TEST(X11Screen, AFrameReachesTheScreenAndAKeyTheWindow) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    XTest xtest;
    ASSERT_TRUE(load_xtest(&xtest));

    HWND h = CreateWindowEx(0, recording_class(u"Recorder", 0xFFFFFFFF), u"x11", WS_VISIBLE, 0, 0, 200, 100, 0, 0,
                            nullptr);
    ASSERT_NE(h, 0u);
    CreateWindowEx(0, recording_class(u"RedBox", 0xFFFF0000), u"", WS_CHILD | WS_VISIBLE, 20, 20, 30, 30, h, 0,
                   nullptr);
    EXPECT_TRUE(run_until([&] { return root_pixel(x, 30, 30) == 0xFF0000; }, 5000));
    EXPECT_EQ(root_pixel(x, 10, 10), 0xFFFFFFu);

    // With no window manager the keys follow the pointer.
    xtest.motion(x, -1, 100, 50, 0);
    XFlush(x);
    run_until([] { return false; }, 200);
    g_log.clear();
    const KeyCode a = XKeysymToKeycode(x, XK_a);
    xtest.key(x, a, True, 0);
    xtest.key(x, a, False, 0);
    XFlush(x);
    EXPECT_TRUE(run_until([] { return !logged(WM_KEYUP).empty(); }, 5000));
    std::vector<Logged> keys;
    for (const Logged& l : g_log)
        if (l.message == WM_KEYDOWN || l.message == WM_CHAR || l.message == WM_KEYUP) keys.push_back(l);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].message, WM_KEYDOWN);
    EXPECT_EQ(keys[0].wParam, 'A');
    EXPECT_EQ(keys[1].message, WM_CHAR);
    EXPECT_EQ(keys[1].wParam, 'a');
    EXPECT_EQ(keys[2].message, WM_KEYUP);
    for (const Logged& k : keys) EXPECT_EQ(k.hwnd, h);
    DestroyWindow(h);
    XCloseDisplay(x);
}

}  // namespace
}  // namespace nuv::test::win
