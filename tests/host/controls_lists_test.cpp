// The list box and the combo box: items kept in order with the selection following them, a
// click's one notification, keys, scrolling and the horizontal extent, LBItemFromPt, the drop
// list as an owned popup, focus codes, indexes out of range, a control destroyed by the handler
// of its own notification, and the colours the parent answers.
#include <string>

#include "host/controls/combobox.h"
#include "host/controls/listbox.h"
#include "host/controls/monthcal.h"
#include "host/controls/tab.h"
#include "host/win/keys.h"
#include "tests/host/controls_support.h"

namespace nuv::test::win {
namespace {

class ListsTest : public ControlTest {
protected:
    HWND list(uint32_t style = LBS_NOTIFY, int32_t w = 120, int32_t h = 100) {
        return control(kListBoxClass, style, 10, 10, w, h);
    }
    HWND combo(uint32_t style = CBS_DROPDOWNLIST) { return control(kComboBoxClass, style, 10, 10, 120, 24); }
    static void add(HWND hwnd, uint32_t message, std::initializer_list<std::u16string_view> texts) {
        for (std::u16string_view t : texts) SendMessage(hwnd, message, 0, reinterpret_cast<intptr_t>(std::u16string(t).c_str()));
    }
    // The items' texts, read with the given messages.
    static std::vector<std::u16string> items(HWND hwnd, uint32_t count, uint32_t length, uint32_t text) {
        std::vector<std::u16string> out;
        for (LRESULT i = 0, n = SendMessage(hwnd, count, 0, 0); i < n; ++i) {
            std::u16string s(static_cast<size_t>(SendMessage(hwnd, length, i, 0)), u'?');
            SendMessage(hwnd, text, i, reinterpret_cast<intptr_t>(s.data()));
            out.push_back(s);
        }
        return out;
    }
    // The WM_COMMAND codes the parent got from the control.
    std::vector<uint32_t> codes(HWND from) const {
        std::vector<uint32_t> out;
        for (const Logged& l : told(WM_COMMAND))
            if (l.lParam == static_cast<intptr_t>(from)) out.push_back(static_cast<uint32_t>((l.wParam >> 16) & 0xFFFF));
        return out;
    }
    static RECT item_rect(HWND lb, int32_t index) { return ControlTest::item_rect(lb, LB_GETITEMRECT, index); }
    static void click_item(HWND lb, int32_t index) { ControlTest::click_item(lb, LB_GETITEMRECT, index); }
};

TEST_F(ListsTest, AClickOnTheSecondItemSelectsItOnceWithOneSelectionCode) {
    HWND lb = list();
    add(lb, LB_ADDSTRING, {u"one", u"two", u"three"});
    click_item(lb, 1);
    EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(codes(lb), (std::vector<uint32_t>{LBN_SETFOCUS, LBN_SELCHANGE}));
    g_log.clear();
    click_item(lb, 1);  // the same item again: no change, no code
    EXPECT_EQ(codes(lb), std::vector<uint32_t>{});
    ReleaseCapture();
    SetFocus(parent_);
    EXPECT_EQ(codes(lb), std::vector<uint32_t>{LBN_KILLFOCUS});
}

TEST_F(ListsTest, WithoutNotifyTheParentHearsNothing) {
    HWND lb = list(0);
    add(lb, LB_ADDSTRING, {u"one", u"two"});
    click_item(lb, 1);
    key(lb, WM_KEYDOWN, VK_UP);
    EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(codes(lb).empty());
}

TEST_F(ListsTest, TheSelectionFollowsItsItemThroughInsertsAndDeletes) {
    HWND lb = list();
    add(lb, LB_ADDSTRING, {u"a", u"b", u"c"});
    EXPECT_EQ(SendMessage(lb, LB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(SendMessage(lb, LB_INSERTSTRING, 0, reinterpret_cast<intptr_t>(u"x")), 0);
    EXPECT_EQ(SendMessage(lb, LB_INSERTSTRING, -1, reinterpret_cast<intptr_t>(u"z")), 4);
    EXPECT_EQ(items(lb, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT), (std::vector<std::u16string>{u"x", u"a", u"b", u"c", u"z"}));
    EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessage(lb, LB_DELETESTRING, 0, 0), 4);
    EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessage(lb, LB_DELETESTRING, 1, 0), 3);  // the selected one
    EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), -1);
    EXPECT_EQ(SendMessage(lb, LB_SETCURSEL, -1, 0), LB_ERR);  // clears, and says LB_ERR as it always has
    SendMessage(lb, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessage(lb, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessage(lb, LB_ADDSTRING, 0, 0), LB_ERR);  // no text
    EXPECT_TRUE(codes(lb).empty());  // changes made by messages are silent
}

// Every message that takes an index, with one out of range, on a list box and a combo box of
// three items with the second selected: LB_ERR (CB_ERR) and nothing changed.
TEST_F(ListsTest, IndexesOutOfRangeAnswerErrAndChangeNothing) {
    constexpr intptr_t kBeyond32Bits = intptr_t{1} << 32;  // an index whose low half is 0
    struct Case {
        uint32_t message;
        intptr_t index;
    };
    const Case list_cases[] = {{LB_SETCURSEL, 3},    {LB_SETCURSEL, -2},   {LB_DELETESTRING, 3},
                               {LB_DELETESTRING, -1}, {LB_INSERTSTRING, 4}, {LB_INSERTSTRING, -2},
                               {LB_GETTEXTLEN, 3},    {LB_GETTEXT, -1},     {LB_GETITEMRECT, 3},
                               {LB_SETTOPINDEX, 5},   {LB_INSERTSTRING, kBeyond32Bits}, {LB_SETCURSEL, kBeyond32Bits}};
    const Case combo_cases[] = {{CB_SETCURSEL, 3},     {CB_SETCURSEL, -2},   {CB_DELETESTRING, 3},
                                {CB_DELETESTRING, -1}, {CB_INSERTSTRING, 4}, {CB_GETLBTEXTLEN, 3},
                                {CB_GETLBTEXT, -1},    {CB_INSERTSTRING, kBeyond32Bits}};
    struct Kind {
        HWND hwnd;
        uint32_t add, count, length, text, get_sel, set_sel;
        const Case* begin;
        const Case* end;
    };
    const Kind kinds[] = {
        {list(), LB_ADDSTRING, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_GETCURSEL, LB_SETCURSEL, std::begin(list_cases),
         std::end(list_cases)},
        {combo(), CB_ADDSTRING, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_GETCURSEL, CB_SETCURSEL,
         std::begin(combo_cases), std::end(combo_cases)},
    };
    for (const Kind& k : kinds) {
        add(k.hwnd, k.add, {u"a", u"b", u"c"});
        SendMessage(k.hwnd, k.set_sel, 1, 0);
        const std::u16string text = GetWindowText(k.hwnd);
        for (const Case* c = k.begin; c != k.end; ++c) {
            std::u16string room(8, u'#');
            RECT rect;
            const intptr_t l = c->message == LB_GETITEMRECT ? reinterpret_cast<intptr_t>(&rect)
                                                             : reinterpret_cast<intptr_t>(room.data());
            const std::u16string written = u"new";
            const intptr_t arg = (c->message == LB_INSERTSTRING || c->message == CB_INSERTSTRING)
                                     ? reinterpret_cast<intptr_t>(written.c_str())
                                     : l;
            SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c->message << std::dec << " index " << c->index);
            EXPECT_EQ(SendMessage(k.hwnd, c->message, c->index, arg), -1);
            EXPECT_EQ(room, std::u16string(8, u'#'));
            EXPECT_EQ(items(k.hwnd, k.count, k.length, k.text), (std::vector<std::u16string>{u"a", u"b", u"c"}));
            EXPECT_EQ(SendMessage(k.hwnd, k.get_sel, 0, 0), 1);
            EXPECT_EQ(GetWindowText(k.hwnd), text);
        }
    }
}

TEST_F(ListsTest, KeysMoveTheSelectionAndScrollItIntoView) {
    HWND lb = list(LBS_NOTIFY | WS_VSCROLL, 120, 60);
    for (int i = 0; i < 50; ++i) add(lb, LB_ADDSTRING, {std::u16string(1, static_cast<char16_t>(u'A' + i % 26))});
    const auto page = static_cast<int32_t>(60 / SendMessage(lb, LB_GETITEMHEIGHT, 0, 0));
    ASSERT_GE(page, 1);
    SetFocus(lb);
    g_log.clear();
    struct Step {
        uint32_t vk;
        int32_t sel;
    };
    const Step steps[] = {{VK_DOWN, 0}, {VK_DOWN, 1}, {VK_END, 49}, {VK_UP, 48}, {VK_HOME, 0}, {VK_NEXT, page - 1}};
    for (const Step& s : steps) {
        key(lb, WM_KEYDOWN, s.vk);
        EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), s.sel) << "key " << s.vk;
        const auto top = static_cast<int32_t>(SendMessage(lb, LB_GETTOPINDEX, 0, 0));
        EXPECT_TRUE(s.sel >= top && s.sel < top + page) << "key " << s.vk << " top " << top;
    }
    EXPECT_EQ(codes(lb), std::vector<uint32_t>(std::size(steps), LBN_SELCHANGE));
    key(lb, WM_KEYDOWN, VK_HOME);
    key(lb, WM_KEYDOWN, VK_HOME);  // already there: no code
    EXPECT_EQ(codes(lb).size(), std::size(steps) + 1);
}

// A list kept in step with its data inserts and deletes runs of items at one place: each run
// moves the items after it once, not once per item.
TEST_F(ListsTest, RunsOfInsertsAndDeletesAtOnePlaceStayLinear) {
    HWND lb = list(0);
    constexpr int kItems = 40000, kRun = 20000;
    for (int i = 0; i < kItems; ++i) add(lb, LB_ADDSTRING, {i % 2 ? u"odd" : u"even"});
    const uint64_t before = listbox_item_moves();
    for (int i = 0; i < kRun; ++i) ASSERT_EQ(SendMessage(lb, LB_DELETESTRING, 100, 0), kItems - 1 - i);
    for (int i = 0; i < kRun; ++i)
        ASSERT_EQ(SendMessage(lb, LB_INSERTSTRING, 100 + i, reinterpret_cast<intptr_t>(u"new")), 100 + i);
    EXPECT_LE(listbox_item_moves() - before, uint64_t{4} * kItems);
    EXPECT_EQ(SendMessage(lb, LB_GETCOUNT, 0, 0), kItems);
    const auto texts = items(lb, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
    EXPECT_EQ(texts[99], u"odd");
    EXPECT_EQ(texts[100], u"new");
    EXPECT_EQ(texts[100 + kRun - 1], u"new");
    EXPECT_EQ(texts[100 + kRun], u"even");  // item 100 + kRun of the first list
    EXPECT_EQ(texts[kItems - 1], u"odd");
}

TEST_F(ListsTest, BarsShowWhileTheContentNeedsThem) {
    HWND lb = list(WS_VSCROLL | WS_HSCROLL, 120, 80);
    EXPECT_EQ(GetWindowLong(lb, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL), 0);
    for (int i = 0; i < 40; ++i) add(lb, LB_ADDSTRING, {u"item"});
    EXPECT_NE(GetWindowLong(lb, GWL_STYLE) & WS_VSCROLL, 0);
    SendMessage(lb, LB_SETHORIZONTALEXTENT, 500, 0);
    EXPECT_EQ(SendMessage(lb, LB_GETHORIZONTALEXTENT, 0, 0), 500);
    EXPECT_NE(GetWindowLong(lb, GWL_STYLE) & WS_HSCROLL, 0);
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(GetScrollInfo(lb, SB_HORZ, &si));
    EXPECT_EQ(si.nMax, 499);
    RECT client;
    GetClientRect(lb, &client);
    EXPECT_EQ(si.nPage, static_cast<uint32_t>(client.right));

    // The bar's requests scroll the items.
    SendMessage(lb, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_GT(SendMessage(lb, LB_GETTOPINDEX, 0, 0), 0);
    SendMessage(lb, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(SendMessage(lb, LB_GETTOPINDEX, 0, 0) + client.bottom / SendMessage(lb, LB_GETITEMHEIGHT, 0, 0), 40);

    SendMessage(lb, LB_RESETCONTENT, 0, 0);
    SendMessage(lb, LB_SETHORIZONTALEXTENT, 0, 0);
    EXPECT_EQ(GetWindowLong(lb, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL), 0);
    EXPECT_EQ(SendMessage(lb, LB_GETTOPINDEX, 0, 0), 0);
}

TEST_F(ListsTest, ItemFromPointFindsItemsAndScrollsTowardsAPointOutside) {
    HWND lb = list(0, 120, 60);
    for (int i = 0; i < 20; ++i) add(lb, LB_ADDSTRING, {u"row"});
    SendMessage(lb, LB_SETTOPINDEX, 5, 0);
    const RECT r = item_rect(lb, 6);
    POINT at{r.left + 3, r.top + 1};
    ClientToScreen(lb, &at);
    EXPECT_EQ(LBItemFromPt(lb, at, false), 6);

    POINT above{at.x, at.y - 200};
    EXPECT_EQ(LBItemFromPt(lb, above, false), -1);
    EXPECT_EQ(SendMessage(lb, LB_GETTOPINDEX, 0, 0), 5);
    EXPECT_EQ(LBItemFromPt(lb, above, true), -1);
    EXPECT_EQ(SendMessage(lb, LB_GETTOPINDEX, 0, 0), 4);
    EXPECT_EQ(LBItemFromPt(lb, above, true), -1);  // too soon: the clock has not moved
    EXPECT_EQ(SendMessage(lb, LB_GETTOPINDEX, 0, 0), 4);
    advance_clock(100);
    LBItemFromPt(lb, above, true);
    EXPECT_EQ(SendMessage(lb, LB_GETTOPINDEX, 0, 0), 3);

    HWND few = control(kListBoxClass, 0, 150, 10, 100, 100);
    add(few, LB_ADDSTRING, {u"only"});
    POINT below_last{5, 90};
    ClientToScreen(few, &below_last);
    EXPECT_EQ(LBItemFromPt(few, below_last, false), -1);
    EXPECT_EQ(SendMessage(few, LB_ITEMFROMPOINT, 0, point_lparam(5, 90)), 0x10000);
}

TEST_F(ListsTest, AListDestroyedByItsSelectionHandlerIsLeftAlone) {
    HWND lb = list();
    add(lb, LB_ADDSTRING, {u"a", u"b"});
    g_answer = [&](HWND h, uint32_t m, intptr_t w, intptr_t) -> std::optional<LRESULT> {
        if (h == parent_ && m == WM_COMMAND && ((w >> 16) & 0xFFFF) == LBN_SELCHANGE) DestroyWindow(lb);
        return std::nullopt;
    };
    click_item(lb, 1);
    EXPECT_FALSE(IsWindow(lb));
    EXPECT_EQ(GetCapture(), 0u);
}

// The colours: the parent's brush fills the list, the selected row has the palette's selection.
TEST_F(ListsTest, TheParentsBrushFillsTheListAndTheSelectionIsMarked) {
    const HBRUSH red = gfx::CreateSolidBrush(0x0000FF);
    g_answer = [&](HWND, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m == WM_CTLCOLORLISTBOX) return red;
        return std::nullopt;
    };
    HWND lb = list(0, 120, 100);
    add(lb, LB_ADDSTRING, {u"a", u"b"});
    SendMessage(lb, LB_SETCURSEL, 1, 0);
    UpdateWindow(lb);
    EXPECT_FALSE(logged(WM_CTLCOLORLISTBOX, parent_).empty());
    const Snapshot shot(lb, 120, 100);
    ASSERT_TRUE(shot.printed());
    const RECT selected = item_rect(lb, 1);
    const uint32_t sel = palette(lb).selection;
    const uint32_t sel_argb = 0xFF000000 | (sel & 0xFF) << 16 | (sel & 0xFF00) | (sel >> 16 & 0xFF);
    EXPECT_EQ(shot.at(110, 95), 0xFFFF0000u);
    EXPECT_EQ(shot.at(110, (selected.top + selected.bottom) / 2), sel_argb);
    gfx::DeleteObject(red);
}

// Each of these controls draws with the stock GUI font until WM_SETFONT gives it another; a
// list's rows and a combo box's parts follow the font.
TEST_F(ListsTest, ControlsTakeTheFontTheyAreGiven) {
    const HFONT big = gfx::CreateFont(-30, 0, 0, 0, gfx::FW_NORMAL, false, false, false, gfx::DEFAULT_CHARSET, 0, 0, 0, 0, u"");
    ASSERT_NE(big, 0u);
    for (std::u16string_view cls : {kListBoxClass, kComboBoxClass, kTabClass, kMonthCalClass}) {
        HWND c = control(cls, cls == kComboBoxClass ? uint32_t{CBS_DROPDOWN} : 0u, 10, 10, 200, 150);
        ASSERT_TRUE(IsWindow(c));
        EXPECT_EQ(SendMessage(c, WM_GETFONT, 0, 0), static_cast<LRESULT>(gfx::GetStockObject(gfx::DEFAULT_GUI_FONT)));
        SendMessage(c, WM_SETFONT, big, 1);
        EXPECT_EQ(SendMessage(c, WM_GETFONT, 0, 0), static_cast<LRESULT>(big));
        if (cls == kComboBoxClass) {
            EXPECT_EQ(SendMessage(combo_drop_list(c), WM_GETFONT, 0, 0), static_cast<LRESULT>(big));
            EXPECT_EQ(SendMessage(GetWindow(c, GW_CHILD), WM_GETFONT, 0, 0), static_cast<LRESULT>(big));
        }
    }
    HWND small = list(), large = list();
    SendMessage(large, WM_SETFONT, big, 0);
    EXPECT_GE(SendMessage(large, LB_GETITEMHEIGHT, 0, 0), 30);
    EXPECT_LT(SendMessage(small, LB_GETITEMHEIGHT, 0, 0), 30);
}

// ---- The combo box

TEST_F(ListsTest, ADropListPicksFromItsPopupWithOneSelectionCode) {
    HWND cb = combo();
    add(cb, CB_ADDSTRING, {u"red", u"green", u"blue"});
    HWND drop = combo_drop_list(cb);
    ASSERT_TRUE(IsWindow(drop));
    EXPECT_EQ(combo_of_drop_list(drop), cb);
    EXPECT_EQ(combo_of_drop_list(cb), 0u);
    EXPECT_NE(GetWindowLong(drop, GWL_STYLE) & WS_POPUP, 0);
    EXPECT_FALSE(IsWindowVisible(drop));

    click(cb, 20, 12);
    ASSERT_EQ(SendMessage(cb, CB_GETDROPPEDSTATE, 0, 0), 1);
    EXPECT_TRUE(IsWindowVisible(drop));
    EXPECT_EQ(GetWindow(drop, GW_OWNER), parent_);
    RECT box, popup;
    GetWindowRect(cb, &box);
    GetWindowRect(drop, &popup);
    EXPECT_EQ(popup.top, box.bottom);
    EXPECT_EQ(popup.left, box.left);
    EXPECT_EQ(codes(cb), std::vector<uint32_t>{CBN_SETFOCUS});
    EXPECT_EQ(GetFocus(), cb);

    g_log.clear();
    click_item(drop, 1);
    EXPECT_EQ(SendMessage(cb, CB_GETDROPPEDSTATE, 0, 0), 0);
    EXPECT_FALSE(IsWindowVisible(drop));
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(GetWindowText(cb), u"green");
    EXPECT_EQ(codes(cb), std::vector<uint32_t>{CBN_SELCHANGE});
    EXPECT_EQ(GetCapture(), 0u);

    SetFocus(parent_);
    EXPECT_EQ(codes(cb), (std::vector<uint32_t>{CBN_SELCHANGE, CBN_KILLFOCUS}));
}

// A combo's scroll bar styles go to its drop list: the box keeps its whole width for the field.
TEST_F(ListsTest, ScrollBarStylesBelongToTheDropList) {
    HWND cb = combo(CBS_DROPDOWNLIST | WS_VSCROLL);
    RECT client;
    GetClientRect(cb, &client);
    EXPECT_EQ(client.width(), 120);
    EXPECT_EQ(GetWindowLong(cb, GWL_STYLE) & WS_VSCROLL, 0);
    for (int i = 0; i < 60; i++) SendMessage(cb, CB_ADDSTRING, 0, reinterpret_cast<intptr_t>(u"item"));
    click(cb, 20, 12);
    ASSERT_EQ(SendMessage(cb, CB_GETDROPPEDSTATE, 0, 0), 1);
    EXPECT_NE(GetWindowLong(combo_drop_list(cb), GWL_STYLE) & WS_VSCROLL, 0);
}

TEST_F(ListsTest, EscapeAndAClickOutsideCloseTheListWithoutAChange) {
    HWND cb = combo();
    add(cb, CB_ADDSTRING, {u"a", u"b", u"c"});
    SendMessage(cb, CB_SETCURSEL, 0, 0);
    SetFocus(cb);
    g_log.clear();
    key(cb, WM_SYSKEYDOWN, VK_DOWN);  // Alt+Down drops
    ASSERT_EQ(SendMessage(cb, CB_GETDROPPEDSTATE, 0, 0), 1);
    key(cb, WM_KEYDOWN, VK_DOWN);  // moves in the list only
    EXPECT_EQ(SendMessage(combo_drop_list(cb), LB_GETCURSEL, 0, 0), 1);
    key(cb, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(SendMessage(cb, CB_GETDROPPEDSTATE, 0, 0), 0);
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 0);

    SendMessage(cb, CB_SHOWDROPDOWN, 1, 0);
    ASSERT_EQ(SendMessage(cb, CB_GETDROPPEDSTATE, 0, 0), 1);
    mouse(combo_drop_list(cb), WM_LBUTTONDOWN, -50, -80);  // a press away from the list
    EXPECT_EQ(SendMessage(cb, CB_GETDROPPEDSTATE, 0, 0), 0);
    EXPECT_EQ(GetCapture(), 0u);
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(codes(cb).empty());

    // Enter takes the item shown in the list; closed, the arrows pick directly.
    key(cb, WM_KEYDOWN, VK_F1 + 3);
    key(cb, WM_KEYDOWN, VK_DOWN);
    key(cb, WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 1);
    key(cb, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(GetWindowText(cb), u"c");
    EXPECT_EQ(codes(cb), (std::vector<uint32_t>{CBN_SELCHANGE, CBN_SELCHANGE}));
}

// The drop list shows at most 30 rows; dragged past its end it scrolls, hovered it follows the
// pointer without scrolling.
TEST_F(ListsTest, ADroppedListScrollsOnlyWhenDraggedPastItsEnd) {
    HWND cb = combo();
    for (int i = 0; i < 40; ++i) add(cb, CB_ADDSTRING, {u"item"});
    HWND drop = combo_drop_list(cb);
    SendMessage(cb, CB_SHOWDROPDOWN, 1, 0);
    RECT client;
    GetClientRect(drop, &client);
    EXPECT_EQ(client.bottom, 30 * SendMessage(drop, LB_GETITEMHEIGHT, 0, 0));
    POINT below{5, client.bottom + 20};
    ClientToScreen(drop, &below);
    mouse_input(WM_MOUSEMOVE, below, 0);
    pump();
    EXPECT_EQ(SendMessage(drop, LB_GETTOPINDEX, 0, 0), 0);
    mouse_input(WM_MOUSEMOVE, below, MK_LBUTTON);
    pump();
    EXPECT_EQ(SendMessage(drop, LB_GETTOPINDEX, 0, 0), 1);
    mouse(drop, WM_MOUSEMOVE, 5, 5);  // over the first row shown
    EXPECT_EQ(SendMessage(drop, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), -1);  // not picked until released
    ShowWindow(cb, SW_HIDE);  // a hidden box takes its list down
    EXPECT_FALSE(IsWindowVisible(drop));
    EXPECT_EQ(GetCapture(), 0u);
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), -1);
}

TEST_F(ListsTest, ADropListsTextPicksTheItemThatHasIt) {
    HWND cb = combo();
    add(cb, CB_ADDSTRING, {u"one", u"two"});
    EXPECT_TRUE(SetWindowText(cb, u"two"));
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessage(cb, WM_SETTEXT, 0, reinterpret_cast<intptr_t>(u"three")), CB_ERR);
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(GetWindowText(cb), u"two");
    EXPECT_EQ(SendMessage(cb, CB_INSERTSTRING, 0, reinterpret_cast<intptr_t>(u"zero")), 0);
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessage(cb, CB_DELETESTRING, 2, 0), 2);
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), -1);
    EXPECT_EQ(GetWindowText(cb), u"");
    SendMessage(cb, CB_SETHORIZONTALEXTENT, 300, 0);
    EXPECT_EQ(SendMessage(cb, CB_GETHORIZONTALEXTENT, 0, 0), 300);
    SendMessage(cb, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessage(cb, CB_GETCOUNT, 0, 0), 0);
}

// A drop-down box edits its text in its edit child: the user's edits are told as code 5, a
// picked item's text is not; the focus of the box and its edit counts once.
TEST_F(ListsTest, ADropDownEditsItsTextAndTellsEachEdit) {
    HWND cb = combo(CBS_DROPDOWN | CBS_AUTOHSCROLL);
    ASSERT_TRUE(IsWindow(cb));
    add(cb, CB_ADDSTRING, {u"alpha", u"beta"});
    HWND edit = GetWindow(cb, GW_CHILD);
    ASSERT_TRUE(IsWindow(edit));
    SetFocus(cb);
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(codes(cb), std::vector<uint32_t>{CBN_SETFOCUS});
    g_log.clear();
    for (char16_t c : std::u16string_view(u"ab")) post_input(MSG{edit, WM_CHAR, c, 0, 0, {}});
    pump();
    EXPECT_EQ(GetWindowText(cb), u"ab");
    EXPECT_EQ(codes(cb), (std::vector<uint32_t>{CBN_EDITCHANGE, CBN_EDITCHANGE}));
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), -1);

    g_log.clear();
    key(edit, WM_KEYDOWN, VK_DOWN);  // the box's keys, taken in its edit
    EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(GetWindowText(cb), u"alpha");
    SendMessage(cb, CB_SETCURSEL, 1, 0);
    EXPECT_EQ(GetWindowText(cb), u"beta");
    EXPECT_TRUE(SetWindowText(cb, u"free text"));
    EXPECT_EQ(GetWindowText(cb), u"free text");
    EXPECT_EQ(codes(cb), std::vector<uint32_t>{CBN_SELCHANGE});

    g_log.clear();
    InvalidateRect(edit, nullptr, true);
    UpdateWindow(edit);  // the edit's colours are asked of the box's parent for the box
    ASSERT_FALSE(logged(WM_CTLCOLOREDIT, parent_).empty());
    EXPECT_EQ(logged(WM_CTLCOLOREDIT, parent_).back().lParam, static_cast<intptr_t>(cb));

    click(cb, 115, 12);  // the button drops the list; the focus stays in the edit
    EXPECT_EQ(SendMessage(cb, CB_GETDROPPEDSTATE, 0, 0), 1);
    EXPECT_EQ(GetFocus(), edit);
    SetFocus(parent_);
    EXPECT_EQ(SendMessage(cb, CB_GETDROPPEDSTATE, 0, 0), 0);
    EXPECT_EQ(codes(cb), std::vector<uint32_t>{CBN_KILLFOCUS});
}

TEST_F(ListsTest, AComboDestroyedByItsSelectionHandlerTakesItsListAlong) {
    HWND cb = combo();
    add(cb, CB_ADDSTRING, {u"a", u"b"});
    HWND drop = combo_drop_list(cb);
    g_answer = [&](HWND h, uint32_t m, intptr_t w, intptr_t) -> std::optional<LRESULT> {
        if (h == parent_ && m == WM_COMMAND && ((w >> 16) & 0xFFFF) == CBN_SELCHANGE) DestroyWindow(cb);
        return std::nullopt;
    };
    SendMessage(cb, CB_SHOWDROPDOWN, 1, 0);
    click_item(drop, 1);
    EXPECT_FALSE(IsWindow(cb));
    EXPECT_FALSE(IsWindow(drop));
    EXPECT_EQ(GetCapture(), 0u);
}

}  // namespace
}  // namespace nuv::test::win
