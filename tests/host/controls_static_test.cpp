// Static text: the parent's brush and colours, the alignment of its style, and the mouse
// passing through it.
#include "tests/host/controls_support.h"

namespace nuv::test::win {
namespace {

using StaticTest = ControlTest;

TEST_F(StaticTest, RedBrushAnsweredToCtlColorStaticPaintsTheStatic) {
    HWND s = control(kStaticClass, SS_LEFT, 10, 10, 120, 30, u"");
    const HBRUSH red = gfx::CreateSolidBrush(0x0000FF);
    int asks = 0;
    g_answer = [&](HWND, uint32_t m, intptr_t w, intptr_t l) -> std::optional<LRESULT> {
        if (m != WM_CTLCOLORSTATIC) return std::nullopt;
        ++asks;
        EXPECT_EQ(l, static_cast<intptr_t>(s));
        EXPECT_NE(w, 0);
        return red;
    };
    UpdateWindow(s);
    g_answer = nullptr;
    EXPECT_EQ(asks, 1);
    Snapshot shot(s, 120, 30);
    EXPECT_EQ(count_pixels(shot, RECT{0, 0, 120, 30}, [](uint32_t p) { return p == 0xFFFF0000u; }), 120 * 30);

    // Without an answer the palette's face is used.
    InvalidateRect(s, nullptr, true);
    UpdateWindow(s);
    Snapshot plain(s, 120, 30);
    EXPECT_EQ(plain.at(60, 15), 0xFFF0F0F0u);
    gfx::DeleteObject(red);
}

TEST_F(StaticTest, TextFollowsTheStyleAndTheColourSetOnTheDc) {
    struct Row {
        uint32_t style;
        bool left, right;  // text in the left third, in the right third
    };
    const Row rows[] = {{SS_LEFT, true, false}, {SS_RIGHT, false, true}, {SS_CENTER, false, false}};
    g_answer = [](HWND, uint32_t m, intptr_t w, intptr_t) -> std::optional<LRESULT> {
        if (m != WM_CTLCOLORSTATIC) return std::nullopt;
        gfx::SetTextColor(reinterpret_cast<cairo_t*>(w), 0xFF0000);  // blue
        return 0;
    };
    auto blue = [](uint32_t p) { return (p & 0xFF) > 150 && ((p >> 16) & 0xFF) < 100; };
    for (const Row& row : rows) {
        HWND s = control(kStaticClass, row.style, 0, 0, 240, 30, u"WWW");
        UpdateWindow(s);
        Snapshot shot(s, 240, 30);
        EXPECT_EQ(count_pixels(shot, RECT{0, 0, 80, 30}, blue) > 0, row.left) << row.style;
        EXPECT_EQ(count_pixels(shot, RECT{160, 0, 240, 30}, blue) > 0, row.right) << row.style;
        EXPECT_GT(count_pixels(shot, RECT{0, 0, 240, 30}, blue), 10) << row.style;
        DestroyWindow(s);
    }
}

TEST_F(StaticTest, MousePassesThroughToTheParent) {
    HWND s = control(kStaticClass, SS_LEFT, 10, 10, 120, 30, u"label");
    POINT at{20, 15};
    ClientToScreen(s, &at);
    EXPECT_EQ(WindowFromPoint(at), parent_);
    SetWindowText(s, u"other");
    EXPECT_TRUE(GetUpdateRect(s, nullptr));
    EXPECT_EQ(GetWindowText(s), u"other");
}

}  // namespace
}  // namespace nuv::test::win
