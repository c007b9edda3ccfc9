// A popup menu on a real X server (run under xvfb-run with the x11 driver): opened at a client
// point of its owner, it shows there on the root window, pixel for pixel its window's frame;
// once closed, the owner shows again where it was. The first check runs from a timer inside the
// menu loop, which then closes the menu with Escape.
#include "host/menus/menus.h"
#include "host/win/cairo_lib.h"
#include "host/win/keys.h"
#include "host/win/sdl_source.h"
#include "tests/host/win_support.h"
// After the others: X's macros (None, Bool, True) would clash with their names.
#include "tests/host/x11_support.h"

namespace nuv::test::win {
namespace {

using namespace nuv::host::menus;

struct Check {
    Display* x = nullptr;
    HWND owner = 0;
    HMENU menu = 0;
    RECT shown{};
    bool same = false;
    int turns = 0;
} g_check;

// Whether the root window's pixels under the popup are the window's as PrintWindow draws them
// (compose_frame would take the screen's next frame from it).
bool screen_shows(HWND popup, const RECT& r) {
    const CairoLib* c = cairo_lib();
    cairo_surface_t* surface = c->image_surface_create(CAIRO_FORMAT_ARGB32, r.width(), r.height());
    cairo_t* cr = c->create(surface);
    const bool printed = PrintWindow(popup, cr, 0);
    c->destroy(cr);
    c->surface_flush(surface);
    XImage* image = XGetImage(g_check.x, DefaultRootWindow(g_check.x), r.left, r.top, static_cast<unsigned>(r.width()),
                              static_cast<unsigned>(r.height()), AllPlanes, ZPixmap);
    bool same = printed && image;
    const uint8_t* pixels = c->image_surface_get_data(surface);
    const int stride = c->image_surface_get_stride(surface);
    for (int32_t y = 0; y < r.height() && same; ++y)
        for (int32_t x = 0; x < r.width() && same; ++x) {
            const uint32_t want = reinterpret_cast<const uint32_t*>(pixels + static_cast<size_t>(y) * stride)[x];
            same = (XGetPixel(image, x, y) & 0xFFFFFF) == (want & 0xFFFFFF);
        }
    if (image) XDestroyImage(image);
    c->surface_destroy(surface);
    return same;
}

void look(HWND, uint32_t, uintptr_t, uint32_t) {
    RECT item;
    if (GetMenuItemRect(0, g_check.menu, 0, &item)) {
        const HWND popup = WindowFromPoint(POINT{item.left + 2, item.top + 2});
        GetWindowRect(popup, &g_check.shown);
        g_check.same = screen_shows(popup, g_check.shown);
    }
    if (g_check.same || ++g_check.turns > 100) post_input(MSG{g_check.owner, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}});
}

TEST(X11Menus, APopupMenuShowsAtItsPointOnTheScreen) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    g_check.x = XOpenDisplay(nullptr);
    ASSERT_NE(g_check.x, nullptr);
    g_check.owner = CreateWindowEx(0, recording_class(u"Recorder", 0xFFFFFFFF), u"owner", WS_VISIBLE, 0, 0, 300, 200,
                                   0, 0, nullptr);
    ASSERT_NE(g_check.owner, 0u);
    g_check.menu = CreatePopupMenu();
    AppendMenu(g_check.menu, MF_STRING, 1, u"&Copy\tCtrl+C");
    AppendMenu(g_check.menu, MF_SEPARATOR, 0, u"");
    AppendMenu(g_check.menu, MF_STRING, 2, u"Select &All");
    POINT at{20, 30};
    ClientToScreen(g_check.owner, &at);
    const uintptr_t timer = SetTimer(0, 0, 50, look);
    EXPECT_EQ(TrackPopupMenuEx(g_check.menu, TPM_RETURNCMD, at.x, at.y, g_check.owner), 0);
    KillTimer(0, timer);
    EXPECT_TRUE(g_check.same);
    EXPECT_EQ(g_check.shown.left, at.x);
    EXPECT_EQ(g_check.shown.top, at.y);
    // Where the popup was, the owner shows again once its screen window is exposed.
    const POINT middle{(g_check.shown.left + g_check.shown.right) / 2, (g_check.shown.top + g_check.shown.bottom) / 2};
    EXPECT_TRUE(run_until([&] { return root_pixel(g_check.x, middle.x, middle.y) == 0xFFFFFF; }, 3000));
    DestroyMenu(g_check.menu);
    DestroyWindow(g_check.owner);
    XCloseDisplay(g_check.x);
}

}  // namespace
}  // namespace nuv::test::win
