// Face windows of the backend's classes: the window procedure's events (sizes and moves by code,
// window states, closing, activation, the window's own scroll bars, timers), its answers
// (colours, cursors, capture, size limits, DPI and display changes), the subclass procedures of
// text faces and edit fields, the classes themselves, and a face with a draw block painted through
// the message path. Fixture faces are objects in the backend's slot order; each gets a window of
// its class with its resource slot as the creation parameter, as face creation gives it one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/backend/classes.h"
#include "gui/backend/dispatch.h"
#include "gui/backend/dpi.h"
#include "gui/backend/loop.h"
#include "gui/backend/render.h"
#include "gui/backend/window_proc.h"
#include "host/clipboard.h"
#include "host/controls/controls.h"
#include "host/controls/edit.h"
#include "host/win/displays.h"
#include "host/win/keys.h"
#include "host/win/window.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/output.h"
#include "runtime/resource_slots.h"
#include "tests/host/win_support.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui::backend {
namespace {

namespace win = host::win;
namespace ctl = host::controls;
using test::eval_text;
using test::win::Snapshot;

// The face prototype in the backend's slot order, and an awake that logs each event's type.
constexpr const char* kSetup =
    "face-proto: object [type: 'base offset: 0x0 size: 100x100 text: image: color: menu: data: enabled?: "
    "visible?: selected: flags: options: parent: pane: state: rate: edge: para: font: actors: extra: draw: "
    "changed: deep-changed: tabs: line-spacing: handles: none] "
    "font-proto: object [name: size: style: angle: color: anti-alias?: shadow: state: parent: none] "
    "log: copy [] details: copy [] answer: none "
    "system/view/awake: func [event /with face] [append log event/type "
    "append/only details reduce [event/type event/key event/orientation] answer] true";

Cell global(const char* name) { return *context::global_slot(symbol::make_cstr(name)); }

void run(const std::string& text) { ASSERT_EQ(eval_text(text + " true"), "true") << text; }

std::string g_printed;
void capture(const char* text, size_t length, int32_t) { g_printed.append(text, length); }

class GuiWindowProc : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(eval_text("saved-awake: :system/view/awake true"), "true");
        run(kSetup);
        win::use_manual_clock(true);
    }
    void TearDown() override {
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
            if (win::IsWindow(*it)) {
                win::GetWindowExtra(*it)->companion = kCloseWithoutEvent;
                win::DestroyWindow(*it);
            }
        for (int32_t slot : slots_) resource_slots::free(slot);
        win::ReleaseCapture();
        dispatch::g_input.current_message = nullptr;
        win::MSG msg;
        while (win::PeekMessage(&msg, 0, 0, 0, win::PM_REMOVE)) {
        }
        eval_text("system/view/awake: :saved-awake true");
        win::use_manual_clock(false);
    }

    // Gives the face held by the global `name` a window of the class; the face's state block
    // holds the window.
    win::HWND show(const char* name, std::u16string_view cls, uint32_t style = 0, win::HWND parent = 0,
                   int32_t x = 0, int32_t y = 0, int32_t w = 100, int32_t h = 100) {
        const Cell face = global(name);
        const int32_t slot = resource_slots::store(&face);
        slots_.push_back(slot);
        const win::HWND hwnd = win::CreateWindowEx(0, cls, u"", style | (parent ? uint32_t{win::WS_CHILD} : 0u), x, y, w, h,
                                                   parent, 0, reinterpret_cast<void*>(static_cast<intptr_t>(slot)));
        EXPECT_NE(hwnd, 0u) << name;
        if (!hwnd) return 0;
        win::GetWindowExtra(hwnd)->face_slot = static_cast<uint32_t>(slot);
        windows_.push_back(hwnd);
        test::StackScope scope;
        context::set_global(symbol::make_cstr("hwnd"), handle::push(static_cast<int32_t>(hwnd), handle::Kind::Window));
        run(std::string(name) + "/state: reduce [hwnd 0 none false]");
        return hwnd;
    }
    // The loop handles every message waiting.
    static void pump() {
        while (loop::do_events(true)) {
        }
    }
    // The window painted again through the loop, and its pixels.
    static Snapshot painted(win::HWND hwnd, int32_t width, int32_t height) {
        win::InvalidateRect(hwnd, nullptr, true);
        pump();
        return Snapshot(hwnd, width, height);
    }
    static std::string logged() { return eval_text("log"); }
    static void clear_log() { ASSERT_EQ(eval_text("clear log clear details true"), "true"); }

    std::vector<win::HWND> windows_;
    std::vector<int32_t> slots_;
};

// ---- Sizes, moves and window states

TEST_F(GuiWindowProc, SizeByCodeRaisesResizeTwiceAndKeepsAPairSize) {
    run("w: make face-proto [type: 'window size: 100x100]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    win::GetWindowExtra(h)->flag_word |= kFlagSizeIsPair;
    clear_log();
    win::SetWindowPos(h, 0, 0, 0, 200, 150, win::SWP_NOMOVE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    EXPECT_EQ(logged(), "[resize resize]");
    EXPECT_EQ(eval_text("w/size"), "200x150");
    // Without the pair flag the size is a point in units.
    win::GetWindowExtra(h)->flag_word &= ~kFlagSizeIsPair;
    clear_log();
    win::SetWindowPos(h, 0, 0, 0, 120, 90, win::SWP_NOMOVE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    EXPECT_EQ(logged(), "[resize resize]");
    EXPECT_EQ(eval_text("reduce [type? w/size w/size/x w/size/y]"), "[point2D! 120.0 90.0]");
    // A move: one `move`, the offset the window's outer position.
    clear_log();
    win::SetWindowPos(h, 0, 30, 40, 0, 0, win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    EXPECT_EQ(logged(), "[move]");
    EXPECT_EQ(eval_text("reduce [w/offset/x w/offset/y]"), "[30.0 40.0]");
}

// A face whose window goes away in its first `resize` (its state no longer a block) gets no
// second one.
TEST_F(GuiWindowProc, FaceClosedInItsResizeGetsNoSecond) {
    run("w: make face-proto [type: 'window] "
        "system/view/awake: func [event /with face] [append log event/type if event/type = 'resize [w/state: none]]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    clear_log();
    win::SetWindowPos(h, 0, 0, 0, 150, 150, win::SWP_NOMOVE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    EXPECT_EQ(logged(), "[resize]");
}

// The creation parameter names the face's resource slot, which the window keeps.
TEST_F(GuiWindowProc, CreationStoresTheFacesSlot) {
    run("w: make face-proto [type: 'window]");
    const Cell face = global("w");
    const int32_t slot = resource_slots::store(&face);
    slots_.push_back(slot);
    const win::HWND h = win::CreateWindowEx(0, kWindowClass, u"", 0, 0, 0, 50, 50, 0, 0,
                                            reinterpret_cast<void*>(static_cast<intptr_t>(slot)));
    ASSERT_NE(h, 0u);
    windows_.push_back(h);
    EXPECT_EQ(win::GetWindowExtra(h)->face_slot, static_cast<uint32_t>(slot));
    // Its creation sized the face.
    EXPECT_EQ(eval_text("reduce [w/size/x w/size/y]"), "[50.0 50.0]");
}

// Dragging the frame: `moving` and `resizing` while it lasts, one `resize` per size change, and
// the last kind once more at the end.
TEST_F(GuiWindowProc, DraggingReportsDuringAndOnceAtTheEnd) {
    run("w: make face-proto [type: 'window]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 10, 20, 100, 100);
    clear_log();
    win::SendMessage(h, win::WM_ENTERSIZEMOVE, 0, 0);
    win::RECT rect{50, 60, 150, 160};
    EXPECT_EQ(win::SendMessage(h, win::WM_MOVING, 0, reinterpret_cast<intptr_t>(&rect)), 1);
    EXPECT_EQ(eval_text("reduce [w/offset/x w/offset/y]"), "[50.0 60.0]");
    rect = {50, 60, 170, 190};
    EXPECT_EQ(win::SendMessage(h, 0x0214, 8, reinterpret_cast<intptr_t>(&rect)), 1);
    EXPECT_EQ(eval_text("reduce [w/size/x w/size/y]"), "[120.0 130.0]");
    win::SetWindowPos(h, 0, 0, 0, 120, 130, win::SWP_NOMOVE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    EXPECT_EQ(win::SendMessage(h, win::WM_EXITSIZEMOVE, 0, 0), 0);
    EXPECT_EQ(logged(), "[moving resizing resize resize]");
    EXPECT_EQ(g_in_size_move, 0);
    // A drag that only moved ends with `move`.
    clear_log();
    win::SendMessage(h, win::WM_ENTERSIZEMOVE, 0, 0);
    rect = {5, 6, 125, 136};
    win::SendMessage(h, win::WM_MOVING, 0, reinterpret_cast<intptr_t>(&rect));
    win::SendMessage(h, win::WM_EXITSIZEMOVE, 0, 0);
    EXPECT_EQ(logged(), "[moving move]");
}

// The background of a face without a draw block: its colour; a child without one gets its
// class's, unless the parent is a tab panel, whose children take the window colour.
TEST_F(GuiWindowProc, BackgroundOfAFaceWithoutADrawBlock) {
    run("w: make face-proto [type: 'window color: 255.0.0] "
        "a: make face-proto [type: 'panel color: 0.255.0] b: make face-proto [type: 'panel] "
        "c: make face-proto [type: 'panel parent: make face-proto [type: 'tab-panel]]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 120, 40);
    show("a", kPanelClass, win::WS_VISIBLE, h, 0, 0, 40, 40);
    show("b", kPanelClass, win::WS_VISIBLE, h, 40, 0, 40, 40);
    show("c", kPanelClass, win::WS_VISIBLE, h, 80, 0, 40, 40);
    const Snapshot shot = painted(h, 120, 40);
    EXPECT_EQ(shot.at(20, 20), 0xFF00FF00u);
    EXPECT_EQ(shot.at(60, 20), ctl::argb(win::GetSysColor(win::COLOR_BTNFACE)));
    EXPECT_EQ(shot.at(100, 20), ctl::argb(win::GetSysColor(win::COLOR_WINDOW)));
}

TEST_F(GuiWindowProc, MinimisedPositionRaisesNoMove) {
    run("w: make face-proto [type: 'window]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    clear_log();
    EXPECT_EQ(win::SendMessage(h, win::WM_MOVE, 0, win::point_lparam(-32000, -32000)), 0);
    EXPECT_EQ(logged(), "[]");
    // A panel face's moves raise nothing either: only window faces report them.
    run("p: make face-proto [type: 'panel]");
    const win::HWND panel = show("p", kPanelClass, win::WS_VISIBLE, h, 5, 5, 20, 20);
    clear_log();
    win::SetWindowPos(panel, 0, 8, 8, 30, 30, win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    EXPECT_EQ(logged(), "[]");
}

TEST_F(GuiWindowProc, WindowCommandsReportTheStates) {
    run("w: make face-proto [type: 'window]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    struct Row {
        event::Type command;
        const char* state;
        bool iconic, zoomed;
    };
    const Row rows[] = {
        {event::Type::Minimize, "minimize", true, false},
        {event::Type::Restore, "restore", false, false},
        {event::Type::Maximize, "maximize", false, true},
        {event::Type::Restore, "restore", false, false},
    };
    for (const Row& row : rows) {
        clear_log();
        EXPECT_EQ(win::SendMessage(h, WM_WINDOW_COMMAND, static_cast<intptr_t>(row.command), 0), 0);
        EXPECT_EQ(eval_text("first intersect log [minimize maximize restore]"), row.state) << row.state;
        EXPECT_EQ(eval_text("length? intersect log [minimize maximize restore]"), "1") << row.state;
        EXPECT_EQ(win::IsIconic(h), row.iconic) << row.state;
        EXPECT_EQ(win::IsZoomed(h), row.zoomed) << row.state;
    }
    // Minimised, the window reports no move to (-32000, -32000) and keeps its offset.
    clear_log();
    win::SendMessage(h, WM_WINDOW_COMMAND, static_cast<intptr_t>(event::Type::Minimize), 0);
    EXPECT_EQ(logged(), "[minimize]");
    // Restoring refreshes the face's size from the window before `restore`.
    run("w/size: 1x1");
    win::SendMessage(h, WM_WINDOW_COMMAND, static_cast<intptr_t>(event::Type::Restore), 0);
    EXPECT_EQ(eval_text("reduce [w/size/x w/size/y]"), "[100.0 100.0]");
}

// ---- Closing

TEST_F(GuiWindowProc, CloseAnsweredStopEndsTheLoopAndTheWindowStays) {
    run("w: make face-proto [type: 'window] answer: 'stop");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    clear_log();
    win::PostMessage(h, win::WM_CLOSE, 0, 0);
    loop::do_events(false);  // ends at the WM_QUIT the answer posted
    EXPECT_EQ(logged(), "[close]");
    EXPECT_TRUE(win::IsWindow(h));
    EXPECT_EQ(win::GetFocus(), h);
}

TEST_F(GuiWindowProc, CloseAnsweredOtherwiseLeavesTheWindowOpen) {
    run("w: make face-proto [type: 'window] answer: 'done");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    clear_log();
    EXPECT_EQ(win::SendMessage(h, win::WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(logged(), "[close]");
    EXPECT_TRUE(win::IsWindow(h));
    win::MSG msg;
    EXPECT_FALSE(win::PeekMessage(&msg, 0, win::WM_QUIT, win::WM_QUIT, win::PM_NOREMOVE));
    // Marked to close without the event, it goes at once and raises nothing.
    clear_log();
    win::GetWindowExtra(h)->companion = kCloseWithoutEvent;
    win::SendMessage(h, win::WM_CLOSE, 0, 0);
    EXPECT_EQ(logged(), "[]");
    EXPECT_FALSE(win::IsWindow(h));
}

// ---- Activation

TEST_F(GuiWindowProc, ActivationDuringADispatchRaisesFocus) {
    run("a: make face-proto [type: 'window] b: make face-proto [type: 'window]");
    const win::HWND a = show("a", kWindowClass, win::WS_VISIBLE);
    const win::HWND b = show("b", kWindowClass, win::WS_VISIBLE);
    // Outside a dispatch, activation raises nothing.
    win::SetActiveWindow(b);
    clear_log();
    win::SetActiveWindow(a);
    EXPECT_EQ(logged(), "[]");
    EXPECT_EQ(win::GetFocus(), a);
    win::MSG current;
    current.hwnd = b;
    dispatch::g_input.current_message = &current;
    win::SetActiveWindow(b);
    dispatch::g_input.current_message = nullptr;
    EXPECT_EQ(logged(), "[unfocus focus]");
    EXPECT_EQ(win::GetActiveWindow(), b);
}

// ---- Scroll bars, timers

TEST_F(GuiWindowProc, OwnScrollBarRaisesScrollWithItsRequest) {
    run("w: make face-proto [type: 'window]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE | win::WS_VSCROLL | win::WS_HSCROLL);
    struct Row {
        uint32_t message;
        intptr_t request;
        const char* details;
    };
    const Row rows[] = {
        {win::WM_VSCROLL, win::SB_PAGEDOWN, "[[scroll page-down vertical]]"},
        {win::WM_VSCROLL, win::SB_LINEUP, "[[scroll up vertical]]"},
        {win::WM_HSCROLL, win::SB_PAGEUP, "[[scroll page-left horizontal]]"},
        {win::WM_HSCROLL, win::SB_ENDSCROLL, "[[scroll end horizontal]]"},
    };
    for (const Row& row : rows) {
        clear_log();
        EXPECT_EQ(win::SendMessage(h, row.message, row.request, 0), 0);
        EXPECT_EQ(eval_text("details"), row.details);
    }
}

TEST_F(GuiWindowProc, TimerRaisesTime) {
    run("w: make face-proto [type: 'window]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    pump();
    clear_log();
    ASSERT_NE(win::SetTimer(h, 7, 50, timer_procedure), 0u);
    win::advance_clock(60);
    pump();
    win::KillTimer(h, 7);
    EXPECT_EQ(logged(), "[time]");
}

// ---- Answers: capture, cursor, size limits, colours

TEST_F(GuiWindowProc, PanelTakesTheCaptureFromPressToRelease) {
    run("w: make face-proto [type: 'window] p: make face-proto [type: 'panel]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    const win::HWND panel = show("p", kPanelClass, win::WS_VISIBLE, h, 10, 10, 40, 40);
    EXPECT_EQ(win::SendMessage(panel, win::WM_LBUTTONDOWN, win::MK_LBUTTON, win::point_lparam(5, 5)), 0);
    EXPECT_EQ(win::GetCapture(), panel);
    EXPECT_EQ(win::SendMessage(panel, win::WM_LBUTTONUP, 0, win::point_lparam(5, 5)), 0);
    EXPECT_EQ(win::GetCapture(), 0u);
}

TEST_F(GuiWindowProc, CursorWordOfTheWindowUnderThePointer) {
    run("w: make face-proto [type: 'window] b: make face-proto [type: 'base]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    const win::HWND base = show("b", kBaseClass, win::WS_VISIBLE, h, 10, 10, 40, 40);
    win::SetCursor(win::LoadCursor(win::IDC_ARROW));
    win::GetWindowExtra(h)->cursor_word = win::IDC_HAND;
    EXPECT_EQ(win::SendMessage(h, win::WM_SETCURSOR, h, win::HTCLIENT), 1);
    EXPECT_EQ(win::GetCursor(), win::IDC_HAND);
    // A base face's cursor shows only while the pointer is over its client area (bit 31).
    win::GetWindowExtra(base)->cursor_word = win::IDC_CROSS;
    EXPECT_EQ(win::SendMessage(h, win::WM_SETCURSOR, base, win::HTCLIENT), 0);
    EXPECT_EQ(win::GetCursor(), win::IDC_HAND);
    win::GetWindowExtra(base)->cursor_word = win::IDC_CROSS | 0x80000000u;
    EXPECT_EQ(win::SendMessage(h, win::WM_SETCURSOR, base, win::HTCLIENT), 1);
    EXPECT_EQ(win::GetCursor(), win::IDC_CROSS);
}

TEST_F(GuiWindowProc, SizeLimitsGrowToTheFace) {
    run("w: make face-proto [type: 'window]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE | win::WS_BORDER);
    run("w/size: 3000x200");  // larger than the window, which set it at its creation
    win::MINMAXINFO info;
    info.ptMaxSize = {1920, 1080};
    info.ptMaxTrackSize = {2000, 2000};
    EXPECT_EQ(win::SendMessage(h, win::WM_GETMINMAXINFO, 0, reinterpret_cast<intptr_t>(&info)), 0);
    EXPECT_EQ(info.ptMaxSize.x, 3002);  // the size and the border
    EXPECT_EQ(info.ptMaxSize.y, 1080);
    EXPECT_EQ(info.ptMaxTrackSize.x, 3002);
    EXPECT_EQ(info.ptMaxTrackSize.y, 2000);
}

TEST_F(GuiWindowProc, ButtonTextDrawnInItsFontColour) {
    run("w: make face-proto [type: 'window color: 255.255.255] "
        "b: make face-proto [type: 'button text: \"MMMM\" font: make font-proto [color: 255.0.0]] "
        "c: make face-proto [type: 'button text: \"MMMM\"]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 200, 100);
    show("b", kButtonFaceClass, win::WS_VISIBLE, h, 10, 10, 80, 30);
    show("c", kButtonFaceClass, win::WS_VISIBLE, h, 100, 10, 80, 30);
    const Snapshot shot = painted(h, 200, 100);
    int red_b = 0, red_c = 0;
    for (int32_t y = 10; y < 40; y++)
        for (int32_t x = 0; x < 80; x++) {
            const auto red = [](uint32_t p) { return (p >> 16 & 0xFF) > 150 && (p >> 8 & 0xFF) < 80 && (p & 0xFF) < 80; };
            red_b += red(shot.at(10 + x, y));
            red_c += red(shot.at(100 + x, y));
        }
    EXPECT_GT(red_b, 20);
    EXPECT_EQ(red_c, 0);
}

TEST_F(GuiWindowProc, ControlColoursFromTheFace) {
    run("w: make face-proto [type: 'window] "
        "f: make face-proto [type: 'field color: 255.255.0] "
        "t: make face-proto [type: 'text font: make font-proto [color: 0.0.255]]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 200, 100);
    const win::HWND field = show("f", kFieldFaceClass, win::WS_VISIBLE, h, 10, 10, 80, 30);
    const win::HWND text = show("t", kTextFaceClass, win::WS_VISIBLE, h, 100, 10, 80, 30);
    EXPECT_EQ(painted(h, 200, 100).at(50, 25), 0xFFFFFF00u);
    // The colours the parent answers on the control's device context.
    cairo_t* dc = win::GetDC(field);
    const LRESULT brush = win::SendMessage(h, win::WM_CTLCOLOREDIT, reinterpret_cast<intptr_t>(dc), field);
    EXPECT_EQ(brush, static_cast<LRESULT>(host::gfx::GetStockObject(host::gfx::DC_BRUSH)));
    EXPECT_EQ(host::gfx::GetDCBrushColor(dc), 0x00FFFFu);
    EXPECT_EQ(host::gfx::GetBkColor(dc), 0x00FFFFu);
    win::ReleaseDC(field, dc);
    dc = win::GetDC(text);
    EXPECT_EQ(win::SendMessage(h, win::WM_CTLCOLORSTATIC, reinterpret_cast<intptr_t>(dc), text),
              static_cast<LRESULT>(host::gfx::GetSysColorBrush(15)));
    EXPECT_EQ(host::gfx::GetTextColor(dc), 0xFF0000u);
    EXPECT_EQ(host::gfx::GetBkMode(dc), host::gfx::TRANSPARENT);
    win::ReleaseDC(text, dc);
}

// ---- DPI and display changes

TEST_F(GuiWindowProc, DpiChangeTakesTheRectangleAndPlacesThePaneAgain) {
    run("w: make face-proto [type: 'window] p: make face-proto [type: 'panel offset: 10x10 size: 20x20] "
        "w/pane: reduce [p]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 100, 100);
    const win::HWND panel = show("p", kPanelClass, win::WS_VISIBLE, h, 10, 10, 20, 20);
    const win::RECT suggested{0, 0, 200, 200};
    EXPECT_EQ(win::SendMessage(h, win::WM_DPICHANGED, (192 << 16) | 192, reinterpret_cast<intptr_t>(&suggested)), 0);
    const float scale = dpi::g_current.scale;
    dpi::set_current(96);
    EXPECT_EQ(scale, 2.0f);
    win::RECT r;
    win::GetWindowRect(h, &r);
    EXPECT_EQ(r.width(), 200);
    win::GetWindowRect(panel, &r);
    win::POINT at{r.left, r.top};
    win::ScreenToClient(h, &at);
    EXPECT_EQ(at.x, 20);
    EXPECT_EQ(r.width(), 40);
    EXPECT_EQ(eval_text("type? p/offset"), "point2D!");  // a pair offset becomes a point
    // A face whose state is no block is left as it is.
    run("w/state: none");
    EXPECT_EQ(win::SendMessage(h, win::WM_DPICHANGED, (144 << 16) | 144, reinterpret_cast<intptr_t>(&suggested)), 0);
    EXPECT_EQ(dpi::g_current.x, 96u);
}

TEST_F(GuiWindowProc, DisplayChangeRedrawsTheWindowAndItsChildren) {
    run("w: make face-proto [type: 'window] p: make face-proto [type: 'panel]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE);
    const win::HWND panel = show("p", kPanelClass, win::WS_VISIBLE, h, 10, 10, 20, 20);
    pump();
    ASSERT_FALSE(win::GetUpdateRect(panel, nullptr));
    win::SendMessage(h, 0x007E, 32, win::point_lparam(1920, 1080));
    EXPECT_TRUE(win::GetUpdateRect(h, nullptr));
    EXPECT_TRUE(win::GetUpdateRect(panel, nullptr));
}

TEST_F(GuiWindowProc, WindowWithoutAFaceGetsTheDefault) {
    const win::HWND h = win::CreateWindowEx(0, kPanelClass, u"", 0, 0, 0, 50, 50, 0, 0, nullptr);
    ASSERT_NE(h, 0u);
    windows_.push_back(h);
    clear_log();
    win::SetWindowPos(h, 0, 0, 0, 80, 80, win::SWP_NOMOVE | win::SWP_NOZORDER);
    win::SendMessage(h, win::WM_VSCROLL, win::SB_PAGEDOWN, 0);
    EXPECT_EQ(logged(), "[]");
    // Its WM_CLOSE is the default one: the window goes.
    win::SendMessage(h, win::WM_CLOSE, 0, 0);
    EXPECT_FALSE(win::IsWindow(h));
}

// ---- Subclass procedures

TEST_F(GuiWindowProc, FieldSwallowsEnterAndTabButRaisesKey) {
    run("w: make face-proto [type: 'window] f: make face-proto [type: 'field]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 200, 100);
    const win::HWND field = show("f", kFieldFaceClass, win::WS_VISIBLE, h, 10, 10, 100, 24);
    win::SetFocus(field);
    pump();
    clear_log();
    for (const intptr_t c : {intptr_t{13}, intptr_t{9}, intptr_t{'x'}}) {
        win::MSG msg;
        msg.hwnd = field;
        msg.message = win::WM_CHAR;
        msg.wParam = c;
        win::post_input(msg);
    }
    pump();
    EXPECT_EQ(logged(), "[key key key]");
    EXPECT_EQ(win::GetWindowText(field), u"x");
    EXPECT_EQ(win::SendMessage(field, win::WM_CHAR, 13, 0), 0);
    EXPECT_EQ(win::GetWindowText(field), u"x");
}

TEST_F(GuiWindowProc, CtrlAInAnAreaSelectsAll) {
    run("w: make face-proto [type: 'window] a: make face-proto [type: 'area] f: make face-proto [type: 'field]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 200, 100);
    const win::HWND area = show("a", kAreaFaceClass, uint32_t{win::WS_VISIBLE} | ctl::ES_MULTILINE, h, 0, 0, 100, 60);
    const win::HWND field = show("f", kFieldFaceClass, win::WS_VISIBLE, h, 0, 70, 100, 24);
    win::SetWindowText(area, u"one\r\ntwo");
    win::SetWindowText(field, u"abc");
    win::SendMessage(area, ctl::EM_SETSEL, 2, 2);
    win::SendMessage(field, ctl::EM_SETSEL, 1, 1);
    EXPECT_EQ(win::SendMessage(area, win::WM_CHAR, 1, 0), 1);
    uint32_t from = 0, to = 0;
    win::SendMessage(area, ctl::EM_GETSEL, reinterpret_cast<intptr_t>(&from), reinterpret_cast<intptr_t>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 8u);
    // The field leaves the character to the control.
    EXPECT_EQ(win::SendMessage(field, win::WM_CHAR, 1, 0), 0);
}

TEST_F(GuiWindowProc, PasteBeyondTheLimitArrivesWhole) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!host::clipboard::available()) GTEST_SKIP() << "no clipboard";
    run("w: make face-proto [type: 'window] a: make face-proto [type: 'area]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 200, 100);
    const win::HWND area = show("a", kAreaFaceClass, uint32_t{win::WS_VISIBLE} | ctl::ES_MULTILINE, h, 0, 0, 100, 60);
    win::SendMessage(area, ctl::EM_SETLIMITTEXT, 30000, 0);
    ASSERT_TRUE(host::clipboard::write_text(std::string(40000, 'q')));
    win::SendMessage(area, win::WM_PASTE, 0, 0);
    EXPECT_EQ(win::GetWindowTextLength(area), 40000);
    EXPECT_GE(win::SendMessage(area, ctl::EM_GETLIMITTEXT, 0, 0), 40000 + kPasteRoom);
    // A limit with room enough is left alone.
    const win::HWND roomy = show("a", kAreaFaceClass, uint32_t{win::WS_VISIBLE} | ctl::ES_MULTILINE, h, 0, 0, 100, 60);
    win::SendMessage(roomy, ctl::EM_SETLIMITTEXT, 100000, 0);
    ASSERT_TRUE(host::clipboard::write_text("fits"));
    win::SendMessage(roomy, win::WM_PASTE, 0, 0);
    EXPECT_EQ(win::GetWindowText(roomy), u"fits");
    EXPECT_EQ(win::SendMessage(roomy, ctl::EM_GETLIMITTEXT, 0, 0), 100000);
    host::clipboard::write_text("");
}

TEST_F(GuiWindowProc, TextFaceKeepsTheCaptureFromPressToRelease) {
    run("w: make face-proto [type: 'window] t: make face-proto [type: 'text text: \"hit\"]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 200, 100);
    const win::HWND text = show("t", kTextFaceClass, win::WS_VISIBLE, h, 20, 20, 60, 20);
    pump();
    clear_log();
    win::POINT at{30, 30};
    win::ClientToScreen(h, &at);
    win::mouse_input(win::WM_LBUTTONDOWN, at, win::MK_LBUTTON);
    pump();
    EXPECT_EQ(win::GetCapture(), text);
    // Dragged out of the face, the release still comes to it.
    win::mouse_input(win::WM_LBUTTONUP, win::POINT{at.x + 100, at.y + 50}, 0);
    pump();
    EXPECT_EQ(win::GetCapture(), 0u);
    EXPECT_EQ(eval_text("intersect log [down up]"), "[down up]");
    EXPECT_EQ(win::SendMessage(text, win::WM_NCHITTEST, 0, 0), win::HTCLIENT);
}

TEST_F(GuiWindowProc, CalendarTakesTheFocusOnAPress) {
    run("w: make face-proto [type: 'window] c: make face-proto [type: 'calendar]");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 300, 300);
    const win::HWND calendar = show("c", kCalendarFaceClass, win::WS_VISIBLE, h, 0, 0, 250, 200);
    win::SetFocus(h);
    win::SendMessage(calendar, win::WM_LBUTTONDOWN, win::MK_LBUTTON, win::point_lparam(2, 2));
    win::SendMessage(calendar, win::WM_LBUTTONUP, 0, win::point_lparam(2, 2));
    EXPECT_EQ(win::GetFocus(), calendar);
}

// ---- Classes

TEST_F(GuiWindowProc, ClassesAreRegisteredUnderTheirNames) {
    EXPECT_TRUE(window_classes_registered());
    struct Row {
        std::u16string_view asked, registered;
    };
    const Row rows[] = {
        {u"NuvTabPanel", u"NuvTabpanel"}, {u"nuvwindow", u"NuvWindow"}, {u"NuvField", u"NuvField"},
        {u"NuvCamera", u"NuvCamera"},
    };
    for (const Row& row : rows) {
        const win::HWND made = win::CreateWindowEx(0, row.asked, u"", 0, 0, 0, 10, 10, 0, 0, nullptr);
        ASSERT_NE(made, 0u);
        std::u16string name;
        win::GetClassName(made, &name);
        EXPECT_TRUE(name == row.registered);
        win::DestroyWindow(made);
    }
    // A field is an area: the same subclass procedure, single-line by style.
    win::WNDCLASS area, field;
    ASSERT_TRUE(win::GetClassInfo(kAreaFaceClass, &area));
    ASSERT_TRUE(win::GetClassInfo(kFieldFaceClass, &field));
    EXPECT_EQ(area.proc, field.proc);
    EXPECT_EQ(area.proc, edit_subclass_procedure);
}

TEST_F(GuiWindowProc, UnreadableBaseClassStopsStartUpLoudly) {
    unregister_window_classes();
    ASSERT_TRUE(win::UnregisterClass(ctl::kMonthCalClass));
    g_printed.clear();
    output::add(nullptr, capture);
    std::string error;
    {
        test::StackScope scope;
        try {
            register_window_classes();
        } catch (const Unwind&) {
            error = test::error_text(raised());
        }
    }
    output::remove(nullptr, capture);
    EXPECT_EQ(error, "error not-here SysMonthCal32");
    EXPECT_EQ(g_printed, "*** Error in GetClassInfoEx\n");
    EXPECT_FALSE(window_classes_registered());
    // The classes come back once the control's class is there again.
    ASSERT_TRUE(ctl::register_monthcal());
    register_window_classes();
    EXPECT_TRUE(window_classes_registered());
}

// ---- Paint through the message path

TEST_F(GuiWindowProc, PanelWithADrawBlockPaintsWhatDrawGives) {
    run("cmds: [pen 255.255.0 line-width 3 fill-pen 0.200.0 box 10x10 60x50 circle 70x70 20 "
        "pen off fill-pen 255.0.0 triangle 5x95 50x60 95x95] "
        "w: make face-proto [type: 'window color: 255.255.255] "
        "p: make face-proto [type: 'panel size: 100x100 color: 0.0.255 draw: cmds] "
        "expected: draw make image! [100x100 0.0.255] cmds");
    const win::HWND h = show("w", kWindowClass, win::WS_VISIBLE, 0, 0, 0, 120, 120);
    const win::HWND panel = show("p", kPanelClass, win::WS_VISIBLE, h, 0, 0, 100, 100);
    win::InvalidateRect(panel, nullptr, true);
    win::UpdateWindow(panel);
    const Snapshot shot(panel, 100, 100);
    const Cell expected = global("expected");
    const image::Record* record = image::record_of(&expected);
    ASSERT_NE(record, nullptr);
    int differ = 0;
    for (int32_t y = 0; y < 100; y++)
        for (int32_t x = 0; x < 100; x++) differ += shot.at(x, y) != image::get(record, y * 100 + x);
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(shot.at(50, 5), 0xFF0000FFu);
    EXPECT_FALSE(win::GetUpdateRect(panel, nullptr));
    // A new size: the back buffer follows and the window is painted again; destroyed, the
    // window's record goes.
    const RenderTargetRecord* record_of_window = window_render_target(panel);
    ASSERT_NE(record_of_window, nullptr);
    win::SetWindowPos(panel, 0, 0, 0, 60, 50, win::SWP_NOMOVE | win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    ASSERT_TRUE(record_of_window->target && record_of_window->target->bitmap());
    EXPECT_EQ(record_of_window->target->bitmap()->width(), 60);
    EXPECT_EQ(record_of_window->target->bitmap()->height(), 50);
    EXPECT_TRUE(win::GetUpdateRect(panel, nullptr));
    const int32_t records = render_target_count();
    win::DestroyWindow(panel);
    EXPECT_EQ(render_target_count(), records - 1);
}

}  // namespace
}  // namespace nuv::gui::backend
