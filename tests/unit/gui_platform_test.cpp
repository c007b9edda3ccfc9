// The view platform's routines on a face that has a window: redraw repaints it at once,
// set-dark-mode switches its palette; a face without one is left alone.
#include <gtest/gtest.h>

#include "host/controls/controls.h"
#include "host/win/window.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/symbol.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui {
namespace {

namespace win = host::win;

int g_paints = 0;

win::LRESULT counting_proc(win::HWND h, uint32_t m, intptr_t w, intptr_t l) {
    if (m == win::WM_PAINT) {
        g_paints++;
        win::PAINTSTRUCT paint;
        win::BeginPaint(h, &paint);
        win::EndPaint(h, &paint);
        return 0;
    }
    return win::DefWindowProc(h, m, w, l);
}

// A top-level window held by the word `h` as a window handle!.
win::HWND made_window() {
    win::WNDCLASS cls;
    cls.name = u"GuiPlatformTest";
    cls.proc = counting_proc;
    win::RegisterClass(cls);
    const win::HWND hwnd = win::CreateWindowEx(0, cls.name, u"", 0, 0, 0, 40, 30, 0, 0, nullptr);
    test::StackScope scope;
    context::set_global(symbol::make_cstr("h"), handle::push(static_cast<int32_t>(hwnd), handle::Kind::Window));
    return hwnd;
}

TEST(GuiPlatform, RoutinesOnAFacesWindow) {
    const win::HWND hwnd = made_window();
    ASSERT_NE(hwnd, 0u);
    win::UpdateWindow(hwnd);
    g_paints = 0;
    test::check_cases({
        {"p: system/view/platform f: object [type: 'window offset: size: text: image: color: menu: data: enabled?: "
         "visible?: selected: flags: options: parent: pane: state: none] 0",
         "0"},
        {"g: make f [state: reduce [h 0]] p/redraw g", "none"},
        {"p/refresh-window h", "none"},
        {"p/set-dark-mode g true", "none"},
    });
    EXPECT_EQ(g_paints, 1);  // redraw painted at once; refresh-window found nothing left to paint
    EXPECT_TRUE(host::controls::is_dark(hwnd));
    test::check_cases({
        {"p/set-dark-mode g false p/redraw f p/set-dark-mode make f [state: [0]] true p/refresh-window h", "none"},
    });
    EXPECT_FALSE(host::controls::is_dark(hwnd));
    EXPECT_EQ(g_paints, 2);  // the palette's repaint, which refresh-window brought about
    win::DestroyWindow(hwnd);
}

}  // namespace
}  // namespace nuv::gui
