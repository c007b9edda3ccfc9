// What the tests under a real X server (xvfb-run, the x11 driver) share: turning the model's
// loop for a while, and reading the root window. Include after the model's headers: X's macros
// (None, Bool, True) would clash with their names.
#pragma once
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>

#include "host/win/sdl_source.h"

namespace nuv::test::win {

using namespace nuv::host::win;

// Runs the loop (real clock, a 20 ms timer keeping it turning) until `done` or `ms` pass.
inline bool run_until(const std::function<bool()>& done, uint32_t ms) {
    const uintptr_t tick = SetTimer(0, 0, 20, nullptr);
    const uint32_t start = GetTickCount();
    MSG msg;
    while (!done() && GetTickCount() - start < ms && GetMessage(&msg, 0, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    KillTimer(0, tick);
    return done();
}

// The root window's pixel at a screen point, 0xRRGGBB.
inline unsigned long root_pixel(Display* x, int px, int py) {
    XImage* image = XGetImage(x, DefaultRootWindow(x), px, py, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
}

}  // namespace nuv::test::win
