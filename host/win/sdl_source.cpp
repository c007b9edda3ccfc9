#include "host/win/sdl_source.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/images.h"
#include "host/utf.h"
#include "host/win/cairo_lib.h"
#include "host/win/displays.h"
#include "host/win/keys.h"
#include "host/win/model.h"
#include "host/win/replay.h"
#include "host/win/sdl.h"

namespace nuv::host::win {

namespace {

// A top-level window's screen window (null until first shown) and what SDL was last told or
// told us of it, so that SDL's echo of our own changes is dropped.
struct Screen {
    SDL_Window* window = nullptr;
    uint32_t id = 0;
    RECT known;
    std::u16string title;
    bool shown = false, minimised = false;
    uint32_t dpi = 0;
};

// A key-down handed to the queue, so that its text follows it out of the queue.
struct KeyDown {
    HWND hwnd;
    uint32_t message;
    intptr_t wParam, lParam;
    uint32_t time;
    uint32_t serial;
};
constexpr size_t kMostKeyDowns = 256;

struct Caret {
    HWND hwnd = 0;
    int32_t width = 0, height = 0;
    POINT pos;
};

struct Replay {
    Script script;
    size_t next = 0;
    uint32_t buttons = 0;
    bool active = false, ran_out = false;
};

struct Source {
    const sdl::Library* sdl = nullptr;
    uint32_t wake_event = 0;
    std::atomic<bool> wake_pending{false};
    std::unordered_map<HWND, Screen> screens;
    std::deque<KeyDown> key_downs;
    Caret caret;
    Replay replay;
    bool pumping = false;
    std::vector<InputMessage> messages;  // pump's scratch
    // The screen's cursors by the model's id: standard ones made once and kept, those made from
    // pixels until destroyed. null: SDL could not make it (the default cursor shows instead).
    std::unordered_map<HCURSOR, SDL_Cursor*> cursors;
    HCURSOR shown_cursor = 0;
};

Source& source() {
    static Source* s = new Source;
    return *s;
}

HWND window_of(uint32_t sdl_id) {
    for (auto& [hwnd, screen] : source().screens)
        if (screen.id == sdl_id && screen.window) return hwnd;
    return 0;
}

// The top-level window input without a focus goes to, and whose coordinates the replay uses.
HWND active_top() {
    const HWND active = GetActiveWindow();
    return active ? GetAncestor(active, GA_ROOT) : 0;
}

bool is_key_message(uint32_t m) {
    return (m >= WM_KEYDOWN && m <= WM_SYSCHAR) || m == WM_IME_STARTCOMPOSITION || m == WM_IME_ENDCOMPOSITION;
}

void route(const InputMessage& m) {
    Source& s = source();
    if (is_key_message(m.message)) {
        const HWND target = GetFocus() ? GetFocus() : GetActiveWindow();
        if (!target) return;
        MSG msg{target, m.message, m.wParam, m.lParam, GetTickCount(), {}};
        if (m.text) {
            if (s.key_downs.size() == kMostKeyDowns) s.key_downs.pop_front();
            s.key_downs.push_back({target, m.message, m.wParam, m.lParam, msg.time, m.text});
        }
        post_input(msg);
        return;
    }
    // Mouse input: the SDL window's point is in its top-level window's coordinates.
    POINT screen = m.point;
    RECT r;
    if (const HWND top = window_of(m.window); top && GetWindowRect(top, &r)) screen = {r.left + m.point.x, r.top + m.point.y};
    note_cursor_pos(screen);
    mouse_input(m.message, screen, m.wParam);
}

// The queue's input message leaving it, in the input translation's terms.
void observe(const MSG& m) {
    Source& s = source();
    InputMessage taken{m.message, m.wParam, m.lParam, m.pt, m.time, 0, 0};
    if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) {
        for (auto it = s.key_downs.begin(); it != s.key_downs.end(); ++it) {
            if (it->hwnd == m.hwnd && it->message == m.message && it->wParam == m.wParam && it->lParam == m.lParam &&
                it->time == m.time) {
                taken.text = it->serial;
                s.key_downs.erase(it);
                break;
            }
        }
    }
    input().taken(taken);
}

// SDL told us the screen window moved or was sized: the model follows unless it already is
// there (our own change coming back).
void screen_changed(HWND hwnd, const SDL_WindowEvent& e) {
    Screen& screen = source().screens[hwnd];
    if (screen.minimised) return;
    RECT& k = screen.known;
    if (e.event == SDL_WINDOWEVENT_MOVED) {
        if (e.data1 == k.left && e.data2 == k.top) return;
        k = {e.data1, e.data2, e.data1 + k.width(), e.data2 + k.height()};
    } else {
        if (e.data1 == k.width() && e.data2 == k.height()) return;
        k.right = k.left + e.data1;
        k.bottom = k.top + e.data2;
    }
    RECT model;
    if (!GetWindowRect(hwnd, &model)) return;
    if (model.left != k.left || model.top != k.top || model.width() != k.width() || model.height() != k.height())
        SetWindowPos(hwnd, 0, k.left, k.top, k.width(), k.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void window_event(const SDL_WindowEvent& e) {
    const HWND hwnd = window_of(e.windowID);
    if (!hwnd) return;
    switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE: PostMessage(hwnd, WM_CLOSE, 0, 0); return;
    case SDL_WINDOWEVENT_MOVED:
    case SDL_WINDOWEVENT_RESIZED:
    case SDL_WINDOWEVENT_SIZE_CHANGED: screen_changed(hwnd, e); return;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        if (GetActiveWindow() != hwnd) SetActiveWindow(hwnd);
        return;
    case SDL_WINDOWEVENT_MINIMIZED:
        source().screens[hwnd].minimised = true;
        if (!IsIconic(hwnd)) ShowWindow(hwnd, SW_MINIMIZE);
        return;
    case SDL_WINDOWEVENT_RESTORED:
        if (!source().screens[hwnd].minimised) return;
        source().screens[hwnd].minimised = false;
        if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
        return;
    default: return;
    }
}

void pump() {
    Source& s = source();
    if (s.pumping) return;  // a procedure run from here looking at the queue
    s.pumping = true;
    SDL_Event e;
    while (s.sdl->poll_event(&e)) {
        if (e.type == s.wake_event) {
            s.wake_pending = false;
        } else if (e.type == SDL_WINDOWEVENT) {
            window_event(e.window);
        } else {
            s.messages.clear();
            input().translate_event(e, &s.messages);
            for (const InputMessage& m : s.messages) route(m);
        }
    }
    s.pumping = false;
}

void wait(int32_t timeout_ms) { source().sdl->wait_event_timeout(nullptr, timeout_ms); }

// From any thread; one wake event waits at a time.
void wake() {
    Source& s = source();
    if (s.wake_pending.exchange(true)) return;
    SDL_Event e{};
    e.type = s.wake_event;
    s.sdl->push_event(&e);
}

void show_frame(HWND hwnd, const Screen& screen) {
    Frame frame;
    if (!compose_frame(hwnd, &frame)) return;
    const sdl::Library& sdl = *source().sdl;
    SDL_Surface* surface = sdl.window_surface(screen.window);
    if (!surface) return;
    const int w = std::min(frame.width, surface->w), h = std::min(frame.height, surface->h);
    if (w > 0 && h > 0)
        sdl.convert_pixels(w, h, SDL_PIXELFORMAT_ARGB8888, frame.pixels, frame.stride, surface->format->format,
                           surface->pixels, surface->pitch);
    sdl.update_window_surface(screen.window);
}

// The active top-level window drawn as PrintWindow draws it, written as a PNG file.
bool snapshot(const std::string& path) {
    const CairoLib* cairo = cairo_lib();
    RECT r;
    const HWND top = active_top();
    if (!cairo || !top || !GetWindowRect(top, &r) || r.width() <= 0 || r.height() <= 0) return false;
    cairo_surface_t* surface = cairo->image_surface_create(CAIRO_FORMAT_ARGB32, r.width(), r.height());
    cairo_t* cr = cairo->create(surface);
    bool ok = PrintWindow(top, cr, PW_RENDERFULLCONTENT);
    cairo->destroy(cr);
    cairo->surface_flush(surface);
    const uint8_t* data = cairo->image_surface_get_data(surface);
    const int stride = cairo->image_surface_get_stride(surface);
    // Cairo keeps premultiplied native-endian ARGB; the file wants straight blue, green, red, alpha.
    std::vector<uint8_t> bgra(static_cast<size_t>(r.width()) * r.height() * 4);
    for (int y = 0; y < r.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < r.width(); ++x) {
            const uint32_t p = row[x], a = p >> 24;
            uint8_t* out = &bgra[(static_cast<size_t>(y) * r.width() + x) * 4];
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = p >> (8 * c) & 0xFF;
                out[c] = static_cast<uint8_t>(a ? (v * 255 + a / 2) / a : 0);
            }
            out[3] = static_cast<uint8_t>(a);
        }
    }
    cairo->surface_destroy(surface);
    images::Bytes png;
    ok = ok && images::encode(images::Format::Png, bgra.data(), r.width(), r.height(), &png);
    if (ok) {
        FILE* file = std::fopen(path.c_str(), "wb");
        ok = file && std::fwrite(png.data, 1, png.size, file) == png.size;
        if (file) ok = std::fclose(file) == 0 && ok;
    }
    std::free(png.data);
    return ok;
}

// Runs the replay's next steps while the loop is idle: a step of input at a time, so that
// each is handled before the next.
void replay_turn() {
    Source& s = source();
    Replay& replay = s.replay;
    if (!replay.active) return;
    while (replay.next < replay.script.steps.size()) {
        Step step = replay.script.steps[replay.next++];
        if (step.kind == StepKind::Snapshot) {
            if (!snapshot(step.text))
                std::fprintf(stderr, "nuv: NUV_TEST_INPUT line %d: no snapshot was written to %s\n", step.line,
                             step.text.c_str());
            continue;
        }
        if (step.kind == StepKind::Wait) {
            Sleep(static_cast<uint32_t>(step.amount));
            return;
        }
        const HWND top = active_top();
        auto it = s.screens.find(top);
        const uint32_t sdl_window = it != s.screens.end() ? it->second.id : 0;
        RECT r;
        if (step.kind != StepKind::Resize && top && GetWindowRect(top, &r)) {
            POINT p{step.x, step.y};
            ClientToScreen(top, &p);
            step.x = p.x - r.left;
            step.y = p.y - r.top;
        }
        std::vector<SDL_Event> events;
        step_events(step, sdl_window, GetTickCount(), &replay.buttons, &events);
        for (SDL_Event& e : events) s.sdl->push_event(&e);
        return;
    }
    // Nothing left to replay and nothing to do: the program waits for input no one will give.
    replay.active = false;
    replay.ran_out = true;
    std::fprintf(stderr, "nuv: NUV_TEST_INPUT ran out while the program still waits for input\n");
    PostQuitMessage(kReplayRanOut);
}

void idle() {
    for (auto& [hwnd, screen] : source().screens)
        if (screen.window && screen.shown && !screen.minimised && frame_dirty(hwnd)) show_frame(hwnd, screen);
    replay_turn();
}

// The screen window follows the model's top-level window.
void top_level(HWND hwnd) {
    Source& s = source();
    const sdl::Library& sdl = *s.sdl;
    if (!IsWindow(hwnd)) {
        auto it = s.screens.find(hwnd);
        if (it == s.screens.end()) return;
        if (it->second.window) sdl.destroy_window(it->second.window);
        s.screens.erase(it);
        return;
    }
    RECT r;
    GetWindowRect(hwnd, &r);
    const uint32_t dpi = GetDpiForWindow(hwnd);
    {
        Screen& screen = s.screens[hwnd];
        const uint32_t was = screen.dpi;
        screen.dpi = dpi;
        if (was && was != dpi && !IsIconic(hwnd)) {
            RECT suggested = r;
            SendMessage(hwnd, WM_DPICHANGED, static_cast<intptr_t>(dpi | dpi << 16), reinterpret_cast<intptr_t>(&suggested));
            if (!IsWindow(hwnd)) return;
            model::dpi_changed(hwnd, dpi);
            if (!IsWindow(hwnd)) return;
            GetWindowRect(hwnd, &r);
        }
    }
    Screen& screen = s.screens[hwnd];
    const bool visible = IsWindowVisible(hwnd);
    if (!screen.window) {
        if (!visible) return;
        screen.title = model::find(hwnd)->text;
        screen.window = sdl.create_window(utf8_of(screen.title).c_str(), r.left, r.top, std::max(r.width(), 1),
                                          std::max(r.height(), 1), SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        if (!screen.window) return;
        screen.id = sdl.window_id(screen.window);
        screen.known = r;
    }
    // The record's text: asking the window would send it WM_GETTEXT on every move.
    if (const std::u16string& title = model::find(hwnd)->text; title != screen.title) {
        screen.title = title;
        sdl.set_window_title(screen.window, utf8_of(screen.title).c_str());
    }
    const bool iconic = IsIconic(hwnd);
    if (iconic != screen.minimised) {
        screen.minimised = iconic;
        if (iconic) sdl.minimize_window(screen.window);
        else sdl.restore_window(screen.window);
    }
    if (!iconic) {
        RECT& k = screen.known;
        if (r.left != k.left || r.top != k.top) sdl.set_window_position(screen.window, r.left, r.top);
        if ((r.width() != k.width() || r.height() != k.height()) && r.width() > 0 && r.height() > 0)
            sdl.set_window_size(screen.window, r.width(), r.height());
        k = r;
    }
    if (visible != screen.shown) {
        screen.shown = visible;
        if (visible) sdl.show_window(screen.window);
        else sdl.hide_window(screen.window);
    }
}

void feed_caret() {
    Source& s = source();
    RECT r;
    POINT p = s.caret.pos;
    const HWND top = GetAncestor(s.caret.hwnd, GA_ROOT);
    if (!s.sdl || !top || !ClientToScreen(s.caret.hwnd, &p) || !GetWindowRect(top, &r)) return;
    auto it = s.screens.find(top);
    if (it == s.screens.end() || !it->second.window) return;
    SDL_Rect rect{p.x - r.left, p.y - r.top, std::max(s.caret.width, 1), std::max(s.caret.height, 1)};
    s.sdl->set_text_input_rect(&rect);
}

SDL_SystemCursor system_cursor(HCURSOR id) {
    switch (id) {
    case IDC_IBEAM: return SDL_SYSTEM_CURSOR_IBEAM;
    case IDC_WAIT: return SDL_SYSTEM_CURSOR_WAIT;
    case IDC_CROSS: return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case IDC_SIZENWSE: return SDL_SYSTEM_CURSOR_SIZENWSE;
    case IDC_SIZENESW: return SDL_SYSTEM_CURSOR_SIZENESW;
    case IDC_SIZEWE: return SDL_SYSTEM_CURSOR_SIZEWE;
    case IDC_SIZENS: return SDL_SYSTEM_CURSOR_SIZENS;
    case IDC_SIZEALL: return SDL_SYSTEM_CURSOR_SIZEALL;
    case IDC_NO: return SDL_SYSTEM_CURSOR_NO;
    case IDC_HAND: return SDL_SYSTEM_CURSOR_HAND;
    default: return SDL_SYSTEM_CURSOR_ARROW;
    }
}

SDL_Cursor* make_cursor(const sdl::Library& sdl, HCURSOR id) {
    const model::CursorImage* image = model::cursor_image(id);
    if (!image) return sdl.create_system_cursor(system_cursor(id));
    // SDL copies the pixels into its cursor, so the surface only lends them for the call.
    SDL_Surface* surface = sdl.surface_from(const_cast<uint32_t*>(image->argb.data()), image->width, image->height, 32,
                                            image->width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return nullptr;
    SDL_Cursor* cursor = sdl.create_color_cursor(surface, image->hot_x, image->hot_y);
    sdl.free_surface(surface);
    return cursor;
}

void show_cursor(HCURSOR id) {
    Source& s = source();
    if (!s.sdl) return;
    s.shown_cursor = id;
    if (!id) {
        s.sdl->set_cursor(nullptr);  // redraws the one shown
        return;
    }
    auto it = s.cursors.find(id);
    if (it == s.cursors.end()) it = s.cursors.emplace(id, make_cursor(*s.sdl, id)).first;
    if (it->second) s.sdl->set_cursor(it->second);
}

void cursor_destroyed(HCURSOR id) {
    Source& s = source();
    if (s.shown_cursor == id) s.shown_cursor = 0;
    auto it = s.cursors.find(id);
    if (it == s.cursors.end()) return;
    if (it->second) s.sdl->free_cursor(it->second);  // SDL falls back to its default when it was shown
    s.cursors.erase(it);
}

constexpr EventSource kScreenSource{pump, wait, wake, idle, show_cursor, top_level, cursor_destroyed};

}  // namespace

namespace model {

const EventSource* screen_source() {
    Source& s = source();
    if (!s.sdl) {
        if (!sdl::start_video()) return nullptr;
        s.sdl = sdl::library();
        s.wake_event = s.sdl->register_events(1);
        if (const char* path = std::getenv("NUV_TEST_INPUT"); path && *path) {
            s.replay.script = load_script(path);
            s.replay.active = true;
        }
    }
    set_input_observer(observe);
    return &kScreenSource;
}

}  // namespace model

bool TranslateMessage(const MSG* msg) {
    std::vector<InputMessage> chars;
    const bool key = input().translate_message({msg->message, msg->wParam, msg->lParam, msg->pt, msg->time, 0, 0}, &chars);
    for (const InputMessage& c : chars) PostMessage(msg->hwnd, c.message, c.wParam, c.lParam);
    return key;
}

bool CreateCaret(HWND hwnd, int32_t width, int32_t height) {
    if (!IsWindow(hwnd)) return false;
    source().caret = {hwnd, width, height, {}};
    feed_caret();
    return true;
}

bool SetCaretPos(int32_t x, int32_t y) {
    Caret& caret = source().caret;
    if (!IsWindow(caret.hwnd)) return false;
    caret.pos = {x, y};
    feed_caret();
    return true;
}

bool GetCaretPos(POINT* point) {
    const Caret& caret = source().caret;
    if (!IsWindow(caret.hwnd)) return false;
    *point = caret.pos;
    return true;
}

bool DestroyCaret() {
    Caret& caret = source().caret;
    const bool had = IsWindow(caret.hwnd);
    caret = {};
    return had;
}

bool replay_ran_out() { return source().replay.ran_out; }

HCURSOR screen_cursor() { return source().shown_cursor; }

size_t screen_cursors() { return source().cursors.size(); }

uint32_t screen_window_id(HWND hwnd) {
    auto it = source().screens.find(hwnd);
    return it != source().screens.end() && it->second.window ? it->second.id : 0;
}

}  // namespace nuv::host::win
