// The controls' test kit: the window model's fixture with every control class registered, a
// control made as a child of a recording top-level window (which logs what the control tells
// it), mouse and key input injected through the model, and pixel counts over a snapshot.
#pragma once
#include "host/controls/controls.h"
#include "tests/host/win_support.h"

namespace nuv::test::win {

using namespace nuv::host::controls;
namespace gfx = nuv::host::gfx;

class ControlTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        ASSERT_TRUE(register_classes());
        parent_ = top(100, 100, 300, 200);
    }
    // A visible child control of the recording parent, with the id 7.
    HWND control(std::u16string_view cls, uint32_t style, int32_t x, int32_t y, int32_t w, int32_t h,
                 std::u16string_view text = u"") {
        return CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent_, 7, nullptr);
    }
    // A mouse message at a point of the window's client area, dispatched.
    static void mouse(HWND hwnd, uint32_t message, int32_t x, int32_t y) {
        POINT at{x, y};
        ClientToScreen(hwnd, &at);
        mouse_input(message, at, message == WM_LBUTTONDOWN || message == WM_MOUSEMOVE ? intptr_t{MK_LBUTTON} : 0);
        pump();
    }
    static void click(HWND hwnd, int32_t x, int32_t y) {
        mouse(hwnd, WM_LBUTTONDOWN, x, y);
        mouse(hwnd, WM_LBUTTONUP, x, y);
    }
    // An item's rectangle as a control answers it (wParam: the index, lParam: the RECT), and a
    // click at its centre.
    static RECT item_rect(HWND hwnd, uint32_t message, intptr_t index) {
        RECT r;
        SendMessage(hwnd, message, index, reinterpret_cast<intptr_t>(&r));
        return r;
    }
    static void click_item(HWND hwnd, uint32_t message, intptr_t index) {
        const RECT r = item_rect(hwnd, message, index);
        click(hwnd, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    static void key(HWND hwnd, uint32_t message, uint32_t vk) {
        post_input(MSG{hwnd, message, vk, message == WM_KEYUP ? intptr_t(kKeyReleased | kKeyWasDown) : 1, 0, {}});
        pump();
    }
    // The parent's log of one message from the control.
    std::vector<Logged> told(uint32_t message) const { return logged(message, parent_); }
    HWND parent_ = 0;
};

// How many pixels of a rectangle of the snapshot satisfy the test (colours 0xAARRGGBB).
template <class Test>
int count_pixels(const Snapshot& shot, const RECT& r, Test test) {
    int n = 0;
    for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x) n += test(shot.at(x, y)) ? 1 : 0;
    return n;
}

// A pixel much darker than the light palette's face: text or a mark.
inline bool dark_pixel(uint32_t argb) {
    return ((argb >> 16) & 0xFF) + ((argb >> 8) & 0xFF) + (argb & 0xFF) < 3 * 128;
}

}  // namespace nuv::test::win
