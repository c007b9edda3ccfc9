// The window model's classes, tree and geometry: hit-testing by z-order, visibility and
// enabling; destruction order and stale ids; class names; superclasses; frames; positioning;
// focus, capture and activation, and activation handed on when the active window goes.
#include <algorithm>

#include "tests/host/win_support.h"

namespace nuv::test::win {
namespace {

std::vector<HWND> windows_of(const std::vector<Logged>& log) {
    std::vector<HWND> out;
    for (const Logged& l : log) out.push_back(l.hwnd);
    return out;
}

// A top-level window 300×200 at (100, 100) holding A at (10, 10) and B at (30, 30), both 50×50.
class Tree : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        top_ = top(100, 100, 300, 200);
        a_ = child(top_, 10, 10, 50, 50);
        b_ = child(top_, 30, 30, 50, 50);
    }
    HWND top_ = 0, a_ = 0, b_ = 0;
};

TEST_F(Tree, PointFindsTheTopmostVisibleEnabledWindow) {
    struct Row {
        const char* step;
        std::function<void()> change;
        HWND* expected;
        HWND* child_expected;  // ChildWindowFromPointEx skipping hidden and disabled
    };
    HWND none = 0;
    const Row rows[] = {
        {"B is above A", [] {}, &b_, &b_},
        {"A raised", [&] { SetWindowPos(a_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }, &a_, &a_},
        {"A hidden", [&] { ShowWindow(a_, SW_HIDE); }, &b_, &b_},
        {"A shown, both disabled",
         [&] {
             ShowWindow(a_, SW_SHOW);
             EnableWindow(a_, false);
             EnableWindow(b_, false);
         },
         &top_, &top_},
    };
    for (const Row& row : rows) {
        row.change();
        EXPECT_EQ(WindowFromPoint(POINT{135, 135}), *row.expected) << row.step;
        EXPECT_EQ(ChildWindowFromPointEx(top_, POINT{35, 35}, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED),
                  *row.child_expected)
            << row.step;
    }
    EXPECT_EQ(ChildWindowFromPointEx(top_, POINT{35, 35}, CWP_ALL), a_);
    EXPECT_EQ(ChildWindowFromPointEx(top_, POINT{350, 35}, CWP_ALL), none);
    EXPECT_EQ(WindowFromPoint(POINT{50, 50}), none);
}

TEST_F(Tree, DestroyGoesParentFirstAndEveryIdThenFails) {
    SetWindowPos(a_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetCapture(b_);
    SetFocus(a_);
    SetTimer(a_, 1, 100, nullptr);
    g_log.clear();
    ASSERT_TRUE(DestroyWindow(top_));
    EXPECT_EQ(windows_of(logged(WM_DESTROY)), (std::vector<HWND>{top_, a_, b_}));
    EXPECT_EQ(windows_of(logged(WM_NCDESTROY)), (std::vector<HWND>{b_, a_, top_}));
    EXPECT_EQ(GetCapture(), 0u);
    EXPECT_EQ(GetFocus(), 0u);
    g_log.clear();
    for (HWND h : {top_, a_, b_}) {
        RECT r;
        POINT p;
        EXPECT_FALSE(IsWindow(h));
        EXPECT_FALSE(GetWindowRect(h, &r));
        EXPECT_FALSE(GetClientRect(h, &r));
        EXPECT_FALSE(ClientToScreen(h, &p));
        EXPECT_FALSE(SetWindowPos(h, HWND_TOP, 0, 0, 10, 10, 0));
        EXPECT_FALSE(ShowWindow(h, SW_SHOW));
        EXPECT_FALSE(IsWindowVisible(h));
        EXPECT_EQ(GetWindowExtra(h), nullptr);
        EXPECT_EQ(SendMessage(h, WM_USER, 0, 0), 0);
        EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
        EXPECT_FALSE(InvalidateRect(h, nullptr, true));
        EXPECT_EQ(SetTimer(h, 1, 10, nullptr), 0u);
        EXPECT_EQ(GetDC(h), nullptr);
        EXPECT_FALSE(DestroyWindow(h));
    }
    EXPECT_TRUE(g_log.empty());
    EXPECT_EQ(pump(), 0);
    HWND later = top(0, 0, 10, 10);
    EXPECT_GT(later, std::max({top_, a_, b_}));
}

TEST_F(WinTest, ClassNamesIgnoreCase) {
    recording_class(u"NuvTabpanel", std::nullopt);
    WNDCLASS cls;
    cls.name = u"NUVTABPANEL";
    cls.proc = recording_proc;
    EXPECT_FALSE(RegisterClass(cls));
    HWND h = top(0, 0, 20, 20, WS_VISIBLE, 0, u"nuvtabpanel");
    ASSERT_NE(h, 0u);
    std::u16string name;
    ASSERT_TRUE(GetClassName(h, &name));
    EXPECT_EQ(name, u"NuvTabpanel");
    EXPECT_EQ(CreateWindowEx(0, u"NoSuchClass", u"", 0, 0, 0, 10, 10, 0, 0, nullptr), 0u);
}

std::vector<uint32_t> g_base_seen, g_super_seen;
WNDPROC g_base_proc = nullptr;

LRESULT base_proc(HWND h, uint32_t m, intptr_t w, intptr_t l) {
    g_base_seen.push_back(m);
    return m == WM_USER + 2 ? 7 : DefWindowProc(h, m, w, l);
}

LRESULT super_proc(HWND h, uint32_t m, intptr_t w, intptr_t l) {
    g_super_seen.push_back(m);
    return m == WM_USER + 1 ? 42 : CallWindowProc(g_base_proc, h, m, w, l);
}

TEST_F(WinTest, SuperclassSeesEveryMessageAndForwardsTheRest) {
    WNDCLASS base;
    base.name = u"SuperBase";
    base.proc = base_proc;
    ASSERT_TRUE(RegisterClass(base));
    WNDCLASS derived;
    ASSERT_TRUE(GetClassInfo(u"SUPERBASE", &derived));
    g_base_proc = derived.proc;
    derived.name = u"SuperDerived";
    derived.proc = super_proc;
    ASSERT_TRUE(RegisterClass(derived));
    HWND h = top(0, 0, 40, 40, WS_VISIBLE, 0, u"superderived");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(SendMessage(h, WM_USER + 1, 0, 0), 42);
    EXPECT_EQ(SendMessage(h, WM_USER + 2, 0, 0), 7);
    DestroyWindow(h);
    ASSERT_FALSE(g_super_seen.empty());
    EXPECT_EQ(g_super_seen.front(), WM_NCCREATE);
    EXPECT_EQ(g_super_seen.back(), WM_NCDESTROY);
    std::vector<uint32_t> forwarded = g_super_seen;
    forwarded.erase(std::find(forwarded.begin(), forwarded.end(), WM_USER + 1));
    EXPECT_EQ(g_base_seen, forwarded);
}

TEST_F(WinTest, FrameNarrowsTheClient) {
    struct Row {
        uint32_t style, ex;
        bool menu;
        RECT client_in_window;  // the client rectangle of a 100×100 window, window coordinates
    };
    const Row rows[] = {
        {WS_CAPTION | WS_THICKFRAME, 0, false, {0, 0, 100, 100}},
        {WS_POPUP | WS_BORDER, 0, false, {1, 1, 99, 99}},
        {0, WS_EX_CLIENTEDGE, false, {2, 2, 98, 98}},
        {WS_BORDER, WS_EX_CLIENTEDGE, false, {3, 3, 97, 97}},
        {WS_VSCROLL, 0, false, {0, 0, 84, 100}},
        {WS_VSCROLL | WS_HSCROLL, WS_EX_CLIENTEDGE, false, {2, 2, 82, 82}},
        {0, 0, true, {0, 20, 100, 100}},
    };
    for (const Row& row : rows) {
        HWND h = CreateWindowEx(row.ex, recording_class(u"Recorder", 0xFFFFFFFF), u"", row.style, 10, 20, 100, 100,
                                0, row.menu ? 1 : 0, nullptr);
        made_.push_back(h);
        RECT client;
        ASSERT_TRUE(GetClientRect(h, &client));
        EXPECT_EQ(client.width(), row.client_in_window.width()) << std::hex << row.style << " " << row.ex;
        EXPECT_EQ(client.height(), row.client_in_window.height()) << std::hex << row.style << " " << row.ex;
        POINT origin{0, 0};
        ClientToScreen(h, &origin);
        EXPECT_EQ(origin.x, 10 + row.client_in_window.left);
        EXPECT_EQ(origin.y, 20 + row.client_in_window.top);
        const bool bars = row.style & (WS_VSCROLL | WS_HSCROLL);
        RECT grown = row.client_in_window;
        AdjustWindowRectEx(&grown, row.style, row.menu, row.ex);
        if (!bars) {
            EXPECT_EQ(grown.width(), 100) << std::hex << row.style;
            EXPECT_EQ(grown.height(), 100) << std::hex << row.style;
        }
    }
}

TEST_F(WinTest, FrameForADpi) {
    struct Row {
        uint32_t style, ex;
        bool menu;
        uint32_t dpi;
        RECT insets;  // left, top, right, bottom
    };
    const Row rows[] = {
        {WS_BORDER, WS_EX_CLIENTEDGE, true, 96, {3, 23, 3, 3}},
        {WS_BORDER, WS_EX_CLIENTEDGE, true, 144, {4, 34, 4, 4}},
        {WS_POPUP | WS_BORDER, 0, false, 192, {2, 2, 2, 2}},
        {WS_CAPTION | WS_THICKFRAME, 0, false, 144, {0, 0, 0, 0}},
        {0, 0, true, 144, {0, 30, 0, 0}},
    };
    for (const Row& row : rows) {
        RECT r{100, 100, 200, 150};
        ASSERT_TRUE(AdjustWindowRectExForDpi(&r, row.style, row.menu, row.ex, row.dpi));
        EXPECT_EQ(100 - r.left, row.insets.left) << row.dpi << " " << std::hex << row.style;
        EXPECT_EQ(100 - r.top, row.insets.top) << row.dpi << " " << std::hex << row.style;
        EXPECT_EQ(r.right - 200, row.insets.right) << row.dpi << " " << std::hex << row.style;
        EXPECT_EQ(r.bottom - 150, row.insets.bottom) << row.dpi << " " << std::hex << row.style;
        if (row.dpi != 96) continue;
        RECT plain{100, 100, 200, 150};  // the first display's DPI, 96 here
        AdjustWindowRectEx(&plain, row.style, row.menu, row.ex);
        EXPECT_EQ(plain.left, r.left);
        EXPECT_EQ(plain.top, r.top);
    }
    RECT r{0, 0, 10, 10};
    EXPECT_FALSE(AdjustWindowRectExForDpi(&r, WS_BORDER, false, 0, 0));
    EXPECT_EQ(r.right, 10);
}

TEST_F(WinTest, PositionChangesSendTheirMessagesOnce) {
    HWND h = top(10, 10, 200, 100);
    g_answer = [](HWND, uint32_t m, intptr_t, intptr_t l) -> std::optional<LRESULT> {
        if (m != WM_GETMINMAXINFO) return std::nullopt;
        reinterpret_cast<MINMAXINFO*>(l)->ptMinTrackSize = POINT{120, 60};
        return 0;
    };
    g_log.clear();
    ASSERT_TRUE(SetWindowPos(h, 0, 0, 0, 50, 300, SWP_NOMOVE | SWP_NOZORDER));
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.width(), 120);
    EXPECT_EQ(r.height(), 300);
    ASSERT_EQ(logged(WM_SIZE).size(), 1u);
    EXPECT_EQ(logged(WM_SIZE)[0].lParam, point_lparam(120, 300));
    EXPECT_TRUE(logged(WM_MOVE).empty());
    ASSERT_EQ(logged(WM_WINDOWPOSCHANGED).size(), 1u);

    g_log.clear();
    SetWindowPos(h, 0, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_EQ(logged(WM_MOVE).size(), 1u);
    EXPECT_EQ(logged(WM_MOVE)[0].lParam, point_lparam(40, 50));
    EXPECT_TRUE(logged(WM_SIZE).empty());

    g_log.clear();
    ShowWindow(h, SW_MINIMIZE);
    ASSERT_EQ(logged(WM_WINDOWPOSCHANGED).size(), 1u);
    ASSERT_EQ(logged(WM_SIZE).size(), 1u);
    EXPECT_EQ(logged(WM_SIZE)[0].wParam, SIZE_MINIMIZED);
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, -32000);
    EXPECT_TRUE(IsIconic(h));
    g_log.clear();
    ShowWindow(h, SW_RESTORE);
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.width(), 120);
    ASSERT_EQ(logged(WM_SIZE).size(), 1u);
    EXPECT_EQ(logged(WM_SIZE)[0].wParam, SIZE_RESTORED);
}

TEST_F(WinTest, StateChangesCarryTheirFlag) {
    HWND h = top(10, 10, 200, 100);
    std::vector<uint32_t> flags;
    g_answer = [&](HWND, uint32_t m, intptr_t, intptr_t l) -> std::optional<LRESULT> {
        if (m == WM_WINDOWPOSCHANGED) flags.push_back(reinterpret_cast<const WINDOWPOS*>(l)->flags);
        return std::nullopt;
    };
    ShowWindow(h, SW_SHOWMAXIMIZED);
    SetWindowPos(h, 0, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_EQ(flags.size(), 2u);
    EXPECT_TRUE(flags[0] & SWP_STATECHANGED);
    EXPECT_FALSE(flags[1] & SWP_STATECHANGED);
    EXPECT_TRUE(IsZoomed(h));
}

TEST_F(WinTest, ActivationFocusAndCapture) {
    HWND first = top(0, 0, 50, 50);
    EXPECT_EQ(GetActiveWindow(), first);
    EXPECT_EQ(GetFocus(), first);
    HWND inner = child(first, 0, 0, 10, 10);
    g_log.clear();
    HWND second = top(60, 0, 50, 50);
    EXPECT_EQ(GetActiveWindow(), second);
    ASSERT_EQ(logged(WM_ACTIVATE).size(), 2u);
    EXPECT_EQ(logged(WM_ACTIVATE)[0].hwnd, first);
    EXPECT_EQ(logged(WM_ACTIVATE)[0].wParam, WA_INACTIVE);
    EXPECT_EQ(logged(WM_ACTIVATE)[1].hwnd, second);
    EXPECT_EQ(logged(WM_ACTIVATE)[1].wParam, WA_ACTIVE);
    g_log.clear();
    SetFocus(inner);
    EXPECT_EQ(GetActiveWindow(), first);
    EXPECT_EQ(GetFocus(), inner);
    ASSERT_FALSE(logged(WM_SETFOCUS, inner).empty());
    SetCapture(inner);
    g_log.clear();
    SetCapture(second);
    ASSERT_EQ(logged(WM_CAPTURECHANGED).size(), 1u);
    EXPECT_EQ(logged(WM_CAPTURECHANGED)[0].hwnd, inner);
    SetCapture(inner);
    DestroyWindow(inner);
    EXPECT_EQ(GetCapture(), 0u);
    EXPECT_EQ(GetFocus(), 0u);
    EXPECT_EQ(GetAncestor(second, GA_ROOTOWNER), second);
}

// The active window hidden, minimised or destroyed hands activation on: to its owner when the
// owner can take it, else to the highest shown, enabled, unminimised top-level window, else to
// none. Four top-level windows, bottom first: low, owner, other, popup (owned by owner).
TEST_F(WinTest, ActivationPassesOnWhenTheActiveWindowGoes) {
    enum Name { kNone = -1, kLow, kOwner, kOther, kPopup };
    enum Action { kHide, kMinimise, kDestroy };
    struct Row {
        Name active;
        Action action;
        std::vector<Name> hidden, disabled, minimised;
        Name next;
    };
    const Row rows[] = {
        {kPopup, kHide, {}, {}, {}, kOwner},  // the owner before the higher `other`
        {kPopup, kMinimise, {}, {}, {}, kOwner},
        {kPopup, kDestroy, {}, {}, {}, kOwner},
        {kPopup, kHide, {}, {kOwner}, {}, kOther},
        {kPopup, kHide, {kOther}, {}, {kOwner}, kLow},
        {kOther, kHide, {kPopup}, {}, {}, kOwner},
        {kOwner, kDestroy, {}, {}, {}, kOther},  // its popup goes with it
        {kOther, kMinimise, {kPopup}, {kOwner}, {}, kLow},
        {kOther, kHide, {kPopup}, {kLow}, {kOwner}, kNone},
        {kOther, kDestroy, {kPopup}, {kLow}, {kOwner}, kNone},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(i);
        HWND w[4];
        w[kLow] = top(0, 0, 50, 50);
        w[kOwner] = top(60, 0, 50, 50);
        w[kOther] = top(120, 0, 50, 50);
        w[kPopup] = CreateWindowEx(0, u"Recorder", u"", WS_POPUP | WS_VISIBLE, 0, 60, 50, 50, w[kOwner], 0, nullptr);
        made_.push_back(w[kPopup]);
        for (Name n : row.hidden) ShowWindow(w[n], SW_HIDE);
        for (Name n : row.disabled) EnableWindow(w[n], false);
        for (Name n : row.minimised) ShowWindow(w[n], SW_SHOWMINNOACTIVE);
        const HWND old = w[row.active], next = row.next == kNone ? 0 : w[row.next];
        SetActiveWindow(old);
        ASSERT_EQ(GetFocus(), old);
        g_log.clear();
        switch (row.action) {
        case kHide: ShowWindow(old, SW_HIDE); break;
        case kMinimise: ShowWindow(old, SW_MINIMIZE); break;
        case kDestroy: DestroyWindow(old); break;
        }
        EXPECT_EQ(GetActiveWindow(), next);
        EXPECT_EQ(GetFocus(), next);
        std::vector<Logged> activations = logged(WM_ACTIVATE);
        if (next) {
            ASSERT_EQ(activations.size(), 2u);
            EXPECT_EQ(activations[0].hwnd, old);
            EXPECT_EQ(activations[0].wParam, WA_INACTIVE);
            EXPECT_EQ(activations[0].lParam, intptr_t(next));
            EXPECT_EQ(activations[1].hwnd, next);
            EXPECT_EQ(activations[1].wParam, WA_ACTIVE);
            EXPECT_EQ(activations[1].lParam, intptr_t(old));
            EXPECT_FALSE(logged(WM_SETFOCUS, next).empty());
        } else if (row.action == kDestroy) {
            EXPECT_TRUE(activations.empty());  // cleared without a word to a window going away
        } else {
            ASSERT_EQ(activations.size(), 1u);
            EXPECT_EQ(activations[0].hwnd, old);
            EXPECT_EQ(activations[0].wParam, WA_INACTIVE);
            EXPECT_EQ(activations[0].lParam, 0);
        }
        for (HWND h : made_) DestroyWindow(h);
        made_.clear();
    }
}

TEST_F(WinTest, OwnersParentsAndSiblings) {
    HWND owner = top(0, 0, 50, 50);
    HWND popup = CreateWindowEx(0, u"Recorder", u"", WS_POPUP, 0, 0, 10, 10, owner, 0, nullptr);
    HWND c1 = child(owner, 0, 0, 5, 5), c2 = child(owner, 0, 0, 5, 5);
    EXPECT_EQ(GetParent(popup), owner);
    EXPECT_EQ(GetWindow(popup, GW_OWNER), owner);
    EXPECT_EQ(GetAncestor(popup, GA_ROOT), popup);
    EXPECT_EQ(GetAncestor(popup, GA_ROOTOWNER), owner);
    EXPECT_EQ(GetAncestor(c2, GA_PARENT), owner);
    EXPECT_EQ(GetWindow(owner, GW_CHILD), c2);
    EXPECT_EQ(GetWindow(c2, GW_HWNDNEXT), c1);
    EXPECT_EQ(GetWindow(c1, GW_HWNDPREV), c2);
    EXPECT_EQ(GetWindow(c1, GW_HWNDFIRST), c2);
    EXPECT_TRUE(IsChild(owner, c1));
    EXPECT_EQ(SetParent(c1, popup), owner);
    EXPECT_EQ(GetParent(c1), popup);
    EXPECT_EQ(SetParent(owner, c1), 0u);  // no window goes inside its own tree
    EXPECT_FALSE(IsWindowVisible(popup));
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_FALSE(IsWindow(c1));
}

// A window that destroys itself on WM_CLOSE and reads itself afterwards, inside the same call.
TEST_F(WinTest, WindowDestroyedDuringItsCallStaysReadableUntilItReturns) {
    HWND h = top(0, 0, 50, 50);
    SetWindowText(h, u"title");
    GetWindowExtra(h)->face_slot = 77;
    uint32_t slot_inside = 0;
    std::u16string text_inside;
    bool alive_inside = true;
    g_answer = [&](HWND self, uint32_t m, intptr_t, intptr_t) -> std::optional<LRESULT> {
        if (m != WM_CLOSE) return std::nullopt;
        DestroyWindow(self);
        alive_inside = IsWindow(self);
        slot_inside = GetWindowExtra(self)->face_slot;
        text_inside = GetWindowText(self);
        return 0;
    };
    PostMessage(h, WM_CLOSE, 0, 0);
    EXPECT_EQ(pump(), 1);
    EXPECT_FALSE(alive_inside);
    EXPECT_EQ(slot_inside, 77u);
    EXPECT_EQ(text_inside, u"title");
    EXPECT_EQ(GetWindowExtra(h), nullptr);
    EXPECT_EQ(GetWindowText(h), u"");
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(WinTest, SurfaceThatCannotBeMadeFailsCreationAndResize) {
    EXPECT_EQ(CreateWindowEx(0, recording_class(u"Recorder", 0xFFFFFFFF), u"", 0, 0, 0, 40000, 10, 0, 0, nullptr),
              0u);
    HWND h = child(top(0, 0, 50, 50), 0, 0, 30, 20);
    g_log.clear();
    EXPECT_FALSE(SetWindowPos(h, 0, 0, 0, 30, 40000, SWP_NOMOVE | SWP_NOZORDER));
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.height(), 20);
    EXPECT_TRUE(logged(WM_SIZE).empty());
    EXPECT_TRUE(SetWindowPos(h, 0, 0, 0, 30, 40, SWP_NOMOVE | SWP_NOZORDER));
}

TEST_F(WinTest, WindowTextGoesThroughMessages) {
    HWND h = top(0, 0, 10, 10);
    g_log.clear();
    EXPECT_TRUE(SetWindowText(h, u"héllo"));
    EXPECT_EQ(GetWindowText(h), u"héllo");
    EXPECT_EQ(GetWindowTextLength(h), 5);
    EXPECT_EQ(logged(WM_SETTEXT).size(), 1u);
    EXPECT_EQ(logged(WM_GETTEXT).size(), 1u);
}

}  // namespace
}  // namespace nuv::test::win
