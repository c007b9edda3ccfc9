// Menus: the item records, the bar and popup loops driven by keys and clicks fed one step each
// time the loop runs dry (then WM_QUIT, as when a replay runs out, so no loop can wait for
// ever), the owner's notifications in order, and the pixels of the bar and of a popup.
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>

#include "host/menus/menus.h"
#include "host/win/keys.h"
#include "host/win/sdl_source.h"
#include "tests/host/win_support.h"
#include "tests/temp_support.h"

namespace nuv::test::win {
namespace {

using namespace nuv::host::menus;

constexpr int32_t kRanOut = 75;
constexpr intptr_t kClosed = 0xFFFF0000;

std::deque<std::function<void()>> g_steps;

// Runs steps until one leaves a message waiting (input for a window destroyed meanwhile is
// dropped), else ends the loop as a replay running out does.
void script_idle() {
    MSG msg;
    while (!g_steps.empty()) {
        auto step = std::move(g_steps.front());
        g_steps.pop_front();
        step();
        if (PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE)) return;
    }
    PostQuitMessage(kRanOut);
}

const EventSource kScript{.idle = script_idle};

void key(HWND h, uint32_t message, intptr_t vk) { post_input(MSG{h, message, vk, 0, 0, {}}); }

// A letter key with the character it types (Alt held: the system pair).
void type(HWND h, char16_t c, bool alt = false) {
    key(h, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c);
    key(h, alt ? WM_SYSCHAR : WM_CHAR, c);
}

void press(HWND h, intptr_t vk) { key(h, WM_KEYDOWN, vk); }

void alt(HWND h) {
    key(h, WM_SYSKEYDOWN, VK_MENU);
    key(h, WM_SYSKEYUP, VK_MENU);
}

POINT centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

void click(POINT p) {
    mouse_input(WM_MOUSEMOVE, p, 0);
    mouse_input(WM_LBUTTONDOWN, p, MK_LBUTTON);
    mouse_input(WM_LBUTTONUP, p, 0);
}

// Clicks the item of a menu shown when the step runs.
std::function<void()> click_item(HMENU menu, uint32_t position) {
    return [=] {
        RECT r;
        ASSERT_TRUE(GetMenuItemRect(0, menu, position, &r));
        click(centre(r));
    };
}

bool menu_message(uint32_t m) {
    return m == WM_ENTERMENULOOP || m == WM_INITMENU || m == WM_INITMENUPOPUP || m == WM_MENUSELECT ||
           m == WM_EXITMENULOOP || m == WM_COMMAND;
}

struct Note {
    uint32_t message;
    intptr_t wParam, lParam;
    bool operator==(const Note&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Note& n) {
    return out << std::hex << "{0x" << n.message << ", 0x" << n.wParam << ", 0x" << n.lParam << "}" << std::dec;
}

std::vector<Note> notes(HWND owner) {
    std::vector<Note> out;
    for (const Logged& l : g_log)
        if (l.hwnd == owner && menu_message(l.message)) out.push_back(Note{l.message, l.wParam, l.lParam});
    return out;
}

intptr_t selected(uint32_t low, uint32_t flags) { return static_cast<intptr_t>(low | flags << 16); }

// The notes from the last highlight before the close on: what the menu ended with.
std::vector<Note> ending(HWND owner) {
    std::vector<Note> all = notes(owner);
    size_t from = all.size();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].message == WM_MENUSELECT && all[i].wParam == kClosed) from = i > 0 ? i - 1 : i;
    return std::vector<Note>(all.begin() + static_cast<ptrdiff_t>(std::min(from, all.size())), all.end());
}

// Dispatches what waits, as pump does; answers whether WM_QUIT was among it.
bool pump_to_quit() {
    MSG msg;
    bool quit = false;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        quit = quit || msg.message == WM_QUIT;
        DispatchMessage(&msg);
    }
    return quit;
}

class MenuTest : public WinTest {
protected:
    void SetUp() override {
        set_event_source(&kScript);
        WinTest::SetUp();
        g_steps.clear();
    }
    void TearDown() override {
        g_steps.clear();
        WinTest::TearDown();
        for (HMENU m : menus_) DestroyMenu(m);
    }
    // "&File" with "&Open", a separator and "&Quit" (ids 101, 102), as a bar and its popup.
    void file_menu() {
        file_ = keep(CreatePopupMenu());
        AppendMenu(file_, MF_STRING, 101, u"&Open");
        AppendMenu(file_, MF_SEPARATOR, 0, u"");
        AppendMenu(file_, MF_STRING, 102, u"&Quit\tCtrl+Q");
        bar_ = keep(CreateMenu());
        AppendMenu(bar_, MF_POPUP, static_cast<uintptr_t>(file_), u"&File");
    }
    HWND framed() {
        file_menu();
        HWND h = top(100, 100, 300, 200);
        EXPECT_TRUE(SetMenu(h, bar_));
        return h;
    }
    HMENU keep(HMENU m) {
        menus_.push_back(m);
        return m;
    }
    HMENU file_ = 0, bar_ = 0;
    std::vector<HMENU> menus_;
};

TEST_F(MenuTest, AClickOnTheBarThenOnQuitSelectsQuitThenSendsItsCommand) {
    HWND h = framed();
    RECT file;
    ASSERT_TRUE(GetMenuItemRect(h, bar_, 0, &file));
    click(centre(file));
    g_steps.push_back(click_item(file_, 2));
    EXPECT_FALSE(pump_to_quit());
    const std::vector<Note> want{
        {WM_ENTERMENULOOP, 0, 0},
        {WM_INITMENU, bar_, 0},
        {WM_MENUSELECT, selected(0, MF_POPUP | MF_HILITE | MF_MOUSESELECT), bar_},
        {WM_INITMENUPOPUP, file_, 0},
        {WM_MENUSELECT, selected(102, MF_HILITE | MF_MOUSESELECT), file_},
        {WM_MENUSELECT, kClosed, 0},
        {WM_EXITMENULOOP, 0, 0},
        {WM_COMMAND, 102, 0},
    };
    EXPECT_EQ(notes(h), want);
    EXPECT_EQ(GetCapture(), 0u);
}

TEST_F(MenuTest, EveryWayToQuitHighlightsQuitBeforeItsCommand) {
    struct Row {
        const char* name;
        std::function<void(HWND)> start;
        std::vector<std::function<void(HWND)>> steps;
    };
    const std::vector<Row> rows{
        {"Alt, F, Q", alt, {[](HWND h) { type(h, u'f'); }, [](HWND h) { type(h, u'q'); }}},
        {"Alt+F, Q", [](HWND h) { type(h, u'f', true); }, {[](HWND h) { type(h, u'q'); }}},
        {"Alt, Down, Up round to the last, Enter",
         alt,
         {[](HWND h) { press(h, VK_DOWN); }, [](HWND h) { press(h, VK_UP); }, [](HWND h) { press(h, VK_RETURN); }}},
        {"Alt, Down, Down past the separator, Enter",
         alt,
         {[](HWND h) { press(h, VK_DOWN); }, [](HWND h) { press(h, VK_DOWN); }, [](HWND h) { press(h, VK_RETURN); }}},
    };
    HWND h = framed();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_log.clear();
        row.start(h);
        for (const auto& step : row.steps) g_steps.push_back([=] { step(h); });
        EXPECT_FALSE(pump_to_quit());
        const std::vector<Note> want{
            {WM_MENUSELECT, selected(102, MF_HILITE), file_},
            {WM_MENUSELECT, kClosed, 0},
            {WM_EXITMENULOOP, 0, 0},
            {WM_COMMAND, 102, 0},
        };
        EXPECT_EQ(ending(h), want);
    }
}

TEST_F(MenuTest, TheBarMovesToItsNeighbourWhileAPopupIsOpen) {
    HWND h = framed();
    HMENU edit = CreatePopupMenu();
    AppendMenu(edit, MF_STRING, 201, u"&Copy");
    AppendMenu(bar_, MF_POPUP, static_cast<uintptr_t>(edit), u"&Edit");
    AppendMenu(bar_, MF_STRING, 301, u"&Help");  // a command on the bar itself
    DrawMenuBar(h);
    RECT file, edit_item, help;
    ASSERT_TRUE(GetMenuItemRect(h, bar_, 0, &file));
    ASSERT_TRUE(GetMenuItemRect(h, bar_, 1, &edit_item));
    ASSERT_TRUE(GetMenuItemRect(h, bar_, 2, &help));
    EXPECT_EQ(edit_item.left, file.right);
    struct Row {
        const char* name;
        std::function<void()> start, step;
        uint32_t command;
    };
    const std::vector<Row> rows{
        {"a click on File, the pointer onto Edit", [&] { click(centre(file)); },
         [&] { mouse_input(WM_MOUSEMOVE, centre(edit_item), 0); }, 201},
        {"Alt+F, Right", [&] { type(h, u'f', true); }, [&] { press(h, VK_RIGHT); }, 201},
        {"Alt+E, Left, Left round to Help", [&] { type(h, u'e', true); },
         [&] {
             press(h, VK_LEFT);
             press(h, VK_LEFT);
             press(h, VK_RETURN);
         },
         301},
        {"a click on Help", [&] { click(centre(help)); }, [] {}, 301},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_log.clear();
        row.start();
        g_steps.push_back(row.step);
        if (row.command == 201) g_steps.push_back([&] { type(h, u'c'); });
        EXPECT_FALSE(pump_to_quit());
        const std::vector<Logged> commands = logged(WM_COMMAND, h);
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].wParam, row.command);
        if (row.command == 201) {
            const std::vector<Logged> popups = logged(WM_INITMENUPOPUP, h);
            ASSERT_FALSE(popups.empty());
            EXPECT_EQ(popups.back().wParam, edit);
            EXPECT_EQ(popups.back().lParam, 1);
        }
        g_steps.clear();
    }
}

TEST_F(MenuTest, DismissingTheMenuClosesItWithoutACommand) {
    struct Row {
        const char* name;
        bool bar;  // the window's bar, else a popup at (150, 150)
        std::function<void(HWND)> start;
        std::vector<std::function<void(HWND)>> steps;
        bool quit;  // the loop ended on WM_QUIT, which waits again for the loop outside
    };
    const std::vector<Row> rows{
        {"Escape on a popup", false, nullptr, {[](HWND h) { press(h, VK_ESCAPE); }}, false},
        {"a press outside the popup", false, nullptr, {[](HWND) { click(POINT{20, 20}); }}, false},
        {"input running out", false, nullptr, {}, true},
        {"Alt, Escape", true, alt, {[](HWND h) { press(h, VK_ESCAPE); }}, false},
        {"Alt twice", true, alt, {[](HWND h) { key(h, WM_SYSKEYDOWN, VK_MENU); }}, false},
        {"Alt+F, Escape, Escape",
         true,
         [](HWND h) { type(h, u'f', true); },
         {[](HWND h) { press(h, VK_ESCAPE); }, [](HWND h) { press(h, VK_ESCAPE); }},
         false},
        {"Alt+F, a press on File again",
         true,
         [](HWND h) { type(h, u'f', true); },
         {[this](HWND h) {
             RECT r;
             ASSERT_TRUE(GetMenuItemRect(h, bar_, 0, &r));
             mouse_input(WM_LBUTTONDOWN, centre(r), MK_LBUTTON);
         }},
         false},
        {"Alt+F, a letter no item has, input running out",
         true,
         [](HWND h) { type(h, u'f', true); },
         {[](HWND h) { type(h, u'z'); }},
         true},
    };
    HWND h = framed();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_log.clear();
        for (const auto& step : row.steps) g_steps.push_back([=] { step(h); });
        if (row.bar)
            row.start(h);
        else
            EXPECT_EQ(TrackPopupMenuEx(file_, TPM_RETURNCMD, 150, 150, h), 0);
        EXPECT_EQ(pump_to_quit(), row.quit);
        const std::vector<Note> all = notes(h);
        ASSERT_GE(all.size(), 2u);
        EXPECT_EQ(all[all.size() - 2], (Note{WM_MENUSELECT, kClosed, 0}));
        EXPECT_EQ(all.back(), (Note{WM_EXITMENULOOP, row.bar ? 0 : 1, 0}));
        EXPECT_EQ(GetCapture(), 0u);
        EXPECT_TRUE(logged(WM_COMMAND).empty());
        g_steps.clear();
    }
}

TEST_F(MenuTest, ReturnCmdAnswersTheIdInsteadOfPostingIt) {
    HWND h = framed();
    for (const uint32_t flags : {uint32_t{TPM_RETURNCMD}, uint32_t{TPM_LEFTBUTTON}}) {
        g_log.clear();
        g_steps.push_back([=] { type(h, u'q'); });
        const int32_t answer = TrackPopupMenuEx(file_, flags, 150, 150, h);
        pump();
        const std::vector<Logged> commands = logged(WM_COMMAND, h);
        if (flags & TPM_RETURNCMD) {
            EXPECT_EQ(answer, 102);
            EXPECT_TRUE(commands.empty());
        } else {
            EXPECT_EQ(answer, 1);
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, 102);
            EXPECT_EQ(commands[0].lParam, 0);
        }
        const std::vector<Note> start = notes(h);
        ASSERT_GE(start.size(), 3u);
        EXPECT_EQ(start[0], (Note{WM_ENTERMENULOOP, 1, 0}));
        EXPECT_EQ(start[1], (Note{WM_INITMENU, file_, 0}));
        EXPECT_EQ(start[2], (Note{WM_INITMENUPOPUP, file_, 0}));
    }
}

TEST_F(MenuTest, KeysWalkIntoASubmenuAndBack) {
    HWND h = top(100, 100, 300, 200);
    HMENU sub = CreatePopupMenu(), menu = keep(CreatePopupMenu());
    AppendMenu(sub, MF_STRING, 201, u"&Text");
    AppendMenu(sub, MF_STRING, 202, u"&Image");
    AppendMenu(menu, MF_POPUP, static_cast<uintptr_t>(sub), u"&New");
    AppendMenu(menu, MF_STRING, 203, u"&Close");
    for (intptr_t vk : {VK_DOWN, VK_RIGHT, VK_DOWN, VK_LEFT, VK_DOWN, VK_RETURN})
        g_steps.push_back([=] { press(h, vk); });
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 150, 150, h), 203);
    const std::vector<Note> want{
        {WM_ENTERMENULOOP, 1, 0},
        {WM_INITMENU, menu, 0},
        {WM_INITMENUPOPUP, menu, 0},
        {WM_MENUSELECT, selected(0, MF_POPUP | MF_HILITE), menu},
        {WM_INITMENUPOPUP, sub, 0},
        {WM_MENUSELECT, selected(201, MF_HILITE), sub},
        {WM_MENUSELECT, selected(202, MF_HILITE), sub},
        {WM_MENUSELECT, selected(203, MF_HILITE), menu},
        {WM_MENUSELECT, kClosed, 0},
        {WM_EXITMENULOOP, 1, 0},
    };
    EXPECT_EQ(notes(h), want);
}

TEST_F(MenuTest, GrayedItemsHighlightButAreNeverChosen) {
    HWND h = top(100, 100, 300, 200);
    HMENU menu = keep(CreatePopupMenu());
    AppendMenu(menu, MF_GRAYED, 301, u"&Gray");
    AppendMenu(menu, MF_STRING, 302, u"&Ok");
    g_steps.push_back(click_item(menu, 0));
    g_steps.push_back([=] { type(h, u'g'); });
    g_steps.push_back([=] { press(h, VK_RETURN); });
    g_steps.push_back([=] { press(h, VK_ESCAPE); });
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 150, 150, h), 0);
    const std::vector<Logged> selects = logged(WM_MENUSELECT, h);
    ASSERT_GE(selects.size(), 2u);
    EXPECT_EQ(selects[0].wParam, selected(301, MF_HILITE | MF_GRAYED | MF_DISABLED | MF_MOUSESELECT));
    EXPECT_EQ(selects.back().wParam, kClosed);
}

TEST_F(MenuTest, AMnemonicSharedByTwoItemsMovesBetweenThem) {
    HWND h = top(100, 100, 300, 200);
    HMENU menu = keep(CreatePopupMenu());
    AppendMenu(menu, MF_STRING, 1, u"&Save");
    AppendMenu(menu, MF_STRING, 2, u"&Send");
    AppendMenu(menu, MF_STRING, 3, u"Fish && &Chips");
    for (char16_t c : {u's', u's'}) g_steps.push_back([=] { type(h, c); });
    g_steps.push_back([=] { press(h, VK_RETURN); });
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 150, 150, h), 2);
    g_steps.push_back([=] { type(h, u'C'); });
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 150, 150, h), 3);
}

TEST_F(MenuTest, APopupShowsAtThePointAndStaysOnTheDisplay) {
    HWND h = top(100, 100, 300, 200);
    file_menu();
    struct Row {
        POINT at;
        bool moved;
    };
    for (const Row& row : {Row{{150, 150}, false}, Row{{1915, 1075}, true}}) {
        RECT shown{};
        g_steps.push_back([&] {
            RECT item;
            ASSERT_TRUE(GetMenuItemRect(0, file_, 0, &item));
            GetWindowRect(WindowFromPoint(centre(item)), &shown);
            press(h, VK_ESCAPE);
        });
        TrackPopupMenuEx(file_, TPM_RETURNCMD, row.at.x, row.at.y, h);
        ASSERT_GT(shown.width(), 0);
        if (!row.moved) {
            EXPECT_EQ(shown.left, row.at.x);
            EXPECT_EQ(shown.top, row.at.y);
        }
        EXPECT_LE(shown.right, 1920);
        EXPECT_LE(shown.bottom, 1080);
    }
}

TEST_F(MenuTest, AHandlerThatDestroysTheOwnerOrTheMenuEndsTheLoop) {
    struct Row {
        const char* name;
        uint32_t message;  // the notification whose handler destroys
        bool owner;        // the owner window, else the menu
    };
    for (const Row& row : {Row{"owner on WM_MENUSELECT", WM_MENUSELECT, true},
                           Row{"owner on WM_INITMENUPOPUP", WM_INITMENUPOPUP, true},
                           Row{"menu on WM_INITMENUPOPUP", WM_INITMENUPOPUP, false},
                           Row{"menu on WM_MENUSELECT", WM_MENUSELECT, false}}) {
        SCOPED_TRACE(row.name);
        file_menu();
        HWND h = top(100, 100, 300, 200);
        const HMENU menu = file_;
        g_answer = [&](HWND hwnd, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
            if (m == row.message) row.owner ? DestroyWindow(hwnd) : DestroyMenu(menu);
            return std::nullopt;
        };
        g_steps.push_back([=] { press(h, VK_DOWN); });
        g_steps.push_back([=] { press(h, VK_RETURN); });
        EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 150, 150, h), 0);
        g_answer = nullptr;
        g_steps.clear();
        EXPECT_EQ(IsWindow(h), !row.owner);
        EXPECT_EQ(GetCapture(), 0u);
        std::u16string under;
        GetClassName(WindowFromPoint(POINT{160, 160}), &under);
        EXPECT_NE(under, u"MenuPopup");  // no popup left behind
        // A new loop runs: the old one is over.
        HMENU again = keep(CreatePopupMenu());
        AppendMenu(again, MF_STRING, 7, u"&Again");
        HWND owner = row.owner ? top(100, 100, 300, 200) : h;
        g_steps.push_back([=] { type(owner, u'a'); });
        EXPECT_EQ(TrackPopupMenuEx(again, TPM_RETURNCMD, 150, 150, owner), 7);
        g_steps.clear();
    }
}

// A top-level window's menu, with its popups, goes with the window; one taken off first stays.
TEST_F(MenuTest, ADestroyedWindowTakesItsMenuWithIt) {
    HWND h = framed();
    ASSERT_TRUE(DestroyWindow(h));
    EXPECT_FALSE(IsMenu(bar_));
    EXPECT_FALSE(IsMenu(file_));
    HWND other = top(100, 100, 300, 200);
    const HMENU kept = keep(CreateMenu());
    SetMenu(other, kept);
    SetMenu(other, 0);
    ASSERT_TRUE(DestroyWindow(other));
    EXPECT_TRUE(IsMenu(kept));
}

TEST_F(MenuTest, OnlyOneMenuLoopRunsAtATime) {
    HWND h = framed();
    int32_t inner = -1;
    g_answer = [&](HWND hwnd, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m == WM_INITMENUPOPUP && inner < 0) inner = TrackPopupMenuEx(file_, TPM_RETURNCMD, 10, 10, hwnd);
        return std::nullopt;
    };
    g_steps.push_back([=] { press(h, VK_ESCAPE); });
    EXPECT_EQ(TrackPopupMenuEx(file_, TPM_RETURNCMD, 150, 150, h), 0);
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(TrackPopupMenuEx(file_, TPM_RETURNCMD, 150, 150, 12345), 0);
    EXPECT_EQ(TrackPopupMenuEx(99, TPM_RETURNCMD, 150, 150, h), 0);
}

TEST_F(MenuTest, ItemsAreMadeReadAndChangedByPositionOrCommand) {
    HMENU menu = keep(CreatePopupMenu()), sub = CreatePopupMenu();
    ASSERT_TRUE(AppendMenu(sub, MF_STRING, 11, u"&Inner"));
    ASSERT_TRUE(AppendMenu(menu, MF_STRING | MF_CHECKED, 10, u"&Outer"));
    ASSERT_TRUE(AppendMenu(menu, MF_POPUP, static_cast<uintptr_t>(sub), u"&Sub"));
    MENUITEMINFO sep;
    sep.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA;
    sep.fType = MFT_SEPARATOR;
    sep.dwItemData = static_cast<uintptr_t>(-1);
    ASSERT_TRUE(InsertMenuItem(menu, 1, true, sep));
    EXPECT_EQ(GetMenuItemCount(menu), 3);

    MENUITEMINFO data;
    data.fMask = MIIM_DATA;
    data.dwItemData = 0xBEEF;
    EXPECT_TRUE(SetMenuItemInfo(menu, 11, false, data));  // found in the submenu
    MENUITEMINFO got;
    got.fMask = MIIM_DATA | MIIM_ID | MIIM_STRING | MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfo(sub, 0, true, &got));
    EXPECT_EQ(got.dwItemData, 0xBEEFu);
    EXPECT_EQ(got.wID, 11u);
    EXPECT_EQ(got.text, u"&Inner");
    got.fMask = MIIM_STATE | MIIM_FTYPE | MIIM_DATA;
    ASSERT_TRUE(GetMenuItemInfo(menu, 1, true, &got));
    EXPECT_EQ(got.fType, uint32_t{MFT_SEPARATOR});
    EXPECT_EQ(got.dwItemData, static_cast<uintptr_t>(-1));
    ASSERT_TRUE(GetMenuItemInfo(menu, 10, false, &got));
    EXPECT_EQ(got.fState, uint32_t{MFS_CHECKED});

    // Refused, with nothing changed.
    MENUITEMINFO text;
    text.fMask = MIIM_STRING | MIIM_ID;
    text.text = u"x";
    MENUITEMINFO self;
    self.fMask = MIIM_SUBMENU;
    self.hSubMenu = menu;
    MENUITEMINFO odd;
    odd.fMask = MIIM_FTYPE;
    odd.fType = 0x100;
    EXPECT_FALSE(InsertMenuItem(menu, 4, true, text));  // past the count
    EXPECT_FALSE(InsertMenuItem(menu, 99, false, text));  // no such command
    EXPECT_FALSE(SetMenuItemInfo(menu, 3, true, text));
    EXPECT_FALSE(GetMenuItemInfo(menu, 3, true, &got));
    EXPECT_FALSE(SetMenuItemInfo(sub, 0, true, self));  // the menu would hold itself
    EXPECT_FALSE(InsertMenuItem(menu, 0, true, self));
    EXPECT_FALSE(InsertMenuItem(menu, 0, true, odd));
    EXPECT_FALSE(AppendMenu(menu, MF_POPUP, 12345, u"stale"));
    EXPECT_FALSE(AppendMenu(54321, MF_STRING, 1, u"stale"));
    EXPECT_EQ(GetMenuItemCount(menu), 3);
    EXPECT_EQ(GetMenuItemCount(sub), 1);

    EXPECT_TRUE(InsertMenuItem(menu, 3, true, text));  // the count appends
    EXPECT_TRUE(InsertMenuItem(menu, 11, false, text));  // before Inner, in the submenu
    EXPECT_EQ(GetMenuItemCount(sub), 2);

    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_FALSE(IsMenu(menu));
    EXPECT_FALSE(IsMenu(sub));  // with the menu that held it
    EXPECT_FALSE(DestroyMenu(menu));
    EXPECT_EQ(GetMenuItemCount(menu), -1);
}

// ---- Through the screen: the test kit's input script, replayed while the menu loop waits

// Runs a window with the bar "&File" ("&Open", "&Quit") as a program does while the script
// replays (one script a process: the screen reads it when video starts); WM_COMMAND ends it.
void replay_on_bar(const char* script, intptr_t code, bool command) {
    const std::string path =
        nuv::test::temp_path(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt");
    std::ofstream(path) << script;
    setenv("NUV_TEST_INPUT", path.c_str(), 1);
    g_answer = [](HWND, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m == WM_COMMAND) PostQuitMessage(0);
        return std::nullopt;
    };
    HMENU file = CreatePopupMenu(), bar = CreateMenu();
    AppendMenu(file, MF_STRING, 101, u"&Open");
    AppendMenu(file, MF_STRING, 102, u"&Quit");
    AppendMenu(bar, MF_POPUP, static_cast<uintptr_t>(file), u"&File");
    HWND h = CreateWindowEx(0, recording_class(u"Recorder", 0xFFFFFFFF), u"top", WS_VISIBLE, 0, 0, 300, 200, 0, 0,
                            nullptr);
    SetMenu(h, bar);
    MSG msg;
    while (GetMessage(&msg, 0, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    EXPECT_EQ(msg.wParam, code);
    const std::vector<Logged> commands = logged(WM_COMMAND, h);
    ASSERT_EQ(commands.size(), command ? 1u : 0u);
    if (command) EXPECT_EQ(commands[0].wParam, 102);
    const std::vector<Logged> selects = logged(WM_MENUSELECT, h);
    ASSERT_GE(selects.size(), 2u);
    EXPECT_EQ(selects[selects.size() - 2].wParam, selected(command ? 102 : 101, MF_HILITE));
    EXPECT_EQ(selects.back().wParam, kClosed);
    DestroyWindow(h);
    DestroyMenu(bar);
}

using MenuScreenTest = WinTest;

TEST_F(MenuScreenTest, AReplayedAltFQChoosesQuit) { replay_on_bar("key Left Alt\nkey f\nkey q\n", 0, true); }

TEST_F(MenuScreenTest, AReplayRunningOutInsideTheMenuEndsIt) {
    replay_on_bar("key Left Alt\nkey f\n", kReplayRanOut, false);
}

// ---- Pixels

uint32_t pixel(const Frame& f, int32_t x, int32_t y) {
    return reinterpret_cast<const uint32_t*>(f.pixels + static_cast<size_t>(y) * f.stride)[x];
}

// Whether a row of the frame between two columns holds a dark (text) pixel.
bool dark_in(const Frame& f, int32_t y0, int32_t y1, int32_t x0, int32_t x1) {
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x)
            if ((pixel(f, x, y) & 0xFF) < 0x60) return true;
    return false;
}

TEST_F(MenuTest, TheBarAndThePopupAreDrawnWithTheHighlightedItem) {
    HWND h = framed();
    RECT window, file, quit, open;
    GetWindowRect(h, &window);
    ASSERT_TRUE(GetMenuItemRect(h, bar_, 0, &file));
    Frame f;
    ASSERT_TRUE(compose_frame(h, &f));
    const int32_t fx = file.left - window.left, fy = file.top - window.top;
    EXPECT_TRUE(dark_in(f, fy, fy + file.height(), fx, fx + file.width()));  // "File"
    EXPECT_FALSE(dark_in(f, fy, fy + file.height(), fx + file.width(), f.width - 2));  // nothing after it
    EXPECT_EQ(pixel(f, fx + 2, fy + 2), 0xFFF0F0F0u);

    uint32_t bar_hot = 0, popup_hot = 0, popup_plain = 0;
    bool text_in_quit = false;
    type(h, u'f', true);
    g_steps.push_back([&] {
        Frame bar, popup;
        ASSERT_TRUE(compose_frame(h, &bar));
        bar_hot = pixel(bar, fx + 2, fy + 2);
        ASSERT_TRUE(GetMenuItemRect(0, file_, 0, &open));
        ASSERT_TRUE(GetMenuItemRect(0, file_, 2, &quit));
        const HWND shown = WindowFromPoint(centre(open));
        RECT r;
        GetWindowRect(shown, &r);
        ASSERT_TRUE(compose_frame(shown, &popup));
        popup_hot = pixel(popup, open.left - r.left + 4, open.top - r.top + 2);
        popup_plain = pixel(popup, quit.left - r.left + 4, quit.top - r.top + 2);
        text_in_quit = dark_in(popup, quit.top - r.top, quit.bottom - r.top, quit.left - r.left, quit.right - r.left);
        press(h, VK_ESCAPE);
        press(h, VK_ESCAPE);
    });
    pump();
    EXPECT_EQ(bar_hot, 0xFFCCE8FFu);
    EXPECT_EQ(popup_hot, 0xFFCCE8FFu);
    EXPECT_EQ(popup_plain, 0xFFF2F2F2u);
    EXPECT_TRUE(text_in_quit);
    ASSERT_TRUE(compose_frame(h, &f));
    EXPECT_EQ(pixel(f, fx + 2, fy + 2), 0xFFF0F0F0u);  // the highlight goes with the loop
}

}  // namespace
}  // namespace nuv::test::win
