// The one message queue: posted messages (the only thing another thread may touch, under a
// lock), input, the quit request, and paint and timer messages made when nothing else waits;
// the clock, real or moved by hand; the default window procedure; mouse routing.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "host/win/keys.h"
#include "host/win/model.h"

namespace nuv::host::win {

namespace {

struct Timer {
    HWND hwnd;
    uintptr_t id;
    uint32_t interval;
    TIMERPROC proc;
    uint32_t due;
};

struct Queue {
    std::mutex lock;
    std::condition_variable woken_cv;
    std::deque<MSG> posted;  // under lock
    bool woken = false;      // under lock
    std::deque<MSG> input;
    bool quit = false;
    int32_t quit_code = 0;
    std::vector<Timer> timers;
    uintptr_t next_timer = 1;
    MSG last;
    std::atomic<bool> manual{false};
    std::atomic<uint32_t> manual_now{0};
    std::atomic<std::thread::id> gui_thread{};
    void (*observer)(const MSG&) = nullptr;
    Press last_press;  // to tell a double click
};

Queue& queue() {
    static Queue* q = new Queue;
    return *q;
}

constexpr uint32_t kMinTimer = 10;

uint32_t real_now() {
    static const auto start = std::chrono::steady_clock::now();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

bool matches(const MSG& m, HWND hwnd, uint32_t first, uint32_t last) {
    if (hwnd && m.hwnd != hwnd) return false;
    return (first == 0 && last == 0) || (m.message >= first && m.message <= last);
}

bool due(const Timer& t, uint32_t at) { return static_cast<int32_t>(at - t.due) >= 0; }

// Takes the first matching message of a list, dropping those of destroyed windows.
bool take_from(std::deque<MSG>* list, MSG* out, HWND hwnd, uint32_t first, uint32_t last, bool remove) {
    for (auto it = list->begin(); it != list->end();) {
        if (it->hwnd && !model::live(it->hwnd)) {
            it = list->erase(it);
            continue;
        }
        if (matches(*it, hwnd, first, last)) {
            *out = *it;
            if (remove) list->erase(it);
            return true;
        }
        ++it;
    }
    return false;
}

bool take(MSG* out, HWND hwnd, uint32_t first, uint32_t last, bool remove) {
    Queue& q = queue();
    const model::State& s = model::state();
    if (s.source && s.source->pump) s.source->pump();
    const uint32_t at = model::now();
    bool found;
    {
        std::lock_guard<std::mutex> hold(q.lock);
        found = take_from(&q.posted, out, hwnd, first, last, remove);
    }
    if (found) {
        out->pt = s.cursor_pos;
    } else if (take_from(&q.input, out, hwnd, first, last, remove)) {
        found = true;
        if (remove && q.observer) q.observer(*out);
    } else if (q.quit && ((first == 0 && last == 0) || (WM_QUIT >= first && WM_QUIT <= last))) {
        *out = MSG{0, WM_QUIT, q.quit_code, 0, at, s.cursor_pos};
        if (remove) q.quit = false;
        found = true;
    } else if (model::Window* w = (first == 0 && last == 0) || (WM_PAINT >= first && WM_PAINT <= last)
                                      ? model::window_needing_paint(hwnd)
                                      : nullptr) {
        *out = MSG{w->id, WM_PAINT, 0, 0, at, s.cursor_pos};
        found = true;
    } else if ((first == 0 && last == 0) || (WM_TIMER >= first && WM_TIMER <= last)) {
        Timer* next = nullptr;
        for (Timer& t : q.timers)
            if (due(t, at) && (!hwnd || t.hwnd == hwnd) && (!next || static_cast<int32_t>(t.due - next->due) < 0))
                next = &t;
        if (next) {
            *out = MSG{next->hwnd, WM_TIMER, static_cast<intptr_t>(next->id), reinterpret_cast<intptr_t>(next->proc),
                       at, s.cursor_pos};
            if (remove) next->due = at + next->interval;
            found = true;
        }
    }
    if (found && remove) q.last = *out;
    return found;
}

// Milliseconds until the next timer is due; -1 without timers.
int32_t until_next_timer() {
    Queue& q = queue();
    const uint32_t at = model::now();
    int32_t best = -1;
    for (const Timer& t : q.timers) {
        int32_t left = std::max(static_cast<int32_t>(t.due - at), 0);
        if (best < 0 || left < best) best = left;
    }
    return best;
}

void wait_for_work() {
    Queue& q = queue();
    const model::State& s = model::state();
    const int32_t timeout = until_next_timer();
    if (q.manual && timeout >= 0) {
        q.manual_now += static_cast<uint32_t>(timeout);
        return;
    }
    if (s.source && s.source->wait) {
        s.source->wait(timeout);
        return;
    }
    std::unique_lock<std::mutex> hold(q.lock);
    auto ready = [&] { return q.woken || !q.posted.empty(); };
    if (timeout < 0)
        q.woken_cv.wait(hold, ready);
    else
        q.woken_cv.wait_for(hold, std::chrono::milliseconds(timeout), ready);
    q.woken = false;
}

}  // namespace

namespace model {

uint32_t now() {
    Queue& q = queue();
    return q.manual ? q.manual_now.load() : real_now();
}

void kill_timers(HWND hwnd) {
    auto& timers = queue().timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                 timers.end());
}

void wake_loop() {
    Queue& q = queue();
    {
        std::lock_guard<std::mutex> hold(q.lock);
        q.woken = true;
    }
    q.woken_cv.notify_one();
    const EventSource* source = state().source;
    if (source && source->wake) source->wake();
}

void note_gui_thread() {
    auto& gui = queue().gui_thread;
    if (gui.load() == std::thread::id{}) gui = std::this_thread::get_id();
}

}  // namespace model

using namespace model;

int32_t GetMessage(MSG* msg, HWND hwnd, uint32_t first, uint32_t last) {
    note_gui_thread();
    for (;;) {
        if (take(msg, hwnd, first, last, true)) return msg->message == WM_QUIT ? 0 : 1;
        const EventSource* source = state().source;
        if (source && source->idle) {
            source->idle();
            if (take(msg, hwnd, first, last, true)) return msg->message == WM_QUIT ? 0 : 1;
        }
        wait_for_work();
    }
}

bool PeekMessage(MSG* msg, HWND hwnd, uint32_t first, uint32_t last, uint32_t remove) {
    note_gui_thread();
    return take(msg, hwnd, first, last, remove & PM_REMOVE);
}

bool PostMessage(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    Queue& q = queue();
    if (hwnd && q.gui_thread.load() == std::this_thread::get_id() && !live(hwnd)) return false;
    {
        std::lock_guard<std::mutex> hold(q.lock);
        q.posted.push_back(MSG{hwnd, message, wParam, lParam, now(), POINT{}});
    }
    wake_loop();
    return true;
}

LRESULT SendMessage(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    Window* w = live(hwnd);
    return w ? call(w, w->proc, message, wParam, lParam) : 0;
}

LRESULT DispatchMessage(const MSG* msg) {
    if (msg->message == WM_TIMER && msg->lParam) {
        auto& timers = queue().timers;
        auto it = std::find_if(timers.begin(), timers.end(),
                               [&](const Timer& t) { return t.hwnd == msg->hwnd && t.id == uintptr_t(msg->wParam); });
        if (it == timers.end()) return 0;
        TIMERPROC proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, static_cast<uintptr_t>(msg->wParam), now());
        return 0;
    }
    Window* w = live(msg->hwnd);
    if (!w) return 0;
    return msg->message == WM_PAINT ? paint_now(w) : call(w, w->proc, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int32_t code) {
    Queue& q = queue();
    q.quit = true;
    q.quit_code = code;
}

uint32_t GetMessagePos() {
    const MSG& m = queue().last;
    return static_cast<uint32_t>(point_lparam(m.pt.x, m.pt.y));
}

uint32_t GetMessageTime() { return queue().last.time; }

void post_input(const MSG& msg) {
    MSG m = msg;
    if (m.time == 0) m.time = now();
    if (m.pt.x == 0 && m.pt.y == 0) m.pt = state().cursor_pos;
    queue().input.push_back(m);
}

void mouse_input(uint32_t message, POINT screen, intptr_t keys) {
    State& s = state();
    Queue& q = queue();
    s.cursor_pos = screen;
    if (s.thumb_window && thumb_drag(message, screen)) return;
    int32_t hit = HTCLIENT;
    HWND target = live(s.capture) ? s.capture : pick_at(screen, &hit);
    if (s.tracking && (s.tracking != target || hit != HTCLIENT)) {
        post_input(MSG{s.tracking, WM_MOUSELEAVE, 0, 0, 0, screen});
        s.tracking = 0;
    }
    if (!target) return;
    if (message == WM_MOUSEMOVE && !s.capture)
        SendMessage(target, WM_SETCURSOR, target, point_lparam(hit, static_cast<int32_t>(message)));
    const bool press = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN ||
                       message == WM_XBUTTONDOWN;
    if (press) {
        Window* top = live(target) ? root(live(target)) : nullptr;
        if (top && top->id != s.active && !(top->ex_style & WS_EX_NOACTIVATE)) SetActiveWindow(top->id);
    }
    Window* w = live(target);
    if (!w) return;
    if (message == WM_MOUSEWHEEL || message == WM_MOUSEHWHEEL) {
        post_input(MSG{target, message, keys, point_lparam(screen.x, screen.y), 0, screen});
        return;
    }
    // A second press soon and near on a CS_DBLCLKS window is the button's DBLCLK.
    if (press && message != WM_XBUTTONDOWN)
        message = press_message(Press{message, target, screen, now()}, w->cls->info.style & CS_DBLCLKS, &q.last_press);
    if (hit == HTCLIENT) {
        POINT c = screen;
        ScreenToClient(target, &c);
        post_input(MSG{target, message, keys, point_lparam(c.x, c.y), 0, screen});
    } else if (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK) {
        post_input(MSG{target, message - WM_MOUSEMOVE + WM_NCMOUSEMOVE, hit, point_lparam(screen.x, screen.y), 0,
                       screen});
    }
}

bool TrackMouseEvent(const TRACKMOUSEEVENT* track) {
    State& s = state();
    if (track->dwFlags & TME_CANCEL) {
        if (s.tracking == track->hwndTrack) s.tracking = 0;
        return true;
    }
    if (!(track->dwFlags & TME_LEAVE) || !live(track->hwndTrack)) return false;
    int32_t hit;
    if (pick_at(s.cursor_pos, &hit) == track->hwndTrack && hit == HTCLIENT)
        s.tracking = track->hwndTrack;
    else
        post_input(MSG{track->hwndTrack, WM_MOUSELEAVE, 0, 0, 0, s.cursor_pos});
    return true;
}

void set_event_source(const EventSource* source) {
    state().source = source;
    state().source_chosen = true;
}

void set_input_observer(void (*observer)(const MSG&)) { queue().observer = observer; }

// ---- Timers and the clock

uintptr_t SetTimer(HWND hwnd, uintptr_t id, uint32_t interval_ms, TIMERPROC proc) {
    if (hwnd && !live(hwnd)) return 0;
    Queue& q = queue();
    const uint32_t interval = std::clamp<uint32_t>(interval_ms, kMinTimer, 0x7FFFFFFF);
    for (Timer& t : q.timers)
        if (t.hwnd == hwnd && t.id == id && id != 0) {
            t.interval = interval;
            t.proc = proc;
            t.due = now() + interval;
            return id;
        }
    if (id == 0) id = q.next_timer++;
    q.timers.push_back(Timer{hwnd, id, interval, proc, now() + interval});
    return id;
}

bool KillTimer(HWND hwnd, uintptr_t id) {
    auto& timers = queue().timers;
    auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == timers.end()) return false;
    timers.erase(it);
    return true;
}

void Sleep(uint32_t ms) {
    if (queue().manual)
        advance_clock(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t GetTickCount() { return now(); }

void use_manual_clock(bool manual) {
    Queue& q = queue();
    if (manual && !q.manual) q.manual_now = real_now();
    q.manual = manual;
}

void advance_clock(uint32_t ms) { queue().manual_now += ms; }

// ---- The default procedure

enum : intptr_t { SC_MINIMIZE = 0xF020, SC_MAXIMIZE = 0xF030, SC_CLOSE = 0xF060, SC_RESTORE = 0xF120 };

namespace {

bool menu_message(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    const MenuHooks* hooks = state().menu_hooks;
    return hooks && hooks->default_message && hooks->default_message(hwnd, message, wParam, lParam);
}

}  // namespace

LRESULT DefWindowProc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    Window* w = find(hwnd);
    if (!w) return 0;
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR: menu_message(hwnd, message, wParam, lParam); return 0;
    case WM_NCCREATE: return 1;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_ERASEBKGND: return erase_background(w, reinterpret_cast<cairo_t*>(wParam)) ? 1 : 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_NCHITTEST: return hit_test(w, POINT{lparam_x(lParam), lparam_y(lParam)});
    case WM_SETCURSOR: {
        if (w->parent && SendMessage(w->parent, WM_SETCURSOR, wParam, lParam)) return 1;
        // A request passed up from a child (wParam names it) is the child's to settle with its
        // own class cursor: the parent's default only answers for its own pointer.
        if (static_cast<HWND>(wParam) != hwnd || static_cast<int16_t>(lParam & 0xFFFF) != HTCLIENT ||
            !(w = find(hwnd)) || !w->cls->info.cursor)
            return 0;
        SetCursor(w->cls->info.cursor);
        return 1;
    }
    case WM_WINDOWPOSCHANGED: {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        RECT c = client_in_window(w);
        if (!(pos->flags & SWP_NOMOVE))
            SendMessage(hwnd, WM_MOVE, 0, point_lparam(w->rect.left + c.left, w->rect.top + c.top));
        if (!(pos->flags & SWP_NOSIZE) && (w = live(hwnd))) {
            const bool minimised = w->style & WS_MINIMIZE;
            c = client_in_window(w);
            SendMessage(hwnd, WM_SIZE,
                        minimised ? SIZE_MINIMIZED : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED,
                        minimised ? 0 : point_lparam(c.width(), c.height()));
        }
        return 0;
    }
    case WM_ACTIVATE:
        if ((wParam & 0xFFFF) != WA_INACTIVE) {
            Window* f = live(state().focus);
            if (!f || !in_tree(f, hwnd)) SetFocus(hwnd);
        }
        return 0;
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char16_t*>(lParam) : u"";
        top_level_changed(w);
        return 1;
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_GETTEXT: {
        if (wParam <= 0 || !lParam) return 0;
        const size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
        auto* out = reinterpret_cast<char16_t*>(lParam);
        std::copy_n(w->text.data(), n, out);
        out[n] = u'\0';
        return static_cast<LRESULT>(n);
    }
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
        if (wParam == HTMENU) {
            menu_message(hwnd, message, wParam, lParam);
            return 0;
        }
        scroll_bar_click(w, static_cast<int32_t>(wParam), POINT{lparam_x(lParam), lparam_y(lParam)});
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(hwnd, SW_SHOWMAXIMIZED); break;
        case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); break;
        case SC_CLOSE: SendMessage(hwnd, WM_CLOSE, 0, 0); break;
        default: menu_message(hwnd, message, wParam, lParam); break;
        }
        return 0;
    default: return 0;
    }
}

}  // namespace nuv::host::win
