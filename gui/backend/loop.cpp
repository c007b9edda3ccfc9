// The message loop, its pre-dispatch of key and mouse messages, and the counters that decide
// which nested loop a quit ends.
#include "gui/backend/loop.h"

#include "gui/backend/dispatch.h"
#include "gui/backend/event.h"
#include "gui/backend/names.h"
#include "gui/backend/view_object.h"
#include "gui/backend/window_proc.h"
#include "host/win/keys.h"
#include "host/win/sdl_source.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/routines.h"
#include "runtime/hooks.h"
#include "runtime/stack.h"

namespace nuv::gui::loop {

namespace {

namespace win = host::win;
using dispatch::make_event;
using event::Type;

constexpr uint32_t kAllOver = 0x00000001;  // the face flag that asks for every move

// Whether a face window's face is of type `base`.
bool is_base_face(HWND hwnd) {
    const Cell* face = dispatch::window_face(hwnd);
    if (!face || object::word_count(face) == 0) return false;
    const Cell* type = view_object::at(face, backend::kFacetType);
    return word::is_any_word_type(cell::type_of(type)) && symbol::resolve(word::symbol_of(type)) == names::sym::base;
}

int32_t mouse_move(const MSG& msg, uint32_t flags) {
    LoopState& s = g_loop;
    // The same point in another window is a move too: the pointer entered that window.
    if (msg.lParam == s.last_mouse_lparam && msg.hwnd == s.last_mouse_window) return 0;
    s.last_mouse_lparam = msg.lParam;
    s.last_mouse_window = msg.hwnd;
    if (win::IsWindowEnabled(msg.hwnd)) {
        const win::WindowExtra* extra = win::GetWindowExtra(msg.hwnd);
        const bool entered = msg.hwnd != s.hover_window;
        if (entered || (extra && (extra->face_flags & kAllOver))) {
            if (entered) {
                win::TRACKMOUSEEVENT track;
                track.dwFlags = win::TME_LEAVE;
                track.hwndTrack = msg.hwnd;
                win::TrackMouseEvent(&track);
            }
            s.hover_window = msg.hwnd;
            make_event(msg, Type::Over, flags);
            return 1;
        }
    }
    s.hover_window = msg.hwnd;
    return 1;
}

int32_t key_down(const MSG& msg) {
    const int32_t r = make_event(msg, Type::KeyDown, 0);
    if (r == 0) return 0;
    const int32_t special = dispatch::g_input.special_key;
    // A key that gives a character, or a modifier: translation brings the character message.
    if (special == -1 || (special >= win::VK_LSHIFT && special <= win::VK_RMENU) || special == win::VK_SHIFT ||
        special == win::VK_CONTROL)
        return r;
    return make_event(msg, Type::Key, 0);
}

}  // namespace

void reset() {
    g_loop = LoopState{};
    dispatch::reset();
    hooks::g_events.do_events = do_events;
}

void reset_move_filter() {
    g_loop.last_mouse_lparam = -1;
    g_loop.last_mouse_window = 0;
}

int32_t pre_dispatch(const MSG& msg) {
    const HWND h = msg.hwnd;
    const bool mouse = msg.message >= win::WM_MOUSEMOVE && msg.message <= win::WM_MOUSEHWHEEL;
    const uint32_t flags =
        mouse || msg.message == win::WM_MOUSELEAVE
            ? dispatch::mouse_key_flags(msg.wParam) | dispatch::key_state_flags(true)
            : 0;
    LoopState& s = g_loop;
    switch (msg.message) {
    case win::WM_MOUSEMOVE: return mouse_move(msg, flags);
    case win::WM_MOUSELEAVE:
        reset_move_filter();
        make_event(msg, Type::Over, flags | event::kAway);
        if (h == s.hover_window) s.hover_window = 0;
        return 1;
    case win::WM_MOUSEWHEEL: return make_event(msg, Type::Wheel, dispatch::mouse_key_flags(msg.wParam));
    case win::WM_LBUTTONDOWN: return make_event(msg, Type::Down, flags);
    case win::WM_LBUTTONUP:
        if (h && win::GetCapture() == h && is_base_face(h)) win::ReleaseCapture();
        return make_event(msg, Type::Up, flags);
    case win::WM_LBUTTONDBLCLK:
        make_event(msg, Type::Down, 0);
        make_event(msg, Type::DblClick, flags);
        return 1;
    case win::WM_RBUTTONDOWN:
        if (win::GetCapture()) return 1;
        dispatch::g_input.menu_point = {win::lparam_x(msg.lParam), win::lparam_y(msg.lParam)};
        return make_event(msg, Type::AltDown, flags);
    case win::WM_RBUTTONUP: return make_event(msg, Type::AltUp, flags);
    case win::WM_MBUTTONDOWN: return make_event(msg, Type::MidDown, flags);
    case win::WM_MBUTTONUP: return make_event(msg, Type::MidUp, flags);
    case win::WM_XBUTTONDOWN: return make_event(msg, Type::AuxDown, flags);
    case win::WM_XBUTTONUP: return make_event(msg, Type::AuxUp, flags);
    case win::WM_KEYDOWN: return key_down(msg);
    case win::WM_SYSKEYDOWN: return make_event(msg, Type::KeyDown, 0);
    case win::WM_KEYUP:
    case win::WM_SYSKEYUP: return make_event(msg, Type::KeyUp, 0);
    case win::WM_CHAR:
        dispatch::g_input.special_key = -1;
        return make_event(msg, Type::Key, 0);
    default: return 1;
    }
}

bool do_events(bool no_wait) {
    dispatch::InputState& in = dispatch::g_input;
    const int64_t forced = in.forced_key_flags;
    in.forced_key_flags = -1;
    bool processed = false;
    if (!no_wait) g_loop.depth++;
    MSG msg;
    for (;;) {
        if (no_wait) {
            if (!win::PeekMessage(&msg, 0, 0, 0, win::PM_REMOVE)) break;
            if (msg.message == win::WM_QUIT) {
                // A quit is a blocking loop's to take: put back, it ends the loop that waits.
                win::PostQuitMessage(static_cast<int32_t>(msg.wParam));
                break;
            }
        } else if (win::GetMessage(&msg, 0, 0, 0) <= 0) {
            break;
        }
        processed = true;
        if (pre_dispatch(msg) >= 1) {
            const MSG* saved = in.current_message;
            in.current_message = &msg;
            win::TranslateMessage(&msg);
            win::DispatchMessage(&msg);
            in.current_message = saved;
        }
        if (no_wait) break;
    }
    if (!no_wait) {
        // A loop ended by exit-event-loop had no exit pending: the count stays at 0.
        if (g_loop.pending_exits > 0) g_loop.pending_exits--;
        if (g_loop.pending_exits > 0) win::PostQuitMessage(0);
    }
    in.forced_key_flags = forced;
    return processed;
}

void last_window_closed() {
    g_loop.depth--;
    g_loop.pending_exits++;
}

void exit_loop() { win::PostQuitMessage(0); }

uint64_t do_event_loop_routine(const uint64_t* args) { return do_events(routines::arg_int(args[0]) != 0) ? 1 : 0; }

uint64_t exit_event_loop_routine(const uint64_t*) {
    exit_loop();
    none::set(stack::arg(0));
    return 0;
}

}  // namespace nuv::gui::loop
