// Key and mouse input turned into events by the loop's pre-dispatch, and the loop itself: input
// made as a user's would be (SDL events translated by the window model, mouse input routed by
// it), taken by the one message loop, handed to system/view/awake, which logs each event's type,
// key, picked and flags and answers a chosen word. Nested loops end through the seam that a
// view's last window closing calls.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "gui/backend/dispatch.h"
#include "gui/backend/loop.h"
#include "host/win/keys.h"
#include "host/win/replay.h"
#include "host/win/sdl_source.h"
#include "host/win/window.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/evaluator/routines.h"
#include "runtime/resource_slots.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui {
namespace {

namespace win = host::win;
using test::eval_text;

// The fixture faces, and awake: it logs [type key picked flags] of each event, then answers
// `answer`, or `stop` for the type `stop-on`; for the type `raise-on` it raises after logging.
constexpr const char* kSetup =
    "face-proto: object [type: 'base offset: 0x0 size: 100x100 text: image: color: menu: data: enabled?: "
    "visible?: selected: flags: options: parent: pane: state: rate: edge: para: font: actors: extra: draw: "
    "changed: deep-changed: tabs: line-spacing: handles: none] "
    "log: copy [] answer: 'done stop-on: raise-on: none "
    "system/view/awake: func [event [event!] /with face] [append/only log reduce [event/type event/key "
    "event/picked copy event/flags] if event/type = raise-on [1 / 0] either event/type = stop-on ['stop] [answer]] "
    "true";

// Key-downs posted with the text SDL reported after them: the translation takes the text back
// when the key-down leaves the queue, as the screen source does.
struct KeyDown {
    win::MSG msg;
    uint32_t serial;
};
std::deque<KeyDown> g_key_downs;

void observe(const win::MSG& m) {
    win::InputMessage taken{m.message, m.wParam, m.lParam, m.pt, m.time, 0, 0};
    for (auto it = g_key_downs.begin(); it != g_key_downs.end(); ++it)
        if (it->msg.message == m.message && it->msg.wParam == m.wParam && it->msg.lParam == m.lParam &&
            it->msg.time == m.time && it->msg.hwnd == m.hwnd) {
            taken.text = it->serial;
            g_key_downs.erase(it);
            break;
        }
    win::input().taken(taken);
}

win::LRESULT face_proc(win::HWND h, uint32_t m, intptr_t w, intptr_t l) { return win::DefWindowProc(h, m, w, l); }

win::HWND g_a = 0;

uint64_t close_view(const uint64_t*) {
    loop::last_window_closed();
    return 0;
}

// Posts the character to the first window once the queue has nothing before its timers.
uintptr_t g_timer = 0;
char16_t g_later = 0;
void post_later(win::HWND, uint32_t, uintptr_t id, uint32_t) {
    win::KillTimer(0, id);
    g_timer = 0;
    win::PostMessage(g_a, win::WM_CHAR, g_later, 0);
}
uint64_t post_key_later(const uint64_t* args) {
    g_later = static_cast<char16_t>(routines::arg_int(args[0]));
    g_timer = win::SetTimer(0, 0, 10, post_later);
    return 0;
}

class GuiLoop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(eval_text(kSetup), "true");
        win::WNDCLASS known;
        if (!win::GetClassInfo(u"GuiLoopFace", &known)) {
            win::WNDCLASS cls;
            cls.name = u"GuiLoopFace";
            cls.proc = face_proc;
            cls.style = win::CS_DBLCLKS;
            win::RegisterClass(cls);
        }
        a_ = g_a = face_window("fa", 100, 100);
        b_ = face_window("fb", 300, 100);
        win::SetActiveWindow(a_);
        win::SetFocus(a_);
        win::set_input_observer(observe);
        routines::bind("close-view", "", close_view, routines::kNoResult);
        routines::bind("post-key-later", "c [char!]", post_key_later, routines::kNoResult);
        settle();
    }
    void TearDown() override {
        settle();
        win::set_input_observer(nullptr);
        if (g_timer) win::KillTimer(0, g_timer);
        g_timer = 0;
        for (win::HWND h : {a_, b_}) {
            resource_slots::free(static_cast<int32_t>(win::GetWindowExtra(h)->face_slot));
            win::DestroyWindow(h);
        }
        g_key_downs.clear();
        settle();
        loop::g_loop = loop::LoopState{};
        dispatch::g_input = dispatch::InputState{};
    }

    // A visible top-level window at (x, y), 100 × 100, whose face is the global `name`.
    static win::HWND face_window(const char* name, int32_t x, int32_t y) {
        const win::HWND h =
            win::CreateWindowEx(0, u"GuiLoopFace", u"", win::WS_POPUP | win::WS_VISIBLE, x, y, 100, 100, 0, 0, nullptr);
        EXPECT_NE(h, 0u);
        test::StackScope scope;
        context::set_global(symbol::make_cstr("h"), handle::push(static_cast<int32_t>(h), handle::Kind::Window));
        EXPECT_EQ(eval_text(std::string(name) + ": make face-proto [state: reduce [h 0 none false]] true"), "true");
        const int32_t slot = resource_slots::store(context::global_slot(symbol::make_cstr(name)));
        win::GetWindowExtra(h)->face_slot = static_cast<uint32_t>(slot);
        return h;
    }

    // Handles every waiting message (paint included) and forgets what was logged.
    static void settle() {
        while (loop::do_events(true)) {
        }
        win::MSG quit;
        while (win::PeekMessage(&quit, 0, win::WM_QUIT, win::WM_QUIT, win::PM_REMOVE)) {
        }
        eval_text("clear log");
    }

    // The SDL events of a replay script, translated and queued as the screen source does: keys
    // to the focus, mouse input at the active window's client points.
    static void feed(const char* script) {
        win::Script parsed = win::parse_script(script, "test");
        ASSERT_EQ(parsed.error, "") << script;
        std::vector<SDL_Event> events;
        uint32_t buttons = 0;
        for (const win::Step& step : parsed.steps) win::step_events(step, 1, 0, &buttons, &events);
        for (const SDL_Event& e : events) {
            std::vector<win::InputMessage> messages;
            win::input().translate_event(e, &messages);
            for (const win::InputMessage& m : messages) {
                if (m.message >= win::WM_KEYDOWN && m.message <= win::WM_SYSCHAR) {
                    const win::HWND target = win::GetFocus() ? win::GetFocus() : win::GetActiveWindow();
                    const win::MSG msg{target, m.message, m.wParam, m.lParam, win::GetTickCount(), {}};
                    if (m.text) g_key_downs.push_back({msg, m.text});
                    win::post_input(msg);
                } else {
                    mouse(win::GetActiveWindow(), m.message, m.point.x, m.point.y, m.wParam);
                }
            }
        }
    }

    // Mouse input at a client point of the window.
    static void mouse(win::HWND h, uint32_t message, int32_t x, int32_t y, intptr_t keys = 0) {
        win::POINT p{x, y};
        win::ClientToScreen(h, &p);
        win::mouse_input(message, p, keys);
    }

    // What awake logged while the waiting messages were handled, as `wait` handles them.
    static std::string run() {
        EXPECT_EQ(eval_text("wait 0"), "none");
        return eval_text("also log log: copy []");
    }

    win::HWND a_ = 0, b_ = 0;
};

TEST_F(GuiLoop, KeysWithoutCharacterGiveKeyFromTheKeyDown) {
    feed("key Left");
    EXPECT_EQ(run(), "[[key-down left 37 []] [key left 37 []] [key-up left 37 []]]");
}

TEST_F(GuiLoop, CharacterKeysGiveTheMappedKeyThenTheCharacter) {
    feed("key a");
    EXPECT_EQ(run(), "[[key-down #\"A\" 65 []] [key #\"a\" 97 []] [key-up #\"A\" 65 []]]");
    // Shift held: the character is the shifted one, the key-down still the key's, and both carry shift.
    feed("key shift+b");
    EXPECT_EQ(eval_text("wait 0 also collect [foreach e log [if find [key-down key] e/1 [keep e/2 keep/only e/4]]] "
                        "log: copy []"),
              "[left-shift [shift] #\"B\" [shift] #\"B\" [shift]]");
}

TEST_F(GuiLoop, ModifierKeysAreToldLeftFromRight) {
    const struct {
        const char* script;
        const char* word;
    } cases[] = {
        {"key Left Ctrl", "left-control"},
        {"key Right Ctrl", "right-control"},
        {"key Left Shift", "left-shift"},
        {"key Right Shift", "right-shift"},
    };
    for (const auto& c : cases) {
        feed(c.script);
        // No character comes of a modifier: key-down and key-up only.
        EXPECT_EQ(eval_text("wait 0 also collect [foreach e log [keep e/1 keep e/2]] log: copy []"),
                  std::string("[key-down ") + c.word + " key-up " + c.word + "]")
            << c.script;
    }
}

TEST_F(GuiLoop, StopOnKeyDownKeepsTheCharacterBack) {
    eval_text("stop-on: 'key-down");
    feed("key a");
    feed("key Delete");
    EXPECT_EQ(run(), "[[key-down #\"A\" 65 []] [key-up #\"A\" 65 []] [key-down delete 46 []] [key-up delete 46 []]]");
}

TEST_F(GuiLoop, AnAwakeThatRaisesLeavesTheLoopGoing) {
    eval_text("raise-on: 'key-down");
    feed("key x");
    EXPECT_EQ(run(), "[[key-down #\"X\" 88 []] [key #\"x\" 120 []] [key-up #\"X\" 88 []]]");
}

TEST_F(GuiLoop, CharactersBeyondTheBasicPlaneArriveWhole) {
    feed("text \xF0\x9F\x98\x80");  // U+1F600 in two UTF-16 units
    EXPECT_EQ(eval_text("wait 0 also collect [foreach e log [keep e/1 keep to integer! e/2]] log: copy []"),
              "[key 128512]");
    // A unit after it starts afresh.
    feed("text b");
    EXPECT_EQ(run(), "[[key #\"b\" 98 []]]");
}

TEST_F(GuiLoop, CtrlWithALetterGivesItsControlCharacter) {
    // Typed: the model's translation makes the control character.
    feed("key ctrl+c");
    EXPECT_EQ(eval_text("wait 0 also collect [foreach e log [if e/1 = 'key [keep e/2 keep/only e/4]]] log: copy []"),
              "[#\"^C\" [control]]");
    // Sent with the lower-case letter: the key reports what typing gives.
    EXPECT_EQ(eval_text("e: make event! [type: 'key key: #\"c\" flags: [control] face: fa] send-event-os e false"),
              "true");
    EXPECT_EQ(eval_text("also log log: copy []"), "[[key #\"^C\" 3 [control]]]");
}

TEST_F(GuiLoop, WheelNotchesArePickedAsFloats) {
    const struct {
        int16_t delta;
        const char* picked;
    } cases[] = {{120, "1.0"}, {-240, "-2.0"}, {60, "0.5"}, {30000, "-6.0"}, {-30000, "6.0"}};
    for (const auto& c : cases) {
        mouse(a_, win::WM_MOUSEWHEEL, 10, 10, static_cast<intptr_t>(static_cast<uint16_t>(c.delta)) << 16);
        EXPECT_EQ(eval_text("wait 0 also collect [foreach e log [if e/1 = 'wheel [keep e/2 keep e/3]]] log: copy []"),
                  std::string("[wheel ") + c.picked + "]")
            << c.delta;
    }
}

TEST_F(GuiLoop, MovesRaiseOverOnEnteringAndWhenLeaving) {
    eval_text("system/view/awake: func [event /with face] [repend log [event/type event/offset event/away?] 'done]");
    mouse(a_, win::WM_MOUSEMOVE, 10, 10);
    mouse(a_, win::WM_MOUSEMOVE, 10, 10);
    mouse(a_, win::WM_MOUSEMOVE, 20, 20);
    mouse(a_, win::WM_MOUSEMOVE, 30, 30);
    EXPECT_EQ(run(), "[over (10, 10) false]");
    // Flagged all-over, every move that changes the point raises one.
    win::GetWindowExtra(a_)->face_flags |= 1;
    mouse(a_, win::WM_MOUSEMOVE, 40, 40);
    mouse(a_, win::WM_MOUSEMOVE, 40, 40);
    mouse(a_, win::WM_MOUSEMOVE, 50, 50);
    EXPECT_EQ(run(), "[over (40, 40) false over (50, 50) false]");
    // Out of the window, to no window at all: `over` with the away flag, where the pointer went.
    mouse(a_, win::WM_MOUSEMOVE, 150, 50);
    EXPECT_EQ(run(), "[over (150, 50) true]");
}

TEST_F(GuiLoop, EnteringAnotherWindowAtTheSameClientPointRaisesOver) {
    // The pointer between the windows; both moves waiting at once: the second window is entered
    // at the first one's last point.
    win::mouse_input(win::WM_MOUSEMOVE, win::POINT{250, 150}, 0);
    win::post_input(win::MSG{a_, win::WM_MOUSEMOVE, 0, win::point_lparam(5, 5), 0, {}});
    win::post_input(win::MSG{b_, win::WM_MOUSEMOVE, 0, win::point_lparam(5, 5), 0, {}});
    // A leave's offset is where the pointer went, from each window's client origin.
    EXPECT_EQ(eval_text("system/view/awake: func [event /with face] [repend log [event/type either same? event/face fa "
                        "['a] ['b] event/offset event/away?] 'done] wait 0 log"),
              "[over a (5, 5) false over b (5, 5) false over a (150, 50) true over b (-50, 50) true]");
}

TEST_F(GuiLoop, DoubleClickIsDownUpDownDblClickUp) {
    for (uint32_t message : {win::WM_LBUTTONDOWN, win::WM_LBUTTONUP, win::WM_LBUTTONDOWN, win::WM_LBUTTONUP})
        mouse(a_, message, 20, 30, message == win::WM_LBUTTONDOWN ? intptr_t{win::MK_LBUTTON} : 0);
    EXPECT_EQ(eval_text("wait 0 also collect [foreach e log [if e/1 <> 'over [keep e/1]]] log: copy []"),
              "[down up down dbl-click up]");
}

TEST_F(GuiLoop, RightPressWhileAnotherWindowHoldsTheCaptureRaisesNothing) {
    win::SetCapture(b_);
    mouse(a_, win::WM_RBUTTONDOWN, 20, 30, win::MK_RBUTTON);
    mouse(a_, win::WM_RBUTTONUP, 20, 30);
    EXPECT_EQ(eval_text("wait 0 also collect [foreach e log [keep e/1]] log: copy []"), "[alt-up]");
    win::ReleaseCapture();
    mouse(a_, win::WM_RBUTTONDOWN, 20, 30, win::MK_RBUTTON);
    EXPECT_EQ(eval_text("wait 0 also collect [foreach e log [if e/1 <> 'over [keep e/1 keep/only e/4]]] log: copy []"),
              "[alt-down [alt-down]]");
    mouse(a_, win::WM_RBUTTONUP, 20, 30);
}

TEST_F(GuiLoop, ReleasingTheLeftButtonFreesABaseFacesCapture) {
    const struct {
        const char* type;
        bool kept;
    } cases[] = {{"base", false}, {"panel", true}};
    for (const auto& c : cases) {
        eval_text(std::string("fa/type: '") + c.type);
        win::SetCapture(a_);
        mouse(a_, win::WM_LBUTTONUP, 20, 30);
        EXPECT_EQ(eval_text("wait 0 collect [foreach e log [keep e/1]]"), "[up]") << c.type;
        EXPECT_EQ(win::GetCapture() == a_, c.kept) << c.type;
        win::ReleaseCapture();
        eval_text("clear log");
    }
}

TEST_F(GuiLoop, ScrollEventsNameTheRequestAndReadTheBar) {
    eval_text("system/view/awake: func [event /with face] [repend log [event/key event/picked event/orientation] 'done]");
    win::SetWindowLong(a_, win::GWL_STYLE, win::GetWindowLong(a_, win::GWL_STYLE) | win::WS_VSCROLL | win::WS_HSCROLL);
    win::SCROLLINFO info;
    info.fMask = win::SIF_RANGE | win::SIF_PAGE | win::SIF_POS;
    info.nMax = 99, info.nPage = 10, info.nPos = 30;
    win::SetScrollInfo(a_, win::SB_VERT, &info, false);
    info.nPos = 12;
    win::SetScrollInfo(a_, win::SB_HORZ, &info, false);
    win::set_scroll_track(a_, win::SB_HORZ, 40);
    const struct {
        uint32_t message;
        intptr_t request;
        const char* logged;
    } cases[] = {
        {win::WM_VSCROLL, win::SB_PAGEDOWN, "[page-down 30 vertical]"},
        {win::WM_VSCROLL, win::SB_LINEUP, "[up 30 vertical]"},
        {win::WM_VSCROLL, win::SB_BOTTOM, "[end 30 vertical]"},
        {win::WM_HSCROLL, win::SB_PAGEUP, "[page-left 12 horizontal]"},
        {win::WM_HSCROLL, win::SB_THUMBTRACK, "[track 40 horizontal]"},
    };
    for (const auto& c : cases) {
        dispatch::make_event(a_, c.message, c.request, 0, event::Type::Scroll, 0);
        EXPECT_EQ(eval_text("also log log: copy []"), c.logged) << c.request;
    }
}

TEST_F(GuiLoop, EventsReadTheirOwnMessageRecords) {
    // A kept event still reads its own message, however many came after it.
    mouse(a_, win::WM_LBUTTONDOWN, 20, 30, win::MK_LBUTTON);
    EXPECT_EQ(eval_text("system/view/awake: func [event /with face] [if event/type = 'down [kept: event] 'done] "
                        "wait 0 reduce [kept/type kept/offset kept/face = fa kept/window = fa]"),
              "[down (20, 30) true true]");
    for (int i = 0; i < 200; i++) win::PostMessage(b_, win::WM_CHAR, 'k', 0);
    EXPECT_EQ(eval_text("wait 0 reduce [kept/type kept/flags]"), "[down [down]]");
    mouse(a_, win::WM_LBUTTONUP, 20, 30);
}

TEST_F(GuiLoop, WaitHandlesEveryPostedMessage) {
    for (char16_t c : {u'p', u'q', u'r'}) win::PostMessage(a_, win::WM_CHAR, c, 0);
    EXPECT_EQ(eval_text("wait 0 collect [foreach e log [keep e/2]]"), "[#\"p\" #\"q\" #\"r\"]");
    EXPECT_EQ(eval_text("system/view/platform/do-event-loop true"), "false");
    EXPECT_EQ(eval_text("also log log: copy []"), "[[key #\"p\" 112 []] [key #\"q\" 113 []] [key #\"r\" 114 []]]");
}

TEST_F(GuiLoop, DoEventLoopWithoutWaitingHandlesOneMessage) {
    for (char16_t c : {u'p', u'q'}) win::PostMessage(a_, win::WM_CHAR, c, 0);
    EXPECT_EQ(eval_text("p: system/view/platform reduce [p/do-event-loop true length? log p/do-event-loop true "
                        "length? log p/do-event-loop true]"),
              "[true 1 true 2 false]");
    // A quit waiting is left for the blocking loop it ends.
    eval_text("p/exit-event-loop");
    EXPECT_EQ(eval_text("p/do-event-loop true"), "false");
    win::MSG msg;
    EXPECT_TRUE(win::PeekMessage(&msg, 0, win::WM_QUIT, win::WM_QUIT, win::PM_REMOVE));
}

TEST_F(GuiLoop, MadeEventsAreSentAsTheirMessages) {
    eval_text("system/view/awake: func [event /with face] [repend log [event/type event/offset copy event/flags "
              "same? event/face fa] 'done]");
    test::check_cases({
        // At once: pre-dispatched and dispatched before send-event-os answers.
        {"send-event-os make event! [type: 'down face: fa offset: 10x20 flags: [control]] false", "true"},
        {"also log log: copy []", "[down (10, 20) [down control] true]"},
        {"send-event-os make event! [type: 'alt-up face: fa offset: 3x4] false", "true"},
        {"also log log: copy []", "[alt-up (3, 4) [] true]"},
        // Queued: posted, handled by the loop (a key-down sent alone comes with no text to translate).
        {"reduce [send-event-os make event! [type: 'key-down key: #\"q\" face: fa] true length? log]", "[true 0]"},
        {"wait 0 collect [foreach [t o f s] log [keep t]]", "[key-down]"},
        {"log: copy [] send-event-os make event! [type: 'wheel face: fa offset: 5x5 picked: 2] false", "true"},
        {"also log log: copy []", "[wheel (5, 5) [] true]"},
        // A leave is sent as one: `over` with the away flag.
        {"send-event-os make event! [type: 'over face: fa flags: [away]] false also log log: copy []",
         "[over (0, 0) [away] true]"},
        // What cannot be sent: no face, a face without a window, a type no message stands for, a
        // window command for a face that is no window.
        {"send-event-os make event! [type: 'down] false", "false"},
        {"send-event-os make event! [type: 'down face: make face-proto []] false", "false"},
        {"send-event-os make event! [type: 'click face: fa] false", "false"},
        {"send-event-os make event! [type: 'minimize face: fa] false", "false"},
        {"log", "[]"},
    });
}

TEST_F(GuiLoop, MenuEventsPickTheirItemWhole) {
    eval_text("system/view/awake: func [event /with face] [repend log [event/type event/picked event/offset] 'done]");
    dispatch::g_input.menu_point = {7, 9};
    const win::MSG msg{a_, win::WM_USER, 0, 0, 0, {}};
    dispatch::make_event(msg, event::Type::Menu, symbol::make_cstr("open-file"));
    dispatch::make_event(msg, event::Type::Menu, dispatch::kNoMenuItem);
    EXPECT_EQ(eval_text("log"), "[menu open-file (7, 9) menu none (7, 9)]");
}

// The awake of the nested-loop tests: `x` runs an inner loop and, once it ends, posts `q` after
// a while, which only a loop still running would see; `y` closes the last window of as many views as `closes`.
constexpr const char* kNested =
    "closes: 1 p: system/view/platform "
    "system/view/awake: func [event /with face] [append log event/key switch event/key [#\"x\" [p/do-event-loop "
    "false append log 'inner-ended post-key-later #\"q\"] #\"y\" [loop closes [close-view]] #\"q\" [p/exit-event-loop]] "
    "'done] true";

TEST_F(GuiLoop, ClosingANestedViewEndsOnlyTheInnerLoop) {
    ASSERT_EQ(eval_text(kNested), "true");
    win::PostMessage(a_, win::WM_CHAR, 'x', 0);
    win::PostMessage(a_, win::WM_CHAR, 'y', 0);
    loop::do_events(false);
    EXPECT_EQ(eval_text("log"), "[#\"x\" #\"y\" inner-ended #\"q\"]");
    EXPECT_EQ(loop::g_loop.depth, 1);
    EXPECT_EQ(loop::g_loop.pending_exits, 0);
}

TEST_F(GuiLoop, PendingExitsStopAtZero) {
    // Many loops ended by exit-event-loop (a console's lines) leave no debt behind.
    for (int i = 0; i < 50; i++) {
        loop::exit_loop();
        EXPECT_FALSE(loop::do_events(false));
    }
    EXPECT_EQ(loop::g_loop.pending_exits, 0);
    // One handler closes the last windows of two nested views: both loops end.
    ASSERT_EQ(eval_text(kNested), "true");
    eval_text("closes: 2");
    win::PostMessage(a_, win::WM_CHAR, 'x', 0);
    win::PostMessage(a_, win::WM_CHAR, 'y', 0);
    loop::do_events(false);
    EXPECT_EQ(eval_text("log"), "[#\"x\" #\"y\" inner-ended]");
    EXPECT_EQ(loop::g_loop.pending_exits, 0);
}

}  // namespace
}  // namespace nuv::gui
