// What the controls share: registration under names compared without case, superclasses made
// from the system classes, the palettes, and controls destroyed by the parent's handler while
// they ask it something.
#include "tests/host/controls_support.h"

namespace nuv::test::win {
namespace {

using CommonTest = ControlTest;

TEST_F(CommonTest, ClassesRegisterOnceAndServeSuperclasses) {
    EXPECT_TRUE(register_classes());  // again: nothing changes
    for (std::u16string_view name : {u"button", u"Static", u"scrollbar", u"MSCTLS_PROGRESS32", u"msctls_trackbar32"}) {
        HWND h = control(name, 0, 0, 0, 50, 20);
        EXPECT_NE(h, 0u) << std::string(name.begin(), name.end());
        DestroyWindow(h);
    }
    // A superclass keeps the procedure under its own name, as the GUI's classes do.
    WNDCLASS base;
    ASSERT_TRUE(GetClassInfo(kButtonClass, &base));
    if (WNDCLASS known; !GetClassInfo(u"TestButton", &known)) {
        base.name = u"TestButton";
        ASSERT_TRUE(RegisterClass(base));
    }
    HWND b = control(u"TestButton", BS_AUTOCHECKBOX, 10, 10, 100, 20, u"sub");
    click(b, 5, 10);
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(told(WM_COMMAND).size(), 1u);
    // The name taken by another procedure is refused.
    EXPECT_FALSE(register_control(u"Recorder", base.proc, IDC_ARROW, 0));
}

TEST_F(CommonTest, PaletteFollowsSetDarkPerWindow) {
    HWND a = control(kStaticClass, 0, 0, 0, 50, 20), b = control(kStaticClass, 0, 0, 30, 50, 20);
    EXPECT_EQ(&palette(a), &light_palette());
    set_dark(a, true);
    EXPECT_EQ(&palette(a), &dark_palette());
    EXPECT_EQ(&palette(b), &light_palette());
    EXPECT_LT(dark_palette().face & 0xFF, light_palette().face & 0xFF);
    DestroyWindow(a);
    set_dark(a, true);  // a stale id: ignored
    set_dark(b, false);
    EXPECT_FALSE(is_dark(b));
}

TEST_F(CommonTest, ControlDestroyedWhileAskingItsParentIsLeftAlone) {
    struct Row {
        std::u16string_view cls;
        uint32_t style;
        uint32_t ask;  // the message whose handler destroys the control
    };
    const Row rows[] = {
        {kButtonClass, BS_PUSHBUTTON, WM_CTLCOLORBTN},        {kButtonClass, BS_PUSHBUTTON, WM_NOTIFY},
        {kButtonClass, BS_AUTOCHECKBOX, WM_CTLCOLORSTATIC},   {kButtonClass, BS_GROUPBOX, WM_CTLCOLORSTATIC},
        {kStaticClass, SS_LEFT, WM_CTLCOLORSTATIC},           {kScrollBarClass, SBS_VERT, WM_CTLCOLORSCROLLBAR},
        {kTrackbarClass, TBS_HORZ, WM_CTLCOLORSTATIC},
    };
    for (const Row& row : rows) {
        HWND h = control(row.cls, row.style, 10, 10, 100, 40, u"text");
        int asked = 0;
        g_answer = [&](HWND, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
            if (m != row.ask) return std::nullopt;
            ++asked;
            DestroyWindow(h);
            return 0;
        };
        UpdateWindow(h);
        g_answer = nullptr;
        EXPECT_EQ(asked, 1) << std::hex << row.ask;
        EXPECT_FALSE(IsWindow(h)) << std::hex << row.ask;
    }
}

TEST_F(CommonTest, ControlDestroyedByTheHandlerOfItsRequestIsLeftAlone) {
    struct Row {
        std::u16string_view cls;
        uint32_t style;
        uint32_t told;  // the message whose handler destroys the control
        int32_t x, y;   // pressed there, then dragged 40 pixels along
    };
    const Row rows[] = {
        {kButtonClass, BS_AUTO3STATE, WM_COMMAND, 5, 5},  {kScrollBarClass, SBS_HORZ, WM_HSCROLL, 95, 8},
        {kScrollBarClass, SBS_HORZ, WM_HSCROLL, 20, 8},   {kTrackbarClass, TBS_HORZ, WM_HSCROLL, 9, 15},
        {kTrackbarClass, TBS_HORZ, WM_HSCROLL, 80, 15},
    };
    for (const Row& row : rows) {
        HWND h = control(row.cls, row.style, 10, 10, 100, 30, u"text");
        SCROLLINFO info;
        info.fMask = SIF_ALL;
        info.nMax = 100;
        info.nPage = 10;
        SetScrollInfo(h, SB_CTL, &info, true);
        int told = 0;
        g_answer = [&](HWND, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
            if (m != row.told) return std::nullopt;
            ++told;
            DestroyWindow(h);
            return 0;
        };
        POINT at{row.x, row.y};
        ClientToScreen(h, &at);
        mouse_input(WM_LBUTTONDOWN, at, MK_LBUTTON);
        pump();
        mouse_input(WM_MOUSEMOVE, POINT{at.x + 40, at.y}, MK_LBUTTON);
        pump();
        advance_clock(kRepeatDelay);
        pump();
        mouse_input(WM_LBUTTONUP, POINT{at.x + 40, at.y}, 0);
        pump();
        g_answer = nullptr;
        EXPECT_EQ(told, 1) << row.x;
        EXPECT_FALSE(IsWindow(h));
        EXPECT_EQ(GetCapture(), 0u);
    }
}

}  // namespace
}  // namespace nuv::test::win
