// A face window on a real X server (run under xvfb-run with the x11 driver): a top-level window
// face of the backend's window class with a draw block, painted through the message loop, shows
// on the root window the pixels `draw` gives on an image of the face's colour. The runtime starts
// from the boot image, as a program does.
#include "gui/backend/classes.h"
#include "host/win/sdl_source.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/resource_slots.h"
#include "tests/unit/eval_support.h"
// After the others: X's macros (None, Bool, True) would clash with their names.
#include "tests/host/x11_support.h"

namespace nuv::test::win {
namespace {

constexpr int32_t kX = 40, kY = 30, kW = 120, kH = 90;

TEST(X11FaceWindow, DrawBlockReachesTheScreen) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    ASSERT_EQ(eval_text("cmds: [pen 255.255.0 line-width 4 fill-pen 255.0.0 box 10x10 60x50 "
                        "fill-pen 0.160.0 circle 85x55 25 pen off fill-pen 255.255.255 triangle 5x85 40x60 70x85] "
                        "w: object [type: 'window offset: 0x0 size: 120x90 text: image: color: 0.0.255 menu: data: "
                        "enabled?: visible?: selected: flags: options: parent: pane: state: rate: edge: para: font: "
                        "actors: extra: draw: cmds changed: deep-changed: tabs: line-spacing: handles: none] "
                        "expected: draw make image! [120x90 0.0.255] cmds true"),
              "true");
    const Cell face = *context::global_slot(symbol::make_cstr("w"));
    const int32_t slot = resource_slots::store(&face);
    const HWND h = CreateWindowEx(0, gui::backend::kWindowClass, u"face", WS_POPUP | WS_VISIBLE, kX, kY, kW, kH, 0, 0,
                                  reinterpret_cast<void*>(static_cast<intptr_t>(slot)));
    ASSERT_NE(h, 0u);
    {
        StackScope scope;
        context::set_global(symbol::make_cstr("hwnd"), handle::push(static_cast<int32_t>(h), handle::Kind::Window));
        ASSERT_EQ(eval_text("w/state: reduce [hwnd 0 none false] true"), "true");
    }
    // The red box's middle, then every pixel of the window.
    EXPECT_TRUE(run_until([&] { return root_pixel(x, kX + 30, kY + 30) == 0xFF0000; }, 5000));
    const Cell expected = *context::global_slot(symbol::make_cstr("expected"));
    const image::Record* record = image::record_of(&expected);
    ASSERT_NE(record, nullptr);
    XImage* shot = XGetImage(x, DefaultRootWindow(x), kX, kY, kW, kH, AllPlanes, ZPixmap);
    ASSERT_NE(shot, nullptr);
    int differ = 0;
    for (int32_t py = 0; py < kH; py++)
        for (int32_t px = 0; px < kW; px++)
            differ += (XGetPixel(shot, px, py) & 0xFFFFFF) != (image::get(record, py * kW + px) & 0xFFFFFF);
    XDestroyImage(shot);
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(root_pixel(x, kX + 5, kY + 88), 0x0000FFu);  // the face's colour
    DestroyWindow(h);
    resource_slots::free(slot);
    XCloseDisplay(x);
}

}  // namespace
}  // namespace nuv::test::win
