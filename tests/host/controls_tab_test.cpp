// The tab control: tabs inserted in order, a click asking the parent before and telling it
// after (and a refusal keeping the tab), silent changes by message, deleting, the display area,
// a strip wider than the window, indexes out of range, a control destroyed by its handler.
#include <string>

#include "host/controls/tab.h"
#include "host/win/keys.h"
#include "tests/host/controls_support.h"

namespace nuv::test::win {
namespace {

class TabTest : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        g_answer = [this](HWND h, uint32_t m, intptr_t, intptr_t l) -> std::optional<LRESULT> {
            if (h != parent_ || m != WM_NOTIFY) return std::nullopt;
            const auto* hdr = reinterpret_cast<const NMHDR*>(l);
            notes_.push_back(hdr->code);
            EXPECT_EQ(hdr->idFrom, 7u);
            if (hdr->code == TCN_SELCHANGING) {
                if (destroy_on_changing_) DestroyWindow(hdr->hwndFrom);
                return refuse_;
            }
            return 0;
        };
    }
    HWND tabs(std::initializer_list<std::u16string_view> texts, int32_t w = 280) {
        HWND t = control(kTabClass, 0, 10, 10, w, 150);
        for (std::u16string_view text : texts) insert(t, count(t), text);
        return t;
    }
    static LRESULT insert(HWND t, intptr_t index, std::u16string_view text) {
        std::u16string owned(text);
        TCITEMW item;
        item.mask = TCIF_TEXT;
        item.pszText = owned.data();
        item.cchTextMax = static_cast<int32_t>(owned.size());
        return SendMessage(t, TCM_INSERTITEMW, index, reinterpret_cast<intptr_t>(&item));
    }
    static intptr_t count(HWND t) { return SendMessage(t, TCM_GETITEMCOUNT, 0, 0); }
    static intptr_t sel(HWND t) { return SendMessage(t, TCM_GETCURSEL, 0, 0); }
    static std::vector<std::u16string> texts(HWND t) {
        std::vector<std::u16string> out;
        for (intptr_t i = 0; i < count(t); ++i) {
            char16_t room[32] = {};
            TCITEMW item;
            item.mask = TCIF_TEXT;
            item.pszText = room;
            item.cchTextMax = 32;
            SendMessage(t, TCM_GETITEMW, i, reinterpret_cast<intptr_t>(&item));
            out.emplace_back(room);
        }
        return out;
    }
    static RECT tab_rect(HWND t, intptr_t index) { return item_rect(t, TCM_GETITEMRECT, index); }
    static void click_tab(HWND t, intptr_t index) { click_item(t, TCM_GETITEMRECT, index); }
    std::vector<int32_t> notes_;
    LRESULT refuse_ = 0;
    bool destroy_on_changing_ = false;
};

TEST_F(TabTest, TabsKeepTheOrderTheyWereInsertedInAndTheFirstIsSelected) {
    HWND t = tabs({u"One", u"Three"});
    EXPECT_EQ(sel(t), 0);
    EXPECT_EQ(insert(t, 1, u"Two"), 1);
    EXPECT_EQ(insert(t, 0, u"Zero"), 0);
    EXPECT_EQ(texts(t), (std::vector<std::u16string>{u"Zero", u"One", u"Two", u"Three"}));
    EXPECT_EQ(sel(t), 1);  // still "One"
    EXPECT_TRUE(notes_.empty());
    for (intptr_t i = 1; i < count(t); ++i) EXPECT_EQ(tab_rect(t, i).left, tab_rect(t, i - 1).right);
}

TEST_F(TabTest, ClickingATabAsksBeforeAndTellsAfter) {
    HWND t = tabs({u"One", u"Two", u"Three"});
    click_tab(t, 1);
    EXPECT_EQ(notes_, (std::vector<int32_t>{TCN_SELCHANGING, TCN_SELCHANGE}));
    EXPECT_EQ(sel(t), 1);
    EXPECT_EQ(SendMessage(t, TCM_GETCURFOCUS, 0, 0), 1);
    notes_.clear();
    click_tab(t, 1);  // the selected tab: nothing to ask
    EXPECT_TRUE(notes_.empty());
    key(t, WM_KEYDOWN, VK_RIGHT);  // the click gave it the focus; the arrows pick too
    EXPECT_EQ(notes_, (std::vector<int32_t>{TCN_SELCHANGING, TCN_SELCHANGE}));
    EXPECT_EQ(sel(t), 2);
}

TEST_F(TabTest, ANonZeroAnswerBeforeTheChangeKeepsTheTab) {
    HWND t = tabs({u"One", u"Two", u"Three"});
    refuse_ = 1;
    click_tab(t, 1);
    EXPECT_EQ(notes_, std::vector<int32_t>{TCN_SELCHANGING});
    EXPECT_EQ(sel(t), 0);
}

TEST_F(TabTest, ATabControlDestroyedByItsHandlerIsLeftAlone) {
    HWND t = tabs({u"One", u"Two"});
    destroy_on_changing_ = true;
    click_tab(t, 1);
    EXPECT_FALSE(IsWindow(t));
    EXPECT_EQ(notes_, std::vector<int32_t>{TCN_SELCHANGING});
}

TEST_F(TabTest, MessagesChangeTheSelectionSilently) {
    HWND t = tabs({u"One", u"Two", u"Three"});
    EXPECT_EQ(SendMessage(t, TCM_SETCURSEL, 2, 0), 0);
    EXPECT_EQ(sel(t), 2);
    EXPECT_EQ(SendMessage(t, TCM_SETCURFOCUS, 1, 0), 0);
    EXPECT_EQ(sel(t), 1);
    EXPECT_EQ(SendMessage(t, TCM_GETCURFOCUS, 0, 0), 1);
    EXPECT_TRUE(notes_.empty());
}

TEST_F(TabTest, DeletingMovesTheSelectionWithItsTab) {
    HWND t = tabs({u"A", u"B", u"C", u"D"});
    SendMessage(t, TCM_SETCURSEL, 2, 0);
    EXPECT_EQ(SendMessage(t, TCM_DELETEITEM, 0, 0), 1);
    EXPECT_EQ(sel(t), 1);
    EXPECT_EQ(texts(t), (std::vector<std::u16string>{u"B", u"C", u"D"}));
    EXPECT_EQ(SendMessage(t, TCM_DELETEITEM, 1, 0), 1);  // the selected one
    EXPECT_EQ(sel(t), -1);
    EXPECT_EQ(SendMessage(t, TCM_DELETEALLITEMS, 0, 0), 1);
    EXPECT_EQ(count(t), 0);
    EXPECT_EQ(sel(t), -1);
    EXPECT_EQ(insert(t, 0, u"Again"), 0);
    EXPECT_EQ(sel(t), 0);
    EXPECT_TRUE(notes_.empty());
}

// Every message that takes an index, with one out of range, on three tabs with the second
// selected: -1 or FALSE, and the tabs and the selection as they were.
TEST_F(TabTest, IndexesOutOfRangeAnswerMinusOneOrFalseAndChangeNothing) {
    HWND t = tabs({u"A", u"B", u"C"});
    SendMessage(t, TCM_SETCURSEL, 1, 0);
    RECT rect;
    char16_t room[8] = {};
    TCITEMW read;
    read.mask = TCIF_TEXT;
    read.pszText = room;
    read.cchTextMax = 8;
    struct Case {
        uint32_t message;
        intptr_t index;
        LRESULT answer;
    };
    const Case cases[] = {
        {TCM_SETCURSEL, 3, -1},  {TCM_SETCURSEL, -1, -1},  {TCM_SETCURFOCUS, 3, -1},  {TCM_SETCURFOCUS, -2, -1},
        {TCM_DELETEITEM, 3, 0},  {TCM_DELETEITEM, -1, 0},  {TCM_GETITEMRECT, 3, 0},   {TCM_GETITEMW, 3, 0},
        {TCM_GETITEMW, -1, 0},   {TCM_INSERTITEMW, 4, -1}, {TCM_INSERTITEMW, -1, -1},
        {TCM_SETCURSEL, intptr_t{1} << 32, -1},  {TCM_INSERTITEMW, intptr_t{1} << 32, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c.message << std::dec << " index " << c.index);
        LRESULT got;
        if (c.message == TCM_INSERTITEMW)
            got = insert(t, c.index, u"new");
        else
            got = SendMessage(t, c.message, c.index,
                              c.message == TCM_GETITEMRECT ? reinterpret_cast<intptr_t>(&rect)
                                                           : reinterpret_cast<intptr_t>(&read));
        EXPECT_EQ(got, c.answer);
        EXPECT_EQ(room[0], 0);
        EXPECT_EQ(texts(t), (std::vector<std::u16string>{u"A", u"B", u"C"}));
        EXPECT_EQ(sel(t), 1);
        EXPECT_EQ(SendMessage(t, TCM_GETCURFOCUS, 0, 0), 1);
    }
    EXPECT_TRUE(notes_.empty());
}

TEST_F(TabTest, TheDisplayAreaLiesUnderTheStripAndAdjustsBothWays) {
    HWND t = tabs({u"One", u"Two"});
    RECT window;
    GetWindowRect(t, &window);
    RECT area = window;
    SendMessage(t, TCM_ADJUSTRECT, 0, reinterpret_cast<intptr_t>(&area));
    EXPECT_GE(area.top - window.top, tab_rect(t, 0).bottom);
    EXPECT_GT(area.left, window.left);
    EXPECT_LT(area.right, window.right);
    EXPECT_LT(area.bottom, window.bottom);
    SendMessage(t, TCM_ADJUSTRECT, 1, reinterpret_cast<intptr_t>(&area));
    EXPECT_EQ(area.left, window.left);
    EXPECT_EQ(area.top, window.top);
    EXPECT_EQ(area.right, window.right);
    EXPECT_EQ(area.bottom, window.bottom);
}

TEST_F(TabTest, AStripWiderThanTheWindowScrollsToTheSelectedTab) {
    HWND t = tabs({}, 120);
    for (int i = 0; i < 12; ++i) insert(t, i, u"Page " + std::u16string(1, static_cast<char16_t>(u'a' + i)));
    EXPECT_LT(tab_rect(t, 0).left, tab_rect(t, 0).right);
    EXPECT_GT(tab_rect(t, 11).right, 120);  // out of sight
    SendMessage(t, TCM_SETCURSEL, 11, 0);
    EXPECT_LE(tab_rect(t, 11).right, 120);
    EXPECT_GE(tab_rect(t, 11).left, 0);
    EXPECT_LT(tab_rect(t, 0).left, 0);
    click_tab(t, 11);  // shown, and selected already
    EXPECT_TRUE(notes_.empty());
    SendMessage(t, TCM_SETCURSEL, 0, 0);
    EXPECT_GT(tab_rect(t, 0).left, 0);
}

}  // namespace
}  // namespace nuv::test::win
