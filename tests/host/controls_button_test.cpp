// Buttons: clicks by mouse and space bar, the automatic boxes' states, radio groups, the
// custom-draw ask before the text, the parent's colours, image lists and the dark palette.
#include "host/controls/imagelist.h"
#include "host/win/keys.h"
#include "tests/host/controls_support.h"

namespace nuv::test::win {
namespace {

using ButtonTest = ControlTest;

// BN_CLICKED commands the parent got from the control.
int clicks(const std::vector<Logged>& commands, HWND from) {
    int n = 0;
    for (const Logged& c : commands)
        n += c.lParam == static_cast<intptr_t>(from) && c.wParam == command_wparam(7, BN_CLICKED);
    return n;
}

TEST_F(ButtonTest, ClickSendsBnClickedOnceAndOnlyForAReleaseInside) {
    HWND b = control(kButtonClass, BS_PUSHBUTTON, 10, 10, 80, 24, u"OK");
    click(b, 20, 10);
    EXPECT_EQ(clicks(told(WM_COMMAND), b), 1);
    EXPECT_EQ(GetFocus(), b);
    EXPECT_EQ(GetCapture(), 0u);

    g_log.clear();
    mouse(b, WM_LBUTTONDOWN, 20, 10);
    EXPECT_EQ(SendMessage(b, BM_GETSTATE, 0, 0) & BST_PUSHED, BST_PUSHED);
    mouse(b, WM_MOUSEMOVE, 200, 10);  // dragged off: drawn up again
    EXPECT_EQ(SendMessage(b, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
    mouse(b, WM_LBUTTONUP, 200, 10);
    EXPECT_EQ(clicks(told(WM_COMMAND), b), 0);

    key(b, WM_KEYDOWN, VK_SPACE);
    key(b, WM_KEYDOWN, VK_SPACE);  // the key's repeat is one press
    EXPECT_EQ(clicks(told(WM_COMMAND), b), 0);
    key(b, WM_KEYUP, VK_SPACE);
    EXPECT_EQ(clicks(told(WM_COMMAND), b), 1);

    SendMessage(b, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks(told(WM_COMMAND), b), 2);
}

TEST_F(ButtonTest, ClicksMoveAutomaticBoxesThroughTheirStates) {
    struct Row {
        uint32_t style;
        std::vector<intptr_t> states;  // BM_GETCHECK after each click
    };
    const Row rows[] = {
        {BS_AUTO3STATE, {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED, BST_CHECKED}},
        {BS_AUTOCHECKBOX, {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}},
        {BS_AUTOCHECKBOX | BS_PUSHLIKE, {BST_CHECKED, BST_UNCHECKED}},
        {BS_CHECKBOX, {BST_UNCHECKED, BST_UNCHECKED}},  // the parent decides
        {BS_3STATE, {BST_UNCHECKED}},
        {BS_RADIOBUTTON, {BST_UNCHECKED}},
        {BS_AUTORADIOBUTTON, {BST_CHECKED, BST_CHECKED}},
    };
    for (const Row& row : rows) {
        HWND b = control(kButtonClass, row.style, 10, 10, 120, 20, u"box");
        g_log.clear();
        for (size_t i = 0; i < row.states.size(); ++i) {
            click(b, 5, 10);
            EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), row.states[i]) << std::hex << row.style << " click " << i;
        }
        EXPECT_EQ(clicks(told(WM_COMMAND), b), int(row.states.size())) << std::hex << row.style;
        DestroyWindow(b);
    }
}

TEST_F(ButtonTest, SetCheckKeepsToTheBoxKind) {
    struct Row {
        uint32_t style;
        intptr_t set, got;
    };
    const Row rows[] = {
        {BS_AUTO3STATE, BST_INDETERMINATE, BST_INDETERMINATE},
        {BS_AUTOCHECKBOX, BST_INDETERMINATE, BST_CHECKED},  // two states only
        {BS_AUTOCHECKBOX, 7, BST_UNCHECKED},                // no such state: nothing changes
        {BS_PUSHBUTTON, BST_CHECKED, BST_UNCHECKED},        // a push button has no check
        {BS_RADIOBUTTON, BST_CHECKED, BST_CHECKED},
    };
    for (const Row& row : rows) {
        HWND b = control(kButtonClass, row.style, 10, 10, 120, 20);
        SendMessage(b, BM_SETCHECK, row.set, 0);
        EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), row.got) << std::hex << row.style << " set " << row.set;
        DestroyWindow(b);
    }
}

TEST_F(ButtonTest, SetStyleChangesTheKindAndKeepsTheWindowBits) {
    HWND b = control(kButtonClass, BS_PUSHBUTTON | WS_TABSTOP, 10, 10, 120, 20, u"box");
    SendMessage(b, BM_SETSTYLE, BS_AUTOCHECKBOX | BS_BITMAP, 1);
    const auto style = static_cast<uint32_t>(GetWindowLong(b, GWL_STYLE));
    EXPECT_EQ(style & 0xFFFF, BS_AUTOCHECKBOX | BS_BITMAP);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_TABSTOP), WS_CHILD | WS_VISIBLE | WS_TABSTOP);
    EXPECT_TRUE(GetUpdateRect(b, nullptr));
    click(b, 5, 10);
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(ButtonTest, AutomaticRadioButtonUnchecksTheOthersOfItsGroupOnly) {
    HWND a = control(kButtonClass, BS_AUTORADIOBUTTON | WS_GROUP, 10, 10, 80, 20, u"a");
    HWND b = control(kButtonClass, BS_AUTORADIOBUTTON, 10, 40, 80, 20, u"b");
    HWND c = control(kButtonClass, BS_AUTORADIOBUTTON | WS_GROUP, 10, 70, 80, 20, u"c");  // the next group
    click(a, 5, 10);
    click(c, 5, 10);
    EXPECT_EQ(SendMessage(a, BM_GETCHECK, 0, 0), BST_CHECKED);
    click(b, 5, 10);
    EXPECT_EQ(SendMessage(a, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessage(c, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(ButtonTest, ButtonDestroyedByItsOwnClickIsLeftAlone) {
    HWND b = control(kButtonClass, BS_AUTOCHECKBOX, 10, 10, 80, 24, u"go");
    g_answer = [b](HWND, uint32_t m, intptr_t, intptr_t l) -> std::optional<LRESULT> {
        if (m == WM_COMMAND && l == static_cast<intptr_t>(b)) DestroyWindow(b);
        return std::nullopt;
    };
    click(b, 20, 10);
    EXPECT_FALSE(IsWindow(b));
    EXPECT_EQ(GetCapture(), 0u);
    EXPECT_EQ(told(WM_COMMAND).size(), 1u);
}

TEST_F(ButtonTest, GroupBoxLetsTheMouseThrough) {
    HWND group = control(kButtonClass, BS_GROUPBOX, 0, 0, 200, 100, u"Group");
    POINT at{50, 50};
    ClientToScreen(group, &at);
    EXPECT_EQ(WindowFromPoint(at), parent_);
    HWND push = control(kButtonClass, BS_PUSHBUTTON, 0, 0, 200, 100, u"push");
    EXPECT_EQ(WindowFromPoint(at), push);
}

// The button's pixels after a paint, with the parent answering NM_CUSTOMDRAW.
struct Drawn {
    int text_pixels;    // dark pixels in the middle, where the text goes
    uint32_t face;      // a pixel of the face away from the text
    uint32_t item_state = 0;
    int asks = 0;
};

class ButtonPaintTest : public ButtonTest {
protected:
    Drawn draw(HWND b, LRESULT custom_answer) {
        Drawn d{};
        g_answer = [&](HWND, uint32_t m, intptr_t, intptr_t l) -> std::optional<LRESULT> {
            if (m != WM_NOTIFY) return std::nullopt;
            const auto* cd = reinterpret_cast<const NMCUSTOMDRAW*>(l);
            if (cd->hdr.code != NM_CUSTOMDRAW || cd->hdr.hwndFrom != b || cd->dwDrawStage != CDDS_PREPAINT) return 0;
            ++d.asks;
            d.item_state = cd->uItemState;
            return custom_answer;
        };
        InvalidateRect(b, nullptr, true);
        UpdateWindow(b);
        g_answer = nullptr;
        Snapshot shot(b, 100, 30);
        d.text_pixels = count_pixels(shot, RECT{20, 5, 80, 25}, dark_pixel);
        d.face = shot.at(6, 15);
        return d;
    }
};

TEST_F(ButtonPaintTest, SkipDefaultLeavesTheButtonWithoutItsText) {
    HWND b = control(kButtonClass, BS_PUSHBUTTON, 10, 10, 100, 30, u"WWWW");
    const Drawn plain = draw(b, CDRF_DODEFAULT);
    EXPECT_EQ(plain.asks, 1);
    EXPECT_GT(plain.text_pixels, 20);
    const Drawn skipped = draw(b, CDRF_SKIPDEFAULT);
    EXPECT_EQ(skipped.asks, 1);
    EXPECT_EQ(skipped.text_pixels, 0);
    EXPECT_EQ(skipped.face, plain.face);  // the face is still drawn

    EnableWindow(b, false);
    EXPECT_EQ(draw(b, CDRF_DODEFAULT).item_state & CDIS_DISABLED, CDIS_DISABLED);
}

TEST_F(ButtonPaintTest, DarkPaletteRepaintsTheFaceDark) {
    HWND b = control(kButtonClass, BS_PUSHBUTTON, 10, 10, 100, 30, u"WWWW");
    const uint32_t light = draw(b, CDRF_DODEFAULT).face;
    set_dark(b, true);
    EXPECT_TRUE(is_dark(b));
    ASSERT_TRUE(GetUpdateRect(b, nullptr));  // set_dark asked for the repaint
    const uint32_t dark = draw(b, CDRF_DODEFAULT).face;
    auto grey = [](uint32_t argb) { return int(argb & 0xFF); };
    EXPECT_GT(grey(light), 200);
    EXPECT_LT(grey(dark), 80);
    set_dark(b, false);
    EXPECT_EQ(draw(b, CDRF_DODEFAULT).face, light);
}

TEST_F(ButtonPaintTest, CheckBoxTakesTheParentsBrushAndTextColour) {
    HWND b = control(kButtonClass, BS_AUTOCHECKBOX, 10, 10, 100, 30, u"WWWW");
    const HBRUSH green = gfx::CreateSolidBrush(0x00FF00);
    g_answer = [&](HWND, uint32_t m, intptr_t w, intptr_t) -> std::optional<LRESULT> {
        if (m != WM_CTLCOLORSTATIC) return std::nullopt;
        gfx::SetTextColor(reinterpret_cast<cairo_t*>(w), 0x0000FF);  // red text
        gfx::SetBkMode(reinterpret_cast<cairo_t*>(w), gfx::TRANSPARENT);
        return green;
    };
    InvalidateRect(b, nullptr, true);
    UpdateWindow(b);
    g_answer = nullptr;
    Snapshot shot(b, 100, 30);
    EXPECT_EQ(shot.at(95, 2), 0xFF00FF00u);
    auto red = [](uint32_t p) { return ((p >> 16) & 0xFF) > 150 && ((p >> 8) & 0xFF) < 100; };
    EXPECT_GT(count_pixels(shot, RECT{20, 0, 100, 30}, red), 10);
    gfx::DeleteObject(green);
}

TEST_F(ButtonPaintTest, ImageListShowsTheImageOfTheState) {
    HWND b = control(kButtonClass, BS_PUSHBUTTON | BS_BITMAP, 10, 10, 100, 30, u"WWWW");
    const HIMAGELIST list = ImageList_Create(10, 10, ILC_COLOR32, 1, 0);
    std::vector<uint32_t> yellow(100, 0xFFFFFF00);
    ASSERT_EQ(ImageList_Add(list, yellow.data(), 10, 10), 0);
    BUTTON_IMAGELIST images;
    images.himl = list;
    images.uAlign = BUTTON_IMAGELIST_ALIGN_CENTER;
    EXPECT_EQ(SendMessage(b, BCM_SETIMAGELIST, 0, 0), 0);  // no record
    EXPECT_EQ(SendMessage(b, BCM_SETIMAGELIST, 0, reinterpret_cast<intptr_t>(&images)), 1);
    BUTTON_IMAGELIST back;
    ASSERT_EQ(SendMessage(b, BCM_GETIMAGELIST, 0, reinterpret_cast<intptr_t>(&back)), 1);
    EXPECT_EQ(back.himl, list);
    const Drawn d = draw(b, CDRF_DODEFAULT);
    EXPECT_EQ(d.text_pixels, 0);  // BS_BITMAP: the image alone
    Snapshot shot(b, 100, 30);
    EXPECT_EQ(shot.at(50, 15), 0xFFFFFF00u);
    ImageList_Destroy(list);
    InvalidateRect(b, nullptr, true);
    UpdateWindow(b);  // a destroyed list is drawn as none
    Snapshot after(b, 100, 30);
    EXPECT_NE(after.at(50, 15), 0xFFFFFF00u);
}

TEST_F(ButtonTest, FontAnswersTheOneSetElseTheStockFont) {
    HWND b = control(kButtonClass, BS_PUSHBUTTON, 10, 10, 100, 30, u"x");
    EXPECT_EQ(SendMessage(b, WM_GETFONT, 0, 0), static_cast<LRESULT>(gfx::GetStockObject(gfx::DEFAULT_GUI_FONT)));
    gfx::LOGFONT lf;
    lf.lfHeight = -20;
    const gfx::HFONT font = gfx::CreateFontIndirect(lf);
    SendMessage(b, WM_SETFONT, font, 1);
    EXPECT_EQ(SendMessage(b, WM_GETFONT, 0, 0), static_cast<LRESULT>(font));
    EXPECT_TRUE(GetUpdateRect(b, nullptr));
    gfx::DeleteObject(font);
}

}  // namespace
}  // namespace nuv::test::win
